// Object content, scene nodes and geometry records.
#pragma once
#include <cstdint>

#include "scene/material.h"
#include "scene/vecmath.h"

struct PelContent;
struct ScnNode;
struct LightRecord;
struct TexRecord;
struct AnimTrack;
struct AnimDesc;
struct ScnRenderJob;

// Time value that was never set.
constexpr float SCN_TIME_UNSET = -1.0e10f;

// Part flags
enum : uint32_t {
    PART_NEGATED_FACES = 1,
    PART_TRANSLUCENT = 4,
    PART_PLANE_CULL = 16,
    PART_TWO_SIDED = 32,
};

// Vertex flags
enum : uint32_t {
    VTX_WORLD = 0x1,
    VTX_PROJECTED = 0x2,
    VTX_OUTCODES = 0x4,
    VTX_LIT = 0x8,
    VTX_BACKLIT = 0x10,
    VTX_RELIGHT = 0x20,
    VTX_SMOOTH = 0x40,
    VTX_OUT_XMIN = 0x80,
    VTX_OUT_XMAX = 0x100,
    VTX_OUT_YMIN = 0x200,
    VTX_OUT_YMAX = 0x400,
    VTX_OUT_ZMIN = 0x800,
    VTX_OUT_ZMAX = 0x1000,
    VTX_MARK = 0x2000,
    VTX_FIXED_COLOR = 0x4000,
};

// Face flags
enum : uint16_t {
    FACE_QUAD = 0x0001,
    FACE_EDGES_ONLY = 0x0002,
    FACE_TEXTURED = 0x0004,
    FACE_COLORKEY = 0x0010,
    FACE_OPEN_EDGE0 = 0x0020,  // edge k open: FACE_OPEN_EDGE0 << k
    FACE_OPEN_EDGE1 = 0x0040,
    FACE_OPEN_EDGE2 = 0x0080,
    FACE_OPEN_EDGE3 = 0x0100,
    FACE_TWO_SIDED = 0x0200,
    FACE_ENVMAP = 0x0400,
    FACE_FRONT_CACHED = 0x1000,
    FACE_FACING_DECIDED = 0x2000,
};

// Normal flags
enum : uint32_t {
    NRM_WORLD = 1,
    NRM_DOT = 2,
};

// Node flags
enum : uint32_t {
    NODE_CHANGED = 1,
    NODE_INVERSE_VALID = 2,
    NODE_NO_SHADOW = 0x10,
    NODE_PART_ALONE = 0x20,
    NODE_ID_PASS = 0x40,
    NODE_CULL_ALWAYS = 0x80,
    NODE_DRAW_NOTHING = 0x100,
    NODE_COLLIDE_A = 0x200,
    NODE_COLLIDE_B = 0x400,
};

struct PelNormal {
    Vec3 normal;      // object space, unit
    float dot;        // cached dot product of the facing test
    Vec3 world;       // world-space normal
    uint32_t flags;   // NRM_*
    uint32_t frame;   // the content's frame number when the flags were last brought up to date
};

struct PelVertex {
    float r, g, b;        // lit colour
    float u;              // stored texture coordinate
    Vec3 pos;             // object coordinates
    float v;              // stored texture coordinate
    Vec3 world;           // valid with VTX_WORLD
    PelNormal* normal;    // null: use the face normal
    float sx, sy, sz, sw; // screen position, valid with VTX_PROJECTED
    float eu, ev;         // effective texture coordinates
    uint32_t flags;       // VTX_*
    uint32_t scratch;     // new index given by pelDropUnusedVertices
    uint32_t frame;       // the content's frame number when the flags were last brought up to date
};

struct PelFace {
    uint32_t v[4];        // vertex indices (v[3] only for quadrilaterals)
    uint32_t nb[4];       // neighbour across edge k (itself: open edge)
    PelNormal* normal;    // face normal
    float dist;           // plane distance
    uint32_t user;        // handed to pelForEachFaceVertex callbacks
    uint32_t part;        // part index
    uint16_t rtCache[5];  // ray tracer's per-thread prepared-face slots
    uint16_t material;    // index into the node's MatRecord array
    uint16_t area;        // index into the node's area textures
    uint16_t flags;       // FACE_*
    uint32_t frame;       // the content's frame number when the facing marks were set
};

struct PelPart {
    Vec3 planeNormal;
    float planeDist;
    Box3 box;
    uint32_t vertexCount;
    uint32_t faceCount;
    uint32_t flags;          // PART_*
    PelVertex* firstVertex;  // into the content's vertex array
    PelFace* firstFace;      // into the content's face array
    uint32_t id;
    uint32_t unused;
};

struct PelLight {
    float r, g, b;
    Vec3 pos;  // object coordinates
};

// Level-of-detail chain of alternative contents.
struct PelLodLink {
    PelContent* content;
    float distance;
    uint32_t unused;
    PelLodLink* next;
};

// An extra material set kept by a content.
struct MatSet {
    uint32_t materialCount;
    TexRecord** textures;   // one per area
    MatRecord* materials;   // materialCount records
};
struct MatSetLink {
    MatSet* set;
    uint32_t unused[2];
    MatSetLink* next;
};

struct PelContent {
    Box3 box;
    uint32_t unused0;
    uint32_t vertexNormalCount;
    uint32_t faceNormalCount;
    uint32_t vertexCount;
    uint32_t faceCount;
    uint32_t materialCount;
    uint32_t areaCount;
    uint32_t lightCount;
    uint32_t partCount;
    PelPart* parts;          // start of the content's own allocation
    uint32_t areaNameBytes;  // bytes of the area-name text, closing zero included; 0: none
    float frameRate;
    uint32_t trackCount;     // 0: not animated
    uint32_t descCount;
    uint32_t* trackIndex;    // one per part; separate allocation
    AnimDesc* descs;         // separate allocation
    AnimTrack* tracks;       // separate allocation
    char* textList1;          // part names, then animation names; separate
    uint32_t textList1Size;
    char* textList2;          // object texts; separate
    uint32_t textList2Size;
    uint32_t* partWords;     // one per part; separate
    PelNormal* vertexNormals;
    PelNormal* faceNormals;
    PelVertex* vertices;
    PelFace* faces;
    MatInput* materials;
    PelLight* lights;
    char* areaNames;         // areaCount zero-terminated names (may be empty), then one more zero
    PelLodLink* lod;
    uint32_t lodStamp;
    uint32_t nodeCount;
    ScnNode* firstNode;
    ScnNode* lastNode;
    ScnNode* frameCache[3];  // written by the frame renderer
    uint32_t frameNo;        // the renderer's current frame of this content (0: none)
    uint32_t cacheFrom[3];   // first frame of the caches of frameCache (vertex, vertex normal, face normal)
    uint32_t dotFrom;        // last frame that dropped the face normals' facing dots
    MatSetLink* matSets;
    uint32_t viewStatus;     // 0 inside, 1 outside, 2 straddling
    uint32_t outCodes;
    void* rtFaceGroups;      // separate allocation
    uint32_t rtFaceGroupCount;
    PelContent* prev;        // global content list
    PelContent* next;
};

struct ScnPart {
    Mat4 world;       // local x base
    Mat4 inverse;     // inverse of world
    Mat4 local;       // track evaluated at the effective time
    AnimTrack* track; // null: not animated
};

struct ScnChildLink {
    ScnNode* child;
    float distance;
    uint32_t owned;   // non-zero: freed with the parent
    ScnChildLink* next;
};

// Hooks of node kinds and procedural nodes.
typedef int (*ScnKindHook)(ScnNode* node);
typedef int (*ScnListHook)(ScnRenderJob* job);
typedef int (*ScnCandidateHook)(ScnRenderJob* job, ScnNode* candidate, int* answer);
typedef int (*ScnEnterHook)(ScnRenderJob* job, ScnNode* candidate, int* enter, int* repeat);
typedef int (*ScnLightsHook)(ScnNode* node, int* rebuild);
typedef int (*ScnRayHook)(ScnNode* node, void* data);

struct ScnNode {
    Mat4 base;
    uint32_t user;
    uint32_t rtSeq;
    PelContent* content;       // null: node without geometry
    TexRecord** areaTextures;  // own copy of one handle per area, or null
    ScnNode* prev;
    ScnNode* next;
    void* lightList;           // list in which the node's lights were made
    LightRecord** lights;      // one per content light
    MatRecord* materials;      // one per content material
    ScnPart* parts;            // one per part (animated contents only)
    AnimDesc* desc;            // current sub-animation, null = none
    float reqTime;
    float effTime;
    ScnRayHook rayHook;
    ScnRayHook idHook;
    uint32_t hookUser;
    uint32_t unused;
    Mat4 invBase;
    Mat4 objToView;
    Mat4 objToScreen;
    Mat4 invObjToView;         // row 2 (elements 8..11) is the eye vector
    Box3 worldBox;
    uint32_t flags;            // NODE_*
    int32_t renderDepth;
    uint32_t partAlone;
    ScnListHook listHook;
    ScnCandidateHook candidateHook;
    ScnEnterHook enterHook;
    ScnLightsHook lightsHook;
    ScnKindHook createHook;    // its address identifies the kind
    ScnKindHook destroyHook;   // 0 stops scnNodeFree
    void* ext;                 // owned by the kind
    int32_t highlight;         // -1 = none
    ScnChildLink* children;
};

// Node lifecycle
int scnNodeCreate(PelContent* content, uint32_t user, TexRecord** areaTextures, void* lightList,
                  const Mat4* base, ScnNode** out);
int scnNodeFree(ScnNode** holder, uint32_t* remaining);
// Told of every node scnNodeFree is about to free (the collision cache installs it: its
// records are keyed by node address).
typedef void (*ScnNodeFreedFn)(const ScnNode* node);
void scnSetNodeFreedHook(ScnNodeFreedFn fn);
int pelFreeObject(PelContent** holder);

// Pose and time
int scnSetPose(ScnNode* node, const Mat4* base, float time);
int scnSetTime(ScnNode* node, float time);
int scnGetMainPartMatrix(ScnNode* node, Mat4* out);
int scnSetHighlight(ScnNode* node, int32_t part);

// Part queries
int pelGetSubObjectCount(const PelContent* content, uint32_t* count);
int pelGetTrackCount(const PelContent* content, uint32_t* count);
int pelSetSubObjectName(PelContent* content, uint32_t part, const char* language, const char* name);
// *text receives a new copy (free with memFreeRef) or null.
int pelGetObjectText(const PelContent* content, uint32_t index, const char* language, char** text);
int pelPartUsage(const PelContent* content, uint32_t part, uint8_t* materialMarks, uint8_t* areaMarks);

// Geometry clean-up
int pelDropUnusedVertices(PelContent* content);
int pelMergeVertices(PelContent* content);
int pelCompareVertices(const void* a, const void* b);  // PelVertex* const*

// Callback: (user value, face index, face user word, mark 0/1, position, u, v);
// a non-zero answer marks the vertex.
typedef int (*PelFaceVertexFn)(uint32_t user, uint32_t face, uint32_t faceUser, uint32_t mark,
                               Vec3* pos, float* u, float* v);
int pelForEachFaceVertex(PelContent* content, uint32_t user, PelFaceVertexFn fn);

// Face-id colours of the visible-set pass
int visIdInit(uint32_t maxFaces, uint32_t maxNodes);
int visIdSetNode(uint32_t node);
int visFaceIdColor(const PelFace* face, const ScnNode* node, uint32_t* colour);
int visIdDecode(uint32_t colour, uint32_t* node, int32_t* face, uint32_t* front);
int visFacePlane(const PelContent* content, const PelFace* face, Vec3* normal, float* dist);
// The plane of a face from its corner positions (p[3] only for a quadrilateral).
void visPlaneOfCorners(const Vec3* const p[4], bool quad, Vec3* normal, float* dist);
void visIdReset();

int scnFreeRef(void** holder);
int pelFreeRef(void** holder);

// Ray tracer: face groups inside contents, the box tree over all groups of a run, ray
// tests against boxes and faces, the per-thread prepared-face cache, the shadow test
// and the recursive shading of a ray with reflection and transmission.
#pragma once
#include <cstdint>
#include <vector>

#include "scene/camera.h"
#include "scene/material.h"
#include "scene/scene.h"
#include "scene/vecmath.h"

struct TexRecord;
struct TexPixelBlock;

constexpr uint32_t RT_MAX_THREADS = 5;
constexpr uint32_t RT_CACHE_RECORDS = 8193;  // entries 1..8191 used
constexpr uint32_t RT_CACHE_USED = 8191;
constexpr uint32_t RT_MAX_DEPTH = 4;
constexpr uint32_t RT_GROUP_MIN = 20;
constexpr uint32_t RT_PAIR_THRESHOLD = 200;
constexpr float RT_WEIGHT_MIN = 0.03f;
constexpr float RT_START_OFFSET = 0.001f;
constexpr float RT_FAR = 1e20f;
constexpr float RT_PARALLEL_EPS = 1e-7f;
constexpr float RT_TRANSPARENT_LIMIT = 0.9f;
constexpr float RT_DEFAULT_INDEX = 1.2f;
constexpr float RT_LIGHT_SCALE = 0.85f;
constexpr uint32_t RT_NO_HIT = 0xFFFFFFFFu;

// Prepared-face flags
enum : uint32_t {
    RT_FACE_QUAD = 0x0001,
    RT_FACE_TEXTURED = 0x0004,
    RT_FACE_TRANSPARENT = 0x0008,
    RT_FACE_COLORKEY = 0x0010,
    RT_FACE_TWO_SIDED = 0x0200,
    RT_FACE_ENVMAP = 0x0400,
    RT_FACE_SPLIT = 0x4000,
    RT_FACE_EXTENSION = 0x8000,
};

// A run of consecutive faces of one part, with their object-space box.
struct RtFaceGroup {
    Box3 box;
    uint32_t faceCount;
    uint32_t partFlags;
    PelFace* first;
};

// One record type for leaves and inner nodes of the box tree (world space).
struct RtTreeNode {
    Box3 box;
    uint32_t special;  // leaf of an extension node whose extension flags have bit 0 or 1
    ScnNode* node;     // leaves
    RtFaceGroup* group;
    RtTreeNode* left;
    RtTreeNode* right;
    uint32_t flags;  // bit 0 part flag bit 0, bit 2 paired (build scratch)
    uint32_t leftEqual;
    uint32_t rightEqual;
    uint32_t skipBox;
};

// A face in world space, prepared for ray tests (cache entry).
struct RtFace {
    Vec3 normal;
    Vec3 v0;
    float dist;  // plane: normal . X + dist = 0
    float area;
    Vec3 b1, b2;          // barycentric basis of the first triangle
    Vec3 normal2;         // second triangle of a quad (V0, V2, V3)
    float dist2;
    Vec3 c1, c2;          // its basis
    Vec3 vertex[4];       // world positions
    float tu[4], tv[4];   // texture coordinates
    Vec3 vnormal[4];      // per-vertex normals
    uint32_t flags;       // RT_FACE_*
    const MatRecord* material;
    TexRecord* texture;
    uint32_t mipLevel;
    PelFace* face;
    ScnNode* node;
    uint32_t valid;
    uint32_t pins;        // in use by a traversal or a shading: never evicted
    uint16_t* slot;       // the face's slot that points at this entry
    uint16_t older, newer;  // recently-used list links (cache entries)
    uint8_t referenced;     // used since the eviction walk last passed it
};

// The planes and bases of a prepared face (world space, as first prepared), made for every
// face of a run so that ray tests need no prepared face; the flags are the prepared face's
// (RT_FACE_QUAD, RT_FACE_TWO_SIDED, RT_FACE_TRANSPARENT, RT_FACE_COLORKEY) and RT_TEST_VALID.
constexpr uint32_t RT_TEST_VALID = 0x80000000u;
struct RtFaceTest {
    Vec3 normal;
    float dist;
    Vec3 v0;
    uint32_t flags;
    Vec3 b1, b2;
    Vec3 normal2;
    float dist2;
    Vec3 c1, c2;
};

struct RtHit {
    float t, u, v;
    uint32_t behind;
    float filter[3];
    uint32_t partly;
    uint32_t triangle;  // 0 or 1 (second triangle of a quad)
};

struct RtSurface {
    float specular[3];
    float reflection[3];
    float diffuse[3];
    float texture[3];
    uint32_t textured;
    float k;
    float alpha;
    float index;
    uint32_t reflective;
    uint32_t transparent;
};

// Query handed to a procedural node's ray hook (ScnNode::rayHook).
struct RtRayQuery {
    uint32_t user;
    uint32_t thread;
    Vec3 origin;
    Vec3 direction;
    uint32_t mode;  // 0 closest hit, 1 any hit
    float best;     // in: best distance so far
    // out
    float t;
    Vec3 normal;
    float u, v;
    uint32_t material;
};

// Extension nodes (placed objects carrying extension flags and ids): how the tracer
// learns about them. Answers 1 for an extension node.
using RtExtensionQueryFn = int (*)(const ScnNode* node, uint32_t* extFlags, uint32_t* firstId);
void rtSetExtensionQuery(RtExtensionQueryFn fn);

using RtProgressFn = int (*)(float fraction);
using RtShowFn = void (*)();

// Per-thread records of a run.
struct alignas(64) RtThreadState {
    RtFace* cache;      // RT_CACHE_RECORDS entries
    uint32_t used;      // starts at 1
    uint32_t oldest, newest;
    RtFace procedural;  // hit record of procedural nodes
    struct Occluder {
        PelFace* face;
        RtTreeNode* leaf;
    }* occluders;       // RT_MAX_DEPTH x light count
    ScnNode* shadedNode;
    Vec3 eye;           // this pixel's eye point (parallel cameras)
    RtTreeNode* lastLeaf;  // leaf of the last blocking hit
    uint16_t* slots;       // this thread's face slots (one per face of every content of the run)
};

// State of one run, written by the driver before the passes.
struct RtRunState {
    ScnNode** nodes;  // zero-terminated node table
    uint32_t nodeCount;
    uint32_t nodeBits, faceBits, nodeMask, faceMask;
    RtTreeNode* tree;  // block of records
    uint32_t treeRecords;
    RtTreeNode* root;
    uint32_t extShadows, shadows, reflections, refraction, noSelfShadow;
    uint32_t lightCount;
    const CamRecord* rayCamera;
    Vec3 eye;
    int parallel;
    uint32_t* slotBase;  // per node (by sequence number): its content's first slot
    RtFaceTest* faceTests;  // every face of every ordinary node, or null
    uint32_t* testBase;     // per node: its first record there (RT_NO_HIT: none)
    RtProgressFn progress;
    uint32_t treeProgressCalls;
    uint32_t treeCancelled;  // the tree build stopped on a progress answer of 0
    uint32_t pairScanOnly;   // pair levels by the plain scan alone (for comparisons)
    RtThreadState threads[RT_MAX_THREADS];
};
RtRunState& rtState();
// Frees the tree and the per-thread records and clears the run state (tests start clean).
void rtResetState();

// Id bit split for a node count; 1 when every content's faces fit the face bits.
void rtSetIdSplit(uint32_t nodeCount);
int rtCheckIds(ScnNode* const* nodes, uint32_t count);

// Face groups
int rtBuildFaceGroups(ScnNode* node);
// Splits one group (faces first.. of the order array) and appends the resulting groups
// to out; their first-face fields hold face positions until the faces are reordered.
int rtSplitFaceGroup(ScnNode* node, uint32_t* order, const RtFaceGroup* group, uint32_t first,
                     std::vector<RtFaceGroup>* out);
void rtGroupBoxAdd(Box3* box, const PelFace* face, const PelVertex* vertices);

// Box tree over the node table of the run state.
int rtBuildObjectTree(uint32_t count, RtTreeNode** rootOut);
int rtBuildTreeLevel(RtTreeNode* parents, RtTreeNode* children, uint32_t count, uint32_t* doneCount,
                     uint32_t total);
void rtMarkBoxTests(RtTreeNode* node);
int rtTreeProgress(uint32_t done, uint32_t total);
// After the tree (and the run's eye and ray camera): every face's test record and a box tree
// over single faces for the ray queries from the root. Without them (0: no memory, or no
// faces) the queries walk the tree, with the same answers.
int rtPrepareRayQueries();
void rtFreeTree();
// Records of the block for a leaf count (1, 3, 7, 7, 15...).
uint32_t rtTreeRecordCount(uint32_t leaves);

int rtRayBox(const Box3* box, const Vec3 ray[2], float tmax);
int rtTraceTree(RtTreeNode* node, int testBox, const Vec3 ray[2], RtFace** hitFace, RtHit* hit, int anyHit,
                int twoSided, int32_t ignoreId, ScnNode* ignoreNode, uint32_t thread);
int rtIntersectFace(uint32_t thread, const Vec3 ray[2], const RtFace* face, RtHit* hit, int twoSided);
int rtColourKeyTest(const RtFace* face, const Vec3 ray[2], const RtHit* hit);
int rtTexel(const TexRecord* texture, uint32_t mipLevel, float s, float t, float rgb[3]);

// Per-thread caches: allocate for the run, free. With a node table set, each thread also
// gets slot arrays of its own, so that threads never write into shared face records.
int rtAllocThreads(uint32_t threads, uint32_t lightCount);
void rtFreeThreads();
RtFace* rtFaceCache(uint32_t thread, const Vec3* direction, PelFace* face, ScnNode* node, uint32_t flag);
void rtPrepareFace(const Vec3* direction, ScnNode* node, PelFace* face, RtFace* entry);
void rtClearFaceSlots(ScnNode* const* nodes, uint32_t count);
void rtFaceId(const PelFace* face, const ScnNode* node, uint32_t* idOut);
uint32_t rtFaceIdColour(const PelFace* face, const ScnNode* node);  // for the mesh pipeline's hook
RtFace* rtFaceFromId(uint32_t thread, const Vec3* direction, uint32_t id);

void rtSurfaceAt(const RtFace* face, const Vec3 ray[2], const RtHit* hit, RtSurface* surface, Vec3* normal,
                 float tex[2]);
int rtShadowTest(const Vec3* point, const Vec3* toLight, float distance, RtThreadState::Occluder* occluder,
                 ScnNode* shadedNode, int twoSided, int* partly, float filter[3], uint32_t thread);
// The form the light evaluation calls (p = thread index, q = two-sided flag).
int rtShadowTestHook(const Vec3* p, const Vec3* dir, float dist, uint32_t slot, uintptr_t owner, uint32_t passP,
                     uint32_t passQ, int* filtered, float filter[3]);
int rtRefract(const Vec3* direction, const Vec3* normal, float fromIndex, float toIndex, Vec3* out);
RtFace* rtFindHit(const Vec3 ray[2], RtHit* hit, uint32_t thread);
// firstId: the primary ray's id from the id picture, RT_NO_HIT for secondary rays.
void rtShade(const Vec3 ray[2], uint32_t depth, int32_t x, int32_t y, float index, float weight, uint32_t firstId,
             int inside, float rgb[3], int* behind, uint32_t thread);

// Pin and release a cache entry (a pinned entry is never evicted).
inline void rtPin(RtFace* f) {
    if (f) ++f->pins;
}
inline void rtUnpin(RtFace* f) {
    if (f && f->pins) --f->pins;
}

// The object node kind: two ids per node and per node light, so that a light
// only shines while a scene carrying one of its ids is drawn; id planes and view records
// (the hooks of the hierarchical pass that read them are the renderer's, render/objpass.h).
#pragma once
#include <cstdint>

#include "scene/camera.h"
#include "scene/scene.h"
#include "scene/vecmath.h"

struct LightRecord;

// Stands for no id: a light with it shines everywhere.
constexpr uint32_t SCN_ID_NONE = 0xFFFFFFFFu;

// ScnObjExt::flags
enum : uint32_t {
    SCN_OBJ_VIEW_ONLY = 1,     // reached only through view records
    SCN_OBJ_REQUESTED = 2,     // set at creation on request
    SCN_OBJ_PLANES_VALID = 4,  // planeA and planeB hold
};

// ScnViewRecord::flags
enum : uint32_t {
    SCN_VIEW_PART_ALONE = 1,  // draw only partAlone of the node entered
    SCN_VIEW_ID_PASS = 2,     // depends on the id-pass switch
    SCN_VIEW_SWITCH_OFF = 4,  // with SCN_VIEW_ID_PASS: used only while the switch is off
};

// A view into the region of another id (for example a doorway).
struct ScnViewRecord {
    Box3 box;         // the opening (world)
    float plane[4];   // normal x, y, z, distance: looked through from its front only
    uint32_t targetId;
    uint32_t partAlone;
    uint32_t flags;   // SCN_VIEW_*
    CamRecord camera; // rebuilt each frame: the part of the job's camera that sees the opening
    ScnViewRecord* nextVisible;
};

// Extension of an object node (zero-filled at creation).
struct ScnObjExt {
    uint32_t idA, idB;
    uint32_t flags;        // SCN_OBJ_*
    float planeA[4];       // bounds the region where id A applies
    float planeB[4];
    ScnViewRecord* views;  // owned
    uint32_t viewCount;
    void* block;           // owned, not read by the engine
    uint32_t unusedWord;
    ScnViewRecord* firstVisible;
    ScnViewRecord* currentView;
};

// Extension of a light of an object node.
struct LtObjExt {
    uint32_t idA, idB;
};

// Set by the ray tracer around its scan-line passes; read by the list hook.
extern uint32_t scnIdPassSwitch;

int scnCreateObjectNode(PelContent* content, uint32_t user, TexRecord** areaTextures, uint32_t idA, uint32_t idB,
                        void* lightList, uint32_t requestFlag2, const Mat4* base, ScnNode** out);
int scnSetObjectIds(ScnNode* node, uint32_t idA, uint32_t idB, const Mat4* base);
int scnSetObjectIdsAt(ScnNode* node, uint32_t idA, uint32_t idB, const Mat4* base, float time);
int scnSetObjectIdsPlanes(ScnNode* node, uint32_t idA, uint32_t idB, const float planeA[4], const float planeB[4],
                          const Mat4* base);
int scnSetObjectIdsPlanesAt(ScnNode* node, uint32_t idA, uint32_t idB, const float planeA[4],
                            const float planeB[4], const Mat4* base, float time);

// Node and light hooks of the kind.
int scnObjExtCreate(ScnNode* node);
int scnObjExtFree(ScnNode* node);
int ltObjExtCreate(LightRecord* light);
int ltObjExtFree(LightRecord* light);
int ltObjIdsEnable(LightRecord* light);

// Light ids of the node for the hierarchical pass (not installed by creation).
int scnObjLightsHook(ScnNode* node, int* rebuild);

// 1 when the node is of this kind.
int scnIsObjectNode(const ScnNode* node);
// The id-pass switch back to 0 (tests start clean).
void scnResetObjectNodes();

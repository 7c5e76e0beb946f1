// Answers of the control about the scene that need no window system: the last
// picked position in model, group or world coordinates, the objects that
// collide with an object or group, the id-list text, and the smaller helpers
// of the control's services (own lights, user movements, picture rectangles,
// texture totals, the animation buttons, the host services table).
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ctlstate.h"

namespace qivctl {

// ---- last picked position ----

enum class PickedPosition { Written, NoObject, NotWritten };
enum : int32_t { kCoordModel = 0, kCoordGroup = 1, kCoordWorld = 2 };

// GetLastPickedPosition. World: the hit point. Model and group: out first 0; the object is
// eventSlot when it is 0 or above, else the current slot; it must be a valid slot
// (NoObject otherwise, out left 0: the member answers zeros); with a node, the hit point is taken
// through the inverse of the object's world placement (model) or its own placement
// (group) with the perspective divide; a matrix that cannot be inverted leaves 0.
// Other coordinate systems write nothing (NotWritten).
PickedPosition lastPickedPosition(const QivControlState& s, const float worldHit[3], int32_t which, float out[3]);

// ---- collisions ----

// The nodes of a collision subject: the slot's node, or for a group the nodes of all its
// visible members, recursively. Empty for an identifier outside the used slots.
std::vector<ScnNode*> collisionSubjects(const QivControlState& s, int32_t id);
// The obstacles: every node of the zero-terminated root list that is not a subject.
std::vector<ScnNode*> collisionObstacles(ScnNode* const* roots, const std::vector<ScnNode*>& subjects,
                                         size_t maxRoots = 1u << 20);
// Each hit node mapped to the first used slot whose node it is, in the order given; nodes
// of no slot are left out.
std::vector<int32_t> slotsOfNodes(const QivControlState& s, ScnNode* const* hits, size_t maxHits = 1u << 20);
// GetCollidingObjects: the slots whose nodes the engine's collision search finds hit by the
// subjects of id, among the other roots (zero-terminated list, rebuilt by the caller when
// dirty). Empty for an identifier outside the used slots or when nothing collides.
std::vector<int32_t> collidingObjects(const QivControlState& s, ScnNode* const* roots, int32_t id);
// GetCollidingObjectsAsString: "3,12"; no value (a null BSTR) when there is no collision.
std::optional<std::string> idListText(const std::vector<int32_t>& ids);

// ---- small services ----

// The Lights value 16 (lights 1 to 4 are 1, 2, 4 and 8) switches the objects' own lights.
constexpr uint32_t kLightsOwnBit = 0x10;
inline bool ownLightsOn(uint32_t lightsMask) { return (lightsMask & kLightsOwnBit) != 0; }

// Lights put: every used slot's node has its own lights switched by kLightsOwnBit (switchLights
// is the engine's scnSwitchLights unless given). Answers the number of nodes switched.
int32_t applyOwnLights(const QivControlState& s, uint32_t lightsMask, int (*switchLights)(ScnNode*, int32_t) = nullptr);

enum : uint32_t { kMoveRotate = 1, kMovePan = 2, kMoveZoom = 4, kMoveWalk = 8 };
// Rotation drags are refused while bit 1 is set; the other bits are stored only.
inline bool rotateAllowed(uint32_t userMovementMask) { return (userMovementMask & kMoveRotate) == 0; }

// The first used slot with a node and an animation, -1 when none.
int32_t firstAnimatedSlot(const QivControlState& s);
// Triangle statistic of an object: faces plus twice the quadrilaterals, saturating.
uint32_t triangleStatistic(uint32_t triangles, uint32_t quads);

// ---- host services ----

// The table of operations the control hands to a scene-building host, in this order.
// Every operation but the last answers 0 (null) while the display back end is not ready;
// loadObjectFile answers -1 then, as for any failure, since 0 names a slot.
struct QivHostServices {
    void* context;
    void* (*allocate)(void* context, size_t size);
    void* (*resize)(void* context, void* block, size_t size);
    int (*free)(void* context, void* block);
    int (*registerObject)(void* context, PelContent* content);
    int (*freeObject)(void* context, PelContent** holder);
    int (*connectEdges)(void* context, PelContent** holder, uint32_t* result, uint32_t keepNormals,
                        float creaseAngle, uint32_t mergeTriangles, uint32_t keepOrder, uint32_t modeSwitch,
                        uint32_t edgeCount, const float* edgeValues, uint32_t planeCount, const float* planes,
                        uint32_t connect);
    int32_t (*loadObjectFile)(void* context, const wchar_t* name, uint32_t flag);  // slot, -1 on failure
    int (*enterPicture)(void* context, const wchar_t* name, TexRecord* texture, float scaleX, float scaleY);
    int (*slotNode)(void* context, int32_t index, ScnNode** out);  // 1 with the node of a used slot
    ScnNode** (*sceneRoots)(void* context);
    uint32_t (*nextPictureId)(void* context);
};

// What the table calls on the control; each operation but nextPictureId first asks ready.
struct HostServiceHooks {
    bool (*ready)(void* control) = nullptr;
    int32_t (*loadObjectFile)(void* control, const std::string& ansiName, uint32_t flag) = nullptr;
    int (*enterPicture)(void* control, const wchar_t* name, TexRecord* texture, float scaleX, float scaleY) = nullptr;
    const QivControlState* (*state)(void* control) = nullptr;
    ScnNode** (*sceneRoots)(void* control) = nullptr;  // rebuilt when dirty
    std::string (*toAnsi)(const wchar_t* name) = nullptr;  // the Windows layer's code-page conversion
};

// The table for one control. The hooks live as long as the table (kept in the control).
struct HostServicesContext {
    void* control = nullptr;
    HostServiceHooks hooks;
};
QivHostServices makeHostServices(HostServicesContext* context);

}  // namespace qivctl

// Placing, measuring, regrouping with kept positions and dropping the control's object
// slots. Portable, over QivControlState; the node boxes come from a callback (the engine's
// world extents of nodes whose placements are current), so the window layer keeps every
// node's placement up to date before it asks.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "ctlstate.h"

namespace qivctl {

// ---- placements (rows, translation in 12..14) ----

// ObjectTurn: a rotation about the object's own position in its parent's axes: the
// translation is taken out, the rotation applied after the placement, the translation put
// back. False for a zero axis (placement unchanged).
bool placementTurn(Mat4* m, float axisX, float axisY, float axisZ, float degrees);
// ObjectTranslate2: the translation applied after the placement (in the parent's axes).
void placementTranslateAfter(Mat4* m, float x, float y, float z);

// ---- boxes ----

// World box of a node; false when it has none.
using NodeExtent = std::function<bool(ScnNode* node, Box3* box)>;

// Which members of a group count for its box.
enum class Members { Visible, All };
// The world box of a slot: its node's box, or for a group the union of its members' boxes,
// recursively. False (out untouched) for an invalid id or when nothing contributed.
bool slotWorldBox(const QivControlState& s, int32_t id, Members members, const NodeExtent& extent, Box3* out);

// ---- grouping with kept world positions ----

// ObjectAddChildKeepPos: slotAddChild, then the child's placement is recomputed so that its
// world placement stays, and the group is re-centred. The child's position or -1 as
// slotAddChild answers.
int32_t slotAddChildKeepPos(QivControlState& s, int32_t group, int32_t child, const NodeExtent& extent);
// ObjectRemoveChildKeepPos: slotRemoveChild with the child's world placement kept (it is a
// root afterwards), and the group re-centred.
bool slotRemoveChildKeepPos(QivControlState& s, int32_t group, int32_t index, const NodeExtent& extent);
// The group's origin moves to the centre of the box of all its members while every member
// keeps its world placement. False when the group has no box or its placement cannot be
// inverted (nothing changed).
bool slotRecentreGroup(QivControlState& s, int32_t group, const NodeExtent& extent);

// ---- ObjectDrop ----

struct DropWorld {
    // Puts the moved slot's placement z at z (its nodes follow) and answers their world box.
    std::function<Box3(float z)> placeAt;
    // Whether the moved nodes, where they are now, collide with the other roots.
    std::function<bool()> collides;
    // An accepted step of an animated drop (from the second on).
    std::function<void()> redraw;
};
struct DropResult {
    float z = 0;             // the last accepted height, where the slot is left
    uint32_t steps = 0;      // positions tested
    uint32_t collisions = 0;
};
constexpr uint32_t kDropMaxCollisions = 10;
constexpr float kDropMinStep = 1e-5f;
constexpr float kDropLift = -0.013333334f;  // first move, in steps
constexpr uint32_t kDropMaxSteps = 100000;
// Moves the slot along z from startZ (moved box startBox) in steps of half the box's height,
// down when dropsDown, while its box stays inside the scene's box in that direction and
// above minDropHeight; a colliding position is taken back and the step halved, up to ten
// times; a step below 1e-5 ends the drop. The slot is left at the last accepted height
// (startZ when none was).
DropResult dropSlot(float startZ, const Box3& startBox, const Box3& sceneBox, float minDropHeight, bool dropsDown,
                    bool animated, const DropWorld& world);

// ---- small helpers ----

// The union of two boxes; an empty box (min above max) is the other one.
Box3 boxUnion(const Box3& a, const Box3& b);
// A box that any union replaces (min 1e10, max -1e10).
Box3 emptyBox();
bool boxEmpty(const Box3& b);

}  // namespace qivctl

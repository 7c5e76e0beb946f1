// Bookkeeping of the control's object slots and groups: allocation, which
// identifiers are valid, parent and child links without cycles, deletion of a
// slot with its members, world placements and the visible nodes of the scene
// roots. Portable, over QivControlState; the control calls these from its
// interface members and frees what a deleted slot owns through the release
// callback (node, cached textures).
#pragma once
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "ctlstate.h"

namespace qivctl {

// The first free slot, else a new one at the end; the used count grows to
// include it. The slot is as qivNewSlot leaves it, in use, with no parent.
int32_t slotAllocate(QivControlState& s);
int32_t slotNewGroup(QivControlState& s);
// An identifier names a slot in use below the used count.
bool slotValid(const QivControlState& s, int32_t id);
bool slotIsGroup(const QivControlState& s, int32_t id);  // valid and a group

// True when id is ancestor itself or lies below it (walks parent links, at
// most the used count of steps).
bool slotIsWithin(const QivControlState& s, int32_t id, int32_t ancestor);

// ObjectAddChild: the child's position in the group, or -1 when group is not a
// valid group, child is not valid, or the child is the group or one of its
// ancestors (no cycles). A child of another group leaves that group first; a
// child already in this group keeps its place.
int32_t slotAddChild(QivControlState& s, int32_t group, int32_t child);
// ObjectRemoveChild: the index-th child leaves the group (later ones move up)
// and becomes a root. False when group is not a valid group or index is out of
// range.
bool slotRemoveChild(QivControlState& s, int32_t group, int32_t index);
// ObjectGetChildCount / ObjectGetChild: 0 / -1 for objects and bad indices.
int32_t slotChildCount(const QivControlState& s, int32_t id);
int32_t slotChild(const QivControlState& s, int32_t id, int32_t index);

// ObjectDelete: the slot leaves its parent's list, a group's members become
// roots (their identifiers stay valid), and the slot is released (release, or
// qivFreeSlot when not given) and left free. Returns the freed id; empty when
// id is not valid (a second delete of the same id changes nothing). The
// current and event slots are reset to -1 when they were freed.
std::vector<int32_t> slotDelete(QivControlState& s, int32_t id,
                                const std::function<void(QivObjectSlot&)>& release = nullptr);

// The placement of id multiplied by each ancestor's placement up to its root
// (rows; translation in 12..14). False for an invalid id.
bool slotWorldPlacement(const QivControlState& s, int32_t id, Mat4* out);

// The nodes the scene roots contribute: each visible root slot's node, and for
// a visible group, recursively, the nodes of its visible members; each with
// its world placement, in slot and member order.
std::vector<std::pair<ScnNode*, Mat4>> slotSceneNodes(const QivControlState& s);

// The outermost movable slot (move flags bit 1) on the chain from id up to its
// root, -1 when none.
int32_t slotMovableOwner(const QivControlState& s, int32_t id);

}  // namespace qivctl

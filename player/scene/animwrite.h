// Animation of saved objects: the tracks, sub-animations and part tables of the saved nodes
// merged into one animation block in the saved file's frame and added to the file.
#pragma once
#include <cstdint>

#include "scene/anim.h"
#include "scene/animblock.h"
#include "scene/pelwrite.h"
#include "scene/scene.h"

// Sub-animation name characters kept ahead of the sub-range words.
constexpr uint32_t PEL_ANIM_NAME_MAX = 110;

// Adds the animation of the zero-terminated node list (saved to path in this order with the
// reported centre) as chunk 20, and the per-part sub-animation indices as chunk 21. With
// descs (descCount > 0) and partMap the caller's sub-animations and track run are written
// instead; partMap then holds one track index per part of all nodes.
int pelWriteAnimation(const char* path, ScnNode* const* nodes, const uint32_t* partMap, uint32_t descCount,
                      const AnimDesc* descs, const Vec3* centre, float frameRate);
// The animation of one node (1 when it has none).
int pelWriteObjectAnimation(const char* path, ScnNode* node, uint32_t descCount, const AnimDesc* descs,
                            const Vec3* centre, float frameRate);
// pelSaveObject, then pelWriteAnimation with the centre it reported.
int pelSaveWithAnimation(int mergeAreas, const char* path, ScnNode* const* nodes, uint32_t descCount,
                         const AnimDesc* descs, const uint32_t* partMap, const PelWriteInfo* info, Vec3* centreOut,
                         float frameRate, uint32_t nameCount, const char* const* names);

// Block building steps.
void pelDescRecordSize(const AnimDesc* desc, AnimBlockSizing* sizing);
void pelWriteDescRecords(uint32_t count, const AnimDesc* descs, uint8_t** cursor);
// One u32 per part of every node: the caller's map, else the contents' track indices shifted
// past the tracks of the nodes before (emptyTrack for parts without a track).
void pelWritePartMap(ScnNode* const* nodes, const uint32_t* partMap, uint32_t emptyTrack, uint8_t** cursor);

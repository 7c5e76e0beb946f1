// Scene operations: light ids of the root being drawn, drawing-order lists, node and content
// material changes, and content queries.
#pragma once
#include <cstddef>
#include <cstdint>

#include "scene/material.h"
#include "scene/scene.h"

// Marks records built from user or host values (upper half of the flags word).
constexpr uint32_t MAT_TAG = 0xAFFE0000u;
constexpr uint32_t MAT_TAG_MASK = 0xFFFF0000u;

// Light ids of the root being drawn (compared by id-scoped lights).
extern uint32_t scnLightIdA;
extern uint32_t scnLightIdB;

// Drawing order: nodes with content and faces first, opaque before translucent, larger first.
// Equal nodes compare 0; lists keep their order among equals.
int scnCompareDrawOrder(ScnNode* const* a, ScnNode* const* b);
int scnMakeIdList(uint32_t count, ScnNode** nodes, ScnNode*** out);
int scnCopySortedList(ScnNode** nodes, ScnNode*** out);
// length counts the terminating zero; the list must have room for one more entry.
int32_t scnInsertSorted(ScnNode* node, ScnNode** list, uint32_t length);
int scnFreeIdList(ScnNode*** holder);

int scnSetAreaTextures(ScnNode* node, TexRecord** textures);
int scnSetAreaMaterial(uint32_t area, TexRecord* texture, ScnNode* node);

int pelReplaceMaterial(const MatInput* record, PelContent* content, uint32_t index, MatInput* old);
int pelGetMaterial(const PelContent* content, uint32_t index, MatInput* out);
int scnGetMaterial(const MatInput* record, ScnNode* node, uint32_t index, MatInput* contentRecord);
int scnReplaceMaterial(ScnNode* node, uint32_t index, const MatInput* record);
int scnGetMaterialInfo(const ScnNode* node, uint32_t index, MatInput* out);

int pelCountFaces(const PelContent* content, uint32_t* vertices, uint32_t* triangles, uint32_t* quads,
                  uint32_t* twoSidedTriangles, uint32_t* twoSidedQuads);
// *out receives a new copy (free with memFreeRef) or null.
int pelGetSubObjectName(const PelContent* content, uint32_t part, const char* language, char** out);
int pelMatchNodes(const PelContent* content, ScnNode** nodes, uint32_t* match, Mat4* out);

// Light ids back to 0 (tests start clean).
void scnResetSceneOps();

// Entries of a null-terminated node list (0 for a null list).
size_t scnListLength(ScnNode* const* list);

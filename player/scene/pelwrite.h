// Object file writer: flattens scene nodes into one object and stores it as an object file
// with geometry, preview picture, ground-plan outline and text chunks.
#pragma once
#include <cstdint>
#include <cstdio>

#include "scene/scene.h"
#include "scene/vecmath.h"

// Optional description of pelWriteFile.
struct PelWriteInfo {
    uint32_t passedValue;          // header offset 108
    const char* objectName;        // header object name (at most 98 characters)
    const char* const* areaNames;  // one per area, or null
    uint32_t switches[5];          // non-zero sets header flag 4, 8, 16, 32, 128
};

// Header flag bits set by the writer.
enum : uint32_t {
    PEL_HDR_LIGHTS = 1,
    PEL_HDR_AREAS = 2,
    PEL_HDR_ALPHA = 64,
};
// Flags of the switches, in order, and the set used without a PelWriteInfo.
constexpr uint32_t PEL_WRITE_SWITCH_FLAGS[5] = {4, 8, 16, 32, 128};
constexpr uint32_t PEL_WRITE_DEFAULT_FLAGS = 4 | 8 | 32;

constexpr uint32_t PEL_PREVIEW_SIZE = 64;
// Preview picture: a 64 x 64 16-bit BMP.
constexpr uint32_t SCN_PREVIEW_BMP_BYTES = 8246;

// Merges the zero-terminated node list into one object and writes it (see pelWriteFile).
int pelSaveObject(int mergeAreas, const char* path, ScnNode* const* nodes, const PelWriteInfo* info, Vec3* centreOut,
                  uint32_t nameCount, const char* const* names);
// Writes the node's object to path. The file is built beside path and replaces it only when
// complete, texts included. centreOut (may be null) receives the world box centre. names
// (nameCount texts) replace the part names when nameCount equals the part count.
int pelWriteFile(int mergeAreas, const char* path, ScnNode* node, const PelWriteInfo* info, Vec3* centreOut,
                 uint32_t nameCount, const char* const* names);

// Zero-fills a counted-string field of width bytes; texts longer than width - 2 are refused.
int pelPutString(uint32_t width, uint8_t* field, const char* text);
// Writes size bytes and adds each byte to *sum; 1 when the write succeeded.
int pelWriteSum(std::FILE* file, const void* data, uint32_t size, uint32_t* sum);
// File face flags of an in-memory face.
uint16_t pelFaceFlagsToFile(uint16_t flags, int textured);

// Ground-plan outline of the content under matrix (faces seen from above and their rims).
// *points receives x, y pairs (f32) and *counts one u16 per polyline; both freed with memFree.
int pelBuildOutline(const PelContent* content, const Mat4* matrix, uint32_t* pointCount, uint32_t* polylineCount,
                    float** points, uint16_t** counts);
void pelAddOutlineEdge(const Vec3* a, const Vec3* b);
void pelFreeOutline();

// Makes the preview picture of the node (SCN_PREVIEW_BMP_BYTES bytes into *picture, freed with
// memFree); 1 or 0. The renderer installs its own; without one files are written without preview.
typedef int (*PelPreviewFn)(ScnNode* node, uint8_t** picture);
void pelSetPreviewRenderer(PelPreviewFn fn);

// The writer's frame: base x translation(-centre) x mirror of x and y.
Mat4 pelWriteMatrix(const Mat4& base, const Vec3& centre);
Vec3 pelBoxCentre(const Box3& box);

// One object holding copies of all the nodes' geometry, in world space; freed by pelFreeMerged.
int pelMergeNodes(ScnNode* const* nodes, uint32_t nameCount, const char* const* names, ScnNode** mergedOut);
int pelFreeMerged(ScnNode** mergedOut);
// The stored material of a derived record: its input fields and flags.
MatInput pelMatInputFromRecord(const MatRecord& record);

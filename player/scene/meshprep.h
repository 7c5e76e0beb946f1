// Mesh preparation: plane offsets, part and face ordering, neighbours,
// bounding-edge connection, crease classification and the rebuild of a
// content with vertex-normal and face-normal arrays.
#pragma once
#include <cstdint>
#include <vector>

#include "scene/scratch.h"
#include "scene/vecmath.h"

struct PelContent;
struct PelFace;

// Part flag: the faces' first neighbour words hold normal-group bits.
constexpr uint32_t PART_NORMAL_GROUPS = 2;

// Joining tolerance factor (times the squared diagonal of the content box).
constexpr float PEL_JOIN_FACTOR = 9.9999994e-11f;

// Figures of the last pelConnectEdges run.
struct PelConnectStats {
    uint32_t boundingEdges;  // open edges offered to the connection
    uint32_t joined;         // edges joined (two per joined pair)
    uint32_t merged;         // triangle pairs merged into quadrilaterals
    uint64_t edgeTests;      // open edges tested against another in the connection
    uint64_t neighbourTests; // face edges looked at as a neighbour's candidates
};

// Prepares the content in *holder and replaces it by the rebuilt one.
// planes: planeCount records of 9 floats (normal x y z, distance, offset x y z,
// offset u v). edgeValues: edgeCount values of the object stream's edge
// section; (edgeCount + 1) / 2 vertices are reserved behind the vertex array.
// modeSwitch is accepted for the stream's edge mode and not used.
// result (may be null) receives the byte size of the rebuilt content.
int pelConnectEdges(PelContent** holder, uint32_t* result, uint32_t keepNormals, float creaseAngle,
                    uint32_t mergeTriangles, uint32_t keepOrder, uint32_t modeSwitch, uint32_t edgeCount,
                    const float* edgeValues, uint32_t planeCount, const float* planes, uint32_t connect);

// A vertex as an object stream gives it.
struct PelStreamVertex {
    Vec3 pos;
    float u, v;
};
// Crease angle of an object stream's preparation (degrees).
constexpr float PEL_STREAM_CREASE = 179.0f;
// pelConnectEdges(holder, result, 0, PEL_STREAM_CREASE, 0, 0, 0, edgeCount, -, planeCount,
// planes, 1) for a content whose vertices and faces are held apart (an object stream's): the
// content's own vertex and face arrays are not read, nor its parts' array addresses; the
// parts' counts divide the two arrays, which are taken over (inside the caller's ScratchRun).
int pelConnectStreamEdges(PelContent** holder, ScratchVec<PelStreamVertex>& vertices, ScratchVec<PelFace>& faces,
                          uint32_t* result, uint32_t edgeCount, uint32_t planeCount, const float* planes);
// Moves the animation data (frame rate, counts, per-part track indices,
// descriptors and tracks) from oldContent to newContent; oldContent keeps none.
int pelCopyAnimation(PelContent* newContent, PelContent* oldContent);

int pelGetConnectStats(PelConnectStats* out);
void pelResetConnectStats();

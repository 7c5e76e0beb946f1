// The sample object made in code: boxes, a sphere, a pyramid and an open tray with materials,
// vertex normals, face neighbours, smooth faces and a checker texture, and a scene around it
// (lights, camera, background). Used by the render tool, the benchmarks and the viewer's own
// sample file.
#pragma once
#include <cstdint>
#include <vector>

#include "scene/camera.h"
#include "scene/material.h"
#include "scene/scene.h"

struct PicRecord;
struct TexRecord;
struct LightRecord;

struct SampleFace {
    uint32_t v[4];
    uint16_t material = 0;
    uint16_t flags = 0;  // FACE_QUAD for quadrilaterals
    uint16_t area = 0;
};

// Geometry gathered before the content is made.
struct SampleShape {
    std::vector<Vec3> positions;
    std::vector<float> us;
    std::vector<SampleFace> faces;
    std::vector<uint32_t> partVertices, partFaces;  // counts per part
    std::vector<MatInput> materials;
    uint32_t areaCount = 0;
};

struct SampleMesh {
    SampleShape shape;
    std::vector<Vec3> normals;  // one per vertex
    std::vector<float> vs;      // v texture coordinates
    uint32_t partStartVertex = 0, partStartFace = 0;

    void endPart();
    uint32_t vertex(Vec3 p, Vec3 n, float u, float v);
    void quad(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint16_t material, uint16_t flags = 0);
    void tri(uint32_t a, uint32_t b, uint32_t c, uint16_t material, uint16_t flags = 0);
    // Axis-aligned box, counter-clockwise faces seen from outside.
    void box(Vec3 c, Vec3 h, uint16_t material, uint16_t flags = 0);
    // Box without its top face: from above its inner walls are back faces.
    void tray(Vec3 c, Vec3 h, uint16_t material, uint16_t flags = 0);
    void sphere(Vec3 c, float r, int segments, int rings, uint16_t material, uint16_t flags = 0);
    void pyramid(Vec3 c, float h, float half, uint16_t material);
    // The content (registered): vertex normals, face planes and neighbours by shared
    // positions; edges without a neighbour are marked open. Null when memory is lacking.
    PelContent* build();
};

// A size x size checker texture of two colours (0x00RRGGBB), squares of 8 texels.
TexRecord* sampleCheckerTexture(int size, uint32_t a, uint32_t b);
void sampleFreeTexture(TexRecord** holder);
MatInput sampleMaterial(float r, float g, float b, float specular = 0.0f);
MatInput sampleTexturedMaterial(uint32_t area);

// The sample scene: a two-coloured block, a smooth sphere, a pyramid, a textured cube and an
// open tray (one part each), two directional lights, a camera for a w x h view and a
// colour-band background.
struct SampleScene {
    PelContent* content = nullptr;
    ScnNode* node = nullptr;
    TexRecord* texture = nullptr;
    LightRecord* lights[2] = {};
    CamRecord cam{};
};
bool sampleSceneCreate(SampleScene* s, int32_t w, int32_t h);
void sampleSceneFree(SampleScene* s);

// Frame rows (RGB555 or 0x00RRGGBB) into a bottom-up 24-bit BMP, written beside the path and
// renamed over it when complete.
bool sampleWriteBmp(const char* path, const PicRecord* pic, int32_t w, int32_t h);

// The texture file that the sample object file names; written beside the object.
constexpr char kSampleTextureName[] = "checker.bmp";
// Writes the sample object with the object file writer (the KVO header instead of the PEL
// one when kvo is set) and its checker texture beside it. False when either is not written.
bool sampleWriteObjectFile(const char* path, bool kvo);

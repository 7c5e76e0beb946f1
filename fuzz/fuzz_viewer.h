// What the viewer does with every object it has loaded, for the fuzz targets of the object
// readers: prepare the mesh, read the area names, give the areas textures, switch the
// language, draw a small frame, ray-trace a few pixels, write the object back and read it
// again. Contents beyond the caps below skip these steps, so that each input stays quick
// whatever its counts say. The dear steps run for a share of the inputs, chosen by a hash
// of their bytes (fuzzChoice), so that the targets keep their pace: the steps at all for one
// input in kFuzzViewShare, of those a frame for one in kFuzzFrameShare, tracing for one in
// kFuzzTraceShare, writing back (with its preview picture) for one in kFuzzWriteShare.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_common.h"
#include "render/clear.h"
#include "render/clipplane.h"
#include "render/fzbuffer.h"
#include "render/light.h"
#include "render/raytrace.h"
#include "render/renderer.h"
#include "render/renderlist.h"
#include "render/rtdriver.h"
#include "scene/camera.h"
#include "scene/contentlist.h"
#include "scene/engine.h"
#include "scene/material.h"
#include "scene/meshprep.h"
#include "scene/pelchunk.h"
#include "scene/pelfile.h"
#include "scene/pelwrite.h"
#include "scene/picture.h"
#include "scene/scene.h"
#include "scene/sceneops.h"
#include "scene/texture.h"

// Caps of the steps past the parser.
constexpr uint32_t kFuzzMaxFaces = 2048;     // faces (and vertices) of a content
constexpr uint32_t kFuzzMaxParts = 256;      // parts
constexpr uint32_t kFuzzMaxAreas = 64;       // areas (one texture each)
constexpr uint32_t kFuzzMaxMaterials = 256;  // materials
constexpr uint32_t kFuzzMaxTexts = 1u << 14; // bytes of each text list
constexpr uint32_t kFuzzMaxDescs = 64;       // sub-animations
constexpr int32_t kFuzzFrameW = 12, kFuzzFrameH = 8;   // the frame drawn
constexpr int32_t kFuzzTraceW = 4, kFuzzTraceH = 3;    // the pixels ray-traced
constexpr uint32_t kFuzzViewShare = 2;
constexpr uint32_t kFuzzFrameShare = 4;
constexpr uint32_t kFuzzTraceShare = 64;
constexpr uint32_t kFuzzWriteShare = 4096;

// A value from every byte of the input that picks the dear steps. Each mutation draws it
// anew, so the inputs kept for what a dear step reached do not make their mutants take
// that step too (which would slow the targets down as the corpus grows).
inline uint32_t fuzzChoice(const uint8_t* data, size_t size) {
    uint64_t h = uint64_t(size) * 0x9E3779B97F4A7C15ull;
    size_t at = 0;
    for (; at + 8 <= size; at += 8) {
        uint64_t w;
        std::memcpy(&w, data + at, 8);
        h = (h ^ w) * 0x100000001B3ull;
        h ^= h >> 29;
    }
    for (; at < size; ++at) h = (h ^ data[at]) * 0x100000001B3ull;
    h ^= h >> 32;
    return uint32_t(h) >> 8;
}

inline bool fuzzWithinCaps(const PelContent* c) {
    return c && c->faceCount <= kFuzzMaxFaces && c->vertexCount <= kFuzzMaxFaces && c->partCount <= kFuzzMaxParts &&
           c->areaCount <= kFuzzMaxAreas && c->materialCount <= kFuzzMaxMaterials &&
           c->lightCount <= kFuzzMaxParts && c->textList1Size <= kFuzzMaxTexts && c->textList2Size <= kFuzzMaxTexts &&
           c->descCount <= kFuzzMaxDescs && c->trackCount <= kFuzzMaxParts;
}

// Area names: the count of names, each inside the text, whatever the content holds.
inline void fuzzCheckAreaNames(const PelContent* c) {
    const size_t size = pelAreaNamesSize(c);
    std::vector<char> buffer(size + 1, 0x5A);
    uint32_t count = 0;
    if (!pelGetAreaNames(c, &count, buffer.data(), size)) __builtin_trap();
    if (buffer[size] != 0x5A) __builtin_trap();  // wrote past what it asked for
    if (count != 0 && count != c->areaCount) __builtin_trap();
    size_t at = 0;
    for (uint32_t a = 0; a < count; ++a) {
        const void* z = std::memchr(buffer.data() + at, 0, size - at);
        if (!z) __builtin_trap();
        const char* name = pelAreaName(c, a);
        if (!name || std::strcmp(name, buffer.data() + at) != 0) __builtin_trap();
        at = size_t(static_cast<const char*>(z) - buffer.data()) + 1;
    }
}

// A camera that looks at the node's box from a corner; false when the box is not usable.
inline bool fuzzCamera(const ScnNode* node, int32_t w, int32_t h, CamRecord* cam) {
    const Box3& b = node->worldBox;
    const float v[6] = {b.min.x, b.min.y, b.min.z, b.max.x, b.max.y, b.max.z};
    for (float f : v)
        if (!std::isfinite(f) || std::fabs(f) > 1e6f) return false;
    const Vec3 centre = {(b.min.x + b.max.x) * 0.5f, (b.min.y + b.max.y) * 0.5f, (b.min.z + b.max.z) * 0.5f};
    float d = std::max({b.max.x - b.min.x, b.max.y - b.min.y, b.max.z - b.min.z, 1e-3f});
    *cam = CamRecord{};
    cam->eye = {centre.x + 1.5f * d, centre.y - 2.0f * d, centre.z + 1.2f * d};
    cam->vrp = centre;
    cam->up = {0, 0, 1};
    cam->viewDist = d;
    cam->nearDist = 0.05f * d;
    cam->farDist = 10.0f * d;
    const float half = 0.6f * d, aspect = float(h) / float(w);
    cam->winXMin = -half, cam->winXMax = half, cam->winYMin = -half * aspect, cam->winYMax = half * aspect;
    cam->pixW = w, cam->pixH = h;
    return camUpdate(cam) != 0;
}

inline void fuzzDrawAndTrace(ScnNode* node, uint32_t choice) {
    CamRecord cam;
    if (choice % kFuzzFrameShare == 0 && fuzzCamera(node, kFuzzFrameW, kFuzzFrameH, &cam)) {
        PicRecord* frame = nullptr;
        if (fzCreate(kFuzzFrameW, kFuzzFrameH, 2, &frame) && frame) {
            static const uint32_t kinds[] = {SCN_KIND_GOURAUD_TEX, SCN_KIND_HIDDEN, SCN_KIND_WIRE, SCN_KIND_FLAT};
            ScnNode* roots[2] = {node, nullptr};
            fzDrawBackground(frame, nullptr, nullptr, &cam, 1, 0);
            ScnRenderJob job{};
            job.camera = &cam;
            job.target = frame;
            job.kind = kinds[(choice / kFuzzFrameShare) % 4];
            scnRenderList(&job, roots, nullptr);
            fzFree(&frame);
        }
    }
    if (choice % kFuzzTraceShare != 1) return;
    CamRecord rayCam;
    if (!fuzzCamera(node, kFuzzTraceW, kFuzzTraceH, &rayCam)) return;
    PicRecord *target = nullptr, *work = nullptr;
    if (fzCreate(kFuzzTraceW, kFuzzTraceH, 4, &target) && fzCreate(kFuzzTraceW, kFuzzTraceH, 4, &work)) {
        rtSetProcessorCount(1);
        ScnNode* list[2] = {node, nullptr};
        ScnRenderJob job{};
        job.camera = &rayCam;
        job.target = target;
        job.kind = SCN_KIND_GOURAUD_TEX;
        rtRender(&job, work, nullptr, nullptr, list, nullptr, nullptr, 1, 1, 1, 1, 1, 0);
    }
    fzFree(&target);
    fzFree(&work);
}

// A small two-colour texture for every area, made once for the process.
inline TexRecord* fuzzTexture() {
    static TexRecord* tex = [] {
        uint32_t palette[256] = {};
        palette[0] = 0x00F0E0C0;
        palette[1] = 0x00603020;
        PicRecord* pic = nullptr;
        TexRecord* t = nullptr;
        if (!fzCreateImage(8, 8, 1, &pic, 256, palette) || !pic) return t;
        for (int i = 0; i < 64; ++i) pic->pixels[i] = uint8_t(((i & 7) ^ (i >> 3)) & 1);
        if (texAllocRecord(&t) && !picConvert(pic, 8, 8, 1, 0, t, nullptr)) texFree(&t);
        fzFreeImage(&pic);
        return t;
    }();
    return tex;
}

// Runs the viewer's steps on *holder (which may be replaced); the caller frees it.
// scratch is a file this process may write; choice comes from fuzzChoice.
inline void fuzzViewerSteps(PelContent** holder, const std::string& scratch, bool prepare, uint32_t choice) {
    if ((choice >> 16) % kFuzzViewShare != 0 || !fuzzWithinCaps(*holder)) return;
    if (prepare) {
        uint32_t size = 0;
        pelConnectEdges(holder, &size, 1, 40.0f, 1, 0, 0, 0, nullptr, 0, nullptr, 1);
        if (!fuzzWithinCaps(*holder)) return;
    }
    PelContent* c = *holder;
    fuzzCheckAreaNames(c);

    Mat4 base;
    mtxIdentity(&base);
    ScnNode* node = nullptr;
    if (!scnNodeCreate(c, 0, nullptr, nullptr, &base, &node) || !node) {
        scnNodeFree(&node, nullptr);
        return;
    }
    TexRecord* tex = c->areaCount ? fuzzTexture() : nullptr;
    if (tex) {
        std::vector<TexRecord*> textures(c->areaCount, tex);
        scnSetAreaTextures(node, textures.data());
        scnSetAreaMaterial(c->areaCount - 1, nullptr, node);
    }
    pelSetLanguage("EN");
    pelSetLanguage("XY");
    scnSetPose(node, &base, 0.5f);

    fuzzDrawAndTrace(node, choice);

    // Written back, the object reads again.
    Vec3 centre;
    if (choice % kFuzzWriteShare == 2 && pelWriteFile(0, scratch.c_str(), node, nullptr, &centre, 0, nullptr)) {
        char file[PEL_FILE_NAME_MAX], name[100];
        PelFileInfo info;
        PelContent* back = nullptr;
        size_t bytes = 0;
        if (pelLoad(scratch.c_str(), file, name, &info, &back, &bytes)) pelFreeObject(&back);
    }

    scnNodeFree(&node, nullptr);
}

// Engine state back to the start after each input.
inline void fuzzResetEngine() {
    errReset();
    ltReset();
    ltResetShading();
    clpReset();
    fzResetState();
    matReset();
    rtResetState();
    rtResetDriver();
    pelResetReader();
    pelResetLanguage();
}

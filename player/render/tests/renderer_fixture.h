// Test-side helpers of the frame renderer tests: cameras, frames, and a recorder that
// takes the place of the rasterisers through the hardware hand-over.
#pragma once
#include <cmath>
#include <vector>

#include "render/clear.h"
#include "render/clipplane.h"
#include "render/dxhook.h"
#include "render/fzbuffer.h"
#include "render/light.h"
#include "render/renderer.h"
#include "render/renderlist.h"
#include "render/span.h"
#include "render/triangle.h"
#include "scene/camera.h"
#include "scene/contentlist.h"
#include "scene/engine.h"
#include "scene/material.h"
#include "scene/sceneops.h"
#include "render/sample.h"
#include "scene/picture.h"
#include "scene/tests/content_builder.h"
#include "scene/texture.h"

// Looks from eye at vrp (up +z unless given) with a w x h view.
inline CamRecord testCamera(int32_t w, int32_t h, Vec3 eye, Vec3 vrp, Vec3 up = {0, 0, 1}) {
    CamRecord c{};
    c.eye = eye;
    c.vrp = vrp;
    c.up = up;
    c.viewDist = 1.0f;
    c.nearDist = 0.5f;
    c.farDist = 100.0f;
    const float hw = 0.4f, hh = hw * float(h) / float(w);
    c.winXMin = -hw, c.winXMax = hw, c.winYMin = -hh, c.winYMax = hh;
    c.pixW = w, c.pixH = h;
    camUpdate(&c);
    return c;
}

struct RecordedTri {
    const PelVertex *a, *b, *c;
    uint32_t flags;
    float alpha;
    const TexPixelBlock* texture;
    uint32_t edges;  // hidden-line faces only
    float cx, cy;    // screen centre of the three corners when drawn
};
struct RecordedLine {
    float p0[3], p1[3];
};

// Every triangle, edged face and line goes to the recorder while it is installed.
struct DrawRecorder {
    static std::vector<RecordedTri>& tris() {
        static std::vector<RecordedTri> v;
        return v;
    }
    static std::vector<RecordedLine>& lines() {
        static std::vector<RecordedLine> v;
        return v;
    }
    static void triangle(const TriRecord* t) { edged(t, 0); }
    static void edged(const TriRecord* t, uint32_t e) {
        tris().push_back({t->a, t->b, t->c, t->flags, t->alpha, t->texture, e, (t->a->sx + t->b->sx + t->c->sx) / 3.0f,
                          (t->a->sy + t->b->sy + t->c->sy) / 3.0f});
    }
    static void line(const float* p0, const float* p1, const float*, uint32_t, const LineRecord*) {
        lines().push_back({{p0[0], p0[1], p0[2]}, {p1[0], p1[1], p1[2]}});
    }
    DrawRecorder() {
        tris().clear();
        lines().clear();
        static const SpanHardware hw = {triangle, edged, nullptr, line, 0};
        spanSetHardware(&hw);
    }
    ~DrawRecorder() { spanSetHardware(nullptr); }
};

// Engine state back to load.
inline void resetRenderState() {
    errReset();
    ltReset();
    ltResetShading();
    matReset();
    clpReset();
    dxResetHooks();
    fzResetState();
    fzResetClearState();
    scnResetRenderer();
    scnResetSceneOps();
    triResetState();
    spanSetHardware(nullptr);
    pelResetObjectList();
}

inline Mat4 identityMatrix() {
    Mat4 m;
    mtxIdentity(&m);
    return m;
}

// A node of the content at base (identity when null); freed by freeNode.
inline ScnNode* makeNode(PelContent* c, const Mat4* base = nullptr, TexRecord** textures = nullptr) {
    Mat4 m = base ? *base : identityMatrix();
    ScnNode* n = nullptr;
    scnNodeCreate(c, 1, textures, nullptr, &m, &n);
    return n;
}
inline void freeNode(ScnNode*& n) {
    uint32_t remaining = 0;
    scnNodeFree(&n, &remaining);
}

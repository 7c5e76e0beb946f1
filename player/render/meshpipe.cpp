#include "render/meshpipe.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "render/faceclip.h"
#include "render/framemarks.h"
#include "render/light.h"
#include "render/span.h"
#include "render/triangle.h"
#include "scene/texture.h"

namespace {

uint32_t defaultFaceId(const PelFace* face, const ScnNode* node) {
    return uint32_t(face - node->content->faces) + 1;
}
RpFaceIdFn g_rayFaceId = defaultFaceId;

bool target4() {
    const PicRecord* t = spanGetTarget();
    return t && t->bytesPerPixel == 4;
}

int corners(const PelFace* f) { return (f->flags & FACE_QUAD) ? 4 : 3; }

// The face's vertices; false when an index lies beyond the content.
inline bool faceVertices(const PelFace* face, const ScnNode* node, PelVertex* out[4]) {
    const PelContent* c = node->content;
    if (!c || !c->vertices) return false;
    const int n = corners(face);
    for (int k = 0; k < n; ++k) {
        if (face->v[k] >= c->vertexCount) return false;
        out[k] = &c->vertices[face->v[k]];
        frmVertex(c, out[k]);
    }
    if (n == 3) out[3] = out[2];
    return true;
}

inline void project(PelVertex* v, const ScnNode* node) {
    if (v->flags & VTX_PROJECTED) return;
    Vec4 s;
    if (mtxProjectVertexBounds(&v->pos, &s, &node->objToScreen)) {
        v->sx = s.x;
        v->sy = s.y;
        v->sz = s.z;
        v->sw = s.w;
    }
    v->flags |= VTX_PROJECTED;
}

// The face's texture block when the face can be drawn textured.
const TexPixelBlock* faceTexture(const PelFace* face, const ScnNode* node, bool needSwitch) {
    if (needSwitch && !scnTexturesOn) return nullptr;
    if (!(face->flags & FACE_TEXTURED) || !node->areaTextures) return nullptr;
    if (face->area >= node->content->areaCount) return nullptr;
    const TexRecord* t = node->areaTextures[face->area];
    return t ? t->block : nullptr;
}

inline float maxColourDiff(const PelVertex* a, const PelVertex* b) {
    float d = std::fabs(a->r - b->r);  // the first largest, as std::max of the three
    if (d < std::fabs(a->g - b->g)) d = std::fabs(a->g - b->g);
    if (d < std::fabs(a->b - b->b)) d = std::fabs(a->b - b->b);
    return d;
}

void putId(PelVertex* v, uint32_t id) { std::memcpy(&v->r, &id, sizeof id); }

// Restores the face flags an environment-mapped face loses in the flat-textured mode.
struct EnvFlagsGuard {
    PelFace* face;
    uint16_t saved;
    explicit EnvFlagsGuard(PelFace* f) : face(f), saved(f->flags) {
        if (f->flags & FACE_ENVMAP) f->flags = uint16_t(f->flags & ~(FACE_ENVMAP | FACE_TEXTURED));
    }
    ~EnvFlagsGuard() { face->flags = saved; }
};

// ---- triangle set-up shared by the plain routines and the clipped twins ----

// Lights v as corner k of the face unless that would leave it as it is.
inline void lightCorner(PelVertex* v, uint32_t k, PelFace* face, ScnNode* node) {
    if (!ltVertexSettled(v, face)) ltLightVertex(v, k, face, node, nullptr);
}

// Draws tri (16-bit target) with the corners a, b, c (projected).
void fillTriangle(TriRecord& tri, PelVertex* a, PelVertex* b, PelVertex* c) {
    tri.a = a, tri.b = b, tri.c = c;
    if (tri.texture)
        triFillSubdiv16(&tri);
    else
        triFill16(&tri);
}

// A face of the flat modes: corner 0 lit once for the face, the corners projected, then the
// triangles (0, 1, 2) and (0, 3, 2).
void flatFace(PelFace* face, ScnNode* node, PelVertex* const v[4], bool textured) {
    const int n = corners(face);
    const float t = ltFaceTransparency(face, node);
    lightCorner(v[0], 0, face, node);
    if (textured)
        for (int k = 1; k < n; ++k) {
            v[k]->eu = v[k]->u;
            v[k]->ev = v[k]->v;
        }
    for (int k = 0; k < n; ++k) project(v[k], node);
    const TexPixelBlock* tex = textured ? faceTexture(face, node, true) : nullptr;
    TriRecord tri = {v[0], v[1], v[2], tex, 1.0f - t, SPAN_DEPTH | (t != 0.0f ? SPAN_TRANSPARENT : 0u)};
    if (tex) tri.flags |= SPAN_TEXTURE | ((face->flags & FACE_COLORKEY) ? SPAN_COLORKEY : 0u);
    fillTriangle(tri, v[0], v[1], v[2]);
    if (n == 4) fillTriangle(tri, v[0], v[3], v[2]);
}

void drawFlat(PelVertex* a, PelVertex* b, PelVertex* c, PelFace* face, ScnNode* node) {
    const float t = ltFaceTransparency(face, node);
    lightCorner(a, 0, face, node);
    project(a, node);
    project(b, node);
    project(c, node);
    TriRecord tri = {a, b, c, nullptr, 1.0f - t, SPAN_DEPTH | (t != 0.0f ? SPAN_TRANSPARENT : 0u)};
    triFill16(&tri);
}

void drawFlatTex(PelVertex* a, PelVertex* b, PelVertex* c, PelFace* face, ScnNode* node) {
    const float t = ltFaceTransparency(face, node);
    lightCorner(a, 0, face, node);
    for (PelVertex* v : {b, c}) {
        v->eu = v->u;
        v->ev = v->v;
    }
    project(a, node);
    project(b, node);
    project(c, node);
    const TexPixelBlock* tex = faceTexture(face, node, true);
    uint32_t flags = SPAN_DEPTH | (t != 0.0f ? SPAN_TRANSPARENT : 0u);
    TriRecord tri = {a, b, c, tex, 1.0f - t, flags};
    if (tex) {
        tri.flags |= SPAN_TEXTURE | ((face->flags & FACE_COLORKEY) ? SPAN_COLORKEY : 0u);
        triFillSubdiv16(&tri);
    } else {
        triFill16(&tri);
    }
}

uint32_t gouraudFlags(const PelFace* face, const TexPixelBlock* tex, float t) {
    uint32_t flags = SPAN_DEPTH | SPAN_GOURAUD | (t != 0.0f ? SPAN_TRANSPARENT : 0u);
    if (tex) {
        flags |= SPAN_TEXTURE;
        if (face->flags & FACE_COLORKEY) flags |= SPAN_COLORKEY;
        if (face->flags & FACE_ENVMAP) flags |= SPAN_WRAPU;
    }
    return flags;
}

void drawGouraud(PelVertex* a, PelVertex* b, PelVertex* c, PelFace* face, ScnNode* node, float t) {
    project(a, node);
    project(b, node);
    project(c, node);
    const TexPixelBlock* tex = faceTexture(face, node, true);
    TriRecord tri = {a, b, c, tex, 1.0f - t, gouraudFlags(face, tex, t)};
    fillTriangle(tri, a, b, c);
}

void drawRayId(PelVertex* a, PelVertex* b, PelVertex* c, PelFace* face, ScnNode* node) {
    putId(a, g_rayFaceId(face, node));
    project(a, node);
    project(b, node);
    project(c, node);
    const TexPixelBlock* tex = faceTexture(face, node, false);
    TriRecord tri = {a, b, c, tex, 1.0f, SPAN_DEPTH | SPAN_RAYID};
    if (tex) {
        tri.flags |= SPAN_TEXTURE | ((face->flags & FACE_COLORKEY) ? SPAN_COLORKEY : 0u) |
                     ((face->flags & FACE_ENVMAP) ? SPAN_WRAPU : 0u);
        triFillSubdivId32(&tri);
    } else {
        triFillId32(&tri);
    }
}

void drawVisId(PelVertex* a, PelVertex* b, PelVertex* c, PelFace* face, ScnNode* node) {
    uint32_t id = 0;
    visFaceIdColor(face, node, &id);
    putId(a, id);
    project(a, node);
    project(b, node);
    project(c, node);
    TriRecord tri = {a, b, c, nullptr, 1.0f, SPAN_DEPTH | SPAN_VISID};
    triFillId32(&tri);
}

const float kWhite[3] = {1.0f, 1.0f, 1.0f};

void drawHidden(PelVertex* a, PelVertex* b, PelVertex* c, ScnNode* node, uint32_t mask, const float* fill) {
    if (!fill) fill = kWhite;
    a->r = fill[0];
    a->g = fill[1];
    a->b = fill[2];
    project(a, node);
    project(b, node);
    project(c, node);
    TriRecord tri = {a, b, c, nullptr, 1.0f, 0};
    triFillEdged(&tri, mask & 7u);
}

// ---- clipping entries ----

enum class Mode { Flat, FlatTex, Gouraud, RayId, VisId, Hidden };

void drawTwin(Mode mode, PelVertex* a, PelVertex* b, PelVertex* c, PelFace* face, ScnNode* node, uint32_t mask,
              const float* fill) {
    switch (mode) {
        case Mode::Flat: rpFaceFlatClipped(a, b, c, face, node); break;
        case Mode::FlatTex: rpFaceFlatTexClipped(a, b, c, face, node); break;
        case Mode::Gouraud: rpFaceGouraudTexClipped(a, b, c, face, node); break;
        case Mode::RayId: rpFaceRayIdClipped(a, b, c, face, node); break;
        case Mode::VisId: rpFaceVisIdClipped(a, b, c, face, node); break;
        case Mode::Hidden: rpFaceHiddenLineClipped(a, b, c, node, mask, fill); break;
    }
}

void gouraudFace(PelFace* face, ScnNode* node, PelVertex* const v[4]) {
    const int n = corners(face);
    const float t = ltFaceTransparency(face, node);
    for (int k = 0; k < n; ++k) {
        lightCorner(v[k], uint32_t(k), face, node);
        project(v[k], node);
    }
    const TexPixelBlock* tex = faceTexture(face, node, true);
    TriRecord tri = {v[0], v[1], v[2], tex, 1.0f - t, gouraudFlags(face, tex, t)};
    if (n == 4 && maxColourDiff(v[0], v[2]) > maxColourDiff(v[1], v[3])) {
        fillTriangle(tri, v[1], v[0], v[3]);
        fillTriangle(tri, v[1], v[2], v[3]);
        return;
    }
    fillTriangle(tri, v[0], v[1], v[2]);
    if (n == 4) fillTriangle(tri, v[0], v[3], v[2]);
}

// The plain face routine of the mode with the face's corners looked up (target checked).
inline void drawPlain(Mode mode, PelFace* face, ScnNode* node, PelVertex* const v[4], uint32_t mask,
                      const float* fill) {
    const bool quad = face->flags & FACE_QUAD;
    switch (mode) {
        case Mode::Flat: flatFace(face, node, v, false); break;
        case Mode::FlatTex: {
            EnvFlagsGuard guard(face);
            flatFace(face, node, v, true);
            break;
        }
        case Mode::Gouraud: gouraudFace(face, node, v); break;
        case Mode::RayId:
            drawRayId(v[0], v[1], v[2], face, node);
            if (quad) drawRayId(v[0], v[3], v[2], face, node);
            break;
        case Mode::VisId:
            drawVisId(v[0], v[1], v[2], face, node);
            if (quad) drawVisId(v[0], v[3], v[2], face, node);
            break;
        case Mode::Hidden:
            if (!quad) {
                drawHidden(v[0], v[1], v[2], node, mask, fill);
                break;
            }
            drawHidden(v[0], v[1], v[2], node, mask & 3u, fill);
            drawHidden(v[0], v[3], v[2], node, ((mask >> 3) & 1u) | (((mask >> 2) & 1u) << 1), fill);
            break;
    }
}

// A face of a clipping entry that crosses the planes of outCode: lit, clipped and drawn as
// a fan.
void clipFace(Mode mode, PelFace* face, ScnNode* node, PelVertex* const v[4], uint32_t outCode, uint32_t mask,
              const float* fill) {
    RpClipState& st = rpClipState();  // the clipper's interpolation switches
    const bool textured = face->flags & FACE_TEXTURED;
    switch (mode) {
        case Mode::Flat:
        case Mode::Hidden: st.lerpColour = 0, st.lerpTexture = 0, st.wrapU = 0; break;
        case Mode::RayId:
        case Mode::VisId: st.lerpColour = 0, st.lerpTexture = textured, st.wrapU = 0; break;
        case Mode::FlatTex: break;  // after the env-map flags are cleared
        case Mode::Gouraud:
            st.lerpColour = 1;
            st.lerpTexture = scnTexturesOn && textured;
            st.wrapU = st.lerpTexture && (face->flags & FACE_ENVMAP);
            break;
    }
    if (mode == Mode::FlatTex) {  // the caller puts the face flags back
        if (face->flags & FACE_ENVMAP) face->flags = uint16_t(face->flags & ~(FACE_ENVMAP | FACE_TEXTURED));
        st.lerpColour = 0;
        st.lerpTexture = scnTexturesOn && (face->flags & FACE_TEXTURED);
        st.wrapU = 0;
    }
    const int n = corners(face);
    if (mode == Mode::Flat || mode == Mode::FlatTex) lightCorner(v[0], 0, face, node);
    if (mode == Mode::Gouraud)
        for (int k = 0; k < n; ++k) lightCorner(v[k], uint32_t(k), face, node);
    int order[4] = {0, 1, 2, 3};
    if (mode == Mode::Gouraud && n == 4 && maxColourDiff(v[0], v[2]) > maxColourDiff(v[1], v[3])) {
        order[0] = 1, order[1] = 0, order[2] = 3, order[3] = 2;
    }
    const Vec4 clips[4] = {st.faceClip[0], st.faceClip[1], st.faceClip[2], st.faceClip[3]};
    for (int k = 0; k < n; ++k) {
        ClipVertex& cv = st.poly[k];
        const int src = order[k];
        cv.edgeValid = 1;
        cv.edgeVisible = (mask >> src) & 1u;
        cv.v = *v[src];
        cv.clip = clips[src];
        if (mode == Mode::FlatTex && k > 0) {
            cv.v.eu = cv.v.u;
            cv.v.ev = cv.v.v;
        }
    }
    st.count = n;
    if (rpClipPolygon(outCode) == 0 && st.count >= 3) {
        const int m = st.count;
        if (mode == Mode::Flat || mode == Mode::FlatTex) {
            st.poly[0].v.r = v[0]->r;
            st.poly[0].v.g = v[0]->g;
            st.poly[0].v.b = v[0]->b;
            st.poly[0].v.flags |= VTX_LIT;
        } else if (mode == Mode::Gouraud) {
            for (int k = 0; k < m; ++k) st.poly[k].v.flags |= VTX_FIXED_COLOR;
        }
        auto drawn = [&](int k) { return st.poly[k].edgeValid && st.poly[k].edgeVisible; };
        for (int k = 2; k < m; ++k) {
            uint32_t triMask = 0;
            if (mode == Mode::Hidden) {
                if (k == 2) triMask |= (drawn(0) ? 1u : 0u) | (drawn(1) ? 2u : 0u);
                else triMask |= drawn(k - 1) ? 2u : 0u;
                if (k == m - 1 && drawn(m - 1)) triMask |= 4u;
            }
            drawTwin(mode, &st.poly[0].v, &st.poly[k - 1].v, &st.poly[k].v, face, node, triMask, fill);
        }
    }
}

// Inline in each entry, so that the plain routine of its mode is called directly.
inline void clipEntry(Mode mode, PelFace* face, ScnNode* node, uint32_t mask, const float* fill) {
    if (!face || !node || !node->content) return;
    if (mode != Mode::RayId && mode != Mode::VisId && target4()) return;
    PelVertex* v[4];
    if (!faceVertices(face, node, v)) return;
    uint32_t outCode = 0;
    const uint32_t cls = rpClassifyCorners(v, corners(face), node, &outCode);
    if (cls == 0)
        drawPlain(mode, face, node, v, mask, fill);
    else if (cls == 2)
        clipFace(mode, face, node, v, outCode, mask, fill);
}

}  // namespace

void rpSetRayFaceId(RpFaceIdFn fn) { g_rayFaceId = fn ? fn : defaultFaceId; }

// ---- plain face routines ----

void rpFaceFlat(PelFace* face, ScnNode* node) {
    PelVertex* v[4];
    if (!face || !node || target4() || !faceVertices(face, node, v)) return;
    drawPlain(Mode::Flat, face, node, v, 0, nullptr);
}

void rpFaceFlatTex(PelFace* face, ScnNode* node) {
    PelVertex* v[4];
    if (!face || !node || target4() || !faceVertices(face, node, v)) return;
    drawPlain(Mode::FlatTex, face, node, v, 0, nullptr);
}

void rpFaceGouraudTex(PelFace* face, ScnNode* node) {
    PelVertex* v[4];
    if (!face || !node || target4() || !faceVertices(face, node, v)) return;
    drawPlain(Mode::Gouraud, face, node, v, 0, nullptr);
}

void rpFaceRayId(PelFace* face, ScnNode* node) {
    PelVertex* v[4];
    if (!face || !node || !faceVertices(face, node, v)) return;
    drawPlain(Mode::RayId, face, node, v, 0, nullptr);
}

void rpFaceVisId(PelFace* face, ScnNode* node) {
    PelVertex* v[4];
    if (!face || !node || !faceVertices(face, node, v)) return;
    drawPlain(Mode::VisId, face, node, v, 0, nullptr);
}

void rpFaceHiddenLine(PelFace* face, ScnNode* node, uint32_t mask, const float* fill) {
    PelVertex* v[4];
    if (!face || !node || target4() || !faceVertices(face, node, v)) return;
    drawPlain(Mode::Hidden, face, node, v, mask, fill);
}

// ---- clipping entries ----

void rpObjFlat(PelFace* face, ScnNode* node) { clipEntry(Mode::Flat, face, node, 0, nullptr); }
void rpObjFlatTex(PelFace* face, ScnNode* node) {
    if (!face) return;
    const uint16_t saved = face->flags;  // unchanged after the call, whatever happens
    clipEntry(Mode::FlatTex, face, node, 0, nullptr);
    face->flags = saved;
}
void rpObjGouraudTex(PelFace* face, ScnNode* node) { clipEntry(Mode::Gouraud, face, node, 0, nullptr); }
void rpObjRayId(PelFace* face, ScnNode* node) { clipEntry(Mode::RayId, face, node, 0, nullptr); }
void rpObjVisId(PelFace* face, ScnNode* node) { clipEntry(Mode::VisId, face, node, 0, nullptr); }
void rpObjHiddenLine(PelFace* face, ScnNode* node, uint32_t mask, const float* fill) {
    clipEntry(Mode::Hidden, face, node, mask, fill);
}

// ---- clipped twins ----

void rpFaceFlatClipped(PelVertex* a, PelVertex* b, PelVertex* c, PelFace* face, ScnNode* node) {
    if (!a || !b || !c || !face || !node || target4()) return;
    drawFlat(a, b, c, face, node);
}
void rpFaceFlatTexClipped(PelVertex* a, PelVertex* b, PelVertex* c, PelFace* face, ScnNode* node) {
    if (!a || !b || !c || !face || !node || target4()) return;
    drawFlatTex(a, b, c, face, node);
}
void rpFaceGouraudTexClipped(PelVertex* a, PelVertex* b, PelVertex* c, PelFace* face, ScnNode* node) {
    if (!a || !b || !c || !face || !node || target4()) return;
    lightCorner(a, 0, face, node);
    lightCorner(b, 1, face, node);
    lightCorner(c, 2, face, node);
    drawGouraud(a, b, c, face, node, ltFaceTransparency(face, node));
}
void rpFaceRayIdClipped(PelVertex* a, PelVertex* b, PelVertex* c, PelFace* face, ScnNode* node) {
    if (!a || !b || !c || !face || !node) return;
    drawRayId(a, b, c, face, node);
}
void rpFaceVisIdClipped(PelVertex* a, PelVertex* b, PelVertex* c, PelFace* face, ScnNode* node) {
    if (!a || !b || !c || !face || !node) return;
    drawVisId(a, b, c, face, node);
}
void rpFaceHiddenLineClipped(PelVertex* a, PelVertex* b, PelVertex* c, ScnNode* node, uint32_t mask,
                             const float* fill) {
    if (!a || !b || !c || !node || target4()) return;
    drawHidden(a, b, c, node, mask, fill);
}

// ---- box measures ----

namespace {
Vec3 boxCorner(const float box[6], int k) {
    return {box[(k & 1) ? 3 : 0], box[(k & 2) ? 4 : 1], box[(k & 4) ? 5 : 2]};
}
}  // namespace

int rpBoxStepLength(const float box[6], const Mat4* projection, const Mat4* inverse, float* length) {
    if (!box || !projection || !inverse || !length) return 0;
    *length = 0.0f;
    double best = 0.0;
    for (int k = 0; k < 8; ++k) {
        const Vec3 c = boxCorner(box, k);
        Vec3 s, b;
        if (!mtxProjectPoint(&c, &s, projection)) return 0;
        s.x += 1.0f;
        if (!mtxProjectPoint(&s, &b, inverse)) return 0;
        const double dx = double(b.x) - c.x, dy = double(b.y) - c.y, dz = double(b.z) - c.z;
        best = std::max(best, dx * dx + dy * dy + dz * dz);
    }
    *length = float(std::sqrt(best));
    return 1;
}

int rpBoxScreenDiagonal(const float box[6], const Mat4* projection, float* diagonal) {
    if (!box || !projection || !diagonal) return 0;
    *diagonal = 0.0f;
    float x0 = 1e10f, y0 = 1e10f, x1 = -1e10f, y1 = -1e10f;
    for (int k = 0; k < 8; ++k) {
        const Vec3 c = boxCorner(box, k);
        Vec3 s;
        if (!mtxProjectPoint(&c, &s, projection)) return 0;
        x0 = std::min(x0, s.x);
        y0 = std::min(y0, s.y);
        x1 = std::max(x1, s.x);
        y1 = std::max(y1, s.y);
    }
    *diagonal = float(std::sqrt(double(x1 - x0) * (x1 - x0) + double(y1 - y0) * (y1 - y0)));
    return 1;
}

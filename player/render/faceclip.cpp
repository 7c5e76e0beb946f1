// Face classification, the polygon and edge clippers, and the clipped 2D triangle.
#include "render/faceclip.h"

#include <cmath>
#include <cstring>
#include <initializer_list>

#include "render/clipplane.h"
#include "render/framemarks.h"
#include "render/line.h"

namespace {

RpClipState g_clip;

constexpr uint32_t kClassified = VTX_OUTCODES;
constexpr uint32_t kCodeMask = CLP_VIEW_VOLUME;
constexpr uint32_t kUserMask = 0xFFFF0000u;

uint32_t outCodeOf(const Vec4& c) {
    uint32_t code = 0;
    if (c.x < 0.0f) code |= CLP_X_LOW;
    if (c.x > c.w) code |= CLP_X_HIGH;
    if (c.y < 0.0f) code |= CLP_Y_LOW;
    if (c.y > c.w) code |= CLP_Y_HIGH;
    if (c.z < 0.0f) code |= CLP_Z_LOW;
    if (c.z > c.w) code |= CLP_Z_HIGH;
    return code;
}

inline float planeDistance(const ClipPlane* p, const Vec4& c) { return p->a * c.x + p->b * c.y + p->c * c.z + p->d * c.w; }

// Signed distance to view-volume plane bit (inside >= 0).
inline float viewDistance(uint32_t bit, const Vec4& c) {
    switch (bit) {
    case CLP_X_LOW: return c.x;
    case CLP_X_HIGH: return c.w - c.x;
    case CLP_Y_LOW: return c.y;
    case CLP_Y_HIGH: return c.w - c.y;
    case CLP_Z_LOW: return c.z;
    default: return c.w - c.z;
    }
}

inline float lerp(float a, float b, float t) { return a + (b - a) * t; }

// One Sutherland-Hodgman step: the n vertices of in with distances d (inside >= 0) into out;
// make(ip, ic) gives the vertex where the edge from ip to ic crosses. Answers the count, or -1
// when more than max vertices would result.
template <class V, class Make> int clipStep(const V* in, int n, const float* d, V* out, int max, Make make) {
    int m = 0;
    bool overflow = false;
    auto put = [&](const V& v) {
        if (m < max)
            out[m++] = v;
        else
            overflow = true;
    };
    if (d[0] >= 0.0f) put(in[0]);
    for (int i = 1; i < n; ++i) {
        if (std::signbit(d[i - 1]) != std::signbit(d[i])) put(make(i - 1, i));
        if (d[i] >= 0.0f) put(in[i]);
    }
    if (std::signbit(d[n - 1]) != std::signbit(d[0])) put(make(n - 1, 0));
    return overflow ? -1 : m;
}

// The step over the working polygon; false: the polygon is gone (fewer than 3 vertices, or
// more than the buffer holds).
bool clipOne(const float* d) {
    RpClipState& s = g_clip;
    auto make = [&](int ip, int ic) {
        const ClipVertex& P = s.poly[ip];
        const ClipVertex& C = s.poly[ic];
        const float den = d[ip] - d[ic];
        const float t = den != 0.0f ? d[ip] / den : 0.0f;
        ClipVertex v = P;
        v.edgeValid = (d[ic] >= 0.0f && P.edgeValid) ? 1 : 0;
        v.edgeVisible = P.edgeVisible;
        v.clip = {lerp(P.clip.x, C.clip.x, t), lerp(P.clip.y, C.clip.y, t), lerp(P.clip.z, C.clip.z, t),
                  lerp(P.clip.w, C.clip.w, t)};
        v.v.pos = {lerp(P.v.pos.x, C.v.pos.x, t), lerp(P.v.pos.y, C.v.pos.y, t), lerp(P.v.pos.z, C.v.pos.z, t)};
        if (s.lerpColour) {
            v.v.r = lerp(P.v.r, C.v.r, t);
            v.v.g = lerp(P.v.g, C.v.g, t);
            v.v.b = lerp(P.v.b, C.v.b, t);
        }
        if (s.lerpTexture) {
            v.v.eu = v.v.u = lerp(P.v.eu, C.v.eu, t);
            v.v.ev = v.v.v = lerp(P.v.ev, C.v.ev, t);
        }
        v.v.flags = 0;
        v.v.normal = nullptr;
        return v;
    };
    int m = clipStep(s.poly, s.count, d, s.out, RP_CLIP_MAX, make);
    if (m < 0) m = 0;
    std::memcpy(s.poly, s.out, sizeof(ClipVertex) * size_t(m));
    s.count = m;
    return m >= 3;
}

// Clips the segment a-b against one plane (inside > 0); false when nothing remains.
bool clipSegment(Vec4& a, Vec4& b, float da, float db) {
    if (da > 0.0f && db <= 0.0f) {
        const float t = da / (da - db);
        b = {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t, a.w + (b.w - a.w) * t};
    } else if (db > 0.0f && da <= 0.0f) {
        const float t = db / (db - da);
        a = {b.x + (a.x - b.x) * t, b.y + (a.y - b.y) * t, b.z + (a.z - b.z) * t, b.w + (a.w - b.w) * t};
    } else if (da <= 0.0f && db <= 0.0f) {
        return false;
    }
    return true;
}

bool clipSegmentUser(Vec4& a, Vec4& b, uint32_t mask) {
    uint32_t bit = CLP_USER_FIRST;
    for (const ClipPlane* p = clpFirstPlane(); p && bit; p = p->next, bit <<= 1)
        if ((mask & bit) && !clipSegment(a, b, planeDistance(p, a), planeDistance(p, b))) return false;
    return true;
}

// Screen point of an edge end: its own projection, or the clipped clip position.
bool edgeEnd(const PelVertex* v, const Vec4& clip, const Mat4* viewport, float* out) {
    if (v->flags & VTX_PROJECTED) {
        out[0] = v->sx;
        out[1] = v->sy;
        out[2] = v->sz;
        return true;
    }
    Vec4 s;
    if (!mtxProjectScaledBounds(&clip, &s, viewport)) return false;
    out[0] = s.x;
    out[1] = s.y;
    out[2] = s.z;
    return true;
}

void drawClipped(const Mat4* viewport, const PelVertex* a, const PelVertex* b, const Vec4& ca, const Vec4& cb,
                 const float* colour) {
    float p0[3], p1[3];
    if (edgeEnd(a, ca, viewport, p0) && edgeEnd(b, cb, viewport, p1)) spanDrawLine(p0, p1, colour, 1, nullptr);
}

void fillTriangle(const TriRecord* t) {
    const PicRecord* pic = spanGetTarget();
    if (pic && pic->bytesPerPixel == 4)
        triFillId32(t);
    else
        triFill16(t);
}

}  // namespace

RpClipState& rpClipState() { return g_clip; }

namespace {
inline void classifyVertex(PelVertex* v, const Mat4* objectToClip, Vec4* clip) {
    mtxTransformVec4(&v->pos, clip, objectToClip);
    v->flags = (v->flags & ~kCodeMask) | kClassified | outCodeOf(*clip);
}
}  // namespace

void rpClassifyVertex(PelVertex* v, const Mat4* objectToClip, Vec4* clip) { classifyVertex(v, objectToClip, clip); }

uint32_t rpClassifyFace(const PelFace* face, ScnNode* node, uint32_t* outCode) {
    if (!face || !node || !node->content || !outCode) return 1;
    PelContent* content = node->content;
    const int n = (face->flags & FACE_QUAD) ? 4 : 3;
    PelVertex* v[4];
    for (int i = 0; i < n; ++i) {
        if (face->v[i] >= content->vertexCount || !content->vertices) return 1;
        v[i] = &content->vertices[face->v[i]];
        frmVertex(content, v[i]);
    }
    return rpClassifyCorners(v, n, node, outCode);
}

namespace {
// The classification of a face that is clipped or meets user planes (rpClassifyCorners).
uint32_t classifyClipped(PelVertex* const v[4], int n, const ScnNode* node, bool have[4], bool fresh, uint32_t all,
                         uint32_t code, bool user, uint32_t* outCode) {
    const Mat4* m = &node->objToView;
    const uint32_t mask = node->content->outCodes;
    Vec4* clip = g_clip.faceClip;
    auto ensure = [&]() {
        for (int i = 0; i < n; ++i)
            if (!have[i]) {
                mtxTransformVec4(&v[i]->pos, &clip[i], m);
                have[i] = true;
            }
    };
    // user planes: count the vertices outside each; all outside one plane drops the face
    auto testPlanes = [&](bool onlyMask) -> bool {
        uint32_t bit = CLP_USER_FIRST;
        for (const ClipPlane* p = clpFirstPlane(); p && bit; p = p->next, bit <<= 1) {
            if (onlyMask && !(mask & bit)) continue;
            int outside = 0;
            for (int i = 0; i < n; ++i)
                if (planeDistance(p, clip[i]) < 0.0f) ++outside;
            if (outside) code |= bit;
            if (outside == n) return true;
        }
        return false;
    };
    if (!fresh && !code) {  // classified before and inside: the user planes decide
        ensure();
        if (testPlanes(true)) return 1;
        *outCode = code;
        return code ? 2 : 0;
    }
    if (all & kCodeMask) return 1;  // all outside one plane
    ensure();
    if (user && testPlanes(false)) return 1;
    *outCode = code;
    return code ? 2 : 0;
}
}  // namespace

uint32_t rpClassifyCorners(PelVertex* const v[4], int n, ScnNode* node, uint32_t* outCode) {
    // classify the corners not classified yet and gather their codes
    bool have[4] = {false, false, false, false};
    uint32_t all = ~0u, any = 0;
    bool fresh = false;
    for (int i = 0; i < n; ++i) {
        if (!(v[i]->flags & kClassified)) {
            classifyVertex(v[i], &node->objToView, &g_clip.faceClip[i]);
            have[i] = fresh = true;
        }
        all &= v[i]->flags;
        any |= v[i]->flags;
    }
    const uint32_t code = any & kCodeMask;
    const bool user = (node->content->outCodes & kUserMask) && clpFirstPlane();
    if (!code && !user) {  // drawn whole: no clip positions needed
        if (fresh) *outCode = 0;
        return 0;
    }
    return classifyClipped(v, n, node, have, fresh, all, code, user, outCode);
}

uint32_t rpClipPolygon(uint32_t outCode) {
    RpClipState& s = g_clip;
    if (s.count < 3 || s.count > RP_CLIP_MAX) {
        s.count = 0;
        return 1;
    }
    if (s.lerpTexture && s.wrapU) {
        for (int i = 1; i < s.count; ++i) {
            float& u = s.poly[i].v.eu;
            const float prev = s.poly[i - 1].v.eu;
            if (std::fabs(u - prev) > 0.5f) u += prev < u ? -1.0f : 1.0f;
        }
    }
    float d[RP_CLIP_MAX];
    for (uint32_t bit = CLP_X_LOW; bit <= CLP_Z_HIGH; bit <<= 1) {
        if (!(outCode & bit)) continue;
        for (int i = 0; i < s.count; ++i) d[i] = viewDistance(bit, s.poly[i].clip);
        if (!clipOne(d)) return 1;
    }
    uint32_t bit = CLP_USER_FIRST;
    for (const ClipPlane* p = clpFirstPlane(); p && bit; p = p->next, bit <<= 1) {
        if (!(outCode & bit)) continue;
        for (int i = 0; i < s.count; ++i) d[i] = planeDistance(p, s.poly[i].clip);
        if (!clipOne(d)) return 1;
    }
    return 0;
}

void rpDrawEdge(PelVertex* a, PelVertex* b, const Mat4* objectToScreen, const float* colour) {
    if (!a || !b || !objectToScreen) return;
    for (PelVertex* v : {a, b}) {
        if (v->flags & VTX_PROJECTED) continue;
        Vec4 s;
        if (mtxProjectVertexBounds(&v->pos, &s, objectToScreen)) {
            v->sx = s.x;
            v->sy = s.y;
            v->sz = s.z;
            v->sw = s.w;
        }
        v->flags |= VTX_PROJECTED;
    }
    const float p0[3] = {a->sx, a->sy, a->sz}, p1[3] = {b->sx, b->sy, b->sz};
    spanDrawLine(p0, p1, colour, 1, nullptr);
}

void rpClipDrawEdge(const Mat4* viewport, PelVertex* a, PelVertex* b, ScnNode* node, const float* colour) {
    if (!viewport || !a || !b || !node) return;
    const PelContent* content = node->content;
    const uint32_t mask = content ? content->outCodes : 0;
    const bool user = clpFirstPlane() && (mask & kUserMask);
    const Mat4* m = &node->objToView;
    Vec4& ca = g_clip.edgeClip[0];
    Vec4& cb = g_clip.edgeClip[1];
    bool haveA = false, haveB = false;
    auto inside = [](const PelVertex* v) { return (v->flags & (kClassified | kCodeMask)) == kClassified; };
    auto commonOutside = [&]() {
        const uint32_t all = a->flags & b->flags;
        return (all & kClassified) && (all & kCodeMask);
    };
    auto ensure = [&]() {
        if (!haveA) mtxTransformVec4(&a->pos, &ca, m);
        if (!haveB) mtxTransformVec4(&b->pos, &cb, m);
        haveA = haveB = true;
    };
    bool clipView = true;
    if (inside(a) && inside(b)) {
        clipView = false;
    } else {
        if (commonOutside()) return;
        if (!(a->flags & kClassified)) {
            rpClassifyVertex(a, m, &ca);
            haveA = true;
            if (commonOutside()) return;
        }
        if (!(b->flags & kClassified)) {
            rpClassifyVertex(b, m, &cb);
            haveB = true;
            if (commonOutside()) return;
        }
        if (!((a->flags | b->flags) & kCodeMask)) clipView = false;
    }
    if (!clipView && !user) {
        rpDrawEdge(a, b, &node->objToScreen, colour);
        return;
    }
    ensure();
    Vec4 pa = ca, pb = cb;
    if (clipView) {
        static const uint32_t order[6] = {CLP_Y_HIGH, CLP_X_LOW, CLP_Z_LOW, CLP_X_HIGH, CLP_Y_LOW, CLP_Z_HIGH};
        for (uint32_t bit : order)
            if (!clipSegment(pa, pb, viewDistance(bit, pa), viewDistance(bit, pb))) return;
    }
    if (user && !clipSegmentUser(pa, pb, mask)) return;
    drawClipped(viewport, a, b, pa, pb, colour);
}

int rpDrawPolygon2D(const TriRecord* tri, const IRect* rect) {
    if (!tri || !rect || !tri->a || !tri->b || !tri->c) return 1;
    const PelVertex* src[3] = {tri->a, tri->b, tri->c};
    const int64_t x0 = rect->x, y0 = rect->y, x1 = x0 + int64_t(rect->w) - 1, y1 = y0 + int64_t(rect->h) - 1;
    uint32_t any = 0, all = ~0u;
    for (const PelVertex* v : src) {
        uint32_t c = 0;
        if (v->sx < float(x0)) c |= CLP_X_LOW;
        if (v->sx > float(x1)) c |= CLP_X_HIGH;
        if (v->sy < float(y0)) c |= CLP_Y_LOW;
        if (v->sy > float(y1)) c |= CLP_Y_HIGH;
        any |= c;
        all &= c;
    }
    if (!any) {
        fillTriangle(tri);
        return 1;
    }
    if (all) return 1;

    constexpr int kMax = 10;
    PelVertex poly[kMax], out[kMax];
    int n = 3;
    for (int i = 0; i < 3; ++i) poly[i] = *src[i];
    const bool colour = (tri->flags & SPAN_GOURAUD) != 0, texture = (tri->flags & SPAN_TEXTURE) != 0;
    const float lines[4] = {float(x0) - 0.45f, float(x1) + 0.45f, float(y0) - 0.45f, float(y1) + 0.45f};
    for (int side = 0; side < 4; ++side) {
        const uint32_t bit = CLP_X_LOW << side;
        if (!(any & bit)) continue;
        float d[kMax];
        for (int i = 0; i < n; ++i) {
            const float c = side < 2 ? poly[i].sx : poly[i].sy;
            d[i] = (side & 1) ? lines[side] - c : c - lines[side];
        }
        auto make = [&](int ip, int ic) {
            const PelVertex& P = poly[ip];
            const PelVertex& C = poly[ic];
            const float den = d[ip] - d[ic];
            const float t = den != 0.0f ? d[ip] / den : 0.0f;
            PelVertex v = P;  // screen z and w stay those of the start vertex
            v.sx = lerp(P.sx, C.sx, t);
            v.sy = lerp(P.sy, C.sy, t);
            if (colour) {
                v.r = lerp(P.r, C.r, t);
                v.g = lerp(P.g, C.g, t);
                v.b = lerp(P.b, C.b, t);
            }
            if (texture) {
                v.eu = lerp(P.eu, C.eu, t);
                v.ev = lerp(P.ev, C.ev, t);
            }
            return v;
        };
        const int m = clipStep(poly, n, d, out, kMax, make);
        if (m < 3) return 1;
        n = m;
        for (int i = 0; i < n; ++i) poly[i] = out[i];
    }
    uint32_t flags = tri->flags;
    if (!colour) {
        poly[0].r = tri->a->r;
        poly[0].g = tri->a->g;
        poly[0].b = tri->a->b;
        flags |= SPAN_2D;
    }
    for (int k = 2; k < n; ++k) {
        TriRecord t = {&poly[0], &poly[k - 1], &poly[k], tri->texture, tri->alpha, flags};
        fillTriangle(&t);
    }
    return 1;
}

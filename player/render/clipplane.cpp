// User clip planes, box codes and box screen rectangles.
#include "render/clipplane.h"

#include <cmath>

#include "scene/engine.h"

namespace {

ClipPlane* g_head = nullptr;
ClipPlane* g_tail = nullptr;
uint32_t g_count = 0;

// Clip-space test of the six view-volume planes; NaN counts as inside.
uint32_t viewCode(const Vec4& p) {
    uint32_t code = 0;
    if (p.x < 0.0f) code |= CLP_X_LOW;
    if (p.x > p.w) code |= CLP_X_HIGH;
    if (p.y < 0.0f) code |= CLP_Y_LOW;
    if (p.y > p.w) code |= CLP_Y_HIGH;
    if (p.z < 0.0f) code |= CLP_Z_LOW;
    if (p.z > p.w) code |= CLP_Z_HIGH;
    return code;
}

bool outsidePlane(const Vec4& p, float a, float b, float c, float d) {
    return a * p.x + b * p.y + c * p.z + d * p.w < 0.0f;
}

// Normalised screen bounds of clpBoxScreenRect.
struct Bounds {
    float minX = 1.0f, maxX = 0.0f, minY = 1.0f, maxY = 0.0f;

    static void axis(float v, float w, float eps, float& lo, float& hi) {
        if (eps < v && v < w - eps) {
            float r = v / w;
            if (r < lo) lo = r;
            if (r > hi) hi = r;
        } else if (v >= eps) {
            hi = 1.0f;
        } else if (v < eps) {
            lo = 0.0f;
        }
    }
    void add(float x, float y, float w, float eps) {
        axis(x, w, eps, minX, maxX);
        axis(y, w, eps, minY, maxY);
    }
};

}  // namespace

int clpAddPlane(const Vec3* normal, float distance, ClipPlane** handle) {
    if (handle) *handle = nullptr;
    if (!normal) return 0;
    if (g_count >= CLP_MAX_PLANES) {
        errReport(ERR_PLAIN, "clpAddPlane: %u planes exist already", g_count);
        return 0;
    }
    Vec3 n = *normal;
    if (!std::isfinite(n.x) || !std::isfinite(n.y) || !std::isfinite(n.z) || !std::isfinite(distance) ||
        !vecNormalize(&n)) {
        errReport(ERR_PLAIN, "clpAddPlane: the normal cannot be normalised");
        return 0;
    }
    auto* p = static_cast<ClipPlane*>(memAllocZ(sizeof(ClipPlane)));
    if (!p) return 0;
    p->normal = n;
    p->dist = distance;
    p->a = n.x;
    p->b = n.y;
    p->c = n.z;
    p->d = distance;
    p->prev = g_tail;
    if (g_tail)
        g_tail->next = p;
    else
        g_head = p;
    g_tail = p;
    ++g_count;
    if (handle) *handle = p;
    return 1;
}

int clpDeletePlane(ClipPlane** handle) {
    if (!handle) return 0;
    ClipPlane* p = *handle;
    if (!p) return 1;
    if (g_count == 0) return 0;
    // Only listed planes are freed: a stale or foreign handle is refused.
    ClipPlane* q = g_head;
    while (q && q != p) q = q->next;
    if (!q) {
        errReport(ERR_PLAIN, "clpDeletePlane: not a listed plane");
        return 0;
    }
    if (p->prev)
        p->prev->next = p->next;
    else
        g_head = p->next;
    if (p->next)
        p->next->prev = p->prev;
    else
        g_tail = p->prev;
    --g_count;
    memFree(p);
    *handle = nullptr;
    return 1;
}

void clpTransformPlanes(const Mat4* m) {
    if (!m) return;
    const float* k = m->m;
    for (ClipPlane* p = g_head; p; p = p->next) {
        const float a = p->normal.x, b = p->normal.y, c = p->normal.z, d = p->dist;
        p->a = a * k[0] + b * k[1] + c * k[2] - d * k[3];
        p->b = a * k[4] + b * k[5] + c * k[6] - d * k[7];
        p->c = a * k[8] + b * k[9] + c * k[10] - d * k[11];
        p->d = a * k[12] + b * k[13] + c * k[14] - d * k[15];
    }
}

int clpRayPlanes(const Vec3* origin, const Vec3* direction, float* distance, uint32_t* side) {
    if (!origin || !direction || !distance || !g_head) return 0;
    float best = 1e10f;
    bool found = false;
    for (ClipPlane* p = g_head; p; p = p->next) {
        const Vec3& n = p->normal;
        const float nr = n.x * direction->x + n.y * direction->y + n.z * direction->z;
        if (nr == 0.0f) continue;
        const float t = (n.x * origin->x + n.y * origin->y + n.z * origin->z - p->dist) * (-1.0f / nr);
        if (t > 0.0f && t < best) {
            best = t;
            found = true;
            if (side) *side = nr < 0.0f ? 1u : 0u;
        }
    }
    if (!found) return 0;
    *distance = best;
    return 1;
}

void clpBoxCorners(const Box3* box, const Mat4* m, Vec4 corners[8]) {
    Mat4 t;
    if (mtxIsMarked(m))
        mtxIdentity(&t);
    else
        t = *m;
    const float* k = t.m;
    const float dx = box->max.x - box->min.x, dy = box->max.y - box->min.y, dz = box->max.z - box->min.z;
    const Vec4 c0 = {box->min.x * k[0] + box->min.y * k[4] + box->min.z * k[8] + k[12],
                     box->min.x * k[1] + box->min.y * k[5] + box->min.z * k[9] + k[13],
                     box->min.x * k[2] + box->min.y * k[6] + box->min.z * k[10] + k[14],
                     box->min.x * k[3] + box->min.y * k[7] + box->min.z * k[11] + k[15]};
    for (int i = 0; i < 8; ++i) {
        Vec4 c = c0;
        if (i & 1) c = {c.x + dx * k[0], c.y + dx * k[1], c.z + dx * k[2], c.w + dx * k[3]};
        if (i & 2) c = {c.x + dy * k[4], c.y + dy * k[5], c.z + dy * k[6], c.w + dy * k[7]};
        if (i & 4) c = {c.x + dz * k[8], c.y + dz * k[9], c.z + dz * k[10], c.w + dz * k[11]};
        corners[i] = c;
    }
}

void clpBoxCodes(const Box3* box, uint32_t* status, uint32_t* outCode, const Mat4* m) {
    if (!box || !m) {
        if (status) *status = CLP_INSIDE;
        if (outCode) *outCode = 0;
        return;
    }
    Vec4 c[8];
    clpBoxCorners(box, m, c);
    uint32_t any = 0;       // planes some corner is outside of
    uint32_t all = ~0u;     // planes every corner is outside of
    for (const Vec4& p : c) {
        uint32_t code = viewCode(p);
        uint32_t bit = CLP_USER_FIRST;
        for (ClipPlane* q = g_head; q && bit; q = q->next, bit <<= 1)
            if (outsidePlane(p, q->a, q->b, q->c, q->d)) code |= bit;
        any |= code;
        all &= code;
    }
    if (outCode) *outCode = any;
    if (status) *status = any == 0 ? CLP_INSIDE : (all != 0 ? CLP_OUTSIDE : CLP_STRADDLES);
}

int clpBoxStraddlesPlane(const Box3* box, const Mat4* m, float a, float b, float c, float d) {
    if (!box || !m) return 0;
    Vec4 k[8];
    clpBoxCorners(box, m, k);
    bool out = false, in = false;
    for (const Vec4& p : k) (outsidePlane(p, a, b, c, d) ? out : in) = true;
    return out && in ? 1 : 0;
}

int clpBoxOverlap(const Box3* a, const Box3* b) {
    if (!a || !b) return 0;
    if (a->min.x > b->max.x || b->min.x > a->max.x) return 0;
    if (a->min.y > b->max.y || b->min.y > a->max.y) return 0;
    if (a->min.z > b->max.z || b->min.z > a->max.z) return 0;
    return 1;
}

void clpBoxScreenRect(const Box3* box, const Mat4* m, const CamRecord* cam, IRect* rect) {
    if (!rect) return;
    *rect = {0, 0, 0, 0};
    if (!box || !m || !cam) return;
    Vec4 c[8];
    clpBoxCorners(box, m, c);
    Bounds b;
    for (int i = 0; i < 8; ++i) {
        const Vec4& p = c[i];
        if (p.z < 0.0f) {
            // Where the box edges from this corner cross z = 0.
            for (int bit = 1; bit < 8; bit <<= 1) {
                const Vec4& n = c[i ^ bit];
                if (!(n.z >= 0.0f)) continue;
                const float t = p.z / (p.z - n.z);
                b.add(p.x + t * (n.x - p.x), p.y + t * (n.y - p.y), p.w + t * (n.w - p.w), 0.0f);
            }
        } else if (p.z > p.w) {
            // Where the box edges from this corner cross z = w.
            for (int bit = 1; bit < 8; bit <<= 1) {
                const Vec4& n = c[i ^ bit];
                if (!(n.z < n.w)) continue;
                const float t = (p.z - p.w) / ((p.z - p.w) - (n.z - n.w));
                b.add(p.x + t * (n.x - p.x), p.y + t * (n.y - p.y), p.w + t * (n.w - p.w), 0.0f);
            }
        } else if (p.z >= 0.0f && p.z <= p.w) {
            b.add(p.x, p.y, p.w, 1e-10f);
        }
    }
    if (!cam->rowsUp) {
        const float t = b.minY;
        b.minY = b.maxY;
        b.maxY = t;
    }
    const float* v = cam->viewport.m;
    const float x0 = b.minX * v[0] + v[12], x1 = b.maxX * v[0] + v[12];
    const float y0 = b.minY * v[5] + v[13], y1 = b.maxY * v[5] + v[13];
    camPixelBoundsToRect(cam, x0, y0, x1, y1, rect);
}

ClipPlane* clpFirstPlane() { return g_head; }
uint32_t clpPlaneCount() { return g_count; }

void clpReset() {
    ClipPlane* p = g_head;
    while (p) {
        ClipPlane* n = p->next;
        memFree(p);
        p = n;
    }
    g_head = g_tail = nullptr;
    g_count = 0;
}

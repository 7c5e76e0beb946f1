// Vector, matrix and quaternion maths.
#include "scene/vecmath.h"
#include "scene/vecops.h"

#include <cmath>

ScreenBox mtxScreenBox = {10000.0f, 10000.0f, -10000.0f, -10000.0f};

namespace {

using vec::cross;
using vec::sub;

constexpr double kDegToRad = 0.017453292;

const Mat4 kIdentity = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};

// The identity when m carries the mark, else m itself.
inline const Mat4* effective(const Mat4* m) {
    return mtxIsMarked(m) ? &kIdentity : m;
}

// (p, 1) x m, four components.
inline void transform4(const Vec3* p, const Mat4* m, double r[4]) {
    const float* e = m->m;
    for (int j = 0; j < 4; ++j) r[j] = double(p->x) * e[j] + double(p->y) * e[4 + j] + double(p->z) * e[8 + j] + e[12 + j];
}

void widen(float x, float y) {
    if (x < mtxScreenBox.minX) mtxScreenBox.minX = x;
    if (x > mtxScreenBox.maxX) mtxScreenBox.maxX = x;
    if (y < mtxScreenBox.minY) mtxScreenBox.minY = y;
    if (y > mtxScreenBox.maxY) mtxScreenBox.maxY = y;
}

// 3x3 determinant of rows r0, r1, r2 of a 4x4 at columns c0, c1, c2.
double minor3(const float* a, const int rows[3], const int cols[3]) {
    auto at = [&](int i, int j) { return double(a[4 * rows[i] + cols[j]]); };
    return at(0, 0) * (at(1, 1) * at(2, 2) - at(1, 2) * at(2, 1)) -
           at(0, 1) * (at(1, 0) * at(2, 2) - at(1, 2) * at(2, 0)) +
           at(0, 2) * (at(1, 0) * at(2, 1) - at(1, 1) * at(2, 0));
}

int invert(const Mat4* a, Mat4* out, double* determinant) {
    double adj[16];
    for (int i = 0; i < 4; ++i) {
        int rows[3], n = 0;
        for (int k = 0; k < 4; ++k)
            if (k != i) rows[n++] = k;
        for (int j = 0; j < 4; ++j) {
            int cols[3], c = 0;
            for (int k = 0; k < 4; ++k)
                if (k != j) cols[c++] = k;
            double cofactor = minor3(a->m, rows, cols);
            adj[4 * j + i] = ((i + j) & 1) ? -cofactor : cofactor;
        }
    }
    double det = a->m[0] * adj[0] + a->m[1] * adj[4] + a->m[2] * adj[8] + a->m[3] * adj[12];
    *determinant = det;
    float scale = det == 0.0 ? 1.0f : float(1.0 / det);
    for (int k = 0; k < 16; ++k) out->m[k] = float(det == 0.0 ? adj[k] : adj[k] * scale);
    return det != 0.0;
}

}  // namespace

int vecNormalize(Vec3* v) {
    double length = std::sqrt(vec::dotWide(*v, *v));
    if (length == 0.0) {
        *v = {0.0f, 0.0f, 1.0f};
        return 0;
    }
    v->x = float(v->x / length);
    v->y = float(v->y / length);
    v->z = float(v->z / length);
    return 1;
}

int vecPlaneFromTriangleLen(const Vec3* a, const Vec3* b, const Vec3* c, Vec3* normal, float* distance,
                            float* length) {
    Vec3 n = cross(sub(*b, *a), sub(*c, *a));
    if (length) *length = float(std::sqrt(vec::dotWide(n, n)));
    int ok = vecNormalize(&n);
    *normal = n;
    if (distance) *distance = ok ? float(vec::dotWide(n, *a)) : a->z;
    return ok;
}

int vecPlaneFromTriangle(const Vec3* a, const Vec3* b, const Vec3* c, Vec3* normal, float* distance) {
    return vecPlaneFromTriangleLen(a, b, c, normal, distance, nullptr);
}

int vecTriangleBasis(const Vec3* a, const Vec3* b, const Vec3* c, Vec3* u, Vec3* v) {
    Vec3 bc = cross(*b, *c);
    Vec3 ca = cross(*c, *a);
    double det = vec::dotWide(*a, bc);
    if (std::fabs(det) < 1e-15) {
        *u = bc;
        *v = ca;
        return 0;
    }
    *u = {float(bc.x / det), float(bc.y / det), float(bc.z / det)};
    *v = {float(ca.x / det), float(ca.y / det), float(ca.z / det)};
    return 1;
}

bool mtxIsMarked(const Mat4* m) {
    const float* e = m->m;
    if (e[15] != 0.0f) return false;
    for (int k = 0; k < 15; ++k)
        if (e[k] != kIdentity.m[k]) return false;
    return true;
}

void mtxIdentity(Mat4* out) {
    *out = kIdentity;
}

void mtxMultiply(const Mat4* a, const Mat4* b, Mat4* out) {
    if (mtxIsMarked(a)) {
        *out = *b;
        return;
    }
    if (mtxIsMarked(b)) {
        *out = *a;
        return;
    }
    Mat4 r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            double s = 0.0;
            for (int k = 0; k < 4; ++k) s += double(a->m[4 * i + k]) * b->m[4 * k + j];
            r.m[4 * i + j] = float(s);
        }
    *out = r;
}

void mtxPreMultiply(const Mat4* a, Mat4* m) {
    mtxMultiply(a, m, m);
}

void mtxPostMultiply(const Mat4* a, Mat4* m) {
    mtxMultiply(m, a, m);
}

void mtxPreMultiply3x3(const Mat3* r, Mat4* m) {
    if (mtxIsMarked(m)) m->m[15] = 1.0f;
    float rows[12];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j) {
            double s = 0.0;
            for (int k = 0; k < 3; ++k) s += double(r->m[3 * i + k]) * m->m[4 * k + j];
            rows[4 * i + j] = float(s);
        }
    for (int k = 0; k < 12; ++k) m->m[k] = rows[k];
}

int mtxInvertSign(const Mat4* a, Mat4* out, int* negative) {
    if (mtxIsMarked(a)) {
        *out = *a;
        return 1;
    }
    double det;
    int ok = invert(a, out, &det);
    if (negative) *negative = det < 0.0;
    return ok;
}

int mtxInvert(const Mat4* a, Mat4* out) {
    return mtxInvertSign(a, out, nullptr);
}

void mtxTranslate(float x, float y, float z, Mat4* m) {
    float* e = m->m;
    if (mtxIsMarked(m)) {
        e[12] = x, e[13] = y, e[14] = z, e[15] = 1.0f;
        return;
    }
    for (int j = 0; j < 4; ++j) e[12 + j] = float(double(x) * e[j] + double(y) * e[4 + j] + double(z) * e[8 + j] + e[12 + j]);
}

void mtxScale(float x, float y, float z, Mat4* m) {
    float* e = m->m;
    if (mtxIsMarked(m)) {
        e[0] = x, e[5] = y, e[10] = z, e[15] = 1.0f;
        return;
    }
    for (int j = 0; j < 4; ++j) {
        e[j] *= x;
        e[4 + j] *= y;
        e[8 + j] *= z;
    }
}

void mtxScaleUniform(float s, Mat4* m) {
    if (mtxIsMarked(m)) {
        mtxScale(s, s, s, m);
        return;
    }
    for (int k = 0; k < 12; ++k) m->m[k] *= s;
}

void mtxMakeTranslation(float x, float y, float z, Mat4* out) {
    *out = kIdentity;
    out->m[12] = x, out->m[13] = y, out->m[14] = z;
}

void mtxMakeScale(float x, float y, float z, Mat4* out) {
    *out = kIdentity;
    out->m[0] = x, out->m[5] = y, out->m[10] = z;
}

void mtxMakeScaleUniform(float s, Mat4* out) {
    mtxMakeScale(s, s, s, out);
}

void mtxMakeRotation(int axis, float degrees, Mat4* out) {
    *out = kIdentity;
    double angle = degrees * kDegToRad;
    float c = float(std::cos(angle)), s = float(std::sin(angle));
    float* e = out->m;
    switch (axis) {
    case 1: e[5] = c, e[6] = s, e[9] = -s, e[10] = c; break;
    case 2: e[0] = c, e[2] = -s, e[8] = s, e[10] = c; break;
    case 3: e[0] = c, e[1] = s, e[4] = -s, e[5] = c; break;
    default: break;
    }
}

void mtxRotate(int axis, float degrees, Mat4* m) {
    if (axis < 1 || axis > 3) return;
    double angle = degrees * kDegToRad;
    float c = float(std::cos(angle)), s = float(std::sin(angle));
    Mat3 r = {{1, 0, 0, 0, 1, 0, 0, 0, 1}};
    float* e = r.m;
    switch (axis) {
    case 1: e[4] = c, e[5] = s, e[7] = -s, e[8] = c; break;
    case 2: e[0] = c, e[2] = -s, e[6] = s, e[8] = c; break;
    default: e[0] = c, e[1] = s, e[3] = -s, e[4] = c; break;
    }
    mtxPreMultiply3x3(&r, m);
}

int mtxMakeAxisRotation(float x, float y, float z, float degrees, Mat4* out) {
    *out = kIdentity;
    double length = std::sqrt(double(x) * x + double(y) * y + double(z) * z);
    if (!(length >= 1e-15)) return 0;
    double a = x / length, b = y / length, c = z / length;
    double angle = degrees * kDegToRad;
    double s = std::sin(angle), c0 = std::cos(angle), t = 1.0 - c0;
    float* e = out->m;
    e[0] = float(t * a * a + c0);
    e[5] = float(t * b * b + c0);
    e[10] = float(t * c * c + c0);
    e[4] = float(t * a * b - s * c);
    e[1] = float(t * a * b + s * c);
    e[8] = float(t * a * c + s * b);
    e[2] = float(t * a * c - s * b);
    e[9] = float(t * b * c - s * a);
    e[6] = float(t * b * c + s * a);
    return 1;
}

int mtxRotateAxis(float x, float y, float z, float degrees, Mat4* m) {
    Mat4 r;
    if (!mtxMakeAxisRotation(x, y, z, degrees, &r)) return 0;
    mtxPreMultiply(&r, m);
    return 1;
}

int mtxMakeFrame(const Vec3* origin, const Vec3* direction, const Vec3* up, Mat4* out) {
    Vec3 r0 = *direction;
    int ok = vecNormalize(&r0);
    Vec3 r2 = cross(r0, *up);
    ok &= vecNormalize(&r2);
    Vec3 r1 = cross(r2, r0);
    Vec3 o = *origin;
    *out = {{r0.x, r0.y, r0.z, 0, r1.x, r1.y, r1.z, 0, r2.x, r2.y, r2.z, 0, o.x, o.y, o.z, 1}};
    return ok;
}

int mtxQuatFromAxisAngle(float x, float y, float z, float radians, Quat* out) {
    double length = std::sqrt(double(x) * x + double(y) * y + double(z) * z);
    if (length == 0.0) {
        *out = {0.0f, 0.0f, 0.0f, 1.0f};
        return 0;
    }
    double h = -0.5 * radians;
    double f = std::sin(h) / length;
    *out = {float(x * f), float(y * f), float(z * f), float(std::cos(h))};
    return 1;
}

int mtxQuatToMatrix(const Quat* q, Mat4* out) {
    double x = q->x, y = q->y, z = q->z, w = q->w;
    double norm = x * x + y * y + z * z + w * w;
    if (norm == 0.0) return 0;
    double s = 2.0 / norm;
    *out = kIdentity;
    float* e = out->m;
    e[0] = float(1.0 - s * (y * y + z * z));
    e[1] = float(s * (x * y - w * z));
    e[2] = float(s * (x * z + w * y));
    e[4] = float(s * (x * y + w * z));
    e[5] = float(1.0 - s * (x * x + z * z));
    e[6] = float(s * (y * z - w * x));
    e[8] = float(s * (x * z - w * y));
    e[9] = float(s * (y * z + w * x));
    e[10] = float(1.0 - s * (x * x + y * y));
    return 1;
}

int mtxQuatFromMatrix(const Mat4* m, Quat* out) {
    auto at = [m](int i, int j) { return double(m->m[4 * i + j]); };
    double t = at(0, 0) + at(1, 1) + at(2, 2);
    if (t > 0.0) {
        double r = std::sqrt(t + 1.0), f = 0.5 / r;
        *out = {float((at(2, 1) - at(1, 2)) * f), float((at(0, 2) - at(2, 0)) * f), float((at(1, 0) - at(0, 1)) * f),
                float(r / 2)};
        return 1;
    }
    int i = at(1, 1) > at(2, 2) ? 1 : 0;
    if (at(2, 2) > at(i, i)) i = 2;
    int j = (i + 1) % 3, k = (j + 1) % 3;
    double r = std::sqrt(at(i, i) - (at(j, j) + at(k, k)) + 1.0), f = 0.5 / r;
    double q[3];
    q[i] = r / 2;
    q[j] = (at(i, j) + at(j, i)) * f;
    q[k] = (at(i, k) + at(k, i)) * f;
    *out = {float(q[0]), float(q[1]), float(q[2]), float((at(k, j) - at(j, k)) * f)};
    return 1;
}

int mtxRotateQuat(const Quat* q, Mat4* m) {
    Mat4 r;
    if (!mtxQuatToMatrix(q, &r)) return 0;
    mtxPreMultiply(&r, m);
    return 1;
}

void mtxQuatMultiply(const Quat* a, Quat* b) {
    double ax = a->x, ay = a->y, az = a->z, aw = a->w;
    double bx = b->x, by = b->y, bz = b->z, bw = b->w;
    *b = {float(bw * ax + bx * aw + bz * ay - by * az), float(ay * bw + by * aw + az * bx - bz * ax),
          float(az * bw + bz * aw + by * ax - ay * bx), float(aw * bw - (ax * bx + ay * by + az * bz))};
}

void mtxTransformPoint(const Vec3* p, Vec3* out, const Mat4* m) {
    if (mtxIsMarked(m)) {
        *out = *p;
        return;
    }
    double r[4];
    transform4(p, m, r);
    *out = {float(r[0]), float(r[1]), float(r[2])};
}

void mtxTransformPointInPlace(Vec3* p, const Mat4* m) {
    mtxTransformPoint(p, p, m);
}

int mtxSideTest(const Vec3* p, float s, const Mat4* m) {
    const float* e = m->m;
    double v = double(p->x) * e[8] + double(p->y) * e[9] + double(p->z) * e[10] - double(s) * e[11];
    return !(v < 0.0);
}

int mtxTransformNormal(const Vec3* d, Vec3* out, const Mat4* m) {
    if (mtxIsMarked(m)) {
        *out = *d;
        return 1;
    }
    const float* e = m->m;
    Vec3 r;
    r.x = float(double(d->x) * e[0] + double(d->y) * e[4] + double(d->z) * e[8]);
    r.y = float(double(d->x) * e[1] + double(d->y) * e[5] + double(d->z) * e[9]);
    r.z = float(double(d->x) * e[2] + double(d->y) * e[6] + double(d->z) * e[10]);
    int ok = vecNormalize(&r);
    *out = r;
    return ok;
}

void mtxTransformBox(const Box3* box, Box3* out, const Mat4* m) {
    if (mtxIsMarked(m)) {
        *out = *box;
        return;
    }
    Box3 r;
    for (int k = 0; k < 8; ++k) {
        Vec3 c = {(k & 1) ? box->min.x : box->max.x, (k & 2) ? box->min.y : box->max.y,
                  (k & 4) ? box->min.z : box->max.z};
        mtxTransformPointInPlace(&c, m);
        if (k == 0) {
            r.min = r.max = c;
            continue;
        }
        r.min = {std::fmin(r.min.x, c.x), std::fmin(r.min.y, c.y), std::fmin(r.min.z, c.z)};
        r.max = {std::fmax(r.max.x, c.x), std::fmax(r.max.y, c.y), std::fmax(r.max.z, c.z)};
    }
    *out = r;
}

void mtxTransformVec4(const Vec3* p, Vec4* out, const Mat4* m) {
    double r[4];
    transform4(p, effective(m), r);
    *out = {float(r[0]), float(r[1]), float(r[2]), float(r[3])};
}

int mtxProjectPoint(const Vec3* p, Vec3* out, const Mat4* m) {
    double r[4];
    transform4(p, effective(m), r);
    if (r[3] == 0.0) return 0;
    *out = {float(r[0] / r[3]), float(r[1] / r[3]), float(r[2] / r[3])};
    return 1;
}

int mtxProjectVertexBounds(const Vec3* p, Vec4* out, const Mat4* m) {
    double r[4];
    transform4(p, effective(m), r);
    out->w = float(r[3]);
    if (r[3] == 0.0) return 0;
    out->x = float(r[0] / r[3]);
    out->y = float(r[1] / r[3]);
    out->z = float(r[2] / r[3]);
    widen(out->x, out->y);
    return 1;
}

int mtxProjectClipPoint(const Vec3* p, Vec3* out, const Mat4* m) {
    double r[4];
    transform4(p, effective(m), r);
    if (r[3] == 0.0) return 0;
    *out = {float(r[0] / r[3]), float(r[1] / r[3]), float(r[2] / r[3])};
    widen(out->x, out->y);
    return 1;
}

int mtxProjectClipVertex(const Vec3* p, Vec4* out, const Mat4* m) {
    double r[4];
    transform4(p, effective(m), r);
    out->w = float(r[3]);
    if (r[3] == 0.0) return 0;
    out->x = float(r[0] / r[3]);
    out->y = float(r[1] / r[3]);
    widen(out->x, out->y);
    return 1;
}

int mtxProjectScaledBounds(const Vec4* in, Vec4* out, const Mat4* m) {
    const float* e = m->m;
    double w = in->w;
    if (w == 0.0) return 0;
    Vec4 r = {float(in->x * e[0] / w + e[12]), float(in->y * e[5] / w + e[13]), float(in->z * e[10] / w + e[14]),
              in->w};
    *out = r;
    widen(r.x, r.y);
    return 1;
}

int mtxProjectScaledInPlace(Vec4* v, const Mat4* m) {
    return mtxProjectScaledBounds(v, v, m);
}

void mtxBoxUnion(const Box3* a, Box3* b) {
    b->min = {std::fmin(a->min.x, b->min.x), std::fmin(a->min.y, b->min.y), std::fmin(a->min.z, b->min.z)};
    b->max = {std::fmax(a->max.x, b->max.x), std::fmax(a->max.y, b->max.y), std::fmax(a->max.z, b->max.z)};
}

void mtxRectUnion(const IRect* a, IRect* b) {
    if (a->w <= 0 || a->h <= 0) return;
    if (b->w <= 0 || b->h <= 0) {
        *b = *a;
        return;
    }
    int64_t x0 = a->x < b->x ? a->x : b->x, y0 = a->y < b->y ? a->y : b->y;
    int64_t x1 = int64_t(a->x) + a->w, y1 = int64_t(a->y) + a->h;
    if (int64_t(b->x) + b->w > x1) x1 = int64_t(b->x) + b->w;
    if (int64_t(b->y) + b->h > y1) y1 = int64_t(b->y) + b->h;
    *b = {int32_t(x0), int32_t(y0), int32_t(x1 - x0), int32_t(y1 - y0)};
}

int mtxFitPoints(const Vec3* a, const Vec3* b, int count, Mat4* out) {
    *out = kIdentity;
    if (count < 3) return 0;
    // Extreme points of a: smallest and largest x, y, z.
    int extreme[6] = {0, 0, 0, 0, 0, 0};
    for (int n = 1; n < count; ++n)
        for (int axis = 0; axis < 3; ++axis) {
            float v = (&a[n].x)[axis];
            if (v < (&a[extreme[2 * axis]].x)[axis]) extreme[2 * axis] = n;
            if (v > (&a[extreme[2 * axis + 1]].x)[axis]) extreme[2 * axis + 1] = n;
        }
    // Mid-points of the extremes and of their partners; affine maps keep them partners.
    double ca[3] = {0, 0, 0}, cb[3] = {0, 0, 0};
    for (int e : extreme)
        for (int axis = 0; axis < 3; ++axis) {
            ca[axis] += (&a[e].x)[axis] / 6.0;
            cb[axis] += (&b[e].x)[axis] / 6.0;
        }
    double da[6][3], db[6][3];
    for (int n = 0; n < 6; ++n)
        for (int axis = 0; axis < 3; ++axis) {
            da[n][axis] = (&a[extreme[n]].x)[axis] - ca[axis];
            db[n][axis] = (&b[extreme[n]].x)[axis] - cb[axis];
        }
    // Three of the six relative extremes: the best-conditioned triple.
    auto det3 = [](const double* r0, const double* r1, const double* r2) {
        return r0[0] * (r1[1] * r2[2] - r1[2] * r2[1]) - r0[1] * (r1[0] * r2[2] - r1[2] * r2[0]) +
               r0[2] * (r1[0] * r2[1] - r1[1] * r2[0]);
    };
    int best[3] = {0, 0, 0};
    double bestDet = 0.0;
    for (int i = 0; i < 6; ++i)
        for (int j = i + 1; j < 6; ++j)
            for (int k = j + 1; k < 6; ++k) {
                double d = std::fabs(det3(da[i], da[j], da[k]));
                if (d > bestDet) bestDet = d, best[0] = i, best[1] = j, best[2] = k;
            }
    if (!(bestDet > 1e-12)) return 0;
    // Solve DA x M = DB for the 3x3 M (rows of DA: the chosen relative extremes).
    Mat4 sa = kIdentity, sb = kIdentity, inv;
    for (int r = 0; r < 3; ++r)
        for (int axis = 0; axis < 3; ++axis) {
            sa.m[4 * r + axis] = float(da[best[r]][axis]);
            sb.m[4 * r + axis] = float(db[best[r]][axis]);
        }
    if (!mtxInvert(&sa, &inv)) return 0;
    mtxMultiply(&inv, &sb, out);
    out->m[3] = out->m[7] = out->m[11] = 0.0f;
    out->m[15] = 1.0f;
    for (int j = 0; j < 3; ++j)
        out->m[12 + j] = float(cb[j] - (ca[0] * out->m[j] + ca[1] * out->m[4 + j] + ca[2] * out->m[8 + j]));
    return 1;
}

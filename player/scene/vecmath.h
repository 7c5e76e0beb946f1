// Vector, matrix and quaternion maths. Points are row vectors: p' = p x M.
#pragma once
#include <cstdint>

struct Vec3 {
    float x, y, z;
};
struct Vec4 {
    float x, y, z, w;
};
struct Quat {
    float x, y, z, w;
};
// Sixteen floats in rows (index = 4 * row + column); translation in 12..14.
// Element 15 == +-0 marks the identity (elements 0..14 hold the identity's values).
struct Mat4 {
    float m[16];
};
struct Mat3 {
    float m[9];
};
struct IRect {
    int32_t x, y, w, h;
};
struct Box3 {
    Vec3 min, max;
};

// Screen bounding-box accumulator widened by the projection operations.
struct ScreenBox {
    float minX, minY, maxX, maxY;
};
extern ScreenBox mtxScreenBox;

constexpr float DEG_TO_RAD = 0.017453292f;

int vecNormalize(Vec3* v);
int vecPlaneFromTriangle(const Vec3* a, const Vec3* b, const Vec3* c, Vec3* normal, float* distance);
int vecPlaneFromTriangleLen(const Vec3* a, const Vec3* b, const Vec3* c, Vec3* normal, float* distance,
                            float* length);
int vecTriangleBasis(const Vec3* a, const Vec3* b, const Vec3* c, Vec3* u, Vec3* v);

// True when m carries the identity mark (and really holds the identity in 0..14).
bool mtxIsMarked(const Mat4* m);
void mtxIdentity(Mat4* out);  // a true identity (element 15 = 1)

void mtxMultiply(const Mat4* a, const Mat4* b, Mat4* out);
void mtxPreMultiply(const Mat4* a, Mat4* m);
void mtxPostMultiply(const Mat4* a, Mat4* m);
void mtxPreMultiply3x3(const Mat3* r, Mat4* m);
int mtxInvert(const Mat4* a, Mat4* out);
int mtxInvertSign(const Mat4* a, Mat4* out, int* negative);
void mtxTranslate(float x, float y, float z, Mat4* m);
void mtxScale(float x, float y, float z, Mat4* m);
void mtxScaleUniform(float s, Mat4* m);
void mtxMakeTranslation(float x, float y, float z, Mat4* out);
void mtxMakeScale(float x, float y, float z, Mat4* out);
void mtxMakeScaleUniform(float s, Mat4* out);
void mtxMakeRotation(int axis, float degrees, Mat4* out);
void mtxRotate(int axis, float degrees, Mat4* m);
int mtxMakeAxisRotation(float x, float y, float z, float degrees, Mat4* out);
int mtxRotateAxis(float x, float y, float z, float degrees, Mat4* m);
int mtxMakeFrame(const Vec3* origin, const Vec3* direction, const Vec3* up, Mat4* out);
int mtxQuatFromAxisAngle(float x, float y, float z, float radians, Quat* out);
int mtxQuatToMatrix(const Quat* q, Mat4* out);
int mtxQuatFromMatrix(const Mat4* m, Quat* out);
int mtxRotateQuat(const Quat* q, Mat4* m);
void mtxQuatMultiply(const Quat* a, Quat* b);

void mtxTransformPoint(const Vec3* p, Vec3* out, const Mat4* m);
void mtxTransformPointInPlace(Vec3* p, const Mat4* m);
int mtxSideTest(const Vec3* p, float s, const Mat4* m);
int mtxTransformNormal(const Vec3* d, Vec3* out, const Mat4* m);
void mtxTransformBox(const Box3* box, Box3* out, const Mat4* m);
void mtxTransformVec4(const Vec3* p, Vec4* out, const Mat4* m);
int mtxProjectPoint(const Vec3* p, Vec3* out, const Mat4* m);
int mtxProjectVertexBounds(const Vec3* p, Vec4* out, const Mat4* m);
int mtxProjectClipPoint(const Vec3* p, Vec3* out, const Mat4* m);
int mtxProjectClipVertex(const Vec3* p, Vec4* out, const Mat4* m);
int mtxProjectScaledBounds(const Vec4* in, Vec4* out, const Mat4* m);
int mtxProjectScaledInPlace(Vec4* v, const Mat4* m);
void mtxBoxUnion(const Box3* a, Box3* b);
void mtxRectUnion(const IRect* a, IRect* b);
int mtxFitPoints(const Vec3* a, const Vec3* b, int count, Mat4* out);

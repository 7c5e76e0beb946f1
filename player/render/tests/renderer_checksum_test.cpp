// Larger frames than the reviewed pictures: spheres of about 1k and 10k faces in every shaded,
// hidden-line and wire mode, drawn three times (a pose, the same pose again with the caches
// valid, a new pose) inside the view and straddling it. Colour and depth planes keep the
// checksums they had when this test was written.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "render/tests/renderer_fixture.h"

namespace {

uint64_t planesChecksum(const PicRecord* p) {
    uint64_t h = 1469598103934665603ull;
    const size_t n = size_t(p->width) * p->height;
    for (size_t i = 0; i < n * p->bytesPerPixel; ++i) h = (h ^ p->pixels[i]) * 1099511628211ull;
    for (size_t i = 0; i < n; ++i) h = (h ^ uint16_t(p->depth[i])) * 1099511628211ull;
    return h;
}

struct Expect {
    const char* what;
    uint32_t kind;
    int size;  // sphere segments = rings
    bool close;
    uint64_t sums[3];
    uint64_t windowsSums[3];  // where the platform's sine and cosine place the sphere's points otherwise
};

// The render state reset around each frame, with the one white light of every case.
template <typename Param>
class ChecksumTest : public ::testing::TestWithParam<Param> {
protected:
    void SetUp() override { resetRenderState(); }
    void TearDown() override { resetRenderState(); }
    static bool addLight() {
        const float dir[3] = {-0.4f, 0.6f, -0.7f}, white[3] = {1, 1, 1};
        LightRecord* light = nullptr;
        return ltAdd(0, dir, white, 0, &light);
    }
};

using RendererChecksum = ChecksumTest<Expect>;

TEST_P(RendererChecksum, FramesKeepTheirChecksums) {
    const Expect& k = GetParam();
    ASSERT_TRUE(addLight());
    TexRecord* checker = sampleCheckerTexture(64, 0x00F0E0C0, 0x00603020);
    TexRecord* textures[2] = {checker, checker};
    const int32_t w = 320, h = 240;
    CamRecord cam = testCamera(w, h, k.close ? Vec3{0.3f, -1.6f, 0.5f} : Vec3{0, -4, 1.5f}, {0, 0, 0});
    SampleMesh mesh;
    MatInput glass = sampleMaterial(0.3f, 0.6f, 0.9f, 0.5f);
    glass.alpha = 0.5f;
    mesh.shape.materials = {sampleMaterial(0.7f, 0.5f, 0.3f, 0.4f), sampleTexturedMaterial(0), glass,
                            sampleTexturedMaterial(1)};
    mesh.shape.areaCount = 2;
    mesh.sphere({0, 0, 0}, 1.0f, k.size, k.size, 0);
    mesh.endPart();
    mesh.sphere({0.9f, 0.3f, 0.2f}, 0.5f, k.size / 2, k.size / 2, 1, FACE_TEXTURED);
    mesh.endPart();
    mesh.sphere({-0.8f, -0.4f, 0.4f}, 0.45f, k.size / 2, k.size / 2, 2, FACE_TWO_SIDED);
    mesh.endPart();
    mesh.box({-0.2f, -0.9f, -0.6f}, {0.3f, 0.2f, 0.25f}, 3, FACE_TEXTURED | FACE_ENVMAP);
    PelContent* content = mesh.build();
    ScnNode* node = nullptr;
    ASSERT_TRUE(scnNodeCreate(content, 2, textures, nullptr, nullptr, &node));
    PicRecord* frame = nullptr;
    ASSERT_EQ(fzCreate(w, h, 2, &frame), 1);
    ScnRenderJob job{};
    job.node = node;
    job.camera = &cam;
    job.target = frame;
    job.kind = k.kind;
    const float angles[3] = {10.0f, 10.0f, 47.0f};
    for (int f = 0; f < 3; ++f) {
        SCOPED_TRACE(f);
        if (f != 1) {
            Mat4 turn;
            mtxMakeRotation(2, angles[f], &turn);
            scnSetPose(node, &turn, SCN_TIME_UNSET);
        }
        fzClear(frame, nullptr);
        ASSERT_EQ(scnRenderScene(&job), 1);
        const uint64_t sum = planesChecksum(frame);
#if defined(_WIN32)
        const uint64_t expect = k.windowsSums[f] ? k.windowsSums[f] : k.sums[f];
#else
        const uint64_t expect = k.sums[f];
#endif
        EXPECT_EQ(sum, expect);
    }
    uint32_t remaining = 0;
    scnNodeFree(&node, &remaining);
    pelFreeObject(&content);
    texFree(&checker);
    fzFree(&frame);
}

const Expect kCases[] = {
    {"wire1k", SCN_KIND_WIRE, 32, false, {0xcfd1821dd378f3dfull, 0xcfd1821dd378f3dfull, 0x08ba11ba7a30a513ull}},
    {"hidden1k", SCN_KIND_HIDDEN, 32, false, {0x1b4290ee55b498d3ull, 0x1b4290ee55b498d3ull, 0xa4e8b70f31efe4c2ull}},
    {"hiddenBack1k", SCN_KIND_HIDDEN_ALL_BACK, 32, true, {0x61055ce025db7fd3ull, 0x61055ce025db7fd3ull, 0x25b989eefed467bfull}},
    {"flat1k", SCN_KIND_FLAT, 32, false, {0xacf4f1d518698ebcull, 0xacf4f1d518698ebcull, 0x0d1babd4112fc380ull}},
    {"flatTex1k", SCN_KIND_FLAT_TEX, 32, true, {0xeccbe2d189d5b4bfull, 0xeccbe2d189d5b4bfull, 0xd4625272eab19499ull}},
    {"gouraud1k", SCN_KIND_GOURAUD_TEX, 32, false, {0x8bd3201d941053d8ull, 0x8bd3201d941053d8ull, 0x167bfa5e79117b99ull}},
    {"gouraudClose1k", SCN_KIND_GOURAUD_TEX, 32, true, {0xd689744fa6c0fcfcull, 0xd689744fa6c0fcfcull, 0x6fe5671a44da9404ull}},
    {"ghost1k", SCN_KIND_GOURAUD_TEX | SCN_KIND_GHOST, 32, false, {0x039fe2913c49670cull, 0x039fe2913c49670cull, 0x24bdc7b493f9b3a0ull}},
    {"flat10k", SCN_KIND_FLAT, 100, false, {0x14f093593e69d7faull, 0x14f093593e69d7faull, 0x5540267de9b9c811ull}},
    {"gouraud10k", SCN_KIND_GOURAUD_TEX, 100, false, {0x7b65729045b1dbfaull, 0x7b65729045b1dbfaull, 0xbc5a1ba80b20c8bcull}},
    {"gouraudClose10k", SCN_KIND_GOURAUD_TEX, 100, true, {0xbfb996bae2dcc20aull, 0xbfb996bae2dcc20aull, 0x8aa3214867938cdbull},
     {0x53e575d150a4cfb5ull, 0x53e575d150a4cfb5ull, 0xd81aa38b509aa506ull}},
};

INSTANTIATE_TEST_SUITE_P(Modes, RendererChecksum, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.what); });

// Dense meshes at the full frame size: a sphere of about 100k quadrilaterals made from the six
// faces of a cube (square roots only, so every platform places the same points), turned by
// rotations with exact sines and cosines. Most of its triangles cover a pixel or none.
void cubeSphere(SampleMesh& mesh, int n, uint16_t material, uint16_t flags) {
    for (int axis = 0; axis < 3; ++axis)
        for (int side = -1; side <= 1; side += 2) {
            std::vector<uint32_t> grid;
            for (int i = 0; i <= n; ++i)
                for (int j = 0; j <= n; ++j) {
                    const float s = float(2 * i - n) / float(n), t = float(2 * j - n) / float(n);
                    float q[3];
                    q[axis] = float(side), q[(axis + 1) % 3] = s, q[(axis + 2) % 3] = t;
                    const float len = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2]);
                    const Vec3 p = {q[0] / len, q[1] / len, q[2] / len};
                    grid.push_back(mesh.vertex(p, p, float(i) / float(n), float(j) / float(n)));
                }
            auto at = [&](int i, int j) { return grid[size_t(i) * size_t(n + 1) + size_t(j)]; };
            for (int i = 0; i < n; ++i)
                for (int j = 0; j < n; ++j) {
                    // (i, j) -> (i + 1, j) -> (i + 1, j + 1) turns about +axis: reversed on the -axis side
                    if (side > 0)
                        mesh.quad(at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1), material, flags);
                    else
                        mesh.quad(at(i, j), at(i, j + 1), at(i + 1, j + 1), at(i + 1, j), material, flags);
                }
        }
}

// Turn about the vertical axis by the angle of cosine c and sine s.
Mat4 turnAboutZ(float c, float s) {
    Mat4 m;
    mtxIdentity(&m);
    m.m[0] = c, m.m[1] = s, m.m[4] = -s, m.m[5] = c;
    return m;
}

struct DenseExpect {
    const char* what;
    uint32_t kind;
    bool textured;
    bool close;
    uint64_t sums[3];
};

using DenseChecksum = ChecksumTest<DenseExpect>;

TEST_P(DenseChecksum, FramesKeepTheirChecksums) {
    const DenseExpect& k = GetParam();
    ASSERT_TRUE(addLight());
    TexRecord* checker = sampleCheckerTexture(64, 0x00F0E0C0, 0x00603020);
    TexRecord* textures[1] = {checker};
    const int32_t w = 640, h = 480;
    CamRecord cam = testCamera(w, h, k.close ? Vec3{0.3f, -1.6f, 0.5f} : Vec3{0, -4, 1.5f}, {0, 0, 0});
    SampleMesh mesh;
    mesh.shape.materials = {k.textured ? sampleTexturedMaterial(0) : sampleMaterial(0.7f, 0.5f, 0.3f, 0.4f)};
    mesh.shape.areaCount = 1;
    cubeSphere(mesh, 129, 0, k.textured ? FACE_TEXTURED : 0);
    PelContent* content = mesh.build();
    ASSERT_NE(content, nullptr);
    ScnNode* node = nullptr;
    ASSERT_TRUE(scnNodeCreate(content, 1, textures, nullptr, nullptr, &node));
    PicRecord* frame = nullptr;
    ASSERT_EQ(fzCreate(w, h, 2, &frame), 1);
    ScnRenderJob job{};
    job.node = node;
    job.camera = &cam;
    job.target = frame;
    job.kind = k.kind;
    const Mat4 turns[3] = {turnAboutZ(0.8f, 0.6f), turnAboutZ(0.8f, 0.6f), turnAboutZ(0.28f, -0.96f)};
    for (int f = 0; f < 3; ++f) {
        SCOPED_TRACE(f);
        if (f != 1) scnSetPose(node, &turns[f], SCN_TIME_UNSET);
        fzClear(frame, nullptr);
        ASSERT_EQ(scnRenderScene(&job), 1);
        size_t drawn = 0;
        for (size_t i = 0; i < size_t(w) * h; ++i) drawn += frame->depth[i] != FZ_DEPTH_FAR;
        EXPECT_GT(drawn, size_t(w) * h / 20);  // the sphere is there
        EXPECT_EQ(planesChecksum(frame), k.sums[f]);
    }
    uint32_t remaining = 0;
    scnNodeFree(&node, &remaining);
    pelFreeObject(&content);
    texFree(&checker);
    fzFree(&frame);
}

const DenseExpect kDense[] = {
    {"gouraud", SCN_KIND_GOURAUD_TEX, false, false, {0xa475d16ef89d27b8ull, 0xa475d16ef89d27b8ull, 0x8d31bf78ece8450full}},
    {"gouraudClose", SCN_KIND_GOURAUD_TEX, false, true, {0xd587a77645de17caull, 0xd587a77645de17caull, 0x955649ceaf474632ull}},
    {"textured", SCN_KIND_GOURAUD_TEX, true, false, {0xf5a32a2688881e75ull, 0xf5a32a2688881e75ull, 0x17ae2c360bb30cfcull}},
    {"flat", SCN_KIND_FLAT, false, false, {0x446a31ce1e5262b9ull, 0x446a31ce1e5262b9ull, 0x24c1ee2e18992793ull}},
    {"flatTexClose", SCN_KIND_FLAT_TEX, true, true, {0x530c5d2d4ebbb3baull, 0x530c5d2d4ebbb3baull, 0x374ebbbf3aab7b62ull}},
    {"wire", SCN_KIND_WIRE, false, false, {0x71d0e819c474466cull, 0x71d0e819c474466cull, 0xcbcf2fa938aa7919ull}},
};

INSTANTIATE_TEST_SUITE_P(Dense, DenseChecksum, ::testing::ValuesIn(kDense),
                         [](const auto& info) { return std::string(info.param.what); });

}  // namespace

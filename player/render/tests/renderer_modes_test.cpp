// Every drawing mode checked against what simple shapes must give, worked out here from
// the vertices, the camera matrix, the material and the light alone: covered pixels, flat and
// interpolated colours, texel positions, which edges the wire and hidden-line modes draw.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "render/tests/renderer_fixture.h"

namespace {

constexpr int32_t kW = 64, kH = 64;
constexpr uint32_t kClear = 0x0000F8u;  // blue in RGB555, widened

struct P2 {
    double x, y;
};

class RenderModes : public ::testing::Test {
protected:
    void SetUp() override {
        resetRenderState();
        cam = testCamera(kW, kH, {0, 0, 10}, {0, 0, 0}, {0, 1, 0});
        ASSERT_EQ(fzCreate(kW, kH, 2, &frame), 1);
    }
    void TearDown() override {
        if (node) freeNode(node);
        if (content) pelFreeObject(&content);
        sampleFreeTexture(&texture);
        ltDelete(&light);
        fzFree(&frame);
        resetRenderState();
    }
    void lightFrom(float x, float y, float z) {
        const float dir[3] = {x, y, z}, white[3] = {1, 1, 1};
        ASSERT_TRUE(ltAdd(0, dir, white, 0, &light));
    }
    void make(SampleMesh& m, bool textured = false) {
        content = m.build();
        TexRecord* textures[1] = {texture};
        node = makeNode(content, nullptr, textured ? textures : nullptr);
        ASSERT_TRUE(node);
    }
    void render(uint32_t kind) {
        fzSetClearColor(0, 0, 1);
        fzClear(frame, nullptr);
        ScnRenderJob job{};
        job.node = node;
        job.camera = &cam;
        job.target = frame;
        job.kind = kind;
        ASSERT_EQ(scnRenderScene(&job), 1);
    }
    // RGB555 pixel widened to 0x00RRGGBB (low three bits 0).
    uint32_t px(int x, int y) const {
        const uint32_t v = picGet16(frame->pixels + (size_t(y) * kW + x) * 2);
        return ((v >> 10) & 31) << 19 | ((v >> 5) & 31) << 11 | (v & 31) << 3;
    }
    // World point to pixel through the camera's matrix, in double precision (row vectors).
    P2 project(double x, double y, double z) const {
        const float* m = cam.worldToPixel.m;
        const double X = x * m[0] + y * m[4] + z * m[8] + m[12], Y = x * m[1] + y * m[5] + z * m[9] + m[13];
        const double W = x * m[3] + y * m[7] + z * m[11] + m[15];
        return {X / W, Y / W};
    }
    // Square from (x0, y0) to (x1, y1) at height z, counter-clockwise seen from the camera
    // (clockwise when back), u along x and v along y.
    void square(SampleMesh& m, float x0, float y0, float x1, float y1, float z, bool back = false,
                uint16_t flags = 0, bool split = false) {
        const Vec3 n = {0, 0, back ? -1.0f : 1.0f};
        const uint32_t a = m.vertex({x0, y0, z}, n, 0, 0), b = m.vertex({x1, y0, z}, n, 1, 0);
        const uint32_t c = m.vertex({x1, y1, z}, n, 1, 1), d = m.vertex({x0, y1, z}, n, 0, 1);
        if (split) {
            m.tri(a, b, c, 0, flags);
            m.tri(a, c, d, 0, flags);
        } else if (back) {
            m.quad(a, d, c, b, 0, flags);
        } else {
            m.quad(a, b, c, d, 0, flags);
        }
    }
    // Pixels whose centre lies at least margin pixels inside (or outside) the projected square.
    template <class F>
    void forPixels(double x0, double y0, double x1, double y1, double z, double margin, bool inside, F f) {
        const P2 p = project(x0, y0, z), q = project(x1, y1, z);
        const double lx = std::min(p.x, q.x), hx = std::max(p.x, q.x), ly = std::min(p.y, q.y), hy = std::max(p.y, q.y);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const double d = std::min({x - lx, hx - x, y - ly, hy - y});
                if (inside ? d >= margin : d <= -margin) f(x, y, (x - p.x) / (q.x - p.x), (y - p.y) / (q.y - p.y));
            }
    }
    CamRecord cam{};
    PicRecord* frame = nullptr;
    PelContent* content = nullptr;
    ScnNode* node = nullptr;
    TexRecord* texture = nullptr;
    LightRecord* light = nullptr;
};

// The colour (0..1 per channel) in RGB555 steps: 31 x colour, truncated, within tol steps.
bool near(uint32_t got, double r, double g, double b, int tol = 1) {
    const double want[3] = {r, g, b};
    for (int k = 0; k < 3; ++k) {
        const int c = int((got >> (19 - 8 * k)) & 31), w = int(std::min(31.0, want[k] * 31.0));
        if (std::abs(c - w) > tol) return false;
    }
    return true;
}

// Diffuse colours of the materials: colour x coDifuse (0.8) x the global material factor (0.85).
constexpr double kDiffuse = 0.8 * 0.85;

// Flat: the covered pixels take the diffuse term of the light straight above; the others keep
// the clear colour.
TEST_F(RenderModes, FlatCoversTheSquareInItsLitColour) {
    lightFrom(0, 0, -1);
    SampleMesh m;
    m.shape.materials = {sampleMaterial(0.8f, 0.4f, 0.2f)};
    square(m, -2, -2, 2, 2, 0);
    make(m);
    render(SCN_KIND_FLAT);
    int inside = 0, outside = 0;
    forPixels(-2, -2, 2, 2, 0, 1.0, true, [&](int x, int y, double, double) {
        ++inside;
        EXPECT_TRUE(near(px(x, y), kDiffuse * 0.8, kDiffuse * 0.4, kDiffuse * 0.2)) << x << "," << y << " " << std::hex << px(x, y);
    });
    forPixels(-2, -2, 2, 2, 0, 1.0, false, [&](int x, int y, double, double) {
        ++outside;
        EXPECT_EQ(px(x, y), kClear) << x << "," << y;
    });
    EXPECT_GT(inside, 600);
    EXPECT_GT(outside, 2000);
}

// Textured: each pixel shows the checker square its texture coordinates fall in.
TEST_F(RenderModes, TexturedPixelsShowTheirTexels) {
    lightFrom(0, 0, -1);
    texture = sampleCheckerTexture(16, 0xFFFFFF, 0x303030);  // squares of 8 texels: 2 x 2 over the face
    ASSERT_TRUE(texture);
    for (uint32_t kind : {uint32_t(SCN_KIND_FLAT_TEX), uint32_t(SCN_KIND_GOURAUD_TEX)}) {
        SCOPED_TRACE(kind);
        if (node) freeNode(node);
        if (content) pelFreeObject(&content);
        SampleMesh m;
        m.shape.materials = {sampleTexturedMaterial(0)};
        m.shape.areaCount = 1;
        square(m, -2, -2, 2, 2, 0, false, FACE_TEXTURED);
        make(m, true);
        render(kind);
        int checked = 0;
        forPixels(-2, -2, 2, 2, 0, 1.0, true, [&](int x, int y, double u, double v) {
            // away from the squares' borders by more than a pixel (a texel is two pixels)
            const double su = u * 2, sv = v * 2;
            if (std::fabs(su - std::round(su)) < 0.1 || std::fabs(sv - std::round(sv)) < 0.1) return;
            const bool light = ((int(su) + int(sv)) & 1) == 0;  // palette entry 0 is the bright one
            const uint32_t g = (px(x, y) >> 8) & 0xFF;
            EXPECT_EQ(g > 0x80, light) << x << "," << y << " u " << u << " v " << v << " " << std::hex << px(x, y);
            ++checked;
        });
        EXPECT_GT(checked, 400);
    }
}

// Gouraud: colours run linearly between the vertices, each lit through its own normal.
TEST_F(RenderModes, GouraudInterpolatesTheVertexColours) {
    lightFrom(-0.6f, 0, -0.8f);  // shines towards -x and down: towards the light is (0.6, 0, 0.8)
    SampleMesh m;
    m.shape.materials = {sampleMaterial(1.0f, 1.0f, 1.0f)};
    const Vec3 left = {-0.6f, 0, 0.8f}, right = {0.6f, 0, 0.8f};
    const uint32_t a = m.vertex({-2, -2, 0}, left, 0, 0), b = m.vertex({2, -2, 0}, right, 1, 0);
    const uint32_t c = m.vertex({2, 2, 0}, right, 1, 1), d = m.vertex({-2, 2, 0}, left, 0, 1);
    m.quad(a, b, c, d, 0);
    make(m);
    render(SCN_KIND_GOURAUD_TEX);
    const double l = kDiffuse * (-0.6 * 0.6 + 0.8 * 0.8), r = kDiffuse * (0.6 * 0.6 + 0.8 * 0.8);
    int checked = 0;
    forPixels(-2, -2, 2, 2, 0, 1.0, true, [&](int x, int y, double u, double) {
        const double want = l + (r - l) * u;
        EXPECT_TRUE(near(px(x, y), want, want, want, 1)) << x << "," << y << " " << std::hex << px(x, y);
        ++checked;
    });
    EXPECT_GT(checked, 600);
}

// Wire and all-edges wire: two smooth triangles make a square; wire draws its outline only,
// wire-all the shared diagonal as well; nothing fills the faces.
TEST_F(RenderModes, WireDrawsOutlinesWireAllEveryEdge) {
    lightFrom(0, 0, -1);
    SampleMesh m;
    m.shape.materials = {sampleMaterial(0.8f, 0.4f, 0.2f)};
    square(m, -2, -2, 2, 2, 0, false, FACE_EDGES_ONLY, true);
    make(m);
    const P2 a = project(-2, -2, 0), c = project(2, 2, 0), mid = project(-2, 0, 0);
    auto drawnNear = [&](P2 p) {
        int n = 0;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const int x = int(std::lround(p.x)) + dx, y = int(std::lround(p.y)) + dy;
                if (x >= 0 && y >= 0 && x < kW && y < kH && px(x, y) != kClear) ++n;
            }
        return n;
    };
    for (uint32_t kind : {uint32_t(SCN_KIND_WIRE), uint32_t(SCN_KIND_WIRE_ALL)}) {
        SCOPED_TRACE(kind);
        render(kind);
        EXPECT_GT(drawnNear(mid), 0);  // the outline
        for (double t : {0.3, 0.5, 0.7}) {
            const P2 p = {a.x + (c.x - a.x) * t, a.y + (c.y - a.y) * t};
            if (kind == SCN_KIND_WIRE)
                EXPECT_EQ(drawnNear(p), 0) << t;  // the diagonal between smooth faces
            else
                EXPECT_GT(drawnNear(p), 0) << t;
        }
        // off the edges nothing is drawn
        const P2 off = project(0.9, -0.9, 0);
        EXPECT_EQ(drawnNear(off), 0);
    }
}

// Hidden lines: a nearer square hides the edge of the one behind it, a back face is left out;
// hidden-back draws the back face's edges too. Wire shows the hidden edge.
TEST_F(RenderModes, HiddenLinesHideAndHiddenBackShowsBackFaces) {
    lightFrom(0, 0, -1);
    SampleMesh m;
    m.shape.materials = {sampleMaterial(0.8f, 0.4f, 0.2f)};
    square(m, -3, -3, 1, 1, 0);           // behind
    square(m, -0.5f, -0.5f, 3, 3, 1);     // in front, over the first one's corner
    square(m, -3, 1.8f, -1.2f, 3, 0.5f, true);  // a back face, alone
    make(m);
    const P2 hiddenEdge = project(1, 0.2, 0);  // the rear square's right edge under the front one
    const P2 backEdge = project(-3, 2.4, 0.5);
    auto at = [&](P2 p) { return px(int(std::lround(p.x)), int(std::lround(p.y))); };
    auto drawnNear = [&](P2 p) {
        int n = 0;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const int x = int(std::lround(p.x)) + dx, y = int(std::lround(p.y)) + dy;
                if (x >= 0 && y >= 0 && x < kW && y < kH && px(x, y) != kClear) ++n;
            }
        return n;
    };
    render(SCN_KIND_WIRE);
    EXPECT_GT(drawnNear(hiddenEdge), 0);
    render(SCN_KIND_HIDDEN);
    const P2 frontInside = project(2, 2, 1);
    const uint32_t fill = at(frontInside);
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            EXPECT_EQ(px(int(std::lround(hiddenEdge.x)) + dx, int(std::lround(hiddenEdge.y)) + dy), fill);
    EXPECT_EQ(drawnNear(backEdge), 0);
    render(SCN_KIND_HIDDEN_BACK);
    EXPECT_GT(drawnNear(backEdge), 0);
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            EXPECT_EQ(px(int(std::lround(hiddenEdge.x)) + dx, int(std::lround(hiddenEdge.y)) + dy), fill);
}

}  // namespace

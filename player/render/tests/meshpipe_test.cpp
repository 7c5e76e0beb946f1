#include <gtest/gtest.h>

#include <bitset>
#include <cmath>
#include <cstring>
#include <vector>

#include "render/faceclip.h"
#include "render/meshpipe.h"
#include "render/tests/renderer_fixture.h"

namespace {

class MeshPipe : public ::testing::Test {
  protected:
    void SetUp() override {
        resetRenderState();
        const float dir[3] = {0, 0, -1}, white[3] = {1, 1, 1};
        ltAdd(0, dir, white, 0, &light);
        ltUpdateActive(1, 0);
        cam = testCamera(64, 48, {0.3f, 0.3f, 3}, {0.3f, 0.3f, 0}, {0, 1, 0});
        ASSERT_EQ(fzCreate(64, 48, 2, &frame), 1);
        spanSetTarget(frame);
    }
    void TearDown() override {
        for (ScnNode*& n : nodes) freeNode(n);
        for (PelContent*& c : contents) pelFreeObject(&c);
        if (texture) {
            picFreeRef(&texture->block);
            memFreeRef(reinterpret_cast<void**>(&texture));
        }
        fzFree(&frame);
        fzFree(&frame4);
        resetRenderState();
    }
    LightRecord* light = nullptr;
    CamRecord cam{};
    PicRecord* frame = nullptr;
    PicRecord* frame4 = nullptr;
    TexRecord* texture = nullptr;
    std::vector<ScnNode*> nodes;
    std::vector<PelContent*> contents;

    // One face (triangle, or quad when asked) facing the camera, material translucency t.
    ScnNode* face(uint16_t flags, float t, bool quad = false, float z2 = 0.0f) {
        SampleMesh m;
        MatInput mat = sampleMaterial(0.8f, 0.5f, 0.2f);
        mat.alpha = t;
        m.shape.materials = {mat};
        m.shape.areaCount = 1;
        const uint32_t a = m.vertex({0, 0, 0}, {0, 0, 1}, 0, 0), b = m.vertex({0.6f, 0, 0}, {0, 0, 1}, 1, 0),
                       c = m.vertex({0.6f, 0.6f, z2}, {0, 0, 1}, 1, 1);
        if (quad)
            m.quad(a, b, c, m.vertex({0, 0.6f, 0}, {0, 0, 1}, 0, 1), 0, flags);
        else
            m.tri(a, b, c, 0, flags);
        PelContent* content = m.build();
        contents.push_back(content);
        if (!texture) texture = sampleCheckerTexture(16, 0xFFFFFF, 0x000000);
        TexRecord* textures[1] = {texture};
        ScnNode* n = makeNode(content, nullptr, textures);
        nodes.push_back(n);
        mtxMultiply(&n->base, &cam.worldToScreen, &n->objToView);
        mtxInvert(&n->objToView, &n->invObjToView);
        mtxMultiply(&n->base, &cam.worldToPixel, &n->objToScreen);
        return n;
    }
};

enum Mode { Flat, FlatTex, Gouraud, RayId };

// Span flags per display mode, transparency, texture, colour key and environment map.
TEST_F(MeshPipe, SpanFlagsPerMode) {
    scnTexturesOn = 1;
    for (int mode = Flat; mode <= RayId; ++mode)
        for (int bits = 0; bits < 16; ++bits) {
            const bool translucent = bits & 1, textured = bits & 2, key = bits & 4, env = bits & 8;
            const uint16_t flags = uint16_t((textured ? FACE_TEXTURED : 0) | (key ? FACE_COLORKEY : 0) |
                                            (env ? FACE_ENVMAP : 0));
            ScnNode* n = face(flags, translucent ? 0.4f : 0.0f);
            PelFace* f = &n->content->faces[0];
            const uint16_t before = f->flags;
            uint32_t want = 0;
            switch (mode) {
                case Flat: want = translucent ? 17 : 1; break;
                case FlatTex:
                    want = (translucent ? 17 : 1) | (textured && !env ? 8u | (key ? 32u : 0u) : 0u);
                    break;
                case Gouraud:
                    want = (translucent ? 21 : 5) | (textured ? 8u | (key ? 32u : 0u) | (env ? 64u : 0u) : 0u);
                    break;
                case RayId: want = 129 | (textured ? 8u | (key ? 32u : 0u) | (env ? 64u : 0u) : 0u); break;
            }
            DrawRecorder rec;
            switch (mode) {
                case Flat: rpFaceFlat(f, n); break;
                case FlatTex: rpFaceFlatTex(f, n); break;
                case Gouraud: rpFaceGouraudTex(f, n); break;
                case RayId: rpFaceRayId(f, n); break;
            }
            ASSERT_EQ(DrawRecorder::tris().size(), 1u);
            const RecordedTri& t = DrawRecorder::tris()[0];
            EXPECT_EQ(t.flags, want) << "mode " << mode << " bits " << bits;
            EXPECT_EQ(t.texture != nullptr, (want & SPAN_TEXTURE) != 0) << "mode " << mode << " bits " << bits;
            if (want & SPAN_TRANSPARENT) {
                EXPECT_FLOAT_EQ(t.alpha, 0.6f);
            }
            EXPECT_EQ(f->flags, before);  // the face is as it was
        }
}

// Shaded kinds draw nothing on 4-byte targets; the flat-textured face keeps its flags.
TEST_F(MeshPipe, FourByteTargetsTakeIdsOnly) {
    ScnNode* n = face(FACE_TEXTURED | FACE_ENVMAP, 0.0f);
    PelFace* f = &n->content->faces[0];
    const uint16_t before = f->flags;
    ASSERT_EQ(fzCreate(64, 48, 4, &frame4), 1);
    spanSetTarget(frame4);
    scnTexturesOn = 1;
    DrawRecorder rec;
    rpFaceFlat(f, n);
    rpFaceFlatTex(f, n);
    rpObjFlatTex(f, n);
    rpFaceGouraudTex(f, n);
    rpFaceHiddenLine(f, n, 7, nullptr);
    EXPECT_TRUE(DrawRecorder::tris().empty());
    EXPECT_EQ(f->flags, before);
    rpFaceVisId(f, n);
    rpFaceRayId(f, n);
    ASSERT_EQ(DrawRecorder::tris().size(), 2u);
    EXPECT_EQ(DrawRecorder::tris()[0].flags, SPAN_DEPTH | SPAN_VISID);
}

// Quads: (0,1,2) and (0,3,2), or (1,0,3) and (1,2,3) in Gouraud mode when 0-2 differs more.
TEST_F(MeshPipe, QuadDiagonals) {
    struct Case {
        float c0, c1, c2, c3;
        bool gouraud;
        int first[3], second[3];
    } cases[] = {
        {0.0f, 0.5f, 1.0f, 0.5f, true, {1, 0, 3}, {1, 2, 3}},
        {0.5f, 0.0f, 0.5f, 1.0f, true, {0, 1, 2}, {0, 3, 2}},
        {0.0f, 0.0f, 1.0f, 1.0f, true, {0, 1, 2}, {0, 3, 2}},  // a tie keeps 0-2
        {0.0f, 0.5f, 1.0f, 0.5f, false, {0, 1, 2}, {0, 3, 2}},
    };
    for (const Case& k : cases) {
        ScnNode* n = face(0, 0.0f, true);
        PelVertex* v = n->content->vertices;
        const float cs[4] = {k.c0, k.c1, k.c2, k.c3};
        for (int i = 0; i < 4; ++i) {
            v[i].r = v[i].g = v[i].b = cs[i];
            v[i].flags |= VTX_FIXED_COLOR;
        }
        DrawRecorder rec;
        PelFace* f = &n->content->faces[0];
        k.gouraud ? rpFaceGouraudTex(f, n) : rpFaceFlat(f, n);
        ASSERT_EQ(DrawRecorder::tris().size(), 2u);
        const RecordedTri& a = DrawRecorder::tris()[0];
        const RecordedTri& b = DrawRecorder::tris()[1];
        EXPECT_EQ(a.a, &v[k.first[0]]);
        EXPECT_EQ(a.b, &v[k.first[1]]);
        EXPECT_EQ(a.c, &v[k.first[2]]);
        EXPECT_EQ(b.a, &v[k.second[0]]);
        EXPECT_EQ(b.b, &v[k.second[1]]);
        EXPECT_EQ(b.c, &v[k.second[2]]);
    }
}

// A triangle reaching behind the camera becomes a fan of two; in hidden-line mode only the
// face's own edges are marked, never the cut or the diagonal.
TEST_F(MeshPipe, ClippedFaceIsDrawnAsAFan) {
    for (bool hidden : {false, true}) {
        ScnNode* n = face(0, 0.0f, false, 10.0f);  // vertex 2 lies behind the eye
        n->content->outCodes = CLP_VIEW_VOLUME;
        PelFace* f = &n->content->faces[0];
        DrawRecorder rec;
        hidden ? rpObjHiddenLine(f, n, 7, nullptr) : rpObjFlat(f, n);
        const auto& tris = DrawRecorder::tris();
        ASSERT_GE(tris.size(), 2u) << hidden;
        for (size_t k = 1; k < tris.size(); ++k) EXPECT_EQ(tris[k].a, tris[0].a);  // one fan
        if (hidden) {
            size_t marked = 0;
            for (size_t k = 0; k < tris.size(); ++k) {
                marked += std::bitset<3>(tris[k].edges).count();
                if (k + 1 < tris.size()) {
                    EXPECT_EQ(tris[k].edges & 4u, 0u);  // no diagonal
                }
            }
            EXPECT_EQ(marked, 3u);  // one per surviving face edge; the cut is not marked
        }
    }
}

TEST_F(MeshPipe, BoxMeasures) {
    const float box[6] = {0, 0, 0, 1, 1, 1};
    Mat4 scale;
    mtxMakeScale(10, 20, 1, &scale);
    Mat4 inverse;
    mtxInvert(&scale, &inverse);
    float d = 0;
    ASSERT_EQ(rpBoxScreenDiagonal(box, &scale, &d), 1);
    EXPECT_NEAR(d, std::sqrt(500.0f), 1e-3);
    float step = 0;
    ASSERT_EQ(rpBoxStepLength(box, &scale, &inverse, &step), 1);
    EXPECT_NEAR(step, 0.1f, 1e-5);
    Mat4 degenerate{};
    degenerate.m[15] = 1.0f;
    degenerate.m[3] = -1.0f;  // w = 1 - x: the corners at x = 1 have no projection
    EXPECT_EQ(rpBoxScreenDiagonal(box, &degenerate, &d), 0);
    EXPECT_EQ(d, 0.0f);
}

}  // namespace

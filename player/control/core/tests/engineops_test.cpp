// The answers the control reads from the engine operations it relies on.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "render/blit.h"
#include "render/clear.h"
#include "render/collision.h"
#include "render/edgefilter.h"
#include "render/fzbuffer.h"
#include "render/kvdirectx.h"
#include "render/light.h"
#include "render/multiview.h"
#include "render/pick.h"
#include "render/renderer.h"
#include "render/rtdriver.h"
#include "render/updregion.h"
#include "scene/anim.h"
#include "scene/animblock.h"
#include "scene/camera.h"
#include "scene/contentlist.h"
#include "scene/engine.h"
#include "scene/material.h"
#include "scene/meshprep.h"
#include "scene/objnode.h"
#include "scene/pelchunk.h"
#include "scene/pelfile.h"
#include "scene/pelwrite.h"
#include "scene/picture.h"
#include "scene/qivstream.h"
#include "scene/scene.h"
#include "scene/sceneops.h"
#include "scene/texture.h"
#include "scene/vecmath.h"

namespace {

TEST(EngineOperations, AnswersTheControlReads) {
    Vec3 zero{0, 0, 0};
    EXPECT_EQ(0, vecNormalize(&zero));
    EXPECT_EQ(0.0f, zero.x);
    EXPECT_EQ(0.0f, zero.y);
    EXPECT_EQ(1.0f, zero.z);
    Vec3 v{3, 0, 4};
    EXPECT_NE(0, vecNormalize(&v));
    EXPECT_FLOAT_EQ(0.6f, v.x);
    EXPECT_FLOAT_EQ(0.8f, v.z);

    EXPECT_EQ(0, memFreeRef(nullptr));

    Mat4 m;
    mtxMakeTranslation(1, 2, 3, &m);
    EXPECT_EQ(1.0f, m.m[12]);
    EXPECT_EQ(2.0f, m.m[13]);
    EXPECT_EQ(3.0f, m.m[14]);
    EXPECT_EQ(1.0f, m.m[0]);
    EXPECT_EQ(0, mtxMakeAxisRotation(0, 0, 0, 30, &m));
    Mat4 singular{};
    Mat4 inv;
    EXPECT_EQ(0, mtxInvert(&singular, &inv));

    UpdateRegion* r = nullptr;
    ASSERT_NE(0, rgnCreate(&r));
    ASSERT_NE(nullptr, r);
    IRect a{0, 0, 10, 10}, b{5, 5, 10, 10};
    rgnAddRect(&a, r);
    rgnAddRect(&b, r);
    // The control copies the frame inside the region's bounds (width and height fields).
    EXPECT_EQ(0, r->bounds.x);
    EXPECT_EQ(0, r->bounds.y);
    EXPECT_EQ(15, r->bounds.x + r->bounds.w);
    EXPECT_EQ(15, r->bounds.y + r->bounds.h);
    rgnFree(&r);
    EXPECT_EQ(nullptr, r);

    PicRecord* frame = nullptr;
    EXPECT_EQ(0, fzCreate(8193, 4, 4, &frame));
    ASSERT_NE(0, fzCreate(16, 8, 4, &frame));
    ASSERT_NE(nullptr, frame);
    fzFree(&frame);
    EXPECT_EQ(nullptr, frame);

    // A text list shorter than three bytes yields nothing.
    char* text = nullptr;
    pelGetLangText("a", 2, "DE", 0, 0, &text);
    EXPECT_EQ(nullptr, text);
}

}  // namespace

// The engine operations the control relies on: each exists with the answers
// the control reads from it.
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

template <class F>
bool exists(F* f) {
    return f != nullptr;
}

TEST(EngineOperations, AllExist) {
    EXPECT_TRUE(exists(&animGetInfo));
    EXPECT_TRUE(exists(&animSetTime));
    EXPECT_TRUE(exists(&camUpdate));
    EXPECT_TRUE(exists(&colFindHits));
    EXPECT_TRUE(exists(&colTestMove));
    EXPECT_TRUE(exists(&fltApply));
    EXPECT_TRUE(exists(&fltCopyScaled));
    EXPECT_TRUE(exists(&fzCreate));
    EXPECT_TRUE(exists(&fzCreateImage));
    EXPECT_TRUE(exists(&fzCreateView));
    EXPECT_TRUE(exists(&fzDrawBackground));
    EXPECT_TRUE(exists(&fzFree));
    EXPECT_TRUE(exists(&fzFreeImage));
    EXPECT_TRUE(exists(&fzFreeView));
    EXPECT_TRUE(exists(&fzGetDib));
    EXPECT_TRUE(exists(&fzPrepareBackground));
    EXPECT_TRUE(exists(&fzSetBackground));
    EXPECT_TRUE(exists(&ltAdd));
    EXPECT_TRUE(exists(&ltDelete));
    EXPECT_TRUE(exists(&ltSet));
    EXPECT_TRUE(exists(&matSetGlobalColor));
    EXPECT_TRUE(exists(&matSetGlobalFactor));
    EXPECT_TRUE(exists(&memFreeRef));
    EXPECT_TRUE(exists(&mtxInvert));
    EXPECT_TRUE(exists(&mtxMakeAxisRotation));
    EXPECT_TRUE(exists(&mtxMakeRotation));
    EXPECT_TRUE(exists(&mtxMakeTranslation));
    EXPECT_TRUE(exists(&mtxMultiply));
    EXPECT_TRUE(exists(&mtxPostMultiply));
    EXPECT_TRUE(exists(&mtxRotateAxis));
    EXPECT_TRUE(exists(&mtxScale));
    EXPECT_TRUE(exists(&mtxTranslate));
    EXPECT_TRUE(exists(&mvRender));
    EXPECT_TRUE(exists(&mvRenderRayTraced));
    EXPECT_TRUE(exists(&pelApplyChunk));
    EXPECT_TRUE(exists(&pelConnectEdges));
    EXPECT_TRUE(exists(&pelCountFaces));
    EXPECT_TRUE(exists(&pelFreeDirectory));
    EXPECT_TRUE(exists(&pelFreeObject));
    EXPECT_TRUE(exists(&pelFreeStream));
    EXPECT_TRUE(exists(&pelGetLangText));
    EXPECT_TRUE(exists(&pelGetObjectText));
    EXPECT_TRUE(exists(&pelGetSubObjectCount));
    EXPECT_TRUE(exists(&pelGetSubObjectName));
    EXPECT_TRUE(exists(&pelLoad));
    EXPECT_TRUE(exists(&pelParseStream));
    EXPECT_TRUE(exists(&pelReadDirectory));
    EXPECT_TRUE(exists(&pelRegisterObject));
    EXPECT_TRUE(exists(&pelSaveObject));
    EXPECT_TRUE(exists(&pelSetLanguage));
    EXPECT_TRUE(exists(&pelWriteChunk));
    EXPECT_TRUE(exists(&pelWriteFile));
    EXPECT_TRUE(exists(&picConvert));
    EXPECT_TRUE(exists(&picCreateFromDib));
    EXPECT_TRUE(exists(&picFree));
    EXPECT_TRUE(exists(&picGetInfo));
    EXPECT_TRUE(exists(&picNextId));
    EXPECT_TRUE(exists(&picWriteBmp));
    EXPECT_TRUE(exists(&pkPickAtPoint));
    EXPECT_TRUE(exists(&rgnAddRect));
    EXPECT_TRUE(exists(&rgnAddRegion));
    EXPECT_TRUE(exists(&rgnClear));
    EXPECT_TRUE(exists(&rgnCreate));
    EXPECT_TRUE(exists(&rgnFree));
    EXPECT_TRUE(exists(&rtRender));
    EXPECT_TRUE(exists(&scnCreateObjectNode));
    EXPECT_TRUE(exists(&scnFreeIdList));
    EXPECT_TRUE(exists(&scnGetExtent));
    EXPECT_TRUE(exists(&scnGetMaterial));
    EXPECT_TRUE(exists(&scnGetMaterialInfo));
    EXPECT_TRUE(exists(&scnMakeIdList));
    EXPECT_TRUE(exists(&scnNodeFree));
    EXPECT_TRUE(exists(&scnRenderList));
    EXPECT_TRUE(exists(&scnReplaceMaterial));
    EXPECT_TRUE(exists(&scnSetAreaMaterial));
    EXPECT_TRUE(exists(&scnSetHighlight));
    EXPECT_TRUE(exists(&scnSetObjectIds));
    EXPECT_TRUE(exists(&scnSetPose));
    EXPECT_TRUE(exists(&scnSetTime));
    EXPECT_TRUE(exists(&scnSwitchLights));
    EXPECT_TRUE(exists(&texAllocRecord));
    EXPECT_TRUE(exists(&texBuild));
    EXPECT_TRUE(exists(&texFree));
    EXPECT_TRUE(exists(&texLoadFile));
    EXPECT_TRUE(exists(&texLoadPalettized));
    EXPECT_TRUE(exists(&texSetName));
    EXPECT_TRUE(exists(&vecNormalize));
    EXPECT_TRUE(exists(&fzBlitRegionToDc));
    EXPECT_TRUE(exists(&fzBlitToDc));
    EXPECT_TRUE(exists(&fzNoDrawDib));
    EXPECT_TRUE(exists(&fzUseDrawDib));
#ifdef _WIN32  // the Direct3D back end
    EXPECT_TRUE(exists(&kvdx::dxAttachWindow));
    EXPECT_TRUE(exists(&kvdx::dxBufferSwap));
    EXPECT_TRUE(exists(&kvdx::dxDirectXSetContext));
    EXPECT_TRUE(exists(&kvdx::dxEndPaint));
    EXPECT_TRUE(exists(&kvdx::dxGetDeviceBuffer));
    EXPECT_TRUE(exists(&kvdx::dxSetActive));
    EXPECT_TRUE(exists(&kvdx::dxShutdown));
    EXPECT_TRUE(exists(&kvdx::dxStartup));
    EXPECT_TRUE(exists(&kvdx::kvdxDoFilter));
#endif
}

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

// A JScript client run by cscript drives the materials, the viewing and the bitmap export of
// the registered control on the sample object; the exported bitmap, read back by the test's
// own reader, shows the object where the engine draws the same file in the same view.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "bmpreader.h"
#include "render/fzbuffer.h"
#include "render/clear.h"
#include "render/renderer.h"
#include "render/renderlist.h"
#include "render/sample.h"
#include "runprocess.h"
#include "scene/objnode.h"
#include "scene/pelfile.h"
#include "scene/sceneops.h"

namespace {

const char kScript[] = R"(
function check(ok, code) { if (!ok) WScript.Quit(code); }
var a = WScript.Arguments;
var c = new ActiveXObject("QivPlayer.3DView.2");
check(c.LoadObject(a(0)) == true, 2);
check(c.GetMaterialCount() == 6, 3);
check(c.GetMaterialAsString(0) != null, 4);
check(c.ReplaceMaterial(0, 0x0000FF, 0xFFFFFF, 0, 0.5, 0.25, 0.5, 0) == true, 5);
var m = c.GetMaterialAsString(0);
check(m.indexOf("255, 16777215, 0, 0.5, 0.25, 0.5, ") == 0, 6);
check(!c.GetMaterialAsString(99), 7);
check(c.SetViewing3D(0, 0, 1.6, 6, -8, 4.2, 0.36502849) == false, 8);
var v = c.GetViewing3DExAsString();
check(v.indexOf("0, 0, 1.6, 6, -8, 4.2, 0.36502") == 0 && v.indexOf(", false") == v.length - 7, 9);
check(c.SaveBitmap(0, false, 256, 256, a(1)) == true, 10);
check(c.SaveBitmap(0, false, 2048, 32, a(2)) == true, 11);
var failed = 0, text = "";
try { c.SaveBitmap(0, false, 2049, 32, a(3)); } catch (e) { failed = e.number; text = e.description; }
check(failed == -2147024809, 12);
check(text.indexOf("2048") >= 0, 13);
failed = 0;
try { c.SaveBitmap(0, false, 32, 32, a(1)); } catch (e) { failed = e.number; }
check(failed == -2147286960, 14);
WScript.Quit(0);
)";
// The same refusal as VBScript sees it.
const char kVbScript[] = R"(
Set c = CreateObject("QivPlayer.3DView.2")
If Not c.LoadObject(WScript.Arguments(0)) Then WScript.Quit 2
On Error Resume Next
c.SaveBitmap 0, False, 16, 0, WScript.Arguments(1)
If Err.Number <> &H80070057 Then WScript.Quit 3
Err.Clear
c.SaveBitmap 3, False, 16, 16, WScript.Arguments(1)
' E_INVALIDARG without a description: VBScript's "Invalid procedure call or argument".
If Err.Number <> 5 Then WScript.Quit 4
WScript.Quit 0
)";

std::string tempPath(const std::string& name) {
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    return std::string(dir) + name;
}

// Where the engine draws the object file in the sample scene's camera view (the view the
// script set), as a mask of size x size, rows from the top.
std::vector<bool> engineMask(const std::string& pel, int32_t size) {
    std::vector<bool> mask;
    SampleScene s;
    char file[PEL_FILE_NAME_MAX] = {}, name[128] = {};
    PelFileInfo info{};
    PelContent* content = nullptr;
    size_t bytes = 0;
    ScnNode* node = nullptr;
    Mat4 base;
    mtxIdentity(&base);
    if (sampleSceneCreate(&s, size, size) && pelLoad(pel.c_str(), file, name, &info, &content, &bytes) &&
        scnCreateObjectNode(content, 0, nullptr, 0, 0, nullptr, 0, &base, &node)) {
        BgRecord bg{};
        fzGetBackground(&bg);
        bg.mode = 0;
        bg.clear[0] = 1, bg.clear[1] = 0, bg.clear[2] = 1;
        fzResetBackground(&bg);
        s.cam.rowsUp = 0;
        camUpdate(&s.cam);
        PicRecord* frame = nullptr;
        if (fzCreate(uint32_t(size), uint32_t(size), 2, &frame)) {
            fzDrawBackground(frame, nullptr, nullptr, &s.cam, 1, 0);
            ScnNode* roots[2] = {node, nullptr};
            ScnRenderJob job{};
            job.camera = &s.cam;
            job.target = frame;
            job.kind = 3;
            scnRenderList(&job, roots, nullptr);
            const uint16_t* px = reinterpret_cast<const uint16_t*>(frame->pixels);
            for (int32_t y = 0; y < size; ++y)
                for (int32_t x = 0; x < size; ++x)
                    mask.push_back((px[size_t(y) * frame->width + x] & 0x7FFF) != 0x7C1F);
            fzFree(&frame);
        }
    }
    scnNodeFree(&node, nullptr);
    pelFreeObject(&content);
    sampleSceneFree(&s);
    return mask;
}

}  // namespace

TEST(ExchangeScript, JScriptDrivesMaterialsViewingAndExport) {
    ASSERT_EQ(0u, runProcess("regsvr32.exe /s \"" + qivDllPath() + "\""));
    const std::string dir = tempPath("qivexchange script");
    CreateDirectoryA(dir.c_str(), nullptr);
    const std::string pel = dir + "\\sample.pel", out = dir + "\\view.bmp", wide = dir + "\\wide.bmp",
                      refused = dir + "\\refused.bmp";
    for (const std::string& f : {out, wide, refused}) DeleteFileA(f.c_str());
    ASSERT_TRUE(sampleWriteObjectFile(pel.c_str(), false));
    const std::string js = dir + "\\client.js", vbs = dir + "\\client.vbs";
    std::ofstream(js, std::ios::binary) << kScript;
    std::ofstream(vbs, std::ios::binary) << kVbScript;
    EXPECT_EQ(0u, runProcess("cscript.exe //nologo \"" + js + "\" \"" + pel + "\" \"" + out + "\" \"" + wide +
                             "\" \"" + refused + "\""));
    EXPECT_EQ(0u, runProcess("cscript.exe //nologo \"" + vbs + "\" \"" + pel + "\" \"" + refused + "\""));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(refused.c_str()));

    qivtest::Bitmap w;
    ASSERT_TRUE(w.read(wide));
    EXPECT_EQ(2048, w.width);
    EXPECT_EQ(32, w.height);

    qivtest::Bitmap b;
    ASSERT_TRUE(b.read(out));
    ASSERT_EQ(256, b.width);
    ASSERT_EQ(256, b.height);
    // The background is the plain back colour; the object lies where the engine puts it.
    const uint32_t back = b.at(0, 0);
    const std::vector<bool> mask = engineMask(pel, 256);
    ASSERT_EQ(size_t(256 * 256), mask.size());
    size_t object = 0, agree = 0;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            const bool drawn = b.at(x, y) != back;
            object += drawn;
            agree += drawn == mask[size_t(y) * 256 + x];
        }
    EXPECT_GT(object, size_t(256 * 256 / 8)) << "not uniform";
    EXPECT_GT(agree, size_t(256 * 256) * 97 / 100);
}

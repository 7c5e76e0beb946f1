// A program that builds scenes itself drives the sited control through IQivSceneHost: an
// object content with a texture it resolved through the control, or a root list of its
// own; the window shows the scene (pixels against the engine's picture of the same view).
#include <windows.h>
#include <ocidl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dispids.h"
#include "pixeltest.h"
#include "render/sample.h"
#include "scene/pelfile.h"
#include "scene/sceneops.h"
#include "scenehost.h"
#include "sitedcontrol.h"
#include "window_win.h"

namespace {

class SceneHost : public qivtest::SitedControl {
protected:
    void SetUp() override {
        SitedControl::SetUp();
        ASSERT_EQ(S_OK, p2_->QueryInterface(IID_IQivSceneHost, reinterpret_cast<void**>(&host_)));
    }
    void TearDown() override {
        if (host_) host_->Release();
        SitedControl::TearDown();
        if (content_) pelFreeObject(&content_);
    }
    // The window against the engine's picture of the control's view.
    void expectWindowShowsTheScene() {
        QivControlState& st = ctl_->state();
        ASSERT_NE(nullptr, st.frame);
        std::vector<uint32_t> ref =
            qivtest::EnginePicture(&st.camera, &st.background, st.sceneRoots, st.displayMode, st.frameWidth, st.frameHeight);
        std::vector<uint32_t> px = qivtest::ReadWindow(ctl_->hwnd(), st.frameWidth, st.frameHeight);
        const int total = st.frameWidth * st.frameHeight;
        EXPECT_LT(qivtest::Near(ref, qivtest::Rgb(st.backColor), 8), total * 9 / 10) << "the object fills the view";
        EXPECT_LE(qivtest::Differing(px, ref, 8), total / 200);
    }
    IQivSceneHost* host_ = nullptr;
    PelContent* content_ = nullptr;
};

}  // namespace

TEST_F(SceneHost, ThreeIdentifiersOneTable) {
    for (const IID* iid : {&IID_IQivSceneHost2, &IID_IQivSceneHost3}) {
        IQivSceneHost* other = nullptr;
        ASSERT_EQ(S_OK, host_->QueryInterface(*iid, reinterpret_cast<void**>(&other)));
        EXPECT_EQ(host_, other);
        other->Release();
    }
    IUnknown* a = nullptr;
    IUnknown* b = nullptr;
    ASSERT_EQ(S_OK, host_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a)));
    ASSERT_EQ(S_OK, p2_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b)));
    EXPECT_EQ(a, b) << "one object";
    a->Release();
    b->Release();
    EXPECT_EQ(S_OK, host_->Reserved());
}

TEST_F(SceneHost, AddedContentWithAResolvedTextureShows) {
    std::string dir = tempDir("qivhost content");
    std::string object = dir + "\\sample.pel";
    ASSERT_TRUE(sampleWriteObjectFile(object.c_str(), false));
    char fileName[PEL_FILE_NAME_MAX] = {}, objectName[128] = {};
    PelFileInfo info{};
    size_t bytes = 0;
    ASSERT_TRUE(pelLoad(object.c_str(), fileName, objectName, &info, &content_, &bytes));
    ASSERT_EQ(1u, content_->areaCount);
    embed();

    TexRecord* texture = nullptr;
    EXPECT_EQ(E_POINTER, host_->ResolveTexture(kSampleTextureName, dir.c_str(), nullptr));
    ASSERT_EQ(S_OK, host_->ResolveTexture(kSampleTextureName, (dir + "\\").c_str(), &texture));
    ASSERT_NE(nullptr, texture);
    TexRecord* missing = reinterpret_cast<TexRecord*>(1);
    ASSERT_EQ(S_OK, host_->ResolveTexture("no such texture.bmp", dir.c_str(), &missing));
    EXPECT_EQ(nullptr, missing);

    const float colour[3] = {0.2f, 0.4f, 0.6f};
    TexRecord* textures[1] = {texture};
    LONG ok = 0;
    EXPECT_EQ(E_POINTER, host_->AddObjectContent(textures, content_, nullptr, colour, nullptr));
    ASSERT_EQ(S_OK, host_->AddObjectContent(textures, content_, nullptr, colour, &ok));
    ASSERT_EQ(1, ok);
    QivControlState& st = ctl_->state();
    EXPECT_EQ(0x00996633u, st.backColor);
    EXPECT_FLOAT_EQ(0.4f, st.background.clear[1]);
    EXPECT_FLOAT_EQ(kQivDefaultPhi, st.phi);
    EXPECT_FLOAT_EQ(kQivDefaultPsi, st.psi);
    ASSERT_NE(nullptr, st.sceneRoots);
    EXPECT_EQ(S_OK, host_->Refresh());
    paint();
    expectWindowShowsTheScene();

    // A second content replaces the first (whose node the control frees).
    ASSERT_EQ(S_OK, host_->AddObjectContent(textures, content_, nullptr, nullptr, &ok));
    EXPECT_EQ(1, ok);
    EXPECT_EQ(0x00996633u, st.backColor) << "no colour: kept";

    EXPECT_EQ(S_OK, host_->ClearScene());
    EXPECT_EQ(nullptr, st.sceneRoots);
    paint();
    std::vector<uint32_t> px = qivtest::ReadWindow(ctl_->hwnd(), 32, 32);
    EXPECT_EQ(int(px.size()), qivtest::Near(px, 0x336699, 8)) << "the background alone";
}

TEST_F(SceneHost, HostRootsStayTheHostsAndNegativeComponentsKeepTheColour) {
    embed();
    SampleScene s;
    ASSERT_TRUE(sampleSceneCreate(&s, 64, 64));
    ScnNode** roots = nullptr;
    ASSERT_TRUE(scnMakeIdList(1, &s.node, &roots));
    QivControlState& st = ctl_->state();
    const uint32_t red = st.backColor & 0xFF;
    const float colour[3] = {-1.0f, 0.0f, 1.0f};
    LONG ok = 0;
    ASSERT_EQ(S_OK, host_->SetSceneRoots(roots, nullptr, colour, &ok));
    ASSERT_EQ(1, ok);
    EXPECT_EQ(roots, st.sceneRoots);
    EXPECT_EQ(0x00FF0000u | red, st.backColor) << "red kept, green 0, blue 255";
    paint();
    expectWindowShowsTheScene();

    // Clearing leaves the host's list and nodes to the host.
    EXPECT_EQ(S_OK, host_->ClearScene());
    EXPECT_EQ(nullptr, st.sceneRoots);
    EXPECT_FALSE(ctl_->win().sharedLightsHeld);
    EXPECT_EQ(s.node, roots[0]);
    scnFreeIdList(&roots);
    sampleSceneFree(&s);
}

TEST_F(SceneHost, FailuresAreReportedAsFailures) {
    SampleScene s;
    ASSERT_TRUE(sampleSceneCreate(&s, 64, 64));
    LONG ok = 1;
    // No window to show the scene in: nothing is taken.
    ASSERT_EQ(S_OK, host_->AddObjectContent(nullptr, s.content, nullptr, nullptr, &ok));
    EXPECT_EQ(0, ok);
    EXPECT_EQ(nullptr, ctl_->state().sceneRoots);
    ScnNode** roots = nullptr;
    ASSERT_TRUE(scnMakeIdList(1, &s.node, &roots));
    ok = 1;
    ASSERT_EQ(S_OK, host_->SetSceneRoots(roots, nullptr, nullptr, &ok));
    EXPECT_EQ(0, ok);
    embed();
    ok = 1;
    ASSERT_EQ(S_OK, host_->AddObjectContent(nullptr, nullptr, nullptr, nullptr, &ok));
    EXPECT_EQ(0, ok) << "no content";
    EXPECT_EQ(E_POINTER, host_->SetSceneRoots(roots, nullptr, nullptr, nullptr));
    scnFreeIdList(&roots);
    sampleSceneFree(&s);
}

TEST_F(SceneHost, PathAndContainerAnswers) {
    IQivPlayer2* p2 = p2_;
    qivtest::NotifySink n;
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, qivtest::Connect(p2, IID_IPropertyNotifySink, &n, &cookie));

    BSTR s = reinterpret_cast<BSTR>(1);
    EXPECT_EQ(E_POINTER, p2->get_VisuDLL(nullptr));
    ASSERT_EQ(S_OK, p2->get_VisuDLL(&s));
    ASSERT_NE(nullptr, s);
    EXPECT_EQ(0u, SysStringLen(s));
    SysFreeString(s);

    // TexturePath: null while unset; an empty value then changes nothing; the same path
    // again announces nothing.
    ASSERT_EQ(S_OK, p2->get_TexturePath(&s));
    EXPECT_EQ(nullptr, s);
    BSTR empty = SysAllocString(L"");
    EXPECT_EQ(S_OK, p2->put_TexturePath(empty));
    EXPECT_TRUE(n.changed.empty());
    BSTR path = SysAllocString(L"C:\\textures");
    EXPECT_EQ(S_OK, p2->put_TexturePath(path));
    EXPECT_EQ(S_OK, p2->put_TexturePath(path));
    EXPECT_EQ(std::vector<DISPID>({qivdispid::TexturePath}), n.changed);
    ASSERT_EQ(S_OK, p2->get_TexturePath(&s));
    EXPECT_STREQ(L"C:\\textures", s);
    SysFreeString(s);
    EXPECT_EQ(S_OK, p2->put_TexturePath(empty));
    EXPECT_EQ(std::vector<DISPID>({qivdispid::TexturePath, qivdispid::TexturePath}), n.changed) << "an empty value clears a set path";
    ASSERT_EQ(S_OK, p2->get_TexturePath(&s));
    EXPECT_EQ(nullptr, s);
    SysFreeString(path);
    SysFreeString(empty);

    // The view status follows the back style.
    IViewObjectEx* view = nullptr;
    ASSERT_EQ(S_OK, host_->QueryInterface(IID_IViewObjectEx, reinterpret_cast<void**>(&view)));
    DWORD status = 0;
    EXPECT_EQ(E_POINTER, view->GetViewStatus(nullptr));
    ASSERT_EQ(S_OK, view->GetViewStatus(&status));
    EXPECT_EQ(DWORD(VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND), status);
    ASSERT_EQ(S_OK, p2->put_BackStyle(qivBackStyleTransparent));
    ASSERT_EQ(S_OK, view->GetViewStatus(&status));
    EXPECT_EQ(0u, status);
    view->Release();

    // Error objects for both interfaces of the type library, not for others.
    ISupportErrorInfo* sei = nullptr;
    ASSERT_EQ(S_OK, host_->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&sei)));
    EXPECT_EQ(S_OK, sei->InterfaceSupportsErrorInfo(IID_IQivPlayer2));
    EXPECT_EQ(S_OK, sei->InterfaceSupportsErrorInfo(IID_IQivPlayer));
    EXPECT_EQ(S_FALSE, sei->InterfaceSupportsErrorInfo(IID_IQivSceneHost));
    sei->Release();

    qivtest::Disconnect(p2, IID_IPropertyNotifySink, cookie);
}

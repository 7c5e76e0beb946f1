// The scene host interface of the control: a host that builds scenes itself hands over a
// root list or an object content, resolves textures as the control does and redraws.
#include <windows.h>

#include <string>

#include "backend_win.h"
#include "caches.h"
#include "com/guard.h"
#include "ctlmodule_win.h"
#include "qivctl_win.h"
#include "render/fzbuffer.h"
#include "render/kvdirectx.h"
#include "scene/objnode.h"
#include "scene/sceneops.h"
#include "sharedlights.h"
#include "window_win.h"

// {C2FE8F4D-01C7-49B1-9F89-42FB35A8B475}
extern "C" const IID IID_IQivSceneHost = {0xc2fe8f4d, 0x01c7, 0x49b1, {0x9f, 0x89, 0x42, 0xfb, 0x35, 0xa8, 0xb4, 0x75}};
// {18D346D9-3E81-4C48-8FA4-ABA8DC5308E3}
extern "C" const IID IID_IQivSceneHost2 = {0x18d346d9, 0x3e81, 0x4c48, {0x8f, 0xa4, 0xab, 0xa8, 0xdc, 0x53, 0x08, 0xe3}};
// {8D7DAA74-1C9B-44B8-B199-82F5940FBE69}
extern "C" const IID IID_IQivSceneHost3 = {0x8d7daa74, 0x1c9b, 0x44b8, {0xb1, 0x99, 0x82, 0xf5, 0x94, 0x0f, 0xbe, 0x69}};

namespace {

uint8_t colourByte(float c) {
    float v = c * 255.0f + 0.5f;
    return v >= 255.0f ? 255 : v <= 0.0f ? 0 : static_cast<uint8_t>(v);
}

}  // namespace

void* CQivPlayerCtl::sceneHostInterface(REFIID iid) {
    if (!IsEqualIID(iid, IID_IQivSceneHost) && !IsEqualIID(iid, IID_IQivSceneHost2) &&
        !IsEqualIID(iid, IID_IQivSceneHost3))
        return nullptr;
    sceneHostTable_.ctl = this;
    return static_cast<IQivSceneHost*>(&sceneHostTable_);
}

void CQivPlayerCtl::FreeSceneHostNode() {
    if (!sceneHostNode_) return;
    if (state_.sceneRoots && state_.sceneRoots == sceneHostRoots_) {
        scnFreeIdList(&state_.sceneRoots);
        state_.sceneRoots = nullptr;
        state_.ownRoots = false;
    }
    scnNodeFree(&sceneHostNode_, nullptr);
    sceneHostNode_ = nullptr;
    sceneHostRoots_ = nullptr;
}

HRESULT CQivPlayerCtl::SetSceneRoots(ScnNode** roots, const float* colour, LONG* ok) {
    if (!ok) return E_POINTER;
    *ok = 0;
    if (!win_->initialised && !InitWindow()) return S_OK;
    UnloadScene(true);
    InitDisplayBackend(state_.language, &state_.rendererKind);
    state_.sceneRoots = roots;
    state_.ownRoots = false;
    LoadDrawDib();
    if (colour) {
        float* clear = state_.background.clear;
        bool given = false;
        for (int i = 0; i < 3; ++i)
            if (colour[i] >= 0) {
                clear[i] = colour[i] > 1 ? 1.0f : colour[i];
                given = true;
            }
        if (given)
            state_.backColor = uint32_t(colourByte(clear[0])) | uint32_t(colourByte(clear[1])) << 8 |
                               uint32_t(colourByte(clear[2])) << 16;
    }
    // The host's scene is seen from the default angles.
    state_.phi = kQivDefaultPhi;
    state_.psi = kQivDefaultPsi;
    SetupFrame(roots, false, false);
    InvalidateRect(hwnd(), nullptr, FALSE);
    *ok = 1;
    return S_OK;
}

HRESULT CQivPlayerCtl::AddObjectContent(TexRecord** textures, PelContent* content, const float* colour, LONG* ok) {
    if (!ok) return E_POINTER;
    *ok = 0;
    if (!content) return S_OK;
    InitDisplayBackend(state_.language, &state_.rendererKind);
    Mat4 identity{};
    for (int i = 0; i < 4; ++i) identity.m[i * 5] = 1.0f;
    ScnNode* node = nullptr;
    if (!scnCreateObjectNode(content, 0, textures, 0, 0, nullptr, 0, &identity, &node) || !node) return S_OK;
    ScnNode** list = nullptr;
    if (!scnMakeIdList(1, &node, &list) || !list) {
        scnNodeFree(&node, nullptr);
        return S_OK;
    }
    LONG set = 0;
    SetSceneRoots(list, colour, &set);
    if (!set) {
        scnFreeIdList(&list);
        scnNodeFree(&node, nullptr);
        return S_OK;
    }
    // The list and its node are the control's: unloading frees them.
    state_.ownRoots = true;
    sceneHostNode_ = node;
    sceneHostRoots_ = list;
    *ok = 1;
    return S_OK;
}

CQivPlayerCtl::HeldTextures::~HeldTextures() {
    for (TexRecord* t : list) qivctl::TextureCacheRelease(t);
}

// ---- the interface's table ----

STDMETHODIMP CQivPlayerCtl::SceneHostTable::QueryInterface(REFIID iid, void** out) try {
    return ctl->controlUnknown()->QueryInterface(iid, out);
} catch (...) { return qcom::exceptionResult(); }
STDMETHODIMP_(ULONG) CQivPlayerCtl::SceneHostTable::AddRef() { return ctl->controlUnknown()->AddRef(); }
STDMETHODIMP_(ULONG) CQivPlayerCtl::SceneHostTable::Release() { return ctl->controlUnknown()->Release(); }

STDMETHODIMP CQivPlayerCtl::SceneHostTable::AddObjectContent(TexRecord** textures, PelContent* content, void*,
                                                             const float* colour, LONG* ok) try {
    return ctl->AddObjectContent(textures, content, colour, ok);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::SceneHostTable::ClearScene() try {
    ctl->UnloadScene(true);
    qivctl::releaseSharedLights(&ctl->win_->sharedLightsHeld);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::SceneHostTable::SetSceneRoots(ScnNode** roots, void*, const float* colour, LONG* ok) try {
    return ctl->SetSceneRoots(roots, colour, ok);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::SceneHostTable::ResolveTexture(const char* name, const char* baseDirectory,
                                                           TexRecord** handle) try {
    if (!handle) return E_POINTER;
    *handle = nullptr;
    if (!name) return S_OK;
    TexRecord* t = nullptr;
    if (ctl->ResolveTexture(name, baseDirectory ? baseDirectory : "", &t, -1) && t) {
        ctl->sceneHostTextures_.list.push_back(t);
        *handle = t;
    }
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::SceneHostTable::Reserved() { return S_OK; }

STDMETHODIMP CQivPlayerCtl::SceneHostTable::Refresh() try {
    ctl->Redraw(true);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

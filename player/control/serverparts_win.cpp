#include "serverparts_win.h"

#include <comcat.h>
#include <objsafe.h>

#include "caches.h"
#include "com/object.h"
#include "ctlmodule_win.h"
#include "linkwin_win.h"
#include "proppage_win.h"
#include "qivctl_win.h"
#include "scene/texture.h"

namespace {

const qcom::ClassEntry kClasses[] = {
    {&CLSID_QivPlayer, qcom::ComObject<CQivPlayerCtl>::creator, 101},
    {&CLSID_QivPlayerOptions, qcom::ComObject<CQivOptionsPage>::creator, 120},
    {&CLSID_QivPlayerPaths, qcom::ComObject<CQivPathsPage>::creator, 115},
};

QivDetachFn g_detach[static_cast<int>(QivDetachStep::Count)] = {};
HFONT g_moduleFont = nullptr;

void runStep(QivDetachStep step) {
    if (QivDetachFn fn = g_detach[static_cast<int>(step)]) fn();
}

}  // namespace

const qcom::ClassEntry* qivClassTable() { return kClasses; }
size_t qivClassCount() { return sizeof kClasses / sizeof kClasses[0]; }

HRESULT qivRegisterServer() {
    HRESULT hr = qcom::module().updateRegistry(qcom::RegMode::Register);
    if (FAILED(hr)) return hr;
    hr = qcom::module().registerTypeLib();
    if (FAILED(hr)) return hr;
    // Failures of the categories are not the registration's.
    qcom::registerCategory(CATID_SafeForInitializing, L"Controls safely initializable from persistent data!");
    qcom::implementCategory(CLSID_QivPlayer, CATID_SafeForInitializing);
    qcom::registerCategory(CATID_SafeForScripting, L"Controls safely scriptable!");
    qcom::implementCategory(CLSID_QivPlayer, CATID_SafeForScripting);
    return S_OK;
}

HRESULT qivUnregisterServer() {
    HRESULT hr = qcom::removeImplementedCategory(CLSID_QivPlayer, CATID_SafeForInitializing);
    if (FAILED(hr)) return hr;
    hr = qcom::removeImplementedCategory(CLSID_QivPlayer, CATID_SafeForScripting);
    if (FAILED(hr)) return hr;
    // The type library stays registered.
    return qcom::module().updateRegistry(qcom::RegMode::Unregister);
}

IQivPlayer* qivCreateInternalControl() {
    IQivPlayer* p = nullptr;
    if (FAILED(qcom::ComObject<CQivPlayerCtl>::create(nullptr, IID_IQivPlayer, reinterpret_cast<void**>(&p))) ||
        !p)
        return nullptr;
    p->AddRef();
    return p;
}


void qivSetDetachStep(QivDetachStep step, QivDetachFn fn) { g_detach[static_cast<int>(step)] = fn; }

HFONT qivModuleFont() { return g_moduleFont; }

void qivCreateModuleFont() {
    if (g_moduleFont) return;
    g_moduleFont = CreateFontA(-12, 10, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                               CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, VARIABLE_PITCH | FF_SWISS, "MS Sans Serif");
}

void qivProcessDetach(bool processExit) {
    runStep(QivDetachStep::FrameTicks);
    // The device's texture cache is not shut down at process exit: its hook stays out of it.
    if (processExit) texSetCacheRemoveHook(nullptr);
    qivctl::CachesFree();
    runStep(QivDetachStep::SharedLights);
    UnregisterClassA("D3D hardware", qivModuleInstance());
    qivUnregisterLinkWindowClasses();
    qcom::module().term();
    if (!processExit) runStep(QivDetachStep::DrawDib);
    if (g_moduleFont) DeleteObject(g_moduleFont);
    g_moduleFont = nullptr;
    // Last: the caches and steps above may take the lock.
    qivCloseRenderLock();
}

// QivPlayer.dll: entry point and exports of the in-process server.
#include <windows.h>
#include <commctrl.h>

#include "com/module.h"
#include "backend_win.h"
#include "ctlmodule_win.h"
#include "serverparts_win.h"

namespace {

void initCommonControls() {
    // Kept loaded for the life of the process.
    HMODULE comctl = LoadLibraryA("Comctl32.dll");
    if (!comctl) return;
    using InitEx = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    using Init = void(WINAPI*)();
    if (auto ex = reinterpret_cast<InitEx>(reinterpret_cast<void*>(GetProcAddress(comctl, "InitCommonControlsEx")))) {
        INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS};
        ex(&icc);
    } else if (auto plain = reinterpret_cast<Init>(reinterpret_cast<void*>(GetProcAddress(comctl, "InitCommonControls")))) {
        plain();
    }
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        qivSetModuleInstance(instance);
        qcom::module().init(instance, qivClassTable(), qivClassCount());
        DisableThreadLibraryCalls(instance);
        qivCreateModuleFont();
        qivInstallBackendDetachSteps();
        initCommonControls();
    } else if (reason == DLL_PROCESS_DETACH) {
        qivProcessDetach(reserved != nullptr);
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    return qcom::module().getClassObject(clsid, iid, out);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return qcom::module().canUnloadNow(); }

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() { return qivRegisterServer(); }

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() { return qivUnregisterServer(); }

extern "C" IQivPlayer* STDAPICALLTYPE CreateInternalControl() { return qivCreateInternalControl(); }

extern "C" void CALLBACK DisplayObject(HWND window, HINSTANCE instance, LPSTR commandLine, int show) {
    qivDisplayObject(window, instance, commandLine, show);
}

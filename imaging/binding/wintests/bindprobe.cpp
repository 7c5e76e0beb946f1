// Binds an imaging library the way Stellwerk does and prints what happened: the path of
// the module loaded, or the exception's text, and the messages shown.
//   bindprobe crde | wrong | isp
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "crdebinding_win.h"
#include "ispbinding_win.h"

int main(int argc, char** argv) {
    imaging::SetMessageLog([](void*, const std::string& text) { std::printf("message: %s\n", text.c_str()); }, nullptr);
    const std::string mode = argc > 1 ? argv[1] : "crde";
    FARPROC p = nullptr;
    bool ok = false;
    HMODULE module = nullptr;
    try {
        if (mode == "isp") {
            ok = imaging::BindIspProc(imaging::kIspLibrary, "ScaleDib", p);
            module = imaging::IspModule();
        } else {
            // "wrong": a library without CRDE in its name on the CRDE side.
            ok = imaging::BindCrdeProc(mode == "wrong" ? imaging::kIspLibrary : imaging::kCrdeLibrary,
                                       mode == "wrong" ? "ScaleDib" : "fileinfo", p);
            module = imaging::CrdeModule();
        }
    } catch (const imaging::ErrorInvalid& e) {
        std::printf("error: %s\n", e.what());
    }
    char path[MAX_PATH] = "";
    if (module) GetModuleFileNameA(module, path, MAX_PATH);
    std::printf("bound: %d\nloaded: %s\n", ok ? 1 : 0, path);
    std::fflush(stdout);
    return 0;
}

// A stand-in CRDE2001.DLL for the binding's tests: procedures that fault, answer -1,
// or count their calls; an annotation procedure set without DrawAnnotationX.
#include <windows.h>

namespace {
int g_calls = 0;
int g_draws = 0;
}  // namespace

extern "C" {

__declspec(dllexport) int WINAPI fakeCalls() { return g_calls; }
__declspec(dllexport) int WINAPI fakeDraws() { return g_draws; }

// Faults inside the call.
__declspec(dllexport) short WINAPI rdbmpfiledib(const char*, int, int, HGLOBAL*, HPALETTE, void*, void*, short) {
    ++g_calls;
    volatile int* nowhere = nullptr;
    *nowhere = 1;
    return 1;
}

__declspec(dllexport) short WINAPI rdpngfiledib(const char*, int, int, HGLOBAL* dib, HPALETTE, void*, void*, short) {
    ++g_calls;
    *dib = nullptr;
    return -1;
}

__declspec(dllexport) short WINAPI rdgiffiledib(const char*, int, int, HGLOBAL* dib, HPALETTE, void*, void*, short) {
    ++g_calls;
    *dib = nullptr;
    return -4;
}

__declspec(dllexport) int WINAPI MouseMon(void*, UINT, WPARAM, LPARAM) {
    volatile int zero = 0;
    return 10 / zero;
}

__declspec(dllexport) short WINAPI DrawAnnotation(void*, int, int, int, int, int, int, short, short) {
    ++g_draws;
    return 1;
}

}  // extern "C"

#pragma once
// The one place where window classes are registered.
#include <windows.h>

namespace win {

struct WindowClassSpec {
    const wchar_t* name;
    WNDPROC proc;
    UINT style = CS_DBLCLKS;
    HBRUSH background = nullptr;
    HCURSOR cursor = nullptr;  // the arrow when null
    HICON icon = nullptr;
    int extraBytes = 0;
};

// Registers the class once per process (later calls give the same atom);
// 0 when registration fails.
ATOM RegisterWindowClass(const WindowClassSpec& spec);

}  // namespace win

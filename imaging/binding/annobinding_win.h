// Binding of the annotation procedures of CRDE2001.DLL. Each operation binds its
// procedure on every call (the binding keeps the pointer after the first) and passes the
// control first, so that the library keeps one annotation set per control. A procedure
// that cannot be bound raises ErrorInvalid; DrawAnnotationX falls back to DrawAnnotation.
#pragma once
#include <windows.h>

#include <string>

#include "crde2001.h"

namespace imaging {

// "Error. Could not get a procaddress for <name>. This could berelated to a dll name or
// version missmatch of CRDE2001.DLL" (the pieces joined as they stand).
std::string MissingProcText(const char* procedure);

int AnnoMouseMon(void* control, UINT message, WPARAM wParam, LPARAM lParam);
// windows: the library's annotation edit window and view window.
int AnnoInit(void* control, HWND window, void* owner, const std::string& iniFile, const CrdeAnnoCallbacks& callbacks,
             HWND windows[2]);
int AnnoDestroy(void* control);
// The whole picture's rectangle on the device, the picture's size, the page and flags.
int AnnoDrawX(void* control, HDC dc, int destLeft, int destTop, int destWidth, int destHeight, int picWidth,
              int picHeight, int page, int flags);
int AnnoDraw(void* control, int destLeft, int destTop, int destWidth, int destHeight, int picWidth, int picHeight,
             int page, int flags);
int AnnoMenuMsg(void* control, int command);
int AnnoClear(void* control);
int AnnoRubberBandOff(void* control);
// The library's status: 1 or more on success.
int AnnoLoad(void* control, int page, const std::string& file);
int AnnoSave(void* control, int page, const std::string& file);

}  // namespace imaging

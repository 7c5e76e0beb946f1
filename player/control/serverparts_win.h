// The server side of QivPlayer.dll that the tests can reach too: the class
// map, registration, the creation export, and process detach in its order.
#pragma once
#include <windows.h>

#include "qivplayer_idl.h"
#include "com/module.h"

const qcom::ClassEntry* qivClassTable();
size_t qivClassCount();

HRESULT qivRegisterServer();
HRESULT qivUnregisterServer();

// A new control's IQivPlayer carrying two references, or null.
IQivPlayer* qivCreateInternalControl();

// The stand-alone viewer (rundll32).
void qivDisplayObject(HWND window, HINSTANCE instance, const char* commandLine, int show);

// Steps of process detach that belong to the other parts of the control; each
// part installs its own. They run in this order, between the module font and
// the render lock; with processExit the DrawDib step (which also shuts the display back end
// down) is left out (their libraries may be gone).
enum class QivDetachStep { FrameTicks, SharedLights, DrawDib, Count };
using QivDetachFn = void (*)();
void qivSetDetachStep(QivDetachStep step, QivDetachFn fn);

// Process detach: frame ticks, caches, shared lights, the hardware window
// class, the COM module, DrawDib and the display back end (not at process
// exit), the module font, and last the render lock. At process exit the caches
// free their textures without telling the device's texture cache.
void qivProcessDetach(bool processExit);

// The module font of the control bar ("MS Sans Serif", 12 pixels).
HFONT qivModuleFont();
void qivCreateModuleFont();

// Process-wide pieces of the control library: its instance handle (resources),
// the one message display of the control, and the render lock.
#pragma once
#include <windows.h>

#include <string>

#include "resources/stringids.h"

// Instance whose resources the control loads (the DLL; a test program that
// links the control statically gets its own module).
HINSTANCE qivModuleInstance();
void qivSetModuleInstance(HINSTANCE instance);

// A text of the control's string table (IDS_ names of stringids.h) in the
// thread's resource language; empty when it does not load.
std::string qivLoadString(UINT id);
std::wstring qivLoadStringW(UINT id);

// Every message the control shows to the user goes through here. By default a
// message box; with a log installed (or the environment variable
// QIV_MESSAGE_LOG naming a file) the message is recorded instead and the log's
// answer (IDOK for the file) is returned.
using QivMessageLog = int (*)(void* context, const char* text, const char* caption, UINT flags);
int qivShowMessage(HWND owner, const char* text, const char* caption, UINT flags);
void qivSetMessageLog(QivMessageLog log, void* context);

// The process-wide named mutex "QivRenderLock" that orders the drawing of all
// controls. Created by the first control; closed only at process detach.
HANDLE qivEnsureRenderLock();
HANDLE qivRenderLockHandle();
void qivCloseRenderLock();

// Holds the render lock for a scope (infinite wait).
class QivRenderLockGuard {
public:
    QivRenderLockGuard();
    ~QivRenderLockGuard();
    QivRenderLockGuard(const QivRenderLockGuard&) = delete;
    QivRenderLockGuard& operator=(const QivRenderLockGuard&) = delete;

private:
    HANDLE held_;
};

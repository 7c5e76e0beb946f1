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

// The process-wide mutex "QivRenderLock" that orders the drawing of all controls. Its name is
// local to the session ("Local\QivRenderLock") and only the process's own user may open it;
// when another user's object holds the name, the process makes a lock of its own. Created by
// the first control; closed only at process detach.
HANDLE qivEnsureRenderLock();
HANDLE qivRenderLockHandle();
void qivCloseRenderLock();
extern const char kQivRenderLockName[];
// How long a guard waits for the lock (milliseconds; tests shorten it).
void qivSetRenderLockTimeout(DWORD ms);
DWORD qivRenderLockTimeout();

// Holds the render lock for a scope. The wait is bounded: when the lock is not released in
// time (another process holds it), the guard does not hold it, reports the failure as an
// engine error ("Render lock not released within <n> ms") and the caller goes on without it
// or fails (held()).
class QivRenderLockGuard {
public:
    QivRenderLockGuard();
    ~QivRenderLockGuard();
    QivRenderLockGuard(const QivRenderLockGuard&) = delete;
    QivRenderLockGuard& operator=(const QivRenderLockGuard&) = delete;
    bool held() const { return held_ != nullptr; }

private:
    HANDLE held_;
};

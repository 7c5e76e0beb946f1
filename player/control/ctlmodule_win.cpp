#include "ctlmodule_win.h"

#include <cstdio>

namespace {

HINSTANCE g_instance = nullptr;
QivMessageLog g_log = nullptr;
void* g_logContext = nullptr;
HANDLE g_renderLock = nullptr;

int fileLog(const char* path, const char* text, const char* caption, UINT flags) {
    if (FILE* f = std::fopen(path, "ab")) {
        std::fprintf(f, "%s|%s|%u\n", caption ? caption : "", text ? text : "", flags);
        std::fclose(f);
    }
    return IDOK;
}

}  // namespace

HINSTANCE qivModuleInstance() { return g_instance ? g_instance : GetModuleHandleA(nullptr); }
void qivSetModuleInstance(HINSTANCE instance) { g_instance = instance; }

std::string qivLoadString(UINT id) {
    char buf[1024] = {};
    int n = LoadStringA(qivModuleInstance(), id, buf, sizeof buf);
    return n > 0 ? std::string(buf, n) : std::string();
}

std::wstring qivLoadStringW(UINT id) {
    // Length 0 gives a read-only pointer to the resource text itself.
    const wchar_t* text = nullptr;
    int n = LoadStringW(qivModuleInstance(), id, reinterpret_cast<LPWSTR>(&text), 0);
    return n > 0 && text ? std::wstring(text, n) : std::wstring();
}

void qivSetMessageLog(QivMessageLog log, void* context) {
    g_log = log;
    g_logContext = context;
}

int qivShowMessage(HWND owner, const char* text, const char* caption, UINT flags) {
    if (g_log) return g_log(g_logContext, text, caption, flags);
    char path[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("QIV_MESSAGE_LOG", path, sizeof path);
    if (n > 0 && n < sizeof path) return fileLog(path, text, caption, flags);
    return MessageBoxA(owner, text, caption, flags);
}

HANDLE qivEnsureRenderLock() {
    if (!g_renderLock) g_renderLock = CreateMutexA(nullptr, FALSE, "QivRenderLock");
    return g_renderLock;
}

HANDLE qivRenderLockHandle() { return g_renderLock; }

void qivCloseRenderLock() {
    if (g_renderLock) CloseHandle(g_renderLock);
    g_renderLock = nullptr;
}

QivRenderLockGuard::QivRenderLockGuard() : held_(qivEnsureRenderLock()) {
    if (held_ && WaitForSingleObject(held_, INFINITE) == WAIT_FAILED) held_ = nullptr;
}

QivRenderLockGuard::~QivRenderLockGuard() {
    if (held_) ReleaseMutex(held_);
}

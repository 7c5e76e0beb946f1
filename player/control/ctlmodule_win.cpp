#include "ctlmodule_win.h"

#include <cstdio>
#include <vector>

#include "scene/engine.h"

namespace {

HINSTANCE g_instance = nullptr;
QivMessageLog g_log = nullptr;
void* g_logContext = nullptr;
HANDLE g_renderLock = nullptr;
DWORD g_renderLockTimeout = 10000;

// Security of the lock: the process's own user, and only that user, may use it.
struct OwnUserSecurity {
    SECURITY_ATTRIBUTES sa{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    SECURITY_DESCRIPTOR sd{};
    std::vector<uint8_t> user, acl;
    bool ok = false;

    OwnUserSecurity() {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return;
        DWORD n = 0;
        GetTokenInformation(token, TokenUser, nullptr, 0, &n);
        user.resize(n);
        const bool got = n && GetTokenInformation(token, TokenUser, user.data(), n, &n);
        CloseHandle(token);
        if (!got) return;
        PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
        if (!IsValidSid(sid)) return;
        acl.resize(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid));
        PACL a = reinterpret_cast<PACL>(acl.data());
        ok = InitializeAcl(a, DWORD(acl.size()), ACL_REVISION) &&
             AddAccessAllowedAce(a, ACL_REVISION, MUTANT_ALL_ACCESS, sid) &&
             InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) &&
             SetSecurityDescriptorOwner(&sd, sid, FALSE) && SetSecurityDescriptorDacl(&sd, TRUE, a, FALSE);
        sa.lpSecurityDescriptor = &sd;
    }
};

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

const char kQivRenderLockName[] = "Local\\QivRenderLock";

HANDLE qivEnsureRenderLock() {
    if (g_renderLock) return g_renderLock;
    OwnUserSecurity security;
    g_renderLock = CreateMutexA(security.ok ? &security.sa : nullptr, FALSE, kQivRenderLockName);
    // A name another user's object holds: a lock of the process's own.
    if (!g_renderLock) g_renderLock = CreateMutexA(nullptr, FALSE, nullptr);
    return g_renderLock;
}

void qivSetRenderLockTimeout(DWORD ms) { g_renderLockTimeout = ms; }
DWORD qivRenderLockTimeout() { return g_renderLockTimeout; }

HANDLE qivRenderLockHandle() { return g_renderLock; }

void qivCloseRenderLock() {
    if (g_renderLock) CloseHandle(g_renderLock);
    g_renderLock = nullptr;
}

QivRenderLockGuard::QivRenderLockGuard() : held_(qivEnsureRenderLock()) {
    if (!held_) return;
    const DWORD r = WaitForSingleObject(held_, g_renderLockTimeout);
    if (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED) return;
    held_ = nullptr;
    if (r == WAIT_TIMEOUT) errReport(ERR_PLAIN, "Render lock not released within %lu ms", g_renderLockTimeout);
}

QivRenderLockGuard::~QivRenderLockGuard() {
    if (held_) ReleaseMutex(held_);
}

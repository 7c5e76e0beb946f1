// User options in the registry, the message display switch and the render lock.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ctlmodule_win.h"
#include "scene/engine.h"
#include "useropts_win.h"

namespace {

class RegistryOptions : public ::testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, kQivOptionsKey);
        qivUserOptions().reset();
    }
    void TearDown() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, kQivOptionsKey);
        qivUserOptions().reset();
    }
    static bool rawValue(const char* name, DWORD& type, std::vector<BYTE>& data) {
        HKEY k;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kQivOptionsKey, 0, KEY_READ, &k)) return false;
        DWORD size = 0;
        LONG r = RegQueryValueExA(k, name, nullptr, &type, nullptr, &size);
        data.resize(size);
        if (!r && size) r = RegQueryValueExA(k, name, nullptr, &type, data.data(), &size);
        RegCloseKey(k);
        return r == ERROR_SUCCESS;
    }
    static void writeRaw(const char* name, DWORD type, const void* data, DWORD size) {
        HKEY k;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kQivOptionsKey, 0, nullptr, 0, KEY_WRITE, nullptr,
                                                 &k, nullptr));
        RegSetValueExA(k, name, 0, type, static_cast<const BYTE*>(data), size);
        RegCloseKey(k);
    }
};

TEST_F(RegistryOptions, DefaultsWithoutKey) {
    EXPECT_EQ(0u, GetAutoSave());
    EXPECT_EQ(0u, GetSaveFilesWithDocument());
    EXPECT_EQ(0u, GetUse4DVision());
    EXPECT_EQ(1u, GetUse3DHardware());
    EXPECT_STREQ("", GetObjectPath());
    EXPECT_STREQ("", GetTexturePath());
}

TEST_F(RegistryOptions, SettersWriteTheKeyAndValues) {
    EXPECT_EQ(ERROR_SUCCESS, SetAutoSave(1));
    EXPECT_EQ(ERROR_SUCCESS, SetUse3DHardware(0));
    EXPECT_EQ(ERROR_SUCCESS, SetObjectPath("C:\\Objects"));
    DWORD type;
    std::vector<BYTE> data;
    ASSERT_TRUE(rawValue("AutoSave", type, data));
    EXPECT_EQ(REG_DWORD, type);
    ASSERT_EQ(4u, data.size());
    EXPECT_EQ(1, data[0]);
    ASSERT_TRUE(rawValue("ObjectPath", type, data));
    EXPECT_EQ(REG_SZ, type);
    EXPECT_EQ(std::string("C:\\Objects", 11), std::string(data.begin(), data.end())) << "only the string's bytes";

    // A new process (here: forgotten copies) reads them back.
    qivUserOptions().reset();
    EXPECT_EQ(1u, GetAutoSave());
    EXPECT_EQ(0u, GetUse3DHardware());
    EXPECT_STREQ("C:\\Objects", GetObjectPath());
}

TEST_F(RegistryOptions, UnterminatedPathIsCutToTheBuffer) {
    std::string raw(260, 'q');
    writeRaw("TexturePath", REG_BINARY, raw.data(), 260);
    EXPECT_EQ(259u, std::strlen(GetTexturePath()));
    qivUserOptions().reset();
    std::string tooLong(300, 'z');
    writeRaw("TexturePath", REG_SZ, tooLong.c_str(), 301);
    EXPECT_STREQ("", GetTexturePath());
}

TEST(MessageDisplay, LogReplacesTheMessageBox) {
    struct Seen { std::string text, caption; UINT flags = 0; int calls = 0; } seen;
    qivSetMessageLog(
        [](void* ctx, const char* text, const char* caption, UINT flags) {
            auto* s = static_cast<Seen*>(ctx);
            s->text = text;
            s->caption = caption;
            s->flags = flags;
            ++s->calls;
            return IDNO;
        },
        &seen);
    EXPECT_EQ(IDNO, qivShowMessage(nullptr, "Process aborted...", "QivPlayer", MB_YESNO));
    EXPECT_EQ(1, seen.calls);
    EXPECT_EQ("Process aborted...", seen.text);
    EXPECT_EQ(UINT(MB_YESNO), seen.flags);

    char dir[MAX_PATH], path[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    GetTempFileNameA(dir, "qlg", 0, path);
    qivSetMessageLog(nullptr, nullptr);
    SetEnvironmentVariableA("QIV_MESSAGE_LOG", path);
    EXPECT_EQ(IDOK, qivShowMessage(nullptr, "hello", "cap", MB_OK));
    SetEnvironmentVariableA("QIV_MESSAGE_LOG", nullptr);
    char buf[64] = {};
    HANDLE f = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD got = 0;
    ReadFile(f, buf, sizeof buf - 1, &got, nullptr);
    CloseHandle(f);
    DeleteFileA(path);
    EXPECT_STREQ("cap|hello|0\n", buf);
}

DWORD WINAPI tryRenderLock(void* p) {
    HANDLE m = OpenMutexA(SYNCHRONIZE, FALSE, kQivRenderLockName);
    DWORD w = m ? WaitForSingleObject(m, 0) : WAIT_FAILED;
    if (w == WAIT_OBJECT_0) ReleaseMutex(m);
    if (m) CloseHandle(m);
    *static_cast<DWORD*>(p) = w;
    return 0;
}

TEST(RenderLock, OneNamedMutexForTheProcess) {
    HANDLE a = qivEnsureRenderLock();
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(a, qivEnsureRenderLock());
    {
        QivRenderLockGuard guard;
        // Another thread cannot take it while held.
        DWORD r = 0;
        HANDLE t = CreateThread(nullptr, 0, tryRenderLock, &r, 0, nullptr);
        WaitForSingleObject(t, INFINITE);
        CloseHandle(t);
        EXPECT_EQ(WAIT_TIMEOUT, r);
    }
    // Other test programs may hold the named lock for a moment.
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(a, 10000)) << "released after the guard";
    ReleaseMutex(a);
    EXPECT_EQ(nullptr, OpenMutexA(SYNCHRONIZE, FALSE, "Global\\QivRenderLock")) << "the name is the session's";
}

struct Holder {
    HANDLE taken = CreateEventA(nullptr, TRUE, FALSE, nullptr), done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
};

DWORD WINAPI holdRenderLock(void* p) {
    auto* h = static_cast<Holder*>(p);
    HANDLE m = OpenMutexA(SYNCHRONIZE, FALSE, kQivRenderLockName);
    if (m) WaitForSingleObject(m, INFINITE);
    SetEvent(h->taken);
    WaitForSingleObject(h->done, INFINITE);
    if (m) {
        ReleaseMutex(m);
        CloseHandle(m);
    }
    return 0;
}

// Someone else holding the lock no longer freezes the controls: a guard gives up after its
// bounded wait, holds nothing and says why in the engine's error queue.
TEST(RenderLock, WaitsAreBounded) {
    ASSERT_NE(nullptr, qivEnsureRenderLock());
    errReset();
    Holder h;
    HANDLE t = CreateThread(nullptr, 0, holdRenderLock, &h, 0, nullptr);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(h.taken, 10000));
    const DWORD before = qivRenderLockTimeout();
    qivSetRenderLockTimeout(200);
    const DWORD start = GetTickCount();
    {
        QivRenderLockGuard guard;
        EXPECT_FALSE(guard.held());
    }
    const DWORD took = GetTickCount() - start;
    qivSetRenderLockTimeout(before);
    EXPECT_GE(took, 150u);
    EXPECT_LT(took, 5000u);
    uint32_t level = 9;
    char message[500] = {};
    ASSERT_EQ(1, errPop(&level, message, nullptr, nullptr));
    EXPECT_STREQ("Render lock not released within 200 ms", message);
    SetEvent(h.done);
    WaitForSingleObject(t, INFINITE);
    CloseHandle(t);
    QivRenderLockGuard again;
    EXPECT_TRUE(again.held());
}

}  // namespace

// Stellwerk.exe as a user starts it: the three start-up checks failing one by
// one (the message logged, the program ended), and a normal start with its
// main form and menu texts.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string windowsPath(std::string p) {
    std::replace(p.begin(), p.end(), '/', '\\');
    return "Z:" + p;
}

DWORD run(const std::string& cmd, DWORD waitMs = 60000, PROCESS_INFORMATION* keep = nullptr) {
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::string c = cmd;
    if (!CreateProcessA(nullptr, c.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 0xFFFF;
    if (keep) {
        *keep = pi;
        return 0;
    }
    DWORD code = 0xFFFE;
    if (WaitForSingleObject(pi.hProcess, waitMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(pi.hProcess, &code);
    else
        TerminateProcess(pi.hProcess, 0xFFFE);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

std::string readAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// The visible window titled "Fernlicht" of a process.
struct Find {
    DWORD pid;
    HWND main = nullptr;
};

BOOL CALLBACK findMain(HWND h, LPARAM lp) {
    auto* f = reinterpret_cast<Find*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    wchar_t title[64] = {};
    GetWindowTextW(h, title, 64);
    if (pid == f->pid && IsWindowVisible(h) && wcscmp(title, L"Fernlicht") == 0) {
        f->main = h;
        return FALSE;
    }
    return TRUE;
}

class Startup : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(0u, run("regsvr32.exe /s \"" + windowsPath(QIV_PLAYER_DLL) + "\""));
    }
    void SetUp() override {
        char tmp[MAX_PATH];
        GetTempPathA(MAX_PATH, tmp);
        dir_ = std::string(tmp) + "stellwerk_start_" + ::testing::UnitTest::GetInstance()->current_test_info()->name() +
               "\\";
        CreateDirectoryA(dir_.c_str(), nullptr);
        CreateDirectoryA((dir_ + "Support").c_str(), nullptr);
        SetFileAttributesA((dir_ + "stellwerk!.ini").c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA((dir_ + "stellwerk!.ini").c_str());
        ASSERT_TRUE(CopyFileA(windowsPath(STELLWERK_EXE).c_str(), (dir_ + "Stellwerk.exe").c_str(), FALSE));
        ASSERT_TRUE(CopyFileA(windowsPath(STELLWERK_SUPPORT "/MsgLbl.txt").c_str(), (dir_ + "Support\\MsgLbl.txt").c_str(),
                              FALSE));
        ASSERT_TRUE(
            CopyFileA(windowsPath(STELLWERK_SUPPORT "/Menu.txt").c_str(), (dir_ + "Support\\Menu.txt").c_str(), FALSE));
        log_ = dir_ + "messages.log";
        DeleteFileA(log_.c_str());
        SetEnvironmentVariableA("QIV_MESSAGE_LOG", log_.c_str());
    }
    void TearDown() override { SetEnvironmentVariableA("QIV_MESSAGE_LOG", nullptr); }
    DWORD start() { return run("\"" + dir_ + "Stellwerk.exe\""); }

    std::string dir_, log_;
};

TEST_F(Startup, MissingMsgLblEndsWithTheFixedMessage) {
    DeleteFileA((dir_ + "Support\\MsgLbl.txt").c_str());
    EXPECT_EQ(1u, start());
    EXPECT_NE(std::string::npos, readAll(log_).find("|Msglbl file not found. Cannot start Stellwerk!.|")) << readAll(log_);
}

TEST_F(Startup, MissingMenuTextsEndsWithText5) {
    DeleteFileA((dir_ + "Support\\Menu.txt").c_str());
    EXPECT_EQ(1u, start());
    EXPECT_NE(std::string::npos, readAll(log_).find("|Menu file not found. Cannot start Fernlicht.|")) << readAll(log_);
}

TEST_F(Startup, ReadOnlyIniIsReportedWithItsPath) {
    std::ofstream(dir_ + "stellwerk!.ini") << "[General]\r\n";
    SetFileAttributesA((dir_ + "stellwerk!.ini").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(1u, start());
    const std::string want = dir_ + "stellwerk!.ini cannot be written. Cannot start Fernlicht.";
    EXPECT_NE(std::string::npos, readAll(log_).find(want)) << readAll(log_);
    EXPECT_NE(0u, GetFileAttributesA((dir_ + "stellwerk!.ini").c_str()) & FILE_ATTRIBUTE_READONLY)
        << "the check leaves the file as it was";
    SetFileAttributesA((dir_ + "stellwerk!.ini").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(Startup, UnregisteredControlEndsWithText132) {
    ASSERT_EQ(0u, run("regsvr32.exe /s /u \"" + windowsPath(QIV_PLAYER_DLL) + "\""));
    const DWORD code = start();
    ASSERT_EQ(0u, run("regsvr32.exe /s \"" + windowsPath(QIV_PLAYER_DLL) + "\""));
    EXPECT_EQ(1u, code);
    EXPECT_NE(std::string::npos, readAll(log_).find("The QivPlayer control is not registered. Cannot start Fernlicht."))
        << readAll(log_);
}

TEST_F(Startup, NormalStartShowsTheMainFormWithItsMenuTexts) {
    PROCESS_INFORMATION pi{};
    ASSERT_EQ(0u, run("\"" + dir_ + "Stellwerk.exe\"", 0, &pi));
    Find find{pi.dwProcessId};
    for (int i = 0; i < 300 && !find.main; ++i) {
        EnumWindows(findMain, LPARAM(&find));
        if (!find.main) Sleep(100);
    }
    ASSERT_NE(nullptr, find.main) << "no main form";
    // The menu's texts are checked in the test process (menus stay in their process under Wine).
    EXPECT_NE(nullptr, GetMenu(find.main)) << "the main form has its menu bar";
    PostMessageW(find.main, WM_CLOSE, 0, 0);
    const DWORD waited = WaitForSingleObject(pi.hProcess, 30000);
    if (waited != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 0xFFFE);
    EXPECT_EQ(WAIT_OBJECT_0, waited);
    DWORD code = 0xFFFE;
    GetExitCodeProcess(pi.hProcess, &code);
    EXPECT_EQ(0u, code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_EQ("", readAll(log_));
}

}  // namespace

// Stellwerk.exe as a user starts it: the three start-up checks failing one by
// one (the message logged, the program ended), and a normal start with its
// main form and menu texts.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "wintestutil.h"

bool WriteSamplePel(const std::string& path);

namespace {

using wintest::readAll;
using wintest::windowsPath;

DWORD run(const std::string& cmd, DWORD waitMs = 60000, PROCESS_INFORMATION* keep = nullptr) {
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::string c = cmd;
    if (!CreateProcessA(nullptr, c.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        std::fprintf(stderr, "cannot start %s: error %lu\n", cmd.c_str(), GetLastError());
        return 0xFFFF;
    }
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


// The visible window of a process whose title begins with "Fernlicht".
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
    if (pid == f->pid && IsWindowVisible(h) && wcsncmp(title, L"Fernlicht", 9) == 0) {
        f->main = h;
        return FALSE;
    }
    return TRUE;
}

std::string titleOf(HWND w) {
    char buf[600] = {};
    GetWindowTextA(w, buf, sizeof buf);
    return buf;
}

// Stellwerk.exe running until it is closed.
class Running {
public:
    explicit Running(const std::string& cmd) { started_ = run(cmd, 0, &pi_) == 0; }
    ~Running() {
        if (!started_) return;
        if (WaitForSingleObject(pi_.hProcess, 0) != WAIT_OBJECT_0) TerminateProcess(pi_.hProcess, 0xFFFE);
        CloseHandle(pi_.hThread);
        CloseHandle(pi_.hProcess);
    }
    // The main window, once its title is the given one.
    HWND main(const std::string& title, DWORD ms = 30000) {
        const ULONGLONG end = GetTickCount64() + ms;
        while (started_ && GetTickCount64() < end) {
            Find f{pi_.dwProcessId};
            EnumWindows(findMain, LPARAM(&f));
            if (f.main && titleOf(f.main) == title) return f.main;
            if (WaitForSingleObject(pi_.hProcess, 50) == WAIT_OBJECT_0) break;
        }
        return nullptr;
    }
    // Closes the main window; the exit code (0xFFFE when it did not end).
    DWORD close(HWND main) {
        PostMessageW(main, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(pi_.hProcess, 30000) != WAIT_OBJECT_0) return 0xFFFE;
        DWORD code = 0xFFFE;
        GetExitCodeProcess(pi_.hProcess, &code);
        return code;
    }

private:
    bool started_ = false;
    PROCESS_INFORMATION pi_ = {};
};

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
    EXPECT_TRUE(IsZoomed(find.main)) << "no saved placement: maximised";
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

TEST_F(Startup, OpensItsParameterShowsItAndKeepsItsSettingsAcrossStarts) {
    wintest::SoftwareViewer software;
    const std::string pel = dir_ + "sample.pel", missing = dir_ + "missing.pel";
    ASSERT_TRUE(WriteSamplePel(pel));
    // Placed by the settings: without a window manager a maximised window keeps its old place on the X screen.
    std::ofstream(dir_ + "stellwerk!.ini", std::ios::binary)
        << "[AppWindow]\r\nMax=0\r\nLeft=0\r\nTop=0\r\nWidth=1000\r\nHeight=740\r\n";
    const std::string exe = "\"" + dir_ + "Stellwerk.exe\"";
    {
        Running s(exe + " \"" + pel + "\"");
        HWND main = s.main("Fernlicht - " + pel);
        ASSERT_NE(nullptr, main) << "the parameter is opened";
        bool shown = false;
        for (int i = 0; i < 200 && !shown; ++i) {
            HWND viewer = wintest::findDescendant(main, L"QivPlayerControl");
            if (viewer) {
                const auto px = wintest::clientPixels(viewer);
                shown = wintest::shareUnlike(px, wintest::commonColour(px)) > 0.03;
            }
            if (!shown) Sleep(100);
        }
        EXPECT_TRUE(shown) << "the viewer's window shows the object";
        EXPECT_EQ(0u, s.close(main));
    }
    std::string ini = readAll(dir_ + "stellwerk!.ini");
    EXPECT_NE(std::string::npos, ini.find("File1=" + pel + "\r\n")) << ini;
    EXPECT_NE(std::string::npos, ini.find("qiv=" + dir_ + "\r\n")) << ini;
    EXPECT_NE(std::string::npos, ini.find("[AppWindow]\r\nMax=0\r\nLeft=0\r\nTop=0\r\nWidth=1000\r\n")) << ini;
    {
        Running s(exe + " \"" + missing + "\"");
        HWND main = s.main("Fernlicht");
        ASSERT_NE(nullptr, main);
        for (int i = 0; i < 100 && readAll(log_).empty(); ++i) Sleep(100);
        EXPECT_NE(std::string::npos, readAll(log_).find("The object could not be opened: " + missing)) << readAll(log_);
        EXPECT_EQ(0u, s.close(main));
    }
    ini = readAll(dir_ + "stellwerk!.ini");
    EXPECT_NE(std::string::npos, ini.find("File1=" + pel + "\r\n")) << ini;
    EXPECT_EQ(std::string::npos, ini.find("File2=")) << "a file that did not open is not listed";
    EXPECT_EQ(std::string::npos, ini.find(missing)) << ini;
}

}  // namespace

// The stand-alone viewer as the shell starts it: rundll32 QivPlayer.dll,DisplayObject "<file>"
// on object files in a folder with spaces; a missing file.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "render/sample.h"

namespace {

std::string dllPath() {
    std::string p = std::string("Z:") + QIV_PLAYER_DLL;
    std::replace(p.begin(), p.end(), '/', '\\');
    return p;
}

DWORD runAndWait(const std::string& commandLine) {
    STARTUPINFOA si = {};
        si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::string cmd = commandLine;
    if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 0xFFFF;
    WaitForSingleObject(pi.hProcess, 120000);
    DWORD code = 0xFFFE;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

struct FrameSearch {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK findFrame(HWND w, LPARAM p) {
    auto* f = reinterpret_cast<FrameSearch*>(p);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    char cls[64] = {};
    GetClassNameA(w, cls, sizeof cls);
    // Complete once the control is in it.
    if (pid == f->pid && IsWindowVisible(w) && std::string(cls) == "Qiv Frame" && GetWindow(w, GW_CHILD)) {
        f->found = w;
        return FALSE;
    }
    return TRUE;
}

// One viewer process: rundll32 with the file's path in quotes, as the shell passes it.
class Viewer {
public:
    explicit Viewer(const std::string& path) {
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        std::string cmd = "rundll32.exe \"" + dllPath() + "\",DisplayObject \"" + path + "\"";
        started_ = CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_) != 0;
    }
    ~Viewer() {
        if (!started_) return;
        if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi_.hProcess, 99);
        CloseHandle(pi_.hThread);
        CloseHandle(pi_.hProcess);
    }
    bool started() const { return started_; }

    // The process's visible frame window with the control in it, waited for up to ms.
    HWND frame(DWORD ms) {
        const ULONGLONG end = GetTickCount64() + ms;
        do {
            FrameSearch find{pi_.dwProcessId, nullptr};
            EnumWindows(findFrame, reinterpret_cast<LPARAM>(&find));
            if (find.found) return find.found;
            if (WaitForSingleObject(pi_.hProcess, 50) == WAIT_OBJECT_0) return nullptr;
        } while (GetTickCount64() < end);
        return nullptr;
    }

    // Exit code once the process ends within ms; STILL_ACTIVE when it does not.
    DWORD exitWithin(DWORD ms) {
        if (WaitForSingleObject(pi_.hProcess, ms) != WAIT_OBJECT_0) return STILL_ACTIVE;
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(pi_.hProcess, &code);
        return code;
    }

private:
    bool started_ = false;
    PROCESS_INFORMATION pi_ = {};
};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class StandAloneViewer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        registered_ = runAndWait("regsvr32.exe /s \"" + dllPath() + "\"") == 0;
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        dir_ = std::string(temp) + "qiv viewer files";
        CreateDirectoryA(dir_.c_str(), nullptr);
        pel_ = dir_ + "\\sample object.pel";
        kvo_ = dir_ + "\\sample object.kvo";
        written_ = sampleWriteObjectFile(pel_.c_str(), false) && sampleWriteObjectFile(kvo_.c_str(), true);
        log_ = dir_ + "\\messages.log";
        // The control writes its messages here instead of showing message boxes.
        SetEnvironmentVariableA("QIV_MESSAGE_LOG", log_.c_str());
    }
    static void TearDownTestSuite() {
        SetEnvironmentVariableA("QIV_MESSAGE_LOG", nullptr);
        for (const std::string& f : {pel_, kvo_, log_, dir_ + "\\" + kSampleTextureName}) DeleteFileA(f.c_str());
        RemoveDirectoryA(dir_.c_str());
    }
    void SetUp() override {
        ASSERT_TRUE(registered_);
        ASSERT_TRUE(written_);
        DeleteFileA(log_.c_str());
    }

    static bool registered_, written_;
    static std::string dir_, pel_, kvo_, log_;
};

bool StandAloneViewer::registered_ = false, StandAloneViewer::written_ = false;
std::string StandAloneViewer::dir_, StandAloneViewer::pel_, StandAloneViewer::kvo_, StandAloneViewer::log_;

TEST_F(StandAloneViewer, MissingFileShowsTheMessageAndReturns) {
    const std::string missing = dir_ + "\\no such object.pel";
    Viewer v(missing);
    ASSERT_TRUE(v.started());
    EXPECT_EQ(0u, v.exitWithin(60000)) << "the call returns by itself, without a crash";
    const std::string log = readFile(log_);
    EXPECT_NE(std::string::npos, log.find("no such object.pel")) << log;
}

}  // namespace

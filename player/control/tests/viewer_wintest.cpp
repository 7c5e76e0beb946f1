// The stand-alone viewer as the shell starts it: rundll32 QivPlayer.dll,DisplayObject "<file>"
// on object files (PEL, KVO, Qiv) in a folder with spaces. The frame window, its title, the
// control filling it and showing the object, closing the window; a missing file.
#include <windows.h>

#include <gtest/gtest.h>

#include "runprocess.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "qiv_sample.h"
#include "render/sample.h"
#include "testfiles.h"

namespace {

struct FrameSearch {
    DWORD pid;
    bool withControl;
    HWND found;
};

BOOL CALLBACK findFrame(HWND w, LPARAM p) {
    auto* f = reinterpret_cast<FrameSearch*>(p);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    char cls[64] = {};
    GetClassNameA(w, cls, sizeof cls);
    // Complete once the control is in it.
    if (pid == f->pid && IsWindowVisible(w) && std::string(cls) == "Qiv Frame" &&
        (!f->withControl || GetWindow(w, GW_CHILD))) {
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
        std::string cmd = "rundll32.exe \"" + qivDllPath() + "\",DisplayObject \"" + path + "\"";
        started_ = CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_) != 0;
    }
    ~Viewer() {
        if (!started_) return;
        if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi_.hProcess, 99);
        CloseHandle(pi_.hThread);
        CloseHandle(pi_.hProcess);
    }
    bool started() const { return started_; }

    // The process's visible frame window (with the control in it), waited for up to ms.
    HWND frame(DWORD ms, bool withControl = true) {
        const ULONGLONG end = GetTickCount64() + ms;
        do {
            FrameSearch find{pi_.dwProcessId, withControl, nullptr};
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

// What the screen shows of a window's client area, 0x00RRGGBB.
std::vector<uint32_t> clientPixels(HWND w, int* width, int* height) {
    RECT rc;
    GetClientRect(w, &rc);
    POINT origin = {0, 0};
    ClientToScreen(w, &origin);
    *width = rc.right, *height = rc.bottom;
    std::vector<uint32_t> px;
    if (rc.right <= 0 || rc.bottom <= 0) return px;
    px.resize(size_t(rc.right) * size_t(rc.bottom));
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = rc.right;
    bi.bmiHeader.biHeight = -rc.bottom;  // top row first
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, dib);
    BitBlt(mem, 0, 0, rc.right, rc.bottom, screen, origin.x, origin.y, SRCCOPY);
    GdiFlush();
    for (size_t i = 0; i < px.size(); ++i) px[i] = static_cast<const uint32_t*>(bits)[i] & 0xFFFFFF;
    SelectObject(mem, old);
    DeleteObject(dib);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return px;
}

// Pixels in the colours of the sample's green pyramid and blue sphere, shaded by any light;
// neither colour is in the frame's or the control's empty background.
struct ObjectColours {
    size_t green = 0, blue = 0, total = 0;
};
ObjectColours countObjectColours(const std::vector<uint32_t>& px) {
    ObjectColours c;
    c.total = px.size();
    for (uint32_t p : px) {
        const int r = int(p >> 16 & 255), g = int(p >> 8 & 255), b = int(p & 255);
        if (g > 50 && 2 * g > 3 * r && 2 * g > 3 * b) ++c.green;
        if (b > 60 && 2 * b > 3 * r && 5 * b > 6 * g) ++c.blue;
    }
    return c;
}

std::string windowText(HWND w) {
    char buf[600] = {};
    GetWindowTextA(w, buf, sizeof buf);
    return buf;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class StandAloneViewer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        registered_ = runProcess("regsvr32.exe /s \"" + qivDllPath() + "\"") == 0;
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        dir_ = std::string(temp) + "qiv viewer files";
        CreateDirectoryA(dir_.c_str(), nullptr);
        pel_ = dir_ + "\\sample object.pel";
        kvo_ = dir_ + "\\sample object.kvo";
        qiv_ = dir_ + "\\sample object.qiv";
        written_ = sampleWriteObjectFile(pel_.c_str(), false) && sampleWriteObjectFile(kvo_.c_str(), true) &&
                   qivtest::writeFile(qiv_, qivw::build(qivsample::container("")));
        log_ = dir_ + "\\messages.log";
        // The viewer draws in software here. Wine 8 renders a Direct3D device of a child window
        // into an X window of its own off the screen and its copy into the window fails (the
        // window's drawable is a client-side surface), so the screen would show the control's
        // background only; the control's own tests read the device's back buffer instead.
        HKEY k = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, kOptionsKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &k,
                            nullptr) == ERROR_SUCCESS) {
            DWORD size = sizeof savedHardware_;
            hadHardware_ = RegQueryValueExA(k, "Use3DHardware", nullptr, nullptr,
                                            reinterpret_cast<BYTE*>(&savedHardware_), &size) == ERROR_SUCCESS;
            const DWORD off = 0;
            RegSetValueExA(k, "Use3DHardware", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&off), sizeof off);
            RegCloseKey(k);
        }
        // The control writes its messages here instead of showing message boxes.
        SetEnvironmentVariableA("QIV_MESSAGE_LOG", log_.c_str());
    }
    static void TearDownTestSuite() {
        SetEnvironmentVariableA("QIV_MESSAGE_LOG", nullptr);
        HKEY k = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kOptionsKey, 0, KEY_WRITE, &k) == ERROR_SUCCESS) {
            if (hadHardware_)
                RegSetValueExA(k, "Use3DHardware", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&savedHardware_),
                               sizeof savedHardware_);
            else
                RegDeleteValueA(k, "Use3DHardware");
            RegCloseKey(k);
        }
        for (const std::string& f : {pel_, kvo_, qiv_, log_, dir_ + "\\" + kSampleTextureName}) DeleteFileA(f.c_str());
        RemoveDirectoryA(dir_.c_str());
    }
    void SetUp() override {
        ASSERT_TRUE(registered_);
        ASSERT_TRUE(written_);
        DeleteFileA(log_.c_str());
    }

    // Opens path, checks the frame, its title and the object in it, and closes it.
    void showsObject(const std::string& path, const std::string& title) {
        Viewer v(path);
        ASSERT_TRUE(v.started());
        HWND frame = v.frame(60000);
        ASSERT_NE(nullptr, frame) << "no frame window; messages: " << readFile(log_);
        EXPECT_EQ(title, windowText(frame));
        EXPECT_EQ(WS_OVERLAPPEDWINDOW, DWORD(GetWindowLongA(frame, GWL_STYLE)) & WS_OVERLAPPEDWINDOW);

        // The control fills the frame's client area.
        HWND control = GetWindow(frame, GW_CHILD);
        ASSERT_NE(nullptr, control);
        RECT fc, cc;
        GetClientRect(frame, &fc);
        GetWindowRect(control, &cc);
        EXPECT_EQ(fc.right, cc.right - cc.left);
        EXPECT_EQ(fc.bottom, cc.bottom - cc.top);
        EXPECT_GT(fc.right, 100);

        // The object appears once the control has drawn it.
        ObjectColours seen;
        const ULONGLONG end = GetTickCount64() + 30000;
        do {
            int w = 0, h = 0;
            seen = countObjectColours(clientPixels(frame, &w, &h));
            if (seen.green * 200 > seen.total && seen.blue * 200 > seen.total) break;
            Sleep(200);
        } while (GetTickCount64() < end);
        EXPECT_GT(seen.green * 200, seen.total) << "green pyramid pixels: " << seen.green << " of " << seen.total;
        EXPECT_GT(seen.blue * 200, seen.total) << "blue sphere pixels: " << seen.blue << " of " << seen.total;
        EXPECT_EQ("", readFile(log_)) << "no message to the user";

        // Closing the window ends the call, and with it rundll32.
        PostMessageA(frame, WM_CLOSE, 0, 0);
        EXPECT_EQ(0u, v.exitWithin(20000));
    }

    static constexpr char kOptionsKey[] = "SOFTWARE\\Tarnwick\\Qiv Player";
    static bool registered_, written_, hadHardware_;
    static DWORD savedHardware_;
    static std::string dir_, pel_, kvo_, qiv_, log_;
};

bool StandAloneViewer::registered_ = false, StandAloneViewer::written_ = false, StandAloneViewer::hadHardware_ = false;
DWORD StandAloneViewer::savedHardware_ = 0;
std::string StandAloneViewer::dir_, StandAloneViewer::pel_, StandAloneViewer::kvo_, StandAloneViewer::qiv_,
    StandAloneViewer::log_;

TEST_F(StandAloneViewer, ShowsAPelFile) { showsObject(pel_, "sample object.pel - Qiv Player"); }

TEST_F(StandAloneViewer, ShowsAKvoFile) { showsObject(kvo_, "sample object.kvo - Qiv Player"); }

// A Qiv container (a green and a blue cube) through the same load as a download.
TEST_F(StandAloneViewer, ShowsAQivFile) { showsObject(qiv_, "sample object.qiv - Qiv Player"); }

TEST_F(StandAloneViewer, TitleNamesTheLongFormOfAShortPath) {
    char shortPath[MAX_PATH] = {};
    ASSERT_NE(0u, GetShortPathNameA(pel_.c_str(), shortPath, MAX_PATH));
    ASSERT_NE(pel_, std::string(shortPath)) << "the folder has a short name of its own";
    showsObject(shortPath, "sample object.pel - Qiv Player");
}

TEST_F(StandAloneViewer, MissingFileShowsTheMessageAndReturns) {
    const std::string missing = dir_ + "\\no such object.pel";
    Viewer v(missing);
    ASSERT_TRUE(v.started());
    EXPECT_EQ(0u, v.exitWithin(60000)) << "the call returns by itself, without a crash";
    const std::string log = readFile(log_);
    EXPECT_NE(std::string::npos, log.find("no such object.pel")) << log;
}

// F9 in the control switches its frame statistics on; they come to the frame's title behind
// the file's name, as the title callback that the frame registered with the control puts them.
TEST_F(StandAloneViewer, F9ShowsStatisticsInTheTitle) {
    Viewer v(pel_);
    ASSERT_TRUE(v.started());
    HWND frame = v.frame(60000);
    ASSERT_NE(nullptr, frame) << readFile(log_);
    HWND control = GetWindow(frame, GW_CHILD);
    ASSERT_NE(nullptr, control);
    PostMessageA(control, WM_KEYDOWN, VK_F9, 0);
    std::string title;
    const ULONGLONG end = GetTickCount64() + 20000;
    do {
        RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE);
        Sleep(200);
        title = windowText(frame);
    } while (title.find(" FPS]") == std::string::npos && GetTickCount64() < end);
    EXPECT_EQ(0u, title.find("sample object.pel - Qiv Player [")) << title;
    EXPECT_NE(std::string::npos, title.find(" Triangles, ")) << title;
    EXPECT_EQ(title.size() - 5, title.find(" FPS]")) << title;
    PostMessageA(frame, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, v.exitWithin(20000));
}

// Without a registered control the frame stays empty; closing it still ends the call.
TEST_F(StandAloneViewer, WithoutTheControlTheFrameStaysEmpty) {
    ASSERT_EQ(0u, runProcess("regsvr32.exe /s /u \"" + qivDllPath() + "\""));
    {
        Viewer v(pel_);
        ASSERT_TRUE(v.started());
        HWND frame = v.frame(60000, false);
        ASSERT_NE(nullptr, frame);
        EXPECT_EQ(STILL_ACTIVE, v.exitWithin(1500)) << "the empty frame stays";
        EXPECT_EQ(nullptr, GetWindow(frame, GW_CHILD));
        EXPECT_EQ("sample object.pel - Qiv Player", windowText(frame));
        PostMessageA(frame, WM_CLOSE, 0, 0);
        EXPECT_EQ(0u, v.exitWithin(20000));
    }
    EXPECT_EQ("", readFile(log_));
    registered_ = runProcess("regsvr32.exe /s \"" + qivDllPath() + "\"") == 0;
    EXPECT_TRUE(registered_);
}

}  // namespace

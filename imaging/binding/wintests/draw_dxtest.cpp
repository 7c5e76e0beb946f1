// Drawing through the libraries into windows: transitions, annotations (under Xvfb).
#include <gtest/gtest.h>

#include "../../core/tests/dibbuilder.h"
#include "annobinding_win.h"
#include "crdebinding_win.h"
#include "ispbinding_win.h"
#include "wintestfiles.h"

namespace {

using namespace imaging;

constexpr int kW = 160, kH = 120;

LRESULT CALLBACK testProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == kAnnoMsgClicked) {
        SetPropA(h, "clicked", reinterpret_cast<HANDLE>(w + 1));
        return 0;
    }
    return DefWindowProcA(h, m, w, l);
}

// One window for every test: Wine takes long to take a window off a screen without a
// window manager.
HWND testWindow() {
    static HWND w = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = testProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "QivImagingTest";
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        RegisterClassA(&wc);
        HWND h = CreateWindowExA(WS_EX_TOPMOST, "QivImagingTest", "", WS_POPUP | WS_VISIBLE, 0, 0, kW, kH, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
        UpdateWindow(h);
        return h;
    }();
    return w;
}

void pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

// A 24-bit DIB section and its bits.
struct Section {
    HBITMAP bitmap = nullptr;
    uint8_t* bits = nullptr;
    int w, h;
    Section(int width, int height) : w(width), h(height) {
        BITMAPINFO bi{};
        bi.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), width, -height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        void* p = nullptr;
        bitmap = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &p, nullptr, 0);
        bits = static_cast<uint8_t*>(p);
    }
    ~Section() { DeleteObject(bitmap); }
    size_t stride() const { return (size_t(w) * 3 + 3) / 4 * 4; }
    uint32_t at(int x, int y) const {
        const uint8_t* p = bits + size_t(y) * stride() + size_t(3 * x);
        return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    }
    void fill(uint8_t v) { std::memset(bits, v, stride() * size_t(h)); }
};

// The window's pixels now.
void readWindow(HWND w, Section& into) {
    HDC dc = GetDC(w);
    HDC mem = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(mem, into.bitmap);
    BitBlt(mem, 0, 0, into.w, into.h, dc, 0, 0, SRCCOPY);
    GdiFlush();
    SelectObject(mem, old);
    DeleteDC(mem);
    ReleaseDC(w, dc);
}

TEST(Transitions, EachEffectEndsWithTheWholeNewPicture) {
    HWND w = testWindow();
    ASSERT_NE(nullptr, w);
    pump();
    Section source(kW, kH);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            uint8_t* p = source.bits + size_t(y) * source.stride() + size_t(3 * x);
            p[0] = uint8_t(x * 3);
            p[1] = uint8_t(y * 2);
            p[2] = uint8_t((x ^ y) & 0xF0);
        }
    const TransitionKind kinds[] = {TransitionKind::Horizontal, TransitionKind::Vertical, TransitionKind::Diagonals,
                                    TransitionKind::DiagonalSquares, TransitionKind::Rectangles};
    for (TransitionKind kind : kinds) {
        SCOPED_TRACE(int(kind));
        HDC dc = GetDC(w);
        RECT all{0, 0, kW, kH};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        EXPECT_TRUE(DllTransition(kind, dc, source.bitmap, 4, 1));
        ReleaseDC(w, dc);
        EXPECT_EQ("Transition Image ", StatusText());
        Section got(kW, kH);
        readWindow(w, got);
        int differing = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) differing += got.at(x, y) != source.at(x, y);
        EXPECT_EQ(0, differing) << "first pixel " << std::hex << got.at(0, 0) << " want " << source.at(0, 0);
    }
}

struct Owner {
    int done = 0, lastIndex = -1, before = 0, after = 0;
};

void WINAPI onDone(void* o, int index) {
    static_cast<Owner*>(o)->done++;
    static_cast<Owner*>(o)->lastIndex = index;
}
void WINAPI onBefore(void* o, HDC) { static_cast<Owner*>(o)->before++; }
void WINAPI onAfter(void* o, HDC) { static_cast<Owner*>(o)->after++; }

class Annotations : public ::testing::Test {
protected:
    imgtest::MessageCapture log;
    std::string dir = imgtest::tempDir("qivimaginganno");
    HWND window = testWindow();
    Owner owner;
    int control = 0;  // the control: its address keys the library's set
    HWND windows[2] = {};

    void SetUp() override {
        const std::string ini = dir + "\\il_anno.ini";
        WritePrivateProfileStringA("Annotation", "Colour", "0 0 255", ini.c_str());
        CrdeAnnoCallbacks cb{};
        cb.done = onDone;
        cb.before = onBefore;
        cb.after = onAfter;
        ASSERT_EQ(1, AnnoInit(&control, window, &owner, ini, cb, windows));
        ASSERT_NE(nullptr, windows[0]);
        ASSERT_NE(nullptr, windows[1]);
    }
    void TearDown() override {
        EXPECT_EQ(1, AnnoDestroy(&control));
        RemovePropA(window, "clicked");
        EXPECT_TRUE(log.messages.empty());
    }
    // The annotations drawn 1:1 (or zoomed) onto a white picture.
    void drawOn(Section& s, int zoom = 1) {
        s.fill(255);
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, s.bitmap);
        EXPECT_EQ(1, AnnoDrawX(&control, dc, 0, 0, 100 * zoom, 100 * zoom, 100, 100, 0, 0));
        GdiFlush();
        SelectObject(dc, old);
        DeleteDC(dc);
    }
    void drag(int x0, int y0, int x1, int y1) {
        AnnoMouseMon(&control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x0, y0));
        AnnoMouseMon(&control, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM((x0 + x1) / 2, (y0 + y1) / 2));
        AnnoMouseMon(&control, WM_LBUTTONUP, 0, MAKELPARAM(x1, y1));
    }
};

constexpr uint32_t kBlue = 0x0000FF, kWhite = 0xFFFFFF;

TEST_F(Annotations, DrawnSavedClearedAndLoaded) {
    Section s(200, 200);
    drawOn(s);  // the mapping the mouse goes through
    ASSERT_EQ(1, AnnoMenuMsg(&control, kAnnoCmdRect));
    drag(10, 10, 60, 50);
    EXPECT_EQ(1, owner.done);
    EXPECT_EQ(0, owner.lastIndex);
    drawOn(s);
    EXPECT_EQ(kBlue, s.at(10, 30));  // the left edge, in the settings' colour
    EXPECT_EQ(kWhite, s.at(35, 30));
    EXPECT_GT(owner.before, 0);
    EXPECT_EQ(owner.before, owner.after);
    // Zoomed twice: the edge moves with it.
    drawOn(s, 2);
    EXPECT_EQ(kBlue, s.at(20, 60));
    EXPECT_EQ(kWhite, s.at(10, 30));

    const std::string file = dir + "\\picture.ant";
    ASSERT_EQ(1, AnnoSave(&control, 0, file));
    const std::vector<uint8_t> bytes = imgtest::readFile(file);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_EQ("QivAnnotations 1\npage 0\nrect colour=0,0,255 width=2 points=10,10;60,50\nend\n", text);

    ASSERT_EQ(1, AnnoClear(&control));
    drawOn(s);
    EXPECT_EQ(kWhite, s.at(10, 30));
    ASSERT_EQ(1, AnnoLoad(&control, 0, file));
    drawOn(s);
    EXPECT_EQ(kBlue, s.at(10, 30));
    // A page the file does not have loads empty; a damaged file is refused.
    ASSERT_EQ(1, AnnoLoad(&control, 3, file));
    ASSERT_TRUE(imgtest::writeFile(dir + "\\bad.ant", {'x', 'y'}));
    EXPECT_EQ(-16, AnnoLoad(&control, 0, dir + "\\bad.ant"));
    EXPECT_EQ(-16, AnnoSave(&control, 0, dir + "\\bad.ant"));  // and not replaced
    EXPECT_EQ(2u, imgtest::readFile(dir + "\\bad.ant").size());
}

TEST_F(Annotations, SavingOnePageKeepsTheOthers) {
    Section s(100, 100);
    drawOn(s);
    AnnoMenuMsg(&control, kAnnoCmdLine);
    drag(5, 5, 50, 5);
    const std::string file = dir + "\\pages.ant";
    ASSERT_EQ(1, AnnoSave(&control, 0, file));
    // Page 2 drawn and saved: page 0 stays in the file.
    s.fill(255);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, s.bitmap);
    AnnoDrawX(&control, dc, 0, 0, 100, 100, 100, 100, 2, 0);
    SelectObject(dc, old);
    DeleteDC(dc);
    AnnoMenuMsg(&control, kAnnoCmdEllipse);
    drag(20, 20, 80, 80);
    ASSERT_EQ(1, AnnoSave(&control, 2, file));
    const std::vector<uint8_t> bytes = imgtest::readFile(file);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(std::string::npos, text.find("page 0\nline")) << text;
    EXPECT_NE(std::string::npos, text.find("page 2\nellipse")) << text;
}

TEST_F(Annotations, ClicksSelectAndKeysDelete) {
    Section s(100, 100);
    drawOn(s);
    AnnoMenuMsg(&control, kAnnoCmdRect);
    drag(10, 10, 60, 50);
    AnnoMenuMsg(&control, kAnnoCmdSelect);
    AnnoMouseMon(&control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 30));
    pump();
    EXPECT_EQ(reinterpret_cast<HANDLE>(1), GetPropA(window, "clicked"));  // annotation 0
    PostMessageA(windows[0], kAnnoMsgSelect, 0, 0);
    PostMessageA(windows[0], kAnnoMsgKey, VK_DELETE, 0);
    pump();
    drawOn(s);
    EXPECT_EQ(kWhite, s.at(10, 30));
}

TEST_F(Annotations, DrawnOnTheControlsWindowAndRubberBandEnds) {
    AnnoMenuMsg(&control, kAnnoCmdRect);
    Section s(100, 100);
    drawOn(s);
    AnnoMouseMon(&control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    AnnoMouseMon(&control, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(70, 70));
    // The rectangle being drawn shows on the window.
    pump();
    ASSERT_EQ(1, AnnoDraw(&control, 0, 0, 100, 100, 100, 100, 0, 0));
    Section got(kW, kH);
    readWindow(window, got);
    EXPECT_EQ(kBlue, got.at(10, 40));
    // Ended: the release makes nothing.
    ASSERT_EQ(1, AnnoRubberBandOff(&control));
    AnnoMouseMon(&control, WM_LBUTTONUP, 0, MAKELPARAM(70, 70));
    EXPECT_EQ(0, owner.done);
    drawOn(s);
    EXPECT_EQ(kWhite, s.at(10, 40));
}

}  // namespace

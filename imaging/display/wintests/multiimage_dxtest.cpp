// The image display control on a form under a display: pictures of every format loaded
// through the imaging libraries and read back from the window, zoom, scroll bars,
// panning and the rubber band driven by mouse messages, transitions, tiles, stretching,
// the clipboard and the error event.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>

#include "../../binding/wintests/wintestfiles.h"
#include "../../core/tests/dibbuilder.h"
#include "crdebinding_win.h"
#include "errorinvalid.h"
#include "forms/application.h"
#include "forms/form.h"
#include "multiimage_win.h"

namespace {

using namespace imaging;

constexpr int kW = 200, kH = 150;

void pump() { forms::Application::Instance().ProcessMessages(); }

// What the screen shows of a window's client area, 0xRRGGBB, top row first.
std::vector<uint32_t> clientPixels(HWND w) {
    RECT rc{};
    GetClientRect(w, &rc);
    POINT origin{0, 0};
    ClientToScreen(w, &origin);
    std::vector<uint32_t> px(size_t(rc.right) * size_t(rc.bottom));
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), rc.right, -rc.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, dib);
    BitBlt(mem, 0, 0, rc.right, rc.bottom, screen, origin.x, origin.y, SRCCOPY);
    GdiFlush();
    const uint32_t* p = static_cast<const uint32_t*>(bits);
    for (size_t i = 0; i < px.size(); ++i) px[i] = p[i] & 0xFFFFFF;
    SelectObject(mem, old);
    DeleteObject(dib);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return px;
}

// 0xRRGGBB of a colour.
uint32_t rgbOf(forms::TColor c) {
    const COLORREF r = forms::ColorToRGB(c);
    return uint32_t(GetRValue(r)) << 16 | uint32_t(GetGValue(r)) << 8 | GetBValue(r);
}

int channelDistance(uint32_t a, uint32_t b) {
    int d = 0;
    for (int s = 0; s < 24; s += 8) d = std::max(d, std::abs(int(a >> s & 255) - int(b >> s & 255)));
    return d;
}

// A smooth picture that JPEG keeps, 0xRRGGBB at (x, y).
uint32_t smooth(int x, int y) { return uint32_t(x * 2 % 256) << 16 | uint32_t(y * 3 % 256) << 8 | uint32_t((x + y) % 256); }

img::Dib smoothDib(int w, int h) {
    dibb::Pic p;
    p.width = w, p.height = h, p.bits = 24;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) p.px.push_back(smooth(x, y));
    return dibb::toDib(p);
}

void add16(std::vector<uint8_t>& b, uint32_t v) { b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8)); }
void add32(std::vector<uint8_t>& b, uint32_t v) { add16(b, v & 0xFFFF), add16(b, v >> 16); }

// A placeable metafile, 1 x 0.5 inch, filled with `colour` by GDI's own metafile writer.
std::vector<uint8_t> redMetafile(COLORREF colour) {
    HDC mf = CreateMetaFileA(nullptr);
    SetMapMode(mf, MM_ANISOTROPIC);
    SetWindowOrgEx(mf, 0, 0, nullptr);
    SetWindowExtEx(mf, 1440, 720, nullptr);
    HBRUSH brush = CreateSolidBrush(colour);
    SelectObject(mf, brush);
    SelectObject(mf, GetStockObject(NULL_PEN));
    Rectangle(mf, 0, 0, 1441, 721);
    HMETAFILE h = CloseMetaFile(mf);
    DeleteObject(brush);
    std::vector<uint8_t> body(GetMetaFileBitsEx(h, 0, nullptr));
    GetMetaFileBitsEx(h, UINT(body.size()), body.data());
    DeleteMetaFile(h);
    std::vector<uint8_t> f;
    add32(f, 0x9AC6CDD7);
    add16(f, 0), add16(f, 0), add16(f, 0), add16(f, 1440), add16(f, 720), add16(f, 1440), add32(f, 0);
    uint16_t sum = 0;
    for (size_t i = 0; i < 20; i += 2) sum ^= uint16_t(f[i] | f[i + 1] << 8);
    add16(f, sum);
    f.insert(f.end(), body.begin(), body.end());
    return f;
}

// An icon file of one 32 x 32 image of 32 bits, all `rgb` and opaque.
std::vector<uint8_t> greenIcon(uint32_t rgb) {
    std::vector<uint8_t> f;
    add16(f, 0), add16(f, 1), add16(f, 1);
    const uint32_t imageSize = 40 + 32 * 32 * 4 + 32 * 4;
    f.push_back(32), f.push_back(32), f.push_back(0), f.push_back(0);
    add16(f, 1), add16(f, 32), add32(f, imageSize), add32(f, 22);
    add32(f, 40), add32(f, 32), add32(f, 64), add16(f, 1), add16(f, 32);
    for (int i = 0; i < 6; ++i) add32(f, 0);
    for (int i = 0; i < 32 * 32; ++i) add32(f, 0xFF000000u | rgb);
    for (int i = 0; i < 32; ++i) add32(f, 0);  // the mask: every pixel shows
    return f;
}

class MultiImage : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        forms::Application::Instance().Initialize();
        forms::SetMessageLog([](const std::string&, const std::string&, UINT) { return IDOK; });
    }
    void SetUp() override {
        form = std::make_unique<forms::Form>(nullptr);
        form->SetBorderStyle(forms::BorderStyle::None);
        form->SetBounds(0, 0, kW + 40, kH + 40);
        image = new TPMultiImage(form.get());
        image->SetName("MultiImage");
        image->SetBounds(0, 0, kW, kH);
        image->SetParent(form.get());
        image->OnIlibError = [this](forms::Component*, int16_t code, const std::string& text) {
            errors.push_back(std::to_string(code) + " " + text);
        };
        form->Show();
        SetWindowPos(form->Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        pump();
    }
    void TearDown() override {
        EXPECT_TRUE(log.messages.empty()) << log.messages.front();
        form.reset();
    }
    std::string path(const std::string& name) const { return dir + "\\" + name; }
    // The picture written as a file through the library's writer of its extension.
    std::string write(const std::string& name, const img::Dib& d) {
        const std::string f = path(name);
        HGLOBAL h = imgtest::handleOf(d);
        const std::string ext = UpperExtension(name);
        bool ok = false;
        if (ext == ".BMP") ok = DllWriteBmp(f, 0, h, nullptr, nullptr);
        else if (ext == ".PNG") ok = DllWritePng(f, 0, false, h, nullptr, nullptr);
        else if (ext == ".GIF") ok = DllWriteGif(f, 0, h, nullptr, nullptr);
        else if (ext == ".PCX") ok = DllWritePcx(f, 0, h, nullptr, nullptr);
        else if (ext == ".TGA") ok = DllWriteTga(f, 0, h, nullptr, nullptr);
        else if (ext == ".TIF" || ext == ".TIFF") ok = DllWriteTiff(f, 1, 0, false, h, nullptr, nullptr);
        else if (ext == ".JPG" || ext == ".JPEG") ok = DllWriteJpg(f, 95, 0, 24, h, nullptr, nullptr);
        FreeDibHandle(h);
        EXPECT_TRUE(ok) << "writing " << name;
        return f;
    }
    // Shows what the window shows now.
    std::vector<uint32_t> shown() {
        image->Invalidate();
        UpdateWindow(image->Handle());
        pump();
        return clientPixels(image->Handle());
    }
    uint32_t at(const std::vector<uint32_t>& px, int x, int y) const { return px[size_t(y) * kW + size_t(x)]; }
    void mouse(UINT msg, int x, int y, WPARAM keys = 0) {
        SendMessageA(image->Handle(), msg, keys, MAKELPARAM(x, y));
    }

    imgtest::MessageCapture log;
    std::string dir = imgtest::tempDir("qivmultiimage");
    std::unique_ptr<forms::Form> form;
    TPMultiImage* image = nullptr;
    std::vector<std::string> errors;
};

TEST_F(MultiImage, LoadsEachFormatAndPaintsItsPixels) {
    const img::Dib wide = smoothDib(90, 70);
    const dibb::Pic few = dibb::randomPic(90, 70, 8, 7);
    const img::Dib indexed = dibb::toDib(few);
    struct Case {
        const char* name;
        const img::Dib* pic;
        const char* type;
        int tolerance;
    };
    const Case cases[] = {
        {"a.bmp", &wide, "BMP", 0},     {"b.png", &wide, "PNG", 0},       {"c.gif", &indexed, "GIF", 0},
        {"d.pcx", &wide, "PCX", 0},     {"e.tga", &wide, "TGA", 0},       {"f.tiff", &wide, "TIF", 0},
        {"g.tif", &indexed, "TIF", 0},  {"h.jpg", &wide, "JPEG", 24},     {"i.JpEg", &wide, "JPEG", 24},
    };
    for (const Case& c : cases) {
        const std::string file = write(c.name, *c.pic);
        image->SetImageName(file);
        EXPECT_TRUE(errors.empty()) << c.name << ": " << (errors.empty() ? "" : errors.front());
        EXPECT_EQ(c.type, image->Info().type) << c.name;
        ASSERT_EQ(90, image->Picture().Width()) << c.name;
        ASSERT_EQ(70, image->Picture().Height()) << c.name;
        EXPECT_FALSE(image->ScrollbarsShown()) << c.name;
        const auto px = shown();
        int worst = 0, wx = 0, wy = 0;
        for (int y = 0; y < 70; ++y)
            for (int x = 0; x < 90; ++x) {
                const int d = channelDistance(dibb::rgbAt(*c.pic, x, y), at(px, x, y));
                if (d > worst) worst = d, wx = x, wy = y;
            }
        EXPECT_LE(worst, c.tolerance) << c.name << " at " << wx << "," << wy;
        EXPECT_EQ(rgbOf(forms::clBtnFace), at(px, 150, 100))
            << c.name << ": the area beside the picture takes the control's colour";
    }
}

TEST_F(MultiImage, BrokenAndMissingFiles) {
    std::vector<uint8_t> junk(200, 0x5A);
    junk[0] = 'B', junk[1] = 'M';
    ASSERT_TRUE(imgtest::writeFile(path("broken.bmp"), junk));
    image->SetImageName(write("ok.bmp", smoothDib(20, 20)));
    ASSERT_FALSE(image->Picture().Empty());
    image->SetImageName(path("broken.bmp"));
    ASSERT_EQ(1u, errors.size()) << "one error event for a broken file";
    EXPECT_NE(std::string::npos, errors[0].find(' ')) << errors[0];
    EXPECT_TRUE(image->Picture().Empty()) << "a broken file leaves no picture";
    ASSERT_TRUE(imgtest::writeFile(path("short.png"), {1, 2, 3}));
    image->SetImageName(path("short.png"));
    EXPECT_EQ(2u, errors.size()) << "a file too short to read is an error too";

    errors.clear();
    image->SetImageName(write("ok.bmp", smoothDib(20, 20)));
    image->SetImageName(path("missing.bmp"));
    EXPECT_TRUE(errors.empty()) << "a missing file clears the picture silently";
    EXPECT_TRUE(image->Picture().Empty());

    image->OnIlibError = nullptr;
    EXPECT_THROW(image->SetImageName(path("broken.bmp")), ErrorInvalid) << "without a handler the error is raised";
}

TEST_F(MultiImage, ZoomScrollAndRatio) {
    const img::Dib big = smoothDib(400, 300);
    image->SetImageName(write("big.bmp", big));
    ASSERT_TRUE(image->ScrollbarsShown()) << "a picture larger than the control shows the bars";
    EXPECT_TRUE(image->HorzBar()->Visible());
    EXPECT_EQ(400 - kW + 12, image->HorzBar()->Max());
    EXPECT_EQ(300 - kH + 12, image->VertBar()->Max());
    auto px = shown();
    EXPECT_EQ(smooth(5, 5), at(px, 5, 5));

    image->HorzBar()->SetPosition(50);
    image->VertBar()->SetPosition(30);
    EXPECT_EQ((Point{50, 30}), image->Origin());
    px = shown();
    EXPECT_EQ(smooth(55, 35), at(px, 5, 5)) << "the bars scroll the picture";

    image->SetOrigin({0, 0});
    image->SetZoom(2.0);
    px = shown();
    EXPECT_EQ(smooth(10, 10), at(px, 21, 21)) << "at zoom 2 each picture pixel covers two";

    image->SetZoom(1.0);
    image->SetOrigin({60, 40});
    image->SetStretchRatio(true);
    EXPECT_DOUBLE_EQ(0.5, image->Zoom()) << "the ratio fit: min(200/400, 150/300)";
    EXPECT_FALSE(image->ScrollbarsShown());
    px = shown();
    EXPECT_LE(channelDistance(smooth(100, 100), at(px, 50, 50)), 12) << "the whole picture at half size";
    image->SetStretchRatio(false);
    EXPECT_DOUBLE_EQ(1.0, image->Zoom()) << "switching the fit off restores zoom and origin";
    EXPECT_EQ((Point{60, 40}), image->Origin());

    // A picture exactly the control's size shows no bars.
    image->SetImageName(write("exact.bmp", smoothDib(kW, kH)));
    EXPECT_FALSE(image->ScrollbarsShown());
    // An empty picture fits without changing the zoom.
    image->SetZoom(1.5);
    image->ClearPicture();
    image->SetStretchRatio(true);
    EXPECT_DOUBLE_EQ(1.5, image->Zoom());
}

TEST_F(MultiImage, PansWithTheMouseWithinThePicture) {
    image->SetImageName(write("big.bmp", smoothDib(400, 300)));
    mouse(WM_LBUTTONDOWN, 100, 80, MK_LBUTTON);
    mouse(WM_MOUSEMOVE, 60, 50, MK_LBUTTON);
    EXPECT_EQ((Point{40, 30}), image->Origin()) << "the picture follows the hand";
    EXPECT_EQ(40, image->HorzBar()->Position());
    mouse(WM_MOUSEMOVE, -1000, -1000, MK_LBUTTON);
    const Point edge = image->Origin();
    EXPECT_EQ(400 - (kW - 12), edge.x) << "panning stops at the picture's right edge";
    EXPECT_EQ(300 - (kH - 12), edge.y);
    mouse(WM_MOUSEMOVE, 1000, 1000, MK_LBUTTON);
    EXPECT_EQ((Point{0, 0}), image->Origin()) << "and at its left and top edges";
    mouse(WM_LBUTTONUP, 1000, 1000);
    mouse(WM_MOUSEMOVE, 0, 0);
    EXPECT_EQ((Point{0, 0}), image->Origin()) << "no panning after the release";

    // A picture narrower than the control does not pan.
    image->SetImageName(write("small.bmp", smoothDib(50, 40)));
    mouse(WM_LBUTTONDOWN, 30, 30, MK_LBUTTON);
    mouse(WM_MOUSEMOVE, 10, 10, MK_LBUTTON);
    mouse(WM_LBUTTONUP, 10, 10);
    EXPECT_EQ((Point{0, 0}), image->Origin());
}

TEST_F(MultiImage, RubberBandKeepsTheControlsAspect) {
    image->SetImageName(write("big.bmp", smoothDib(400, 300)));
    image->AllowRubberBand = true;
    struct Band {
        forms::MouseButton button;
        int l, t, r, b;
    };
    std::vector<Band> bands;
    image->OnRubberband = [&](forms::Component*, forms::MouseButton button, forms::ShiftState, int l, int t, int r,
                              int b) { bands.push_back({button, l, t, r, b}); };
    mouse(WM_LBUTTONDOWN, 20, 20, MK_LBUTTON);
    mouse(WM_MOUSEMOVE, 100, 130, MK_LBUTTON);
    mouse(WM_LBUTTONUP, 100, 130);
    ASSERT_EQ(1u, bands.size());
    EXPECT_EQ(forms::MouseButton::Left, bands[0].button);
    EXPECT_EQ(20, bands[0].l);
    EXPECT_EQ(20, bands[0].t);
    EXPECT_EQ(100, bands[0].r);
    EXPECT_EQ(20 + 80 * kH / kW, bands[0].b) << "height follows the control's aspect ratio";
    EXPECT_EQ((Point{0, 0}), image->Origin()) << "the band does not pan";
    // Up and to the left: the band lies in the mouse's quadrant; the right button is not
    // the band's.
    mouse(WM_RBUTTONDOWN, 100, 100, MK_RBUTTON);
    mouse(WM_RBUTTONUP, 100, 100);
    EXPECT_EQ(1u, bands.size());
    mouse(WM_LBUTTONDOWN, 100, 100, MK_LBUTTON);
    mouse(WM_MOUSEMOVE, 60, 90, MK_LBUTTON);
    mouse(WM_LBUTTONUP, 60, 90);
    ASSERT_EQ(2u, bands.size());
    EXPECT_EQ(60, bands[1].l);
    EXPECT_EQ(70, bands[1].t);
    EXPECT_EQ(100, bands[1].r);
    EXPECT_EQ(100, bands[1].b);
    const auto px = shown();
    EXPECT_EQ(smooth(60, 70), at(px, 60, 70)) << "the band is erased after the release";
}

TEST_F(MultiImage, TilesStretchesAndCentres) {
    const img::Dib small = smoothDib(30, 20);
    image->SetImageName(write("tile.bmp", small));
    image->SetTileWindow(true);
    auto px = shown();
    EXPECT_EQ(smooth(5, 5), at(px, 35, 25)) << "tiles repeat from the top-left";
    EXPECT_EQ(smooth(29, 19), at(px, 179, 139));
    image->SetTileWindow(false);

    image->SetStretch(true);
    px = shown();
    EXPECT_LE(channelDistance(smooth(15, 10), at(px, 101, 76)), 6) << "stretched over the whole control";
    image->SetStretch(false);

    image->SetScrolling(false);
    image->SetCenter(true);
    px = shown();
    EXPECT_EQ(smooth(0, 0), at(px, (kW - 30) / 2, (kH - 20) / 2)) << "centred";
}

TEST_F(MultiImage, TransitionBringsTheNewPicture) {
    image->SetImageName(write("first.bmp", smoothDib(kW, kH)));
    EXPECT_EQ(smooth(5, 5), at(shown(), 5, 5));
    image->FXMethod = FXVertical;
    image->FXDelay = 0;
    img::Dib second = smoothDib(kW, kH);
    for (int y = 0; y < kH; ++y) std::fill(second.row(y), second.row(y) + 3 * kW, uint8_t(40));
    image->SetImageName(write("second.bmp", second));
    EXPECT_EQ("Transition Image ", StatusText()) << "the effect ran";
    pump();  // no paint follows: what shows is what the effect drew
    const auto px = clientPixels(image->Handle());
    EXPECT_EQ(0x282828u, at(px, 5, 5)) << "the effect drew the new picture onto the window";
    EXPECT_EQ(0x282828u, at(px, kW - 5, kH - 5));
    EXPECT_EQ(0x282828u, image->Picture().Bits()[0]) << "and it became the picture";
}

TEST_F(MultiImage, ClipboardCopyCutAndPaste) {
    image->SetImageName(write("clip.bmp", smoothDib(40, 30)));
    SendMessageA(image->Handle(), WM_CUT, 0, 0);
    EXPECT_TRUE(image->Picture().Empty()) << "cut clears the picture";
    EXPECT_EQ(1, image->UndoCount()) << "and keeps it in the undo chain";
    SendMessageA(image->Handle(), WM_PASTE, 0, 0);
    ASSERT_EQ(40, image->Picture().Width());
    EXPECT_EQ(smooth(7, 9), image->Picture().Bits()[9 * 40 + 7] & 0xFFFFFF) << "paste brings it back";
    for (int i = 0; i < 6; ++i) SendMessageA(image->Handle(), WM_PASTE, 0, 0);
    EXPECT_EQ(TPMultiImage::kUndoDepth, image->UndoCount()) << "the chain keeps four pictures";
}

TEST_F(MultiImage, AnnotationFilesBesideThePicture) {
    image->SetImageName("C:\\My.Pics\\a.bmp");
    EXPECT_EQ("C:\\My.Pics\\a.ant", image->AnnotationFile());
    const std::string settings = TPMultiImage::AnnotationSettingsFile();
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    EXPECT_EQ(0u, settings.find(windows) == 0 ? 1u : 0u) << settings << " lies outside the Windows folder";
    EXPECT_EQ("\\il_anno.ini", settings.substr(settings.size() - 12));
    EXPECT_NE(nullptr, image->AnnoEditWindow()) << "annotations set up with the window";
}

TEST_F(MultiImage, MetafilesAndIconsThroughThePlatform) {
    ASSERT_TRUE(imgtest::writeFile(path("red.wmf"), redMetafile(RGB(255, 0, 0))));
    image->SetImageName(path("red.wmf"));
    ASSERT_TRUE(errors.empty()) << errors.front();
    ASSERT_NE(nullptr, image->Metafile());
    EXPECT_EQ("WMF", image->Info().type);
    EXPECT_EQ(96, image->Info().width) << "one inch at 96 dots per inch";
    EXPECT_EQ(48, image->Info().height);
    auto px = shown();
    EXPECT_EQ(0xFF0000u, at(px, 48, 24)) << "the metafile is played at its size";
    EXPECT_EQ(rgbOf(forms::clBtnFace), at(px, 150, 100));
    image->SetStretch(true);
    px = shown();
    EXPECT_EQ(0xFF0000u, at(px, 190, 140)) << "stretched over the client";
    image->SetStretch(false);
    mouse(WM_LBUTTONDOWN, 10, 10, MK_LBUTTON);
    mouse(WM_MOUSEMOVE, 0, 0, MK_LBUTTON);
    mouse(WM_LBUTTONUP, 0, 0);
    EXPECT_EQ((Point{0, 0}), image->Origin()) << "metafiles ignore the mouse";

    ASSERT_TRUE(imgtest::writeFile(path("green.ico"), greenIcon(0x00FF00)));
    image->SetCenter(true);
    image->SetImageName(path("green.ico"));
    ASSERT_TRUE(errors.empty()) << errors.front();
    EXPECT_EQ(nullptr, image->Metafile());
    ASSERT_NE(nullptr, image->Icon());
    EXPECT_EQ("ICO", image->Info().type);
    EXPECT_EQ(32, image->Info().width);
    px = shown();
    EXPECT_EQ(0x00FF00u, at(px, kW / 2, kH / 2)) << "the icon is centred";
    EXPECT_EQ(rgbOf(forms::clBtnFace), at(px, 5, 5));

    // Broken headers are read errors; a bitmap afterwards replaces the platform picture.
    std::vector<uint8_t> broken = redMetafile(RGB(255, 0, 0));
    broken[20] ^= 1;
    ASSERT_TRUE(imgtest::writeFile(path("broken.wmf"), broken));
    image->SetImageName(path("broken.wmf"));
    EXPECT_EQ(1u, errors.size()) << "a broken metafile raises the error event";
    std::vector<uint8_t> badIcon = greenIcon(0);
    badIcon[18] = 0xFF;  // the image's offset far beyond the file
    ASSERT_TRUE(imgtest::writeFile(path("broken.ico"), badIcon));
    image->SetImageName(path("broken.ico"));
    EXPECT_EQ(2u, errors.size()) << "an icon whose image lies outside the file too";
    EXPECT_EQ(nullptr, image->Icon());
    image->SetImageName(path("green.ico"));
    image->SetImageName(write("after.bmp", smoothDib(20, 20)));
    EXPECT_EQ(nullptr, image->Icon());
    EXPECT_EQ(smooth(3, 3), at(shown(), (kW - 20) / 2 + 3, (kH - 20) / 2 + 3));
}

// How many pixels differ between two captures.
int changed(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    int n = 0;
    for (size_t i = 0; i < a.size(); ++i) n += a[i] != b[i];
    return n;
}

TEST_F(MultiImage, ScrollingMessageMovesAndStops) {
    const std::string scm = "/fc|16777215/fh|-24/fn|Arial/ft|1000/bc|128/sp|1/sm|MOVING TEXT/eo|";
    ASSERT_TRUE(imgtest::writeFile(path("msg.scm"), std::vector<uint8_t>(scm.begin(), scm.end())));
    const forms::TColor before = image->Color();
    image->SetImageName(write("first.bmp", smoothDib(40, 30)));
    image->SetImageName(path("msg.scm"));
    EXPECT_TRUE(errors.empty());
    ASSERT_TRUE(image->TickerRunning());
    EXPECT_TRUE(image->Picture().Empty());
    EXPECT_EQ(1, image->UndoCount()) << "the picture before the message is kept";
    EXPECT_EQ(forms::TColor(128), image->Color()) << "the control takes the message's background";
    // The control's own timer brings the text in from the right edge.
    const auto still = shown();
    const DWORD until = GetTickCount() + 1200;
    while (GetTickCount() < until) {
        pump();
        Sleep(10);
    }
    EXPECT_GT(changed(still, shown()), 0) << "the timer ticks";
    KillTimer(image->Handle(), 1);  // from here on ticks by hand only
    // The text comes in from the right edge, one pixel every second tick.
    for (int i = 0; i < 2 * 60; ++i) SendMessageA(image->Handle(), kMsgScrollTick, 0, 0);
    const auto first = shown();
    EXPECT_EQ(0x800000u, at(first, 5, 5)) << "the background";
    int white = 0;
    for (uint32_t p : first) white += p == 0xFFFFFFu;
    EXPECT_GT(white, 0) << "the text shows";
    SendMessageA(image->Handle(), kMsgScrollTick, 0, 0);
    const auto second = shown();
    SendMessageA(image->Handle(), kMsgScrollTick, 0, 0);
    const auto third = shown();
    EXPECT_EQ(1, int(changed(first, second) > 0) + int(changed(second, third) > 0))
        << "speed 1: one step in every two ticks";

    // Another picture stops it and gives the colour back.
    image->SetImageName(write("next.bmp", smoothDib(40, 30)));
    EXPECT_FALSE(image->TickerRunning());
    EXPECT_EQ(before, image->Color());
    const auto px = shown();
    EXPECT_EQ(smooth(4, 4), at(px, 4, 4));
    EXPECT_EQ(rgbOf(before), at(px, 150, 100));
}

TEST_F(MultiImage, CreditMessageRollsUpLineByLine) {
    const std::string cms = "\n16777215\n-20\nArial\n0\n1000\n0\n0\nFIRST LINE\nSECOND LINE\n";
    ASSERT_TRUE(imgtest::writeFile(path("credits.cms"), std::vector<uint8_t>(cms.begin(), cms.end())));
    image->SetImageName(path("credits.cms"));
    ASSERT_TRUE(image->TickerRunning());
    KillTimer(image->Handle(), 1);  // ticks by hand only
    for (int i = 0; i < 60; ++i) SendMessageA(image->Handle(), kMsgCreditTick, 0, 0);
    const auto a = shown();
    int white = 0, lowest = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            if (at(a, x, y) == 0xFFFFFFu) ++white, lowest = y;
    EXPECT_GT(white, 0) << "the first line has come up from the bottom";
    EXPECT_LT(lowest, kH);
    for (int i = 0; i < 10; ++i) SendMessageA(image->Handle(), kMsgCreditTick, 0, 0);
    const auto b = shown();
    int lowestAfter = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            if (at(b, x, y) == 0xFFFFFFu) lowestAfter = y;
    EXPECT_EQ(lowest - 10, lowestAfter) << "ten pixels up after ten ticks at speed 0";
}

TEST_F(MultiImage, GrabHandFromTheProgramsCursor) {
    HCURSOR own = LoadCursorA(GetModuleHandleA(nullptr), "GRABHAND");
    ASSERT_NE(nullptr, own) << "the program carries the grab hand";
    EXPECT_EQ(own, image->GrabCursorHandle());
    image->SetImageName(write("big.bmp", smoothDib(400, 300)));
    mouse(WM_LBUTTONDOWN, 100, 80, MK_LBUTTON);
    EXPECT_EQ(own, image->Cursor()) << "panning shows the hand";
    mouse(WM_LBUTTONUP, 100, 80);
    EXPECT_NE(own, image->Cursor());
}

}  // namespace

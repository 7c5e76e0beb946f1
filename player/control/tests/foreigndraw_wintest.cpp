// The control drawn into device contexts that are not its window: an enhanced metafile
// through OleDraw (played back into a bitmap), a printer-like memory DC through
// IViewObject::Draw with a target device, the logo while nothing is shown, an object from
// the object cache before the window exists; the window's own frame and view stay as they
// were and nothing is left allocated.
#include <windows.h>
#include <ocidl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foreigndraw.h"
#include "pixeltest.h"
#include "render/sample.h"
#include "sitedcontrol.h"
#include "window_win.h"

void qivSetRasterCapsForTests(int caps);

namespace {

constexpr uint32_t kFill = 0xFF00FF;  // what the canvas holds where nothing is drawn

std::string writeSample(const char* leaf) {
    std::string object = qivtest::SitedControl::tempDir(leaf) + "\\sample.pel";
    EXPECT_TRUE(sampleWriteObjectFile(object.c_str(), false));
    return object;
}

// A printer's target device: a description with no names, enough to say "not the screen".
struct PrinterTarget {
    DVTARGETDEVICE td{};
    PrinterTarget() { td.tdSize = sizeof td; }
};

struct StretchRecord {
    int count = 0;
    LONG cxSrc = 0, cySrc = 0, cxDest = 0, cyDest = 0;
};

int CALLBACK findStretch(HDC, HANDLETABLE*, const ENHMETARECORD* rec, int, LPARAM data) {
    if (rec->iType == EMR_STRETCHDIBITS) {
        auto* out = reinterpret_cast<StretchRecord*>(data);
        const auto* s = reinterpret_cast<const EMRSTRETCHDIBITS*>(rec);
        ++out->count;
        out->cxSrc = s->cxSrc, out->cySrc = s->cySrc, out->cxDest = s->cxDest, out->cyDest = s->cyDest;
    }
    return 1;
}

// Committed private memory of the process, region by region.
uint64_t committedBytes() {
    uint64_t total = 0;
    MEMORY_BASIC_INFORMATION m{};
    for (const char* p = nullptr; VirtualQuery(p, &m, sizeof m) == sizeof m; p = static_cast<const char*>(m.BaseAddress) + m.RegionSize)
        if (m.State == MEM_COMMIT && m.Type == MEM_PRIVATE) total += m.RegionSize;
    return total;
}

class ForeignDraw : public qivtest::SitedControl {
protected:
    void SetUp() override {
        SitedControl::SetUp();
        ASSERT_EQ(S_OK, p2_->QueryInterface(IID_IViewObject, reinterpret_cast<void**>(&view_)));
    }
    void TearDown() override {
        if (view_) view_->Release();
        SitedControl::TearDown();
    }
    void embedAndLoad(const std::string& object) {
        embed();
        ASSERT_TRUE(loadObject(object));
        paint();
        ASSERT_TRUE(ctl_->state().frameValid);
    }
    // What the view looks like at w x h, as the foreign drawing should render it.
    std::vector<uint32_t> expectedPicture(int32_t w, int32_t h) {
        QivControlState& st = ctl_->state();
        CamRecord cam = st.camera;
        cam.pixX = 0, cam.pixY = 0, cam.pixW = w, cam.pixH = h, cam.rowsUp = 1;
        qivctl::foreignViewWindow(&cam.winXMin, &cam.winXMax, &cam.winYMin, &cam.winYMax, w, h);
        camUpdate(&cam);
        return qivtest::EnginePicture(&cam, &st.background, st.sceneRoots, st.displayMode, w, h);
    }
    HRESULT drawForPrinter(HDC dc, const RECTL& bounds) {
        PrinterTarget target;
        return view_->Draw(DVASPECT_CONTENT, -1, nullptr, &target.td, nullptr, dc, &bounds, nullptr, nullptr, 0);
    }
    IViewObject* view_ = nullptr;
};

// The canvas inside bounds, as a picture of its own.
std::vector<uint32_t> cut(const qivtest::DibCanvas& c, int x0, int y0, int w, int h) {
    std::vector<uint32_t> all = c.pixels(), out;
    for (int y = y0; y < y0 + h; ++y)
        out.insert(out.end(), all.begin() + size_t(y) * c.width() + x0, all.begin() + size_t(y) * c.width() + x0 + w);
    return out;
}

}  // namespace

TEST_F(ForeignDraw, EnhancedMetafileShowsTheObject) {
    embedAndLoad(writeSample("qivforeign emf"));
    HDC emf = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, emf);
    RECT r{0, 0, 400, 300};
    ASSERT_EQ(S_OK, OleDraw(p2_, DVASPECT_CONTENT, emf, &r));
    HENHMETAFILE h = CloseEnhMetaFile(emf);
    ASSERT_NE(nullptr, h);
    StretchRecord rec;
    EnumEnhMetaFile(nullptr, h, findStretch, &rec, nullptr);
    EXPECT_EQ(1, rec.count) << "one picture, no screen copies";
    EXPECT_EQ(400, rec.cxSrc);
    EXPECT_EQ(300, rec.cySrc);

    qivtest::DibCanvas canvas(400, 300, kFill);
    ASSERT_TRUE(PlayEnhMetaFile(canvas.dc(), h, &r));
    DeleteEnhMetaFile(h);
    std::vector<uint32_t> px = canvas.pixels(), ref = expectedPicture(400, 300);
    const int total = 400 * 300;
    EXPECT_LT(qivtest::Near(ref, qivtest::Rgb(ctl_->state().backColor), 8), total * 9 / 10);
    EXPECT_LE(qivtest::DifferingNearby(px, ref, 400, 300, 8), total / 200);
}

TEST_F(ForeignDraw, LargeTargetsRenderAtABoundedSize) {
    embedAndLoad(writeSample("qivforeign large"));
    HDC emf = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
    RECT r{0, 0, 3000, 1500};
    ASSERT_EQ(S_OK, OleDraw(p2_, DVASPECT_CONTENT, emf, &r));
    HENHMETAFILE h = CloseEnhMetaFile(emf);
    StretchRecord rec;
    EnumEnhMetaFile(nullptr, h, findStretch, &rec, nullptr);
    DeleteEnhMetaFile(h);
    EXPECT_EQ(1024, rec.cxSrc);
    EXPECT_EQ(512, rec.cySrc);
    EXPECT_EQ(3000, rec.cxDest);
    EXPECT_EQ(1500, rec.cyDest);
}

TEST_F(ForeignDraw, PrinterDcThroughViewObjectLeavesTheWindowAlone) {
    embedAndLoad(writeSample("qivforeign printer"));
    QivControlState& st = ctl_->state();
    PicRecord* frame = st.frame;
    const CamRecord camera = st.camera;
    const float phi = st.phi, psi = st.psi;
    const int32_t fw = st.frameWidth, fh = st.frameHeight;
    const UpdateRegion* region = ctl_->win().regions.current();

    qivtest::DibCanvas canvas(520, 270, kFill);
    ASSERT_EQ(S_OK, drawForPrinter(canvas.dc(), RECTL{10, 10, 510, 258}));
    EXPECT_EQ(kFill, canvas.at(5, 5)) << "nothing outside the bounds";
    EXPECT_EQ(kFill, canvas.at(515, 265));
    std::vector<uint32_t> px = cut(canvas, 10, 10, 500, 248), ref = expectedPicture(500, 248);
    EXPECT_LE(qivtest::Differing(px, ref, 8), 500 * 248 / 100);

    EXPECT_EQ(frame, st.frame);
    EXPECT_EQ(0, std::memcmp(&camera, &st.camera, sizeof camera));
    EXPECT_EQ(phi, st.phi);
    EXPECT_EQ(psi, st.psi);
    EXPECT_EQ(fw, st.frameWidth);
    EXPECT_EQ(fh, st.frameHeight);
    EXPECT_EQ(region, ctl_->win().regions.current());
    // The window still shows its own view.
    ctl_->Redraw(true);
    UpdateWindow(ctl_->hwnd());
    std::vector<uint32_t> win = qivtest::ReadWindow(ctl_->hwnd(), fw, fh);
    std::vector<uint32_t> own = qivtest::EnginePicture(&st.camera, &st.background, st.sceneRoots, st.displayMode, fw, fh);
    EXPECT_LE(qivtest::Differing(win, own, 8), fw * fh / 200);
}

// A device that cannot stretch bitmaps gets the bounds filled white and the line that the
// graphics cannot be printed there, in black.
TEST_F(ForeignDraw, DeviceWithoutStretchingGetsTheMessage) {
    embedAndLoad(writeSample("qivforeign nostretch"));
    qivtest::DibCanvas canvas(320, 120, kFill);
    qivSetRasterCapsForTests(RC_BITBLT | RC_BITMAP64);
    const HRESULT hr = drawForPrinter(canvas.dc(), RECTL{10, 10, 310, 110});
    qivSetRasterCapsForTests(-1);
    ASSERT_EQ(S_OK, hr);
    EXPECT_EQ(kFill, canvas.at(5, 5)) << "nothing outside the bounds";
    const std::vector<uint32_t> px = cut(canvas, 10, 10, 300, 100);
    int grey = 0;
    for (uint32_t p : px) grey += (p & 0xFF) == ((p >> 8) & 0xFF) && (p & 0xFF) == ((p >> 16) & 0xFF);
    EXPECT_EQ(int(px.size()), grey) << "white and the text only, no picture";
    EXPECT_GT(qivtest::Near(px, 0x000000, 96), 50) << "the text";
    EXPECT_EQ(0xFFFFFFu, canvas.at(305, 105));
}

TEST_F(ForeignDraw, RepeatedDrawingsKeepNothing) {
    embedAndLoad(writeSample("qivforeign leak"));
    qivtest::DibCanvas canvas(64, 64, kFill);
    const RECTL big{0, 0, 2000, 1000};  // a 1024 x 512 picture each time
    ASSERT_EQ(S_OK, drawForPrinter(canvas.dc(), big));
    const uint64_t before = committedBytes();
    for (int i = 0; i < 30; ++i) ASSERT_EQ(S_OK, drawForPrinter(canvas.dc(), big));
    const uint64_t after = committedBytes();
    EXPECT_LT(after, before + (16u << 20)) << "about 2 MB a drawing would be kept";
}

TEST_F(ForeignDraw, LogoWhileNothingIsShown) {
    embed();
    // An object still on its way: its address is set, nothing is shown yet.
    ctl_->state().objectURL = "http://127.0.0.1:9/pending.qiv";
    qivtest::DibCanvas canvas(300, 200, kFill);
    ASSERT_EQ(S_OK, drawForPrinter(canvas.dc(), RECTL{0, 0, 300, 200}));
    std::vector<uint32_t> logo = cut(canvas, (300 - 131) / 2, (200 - 72) / 2, 131, 72);
    EXPECT_LT(qivtest::Near(logo, kFill, 0), int(logo.size()) / 2) << "the logo in the middle";
    EXPECT_EQ(kFill, canvas.at(2, 2));
    EXPECT_EQ(kFill, canvas.at(297, 197));
}

TEST_F(ForeignDraw, BeforeTheWindowExists) {
    // A screen DC before the window exists: nothing is drawn, and no failure.
    qivtest::DibCanvas screen(100, 100, kFill);
    RECT r{0, 0, 100, 100};
    ASSERT_EQ(S_OK, OleDraw(p2_, DVASPECT_CONTENT, screen.dc(), &r));
    EXPECT_EQ(100 * 100, qivtest::Near(screen.pixels(), kFill, 0));

    // A printer: the object of ObjectURL from the object cache, where another control left it.
    std::string object = writeSample("qivforeign cached");
    qivtest::ControlRef other = qivtest::ControlRef::create();
    ASSERT_TRUE(other);
    IQivPlayer2* o2 = other.get();
    BSTR b = SysAllocString(std::wstring(object.begin(), object.end()).c_str());
    VARIANT_BOOL ok = VARIANT_FALSE;
    ASSERT_EQ(S_OK, o2->LoadObject(b, &ok));
    SysFreeString(b);
    ASSERT_EQ(VARIANT_TRUE, ok);
    ctl_->state().objectURL = "file://" + object;
    qivtest::DibCanvas printer(400, 300, kFill);
    ASSERT_EQ(S_OK, drawForPrinter(printer.dc(), RECTL{0, 0, 400, 300}));
    std::vector<uint32_t> px = printer.pixels();
    const uint32_t bg = qivtest::Rgb(ctl_->state().backColor);
    EXPECT_EQ(1, qivtest::Near({px[0]}, bg, 8)) << "the background in the corner";
    const int background = qivtest::Near(px, bg, 8);
    EXPECT_LT(background, 400 * 300 * 95 / 100) << "the object";
    EXPECT_GT(background, 400 * 300 / 5);
    EXPECT_EQ(nullptr, ctl_->state().sceneRoots) << "the temporary node is gone with the drawing";
}

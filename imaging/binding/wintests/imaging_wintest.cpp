// The binding through the project's CRDE2001.DLL and ISP2000.DLL beside the program.
#include <gtest/gtest.h>

#include <functional>

#include "../../core/tests/dibbuilder.h"
#include "convert.h"
#include "crdebinding_win.h"
#include "dibhandle_win.h"
#include "iltdib_win.h"
#include "ispbinding_win.h"
#include "wintestfiles.h"

namespace {

using namespace imaging;
using dibb::firstDifference;
using dibb::randomPic;

class Binding : public ::testing::Test {
protected:
    imgtest::MessageCapture log;
    std::string dir = imgtest::tempDir("qivimaging");
    std::string path(const std::string& name) const { return dir + "\\" + name; }
    void TearDown() override {
        EXPECT_TRUE(log.messages.empty()) << log.messages.front();
    }
};

// A picture as a DIB handle, freed at scope end.
struct Handle {
    HGLOBAL h = nullptr;
    explicit Handle(HGLOBAL handle) : h(handle) {}
    explicit Handle(const img::Dib& d) : h(imgtest::handleOf(d)) {}
    ~Handle() { FreeDibHandle(h); }
};

struct Format {
    const char* name;
    const char* ext;
    std::function<bool(const std::string&, int bits, HGLOBAL)> write;
    std::function<bool(const std::string&, int depth, HGLOBAL&)> read;
    std::vector<int> depths;  // written and read back unchanged
    int tolerance;
};

std::vector<Format> formats() {
    return {
        {"bmp", ".bmp", [](auto& f, int b, HGLOBAL d) { return DllWriteBmp(f, b, d, nullptr, nullptr); },
         [](auto& f, int depth, HGLOBAL& d) { return DllReadBmp(f, depth, 0, nullptr, nullptr, nullptr, d); },
         {1, 4, 8, 16, 24, 32}, 0},
        {"pcx", ".pcx", [](auto& f, int b, HGLOBAL d) { return DllWritePcx(f, b, d, nullptr, nullptr); },
         [](auto& f, int depth, HGLOBAL& d) { return DllReadPcx(f, depth, 0, nullptr, nullptr, nullptr, d); },
         {1, 4, 8, 24}, 0},
        {"gif", ".gif", [](auto& f, int b, HGLOBAL d) { return DllWriteGif(f, b, d, nullptr, nullptr); },
         [](auto& f, int depth, HGLOBAL& d) { return DllReadGif(f, depth, 0, nullptr, nullptr, nullptr, d); },
         {1, 4, 8}, 0},
        {"png", ".png", [](auto& f, int b, HGLOBAL d) { return DllWritePng(f, b, false, d, nullptr, nullptr); },
         [](auto& f, int depth, HGLOBAL& d) { return DllReadPng(f, depth, 0, nullptr, nullptr, nullptr, d); },
         {1, 4, 8, 24}, 0},
        {"png interlaced", ".png", [](auto& f, int b, HGLOBAL d) { return DllWritePng(f, b, true, d, nullptr, nullptr); },
         [](auto& f, int depth, HGLOBAL& d) { return DllReadPng(f, depth, 0, nullptr, nullptr, nullptr, d); },
         {8, 24}, 0},
        {"tga", ".tga", [](auto& f, int b, HGLOBAL d) { return DllWriteTga(f, b, d, nullptr, nullptr); },
         [](auto& f, int depth, HGLOBAL& d) { return DllReadTga(f, depth, 0, nullptr, nullptr, d); }, {8, 16, 24, 32}, 0},
        {"tiff", ".tiff", [](auto& f, int b, HGLOBAL d) { return DllWriteTiff(f, 5, b, false, d, nullptr, nullptr); },
         [](auto& f, int depth, HGLOBAL& d) { return DllReadTiff(f, depth, 0, 0, nullptr, nullptr, d); }, {1, 4, 8, 24}, 0},
        {"jpeg", ".jpg", [](auto& f, int b, HGLOBAL d) { return DllWriteJpg(f, 95, 0, b, d, nullptr, nullptr); },
         [](auto& f, int depth, HGLOBAL& d) { return DllReadJpg(f, depth, 0, nullptr, nullptr, nullptr, d); }, {24}, 10},
    };
}

// A smooth picture (JPEG keeps it) of the depth, from its 24-bit original.
img::Dib picture(unsigned bits, int32_t w = 45, int32_t h = 21) {
    img::Dib wide;
    img::Dib::create(w, h, 24, wide);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            uint8_t* p = wide.row(y) + 3 * x;
            p[0] = uint8_t(x * 5);
            p[1] = uint8_t(y * 12);
            p[2] = uint8_t(200 - x * 2);
        }
    if (bits == 24) return wide;
    if (bits == 1) {
        dibb::Pic mono = randomPic(w, h, 1, 5);
        mono.palette = {img::Colour{0, 0, 0, 0}, img::Colour{255, 255, 255, 0}};
        return dibb::toDib(mono);
    }
    img::Dib out;
    img::Progress none;
    img::convertDepth(wide, bits, img::kDitherNone, out, none);
    return out;
}

TEST_F(Binding, EveryFormatRoundTripsThroughTheLibraries) {
    for (const Format& f : formats())
        for (int bits : f.depths) {
            SCOPED_TRACE(std::string(f.name) + " at " + std::to_string(bits));
            const img::Dib src = picture(unsigned(bits));
            Handle dib(src);
            const std::string file = path(std::string("round") + std::to_string(bits) + f.ext);
            ASSERT_TRUE(f.write(file, bits, dib.h)) << LastDllErrorText();
            EXPECT_EQ("Writing " + file, StatusText());
            HGLOBAL read = nullptr;
            ASSERT_TRUE(f.read(file, 0, read)) << LastDllErrorText();
            EXPECT_EQ("Reading " + file, StatusText());
            Handle back(read);
            const img::Dib got = imgtest::dibOf(back.h);
            EXPECT_EQ(unsigned(bits), got.bits());
            EXPECT_EQ("", firstDifference(src, got, f.tolerance));
            // The depth asked on reading.
            HGLOBAL wide = nullptr;
            ASSERT_TRUE(f.read(file, 24, wide));
            Handle wideBack(wide);
            EXPECT_EQ(24u, imgtest::dibOf(wide).bits());
            EXPECT_EQ("", firstDifference(src, imgtest::dibOf(wide), f.tolerance));
        }
}

TEST_F(Binding, ReadersTakeEveryBmpLayoutAndAskedDepths) {
    const struct {
        unsigned bits;
        dibb::Layout layout;
        int depth;
        unsigned want;
    } cases[] = {
        {8, {40, false, 1}, 0, 8}, {4, {40, false, 2}, 0, 4}, {8, {124, true}, 24, 24},
        {16, {40, false, 3, {0xF800, 0x7E0, 0x1F}}, 0, 24}, {24, {40, true}, 8, 8}, {24, {}, 1, 1}, {1, {12}, 32, 32},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.bits) + " bits asked " + std::to_string(c.depth));
        const std::string file = path("layout.bmp");
        ASSERT_TRUE(imgtest::writeFile(file, dibb::bmpFile(randomPic(31, 9, c.bits, c.bits), c.layout)));
        for (int dither : {0, 1, 3}) {
            HGLOBAL dib = nullptr;
            ASSERT_TRUE(DllReadBmp(file, c.depth, dither, nullptr, nullptr, nullptr, dib)) << LastDllErrorText();
            Handle h(dib);
            EXPECT_EQ(c.want, imgtest::dibOf(dib).bits());
        }
    }
}

TEST_F(Binding, TiffPagesAppendAndNameTheirCompression) {
    const std::string file = path("pages.tiff");
    DeleteFileA(file.c_str());
    const struct {
        TTiffCompression compression;
        unsigned bits;
    } pages[] = {{sNONE, 24}, {sLZW, 8}, {sPACKBITS, 4}, {sCCITT, 1}, {sFAXCCITT3, 1}, {sFAXCCITT4, 1}};
    for (const auto& p : pages) {
        Handle dib(picture(p.bits));
        ASSERT_TRUE(DllWriteTiff(file, TiffCompressionCode(p.compression), int(p.bits), true, dib.h, nullptr, nullptr))
            << LastDllErrorText();
    }
    for (size_t i = 0; i < std::size(pages); ++i) {
        SCOPED_TRACE(i);
        CrdeInfo values{};
        int compression = 0, count = 0;
        ASSERT_TRUE(DllGetInfo(file, int(i), values, compression, count, nullptr, nullptr)) << LastDllErrorText();
        EXPECT_EQ(6, count);
        EXPECT_EQ(TiffCompressionCode(pages[i].compression), compression);
        EXPECT_EQ(45, values.width);
        HGLOBAL dib = nullptr;
        ASSERT_TRUE(DllReadTiff(file, 0, 0, int(i), nullptr, nullptr, dib));
        Handle h(dib);
        EXPECT_EQ("", firstDifference(picture(pages[i].bits), imgtest::dibOf(dib)));
    }
    EXPECT_EQ("PACKBITS", TiffCompressionName(TiffCompressionCode(sPACKBITS)));
    HGLOBAL dib = nullptr;
    EXPECT_FALSE(DllReadTiff(file, 0, 0, 6, nullptr, nullptr, dib));
    EXPECT_EQ("The file has no such page.", LastDllErrorText());
}

TEST_F(Binding, FileInfoNamesTheTypeAndValues) {
    Handle dib(picture(8));
    const struct {
        const char* file;
        std::function<bool(const std::string&)> write;
        const char* type;
    } cases[] = {
        {"i.bmp", [&](auto& f) { return DllWriteBmp(f, 8, dib.h, nullptr, nullptr); }, "bmp"},
        {"i.jpg", [&](auto& f) { return DllWriteJpg(f, 50, 0, 24, dib.h, nullptr, nullptr); }, "jpg"},
        {"i.png", [&](auto& f) { return DllWritePng(f, 8, false, dib.h, nullptr, nullptr); }, "png"},
        {"i.gif", [&](auto& f) { return DllWriteGif(f, 8, dib.h, nullptr, nullptr); }, "gif"},
        {"i.pcx", [&](auto& f) { return DllWritePcx(f, 8, dib.h, nullptr, nullptr); }, "pcx"},
        {"i.tga", [&](auto& f) { return DllWriteTga(f, 8, dib.h, nullptr, nullptr); }, "tga"},
        {"i.tif", [&](auto& f) { return DllWriteTiff(f, 1, 8, false, dib.h, nullptr, nullptr); }, "tiff"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(c.write(path(c.file))) << c.file;
        std::string type, info;
        CrdeInfo values{};
        ASSERT_TRUE(DllFileInfo(path(c.file), type, values, nullptr, nullptr, info)) << c.file << LastDllErrorText();
        EXPECT_EQ(c.type, type);
        EXPECT_EQ(45, values.width);
        EXPECT_EQ(21, values.height);
        EXPECT_FALSE(info.empty());
    }
}

TEST_F(Binding, FormatsNotReadGiveTheirStatusText) {
    std::vector<uint8_t> pcd(4096, 0);
    std::memcpy(pcd.data() + 2048, "PCD_IPI", 7);
    ASSERT_TRUE(imgtest::writeFile(path("x.pcd"), pcd));
    const std::string eps = "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 10 10\n";
    ASSERT_TRUE(imgtest::writeFile(path("x.eps"), std::vector<uint8_t>(eps.begin(), eps.end())));
    const std::string dxf = "  0\nSECTION\n  2\nHEADER\n  0\nENDSEC\n  0\nEOF\n";
    ASSERT_TRUE(imgtest::writeFile(path("x.dxf"), std::vector<uint8_t>(dxf.begin(), dxf.end())));
    HGLOBAL dib = nullptr;
    EXPECT_FALSE(DllReadPcd(path("x.pcd"), 24, 0, 1, nullptr, nullptr, dib));
    EXPECT_EQ("Photo CD pictures are not supported.", LastDllErrorText());
    EXPECT_LE(LastDllErrorCode(), 0);
    EXPECT_FALSE(DllReadEps(path("x.eps"), 24, 0, nullptr, nullptr, dib));
    EXPECT_EQ("EPS pictures are not supported.", LastDllErrorText());
    HBITMAP bm = nullptr;
    HPALETTE pal = nullptr;
    EXPECT_FALSE(DllReadDxf(path("x.dxf"), 100, 100, nullptr, nullptr, bm, pal));
    EXPECT_EQ("DXF drawings are not supported.", LastDllErrorText());
    int a, b, c;
    EXPECT_FALSE(DllGetDxfInfo(path("x.dxf"), a, b, c));
    EXPECT_EQ("DXF drawings are not supported.", LastDllErrorText());
    std::string type, info;
    CrdeInfo values{};
    EXPECT_FALSE(DllFileInfo(path("x.pcd"), type, values, nullptr, nullptr, info));
    EXPECT_EQ("pcd", type);
}

TEST_F(Binding, StatusesAndTheirTexts) {
    StoreDllError(-1);
    EXPECT_EQ(-1, LastDllErrorCode());
    EXPECT_EQ("Unknown error in imaging Dll", LastDllErrorText());
    FARPROC p = nullptr;
    ASSERT_TRUE(BindCrdeProc(kCrdeLibrary, "rdbmpfiledib", p));
    StoreDllError(-4);
    EXPECT_EQ("The file is not a picture of this type, or it is damaged.", LastDllErrorText());
    // Damaged files give the library's status, never a picture.
    const std::string file = path("bad.png");
    std::vector<uint8_t> junk(200, 0x5A);
    std::memcpy(junk.data(), "\x89PNG\r\n\x1a\n", 8);
    ASSERT_TRUE(imgtest::writeFile(file, junk));
    HGLOBAL dib = nullptr;
    EXPECT_FALSE(DllReadPng(file, 0, 0, nullptr, nullptr, nullptr, dib));
    EXPECT_EQ(nullptr, dib);
    EXPECT_EQ(-4, LastDllErrorCode());
    // A name too long for the library is refused before it is asked.
    EXPECT_FALSE(DllReadBmp(std::string(300, 'a') + ".bmp", 0, 0, nullptr, nullptr, nullptr, dib));
    EXPECT_FALSE(DllWriteBmp(dir + "\\" + std::string(300, 'b') + ".bmp", 24, nullptr, nullptr, nullptr));
    EXPECT_EQ("The file name is missing or too long.", LastDllErrorText());
}

TEST_F(Binding, AFileUnderThirtyBytesIsRefusedBeforeTheLibraryIsAsked) {
    const std::string file = path("short.bmp");
    std::vector<uint8_t> bytes = dibb::bmpFile(randomPic(1, 1, 24, 1));
    bytes.resize(29);
    ASSERT_TRUE(imgtest::writeFile(file, bytes));
    StoreDllError(-2);
    HGLOBAL dib = nullptr;
    EXPECT_FALSE(DllReadBmp(file, 0, 0, nullptr, nullptr, nullptr, dib));
    EXPECT_EQ(-2, LastDllErrorCode());  // no status of the library
    EXPECT_FALSE(IsUsableImageFile(file));
    bytes.resize(30);
    ASSERT_TRUE(imgtest::writeFile(file, bytes));
    EXPECT_TRUE(IsUsableImageFile(file));
    EXPECT_FALSE(IsUsableImageFile(path("missing.bmp")));
}

TEST_F(Binding, BindingTwiceLoadsTheLibraryOnce) {
    FreeImagingLibraries();
    FARPROC a = nullptr, b = nullptr;
    ASSERT_TRUE(BindCrdeProc(kCrdeLibrary, "wrbmpfiledib", a));
    ASSERT_TRUE(BindCrdeProc(kCrdeLibrary, "wrbmpfiledib", b));
    EXPECT_EQ(a, b);
    EXPECT_FALSE(BindCrdeProc(kCrdeLibrary, "noSuchProcedure", b));
    EXPECT_EQ(nullptr, b);
    // One reference: freeing once unloads it.
    FreeImagingLibraries();
    EXPECT_EQ(nullptr, GetModuleHandleA(kCrdeLibrary));
    EXPECT_EQ(nullptr, CrdeModule());
}

TEST_F(Binding, AFailedJpegReadKeepsTheLibraryLoaded) {
    FARPROC p = nullptr;
    ASSERT_TRUE(BindCrdeProc(kCrdeLibrary, "rdjpgfiledib", p));
    const HMODULE before = CrdeModule();
    std::vector<uint8_t> junk(100, 0);
    junk[0] = 0xFF;
    junk[1] = 0xD8;
    ASSERT_TRUE(imgtest::writeFile(path("bad.jpg"), junk));
    HGLOBAL dib = nullptr;
    EXPECT_FALSE(DllReadJpg(path("bad.jpg"), 0, 0, nullptr, nullptr, nullptr, dib));
    EXPECT_EQ(before, CrdeModule());
    EXPECT_EQ(before, GetModuleHandleA(kCrdeLibrary));
}

struct ProgressLog {
    int calls = 0, last = -1;
    bool cancel = false;
};
ProgressLog g_progress;
int WINAPI onProgress(void* control, int percent) {
    EXPECT_EQ(&g_progress, control);
    ++g_progress.calls;
    g_progress.last = percent;
    return g_progress.cancel ? 0 : 1;
}

TEST_F(Binding, ProgressReachesTheCallbackWithItsControlAndCancels) {
    Handle dib(picture(24, 300, 200));
    g_progress = {};
    ASSERT_TRUE(DllWritePng(path("p.png"), 24, false, dib.h, onProgress, &g_progress));
    EXPECT_GT(g_progress.calls, 10);
    EXPECT_EQ(100, g_progress.last);
    g_progress = {};
    g_progress.cancel = true;
    HGLOBAL read = nullptr;
    EXPECT_FALSE(DllReadPng(path("p.png"), 0, 0, onProgress, &g_progress, nullptr, read));
    EXPECT_EQ(0, LastDllErrorCode());
    EXPECT_EQ("The operation was cancelled.", LastDllErrorText());
}

// ---------------------------------------------------------------------------------------

TEST_F(Binding, DepthChangesThroughTheLibraries) {
    const struct {
        unsigned from;
        int target;
        unsigned want;
    } cases[] = {{1, 4, 4}, {1, 8, 8}, {1, 24, 24}, {4, 8, 8}, {4, 24, 24}, {8, 24, 24}, {16, 24, 24}, {24, 32, 24}, {8, 4, 8}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.from) + " to " + std::to_string(c.target));
        const img::Dib src = picture(c.from);
        Handle dib(src);
        IncreaseColors(dib.h, c.target);
        const img::Dib got = imgtest::dibOf(dib.h);
        EXPECT_EQ(c.want, got.bits());
        EXPECT_EQ("", firstDifference(src, got));
    }
    Handle empty(GlobalAlloc(GMEM_MOVEABLE, 4));
    EXPECT_THROW(IncreaseColors(empty.h, 24), ErrorInvalid);
    Handle four(picture(4));
    EXPECT_THROW(Dib8To24(four.h), ErrorInvalid);
    // Fewer: 32 bits through DIB32To24, others through ReduceDib.
    Handle wide(picture(32));
    ASSERT_TRUE(ReduceColors(wide.h, 8, 0, nullptr, nullptr));
    EXPECT_EQ(24u, imgtest::dibOf(wide.h).bits());
    ASSERT_TRUE(ReduceColors(wide.h, 4, 3, nullptr, nullptr));
    EXPECT_EQ(4u, imgtest::dibOf(wide.h).bits());
}

TEST_F(Binding, EightToTwentyFourChecksTheColourTable) {
    // biClrUsed claims 256 entries, the block holds 4 before its pixels.
    dibb::Pic pic = randomPic(8, 2, 8, 3, 4);
    dibb::Layout l;
    l.clrUsed = 4;
    std::vector<uint8_t> block = dibb::packed(pic, l);
    img::wr32(block.data() + 32, 256);
    Handle dib(imgtest::handleOf(block.data(), block.size()));
    HGLOBAL wide = Dib8To24(dib.h);
    ASSERT_NE(nullptr, wide);
    Handle w(wide);
    const img::Dib got = imgtest::dibOf(wide);
    for (int32_t x = 0; x < 8; ++x) EXPECT_EQ(pic.rgb(x, 0), dibb::rgbAt(got, x, 0)) << x;
}

TEST_F(Binding, ScalingGreyScalingAndReducingThroughIsp) {
    Handle dib(picture(24, 40, 30));
    Handle half(DllScaleDib(dib.h, 20, 15));
    ASSERT_NE(nullptr, half.h);
    const img::Dib got = imgtest::dibOf(half.h);
    EXPECT_EQ(20, got.width());
    EXPECT_EQ(15, got.height());
    EXPECT_EQ("Resizing Image", StatusText());
    // Under 24 bits: expanded first.
    Handle indexed(picture(8, 40, 30));
    Handle scaled(DllScaleDib(indexed.h, 80, 60));
    ASSERT_NE(nullptr, scaled.h);
    EXPECT_EQ(24u, imgtest::dibOf(scaled.h).bits());
    Handle mono(picture(1, 40, 30));
    Handle grey(DllScaleToGray(mono.h, 10, 10));
    ASSERT_NE(nullptr, grey.h);
    EXPECT_EQ(8u, imgtest::dibOf(grey.h).bits());
    EXPECT_EQ("Scaling Image To Gray", StatusText());
    EXPECT_EQ(nullptr, DllScaleToGray(dib.h, 10, 10));
    Handle reduced(DllReduceDib(dib.h, 1, 3, nullptr, nullptr));
    ASSERT_NE(nullptr, reduced.h);
    EXPECT_EQ(1u, imgtest::dibOf(reduced.h).bits());
}

// The pixels of a bitmap as a 24-bit picture.
img::Dib pixelsOf(HBITMAP bm) {
    BITMAP info{};
    GetObjectA(bm, sizeof info, &info);
    img::Dib out;
    img::Dib::create(info.bmWidth, info.bmHeight, 24, out);
    HDC dc = GetDC(nullptr);
    GetDIBits(dc, bm, 0, UINT(info.bmHeight), out.pixels(), reinterpret_cast<BITMAPINFO*>(out.data()), DIB_RGB_COLORS);
    ReleaseDC(nullptr, dc);
    img::wr32(out.data() + 32, 0);
    return out;
}

TEST_F(Binding, DibsBecomeBitmapsAndBitmapsDibs) {
    for (unsigned bits : {1u, 4u, 8u, 24u, 32u}) {
        SCOPED_TRACE(bits);
        const img::Dib src = picture(bits);
        Handle dib(src);
        ImagingBitmap bm;
        ASSERT_TRUE(DibToBitmap(dib.h, 0, 0, nullptr, nullptr, bm)) << LastDllErrorText();
        EXPECT_EQ("", firstDifference(src, pixelsOf(bm.bitmap())));
        EXPECT_EQ(bits <= 8, bm.palette() != nullptr);
        // Back through the library's conversion.
        Handle back(DllDdbToDib(bm.bitmap(), bm.palette()));
        ASSERT_NE(nullptr, back.h);
        EXPECT_EQ("", firstDifference(src, imgtest::dibOf(back.h)));
    }
    // A run-length DIB goes through DibtoDdb.
    const dibb::Pic pic = randomPic(16, 5, 8, 9);
    const std::vector<uint8_t> rle = dibb::packed(pic, dibb::Layout{40, false, 1});
    Handle dib(imgtest::handleOf(rle.data(), rle.size()));
    ImagingBitmap bm;
    ASSERT_TRUE(DibToBitmap(dib.h, 0, 0, nullptr, nullptr, bm));
    EXPECT_EQ("", firstDifference(dibb::toDib(pic), pixelsOf(bm.bitmap())));
    // A depth asked on the way: reduced, or expanded.
    Handle wide(picture(24));
    ASSERT_TRUE(DibToBitmap(wide.h, 8, 0, nullptr, nullptr, bm));
    DIBSECTION ds{};
    ASSERT_EQ(int(sizeof ds), GetObjectA(bm.bitmap(), sizeof ds, &ds));
    EXPECT_EQ(8, ds.dsBmih.biBitCount);
    EXPECT_EQ(24u, imgtest::dibOf(wide.h).bits());  // the caller's DIB stays
}

TEST_F(Binding, SavingAGraphicWritesItsPicture) {
    const img::Dib src = picture(24);
    Handle dib(src);
    ImagingBitmap bm;
    ASSERT_TRUE(DibToBitmap(dib.h, 0, 0, nullptr, nullptr, bm));
    const ImagingGraphic graphic{bm.bitmap(), bm.palette()};
    ASSERT_TRUE(SaveGraphicAsBmp(path("g.bmp"), 24, &graphic, nullptr, nullptr));
    ASSERT_TRUE(SaveGraphicAsPng(path("g.png"), 24, true, &graphic, nullptr, nullptr));
    ASSERT_TRUE(SaveGraphicAsTiff(path("g.tiff"), 1, 24, false, &graphic, nullptr, nullptr));
    ASSERT_TRUE(SaveGraphicAsJpg(path("g.jpg"), 90, 0, 24, &graphic, nullptr, nullptr));
    ASSERT_TRUE(SaveGraphicAsGif(path("g.gif"), 8, &graphic, nullptr, nullptr));
    ASSERT_TRUE(SaveGraphicAsPcx(path("g.pcx"), 24, &graphic, nullptr, nullptr));
    ASSERT_TRUE(SaveGraphicAsTga(path("g.tga"), 24, &graphic, nullptr, nullptr));
    HGLOBAL read = nullptr;
    ASSERT_TRUE(DllReadBmp(path("g.bmp"), 0, 0, nullptr, nullptr, nullptr, read));
    Handle back(read);
    EXPECT_EQ("", firstDifference(src, imgtest::dibOf(read)));
    ImagingBitmap fromFile;
    ASSERT_TRUE(DllReadBitmap(ImageKind::Tga, path("g.tga"), 0, 0, 0, nullptr, nullptr, fromFile));
    EXPECT_EQ("", firstDifference(src, pixelsOf(fromFile.bitmap())));
    try {
        SaveGraphicAsBmp(path("none.bmp"), 24, nullptr, nullptr, nullptr);
        ADD_FAILURE() << "no exception";
    } catch (const ErrorInvalid& e) {
        EXPECT_STREQ("Input image is empty", e.what());
    }
    EXPECT_FALSE(imgtest::exists(path("none.bmp")));
}

// ---------------------------------------------------------------------------------------
// The bitmap wrapper.

HGLOBAL blockOf(const std::vector<uint8_t>& bytes) { return imgtest::handleOf(bytes.data(), bytes.size()); }

TEST(ILTDibTest, HeaderReadersOfEveryLayout) {
    struct Case {
        const char* name;
        std::vector<uint8_t> block;
        int colours, headerSize, dibSize;
    };
    const dibb::Pic p24 = randomPic(5, 3, 24, 1), p8 = randomPic(5, 3, 8, 2, 20), p16 = randomPic(5, 3, 16, 3);
    dibb::Layout used20;
    used20.clrUsed = 20;
    const Case cases[] = {
        {"24 bits: no table", dibb::packed(p24), 0, 40, 40 + 48},
        {"8 bits of 20 colours", dibb::packed(p8, used20), 20, 120, 120 + 24},
        {"16 bits with bit fields", dibb::packed(p16, dibb::Layout{40, false, 3, {0x7C00, 0x3E0, 0x1F}}), 0, 52, 52 + 36},
        {"24 bits top-down", dibb::packed(p24, dibb::Layout{40, true}), 0, 40, 40 + 48},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Handle h(blockOf(c.block));
        ILTDib wrap;
        wrap.OwnsDib = false;
        auto* header = static_cast<BITMAPINFOHEADER*>(GlobalLock(h.h));
        wrap.AttachDib(header);
        EXPECT_EQ(c.colours, wrap.ColorCount());
        EXPECT_EQ(c.headerSize, wrap.HeaderSize());
        EXPECT_EQ(c.dibSize, wrap.DibSize());  // image size 0: computed from |height|
        EXPECT_EQ(DWORD(c.dibSize - c.headerSize), header->biSizeImage);
        EXPECT_EQ(reinterpret_cast<uint8_t*>(header) + c.headerSize, wrap.BitsPtr());
        wrap.AttachDib(nullptr);
        GlobalUnlock(h.h);
    }
    ILTDib empty;
    EXPECT_EQ(0, empty.BitCount());
    EXPECT_EQ(0, empty.HeaderSize());
    EXPECT_EQ(0, empty.DibSize());
    EXPECT_EQ(nullptr, empty.BitsPtr());
    EXPECT_EQ(2, ILTDib::PaletteEntries(1));
    EXPECT_EQ(0, ILTDib::PaletteEntries(16));
}

TEST(ILTDibTest, HeadersThatLieAreRefused) {
    std::vector<uint8_t> tooMany = dibb::packed(randomPic(4, 4, 4, 1));
    img::wr32(tooMany.data() + 32, 17);
    std::vector<uint8_t> cut = dibb::packed(randomPic(4, 4, 8, 1));
    cut.resize(200);  // the table alone is 1024 bytes
    for (const auto& bytes : {tooMany, cut}) {
        Handle h(blockOf(bytes));
        ILTDib wrap;
        wrap.OwnsDib = false;
        EXPECT_THROW(wrap.AttachDib(static_cast<BITMAPINFOHEADER*>(GlobalLock(h.h))), ErrorInvalid);
        EXPECT_EQ(nullptr, wrap.Dib());
        GlobalUnlock(h.h);
    }
}

TEST(ILTDibTest, CreateNewForEveryBitCount) {
    const struct {
        int bits, headerBits, colours;
    } cases[] = {{1, 1, 2}, {2, 1, 2}, {4, 4, 16}, {8, 8, 256}, {16, 16, 0}, {24, 24, 0}, {32, 32, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bits);
        ILTDib wrap;
        ASSERT_TRUE(wrap.CreateNew(nullptr, 13, c.bits, 7));
        EXPECT_EQ(c.headerBits, wrap.BitCount());
        EXPECT_EQ(c.colours, wrap.ColorCount());
        EXPECT_EQ(13, wrap.Width());
        EXPECT_EQ(7, wrap.Height());
        EXPECT_EQ(2953, wrap.Dib()->biXPelsPerMeter);
        // The header agrees with its block.
        EXPECT_EQ(SIZE_T(wrap.DibSize()), GlobalSize(GlobalHandle(wrap.Dib())));
        EXPECT_EQ(int(img::dibStride(13, unsigned(c.headerBits)) * 7), int(wrap.Dib()->biSizeImage));
    }
    ILTDib wrap;
    EXPECT_FALSE(wrap.CreateNew(nullptr, 13, 3, 7));
    EXPECT_FALSE(wrap.CreateNew(nullptr, 0, 8, 7));
    EXPECT_THROW(wrap.CreateNew(nullptr, 1 << 30, 32, 1 << 10), ErrorInvalid);
    // With a palette: its first entries; the palette handle built from the table.
    PALETTEENTRY entries[2] = {{10, 20, 30, 0}, {40, 50, 60, 0}};
    std::vector<uint8_t> lp(sizeof(LOGPALETTE) + sizeof entries);
    auto* log = reinterpret_cast<LOGPALETTE*>(lp.data());
    log->palVersion = 0x300;
    log->palNumEntries = 2;
    std::memcpy(log->palPalEntry, entries, sizeof entries);
    HPALETTE pal = CreatePalette(log);
    ASSERT_TRUE(wrap.CreateNew(pal, 4, 1, 4));
    DeleteObject(pal);
    const RGBQUAD* table = reinterpret_cast<const RGBQUAD*>(wrap.Dib() + 1);
    EXPECT_EQ(40, table[1].rgbRed);
    EXPECT_EQ(60, table[1].rgbBlue);
    PALETTEENTRY got[2];
    ASSERT_EQ(2u, GetPaletteEntries(wrap.PaletteHandle(), 0, 2, got));
    EXPECT_EQ(50, got[1].peGreen);
    EXPECT_EQ(wrap.PaletteHandle(), wrap.PaletteHandle());
}

TEST(ILTDibTest, AttachingFreesAnOwnedBlock) {
    ILTDib wrap;
    ASSERT_TRUE(wrap.CreateNew(nullptr, 4, 8, 4));
    HGLOBAL first = GlobalHandle(wrap.Dib());
    const HPALETTE pal = wrap.PaletteHandle();
    ASSERT_NE(nullptr, pal);
    ASSERT_TRUE(wrap.CreateNew(nullptr, 4, 24, 4));
    EXPECT_EQ(0u, GlobalSize(first));  // freed
    EXPECT_EQ(0, GetObjectType(pal));  // the cached palette went with it
    EXPECT_EQ(nullptr, wrap.PaletteHandle());
}

}  // namespace

// Picture conversion through the imaging libraries beside the program: a BMP
// into every output type and back, resizing, the copy case, and what is kept
// or replaced when a conversion fails or succeeds.
#include <windows.h>

#include <gtest/gtest.h>

#include "../../../imaging/binding/wintests/wintestfiles.h"
#include "../../../imaging/core/tests/dibbuilder.h"
#include "imageconvert_win.h"

namespace {

using namespace stellwerk;

img::Dib smoothDib(int w, int h) {
    dibb::Pic p;
    p.width = w, p.height = h, p.bits = 24;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) p.px.push_back(uint32_t(x * 3) << 16 | uint32_t(y * 4) << 8 | uint32_t(x + y));
    return dibb::toDib(p);
}

class Convert : public ::testing::Test {
protected:
    imgtest::MessageCapture log;
    std::string dir = imgtest::tempDir("qivconvert");
    std::string path(const std::string& n) const { return dir + "\\" + n; }
    std::string source(const std::string& name, const img::Dib& d) {
        HGLOBAL h = imgtest::handleOf(d);
        EXPECT_TRUE(imaging::DllWriteBmp(path(name), 0, h, nullptr, nullptr));
        imaging::FreeDibHandle(h);
        return path(name);
    }
    img::Dib read(const std::string& file) {
        HGLOBAL h = nullptr;
        EXPECT_TRUE(LoadAnyImage(file, h, nullptr, nullptr)) << file;
        img::Dib d = imgtest::dibOf(h);
        imaging::FreeDibHandle(h);
        return d;
    }
    void TearDown() override { EXPECT_TRUE(log.messages.empty()) << log.messages.front(); }
};

TEST_F(Convert, BmpToEachTypeAndBack) {
    const img::Dib pic = smoothDib(48, 32);
    const std::string bmp = source("pic.bmp", pic);
    const struct {
        const char* ext;
        int tolerance;
    } types[] = {{".bmp", 0}, {".jpg", 16}, {".png", 0}, {".tga", 0}, {".tiff", 0}, {".pcx", 0}};
    for (const auto& t : types) {
        const std::string out = path(std::string("out") + t.ext);
        ASSERT_TRUE(ConvertImageFile(bmp, out, false, 32, 0, true)) << t.ext;
        EXPECT_FALSE(imgtest::exists(out + ".part")) << "no temporary file stays";
        const img::Dib got = read(out);
        EXPECT_EQ(32, got.width()) << t.ext;
        EXPECT_EQ(21, got.height()) << t.ext << ": 32 * 32 / 48 rounded";
        // And back to a BMP of the original size.
        const std::string back = path(std::string("back") + t.ext + ".bmp");
        ASSERT_TRUE(ConvertImageFile(out, back, false, 0, 0, true)) << t.ext;
        EXPECT_EQ("", dibb::firstDifference(got, read(back), t.tolerance)) << t.ext;
    }
    // Without a resize every lossless type gives the picture itself.
    ASSERT_TRUE(ConvertImageFile(bmp, path("same.png"), false, 0, 0, true));
    EXPECT_EQ("", dibb::firstDifference(pic, read(path("same.png"))));
    ASSERT_TRUE(ConvertImageFile(bmp, path("same.jpg"), false, 0, 0, true));
    EXPECT_EQ("", dibb::firstDifference(pic, read(path("same.jpg")), 16)) << "JPEG at quality 90";
}

TEST_F(Convert, CopyReplaceAndFailure) {
    const std::string a = source("a.bmp", smoothDib(20, 10));
    const std::string b = source("b.bmp", smoothDib(30, 10));
    EXPECT_FALSE(ConvertImageFile(a, path("B.BMP"), false, 0, 0, true)) << "the copy never replaces a target";
    EXPECT_EQ(30, read(b).width());
    EXPECT_TRUE(ConvertImageFile(a, b, false, 20, 0, true)) << "a size re-encodes and replaces";
    EXPECT_EQ(20, read(b).width());
    EXPECT_TRUE(ConvertImageFile(a, path("copy.Bmp"), false, 0, 0, true));
    EXPECT_EQ(imgtest::readFile(a), imgtest::readFile(path("copy.Bmp"))) << "letter case only: a plain copy";

    EXPECT_FALSE(ConvertImageFile(a, path("x.jpeg"), true, 0, 0, true)) << "only .jpg is a JPEG target";
    EXPECT_FALSE(imgtest::exists(path("x.jpeg")));
    EXPECT_TRUE(imgtest::exists(a)) << "a failed conversion keeps the source";

    ASSERT_TRUE(imgtest::writeFile(path("junk.bmp"), std::vector<uint8_t>(100, 7)));
    EXPECT_FALSE(ConvertImageFile(path("junk.bmp"), path("junk.png"), true, 0, 0, true));
    EXPECT_FALSE(imgtest::exists(path("junk.png"))) << "an unreadable source writes nothing";
    EXPECT_TRUE(imgtest::exists(path("junk.bmp")));
    log.messages.clear();

    // A file without extension (the batch's intermediate file) is converted even to BMP.
    ASSERT_TRUE(CopyFileA(a.c_str(), path("view").c_str(), FALSE));
    EXPECT_TRUE(ConvertImageFile(path("view"), path("view.bmp"), true, 0, 0, false));
    EXPECT_FALSE(imgtest::exists(path("view"))) << "deleted after the successful write";
    EXPECT_EQ(20, read(path("view.bmp")).width());
}

}  // namespace

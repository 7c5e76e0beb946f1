#include "depthhelpers.h"

#include <gtest/gtest.h>

#include "dibheader.h"
#include "errorinvalid.h"

namespace {

using namespace imaging;

TEST(DepthHelpers, BitsForSavingByType) {
    const struct {
        const char* type;
        TSaveResolution r;
        int screen, want;
    } cases[] = {
        {"jpg", sMonoChrome, 24, 1},  {"jpg", sJpegGray, 24, 1},  {"jpg", sColor16, 4, 24},   {"jpg", sAutoMatic, 4, 24},
        {"tga", sAutoMatic, 4, 8},    {"tga", sAutoMatic, 24, 24}, {"tga", sColorTrue, 8, 24}, {"tga", sMonoChrome, 24, 8},
        {"dic", sAutoMatic, 4, 8},    {"dic", sColorTrue, 24, 8},  {"gif", sAutoMatic, 24, 8}, {"gif", sMonoChrome, 24, 1},
        {"gif", sColor16, 24, 4},     {"gif", sColorVga, 24, 0},   {"gif", sColorTrue, 24, 8}, {"bmp", sAutoMatic, 8, 8},
        {"bmp", sColorTrue, 8, 24},   {"bmp", sColor256, 24, 8},   {"bmp", sColor16, 24, 4},   {"bmp", sColorVga, 24, 0},
        {"png", sMonoChrome, 24, 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.want, BitsForSaving(c.type, c.r, c.screen)) << c.type << " " << c.r << " " << c.screen;
    EXPECT_EQ(4, ScreenDepthFor(1));
    EXPECT_EQ(4, ScreenDepthFor(4));
    EXPECT_EQ(8, ScreenDepthFor(8));
    EXPECT_EQ(8, ScreenDepthFor(15));
    EXPECT_EQ(24, ScreenDepthFor(16));
    EXPECT_EQ(24, ScreenDepthFor(32));
}

TEST(DepthHelpers, TiffCompressionCodesAndNames) {
    EXPECT_EQ(1, TiffCompressionCode(sNONE));
    EXPECT_EQ(2, TiffCompressionCode(sCCITT));
    EXPECT_EQ(3, TiffCompressionCode(sFAXCCITT3));
    EXPECT_EQ(4, TiffCompressionCode(sFAXCCITT4));
    EXPECT_EQ(5, TiffCompressionCode(sLZW));
    EXPECT_EQ(32773, TiffCompressionCode(sPACKBITS));
    const std::pair<int, const char*> names[] = {{1, "NONE"}, {2, "CCITT3"}, {3, "FAXCCITT3"}, {4, "FAXCCITT4"},
                                                 {5, "LZW"},  {6, "JPG"},    {32773, "PACKBITS"}, {7, "UNKNOWN"}};
    for (const auto& [code, name] : names) EXPECT_EQ(name, TiffCompressionName(code));
}

TEST(DepthHelpers, FileBaseName) {
    EXPECT_EQ("picture", FileBaseName("C:\\pics\\picture.tar.gz"));
    EXPECT_EQ("a", FileBaseName("dir/a.b"));
    EXPECT_EQ("noext", FileBaseName("noext"));
    EXPECT_EQ(std::string(64, 'x'), FileBaseName("c:\\" + std::string(80, 'x') + ".bmp"));
    EXPECT_EQ("", FileBaseName("c:\\.hidden"));
}

TEST(ErrorInvalid, DestroyingOneClearsTheStatusText) {
    SetStatusText("Reading x.bmp");
    try {
        throw ErrorInvalid("Input image is empty");
    } catch (const forms::Exception& e) {
        EXPECT_STREQ("Input image is empty", e.what());
    }
    EXPECT_EQ("", StatusText());
}

// A header of 40 bytes with the fields that matter.
std::vector<uint8_t> header(int32_t w, int32_t h, uint16_t bits, uint32_t compression, uint32_t image, uint32_t used,
                            uint32_t size = 40) {
    std::vector<uint8_t> v(std::max<uint32_t>(size, 40), 0);
    img::wr32(v.data(), size);
    img::wr32(v.data() + 4, uint32_t(w));
    img::wr32(v.data() + 8, uint32_t(h));
    img::wr16(v.data() + 12, 1);
    img::wr16(v.data() + 14, bits);
    img::wr32(v.data() + 16, compression);
    img::wr32(v.data() + 20, image);
    img::wr32(v.data() + 32, used);
    return v;
}

TEST(DibHeader, SizesOfEveryKindOfHeader) {
    const struct {
        const char* name;
        std::vector<uint8_t> h;
        uint32_t colours, headerSize;
        uint64_t image;
    } cases[] = {
        {"24 bits, no table", header(10, 4, 24, 0, 0, 0), 0, 40, 4 * 32},
        {"8 bits, full table", header(10, 4, 8, 0, 0, 0), 256, 40 + 1024, 4 * 12},
        {"8 bits, 20 used", header(10, 4, 8, 0, 0, 20), 20, 40 + 80, 4 * 12},
        {"1 bit", header(33, 2, 1, 0, 0, 0), 2, 48, 2 * 8},
        {"4 bits top-down", header(3, -5, 4, 0, 0, 0), 16, 104, 5 * 4},
        {"16 bits, bit fields", header(3, 3, 16, 3, 0, 0), 0, 52, 3 * 8},
        {"32 bits, alpha fields", header(3, 3, 32, 6, 0, 0), 0, 56, 3 * 12},
        {"V5 header with fields", header(3, 3, 16, 3, 0, 0, 124), 0, 124, 3 * 8},
        {"stated image size", header(3, 3, 24, 0, 99, 0), 0, 40, 99},
        {"24 bits with an optimising table", header(2, 2, 24, 0, 0, 16), 16, 40 + 64, 2 * 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.colours, DibColorCount(c.h.data()));
        EXPECT_EQ(c.headerSize, DibHeaderSize(c.h.data()));
        EXPECT_EQ(c.image, DibImageSize(c.h.data()));
        EXPECT_EQ("", DibHeaderProblem(c.h.data(), 0));
    }
    EXPECT_EQ(2u, DibPaletteEntries(1));
    EXPECT_EQ(0u, DibPaletteEntries(2));
    EXPECT_EQ(256u, DibPaletteEntries(8));
    EXPECT_EQ(0u, DibPaletteEntries(24));
}

TEST(DibHeader, HeadersThatCannotBeWrapped) {
    const struct {
        const char* name;
        std::vector<uint8_t> h;
        size_t available;
    } cases[] = {
        {"4 bits with 17 colours", header(4, 4, 4, 0, 0, 17), 0},
        {"1 bit with 3 colours", header(4, 4, 1, 0, 0, 3), 0},
        {"24 bits with 300 colours", header(4, 4, 24, 0, 0, 300), 0},
        {"header size 12", header(4, 4, 8, 0, 0, 0, 12), 0},
        {"bits 7", header(4, 4, 7, 0, 0, 0), 0},
        {"table beyond the block", header(4, 4, 8, 0, 0, 0), 40 + 100},
        {"pixels beyond the block", header(4, 4, 24, 0, 1000, 0), 40 + 64},
        {"block shorter than a header", header(4, 4, 24, 0, 0, 0), 20},
    };
    for (const auto& c : cases) EXPECT_NE("", DibHeaderProblem(c.h.data(), c.available)) << c.name;
}

TEST(DibHeader, EightToTwentyFourTakesTheRealColourTable) {
    const img::Colour fallback[2] = {{1, 2, 3, 0}, {4, 5, 6, 0}};
    // 4 x 2 pixels, indices 0 1 2 3 / 4 5 6 7; biClrUsed says 256, the block holds 6.
    auto make = [](uint32_t used, uint32_t entries, bool topDown) {
        std::vector<uint8_t> b = header(4, topDown ? -2 : 2, 8, 0, 0, used);
        for (uint32_t i = 0; i < entries; ++i)
            for (int k = 0; k < 4; ++k) b.push_back(uint8_t(k == 3 ? 0 : 10 * i + k));
        const uint8_t rows[8] = {4, 5, 6, 7, 0, 1, 2, 3};  // bottom row first
        b.insert(b.end(), rows, rows + 8);
        return b;
    };
    struct Case {
        const char* name;
        std::vector<uint8_t> block;
        uint32_t top0, top5;  // blue of the pixel at the top left and of index 5
    } cases[] = {
        {"256 stated, 6 there", make(256, 6, false), 0, 50},
        {"0 stated, 8 there", make(0, 8, false), 0, 50},
        {"4 stated: index 5 is black", make(4, 4, false), 0, 0},
        {"no table: the default palette", make(0, 0, false), 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        img::Dib out;
        ASSERT_EQ(img::kOk, Expand8To24(c.block.data(), c.block.size(), fallback, 2, out));
        ASSERT_EQ(24u, out.bits());
        EXPECT_EQ(c.top0, out.row(0)[0]);
        EXPECT_EQ(c.top5, out.row(1)[3]);  // bottom row, x 1: index 5
    }
    img::Dib out;
    const std::vector<uint8_t> down = make(8, 8, true);
    ASSERT_EQ(img::kOk, Expand8To24(down.data(), down.size(), fallback, 2, out));
    EXPECT_EQ(40u, out.row(0)[0]);  // top-down: the first row of the file is the top
    EXPECT_EQ(img::kBadDib, Expand8To24(down.data(), 4, fallback, 2, out));
    const std::vector<uint8_t> four = header(4, 2, 4, 0, 0, 0);
    EXPECT_EQ(img::kBadArgument, Expand8To24(four.data(), four.size(), fallback, 2, out));
    std::vector<uint8_t> cut = make(8, 8, false);
    cut.resize(cut.size() - 40);
    EXPECT_EQ(img::kTruncated, Expand8To24(cut.data(), cut.size(), fallback, 2, out));
}

}  // namespace

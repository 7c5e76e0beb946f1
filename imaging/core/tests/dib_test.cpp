#include "dib.h"

#include <gtest/gtest.h>

#include "dibbuilder.h"

namespace {

using img::Dib;

img::Status decode(const std::vector<uint8_t>& block, Dib& out) {
    img::Progress none;
    return img::decodePackedDib(block.data(), block.size(), out, none);
}

// Every pixel's colour against the picture built.
std::string compare(const dibb::Pic& want, const Dib& got, int tolerance = 0) {
    if (got.width() != want.width || got.height() != want.height) return "size";
    for (int32_t y = 0; y < want.height; ++y)
        for (int32_t x = 0; x < want.width; ++x) {
            const uint32_t a = want.rgb(x, y), b = dibb::rgbAt(got, x, y);
            for (int s = 0; s < 24; s += 8)
                if (std::abs(int(a >> s & 255) - int(b >> s & 255)) > tolerance)
                    return std::to_string(x) + "," + std::to_string(y) + " want " + std::to_string(a) + " got " +
                           std::to_string(b);
        }
    return "";
}

struct LayoutCase {
    const char* name;
    unsigned bits;
    dibb::Layout layout;
    unsigned outBits;
    int tolerance;
};

TEST(DecodeDib, EveryHeaderDepthAndCompression) {
    const LayoutCase cases[] = {
        {"core 8", 8, {12}, 8, 0},
        {"1 bit", 1, {}, 1, 0},
        {"2 bits widen to 4", 2, {}, 4, 0},
        {"4 bits", 4, {}, 4, 0},
        {"8 bits top-down", 8, {40, true}, 8, 0},
        {"8 bits v4 header", 8, {108}, 8, 0},
        {"8 bits v5 top-down", 8, {124, true}, 8, 0},
        {"RLE8", 8, {40, false, 1}, 8, 0},
        {"RLE4", 4, {40, false, 2}, 4, 0},
        {"16 bits 5-5-5", 16, {}, 16, 7},
        {"16 bits 5-6-5 fields", 16, {40, false, 3, {0xF800, 0x07E0, 0x001F}}, 24, 4},
        {"16 bits fields in v5", 16, {124, true, 3, {0xF800, 0x07E0, 0x001F}}, 24, 4},
        {"24 bits", 24, {}, 24, 0},
        {"24 bits top-down", 24, {56, true}, 24, 0},
        {"32 bits", 32, {}, 32, 0},
        {"32 bits standard fields", 32, {40, false, 3, {0xFF0000, 0xFF00, 0xFF}}, 32, 0},
        {"32 bits 10-10-10 fields", 32, {40, false, 3, {0x3FF00000, 0xFFC00, 0x3FF}}, 24, 1},
        {"32 bits alpha fields", 32, {40, false, 6, {0xFF00, 0xFF0000, 0xFF000000, 0xFF}}, 24, 0},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        const dibb::Pic pic = dibb::randomPic(13, 7, c.bits, c.bits * 7 + c.layout.headerSize);
        Dib d;
        ASSERT_EQ(img::kOk, decode(dibb::packed(pic, c.layout), d));
        EXPECT_EQ(c.outBits, d.bits());
        EXPECT_EQ("", compare(pic, d, c.tolerance));
    }
}

TEST(DecodeDib, RleDeltaAndEarlyEndLeaveIndexZero) {
    dibb::Pic pic = dibb::randomPic(8, 3, 8, 1);
    dibb::Layout rle{40, false, 1};
    std::vector<uint8_t> block = dibb::infoPart(pic, rle);
    // bottom row: 2 x index 5, delta (3 right, 1 up), 1 x index 7, end of picture
    const uint8_t stream[] = {2, 5, 0, 2, 3, 1, 1, 7, 0, 1};
    block.insert(block.end(), stream, stream + sizeof stream);
    Dib d;
    ASSERT_EQ(img::kOk, decode(block, d));
    EXPECT_EQ(5u, img::indexAt(d.row(2), 0, 8));
    EXPECT_EQ(5u, img::indexAt(d.row(2), 1, 8));
    EXPECT_EQ(0u, img::indexAt(d.row(2), 2, 8));
    EXPECT_EQ(7u, img::indexAt(d.row(1), 5, 8));
    EXPECT_EQ(0u, img::indexAt(d.row(0), 7, 8));
}

TEST(DecodeDib, HostileHeadersGiveAStatus) {
    const dibb::Pic pic = dibb::randomPic(4, 4, 8, 3);
    auto withField = [&](size_t at, uint32_t v) {
        std::vector<uint8_t> b = dibb::packed(pic);
        img::wr32(b.data() + at, v);
        return b;
    };
    struct Case {
        const char* name;
        std::vector<uint8_t> block;
        img::Status want;
    } cases[] = {
        {"width 0", withField(4, 0), img::kBadFormat},
        {"width negative", withField(4, uint32_t(-4)), img::kBadFormat},
        {"height of INT32_MIN", withField(8, 0x80000000u), img::kTooLarge},
        {"2^30 pixels", withField(4, 1u << 15), img::kTruncated},  // 2^15 x 4: rows missing
        {"65536 x 65536", [&] { auto b = withField(4, 65536); img::wr32(b.data() + 8, 65536); return b; }(),
         img::kTooLarge},
        {"colours used 257", withField(32, 257), img::kBadFormat},
        {"bits 7", [&] { auto b = dibb::packed(pic); img::wr16(b.data() + 14, 7); return b; }(), img::kBadFormat},
        {"header size 41", withField(0, 41), img::kBadFormat},
        {"header beyond the block", withField(0, 124), img::kTruncated},
        {"JPEG inside", withField(16, 4), img::kUnsupported},
        {"RLE8 of 24 bits", [&] { auto b = dibb::packed(dibb::randomPic(4, 4, 24, 1)); img::wr32(b.data() + 16, 1); return b; }(),
         img::kBadFormat},
        {"rows cut short", [&] { auto b = dibb::packed(pic); b.erase(b.end() - 5, b.end()); return b; }(), img::kTruncated},
        {"fields not one run", [&] {
             dibb::Layout l{40, false, 3, {0xF0F0, 0x0F00, 0x000F}};
             return dibb::packed(dibb::randomPic(4, 4, 16, 1), l);
         }(), img::kBadFormat},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Dib d;
        EXPECT_EQ(c.want, decode(c.block, d));
        EXPECT_TRUE(d.empty());
    }
    // Every cut of a valid block (the last row's padding may be missing).
    const std::vector<uint8_t> whole = dibb::packed(dibb::randomPic(5, 3, 4, 9));
    for (size_t n = 0; n + 1 < whole.size(); ++n) {
        Dib d;
        img::Progress none;
        EXPECT_NE(img::kOk, img::decodePackedDib(whole.data(), n, d, none)) << n;
    }
}

TEST(DecodeDib, PicturesBeyondTheMemoryAvailableAreRefusedBeforeAllocating) {
    img::setMemoryProbe([]() -> uint64_t { return 2000; });
    Dib d;
    EXPECT_EQ(img::kNoMemory, decode(dibb::packed(dibb::randomPic(20, 20, 24, 1)), d));
    EXPECT_EQ(img::kOk, decode(dibb::packed(dibb::randomPic(2, 2, 1, 1)), d));
    img::setMemoryProbe(nullptr);
}

TEST(DecodeDib, CancelFromTheProgressCallbackStops) {
    int calls = 0;
    img::Progress p{[](void* c, int percent) { return ++*static_cast<int*>(c) < 3 && percent >= 0; }, &calls};
    const std::vector<uint8_t> block = dibb::packed(dibb::randomPic(3, 50, 24, 1));
    Dib d;
    EXPECT_EQ(img::kCancelled, img::decodePackedDib(block.data(), block.size(), d, p));
    EXPECT_EQ(3, calls);
    EXPECT_TRUE(d.empty());
}

TEST(Dib, CreateWritesAHeaderThatAgreesWithTheBlock) {
    for (unsigned bits : {1u, 4u, 8u, 16u, 24u, 32u}) {
        Dib d;
        ASSERT_EQ(img::kOk, Dib::create(7, 3, bits, d));
        const uint32_t colours = bits <= 8 ? 1u << bits : 0;
        EXPECT_EQ(40u, img::rd32(d.data()));
        EXPECT_EQ(bits, img::rd16(d.data() + 14));
        EXPECT_EQ(colours, img::rd32(d.data() + 32));
        EXPECT_EQ(d.size(), 40 + 4 * colours + img::rd32(d.data() + 20));
        EXPECT_EQ(d.size(), 40 + 4 * colours + 3 * img::dibStride(7, bits));
    }
    Dib d;
    EXPECT_EQ(img::kBadArgument, Dib::create(7, 3, 2, d));
    EXPECT_EQ(img::kBadFormat, Dib::create(0, 3, 8, d));
}

}  // namespace

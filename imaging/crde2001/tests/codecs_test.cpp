#include "codecs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "codecfiles.h"
#include "convert.h"

namespace {

using img::Bytes;
using img::Dib;
using dibb::firstDifference;
using dibb::randomPic;
using dibb::toDib;

img::Progress none;

using Reader = std::function<img::Status(const Bytes&, Dib&)>;
using Writer = std::function<img::Status(const Dib&, Bytes&)>;

struct Format {
    const char* name;
    Reader read;
    Writer write;
    std::vector<unsigned> depths;  // depths written and read back as they are
};

const Format& format(const char* name);

const std::vector<Format>& formats() {
    static const std::vector<Format> all = {
        {"bmp", [](const Bytes& b, Dib& d) { return img::readBmp(b.data(), b.size(), d, none); },
         [](const Dib& d, Bytes& b) { return img::writeBmp(d, b); }, {1, 4, 8, 16, 24, 32}},
        {"pcx", [](const Bytes& b, Dib& d) { return img::readPcx(b.data(), b.size(), d, none); },
         [](const Dib& d, Bytes& b) { return img::writePcx(d, b, none); }, {1, 4, 8, 24}},
        {"tga", [](const Bytes& b, Dib& d) { return img::readTga(b.data(), b.size(), d, none); },
         [](const Dib& d, Bytes& b) { return img::writeTga(d, false, "id", b, none); }, {8, 16, 24, 32}},
        {"tga rle", [](const Bytes& b, Dib& d) { return img::readTga(b.data(), b.size(), d, none); },
         [](const Dib& d, Bytes& b) { return img::writeTga(d, true, nullptr, b, none); }, {8, 16, 24, 32}},
        {"png", [](const Bytes& b, Dib& d) { return img::readPng(b.data(), b.size(), d, none); },
         [](const Dib& d, Bytes& b) { return img::writePng(d, false, b, none); }, {1, 4, 8, 24}},
        {"png interlaced", [](const Bytes& b, Dib& d) { return img::readPng(b.data(), b.size(), d, none); },
         [](const Dib& d, Bytes& b) { return img::writePng(d, true, b, none); }, {1, 4, 8, 24}},
        {"gif", [](const Bytes& b, Dib& d) { return img::readGif(b.data(), b.size(), d, none); },
         [](const Dib& d, Bytes& b) { return img::writeGif(d, b, none); }, {1, 4, 8}},
        {"tiff", [](const Bytes& b, Dib& d) { return img::readTiff(b.data(), b.size(), 0, d, none); },
         [](const Dib& d, Bytes& b) { return img::writeTiff(d, img::kTiffNone, nullptr, 0, b, none); }, {4, 8, 24}},
        {"tiff lzw", [](const Bytes& b, Dib& d) { return img::readTiff(b.data(), b.size(), 0, d, none); },
         [](const Dib& d, Bytes& b) { return img::writeTiff(d, img::kTiffLzw, nullptr, 0, b, none); }, {4, 8, 24}},
        {"tiff packbits", [](const Bytes& b, Dib& d) { return img::readTiff(b.data(), b.size(), 0, d, none); },
         [](const Dib& d, Bytes& b) { return img::writeTiff(d, img::kTiffPackBits, nullptr, 0, b, none); }, {4, 8, 24}},
        {"jpeg", [](const Bytes& b, Dib& d) { return img::readJpeg(b.data(), b.size(), 1, d, none); },
         [](const Dib& d, Bytes& b) { return img::writeJpeg(d, 95, 0, false, b, none); }, {}},
    };
    return all;
}

const Format& format(const char* name) {
    for (const Format& f : formats())
        if (std::string(f.name) == name) return f;
    throw std::runtime_error(name);
}

TEST(Codecs, LosslessFormatsRoundTripEveryDepthTheyStore) {
    for (const Format& f : formats())
        for (unsigned bits : f.depths) {
            SCOPED_TRACE(std::string(f.name) + " " + std::to_string(bits));
            // Odd sizes: padded rows, partial bytes and runs that cross nothing.
            const Dib src = toDib(randomPic(37, 11, bits, bits + 100));
            Bytes file;
            ASSERT_EQ(img::kOk, f.write(src, file));
            Dib back;
            ASSERT_EQ(img::kOk, f.read(file, back));
            EXPECT_EQ(bits, back.bits());
            EXPECT_EQ("", firstDifference(src, back));
        }
}

TEST(Codecs, RunLengthFilesOfFlatPicturesAreSmall) {
    Dib flat;
    ASSERT_EQ(img::kOk, Dib::create(200, 100, 24, flat));
    for (const char* name : {"pcx", "tga rle", "png", "gif"}) {
        Dib src;
        ASSERT_EQ(img::kOk, img::convertDepth(flat, std::string(name) == "gif" ? 8 : 24, 0, src, none));
        Bytes file;
        ASSERT_EQ(img::kOk, format(name).write(src, file));
        EXPECT_LT(file.size(), 20000u) << name;
        Dib back;
        ASSERT_EQ(img::kOk, format(name).read(file, back));
        EXPECT_EQ("", firstDifference(src, back)) << name;
    }
}

TEST(Codecs, BmpReadsEveryHeaderDepthAndCompression) {
    const struct {
        unsigned bits;
        dibb::Layout layout;
    } cases[] = {
        {1, {12}}, {2, {}}, {4, {40, false, 2}}, {8, {40, false, 1}}, {8, {124, true}},
        {16, {40, false, 3, {0xF800, 0x7E0, 0x1F}}}, {24, {40, true}}, {32, {56, false, 3, {0xFF0000, 0xFF00, 0xFF}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.bits) + " bits, header " + std::to_string(c.layout.headerSize) + ", compression " +
                     std::to_string(c.layout.compression));
        const dibb::Pic pic = randomPic(9, 6, c.bits, c.bits);
        const Bytes file = dibb::bmpFile(pic, c.layout);
        Dib d;
        ASSERT_EQ(img::kOk, img::readBmp(file.data(), file.size(), d, none));
        for (int32_t y = 0; y < 6; ++y)
            for (int32_t x = 0; x < 9; ++x) ASSERT_NEAR(double(pic.rgb(x, y) >> 8 & 255), double(dibb::rgbAt(d, x, y) >> 8 & 255), 4);
    }
    // A pixel offset beyond the file: the rows after the colour table.
    Bytes file = dibb::bmpFile(randomPic(4, 4, 8, 1));
    img::wr32(file.data() + 10, 0xFFFFFF);
    Dib d;
    EXPECT_EQ(img::kOk, img::readBmp(file.data(), file.size(), d, none));
}

TEST(Codecs, PngReadsEveryColourTypeAndDepth) {
    const uint32_t w = 10, h = 5;
    struct Case {
        const char* name;
        int type, depth;
        unsigned bits;
        std::function<uint32_t(uint32_t x, uint32_t y)> rgb;  // what the picture shows
    };
    auto sample = [](uint32_t x, uint32_t y, int depth) { return (x * 7 + y * 3) % (1u << depth); };
    const Case cases[] = {
        {"grey 1", PNG_COLOR_TYPE_GRAY, 1, 1, [&](uint32_t x, uint32_t y) { return sample(x, y, 1) * 0xFFFFFF; }},
        {"grey 2", PNG_COLOR_TYPE_GRAY, 2, 4, [&](uint32_t x, uint32_t y) { return sample(x, y, 2) * 85 * 0x10101; }},
        {"grey 8", PNG_COLOR_TYPE_GRAY, 8, 8, [&](uint32_t x, uint32_t y) { return sample(x, y, 8) * 0x10101; }},
        {"grey 16", PNG_COLOR_TYPE_GRAY, 16, 8, [&](uint32_t x, uint32_t y) { return sample(x, y, 8) * 0x10101; }},
        {"grey alpha", PNG_COLOR_TYPE_GRAY_ALPHA, 8, 8, [&](uint32_t x, uint32_t y) { return sample(x, y, 8) * 0x10101; }},
        {"palette 2", PNG_COLOR_TYPE_PALETTE, 2, 4, [&](uint32_t x, uint32_t y) { return sample(x, y, 2) * 0x402010; }},
        {"rgb 16", PNG_COLOR_TYPE_RGB, 16, 24, [&](uint32_t x, uint32_t y) { return (sample(x, y, 8)) * 0x10101; }},
        {"rgba", PNG_COLOR_TYPE_RGB_ALPHA, 8, 24, [&](uint32_t x, uint32_t y) { return (sample(x, y, 8)) * 0x10101; }},
    };
    for (const Case& c : cases)
        for (bool interlaced : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (interlaced ? " interlaced" : ""));
            const int channels = c.type == PNG_COLOR_TYPE_RGB ? 3 : c.type == PNG_COLOR_TYPE_RGB_ALPHA ? 4
                                 : c.type == PNG_COLOR_TYPE_GRAY_ALPHA                                ? 2
                                                                                                      : 1;
            std::vector<Bytes> rows;
            for (uint32_t y = 0; y < h; ++y) {
                Bytes row((w * channels * c.depth + 7) / 8, 0);
                for (uint32_t x = 0; x < w; ++x) {
                    const uint32_t s = c.depth == 16 ? sample(x, y, 8) * 257 : sample(x, y, c.depth);
                    for (int k = 0; k < channels; ++k) {
                        const uint32_t v = k == 3 || (c.type == PNG_COLOR_TYPE_GRAY_ALPHA && k == 1) ? 0x80 : s;
                        const size_t bit = (size_t(x) * channels + k) * c.depth;
                        if (c.depth == 16) {
                            row[bit / 8] = uint8_t(v >> 8);
                            row[bit / 8 + 1] = uint8_t(v);
                        } else {
                            row[bit / 8] |= uint8_t(v << (8 - c.depth - bit % 8));
                        }
                    }
                }
                rows.push_back(row);
            }
            std::vector<png_color> pal;
            for (int i = 0; i < 4; ++i) pal.push_back(png_color{uint8_t(0x40 * i), uint8_t(0x20 * i), uint8_t(0x10 * i)});
            const Bytes file = files::png(w, h, c.type, c.depth, interlaced, rows,
                                          c.type == PNG_COLOR_TYPE_PALETTE ? pal : std::vector<png_color>{});
            ASSERT_FALSE(file.empty());
            Dib d;
            ASSERT_EQ(img::kOk, img::readPng(file.data(), file.size(), d, none));
            EXPECT_EQ(c.bits, d.bits());
            for (uint32_t y = 0; y < h; ++y)
                for (uint32_t x = 0; x < w; ++x)
                    ASSERT_EQ(c.rgb(x, y), dibb::rgbAt(d, int32_t(x), int32_t(y))) << x << "," << y;
        }
}

TEST(Codecs, GifReadsInterlacedFramesOnTheirScreen) {
    std::vector<uint8_t> idx(6 * 9);
    for (size_t i = 0; i < idx.size(); ++i) idx[i] = uint8_t(i % 7 + 1);
    for (bool interlaced : {false, true}) {
        const Bytes file = files::gif(10, 12, 2, 1, 6, 9, interlaced, 0, idx, 8);
        Dib d;
        ASSERT_EQ(img::kOk, img::readGif(file.data(), file.size(), d, none));
        ASSERT_EQ(10, d.width());
        ASSERT_EQ(12, d.height());
        EXPECT_EQ(4u, d.bits());  // eight colours
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 6; ++x) ASSERT_EQ(idx[size_t(y * 6 + x)], img::indexAt(d.row(y + 1), x + 2, 4)) << x << "," << y;
        EXPECT_EQ(0u, img::indexAt(d.row(0), 0, 4));
    }
}

TEST(Codecs, TgaReadsEveryOriginMapAndDepth) {
    // 3 x 2 pixels: colours 1..6 in reading order (top left first).
    auto colour = [](int i) { return uint32_t(i * 0x2A1508); };
    Bytes map;
    for (int i = 0; i < 300; ++i) {
        const uint32_t c = colour(i);
        map.push_back(uint8_t(c));
        map.push_back(uint8_t(c >> 8));
        map.push_back(uint8_t(c >> 16));
    }
    struct Case {
        const char* name;
        int type, depth, descriptor, mapLength;
        Bytes data;          // pixel data in file order
        unsigned bits;
        std::vector<int> want;  // index of colour() per pixel, top left first
    };
    // file rows bottom-up unless bit 5; right-to-left with bit 4
    const Case cases[] = {
        {"mapped bottom-up", 1, 8, 0, 256, {4, 5, 6, 1, 2, 3}, 8, {1, 2, 3, 4, 5, 6}},
        {"mapped top-down", 1, 8, 0x20, 256, {1, 2, 3, 4, 5, 6}, 8, {1, 2, 3, 4, 5, 6}},
        {"mapped right-to-left", 1, 8, 0x30, 256, {3, 2, 1, 6, 5, 4}, 8, {1, 2, 3, 4, 5, 6}},
        {"mapped 16-bit index", 1, 16, 0x20, 300, {1, 0, 44, 1, 3, 0, 4, 0, 5, 0, 6, 0}, 24, {1, 300, 3, 4, 5, 6}},
        {"mapped rle", 9, 8, 0x20, 256, {0x82, 1, 0x02, 4, 5, 6}, 8, {1, 1, 1, 4, 5, 6}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes file = files::tga(c.type, c.depth, 3, 2, c.descriptor, Bytes(map.begin(), map.begin() + 3 * c.mapLength),
                                      0, c.mapLength, 24, c.data);
        Dib d;
        ASSERT_EQ(img::kOk, img::readTga(file.data(), file.size(), d, none));
        EXPECT_EQ(c.bits, d.bits());
        for (int i = 0; i < 6; ++i) {
            const uint32_t want = c.want[size_t(i)] == 300 ? 0 : colour(c.want[size_t(i)]);  // beyond the map: black
            EXPECT_EQ(want, dibb::rgbAt(d, i % 3, i / 3)) << i;
        }
    }
    // Grey, and 15-bit colour.
    const Bytes grey = files::tga(3, 8, 2, 1, 0x20, {}, 0, 0, 0, {10, 200});
    Dib d;
    ASSERT_EQ(img::kOk, img::readTga(grey.data(), grey.size(), d, none));
    EXPECT_EQ(0xC8C8C8u, dibb::rgbAt(d, 1, 0));
    const Bytes fifteen = files::tga(2, 15, 1, 1, 0, {}, 0, 0, 0, {0x1F, 0x7C});
    ASSERT_EQ(img::kOk, img::readTga(fifteen.data(), fifteen.size(), d, none));
    EXPECT_EQ(0xFF00FFu, dibb::rgbAt(d, 0, 0));
}

TEST(Codecs, PcxReadsPlanesAndDepths) {
    // 2 bits in one plane and 1 bit in three planes both become 4 bits.
    const Bytes pal = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255, 9, 9, 9, 8, 8, 8, 7, 7, 7};
    const Bytes twoBit = files::pcx(2, 1, 4, 1, 2, {0x1B, 0x00}, pal);  // 00 01 10 11
    Dib d;
    ASSERT_EQ(img::kOk, img::readPcx(twoBit.data(), twoBit.size(), d, none));
    EXPECT_EQ(4u, d.bits());
    EXPECT_EQ(0xFF0000u, dibb::rgbAt(d, 1, 0));
    EXPECT_EQ(0x0000FFu, dibb::rgbAt(d, 3, 0));
    // planes give bits 0, 1, 2: pixel 0 = 1, pixel 1 = 2 | 4 = 6
    const Bytes planar = files::pcx(1, 3, 2, 1, 2, {0x80, 0, 0x40, 0, 0x40, 0}, pal);
    ASSERT_EQ(img::kOk, img::readPcx(planar.data(), planar.size(), d, none));
    EXPECT_EQ(0xFF0000u, dibb::rgbAt(d, 0, 0));
    EXPECT_EQ(0x080808u, dibb::rgbAt(d, 1, 0));
    // 8 bits without the table at the end: grey.
    const Bytes eight = files::pcx(8, 1, 2, 1, 2, {7, 200});
    ASSERT_EQ(img::kOk, img::readPcx(eight.data(), eight.size(), d, none));
    EXPECT_EQ(0xC8C8C8u, dibb::rgbAt(d, 1, 0));
}

TEST(Codecs, JpegKeepsThePictureWithinTheQualityTolerance) {
    // A smooth picture: JPEG's own loss stays small.
    Dib src;
    ASSERT_EQ(img::kOk, Dib::create(64, 48, 24, src));
    for (int32_t y = 0; y < 48; ++y)
        for (int32_t x = 0; x < 64; ++x) {
            uint8_t* p = src.row(y) + 3 * x;
            p[0] = uint8_t(x * 4);
            p[1] = uint8_t(y * 5);
            p[2] = uint8_t(128 + x - y);
        }
    Bytes file;
    ASSERT_EQ(img::kOk, img::writeJpeg(src, 95, 0, false, file, none));
    Dib back;
    ASSERT_EQ(img::kOk, img::readJpeg(file.data(), file.size(), 1, back, none));
    EXPECT_EQ(24u, back.bits());
    EXPECT_EQ("", firstDifference(src, back, 12));
    // Grey: one channel, a grey table, the luminance kept.
    ASSERT_EQ(img::kOk, img::writeJpeg(src, 95, 20, true, file, none));
    ASSERT_EQ(img::kOk, img::readJpeg(file.data(), file.size(), 1, back, none));
    EXPECT_EQ(8u, back.bits());
    const uint32_t v = dibb::rgbAt(src, 30, 20);
    EXPECT_NEAR(double(img::luminance(v >> 16, v >> 8 & 255, v & 255)), double(dibb::rgbAt(back, 30, 20) & 255), 12);
    // A quarter of the size.
    ASSERT_EQ(img::kOk, img::readJpeg(file.data(), file.size(), 4, back, none));
    EXPECT_EQ(16, back.width());
    EXPECT_EQ(12, back.height());
    EXPECT_EQ(img::kBadArgument, img::readJpeg(file.data(), file.size(), 3, back, none));
}

TEST(Codecs, TiffPagesInEachCompression) {
    const Dib colour = toDib(randomPic(21, 9, 24, 1));
    Dib smooth;
    ASSERT_EQ(img::kOk, Dib::create(32, 16, 24, smooth));
    for (int32_t y = 0; y < 16; ++y)
        for (int32_t x = 0; x < 32; ++x) {
            uint8_t* p = smooth.row(y) + 3 * x;
            p[0] = uint8_t(x * 8);
            p[1] = uint8_t(y * 16);
            p[2] = 100;
        }
    const Dib palette = toDib(randomPic(21, 9, 8, 2));
    dibb::Pic mono = randomPic(21, 9, 1, 3);
    mono.palette = {img::Colour{255, 255, 255, 0}, img::Colour{0, 0, 0, 0}};
    const Dib bilevel = toDib(mono);
    const struct {
        int compression;
        const Dib* pic;
        int tolerance;
    } pages[] = {
        {img::kTiffNone, &colour, 0},   {img::kTiffLzw, &palette, 0}, {img::kTiffPackBits, &colour, 0},
        {img::kTiffCcitt, &bilevel, 0}, {img::kTiffFax3, &bilevel, 0}, {img::kTiffFax4, &bilevel, 0},
        {img::kTiffJpeg, &smooth, 12},
        {img::kTiffNone, &bilevel, 0},
    };
    Bytes file;
    for (const auto& p : pages) {
        Bytes next;
        ASSERT_EQ(img::kOk, img::writeTiff(*p.pic, p.compression, file.empty() ? nullptr : file.data(), file.size(),
                                           next, none))
            << p.compression;
        file.swap(next);
    }
    ASSERT_EQ(8, img::tiffPageCount(file.data(), file.size()));
    for (size_t i = 0; i < std::size(pages); ++i) {
        SCOPED_TRACE("page " + std::to_string(i));
        Dib d;
        ASSERT_EQ(img::kOk, img::readTiff(file.data(), file.size(), int(i), d, none));
        EXPECT_EQ(pages[i].pic->bits(), d.bits());
        EXPECT_EQ("", firstDifference(*pages[i].pic, d, pages[i].tolerance));
        img::FileInfo info;
        ASSERT_EQ(img::kOk, img::tiffInfo(file.data(), file.size(), int(i), info));
        EXPECT_EQ(8, info.pages);
        EXPECT_EQ(pages[i].compression, info.compression);
    }
    Dib d;
    EXPECT_EQ(img::kNoPage, img::readTiff(file.data(), file.size(), 8, d, none));
    EXPECT_EQ(img::kBadArgument, img::writeTiff(colour, img::kTiffFax4, nullptr, 0, file, none));
    EXPECT_EQ(img::kBadArgument, img::writeTiff(colour, 99, nullptr, 0, file, none));
}

TEST(Codecs, PrepareForWriteGivesEachWriterADepthItStores) {
    const Dib src = toDib(randomPic(8, 8, 24, 4));
    struct Case {
        img::Format format;
        unsigned bits;
        int compression;
        unsigned want;
    } cases[] = {
        {img::Format::Bmp, 0, 0, 24},  {img::Format::Bmp, 16, 0, 16}, {img::Format::Bmp, 2, 0, 4},
        {img::Format::Pcx, 32, 0, 24}, {img::Format::Tga, 4, 0, 8},   {img::Format::Png, 16, 0, 24},
        {img::Format::Gif, 24, 0, 8},  {img::Format::Gif, 1, 0, 1},   {img::Format::Tiff, 24, img::kTiffFax4, 1},
        {img::Format::Tiff, 4, img::kTiffJpeg, 8}, {img::Format::Jpeg, 8, 0, 24},
    };
    for (const Case& c : cases) {
        Dib holder;
        const Dib* use = nullptr;
        ASSERT_EQ(img::kOk, img::prepareForWrite(src, c.format, c.bits, c.compression, holder, use, none));
        ASSERT_NE(nullptr, use);
        EXPECT_EQ(c.want, use->bits()) << int(c.format) << " " << c.bits;
    }
}

TEST(Codecs, FileInfoNamesEveryFormat) {
    const Dib pic = toDib(randomPic(33, 17, 8, 5));
    struct Case {
        const char* format;
        const char* type;
        const char* extension;
    } cases[] = {{"bmp", "bmp", ".x"}, {"pcx", "pcx", ""},   {"tga", "tga", ""},
                 {"png", "png", ""},   {"gif", "gif", ".gif"}, {"tiff", "tiff", ""}};
    for (const Case& c : cases) {
        Bytes file;
        ASSERT_EQ(img::kOk, format(c.format).write(pic, file));
        img::FileInfo info;
        ASSERT_EQ(img::kOk, img::fileInfo(file.data(), file.size(), c.extension, info)) << c.format;
        EXPECT_EQ(c.type, info.type);
        EXPECT_EQ(33, info.width) << c.format;
        EXPECT_EQ(17, info.height) << c.format;
        EXPECT_FALSE(info.text.empty());
    }
    Bytes jpeg;
    ASSERT_EQ(img::kOk, img::writeJpeg(pic, 50, 0, false, jpeg, none));
    img::FileInfo info;
    ASSERT_EQ(img::kOk, img::fileInfo(jpeg.data(), jpeg.size(), "", info));
    EXPECT_EQ("jpg", info.type);
    EXPECT_EQ(24, info.bits);
    EXPECT_EQ(33, info.width);
    // Formats named but not read.
    Bytes pcd(2100, 0);
    std::memcpy(pcd.data() + 2048, "PCD_IPI", 7);
    const std::string eps = "%!PS-Adobe-3.0 EPSF-3.0\n", dxf = "  0\nSECTION\n  2\nHEADER\n";
    EXPECT_EQ(img::kNoPhotoCd, img::fileInfo(pcd.data(), pcd.size(), "", info));
    EXPECT_EQ("pcd", info.type);
    EXPECT_EQ(img::kNoEps, img::fileInfo(reinterpret_cast<const uint8_t*>(eps.data()), eps.size(), "", info));
    EXPECT_EQ(img::kNoDxf, img::fileInfo(reinterpret_cast<const uint8_t*>(dxf.data()), dxf.size(), "", info));
    EXPECT_EQ(img::kBadFormat, img::fileInfo(reinterpret_cast<const uint8_t*>("hello world, not a picture"), 26, "", info));
}

// Headers of huge pictures: a status before any big allocation (the memory probe would
// refuse one).
TEST(Codecs, HugeDimensionsGiveAStatusNotAnAllocation) {
    img::setMemoryProbe([]() -> uint64_t { return 64u << 20; });
    Bytes png = files::png(4, 4, PNG_COLOR_TYPE_RGB, 8, false, std::vector<Bytes>(4, Bytes(12, 0)));
    img::wr32(png.data() + 16, 0x00FFFFFF);  // width 16M (the header CRC then fails: either status)
    const Bytes tga = files::tga(2, 24, 65535, 65535, 0, {}, 0, 0, 0, Bytes(30, 0));
    const Bytes pcx = files::pcx(8, 3, 40000, 40000, 40000, Bytes(10, 0));
    Bytes gif = files::gif(4, 4, 0, 0, 4, 4, false, 0, std::vector<uint8_t>(16, 1), 2);
    img::wr16(gif.data() + 6, 65535);
    img::wr16(gif.data() + 8, 65535);
    const Bytes bmp = [] {
        Bytes b = dibb::bmpFile(randomPic(2, 2, 24, 1));
        img::wr32(b.data() + 18, 20000);
        img::wr32(b.data() + 22, 20000);
        return b;
    }();
    Bytes jpeg;
    {
        const Dib small = toDib(randomPic(8, 8, 24, 1));
        ASSERT_EQ(img::kOk, img::writeJpeg(small, 50, 0, false, jpeg, none));
        // the frame header's height and width
        for (size_t i = 2; i + 9 < jpeg.size(); ++i)
            if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
                jpeg[i + 5] = jpeg[i + 7] = 0xFF;  // 65280 x 65280
                jpeg[i + 6] = jpeg[i + 8] = 0x00;
                break;
            }
    }
    Dib d;
    EXPECT_NE(img::kOk, img::readPng(png.data(), png.size(), d, none));
    EXPECT_EQ(img::kTooLarge, img::readTga(tga.data(), tga.size(), d, none));
    EXPECT_EQ(img::kTooLarge, img::readPcx(pcx.data(), pcx.size(), d, none));
    EXPECT_EQ(img::kTooLarge, img::readGif(gif.data(), gif.size(), d, none));
    EXPECT_EQ(img::kTooLarge, img::readBmp(bmp.data(), bmp.size(), d, none));
    EXPECT_EQ(img::kTooLarge, img::readJpeg(jpeg.data(), jpeg.size(), 1, d, none));
    // Within 2^28 pixels but beyond the memory available.
    const Bytes tgaMid = files::tga(2, 24, 8000, 8000, 0, {}, 0, 0, 0, Bytes(30, 0));
    EXPECT_EQ(img::kNoMemory, img::readTga(tgaMid.data(), tgaMid.size(), d, none));
    img::setMemoryProbe(nullptr);
}

TEST(Codecs, EveryCutOfAFileGivesAStatusOrAPicture) {
    const Dib pic = toDib(randomPic(12, 7, 8, 7));
    for (const Format& f : formats()) {
        Bytes file;
        ASSERT_EQ(img::kOk, f.write(pic, file)) << f.name;
        for (size_t n = 0; n < file.size(); n += 1 + n / 16) {
            const Bytes cut(file.begin(), file.begin() + ptrdiff_t(n));
            Dib d;
            const img::Status s = f.read(cut, d);
            EXPECT_EQ(s == img::kOk, !d.empty()) << f.name << " " << n;
        }
    }
}

}  // namespace

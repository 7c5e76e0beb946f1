#include "png.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

struct Chunk {
    std::string type;
    std::vector<uint8_t> data;
};

// Splits a PNG into its chunks, checking the signature, lengths and CRCs.
bool parse(const std::vector<uint8_t>& png, std::vector<Chunk>* chunks) {
    static const uint8_t sig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (png.size() < 8 || std::memcmp(png.data(), sig, 8) != 0) return false;
    size_t at = 8;
    while (at < png.size()) {
        if (png.size() - at < 12) return false;
        const uint32_t n = be32(&png[at]);
        if (png.size() - at - 12 < n) return false;
        const uint32_t crc = be32(&png[at + 8 + n]);
        if (crc != uint32_t(crc32(0L, &png[at + 4], n + 4))) return false;
        chunks->push_back({std::string(reinterpret_cast<const char*>(&png[at + 4]), 4),
                           std::vector<uint8_t>(png.begin() + long(at + 8), png.begin() + long(at + 8 + n))});
        at += 12 + n;
    }
    return true;
}

TEST(Png, RoundTripsPixelsThroughZlib) {
    const uint32_t w = 5, h = 3;  // odd width: rows are not padded
    std::vector<uint8_t> rgb(w * h * 3);
    for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = uint8_t(i * 37 + 11);
    std::vector<uint8_t> png;
    ASSERT_TRUE(qivpng::encode(rgb.data(), w, h, &png));
    std::vector<Chunk> chunks;
    ASSERT_TRUE(parse(png, &chunks));
    ASSERT_EQ(3u, chunks.size());
    EXPECT_EQ("IHDR", chunks[0].type);
    EXPECT_EQ("IDAT", chunks[1].type);
    EXPECT_EQ("IEND", chunks[2].type);
    ASSERT_EQ(13u, chunks[0].data.size());
    EXPECT_EQ(w, be32(&chunks[0].data[0]));
    EXPECT_EQ(h, be32(&chunks[0].data[4]));
    EXPECT_EQ(std::vector<uint8_t>({8, 2, 0, 0, 0}), std::vector<uint8_t>(chunks[0].data.begin() + 8, chunks[0].data.end()));

    std::vector<uint8_t> raw(h * (w * 3 + 1));
    uLongf rawSize = uLongf(raw.size());
    ASSERT_EQ(Z_OK, uncompress(raw.data(), &rawSize, chunks[1].data.data(), uLong(chunks[1].data.size())));
    ASSERT_EQ(raw.size(), rawSize);
    for (uint32_t y = 0; y < h; ++y) {
        EXPECT_EQ(0, raw[y * (w * 3 + 1)]) << "filter byte of row " << y;
        EXPECT_EQ(0, std::memcmp(&raw[y * (w * 3 + 1) + 1], &rgb[y * w * 3], w * 3)) << "row " << y;
    }
}

TEST(Png, RefusesEmptyAndOversizedPictures) {
    uint8_t px[3] = {};
    std::vector<uint8_t> png;
    EXPECT_FALSE(qivpng::encode(px, 0, 1, &png));
    EXPECT_FALSE(qivpng::encode(px, 1, 0, &png));
    EXPECT_FALSE(qivpng::encode(nullptr, 1, 1, &png));
    EXPECT_FALSE(qivpng::encode(px, qivpng::kMaxSide + 1, 1, &png));
    EXPECT_TRUE(qivpng::encode(px, 1, 1, &png));
}

TEST(Png, WritesTheFileWhole) {
    const std::string path = testing::TempDir() + "qivpng_test.png";
    uint8_t px[6] = {255, 0, 0, 0, 0, 255};
    ASSERT_TRUE(qivpng::writeFile(path.c_str(), px, 2, 1));
    std::FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(nullptr, f);
    std::vector<uint8_t> got(4096);
    got.resize(std::fread(got.data(), 1, got.size(), f));
    std::fclose(f);
    std::vector<uint8_t> expected;
    ASSERT_TRUE(qivpng::encode(px, 2, 1, &expected));
    EXPECT_EQ(expected, got);
    std::FILE* tmp = std::fopen((path + ".tmp").c_str(), "rb");
    EXPECT_EQ(nullptr, tmp) << "no temporary file left";
    if (tmp) std::fclose(tmp);
    std::remove(path.c_str());
    EXPECT_FALSE(qivpng::writeFile((testing::TempDir() + "no such folder/x.png").c_str(), px, 2, 1));
}

}  // namespace

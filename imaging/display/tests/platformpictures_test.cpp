#include "platformpictures.h"

#include <gtest/gtest.h>

#include <functional>

namespace imaging {
namespace {

void put16(std::vector<uint8_t>& b, size_t at, uint32_t v) { b[at] = uint8_t(v), b[at + 1] = uint8_t(v >> 8); }
void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) { put16(b, at, v & 0xFFFF), put16(b, at + 2, v >> 16); }

void reseal(std::vector<uint8_t>& f) {
    uint16_t sum = 0;
    for (size_t i = 0; i < 20; i += 2) sum ^= uint16_t(f[i] | f[i + 1] << 8);
    put16(f, 20, sum);
}

// A placeable metafile of 1440 x 720 units at 1440 per inch with a header and an end record.
std::vector<uint8_t> metafile() {
    std::vector<uint8_t> f(22 + 18 + 6, 0);
    put32(f, 0, 0x9AC6CDD7);
    put16(f, 10, 1440), put16(f, 12, 720), put16(f, 14, 1440);
    reseal(f);
    put16(f, 22, 1), put16(f, 24, 9), put16(f, 26, 0x300), put32(f, 28, 12);
    put32(f, 40, 3);  // the end record: 3 words, function 0
    return f;
}

TEST(PlaceableMetafile, HeaderAndSize) {
    const auto m = ParsePlaceableMetafile(metafile());
    ASSERT_TRUE(m);
    EXPECT_EQ(96, m->widthAt(96));
    EXPECT_EQ(48, m->heightAt(96));
    EXPECT_EQ(22u, m->recordsOffset);
    EXPECT_EQ(24u, m->recordsSize);
}

TEST(PlaceableMetafile, RejectsBrokenHeaders) {
    const std::pair<const char*, std::function<void(std::vector<uint8_t>&)>> cases[] = {
        {"wrong key", [](auto& f) { f[0] ^= 1, reseal(f); }},
        {"wrong checksum", [](auto& f) { f[20] ^= 1; }},
        {"no units per inch", [](auto& f) { put16(f, 14, 0), reseal(f); }},
        {"empty box", [](auto& f) { put16(f, 10, 0), reseal(f); }},
        {"size beyond the file", [](auto& f) { put32(f, 28, 1000); }},
        {"size below its header", [](auto& f) { put32(f, 28, 4); }},
        {"huge size", [](auto& f) { put32(f, 28, 0xFFFFFFFF); }},
        {"wrong header size", [](auto& f) { put16(f, 24, 8); }},
        {"wrong type", [](auto& f) { put16(f, 22, 3); }},
        {"cut short", [](auto& f) { f.resize(30); }},
    };
    for (const auto& [name, spoil] : cases) {
        auto f = metafile();
        spoil(f);
        EXPECT_FALSE(ParsePlaceableMetafile(f)) << name;
    }
}

// An icon file with entries of the given size and depth, each with 40 bytes of image.
std::vector<uint8_t> icon(std::initializer_list<std::pair<int, int>> entries) {
    std::vector<uint8_t> f(6 + 16 * entries.size(), 0);
    put16(f, 2, 1), put16(f, 4, uint32_t(entries.size()));
    size_t i = 0;
    for (const auto& [size, bits] : entries) {
        const size_t e = 6 + 16 * i++;
        f[e] = f[e + 1] = uint8_t(size);
        put16(f, e + 6, uint32_t(bits));
        put32(f, e + 8, 40);
        put32(f, e + 12, uint32_t(f.size()));
        f.resize(f.size() + 40, 0);
    }
    return f;
}

TEST(IconDirectory, EntriesAndTheBestImage) {
    const auto images = ParseIconDirectory(icon({{16, 8}, {32, 4}, {32, 32}, {0, 8}}));
    ASSERT_TRUE(images);
    ASSERT_EQ(4u, images->size());
    EXPECT_EQ(256, (*images)[3].width) << "0 stands for 256";
    EXPECT_EQ(3u, BestIconImage(*images));
    EXPECT_EQ(2u, BestIconImage({(*images)[0], (*images)[1], (*images)[2]})) << "same size: the deepest";
}

TEST(IconDirectory, RejectsBrokenDirectories) {
    const std::pair<const char*, std::function<void(std::vector<uint8_t>&)>> cases[] = {
        {"a cursor", [](auto& f) { put16(f, 2, 2); }},
        {"no images", [](auto& f) { put16(f, 4, 0); }},
        {"more entries than bytes", [](auto& f) { put16(f, 4, 200); }},
        {"image beyond the file", [](auto& f) { put32(f, 6 + 12, uint32_t(f.size())); }},
        {"size beyond the file", [](auto& f) { put32(f, 6 + 8, 0xFFFFFFF0); }},
        {"image inside the directory", [](auto& f) { put32(f, 6 + 12, 2); }},
        {"image too small", [](auto& f) { put32(f, 6 + 8, 8); }},
        {"cut short", [](auto& f) { f.resize(4); }},
    };
    for (const auto& [name, spoil] : cases) {
        auto f = icon({{32, 8}});
        spoil(f);
        EXPECT_FALSE(ParseIconDirectory(f)) << name;
    }
}

}  // namespace
}  // namespace imaging

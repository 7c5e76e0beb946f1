#include "localfile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "scene/engine.h"
#include "scene/tests/pel_builder.h"

using namespace qivctl;

TEST(LocalFile, BaseDirectory) {
    struct {
        const char* path;
        const char* source;
        const char* dir;
    } cases[] = {
        {"C:\\objs\\a.pel", "", "C:\\objs"},
        {"C:\\objs/sub\\a.pel", "", "C:\\objs/sub"},
        {"/tmp/x/a.pel", "", "/tmp/x"},
        {"C:\\tmp\\VOV1.tmp", "http://h/objs/a.qiv", "http://h/objs"},
        {"C:\\tmp\\VOV1.tmp", "file://C:\\o\\a.qiv", "file:/"},
        {"C:\\tmp\\VOV1.tmp", "C:\\o\\a.qiv", "C:\\o"},
        {"a.pel", "", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(objectBaseDirectory(c.path, c.source), c.dir) << c.path << " " << c.source;
    std::string longDir(3000, 'd');
    EXPECT_EQ(objectBaseDirectory(longDir + "\\a.pel", ""), "");
}

TEST(LocalFile, PartValueRangeMustLieInTheFile) {
    struct {
        uint32_t offset, size;
        uint64_t length;
        bool ok;
        uint32_t readSize;
    } cases[] = {
        {256, 16, 272, true, 16},       {256, 18, 274, true, 16},   {256, 3, 300, true, 0},
        {256, 20, 272, false, 0},       {300, 0, 272, false, 0},    {0xFFFFFFF0u, 0x20, 0x100000000ull, false, 0},
        {0xFFFFFFF0u, 0x10, 0x100000000ull, true, 0x10}, {272, 0, 272, true, 0},
    };
    for (const auto& c : cases) {
        uint64_t off = 7;
        uint32_t size = 7;
        EXPECT_EQ(partValueRange(c.offset, c.size, c.length, &off, &size), c.ok) << c.offset << "+" << c.size;
        if (c.ok) {
            EXPECT_EQ(size, c.readSize);
            EXPECT_EQ(off, c.offset);
        }
    }
}

TEST(LocalFile, PartValuesAreBoundsChecked) {
    const uint8_t block[] = {1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0x78, 0x56, 0x34, 0x12, 9, 9};
    PartValues v(block, sizeof block);
    EXPECT_EQ(v.count(), 3u);
    uint32_t out = 5;
    EXPECT_TRUE(v.valueOf(2, &out));
    EXPECT_EQ(out, 0x12345678u);
    EXPECT_FALSE(v.valueOf(3, &out));
    EXPECT_FALSE(v.valueOf(size_t(-1), &out));
    EXPECT_EQ(out, 0x12345678u);
    EXPECT_EQ(v.valueOr(1, 0), 0xFFFFFFFFu);
    EXPECT_EQ(v.valueOr(9, 77), 77u);
    EXPECT_EQ(v.bytes(), std::vector<uint8_t>(block, block + 12));
    EXPECT_TRUE(PartValues(nullptr, 8).empty());
    EXPECT_TRUE(PartValues(block, 3).empty());
}

namespace {

std::string writeTemp(const std::string& tag, const pelb::Bytes& bytes) {
    auto p = std::filesystem::temp_directory_path() / ("qivctl_" + tag + "_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".pel");
    std::FILE* f = std::fopen(p.string().c_str(), "wb");
    EXPECT_TRUE(f);
    if (f) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    return p.string();
}

pelb::Object objectWithChunks(std::vector<pelb::Chunk> chunks) {
    pelb::Object o;
    o.chunks = std::move(chunks);
    return o;
}

}  // namespace

TEST(LocalFile, ReadsPartValueChunkOfAnObjectFile) {
    pelb::Bytes values = {3, 0, 0, 0, 4, 0, 0, 0, 0xEE};  // two values and a stray byte
    std::string path = writeTemp("pv", pelb::build(objectWithChunks({{7, {1, 2, 3}}, {21, values}})));
    PartValues pv;
    ASSERT_TRUE(readPartValueChunk(path.c_str(), &pv));
    EXPECT_EQ(pv.count(), 2u);
    EXPECT_EQ(pv.valueOr(1, 0), 4u);
    std::filesystem::remove(path);

    path = writeTemp("none", pelb::build(objectWithChunks({{7, {1, 2, 3}}})));
    EXPECT_FALSE(readPartValueChunk(path.c_str(), &pv));
    EXPECT_TRUE(pv.empty());
    std::filesystem::remove(path);

    // An entry that claims more than the file holds is refused (the directory reader or the
    // range check), never read past the end.
    pelb::Bytes file = pelb::build(objectWithChunks({{21, {1, 0, 0, 0, 2, 0, 0, 0}}}));
    pelb::set32(file, 24 + 8, 0x7FFFFFF0u);
    path = writeTemp("bad", file);
    EXPECT_FALSE(readPartValueChunk(path.c_str(), &pv));
    EXPECT_TRUE(pv.empty());
    std::filesystem::remove(path);
    EXPECT_FALSE(readPartValueChunk("/nonexistent/qivctl.pel", &pv));
    EXPECT_FALSE(readPartValueChunk(nullptr, &pv));
    errReset();
}

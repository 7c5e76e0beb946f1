#include "saveobj.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>

#include "scene/engine.h"
#include "scene/objnode.h"
#include "scene/pelchunk.h"
#include "scene/pelfile.h"
#include "scene/tests/pel_builder.h"
#include "caches.h"
#include "scene/picture.h"
#include "scene/texture.h"
#include "texpaths.h"

using namespace qivctl;
namespace fs = std::filesystem;

namespace {

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}
void add32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

// A payload: header, a 64-byte object stream with its flag byte and name, then chunks.
std::vector<uint8_t> payload(const std::vector<std::pair<uint32_t, std::vector<uint8_t>>>& chunks,
                             const std::string& name = "Tisch", uint8_t flags = 4 | 16) {
    std::vector<uint8_t> p(40 + 64, 0);
    std::memcpy(p.data(), "Qiv1", 4);
    put32(p, 8, 1);
    put32(p, 20, 40);
    put32(p, 24, 64);
    p[40 + 28] = flags;
    std::memcpy(p.data() + 40 + 50, name.data(), std::min<size_t>(name.size(), 13));
    put32(p, 28, chunks.empty() ? 0 : uint32_t(p.size()));
    for (const auto& [type, data] : chunks) {
        add32(p, type);
        add32(p, uint32_t(data.size()));
        p.insert(p.end(), data.begin(), data.end());
    }
    put32(p, 4, uint32_t(p.size()));
    return p;
}

struct SaveTest : ::testing::Test {
    fs::path dir;
    PelContent* content = nullptr;
    ScnNode* node = nullptr;
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("qivctl_save_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        pelb::Object o = pelb::sample();
        o.chunks.push_back({0x15, pelb::Bytes{1, 0, 0, 0}});
        o.chunks.push_back({0x10001, pelb::Bytes{'X', 'X', 'o', 'l', 'd', 1, 0}});
        pelb::writeFile(dir / "src.pel", pelb::build(o));
        PelFileInfo info;
        size_t bytes;
        ASSERT_EQ(pelLoad((dir / "src.pel").string().c_str(), nullptr, nullptr, &info, &content, &bytes), 1);
        ASSERT_EQ(scnCreateObjectNode(content, 0, nullptr, 1, 2, nullptr, 0, nullptr, &node), 1);
    }
    void TearDown() override {
        scnNodeFree(&node, nullptr);
        pelFreeObject(&content);
        fs::remove_all(dir);
    }
    std::vector<uint32_t> chunkIds(const fs::path& p, std::vector<uint8_t>* texts = nullptr) {
        uint32_t count = 0;
        PelChunkEntry* d = nullptr;
        std::vector<uint32_t> ids;
        if (!pelReadDirectory(p.string().c_str(), nullptr, nullptr, &count, &d)) return ids;
        auto bytes = pelb::readFile(p);
        for (uint32_t i = 0; i < count; ++i) {
            if (d[i].id == 0 || d[i].id == PEL_CHUNK_CONTINUE) continue;
            ids.push_back(d[i].id);
            if (texts && d[i].id == kChunkObjectTexts)
                texts->assign(bytes.begin() + d[i].offset, bytes.begin() + d[i].offset + d[i].size);
        }
        pelFreeDirectory(&d);
        return ids;
    }
    bool onlyTarget(const std::string& target) {
        for (const auto& e : fs::directory_iterator(dir)) {
            std::string n = e.path().filename().string();
            if (n != "src.pel" && n != target) return false;
        }
        return true;
    }
};

bool has(const std::vector<uint32_t>& ids, uint32_t id) { return std::find(ids.begin(), ids.end(), id) != ids.end(); }

}  // namespace

TEST(SaveObject, NameListGivesTheDisplayName) {
    auto list = objectNameList("http://h/objs/stuhl.qiv?x=1", "");
    std::string s(list.begin(), list.end());
    static const char expected[] = "XXhttp://h/objs/stuhl.qiv?x=1\x01\0XXstuhl.qiv\x01";
    EXPECT_EQ(s, std::string(expected, sizeof expected));
    char* text = nullptr;
    ASSERT_EQ(pelGetLangText(reinterpret_cast<const char*>(list.data()), uint32_t(list.size()), "DE", 1, 1, &text), 1);
    EXPECT_STREQ(text, "stuhl.qiv");
    memFreeRef(reinterpret_cast<void**>(&text));
    list = objectNameList("http://h/a.qiv", "DEStuhl\x01" "ENChair\x01");
    ASSERT_EQ(pelGetLangText(reinterpret_cast<const char*>(list.data()), uint32_t(list.size()), "EN", 1, 1, &text), 1);
    EXPECT_STREQ(text, "Chair");
    memFreeRef(reinterpret_cast<void**>(&text));
    EXPECT_EQ(objectNameList(std::string(5000, 'u'), std::string(2000, 'n')).size(), 2 + 2047 + 2 + 2 + 2047 + 2);
    list = objectNameList("u", std::string("a\0b", 3));
    EXPECT_EQ(std::string(list.begin(), list.end()), std::string("XXu\x01\0XXu\x01\0", 10));
}

TEST(SaveObject, PayloadChunksAreBoundsChecked) {
    auto p = payload({{0x100, {1, 2}}, {0x15, {3}}, {0x10001, {}}});
    std::vector<PayloadChunk> chunks;
    ASSERT_TRUE(payloadChunks(p.data(), p.size(), &chunks));
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(chunks[1].type, 0x15u);
    EXPECT_EQ(p[chunks[1].offset], 3);
    EXPECT_EQ(chunks[2].length, 0u);
    std::string name;
    uint32_t flags = 0;
    ASSERT_TRUE(payloadObjectInfo(p.data(), p.size(), &name, &flags));
    EXPECT_EQ(name, "Tisch");
    EXPECT_EQ(flags, 20u);

    // Hostile lengths and offsets: refused, never read beyond the bytes there.
    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> edit;
        bool chunksOk, infoOk;
    } cases[] = {
        {"chunk longer than the payload", [](auto& b) { put32(b, 104 + 4, 0xFFFFFFF0u); }, false, true},
        {"declared size cuts a chunk", [](auto& b) { put32(b, 4, uint32_t(b.size() - 1)); }, false, true},
        {"declared size below the header", [](auto& b) { put32(b, 4, 12); }, false, false},
        {"chunk list inside the header", [](auto& b) { put32(b, 28, 8); }, false, true},
        {"chunk list beyond the end", [](auto& b) { put32(b, 28, 0xFFFFFFFFu); }, false, true},
        {"trailing bytes", [](auto& b) { b.insert(b.end(), 3, 0); put32(b, 4, uint32_t(b.size())); }, false, true},
        {"stream beyond the end", [](auto& b) { put32(b, 24, 0xFFFFFFFFu); }, true, false},
        {"stream too short", [](auto& b) { put32(b, 24, 40); }, true, false},
        {"bad magic", [](auto& b) { b[0] = 'X'; }, false, false},
    };
    for (const auto& c : cases) {
        auto b = p;
        c.edit(b);
        EXPECT_EQ(payloadChunks(b.data(), b.size(), &chunks), c.chunksOk) << c.what;
        EXPECT_EQ(payloadObjectInfo(b.data(), b.size(), &name, &flags), c.infoOk) << c.what;
    }
    // Declared size beyond what is there: the bytes there count.
    auto big = p;
    put32(big, 4, 0x7FFFFFFF);
    EXPECT_TRUE(payloadChunks(big.data(), big.size(), &chunks));
    EXPECT_FALSE(payloadChunks(p.data(), 39, &chunks));
    // A name without its terminator ends with the stream.
    auto unterminated = payload({}, "ABCDEFGHIJKLM");
    put32(unterminated, 24, 63);
    ASSERT_TRUE(payloadObjectInfo(unterminated.data(), unterminated.size(), &name, &flags));
    EXPECT_EQ(name, "ABCDEFGHIJKLM");
}

TEST_F(SaveTest, FromContainerCopiesChunksAndNeverOverwrites) {
    auto p = payload({{0x100, {1, 2}}, {0x101, {9}}, {0x15, {7, 0, 0, 0}}, {0x10001, {'X', 'X', 'a', 1, 0}},
                      {0x111, std::vector<uint8_t>(32, 0)}});
    auto list = objectNameList("http://h/t.qiv", "");
    std::string target = (dir / "out.pel").string();
    ASSERT_EQ(WritePelFromContainer(node, p.data(), p.size(), target, list, nullptr), 1);
    std::vector<uint8_t> texts;
    auto ids = chunkIds(target, &texts);
    EXPECT_TRUE(has(ids, 0x15) && has(ids, 0x111));
    EXPECT_FALSE(has(ids, 0x100) || has(ids, 0x101));
    EXPECT_EQ(texts, list);
    char name[100] = {};
    PelFileInfo info{};
    uint32_t count;
    PelChunkEntry* d = nullptr;
    ASSERT_EQ(pelReadDirectory(target.c_str(), name, &info, &count, &d), 1);
    pelFreeDirectory(&d);
    EXPECT_STREQ(name, "Tisch");
    EXPECT_EQ(info.flags & (4 | 8 | 16 | 32 | 128), 4u | 16u);
    EXPECT_TRUE(onlyTarget("out.pel"));

    // An existing target stays as it is.
    auto before = pelb::readFile(target);
    EXPECT_EQ(WritePelFromContainer(node, p.data(), p.size(), target, {}, "Other"), 0);
    EXPECT_EQ(pelb::readFile(target), before);

    // A bad payload leaves nothing behind.
    auto bad = p;
    put32(bad, 104 + 4, 0xFFFFFF00u);
    EXPECT_EQ(WritePelFromContainer(node, bad.data(), bad.size(), (dir / "bad.pel").string(), list, nullptr), 0);
    EXPECT_TRUE(onlyTarget("out.pel"));

    // Without a name list the payload's own texts are kept.
    ASSERT_EQ(WritePelFromContainer(node, p.data(), p.size(), (dir / "keep.pel").string(), {}, "Named"), 1);
    chunkIds(dir / "keep.pel", &texts);
    EXPECT_EQ(texts, (std::vector<uint8_t>{'X', 'X', 'a', 1, 0}));
}

TEST_F(SaveTest, FromObjectFileCopiesItsChunks) {
    auto list = objectNameList("http://h/src.pel", "");
    std::string target = (dir / "copy.pel").string();
    ASSERT_EQ(WritePelFromFile(node, (dir / "src.pel").string(), target, list), 1);
    std::vector<uint8_t> texts;
    auto ids = chunkIds(target, &texts);
    EXPECT_TRUE(has(ids, 0x15));
    EXPECT_EQ(texts, list);
    EXPECT_EQ(WritePelFromFile(node, (dir / "src.pel").string(), target, list), 0);
    EXPECT_EQ(WritePelFromFile(node, (dir / "missing.pel").string(), (dir / "m.pel").string(), list), 0);
    EXPECT_TRUE(onlyTarget("copy.pel"));
}

// A source chunk whose directory entry reaches past the file's end is left out, as the
// readers leave it out; the rest is copied.
TEST_F(SaveTest, FromObjectFileLeavesOutChunksPastItsEnd) {
    pelb::Bytes src = pelb::readFile(dir / "src.pel");
    uint32_t count = 0;
    PelChunkEntry* d = nullptr;
    ASSERT_EQ(pelReadDirectory((dir / "src.pel").string().c_str(), nullptr, nullptr, &count, &d), 1);
    std::vector<pelb::Bytes> entries;  // of every 0x15 chunk, as the file holds them
    for (uint32_t i = 0; i < count; ++i)
        if (d[i].id == 0x15) {
            entries.emplace_back();
            for (uint32_t v : {d[i].id, d[i].offset, d[i].size})
                for (int b = 0; b < 4; ++b) entries.back().push_back(uint8_t(v >> (8 * b)));
        }
    pelFreeDirectory(&d);
    ASSERT_FALSE(entries.empty());
    for (const pelb::Bytes& entry : entries) {
        auto at = std::search(src.begin(), src.end(), entry.begin(), entry.end());
        ASSERT_NE(at, src.end());
        put32(src, size_t(at - src.begin()) + 8, 0xFFFFFFF0u);  // far past the end
    }
    pelb::writeFile(dir / "src.pel", src);
    const std::string target = (dir / "copy.pel").string();
    ASSERT_EQ(WritePelFromFile(node, (dir / "src.pel").string(), target, {}), 1);
    const std::vector<uint32_t> ids = chunkIds(target);
    EXPECT_FALSE(has(ids, 0x15));
    EXPECT_TRUE(has(ids, 0x10001)) << "the other chunks are copied";
}

TEST(SaveObject, TexturePathsStayInTheFolder) {
    struct {
        const char* key;
        const char* path;
        std::vector<std::string> folders;
    } cases[] = {
        {"HOLZ.BMP", "C:\\tex\\HOLZ.BMP", {}},
        {"HTTP://H/BASE>SUB/HOLZ.BMP", "C:\\tex\\SUB\\HOLZ.BMP", {"C:\\tex\\SUB"}},
        {">A\\B\\C.BMP", "C:\\tex\\A\\B\\C.BMP", {"C:\\tex\\A", "C:\\tex\\A\\B"}},
        {">A//B\\\\C.BMP", "C:\\tex\\A\\B\\C.BMP", {"C:\\tex\\A", "C:\\tex\\A\\B"}},
        {"X>..\\..\\WIN.INI", "", {}},
        {"X>C:\\WIN.INI", "", {}},
        {"X>\\\\HOST\\SHARE\\A", "", {}},
        {"X>/ETC/PASSWD", "", {}},
        {"X>NUL", "", {}},
        {"X>", "", {}},
        {"X>.", "", {}},
        {"X>A\\. .\\B", "", {}},
    };
    for (const auto& c : cases) {
        std::string path;
        std::vector<std::string> folders;
        bool ok = textureSavePath("C:\\tex", c.key, &path, &folders);
        EXPECT_EQ(ok, *c.path != 0) << c.key;
        if (ok) {
            EXPECT_EQ(path, c.path);
            EXPECT_EQ(folders, c.folders);
        }
    }
    std::string path;
    EXPECT_FALSE(textureSavePath("C:\\tex", std::string(300, 'A'), &path, nullptr));
    EXPECT_FALSE(textureSavePath("", "A.BMP", &path, nullptr));
}

TEST(SaveObject, PlanAndLanguage) {
    using K = ObjectSavePlan::Kind;
    EXPECT_EQ(planObjectSave(true, 1, false, false, false).kind, K::Refuse);
    auto p = planObjectSave(false, 2, false, false, false);
    EXPECT_EQ(p.kind, K::AllObjects);
    EXPECT_TRUE(p.buildNameList);
    EXPECT_EQ(planObjectSave(false, 2, true, false, true).kind, K::RawContainer);
    p = planObjectSave(false, 1, false, true, true);
    EXPECT_EQ(p.kind, K::FromObjectFile);
    EXPECT_TRUE(p.saveTextures);
    EXPECT_FALSE(p.buildNameList);
    p = planObjectSave(false, 1, true, false, false);
    EXPECT_EQ(p.kind, K::RawContainer);
    EXPECT_FALSE(p.saveTextures);
    EXPECT_EQ(planObjectSave(false, 1, false, false, false).kind, K::FromContainer);

    char lang[3] = {'X', 'X', 0};
    EXPECT_EQ(putLanguage("E", lang), LanguagePut::InvalidArg);
    EXPECT_EQ(putLanguage("ENG", lang), LanguagePut::InvalidArg);
    EXPECT_EQ(putLanguage(std::string("E\0", 2), lang), LanguagePut::InvalidArg);
    EXPECT_EQ(putLanguage("xx", lang), LanguagePut::Unchanged);
    EXPECT_EQ(putLanguage("en", lang), LanguagePut::Changed);
    EXPECT_STREQ(lang, "EN");
}

namespace {
TexRecord* smallTexture() {
    TexRecord* t = nullptr;
    if (!texAllocRecord(&t)) return nullptr;
    std::vector<uint8_t> pixels(16);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t(i % 3);
    std::vector<uint32_t> pal(256, 0);
    pal[1] = 0x336699, pal[2] = 0xFFFFFF;
    PicRecord pic{};
    pic.pixels = pixels.data();
    pic.width = 4;
    pic.height = 4;
    pic.bytesPerPixel = 1;
    pic.palette = pal.data();
    pic.paletteCount = 256;
    if (!picConvert(&pic, 1024, 1024, 0, 0, t, nullptr)) texFree(&t);
    return t;
}
}  // namespace

TEST_F(SaveTest, TexturesSavedBelowTheirFolderOnce) {
    cachesReset();
    TexRecord* holz = smallTexture();
    TexRecord* sub = smallTexture();
    TexRecord* climb = smallTexture();
    TexRecord* loose = smallTexture();
    ASSERT_TRUE(holz && sub && climb && loose);
    ASSERT_EQ(TextureCacheAdd("holz.bmp", holz, 1, 1), 1);
    ASSERT_EQ(TextureCacheAdd("http://h/base>sub/stein.bmp", sub, 2, 2), 1);
    ASSERT_EQ(TextureCacheAdd("x>../../evil.bmp", climb, 1, 1), 1);
    const std::string texDir = (dir / "tex").string();
    fs::create_directories(texDir);

    EXPECT_EQ(SaveTextureFile(holz, texDir), 1);
    EXPECT_TRUE(fs::exists(dir / "tex" / "HOLZ.BMP"));
    EXPECT_EQ(SaveTextureFile(sub, texDir), 1);
    EXPECT_TRUE(fs::exists(dir / "tex" / "SUB" / "STEIN.BMP"));
    // An existing file counts as saved and is kept.
    pelb::writeFile(dir / "tex" / "HOLZ.BMP", pelb::Bytes{1, 2, 3});
    EXPECT_EQ(SaveTextureFile(holz, texDir), 1);
    EXPECT_EQ(pelb::readFile(dir / "tex" / "HOLZ.BMP"), (pelb::Bytes{1, 2, 3}));
    EXPECT_EQ(SaveTextureFile(climb, texDir), 0);
    EXPECT_FALSE(fs::exists(dir / "EVIL.BMP"));
    EXPECT_EQ(SaveTextureFile(loose, texDir), 0);  // not cached
    // A folder level that is a file cannot be made.
    pelb::writeFile(dir / "tex2", pelb::Bytes{0});
    EXPECT_EQ(SaveTextureFile(sub, (dir / "tex2").string()), 0);
    texFree(&loose);
    cachesReset();
}

// A cached texture by name into a file of the caller's: never over a file unless told to,
// with the entry's scales as the picture's size.
TEST_F(SaveTest, CachedTextureSavedByName) {
    cachesReset();
    TexRecord* wood = smallTexture();
    ASSERT_TRUE(wood);
    ASSERT_EQ(TextureCacheAdd("http://h/t>wood.bmp", wood, 2, 0.5f, "page"), 1);
    const fs::path own = dir / "own", out = own / "out.bmp";
    fs::create_directories(own);
    EXPECT_EQ(SaveCachedTexture("x>wood.bmp", out.string()), 0) << "another scope's name is not this one";
    EXPECT_EQ(SaveCachedTexture("x>WOOD.BMP", out.string(), "page"), 1);
    float wm = 0, hm = 0;
    PicRecord* back = picReadBmp(out.string().c_str(), &wm, &hm);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->width, 4);
    EXPECT_NEAR(wm, 2.0f, 0.01f);
    EXPECT_NEAR(hm, 0.5f, 0.01f);
    picFree(&back);
    pelb::writeFile(out, pelb::Bytes{9});
    EXPECT_EQ(SaveCachedTexture("x>wood.bmp", out.string(), "page"), 0);
    EXPECT_EQ(pelb::readFile(out), pelb::Bytes{9}) << "the file there stays";
    EXPECT_EQ(SaveCachedTexture("x>wood.bmp", out.string(), "page", true), 1);
    EXPECT_GT(fs::file_size(out), 54u);
    EXPECT_EQ(SaveCachedTexture("x>wood.bmp", (own / "no" / "such.bmp").string(), "page"), 0);
    EXPECT_EQ(SaveCachedTexture("x>stone.bmp", (own / "s.bmp").string(), "page"), 0);
    EXPECT_FALSE(fs::exists(own / "s.bmp"));
    size_t files = 0;
    for (const auto& e : fs::directory_iterator(own)) files += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 1u) << "nothing left beside the file";
    cachesReset();
}

TEST_F(SaveTest, SaveObjectFileSteps) {
    cachesReset();
    TexRecord* holz = smallTexture();
    ASSERT_TRUE(holz);
    TextureCacheAdd("holz.bmp", holz, 1, 1);
    auto p = payload({{0x15, {7, 0, 0, 0}}});
    ObjectSaveSource src;
    src.node = node;
    src.id = 1, src.groupId = 2;
    mtxMakeTranslation(3, 0, 0, &src.placement);
    src.objectUrl = "http://h/objs/tisch.qiv";
    src.payload = p.data();
    src.payloadSize = p.size();
    src.textures = {holz};
    int released = 0, timed = 0, raws = 0, alls = 0;
    ObjectSaveHooks hooks;
    hooks.releaseHardware = [&] { ++released; };
    hooks.setFileTime = [&](const std::string&) { ++timed; };
    hooks.saveContainerFile = [&](const std::string&) { return ++raws, 1; };
    hooks.saveAllObjects = [&](const std::string&, const char*, bool) { return ++alls, 1; };
    const std::string texDir = dir.string();

    std::string out = (dir / "tisch.pel").string();
    ASSERT_EQ(saveObjectFile(src, out, false, texDir, nullptr, false, hooks), 1);
    EXPECT_EQ(released, 1);
    EXPECT_EQ(timed, 1);
    EXPECT_TRUE(fs::exists(dir / "HOLZ.BMP"));
    std::vector<uint8_t> texts;
    chunkIds(out, &texts);
    EXPECT_EQ(texts, objectNameList(src.objectUrl, ""));
    // The node is back at its placement.
    EXPECT_FLOAT_EQ(node->base.m[12], 3.0f);

    EXPECT_EQ(saveObjectFile(src, out, false, texDir, nullptr, false, hooks), 0);  // never overwrites
    EXPECT_EQ(saveObjectFile(src, (dir / "raw.qiv").string(), true, texDir, nullptr, false, hooks), 1);
    EXPECT_EQ(raws, 1);
    src.slotCount = 2;
    EXPECT_EQ(saveObjectFile(src, (dir / "all.pel").string(), false, texDir, "Alle", true, hooks), 1);
    EXPECT_EQ(alls, 1);
    src.slotCount = 1;
    src.expandedCopy = (dir / "src.pel").string();
    src.objectUrl = "file://C:\\objs\\src.pel";
    ASSERT_EQ(saveObjectFile(src, (dir / "fromfile.pel").string(), false, texDir, nullptr, false, hooks), 1);
    chunkIds(dir / "fromfile.pel", &texts);
    EXPECT_EQ(texts, (std::vector<uint8_t>{'X', 'X', 'o', 'l', 'd', 1, 0}));  // local: the source's own texts
    cachesReset();
}

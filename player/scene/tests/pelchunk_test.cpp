// Chunk directory, chunk writing/removal in place, text lists and the content language.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "scene/anim.h"
#include "scene/contentlist.h"
#include "scene/engine.h"
#include "scene/pelchunk.h"
#include "scene/pelfile.h"
#include "scene/scene.h"
#include "scene/tests/pel_builder.h"

namespace {

using pelb::Bytes;

// ---------------------------------------------------------------------------
// Text lists

struct Lookup {
    const char* what;
    Bytes list;
    const char* language;
    int fallback;
    uint32_t index;
    const char* expect;  // null: nothing found
};

TEST(PelText, Lookup) {
    const Bytes list = pelb::textList({
        {{"EN", "zero"}},
        {},
        {{"DE", "zwei"}, {"XX", "two"}},
        {{"EN", ""}},
        {{"FR", "quatre"}},
    });
    const Bytes marked = pelb::textList({{}, {{"EN", "one"}}}, true);  // empty entry as 0x01 0x00
    Lookup cases[] = {
        {"direct", list, "EN", 0, 0, "zero"},
        {"second segment", list, "XX", 0, 2, "two"},
        {"fallback to XX", list, "FR", 1, 2, "two"},
        {"no fallback", list, "FR", 0, 2, nullptr},
        {"XY suppresses the fallback", list, "XY", 1, 2, nullptr},
        {"language wins over XX", list, "DE", 1, 2, "zwei"},
        {"empty entry", list, "EN", 1, 1, nullptr},
        {"empty text", list, "EN", 0, 3, ""},
        {"no XX segment", list, "EN", 1, 4, nullptr},
        {"beyond the list", list, "EN", 1, 5, nullptr},
        {"marked empty entry", marked, "EN", 1, 0, nullptr},
        {"behind a marked entry", marked, "EN", 0, 1, "one"},
        {"list too short", Bytes{'E', 0}, "EN", 1, 0, nullptr},
        {"entry not closed", Bytes{'E', 'N', 'x', 1}, "EN", 1, 0, nullptr},
        {"segment not closed", Bytes{'E', 'N', 'x', 0}, "EN", 1, 0, nullptr},
        {"no language", list, nullptr, 1, 2, "two"},
    };
    for (const Lookup& k : cases) {
        char* out = reinterpret_cast<char*>(1);
        int r = pelGetLangText(reinterpret_cast<const char*>(k.list.data()), uint32_t(k.list.size()), k.language,
                               k.fallback, k.index, &out);
        if (k.expect) {
            ASSERT_EQ(r, 1) << k.what;
            ASSERT_NE(out, nullptr) << k.what;
            EXPECT_STREQ(out, k.expect) << k.what;
        } else {
            EXPECT_EQ(r, 0) << k.what;
            EXPECT_EQ(out, nullptr) << k.what;
        }
        memFreeRefT(&out);
    }
    EXPECT_EQ(pelGetLangText(nullptr, 10, "EN", 1, 0, nullptr), 0);
}

// Applies pelSetLangText to a list held in engine memory; returns the bytes.
struct Held {
    char* list = nullptr;
    uint32_t size = 0;
    explicit Held(const Bytes& b) {
        if (b.empty()) return;
        list = static_cast<char*>(memAllocZ(b.size()));
        std::memcpy(list, b.data(), b.size());
        size = uint32_t(b.size());
    }
    ~Held() { memFreeRefT(&list); }
    Bytes bytes() const { return Bytes(list, list + size); }
};

TEST(PelText, Set) {
    struct Case {
        const char* what;
        Bytes before;
        const char* text;
        uint32_t index;
        const char* language;
        uint32_t entries;
        int result;
        Bytes after;
    } cases[] = {
        {"new list", {}, "abc", 1, "EN", 3, 1, pelb::textList({{}, {{"EN", "abc"}}, {}}, true)},
        {"new list, empty text", {}, "", 1, "EN", 3, 1, {}},
        {"new list, no entries", {}, "abc", 0, "EN", 0, 1, {}},
        {"new list, index beyond", {}, "abc", 3, "EN", 3, 0, {}},
        {"replace in place", pelb::textList({{{"DE", "alt"}, {"XX", "x"}}, {}}), "neu", 0, "DE", 0, 1,
         pelb::textList({{{"DE", "neu"}, {"XX", "x"}}, {}})},
        {"append behind the last segment", pelb::textList({{}, {{"DE", "a"}}}), "b", 1, "EN", 0, 1,
         pelb::textList({{}, {{"DE", "a"}, {"EN", "b"}}})},
        {"fill an empty entry", pelb::textList({{}, {}}), "b", 0, "EN", 0, 1, pelb::textList({{{"EN", "b"}}, {}})},
        {"fill a marked empty entry", pelb::textList({{}, {}}, true), "b", 0, "EN", 0, 1,
         pelb::textList({{{"EN", "b"}}, {}}, true)},
        {"remove", pelb::textList({{{"DE", "a"}, {"EN", "b"}}}), "", 0, "DE", 0, 1,
         pelb::textList({{{"EN", "b"}}})},
        {"remove a missing text", pelb::textList({{{"DE", "a"}}}), "", 0, "EN", 0, 1,
         pelb::textList({{{"DE", "a"}}})},
        {"index beyond", pelb::textList({{{"DE", "a"}}}), "b", 1, "DE", 0, 0, pelb::textList({{{"DE", "a"}}})},
        {"separator in text", pelb::textList({{}}), "a\x01" "b", 0, "DE", 0, 0, pelb::textList({{}})},
    };
    for (const Case& k : cases) {
        Held h(k.before);
        EXPECT_EQ(pelSetLangText(&h.list, &h.size, k.text, k.index, k.language, k.entries), k.result) << k.what;
        EXPECT_EQ(h.bytes(), k.after) << k.what;
    }
    // A text set into a marked empty entry is found again.
    Held h(pelb::textList({{}, {}, {}}, true));
    ASSERT_EQ(pelSetLangText(&h.list, &h.size, "two", 1, "EN", 3), 1);
    char* out = nullptr;
    ASSERT_EQ(pelGetLangText(h.list, h.size, "EN", 0, 1, &out), 1);
    EXPECT_STREQ(out, "two");
    memFreeRefT(&out);
    EXPECT_EQ(pelSetLangText(&h.list, &h.size, nullptr, 0, "EN", 3), 0);
}

// ---------------------------------------------------------------------------
// Content language

TEST(PelLanguage, RenamesRegisteredContents) {
    pelResetObjectList();
    pelResetLanguage();
    char lang[2];
    pelGetLanguage(lang);
    EXPECT_EQ(std::string(lang, 2), "DE");

    PelContent c{};
    c.partCount = 1;
    AnimDesc descs[2]{};
    c.descs = descs;
    c.descCount = 2;
    std::strcpy(descs[0].name, "start");
    descs[1].flags = ANIM_DESC_SUBRANGE;
    animDescSetTrackRange(&descs[1], 3, 4);
    Bytes list = pelb::textList({{{"XX", "part"}},
                                 {{"EN", "walk"}, {"XX", "any"}},
                                 {{"EN", std::string(127, 'r')}}});
    c.textList1 = reinterpret_cast<char*>(list.data());
    c.textList1Size = uint32_t(list.size());
    pelRegisterObject(&c);

    EXPECT_EQ(pelSetLanguage("DE"), 1);  // unchanged language: names stay
    EXPECT_STREQ(descs[0].name, "start");
    EXPECT_EQ(pelSetLanguage("EN"), 1);
    EXPECT_STREQ(descs[0].name, "walk");
    // A sub-range descriptor keeps its track range behind the name.
    EXPECT_EQ(std::strlen(descs[1].name), 110u);
    uint32_t first = 0, count = 0;
    animDescGetTrackRange(&descs[1], &first, &count);
    EXPECT_EQ(first, 3u);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(pelSetLanguage("FR"), 1);
    EXPECT_STREQ(descs[0].name, "any");

    pelResetObjectList();
    pelResetLanguage();
}

// Many parts and sub-animations: each name is looked up where its entry starts, so the
// renaming walks the list once instead of once per name.
TEST(PelLanguage, NamesManySubAnimationsInOneWalk) {
    pelResetObjectList();
    pelResetLanguage();
    const uint32_t parts = 4000, named = 1000;
    std::vector<pelb::TextEntry> entries(parts);
    for (uint32_t i = 0; i < named; ++i)
        entries.push_back({{"DE", "lauf" + std::to_string(i)}, {"XX", "run" + std::to_string(i)}});
    entries.push_back({});  // one named entry too few: the last descriptor keeps its name
    Bytes list = pelb::textList(entries);
    PelContent c{};
    c.partCount = parts;
    std::vector<AnimDesc> descs(named + 2);
    std::strcpy(descs[named + 1].name, "kept");
    c.descs = descs.data();
    c.descCount = named + 2;
    c.textList1 = reinterpret_cast<char*>(list.data());
    c.textList1Size = uint32_t(list.size());
    pelRegisterObject(&c);
    const uint64_t before = pelTextEntriesSkipped();
    EXPECT_EQ(pelSetLanguage("FR"), 1);
    EXPECT_STREQ(descs[0].name, "run0");
    EXPECT_STREQ(descs[named - 1].name, ("run" + std::to_string(named - 1)).c_str());
    EXPECT_STREQ(descs[named].name, "");
    EXPECT_STREQ(descs[named + 1].name, "kept");
    EXPECT_EQ(pelSetLanguage("DE"), 1);
    EXPECT_STREQ(descs[7].name, "lauf7");
    EXPECT_LT(pelTextEntriesSkipped() - before, uint64_t(parts + named));
    pelResetObjectList();
    pelResetLanguage();
}

// ---------------------------------------------------------------------------
// Directory and chunk writing

class PelChunk : public ::testing::Test {
protected:
    void SetUp() override { errReset(); }
    std::string write(const Bytes& b) {
        pelb::writeFile(path, b);
        return path.string();
    }
    std::vector<PelChunkEntry> directory() {
        uint32_t count = 0;
        PelChunkEntry* dir = nullptr;
        char name[100];
        PelFileInfo info;
        std::vector<PelChunkEntry> out;
        if (!pelReadDirectory(path.string().c_str(), name, &info, &count, &dir)) return out;
        out.assign(dir, dir + count);
        pelFreeDirectory(&dir);
        EXPECT_EQ(dir, nullptr);
        return out;
    }
    pelb::TempDir tmp{"chunk"};
    std::filesystem::path path = tmp / "obj.pel";
};

TEST_F(PelChunk, ReadDirectory) {
    pelb::Object o = pelb::sample();
    o.chunks.clear();
    write(pelb::build(o));
    EXPECT_TRUE(directory().empty());

    for (size_t n : {size_t(3), size_t(4), size_t(6)}) {
        o.chunks.clear();
        for (size_t i = 0; i < n; ++i) o.chunks.push_back({uint32_t(100 + i), Bytes(i + 1, uint8_t(i))});
        for (bool cont : {false, true}) {
            o.continuation = cont;
            write(pelb::build(o));
            auto dir = directory();
            ASSERT_EQ(dir.size(), n) << n << cont;
            for (size_t i = 0; i < n; ++i) {
                EXPECT_EQ(dir[i].id, 100 + i);
                EXPECT_EQ(dir[i].size, i + 1);
                EXPECT_EQ(dir[i].extra, uint32_t(i * (i + 1)));
            }
        }
    }
    uint32_t count = 7;
    PelChunkEntry* dir = nullptr;
    EXPECT_EQ(pelReadDirectory((tmp / "none.pel").string().c_str(), nullptr, nullptr, &count, &dir), 0);
    EXPECT_EQ(count, 0u);
}

// Growing from three chunks to six and removing them again in reverse
// gives back the very same file; each step keeps the documented layout.
TEST_F(PelChunk, GrowAndShrinkRestoresTheFile) {
    pelb::Object o = pelb::sample();
    const Bytes original = pelb::build(o);
    write(original);
    std::vector<Bytes> steps{original};
    const uint32_t ids[] = {0x30000, 0x30001, 0x30002};
    for (int i = 0; i < 3; ++i) {
        Bytes data(10 + i, uint8_t(0xA0 + i));
        ASSERT_EQ(pelWriteChunk(path.string().c_str(), ids[i], uint32_t(data.size()), data.data()), 1);
        Bytes now = pelb::readFile(path);
        EXPECT_EQ(pelb::get32(now, 88), now.size());
        auto dir = directory();
        ASSERT_EQ(dir.size(), 4u + i);
        EXPECT_EQ(dir.back().id, ids[i]);
        EXPECT_EQ(dir.back().extra, pelb::byteSum(data));
        if (i == 1) {  // fifth chunk: continuation record, two entries end the file
            EXPECT_EQ(pelb::get32(now, 72), 0xFFFFFFFFu);
            EXPECT_EQ(pelb::get32(now, 80), 5u);
            EXPECT_EQ(pelb::get32(now, 76), now.size() - 32);
            EXPECT_EQ(pelb::get32(now, now.size() - 32), 0x30000u);
            EXPECT_EQ(pelb::get32(now, now.size() - 16), 0x30001u);
        }
        steps.push_back(now);
    }
    // The file still loads with every chunk in place.
    {
        PelContent* c = nullptr;
        size_t bytes;
        PelFileInfo info;
        char file[PEL_FILE_NAME_MAX], name[100];
        ASSERT_EQ(pelLoad(path.string().c_str(), file, name, &info, &c, &bytes), 1);
        EXPECT_EQ(c->partWords[1], 9u);
        pelFreeObject(&c);
    }
    for (int i = 2; i >= 0; --i) {
        ASSERT_EQ(pelRemoveChunk(path.string().c_str(), ids[i]), 1);
        EXPECT_EQ(pelb::readFile(path), steps[size_t(i)]) << i;
    }
    EXPECT_FALSE(std::filesystem::exists(path.string() + ".~tmp"));
}

TEST_F(PelChunk, RemoveFromTheMiddle) {
    pelb::Object o = pelb::sample();
    for (uint32_t i = 0; i < 3; ++i) o.chunks.push_back({0x40000 + i, Bytes(5, uint8_t(i))});
    write(pelb::build(o));  // six chunks
    ASSERT_EQ(pelRemoveChunk(path.string().c_str(), 0x10001), 1);
    pelb::Object expect = o;
    expect.chunks.erase(expect.chunks.begin() + 1);
    EXPECT_EQ(pelb::readFile(path), pelb::build(expect));
    ASSERT_EQ(pelRemoveChunk(path.string().c_str(), 0x10000), 1);  // five to four: slots only
    expect.chunks.erase(expect.chunks.begin());
    EXPECT_EQ(pelb::readFile(path), pelb::build(expect));
}

TEST_F(PelChunk, WriteReplacesAndRefuses) {
    pelb::Object o = pelb::sample();
    const Bytes original = pelb::build(o);
    write(original);
    Bytes words = pelb::u32List({1, 2});
    ASSERT_EQ(pelWriteChunk(path.string().c_str(), 0x10000, 8, words.data()), 1);
    auto dir = directory();
    ASSERT_EQ(dir.size(), 3u);  // replaced: the count stays
    EXPECT_EQ(dir[0].id, 0x10001u);
    EXPECT_EQ(dir[2].id, 0x10000u);
    EXPECT_EQ(dir[2].size, 8u);

    const Bytes now = pelb::readFile(path);
    EXPECT_EQ(pelWriteChunk(path.string().c_str(), 0, 8, words.data()), 0);
    EXPECT_EQ(pelWriteChunk(path.string().c_str(), 0xFFFFFFFFu, 8, words.data()), 0);
    EXPECT_EQ(pelRemoveChunk(path.string().c_str(), 0), 0);
    EXPECT_EQ(pelRemoveChunk(path.string().c_str(), 0xFFFFFFFFu), 0);
    EXPECT_EQ(pelRemoveChunk(path.string().c_str(), 0x55), 1);  // none: unchanged
    EXPECT_EQ(pelb::readFile(path), now);
}

// An empty slot between chunks holds no chunk: a rewrite drops it with its bytes, so that
// it can never become slot 1 and hide the chunks behind it.
TEST_F(PelChunk, EmptySlotsGoWhenTheDirectoryIsRewritten) {
    struct Case {
        const char* what;
        bool write;      // write a new 0x10000 chunk, else remove 0x10000
        uint32_t ids[4];  // 0 = empty slot
        std::vector<uint32_t> after;
    } cases[] = {
        {"write", true, {0x10000, 0, 0x10001, 21}, {0x10001, 21, 0x10000}},
        {"remove", false, {0x10000, 0, 0x10001, 0}, {0x10001}},
        {"remove behind it", false, {21, 0, 0x10000, 0x10001}, {21, 0x10001}},
    };
    for (const Case& k : cases) {
        pelb::Object o = pelb::sample();
        o.chunks.clear();
        for (uint32_t i = 0; i < 4; ++i)
            if (k.ids[i] || i < 3) o.chunks.push_back({k.ids[i], Bytes(3 + i, uint8_t(0x60 + i))});
        write(pelb::build(o));
        const Bytes fresh(7, 0x77);
        if (k.write)
            ASSERT_EQ(pelWriteChunk(path.string().c_str(), 0x10000, uint32_t(fresh.size()), fresh.data()), 1) << k.what;
        else
            ASSERT_EQ(pelRemoveChunk(path.string().c_str(), 0x10000), 1) << k.what;
        const Bytes now = pelb::readFile(path);
        EXPECT_EQ(pelb::get32(now, 88), now.size()) << k.what;
        const auto dir = directory();
        std::vector<uint32_t> ids;
        for (const PelChunkEntry& e : dir) {
            ids.push_back(e.id);
            ASSERT_LE(uint64_t(e.offset) + e.size, now.size());
            const Bytes data(now.begin() + e.offset, now.begin() + e.offset + e.size);
            if (k.write && &e == &dir.back()) {
                EXPECT_EQ(data, fresh) << k.what;
                continue;
            }
            // Every other chunk keeps its bytes.
            bool found = false;
            for (const pelb::Chunk& c : o.chunks) found |= c.id == e.id && c.data == data;
            EXPECT_TRUE(found) << k.what << " chunk " << e.id;
        }
        EXPECT_EQ(ids, k.after) << k.what;
    }
}

// Files whose chunks break the layout, or that cannot be rewritten, stay as they are.
TEST_F(PelChunk, BadLayoutLeavesTheFileAlone) {
    struct Case {
        const char* what;
        uint32_t at, value;  // header word to change
    } cases[] = {
        {"first chunk moved", 24 + 4, 0},
        {"gap between chunks", 40 + 8, 0},
        {"chunk inside the geometry", 24 + 4, 300},
    };
    for (const Case& k : cases) {
        Bytes file = pelb::build(pelb::sample());
        uint32_t old = pelb::get32(file, k.at);
        pelb::set32(file, k.at, k.value ? k.value : (k.at == 28 ? old + 1 : old - 1));
        write(file);
        Bytes data(4, 9);
        EXPECT_EQ(pelWriteChunk(path.string().c_str(), 0x50000, 4, data.data()), 0) << k.what;
        EXPECT_EQ(pelRemoveChunk(path.string().c_str(), 21), 0) << k.what;
        EXPECT_EQ(pelb::readFile(path), file) << k.what;
    }
    // The temporary file cannot be made: the original is untouched.
    Bytes file = pelb::build(pelb::sample());
    write(file);
    std::filesystem::create_directory(path.string() + ".~tmp");
    Bytes data(4, 9);
    EXPECT_EQ(pelWriteChunk(path.string().c_str(), 0x50000, 4, data.data()), 0);
    EXPECT_EQ(pelb::readFile(path), file);
}

}  // namespace

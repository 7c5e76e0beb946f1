#include "caches.h"
#include "texpaths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "scene/engine.h"
#include "scene/tests/bmp_builder.h"
#include "scene/texture.h"
#include "tests/jpeg_maker.h"

using namespace qivctl;

namespace {

// Stand-ins for engine records: the hooks below are the only code that touches them.
struct Fakes {
    std::vector<std::unique_ptr<char[]>> blocks;
    std::vector<const void*> freed;
    std::vector<const void*> inUse;
    int savedViewsMade = 0, savedViewsFreed = 0;

    template <typename T>
    T* make() {
        blocks.emplace_back(new char[16]);
        return reinterpret_cast<T*>(blocks.back().get());
    }
    bool wasFreed(const void* p) const { return std::count(freed.begin(), freed.end(), p) == 1; }
    int timesFreed(const void* p) const { return int(std::count(freed.begin(), freed.end(), p)); }
};
Fakes* g_fakes = nullptr;

class Caches : public ::testing::Test {
protected:
    void SetUp() override {
        cachesReset();
        g_fakes = &f;
        CacheHooks h;
        h.objectInUse = [](const PelContent* o) {
            return std::find(g_fakes->inUse.begin(), g_fakes->inUse.end(), o) != g_fakes->inUse.end();
        };
        h.freeObject = [](PelContent* o) { g_fakes->freed.push_back(o); };
        h.freeTexture = [](TexRecord* t) { g_fakes->freed.push_back(t); };
        h.freePicture = [](PicRecord* p) { g_fakes->freed.push_back(p); };
        h.createSavedViews = [] {
            ++g_fakes->savedViewsMade;
            return static_cast<void*>(new int(7));
        };
        h.freeSavedViews = [](void* p) {
            ++g_fakes->savedViewsFreed;
            delete static_cast<int*>(p);
        };
        cacheSetHooks(h);
    }
    void TearDown() override {
        cachesReset();
        g_fakes = nullptr;
    }
    Fakes f;
};

MatInput material(float r) {
    MatInput m{};
    m.colDifuse[0] = r;
    m.alpha = 0.5f;
    return m;
}

}  // namespace

TEST_F(Caches, ConfigureLimits) {
    CacheLimits d = cacheLimits();
    EXPECT_EQ(d.objects, 30u);
    EXPECT_EQ(d.texturesConfigured, 200u);
    EXPECT_EQ(d.texturesInForce, 200u);
    EXPECT_EQ(d.materials, 100u);
    EXPECT_EQ(d.backPictures, 5u);
    struct {
        uint32_t o, t, m, p;
        bool ok;
    } cases[] = {{1, 200, 100, 5, false}, {30, 9, 100, 5, false}, {30, 200, 9, 5, false},
                 {30, 200, 100, 1, false}, {2, 10, 10, 2, true},    {40, 300, 50, 8, true}};
    for (const auto& c : cases) {
        CacheLimits before = cacheLimits();
        EXPECT_EQ(ConfigureCache2(c.o, c.t, c.m, c.p), c.ok);
        CacheLimits after = cacheLimits();
        if (c.ok) {
            EXPECT_EQ(after.objects, c.o);
            EXPECT_EQ(after.texturesConfigured, c.t);
            EXPECT_EQ(after.texturesInForce, c.t);
            EXPECT_EQ(after.materials, c.m);
            EXPECT_EQ(after.backPictures, c.p);
        } else {
            EXPECT_EQ(after.objects, before.objects);
            EXPECT_EQ(after.texturesInForce, before.texturesInForce);
        }
    }
    EXPECT_TRUE(ConfigureCache(3, 20, 3));
    EXPECT_EQ(cacheLimits().materials, 100u);
    EXPECT_FALSE(ConfigureCache(1, 20, 3));
}

TEST_F(Caches, TextureLimitInForceGrowsAndFallsBack) {
    struct {
        uint32_t needed, inForce;
    } steps[] = {{50, 200}, {350, 350}, {300, 350}, {250, 350}, {199, 200}, {200, 200}, {201, 201}, {200, 201}};
    for (const auto& s : steps) {
        GrowTextureCacheLimit(s.needed);
        EXPECT_EQ(cacheLimits().texturesInForce, s.inForce) << s.needed;
        EXPECT_EQ(cacheLimits().texturesConfigured, 200u);
    }
}

TEST_F(Caches, TextureKeysShareFromLastGreaterThan) {
    TexRecord* t = f.make<TexRecord>();
    ASSERT_TRUE(TextureCacheAdd("http://a/x>Wood.bmp", t, 2.0f, 3.0f));
    float sx = 0, sy = 0;
    EXPECT_EQ(TextureCacheFind("other>WOOD.BMP", &sx, &sy), t);
    EXPECT_EQ(sx, 2.0f);
    EXPECT_EQ(sy, 3.0f);
    EXPECT_EQ(TextureCacheFind("wood.bmp"), nullptr);  // no '>': a key of its own
    // A key is one within its scope: another page's "Wood.bmp" is not this one.
    EXPECT_EQ(TextureCacheFind("other>WOOD.BMP", nullptr, nullptr, "http://b/"), nullptr);
    TexRecord* b = f.make<TexRecord>();
    ASSERT_TRUE(TextureCacheAdd(">wood.bmp", b, 1, 1, "http://b/"));
    EXPECT_EQ(TextureCacheFind(">WOOD.BMP", nullptr, nullptr, "HTTP://B/"), b);
    EXPECT_EQ(TextureCacheFind("http://a/x>Wood.bmp"), t);
    EXPECT_EQ("http://a/x/", textureScopeOf("http://a/x/obj.qiv?v=1/2"));
    EXPECT_EQ("C:\\p\\", textureScopeOf("C:\\p\\obj.pel"));
    EXPECT_EQ("qiv-inl:3", textureScopeOf("qiv-inl:3"));
    TexRecord* u = f.make<TexRecord>();
    ASSERT_TRUE(TextureCacheAdd("WOOD.bmp", u, 1, 1));
    EXPECT_EQ(TextureCacheFind("wood.BMP"), u);
    EXPECT_EQ(TextureCacheCount(), 3u);
    EXPECT_FALSE(TextureCacheAdd("null", nullptr, 1, 1));
}

// Texture 201 with the default limit pushes out the oldest texture that no control holds.
TEST_F(Caches, TextureEvictionSkipsHeldTextures) {
    std::vector<TexRecord*> t;
    for (int i = 0; i < 200; ++i) {
        t.push_back(f.make<TexRecord>());
        ASSERT_TRUE(TextureCacheAdd("t" + std::to_string(i), t.back(), 1, 1));
    }
    EXPECT_TRUE(f.freed.empty());
    ASSERT_TRUE(TextureCacheHold(t[0]));
    TexRecord* extra = f.make<TexRecord>();
    ASSERT_TRUE(TextureCacheAdd("t200", extra, 1, 1));
    EXPECT_EQ(TextureCacheCount(), 200u);
    EXPECT_EQ(TextureCacheFind("t0"), t[0]);  // held: stays
    EXPECT_EQ(TextureCacheFind("t1"), nullptr);
    EXPECT_TRUE(f.wasFreed(t[1]));
    EXPECT_EQ(TextureCacheFind("t200"), extra);
    EXPECT_EQ(TextureCacheRelease(t[0]), 1);
    EXPECT_EQ(TextureCacheUses(t[0]), 0u);
}

TEST_F(Caches, TexturesAllHeldStayOverTheLimit) {
    ASSERT_TRUE(ConfigureCache2(2, 10, 10, 2));
    std::vector<TexRecord*> t;
    for (int i = 0; i < 12; ++i) {
        t.push_back(f.make<TexRecord>());
        ASSERT_TRUE(TextureCacheAdd("t" + std::to_string(i), t.back(), 1, 1));
        TextureCacheHold(t.back());
    }
    EXPECT_EQ(TextureCacheCount(), 12u);
    EXPECT_TRUE(f.freed.empty());
    // Letting go brings the cache back to its limit, oldest first.
    TextureCacheRelease(t[5]);
    TextureCacheRelease(t[3]);
    EXPECT_EQ(TextureCacheCount(), 10u);
    EXPECT_TRUE(f.wasFreed(t[3]) && f.wasFreed(t[5]));
    // A lowered limit trims the unheld ones at the next addition.
    for (int i = 0; i < 12; ++i) TextureCacheRelease(t[i]);
    ASSERT_TRUE(TextureCacheAdd("last", f.make<TexRecord>(), 1, 1));
    EXPECT_EQ(TextureCacheCount(), 10u);
}

TEST_F(Caches, ReplacedHeldTextureLivesUntilReleased) {
    TexRecord* a = f.make<TexRecord>();
    TexRecord* b = f.make<TexRecord>();
    TexRecord* c = f.make<TexRecord>();
    TextureCacheAdd("wood", a, 1, 1);
    TextureCacheHold(a);
    TextureCacheHold(a);
    TextureCacheAdd("WOOD", b, 1, 1);
    EXPECT_EQ(TextureCacheFind("wood"), b);
    EXPECT_FALSE(f.wasFreed(a));
    EXPECT_EQ(TextureCacheUses(a), 2u);
    TextureCacheRelease(a);
    EXPECT_FALSE(f.wasFreed(a));
    TextureCacheRelease(a);
    EXPECT_TRUE(f.wasFreed(a));
    TextureCacheAdd("wood", c, 1, 1);  // b not held: freed at once
    EXPECT_TRUE(f.wasFreed(b));
    TextureCacheAdd("wood", c, 4, 4);  // the same texture again: nothing freed
    EXPECT_EQ(f.timesFreed(c), 0);
    TextureCacheAdd("alias", c, 1, 1);  // the same texture under another key: still one entry
    EXPECT_EQ(TextureCacheCount(), 1u);
    EXPECT_EQ(TextureCacheHold(f.make<TexRecord>()), 0);
}

TEST_F(Caches, FlushesKeepWhatIsInUse) {
    TexRecord* held = f.make<TexRecord>();
    TexRecord* loose = f.make<TexRecord>();
    TextureCacheAdd("held", held, 1, 1);
    TextureCacheAdd("loose", loose, 1, 1);
    TextureCacheHold(held);
    PelContent* shown = f.make<PelContent>();
    PelContent* idle = f.make<PelContent>();
    ObjectCacheAdd("shown", shown);
    ObjectCacheAdd("idle", idle);
    f.inUse.push_back(shown);
    PicRecord* pic = f.make<PicRecord>();
    BackPictureCacheAdd("pic", pic);
    MaterialCacheAdd("m", material(1));

    FlushCaches(true, true, true, true);
    EXPECT_EQ(TextureCacheFind("held"), held);
    EXPECT_EQ(TextureCacheFind("loose"), nullptr);
    EXPECT_TRUE(f.wasFreed(loose));
    EXPECT_EQ(ObjectCacheFind("shown", nullptr, nullptr, nullptr), shown);
    EXPECT_EQ(ObjectCacheFind("idle", nullptr, nullptr, nullptr), nullptr);
    EXPECT_TRUE(f.wasFreed(idle));
    EXPECT_EQ(BackPictureCacheCount(), 1u);  // still used by its adder
    EXPECT_EQ(MaterialCacheCount(), 0u);
    FlushCaches(false, false, false, false);
    EXPECT_EQ(TextureCacheCount(), 1u);

    f.freed.clear();
    CachesFree();  // process detach: everything goes, once: objects, pictures, then textures
    const std::vector<const void*> order = {shown, pic, held};
    EXPECT_EQ(f.freed, order);
    EXPECT_EQ(f.timesFreed(loose), 0);
}

// Each cache's own free takes everything of that cache, in use or not, and nothing else;
// the cache works again afterwards.
TEST_F(Caches, EachFreeEmptiesItsOwnCache) {
    TexRecord* tex = f.make<TexRecord>();
    PelContent* obj = f.make<PelContent>();
    PicRecord* pic = f.make<PicRecord>();
    auto fill = [&] {
        TextureCacheAdd("t", tex, 1, 1);
        TextureCacheHold(tex);
        ObjectCacheAdd("o", obj);
        BackPictureCacheAdd("p", pic);
        MaterialCacheAdd("m", material(1));
    };
    f.inUse.push_back(obj);
    struct Case {
        const char* name;
        void (*free)();
        size_t (*count)();
        const void* record;  // freed by it (null: materials are copies)
    };
    const Case cases[] = {
        {"objects", ObjectCacheFree, ObjectCacheCount, obj},
        {"textures", TextureCacheFree, TextureCacheCount, tex},
        {"pictures", BackPictureCacheFree, BackPictureCacheCount, pic},
        {"materials", MaterialCacheFree, MaterialCacheCount, nullptr},
    };
    for (const Case& c : cases) {
        fill();
        f.freed.clear();
        c.free();
        EXPECT_EQ(c.count(), 0u) << c.name;
        const std::vector<const void*> want = c.record ? std::vector<const void*>{c.record} : std::vector<const void*>{};
        EXPECT_EQ(f.freed, want) << c.name << " frees its own records only";
        const size_t others = TextureCacheCount() + ObjectCacheCount() + BackPictureCacheCount() + MaterialCacheCount();
        EXPECT_EQ(others, 3u) << c.name << " leaves the other caches";
        CachesFree();
    }
    MaterialCacheAdd("m", material(2));
    MatInput m{};
    EXPECT_EQ(MaterialCacheFind("m", &m), 1);
    EXPECT_EQ(m.colDifuse[0], 2.0f);
}

TEST_F(Caches, ObjectAddKeepsShownObject) {
    PelContent* a = f.make<PelContent>();
    PelContent* b = f.make<PelContent>();
    ASSERT_EQ(ObjectCacheAdd("http://h/o.qiv", a), 1);
    f.inUse.push_back(a);
    EXPECT_EQ(ObjectCacheAdd("http://h/o.qiv", b), 0);  // a is shown: b is not cached
    EXPECT_EQ(ObjectCacheFind("http://h/o.qiv", nullptr, nullptr, nullptr), a);
    EXPECT_FALSE(f.wasFreed(a));
    f.inUse.clear();
    EXPECT_EQ(ObjectCacheAdd("http://h/o.qiv", b), 1);
    EXPECT_TRUE(f.wasFreed(a));
    EXPECT_EQ(ObjectCacheFind("http://h/o.qiv", nullptr, nullptr, nullptr), b);
    EXPECT_EQ(ObjectCacheFind("HTTP://h/o.qiv", nullptr, nullptr, nullptr), nullptr);  // exact names
    EXPECT_EQ(ObjectCacheAdd("http://h/o.qiv", b), 1);  // again: nothing freed
    EXPECT_EQ(f.timesFreed(b), 0);
    EXPECT_EQ(ObjectCacheAdd("x", nullptr), 0);
}

TEST_F(Caches, ObjectTrimRemovesOldestUnused) {
    ASSERT_TRUE(ConfigureCache2(3, 10, 10, 2));
    std::vector<PelContent*> o;
    for (int i = 0; i < 3; ++i) {
        o.push_back(f.make<PelContent>());
        ObjectCacheAdd("o" + std::to_string(i), o.back());
    }
    f.inUse.push_back(o[0]);
    PelContent* fresh = f.make<PelContent>();
    ObjectCacheAdd("o3", fresh);
    EXPECT_EQ(ObjectCacheCount(), 3u);
    EXPECT_TRUE(f.wasFreed(o[1]));
    EXPECT_NE(ObjectCacheFind("o0", nullptr, nullptr, nullptr), nullptr);
    // Everything else in use: the new, unused entry is still kept, over the limit.
    f.inUse = {o[0], o[2], fresh};
    PelContent* newest = f.make<PelContent>();
    ObjectCacheAdd("o4", newest);
    EXPECT_EQ(ObjectCacheCount(), 4u);
    EXPECT_EQ(ObjectCacheFind("o4", nullptr, nullptr, nullptr), newest);
    f.inUse.clear();
    ObjectCacheTrim();
    EXPECT_EQ(ObjectCacheCount(), 3u);
    EXPECT_TRUE(f.wasFreed(o[0]));
}

TEST_F(Caches, ObjectEntryData) {
    PelContent* a = f.make<PelContent>();
    PelContent* b = f.make<PelContent>();
    ObjectCacheAdd(kInlineObjectName, a);
    const uint8_t block[] = {1, 0, 0, 0, 2, 0, 0, 0};
    EXPECT_TRUE(ObjectCacheSetChunk21(a, block, sizeof block));
    EXPECT_TRUE(ObjectCacheSetText(a, "Gear box"));
    void* views = ObjectCacheSavedViews(a);
    ASSERT_NE(views, nullptr);
    EXPECT_EQ(ObjectCacheSavedViews(a), views);
    EXPECT_EQ(f.savedViewsMade, 1);

    ObjectCacheRenameInline("http://h/gear.qiv");
    std::string text;
    std::vector<uint8_t> chunk;
    void* found = nullptr;
    // The inline object is its document's: other lookups of the address do not find it.
    EXPECT_EQ(ObjectCacheFind("http://h/gear.qiv", &text, &chunk, &found), nullptr);
    EXPECT_EQ(ObjectCacheFind("http://h/gear.qiv", &text, &chunk, &found, kInlineObjectName), a);
    EXPECT_EQ(text, "Gear box");
    EXPECT_EQ(chunk, std::vector<uint8_t>(block, block + 8));
    EXPECT_EQ(found, views);
    // The copies stay good when the entry changes.
    ObjectCacheSetChunk21(a, nullptr, 0);
    EXPECT_EQ(chunk.size(), 8u);

    std::string name;
    EXPECT_TRUE(ObjectCacheNameOf(a, &name));
    EXPECT_EQ(name, "http://h/gear.qiv");
    EXPECT_TRUE(ObjectCacheReplace(a, b));
    EXPECT_EQ(ObjectCacheFind("http://h/gear.qiv", nullptr, nullptr, nullptr, kInlineObjectName), b);
    EXPECT_FALSE(ObjectCacheNameOf(a, &name));
    EXPECT_FALSE(ObjectCacheSetText(a, "x"));
    EXPECT_EQ(ObjectCacheSavedViews(a), nullptr);

    PelContent* c = f.make<PelContent>();
    PelContent* d = f.make<PelContent>();
    ObjectCacheAdd(kInlineObjectName, c);
    ObjectCacheRenameInline("u1");
    ObjectCacheAdd(kInlineObjectName, d);
    f.inUse.push_back(d);
    ObjectCacheRenameInline("u2");
    EXPECT_EQ(ObjectCacheFind("u2", nullptr, nullptr, nullptr, kInlineObjectName), d);
    ObjectCacheFlush();
    EXPECT_EQ(f.savedViewsFreed, 1);
    EXPECT_EQ(ObjectCacheCount(), 1u);

    // Two controls' inline objects under names of their own: renaming one keeps the other.
    PelContent* e1 = f.make<PelContent>();
    PelContent* e2 = f.make<PelContent>();
    ObjectCacheAdd("qiv-inl:1", e1);
    ObjectCacheAdd("qiv-inl:2", e2);
    ObjectCacheRenameInline("qiv-inl:1", "http://h/one.qiv");
    EXPECT_EQ(ObjectCacheFind("http://h/one.qiv", nullptr, nullptr, nullptr, "qiv-inl:1"), e1);
    EXPECT_EQ(ObjectCacheFind("qiv-inl:2", nullptr, nullptr, nullptr, "qiv-inl:2"), e2);
    // Another document neither finds them by their names nor by the address, nor replaces them.
    EXPECT_EQ(ObjectCacheFind("qiv-inl:2", nullptr, nullptr, nullptr, "qiv-inl:1"), nullptr);
    EXPECT_EQ(ObjectCacheFind("qiv-inl:2", nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(ObjectCacheFind("http://h/one.qiv", nullptr, nullptr, nullptr, "qiv-inl:2"), nullptr);
    PelContent* fetched = f.make<PelContent>();
    ASSERT_TRUE(ObjectCacheAdd("http://h/one.qiv", fetched));
    EXPECT_EQ(ObjectCacheFind("http://h/one.qiv", nullptr, nullptr, nullptr), fetched);
    EXPECT_EQ(ObjectCacheFind("http://h/one.qiv", nullptr, nullptr, nullptr, "qiv-inl:1"), e1);
}

TEST_F(Caches, MaterialsMatchFileFormAndAreCopies) {
    MaterialCacheAdd("file://C:\\mats\\Red.mat", material(0.9f));
    MaterialCacheAdd("http://h/blue.mat", material(0.1f));
    MatInput m{};
    EXPECT_TRUE(MaterialCacheFind("C:/mats/red.MAT", &m));
    EXPECT_FLOAT_EQ(m.colDifuse[0], 0.9f);
    EXPECT_TRUE(MaterialCacheFind("file://C:\\mats\\Red.mat", &m));
    EXPECT_TRUE(MaterialCacheFind("http://h/blue.mat", &m));
    EXPECT_FALSE(MaterialCacheFind("HTTP://h/blue.mat", &m));
    MaterialCacheAdd("HTTP://H/BLUE.MAT", material(0.3f));  // same name without case
    EXPECT_EQ(MaterialCacheCount(), 2u);
    EXPECT_TRUE(MaterialCacheFind("http://h/blue.mat", &m));
    EXPECT_FLOAT_EQ(m.colDifuse[0], 0.3f);

    ASSERT_TRUE(ConfigureCache2(2, 10, 10, 2));
    for (int i = 0; i < 12; ++i) MaterialCacheAdd("m" + std::to_string(i), material(float(i)));
    EXPECT_EQ(MaterialCacheCount(), 10u);
    EXPECT_FALSE(MaterialCacheFind("m0", &m));
    EXPECT_FALSE(MaterialCacheFind("m1", &m));
    EXPECT_TRUE(MaterialCacheFind("m2", &m));
    EXPECT_FLOAT_EQ(m.colDifuse[0], 2.0f);  // the copy outlives the entry's eviction
    for (int i = 12; i < 30; ++i) MaterialCacheAdd("m" + std::to_string(i), material(float(i)));
    EXPECT_FLOAT_EQ(m.colDifuse[0], 2.0f);
}

TEST_F(Caches, BackPicturesUseCountsAndReleaseOrder) {
    ASSERT_TRUE(ConfigureCache2(2, 10, 10, 3));
    PicRecord* p[5];
    for (int i = 0; i < 3; ++i) {
        p[i] = f.make<PicRecord>();
        BackPictureCacheAdd("p" + std::to_string(i), p[i]);
    }
    EXPECT_EQ(BackPictureCacheUses(p[0]), 1u);
    EXPECT_EQ(BackPictureCacheFind("P1"), nullptr);
    EXPECT_EQ(BackPictureCacheFind("p1"), p[1]);
    EXPECT_EQ(BackPictureCacheUses(p[1]), 2u);
    // All in use: a fourth is appended and the cache stays over its limit.
    p[3] = f.make<PicRecord>();
    BackPictureCacheAdd("p3", p[3]);
    EXPECT_EQ(BackPictureCacheCount(), 4u);
    EXPECT_TRUE(f.freed.empty());
    // Released over the limit: freed at once.
    ReleaseBackPicture(p[0]);
    EXPECT_TRUE(f.wasFreed(p[0]));
    EXPECT_EQ(BackPictureCacheCount(), 3u);
    // At the limit: released pictures go to the end, least recently released first out.
    ReleaseBackPicture(p[1]);
    ReleaseBackPicture(p[1]);
    ReleaseBackPicture(p[3]);
    ReleaseBackPicture(p[2]);
    EXPECT_EQ(BackPictureCacheCount(), 3u);
    p[4] = f.make<PicRecord>();
    BackPictureCacheAdd("p4", p[4]);  // reuses the first unused entry: p1's
    EXPECT_TRUE(f.wasFreed(p[1]));
    EXPECT_FALSE(f.wasFreed(p[3]) || f.wasFreed(p[2]));
    EXPECT_EQ(BackPictureCacheFind("file://p4"), nullptr);
    EXPECT_EQ(BackPictureCacheCount(), 3u);
    EXPECT_EQ(ReleaseBackPicture(f.make<PicRecord>()), 0);
}

TEST_F(Caches, ReplacedBackPictureInUseLivesUntilReleased) {
    PicRecord* a = f.make<PicRecord>();
    PicRecord* b = f.make<PicRecord>();
    BackPictureCacheAdd("file://C:\\pics\\sky.jpg", a);
    EXPECT_EQ(BackPictureCacheFind("C:/pics/sky.jpg"), a);  // two uses
    BackPictureCacheAdd("FILE://C:\\PICS\\SKY.JPG", b);
    EXPECT_FALSE(f.wasFreed(a));
    EXPECT_EQ(BackPictureCacheFind("C:/pics/sky.jpg"), b);
    ReleaseBackPicture(a);
    EXPECT_FALSE(f.wasFreed(a));
    ReleaseBackPicture(a);
    EXPECT_TRUE(f.wasFreed(a));
    BackPictureCacheAdd("file://C:\\pics\\sky.jpg", b);  // same picture: nothing
    EXPECT_EQ(BackPictureCacheUses(b), 2u);
    BackPictureCacheFlush(false);
    EXPECT_EQ(BackPictureCacheCount(), 1u);
    BackPictureCacheFlush(true);
    EXPECT_EQ(BackPictureCacheCount(), 0u);
    EXPECT_EQ(f.timesFreed(b), 1);
}

TEST_F(Caches, SharedBetweenThreads) {
    ASSERT_TRUE(ConfigureCache2(2, 10, 10, 2));
    std::vector<std::thread> threads;
    std::vector<std::vector<TexRecord*>> made(4);
    for (int t = 0; t < 4; ++t)
        for (int i = 0; i < 100; ++i) made[size_t(t)].push_back(f.make<TexRecord>());
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t, &made] {
            for (int i = 0; i < 100; ++i) {
                TexRecord* x = made[size_t(t)][size_t(i)];
                TextureCacheAdd("t" + std::to_string(t) + "_" + std::to_string(i), x, 1, 1);
                TextureCacheFind("t0_1");
            }
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(TextureCacheCount(), 10u);
    EXPECT_EQ(f.freed.size(), 390u);
}

// The default hooks free real engine textures, once each (checked by the sanitizer build).
TEST(CachesEngine, RealTexturesFreedOnce) {
    cachesReset();
    ASSERT_TRUE(ConfigureCache2(2, 10, 10, 2));
    std::vector<TexRecord*> t(15, nullptr);
    for (size_t i = 0; i < t.size(); ++i) {
        ASSERT_TRUE(texAllocRecord(&t[i]));
        ASSERT_TRUE(TextureCacheAdd("tex" + std::to_string(i), t[i], 1, 1));
        if (i == 2) TextureCacheHold(t[i]);
    }
    EXPECT_EQ(TextureCacheCount(), 10u);
    EXPECT_EQ(TextureCacheFind("tex2"), t[2]);
    TexRecord* replacement = nullptr;
    ASSERT_TRUE(texAllocRecord(&replacement));
    TextureCacheAdd("TEX2", replacement, 1, 1);
    TextureCacheFlush();
    EXPECT_EQ(TextureCacheCount(), 0u);
    TextureCacheRelease(t[2]);
    cachesReset();
    errReset();
}

// Textures made by the control enter the cache under their name: one colour with scales 1,
// a picture file image with the size its header gives (1 where it gives none).
TEST(MadeTextures, EnterTheCacheWithTheirScales) {
    cachesReset();
    TexRecord* colour = CreateColorTexture("http://h/t>Wood.bmp", 0x00336699, "scope", "Wood.bmp");
    ASSERT_NE(colour, nullptr);
    EXPECT_EQ(colour->colour[0], float(0x99) / 255.0f);
    EXPECT_EQ(colour->colour[1], float(0x66) / 255.0f);
    EXPECT_EQ(colour->colour[2], float(0x33) / 255.0f);
    EXPECT_EQ(colour->block, nullptr);
    float sx = 0, sy = 0;
    EXPECT_EQ(TextureCacheFind("x>WOOD.BMP", &sx, &sy, "scope"), colour);
    EXPECT_EQ(sx, 1.0f);
    EXPECT_EQ(sy, 1.0f);

    bmpb::BmpDesc d;
    d.width = 8;
    d.height = 4;
    d.bits = 24;
    d.xPels = 16;  // 0.5 m wide
    d.yPels = 8;
    jpegmk::Options o;
    o.width = 16;
    o.height = 16;
    struct Case {
        const char* name;
        std::vector<uint8_t> file;
        float sx, sy;
    } cases[] = {{"sized.bmp", bmpb::build(d), 0.5f, 0.5f}, {"plain.jpg", jpegmk::make(o), 1.0f, 1.0f}};
    for (const Case& c : cases) {
        TexRecord* t = CreateEmbeddedTexture(c.name, c.file.data(), c.file.size());
        ASSERT_NE(t, nullptr) << c.name;
        EXPECT_NE(t->block, nullptr) << c.name;
        EXPECT_EQ(TextureCacheFind(c.name, &sx, &sy), t) << c.name;
        EXPECT_EQ(sx, c.sx) << c.name;
        EXPECT_EQ(sy, c.sy) << c.name;
        const char* named = nullptr;
        ASSERT_EQ(picGetInfo(t, &named, nullptr, nullptr), 1);
        EXPECT_STREQ(named, c.name);
    }
    const std::vector<uint8_t> cut(cases[0].file.begin(), cases[0].file.begin() + 40);
    EXPECT_EQ(CreateEmbeddedTexture("cut.bmp", cut.data(), cut.size()), nullptr);
    EXPECT_EQ(TextureCacheFind("cut.bmp"), nullptr) << "a picture that does not decode is not cached";
    EXPECT_EQ(TextureCacheCount(), 3u);
    cachesReset();
}

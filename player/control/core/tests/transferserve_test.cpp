#include "transferserve.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "caches.h"

using namespace qivctl;

namespace {

// Stand-in textures and pictures: the caches' free hooks only record them.
struct Fakes {
    std::vector<std::unique_ptr<uint8_t[]>> blocks;
    template <class T>
    T* make() {
        blocks.emplace_back(new uint8_t[64]());
        return reinterpret_cast<T*>(blocks.back().get());
    }
};

struct ServeTest : ::testing::Test {
    Fakes f;
    void SetUp() override {
        cachesReset();
        CacheHooks h;
        h.freeTexture = [](TexRecord*) {};
        h.freePicture = [](PicRecord*) {};
        cacheSetHooks(h);
    }
    void TearDown() override { cachesReset(); }
    PendingTransfer entry(int32_t kind, const std::string& url) {
        PendingTransfer t;
        t.kind = kind;
        t.candidates = {url};
        return t;
    }
};

}  // namespace

TEST_F(ServeTest, EachKindFromItsOwnCache) {
    TexRecord* tex = f.make<TexRecord>();
    TextureCacheAdd("http://h/holz.bmp", tex, 1, 1);
    MatInput brass{};
    brass.alpha = 0.5f;
    MaterialCacheAdd("http://h/brass.ini", brass);

    TransferQueue q;
    std::vector<std::pair<int32_t, TexRecord*>> stored;
    float applied = -1;
    bool streaming = true, accept = true;
    TransferServeHooks hooks;
    hooks.storeTexture = [&](const PendingTransfer& e, TexRecord* t) {
        if (accept) stored.push_back({e.kind, t});
        return accept;
    };
    hooks.applyMaterial = [&](const PendingTransfer&, const MatInput& m) { return applied = m.alpha, true; };
    hooks.streaming = [&] { return streaming; };
    TransferCacheHooks h = cacheServing(q, hooks);

    q.add(entry(kTransferTexture, "http://h/holz.bmp"));
    q.add(entry(kTransferSlotTexture, "http://h/holz.bmp"));
    q.add(entry(kTransferMaterial, "http://h/brass.ini"));
    // A background picture or an object named like a cached texture is not served from it.
    q.add(entry(kTransferBackground, "http://h/holz.bmp"));
    auto s = q.next(h);
    EXPECT_EQ(s.kind, TransferStep::Kind::Download);
    EXPECT_EQ(s.url, "http://h/holz.bmp");
    EXPECT_EQ(s.messageId, kStrBackgroundLoaded);
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].second, tex);
    EXPECT_EQ(stored[1].first, kTransferSlotTexture);
    EXPECT_EQ(TextureCacheUses(tex), 2u);
    EXPECT_FLOAT_EQ(applied, 0.5f);
    q.end(true, false);
    EXPECT_TRUE(q.next(h).refreshView);

    // A texture the control does not take gets its hold back; a miss downloads.
    accept = false;
    streaming = false;
    q.add(entry(kTransferTexture, "http://h/holz.bmp"));
    s = q.next(h);
    EXPECT_EQ(s.kind, TransferStep::Kind::Download);
    EXPECT_EQ(TextureCacheUses(tex), 2u);
    q.end(true, false);
    q.add(entry(kTransferMaterial, "http://h/other.ini"));
    EXPECT_EQ(q.next(h).url, "http://h/other.ini");
    q.end(true, false);

    // A texture is found in the cache by its own name, whatever URL it would come from.
    accept = true;
    stored.clear();
    TexRecord* stone = f.make<TexRecord>();
    TextureCacheAdd("stein.bmp", stone, 1, 1);
    PendingTransfer named = entry(kTransferTexture, "http://elsewhere/textures/stein.bms");
    named.cacheName = "Stein.BMP";
    q.add(named);
    EXPECT_EQ(q.next(h).kind, TransferStep::Kind::Idle);
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].second, stone);
}

TEST_F(ServeTest, BackPictureFromItsCacheOrQueued) {
    TransferQueue q;
    PicRecord* pic = nullptr;
    EXPECT_EQ(loadBackPicture("", "", "", q, &pic), BackPictureLoad::Nothing);
    EXPECT_EQ(loadBackPicture("bg.jpg", "http://h/t", "C:\\tex", q, &pic), BackPictureLoad::Queued);
    ASSERT_EQ(q.size(), 1u);
    EXPECT_EQ(q.current()->kind, kTransferBackground);
    EXPECT_EQ(q.current()->candidates,
              (std::vector<std::string>{"bg.jpg", "http://h/t/bg.jpg", "file://C:\\tex/bg.jpg"}));

    PicRecord* cached = f.make<PicRecord>();
    BackPictureCacheAdd("http://h/bg.jpg", cached);
    EXPECT_EQ(loadBackPicture("http://h/bg.jpg", "", "", q, &pic), BackPictureLoad::FromCache);
    EXPECT_EQ(pic, cached);
    EXPECT_EQ(BackPictureCacheUses(cached), 2u);
    EXPECT_EQ(q.size(), 1u);
}

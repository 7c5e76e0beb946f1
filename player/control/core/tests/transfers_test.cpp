#include "transfers.h"

#include <gtest/gtest.h>

#include <set>

using namespace qivctl;

TEST(Transfers, FileUrls) {
    EXPECT_TRUE(isFileUrl("FILE://C:\\a.qiv"));
    EXPECT_TRUE(isFileUrl("file://"));
    EXPECT_FALSE(isFileUrl("file:/a"));
    EXPECT_FALSE(isFileUrl("http://h/file://x"));
    EXPECT_EQ(fileUrlPath("File://C:\\o\\a.pel"), "C:\\o\\a.pel");
    EXPECT_EQ(fileUrlPath("http://h/a"), "");
    std::string url;
    ASSERT_TRUE(fileUrlOf("C:\\a.pel", &url));
    EXPECT_EQ(url, "file://C:\\a.pel");
    EXPECT_TRUE(fileUrlOf(std::string(kObjectUrlMax - 7, 'a'), &url));
    EXPECT_FALSE(fileUrlOf(std::string(kObjectUrlMax - 6, 'a'), &url));
    // Flags are added to what urlmon passes, never put in their place.
    EXPECT_EQ(bindInfoFlags(0), 0x81A02u);
    EXPECT_EQ(bindInfoFlags(0x10000000u), 0x10081A02u);
}

TEST(Transfers, ProgressPercentIn64Bits) {
    struct {
        uint64_t done, total;
        uint32_t percent;
    } cases[] = {
        {0, 0, 0},           {5, 0, 0},          {0, 100, 0},        {1, 3, 33},
        {2, 3, 67},          {1, 200, 1},        {1, 201, 0},        {50, 100, 50},
        {45000000, 90000000, 50},               {43000000, 43000001, 100},
        {5, 2, 100},         {0xFFFFFFFEull, 0xFFFFFFFFull, 100},    {0x7FFFFFFFull, 0xFFFFFFFFull, 50},
        {1ull << 62, 1ull << 63, 50},           {(1ull << 63) - 1, 1ull << 63, 100},
    };
    for (const auto& c : cases) EXPECT_EQ(progressPercent(c.done, c.total), c.percent) << c.done << "/" << c.total;
}

TEST(Transfers, BindStatusTextsAndProgress) {
    BindSession b(false);
    auto p = b.onProgress(0, 0, kBindStatusFindingResource, "example.org", "Searching host %s");
    EXPECT_EQ(p.messageId, kStrSearchingHost);
    EXPECT_EQ(p.statusLine, "Searching host example.org");
    EXPECT_FALSE(p.showProgress);
    p = b.onProgress(0, 0, kBindStatusConnecting, std::string(1000, 'h'), "Connecting to %s ");
    EXPECT_EQ(p.messageId, kStrConnecting);
    EXPECT_EQ(p.statusLine.size(), kBindStatusLineMax);
    EXPECT_EQ(p.statusLine.substr(0, 14), "Connecting to ");
    EXPECT_EQ(BindSession::statusMessageOf(kBindStatusSendingRequest), kStrRequestSent);

    BindSession local(false);
    local.onProgress(0, 0, kBindStatusSendingRequest, "FILE://C:\\x", "");
    EXPECT_FALSE(local.remote());
    b.onProgress(0, 0, kBindStatusSendingRequest, "http://h/x", "");
    EXPECT_TRUE(b.remote());

    // The expected total is the smallest non-zero maximum seen.
    p = b.onProgress(10, 0, 4, "", "");
    EXPECT_TRUE(p.showProgress);
    EXPECT_EQ(p.done, 10u);
    EXPECT_EQ(p.total, 0u);
    EXPECT_EQ(b.expectedTotal(), 0xFFFFFFFFu);
    p = b.onProgress(500, 1000, 4, "", "");
    EXPECT_EQ(p.percent, 50u);
    b.onProgress(600, 2000, 4, "", "");
    EXPECT_EQ(b.expectedTotal(), 1000u);
    p = b.onProgress(3000, 2000, 4, "", "");
    EXPECT_EQ(p.percent, 100u);
    // Data arriving (status 5) is progress, not a request sent.
    BindSession d(false);
    p = d.onProgress(4096, 8192, 5, "http://h/x", "");
    EXPECT_TRUE(p.showProgress);
    EXPECT_EQ(p.percent, 50u);
    EXPECT_FALSE(d.remote());
}

TEST(Transfers, TransferCutShortIsNoSuccess) {
    const uint8_t piece[4] = {};
    BindSession b(true);
    b.onProgress(0, 8, 4, "", "");
    b.onData(piece, 4);
    EXPECT_TRUE(b.truncated());
    b.onData(piece, 4);
    EXPECT_FALSE(b.truncated());
    EXPECT_EQ(b.received(), 8u);
    // Without a known total nothing tells a short transfer.
    BindSession u(false);
    u.onData(piece, 4);
    EXPECT_FALSE(u.truncated());
}

TEST(Transfers, DataOfUnknownLengthKeptThenFedInOrder) {
    const uint8_t a[] = {1, 2, 3}, c[] = {4, 5};
    {
        // No length at all: everything is fed in one piece at the end.
        BindSession b(false);
        EXPECT_EQ(b.onData(a, 3).kind, BindSession::Route::Kind::Keep);
        EXPECT_EQ(b.onData(c, 2).kind, BindSession::Route::Kind::Keep);
        auto r = b.finish();
        EXPECT_EQ(r.kind, BindSession::Route::Kind::Feed);
        EXPECT_EQ(r.feed, (std::vector<uint8_t>{1, 2, 3, 4, 5}));
        EXPECT_EQ(r.expectedTotal, 5u);
        EXPECT_TRUE(b.finish().feed.empty());
    }
    {
        // A length learnt late: what was kept goes first, then the new piece.
        BindSession b(false);
        b.onData(a, 3);
        b.onProgress(3, 5, 4, "", "");
        auto r = b.onData(c, 2);
        EXPECT_EQ(r.kind, BindSession::Route::Kind::Feed);
        EXPECT_EQ(r.feed, (std::vector<uint8_t>{1, 2, 3, 4, 5}));
        EXPECT_EQ(r.expectedTotal, 5u);
        EXPECT_EQ(b.keptBytes(), 0u);
        EXPECT_TRUE(b.finish().feed.empty());
    }
    {
        BindSession b(false, 4);
        EXPECT_EQ(b.onData(a, 3).kind, BindSession::Route::Kind::Keep);
        EXPECT_EQ(b.onData(c, 2).kind, BindSession::Route::Kind::Refuse);
        EXPECT_TRUE(b.refused());
        EXPECT_EQ(b.onData(a, 1).kind, BindSession::Route::Kind::Refuse);
        EXPECT_EQ(b.finish().kind, BindSession::Route::Kind::Refuse);
    }
    BindSession f(true);
    EXPECT_EQ(f.onData(a, 3).kind, BindSession::Route::Kind::File);
    EXPECT_EQ(f.finish().kind, BindSession::Route::Kind::File);
}

namespace {
PendingTransfer entry(int32_t kind, std::vector<std::string> urls) {
    PendingTransfer t;
    t.kind = kind;
    t.candidates = std::move(urls);
    return t;
}
}  // namespace

TEST(Transfers, QueueRunsOneDownloadAtATime) {
    TransferQueue q;
    EXPECT_FALSE(q.add(entry(kTransferTexture, {})));
    ASSERT_TRUE(q.add(entry(kTransferTexture, {"http://h/cached.bmp"})));
    ASSERT_TRUE(q.add(entry(kTransferTexture, {"http://h/t1.bms", "http://h/t1.jpg"})));
    ASSERT_TRUE(q.add(entry(kTransferSlotTexture, {"http://h/t2.bmp"})));
    ASSERT_TRUE(q.add(entry(kTransferBackground, {"bg.jpg"})));
    ASSERT_TRUE(q.add(entry(kTransferObject, {"http://h/o.qiv"})));
    ASSERT_TRUE(q.add(entry(kTransferObject, {"http://h/cachedobj.qiv"})));

    std::set<std::string> cached{"http://h/cached.bmp"};
    TransferCacheHooks hooks;
    hooks.serveFromCache = [&](const PendingTransfer& t) { return cached.count(t.name()) > 0; };
    hooks.serveObjectFromCache = [&](const PendingTransfer& t) { return t.name() == "http://h/cachedobj.qiv"; };

    auto s = q.next(hooks);
    ASSERT_EQ(s.kind, TransferStep::Kind::Download);
    EXPECT_EQ(s.url, "http://h/t1.bms");
    EXPECT_EQ(s.messageId, kStrLoadingTextures);
    EXPECT_EQ(s.loadState, 3);
    EXPECT_FALSE(s.toFile);
    EXPECT_EQ(q.next(hooks).kind, TransferStep::Kind::Busy);

    // A failure with a further candidate tries it; the next failure drops the entry.
    auto e = q.end(false, false);
    EXPECT_TRUE(e.found && e.retry && !e.removed);
    s = q.next(hooks);
    EXPECT_EQ(s.url, "http://h/t1.jpg");
    e = q.end(false, false);
    EXPECT_TRUE(e.removed && !e.retry && !e.listEmpty);

    s = q.next(hooks);
    EXPECT_EQ(s.url, "http://h/t2.bmp");
    EXPECT_TRUE(s.toFile);
    e = q.end(true, true);
    EXPECT_TRUE(e.rebuildTextures);
    EXPECT_FALSE(e.reloadScene);

    s = q.next(hooks);
    EXPECT_EQ(s.messageId, kStrBackgroundLoaded);
    q.end(true, false);
    s = q.next(hooks);
    EXPECT_EQ(s.messageId, kStrLoadingGeometry);
    e = q.end(true, false);
    EXPECT_FALSE(e.listEmpty);

    // The cached object is served without a download; the list runs empty.
    EXPECT_EQ(q.next(hooks).kind, TransferStep::Kind::Idle);
    EXPECT_TRUE(q.empty());
    // An end with nothing under way changes nothing.
    EXPECT_FALSE(q.end(true, false).found);
}

TEST(Transfers, QueueEndReportsReloadAndRefresh) {
    TransferQueue q;
    TransferCacheHooks none;
    q.add(entry(kTransferGeometry, {"a"}));
    auto s = q.next(none);
    EXPECT_EQ(s.loadState, 2);
    auto e = q.end(true, true);
    EXPECT_TRUE(e.listEmpty);
    EXPECT_TRUE(e.reloadScene);
    q.noteServedDuringStream();
    s = q.next(none);
    EXPECT_EQ(s.kind, TransferStep::Kind::Idle);
    EXPECT_TRUE(s.refreshView);
    EXPECT_FALSE(q.next(none).refreshView);
    q.add(entry(kTransferTexture, {"b"}));
    q.next(none);
    q.clear();
    EXPECT_TRUE(q.empty());
    EXPECT_FALSE(q.end(false, false).found);
}

TEST(Transfers, DownloadConsumers) {
    EXPECT_EQ(downloadConsumerOf(0, kTransferBackground), DownloadConsumer::Object);
    EXPECT_EQ(downloadConsumerOf(2, kTransferMaterial), DownloadConsumer::Object);
    EXPECT_EQ(downloadConsumerOf(3, kTransferBackground), DownloadConsumer::Background);
    EXPECT_EQ(downloadConsumerOf(3, kTransferMaterial), DownloadConsumer::Material);
    EXPECT_EQ(downloadConsumerOf(3, kTransferSlotTexture), DownloadConsumer::SlotTexture);
    EXPECT_EQ(downloadConsumerOf(3, kTransferObject), DownloadConsumer::FurtherObject);
    EXPECT_EQ(downloadConsumerOf(3, 7), DownloadConsumer::TextureHandle);
}

TEST(Transfers, BackPictureUrls) {
    std::set<std::string> files{"C:\\tex/bg.jpg", "C:\\pics\\b.jpg"};
    FileExistsFn exists = [&](const std::string& p) { return files.count(p) > 0; };
    struct {
        const char* stored;
        const char* base;
        const char* texPath;
        const char* get;
    } cases[] = {
        {"", "", "", ""},
        {"http://h/bg.jpg", "http://h", "", "http://h/bg.jpg"},
        {"file://C:\\tex\\sub\\bg.jpg", "", "C:/TEX", "sub/bg.jpg"},
        {"file://C:\\tex\\\\bg.jpg", "", "C:\\tex\\", "bg.jpg"},
        {"file://C:/base/x.jpg", "file://C:/base", "C:\\tex", "x.jpg"},
        {"file://C:\\texture2\\bg.jpg", "", "C:\\tex", "file://C:\\texture2\\bg.jpg"},
        {"C:\\pics\\b.jpg", "", "C:\\pics", "b.jpg"},
        {"C:\\other\\b.jpg", "", "C:\\other", "C:\\other\\b.jpg"},
        {"file://C:\\tex", "", "C:\\tex", "file://C:\\tex"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(backPictureUrlForGet(c.stored, c.base, c.texPath, exists), c.get) << c.stored;

    std::string stored;
    int32_t mode = 0;
    ASSERT_TRUE(backPictureUrlForPut("bg.jpg", "C:\\tex", exists, &stored, &mode));
    EXPECT_EQ(stored, "file://C:\\tex/bg.jpg");
    EXPECT_EQ(mode, 1);
    mode = 2;
    ASSERT_TRUE(backPictureUrlForPut("http://h/b.jpg", "C:\\tex", exists, &stored, &mode));
    EXPECT_EQ(stored, "http://h/b.jpg");
    EXPECT_EQ(mode, 2);
    mode = 0;
    ASSERT_TRUE(backPictureUrlForPut("", "C:\\tex", exists, &stored, &mode));
    EXPECT_EQ(stored, "");
    EXPECT_EQ(mode, 0);
    EXPECT_FALSE(backPictureUrlForPut(std::string(3000, 'x'), "", exists, &stored, &mode));

    EXPECT_EQ(backPictureCandidates("bg.jpg", "http://h/t", "C:\\tex"),
              (std::vector<std::string>{"bg.jpg", "http://h/t/bg.jpg", "file://C:\\tex/bg.jpg"}));
    EXPECT_EQ(backPictureCandidates("pics/bg.jpg", "", "C:\\tex"),
              (std::vector<std::string>{"pics/bg.jpg", "file://C:\\tex/pics/bg.jpg"}));
    EXPECT_EQ(backPictureCandidates("http://h/bg.jpg", "http://h/t", "C:\\tex"),
              (std::vector<std::string>{"http://h/bg.jpg"}));
    EXPECT_EQ(backPictureCandidates("C:bg.jpg", "http://h/t", ""), (std::vector<std::string>{"C:bg.jpg"}));
    EXPECT_TRUE(backPictureCandidates("", "a", "b").empty());
}

TEST(Transfers, AutoSaveStaysInTheObjectFolder) {
    std::set<std::string> files{"C:\\objs\\have.qiv", "C:\\local.qiv"};
    FileExistsFn exists = [&](const std::string& p) { return files.count(p) > 0; };
    struct {
        const char* url;
        const char* path;
    } cases[] = {
        {"http://h/dir/a.qiv", "C:\\objs\\a.qiv"},
        {"http://h/dir/a.qiv?v=/x/../y#f", "C:\\objs\\a.qiv"},
        {"http://h/a%20b.qiv", "C:\\objs\\a b.qiv"},
        {"http://h/..%5C..%5Cwin.ini", "C:\\objs\\.._.._win.ini.pel"},
        {"http://h/start.hta", "C:\\objs\\start.hta.pel"},
        {"http://h/obj.PEL", "C:\\objs\\obj.PEL"},
        {"http://h/%2e%2e", ""},
        {"http://h/..", ""},
        {"http://h/...", ""},
        {"http://h/", ""},
        {"http://h/CON.qiv", ""},
        {"http://h/com1", ""},
        {"http://h/a:b.qiv", "C:\\objs\\a_b.qiv"},
        {"http://h/x%00y.qiv", "C:\\objs\\x_y.qiv"},
        {"http://h/trail. . ", "C:\\objs\\trail.pel"},
        {"http://h/have.qiv", ""},
        {"file://C:\\x.qiv", ""},
        {"FiLe:C:\\x.qiv", ""},
        {"C:\\local.qiv", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(autoSavePath(c.url, "C:\\objs", exists), c.path) << c.url;
    EXPECT_EQ(autoSavePath("http://h/a.qiv", "C:\\objs\\", exists), "C:\\objs\\a.qiv");
    EXPECT_EQ(autoSavePath("http://h/a.qiv", "", exists), "");
    EXPECT_EQ(autoSavePath("http://h/" + std::string(300, 'n'), "C:\\objs", exists), "");
}

TEST(Transfers, ObjectUrlProperty) {
    std::string cacheName = "http://h/b.qiv";
    EXPECT_EQ(objectUrlForGet(2, &cacheName, "http://h/a.qiv"), "http://h/b.qiv");
    EXPECT_EQ(objectUrlForGet(2, nullptr, "http://h/a.qiv"), "");
    EXPECT_EQ(objectUrlForGet(1, &cacheName, "http://h/a.qiv"), "http://h/a.qiv");

    EXPECT_TRUE(planObjectUrlPut("", "", true, false).nothing);
    EXPECT_TRUE(planObjectUrlPut(std::string(kObjectUrlMax + 1, 'u'), "", true, false).refused);
    auto p = planObjectUrlPut("", "http://h/a.qiv", true, false);
    EXPECT_TRUE(p.unload && p.store && p.announce && !p.startLoad);
    p = planObjectUrlPut("http://h/a.qiv", "http://h/a.qiv", true, false);
    EXPECT_TRUE(p.unload && !p.store && !p.announce && p.startLoad);
    p = planObjectUrlPut("http://h/b.qiv", "", false, true);
    EXPECT_TRUE(p.store && p.renameInline && !p.startLoad && !p.announce);
}

TEST(Transfers, BindPlans) {
    std::set<std::string> files{"C:\\o\\a.qiv", "C:/my objs/b.qiv"};
    FileExistsFn exists = [&](const std::string& p) { return files.count(p) > 0; };
    using K = BindPlan::Kind;
    struct {
        const char* url;
        bool closing, urlmon;
        K kind;
        const char* path;
    } cases[] = {
        {"http://h/a.qiv", false, true, K::Remote, ""},
        {"http://h/a.qiv", true, true, K::Refused, ""},
        {"file://C:\\o\\a.qiv", false, false, K::Refused, ""},
        {"FILE://C:\\o\\a.qiv", false, true, K::LocalFile, "C:\\o\\a.qiv"},
        {"file:///C:/my%20objs/b.qiv", false, true, K::LocalFile, "C:/my objs/b.qiv"},
        {"file://C:\\o\\missing.qiv", false, true, K::LocalMissing, "C:\\o\\missing.qiv"},
        {"file://", false, true, K::LocalMissing, ""},
        {"file://C:/x%00.qiv", false, true, K::LocalMissing, "C:/x%00.qiv"},
    };
    for (const auto& c : cases) {
        BindPlan p = planBind(c.url, c.closing, c.urlmon, exists);
        EXPECT_EQ(p.kind, c.kind) << c.url;
        if (c.kind == K::LocalFile || c.kind == K::LocalMissing) {
            EXPECT_EQ(p.localPath, c.path) << c.url;
        }
    }
    EXPECT_EQ(urlMessage("Invalid URL: ", "ht tp://x"), "Invalid URL: \"ht tp://x\"");
    std::string longMsg = urlMessage("URL type not supported: ", std::string(5000, 'u'));
    EXPECT_EQ(longMsg.size(), kUrlMessageMax);
    EXPECT_EQ(longMsg.back(), '"');
}

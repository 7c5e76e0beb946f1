// The control as the host of the streaming load, sited in a window: containers fed whole, in
// 1-byte pieces and in random splits, the PreviewMode x DelayAfterPreview table with clicks and
// timer 55, the throttled reparse, bad containers that leave the shown object, local Qiv
// files through LoadObject with a JPEG texture beside them and the preview in the window,
// the progressive preview after its first scan, saving the kept container and the frame
// statistics callback.
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "caches.h"
#include "com/module.h"
#include "jpegglue.h"
#include "loadsession.h"
#include "controlref.h"
#include "olecontainer.h"
#include "pixeltest.h"
#include "qiv_sample.h"
#include "qivctl_win.h"
#include "render/fzbuffer.h"
#include "render/sample.h"
#include "scene/engine.h"
#include "scene/pelchunk.h"
#include "scene/tests/bmp_builder.h"
#include "scene/tests/pel_builder.h"
#include "serverparts_win.h"
#include "testfiles.h"
#include "tests/fake_clock.h"
#include "tests/jpeg_maker.h"
#include "window_win.h"

using qivw::Bytes;

namespace {

using qivtest::readFile;
using qivtest::tempDir;
using qivtest::writeFile;


BSTR bstr(const std::string& s) {
    std::wstring w(s.begin(), s.end());
    return SysAllocString(w.c_str());
}

jpegmk::Bytes jpeg(int w, int h, bool progressive) {
    jpegmk::Options o;
    o.width = w;
    o.height = h;
    o.progressive = progressive;
    return jpegmk::make(o);
}

// Two cubes with a progressive preview, an embedded JPEG texture, saved views, a display
// name, a per-part block and the animation chunk.
qivw::Container richCubes() {
    qivw::Container c = qivsample::container("checker.bmp");
    c.preview = jpeg(96, 72, true);
    using T = qivw::Texture;
    c.chunks.push_back(qivw::textureTable({{0, T::File, 0, jpeg(32, 32, false), 0}}));
    c.chunks.push_back({0x15, Bytes{1, 0, 0, 0, 2, 0, 0, 0}});
    c.chunks.push_back({0x10002, Bytes(6, 'n')});
    c.chunks.push_back(qivw::savedViews(2));
    c.chunks.push_back({0x10001, qivw::nameList("Two cubes")});
    c.chunks.push_back({0x14, Bytes(4, 0)});
    return c;
}

using qivtestclock::FakeClock;

std::vector<std::string> g_status;
void statusCallback(void*, const char* text, const char* path) {
    g_status.push_back(std::string(text ? text : "-") + "|" + (path ? path : "-"));
}

// The host window of every control of these tests (hiding a shown window takes seconds
// under a display without window manager).
qivtest::OleTestContainer& sharedHost() {
    static qivtest::OleTestContainer* host = new qivtest::OleTestContainer;
    return *host;
}

// One control sited in software in the host window, with an event sink.
class Sited {
public:
    // embedNow false: the control is made without its window; embed() sites it later.
    explicit Sited(bool embedNow = true) : host_(sharedHost()), sink_(DIID__QivPlayerEvents) {
        control_ = qivtest::ControlRef::create();
        EXPECT_TRUE(control_);
        p2 = control_.get();
        ctl = control_.ctl();
        p2->put_Filter(VARIANT_FALSE);  // the engine's own picture has no edge filter
        EXPECT_EQ(S_OK, qivtest::Connect(p2, DIID__QivPlayerEvents, &sink_, &cookie_));
        if (embedNow) embed();
    }
    void embed() {
        ShowWindow(host_.window(), SW_SHOW);
        ctl->state().rendererKind = 2;
        EXPECT_EQ(S_OK, host_.Embed(p2, true));
        EXPECT_NE(nullptr, ctl->hwnd());
    }
    ~Sited() {
        qivtest::Disconnect(p2, DIID__QivPlayerEvents, cookie_);
        host_.Unembed();
        control_.reset();
        qivctl::FlushCaches(true, true, true, true);
    }
    // Events seen so far as names.
    std::vector<std::string> events() const {
        std::vector<std::string> out;
        for (const qivtest::EventRecord& e : sink_.events)
            if (e.id == qivdispid::event::ObjectLoaded) out.push_back("loaded");
            else if (e.id == qivdispid::event::ThumbnailDone) out.push_back("thumbnail");
        return out;
    }
    int count(const char* name) const {
        std::vector<std::string> e = events();
        return int(std::count(e.begin(), e.end(), std::string(name)));
    }
    qivtest::EventSink& sink() { return sink_; }
    void paint() {
        qivtest::PumpMessages();
        RedrawWindow(ctl->hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        qivtest::PumpMessages();
    }
    std::vector<uint32_t> window() {
        const QivControlState& st = ctl->state();
        return qivtest::ReadWindow(ctl->hwnd(), st.frameWidth, st.frameHeight);
    }
    void click() {
        SendMessageW(ctl->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
        SendMessageW(ctl->hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(20, 20));
    }
    // Pumps messages until the event count reaches n or ms pass.
    bool waitFor(const char* name, int n, DWORD ms) {
        const ULONGLONG end = GetTickCount64() + ms;
        do {
            qivtest::PumpMessages();
            if (count(name) >= n) return true;
            Sleep(5);
        } while (GetTickCount64() < end);
        return count(name) >= n;
    }
    bool load(const std::string& path) {
        BSTR b = bstr(path);
        VARIANT_BOOL ok = VARIANT_FALSE;
        EXPECT_EQ(S_OK, p2->LoadObject(b, &ok));
        SysFreeString(b);
        return ok == VARIANT_TRUE;
    }
    // Feeds the container in pieces of the sizes next() gives (expected total: total).
    void feed(const Bytes& file, const std::function<size_t()>& next, uint64_t total, bool end = true) {
        for (size_t at = 0; at < file.size();) {
            const size_t n = std::min(next(), file.size() - at);
            ctl->FeedContainerData(file.data() + at, n, total, false);
            at += n;
        }
        if (end) ctl->EndStreamLoad(true);
    }
    bool thumbnail() {
        VARIANT_BOOL v = VARIANT_FALSE;
        EXPECT_EQ(S_OK, p2->get_HasThumbnail(&v));
        return v == VARIANT_TRUE;
    }

    IQivPlayer2* p2 = nullptr;
    CQivPlayerCtl* ctl = nullptr;

private:
    qivtest::OleTestContainer& host_;
    qivtest::EventSink sink_;
    DWORD cookie_ = 0;
    qivtest::ControlRef control_;
};

class StreamLoad : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        OleInitialize(nullptr);
        qcom::module().init(GetModuleHandleW(nullptr), qivClassTable(), qivClassCount());
    }
    void SetUp() override {
        while (errPop(nullptr, nullptr, nullptr, nullptr)) {
        }
    }
};

// The levels of the errors reported since the last call.
std::vector<uint32_t> reportedLevels() {
    std::vector<uint32_t> out;
    uint32_t level = 0;
    while (errPop(&level, nullptr, nullptr, nullptr)) out.push_back(level);
    return out;
}

}  // namespace

// Whole (size unknown), 1-byte pieces and random splits: the same events in the same order
// (the preview shown once, ObjectLoaded once after it), the same object with its texture,
// name, views and per-part block, and the window showing it.
TEST_F(StreamLoad, SplitsGiveTheSameTraceAndObject) {
    const Bytes file = qivw::build(richCubes());
    std::mt19937 rng(7);
    const std::vector<std::pair<const char*, std::function<size_t()>>> splits = {
        {"whole", [&] { return file.size(); }},
        {"bytes", [] { return size_t(1); }},
        {"random", [&] { return size_t(1 + rng() % 700); }},
    };
    std::string first;
    for (const auto& split : splits) {
        SCOPED_TRACE(split.first);
        Sited s;
        ASSERT_EQ(1, s.ctl->BeginStreamLoad("http://host/cubes.qiv", true));
        s.feed(file, split.second, 0);
        EXPECT_FALSE(s.ctl->StreamLoadRunning());
        MSG m{};
        ASSERT_TRUE(PeekMessageW(&m, s.ctl->hwnd(), WM_COMMAND, WM_COMMAND, PM_NOREMOVE));
        EXPECT_EQ(29000u, m.wParam) << "the first saved view is applied";
        s.paint();
        const QivControlState& st = s.ctl->state();
        // The first record: reference point (0, 1, 2), eye (3, 4, 5).
        const float got[6] = {st.camera.vrp.x, st.camera.vrp.y, st.camera.vrp.z,
                              st.camera.eye.x, st.camera.eye.y, st.camera.eye.z};
        for (int k = 0; k < 6; ++k) EXPECT_NEAR(float(k), got[k], 1e-3f) << "view value " << k;
        ASSERT_EQ(1u, st.slots.size());
        const QivObjectSlot& slot = st.slots[0];
        ASSERT_NE(nullptr, slot.node);
        ASSERT_EQ(1u, slot.textureHandles.size());
        std::string trace;
        for (const std::string& e : s.events()) trace += e + " ";
        trace += "| texture " + std::string(slot.textureHandles[0] ? "set" : "missing");
        trace += " | faces " + std::to_string(slot.node->content->faceCount);
        trace += " | " + slot.objectName + " | parts " + std::to_string(slot.chunkData.size());
        const QivSavedViewList* views = s.ctl->SavedViews();
        trace += " | views " + std::to_string(views ? views->views.size() : 0);
        trace += " | triangles " + std::to_string(s.ctl->win().stats.triangles);
        if (first.empty()) first = trace;
        EXPECT_EQ(first, trace);
        EXPECT_EQ("thumbnail loaded | texture set | faces 12 | Two cubes | parts 8 | views 2 | triangles 24", trace);
        // What the window shows is the engine's picture of the object over the colour background.
        EXPECT_FALSE(s.thumbnail());
        const std::vector<uint32_t> px = s.window(), ref = qivtest::EnginePicture(st);
        const int total = st.frameWidth * st.frameHeight;
        EXPECT_LT(qivtest::BackgroundPixels(ref, qivtest::BackColour(st)), total * 9 / 10);
        EXPECT_LE(qivtest::Differing(px, ref, 8), total / 200);
    }
}

// PreviewMode x DelayAfterPreview through the control: whether the preview shows, whether the
// load waits after it, and what ends the wait (a click for bit 1, timer 55 for bit 2 with a
// delay, nothing for -1).
TEST_F(StreamLoad, PreviewModeAndDelayTable) {
    const Bytes file = qivw::build(richCubes());
    struct Case {
        long mode, delay;
        bool whole;       // one piece with its size known
        bool previewShown, waits;
        const char* leave;  // "click", "timer", "stays"
    } cases[] = {
        {3, 0, true, false, false, ""},
        {3, 0, false, true, false, ""},
        {1, 0, false, true, true, "click"},
        {1, 0, true, true, true, "click"},
        {2, -1, false, true, true, "stays"},
        {2, 60, false, true, true, "timer"},
        {3, 60, true, true, true, "click"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(std::to_string(k.mode) + " " + std::to_string(k.delay) + (k.whole ? " whole" : " pieces"));
        Sited s;
        ASSERT_EQ(S_OK, s.p2->put_PreviewMode(k.mode));
        ASSERT_EQ(S_OK, s.p2->put_DelayAfterPreview(k.delay));
        ASSERT_EQ(1, s.ctl->BeginStreamLoad("http://host/cubes.qiv", true));
        if (k.whole)
            s.feed(file, [&] { return file.size(); }, file.size());
        else
            s.feed(file, [] { return size_t(500); }, 0);
        EXPECT_EQ(k.previewShown ? 1 : 0, s.count("thumbnail"));
        EXPECT_EQ(k.waits ? 0 : 1, s.count("loaded"));
        EXPECT_EQ(k.waits, s.ctl->StreamLoadRunning()) << "the end of the transfer is remembered while it waits";
        if (!k.waits) continue;
        EXPECT_TRUE(s.thumbnail());
        EXPECT_EQ(nullptr, s.ctl->state().slots[0].node);
        const std::string leave = k.leave;
        if (leave == "click") s.click();
        const bool loaded = s.waitFor("loaded", 1, leave == "stays" ? 300 : 3000);
        if (leave == "stays") {
            s.click();
            qivtest::PumpMessages();
            EXPECT_FALSE(loaded);
            EXPECT_EQ(0, s.count("loaded"));
            EXPECT_TRUE(s.ctl->StreamLoadRunning());
            EXPECT_TRUE(s.thumbnail());
            continue;
        }
        EXPECT_TRUE(loaded);
        EXPECT_EQ(1, s.count("loaded"));
        EXPECT_FALSE(s.ctl->StreamLoadRunning());
        EXPECT_NE(nullptr, s.ctl->state().slots[0].node);
        EXPECT_FALSE(s.thumbnail());
        PicRecord* kept = s.ctl->PreviewPicture();
        ASSERT_NE(nullptr, kept) << "kept for the 2D view";
        // The 2D view shows the container's preview and gives it back.
        ASSERT_EQ(S_OK, s.p2->Show2DView(VARIANT_TRUE));
        EXPECT_EQ(kept, s.ctl->BackgroundPicture());
        EXPECT_EQ(kept, s.ctl->state().background.picture);
        EXPECT_EQ(3u, s.ctl->state().background.mode);
        ASSERT_EQ(S_OK, s.p2->Show2DView(VARIANT_FALSE));
        EXPECT_EQ(kept, s.ctl->PreviewPicture());
        EXPECT_NE(kept, s.ctl->state().background.picture);
    }
}

// While the object stream grows with IncrementalDisplay on, a new parse starts only when
// twice the last parse's duration has passed since it ended.
TEST_F(StreamLoad, ThrottledReparse) {
    qivw::Container c;
    c.object = qivw::gridObject(60);
    c.method = 0;
    const Bytes file = qivw::build(c);
    Sited s;
    FakeClock clock;
    clock.perCall = 10;  // a parse takes 10 ms
    s.ctl->SetLoadClock(&clock);
    ASSERT_EQ(S_OK, s.p2->put_IncrementalDisplay(VARIANT_TRUE));
    ASSERT_EQ(1, s.ctl->BeginStreamLoad("http://host/grid.qiv", true));
    size_t pieces = 0;
    for (size_t at = 0; at < file.size(); at += 64, ++pieces) {
        clock.newPiece(1);
        s.ctl->FeedContainerData(file.data() + at, std::min<size_t>(64, file.size() - at), 0, false);
    }
    ASSERT_TRUE(s.ctl->StreamLoadRunning());
    const uint32_t attempts = s.ctl->StreamLoad()->driver().parseAttempts();
    EXPECT_GE(attempts, 2u);
    EXPECT_LE(attempts, pieces / 10 + 2) << pieces << " pieces";
    s.ctl->EndStreamLoad(true);
    EXPECT_EQ(1, s.count("loaded"));
    ASSERT_NE(nullptr, s.ctl->state().slots[0].node);
    EXPECT_EQ(60u * 60u, s.ctl->state().slots[0].node->content->faceCount);
    s.ctl->SetLoadClock(nullptr);
}

// Containers that are cut short or damaged fail with the level of their fault and leave the
// object shown before as it was: its node, its picture, no ObjectLoaded.
TEST_F(StreamLoad, BadContainersLeaveTheShownObject) {
    const Bytes good = qivw::build(richCubes());
    qivw::Container stored = richCubes();
    stored.method = 0;
    const Bytes plain = qivw::build(stored);
    struct Case {
        const char* what;
        std::function<Bytes()> make;
        bool transferFails;
        uint32_t level;
    } cases[] = {
        {"cut in the object stream", [&] { return Bytes(good.begin(), good.begin() + good.size() / 2); }, false, 4},
        {"transfer broken off", [&] { return Bytes(good.begin(), good.begin() + good.size() / 2); }, true, 4},
        {"wrong magic", [&] { Bytes b = good; b[0] = 'x'; return b; }, false, 3},
        {"payload offset inside the header", [&] { Bytes b = good; b[8] = 12; return b; }, false, 3},
        {"wrong payload version", [&] { Bytes b = plain; b[40 + 8] = 2; return b; }, false, 3},
        {"object stream outside the payload", [&] { Bytes b = plain; b[40 + 24 + 3] = 0x7F; return b; }, false, 4},
        {"deflate block of a reserved kind", [&] { Bytes b = good; b[40 + 2] = 0x07; return b; }, false, 4},
        {"object stream that does not parse", [&] {
             qivw::Container c = stored;
             c.object.parts[0].commandCount = 5000;
             return qivw::build(c);
         }, false, 3},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        Sited s;
        ASSERT_EQ(1, s.ctl->BeginStreamLoad("http://host/first.qiv", true));
        s.feed(good, [&] { return good.size(); }, good.size());
        s.paint();
        const ScnNode* node = s.ctl->state().slots[0].node;
        ASSERT_NE(nullptr, node);
        const std::vector<uint32_t> before = s.window();
        reportedLevels();
        const Bytes bad = k.make();
        ASSERT_EQ(1, s.ctl->BeginStreamLoad("http://host/second.qiv", true));
        s.feed(bad, [] { return size_t(200); }, 0, false);
        s.ctl->EndStreamLoad(!k.transferFails);
        EXPECT_FALSE(s.ctl->StreamLoadRunning());
        EXPECT_EQ(k.level, s.ctl->LastLoadErrorLevel());
        const std::vector<uint32_t> levels = reportedLevels();
        EXPECT_NE(levels.end(), std::find(levels.begin(), levels.end(), k.level));
        EXPECT_EQ(1, s.count("loaded"));
        ASSERT_FALSE(s.ctl->state().slots.empty());
        EXPECT_EQ(node, s.ctl->state().slots[0].node);
        EXPECT_EQ(0, s.ctl->state().currentSlot);
        EXPECT_FALSE(s.thumbnail());
        s.paint();
        EXPECT_LE(qivtest::Differing(s.window(), before, 0), 0);
        // The container kept is still the first object's.
        const std::string saved = tempDir("qivload bad") + "\\kept.qiv";
        EXPECT_TRUE(s.ctl->SaveContainerFile(saved.c_str()));
        EXPECT_EQ(good, readFile(saved));
        DeleteFileA(saved.c_str());
    }
}

// Embedded texture files that do not decode (a BMP whose pixel offset lies far beyond its
// data, one shorter than its headers) leave that texture empty; the object loads.
TEST_F(StreamLoad, HostileEmbeddedTexturesLeaveTheTextureEmpty) {
    bmpb::BmpDesc d;
    d.width = 8, d.height = 8, d.bits = 24;
    Bytes farOffset = bmpb::build(d);
    farOffset[10] = 0xF0, farOffset[11] = 0xFF, farOffset[12] = 0xFF, farOffset[13] = 0xFF;
    const Bytes shortBmp = {'B', 'M', 60, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0};
    for (const Bytes& texture : {farOffset, shortBmp}) {
        qivw::Container c = qivsample::container("hostile.bmp");
        using T = qivw::Texture;
        c.chunks.push_back(qivw::textureTable({{0, T::File, 0, texture, 0}}));
        const Bytes file = qivw::build(c);
        Sited s;
        ASSERT_EQ(1, s.ctl->BeginStreamLoad("http://host/hostile.qiv", true));
        s.feed(file, [&] { return file.size(); }, file.size());
        EXPECT_EQ(1, s.count("loaded"));
        const QivObjectSlot& slot = s.ctl->state().slots[0];
        ASSERT_NE(nullptr, slot.node);
        ASSERT_EQ(1u, slot.textureHandles.size());
        EXPECT_EQ(nullptr, slot.textureHandles[0]);
        s.paint();
    }
}

// LoadObject on a local Qiv file: its textures are looked for beside it (a ".bmp" name found
// as ".jpg" and decoded as JPEG); with PreviewMode 1 the preview shows in the window until a
// click, then the object does. The ".vov" spelling loads as well.
TEST_F(StreamLoad, LocalQivFileThroughLoadObject) {
    const std::string dir = tempDir("qivload local files");
    qivw::Container c = qivsample::container("textures\\checker.bmp");
    c.preview = jpeg(120, 90, true);
    const std::string qiv = dir + "\\two cubes.qiv", vov = dir + "\\two cubes.vov";
    ASSERT_TRUE(writeFile(qiv, qivw::build(c)));
    ASSERT_TRUE(writeFile(vov, qivw::build(c)));
    ASSERT_TRUE(writeFile(dir + "\\checker.jpg", jpeg(32, 32, false)));
    {
        Sited s;
        ASSERT_EQ(S_OK, s.p2->put_PreviewMode(1));
        ASSERT_TRUE(s.load(qiv)) << "the preview waits for the click";
        EXPECT_EQ(1, s.count("thumbnail"));
        EXPECT_EQ(0, s.count("loaded"));
        EXPECT_TRUE(s.thumbnail());
        s.paint();
        const QivControlState& st = s.ctl->state();
        ASSERT_EQ(nullptr, st.sceneRoots);
        const int total = st.frameWidth * st.frameHeight;
        std::vector<uint32_t> px = s.window(), ref = qivtest::EnginePicture(st);
        EXPECT_LT(qivtest::BackgroundPixels(ref, qivtest::BackColour(st)), total / 2) << "the preview fills the view";
        EXPECT_LE(qivtest::Differing(px, ref, 8), total / 200);
        s.click();
        EXPECT_TRUE(s.waitFor("loaded", 1, 3000));
        s.paint();
        ASSERT_NE(nullptr, st.slots[0].node);
        ASSERT_EQ(1u, st.slots[0].textureHandles.size());
        EXPECT_NE(nullptr, st.slots[0].textureHandles[0]) << "checker.jpg beside the file";
        px = s.window();
        ref = qivtest::EnginePicture(st);
        EXPECT_LT(qivtest::BackgroundPixels(ref, qivtest::BackColour(st)), total * 9 / 10);
        EXPECT_LE(qivtest::Differing(px, ref, 8), total / 200);
        BSTR url = nullptr;
        EXPECT_EQ(S_OK, s.p2->get_ObjectURL(&url));
        EXPECT_EQ(L"file://" + std::wstring(qiv.begin(), qiv.end()), std::wstring(url));
        SysFreeString(url);
    }
    {
        Sited s;
        std::wstring urlAtEvent;
        s.sink().handler = [&](DISPID id, DISPPARAMS*) {
            BSTR u = nullptr;
            if (id == qivdispid::event::ObjectLoaded && s.p2->get_ObjectURL(&u) == S_OK && u) urlAtEvent = u;
            SysFreeString(u);
        };
        ASSERT_TRUE(s.load(vov));
        EXPECT_EQ(L"file://" + std::wstring(vov.begin(), vov.end()), urlAtEvent) << "set when ObjectLoaded comes";
        EXPECT_EQ(0, s.count("thumbnail")) << "a local file is all at hand: no preview with the defaults";
        EXPECT_EQ(1, s.count("loaded"));
        EXPECT_NE(nullptr, s.ctl->state().slots[0].node);
        // A damaged file after it leaves it shown.
        const std::string bad = dir + "\\cut.qiv";
        const Bytes whole = qivw::build(c);
        ASSERT_TRUE(writeFile(bad, Bytes(whole.begin(), whole.begin() + whole.size() / 2)));
        const ScnNode* node = s.ctl->state().slots[0].node;
        EXPECT_FALSE(s.load(bad));
        EXPECT_EQ(node, s.ctl->state().slots[0].node);
        BSTR url = nullptr;
        EXPECT_EQ(S_OK, s.p2->get_ObjectURL(&url));
        EXPECT_EQ(urlAtEvent, std::wstring(url)) << "the URL of the object still shown";
        SysFreeString(url);
        EXPECT_EQ(4u, s.ctl->LastLoadErrorLevel());
        DeleteFileA(bad.c_str());
    }
    for (const std::string& f : {qiv, vov, dir + "\\checker.jpg"}) DeleteFileA(f.c_str());
}

// A file URL of the three-slash form with an escaped space names the same file at both
// entrances: LoadObject and ObjectURL load it.
TEST_F(StreamLoad, EscapedFileUrlLoadsThroughBothEntrances) {
    const std::string dir = tempDir("qivload file url");
    const std::string qiv = dir + "\\a b.qiv";
    ASSERT_TRUE(writeFile(qiv, qivw::build(qivsample::container("checker.bmp"))));
    std::string url = "file:///";
    for (char ch : qiv) url += ch == '\\' ? std::string("/") : ch == ' ' ? std::string("%20") : std::string(1, ch);
    {
        Sited s;
        EXPECT_TRUE(s.load(url)) << url;
        EXPECT_NE(nullptr, s.ctl->state().slots[0].node) << "through LoadObject";
    }
    {
        Sited s;
        BSTR b = bstr(url);
        EXPECT_EQ(S_OK, s.p2->put_ObjectURL(b));
        SysFreeString(b);
        EXPECT_TRUE(s.waitFor("loaded", 1, 3000));
        ASSERT_FALSE(s.ctl->state().slots.empty());
        EXPECT_NE(nullptr, s.ctl->state().slots[0].node) << "through ObjectURL";
    }
    DeleteFileA(qiv.c_str());
}

// An object file or container that does not load (missing, not an object, cut short)
// leaves the object shown before as it was, and its temporary copy with it.
TEST_F(StreamLoad, FilesThatDoNotLoadLeaveTheShownObject) {
    const std::string dir = tempDir("qivload keep");
    const std::string pel = dir + "\\sample.pel", junk = dir + "\\junk.pel", cut = dir + "\\cut.qiv";
    ASSERT_TRUE(sampleWriteObjectFile(pel.c_str(), false));
    ASSERT_TRUE(writeFile(junk, Bytes(300, 'j')));
    const Bytes whole = qivw::build(qivsample::container(""));
    ASSERT_TRUE(writeFile(cut, Bytes(whole.begin(), whole.begin() + whole.size() - 30)));
    Sited s;
    ASSERT_TRUE(s.load(pel));
    s.paint();
    const ScnNode* node = s.ctl->state().slots[0].node;
    const std::string copy = s.ctl->win().tempCopy;
    const std::vector<uint32_t> before = s.window();
    const std::wstring shownUrl = L"file://" + std::wstring(pel.begin(), pel.end());
    for (const std::string& bad : {dir + "\\missing.pel", junk, cut}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(s.load(bad));
        EXPECT_EQ(node, s.ctl->state().slots[0].node);
        BSTR url = nullptr;
        EXPECT_EQ(S_OK, s.p2->get_ObjectURL(&url));
        EXPECT_EQ(shownUrl, std::wstring(url)) << "the URL of the object still shown";
        SysFreeString(url);
        EXPECT_EQ(copy, s.ctl->win().tempCopy);
        s.paint();
        EXPECT_EQ(0, qivtest::Differing(s.window(), before, 0));
    }
    EXPECT_EQ(1, s.count("loaded"));
    for (const std::string& f : {pel, junk, cut, dir + "\\" + kSampleTextureName}) DeleteFileA(f.c_str());
}

// A progressive preview shows in the window after its first scan, before the object has
// arrived; its final picture is the one-shot decode of the same JPEG.
TEST_F(StreamLoad, ProgressivePreviewShowsAfterItsFirstScan) {
    qivw::Container c = qivsample::container("");
    c.preview = jpeg(160, 120, true);
    c.method = 0;  // stored: the bytes fed count the payload
    const Bytes file = qivw::build(c);
    const Bytes payload = qivw::payload(c);
    const uint32_t previewAt = testbytes::get32(payload, 12);
    const size_t previewEnd = 40 + previewAt + 4 + c.preview.size();
    Sited s;
    ASSERT_EQ(S_OK, s.p2->put_PreviewMode(1));
    ASSERT_EQ(1, s.ctl->BeginStreamLoad("http://host/cubes.qiv", true));
    size_t at = 0;
    for (; at < file.size() && !s.count("thumbnail"); at += 64)
        s.ctl->FeedContainerData(file.data() + at, std::min<size_t>(64, file.size() - at), 0, false);
    ASSERT_EQ(1, s.count("thumbnail"));
    EXPECT_LT(at, previewEnd) << "shown before the picture is complete";
    EXPECT_TRUE(s.thumbnail());
    s.paint();
    const QivControlState& st = s.ctl->state();
    EXPECT_EQ(nullptr, st.slots[0].node);
    const int total = st.frameWidth * st.frameHeight;
    EXPECT_LT(qivtest::BackgroundPixels(s.window(), qivtest::BackColour(st)), total / 2);
    for (; at < file.size(); at += 64)
        s.ctl->FeedContainerData(file.data() + at, std::min<size_t>(64, file.size() - at), 0, false);
    s.ctl->EndStreamLoad(true);
    ASSERT_TRUE(s.ctl->StreamLoadRunning()) << "waits for the click";
    const PicRecord* shown = s.ctl->BackgroundPicture();
    PicRecord* once = DecodeJpegFromMemory(c.preview.data(), c.preview.size());
    ASSERT_NE(nullptr, shown);
    ASSERT_NE(nullptr, once);
    ASSERT_EQ(once->width, shown->width);
    ASSERT_EQ(once->height, shown->height);
    int off = 0;
    for (int32_t y = 0; y < once->height; ++y)
        for (int32_t x = 0; x < once->width; ++x) {
            const size_t i = size_t(y) * once->width + x;
            off += (once->palette[once->pixels[i]] & 0xFFFFFF) != (shown->palette[shown->pixels[i]] & 0xFFFFFF);
        }
    EXPECT_EQ(0, off);
    fzFreeImage(&once);
    s.paint();
    EXPECT_LE(qivtest::Differing(s.window(), qivtest::EnginePicture(st), 8), total / 200);
    s.click();
    EXPECT_EQ(1, s.count("loaded"));
}

// Event handlers that start another load while the first one is busy (its preview just shown,
// its object just loaded), or that feed it further pieces: the first load ends where it stands
// or takes the pieces in order once it returns; the object that stands last is shown.
TEST_F(StreamLoad, LoadsStartedFromEventHandlers) {
    const Bytes a = qivw::build(richCubes());
    qivw::Container grid;
    grid.object = qivw::gridObject(4);
    const Bytes b = qivw::build(grid);
    struct Case {
        DISPID at;
        bool feedSame;  // the handler feeds the rest of the first load
        int loaded;
        uint32_t faces;
    } cases[] = {{qivdispid::event::ThumbnailDone, false, 1, 16}, {qivdispid::event::ObjectLoaded, false, 2, 16}, {qivdispid::event::ThumbnailDone, true, 1, 12}};
    for (const Case& k : cases) {
        SCOPED_TRACE(std::to_string(k.at) + (k.feedSame ? " same" : " other"));
        Sited s;
        bool done = false;
        size_t fed = 0, next = 0;  // next: behind the piece being fed
        s.sink().handler = [&](DISPID id, DISPPARAMS*) {
            if (id != k.at || done) return;
            done = true;
            if (k.feedSame) {
                s.ctl->FeedContainerData(a.data() + next, a.size() - next, 0, false);
                s.ctl->EndStreamLoad(true);
                EXPECT_TRUE(s.ctl->StreamLoadRunning()) << "taken once the load returns";
                return;
            }
            ASSERT_EQ(1, s.ctl->BeginStreamLoad("http://host/grid.qiv", true));
            s.ctl->FeedContainerData(b.data(), b.size(), b.size(), true);
        };
        ASSERT_EQ(1, s.ctl->BeginStreamLoad("http://host/cubes.qiv", true));
        for (; fed < a.size() && !done; fed = next) {
            next = std::min(fed + 256, a.size());
            s.ctl->FeedContainerData(a.data() + fed, next - fed, 0, false);
        }
        ASSERT_TRUE(done);
        // What is left of the first load finds nothing running any more.
        if (!k.feedSame) s.ctl->FeedContainerData(a.data() + fed, a.size() - fed, 0, true);
        EXPECT_FALSE(s.ctl->StreamLoadRunning());
        EXPECT_EQ(k.loaded, s.count("loaded"));
        ASSERT_EQ(1u, s.ctl->state().slots.size());
        ASSERT_NE(nullptr, s.ctl->state().slots[0].node);
        EXPECT_EQ(k.faces, s.ctl->state().slots[0].node->content->faceCount);
        s.paint();
        const QivControlState& st = s.ctl->state();
        EXPECT_LE(qivtest::Differing(s.window(), qivtest::EnginePicture(st), 8), st.frameWidth * st.frameHeight / 200);
    }
}

// A second picture in the preview area becomes the 3D background once the preview gives way,
// also while BackPicMode is 0 (colour only); a background picture chunk (0x101) is shown
// scaled to fit. Both leave BackPicMode 1, and the window shows the object over the picture.
TEST_F(StreamLoad, SecondPictureAndBackgroundChunkBecomeTheBackground) {
    struct Case {
        const char* name;
        bool second, chunk;
        int width;  // of the background picture
    } cases[] = {{"second picture", true, false, 24}, {"background chunk", false, true, 40}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        qivw::Container c = qivsample::container("");
        c.preview = jpeg(96, 72, false);
        if (k.second) c.second = jpeg(24, 16, false);
        if (k.chunk) c.chunks.push_back({0x101, jpeg(40, 30, false)});
        c.chunks.push_back({0x15, Bytes(4, 1)});
        c.chunks.push_back({0x14, Bytes(4, 0)});  // the preview gives way here
        const Bytes file = qivw::build(c);
        Sited s;
        ASSERT_EQ(S_OK, s.p2->put_BackPicMode(qivBackPicModes(0)));
        ASSERT_EQ(1, s.ctl->BeginStreamLoad("http://host/backdrop.qiv", true));
        s.feed(file, [] { return size_t(300); }, 0);
        ASSERT_EQ(1, s.count("loaded"));
        EXPECT_EQ(1, s.count("thumbnail"));
        const QivControlState& st = s.ctl->state();
        PicRecord* back = s.ctl->BackgroundPicture();
        ASSERT_NE(nullptr, back);
        EXPECT_EQ(k.width, back->width);
        EXPECT_EQ(back, st.background.picture);
        EXPECT_EQ(3u, st.background.mode) << "scaled to fit";
        qivBackPicModes mode = qivBackPicModes(0);
        EXPECT_EQ(S_OK, s.p2->get_BackPicMode(&mode));
        EXPECT_EQ(1, int(mode));
        ASSERT_NE(nullptr, s.ctl->PreviewPicture());
        EXPECT_EQ(96, s.ctl->PreviewPicture()->width) << "the preview is kept for the 2D view";
        s.paint();
        const std::vector<uint32_t> px = s.window(), ref = qivtest::EnginePicture(st);
        const int total = st.frameWidth * st.frameHeight;
        EXPECT_LT(qivtest::BackgroundPixels(ref, qivtest::BackColour(st)), total / 10) << "the picture fills the back";
        EXPECT_LE(qivtest::Differing(px, ref, 8), total / 200);
    }
}

// A play request given before the window exists (a persisted AnimPlaying) or while the object
// streams, before its animation chunk, waits for that chunk and is carried out there.
TEST_F(StreamLoad, AnimationRequestedBeforeTheObjectStarts) {
    qivw::Container c = qivsample::container("");
    c.method = 0;  // stored: the chunks arrive in the order of the file
    pelb::AnimBlockDef a;
    a.frameRate = 2;
    a.tracks.push_back(pelb::positionTrack({{0, 0, 0}, {0, 0, 1}, {0, 0, 0}}));
    a.tracks.push_back(pelb::positionTrack({{0, 0, 0}, {0, 0, 0}}));
    pelb::AnimDescDef d;
    d.name = "lift";
    d.start = 0;
    d.end = 2;
    a.descs.push_back(d);
    a.partMap = {0, 1};
    c.chunks.push_back({0x14, pelb::animBlock(a)});
    const Bytes file = qivw::build(c);
    for (const bool beforeWindow : {true, false}) {
        SCOPED_TRACE(beforeWindow ? "before the window" : "while streaming");
        Sited s(!beforeWindow);
        if (beforeWindow) {
            ASSERT_EQ(S_OK, s.p2->put_AnimPlaying(VARIANT_TRUE));
            s.embed();
        }
        ASSERT_EQ(1, s.ctl->BeginStreamLoad("http://host/lift.qiv", true));
        bool asked = beforeWindow;
        for (size_t at = 0; at < file.size(); at += 32) {
            s.ctl->FeedContainerData(file.data() + at, std::min<size_t>(32, file.size() - at), file.size(), false);
            const QivControlState& st = s.ctl->state();
            if (!asked && !st.slots.empty() && st.slots[0].node && !st.slots[0].hasAnimation) {
                ASSERT_EQ(S_OK, s.p2->put_AnimPlaying(VARIANT_TRUE));
                asked = true;
            }
        }
        s.ctl->EndStreamLoad(true);
        ASSERT_TRUE(asked) << "the object stood before its animation chunk";
        EXPECT_EQ(1, s.count("loaded"));
        VARIANT_BOOL has = VARIANT_FALSE, playing = VARIANT_FALSE;
        EXPECT_EQ(S_OK, s.p2->get_ObjectHasAnimation(&has));
        EXPECT_EQ(S_OK, s.p2->get_AnimPlaying(&playing));
        EXPECT_EQ(VARIANT_TRUE, has);
        EXPECT_EQ(VARIANT_TRUE, playing);
        EXPECT_TRUE(s.ctl->state().slots[0].animPlaying);
        EXPECT_FALSE(s.ctl->win().startAnimationPending);
    }
}

// An object embedded in the host's document: the length-prefixed container read from the
// stream is shown without preview and written back as it came; a length that lies fails.
TEST_F(StreamLoad, DocumentStreamRoundTrip) {
    qivw::Container c = richCubes();
    const Bytes file = qivw::build(c);
    Bytes image;
    testbytes::put32(image, uint32_t(file.size()));
    image.insert(image.end(), file.begin(), file.end());
    auto streamOf = [](const Bytes& b) {
        IStream* st = nullptr;
        EXPECT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, &st));
        ULONG n = 0;
        st->Write(b.data(), ULONG(b.size()), &n);
        LARGE_INTEGER zero{};
        st->Seek(zero, STREAM_SEEK_SET, nullptr);
        return st;
    };
    Sited s;
    IStream* in = streamOf(image);
    EXPECT_EQ(S_OK, s.ctl->LoadContainerFromStream(in));
    in->Release();
    EXPECT_EQ(0, s.count("thumbnail"));
    EXPECT_EQ(1, s.count("loaded"));
    ASSERT_NE(nullptr, s.ctl->state().slots[0].node);
    IStream* out = nullptr;
    ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, &out));
    EXPECT_EQ(S_OK, s.ctl->WriteContainerToStream(out));
    STATSTG stat{};
    out->Stat(&stat, STATFLAG_NONAME);
    Bytes written(size_t(stat.cbSize.QuadPart));
    LARGE_INTEGER zero{};
    out->Seek(zero, STREAM_SEEK_SET, nullptr);
    ULONG got = 0;
    out->Read(written.data(), ULONG(written.size()), &got);
    out->Release();
    EXPECT_EQ(image, written);
    Bytes lying = image;
    lying[0] = 0xFF, lying[1] = 0xFF;  // longer than what follows
    IStream* bad = streamOf(lying);
    EXPECT_EQ(E_FAIL, s.ctl->LoadContainerFromStream(bad));
    bad->Release();
    EXPECT_EQ(1, s.count("loaded"));
}

// The container kept for the object is written back: a deflated one as received, a stored one
// with payload offset 40 and the real length of its payload.
TEST_F(StreamLoad, KeptContainerIsSaved) {
    const std::string dir = tempDir("qivload save");
    qivw::Container stored = qivsample::container("");
    stored.method = 0;
    stored.gapBytes = 24;
    for (const qivw::Container& c : {qivsample::container(""), stored}) {
        const Bytes file = qivw::build(c);
        Sited s;
        EXPECT_FALSE(s.ctl->SaveContainerFile((dir + "\\none.qiv").c_str())) << "nothing kept yet";
        ASSERT_EQ(1, s.ctl->BeginStreamLoad("http://host/cubes.qiv", true));
        s.feed(file, [] { return size_t(333); }, file.size());
        const std::string out = dir + "\\saved.qiv";
        ASSERT_TRUE(s.ctl->SaveContainerFile(out.c_str()));
        const Bytes want = c.method == 1 ? file : qivw::wrap(qivw::payload(c), 0, 0, c.fileTime);
        EXPECT_EQ(want, readFile(out));
        DeleteFileA(out.c_str());
    }
}

// A second control loading a local container that another one shows shares the cached
// object with its saved views, per-part block and name, and still keeps the file for saving.
TEST_F(StreamLoad, SecondControlSharesACachedContainer) {
    const std::string dir = tempDir("qivload shared");
    const std::string path = dir + "\\shared.qiv", out = dir + "\\saved.qiv";
    qivw::Container stored = richCubes();
    stored.method = 0;
    for (const qivw::Container& c : {richCubes(), stored}) {
        const Bytes file = qivw::build(c);
        ASSERT_TRUE(writeFile(path, file));
        Sited s;
        ASSERT_TRUE(s.load(path));
        ASSERT_NE(nullptr, s.ctl->state().slots[0].node);
        const PelContent* shown = s.ctl->state().slots[0].node->content;
        qivtest::ControlRef secondRef = qivtest::ControlRef::create();
        ASSERT_TRUE(secondRef);
        CQivPlayerCtl* other = secondRef.ctl();
        IQivPlayer2* second = secondRef.get();
        BSTR b = bstr(path);
        VARIANT_BOOL ok = VARIANT_FALSE;
        EXPECT_EQ(S_OK, second->LoadObject(b, &ok));
        SysFreeString(b);
        EXPECT_EQ(VARIANT_TRUE, ok);
        const QivControlState& st = other->state();
        ASSERT_GE(st.currentSlot, 0);
        const QivObjectSlot& slot = st.slots[size_t(st.currentSlot)];
        ASSERT_NE(nullptr, slot.node);
        EXPECT_EQ(shown, slot.node->content) << "one object in the cache for both";
        const QivSavedViewList* views = other->SavedViews();
        EXPECT_EQ(2u, views ? views->views.size() : 0u);
        EXPECT_EQ("Two cubes", slot.objectName);
        EXPECT_EQ(8u, slot.chunkData.size());
        DeleteFileA(out.c_str());
        ASSERT_TRUE(other->SaveContainerFile(out.c_str()));
        EXPECT_EQ(c.method == 1 ? file : qivw::wrap(qivw::payload(c), 0, 0, c.fileTime), readFile(out));
        DeleteFileA(out.c_str());
        secondRef.reset();
        EXPECT_EQ(shown, s.ctl->state().slots[0].node->content) << "the first control still shows it";
    }
    DeleteFileA(path.c_str());
}

// F9 switches the statistics on while a status callback is set; the callback gets the line
// with the object's triangles, and the object's URL once it has loaded.
TEST_F(StreamLoad, StatisticsGoToTheStatusCallback) {
    const std::string dir = tempDir("qivload stats");
    const std::string qiv = dir + "\\cubes.qiv";
    ASSERT_TRUE(writeFile(qiv, qivw::build(qivsample::container(""))));
    Sited s;
    g_status.clear();
    SendMessageW(s.ctl->hwnd(), WM_KEYDOWN, VK_F9, 0);
    EXPECT_FALSE(s.ctl->win().stats.on) << "no callback, no statistics";
    s.ctl->SetStatusCallback(statusCallback, nullptr);
    ASSERT_TRUE(s.load(qiv));
    ASSERT_EQ(1u, g_status.size());
    EXPECT_EQ("-|" + qiv, g_status[0]);
    SendMessageW(s.ctl->hwnd(), WM_KEYDOWN, VK_F9, 0);
    ASSERT_TRUE(s.ctl->win().stats.on);
    s.ctl->win().stats.startTick -= 3000;
    s.paint();
    ASSERT_EQ(2u, g_status.size());
    EXPECT_EQ(0u, g_status[1].find("24 Triangles, ")) << g_status[1];
    EXPECT_NE(std::string::npos, g_status[1].find(" FPS|-"));
    SendMessageW(s.ctl->hwnd(), WM_KEYDOWN, VK_F9, 0);
    EXPECT_FALSE(s.ctl->win().stats.on);
    s.ctl->SetStatusCallback(nullptr, nullptr);
    DeleteFileA(qiv.c_str());
}

std::vector<std::string> g_titles;
void CALLBACK titleCallback(HWND window, const char* text, const char* path) {
    g_titles.push_back(std::to_string(window != nullptr) + "|" + (text ? text : "-") + "|" + (path ? path : "-"));
}

// IQivHostHooks is a part of the control (the same object through every interface); the title
// callback registered there receives the statistics lines with its window.
TEST_F(StreamLoad, HostHooksCarryTheTitleCallback) {
    Sited s;
    IQivHostHooks* hooks = nullptr;
    ASSERT_EQ(S_OK, s.p2->QueryInterface(IID_IQivHostHooks, reinterpret_cast<void**>(&hooks)));
    IQivPlayer2* back = nullptr;
    ASSERT_EQ(S_OK, hooks->QueryInterface(IID_IQivPlayer2, reinterpret_cast<void**>(&back)));
    EXPECT_EQ(s.p2, back);
    back->Release();
    void* data = reinterpret_cast<void*>(1);
    LONG length = 7;
    EXPECT_EQ(E_POINTER, hooks->GetInlineData(nullptr, &length));
    EXPECT_EQ(S_OK, hooks->GetInlineData(&data, &length)) << "no container: no block";
    EXPECT_EQ(nullptr, data);
    EXPECT_EQ(0, length);
    g_titles.clear();
    EXPECT_EQ(S_OK, hooks->SetTitleCallback(s.ctl->hwnd(), titleCallback));
    const Bytes file = qivw::build(qivsample::container(""));
    ASSERT_EQ(1, s.ctl->BeginStreamLoad("http://host/cubes.qiv", true));
    s.feed(file, [&] { return file.size(); }, file.size());
    SendMessageW(s.ctl->hwnd(), WM_KEYDOWN, VK_F9, 0);
    ASSERT_TRUE(s.ctl->win().stats.on);
    s.ctl->win().stats.startTick -= 3000;
    s.paint();
    ASSERT_EQ(2u, g_titles.size());
    EXPECT_EQ("1|-|http://host/cubes.qiv", g_titles[0]);
    EXPECT_EQ(0u, g_titles[1].find("1|24 Triangles, ")) << g_titles[1];
    EXPECT_EQ(S_OK, hooks->SetTitleCallback(nullptr, nullptr));
    EXPECT_FALSE(s.ctl->win().stats.on);
    hooks->Release();
}

TEST_F(StreamLoad, HasThumbnailWantsItsPointer) {
    Sited s;
    EXPECT_EQ(E_POINTER, s.p2->get_HasThumbnail(nullptr));
    EXPECT_FALSE(s.thumbnail());
    EXPECT_EQ(0, s.ctl->BeginStreamLoad("http://host/object.pel", true)) << "goes to a file first";
}

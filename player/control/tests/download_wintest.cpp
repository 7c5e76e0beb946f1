// Downloads of the control against an HTTP server on 127.0.0.1 that the test program runs
// itself (with a length, chunked, slowly in pieces, 404, cut off) and against file:// URLs:
// objects, textures with their candidate URLs, materials, further objects, cancelling, the
// object cache shared by two controls, the progress display, the background picture in each
// BackPicMode, the thumbnail read on a thread of its own, auto-saved names, loads started
// from inside a download's events, and the background picture kept in a document storage.
#include <windows.h>
#include <commctrl.h>
#include <docobj.h>
#include <ocidl.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <functional>
#include <string>
#include <vector>

#include "caches.h"
#include "texpaths.h"
#include "webpagehost.h"
#include "com/module.h"
#include "ctlmodule_win.h"
#include "download_win.h"
#include "httpserver.h"
#include "loadsession.h"
#include "navfixture.h"
#include "controlref.h"
#include "olecontainer.h"
#include "pixeltest.h"
#include "qiv_sample.h"
#include "qivctl_win.h"
#include "render/fzbuffer.h"
#include "scene/pelchunk.h"
#include "scene/tests/bmp_builder.h"
#include "scene/tests/pel_builder.h"
#include "serverparts_win.h"
#include "testfiles.h"
#include "tests/jpeg_maker.h"
#include "useropts_win.h"
#include "window_win.h"

namespace {

using qivtest::HttpServer;
using qivtest::readFile;
using qivtest::tempDir;
using qivtest::writeFile;
using Bytes = std::vector<uint8_t>;


std::string text(const Bytes& b) { return std::string(b.begin(), b.end()); }

BSTR bstr(const std::string& s) {
    std::wstring w(s.begin(), s.end());
    return SysAllocString(w.c_str());
}

std::string ansi(BSTR b) { return b ? std::string(b, b + SysStringLen(b)) : std::string(); }

// A 24-bit picture: the left half one colour, the right half another (0x00RRGGBB).
Bytes halves(int w, int h, uint32_t left, uint32_t right) {
    bmpb::BmpDesc d;
    d.width = w;
    d.height = h;
    d.bits = 24;
    d.pixel = [=](int32_t x, int32_t) { return x < w / 2 ? left : right; };
    return bmpb::build(d);
}

// The project's sample object (its area named "checker.bmp") and a texture for it, as files.
struct Sample {
    Bytes pel, texture;
};
const Sample& sample() {
    static const Sample s{readFile(qivtest::writeNavSample()), halves(16, 16, 0x00D0D0D0, 0x00303030)};
    return s;
}

// The two cubes as a container; with a preview, a chunk of noise behind the object keeps the
// transfer going well after the preview (the first piece of a download can be 8 KB).
Bytes containerBytes(bool preview) {
    qivw::Container c = qivsample::container("");
    if (preview) {
        jpegmk::Options o;
        o.width = 96;
        o.height = 72;
        o.progressive = true;
        c.preview = jpegmk::make(o);
        qivw::Chunk noise;
        noise.type = 0x7A00;
        uint32_t x = 12345;
        for (int i = 0; i < 48 * 1024; ++i) noise.data.push_back(uint8_t((x = x * 1103515245u + 12345u) >> 24));
        c.chunks.push_back(noise);
    }
    return qivw::build(c);
}

bool pumpUntil(const std::function<bool()>& done, DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    for (;;) {
        qivtest::PumpMessages();
        if (done()) return true;
        if (GetTickCount64() > end) return false;
        Sleep(5);
    }
}

// Messages the control shows, recorded instead of shown.
std::vector<std::string> g_messages;
int recordMessage(void*, const char* t, const char*, UINT) {
    g_messages.push_back(t ? t : "");
    return IDOK;
}

// Host windows of the controls (hiding a shown window takes long under a display without
// window manager), each shown once.
qivtest::OleTestContainer& host(int i) {
    static qivtest::OleTestContainer* hosts[2] = {new qivtest::OleTestContainer, new qivtest::OleTestContainer};
    ShowWindow(hosts[i]->window(), SW_SHOW);
    return *hosts[i];
}

// One control sited in software in a host window, with its events recorded.
class Viewer {
public:
    explicit Viewer(qivtest::OleTestContainer& site, bool activate = true) : site_(site), sink_(DIID__QivPlayerEvents) {
        control_ = qivtest::ControlRef::create();
        EXPECT_TRUE(control_);
        p2 = control_.get();
        ctl = control_.ctl();
        p2->put_Filter(VARIANT_FALSE);
        EXPECT_EQ(S_OK, qivtest::Connect(p2, DIID__QivPlayerEvents, &sink_, &cookie_));
        ctl->state().rendererKind = 2;
        if (activate) this->activate();
    }
    ~Viewer() {
        qivtest::Disconnect(p2, DIID__QivPlayerEvents, cookie_);
        site_.Unembed();
        control_.reset();
        qivtest::PumpMessages();
        qivctl::FlushCaches(true, true, true, true);
    }
    void activate() {
        EXPECT_EQ(S_OK, site_.Embed(p2, true));
        EXPECT_NE(nullptr, ctl->hwnd());
    }
    int count(DISPID id) const {
        return int(std::count_if(sink_.events.begin(), sink_.events.end(),
                                 [id](const qivtest::EventRecord& e) { return e.id == id; }));
    }
    bool waitFor(DISPID id, int n, DWORD ms = 5000) {
        return pumpUntil([&] { return count(id) >= n; }, ms);
    }
    // No download runs or waits.
    bool waitIdle(DWORD ms = 5000) {
        return pumpUntil([&] { return ctl->TransfersIdle() && !ctl->StreamLoadRunning(); }, ms);
    }
    HRESULT putUrl(const std::string& url) {
        BSTR b = bstr(url);
        const HRESULT hr = p2->put_ObjectURL(b);
        SysFreeString(b);
        return hr;
    }
    std::string url() {
        BSTR b = nullptr;
        p2->get_ObjectURL(&b);
        std::string s = ansi(b);
        SysFreeString(b);
        return s;
    }
    const QivObjectSlot* slot(int i) const {
        const QivControlState& st = ctl->state();
        return i >= 0 && size_t(i) < st.slots.size() && st.slots[size_t(i)].inUse ? &st.slots[size_t(i)] : nullptr;
    }
    // The view's pixels once the window has painted what is waiting.
    std::vector<uint32_t> window() {
        qivtest::PumpMessages();
        RedrawWindow(ctl->hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        qivtest::PumpMessages();
        return qivtest::ReadWindow(ctl->hwnd(), ctl->state().frameWidth, ctl->state().frameHeight);
    }
    // Pixels where the window differs from what the engine draws of the control's view.
    int differing() {
        const std::vector<uint32_t> px = window();
        return qivtest::Differing(px, qivtest::EnginePicture(ctl->state()), 8);
    }
    int pixels() const { return ctl->state().frameWidth * ctl->state().frameHeight; }
    qivtest::EventSink& sink() { return sink_; }

private:
    qivtest::OleTestContainer& site_;
    qivtest::EventSink sink_;
    DWORD cookie_ = 0;
    qivtest::ControlRef control_;

public:
    IQivPlayer2* p2 = nullptr;
    CQivPlayerCtl* ctl = nullptr;
};

// One HTTP server for all the tests; the control's messages are recorded.
class Download : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        OleInitialize(nullptr);
        qcom::module().init(GetModuleHandleW(nullptr), qivClassTable(), qivClassCount());
        server_ = new HttpServer;
        qivSetMessageLog(recordMessage, nullptr);
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(server_->running());
        g_messages.clear();
    }
    static HttpServer* server_;
    HttpServer& http() { return *server_; }
};
HttpServer* Download::server_ = nullptr;

// ---- objects over HTTP ----

// PEL files and Qiv containers arrive with a length, chunked and slowly in pieces; the
// progress the control shows never goes back and ends at 100 when the length is known.
TEST_F(Download, ObjectsOverHttp) {
    using Mode = HttpServer::Mode;
    struct Case {
        const char* path;
        Mode mode;
        size_t piece;
        DWORD pause;
        bool container, viaLoadObject;
    } cases[] = {
        {"/whole.pel", Mode::Length, 0, 0, false, false},   {"/chunked.pel", Mode::Chunked, 3000, 5, false, false},
        {"/slow.pel", Mode::Length, 2000, 15, false, true}, {"/whole.qiv", Mode::Length, 0, 0, true, false},
        {"/chunked.qiv", Mode::Chunked, 700, 5, true, true}, {"/slow.qiv", Mode::Length, 500, 15, true, false},
    };
    const Bytes qiv = containerBytes(true);
    for (const Case& k : cases) {
        SCOPED_TRACE(k.path);
        const Bytes& body = k.container ? qiv : sample().pel;
        http().set(k.path, HttpServer::Route{k.mode, text(body), k.piece, k.pause});
        Viewer v(host(0));
        struct Step {
            uint32_t value, done, total;
        };
        std::vector<Step> steps;
        v.ctl->downloadProgressHook = [&](uint32_t value, uint32_t done, uint32_t total) {
            steps.push_back({value, done, total});
        };
        const std::string url = http().url(k.path);
        if (k.viaLoadObject) {
            VARIANT_BOOL ok = VARIANT_TRUE;
            BSTR b = bstr(url);
            EXPECT_EQ(S_OK, v.p2->LoadObject(b, &ok));
            SysFreeString(b);
            EXPECT_EQ(VARIANT_FALSE, ok) << "a download answers false and acts later";
        } else {
            ASSERT_EQ(S_OK, v.putUrl(url));
        }
        ASSERT_TRUE(v.waitFor(qivdispid::event::ObjectLoaded, 1));
        ASSERT_TRUE(v.waitIdle());
        EXPECT_EQ(1, v.count(qivdispid::event::ObjectLoaded));
        if (k.container && k.piece && k.mode == Mode::Length) {
            EXPECT_EQ(1, v.count(qivdispid::event::ThumbnailDone)) << "the preview shows while the object arrives";
        }
        EXPECT_EQ(url, v.url());
        EXPECT_EQ(1, http().requests(k.path));
        ASSERT_NE(nullptr, v.slot(0));
        EXPECT_NE(nullptr, v.slot(0)->node);
        EXPECT_LE(v.differing(), v.pixels() / 200);
        ASSERT_FALSE(steps.empty());
        for (size_t i = 0; i < steps.size(); ++i) {
            EXPECT_LE(steps[i].value, 100u);
            if (i == 0) continue;
            EXPECT_GE(steps[i].value, steps[i - 1].value);
            EXPECT_GE(steps[i].done, steps[i - 1].done);
        }
        if (k.mode == Mode::Chunked) {
            EXPECT_EQ(0u, steps.back().total) << "no length: no percentage";
        } else {
            EXPECT_EQ(100u, steps.back().value);
            EXPECT_EQ(body.size(), steps.back().total);
        }
        if (k.piece && k.mode == Mode::Length) {
            EXPECT_TRUE(std::any_of(steps.begin(), steps.end(), [](const Step& s) { return s.value > 0 && s.value < 100; }));
        }
        EXPECT_EQ(0, v.ctl->state().statusText[0]) << "the progress display ended";
    }
}

// A 404, a connection cut short and an address that names a class load nothing: the object
// shown before stays and ObjectURL names it again.
TEST_F(Download, FailedTransfersLeaveTheShownObject) {
    const Bytes qiv = containerBytes(false);
    http().set("/shown.qiv", text(qiv));
    http().set("/cut.qiv", HttpServer::Route{HttpServer::Mode::Drop, text(qiv), 0, 0, qiv.size() / 2});
    http().set("/cut.pel", HttpServer::Route{HttpServer::Mode::Drop, text(sample().pel), 0, 0, sample().pel.size() / 2});
    Viewer v(host(0));
    // Without an object shown before, nothing is shown after.
    ASSERT_EQ(S_OK, v.putUrl(http().url("/missing.qiv")));
    ASSERT_TRUE(v.waitIdle());
    EXPECT_EQ(0, v.count(qivdispid::event::ObjectLoaded));
    EXPECT_EQ(nullptr, v.ctl->state().sceneRoots);
    EXPECT_EQ(1, http().requests("/missing.qiv"));

    ASSERT_EQ(S_OK, v.putUrl(http().url("/shown.qiv")));
    ASSERT_TRUE(v.waitFor(qivdispid::event::ObjectLoaded, 1));
    ASSERT_TRUE(v.waitIdle());
    const ScnNode* node = v.slot(0)->node;
    for (const char* path : {"/missing.pel", "/cut.qiv", "/cut.pel"}) {
        SCOPED_TRACE(path);
        ASSERT_EQ(S_OK, v.putUrl(http().url(path)));
        ASSERT_TRUE(v.waitIdle());
        EXPECT_EQ(1, v.count(qivdispid::event::ObjectLoaded));
        ASSERT_NE(nullptr, v.slot(0));
        EXPECT_EQ(node, v.slot(0)->node);
        EXPECT_EQ(http().url("/shown.qiv"), v.url());
        EXPECT_LE(v.differing(), v.pixels() / 200);
    }
    EXPECT_TRUE(g_messages.empty());
}

HRESULT WINAPI classOfTestScheme(LPCWSTR url, CLSID* id) {
    *id = CLSID_NULL;
    return url && std::wcsncmp(url, L"x-class:", 8) == 0 ? S_OK : MK_E_SYNTAX;
}

// An address that names a class is refused with message 122 and nothing is bound; the object
// shown stays.
TEST_F(Download, AddressNamingAClassIsRefused) {
    http().set("/shown.pel", text(sample().pel));
    Viewer v(host(0));
    ASSERT_EQ(S_OK, v.putUrl(http().url("/shown.pel")));
    ASSERT_TRUE(v.waitFor(qivdispid::event::ObjectLoaded, 1));
    ASSERT_TRUE(v.waitIdle());
    const ScnNode* node = v.slot(0)->node;
    qivSetClassUrlCheck(classOfTestScheme);
    ASSERT_EQ(S_OK, v.putUrl("x-class://viewer"));
    ASSERT_TRUE(v.waitIdle());
    qivSetClassUrlCheck(nullptr);
    ASSERT_EQ(1u, g_messages.size());
    EXPECT_EQ("URL type not supported: \"x-class://viewer\"", g_messages[0]);
    EXPECT_EQ(1, v.count(qivdispid::event::ObjectLoaded));
    ASSERT_NE(nullptr, v.slot(0));
    EXPECT_EQ(node, v.slot(0)->node);
}

// A texture the first candidate URL does not have (404) comes from the next one.
TEST_F(Download, TextureFallsThroughToTheNextCandidate) {
    http().set("/objects/cubes.pel", text(sample().pel));
    http().set("/objects/checker.bms", text(sample().texture));
    Viewer v(host(0));
    BSTR base = bstr(http().url("/textures"));
    ASSERT_EQ(S_OK, v.p2->put_TextureBaseURL(base));
    SysFreeString(base);
    ASSERT_EQ(S_OK, v.putUrl(http().url("/objects/cubes.pel")));
    ASSERT_TRUE(v.waitFor(qivdispid::event::ObjectLoaded, 1));
    ASSERT_TRUE(v.waitIdle());
    EXPECT_EQ(1, http().requests("/textures/checker.bms")) << "the texture base URL first";
    EXPECT_EQ(1, http().requests("/objects/checker.bms")) << "then the object's folder";
    const QivObjectSlot* s = v.slot(0);
    ASSERT_NE(nullptr, s);
    ASSERT_EQ(1u, s->textureHandles.size());
    ASSERT_NE(nullptr, s->textureHandles[0]);
    const std::string scope = qivctl::textureScopeOf(http().url("/objects/cubes.pel"));
    EXPECT_EQ(s->textureHandles[0], qivctl::TextureCacheFind("checker.bmp", nullptr, nullptr, scope))
        << "cached under its own name where the object lies";
    EXPECT_EQ(nullptr, qivctl::TextureCacheFind("checker.bmp")) << "not for every page";
    EXPECT_LE(v.differing(), v.pixels() / 200);

    // A second control showing an object of the same folder finds the texture in the cache.
    {
        Viewer w(host(1));
        base = bstr(http().url("/textures"));
        w.p2->put_TextureBaseURL(base);
        SysFreeString(base);
        http().set("/objects/more.pel", text(sample().pel));
        ASSERT_EQ(S_OK, w.putUrl(http().url("/objects/more.pel")));
        ASSERT_TRUE(w.waitFor(qivdispid::event::ObjectLoaded, 1));
        ASSERT_TRUE(w.waitIdle());
        EXPECT_EQ(s->textureHandles[0], w.slot(0)->textureHandles[0]);
        EXPECT_EQ(1, http().requests("/textures/checker.bms"));
    }

    // One elsewhere does not get it: the same name there is a texture of its own.
    Viewer x(host(1));
    base = bstr(http().url("/textures"));
    x.p2->put_TextureBaseURL(base);
    SysFreeString(base);
    http().set("/elsewhere/cubes.pel", text(sample().pel));
    ASSERT_EQ(S_OK, x.putUrl(http().url("/elsewhere/cubes.pel")));
    ASSERT_TRUE(x.waitFor(qivdispid::event::ObjectLoaded, 1));
    ASSERT_TRUE(x.waitIdle());
    ASSERT_NE(nullptr, x.slot(0));
    EXPECT_NE(s->textureHandles[0], x.slot(0)->textureHandles[0]);
    EXPECT_EQ(1, http().requests("/elsewhere/checker.bms")) << "looked for below its own object";
}

// The cancel button during a slow download ends it; the object shown before stays.
TEST_F(Download, CancelledTransferLeavesThePreviousObject) {
    const std::string dir = tempDir("qivdl cancel");
    const std::string local = dir + "\\local.pel";
    ASSERT_TRUE(writeFile(local, sample().pel));
    // A container stored without compression whose object alone takes a while to arrive.
    qivw::Container big;
    big.object = qivw::gridObject(60);
    big.method = 0;
    const Bytes qiv = qivw::build(big);
    http().set("/slow-cancel.qiv", HttpServer::Route{HttpServer::Mode::Length, text(qiv), 2048, 50});
    Viewer v(host(0));
    VARIANT_BOOL ok = VARIANT_FALSE;
    BSTR b = bstr(local);
    ASSERT_EQ(S_OK, v.p2->LoadObject(b, &ok));
    SysFreeString(b);
    ASSERT_EQ(VARIANT_TRUE, ok);
    const ScnNode* node = v.slot(0)->node;
    const std::string before = v.url();
    const int loaded = v.count(qivdispid::event::ObjectLoaded);
    ASSERT_EQ(S_OK, v.putUrl(http().url("/slow-cancel.qiv")));
    HWND cancel = GetDlgItem(v.ctl->hwnd(), 58009);
    ASSERT_NE(nullptr, cancel);
    ASSERT_TRUE(pumpUntil([&] { return IsWindowVisible(cancel) != FALSE; }, 5000))
        << "the cancel button shows while the object arrives";
    SendMessageW(cancel, BM_CLICK, 0, 0);
    ASSERT_TRUE(v.waitIdle());
    EXPECT_EQ(loaded, v.count(qivdispid::event::ObjectLoaded));
    ASSERT_NE(nullptr, v.slot(0));
    EXPECT_EQ(node, v.slot(0)->node);
    EXPECT_EQ(before, v.url());
    EXPECT_FALSE(IsWindowVisible(cancel));
    EXPECT_LE(v.differing(), v.pixels() / 200);
    DeleteFileA(local.c_str());
}

// An object loaded while another still arrives takes its place for good: the download ends
// and neither its object nor the URL shown before comes back. An empty ObjectURL then leaves
// nothing shown.
TEST_F(Download, NewObjectDuringADownloadAndAnEmptyUrl) {
    const std::string dir = tempDir("qivdl replace");
    const std::string first = dir + "\\first.pel", second = dir + "\\second.pel";
    ASSERT_TRUE(writeFile(first, sample().pel));
    ASSERT_TRUE(writeFile(second, sample().pel));
    qivw::Container big;
    big.object = qivw::gridObject(60);
    big.method = 0;
    http().set("/slow-replaced.qiv", HttpServer::Route{HttpServer::Mode::Length, text(qivw::build(big)), 2048, 50});
    Viewer v(host(0));
    VARIANT_BOOL ok = VARIANT_FALSE;
    BSTR b = bstr(first);
    ASSERT_EQ(S_OK, v.p2->LoadObject(b, &ok));
    SysFreeString(b);
    ASSERT_EQ(VARIANT_TRUE, ok);
    ASSERT_EQ(S_OK, v.putUrl(http().url("/slow-replaced.qiv")));
    ASSERT_TRUE(pumpUntil([&] { return http().requests("/slow-replaced.qiv") > 0; }, 5000));
    b = bstr(second);
    ASSERT_EQ(S_OK, v.p2->LoadObject(b, &ok));
    SysFreeString(b);
    ASSERT_EQ(VARIANT_TRUE, ok);
    const std::string want = v.url();
    EXPECT_NE(std::string::npos, want.find("second.pel")) << want;
    ASSERT_TRUE(v.waitIdle());
    pumpUntil([] { return false; }, 300);
    EXPECT_EQ(want, v.url()) << "the ended download does not name the first object again";
    ASSERT_NE(nullptr, v.slot(0));
    ASSERT_NE(nullptr, v.slot(0)->node);
    EXPECT_EQ(v.slot(0)->node->content, qivctl::ObjectCacheFind(second, nullptr, nullptr, nullptr))
        << "the second file's object, not the download's";

    ASSERT_EQ(S_OK, v.putUrl(""));
    EXPECT_EQ("", v.url());
    EXPECT_EQ(0, v.ctl->state().usedCount) << "nothing is shown";
    EXPECT_EQ(nullptr, v.ctl->state().sceneRoots);
    DeleteFileA(first.c_str());
    DeleteFileA(second.c_str());
}

// A second control loading the same URL takes the object from the object cache.
TEST_F(Download, TwoControlsShareOneCacheEntry) {
    http().set("/shared.qiv", text(containerBytes(false)));
    Viewer a(host(0));
    ASSERT_EQ(S_OK, a.putUrl(http().url("/shared.qiv")));
    ASSERT_TRUE(a.waitFor(qivdispid::event::ObjectLoaded, 1));
    ASSERT_TRUE(a.waitIdle());
    const size_t entries = qivctl::ObjectCacheCount();
    Viewer b(host(1));
    ASSERT_EQ(S_OK, b.putUrl(http().url("/shared.qiv")));
    ASSERT_TRUE(b.waitFor(qivdispid::event::ObjectLoaded, 1));
    ASSERT_TRUE(b.waitIdle());
    EXPECT_EQ(1, http().requests("/shared.qiv"));
    EXPECT_EQ(entries, qivctl::ObjectCacheCount());
    ASSERT_NE(nullptr, a.slot(0));
    ASSERT_NE(nullptr, b.slot(0));
    EXPECT_EQ(a.slot(0)->node->content, b.slot(0)->node->content);
    EXPECT_LE(b.differing(), b.pixels() / 200);
}

// A page on the server holds the control: relative names are taken below the page.
TEST_F(Download, RelativeNamesBelowTheWebPage) {
    static qivtest::WebPageHost* site = new qivtest::WebPageHost;
    ShowWindow(site->window(), SW_SHOW);
    const std::string page = http().url("/pages/view.htm");
    site->page.assign(page.begin(), page.end());
    http().set("/pages/objects/cubes.qiv", text(containerBytes(false)));
    Viewer v(*site);
    ASSERT_EQ(S_OK, v.putUrl("objects/cubes.qiv"));
    ASSERT_TRUE(v.waitFor(qivdispid::event::ObjectLoaded, 1));
    ASSERT_TRUE(v.waitIdle());
    EXPECT_EQ(1, http().requests("/pages/objects/cubes.qiv"));
    EXPECT_EQ(http().url("/pages/objects/cubes.qiv"), v.url()) << "the resolved address";
    EXPECT_NE(nullptr, v.slot(0)->node);
}

// ---- progress display ----

// A host with a status bar: the control's command target calls are recorded.
class StatusBarHost : public qivtest::OleTestContainer, public IOleCommandTarget {
public:
    std::vector<std::pair<DWORD, std::string>> calls;
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (out && IsEqualIID(iid, IID_IOleCommandTarget)) {
            *out = static_cast<IOleCommandTarget*>(this);
            AddRef();
            return S_OK;
        }
        return OleTestContainer::QueryInterface(iid, out);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return OleTestContainer::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return OleTestContainer::Release(); }
    STDMETHODIMP QueryStatus(const GUID*, ULONG n, OLECMD* cmds, OLECMDTEXT*) override {
        for (ULONG i = 0; i < n; ++i) cmds[i].cmdf = OLECMDF_SUPPORTED | OLECMDF_ENABLED;
        return S_OK;
    }
    STDMETHODIMP Exec(const GUID*, DWORD id, DWORD, VARIANT* in, VARIANT*) override {
        std::string arg;
        if (in && V_VT(in) == VT_BSTR) arg = ansi(V_BSTR(in));
        else if (in && V_VT(in) == VT_I4) arg = std::to_string(V_I4(in));
        calls.emplace_back(id, arg);
        return S_OK;
    }
};

// While an object arrives slowly, the loading panel shows its progress bar, the cancel button
// and "<prefix>: <n> Byte of <m> Byte"; the container's status bar gets the same; all of it
// goes when the object stands. A transfer of 48 MB keeps its percentages within 0 to 100.
TEST_F(Download, ProgressDisplay) {
    static StatusBarHost* bar = new StatusBarHost;
    ShowWindow(bar->window(), SW_SHOW);
    const Bytes& pel = sample().pel;
    http().set("/progress.pel", HttpServer::Route{HttpServer::Mode::Length, text(pel), 1024, 40});
    Viewer v(*bar);
    HWND progress = nullptr;
    bool barSeen = false, cancelSeen = false;
    int midPos = -1;
    std::string status;
    v.ctl->downloadProgressHook = [&](uint32_t value, uint32_t, uint32_t) {
        HWND w = v.ctl->hwnd();
        progress = FindWindowExA(w, nullptr, PROGRESS_CLASSA, nullptr);
        if (!progress || value == 0 || value >= 100) return;
        barSeen = barSeen || IsWindowVisible(progress);
        cancelSeen = cancelSeen || IsWindowVisible(GetDlgItem(w, 58009));
        midPos = int(SendMessageA(progress, PBM_GETPOS, 0, 0));
        status = v.ctl->state().statusText;
    };
    ASSERT_EQ(S_OK, v.putUrl(http().url("/progress.pel")));
    ASSERT_TRUE(v.waitFor(qivdispid::event::ObjectLoaded, 1));
    ASSERT_TRUE(v.waitIdle());
    EXPECT_TRUE(barSeen);
    EXPECT_TRUE(cancelSeen);
    EXPECT_GE(midPos, 0);
    EXPECT_LT(midPos, 100);
    EXPECT_EQ(0u, status.find("Loading 3D geometry: ")) << status;
    EXPECT_NE(std::string::npos, status.find(" Byte of " + std::to_string(pel.size()) + " Byte")) << status;
    ASSERT_NE(nullptr, progress);
    EXPECT_FALSE(IsWindowVisible(progress));
    EXPECT_EQ(0, v.ctl->state().statusText[0]);
    // The container's bar: texts and positions, cleared at the end.
    bool textSeen = false, posSeen = false;
    for (const auto& c : bar->calls) {
        textSeen = textSeen || (c.first == OLECMDID_SETPROGRESSTEXT && c.second.find(" Byte of ") != std::string::npos);
        posSeen = posSeen || (c.first == OLECMDID_SETPROGRESSPOS && c.second != "0" && c.second != "100");
    }
    EXPECT_TRUE(textSeen);
    EXPECT_TRUE(posSeen);
    ASSERT_GE(bar->calls.size(), 2u);
    EXPECT_EQ(std::make_pair(DWORD(OLECMDID_SETPROGRESSTEXT), std::string()), bar->calls[bar->calls.size() - 2]);
    EXPECT_EQ(std::make_pair(DWORD(OLECMDID_SETPROGRESSPOS), std::string("0")), bar->calls.back());

    // 48 MB: a percentage computed in 32 bits would wrap past 42 MB.
    std::string big(48u << 20, 'x');
    http().set("/big.dat", text(Bytes(big.begin(), big.end())));
    std::vector<uint32_t> values;
    v.ctl->downloadProgressHook = [&](uint32_t value, uint32_t, uint32_t) { values.push_back(value); };
    ASSERT_EQ(S_OK, v.putUrl(http().url("/big.dat")));
    ASSERT_TRUE(v.waitIdle(60000));
    ASSERT_FALSE(values.empty());
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
    EXPECT_EQ(100u, values.back());
}

// ---- file URLs, further objects, materials and textures ----

TEST_F(Download, FileUrls) {
    const std::string dir = tempDir("qivdl file urls");
    const std::string pel = dir + "\\object.pel", qiv = dir + "\\object.qiv";
    ASSERT_TRUE(writeFile(pel, sample().pel));
    ASSERT_TRUE(writeFile(qiv, containerBytes(false)));
    std::string fwd = qiv;
    std::replace(fwd.begin(), fwd.end(), '\\', '/');
    {
        // A file URL (here in its three-slash form) is read at once, before the window exists.
        Viewer v(host(0), false);
        ASSERT_EQ(S_OK, v.putUrl("file:///" + fwd));
        EXPECT_EQ(1, v.count(qivdispid::event::ObjectLoaded));
        ASSERT_NE(nullptr, v.slot(0));
        EXPECT_NE(nullptr, v.slot(0)->node);
        EXPECT_EQ("file://" + qiv, v.url());
    }
    {
        Viewer v(host(0));
        ASSERT_EQ(S_OK, v.putUrl("file://" + pel));
        EXPECT_EQ(1, v.count(qivdispid::event::ObjectLoaded)) << "a local file loads at once";
        // A file that is not there: false, whatever the out value held.
        VARIANT_BOOL ok = VARIANT_TRUE;
        BSTR missing = bstr(dir + "\\missing.pel");
        EXPECT_EQ(S_OK, v.p2->LoadObject(missing, &ok));
        SysFreeString(missing);
        EXPECT_EQ(VARIANT_FALSE, ok);
        EXPECT_NE(nullptr, v.slot(0)->node) << "what was shown stays";
        // A background picture at a file URL that does not exist ends its transfer at once.
        BSTR b = bstr("file://" + dir + "\\none.bmp");
        ASSERT_EQ(S_OK, v.p2->put_BackPictureURL(b));
        SysFreeString(b);
        ASSERT_TRUE(v.waitIdle());
        EXPECT_EQ(nullptr, v.ctl->BackgroundPicture());
    }
    DeleteFileA(pel.c_str());
    DeleteFileA(qiv.c_str());
}

// AddObject with an address downloads into its slot; LoadMaterial and ReplaceTexture with an
// address answer false and apply what arrives.
TEST_F(Download, FurtherObjectsMaterialsAndTextures) {
    http().set("/first.qiv", text(containerBytes(false)));
    http().set("/second.pel", text(sample().pel));
    http().set("/gold.ini", "[Material]\r\nName=gold\r\n[gold]\r\nkdiffus=0.8\r\nkambient=0.2\r\nkspiegel=0.5\r\n"
                            "alpha=1\r\nRGBDiffus=0.98,0.78,0.04\r\nRGBSpiegel=1,1,1\r\n");
    http().set("/wood.bmp", text(halves(8, 8, 0x00A05020, 0x00A05020)));
    Viewer v(host(0));
    ASSERT_EQ(S_OK, v.putUrl(http().url("/first.qiv")));
    ASSERT_TRUE(v.waitFor(qivdispid::event::ObjectLoaded, 1));
    ASSERT_TRUE(v.waitIdle());

    LONG id = -1;
    BSTR b = bstr(http().url("/second.pel"));
    ASSERT_EQ(S_OK, v.p2->AddObject(b, &id));
    SysFreeString(b);
    ASSERT_EQ(1, id);
    VARIANT_BOOL ok = VARIANT_TRUE;
    ASSERT_EQ(S_OK, v.p2->ObjectForceLoad(id, &ok));
    EXPECT_EQ(VARIANT_FALSE, ok) << "queued";
    ASSERT_TRUE(v.waitFor(qivdispid::event::ObjectLoaded, 2));
    ASSERT_TRUE(v.waitIdle());
    ASSERT_EQ(S_OK, v.p2->ObjectIsLoaded(id, &ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    EXPECT_EQ(1, http().requests("/second.pel"));
    // With two objects, ObjectURL names the current one.
    ASSERT_EQ(S_OK, v.p2->put_CurrentObject(id));
    EXPECT_EQ(http().url("/second.pel"), v.url());

    ASSERT_EQ(S_OK, v.p2->put_CurrentObject(0));
    EXPECT_EQ(http().url("/first.qiv"), v.url());
    b = bstr(http().url("/gold.ini"));
    ok = VARIANT_TRUE;
    ASSERT_EQ(S_OK, v.p2->LoadMaterial(1, b, &ok));
    SysFreeString(b);
    EXPECT_EQ(VARIANT_FALSE, ok);
    ASSERT_TRUE(v.waitIdle());
    LONG diffuse = 0, specular = 0, flags = 0;
    float alpha = 0, cd = 0, ca = 0, cs = 0;
    ASSERT_EQ(S_OK, v.p2->GetMaterial(1, &diffuse, &specular, &alpha, &cd, &ca, &cs, &flags, &ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    EXPECT_NEAR(250, diffuse & 0xFF, 2) << std::hex << diffuse;
    EXPECT_NEAR(199, (diffuse >> 8) & 0xFF, 2);
    EXPECT_NEAR(10, (diffuse >> 16) & 0xFF, 2);

    // The sample (slot 1) has one texture place: a replacement at an address.
    ASSERT_EQ(S_OK, v.p2->put_CurrentObject(id));
    b = bstr(http().url("/wood.bmp"));
    ok = VARIANT_TRUE;
    ASSERT_EQ(S_OK, v.p2->ReplaceTexture(0, b, &ok));
    SysFreeString(b);
    EXPECT_EQ(VARIANT_FALSE, ok);
    ASSERT_TRUE(v.waitFor(qivdispid::event::TextureChanged, 1));
    ASSERT_TRUE(v.waitIdle());
    const QivObjectSlot* s = v.slot(id);
    ASSERT_NE(nullptr, s);
    ASSERT_FALSE(s->textureHandles.empty());
    EXPECT_EQ(qivctl::TextureCacheFind(http().url("/wood.bmp"), nullptr, nullptr, qivctl::textureScopeOf(s->sourceName)),
              s->textureHandles[0]);
    EXPECT_EQ(1, http().requests("/wood.bmp"));
}

// ---- background pictures ----

// A picture at an address (HTTP or file) is the background in each BackPicMode: scaled
// (mode 1), tiled from the offsets (mode 2), or not at all (mode 0, the colour).
TEST_F(Download, BackgroundPictureInEachMode) {
    const uint32_t red = 0x00E01010, blue = 0x001010E0;
    const Bytes picture = halves(16, 16, red, blue);
    http().set("/back.bmp", text(picture));
    const std::string dir = tempDir("qivdl back");
    const std::string file = dir + "\\back.bmp";
    ASSERT_TRUE(writeFile(file, picture));
    for (const std::string& url : {http().url("/back.bmp"), "file://" + file, file}) {
        SCOPED_TRACE(url);
        Viewer v(host(0));
        BSTR b = bstr(url);
        ASSERT_EQ(S_OK, v.p2->put_BackPictureURL(b));
        SysFreeString(b);
        qivBackPicModes mode = qivBackPicModeConstant;
        v.p2->get_BackPicMode(&mode);
        EXPECT_EQ(1, int(mode)) << "a picture given while the mode is 0 is shown scaled";
        ASSERT_TRUE(pumpUntil([&] { return v.ctl->BackgroundPicture() != nullptr; }, 5000));
        ASSERT_TRUE(v.waitIdle());
        BSTR got = nullptr;
        v.p2->get_BackPictureURL(&got);
        EXPECT_EQ(url, ansi(got));
        SysFreeString(got);
        EXPECT_EQ(1u, qivctl::BackPictureCacheUses(v.ctl->BackgroundPicture()));
        const QivControlState& st = v.ctl->state();
        for (int m : {1, 2, 0}) {
            SCOPED_TRACE(m);
            ASSERT_EQ(S_OK, v.p2->put_BackPicMode(qivBackPicModes(m)));
            if (m == 2) {
                v.p2->put_BackPicOffsetX(5);
                v.p2->put_BackPicOffsetY(3);
            }
                        EXPECT_EQ(m == 1 ? 3u : m == 2 ? 4u : 0u, st.background.mode);
            const std::vector<uint32_t> px = v.window();
            EXPECT_LE(qivtest::Differing(px, qivtest::EnginePicture(st), 8), v.pixels() / 200);
            const int total = v.pixels();
            if (m == 0) {
                EXPECT_EQ(0, qivtest::Near(px, red, 40));
            } else {
                EXPECT_GT(qivtest::Near(px, red, 40), total / 5);
                EXPECT_GT(qivtest::Near(px, blue, 40), total / 5);
            }
        }
    }
    EXPECT_EQ(1, http().requests("/back.bmp"));
    DeleteFileA(file.c_str());
}

// A picture asked for while another one is still arriving replaces it; the late one is
// dropped when it comes.
TEST_F(Download, BackgroundPictureChangedWhileOneArrives) {
    const uint32_t red = 0x00E01010, green = 0x0010C010;
    http().set("/slow-back.bmp", HttpServer::Route{HttpServer::Mode::Length, text(halves(32, 32, red, red)), 512, 30});
    const std::string file = tempDir("qivdl back") + "\\green.bmp";
    ASSERT_TRUE(writeFile(file, halves(16, 16, green, green)));
    Viewer v(host(0));
    BSTR b = bstr(http().url("/slow-back.bmp"));
    ASSERT_EQ(S_OK, v.p2->put_BackPictureURL(b));
    SysFreeString(b);
    ASSERT_TRUE(pumpUntil([&] { return http().requests("/slow-back.bmp") == 1; }, 5000));
    b = bstr(file);
    ASSERT_EQ(S_OK, v.p2->put_BackPictureURL(b));
    SysFreeString(b);
    ASSERT_TRUE(v.waitIdle());
    ASSERT_NE(nullptr, v.ctl->BackgroundPicture());
    const std::vector<uint32_t> px = v.window();
    EXPECT_GT(qivtest::Near(px, green, 40), v.pixels() / 2);
    EXPECT_EQ(0, qivtest::Near(px, red, 40));
    DeleteFileA(file.c_str());
}

// A progressive JPEG at an address is shown after its first scan, while the rest of it still
// arrives; once complete it is the background picture of the cache.
TEST_F(Download, JpegBackgroundShowsWhileItArrives) {
    jpegmk::Options o;
    o.width = 512;
    o.height = 384;
    o.progressive = true;
    o.quality = 95;
    const Bytes picture = jpegmk::make(o);
    // The second half waits until the test has seen the first scans.
    HttpServer::Route held{HttpServer::Mode::Length, text(picture), 1024, 0};
    held.holdAfter = picture.size() / 2;
    http().set("/scans.jpg", held);
    Viewer v(host(0));
    BSTR b = bstr(http().url("/scans.jpg"));
    ASSERT_EQ(S_OK, v.p2->put_BackPictureURL(b));
    SysFreeString(b);
    bool arriving = false;
    ASSERT_TRUE(pumpUntil(
        [&] {
            if (!v.ctl->BackgroundPicture()) return false;
            arriving = v.ctl->StreamLoadRunning();
            return true;
        },
        10000));
    EXPECT_TRUE(arriving) << "shown before the whole file arrived";
    http().openGate();
    ASSERT_TRUE(v.waitIdle());
    EXPECT_FALSE(v.ctl->StreamLoadRunning());
    PicRecord* shown = v.ctl->BackgroundPicture();
    ASSERT_NE(nullptr, shown);
    EXPECT_EQ(512, shown->width);
    EXPECT_EQ(1u, qivctl::BackPictureCacheUses(shown));
    const QivControlState& st = v.ctl->state();
    const std::vector<uint32_t> px = v.window();
    EXPECT_LT(qivtest::BackgroundPixels(qivtest::EnginePicture(st), qivtest::BackColour(st)), v.pixels() / 10)
        << "the picture fills the back";
    EXPECT_LE(qivtest::Differing(px, qivtest::EnginePicture(st), 8), v.pixels() / 200);
    EXPECT_EQ(1, http().requests("/scans.jpg"));
}

// A relative name is tried below TextureBaseURL after it failed as it is.
TEST_F(Download, RelativeBackgroundPictureBelowTheTextureBase) {
    http().set("/pictures/sky.bmp", text(halves(8, 8, 0x0080C0F0, 0x0080C0F0)));
    Viewer v(host(0));
    BSTR b = bstr(http().url("/pictures"));
    v.p2->put_TextureBaseURL(b);
    SysFreeString(b);
    b = bstr("sky.bmp");
    ASSERT_EQ(S_OK, v.p2->put_BackPictureURL(b));
    SysFreeString(b);
    ASSERT_TRUE(pumpUntil([&] { return v.ctl->BackgroundPicture() != nullptr; }, 5000));
    ASSERT_TRUE(v.waitIdle());
    BSTR got = nullptr;
    v.p2->get_BackPictureURL(&got);
    EXPECT_EQ(http().url("/pictures/sky.bmp"), ansi(got)) << "the name that loaded";
    SysFreeString(got);
}

// ---- thumbnails ----

// DisplayThumbnail reads the preview on a thread of its own, which holds the control until its
// result is handled on the control's thread; ThumbnailDone follows.
TEST_F(Download, ThumbnailOnAThreadOfItsOwn) {
    const std::string dir = tempDir("qivdl thumbnail");
    const std::string with = dir + "\\with.qiv", without = dir + "\\without.qiv";
    ASSERT_TRUE(writeFile(with, containerBytes(true)));
    ASSERT_TRUE(writeFile(without, containerBytes(false)));
    {
        Viewer v(host(0));
        VARIANT_BOOL ok = VARIANT_FALSE;
        BSTR b = bstr(dir + "\\none.qiv");
        EXPECT_EQ(E_POINTER, v.p2->DisplayThumbnail(b, nullptr));
        ASSERT_EQ(S_OK, v.p2->DisplayThumbnail(b, &ok));
        SysFreeString(b);
        EXPECT_EQ(VARIANT_FALSE, ok);
        qivtest::PumpMessages();
        EXPECT_EQ(0, v.count(qivdispid::event::ThumbnailDone));

        b = bstr(with);
        ASSERT_EQ(S_OK, v.p2->DisplayThumbnail(b, &ok));
        SysFreeString(b);
        EXPECT_EQ(VARIANT_TRUE, ok);
        ASSERT_TRUE(v.waitFor(qivdispid::event::ThumbnailDone, 1));
        VARIANT_BOOL has = VARIANT_FALSE;
        v.p2->get_HasThumbnail(&has);
        EXPECT_EQ(VARIANT_TRUE, has);
                const QivControlState& st = v.ctl->state();
        const std::vector<uint32_t> px = v.window(), ref = qivtest::EnginePicture(st);
        EXPECT_LT(qivtest::BackgroundPixels(ref, qivtest::BackColour(st)), v.pixels() / 2) << "the preview fills it";
        EXPECT_LE(qivtest::Differing(px, ref, 8), v.pixels() / 200);

        b = bstr(without);
        ASSERT_EQ(S_OK, v.p2->DisplayThumbnail(b, &ok));
        SysFreeString(b);
        EXPECT_EQ(VARIANT_TRUE, ok);
        ASSERT_TRUE(v.waitFor(qivdispid::event::ThumbnailDone, 2));
        v.p2->get_HasThumbnail(&has);
        EXPECT_EQ(VARIANT_FALSE, has);
    }
    {
        // The host lets go of the control at once: the thread's reference keeps it.
        qivtest::PumpMessages();
        const LONG base = qcom::module().lockCount();
        qivtest::ControlRef c = qivtest::ControlRef::create();
        ASSERT_TRUE(c);
        VARIANT_BOOL ok = VARIANT_FALSE;
        BSTR b = bstr(with);
        ASSERT_EQ(S_OK, c.ctl()->DisplayThumbnail(b, &ok));
        SysFreeString(b);
        ASSERT_EQ(VARIANT_TRUE, ok);
        c.reset();
        EXPECT_GT(qcom::module().lockCount(), base) << "held by the thumbnail thread";
        EXPECT_TRUE(pumpUntil([&] { return qcom::module().lockCount() == base; }, 5000));
    }
    DeleteFileA(with.c_str());
    DeleteFileA(without.c_str());
}

// ---- auto-save ----

// AutoSave keeps a downloaded object under the object folder with a name made safe from the
// URL (the ObjectPath option); names that would leave the folder or name a device are not
// saved.
TEST_F(Download, AutoSavedNamesStayInTheObjectFolder) {
    const DWORD autoSave = GetAutoSave();
    const std::string objectPath = GetObjectPath();
    ASSERT_EQ(ERROR_SUCCESS, SetAutoSave(1));
    const std::string parent = tempDir("qivdl autosave");
    const std::string folder = parent + "\\objects";
    ASSERT_EQ(ERROR_SUCCESS, SetObjectPath(folder.c_str()));
    CreateDirectoryA(folder.c_str(), nullptr);
    for (const char* f : {"plain.pel", ".._.._escape.pel", "c__win.pel", "checker.bmp"})
        DeleteFileA((folder + "\\" + f).c_str());
    struct Case {
        const char* path;  // on the server
        const char* saved; // file name in the folder; null: nothing saved
    } cases[] = {
        {"/a/plain.pel", "plain.pel"},
        {"/a/..%2F..%2Fescape.pel", ".._.._escape.pel"},
        {"/a/c%3A%5Cwin.pel", "c__win.pel"},
        {"/a/CON.pel", nullptr},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.path);
        http().set(k.path, text(sample().pel));
        Viewer v(host(0));
        QivControlState& st = v.ctl->state();
        // The load dialog's last folder is not where auto-saved objects go.
        lstrcpynA(st.objectPath, parent.c_str(), sizeof st.objectPath);
        st.saveFiles[0] = 1;
        ASSERT_EQ(S_OK, v.putUrl(http().url(k.path)));
        ASSERT_TRUE(v.waitFor(qivdispid::event::ObjectLoaded, 1));
        ASSERT_TRUE(v.waitIdle());
        if (k.saved) {
            const std::string saved = folder + "\\" + k.saved;
            EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(saved.c_str())) << saved;
            DeleteFileA(saved.c_str());
            DeleteFileA((folder + "\\checker.bmp").c_str());
        }
    }
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((parent + "\\*.pel").c_str(), &fd);
    EXPECT_EQ(INVALID_HANDLE_VALUE, h) << "nothing beside the folder";
    if (h != INVALID_HANDLE_VALUE) FindClose(h);
    h = FindFirstFileA((folder + "\\*").c_str(), &fd);
    int files = 0;
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            ++files;
            ADD_FAILURE() << fd.cFileName;
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    EXPECT_EQ(0, files);
    SetAutoSave(autoSave);
    SetObjectPath(objectPath.c_str());
}

// ---- loads started inside a download's events ----

// Handlers of the events a download fires pump messages and start other loads; the load
// under way is not entered again, and the last load asked for is what is shown.
TEST_F(Download, LoadsStartedInsideDownloadEvents) {
    const Bytes qiv = containerBytes(true);
    http().set("/events-a.qiv", HttpServer::Route{HttpServer::Mode::Length, text(qiv), 256, 5});
    qivw::Container grid;
    grid.object = qivw::gridObject(4);
    http().set("/events-b.qiv", text(qivw::build(grid)));
    for (DISPID at : {qivdispid::event::ThumbnailDone, qivdispid::event::ObjectLoaded}) {
        SCOPED_TRACE(at);
        Viewer v(host(0));
        bool done = false, deferred = false;
        v.sink().handler = [&](DISPID id, DISPPARAMS*) {
            if (id != at || done) return;
            done = true;
            // A handler that waits in a message loop while more data arrive.
            const ULONGLONG end = GetTickCount64() + 150;
            while (GetTickCount64() < end) {
                qivtest::PumpMessages();
                Sleep(2);
            }
            v.putUrl(http().url("/events-b.qiv"));
            // The new load waits until the load that fired the event has returned.
            const QivLoadSession* running = v.ctl->StreamLoad();
            deferred = running && running->sourceName() == http().url("/events-a.qiv");
            qivtest::PumpMessages();
        };
        ASSERT_EQ(S_OK, v.putUrl(http().url("/events-a.qiv")));
        ASSERT_TRUE(pumpUntil([&] { return done; }, 5000));
        EXPECT_TRUE(deferred);
        ASSERT_TRUE(v.waitIdle());
        ASSERT_TRUE(pumpUntil([&] { return v.url() == http().url("/events-b.qiv"); }, 2000));
        ASSERT_NE(nullptr, v.slot(0));
        ASSERT_NE(nullptr, v.slot(0)->node);
        EXPECT_EQ(v.slot(0)->node->content, qivctl::ObjectCacheFind(http().url("/events-b.qiv"), nullptr, nullptr,
                                                                   nullptr));
        EXPECT_LE(v.differing(), v.pixels() / 200);
    }
}

// ---- the document's storage ----

// The background picture saved with a document is read back from its storage, even when the
// file it came from is gone, and saved with it again: a document saved twice keeps it. A
// stream packed by the LZ compressor is expanded; a picture named but not at hand fails the
// save and leaves the document as it was.
TEST_F(Download, BackgroundPictureFromTheDocumentStorage) {
    const std::string dir = tempDir("qivdl storage");
    const std::string file = dir + "\\stored.bmp", object = dir + "\\stored.pel";
    const Bytes picture = halves(8, 8, 0x0020C020, 0x0020C020);
    ASSERT_TRUE(writeFile(file, picture));
    ASSERT_TRUE(writeFile(object, sample().pel));
    auto element = [](IStorage* st, const wchar_t* name) {
        Bytes out;
        IStream* s = nullptr;
        if (FAILED(st->OpenStream(name, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &s))) return out;
        uint8_t buf[4096];
        ULONG got = 0;
        while (SUCCEEDED(s->Read(buf, sizeof buf, &got)) && got) out.insert(out.end(), buf, buf + got);
        s->Release();
        return out;
    };
    auto newStorage = [] {
        IStorage* st = nullptr;
        EXPECT_EQ(S_OK, StgCreateDocfile(nullptr,
                                         STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_DELETEONRELEASE,
                                         0, &st));
        return st;
    };
    auto persist = [](Viewer& v) {
        IPersistStorage* ps = nullptr;
        EXPECT_EQ(S_OK, v.p2->QueryInterface(IID_IPersistStorage, reinterpret_cast<void**>(&ps)));
        return ps;
    };
    // Loaded into a viewer that is then shown: the picture fills the window.
    auto shownFrom = [&](IStorage* st, Viewer& v) {
        IPersistStorage* ps = persist(v);
        EXPECT_EQ(S_OK, ps->Load(st));
        ps->Release();
        v.activate();
        EXPECT_TRUE(v.waitIdle());
        EXPECT_NE(nullptr, v.ctl->BackgroundPicture());
        EXPECT_GT(qivtest::Near(v.window(), 0x0020C020, 40), v.pixels() / 2);
    };
    IStorage* storage = newStorage();
    ASSERT_NE(nullptr, storage);
    {
        Viewer v(host(0));
        v.ctl->state().saveFiles[0] = 1;
        BSTR b = bstr("file://" + file);
        ASSERT_EQ(S_OK, v.p2->put_BackPictureURL(b));
        SysFreeString(b);
        ASSERT_EQ(S_OK, v.putUrl(object));
        ASSERT_TRUE(v.waitFor(qivdispid::event::ObjectLoaded, 1));
        ASSERT_TRUE(v.waitIdle());
        IPersistStorage* ps = persist(v);
        ASSERT_EQ(S_OK, ps->Save(storage, FALSE));
        ps->SaveCompleted(nullptr);
        ps->Release();
    }
    EXPECT_EQ(picture, element(storage, L"BackPicture"));
    qivctl::FlushCaches(true, true, true, true);
    DeleteFileA(file.c_str());
    {
        Viewer v(host(0), false);
        shownFrom(storage, v);
        // Saved again into the same document: the old element goes, the picture is written anew.
        IPersistStorage* ps = persist(v);
        EXPECT_EQ(S_OK, ps->Save(storage, TRUE));
        ps->SaveCompleted(nullptr);
        ps->Release();
    }
    EXPECT_EQ(picture, element(storage, L"BackPicture")) << "the second save keeps the picture";
    qivctl::FlushCaches(true, true, true, true);
    {
        // The packed stream of an older document.
        std::string packed = std::string("SZDD\x88\xF0\x27\x33", 8) + "A" + "x";
        for (int i = 0; i < 4; ++i) packed += char((picture.size() >> (8 * i)) & 0xFF);
        for (size_t i = 0; i < picture.size(); i += 8) {
            packed += char(0xFF);
            packed.append(picture.begin() + i, picture.begin() + std::min(picture.size(), i + 8));
        }
        IStream* s = nullptr;
        ASSERT_EQ(S_OK, storage->CreateStream(L"BackPicture", STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0, &s));
        ULONG wrote = 0;
        s->Write(packed.data(), ULONG(packed.size()), &wrote);
        s->Release();
        Viewer v(host(0), false);
        shownFrom(storage, v);
    }
    qivctl::FlushCaches(true, true, true, true);
    {
        // A picture that is nowhere: the save fails and the old elements stay.
        Viewer v(host(0));
        v.ctl->state().saveFiles[0] = 1;
        BSTR b = bstr("file://" + dir + "\\nowhere.bmp");
        ASSERT_EQ(S_OK, v.p2->put_BackPictureURL(b));
        SysFreeString(b);
        ASSERT_TRUE(v.waitIdle());
        IPersistStorage* ps = persist(v);
        EXPECT_EQ(E_FAIL, ps->Save(storage, FALSE));
        ps->Release();
        EXPECT_FALSE(element(storage, L"BackPicture").empty()) << "the document keeps its picture";
    }
    storage->Release();
    DeleteFileA(object.c_str());
}

// ---- DelayBeforeLoad ----

TEST_F(Download, DelayBeforeLoad) {
    http().set("/delayed.qiv", text(containerBytes(false)));
    Viewer v(host(0), false);
    ASSERT_EQ(S_OK, v.p2->put_DelayBeforeLoad(400));
    ASSERT_EQ(S_OK, v.putUrl(http().url("/delayed.qiv")));
    const ULONGLONG start = GetTickCount64();
    v.activate();
    pumpUntil([] { return false; }, 150);
    EXPECT_EQ(0, http().requests("/delayed.qiv")) << "not before the delay";
    ASSERT_TRUE(v.waitFor(qivdispid::event::ObjectLoaded, 1));
    EXPECT_GE(GetTickCount64() - start, 350u);
    EXPECT_EQ(1, http().requests("/delayed.qiv"));
}

}  // namespace

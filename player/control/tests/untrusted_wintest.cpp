// The control under an untrusted caller, as a hostile web page would drive it: a host that
// asks for safety against untrusted callers, and one whose document is a page on the test's
// HTTP server. Every member that writes a file has the user choose it (the save dialog is
// answered here), with the member's own extension and the zone mark; local reads are
// refused without telling what exists; settings of the process stay. A trusted host keeps
// the file-name rules every caller has. And handlers that make the host let go of the
// control while it fires an event, run in a process whose heap checks freed blocks.
#include <winsock2.h>
#include <windows.h>
#include <objsafe.h>
#include <urlmon.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "caches.h"
#include "callertrust.h"
#include "com/module.h"
#include "ctlmodule_win.h"
#include "document_win.h"
#include "embeddedcontrol.h"
#include "httpserver.h"
#include "qiv_sample.h"
#include "qivctl_win.h"
#include "render/sample.h"
#include "testfiles.h"
#include "webpagehost.h"
#include "window_win.h"

namespace {

using Bytes = std::vector<uint8_t>;

BSTR bstr(const std::string& s) {
    std::wstring w(s.begin(), s.end());
    return SysAllocString(w.c_str());
}

struct Bstr {
    BSTR b;
    explicit Bstr(const std::string& s) : b(bstr(s)) {}
    ~Bstr() { SysFreeString(b); }
    operator BSTR() const { return b; }
};

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The zone mark of a file ("" without one).
std::string zoneMark(const std::string& path) {
    const Bytes b = qivtest::readFile(path + ":Zone.Identifier");
    return std::string(b.begin(), b.end());
}

// Every file below a folder (names relative to it).
void listFiles(const std::string& dir, const std::string& prefix, std::vector<std::string>* out) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        const std::string n = fd.cFileName;
        if (n == "." || n == "..") continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            listFiles(dir + "\\" + n, prefix + n + "\\", out);
        else
            out->push_back(prefix + n);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
}

void emptyFolder(const std::string& dir) {
    std::vector<std::string> files;
    listFiles(dir, "", &files);
    for (const std::string& f : files) DeleteFileA((dir + "\\" + f).c_str());
}

// The file dialogs, answered here: each records the name it opened with; answer() gives the
// file chosen for it (empty: cancelled).
struct DialogAnswers {
    int shown = 0;
    std::vector<std::string> openedWith;
    std::function<std::string(const std::string&)> answer;
};
DialogAnswers g_dialogs;

BOOL WINAPI answerDialog(OPENFILENAMEA* ofn) {
    ++g_dialogs.shown;
    const std::string given = ofn->lpstrFile ? ofn->lpstrFile : "";
    g_dialogs.openedWith.push_back(given);
    const std::string chosen = g_dialogs.answer ? g_dialogs.answer(given) : std::string();
    if (chosen.empty()) return FALSE;
    lstrcpynA(ofn->lpstrFile, chosen.c_str(), int(ofn->nMaxFile));
    return TRUE;
}

std::vector<std::string> g_messages;
int recordMessage(void*, const char* t, const char*, UINT) {
    g_messages.push_back(t ? t : "");
    return IDOK;
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

HRESULT setSafety(IUnknown* control, REFIID iid, DWORD mask, DWORD options) {
    IObjectSafety* safety = nullptr;
    HRESULT hr = control->QueryInterface(IID_IObjectSafety, reinterpret_cast<void**>(&safety));
    if (FAILED(hr)) return hr;
    hr = safety->SetInterfaceSafetyOptions(iid, mask, options);
    safety->Release();
    return hr;
}

constexpr DWORD kUntrusted = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;

using PageHost = qivtest::WebPageHost;

// The sample object (its checker texture beside it) shown while the caller was trusted.
class Untrusted : public qivtest::EmbeddedControlTest<PageHost> {
protected:
    void SetUp() override {
        EmbeddedControlTest::SetUp();
        qivSetMessageLog(recordMessage, nullptr);
        g_messages.clear();
        g_dialogs = DialogAnswers();
        qivSetSaveFileDialog(answerDialog);
        qivSetOpenFileDialog(answerDialog);
        dir_ = qivtest::tempDir("qivuntrusted");
        emptyFolder(dir_);
        objects_ = qivtest::tempDir("qivuntrusted\\objects");
        out_ = qivtest::tempDir("qivuntrusted\\chosen");
        startup_ = qivtest::tempDir("qivuntrusted\\startup");
        sample_ = objects_ + "\\sample.pel";
        ASSERT_TRUE(sampleWriteObjectFile(sample_.c_str(), false));
        VARIANT_BOOL ok = VARIANT_FALSE;
        ASSERT_EQ(S_OK, p2_->LoadObject(Bstr(sample_), &ok));
        ASSERT_EQ(VARIANT_TRUE, ok);
        ASSERT_FALSE(ctl_->CallerUntrusted());
    }
    void TearDown() override {
        EmbeddedControlTest::TearDown();
        qivSetSaveFileDialog(nullptr);
        qivSetOpenFileDialog(nullptr);
        qivSetMessageLog(nullptr, nullptr);
    }
    void untrust() {
        ASSERT_EQ(S_OK, setSafety(p2_, IID_IDispatch, kUntrusted, kUntrusted));
        ASSERT_TRUE(ctl_->CallerUntrusted());
    }
    std::vector<std::string> filesIn(const std::string& dir) {
        std::vector<std::string> f;
        listFiles(dir, "", &f);
        return f;
    }
    std::string dir_, objects_, out_, startup_, sample_;
};

// Names a hostile page gives to members that write files.
std::vector<std::string> hostileNames(const std::string& startup) {
    return {
        startup + "\\x.hta",
        "..\\..\\x.hta",
        "\\\\127.0.0.1\\share\\x.hta",
        "\\\\?\\" + startup + "\\x.hta",
        "\\\\.\\COM1",
        startup + "\\x.bmp:evil.hta",
        "CON",
    };
}

// Every writing member, its name given: the dialog opens with the name's last component
// only; the file written is the one the user chose, with the member's extension and the
// zone mark of the Internet; nothing appears anywhere the page named; the answers are those
// of a saved file.
TEST_F(Untrusted, WritingMembersSaveWhereTheUserChose) {
    untrust();
    struct Member {
        const char* what;
        const char* extension;
        std::function<HRESULT(const std::string&, VARIANT_BOOL*)> call;
    };
    const std::string pageTextures = startup_;
    std::vector<Member> members = {
        {"SaveMiniBitmap", ".bmp", [&](const std::string& n, VARIANT_BOOL* ok) { return p2_->SaveMiniBitmap(Bstr(n), ok); }},
        {"SaveBitmap", ".bmp",
         [&](const std::string& n, VARIANT_BOOL* ok) { return p2_->SaveBitmap(qivBitmapQuality(0), VARIANT_FALSE, 32, 24, Bstr(n), ok); }},
        {"SaveTextureToLocalFile", ".bmp",
         [&](const std::string& n, VARIANT_BOOL* ok) { return p2_->SaveTextureToLocalFile(Bstr(kSampleTextureName), Bstr(n), ok); }},
        {"SaveObject", ".pel",
         [&](const std::string& n, VARIANT_BOOL* ok) { return p2_->SaveObject(Bstr(n), VARIANT_TRUE, Bstr(pageTextures), ok); }},
        {"SavePELObject", ".pel",
         [&](const std::string& n, VARIANT_BOOL* ok) { return p2_->SavePELObject(Bstr(n), Bstr("x"), Bstr(pageTextures), ok); }},
        {"SavePELObject2", ".pel",
         [&](const std::string& n, VARIANT_BOOL* ok) {
             return p2_->SavePELObject2(Bstr(n), Bstr("x"), Bstr(pageTextures), VARIANT_FALSE, ok);
         }},
    };
    g_dialogs.answer = [&](const std::string& given) { return out_ + "\\" + (given.empty() ? "unnamed" : given); };
    for (const Member& m : members) {
        for (const std::string& name : hostileNames(startup_)) {
            emptyFolder(out_);
            g_dialogs.openedWith.clear();
            VARIANT_BOOL ok = VARIANT_FALSE;
            EXPECT_EQ(S_OK, m.call(name, &ok)) << m.what << " " << name;
            EXPECT_EQ(VARIANT_TRUE, ok) << m.what << " " << name;
            ASSERT_EQ(1u, g_dialogs.openedWith.size()) << m.what << " " << name;
            const std::string suggested = qivctl::suggestedFileName(name);
            EXPECT_EQ(suggested, g_dialogs.openedWith[0]) << m.what << " " << name;
            const std::string expected =
                qivctl::withForcedExtension(out_ + "\\" + (suggested.empty() ? "unnamed" : suggested), m.extension);
            EXPECT_TRUE(exists(expected)) << m.what << " " << name << " -> " << expected;
            EXPECT_EQ("[ZoneTransfer]\r\nZoneId=3\r\n", zoneMark(expected)) << m.what << " " << name;
            for (const std::string& f : filesIn(out_)) {
                const std::string ext = f.substr(f.find_last_of('.'));
                EXPECT_TRUE(_stricmp(ext.c_str(), m.extension) == 0 || _stricmp(ext.c_str(), ".bmp") == 0 ||
                            _stricmp(ext.c_str(), ".Identifier") == 0)
                    << m.what << " wrote " << f;
            }
            EXPECT_TRUE(filesIn(startup_).empty()) << m.what << " " << name;
        }
    }
    EXPECT_TRUE(filesIn(objects_) == std::vector<std::string>({"checker.bmp", "sample.pel"}));

    // A cancelled dialog writes nothing and answers as a failed save.
    emptyFolder(out_);
    g_dialogs.answer = nullptr;
    for (const Member& m : members) {
        VARIANT_BOOL ok = VARIANT_TRUE;
        EXPECT_EQ(S_OK, m.call(startup_ + "\\x.hta", &ok)) << m.what;
        EXPECT_EQ(VARIANT_FALSE, ok) << m.what;
    }
    EXPECT_TRUE(filesIn(out_).empty());
    EXPECT_TRUE(filesIn(startup_).empty());
}

// A file error answers one code whatever exists; local names and file URLs are refused
// whether they exist or not.
TEST_F(Untrusted, ExistenceCannotBeProbed) {
    untrust();
    const std::string taken = out_ + "\\taken.hta.bmp";
    ASSERT_TRUE(qivtest::writeFile(taken, Bytes(4, 1)));
    HRESULT codes[2] = {};
    const std::string answers[2] = {out_ + "\\taken.hta", out_ + "\\no such folder\\x.bmp"};
    for (int i = 0; i < 2; ++i) {
        g_dialogs.answer = [&](const std::string&) { return answers[i]; };
        VARIANT_BOOL ok = VARIANT_TRUE;
        codes[i] = p2_->SaveBitmap(qivBitmapQuality(0), VARIANT_FALSE, 16, 16, Bstr("x.bmp"), &ok);
        EXPECT_EQ(VARIANT_FALSE, ok);
    }
    EXPECT_EQ(HRESULT(0x80030005), codes[0]);
    EXPECT_EQ(codes[0], codes[1]);
    EXPECT_EQ(Bytes(4, 1), qivtest::readFile(taken)) << "never replaced";

    const std::string there = sample_, missing = objects_ + "\\missing.pel";
    for (const std::string& name : {there, missing, "file://" + there, "file://" + missing, std::string("\\\\127.0.0.1\\s\\x.pel")}) {
        EXPECT_EQ(E_ACCESSDENIED, p2_->put_ObjectURL(Bstr(name))) << name;
        EXPECT_EQ(E_ACCESSDENIED, p2_->put_BackPictureURL(Bstr(name))) << name;
        EXPECT_EQ(E_ACCESSDENIED, p2_->put_TextureBaseURL(Bstr(name))) << name;
        VARIANT_BOOL ok = VARIANT_TRUE;
        EXPECT_EQ(S_OK, p2_->DisplayThumbnail(Bstr(name), &ok)) << name;
        EXPECT_EQ(VARIANT_FALSE, ok) << name;
    }
    EXPECT_EQ(E_ACCESSDENIED, p2_->put_TexturePath(Bstr(objects_)));
    EXPECT_EQ(E_ACCESSDENIED, p2_->put_TexturePath(Bstr("relative")));
}

// Local reads of the page are refused: LoadObject asks the user instead, textures and
// materials are not read from the disk, the user's texture folder is not told, and the
// process's cache limits stay.
TEST_F(Untrusted, LocalReadsAndSettingsAreRefused) {
    const std::string other = objects_ + "\\other.pel";
    ASSERT_TRUE(sampleWriteObjectFile(other.c_str(), false));
    ctl_->win().texturePath = dir_;  // as the user options give it
    untrust();
    const ScnNode* shown = ctl_->state().slots[0].node;
    VARIANT_BOOL ok = VARIANT_TRUE;
    ASSERT_EQ(S_OK, p2_->LoadObject(Bstr(other), &ok));
    EXPECT_EQ(VARIANT_FALSE, ok);
    ASSERT_EQ(1, g_dialogs.shown) << "the user is asked for the file";
    EXPECT_EQ("", g_dialogs.openedWith[0]);
    EXPECT_EQ(shown, ctl_->state().slots[0].node);
    // The user's own choice loads.
    g_dialogs.answer = [&](const std::string&) { return other; };
    ASSERT_EQ(S_OK, p2_->LoadObject(Bstr("\\\\127.0.0.1\\share\\x.pel"), &ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    EXPECT_EQ("file://" + other, ctl_->state().objectURL);

    const std::string wood = objects_ + "\\wood.bmp";
    ASSERT_TRUE(qivtest::writeFile(wood, qivtest::readFile(objects_ + "\\checker.bmp")));
    const TexRecord* before = ctl_->state().slots[0].textureHandles.empty() ? nullptr : ctl_->state().slots[0].textureHandles[0];
    for (const std::string& name : {wood, "file://" + wood, std::string("\\\\127.0.0.1\\share\\w.bmp")}) {
        ok = VARIANT_TRUE;
        EXPECT_EQ(S_OK, p2_->ReplaceTexture(0, Bstr(name), &ok)) << name;
        EXPECT_EQ(VARIANT_FALSE, ok) << name;
    }
    EXPECT_EQ(before, ctl_->state().slots[0].textureHandles.empty() ? nullptr : ctl_->state().slots[0].textureHandles[0]);
    const std::string material = objects_ + "\\red.ini";
    WritePrivateProfileStringA("Material", "Name", "red", material.c_str());
    WritePrivateProfileStringA("red", "kdiffus", "0.5", material.c_str());
    ok = VARIANT_TRUE;
    EXPECT_EQ(S_OK, p2_->LoadMaterial(0, Bstr(material), &ok));
    EXPECT_EQ(VARIANT_FALSE, ok);
    LONG id = -1;
    ASSERT_EQ(S_OK, p2_->AddObject(Bstr(other), &id));
    ok = VARIANT_TRUE;
    EXPECT_EQ(S_OK, p2_->ObjectForceLoad(id, &ok));
    EXPECT_EQ(VARIANT_FALSE, ok);
    EXPECT_EQ(nullptr, ctl_->state().slots[size_t(id)].node);

    BSTR path = bstr("x");
    EXPECT_EQ(S_OK, p2_->get_TexturePath(&path));
    EXPECT_EQ(nullptr, path) << "the user's texture folder";

    const qivctl::CacheLimits limits = qivctl::cacheLimits();
    ok = VARIANT_TRUE;
    EXPECT_EQ(S_OK, p2_->ConfigureCache2(2, 10, 10, 2, &ok));
    EXPECT_EQ(VARIANT_FALSE, ok);
    EXPECT_EQ(S_OK, p2_->ConfigureCache(1000, 1000, 1000, &ok));
    EXPECT_EQ(VARIANT_FALSE, ok);
    EXPECT_EQ(limits.objects, qivctl::cacheLimits().objects);
    EXPECT_EQ(limits.texturesConfigured, qivctl::cacheLimits().texturesConfigured);
    EXPECT_EQ(limits.backPictures, qivctl::cacheLimits().backPictures);
}

// The private hooks interface takes no safety options; the others keep the standard ones.
TEST_F(Untrusted, HooksInterfaceRefusesSafetyOptions) {
    EXPECT_EQ(E_FAIL, setSafety(p2_, IID_IQivHostHooks, INTERFACESAFE_FOR_UNTRUSTED_CALLER,
                                INTERFACESAFE_FOR_UNTRUSTED_CALLER));
    EXPECT_EQ(S_OK, setSafety(p2_, IID_IQivHostHooks, INTERFACESAFE_FOR_UNTRUSTED_CALLER, 0));
    EXPECT_FALSE(ctl_->CallerUntrusted());
    EXPECT_EQ(S_OK, setSafety(p2_, IID_IQivPlayer2, kUntrusted, kUntrusted));
    EXPECT_TRUE(ctl_->CallerUntrusted());
}

// A trusted host writes where it names, but never into device names, streams or the
// namespace prefixes, never over a file, and without a zone mark.
TEST_F(Untrusted, TrustedHostKeepsTheRulesOfEveryCaller) {
    for (const std::string& name :
         {out_ + "\\a.bmp:evil", out_ + "\\con.bmp", "\\\\?\\" + out_ + "\\b.bmp", std::string("\\\\.\\COM1"), out_ + "\\lpt1\\c.bmp"}) {
        VARIANT_BOOL ok = VARIANT_TRUE;
        EXPECT_EQ(S_OK, p2_->SaveMiniBitmap(Bstr(name), &ok)) << name;
        EXPECT_EQ(VARIANT_FALSE, ok) << name;
        EXPECT_EQ(S_OK, p2_->SaveObject(Bstr(name), VARIANT_FALSE, nullptr, &ok)) << name;
        EXPECT_EQ(VARIANT_FALSE, ok) << name;
        EXPECT_NE(S_OK, p2_->put_TexturePath(Bstr(name))) << name;
    }
    EXPECT_TRUE(filesIn(out_).empty());
    EXPECT_EQ(0, g_dialogs.shown);
    const std::string named = out_ + "\\named.bmp";
    VARIANT_BOOL ok = VARIANT_FALSE;
    EXPECT_EQ(S_OK, p2_->SaveMiniBitmap(Bstr(named), &ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    EXPECT_EQ("", zoneMark(named));
    const Bytes first = qivtest::readFile(named);
    EXPECT_EQ(S_OK, p2_->SaveMiniBitmap(Bstr(named), &ok));
    EXPECT_EQ(VARIANT_FALSE, ok) << "never overwritten";
    EXPECT_EQ(first, qivtest::readFile(named));
}

// ---- a page on the test's HTTP server ----

qivtest::HttpServer& http() {
    static qivtest::HttpServer* server = new qivtest::HttpServer;
    return *server;
}

// The page's zone decides: its relative names are fetched below it, even when a file of the
// name lies in the current folder; what it has the user save carries the page's zone.
TEST_F(Untrusted, WebPageIsUntrustedByItsZone) {
    ASSERT_TRUE(http().running());
    const std::string page = http().url("/pages/view.htm");
    PageHost& host = host_;
    host.Unembed();
    host.page.assign(page.begin(), page.end());
    ASSERT_EQ(S_OK, host.Embed(p2_, true));
    const qivctl::CallerTrust t = ctl_->CallerTrust();
    ASSERT_TRUE(t.untrusted) << "the page's zone";
    EXPECT_FALSE(t.pageLocal);
    EXPECT_TRUE(t.markZone == qivctl::kZoneInternet || t.markZone == qivctl::kZoneIntranet) << t.markZone;

    char cwd[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof cwd, cwd);
    const std::string local = std::string(cwd) + "\\probe.pel";
    ASSERT_TRUE(sampleWriteObjectFile(local.c_str(), false));
    EXPECT_EQ(S_OK, p2_->put_ObjectURL(Bstr("probe.pel")));
    EXPECT_TRUE(pumpUntil([&] { return http().requests("/pages/probe.pel") == 1; }, 5000))
        << "fetched below the page, not read from the disk";
    DeleteFileA(local.c_str());
    DeleteFileA((std::string(cwd) + "\\" + kSampleTextureName).c_str());
    EXPECT_EQ(E_ACCESSDENIED, p2_->put_ObjectURL(Bstr(sample_)));

    g_dialogs.answer = [&](const std::string& given) { return out_ + "\\" + given; };
    emptyFolder(out_);
    VARIANT_BOOL ok = VARIANT_FALSE;
    ASSERT_EQ(S_OK, p2_->SaveMiniBitmap(Bstr(startup_ + "\\x.hta"), &ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    EXPECT_EQ(qivctl::zoneIdentifierText(t.markZone), zoneMark(out_ + "\\x.hta.bmp"));
    EXPECT_TRUE(filesIn(startup_).empty());
}

// ---- events whose handlers make the host let go of the control ----

// One control in a host of its own; the handler of one event takes the control out of its
// host and drops the last reference held outside the control.
struct Doomed {
    qivtest::OleTestContainer* host = new qivtest::OleTestContainer;
    qivtest::EventSink sink{DIID__QivPlayerEvents};
    qivtest::ControlRef control = qivtest::ControlRef::create();
    IQivPlayer2* p2 = nullptr;
    CQivPlayerCtl* ctl = nullptr;
    DWORD cookie = 0;
    bool released = false;

    explicit Doomed(DISPID event) {
        p2 = control.get();
        ctl = control.ctl();
        ctl->state().rendererKind = 2;
        qivtest::Connect(p2, DIID__QivPlayerEvents, &sink, &cookie);
        sink.handler = [this, event](DISPID id, DISPPARAMS*) {
            if (id == event) letGo();
        };
        ShowWindow(host->window(), SW_SHOW);
        host->Embed(p2, true);
    }
    void letGo() {
        if (released) return;
        released = true;
        host->Unembed();
        p2 = nullptr;
        ctl = nullptr;
        control.reset();
    }
    // Calls a member through IDispatch, as a script does.
    HRESULT invoke(const wchar_t* name, WORD flags, std::vector<VARIANT> args) {
        IDispatch* d = p2;
        d->AddRef();  // the script engine's reference for the call, let go right after it
        DISPID id = 0;
        LPOLESTR n = const_cast<LPOLESTR>(name);
        HRESULT hr = d->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id);
        if (SUCCEEDED(hr)) {
            std::vector<VARIANT> reversed(args.rbegin(), args.rend());
            DISPID named = DISPID_PROPERTYPUT;
            DISPPARAMS dp{reversed.data(), flags == DISPATCH_PROPERTYPUT ? &named : nullptr, UINT(reversed.size()),
                          flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
            VARIANT result;
            VariantInit(&result);
            hr = d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &dp, &result, nullptr, nullptr);
            VariantClear(&result);
        }
        d->Release();
        for (VARIANT& v : args) VariantClear(&v);
        return hr;
    }
    ~Doomed() {
        if (!released) letGo();
        delete host;
    }
};

VARIANT text(const std::string& s) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = bstr(s);
    return v;
}

VARIANT number(LONG n) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = n;
    return v;
}


// Runs in a child process whose heap fills and checks freed blocks (the parent test below).
TEST(EventHandlers, LetGoOfTheControl) {
    qivtest::InitControlModule();
    qivSetMessageLog(recordMessage, nullptr);
    const std::string dir = qivtest::tempDir("qivuntrusted events");
    const std::string object = dir + "\\sample.pel";
    ASSERT_TRUE(sampleWriteObjectFile(object.c_str(), false));
    const std::string container = dir + "\\cubes.qiv";
    ASSERT_TRUE(qivtest::writeFile(container, qivw::build(qivsample::container(""))));
    const LONG locks = qcom::module().lockCount();
    auto loaded = [&](Doomed& d) {
        VARIANT_BOOL ok = VARIANT_FALSE;
        d.p2->LoadObject(Bstr(object), &ok);
        return ok == VARIANT_TRUE;
    };
    {  // ObjectLoaded, from a member called as a script calls it
        Doomed d(qivdispid::event::ObjectLoaded);
        d.invoke(L"LoadObject", DISPATCH_METHOD, {text(object)});
        EXPECT_TRUE(d.released);
    }
    {  // TextureChanged
        Doomed d(qivdispid::event::TextureChanged);
        ASSERT_TRUE(loaded(d));
        d.invoke(L"ReplaceTexture", DISPATCH_METHOD, {number(0), text("")});
        EXPECT_TRUE(d.released);
    }
    {  // MouseDown, from the control window's message
        Doomed d(qivdispid::event::MouseDown);
        ASSERT_TRUE(loaded(d));
        SendMessageA(d.ctl->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
        EXPECT_TRUE(d.released);
    }
    {  // ThumbnailDone, when the picture comes back from its thread
        Doomed d(qivdispid::event::ThumbnailDone);
        d.invoke(L"DisplayThumbnail", DISPATCH_METHOD, {text(container)});
        EXPECT_TRUE(pumpUntil([&] { return d.released; }, 5000));
    }
    {  // a property notice
        Doomed d(DISPID_UNKNOWN);
        ASSERT_TRUE(loaded(d));
        // The notify sink records; the host lets go from its notice.
        struct Releasing : qivtest::NotifySink {
            Doomed* d = nullptr;
            STDMETHODIMP OnChanged(DISPID id) override {
                if (id == qivdispid::Zoom) d->letGo();
                return S_OK;
            }
        } releasing;
        releasing.d = &d;
        DWORD cookie = 0;
        ASSERT_EQ(S_OK, qivtest::Connect(d.p2, IID_IPropertyNotifySink, &releasing, &cookie));
        VARIANT zoom;
        VariantInit(&zoom);
        V_VT(&zoom) = VT_R4;
        V_R4(&zoom) = 2.0f;
        d.invoke(L"Zoom", DISPATCH_PROPERTYPUT, {zoom});
        EXPECT_TRUE(d.released);
    }
    qivtest::PumpMessages();
    EXPECT_EQ(locks, qcom::module().lockCount()) << "every control was freed";
    qivSetMessageLog(nullptr, nullptr);
}

// The test above once more in a process whose heap fills freed blocks and checks them (the
// image's GlobalFlag), so that a use after free shows.
TEST(EventHandlers, LetGoOfTheControlOnACheckingHeap) {
    if (std::getenv("QIV_CHECKING_HEAP")) GTEST_SKIP() << "the child process itself";
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    const char* leaf = std::strrchr(exe, '\\');
    const std::string key = std::string("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\") +
                            (leaf ? leaf + 1 : exe);
    HKEY k = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr));
    const DWORD flags = 0x10 | 0x20 | 0x40;  // heap tail, free and parameter checking
    RegSetValueExA(k, "GlobalFlag", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&flags), sizeof flags);
    RegCloseKey(k);
    SetEnvironmentVariableA("QIV_CHECKING_HEAP", "1");
    // A crash of the child ends it (no debugger waits on it).
    const UINT errorMode = SetErrorMode(SEM_NOGPFAULTERRORBOX | SEM_FAILCRITICALERRORS);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::string cmd = std::string("\"") + exe + "\" --gtest_filter=EventHandlers.LetGoOfTheControl";
    const bool started = CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    SetEnvironmentVariableA("QIV_CHECKING_HEAP", nullptr);
    SetErrorMode(errorMode);
    DWORD code = 0xFFFF;
    if (started) {
        if (WaitForSingleObject(pi.hProcess, 120000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 0xFFFE);
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
    ASSERT_TRUE(started);
    EXPECT_EQ(0u, code) << "the child's events";
}

}  // namespace

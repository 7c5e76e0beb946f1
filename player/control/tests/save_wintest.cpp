// The control in host documents and on disk: its property stream, property bag (texts in the
// invariant format whatever the user's locale) and compound-document storage with and
// without the files, documents carried from one control to a fresh one, the object save with
// its textures and dialog, and the content language.
#include <windows.h>
#include <objidl.h>
#include <ocidl.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "caches.h"
#include "com/module.h"
#include "ctlmodule_win.h"
#include "memstorage.h"
#include "controlref.h"
#include "olecontainer.h"
#include "persiststream.h"
#include "qivctl_win.h"
#include "render/sample.h"
#include "scene/pelchunk.h"
#include "serverparts_win.h"
#include "tests/qiv_writer.h"
#include "window_win.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string tempDir(const char* leaf) {
    char base[MAX_PATH];
    GetTempPathA(sizeof base, base);
    std::string d = std::string(base) + leaf;
    CreateDirectoryA(d.c_str(), nullptr);
    return d;
}

Bytes readFile(const std::string& path) {
    Bytes b;
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return b;
    b.resize(GetFileSize(f, nullptr));
    DWORD got = 0;
    if (!b.empty()) ReadFile(f, b.data(), DWORD(b.size()), &got, nullptr);
    b.resize(got);
    CloseHandle(f);
    return b;
}

void writeFile(const std::string& path, const Bytes& b) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    DWORD wrote = 0;
    WriteFile(f, b.data(), DWORD(b.size()), &wrote, nullptr);
    CloseHandle(f);
}

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The data of the last chunk of a type in an object file.
Bytes chunkOf(const std::string& path, uint32_t id) {
    char name[PEL_NAME_FIELD] = {};
    PelFileInfo info{};
    uint32_t count = 0;
    PelChunkEntry* dir = nullptr;
    Bytes out;
    if (!pelReadDirectory(path.c_str(), name, &info, &count, &dir)) return out;
    const Bytes file = readFile(path);
    for (uint32_t i = 0; i < count; ++i)
        if (dir[i].id == id && uint64_t(dir[i].offset) + dir[i].size <= file.size())
            out.assign(file.begin() + dir[i].offset, file.begin() + dir[i].offset + dir[i].size);
    pelFreeDirectory(&dir);
    return out;
}

BSTR bstr(const std::string& s) {
    std::wstring w(s.begin(), s.end());
    return SysAllocString(w.c_str());
}

std::string text(BSTR b) {
    std::string s;
    for (UINT i = 0; b && i < SysStringLen(b); ++i) s.push_back(char(b[i]));
    return s;
}

IStream* memoryStream(const Bytes& content = {}) {
    IStream* s = nullptr;
    CreateStreamOnHGlobal(nullptr, TRUE, &s);
    if (!content.empty()) s->Write(content.data(), ULONG(content.size()), nullptr);
    LARGE_INTEGER zero{};
    s->Seek(zero, STREAM_SEEK_SET, nullptr);
    return s;
}

Bytes streamBytes(IStream* s) {
    STATSTG st{};
    s->Stat(&st, STATFLAG_NONAME);
    Bytes b(size_t(st.cbSize.QuadPart));
    LARGE_INTEGER zero{};
    s->Seek(zero, STREAM_SEEK_SET, nullptr);
    ULONG got = 0;
    if (!b.empty()) s->Read(b.data(), ULONG(b.size()), &got);
    return b;
}

Bytes elementBytes(IStorage* st, const wchar_t* name) {
    IStream* s = nullptr;
    if (FAILED(st->OpenStream(name, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &s))) return {};
    Bytes b = streamBytes(s);
    s->Release();
    return b;
}

bool hasElement(IStorage* st, const wchar_t* name) {
    STATSTG s{};
    IEnumSTATSTG* e = nullptr;
    bool found = false;
    if (FAILED(st->EnumElements(0, nullptr, 0, &e))) return false;
    while (e->Next(1, &s, nullptr) == S_OK) {
        found = found || !wcscmp(s.pwcsName, name);
        CoTaskMemFree(s.pwcsName);
    }
    e->Release();
    return found;
}

IStorage* memoryStorage() { return qivtest::MemoryStorage(); }

void putStream(IStorage* st, const wchar_t* name, const Bytes& b) { qivtest::PutStream(st, name, b); }

// The records of a saved property stream.
qivctl::PersistLoadResult decode(const Bytes& b) {
    qivctl::PersistMemorySource src(b.data(), b.size());
    qivctl::PersistLoadResult r;
    EXPECT_EQ(qivctl::PersistStatus::Ok, qivctl::decodePersistStream(src, &r));
    return r;
}

// Little-endian stream builder for hostile streams.
struct Stream {
    Bytes b;
    Stream& u32(uint32_t v) {
        for (int k = 0; k < 4; ++k) b.push_back(uint8_t(v >> (8 * k)));
        return *this;
    }
    Stream& f32(float f) {
        uint32_t v;
        std::memcpy(&v, &f, 4);
        return u32(v);
    }
    Stream& raw(size_t n, uint8_t v) {
        b.insert(b.end(), n, v);
        return *this;
    }
};

// A property bag as web hosts hand it: every value read back as a BSTR.
class TextBag : public IPropertyBag, public qivtest::TestUnknown {
public:
    std::map<std::wstring, std::wstring> texts;
    std::vector<std::pair<std::wstring, VARTYPE>> writes;
    std::wstring refuse;  // Write of this name fails

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_IPropertyBag) return E_NOINTERFACE;
        *out = static_cast<IPropertyBag*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return addRef(); }
    STDMETHODIMP_(ULONG) Release() override { return release(); }
    STDMETHODIMP Read(LPCOLESTR name, VARIANT* v, IErrorLog*) override {
        auto it = texts.find(name);
        if (it == texts.end()) return E_INVALIDARG;
        V_VT(v) = VT_BSTR;
        V_BSTR(v) = SysAllocString(it->second.c_str());
        return S_OK;
    }
    STDMETHODIMP Write(LPCOLESTR name, VARIANT* v) override {
        if (refuse == name) return STG_E_ACCESSDENIED;
        writes.emplace_back(name, V_VT(v));
        // Stored as the text a page's PARAM element would carry.
        VARIANT t;
        VariantInit(&t);
        if (FAILED(VariantChangeTypeEx(&t, v, LOCALE_INVARIANT, 0, VT_BSTR))) return E_FAIL;
        std::wstring s(V_BSTR(&t), SysStringLen(V_BSTR(&t)));
        if (V_VT(v) == VT_BOOL) s = V_BOOL(v) ? L"true" : L"false";
        texts[name] = s;
        VariantClear(&t);
        return S_OK;
    }
};

// A site whose document is a file: the container moniker names it.
class DocumentSite : public qivtest::OleTestContainer {
public:
    std::wstring document;
    STDMETHODIMP GetMoniker(DWORD, DWORD which, IMoniker** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (document.empty() || which != OLEWHICHMK_CONTAINER) return E_NOTIMPL;
        return CreateFileMoniker(document.c_str(), out);
    }
};

class Persist : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        OleInitialize(nullptr);
        qcom::module().init(GetModuleHandleW(nullptr), qivClassTable(), qivClassCount());
    }
    void SetUp() override {
        control_ = make();
        ASSERT_TRUE(control_);
        p2_ = control_.get();
        ctl_ = control_.ctl();
    }
    void TearDown() override {
        qivSetSaveFileDialog(nullptr);
        others_.clear();
        control_.reset();
        qivctl::FlushCaches(true, true, true, false);
    }
    // A control that keeps its files out of the document.
    static qivtest::ControlRef make() {
        qivtest::ControlRef c = qivtest::ControlRef::create();
        if (c) c->put_SaveFilesWithDocument(VARIANT_FALSE);
        return c;
    }
    // A fresh control released with the fixture.
    IQivPlayer2* fresh(CQivPlayerCtl** ctl = nullptr) {
        others_.push_back(make());
        EXPECT_TRUE(others_.back());
        if (ctl) *ctl = others_.back().ctl();
        return others_.back().get();
    }
    template <class I>
    I* as(IUnknown* o) {
        I* i = nullptr;
        o->QueryInterface(__uuidof(I), reinterpret_cast<void**>(&i));
        return i;
    }
    bool load(IQivPlayer2* p, const std::string& path) {
        BSTR b = bstr(path);
        VARIANT_BOOL ok = VARIANT_FALSE;
        EXPECT_EQ(S_OK, p->LoadObject(b, &ok));
        SysFreeString(b);
        return ok == VARIANT_TRUE;
    }
    Bytes saveStream(IQivPlayer2* p, BOOL clearDirty = TRUE) {
        IPersistStreamInit* ps = as<IPersistStreamInit>(p);
        IStream* s = memoryStream();
        EXPECT_EQ(S_OK, ps->Save(s, clearDirty));
        Bytes b = streamBytes(s);
        s->Release();
        ps->Release();
        return b;
    }
    HRESULT loadStream(IQivPlayer2* p, const Bytes& b) {
        IPersistStreamInit* ps = as<IPersistStreamInit>(p);
        IStream* s = memoryStream(b);
        HRESULT hr = ps->Load(s);
        s->Release();
        ps->Release();
        return hr;
    }
    std::string sample(const char* leaf) {
        const std::string path = tempDir(leaf) + "\\sample object.pel";
        DeleteFileA(path.c_str());
        EXPECT_TRUE(sampleWriteObjectFile(path.c_str(), false));
        return path;
    }
    qivtest::ControlRef control_;
    IQivPlayer2* p2_ = nullptr;
    CQivPlayerCtl* ctl_ = nullptr;
    std::vector<qivtest::ControlRef> others_;
};

// The current object slot when it shows an object, else null.
QivObjectSlot* shown(CQivPlayerCtl* c) {
    const int32_t i = c->state().currentSlot;
    if (i < 0 || size_t(i) >= c->state().slots.size() || !c->state().slots[size_t(i)].node) return nullptr;
    return &c->state().slots[size_t(i)];
}

// A storage loaded into a control.
HRESULT loadStorage(IUnknown* control, IStorage* st) {
    IPersistStorage* ps = nullptr;
    control->QueryInterface(IID_IPersistStorage, reinterpret_cast<void**>(&ps));
    const HRESULT hr = ps->Load(st);
    ps->Release();
    return hr;
}

float getFloat(IQivPlayer2* p, HRESULT (STDMETHODCALLTYPE IQivPlayer2::*get)(float*)) {
    float v = -12345;
    (p->*get)(&v);
    return v;
}

}  // namespace

TEST_F(Persist, DefaultsSaveKindExtentAndEndOnlyAndTheStreamIsCut) {
    IPersistStreamInit* ps = as<IPersistStreamInit>(p2_);
    ASSERT_EQ(S_OK, ps->InitNew());
    EXPECT_EQ(S_FALSE, ps->IsDirty());
    // A longer earlier content does not remain. The save chooses the renderer first.
    ctl_->state().rendererKind = 0;
    IStream* s = memoryStream(Bytes(500, 0xEE));
    ASSERT_EQ(S_OK, ps->Save(s, TRUE));
    EXPECT_NE(0, ctl_->state().rendererKind);
    const Bytes b = streamBytes(s);
    s->Release();
    ASSERT_EQ(b.size(), 20u);
    qivctl::PersistLoadResult r = decode(b);
    EXPECT_EQ(r.kind, 1u);
    EXPECT_TRUE(r.records.empty());
    EXPECT_GT(r.extentX, 0);
    ULARGE_INTEGER max{};
    EXPECT_EQ(S_OK, ps->GetSizeMax(&max));
    EXPECT_EQ(max.QuadPart, 20u);
    // VisuDLL and TextureBaseURL are never saved, even when set.
    BSTR t = bstr("C:\\textures");
    p2_->put_TextureBaseURL(t);
    p2_->put_VisuDLL(t);
    SysFreeString(t);
    EXPECT_TRUE(decode(saveStream(p2_)).records.empty());
    ps->Release();
}

TEST_F(Persist, StreamCarriesPropertiesToAFreshControl) {
    p2_->put_BackColor(0x00336699);
    p2_->put_DisplayMode(qivDispWIRE);
    p2_->put_Phi(100.5f);
    p2_->put_Zoom(2.5f);
    p2_->put_TooltipTimeout(1500);
    p2_->put_HideControls(VARIANT_TRUE);
    p2_->put_Filter(VARIANT_FALSE);
    p2_->put_BackPicOffsetX(-7);
    BSTR lang = bstr("FR"), menu = bstr("Drei D");
    p2_->put_Language(lang);
    p2_->put_MenuNameFor3D(menu);
    SysFreeString(lang);
    SysFreeString(menu);
    const Bytes saved = saveStream(p2_);

    CQivPlayerCtl* c2 = nullptr;
    IQivPlayer2* q = fresh(&c2);
    qivtest::NotifySink notify;
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, qivtest::Connect(q, IID_IPropertyNotifySink, &notify, &cookie));
    ASSERT_EQ(S_OK, loadStream(q, saved));
    qivtest::Disconnect(q, IID_IPropertyNotifySink, cookie);
    OLE_COLOR color = 0;
    q->get_BackColor(&color);
    EXPECT_EQ(color, 0x00336699u);
    qivDisplayMode mode{};
    q->get_DisplayMode(&mode);
    EXPECT_EQ(mode, qivDispWIRE);
    EXPECT_NEAR(getFloat(q, &IQivPlayer2::get_Phi), 100.5f, 1e-3);
    EXPECT_FLOAT_EQ(getFloat(q, &IQivPlayer2::get_Zoom), 2.5f);
    LONG v = 0;
    q->get_TooltipTimeout(&v);
    EXPECT_EQ(v, 1500);
    q->get_BackPicOffsetX(&v);
    EXPECT_EQ(v, -7);
    VARIANT_BOOL f = VARIANT_FALSE;
    q->get_HideControls(&f);
    EXPECT_EQ(f, VARIANT_TRUE);
    q->get_Filter(&f);
    EXPECT_EQ(f, VARIANT_FALSE);
    BSTR b = nullptr;
    q->get_Language(&b);
    EXPECT_EQ(text(b), "FR");
    SysFreeString(b);
    q->get_MenuNameFor3D(&b);
    EXPECT_EQ(text(b), "Drei D");
    SysFreeString(b);
    // Applied through the puts: the host heard of the changes; the loaded control is clean.
    EXPECT_FALSE(notify.changed.empty());
    IPersistStreamInit* ps = as<IPersistStreamInit>(q);
    EXPECT_EQ(S_FALSE, ps->IsDirty());
    ps->Release();
    // The same records come out again (angles through radians within a rounding step).
    const qivctl::PersistLoadResult first = decode(saved), again = decode(saveStream(q));
    ASSERT_EQ(again.records.size(), first.records.size());
    for (size_t i = 0; i < first.records.size(); ++i) {
        const qivctl::PersistValue &a = again.records[i].value, &f = first.records[i].value;
        EXPECT_EQ(again.records[i].dispid, first.records[i].dispid);
        if (f.type == qivctl::PersistType::Float)
            EXPECT_NEAR(a.f, f.f, 1e-4);
        else
            EXPECT_TRUE(a.i == f.i && a.b == f.b && a.s == f.s) << first.records[i].dispid;
    }
}

TEST_F(Persist, NeedsSaveFollowsThePutsAndTheSaves) {
    IPersistStreamInit* ps = as<IPersistStreamInit>(p2_);
    saveStream(p2_);
    EXPECT_EQ(S_FALSE, ps->IsDirty());
    // Puts that mark the control as needing a save, also while events are frozen.
    IOleControl* oc = as<IOleControl>(p2_);
    oc->FreezeEvents(TRUE);
    p2_->put_BackPicOffsetX(3);
    oc->FreezeEvents(FALSE);
    oc->Release();
    EXPECT_EQ(S_OK, ps->IsDirty());
    saveStream(p2_, FALSE);
    EXPECT_EQ(S_OK, ps->IsDirty()) << "kept when the host does not clear it";
    saveStream(p2_);
    EXPECT_EQ(S_FALSE, ps->IsDirty());
    p2_->put_SaveFilesWithDocument(VARIANT_TRUE);
    EXPECT_EQ(S_OK, ps->IsDirty());
    // A load leaves the control as its document has it.
    ASSERT_EQ(S_OK, loadStream(p2_, saveStream(p2_, FALSE)));
    EXPECT_EQ(S_FALSE, ps->IsDirty());
    ps->Release();
}

TEST_F(Persist, HostileStreamsAtEveryLength) {
    // Kind 3: refused.
    EXPECT_EQ(E_FAIL, loadStream(p2_, Stream().u32(3).u32(100).u32(100).u32(0xFFFFFFFF).u32(0).b));
    // An unknown DISPID with 6 bytes is dropped; the records after it load.
    Stream s;
    s.u32(1).u32(2540).u32(2540);
    s.u32(999).u32(6).raw(6, 0xAB);
    s.u32(25).u32(4).u32(1234);
    s.u32(0xFFFFFFFF).u32(0);
    ASSERT_EQ(S_OK, loadStream(p2_, s.b));
    LONG v = 0;
    p2_->get_TooltipTimeout(&v);
    EXPECT_EQ(v, 1234);
    // A long of another length applies -1; a bool of another length VARIANT_TRUE; a string of
    // odd length is dropped whole and what follows still loads; a zero length ends the records.
    Stream t;
    t.u32(1).u32(2540).u32(2540);
    t.u32(44).u32(2).raw(2, 0);
    t.u32(17).u32(4).raw(4, 0);
    t.u32(24).u32(3).raw(3, 'x');
    t.u32(45).u32(4).u32(77);
    t.u32(44).u32(0);
    t.u32(45).u32(4).u32(88);
    t.u32(0xFFFFFFFF).u32(0);
    ASSERT_EQ(S_OK, loadStream(p2_, t.b));
    p2_->get_BackPicOffsetX(&v);
    EXPECT_EQ(v, -1);
    VARIANT_BOOL hide = VARIANT_FALSE;
    p2_->get_HideControls(&hide);
    EXPECT_EQ(hide, VARIANT_TRUE);
    p2_->get_BackPicOffsetY(&v);
    EXPECT_EQ(v, 77) << "the record after the zero length is not read";
    // Lengths beyond the data: the inline block, a record's length, 0xFFFFFFFF; records read
    // before stay applied.
    const Bytes hostile[] = {
        Stream().u32(2).u32(0x7FFFFFF0).raw(16, 1).b,
        Stream().u32(2).u32(0xFFFFFFFF).b,
        Stream().u32(1).u32(1).u32(1).u32(25).u32(4).u32(4321).u32(9).u32(0x40000000).raw(8, 'a').b,
        Stream().u32(1).u32(1).u32(1).u32(9).u32(0xFFFFFFFF).b,
        Stream().u32(1).u32(1).b,
    };
    for (const Bytes& h : hostile) {
        EXPECT_EQ(E_FAIL, loadStream(p2_, h));
        // Every cut of it before the records fails too; none does harm.
        for (size_t n = 0; n < h.size(); ++n) {
            const HRESULT hr = loadStream(p2_, Bytes(h.begin(), h.begin() + n));
            if (n < 12) EXPECT_TRUE(FAILED(hr)) << n;
        }
    }
    // Without an end record the records it has load.
    EXPECT_EQ(S_OK, loadStream(p2_, Stream().u32(1).u32(1).u32(1).u32(25).u32(4).u32(55).b));
    p2_->get_TooltipTimeout(&v);
    EXPECT_EQ(v, 55);
}

TEST_F(Persist, BagTextsInTheInvariantFormatWhateverTheLocale) {
    if (std::getenv("QIV_GERMAN_RUN")) {
        // The German run: a locale-bound conversion would read "3.926991" as 3926991 (unless
        // a process of another locale running beside it has just written the prefix's
        // number settings back).
        EXPECT_EQ(GetUserDefaultLCID(), 0x0407u);
        float trap = 0;
        VarR4FromStr(const_cast<OLECHAR*>(L"3.926991"), LOCALE_USER_DEFAULT, 0, &trap);
        RecordProperty("LocaleBoundReading", std::to_string(trap));
    }
    TextBag bag;
    bag.texts = {{L"Phi", L"3.926991"},          {L"Zoom", L" 0.5 "},
                 {L"BackColor", L"16711680"},    {L"HideControls", L"True"},
                 {L"Filter", L"0"},              {L"Language", L"fr"},
                 {L"TooltipTimeout", L"2000"},   {L"DisplayMode", L"1"},
                 {L"PanX", L"3,5"},              {L"Lights", L"30"},
                 {L"VisuDLL", L"ignored.dll"}};
    IPersistPropertyBag* pb = as<IPersistPropertyBag>(p2_);
    ASSERT_EQ(S_OK, pb->Load(&bag, nullptr));
    EXPECT_FLOAT_EQ(getFloat(p2_, &IQivPlayer2::get_Phi), 3.926991f);
    EXPECT_FLOAT_EQ(getFloat(p2_, &IQivPlayer2::get_Zoom), 0.5f);
    EXPECT_EQ(getFloat(p2_, &IQivPlayer2::get_PanX), 0.0f) << "a comma is no decimal point: default kept";
    OLE_COLOR color = 0;
    p2_->get_BackColor(&color);
    EXPECT_EQ(color, 0xFF0000u);
    VARIANT_BOOL f = VARIANT_FALSE;
    p2_->get_HideControls(&f);
    EXPECT_EQ(f, VARIANT_TRUE);
    p2_->get_Filter(&f);
    EXPECT_EQ(f, VARIANT_FALSE);
    LONG v = 0;
    p2_->get_TooltipTimeout(&v);
    EXPECT_EQ(v, 2000);
    BSTR b = nullptr;
    p2_->get_Language(&b);
    EXPECT_EQ(text(b), "FR");
    SysFreeString(b);
    pb->Release();

    // Save writes each changed row once, as a VARIANT of its type; a fresh control reads the
    // texts back to the same values.
    TextBag out;
    pb = as<IPersistPropertyBag>(p2_);
    ASSERT_EQ(S_OK, pb->Save(&out, TRUE, TRUE));
    pb->Release();
    std::map<std::wstring, VARTYPE> types(out.writes.begin(), out.writes.end());
    EXPECT_EQ(types.size(), out.writes.size());
    EXPECT_EQ(types[L"Phi"], VT_R4);
    EXPECT_EQ(types[L"BackColor"], VT_I4);
    EXPECT_EQ(types[L"HideControls"], VT_BOOL);
    EXPECT_EQ(types[L"Language"], VT_BSTR);
    EXPECT_EQ(types.count(L"VisuDLL"), 0u);
    EXPECT_EQ(types.count(L"PanX"), 0u);
    IQivPlayer2* q = fresh();
    pb = as<IPersistPropertyBag>(q);
    ASSERT_EQ(S_OK, pb->Load(&out, nullptr));
    pb->Release();
    EXPECT_FLOAT_EQ(getFloat(q, &IQivPlayer2::get_Phi), 3.926991f);
    EXPECT_FLOAT_EQ(getFloat(q, &IQivPlayer2::get_Zoom), 0.5f);
    q->get_TooltipTimeout(&v);
    EXPECT_EQ(v, 2000);

    // A failing write stops the save with its result.
    TextBag refusing;
    refusing.refuse = L"BackColor";
    pb = as<IPersistPropertyBag>(p2_);
    EXPECT_EQ(STG_E_ACCESSDENIED, pb->Save(&refusing, TRUE, TRUE));
    EXPECT_TRUE(refusing.writes.empty()) << "BackColor is the first changed row";
    pb->Release();
}

TEST_F(Persist, StorageWithFilesCarriesObjectTexturesAndViewToAFreshControl) {
    const std::string path = sample("qivsave storage");
    ASSERT_TRUE(load(p2_, path));
    p2_->put_SaveFilesWithDocument(VARIANT_TRUE);
    p2_->put_Psi(45.0f);
    p2_->put_DisplayMode(qivDispFLAT);
    BSTR url = nullptr;
    p2_->get_ObjectURL(&url);
    ASSERT_NE(shown(ctl_), nullptr);
    const QivObjectSlot& a = *shown(ctl_);
    const uint32_t areas = a.node->content->areaCount;
    ASSERT_FALSE(a.textureHandles.empty());
    ASSERT_NE(a.textureHandles[0], nullptr);

    IStorage* st = memoryStorage();
    IPersistStorage* ps = as<IPersistStorage>(p2_);
    ASSERT_EQ(S_OK, ps->InitNew(st));
    ASSERT_EQ(S_OK, ps->Save(st, TRUE));
    EXPECT_EQ(S_OK, ps->SaveCompleted(nullptr));
    ps->Release();
    ASSERT_EQ(S_OK, st->Commit(STGC_DEFAULT));
    EXPECT_TRUE(hasElement(st, L"Contents"));
    EXPECT_EQ(elementBytes(st, L"Object"), readFile(path));
    EXPECT_FALSE(hasElement(st, L"Qiv"));
    IStorage* tex = nullptr;
    ASSERT_EQ(S_OK, st->OpenStorage(L"Textures", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &tex));
    const Bytes index = elementBytes(tex, L"Index");
    ASSERT_EQ(index.size(), qivctl::kTextureIndexRecordSize);
    EXPECT_STREQ(reinterpret_cast<const char*>(index.data() + 4), "checker.bmp");
    const Bytes bmp = elementBytes(tex, L"0");
    ASSERT_GT(bmp.size(), 1078u);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[28], 8) << "8 bits per pixel";
    tex->Release();

    // Without the files and the caches the document still shows the same object and view.
    control_.reset();
    p2_ = nullptr;
    ctl_ = nullptr;
    DeleteFileA(path.c_str());
    DeleteFileA((tempDir("qivsave storage") + "\\checker.bmp").c_str());
    qivctl::FlushCaches(true, true, true, false);
    CQivPlayerCtl* c2 = nullptr;
    IQivPlayer2* q = fresh(&c2);
    qivtest::EventSink events(DIID__QivPlayerEvents);
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, qivtest::Connect(q, DIID__QivPlayerEvents, &events, &cookie));
    ps = as<IPersistStorage>(q);
    ASSERT_EQ(S_OK, ps->Load(st));
    qivtest::Disconnect(q, DIID__QivPlayerEvents, cookie);
    ASSERT_NE(shown(c2), nullptr);
    const QivObjectSlot& b = *shown(c2);
    EXPECT_EQ(b.node->content->areaCount, areas);
    ASSERT_FALSE(b.textureHandles.empty());
    EXPECT_NE(b.textureHandles[0], nullptr) << "the texture came from the document";
    BSTR url2 = nullptr;
    q->get_ObjectURL(&url2);
    EXPECT_EQ(text(url2), text(url));
    SysFreeString(url);
    SysFreeString(url2);
    EXPECT_NEAR(getFloat(q, &IQivPlayer2::get_Psi), 45.0f, 1e-3);
    qivDisplayMode mode{};
    q->get_DisplayMode(&mode);
    EXPECT_EQ(mode, qivDispFLAT);
    bool loaded = false;
    for (const qivtest::EventRecord& e : events.events) loaded = loaded || e.id == qivdispid::event::ObjectLoaded;
    EXPECT_TRUE(loaded) << "ObjectLoaded";
    EXPECT_EQ(S_FALSE, ps->IsDirty());

    // Saved again, the object's bytes are those of the first document.
    IStorage* again = memoryStorage();
    ASSERT_EQ(S_OK, ps->Save(again, FALSE));
    EXPECT_EQ(elementBytes(again, L"Object"), elementBytes(st, L"Object"));
    ps->Release();
    again->Release();
    st->Release();
}

TEST_F(Persist, StorageWithoutFilesWritesContentsAndDropsStaleObjects) {
    const std::string path = sample("qivsave nofiles");
    ASSERT_TRUE(load(p2_, path));
    IStorage* st = memoryStorage();
    putStream(st, L"Qiv", Bytes{4, 0, 0, 0, 1, 2, 3, 4});
    putStream(st, L"Object", Bytes(64, 7));
    putStream(st, L"HostData", Bytes{9, 9});
    IPersistStorage* ps = as<IPersistStorage>(p2_);
    ASSERT_EQ(S_OK, ps->Save(st, TRUE));
    ps->Release();
    EXPECT_TRUE(hasElement(st, L"Contents"));
    EXPECT_FALSE(hasElement(st, L"Qiv"));
    EXPECT_FALSE(hasElement(st, L"Object"));
    EXPECT_EQ(elementBytes(st, L"HostData"), (Bytes{9, 9}));

    // Loaded again, the object comes from its file, named by ObjectURL.
    CQivPlayerCtl* c2 = nullptr;
    IQivPlayer2* q = fresh(&c2);
    ASSERT_EQ(S_OK, loadStorage(q, st));
    ASSERT_NE(shown(c2), nullptr);
    EXPECT_EQ(shown(c2)->sourceName, path);
    st->Release();
}

TEST_F(Persist, FileStorageOfTheSystem) {
    const std::string path = sample("qivsave file");
    ASSERT_TRUE(load(p2_, path));
    p2_->put_SaveFilesWithDocument(VARIANT_TRUE);
    p2_->put_Phi(12.0f);
    const std::string docPath = tempDir("qivsave file") + "\\document.stg";
    const std::wstring doc(docPath.begin(), docPath.end());
    IStorage* st = nullptr;
    ASSERT_EQ(S_OK, StgCreateDocfile(doc.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &st));
    IPersistStorage* ps = as<IPersistStorage>(p2_);
    ASSERT_EQ(S_OK, ps->Save(st, TRUE));
    ps->Release();
    ASSERT_EQ(S_OK, st->Commit(STGC_DEFAULT));
    st->Release();
    DeleteFileA(path.c_str());

    ASSERT_EQ(S_OK, StgOpenStorage(doc.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &st));
    CQivPlayerCtl* c2 = nullptr;
    IQivPlayer2* q = fresh(&c2);
    ASSERT_EQ(S_OK, loadStorage(q, st));
    st->Release();
    DeleteFileW(doc.c_str());
    EXPECT_NE(shown(c2), nullptr);
    EXPECT_NEAR(getFloat(q, &IQivPlayer2::get_Phi), 12.0f, 1e-3);
}

TEST_F(Persist, QivStreamKeptAndWrittenBackWhole) {
    qivw::Container c;
    c.method = 0;
    c.gapBytes = 24;
    const Bytes container = qivw::build(c);
    IStorage* st = memoryStorage();
    {
        IStorage* src = memoryStorage();
        p2_->put_SaveFilesWithDocument(VARIANT_TRUE);
        IPersistStorage* ps = as<IPersistStorage>(p2_);
        ASSERT_EQ(S_OK, ps->Save(src, TRUE));
        ps->Release();
        putStream(st, L"Contents", elementBytes(src, L"Contents"));
        src->Release();
    }
    Bytes qiv{uint8_t(container.size()), uint8_t(container.size() >> 8), uint8_t(container.size() >> 16), 0};
    qiv.insert(qiv.end(), container.begin(), container.end());
    putStream(st, L"Qiv", qiv);

    CQivPlayerCtl* c2 = nullptr;
    IQivPlayer2* q = fresh(&c2);
    IPersistStorage* ps = as<IPersistStorage>(q);
    ASSERT_EQ(S_OK, ps->Load(st));
    EXPECT_TRUE(c2->CurrentIsDocumentContainer());
    IStorage* again = memoryStorage();
    ASSERT_EQ(S_OK, ps->Save(again, FALSE));
    EXPECT_EQ(elementBytes(again, L"Qiv"), qiv);
    EXPECT_FALSE(hasElement(again, L"Object"));
    again->Release();
    ps->Release();

    // Saved raw, the stored container gets its payload right behind the header.
    const std::string out = tempDir("qivsave raw") + "\\raw.qiv";
    DeleteFileA(out.c_str());
    BSTR name = bstr(out);
    VARIANT_BOOL ok = VARIANT_FALSE;
    ASSERT_EQ(S_OK, q->SaveObject(name, VARIANT_TRUE, nullptr, &ok));
    EXPECT_EQ(ok, VARIANT_TRUE);
    const Bytes raw = readFile(out);
    ASSERT_EQ(raw.size(), container.size() - c.gapBytes);
    EXPECT_EQ(raw[8], 40);
    EXPECT_TRUE(std::equal(raw.begin() + 40, raw.end(), container.begin() + 40 + c.gapBytes));
    // Never over an existing file.
    ASSERT_EQ(S_OK, q->SaveObject(name, VARIANT_TRUE, nullptr, &ok));
    EXPECT_EQ(ok, VARIANT_FALSE);
    SysFreeString(name);
    DeleteFileA(out.c_str());

    // A "Qiv" stream whose length lies is refused.
    IStorage* bad = memoryStorage();
    putStream(bad, L"Contents", elementBytes(st, L"Contents"));
    putStream(bad, L"Qiv", Bytes{0xFF, 0xFF, 0xFF, 0x7F, 1, 2, 3});
    ps = as<IPersistStorage>(fresh());
    EXPECT_TRUE(FAILED(ps->Load(bad)));
    ps->Release();
    bad->Release();
    st->Release();
}

TEST_F(Persist, InlineDataStaysWithItsOwnControl) {
    const std::string path = sample("qivsave inline");
    const Bytes object = readFile(path);
    DeleteFileA(path.c_str());
    // Two documents, each with its own inline object, and ObjectURL naming a file that is
    // nowhere: the inline object is shown, the address only stored.
    auto streamWith = [&](const Bytes& data, const char* url) {
        Stream s;
        s.u32(2).u32(uint32_t(data.size()));
        s.b.insert(s.b.end(), data.begin(), data.end());
        s.u32(2540).u32(2540);
        const std::string u(url);
        s.u32(9).u32(uint32_t(u.size() * 2));
        for (char ch : u) s.b.push_back(uint8_t(ch)), s.b.push_back(0);
        s.u32(0xFFFFFFFF).u32(0);
        return s.b;
    };
    CQivPlayerCtl *c1 = nullptr, *c2 = nullptr;
    IQivPlayer2* one = fresh(&c1);
    IQivPlayer2* two = fresh(&c2);
    ASSERT_EQ(S_OK, loadStream(one, streamWith(object, "http://h/one.qiv")));
    ASSERT_EQ(S_OK, loadStream(two, streamWith(object, "http://h/two.qiv")));
    EXPECT_NE(c1->document().inlineName, c2->document().inlineName);
    for (CQivPlayerCtl* c : {c1, c2}) {
        EXPECT_NE(shown(c), nullptr);
        EXPECT_TRUE(c->CurrentIsInline());
    }
    BSTR url = nullptr;
    one->get_ObjectURL(&url);
    EXPECT_EQ(text(url), "http://h/one.qiv");
    SysFreeString(url);
    // Each cache entry took its own control's address, for that control only.
    EXPECT_NE(qivctl::ObjectCacheFind("http://h/one.qiv", nullptr, nullptr, nullptr, c1->document().inlineName), nullptr);
    EXPECT_NE(qivctl::ObjectCacheFind("http://h/two.qiv", nullptr, nullptr, nullptr, c2->document().inlineName), nullptr);
    EXPECT_EQ(qivctl::ObjectCacheFind("http://h/one.qiv", nullptr, nullptr, nullptr, c2->document().inlineName), nullptr);
    EXPECT_EQ(qivctl::ObjectCacheFind("http://h/two.qiv", nullptr, nullptr, nullptr), nullptr);
    // Saved again, each stream carries its inline data.
    qivctl::PersistLoadResult r = decode(saveStream(two));
    EXPECT_EQ(r.kind, 2u);
    EXPECT_EQ(r.inlineData, object);
    // Saved as an object file, it names its address as the text for every language.
    const std::string target = tempDir("qivsave inline") + "\\named.pel";
    DeleteFileA(target.c_str());
    ASSERT_EQ(1, c1->SaveObjectFile(target.c_str(), false, tempDir("qivsave inline").c_str(), nullptr, false));
    const Bytes names = chunkOf(target, 0x10001);
    const std::string first(names.begin(), std::find(names.begin(), names.end(), 0));
    EXPECT_EQ(first, "XXhttp://h/one.qiv\x01");
    DeleteFileA(target.c_str());
}

// A document whose texture index lies (no terminator, a record for a stream that is not
// there, a stream that is no picture) still shows its object.
TEST_F(Persist, HostileTextureIndexInAStorage) {
    const std::string path = sample("qivsave hostile");
    IStorage* st = memoryStorage();
    putStream(st, L"Contents", saveStream(p2_));
    putStream(st, L"Object", readFile(path));
    IStorage* tex = nullptr;
    ASSERT_EQ(S_OK, st->CreateStorage(L"Textures", STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, &tex));
    Bytes index;
    qivctl::appendTextureIndexRecord(index, 0, "checker.bmp");
    qivctl::appendTextureIndexRecord(index, 5, "missing.bmp");
    Stream unterminated;
    unterminated.u32(0).raw(260, 'A');
    index.insert(index.end(), unterminated.b.begin(), unterminated.b.end());
    index.insert(index.end(), 17, 0xCC);  // a partial record
    putStream(tex, L"Index", index);
    putStream(tex, L"0", Bytes(300, 0x42));
    tex->Commit(STGC_DEFAULT);
    tex->Release();
    DeleteFileA(path.c_str());
    DeleteFileA((tempDir("qivsave hostile") + "\\checker.bmp").c_str());
    qivctl::FlushCaches(true, true, true, false);
    EXPECT_EQ(S_OK, loadStorage(p2_, st));
    EXPECT_NE(shown(ctl_), nullptr);
    st->Release();
}

TEST_F(Persist, SaveObjectWritesThePelAndItsTexturesInsideTheirFolder) {
    const std::string path = sample("qivsave object");
    ASSERT_TRUE(load(p2_, path));
    const std::string dir = tempDir("qivsave object out"), texdir = tempDir("qivsave object tex");
    const std::string target = dir + "\\copy.pel";
    DeleteFileA(target.c_str());
    DeleteFileA((texdir + "\\checker.bmp").c_str());
    BSTR name = bstr(target), tex = bstr(texdir);
    VARIANT_BOOL ok = VARIANT_FALSE;
    ASSERT_EQ(S_OK, p2_->SaveObject(name, VARIANT_FALSE, tex, &ok));
    EXPECT_EQ(ok, VARIANT_TRUE);
    EXPECT_TRUE(exists(texdir + "\\checker.bmp"));
    EXPECT_TRUE(load(fresh(), target)) << "the saved file loads";
    // An existing file is never overwritten.
    const Bytes before = readFile(target);
    ASSERT_EQ(S_OK, p2_->SaveObject(name, VARIANT_FALSE, tex, &ok));
    EXPECT_EQ(ok, VARIANT_FALSE);
    EXPECT_EQ(readFile(target), before);
    EXPECT_EQ(E_POINTER, p2_->SaveObject(name, VARIANT_FALSE, tex, nullptr));
    SysFreeString(name);
    SysFreeString(tex);

    // A texture whose name climbs out of the folder is not written anywhere.
    const std::string evil = tempDir("qivsave evil");
    const std::string inner = tempDir("qivsave evil\\inner");
    DeleteFileA((evil + "\\escaped.bmp").c_str());
    CQivPlayerCtl* c2 = nullptr;
    IQivPlayer2* q = fresh(&c2);
    ASSERT_TRUE(load(q, path));
    ASSERT_NE(shown(c2), nullptr);
    QivObjectSlot& slot = *shown(c2);
    TexRecord* hostile = LoadTextureFile("x>..\\escaped.bmp", tempDir("qivsave object") + "\\checker.bmp");
    ASSERT_NE(hostile, nullptr);
    qivctl::TextureCacheHold(hostile);
    qivctl::TextureCacheRelease(slot.textureHandles[0]);
    slot.textureHandles[0] = hostile;
    const std::string target2 = dir + "\\escape.pel";
    DeleteFileA(target2.c_str());
    EXPECT_EQ(0, c2->SaveObjectFile(target2.c_str(), false, inner.c_str(), nullptr, false));
    EXPECT_FALSE(exists(evil + "\\escaped.bmp"));
    DeleteFileA(target2.c_str());
}

BOOL WINAPI cancelDialog(OPENFILENAMEA*) { return FALSE; }
std::string g_chosen;
std::string g_filter;
BOOL WINAPI chooseFile(OPENFILENAMEA* ofn) {
    g_filter.assign(ofn->lpstrFilter, ofn->lpstrFilter + 40);
    std::strncpy(ofn->lpstrFile, g_chosen.c_str(), ofn->nMaxFile - 1);
    ofn->nFilterIndex = 1;
    return TRUE;
}

TEST_F(Persist, SaveObjectDialogCancelFailsAndAReplacedFileIsWholeOrKept) {
    BSTR empty = SysAllocString(L"");
    VARIANT_BOOL ok = VARIANT_TRUE;
    // Nothing loaded: no dialog, no success.
    ASSERT_EQ(S_OK, p2_->SaveObject(empty, VARIANT_FALSE, nullptr, &ok));
    EXPECT_EQ(ok, VARIANT_FALSE);
    const std::string path = sample("qivsave dialog");
    ASSERT_TRUE(load(p2_, path));
    qivSetSaveFileDialog(cancelDialog);
    ok = VARIANT_TRUE;
    ASSERT_EQ(S_OK, p2_->SaveObject(empty, VARIANT_FALSE, nullptr, &ok));
    EXPECT_EQ(ok, VARIANT_FALSE) << "a cancelled dialog saved nothing";

    // The user agreed to replace a file: it is replaced by a whole object file.
    const std::string dir = tempDir("qivsave dialog out");
    g_chosen = dir + "\\chosen.pel";
    writeFile(g_chosen, Bytes(10, 'x'));
    qivSetSaveFileDialog(chooseFile);
    BSTR tex = bstr(dir);
    p2_->put_TexturePath(tex);
    SysFreeString(tex);
    ASSERT_EQ(S_OK, p2_->SaveObject(nullptr, VARIANT_FALSE, nullptr, &ok));
    EXPECT_EQ(ok, VARIANT_TRUE);
    EXPECT_EQ(g_filter.substr(0, 6), "Pellow");
    EXPECT_GT(readFile(g_chosen).size(), 256u);
    EXPECT_TRUE(load(fresh(), g_chosen));
    // A save that fails keeps the old file and leaves no temporary file behind.
    std::vector<std::string> messages;
    qivSetMessageLog(
        [](void* ctx, const char* t, const char*, UINT) {
            static_cast<std::vector<std::string>*>(ctx)->push_back(t);
            return IDOK;
        },
        &messages);
    writeFile(g_chosen, Bytes(10, 'y'));
    const std::string blocked = dir + "\\blocked";
    writeFile(blocked, Bytes(1, 0));  // a file where the texture folder should be
    tex = bstr(blocked);
    p2_->put_TexturePath(tex);
    SysFreeString(tex);
    ASSERT_EQ(S_OK, p2_->SaveObject(empty, VARIANT_FALSE, nullptr, &ok));
    qivSetMessageLog(nullptr, nullptr);
    EXPECT_EQ(ok, VARIANT_FALSE);
    EXPECT_EQ(readFile(g_chosen), Bytes(10, 'y'));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("chosen.pel"), std::string::npos);
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "\\VOV*").c_str(), &fd);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE) << fd.cFileName;
    if (h != INVALID_HANDLE_VALUE) FindClose(h);
    SysFreeString(empty);
}

TEST_F(Persist, DocumentFolderResolvesRelativeObjects) {
    const std::string path = sample("qivsave docdir");
    const std::string doc = tempDir("qivsave docdir") + "\\page.htm";
    DocumentSite site;
    site.document.assign(doc.begin(), doc.end());
    ASSERT_EQ(S_OK, site.Embed(p2_, false));
    char elsewhere[MAX_PATH];
    GetTempPathA(sizeof elsewhere, elsewhere);
    SetCurrentDirectoryA(elsewhere);
    TextBag bag;
    bag.texts = {{L"ObjectURL", L"sample object.pel"}};
    IPersistPropertyBag* pb = as<IPersistPropertyBag>(p2_);
    ASSERT_EQ(S_OK, pb->Load(&bag, nullptr));
    pb->Release();
    EXPECT_EQ(ctl_->document().address, doc);
    EXPECT_EQ(ctl_->document().folder, tempDir("qivsave docdir"));
    EXPECT_NE(shown(ctl_), nullptr) << "found below the document's folder";
    site.Unembed();
    (void)path;
}

TEST_F(Persist, LanguageIsTwoCharactersUpperCased) {
    qivtest::NotifySink notify;
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, qivtest::Connect(p2_, IID_IPropertyNotifySink, &notify, &cookie));
    for (const wchar_t* bad : {L"E", L"ENG", L"", L"\x01" L"E"}) {
        BSTR b = SysAllocString(bad);
        EXPECT_EQ(E_INVALIDARG, p2_->put_Language(b));
        SysFreeString(b);
        IErrorInfo* info = nullptr;
        ASSERT_EQ(S_OK, GetErrorInfo(0, &info));
        DWORD help = 0;
        info->GetHelpContext(&help);
        EXPECT_EQ(help, 0x2500u);
        info->Release();
    }
    BSTR fr = SysAllocString(L"fr"), en = SysAllocString(L"en"), EN = SysAllocString(L"EN");
    ASSERT_EQ(S_OK, p2_->put_Language(fr));
    ASSERT_EQ(S_OK, p2_->put_Language(en));
    ASSERT_EQ(S_OK, p2_->put_Language(EN));
    BSTR out = nullptr;
    p2_->get_Language(&out);
    EXPECT_EQ(text(out), "EN");
    SysFreeString(out);
    SysFreeString(fr);
    SysFreeString(en);
    SysFreeString(EN);
    qivtest::Disconnect(p2_, IID_IPropertyNotifySink, cookie);
    EXPECT_EQ(std::count(notify.changed.begin(), notify.changed.end(), 0x18), 2) << "FR, then EN once";
}

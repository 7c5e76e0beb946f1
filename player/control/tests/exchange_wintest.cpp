// Materials, textures, viewings, their texts, the bitmap export, the click events and drops
// of the control, on the project's sample object written by the project's PEL writer.
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <clocale>
#include <cmath>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bmpreader.h"
#include "caches.h"
#include "com/module.h"
#include "ctlmodule_win.h"
#include "exchange_win.h"
#include "loadsession.h"
#include "controlref.h"
#include "olecontainer.h"
#include "qivctl_win.h"
#include "render/sample.h"
#include "scene/engine.h"
#include "scene/pelchunk.h"
#include "scene/sceneops.h"
#include "serverparts_win.h"
#include "window_win.h"

namespace {

using qivtest::EventSink;

std::string tempDir(const char* name) {
    char base[MAX_PATH];
    GetTempPathA(sizeof base, base);
    const std::string dir = std::string(base) + name;
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

std::string writeSample(const std::string& dir) {
    const std::string path = dir + "\\sample.pel";
    EXPECT_TRUE(sampleWriteObjectFile(path.c_str(), false));
    return path;
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

size_t filesIn(const std::string& dir) {
    WIN32_FIND_DATAA f;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &f);
    size_t n = 0;
    if (h == INVALID_HANDLE_VALUE) return 0;
    do {
        if (!(f.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++n;
    } while (FindNextFileA(h, &f));
    FindClose(h);
    return n;
}

std::wstring wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

class Bstr {
public:
    explicit Bstr(const std::string& s) : b_(SysAllocString(wide(s).c_str())) {}
    ~Bstr() { SysFreeString(b_); }
    operator BSTR() const { return b_; }

private:
    BSTR b_;
};

std::string take(BSTR b) {
    std::string s;
    if (b) {
        for (UINT i = 0; i < SysStringLen(b); ++i) s += char(b[i]);
    }
    SysFreeString(b);
    return s;
}

std::string errorDescription() {
    IErrorInfo* info = nullptr;
    std::string text;
    if (GetErrorInfo(0, &info) == S_OK && info) {
        BSTR d = nullptr;
        info->GetDescription(&d);
        text = take(d);
        info->Release();
    }
    return text;
}

// A data object with one CF_HDROP entry naming the given files.
class FileDrop : public IDataObject, public qivtest::TestUnknown {
public:
    explicit FileDrop(std::vector<std::string> files) : files_(std::move(files)) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDataObject)) {
            *out = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return addRef(); }
    STDMETHODIMP_(ULONG) Release() override { return release(); }
    STDMETHODIMP GetData(FORMATETC* f, STGMEDIUM* m) override {
        if (!f || !m || f->cfFormat != CF_HDROP || !(f->tymed & TYMED_HGLOBAL)) return DV_E_FORMATETC;
        std::string names;
        for (const std::string& n : files_) names += n + '\0';
        names += '\0';
        HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + names.size());
        auto* d = static_cast<DROPFILES*>(GlobalLock(h));
        d->pFiles = sizeof(DROPFILES);
        std::memcpy(reinterpret_cast<char*>(d) + sizeof(DROPFILES), names.data(), names.size());
        GlobalUnlock(h);
        m->tymed = TYMED_HGLOBAL;
        m->hGlobal = h;
        m->pUnkForRelease = nullptr;
        return S_OK;
    }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* f) override { return f && f->cfFormat == CF_HDROP ? S_OK : DV_E_FORMATETC; }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        if (out) out->ptd = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    std::vector<std::string> files_;
};

// One control embedded in its own host window, with the sample object loaded.
struct Hosted {
    qivtest::OleTestContainer host;
    qivtest::ControlRef control;
    IQivPlayer2* p2 = nullptr;
    CQivPlayerCtl* ctl = nullptr;
    void create() {
        control = qivtest::ControlRef::create();
        ASSERT_TRUE(control);
        p2 = control.get();
        ctl = control.ctl();
        ShowWindow(host.window(), SW_SHOW);
        ctl->state().rendererKind = 2;
        ASSERT_EQ(S_OK, host.Embed(p2, true));
        ASSERT_NE(nullptr, ctl->hwnd());
    }
    bool load(const std::string& path) {
        VARIANT_BOOL ok = VARIANT_FALSE;
        EXPECT_EQ(S_OK, p2->LoadObject(Bstr(path), &ok));
        qivtest::PumpMessages();
        return ok == VARIANT_TRUE && ctl->state().viewValid;
    }
    ~Hosted() {
        host.Unembed();
        if (control) {
            EXPECT_EQ(0u, control.reset());
        }
    }
};

class Exchange : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        OleInitialize(nullptr);
        qcom::module().init(GetModuleHandleW(nullptr), qivClassTable(), qivClassCount());
    }
    void SetUp() override {
        dir_ = tempDir("qivexchange");
        sample_ = writeSample(dir_);
        h_.create();
        p2_ = h_.p2;
        ctl_ = h_.ctl;
    }
    bool load() { return h_.load(sample_); }
    // A client point over a part whose material takes textures (or not).
    bool findPart(bool textured, POINT* out) {
        RECT r;
        GetClientRect(ctl_->hwnd(), &r);
        for (int y = 4; y < r.bottom; y += 3)
            for (int x = 4; x < r.right; x += 3) {
                const CQivPlayerCtl::PartUnder u = ctl_->PartAt(x, y, false);
                if (u.slot == 0 && ((u.materialFlags & 1) != 0) == textured) {
                    *out = POINT{x, y};
                    return true;
                }
            }
        return false;
    }
    POINT background() { return POINT{2, 2}; }

    std::string dir_, sample_;
    Hosted h_;
    IQivPlayer2* p2_ = nullptr;
    CQivPlayerCtl* ctl_ = nullptr;
};

struct Material {
    LONG dif = 0, specular = 0, flags = 0;
    float alpha = 0, coDif = 0, coAmb = 0, coSpec = 0;
    VARIANT_BOOL ok = VARIANT_FALSE;
    HRESULT get(IQivPlayer2* p, LONG index) {
        return p->GetMaterial(index, &dif, &specular, &alpha, &coDif, &coAmb, &coSpec, &flags, &ok);
    }
};

}  // namespace

TEST_F(Exchange, MembersWithoutAnObject) {
    LONG n = -1;
    EXPECT_EQ(E_FAIL, p2_->GetMaterialCount(&n));
    EXPECT_EQ(E_POINTER, p2_->GetMaterialCount(nullptr));
    Material m;
    EXPECT_EQ(E_FAIL, m.get(p2_, 0));
    EXPECT_EQ(E_POINTER, p2_->GetMaterial(0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(E_FAIL, p2_->SubObjectCount(&n));
    EXPECT_EQ(S_OK, p2_->GetTextureCount(&n));
    EXPECT_EQ(0, n);
    BSTR s = reinterpret_cast<BSTR>(1);
    EXPECT_EQ(S_OK, p2_->GetMaterialAsString(0, &s));
    EXPECT_EQ(nullptr, s);
    // The camera before any view, answered as true.
    float v[7] = {1, 1, 1, 1, 1, 1, 1};
    VARIANT_BOOL viewed = VARIANT_FALSE;
    EXPECT_EQ(S_OK, p2_->GetViewing3D(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &viewed));
    EXPECT_EQ(VARIANT_TRUE, viewed);
    EXPECT_TRUE(std::isfinite(v[6])) << v[6];
    viewed = VARIANT_FALSE;
    EXPECT_EQ(S_OK, p2_->WalkThroughStep(qivWalkForward, 1.0f, &viewed)) << "no view to walk in: nothing moves";
    EXPECT_EQ(VARIANT_TRUE, viewed);
    EXPECT_EQ(S_OK, p2_->GetViewing3DExAsString(&s));
    ASSERT_NE(nullptr, s);
    EXPECT_NE(std::wstring::npos, std::wstring(s).find(L", false")) << std::wstring(s);
    SysFreeString(s);
    EXPECT_EQ(S_OK, p2_->GetSubAnimationInfoAsString(0, &s));
    EXPECT_EQ(nullptr, s);
    VARIANT_BOOL ok = VARIANT_TRUE;
    EXPECT_EQ(S_OK, p2_->SaveBitmap(qivBmpQualityLow, VARIANT_FALSE, 10, 10, Bstr(dir_ + "\\none.bmp"), &ok));
    EXPECT_EQ(VARIANT_FALSE, ok) << "not ready without an object";
    EXPECT_EQ(S_OK, p2_->put_DragDropEnabled(7));
    EXPECT_EQ(S_OK, p2_->get_DragDropEnabled(&n));
    EXPECT_EQ(7, n);
    EXPECT_EQ(S_OK, p2_->DragAndDropMaterial(0, 0, 0, 0, 0, 0, 0, 0));
}

// GetMaterial reads what ReplaceMaterial(Ex) wrote, with the marker and refraction code in the
// flags; the refraction code is clamped to 0..63 and the caller's bits never reach its field.
TEST_F(Exchange, ReplaceAndReadMaterials) {
    ASSERT_TRUE(load());
    LONG n = 0;
    ASSERT_EQ(S_OK, p2_->GetMaterialCount(&n));
    EXPECT_EQ(6, n);
    Material before;
    ASSERT_EQ(S_OK, before.get(p2_, 0));
    ASSERT_EQ(VARIANT_TRUE, before.ok);
    Material m;
    EXPECT_EQ(S_OK, m.get(p2_, 6));
    EXPECT_EQ(VARIANT_FALSE, m.ok);
    EXPECT_EQ(S_OK, m.get(p2_, -1));
    EXPECT_EQ(VARIANT_FALSE, m.ok);

    VARIANT_BOOL ok = VARIANT_FALSE;
    MatInput engine{};
    ASSERT_TRUE(scnGetMaterialInfo(ctl_->state().slots[0].node, 0, &engine));
    const float exponent = engine.specExp;
    ASSERT_EQ(S_OK, p2_->ReplaceMaterial(0, 0x00336699, 0x00FFFFFF, 0.25f, 0.5f, 0.125f, 0.75f, 3, &ok));
    ASSERT_EQ(VARIANT_TRUE, ok);
    // The interface carries no exponent: the highlight stays as it was.
    ASSERT_TRUE(scnGetMaterialInfo(ctl_->state().slots[0].node, 0, &engine));
    EXPECT_EQ(exponent, engine.specExp);
    ASSERT_EQ(S_OK, m.get(p2_, 0));
    EXPECT_EQ(0x00336699, m.dif);
    EXPECT_EQ(0x00FFFFFF, m.specular);
    EXPECT_FLOAT_EQ(0.25f, m.alpha);
    EXPECT_FLOAT_EQ(0.5f, m.coDif);
    EXPECT_FLOAT_EQ(0.125f, m.coAmb);
    EXPECT_FLOAT_EQ(0.75f, m.coSpec);
    EXPECT_EQ(0xAFFE0000u, uint32_t(m.flags) & 0xFFFF0000u);
    EXPECT_EQ(11, (m.flags >> 10) & 63);
    EXPECT_EQ(64, m.flags & 64) << "specular above 0.3";
    BSTR text = nullptr;
    ASSERT_EQ(S_OK, p2_->GetMaterialAsString(0, &text));
    EXPECT_EQ("3368601, 16777215, 0.25, 0.5, 0.125, 0.75, " + std::to_string(m.flags), take(text));

    struct Case {
        LONG flags;
        float coef;
        int code;
    };
    for (const Case& c : {Case{0, 1.2f, 11}, Case{0, 100.0f, 63}, Case{0, -5.0f, 0}, Case{LONG(0xFC00 | 5), 0.1f, 0},
                          Case{LONG(0xFFFFFFFF), 2.0f, 19}}) {
        ASSERT_EQ(S_OK, p2_->ReplaceMaterialEx(1, 0, 0, 0, 0.5f, 0.5f, 0, c.flags, c.coef, &ok));
        ASSERT_EQ(VARIANT_TRUE, ok);
        ASSERT_EQ(S_OK, m.get(p2_, 1));
        EXPECT_EQ(c.code, (m.flags >> 10) & 63) << c.coef;
        EXPECT_EQ(0xAFFEu, uint32_t(m.flags) >> 16);
    }
    EXPECT_EQ(S_OK, p2_->ReplaceMaterial(7, 0, 0, 0, 0, 0, 0, 0, &ok));
    EXPECT_EQ(VARIANT_FALSE, ok);
    EXPECT_EQ(S_OK, p2_->ReplaceMaterial(0, 0, 0, NAN, 0, 0, 0, 0, &ok));
    EXPECT_EQ(VARIANT_FALSE, ok);
}

// Material files are read in the invariant number format, and the material texts written in
// it, under a German user locale as well; colours beyond 0..1 read back clamped to 0..255.
TEST_F(Exchange, MaterialFilesAndTextsUnderAGermanLocale) {
    ASSERT_TRUE(load());
    const LCID german = MAKELCID(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), SORT_DEFAULT);
    const LCID saved = GetThreadLocale();
    SetThreadLocale(german);
    const char* c = std::setlocale(LC_ALL, "German_Germany.1252");
    if (!c) c = std::setlocale(LC_ALL, "de-DE");
    char decimal[8] = {};
    GetLocaleInfoA(german, LOCALE_SDECIMAL, decimal, sizeof decimal);
    EXPECT_STREQ(",", decimal);

    const std::string ini = dir_ + "\\brass.ini";
    writeText(ini, "[Material]\r\nName=Brass\r\n[Brass]\r\nkdiffus=0.5\r\nkambient=0.25\r\nkspiegel=0.125\r\n"
                   "alpha=0.5\r\nOe=12.5\r\nRGBDiffus=1.5,-0.2,0.5\r\nRGBSpiegel=0.5,0.5,0.5\r\n");
    VARIANT_BOOL ok = VARIANT_FALSE;
    ASSERT_EQ(S_OK, p2_->LoadMaterial(2, Bstr(ini), &ok));
    ASSERT_EQ(VARIANT_TRUE, ok);
    Material m;
    ASSERT_EQ(S_OK, m.get(p2_, 2));
    EXPECT_FLOAT_EQ(0.5f, m.coDif);
    EXPECT_FLOAT_EQ(0.25f, m.coAmb);
    EXPECT_FLOAT_EQ(0.125f, m.coSpec);
    EXPECT_EQ(0x007F00FF, m.dif) << "red clamped to 255, green to 0";
    BSTR text = nullptr;
    ASSERT_EQ(S_OK, p2_->GetMaterialAsString(2, &text));
    const std::string s = take(text);
    EXPECT_NE(std::string::npos, s.find(", 0.5, 0.5, 0.25, 0.125, ")) << s;
    EXPECT_EQ(std::string::npos, s.find("0,5")) << s;
    // A file named with "file://" comes from the material cache the second time.
    EXPECT_EQ(S_OK, p2_->LoadMaterial(3, Bstr(ini), &ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    EXPECT_EQ(S_OK, p2_->LoadMaterial(3, Bstr(dir_ + "\\missing.ini"), &ok));
    EXPECT_EQ(VARIANT_FALSE, ok);
    EXPECT_EQ(S_OK, p2_->LoadMaterial(3, Bstr("http://127.0.0.1/x.ini"), &ok));
    EXPECT_EQ(VARIANT_FALSE, ok);

    ASSERT_EQ(S_OK, p2_->SetViewing3DEx(0.5f, 0, 1.5f, 10.5f, -2, 3, 0.5f, VARIANT_FALSE, &ok));
    ASSERT_EQ(S_OK, p2_->GetViewing3DExAsString(&text));
    EXPECT_EQ("0.5, 0, 1.5, 10.5, -2, 3, 0.5, false", take(text));
    std::setlocale(LC_ALL, "C");
    SetThreadLocale(saved);
}

TEST_F(Exchange, TexturesAndSubObjects) {
    ASSERT_TRUE(load());
    LONG n = 0;
    ASSERT_EQ(S_OK, p2_->GetTextureCount(&n));
    EXPECT_EQ(1, n);
    BSTR name = nullptr;
    ASSERT_EQ(S_OK, p2_->GetTexture(0, &name));
    const std::string first = take(name);
    EXPECT_NE(std::string::npos, first.find("checker.bmp")) << first;
    ASSERT_EQ(S_OK, p2_->GetTexture(1, &name));
    EXPECT_EQ(nullptr, name);
    EXPECT_EQ(S_OK, p2_->SubObjectCount(&n));
    EXPECT_EQ(5, n);

    EventSink sink(DIID__QivPlayerEvents);
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, qivtest::Connect(p2_, DIID__QivPlayerEvents, &sink, &cookie));
    // A texture file by its full name; the same picture as the sample's checker, under another name.
    const std::string wood = dir_ + "\\wood.bmp";
    DeleteFileA(wood.c_str());
    ASSERT_TRUE(CopyFileA((dir_ + "\\checker.bmp").c_str(), wood.c_str(), FALSE));
    VARIANT_BOOL ok = VARIANT_FALSE;
    ASSERT_EQ(S_OK, p2_->ReplaceTexture(0, Bstr(wood), &ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    ASSERT_EQ(1u, sink.events.size());
    EXPECT_EQ(7, sink.events[0].id);
    EXPECT_EQ((std::vector<std::string>{"I4:-1", "I4:0", "BSTR:" + wood}), sink.events[0].args);
    ASSERT_EQ(S_OK, p2_->GetTexture(0, &name));
    EXPECT_EQ(wood, take(name));

    // Saved from the cache into a new file only.
    const std::string copy = dir_ + "\\copy.bmp";
    DeleteFileA(copy.c_str());
    ASSERT_EQ(S_OK, p2_->SaveTextureToLocalFile(Bstr(wood), Bstr(copy), &ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    EXPECT_TRUE(exists(copy));
    EXPECT_EQ(S_OK, p2_->SaveTextureToLocalFile(Bstr(wood), Bstr(copy), &ok));
    EXPECT_EQ(VARIANT_FALSE, ok);
    EXPECT_EQ(S_OK, p2_->SaveTextureToLocalFile(Bstr("nothing.bmp"), Bstr(dir_ + "\\n.bmp"), &ok));
    EXPECT_EQ(VARIANT_FALSE, ok);

    // An empty name empties the place and still tells the host.
    ASSERT_EQ(S_OK, p2_->ReplaceTexture(0, Bstr(""), &ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    ASSERT_EQ(2u, sink.events.size());
    EXPECT_EQ((std::vector<std::string>{"I4:-1", "I4:0", "BSTR:"}), sink.events[1].args);
    ASSERT_EQ(S_OK, p2_->GetTexture(0, &name));
    EXPECT_EQ("", take(name));
    EXPECT_EQ(S_OK, p2_->ReplaceTexture(1, Bstr(wood), &ok));
    EXPECT_EQ(VARIANT_FALSE, ok);
    EXPECT_EQ(S_OK, p2_->ReplaceTexture(0, Bstr(dir_ + "\\missing.bmp"), &ok));
    EXPECT_EQ(VARIANT_FALSE, ok);
    EXPECT_EQ(2u, sink.events.size());
    qivtest::Disconnect(p2_, DIID__QivPlayerEvents, cookie);
}

// SetViewing3DEx gives the camera back through GetViewing3DEx and its text; an eye on the view
// reference point, a tangent not above 0 and angles outside the Phi/Psi limits are refused
// whole, the camera staying as it was.
TEST_F(Exchange, Viewings) {
    ASSERT_TRUE(load());
    VARIANT_BOOL ok = VARIANT_TRUE;
    ASSERT_EQ(S_OK, p2_->SetViewing3DEx(0, 0, 1, 6, -8, 4, 0.4f, VARIANT_FALSE, &ok));
    EXPECT_EQ(VARIANT_FALSE, ok) << "the out value of the setters is always false";
    float v[7] = {};
    VARIANT_BOOL parallel = VARIANT_TRUE;
    ASSERT_EQ(S_OK, p2_->GetViewing3DEx(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &parallel, &ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    EXPECT_EQ(VARIANT_FALSE, parallel);
    const float want[7] = {0, 0, 1, 6, -8, 4, 0.4f};
    for (int i = 0; i < 7; ++i) EXPECT_NEAR(want[i], v[i], 1e-4f) << i;
    EXPECT_EQ(E_POINTER, p2_->GetViewing3D(&v[0], &v[1], &v[2], &v[3], &v[4], nullptr, &v[6], &ok));
    BSTR text = nullptr;
    ASSERT_EQ(S_OK, p2_->GetViewing3DExAsString(&text));
    EXPECT_EQ("0, 0, 1, 6, -8, 4, 0.4, false", take(text));

    const CamRecord before = ctl_->state().camera;
    auto same = [&](const CamRecord& a) {
        return !std::memcmp(&a.eye, &before.eye, sizeof a.eye) && !std::memcmp(&a.vrp, &before.vrp, sizeof a.vrp) &&
               !std::memcmp(&a.up, &before.up, sizeof a.up) && a.winXMax == before.winXMax &&
               a.winYMax == before.winYMax;
    };
    EXPECT_EQ(S_OK, p2_->SetViewing3D(1, 2, 3, 1, 2, 3, 0.4f, &ok));
    EXPECT_TRUE(same(ctl_->state().camera)) << "eye on the view reference point";
    EXPECT_EQ(S_OK, p2_->SetViewing3DEx(0, 0, 0, 5, 5, 5, 0, VARIANT_FALSE, &ok));
    EXPECT_TRUE(same(ctl_->state().camera)) << "tangent 0";
    EXPECT_EQ(S_OK, p2_->SetViewing3DEx(0, 0, 0, 5, 5, NAN, 0.4f, VARIANT_FALSE, &ok));
    EXPECT_TRUE(same(ctl_->state().camera));
    // Limits: Phi 0..90, Psi 0..45 degrees. An eye at Phi -53 is outside: nothing changes.
    EXPECT_EQ(S_OK, p2_->SetPhiPsiRanges(0, 90, 0, 45));
    EXPECT_EQ(S_OK, p2_->SetViewing3DEx(0, 0, 1, 6, -8, 4, 0.5f, VARIANT_FALSE, &ok));
    EXPECT_TRUE(same(ctl_->state().camera)) << "outside the limits";
    // Inside: eye, up and angles change together.
    EXPECT_EQ(S_OK, p2_->SetViewing3DEx(0, 0, 1, 6, 8, 4, 0.5f, VARIANT_TRUE, &ok));
    const CamRecord& c = ctl_->state().camera;
    EXPECT_NEAR(8.0f, c.eye.y, 1e-4f);
    const float dx = c.eye.x - c.vrp.x, dy = c.eye.y - c.vrp.y, dz = c.eye.z - c.vrp.z;
    EXPECT_NEAR(0.0f, c.up.x * dx + c.up.y * dy + c.up.z * dz, 1e-3f) << "up across the view";
    EXPECT_NEAR(std::atan2(8.0f, 6.0f), ctl_->state().phi, 1e-4f);
    ASSERT_EQ(S_OK, p2_->GetViewing3DExAsString(&text));
    EXPECT_EQ("0, 0, 1, 6, 8, 4, 0.5, true", take(text));
    // Switched off by bounds beyond 1000 degrees.
    EXPECT_EQ(S_OK, p2_->SetPhiPsiRanges(-2000, -2000, 0, 90));
    EXPECT_FALSE(ctl_->PhiPsiLimits().on);
    EXPECT_EQ(S_OK, p2_->SetViewing3DEx(0, 0, 1, 6, -8, 4, 0.5f, VARIANT_FALSE, &ok));
    EXPECT_NEAR(-8.0f, ctl_->state().camera.eye.y, 1e-4f);
}

// The saved views of the first object are its predefined viewings.
TEST_F(Exchange, PredefinedViewings) {
    ASSERT_TRUE(load());
    LONG n = -1;
    ASSERT_EQ(S_OK, p2_->NumberOfPredefinedViewings(&n));
    EXPECT_EQ(0, n);
    auto* list = static_cast<QivSavedViewList*>(
        qivctl::ObjectCacheSavedViews(ctl_->state().slots[0].node->content));
    ASSERT_NE(nullptr, list);
    list->views.push_back(QivSavedView{{0, 0, 1, 0, -9, 1, 0.25f}, 0});
    list->views.push_back(QivSavedView{{1, 1, 1, 9, 1, 1, 0.5f}, 1});
    char* names = nullptr;
    uint32_t size = 0;
    ASSERT_TRUE(pelSetLangText(&names, &size, "Front", 0, "XX", 2));
    ASSERT_TRUE(pelSetLangText(&names, &size, "Side", 1, "XX", 2));
    list->names.assign(names, names + size);
    memFreeRefT(&names);

    ASSERT_EQ(S_OK, p2_->NumberOfPredefinedViewings(&n));
    EXPECT_EQ(2, n);
    BSTR text = nullptr;
    ASSERT_EQ(S_OK, p2_->NameOfPredefinedViewing(1, Bstr(""), &text));
    EXPECT_EQ("Side", take(text));
    ASSERT_EQ(S_OK, p2_->NameOfPredefinedViewing(2, Bstr(""), &text));
    EXPECT_EQ(nullptr, text);
    ASSERT_EQ(S_OK, p2_->GetPredefinedViewingAsString(1, &text));
    EXPECT_EQ("1, 1, 1, 9, 1, 1, 0.5, true", take(text));
    ASSERT_EQ(S_OK, p2_->GetPredefinedViewingAsString(-1, &text));
    EXPECT_EQ(nullptr, text);
    float v[7];
    VARIANT_BOOL parallel = VARIANT_FALSE, ok = VARIANT_TRUE;
    EXPECT_EQ(S_OK, p2_->GetPredefinedViewing(5, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &parallel, &ok));
    EXPECT_EQ(VARIANT_FALSE, ok);
    ASSERT_EQ(S_OK, p2_->SetPredefinedViewing(0, &ok));
    ASSERT_EQ(S_OK, p2_->GetViewing3DExAsString(&text));
    EXPECT_EQ("0, 0, 1, 0, -9, 1, 0.25, false", take(text));
}

// The export of the shown view: size, content and the object where the view puts it.
TEST_F(Exchange, SaveBitmapWritesTheView) {
    ASSERT_TRUE(load());
    const std::string out = dir_ + "\\view.bmp";
    DeleteFileA(out.c_str());
    std::vector<int32_t> progress;
    ctl_->exportProgressHook = [&](int32_t p) { progress.push_back(p); };
    VARIANT_BOOL ok = VARIANT_FALSE;
    ASSERT_EQ(S_OK, p2_->SaveBitmap(qivBmpQualityMedium, VARIANT_FALSE, 160, 120, Bstr(out), &ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    qivtest::Bitmap b;
    ASSERT_TRUE(b.read(out));
    EXPECT_EQ(160, b.width);
    EXPECT_EQ(120, b.height);
    // The frame shows the same view: the object covers the middle, the background the corners.
    PicRecord* frame = ctl_->state().frame;
    ASSERT_NE(nullptr, frame);
    const uint32_t corner = b.at(0, 0), centre = b.at(80, 60);
    EXPECT_NE(corner, centre);
    size_t object = 0;
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x) object += b.at(x, y) != corner;
    EXPECT_GT(object, size_t(160 * 120 / 10));
    // Where the picture and the window's frame show the object agree.
    size_t agree = 0, cells = 0;
    for (int y = 5; y < 120; y += 10)
        for (int x = 5; x < 160; x += 10) {
            const int fx = x * ctl_->state().frameWidth / 160, fy = y * ctl_->state().frameHeight / 120;
            const bool inPicture = b.at(x, y) != corner;
            const bool inFrame = ctl_->PartAt(fx, fy, false).slot >= 0;
            agree += inPicture == inFrame;
            ++cells;
        }
    EXPECT_GT(agree, cells * 9 / 10);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(0, progress.front());
    EXPECT_LE(progress.back(), 100);
    EXPECT_TRUE(ctl_->Ready());
}

// W = 2048 works and 2049 fails with the limit; the height is not capped (strips bound the
// memory); other refusals; an existing file stays untouched; a cancelled export leaves no file.
TEST_F(Exchange, SaveBitmapLimitsAndFailures) {
    ASSERT_TRUE(load());
    VARIANT_BOOL ok = VARIANT_TRUE;
    const std::string out = dir_ + "\\limits.bmp";
    DeleteFileA(out.c_str());
    EXPECT_EQ(E_INVALIDARG, p2_->SaveBitmap(qivBmpQualityLow, VARIANT_FALSE, 2049, 16, Bstr(out), &ok));
    EXPECT_NE(std::string::npos, errorDescription().find("2048"));
    EXPECT_EQ(VARIANT_FALSE, ok);
    EXPECT_EQ(E_INVALIDARG, p2_->SaveBitmap(qivBmpQualityLow, VARIANT_FALSE, 16, 0x7FFFFFFF, Bstr(out), &ok))
        << "a file past its 32-bit size";
    EXPECT_EQ(E_INVALIDARG, p2_->SaveBitmap(qivBmpQualityLow, VARIANT_FALSE, 0, 16, Bstr(out), &ok));
    EXPECT_EQ("Invalid file size!", errorDescription());
    EXPECT_EQ(E_INVALIDARG, p2_->SaveBitmap(qivBitmapQuality(3), VARIANT_FALSE, 16, 16, Bstr(out), &ok));
    EXPECT_EQ(E_INVALIDARG, p2_->SaveBitmap(qivBitmapQuality(-1), VARIANT_FALSE, 16, 16, Bstr(out), &ok));
    EXPECT_EQ(E_POINTER, p2_->SaveBitmap(qivBmpQualityLow, VARIANT_FALSE, 16, 16, Bstr(out), nullptr));
    EXPECT_FALSE(exists(out));

    const std::string tall = dir_ + "\\tall.bmp";
    DeleteFileA(tall.c_str());
    ASSERT_EQ(S_OK, p2_->SaveBitmap(qivBmpQualityLow, VARIANT_FALSE, 4, 2049, Bstr(tall), &ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    {
        qivtest::Bitmap t;
        ASSERT_TRUE(t.read(tall));
        EXPECT_EQ(2049, t.height);
    }
    DeleteFileA(tall.c_str());
    ASSERT_EQ(S_OK, p2_->SaveBitmap(qivBmpQualityLow, VARIANT_FALSE, 2048, 8, Bstr(out), &ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    qivtest::Bitmap b;
    ASSERT_TRUE(b.read(out));
    EXPECT_EQ(2048, b.width);
    const size_t size = b.bytes.size();
    // Made new only: an existing file is refused and kept.
    EXPECT_EQ(HRESULT(0x80030050), p2_->SaveBitmap(qivBmpQualityLow, VARIANT_FALSE, 16, 16, Bstr(out), &ok));
    EXPECT_NE(std::string::npos, errorDescription().find(out));
    ASSERT_TRUE(b.read(out));
    EXPECT_EQ(size, b.bytes.size());

    // Cancelled inside a ray trace: S_OK, false, and nothing left in the folder; a second
    // export asked for meanwhile is refused.
    const std::string cancelled = dir_ + "\\cancelled.bmp";
    DeleteFileA(cancelled.c_str());
    const size_t files = filesIn(dir_);
    VARIANT_BOOL nested = VARIANT_TRUE;
    ctl_->exportProgressHook = [&](int32_t p) {
        if (p > 0) ctl_->state().cancelRequested = true;
        if (nested == VARIANT_TRUE)
            p2_->SaveBitmap(qivBmpQualityLow, VARIANT_FALSE, 8, 8, Bstr(dir_ + "\\nested.bmp"), &nested);
        EXPECT_FALSE(ctl_->Ready());
    };
    ASSERT_EQ(S_OK, p2_->SaveBitmap(qivBmpQualityHigh, VARIANT_TRUE, 512, 512, Bstr(cancelled), &ok));
    EXPECT_EQ(VARIANT_FALSE, ok);
    EXPECT_EQ(VARIANT_FALSE, nested);
    EXPECT_FALSE(exists(cancelled));
    EXPECT_FALSE(exists(dir_ + "\\nested.bmp"));
    EXPECT_EQ(files, filesIn(dir_));
    EXPECT_TRUE(ctl_->Ready());

    // The Escape key held during the export cancels it the same way.
    const std::string escaped = dir_ + "\\escaped.bmp";
    auto escape = [](bool down) {
        INPUT in{};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = VK_ESCAPE;
        in.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
        SendInput(1, &in, sizeof in);
    };
    bool pressed = false;
    ctl_->exportProgressHook = [&](int32_t) {
        if (!pressed) escape(true);
        pressed = true;
    };
    ok = VARIANT_TRUE;
    const HRESULT escapedResult = p2_->SaveBitmap(qivBmpQualityHigh, VARIANT_TRUE, 512, 512, Bstr(escaped), &ok);
    escape(false);
    ctl_->exportProgressHook = nullptr;
    MSG key;
    while (PeekMessageW(&key, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    }
    ASSERT_TRUE(pressed);
    EXPECT_EQ(S_OK, escapedResult);
    EXPECT_EQ(VARIANT_FALSE, ok);
    EXPECT_FALSE(exists(escaped));
    EXPECT_EQ(files, filesIn(dir_));

    // A view the engine cannot draw is a failure, not a written file.
    ctl_->state().camera.eye = ctl_->state().camera.vrp;
    const std::string broken = dir_ + "\\broken.bmp";
    EXPECT_EQ(E_FAIL, p2_->SaveBitmap(qivBmpQualityLow, VARIANT_FALSE, 32, 32, Bstr(broken), &ok));
    EXPECT_EQ(VARIANT_FALSE, ok);
    EXPECT_FALSE(exists(broken));
    EXPECT_EQ(files, filesIn(dir_));
}

// Two controls on two threads export at once: each sees the progress of its own export only,
// and both files are complete.
TEST_F(Exchange, TwoControlsExportAtOnce) {
    struct Run {
        std::string file;
        std::vector<int32_t> progress;
        VARIANT_BOOL ok = VARIANT_FALSE;
        HRESULT hr = E_FAIL;
    };
    Run runs[2];
    std::atomic<int> loaded{0}, turn{0};
    auto work = [&](int i) {
        OleInitialize(nullptr);
        {
            Hosted h;
            h.create();
            // The caches are the process's: the loads take turns.
            while (turn.load() != i) Sleep(1);
            const bool ok = h.load(sample_);
            turn = i + 1;
            ++loaded;
            if (ok) {
                while (loaded.load() < 2) Sleep(1);
                runs[i].file = dir_ + "\\both" + std::to_string(i) + ".bmp";
                DeleteFileA(runs[i].file.c_str());
                h.ctl->exportProgressHook = [&, i](int32_t p) { runs[i].progress.push_back(p); };
                runs[i].hr = h.p2->SaveBitmap(qivBmpQualityHigh, VARIANT_TRUE, 256, 256 + 64 * i,
                                              Bstr(runs[i].file), &runs[i].ok);
            }
        }
        OleUninitialize();
    };
    std::thread a(work, 0), b(work, 1);
    a.join();
    b.join();
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(S_OK, runs[i].hr);
        EXPECT_EQ(VARIANT_TRUE, runs[i].ok);
        qivtest::Bitmap bm;
        ASSERT_TRUE(bm.read(runs[i].file));
        EXPECT_EQ(256 + 64 * i, bm.height);
        ASSERT_GT(runs[i].progress.size(), 2u);
        EXPECT_EQ(0, runs[i].progress.front());
        for (size_t k = 1; k < runs[i].progress.size(); ++k)
            EXPECT_GE(runs[i].progress[k], runs[i].progress[k - 1]);
        EXPECT_LE(runs[i].progress.back(), 100);
        // Strips of 256 rows: the second control's second strip starts at 80 percent.
        if (i == 1) {
            EXPECT_NE(0, std::count(runs[i].progress.begin(), runs[i].progress.end(), 80));
        }
    }
}

// MouseDown comes first for every press; a left release over an object fires Click, or
// ClickWithKeys with modifier keys, unless the press started a drag; the host's byref
// SubAnimIndex reaches the next sink and the control.
TEST_F(Exchange, ClickEvents) {
    ASSERT_TRUE(load());
    POINT over{};
    ASSERT_TRUE(findPart(false, &over));
    EventSink first(DIID__QivPlayerEvents), second(DIID__QivPlayerEvents);
    LONG eventObject = -2;
    first.handler = [&](DISPID id, DISPPARAMS* p) {
        if (id == qivdispid::event::Click || id == qivdispid::event::ClickWithKeys) *p->rgvarg[0].plVal = 9;
        p2_->get_EventObject(&eventObject);
    };
    DWORD c1 = 0, c2 = 0;
    ASSERT_EQ(S_OK, qivtest::Connect(p2_, DIID__QivPlayerEvents, &first, &c1));
    ASSERT_EQ(S_OK, qivtest::Connect(p2_, DIID__QivPlayerEvents, &second, &c2));
    auto ids = [&] {
        std::vector<DISPID> v;
        for (const qivtest::EventRecord& e : second.events) v.push_back(e.id);
        second.events.clear();
        return v;
    };

    ctl_->ButtonPressed(1, over.x, over.y, 0);
    ctl_->ButtonReleased(over.x, over.y, 0);
    ASSERT_EQ((std::vector<DISPID>{qivdispid::event::MouseDown, qivdispid::event::Click}), std::vector<DISPID>({second.events[0].id, second.events[1].id}));
    EXPECT_EQ((std::vector<std::string>{"I4:0", "I4:1", "I4:0"}), second.events[0].args);
    EXPECT_EQ((std::vector<std::string>{"I4&:9"}), second.events[1].args) << "the first sink's value";
    EXPECT_EQ(0, eventObject);
    ids();

    // With Control: ClickWithKeys with the key bits, also after a drag.
    ctl_->ButtonPressed(1, over.x, over.y, 2 | 32);
    ctl_->ButtonReleased(over.x, over.y, 2 | 32);
    ASSERT_EQ(2u, second.events.size());
    EXPECT_EQ(12, second.events[1].id);
    EXPECT_EQ((std::vector<std::string>{"I4:34", "I4&:9"}), second.events[1].args);
    ids();
    // A drag past the drag distance: no click.
    ctl_->ButtonPressed(1, over.x, over.y, 0);
    ctl_->exchange().clicks.move(over.x + 40, over.y, true, 4, 4);
    ctl_->ButtonReleased(over.x + 40, over.y, 0);
    EXPECT_EQ(std::vector<DISPID>{qivdispid::event::MouseDown}, ids());
    // The right button: MouseDown with button 2, no click; over the background: object -1.
    ctl_->ButtonPressed(2, over.x, over.y, 1);
    ASSERT_EQ(1u, second.events.size());
    EXPECT_EQ((std::vector<std::string>{"I4:0", "I4:2", "I4:1"}), second.events[0].args);
    ids();
    ctl_->ButtonPressed(1, background().x, background().y, 0);
    ctl_->ButtonReleased(background().x, background().y, 0);
    ASSERT_EQ(1u, second.events.size());
    EXPECT_EQ((std::vector<std::string>{"I4:-1", "I4:1", "I4:0"}), second.events[0].args);
    ids();

    // The per-part table of the object proposes the sub-animation of the clicked part.
    QivObjectSlot& slot = ctl_->state().slots[0];
    const uint32_t part = ctl_->PartAt(over.x, over.y, false).part;
    slot.chunkData.assign(4 * (part + 1), 0xFF);
    slot.chunkData[4 * part] = 3;
    slot.chunkData[4 * part + 1] = slot.chunkData[4 * part + 2] = slot.chunkData[4 * part + 3] = 0;
    first.handler = nullptr;
    ctl_->ButtonPressed(1, over.x, over.y, 0);
    ctl_->ButtonReleased(over.x, over.y, 0);
    ASSERT_EQ(2u, second.events.size());
    EXPECT_EQ((std::vector<std::string>{"I4&:3"}), second.events[1].args);
    ids();

    // Through the window's messages; while disabled MouseDown still arrives, Click does not.
    const LPARAM at = MAKELPARAM(over.x, over.y);
    SendMessageW(ctl_->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(ctl_->hwnd(), WM_LBUTTONUP, 0, at);
    EXPECT_EQ((std::vector<DISPID>{qivdispid::event::MouseDown, qivdispid::event::Click}), ids());
    ASSERT_EQ(S_OK, p2_->put_Enabled(VARIANT_FALSE));
    SendMessageW(ctl_->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(ctl_->hwnd(), WM_LBUTTONUP, 0, at);
    EXPECT_EQ(std::vector<DISPID>{qivdispid::event::MouseDown}, ids());
    qivtest::Disconnect(p2_, DIID__QivPlayerEvents, c1);
    qivtest::Disconnect(p2_, DIID__QivPlayerEvents, c2);
}

// Files dropped on the control through its IDropTarget: one material file onto a part, one
// texture onto a textured part; two files, disabled kinds and misses are refused.
TEST_F(Exchange, DropsOfMaterialAndTextureFiles) {
    ASSERT_TRUE(load());
    POINT plain{}, textured{};
    ASSERT_TRUE(findPart(false, &plain));
    ASSERT_TRUE(findPart(true, &textured));
    ClientToScreen(ctl_->hwnd(), &plain);
    ClientToScreen(ctl_->hwnd(), &textured);
    IDropTarget* target = nullptr;
    ASSERT_EQ(S_OK, p2_->QueryInterface(IID_IDropTarget, reinterpret_cast<void**>(&target)));
    EXPECT_EQ(DRAGDROP_E_ALREADYREGISTERED, RegisterDragDrop(ctl_->hwnd(), target)) << "registered by the window";
    IUnknown* a = nullptr;
    IUnknown* b = nullptr;
    target->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a));
    p2_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b));
    EXPECT_EQ(a, b) << "one object";
    a->Release();
    b->Release();

    const std::string ini = dir_ + "\\red.ini";
    writeText(ini, "[Material]\nName=Red\n[Red]\nkdiffus=0.75\nkambient=0.5\nRGBDiffus=1,0,0\n");
    const std::string png = dir_ + "\\PLANK.BMP";
    CopyFileA((dir_ + "\\checker.bmp").c_str(), png.c_str(), FALSE);
    EventSink sink(DIID__QivPlayerEvents);
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, qivtest::Connect(p2_, DIID__QivPlayerEvents, &sink, &cookie));
    auto drop = [&](const std::vector<std::string>& files, POINT at, DWORD* enter) {
        FileDrop data(files);
        const POINTL p{at.x, at.y};
        *enter = DROPEFFECT_COPY | DROPEFFECT_MOVE;
        EXPECT_EQ(S_OK, target->DragEnter(&data, 0, p, enter));
        DWORD over = DROPEFFECT_COPY;
        EXPECT_EQ(S_OK, target->DragOver(0, p, &over));
        EXPECT_EQ(*enter, over);
        DWORD effect = DROPEFFECT_COPY;
        EXPECT_EQ(S_OK, target->Drop(&data, 0, p, &effect));
        return effect;
    };
    DWORD enter = 0;
    // Nothing is taken while DragDropEnabled is 0.
    EXPECT_EQ(DWORD(DROPEFFECT_NONE), drop({ini}, plain, &enter));
    EXPECT_EQ(DWORD(DROPEFFECT_NONE), enter);
    ASSERT_EQ(S_OK, p2_->put_DragDropEnabled(2 | 4));

    EXPECT_EQ(DWORD(DROPEFFECT_COPY), drop({ini}, plain, &enter));
    ASSERT_EQ(1u, sink.events.size());
    EXPECT_EQ(8, sink.events[0].id);
    const CQivPlayerCtl::PartUnder under = [&] {
        POINT c = plain;
        ScreenToClient(ctl_->hwnd(), &c);
        return ctl_->PartAt(c.x, c.y, false);
    }();
    EXPECT_EQ((std::vector<std::string>{"I4:" + std::to_string(under.part), "I4:" + std::to_string(under.material),
                                        "BSTR:" + ini}),
              sink.events[0].args);
    Material m;
    ASSERT_EQ(S_OK, m.get(p2_, LONG(under.material)));
    EXPECT_EQ(0x000000FF, m.dif);
    EXPECT_FLOAT_EQ(0.75f, m.coDif);

    // A texture in capitals onto the textured cube; onto an untextured part it is refused.
    EXPECT_EQ(DWORD(DROPEFFECT_COPY), drop({png}, textured, &enter));
    ASSERT_EQ(2u, sink.events.size());
    EXPECT_EQ(7, sink.events[1].id);
    EXPECT_EQ("BSTR:" + png, sink.events[1].args[2]);
    BSTR name = nullptr;
    ASSERT_EQ(S_OK, p2_->GetTexture(0, &name));
    EXPECT_EQ(png, take(name));
    EXPECT_EQ(DWORD(DROPEFFECT_NONE), drop({png}, plain, &enter));
    // Two files at once, an unknown kind, an object file without its bit, the background.
    EXPECT_EQ(DWORD(DROPEFFECT_NONE), drop({ini, png}, plain, &enter));
    EXPECT_EQ(DWORD(DROPEFFECT_NONE), drop({dir_ + "\\notes.txt"}, plain, &enter));
    EXPECT_EQ(DWORD(DROPEFFECT_NONE), drop({sample_}, plain, &enter));
    POINT bg = background();
    ClientToScreen(ctl_->hwnd(), &bg);
    EXPECT_EQ(DWORD(DROPEFFECT_NONE), drop({ini}, bg, &enter));
    EXPECT_EQ(2u, sink.events.size());
    // An object file with bit 1 loads it.
    ASSERT_EQ(S_OK, p2_->put_DragDropEnabled(1));
    EXPECT_EQ(DWORD(DROPEFFECT_COPY), drop({sample_}, bg, &enter));
    EXPECT_EQ(5, sink.events.back().id);
    target->DragLeave();
    target->Release();
    qivtest::Disconnect(p2_, DIID__QivPlayerEvents, cookie);
}

// SaveBitmap without a name runs the save-image dialog: the width is capped at 2048 with the
// limit's message, the height follows the width by the frame's aspect, and OK saves the file.
// A visible dialog of this process (the save-image dialog).
BOOL CALLBACK findOwnDialog(HWND w, LPARAM out) {
    char cls[16] = {};
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    GetClassNameA(w, cls, sizeof cls);
    if (pid == GetCurrentProcessId() && !std::strcmp(cls, "#32770") && IsWindowVisible(w))
        *reinterpret_cast<HWND*>(out) = w;
    return TRUE;
}

// The width field (id 220) in the template's child dialog.
BOOL CALLBACK findWidthField(HWND w, LPARAM out) {
    if (GetDlgCtrlID(w) == 220 && !*reinterpret_cast<HWND*>(out)) *reinterpret_cast<HWND*>(out) = w;
    return TRUE;
}

TEST_F(Exchange, SaveImageDialog) {
    ASSERT_TRUE(load());
    const std::string out = dir_ + "\\dialog.bmp";
    DeleteFileA(out.c_str());
    std::vector<std::string> messages;
    qivSetMessageLog(
        [](void* context, const char* text, const char*, UINT) {
            static_cast<std::vector<std::string>*>(context)->push_back(text);
            return IDOK;
        },
        &messages);
    std::atomic<bool> done{false};
    std::string heightShown;
    std::thread user([&] {
        HWND dialog = nullptr;
        for (int i = 0; i < 2000 && !dialog && !done; ++i) {
            EnumWindows(findOwnDialog, LPARAM(&dialog));
            if (!dialog) Sleep(10);
        }
        if (!dialog) return;
        Sleep(200);
        // The size controls lie in the child dialog of the template.
        HWND width = nullptr;
        EnumChildWindows(dialog, findWidthField, LPARAM(&width));
        if (width) {
            HWND child = GetParent(width);
            SendMessageA(width, WM_SETTEXT, 0, LPARAM("3000"));
            char text[32] = {};
            GetDlgItemTextA(child, 221, text, sizeof text);
            heightShown = text;
            SendMessageA(GetDlgItem(child, 241), BM_CLICK, 0, 0);
        }
        SetDlgItemTextA(dialog, 0x47c, out.c_str());  // the file name box
        SetDlgItemTextA(dialog, 0x480, out.c_str());
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    });
    VARIANT_BOOL ok = VARIANT_FALSE;
    const HRESULT hr = p2_->SaveBitmap(qivBmpQualityLow, VARIANT_FALSE, 0, 0, nullptr, &ok);
    done = true;
    user.join();
    qivSetMessageLog(nullptr, nullptr);
    EXPECT_EQ(S_OK, hr);
    EXPECT_EQ(VARIANT_TRUE, ok);
    ASSERT_EQ(1u, messages.size());
    EXPECT_NE(std::string::npos, messages[0].find("2048"));
    const int32_t fw = ctl_->state().frameWidth, fh = ctl_->state().frameHeight;
    EXPECT_EQ(std::to_string(int(2048.0 * fh / fw)), heightShown);
    qivtest::Bitmap b;
    ASSERT_TRUE(b.read(out));
    EXPECT_EQ(2048, b.width);
    EXPECT_EQ(int(2048.0 * fh / fw), b.height);
}

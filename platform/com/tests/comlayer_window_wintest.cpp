// The control's in-place activation in a real window: a small container with
// an in-place site, the control window, its messages and painting, moves,
// UI activation and deactivation.
#include <windows.h>
#include <ole2.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "com/object.h"
#include "comtest_h.h"

using qcom::ComPtr;

namespace {

class OleEnv : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr))); }
    void TearDown() override { OleUninitialize(); }
};
const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new OleEnv);

template <class I>
ComPtr<I> createObject(REFCLSID clsid) {
    wchar_t buf[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
    std::wstring p(buf, n);
    p = p.substr(0, p.find_last_of(L"\\/") + 1) + L"comtestsrv.dll";
    static HMODULE dll = LoadLibraryW(p.c_str());
    ComPtr<I> obj;
    if (!dll) return obj;
    auto get = reinterpret_cast<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(
        reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
    ComPtr<IClassFactory> f;
    if (get && SUCCEEDED(get(clsid, IID_IClassFactory, reinterpret_cast<void**>(f.put()))))
        f->CreateInstance(nullptr, __uuidof(I), reinterpret_cast<void**>(obj.put()));
    return obj;
}

ComPtr<ICtlTestNew> createControl() { return createObject<ICtlTestNew>(CLSID_CtlTest); }

// Client site and in-place site of one control, with a host window.
class InPlaceSite : public IOleClientSite, public IOleInPlaceSite {
public:
    explicit InPlaceSite(HWND host) : host_(host) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IOleClientSite) *out = static_cast<IOleClientSite*>(this);
        else if (iid == IID_IOleInPlaceSite || iid == IID_IOleWindow) *out = static_cast<IOleInPlaceSite*>(this);
        else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    // IOleClientSite
    STDMETHODIMP SaveObject() override { return S_OK; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** m) override {
        *m = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetContainer(IOleContainer** c) override {
        *c = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }
    // IOleWindow
    STDMETHODIMP GetWindow(HWND* w) override {
        *w = host_;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override {
        calls.push_back("activate");
        return S_OK;
    }
    STDMETHODIMP OnUIActivate() override {
        calls.push_back("uiactivate");
        return S_OK;
    }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO info) override {
        *frame = nullptr;
        *doc = nullptr;
        *pos = rect;
        *clip = rect;
        info->fMDIApp = FALSE;
        info->hwndFrame = host_;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override {
        calls.push_back("uideactivate");
        return S_OK;
    }
    STDMETHODIMP OnInPlaceDeactivate() override {
        calls.push_back("deactivate");
        return S_OK;
    }
    STDMETHODIMP DiscardUndoState() override { return S_OK; }
    STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
    STDMETHODIMP OnPosRectChange(LPCRECT r) override {
        calls.push_back("posrect");
        rect = *r;
        return S_OK;
    }

    RECT rect{10, 20, 110, 70};
    std::vector<std::string> calls;
    LONG refs = 0;

private:
    HWND host_;
};

HWND makeHost() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ComLayerTestHost";
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    RegisterClassW(&wc);
    HWND h = CreateWindowExW(0, L"ComLayerTestHost", L"host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 300, 200,
                             nullptr, nullptr, wc.hInstance, nullptr);
    ShowWindow(h, SW_SHOW);
    UpdateWindow(h);
    return h;
}

void pump() {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
}

TEST(ComControlWindow, InPlaceActivationWindowAndDeactivation) {
    HWND host = makeHost();
    ASSERT_TRUE(host);
    InPlaceSite site(host);
    {
        ComPtr<ICtlTestNew> ctl = createControl();
        ASSERT_TRUE(ctl) << "comtestsrv.dll";
        ComPtr<IOleObject> ole;
        ComPtr<IOleInPlaceObjectWindowless> ipo;
        ASSERT_EQ(ctl.as(ole), S_OK);
        ASSERT_EQ(ctl.as(ipo), S_OK);
        ASSERT_EQ(ole->SetClientSite(&site), S_OK);
        ctl->put_Value(0x30);

        HWND w = nullptr;
        EXPECT_EQ(ipo->GetWindow(&w), E_FAIL);
        ASSERT_EQ(ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, host, &site.rect), S_OK);
        EXPECT_EQ(site.calls, (std::vector<std::string>{"activate"}));
        ASSERT_EQ(ipo->GetWindow(&w), S_OK);
        ASSERT_TRUE(IsWindow(w));
        EXPECT_EQ(GetParent(w), host);
        EXPECT_TRUE(IsWindowVisible(w));
        RECT r;
        GetWindowRect(w, &r);
        MapWindowPoints(nullptr, host, reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, 10);
        EXPECT_EQ(r.top, 20);
        EXPECT_EQ(r.right, 110);
        EXPECT_EQ(r.bottom, 70);
        wchar_t cls[64] = {};
        GetClassNameW(w, cls, 64);
        EXPECT_STREQ(cls, L"ComTestControl");

        // Messages reach the control's hook, also through the windowless entry.
        EXPECT_EQ(SendMessageW(w, WM_USER + 1, 0, 0), 0x31);
        LRESULT res = 0;
        EXPECT_EQ(ipo->OnWindowMessage(WM_USER + 1, 0, 0, &res), S_OK);
        EXPECT_EQ(res, 0x31);
        EXPECT_EQ(ipo->OnWindowMessage(WM_USER + 2, 0, 0, &res), S_FALSE);

        // Painting goes through onDraw.
        ctl->put_Value(0x50);
        RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        pump();
        HDC dc = GetDC(w);
        EXPECT_EQ(GetPixel(dc, 50, 25), RGB(0x50, 0x40, 0x80));
        ReleaseDC(w, dc);

        // UI activation, then a move.
        ASSERT_EQ(ole->DoVerb(OLEIVERB_UIACTIVATE, nullptr, &site, 0, host, &site.rect), S_OK);
        EXPECT_EQ(site.calls, (std::vector<std::string>{"activate", "uiactivate"}));
        EXPECT_EQ(GetFocus(), w);
        ASSERT_EQ(ole->DoVerb(OLEIVERB_UIACTIVATE, nullptr, &site, 0, host, &site.rect), S_OK);
        EXPECT_EQ(site.calls.size(), 2u) << "already UI active";
        RECT moved{30, 40, 230, 140};
        ASSERT_EQ(ipo->SetObjectRects(&moved, &moved), S_OK);
        GetWindowRect(w, &r);
        MapWindowPoints(nullptr, host, reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, 30);
        EXPECT_EQ(r.right, 230);
        EXPECT_EQ(r.bottom, 140);
        SIZEL ext{};
        ole->GetExtent(DVASPECT_CONTENT, &ext);
        EXPECT_GT(ext.cx, ext.cy) << "the extent follows the new size";

        // Deactivation: UI first, then the window goes.
        EXPECT_EQ(ipo->UIDeactivate(), S_OK);
        EXPECT_EQ(site.calls.back(), "uideactivate");
        EXPECT_EQ(ipo->InPlaceDeactivate(), S_OK);
        EXPECT_EQ(site.calls.back(), "deactivate");
        EXPECT_FALSE(IsWindow(w));
        EXPECT_EQ(ipo->GetWindow(&w), E_FAIL);
        EXPECT_EQ(ipo->InPlaceDeactivate(), S_OK);
        EXPECT_EQ(site.calls.size(), 4u);

        // Activated again, then released while active: the window goes with the object.
        ASSERT_EQ(ole->DoVerb(OLEIVERB_PRIMARY, nullptr, &site, 0, host, &site.rect), S_OK);
        ASSERT_EQ(ipo->GetWindow(&w), S_OK);
        EXPECT_EQ(site.calls, (std::vector<std::string>{"activate", "uiactivate", "uideactivate", "deactivate",
                                                         "activate", "uiactivate"}));
        EXPECT_EQ(ole->DoVerb(5, nullptr, &site, 0, host, &site.rect), OLEOBJ_S_INVALIDVERB);
        ole.reset();
        ipo.reset();
        ctl.reset();
        EXPECT_FALSE(IsWindow(w));
        EXPECT_EQ(site.calls.back(), "deactivate");
    }
    EXPECT_EQ(site.refs, 0);
    DestroyWindow(host);
}

class PageSite : public IPropertyPageSite {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IPropertyPageSite) {
            *out = static_cast<IPropertyPageSite*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    STDMETHODIMP OnStatusChange(DWORD flags) override {
        status.push_back(flags);
        return S_OK;
    }
    STDMETHODIMP GetLocaleID(LCID* l) override {
        *l = 0x0409;
        return S_OK;
    }
    STDMETHODIMP GetPageContainer(IUnknown** c) override {
        *c = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP TranslateAccelerator(MSG*) override { return S_FALSE; }
    std::vector<DWORD> status;
    LONG refs = 0;
};

TEST(ComPropertyPage, EditsTheControlThroughApply) {
    HWND host = makeHost();
    ASSERT_TRUE(host);
    PageSite site;
    {
        ComPtr<ICtlTestNew> ctl = createControl();
        ComPtr<IPropertyPage> page = createObject<IPropertyPage>(CLSID_CtlTestPage);
        ASSERT_TRUE(ctl && page);
        PROPPAGEINFO info{};
        ASSERT_EQ(page->GetPageInfo(&info), S_OK);
        EXPECT_STREQ(info.pszTitle, L"Test page");
        EXPECT_GT(info.size.cx, info.size.cy);
        EXPECT_GT(info.size.cy, 0);
        CoTaskMemFree(info.pszTitle);
        CoTaskMemFree(info.pszDocString);
        CoTaskMemFree(info.pszHelpFile);

        ASSERT_EQ(page->SetPageSite(&site), S_OK);
        ctl->put_Value(12);
        IUnknown* objs[] = {ctl.get()};
        ASSERT_EQ(page->SetObjects(1, objs), S_OK);
        RECT r{0, 0, 200, 80};
        ASSERT_EQ(page->Activate(host, &r, FALSE), S_OK);
        EXPECT_EQ(page->Show(SW_SHOW), S_OK);
        HWND dlg = FindWindowExW(host, nullptr, L"#32770", nullptr);
        ASSERT_TRUE(dlg);
        BOOL ok = FALSE;
        EXPECT_EQ(GetDlgItemInt(dlg, 1001, &ok, TRUE), 12u);
        EXPECT_EQ(page->IsPageDirty(), S_FALSE);
        EXPECT_TRUE(site.status.empty());

        SetDlgItemInt(dlg, 1001, 34, TRUE);
        EXPECT_EQ(page->IsPageDirty(), S_OK);
        ASSERT_FALSE(site.status.empty());
        EXPECT_TRUE(site.status.back() & PROPPAGESTATUS_DIRTY);
        long v = 0;
        ctl->get_Value(&v);
        EXPECT_EQ(v, 12) << "nothing applied yet";
        ASSERT_EQ(page->Apply(), S_OK);
        ctl->get_Value(&v);
        EXPECT_EQ(v, 34);
        EXPECT_EQ(page->IsPageDirty(), S_FALSE);

        SetDlgItemTextW(dlg, 1001, L"x");
        EXPECT_EQ(page->Apply(), E_INVALIDARG);
        EXPECT_EQ(page->IsPageDirty(), S_OK);

        EXPECT_EQ(page->Deactivate(), S_OK);
        EXPECT_FALSE(IsWindow(dlg));
        EXPECT_EQ(page->SetObjects(0, nullptr), S_OK);
        EXPECT_EQ(page->SetPageSite(nullptr), S_OK);
    }
    EXPECT_EQ(site.refs, 0);
    DestroyWindow(host);
}

}  // namespace

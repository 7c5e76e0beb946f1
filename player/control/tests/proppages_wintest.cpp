// The Options and Paths property pages in a property frame, driven by
// messages from a timer: the values shown, the values OK writes to every
// control given, and Cancel writing nothing. The system's frame
// (OleCreatePropertyFrame) shows the pages; Wine's frame never applies them,
// so OK runs in a frame of the test that applies as containers do.
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "com/module.h"
#include "com/object.h"
#include "embeddedcontrol.h"
#include "modalscript.h"
#include "qivctl_win.h"
#include "resources/dialogids.h"

namespace {

using qivtest::Click;
using qivtest::Descendant;
using qivtest::DialogWithControl;
using qivtest::ModalScript;

// A property frame as containers make it: a modal window with OK and Cancel;
// the page gets the frame's site, the objects and the frame's client area; OK
// applies a page that says it is dirty.
class TestFrame : public IPropertyPageSite {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = iid == IID_IUnknown || iid == IID_IPropertyPageSite ? static_cast<IPropertyPageSite*>(this) : nullptr;
        if (!*out) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP OnStatusChange(DWORD flags) override {
        statusChanges.push_back(flags);
        return S_OK;
    }
    STDMETHODIMP GetLocaleID(LCID* out) override {
        if (!out) return E_POINTER;
        *out = LOCALE_USER_DEFAULT;
        return S_OK;
    }
    STDMETHODIMP GetPageContainer(IUnknown** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP TranslateAccelerator(MSG*) override { return S_FALSE; }

    std::vector<DWORD> statusChanges;
    int result = 0;
};

LRESULT CALLBACK testFrameProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COMMAND && (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL)) {
        reinterpret_cast<TestFrame*>(GetWindowLongPtrW(w, GWLP_USERDATA))->result = LOWORD(wp);
        return 0;
    }
    return DefWindowProcW(w, msg, wp, lp);
}

HRESULT runTestFrame(HWND owner, std::vector<IUnknown*>& objects, const CLSID& clsid) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = testFrameProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = L"QivTestPropertyFrame";
    RegisterClassW(&wc);
    qcom::ComPtr<IPropertyPage> page;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage,
                                  reinterpret_cast<void**>(page.put()));
    if (FAILED(hr)) return hr;
    TestFrame frame;
    HWND w = CreateWindowExW(0, wc.lpszClassName, L"Frame", WS_POPUP | WS_CAPTION | WS_VISIBLE, 20, 20, 460, 260,
                             owner, nullptr, wc.hInstance, nullptr);
    SetWindowLongPtrW(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&frame));
    for (int id : {IDOK, IDCANCEL})
        CreateWindowExW(0, L"BUTTON", id == IDOK ? L"OK" : L"Cancel", WS_CHILD | WS_VISIBLE, id == IDOK ? 250 : 340,
                        190, 80, 24, w, reinterpret_cast<HMENU>(INT_PTR(id)), wc.hInstance, nullptr);
    page->SetPageSite(&frame);
    page->SetObjects(ULONG(objects.size()), objects.data());
    RECT r{0, 0, 440, 180};
    hr = page->Activate(w, &r, TRUE);
    if (SUCCEEDED(hr)) {
        page->Show(SW_SHOW);
        MSG msg;
        while (!frame.result && GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (page->TranslateAccelerator(&msg) == S_OK) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (frame.result == IDOK && page->IsPageDirty() == S_OK) hr = page->Apply();
        page->Deactivate();
    }
    page->SetObjects(0, nullptr);
    page->SetPageSite(nullptr);
    ShowWindow(w, SW_HIDE);
    DestroyWindow(w);
    return hr;
}

class Pages : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        qivtest::InitControlModule();
        // The frame creates the pages by class: the test program serves them.
        for (const CLSID* c : {&CLSID_QivPlayerOptions, &CLSID_QivPlayerPaths}) {
            IUnknown* factory = nullptr;
            ASSERT_EQ(S_OK, qcom::module().getClassObject(*c, IID_IUnknown, reinterpret_cast<void**>(&factory)));
            DWORD cookie = 0;
            ASSERT_EQ(S_OK, CoRegisterClassObject(*c, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie));
            factory->Release();
        }
    }
    void SetUp() override {
        owner_ = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr,
                                 nullptr, nullptr);
    }
    void TearDown() override {
        controls_.clear();
        DestroyWindow(owner_);
    }
    IQivPlayer2* addControl() {
        controls_.push_back(qivtest::ControlRef::create());
        EXPECT_TRUE(controls_.back());
        return controls_.back().get();
    }
    // Shows a frame with the page for every control; the script drives it.
    void showFrame(const CLSID& page, std::vector<ModalScript::Step> steps, bool systemFrame = false) {
        std::vector<IUnknown*> objects;
        for (const qivtest::ControlRef& c : controls_) objects.push_back(c.get());
        ModalScript script(std::move(steps));
        CLSID pages[1] = {page};
        const HRESULT hr = systemFrame ? OleCreatePropertyFrame(owner_, 10, 10, L"Qiv", ULONG(objects.size()),
                                                                objects.data(), 1, pages, 0, 0, nullptr)
                                       : runTestFrame(owner_, objects, page);
        EXPECT_EQ(S_OK, hr);
        EXPECT_TRUE(script.finished()) << "steps done: " << script.stepsDone();
    }
    static LONG mode(IQivPlayer2* p) {
        qivDisplayMode m = qivDispWIRE;
        p->get_DisplayMode(&m);
        return m;
    }
    static bool flag(HRESULT (STDMETHODCALLTYPE IQivPlayer2::*get)(VARIANT_BOOL*), IQivPlayer2* p) {
        VARIANT_BOOL v = VARIANT_FALSE;
        (p->*get)(&v);
        return v != VARIANT_FALSE;
    }
    static std::wstring texturePath(IQivPlayer2* p) {
        qcom::Bstr b;
        p->get_TexturePath(b.put());
        return b.str();
    }
    static void setTexturePath(IQivPlayer2* p, const wchar_t* path) {
        qcom::Bstr b(path);
        p->put_TexturePath(b.get());
    }

    HWND owner_ = nullptr;
    std::vector<qivtest::ControlRef> controls_;
};

// The page inside the frame, found by one of its controls.
HWND pageWith(int id) {
    HWND frame = DialogWithControl(id);
    HWND item = Descendant(frame, id);
    return item ? GetParent(item) : nullptr;
}

bool checked(HWND page, int id) { return SendMessageW(Descendant(page, id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

void selectMode(HWND page, int index) {
    HWND combo = Descendant(page, IDC_DISPLAY_MODE);
    SendMessageW(combo, CB_SETCURSEL, WPARAM(index), 0);
    SendMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_DISPLAY_MODE, CBN_SELCHANGE), LPARAM(combo));
}

ModalScript::Step press(int button) {
    return [button] {
        HWND frame = DialogWithControl(IDC_DISPLAY_MODE);
        if (!frame) frame = DialogWithControl(IDC_TEXTURE_PATH);
        return Click(frame, button);
    };
}

// The page shows the control's values in the system's frame and in the
// test's; OK in the test's frame writes the changed ones.
TEST_F(Pages, OptionsPageShowsAndAppliesTheControlsValues) {
    for (bool systemFrame : {true, false}) {
        SCOPED_TRACE(systemFrame ? "system frame" : "test frame");
        IQivPlayer2* p = addControl();
        p->put_DisplayMode(qivDispFLAT);
        p->put_ButtonRayTraceEnabled(VARIANT_TRUE);
        p->put_ButtonVREnabled(VARIANT_FALSE);
        std::vector<std::wstring> texts;
        LRESULT selected = -2;
        bool rayTrace = false, vr = true;
        showFrame(CLSID_QivPlayerOptions,
                  {[&] {
                       HWND page = pageWith(IDC_DISPLAY_MODE);
                       if (!page) return false;
                       HWND combo = Descendant(page, IDC_DISPLAY_MODE);
                       for (int i = 0; i < int(SendMessageW(combo, CB_GETCOUNT, 0, 0)); ++i) {
                           wchar_t t[128] = {};
                           SendMessageW(combo, CB_GETLBTEXT, WPARAM(i), LPARAM(t));
                           texts.push_back(t + std::wstring(L"=") +
                                           std::to_wstring(SendMessageW(combo, CB_GETITEMDATA, WPARAM(i), 0)));
                       }
                       selected = SendMessageW(combo, CB_GETCURSEL, 0, 0);
                       rayTrace = checked(page, IDC_RAYTRACE);
                       vr = checked(page, IDC_VIRTUAL_REALITY);
                       selectMode(page, 4);
                       SendMessageW(Descendant(page, IDC_RAYTRACE), BM_CLICK, 0, 0);
                       SendMessageW(Descendant(page, IDC_VIRTUAL_REALITY), BM_CLICK, 0, 0);
                       return true;
                   },
                   press(systemFrame ? IDCANCEL : IDOK)},
                  systemFrame);
        EXPECT_EQ(std::vector<std::wstring>({L"Wireframe=0", L"Flat shaded=1", L"Flat shaded and textured=2",
                                             L"Gouraud shaded and textured=3",
                                             L"Wire frame with hidden line surfaces=4",
                                             L"Wireframe with hidden line surfaces and no transparency=5"}),
                  texts);
        EXPECT_EQ(1, selected);
        EXPECT_TRUE(rayTrace);
        EXPECT_FALSE(vr);
        if (systemFrame) continue;
        EXPECT_EQ(4, mode(p));
        EXPECT_FALSE(flag(&IQivPlayer2::get_ButtonRayTraceEnabled, p));
        EXPECT_TRUE(flag(&IQivPlayer2::get_ButtonVREnabled, p));
    }
}

TEST_F(Pages, CancelChangesNothing) {
    IQivPlayer2* p = addControl();
    p->put_DisplayMode(qivDispFTEX);
    setTexturePath(p, L"C:\\textures");
    showFrame(CLSID_QivPlayerOptions, {[&] {
                                           HWND page = pageWith(IDC_DISPLAY_MODE);
                                           if (!page) return false;
                                           selectMode(page, 0);
                                           SendMessageW(Descendant(page, IDC_RAYTRACE), BM_CLICK, 0, 0);
                                           return true;
                                       },
                                       press(IDCANCEL)},
              true);
    showFrame(CLSID_QivPlayerPaths, {[&] {
                                         HWND page = pageWith(IDC_TEXTURE_PATH);
                                         if (!page) return false;
                                         SetDlgItemTextW(page, IDC_TEXTURE_PATH, L"D:\\elsewhere");
                                         return true;
                                     },
                                     press(IDCANCEL)},
              true);
    EXPECT_EQ(2, mode(p));
    EXPECT_FALSE(flag(&IQivPlayer2::get_ButtonRayTraceEnabled, p));
    EXPECT_EQ(L"C:\\textures", texturePath(p));
}

// Three controls: the first one's values are shown, and OK writes the page's
// values to all three. The first control's mode (20) has no entry: nothing is
// selected, and each control keeps its own mode instead of taking the combo's
// error value.
TEST_F(Pages, ApplyWritesEveryControlAndKeepsModesWithoutASelection) {
    const qivDisplayMode modes[3] = {qivDispHIDDENWIRE_ALL, qivDispFLAT, qivDispFTEX};
    for (qivDisplayMode m : modes) addControl()->put_DisplayMode(m);
    LRESULT selected = -2;
    showFrame(CLSID_QivPlayerOptions,
              {[&] {
                   HWND page = pageWith(IDC_DISPLAY_MODE);
                   if (!page) return false;
                   selected = SendMessageW(Descendant(page, IDC_DISPLAY_MODE), CB_GETCURSEL, 0, 0);
                   SendMessageW(Descendant(page, IDC_RAYTRACE), BM_CLICK, 0, 0);
                   return true;
               },
               press(IDOK)});
    EXPECT_EQ(CB_ERR, selected);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(LONG(modes[i]), mode(controls_[i].get())) << i;
        EXPECT_TRUE(flag(&IQivPlayer2::get_ButtonRayTraceEnabled, controls_[i].get())) << i;
        EXPECT_FALSE(flag(&IQivPlayer2::get_ButtonVREnabled, controls_[i].get())) << i;
    }
}

TEST_F(Pages, PathsPageShowsAndWritesTheTexturePath) {
    struct Case {
        const wchar_t* typed;
    } cases[] = {{L"D:\\other textures"}, {L""}};
    for (const Case& c : cases) {
        for (IQivPlayer2* p : {addControl(), addControl()}) setTexturePath(p, L"C:\\tex");
        std::wstring shown = L"?", visu = L"?";
        showFrame(CLSID_QivPlayerPaths, {[&] {
                                             HWND page = pageWith(IDC_TEXTURE_PATH);
                                             if (!page) return false;
                                             shown = qivtest::Text(Descendant(page, IDC_TEXTURE_PATH));
                                             visu = qivtest::Text(Descendant(page, IDC_SECOND_PATH));
                                             SetDlgItemTextW(page, IDC_TEXTURE_PATH, c.typed);
                                             return true;
                                         },
                                         press(IDOK)});
        EXPECT_EQ(L"C:\\tex", shown);
        EXPECT_EQ(L"", visu);
        for (const qivtest::ControlRef& p : controls_) EXPECT_EQ(c.typed, texturePath(p.get()));
        controls_.clear();
    }
}

// The page protocol itself: page information, the dirty state after a change,
// a missing rectangle, and the pages the control names.
TEST_F(Pages, PageProtocolAndTheControlsPages) {
    IQivPlayer2* control = addControl();
    qcom::ComPtr<IPropertyPage> page;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_QivPlayerOptions, nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage,
                                     reinterpret_cast<void**>(page.put())));
    PROPPAGEINFO info{};
    ASSERT_EQ(S_OK, page->GetPageInfo(&info));
    EXPECT_EQ(std::wstring(L"Options"), info.pszTitle);
    EXPECT_GT(info.size.cx, 0);
    CoTaskMemFree(info.pszTitle);
    EXPECT_EQ(E_POINTER, page->Activate(owner_, nullptr, TRUE));
    IUnknown* objects[1] = {control};
    ASSERT_EQ(S_OK, page->SetObjects(1, objects));
    RECT r{0, 0, 300, 150};
    ASSERT_EQ(S_OK, page->Activate(owner_, &r, TRUE));
    EXPECT_EQ(S_FALSE, page->IsPageDirty());
    HWND pageWindow = GetParent(Descendant(owner_, IDC_VIRTUAL_REALITY));
    SendMessageW(Descendant(pageWindow, IDC_VIRTUAL_REALITY), BM_CLICK, 0, 0);
    EXPECT_EQ(S_OK, page->IsPageDirty());
    EXPECT_EQ(S_OK, page->Apply());
    EXPECT_EQ(S_FALSE, page->IsPageDirty());
    EXPECT_TRUE(flag(&IQivPlayer2::get_ButtonVREnabled, control));
    EXPECT_EQ(S_OK, page->Deactivate());

    qcom::ComPtr<ISpecifyPropertyPages> spp;
    ASSERT_EQ(S_OK, control->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void**>(spp.put())));
    CAUUID pages{};
    ASSERT_EQ(S_OK, spp->GetPages(&pages));
    std::vector<CLSID> got(pages.pElems, pages.pElems + pages.cElems);
    CoTaskMemFree(pages.pElems);
    EXPECT_EQ(3u, got.size());
    EXPECT_NE(got.end(), std::find(got.begin(), got.end(), CLSID_QivPlayerOptions));
    EXPECT_NE(got.end(), std::find(got.begin(), got.end(), CLSID_QivPlayerPaths));
}

}  // namespace

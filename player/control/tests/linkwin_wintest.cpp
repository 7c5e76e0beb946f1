// The control's small windows: addresses opened through the hosting page's
// top window or else through the shell, the Info dialog's links, a link that
// reacts only over its text, the control bar's repeat buttons at their
// interval, the host hooks and the per-window title of a hosting frame.
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "com/object.h"
#include "controlbar.h"
#include "ctlmodule_win.h"
#include "dialogparts_win.h"
#include "dialogs_win.h"
#include "embeddedcontrol.h"
#include "htmlpage_stubs.h"
#include "modalscript.h"
#include "qivctl_win.h"
#include "resources/dialogids.h"

namespace {

using qivtest::Descendant;
using qivtest::DialogWithControl;
using qivtest::ModalScript;

// ---- the hosting page ----

class PageWindow : public qivtest::HtmlWindowStubs {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(IHTMLWindow2)
                   ? static_cast<IHTMLWindow2*>(this)
                   : nullptr;
        if (!*out) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP get_top(IHTMLWindow2** out) override {
        if (!out) return E_POINTER;
        *out = top;
        if (top) top->AddRef();
        return top ? S_OK : E_FAIL;
    }
    STDMETHODIMP navigate(BSTR url) override {
        navigated.push_back(url ? url : L"");
        return result;
    }
    PageWindow* top = nullptr;
    HRESULT result = S_OK;
    std::vector<std::wstring> navigated;
};

class PageDocument : public qivtest::HtmlDocumentStubs, public IOleContainer {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IOleContainer || iid == IID_IParseDisplayName)
            *out = static_cast<IOleContainer*>(this);
        else if (iid == __uuidof(IHTMLDocument2) || iid == IID_IDispatch)
            *out = hasDocument ? static_cast<IHTMLDocument2*>(this) : nullptr;
        if (!*out) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP get_parentWindow(IHTMLWindow2** out) override {
        if (!out) return E_POINTER;
        *out = &window;
        return S_OK;
    }
    STDMETHODIMP ParseDisplayName(IBindCtx*, LPOLESTR, ULONG*, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP EnumObjects(DWORD, IEnumUnknown**) override { return E_NOTIMPL; }
    STDMETHODIMP LockContainer(BOOL) override { return S_OK; }

    bool hasDocument = true;
    PageWindow window;
};

// The test container with a page behind its client site and a frame that
// records EnableModeless.
class PageHost : public qivtest::OleTestContainer {
public:
    STDMETHODIMP GetContainer(IOleContainer** out) override {
        if (!out) return E_POINTER;
        *out = withContainer ? static_cast<IOleContainer*>(&page) : nullptr;
        return withContainer ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP EnableModeless(BOOL enable) override {
        modeless.push_back(enable != FALSE);
        return S_OK;
    }
    bool withContainer = true;
    PageDocument page;
    std::vector<bool> modeless;
};

std::string tempDir(const char* name) {
    char base[MAX_PATH];
    GetTempPathA(sizeof base, base);
    const std::string dir = std::string(base) + name;
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

class Links : public qivtest::EmbeddedControlTest<PageHost> {
protected:
    bool load() {
        const std::string path = tempDir("qivlinks") + "\\links.pel";
        EXPECT_TRUE(qivtest::WriteSamplePel(path));
        qcom::Bstr name(std::wstring(path.begin(), path.end()));
        VARIANT_BOOL ok = VARIANT_FALSE;
        EXPECT_EQ(S_OK, p2_->LoadObject(name.get(), &ok));
        qivtest::PumpMessages();
        return ok == VARIANT_TRUE && ctl_->state().viewValid;
    }
    float zoom() {
        float z = 0;
        p2_->get_Zoom(&z);
        return z;
    }

};

// ---- addresses ----

// A URL scheme of the user's own that the shell opens with a command writing
// the address into a file: the shell's way is seen without a browser.
class ShellRecorder {
public:
    ShellRecorder() : log_(tempDir("qivlinks") + "\\shell.txt") {
        DeleteFileA(log_.c_str());
        HKEY k = nullptr;
        RegCreateKeyExA(HKEY_CLASSES_ROOT, "qivtest", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                        nullptr);
        RegSetValueExA(k, "URL Protocol", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1);
        RegCloseKey(k);
        const std::string command = "cmd.exe /c echo %1>>\"" + log_ + "\"";
        RegSetValueA(HKEY_CLASSES_ROOT, "qivtest\\shell\\open\\command", REG_SZ, command.c_str(),
                     DWORD(command.size()));
    }
    ~ShellRecorder() {
        RegDeleteTreeA(HKEY_CLASSES_ROOT, "qivtest");
        DeleteFileA(log_.c_str());
    }
    // What the command wrote, once it has written a line (at most 15 s).
    std::string waitForLine() const {
        for (int i = 0; i < 300; ++i) {
            std::ifstream f(log_);
            std::stringstream ss;
            ss << f.rdbuf();
            const std::string s = ss.str();
            if (s.find('\n') != std::string::npos) return s.substr(0, s.find_first_of("\r\n"));
            Sleep(50);
        }
        return std::string();
    }

private:
    std::string log_;
};

TEST_F(Links, AddressesOpenInThePagesTopWindowElseThroughTheShell) {
    PageWindow top;
    struct Case {
        const char* name;
        bool container, document, hasTop;
        HRESULT navigateResult;
        bool viaShell;
    } cases[] = {
        {"page with a top window", true, true, true, S_OK, false},
        {"page without a top window", true, true, false, S_OK, false},
        {"page refusing to navigate", true, true, false, E_ACCESSDENIED, true},
        {"container without a document", true, false, false, S_OK, true},
        {"no container", false, false, false, S_OK, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ShellRecorder shell;
        host_.withContainer = c.container;
        host_.page.hasDocument = c.document;
        host_.page.window.top = c.hasTop ? &top : nullptr;
        host_.page.window.result = top.result = c.navigateResult;
        host_.page.window.navigated.clear();
        top.navigated.clear();
        OpenUrl(ctl_, "qivtest:page");
        PageWindow& expected = c.hasTop ? top : host_.page.window;
        const size_t tries = c.document ? 1 : 0;
        EXPECT_EQ(tries, expected.navigated.size());
        if (tries) {
            EXPECT_EQ(L"qivtest:page", expected.navigated[0]);
        }
        if (c.hasTop) {
            EXPECT_TRUE(host_.page.window.navigated.empty());
        }
        if (c.viaShell) {
            EXPECT_EQ("qivtest:page", shell.waitForLine());
        }
    }
}

// The Info dialog: two links over the placeholders, white, and a click on the
// first opens its address through the page and closes the dialog; the frame's
// modeless dialogs are off meanwhile.
TEST_F(Links, InfoDialogLinksOpenThroughThePageAndCloseIt) {
    std::vector<std::wstring> texts;
    std::vector<RECT> rects, placeholders;
    bool white = false;
    ModalScript script({[&] {
        HWND d = DialogWithControl(IDC_INFO_MAKER);
        if (!d) return false;
        white = SendMessageW(d, WM_CTLCOLORDLG, 0, LPARAM(d)) == LRESULT(GetStockObject(WHITE_BRUSH));
        for (int id : {IDC_INFO_LINK, IDC_INFO_MAKER}) {
            RECT r{};
            GetWindowRect(Descendant(d, id), &r);
            placeholders.push_back(r);
            HWND link = Descendant(d, id + 1000);
            GetWindowRect(link, &r);
            rects.push_back(r);
            texts.push_back(qivtest::Text(link));
        }
        HWND first = Descendant(d, IDC_INFO_LINK + 1000);
        SendMessageW(first, WM_MOUSEMOVE, 0, MAKELPARAM(1, 1));
        SendMessageW(first, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, 1));
        SendMessageW(first, WM_LBUTTONUP, 0, MAKELPARAM(1, 1));
        return true;
    }});
    EXPECT_EQ(IDCANCEL, ShowInfoDialog(ctl_));
    EXPECT_TRUE(script.finished());
    EXPECT_TRUE(white);
    const std::wstring address = qivLoadStringW(IDS_MAKER_URL);
    EXPECT_EQ(std::vector<std::wstring>({address, L"Tarnwick"}), texts);
    ASSERT_EQ(2u, rects.size());
    for (int i = 0; i < 2; ++i) EXPECT_TRUE(EqualRect(&rects[i], &placeholders[i])) << i;
    EXPECT_EQ(std::vector<std::wstring>({address}), host_.page.window.navigated);
    EXPECT_EQ(std::vector<bool>({false, true}), host_.modeless);
}

// Only the pointer over the text (measured on the first paint) makes the link
// hover and take the capture.
TEST_F(Links, LinkReactsOnlyOverItsText) {
    CHyperLink link;
    RECT r{0, 0, 400, 20};
    ASSERT_NE(nullptr, link.Create(ctl_->hwnd(), r));
    link.SetLink("short", "qivtest:x", ctl_);
    HDC dc = GetDC(link.hwnd());
    HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SIZE size{};
    GetTextExtentPoint32A(dc, "short", 5, &size);
    SelectObject(dc, old);
    ReleaseDC(link.hwnd(), dc);
    SendMessageW(link.hwnd(), WM_PAINT, 0, 0);
    EXPECT_EQ(size.cx, link.pointer().textWidth);
    SendMessageW(link.hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(size.cx + 20, 5));
    EXPECT_FALSE(link.pointer().hovering);
    SendMessageW(link.hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(2, 5));
    EXPECT_TRUE(link.pointer().hovering);
    EXPECT_EQ(link.hwnd(), GetCapture());
    SendMessageW(link.hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(size.cx + 20, 5));
    EXPECT_FALSE(link.pointer().hovering);
    EXPECT_NE(link.hwnd(), GetCapture());
}

// ---- repeat buttons ----

TEST_F(Links, RepeatButtonsRunTheirCommandEvery20Milliseconds) {
    ASSERT_TRUE(load());
    HWND plus = GetDlgItem(ctl_->hwnd(), qivctl::BarPlus), minus = GetDlgItem(ctl_->hwnd(), qivctl::BarMinus);
    HWND reset = GetDlgItem(ctl_->hwnd(), qivctl::BarAuto);
    ASSERT_TRUE(plus && minus && reset);
    wchar_t cls[64] = {};
    GetClassNameW(plus, cls, 64);
    EXPECT_EQ(std::wstring(L"QivRepeatButton"), cls);
    qivtest::NotifySink notify;
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, qivtest::Connect(p2_, IID_IPropertyNotifySink, &notify, &cookie));
    const float before = zoom();
    // Held for 100 ms: once at once, then about every 20 ms.
    SendMessageW(plus, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    qivtest::PumpFor(100);
    SendMessageW(plus, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    const size_t steps = size_t(std::count(notify.changed.begin(), notify.changed.end(), 20));
    EXPECT_GE(steps, 3u);
    EXPECT_LE(steps, 8u);
    EXPECT_NEAR(before * std::pow(1 / 0.93, double(steps)), zoom(), 0.01 * zoom());
    // Released: no more steps.
    qivtest::PumpFor(80);
    EXPECT_EQ(steps, size_t(std::count(notify.changed.begin(), notify.changed.end(), 20)));
    const float zoomedIn = zoom();
    SendMessageW(minus, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageW(minus, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    EXPECT_NEAR(zoomedIn / 1.07f, zoom(), 0.001f * zoom());
    SendMessageW(reset, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageW(reset, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    EXPECT_NEAR(1.0f, zoom(), 0.001f);
    qivtest::Disconnect(p2_, IID_IPropertyNotifySink, cookie);
}

// ---- host hooks and titles ----

struct MenuCalls {
    std::vector<UINT> commands;
    HMENU menu = nullptr;
};

void CALLBACK addItems(void* context, HMENU menu) { static_cast<MenuCalls*>(context)->menu = menu; }
void CALLBACK command(void* context, void*, UINT id, WPARAM, LPARAM) {
    static_cast<MenuCalls*>(context)->commands.push_back(id);
}

TEST_F(Links, HostHooksKeepTheMenuAndTitleCallbacks) {
    qcom::ComPtr<IQivHostHooks> hooks;
    ASSERT_EQ(S_OK, p2_->QueryInterface(IID_IQivHostHooks, reinterpret_cast<void**>(hooks.put())));
    MenuCalls calls;
    ASSERT_EQ(S_OK, hooks->SetMenuCallbacks(&calls, addItems, command));
    HMENU menu = CreatePopupMenu();
    ctl_->AddHostMenuItems(menu);
    EXPECT_EQ(menu, calls.menu);
    DestroyMenu(menu);
    SendMessageW(ctl_->hwnd(), WM_COMMAND, 40001, 0);
    SendMessageW(ctl_->hwnd(), WM_COMMAND, 40256, 0);
    EXPECT_EQ(std::vector<UINT>({40001, 40256}), calls.commands);
    EXPECT_EQ(S_OK, hooks->SetTitleCallback(host_.window(), OnTitleChange));
    EXPECT_EQ(host_.window(), ctl_->dialogParts().hooks.callbacks().titleWindow);
    EXPECT_EQ(&OnTitleChange, ctl_->dialogParts().hooks.callbacks().title);
}

// Each window keeps its own plain title while extra text follows it.
TEST_F(Links, TitleCallbackKeepsAPlainTitlePerWindow) {
    HWND a = CreateWindowExA(0, "STATIC", "Frame A", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    HWND b = CreateWindowExA(0, "STATIC", "Frame B", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    auto title = [](HWND w) {
        char t[600] = {};
        GetWindowTextA(w, t, sizeof t);
        return std::string(t);
    };
    OnTitleChange(a, "loading", "C:\\objects\\a.pel");
    OnTitleChange(b, "10%", nullptr);
    OnTitleChange(a, "50%", nullptr);
    EXPECT_EQ("a.pel - Qiv Player [50%]", title(a));
    EXPECT_EQ("Frame B [10%]", title(b));
    OnTitleChange(b, nullptr, nullptr);
    OnTitleChange(a, nullptr, nullptr);
    EXPECT_EQ("a.pel - Qiv Player", title(a));
    EXPECT_EQ("Frame B", title(b));
    // Long texts are cut.
    OnTitleChange(a, std::string(3000, 'x').c_str(), nullptr);
    EXPECT_EQ(qivctl::kViewerTitleMax, title(a).size());
    DestroyWindow(a);
    DestroyWindow(b);
}

// ---- tooltip ----

// The tooltip is at most 80 pixels wide plus its margin; a long text wraps
// into more rows in DEFAULT_GUI_FONT.
TEST_F(Links, TooltipIsMeasuredForItsWrappedText) {
    HWND tip = CreateWindowExA(0, "STATIC", "Lid", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    RECT one{10, 20, 0, 20};
    MeasureTooltip(tip, one);
    EXPECT_EQ(10, one.left);
    EXPECT_EQ(20, one.top);
    EXPECT_LE(one.right, 10 + 80 + 4);
    SetWindowTextA(tip, "A rather long name of a part that cannot stand on one row");
    RECT many{10, 20, 0, 20};
    MeasureTooltip(tip, many);
    EXPECT_LE(many.right, 10 + 80 + 4);
    EXPECT_GE(many.bottom - many.top, 3 * (one.bottom - one.top - 4) + 4);
    DestroyWindow(tip);
}

}  // namespace

// The control sited in a window: stock and display properties with their notices,
// show-all, sub-animations, the 2D view, the verbs, the command target, and the popup
// menu read while it is open (items, states and texts in two languages) and chosen from.
#include <windows.h>
#include <commctrl.h>
#include <docobj.h>
#include <ocidl.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "backend_win.h"
#include "com/module.h"
#include "ctlmodule_win.h"
#include "modalscript.h"
#include "controlref.h"
#include "olecontainer.h"
#include "pixeltest.h"
#include "qivctl_win.h"
#include "scene/pelchunk.h"
#include "scene/tests/pel_builder.h"
#include "serverparts_win.h"
#include "window_win.h"

namespace {

using qivtest::EventRecord;

// The builder's sample object with an animation block: one position track over two
// time units and the given sub-animations. solid: its vertices spread on a circle, so that
// its faces can be picked.
// partValues: a per-part table (chunk 21) naming for each part that sub-animation.
std::string writeAnimatedObject(const pelb::TempDir& dir, const std::vector<pelb::AnimDescDef>& subAnimations,
                                bool solid = false, int32_t partValues = -1) {
    pelb::Object o = pelb::sample();
    for (size_t i = 0; solid && i < o.vertices.size(); ++i) {
        o.vertices[i].x = std::cos(0.785398f * float(i));
        o.vertices[i].y = std::sin(0.785398f * float(i));
        o.vertices[i].z = 0.1f * float(i);
    }
    pelb::AnimBlockDef a;
    a.frameRate = 2;
    a.tracks.push_back(pelb::positionTrack({{0, 0, 0}, {0, 0, 1}, {0, 0, 0}}));
    a.descs = subAnimations;
    o.chunks.push_back({PEL_CHUNK_ANIM, pelb::animBlock(a)});
    if (partValues >= 0) {
        std::vector<uint8_t> table;
        for (int part = 0; part < 64; ++part)
            for (int b = 0; b < 4; ++b) table.push_back(uint8_t(uint32_t(partValues) >> (8 * b)));
        o.chunks.push_back({PEL_CHUNK_PARTVALUES, table});
    }
    const std::string path = (dir / "animated.pel").string();
    pelb::writeFile(path, pelb::build(o));
    return path;
}

pelb::AnimDescDef subAnimation(const char* name, float start, float end) {
    pelb::AnimDescDef d;
    d.name = name;
    d.start = start;
    d.end = end;
    return d;
}

// ---- the open popup menu, read from a hook on the owner's messages ----

struct MenuEntry {
    UINT id = 0;
    std::wstring text;
    bool separator = false, grayed = false, checked = false, popup = false;
    std::vector<MenuEntry> children;
};

std::vector<MenuEntry> readMenu(HMENU menu) {
    std::vector<MenuEntry> out;
    for (int i = 0, n = GetMenuItemCount(menu); i < n; ++i) {
        wchar_t text[256] = {};
        MENUITEMINFOW mi{};
        mi.cbSize = sizeof mi;
        mi.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        mi.dwTypeData = text;
        mi.cch = 255;
        if (!GetMenuItemInfoW(menu, UINT(i), TRUE, &mi)) continue;
        MenuEntry e;
        e.separator = (mi.fType & MFT_SEPARATOR) != 0;
        e.grayed = (mi.fState & MFS_GRAYED) != 0;
        e.checked = (mi.fState & MFS_CHECKED) != 0;
        e.text = text;
        if (mi.hSubMenu) {
            e.popup = true;
            e.children = readMenu(mi.hSubMenu);
        } else {
            e.id = mi.wID;
        }
        out.push_back(std::move(e));
    }
    return out;
}

// "id" with "-" when grayed and "*" when checked, "|" for a separator, "[...]" for a popup.
std::string shape(const std::vector<MenuEntry>& menu) {
    std::string s;
    for (const MenuEntry& e : menu) {
        if (!s.empty()) s += ' ';
        if (e.separator) {
            s += '|';
            continue;
        }
        s += e.popup ? "[" + shape(e.children) + "]" : std::to_string(e.id);
        if (e.grayed) s += '-';
        if (e.checked) s += '*';
    }
    return s;
}

const MenuEntry* findEntry(const std::vector<MenuEntry>& menu, UINT id) {
    for (const MenuEntry& e : menu) {
        if (!e.popup && !e.separator && e.id == id) return &e;
        if (e.popup)
            if (const MenuEntry* c = findEntry(e.children, id)) return c;
    }
    return nullptr;
}

struct MenuCapture {
    HWND owner = nullptr;
    bool seen = false;
    std::vector<MenuEntry> items;
    wchar_t choose = 0;  // a mnemonic typed into the open menu; 0 closes it
} g_capture;

LRESULT CALLBACK onOwnerMessage(int code, WPARAM wp, LPARAM lp) {
    const CWPSTRUCT* m = reinterpret_cast<const CWPSTRUCT*>(lp);
    if (code == HC_ACTION && m->message == WM_INITMENUPOPUP && m->hwnd == g_capture.owner && !g_capture.seen) {
        g_capture.seen = true;
        g_capture.items = readMenu(reinterpret_cast<HMENU>(m->wParam));
        if (g_capture.choose)
            PostMessageW(m->hwnd, WM_CHAR, g_capture.choose, 0);
        else
            EndMenu();
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

// The language the resource loader picks for this thread.
void useLanguage(LANGID lang) {
    SetThreadUILanguage(lang);
    SetThreadLocale(MAKELCID(lang, SORT_DEFAULT));
}

const LANGID kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
const LANGID kGerman = MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);

class Stock : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        OleInitialize(nullptr);
        qcom::module().init(GetModuleHandleW(nullptr), qivClassTable(), qivClassCount());
        useLanguage(kEnglish);
    }
    void SetUp() override {
        control_ = qivtest::ControlRef::create();
        ASSERT_TRUE(control_);
        p2_ = control_.get();
        ctl_ = control_.ctl();
        ASSERT_EQ(S_OK, qivtest::Connect(p2_, IID_IPropertyNotifySink, &notify_, &notifyCookie_));
        ASSERT_EQ(S_OK, qivtest::Connect(p2_, DIID__QivPlayerEvents, &events_, &eventCookie_));
        ShowWindow(host_.window(), SW_SHOW);
        hook_ = SetWindowsHookExW(WH_CALLWNDPROC, onOwnerMessage, nullptr, GetCurrentThreadId());
    }
    void TearDown() override {
        UnhookWindowsHookEx(hook_);
        useLanguage(kEnglish);
        qivtest::Disconnect(p2_, DIID__QivPlayerEvents, eventCookie_);
        qivtest::Disconnect(p2_, IID_IPropertyNotifySink, notifyCookie_);
        host_.Unembed();
        control_.reset();
    }
    void site() {
        ctl_->state().rendererKind = 2;
        ASSERT_EQ(S_OK, host_.Embed(p2_, true));
        ASSERT_NE(nullptr, ctl_->hwnd());
    }
    bool load(const std::string& path) {
        std::wstring w(path.begin(), path.end());
        BSTR b = SysAllocString(w.c_str());
        VARIANT_BOOL ok = VARIANT_FALSE;
        EXPECT_EQ(S_OK, p2_->LoadObject(b, &ok));
        SysFreeString(b);
        qivtest::PumpMessages();
        return ok == VARIANT_TRUE;
    }
    void loadAnimated() {
        ASSERT_TRUE(load(writeAnimatedObject(dir_, {subAnimation("all", 0, 2), subAnimation("up", 0, 1)})));
    }
    // Opens the popup menu (by WM_CONTEXTMENU, or by a right click) and reads it; with a
    // mnemonic, chooses that item and lets its command arrive.
    bool openMenu(wchar_t choose = 0, bool rightClick = false) {
        g_capture = MenuCapture{};
        g_capture.owner = ctl_->hwnd();
        g_capture.choose = choose;
        if (rightClick)
            SendMessageW(ctl_->hwnd(), WM_RBUTTONUP, 0, MAKELPARAM(20, 20));
        else
            SendMessageW(ctl_->hwnd(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(ctl_->hwnd()), MAKELPARAM(40, 40));
        qivtest::PumpMessages();
        return g_capture.seen;
    }
    // The "Use 3D-Hardware" item where this machine has a device, in front of 32784.
    static std::string hardwareItem() { return qivHardwareDeviceAvailable() ? "1306 " : ""; }

    pelb::TempDir dir_{"stock"};
    qivtest::OleTestContainer host_;
    qivtest::NotifySink notify_;
    qivtest::EventSink events_{DIID__QivPlayerEvents};
    DWORD notifyCookie_ = 0, eventCookie_ = 0;
    HHOOK hook_ = nullptr;
    IQivPlayer2* p2_ = nullptr;
    qivtest::ControlRef control_;
    CQivPlayerCtl* ctl_ = nullptr;
};

}  // namespace

// Menu 211 in each of the thirteen languages: the same items with the same ids, each with a
// text, non-Latin texts intact from their code pages.
TEST(StockMenuResource, EveryLanguageHasTheSameItems) {
    struct Language {
        LANGID id;
        const char* background;  // the text of 32771, UTF-8
    };
    const Language languages[] = {
        {MAKELANGID(LANG_CZECH, SUBLANG_DEFAULT), "&Pozad\xc3\xad..."},
        {MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), "&Hintergrund..."},
        {MAKELANGID(LANG_GREEK, SUBLANG_DEFAULT), "\xce\xa6\xcf\x8c&\xce\xbd\xcf\x84\xce\xbf..."},
        {kEnglish, "&Background..."},
        {MAKELANGID(LANG_SPANISH, SUBLANG_SPANISH), "&Fondo..."},
        {MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH), "&Fond..."},
        {MAKELANGID(LANG_ITALIAN, SUBLANG_ITALIAN), "S&fondo..."},
        {MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT), "\xe8\x83\x8c\xe6\x99\xaf(&B)..."},
        {MAKELANGID(LANG_POLISH, SUBLANG_DEFAULT), "&T\xc5\x82o..."},
        {MAKELANGID(LANG_PORTUGUESE, SUBLANG_PORTUGUESE_BRAZILIAN), "&Fundo..."},
        {MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT), "&\xd0\xa4\xd0\xbe\xd0\xbd..."},
        {MAKELANGID(LANG_CROATIAN, SUBLANG_DEFAULT), "Po&zadina..."},
        {MAKELANGID(LANG_LITHUANIAN, SUBLANG_LITHUANIAN), "&Fonas..."},
    };
    auto load = [](LANGID lang) -> HMENU {
        HMODULE self = GetModuleHandleW(nullptr);
        HRSRC r = FindResourceExW(self, reinterpret_cast<LPCWSTR>(RT_MENU), MAKEINTRESOURCEW(211), lang);
        return r ? LoadMenuIndirectW(LockResource(LoadResource(self, r))) : nullptr;
    };
    HMENU english = load(kEnglish);
    ASSERT_NE(nullptr, english);
    const std::vector<MenuEntry> reference = readMenu(GetSubMenu(english, 0));
    DestroyMenu(english);
    EXPECT_EQ("32789 32768 32787 32785 32780 28000 | 32791 32771 [32774 32775 32776 32773 32777 32778 | 32788] 32779 "
              "32790 32792 | 32784 | 32770",
              shape(reference));
    for (const Language& l : languages) {
        SCOPED_TRACE(l.id);
        HMENU m = load(l.id);
        ASSERT_NE(nullptr, m);
        const std::vector<MenuEntry> items = readMenu(GetSubMenu(m, 0));
        DestroyMenu(m);
        EXPECT_EQ(shape(reference), shape(items));
        for (const MenuEntry& e : items) EXPECT_TRUE(e.separator || !e.text.empty());
        const MenuEntry* bg = findEntry(items, 32771);
        ASSERT_NE(nullptr, bg);
        const int n = MultiByteToWideChar(CP_UTF8, 0, l.background, -1, nullptr, 0);
        std::wstring want(size_t(n > 0 ? n - 1 : 0), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, l.background, -1, want.data(), n);
        EXPECT_EQ(want, bg->text);
    }
}

TEST_F(Stock, BorderAndAppearanceSetTheWindowStyle) {
    site();
    HWND w = ctl_->hwnd();
    EXPECT_EQ(S_OK, p2_->put_BorderStyle(qivBorderStyleSingle));
    EXPECT_TRUE(GetWindowLongW(w, GWL_STYLE) & WS_BORDER);
    EXPECT_TRUE(GetWindowLongW(w, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) << "3D: the client edge";
    EXPECT_EQ(S_OK, p2_->put_Appearance(qivAppearanceFlat));
    EXPECT_TRUE(GetWindowLongW(w, GWL_STYLE) & WS_BORDER);
    EXPECT_FALSE(GetWindowLongW(w, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) << "flat: no client edge";
    EXPECT_EQ(S_OK, p2_->put_Appearance(static_cast<qivAppearance>(7)));
    EXPECT_TRUE(GetWindowLongW(w, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) << "7 means 3D";
    EXPECT_EQ(S_OK, p2_->put_BorderStyle(static_cast<qivBorderStyle>(2)));
    EXPECT_FALSE(GetWindowLongW(w, GWL_STYLE) & WS_BORDER);
    EXPECT_EQ(std::vector<DISPID>({DISPID_BORDERSTYLE, DISPID_APPEARANCE, DISPID_APPEARANCE, DISPID_BORDERSTYLE}),
              notify_.changed);
}

TEST_F(Stock, DisplayPropertiesAnnounceTheirChanges) {
    // Without a window Filter only changes its flag.
    EXPECT_EQ(S_OK, p2_->put_Filter(VARIANT_FALSE));
    EXPECT_TRUE(notify_.changed.empty());
    EXPECT_FALSE(ctl_->dirty());
    site();
    ctl_->state().saveFiles[0] = 0;
    struct Case {
        const char* name;
        HRESULT (STDMETHODCALLTYPE IQivPlayer2::*putBool)(VARIANT_BOOL);
        HRESULT (STDMETHODCALLTYPE IQivPlayer2::*putLong)(LONG);
        LONG value;
        DISPID notice;  // 0: none
        bool dirty;
    };
    const Case cases[] = {
        {"Filter", &IQivPlayer2::put_Filter, nullptr, VARIANT_TRUE, qivdispid::Filter, true},
        {"HideControls", &IQivPlayer2::put_HideControls, nullptr, VARIANT_TRUE, qivdispid::HideControls, true},
        {"HideScrollBars", &IQivPlayer2::put_HideScrollBars, nullptr, VARIANT_TRUE, qivdispid::HideScrollBars, true},
        {"SaveFilesWithDocument", &IQivPlayer2::put_SaveFilesWithDocument, nullptr, VARIANT_TRUE, qivdispid::SaveFilesWithDocument, true},
        {"PopupMenuEnabled", &IQivPlayer2::put_PopupMenuEnabled, nullptr, VARIANT_FALSE, 0, false},
        {"PreviewMode", nullptr, &IQivPlayer2::put_PreviewMode, 1, qivdispid::PreviewMode, false},
        {"EnabledMenus", nullptr, &IQivPlayer2::put_EnabledMenus, 0x101, qivdispid::EnabledMenus, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        notify_.changed.clear();
        ctl_->setDirty(false);
        for (int i = 0; i < 2; ++i)  // the second put changes nothing
            EXPECT_EQ(S_OK, c.putBool ? (p2_->*c.putBool)(VARIANT_BOOL(c.value)) : (p2_->*c.putLong)(c.value));
        EXPECT_EQ(c.notice ? std::vector<DISPID>{c.notice} : std::vector<DISPID>{}, notify_.changed);
        EXPECT_EQ(c.dirty, ctl_->dirty());
    }
    LONG mask = 0;
    EXPECT_EQ(S_OK, p2_->get_EnabledMenus(&mask));
    EXPECT_EQ(0x101, mask);
    EXPECT_EQ(E_POINTER, p2_->get_EnabledMenus(nullptr));
    VARIANT_BOOL b = VARIANT_FALSE;
    EXPECT_EQ(S_OK, p2_->get_HideControls(&b));
    EXPECT_EQ(VARIANT_TRUE, b);
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(ctl_->hwnd(), 58001))) << "the control bar is laid out again";
}

// A mode outside the enumeration is stored and the view drawn in the default mode; a put
// drops a one-time ray trace asked for and not drawn yet.
TEST_F(Stock, DisplayModeOutsideItsEnumerationDrawsTheDefault) {
    site();
    loadAnimated();
    for (LONG value : {8, 15, 17, 24, 127, 0x10003}) {
        SCOPED_TRACE(value);
        EXPECT_EQ(S_OK, p2_->put_DisplayMode(static_cast<qivDisplayMode>(value)));
        qivDisplayMode m{};
        p2_->get_DisplayMode(&m);
        EXPECT_EQ(value & ~0xFF00, LONG(m));
        EXPECT_EQ(3u, ctl_->state().displayMode);
        RedrawWindow(ctl_->hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        EXPECT_TRUE(ctl_->state().frameValid);
    }
    EXPECT_EQ(S_OK, p2_->OneTimeRaytrace());
    EXPECT_EQ(S_OK, p2_->put_DisplayMode(qivDispFLAT));
    EXPECT_EQ(1u, ctl_->win().frameMode) << "the ray trace asked for is dropped";
}

TEST_F(Stock, AnimationTimeAndSubAnimationsNeedAnObject) {
    float f = 5;
    EXPECT_EQ(E_FAIL, p2_->get_CurrentTime(&f));
    EXPECT_EQ(E_FAIL, p2_->put_CurrentTime(1));
    BSTR name = reinterpret_cast<BSTR>(1);
    float start = 7, end = 7;
    VARIANT_BOOL ok = VARIANT_TRUE;
    EXPECT_EQ(E_FAIL, p2_->GetSubAnimationInfo(0, &name, &start, &end, &ok));
    EXPECT_EQ(nullptr, name);
    EXPECT_EQ(0.0f, start);
    EXPECT_EQ(VARIANT_FALSE, ok);
    EXPECT_EQ(E_POINTER, p2_->GetSubAnimationInfo(0, &name, &start, nullptr, &ok));
    EXPECT_EQ(S_OK, p2_->StartSubAnimation(0, VARIANT_FALSE, &ok));
    EXPECT_EQ(VARIANT_FALSE, ok);
    EXPECT_EQ(E_POINTER, p2_->StartSubAnimation(0, VARIANT_FALSE, nullptr));
}

TEST_F(Stock, CurrentTimeMovesTheTrackBarWithoutANotice) {
    site();
    loadAnimated();
    notify_.changed.clear();
    EXPECT_EQ(S_OK, p2_->put_CurrentTime(1.5f));
    float f = 0;
    EXPECT_EQ(S_OK, p2_->get_CurrentTime(&f));
    EXPECT_EQ(1.5f, f);
    EXPECT_EQ(75, SendMessageW(GetDlgItem(ctl_->hwnd(), 58008), TBM_GETPOS, 0, 0)) << "(1.5 - 0) / (2 - 0)";
    EXPECT_EQ(E_INVALIDARG, p2_->put_CurrentTime(std::nanf("")));
    EXPECT_TRUE(notify_.changed.empty());
}

// A sub-animation whose end equals its start plays once and ends; its time and the track
// bar stay finite.
TEST_F(Stock, AnEmptySubAnimationEndsAtOnce) {
    site();
    ASSERT_TRUE(load(writeAnimatedObject(dir_, {subAnimation("all", 0, 2), subAnimation("still", 1, 1)})));
    events_.events.clear();
    VARIANT_BOOL ok = VARIANT_FALSE;
    EXPECT_EQ(S_OK, p2_->StartSubAnimation(1, VARIANT_FALSE, &ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 300 && ctl_->win().animationRunning) {
        qivtest::PumpMessages();
        Sleep(1);
    }
    EXPECT_FALSE(ctl_->win().animationRunning);
    ASSERT_FALSE(events_.events.empty());
    EXPECT_EQ(3, events_.events.back().id) << "AnimationDone";
    EXPECT_EQ(S_OK, p2_->put_CurrentTime(1));
    float t = 0;
    EXPECT_EQ(S_OK, p2_->get_CurrentTime(&t));
    EXPECT_EQ(1.0f, t);
    EXPECT_EQ(0, SendMessageW(GetDlgItem(ctl_->hwnd(), 58008), TBM_GETPOS, 0, 0));
}

TEST_F(Stock, SubAnimationsAreReadAndStarted) {
    site();
    loadAnimated();
    struct Want {
        LONG index;
        HRESULT hr;
        const wchar_t* name;
        float start, end;
    };
    const Want wants[] = {{0, S_OK, L"all", 0, 2}, {1, S_OK, L"up", 0, 1}, {2, E_INVALIDARG, nullptr, 0, 0},
                          {-1, E_INVALIDARG, nullptr, 0, 0}};
    for (const Want& w : wants) {
        SCOPED_TRACE(w.index);
        BSTR name = reinterpret_cast<BSTR>(1);
        float start = 9, end = 9;
        VARIANT_BOOL ok = 5;
        EXPECT_EQ(w.hr, p2_->GetSubAnimationInfo(w.index, &name, &start, &end, &ok));
        EXPECT_EQ(std::wstring(w.name ? w.name : L"-"), std::wstring(name ? name : L"-"));
        EXPECT_EQ(w.start, start);
        EXPECT_EQ(w.end, end);
        EXPECT_EQ(w.hr == S_OK ? VARIANT_TRUE : VARIANT_FALSE, ok);
        SysFreeString(name);
        // The text form: the name in quotes, the start and the end; no text for a bad index.
        BSTR text = reinterpret_cast<BSTR>(1);
        EXPECT_EQ(S_OK, p2_->GetSubAnimationInfoAsString(w.index, &text));
        EXPECT_EQ(w.hr == S_OK ? L"\"" + std::wstring(w.name) + L"\", 0, " + (w.end == 2 ? L"2" : L"1") : L"-",
                  std::wstring(text ? text : L"-"));
        SysFreeString(text);
    }

    events_.events.clear();
    LONG during = -2;
    events_.handler = [&](DISPID id, DISPPARAMS*) {
        if (id == qivdispid::event::AnimationStarted) p2_->get_EventObject(&during);
    };
    VARIANT_BOOL ok = VARIANT_FALSE;
    EXPECT_EQ(S_OK, p2_->StartSubAnimation(5, VARIANT_TRUE, &ok));
    EXPECT_EQ(VARIANT_FALSE, ok);
    EXPECT_TRUE(events_.events.empty());
    EXPECT_EQ(S_OK, p2_->StartSubAnimation(1, VARIANT_TRUE, &ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    ASSERT_EQ(1u, events_.events.size());
    EXPECT_EQ(4, events_.events[0].id);
    EXPECT_EQ(std::vector<std::string>({"I4:1", "BSTR:up", "BOOL:-1"}), events_.events[0].args);
    EXPECT_EQ(0, during) << "EventObject names the slot during the event";
    LONG after = 0;
    p2_->get_EventObject(&after);
    EXPECT_EQ(-1, after);
    const QivObjectSlot& s = ctl_->state().slots[0];
    EXPECT_TRUE(s.animPlaying);
    EXPECT_TRUE(s.autoRepeat);
    EXPECT_EQ(0.0f, s.animStart);
    EXPECT_EQ(1.0f, s.animEnd);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(ctl_->hwnd(), 58006))) << "start button off";
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(ctl_->hwnd(), 58007))) << "stop button on";

    // Started while a click event is being fired: the click starts no second one.
    ctl_->ClickState() = 1;
    EXPECT_EQ(S_OK, p2_->StartSubAnimation(0, VARIANT_FALSE, &ok));
    EXPECT_EQ(2, ctl_->ClickState());
    ctl_->ClickState() = 0;
    EXPECT_EQ(S_OK, p2_->StartSubAnimation(0, VARIANT_FALSE, &ok));
    EXPECT_EQ(0, ctl_->ClickState()) << "outside a click nothing is marked";
}

// With two objects, the animation commands of the popup menu act on the one under the mouse.
TEST_F(Stock, AnimationCommandsActOnTheHoveredObject) {
    site();
    const std::string path = writeAnimatedObject(dir_, {subAnimation("all", 0, 2), subAnimation("up", 0, 1)}, true);
    ASSERT_TRUE(load(path));
    LONG second = -1;
    BSTR b = SysAllocString(std::wstring(path.begin(), path.end()).c_str());
    ASSERT_EQ(S_OK, p2_->AddObject(b, &second));
    SysFreeString(b);
    VARIANT_BOOL ok = VARIANT_FALSE;
    ASSERT_EQ(S_OK, p2_->put_CurrentObject(second));
    ASSERT_EQ(S_OK, p2_->ObjectShow(VARIANT_TRUE, &ok));
    ASSERT_EQ(S_OK, p2_->put_CurrentObject(0));
    ASSERT_EQ(S_OK, p2_->ObjectShow(VARIANT_FALSE, &ok));
    UpdateWindow(ctl_->hwnd());
    const QivControlState& s = ctl_->state();
    for (int y = 0; y < s.frameHeight && ctl_->hoveredSlot() < 0; y += 5)
        for (int x = 0; x < s.frameWidth && ctl_->hoveredSlot() < 0; x += 5) ctl_->TrackHover(x, y);
    ASSERT_EQ(second, ctl_->hoveredSlot());
    SendMessageW(ctl_->hwnd(), WM_COMMAND, 28001 + 1, 0);
    EXPECT_TRUE(s.slots[size_t(second)].animPlaying) << "the hovered object plays";
    EXPECT_EQ(1.0f, s.slots[size_t(second)].animEnd);
    EXPECT_FALSE(s.slots[0].animPlaying) << "the current one does not";
}

// Over a part whose table entry names a sub-animation the context cursor is the animation
// cursor and a click there starts that sub-animation once; over a movable object without one
// it is the grab cursor, over a fixed one the rotate cursor.
TEST_F(Stock, PartsThatAnimateOrMoveShowTheirCursorAndAClickStartsTheSubAnimation) {
    site();
    ASSERT_TRUE(load(writeAnimatedObject(dir_, {subAnimation("all", 0, 2), subAnimation("up", 0, 1)}, true, 1)));
    UpdateWindow(ctl_->hwnd());
    QivControlState& s = ctl_->state();
    POINT over{-1, -1};
    for (int y = 0; y < s.frameHeight && ctl_->hoveredSlot() < 0; y += 5)
        for (int x = 0; x < s.frameWidth && ctl_->hoveredSlot() < 0; x += 5) {
            ctl_->TrackHover(x, y);
            over = {x, y};
        }
    ASSERT_EQ(0, ctl_->hoveredSlot());
    POINT screen = over;
    ClientToScreen(ctl_->hwnd(), &screen);
    SetCursorPos(screen.x, screen.y);
    auto cursorOf = [&](WORD id) {
        for (int i = 0; i < kQivCursorCount; ++i)
            if (kQivCursorIds[i] == id) return ctl_->cursor(i);
        return HCURSOR(nullptr);
    };
    s.cursorType = 1;
    EXPECT_TRUE(ctl_->SetCursorForState(HTCLIENT));
    EXPECT_EQ(cursorOf(226), GetCursor()) << "the animation cursor";

    const LPARAM at = MAKELPARAM(over.x, over.y);
    SendMessageW(ctl_->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(ctl_->hwnd(), WM_LBUTTONUP, 0, at);
    QivObjectSlot& slot = s.slots[0];
    EXPECT_TRUE(slot.animPlaying) << "the clicked part's sub-animation plays";
    EXPECT_EQ(1.0f, slot.animEnd);
    EXPECT_FALSE(slot.autoRepeat);

    p2_->StopAnimation();
    slot.chunkData.clear();
    slot.moveFlags = 1;
    EXPECT_TRUE(ctl_->SetCursorForState(HTCLIENT));
    EXPECT_EQ(cursorOf(252), GetCursor()) << "the grab cursor";
    slot.moveFlags = 0;
    EXPECT_TRUE(ctl_->SetCursorForState(HTCLIENT));
    EXPECT_EQ(cursorOf(204), GetCursor()) << "the rotate cursor";
}

TEST_F(Stock, ShowAllBringsBackTheHomeViewAndAnnouncesIt) {
    EXPECT_EQ(S_OK, p2_->ShowAll());
    EXPECT_TRUE(notify_.changed.empty()) << "nothing shown: nothing to do";
    site();
    loadAnimated();
    float home = 0;
    p2_->get_Zoom(&home);
    EXPECT_NEAR(1.0f, home, 1e-4f);
    p2_->put_Zoom(3);
    p2_->put_Phi(10);
    p2_->put_PanX(0.5f);
    notify_.changed.clear();
    EXPECT_EQ(S_OK, p2_->ShowAll());
    float zoom = 0, phi = 0, pan = 1;
    p2_->get_Zoom(&zoom);
    p2_->get_Phi(&phi);
    p2_->get_PanX(&pan);
    EXPECT_NEAR(1.0f, zoom, 1e-4f);
    EXPECT_NEAR(225.0f, phi, 1e-3f);
    EXPECT_EQ(0.0f, pan);
    EXPECT_EQ(std::vector<DISPID>({qivdispid::PanX, qivdispid::PanY, qivdispid::Psi, qivdispid::Phi, qivdispid::Zoom, qivdispid::VRPx, qivdispid::VRPy, qivdispid::VRPz, qivdispid::EyeX, qivdispid::EyeY, qivdispid::EyeZ}), notify_.changed);

    IOleControl* oc = nullptr;
    ASSERT_EQ(S_OK, p2_->QueryInterface(IID_IOleControl, reinterpret_cast<void**>(&oc)));
    notify_.changed.clear();
    oc->FreezeEvents(TRUE);
    EXPECT_EQ(S_OK, p2_->ShowAll());
    oc->FreezeEvents(FALSE);
    oc->Release();
    EXPECT_TRUE(notify_.changed.empty());
    // Nor while updates are disabled.
    p2_->put_Phi(10);
    notify_.changed.clear();
    p2_->EnableUpdate(VARIANT_FALSE);
    EXPECT_EQ(S_OK, p2_->ShowAll());
    p2_->EnableUpdate(VARIANT_TRUE);
    EXPECT_TRUE(notify_.changed.empty());
    p2_->get_Phi(&phi);
    EXPECT_NEAR(225.0f, phi, 1e-3f) << "the view is shown all the same";
}

// An object with no x extent (a wall in the y-z plane) measures its zoom on its larger
// extent: finite values, and zoom 1 at the home view.
TEST_F(Stock, ZoomOfAnObjectWithoutXExtentStaysFinite) {
    QivControlState& s = ctl_->state();
    s.frameWidth = 200;
    s.frameHeight = 100;
    QivWindowParts& w = ctl_->win();
    w.sceneBox.min = {0, -1, -2};
    w.sceneBox.max = {0, 1, 2};
    ctl_->ResetView();
    float z = 0;
    EXPECT_EQ(S_OK, p2_->get_Zoom(&z));
    EXPECT_NEAR(1.0f, z, 1e-4f);
    EXPECT_EQ(S_OK, p2_->put_Zoom(2));
    EXPECT_EQ(S_OK, p2_->get_Zoom(&z));
    EXPECT_NEAR(2.0f, z, 1e-4f);
    EXPECT_TRUE(std::isfinite(s.camera.winXMax) && s.camera.winXMax > 0);
    EXPECT_TRUE(std::isfinite(s.camera.winYMax) && s.camera.winYMax > 0);
}

// Show2DView swaps the stored picture and the background on every call: two calls with the
// same value swap them back. Without a stored picture the background stays that of BackPicMode.
TEST_F(Stock, Show2DViewSwapsThePicturesOnEveryCall) {
    site();
    EXPECT_EQ(S_OK, p2_->Show2DView(VARIANT_TRUE));
    EXPECT_TRUE(ctl_->view2D());
    EXPECT_EQ(0u, ctl_->state().background.mode);
    RedrawWindow(ctl_->hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_EQ(S_OK, p2_->Show2DView(VARIANT_FALSE));
    EXPECT_FALSE(ctl_->view2D());
    qivtest::OneColourPicture picture(0x00336699);
    PicRecord& preview = picture.picture;
    ctl_->SetPreviewPicture(&preview);
    EXPECT_EQ(S_OK, p2_->Show2DView(VARIANT_TRUE));
    EXPECT_TRUE(ctl_->view2D());
    EXPECT_EQ(&preview, ctl_->BackgroundPicture());
    EXPECT_EQ(nullptr, ctl_->PreviewPicture());
    const BgRecord& bg = ctl_->state().background;
    EXPECT_EQ(3u, bg.mode);
    EXPECT_EQ(&preview, bg.picture);
    EXPECT_FLOAT_EQ(1.0471976f, bg.pictureAngle);
    EXPECT_EQ(0, bg.offsetX);
    RedrawWindow(ctl_->hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    // The same value again swaps back; the flag keeps the value given.
    EXPECT_EQ(S_OK, p2_->Show2DView(VARIANT_TRUE));
    EXPECT_TRUE(ctl_->view2D());
    EXPECT_EQ(&preview, ctl_->PreviewPicture());
    EXPECT_EQ(nullptr, ctl_->BackgroundPicture());
    EXPECT_EQ(0u, ctl_->state().background.mode);
    // The menu's switch gives the opposite of the flag: off, and the pictures swap again.
    SendMessageW(ctl_->hwnd(), WM_COMMAND, 32791, 0);
    EXPECT_FALSE(ctl_->view2D());
    EXPECT_EQ(&preview, ctl_->BackgroundPicture());
    EXPECT_EQ(S_OK, p2_->Show2DView(VARIANT_FALSE));
    EXPECT_FALSE(ctl_->view2D());
    EXPECT_EQ(&preview, ctl_->PreviewPicture());
    EXPECT_EQ(nullptr, ctl_->BackgroundPicture());
    EXPECT_TRUE(notify_.changed.empty()) << "no notices";
    ctl_->SetPreviewPicture(nullptr);
}

TEST_F(Stock, OneTimeRaytraceAsksForOneRayTracedFrame) {
    site();
    loadAnimated();
    RedrawWindow(ctl_->hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_EQ(S_OK, p2_->OneTimeRaytrace());
    EXPECT_EQ(S_OK, p2_->OneTimeRaytrace());
    EXPECT_EQ(127u, ctl_->win().frameMode);
    const uint32_t frames = ctl_->win().frames;
    RedrawWindow(ctl_->hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_EQ(ctl_->state().displayMode, ctl_->win().frameMode) << "one ray-traced frame, then the mode again";
    EXPECT_EQ(frames, ctl_->win().frames) << "the frame came from the ray tracer";
}

// With the multi-view picture on, the one ray-traced frame holds the interleaved views.
TEST_F(Stock, OneTimeRaytraceOfTheMultiView) {
    site();
    loadAnimated();
    RECT rc;
    GetClientRect(ctl_->hwnd(), &rc);
    auto traced = [&] {
        EXPECT_EQ(S_OK, p2_->OneTimeRaytrace());
        RedrawWindow(ctl_->hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        return qivtest::ReadWindow(ctl_->hwnd(), ctl_->state().frameWidth, ctl_->state().frameHeight);
    };
    const std::vector<uint32_t> single = traced();
    ctl_->state().multiView = true;
    const std::vector<uint32_t> multi = traced();
    ctl_->state().multiView = false;
    ASSERT_EQ(single.size(), multi.size());
    EXPECT_GT(qivtest::Differing(single, multi, 8), int(single.size() / 50));
}

TEST_F(Stock, VerbsStartAndStopTheAnimation) {
    site();
    IOleObject* ole = host_.object();
    RECT rc;
    GetClientRect(host_.window(), &rc);
    auto verb = [&](LONG v) { return ole->DoVerb(v, nullptr, &host_, 0, host_.window(), &rc); };
    VARIANT_BOOL playing = VARIANT_TRUE;
    EXPECT_EQ(S_OK, verb(2));
    p2_->get_AnimPlaying(&playing);
    EXPECT_EQ(VARIANT_FALSE, playing) << "nothing loaded";
    loadAnimated();
    EXPECT_EQ(S_OK, verb(2));
    p2_->get_AnimPlaying(&playing);
    EXPECT_EQ(VARIANT_TRUE, playing);
    EXPECT_EQ(S_OK, verb(2));
    p2_->get_AnimPlaying(&playing);
    EXPECT_EQ(VARIANT_FALSE, playing);
    {
        // With the load menu on, verb 1 opens the load dialog; the test cancels it.
        qivtest::ModalScript cancel({[] {
            for (HWND w : qivtest::ThreadWindows()) {
                wchar_t cls[16] = {};
                GetClassNameW(w, cls, 16);
                if (std::wstring(cls) == L"#32770") return PostMessageW(w, WM_COMMAND, IDCANCEL, 0) != FALSE;
            }
            return false;
        }});
        EXPECT_EQ(S_OK, verb(1));
        EXPECT_TRUE(cancel.finished()) << "the load dialog was shown";
    }
    p2_->get_AnimPlaying(&playing);
    EXPECT_EQ(VARIANT_FALSE, playing) << "the load verb while loading is allowed";
    p2_->put_LoadObjectMenuEnabled(VARIANT_FALSE);
    EXPECT_EQ(S_OK, verb(1));
    p2_->get_AnimPlaying(&playing);
    EXPECT_EQ(VARIANT_TRUE, playing) << "without the load menu verb 1 is verb 2";
    EXPECT_EQ(S_OK, verb(OLEIVERB_UIACTIVATE)) << "the standard verbs stay";
}

TEST_F(Stock, CommandTargetCarriesOutMenuCommands) {
    site();
    IOleCommandTarget* ct = nullptr;
    ASSERT_EQ(S_OK, p2_->QueryInterface(IID_IOleCommandTarget, reinterpret_cast<void**>(&ct)));
    const GUID& group = CQivPlayerCtl::kCommandGroup;
    OLECMD cmds[] = {{32789, 0}, {32788, 0}, {32774, 0}, {32784, 0}, {12345, 0}};
    EXPECT_EQ(OLECMDERR_E_UNKNOWNGROUP, ct->QueryStatus(nullptr, 5, cmds, nullptr));
    EXPECT_EQ(OLECMDERR_E_UNKNOWNGROUP, ct->QueryStatus(&IID_IUnknown, 5, cmds, nullptr));
    ASSERT_EQ(S_OK, ct->QueryStatus(&group, 5, cmds, nullptr));
    EXPECT_EQ(DWORD(OLECMDF_SUPPORTED), cmds[0].cmdf) << "show all needs an object";
    EXPECT_EQ(DWORD(OLECMDF_SUPPORTED | OLECMDF_ENABLED | OLECMDF_LATCHED), cmds[1].cmdf) << "filter on";
    EXPECT_EQ(DWORD(OLECMDF_SUPPORTED | OLECMDF_ENABLED), cmds[2].cmdf);
    EXPECT_EQ(DWORD(OLECMDF_SUPPORTED | OLECMDF_ENABLED), cmds[3].cmdf) << "the settings dialog";
    EXPECT_EQ(0u, cmds[4].cmdf);

    EXPECT_EQ(OLECMDERR_E_DISABLED, ct->Exec(&group, 32789, 0, nullptr, nullptr));
    EXPECT_EQ(OLECMDERR_E_NOTSUPPORTED, ct->Exec(&group, 12345, 0, nullptr, nullptr));
    EXPECT_EQ(OLECMDERR_E_UNKNOWNGROUP, ct->Exec(nullptr, 32774, 0, nullptr, nullptr));
    notify_.changed.clear();
    EXPECT_EQ(S_OK, ct->Exec(&group, 32774, 0, nullptr, nullptr));
    EXPECT_EQ(S_OK, ct->Exec(&group, 32788, 0, nullptr, nullptr));
    EXPECT_EQ(S_OK, ct->Exec(&group, 32792, 0, nullptr, nullptr));
    EXPECT_EQ(S_OK, ct->Exec(&group, 32790, 0, nullptr, nullptr));
    EXPECT_EQ(std::vector<DISPID>({qivdispid::DisplayMode, qivdispid::Filter, qivdispid::Walkthrough, qivdispid::KeepSpinning}), notify_.changed);
    qivDisplayMode mode{};
    p2_->get_DisplayMode(&mode);
    EXPECT_EQ(0, int(mode));
    VARIANT_BOOL b = VARIANT_TRUE;
    p2_->get_Filter(&b);
    EXPECT_EQ(VARIANT_FALSE, b);
    p2_->get_KeepSpinning(&b);
    EXPECT_EQ(VARIANT_TRUE, b);

    loadAnimated();
    p2_->put_Zoom(3);
    EXPECT_EQ(S_OK, ct->Exec(&group, 32789, 0, nullptr, nullptr));
    float z = 0;
    p2_->get_Zoom(&z);
    EXPECT_NEAR(1.0f, z, 1e-4f);
    EXPECT_EQ(S_OK, ct->Exec(&group, 28002, 0, nullptr, nullptr)) << "sub-animation 1 from its menu id";
    ASSERT_FALSE(events_.events.empty());
    EXPECT_EQ(std::vector<std::string>({"I4:1", "BSTR:up", "BOOL:0"}), events_.events.back().args);
    ct->Release();
}

TEST_F(Stock, PopupMenuItemsFollowTheStateAndTheMask) {
    site();
    ASSERT_TRUE(openMenu());
    const std::string modes = "[32774 32775 32776 32773* 32777 | 32788*]";
    EXPECT_EQ("32789- 32768 32787- 28000- | 32791- 32771 " + modes + " 32779 32790 32792 | " + hardwareItem() +
                  "32784 | 32770",
              shape(g_capture.items));
    const MenuEntry* all = findEntry(g_capture.items, 32789);
    ASSERT_NE(nullptr, all);
    EXPECT_EQ(std::wstring(L"Show &all\tPos 1"), all->text);
    EXPECT_EQ(std::wstring(L"Switch to 2D/preview display"), findEntry(g_capture.items, 32791)->text);
    EXPECT_EQ(std::wstring(L"Display &mode"), g_capture.items[7].text);

    p2_->put_EnabledMenus(0);
    ASSERT_TRUE(openMenu());
    EXPECT_EQ("32770", shape(g_capture.items)) << "only the items without a bit";
    p2_->put_EnabledMenus(256);
    ASSERT_TRUE(openMenu());
    EXPECT_EQ("32788* | 32770", shape(g_capture.items)) << "the filter in place of the display-mode popup";
    p2_->put_EnabledMenus(-1);
    p2_->put_PopupMenuEnabled(VARIANT_FALSE);
    EXPECT_FALSE(openMenu()) << "no menu while PopupMenuEnabled is false";
}

TEST_F(Stock, PopupMenuOfAnAnimatedObjectByTheRightButton) {
    site();
    loadAnimated();
    p2_->put_DisplayMode(static_cast<qivDisplayMode>(5));
    p2_->put_LocalSaveAllowed(VARIANT_TRUE);
    BSTR name = SysAllocString(L"Vorschau");
    p2_->put_MenuNameForPreview(name);
    SysFreeString(name);
    ASSERT_TRUE(openMenu(L'n', true)) << "a right click without a drag raises the menu";
    EXPECT_EQ("32789 32768 32787 32785 [28000 | 28002] | 32791- 32771 [32774 32775 32776 32773 32777 32778* | "
              "32788*] 32779 32790 32792 | " +
                  hardwareItem() + "32784 | 32770",
              shape(g_capture.items));
    EXPECT_EQ(std::wstring(L"&Total animation"), findEntry(g_capture.items, 28000)->text);
    EXPECT_EQ(std::wstring(L"up"), findEntry(g_capture.items, 28002)->text);
    EXPECT_EQ(std::wstring(L"Vorschau"), findEntry(g_capture.items, 32791)->text);
    VARIANT_BOOL hidden = VARIANT_FALSE;
    p2_->get_HideControls(&hidden);
    EXPECT_EQ(VARIANT_TRUE, hidden) << "'n' chose \"&No controlbars\"";

    // While it plays the animation item cancels it.
    VARIANT_BOOL ok = VARIANT_FALSE;
    p2_->StartSubAnimation(1, VARIANT_TRUE, &ok);
    ASSERT_TRUE(openMenu());
    EXPECT_EQ(std::wstring(L"Cancel &animation"), findEntry(g_capture.items, 28000)->text);
}

TEST_F(Stock, PopupMenuInGerman) {
    useLanguage(kGerman);
    site();
    ASSERT_TRUE(openMenu(L'k'));
    EXPECT_EQ(std::wstring(L"&Alles zeigen\tPos 1"), findEntry(g_capture.items, 32789)->text);
    EXPECT_EQ(std::wstring(L"&Darstellung"), g_capture.items[7].text);
    EXPECT_EQ(std::wstring(L"Zur 2D-/Vorschauanzeige wechseln"), findEntry(g_capture.items, 32791)->text);
    EXPECT_EQ(std::wstring(L"Drahtgitter/verdeckte Linien"), findEntry(g_capture.items, 32777)->text);
    VARIANT_BOOL hidden = VARIANT_FALSE;
    p2_->get_HideControls(&hidden);
    EXPECT_EQ(VARIANT_TRUE, hidden) << "'k' chose \"&Keine Steuerleisten\"";
}

// Sub-animation items keep to their id range however many an object has.
TEST_F(Stock, ManySubAnimationsStayInTheirIdRange) {
    std::vector<pelb::AnimDescDef> many{subAnimation("all", 0, 2)};
    for (int i = 0; i < 300; ++i) many.push_back(subAnimation(("part " + std::to_string(i)).c_str(), 0, 1));
    site();
    ASSERT_TRUE(load(writeAnimatedObject(dir_, many)));
    ASSERT_TRUE(openMenu());
    const MenuEntry* popup = nullptr;
    for (const MenuEntry& e : g_capture.items)
        if (e.popup && !e.children.empty() && e.children[0].id == 28000) popup = &e;
    ASSERT_NE(nullptr, popup);
    ASSERT_EQ(2u + 255u, popup->children.size()) << "total, separator, 28002 .. 28256";
    EXPECT_EQ(28256u, popup->children.back().id);
    EXPECT_EQ(std::wstring(L"part 254"), popup->children.back().text);
}

// Check-box lists in a dialog made from an in-memory template, driven by
// clicks and the space bar; glyphs checked pixel by pixel.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tolvane.h"
#include "zell_checklist_win.h"

namespace {

constexpr int kListA = 101; // single selection, strings
constexpr int kListB = 102; // multiple selection, no strings
constexpr int kListC = 103; // owner-drawn, never subclassed here
constexpr int kRow = 16;

// --- dialog template ----------------------------------------------------------

struct Template {
  std::vector<WORD> words;
  void align() {
    if (words.size() % 2) words.push_back(0);
  }
  void dword(DWORD v) {
    words.push_back(LOWORD(v));
    words.push_back(HIWORD(v));
  }
  void text(const wchar_t* s) {
    for (; *s; ++s) words.push_back(WORD(*s));
    words.push_back(0);
  }
  void item(DWORD style, short x, short y, short cx, short cy, WORD id) {
    align();
    dword(style | WS_CHILD | WS_VISIBLE);
    dword(0);
    for (short v : {x, y, cx, cy}) words.push_back(WORD(v));
    words.push_back(id);
    words.push_back(0xFFFF);
    words.push_back(0x0083); // list box class
    text(L"");
    words.push_back(0);
  }
};

std::vector<WORD> makeTemplate() {
  Template t;
  t.dword(WS_POPUP | WS_CAPTION | DS_SETFONT);
  t.dword(0);
  t.words.push_back(3);
  for (short v : {0, 0, 240, 200}) t.words.push_back(WORD(v));
  t.words.push_back(0); // menu
  t.words.push_back(0); // class
  t.text(L"Check lists");
  t.words.push_back(8);
  t.text(L"MS Shell Dlg");
  const DWORD common = LBS_NOTIFY | LBS_OWNERDRAWFIXED | WS_BORDER | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP;
  t.item(common | LBS_HASSTRINGS, 5, 5, 110, 90, kListA);
  t.item(common | LBS_MULTIPLESEL, 125, 5, 110, 90, kListB);
  t.item(common | LBS_HASSTRINGS, 5, 100, 110, 90, kListC);
  return t.words;
}

// What the dialog itself received.
struct DialogLog {
  std::vector<std::pair<int, int>> commands; // (control, code)
  std::map<int, int> drawn, measured;         // control -> count
};
DialogLog g_log;

INT_PTR CALLBACK testDialogProc(HWND, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
  case WM_INITDIALOG: return TRUE;
  case WM_COMMAND:
    if (HIWORD(wp) == CLBN_CHECKCHANGE) g_log.commands.emplace_back(LOWORD(wp), HIWORD(wp));
    return TRUE;
  case WM_MEASUREITEM: {
    auto* m = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
    ++g_log.measured[int(m->CtlID)];
    m->itemHeight = kRow;
    return TRUE;
  }
  case WM_DRAWITEM: ++g_log.drawn[int(reinterpret_cast<DRAWITEMSTRUCT*>(lp)->CtlID)]; return TRUE;
  default: return FALSE;
  }
}

HWND createDialog() {
  static std::vector<WORD> tmpl = makeTemplate();
  g_log = {};
  HWND dlg = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), reinterpret_cast<LPCDLGTEMPLATEA>(tmpl.data()),
                                        nullptr, testDialogProc, 0);
  return dlg;
}

INT_PTR refCount(HWND owner) { return reinterpret_cast<INT_PTR>(GetPropA(owner, "Zell::CMessageReflector::Ref")); }

Zell::CCheckListBox* wrapperOf(HWND lb) { return dynamic_cast<Zell::CCheckListBox*>(Zell::CWindow::fromWindow(lb)); }

class CheckList : public ::testing::Test {
protected:
  static void SetUpTestSuite() { Zell::createGlyphs(GetModuleHandleA(nullptr)); }
  static void TearDownTestSuite() { Zell::destroyGlyphs(); }
  void SetUp() override {
    ASSERT_NE(Zell::glyphs(), nullptr);
    dlg = createDialog();
    ASSERT_NE(dlg, nullptr);
    a = GetDlgItem(dlg, kListA);
    b = GetDlgItem(dlg, kListB);
    c = GetDlgItem(dlg, kListC);
    for (const char* s : {"alpha", "beta", "gamma", "delta"}) {
      SendMessageA(a, LB_ADDSTRING, 0, LPARAM(s));
      SendMessageA(c, LB_ADDSTRING, 0, LPARAM(s));
    }
  }
  void TearDown() override {
    if (IsWindow(dlg)) DestroyWindow(dlg);
    EXPECT_EQ(Zell::liveRecords(), 0u);
    EXPECT_EQ(Zell::liveReflectors(), 0u);
  }

  static POINT boxPoint(HWND lb, int index) {
    RECT rc{};
    SendMessageA(lb, LB_GETITEMRECT, WPARAM(index), LPARAM(&rc));
    return POINT{rc.left + 5, (rc.top + rc.bottom) / 2};
  }
  static POINT textPoint(HWND lb, int index) {
    POINT p = boxPoint(lb, index);
    p.x += 40;
    return p;
  }
  static void click(HWND lb, POINT p) {
    SendMessageA(lb, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
    SendMessageA(lb, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
  }
  static void space(HWND lb) {
    SendMessageA(lb, WM_KEYDOWN, VK_SPACE, 0);
    SendMessageA(lb, WM_KEYUP, VK_SPACE, 0);
  }
  static int check(HWND lb, int index) { return int(SendMessageA(lb, CLBM_GETCHECK, WPARAM(index), 0)); }

  HWND dlg = nullptr, a = nullptr, b = nullptr, c = nullptr;
};

TEST_F(CheckList, OwnerReflectorIsSharedAndCounted) {
  const LONG_PTR dialogProc = GetWindowLongPtrA(dlg, DWLP_DLGPROC);
  const LONG_PTR listProc = GetWindowLongPtrA(a, GWLP_WNDPROC);
  ASSERT_EQ(Zell::subclassCheckList(a), a);
  ASSERT_EQ(Zell::subclassCheckList(b), b);
  EXPECT_EQ(Zell::liveReflectors(), 1u);
  EXPECT_EQ(refCount(dlg), 2);
  EXPECT_NE(GetWindowLongPtrA(dlg, DWLP_DLGPROC), dialogProc);

  // A second subclass neither counts again nor chains the wrapper to itself.
  EXPECT_EQ(Zell::subclassCheckList(a), a);
  EXPECT_EQ(refCount(dlg), 2);
  EXPECT_NE(reinterpret_cast<LONG_PTR>(wrapperOf(a)->prevProc), GetWindowLongPtrA(a, GWLP_WNDPROC));

  SendMessageA(a, CLBM_SETCHECK, 0, 1);
  SendMessageA(a, LB_SETITEMDATA, 1, 77);
  EXPECT_EQ(Zell::liveRecords(), 2u);
  EXPECT_EQ(Zell::unsubclassCheckList(a), 1);
  EXPECT_EQ(GetWindowLongPtrA(a, GWLP_WNDPROC), listProc);
  EXPECT_EQ(Zell::liveRecords(), 0u); // the items hold their own values again
  EXPECT_EQ(SendMessageA(a, LB_GETITEMDATA, 0, 0), 0);
  EXPECT_EQ(SendMessageA(a, LB_GETITEMDATA, 1, 0), 77);
  EXPECT_EQ(Zell::liveWrappers(), 1u);
  EXPECT_EQ(refCount(dlg), 1);
  EXPECT_EQ(Zell::liveReflectors(), 1u); // still serving b
  EXPECT_EQ(Zell::unsubclassCheckList(a), 1);
  EXPECT_EQ(Zell::unsubclassCheckList(c), 1); // never subclassed
  EXPECT_EQ(refCount(dlg), 1);

  EXPECT_EQ(Zell::unsubclassCheckList(b), 1);
  EXPECT_EQ(Zell::liveReflectors(), 0u);
  EXPECT_EQ(GetWindowLongPtrA(dlg, DWLP_DLGPROC), dialogProc);
  EXPECT_EQ(GetPropA(dlg, "Zell::CMessageReflector"), nullptr);
  EXPECT_EQ(GetPropA(dlg, "Zell::CMessageReflector::Proc"), nullptr);
  EXPECT_EQ(refCount(dlg), 0);
}

TEST_F(CheckList, FailedSubclassChangesNothing) {
  const LONG_PTR listProc = GetWindowLongPtrA(a, GWLP_WNDPROC);
  const LONG_PTR dialogProc = GetWindowLongPtrA(dlg, DWLP_DLGPROC);
  Zell::failNextAttach = true;
  EXPECT_EQ(Zell::subclassCheckList(a), nullptr);
  EXPECT_EQ(Zell::liveWrappers(), 0u);
  EXPECT_EQ(Zell::liveReflectors(), 0u);
  EXPECT_EQ(refCount(dlg), 0);
  EXPECT_EQ(GetWindowLongPtrA(a, GWLP_WNDPROC), listProc);
  EXPECT_EQ(GetWindowLongPtrA(dlg, DWLP_DLGPROC), dialogProc);
  EXPECT_EQ(GetPropA(a, "Zell::CWindow"), nullptr);

  // No owner: a list box of its own.
  HWND lone = CreateWindowExA(0, "LISTBOX", "", WS_POPUP | LBS_OWNERDRAWFIXED, 0, 0, 50, 50, nullptr, nullptr,
                              nullptr, nullptr);
  ASSERT_NE(lone, nullptr);
  EXPECT_EQ(Zell::subclassCheckList(lone), nullptr);
  EXPECT_EQ(Zell::liveWrappers(), 0u);
  DestroyWindow(lone);
}

// Three clicks on a box, then three space bars, in every mode.
TEST_F(CheckList, ClicksAndSpaceBarThroughModes) {
  ASSERT_EQ(Zell::subclassCheckList(a), a);
  struct Row {
    int mode;
    int states[3];
  };
  const Row rows[] = {
      {0, {1, 0, 1}}, {1, {1, 0, 1}}, {2, {0, 0, 0}}, {3, {1, 0, 1}},
      {4, {1, 0, 1}}, {5, {0, 0, 0}}, {6, {1, 2, 0}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "mode " << r.mode);
    SendMessageA(a, CLBM_SETCHECKMODE, 0, r.mode);
    EXPECT_EQ(SendMessageA(a, CLBM_GETCHECKMODE, 0, 0), r.mode);
    SendMessageA(a, CLBM_SETCHECK, 1, 0);
    g_log.commands.clear();
    for (int i = 0; i < 3; ++i) {
      click(a, boxPoint(a, 1));
      EXPECT_EQ(check(a, 1), r.states[i]);
    }
    EXPECT_EQ(SendMessageA(a, LB_GETCURSEL, 0, 0), 1); // the click selects as well
    SendMessageA(a, CLBM_SETCHECK, 1, 0);
    for (int i = 0; i < 3; ++i) {
      space(a);
      EXPECT_EQ(check(a, 1), r.states[i]);
    }
    ASSERT_EQ(g_log.commands.size(), 6u);
    for (auto& cmd : g_log.commands) EXPECT_EQ(cmd, std::make_pair(kListA, CLBN_CHECKCHANGE));

    // A click on the text selects without touching the state.
    SendMessageA(a, CLBM_SETCHECK, 2, 0);
    g_log.commands.clear();
    click(a, textPoint(a, 2));
    EXPECT_EQ(check(a, 2), 0);
    EXPECT_EQ(SendMessageA(a, LB_GETCURSEL, 0, 0), 2);
    EXPECT_TRUE(g_log.commands.empty());
  }
}

TEST_F(CheckList, UndeterminedStateRefusedInModesTwoAndThree) {
  ASSERT_EQ(Zell::subclassCheckList(a), a);
  for (int mode : {0, 2, 3, 5, 6}) {
    SCOPED_TRACE(mode);
    SendMessageA(a, CLBM_SETCHECKMODE, 0, mode);
    SendMessageA(a, CLBM_SETCHECK, 0, 1);
    SendMessageA(a, CLBM_SETCHECK, 0, 0x10002); // state from the low 16 bits
    EXPECT_EQ(check(a, 0), mode == 2 || mode == 3 ? 1 : 2);
  }
  EXPECT_EQ(check(a, 3), 0);  // no record yet
  EXPECT_EQ(check(a, 99), 0); // no such item
}

TEST_F(CheckList, DisabledItemKeepsStateAndSelection) {
  ASSERT_EQ(Zell::subclassCheckList(a), a);
  EXPECT_EQ(SendMessageA(a, CLBM_GETITEMENABLED, 1, 0), 1);
  EXPECT_EQ(SendMessageA(a, CLBM_GETITEMENABLED, 99, 0), 1);
  SendMessageA(a, CLBM_SETITEMENABLED, 1, 0);
  EXPECT_EQ(SendMessageA(a, CLBM_GETITEMENABLED, 1, 0), 0);
  click(a, boxPoint(a, 1));
  EXPECT_EQ(check(a, 1), 0);
  EXPECT_EQ(SendMessageA(a, LB_GETCURSEL, 0, 0), LB_ERR);
  EXPECT_TRUE(g_log.commands.empty());
  click(a, textPoint(a, 1));
  EXPECT_EQ(SendMessageA(a, LB_GETCURSEL, 0, 0), 1);
  space(a); // a disabled caret item loses its selection
  EXPECT_EQ(check(a, 1), 0);
  EXPECT_EQ(SendMessageA(a, LB_GETCURSEL, 0, 0), LB_ERR);
  EXPECT_TRUE(g_log.commands.empty());
}

// Item data that merely looks like a record is the application's own.
TEST_F(CheckList, ForeignItemDataIsNeverTakenForARecord) {
  Zell::CheckItemData lookalike;
  lookalike.state = 1;
  lookalike.enabled = 0;
  lookalike.user = 999;
  SendMessageA(a, LB_SETITEMDATA, 2, LPARAM(&lookalike));
  ASSERT_EQ(Zell::subclassCheckList(a), a);
  EXPECT_EQ(SendMessageA(a, LB_GETITEMDATA, 2, 0), LPARAM(&lookalike));
  EXPECT_EQ(check(a, 2), 0);
  EXPECT_EQ(SendMessageA(a, CLBM_GETITEMENABLED, 2, 0), 1);
  SendMessageA(a, CLBM_SETCHECK, 2, 1); // wraps the foreign value
  EXPECT_EQ(SendMessageA(a, LB_GETITEMDATA, 2, 0), LPARAM(&lookalike));
  EXPECT_EQ(lookalike.state, 1u);
  EXPECT_EQ(lookalike.user, 999u);
}

TEST_F(CheckList, ListWithoutStringsShowsUserValues) {
  ASSERT_EQ(Zell::subclassCheckList(b), b);
  for (LPARAM v : {1000, 2000, 3000}) EXPECT_GE(SendMessageA(b, LB_ADDSTRING, 0, v), 0);
  EXPECT_EQ(Zell::liveRecords(), 3u);
  EXPECT_EQ(SendMessageA(b, LB_GETITEMDATA, 1, 0), 2000);
  EXPECT_EQ(SendMessageA(b, LB_FINDSTRING, WPARAM(-1), 3000), 2);
  EXPECT_EQ(SendMessageA(b, LB_FINDSTRINGEXACT, 1, 1000), LB_ERR); // no wrap-around
  ULONG_PTR buffer = 0;
  EXPECT_EQ(SendMessageA(b, LB_GETTEXT, 0, LPARAM(&buffer)), 1000);
  EXPECT_EQ(buffer, 1000u);
  EXPECT_EQ(SendMessageA(b, LB_SETITEMDATA, 0, 1111), 0);
  EXPECT_EQ(SendMessageA(b, LB_GETITEMDATA, 0, 0), 1111);
  EXPECT_EQ(SendMessageA(b, LB_SETITEMDATA, 9, 1), LB_ERR);
  EXPECT_EQ(Zell::liveRecords(), 3u);

  // Multiple selection: the space bar checks only a selected item, and
  // flips its selection.
  SendMessageA(b, LB_SETCARETINDEX, 1, 0);
  space(b);
  EXPECT_EQ(check(b, 1), 0);
  EXPECT_GT(SendMessageA(b, LB_GETSEL, 1, 0), 0);
  space(b);
  EXPECT_EQ(check(b, 1), 1);
  EXPECT_EQ(SendMessageA(b, LB_GETSEL, 1, 0), 0);
  ASSERT_EQ(g_log.commands.size(), 1u);
  EXPECT_EQ(g_log.commands[0].first, kListB);

  SendMessageA(b, LB_DELETESTRING, 0, 0);
  EXPECT_EQ(Zell::liveRecords(), 2u);
  SendMessageA(b, LB_RESETCONTENT, 0, 0);
  EXPECT_EQ(Zell::liveRecords(), 0u);
}

TEST_F(CheckList, ColumnTextIsCheckedAndOwned) {
  ASSERT_EQ(Zell::subclassCheckList(a), a);
  SendMessageA(a, CLBM_SETOPTIONS, 0, CLBO_COLUMNTEXT);
  EXPECT_EQ(SendMessageA(a, CLBM_GETOPTIONS, 0, 0), CLBO_COLUMNTEXT);
  EXPECT_EQ(SendMessageA(a, CLBM_SETCOLUMNTEXT, 0, 0), LB_ERR);
  EXPECT_EQ(SendMessageA(a, CLBM_SETCOLUMNTEXT, 99, LPARAM("x")), LB_ERR);
  char text[] = "12 MB";
  EXPECT_EQ(SendMessageA(a, CLBM_SETCOLUMNTEXT, 0, LPARAM(text)), 0);
  text[0] = 'X';
  EXPECT_STREQ(wrapperOf(a)->recordAt(0, false)->columnText, "12 MB");
  EXPECT_EQ(SendMessageA(a, 0x8009, 0, 0), SendMessageA(c, 0x8009, 0, 0)); // not ours: the list box answers
}

TEST_F(CheckList, ExtentFollowsTextsAndColumn) {
  ASSERT_EQ(Zell::subclassCheckList(a), a);
  auto extent = [&] { return int(SendMessageA(a, LB_GETHORIZONTALEXTENT, 0, 0)); };
  const int before = extent();
  SendMessageA(a, LB_ADDSTRING, 0, LPARAM("a much longer item text than the list box is wide, to scroll"));
  const int wide = extent();
  EXPECT_GT(wide, before);
  EXPECT_GT(wide, 150);
  SendMessageA(a, CLBM_SETOPTIONS, 0, CLBO_COLUMNTEXT);
  SendMessageA(a, CLBM_SETCOLUMNTEXT, 1, LPARAM("1234 KB"));
  const int withColumn = extent();
  EXPECT_GT(withColumn, wide);
  SendMessageA(a, CLBM_SETOPTIONS, 0, CLBO_COLUMNTEXT | CLBO_WORDWRAP); // column no longer beside the text
  EXPECT_EQ(extent(), wide);
  SendMessageA(a, CLBM_SETOPTIONS, 0, CLBO_COLUMNTEXT);
  EXPECT_EQ(extent(), withColumn);
  SendMessageA(a, LB_SETITEMHEIGHT, 0, 3); // raised to the glyph's height
  EXPECT_GE(SendMessageA(a, LB_GETITEMHEIGHT, 0, 0), Zell::glyphs()->height + 1);
  SendMessageA(a, LB_RESETCONTENT, 0, 0);
  EXPECT_EQ(extent(), 0);
  EXPECT_EQ(Zell::liveRecords(), 0u);
}

TEST_F(CheckList, OnlyWrappedListsGetReflectedMessages) {
  ASSERT_EQ(Zell::subclassCheckList(a), a);
  g_log.drawn.clear();
  g_log.measured.clear();
  HDC dc = GetDC(dlg);
  for (HWND lb : {a, c}) {
    DRAWITEMSTRUCT d{};
    d.CtlType = ODT_LISTBOX;
    d.CtlID = UINT(GetDlgCtrlID(lb));
    d.itemAction = ODA_DRAWENTIRE;
    d.hwndItem = lb;
    d.hDC = dc;
    d.rcItem = RECT{0, 0, 50, kRow};
    SendMessageA(dlg, WM_DRAWITEM, d.CtlID, LPARAM(&d));
    MEASUREITEMSTRUCT m{};
    m.CtlType = ODT_LISTBOX;
    m.CtlID = d.CtlID;
    SendMessageA(dlg, WM_MEASUREITEM, m.CtlID, LPARAM(&m));
    if (lb == a) {
      EXPECT_GE(int(m.itemHeight), Zell::glyphs()->height + 1); // answered by the wrapper
    }
  }
  ReleaseDC(dlg, dc);
  EXPECT_EQ(g_log.drawn[kListA], 0); // went to the list box itself
  EXPECT_EQ(g_log.measured[kListA], 0);
  EXPECT_EQ(g_log.drawn[kListC], 1); // the dialog still handles its other controls
  EXPECT_EQ(g_log.measured[kListC], 1);
}

// Draws item `index` through the reflected draw message into a 32-bit DIB
// and answers the DIB's pixels (rows top-down, 0x00RRGGBB).
std::vector<DWORD> drawRow(HWND lb, int index, ULONG_PTR itemData, int width = 120) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -kRow;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP dib = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, dib);
  DRAWITEMSTRUCT d{};
  d.CtlType = ODT_LISTBOX;
  d.CtlID = UINT(GetDlgCtrlID(lb));
  d.itemID = UINT(index);
  d.itemAction = ODA_DRAWENTIRE;
  d.hwndItem = lb;
  d.hDC = dc;
  d.rcItem = RECT{0, 0, width, kRow};
  d.itemData = itemData;
  SendMessageA(lb, 0x2000 + WM_DRAWITEM, WPARAM(d.CtlID), LPARAM(&d));
  GdiFlush();
  const auto* px = static_cast<const DWORD*>(bits);
  std::vector<DWORD> out(px, px + width * kRow);
  SelectObject(dc, old);
  DeleteObject(dib);
  DeleteDC(dc);
  for (DWORD& p : out) p &= 0xFFFFFF;
  return out;
}

constexpr DWORD kWhite = 0xFFFFFF, kGrey = 0x808080, kSilver = 0xC0C0C0, kBlack = 0;

void expectGlyph(const std::vector<DWORD>& px, int state, int width = 120) {
  // Glyph at x = 1, centred in a 16-pixel row: y = 2.
  auto at = [&](int x, int y) { return px[size_t((2 + y) * width + 1 + x)]; };
  const DWORD face = state == 2 ? kSilver : kWhite;
  EXPECT_EQ(at(0, 0), kGrey);
  EXPECT_EQ(at(10, 10), kGrey);
  EXPECT_EQ(at(2, 8), face);
  EXPECT_EQ(at(5, 6), state == 0 ? kWhite : kBlack); // on the check mark
}

TEST_F(CheckList, GlyphsAreDrawnFromTheBitmap) {
  ASSERT_EQ(Zell::glyphs()->width, 11);
  ASSERT_EQ(Zell::glyphs()->height, 11);
  ASSERT_EQ(Zell::subclassCheckList(a), a);
  Zell::CCheckListBox* w = wrapperOf(a);
  for (int state : {0, 1, 2}) {
    SCOPED_TRACE(state);
    SendMessageA(a, CLBM_SETCHECK, 0, state);
    expectGlyph(drawRow(a, 0, reinterpret_cast<ULONG_PTR>(w->recordAt(0, false))), state);
  }
  // A state beyond the glyph set leaves the cell in its background.
  SendMessageA(a, CLBM_SETCHECK, 0, 5);
  EXPECT_EQ(check(a, 0), 5);
  const std::vector<DWORD> px = drawRow(a, 0, reinterpret_cast<ULONG_PTR>(w->recordAt(0, false)));
  const DWORD window = GetSysColor(COLOR_WINDOW);
  const DWORD back = (GetRValue(window) << 16) | (GetGValue(window) << 8) | GetBValue(window);
  for (int y = 0; y < kRow; ++y)
    for (int x = 0; x < 13; ++x) ASSERT_EQ(px[size_t(y * 120 + x)], back) << x << "," << y;
}

TEST_F(CheckList, FixedChecksStayWhileTextScrolls) {
  ASSERT_EQ(Zell::subclassCheckList(a), a);
  SendMessageA(a, CLBM_SETOPTIONS, 0, CLBO_FIXEDCHECKS);
  SendMessageA(a, LB_SETHORIZONTALEXTENT, 1000, 0);
  SendMessageA(a, WM_HSCROLL, SB_PAGERIGHT, 0);
  ASSERT_GT(GetScrollPos(a, SB_HORZ), 0);
  click(a, boxPoint(a, 0));
  EXPECT_EQ(check(a, 0), 1);
  SendMessageA(a, CLBM_SETOPTIONS, 0, 0);
  click(a, boxPoint(a, 0)); // the box has scrolled out of reach
  EXPECT_EQ(check(a, 0), 1);
  SendMessageA(a, WM_HSCROLL, SB_LEFT, 0);
  EXPECT_EQ(GetScrollPos(a, SB_HORZ), 0);
  click(a, boxPoint(a, 0));
  EXPECT_EQ(check(a, 0), 0);
}

TEST_F(CheckList, DestroyedDialogFreesWrappersAndRecords) {
  ASSERT_EQ(Zell::subclassCheckList(a), a);
  ASSERT_EQ(Zell::subclassCheckList(b), b);
  SendMessageA(b, LB_ADDSTRING, 0, 7);
  for (int i = 0; i < 4; ++i) SendMessageA(a, CLBM_SETCHECK, WPARAM(i), 1);
  SendMessageA(a, CLBM_SETCOLUMNTEXT, 0, LPARAM("col"));
  EXPECT_EQ(Zell::liveRecords(), 5u);
  EXPECT_EQ(Zell::liveWrappers(), 2u);
  DestroyWindow(dlg);
  EXPECT_EQ(Zell::liveRecords(), 0u);
  EXPECT_EQ(Zell::liveWrappers(), 0u);
  EXPECT_EQ(Zell::liveReflectors(), 0u);
}

// The library's own glyph resource, through its exports.
TEST_F(CheckList, LibraryLoadsItsGlyphs) {
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string dir(self);
  dir.erase(dir.find_last_of("\\/") + 1);
  HMODULE lib = LoadLibraryA((dir + "Tolvane.dll").c_str());
  ASSERT_NE(lib, nullptr);
  auto subclass = reinterpret_cast<HWND(WINAPI*)(HWND)>(reinterpret_cast<void*>(GetProcAddress(lib, "CheckListBox_Subclass")));
  auto unsubclass = reinterpret_cast<int(WINAPI*)(HWND)>(reinterpret_cast<void*>(GetProcAddress(lib, "CheckListBox_Unsubclass")));
  ASSERT_TRUE(subclass && unsubclass);
  const auto listProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(c, GWLP_WNDPROC));
  ASSERT_EQ(subclass(c), c);
  SendMessageA(c, CLBM_SETCHECKMODE, 0, 6);
  click(c, boxPoint(c, 0));
  click(c, boxPoint(c, 0));
  EXPECT_EQ(check(c, 0), 2);
  // The record belongs to the library: ask the list box's own procedure.
  const auto raw = ULONG_PTR(CallWindowProcA(listProc, c, LB_GETITEMDATA, 0, 0));
  expectGlyph(drawRow(c, 0, raw), 2);
  EXPECT_EQ(unsubclass(c), 1);
  EXPECT_EQ(GetWindowLongPtrA(c, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(listProc));
  DestroyWindow(dlg);
  FreeLibrary(lib);
}

} // namespace

#include "zell_checklist_win.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "tolvane.h"
#include "zell_core.h"

namespace Zell {

namespace {

const char kWindowProp[] = "Zell::CWindow";
const char kReflectorProp[] = "Zell::CMessageReflector";
const char kReflectorProcProp[] = "Zell::CMessageReflector::Proc";
const char kReflectorRefProp[] = "Zell::CMessageReflector::Ref";
constexpr UINT kReflect = 0x2000;

CCheckGlyphs* g_glyphs = nullptr;
std::size_t g_records = 0, g_wrappers = 0, g_reflectors = 0;

HWND ownerOf(HWND hwnd) {
  HWND owner = GetWindow(hwnd, GW_OWNER);
  return owner ? owner : GetParent(hwnd);
}

bool isDialog(HWND hwnd) {
  char name[8] = {};
  GetClassNameA(hwnd, name, sizeof name);
  return lstrcmpiA(name, "#32770") == 0;
}

CMessageReflector* reflectorOf(HWND owner) { return static_cast<CMessageReflector*>(GetPropA(owner, kReflectorProp)); }

CCheckListBox* wrappedListBox(HWND hwnd) {
  if (!hwnd) return nullptr;
  auto* w = dynamic_cast<CCheckListBox*>(CWindow::fromWindow(hwnd));
  return w && w->hwnd == hwnd ? w : nullptr;
}

INT_PTR CALLBACK reflectorDlgProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
LRESULT CALLBACK reflectorWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

bool acquireReflector(HWND owner) {
  const auto refs = reinterpret_cast<INT_PTR>(GetPropA(owner, kReflectorRefProp)) + 1;
  if (!SetPropA(owner, kReflectorRefProp, reinterpret_cast<HANDLE>(refs))) return false;
  if (refs != 1 || reflectorOf(owner)) return true;
  auto* r = new (std::nothrow) CMessageReflector;
  if (!r) {
    RemovePropA(owner, kReflectorRefProp);
    return false;
  }
  r->owner = owner;
  ++g_reflectors;
  SetPropA(owner, kReflectorProp, r);
  SetLastError(0);
  LONG_PTR prev;
  if (isDialog(owner)) {
    prev = SetWindowLongPtrA(owner, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(&reflectorDlgProc));
    r->prevDlgProc = reinterpret_cast<DLGPROC>(prev);
  } else {
    prev = SetWindowLongPtrA(owner, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&reflectorWndProc));
    r->prevWndProc = reinterpret_cast<WNDPROC>(prev);
  }
  if (!prev && GetLastError() != 0) {
    RemovePropA(owner, kReflectorProp);
    RemovePropA(owner, kReflectorRefProp);
    delete r;
    --g_reflectors;
    return false;
  }
  SetPropA(owner, kReflectorProcProp, reinterpret_cast<HANDLE>(prev));
  return true;
}

// Puts the owner's procedure back and destroys the reflector.
void removeReflector(HWND owner) {
  CMessageReflector* r = reflectorOf(owner);
  if (!r) return;
  if (r->prevDlgProc) {
    if (GetWindowLongPtrA(owner, DWLP_DLGPROC) == reinterpret_cast<LONG_PTR>(&reflectorDlgProc))
      SetWindowLongPtrA(owner, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(r->prevDlgProc));
  } else if (GetWindowLongPtrA(owner, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&reflectorWndProc)) {
    SetWindowLongPtrA(owner, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(r->prevWndProc));
  }
  RemovePropA(owner, kReflectorProp);
  RemovePropA(owner, kReflectorProcProp);
  RemovePropA(owner, kReflectorRefProp);
  r->release();
}

void releaseReflector(HWND owner) {
  if (!reflectorOf(owner)) return;
  auto refs = reinterpret_cast<INT_PTR>(GetPropA(owner, kReflectorRefProp)) - 1;
  if (refs > 0) {
    SetPropA(owner, kReflectorRefProp, reinterpret_cast<HANDLE>(refs));
    return;
  }
  removeReflector(owner);
}

// Finds the list box that an owner-draw message of the owner concerns.
HWND reflectTarget(HWND owner, UINT msg, WPARAM wp, LPARAM lp) {
  if (!wp || !lp) return nullptr;
  switch (msg) {
  case WM_DRAWITEM: return reinterpret_cast<DRAWITEMSTRUCT*>(lp)->hwndItem;
  case WM_MEASUREITEM: return GetDlgItem(owner, int(reinterpret_cast<MEASUREITEMSTRUCT*>(lp)->CtlID));
  case WM_DELETEITEM: return GetDlgItem(owner, int(reinterpret_cast<DELETEITEMSTRUCT*>(lp)->CtlID));
  case WM_COMPAREITEM: return GetDlgItem(owner, int(reinterpret_cast<COMPAREITEMSTRUCT*>(lp)->CtlID));
  default: return nullptr;
  }
}

// Answers true with the reflected result when the message went to one of
// our list boxes.
bool reflect(HWND owner, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  HWND target = reflectTarget(owner, msg, wp, lp);
  if (!wrappedListBox(target)) return false;
  result = SendMessageA(target, kReflect + msg, wp, lp);
  return true;
}

INT_PTR CALLBACK reflectorDlgProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  CMessageReflector* r = reflectorOf(hwnd);
  DLGPROC prev = r ? r->prevDlgProc : nullptr;
  if (!r) return FALSE;
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrA(hwnd, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(prev));
    INT_PTR res = prev ? prev(hwnd, msg, wp, lp) : FALSE;
    removeReflector(hwnd);
    return res;
  }
  LRESULT result = 0;
  if (reflect(hwnd, msg, wp, lp, result)) {
    if (msg == WM_COMPAREITEM) return result;
    SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
  }
  return prev ? prev(hwnd, msg, wp, lp) : FALSE;
}

LRESULT CALLBACK reflectorWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  CMessageReflector* r = reflectorOf(hwnd);
  WNDPROC prev = r ? r->prevWndProc : DefWindowProcA;
  if (!r) return DefWindowProcA(hwnd, msg, wp, lp);
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(prev));
    LRESULT res = CallWindowProcA(prev, hwnd, msg, wp, lp);
    removeReflector(hwnd);
    return res;
  }
  LRESULT result = 0;
  if (reflect(hwnd, msg, wp, lp, result)) return msg == WM_COMPAREITEM ? result : 1;
  return CallWindowProcA(prev, hwnd, msg, wp, lp);
}

} // namespace

bool failNextAttach = false;

// --- glyph set ---------------------------------------------------------------

CCheckGlyphs::CCheckGlyphs(HINSTANCE module) {
  bitmap = static_cast<HBITMAP>(LoadImageA(module, MAKEINTRESOURCEA(IDB_CHECKGLYPHS), IMAGE_BITMAP, 0, 0, 0));
  BITMAP bm{};
  if (bitmap && GetObjectA(bitmap, sizeof bm, &bm)) {
    width = bm.bmWidth / zell::kGlyphCount;
    height = bm.bmHeight;
  }
}

CCheckGlyphs::~CCheckGlyphs() {
  if (bitmap) DeleteObject(bitmap);
}

bool createGlyphs(HINSTANCE module) {
  if (g_glyphs) return true;
  g_glyphs = new (std::nothrow) CCheckGlyphs(module);
  return g_glyphs != nullptr;
}

void destroyGlyphs() {
  delete g_glyphs;
  g_glyphs = nullptr;
}

const CCheckGlyphs* glyphs() { return g_glyphs; }

std::size_t liveRecords() { return g_records; }
std::size_t liveWrappers() { return g_wrappers; }
std::size_t liveReflectors() { return g_reflectors; }

void CMessageReflector::release() {
  --g_reflectors;
  delete this;
}

// --- window wrapper ------------------------------------------------------------

WNDPROC CWindow::windowProcAddress() { return &CWindow::sharedProc; }

CWindow* CWindow::fromWindow(HWND hwnd) { return static_cast<CWindow*>(GetPropA(hwnd, kWindowProp)); }

bool CWindow::attach(HWND window) {
  if (!SetPropA(window, kWindowProp, this)) return false;
  SetLastError(0);
  LONG_PTR prev = 0;
  if (failNextAttach) {
    failNextAttach = false;
    SetLastError(ERROR_ACCESS_DENIED);
  } else {
    prev = SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(windowProcAddress()));
  }
  if (!prev && GetLastError() != 0) {
    RemovePropA(window, kWindowProp);
    return false;
  }
  hwnd = window;
  prevProc = reinterpret_cast<WNDPROC>(prev);
  return true;
}

bool CWindow::detach() {
  if (!hwnd) return true;
  if (GetWindowLongPtrA(hwnd, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(windowProcAddress())) return false;
  SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(prevProc));
  hwnd = nullptr;
  prevProc = DefWindowProcA;
  return true;
}

LRESULT CWindow::callPrevious(UINT msg, WPARAM wp, LPARAM lp) { return CallWindowProcA(prevProc, hwnd, msg, wp, lp); }

LRESULT CALLBACK CWindow::sharedProc(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
  CWindow* w = fromWindow(window);
  if (!w || w->hwnd != window) return DefWindowProcA(window, msg, wp, lp);
  if (msg == WM_NCDESTROY) {
    RemovePropA(window, kWindowProp);
    const LONG_PTR current = GetWindowLongPtrA(window, GWLP_WNDPROC);
    WNDPROC prev = w->prevProc;
    LRESULT res = CallWindowProcA(prev, window, msg, wp, lp);
    if (prev != DefWindowProcA && IsWindow(window) && GetWindowLongPtrA(window, GWLP_WNDPROC) == current)
      SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(prev));
    w->hwnd = nullptr;
    w->finalMessage();
    return res;
  }
  LRESULT result = 0;
  bool handled = false;
  try {
    handled = w->handleMessage(window, msg, wp, lp, result, 0);
  } catch (...) {
    handled = false;
  }
  return handled ? result : w->callPrevious(msg, wp, lp);
}

// --- check-box list ------------------------------------------------------------

CCheckListBox::CCheckListBox(const CCheckGlyphs& glyphs) : glyphs_(glyphs) { ++g_wrappers; }

CCheckListBox::~CCheckListBox() {
  for (CheckItemData* rec : records_) {
    delete[] rec->columnText;
    delete rec;
    --g_records;
  }
  if (font_) DeleteObject(font_);
  --g_wrappers;
}

void CCheckListBox::finalMessage() {
  if (counted && owner) {
    counted = false;
    releaseReflector(owner);
  }
  delete this;
}

CheckItemData* CCheckListBox::asRecord(ULONG_PTR value) const {
  auto* p = reinterpret_cast<CheckItemData*>(value);
  return records_.count(p) ? p : nullptr;
}

CheckItemData* CCheckListBox::newRecord(ULONG_PTR user) {
  auto* rec = new CheckItemData;
  rec->user = user;
  records_.insert(rec);
  ++g_records;
  return rec;
}

void CCheckListBox::destroyRecord(CheckItemData* rec) {
  if (!rec || !records_.erase(rec)) return;
  delete[] rec->columnText;
  delete rec;
  --g_records;
}

int CCheckListBox::count() { return int(callPrevious(LB_GETCOUNT, 0, 0)); }

bool CCheckListBox::validIndex(int index) { return index >= 0 && index < count(); }

CheckItemData* CCheckListBox::recordAt(int index, bool create) {
  if (!validIndex(index)) return nullptr;
  const auto data = ULONG_PTR(callPrevious(LB_GETITEMDATA, WPARAM(index), 0));
  if (CheckItemData* rec = asRecord(data)) return rec;
  if (!create) return nullptr;
  CheckItemData* rec = newRecord(data);
  if (callPrevious(LB_SETITEMDATA, WPARAM(index), LPARAM(rec)) == LB_ERR) {
    destroyRecord(rec);
    return nullptr;
  }
  return rec;
}

DWORD CCheckListBox::style() const { return DWORD(GetWindowLongPtrA(hwnd, GWL_STYLE)); }
bool CCheckListBox::hasStrings() const { return style() & LBS_HASSTRINGS; }
bool CCheckListBox::columnInExtent() const {
  return (options_ & CLBO_COLUMNTEXT) && !(options_ & CLBO_WORDWRAP);
}

bool CCheckListBox::itemEnabled(int index) {
  CheckItemData* rec = recordAt(index, false);
  return !rec || rec->enabled;
}

uint32_t CCheckListBox::checkState(int index) {
  CheckItemData* rec = recordAt(index, false);
  return rec ? rec->state : 0;
}

int CCheckListBox::lineHeight() {
  if (lineHeight_ > 0) return lineHeight_;
  HDC dc = GetDC(hwnd);
  HGDIOBJ old = SelectObject(dc, font_ ? font_ : GetStockObject(DEFAULT_GUI_FONT));
  TEXTMETRICA tm{};
  GetTextMetricsA(dc, &tm);
  SelectObject(dc, old);
  ReleaseDC(hwnd, dc);
  lineHeight_ = tm.tmHeight + tm.tmExternalLeading;
  return lineHeight_;
}

int CCheckListBox::minRow() { return zell::minRowHeight(hasStrings(), hasStrings() ? lineHeight() : 0, glyphs_.height); }

int CCheckListBox::textWidth(const char* text) {
  HDC dc = GetDC(hwnd);
  HGDIOBJ old = SelectObject(dc, font_ ? font_ : GetStockObject(DEFAULT_GUI_FONT));
  RECT rc{0, 0, 0, 0};
  DrawTextA(dc, text, -1, &rc, DT_CALCRECT | DT_SINGLELINE | DT_EXPANDTABS | DT_NOPREFIX);
  SelectObject(dc, old);
  ReleaseDC(hwnd, dc);
  return int(rc.right - rc.left) + 3;
}

int CCheckListBox::columnWidthOf(const char* text) { return text ? textWidth(text) + 3 : 0; }

int CCheckListBox::itemTextWidth(int index) {
  int textW = 0;
  if (hasStrings()) {
    const LRESULT len = callPrevious(LB_GETTEXTLEN, WPARAM(index), 0);
    if (len < 0) return 0;
    std::string text(size_t(len) + 1, '\0');
    callPrevious(LB_GETTEXT, WPARAM(index), LPARAM(text.data()));
    textW = textWidth(text.c_str());
  }
  return zell::itemWidth(hasStrings(), textW, glyphs_.width, columnInExtent(), columnWidth_);
}

void CCheckListBox::sendExtent() { SendMessageA(hwnd, LB_SETHORIZONTALEXTENT, WPARAM(std::max(extent_, 0)), 0); }

void CCheckListBox::recomputeExtent(int excludeIndex) {
  const int n = count();
  int column = minColumnWidth_;
  for (int i = 0; i < n; ++i) {
    if (i == excludeIndex) continue;
    if (CheckItemData* rec = recordAt(i, false)) column = std::max(column, columnWidthOf(rec->columnText));
  }
  columnWidth_ = column;
  int extent = 0;
  for (int i = 0; i < n; ++i)
    if (i != excludeIndex) extent = std::max(extent, itemTextWidth(i));
  extent_ = extent;
  sendExtent();
}

void CCheckListBox::invalidateRow(int index, bool erase) {
  RECT rc;
  if (callPrevious(LB_GETITEMRECT, WPARAM(index), LPARAM(&rc)) != LB_ERR) InvalidateRect(hwnd, &rc, erase);
}

void CCheckListBox::notify() {
  SendMessageA(GetParent(hwnd), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), CLBN_CHECKCHANGE), LPARAM(hwnd));
}

void CCheckListBox::advance(int index) {
  SendMessageA(hwnd, CLBM_SETCHECK, WPARAM(index), LPARAM(zell::nextCheckState(mode_, checkState(index))));
}

void CCheckListBox::setFont(HFONT font) {
  if (font_ && font_ != font) DeleteObject(font_);
  font_ = font;
  SendMessageA(hwnd, WM_SETFONT, WPARAM(font), TRUE);
}

CCheckListBox::HitInfo CCheckListBox::hitTest(int x, int y) {
  const DWORD st = style();
  const int top = int(callPrevious(LB_GETTOPINDEX, 0, 0));
  if ((st & LBS_OWNERDRAWFIXED) && !(st & LBS_MULTICOLUMN)) {
    const zell::Hit h =
        zell::hitTestFixed(x, y, count(), top, int(callPrevious(LB_GETITEMHEIGHT, 0, 0)), glyphs_.width,
                           (options_ & CLBO_FIXEDCHECKS) ? 0 : scrollPos_);
    return {h.index, h.onBox};
  }
  RECT client;
  GetClientRect(hwnd, &client);
  std::vector<zell::Rect> rows;
  const int n = count();
  for (int i = std::max(top, 0); i < n; ++i) {
    RECT rc;
    if (callPrevious(LB_GETITEMRECT, WPARAM(i), LPARAM(&rc)) == LB_ERR) break;
    if (rc.top >= client.bottom && !(st & LBS_MULTICOLUMN)) break;
    rows.push_back({int(rc.left), int(rc.top), int(rc.right), int(rc.bottom)});
  }
  const zell::Hit h = zell::hitTestRows(x, y, rows.data(), int(rows.size()), std::max(top, 0), scrollPos_,
                                        options_ & CLBO_FIXEDCHECKS, glyphs_.width, glyphs_.height);
  return {h.index, h.onBox};
}

LRESULT CCheckListBox::click(WPARAM wp, LPARAM lp, bool doubleClick, bool& handled) {
  handled = true;
  if (!doubleClick) SetFocus(hwnd);
  const HitInfo hit = hitTest(short(LOWORD(lp)), short(HIWORD(lp)));
  const bool onBox = hit.index >= 0 && hit.onBox;
  if (doubleClick && !onBox) {
    handled = false;
    return 0;
  }
  if (onBox && !itemEnabled(hit.index)) return 0;
  const UINT msg = doubleClick ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN;
  if (!zell::modeTogglesOnClick(mode_)) {
    if (onBox) notify();
    callPrevious(msg, wp, lp);
    return 1;
  }
  if (onBox) {
    advance(hit.index);
    callPrevious(msg, wp, lp);
    notify();
    return 1;
  }
  callPrevious(msg, wp, lp);
  return 1;
}

LRESULT CCheckListBox::spaceBar(WPARAM wp, LPARAM lp) {
  const int caret = int(callPrevious(LB_GETCARETINDEX, 0, 0));
  if (!validIndex(caret)) return callPrevious(WM_KEYDOWN, wp, lp);
  if (!zell::modeTogglesOnClick(mode_)) {
    notify();
    return 0;
  }
  const DWORD st = style();
  const bool enabled = itemEnabled(caret);
  if (st & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) {
    const bool selected = callPrevious(LB_GETSEL, WPARAM(caret), 0) > 0;
    if (enabled) {
      if (selected) {
        advance(caret);
        notify();
      }
      callPrevious(LB_SETSEL, !selected, caret);
    } else {
      callPrevious(LB_SETSEL, FALSE, caret);
    }
    return 0;
  }
  if (!enabled) {
    if (callPrevious(LB_GETCURSEL, 0, 0) == caret) callPrevious(LB_SETCURSEL, WPARAM(-1), 0);
    return 0;
  }
  advance(caret);
  notify();
  return 0;
}

void CCheckListBox::hscroll(WPARAM wp) {
  SCROLLINFO si{};
  si.cbSize = sizeof si;
  si.fMask = SIF_ALL;
  if (!GetScrollInfo(hwnd, SB_HORZ, &si)) return;
  RECT client;
  GetClientRect(hwnd, &client);
  zell::ScrollState s;
  s.minPos = si.nMin;
  s.maxPos = si.nMax;
  s.page = int(si.nPage);
  s.pos = si.nPos;
  s.step = scrollStep_;
  s.extent = extent_;
  s.clientWidth = int(client.right - client.left);
  zell::HScroll code = zell::HScroll::Other;
  switch (LOWORD(wp)) {
  case SB_LINELEFT: code = zell::HScroll::LineLeft; break;
  case SB_LINERIGHT: code = zell::HScroll::LineRight; break;
  case SB_PAGELEFT: code = zell::HScroll::PageLeft; break;
  case SB_PAGERIGHT: code = zell::HScroll::PageRight; break;
  case SB_LEFT: code = zell::HScroll::Left; break;
  case SB_RIGHT: code = zell::HScroll::Right; break;
  case SB_THUMBTRACK: code = zell::HScroll::ThumbTrack; break;
  default: return;
  }
  const int delta = zell::hscrollDelta(s, code, si.nTrackPos);
  if (delta == 0) return;
  const bool hadFocus = GetFocus() == hwnd;
  if (hadFocus) SendMessageA(hwnd, WM_KILLFOCUS, WPARAM(GetParent(hwnd)), 0);
  SetScrollPos(hwnd, SB_HORZ, si.nPos + delta, TRUE);
  const int now = GetScrollPos(hwnd, SB_HORZ);
  if (now != scrollPos_) {
    const int diff = scrollPos_ - now;
    scrollPos_ = now;
    if (options_ & CLBO_FIXEDCHECKS) client.left += glyphs_.width + 2;
    ScrollWindowEx(hwnd, diff, 0, &client, &client, nullptr, nullptr, SW_INVALIDATE | SW_ERASE);
  }
  if (hadFocus) SendMessageA(hwnd, WM_SETFOCUS, WPARAM(GetParent(hwnd)), 0);
}

LRESULT CCheckListBox::setColumnText(int index, const char* text) {
  if (!text) return LB_ERR;
  CheckItemData* rec = recordAt(index, true);
  if (!rec) return LB_ERR;
  const std::size_t len = std::strlen(text);
  char* copy = new (std::nothrow) char[len + 1];
  if (!copy) return LB_ERR;
  std::memcpy(copy, text, len + 1);
  if (columnInExtent()) extent_ -= columnWidth_;
  delete[] rec->columnText;
  rec->columnText = copy;
  const int old = columnWidth_;
  const int width = columnWidthOf(copy);
  if (width < columnWidth_) {
    int widest = minColumnWidth_;
    for (CheckItemData* r : records_) widest = std::max(widest, columnWidthOf(r->columnText));
    columnWidth_ = widest;
  } else if (width > columnWidth_) {
    columnWidth_ = width;
  }
  if (columnInExtent()) {
    extent_ += columnWidth_;
    sendExtent();
  }
  if (columnWidth_ != old) {
    if (options_ & CLBO_WORDWRAP) {
      const int n = count();
      for (int i = 0; i < n; ++i) {
        MEASUREITEMSTRUCT mis{};
        mis.CtlType = ODT_LISTBOX;
        mis.CtlID = UINT(GetDlgCtrlID(hwnd));
        mis.itemID = UINT(i);
        mis.itemData = ULONG_PTR(callPrevious(LB_GETITEMDATA, WPARAM(i), 0));
        reflectedMessage(WM_MEASUREITEM, mis.CtlID, LPARAM(&mis));
        callPrevious(LB_SETITEMHEIGHT, WPARAM(i), MAKELPARAM(mis.itemHeight, 0));
      }
    }
    InvalidateRect(hwnd, nullptr, TRUE);
  } else {
    invalidateRow(index, FALSE);
  }
  return 0;
}

bool CCheckListBox::handleMessage(HWND, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result, int map) {
  if (map != 0) return false;
  const bool strings = hasStrings();
  switch (msg) {
  case WM_LBUTTONDOWN:
  case WM_LBUTTONDBLCLK: {
    bool handled = false;
    result = click(wp, lp, msg == WM_LBUTTONDBLCLK, handled);
    return handled;
  }
  case WM_KEYDOWN:
    if (wp != VK_SPACE) return false;
    result = spaceBar(wp, lp);
    return true;
  case WM_SETFONT: {
    result = callPrevious(msg, wp, lp);
    lineHeight_ = 0;
    const DWORD st = style();
    if ((st & LBS_OWNERDRAWFIXED) && strings) callPrevious(LB_SETITEMHEIGHT, 0, MAKELPARAM(minRow(), 0));
    scrollStep_ = 1;
    if (strings) {
      HDC dc = GetDC(hwnd);
      HGDIOBJ old = SelectObject(dc, font_ ? font_ : GetStockObject(DEFAULT_GUI_FONT));
      TEXTMETRICA tm{};
      if (GetTextMetricsA(dc, &tm) && tm.tmAveCharWidth > 0) scrollStep_ = tm.tmAveCharWidth;
      SelectObject(dc, old);
      ReleaseDC(hwnd, dc);
    }
    return true;
  }
  case WM_HSCROLL:
    hscroll(wp);
    result = 0;
    return true;
  case LB_ADDSTRING:
  case LB_INSERTSTRING:
    if (!strings) {
      CheckItemData* rec = newRecord(ULONG_PTR(lp));
      result = callPrevious(msg, wp, LPARAM(rec));
      if (result == LB_ERR || result == LB_ERRSPACE) {
        destroyRecord(rec);
      } else if (msg == LB_ADDSTRING) {
        recordAt(int(result), true);
      }
      return true;
    }
    result = callPrevious(msg, wp, lp);
    if (result >= 0 && !(options_ & CLBO_WORDWRAP)) {
      const int w = itemTextWidth(int(result));
      if (w > extent_) {
        extent_ = w;
        sendExtent();
      }
    }
    return true;
  case LB_FINDSTRING:
  case LB_FINDSTRINGEXACT:
  case LB_SELECTSTRING: {
    if (strings) return false;
    const int n = count();
    result = LB_ERR;
    for (int i = int(wp) == -1 ? 0 : std::max(int(wp), 0); i < n; ++i) {
      CheckItemData* rec = recordAt(i, false);
      const auto value = rec ? rec->user : ULONG_PTR(callPrevious(LB_GETITEMDATA, WPARAM(i), 0));
      if (value == ULONG_PTR(lp)) {
        result = i;
        break;
      }
    }
    if (msg == LB_SELECTSTRING && result >= 0) {
      if (style() & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL))
        callPrevious(LB_SETSEL, TRUE, result);
      else
        callPrevious(LB_SETCURSEL, WPARAM(result), 0);
    }
    return true;
  }
  case LB_GETITEMDATA: {
    result = callPrevious(msg, wp, lp);
    if (result != LB_ERR && result != 0)
      if (CheckItemData* rec = asRecord(ULONG_PTR(result))) result = LRESULT(rec->user);
    return true;
  }
  case LB_SETITEMDATA: {
    const int first = int(wp) == -1 ? 0 : int(wp);
    const int last = int(wp) == -1 ? count() - 1 : int(wp);
    if (!validIndex(first)) {
      result = LB_ERR;
      return true;
    }
    for (int i = first; i <= last; ++i) {
      CheckItemData* rec = recordAt(i, true);
      if (!rec) {
        result = LB_ERR;
        return true;
      }
      rec->user = ULONG_PTR(lp);
    }
    result = 0;
    return true;
  }
  case LB_GETTEXT:
    result = callPrevious(msg, wp, lp);
    if (!strings && result != LB_ERR) {
      CheckItemData* rec = recordAt(int(wp), false);
      const ULONG_PTR user = rec ? rec->user : ULONG_PTR(callPrevious(LB_GETITEMDATA, wp, 0));
      if (lp) std::memcpy(reinterpret_cast<void*>(lp), &user, sizeof user);
      result = LRESULT(user);
    }
    return true;
  case LB_SETITEMHEIGHT:
    result = callPrevious(msg, wp, MAKELPARAM(std::max<int>(LOWORD(lp), minRow()), 0));
    return true;
  case LB_RESETCONTENT:
    resetting_ = true;
    result = callPrevious(msg, wp, lp);
    resetting_ = false;
    columnWidth_ = extent_ = scrollPos_ = 0;
    sendExtent();
    return true;
  case LB_SETHORIZONTALEXTENT: {
    const int before = GetScrollPos(hwnd, SB_HORZ);
    result = callPrevious(msg, wp, lp);
    if (GetScrollPos(hwnd, SB_HORZ) != before) {
      SetScrollPos(hwnd, SB_HORZ, before, TRUE);
      const int now = GetScrollPos(hwnd, SB_HORZ);
      if (now != scrollPos_) {
        scrollPos_ = now;
        InvalidateRect(hwnd, nullptr, TRUE);
      }
    }
    return true;
  }
  case CLBM_SETCHECKMODE:
    mode_ = uint32_t(lp);
    result = 0;
    return true;
  case CLBM_GETCHECKMODE:
    result = LRESULT(mode_);
    return true;
  case CLBM_SETCHECK: {
    result = 0;
    const uint32_t state = LOWORD(lp);
    if (!zell::modeAcceptsState(mode_, state)) return true;
    if (CheckItemData* rec = recordAt(int(wp), true)) {
      rec->state = state;
      invalidateRow(int(wp), FALSE);
    }
    return true;
  }
  case CLBM_GETCHECK:
    result = LRESULT(checkState(int(wp)));
    return true;
  case CLBM_SETITEMENABLED:
    result = 0;
    if (CheckItemData* rec = recordAt(int(wp), true)) {
      rec->enabled = LOWORD(lp);
      invalidateRow(int(wp), FALSE);
    }
    return true;
  case CLBM_GETITEMENABLED:
    result = itemEnabled(int(wp)) ? 1 : 0;
    return true;
  case CLBM_SETOPTIONS: {
    const bool before = columnInExtent();
    options_ = uint32_t(lp);
    const bool after = columnInExtent();
    if (before != after) {
      extent_ += after ? columnWidth_ : -columnWidth_;
      sendExtent();
    }
    result = 0;
    return true;
  }
  case CLBM_GETOPTIONS:
    result = LRESULT(options_);
    return true;
  case CLBM_SETCOLUMNTEXT:
    result = setColumnText(int(wp), reinterpret_cast<const char*>(lp));
    return true;
  case kReflect + WM_DRAWITEM:
  case kReflect + WM_MEASUREITEM:
  case kReflect + WM_COMPAREITEM:
  case kReflect + WM_DELETEITEM:
    result = lp ? reflectedMessage(msg - kReflect, wp, lp) : 0;
    return true;
  default: return false;
  }
}

LRESULT CCheckListBox::reflectedMessage(UINT msg, WPARAM, LPARAM lp) {
  switch (msg) {
  case WM_DRAWITEM: {
    auto& d = *reinterpret_cast<DRAWITEMSTRUCT*>(lp);
    SetScrollPos(hwnd, SB_HORZ, scrollPos_, TRUE);
    POINT oldOrg;
    OffsetViewportOrgEx(d.hDC, -scrollPos_, 0, &oldOrg);
    RECT row = d.rcItem;
    row.right += scrollPos_;
    const int index = int(d.itemID);
    if (index >= 0 && (d.itemAction & (ODA_DRAWENTIRE | ODA_SELECT))) {
      CheckItemData* rec = asRecord(d.itemData);
      DRAWITEMSTRUCT item = d;
      item.rcItem = row;
      item.itemData = rec ? rec->user : d.itemData;
      item.rcItem.left += glyphs_.width + 2;
      if ((options_ & CLBO_COLUMNTEXT) && (options_ & CLBO_WORDWRAP)) item.rcItem.right -= columnWidth_;
      drawItem(item, rec);

      const bool enabled = IsWindowEnabled(hwnd) && (!rec || rec->enabled);
      const bool highlight = enabled && (d.itemState & ODS_SELECTED);
      const COLORREF back = GetSysColor(highlight ? COLOR_HIGHLIGHT : COLOR_WINDOW);
      const int shift = (options_ & CLBO_FIXEDCHECKS) ? scrollPos_ : 0;
      RECT cell{row.left + shift, row.top, row.left + shift + glyphs_.width + 2, row.bottom};
      HBRUSH brush = CreateSolidBrush(back);
      FillRect(d.hDC, &cell, brush);
      const int top = row.top + zell::glyphTopOffset(int(row.bottom - row.top), glyphs_.height);
      RECT glyph = checkBoxRect(RECT{cell.left + 1, top, cell.left + 1 + glyphs_.width, top + glyphs_.height});
      const int srcX = zell::glyphSourceX(rec ? rec->state : 0, glyphs_.width);
      if (srcX >= 0 && glyphs_.bitmap) {
        HDC mem = CreateCompatibleDC(d.hDC);
        HGDIOBJ old = SelectObject(mem, glyphs_.bitmap);
        BitBlt(d.hDC, glyph.left, glyph.top, glyphs_.width, glyphs_.height, mem, srcX, 0, SRCCOPY);
        SelectObject(mem, old);
        DeleteDC(mem);
      }
      if ((options_ & CLBO_COLUMNTEXT) && rec && rec->columnText) {
        RECT client;
        GetClientRect(hwnd, &client);
        RECT col{client.right - columnWidth_ + scrollPos_, row.top, client.right + scrollPos_, row.bottom};
        FillRect(d.hDC, &col, brush);
        col.right -= 2;
        SetBkMode(d.hDC, TRANSPARENT);
        HGDIOBJ oldFont = font_ ? SelectObject(d.hDC, font_) : nullptr;
        DrawTextA(d.hDC, rec->columnText, -1, &col, DT_RIGHT | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
        if (oldFont) SelectObject(d.hDC, oldFont);
      }
      DeleteObject(brush);
    } else if (index >= 0 && (d.itemAction & ODA_FOCUS)) {
      RECT text = row;
      text.left += glyphs_.width + 2;
      DrawFocusRect(d.hDC, &text);
    }
    SetViewportOrgEx(d.hDC, oldOrg.x, oldOrg.y, nullptr);
    return TRUE;
  }
  case WM_MEASUREITEM: {
    auto& m = *reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
    const int minimum = minRow();
    m.itemHeight = UINT(minimum);
    m.itemWidth = ~0u;
    if ((style() & LBS_OWNERDRAWVARIABLE) && !hasStrings())
      if (CheckItemData* rec = asRecord(m.itemData)) m.itemData = rec->user;
    m.itemHeight = UINT(std::max(measureItem(m), minimum));
    return TRUE;
  }
  case WM_COMPAREITEM: {
    auto& c = *reinterpret_cast<COMPAREITEMSTRUCT*>(lp);
    if (CheckItemData* rec = asRecord(c.itemData1)) c.itemData1 = rec->user;
    if (CheckItemData* rec = asRecord(c.itemData2)) c.itemData2 = rec->user;
    return compareItem(c);
  }
  case WM_DELETEITEM: {
    auto& d = *reinterpret_cast<DELETEITEMSTRUCT*>(lp);
    if (!d.itemData) d.itemData = ULONG_PTR(callPrevious(LB_GETITEMDATA, d.itemID, 0));
    if (CheckItemData* rec = asRecord(d.itemData)) {
      d.itemData = rec->user;
      destroyRecord(rec);
    }
    deleteItem(d);
    return TRUE;
  }
  default: return 0;
  }
}

void CCheckListBox::drawItem(DRAWITEMSTRUCT& d, const CheckItemData* rec) {
  const bool enabled = IsWindowEnabled(hwnd) && (!rec || rec->enabled);
  const bool selected = enabled && (d.itemState & ODS_SELECTED);
  COLORREF text = enabled ? GetSysColor(COLOR_WINDOWTEXT) : RGB(0x80, 0x80, 0x80);
  if (selected) text = GetSysColor(COLOR_HIGHLIGHTTEXT);
  if (text == GetSysColor(COLOR_WINDOW)) text = RGB(0xC0, 0xC0, 0xC0);
  const COLORREF back = GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW);
  HBRUSH brush = CreateSolidBrush(back);
  FillRect(d.hDC, &d.rcItem, brush);
  DeleteObject(brush);
  if (hasStrings() && int(d.itemID) >= 0) {
    const LRESULT len = callPrevious(LB_GETTEXTLEN, d.itemID, 0);
    if (len > 0) {
      std::string s(size_t(len) + 1, '\0');
      callPrevious(LB_GETTEXT, d.itemID, LPARAM(s.data()));
      SetTextColor(d.hDC, text);
      SetBkMode(d.hDC, TRANSPARENT);
      HGDIOBJ oldFont = font_ ? SelectObject(d.hDC, font_) : nullptr;
      UINT fmt = DT_EXPANDTABS | DT_NOPREFIX;
      fmt |= (options_ & CLBO_WORDWRAP) ? DT_WORDBREAK : (DT_SINGLELINE | DT_VCENTER);
      RECT rc = d.rcItem;
      DrawTextA(d.hDC, s.c_str(), -1, &rc, fmt);
      if (oldFont) SelectObject(d.hDC, oldFont);
    }
  }
  if (d.itemState & ODS_FOCUS) DrawFocusRect(d.hDC, &d.rcItem);
}

int CCheckListBox::measureItem(MEASUREITEMSTRUCT& m) {
  if (!((style() & LBS_OWNERDRAWVARIABLE) && hasStrings() && (options_ & CLBO_WORDWRAP))) return int(m.itemHeight);
  const LRESULT len = callPrevious(LB_GETTEXTLEN, m.itemID, 0);
  if (len <= 0) return int(m.itemHeight);
  std::string s(size_t(len) + 1, '\0');
  callPrevious(LB_GETTEXT, m.itemID, LPARAM(s.data()));
  RECT client;
  GetClientRect(hwnd, &client);
  RECT rc{0, 0, client.right - client.left - (glyphs_.width + 2), 0};
  if (options_ & CLBO_COLUMNTEXT) rc.right -= columnWidth_;
  HDC dc = GetDC(hwnd);
  HGDIOBJ old = SelectObject(dc, font_ ? font_ : GetStockObject(DEFAULT_GUI_FONT));
  DrawTextA(dc, s.c_str(), -1, &rc, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
  SelectObject(dc, old);
  ReleaseDC(hwnd, dc);
  return int(rc.bottom - rc.top);
}

void CCheckListBox::deleteItem(DELETEITEMSTRUCT& d) {
  if (resetting_) return;
  const bool strings = hasStrings();
  if (!((strings && !(options_ & CLBO_WORDWRAP)) || (options_ & CLBO_COLUMNTEXT))) return;
  if (itemTextWidth(int(d.itemID)) >= extent_) recomputeExtent(int(d.itemID));
}

void CCheckListBox::restoreItemData(HWND listBox) {
  WNDPROC proc = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(listBox, GWLP_WNDPROC));
  const int n = int(CallWindowProcA(proc, listBox, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < n; ++i) {
    const auto data = ULONG_PTR(CallWindowProcA(proc, listBox, LB_GETITEMDATA, WPARAM(i), 0));
    if (CheckItemData* rec = asRecord(data)) {
      CallWindowProcA(proc, listBox, LB_SETITEMDATA, WPARAM(i), LPARAM(rec->user));
      destroyRecord(rec);
    }
  }
}

// --- exports' work -------------------------------------------------------------

HWND subclassCheckList(HWND listBox) {
  if (!g_glyphs || !IsWindow(listBox)) return nullptr;
  CWindow* existing = CWindow::fromWindow(listBox);
  auto* wrapper = dynamic_cast<CCheckListBox*>(existing);
  if (existing && !wrapper) return nullptr;
  if (wrapper && wrapper->hwnd == listBox) return listBox; // already ours: no second chain
  HWND owner = ownerOf(listBox);
  if (!owner) return nullptr;
  HFONT copy = nullptr;
  if (auto font = reinterpret_cast<HFONT>(SendMessageA(listBox, WM_GETFONT, 0, 0))) {
    LOGFONTA lf{};
    if (GetObjectA(font, sizeof lf, &lf)) copy = CreateFontIndirectA(&lf);
  }
  if (!acquireReflector(owner)) {
    if (copy) DeleteObject(copy);
    return nullptr;
  }
  const bool created = !wrapper;
  if (created) wrapper = new (std::nothrow) CCheckListBox(*g_glyphs);
  if (!wrapper || !wrapper->attach(listBox)) {
    releaseReflector(owner);
    if (created) delete wrapper;
    if (copy) DeleteObject(copy);
    return nullptr;
  }
  wrapper->owner = owner;
  wrapper->counted = true;
  wrapper->setFont(copy);
  return listBox;
}

int unsubclassCheckList(HWND listBox) {
  auto* wrapper = dynamic_cast<CCheckListBox*>(CWindow::fromWindow(listBox));
  if (!wrapper || wrapper->hwnd != listBox) return 1;
  if (!wrapper->detach()) return 1; // another procedure sits over ours
  if (wrapper->counted) {
    wrapper->counted = false;
    releaseReflector(wrapper->owner);
  }
  // The list box no longer reaches us: its items get their own values back
  // and the wrapper goes, so that nothing outlives the list box.
  wrapper->restoreItemData(listBox);
  RemovePropA(listBox, kWindowProp);
  delete wrapper;
  return 1;
}

} // namespace Zell

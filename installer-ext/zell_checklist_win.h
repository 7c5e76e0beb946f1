// Check-box lists: the list-box wrapper, the owner's message reflector and
// the process-wide glyph set.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <unordered_set>

namespace Zell {

// The three check-box glyphs, loaded from the module's bitmap resource.
class CCheckGlyphs {
public:
  explicit CCheckGlyphs(HINSTANCE module);
  virtual ~CCheckGlyphs();
  CCheckGlyphs(const CCheckGlyphs&) = delete;
  CCheckGlyphs& operator=(const CCheckGlyphs&) = delete;

  HBITMAP bitmap = nullptr;
  int width = 0;  // of one glyph
  int height = 0;
};

// Per-item record kept as the list box's real item data.
struct CheckItemData {
  char magic[4] = {'Z', 'E', 'L', 'L'};
  uint32_t state = 0;
  uint32_t enabled = 1;
  ULONG_PTR user = 0;
  char* columnText = nullptr;
};

// A wrapper attached to a window through the "Zell::CWindow" property.
class CWindow {
public:
  virtual ~CWindow() = default;
  virtual bool handleMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result, int map) = 0;
  virtual WNDPROC windowProcAddress();
  virtual void finalMessage() {}

  bool attach(HWND hwnd);
  // Gives the window its previous procedure back when ours is still the
  // current one; false when another procedure was installed over ours.
  bool detach();
  LRESULT callPrevious(UINT msg, WPARAM wp, LPARAM lp);

  static CWindow* fromWindow(HWND hwnd);
  static LRESULT CALLBACK sharedProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

  HWND hwnd = nullptr;
  WNDPROC prevProc = DefWindowProcA;
};

class CCheckListBox : public CWindow {
public:
  explicit CCheckListBox(const CCheckGlyphs& glyphs);
  ~CCheckListBox() override;

  bool handleMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result, int map) override;
  void finalMessage() override;

  virtual RECT checkBoxRect(const RECT& rc) { return rc; }
  virtual LRESULT reflectedMessage(UINT msg, WPARAM wp, LPARAM lp);
  virtual void drawItem(DRAWITEMSTRUCT& dis, const CheckItemData* rec);
  virtual int measureItem(MEASUREITEMSTRUCT& mis);
  virtual int compareItem(COMPAREITEMSTRUCT&) { return 0; }
  virtual void deleteItem(DELETEITEMSTRUCT& dis);

  void setFont(HFONT font);
  // Puts the user values back as the item data of a detached list box and
  // destroys the records.
  void restoreItemData(HWND listBox);

  // Records of this list box; a value is a record only when it is one of these.
  CheckItemData* asRecord(ULONG_PTR value) const;
  CheckItemData* recordAt(int index, bool create);
  CheckItemData* newRecord(ULONG_PTR user);
  void destroyRecord(CheckItemData* rec);

  HWND owner = nullptr;
  bool counted = false; // holds one count of the owner's reflector

private:
  LRESULT click(WPARAM wp, LPARAM lp, bool doubleClick, bool& handled);
  LRESULT spaceBar(WPARAM wp, LPARAM lp);
  void hscroll(WPARAM wp);
  void advance(int index);
  void notify();
  bool itemEnabled(int index);
  uint32_t checkState(int index);
  int count();
  bool validIndex(int index);
  DWORD style() const;
  bool hasStrings() const;
  bool columnInExtent() const;
  int lineHeight();
  int minRow();
  int textWidth(const char* text);
  int columnWidthOf(const char* text);
  int itemTextWidth(int index);
  void sendExtent();
  void recomputeExtent(int excludeIndex);
  void invalidateRow(int index, bool erase);
  struct HitInfo {
    int index;
    bool onBox;
  };
  HitInfo hitTest(int x, int y);
  LRESULT setColumnText(int index, const char* text);

  const CCheckGlyphs& glyphs_;
  int lineHeight_ = 0;
  int extent_ = 0;
  int columnWidth_ = 0;
  int minColumnWidth_ = 0;
  int scrollStep_ = 1;
  int scrollPos_ = 0;
  uint32_t mode_ = 0;
  uint32_t options_ = 0;
  bool resetting_ = false;
  HFONT font_ = nullptr;
  std::unordered_set<CheckItemData*> records_;
};

// Sends the owner-draw messages of an owner back to the wrapped list boxes.
class CMessageReflector {
public:
  virtual ~CMessageReflector() = default;
  virtual void release();

  DLGPROC prevDlgProc = nullptr;
  WNDPROC prevWndProc = nullptr;
  HWND owner = nullptr;
};

// Library-wide glyph set; created at load.
bool createGlyphs(HINSTANCE module);
void destroyGlyphs();
const CCheckGlyphs* glyphs();

HWND subclassCheckList(HWND listBox);
int unsubclassCheckList(HWND listBox);

// Diagnostics for the tests: live objects of this module.
std::size_t liveRecords();
std::size_t liveWrappers();
std::size_t liveReflectors();
// Test seam: makes the next procedure replacement fail.
extern bool failNextAttach;

} // namespace Zell

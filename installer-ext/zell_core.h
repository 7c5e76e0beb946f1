// Portable core of the installer extension library: number formatting,
// command lines, check states, hit testing and horizontal scrolling.
// No platform headers here; the Windows layer calls these with its values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zell {

// Result codes of the exports.
constexpr int kOk = 0;
constexpr int kFail = -2;

// --- numbers -------------------------------------------------------------

// Writes |dividend / divisor| in fixed notation with `decimals` digits after
// the decimal character (rounded half away from zero on the exact quotient),
// no sign and no grouping. A negative count counts as 0. Answers false and
// leaves `out` untouched when the divisor is 0. `out` must hold
// divFormatSize() bytes.
bool divFormat(char* out, int32_t dividend, int32_t divisor, int16_t decimals, char decimalChar);
std::size_t divFormatSize(int32_t dividend, int32_t divisor, int16_t decimals);

// Inserts `separator` every three characters of the integer part of `in`
// (the text before the first `decimalChar`); the rest is copied unchanged.
// `out` must hold delimitSize() bytes and must not overlap `in`.
void delimit(char* out, const char* in, char separator, char decimalChar);
std::size_t delimitSize(const char* in, char decimalChar);

// --- processes -----------------------------------------------------------

// "program" or "program arguments" (one blank), program text unchanged.
std::string launchCommandLine(const char* program, const char* arguments);
// Creation flags: separate 16-bit machine (0x820) or the shared one (0x1020).
uint32_t launchCreationFlags(int separate);

// The platform's operations on one started process.
class ProcessOps {
public:
  virtual ~ProcessOps() = default;
  virtual bool running() = 0;
  virtual bool terminate(uint32_t exitCode) = 0;
  virtual void waitEnded() = 0; // bounded wait until the process has ended
  virtual bool exitCode(uint32_t& code) = 0;
  virtual void close() = 0;
};

// Ends a running process with code 0 and waits for it to be gone (an ended
// one is left alone), stores its exit code (0 when unreadable) and closes
// it. kFail, with nothing written or closed, when termination fails.
int endProcess(ProcessOps& process, uint32_t* exitCode);

// --- check states --------------------------------------------------------

constexpr int kGlyphCount = 3;

// Whether a click or the space bar changes the state in this mode
// (modes 2 and 5 only notify).
bool modeTogglesOnClick(uint32_t mode);
// State after a click or the space bar in a toggling mode.
uint32_t nextCheckState(uint32_t mode, uint32_t state);
// Whether the state may be set through the set-check message in this mode.
bool modeAcceptsState(uint32_t mode, uint32_t state);
// Source x of a state's glyph in the glyph bitmap, or -1 when the state has
// no glyph or the bitmap holds no glyphs.
int glyphSourceX(uint32_t state, int glyphWidth);
// Top offset that centres a glyph vertically in a row (never negative).
int glyphTopOffset(int rowHeight, int glyphHeight);

// --- row geometry --------------------------------------------------------

int minRowHeight(bool hasStrings, int lineHeight, int glyphHeight);
// Width of an item: text width (with strings), glyph and gap, plus the
// column when it is shown beside (not under) wrapped text.
int itemWidth(bool hasStrings, int textWidth, int glyphWidth, bool columnInExtent, int columnWidth);

struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
};

struct Hit {
  int index = -1;     // item under the point, -1 for none
  bool onBox = false; // the point lies on the item's check box
};

// Fixed-height rows in one column: rows of `itemHeight` from `topIndex`;
// the boxes sit `boxShift` pixels left of the client edge (the horizontal
// scroll position when they scroll with the text).
Hit hitTestFixed(int x, int y, int count, int topIndex, int itemHeight, int glyphWidth, int boxShift = 0);
// General case: `rows[i]` is the rectangle of item firstIndex + i; each is
// shifted left by `scrollPos` (unless the boxes stay fixed) and narrowed to
// the glyph's band.
Hit hitTestRows(int x, int y, const Rect* rows, int rowCount, int firstIndex, int scrollPos,
                bool fixedChecks, int glyphWidth, int glyphHeight);

// --- horizontal scrolling ------------------------------------------------

enum class HScroll { LineLeft, LineRight, PageLeft, PageRight, ThumbPosition, ThumbTrack, Left, Right, End, Other };

struct ScrollState {
  int minPos = 0, maxPos = 0; // scroll range
  int page = 0;               // page size (0 when unknown)
  int pos = 0;                // current position
  int step = 1;               // line step
  int extent = 0;             // horizontal extent in pixels
  int clientWidth = 0;
};

// a * b / c rounded half away from zero; -1 when c is 0.
int mulDiv(int a, int b, int c);
// Pixels to move for a scroll code (negative is left); 0 for codes that
// are ignored.
int hscrollDelta(const ScrollState& s, HScroll code, int thumb);

// --- diagnostics ---------------------------------------------------------

// Text of an assertion report; empty or null paths read "<Unknown>", the
// source file is named without its folders.
std::string assertReport(const char* expression, const char* taskPath, const char* modulePath, const char* file,
                         int line);

} // namespace zell

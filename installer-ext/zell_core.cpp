#include "zell_core.h"

#include <algorithm>
#include <cstring>

namespace zell {

namespace {

// |dividend / divisor| with `decimals` digits, rounded half away from zero
// on the exact quotient by long division in integers.
std::string formatQuotient(int32_t dividend, int32_t divisor, int decimals, char decimalChar) {
  const uint64_t a = dividend < 0 ? uint64_t(-int64_t(dividend)) : uint64_t(dividend);
  const uint64_t b = divisor < 0 ? uint64_t(-int64_t(divisor)) : uint64_t(divisor);
  uint64_t whole = a / b;
  uint64_t rest = a % b;
  std::string frac(std::size_t(decimals), '0');
  for (char& c : frac) {
    rest *= 10;
    c = char('0' + rest / b);
    rest %= b;
  }
  if (2 * rest >= b) { // half or more of the last place: away from zero
    std::size_t i = frac.size();
    while (i > 0 && frac[i - 1] == '9') frac[--i] = '0';
    if (i > 0)
      ++frac[i - 1];
    else
      ++whole;
  }
  std::string text = std::to_string(whole);
  if (decimals > 0) {
    text += decimalChar;
    text += frac;
  }
  return text;
}

} // namespace

bool divFormat(char* out, int32_t dividend, int32_t divisor, int16_t decimals, char decimalChar) {
  if (divisor == 0) return false;
  const std::string text = formatQuotient(dividend, divisor, std::max<int>(decimals, 0), decimalChar);
  std::memcpy(out, text.c_str(), text.size() + 1);
  return true;
}

std::size_t divFormatSize(int32_t dividend, int32_t divisor, int16_t decimals) {
  if (divisor == 0) return 1;
  return formatQuotient(dividend, divisor, std::max<int>(decimals, 0), '.').size() + 1;
}

namespace {
std::size_t integerPartLength(const char* in, char decimalChar) {
  std::size_t n = 0;
  while (in[n] != '\0' && in[n] != decimalChar) ++n;
  return n;
}
} // namespace

void delimit(char* out, const char* in, char separator, char decimalChar) {
  const std::size_t n = integerPartLength(in, decimalChar);
  const std::size_t groups = n > 0 ? (n - 1) / 3 : 0;
  std::size_t lead = n - 3 * groups;
  std::memcpy(out, in, lead);
  out += lead;
  in += lead;
  for (std::size_t g = 0; g < groups; ++g) {
    *out++ = separator;
    std::memcpy(out, in, 3);
    out += 3;
    in += 3;
  }
  std::memcpy(out, in, std::strlen(in) + 1);
}

std::size_t delimitSize(const char* in, char decimalChar) {
  const std::size_t n = integerPartLength(in, decimalChar);
  return std::strlen(in) + (n > 0 ? (n - 1) / 3 : 0) + 1;
}

std::string launchCommandLine(const char* program, const char* arguments) {
  std::string line = program ? program : "";
  if (arguments && *arguments) {
    line += ' ';
    line += arguments;
  }
  return line;
}

uint32_t launchCreationFlags(int separate) { return separate ? 0x820u : 0x1020u; }

int endProcess(ProcessOps& process, uint32_t* exitCode) {
  if (process.running()) {
    if (!process.terminate(0)) return kFail;
    // Termination completes asynchronously: read the code once it is final.
    process.waitEnded();
  }
  uint32_t code = 0;
  if (!process.exitCode(code)) code = 0;
  if (exitCode) *exitCode = code;
  process.close();
  return kOk;
}

bool modeTogglesOnClick(uint32_t mode) { return mode != 2 && mode != 5; }

uint32_t nextCheckState(uint32_t mode, uint32_t state) {
  const uint32_t n = mode == 6 ? 3 : 2;
  return state >= n ? 0 : (state + 1) % n;
}

bool modeAcceptsState(uint32_t mode, uint32_t state) { return !(state == 2 && (mode == 2 || mode == 3)); }

int glyphSourceX(uint32_t state, int glyphWidth) {
  if (glyphWidth <= 0 || state >= uint32_t(kGlyphCount)) return -1;
  return int(state) * glyphWidth;
}

int glyphTopOffset(int rowHeight, int glyphHeight) { return std::max(0, (rowHeight - glyphHeight) / 2); }

int minRowHeight(bool hasStrings, int lineHeight, int glyphHeight) {
  return hasStrings ? std::max(lineHeight, glyphHeight + 1) : glyphHeight + 1;
}

int itemWidth(bool hasStrings, int textWidth, int glyphWidth, bool columnInExtent, int columnWidth) {
  int w = hasStrings ? textWidth + glyphWidth + 2 : glyphWidth + 1;
  return columnInExtent ? w + columnWidth : w;
}

Hit hitTestFixed(int x, int y, int count, int topIndex, int itemHeight, int glyphWidth, int boxShift) {
  Hit hit;
  if (itemHeight <= 0 || y < 0 || topIndex < 0) return hit;
  const int64_t index = int64_t(topIndex) + y / itemHeight;
  if (index >= count) return hit;
  hit.index = int(index);
  hit.onBox = int64_t(x) + boxShift < glyphWidth + 2;
  return hit;
}

Hit hitTestRows(int x, int y, const Rect* rows, int rowCount, int firstIndex, int scrollPos,
                bool fixedChecks, int glyphWidth, int glyphHeight) {
  for (int i = 0; i < rowCount; ++i) {
    Rect r = rows[i];
    if (!fixedChecks) {
      r.left -= scrollPos;
      r.right -= scrollPos;
    }
    const int bandTop = r.top + glyphTopOffset(r.bottom - r.top, glyphHeight);
    if (x >= r.left && x < r.right && y >= bandTop && y < bandTop + glyphHeight)
      return Hit{firstIndex + i, x < r.left + glyphWidth + 2};
  }
  return Hit{};
}

int mulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  int64_t p = int64_t(a) * b;
  const bool negative = (p < 0) != (c < 0);
  const uint64_t up = p < 0 ? uint64_t(-p) : uint64_t(p);
  const uint64_t uc = c < 0 ? uint64_t(-int64_t(c)) : uint64_t(c);
  const uint64_t q = (up + uc / 2) / uc;
  return negative ? -int(q) : int(q);
}

int hscrollDelta(const ScrollState& s, HScroll code, int thumb) {
  const int rest = std::max(0, s.maxPos - std::max(s.page - 1, 0) - s.pos);
  const int pos = std::max(0, s.pos);
  switch (code) {
  case HScroll::LineLeft: return -std::min(s.step, pos);
  case HScroll::LineRight: return std::min(s.step, rest);
  case HScroll::PageLeft: return -std::min(s.page, pos);
  case HScroll::PageRight: return std::min(s.page, rest);
  case HScroll::Left: return -pos;
  case HScroll::Right: return rest;
  case HScroll::ThumbTrack: {
    const int range = s.maxPos - s.minPos;
    if (range <= 0) return 0;
    int visible = s.clientWidth - s.page;
    if (visible == 0) visible = 1;
    return mulDiv(thumb, s.extent - visible, range) - s.pos;
  }
  default: return 0;
  }
}

std::string assertReport(const char* expression, const char* taskPath, const char* modulePath, const char* file,
                         int line) {
  auto known = [](const char* s) { return std::string(s && *s ? s : "<Unknown>"); };
  std::string name = file ? file : "";
  const std::size_t slash = name.find_last_of("\\/");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  return "Expression: " + std::string(expression ? expression : "") + "\nTask: " + known(taskPath) +
         "\nModule: " + known(modulePath) + "\nFile: " + name + "(" + std::to_string(line) + ")" +
         "\nPress Retry to debug the application.";
}

} // namespace zell

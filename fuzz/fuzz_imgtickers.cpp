// The display control's ticker files (".SCM" and ".CMS") on arbitrary text: both
// parsers answer with a speed that keeps the tick divider positive, and a scrolling
// message always has its one line.
#include <cstdlib>

#include "tickers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const imaging::TickerText scroll = imaging::ParseScrollingMessage(text);
    if (scroll.lines.size() != 1 || scroll.speed < 0) std::abort();
    if (imaging::PaddedMessage(scroll.lines[0]).compare(0, 2, "  ") != 0) std::abort();
    const imaging::TickerText credits = imaging::ParseCreditMessage(text);
    if (credits.speed < 0) std::abort();
    return 0;
}

// The image display control's two text tickers: the scrolling message of a ".SCM" file
// (one line moving left) and the credit message of a ".CMS" file (lines moving up), their
// file formats and how they move on each tick.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace imaging {

struct TickerFont {
    uint32_t colour = 255;
    int height = -13;
    std::string name = "SYSTEM";
    int size = 0;
    bool bold = true, italic = false, underline = false, strikeOut = false;
};

struct TickerText {
    TickerFont font;
    uint32_t background = 128;
    int speed = 1;  // ticks skipped between steps, never below 0
    std::vector<std::string> lines;  // the scrolling message: one line
};

// A ".SCM" file: fields between the markers "/fc|", "/fh|", "/fn|", "/fs|", "/ft|",
// "/bc|", "/sp|", "/sm|" (the message, up to "/eo|"); a missing or unreadable field keeps
// its default, a message without its markers reads " Invallid message format ! ".
TickerText ParseScrollingMessage(std::string_view text);
// The message as drawn: two leading spaces and one trailing space when missing.
std::string PaddedMessage(std::string_view message);

// A ".CMS" file, by lines from 0 (line 0 unused): 1 font colour, 2 font height, 3 font
// name, 4 font size, 5 style ("1"/"0" for bold, italic, underline, strike-out), 6
// background colour, 7 speed, 8 and on the credit lines.
TickerText ParseCreditMessage(std::string_view text);

// The scrolling message: one pixel left on every (speed + 1)-th tick; once the text has
// left the control it starts again at the right edge.
class ScrollTicker {
public:
    ScrollTicker(int textWidth, int controlWidth, int speed);
    // True when the text moved.
    bool tick();
    int x() const { return x_; }

private:
    int textWidth_, controlWidth_, divider_, ticks_ = 0, x_;
};

// The credit message: the current line one pixel up per passing tick; once it has left
// the top by its height + 5 the next line comes from the bottom, the first after the last.
class CreditTicker {
public:
    CreditTicker(int lineCount, int lineHeight, int controlHeight, int speed);
    bool tick();
    int y() const { return y_; }
    int line() const { return line_; }

private:
    int lineCount_, lineHeight_, controlHeight_, divider_, ticks_ = 0, y_, line_ = 0;
};

}  // namespace imaging

#include "tickers.h"

#include <algorithm>
#include <charconv>

namespace imaging {

namespace {

constexpr char kInvalidMessage[] = " Invallid message format ! ";

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r' || s.front() == '\n'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

template <class T>
void readNumber(std::string_view s, T& out) {
    s = trimmed(s);
    long long v = 0;
    const auto [end, err] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (err != std::errc() || end != s.data() + s.size() || s.empty()) return;
    if constexpr (std::is_same_v<T, uint32_t>) {
        if (v >= 0 && v <= 0xFFFFFFFFll) out = uint32_t(v);
    } else {
        if (v >= -0x7FFFFFFFll && v <= 0x7FFFFFFFll) out = int(v);
    }
}

void readStyle(std::string_view s, TickerFont& f) {
    s = trimmed(s);
    if (s.size() < 4) return;
    for (size_t i = 0; i < 4; ++i)
        if (s[i] != '0' && s[i] != '1') return;
    f.bold = s[0] == '1';
    f.italic = s[1] == '1';
    f.underline = s[2] == '1';
    f.strikeOut = s[3] == '1';
}

void readName(std::string_view s, std::string& out) {
    s = trimmed(s);
    if (!s.empty()) out = std::string(s);
}

int dividerOf(int speed) { return std::max(speed, 0) + 1; }

}  // namespace

TickerText ParseScrollingMessage(std::string_view text) {
    static constexpr std::string_view markers[] = {"/fc|", "/fh|", "/fn|", "/fs|", "/ft|", "/bc|", "/sp|", "/sm|"};
    TickerText t;
    // A field's value: from its marker to the next marker of any kind.
    auto field = [&](std::string_view marker, std::string_view& out) {
        const size_t at = text.find(marker);
        if (at == std::string_view::npos) return false;
        const size_t from = at + marker.size();
        size_t to = text.find("/eo|", from);
        for (std::string_view m : markers) to = std::min(to, text.find(m, from));
        out = text.substr(from, (to == std::string_view::npos ? text.size() : to) - from);
        return true;
    };
    std::string_view v;
    if (field("/fc|", v)) readNumber(v, t.font.colour);
    if (field("/fh|", v)) readNumber(v, t.font.height);
    if (field("/fn|", v)) readName(v, t.font.name);
    if (field("/fs|", v)) readNumber(v, t.font.size);
    if (field("/ft|", v)) readStyle(v, t.font);
    if (field("/bc|", v)) readNumber(v, t.background);
    if (field("/sp|", v)) readNumber(v, t.speed);
    t.speed = std::max(t.speed, 0);
    const size_t sm = text.find("/sm|");
    const size_t eo = sm == std::string_view::npos ? sm : text.find("/eo|", sm + 4);
    t.lines.push_back(eo == std::string_view::npos ? std::string(kInvalidMessage)
                                                   : std::string(text.substr(sm + 4, eo - sm - 4)));
    return t;
}

std::string PaddedMessage(std::string_view message) {
    std::string s(message);
    if (s.compare(0, 2, "  ") != 0) s.insert(0, "  ");
    if (s.back() != ' ') s += ' ';
    return s;
}

TickerText ParseCreditMessage(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        start = end + 1;
    }
    TickerText t;
    auto at = [&](size_t i) { return i < lines.size() ? lines[i] : std::string_view(); };
    readNumber(at(1), t.font.colour);
    readNumber(at(2), t.font.height);
    readName(at(3), t.font.name);
    readNumber(at(4), t.font.size);
    readStyle(at(5), t.font);
    readNumber(at(6), t.background);
    readNumber(at(7), t.speed);
    t.speed = std::max(t.speed, 0);
    for (size_t i = 8; i < lines.size(); ++i) t.lines.emplace_back(lines[i]);
    return t;
}

ScrollTicker::ScrollTicker(int textWidth, int controlWidth, int speed)
    : textWidth_(textWidth), controlWidth_(controlWidth), divider_(dividerOf(speed)), x_(controlWidth) {}

bool ScrollTicker::tick() {
    if (++ticks_ % divider_ != 0) return false;
    ticks_ = 0;
    --x_;
    if (x_ + textWidth_ <= 0) x_ = controlWidth_;
    return true;
}

CreditTicker::CreditTicker(int lineCount, int lineHeight, int controlHeight, int speed)
    : lineCount_(std::max(lineCount, 1)), lineHeight_(lineHeight), controlHeight_(controlHeight),
      divider_(dividerOf(speed)), y_(controlHeight) {}

bool CreditTicker::tick() {
    if (++ticks_ % divider_ != 0) return false;
    ticks_ = 0;
    --y_;
    if (y_ + lineHeight_ + 5 <= 0) {
        y_ = controlHeight_;
        line_ = (line_ + 1) % lineCount_;
    }
    return true;
}

}  // namespace imaging

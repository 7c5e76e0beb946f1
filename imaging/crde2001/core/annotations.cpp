#include "annotations.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <climits>
#include <cstdlib>

namespace img {

namespace {

const char* const kKindNames[] = {"line", "rect", "ellipse", "mark", "text"};

bool kindByName(std::string_view name, AnnoKind& kind) {
    for (int i = 0; i < 5; ++i)
        if (name == kKindNames[i]) {
            kind = AnnoKind(i);
            return true;
        }
    return false;
}

// Whole-text integer within [lo, hi].
bool parseInt(std::string_view s, int64_t lo, int64_t hi, int32_t& out) {
    int64_t v = 0;
    const char* end = s.data() + s.size();
    auto [p, ec] = std::from_chars(s.data(), end, v);
    if (ec != std::errc() || p != end || v < lo || v > hi) return false;
    out = int32_t(v);
    return true;
}

// Splits on a separator character.
std::vector<std::string_view> split(std::string_view s, char sep) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        const size_t at = s.find(sep, start);
        parts.push_back(s.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
        if (at == std::string_view::npos) break;
        start = at + 1;
    }
    return parts;
}

// A quoted text at the start of s; `used` counts its quotes.
bool parseQuoted(std::string_view s, std::string& out, size_t& used) {
    out.clear();
    if (s.empty() || s[0] != '"') return false;
    for (size_t i = 1; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '"') {
            used = i + 1;
            return out.size() <= kMaxAnnoText;
        }
        if (c != '\\') {
            if (static_cast<unsigned char>(c) < 0x20) return false;
            out.push_back(c);
            continue;
        }
        if (++i >= s.size()) return false;
        switch (s[i]) {
            case '\\': out.push_back('\\'); break;
            case '"': out.push_back('"'); break;
            case 'n': out.push_back('\n'); break;
            case 'x': {
                if (i + 2 >= s.size()) return false;
                unsigned v = 0;
                auto [p, ec] = std::from_chars(s.data() + i + 1, s.data() + i + 3, v, 16);
                if (ec != std::errc() || p != s.data() + i + 3) return false;
                out.push_back(char(v));
                i += 2;
                break;
            }
            default: return false;
        }
    }
    return false;
}

std::string quote(const std::string& text) {
    std::string q = "\"";
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '\\' || c == '"') {
            q += '\\';
            q += c;
        } else if (c == '\n') {
            q += "\\n";
        } else if (u < 0x20) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", u);
            q += hex;
        } else {
            q += c;
        }
    }
    return q + '"';
}

bool parseAnnotationLine(std::string_view line, Annotation& a) {
    a = Annotation{};
    const size_t sp = line.find(' ');
    if (!kindByName(line.substr(0, sp), a.kind)) return false;
    bool haveColour = false, haveWidth = false, havePoints = false, haveHeight = false, haveText = false;
    std::string_view rest = sp == std::string_view::npos ? std::string_view() : line.substr(sp + 1);
    while (!rest.empty()) {
        const size_t eq = rest.find('=');
        if (eq == std::string_view::npos) return false;
        const std::string_view key = rest.substr(0, eq);
        rest.remove_prefix(eq + 1);
        std::string_view value;
        if (key == "text") {
            size_t used = 0;
            if (haveText || !parseQuoted(rest, a.text, used)) return false;
            rest.remove_prefix(used);
            haveText = true;
        } else {
            const size_t end = rest.find(' ');
            value = rest.substr(0, end);
            rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
            if (key == "colour") {
                const auto parts = split(value, ',');
                int32_t c[3];
                if (haveColour || parts.size() != 3) return false;
                for (int i = 0; i < 3; ++i)
                    if (!parseInt(parts[size_t(i)], 0, 255, c[i])) return false;
                a.red = uint8_t(c[0]);
                a.green = uint8_t(c[1]);
                a.blue = uint8_t(c[2]);
                haveColour = true;
            } else if (key == "width") {
                if (haveWidth || !parseInt(value, 1, 1024, a.width)) return false;
                haveWidth = true;
            } else if (key == "height") {
                if (haveHeight || !parseInt(value, 1, 65536, a.height)) return false;
                haveHeight = true;
            } else if (key == "points") {
                if (havePoints) return false;
                const auto pts = split(value, ';');
                if (pts.size() > kMaxAnnoPoints) return false;
                for (std::string_view pt : pts) {
                    const auto xy = split(pt, ',');
                    AnnoPoint p;
                    if (xy.size() != 2 || !parseInt(xy[0], -kMaxAnnoCoordinate, kMaxAnnoCoordinate, p.x) ||
                        !parseInt(xy[1], -kMaxAnnoCoordinate, kMaxAnnoCoordinate, p.y))
                        return false;
                    a.points.push_back(p);
                }
                havePoints = true;
            } else {
                return false;
            }
        }
        if (!rest.empty()) {
            if (rest[0] != ' ') return false;
            rest.remove_prefix(1);
        }
    }
    if (!haveColour || !havePoints) return false;
    switch (a.kind) {
        case AnnoKind::Text: return a.points.size() == 1 && haveHeight && haveText && !haveWidth;
        case AnnoKind::Marker: return a.points.size() >= 2 && haveWidth && !haveHeight && !haveText;
        default: return a.points.size() == 2 && haveWidth && !haveHeight && !haveText;
    }
}

}  // namespace

Status parseAnnotations(std::string_view file, AnnoPages& out) {
    out.clear();
    std::vector<std::string_view> lines = split(file, '\n');
    for (std::string_view& l : lines)
        if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
    if (lines.empty() || lines[0].rfind("QivAnnotations ", 0) != 0) return kBadAnnotations;
    int32_t version = 0;
    if (!parseInt(lines[0].substr(15), 1, 0x7FFFFFFF, version) || version > kAnnoFileVersion) return kBadAnnotations;
    AnnoPages pages;
    AnnoPage* page = nullptr;
    bool ended = false;
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (ended) {
            if (!line.empty()) return kBadAnnotations;
        } else if (line == "end") {
            ended = true;
        } else if (line.rfind("page ", 0) == 0) {
            int32_t n = 0;
            if (!parseInt(line.substr(5), 0, 32767, n) || pages.count(n)) return kBadAnnotations;
            page = &pages[n];
        } else {
            Annotation a;
            if (!page || page->size() >= kMaxAnnoPerPage || !parseAnnotationLine(line, a)) return kBadAnnotations;
            page->push_back(std::move(a));
        }
    }
    if (!ended) return kBadAnnotations;
    out = std::move(pages);
    return kOk;
}

std::string formatAnnotations(const AnnoPages& pages) {
    std::string out = "QivAnnotations " + std::to_string(kAnnoFileVersion) + "\n";
    for (const auto& [number, page] : pages) {
        out += "page " + std::to_string(number) + "\n";
        for (const Annotation& a : page) {
            out += kKindNames[int(a.kind)];
            out += " colour=" + std::to_string(a.red) + "," + std::to_string(a.green) + "," + std::to_string(a.blue);
            if (a.kind == AnnoKind::Text) out += " height=" + std::to_string(a.height);
            else out += " width=" + std::to_string(a.width);
            out += " points=";
            for (size_t k = 0; k < a.points.size(); ++k) {
                if (k) out += ";";
                out += std::to_string(a.points[k].x) + "," + std::to_string(a.points[k].y);
            }
            if (a.kind == AnnoKind::Text) out += " text=" + quote(a.text);
            out += "\n";
        }
    }
    return out + "end\n";
}

// ---------------------------------------------------------------------------------------

namespace {

int32_t scaleRound(int64_t v, int64_t num, int64_t den) {
    const int64_t p = v * num;
    const int64_t q = p >= 0 ? (p + den / 2) / den : -((-p + den / 2) / den);
    return int32_t(std::clamp<int64_t>(q, INT32_MIN, INT32_MAX));
}

int64_t distanceToSegment2(AnnoPoint p, AnnoPoint a, AnnoPoint b) {
    const double dx = double(b.x) - a.x, dy = double(b.y) - a.y;
    const double len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? ((double(p.x) - a.x) * dx + (double(p.y) - a.y) * dy) / len2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    const double ex = a.x + t * dx - p.x, ey = a.y + t * dy - p.y;
    return int64_t(ex * ex + ey * ey);
}

}  // namespace

AnnoPoint AnnoView::toDevice(AnnoPoint p) const {
    if (!valid()) return p;
    return AnnoPoint{destLeft + scaleRound(p.x, destWidth, picWidth), destTop + scaleRound(p.y, destHeight, picHeight)};
}

AnnoPoint AnnoView::toPicture(AnnoPoint d) const {
    if (!valid()) return d;
    return AnnoPoint{scaleRound(int64_t(d.x) - destLeft, picWidth, destWidth),
                     scaleRound(int64_t(d.y) - destTop, picHeight, destHeight)};
}

int32_t AnnoView::lengthToDevice(int32_t v) const {
    if (!valid()) return v;
    return std::max(1, scaleRound(v, destHeight, picHeight));
}

int hitTest(const AnnoPage& page, AnnoPoint p, int32_t tolerance) {
    const int64_t tol2 = int64_t(tolerance) * tolerance;
    for (int i = int(page.size()) - 1; i >= 0; --i) {
        const Annotation& a = page[size_t(i)];
        if (a.points.empty()) continue;
        const AnnoPoint first = a.points.front(), last = a.points.back();
        switch (a.kind) {
            case AnnoKind::Line:
                if (distanceToSegment2(p, first, last) <= tol2) return i;
                break;
            case AnnoKind::Marker:
                for (size_t k = 1; k < a.points.size(); ++k)
                    if (distanceToSegment2(p, a.points[k - 1], a.points[k]) <= tol2) return i;
                break;
            case AnnoKind::Text: {
                // The text's box: its height, about half a height per character.
                const int64_t w = int64_t(a.height) * int64_t(std::max<size_t>(a.text.size(), 1)) / 2;
                if (p.x >= first.x - tolerance && p.x <= first.x + w + tolerance && p.y >= first.y - tolerance &&
                    p.y <= first.y + a.height + tolerance)
                    return i;
                break;
            }
            case AnnoKind::Rect:
            case AnnoKind::Ellipse: {
                const int64_t l = std::min(first.x, last.x), r = std::max(first.x, last.x);
                const int64_t t = std::min(first.y, last.y), b = std::max(first.y, last.y);
                if (p.x >= l - tolerance && p.x <= r + tolerance && p.y >= t - tolerance && p.y <= b + tolerance) return i;
                break;
            }
        }
    }
    return -1;
}

void AnnoEditor::press(AnnoPoint p) {
    active_ = true;
    current_ = Annotation{};
    current_.kind = tool.kind;
    current_.red = tool.red;
    current_.green = tool.green;
    current_.blue = tool.blue;
    current_.width = std::clamp(tool.width, 1, 1024);
    if (tool.kind == AnnoKind::Text) {
        current_.height = std::clamp(tool.textHeight, 1, 65536);
        current_.text = tool.text.substr(0, kMaxAnnoText);
        current_.points = {p};
    } else {
        current_.points = {p, p};
    }
}

void AnnoEditor::move(AnnoPoint p) {
    if (!active_) return;
    if (current_.kind == AnnoKind::Text) current_.points[0] = p;
    else if (current_.kind == AnnoKind::Marker) {
        if (current_.points.back() != p && current_.points.size() < kMaxAnnoPoints) current_.points.push_back(p);
    } else current_.points[1] = p;
}

bool AnnoEditor::release(AnnoPoint p, Annotation& done) {
    if (!active_) return false;
    move(p);
    active_ = false;
    if (current_.kind == AnnoKind::Marker) {
        // the press point stands twice at the start
        current_.points.erase(current_.points.begin());
        if (current_.points.size() < 2) return false;
    } else if (current_.kind != AnnoKind::Text && current_.points[0] == current_.points[1]) {
        return false;
    }
    done = current_;
    return true;
}

}  // namespace img

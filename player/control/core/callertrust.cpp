#include "callertrust.h"

#include <cctype>

#include "texpaths.h"

namespace qivctl {

namespace {

bool isSep(char c) { return c == '\\' || c == '/'; }
bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char lower(char c) { return char(std::tolower(static_cast<unsigned char>(c))); }

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

bool startsWithNoCase(std::string_view s, std::string_view head) {
    return s.size() >= head.size() && equalNoCase(s.substr(0, head.size()), head);
}

// Length of a URL scheme at the start (letters, digits, '+', '-', '.'; at least two, so that
// a drive letter is none) when "://" follows; 0 otherwise.
size_t schemeLength(std::string_view s) {
    size_t n = 0;
    while (n < s.size() && (std::isalnum(static_cast<unsigned char>(s[n])) || s[n] == '+' || s[n] == '-' ||
                            s[n] == '.'))
        ++n;
    return n >= 2 && s.substr(n, 3) == "://" && isAlpha(s[0]) ? n : 0;
}

bool drivePrefix(std::string_view s) { return s.size() >= 2 && isAlpha(s[0]) && s[1] == ':'; }

}  // namespace

CallerTrust decideCallerTrust(uint32_t safetyOptions, bool zoneKnown, uint32_t zone) {
    CallerTrust t;
    const bool bySafety = (safetyOptions & (kSafetyUntrustedCaller | kSafetyUntrustedData)) != 0;
    const bool byZone = zoneKnown && zone != kZoneLocalMachine && zone != kZoneTrusted;
    t.untrusted = bySafety || byZone;
    if (!t.untrusted) return t;
    t.pageLocal = zoneKnown && zone == kZoneLocalMachine;
    t.markZone = zoneKnown ? zone : kZoneInternet;
    return t;
}

NameKind nameKindOf(std::string_view name) {
    if (name.empty()) return NameKind::Empty;
    if (startsWithNoCase(name, "file:")) return NameKind::FileUrl;
    if (schemeLength(name)) return NameKind::Address;
    if (name.size() >= 2 && isSep(name[0]) && isSep(name[1])) return NameKind::Unc;
    if (drivePrefix(name) || isSep(name[0])) return NameKind::Absolute;
    return NameKind::Relative;
}

bool namesLocalFile(std::string_view name) {
    const NameKind k = nameKindOf(name);
    return k == NameKind::FileUrl || k == NameKind::Unc || k == NameKind::Absolute;
}

bool fileNameAllowed(std::string_view name) {
    const NameKind kind = nameKindOf(name);
    if (kind == NameKind::Empty || kind == NameKind::Address) return true;
    std::string_view path = name;
    if (kind == NameKind::FileUrl) path.remove_prefix(5);
    size_t leading = 0;
    while (leading < path.size() && isSep(path[leading])) ++leading;
    // "\\?\", "\\.\" and the same after "file:".
    if (leading >= 2 || (kind == NameKind::FileUrl && leading >= 1)) {
        const std::string_view rest = path.substr(leading);
        const std::string_view first = rest.substr(0, rest.find_first_of("\\/"));
        if (first == "." || first == "?") return false;
    }
    if (kind == NameKind::FileUrl) path.remove_prefix(leading);
    for (size_t i = 0; i < path.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(path[i]);
        if (c < 0x20 || c == '?' || c == '*') return false;
        if (c == ':' && !(i == 1 && isAlpha(path[0]))) return false;
    }
    for (size_t start = 0; start <= path.size();) {
        size_t end = path.find_first_of("\\/", start);
        if (end == std::string_view::npos) end = path.size();
        std::string_view comp = path.substr(start, end - start);
        if (start == 0 && drivePrefix(comp)) comp.remove_prefix(2);
        while (!comp.empty() && (comp.back() == '.' || comp.back() == ' ')) comp.remove_suffix(1);
        if (!comp.empty() && isDeviceName(comp)) return false;
        start = end + 1;
    }
    return true;
}

std::string suggestedFileName(std::string_view name) {
    const NameKind kind = nameKindOf(name);
    if (kind == NameKind::Address || kind == NameKind::FileUrl) name = name.substr(0, name.find_first_of("?#"));
    const size_t cut = name.find_last_of("\\/:");
    if (cut != std::string_view::npos) name = name.substr(cut + 1);
    std::string out;
    for (char c : name) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || std::string_view("<>:\"|?*").find(c) != std::string_view::npos) continue;
        out += c;
    }
    while (!out.empty() && (out.back() == '.' || out.back() == ' ')) out.pop_back();
    const size_t first = out.find_first_not_of(' ');
    out.erase(0, first == std::string::npos ? out.size() : first);
    if (out.size() > kTexturePathMax) out.resize(kTexturePathMax);
    if (out.empty() || isDeviceName(out)) return std::string();
    return out;
}

std::string withForcedExtension(std::string_view fileName, std::string_view ext,
                                std::initializer_list<std::string_view> accepted) {
    const size_t sep = fileName.find_last_of("\\/");
    const std::string_view last = sep == std::string_view::npos ? fileName : fileName.substr(sep + 1);
    const size_t dot = last.rfind('.');
    const std::string_view current = dot == std::string_view::npos ? std::string_view() : last.substr(dot);
    bool keep = !current.empty() && equalNoCase(current, ext);
    for (std::string_view a : accepted) keep = keep || (!current.empty() && equalNoCase(current, a));
    std::string out(fileName);
    if (!keep) out += ext;
    return out;
}

std::string withPictureExtension(std::string_view fileName) {
    return withForcedExtension(fileName, ".bmp", {".jpg", ".jpeg", ".png"});
}

std::string zoneIdentifierText(uint32_t zone) {
    return "[ZoneTransfer]\r\nZoneId=" + std::to_string(zone) + "\r\n";
}

}  // namespace qivctl

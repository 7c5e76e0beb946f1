#include "texpaths.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace qivctl {

namespace {

char upper(char c) { return char(std::toupper(static_cast<unsigned char>(c))); }
char lower(char c) { return char(std::tolower(static_cast<unsigned char>(c))); }
bool isSep(char c) { return c == '\\' || c == '/'; }

bool endsWithNoCase(std::string_view s, std::string_view tail) {
    if (s.size() < tail.size()) return false;
    for (size_t i = 0; i < tail.size(); ++i)
        if (lower(s[s.size() - tail.size() + i]) != lower(tail[i])) return false;
    return true;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = lower(c);
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// A path component with %XX sequences decoded.
std::string decoded(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            int h = hexValue(s[i + 1]), l = hexValue(s[i + 2]);
            if (h >= 0 && l >= 0) {
                out += char(h * 16 + l);
                i += 2;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

}  // namespace

bool isDeviceName(std::string_view comp) {
    std::string stem(comp.substr(0, comp.find('.')));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (char& c : stem) c = upper(c);
    static const char* const names[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
    for (const char* n : names)
        if (stem == n) return true;
    return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
           stem[3] >= '0' && stem[3] <= '9';
}

namespace {

// Part after the last of the given characters (whole when none).
std::string_view afterLast(std::string_view s, std::string_view chars) {
    size_t p = s.find_last_of(chars);
    return p == std::string_view::npos ? s : s.substr(p + 1);
}

std::string join(std::string_view dir, char sep, std::string_view part) {
    std::string s(dir);
    s += sep;
    s += part;
    return s;
}

bool confinedFilePart(std::string_view part) {
    return isConfinedRelativePath(part) && part.find_first_of("\\/") == std::string_view::npos;
}

void addUnique(std::vector<std::string>& list, std::string path) {
    if (path.size() > kTexturePathMax) return;
    for (const std::string& p : list)
        if (p == path) return;
    list.push_back(std::move(path));
}

}  // namespace

bool isNoTextureName(const char* name) { return !name || !name[0] || (name[0] == ' ' && !name[1]); }

std::string textureCacheKey(std::string_view name) {
    size_t p = name.find_last_of('>');
    std::string key(p == std::string_view::npos ? name : name.substr(p));
    for (char& c : key) c = upper(c);
    return key;
}

std::string textureScopeOf(std::string_view sourceName) {
    if (sourceName.find("://") != std::string_view::npos) sourceName = sourceName.substr(0, sourceName.find_first_of("?#"));
    const size_t cut = sourceName.find_last_of("\\/");
    return std::string(cut == std::string_view::npos ? sourceName : sourceName.substr(0, cut + 1));
}

std::string textureStoredName(std::string_view name, std::string_view base) {
    while (!base.empty() && isSep(base.back())) base.remove_suffix(1);
    if (base.empty() || name.size() <= base.size() + 1 || !isSep(name[base.size()])) return std::string(name);
    for (size_t i = 0; i < base.size(); ++i)
        if (lower(name[i]) != lower(base[i])) return std::string(name);
    std::string s(base);
    s += '>';
    s += name.substr(base.size() + 1);
    return s;
}

bool isConfinedRelativePath(std::string_view part) {
    if (part.empty() || isSep(part[0])) return false;
    for (char c : part)
        if (c == ':' || static_cast<unsigned char>(c) < 0x20) return false;
    size_t start = 0;
    while (start <= part.size()) {
        size_t end = part.find_first_of("\\/", start);
        if (end == std::string_view::npos) end = part.size();
        std::string comp = decoded(part.substr(start, end - start));
        // Trailing dots and blanks are dropped by the file system: "..." and ".. " are "..".
        while (comp.size() > 2 && (comp.back() == '.' || comp.back() == ' ')) comp.pop_back();
        if (comp == ".." || comp.find_first_of("\\/:") != std::string::npos || isDeviceName(comp)) return false;
        start = end + 1;
    }
    return true;
}

std::vector<std::string> textureCandidatePaths(std::string_view name, const TextureSearch& s) {
    std::vector<std::string> out;
    if (name.empty() || name == " " || s.inhibitLocal) return out;
    const bool host = s.source == TextureNameSource::Host;
    const std::string_view filePart = afterLast(name, "\\/>");
    const bool fileOk = host || confinedFilePart(filePart);

    if (!s.baseDirectory.empty()) {
        size_t gt = name.find('>');
        if (gt != std::string_view::npos) {
            std::string_view rest = name.substr(gt + 1);
            if (host || isConfinedRelativePath(rest)) addUnique(out, join(s.baseDirectory, '\\', rest));
        }
        if (fileOk && !filePart.empty()) addUnique(out, join(s.baseDirectory, '\\', filePart));
    }
    if (!s.texturePath.empty()) {
        if (host && name.size() >= 2 && name[0] == '\\' && name[1] == '\\') {
            std::string unc(name);
            for (char& c : unc)
                if (c == '>') c = '\\';
            addUnique(out, unc);
        }
        std::string_view afterGt = afterLast(name, ">");
        if (host || isConfinedRelativePath(afterGt)) addUnique(out, join(s.texturePath, '\\', afterGt));
        if (fileOk && !filePart.empty()) addUnique(out, join(s.texturePath, '\\', filePart));
    }
    return out;
}

std::vector<TextureFileTry> textureFileVariants(std::string_view path) {
    std::vector<TextureFileTry> out;
    auto add = [&](std::string p) {
        if (p.size() > kTexturePathMax) return;
        for (const TextureFileTry& t : out)
            if (t.path == p) return;
        TextureLoader loader = endsWithNoCase(p, ".bms") ? TextureLoader::Compressed : TextureLoader::Picture;
        out.push_back({std::move(p), loader});
    };
    add(std::string(path));
    size_t nameStart = path.find_last_of("\\/");
    nameStart = nameStart == std::string_view::npos ? 0 : nameStart + 1;
    size_t dot = path.find_last_of('.');
    std::string_view stem = (dot != std::string_view::npos && dot >= nameStart) ? path.substr(0, dot) : path;
    add(std::string(stem) + ".jpg");
    add(std::string(stem) + ".bms");
    return out;
}

std::vector<TextureFileTry> textureFileTries(std::string_view name, const TextureSearch& search) {
    std::vector<TextureFileTry> out;
    for (const std::string& c : textureCandidatePaths(name, search))
        for (TextureFileTry& t : textureFileVariants(c)) out.push_back(std::move(t));
    return out;
}

std::vector<std::string> textureCandidateUrls(std::string_view name, const TextureUrlSearch& s) {
    std::vector<std::string> out;
    if (s.textureBaseUrl.empty() || name.empty() || name == " ") return out;
    std::string_view part = afterLast(name, ">");
    if (part.empty() || part.size() > kTextureUrlNameMax) return out;
    std::string t(part);
    for (char& c : t) c = c == '\\' ? '/' : lower(c);
    if (endsWithNoCase(t, ".bmp")) t.back() = 's';
    const bool host = s.source == TextureNameSource::Host;
    const std::string file(afterLast(t, "/"));
    const bool fileOk = !file.empty() && (host || confinedFilePart(file));
    std::string base = s.textureBaseUrl;
    if (t.find('/') != std::string::npos && !s.noWholeNameUrl && (host || isConfinedRelativePath(t)))
        out.push_back(join(base, '/', t));
    if (fileOk) {
        out.push_back(join(base, '/', file));
        if (!s.baseDirectory.empty()) out.push_back(join(s.baseDirectory, '/', file));
    }
    return out;
}

std::vector<std::string> textureNamesOf(const char* block, size_t size, uint32_t count) {
    std::vector<std::string> names;
    names.reserve(std::min<size_t>(count, size + 1));
    size_t at = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (!block || at >= size) {
            names.resize(count);
            break;
        }
        const char* p = block + at;
        const void* z = std::memchr(p, 0, size - at);
        size_t n = z ? size_t(static_cast<const char*>(z) - p) : size - at;
        names.emplace_back(p, n);
        at += n + 1;
    }
    return names;
}

}  // namespace qivctl

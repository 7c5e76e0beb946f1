#include "schemes.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "forms/fileio.h"
#include "forms/stringlist.h"
#include "forms/textutil.h"

namespace stellwerk {

namespace {

bool isAbsolute(const std::string& name) {
    return (name.size() >= 3 && name[1] == ':' && (name[2] == '\\' || name[2] == '/')) ||
           name.rfind("\\\\", 0) == 0 || name.rfind("//", 0) == 0;
}

// Blank-separated fields; runs of blanks and tabs count as one.
std::vector<std::string> fields(std::string_view line) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
        if (at >= line.size()) break;
        size_t end = at;
        while (end < line.size() && line[end] != ' ' && line[end] != '\t') ++end;
        out.emplace_back(line.substr(at, end - at));
        at = end;
    }
    return out;
}

int64_t intField(const std::vector<std::string>& f, size_t i, int64_t def, int64_t low, int64_t high) {
    int64_t v = def;
    if (i < f.size()) {
        const std::string& t = f[i];
        int64_t parsed = 0;
        const char* b = t.data();
        if (!t.empty() && t[0] == '+') ++b;
        auto [end, ec] = std::from_chars(b, t.data() + t.size(), parsed);
        if (ec == std::errc() && end == t.data() + t.size()) v = parsed;
        else if (ec == std::errc::result_out_of_range) v = t[0] == '-' ? low : high;
    }
    return v < low ? low : v > high ? high : v;
}

float percentField(const std::vector<std::string>& f, size_t i, double def) {
    double v = def;
    if (i < f.size()) v = forms::ToFloat(f[i], forms::LocaleDecimalSeparator()).value_or(def);
    v = v < 0 ? 0 : v > 100 ? 100 : v;
    return float(v / 100);
}

int countOf(const std::string& line) {
    return int(intField(fields(line), 0, 0, 0, 65535));
}

std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    return forms::Trim(text);
}

}  // namespace

std::string ResolveSchemeTexture(const std::string& name, const TextureLookup& lookup) {
    const bool absolute = isAbsolute(name);
    std::string rel = name;
    if (!absolute && !rel.empty() && (rel[0] == '\\' || rel[0] == '/')) rel.erase(0, 1);
    const std::string first = absolute ? name : lookup.programFolder + rel;
    auto exists = [&](const std::string& p) { return lookup.exists && lookup.exists(p); };
    if (exists(first)) return first;
    if (!lookup.alternateTexturePath.empty()) {
        if (!absolute && exists(lookup.alternateTexturePath + rel)) return lookup.alternateTexturePath + rel;
        const std::string bare = lookup.alternateTexturePath + FileNameOf(name);
        if (exists(bare)) return bare;
    }
    const std::string inObject = lookup.objectFolder + FileNameOf(name);
    if (!lookup.objectFolder.empty() && exists(inObject)) return inObject;
    return first;
}

SchemeReadResult ReadScheme(std::string_view text, const MaterialSet& own, const TextureLookup& lookup,
                            MaterialSet& out) {
    out = own;
    out.names.resize(own.materials.size());
    SchemeReadResult r;
    const std::vector<std::string> raw = forms::SplitLines(text);
    std::vector<std::string> lines;
    lines.reserve(raw.size());
    for (const auto& l : raw) lines.push_back(forms::Trim(l));
    size_t at = 0;
    auto next = [&](std::string& line) {
        if (at >= lines.size()) return false;
        line = lines[at++];
        return true;
    };
    std::string line;
    if (!next(line) || line != "Counts") return r;
    std::string t, m;
    if (!next(t) || !next(m)) return r;
    const size_t textures = size_t(countOf(t)), materials = size_t(countOf(m));
    if (textures != own.textures.size() || materials != own.materials.size()) return r;
    r.countsMatch = true;

    // Each section is taken only when read in full.
    if (!next(line) || line != "Textures" || lines.size() - at < textures) return r;
    for (size_t i = 0; i < textures; ++i) {
        next(line);
        if (line.empty())
            out.textures[i].clear();
        else if (line != "*")
            out.textures[i] = ResolveSchemeTexture(line, lookup);
    }
    r.texturesRead = true;

    if (!next(line) || line != "Materials" || lines.size() - at < materials) return r;
    for (size_t i = 0; i < materials; ++i) {
        next(line);
        const auto f = fields(line);
        MatEntry& e = out.materials[i];
        e.diffuse = Color(intField(f, 0, 0, 0, 0xFFFFFF));
        e.specular = Color(intField(f, 1, 0, 0, 0xFFFFFF));
        e.alpha = int32_t(intField(f, 2, 100, 0, 100));
        e.kDiffuse = percentField(f, 3, 40);
        e.kAmbient = percentField(f, 4, 50);
        e.kSpecular = percentField(f, 5, 10);
        e.flags = uint32_t(intField(f, 6, 0, INT32_MIN, UINT32_MAX));
    }
    r.materialsRead = true;

    if (!next(line) || line != "Material Names" || lines.size() - at < materials) return r;
    for (size_t i = 0; i < materials; ++i) {
        next(line);
        out.names[i] = line;
    }
    r.namesRead = true;
    return r;
}

std::string PercentText(float fraction) {
    if (!(fraction > 0)) return "0";  // negative and NaN as the reader clamps them
    if (fraction >= 1) return "100";
    const double percent = double(fraction) * 100;
    char buf[64];
    for (int decimals = 0; decimals <= 20; ++decimals) {
        auto [end, ec] = std::to_chars(buf, buf + sizeof buf, percent, std::chars_format::fixed, decimals);
        if (ec != std::errc()) break;
        double back = 0;
        std::from_chars(buf, end, back);
        if (float(back / 100) == fraction) return std::string(buf, end);
    }
    return forms::FormatFloat(percent);
}

std::string WriteScheme(const MaterialSet& scheme, const MaterialSet& own, const std::string& programFolder) {
    std::string out;
    auto line = [&](const std::string& s) { out += s + "\r\n"; };
    line("Counts");
    line(std::to_string(scheme.textures.size()));
    line(std::to_string(scheme.materials.size()));
    line("Textures");
    for (size_t i = 0; i < scheme.textures.size(); ++i) {
        const std::string name = oneLine(scheme.textures[i]);
        if (i < own.textures.size() && forms::SameText(name, own.textures[i]) && !name.empty()) {
            line("*");
        } else if (!programFolder.empty() && forms::StartsWithText(name, programFolder)) {
            line(name.substr(programFolder.size()));
        } else {
            line(name);
        }
    }
    line("Materials");
    for (const MatEntry& m : scheme.materials)
        line(forms::Format("%u %u %d ", unsigned(m.diffuse & 0xFFFFFF), unsigned(m.specular & 0xFFFFFF),
                           m.alpha < 0 ? 0 : m.alpha > 100 ? 100 : m.alpha) +
             PercentText(m.kDiffuse) + " " + PercentText(m.kAmbient) + " " + PercentText(m.kSpecular) + " " +
             std::to_string(int32_t(m.flags)));
    line("Material Names");
    for (size_t i = 0; i < scheme.materials.size(); ++i) line(i < scheme.names.size() ? oneLine(scheme.names[i]) : "");
    return out;
}

std::string SchemeFilePath(const std::string& objectPath, const std::string& schemeName) {
    return ChangeFileExt(objectPath, "." + schemeName + ".msc");
}

std::optional<std::string> SchemeNameOf(const std::string& objectPath, const std::string& fileName) {
    const std::string prefix = BaseNameOf(objectPath) + ".";
    const std::string suffix = ".msc";
    if (fileName.size() <= prefix.size() + suffix.size()) return std::nullopt;
    if (!forms::StartsWithText(fileName, prefix)) return std::nullopt;
    if (!forms::SameText(fileName.substr(fileName.size() - suffix.size()), suffix)) return std::nullopt;
    return fileName.substr(prefix.size(), fileName.size() - prefix.size() - suffix.size());
}

std::vector<SchemeFile> ListSchemes(const std::string& objectPath) {
    std::vector<SchemeFile> out;
    const std::string folder = FolderOf(objectPath);
    for (const auto& e : forms::ListDirectory(folder)) {
        if (e.directory) continue;
        if (auto name = SchemeNameOf(objectPath, e.name)) out.push_back({*name, folder + e.name});
    }
    std::sort(out.begin(), out.end(),
              [](const SchemeFile& a, const SchemeFile& b) { return forms::CompareText(a.name, b.name) < 0; });
    return out;
}

std::string ProposeSchemeName(const std::string& objectPath, const std::string& prefix,
                              const std::function<bool(const std::string&)>& exists) {
    for (int n = 1; n < 1000000; ++n) {
        const std::string name = prefix + std::to_string(n);
        if (!exists(SchemeFilePath(objectPath, name))) return name;
    }
    return prefix;
}

bool SaveSchemeFile(const std::string& path, const MaterialSet& scheme, const MaterialSet& own,
                    const std::string& programFolder, bool& modified) {
    if (!forms::WriteFileAtomically(path, WriteScheme(scheme, own, programFolder))) return false;
    modified = false;
    return true;
}

bool ObjectFolderWritable(const std::string& objectPath) {
    return !objectPath.empty() && !IsFileUnwritable(ChangeFileExt(objectPath, "$.$$$"), false);
}

bool SetSchemeLock(const std::string& path, bool lock) {
    if (lock)
        forms::SetReadOnlyFile(path, true);
    else
        forms::ClearFileAttributes(path);
    return IsFileUnwritable(path, false);
}

std::optional<std::string> RenameSchemeFile(const std::string& objectPath, const std::string& oldPath,
                                            const std::string& newName) {
    const std::string target = SchemeFilePath(objectPath, newName);
    if (forms::FileExists(target) && !forms::SameText(target, oldPath)) return std::nullopt;
    for (const auto& s : ListSchemes(objectPath))
        if (forms::SameText(s.name, newName) && s.path != oldPath) return std::nullopt;
    if (std::rename(oldPath.c_str(), target.c_str()) != 0) return std::nullopt;
    return target;
}

}  // namespace stellwerk

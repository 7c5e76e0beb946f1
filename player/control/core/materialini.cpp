#include "materialini.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "invariantnum.h"

namespace qivctl {

namespace {

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

char lowerOf(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool sameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lowerOf(a[i]) != lowerOf(b[i])) return false;
    return true;
}

// Three numbers separated by commas; false without two commas.
bool triple(const std::string& text, bool integers, float out[3]) {
    size_t c1 = text.find(',');
    if (c1 == std::string::npos) return false;
    size_t c2 = text.find(',', c1 + 1);
    if (c2 == std::string::npos) return false;
    std::string_view t(text);
    std::string_view parts[3] = {t.substr(0, c1), t.substr(c1 + 1, c2 - c1 - 1), t.substr(c2 + 1)};
    for (int i = 0; i < 3; ++i)
        out[i] = integers ? float(double(invariantStrtol(parts[i])) * 0.003921569) : float(invariantStrtod(parts[i]));
    return true;
}

float channel(uint32_t colour, int shift) { return float((colour >> shift) & 0xFF) / 255.0f; }

}  // namespace

IniDocument::IniDocument(std::string_view text) {
    std::string section;
    bool inSection = false;
    while (!text.empty()) {
        size_t eol = text.find('\n');
        std::string_view line = trim(text.substr(0, eol));
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            size_t close = line.find(']');
            section = std::string(trim(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1)));
            inSection = true;
            continue;
        }
        size_t eq = line.find('=');
        if (!inSection || eq == std::string_view::npos) continue;
        std::string_view key = trim(line.substr(0, eq));
        std::string_view value = trim(line.substr(eq + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        if (value.size() > kIniValueMax) value = value.substr(0, kIniValueMax);
        entries_.push_back(Entry{section, std::string(key), std::string(value)});
    }
}

bool IniDocument::get(std::string_view section, std::string_view key, std::string* value) const {
    for (const Entry& e : entries_)
        if (sameNoCase(e.section, section) && sameNoCase(e.key, key)) {
            *value = e.value;
            return true;
        }
    return false;
}

IniLookup iniLookupOf(const IniDocument& doc) {
    return [&doc](const std::string& section, const std::string& key, const std::string& def) {
        std::string v;
        return doc.get(section, key, &v) ? v : def;
    };
}

void materialExponentTerms(float e, float terms[3]) {
    terms[0] = terms[1] = terms[2] = 0;
    if (!(e > 0.1f)) return;
    double t1 = -1.0 / (double(e) * std::sqrt(double(e)));
    double t3 = -1.0 / t1;
    double t2 = t3 - 1.0 / (1.0 - t1);
    terms[0] = float(t1);
    terms[1] = float(t2);
    terms[2] = float(t3);
}

bool readMaterialIni(const IniLookup& get, MatInput* out) {
    std::string name = get("Material", "Name", "");
    if (name.empty()) return false;
    std::string kd = get(name, "kdiffus", "0.4");
    if (kd.empty()) return false;
    std::string ka = get(name, "kambient", "0.4");
    if (ka.empty()) return false;
    MatInput m;
    std::memset(&m, 0, sizeof m);
    m.coDifuse = float(invariantStrtod(kd));
    m.coAmbient = float(invariantStrtod(ka));
    std::string ks = get(name, "kspiegel", "0.4");
    if (!ks.empty()) m.coSpecular = float(invariantStrtod(ks));
    std::string alpha = get(name, "alpha", "0.4");
    if (!alpha.empty()) m.alpha = float(invariantStrtod(alpha));
    m.specExp = float(invariantStrtod(get(name, "Oe", "30.0")));
    materialExponentTerms(m.specExp, m.specCoeff);
    std::string bits = get(name, "Bits", "");
    if (!bits.empty()) m.flags = uint32_t(invariantStrtol(bits));
    std::string diffuse = get(name, "RGBDiffus", "0.4,0.4,0.4");
    if (!diffuse.empty())
        triple(diffuse, false, m.colDifuse);
    else
        triple(get(name, "RGBDiffus255", "102,102,102"), true, m.colDifuse);
    triple(get(name, "RGBSpiegel", "0.5,0.5,0.5"), false, m.colSpecular);
    *out = m;
    return true;
}

uint32_t replaceMaterialExFlags(int32_t flags, float refractionCoef) {
    int32_t code = kDefaultRefractionCode;
    if (std::isfinite(refractionCoef)) {
        double c = std::trunc((double(refractionCoef) - 0.1) * 10.0);
        code = int32_t(std::clamp(c, 0.0, 63.0));
    }
    return (uint32_t(flags) & 0x03FFu) | uint32_t(code) << 10 | kMaterialMarker;
}

int32_t refractionCodeOf(uint32_t flags) { return int32_t((flags >> 10) & 63); }

uint32_t replaceMaterialFlags(uint32_t flags, float coSpecular, const float specular[3]) {
    if ((flags & kMaterialMarkerMask) == kMaterialMarker) return flags;
    flags %= 64;
    float m = std::max({coSpecular * specular[0], coSpecular * specular[1], coSpecular * specular[2]});
    if (m > 0.3f) flags += kMaterialFlagIsSpec;
    return flags + (kMaterialMarker | uint32_t(kDefaultRefractionCode) << 10);
}

MatInput materialFromArguments(uint32_t colDiffuse, uint32_t colSpecular, float alpha, float coDiffuse,
                               float coAmbient, float coSpecular, uint32_t flags, uint32_t engineWord) {
    MatInput m;
    std::memset(&m, 0, sizeof m);
    for (int i = 0; i < 3; ++i) {
        m.colDifuse[i] = channel(colDiffuse, 8 * i);
        m.colSpecular[i] = channel(colSpecular, 8 * i);
    }
    m.alpha = alpha;
    m.coDifuse = coDiffuse;
    m.coAmbient = coAmbient;
    m.coSpecular = coSpecular;
    m.area = engineWord;
    m.flags = replaceMaterialFlags(flags, coSpecular, m.colSpecular);
    return m;
}

uint32_t materialColourOf(const float rgb[3]) {
    uint32_t out = 0;
    for (int i = 0; i < 3; ++i) {
        double v = double(rgb[i]) * 255.0;
        uint32_t c = std::isnan(v) ? 0 : uint32_t(std::clamp(std::trunc(v), 0.0, 255.0));
        out |= c << (8 * i);
    }
    return out;
}

bool materialIndexValid(int64_t index, int64_t count) { return index >= 0 && index < count; }

int32_t dropKindOfFile(std::string_view path) {
    size_t dot = path.rfind('.');
    if (dot == std::string_view::npos) return 0;
    std::string_view ext = path.substr(dot + 1);
    if (ext.find_first_of("\\/") != std::string_view::npos) return 0;
    for (const char* e : {"pel", "vov", "qiv"})
        if (sameNoCase(ext, e)) return 1;
    for (const char* e : {"bmp", "jpg", "png"})
        if (sameNoCase(ext, e)) return 2;
    if (sameNoCase(ext, "ini")) return 3;
    return 0;
}

bool dropAccepted(const DropOffer& o) {
    if (o.fileCount != 1) return false;
    switch (o.kind) {
        case 1: return (o.enabledMask & 1) && o.loadMenu && !o.loadBlocked;
        case 2: return (o.enabledMask & 2) != 0;
        case 3: return (o.enabledMask & 4) && o.materialReadable;
        default: return false;
    }
}

bool dropTargetValid(int32_t kind, bool partHit, uint32_t materialFlags) {
    switch (kind) {
        case 1: return true;
        case 2: return partHit && (materialFlags & 1);
        case 3: return partHit;
        default: return false;
    }
}

}  // namespace qivctl

#include "viewsfile.h"

#include <charconv>
#include <cmath>
#include <unordered_set>

#include "forms/textutil.h"

namespace stellwerk {

namespace {

// Up to max fields of a text split at blanks and tabs; the count found.
size_t blankFields(std::string_view text, std::string_view* out, size_t max) {
    size_t n = 0, at = 0;
    while (at < text.size() && n < max) {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
        if (at >= text.size()) break;
        size_t end = at;
        while (end < text.size() && text[end] != ' ' && text[end] != '\t') ++end;
        out[n++] = text.substr(at, end - at);
        at = end;
    }
    return n;
}

float number(std::string_view text, float def = 0) {
    const auto v = forms::ToFloat(text, forms::LocaleDecimalSeparator());
    if (!v) return def;
    const double d = *v;
    if (!(std::fabs(d) <= 3.4e38)) return def;
    return float(d);
}

int integer(std::string_view text, int def) { return forms::ToInt(text).value_or(def); }

std::string cut(std::string_view s, size_t max) { return std::string(s.substr(0, max)); }

// The value of a key, empty when it is absent.
std::string_view value(const forms::IniFile& ini, std::string_view section, const char* key) {
    return ini.ReadStringView(section, key).value_or(std::string_view());
}

// A three-number value, or its three single keys when it is absent or empty.
void readTriple(std::string_view v, std::string_view v1, std::string_view v2, std::string_view v3, float& a, float& b,
                float& c) {
    if (!v.empty()) {
        std::string_view f[3];
        const size_t n = blankFields(v, f, 3);
        a = n > 0 ? number(f[0]) : 0;
        b = n > 1 ? number(f[1]) : 0;
        c = n > 2 ? number(f[2]) : 0;
        return;
    }
    a = number(v1);
    b = number(v2);
    c = number(v3);
}

// Keys of a view section, read in one pass.
enum ViewKey { kVrp, kVrpx, kVrpy, kVrpz, kEye, kEyex, kEyey, kEyez, kRot, kTanA, kXRot, kZRot,
               kName, kSchm, kZoom, kFlags, kBackImage, kBackColor, kTileOffset, kViewKeys };
constexpr std::string_view kViewKeyNames[kViewKeys] = {
    "Vrp", "Vrpx", "Vrpy", "Vrpz", "Eye", "Eyex", "Eyey", "Eyez", "Rot", "TanA", "XRot", "ZRot",
    "Name", "Schm", "Zoom", "Flags", "BackImage", "BackColor", "TileOffset"};

}  // namespace

bool ViewRecord::HasCamera() const {
    return Vrpx != 0 || Vrpy != 0 || Vrpz != 0 || Eyex != 0 || Eyey != 0 || Eyez != 0;
}

uint32_t ViewFlags(const ViewRecord& v) {
    return (uint32_t(v.Lights) & 31) | (v.Parallel ? kViewParallel : 0) | (v.Tiled ? kViewTiled : 0);
}

std::string FloatText(float v) {
    if (!std::isfinite(v)) return "0";
    char buf[32];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return ec == std::errc() ? std::string(buf, end) : "0";
}

std::optional<ViewRecord> ReadViewSection(const forms::IniFile& ini, std::string_view section) {
    std::optional<std::string_view> found[kViewKeys];
    ini.ReadStringViews(section, kViewKeyNames, found, kViewKeys);
    auto value = [&](ViewKey k) { return found[k].value_or(std::string_view()); };
    ViewRecord v;
    readTriple(value(kVrp), value(kVrpx), value(kVrpy), value(kVrpz), v.Vrpx, v.Vrpy, v.Vrpz);
    readTriple(value(kEye), value(kEyex), value(kEyey), value(kEyez), v.Eyex, v.Eyey, v.Eyez);
    if (!v.HasCamera()) return std::nullopt;
    readTriple(value(kRot), value(kTanA), value(kXRot), value(kZRot), v.TanA, v.XRot, v.ZRot);
    const std::string_view name = forms::TrimmedView(value(kName));
    v.Name = cut(name.empty() ? forms::TrimmedView(section) : name, kViewNameMax);
    v.Scheme = cut(value(kSchm), kViewSchemeMax);
    v.Zoom = number(value(kZoom), 1.0f);
    const uint32_t flags = uint32_t(integer(value(kFlags), 31));
    v.Lights = int32_t(flags & 31);
    v.Parallel = (flags & kViewParallel) != 0;
    v.Tiled = (flags & kViewTiled) != 0;
    const std::string_view image = value(kBackImage);
    v.BackImage = cut(image.empty() ? std::string() : MakeAbsolutePath(std::string(image), false), kViewBackImageMax);
    v.BackColor = ParseColor(value(kBackColor), 128, 128, 128);
    std::string_view off[2];
    const size_t n = blankFields(value(kTileOffset), off, 2);
    v.TileOffsetX = n > 0 ? integer(off[0], 0) : 0;
    v.TileOffsetY = n > 1 ? integer(off[1], 0) : 0;
    return v;
}

void WriteViewSection(forms::IniFile& ini, const ViewRecord& v, std::string_view section) {
    ini.EraseSection(section);
    WriteNewViewSection(ini, v, section);
}

void EraseSections(forms::IniFile& ini, const std::vector<std::string>& sections) {
    std::unordered_set<std::string> names;
    for (const auto& s : sections) names.insert(forms::LowerCase(forms::Trim(s)));
    const std::string text = ini.Text();
    std::string out;
    out.reserve(text.size());
    bool keep = true, erased = false;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find("\r\n", at);
        if (end == std::string::npos) end = text.size();
        const std::string_view line(text.data() + at, end - at);
        std::string_view t = line;
        while (!t.empty() && static_cast<unsigned char>(t.front()) <= ' ') t.remove_prefix(1);
        if (!t.empty() && t[0] == '[') {
            const size_t close = t.find(']');
            const std::string_view name =
                forms::TrimmedView(t.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
            keep = names.count(forms::LowerCase(name)) == 0;
            erased = erased || !keep;
        }
        if (keep) {
            out += line;
            out += "\r\n";
        }
        at = end + 2;
    }
    if (erased) ini.SetText(out);
}

void WriteNewViewSection(forms::IniFile& ini, const ViewRecord& v, std::string_view section) {
    if (!v.Scheme.empty()) ini.WriteString(section, "Schm", v.Scheme);
    ini.WriteString(section, "Vrp", FloatText(v.Vrpx) + " " + FloatText(v.Vrpy) + " " + FloatText(v.Vrpz));
    ini.WriteString(section, "Eye", FloatText(v.Eyex) + " " + FloatText(v.Eyey) + " " + FloatText(v.Eyez));
    ini.WriteString(section, "Rot", FloatText(v.TanA) + " " + FloatText(v.XRot) + " " + FloatText(v.ZRot));
    if (v.Zoom != 1.0f) ini.WriteString(section, "Zoom", FloatText(v.Zoom));
    ini.WriteInteger(section, "Flags", int32_t(ViewFlags(v)));
    if (!v.BackImage.empty()) ini.WriteString(section, "BackImage", MakeRelativePath(v.BackImage, false));
    ini.WriteString(section, "BackColor", FormatColor(v.BackColor));
    if (v.Tiled)
        ini.WriteString(section, "TileOffset", std::to_string(v.TileOffsetX) + " " + std::to_string(v.TileOffsetY));
}

BatchSettings ReadBatchSettings(const forms::IniFile& ini) {
    BatchSettings s;
    s.BmpWidth = ini.ReadInteger(kBatchRenderSection, "BmpWidth", 640);
    if (s.BmpWidth <= 0) s.BmpWidth = 640;
    if (s.BmpWidth > 2048) s.BmpWidth = 2048;
    s.BmpHeight = ini.ReadInteger(kBatchRenderSection, "BmpHeight", 480);
    if (s.BmpHeight <= 0) s.BmpHeight = 480;
    s.BmpQuality = ini.ReadInteger(kBatchRenderSection, "BmpQuality", 0);
    if (s.BmpQuality < 0 || s.BmpQuality > 2) s.BmpQuality = 0;
    s.RayTrace = ini.ReadBool(kBatchRenderSection, "RayTrace", false);
    s.OutputFile = ini.ReadInteger(kBatchRenderSection, "OutputFile", 0);
    return s;
}

void WriteBatchSettings(forms::IniFile& ini, const BatchSettings& s) {
    ini.WriteInteger(kBatchRenderSection, "BmpWidth", s.BmpWidth);
    ini.WriteInteger(kBatchRenderSection, "BmpHeight", s.BmpHeight);
    ini.WriteInteger(kBatchRenderSection, "BmpQuality", s.BmpQuality);
    ini.WriteBool(kBatchRenderSection, "RayTrace", s.RayTrace);
    ini.WriteInteger(kBatchRenderSection, "OutputFile", s.OutputFile);
}

std::vector<std::string> ListBatchNames(const forms::IniFile& ini, const std::string& first) {
    std::vector<std::string> out{first};
    for (const auto& [key, value] : ini.ReadSectionValues(kBatchNamesSection)) {
        const std::string name = forms::Trim(value);
        if (name.empty()) continue;
        bool seen = false;
        for (const auto& n : out) seen = seen || forms::SameText(n, name);
        if (!seen) out.push_back(name);
    }
    return out;
}

std::vector<bool> ReadBatch(const forms::IniFile& ini, std::string_view batch, const std::vector<std::string>& views) {
    std::vector<bool> checked(views.size(), false);
    if (forms::Trim(batch).empty()) return checked;
    for (const auto& [key, value] : ini.ReadSectionValues(batch)) {
        std::string rest = value;
        while (!rest.empty()) {
            const std::string name = forms::Trim(NextToken(',', rest));
            for (size_t i = 0; i < views.size(); ++i)
                if (!name.empty() && forms::SameText(views[i], name)) checked[i] = true;
        }
    }
    return checked;
}

void WriteBatch(forms::IniFile& ini, std::string_view batch, const std::vector<std::string>& names) {
    const std::string name = forms::Trim(batch);
    if (name.empty()) return;
    const bool existed = ini.SectionExists(name);
    ini.EraseSection(name);
    int key = 0;
    for (size_t i = 0; i < names.size(); i += 10) {
        std::string line;
        for (size_t j = i; j < names.size() && j < i + 10; ++j) line += (j > i ? "," : "") + names[j];
        ini.WriteString(name, std::to_string(++key), line);
    }
    if (key == 0 && !existed) return;
    for (const auto& [k, value] : ini.ReadSectionValues(kBatchNamesSection))
        if (forms::SameText(forms::Trim(value), name)) return;
    for (int n = 1;; ++n) {
        const std::string k = std::to_string(n);
        if (forms::Trim(ini.ReadString(kBatchNamesSection, k, "")).empty()) {
            ini.WriteString(kBatchNamesSection, k, name);
            return;
        }
    }
}

void DeleteBatch(forms::IniFile& ini, std::string_view batch) {
    const std::string name = forms::Trim(batch);
    if (name.empty()) return;
    ini.EraseSection(name);
    for (const auto& [key, value] : ini.ReadSectionValues(kBatchNamesSection))
        if (forms::SameText(forms::Trim(value), name)) ini.DeleteKey(kBatchNamesSection, key);
}

}  // namespace stellwerk

#include "common.h"

#include <cmath>

#include "forms/fileio.h"
#include "forms/inifile.h"
#include "forms/textutil.h"
#include "msgstrs.h"

namespace stellwerk {

namespace {

std::string g_programFolder;

bool isDelimiter(char c) { return c == '\\' || c == '/'; }

std::string withDelimiter(std::string folder) {
    if (!folder.empty() && !isDelimiter(folder.back())) folder += forms::PathDelimiter();
    return folder;
}

}  // namespace

void SetProgramFolder(std::string folder) { g_programFolder = withDelimiter(std::move(folder)); }
std::string GetProgramFolder() { return g_programFolder; }
std::string GetSupportFolder() { return g_programFolder + "Support" + forms::PathDelimiter(); }
std::string GetPalettesFolder() { return g_programFolder + "Palettes" + forms::PathDelimiter(); }
std::string GetIniPath() { return g_programFolder + kIniFileName; }

bool IsFileUnwritable(const std::string& path, bool clearReadOnly) {
    const bool existed = forms::FileExists(path);
    if (forms::CanOpenForWriting(path)) return false;
    if (existed && clearReadOnly && forms::ClearFileAttributes(path)) return !forms::CanOpenForWriting(path);
    return true;
}

bool HasAllBits(uint32_t value, uint32_t mask) { return (value & mask) == mask; }
bool TestBit(uint32_t value, int bit) { return bit >= 0 && bit < 32 && (value >> bit & 1u); }
uint32_t SetBit(uint32_t value, int bit) { return bit >= 0 && bit < 32 ? value | 1u << bit : value; }
uint32_t ClearBit(uint32_t value, int bit) { return bit >= 0 && bit < 32 ? value & ~(1u << bit) : value; }

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to) {
    if (from.empty()) return text;
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string MakeAbsolutePath(std::string path, bool isFolder) {
    path = ReplaceAll(std::move(path), "/", "\\");
    if (path.empty()) return isFolder ? GetProgramFolder() : std::string();
    if (isFolder && path.back() != '\\') path += '\\';
    if (!isFolder && path.back() == '\\') path.pop_back();
    if ((path.size() >= 3 && path[1] == ':' && path[2] == '\\') || path.rfind("\\\\", 0) == 0) return path;
    if (!path.empty() && path[0] == '\\') path.erase(0, 1);
    return GetProgramFolder() + path;
}

std::string MakeRelativePath(std::string path, bool isFolder) {
    path = ReplaceAll(std::move(path), "/", "\\");
    if (isFolder && !path.empty() && path.back() != '\\') path += '\\';
    const std::string folder = GetProgramFolder();
    if (!folder.empty() && forms::StartsWithText(path, folder)) path.erase(0, folder.size());
    return path;
}

std::string FileUrlToPath(std::string text) {
    if (forms::StartsWithText(text, "file:")) {
        std::string rest = text.substr(5);
        size_t slashes = 0;
        while (slashes < rest.size() && isDelimiter(rest[slashes])) ++slashes;
        rest.erase(0, slashes);
        rest = ReplaceAll(std::move(rest), "/", "\\");
        // A drive letter stands alone; anything else after "//" names a server.
        if (rest.size() >= 2 && rest[1] == ':') return rest;
        if (slashes == 2) return "\\\\" + rest;
        return slashes >= 3 ? "\\" + rest : rest;
    }
    return ReplaceAll(std::move(text), "/", "\\");
}

std::string IniReadString(std::string_view section, std::string_view key, std::string_view def) {
    return forms::IniFile(GetIniPath()).ReadString(section, key, def);
}

bool IniWriteString(std::string_view section, std::string_view key, std::string_view value) {
    forms::IniFile ini(GetIniPath());
    ini.WriteString(section, key, value);
    return ini.UpdateFile();
}

std::string IniReadPath(std::string_view section, std::string_view key, std::string_view def) {
    return MakeAbsolutePath(IniReadString(section, key, def), true);
}

bool IniWritePath(std::string_view section, std::string_view key, std::string_view folder) {
    return IniWriteString(section, key, MakeRelativePath(std::string(folder), true));
}

FormPlacement ReadFormPlacement(std::string_view section, const FormPlacement& current, bool defaultMaximised) {
    forms::IniFile ini(GetIniPath());
    FormPlacement p = current;
    p.maximised = ini.ReadBool(section, "Max", defaultMaximised);
    if (p.maximised) return p;
    p.left = ini.ReadInteger(section, "Left", current.left);
    p.top = ini.ReadInteger(section, "Top", current.top);
    p.width = ini.ReadInteger(section, "Width", current.width);
    p.height = ini.ReadInteger(section, "Height", current.height);
    return p;
}

void WriteFormPlacement(std::string_view section, const FormPlacement& p) {
    forms::IniFile ini(GetIniPath());
    ini.WriteBool(section, "Max", p.maximised);
    ini.WriteInteger(section, "Left", p.left);
    ini.WriteInteger(section, "Top", p.top);
    ini.WriteInteger(section, "Width", p.width);
    ini.WriteInteger(section, "Height", p.height);
    ini.UpdateFile();
}

Color ParseColor(std::string_view text, int defRed, int defGreen, int defBlue) {
    std::string t = ReplaceAll(std::string(text), "\t", " ");
    t = forms::Trim(t);
    int parts[3] = {defRed, defGreen, defBlue};
    for (int& part : parts) {
        while (!t.empty() && t[0] == ' ') t.erase(0, 1);
        const std::string token = NextToken(' ', t);
        if (auto v = forms::ToInt(token)) part = *v;
        part = part < 0 ? 0 : part > 255 ? 255 : part;
    }
    return RGB3(parts[0], parts[1], parts[2]);
}

std::string FormatColor(Color c) { return forms::Format("%d %d %d", RedOf(c), GreenOf(c), BlueOf(c)); }

std::string NextToken(char separator, std::string& text) {
    const size_t at = text.find(separator);
    std::string token;
    if (at == std::string::npos) {
        token = std::move(text);
        text.clear();
    } else {
        token = text.substr(0, at);
        text.erase(0, at + 1);
    }
    return token;
}

int ParseInt(std::string_view text, int def) { return forms::ToInt(text).value_or(def); }

int ParseIntClamped(std::string_view text, int def, int low, int high) {
    const int v = ParseInt(text, def);
    return v < low ? low : v > high ? high : v;
}

double ParseFloat(std::string_view text, double def) {
    return forms::ToFloat(text, forms::LocaleDecimalSeparator()).value_or(def);
}

double ParseFloatClamped(std::string_view text, double def, double low, double high) {
    const double v = ParseFloat(text, def);
    return v < low ? low : v > high ? high : v;
}

void ReadPalette(const std::string& name, std::array<Color, 256>& colours) {
    std::string file = name;
    const size_t dot = file.find_last_of('.');
    const size_t slash = file.find_last_of("\\/");
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) file.erase(dot);
    auto data = forms::ReadWholeFile(GetPalettesFolder() + file + ".rgb");
    if (!data) return;
    const auto lines = forms::SplitLines(*data);
    for (size_t i = 0; i < lines.size() && i < colours.size(); ++i) colours[i] = ParseColor(lines[i], 0, 0, 0);
}

void FindFiles(const std::string& folder, const std::vector<std::string>& extensions, forms::StringList& list,
               bool recurse) {
    const std::string dir = withDelimiter(folder);
    for (const auto& e : forms::ListDirectory(dir)) {
        if (e.directory && recurse) {
            FindFiles(dir + e.name, extensions, list, recurse);
            continue;
        }
        const size_t dot = e.name.find_last_of('.');
        if (dot == std::string::npos) continue;
        const std::string ext = e.name.substr(dot);
        for (const auto& want : extensions)
            if (forms::SameText(ext, want)) {
                list.Add(dir + e.name);
                break;
            }
    }
}

std::string BuildFileFilter(const std::vector<int>& numbers) {
    std::string first = GetMsgText(75);
    while (!first.empty() && first.back() == '|') first.pop_back();
    first += '|';
    std::string second;
    for (int n : numbers) {
        std::string t = forms::Trim(GetMsgText(n));
        while (!t.empty() && t.front() == '|') t.erase(0, 1);
        while (!t.empty() && t.back() == '|') t.pop_back();
        const size_t bar = t.find('|');
        if (bar == std::string::npos) continue;
        std::string patterns = t.substr(bar + 1);
        second += t.substr(0, bar) + "|" + patterns + "|";
        while (!patterns.empty() && patterns.back() == ';') patterns.pop_back();
        first += patterns + ";";
    }
    if (!second.empty() && second.back() == '|') second.pop_back();
    if (!first.empty() && first.back() == ';') first.pop_back();
    first += '|';
    return first + second;
}

float DistanceSquared(const Vec3& a, const Vec3& b) {
    const Vec3 d = Difference(a, b);
    return d.x * d.x + d.y * d.y + d.z * d.z;
}

Vec3 Difference(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

Vec3 Normalised(const Vec3& v) {
    Vec3 r = v;
    const float m = std::fmax(std::fabs(r.x), std::fmax(std::fabs(r.y), std::fabs(r.z)));
    if (m > 1) r = Scaled(r, 1 / m);
    const float len = std::sqrt(r.x * r.x + r.y * r.y + r.z * r.z);
    if (len <= 1e-6f) return v;
    return Scaled(r, 1 / len);
}

Vec3 Scaled(const Vec3& v, float f) { return {v.x * f, v.y * f, v.z * f}; }
Vec3 Sum(const Vec3& a, const Vec3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }

}  // namespace stellwerk

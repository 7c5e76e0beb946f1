#pragma once
// Stellwerk's common helpers: its folders and INI file, paths relative to the
// program folder, colour texts, tokens and numbers, palettes, file searches,
// file-dialog filters, bit sets and the vectors of the walk command.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "forms/stringlist.h"

namespace stellwerk {

// 0x00BBGGRR, as the platform keeps colours.
using Color = uint32_t;
constexpr Color RGB3(int r, int g, int b) { return Color(r & 255) | Color(g & 255) << 8 | Color(b & 255) << 16; }
constexpr int RedOf(Color c) { return int(c & 255); }
constexpr int GreenOf(Color c) { return int(c >> 8 & 255); }
constexpr int BlueOf(Color c) { return int(c >> 16 & 255); }

constexpr const char* kIniFileName = "stellwerk!.ini";

// The program's folder with its trailing delimiter (set once at start-up).
void SetProgramFolder(std::string folder);
std::string GetProgramFolder();
std::string GetSupportFolder();
std::string GetPalettesFolder();
// Always the full path of "stellwerk!.ini" in the program folder.
std::string GetIniPath();
// Opening the file for writing fails; with clearReadOnly a failure on an
// existing file clears its attributes and tries once more.
bool IsFileUnwritable(const std::string& path, bool clearReadOnly);

bool HasAllBits(uint32_t value, uint32_t mask);
// Bit numbers outside 0..31 test false and change nothing.
bool TestBit(uint32_t value, int bit);
uint32_t SetBit(uint32_t value, int bit);
uint32_t ClearBit(uint32_t value, int bit);

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to);
std::string MakeAbsolutePath(std::string path, bool isFolder);
std::string MakeRelativePath(std::string path, bool isFolder);
// "file:///C:/x" gives "C:\x", "file://server/share/x" "\\server\share\x";
// other texts only get "\" for "/".
std::string FileUrlToPath(std::string text);

// One INI access on the INI path each.
std::string IniReadString(std::string_view section, std::string_view key, std::string_view def);
bool IniWriteString(std::string_view section, std::string_view key, std::string_view value);
std::string IniReadPath(std::string_view section, std::string_view key, std::string_view def);
bool IniWritePath(std::string_view section, std::string_view key, std::string_view folder);

struct FormPlacement {
    bool maximised = false;
    int left = 0, top = 0, width = 0, height = 0;
};
// "Max" (default as given), then "Left", "Top", "Width", "Height" with the
// current values as defaults.
FormPlacement ReadFormPlacement(std::string_view section, const FormPlacement& current, bool defaultMaximised);
void WriteFormPlacement(std::string_view section, const FormPlacement& p);

// "r g b" with blanks or tabs; each part clamped to 0..255; a missing or
// unparsable part takes its default.
Color ParseColor(std::string_view text, int defRed, int defGreen, int defBlue);
std::string FormatColor(Color c);
// Text before the first separator (rest after it); the whole text without one.
std::string NextToken(char separator, std::string& text);
int ParseInt(std::string_view text, int def);
int ParseIntClamped(std::string_view text, int def, int low, int high);
double ParseFloat(std::string_view text, double def);
double ParseFloatClamped(std::string_view text, double def, double low, double high);

// Reads Palettes\<name>.rgb into colours 0, 1, ... (at most 256 lines); the
// rest keep their values. Nothing happens when the file does not exist.
void ReadPalette(const std::string& name, std::array<Color, 256>& colours);
// Full paths of the files below folder whose extension (".ini") is one of
// extensions, letter case ignored.
void FindFiles(const std::string& folder, const std::vector<std::string>& extensions, forms::StringList& list,
               bool recurse);
// A file-dialog filter from message texts "description|patterns"; the first
// entry (text 75) offers all patterns together.
std::string BuildFileFilter(const std::vector<int>& numbers);

// The walk command's vectors.
struct Vec3 {
    float x = 0, y = 0, z = 0;
};
float DistanceSquared(const Vec3& a, const Vec3& b);
Vec3 Difference(const Vec3& a, const Vec3& b);
// Divided first by the largest absolute component when that exceeds 1;
// unchanged when its length is 1e-6 or less.
Vec3 Normalised(const Vec3& v);
Vec3 Scaled(const Vec3& v, float f);
Vec3 Sum(const Vec3& a, const Vec3& b);

}  // namespace stellwerk

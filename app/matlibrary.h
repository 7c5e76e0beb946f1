#pragma once
// Material library files: INI files whose section "Material" names, under
// "Name", the section that holds one material's values.
#include <optional>
#include <string>

#include "forms/inifile.h"
#include "matentry.h"

namespace stellwerk {

struct LibraryMaterial {
    MatEntry entry;       // colours, alpha, coefficients, flags; texture index -1
    std::string texture;  // "Testtextur", absolute; empty = none
};

// A scroll position 0..100 as "0.60", "1.00", "0.05".
std::string PositionText(int position);
// Each component / 255, joined by ",".
std::string ColorFractions(Color c);

// The material a library file holds, or nothing when "Material"/"Name" is
// missing or empty.
std::optional<LibraryMaterial> ReadLibraryMaterial(const forms::IniFile& ini);
// Writes the material under the section name (the file's base name);
// alpha is written as the viewer's alpha, which the reader reads back.
void WriteLibraryMaterial(forms::IniFile& ini, const std::string& name, const LibraryMaterial& m);
// Through a temporary file; the section is named after the file.
bool SaveLibraryMaterial(const std::string& path, const LibraryMaterial& m);

// Paste: the target takes the copy's colours, alpha, coefficients and
// refraction bits, keeps its texture index; the self-lit and back-face
// bits come from the copy, and the three texture bits too when the target
// carries a texture.
MatEntry PastedMaterial(const MatEntry& target, const MatEntry& copy);
// A preset's scroll positions applied to the entry.
MatEntry WithPreset(const MatEntry& m, const MatPreset& p);

}  // namespace stellwerk

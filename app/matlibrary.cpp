#include "matlibrary.h"

#include <cmath>

#include "filenames.h"
#include "forms/textutil.h"

namespace stellwerk {

namespace {

constexpr const char* kMaterialSection = "Material";

double number(const forms::IniFile& ini, const std::string& section, const char* key, double def) {
    return forms::ToFloat(ini.ReadString(section, key, ""), forms::LocaleDecimalSeparator()).value_or(def);
}

Color colorFractions(const std::string& text) {
    std::string rest = text;
    int parts[3];
    for (int& p : parts) {
        double v = forms::ToFloat(NextToken(',', rest)).value_or(1.0);
        v = v < 0 ? 0 : v > 1 ? 1 : v;
        p = int(std::lround(v * 255));
    }
    return RGB3(parts[0], parts[1], parts[2]);
}

}  // namespace

std::string PositionText(int position) {
    position = position < 0 ? 0 : position > 999 ? 999 : position;
    std::string digits = std::to_string(position);
    while (digits.size() < 3) digits.insert(0, "0");
    return digits.substr(0, 1) + "." + digits.substr(1);
}

std::string ColorFractions(Color c) {
    return forms::FormatFloatG15(RedOf(c) / 255.0) + "," + forms::FormatFloatG15(GreenOf(c) / 255.0) + "," +
           forms::FormatFloatG15(BlueOf(c) / 255.0);
}

std::optional<LibraryMaterial> ReadLibraryMaterial(const forms::IniFile& ini) {
    const std::string name = ini.ReadString(kMaterialSection, "Name", "");
    if (name.empty()) return std::nullopt;
    LibraryMaterial m;
    m.entry.kDiffuse = float(number(ini, name, "kdiffus", 0.4));
    m.entry.kAmbient = float(number(ini, name, "kambient", 0.5));
    m.entry.kSpecular = float(number(ini, name, "kspiegel", 0.1));
    m.entry.alpha = AlphaPercentFromViewer(float(number(ini, name, "alpha", 0)));
    m.entry.diffuse = colorFractions(ini.ReadString(name, "RGBDiffus", ""));
    m.entry.specular = colorFractions(ini.ReadString(name, "RGBSpiegel", ""));
    m.entry.flags = uint32_t(ini.ReadInteger(name, "bits", 0));
    m.entry.texture = -1;
    const std::string tex = ini.ReadString(name, "Testtextur", "");
    m.texture = tex.empty() ? std::string() : MakeAbsolutePath(tex, false);
    return m;
}

void WriteLibraryMaterial(forms::IniFile& ini, const std::string& name, const LibraryMaterial& m) {
    ini.WriteString(kMaterialSection, "Name", name);
    ini.EraseSection(name);
    ini.WriteString(name, "kdiffus", PositionText(PositionOfCoefficient(m.entry.kDiffuse)));
    ini.WriteString(name, "kambient", PositionText(PositionOfCoefficient(m.entry.kAmbient)));
    ini.WriteString(name, "kspiegel", PositionText(PositionOfCoefficient(m.entry.kSpecular)));
    const int alpha = m.entry.alpha < 0 ? 0 : m.entry.alpha > 100 ? 100 : m.entry.alpha;
    ini.WriteString(name, "alpha", PositionText(alpha == 100 ? 0 : alpha));
    ini.WriteString(name, "RGBDiffus", ColorFractions(m.entry.diffuse));
    ini.WriteString(name, "RGBSpiegel", ColorFractions(m.entry.specular));
    ini.WriteInteger(name, "Bits", int32_t(m.entry.flags));
    ini.WriteString(name, "Testtextur", m.texture.empty() ? std::string() : MakeRelativePath(m.texture, false));
}

bool SaveLibraryMaterial(const std::string& path, const LibraryMaterial& m) {
    forms::IniFile ini(path);
    ini.SetText("");  // the file is written anew
    WriteLibraryMaterial(ini, BaseNameOf(path), m);
    return ini.UpdateFile();
}

MatEntry PastedMaterial(const MatEntry& target, const MatEntry& copy) {
    MatEntry m = target;
    m.diffuse = copy.diffuse;
    m.specular = copy.specular;
    m.alpha = copy.alpha;
    m.kDiffuse = copy.kDiffuse;
    m.kAmbient = copy.kAmbient;
    m.kSpecular = copy.kSpecular;
    uint32_t from = kRefractionMask | kMatSelfLit | kMatBothFaces;
    if (target.flags & kMatTextured) from |= kMatTexMask | kMatTexMix | kMatReflection;
    m.flags = (target.flags & ~from) | (copy.flags & from);
    return m;
}

MatEntry WithPreset(const MatEntry& m, const MatPreset& p) {
    MatEntry r = m;
    r.kDiffuse = CoefficientOfPosition(p.diffuse);
    r.kAmbient = CoefficientOfPosition(p.ambient);
    r.kSpecular = CoefficientOfPosition(p.specular);
    r.alpha = p.alpha;
    return r;
}

}  // namespace stellwerk

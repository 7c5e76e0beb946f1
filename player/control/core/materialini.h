// Material files (INI form) and the material rules of the interface: the file
// reader, the flags of ReplaceMaterial and ReplaceMaterialEx, colours as OLE
// colours, and the file kinds a drop accepts. Portable; the Windows layer may
// hand the reader a lookup over GetPrivateProfileStringA or the text of the
// file through parseIni. Numbers are read in the invariant format.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "scene/material.h"

namespace qivctl {

// Longest value a lookup answers (a 256-character buffer).
constexpr size_t kIniValueMax = 255;

// INI text as GetPrivateProfileString reads it: "[section]" lines, "key=value"
// lines (blanks around key and value dropped, one pair of enclosing double
// quotes removed, values cut at kIniValueMax), section and key names compared
// without case, the first of duplicates wins; lines starting with ';' and
// lines without '=' are skipped.
class IniDocument {
public:
    explicit IniDocument(std::string_view text);
    // False when the section or key is missing.
    bool get(std::string_view section, std::string_view key, std::string* value) const;

private:
    struct Entry {
        std::string section, key, value;
    };
    std::vector<Entry> entries_;
};

// (section, key, default) -> value, the default when the key is missing.
using IniLookup = std::function<std::string(const std::string&, const std::string&, const std::string&)>;
IniLookup iniLookupOf(const IniDocument& doc);

// ReadMaterialFile: [Material] Name names the section of the values;
// "kdiffus", "kambient" (both must not be empty), "kspiegel", "alpha", "Oe"
// (exponent and its three terms), "Bits" (flags), "RGBDiffus" (or
// "RGBDiffus255" when empty) and "RGBSpiegel". False (out unchanged) when the
// name, kdiffus or kambient is empty. The record's engine word is 0.
bool readMaterialIni(const IniLookup& lookup, MatInput* out);

// The exponent terms of "Oe": t1 = -1 / (e sqrt e), t3 = -1 / t1,
// t2 = t3 - 1 / (1 - t1); all 0 unless e > 0.1.
void materialExponentTerms(float e, float terms[3]);

constexpr uint32_t kMaterialMarker = 0xAFFE0000u;
constexpr uint32_t kMaterialMarkerMask = 0xFFFF0000u;
constexpr uint32_t kMaterialFlagIsSpec = 64;
constexpr int32_t kDefaultRefractionCode = 11;  // refraction coefficient 1.2

// ReplaceMaterialEx: the caller's flags without bits 10 to 15 (and without the
// high word), the refraction code truncate((coef - 0.1) * 10) clamped to 0..63
// (11 for a coefficient that is not finite) in bits 10 to 15, and the marker.
uint32_t replaceMaterialExFlags(int32_t flags, float refractionCoef);
// The refraction code held in bits 10 to 15.
int32_t refractionCodeOf(uint32_t flags);
// ReplaceMaterial: flags without the marker become flags mod 64, plus 64 when
// the largest of coSpecular times each specular channel exceeds 0.3, plus the
// marker and refraction code 11; flags with the marker are kept.
uint32_t replaceMaterialFlags(uint32_t flags, float coSpecular, const float specular[3]);

// The record ReplaceMaterial builds: colours (0x00BBGGRR, already translated)
// divided by 255 per channel, the values and the flags (after
// replaceMaterialFlags); engineWord carried over from the current material.
MatInput materialFromArguments(uint32_t colDiffuse, uint32_t colSpecular, float alpha, float coDiffuse,
                               float coAmbient, float coSpecular, uint32_t flags, uint32_t engineWord);
// GetMaterial's colour: each channel times 255, truncated, clamped to 0..255
// (0 for NaN), as 0x00BBGGRR.
uint32_t materialColourOf(const float rgb[3]);
// A material or texture index taken from a pick before it is used.
bool materialIndexValid(int64_t index, int64_t count);

// Kind of a dropped file by its extension (after the last '.', any case):
// 0 not accepted, 1 object file ("pel", "vov", "qiv"), 2 texture ("bmp",
// "jpg", "png"), 3 material file ("ini").
int32_t dropKindOfFile(std::string_view path);

// Whether a drag over the control is taken: exactly one file, of a kind that the
// DragDropEnabled mask allows (1 objects, 2 textures, 4 material files); an object file
// also needs the load menu on and no load blocked, a material file must be readable.
struct DropOffer {
    uint32_t fileCount = 0;
    int32_t kind = 0;
    int32_t enabledMask = 0;
    bool loadMenu = true, loadBlocked = false;
    bool materialReadable = false;
};
bool dropAccepted(const DropOffer& offer);
// Where it may land: an object file anywhere; a texture or material only on a hit part,
// and a texture only on a part whose material takes textures (flag bit 0).
bool dropTargetValid(int32_t kind, bool partHit, uint32_t materialFlags);

}  // namespace qivctl

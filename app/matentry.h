#pragma once
// One material of the open object as Stellwerk keeps it, its flag bits, the
// three presets and the viewer's form of alpha.
#include <array>
#include <cstdint>
#include <string_view>

#include "common.h"

namespace stellwerk {

// Flag bits of a material.
constexpr uint32_t kMatTextured = 1;      // the material carries a texture
constexpr uint32_t kMatTexMask = 2;       // texture masks the object
constexpr uint32_t kMatSelfLit = 4;       // self-illuminated
constexpr uint32_t kMatTexMix = 8;        // texture mixed with the rendered colour
constexpr uint32_t kMatBothFaces = 16;    // back faces rendered
constexpr uint32_t kMatReflection = 32;   // texture used as reflection map
constexpr uint32_t kMatFromViewer = 64;   // set on every material read from the viewer
constexpr int kRefractionShift = 10;      // bits 10 to 15: refractive index - 1
constexpr uint32_t kRefractionMask = 0x3Fu << kRefractionShift;
// The viewer's mark in the high word of flags it takes as they stand; without
// it the viewer keeps only bits 0 to 5 and puts in its default refraction.
constexpr uint32_t kViewerFlagsMark = 0xAFFE0000u;
constexpr uint32_t kViewerFlagsMarkMask = 0xFFFF0000u;
constexpr int kViewerDefaultRefraction = 12;  // the viewer's default, as a refractive index

struct MatEntry {
    int32_t index = 0;  // not used by schemes; history records keep the material index here
    Color diffuse = 0;
    Color specular = 0;
    int32_t alpha = 100;  // percent, 100 opaque
    uint32_t flags = 0;
    float kDiffuse = 0.4f, kAmbient = 0.5f, kSpecular = 0.1f;  // fractions 0..1
    int32_t texture = -1;  // texture index, -1 none

    bool operator==(const MatEntry&) const = default;
};

// The stored form: nine little-endian 32-bit words in field order.
constexpr size_t kMatEntryBytes = 36;
std::array<char, kMatEntryBytes> PackMatEntry(const MatEntry& m);
MatEntry UnpackMatEntry(std::string_view bytes);  // bytes holds at least kMatEntryBytes

// Refractive index 1..64 kept in bits 10 to 15.
int RefractiveIndexOf(uint32_t flags);
uint32_t WithRefractiveIndex(uint32_t flags, int index);  // index clamped to 1..64
uint32_t WithFlag(uint32_t flags, uint32_t bit, bool on);
// The flags sent to the viewer: bits 0 to 5 and the refraction bits of the
// material with the viewer's mark, bit 64 (the viewer's specular flag) set as
// the viewer sets it for unmarked flags (specular coefficient times a channel
// of the specular colour above 0.3).
uint32_t ViewerFlags(const MatEntry& m);

// Alpha as the viewer takes it: 100 % is sent as 0, anything else as p / 100.
float ViewerAlpha(int percent);
// Alpha from the viewer: 0 means opaque; percent = alpha x 100 rounded.
int AlphaPercentFromViewer(float alpha);

// Scroll positions of the three presets.
struct MatPreset {
    int diffuse, ambient, alpha, specular;
};
constexpr MatPreset kPresetMatte{60, 30, 100, 0};
constexpr MatPreset kPresetGlossy{50, 20, 100, 70};
constexpr MatPreset kPresetGlass{40, 40, 30, 70};

// Coefficient fraction from a scroll position and back (x 100 rounded).
inline float CoefficientOfPosition(int position) { return float(position) / 100.0f; }
int PositionOfCoefficient(float k);

}  // namespace stellwerk

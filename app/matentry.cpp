#include "matentry.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace stellwerk {

namespace {

void put32(char* at, uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = char(v >> (8 * i) & 0xFF);
}

uint32_t get32(const char* at) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t(static_cast<unsigned char>(at[i])) << (8 * i);
    return v;
}

uint32_t floatBits(float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    return v;
}

float bitsFloat(uint32_t v) {
    float f;
    std::memcpy(&f, &v, 4);
    return f;
}

}  // namespace

std::array<char, kMatEntryBytes> PackMatEntry(const MatEntry& m) {
    std::array<char, kMatEntryBytes> out{};
    const uint32_t words[9] = {uint32_t(m.index),     m.diffuse,           m.specular,
                               uint32_t(m.alpha),     m.flags,             floatBits(m.kDiffuse),
                               floatBits(m.kAmbient), floatBits(m.kSpecular), uint32_t(m.texture)};
    for (int i = 0; i < 9; ++i) put32(out.data() + 4 * i, words[i]);
    return out;
}

MatEntry UnpackMatEntry(std::string_view bytes) {
    MatEntry m;
    if (bytes.size() < kMatEntryBytes) return m;
    const char* p = bytes.data();
    m.index = int32_t(get32(p));
    m.diffuse = get32(p + 4);
    m.specular = get32(p + 8);
    m.alpha = int32_t(get32(p + 12));
    m.flags = get32(p + 16);
    m.kDiffuse = bitsFloat(get32(p + 20));
    m.kAmbient = bitsFloat(get32(p + 24));
    m.kSpecular = bitsFloat(get32(p + 28));
    m.texture = int32_t(get32(p + 32));
    return m;
}

int RefractiveIndexOf(uint32_t flags) { return int((flags & kRefractionMask) >> kRefractionShift) + 1; }

uint32_t WithRefractiveIndex(uint32_t flags, int index) {
    index = index < 1 ? 1 : index > 64 ? 64 : index;
    return (flags & ~kRefractionMask) | (uint32_t(index - 1) << kRefractionShift);
}

uint32_t WithFlag(uint32_t flags, uint32_t bit, bool on) { return on ? flags | bit : flags & ~bit; }

uint32_t ViewerFlags(const MatEntry& m) {
    const int channel = std::max({RedOf(m.specular), GreenOf(m.specular), BlueOf(m.specular)});
    const bool specular = m.kSpecular * (float(channel) / 255.0f) > 0.3f;
    return (m.flags & 63) | (specular ? kMatFromViewer : 0) | (m.flags & kRefractionMask) | kViewerFlagsMark;
}

float ViewerAlpha(int percent) { return percent == 100 ? 0.0f : float(percent) / 100.0f; }

int AlphaPercentFromViewer(float alpha) {
    if (alpha == 0 || !std::isfinite(alpha)) alpha = 1;
    const long p = std::lround(double(alpha) * 100);
    return int(p < 0 ? 0 : p > 100 ? 100 : p);
}

int PositionOfCoefficient(float k) {
    if (!std::isfinite(k)) return 0;
    const long p = std::lround(double(k) * 100);
    return int(p < 0 ? 0 : p > 100 ? 100 : p);
}

}  // namespace stellwerk

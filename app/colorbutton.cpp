#include "colorbutton.h"

#include <cmath>

namespace stellwerk {

std::optional<ColorButtonPreset> PresetOf(TLbColorStyle style) {
    using S = TColorSpeedButtonStyle;
    // The table's colours are blue-green-red as the platform stores them.
    switch (style) {
        case TLbColorStyle::lcsCustom: return std::nullopt;
        case TLbColorStyle::lcsGold: return ColorButtonPreset{0x00C0C0, 0x00FFFF, 0x008080, 0x00DFDF, kNoColour, false, S::bsModern};
        case TLbColorStyle::lcsChrome: return ColorButtonPreset{0xC0C0C0, 0xFFFFFF, 0x808080, kNoColour, kNoColour, false, S::bsModern};
        case TLbColorStyle::lcsBlue: return ColorButtonPreset{0xFF8000, 0xFFFF00, 0xFF0000, kNoColour, kNoColour, false, S::bsModern};
        case TLbColorStyle::lcsRed: return ColorButtonPreset{0x0000FF, 0xC0C0FF, 0x0000C0, kNoColour, kNoColour, false, S::bsModern};
        case TLbColorStyle::lcsUltraFlat1: return ColorButtonPreset{kButtonFace, 0xB59284, 0xB59284, 0xDED3D6, 0xB59284, true, S::bsNormal};
        case TLbColorStyle::lcsUltraFlat2: return ColorButtonPreset{kButtonFace, 0x000000, 0x000000, 0x8CF6E4, 0x24DABC, true, S::bsNormal};
        case TLbColorStyle::lcsUltraFlatXP: return ColorButtonPreset{0xD1D8DB, 0xB59284, 0xB59285, 0xD2BDB6, 0xB59285, true, S::bsNormal};
        case TLbColorStyle::lcsAqua: return ColorButtonPreset{0xECCE94, 0xFCE6D4, 0x000000, kNoColour, kNoColour, false, S::bsModern};
    }
    return std::nullopt;
}

Color FadeBlend(Color color, Color hot, int step) {
    step = step < 0 ? 0 : step > kFadeSteps ? kFadeSteps : step;
    auto mix = [&](int a, int b) { return int(std::lround(a + (b - a) * double(step) / kFadeSteps)); };
    return RGB3(mix(RedOf(color), RedOf(hot)), mix(GreenOf(color), GreenOf(hot)), mix(BlueOf(color), BlueOf(hot)));
}

std::vector<GradientBand> GradientBands(Color a, Color b, int top, int height) {
    std::vector<GradientBand> bands;
    if (height <= 0) return bands;
    const int bottom = top + height;
    auto part = [](int x, int y, int i) { return int(std::lround(x + (y - x) * double(i) / 31)); };
    for (int i = 0; i < 32; ++i) {
        const int start = top + i * height / 31;
        if (start >= bottom) break;
        const int rows = std::min(height / 31 + 1, bottom - start);
        bands.push_back({start, rows,
                         RGB3(part(RedOf(a), RedOf(b), i), part(GreenOf(a), GreenOf(b), i),
                              part(BlueOf(a), BlueOf(b), i))});
    }
    return bands;
}

int GlyphIndex(int count, bool enabled, bool down, bool hot) {
    if (!enabled) return count > 1 ? 1 : 0;
    if (down && count > 2) return 2;
    if (hot && count > 3) return 3;
    return 0;
}

TColorSpeedButtonStyle EffectiveStyle(TColorSpeedButtonStyle style, int screenBits) {
    return style == TColorSpeedButtonStyle::bsModern && screenBits <= 8 ? TColorSpeedButtonStyle::bsNormal : style;
}

}  // namespace stellwerk

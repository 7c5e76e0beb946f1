#pragma once
// The colour buttons' rules: the colour presets, the fade of the hot-track
// highlight, the gradient bands of the modern face and the glyph choice.
#include <optional>
#include <vector>

#include "common.h"

namespace stellwerk {

enum class TColorSpeedButtonStyle { bsNormal, bsEncarta, bsModern, bsOld, bsShape };
enum class TLbColorStyle {
    lcsCustom, lcsGold, lcsChrome, lcsBlue, lcsRed, lcsUltraFlat1, lcsUltraFlat2, lcsUltraFlatXP, lcsAqua
};

// No colour set (the platform's none).
constexpr Color kNoColour = 0x1FFFFFFF;
// Stands for the system's button-face colour in a preset.
constexpr Color kButtonFace = 0x1F000000;

struct ColorButtonPreset {
    Color color, light, shadow, hotTrack, whenDown;
    bool flat;
    TColorSpeedButtonStyle style;
};
// The row of a preset; nothing for lcsCustom, which changes nothing.
std::optional<ColorButtonPreset> PresetOf(TLbColorStyle style);

constexpr int kFadeSteps = 8;
constexpr int kFadeIntervalMs = 30;
// The face colour while hot: color and hot blended with weight step / 8 per
// channel, rounded to nearest.
Color FadeBlend(Color color, Color hot, int step);

struct GradientBand {
    int top, height;
    Color colour;
};
// 32 bands from a to b over height rows from top: band i starts at
// top + i * height / 31 and is height / 31 + 1 rows high, clipped to the
// range (so the last has no rows), its colour a + i / 31 of the way to b.
std::vector<GradientBand> GradientBands(Color a, Color b, int top, int height);

// The image of a glyph strip of count images: 1 disabled; enabled, 2 when
// down (more than 2 images), else 3 when hot (more than 3), else 0.
int GlyphIndex(int count, bool enabled, bool down, bool hot);

// bsModern paints as bsNormal on screens of 8 bits per pixel or fewer.
TColorSpeedButtonStyle EffectiveStyle(TColorSpeedButtonStyle style, int screenBits);

}  // namespace stellwerk

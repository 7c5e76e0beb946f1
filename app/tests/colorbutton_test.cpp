// The colour buttons' presets, fade, gradient bands and glyph choice.
#include <gtest/gtest.h>

#include "colorbutton.h"

using namespace stellwerk;

TEST(ColorButton, PresetsAndStyles) {
    EXPECT_FALSE(PresetOf(TLbColorStyle::lcsCustom)) << "custom changes nothing";
    const auto gold = PresetOf(TLbColorStyle::lcsGold);
    ASSERT_TRUE(gold);
    EXPECT_EQ(0x00C0C0u, gold->color);
    EXPECT_EQ(0x00DFDFu, gold->hotTrack);
    EXPECT_EQ(kNoColour, gold->whenDown);
    EXPECT_EQ(TColorSpeedButtonStyle::bsModern, gold->style);
    const auto flat = PresetOf(TLbColorStyle::lcsUltraFlat1);
    ASSERT_TRUE(flat);
    EXPECT_EQ(kButtonFace, flat->color);
    EXPECT_TRUE(flat->flat);
    EXPECT_EQ(TColorSpeedButtonStyle::bsNormal, flat->style);
    // A 256-colour screen paints modern faces as normal ones.
    EXPECT_EQ(TColorSpeedButtonStyle::bsNormal, EffectiveStyle(TColorSpeedButtonStyle::bsModern, 8));
    EXPECT_EQ(TColorSpeedButtonStyle::bsModern, EffectiveStyle(TColorSpeedButtonStyle::bsModern, 16));
    EXPECT_EQ(TColorSpeedButtonStyle::bsOld, EffectiveStyle(TColorSpeedButtonStyle::bsOld, 8));
}

TEST(ColorButton, FadeBlendsByEighths) {
    const struct {
        int step;
        Color want;
    } cases[] = {{8, RGB3(200, 100, 0)}, {0, RGB3(0, 0, 255)}, {4, RGB3(100, 50, 128)}, {1, RGB3(25, 13, 223)},
                 {9, RGB3(200, 100, 0)}, {-1, RGB3(0, 0, 255)}};
    for (const auto& c : cases)
        EXPECT_EQ(c.want, FadeBlend(RGB3(0, 0, 255), RGB3(200, 100, 0), c.step)) << "step " << c.step;
}

TEST(ColorButton, GradientBandsCoverTheRange) {
    const auto bands = GradientBands(RGB3(0, 0, 0), RGB3(31, 62, 255), 2, 62);
    // The 32nd band starts where the range ends: it has no rows.
    ASSERT_EQ(31u, bands.size());
    EXPECT_EQ(2, bands[0].top);
    EXPECT_EQ(3, bands[0].height) << "height / 31 + 1";
    EXPECT_EQ(RGB3(0, 0, 0), bands[0].colour);
    EXPECT_EQ(2 + 62, bands[30].top + bands[30].height) << "clipped to the range";
    EXPECT_EQ(RGB3(30, 60, 247), bands[30].colour);
    for (const auto& b : GradientBands(0, 0xFFFFFF, 0, 31 * 40)) EXPECT_LE(b.top + b.height, 31 * 40);
    EXPECT_EQ(RGB3(1, 2, 8), bands[1].colour);
    for (size_t i = 1; i < bands.size(); ++i) EXPECT_LE(bands[i].top, bands[i - 1].top + bands[i - 1].height);
    // Short ranges give fewer bands, none outside.
    for (const auto& b : GradientBands(0, 0xFFFFFF, 10, 5)) EXPECT_LE(b.top + b.height, 15);
    EXPECT_TRUE(GradientBands(0, 0, 0, 0).empty());
}

TEST(ColorButton, GlyphChoice) {
    const struct {
        int count;
        bool enabled, down, hot;
        int want;
    } cases[] = {{4, false, true, true, 1}, {4, true, true, true, 2}, {2, true, true, false, 0},
                 {4, true, false, true, 3}, {3, true, false, true, 0}, {1, false, false, false, 0},
                 {4, true, false, false, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(c.want, GlyphIndex(c.count, c.enabled, c.down, c.hot))
            << c.count << " " << c.enabled << c.down << c.hot;
}

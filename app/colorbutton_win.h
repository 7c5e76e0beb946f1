#pragma once
// The owner-drawn colour button of the forms: faces in five styles and
// nine colour presets, a hot-track highlight that can fade out over eight
// steps of a 30 ms timer on the user-interface thread, groups of buttons
// that stay down, glyph strips and an optional popup menu. ButtonColor adds
// a swatch of a chosen colour before the caption.
#include "colorbutton.h"
#include "forms/controls.h"
#include "forms/extctrls.h"
#include "forms/menus.h"

namespace forms {
class Timer;
}

namespace stellwerk {

class TColorSpeedButton : public forms::GraphicControl {
public:
    explicit TColorSpeedButton(forms::Component* owner);

    // The swatch's colour; clNone shows none.
    forms::TColor ButtonColor() const { return buttonColor_; }
    void SetButtonColor(forms::TColor c);

    TLbColorStyle ColorStyle() const { return colorStyle_; }
    // Anything but lcsCustom applies its preset and repaints.
    void SetColorStyle(TLbColorStyle s);
    TColorSpeedButtonStyle Style() const { return style_; }
    // bsModern sets Alignment to 2 (centre).
    void SetStyle(TColorSpeedButtonStyle s);
    forms::TColor LightColor = forms::clWhite, ShadowColor = forms::clBlack;
    forms::TColor HotTrackColor = forms::clNone, ColorWhenDown = forms::clNone;
    bool Flat = false, Transparent = false, WordWrap = false, SlowDecease = false, AllowAllUp = false;
    bool UseHotTrackFont = false;
    forms::Font HotTrackFont;
    int Alignment = 0;  // 0 left, 1 right, 2 centre
    int GroupIndex = 0;
    int NumGlyphs = 1;
    forms::Bitmap Glyph;

    bool Down() const { return down_; }
    // With a group, the other buttons of the parent's group come up.
    void SetDown(bool on);
    bool Hot() const { return hot_; }
    int FadeStep() const { return step_; }
    // The face colour the next paint uses.
    forms::TColor FaceColour() const;
    void Click() override;
    bool HandleMessage(win::Message& m) override;

protected:
    void Paint(forms::Canvas& canvas) override;

private:
    void enter();
    void leave();
    void fadeTick();
    forms::TColor buttonColor_ = forms::clNone;
    TLbColorStyle colorStyle_ = TLbColorStyle::lcsCustom;
    TColorSpeedButtonStyle style_ = TColorSpeedButtonStyle::bsNormal;
    bool down_ = false, hot_ = false;
    int step_ = 0;
    forms::Timer* fade_ = nullptr;
};

}  // namespace stellwerk

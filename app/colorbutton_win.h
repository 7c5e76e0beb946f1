#pragma once
// Stands in for the colour buttons of the forms (TColorSpeedButton): a flat
// button with its caption and, when it has one, a swatch of its colour.
#include "forms/controls.h"

namespace stellwerk {

class TColorSpeedButton : public forms::GraphicControl {
public:
    explicit TColorSpeedButton(forms::Component* owner);
    // The colour the swatch shows; clNone shows none.
    forms::TColor ButtonColor() const { return buttonColor_; }
    void SetButtonColor(forms::TColor c);

protected:
    void Paint(forms::Canvas& canvas) override;

private:
    forms::TColor buttonColor_ = forms::clNone;
};

}  // namespace stellwerk

#include "colorbutton_win.h"

namespace stellwerk {

TColorSpeedButton::TColorSpeedButton(forms::Component* owner) : GraphicControl(owner) {
    SetBounds(0, 0, 75, 23);
    SetParentColor(true);
}

void TColorSpeedButton::SetButtonColor(forms::TColor c) {
    buttonColor_ = c;
    Invalidate();
}

void TColorSpeedButton::Paint(forms::Canvas& canvas) {
    forms::Rect r = ClientRect();
    RECT rc{r.left, r.top, r.right, r.bottom};
    DrawEdge(canvas.Handle(), &rc, EDGE_RAISED, BF_RECT);
    r = {r.left + 4, r.top + 3, r.right - 4, r.bottom - 3};
    if (buttonColor_ != forms::clNone) {
        const forms::Rect swatch{r.left, r.top + 1, r.left + r.Height() - 2 + 6, r.bottom - 1};
        canvas.brush.color = buttonColor_;
        canvas.FillRect(swatch);
        canvas.brush.color = forms::clBlack;
        canvas.FrameRect(swatch);
        r.left = swatch.right + 4;
    }
    canvas.font.SetColor(EffectivelyEnabled() ? forms::clBtnText : forms::clGrayText);
    canvas.DrawText(Caption(), r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

}  // namespace stellwerk

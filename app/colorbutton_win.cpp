#include "colorbutton_win.h"

#include "common_win.h"
#include "forms/application.h"

namespace stellwerk {

namespace {

forms::TColor resolved(Color c) {
    if (c == kNoColour) return forms::clNone;
    if (c == kButtonFace) return forms::clBtnFace;
    return forms::TColor(c);
}

bool isSet(forms::TColor c) { return c != forms::clNone; }

}  // namespace

TColorSpeedButton::TColorSpeedButton(forms::Component* owner) : GraphicControl(owner) {
    SetBounds(0, 0, 100, 23);
    SetParentColor(true);
    fade_ = new forms::Timer(this);
    fade_->SetEnabled(false);
    fade_->SetInterval(kFadeIntervalMs);
    fade_->OnTimer = [this](forms::Component*) { fadeTick(); };
    if (auto* form = dynamic_cast<forms::Control*>(owner)) HotTrackFont = form->GetFont();
}

void TColorSpeedButton::SetButtonColor(forms::TColor c) {
    buttonColor_ = c;
    Invalidate();
}

void TColorSpeedButton::SetColorStyle(TLbColorStyle s) {
    colorStyle_ = s;
    const auto p = PresetOf(s);
    if (!p) return;
    SetColor(resolved(p->color));
    LightColor = resolved(p->light);
    ShadowColor = resolved(p->shadow);
    HotTrackColor = resolved(p->hotTrack);
    ColorWhenDown = resolved(p->whenDown);
    Flat = p->flat;
    SetStyle(p->style);
    Invalidate();
}

void TColorSpeedButton::SetStyle(TColorSpeedButtonStyle s) {
    style_ = s;
    if (s == TColorSpeedButtonStyle::bsModern) Alignment = 2;
    Invalidate();
}

void TColorSpeedButton::SetDown(bool on) {
    if (down_ == on) return;
    down_ = on;
    if (on && GroupIndex != 0 && Parent())
        for (int i = 0; i < Parent()->ControlCount(); ++i) {
            auto* b = dynamic_cast<TColorSpeedButton*>(Parent()->Controls(i));
            if (b && b != this && b->GroupIndex == GroupIndex && b->down_) {
                b->down_ = false;
                b->Invalidate();
            }
        }
    Invalidate();
}

forms::TColor TColorSpeedButton::FaceColour() const {
    const bool enabled = EffectivelyEnabled();
    forms::TColor face = forms::ColorToRGB(Color());
    if (enabled && isSet(HotTrackColor))
        face = forms::TColor(FadeBlend(stellwerk::Color(face), stellwerk::Color(forms::ColorToRGB(HotTrackColor)), step_));
    if (enabled && down_ && isSet(ColorWhenDown)) face = forms::ColorToRGB(ColorWhenDown);
    return face;
}

void TColorSpeedButton::enter() {
    if (!EffectivelyEnabled() || !Visible()) return;
    hot_ = true;
    step_ = kFadeSteps;
    fade_->SetEnabled(false);
    Invalidate();
}

void TColorSpeedButton::leave() {
    hot_ = false;
    if (SlowDecease && step_ > 0) {
        fade_->SetEnabled(true);
    } else {
        step_ = 0;
        Invalidate();
    }
}

void TColorSpeedButton::fadeTick() {
    if (step_ > 0) --step_;
    if (step_ == 0) fade_->SetEnabled(false);
    Invalidate();
}

void TColorSpeedButton::Click() {
    if (forms::PopupMenu* menu = GetPopupMenu()) {
        const POINT p = ClientToScreen({0, Height()});
        menu->Popup(p.x, p.y);
    }
    Control::Click();
}

bool TColorSpeedButton::HandleMessage(win::Message& m) {
    switch (m.msg) {
    case WM_MOUSEMOVE:
        if (!hot_) enter();
        break;
    case WM_MOUSELEAVE: leave(); break;
    case WM_LBUTTONDOWN:
        if (EffectivelyEnabled()) {
            if (GroupIndex == 0 || !down_)
                SetDown(true);
            else if (AllowAllUp)
                SetDown(false);
        }
        break;
    case WM_LBUTTONUP:
        if (GroupIndex == 0) SetDown(false);
        break;
    default: break;
    }
    return GraphicControl::HandleMessage(m);
}

void TColorSpeedButton::Paint(forms::Canvas& screen) {
    using S = TColorSpeedButtonStyle;
    const forms::Rect r = ClientRect();
    if (r.Width() <= 0 || r.Height() <= 0) return;
    const S style = EffectiveStyle(style_, ScreenDepth());
    const bool enabled = EffectivelyEnabled();
    const forms::TColor face = FaceColour();
    const forms::TColor light = forms::ColorToRGB(LightColor), shadow = forms::ColorToRGB(ShadowColor);
    constexpr forms::TColor kMagenta = 0xFF00FF;
    // The face is drawn off screen, then copied; magenta stays transparent.
    forms::Bitmap off(r.Width(), r.Height());
    forms::Canvas& c = off.GetCanvas();
    const bool keyed = Transparent || style == S::bsModern || style == S::bsShape;
    c.brush.color = keyed ? kMagenta : forms::ColorToRGB(forms::clBtnFace);
    c.FillRect(r);
    if (!Transparent && style != S::bsShape) {
        if (style == S::bsModern) {
            const int quarter = r.Height() / 4 + (down_ ? 1 : 0);
            auto bands = [&](forms::TColor a, forms::TColor b, int top, int height) {
                for (const GradientBand& g : GradientBands(stellwerk::Color(a), stellwerk::Color(b), top, height)) {
                    c.brush.color = forms::TColor(g.colour);
                    c.FillRect({2, g.top, r.Width() - 2, g.top + g.height});
                }
            };
            bands(light, face, 2, quarter - 2);
            bands(face, light, quarter, r.Height() - 1 - quarter);
        } else {
            c.brush.color = face;
            c.FillRect(r);
        }
    }
    auto line = [&](forms::TColor colour, int x0, int y0, int x1, int y1) {
        c.pen.color = colour;
        c.MoveTo(x0, y0);
        c.LineTo(x1, y1);
    };
    if (style == S::bsModern) {
        c.brush.clear = true;
        c.pen.color = down_ ? shadow : face;
        c.Rectangle({1, 1, r.Width() - 1, r.Height() - 1});
        c.pen.color = shadow;
        c.RoundRect(r, 6, 6);
        c.brush.clear = false;
    } else if (style != S::bsShape && ((enabled && (!Flat || hot_ || down_)) || (!enabled && !Flat))) {
        const forms::TColor topLeft = down_ ? shadow : light, bottomRight = down_ ? light : shadow;
        const int w = r.Width() - 1, h = r.Height() - 1;
        const forms::TColor outer = style == S::bsOld ? forms::ColorToRGB(forms::cl3DDkShadow) : bottomRight;
        line(topLeft, 0, h, 0, 0);
        line(topLeft, 0, 0, w + 1, 0);
        line(outer, w, 0, w, h);
        line(outer, w, h, -1, h);
        if (style == S::bsOld) {
            line(shadow, w - 1, 1, w - 1, h - 1);
            line(shadow, w - 1, h - 1, 0, h - 1);
        }
    }
    forms::Rect t{4, 2, r.Width() - 4, r.Height() - 2};
    if (down_) t = {t.left + 1, t.top + 1, t.right + 1, t.bottom + 1};
    if (!Glyph.Empty() && NumGlyphs > 0) {
        const int gw = Glyph.Width() / NumGlyphs, index = GlyphIndex(NumGlyphs, enabled, down_, hot_);
        forms::Bitmap one(gw, Glyph.Height());
        BitBlt(one.GetCanvas().Handle(), 0, 0, gw, Glyph.Height(), const_cast<forms::Bitmap&>(Glyph).GetCanvas().Handle(),
               index * gw, 0, SRCCOPY);
        c.Draw(t.left, (r.Height() - Glyph.Height()) / 2, one.Handle());
        t.left += gw + 2;
    }
    if (buttonColor_ != forms::clNone) {
        const forms::Rect swatch{t.left, t.top + 2, t.left + 20, t.bottom - 2};
        c.brush.color = buttonColor_;
        c.FillRect(swatch);
        c.brush.color = forms::clBlack;
        c.FrameRect(swatch);
        t.left = swatch.right + 4;
    }
    c.font = hot_ && UseHotTrackFont ? HotTrackFont : GetFont();
    if (style == S::bsEncarta && down_) c.font.SetStyle(c.font.Style() | forms::fsBold);
    if (!enabled) c.font.SetColor(forms::clGrayText);
    SetBkMode(c.Handle(), TRANSPARENT);
    std::string caption = Caption();
    UINT format = DT_SINGLELINE | DT_CENTER | DT_VCENTER;
    if (WordWrap)
        format = DT_WORDBREAK | (Alignment == 0 ? DT_LEFT : Alignment == 1 ? DT_RIGHT : DT_CENTER);
    else if (style == S::bsShape)
        while (!caption.empty() && c.TextWidth(caption) > r.Width() - 8) caption.pop_back();
    c.DrawText(caption, t, format);
    if (GetPopupMenu()) {
        // The drop-down arrow at the right edge.
        const int ax = r.Width() - 10, ay = r.Height() / 2 - 1;
        c.brush.color = enabled ? forms::ColorToRGB(forms::clBtnText) : forms::ColorToRGB(forms::clGrayText);
        c.pen.color = c.brush.color;
        c.Polygon({{ax, ay}, {ax + 5, ay}, {ax + 2, ay + 3}});
    }
    if (keyed)
        TransparentBlt(screen.Handle(), 0, 0, r.Width(), r.Height(), c.Handle(), 0, 0, r.Width(), r.Height(), kMagenta);
    else
        BitBlt(screen.Handle(), 0, 0, r.Width(), r.Height(), c.Handle(), 0, 0, SRCCOPY);
}

}  // namespace stellwerk

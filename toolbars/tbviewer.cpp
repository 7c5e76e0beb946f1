#include "tbviewer.h"

#include <algorithm>

#include "tbview.h"

namespace toolbars {

namespace {
// Widths of the arrow parts of buttons.
constexpr int kSplitArrowWidth = 11;
constexpr int kDropArrowWidth = 8;

// A small filled triangle pointing down (or right) centred on (cx, cy).
std::vector<TBPoint> arrowPoints(int cx, int cy, bool right) {
    if (right) return {{cx - 1, cy - 2}, {cx - 1, cy + 2}, {cx + 1, cy}};
    return {{cx - 2, cy - 1}, {cx + 2, cy - 1}, {cx, cy + 1}};
}

std::vector<TBPoint> moved(std::vector<TBPoint> pts, int dx, int dy) {
    for (TBPoint& p : pts) p.x += dx, p.y += dy;
    return pts;
}
}  // namespace

std::unique_ptr<TTBItemViewer> TTBCustomItem::CreateViewer(TTBView* view) {
    return std::make_unique<TTBItemViewer>(view, this);
}

std::unique_ptr<TTBItemViewer> TTBSeparatorItem::CreateViewer(TTBView* view) {
    return std::make_unique<TTBSeparatorItemViewer>(view, this);
}

TTBItemViewer::TTBItemViewer(TTBView* view, TTBCustomItem* item) : item_(item), view_(view) {}

bool TTBItemViewer::IsToolbarStyle() const {
    return view_->IsToolbar() || (item_->EffectiveOptions() & tboToolbarStyle);
}

bool TTBItemViewer::IsToolbarSize() const {
    return view_->IsToolbar() || (item_->EffectiveOptions() & tboToolbarSize);
}

bool TTBItemViewer::IsRotated() const {
    return view_->Orientation() == tbvoVertical &&
           !(item_->EffectiveOptions() & (tboNoRotation | tboImageAboveCaption));
}

forms::CustomImageList* TTBItemViewer::GetImageList() const {
    if (item_->Images()) return item_->Images();
    for (TTBView* v = view_; v; v = v->ParentView()) {
        if (v->CurrentParentItem() && v->CurrentParentItem()->SubMenuImages())
            return v->CurrentParentItem()->SubMenuImages();
        if (v->ParentItem() && v->ParentItem()->SubMenuImages()) return v->ParentItem()->SubMenuImages();
    }
    return nullptr;
}

bool TTBItemViewer::ImageShown() const {
    if (item_->ImageIndex() < 0 || !GetImageList()) return false;
    const TTBItemDisplayMode m = item_->DisplayMode();
    return m == nbdmDefault || m == nbdmImageAndText || (IsToolbarStyle() && m == nbdmTextOnlyInMenus);
}

bool TTBItemViewer::CaptionShown() const {
    if (item_->Caption().empty()) return false;
    const TTBItemDisplayMode m = item_->DisplayMode();
    if (!IsToolbarSize() || !ImageShown() || m == nbdmTextOnly || m == nbdmImageAndText) return true;
    return item_->EffectiveOptions() & tboImageAboveCaption;
}

std::string TTBItemViewer::GetCaptionText() const {
    const std::string& c = item_->Caption();
    return c.substr(0, c.find('\t'));
}

int TTBItemViewer::MenuImageColumnWidth(int h) const {
    if (forms::CustomImageList* list = GetImageList()) return MulDiv(list->Width() + 3, h, list->Height() + 3);
    return h;
}

void TTBItemViewer::CalcSize(TBMetrics& m, int& width, int& height) {
    const bool toolbarStyle = IsToolbarStyle();
    const bool bold = item_->EffectiveOptions() & tboDefault;
    const int pad = toolbarStyle ? 6 : 0;
    width = height = pad;
    const int textH = m.TextHeight(bold);
    if (!toolbarStyle || CaptionShown()) {
        const int n = item_->RkFixedCaptionLen();
        const std::string text = n > 0 ? std::string(size_t(n), 'V')
                                        : StripAccelChars(GetCaptionText(), [&m](char c) { return m.IsLeadByte(c); });
        const int extent = m.TextWidth(text, bold);
        if (IsRotated()) {
            width += textH;
            height += extent + pad;
        } else {
            height += textH;
            width += extent + pad;
        }
    }
    forms::CustomImageList* list = GetImageList();
    if (toolbarStyle) {
        if (ImageShown()) {
            if (IsRotated() || (item_->EffectiveOptions() & tboImageAboveCaption)) {
                height += list->Height();
                width = std::max(width, list->Width() + 7);
            } else {
                width += list->Width() + 1;
                height = std::max(height, list->Height() + 6);
            }
        }
        if (item_->ItemStyle() & isSubmenu) {
            if (item_->ItemStyle() & isSplitButton)
                width += kSplitArrowWidth;
            else if (item_->EffectiveOptions() & tboDropdownArrow)
                (view_->Orientation() == tbvoVertical ? height : width) += kDropArrowWidth;
        }
        return;
    }
    height = textH + m.ExternalLeading(bold) + 4;
    int column = height;
    if (list) {
        height = std::max(height, list->Height() + 3);
        column = MenuImageColumnWidth(height);
    }
    width += column + 6;
    const std::string shortcut = item_->GetShortCutText();
    if (!shortcut.empty()) width += m.TextWidth(shortcut, bold) + height - 6;
    width += height;  // the submenu arrow
}

void TTBItemViewer::DrawItemCaption(TBCanvas& canvas, const Rect& r, unsigned format, bool rotated) {
    const std::string text = GetCaptionText();
    format |= canvas.extraTextFlags;
    auto draw = [&](const Rect& at, TBColor c) {
        if (rotated)
            canvas.DrawRotatedText(text, at, format, c);
        else
            canvas.DrawText(text, at, format, c);
    };
    if (!item_->Enabled() && canvas.embossDisabled) {
        draw({r.left + 1, r.top + 1, r.right + 1, r.bottom + 1}, TBColor::BtnHighlight);
        draw(r, TBColor::BtnShadow);
    } else {
        draw(r, canvas.textColor);
    }
}

void TTBItemViewer::Paint(TBCanvas& canvas, const Rect& client, bool selected, bool pushed, bool mouseOver) {
    const TTBItemStyles style = item_->ItemStyle();
    const TTBItemOptions opts = item_->EffectiveOptions();
    const bool enabled = item_->Enabled();
    const bool checked = item_->Checked();
    const bool split = (style & isSubmenu) && (style & isSplitButton);
    forms::CustomImageList* list = GetImageList();
    const bool image = ImageShown();
    canvas.bold = opts & tboDefault;

    if (IsToolbarStyle()) {
        const bool vertical = view_->Orientation() == tbvoVertical;
        const bool dropArrow = (style & isSubmenu) && !split && (opts & tboDropdownArrow);
        const bool hot = selected && enabled;
        Rect main = client;
        Rect arrow{};
        if (split) {
            arrow = {client.right - kSplitArrowWidth, client.top, client.right, client.bottom};
            main.right = arrow.left;
        } else if (dropArrow) {
            arrow = vertical ? Rect{client.left, client.bottom - 11, client.right, client.bottom - 3}
                             : Rect{client.right - kDropArrowWidth, client.top, client.right, client.bottom};
        }
        if (enabled) {
            const bool mainDown = split ? (pushed && view_->Capture()) || checked : pushed || checked;
            if (mainDown)
                canvas.DrawEdge(main, tbBdrSunkenOuter, tbBfRect);
            else if (hot)
                canvas.DrawEdge(main, tbBdrRaisedInner, tbBfRect);
            if (split) {
                if (pushed && !view_->Capture())
                    canvas.DrawEdge(arrow, tbBdrSunkenOuter, tbBfRect);
                else if (hot)
                    canvas.DrawEdge(arrow, tbBdrRaisedInner, tbBfRect);
            }
        }
        if (checked && !hot) canvas.FillDither({main.left + 1, main.top + 1, main.right - 1, main.bottom - 1});
        const int shift = (pushed || checked) ? 1 : 0;
        Rect content = main;
        if (dropArrow) (vertical ? content.bottom : content.right) = vertical ? arrow.top : arrow.left;
        content = {content.left + shift, content.top + shift, content.right + shift, content.bottom + shift};
        const bool caption = CaptionShown();
        Rect textRect = content;
        if (image) {
            const int iw = list->Width(), ih = list->Height();
            int x, y;
            if (!caption) {
                x = content.left + (content.Width() - iw) / 2;
                y = content.top + (content.Height() - ih) / 2;
            } else if (IsRotated() || (opts & tboImageAboveCaption)) {
                x = content.left + (content.Width() - iw) / 2;
                y = content.top + 3;
                textRect.top = y + ih;
            } else {
                x = content.left + 3;
                y = content.top + (content.Height() - ih) / 2;
                textRect.left = x + iw + 1;
            }
            canvas.DrawImage(list, item_->ImageIndex(), x, y, enabled, checked, hot);
        }
        if (caption) DrawItemCaption(canvas, textRect, tbDtCenter | tbDtVCenter | tbDtSingleLine, IsRotated());
        if (split || dropArrow) {
            const int cx = (arrow.left + arrow.right) / 2 + (split ? 0 : shift);
            const int cy = (arrow.top + arrow.bottom) / 2 + (split ? 0 : shift);
            const auto pts = arrowPoints(cx, cy, vertical && !split);
            if (enabled) {
                canvas.FillPolygon(pts, TBColor::BtnText);
            } else {
                canvas.FillPolygon(moved(pts, 1, 1), TBColor::BtnHighlight);
                canvas.FillPolygon(pts, TBColor::BtnShadow);
            }
        }
        return;
    }

    // Menu rows.
    const int h = client.Height();
    const int column = MenuImageColumnWidth(h);
    const int checkW = split ? view_->Window()->Metrics().CheckMarkWidth() : 0;
    const bool hot = selected;
    if (hot) canvas.FillRect({client.left + column, client.top, client.right - checkW, client.bottom}, canvas.selectionFill);
    const Rect col{client.left, client.top, client.left + column, client.bottom};
    if ((image && hot && !checked) || checked) {
        canvas.DrawEdge(col, checked ? tbBdrSunkenOuter : tbBdrRaisedInner, tbBfRect | tbBfMiddle);
        if (checked && !hot) canvas.FillDither({col.left + 1, col.top + 1, col.right - 1, col.bottom - 1});
    }
    const int shift = checked ? 1 : 0;
    if (image) {
        canvas.DrawImage(list, item_->ImageIndex(), col.left + (column - list->Width()) / 2 + shift,
                         col.top + (h - list->Height()) / 2 + shift, enabled, checked, hot);
    } else if (checked) {
        const int cx = col.left + column / 2 - 2 + shift, cy = col.top + h / 2 + 1 + shift;
        canvas.Polyline({{cx - 2, cy - 2}, {cx, cy}, {cx + 4, cy - 4}, {cx + 4, cy - 3}, {cx, cy + 1}, {cx - 2, cy - 1},
                         {cx - 2, cy - 2}},
                        TBColor::BtnText);
        canvas.Polyline({{cx - 3, cy - 2}, {cx - 3, cy - 1}, {cx, cy + 2}, {cx + 5, cy - 3}, {cx + 5, cy - 5}},
                        TBColor::BtnHighlight);
    }
    DrawItemCaption(canvas, {client.left + column + 3, client.top, client.right - h, client.bottom},
                    tbDtLeft | tbDtVCenter | tbDtSingleLine, false);
    const std::string shortcut = item_->GetShortCutText();
    if (!shortcut.empty()) {
        const Rect sr{client.left + column + 3, client.top, client.right - h, client.bottom};
        const unsigned f = tbDtRight | tbDtVCenter | tbDtSingleLine | tbDtNoPrefix;
        if (!enabled && canvas.embossDisabled) {
            canvas.DrawText(shortcut, {sr.left + 1, sr.top + 1, sr.right + 1, sr.bottom + 1}, f, TBColor::BtnHighlight);
            canvas.DrawText(shortcut, sr, f, TBColor::BtnShadow);
        } else {
            canvas.DrawText(shortcut, sr, f, canvas.textColor);
        }
    }
    if (style & isSubmenu) {
        const Rect ar{client.right - h, client.top, client.right, client.bottom};
        if (split) canvas.DrawEdge({ar.left - 2, client.top + 1, ar.left, client.bottom - 1}, tbEdgeEtched, tbBfLeft);
        canvas.DrawMenuArrow(ar, canvas.textColor);
    }
}

void TTBItemViewer::Entering() {
    if (item_->OnSelect) item_->OnSelect(item_, this, true);
}

void TTBItemViewer::Leaving() {
    if (item_->OnSelect) item_->OnSelect(item_, this, false);
}

void TTBItemViewer::Invalidate() { view_->InvalidateViewer(this); }

bool TTBItemViewer::IsPtInButtonPart(int x, int y) {
    const TTBItemStyles style = item_->ItemStyle();
    if (!(style & isSubmenu)) return true;
    if (!(style & isSplitButton)) return false;
    const int arrow = IsToolbarStyle() ? kSplitArrowWidth : view_->Window()->Metrics().CheckMarkWidth();
    return x < BoundsRect.Width() - arrow;
}

void TTBItemViewer::MouseDown(TBShiftState shift, int x, int y, TTBTrackResult& r) {
    if (!item_->Enabled()) return;
    if (IsPtInButtonPart(x, y)) {
        if (IsToolbarStyle()) {
            view_->CloseChildPopups();
            view_->SetCapture(true);
        }
        return;
    }
    if (!(item_->ItemStyle() & isSubmenu)) return;
    if (view_->OpenViewer() != this) {
        view_->OpenChildPopup(false);
        if (!view_->ParentView() && !view_->IsPopup() && view_->OpenViewer()) view_->SetKeyboardMode(true);
    }
    // A double click runs the default item of the submenu.
    if ((shift & tbssDouble) && !(item_->ItemStyle() & isSplitButton)) {
        if (TTBView* popup = view_->OpenViewerView()) {
            for (int i = 0; i < popup->ViewerCount(); ++i) {
                TTBItemViewer* v = popup->Viewers(i);
                TTBCustomItem* it = v->Item();
                if (v->Show && it->Enabled() && it->Visible() && (it->ItemStyle() & isSelectable) &&
                    (it->EffectiveOptions() & tboDefault)) {
                    popup->Select(v, false);
                    popup->ClickResult(v, r);
                    break;
                }
            }
        }
    }
}

void TTBItemViewer::MouseUp(int x, int y, TTBTrackResult& r) {
    view_->SetCapture(false);
    const bool over = x >= 0 && y >= 0 && x < BoundsRect.Width() && y < BoundsRect.Height();
    if (over && view_->Selected() == this && item_->Enabled() && !(item_->ItemStyle() & isClicksTransparent) &&
        (!(item_->ItemStyle() & isSubmenu) || IsPtInButtonPart(x, y))) {
        view_->ClickResult(this, r);
        return;
    }
    // A toolbar's press that clicks nothing (released elsewhere, or on a
    // disabled item) ends its tracking unless a submenu opened.
    if (!view_->IsPopup() && !view_->OpenViewer() && !view_->KeyboardMode()) r.done = true;
}

// Separators -----------------------------------------------------------------

void TTBSeparatorItemViewer::CalcSize(TBMetrics& m, int& width, int& height) {
    if (IsToolbarStyle()) {
        width = height = 6;
        return;
    }
    width = 0;
    height = m.TextHeight(false) * 2 / 3;
}

void TTBSeparatorItemViewer::Paint(TBCanvas& canvas, const Rect& client, bool, bool, bool) {
    if (auto* sep = dynamic_cast<TTBSeparatorItem*>(item_); sep && sep->Blank()) return;
    const int orientation = view_->Orientation();
    const bool toolbar = IsToolbarStyle();
    if (toolbar && orientation != tbvoVertical && !LineBreak) {
        // A vertical line across a horizontal line of items.
        const int inset = LineSep ? 4 : 0;
        const int x = (client.left + client.right) / 2 - 1;
        canvas.DrawEdge({x, client.top + inset, x + 2, client.bottom - inset}, tbEdgeEtched, tbBfLeft);
        return;
    }
    int inset = 0;
    if (!toolbar)
        inset = 12;
    else if (LineSep)
        inset = orientation == tbvoVertical ? 4 : 1;
    const int y = (client.top + client.bottom) / 2 - 1;
    canvas.DrawEdge({client.left + inset, y, client.right - inset, y + 2}, tbEdgeEtched, tbBfTop);
}

}  // namespace toolbars

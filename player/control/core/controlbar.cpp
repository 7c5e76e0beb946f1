#include "controlbar.h"

#include <algorithm>

namespace qivctl {

namespace {

bool barsShown(const BarState& s) { return !s.hideControls && (!s.hideScrollBars || s.hasAnimation); }
bool scrollBarsShown(const BarState& s) { return !s.hideControls && !s.hideScrollBars; }

BarItem placed(int32_t x, int32_t y, int32_t w, int32_t h, bool enabled = true) {
    BarItem i;
    i.rect = {x, y, std::max(w, 0), std::max(h, 0)};
    i.visible = true;
    i.enabled = enabled;
    return i;
}

void layoutPanel(BarLayout& l, const BarState& s) {
    if (!s.loadingPanel) return;
    const int32_t row = std::max(s.linkTextHeight, 1);
    const bool wide = l.frameWidth >= 250;
    int32_t h;
    if (s.statusText)
        h = (wide ? 6 : 7) * row + 79;
    else
        h = row + 75;
    int32_t w = std::min(l.frameWidth - 10, 240);
    w = std::max(w, kCancelFromRight + 8);
    // In the middle of the view when it fits, else from its top-left corner.
    int32_t x = std::max(0, (l.frameWidth - w) / 2);
    int32_t y = std::max(0, (l.frameHeight - h) / 2);
    l.panel = placed(x, y, w, h);

    int32_t linkW = std::min(std::max(s.linkTextWidth, 0), w - 16);
    l.link = placed(x + (w - linkW) / 2, y + 8, linkW, row);
    if (s.statusText) {
        const int32_t buttonH = row + 8;
        l.cancel = placed(x + w - kCancelFromRight, y + h - 8 - buttonH, kCancelWidth, buttonH);
        l.progress = placed(x + 8, l.cancel.rect.y - 8 - (row + 2), w - 16, row + 2);
    }
}

}  // namespace

const BarItem* BarLayout::item(int32_t id) const {
    switch (id) {
        case BarRayTrace: return &rayTrace;
        case BarHScroll: return &hScroll;
        case BarVScroll: return &vScroll;
        case BarPlus: return &plus;
        case BarAuto: return &autoButton;
        case BarMinus: return &minus;
        case BarAnimStart: return &animStart;
        case BarAnimStop: return &animStop;
        case BarTrack: return &track;
        case BarCancel: return &cancel;
        case BarLink: return &link;
        case BarProgress: return &progress;
        default: return nullptr;
    }
}

void viewFrameSize(int32_t clientWidth, int32_t clientHeight, const BarMetrics& m, const BarState& s,
                   int32_t* frameWidth, int32_t* frameHeight) {
    int32_t w, h;
    if (barsShown(s)) {
        const bool bars = scrollBarsShown(s);
        if (!s.hasAnimation) {
            w = clientWidth - m.vScrollWidth;
            h = clientHeight - m.hScrollHeight;
        } else {
            w = bars ? clientWidth - m.vScrollWidth : clientWidth;
            h = clientHeight - (bars ? 2 : 1) * m.hScrollHeight;
        }
    } else {
        w = clientWidth + 1;
        h = clientHeight + 1;
    }
    *frameWidth = std::max(w, 0);
    *frameHeight = std::max(h, 0);
}

BarLayout layoutBar(int32_t W, int32_t H, const BarMetrics& m, const BarState& s) {
    BarLayout l;
    viewFrameSize(W, H, m, s, &l.frameWidth, &l.frameHeight);
    layoutPanel(l, s);
    if (!barsShown(s)) return l;

    const bool bars = scrollBarsShown(s);
    if (bars) {
        const int32_t cells = s.rayTraceEnabled ? 3 : 2;
        const int32_t cw = m.hScrollArrowWidth, ch = m.hScrollHeight;
        l.hScroll = placed(0, H - ch, W - cells * cw, ch);
        l.vScroll = placed(W - m.vScrollWidth, 0, m.vScrollWidth, H - 2 * m.vScrollArrowHeight);
        l.plus = placed(W - m.vScrollWidth, H - 2 * m.vScrollArrowHeight, m.vScrollWidth, m.vScrollArrowHeight);
        int32_t x = W - cells * cw;
        if (s.rayTraceEnabled) {
            l.rayTrace = placed(x, H - ch, cw, ch);
            x += cw;
        }
        l.autoButton = placed(x, H - ch, cw, ch);
        l.minus = placed(x + cw, H - ch, cw, ch);
    }
    if (s.hasAnimation) {
        const int32_t rowH = m.hScrollHeight;
        const int32_t y = H - (bars ? 2 : 1) * rowH;
        const int32_t rowW = bars ? W - m.vScrollWidth : W;
        l.animStart = placed(0, y, kAnimButtonWidth, rowH, !s.animationRunning);
        l.animStop = placed(kAnimButtonWidth, y, kAnimButtonWidth, rowH, s.animationRunning);
        l.track = placed(2 * kAnimButtonWidth, y, rowW - 2 * kAnimButtonWidth, rowH);
    }
    return l;
}

bool sizeNeedsLayout(int32_t clientWidth, int32_t clientHeight, const BarMetrics& m, const BarState& s,
                     int32_t frameWidth, int32_t frameHeight) {
    if (clientWidth <= 0 || clientHeight <= 0) return false;
    int32_t w, h;
    viewFrameSize(clientWidth, clientHeight, m, s, &w, &h);
    return w != frameWidth || h != frameHeight;
}

int32_t barHitTest(const BarLayout& l, int32_t x, int32_t y) {
    static const int32_t order[] = {BarCancel,  BarProgress, BarLink,  BarRayTrace, BarHScroll,   BarVScroll,
                                    BarPlus,    BarAuto,     BarMinus, BarAnimStart, BarAnimStop, BarTrack};
    for (int32_t id : order) {
        const BarItem* i = l.item(id);
        if (i->visible && i->rect.contains(x, y)) return id;
    }
    if (x >= 0 && y >= 0 && x < l.frameWidth && y < l.frameHeight) return HitView;
    return HitNone;
}

}  // namespace qivctl

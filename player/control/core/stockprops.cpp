#include "stockprops.h"

#include <cmath>

#include "render/renderer.h"
#include "slots.h"

namespace qivctl {

namespace {

PutResult noticeOnly(int32_t dispid) {
    PutResult r;
    r.changed = true;
    r.notice = dispid;
    return r;
}

PutResult invalid() {
    PutResult r;
    r.code = PutResult::Code::InvalidArg;
    return r;
}

}  // namespace

PutResult putAppearance(QivControlState& s, int32_t v) {
    // Compared with the value the get gives; any value but 0 means 3D.
    if (v == (s.flat ? 0 : 1)) return {};
    s.flat = v == 0;
    PutResult r = noticeOnly(qivdispid::Appearance);
    r.frameStyle = r.viewChange = true;
    return r;
}

PutResult putBorderStyle(QivControlState& s, int32_t v) {
    bool single = v == 1;
    if (single == s.singleBorder) return {};
    s.singleBorder = single;
    PutResult r = noticeOnly(qivdispid::BorderStyle);
    r.frameStyle = r.viewChange = true;
    return r;
}

PutResult putBackStyle(QivControlState& s, int32_t v) {
    if (v != 0 && v != 1) return invalid();
    bool transparent = v == 0;
    if (transparent == s.transparent) return {};
    s.transparent = transparent;
    PutResult r = noticeOnly(qivdispid::BackStyle);
    r.setDirty = true;
    return r;
}

PutResult putEnabled(QivControlState& s, bool v, bool ambientUIDead) {
    if (v == s.enabled) return {};
    s.enabled = v;
    s.uiDead = v ? ambientUIDead : true;
    return noticeOnly(qivdispid::Enabled);
}

PutResult putSaveFilesWithDocument(bool& field, bool v) {
    if (v == field) return {};
    field = v;
    PutResult r = noticeOnly(qivdispid::SaveFilesWithDocument);
    r.setDirty = true;
    return r;
}

FrameStyle frameStyleFor(uint32_t style, uint32_t exStyle, bool singleBorder, bool flat) {
    FrameStyle f;
    f.style = singleBorder ? style | kWsBorder : style & ~kWsBorder;
    f.exStyle = singleBorder && !flat ? exStyle | kWsExClientEdge : exStyle & ~kWsExClientEdge;
    f.changed = f.style != style || f.exStyle != exStyle;
    return f;
}

float zoomExtent(const float boxMin[3], const float boxMax[3]) {
    auto extent = [&](int i) {
        float e = std::fabs(boxMax[i] - boxMin[i]);
        return std::isfinite(e) ? e : 0.0f;
    };
    float x = extent(0);
    if (x > 0) return x;
    float other = std::fmax(extent(1), extent(2));
    return other > 0 ? other : 1.0f;
}

namespace {

float baseOf(const ZoomView& v) { return v.zoomBase > 0 && std::isfinite(v.zoomBase) ? v.zoomBase : 1.0f; }

}  // namespace

float zoomOf(const ZoomView& v, bool viewValid, const PendingViewing* pending) {
    if (pending) return pending->zoom;
    if (!viewValid) return 1.0f;
    float width = v.winXMax - v.winXMin;
    if (!(width > 0) || !std::isfinite(width)) return 1.0f;
    float z = zoomExtent(v.boxMin, v.boxMax) / width / baseOf(v);
    return std::isfinite(z) ? z : 1.0f;
}

PutResult putZoom(float z, bool viewValid, ZoomView* v, PendingViewing* pending) {
    PutResult r;
    if (!std::isfinite(z)) return r;
    if (std::fabs(z) < 0.00001f) z = 1.0f;
    z = std::fmin(std::fmax(z, kZoomMin), kZoomMax);
    if (!viewValid) {
        if (pending) pending->zoom = z;
        r.changed = true;
        return r;
    }
    if (zoomOf(*v, true, nullptr) == z) return r;
    float w = zoomExtent(v->boxMin, v->boxMax) / baseOf(*v) / z / 2;
    float oldWidth = v->winXMax - v->winXMin;
    float factor = oldWidth > 0 && std::isfinite(oldWidth) ? 2 * w / oldWidth : 0;
    v->winXMin = -w;
    v->winXMax = w;
    if (factor > 0 && std::isfinite(factor) && v->winYMax > v->winYMin) {
        v->winYMin *= factor;
        v->winYMax *= factor;
    } else {
        v->winYMin = -w;
        v->winYMax = w;
    }
    r.changed = true;
    r.notice = qivdispid::Zoom;
    r.setDirty = r.scrollBars = true;
    r.redraw = r.reRender = true;
    return r;
}

bool sceneBox(ScnNode* const* roots, float boxMin[3], float boxMax[3], size_t maxRoots) {
    bool any = false;
    for (size_t i = 0; roots && i < maxRoots && roots[i]; ++i) {
        Vec3 lo{}, hi{};
        if (!scnGetExtent(roots[i], &lo, &hi)) continue;
        const float l[3] = {lo.x, lo.y, lo.z}, h[3] = {hi.x, hi.y, hi.z};
        bool finite = true;
        for (int k = 0; k < 3; ++k) finite = finite && std::isfinite(l[k]) && std::isfinite(h[k]) && l[k] <= h[k];
        if (!finite) continue;
        for (int k = 0; k < 3; ++k) {
            boxMin[k] = any ? std::fmin(boxMin[k], l[k]) : l[k];
            boxMax[k] = any ? std::fmax(boxMax[k], h[k]) : h[k];
        }
        any = true;
    }
    return any;
}

const int32_t kShowAllNotices[11] = {qivdispid::PanX, qivdispid::PanY, qivdispid::Psi,  qivdispid::Phi,  qivdispid::Zoom, qivdispid::VRPx,
                                     qivdispid::VRPy, qivdispid::VRPz, qivdispid::EyeX, qivdispid::EyeY, qivdispid::EyeZ};

SubAnimationStart startSubAnimation(QivControlState& s, int32_t slot, int32_t index, bool repeat,
                                    const std::vector<MenuSubAnimation>& table, uint32_t nowTick,
                                    int32_t* clickState) {
    SubAnimationStart r;
    if (!slotValid(s, slot) || !s.slots[size_t(slot)].node) return r;
    if (index < 0 || size_t(index) >= table.size()) return r;
    QivObjectSlot& o = s.slots[size_t(slot)];
    const MenuSubAnimation& e = table[size_t(index)];
    o.animTime = 0;
    o.animStart = e.start;
    o.animEnd = e.end;
    o.animStartTick = nowTick;
    o.animPlaying = true;
    o.autoRepeat = repeat;
    if (clickState && *clickState == 1) *clickState = 2;
    r.started = true;
    r.index = index;
    r.name = e.name;
    r.repeat = repeat;
    r.buttons = slot == s.currentSlot;
    return r;
}

AnimationMenuAction animationMenuAction(const QivControlState& s, uint32_t id, bool ready, bool animationAvailable,
                                        int32_t hoveredSlot, const std::vector<MenuSubAnimation>& table) {
    using K = AnimationMenuAction::Kind;
    AnimationMenuAction a;
    if (!ready || !animationAvailable || id < kMenuAnimation || id > kMenuAnimationLast) return a;
    int32_t slot = slotValid(s, hoveredSlot) ? hoveredSlot : s.currentSlot;
    if (!slotValid(s, slot)) return a;
    const QivObjectSlot& o = s.slots[size_t(slot)];
    a.slot = slot;
    if (o.animPlaying) {
        a.kind = slot == s.currentSlot ? K::StopCurrent : K::ClearPlaying;
        return a;
    }
    if (id == kMenuAnimation) {
        if (slot == s.currentSlot) {
            a.kind = K::StartWhole;
            return a;
        }
        for (size_t i = 0; i < table.size(); ++i) {
            if (table[i].start == o.animStart && table[i].end == o.animEnd) {
                a.kind = K::StartSub;
                a.index = int32_t(i);
                a.repeat = true;
                return a;
            }
        }
        return a;
    }
    size_t i = id - kMenuAnimation - 1;
    if (i >= table.size()) return a;
    a.kind = K::StartSub;
    a.index = int32_t(i);
    return a;
}

VerbPlan verbPlan(int32_t verb, bool loadObjectMenuEnabled, bool ready, bool hasAnimation) {
    VerbPlan p;
    if (verb == 1 && loadObjectMenuEnabled) {
        p.loadDialog = true;
        p.show = ready;  // decided again after the dialog
        return p;
    }
    if (verb == 1 || verb == 2) {
        if (ready && hasAnimation) p.show = p.toggleAnimation = true;
        return p;
    }
    p.standard = true;
    return p;
}

}  // namespace qivctl

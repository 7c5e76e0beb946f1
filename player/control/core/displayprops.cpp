#include "displayprops.h"

#include <cmath>
#include <cstring>

namespace qivctl {

PutResult displayPutReactions(int32_t dispid, bool changed, bool windowExists, int32_t backPicMode) {
    PutResult r;
    auto notice = [&] {
        r.changed = true;
        r.notice = dispid;
    };
    switch (dispid) {
    case qivdispid::LoadObjectMenuEnabled:
        r.changed = changed;
        return r;
    case qivdispid::BackPicMode:
        notice();
        r.setupBackground = windowExists;
        r.setDirty = r.redraw = r.reRender = true;
        return r;
    default: break;
    }
    if (!changed) return r;
    switch (dispid) {
    case qivdispid::Filter:
        r.changed = true;
        if (windowExists) {
            r.notice = dispid;
            r.redraw = r.reRender = r.setDirty = true;
        }
        break;
    case qivdispid::FlatTexturePath:
    case qivdispid::AnimateOnClick:
    case qivdispid::DelayBeforeLoad:
    case qivdispid::DelayAfterPreview:
    case qivdispid::IncrementalDisplay:
    case qivdispid::PreviewMode:
        notice();
        break;
    case qivdispid::HideControls:
    case qivdispid::HideScrollBars:
        notice();
        r.relayout = windowExists;
        r.setDirty = r.redraw = r.reRender = true;
        break;
    case qivdispid::Walkthrough:
        notice();
        r.redraw = r.reRender = windowExists;
        break;
    case qivdispid::BackPicOffsetX:
    case qivdispid::BackPicOffsetY:
        notice();
        r.setDirty = r.redraw = r.reRender = true;
        r.setupBackground = windowExists && backPicMode == 2;
        break;
    default: break;
    }
    return r;
}

bool displayModeValid(int32_t v) {
    int32_t mode = v & ~32;
    return v >= 0 && ((mode >= 0 && mode <= 7) || mode == 16 || (mode >= 20 && mode <= 23));
}

bool putMenuName(std::optional<std::string>& stored, const char* value) {
    bool empty = !value || !*value;
    if (stored && !empty && *stored == value) return false;
    if (!stored && empty) return false;
    if (empty)
        stored.reset();
    else
        stored = std::string(value);
    return true;
}

float animationTimeAt(const QivObjectSlot& slot, uint32_t nowTick) {
    uint32_t elapsed = nowTick - slot.animStartTick;
    return float(double(elapsed) * slot.animRate * slot.animSpeed * 0.001 + slot.animStart);
}

PutResult putAnimSpeed(QivObjectSlot& slot, float v, uint32_t nowTick) {
    PutResult r;
    if (v == slot.animSpeed) return r;
    // A negative (or not finite) speed changes nothing but is still announced.
    if (!(v >= 0) || !std::isfinite(v)) {
        r.notice = qivdispid::AnimSpeed;
        return r;
    }
    if (slot.animTime != 0) {
        float reached = animationTimeAt(slot, nowTick);
        slot.animSpeed = v;
        putCurrentTime(slot, reached, nowTick, true);
    } else {
        slot.animSpeed = v;
    }
    r.changed = true;
    r.notice = qivdispid::AnimSpeed;
    return r;
}

CurrentTimePut putCurrentTime(QivObjectSlot& slot, float t, uint32_t nowTick, bool animationPlaying) {
    CurrentTimePut p;
    if (!std::isfinite(t)) {
        p.result.code = PutResult::Code::InvalidArg;
        return p;
    }
    if (slot.animStartTick != 0 || slot.animTime == 0 || slot.animStart == 0) {
        double rate = double(slot.animRate) * slot.animSpeed;
        if (rate > 0 && std::isfinite(rate)) {
            double ms = std::trunc((double(t) - slot.animStart) / rate * 1000.0);
            if (std::isfinite(ms)) {
                // Ticks wrap at 2^32; only the remainder matters.
                int64_t k = int64_t(std::fmod(ms, 4294967296.0));
                slot.animStartTick = nowTick - uint32_t(k);
            }
        }
    }
    slot.animTime = t;
    p.result.changed = true;
    p.frameInvalid = true;
    p.result.viewChange = !animationPlaying;
    if (slot.hasAnimation) {
        p.trackbar = true;
        double range = double(slot.animEnd) - slot.animStart;
        double pos = range != 0 && std::isfinite(range) ? (double(t) - slot.animStart) / range * 100.0 : 0.0;
        p.trackbarPos = int32_t(std::fmin(std::fmax(std::isfinite(pos) ? pos : 0.0, 0.0), 100.0));
    }
    return p;
}

namespace {

float* cameraField(CamRecord& cam, int axis) {
    Vec3& v = axis < 3 ? cam.vrp : cam.eye;
    int i = axis % 3;
    return i == 0 ? &v.x : i == 1 ? &v.y : &v.z;
}

}  // namespace

float cameraPropertyOf(const CamRecord& cam, bool viewValid, const PendingViewing* pending, int axis) {
    if (axis < 0 || axis > 5) return 0;
    if (pending) return pendingCameraValue(*pending, axis);
    if (!viewValid) return 0;
    return *cameraField(const_cast<CamRecord&>(cam), axis);
}

PutResult putCameraProperty(CamRecord& cam, bool viewValid, PendingViewing* pending, int axis, float v) {
    PutResult r;
    if (axis < 0 || axis > 5) {
        r.code = PutResult::Code::InvalidArg;
        return r;
    }
    if (!std::isfinite(v)) return r;  // ignored
    if (viewValid) {
        float* f = cameraField(cam, axis);
        if (*f == v) return r;
        *f = v;
        r.changed = true;
        r.notice = qivdispid::VRPx + axis;
        r.viewChange = true;
        return r;
    }
    if (pending) pendingSetCameraValue(*pending, axis, v);
    r.changed = true;
    return r;
}

Show2DPlan show2DView(bool want2D, bool haveStoredPicture) {
    Show2DPlan p;
    p.swap = true;
    p.previewBackground = want2D && haveStoredPicture;
    p.restoreBackground = !p.previewBackground;
    p.redraw = true;
    return p;
}

void previewBackground(BgRecord& bg, PicRecord* preview) {
    bg.mode = 3;
    bg.picture = preview;
    bg.offsetX = bg.offsetY = 0;
    bg.pictureAngle = 1.0471976f;
}

bool previewMayEnd(bool waiting, uint32_t previewMode, uint32_t bit, uint32_t delayAfterPreview,
                   uint32_t msSincePreviewShown) {
    if (!waiting || (previewMode & bit) == 0) return false;
    if (bit == 2 && delayAfterPreview != 0) return msSincePreviewShown >= delayAfterPreview;
    return true;
}

}  // namespace qivctl

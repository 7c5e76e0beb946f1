#include "background.h"

namespace qivctl {

void colourBackground(BgRecord& bg, uint32_t backColor) {
    bg = BgRecord{};
    bg.mode = 0;
    bg.clear[0] = float(backColor & 0xFF) / 255.0f;
    bg.clear[1] = float((backColor >> 8) & 0xFF) / 255.0f;
    bg.clear[2] = float((backColor >> 16) & 0xFF) / 255.0f;
    const float gradient[4][3] = {{1.0f, 1.0f, 1.0f}, {0.7f, 0.7f, 1.0f}, {0.6f, 0.7f, 0.6f}, {0.3f, 0.4f, 0.3f}};
    float* rows[4] = {bg.zenith, bg.skyHorizon, bg.groundHorizon, bg.nadir};
    for (int i = 0; i < 4; ++i)
        for (int c = 0; c < 3; ++c) rows[i][c] = gradient[i][c];
}

void backgroundForMode(BgRecord& bg, int32_t backPicMode, PicRecord* picture, int32_t offsetX, int32_t offsetY,
                       uint32_t backColor) {
    if (picture && (backPicMode == 1 || backPicMode == 2)) {
        bg.mode = backPicMode == 2 ? 4 : 3;
        bg.picture = picture;
        bg.pictureAngle = backPicMode == 2 ? 0.0f : kScaledPictureAngle;
        bg.followCamera = 0;
        bg.horizon = 0;
        bg.offsetX = backPicMode == 2 ? offsetX : 0;
        bg.offsetY = backPicMode == 2 ? offsetY : 0;
        return;
    }
    colourBackground(bg, backColor);
}

bool ThumbnailHandover::deliver(PicRecord* preview) {
    std::lock_guard<std::mutex> lock(m_);
    if (detached_) return false;
    picture_ = preview;
    arrived_ = true;
    return true;
}

PicRecord* ThumbnailHandover::take(bool* arrived) {
    std::lock_guard<std::mutex> lock(m_);
    if (arrived) *arrived = arrived_;
    PicRecord* p = picture_;
    picture_ = nullptr;
    arrived_ = false;
    return p;
}

PicRecord* ThumbnailHandover::detach() {
    std::lock_guard<std::mutex> lock(m_);
    detached_ = true;
    PicRecord* p = picture_;
    picture_ = nullptr;
    arrived_ = false;
    return p;
}

bool ThumbnailHandover::attached() const {
    std::lock_guard<std::mutex> lock(m_);
    return !detached_;
}

HardwareToggle toggleHardware(bool direct3DAvailable, int32_t rendererKind) {
    HardwareToggle t;
    t.rendererKind = rendererKind;
    if (!direct3DAvailable) return t;
    if (rendererKind == 1) {
        t.destroyWindow = true;
        t.rendererKind = 2;
        t.use3DHardware = 0;
    } else {
        t.createWindow = true;
        t.rendererKind = 1;
        t.use3DHardware = 1;
    }
    return t;
}

}  // namespace qivctl

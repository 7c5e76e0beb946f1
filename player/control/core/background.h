// The control's frame background and preview pictures without the window
// system: the background record for each BackPicMode, the hand-over of a
// container preview decoded on a worker thread, the switch between the
// renderer kinds and the start of the ObjectURL load.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>

#include "render/fzbuffer.h"

namespace qivctl {

constexpr float kScaledPictureAngle = 1.0471976f;  // 60 degrees

// ResetBackground (after the picture was released): mode 0, the clear colour from
// BackColor (0x00BBGGRR), the default gradient triples, everything else 0.
void colourBackground(BgRecord& bg, uint32_t backColor);
// ApplyBackPicMode: BackPicMode 2 with a picture tiles it from the offsets (mode 4, angle
// 0); 1 with a picture scales it (mode 3, 60 degrees); otherwise the colour background.
// The caller enters the picture in its cache first when asked and prepares the record.
void backgroundForMode(BgRecord& bg, int32_t backPicMode, PicRecord* picture, int32_t offsetX, int32_t offsetY,
                       uint32_t backColor);

// What a preview worker hands to the control's thread. Shared by both: the worker never
// touches the control, and a control that goes away first only detaches.
class ThumbnailHandover {
public:
    // Worker: the decoded preview (null when the file has none). False when the control has
    // detached; the worker then frees the picture itself.
    bool deliver(PicRecord* preview);
    // Control thread after WM_USER+76: the picture (owned by the caller from now on), and
    // whether one arrived.
    PicRecord* take(bool* arrived);
    // The control goes away (or starts another preview): a picture not yet taken is given
    // back for freeing, later deliveries are refused.
    PicRecord* detach();
    bool attached() const;

private:
    mutable std::mutex m_;
    PicRecord* picture_ = nullptr;
    bool arrived_ = false, detached_ = false;
};

struct HardwareToggle {
    bool createWindow = false, destroyWindow = false;
    int32_t rendererKind = 0;  // 1 Direct3D, 2 software
    int32_t use3DHardware = -1;  // the user option to store, -1 none
};
// Menu item 1306: only with the Direct3D back end available.
HardwareToggle toggleHardware(bool direct3DAvailable, int32_t rendererKind);

}  // namespace qivctl

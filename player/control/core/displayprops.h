// Display, animation-time and camera properties of the control as state changes
// with their reactions, without the window system: the reaction table of the
// display properties, menu names, AnimSpeed and CurrentTime with the tick
// arithmetic, the camera properties with the pending record, the 2D preview
// switch and the end of the preview.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "ctlstate.h"
#include "stockprops.h"
#include "viewing.h"

namespace qivctl {

// What a put of one of the plain display properties does once its value has been compared
// (changed: the new value differs; LoadObjectMenuEnabled and BackPicMode are set whatever
// the value). backPicMode is the mode in force after the put. Unknown ids give nothing.
PutResult displayPutReactions(int32_t dispid, bool changed, bool windowExists, int32_t backPicMode);

// BackPicMode 0 colour, 1 scaled picture, 2 tiled picture; other values are refused.
// DisplayMode: 0..7 and 16, 20..23, each optionally with the ghost bit 32 (the other
// sub-objects drawn as ghosts): the modes the renderer draws. Others are stored and draw as
// the default mode.
bool displayModeValid(int32_t v);

// MenuNameForPreview / MenuNameFor3D put: value is the ANSI text (null for a null BSTR).
// True when the stored name changed (the notice goes out): an equal non-empty value, or an
// empty value while none is stored, changes nothing; an empty value clears the name.
bool putMenuName(std::optional<std::string>& stored, const char* value);

// ---- animation time ----

// AnimSpeed put: refused (InvalidArg, no change, no notice) when not a finite value above 0;
// an equal value changes nothing; else, while the slot's time runs, the time reached is
// taken first and CurrentTime re-bases the tick at the new speed. Notice 40.
PutResult putAnimSpeed(QivObjectSlot& slot, float v, uint32_t nowTick);
// The animation time reached at nowTick (ticks wrap at 2^32).
float animationTimeAt(const QivObjectSlot& slot, uint32_t nowTick);

struct CurrentTimePut {
    PutResult result;
    bool trackbar = false;  // TBM_SETPOS with redraw when the object has an animation and shows controls
    int32_t trackbarPos = 0;
    bool frameInvalid = false;
};
// CurrentTime put: not finite is refused; the start tick is re-based so that the slot's
// time at nowTick is t (when it has a tick, its time is 0 or its start is 0); a speed or
// rate that is not above 0 keeps the tick. The trackbar position (t - start) / (end - start)
// x 100 is clamped to 0..100 and is 0 for an empty range. ViewChange unless playing.
CurrentTimePut putCurrentTime(QivObjectSlot& slot, float t, uint32_t nowTick, bool animationPlaying);

// ---- camera properties ----

// axis 0..2: VRPx..VRPz, 3..5: EyeX..EyeZ.
float cameraPropertyOf(const CamRecord& cam, bool viewValid, const PendingViewing* pending, int axis);
// Put with a valid view: the camera field (equal: nothing), notice 46 + axis, ViewChange;
// without one: into the pending record with its given flag. Values that are not finite
// are refused.
PutResult putCameraProperty(CamRecord& cam, bool viewValid, PendingViewing* pending, int axis, float v);

// ---- 2D preview, one-time ray trace, end of the preview ----

struct Show2DPlan {
    bool swap = false;         // stored preview and background picture exchanged
    bool previewBackground = false;  // background: mode 3 with the preview (see previewBackground)
    bool restoreBackground = false;  // background set up again from BackPicMode
    bool redraw = false;
};
// Show2DView: every call swaps the pictures, also with the state it already has (a second
// call swaps them back). Switched on without a stored picture, the background stays that of
// BackPicMode.
Show2DPlan show2DView(bool want2D, bool haveStoredPicture);
// The background of the 2D view: mode 3 with the picture, offsets 0, angle 60 degrees.
void previewBackground(BgRecord& bg, PicRecord* preview);

constexpr uint32_t kOneTimeRaytraceMode = 127;

// Ending the preview (bit 1 from mouse presses, bit 2 from the load driver): whether the
// load goes on now. waiting: a load is in the preview-shown-and-waiting state.
bool previewMayEnd(bool waiting, uint32_t previewMode, uint32_t bit, uint32_t delayAfterPreview,
                   uint32_t msSincePreviewShown);

}  // namespace qivctl

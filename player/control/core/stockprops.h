// Stock properties, zoom, show-all, sub-animation starts and verbs of the
// control as state changes with their reactions (notice, redraw, needs-save),
// without the window system. The interface members call these and carry out
// the reactions they answer.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "ctlstate.h"
#include "dispids.h"
#include "menustate.h"
#include "viewing.h"

namespace qivctl {

// What a put did and what the member does next (notices are skipped by the caller
// while events are frozen, redraws while updates are disabled).
struct PutResult {
    enum class Code { Ok, InvalidArg, Fail } code = Code::Ok;
    bool changed = false;
    int32_t notice = 0;  // DISPID to announce; 0: none
    bool setDirty = false;
    bool redraw = false, reRender = false;  // Redraw(reRender)
    bool viewChange = false;
    bool frameStyle = false;                // window style to be brought in line
    bool relayout = false;                  // control window laid out again
    bool setupBackground = false;           // background set up again from BackPicMode
    bool scrollBars = false;                // scroll bars brought in line with the view
};

// Appearance 0 (flat) or 1 (3D); other values are refused.
PutResult putAppearance(QivControlState& s, int32_t v);
// BorderStyle 1 single, anything else none.
PutResult putBorderStyle(QivControlState& s, int32_t v);
// BackStyle 0 transparent or 1 opaque; other values are refused.
PutResult putBackStyle(QivControlState& s, int32_t v);
// Enabled: false kills input; true reads it back from the ambient UIDead.
PutResult putEnabled(QivControlState& s, bool v, bool ambientUIDead);
PutResult putSaveFilesWithDocument(bool& field, bool v);

// Window style of the border: WS_BORDER with a single border, WS_EX_CLIENTEDGE when it is
// also 3D; neither without a border.
constexpr uint32_t kWsBorder = 0x00800000, kWsExClientEdge = 0x00000200;
struct FrameStyle {
    uint32_t style = 0, exStyle = 0;
    bool changed = false;  // SetWindowPos with SWP_FRAMECHANGED needed
};
FrameStyle frameStyleFor(uint32_t style, uint32_t exStyle, bool singleBorder, bool flat);

// ---- zoom ----

constexpr float kZoomMin = 0.01f, kZoomMax = 200.0f;
// The extent zoom is measured on: the box's x extent, or the larger of its y and z extents
// when the object has no x extent, or 1 for a point; never 0 or NaN. The default view
// takes its zoom base from it as well.
float zoomExtent(const float boxMin[3], const float boxMax[3]);
struct ZoomView {
    float boxMin[3] = {0, 0, 0}, boxMax[3] = {0, 0, 0};
    float winXMin = 0, winXMax = 0, winYMin = 0, winYMax = 0;
    float zoomBase = 1.0f;
};
// Zoom get: the pending record's zoom while one exists, else the view's zoom when it is
// valid, else 1.
float zoomOf(const ZoomView& v, bool viewValid, const PendingViewing* pending);
// Zoom put: a value that is not finite is ignored; |z| below 0.00001 is 1; then clamped.
// With a valid view the window gets half width extent / base / z / 2 with its aspect kept
// (view changed: notice 20, SetDirty, scroll bars, Redraw(true)); without one the value goes
// into the pending record (created when *pending is null is the caller's part: pass it).
PutResult putZoom(float z, bool viewValid, ZoomView* v, PendingViewing* pending);

// ShowAll's box: the union of the world boxes of the roots of the zero-terminated list
// (placements brought up to date by the caller). False when no root gives a finite box.
bool sceneBox(ScnNode* const* roots, float boxMin[3], float boxMax[3], size_t maxRoots = 1u << 20);

// ShowAll's notices in order (unless events are frozen or updates disabled).
extern const int32_t kShowAllNotices[11];

// ---- sub-animations ----

struct SubAnimationStart {
    bool started = false;
    int32_t index = -1;
    std::string name;       // AnimationStarted(index, name, repeat) with EventObject = slot
    bool repeat = false;
    bool buttons = false;   // the slot is the current object: start button off, stop on
};
// Start of sub-animation index of slot (table: its animation entries). Nothing for a slot
// not in use, without a node, or an index outside the table. clickState 1 becomes 2.
// The caller switches the node to the entry (animSetTime), sets the control's
// animation-playing flag, fires the event and sends ViewChange.
SubAnimationStart startSubAnimation(QivControlState& s, int32_t slot, int32_t index, bool repeat,
                                    const std::vector<MenuSubAnimation>& table, uint32_t nowTick,
                                    int32_t* clickState);

struct AnimationMenuAction {
    enum class Kind { None, StopCurrent, ClearPlaying, StartWhole, StartSub } kind = Kind::None;
    int32_t slot = -1, index = -1;
    bool repeat = false;
};
// Menu ids 28000 (whole animation) and 28001 + i. The object is the hovered slot when valid,
// else the current one.
AnimationMenuAction animationMenuAction(const QivControlState& s, uint32_t id, bool ready, bool animationAvailable,
                                        int32_t hoveredSlot, const std::vector<MenuSubAnimation>& table);

// ---- verbs and safety ----

struct VerbPlan {
    bool standard = false;        // the in-place control's own handling
    bool loadDialog = false;      // then, when ready, "show"
    bool show = false;
    bool toggleAnimation = false; // AnimPlaying put to the opposite
};
// Verb 1 (load object) while the load menu is enabled, else as verb 2 (start animation);
// other verbs are standard. Both own verbs answer S_OK.
VerbPlan verbPlan(int32_t verb, bool loadObjectMenuEnabled, bool ready, bool hasAnimation);
// SetInterfaceSafetyOptions for the control's own private interface is refused whenever
// mask and options share a bit.
inline bool safetyRefused(bool ownPrivateInterface, uint32_t mask, uint32_t options) {
    return ownPrivateInterface && (mask & options) != 0;
}

}  // namespace qivctl

// Hover tooltips, keys and the progress display of the control, without the
// window system: what a hovered sub-object changes (event arguments, tooltip
// text, timer 33), where the tooltip goes, what a key does in which state,
// the status and progress texts, and a gate that holds back loads started or
// cancelled from inside a download callback's message pump.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qivctl {

// ---- hover tooltips ----

constexpr uint32_t kTooltipTimer = 33;
// The tooltip window: a pop-up of the control's tooltip class, disabled, bordered, with the
// class bits 0x1000 and 0x200, as a tool window; text in DEFAULT_GUI_FONT.
constexpr uint32_t kTooltipStyle = 0x88881200u, kTooltipExStyle = 0x80u;
constexpr size_t kHoverNameMax = 1023;  // names of an object file shown in events and tooltips

struct TimerRequest {
    bool kill = false;      // KillTimer(33) first
    bool start = false;     // SetTimer(33, delay)
    uint32_t delay = 0;
};

class HoverTooltip {
public:
    // Nothing under the mouse any more (index below 0): the text goes; the event fires
    // with index -1 and empty names. The tooltip window is destroyed in any case.
    struct Event {
        int32_t index = -1;
        std::string localName, databaseName;  // bounded to kHoverNameMax
    };
    // The event to fire for a hovered index with the names of the sub-object (empty when
    // the object has none). Call before the event, then afterEvent with the display name
    // the host gave back.
    Event beginHover(int32_t index, std::string_view localName, std::string_view databaseName);
    // The tooltip text becomes the host's display name when not empty, else the local name,
    // else none. The timer starts with tooltipTimeout (negative: no tooltips), or 1 ms when
    // delayed is false, while a text exists.
    TimerRequest afterEvent(std::string_view hostDisplayName, int32_t tooltipTimeout, bool delayed);
    // EndHover: timer killed, text freed.
    void end() { text_.clear(); hasText_ = false; }
    bool hasText() const { return hasText_; }
    const std::string& text() const { return text_; }

private:
    int32_t index_ = -1;
    std::string local_;
    std::string text_;
    bool hasText_ = false;
};

struct TooltipRect {
    int32_t x = 0, y = 0, width = 0, height = 0;
};
// Timer 33: the tooltip window's rectangle for a text of the measured size at the hover
// position (both in screen coordinates): 7 right of and 18 below it, 4 wider and taller.
TooltipRect tooltipRect(int32_t hoverX, int32_t hoverY, int32_t textWidth, int32_t textHeight);

// ---- keys ----

struct KeyContext {
    bool walkthrough = false, walkMoving = false;
    bool shift = false, ctrl = false;
    bool keyWalkSwitch = false;  // the option bit that lets Escape and F2 switch walking
    bool inputDead = false, objectLoaded = false, viewSet = false;
    bool zoomDrag = false, panDrag = false, panByKey = false, zoomByKey = false, objectGrabbed = false;
    bool mouseDrag = false, rotateBlocked = false;  // DisableUserMovements bit 1
    bool hostStatusCallback = false;
    double walkSpeed = 1.0;
};

struct KeyCommand {
    enum class Kind {
        None,
        RayTraceFrame,      // the mode of the frame becomes 127, redraw with the frame invalid
        DisplayFrame,       // back to the display mode, redraw
        ToggleLight,        // value: -1 all, 0..4
        ChangePhi,          // amount: radians added
        ChangePsi,
        WalkSideways,       // amount: step (negative left)
        WalkTurn,           // amount: ten times the step (negative left)
        WalkLift,           // amount: change of eye and VRP height
        WalkForward,        // amount: step (negative back)
        WalkZoneAtCursor,
        PanByKeyOn,         // a running drag restarts at the cursor
        ZoomByKeyOn,        // a running drag remembers the cursor
        WalkthroughOff,
        WalkthroughToggle,
        ResetView,          // value: the reset argument
        MovePanX,           // amount added through the control's own setter
        MovePanY,
        ZoomStep,           // value 1 (factor 0.93) or 2 (1.07)
        ToggleMultiView,    // stored as the user option Use4DVision
        ToggleStatistics,
    };
    Kind kind = Kind::None;
    double amount = 0;
    int32_t value = 0;
    bool viewKey = false;  // view-changed flag set and the container asked to redraw
};

constexpr double kKeyAngleStep = 0.09817477;  // pi / 32
constexpr double kWalkLiftFactor = 0.0166;

// WM_KEYDOWN after the preview is left and hovering ended. The whole key code is
// compared: codes of no key below match nothing.
KeyCommand keyDownCommand(uint32_t key, const KeyContext& c);

struct KeyUpCommand {
    bool walkZoneAtCursor = false, endPanByKey = false, endZoomByKey = false;
    bool restartRotation = false;  // from the current angles at the cursor
};
// WM_KEYUP: nothing while a zoom drag without a pan drag runs.
KeyUpCommand keyUpCommand(uint32_t key, const KeyContext& c);

// ToggleLight(which) of the number keys: 0..3 toggle that scene light's bit, 4 toggles bit 4
// (the objects' own lights); -1 switches bits 0..4 all on when any of them is off, else clears
// the whole mask; other values change nothing.
uint32_t lightsAfterToggle(uint32_t lights, int32_t which);

// ---- progress ----

constexpr size_t kStatusTextMax = 255;
enum : uint32_t { kStrProgressFormat = 150 };
enum : uint32_t { kOleCmdSetProgressMax = 25, kOleCmdSetProgressPos = 26, kOleCmdSetProgressText = 27 };

// The first two numeric conversions (%lu, %u, %d, %ld, %i) of a string-table text filled
// with the two values; other conversions kept as written; at most kStatusTextMax.
std::string formatTwoNumbers(std::string_view text, uint32_t first, uint32_t second);

class ProgressDisplay {
public:
    // BeginProgress: string 150 as the progress format and the prefix text.
    void begin(std::string_view progressFormat, std::string_view prefix);
    // SetStatusText: "<prefix>: <text>" (the prefix alone for an empty text) bounded to
    // kStatusTextMax. *wasEmpty: the status text was empty before (the bar is laid out again).
    const std::string& setStatusText(std::string_view text, bool* wasEmpty = nullptr);
    struct Update {
        bool firstShow = false;     // show the progress bar and the cancel button (focus)
        bool valueChanged = false;  // PBM_SETPOS / OLECMDID_SETPROGRESSPOS with the value
        bool textChanged = false;   // the status text below went to SetStatusText
        std::string statusText;
    };
    // ShowProgress. The first call shows the bar unless ownBarHidden (a transfer that shows its
    // status line only, or a streaming load beyond state 2); status texts of the binding (host
    // searched, connecting) do not hide it.
    Update show(uint32_t value, uint32_t done, uint32_t total, bool ownBarHidden);
    // EndProgress: everything cleared.
    void end();
    const std::string& statusText() const { return status_; }
    bool shown() const { return shown_; }

private:
    std::string format_, prefix_, status_;
    uint32_t last_ = 0;
    bool started_ = false, shown_ = false;
};

// PumpMessages' range: a range with only a first value (last 0) is that one message.
void pumpRange(uint32_t first, uint32_t last, uint32_t* low, uint32_t* high);

// ---- callbacks and loads ----

// Held while a download callback runs (it may pump messages). A message handled in that
// pump that would start, cancel or free a load hands the work to runOrDefer: inside a
// callback it is kept and run, in order, when the outermost callback ends; else at once.
class CallbackGate {
public:
    class Scope {
    public:
        explicit Scope(CallbackGate& g);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        CallbackGate& gate_;
    };
    bool inside() const { return depth_ > 0; }
    // True when run now. Deferred work that throws is dropped (it runs from a destructor).
    bool runOrDefer(std::function<void()> work);
    size_t deferred() const { return queue_.size(); }

private:
    void leave();
    int depth_ = 0;
    std::vector<std::function<void()>> queue_;
};

}  // namespace qivctl

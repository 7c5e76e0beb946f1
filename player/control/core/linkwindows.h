// Pointer handling of the hyperlink window, the repeat button's timing and the
// window-title updates of a hosting frame.
#pragma once
#include <cstdint>
#include <string>

#include "viewercmd.h"

namespace qivctl {

// ---- hyperlink ----

struct LinkPointer {
    bool hovering = false;  // the pointer is over the text and the window holds the capture
    bool clicked = false;   // between a click and the button release
    int32_t textWidth = 0;  // measured on the first paint; 0 until then
};

enum class LinkMove { None, Enter, Leave };

// A pointer move in client coordinates of a window of the given size. Enter:
// hovering starts (capture, link cursor, repaint); Leave: it ends (release,
// arrow, repaint). Only the text's width counts once it is known.
LinkMove linkMouseMove(LinkPointer& link, int32_t x, int32_t y, int32_t width, int32_t height);
// Left button down: true when the link is to be opened (only while hovering).
bool linkButtonDown(LinkPointer& link);
void linkButtonUp(LinkPointer& link);

// Link colours (COLORREF): the window's defaults and the ones its creators set.
constexpr uint32_t kLinkNormalColor = 0xFF0000, kLinkHoverColor = 0x0000FF;
constexpr uint32_t kLinkDialogColor = 0xE06000, kLinkDialogHoverColor = 0x800080;

// ---- repeat button ----

constexpr uintptr_t kRepeatTimerId = 1;
constexpr uint32_t kRepeatIntervalMs = 20;

// ---- window title ----

// The title a hosting frame keeps while extra text (a status) is shown after it.
// One per window; the texts are cut to kViewerTitleMax characters (viewercmd.h).

class WindowTitleBuffer {
public:
    // New title of the window. A file path makes the base "<file name> -
    // <product>"; an empty base takes the window's current title; with extra
    // text the title is "<base> [<extra>]" and the base is kept, without it the
    // title is the base and the base is emptied. Null or empty texts count as
    // not given.
    std::string change(const std::string& currentTitle, const char* extra, const char* filePath,
                       const std::string& product);
    const std::string& base() const { return base_; }
    bool empty() const { return base_.empty(); }

private:
    std::string base_;
};

}  // namespace qivctl

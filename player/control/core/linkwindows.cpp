#include "linkwindows.h"

namespace qivctl {

namespace {

bool overText(const LinkPointer& link, int32_t x, int32_t y, int32_t width, int32_t height) {
    const int32_t right = link.textWidth > 0 && link.textWidth < width ? link.textWidth : width;
    return x >= 0 && y >= 0 && x < right && y < height;
}

std::string cut(std::string s) {
    if (s.size() > kViewerTitleMax) s.resize(kViewerTitleMax);
    return s;
}

}  // namespace

LinkMove linkMouseMove(LinkPointer& link, int32_t x, int32_t y, int32_t width, int32_t height) {
    if (link.hovering) {
        if (overText(link, x, y, width, height)) return LinkMove::None;
        link.hovering = false;
        return LinkMove::Leave;
    }
    if (link.clicked) return LinkMove::None;
    if (link.textWidth > 0 && x >= link.textWidth) return LinkMove::None;
    link.hovering = true;
    return LinkMove::Enter;
}

bool linkButtonDown(LinkPointer& link) {
    if (!link.hovering) return false;
    link.hovering = false;
    link.clicked = true;
    return true;
}

void linkButtonUp(LinkPointer& link) { link.clicked = false; }

std::string WindowTitleBuffer::change(const std::string& currentTitle, const char* extra, const char* filePath,
                                      const std::string& product) {
    if (filePath && *filePath) base_ = viewerWindowTitle(filePath, product);
    if (base_.empty()) base_ = cut(currentTitle);
    if (extra && *extra) return cut(base_ + " [" + extra + "]");
    std::string title = base_;
    base_.clear();
    return title;
}

}  // namespace qivctl

#include "tbimagelist_win.h"

namespace toolbars {

TTBCustomImageList::TTBCustomImageList(forms::Component* owner, int width, int height)
    : ImageList(owner, width, height) {
    for (Extra* e : {&checked_, &disabled_, &hot_}) {
        e->link.OnChange = [this] {
            if (!destroying_) Changed();
        };
        e->link.OnGone = [e] { e->list = nullptr; };
    }
}

TTBCustomImageList::~TTBCustomImageList() {
    destroying_ = true;
    for (Extra* e : {&checked_, &disabled_, &hot_}) e->link.SetSender(nullptr);
}

void TTBCustomImageList::set(Extra& e, forms::ImageList* list) {
    if (list == this || list == e.list) return;
    e.list = list;
    e.link.SetSender(list);
    Changed();
}

void TTBCustomImageList::SetSourceBitmap(HBITMAP strip) {
    source_.Assign(strip);
    Clear();
    if (!source_.Empty()) AddMasked(source_.Handle(), SourceMaskColor);
}

void TTBCustomImageList::DrawState(forms::Canvas& canvas, int x, int y, int index, bool enabled, bool checked,
                                   bool hot) const {
    if (!enabled && disabled_.list)
        disabled_.list->Draw(canvas, x, y, index, true);
    else if (checked && checked_.list)
        checked_.list->Draw(canvas, x, y, index, enabled);
    else if (hot && hot_.list)
        hot_.list->Draw(canvas, x, y, index, enabled);
    else
        Draw(canvas, x, y, index, enabled);
}

}  // namespace toolbars

#pragma once
// The framework's image list: an image list with extra lists for checked,
// disabled and hot images (drawn in place of its own in those states) and
// a source bitmap that fills it, masked by a colour.
#include "forms/graphics.h"

namespace toolbars {

class TTBCustomImageList : public forms::ImageList {
public:
    explicit TTBCustomImageList(forms::Component* owner, int width = 16, int height = 16);
    ~TTBCustomImageList() override;

    forms::ImageList* CheckedImages() const { return checked_.list; }
    forms::ImageList* DisabledImages() const { return disabled_.list; }
    forms::ImageList* HotImages() const { return hot_.list; }
    // This list itself is refused; a list that is freed is dropped.
    void SetCheckedImages(forms::ImageList* list) { set(checked_, list); }
    void SetDisabledImages(forms::ImageList* list) { set(disabled_, list); }
    void SetHotImages(forms::ImageList* list) { set(hot_, list); }

    // Clears the list and adds the strip's images, masked by the colour.
    void SetSourceBitmap(HBITMAP strip);
    const forms::Bitmap& SourceBitmap() const { return source_; }
    forms::TColor SourceMaskColor = forms::clFuchsia;

    // The state's own list where it has one: disabled first (drawn as
    // enabled), then checked, then hot; else this list as usual.
    void DrawState(forms::Canvas& canvas, int x, int y, int index, bool enabled, bool checked, bool hot) const;

private:
    struct Extra {
        forms::ImageList* list = nullptr;
        forms::ChangeLink link;
    };
    void set(Extra& e, forms::ImageList* list);

    Extra checked_, disabled_, hot_;
    forms::Bitmap source_;
    bool destroying_ = false;
};

}  // namespace toolbars

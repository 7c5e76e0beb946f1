// The framework's image list draws a state's image from that state's own
// list, takes its images from a source bitmap, and follows the
// changes and the freeing of its extra lists.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "tbimagelist_win.h"

namespace {

using namespace toolbars;
using forms::TColor;

// A 16 x 16 list of one image of a colour (0x00BBGGRR).
std::unique_ptr<forms::ImageList> solid(TColor c) {
    auto list = std::make_unique<forms::ImageList>(nullptr, 16, 16);
    forms::Bitmap b(16, 16);
    for (int i = 0; i < 256; ++i) b.Bits()[i] = ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
    list->Add(b);
    return list;
}

// The colour at the middle of an image drawn on white (0x00BBGGRR).
TColor drawn(const TTBCustomImageList& list, bool enabled, bool checked, bool hot) {
    forms::Bitmap target(16, 16);
    list.DrawState(target.GetCanvas(), 0, 0, 0, enabled, checked, hot);
    GdiFlush();
    const uint32_t px = target.Bits()[8 * 16 + 8] & 0xFFFFFF;
    return ((px & 0xFF) << 16) | (px & 0xFF00) | (px >> 16);
}

constexpr TColor kOwn = 0x102030, kDisabled = 0x0000C0, kChecked = 0x00C000, kHot = 0xC00000;

TEST(TBImageList, EachStateDrawsFromItsOwnList) {
    TTBCustomImageList list(nullptr);
    forms::Bitmap own(16, 16);
    for (int i = 0; i < 256; ++i) own.Bits()[i] = 0x302010;  // 0x102030 as BGR
    list.Add(own);
    auto disabled = solid(kDisabled), checked = solid(kChecked), hot = solid(kHot);
    list.SetDisabledImages(disabled.get());
    list.SetCheckedImages(checked.get());
    list.SetHotImages(hot.get());
    struct Case {
        const char* what;
        bool enabled, checked, hot;
        TColor want;
    };
    for (const Case& c : std::vector<Case>{{"normal", true, false, false, kOwn},
                                           {"disabled: its list in normal colours", false, false, false, kDisabled},
                                           {"disabled before checked", false, true, true, kDisabled},
                                           {"checked before hot", true, true, true, kChecked},
                                           {"hot", true, false, true, kHot}})
        EXPECT_EQ(c.want, drawn(list, c.enabled, c.checked, c.hot)) << c.what;
    // Without a disabled list the own image is drawn greyed.
    list.SetDisabledImages(nullptr);
    const TColor greyed = drawn(list, false, false, false);
    EXPECT_NE(kOwn, greyed);
    EXPECT_NE(kDisabled, greyed);
}

TEST(TBImageList, ExtraListsAreWatched) {
    TTBCustomImageList list(nullptr);
    int changes = 0;
    list.Subscribe([&] { ++changes; });
    list.SetHotImages(&list);
    EXPECT_EQ(nullptr, list.HotImages()) << "the list itself is refused";
    auto hot = solid(kHot);
    list.SetHotImages(hot.get());
    const int before = changes;
    forms::Bitmap more(16, 16);
    hot->Add(more);
    EXPECT_GT(changes, before) << "a change of the hot list is a change of this list";
    hot.reset();
    EXPECT_EQ(nullptr, list.HotImages()) << "a freed list is dropped";
}

TEST(TBImageList, TheSourceBitmapFillsTheListMasked) {
    TTBCustomImageList list(nullptr);
    forms::Bitmap strip(32, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x)
            strip.Bits()[y * 32 + x] = x < 16 ? 0xFF00FF : 0x0000C0;  // fuchsia, then blue
    forms::Bitmap old(16, 16);
    list.Add(old);
    list.SetSourceBitmap(strip.Handle());
    ASSERT_EQ(2, list.Count()) << "the list was cleared first";
    forms::Bitmap target(16, 16);
    list.Draw(target.GetCanvas(), 0, 0, 1);
    GdiFlush();
    EXPECT_EQ(0x0000C0u, target.Bits()[8 * 16 + 8] & 0xFFFFFF) << "the strip's second image";
    EXPECT_EQ(forms::clFuchsia, list.SourceMaskColor);
}

}  // namespace

#include "tbviewer.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "tbfakes.h"
#include "tbview.h"

namespace {

using namespace toolbars;
using namespace tbtest;

// One item in a view of its own, measured with the fixed metrics: every
// character 6 pixels (bold 7), cells 13 high, images 16 x 16.
struct Sized {
    FakeWindow window;
    FakeImages images{16, 16};
    TTBRootItem root{nullptr};
    std::unique_ptr<TTBView> view;
    Sized(bool toolbar, int orientation) {
        view = std::make_unique<TTBView>(nullptr, nullptr, &window, &root, toolbar, !toolbar, false);
        view->SetOrientation(orientation);
    }
    TTBItemViewer* viewerOf(TTBCustomItem* it) { return view->Find(it); }
    std::pair<int, int> size(TTBCustomItem* it) {
        int w = 0, h = 0;
        viewerOf(it)->CalcSize(window.metrics, w, h);
        return {w, h};
    }
};

TEST(ItemViewers, CalcSizeOfEveryKindAndDisplayMode) {
    struct Case {
        const char* what;
        bool toolbar;
        int orientation;
        std::function<TTBCustomItem*(Sized&)> make;
        int w, h;
    };
    auto item = [](const char* caption, int image, TTBItemDisplayMode mode = nbdmDefault, TTBItemOptions opts = 0,
                   TTBItemStyles extra = 0) {
        return [=](Sized& s) -> TTBCustomItem* {
            auto* it = child(&s.root, caption);
            if (image >= 0) {
                it->SetImages(&s.images);
                it->SetImageIndex(image);
            }
            it->SetDisplayMode(mode);
            it->SetOptions(opts);
            it->SetItemStyle(TTBItemStyles(it->ItemStyle() | extra));
            return it;
        };
    };
    const Case cases[] = {
        {"toolbar text", true, tbvoHorizontal, item("Open", -1), 36, 19},
        {"toolbar image hides caption", true, tbvoHorizontal, item("Open", 0), 23, 22},
        {"toolbar image and text", true, tbvoHorizontal, item("Open", 0, nbdmImageAndText), 53, 22},
        {"toolbar image above caption", true, tbvoHorizontal, item("Open", 0, nbdmDefault, tboImageAboveCaption), 36, 35},
        {"toolbar text only", true, tbvoHorizontal, item("Open", 0, nbdmTextOnly), 36, 19},
        {"toolbar text only in menus", true, tbvoHorizontal, item("Open", 0, nbdmTextOnlyInMenus), 23, 22},
        {"split button", true, tbvoHorizontal, item("", 0, nbdmDefault, 0, isSubmenu | isSplitButton), 34, 22},
        {"drop-down arrow", true, tbvoHorizontal, item("", 0, nbdmDefault, tboDropdownArrow, isSubmenu), 31, 22},
        {"drop-down arrow, vertical", true, tbvoVertical, item("", 0, nbdmDefault, tboDropdownArrow, isSubmenu), 23, 30},
        {"arrow option without submenu", true, tbvoHorizontal, item("", 0, nbdmDefault, tboDropdownArrow), 23, 22},
        {"bold default", true, tbvoHorizontal, item("Open", -1, nbdmDefault, tboDefault), 40, 19},
        {"rotated caption", true, tbvoVertical, item("Open", -1), 19, 36},
        {"no rotation", true, tbvoVertical, item("Open", -1, nbdmDefault, tboNoRotation), 36, 19},
        {"empty toolbar item", true, tbvoHorizontal, item("", -1), 6, 6},
        {"menu row", false, tbvoPopup, item("Open", -1), 64, 17},
        {"menu row with image", false, tbvoPopup, item("Open", 0), 68, 19},
        {"menu row, empty caption", false, tbvoPopup, item("", -1), 40, 17},
        {"toolbar-style item in a menu", false, tbvoPopup, item("Open", 0, nbdmDefault, tboToolbarStyle), 53, 22},
        {"toolbar-size item in a menu", false, tbvoPopup, item("Open", 0, nbdmDefault, tboToolbarStyle | tboToolbarSize),
         23, 22},
    };
    for (const Case& c : cases) {
        Sized s(c.toolbar, c.orientation);
        TTBCustomItem* it = c.make(s);
        EXPECT_EQ(std::make_pair(c.w, c.h), s.size(it)) << c.what;
    }
}

TEST(ItemViewers, MenuRowsWithShortCutsLeadingAndSeparators) {
    Sized s(false, tbvoPopup);
    auto* open = child(&s.root, "&Open");
    open->SetShortCut(forms::scCtrl | 'O');
    EXPECT_EQ(std::make_pair(111, 17), s.size(open)) << "the shortcut's 36 pixels and a row-height less 6";
    auto* tab = child(&s.root, "Open\tF3");
    EXPECT_EQ(std::make_pair(64 + 12 + 17 - 6, 17), s.size(tab)) << "the text after the tab is the shortcut";
    s.window.metrics.leading = 2;
    EXPECT_EQ(std::make_pair(4 * 6 + 19 + 6 + 19, 19), s.size(child(&s.root, "Open")));
    auto* sep = child<TTBSeparatorItem>(&s.root);
    EXPECT_EQ(std::make_pair(0, 8), s.size(sep)) << "two thirds of the font height";
    Sized t(true, tbvoHorizontal);
    EXPECT_EQ(std::make_pair(6, 6), t.size(child<TTBSeparatorItem>(&t.root)));
}

TEST(ItemViewers, FixedCaptionLengthMeasuresLetterV) {
    Sized s(true, tbvoHorizontal);
    auto* a = child(&s.root, "Hi");
    auto* b = child(&s.root, "A much longer caption");
    a->SetRkFixedCaptionLen(5);
    b->SetRkFixedCaptionLen(5);
    EXPECT_EQ(s.size(a), s.size(b));
    EXPECT_EQ(std::make_pair(6 + 5 * 6 + 6, 19), s.size(a));
    Sized m(false, tbvoPopup);
    auto* c = child(&m.root, "x");
    c->SetRkFixedCaptionLen(3);
    EXPECT_EQ(18 + 17 + 6 + 17, m.size(c).first);
}

TEST(ItemViewers, ImagesComeFromTheParentsSubmenuImages) {
    Sized s(false, tbvoPopup);
    FakeImages big(24, 24);
    s.root.SetSubMenuImages(&big);
    auto* it = child(&s.root, "Open");
    it->SetImageIndex(1);
    EXPECT_EQ(&big, s.viewerOf(it)->GetImageList());
    EXPECT_TRUE(s.viewerOf(it)->ImageShown());
    EXPECT_EQ(27, s.size(it).second);
    s.root.SetSubMenuImages(nullptr);
}

TEST(ItemViewers, ButtonParts) {
    Sized s(true, tbvoHorizontal);
    auto* plain = child(&s.root, "a");
    auto* sub = child(&s.root, "b");
    sub->SetItemStyle(TTBItemStyles(sub->ItemStyle() | isSubmenu));
    auto* split = child(&s.root, "c");
    split->SetItemStyle(TTBItemStyles(split->ItemStyle() | isSubmenu | isSplitButton));
    s.view->UpdateLayout();
    EXPECT_TRUE(s.viewerOf(plain)->IsPtInButtonPart(5, 5));
    EXPECT_FALSE(s.viewerOf(sub)->IsPtInButtonPart(5, 5));
    TTBItemViewer* v = s.viewerOf(split);
    const int w = v->BoundsRect.Width();
    EXPECT_TRUE(v->IsPtInButtonPart(w - 12, 5));
    EXPECT_FALSE(v->IsPtInButtonPart(w - 11, 5)) << "the arrow part is 11 pixels";
}

// Painting decisions ---------------------------------------------------------------

struct Painted : Sized {
    LogCanvas canvas;
    using Sized::Sized;
    std::vector<std::string> paint(TTBCustomItem* it, bool selected, bool pushed) {
        canvas.log.clear();
        s(it)->Paint(canvas, {0, 0, s(it)->BoundsRect.Width(), s(it)->BoundsRect.Height()}, selected, pushed, selected);
        return canvas.log;
    }
    TTBItemViewer* s(TTBCustomItem* it) { return viewerOf(it); }
};

TEST(ItemViewers, ToolbarButtonsLookHotPushedCheckedOrDisabled) {
    Painted p(true, tbvoHorizontal);
    auto* it = child(&p.root, "Go");
    p.view->UpdateLayout();
    EXPECT_FALSE(LogCanvas{}.has("edge"));
    auto log = p.paint(it, false, false);
    EXPECT_FALSE(p.canvas.has("edge")) << "a resting button has no frame";
    EXPECT_TRUE(p.canvas.has("text Go"));
    p.paint(it, true, false);
    EXPECT_TRUE(p.canvas.has("edge 0,0,24,19 e4 f15")) << "hot: raised inner edge";
    p.paint(it, true, true);
    EXPECT_TRUE(p.canvas.has("edge 0,0,24,19 e2 f15")) << "pushed: sunken outer edge";
    EXPECT_TRUE(p.canvas.has("text Go 1,1,25,20")) << "pushed content moves by 1,1";
    it->SetChecked(true);
    p.paint(it, false, false);
    EXPECT_TRUE(p.canvas.has("dither 1,1,23,18")) << "checked and not hot: the dither pattern";
    p.paint(it, true, false);
    EXPECT_FALSE(p.canvas.has("dither"));
    it->SetChecked(false);
    it->SetEnabled(false);
    p.canvas.embossDisabled = true;
    log = p.paint(it, true, false);
    EXPECT_FALSE(p.canvas.has("edge")) << "disabled buttons get no frame";
    EXPECT_EQ((std::vector<std::string>{"text Go 1,1,25,20 c2", "text Go 0,0,24,19 c1"}), log)
        << "embossed: highlight moved by 1,1, then shadow";
}

TEST(ItemViewers, MenuRowsFillTheSelectionAndDrawChecksAndArrows) {
    Painted p(false, tbvoPopup);
    auto* it = child(&p.root, "Item");
    it->SetShortCut(forms::scCtrl | 'I');
    auto* sub = child(&p.root, "Sub");
    sub->SetItemStyle(TTBItemStyles(sub->ItemStyle() | isSubmenu));
    p.view->UpdateLayout();
    p.canvas.selectionFill = TBColor::MenuHilight;
    p.paint(it, true, false);
    EXPECT_TRUE(p.canvas.has("fill 17,0,"));
    EXPECT_TRUE(p.canvas.has("text Ctrl+I"));
    it->SetChecked(true);
    p.paint(it, false, false);
    EXPECT_TRUE(p.canvas.has("edge 0,0,17,17 e2 f2063")) << "checked: sunken filled column";
    EXPECT_TRUE(p.canvas.has("polyline")) << "a check mark without an image";
    p.paint(sub, false, false);
    EXPECT_TRUE(p.canvas.has("menuarrow"));
}

TEST(ItemViewers, BlankSeparatorsDrawNothing) {
    Painted p(true, tbvoHorizontal);
    child(&p.root, "a");
    auto* sep = child<TTBSeparatorItem>(&p.root);
    child(&p.root, "b");
    p.view->UpdateLayout();
    p.paint(sep, false, false);
    EXPECT_TRUE(p.canvas.has("edge")) << "an etched line";
    sep->SetBlank(true);
    EXPECT_TRUE(p.paint(sep, false, false).empty());
    EXPECT_EQ(6, p.s(sep)->BoundsRect.Width()) << "but takes its room";
}

}  // namespace

#include "menustate.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

using namespace qivctl;

namespace {

// One line per menu: id, '*' checked, '-' disabled, "#n" string-table text,
// 'text' literal text, "|" separator, "[id: ...]" popup.
std::string render(const std::vector<MenuItem>& menu) {
    std::string out;
    for (const MenuItem& m : menu) {
        if (!out.empty()) out += ' ';
        if (m.kind == MenuItem::Kind::Separator) {
            out += '|';
            continue;
        }
        std::string text;
        if (m.text == MenuItem::Text::String) text = "#" + std::to_string(m.textId);
        if (m.text == MenuItem::Text::Literal) text = "'" + m.literal + "'";
        if (m.kind == MenuItem::Kind::Popup) {
            out += "[" + std::to_string(m.id) + text + ": " + render(m.children) + "]";
            continue;
        }
        out += std::to_string(m.id) + (m.checked ? "*" : "") + (m.enabled ? "" : "-") + text;
    }
    return out;
}

MenuState loaded() {
    MenuState s;
    s.objectDisplayed = true;
    s.localSaveAllowed = true;
    s.haveObjectData = true;
    s.hasAnimation = true;
    s.previewAvailable = true;
    return s;
}

}  // namespace

TEST(PopupMenu, ItemsByState) {
    struct Case {
        const char* what;
        std::function<void(MenuState&)> change;
        const char* expected;
    };
    const Case cases[] = {
        {"new control, nothing loaded", [](MenuState& s) { s = MenuState(); },
         "32789- 32768 32787- 32780- 28000- | 32791-#154 32771 [4711: 32774 32775 32776 32773* 32777 | 32788*] "
         "32779 32790 32792 | 32784 | 32770"},
        {"loaded object", [](MenuState&) {},
         "32789 32768 32787 32785 32780 28000 | 32791#154 32771 [4711: 32774 32775 32776 32773* 32777 | 32788*] "
         "32779 32790 32792 | 32784 | 32770"},
        {"toggles checked, load disabled, no data to save, no ray trace",
         [](MenuState& s) {
             s.controlsHidden = s.keepSpinning = s.walkthrough = true;
             s.filter = false;
             s.loadObjectMenuEnabled = false;
             s.haveObjectData = false;
             s.buttonRayTraceEnabled = false;
             s.displayMode = 0;
         },
         "32789 32768- 32787 32785- 28000 | 32791#154 32771 [4711: 32774* 32775 32776 32773 32777 | 32788] "
         "32779* 32790* 32792* | 32784 | 32770"},
        {"display mode 5 shows its item checked", [](MenuState& s) { s.displayMode = 5; },
         "32789 32768 32787 32785 32780 28000 | 32791#154 32771 [4711: 32774 32775 32776 32773 32777 32778* | 32788*] "
         "32779 32790 32792 | 32784 | 32770"},
        {"EnabledMenus 0 leaves Info", [](MenuState& s) { s.enabledMenus = 0; }, "32770"},
        {"popup menu disabled counts as mask 0", [](MenuState& s) { s.popupMenuEnabled = false; }, "32770"},
        {"filter without display modes replaces the popup",
         [](MenuState& s) { s.enabledMenus = 0xFFFFFFFFu & ~128u; },
         "32789 32768 32787 32785 32780 28000 | 32791#154 32771 32788* 32779 32790 32792 | 32784 | 32770"},
        {"display modes without filter", [](MenuState& s) { s.enabledMenus = 0xFFFFFFFFu & ~256u; },
         "32789 32768 32787 32785 32780 28000 | 32791#154 32771 [4711: 32774 32775 32776 32773* 32777] "
         "32779 32790 32792 | 32784 | 32770"},
        {"animation bit only", [](MenuState& s) { s.enabledMenus = 32; }, "28000 | 32770"},
        {"settings and info only: no double separators", [](MenuState& s) { s.enabledMenus = 2048; },
         "32784 | 32770"},
        {"animation playing", [](MenuState& s) { s.animationPlaying = true; },
         "32789 32768 32787 32785 32780 28000#120 | 32791#154 32771 [4711: 32774 32775 32776 32773* 32777 | 32788*] "
         "32779 32790 32792 | 32784 | 32770"},
        {"preview shown with own names",
         [](MenuState& s) {
             s.enabledMenus = 4096;
             s.previewShown = true;
             s.menuNameFor3D = "To 3D";
         },
         "32791'To 3D' | 32770"},
        {"preview shown, default name", [](MenuState& s) { s.enabledMenus = 4096, s.previewShown = true; },
         "32791#155 | 32770"},
        {"3D hardware item, Direct3D running",
         [](MenuState& s) {
             s.enabledMenus = 16384 | 2048;
             s.hardwareDevice = true;
             s.rendererKind = 1;
         },
         "1306*#1306 32784 | 32770"},
        {"3D hardware item needs its bit", [](MenuState& s) { s.enabledMenus = 2048, s.hardwareDevice = true; },
         "32784 | 32770"},
        {"predefined viewings",
         [](MenuState& s) {
             s.enabledMenus = 32768 | 32;
             s.viewingNames = {"Front", "Top"};
         },
         "[29000#29000: 29000'Front' 29001'Top'] 28000 | 32770"},
        {"viewings need their bit", [](MenuState& s) { s.enabledMenus = 32, s.viewingNames = {"Front"}; },
         "28000 | 32770"},
        {"sub-animations that all span the whole range",
         [](MenuState& s) {
             s.enabledMenus = 32;
             s.subAnimations = {{"Open", 0, 5}, {"Close", 0, 5}};
         },
         "28000 | 32770"},
        {"one partial sub-animation makes a submenu",
         [](MenuState& s) {
             s.enabledMenus = 32;
             s.subAnimations = {{"All", 0, 5}, {"Door", 1, 2.5f}, {"Also all", 0, 5}};
         },
         "[28000: 28000#144 | 28002'Door'] | 32770"},
        {"no animation: disabled", [](MenuState& s) { s.enabledMenus = 32, s.hasAnimation = false; },
         "28000- | 32770"},
    };
    for (const Case& c : cases) {
        MenuState s = loaded();
        c.change(s);
        EXPECT_EQ(render(buildPopupMenu(s)), c.expected) << c.what;
    }
}

// Ids stay inside their ranges and names are bounded, however many there are.
TEST(PopupMenu, DynamicIdsCappedToTheirRanges) {
    MenuState s = loaded();
    s.enabledMenus = 32768 | 32;
    for (int i = 0; i < 999; ++i) {
        s.viewingNames.push_back(std::string(400, 'v'));
        s.subAnimations.push_back({std::string(300, 'a'), float(i), float(i + 1)});
    }
    auto menu = buildPopupMenu(s);
    ASSERT_EQ(menu.size(), 4u);
    const MenuItem& views = menu[0];
    const MenuItem& anims = menu[1];
    ASSERT_EQ(views.kind, MenuItem::Kind::Popup);
    ASSERT_EQ(anims.kind, MenuItem::Kind::Popup);
    EXPECT_EQ(views.children.size(), 257u);
    EXPECT_EQ(views.children.back().id, uint32_t(kMenuViewpointLast));
    EXPECT_EQ(anims.children.back().id, uint32_t(kMenuAnimationLast));
    for (const MenuItem& m : views.children) EXPECT_EQ(m.literal.size(), kMenuNameMax);
    for (const MenuItem& m : anims.children) EXPECT_LE(m.literal.size(), kMenuNameMax);
    EXPECT_EQ(findMenuItem(menu, 28001)->literal.size(), kMenuNameMax);
}

TEST(PopupMenu, CommandsAndDescriptors) {
    EXPECT_EQ(menuCommandOf(32777, 0, 0).kind, MenuCommand::Kind::DisplayMode);
    EXPECT_EQ(menuCommandOf(32777, 0, 0).value, 4);
    EXPECT_EQ(displayModeOfCommand(32773), 3);
    EXPECT_EQ(displayModeOfCommand(32774), 0);
    EXPECT_EQ(displayModeOfCommand(32779), -1);
    EXPECT_EQ(menuCommandOf(29001, 2, 0).kind, MenuCommand::Kind::Viewpoint);
    EXPECT_EQ(menuCommandOf(29001, 2, 0).value, 1);
    EXPECT_EQ(menuCommandOf(29002, 2, 0).kind, MenuCommand::Kind::None);
    EXPECT_EQ(menuCommandOf(28000, 0, 0).kind, MenuCommand::Kind::Resource);
    EXPECT_EQ(menuCommandOf(28003, 0, 3).value, 2);
    EXPECT_EQ(menuCommandOf(28004, 0, 3).kind, MenuCommand::Kind::None);
    EXPECT_EQ(menuCommandOf(1306, 0, 0).kind, MenuCommand::Kind::Use3DHardware);
    EXPECT_EQ(menuCommandOf(4711, 0, 0).kind, MenuCommand::Kind::None);
    EXPECT_EQ(menuCommandOf(40000, 0, 0).kind, MenuCommand::Kind::None);

    uint8_t d[164] = {};
    std::memcpy(d, "Door", 5);
    float start = 0.5f, end = 2.5f;
    std::memcpy(d + 128, &start, 4);
    std::memcpy(d + 132, &end, 4);
    MenuSubAnimation a = subAnimationFromDescriptor(d);
    EXPECT_EQ(a.name, "Door");
    EXPECT_EQ(a.start, 0.5f);
    EXPECT_EQ(a.end, 2.5f);
    std::memset(d, 'x', 128);  // no terminator in the name field
    EXPECT_EQ(subAnimationFromDescriptor(d).name, std::string(128, 'x'));
}

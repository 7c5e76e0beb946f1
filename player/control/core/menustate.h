// The control's popup menu as a function of its state: which items of menu
// resource 211 remain, in which order, enabled, checked, with which text, and
// the dynamic "Point of view", animation and "Use 3D-Hardware" items.
// Portable; the Windows layer loads menu 211 for the texts of the resource
// items (GetMenuString by command id; the display-mode popup is the first item
// of the popup that owns a submenu), builds a popup menu from the tree that
// buildPopupMenu answers, shows it, and hands the chosen id to menuCommandOf.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qivctl {

// Command ids of menu 211.
enum : uint32_t {
    kMenuLoadObject = 32768,
    kMenuInfo = 32770,
    kMenuBackground = 32771,
    kMenuModeShaded = 32773,
    kMenuModeWire = 32774,
    kMenuModeFlat = 32775,
    kMenuModeFlatTex = 32776,
    kMenuModeHidden = 32777,
    kMenuModeHiddenOpaque = 32778,
    kMenuHideControls = 32779,
    kMenuRayTrace = 32780,
    kMenuSettings = 32784,
    kMenuSaveObject = 32785,
    kMenuSaveImage = 32787,
    kMenuFilter = 32788,
    kMenuShowAll = 32789,
    kMenuKeepSpin = 32790,
    kMenuTogglePreview = 32791,
    kMenuWalkthrough = 32792,
    kMenuAnimation = 28000,       // 28001 + i: sub-animation i
    kMenuAnimationLast = 28256,
    kMenuViewpoint = 29000,       // 29000 + i: predefined viewing i
    kMenuViewpointLast = 29256,
    kMenuUse3DHardware = 1306,
    kMenuDisplayModePopup = 4711, // id given to the display-mode popup
    kMenuHostFirst = 40000,       // the host's own items
    kMenuHostLast = 40256,
};

// String-table texts the menu uses.
enum : uint32_t {
    kStrCancelAnimation = 120,
    kStrTotalAnimation = 144,
    kStrMenuPreview = 154,
    kStrMenu3D = 155,
    kStrUse3DHardware = 1306,
    kStrPointOfView = 29000,
};

// Longest name of a viewing or sub-animation shown in the menu, in bytes.
constexpr size_t kMenuNameMax = 255;

struct MenuSubAnimation {
    std::string name;
    float start = 0, end = 0;
};

// A 164-byte sub-animation descriptor: name in its first 128 bytes (taken up
// to its terminator), start and end time in 32-bit words 33 and 34.
MenuSubAnimation subAnimationFromDescriptor(const uint8_t* descriptor164);

struct MenuState {
    bool popupMenuEnabled = true;
    uint32_t enabledMenus = 0xFFFFFFFFu;
    bool loadObjectMenuEnabled = true;
    bool controlsHidden = false, keepSpinning = false, walkthrough = false, filter = true;
    uint32_t displayMode = 3;                  // stored mode, flag bits removed
    bool localSaveAllowed = false;
    bool haveObjectData = false;               // local file of the current object, or its container in memory
    bool buttonRayTraceEnabled = true;
    bool objectDisplayed = false;
    bool hardwareDevice = false;
    int32_t rendererKind = 0;                  // 1 Direct3D
    std::vector<std::string> viewingNames;     // predefined viewings of the reference object, content language
    bool hasAnimation = false, animationPlaying = false;
    std::vector<MenuSubAnimation> subAnimations;
    bool previewShown = false, previewAvailable = false;
    std::string menuNameFor3D, menuNameForPreview;  // empty: the default strings 155 and 154
};

struct MenuItem {
    enum class Kind { Command, Separator, Popup };
    enum class Text { Resource, String, Literal };
    Kind kind = Kind::Command;
    uint32_t id = 0;              // command id; for a popup the id its text comes from
    Text text = Text::Resource;   // Resource: text of id in menu 211; String: string-table textId
    uint32_t textId = 0;
    std::string literal;          // Text::Literal
    bool enabled = true, checked = false;
    std::vector<MenuItem> children;
};

// The finished menu (the host hook may still add items).
std::vector<MenuItem> buildPopupMenu(const MenuState& s);
// The item of a command id anywhere in the tree, null when absent.
const MenuItem* findMenuItem(const std::vector<MenuItem>& menu, uint32_t id);

struct MenuCommand {
    enum class Kind { None, Resource, DisplayMode, Viewpoint, SubAnimation, Use3DHardware };
    Kind kind = Kind::None;
    uint32_t id = 0;
    int32_t value = 0;  // display mode, viewing index, sub-animation index
};
// What a chosen id means: display modes 32773-32778 as their modes, 29000 + i
// a viewing (i below viewingCount), 28001 + i a sub-animation (i below
// subAnimationCount), 28000 and the other items of menu 211 as themselves.
MenuCommand menuCommandOf(uint32_t id, size_t viewingCount, size_t subAnimationCount);
// The mode of a display-mode command, -1 for other ids.
int32_t displayModeOfCommand(uint32_t id);

}  // namespace qivctl

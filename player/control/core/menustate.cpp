#include "menustate.h"

#include <algorithm>
#include <cstring>

namespace qivctl {

namespace {

using Kind = MenuItem::Kind;
using Text = MenuItem::Text;

constexpr uint32_t kBitShowAll = 1, kBitLoadObject = 2, kBitSaveBitmap = 4, kBitSaveObject = 8, kBitRaytrace = 16,
                   kBitAnimations = 32, kBitBackground = 64, kBitDisplayMode = 128, kBitFilter = 256,
                   kBitHideControls = 512, kBitKeepSpin = 1024, kBitSettings = 2048, kBitTogglePreview = 4096,
                   kBitWalkthrough = 8192, kBitUse3DHardware = 16384, kBitPointOfView = 32768;

const struct {
    uint32_t id;
    int32_t mode;
} kModes[] = {{kMenuModeShaded, 3}, {kMenuModeWire, 0},   {kMenuModeFlat, 1},
              {kMenuModeFlatTex, 2}, {kMenuModeHidden, 4}, {kMenuModeHiddenOpaque, 5}};

MenuItem command(uint32_t id) {
    MenuItem m;
    m.id = id;
    return m;
}
MenuItem separator() {
    MenuItem m;
    m.kind = Kind::Separator;
    return m;
}
MenuItem stringItem(uint32_t id, uint32_t textId) {
    MenuItem m = command(id);
    m.text = Text::String;
    m.textId = textId;
    return m;
}
MenuItem literalItem(uint32_t id, const std::string& text) {
    MenuItem m = command(id);
    m.text = Text::Literal;
    m.literal = text.substr(0, std::min(text.size(), kMenuNameMax));
    return m;
}

// Menu 211's popup as the resource holds it.
std::vector<MenuItem> resourceMenu() {
    MenuItem modes;
    modes.kind = Kind::Popup;
    modes.id = kMenuDisplayModePopup;
    for (uint32_t id : {kMenuModeWire, kMenuModeFlat, kMenuModeFlatTex, kMenuModeShaded, kMenuModeHidden,
                        kMenuModeHiddenOpaque})
        modes.children.push_back(command(id));
    modes.children.push_back(separator());
    modes.children.push_back(command(kMenuFilter));
    return {command(kMenuShowAll),      command(kMenuLoadObject), command(kMenuSaveImage), command(kMenuSaveObject),
            command(kMenuRayTrace),     command(kMenuAnimation),  separator(),             command(kMenuTogglePreview),
            command(kMenuBackground),   modes,                    command(kMenuHideControls), command(kMenuKeepSpin),
            command(kMenuWalkthrough),  separator(),              command(kMenuSettings),  separator(),
            command(kMenuInfo)};
}

MenuItem* find(std::vector<MenuItem>& menu, uint32_t id) {
    for (MenuItem& m : menu) {
        if (m.kind == Kind::Command && m.id == id) return &m;
        if (m.kind == Kind::Popup) {
            if (MenuItem* c = find(m.children, id)) return c;
        }
    }
    return nullptr;
}

bool removeItem(std::vector<MenuItem>& menu, uint32_t id) {
    for (auto it = menu.begin(); it != menu.end(); ++it) {
        if (it->kind == Kind::Command && it->id == id) {
            menu.erase(it);
            return true;
        }
        if (it->kind == Kind::Popup && removeItem(it->children, id)) return true;
    }
    return false;
}

std::vector<MenuItem>::iterator topLevel(std::vector<MenuItem>& menu, Kind kind, uint32_t id) {
    return std::find_if(menu.begin(), menu.end(), [&](const MenuItem& m) { return m.kind == kind && m.id == id; });
}

void insertBefore(std::vector<MenuItem>& menu, uint32_t beforeId, MenuItem item) {
    auto at = topLevel(menu, Kind::Command, beforeId);
    menu.insert(at, std::move(item));
}

}  // namespace

MenuSubAnimation subAnimationFromDescriptor(const uint8_t* d) {
    MenuSubAnimation a;
    if (!d) return a;
    const char* name = reinterpret_cast<const char*>(d);
    a.name.assign(name, strnlen(name, 128));
    std::memcpy(&a.start, d + 128, 4);
    std::memcpy(&a.end, d + 132, 4);
    return a;
}

std::vector<MenuItem> buildPopupMenu(const MenuState& s) {
    const bool on = s.popupMenuEnabled;
    const uint32_t mask = on ? s.enabledMenus : 0;
    std::vector<MenuItem> menu = resourceMenu();

    find(menu, kMenuLoadObject)->enabled = s.loadObjectMenuEnabled;
    find(menu, kMenuHideControls)->checked = s.controlsHidden;
    find(menu, kMenuKeepSpin)->checked = s.keepSpinning;
    find(menu, kMenuWalkthrough)->checked = s.walkthrough;
    for (const auto& m : kModes)
        if (uint32_t(m.mode) == s.displayMode) find(menu, m.id)->checked = true;
    if (s.displayMode != 5) removeItem(menu, kMenuModeHiddenOpaque);
    find(menu, kMenuFilter)->checked = s.filter;

    if (!s.localSaveAllowed)
        removeItem(menu, kMenuSaveObject);
    else
        find(menu, kMenuSaveObject)->enabled = s.haveObjectData;
    if (!s.buttonRayTraceEnabled) removeItem(menu, kMenuRayTrace);
    if (!s.objectDisplayed) {
        if (MenuItem* rt = find(menu, kMenuRayTrace)) rt->enabled = false;
        find(menu, kMenuSaveImage)->enabled = false;
    }

    if (s.hardwareDevice && (mask & kBitUse3DHardware) && on) {
        MenuItem hw = stringItem(kMenuUse3DHardware, kStrUse3DHardware);
        hw.checked = s.rendererKind == 1;
        insertBefore(menu, kMenuSettings, hw);
    }

    if (!s.viewingNames.empty() && (mask & kBitPointOfView) && on) {
        MenuItem views;
        views.kind = Kind::Popup;
        views.id = kMenuViewpoint;
        views.text = Text::String;
        views.textId = kStrPointOfView;
        size_t n = std::min(s.viewingNames.size(), size_t(kMenuViewpointLast - kMenuViewpoint + 1));
        for (size_t i = 0; i < n; ++i) views.children.push_back(literalItem(kMenuViewpoint + uint32_t(i), s.viewingNames[i]));
        insertBefore(menu, kMenuAnimation, views);
    }

    if (!(mask & kBitAnimations) || !on) {
        removeItem(menu, kMenuAnimation);
    } else {
        MenuItem* anim = find(menu, kMenuAnimation);
        if (s.animationPlaying) {
            anim->text = Text::String;
            anim->textId = kStrCancelAnimation;
        } else if (!s.hasAnimation) {
            anim->enabled = false;
        } else if (s.subAnimations.size() >= 2) {
            float lo = s.subAnimations[0].start, hi = s.subAnimations[0].end;
            for (const auto& a : s.subAnimations) {
                lo = std::min(lo, a.start);
                hi = std::max(hi, a.end);
            }
            MenuItem popup;
            popup.kind = Kind::Popup;
            popup.id = kMenuAnimation;
            popup.children.push_back(stringItem(kMenuAnimation, kStrTotalAnimation));
            popup.children.push_back(separator());
            size_t n = std::min(s.subAnimations.size(), size_t(kMenuAnimationLast - kMenuAnimation));
            for (size_t i = 0; i < n; ++i) {
                const auto& a = s.subAnimations[i];
                if (a.start == lo && a.end == hi) continue;
                popup.children.push_back(literalItem(kMenuAnimation + 1 + uint32_t(i), a.name));
            }
            if (popup.children.size() > 2) *topLevel(menu, Kind::Command, kMenuAnimation) = popup;
        }
    }

    if (!s.objectDisplayed) find(menu, kMenuShowAll)->enabled = false;
    if (!s.previewShown && !s.previewAvailable) find(menu, kMenuTogglePreview)->enabled = false;

    auto modes = topLevel(menu, Kind::Popup, kMenuDisplayModePopup);
    const bool keepModes = mask & kBitDisplayMode, keepFilter = mask & kBitFilter;
    if (!keepModes && !keepFilter) {
        menu.erase(modes);
    } else if (keepModes && !keepFilter) {
        // The filter item and the separator before it end the popup.
        modes->children.resize(modes->children.size() - 2);
    } else if (!keepModes && keepFilter) {
        MenuItem filter = modes->children.back();
        *modes = filter;
    }
    const struct {
        uint32_t bit, id;
    } kRemovals[] = {{kBitShowAll, kMenuShowAll},       {kBitLoadObject, kMenuLoadObject},
                     {kBitSaveBitmap, kMenuSaveImage},  {kBitSaveObject, kMenuSaveObject},
                     {kBitRaytrace, kMenuRayTrace},     {kBitBackground, kMenuBackground},
                     {kBitHideControls, kMenuHideControls}, {kBitKeepSpin, kMenuKeepSpin},
                     {kBitSettings, kMenuSettings},     {kBitWalkthrough, kMenuWalkthrough}};
    for (const auto& r : kRemovals)
        if (!(mask & r.bit)) removeItem(menu, r.id);
    if (mask & kBitTogglePreview) {
        MenuItem* t = find(menu, kMenuTogglePreview);
        const std::string& name = s.previewShown ? s.menuNameFor3D : s.menuNameForPreview;
        if (name.empty()) {
            t->text = Text::String;
            t->textId = s.previewShown ? kStrMenu3D : kStrMenuPreview;
        } else {
            t->text = Text::Literal;
            t->literal = name.substr(0, std::min(name.size(), kMenuNameMax));
        }
    } else {
        removeItem(menu, kMenuTogglePreview);
    }

    for (size_t i = 0; i < menu.size();) {
        if (menu[i].kind == Kind::Separator && (i == 0 || menu[i - 1].kind == Kind::Separator))
            menu.erase(menu.begin() + ptrdiff_t(i));
        else
            ++i;
    }
    return menu;
}

const MenuItem* findMenuItem(const std::vector<MenuItem>& menu, uint32_t id) {
    return find(const_cast<std::vector<MenuItem>&>(menu), id);
}

int32_t displayModeOfCommand(uint32_t id) {
    for (const auto& m : kModes)
        if (m.id == id) return m.mode;
    return -1;
}

MenuCommand menuCommandOf(uint32_t id, size_t viewingCount, size_t subAnimationCount) {
    MenuCommand c;
    c.id = id;
    if (int32_t mode = displayModeOfCommand(id); mode >= 0) {
        c.kind = MenuCommand::Kind::DisplayMode;
        c.value = mode;
    } else if (id >= kMenuViewpoint && id <= kMenuViewpointLast) {
        if (id - kMenuViewpoint < viewingCount) {
            c.kind = MenuCommand::Kind::Viewpoint;
            c.value = int32_t(id - kMenuViewpoint);
        }
    } else if (id > kMenuAnimation && id <= kMenuAnimationLast) {
        if (id - kMenuAnimation - 1 < subAnimationCount) {
            c.kind = MenuCommand::Kind::SubAnimation;
            c.value = int32_t(id - kMenuAnimation - 1);
        }
    } else if (id == kMenuUse3DHardware) {
        c.kind = MenuCommand::Kind::Use3DHardware;
    } else {
        switch (id) {
            case kMenuAnimation: case kMenuLoadObject: case kMenuInfo: case kMenuBackground:
            case kMenuHideControls: case kMenuRayTrace: case kMenuSettings: case kMenuSaveObject:
            case kMenuSaveImage: case kMenuFilter: case kMenuShowAll: case kMenuKeepSpin:
            case kMenuTogglePreview: case kMenuWalkthrough:
                c.kind = MenuCommand::Kind::Resource;
                break;
            default: break;
        }
    }
    return c;
}

}  // namespace qivctl

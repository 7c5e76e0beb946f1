// The control's popup menu: the items of menu resource 211 (in the user's interface
// language) as the menu state gives them, shown with TrackPopupMenu, and the commands
// of the menu that the control's message map hands to MenuCommand.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "backend_win.h"
#include "ctlmodule_win.h"
#include "menustate.h"
#include "picks.h"
#include "qivctl_win.h"
#include "scene/anim.h"
#include "scene/pelchunk.h"
#include "slots.h"
#include "stockprops.h"
#include "win/wintext.h"
#include "window_win.h"

namespace {

using qivctl::MenuItem;

constexpr UINT kMenuResource = 211;



std::wstring stringResource(UINT id) {
    const wchar_t* p = nullptr;
    int n = LoadStringW(qivModuleInstance(), id, reinterpret_cast<LPWSTR>(&p), 0);
    return n > 0 && p ? std::wstring(p, size_t(n)) : std::wstring();
}

// Menu 211's texts: by command id, and the display-mode popup's by its position.
class ResourceTexts {
public:
    ResourceTexts() {
        menu_ = LoadMenuW(qivModuleInstance(), MAKEINTRESOURCEW(kMenuResource));
        popup_ = menu_ ? GetSubMenu(menu_, 0) : nullptr;
        for (int i = 0, n = popup_ ? GetMenuItemCount(popup_) : 0; i < n; ++i)
            if (GetSubMenu(popup_, i)) {
                modesText_ = text(UINT(i), MF_BYPOSITION);
                break;
            }
    }
    ~ResourceTexts() {
        if (menu_) DestroyMenu(menu_);
    }
    ResourceTexts(const ResourceTexts&) = delete;
    ResourceTexts& operator=(const ResourceTexts&) = delete;

    std::wstring of(const MenuItem& m) const {
        switch (m.text) {
            case MenuItem::Text::String:
                return stringResource(m.textId);
            case MenuItem::Text::Literal:
                return win::Wide(m.literal);
            case MenuItem::Text::Resource:
                break;
        }
        if (m.kind == MenuItem::Kind::Popup && m.id == qivctl::kMenuDisplayModePopup) return modesText_;
        return text(m.id, MF_BYCOMMAND);
    }

private:
    std::wstring text(UINT item, UINT by) const {
        if (!popup_) return std::wstring();
        wchar_t buf[256] = {};
        int n = GetMenuStringW(popup_, item, buf, int(std::size(buf)), by);
        return std::wstring(buf, size_t(n > 0 ? n : 0));
    }

    HMENU menu_ = nullptr, popup_ = nullptr;
    std::wstring modesText_;
};

void fill(HMENU into, const std::vector<MenuItem>& items, const ResourceTexts& texts) {
    for (const MenuItem& m : items) {
        if (m.kind == MenuItem::Kind::Separator) {
            AppendMenuW(into, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        UINT flags = MF_STRING | (m.enabled ? MF_ENABLED : MF_GRAYED) | (m.checked ? MF_CHECKED : MF_UNCHECKED);
        UINT_PTR id = m.id;
        if (m.kind == MenuItem::Kind::Popup) {
            HMENU sub = CreatePopupMenu();
            if (!sub) continue;
            fill(sub, m.children, texts);
            flags |= MF_POPUP;
            id = reinterpret_cast<UINT_PTR>(sub);
        }
        const std::wstring text = texts.of(m);
        AppendMenuW(into, flags, id, text.c_str());
    }
}

}  // namespace

std::vector<MenuItem> CQivPlayerCtl::popupMenuItems(bool allMenus) {
    qivctl::MenuState m;
    m.popupMenuEnabled = allMenus || state_.popupMenu;
    m.enabledMenus = allMenus ? 0xFFFFFFFFu : enabledMenus_;
    m.loadObjectMenuEnabled = props_.loadObjectMenu;
    m.controlsHidden = win_->hideControls;
    m.keepSpinning = state_.keepSpinning;
    m.walkthrough = props_.walkthrough;
    m.filter = win_->filter;
    m.displayMode = state_.displayMode;
    m.localSaveAllowed = state_.localSaveAllowed;
    if (qivctl::slotValid(state_, state_.currentSlot)) {
        const QivObjectSlot& s = state_.slots[size_t(state_.currentSlot)];
        // A local object file, or the container the object came from held in memory.
        m.haveObjectData = (s.sourceKind == 2 && !s.sourceName.empty()) ||
                           (s.node && (CurrentIsDocumentContainer() || CurrentIsInline() || KeptContainerFrom(s.sourceName)));
    }
    m.buttonRayTraceEnabled = win_->rayTraceButton;
    m.objectDisplayed = ready();
    m.hardwareDevice = qivHardwareDeviceAvailable();
    m.rendererKind = state_.rendererKind;

    // The reference object: the only one loaded, else the one under the mouse, else the first
    // with an animation.
    int32_t ref = -1;
    if (state_.usedCount == 1 && qivctl::slotValid(state_, 0)) {
        ref = 0;
    } else if (qivctl::slotValid(state_, hoveredSlot())) {
        ref = hoveredSlot();
    } else {
        ref = qivctl::firstAnimatedSlot(state_);
    }
    if (ref >= 0 && state_.slots[size_t(ref)].node) {
        const QivObjectSlot& s = state_.slots[size_t(ref)];
        m.hasAnimation = s.hasAnimation;
        m.animationPlaying = s.animPlaying;
        m.subAnimations = SubAnimations(ref);
    }
    LONG viewings = 0;
    if (SUCCEEDED(NumberOfPredefinedViewings(&viewings)) && viewings > 0) {
        const wchar_t lang[3] = {wchar_t(state_.language[0]), wchar_t(state_.language[1]), 0};
        BSTR language = SysAllocString(lang);
        const LONG n = std::min<LONG>(viewings, LONG(qivctl::kMenuViewpointLast - qivctl::kMenuViewpoint + 1));
        for (LONG i = 0; i < n; ++i) {
            BSTR name = nullptr;
            if (FAILED(NameOfPredefinedViewing(i, language, &name))) name = nullptr;
            m.viewingNames.push_back(name ? win::Ansi(name, SysStringLen(name)) : std::string());
            SysFreeString(name);
        }
        SysFreeString(language);
    }
    m.previewShown = view2D_;
    m.previewAvailable = PreviewPicture() != nullptr;
    m.menuNameFor3D = props_.menuNameFor3D.value_or(std::string());
    m.menuNameForPreview = props_.menuNameForPreview.value_or(std::string());

    return qivctl::buildPopupMenu(m);
}

bool CQivPlayerCtl::OnContextMenu(LPARAM lp) {
    HWND w = hwnd();
    if (!w || !state_.popupMenu || menuOpen_) return false;
    // The display back end first: it tells whether a hardware device exists.
    PrepareScene(nullptr, false, true, true);
    pelSetLanguage(state_.language);
    const std::vector<MenuItem> items = popupMenuItems(false);
    HMENU menu = CreatePopupMenu();
    if (!menu) return true;
    {
        ResourceTexts texts;
        fill(menu, items, texts);
    }
    // The host's own entries (40000-40256), e.g. the stand-alone viewer's HTML export.
    AddHostMenuItems(menu);
    POINT at{short(LOWORD(lp)), short(HIWORD(lp))};
    if (lp == -1) {  // from the keyboard: at the window's corner
        at = POINT{0, 0};
        ClientToScreen(w, &at);
    }
    menuOpen_ = true;
    TrackPopupMenu(menu, TPM_RIGHTBUTTON, at.x, at.y, 0, w, nullptr);
    menuOpen_ = false;
    DestroyMenu(menu);
    if (hwnd()) {
        RefreshBarState();
        SendMessageW(w, WM_SETCURSOR, reinterpret_cast<WPARAM>(w), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    }
    return true;
}

bool CQivPlayerCtl::MenuCommand(UINT id) {
    VARIANT_BOOL ok = VARIANT_FALSE;
    if (id >= qivctl::kMenuAnimation && id <= qivctl::kMenuAnimationLast) {
        // The object under the mouse, else the current one.
        const int32_t hovered = hoveredSlot();
        const int32_t slot = qivctl::slotValid(state_, hovered) ? hovered : state_.currentSlot;
        const std::vector<qivctl::MenuSubAnimation> table = SubAnimations(slot);
        const bool available = qivctl::slotValid(state_, slot) && state_.slots[size_t(slot)].hasAnimation;
        const qivctl::AnimationMenuAction a =
            qivctl::animationMenuAction(state_, id, ready(), available, hovered, table);
        using K = qivctl::AnimationMenuAction::Kind;
        switch (a.kind) {
            case K::StopCurrent:
                StopObjectAnimation(a.slot);
                fireViewChange();
                break;
            case K::ClearPlaying:
                state_.slots[size_t(a.slot)].animPlaying = false;
                break;
            case K::StartWhole: {
                // The whole range again after a sub-animation.
                QivObjectSlot& s = state_.slots[size_t(a.slot)];
                if (!table.empty()) {
                    s.animStart = table[0].start, s.animEnd = table[0].end;
                    for (const auto& e : table) s.animStart = std::min(s.animStart, e.start), s.animEnd = std::max(s.animEnd, e.end);
                    s.animTime = s.animStart;
                }
                animSetTime(s.node, nullptr);
                StartObjectAnimation(a.slot);
                fireViewChange();
                break;
            }
            case K::StartSub:
                StartSubAnimationOf(a.slot, a.index, a.repeat);
                break;
            case K::None:
                break;
        }
        return true;
    }
    if (id >= qivctl::kMenuViewpoint && id <= qivctl::kMenuViewpointLast) {
        SetPredefinedViewing(LONG(id - qivctl::kMenuViewpoint), &ok);
        return true;
    }
    switch (id) {
        case qivctl::kMenuSaveObject:
            SaveObject(nullptr, VARIANT_FALSE, nullptr, &ok);
            return true;
        case qivctl::kMenuSaveImage:
            SaveBitmap(qivBmpQualityLow, VARIANT_FALSE, 0, 0, nullptr, &ok);
            return true;
        case qivctl::kMenuKeepSpin:
            put_KeepSpinning(state_.keepSpinning ? VARIANT_FALSE : VARIANT_TRUE);
            return true;
        case qivctl::kMenuTogglePreview:
            Show2DView(view2D_ ? VARIANT_FALSE : VARIANT_TRUE);
            return true;
        case qivctl::kMenuWalkthrough:
            put_Walkthrough(props_.walkthrough ? VARIANT_FALSE : VARIANT_TRUE);
            return true;
        default:
            return false;
    }
}

#pragma once
// The item tree of toolbars and menus. An item is a component with a
// caption, image, check state, shortcut and click handler; it keeps an
// ordered list of child items (its submenu) and tells the views that
// registered with it when it or its children change. Items follow an
// action through their action link, check and uncheck radio groups, inherit
// options from their parent, and find and click items by shortcut.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "forms/actions.h"
#include "forms/component.h"
#include "forms/exception.h"
#include "forms/imagelistbase.h"
#include "forms/shortcut.h"
#include "tbcommon.h"

namespace toolbars {

class TTBCustomItem;
class TTBItemViewer;
class TTBView;

class ETBItemError : public forms::Exception {
public:
    using Exception::Exception;
};

enum TTBItemDisplayMode : uint8_t { nbdmDefault, nbdmTextOnly, nbdmTextOnlyInMenus, nbdmImageAndText };

// Options, a set of bits.
using TTBItemOptions = uint8_t;
enum TTBItemOption : uint8_t {
    tboDefault = 1u << 0,
    tboDropdownArrow = 1u << 1,
    tboImageAboveCaption = 1u << 2,
    tboLongHintInMenuOnly = 1u << 3,
    tboNoRotation = 1u << 4,
    tboShowHint = 1u << 5,
    tboToolbarStyle = 1u << 6,
    tboToolbarSize = 1u << 7,
};
// tboToolbarSize only goes with tboToolbarStyle.
constexpr TTBItemOptions NormalizeOptions(TTBItemOptions o) {
    return (o & tboToolbarStyle) ? o : TTBItemOptions(o & ~tboToolbarSize);
}

// Item style flags.
using TTBItemStyles = uint16_t;
enum TTBItemStyle : uint16_t {
    isSubmenu = 1u << 0,            // opens a popup of its children
    isSelectable = 1u << 1,         // selected by mouse and keyboard
    isSeparator = 1u << 2,          // skipped by keyboard navigation
    isEmbeddedGroup = 1u << 3,      // children shown inline in the parent's view
    isClicksTransparent = 1u << 4,  // takes no mouse-over selection
    isSplitButton = 1u << 5,        // opening the popup does not click it
    isNoAutoOpen = 1u << 6,         // the popup does not open by hovering
    isNoLineBreak = 1u << 8,        // a separator that never becomes a line break
    isRightAlign = 1u << 9,         // this item and the rest of its line go to the far end
    isNoFirstSelect = 1u << 10,     // passed over as a view's first selection
    isRedrawOnSelection = 1u << 11,
    isRedrawOnHover = 1u << 12,
    isStretch = 1u << 13,           // the full thickness of its toolbar line
};
constexpr TTBItemStyles kDefaultItemStyle = isSelectable | isRedrawOnSelection | isRedrawOnHover;

enum TTBItemChangeKind {
    ickInserted = 0,              // a child was inserted (child, index)
    ickDeleting = 1,              // a child is about to be removed (child, index)
    ickSubitemsChanged = 2,       // LinkSubitems changed
    ickBeginUpdate = 3,
    ickEndUpdate = 4,
    ickInvalidate = 5,            // redraw only
    ickInvalidateAndResize = 6,   // the size may have changed
    ickRecreateViewer = 7,        // the item's viewer class changed
    ickRenamed = 8,
    ickSubmenuImagesChanged = 9,
};

// Who registers for an item's notices (views). ancestor is the item whose
// children changed (or whose own state did, for kinds 5 to 8: then item is
// that child); relayed is true when the notice came through an embedded
// group or a linked item.
class TTBItemNotifyTarget {
public:
    virtual void ItemNotification(TTBCustomItem* ancestor, bool relayed, TTBItemChangeKind kind, int index,
                                  TTBCustomItem* item) = 0;

protected:
    ~TTBItemNotifyTarget() = default;
};

// A popup shown for an item's children (the popup windows of menus); the
// view that opened it owns it.
class TTBPopupHandle {
public:
    virtual ~TTBPopupHandle() = default;
    virtual TTBView* View() = 0;
};

// Remembers the size of the images last seen.
class TTBImageChangeLink : public forms::ChangeLink {
public:
    int lastWidth = 0, lastHeight = 0;
};

class TTBCustomItemActionLink;

// The platform's popup window of an item's children, opened from a view's
// viewer; none where there are no windows.
std::unique_ptr<TTBPopupHandle> PlatformOpenPopup(TTBCustomItem* item, TTBView* parentView,
                                                  TTBItemViewer* parentViewer, bool selectFirst);

using TBNotifyEvent = std::function<void(forms::Component* sender)>;
using TTBPopupEvent = std::function<void(TTBCustomItem* sender, bool fromLink)>;
using TTBSelectEvent = std::function<void(TTBCustomItem* sender, TTBItemViewer* viewer, bool selecting)>;

class TTBCustomItem : public forms::Component {
public:
    explicit TTBCustomItem(forms::Component* owner);
    ~TTBCustomItem() override;

    // Children.
    int Count() const { return int(items_.size()); }
    TTBCustomItem* Items(int index) const;
    void Add(TTBCustomItem* item) { Insert(Count(), item); }
    void Insert(int index, TTBCustomItem* item);
    // Takes the child out (not freed).
    void Delete(int index);
    void Remove(TTBCustomItem* item);
    int IndexOf(const TTBCustomItem* item) const;
    void Move(int from, int to);
    TTBCustomItem* Parent() const { return parent_; }
    // The item whose children this one shows: its LinkSubitems, or itself.
    TTBCustomItem* EffectiveSubitems() { return linkSubitems_ ? linkSubitems_ : this; }

    // Notices.
    void RegisterNotification(TTBItemNotifyTarget* target);
    void UnregisterNotification(TTBItemNotifyTarget* target);
    int NotificationCount() const { return int(notify_.size()); }

    // Properties.
    forms::Action* GetAction() const;
    void SetAction(forms::Action* action);
    bool AutoCheck() const { return autoCheck_; }
    void SetAutoCheck(bool v) { autoCheck_ = v; }
    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& v);
    bool Checked() const { return checked_; }
    void SetChecked(bool v);
    TTBItemDisplayMode DisplayMode() const { return displayMode_; }
    void SetDisplayMode(TTBItemDisplayMode v);
    TTBItemOptions EffectiveOptions() const { return effectiveOptions_; }
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool v);
    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int v);
    int HelpContext() const { return helpContext_; }
    void SetHelpContext(int v) { helpContext_ = v; }
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& v) { hint_ = v; }
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int v);
    forms::CustomImageList* Images() const { return images_; }
    void SetImages(forms::CustomImageList* v);
    forms::CustomImageList* SubMenuImages() const { return subMenuImages_; }
    void SetSubMenuImages(forms::CustomImageList* v);
    TTBItemOptions MaskOptions() const { return maskOptions_; }
    void SetMaskOptions(TTBItemOptions v);
    TTBItemOptions Options() const { return options_; }
    void SetOptions(TTBItemOptions v);
    bool InheritOptions() const { return inheritOptions_; }
    void SetInheritOptions(bool v);
    forms::ShortCut GetShortCut() const { return shortCut_; }
    void SetShortCut(forms::ShortCut v);
    TTBCustomItem* LinkSubitems() const { return linkSubitems_; }
    void SetLinkSubitems(TTBCustomItem* v);
    bool Visible() const { return visible_; }
    void SetVisible(bool v);
    int RkFixedCaptionLen() const { return fixedCaptionLen_; }
    void SetRkFixedCaptionLen(int v);
    TTBItemStyles ItemStyle() const { return itemStyle_; }
    void SetItemStyle(TTBItemStyles v);
    // The component that owns a root item (its toolbar), if set.
    forms::Component* ParentComponent() const { return parentComponent_; }
    void SetParentComponent(forms::Component* c) { parentComponent_ = c; }
    // Renaming tells the views.
    void SetName(std::string name);

    TBNotifyEvent OnClick;
    TTBPopupEvent OnPopup;
    TTBSelectEvent OnSelect;

    // The caption after its first tab, else the shortcut's text.
    std::string GetShortCutText() const;
    // The short hint; "hint (shortcut)" when an action supplies both.
    std::string GetHintText() const;

    // Sends ickInvalidateAndResize (resized) or ickInvalidate to the
    // parent's views.
    virtual void NotifyChanged(bool resized);
    // Shows a popup window of the children (PlatformOpenPopup).
    virtual std::unique_ptr<TTBPopupHandle> OpenPopup(TTBView* parentView, TTBItemViewer* parentViewer,
                                                      bool selectFirst);
    // The popup event, then a click unless the item is a split button.
    virtual void DoPopup(TTBCustomItem* sender, bool fromLink);
    // The toolbar view whose hidden items a chevron shows; none here.
    virtual TTBView* ChevronParentView() { return nullptr; }
    // A viewer of the item's class for a view.
    virtual std::unique_ptr<TTBItemViewer> CreateViewer(TTBView* view);
    virtual bool IsControlItem() const { return false; }
    // AutoCheck, then OnClick or the action; the item is the sender.
    virtual void PerformClick();
    virtual void UpdateAction();

    // Finds the item of the shortcut among the effective children, depth
    // first, following LinkSubitems at most 25 times along a path; topmost
    // gets the child of this item on the path.
    TTBCustomItem* FindItemWithShortCut(forms::ShortCut sc, TTBCustomItem*& topmost);
    // Walks to the item of the shortcut, letting each level's handlers fill
    // their submenus, and clicks it when it and every level above it are
    // enabled. Handlers' exceptions go to the application's handler.
    bool IsShortCut(forms::ShortCut sc);

    // Clicks the item later, from the thread's message queue (menus close
    // first). sound: play "MenuCommand" when the system has it set.
    void PostClick(bool sound);

protected:
    virtual void EnabledChanged();
    // Sends ickRecreateViewer to the parent's views.
    void RecreateViewers();
    // The notice to the registrations (relayed where the rules say).
    void Notify(TTBItemChangeKind kind, int index, TTBCustomItem* item);

private:
    friend class TTBCustomItemActionLink;
    struct Registration {
        TTBItemNotifyTarget* target;
        int refs;
    };
    void refreshOptions();
    void turnSiblingsOff();
    void notifyList(TTBItemChangeKind kind, int index, TTBCustomItem* item, bool relayed, TTBCustomItem* ancestor);
    void imagesChanged(TTBImageChangeLink& link, forms::CustomImageList* list, bool subMenu);
    void applyAction(forms::Action* a);

    std::unique_ptr<TTBCustomItemActionLink> actionLink_;
    bool autoCheck_ = false;
    std::string caption_;
    bool checked_ = false;
    TTBItemDisplayMode displayMode_ = nbdmDefault;
    TTBItemOptions effectiveOptions_ = 0;
    bool enabled_ = true;
    int groupIndex_ = 0;
    int helpContext_ = 0;
    std::string hint_;
    int imageIndex_ = -1;
    forms::CustomImageList* images_ = nullptr;
    TTBImageChangeLink imagesLink_;
    std::vector<TTBCustomItem*> items_;
    TTBItemStyles itemStyle_ = kDefaultItemStyle;
    std::unique_ptr<std::vector<TTBCustomItem*>> linkParents_;
    std::vector<Registration> notify_;
    TTBItemOptions maskOptions_ = 0, options_ = 0;
    bool inheritOptions_ = true;
    TTBCustomItem* parent_ = nullptr;
    forms::Component* parentComponent_ = nullptr;
    forms::ShortCut shortCut_ = 0;
    forms::CustomImageList* subMenuImages_ = nullptr;
    TTBImageChangeLink subMenuImagesLink_;
    TTBCustomItem* linkSubitems_ = nullptr;
    bool visible_ = true;
    int fixedCaptionLen_ = 0;
};

// The link of an item to its action: each property follows the action
// while the item's value equals the action's.
class TTBCustomItemActionLink : public forms::ActionLink {
public:
    explicit TTBCustomItemActionLink(TTBCustomItem* client) : client_(client) {}
    bool IsCaptionLinked() const override;
    bool IsCheckedLinked() const override;
    bool IsEnabledLinked() const override;
    bool IsHelpContextLinked() const override;
    bool IsHintLinked() const override;
    bool IsImageIndexLinked() const override;
    bool IsShortCutLinked() const override;
    bool IsVisibleLinked() const override;
    bool IsAutoCheckLinked() const override;
    // The item's own OnClick replaces the action's OnExecute.
    bool IsOnExecuteLinked() const override;
    void SetCaption(const std::string& v) override;
    void SetChecked(bool v) override;
    void SetEnabled(bool v) override;
    void SetHelpContext(int v) override;
    void SetHint(const std::string& v) override;
    void SetImageIndex(int v) override;
    void SetShortCut(forms::ShortCut v) override;
    void SetVisible(bool v) override;
    void SetAutoCheck(bool v) override;

protected:
    void ActionGone() override;

private:
    TTBCustomItem* client_;
};

class TTBRootItem : public TTBCustomItem {
public:
    using TTBCustomItem::TTBCustomItem;
};

class TTBItem : public TTBCustomItem {
public:
    using TTBCustomItem::TTBCustomItem;
};

class TTBSeparatorItem : public TTBCustomItem {
public:
    explicit TTBSeparatorItem(forms::Component* owner);
    // Takes its room but draws nothing.
    bool Blank() const { return blank_; }
    void SetBlank(bool v);
    std::unique_ptr<TTBItemViewer> CreateViewer(TTBView* view) override;

private:
    bool blank_ = false;
};

// An item that shows a control (a window of the form) in a toolbar line.
// The control is freed with the item unless KeepControl is set.
class TTBControlItem : public TTBCustomItem {
public:
    explicit TTBControlItem(forms::Component* owner, forms::Component* control = nullptr);
    ~TTBControlItem() override;
    forms::Component* Control() const { return control_; }
    void SetControl(forms::Component* c);
    bool KeepControl() const { return keepControl_; }
    void SetKeepControl(bool v) { keepControl_ = v; }
    bool IsControlItem() const override { return true; }

protected:
    void Notification(forms::Component* component, Operation op) override;

private:
    forms::Component* control_ = nullptr;
    bool keepControl_ = false;
};

// Deferred actions, carried out from the thread's queue after a menu
// closed: a click of an item, a system-menu key sent to a window, or a help
// request. Each posted action is delivered once, in the order posted.
enum class TBDeferredKind { None = 0, Click = 1, SysMenu = 2, Help = 3 };
struct TBDeferredAction {
    TBDeferredKind kind = TBDeferredKind::None;
    TTBCustomItem* item = nullptr;  // Click
    bool playSound = false;         // Click: "MenuCommand" first
    void* window = nullptr;         // SysMenu
    int key = 0;                    // SysMenu
    int helpContext = 0;            // Help
};

// What deferring needs of the system (a hidden window and its message).
class TBDeferredPlatform {
public:
    virtual ~TBDeferredPlatform() = default;
    // Posts one wake-up for one pending action.
    virtual void Post() = 0;
    virtual void PlayMenuSound(const char* alias) = 0;
    // The system-menu and help requests.
    virtual void Carry(const TBDeferredAction& a) = 0;
    // The thread's last item is gone.
    virtual void ItemsGone() = 0;
};
TBDeferredPlatform* SetDeferredPlatform(TBDeferredPlatform* platform);
TBDeferredPlatform& PlatformDeferred();

void PostDeferredAction(const TBDeferredAction& a);
// Carries out the first pending action of the thread; false when none.
bool RunDeferredAction();
int PendingDeferredActions();
// Items alive on this thread.
int LiveItemCount();

}  // namespace toolbars

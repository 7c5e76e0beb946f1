#pragma once
// Menus: a main menu (the form's menu bar) and popup menus, each with a
// root of menu items. Items are components (found by name) with their own
// list of child items, added and removed at run time; the system menus are
// rebuilt from the items whenever they change.
#include <windows.h>

#include <string>
#include <vector>

#include "forms/controls.h"

namespace forms {

class Menu;
class ImageList;

// A shortcut: a virtual key with scShift, scCtrl, scAlt.
using ShortCut = WORD;
constexpr ShortCut scShift = 0x2000, scCtrl = 0x4000, scAlt = 0x8000;
constexpr ShortCut MakeShortCut(WORD key, ShiftState shift) {
    return ShortCut(key | ((shift & ssShift) ? scShift : 0) | ((shift & ssCtrl) ? scCtrl : 0) |
                    ((shift & ssAlt) ? scAlt : 0));
}
std::string ShortCutToText(ShortCut s);

enum class MenuBreak { None, Break, BarBreak };

class MenuItem : public Component {
public:
    explicit MenuItem(Component* owner);
    ~MenuItem() override;

    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& c);  // "&" marks the access key, "-" a separator
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& h) { hint_ = h; }
    ShortCut GetShortCut() const { return shortCut_; }
    void SetShortCut(ShortCut s);
    bool Checked() const { return checked_; }
    // Checking a radio item unchecks the radio items of its group.
    void SetChecked(bool on);
    bool RadioItem() const { return radio_; }
    void SetRadioItem(bool on);
    int GroupIndex() const { return group_; }
    void SetGroupIndex(int g) { group_ = g; }
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool on);
    bool Visible() const { return visible_; }
    void SetVisible(bool on);
    bool Default() const { return default_; }
    void SetDefault(bool on);
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int i);
    MenuBreak Break() const { return break_; }
    void SetBreak(MenuBreak b);
    bool AutoCheck() const { return autoCheck_; }
    void SetAutoCheck(bool on) { autoCheck_ = on; }

    int Count() const { return int(items_.size()); }
    MenuItem* Items(int i) const;
    void Add(MenuItem* item);
    void Insert(int index, MenuItem* item);
    // Takes the item out (not freed).
    void Delete(int index);
    void Remove(MenuItem* item);
    // Frees every child item.
    void Clear();
    int IndexOf(const MenuItem* item) const;
    MenuItem* Parent() const { return parent_; }
    int MenuIndex() const { return parent_ ? parent_->IndexOf(this) : -1; }
    // The first child whose caption equals text without "&" and letter case.
    MenuItem* Find(const std::string& caption) const;
    Menu* GetParentMenu() const;
    bool IsLine() const { return caption_ == "-"; }

    // Toggles an auto-check item, then runs OnClick (not when disabled).
    void Click();
    NotifyEvent OnClick;

    // The submenu of an item with children, or the menu bar of the root.
    HMENU Handle();
    UINT Command() const { return command_; }
    static MenuItem* FromCommand(UINT id);
    // Rebuilds the system menu of the parent (called after changes).
    void Changed();

private:
    friend class Menu;
    void rebuild();
    void fillInfo(MENUITEMINFOW& mi, std::wstring& text);

    std::string caption_, hint_;
    ShortCut shortCut_ = 0;
    bool checked_ = false, radio_ = false, enabled_ = true, visible_ = true, default_ = false, autoCheck_ = false;
    int group_ = 0, imageIndex_ = -1;
    MenuBreak break_ = MenuBreak::None;
    std::vector<MenuItem*> items_;
    MenuItem* parent_ = nullptr;
    Menu* menu_ = nullptr;  // set on a root item
    HMENU handle_ = nullptr;
    bool isBar_ = false;
    UINT command_ = 0;
};

class Menu : public Component {
public:
    explicit Menu(Component* owner, bool bar);
    ~Menu() override;
    MenuItem* Items() const { return items_; }
    ImageList* Images() const { return images_; }
    void SetImages(ImageList* images);
    HMENU Handle() { return items_->Handle(); }
    // Searches the items (depth first) for an enabled item with the shortcut
    // and clicks it.
    bool IsShortCut(ShortCut s);
    MenuItem* FindShortCut(ShortCut s) const;
    // The form whose menu bar this is (null for popup menus).
    Form* WindowForm() const { return form_; }
    void SetWindowForm(Form* f) { form_ = f; }

protected:
    void Notification(Component* c, Operation op) override;

private:
    MenuItem* items_;
    ImageList* images_ = nullptr;
    Form* form_ = nullptr;
};

class MainMenu : public Menu {
public:
    explicit MainMenu(Component* owner) : Menu(owner, true) {}
};

class PopupMenu : public Menu {
public:
    explicit PopupMenu(Component* owner) : Menu(owner, false) {}
    // Shows the menu at a screen point and clicks the chosen item.
    void Popup(int x, int y);
    Component* PopupComponent() const { return popupComponent_; }
    void SetPopupComponent(Component* c) { popupComponent_ = c; }
    NotifyEvent OnPopup;

private:
    Component* popupComponent_ = nullptr;
};

// Caption without its access-key marks.
std::string StripHotkey(const std::string& caption);

}  // namespace forms

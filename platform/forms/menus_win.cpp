#include "forms/menus.h"

#include <algorithm>
#include <unordered_map>

#include "forms/application.h"
#include "forms/exception.h"
#include "forms/form.h"
#include "forms/textutil.h"
#include "win/wintext.h"

namespace forms {

namespace {

std::unordered_map<UINT, MenuItem*>& commands() {
    static std::unordered_map<UINT, MenuItem*> map;
    return map;
}
UINT g_nextCommand = 0x2000;

}  // namespace

std::string ShortCutToText(ShortCut s) {
    if (!s) return {};
    std::string out;
    if (s & scCtrl) out += "Ctrl+";
    if (s & scShift) out += "Shift+";
    if (s & scAlt) out += "Alt+";
    const WORD key = s & 0xFF;
    if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9'))
        out += char(key);
    else if (key >= VK_F1 && key <= VK_F24)
        out += "F" + std::to_string(key - VK_F1 + 1);
    else {
        static const std::pair<WORD, const char*> names[] = {
            {VK_DELETE, "Del"}, {VK_INSERT, "Ins"},    {VK_RETURN, "Enter"}, {VK_ESCAPE, "Esc"},
            {VK_BACK, "BkSp"},  {VK_SPACE, "Space"},   {VK_HOME, "Home"},    {VK_END, "End"},
            {VK_LEFT, "Left"},  {VK_RIGHT, "Right"},   {VK_UP, "Up"},        {VK_DOWN, "Down"},
            {VK_PRIOR, "PgUp"}, {VK_NEXT, "PgDn"},     {VK_TAB, "Tab"},
        };
        for (const auto& n : names)
            if (n.first == key) out += n.second;
    }
    return out;
}

std::string StripHotkey(const std::string& caption) {
    std::string out;
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&') {
            if (i + 1 < caption.size() && caption[i + 1] == '&') out += '&', ++i;
            continue;
        }
        out += caption[i];
    }
    return out;
}

MenuItem::MenuItem(Component* owner) : Component(owner) {
    command_ = g_nextCommand++;
    if (g_nextCommand > 0xEFFF) g_nextCommand = 0x2000;
    commands()[command_] = this;
}

MenuItem::~MenuItem() {
    commands().erase(command_);
    while (!items_.empty()) {
        MenuItem* c = items_.back();
        items_.pop_back();
        c->parent_ = nullptr;
        delete c;
    }
    if (parent_) parent_->Remove(this);
    if (handle_) {
        // Submenus are their items' own; only this menu goes.
        while (GetMenuItemCount(handle_) > 0) RemoveMenu(handle_, 0, MF_BYPOSITION);
        DestroyMenu(handle_);
    }
}

MenuItem* MenuItem::FromCommand(UINT id) {
    auto it = commands().find(id);
    return it == commands().end() ? nullptr : it->second;
}

MenuItem* MenuItem::Items(int i) const {
    if (i < 0 || i >= Count()) throw Exception("Menu index out of range");
    return items_[size_t(i)];
}

void MenuItem::Add(MenuItem* item) { Insert(Count(), item); }

void MenuItem::Insert(int index, MenuItem* item) {
    if (!item) return;
    if (item->parent_) throw Exception("Menu inserted twice");
    if (index < 0 || index > Count()) throw Exception("Menu index out of range");
    items_.insert(items_.begin() + index, item);
    item->parent_ = this;
    if (!handle_ && !isBar_) Changed();
    rebuild();
}

void MenuItem::Delete(int index) {
    MenuItem* item = Items(index);
    items_.erase(items_.begin() + index);
    item->parent_ = nullptr;
    rebuild();
    if (items_.empty() && parent_) parent_->rebuild();
}

void MenuItem::Remove(MenuItem* item) {
    const int i = IndexOf(item);
    if (i >= 0) Delete(i);
}

void MenuItem::Clear() {
    while (!items_.empty()) delete items_.back();
}

int MenuItem::IndexOf(const MenuItem* item) const {
    auto it = std::find(items_.begin(), items_.end(), item);
    return it == items_.end() ? -1 : int(it - items_.begin());
}

MenuItem* MenuItem::Find(const std::string& caption) const {
    const std::string want = StripHotkey(caption);
    for (MenuItem* i : items_)
        if (SameText(StripHotkey(i->caption_), want)) return i;
    return nullptr;
}

Menu* MenuItem::GetParentMenu() const {
    const MenuItem* i = this;
    while (i->parent_) i = i->parent_;
    return i->menu_;
}

void MenuItem::SetCaption(const std::string& c) {
    if (c == caption_) return;
    caption_ = c;
    Changed();
}

void MenuItem::SetShortCut(ShortCut s) {
    if (s == shortCut_) return;
    shortCut_ = s;
    Changed();
}

void MenuItem::SetChecked(bool on) {
    if (on == checked_) return;
    checked_ = on;
    if (on && radio_ && parent_)
        for (MenuItem* sib : parent_->items_)
            if (sib != this && sib->radio_ && sib->group_ == group_ && sib->checked_) {
                sib->checked_ = false;
            }
    if (parent_) parent_->rebuild();
}

void MenuItem::SetRadioItem(bool on) {
    radio_ = on;
    Changed();
}

void MenuItem::SetEnabled(bool on) {
    if (on == enabled_) return;
    enabled_ = on;
    Changed();
}

void MenuItem::SetVisible(bool on) {
    if (on == visible_) return;
    visible_ = on;
    Changed();
}

void MenuItem::SetDefault(bool on) {
    default_ = on;
    Changed();
}

void MenuItem::SetImageIndex(int i) {
    if (i == imageIndex_) return;
    imageIndex_ = i;
    Changed();
}

void MenuItem::SetBreak(MenuBreak b) {
    if (b == break_) return;
    break_ = b;
    Changed();
}

void MenuItem::Click() {
    if (!enabled_) return;
    if (autoCheck_) SetChecked(!checked_);
    if (OnClick) OnClick(this);
}

void MenuItem::Changed() {
    if (parent_) parent_->rebuild();
}

HMENU MenuItem::Handle() {
    if (!handle_) {
        handle_ = isBar_ ? CreateMenu() : CreatePopupMenu();
        MENUINFO mi{sizeof mi, MIM_MENUDATA};
        mi.dwMenuData = reinterpret_cast<ULONG_PTR>(this);
        SetMenuInfo(handle_, &mi);
        rebuild();
    }
    return handle_;
}

void MenuItem::fillInfo(MENUITEMINFOW& mi, std::wstring& text) {
    mi = {};
    mi.cbSize = sizeof mi;
    mi.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_DATA | MIIM_SUBMENU;
    mi.wID = command_;
    mi.dwItemData = reinterpret_cast<ULONG_PTR>(this);
    if (IsLine()) {
        mi.fType = MFT_SEPARATOR;
        return;
    }
    mi.fMask |= MIIM_STRING;
    std::string t = caption_;
    if (shortCut_) t += "\t" + ShortCutToText(shortCut_);
    text = win::Wide(t);
    mi.dwTypeData = text.data();
    mi.fType = MFT_STRING;
    if (radio_) mi.fType |= MFT_RADIOCHECK;
    if (break_ == MenuBreak::Break) mi.fType |= MFT_MENUBREAK;
    if (break_ == MenuBreak::BarBreak) mi.fType |= MFT_MENUBARBREAK;
    mi.fState = (checked_ ? MFS_CHECKED : 0) | (enabled_ ? 0 : MFS_DISABLED) | (default_ ? MFS_DEFAULT : 0);
    if (!items_.empty()) mi.hSubMenu = Handle();
    Menu* menu = GetParentMenu();
    if (imageIndex_ >= 0 && menu && menu->Images()) {
        mi.fMask |= MIIM_BITMAP;
        mi.hbmpItem = HBMMENU_CALLBACK;
    }
}

void MenuItem::rebuild() {
    if (!handle_) return;
    while (GetMenuItemCount(handle_) > 0) RemoveMenu(handle_, 0, MF_BYPOSITION);
    UINT at = 0;
    for (MenuItem* i : items_) {
        if (!i->visible_) continue;
        MENUITEMINFOW mi;
        std::wstring text;
        i->fillInfo(mi, text);
        InsertMenuItemW(handle_, at++, TRUE, &mi);
    }
    if (isBar_) {
        Menu* menu = GetParentMenu();
        if (menu && menu->WindowForm() && menu->WindowForm()->Handle()) DrawMenuBar(menu->WindowForm()->Handle());
    }
}

// Menu ------------------------------------------------------------------------

Menu::Menu(Component* owner, bool bar) : Component(owner) {
    items_ = new MenuItem(nullptr);
    items_->isBar_ = bar;
    items_->menu_ = this;
}

Menu::~Menu() {
    if (form_ && form_->Menu() == this) form_->SetMenu(nullptr);
    // Items owned by the form are freed with it; the tree is only taken apart.
    while (items_->Count()) items_->Delete(items_->Count() - 1);
    delete items_;
}

void Menu::SetImages(ImageList* images) {
    if (images_) images_->RemoveFreeNotification(this);
    images_ = images;
    if (images_) images_->FreeNotification(this);
}

void Menu::Notification(Component* c, Operation op) {
    if (op == Operation::Remove && c == images_) images_ = nullptr;
}

MenuItem* Menu::FindShortCut(ShortCut s) const {
    std::function<MenuItem*(MenuItem*)> walk = [&](MenuItem* parent) -> MenuItem* {
        for (int i = 0; i < parent->Count(); ++i) {
            MenuItem* it = parent->Items(i);
            if (it->GetShortCut() == s) return it;
            if (MenuItem* f = walk(it)) return f;
        }
        return nullptr;
    };
    return s ? walk(items_) : nullptr;
}

bool Menu::IsShortCut(ShortCut s) {
    MenuItem* it = FindShortCut(s);
    if (!it) return false;
    for (MenuItem* p = it; p; p = p->Parent())
        if (!p->Enabled()) return false;
    it->Click();
    return true;
}

// PopupMenu -------------------------------------------------------------------

void PopupMenu::Popup(int x, int y) {
    if (OnPopup) OnPopup(this);
    HWND owner = Application::Instance().Handle();
    if (auto* c = dynamic_cast<Control*>(popupComponent_))
        if (Form* f = c->ParentForm()) owner = f->Handle();
    Application::Instance().CancelHint();
    const UINT cmd = UINT(TrackPopupMenu(Handle(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN, x, y, 0, owner,
                                         nullptr));
    if (cmd)
        if (MenuItem* item = MenuItem::FromCommand(cmd)) item->Click();
}

}  // namespace forms

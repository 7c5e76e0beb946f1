#include "tbitem.h"

#include <algorithm>
#include <deque>

#include "forms/appservices.h"
#include "forms/textutil.h"

namespace toolbars {

namespace {

const char kIndexError[] = "Toolbar item index out of range";
const char kInsertedError[] = "Toolbar item already inserted";
// Links followed along one search path for shortcuts.
constexpr int kMaxLinkDepth = 25;
// Levels walked down for one shortcut (handlers may rebuild submenus).
constexpr int kMaxShortCutLevels = 64;

struct ThreadState {
    int liveItems = 0;
    std::deque<TBDeferredAction> pending;
    TBDeferredPlatform* platform = nullptr;
};

ThreadState& thread() {
    thread_local ThreadState s;
    return s;
}

TBDeferredPlatform& deferred() {
    ThreadState& t = thread();
    return t.platform ? *t.platform : PlatformDeferred();
}

}  // namespace

// TTBCustomItem ---------------------------------------------------------------

TTBCustomItem::TTBCustomItem(forms::Component* owner) : Component(owner) {
    ++thread().liveItems;
    imagesLink_.OnChange = [this] { imagesChanged(imagesLink_, images_, false); };
    imagesLink_.OnGone = [this] { SetImages(nullptr); };
    subMenuImagesLink_.OnChange = [this] { imagesChanged(subMenuImagesLink_, subMenuImages_, true); };
    subMenuImagesLink_.OnGone = [this] { SetSubMenuImages(nullptr); };
}

TTBCustomItem::~TTBCustomItem() {
    auto& pending = thread().pending;
    pending.erase(std::remove_if(pending.begin(), pending.end(),
                                 [this](const TBDeferredAction& a) { return a.item == this; }),
                  pending.end());
    // Items that show this one's children let go of it.
    while (linkParents_ && !linkParents_->empty()) linkParents_->back()->SetLinkSubitems(nullptr);
    SetLinkSubitems(nullptr);
    while (!items_.empty()) delete items_.back();
    if (parent_) parent_->Remove(this);
    actionLink_.reset();
    imagesLink_.SetSender(nullptr);
    subMenuImagesLink_.SetSender(nullptr);
    notify_.clear();
    if (--thread().liveItems == 0) deferred().ItemsGone();
}

TTBCustomItem* TTBCustomItem::Items(int index) const {
    if (index < 0 || index >= Count()) throw ETBItemError(kIndexError);
    return items_[size_t(index)];
}

void TTBCustomItem::Insert(int index, TTBCustomItem* item) {
    if (item->parent_) throw ETBItemError(kInsertedError);
    if (index < 0 || index > Count()) throw ETBItemError(kIndexError);
    items_.insert(items_.begin() + index, item);
    item->parent_ = this;
    Notify(ickBeginUpdate, -1, nullptr);
    try {
        Notify(ickInserted, index, item);
    } catch (...) {
        Notify(ickEndUpdate, -1, nullptr);
        throw;
    }
    Notify(ickEndUpdate, -1, nullptr);
    item->refreshOptions();
}

void TTBCustomItem::Delete(int index) {
    TTBCustomItem* item = Items(index);
    Notify(ickDeleting, index, item);
    // The notice's handlers may have moved things: take out what is there.
    const int at = IndexOf(item);
    if (at < 0) return;
    item->parent_ = nullptr;
    items_.erase(items_.begin() + at);
}

void TTBCustomItem::Remove(TTBCustomItem* item) {
    const int i = IndexOf(item);
    if (i >= 0) Delete(i);
}

int TTBCustomItem::IndexOf(const TTBCustomItem* item) const {
    auto it = std::find(items_.begin(), items_.end(), item);
    return it == items_.end() ? -1 : int(it - items_.begin());
}

void TTBCustomItem::Move(int from, int to) {
    if (from == to) return;
    TTBCustomItem* item = Items(from);
    if (to < 0 || to >= Count()) throw ETBItemError(kIndexError);
    Notify(ickBeginUpdate, -1, nullptr);
    try {
        Delete(from);
        Insert(to, item);
    } catch (...) {
        Notify(ickEndUpdate, -1, nullptr);
        throw;
    }
    Notify(ickEndUpdate, -1, nullptr);
}

// Notices ---------------------------------------------------------------------

void TTBCustomItem::RegisterNotification(TTBItemNotifyTarget* target) {
    for (Registration& r : notify_)
        if (r.target == target) {
            ++r.refs;
            return;
        }
    notify_.push_back({target, 1});
}

void TTBCustomItem::UnregisterNotification(TTBItemNotifyTarget* target) {
    for (size_t i = 0; i < notify_.size(); ++i)
        if (notify_[i].target == target) {
            if (--notify_[i].refs == 0) notify_.erase(notify_.begin() + std::ptrdiff_t(i));
            if (notify_.empty()) notify_.shrink_to_fit();
            return;
        }
}

void TTBCustomItem::notifyList(TTBItemChangeKind kind, int index, TTBCustomItem* item, bool relayed,
                               TTBCustomItem* ancestor) {
    size_t i = 0;
    while (i < notify_.size()) {
        TTBItemNotifyTarget* target = notify_[i].target;
        target->ItemNotification(ancestor, relayed, kind, index, item);
        // A target that unregistered itself does not make the next one skipped.
        if (i < notify_.size() && notify_[i].target == target) ++i;
    }
}

void TTBCustomItem::Notify(TTBItemChangeKind kind, int index, TTBCustomItem* item) {
    if ((itemStyle_ & isEmbeddedGroup) && parent_) parent_->notifyList(kind, index, item, true, this);
    if (linkParents_) {
        const std::vector<TTBCustomItem*> links = *linkParents_;
        for (TTBCustomItem* p : links)
            if (p != parent_ && (p->itemStyle_ & isEmbeddedGroup) && p->parent_)
                p->parent_->notifyList(kind, index, item, true, this);
    }
    notifyList(kind, index, item, false, this);
}

void TTBCustomItem::NotifyChanged(bool resized) {
    if (parent_) parent_->Notify(resized ? ickInvalidateAndResize : ickInvalidate, -1, this);
}

void TTBCustomItem::RecreateViewers() {
    if (parent_) parent_->Notify(ickRecreateViewer, -1, this);
}

void TTBCustomItem::EnabledChanged() { NotifyChanged(false); }

void TTBCustomItem::SetName(std::string name) {
    if (name == Name()) return;
    Component::SetName(std::move(name));
    if (parent_) parent_->Notify(ickRenamed, -1, this);
}

// Properties ------------------------------------------------------------------

void TTBCustomItem::SetCaption(const std::string& v) {
    if (v == caption_) return;
    caption_ = v;
    NotifyChanged(true);
}

void TTBCustomItem::SetChecked(bool v) {
    if (v == checked_) return;
    checked_ = v;
    NotifyChanged(false);
    if (v) turnSiblingsOff();
}

void TTBCustomItem::turnSiblingsOff() {
    if (groupIndex_ == 0 || !parent_) return;
    const std::vector<TTBCustomItem*> siblings = parent_->items_;
    for (TTBCustomItem* s : siblings)
        if (s != this && s->groupIndex_ == groupIndex_) s->SetChecked(false);
}

void TTBCustomItem::SetDisplayMode(TTBItemDisplayMode v) {
    if (v == displayMode_) return;
    displayMode_ = v;
    NotifyChanged(true);
}

void TTBCustomItem::SetEnabled(bool v) {
    if (v == enabled_) return;
    enabled_ = v;
    EnabledChanged();
}

void TTBCustomItem::SetGroupIndex(int v) {
    if (v == groupIndex_) return;
    groupIndex_ = v;
    if (checked_) turnSiblingsOff();
}

void TTBCustomItem::SetImageIndex(int v) {
    if (v == imageIndex_) return;
    const bool resized = (imageIndex_ < 0) != (v < 0);
    imageIndex_ = v;
    NotifyChanged(resized);
}

void TTBCustomItem::SetImages(forms::CustomImageList* v) {
    if (v == images_) return;
    images_ = v;
    imagesLink_.SetSender(v);
    bool resized = true;
    if (v) {
        resized = imagesLink_.lastWidth != v->Width() || imagesLink_.lastHeight != v->Height();
        imagesLink_.lastWidth = v->Width();
        imagesLink_.lastHeight = v->Height();
    } else {
        imagesLink_.lastWidth = imagesLink_.lastHeight = 0;
    }
    NotifyChanged(resized);
}

void TTBCustomItem::SetSubMenuImages(forms::CustomImageList* v) {
    if (v == subMenuImages_) return;
    subMenuImages_ = v;
    subMenuImagesLink_.SetSender(v);
    subMenuImagesLink_.lastWidth = v ? v->Width() : 0;
    subMenuImagesLink_.lastHeight = v ? v->Height() : 0;
    Notify(ickSubmenuImagesChanged, -1, nullptr);
}

void TTBCustomItem::imagesChanged(TTBImageChangeLink& link, forms::CustomImageList* list, bool subMenu) {
    if (!list) return;
    const bool differs = link.lastWidth != list->Width() || link.lastHeight != list->Height();
    link.lastWidth = list->Width();
    link.lastHeight = list->Height();
    if (subMenu)
        Notify(ickSubmenuImagesChanged, -1, nullptr);
    else
        NotifyChanged(differs);
}

void TTBCustomItem::SetMaskOptions(TTBItemOptions v) {
    if (v == maskOptions_) return;
    maskOptions_ = v;
    refreshOptions();
}

void TTBCustomItem::SetOptions(TTBItemOptions v) {
    v = NormalizeOptions(v);
    if (v == options_) return;
    options_ = v;
    refreshOptions();
}

void TTBCustomItem::SetInheritOptions(bool v) {
    if (v == inheritOptions_) return;
    inheritOptions_ = v;
    refreshOptions();
}

void TTBCustomItem::refreshOptions() {
    TTBItemOptions o = (inheritOptions_ && parent_) ? TTBItemOptions(parent_->effectiveOptions_ & ~tboDefault) : 0;
    o = NormalizeOptions(TTBItemOptions((o & ~maskOptions_) | options_));
    const TTBItemOptions changed = o ^ effectiveOptions_;
    if (!changed) return;
    effectiveOptions_ = o;
    if (changed & ~(tboLongHintInMenuOnly | tboShowHint)) NotifyChanged(true);
    const std::vector<TTBCustomItem*> children = items_;
    for (TTBCustomItem* c : children)
        if (c->inheritOptions_) c->refreshOptions();
}

void TTBCustomItem::SetShortCut(forms::ShortCut v) {
    if (v == shortCut_) return;
    shortCut_ = v;
    NotifyChanged(true);  // the shortcut's text takes room in menus
}

void TTBCustomItem::SetLinkSubitems(TTBCustomItem* v) {
    if (v == this) v = nullptr;
    if (v == linkSubitems_) return;
    if (linkSubitems_) ListRemoveAndFree(linkSubitems_->linkParents_, this);
    linkSubitems_ = v;
    if (v) ListAddOnce(v->linkParents_, this);
    Notify(ickSubitemsChanged, -1, nullptr);
}

void TTBCustomItem::SetVisible(bool v) {
    if (v == visible_) return;
    visible_ = v;
    NotifyChanged(true);
}

void TTBCustomItem::SetRkFixedCaptionLen(int v) {
    if (v == fixedCaptionLen_) return;
    fixedCaptionLen_ = v;
    NotifyChanged(true);
}

void TTBCustomItem::SetItemStyle(TTBItemStyles v) {
    if (v == itemStyle_) return;
    itemStyle_ = v;
    NotifyChanged(true);
}

std::string TTBCustomItem::GetShortCutText() const {
    const size_t tab = caption_.find('\t');
    if (tab != std::string::npos) return caption_.substr(tab + 1);
    return forms::ShortCutToText(shortCut_);
}

std::string TTBCustomItem::GetHintText() const {
    std::string hint = forms::GetShortHint(hint_);
    forms::Action* a = GetAction();
    if (a && actionLink_->IsHintLinked() && forms::HintShortCuts() && a->GetShortCut() != 0)
        hint = forms::Format("%s (%s)", hint.c_str(), forms::ShortCutToText(a->GetShortCut()).c_str());
    return hint;
}

// Actions ---------------------------------------------------------------------

forms::Action* TTBCustomItem::GetAction() const { return actionLink_ ? actionLink_->GetAction() : nullptr; }

void TTBCustomItem::SetAction(forms::Action* a) {
    if (!a) {
        actionLink_.reset();
        return;
    }
    if (GetAction() == a) return;
    if (!actionLink_) actionLink_ = std::make_unique<TTBCustomItemActionLink>(this);
    actionLink_->SetAction(a);
    applyAction(a);
}

void TTBCustomItem::applyAction(forms::Action* a) {
    SetAutoCheck(a->AutoCheck());
    SetCaption(a->Caption());
    SetChecked(a->Checked());
    SetEnabled(a->Enabled());
    SetHelpContext(a->HelpContext());
    SetHint(a->Hint());
    SetImageIndex(a->ImageIndex());
    SetShortCut(a->GetShortCut());
    SetVisible(a->Visible());
    // The action's OnExecute serves clicks from now on.
    OnClick = nullptr;
}

void TTBCustomItem::UpdateAction() {
    if (actionLink_) actionLink_->Update();
}

void TTBCustomItem::PerformClick() {
    if (autoCheck_ && !(actionLink_ && actionLink_->IsAutoCheckLinked())) SetChecked(!checked_);
    if (OnClick) {
        const TBNotifyEvent handler = OnClick;  // the handler may replace itself
        handler(this);
    } else if (actionLink_) {
        actionLink_->Execute(this);
    }
}

bool TTBCustomItemActionLink::IsCaptionLinked() const {
    return ActionLink::IsCaptionLinked() && client_->caption_ == GetAction()->Caption();
}
bool TTBCustomItemActionLink::IsCheckedLinked() const {
    return ActionLink::IsCheckedLinked() && client_->checked_ == GetAction()->Checked();
}
bool TTBCustomItemActionLink::IsEnabledLinked() const {
    return ActionLink::IsEnabledLinked() && client_->enabled_ == GetAction()->Enabled();
}
bool TTBCustomItemActionLink::IsHelpContextLinked() const {
    return ActionLink::IsHelpContextLinked() && client_->helpContext_ == GetAction()->HelpContext();
}
bool TTBCustomItemActionLink::IsHintLinked() const {
    return ActionLink::IsHintLinked() && client_->hint_ == GetAction()->Hint();
}
bool TTBCustomItemActionLink::IsImageIndexLinked() const {
    return ActionLink::IsImageIndexLinked() && client_->imageIndex_ == GetAction()->ImageIndex();
}
bool TTBCustomItemActionLink::IsShortCutLinked() const {
    return ActionLink::IsShortCutLinked() && client_->shortCut_ == GetAction()->GetShortCut();
}
bool TTBCustomItemActionLink::IsVisibleLinked() const {
    return ActionLink::IsVisibleLinked() && client_->visible_ == GetAction()->Visible();
}
bool TTBCustomItemActionLink::IsAutoCheckLinked() const {
    return ActionLink::IsAutoCheckLinked() && client_->autoCheck_ == GetAction()->AutoCheck();
}
bool TTBCustomItemActionLink::IsOnExecuteLinked() const {
    return ActionLink::IsOnExecuteLinked() && !client_->OnClick;
}

void TTBCustomItemActionLink::SetCaption(const std::string& v) {
    if (IsCaptionLinked()) client_->SetCaption(v);
}
void TTBCustomItemActionLink::SetChecked(bool v) {
    if (IsCheckedLinked()) client_->SetChecked(v);
}
void TTBCustomItemActionLink::SetEnabled(bool v) {
    if (IsEnabledLinked()) client_->SetEnabled(v);
}
void TTBCustomItemActionLink::SetHelpContext(int v) {
    if (IsHelpContextLinked()) client_->SetHelpContext(v);
}
void TTBCustomItemActionLink::SetHint(const std::string& v) {
    if (IsHintLinked()) client_->SetHint(v);
}
void TTBCustomItemActionLink::SetImageIndex(int v) {
    if (IsImageIndexLinked()) client_->SetImageIndex(v);
}
void TTBCustomItemActionLink::SetShortCut(forms::ShortCut v) {
    if (IsShortCutLinked()) client_->SetShortCut(v);
}
void TTBCustomItemActionLink::SetVisible(bool v) {
    if (IsVisibleLinked()) client_->SetVisible(v);
}
void TTBCustomItemActionLink::SetAutoCheck(bool v) {
    if (IsAutoCheckLinked()) client_->SetAutoCheck(v);
}

void TTBCustomItemActionLink::ActionGone() {
    TTBCustomItem* client = client_;
    client->SetAction(nullptr);  // frees this link; nothing of it is used after
}

// Popups, clicks and shortcuts ---------------------------------------------------

std::unique_ptr<TTBPopupHandle> TTBCustomItem::OpenPopup(TTBView* parentView, TTBItemViewer* parentViewer,
                                                         bool selectFirst) {
    return PlatformOpenPopup(this, parentView, parentViewer, selectFirst);
}

void TTBCustomItem::DoPopup(TTBCustomItem* sender, bool fromLink) {
    if (OnPopup) {
        const TTBPopupEvent handler = OnPopup;
        handler(sender, fromLink);
    }
    if (!(itemStyle_ & isSplitButton)) PerformClick();
}

namespace {
TTBCustomItem* findShortCut(TTBCustomItem* item, forms::ShortCut sc, int linkDepth, TTBCustomItem** topmost) {
    TTBCustomItem* parent = item;
    if (parent->LinkSubitems()) {
        parent = parent->LinkSubitems();
        if (++linkDepth > kMaxLinkDepth) return nullptr;
    }
    for (int i = 0; i < parent->Count(); ++i) {
        TTBCustomItem* child = parent->Items(i);
        TTBCustomItem* found = child->GetShortCut() == sc ? child : findShortCut(child, sc, linkDepth, nullptr);
        if (found) {
            if (topmost) *topmost = child;
            return found;
        }
    }
    return nullptr;
}
}  // namespace

TTBCustomItem* TTBCustomItem::FindItemWithShortCut(forms::ShortCut sc, TTBCustomItem*& topmost) {
    topmost = nullptr;
    if (sc == 0) return nullptr;
    return findShortCut(this, sc, 0, &topmost);
}

bool TTBCustomItem::IsShortCut(forms::ShortCut sc) {
    bool clicked = false;
    try {
        TTBCustomItem* top = nullptr;
        if (!FindItemWithShortCut(sc, top)) return false;
        TTBCustomItem* level = this;
        TTBCustomItem* found = nullptr;
        for (int steps = 0;; ++steps) {
            if (!level->Enabled() || steps > kMaxShortCutLevels) return false;
            if (!(itemStyle_ & isClicksTransparent)) {
                TTBCustomItem* subs = level->EffectiveSubitems();
                const std::vector<TTBCustomItem*> children = subs->items_;
                for (TTBCustomItem* c : children)
                    if (subs->IndexOf(c) >= 0) c->UpdateAction();
            }
            // Handlers of the levels below the root fill their submenus.
            if (level != this && !(level->itemStyle_ & isEmbeddedGroup)) {
                if (TTBCustomItem* link = level->linkSubitems_) link->DoPopup(level, true);
                level->DoPopup(level, false);
            }
            found = level->FindItemWithShortCut(sc, top);
            if (!found) return false;
            if (top == found) break;
            level = top;
        }
        if (!found->Enabled()) return false;
        clicked = true;
        found->PerformClick();
        return true;
    } catch (...) {
        forms::HandleAppException(std::current_exception());
        return clicked;
    }
}

void TTBCustomItem::PostClick(bool sound) {
    TBDeferredAction a;
    a.kind = TBDeferredKind::Click;
    a.item = this;
    a.playSound = sound;
    PostDeferredAction(a);
}

// Separators and control items ------------------------------------------------------

TTBSeparatorItem::TTBSeparatorItem(forms::Component* owner) : TTBCustomItem(owner) {
    SetItemStyle(TTBItemStyles((ItemStyle() & ~(isSelectable | isRedrawOnSelection | isRedrawOnHover)) | isSeparator |
                               isClicksTransparent));
}

void TTBSeparatorItem::SetBlank(bool v) {
    if (v == blank_) return;
    blank_ = v;
    NotifyChanged(false);
}

TTBControlItem::TTBControlItem(forms::Component* owner, forms::Component* control) : TTBCustomItem(owner) {
    SetItemStyle(TTBItemStyles((ItemStyle() & ~isSelectable) | isClicksTransparent));
    SetControl(control);
}

TTBControlItem::~TTBControlItem() {
    forms::Component* c = control_;
    if (c) RemoveFreeNotification(c);
    control_ = nullptr;
    if (c && !keepControl_) delete c;
}

void TTBControlItem::SetControl(forms::Component* c) {
    if (c == control_) return;
    if (control_) RemoveFreeNotification(control_);
    control_ = c;
    if (c) FreeNotification(c);
    NotifyChanged(true);
}

void TTBControlItem::Notification(forms::Component* component, Operation op) {
    TTBCustomItem::Notification(component, op);
    if (op == Operation::Remove && component == control_) SetControl(nullptr);
}

// Deferred actions -------------------------------------------------------------------

TBDeferredPlatform* SetDeferredPlatform(TBDeferredPlatform* platform) {
    TBDeferredPlatform* old = thread().platform;
    thread().platform = platform;
    return old;
}

void PostDeferredAction(const TBDeferredAction& a) {
    if (a.kind == TBDeferredKind::Click && a.playSound && SoundConfigured("MenuCommand"))
        deferred().PlayMenuSound("MenuCommand");
    thread().pending.push_back(a);
    deferred().Post();
}

bool RunDeferredAction() {
    auto& pending = thread().pending;
    if (pending.empty()) return false;
    const TBDeferredAction a = pending.front();
    pending.pop_front();
    try {
        if (a.kind == TBDeferredKind::Click) {
            if (a.item) a.item->PerformClick();
        } else if (a.kind != TBDeferredKind::None) {
            deferred().Carry(a);
        }
    } catch (...) {
        forms::HandleAppException(std::current_exception());
    }
    return true;
}

int PendingDeferredActions() { return int(thread().pending.size()); }
int LiveItemCount() { return thread().liveItems; }

}  // namespace toolbars

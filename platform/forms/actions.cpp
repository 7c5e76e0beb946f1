#include "forms/actions.h"

#include <algorithm>

namespace forms {

Action::Action(Component* owner) : Component(owner) {}

Action::~Action() {
    // Clients drop their links while this action is still whole.
    while (!clients_.empty()) {
        ActionLink* link = clients_.back();
        clients_.pop_back();
        link->action_ = nullptr;
        link->ActionGone();
    }
}

template <class F>
void Action::eachClient(F f) {
    const std::vector<ActionLink*> copy = clients_;
    for (ActionLink* l : copy)
        if (std::find(clients_.begin(), clients_.end(), l) != clients_.end()) f(l);
}

void Action::changed() {
    if (OnChange) OnChange(this);
}

void Action::SetCaption(const std::string& v) {
    if (v == caption_) return;
    eachClient([&](ActionLink* l) { l->SetCaption(v); });
    caption_ = v;
    changed();
}

void Action::SetChecked(bool v) {
    if (v == checked_) return;
    eachClient([&](ActionLink* l) { l->SetChecked(v); });
    checked_ = v;
    changed();
}

void Action::SetEnabled(bool v) {
    if (v == enabled_) return;
    eachClient([&](ActionLink* l) { l->SetEnabled(v); });
    enabled_ = v;
    changed();
}

void Action::SetHelpContext(int v) {
    if (v == helpContext_) return;
    eachClient([&](ActionLink* l) { l->SetHelpContext(v); });
    helpContext_ = v;
    changed();
}

void Action::SetHint(const std::string& v) {
    if (v == hint_) return;
    eachClient([&](ActionLink* l) { l->SetHint(v); });
    hint_ = v;
    changed();
}

void Action::SetImageIndex(int v) {
    if (v == imageIndex_) return;
    eachClient([&](ActionLink* l) { l->SetImageIndex(v); });
    imageIndex_ = v;
    changed();
}

void Action::SetShortCut(forms::ShortCut v) {
    if (v == shortCut_) return;
    eachClient([&](ActionLink* l) { l->SetShortCut(v); });
    shortCut_ = v;
    changed();
}

void Action::SetVisible(bool v) {
    if (v == visible_) return;
    eachClient([&](ActionLink* l) { l->SetVisible(v); });
    visible_ = v;
    changed();
}

void Action::SetAutoCheck(bool v) {
    if (v == autoCheck_) return;
    eachClient([&](ActionLink* l) { l->SetAutoCheck(v); });
    autoCheck_ = v;
    changed();
}

bool Action::Update() {
    if (!OnUpdate) return false;
    OnUpdate(this);
    return true;
}

bool Action::Execute() {
    Update();
    if (!enabled_) return false;
    if (autoCheck_) SetChecked(!checked_);
    if (!OnExecute) return false;
    OnExecute(this);
    return true;
}

void Action::RegisterChanges(ActionLink* link) {
    if (link && std::find(clients_.begin(), clients_.end(), link) == clients_.end()) clients_.push_back(link);
}

void Action::UnRegisterChanges(ActionLink* link) {
    clients_.erase(std::remove(clients_.begin(), clients_.end(), link), clients_.end());
}

ActionLink::~ActionLink() { SetAction(nullptr); }

void ActionLink::SetAction(Action* a) {
    if (a == action_) return;
    if (action_) action_->UnRegisterChanges(this);
    action_ = a;
    if (action_) action_->RegisterChanges(this);
}

bool ActionLink::Execute(Component* client) {
    if (!action_) return false;
    action_->SetActionComponent(client);
    struct Clear {
        ActionLink* link;
        ~Clear() {
            if (link->action_) link->action_->SetActionComponent(nullptr);
        }
    } clear{this};
    return action_->Execute();
}

bool ActionLink::Update() { return action_ && action_->Update(); }

}  // namespace forms

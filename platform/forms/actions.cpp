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

// Links hear of a new value before it is stored.
template <class T, class Set>
void Action::change(T& field, const T& v, Set set) {
    if (v == field) return;
    eachClient([&](ActionLink* l) { (l->*set)(v); });
    field = v;
    changed();
}

void Action::SetCaption(const std::string& v) { change(caption_, v, &ActionLink::SetCaption); }
void Action::SetChecked(bool v) { change(checked_, v, &ActionLink::SetChecked); }
void Action::SetEnabled(bool v) { change(enabled_, v, &ActionLink::SetEnabled); }
void Action::SetHelpContext(int v) { change(helpContext_, v, &ActionLink::SetHelpContext); }
void Action::SetHint(const std::string& v) { change(hint_, v, &ActionLink::SetHint); }
void Action::SetImageIndex(int v) { change(imageIndex_, v, &ActionLink::SetImageIndex); }
void Action::SetShortCut(forms::ShortCut v) { change(shortCut_, v, &ActionLink::SetShortCut); }
void Action::SetVisible(bool v) { change(visible_, v, &ActionLink::SetVisible); }
void Action::SetAutoCheck(bool v) { change(autoCheck_, v, &ActionLink::SetAutoCheck); }

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

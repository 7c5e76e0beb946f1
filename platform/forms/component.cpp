#include "forms/component.h"

#include <algorithm>

#include "forms/exception.h"
#include "forms/textutil.h"

namespace forms {

Component::Component(Component* owner) { SetOwner(owner); }

Component::~Component() {
    destroying_ = true;
    // Those who asked are told first; each one's notice may unregister others.
    while (!notifies_.empty()) {
        Component* other = notifies_.back();
        notifies_.pop_back();
        auto& back = other->notifies_;
        back.erase(std::remove(back.begin(), back.end(), this), back.end());
        other->Notification(this, Operation::Remove);
    }
    DestroyComponents();
    SetOwner(nullptr);
}

void Component::DestroyComponents() {
    destroying_ = true;
    while (!components_.empty()) delete components_.back();
}

void Component::SetName(std::string name) {
    if (name == name_) return;
    if (owner_ && !name.empty())
        for (Component* c : owner_->components_)
            if (c != this && SameText(c->name_, name))
                throw Exception("A component named " + name + " already exists");
    name_ = std::move(name);
}

Component* Component::FindComponent(std::string_view name) const {
    if (name.empty()) return nullptr;
    for (Component* c : components_)
        if (SameText(c->name_, name)) return c;
    return nullptr;
}

void Component::SetOwner(Component* owner) {
    if (owner == owner_) return;
    if (owner_) {
        auto& list = owner_->components_;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
        owner_->Notification(this, Operation::Remove);
    }
    owner_ = owner;
    if (owner_) {
        if (!name_.empty() && owner_->FindComponent(name_)) name_.clear();
        owner_->components_.push_back(this);
        owner_->Notification(this, Operation::Insert);
    }
}

void Component::FreeNotification(Component* other) {
    if (!other || other == this) return;
    if (std::find(notifies_.begin(), notifies_.end(), other) == notifies_.end()) notifies_.push_back(other);
    if (std::find(other->notifies_.begin(), other->notifies_.end(), this) == other->notifies_.end())
        other->notifies_.push_back(this);
}

void Component::RemoveFreeNotification(Component* other) {
    if (!other) return;
    notifies_.erase(std::remove(notifies_.begin(), notifies_.end(), other), notifies_.end());
    other->notifies_.erase(std::remove(other->notifies_.begin(), other->notifies_.end(), this), other->notifies_.end());
}

}  // namespace forms

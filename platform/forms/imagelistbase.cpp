#include "forms/imagelistbase.h"

#include <algorithm>

namespace forms {

ChangeLink::~ChangeLink() { SetSender(nullptr); }

void ChangeLink::SetSender(CustomImageList* list) {
    if (list == sender_) return;
    if (sender_) sender_->UnRegisterChanges(this);
    if (list) list->RegisterChanges(this);
}

CustomImageList::~CustomImageList() {
    while (!links_.empty()) {
        ChangeLink* link = links_.back();
        links_.pop_back();
        link->sender_ = nullptr;
        if (link->OnGone) link->OnGone();
    }
}

void CustomImageList::RegisterChanges(ChangeLink* link) {
    if (!link) return;
    if (link->sender_ && link->sender_ != this) link->sender_->UnRegisterChanges(link);
    if (std::find(links_.begin(), links_.end(), link) == links_.end()) links_.push_back(link);
    link->sender_ = this;
}

void CustomImageList::UnRegisterChanges(ChangeLink* link) {
    links_.erase(std::remove(links_.begin(), links_.end(), link), links_.end());
    if (link && link->sender_ == this) link->sender_ = nullptr;
}

int CustomImageList::Subscribe(std::function<void()> listener) {
    listeners_.emplace(nextId_, std::move(listener));
    return nextId_++;
}

void CustomImageList::Unsubscribe(int id) { listeners_.erase(id); }

void CustomImageList::Changed() {
    const std::vector<ChangeLink*> links = links_;
    for (ChangeLink* l : links)
        if (std::find(links_.begin(), links_.end(), l) != links_.end()) l->Change();
    auto copy = listeners_;
    for (auto& l : copy) l.second();
}

}  // namespace forms

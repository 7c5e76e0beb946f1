#pragma once
// What every image list has, portable: the size of its images, its count,
// and change links that are told after each change and when the list goes.
#include <functional>
#include <map>
#include <vector>

#include "forms/component.h"

namespace forms {

class CustomImageList;

// A registration with one image list. OnChange follows each change of the
// list; when the list is freed the link is detached first, then OnGone
// runs (the list must not be used from it).
class ChangeLink {
public:
    ChangeLink() = default;
    virtual ~ChangeLink();
    ChangeLink(const ChangeLink&) = delete;
    ChangeLink& operator=(const ChangeLink&) = delete;

    CustomImageList* Sender() const { return sender_; }
    // Registers with the list (null: with none).
    void SetSender(CustomImageList* list);
    virtual void Change() {
        if (OnChange) OnChange();
    }
    std::function<void()> OnChange;
    std::function<void()> OnGone;

private:
    friend class CustomImageList;
    CustomImageList* sender_ = nullptr;
};

class CustomImageList : public Component {
public:
    CustomImageList(Component* owner, int width, int height) : Component(owner), w_(width), h_(height) {}
    ~CustomImageList() override;
    int Width() const { return w_; }
    int Height() const { return h_; }
    virtual int Count() const = 0;

    void RegisterChanges(ChangeLink* link);
    void UnRegisterChanges(ChangeLink* link);
    // Listeners told after every change; Subscribe gives the id to remove.
    int Subscribe(std::function<void()> listener);
    void Unsubscribe(int id);

protected:
    // Tells the links and listeners.
    void Changed();
    int w_, h_;

private:
    std::vector<ChangeLink*> links_;
    std::map<int, std::function<void()>> listeners_;
    int nextId_ = 1;
};

}  // namespace forms

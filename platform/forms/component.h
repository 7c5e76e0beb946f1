#pragma once
// Components: named, tagged objects owned by another component. An owner
// frees the components it owns (last first) when it is freed, finds them by
// name, and tells components that asked for it when one of them goes.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace forms {

class Component {
public:
    explicit Component(Component* owner = nullptr);
    virtual ~Component();
    Component(const Component&) = delete;
    Component& operator=(const Component&) = delete;

    const std::string& Name() const { return name_; }
    // Raises forms::Exception when another component of the owner has the
    // name (letter case ignored).
    void SetName(std::string name);
    intptr_t Tag() const { return tag_; }
    void SetTag(intptr_t tag) { tag_ = tag; }

    Component* Owner() const { return owner_; }
    int ComponentCount() const { return int(components_.size()); }
    Component* Components(int i) const { return components_.at(size_t(i)); }
    // The owned component of that name (letter case ignored), or null.
    Component* FindComponent(std::string_view name) const;
    template <class T>
    T* Find(std::string_view name) const {
        return dynamic_cast<T*>(FindComponent(name));
    }
    // Moves the component to another owner (null: none).
    void SetOwner(Component* owner);

    // other is told (Notification with Operation::Remove) when this goes.
    void FreeNotification(Component* other);
    void RemoveFreeNotification(Component* other);
    bool Destroying() const { return destroying_; }

    enum class Operation { Insert, Remove };

protected:
    // Told when a component is added to or removed from this one, and when a
    // component this one asked about is freed.
    virtual void Notification(Component* component, Operation op) {}
    // Frees the owned components now (last first). Destructors of classes
    // whose components refer back to them call it first.
    void DestroyComponents();

private:
    std::string name_;
    intptr_t tag_ = 0;
    Component* owner_ = nullptr;
    std::vector<Component*> components_;
    std::vector<Component*> notifies_;
    bool destroying_ = false;
};

}  // namespace forms

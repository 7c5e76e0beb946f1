#pragma once
// Actions: a component that carries what a command shows (caption, check
// state, enabled state, hint, image, shortcut, visibility) and what it does
// (OnExecute), shared by the menu items and buttons linked to it. Each
// client holds an ActionLink; a property of the client follows the action
// while the client's value still equals the action's.
#include <functional>
#include <string>
#include <vector>

#include "forms/component.h"
#include "forms/shortcut.h"

namespace forms {

class ActionLink;

class Action : public Component {
public:
    explicit Action(Component* owner);
    ~Action() override;

    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& v);
    bool Checked() const { return checked_; }
    void SetChecked(bool v);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool v);
    int HelpContext() const { return helpContext_; }
    void SetHelpContext(int v);
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& v);
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int v);
    forms::ShortCut GetShortCut() const { return shortCut_; }
    void SetShortCut(forms::ShortCut v);
    bool Visible() const { return visible_; }
    void SetVisible(bool v);
    // Execute toggles Checked first.
    bool AutoCheck() const { return autoCheck_; }
    void SetAutoCheck(bool v);

    // The component whose link executes the action (while it runs).
    Component* ActionComponent() const { return actionComponent_; }
    void SetActionComponent(Component* c) { actionComponent_ = c; }

    // Update first; a disabled action does nothing. Then AutoCheck toggles
    // Checked and OnExecute runs; true when OnExecute is assigned.
    virtual bool Execute();
    // Runs OnUpdate; true when it is assigned.
    virtual bool Update();

    std::function<void(Component* sender)> OnExecute;
    std::function<void(Component* sender)> OnUpdate;
    // Told after any property changed.
    std::function<void(Component* sender)> OnChange;

    int ClientCount() const { return int(clients_.size()); }
    void RegisterChanges(ActionLink* link);
    void UnRegisterChanges(ActionLink* link);

private:
    void changed();
    template <class F>
    void eachClient(F f);
    template <class T, class Set>
    void change(T& field, const T& v, Set set);

    std::string caption_, hint_;
    bool checked_ = false, enabled_ = true, visible_ = true, autoCheck_ = false;
    int helpContext_ = 0, imageIndex_ = -1;
    forms::ShortCut shortCut_ = 0;
    Component* actionComponent_ = nullptr;
    std::vector<ActionLink*> clients_;
};

// A client's link to an action. The action calls the Set... members before
// it stores a new value, so the Is...Linked tests of a client compare its
// value with the action's old one; a client's link class overrides both.
class ActionLink {
public:
    ActionLink() = default;
    virtual ~ActionLink();
    ActionLink(const ActionLink&) = delete;
    ActionLink& operator=(const ActionLink&) = delete;

    Action* GetAction() const { return action_; }
    void SetAction(Action* a);
    // Executes the action with the client as its component.
    virtual bool Execute(Component* client);
    virtual bool Update();

    virtual bool IsCaptionLinked() const { return action_ != nullptr; }
    virtual bool IsCheckedLinked() const { return action_ != nullptr; }
    virtual bool IsEnabledLinked() const { return action_ != nullptr; }
    virtual bool IsHelpContextLinked() const { return action_ != nullptr; }
    virtual bool IsHintLinked() const { return action_ != nullptr; }
    virtual bool IsImageIndexLinked() const { return action_ != nullptr; }
    virtual bool IsShortCutLinked() const { return action_ != nullptr; }
    virtual bool IsVisibleLinked() const { return action_ != nullptr; }
    virtual bool IsAutoCheckLinked() const { return action_ != nullptr; }
    virtual bool IsOnExecuteLinked() const { return action_ != nullptr; }

    virtual void SetCaption(const std::string&) {}
    virtual void SetChecked(bool) {}
    virtual void SetEnabled(bool) {}
    virtual void SetHelpContext(int) {}
    virtual void SetHint(const std::string&) {}
    virtual void SetImageIndex(int) {}
    virtual void SetShortCut(forms::ShortCut) {}
    virtual void SetVisible(bool) {}
    virtual void SetAutoCheck(bool) {}

protected:
    // The action is being freed: the link is already detached from it.
    virtual void ActionGone() {}

private:
    friend class Action;
    Action* action_ = nullptr;
};

}  // namespace forms

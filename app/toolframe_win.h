#pragma once
// The docks, toolbars, tool windows and toolbar items of the main form, all
// made in this one place. Until the docking toolbar framework is there they
// are plain controls of the form layer: a dock is a panel along an edge of
// the form, a toolbar or tool window a panel in it with a title strip and a
// close box, an item a flat button. The form gives its handlers through the
// components' events (OnClick, OnSelect, OnVisibleChanged) and finds them by
// name, so the framework's classes can take their place behind the same
// names without the handlers changing.
#include <functional>
#include <string>
#include <vector>

#include "forms/stdctrls.h"

namespace stellwerk {

enum class DockSide { Top, Bottom, Left, Right };

// Paints an item's picture into its rectangle (the item's colours set).
using GlyphPainter = std::function<void(forms::Canvas& canvas, const forms::Rect& r, bool enabled)>;

// A toolbar item: clicked, checked (AutoCheck toggles it on a click, a
// GroupIndex other than 0 makes it one of an exclusive group), and selected
// while the mouse is over it.
class ToolItem : public forms::GraphicControl {
public:
    explicit ToolItem(forms::Component* owner);
    bool Checked() const { return checked_; }
    // Checking a grouped item unchecks the others of its group.
    void SetChecked(bool on);
    bool AutoCheck = false;
    int GroupIndex = 0;
    bool Selected() const { return hot_; }
    GlyphPainter Glyph;
    // The selection (hot state) changed.
    std::function<void(forms::Component* sender, bool selected)> OnSelect;
    void Click() override;
    bool HandleMessage(win::Message& m) override;

protected:
    void Paint(forms::Canvas& canvas) override;

private:
    void setHot(bool on);
    bool checked_ = false, hot_ = false, pressed_ = false;
};

enum class ToolKind { Toolbar, ToolWindow };

// A toolbar or tool window: a title strip (tool windows) or grip (toolbars)
// and a close box; its content lies in the client area below the strip.
class ToolWindow : public forms::Panel {
public:
    ToolWindow(forms::Component* owner, ToolKind kind);
    ToolKind Kind() const { return kind_; }
    // The title shows the caption without its access-key marks.
    void SetCaption(const std::string& text) override;
    // Shows or hides the window as the user would; OnVisibleChanged follows.
    void SetShown(bool on);
    forms::NotifyEvent OnVisibleChanged;

    int ClientAreaWidth() const;
    int ClientAreaHeight() const;
    void SetClientAreaSize(int width, int height);
    bool Resizable = true;
    bool LoadSaveWidthHeight = false;
    int MinClientWidth = 32, MinClientHeight = 32;
    // Hidden while the program is inactive when it floats (kept for the
    // framework: these windows do not float).
    bool HideWhenInactive = false;

    // Toolbars: items in a row, left to right, a gap where a separator goes.
    ToolItem* AddItem(const char* name, const std::string& caption = "");
    void AddSeparator();
    // The strip's height (tool windows) or the grip's width (toolbars).
    static constexpr int kStrip = 16, kGrip = 8;

    bool HandleMessage(win::Message& m) override;

protected:
    void Paint(forms::Canvas& canvas) override;
    forms::Rect AlignArea() const override;

private:
    forms::Rect closeBox() const;
    ToolKind kind_;
    int nextItemLeft_ = kGrip + 2;
};

// The four docks of a form and the windows in them.
class ToolFrame {
public:
    explicit ToolFrame(forms::Form& form);
    forms::Panel* Dock(DockSide side) const { return docks_[int(side)]; }
    // A toolbar in the top or bottom dock, or a tool window in a side dock
    // (fill: it takes the room the others of its dock leave).
    ToolWindow* MakeToolbar(DockSide side, const char* name);
    ToolWindow* MakeToolWindow(DockSide side, const char* name, int clientWidth, int clientHeight, bool fill);
    const std::vector<ToolWindow*>& Windows() const { return windows_; }
    // Docks take the size of what they hold, and vanish when it is hidden.
    void Arrange();

    // The visibility of every window under "Rev", "Visible" and "DockedTo" in
    // the section prefix + the window's name of the INI file.
    void LoadPositions(const std::string& iniPath, const std::string& prefix);
    void SavePositions(const std::string& iniPath, const std::string& prefix) const;

private:
    ToolWindow* add(DockSide side, const char* name, ToolKind kind);
    forms::Form& form_;
    forms::Panel* docks_[4] = {};
    std::vector<ToolWindow*> windows_;
};

}  // namespace stellwerk

#pragma once
// Toolbars and tool windows: dockable windows that show an item tree in a
// toolbar view (a line of items docked, wrapped rows floating; a chevron
// button that opens the items that do not fit; the form's menu bar with
// Alt, F10 and Alt+letter; item shortcuts for the form), and dockable
// windows that host child controls in a client area of their own size.
// Their places are saved to and restored from a store (an INI file).
#include <windows.h>

#include <memory>
#include <string>

#include "tbdock_win.h"
#include "tbtoolwin.h"
#include "tbviewwin.h"

namespace toolbars {

class TTBCustomToolbar;

// The chevron's width (or height in a vertical toolbar).
constexpr int kChevronSize = 12;

// The item behind the chevron: a submenu of the toolbar's items whose popup
// shows the ones the toolbar's view hides.
class TTBChevronItem : public TTBCustomItem {
public:
    explicit TTBChevronItem(TTBCustomToolbar* toolbar);
    TTBView* ChevronParentView() override;
    std::unique_ptr<TTBItemViewer> CreateViewer(TTBView* view) override;

private:
    TTBCustomToolbar* toolbar_;
};

// Paints the double chevron glyph.
class TTBChevronItemViewer : public TTBItemViewer {
public:
    using TTBItemViewer::TTBItemViewer;
    void CalcSize(TBMetrics& m, int& width, int& height) override;
    void Paint(TBCanvas& canvas, const Rect& client, bool selected, bool pushed, bool mouseOver) override;
};

class TTBCustomToolbar : public TTBCustomDockableWindow {
public:
    explicit TTBCustomToolbar(forms::Component* owner);
    ~TTBCustomToolbar() override;

    TTBRootItem* Items() const { return root_.get(); }
    TTBView* View() const { return view_.get(); }
    TTBChevronItem* ChevronItem() const { return chevron_.get(); }
    bool MenuBar() const { return menuBar_; }
    // Full size, wrapping, no close button and shortcuts processed when on.
    void SetMenuBar(bool on);
    bool ProcessShortCuts() const { return processShortCuts_; }
    void SetProcessShortCuts(bool on);
    TBShrinkMode ShrinkModeValue() const { return shrinkMode_; }
    void SetShrinkMode(TBShrinkMode m);
    // The width limit of the floating layout (0: unlimited).
    int FloatingWidth() const { return floatingWidth_; }
    void SetFloatingWidth(int w);
    // Lays the items out again and has its dock (or frame) size it anew.
    void ArrangeItems();
    // Its dock placed it: the items follow.
    void Arrange() override { layOutView(); }

    // A key of the form: the item tree's shortcut search.
    std::function<bool(TTBCustomToolbar* sender, forms::ShortCut sc)> OnShortCut;
    // Selects by accelerator (0: the first item) and tracks in keyboard
    // mode: false when no item has it.
    bool KeyboardOpen(char key);

    TBShrinkMode ShrinkMode() const override { return shrinkMode_; }
    int FullLength(bool vertical) override;
    int MinimumLength(bool vertical) override;
    bool TakesSystemCommands() const override { return menuBar_ || processShortCuts_; }
    void SavedInfo(TBSavedWindowInfo& info) override;
    void LoadPositionExtras(const TBSavedPosition& p) override;
    void SavePositionExtras(TBSavedPosition& p) override;
    bool HandleMessage(win::Message& m) override;

protected:
    TBPoint CalcClientSize(TTBDock* dock, bool vertical) override;
    void FloatingResized(int clientWidth, int clientHeight) override;
    void Resized() override;

private:
    class ToolbarView;
    struct Host : TBControlViewHost {
        explicit Host(TTBCustomToolbar* t) : TBControlViewHost(t, t->metrics_), t(t) {}
        TTBCustomToolbar* t;
        void SetClientSize(int width, int height) override;
    };
    // Orientation, wrap and chevron offsets for a dock (or floating).
    void offsetsFor(TTBDock* dock, bool vertical, int& orientation, int& wrap, int& chevron);
    int frameAlong(TTBDock* dock, bool vertical) const;
    // The view's size for a layout, leaving the shown layout as it is.
    TBPoint measure(int orientation, int wrap, int chevron);
    void restoreLayout();
    void layOutView();
    bool onPaint();
    bool onMouse(win::Message& m);
    void hotItemHint();
    bool onSysCommand(win::Message& m);
    void updateHooks();

    GdiMetrics metrics_;
    Host host_{this};
    std::unique_ptr<TTBRootItem> root_;
    std::unique_ptr<TTBChevronItem> chevron_;
    std::unique_ptr<TTBView> view_;
    bool menuBar_ = false;
    bool processShortCuts_ = false;
    bool hooked_ = false;
    TBShrinkMode shrinkMode_ = TBShrinkMode::Chevron;
    int floatingWidth_ = 0;
    int layingOut_ = 0;
    bool tracking_ = false;
};

class TTBToolbar : public TTBCustomToolbar {
public:
    using TTBCustomToolbar::TTBCustomToolbar;
};

class TTBToolWindow : public TTBCustomDockableWindow {
public:
    explicit TTBToolWindow(forms::Component* owner);

    int ClientAreaWidth() const { return size_.Remembered.x; }
    int ClientAreaHeight() const { return size_.Remembered.y; }
    void SetClientAreaSize(int width, int height);
    TBToolWindowSize& Sizes() { return size_; }
    // Setters of the limits (maximum 0: none).
    void SetMinClientSize(int width, int height) { size_.MinClient = {width, height}; }
    void SetMaxClientSize(int width, int height) { size_.MaxClient = {width, height}; }
    // The saved layout carries "ClientWidth" and "ClientHeight".
    bool LoadSaveWidthHeight = false;

    void GetSizeLimits(TBPoint& minimum, TBPoint& maximum) override {
        minimum = size_.MinClient;
        maximum = size_.MaxClient;
    }
    void SavedInfo(TBSavedWindowInfo& info) override;
    void LoadPositionExtras(const TBSavedPosition& p) override;
    void SavePositionExtras(TBSavedPosition& p) override;

protected:
    TBPoint CalcClientSize(TTBDock* dock, bool vertical) override;
    void FloatingResized(int clientWidth, int clientHeight) override;

private:
    TBToolWindowSize size_;
};

// Saved positions of every dockable window among a form's components, in
// component order, one record each (see tbsavepos.h). Loading arranges
// each dock once, at the end; a window without name raises
// forms::Exception. A "DockedTo" that names no dock of the form puts the
// window into its DefaultDock (when it has one).
void TBLoadWindowPositions(forms::Component* form, const TBPositionStore& store);
void TBSaveWindowPositions(forms::Component* form, const TBPositionStore& store);
// The same over an INI file; saving answers false when the file could not
// be written (it is then as it was).
void TBLoadWindowPositionsIni(forms::Component* form, const std::string& fileName, const std::string& prefix);
bool TBSaveWindowPositionsIni(forms::Component* form, const std::string& fileName, const std::string& prefix);

}  // namespace toolbars

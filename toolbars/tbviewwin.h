#pragma once
// The views' Windows layer: measuring with a GDI font, a canvas over a
// device context, and a control that shows one view of a root item (a
// toolbar line or a menu bar): it paints the view, follows the mouse with
// its hot item (whose hint becomes the control's), starts the tracking loop
// on a click, and (as a menu bar)
// takes Alt+letter from the thread's queue through the get-message hook.
#include <windows.h>

#include <functional>
#include <memory>

#include "forms/controls.h"
#include "tbhooks.h"
#include "tbview.h"

namespace toolbars {

COLORREF TBSysColor(TBColor c);

class GdiMetrics : public TBMetrics {
public:
    explicit GdiMetrics(HFONT font = nullptr) { SetFont(font); }
    ~GdiMetrics() override;
    void SetFont(HFONT font);
    int TextWidth(const std::string& text, bool bold) override;
    int TextHeight(bool bold) override;
    int ExternalLeading(bool bold) override;
    int CheckMarkWidth() override;
    bool IsLeadByte(char c) override { return IsDBCSLeadByte(BYTE(c)) != 0; }
    HFONT Font(bool bold) const { return bold ? bold_ : font_; }

private:
    HDC dc(bool bold);
    HFONT font_ = nullptr;
    HFONT bold_ = nullptr;
    HDC dc_ = nullptr;
    HGDIOBJ old_ = nullptr;
    TEXTMETRICW tm_[2]{};
    bool haveTm_[2] = {};
};

// Draws on a device context whose logical origin the view moves.
class GdiCanvas : public TBCanvas {
public:
    // base: the logical point of the device context's (0, 0).
    GdiCanvas(HDC dc, POINT base, const GdiMetrics& fonts);
    ~GdiCanvas() override;
    void SetOrigin(int x, int y) override;
    void FillRect(const Rect& r, TBColor c) override;
    void FillDither(const Rect& r) override;
    void DrawEdge(const Rect& r, unsigned edge, unsigned flags) override;
    void DrawText(const std::string& text, const Rect& r, unsigned format, TBColor c) override;
    void DrawRotatedText(const std::string& text, const Rect& r, unsigned format, TBColor c) override;
    void DrawImage(forms::CustomImageList* list, int index, int x, int y, bool enabled, bool checked,
                   bool hot) override;
    void Polyline(const std::vector<TBPoint>& points, TBColor c) override;
    void FillPolygon(const std::vector<TBPoint>& points, TBColor c) override;
    void DrawMenuArrow(const Rect& r, TBColor c) override;
    uint32_t ColorRGB(TBColor c) override { return TBSysColor(c); }

private:
    HDC dc_;
    POINT base_;
    const GdiMetrics& fonts_;
    int saved_;
};

// A press at (x, y) on an item that takes clicks runs the view's tracking loop
// (tracking set meanwhile); false when the press is not the view's.
bool TBTrackClickedItem(TTBView& view, bool& tracking, int x, int y, bool doubleClick);
// A control's hint becomes its view's hot item's.
void TBShowHotItemHint(TTBView& view, forms::Control& control);

// What a view asks of the forms control that shows it: its window, size,
// colour, timers and child controls. The view control and the toolbar
// share it and change only what differs.
class TBControlViewHost : public TBViewWindow {
public:
    TBControlViewHost(forms::Control* control, TBMetrics& metrics) : w_(control), metrics_(metrics) {}
    TBMetrics& Metrics() override { return metrics_; }
    void InvalidateRect(const Rect& r) override;
    void Update() override;
    void SetClientSize(int width, int height) override;
    int ClientWidth() override;
    int ClientHeight() override;
    uint32_t BackgroundRGB() override;
    uint32_t SysColorRGB(TBColor color) override { return TBSysColor(color); }
    void StartTimer(int id, int ms) override;
    void StopTimer(int id) override;
    bool ControlInfo(forms::Component* control, int& width, int& height) override;
    void SetControlBounds(forms::Component* control, const Rect& r) override;
    void* NativeHandle() override { return w_->Handle(); }

protected:
    forms::Control* w_;
    TBMetrics& metrics_;
};

// A control showing one view of its own root item.
class TBViewControl : public forms::CustomControl {
public:
    // menuBar: a horizontal menu-style bar that takes Alt+letter.
    explicit TBViewControl(forms::Component* owner, bool menuBar = false);
    ~TBViewControl() override;

    TTBRootItem* Items() const { return root_.get(); }
    TTBView* View() const { return view_.get(); }
    bool MenuBar() const { return menuBar_; }
    // Lays the view out again and sizes the control to it.
    void Arrange();
    // Every rectangle the view asks to repaint (for tests).
    std::function<void(const Rect&)> OnInvalidate;

    bool HandleMessage(win::Message& m) override;
    // Live views of this thread.
    static int LiveCount();

protected:
    void FontChanged() override;

private:
    // What the view asks of this control's window.
    struct Host : TBControlViewHost {
        explicit Host(TBViewControl* c) : TBControlViewHost(c, c->metrics_), c(c) {}
        TBViewControl* c;
        void InvalidateRect(const Rect& r) override;
    };

    bool onPaint(win::Message& m);
    bool onMouse(win::Message& m);
    bool onAccel(win::Message& m);
    void hotItemHint();
    static void activateHook(TBHookProcCode code, void* window, uintptr_t wp, intptr_t lp);
    static void sysCharHook(TBHookProcCode code, void* window, uintptr_t wp, intptr_t lp);

    bool menuBar_;
    GdiMetrics metrics_;
    Host host_{this};
    std::unique_ptr<TTBRootItem> root_;
    std::unique_ptr<TTBView> view_;
    bool tracking_ = false;
};

// Private message of a menu bar: Alt+character (wParam) from the queue.
constexpr UINT kTBMsgAccelEntry = WM_APP + 0x3A1;

}  // namespace toolbars

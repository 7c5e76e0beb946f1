#pragma once
// Item viewers: one per item shown in a view. A viewer measures its item,
// paints it in the state the view gives it, and handles mouse input on it.
#include <string>

#include "tbitem.h"
#include "tbpaint.h"

namespace toolbars {

class TTBView;

// What a tracking loop ends with (written by viewers and the view's keys).
struct TTBTrackResult {
    bool done = false;
    bool ignoreNext = false;
    // The deferred action chosen: a click (item, sound) or a system-menu key.
    TBDeferredAction action;
};

// Shift flags of mouse and key events (as the form layer's).
using TBShiftState = unsigned;
constexpr TBShiftState tbssShift = 1, tbssAlt = 2, tbssCtrl = 4, tbssLeft = 8, tbssRight = 16, tbssMiddle = 32,
                       tbssDouble = 64;

class TTBItemViewer {
public:
    TTBItemViewer(TTBView* view, TTBCustomItem* item);
    virtual ~TTBItemViewer() = default;
    TTBItemViewer(const TTBItemViewer&) = delete;
    TTBItemViewer& operator=(const TTBItemViewer&) = delete;

    TTBCustomItem* Item() const { return item_; }
    TTBView* View() const { return view_; }

    Rect BoundsRect;         // in the view's client coordinates
    bool LineBreak = false;  // starts a new line
    bool Clipped = false;    // hidden by the chevron or by popup scrolling
    bool Show = false;
    bool LineSep = false;    // laid out as a line-spanning separator
    // The viewer of the embedded group whose child this one shows inline.
    TTBItemViewer* GroupViewer = nullptr;

    virtual void CalcSize(TBMetrics& m, int& width, int& height);
    // Paints at the canvas origin; client is the viewer's own rectangle.
    virtual void Paint(TBCanvas& canvas, const Rect& client, bool selected, bool pushed, bool mouseOver);
    virtual void DrawItemCaption(TBCanvas& canvas, const Rect& r, unsigned format, bool rotated);
    virtual void Entering();
    virtual void Leaving();
    // The caption up to its first tab.
    virtual std::string GetCaptionText() const;
    // A cursor of the system's numbers (0: none).
    virtual int GetCursor(int x, int y) { return 0; }
    // x and y are relative to the viewer.
    virtual bool IsPtInButtonPart(int x, int y);
    virtual void KeyDown(unsigned& key, TBShiftState shift) {}
    virtual void Invalidate();
    virtual void MouseDown(TBShiftState shift, int x, int y, TTBTrackResult& r);
    virtual void MouseMove(int x, int y) {}
    virtual void MouseUp(int x, int y, TTBTrackResult& r);
    virtual void MouseWheel(int delta, int x, int y) {}

    // Appearance rules of measuring and painting.
    bool IsToolbarStyle() const;
    bool IsToolbarSize() const;
    bool IsRotated() const;
    forms::CustomImageList* GetImageList() const;
    bool ImageShown() const;
    bool CaptionShown() const;
    // Width of the image column of menu rows that are h high.
    int MenuImageColumnWidth(int h) const;

protected:
    TTBCustomItem* item_;
    TTBView* view_;
};

class TTBSeparatorItemViewer : public TTBItemViewer {
public:
    using TTBItemViewer::TTBItemViewer;
    void CalcSize(TBMetrics& m, int& width, int& height) override;
    void Paint(TBCanvas& canvas, const Rect& client, bool selected, bool pushed, bool mouseOver) override;
    bool IsPtInButtonPart(int, int) override { return false; }
};

}  // namespace toolbars

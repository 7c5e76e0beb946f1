#pragma once
// What item viewers measure and paint with: a metrics interface of the
// view's item font (tests fill it with fixed values) and a canvas of the
// few drawing operations items use (the platform draws them with GDI).
#include <cstdint>
#include <string>
#include <vector>

#include "forms/imagelistbase.h"
#include "tbcommon.h"

namespace toolbars {

class TBMetrics {
public:
    virtual ~TBMetrics() = default;
    // Extent of a text as drawn (no prefix processing; callers strip "&").
    virtual int TextWidth(const std::string& text, bool bold) = 0;
    // Height of the font's cells (tmHeight) and its external leading.
    virtual int TextHeight(bool bold) = 0;
    virtual int ExternalLeading(bool bold) = 0;
    // Width of the menu check mark (the arrow part of split items in menus).
    virtual int CheckMarkWidth() = 0;
    virtual bool IsLeadByte(char) { return false; }
};

// The system colours items use.
enum class TBColor : uint8_t {
    BtnFace,
    BtnShadow,
    BtnHighlight,
    BtnText,
    Menu,
    MenuText,
    MenuHilight,
    Highlight,
    HighlightText,
    GrayText,
    Window,
};

// Edge and border flags, with the values of the system's DrawEdge.
constexpr unsigned tbBdrRaisedOuter = 0x1, tbBdrSunkenOuter = 0x2, tbBdrRaisedInner = 0x4, tbBdrSunkenInner = 0x8;
constexpr unsigned tbEdgeEtched = tbBdrSunkenOuter | tbBdrRaisedInner;
constexpr unsigned tbBfLeft = 0x1, tbBfTop = 0x2, tbBfRight = 0x4, tbBfBottom = 0x8, tbBfRect = 0xF,
                   tbBfMiddle = 0x800, tbBfAdjust = 0x2000;
// Text format flags, with the values of the system's DrawText.
constexpr unsigned tbDtLeft = 0x0, tbDtCenter = 0x1, tbDtRight = 0x2, tbDtVCenter = 0x4, tbDtSingleLine = 0x20,
                   tbDtNoClip = 0x100, tbDtNoPrefix = 0x800, tbDtHidePrefix = 0x100000;

class TBCanvas {
public:
    virtual ~TBCanvas() = default;
    // Set by the view before a viewer paints.
    TBColor textColor = TBColor::BtnText;
    bool embossDisabled = false;        // disabled text drawn embossed
    TBColor selectionFill = TBColor::Highlight;
    unsigned extraTextFlags = 0;        // tbDtHidePrefix while accelerators are hidden
    bool bold = false;

    // Moves the drawing origin (the view puts it at each viewer's corner).
    virtual void SetOrigin(int x, int y) = 0;
    virtual void FillRect(const Rect& r, TBColor c) = 0;
    // The 0x55/0xAA checkerboard of button face and highlight.
    virtual void FillDither(const Rect& r) = 0;
    virtual void DrawEdge(const Rect& r, unsigned edge, unsigned flags) = 0;
    virtual void DrawText(const std::string& text, const Rect& r, unsigned format, TBColor c) = 0;
    // Text running downwards (vertical toolbars).
    virtual void DrawRotatedText(const std::string& text, const Rect& r, unsigned format, TBColor c) = 0;
    virtual void DrawImage(forms::CustomImageList* list, int index, int x, int y, bool enabled, bool checked,
                           bool hot) = 0;
    virtual void Polyline(const std::vector<TBPoint>& points, TBColor c) = 0;
    virtual void FillPolygon(const std::vector<TBPoint>& points, TBColor c) = 0;
    // The submenu arrow glyph of menus.
    virtual void DrawMenuArrow(const Rect& r, TBColor c) = 0;
    virtual uint32_t ColorRGB(TBColor c) = 0;
};

}  // namespace toolbars

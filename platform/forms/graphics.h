#pragma once
// Colours, fonts, a canvas over a GDI device context, bitmaps and image lists.
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "forms/component.h"
#include "forms/layout.h"
#include "win/gdi.h"

namespace forms {

// 0x00BBGGRR, or a system colour (0x80000000 | its index).
using TColor = uint32_t;
constexpr TColor SysColor(int index) { return 0x80000000u | uint32_t(index); }
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clBlack = 0x000000, clWhite = 0xFFFFFF, clRed = 0x0000FF, clLime = 0x00FF00, clBlue = 0xFF0000,
                 clGray = 0x808080, clSilver = 0xC0C0C0, clGreen = 0x008000, clFuchsia = 0xFF00FF,
                 clYellow = 0x00FFFF, clNavy = 0x800000, clMaroon = 0x000080;
constexpr TColor clBtnFace = SysColor(COLOR_BTNFACE), clBtnShadow = SysColor(COLOR_BTNSHADOW),
                 clBtnHighlight = SysColor(COLOR_BTNHIGHLIGHT), clBtnText = SysColor(COLOR_BTNTEXT),
                 clWindow = SysColor(COLOR_WINDOW), clWindowText = SysColor(COLOR_WINDOWTEXT),
                 clHighlight = SysColor(COLOR_HIGHLIGHT), clHighlightText = SysColor(COLOR_HIGHLIGHTTEXT),
                 clGrayText = SysColor(COLOR_GRAYTEXT), cl3DDkShadow = SysColor(COLOR_3DDKSHADOW),
                 clInfoBk = SysColor(COLOR_INFOBK), clMenu = SysColor(COLOR_MENU),
                 clMenuText = SysColor(COLOR_MENUTEXT);
// The RGB value a colour stands for now.
COLORREF ColorToRGB(TColor c);

enum FontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

// A font description with a cached GDI font; OnChange follows every change.
class Font {
public:
    Font();  // the system's message font
    Font(const Font& other);
    Font& operator=(const Font& other);
    const std::string& Name() const { return name_; }
    void SetName(const std::string& name);
    // Height in pixels (negative: character height, as LOGFONT).
    int Height() const { return height_; }
    void SetHeight(int h);
    // Size in points at the screen's resolution.
    int Size() const;
    void SetSize(int points);
    unsigned Style() const { return style_; }
    void SetStyle(unsigned style);
    TColor Color() const { return color_; }
    void SetColor(TColor c);
    int Escapement() const { return escapement_; }
    void SetEscapement(int tenths);
    HFONT Handle() const;
    bool operator==(const Font& o) const;
    std::function<void()> OnChange;

private:
    void changed();
    std::string name_;
    int height_ = -11;
    unsigned style_ = 0;
    TColor color_ = clWindowText;
    int escapement_ = 0;
    mutable win::Font handle_;
};

struct Point {
    int x = 0, y = 0;
};

// Drawing on a device context with a pen, a brush and a font that are
// selected for each operation.
class Canvas {
public:
    Canvas() = default;
    explicit Canvas(HDC dc) : dc_(dc) {}
    HDC Handle() const { return dc_; }
    void SetHandle(HDC dc) { dc_ = dc; }

    struct PenSpec {
        TColor color = clBlack;
        int width = 1;
        int style = PS_SOLID;
        int mode = R2_COPYPEN;
    } pen;
    struct BrushSpec {
        TColor color = clWhite;
        bool clear = false;  // hollow
    } brush;
    Font font;

    void FillRect(const Rect& r);
    void FrameRect(const Rect& r);
    void Rectangle(const Rect& r);
    void RoundRect(const Rect& r, int cx, int cy);
    void Ellipse(const Rect& r);
    void MoveTo(int x, int y);
    void LineTo(int x, int y);
    void Polyline(const std::vector<Point>& pts);
    void Polygon(const std::vector<Point>& pts);
    void TextOut(int x, int y, const std::string& text);
    void TextRect(const Rect& r, int x, int y, const std::string& text);
    // DrawText with DT_ flags; returns the height drawn.
    int DrawText(const std::string& text, Rect& r, UINT flags);
    int TextWidth(const std::string& text);
    int TextHeight(const std::string& text);
    TColor Pixel(int x, int y) const;
    void SetPixel(int x, int y, TColor c);
    void DrawFocusRect(const Rect& r);
    void Draw(int x, int y, HBITMAP bmp);
    void StretchDraw(const Rect& r, HBITMAP bmp);
    void CopyRect(const Rect& dest, const Canvas& src, const Rect& srcRect);

private:
    HDC dc_ = nullptr;
};

// A 32-bit device-independent bitmap with its own canvas.
class Bitmap {
public:
    Bitmap() = default;
    Bitmap(int w, int h) { SetSize(w, h); }
    ~Bitmap();
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;
    int Width() const { return w_; }
    int Height() const { return h_; }
    bool Empty() const { return !bmp_; }
    void SetSize(int w, int h);  // cleared to white
    // Copies a bitmap of any kind (the handle stays the caller's).
    bool Assign(HBITMAP other);
    void Assign(const Bitmap& other) { Assign(other.Handle()); }
    bool LoadFromFile(const std::string& path);
    bool SaveToFile(const std::string& path) const;
    HBITMAP Handle() const { return bmp_; }
    // Pixels as 0x00RRGGBB words, top row first.
    uint32_t* Bits() const { return bits_; }
    Canvas& GetCanvas();
    void Clear();
    std::function<void()> OnChange;
    void Changed() {
        if (OnChange) OnChange();
    }

private:
    int w_ = 0, h_ = 0;
    HBITMAP bmp_ = nullptr;
    uint32_t* bits_ = nullptr;
    HDC dc_ = nullptr;
    HGDIOBJ oldBmp_ = nullptr;
    Canvas canvas_;
};

// A list of equally sized images with masks.
class ImageList : public Component {
public:
    explicit ImageList(Component* owner, int width = 16, int height = 16);
    ~ImageList() override;
    int Width() const { return w_; }
    int Height() const { return h_; }
    void SetSize(int w, int h);  // clears the list
    int Count() const;
    // Adds the images of a strip (its width a multiple of Width); the colour
    // marks transparent pixels (clNone: none). Returns the first index.
    int AddMasked(HBITMAP strip, TColor transparent);
    int Add(const Bitmap& strip, TColor transparent = clNone) { return AddMasked(strip.Handle(), transparent); }
    void Delete(int index);
    void Clear();
    void Draw(Canvas& canvas, int x, int y, int index, bool enabled = true) const;
    HIMAGELIST Handle() const { return list_; }
    // Listeners told after every change; Subscribe gives the id to remove.
    int Subscribe(std::function<void()> listener);
    void Unsubscribe(int id);

private:
    void changed();
    int w_, h_;
    HIMAGELIST list_ = nullptr;
    std::map<int, std::function<void()>> listeners_;
    int nextId_ = 1;
};

}  // namespace forms

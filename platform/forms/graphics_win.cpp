#include "forms/graphics.h"

#include <cstring>
#include <memory>

#include "forms/fileio.h"
#include "win/wintext.h"

namespace forms {

COLORREF ColorToRGB(TColor c) {
    if (c & 0x80000000u) return GetSysColor(int(c & 0xFF));
    return c & 0xFFFFFF;
}

namespace {

LOGFONTW messageFont() {
    NONCLIENTMETRICSW m = {};
    m.cbSize = sizeof m;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof m, &m, 0)) return m.lfMessageFont;
    LOGFONTW lf = {};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
    return lf;
}

int screenDpi() {
    HDC dc = GetDC(nullptr);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    return dpi > 0 ? dpi : 96;
}

}  // namespace

Font::Font() {
    const LOGFONTW lf = messageFont();
    name_ = win::Ansi(lf.lfFaceName);
    height_ = lf.lfHeight ? int(lf.lfHeight) : -11;
}

Font::Font(const Font& o)
    : name_(o.name_), height_(o.height_), style_(o.style_), color_(o.color_), escapement_(o.escapement_) {}

Font& Font::operator=(const Font& o) {
    if (this != &o && !(*this == o)) {
        name_ = o.name_;
        height_ = o.height_;
        style_ = o.style_;
        color_ = o.color_;
        escapement_ = o.escapement_;
        changed();
    }
    return *this;
}

bool Font::operator==(const Font& o) const {
    return name_ == o.name_ && height_ == o.height_ && style_ == o.style_ && color_ == o.color_ &&
           escapement_ == o.escapement_;
}

void Font::SetName(const std::string& n) {
    if (n != name_) name_ = n, changed();
}
void Font::SetHeight(int h) {
    if (h != height_) height_ = h, changed();
}
int Font::Size() const { return -MulDiv(height_, 72, screenDpi()); }
void Font::SetSize(int points) { SetHeight(-MulDiv(points, screenDpi(), 72)); }
void Font::SetStyle(unsigned s) {
    if (s != style_) style_ = s, changed();
}
void Font::SetColor(TColor c) {
    if (c != color_) {
        color_ = c;
        if (OnChange) OnChange();
    }
}
void Font::SetEscapement(int e) {
    if (e != escapement_) escapement_ = e, changed();
}

void Font::changed() {
    handle_.reset();
    if (OnChange) OnChange();
}

HFONT Font::Handle() const {
    if (!handle_) {
        LOGFONTW lf = {};
        lf.lfHeight = height_;
        lf.lfWeight = (style_ & fsBold) ? FW_BOLD : FW_NORMAL;
        lf.lfItalic = (style_ & fsItalic) != 0;
        lf.lfUnderline = (style_ & fsUnderline) != 0;
        lf.lfStrikeOut = (style_ & fsStrikeOut) != 0;
        lf.lfEscapement = lf.lfOrientation = escapement_;
        lf.lfCharSet = DEFAULT_CHARSET;
        lf.lfQuality = DEFAULT_QUALITY;
        const std::wstring face = win::Wide(name_);
        wcsncpy(lf.lfFaceName, face.c_str(), LF_FACESIZE - 1);
        handle_.reset(CreateFontIndirectW(&lf));
    }
    return handle_.get();
}

// Canvas ---------------------------------------------------------------------

namespace {

struct Tools {
    win::Pen pen;
    win::Brush brush;
    std::unique_ptr<win::Select> selPen, selBrush;
    Tools(HDC dc, const Canvas::PenSpec& p, const Canvas::BrushSpec& b) {
        pen.reset(CreatePen(p.style, p.width, ColorToRGB(p.color)));
        selPen = std::make_unique<win::Select>(dc, pen.get());
        if (b.clear) {
            selBrush = std::make_unique<win::Select>(dc, GetStockObject(HOLLOW_BRUSH));
        } else {
            brush.reset(CreateSolidBrush(ColorToRGB(b.color)));
            selBrush = std::make_unique<win::Select>(dc, brush.get());
        }
        SetROP2(dc, p.mode);
    }
    ~Tools() {
        selBrush.reset();
        selPen.reset();
    }
};

}  // namespace

void Canvas::FillRect(const Rect& r) {
    if (brush.clear) return;
    RECT rc{r.left, r.top, r.right, r.bottom};
    win::Brush b(CreateSolidBrush(ColorToRGB(brush.color)));
    ::FillRect(dc_, &rc, b.get());
}

void Canvas::FrameRect(const Rect& r) {
    RECT rc{r.left, r.top, r.right, r.bottom};
    win::Brush b(CreateSolidBrush(ColorToRGB(brush.color)));
    ::FrameRect(dc_, &rc, b.get());
}

void Canvas::Rectangle(const Rect& r) {
    Tools t(dc_, pen, brush);
    ::Rectangle(dc_, r.left, r.top, r.right, r.bottom);
}

void Canvas::RoundRect(const Rect& r, int cx, int cy) {
    Tools t(dc_, pen, brush);
    ::RoundRect(dc_, r.left, r.top, r.right, r.bottom, cx, cy);
}

void Canvas::Ellipse(const Rect& r) {
    Tools t(dc_, pen, brush);
    ::Ellipse(dc_, r.left, r.top, r.right, r.bottom);
}

void Canvas::MoveTo(int x, int y) { MoveToEx(dc_, x, y, nullptr); }

void Canvas::LineTo(int x, int y) {
    Tools t(dc_, pen, brush);
    ::LineTo(dc_, x, y);
}

void Canvas::Polyline(const std::vector<Point>& pts) {
    Tools t(dc_, pen, brush);
    ::Polyline(dc_, reinterpret_cast<const POINT*>(pts.data()), int(pts.size()));
}

void Canvas::Polygon(const std::vector<Point>& pts) {
    Tools t(dc_, pen, brush);
    ::Polygon(dc_, reinterpret_cast<const POINT*>(pts.data()), int(pts.size()));
}

void Canvas::TextOut(int x, int y, const std::string& text) {
    win::Select f(dc_, font.Handle());
    SetTextColor(dc_, ColorToRGB(font.Color()));
    SetBkMode(dc_, brush.clear ? TRANSPARENT : OPAQUE);
    SetBkColor(dc_, ColorToRGB(brush.color));
    const std::wstring w = win::Wide(text);
    ::TextOutW(dc_, x, y, w.c_str(), int(w.size()));
}

void Canvas::TextRect(const Rect& r, int x, int y, const std::string& text) {
    win::Select f(dc_, font.Handle());
    SetTextColor(dc_, ColorToRGB(font.Color()));
    SetBkMode(dc_, brush.clear ? TRANSPARENT : OPAQUE);
    SetBkColor(dc_, ColorToRGB(brush.color));
    RECT rc{r.left, r.top, r.right, r.bottom};
    const std::wstring w = win::Wide(text);
    ExtTextOutW(dc_, x, y, ETO_CLIPPED | (brush.clear ? 0 : ETO_OPAQUE), &rc, w.c_str(), UINT(w.size()), nullptr);
}

int Canvas::DrawText(const std::string& text, Rect& r, UINT flags) {
    win::Select f(dc_, font.Handle());
    SetTextColor(dc_, ColorToRGB(font.Color()));
    SetBkMode(dc_, TRANSPARENT);
    RECT rc{r.left, r.top, r.right, r.bottom};
    const std::wstring w = win::Wide(text);
    const int h = ::DrawTextW(dc_, w.c_str(), int(w.size()), &rc, flags);
    r = {rc.left, rc.top, rc.right, rc.bottom};
    return h;
}

int Canvas::TextWidth(const std::string& text) {
    win::Select f(dc_, font.Handle());
    const std::wstring w = win::Wide(text);
    SIZE sz{};
    GetTextExtentPoint32W(dc_, w.c_str(), int(w.size()), &sz);
    return sz.cx;
}

int Canvas::TextHeight(const std::string& text) {
    win::Select f(dc_, font.Handle());
    const std::wstring w = win::Wide(text.empty() ? std::string("Ag") : text);
    SIZE sz{};
    GetTextExtentPoint32W(dc_, w.c_str(), int(w.size()), &sz);
    return sz.cy;
}

TColor Canvas::Pixel(int x, int y) const { return GetPixel(dc_, x, y) & 0xFFFFFF; }
void Canvas::SetPixel(int x, int y, TColor c) { ::SetPixel(dc_, x, y, ColorToRGB(c)); }

void Canvas::DrawFocusRect(const Rect& r) {
    RECT rc{r.left, r.top, r.right, r.bottom};
    ::DrawFocusRect(dc_, &rc);
}

void Canvas::Draw(int x, int y, HBITMAP bmp) {
    if (!bmp) return;
    BITMAP bm{};
    GetObjectW(bmp, sizeof bm, &bm);
    win::MemoryDC mem(dc_);
    win::Select s(mem.get(), bmp);
    BitBlt(dc_, x, y, bm.bmWidth, bm.bmHeight, mem.get(), 0, 0, SRCCOPY);
}

void Canvas::StretchDraw(const Rect& r, HBITMAP bmp) {
    if (!bmp) return;
    BITMAP bm{};
    GetObjectW(bmp, sizeof bm, &bm);
    win::MemoryDC mem(dc_);
    win::Select s(mem.get(), bmp);
    SetStretchBltMode(dc_, COLORONCOLOR);
    StretchBlt(dc_, r.left, r.top, r.Width(), r.Height(), mem.get(), 0, 0, bm.bmWidth, bm.bmHeight, SRCCOPY);
}

void Canvas::CopyRect(const Rect& d, const Canvas& src, const Rect& s) {
    SetStretchBltMode(dc_, COLORONCOLOR);
    StretchBlt(dc_, d.left, d.top, d.Width(), d.Height(), src.Handle(), s.left, s.top, s.Width(), s.Height(),
               SRCCOPY);
}

// Bitmap ---------------------------------------------------------------------

Bitmap::~Bitmap() { Clear(); }

void Bitmap::Clear() {
    if (dc_) {
        SelectObject(dc_, oldBmp_);
        DeleteDC(dc_);
        dc_ = nullptr;
    }
    if (bmp_) DeleteObject(bmp_);
    bmp_ = nullptr;
    bits_ = nullptr;
    w_ = h_ = 0;
    canvas_.SetHandle(nullptr);
}

void Bitmap::SetSize(int w, int h) {
    Clear();
    if (w <= 0 || h <= 0) return;
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    bmp_ = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bmp_) return;
    bits_ = static_cast<uint32_t*>(bits);
    w_ = w;
    h_ = h;
    std::memset(bits_, 0xFF, size_t(w) * size_t(h) * 4);
    Changed();
}

Canvas& Bitmap::GetCanvas() {
    if (!dc_ && bmp_) {
        dc_ = CreateCompatibleDC(nullptr);
        oldBmp_ = SelectObject(dc_, bmp_);
    }
    canvas_.SetHandle(dc_);
    return canvas_;
}

bool Bitmap::Assign(HBITMAP other) {
    BITMAP bm{};
    if (!other || !GetObjectW(other, sizeof bm, &bm)) {
        Clear();
        Changed();
        return false;
    }
    SetSize(bm.bmWidth, bm.bmHeight);
    if (!bmp_) return false;
    Canvas& c = GetCanvas();
    win::MemoryDC mem(c.Handle());
    win::Select s(mem.get(), other);
    BitBlt(c.Handle(), 0, 0, w_, h_, mem.get(), 0, 0, SRCCOPY);
    Changed();
    return true;
}

bool Bitmap::LoadFromFile(const std::string& path) {
    HBITMAP b = static_cast<HBITMAP>(LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0,
                                                LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    if (!b) return false;
    const bool ok = Assign(b);
    DeleteObject(b);
    return ok;
}

bool Bitmap::SaveToFile(const std::string& path) const {
    if (!bmp_) return false;
    const uint32_t rowBytes = uint32_t(w_) * 3 + 3 & ~3u;
    const uint32_t image = rowBytes * uint32_t(h_);
    std::string data(54 + size_t(image), '\0');
    auto put16 = [&](size_t at, uint32_t v) { data[at] = char(v), data[at + 1] = char(v >> 8); };
    auto put32 = [&](size_t at, uint32_t v) { put16(at, v & 0xFFFF), put16(at + 2, v >> 16); };
    data[0] = 'B', data[1] = 'M';
    put32(2, uint32_t(data.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, uint32_t(w_));
    put32(22, uint32_t(h_));
    put16(26, 1);
    put16(28, 24);
    put32(34, image);
    put32(38, 2835);
    put32(42, 2835);
    for (int y = 0; y < h_; ++y) {
        const uint32_t* src = bits_ + size_t(h_ - 1 - y) * size_t(w_);
        char* dst = data.data() + 54 + size_t(y) * rowBytes;
        for (int x = 0; x < w_; ++x) {
            dst[x * 3] = char(src[x]);
            dst[x * 3 + 1] = char(src[x] >> 8);
            dst[x * 3 + 2] = char(src[x] >> 16);
        }
    }
    return WriteFileAtomically(path, data);
}

// ImageList ------------------------------------------------------------------

ImageList::ImageList(Component* owner, int width, int height) : Component(owner), w_(width), h_(height) {
    list_ = ImageList_Create(w_, h_, ILC_COLOR32 | ILC_MASK, 4, 4);
}

ImageList::~ImageList() {
    if (list_) ImageList_Destroy(list_);
}

void ImageList::SetSize(int w, int h) {
    if (list_) ImageList_Destroy(list_);
    w_ = w;
    h_ = h;
    list_ = ImageList_Create(w_, h_, ILC_COLOR32 | ILC_MASK, 4, 4);
    changed();
}

int ImageList::Count() const { return list_ ? ImageList_GetImageCount(list_) : 0; }

int ImageList::AddMasked(HBITMAP strip, TColor transparent) {
    if (!list_ || !strip) return -1;
    const int first = Count();
    const int r = transparent == clNone ? ImageList_Add(list_, strip, nullptr)
                                        : ImageList_AddMasked(list_, strip, ColorToRGB(transparent));
    changed();
    return r < 0 ? -1 : first;
}

void ImageList::Delete(int index) {
    if (list_ && ImageList_Remove(list_, index)) changed();
}

void ImageList::Clear() {
    if (list_ && ImageList_RemoveAll(list_)) changed();
}

void ImageList::Draw(Canvas& canvas, int x, int y, int index, bool enabled) const {
    if (!list_ || index < 0 || index >= Count()) return;
    if (enabled) {
        ImageList_Draw(list_, index, canvas.Handle(), x, y, ILD_TRANSPARENT);
        return;
    }
    IMAGELISTDRAWPARAMS p = {};
    p.cbSize = sizeof p;
    p.himl = list_;
    p.i = index;
    p.hdcDst = canvas.Handle();
    p.x = x;
    p.y = y;
    p.fStyle = ILD_TRANSPARENT;
    p.fState = ILS_SATURATE;
    if (!ImageList_DrawIndirect(&p)) ImageList_DrawEx(list_, index, canvas.Handle(), x, y, 0, 0, CLR_NONE,
                                                       GetSysColor(COLOR_BTNSHADOW), ILD_BLEND50);
}

int ImageList::Subscribe(std::function<void()> listener) {
    listeners_.emplace(nextId_, std::move(listener));
    return nextId_++;
}

void ImageList::Unsubscribe(int id) { listeners_.erase(id); }

void ImageList::changed() {
    auto copy = listeners_;
    for (auto& l : copy) l.second();
}

}  // namespace forms

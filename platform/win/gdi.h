#pragma once
// RAII holders of GDI objects and device contexts.
#include <windows.h>

#include <utility>

namespace win {

// A pen, brush, font, bitmap, region or palette deleted with its holder.
template <class H>
class GdiObject {
public:
    GdiObject() = default;
    explicit GdiObject(H h) : h_(h) {}
    ~GdiObject() { reset(); }
    GdiObject(GdiObject&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
    GdiObject& operator=(GdiObject&& o) noexcept {
        if (this != &o) {
            reset();
            h_ = std::exchange(o.h_, nullptr);
        }
        return *this;
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    H get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }
    void reset(H h = nullptr) {
        if (h_) DeleteObject(h_);
        h_ = h;
    }
    H release() { return std::exchange(h_, nullptr); }

private:
    H h_ = nullptr;
};

using Pen = GdiObject<HPEN>;
using Brush = GdiObject<HBRUSH>;
using Font = GdiObject<HFONT>;
using Bitmap = GdiObject<HBITMAP>;
using Region = GdiObject<HRGN>;
using Palette = GdiObject<HPALETTE>;

// Selects an object into a device context and puts the old one back.
class Select {
public:
    Select(HDC dc, HGDIOBJ obj) : dc_(dc), old_(obj ? SelectObject(dc, obj) : nullptr) {}
    ~Select() {
        if (old_) SelectObject(dc_, old_);
    }
    Select(const Select&) = delete;
    Select& operator=(const Select&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

// GetDC / ReleaseDC.
class WindowDC {
public:
    explicit WindowDC(HWND w) : w_(w), dc_(GetDC(w)) {}
    ~WindowDC() {
        if (dc_) ReleaseDC(w_, dc_);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    HDC get() const { return dc_; }

private:
    HWND w_;
    HDC dc_;
};

// BeginPaint / EndPaint.
class PaintDC {
public:
    explicit PaintDC(HWND w) : w_(w) { dc_ = BeginPaint(w, &ps_); }
    ~PaintDC() { EndPaint(w_, &ps_); }
    PaintDC(const PaintDC&) = delete;
    PaintDC& operator=(const PaintDC&) = delete;
    HDC get() const { return dc_; }
    const RECT& area() const { return ps_.rcPaint; }

private:
    HWND w_;
    HDC dc_;
    PAINTSTRUCT ps_{};
};

// A memory device context compatible with another one.
class MemoryDC {
public:
    explicit MemoryDC(HDC like) : dc_(CreateCompatibleDC(like)) {}
    ~MemoryDC() {
        if (dc_) DeleteDC(dc_);
    }
    MemoryDC(const MemoryDC&) = delete;
    MemoryDC& operator=(const MemoryDC&) = delete;
    HDC get() const { return dc_; }

private:
    HDC dc_;
};

// SaveDC / RestoreDC.
class SavedDC {
public:
    explicit SavedDC(HDC dc) : dc_(dc), id_(SaveDC(dc)) {}
    ~SavedDC() {
        if (id_) RestoreDC(dc_, id_);
    }
    SavedDC(const SavedDC&) = delete;
    SavedDC& operator=(const SavedDC&) = delete;

private:
    HDC dc_;
    int id_;
};

}  // namespace win

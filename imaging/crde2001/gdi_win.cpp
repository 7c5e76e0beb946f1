#include "gdi_win.h"

#include <vector>

#include "dibhandle_win.h"

namespace {
HINSTANCE g_instance = nullptr;

// The screen's device context for the scope, with a palette selected and realised.
class ScreenDc {
public:
    explicit ScreenDc(HPALETTE palette) : dc_(GetDC(nullptr)) {
        if (dc_ && palette) {
            old_ = SelectPalette(dc_, palette, FALSE);
            RealizePalette(dc_);
        }
    }
    ~ScreenDc() {
        if (old_) SelectPalette(dc_, old_, FALSE);
        if (dc_) ReleaseDC(nullptr, dc_);
    }
    HDC get() const { return dc_; }

private:
    HDC dc_;
    HPALETTE old_ = nullptr;
};

}  // namespace

void crdeSetInstance(HINSTANCE instance) { g_instance = instance; }
HINSTANCE crdeInstance() { return g_instance; }

HPALETTE crdePaletteOf(const img::Dib& dib) {
    if (dib.bits() > 8) return nullptr;
    const uint32_t n = dib.colours();
    std::vector<uint8_t> block(sizeof(LOGPALETTE) + n * sizeof(PALETTEENTRY));
    LOGPALETTE* lp = reinterpret_cast<LOGPALETTE*>(block.data());
    lp->palVersion = 0x300;
    lp->palNumEntries = WORD(n);
    for (uint32_t i = 0; i < n; ++i) {
        const img::Colour& c = dib.palette()[i];
        lp->palPalEntry[i] = PALETTEENTRY{c.red, c.green, c.blue, 0};
    }
    return CreatePalette(lp);
}

short crdeDibToDdb(const uint8_t* dib, HPALETTE* palette, HBITMAP* bitmap) {
    if (palette) *palette = nullptr;
    if (bitmap) *bitmap = nullptr;
    if (!dib || !bitmap) return img::kBadArgument;
    // The block's length: its global block when it is one, else what the header says.
    size_t length = 0;
    if (HGLOBAL h = GlobalHandle(dib)) length = GlobalSize(h);
    if (!length) {
        // the header with room for masks after it; the caller's block is trusted here
        const size_t at = img::packedBitsOffset(dib, size_t(img::rd32(dib)) + 16);
        const uint32_t image = img::rd32(dib + 20);
        const int32_t w = int32_t(img::rd32(dib + 4)), hgt = int32_t(img::rd32(dib + 8));
        const uint64_t computed = img::dibStride(uint64_t(w > 0 ? w : 0), img::rd16(dib + 14)) *
                                  uint64_t(hgt < 0 ? -int64_t(hgt) : hgt);
        length = at + size_t(image ? image : computed);
    }
    img::Dib pic;
    img::Progress none;
    img::Status s = img::decodePackedDib(dib, length, pic, none);
    if (s != img::kOk) return s == img::kTruncated || s == img::kBadFormat ? short(img::kBadDib) : short(s);
    HPALETTE pal = crdePaletteOf(pic);
    {
        ScreenDc screen(pal);
        *bitmap = CreateDIBitmap(screen.get(), reinterpret_cast<const BITMAPINFOHEADER*>(pic.data()), CBM_INIT,
                                 pic.pixels(), reinterpret_cast<const BITMAPINFO*>(pic.data()), DIB_RGB_COLORS);
    }
    if (!*bitmap) {
        if (pal) DeleteObject(pal);
        return img::kNoMemory;
    }
    if (palette) *palette = pal;
    else if (pal) DeleteObject(pal);
    return img::kOk;
}

HGLOBAL crdeDdbToDib(HBITMAP bitmap, HPALETTE palette) {
    DIBSECTION ds{};
    BITMAP bm{};
    unsigned bits;
    if (GetObjectA(bitmap, sizeof ds, &ds) == sizeof ds) {
        bm = ds.dsBm;
        bits = ds.dsBmih.biBitCount;
    } else if (GetObjectA(bitmap, sizeof bm, &bm)) {
        bits = unsigned(bm.bmBitsPixel) * bm.bmPlanes;
    } else {
        return nullptr;
    }
    bits = bits <= 1 ? 1 : bits <= 4 ? 4 : bits <= 8 ? 8 : bits == 16 ? 16 : bits == 32 ? 32 : 24;
    img::Dib pic;
    if (img::Dib::create(bm.bmWidth, bm.bmHeight, bits, pic) != img::kOk) return nullptr;
    int rows;
    {
        ScreenDc screen(palette);
        rows = GetDIBits(screen.get(), bitmap, 0, UINT(bm.bmHeight), pic.pixels(), reinterpret_cast<BITMAPINFO*>(pic.data()),
                         DIB_RGB_COLORS);
    }
    if (rows != bm.bmHeight) return nullptr;
    // GetDIBits may rewrite the header's size fields; the library's form keeps its own.
    img::wr32(pic.data(), img::kInfoHeaderSize);
    img::wr32(pic.data() + 16, 0);
    img::wr32(pic.data() + 32, pic.colours());
    return imgwin::handOver(pic);
}

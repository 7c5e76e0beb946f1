#include "iltdib_win.h"

#include <cstring>
#include <vector>

#include "dibheader.h"
#include "errorinvalid.h"

namespace imaging {

namespace {
const uint8_t* bytes(const BITMAPINFOHEADER* h) { return reinterpret_cast<const uint8_t*>(h); }
}  // namespace

ILTDib::~ILTDib() {
    if (OwnsDib) freeDib();
    if (palette_) DeleteObject(palette_);
}

void ILTDib::freeDib() {
    if (!dib_) return;
    if (HGLOBAL h = GlobalHandle(dib_)) {
        while (GlobalUnlock(h)) {
        }
        GlobalFree(h);
    }
    dib_ = nullptr;
}

size_t ILTDib::blockSize() const {
    HGLOBAL h = dib_ ? GlobalHandle(dib_) : nullptr;
    return h ? GlobalSize(h) : 0;
}

void ILTDib::AttachDib(BITMAPINFOHEADER* dib) {
    if (dib) {
        HGLOBAL h = GlobalHandle(dib);
        const std::string problem = DibHeaderProblem(bytes(dib), h ? GlobalSize(h) : 0);
        if (!problem.empty()) throw ErrorInvalid(problem);
    }
    if (OwnsDib) freeDib();
    if (palette_) DeleteObject(palette_);
    palette_ = nullptr;
    dib_ = dib;
}

int ILTDib::BitCount() const { return dib_ ? dib_->biBitCount : 0; }
int ILTDib::Width() const { return dib_ ? dib_->biWidth : 0; }
int ILTDib::Height() const { return dib_ ? dib_->biHeight : 0; }
int ILTDib::Compression() const { return dib_ ? int(dib_->biCompression) : 0; }
int ILTDib::ColorCount() const { return dib_ ? int(DibColorCount(bytes(dib_))) : 0; }
int ILTDib::HeaderSize() const { return dib_ ? int(DibHeaderSize(bytes(dib_))) : 0; }

int ILTDib::DibSize() {
    if (!dib_) return 0;
    uint64_t image = DibImageSize(bytes(dib_));
    if (dib_->biSizeImage == 0 && image <= 0x7FFFFFFF) dib_->biSizeImage = DWORD(image);
    uint64_t total = HeaderSize() + image;
    if (const size_t block = blockSize(); block && total > block) total = block;
    return int(total > 0x7FFFFFFF ? 0x7FFFFFFF : total);
}

void* ILTDib::BitsPtr() const { return dib_ ? reinterpret_cast<uint8_t*>(dib_) + HeaderSize() : nullptr; }

int ILTDib::PaletteEntries(int bits) { return int(DibPaletteEntries(bits)); }

HPALETTE ILTDib::PaletteHandle() {
    if (!palette_ && dib_) palette_ = BuildPalette(dib_);
    return palette_;
}

HPALETTE ILTDib::BuildPalette(const BITMAPINFOHEADER* dib) {
    if (!dib) return nullptr;
    uint32_t n = dib->biClrUsed ? dib->biClrUsed : DibPaletteEntries(dib->biBitCount);
    if (n == 0) return nullptr;
    if (n > 256) n = 256;
    std::vector<uint8_t> block(sizeof(LOGPALETTE) + n * sizeof(PALETTEENTRY));
    LOGPALETTE* lp = reinterpret_cast<LOGPALETTE*>(block.data());
    lp->palVersion = 0x300;
    lp->palNumEntries = WORD(n);
    HDC screen = GetDC(nullptr);
    const int systemEntries = screen ? GetDeviceCaps(screen, SIZEPALETTE) : 0;
    if (n == 16 && systemEntries > 15) {
        // The first and the last eight of the system palette.
        GetSystemPaletteEntries(screen, 0, 8, lp->palPalEntry);
        GetSystemPaletteEntries(screen, UINT(systemEntries - 8), 8, lp->palPalEntry + 8);
    } else {
        const uint8_t* table = bytes(dib) + DibHeaderSize(bytes(dib)) - 4 * DibColorCount(bytes(dib));
        for (uint32_t i = 0; i < n; ++i)
            lp->palPalEntry[i] = PALETTEENTRY{table[4 * i + 2], table[4 * i + 1], table[4 * i], 0};
    }
    if (screen) ReleaseDC(nullptr, screen);
    return CreatePalette(lp);
}

bool ILTDib::CreateNew(HPALETTE palette, int width, int bits, int height) {
    int colours;
    switch (bits) {
        case 1:
        case 2:
            bits = 1;  // the header says what the block holds
            colours = 2;
            break;
        case 4: colours = 16; break;
        case 8: colours = 256; break;
        case 16:
        case 24:
        case 32: colours = 0; break;
        default: return false;
    }
    if (width <= 0 || height <= 0) return false;
    const uint64_t image = uint64_t(height) * ((uint64_t(bits) * uint64_t(width) + 31) / 32) * 4;
    const uint64_t size = 40 + 4 * uint64_t(colours) + image;
    HGLOBAL h = size <= 0x7FFFFFFF ? GlobalAlloc(GHND, SIZE_T(size)) : nullptr;
    BITMAPINFOHEADER* header = h ? static_cast<BITMAPINFOHEADER*>(GlobalLock(h)) : nullptr;
    if (!header) {
        if (h) GlobalFree(h);
        throw ErrorInvalid("Can't allocate memory");
    }
    header->biSize = 40;
    header->biWidth = width;
    header->biHeight = height;
    header->biPlanes = 1;
    header->biBitCount = WORD(bits);
    header->biCompression = BI_RGB;
    header->biSizeImage = DWORD(image);
    header->biXPelsPerMeter = 2953;
    header->biYPelsPerMeter = 2953;
    header->biClrUsed = DWORD(colours);
    header->biClrImportant = DWORD(colours);
    if (palette && colours) {
        PALETTEENTRY entries[256] = {};
        const UINT n = GetPaletteEntries(palette, 0, UINT(colours), entries);
        RGBQUAD* table = reinterpret_cast<RGBQUAD*>(header + 1);
        for (UINT i = 0; i < n; ++i) table[i] = RGBQUAD{entries[i].peBlue, entries[i].peGreen, entries[i].peRed, 0};
    }
    const bool owned = OwnsDib;
    OwnsDib = true;  // frees what it held before when it owned that
    if (!owned) dib_ = nullptr;
    AttachDib(header);
    return true;
}

}  // namespace imaging

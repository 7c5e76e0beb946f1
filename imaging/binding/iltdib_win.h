// ILTDib: wraps one packed DIB held in a movable global memory block (a locked pointer
// into it): reads its header, reaches its colour table and pixels, builds its palette
// and makes new DIBs.
#pragma once
#include <windows.h>

#include <cstdint>

namespace imaging {

class ILTDib {
public:
    ILTDib() = default;  // empty, owning
    ~ILTDib();
    ILTDib(const ILTDib&) = delete;
    ILTDib& operator=(const ILTDib&) = delete;

    // Owns the DIB it holds (true on creation); callers that only borrow a block clear it
    // before attaching.
    bool OwnsDib = true;

    // Frees the current DIB when owning it, drops the cached palette, then takes the new
    // pointer (null leaves it empty). A header that cannot be wrapped (see
    // DibHeaderProblem: a colour table longer than the depth allows, a table or pixels
    // beyond the global block) raises ErrorInvalid and is not taken.
    void AttachDib(BITMAPINFOHEADER* dib);
    BITMAPINFOHEADER* Dib() const { return dib_; }

    // Header readers, 0 without a DIB.
    int BitCount() const;
    int Width() const;
    int Height() const;
    int Compression() const;
    int ColorCount() const;
    // Info header, the bit-field masks after a 40-byte header, colour table.
    int HeaderSize() const;
    // Header size + image size; an image size of 0 is first computed and stored as
    // |height| x row length. Never beyond the global block.
    int DibSize();
    void* BitsPtr() const;
    static int PaletteEntries(int bits);
    // Built on first request by BuildPalette and cached.
    HPALETTE PaletteHandle();
    static HPALETTE BuildPalette(const BITMAPINFOHEADER* dib);
    // A new zero-filled DIB attached to the wrapper: bits 1 and 2 make a 1-bit DIB with 2
    // colours, 4 gives 16, 8 gives 256, 16, 24 and 32 no colour table; other bit counts
    // or sides not above 0 answer false. With a palette, the colour table takes its
    // first entries. ErrorInvalid "Can't allocate memory" when the block cannot be had.
    bool CreateNew(HPALETTE palette, int width, int bits, int height);

private:
    void freeDib();
    size_t blockSize() const;

    BITMAPINFOHEADER* dib_ = nullptr;
    HPALETTE palette_ = nullptr;
    uint32_t reserved_ = 0;
};

}  // namespace imaging

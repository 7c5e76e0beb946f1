#include "dibheader.h"

#include <algorithm>

namespace imaging {

namespace {
constexpr uint32_t kBitfields = 3, kAlphaBitfields = 6;

uint32_t masksAfter(const uint8_t* h) {
    if (img::rd32(h) != 40) return 0;
    const uint32_t c = img::rd32(h + 16);
    return c == kBitfields ? 12 : c == kAlphaBitfields ? 16 : 0;
}
}  // namespace

uint32_t DibPaletteEntries(int bits) { return bits == 1 || bits == 4 || bits == 8 ? 1u << bits : 0; }

uint32_t DibColorCount(const uint8_t* h) {
    const uint32_t used = img::rd32(h + 32);
    if (used) return used;
    const unsigned bits = img::rd16(h + 14);
    return bits == 16 || bits == 24 || bits == 32 ? 0 : (bits <= 8 ? 1u << bits : 0);
}

uint32_t DibHeaderSize(const uint8_t* h) { return img::rd32(h) + masksAfter(h) + 4 * DibColorCount(h); }

uint64_t DibImageSize(const uint8_t* h) {
    const uint32_t stored = img::rd32(h + 20);
    if (stored) return stored;
    const int64_t w = int32_t(img::rd32(h + 4)), ht = int32_t(img::rd32(h + 8));
    return img::dibStride(uint64_t(w < 0 ? -w : w), img::rd16(h + 14)) * uint64_t(ht < 0 ? -ht : ht);
}

std::string DibHeaderProblem(const uint8_t* h, size_t available) {
    if (!h) return "No bitmap";
    if (available && available < 40) return "The bitmap block is shorter than its header";
    const uint32_t size = img::rd32(h);
    if (size < 40 || size > 4096) return "The bitmap header is of an unknown size";
    const unsigned bits = img::rd16(h + 14);
    if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return "The bitmap has an unknown colour depth";
    const uint32_t used = img::rd32(h + 32);
    const uint32_t most = bits <= 8 ? 1u << bits : 256;
    if (used > most) return "The bitmap's colour table is longer than its colour depth allows";
    if (available) {
        if (size > available || DibHeaderSize(h) > available)
            return "The bitmap's colour table goes beyond its block";
        if (img::rd32(h + 20) && DibHeaderSize(h) + uint64_t(img::rd32(h + 20)) > available)
            return "The bitmap's pixels go beyond its block";
    }
    return "";
}

img::Status Expand8To24(const uint8_t* block, size_t length, const img::Colour* fallback, uint32_t fallbackCount,
                        img::Dib& out) {
    out.reset();
    if (!block || length <= 4) return img::kBadDib;
    if (length < 40 || !DibHeaderProblem(block, 0).empty()) return img::kBadDib;
    if (img::rd16(block + 14) != 8 || (img::rd32(block + 16) != 0 && img::rd32(block + 16) != kBitfields))
        return img::kBadArgument;
    const int64_t w = int32_t(img::rd32(block + 4)), h = int32_t(img::rd32(block + 8));
    const bool topDown = h < 0;
    const int64_t ah = h < 0 ? -h : h;
    if (img::Status s = img::checkPictureSize(w, ah, 24); s != img::kOk) return s;
    // The table: what biClrUsed says, no further than the block holds, and only when
    // the pixels still fit behind it.
    const size_t tableAt = img::rd32(block) + masksAfter(block);
    const uint64_t stride = img::dibStride(uint64_t(w), 8), pixels = stride * uint64_t(ah);
    if (tableAt + pixels > length) return img::kTruncated;
    const uint32_t stated = img::rd32(block + 32) ? img::rd32(block + 32) : 256;
    const uint64_t room = (length - tableAt - pixels) / 4;
    const uint32_t entries = uint32_t(std::min<uint64_t>({stated, 256, room}));
    img::Colour table[256] = {};
    if (entries) {
        for (uint32_t i = 0; i < entries; ++i) {
            const uint8_t* p = block + tableAt + 4 * i;
            table[i] = img::Colour{p[0], p[1], p[2], 0};
        }
    } else {
        std::copy(fallback, fallback + std::min<uint32_t>(fallbackCount, 256), table);
    }
    const uint8_t* bits = block + tableAt + 4 * size_t(entries);
    if (img::Status s = img::Dib::create(int32_t(w), int32_t(ah), 24, out); s != img::kOk) return s;
    for (int64_t line = 0; line < ah; ++line) {
        const uint8_t* in = bits + size_t(stride) * size_t(line);
        uint8_t* o = topDown ? out.row(int32_t(line)) : out.row(int32_t(ah - 1 - line));
        for (int64_t x = 0; x < w; ++x) {
            const img::Colour& c = table[in[x]];
            o[3 * x] = c.blue;
            o[3 * x + 1] = c.green;
            o[3 * x + 2] = c.red;
        }
    }
    return img::kOk;
}

}  // namespace imaging

#include "dib.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace img {

namespace {

uint8_t* heapAllocate(size_t bytes) { return static_cast<uint8_t*>(std::calloc(1, bytes)); }
void heapRelease(uint8_t* block) { std::free(block); }

DibAllocator g_allocator{heapAllocate, heapRelease};
uint64_t (*g_probe)() = nullptr;

uint32_t paletteSize(unsigned bits) { return bits <= 8 ? 1u << bits : 0; }

}  // namespace

void setDibAllocator(const DibAllocator& allocator) { g_allocator = allocator; }
void setMemoryProbe(uint64_t (*available)()) { g_probe = available; }
uint64_t memoryAvailable() { return g_probe ? g_probe() : std::numeric_limits<uint64_t>::max(); }

Status checkPictureSize(int64_t width, int64_t height, unsigned bits) {
    if (width <= 0 || height <= 0) return kBadFormat;
    if (uint64_t(width) > kMaxPixels || uint64_t(height) > kMaxPixels) return kTooLarge;
    if (uint64_t(width) * uint64_t(height) > kMaxPixels) return kTooLarge;
    const uint64_t bytes = kInfoHeaderSize + 1024 + dibStride(uint64_t(width), bits) * uint64_t(height);
    if (bytes > std::numeric_limits<size_t>::max() || bytes > memoryAvailable()) return kNoMemory;
    return kOk;
}

Dib& Dib::operator=(Dib&& other) noexcept {
    if (this != &other) {
        reset();
        block_ = other.block_;
        size_ = other.size_;
        stride_ = other.stride_;
        width_ = other.width_;
        height_ = other.height_;
        bits_ = other.bits_;
        colours_ = other.colours_;
        owned_ = other.owned_;
        other.block_ = nullptr;
        other.size_ = 0;
    }
    return *this;
}

void Dib::reset() {
    if (block_ && owned_) g_allocator.release(block_);
    owned_ = true;
    block_ = nullptr;
    size_ = stride_ = 0;
    width_ = height_ = 0;
    bits_ = colours_ = 0;
}

uint8_t* Dib::release() {
    uint8_t* b = owned_ ? block_ : nullptr;
    block_ = nullptr;
    reset();
    return b;
}

Status Dib::create(int32_t width, int32_t height, unsigned bits, Dib& out) {
    out.reset();
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return kBadArgument;
    if (Status s = checkPictureSize(width, height, bits); s != kOk) return s;
    const uint32_t colours = paletteSize(bits);
    const size_t stride = size_t(dibStride(uint64_t(width), bits));
    const size_t size = kInfoHeaderSize + 4 * size_t(colours) + stride * size_t(height);
    uint8_t* block = g_allocator.allocate(size);
    if (!block) return kNoMemory;
    wr32(block, kInfoHeaderSize);
    wr32(block + 4, uint32_t(width));
    wr32(block + 8, uint32_t(height));
    wr16(block + 12, 1);
    wr16(block + 14, uint16_t(bits));
    wr32(block + 16, 0);
    wr32(block + 20, uint32_t(stride * size_t(height)));
    wr32(block + 24, kPixelsPerMetre);
    wr32(block + 28, kPixelsPerMetre);
    wr32(block + 32, colours);
    wr32(block + 36, colours);
    out.block_ = block;
    out.size_ = size;
    out.stride_ = stride;
    out.width_ = width;
    out.height_ = height;
    out.bits_ = bits;
    out.colours_ = colours;
    return kOk;
}

Status Dib::borrow(const uint8_t* block, size_t length, Dib& out) {
    out.reset();
    if (!block || length < kInfoHeaderSize || rd32(block) != kInfoHeaderSize || rd32(block + 16) != 0) return kBadDib;
    const int32_t w = int32_t(rd32(block + 4)), h = int32_t(rd32(block + 8));
    const unsigned bits = rd16(block + 14);
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return kBadDib;
    if (w <= 0 || h <= 0 || uint64_t(w) * uint64_t(h) > kMaxPixels) return kBadDib;
    const uint32_t colours = paletteSize(bits);
    const uint32_t used = rd32(block + 32);  // 0 counts as the full table
    if (used != colours && !(used == 0 && bits <= 8)) return kBadDib;
    const uint64_t stride = dibStride(uint64_t(w), bits);
    const uint64_t size = kInfoHeaderSize + 4 * uint64_t(colours) + stride * uint64_t(h);
    if (size > length) return kBadDib;
    out.block_ = const_cast<uint8_t*>(block);
    out.size_ = size_t(size);
    out.stride_ = size_t(stride);
    out.width_ = w;
    out.height_ = h;
    out.bits_ = bits;
    out.colours_ = colours;
    out.owned_ = false;
    return kOk;
}

Status Dib::createLike(const Dib& like, Dib& out) {
    Status s = create(like.width(), like.height(), like.bits(), out);
    if (s == kOk && like.colours()) std::memcpy(out.palette(), like.palette(), 4 * size_t(like.colours()));
    return s;
}

void rowToBgr(const Dib& dib, int32_t y, uint8_t* bgr) {
    const uint8_t* row = dib.row(y);
    const int32_t w = dib.width();
    switch (dib.bits()) {
        case 1:
        case 4:
        case 8: {
            const Colour* pal = dib.palette();
            for (int32_t x = 0; x < w; ++x) {
                const Colour& c = pal[indexAt(row, x, dib.bits())];
                bgr[0] = c.blue;
                bgr[1] = c.green;
                bgr[2] = c.red;
                bgr += 3;
            }
            break;
        }
        case 16:
            for (int32_t x = 0; x < w; ++x) {
                const unsigned v = rd16(row + 2 * x);
                const unsigned b = v & 31, g = (v >> 5) & 31, r = (v >> 10) & 31;
                bgr[0] = uint8_t(b << 3 | b >> 2);
                bgr[1] = uint8_t(g << 3 | g >> 2);
                bgr[2] = uint8_t(r << 3 | r >> 2);
                bgr += 3;
            }
            break;
        case 24: std::memcpy(bgr, row, size_t(w) * 3); break;
        default:
            for (int32_t x = 0; x < w; ++x) {
                bgr[0] = row[4 * x];
                bgr[1] = row[4 * x + 1];
                bgr[2] = row[4 * x + 2];
                bgr += 3;
            }
    }
}

// ---------------------------------------------------------------------------------------
// Outside DIBs.

namespace {

struct Header {
    uint32_t size = 0;
    int64_t width = 0, height = 0;
    unsigned bits = 0;
    uint32_t compression = 0;
    uint32_t clrUsed = 0;
    bool core = false;  // 12-byte header with 3-byte colour entries
    bool topDown = false;
    uint32_t masks[4] = {};
    size_t masksAfterHeader = 0;  // bytes of masks after a 40-byte header
};

constexpr uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitfields = 3, kAlphaBitfields = 6;

Status readHeader(const uint8_t* info, size_t length, Header& h) {
    if (length < 4) return kTruncated;
    h.size = rd32(info);
    if (h.size == 12) {
        if (length < 12) return kTruncated;
        h.core = true;
        h.width = rd16(info + 4);
        h.height = rd16(info + 6);
        h.bits = rd16(info + 10);
    } else {
        // 16 and 64: OS/2 2.x; 52 and 56: with masks; 108 and 124: V4 and V5.
        switch (h.size) {
            case 16: case 40: case 52: case 56: case 64: case 108: case 124: break;
            default: return kBadFormat;
        }
        if (length < h.size) return kTruncated;
        h.width = int32_t(rd32(info + 4));
        h.height = int32_t(rd32(info + 8));
        h.bits = rd16(info + 14);
        if (h.size >= 20) h.compression = rd32(info + 16);
        if (h.size >= 36) h.clrUsed = rd32(info + 32);
        if (h.height < 0) {
            h.height = -h.height;
            h.topDown = true;
        }
        if (h.compression == kBitfields || h.compression == kAlphaBitfields) {
            const size_t n = h.compression == kBitfields ? 3 : 4;
            if (h.size == 40) {
                h.masksAfterHeader = 4 * n;
                if (length < 40 + 4 * n) return kTruncated;
                for (size_t i = 0; i < n; ++i) h.masks[i] = rd32(info + 40 + 4 * i);
            } else if (h.size >= 52) {
                for (size_t i = 0; i < 3; ++i) h.masks[i] = rd32(info + 40 + 4 * i);
                if (h.size >= 56) h.masks[3] = rd32(info + 52);
            } else {
                return kBadFormat;
            }
        }
    }
    if (h.width <= 0 || h.height <= 0) return kBadFormat;
    switch (h.bits) {
        case 1: case 2: case 4: case 8: case 16: case 24: case 32: break;
        default: return kBadFormat;
    }
    switch (h.compression) {
        case kRgb: break;
        case kRle8: if (h.bits != 8) return kBadFormat; break;
        case kRle4: if (h.bits != 4) return kBadFormat; break;
        case kBitfields:
        case kAlphaBitfields:
            if (h.bits != 16 && h.bits != 32) return kBadFormat;
            break;
        default: return kUnsupported;  // JPEG or PNG inside, OS/2 Huffman and RLE24
    }
    if (h.clrUsed > 256) return kBadFormat;
    return kOk;
}

size_t tableEntries(const Header& h) {
    if (h.clrUsed) return h.clrUsed;
    return h.bits <= 8 ? size_t(1) << h.bits : 0;
}

// One colour channel of a mask: shift and width; false when the mask is not one run of
// ones (an empty mask is a channel of 0).
bool maskShape(uint32_t mask, unsigned& shift, unsigned& width) {
    shift = width = 0;
    if (!mask) return true;
    while (!(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    while (mask & 1) {
        mask >>= 1;
        ++width;
    }
    return mask == 0;
}

struct Channel {
    uint32_t mask;
    unsigned shift, width;
    uint8_t take(uint32_t v) const {
        if (!width) return 0;
        const uint32_t c = (v & mask) >> shift;
        const uint32_t maxv = width >= 32 ? 0xFFFFFFFFu : (1u << width) - 1;
        return uint8_t((uint64_t(c) * 255 + maxv / 2) / maxv);
    }
};

Status decodeRle(const Header& h, const uint8_t* data, size_t length, Dib& out, Progress& progress) {
    const int32_t w = out.width(), ht = out.height();
    const bool four = h.compression == kRle4;
    int64_t x = 0, line = 0;  // line counted in file order (bottom-up unless top-down)
    size_t i = 0;
    auto rowOf = [&](int64_t l) { return h.topDown ? out.row(int32_t(l)) : out.row(int32_t(ht - 1 - l)); };
    auto put = [&](unsigned v) {
        if (x < w && line < ht) setIndex(rowOf(line), int32_t(x), four ? 4 : 8, v);
        ++x;
    };
    while (i + 1 < length && line < ht) {
        const unsigned count = data[i], value = data[i + 1];
        i += 2;
        if (count) {
            for (unsigned k = 0; k < count && x < w; ++k) put(four ? (k & 1 ? value & 15 : value >> 4) : value);
            continue;
        }
        if (value == 0) {  // end of line
            x = 0;
            ++line;
            if (!progress.rows(line, ht)) return kCancelled;
        } else if (value == 1) {  // end of picture
            break;
        } else if (value == 2) {  // delta
            if (i + 1 >= length) break;
            x += data[i];
            line += data[i + 1];
            i += 2;
        } else {  // absolute run of `value` pixels, padded to a 16-bit boundary
            const size_t bytes = four ? (value + 1) / 2 : value;
            if (i + bytes > length) return kTruncated;
            for (unsigned k = 0; k < value; ++k) {
                const uint8_t b = data[i + (four ? k / 2 : k)];
                put(four ? (k & 1 ? b & 15 : b >> 4) : b);
            }
            i += bytes + (bytes & 1);
        }
    }
    return kOk;
}

}  // namespace

size_t packedBitsOffset(const uint8_t* info, size_t length) {
    Header h;
    if (readHeader(info, length, h) != kOk) return 0;
    return size_t(h.size) + h.masksAfterHeader + tableEntries(h) * (h.core ? 3 : 4);
}

Status decodeDib(const DibSource& src, Dib& out, Progress& progress) {
    out.reset();
    Header h;
    if (Status s = readHeader(src.info, src.infoLength, h); s != kOk) return s;
    const size_t entryBytes = h.core ? 3 : 4;
    const size_t entries = tableEntries(h);
    const size_t tableAt = size_t(h.size) + h.masksAfterHeader;
    if (tableAt + entries * entryBytes > src.infoLength) return kTruncated;

    // The form it takes.
    unsigned outBits = h.bits;
    Channel ch[3] = {};
    bool masked = h.compression == kBitfields || h.compression == kAlphaBitfields;
    if (h.bits == 2) outBits = 4;
    if (masked) {
        for (int c = 0; c < 3; ++c) {
            ch[c].mask = h.masks[c];
            if (!maskShape(ch[c].mask, ch[c].shift, ch[c].width)) return kBadFormat;
        }
        const bool standard16 = h.bits == 16 && h.masks[0] == 0x7C00 && h.masks[1] == 0x03E0 && h.masks[2] == 0x001F;
        const bool standard32 =
            h.bits == 32 && h.masks[0] == 0xFF0000 && h.masks[1] == 0xFF00 && h.masks[2] == 0xFF;
        if (standard16 || standard32) masked = false;
        else outBits = 24;
    }
    if (Status s = checkPictureSize(h.width, h.height, outBits); s != kOk) return s;
    if (Status s = Dib::create(int32_t(h.width), int32_t(h.height), outBits, out); s != kOk) return s;

    const size_t keep = std::min<size_t>(entries, outBits <= 8 ? size_t(1) << h.bits : 0);
    for (size_t e = 0; e < keep; ++e) {
        const uint8_t* p = src.info + tableAt + e * entryBytes;
        out.palette()[e] = Colour{p[0], p[1], p[2], 0};
    }

    const int32_t w = out.width(), ht = out.height();
    if (h.compression == kRle8 || h.compression == kRle4) {
        Status s = decodeRle(h, src.bits, src.bitsLength, out, progress);
        if (s != kOk) out.reset();
        return s;
    }

    const uint64_t inStride = dibStride(uint64_t(w), h.bits);
    const uint64_t lastRow = (uint64_t(w) * h.bits + 7) / 8;
    if (!src.bits || inStride * uint64_t(ht - 1) + lastRow > src.bitsLength) {
        out.reset();
        return kTruncated;
    }
    for (int32_t line = 0; line < ht; ++line) {
        const uint8_t* in = src.bits + size_t(inStride) * size_t(line);
        uint8_t* o = h.topDown ? out.row(line) : out.row(ht - 1 - line);
        const size_t inBytes = line == ht - 1 ? size_t(lastRow) : size_t(inStride);
        if (h.bits == 2) {
            for (int32_t x = 0; x < w; ++x) setIndex(o, x, 4, (in[x >> 2] >> (6 - 2 * (x & 3))) & 3);
        } else if (masked) {
            for (int32_t x = 0; x < w; ++x) {
                const uint32_t v = h.bits == 16 ? rd16(in + 2 * x) : rd32(in + 4 * x);
                o[3 * x] = ch[2].take(v);
                o[3 * x + 1] = ch[1].take(v);
                o[3 * x + 2] = ch[0].take(v);
            }
        } else {
            std::memcpy(o, in, std::min(inBytes, out.stride()));
        }
        if (!progress.rows(line + 1, ht)) {
            out.reset();
            return kCancelled;
        }
    }
    return kOk;
}

Status decodePackedDib(const uint8_t* block, size_t length, Dib& out, Progress& progress) {
    const size_t at = packedBitsOffset(block, length);
    if (!at) {
        Header h;
        Status s = readHeader(block, length, h);
        return s == kOk ? kBadDib : s;
    }
    if (at > length) return kTruncated;
    return decodeDib(DibSource{block, length, block + at, length - at}, out, progress);
}

}  // namespace img

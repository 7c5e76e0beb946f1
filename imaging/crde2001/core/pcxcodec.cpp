#include <algorithm>

#include "codecs.h"

namespace img {

namespace {

constexpr size_t kPcxHeader = 128;

struct PcxHeader {
    unsigned version = 0, encoding = 0, bpp = 0, planes = 0;
    int64_t width = 0, height = 0;
    size_t bytesPerLine = 0;
};

Status readPcxHeader(const uint8_t* data, size_t size, PcxHeader& h) {
    if (size < 1 || data[0] != 0x0A) return kBadFormat;
    if (size < kPcxHeader) return kTruncated;
    h.version = data[1];
    h.encoding = data[2];
    h.bpp = data[3];
    const int xmin = rd16(data + 4), ymin = rd16(data + 6), xmax = rd16(data + 8), ymax = rd16(data + 10);
    h.planes = data[65];
    h.bytesPerLine = rd16(data + 66);
    if (h.version > 5 || h.encoding > 1 || xmax < xmin || ymax < ymin) return kBadFormat;
    h.width = int64_t(xmax) - xmin + 1;
    h.height = int64_t(ymax) - ymin + 1;
    const bool known = (h.planes == 1 && (h.bpp == 1 || h.bpp == 2 || h.bpp == 4 || h.bpp == 8)) ||
                       (h.bpp == 1 && h.planes >= 2 && h.planes <= 4) || (h.bpp == 8 && (h.planes == 3 || h.planes == 4));
    if (!known) return kUnsupported;
    if (h.bytesPerLine < (uint64_t(h.width) * h.bpp + 7) / 8) return kBadFormat;
    return kOk;
}

}  // namespace

Status readPcx(const uint8_t* data, size_t size, Dib& out, Progress& progress) {
    out.reset();
    PcxHeader h;
    if (Status s = readPcxHeader(data, size, h); s != kOk) return s;
    const unsigned bits = h.planes == 1 ? (h.bpp == 1 ? 1 : h.bpp == 8 ? 8 : 4) : h.bpp == 1 ? 4 : 24;
    if (Status s = checkPictureSize(h.width, h.height, bits); s != kOk) return s;
    const size_t line = h.bytesPerLine * h.planes;
    std::vector<uint8_t> scan;
    try {
        scan.resize(line);
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    }
    if (Status s = Dib::create(int32_t(h.width), int32_t(h.height), bits, out); s != kOk) return s;

    // Colour table: 8 bits from the 769 bytes at the end, fewer from the header.
    Colour* pal = out.palette();
    if (bits == 8) {
        if (size >= kPcxHeader + 769 && data[size - 769] == 0x0C) {
            const uint8_t* p = data + size - 768;
            for (int i = 0; i < 256; ++i) pal[i] = Colour{p[3 * i + 2], p[3 * i + 1], p[3 * i], 0};
        } else {
            for (int i = 0; i < 256; ++i) pal[i] = Colour{uint8_t(i), uint8_t(i), uint8_t(i), 0};
        }
    } else if (bits <= 4) {
        const uint8_t* p = data + 16;
        const unsigned n = bits == 1 ? 2 : 16;
        for (unsigned i = 0; i < n; ++i) pal[i] = Colour{p[3 * i + 2], p[3 * i + 1], p[3 * i], 0};
        // A monochrome file with a blank table is black and white.
        if (bits == 1 && pal[0] == pal[1]) pal[1] = Colour{255, 255, 255, 0};
    }

    const int32_t w = out.width(), ht = out.height();
    size_t at = kPcxHeader;
    const size_t end = bits == 8 && size >= kPcxHeader + 769 && data[size - 769] == 0x0C ? size - 769 : size;
    size_t pending = 0;  // bytes of a run still to give
    uint8_t runValue = 0;
    for (int32_t y = 0; y < ht; ++y) {
        // One scan line of every plane; runs may go on into the next line.
        for (size_t i = 0; i < line;) {
            if (pending) {
                const size_t n = std::min(pending, line - i);
                std::fill_n(scan.data() + i, n, runValue);
                i += n;
                pending -= n;
                continue;
            }
            if (at >= end) {
                // A file cut short: the rest of the picture stays black.
                std::fill(scan.begin() + ptrdiff_t(i), scan.end(), uint8_t(0));
                i = line;
                break;
            }
            const uint8_t b = data[at++];
            if (h.encoding == 1 && (b & 0xC0) == 0xC0) {
                if (at >= end) {
                    scan[i++] = 0;
                    continue;
                }
                pending = b & 0x3F;
                runValue = data[at++];
            } else {
                scan[i++] = b;
            }
        }
        uint8_t* o = out.row(y);
        const uint8_t* s = scan.data();
        const size_t bpl = h.bytesPerLine;
        if (h.planes == 1 && (h.bpp == 1 || h.bpp == 4 || h.bpp == 8)) {
            std::copy_n(s, std::min(bpl, out.stride()), o);
        } else if (h.planes == 1 && h.bpp == 2) {
            for (int32_t x = 0; x < w; ++x) setIndex(o, x, 4, (s[x >> 2] >> (6 - 2 * (x & 3))) & 3);
        } else if (h.bpp == 1) {
            for (int32_t x = 0; x < w; ++x) {
                unsigned v = 0;
                for (unsigned p = 0; p < h.planes; ++p) v |= unsigned((s[p * bpl + size_t(x >> 3)] >> (7 - (x & 7))) & 1) << p;
                setIndex(o, x, 4, v);
            }
        } else {
            for (int32_t x = 0; x < w; ++x) {
                o[3 * x] = s[2 * bpl + size_t(x)];
                o[3 * x + 1] = s[bpl + size_t(x)];
                o[3 * x + 2] = s[size_t(x)];
            }
        }
        if (!progress.rows(y + 1, ht)) {
            out.reset();
            return kCancelled;
        }
    }
    return kOk;
}

namespace {

void putRle(Bytes& out, const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n;) {
        size_t run = 1;
        while (i + run < n && run < 63 && p[i + run] == p[i]) ++run;
        if (run > 1 || (p[i] & 0xC0) == 0xC0) out.push_back(uint8_t(0xC0 | run));
        out.push_back(p[i]);
        i += run;
    }
}

}  // namespace

Status writePcx(const Dib& dib, Bytes& out, Progress& progress) {
    if (dib.empty()) return kBadDib;
    const unsigned bits = dib.bits();
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24) return kBadArgument;
    const int32_t w = dib.width(), h = dib.height();
    if (w > 65535 || h > 65535) return kTooLarge;
    const unsigned planes = bits == 4 ? 4 : bits == 24 ? 3 : 1;
    const unsigned bpp = bits == 4 ? 1 : bits == 24 ? 8 : bits;
    size_t bpl = (size_t(w) * bpp + 7) / 8;
    bpl += bpl & 1;
    if (bpl > 65535) return kTooLarge;
    try {
        out.assign(kPcxHeader, 0);
        // Run-length at worst doubles a byte: room for that (untouched room costs nothing).
        out.reserve(kPcxHeader + 2 * bpl * planes * size_t(h) + 769);
        uint8_t* hd = out.data();
        hd[0] = 0x0A;
        hd[1] = 5;
        hd[2] = 1;
        hd[3] = uint8_t(bpp);
        wr16(hd + 8, uint16_t(w - 1));
        wr16(hd + 10, uint16_t(h - 1));
        wr16(hd + 12, 75);
        wr16(hd + 14, 75);
        if (bits <= 4)
            for (uint32_t i = 0; i < dib.colours(); ++i) {
                hd[16 + 3 * i] = dib.palette()[i].red;
                hd[17 + 3 * i] = dib.palette()[i].green;
                hd[18 + 3 * i] = dib.palette()[i].blue;
            }
        hd[65] = uint8_t(planes);
        wr16(hd + 66, uint16_t(bpl));
        wr16(hd + 68, 1);
        std::vector<uint8_t> plane(bpl);
        for (int32_t y = 0; y < h; ++y) {
            const uint8_t* row = dib.row(y);
            for (unsigned p = 0; p < planes; ++p) {
                std::fill(plane.begin(), plane.end(), uint8_t(0));
                if (bits == 4) {
                    for (int32_t x = 0; x < w; ++x)
                        if ((indexAt(row, x, 4) >> p) & 1) plane[size_t(x >> 3)] |= uint8_t(0x80 >> (x & 7));
                } else if (bits == 24) {
                    for (int32_t x = 0; x < w; ++x) plane[size_t(x)] = row[3 * x + 2 - p];
                } else {
                    std::copy_n(row, (size_t(w) * bits + 7) / 8, plane.begin());
                }
                putRle(out, plane.data(), bpl);
            }
            if (!progress.rows(y + 1, h)) return kCancelled;
        }
        if (bits == 8) {
            out.push_back(0x0C);
            for (int i = 0; i < 256; ++i) {
                out.push_back(dib.palette()[i].red);
                out.push_back(dib.palette()[i].green);
                out.push_back(dib.palette()[i].blue);
            }
        }
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    }
    return kOk;
}

}  // namespace img

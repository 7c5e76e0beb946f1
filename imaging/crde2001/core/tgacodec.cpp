#include <algorithm>
#include <cstring>

#include "codecs.h"

namespace img {

namespace {

constexpr size_t kTgaHeader = 18;
constexpr char kTgaSignature[] = "TRUEVISION-XFILE.";

// One pixel of the file as blue, green, red, fourth byte.
inline void pixelBgra(const uint8_t* p, unsigned bytes, uint8_t* o) {
    if (bytes == 2) {
        const unsigned v = rd16(p);
        const unsigned b = v & 31, g = (v >> 5) & 31, r = (v >> 10) & 31;
        o[0] = uint8_t(b << 3 | b >> 2);
        o[1] = uint8_t(g << 3 | g >> 2);
        o[2] = uint8_t(r << 3 | r >> 2);
        o[3] = 0;
    } else {
        o[0] = p[0];
        o[1] = p[1];
        o[2] = p[2];
        o[3] = bytes == 4 ? p[3] : 0;
    }
}

}  // namespace

Status readTga(const uint8_t* data, size_t size, Dib& out, Progress& progress) {
    out.reset();
    if (size < kTgaHeader) return kTruncated;
    const unsigned idLength = data[0], mapType = data[1], type = data[2];
    const unsigned mapFirst = rd16(data + 3), mapLength = rd16(data + 5), mapEntry = data[7];
    const int64_t w = rd16(data + 12), h = rd16(data + 14);
    const unsigned depth = data[16], descriptor = data[17];
    const bool rle = type >= 9;
    const unsigned base = rle ? type - 8 : type;
    if (mapType > 1 || (base != 1 && base != 2 && base != 3)) return kBadFormat;
    if (base == 1 && (mapType != 1 || (depth != 8 && depth != 16))) return kBadFormat;
    if (base == 2 && depth != 15 && depth != 16 && depth != 24 && depth != 32) return kBadFormat;
    if (base == 3 && depth != 8 && depth != 16) return kBadFormat;
    if (mapType == 1 && mapEntry != 15 && mapEntry != 16 && mapEntry != 24 && mapEntry != 32) return kBadFormat;
    if (w == 0 || h == 0) return kBadFormat;

    const unsigned mapBytes = (mapEntry + 7) / 8;
    size_t at = kTgaHeader + idLength;
    const size_t mapAt = at;
    if (mapType == 1) at += size_t(mapLength) * mapBytes;
    if (at > size) return kTruncated;

    const unsigned pixelBytes = (depth + 7) / 8;
    // Colour-mapped pictures of up to 256 entries stay indexed; bigger maps give 24 bits.
    unsigned bits;
    if (base == 1) bits = depth == 8 && mapFirst + mapLength <= 256 ? 8 : 24;
    else if (base == 3) bits = 8;
    else bits = depth <= 16 ? 16 : depth;
    if (Status s = checkPictureSize(w, h, bits); s != kOk) return s;
    if (Status s = Dib::create(int32_t(w), int32_t(h), bits, out); s != kOk) return s;

    auto mapColour = [&](unsigned index, uint8_t* o) {
        if (index < mapFirst || index - mapFirst >= mapLength) {
            o[0] = o[1] = o[2] = o[3] = 0;
            return;
        }
        pixelBgra(data + mapAt + size_t(index - mapFirst) * mapBytes, mapBytes, o);
    };
    if (bits == 8) {
        Colour* pal = out.palette();
        for (unsigned i = 0; i < 256; ++i) {
            uint8_t c[4];
            if (base == 3) c[0] = c[1] = c[2] = uint8_t(i);
            else mapColour(i, c);
            pal[i] = Colour{c[0], c[1], c[2], 0};
        }
    }

    const bool topDown = descriptor & 0x20, rightToLeft = descriptor & 0x10;
    const int32_t width = out.width(), height = out.height();
    uint8_t pixel[4] = {};
    unsigned runLeft = 0;
    bool runRepeat = false;
    for (int32_t line = 0; line < height; ++line) {
        uint8_t* o = out.row(topDown ? line : height - 1 - line);
        for (int32_t i = 0; i < width; ++i) {
            // The next pixel of the file.
            if (rle) {
                if (!runLeft) {
                    if (at >= size) break;
                    const uint8_t head = data[at++];
                    runLeft = (head & 0x7F) + 1u;
                    runRepeat = head & 0x80;
                    if (runRepeat) {
                        if (at + pixelBytes > size) break;
                        std::memcpy(pixel, data + at, pixelBytes);
                        at += pixelBytes;
                    }
                }
                if (!runRepeat) {
                    if (at + pixelBytes > size) break;
                    std::memcpy(pixel, data + at, pixelBytes);
                    at += pixelBytes;
                }
                --runLeft;
            } else {
                if (at + pixelBytes > size) break;  // cut short: the rest stays black
                std::memcpy(pixel, data + at, pixelBytes);
                at += pixelBytes;
            }
            const int32_t x = rightToLeft ? width - 1 - i : i;
            if (bits == 8) {
                o[x] = pixel[0];  // grey with alpha: its grey byte
            } else if (base == 1) {
                uint8_t c[4];
                mapColour(pixelBytes == 2 ? rd16(pixel) : pixel[0], c);
                std::memcpy(o + 3 * x, c, 3);
            } else if (bits == 16) {
                wr16(o + 2 * x, uint16_t(rd16(pixel) & 0x7FFF));
            } else {
                std::memcpy(o + x * int32_t(pixelBytes), pixel, pixelBytes);
            }
        }
        if (!progress.rows(line + 1, height)) {
            out.reset();
            return kCancelled;
        }
    }
    return kOk;
}

Status writeTga(const Dib& dib, bool rle, const char* id, Bytes& out, Progress& progress) {
    if (dib.empty()) return kBadDib;
    const unsigned bits = dib.bits();
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return kBadArgument;
    const int32_t w = dib.width(), h = dib.height();
    if (w > 65535 || h > 65535) return kTooLarge;
    const size_t idLength = id ? strnlen(id, 255) : 0;
    const unsigned bytes = bits / 8;
    try {
        out.assign(kTgaHeader, 0);
        out[0] = uint8_t(idLength);
        out[1] = bits == 8 ? 1 : 0;
        out[2] = uint8_t((bits == 8 ? 1 : 2) + (rle ? 8 : 0));
        if (bits == 8) {
            wr16(out.data() + 5, 256);
            out[7] = 24;
        }
        wr16(out.data() + 12, uint16_t(w));
        wr16(out.data() + 14, uint16_t(h));
        out[16] = uint8_t(bits);
        out[17] = 0;  // bottom-up; no alpha bits claimed
        out.insert(out.end(), id, id + idLength);
        if (bits == 8)
            for (int i = 0; i < 256; ++i) {
                const Colour& c = dib.palette()[i];
                out.push_back(c.blue);
                out.push_back(c.green);
                out.push_back(c.red);
            }
        // Raw packets add a byte per 128 pixels at worst.
        out.reserve(out.size() + size_t(w) * size_t(h) * bytes + size_t(w / 128 + 2) * size_t(h) + 64);
        for (int32_t y = h - 1; y >= 0; --y) {
            const uint8_t* row = dib.row(y);
            if (!rle) {
                out.insert(out.end(), row, row + size_t(w) * bytes);
            } else {
                // Packets stay within a row.
                for (int32_t x = 0; x < w;) {
                    int32_t run = 1;
                    while (x + run < w && run < 128 &&
                           std::memcmp(row + size_t(x + run) * bytes, row + size_t(x) * bytes, bytes) == 0)
                        ++run;
                    if (run > 1) {
                        out.push_back(uint8_t(0x80 | (run - 1)));
                        out.insert(out.end(), row + size_t(x) * bytes, row + size_t(x + 1) * bytes);
                        x += run;
                        continue;
                    }
                    int32_t raw = 1;
                    while (x + raw < w && raw < 128 &&
                           (x + raw + 1 >= w || std::memcmp(row + size_t(x + raw) * bytes,
                                                            row + size_t(x + raw + 1) * bytes, bytes) != 0))
                        ++raw;
                    out.push_back(uint8_t(raw - 1));
                    out.insert(out.end(), row + size_t(x) * bytes, row + size_t(x + raw) * bytes);
                    x += raw;
                }
            }
            if (!progress.rows(h - y, h)) return kCancelled;
        }
        // The version 2 footer without extension or developer areas.
        const uint8_t zeros[8] = {};
        out.insert(out.end(), zeros, zeros + 8);
        out.insert(out.end(), kTgaSignature, kTgaSignature + sizeof kTgaSignature);
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    }
    return kOk;
}

}  // namespace img

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>

#include "codecs.h"
#include "convert.h"

namespace img {

namespace {

std::string lower(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = char(std::tolower(static_cast<unsigned char>(c)));
    return r;
}

bool startsWith(const uint8_t* data, size_t size, const char* magic) {
    const size_t n = std::strlen(magic);
    return size >= n && std::memcmp(data, magic, n) == 0;
}

std::string describe(const char* name, const FileInfo& i, const char* detail) {
    char text[200];
    std::snprintf(text, sizeof text, "%s, %d x %d, %d bits%s%s", name, int(i.width), int(i.height), int(i.bits),
                  *detail ? ", " : "", detail);
    return text;
}

Status bmpInfo(const uint8_t* d, size_t size, FileInfo& i) {
    if (size < 14 + 16) return kTruncated;
    const uint8_t* h = d + 14;
    const uint32_t hs = rd32(h);
    uint32_t compression = 0, used = 0;
    if (hs == 12) {
        i.width = rd16(h + 4);
        i.height = rd16(h + 6);
        i.bits = int16_t(rd16(h + 10));
    } else {
        if (hs < 16 || size < 14 + std::min<size_t>(hs, 40)) return kTruncated;
        i.width = int32_t(rd32(h + 4));
        const int32_t ht = int32_t(rd32(h + 8));
        i.height = ht == INT32_MIN ? 0 : ht < 0 ? -ht : ht;
        i.bits = int16_t(rd16(h + 14));
        if (hs >= 20) compression = rd32(h + 16);
        if (hs >= 36) used = rd32(h + 32);
    }
    i.compression = uint16_t(compression > 0xFFFF ? 0xFFFF : compression);
    i.colours = int16_t(used && used <= 256 ? used : i.bits <= 8 && i.bits > 0 ? 1 << i.bits : 0);
    static const char* const kinds[] = {"uncompressed", "RLE8", "RLE4", "bit fields"};
    i.text = describe("BMP", i, compression < 4 ? kinds[compression] : "other compression");
    return kOk;
}

Status jpegInfo(const uint8_t* d, size_t size, FileInfo& i) {
    size_t at = 2;
    while (at + 4 <= size) {
        if (d[at] != 0xFF) return kBadFormat;
        const uint8_t marker = d[at + 1];
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
            at += 2;
            continue;
        }
        const size_t len = rd16be(d + at + 2);
        if (len < 2) return kBadFormat;
        const bool sof = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (sof) {
            if (len < 8 || at + 2 + len > size) return kTruncated;
            const uint8_t* s = d + at + 4;
            i.height = rd16be(s + 1);
            i.width = rd16be(s + 3);
            i.bits = int16_t(s[0] * s[5]);
            i.compression = uint16_t(marker - 0xC0);
            i.text = describe("JPEG", i, marker == 0xC2 || marker == 0xC6 ? "progressive" : "baseline");
            return kOk;
        }
        if (marker == 0xD9 || marker == 0xDA) break;
        at += 2 + len;
    }
    return kTruncated;
}

Status pngInfo(const uint8_t* d, size_t size, FileInfo& i) {
    if (size < 33) return kTruncated;
    if (std::memcmp(d + 12, "IHDR", 4) != 0) return kBadFormat;
    const uint32_t w = rd32be(d + 16), h = rd32be(d + 20);
    i.width = int32_t(w > 0x7FFFFFFF ? 0x7FFFFFFF : w);
    i.height = int32_t(h > 0x7FFFFFFF ? 0x7FFFFFFF : h);
    const unsigned depth = d[24], type = d[25];
    const unsigned channels = type == 2 ? 3 : type == 4 ? 2 : type == 6 ? 4 : 1;
    i.bits = int16_t(depth * channels);
    i.colours = type == 3 && depth <= 8 ? int16_t(1 << depth) : 0;
    i.compression = d[28];  // interlace method
    const char* kind = type == 3 ? "palette" : type == 0 || type == 4 ? "grey" : "colour";
    char detail[64];
    std::snprintf(detail, sizeof detail, "%s%s", kind, d[28] ? ", interlaced" : "");
    i.text = describe("PNG", i, detail);
    return kOk;
}

Status gifInfo(const uint8_t* d, size_t size, FileInfo& i) {
    if (size < 13) return kTruncated;
    i.width = rd16(d + 6);
    i.height = rd16(d + 8);
    const unsigned flags = d[10];
    i.bits = int16_t((flags & 7) + 1);
    i.colours = flags & 0x80 ? int16_t(1 << ((flags & 7) + 1)) : 0;
    i.compression = 0;
    i.text = describe(d[4] == '9' ? "GIF89a" : "GIF87a", i, "");
    return kOk;
}

Status pcxInfo(const uint8_t* d, size_t size, FileInfo& i) {
    if (size < 128) return kTruncated;
    const int xmin = rd16(d + 4), ymin = rd16(d + 6), xmax = rd16(d + 8), ymax = rd16(d + 10);
    if (xmax < xmin || ymax < ymin) return kBadFormat;
    i.width = xmax - xmin + 1;
    i.height = ymax - ymin + 1;
    i.bits = int16_t(d[3] * d[65]);
    i.colours = i.bits <= 8 ? int16_t(1 << i.bits) : 0;
    i.compression = d[2];
    i.text = describe("PCX", i, d[2] ? "run-length" : "uncompressed");
    return kOk;
}

bool tgaHeaderSane(const uint8_t* d, size_t size) {
    if (size < 18) return false;
    const unsigned mapType = d[1], type = d[2], depth = d[16];
    const unsigned base = type >= 9 ? type - 8 : type;
    return mapType <= 1 && (base == 1 || base == 2 || base == 3) && type <= 11 &&
           (depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32) && rd16(d + 12) && rd16(d + 14);
}

Status tgaInfo(const uint8_t* d, size_t size, FileInfo& i) {
    if (!tgaHeaderSane(d, size)) return kBadFormat;
    i.width = rd16(d + 12);
    i.height = rd16(d + 14);
    i.bits = d[16];
    i.colours = d[2] == 1 || d[2] == 9 ? int16_t(std::min<unsigned>(rd16(d + 5), 0x7FFF)) : 0;
    i.compression = d[2] >= 9 ? 1 : 0;
    i.text = describe("TGA", i, i.compression ? "run-length" : "uncompressed");
    return kOk;
}

bool isDxf(const uint8_t* d, size_t size) {
    if (startsWith(d, size, "AutoCAD Binary DXF")) return true;
    size_t at = 0;
    while (at < size && (d[at] == ' ' || d[at] == '\t')) ++at;
    if (at >= size || d[at] != '0') return false;
    ++at;
    while (at < size && (d[at] == '\r' || d[at] == '\n' || d[at] == ' ')) ++at;
    return size - at >= 7 && std::memcmp(d + at, "SECTION", 7) == 0;
}

}  // namespace

Status fileInfo(const uint8_t* data, size_t size, std::string_view extension, FileInfo& info) {
    info = FileInfo{};
    const std::string ext = lower(extension);
    if (startsWith(data, size, "BM")) {
        info.type = "bmp";
        return bmpInfo(data, size, info);
    }
    if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) {
        info.type = "jpg";
        return jpegInfo(data, size, info);
    }
    if (startsWith(data, size, "\x89PNG\r\n\x1a\n")) {
        info.type = "png";
        return pngInfo(data, size, info);
    }
    if (startsWith(data, size, "GIF87a") || startsWith(data, size, "GIF89a")) {
        info.type = "gif";
        return gifInfo(data, size, info);
    }
    if (startsWith(data, size, "II*") || startsWith(data, size, "MM")) {
        Status s = tiffInfo(data, size, 0, info);
        if (s == kOk || !startsWith(data, size, "MM")) return s;
    }
    if ((size >= 2048 + 7 && std::memcmp(data + 2048, "PCD_IPI", 7) == 0) || startsWith(data, size, "PCD_OPA") ||
        ext == ".pcd") {
        info.type = "pcd";
        info.text = "Photo CD";
        return kNoPhotoCd;
    }
    if (startsWith(data, size, "%!PS") || startsWith(data, size, "\xC5\xD0\xD3\xC6") || ext == ".eps") {
        info.type = "eps";
        info.text = "Encapsulated PostScript";
        return kNoEps;
    }
    if (isDxf(data, size) || ext == ".dxf") {
        info.type = "dxf";
        info.text = "DXF drawing";
        return kNoDxf;
    }
    if (size >= 128 && data[0] == 0x0A && data[1] <= 5 && data[2] <= 1 &&
        (data[3] == 1 || data[3] == 2 || data[3] == 4 || data[3] == 8)) {
        info.type = "pcx";
        return pcxInfo(data, size, info);
    }
    // TGA has no signature: its footer, or its name and a header that makes sense.
    const bool footer = size >= 18 + 26 && std::memcmp(data + size - 18, "TRUEVISION-XFILE.", 18) == 0;
    if (footer || ((ext == ".tga" || ext == ".vda" || ext == ".icb" || ext == ".vst") && tgaHeaderSane(data, size))) {
        info.type = "tga";
        return tgaInfo(data, size, info);
    }
    return kBadFormat;
}

Status prepareForWrite(const Dib& src, Format format, unsigned bits, int tiffCompression, Dib& holder,
                       const Dib*& use, Progress& progress) {
    use = nullptr;
    if (src.empty()) return kBadDib;
    if (bits == 0) bits = src.bits();
    if (bits > 32) return kBadArgument;
    auto indexedOrTrue = [](unsigned b) -> unsigned { return b == 1 ? 1 : b <= 4 ? 4 : b <= 8 ? 8 : 24; };
    unsigned target = 0;
    switch (format) {
        case Format::Bmp: target = bits == 16 || bits == 32 ? bits : indexedOrTrue(bits); break;
        case Format::Pcx:
        case Format::Png: target = indexedOrTrue(bits); break;
        case Format::Tga: target = bits <= 8 ? 8 : bits == 16 || bits == 32 ? bits : 24; break;
        case Format::Gif: target = bits > 8 ? 8 : indexedOrTrue(bits); break;
        case Format::Jpeg: use = &src; return kOk;  // the writer takes any depth
        case Format::Tiff: {
            const bool fax = tiffCompression == kTiffCcitt || tiffCompression == kTiffFax3 || tiffCompression == kTiffFax4;
            const bool jpeg = tiffCompression == kTiffJpeg || tiffCompression == kTiffOldJpeg;
            target = fax ? 1 : jpeg ? (bits <= 8 ? 8 : 24) : indexedOrTrue(bits);
            break;
        }
    }
    if (target == src.bits()) {
        use = &src;
        return kOk;
    }
    Status s = convertDepth(src, target, kDitherFloyd, holder, progress);
    if (s == kOk) use = &holder;
    return s;
}

}  // namespace img

#include <algorithm>
#include <cstring>
#include <new>

#include <gif_lib.h>

#include "codecs.h"

namespace img {

namespace {

struct GifInput {
    const uint8_t* data;
    size_t size, at;
};

int gifRead(GifFileType* gif, GifByteType* out, int length) {
    GifInput* in = static_cast<GifInput*>(gif->UserData);
    const size_t n = std::min(size_t(length < 0 ? 0 : length), in->size - in->at);
    std::memcpy(out, in->data + in->at, n);
    in->at += n;
    return int(n);
}

struct GifCloser {
    GifFileType* gif;
    ~GifCloser() {
        int err = 0;
        if (gif) DGifCloseFile(gif, &err);
    }
};

unsigned bitsForColours(int count) { return count <= 2 ? 1 : count <= 16 ? 4 : 8; }

}  // namespace

Status readGif(const uint8_t* data, size_t size, Dib& out, Progress& progress) {
    out.reset();
    if (size < 6 || std::memcmp(data, "GIF8", 4) != 0) return kBadFormat;
    if (size < 13) return kTruncated;
    GifInput input{data, size, 0};
    int err = 0;
    GifCloser file{DGifOpen(&input, gifRead, &err)};
    GifFileType* gif = file.gif;
    if (!gif) return err == D_GIF_ERR_NOT_ENOUGH_MEM ? kNoMemory : kBadFormat;
    std::vector<uint8_t> line;
    for (;;) {
        GifRecordType type;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR) return kBadFormat;
        if (type == TERMINATE_RECORD_TYPE) return kBadFormat;  // no picture in it
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* ext = nullptr;
            if (DGifGetExtension(gif, &code, &ext) == GIF_ERROR) return kBadFormat;
            while (ext)
                if (DGifGetExtensionNext(gif, &ext) == GIF_ERROR) return kBadFormat;
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE) return kBadFormat;
        if (DGifGetImageDesc(gif) == GIF_ERROR) return kBadFormat;
        const GifImageDesc& d = gif->Image;
        if (d.Width <= 0 || d.Height <= 0) return kBadFormat;
        // The logical screen, or the frame alone when the screen is smaller.
        const int64_t sw = gif->SWidth >= d.Left + d.Width ? gif->SWidth : int64_t(d.Left) + d.Width;
        const int64_t sh = gif->SHeight >= d.Top + d.Height ? gif->SHeight : int64_t(d.Top) + d.Height;
        const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
        const int mapCount = map ? map->ColorCount : 0;
        const unsigned bits = map ? bitsForColours(mapCount) : 8;
        if (Status s = checkPictureSize(sw, sh, bits); s != kOk) return s;
        if (Status s = Dib::create(int32_t(sw), int32_t(sh), bits, out); s != kOk) return s;
        Colour* pal = out.palette();
        if (map) {
            for (int i = 0; i < mapCount && i < 256; ++i)
                pal[i] = Colour{map->Colors[i].Blue, map->Colors[i].Green, map->Colors[i].Red, 0};
        } else {
            for (int i = 0; i < 256; ++i) pal[i] = Colour{uint8_t(i), uint8_t(i), uint8_t(i), 0};
        }
        // The background colour around the frame.
        const unsigned background = unsigned(gif->SBackGroundColor) < (1u << bits) ? unsigned(gif->SBackGroundColor) : 0;
        if (background && (d.Left > 0 || d.Top > 0 || d.Width < sw || d.Height < sh)) {
            const uint8_t fill = uint8_t(bits == 1 ? 0xFF : bits == 4 ? background * 0x11 : background);
            std::memset(out.pixels(), fill, out.imageSize());
        }
        try {
            line.resize(size_t(d.Width));
        } catch (const std::bad_alloc&) {
            out.reset();
            return kNoMemory;
        }
        static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
        int done = 0;
        for (int pass = 0; pass < (d.Interlace ? 4 : 1); ++pass) {
            for (int y = d.Interlace ? kStart[pass] : 0; y < d.Height; y += d.Interlace ? kStep[pass] : 1) {
                if (DGifGetLine(gif, line.data(), d.Width) == GIF_ERROR) {
                    // A picture cut short keeps the lines it has.
                    return done ? kOk : (out.reset(), kTruncated);
                }
                uint8_t* o = out.row(d.Top + y);
                const unsigned mask = (1u << bits) - 1;
                for (int x = 0; x < d.Width; ++x) setIndex(o, d.Left + x, bits, line[size_t(x)] & mask);
                if (!progress.rows(++done, d.Height)) {
                    out.reset();
                    return kCancelled;
                }
            }
        }
        return kOk;
    }
}

namespace {

int gifWrite(GifFileType* gif, const GifByteType* data, int length) {
    Bytes* out = static_cast<Bytes*>(gif->UserData);
    try {
        out->insert(out->end(), data, data + length);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return length;
}

}  // namespace

Status writeGif(const Dib& dib, Bytes& out, Progress& progress) {
    if (dib.empty()) return kBadDib;
    if (dib.bits() != 1 && dib.bits() != 4 && dib.bits() != 8) return kBadArgument;
    const int32_t w = dib.width(), h = dib.height();
    if (w > 65535 || h > 65535) return kTooLarge;
    out.clear();
    const int count = int(dib.colours());
    GifColorType colours[256];
    for (int i = 0; i < count; ++i)
        colours[i] = GifColorType{dib.palette()[i].red, dib.palette()[i].green, dib.palette()[i].blue};
    ColorMapObject* map = GifMakeMapObject(count, colours);
    if (!map) return kNoMemory;
    int err = 0;
    GifFileType* gif = EGifOpen(&out, gifWrite, &err);
    if (!gif) {
        GifFreeMapObject(map);
        return kNoMemory;
    }
    EGifSetGifVersion(gif, false);
    Status status = kOk;
    std::vector<GifPixelType> line;
    try {
        line.resize(size_t(w));
    } catch (const std::bad_alloc&) {
        status = kNoMemory;
    }
    if (status == kOk && (EGifPutScreenDesc(gif, w, h, int(dib.bits()), 0, map) == GIF_ERROR ||
                          EGifPutImageDesc(gif, 0, 0, w, h, false, nullptr) == GIF_ERROR))
        status = kWriteFailed;
    for (int32_t y = 0; y < h && status == kOk; ++y) {
        const uint8_t* row = dib.row(y);
        for (int32_t x = 0; x < w; ++x) line[size_t(x)] = GifPixelType(indexAt(row, x, dib.bits()));
        if (EGifPutLine(gif, line.data(), w) == GIF_ERROR) status = kWriteFailed;
        else if (!progress.rows(y + 1, h)) status = kCancelled;
    }
    if (EGifCloseFile(gif, &err) == GIF_ERROR && status == kOk) status = kWriteFailed;
    GifFreeMapObject(map);
    return status;
}

}  // namespace img

// CRDE2001.DLL: the readers, writers, depth conversions and bitmap exchange. Every
// export catches what the cores may throw and answers a status.
#include <windows.h>

#include <cctype>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "codecs.h"
#include "convert.h"
#include "crde2001.h"
#include "dibhandle_win.h"
#include "gdi_win.h"

using img::Status;

namespace {

bool validDepth(int depth) {
    return depth == 0 || depth == 1 || depth == 4 || depth == 8 || depth == 16 || depth == 24 || depth == 32;
}

// The picture at the depth asked; onto the palette's colours when one is given for a
// depth of 8 or less.
Status finishDepth(img::Dib& pic, int depth, int dither, HPALETTE palette, img::Progress& progress) {
    if (palette && (depth != 0 ? depth <= 8 : pic.bits() <= 8)) {
        const unsigned bits = depth ? unsigned(depth) : pic.bits();
        PALETTEENTRY entries[256];
        const UINT n = GetPaletteEntries(palette, 0, 256, entries);
        if (n > 0) {
            img::Colour colours[256];
            for (UINT i = 0; i < n; ++i) colours[i] = img::Colour{entries[i].peBlue, entries[i].peGreen, entries[i].peRed, 0};
            img::Dib out;
            Status s = img::reduceColours(pic, bits, dither, n, colours, n, out, progress);
            if (s == img::kOk) pic = std::move(out);
            return s;
        }
    }
    if (depth == 0 || unsigned(depth) == pic.bits()) return img::kOk;
    img::Dib out;
    Status s = img::convertDepth(pic, unsigned(depth), dither, out, progress);
    if (s == img::kOk) pic = std::move(out);
    return s;
}

template <class Decode>
short readFile(const char* name, int depth, int dither, HPALETTE palette, HGLOBAL* out, void* control,
               CrdeProgress callback, Decode decode) {
    try {
        if (!out) return img::kBadArgument;
        *out = nullptr;
        if (!validDepth(depth) || dither < 0 || dither > img::kDitherGrey) return img::kBadArgument;
        imgwin::MappedFile file(name);
        if (file.status() != img::kOk) return file.status();
        imgwin::CallProgress cp{callback, control};
        img::Progress progress = cp.progress();
        img::Dib pic;
        Status s = decode(file.data(), file.size(), pic, progress);
        if (s == img::kOk) s = finishDepth(pic, depth, dither, palette, progress);
        if (s == img::kOk) *out = imgwin::handOver(pic);
        return s;
    } catch (const std::bad_alloc&) {
        return img::kNoMemory;
    } catch (...) {
        return img::kUnknownError;
    }
}

// The picture of a DIB handle at the depth the format stores, given to `write`.
template <class Write>
short withPrepared(const char* name, HGLOBAL dib, img::Format format, int bits, int tiffCompression, void* control,
                   CrdeProgress callback, Write write) {
    try {
        if (!imgwin::validFileName(name)) return img::kBadFileName;
        if (bits < 0 || bits > 32) return img::kBadArgument;
        imgwin::LockedDib lock(dib);
        img::Dib holder, prepared;
        Status s = img::kOk;
        const img::Dib* pic = lock.picture(holder, s);
        if (!pic) return s;
        imgwin::CallProgress cp{callback, control};
        img::Progress progress = cp.progress();
        const img::Dib* use = nullptr;
        s = img::prepareForWrite(*pic, format, unsigned(bits), tiffCompression, prepared, use, progress);
        if (s != img::kOk) return s;
        return write(*use, progress);
    } catch (const std::bad_alloc&) {
        return img::kNoMemory;
    } catch (...) {
        return img::kUnknownError;
    }
}

// Encodes into memory, then writes the file.
template <class Encode>
short writeFile(const char* name, HGLOBAL dib, img::Format format, int bits, int tiffCompression, void* control,
                CrdeProgress callback, Encode encode) {
    return withPrepared(name, dib, format, bits, tiffCompression, control, callback,
                        [&](const img::Dib& pic, img::Progress& progress) {
                            img::Bytes bytes;
                            Status s = encode(pic, bytes, progress);
                            return s == img::kOk ? imgwin::writeFileAtomic(name, bytes) : s;
                        });
}

// The extension of a file name, with its dot.
std::string extensionOf(const char* name) {
    const char* dot = std::strrchr(name, '.');
    const char* slash = std::strrchr(name, '\\');
    if (!dot || (slash && dot < slash)) return "";
    return dot;
}

void copyText(char* out, size_t room, const std::string& text) {
    if (!out || !room) return;
    const size_t n = std::min(text.size(), room - 1);
    std::memcpy(out, text.data(), n);
    out[n] = 0;
}

void fillValues(CrdeInfo* values, const img::FileInfo& info) {
    if (!values) return;
    values->width = info.width;
    values->height = info.height;
    values->bits = info.bits;
    values->colours = info.colours;
    values->compression = info.compression;
    values->pages = int16_t(info.pages > 0x7FFF ? 0x7FFF : info.pages);
}

template <class Convert>
HGLOBAL convertHandle(HGLOBAL dib, unsigned fromBits, Convert convert) {
    return imgwin::onHandle(dib, [&](const img::Dib& pic, img::Dib& out) {
        img::Progress none;
        return pic.bits() == fromBits ? convert(pic, out, none) : img::kBadArgument;
    });
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        imgwin::useGlobalMemory();
        crdeSetInstance(instance);
    }
    return TRUE;
}

extern "C" {

short WINAPI fileinfo(const char* name, char* type, CrdeInfo* values, void*, CrdeProgress, char* info, short) {
    try {
        copyText(type, kCrdeTypeLength, "");
        copyText(info, kCrdeInfoLength, "");
        imgwin::MappedFile file(name);
        if (file.status() != img::kOk) return file.status();
        img::FileInfo fi;
        const Status s = img::fileInfo(file.data(), file.size(), extensionOf(name), fi);
        copyText(type, kCrdeTypeLength, fi.type);
        copyText(info, kCrdeInfoLength, fi.text);
        fillValues(values, fi);
        return s;
    } catch (...) {
        return img::kUnknownError;
    }
}

short WINAPI getinfo(const char* name, short page, CrdeInfo* values, WORD* compression, CrdeProgress, void*) {
    try {
        imgwin::MappedFile file(name);
        if (file.status() != img::kOk) return file.status();
        img::FileInfo fi;
        const Status s = img::tiffInfo(file.data(), file.size(), page, fi);
        if (s != img::kOk) return s;
        fillValues(values, fi);
        if (compression) *compression = fi.compression;
        return short(fi.pages > 0 ? fi.pages : 1);
    } catch (...) {
        return img::kUnknownError;
    }
}

short WINAPI readpcdfiledib(const char*, int, int, short, HGLOBAL* dib, void*, CrdeProgress, short) {
    if (dib) *dib = nullptr;
    return img::kNoPhotoCd;
}

short WINAPI readepsfiledib(const char*, int, int, HGLOBAL* dib, void*, CrdeProgress, short) {
    if (dib) *dib = nullptr;
    return img::kNoEps;
}

short WINAPI readdxftoddb(const char*, int, int, HBITMAP* bitmap, HPALETTE* palette, void*, CrdeProgress, short) {
    if (bitmap) *bitmap = nullptr;
    if (palette) *palette = nullptr;
    return img::kNoDxf;
}

short WINAPI getdxfinfo(const char*, int* a, int* b, int* c) {
    for (int* p : {a, b, c})
        if (p) *p = 0;
    return img::kNoDxf;
}

short WINAPI rdjpgfiledib(const char* name, int depth, int scale, int dither, HGLOBAL* dib, HPALETTE palette,
                          void* control, CrdeProgress progress, short) {
    return readFile(name, depth, dither, palette, dib, control, progress,
                    [scale](const uint8_t* d, size_t n, img::Dib& out, img::Progress& p) {
                        return img::readJpeg(d, n, scale, out, p);
                    });
}

short WINAPI rdbmpfiledib(const char* name, int depth, int dither, HGLOBAL* dib, HPALETTE palette, void* control,
                          CrdeProgress progress, short) {
    return readFile(name, depth, dither, palette, dib, control, progress, img::readBmp);
}

short WINAPI rdpngfiledib(const char* name, int depth, int dither, HGLOBAL* dib, HPALETTE palette, void* control,
                          CrdeProgress progress, short) {
    return readFile(name, depth, dither, palette, dib, control, progress, img::readPng);
}

short WINAPI rdpcxfiledib(const char* name, int depth, int dither, HGLOBAL* dib, HPALETTE palette, void* control,
                          CrdeProgress progress, short) {
    return readFile(name, depth, dither, palette, dib, control, progress, img::readPcx);
}

short WINAPI rdgiffiledib(const char* name, int depth, int dither, HGLOBAL* dib, HPALETTE palette, void* control,
                          CrdeProgress progress, short) {
    return readFile(name, depth, dither, palette, dib, control, progress, img::readGif);
}

short WINAPI readtiffiledib(const char* name, int depth, int dither, short page, HGLOBAL* dib, void* control,
                            CrdeProgress progress, short) {
    return readFile(name, depth, dither, nullptr, dib, control, progress,
                    [page](const uint8_t* d, size_t n, img::Dib& out, img::Progress& p) {
                        return img::readTiff(d, n, page, out, p);
                    });
}

short WINAPI readtgafiledib(const char* name, int depth, int dither, HGLOBAL* dib, void* control, CrdeProgress progress,
                            short) {
    return readFile(name, depth, dither, nullptr, dib, control, progress, img::readTga);
}

// The file header, then the picture's own block.
short WINAPI wrbmpfiledib(const char* name, int bits, HGLOBAL dib, void* control, CrdeProgress progress, short) {
    return withPrepared(name, dib, img::Format::Bmp, bits, 0, control, progress, [&](const img::Dib& d, img::Progress&) {
        uint8_t header[14];
        if (Status s = img::bmpFileHeader(d, header); s != img::kOk) return s;
        return imgwin::writeFileAtomic(name, {imgwin::FilePiece{header, 14}, imgwin::FilePiece{d.data(), d.size()}});
    });
}

short WINAPI wrpcxfiledib(const char* name, int bits, HGLOBAL dib, void* control, CrdeProgress progress, short) {
    return writeFile(name, dib, img::Format::Pcx, bits, 0, control, progress, img::writePcx);
}

short WINAPI wrgiffiledib(const char* name, int bits, HGLOBAL dib, void* control, CrdeProgress progress, short) {
    return writeFile(name, dib, img::Format::Gif, bits, 0, control, progress, img::writeGif);
}

short WINAPI wrpngfiledib(const char* name, int bits, int interlaced, HGLOBAL dib, void* control, CrdeProgress progress,
                          short) {
    return writeFile(name, dib, img::Format::Png, bits, 0, control, progress,
                     [interlaced](const img::Dib& d, img::Bytes& b, img::Progress& p) {
                         return img::writePng(d, interlaced != 0, b, p);
                     });
}

short WINAPI wrjpgfiledib(const char* name, int quality, int smoothing, short bits, HGLOBAL dib, void* control,
                          CrdeProgress progress, short) {
    const bool grey = bits > 0 && bits <= 8;
    return writeFile(name, dib, img::Format::Jpeg, 0, 0, control, progress,
                     [=](const img::Dib& d, img::Bytes& b, img::Progress& p) {
                         return img::writeJpeg(d, quality, smoothing, grey, b, p);
                     });
}

short WINAPI writetgafiledib(const char* name, int bits, int rle, const char* id, HGLOBAL dib, void* control,
                             CrdeProgress progress, short) {
    return writeFile(name, dib, img::Format::Tga, bits, 0, control, progress,
                     [=](const img::Dib& d, img::Bytes& b, img::Progress& p) {
                         return img::writeTga(d, rle != 0, id, b, p);
                     });
}

short WINAPI writetiffiledib(const char* name, int compression, short bits, int append, HGLOBAL dib, void* control,
                             CrdeProgress progress, short) {
    // Appending to a file that is there (its bytes read first: a mapped file cannot be
    // replaced); otherwise a new file.
    std::vector<uint8_t> existing;
    try {
        if (append && imgwin::validFileName(name) && GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES) {
            imgwin::MappedFile file(name);
            if (file.status() != img::kOk) return file.status();
            existing.assign(file.data(), file.data() + file.size());
        }
    } catch (const std::bad_alloc&) {
        return img::kNoMemory;
    }
    return writeFile(name, dib, img::Format::Tiff, bits, compression, control, progress,
                     [&](const img::Dib& d, img::Bytes& b, img::Progress& p) {
                         return img::writeTiff(d, compression, existing.empty() ? nullptr : existing.data(),
                                               existing.size(), b, p);
                     });
}

HGLOBAL WINAPI DIB1to4(HGLOBAL dib) {
    return convertHandle(dib, 1, [](const img::Dib& d, img::Dib& o, img::Progress&) { return img::widenIndexed(d, 4, o); });
}
HGLOBAL WINAPI DIB1To8(HGLOBAL dib) {
    return convertHandle(dib, 1, [](const img::Dib& d, img::Dib& o, img::Progress&) { return img::widenIndexed(d, 8, o); });
}
HGLOBAL WINAPI DIB1To24(HGLOBAL dib) {
    return convertHandle(dib, 1, [](const img::Dib& d, img::Dib& o, img::Progress& p) { return img::toTrueColour(d, 24, o, p); });
}
HGLOBAL WINAPI DIB4To8(HGLOBAL dib) {
    return convertHandle(dib, 4, [](const img::Dib& d, img::Dib& o, img::Progress&) { return img::widenIndexed(d, 8, o); });
}
HGLOBAL WINAPI DIB4To24(HGLOBAL dib) {
    return convertHandle(dib, 4, [](const img::Dib& d, img::Dib& o, img::Progress& p) { return img::toTrueColour(d, 24, o, p); });
}
HGLOBAL WINAPI DIB16To24(HGLOBAL dib) {
    return convertHandle(dib, 16, [](const img::Dib& d, img::Dib& o, img::Progress& p) { return img::toTrueColour(d, 24, o, p); });
}
HGLOBAL WINAPI DIB32To24(HGLOBAL dib) {
    return convertHandle(dib, 32, [](const img::Dib& d, img::Dib& o, img::Progress& p) { return img::toTrueColour(d, 24, o, p); });
}

short WINAPI DibtoDdb(const void* dib, HPALETTE* palette, HBITMAP* bitmap) {
    try {
        return crdeDibToDdb(static_cast<const uint8_t*>(dib), palette, bitmap);
    } catch (...) {
        return img::kUnknownError;
    }
}

HGLOBAL WINAPI DdbToDib(HBITMAP bitmap, HPALETTE palette) {
    try {
        return crdeDdbToDib(bitmap, palette);
    } catch (...) {
        return nullptr;
    }
}

}  // extern "C"

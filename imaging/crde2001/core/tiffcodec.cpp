#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include <tiffio.h>

#include "codecs.h"
#include "convert.h"

namespace img {

namespace {

// A TIFF file in memory: read-only over the caller's bytes, or growing in a vector.
struct MemTiff {
    const uint8_t* ro = nullptr;
    size_t roSize = 0;
    Bytes* rw = nullptr;
    uint64_t pos = 0;
    const uint8_t* base() const { return rw ? rw->data() : ro; }
    uint64_t size() const { return rw ? rw->size() : roSize; }
};

tmsize_t memRead(thandle_t h, void* buf, tmsize_t n) {
    MemTiff* m = static_cast<MemTiff*>(h);
    if (n <= 0 || m->pos >= m->size()) return 0;
    const uint64_t k = std::min<uint64_t>(uint64_t(n), m->size() - m->pos);
    std::memcpy(buf, m->base() + m->pos, size_t(k));
    m->pos += k;
    return tmsize_t(k);
}

tmsize_t memWrite(thandle_t h, void* buf, tmsize_t n) {
    MemTiff* m = static_cast<MemTiff*>(h);
    if (!m->rw || n < 0) return -1;
    const uint64_t end = m->pos + uint64_t(n);
    if (end > 0xFFFFFFFFu) return -1;  // classic TIFF keeps 32-bit offsets
    try {
        if (end > m->rw->size()) m->rw->resize(size_t(end));
    } catch (const std::bad_alloc&) {
        return -1;
    }
    std::memcpy(m->rw->data() + m->pos, buf, size_t(n));
    m->pos = end;
    return n;
}

toff_t memSeek(thandle_t h, toff_t off, int whence) {
    MemTiff* m = static_cast<MemTiff*>(h);
    uint64_t from = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? m->pos : m->size();
    const int64_t delta = int64_t(off);
    if (whence == SEEK_SET) from = off;
    else if (delta < 0 && uint64_t(-delta) > from) return toff_t(-1);
    else from += uint64_t(delta);
    m->pos = from;
    return m->pos;
}

int memClose(thandle_t) { return 0; }
toff_t memSize(thandle_t h) { return static_cast<MemTiff*>(h)->size(); }
int memMap(thandle_t h, void** base, toff_t* size) {
    MemTiff* m = static_cast<MemTiff*>(h);
    if (m->rw) return 0;
    *base = const_cast<uint8_t*>(m->ro);
    *size = m->roSize;
    return 1;
}
void memUnmap(thandle_t, void*, toff_t) {}

int quiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// An open TIFF, closed at scope end.
struct Tiff {
    TIFF* tif = nullptr;
    Tiff(MemTiff& m, const char* mode) {
        TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
        if (!opts) return;
        const uint64_t avail = memoryAvailable(), cap = uint64_t(1) << 30;
        TIFFOpenOptionsSetMaxSingleMemAlloc(opts, tmsize_t(std::min(avail, cap)));
        TIFFOpenOptionsSetErrorHandlerExtR(opts, quiet, nullptr);
        TIFFOpenOptionsSetWarningHandlerExtR(opts, quiet, nullptr);
        tif = TIFFClientOpenExt("picture", mode, &m, memRead, memWrite, memSeek, memClose, memSize, memMap, memUnmap,
                                opts);
        TIFFOpenOptionsFree(opts);
    }
    ~Tiff() {
        if (tif) TIFFClose(tif);
    }
    bool close() {
        TIFF* t = tif;
        tif = nullptr;
        if (!t) return false;
        const bool flushed = TIFFFlush(t) == 1;
        TIFFClose(t);
        return flushed;
    }
};

bool isTiff(const uint8_t* data, size_t size) {
    return size >= 4 && ((data[0] == 'I' && data[1] == 'I' && (data[2] == 42 || data[2] == 43) && data[3] == 0) ||
                         (data[0] == 'M' && data[1] == 'M' && data[2] == 0 && (data[3] == 42 || data[3] == 43)));
}

uint16_t tag16(TIFF* tif, ttag_t tag, uint16_t fallback) {
    uint16_t v = fallback;
    return TIFFGetFieldDefaulted(tif, tag, &v) == 1 ? v : fallback;
}

uint16_t tag16Plain(TIFF* tif, ttag_t tag, uint16_t fallback) {
    uint16_t v = fallback;
    return TIFFGetField(tif, tag, &v) == 1 ? v : fallback;
}

// A picture of `bits` read scan line by scan line: setup(picture) once it is made, then
// perRow(line, picture row) for each line. A line that cannot be read ends the picture
// there (the first gives a bad format).
template <class Setup, class PerRow>
Status readRows(TIFF* tif, uint32_t w, uint32_t h, unsigned bits, uint64_t minLine, Dib& out, Progress& progress,
                Setup setup, PerRow perRow) {
    if (Status s = checkPictureSize(w, h, bits); s != kOk) return s;
    const tmsize_t lineSize = TIFFScanlineSize(tif);
    if (lineSize <= 0 || uint64_t(lineSize) < minLine) return kBadFormat;
    std::vector<uint8_t> line;
    try {
        line.resize(size_t(lineSize));
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    }
    if (Status s = Dib::create(int32_t(w), int32_t(h), bits, out); s != kOk) return s;
    if (Status s = setup(out); s != kOk) {
        out.reset();
        return s;
    }
    for (uint32_t y = 0; y < h; ++y) {
        if (TIFFReadScanline(tif, line.data(), y, 0) < 0) {
            if (y == 0) {
                out.reset();
                return kBadFormat;
            }
            break;
        }
        perRow(line, out.row(int32_t(y)));
        if (!progress.rows(y + 1, h)) {
            out.reset();
            return kCancelled;
        }
    }
    return kOk;
}

// Bilevel, grey and palette pictures of 1-8 bits.
Status readScanlines(TIFF* tif, uint32_t w, uint32_t h, uint16_t bps, uint16_t photometric, Dib& out,
                     Progress& progress) {
    const unsigned bits = bps == 1 ? 1 : bps <= 4 ? 4 : 8;
    const unsigned levels = 1u << bps;
    auto setup = [&](Dib& pic) -> Status {
        Colour* pal = pic.palette();
        if (photometric == PHOTOMETRIC_PALETTE) {
            uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
            if (TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b) != 1 || !r || !g || !b) return kBadFormat;
            // Some writers store 8-bit values in the 16-bit entries.
            bool eight = true;
            for (unsigned i = 0; i < levels; ++i) eight = eight && r[i] < 256 && g[i] < 256 && b[i] < 256;
            const int shift = eight ? 0 : 8;
            for (unsigned i = 0; i < levels; ++i)
                pal[i] = Colour{uint8_t(b[i] >> shift), uint8_t(g[i] >> shift), uint8_t(r[i] >> shift), 0};
        } else {
            for (unsigned i = 0; i < levels; ++i) {
                uint8_t v = uint8_t(i * 255 / (levels - 1));
                if (photometric == PHOTOMETRIC_MINISWHITE) v = uint8_t(255 - v);
                pal[i] = Colour{v, v, v, 0};
            }
        }
        return kOk;
    };
    const size_t stride = size_t(dibStride(w, bits));
    return readRows(tif, w, h, bits, (uint64_t(w) * bps + 7) / 8, out, progress, setup,
                    [&](const std::vector<uint8_t>& line, uint8_t* o) {
                        if (bps == 2) {
                            for (uint32_t x = 0; x < w; ++x) setIndex(o, int32_t(x), 4, (line[x / 4] >> (6 - 2 * (x & 3))) & 3);
                        } else {
                            std::memcpy(o, line.data(), std::min(line.size(), stride));
                        }
                    });
}

// Colour samples of 8 bits, contiguous, in strips: straight into the picture's rows.
Status readRgbScanlines(TIFF* tif, uint32_t w, uint32_t h, uint16_t spp, Dib& out, Progress& progress) {
    return readRows(tif, w, h, 24, uint64_t(w) * spp, out, progress, [](Dib&) { return kOk; },
                    [&](const std::vector<uint8_t>& line, uint8_t* o) {
                        const uint8_t* in = line.data();
                        for (uint32_t x = 0; x < w; ++x, in += spp) {
                            o[3 * x] = in[2];
                            o[3 * x + 1] = in[1];
                            o[3 * x + 2] = in[0];
                        }
                    });
}

Status readRgba(TIFF* tif, uint32_t w, uint32_t h, Dib& out, Progress& progress) {
    char message[1024];
    if (!TIFFRGBAImageOK(tif, message)) return kUnsupported;
    if (Status s = checkPictureSize(w, h, 32); s != kOk) return s;
    if (Status s = checkPictureSize(w, h, 24 + 32); s != kOk) return s;  // the raster beside the picture
    uint32_t* raster = static_cast<uint32_t*>(std::malloc(size_t(w) * h * 4));
    if (!raster) return kNoMemory;
    if (!TIFFReadRGBAImageOriented(tif, w, h, raster, ORIENTATION_TOPLEFT, 0)) {
        std::free(raster);
        return kBadFormat;
    }
    Status s = Dib::create(int32_t(w), int32_t(h), 24, out);
    if (s == kOk) {
        for (uint32_t y = 0; y < h; ++y) {
            uint8_t* o = out.row(int32_t(y));
            const uint32_t* in = raster + size_t(y) * w;
            for (uint32_t x = 0; x < w; ++x) {
                o[3 * x] = uint8_t(TIFFGetB(in[x]));
                o[3 * x + 1] = uint8_t(TIFFGetG(in[x]));
                o[3 * x + 2] = uint8_t(TIFFGetR(in[x]));
            }
        }
        if (!progress(100)) {
            out.reset();
            s = kCancelled;
        }
    }
    std::free(raster);
    return s;
}

}  // namespace

int tiffPageCount(const uint8_t* data, size_t size) {
    if (!isTiff(data, size)) return 0;
    MemTiff m;
    m.ro = data;
    m.roSize = size;
    Tiff t(m, "r");
    return t.tif ? int(std::min<tdir_t>(TIFFNumberOfDirectories(t.tif), 0x7FFF)) : 0;
}

Status readTiff(const uint8_t* data, size_t size, int page, Dib& out, Progress& progress) {
    out.reset();
    if (!isTiff(data, size)) return kBadFormat;
    if (page < 0) return kBadArgument;
    MemTiff m;
    m.ro = data;
    m.roSize = size;
    Tiff t(m, "r");
    if (!t.tif) return kBadFormat;
    if (page > 0 && !TIFFSetDirectory(t.tif, tdir_t(page))) return kNoPage;
    uint32_t w = 0, h = 0;
    if (TIFFGetField(t.tif, TIFFTAG_IMAGEWIDTH, &w) != 1 || TIFFGetField(t.tif, TIFFTAG_IMAGELENGTH, &h) != 1)
        return kBadFormat;
    if (Status s = checkPictureSize(w, h, 1); s != kOk) return s;
    const uint16_t bps = tag16(t.tif, TIFFTAG_BITSPERSAMPLE, 1), spp = tag16(t.tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    const uint16_t compression = tag16(t.tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    const uint16_t photometric =
        tag16Plain(t.tif, TIFFTAG_PHOTOMETRIC, spp == 1 ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_RGB);
    const bool simple = spp == 1 && (bps == 1 || bps == 2 || bps == 4 || bps == 8) && !TIFFIsTiled(t.tif) &&
                        compression != COMPRESSION_OJPEG && compression != COMPRESSION_JPEG &&
                        (photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK ||
                         photometric == PHOTOMETRIC_PALETTE);
    if (simple) return readScanlines(t.tif, w, h, bps, photometric, out, progress);
    const bool rgb = (spp == 3 || spp == 4) && bps == 8 && photometric == PHOTOMETRIC_RGB && !TIFFIsTiled(t.tif) &&
                     tag16(t.tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) == PLANARCONFIG_CONTIG &&
                     compression != COMPRESSION_OJPEG && compression != COMPRESSION_JPEG;
    if (rgb) return readRgbScanlines(t.tif, w, h, spp, out, progress);
    return readRgba(t.tif, w, h, out, progress);
}

Status writeTiff(const Dib& dib, int compression, const uint8_t* existing, size_t existingSize, Bytes& out,
                 Progress& progress) {
    if (dib.empty()) return kBadDib;
    const unsigned bits = dib.bits();
    const bool fax = compression == kTiffCcitt || compression == kTiffFax3 || compression == kTiffFax4;
    const bool jpeg = compression == kTiffJpeg || compression == kTiffOldJpeg;
    if (compression != kTiffNone && compression != kTiffLzw && compression != kTiffPackBits && !fax && !jpeg)
        return kBadArgument;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24) return kBadArgument;
    if ((fax && bits != 1) || (jpeg && bits != 8 && bits != 24)) return kBadArgument;
    const bool greyJpeg = jpeg && bits == 8;
    if (existing && !isTiff(existing, existingSize)) return kBadFormat;
    try {
        if (existing) out.assign(existing, existing + existingSize);
        else out.clear();
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    }
    MemTiff m;
    m.rw = &out;
    Tiff t(m, existing ? "a" : "w");
    if (!t.tif) return existing ? kBadFormat : kNoMemory;
    TIFF* tif = t.tif;
    const int32_t w = dib.width(), h = dib.height();
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(w));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(h));
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, uint16_t(jpeg ? COMPRESSION_JPEG : compression));
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, 75.0f);
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, 75.0f);
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    std::vector<uint16_t> map;
    if (bits == 24) {
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
        if (jpeg) {
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR);
            TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        } else {
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        }
    } else if (bits == 1) {
        // Bilevel, the bits as they stand: the lighter colour of the table is white.
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
        const Colour* p = dib.palette();
        const bool whiteIsZero = luminance(p[0].red, p[0].green, p[0].blue) > luminance(p[1].red, p[1].green, p[1].blue);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, whiteIsZero ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_MINISBLACK);
    } else if (greyJpeg) {
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    } else {
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(bits));
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
        const size_t n = size_t(1) << bits;
        map.resize(3 * n);
        for (size_t i = 0; i < n; ++i) {
            map[i] = uint16_t(dib.palette()[i].red * 257);
            map[n + i] = uint16_t(dib.palette()[i].green * 257);
            map[2 * n + i] = uint16_t(dib.palette()[i].blue * 257);
        }
        TIFFSetField(tif, TIFFTAG_COLORMAP, map.data(), map.data() + n, map.data() + 2 * n);
    }
    if (jpeg) TIFFSetField(tif, TIFFTAG_JPEGQUALITY, 90);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
    std::vector<uint8_t> line;
    try {
        line.resize(std::max<size_t>(dib.stride(), size_t(TIFFScanlineSize(tif))));
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    }
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* row = dib.row(y);
        if (bits == 24) {
            for (int32_t x = 0; x < w; ++x) {
                line[size_t(3 * x)] = row[3 * x + 2];
                line[size_t(3 * x + 1)] = row[3 * x + 1];
                line[size_t(3 * x + 2)] = row[3 * x];
            }
        } else if (greyJpeg) {
            for (int32_t x = 0; x < w; ++x) {
                const Colour& c = dib.palette()[row[x]];
                line[size_t(x)] = uint8_t(luminance(c.red, c.green, c.blue));
            }
        } else {
            std::memcpy(line.data(), row, dib.stride());
        }
        if (TIFFWriteScanline(tif, line.data(), uint32_t(y), 0) < 0) return kWriteFailed;
        if (!progress.rows(y + 1, h)) return kCancelled;
    }
    if (!TIFFWriteDirectory(tif)) return kWriteFailed;
    if (!t.close()) return kWriteFailed;
    return kOk;
}

Status tiffInfo(const uint8_t* data, size_t size, int page, FileInfo& info) {
    info = FileInfo{};
    info.type = "tiff";
    if (!isTiff(data, size)) return kBadFormat;
    MemTiff m;
    m.ro = data;
    m.roSize = size;
    Tiff t(m, "r");
    if (!t.tif) return kBadFormat;
    info.pages = int32_t(std::min<tdir_t>(TIFFNumberOfDirectories(t.tif), 0x7FFF));
    if (page < 0) return kBadArgument;
    if (page > 0 && !TIFFSetDirectory(t.tif, tdir_t(page))) return kNoPage;
    uint32_t w = 0, h = 0;
    if (TIFFGetField(t.tif, TIFFTAG_IMAGEWIDTH, &w) != 1 || TIFFGetField(t.tif, TIFFTAG_IMAGELENGTH, &h) != 1)
        return kBadFormat;
    const uint16_t bps = tag16(t.tif, TIFFTAG_BITSPERSAMPLE, 1), spp = tag16(t.tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    const uint16_t photometric = tag16Plain(t.tif, TIFFTAG_PHOTOMETRIC, 0);
    info.width = int32_t(std::min<uint32_t>(w, 0x7FFFFFFF));
    info.height = int32_t(std::min<uint32_t>(h, 0x7FFFFFFF));
    info.bits = int16_t(std::min<uint32_t>(uint32_t(bps) * spp, 0x7FFF));
    info.colours = photometric == PHOTOMETRIC_PALETTE && bps <= 8 ? int16_t(1 << bps) : 0;
    info.compression = tag16(t.tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    char text[160];
    std::snprintf(text, sizeof text, "TIFF, page %d of %d, %u x %u, %d bits, compression %u", page + 1, int(info.pages),
                  unsigned(w), unsigned(h), int(info.bits), unsigned(info.compression));
    info.text = text;
    return kOk;
}

}  // namespace img

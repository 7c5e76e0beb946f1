// PNG through libpng. libpng leaves by longjmp on errors: the functions that set the
// jump target hold no object with a destructor; buffers are malloc'ed and freed on both
// ways out.
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <new>

#include <png.h>

#include "codecs.h"
#include "convert.h"

namespace img {

namespace {

struct PngInput {
    const uint8_t* data;
    size_t size, at;
};

void pngRead(png_structp png, png_bytep out, png_size_t length) {
    PngInput* in = static_cast<PngInput*>(png_get_io_ptr(png));
    if (length > in->size - in->at) png_error(png, "truncated");
    std::memcpy(out, in->data + in->at, length);
    in->at += length;
}

void pngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void pngWarning(png_structp, png_const_charp) {}

struct PngReadState {
    png_structp png;
    png_infop info;
    Status status;
    png_bytepp rows;   // row pointers, malloc'ed
    png_bytep packed;  // 2-bit rows before they widen to 4 bits, malloc'ed
    Progress* progress;
};

void readPngInto(PngReadState& st, PngInput& input, Dib& out) {
    st.status = kBadFormat;
    st.rows = nullptr;
    st.packed = nullptr;
    st.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &st, pngError, pngWarning);
    if (!st.png) {
        st.status = kNoMemory;
        return;
    }
    st.info = png_create_info_struct(st.png);
    if (!st.info) {
        png_destroy_read_struct(&st.png, nullptr, nullptr);
        st.status = kNoMemory;
        return;
    }
    if (setjmp(png_jmpbuf(st.png))) {
        png_destroy_read_struct(&st.png, &st.info, nullptr);
        std::free(st.rows);
        std::free(st.packed);
        st.rows = nullptr;
        st.packed = nullptr;
        if (st.status == kOk) st.status = kBadFormat;
        return;
    }
    png_set_read_fn(st.png, &input, pngRead);
    png_set_user_limits(st.png, 0x7FFFFFFF, 0x7FFFFFFF);
    png_set_chunk_malloc_max(st.png, 8u << 20);
    png_read_info(st.png, st.info);
    png_uint_32 w = 0, h = 0;
    int depth = 0, colourType = 0, interlace = 0;
    png_get_IHDR(st.png, st.info, &w, &h, &depth, &colourType, &interlace, nullptr, nullptr);

    const bool palette = colourType == PNG_COLOR_TYPE_PALETTE;
    const bool grey = colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA;
    unsigned bits = 24;
    if (palette || (grey && colourType == PNG_COLOR_TYPE_GRAY)) bits = depth == 1 ? 1 : depth <= 4 ? 4 : 8;
    else if (grey) bits = 8;
    if (depth == 16) png_set_strip_16(st.png);
    if (colourType & PNG_COLOR_MASK_ALPHA) png_set_strip_alpha(st.png);
    if (!palette && !grey) png_set_bgr(st.png);
    if (interlace != PNG_INTERLACE_NONE) png_set_interlace_handling(st.png);
    png_read_update_info(st.png, st.info);

    if (Status s = checkPictureSize(w, h, bits); s != kOk) {
        st.status = s;
        png_destroy_read_struct(&st.png, &st.info, nullptr);
        return;
    }
    if (Status s = Dib::create(int32_t(w), int32_t(h), bits, out); s != kOk) {
        st.status = s;
        png_destroy_read_struct(&st.png, &st.info, nullptr);
        return;
    }
    Colour* pal = out.palette();
    if (palette) {
        png_colorp entries = nullptr;
        int n = 0;
        if (png_get_PLTE(st.png, st.info, &entries, &n) & PNG_INFO_PLTE)
            for (int i = 0; i < n && i < 256; ++i) pal[i] = Colour{entries[i].blue, entries[i].green, entries[i].red, 0};
    } else if (grey && bits <= 8) {
        const unsigned levels = colourType == PNG_COLOR_TYPE_GRAY && depth < 8 ? 1u << depth : 256;
        for (unsigned i = 0; i < levels; ++i) {
            const uint8_t v = uint8_t(i * 255 / (levels - 1));
            pal[i] = Colour{v, v, v, 0};
        }
    }
    const size_t rowBytes = png_get_rowbytes(st.png, st.info);
    const bool widen = depth == 2 && bits == 4;
    st.rows = static_cast<png_bytepp>(std::malloc(sizeof(png_bytep) * h));
    if (widen) st.packed = static_cast<png_bytep>(std::malloc(rowBytes * h));
    if (!st.rows || (widen && !st.packed) || (!widen && rowBytes > out.stride())) {
        st.status = st.rows && !widen ? kBadFormat : kNoMemory;
        png_destroy_read_struct(&st.png, &st.info, nullptr);
        std::free(st.rows);
        std::free(st.packed);
        st.rows = nullptr;
        st.packed = nullptr;
        return;
    }
    for (png_uint_32 y = 0; y < h; ++y) st.rows[y] = widen ? st.packed + rowBytes * y : out.row(int32_t(y));
    st.status = kOk;
    const int passes = interlace != PNG_INTERLACE_NONE ? 7 : 1;
    for (int pass = 0; pass < passes && st.status == kOk; ++pass) {
        for (png_uint_32 y = 0; y < h; ++y) {
            png_read_row(st.png, st.rows[y], nullptr);
            if (!st.progress->rows(int64_t(pass) * h + y + 1, int64_t(passes) * h)) {
                st.status = kCancelled;
                break;
            }
        }
    }
    if (st.status == kOk) png_read_end(st.png, nullptr);
    png_destroy_read_struct(&st.png, &st.info, nullptr);
    if (widen && st.status == kOk)
        for (png_uint_32 y = 0; y < h; ++y) {
            uint8_t* o = out.row(int32_t(y));
            for (png_uint_32 x = 0; x < w; ++x) setIndex(o, int32_t(x), 4, (st.packed[rowBytes * y + x / 4] >> (6 - 2 * (x & 3))) & 3);
        }
    std::free(st.rows);
    std::free(st.packed);
    st.rows = nullptr;
    st.packed = nullptr;
}

struct PngOutput {
    Bytes* out;
    bool failed;
};

void pngWrite(png_structp png, png_bytep data, png_size_t length) {
    PngOutput* o = static_cast<PngOutput*>(png_get_io_ptr(png));
    try {
        o->out->insert(o->out->end(), data, data + length);
    } catch (const std::bad_alloc&) {
        o->failed = true;
        png_error(png, "no memory");
    }
}
void pngFlush(png_structp) {}

struct PngWriteState {
    png_structp png;
    png_infop info;
    Status status;
    png_bytep row;  // one converted row, malloc'ed
    png_bytepp rows;
};

void writePngFrom(PngWriteState& st, const Dib& dib, bool interlaced, PngOutput& output, Progress& progress) {
    st.status = kNoMemory;
    st.row = nullptr;
    st.rows = nullptr;
    st.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &st, pngError, pngWarning);
    if (!st.png) return;
    st.info = png_create_info_struct(st.png);
    if (!st.info) {
        png_destroy_write_struct(&st.png, nullptr);
        return;
    }
    if (setjmp(png_jmpbuf(st.png))) {
        png_destroy_write_struct(&st.png, &st.info);
        std::free(st.row);
        std::free(st.rows);
        st.row = nullptr;
        st.rows = nullptr;
        st.status = output.failed ? kNoMemory : kWriteFailed;
        return;
    }
    png_set_write_fn(st.png, &output, pngWrite, pngFlush);
    const int32_t w = dib.width(), h = dib.height();
    const bool indexed = dib.bits() <= 8;
    png_set_IHDR(st.png, st.info, png_uint_32(w), png_uint_32(h), indexed ? int(dib.bits()) : 8,
                 indexed ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (indexed) {
        png_color entries[256];
        const int n = int(dib.colours());
        for (int i = 0; i < n; ++i)
            entries[i] = png_color{dib.palette()[i].red, dib.palette()[i].green, dib.palette()[i].blue};
        png_set_PLTE(st.png, st.info, entries, n);
    }
    png_write_info(st.png, st.info);
    if (!indexed) png_set_bgr(st.png);
    const bool convert = !indexed && dib.bits() != 24;
    if (convert) {
        st.row = static_cast<png_bytep>(std::malloc(size_t(w) * 3));
        if (!st.row) png_error(st.png, "no memory");
    }
    st.status = kOk;
    if (interlaced) {
        // Every pass reads every row: the rows as they stand, converted ones kept whole.
        st.rows = static_cast<png_bytepp>(std::malloc(sizeof(png_bytep) * size_t(h)));
        if (!st.rows) png_error(st.png, "no memory");
        if (convert) {
            std::free(st.row);
            st.row = static_cast<png_bytep>(std::malloc(size_t(w) * 3 * size_t(h)));
            if (!st.row) png_error(st.png, "no memory");
        }
        for (int32_t y = 0; y < h; ++y) {
            if (convert) {
                rowToBgr(dib, y, st.row + size_t(w) * 3 * size_t(y));
                st.rows[y] = st.row + size_t(w) * 3 * size_t(y);
            } else {
                st.rows[y] = const_cast<png_bytep>(dib.row(y));
            }
        }
        png_write_image(st.png, st.rows);
    } else {
        for (int32_t y = 0; y < h; ++y) {
            png_bytep row = const_cast<png_bytep>(dib.row(y));
            if (convert) {
                rowToBgr(dib, y, st.row);
                row = st.row;
            }
            png_write_row(st.png, row);
            if (!progress.rows(y + 1, h)) {
                st.status = kCancelled;
                break;
            }
        }
    }
    if (st.status == kOk) png_write_end(st.png, st.info);
    png_destroy_write_struct(&st.png, &st.info);
    std::free(st.row);
    std::free(st.rows);
    st.row = nullptr;
    st.rows = nullptr;
}

}  // namespace

Status readPng(const uint8_t* data, size_t size, Dib& out, Progress& progress) {
    out.reset();
    if (size < 8 || png_sig_cmp(data, 0, 8) != 0) return kBadFormat;
    PngInput input{data, size, 0};
    PngReadState st{};
    st.progress = &progress;
    readPngInto(st, input, out);
    if (st.status != kOk) out.reset();
    return st.status;
}

Status writePng(const Dib& dib, bool interlaced, Bytes& out, Progress& progress) {
    if (dib.empty()) return kBadDib;
    out.clear();
    PngOutput output{&out, false};
    PngWriteState st{};
    writePngFrom(st, dib, interlaced, output, progress);
    return st.status;
}

}  // namespace img

// JPEG through libjpeg. The error manager leaves libjpeg by longjmp: the functions that
// set the jump target hold no object with a destructor, and what they allocate is
// freed on both ways out.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "codecs.h"
#include "convert.h"

extern "C" {
#include <jpeglib.h>
}

namespace img {

namespace {

struct JpegError {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

void jpegErrorExit(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1); }
void jpegMessage(j_common_ptr) {}

void setErrors(JpegError& err) {
    jpeg_std_error(&err.pub);
    err.pub.error_exit = jpegErrorExit;
    err.pub.output_message = jpegMessage;
}

long memoryCap() {
    const uint64_t avail = memoryAvailable();
    const uint64_t cap = uint64_t(1) << 30;
    return long(avail < cap ? avail : cap);
}

struct ReadState {
    jpeg_decompress_struct cinfo;
    JpegError err;
    Status status;
    uint8_t* cmyk;  // one CMYK row, malloc'ed
};

// Everything between the jump target and the last libjpeg call; no destructors.
void readInto(ReadState& st, const uint8_t* data, size_t size, int scale, Dib& out, Progress& progress) {
    jpeg_decompress_struct& cinfo = st.cinfo;
    cinfo.err = &st.err.pub;
    setErrors(st.err);
    st.status = kBadFormat;
    st.cmyk = nullptr;
    if (setjmp(st.err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        std::free(st.cmyk);
        st.cmyk = nullptr;
        if (st.status == kOk) st.status = kBadFormat;
        return;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = memoryCap();
    jpeg_mem_src(&cinfo, const_cast<unsigned char*>(data), static_cast<unsigned long>(size));
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&cinfo);
        return;
    }
    cinfo.scale_num = 1;
    cinfo.scale_denom = unsigned(scale);
    const J_COLOR_SPACE in = cinfo.jpeg_color_space;
    const bool grey = in == JCS_GRAYSCALE;
    const bool cmyk = in == JCS_CMYK || in == JCS_YCCK;
    cinfo.out_color_space = grey ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_EXT_BGR;
    jpeg_calc_output_dimensions(&cinfo);
    const unsigned bits = grey ? 8 : 24;
    if (Status s = checkPictureSize(cinfo.output_width, cinfo.output_height, bits); s != kOk) {
        st.status = s;
        jpeg_destroy_decompress(&cinfo);
        return;
    }
    if (Status s = Dib::create(int32_t(cinfo.output_width), int32_t(cinfo.output_height), bits, out); s != kOk) {
        st.status = s;
        jpeg_destroy_decompress(&cinfo);
        return;
    }
    if (grey)
        for (int i = 0; i < 256; ++i) out.palette()[i] = Colour{uint8_t(i), uint8_t(i), uint8_t(i), 0};
    if (cmyk) {
        st.cmyk = static_cast<uint8_t*>(std::malloc(size_t(cinfo.output_width) * 4));
        if (!st.cmyk) {
            st.status = kNoMemory;
            jpeg_destroy_decompress(&cinfo);
            return;
        }
    }
    jpeg_start_decompress(&cinfo);
    // A stream cut short ends in the source's own end marker (a warning only).
    st.status = kOk;
    const int32_t h = out.height();
    while (cinfo.output_scanline < cinfo.output_height) {
        const int32_t y = int32_t(cinfo.output_scanline);
        JSAMPROW row = cmyk ? st.cmyk : out.row(y);
        if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) break;
        if (cmyk) {
            // Adobe's files store the inks inverted.
            uint8_t* o = out.row(y);
            for (uint32_t x = 0; x < cinfo.output_width; ++x) {
                const unsigned c = st.cmyk[4 * x], m = st.cmyk[4 * x + 1], yy = st.cmyk[4 * x + 2],
                               k = st.cmyk[4 * x + 3];
                o[3 * x] = uint8_t((yy * k + 127) / 255);
                o[3 * x + 1] = uint8_t((m * k + 127) / 255);
                o[3 * x + 2] = uint8_t((c * k + 127) / 255);
            }
        }
        if (!progress.rows(y + 1, h)) {
            st.status = kCancelled;
            break;
        }
    }
    if (st.status == kOk) jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::free(st.cmyk);
    st.cmyk = nullptr;
}

struct WriteState {
    jpeg_compress_struct cinfo;
    JpegError err;
    Status status;
    unsigned char* buffer;
    unsigned long length;
    uint8_t* row;  // one converted row, malloc'ed
};

void writeFrom(WriteState& st, const Dib& dib, int quality, int smoothing, bool grey, Progress& progress) {
    jpeg_compress_struct& cinfo = st.cinfo;
    cinfo.err = &st.err.pub;
    setErrors(st.err);
    st.status = kNoMemory;
    st.buffer = nullptr;
    st.length = 0;
    st.row = nullptr;
    if (setjmp(st.err.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(st.buffer);
        std::free(st.row);
        st.buffer = st.row = nullptr;
        if (st.status == kOk) st.status = kNoMemory;
        return;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &st.buffer, &st.length);
    const int32_t w = dib.width(), h = dib.height();
    cinfo.image_width = JDIMENSION(w);
    cinfo.image_height = JDIMENSION(h);
    cinfo.input_components = grey ? 1 : 3;
    cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.smoothing_factor = smoothing;
    st.row = static_cast<uint8_t*>(std::malloc(size_t(w) * 3));
    if (!st.row) {
        jpeg_destroy_compress(&cinfo);
        std::free(st.buffer);
        st.buffer = nullptr;
        return;
    }
    jpeg_start_compress(&cinfo, TRUE);
    st.status = kOk;
    for (int32_t y = 0; y < h; ++y) {
        JSAMPROW row;
        if (!grey && dib.bits() == 24) {
            row = const_cast<uint8_t*>(dib.row(y));
        } else {
            rowToBgr(dib, y, st.row);
            if (grey)
                for (int32_t x = 0; x < w; ++x)
                    st.row[x] = uint8_t(luminance(st.row[3 * x + 2], st.row[3 * x + 1], st.row[3 * x]));
            row = st.row;
        }
        jpeg_write_scanlines(&cinfo, &row, 1);
        if (!progress.rows(y + 1, h)) {
            st.status = kCancelled;
            break;
        }
    }
    if (st.status == kOk) jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::free(st.row);
    st.row = nullptr;
}

}  // namespace

Status readJpeg(const uint8_t* data, size_t size, int scale, Dib& out, Progress& progress) {
    out.reset();
    if (size < 3 || data[0] != 0xFF || data[1] != 0xD8) return kBadFormat;
    if (scale != 1 && scale != 2 && scale != 4 && scale != 8) return kBadArgument;
    if (size > 0xFFFFFFFFu) return kTooLarge;
    ReadState st;
    readInto(st, data, size, scale, out, progress);
    if (st.status != kOk) out.reset();
    return st.status;
}

Status writeJpeg(const Dib& dib, int quality, int smoothing, bool grey, Bytes& out, Progress& progress) {
    if (dib.empty()) return kBadDib;
    if (dib.width() > JPEG_MAX_DIMENSION || dib.height() > JPEG_MAX_DIMENSION) return kTooLarge;
    quality = quality < 1 ? 1 : quality > 100 ? 100 : quality;
    smoothing = smoothing < 0 ? 0 : smoothing > 100 ? 100 : smoothing;
    WriteState st;
    writeFrom(st, dib, quality, smoothing, grey, progress);
    if (st.status == kOk) {
        try {
            out.assign(st.buffer, st.buffer + st.length);
        } catch (const std::bad_alloc&) {
            st.status = kNoMemory;
        }
    }
    std::free(st.buffer);
    return st.status;
}

}  // namespace img

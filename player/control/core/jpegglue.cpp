// libjpeg glue. Every call into libjpeg goes through one of the small jg* functions below:
// each sets the jump target and holds no object with a destructor, so the error manager's
// longjmp only ever leaves libjpeg's frames and that function's.
#include "jpegglue.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>

extern "C" {
#include <jpeglib.h>
}

#include "qivcontainer.h"
#include "render/fzbuffer.h"
#include "scene/picture.h"
#include "scene/texture.h"

#include <vector>

struct JgSource {
    jpeg_source_mgr pub;
    const uint8_t* start;
    size_t length;     // the picture's full length
    size_t available;  // bytes present
    size_t skipPending;
    bool atEnd;    // nothing more will come
    bool inTail;   // reading the end marker put in after the data
};

struct JgError {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

struct JpegContext {
    jpeg_decompress_struct cinfo;
    JgError err;
    JgSource src;
    JSAMPARRAY row;
    bool created;
};

namespace {

const JOCTET kEndMarker[2] = {0xFF, JPEG_EOI};
constexpr uint64_t kDefaultPixelLimit = uint64_t(JPEG_MAX_SIDE) * JPEG_MAX_SIDE;
uint64_t g_pixelLimit = kDefaultPixelLimit;

void JpegErrorExit(j_common_ptr cinfo) {
    (*cinfo->err->output_message)(cinfo);
    std::longjmp(reinterpret_cast<JgError*>(cinfo->err)->jump, 1);
}

void JpegOutputMessage(j_common_ptr cinfo) {
    char buffer[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, buffer);  // formatted and dropped
}

void JpegInitSource(j_decompress_ptr) {}

// Suspends while more data may come; at the end, an end marker closes the picture.
boolean JpegFillInputBuffer(j_decompress_ptr cinfo) {
    JgSource* src = reinterpret_cast<JgSource*>(cinfo->src);
    if (!src->atEnd) return FALSE;
    src->inTail = true;
    src->skipPending = 0;
    src->pub.next_input_byte = kEndMarker;
    src->pub.bytes_in_buffer = 2;
    return TRUE;
}

// A skip beyond the bytes present is kept and taken from the data that follows.
void JpegSkipInputData(j_decompress_ptr cinfo, long n) {
    JgSource* src = reinterpret_cast<JgSource*>(cinfo->src);
    if (n <= 0) return;
    if (size_t(n) <= src->pub.bytes_in_buffer) {
        src->pub.next_input_byte += n;
        src->pub.bytes_in_buffer -= size_t(n);
        return;
    }
    src->skipPending += size_t(n) - src->pub.bytes_in_buffer;
    src->pub.next_input_byte += src->pub.bytes_in_buffer;
    src->pub.bytes_in_buffer = 0;
    if (src->atEnd) JpegFillInputBuffer(cinfo);
}

void jgTermSource(j_decompress_ptr) {}

size_t jgPosition(const JgSource* src) {
    return src->inTail ? src->available : size_t(src->pub.next_input_byte - src->start);
}

void jgSetData(JgSource* src, const uint8_t* data, size_t available) {
    if (available > src->length) available = src->length;
    const size_t at = jgPosition(src);
    src->start = data;
    src->available = available;
    if (src->inTail) return;
    size_t pos = at;
    if (src->skipPending && pos < available) {
        const size_t skip = src->skipPending < available - pos ? src->skipPending : available - pos;
        pos += skip;
        src->skipPending -= skip;
    }
    src->pub.next_input_byte = data + pos;
    src->pub.bytes_in_buffer = available > pos ? available - pos : 0;
}

// --- Guarded calls: -1 when libjpeg raised an error.

int jgCreate(JpegContext* c) {
    c->cinfo.err = jpeg_std_error(&c->err.pub);
    c->err.pub.error_exit = JpegErrorExit;
    c->err.pub.output_message = JpegOutputMessage;
    if (setjmp(c->err.jump)) return -1;
    jpeg_create_decompress(&c->cinfo);
    c->created = true;
    // Whole-image buffers beyond this fail (there is no backing store) instead of growing
    // with whatever size a header declares.
    c->cinfo.mem->max_memory_to_use = JPEG_MEMORY_MAX;
    c->src.pub.init_source = JpegInitSource;
    c->src.pub.fill_input_buffer = JpegFillInputBuffer;
    c->src.pub.skip_input_data = JpegSkipInputData;
    c->src.pub.resync_to_restart = jpeg_resync_to_restart;
    c->src.pub.term_source = jgTermSource;
    c->cinfo.src = &c->src.pub;
    return 1;
}

int jgReadHeader(JpegContext* c) {
    if (setjmp(c->err.jump)) return -1;
    return jpeg_read_header(&c->cinfo, TRUE);
}

int jgPrepareOutput(JpegContext* c, bool buffered) {
    if (setjmp(c->err.jump)) return -1;
    j_decompress_ptr d = &c->cinfo;
    d->out_color_space = JCS_RGB;
    d->quantize_colors = TRUE;
    if (!buffered) {
        d->two_pass_quantize = TRUE;
        d->dither_mode = JDITHER_FS;
        d->buffered_image = FALSE;
    } else {
        d->two_pass_quantize = FALSE;
        d->dither_mode = JDITHER_ORDERED;
        d->buffered_image = TRUE;
        d->enable_1pass_quant = TRUE;
        d->enable_2pass_quant = TRUE;
    }
    jpeg_calc_output_dimensions(d);
    c->row = (*d->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(d), JPOOL_IMAGE,
                                     d->output_width * d->output_components, 1);
    return 1;
}

int jgHasMultipleScans(JpegContext* c) {
    if (setjmp(c->err.jump)) return -1;
    return jpeg_has_multiple_scans(&c->cinfo) ? 1 : 0;
}

int jgStartDecompress(JpegContext* c) {
    if (setjmp(c->err.jump)) return -1;
    return jpeg_start_decompress(&c->cinfo) ? 1 : 0;
}

int jgConsumeInput(JpegContext* c) {
    if (setjmp(c->err.jump)) return -1;
    return jpeg_consume_input(&c->cinfo);
}

int jgStartOutput(JpegContext* c, int scan, bool final) {
    if (setjmp(c->err.jump)) return -1;
    if (final) {
        c->cinfo.two_pass_quantize = TRUE;
        c->cinfo.colormap = nullptr;
        c->cinfo.dither_mode = JDITHER_FS;
    }
    return jpeg_start_output(&c->cinfo, scan) ? 1 : 0;
}

int jgReadRow(JpegContext* c) {
    if (setjmp(c->err.jump)) return -1;
    return int(jpeg_read_scanlines(&c->cinfo, c->row, 1));
}

int jgFinishOutput(JpegContext* c) {
    if (setjmp(c->err.jump)) return -1;
    return jpeg_finish_output(&c->cinfo) ? 1 : 0;
}

int jgFinishDecompress(JpegContext* c) {
    if (setjmp(c->err.jump)) return -1;
    return jpeg_finish_decompress(&c->cinfo) ? 1 : 0;
}

void jgDestroy(JpegContext* c) {
    if (!c->created) return;
    if (setjmp(c->err.jump)) return;
    c->created = false;
    jpeg_destroy_decompress(&c->cinfo);
}

}  // namespace

// ---------------------------------------------------------------------------

void jpegSetPixelLimit(uint64_t pixels) { g_pixelLimit = pixels; }
void jpegResetLimits() { g_pixelLimit = kDefaultPixelLimit; }

JpegStreamDecoder::JpegStreamDecoder() = default;

JpegStreamDecoder::~JpegStreamDecoder() {
    release();
    if (picture_) fzFreeImage(&picture_);
}

void JpegStreamDecoder::release() {
    if (!ctx_) return;
    jgDestroy(ctx_);
    delete ctx_;
    ctx_ = nullptr;
}

bool JpegStreamDecoder::begin(const uint8_t* data, size_t length, size_t available, bool singlePass) {
    release();
    if (picture_) fzFreeImage(&picture_);
    stage_ = 0;
    started_ = outputActive_ = finishPending_ = finalPass_ = buffered_ = false;
    lastCompletedScan_ = lastShownScan_ = 0;
    passes_ = 0;
    if (!data || length == 0) return false;
    ctx_ = new (std::nothrow) JpegContext{};
    if (!ctx_) return false;
    if (jgCreate(ctx_) < 0) {
        release();
        return false;
    }
    JgSource& s = ctx_->src;
    s.start = data;
    s.length = length;
    s.pub.next_input_byte = data;
    jgSetData(&s, data, available);
    s.atEnd = s.available >= length;
    singlePass_ = singlePass || s.atEnd;
    stage_ = 1;
    return true;
}

void JpegStreamDecoder::update(const uint8_t* data, size_t available) {
    if (!ctx_) return;
    jgSetData(&ctx_->src, data, available);
    if (ctx_->src.available >= ctx_->src.length) ctx_->src.atEnd = true;
}

void JpegStreamDecoder::endOfInput() {
    if (ctx_) ctx_->src.atEnd = true;
}

bool JpegStreamDecoder::allPresent() const { return ctx_ && ctx_->src.atEnd; }

size_t JpegStreamDecoder::consumed() const { return ctx_ ? jgPosition(&ctx_->src) : 0; }

PicRecord* JpegStreamDecoder::takePicture() {
    PicRecord* p = picture_;
    picture_ = nullptr;
    return p;
}

JpegStreamDecoder::Result JpegStreamDecoder::fail() {
    release();
    stage_ = 0;
    return Result::Failed;
}

bool JpegStreamDecoder::preparePicture() {
    j_decompress_ptr d = &ctx_->cinfo;
    if (!picture_) {
        uint32_t zero[256] = {};
        if (!fzCreateImage(d->output_width, d->output_height, 1, &picture_, 256, zero) || !picture_->palette)
            return false;
    }
    const int n = d->actual_number_of_colors;
    if (!d->colormap || n < 1 || n > 256) return false;
    for (int i = 0; i < n; ++i) {
        const uint32_t r = d->colormap[0][i];
        const uint32_t g = d->out_color_components > 1 ? d->colormap[1][i] : r;
        const uint32_t b = d->out_color_components > 2 ? d->colormap[2][i] : r;
        picture_->palette[i] = (r << 16) | (g << 8) | b;
    }
    picture_->paletteCount = uint32_t(n);
    return true;
}

// Rows of the current output pass; Wait keeps the row position for the next call.
JpegStreamDecoder::Result JpegStreamDecoder::outputRows() {
    j_decompress_ptr d = &ctx_->cinfo;
    const size_t stride = size_t(picture_->width);
    const size_t rowBytes = size_t(d->output_width) * size_t(d->output_components);
    while (d->output_scanline < d->output_height) {
        const JDIMENSION y = d->output_scanline;
        const int got = jgReadRow(ctx_);
        if (got < 0) return fail();
        if (got == 0) return Result::Wait;
        std::memcpy(picture_->pixels + size_t(y) * stride, ctx_->row[0], rowBytes);
    }
    return Result::Complete;
}

JpegStreamDecoder::Result JpegStreamDecoder::run(JpegPassListener* listener) {
    if (!ctx_) return Result::Failed;
    j_decompress_ptr d = &ctx_->cinfo;
    for (;;) {
        if (stage_ == 1) {
            const int r = jgReadHeader(ctx_);
            if (r < 0) return fail();
            if (r == JPEG_SUSPENDED) return Result::Wait;
            if (r != JPEG_HEADER_OK) return fail();
            if (d->image_width == 0 || d->image_height == 0 || d->image_width > JPEG_MAX_SIDE ||
                d->image_height > JPEG_MAX_SIDE || uint64_t(d->image_width) * d->image_height > g_pixelLimit)
                return fail();
            const int multi = jgHasMultipleScans(ctx_);
            if (multi < 0) return fail();
            buffered_ = !(singlePass_ || ctx_->src.atEnd || multi == 0);
            if (jgPrepareOutput(ctx_, buffered_) < 0) return fail();
            stage_ = buffered_ ? 3 : 2;
            continue;
        }
        if (stage_ == 2) {
            if (!ctx_->src.atEnd) return Result::Wait;
            if (!started_) {
                const int r = jgStartDecompress(ctx_);
                if (r < 0) return fail();
                if (r == 0) return Result::Wait;
                started_ = true;
                if (!preparePicture()) return fail();
            }
            const Result rows = outputRows();
            if (rows != Result::Complete) return rows;
            const int r = jgFinishDecompress(ctx_);
            if (r < 0) return fail();
            if (r == 0) return Result::Wait;
            ++passes_;
            release();
            stage_ = 0;
            if (listener) listener->jpegPassReady(picture_, true, true);
            return Result::Complete;
        }
        if (stage_ != 3 && stage_ != 4) return Result::Failed;

        // Buffered image.
        if (!started_) {
            for (;;) {
                const int r = jgConsumeInput(ctx_);
                if (r < 0) return fail();
                if (r == JPEG_SUSPENDED) return Result::Wait;
                if (r == JPEG_REACHED_SOS || r == JPEG_REACHED_EOI) break;
            }
            const int r = jgStartDecompress(ctx_);
            if (r < 0) return fail();
            if (r == 0) return Result::Wait;
            started_ = true;
        }
        if (outputActive_) {
            if (!finishPending_) {
                const Result rows = outputRows();
                if (rows != Result::Complete) return rows;
                finishPending_ = true;
            }
            const int r = jgFinishOutput(ctx_);
            if (r < 0) return fail();
            if (r == 0) return Result::Wait;
            finishPending_ = false;
            outputActive_ = false;
            const bool first = passes_ == 0;
            ++passes_;
            if (finalPass_) {
                const int f = jgFinishDecompress(ctx_);
                if (f < 0) return fail();
                release();
                stage_ = 0;
                if (listener) listener->jpegPassReady(picture_, first, true);
                return Result::Complete;
            }
            stage_ = 4;
            if (listener) listener->jpegPassReady(picture_, first, false);
            continue;
        }
        // Take in what is present; then show the newest complete scan, or the final pass.
        for (;;) {
            const int r = jgConsumeInput(ctx_);
            if (r < 0) return fail();
            if (r == JPEG_SUSPENDED || r == JPEG_REACHED_EOI) break;
            if (r == JPEG_SCAN_COMPLETED) lastCompletedScan_ = d->input_scan_number;
        }
        if (jpeg_input_complete(d)) {
            const int r = jgStartOutput(ctx_, d->input_scan_number, true);
            if (r < 0) return fail();
            finalPass_ = true;
        } else if (lastCompletedScan_ > lastShownScan_) {
            const int r = jgStartOutput(ctx_, lastCompletedScan_, false);
            if (r < 0) return fail();
            lastShownScan_ = lastCompletedScan_;
        } else {
            return Result::Wait;
        }
        if (!preparePicture()) return fail();
        outputActive_ = true;
    }
}

// ---------------------------------------------------------------------------

PicRecord* DecodeJpegFromMemory(const uint8_t* data, size_t length) {
    JpegStreamDecoder decoder;
    if (!decoder.begin(data, length, length, true)) return nullptr;
    if (decoder.run(nullptr) != JpegStreamDecoder::Result::Complete) return nullptr;
    return decoder.takePicture();
}

namespace {

// The whole file, or false when it cannot be read or is larger than the limit.
bool readPictureFile(const char* path, std::vector<uint8_t>* out) {
    out->clear();
    if (!path || !*path) return false;
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    bool ok = false;
    if (std::fseek(f, 0, SEEK_END) == 0) {
        const long size = std::ftell(f);
        if (size >= 0 && uint64_t(size) <= PICTURE_FILE_MAX && std::fseek(f, 0, SEEK_SET) == 0) {
            out->resize(size_t(size));
            ok = size == 0 || std::fread(out->data(), 1, out->size(), f) == out->size();
        }
    }
    std::fclose(f);
    return ok;
}

TexRecord* textureFromPicture(PicRecord* pic) {
    TexRecord* tex = nullptr;
    uint32_t size = 0;
    if (!texAllocRecord(&tex) || !picConvert(pic, 1024, 1024, 1, 0, tex, &size)) {
        if (tex) texFree(&tex);
        tex = nullptr;
    }
    fzFreeImage(&pic);
    return tex;
}

}  // namespace

TexRecord* LoadTextureFromMemory(const uint8_t* data, size_t length, float* scaleX, float* scaleY) {
    if (scaleX) *scaleX = 0.0f;
    if (scaleY) *scaleY = 0.0f;
    if (!data || length < 2) return nullptr;
    PicRecord* pic = nullptr;
    if (data[0] == 'B' && data[1] == 'M') {
        pic = picReadBmpMemory(data, length, scaleX, scaleY);
    } else {
        pic = DecodeJpegFromMemory(data, length);
    }
    return pic ? textureFromPicture(pic) : nullptr;
}

TexRecord* LoadTextureFromFile(const char* path, float* scaleX, float* scaleY) {
    if (scaleX) *scaleX = 0.0f;
    if (scaleY) *scaleY = 0.0f;
    TexRecord* tex = nullptr;
    if (path && texLoadFile(path, 0, &tex, scaleX, scaleY, nullptr) && tex) return tex;
    std::vector<uint8_t> bytes;
    if (!readPictureFile(path, &bytes)) return nullptr;
    PicRecord* pic = DecodeJpegFromMemory(bytes.data(), bytes.size());
    return pic ? textureFromPicture(pic) : nullptr;
}

PicRecord* LoadPictureFromFile(const char* path) {
    PicRecord* pic = nullptr;
    if (path && texLoadPalettized(path, &pic, nullptr, nullptr) && pic) return pic;
    std::vector<uint8_t> bytes;
    if (!readPictureFile(path, &bytes)) return nullptr;
    pic = DecodeJpegFromMemory(bytes.data(), bytes.size());
    if (pic && !texBuild(pic)) fzFreeImage(&pic);
    return pic;
}

PicRecord* DecodeContainerPreview(const uint8_t* data, size_t length) {
    std::vector<uint8_t> jpeg;
    if (!qivExtractPreview(data, length, &jpeg)) return nullptr;
    return DecodeJpegFromMemory(jpeg.data(), jpeg.size());
}

// JPEG pictures from memory into 8-bit palettised pictures: a plain decoder for a whole
// block, and an incremental one fed while the data arrives, which shows a progressive
// picture after its first scan (buffered-image mode); textures and pictures from files and
// memory blocks.
// libjpeg's errors stay inside this glue: they come back as failure answers.
#pragma once
#include <cstddef>
#include <cstdint>

struct PicRecord;
struct TexRecord;

// Largest picture side accepted (the picture buffers' limit).
constexpr uint32_t JPEG_MAX_SIDE = 8192;
// Memory libjpeg may take for one picture (coefficient and whole-image buffers).
constexpr long JPEG_MEMORY_MAX = 128L << 20;

// Largest picture (width x height) decoded; process-wide, JPEG_MAX_SIDE squared unless set.
// The fuzz targets lower it so that a small input cannot ask for a huge picture.
void jpegSetPixelLimit(uint64_t pixels);
void jpegResetLimits();

// Whole block; null on any error (no message).
PicRecord* DecodeJpegFromMemory(const uint8_t* data, size_t length);
// A texture from a picture file image in memory: "BM" a BMP (the engine's reader, which also
// gives its size in metres), anything else a JPEG; converted
// within 1024 x 1024. Null for fewer than 2 bytes or a picture that does not decode. The
// scale outputs (may be null) receive the picture's size in metres when it names one, else 0.
TexRecord* LoadTextureFromMemory(const uint8_t* data, size_t length, float* scaleX, float* scaleY);
// The first preview picture of a whole container in memory, decoded; null when there is none.
PicRecord* DecodeContainerPreview(const uint8_t* data, size_t length);
// Largest picture file the file loaders read into memory.
constexpr size_t PICTURE_FILE_MAX = 64u << 20;
// A texture from a file: the engine's BMP reader, else the file decoded as a JPEG; converted
// within 1024 x 1024. Null when neither reads it.
TexRecord* LoadTextureFromFile(const char* path, float* scaleX, float* scaleY);
// A background picture from a file (BMP as an 8-bit picture, else JPEG) with its tiles built.
PicRecord* LoadPictureFromFile(const char* path);

struct JpegContext;

// Told about every finished display pass of the incremental decoder.
class JpegPassListener {
public:
    virtual ~JpegPassListener() = default;
    // first: the first pass of the picture; final: the last one (the picture is complete).
    virtual void jpegPassReady(PicRecord* picture, bool first, bool final) = 0;
};

class JpegStreamDecoder {
public:
    enum class Result { Wait, Complete, Failed };
    // Stages: 1 reading the header, 2 single pass, 3 buffered image before its first display,
    // 4 buffered image on display.
    JpegStreamDecoder();
    ~JpegStreamDecoder();
    JpegStreamDecoder(const JpegStreamDecoder&) = delete;
    JpegStreamDecoder& operator=(const JpegStreamDecoder&) = delete;

    // data: the first byte of the picture, length its full length, available the bytes present
    // (capped at length). singlePass: decode once when complete (no progressive display).
    bool begin(const uint8_t* data, size_t length, size_t available, bool singlePass);
    // The bytes present grew, or the buffer moved (data is the picture's first byte again).
    void update(const uint8_t* data, size_t available);
    // No more bytes will come: what is missing counts as the end of the picture.
    void endOfInput();
    // Runs as far as the data allows.
    Result run(JpegPassListener* listener);

    int stage() const { return stage_; }
    bool active() const { return ctx_ != nullptr; }
    bool allPresent() const;
    bool finalPassBegun() const { return finalPass_; }
    bool buffered() const { return buffered_; }
    uint32_t passesShown() const { return passes_; }
    // The picture being built (owned by the decoder until taken).
    PicRecord* picture() const { return picture_; }
    PicRecord* takePicture();
    // Bytes the decoder has taken from the source so far.
    size_t consumed() const;

private:
    Result fail();
    Result outputRows();
    bool preparePicture();
    void release();

    JpegContext* ctx_ = nullptr;
    PicRecord* picture_ = nullptr;
    int stage_ = 0;
    bool singlePass_ = false;
    bool buffered_ = false;
    bool started_ = false;
    bool outputActive_ = false;
    bool finishPending_ = false;
    bool finalPass_ = false;
    int lastCompletedScan_ = 0;
    int lastShownScan_ = 0;
    uint32_t passes_ = 0;
};

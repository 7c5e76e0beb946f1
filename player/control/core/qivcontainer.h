// Qiv container: the 40-byte outer header, the payload (deflated or stored) with its own
// 40-byte header, the preview area, the chunk list and the texture table; an incremental
// reader that takes the container piece by piece, and the images written back on saving.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

constexpr uint32_t QIV_CONTAINER_HEADER_SIZE = 40;
constexpr uint32_t QIV_PAYLOAD_HEADER_SIZE = 40;
constexpr uint32_t QIV_CONTAINER_MAGIC = 0x21766971u;  // "qiv!"
constexpr uint32_t QIV_PAYLOAD_MAGIC = 0x31766951u;    // "Qiv1"
constexpr uint32_t QIV_PAYLOAD_VERSION = 1;
constexpr uint32_t QIV_METHOD_STORED = 0;
constexpr uint32_t QIV_METHOD_DEFLATED = 1;
// Largest payload a container may declare (64 MiB), and how far the inflated payload may run
// ahead of the container bytes received: at most QIV_INFLATION_RATIO_MAX times them plus
// QIV_INFLATION_SLACK, so that a small container cannot demand a large buffer.
constexpr uint32_t QIV_PAYLOAD_MAX = 64u << 20;
constexpr uint64_t QIV_INFLATION_RATIO_MAX = 256;
constexpr uint64_t QIV_INFLATION_SLACK = 4u << 20;
// The most payload bytes that received container bytes may inflate to (within the cap).
uint64_t qivInflationAllowance(uint64_t received);
constexpr uint32_t QIV_CHUNK_HEADER_SIZE = 8;
constexpr uint32_t QIV_TEXTURE_ENTRY_SIZE = 6;
constexpr uint32_t QIV_TEXTURE_NAME_MAX = 259;
constexpr uint32_t QIV_SAVED_VIEW_SIZE = 32;
// Object header fields used for the texture names.
constexpr uint32_t QIV_OBJECT_NAME_BYTES_AT = 38;
constexpr uint32_t QIV_OBJECT_HEAD_BYTES = 50;

// Chunk types the control acts on.
enum : uint32_t {
    QIV_CHUNK_ANIMATION = 0x14,
    QIV_CHUNK_OPAQUE = 0x15,
    QIV_CHUNK_TEXTURES = 0x100,
    QIV_CHUNK_BACKPICTURE = 0x101,
    QIV_CHUNK_SCRAMBLED = 0x102,
    QIV_CHUNK_VIEWS = 0x111,
    QIV_CHUNK_NAME = 0x10001,
    QIV_CHUNK_VIEW_NAMES = 0x10002,
};

struct QivContainerHeader {
    uint32_t payloadOffset = 0;
    uint32_t method = 0;
    uint32_t endOffset = 0;
    uint64_t fileTime = 0;  // a Windows FILETIME
};

struct QivPayloadHeader {
    uint32_t payloadSize = 0;
    uint32_t version = 0;
    uint32_t previewOffset = 0;  // 0: no preview
    uint32_t previewSize = 0;
    uint32_t objectOffset = 0;
    uint32_t objectLength = 0;
    uint32_t chunkOffset = 0;  // 0: no chunk list
};

// Reads the outer header (40 bytes): "qiv!", a zero word, payload offset >= 40 and a known
// method. 1 on success, else 0.
int qivParseContainerHeader(const uint8_t* header, QivContainerHeader* out);
// Reads the payload header (40 bytes): "Qiv1" and version 1. 1 on success, else 0.
int qivParsePayloadHeader(const uint8_t* header, QivPayloadHeader* out);
// Checks that every area the payload header names lies within the payload: a payload of at
// least its header and at most QIV_PAYLOAD_MAX bytes, the preview area (with room for its
// length word), the object stream and the chunk list offset. 0 when all fit, else the error
// level (4, wrong length).
uint32_t qivCheckPayloadLayout(const QivPayloadHeader& h);
// Length L of the first preview picture once the length word is there; 0 when the picture
// would not fit in the preview area (L + 4 > area size) or is empty.
int qivPreviewLength(const uint8_t* payload, const QivPayloadHeader& h, uint32_t* length);

// One chunk's header read at cursor (payload offset).
struct QivChunkHead {
    uint32_t type = 0;
    uint32_t length = 0;
    uint64_t next = 0;  // payload offset of the chunk after it (cursor + 8 + length)
};
enum class QivRead { NeedMore, Ok, End, Bad };
// NeedMore while fewer than 8 header bytes are inflated; End when the cursor is at the end of
// the payload or fewer than 8 bytes remain there; Bad when 8 + length runs past the payload.
QivRead qivReadChunkHead(const uint8_t* payload, uint32_t payloadSize, uint64_t inflated, uint64_t cursor,
                         QivChunkHead* out);

// One entry of the texture table (chunk 0x100).
struct QivTextureEntry {
    uint32_t index = 0;      // texture index (bits 0-14)
    bool colour = false;     // bit 15 of the index word
    bool shared = false;     // bit 31 of the value word (not with colour)
    uint32_t value = 0;      // colour 0x00BBGGRR, the embedded file's size or the shared position
    uint32_t sharedPos = 0;  // table position of the entry whose texture this one reuses
    uint64_t fileOffset = 0; // embedded file: offset within the chunk data
};
// Count word: 1 with the count once 2 bytes are there.
int qivTextureTableCount(const uint8_t* data, uint32_t available, uint32_t* count);
// Parses the table: 2 + count x 6 bytes (64-bit) within the chunk, a shared entry names an
// earlier position (followed to the entry that owns a texture), and the embedded files lie
// within the chunk. 0 on a bad table.
int qivParseTextureTable(const uint8_t* data, uint32_t length, std::vector<QivTextureEntry>* out);
// Table position that owns the texture of entry i (i itself unless shared).
uint32_t qivTextureOwner(const std::vector<QivTextureEntry>& table, uint32_t i);

// Name of texture index i from the object stream's name list (names follow the object header
// and the object name; the list ends with an empty name); cut to 259 characters. The list is
// read only within the object stream and the bytes present. 0 when there is no such name.
int qivTextureName(const uint8_t* payload, uint64_t present, const QivPayloadHeader& h, uint32_t index,
                   std::string* name);

// Saved views of chunk 0x111: seven floats and a flag per record.
struct QivSavedView {
    float values[7];
    int32_t flag;
};
std::vector<QivSavedView> qivParseSavedViews(const uint8_t* data, uint32_t length);

// 1 when the block starts a container: the outer header checks, then the first 40 payload
// bytes (inflated or stored) carry "Qiv1" and version 1.
int qivIsContainer(const uint8_t* data, size_t size);
// The first preview picture of a whole container in memory (for thumbnails): inflates the
// payload up to the end of the preview area. 1 with the JPEG bytes, else 0.
int qivExtractPreview(const uint8_t* data, size_t size, std::vector<uint8_t>* jpeg);

// The bytes written when a container is saved: a deflated container as it was received; a
// stored one as its header with payload offset 40 and end offset 40 + payload length,
// followed by the payload.
struct QivKeptContainer {
    std::vector<uint8_t> raw;      // deflated: the container as received
    uint8_t header[QIV_CONTAINER_HEADER_SIZE] = {};
    bool stored = false;
    const uint8_t* payload = nullptr;  // stored: the kept payload (not owned)
    size_t payloadLength = 0;
};
int qivSaveImage(const QivKeptContainer& kept, std::vector<uint8_t>* out);
// The stream form: a 4-byte length, then the same bytes.
int qivStreamImage(const QivKeptContainer& kept, std::vector<uint8_t>* out);
// The compact form the inline data carries: the outer header with payload offset 40 and end
// offset 40 + the payload's length, then the payload bytes (payload offset to end offset of
// the kept container, deflated or stored). 0 when nothing is kept.
int qivCompactImage(const QivKeptContainer& kept, std::vector<uint8_t>* out);

// Incremental reader: collects the outer header, skips to the payload offset, inflates or
// copies the payload into a buffer of the declared size, and keeps the raw container of a
// deflated one. Every step takes what the piece holds and returns.
class QivContainerReader {
public:
    enum class Status { NeedMore, Complete, Failed };
    QivContainerReader();
    ~QivContainerReader();
    QivContainerReader(const QivContainerReader&) = delete;
    QivContainerReader& operator=(const QivContainerReader&) = delete;

    // expectedTotal: the size of the whole transfer when known (0: unknown); it sizes the raw
    // copy, which grows when more arrives.
    Status feed(const uint8_t* data, size_t n, uint64_t expectedTotal);

    bool headerRead() const { return headerBytes_ == QIV_CONTAINER_HEADER_SIZE; }
    const QivContainerHeader& container() const { return container_; }
    const uint8_t* containerHeaderBytes() const { return header_; }
    // Known once 40 payload bytes are inflated and checked.
    bool payloadKnown() const { return payloadKnown_; }
    const QivPayloadHeader& payloadHeader() const { return payloadHeader_; }
    // The payload so far (inflated() bytes); the buffer grows, so the pointer may change with
    // every piece.
    const uint8_t* payload() const { return payload_.get(); }
    uint64_t inflated() const { return inflated_; }
    bool complete() const { return payloadKnown_ && inflated_ >= payloadHeader_.payloadSize; }
    // No more payload bytes will come (zlib error or the stream ended before the declared size).
    bool inflationEnded() const { return ended_; }
    Status status() const { return status_; }
    // Error level of a failure (3 wrong format, 4 wrong length, 1 out of memory).
    uint32_t errorLevel() const { return errorLevel_; }
    const char* errorText() const { return errorText_; }
    uint64_t received() const { return received_; }

    // The finished container: payload buffer and kept image for saving.
    std::unique_ptr<uint8_t[]> takePayload();
    QivKeptContainer takeKept();

private:
    Status fail(uint32_t level, const char* text);
    bool startPayload(const uint8_t* data, size_t n);
    void pump(const uint8_t* data, size_t n);
    bool storeOut(const uint8_t* src, size_t n);
    bool afterFirstBlock();
    bool reserve(uint64_t bytes);

    uint8_t header_[QIV_CONTAINER_HEADER_SIZE] = {};
    uint32_t headerBytes_ = 0;
    uint64_t position_ = 0;  // file offset of the next byte to be read
    uint64_t received_ = 0;
    QivContainerHeader container_;
    QivPayloadHeader payloadHeader_;
    bool payloadKnown_ = false;
    bool zInit_ = false;
    bool ended_ = false;
    void* zs_ = nullptr;  // z_stream
    uint8_t first_[QIV_PAYLOAD_HEADER_SIZE] = {};
    std::unique_ptr<uint8_t[]> payload_;
    uint64_t capacity_ = 0;
    uint64_t inflated_ = 0;
    std::vector<uint8_t> raw_;
    Status status_ = Status::NeedMore;
    uint32_t errorLevel_ = 0;
    const char* errorText_ = "";
};

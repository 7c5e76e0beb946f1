// Object stream: the compact, quantised form of an object inside a Qiv container,
// parsed into an object content; and the switch of a node's own lights.
#pragma once
#include <cstddef>
#include <cstdint>

#include "scene/vecmath.h"

struct PelContent;
struct PelPart;
struct ScnNode;

// Layout of the stream.
constexpr uint32_t QIV_STREAM_GUID_SIZE = 16;
constexpr uint32_t QIV_BLOCK_HEADER_SIZE = 40;
constexpr uint32_t QIV_OBJECT_HEADER_SIZE = 50;
constexpr uint32_t QIV_LIGHT_RECORD = 15;
constexpr uint32_t QIV_MATERIAL_RECORD = 20;
constexpr uint32_t QIV_PART_RECORD = 46;      // behind the kind byte
constexpr uint32_t QIV_INSTANCE_RECORD = 50;  // behind the kind byte
constexpr uint32_t QIV_BLOCK_MAGIC = 0x31766951u;  // "Qiv1"
extern const uint8_t qivStreamGuid[QIV_STREAM_GUID_SIZE];

// Scale of the 16-bit running sums (about 1 / 32767).
constexpr double QIV_DEQUANT_STEP = 3.051851e-5;

// Geometry command bits.
enum : uint32_t {
    QIV_CMD_OPTIONS = 0x1,
    QIV_CMD_DX = 0x2,
    QIV_CMD_DY = 0x4,
    QIV_CMD_DZ = 0x8,
    QIV_CMD_DU = 0x10,
    QIV_CMD_DV = 0x20,
    QIV_CMD_MATERIAL = 0x40,
    QIV_CMD_NO_FACE = 0x80,        // with QIV_CMD_REF_A: a replacement command word follows
    QIV_CMD_ORDERED = 0x100,
    QIV_CMD_WIDE_REFS = 0x200,
    QIV_CMD_REF_A = 0x400,
    QIV_CMD_REF_B = 0x800,
    QIV_CMD_REF_C = 0x1000,
    QIV_CMD_EDGE_A = 0x2000,
    QIV_CMD_EDGE_B = 0x4000,
    QIV_CMD_EDGE_C = 0x8000,
};
// Face option bits.
enum : uint32_t {
    QIV_OPT_QUAD = 1,
    QIV_OPT_REF_D = 2,
    QIV_OPT_EDGE_D = 4,
    QIV_OPT_ONE_SIDED = 8,
};
// Part kind bit.
constexpr uint8_t QIV_PART_INSTANCE = 1;

// Information flags.
enum : uint32_t {
    QIV_INFO_LIGHTS = 1,
    QIV_INFO_AREA_NAMES = 2,
    QIV_INFO_TRANSLUCENT = 64,
};
// Object flag bit that switches the edge connection's mode.
constexpr uint32_t QIV_OBJECT_EDGE_MODE = 32;

// What the caller learns about a parsed stream (nineteen 32-bit words on the
// shipped build).
struct PelStreamInfo {
    uint32_t hostValue;      // object header offset 24, passed on
    char* name;              // own zero-terminated copy, or null
    Box3 box;                // the content's box
    uint32_t areaNameBytes;
    uint32_t faceCount;
    uint32_t flags;          // QIV_INFO_* and the object-flag bits 4, 8, 16, 32, 128
    uint32_t reserved[8];
};
#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(PelStreamInfo) == 19 * 4, "stream information layout");
#endif

// Parses size bytes at data into a new content. *content may hold a content that nodes
// show: on success those nodes move to the new content (their materials, lights, area
// textures and parts are rebuilt for it) and the old content is freed; on failure
// *content keeps it unchanged. *info receives a new record (free with pelFreeStream).
// edgeResult (may be null) receives the rebuilt content's size; planeCount and planes
// are the host's plane offsets for the edge connection.
int pelParseStream(const uint8_t* data, size_t size, PelContent** content, PelStreamInfo** info,
                   uint32_t* edgeResult, uint32_t planeCount, const float* planes);
// Decodes size bytes at data into a content as the stream's commands give it, before the
// edge connection: no normals, neighbours only as the stream names them, not registered
// (free with pelFreeObject). pelParseStream prepares such a content.
int pelDecodeStream(const uint8_t* data, size_t size, PelContent** content);
// Parses a stream whose extent is not known: *content is cleared and no bound is set, so the
// stream must be whole (every read stays inside what it says it holds).
int pelParseStreamUnbounded(const uint8_t* data, PelContent** content, PelStreamInfo** info,
                            uint32_t* edgeResult);
// Runs the geometry commands of one part (record = the 46 bytes behind the kind byte)
// from *cursor, appending vertices and faces to part, and advances *cursor. 0 when a
// read would pass end, the part would grow beyond the counts its record declares, or a
// vertex reference or material index is out of range.
int pelDecodePartGeometry(const uint8_t* record, PelContent* content, PelPart* part, const uint8_t* end,
                          const uint8_t** cursor);
int pelFreeStream(PelStreamInfo** holder);

// Switches the node's own lights on (1) or off (0) and marks the light list changed.
int scnSwitchLights(ScnNode* node, int32_t value);

// 1 when bytes more bytes from position stay within end.
int pelStreamCursorOk(const uint8_t* position, const uint8_t* end, size_t bytes);
void pelDequantColour(const uint8_t* bytes, float out[3]);
void pelDequantFixed(uint32_t value, uint32_t bits, float* out);

// Largest vertex and face counts a stream may produce (instances copy parts, so a short
// stream can describe a large object). Defaults: QIV_STREAM_LIMIT each.
constexpr uint32_t QIV_STREAM_LIMIT = 1u << 22;
void pelSetStreamLimits(uint32_t maxVertices, uint32_t maxFaces);
// Limits back to the defaults (tests start clean).
void pelResetStream();

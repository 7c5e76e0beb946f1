// Selection rules and pixel conversions of the hardware back end: no platform calls, so they
// run and are tested on every build. The Windows layer (kvDirectX_win.cpp) feeds them what
// DirectDraw enumerates and locks.
#pragma once
#include <cstddef>
#include <cstdint>

// Flag values shared with the DirectDraw headers (checked there at compile time).
constexpr uint32_t DX_BD_16 = 0x400;
constexpr uint32_t DX_BD_32 = 0x100;
constexpr uint32_t DX_PF_ALPHA = 0x2;
constexpr uint32_t DX_PF_FOURCC = 0x4;
constexpr uint32_t DX_PF_PALETTEINDEXED8 = 0x20;
constexpr uint32_t DX_PF_ZBUFFER = 0x400;
constexpr uint32_t DX_PF_LUMINANCE = 0x20000;
constexpr uint32_t DX_PF_BUMPLUMINANCE = 0x40000;
constexpr uint32_t DX_PF_BUMPDUDV = 0x80000;

constexpr uint32_t DX_MAX_MODES = 80;
constexpr int32_t DX_MAX_VERTICES = 3000;

struct dxDisplayMode {
    uint32_t width, height, bits;
};

// 1 when the device renders at this depth (16 with DX_BD_16, 32 with DX_BD_32).
int dxDepthRendered(uint32_t bits, uint32_t renderDepths);

// Desktop check of the primary display driver.
struct DxDesktopResult {
    int accepted;         // the driver is taken at this depth
    int windowedOk;       // windowed rendering possible (video memory enough)
    uint32_t pixelBytes;  // bits / 8 when accepted
};
DxDesktopResult dxCheckDesktop(uint32_t bits, uint32_t width, uint32_t height, uint32_t renderDepths,
                               uint64_t vidMemFree);

// Full-screen mode filter: 1 when the mode is offered.
int dxModeAccepted(const dxDisplayMode& mode, uint32_t desktopWidth, uint32_t desktopHeight,
                   uint32_t renderDepths, uint64_t vidMemTotal);
// Appends a mode; answers 0 once the table is full (the enumeration stops), else 1.
int dxAppendMode(dxDisplayMode* table, uint32_t* count, const dxDisplayMode& mode);

// Device preference while enumerating Direct3D devices.
enum DxDeviceKind : uint32_t { DX_DEVICE_OTHER = 0, DX_DEVICE_HAL = 1, DX_DEVICE_TNLHAL = 2 };
struct DxDeviceChoice {
    uint32_t renderDepths;  // of the chosen device, 0 before any
    uint32_t tnl;           // 1 when the T&L HAL device was taken
};
// Answers 1 to go on enumerating, 0 to stop.
int dxDevicePick(DxDeviceChoice* choice, DxDeviceKind kind, int hwRasterisation, uint32_t deviceDepths);

// Z format choice: the first 16-bit format wins, else the last 32-bit one. *chosenBits 0 = none.
// Answers 1 to go on, 0 to stop.
int dxZFormatPick(uint32_t flags, uint32_t bits, uint32_t* chosenBits, int* take);

// Texture format choice: smallest whole-byte format, the first of equal size winning; an 8-bit
// palettised one ends the enumeration. *bestBits starts at 33 (none). Answers 1 to go on.
constexpr uint32_t DX_TEXFORMAT_NONE = 33;
int dxTexFormatPick(uint32_t flags, uint32_t bits, uint32_t* bestBits, int* take);

// Pre-transformed, pre-lit vertex (x, y, z, rhw, 0xAARRGGBB, u, v).
struct DxVertex {
    float x, y, z, rhw;
    uint32_t diffuse;
    float u, v;
};
static_assert(sizeof(DxVertex) == 28, "vertex layout");

// The device samples pixels at whole coordinates, the software rasteriser at pixel centres:
// device positions are moved by half a pixel so both cover the same pixels.
constexpr float DX_PIXEL_CENTRE = 0.5f;

// Engine depth (16-bit signed, 32767 far) into 0..1.
inline float dxDepthToZ(float depth) { return (depth + 32767.0f) / 65536.0f; }
// Colour channels 0..1 times 255, truncated and held to 0..255; alpha is the top byte.
uint32_t dxPackColour(float r, float g, float b, uint32_t alphaByte);
uint32_t dxAlphaByte(float alpha);

// One engine vertex to a device vertex (x - 0.5, height - y - 0.5). flags: span flags (0x01 depth, 0x08 texture,
// 0x10 blending); colour is the colour to use (the caller picks Gouraud or flat).
struct DxEngineVertex {
    float sx, sy, sz, sw;
    float r, g, b;
    float u, v;
};
void dxConvertVertex(const DxEngineVertex& in, uint32_t flags, float alpha, int32_t height, DxVertex* out);

// Mip levels of a texture on a device with a texture size limit (0: none).
struct DxLevelPlan {
    uint32_t width, height;  // top level uploaded
    uint32_t skipped;        // levels dropped from the top
    uint32_t levels;         // levels uploaded
    uint32_t smaller;        // smaller side of the top level
    uint32_t filter;         // 2 linear when smaller > 8, else 1 point
};
int dxPlanLevels(uint32_t log2Width, uint32_t log2Height, uint32_t levelCount, uint32_t maxWidth,
                 uint32_t maxHeight, DxLevelPlan* plan);

// Colour-key index: the first palette entry after entry 0 whose word is zero, else 0.
uint32_t dxColourKeyIndex(const uint32_t* palette, uint32_t count);
// 256-entry colour table {r, g, b}: from a palette (0x00RRGGBB words, each channel times the
// multiplier when given), or a grey ramp without one.
void dxBuildColourTable(const uint32_t* palette, uint32_t count, const float* multiplier, uint8_t table[256][3]);

// Bit count of a mask's lowest run of ones; *shift = position of its lowest bit (0, 0 for 0).
uint32_t dxMaskShift(uint32_t mask, uint32_t* shift);

// Device pixel layout from a surface's pixel format.
struct DxChannel {
    uint32_t bits, shift;
};
struct DxPixelLayout {
    uint32_t bytes;  // 2, 3 or 4
    DxChannel r, g, b;
};
// Masks 0 (not given) mean 0x00RRGGBB for 3 and 4 bytes; 2 bytes need masks.
DxPixelLayout dxLayoutFromMasks(uint32_t bytes, uint32_t redMask, uint32_t greenMask, uint32_t blueMask);
int dxLayoutIs555(const DxPixelLayout& layout);
// 8-bit channels packed by the layout and back.
uint32_t dxPackPixel(const DxPixelLayout& layout, uint32_t r, uint32_t g, uint32_t b);
void dxUnpackPixel(const DxPixelLayout& layout, uint32_t value, uint32_t* r, uint32_t* g, uint32_t* b);
void dxStorePixel(uint8_t* p, uint32_t bytes, uint32_t value);
uint32_t dxLoadPixel(const uint8_t* p, uint32_t bytes);

// Frame-buffer rows (2 = RGB555, 3 = red, green, blue bytes, 4 = 0x00RRGGBB) to and from device
// rows. Without convert and with equal pixel sizes the row is copied unchanged.
void dxConvertRowToDevice(const uint8_t* src, uint32_t fzBytes, uint8_t* dst, const DxPixelLayout& dev,
                          uint32_t count, int convert);
void dxConvertRowFromDevice(const uint8_t* src, const DxPixelLayout& dev, uint8_t* dst, uint32_t fzBytes,
                            uint32_t count, int convert);
// Depth rows: engine depth (16-bit signed, 32767 far) to device Z of 2 or 4 bytes and back.
// With convert the device value grows with distance like the vertex z.
void dxConvertDepthToDevice(const int16_t* src, uint8_t* dst, uint32_t zBytes, uint32_t count, int convert);
void dxConvertDepthFromDevice(const uint8_t* src, uint32_t zBytes, int16_t* dst, uint32_t count, int convert);

// Texture rows: 8-bit indices through the colour table into a texture row of 1 to 4 bytes.
void dxConvertTexRow(const uint8_t* indices, const uint8_t table[256][3], uint8_t* dst,
                     const DxPixelLayout& layout, uint32_t count);

// Copy rectangle clipped to the frame buffer and the device: {x, y, w, h}. Answers 0 when
// nothing is left to copy.
struct DxCopyRect {
    int32_t srcX, srcY, dstX, width, height;
};
int dxClipCopy(int32_t rx, int32_t ry, int32_t rw, int32_t rh, int32_t xOffset, int32_t yOffset,
               int32_t fzWidth, int32_t fzHeight, int32_t devWidth, int32_t devHeight, DxCopyRect* out);

// Edges of a triangle remapped after sorting its vertices by y (swap bits 1, 2, 4).
uint32_t dxRemapEdges(uint32_t edges, uint32_t swapBits);

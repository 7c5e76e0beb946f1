// Frame buffers (colour plane followed by a 16-bit depth plane), plain pictures of the
// renderer, views, and the current background.
#pragma once
#include <cstdint>

#include "scene/picture.h"

struct MatInput;
struct TexRecord;

constexpr uint32_t FZ_MAX_WIDTH = 8192;
constexpr uint32_t FZ_MAX_HEIGHT = 8192;
constexpr int16_t FZ_DEPTH_FAR = 32767;

// Background description kept by the viewer control (27 words).
struct BgRecord {
    uint32_t mode;  // 0 clear colour, 1 colour band, 2 picture mirrored, 3 picture repeated, 4 picture at offset
    float clear[3];
    float zenith[3];
    float skyHorizon[3];
    float groundHorizon[3];
    float nadir[3];
    PicRecord* picture;  // 1 byte per pixel with palette (modes 2, 3, 4)
    float pictureAngle;  // horizontal view angle the picture covers, radians
    uint32_t followCamera;
    float horizon;  // height of the horizon in the picture, fraction of its height
    PicRecord* overlay;
    int32_t overlayX, overlayY;
    MatInput* groundMaterial;
    TexRecord* groundTexture;
    int32_t offsetX, offsetY;
};

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(BgRecord) == 27 * 4, "background layout");
#endif

// Current background and what is derived from it (one per process).
struct FzBackgroundState {
    BgRecord bg;
    float clear[3];
    uint32_t clear32;  // 0x00RRGGBB
    uint16_t clear15;  // RGB555
    uint16_t pictureTable[256];  // background picture's palette in RGB555
    uint16_t overlayTable[256];  // overlay picture's palette in RGB555
    uint8_t overlayTransparent;  // first black palette entry, 255 when there is none
    uint8_t overlayHasTransparent;  // 0: the overlay has no black entry, nothing is skipped
    int32_t groundFirstRow, groundLastRow;  // -1 when there is no ground
};
FzBackgroundState& fzBackgroundState();
// Index that never matches a pixel of an 8-bit overlay: every pixel is drawn.
constexpr uint32_t FZ_OVERLAY_OPAQUE = 256;
// The index that drawing the current overlay skips (FZ_OVERLAY_OPAQUE without a black entry).
uint32_t fzOverlaySkipIndex();
// Back to the values at load (tests start clean).
void fzResetState();

// Published by the hardware back end: answers non-zero while DirectX routing is on and gives
// the device's colour and depth sizes in bytes.
using FzDeviceQueryFn = int (*)(uint32_t* pixelBytes, uint32_t* depthBytes);
void fzSetDeviceQuery(FzDeviceQueryFn fn);

int fzCreateEx(uint32_t width, uint32_t height, uint32_t bytesPerPixel, PicRecord** holder,
               uint32_t directX);
int fzCreate(uint32_t width, uint32_t height, uint32_t bytesPerPixel, PicRecord** holder);
int fzCreateImage(uint32_t width, uint32_t height, uint32_t bytesPerPixel, PicRecord** holder,
                  uint32_t paletteCount, const uint32_t* palette);
int fzCreateView(const PicRecord* source, uint32_t width, PicRecord** holder, uint32_t* height);
int fzFree(PicRecord** holder);
int fzFreeImage(PicRecord** holder);
int fzFreeView(PicRecord** holder);

int fzSetClearColor(float red, float green, float blue);
int fzSetBackground(const BgRecord* background);
int fzGetBackground(BgRecord* out);
int fzPrepareBackground(const BgRecord* background);
int fzResetBackground(const BgRecord* background);


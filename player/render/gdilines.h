// Line output in batches: consecutive segments that share an end point and a
// colour are joined into one polyline. Runs go to a device (through device
// operations, GDI on Windows) or to an installed sink routine.
#pragma once
#include <cstdint>

// Same layout as the platform's POINT.
struct LnPoint {
    int32_t x, y;
};

constexpr uint32_t LN_BUFFER_POINTS = 200;
constexpr uint32_t LN_RUN_EMPTY = 100;  // start = end = 100: no run
constexpr uint32_t LN_NO_COLOUR = 0xFFFFFFFFu;

// Sink routine of sink mode: (first point, count); its answer is ignored.
typedef uint32_t (*LnSinkFn)(const LnPoint* points, uint32_t count);

// What the batch needs from a device. penDesc is the caller's pen description
// (a LOGPEN on Windows); createPen stores colour in it and makes a pen.
struct LnDeviceOps {
    int (*polyline)(void* dc, const LnPoint* points, uint32_t count);
    void* (*createPen)(void* penDesc, uint32_t colour);
    void* (*selectPen)(void* dc, void* pen);  // answers the pen it replaced
    void (*deletePen)(void* pen);
};

// Installs the device operations used by the batches that follow (null: none,
// runs outside sink mode are then dropped).
void lnSetDevice(const LnDeviceOps* ops);

// Starts a batch. Keeps penDesc only when sinkMode is 0; answers the kept one.
void* lnBegin(void* dc, void* penDesc, uint32_t sinkMode);
int lnSetSink(LnSinkFn sink);
uint32_t lnNullSink(const LnPoint* points, uint32_t count);
// Outputs the current run and empties it; final non-zero also restores the
// device's original pen.
void lnFlush(uint32_t final);
// Adds one segment. Coordinates are truncated toward zero and saturated to
// the signed 16-bit range.
void lnAddLine(float x0, float y0, float x1, float y1, uint32_t colour);

// Truncation toward zero, saturated to -32768..32767 (NaN gives 0).
int32_t lnCoord16(float v);

// Back to the state at load: null sink, no device, last colour unset.
void lnReset();

#if defined(_WIN32)
// GDI device operations (CreatePenIndirect, SelectObject, DeleteObject, Polyline).
const LnDeviceOps* lnGdiOps();
// lnSetDevice(lnGdiOps()) and lnBegin for a device context and LOGPEN.
void* lnBeginGdi(void* hdc, void* logPen, uint32_t sinkMode);
#endif

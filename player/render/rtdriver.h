// Ray-trace driver: numbers the nodes, draws the id picture, builds the box tree and
// spreads the picture's lines over worker threads with progress, display and cancel.
#pragma once
#include <cstdint>

#include "render/raytrace.h"
#include "render/renderer.h"
#include "scene/picture.h"

struct RtWorkerContext {
    Vec3 origin;     // eye point (perspective cameras)
    Vec3 direction;  // fixed direction (parallel cameras)
    int32_t block;   // 32..1 progressive, 0 plain
    PicRecord* idPicture;
    uint32_t thread;  // 0 is the driver
    uint8_t* lineBuffer;  // progressive mode: 3 bytes per pixel, made by the driver (the
                          // allocator is not for worker threads)
};

int rtRender(ScnRenderJob* job, PicRecord* work, RtProgressFn progress, RtShowFn show, ScnNode** list1,
             ScnNode** list2, const CamRecord* rayCamera, uint32_t extShadows, uint32_t shadows,
             uint32_t reflections, uint32_t refraction, uint32_t noSelfShadow, uint32_t resetClear);

int32_t rtProgress(int32_t done, int32_t total, int32_t every);
void rtShowLines(uint32_t show, uint32_t force);
int32_t rtNextLine(int32_t step);
int rtRenderLine(RtWorkerContext* context, int32_t block, int32_t line, PicRecord* idPicture, uint8_t* lineBuffer,
                 int32_t* doneCount, int32_t total, uint32_t thread);
void rtTracePixel(RtWorkerContext* context, int32_t x, int32_t y, PicRecord* idPicture, uint8_t rgbOut[3],
                  uint32_t thread);
void rtDrawBlock(int32_t line, const uint8_t* lineBuffer, int32_t block, uint32_t show);
int rtRenderLists(ScnRenderJob* job, ScnNode** list1, ScnNode** list2, uint32_t idPass, uint32_t mode);
void rtWorkerPass1(RtWorkerContext* context);
void rtWorkerPass2(RtWorkerContext* context);
int rtCopyList(uint32_t count, ScnNode* const* source, ScnNode*** out);
int rtFreeList(ScnNode*** holder);

// Channel 0..1 to a byte: c x 256 + 0.5, clamped (NaN gives 0).
uint8_t rtChannelByte(float c);

// Processor count used by the driver: 0 asks the machine; the driver caps it at 5.
void rtSetProcessorCount(uint32_t count);
uint32_t rtProcessorCount();
// Test hooks: workers whose bit is set fail to start; an observer sees every traced pixel
// (called from the tracing thread).
void rtSetWorkerStartFault(uint32_t mask);
using RtPixelObserverFn = void (*)(int32_t x, int32_t y, uint32_t thread);
void rtSetPixelObserver(RtPixelObserverFn fn);
// Workers of the last run that were started and joined.
uint32_t rtLastRunWorkers(uint32_t* joined);
// Seconds spent in the phases of the last run (face groups, id pass, tree, tracing).
struct RtPhaseTimes {
    double groups, idPass, tree, trace;
};
void rtLastRunTimes(RtPhaseTimes* out);
// Switch read by the selection-id node kind: non-zero during the id pass.
extern uint32_t rtIdPass;
// Driver state back to the state at load (tests start clean).
void rtResetDriver();

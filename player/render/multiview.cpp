#include "render/multiview.h"

#include <cstring>

#include "render/clear.h"
#include "render/dxhook.h"
#include "render/renderlist.h"
#include "render/rtdriver.h"
#include "scene/camera.h"
#include "scene/engine.h"
#include "scene/picture.h"
#include "scene/sceneops.h"

namespace {

MvState g_state{};
uint16_t g_masks16[8][8];
uint32_t g_masks32[8][4];
bool g_built16 = false, g_built32 = false;

// Mask of column c in row r: phase (c - 1 - r) mod 8 selects red (0), blue (2), green (5).
uint32_t maskAt(int r, int c, uint32_t red, uint32_t green, uint32_t blue) {
    const int k = ((c - 1 - r) % 8 + 8) % 8;
    return k == 0 ? red : k == 2 ? blue : k == 5 ? green : 0;
}

int mod8(int v) { return ((v % 8) + 8) % 8; }

uint32_t load(const uint8_t* p, uint32_t bytes) { return bytes == 2 ? picGet16(p) : picGet32(p); }
void store(uint8_t* p, uint32_t bytes, uint32_t v) {
    if (bytes == 2)
        picPut16(p, v);
    else
        picPut32(p, v);
}

// Frees what mvRender allocated.
struct ViewBuffers {
    uint8_t** views = nullptr;
    uint8_t* block = nullptr;
    int16_t* depth = nullptr;
    PicRecord* record = nullptr;
    ~ViewBuffers() {
        memFree(views);
        memFree(block);
        memFree(depth);
        memFree(record);
    }
};

}  // namespace

const MvState& mvState() { return g_state; }

void mvReset() {
    g_state = MvState{};
    g_built16 = g_built32 = false;
    std::memset(g_masks16, 0, sizeof g_masks16);
    std::memset(g_masks32, 0, sizeof g_masks32);
}

void mvBuildMasks(const MvState* s) {
    if (!s) return;
    if (s->bitsPerPixel == 16 && !g_built16) {
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 8; ++c)
                g_masks16[r][c] = uint16_t(c < 4 ? maskAt(r, c, s->redMask, s->greenMask, s->blueMask) : 0);
        g_built16 = true;
    } else if (s->bitsPerPixel == 32 && !g_built32) {
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 4; ++c) g_masks32[r][c] = maskAt(r, c, s->redMask, s->greenMask, s->blueMask);
        g_built32 = true;
    }
}

uint32_t mvInit(MvState* state) {
    if (!state) return 0;
    state->viewCount = MV_VIEW_COUNT;
    state->viewWidth = uint16_t(state->width / 2);
    state->viewHeight = uint16_t(state->height / 2);
    state->scale = 1.0f;
    g_state = *state;
    mvBuildMasks(state);
    return 0;
}

int32_t mvInterleave(uint8_t* const* views, uint32_t viewRowBytes, uint8_t* destination) {
    const MvState& s = g_state;
    const uint32_t bytes = s.bitsPerPixel / 8;
    if (!views || !destination || (bytes != 2 && bytes != 4)) return 0;
    if ((bytes == 2 && !g_built16) || (bytes == 4 && !g_built32)) return 0;
    const int32_t width = s.width, height = s.height;
    const int32_t viewWidth = s.viewWidth, viewHeight = s.viewHeight;
    if (width < 1 || height < 1 || viewWidth < 1 || viewHeight < 1) return 0;
    const size_t rowBytes = size_t(width) * bytes;
    // Line pairs; an odd last line takes the last view line.
    for (int32_t j = 0; 2 * j < height; ++j) {
        const int32_t viewLine = j < viewHeight ? j : viewHeight - 1;
        uint8_t* line0 = destination + size_t(2 * j) * rowBytes;
        uint8_t* line1 = 2 * j + 1 < height ? line0 + rowBytes : nullptr;
        for (int32_t x = 0; x < width; x += 4) {
            uint32_t out0[4] = {0, 0, 0, 0}, out1[4] = {0, 0, 0, 0};
            const int32_t vx0 = x / 2 < viewWidth ? x / 2 : viewWidth - 1;
            const int32_t vx1 = x / 2 + 1 < viewWidth ? x / 2 + 1 : viewWidth - 1;
            for (uint32_t i = 0; i < MV_VIEW_COUNT; ++i) {
                const uint8_t* row = views[i] + size_t(viewLine) * viewRowBytes;
                const uint32_t p0 = load(row + size_t(vx0) * bytes, bytes);
                const uint32_t p1 = load(row + size_t(vx1) * bytes, bytes);
                const int r = bytes == 2 ? mod8(-21 + 6 * j + x + 3 * int(i)) : mod8(6 * j + x - 3 * int(i));
                const int r1 = (r + 3) % 8;
                for (int c = 0; c < 4; ++c) {
                    const uint32_t p = c < 2 ? p0 : p1;
                    const uint32_t m0 = bytes == 2 ? g_masks16[r][c] : g_masks32[r][c];
                    const uint32_t m1 = bytes == 2 ? g_masks16[r1][c] : g_masks32[r1][c];
                    out0[c] |= p & m0;
                    out1[c] |= p & m1;
                }
            }
            const int32_t n = width - x < 4 ? width - x : 4;
            for (int32_t c = 0; c < n; ++c) {
                store(line0 + size_t(x + c) * bytes, bytes, out0[c]);
                if (line1) store(line1 + size_t(x + c) * bytes, bytes, out1[c]);
            }
        }
    }
    return 0;
}

namespace {

// Renders the eight views with draw(localJob, view) and interleaves them into the job's
// frame buffer.
template <class Draw>
uint32_t renderViews(ScnRenderJob* job, float angle, Draw draw) {
    PicRecord* target = job->target;
    const uint32_t bytes = target->bytesPerPixel;
    if (!target->pixels || target->width < 2 || target->height < 2 || target->width > 0xFFFF || target->height > 0xFFFF)
        return 0;

    MvState state{};
    state.width = uint16_t(target->width);
    state.height = uint16_t(target->height);
    state.direction = 1;
    state.bitsPerPixel = 8 * bytes;
    if (bytes == 2) {
        state.redMask = 0x7C00, state.greenMask = 0x03E0, state.blueMask = 0x001F;
    } else if (bytes == 4) {
        state.redMask = 0xFF0000, state.greenMask = 0x00FF00, state.blueMask = 0x0000FF;
    }
    mvInit(&state);

    const uint32_t viewW = state.viewWidth, viewH = state.viewHeight;
    const size_t slotBytes = size_t((viewH + 1) & ~1u) * ((viewW + 7) & ~7u) * bytes;
    ViewBuffers buf;
    buf.views = static_cast<uint8_t**>(memAllocZ(MV_VIEW_COUNT * sizeof(uint8_t*)));
    if (!buf.views) return 0;
    buf.block = static_cast<uint8_t*>(memAllocZ(slotBytes * MV_VIEW_COUNT));
    if (!buf.block) return 0;
    buf.depth = static_cast<int16_t*>(memAllocZ(size_t(viewW) * viewH * sizeof(int16_t)));
    if (!buf.depth) return 0;
    buf.record = static_cast<PicRecord*>(memAllocZ(sizeof(PicRecord)));
    if (!buf.record) return 0;

    CamRecord cam = *job->camera;
    cam.pixX = 0, cam.pixY = 0, cam.pixW = int32_t(viewW), cam.pixH = int32_t(viewH);
    camUpdate(&cam);
    const CamRecord still = cam;
    Mat4 back, step, turn;
    mtxIdentity(&back);
    mtxIdentity(&step);
    mtxIdentity(&turn);  // the rotation applied to the scene in the current view
    if (angle != 0.0f) {
        mtxMakeAxisRotation(0, 0, -angle, 1.0f, &back);
        mtxMakeAxisRotation(0, 0, angle, 1.0f, &step);
    }
    for (uint32_t k = 0; k < MV_VIEW_COUNT / 2; ++k) {
        mtxPreMultiply(&back, &cam.worldToPixel);
        mtxPreMultiply(&back, &turn);
    }

    PicRecord& view = *buf.record;
    view.depth = buf.depth;
    view.width = int32_t(viewW);
    view.height = int32_t(viewH);
    view.bytesPerPixel = bytes;
    ScnRenderJob local = *job;
    local.camera = &cam;
    local.target = &view;
    for (uint32_t i = 0; i < MV_VIEW_COUNT; ++i) {
        mtxPreMultiply(&step, &cam.worldToPixel);
        mtxPreMultiply(&step, &turn);
        buf.views[i] = buf.block + slotBytes * i;
        view.pixels = buf.views[i];
        local.rect = IRect{0, 0, 0, 0};
        draw(local, cam, view, still, turn);
    }
    mvInterleave(buf.views, viewW * bytes, target->pixels);
    return 1;
}

}  // namespace

uint32_t mvRender(ScnRenderJob* job, ScnNode** list, float angle) {
    if (!job || !list || !job->target || !job->camera) return 0;
    if (dxActive) return 1;  // the hardware back end has no multi-view output
    return renderViews(job, angle, [&](ScnRenderJob& local, CamRecord& cam, PicRecord& view, const CamRecord&,
                                       const Mat4&) {
        fzDrawBackground(&view, nullptr, nullptr, &cam, 1, 0);
        scnRenderList(&local, list, nullptr);
    });
}

uint32_t mvRenderRayTraced(ScnRenderJob* job, PicRecord* work, RtProgressFn, RtShowFn, ScnNode** list1, ScnNode** list2,
                           const CamRecord* rayCamera, uint32_t extShadows, uint32_t shadows, uint32_t reflections,
                           uint32_t refraction, uint32_t noSelfShadow, uint32_t resetClear, float angle) {
    if (!job || !list1 || !job->target || !job->camera) return 0;
    // Each view is traced without progress reports, cancellation or display. The camera
    // itself turns, so that the rays unprojected through the pixels meet the faces of the
    // id picture drawn with the turned view.
    return renderViews(job, angle, [&](ScnRenderJob& local, CamRecord&, PicRecord&, const CamRecord& still,
                                       const Mat4& turn) {
        CamRecord turned = still;
        Mat4 inverse;
        if (!mtxInvert(&turn, &inverse)) return;
        // a rotation about the origin: points and directions alike
        for (Vec3* v : {&turned.eye, &turned.vrp, &turned.up, &turned.dir}) mtxTransformPointInPlace(v, &inverse);
        if (!camUpdate(&turned)) return;
        local.camera = &turned;
        rtRender(&local, work, nullptr, nullptr, list1, list2, rayCamera, extShadows, shadows, reflections, refraction,
                 noSelfShadow, resetClear);
    });
}

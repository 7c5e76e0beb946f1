// Line batching into polylines.
#include "render/gdilines.h"

namespace {

struct LnState {
    LnPoint points[LN_BUFFER_POINTS];
    uint32_t start = LN_RUN_EMPTY;
    uint32_t end = LN_RUN_EMPTY;
    void* dc = nullptr;
    void* penDesc = nullptr;
    bool penCreated = false;
    void* savedPen = nullptr;
    void* currentPen = nullptr;
    uint32_t lastColour = LN_NO_COLOUR;
    uint32_t sinkMode = 0;
    LnSinkFn sink = lnNullSink;
    const LnDeviceOps* ops = nullptr;
};

LnState g;

bool runEmpty() { return g.start >= g.end; }

bool samePoint(const LnPoint& a, const LnPoint& b) { return a.x == b.x && a.y == b.y; }

}  // namespace

int32_t lnCoord16(float v) {
    if (!(v == v)) return 0;
    if (v >= 32767.0f) return 32767;
    if (v <= -32768.0f) return -32768;
    return int32_t(v);  // toward zero
}

void lnSetDevice(const LnDeviceOps* ops) { g.ops = ops; }

uint32_t lnNullSink(const LnPoint*, uint32_t) { return 1; }

int lnSetSink(LnSinkFn sink) {
    g.sink = sink ? sink : lnNullSink;
    return 1;
}

void* lnBegin(void* dc, void* penDesc, uint32_t sinkMode) {
    g.sinkMode = sinkMode;
    g.dc = dc;
    g.penCreated = false;
    g.savedPen = nullptr;
    g.currentPen = nullptr;
    g.start = g.end = LN_RUN_EMPTY;
    g.penDesc = sinkMode ? nullptr : penDesc;
    return g.penDesc;
}

void lnFlush(uint32_t final) {
    if (!runEmpty()) {
        const LnPoint* first = &g.points[g.start];
        uint32_t count = g.end - g.start + 1;
        if (g.sinkMode)
            g.sink(first, count);
        else if (g.ops && g.ops->polyline)
            g.ops->polyline(g.dc, first, count);
    }
    if (!g.sinkMode && final && g.penDesc && g.penCreated && g.ops) {
        void* created = g.ops->selectPen ? g.ops->selectPen(g.dc, g.savedPen) : nullptr;
        if (g.ops->deletePen) g.ops->deletePen(created ? created : g.currentPen);
        g.penCreated = false;
        g.savedPen = g.currentPen = nullptr;
    }
    g.start = g.end = LN_RUN_EMPTY;
}

void lnAddLine(float x0, float y0, float x1, float y1, uint32_t colour) {
    const LnPoint a = {lnCoord16(x0), lnCoord16(y0)};
    const LnPoint b = {lnCoord16(x1), lnCoord16(y1)};
    if (g.start == 0 || g.end == LN_BUFFER_POINTS - 1) lnFlush(0);

    const uint32_t c = g.penDesc ? colour : g.lastColour;
    if (!runEmpty() && c == g.lastColour) {
        LnPoint& first = g.points[g.start];
        LnPoint& last = g.points[g.end];
        if (samePoint(a, first)) {
            g.points[--g.start] = b;
            return;
        }
        if (samePoint(b, first)) {
            g.points[--g.start] = a;
            return;
        }
        if (samePoint(a, last)) {
            g.points[++g.end] = b;
            return;
        }
        if (samePoint(b, last)) {
            g.points[++g.end] = a;
            return;
        }
    }
    if (!runEmpty()) lnFlush(0);
    g.start = LN_RUN_EMPTY - 1;
    g.end = LN_RUN_EMPTY;
    g.points[g.start] = a;
    g.points[g.end] = b;

    if (!g.penDesc) {
        g.lastColour = c;
        return;
    }
    if (c != g.lastColour || !g.penCreated) {
        void* pen = (g.ops && g.ops->createPen) ? g.ops->createPen(g.penDesc, c) : nullptr;
        if (pen) {
            void* replaced = g.ops->selectPen ? g.ops->selectPen(g.dc, pen) : nullptr;
            if (!g.penCreated) {
                g.savedPen = replaced;
                g.penCreated = true;
            } else if (g.ops->deletePen && replaced) {
                g.ops->deletePen(replaced);
            }
            g.currentPen = pen;
        }
    }
    g.lastColour = c;
}

void lnReset() { g = LnState{}; }

// Update regions: rectangle lists that stay free of overlaps, with their bounding rectangle.
#include "render/updregion.h"

#include <algorithm>

#include "scene/engine.h"

namespace {

int32_t g_failAfter = -1;

UpdateRect* newRect(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    if (g_failAfter == 0) {
        errReport(ERR_NOMEM, "No memory for <UpdateRect>");
        return nullptr;
    }
    if (g_failAfter > 0) --g_failAfter;
    auto* r = static_cast<UpdateRect*>(memAllocZ(sizeof(UpdateRect)));
    if (!r) return nullptr;
    *r = {x0, y0, x1, y1, nullptr};
    return r;
}

int32_t clampCoord(int64_t v) {
    return int32_t(std::clamp<int64_t>(v, -int64_t(RGN_COORD_LIMIT), RGN_COORD_LIMIT));
}

bool isEmpty(const UpdateRect* q) { return q->x1 <= q->x0 || q->y1 <= q->y0; }

void growBounds(UpdateRegion* r, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    const int64_t l = std::min<int64_t>(r->bounds.x, x0), t = std::min<int64_t>(r->bounds.y, y0);
    const int64_t rr = std::max<int64_t>(int64_t(r->bounds.x) + r->bounds.w, x1);
    const int64_t b = std::max<int64_t>(int64_t(r->bounds.y) + r->bounds.h, y1);
    r->bounds = {int32_t(l), int32_t(t), int32_t(rr - l), int32_t(b - t)};
}

// Out of memory: the whole region becomes its bounding rectangle, held in the
// first listed rectangle, so that no recorded area is lost.
int collapseToBounds(UpdateRegion* r) {
    UpdateRect* keep = r->first;
    UpdateRect* q = keep->next;
    while (q) {
        UpdateRect* n = q->next;
        memFree(q);
        q = n;
    }
    const IRect& b = r->bounds;
    *keep = {b.x, b.y, b.x + b.w, b.y + b.h, nullptr};
    r->first = r->last = keep;
    r->count = 1;
    return 1;
}

// Corner code against q with closed intervals; 15 = inside.
int cornerCode(int32_t cx, int32_t cy, const UpdateRect* q) {
    return (q->x0 <= cx ? 1 : 0) | (cx <= q->x1 ? 2 : 0) | (q->y0 <= cy ? 4 : 0) | (cy <= q->y1 ? 8 : 0);
}

bool within(int32_t v, int32_t lo, int32_t hi) { return lo <= v && v <= hi; }

}  // namespace

void rgnFailAllocAfter(int32_t n) { g_failAfter = n < 0 ? -1 : n; }

int rgnCreate(UpdateRegion** holder) {
    if (!holder) return 0;
    *holder = static_cast<UpdateRegion*>(memAllocZ(sizeof(UpdateRegion)));
    return *holder ? 1 : 0;
}

int rgnFree(UpdateRegion** holder) {
    if (!holder) return 0;
    if (*holder) {
        rgnClear(*holder);
        memFree(*holder);
        *holder = nullptr;
    }
    return 1;
}

int rgnClear(UpdateRegion* region) {
    if (!region) return 0;
    UpdateRect* q = region->first;
    while (q) {
        UpdateRect* n = q->next;
        memFree(q);
        q = n;
    }
    region->first = region->last = nullptr;
    region->bounds = {0, 0, 0, 0};
    region->count = 0;
    return 1;
}

int rgnAppendRect(int32_t x0, int32_t y0, int32_t x1, int32_t y1, UpdateRegion* region) {
    if (!region) return 0;
    if (x1 <= x0 || y1 <= y0) return 1;
    x0 = clampCoord(x0);
    y0 = clampCoord(y0);
    x1 = clampCoord(x1);
    y1 = clampCoord(y1);
    if (x1 <= x0 || y1 <= y0) return 1;
    UpdateRect* r = newRect(x0, y0, x1, y1);
    if (!r) return 0;
    if (!region->first) {
        region->first = region->last = r;
        region->bounds = {x0, y0, x1 - x0, y1 - y0};
        region->count = 1;
        return 1;
    }
    region->last->next = r;
    region->last = r;
    if (region->count != UINT32_MAX) ++region->count;
    growBounds(region, x0, y0, x1, y1);
    return 1;
}

int rgnAddRect(const IRect* rect, UpdateRegion* region) {
    if (!rect || !region) return 0;
    if (rect->w <= 0 || rect->h <= 0) return 1;
    int32_t x0 = clampCoord(rect->x), y0 = clampCoord(rect->y);
    int32_t x1 = clampCoord(int64_t(rect->x) + rect->w), y1 = clampCoord(int64_t(rect->y) + rect->h);
    if (x1 <= x0 || y1 <= y0) return 1;

    if (!region->first) return rgnAppendRect(x0, y0, x1, y1, region);

    const int64_t L = region->bounds.x, T = region->bounds.y;
    const int64_t R = L + region->bounds.w, B = T + region->bounds.h;
    growBounds(region, x0, y0, x1, y1);
    auto append = [&](int32_t a0, int32_t b0, int32_t a1, int32_t b1) {
        return rgnAppendRect(a0, b0, a1, b1, region) ? true : (collapseToBounds(region), false);
    };

    if (R < x0 || B < y0 || x1 < L || y1 < T) {
        append(x0, y0, x1, y1);
        return 1;
    }

    UpdateRect* const walkLast = region->last;
    UpdateRect* prev = nullptr;
    UpdateRect* q = region->first;
    for (;;) {
        const bool isLast = q == walkLast;
        if (!isEmpty(q)) {
            const int tl = cornerCode(x0, y0, q), tr = cornerCode(x1, y0, q);
            const int bl = cornerCode(x0, y1, q), br = cornerCode(x1, y1, q);
            if (tl == 15 && tr == 15 && bl == 15 && br == 15) return 1;  // covered
            if ((tl | tr | bl | br) == 15) {
                const int32_t qx0 = q->x0, qy0 = q->y0, qx1 = q->x1, qy1 = q->y1;
                const bool inTL = tl == 15, inTR = tr == 15, inBL = bl == 15, inBR = br == 15;
                bool ok = true;
                if (tl == 10 && bl == 6 && br == 5 && tr == 9) {
                    // N contains Q.
                    if (isLast) {
                        q->x0 = x0;
                        q->y0 = y0;
                        q->x1 = x1;
                        q->y1 = y1;
                        return 1;
                    }
                    UpdateRect* next = q->next;
                    if (prev)
                        prev->next = next;
                    else
                        region->first = next;
                    memFree(q);
                    q = next;
                    continue;
                } else if (inTL && !inTR && !inBL && !inBR) {
                    q->y1 = y0;
                    ok = append(qx0, y0, x0, qy1);
                } else if (inBL && !inTL && !inTR && !inBR) {
                    q->x1 = x0;
                    q->y1 = y1;
                    ok = append(qx0, y1, qx1, qy1);
                } else if (inBR && !inTL && !inTR && !inBL) {
                    q->x0 = x1;
                    q->y1 = y1;
                    ok = append(qx0, y1, qx1, qy1);
                } else if (inTR && !inTL && !inBL && !inBR) {
                    q->y1 = y0;
                    ok = append(x1, y0, qx1, qy1);
                } else if (inTL && inBL) {
                    q->y1 = y0;
                    ok = append(qx0, y1, qx1, qy1);
                    x0 = qx0;
                } else if (inBL && inBR) {
                    q->x1 = x0;
                    ok = append(x1, qy0, qx1, qy1);
                    y1 = qy1;
                } else if (inTR && inBR) {
                    q->y1 = y0;
                    ok = append(qx0, y1, qx1, qy1);
                    x1 = qx1;
                } else if (inTL && inTR) {
                    q->x1 = x0;
                    ok = append(x1, qy0, qx1, qy1);
                    y0 = qy0;
                } else if (within(x0, qx0, qx1)) {
                    // N crosses Q.
                    q->x1 = x0;
                    if (within(x1, qx0, qx1)) ok = append(x1, qy0, qx1, qy1);
                } else if (within(y0, qy0, qy1)) {
                    q->y1 = y0;
                    if (within(y1, qy0, qy1)) ok = append(qx0, y1, qx1, qy1);
                } else if (within(x1, qx0, qx1)) {
                    q->x0 = x1;
                } else if (within(y1, qy0, qy1)) {
                    q->y0 = y1;
                }
                if (!ok) return 1;  // collapsed to the bounding rectangle, which holds N
            }
        }
        if (isLast) {
            append(x0, y0, x1, y1);
            return 1;
        }
        prev = q;
        q = q->next;
    }
}

int rgnAddRegion(const UpdateRegion* source, UpdateRegion* destination) {
    if (!source || !destination || source == destination) return 1;
    for (const UpdateRect* q = source->first; q; q = q->next) {
        const IRect r = {q->x0, q->y0, int32_t(int64_t(q->x1) - q->x0), int32_t(int64_t(q->y1) - q->y0)};
        rgnAddRect(&r, destination);
    }
    return 1;
}

int rgnPreferBounds(const UpdateRegion* region) {
    if (!region) return 0;
    if (region->count < 2) return 1;
    // Exact costs in 64 bits (saturating): widths and heights fit in 32 bits.
    auto add = [](uint64_t a, uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; };
    uint64_t listed = uint64_t(region->count) * 10000u;
    for (const UpdateRect* q = region->first; q; q = q->next)
        if (!isEmpty(q)) listed = add(listed, uint64_t(int64_t(q->x1) - q->x0) * uint64_t(int64_t(q->y1) - q->y0));
    const uint64_t w = region->bounds.w > 0 ? uint64_t(region->bounds.w) : 0;
    const uint64_t h = region->bounds.h > 0 ? uint64_t(region->bounds.h) : 0;
    return listed > add(w * h, 10000u) ? 1 : 0;
}

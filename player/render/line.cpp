// Line set-up and the line routines of the run table.
#include "render/line.h"
#include "render/rastercommon.h"

#include <cmath>
#include <cstring>
#include <utility>

namespace {

// Line stepping state: pixel k lies at major m = major0 + k and at the minor coordinate
// nearest to the line there, floor(((m - y0) * dx + (x0 + 0.5) * dy) / dy) (exact for
// coordinates on a binary grid, ties rounding up).
struct LineState {
    uint8_t* pixels;
    int16_t* depth;
    int32_t width, height;
    bool xMajor;
    int64_t major0;
    double y0, xHalf, dx, dy;
    int64_t kBegin, kEnd;
    int64_t z, zStep;
    uint32_t u, uStep;
    uint32_t r, rStep, g, gStep, b, bStep;
    uint32_t flat, lightR, lightG, lightB;
    uint32_t destWeight;
    const uint8_t* texels;
    const uint32_t* palette;
    uint32_t colMask;
};
LineState g_line;

enum : unsigned { L_DEPTH = 1, L_GOURAUD = 2, L_TEX = 4, L_BLEND = 8, L_KEY = 16 };

uint32_t rgb555(const float* c, double alpha) {
    if (!c) return 0;
    return (uint32_t(rasterUnit(c[0]) * alpha * 31744.0) & 0x7C00) | (uint32_t(rasterUnit(c[1]) * alpha * 992.0) & 0x3E0) |
           (uint32_t(rasterUnit(c[2]) * alpha * 31.0) & 0x1F);
}

}  // namespace

template <unsigned I>
void spanLineRoutine() {
    LineState& s = g_line;
    int64_t z = s.z;
    uint32_t u = s.u, r = s.r, g = s.g, b = s.b;
    const uint32_t a = s.destWeight;
    for (int64_t k = s.kBegin; k < s.kEnd; ++k) {
        const int64_t major = s.major0 + k;
        const int64_t minor = int64_t(std::floor(((double(major) - s.y0) * s.dx + s.xHalf * s.dy) / s.dy));
        const int64_t x = s.xMajor ? major : minor, y = s.xMajor ? minor : major;
        if (x >= 0 && y >= 0 && x < s.width && y < s.height) {
            const size_t at = size_t(y) * size_t(s.width) + size_t(x);
            uint8_t* c = s.pixels + at * 2;
            int32_t d = 0;
            bool pass = true;
            if constexpr ((I & L_DEPTH) != 0) {
                d = spanDepth16(z);
                pass = d < s.depth[at];
            }
            if (pass) {
                uint32_t word;
                bool skip = false;
                uint16_t dst16;
                std::memcpy(&dst16, c, 2);
                const uint32_t dst = dst16;
                if constexpr ((I & L_TEX) != 0) {
                    const uint32_t texel = s.palette[s.texels[(u >> 16) & s.colMask]];
                    if constexpr ((I & L_KEY) != 0) skip = texel == 0;
                    const uint32_t red = (texel >> 16) & 0xFF, green = (texel >> 8) & 0xFF, blue = texel & 0xFF;
                    uint32_t lr = s.lightR, lg = s.lightG, lb = s.lightB;
                    if constexpr ((I & L_GOURAUD) != 0) {
                        lr = r >> 16;
                        lg = g >> 16;
                        lb = b >> 16;
                    }
                    if constexpr ((I & L_BLEND) != 0)
                        word = ((red * lr + (dst & 0x7C00) * a) >> 8 & 0x7C00) |
                               ((green * lg + (dst & 0x3E0) * a) >> 8 & 0x3E0) |
                               ((blue * lb + (dst & 0x1F) * a) >> 8 & 0x1F);
                    else
                        word = ((red * lr) >> 8 & 0x7C00) | ((green * lg) >> 8 & 0x3E0) | ((blue * lb) >> 8 & 0x1F);
                } else {
                    if constexpr ((I & L_GOURAUD) != 0)
                        word = ((r >> 16) & 0x7C00) | ((g >> 16) & 0x3E0) | ((b >> 16) & 0x1F);
                    else
                        word = s.flat;
                    if constexpr ((I & L_BLEND) != 0)
                        word += (((dst & 0x7C00) * a) >> 8 & 0x7C00) | (((dst & 0x3E0) * a) >> 8 & 0x3E0) |
                                (((dst & 0x1F) * a) >> 8 & 0x1F);
                }
                if (!skip) {
                    const uint16_t w = uint16_t(word);
                    std::memcpy(c, &w, 2);
                    if constexpr ((I & L_DEPTH) != 0 && (I & L_BLEND) == 0) s.depth[at] = int16_t(d);
                }
            }
        }
        if constexpr ((I & L_DEPTH) != 0) z += s.zStep;
        if constexpr ((I & L_TEX) != 0) u += s.uStep;
        if constexpr ((I & L_GOURAUD) != 0) {
            r += s.rStep;
            g += s.gStep;
            b += s.bStep;
        }
    }
}

#define LINE_ROUTINE(i) template void spanLineRoutine<i>();
LINE_ROUTINE(0) LINE_ROUTINE(1) LINE_ROUTINE(2) LINE_ROUTINE(3) LINE_ROUTINE(4) LINE_ROUTINE(5)
LINE_ROUTINE(6) LINE_ROUTINE(7) LINE_ROUTINE(8) LINE_ROUTINE(9) LINE_ROUTINE(10) LINE_ROUTINE(11)
LINE_ROUTINE(12) LINE_ROUTINE(13) LINE_ROUTINE(14) LINE_ROUTINE(15) LINE_ROUTINE(20) LINE_ROUTINE(21)
LINE_ROUTINE(22) LINE_ROUTINE(23) LINE_ROUTINE(28) LINE_ROUTINE(29) LINE_ROUTINE(30) LINE_ROUTINE(31)
#undef LINE_ROUTINE

void spanDrawLine(const float* p0, const float* p1, const float* colour, uint32_t depthTest,
                  const LineRecord* record) {
    if (const SpanHardware* hw = spanGetHardware()) {
        if (hw->line) hw->line(p0, p1, colour, depthTest, record);
        return;
    }
    PicRecord* pic = spanGetTarget();
    if (!pic || !p0 || !p1 || pic->bytesPerPixel != 2 || !pic->pixels || pic->width <= 0 || pic->height <= 0)
        return;
    if (depthTest && !pic->depth) return;
    for (int i = 0; i < 3; ++i)
        if (!std::isfinite(p0[i]) || !std::isfinite(p1[i]) || std::fabs(p0[i]) > 0x1p24f || std::fabs(p1[i]) > 0x1p24f)
            return;
    const TexPixelBlock* tex = record ? record->texture : nullptr;
    if (tex && (!spanTextureValid(tex) || tex->log2Width > 15)) return;

    LineState& s = g_line;
    s.pixels = pic->pixels;
    s.depth = pic->depth;
    s.width = pic->width;
    s.height = pic->height;

    // ends, with the per-end values, ordered so that the major coordinate increases
    double x0 = p0[0], y0 = p0[1], z0 = p0[2], x1 = p1[0], y1 = p1[1], z1 = p1[2];
    const float* c0 = record ? record->colour0 : colour;
    const float* c1 = record ? record->colour1 : colour;
    double u0 = record ? record->u0 : 0.0, u1 = record ? record->u1 : 0.0;
    const float* flatColour = c0;
    const double dx = x1 - x0, dy = y1 - y0;
    s.xMajor = std::fabs(dx) > std::fabs(dy);
    if (s.xMajor) {
        std::swap(x0, y0);  // work in (minor, major) = (y, x)
        std::swap(x1, y1);
    }
    if (y1 < y0) {
        std::swap(x0, x1);
        std::swap(y0, y1);
        std::swap(z0, z1);
        std::swap(c0, c1);
        std::swap(u0, u1);
    }

    double length = y1 - y0;
    int64_t count;
    s.y0 = y0;
    s.xHalf = x0 + 0.5;
    s.dx = x1 - x0;
    s.dy = length;
    if (length == 0.0) {
        // a zero-length line is its one pixel when the point is whole
        if (x0 != std::floor(x0) || y0 != std::floor(y0)) return;
        s.major0 = int64_t(y0);
        s.dx = 0.0;
        s.dy = 1.0;
        count = 1;
        length = 1.0;
    } else {
        // rows from the first at or after y0 (within 8 / 2^17) to the last at or before y1
        const int64_t start = -8 - int64_t(-y0 * RASTER_FIX17);
        s.major0 = (start >> 17) + 1;
        count = (int64_t(y1 * RASTER_FIX17) >> 17) - s.major0 + 1;
        if (count <= 0) return;
    }
    // only the pixels whose major coordinate lies on the target are visited
    const int64_t majorSize = s.xMajor ? s.width : s.height;
    s.kBegin = s.major0 < 0 ? -s.major0 : 0;
    s.kEnd = count < majorSize - s.major0 ? count : majorSize - s.major0;
    if (s.kBegin >= s.kEnd) return;

    unsigned index = depthTest ? unsigned(L_DEPTH) : 0u;
    const double alpha = record && record->alpha != 0.0f ? double(record->alpha) : 1.0;
    if (record && record->alpha != 0.0f) {
        index |= L_BLEND;
        const double w = (1.0 - alpha) * 256.0;
        s.destWeight = w > 0.0 ? (w < 256.0 ? uint32_t(w) : 256u) : 0u;
    }
    const double at = double(s.major0 + s.kBegin) - y0;  // first visited pixel along the major axis
    if (depthTest) {
        const double step = (z1 - z0) * 65536.0 / length;
        s.zStep = spanFix64(step, 0x1p40);
        s.z = spanFix64(z0 * 65536.0 + step * at + 32768.0, 0x1p46);
    }
    s.flat = rgb555(flatColour, alpha);
    s.lightR = s.flat & 0x7C00;
    s.lightG = s.flat & 0x3E0;
    s.lightB = s.flat & 0x1F;
    if (record && record->gouraud) {
        index |= L_GOURAUD;
        const double scale[3] = {31.0 * 0x1p26 * alpha, 31.0 * 0x1p21 * alpha, 31.0 * 0x1p16 * alpha};
        const double bias[3] = {0x1p25, 0x1p20, 0x1p15};
        uint32_t* acc[3] = {&s.r, &s.g, &s.b};
        uint32_t* stp[3] = {&s.rStep, &s.gStep, &s.bStep};
        for (int i = 0; i < 3; ++i) {
            const double a0 = c0 ? rasterUnit(c0[i]) * scale[i] : 0.0, a1 = c1 ? rasterUnit(c1[i]) * scale[i] : 0.0;
            const double step = (a1 - a0) / length;
            *stp[i] = spanWrap32(step);
            *acc[i] = spanWrap32(a0 + step * at + bias[i]);
        }
    }
    if (tex) {
        index |= L_TEX;
        if (record->colorKey) index |= L_KEY;
        const TexLevel* lv = texLevel(tex, 0);
        static uint32_t padded[256];
        s.texels = lv->pixels;
        if (lv->paletteCount >= 256) {
            s.palette = lv->palette;
        } else {
            std::memset(padded, 0, sizeof padded);
            std::memcpy(padded, lv->palette, lv->paletteCount * sizeof(uint32_t));
            s.palette = padded;
        }
        s.colMask = (1u << tex->log2Width) - 1;
        const double scale = double(lv->coordScale);
        const double step = (u1 - u0) * scale / length;
        s.uStep = spanWrap32(step);
        s.u = spanWrap32(u0 * scale + step * at);
    }
    spanRunTable[index]();
}

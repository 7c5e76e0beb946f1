#include "render/clear.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "render/dxhook.h"
#include "render/fzbuffer.h"
#include "render/light.h"
#include "render/updregion.h"
#include "scene/engine.h"
#include "scene/material.h"
#include "scene/texture.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

struct TintState {
    bool on = false;
    float tint[3] = {1.0f, 1.0f, 1.0f};
    float amount = 0.0f;
    uint32_t mode = 0;
    float clear[3] = {};
    float band[4][3] = {};
    PicRecord* picture = nullptr;
    uint32_t paletteCount = 0;
    uint32_t palette[256] = {};
    uint16_t table[256] = {};
};
TintState g_tint;
float g_groundColour[3] = {0.0f, 0.0f, 0.0f};

uint32_t toByte(float c) {
    const float v = c * 255.0f;
    if (!(v > 0.0f)) return 0;
    if (v >= 255.0f) return 255;
    return uint32_t(v);
}

uint32_t pixelOf(const PicRecord* buffer, const float c[3]) {
    const uint32_t rgb = (toByte(c[0]) << 16) | (toByte(c[1]) << 8) | toByte(c[2]);
    return buffer->bytesPerPixel == 2 ? picRgb555(rgb) : rgb;
}

// Intersects rect with the buffer; false when nothing is left.
bool clipToBuffer(IRect* r, const PicRecord* buffer) {
    if (r->w <= 0 || r->h <= 0) return false;
    const int64_t x0 = std::max<int64_t>(r->x, 0), y0 = std::max<int64_t>(r->y, 0);
    const int64_t x1 = std::min<int64_t>(int64_t(r->x) + r->w, buffer->width);
    const int64_t y1 = std::min<int64_t>(int64_t(r->y) + r->h, buffer->height);
    if (x1 <= x0 || y1 <= y0) {
        *r = {int32_t(std::min<int64_t>(x0, buffer->width)), int32_t(std::min<int64_t>(y0, buffer->height)), 0, 0};
        return false;
    }
    *r = {int32_t(x0), int32_t(y0), int32_t(x1 - x0), int32_t(y1 - y0)};
    return true;
}

bool usable(const PicRecord* b) {
    return b && b->pixels && b->width > 0 && b->height > 0 && (b->bytesPerPixel == 2 || b->bytesPerPixel == 4);
}

void fillColourRow(PicRecord* b, int32_t y, int32_t x, int32_t w, uint32_t value) {
    uint8_t* p = b->pixels + (size_t(y) * b->width + x) * b->bytesPerPixel;
    if (b->bytesPerPixel == 2)
        memFill16(p, value, size_t(w));
    else
        memFill32(p, value, size_t(w));
}

void fillDepthRow(PicRecord* b, int32_t y, int32_t x, int32_t w) {
    if (b->depth) memFill16(b->depth + size_t(y) * b->width + x, uint16_t(FZ_DEPTH_FAR), size_t(w));
}

void putPixel(PicRecord* b, int32_t x, int32_t y, uint32_t value) {
    uint8_t* p = b->pixels + (size_t(y) * b->width + x) * b->bytesPerPixel;
    if (b->bytesPerPixel == 2)
        picPut16(p, value);
    else
        picPut32(p, value);
}

int clearImpl(PicRecord* buffer, IRect* rect, bool depth) {
    if (!usable(buffer)) return 0;
    const FzBackgroundState& st = fzBackgroundState();
    const uint32_t value = buffer->bytesPerPixel == 2 ? st.clear15 : st.clear32;
    if (!rect) {
        const size_t n = size_t(buffer->width) * size_t(buffer->height);
        if (buffer->bytesPerPixel == 2)
            memFill16(buffer->pixels, value, n);
        else
            memFill32(buffer->pixels, value, n);
        if (depth && buffer->depth) memFill16(buffer->depth, uint16_t(FZ_DEPTH_FAR), n);
        return 1;
    }
    if (rect->w == 0 || rect->h == 0) return 1;
    if (!clipToBuffer(rect, buffer)) return 1;
    for (int32_t y = rect->y; y < rect->y + rect->h; ++y) {
        fillColourRow(buffer, y, rect->x, rect->w, value);
        if (depth) fillDepthRow(buffer, y, rect->x, rect->w);
    }
    return 1;
}

// ---- band ----

float rowElevation(const CamRecord* cam, int32_t row) {
    const Vec3 screen = {float(cam->pixX + cam->pixW / 2), float(row), 32767.0f};
    Vec3 world;
    if (!mtxProjectPoint(&screen, &world, &cam->pixelToWorld)) return 0.0f;
    const double dx = double(world.x) - cam->eye.x, dy = double(world.y) - cam->eye.y,
                 dz = double(world.z) - cam->eye.z;
    return float(std::atan2(dz, std::sqrt(dx * dx + dy * dy)));
}

// ---- picture placement ----

struct Placement {
    double s, cx, cy;
    int32_t W, H;
    uint32_t mode;
    bool flip;
};

bool placePicture(const CamRecord* cam, Placement* out) {
    const BgRecord& bg = fzBackgroundState().bg;
    const PicRecord* pic = bg.picture;
    if (!pic || !pic->pixels || pic->width <= 0 || pic->height <= 0 || pic->bytesPerPixel != 1) return false;
    const double W = pic->width, H = pic->height;
    const double vx = cam->pixX, vy = cam->pixY, vw = cam->pixW, vh = cam->pixH;
    if (vw <= 0 || vh <= 0) return false;
    Placement p{};
    p.W = pic->width;
    p.H = pic->height;
    p.mode = bg.mode;
    p.flip = cam->rowsUp != 0;
    if (bg.followCamera == 0) {
        if (bg.mode == 4) {
            p.s = 1.0;
            p.cx = double(pic->width / 2 + bg.offsetX);
            p.cy = double(pic->height / 2) + vy + vh - bg.offsetY;
        } else {
            p.s = (W / H <= vw / vh) ? vw / W : vh / H;
            p.cx = vx + vw / 2.0;
            p.cy = vy + vh / 2.0;
        }
    } else {
        const double ex = double(cam->vrp.x) - cam->eye.x, ey = double(cam->vrp.y) - cam->eye.y,
                     ez = double(cam->vrp.z) - cam->eye.z;
        const double phi = std::atan2(ey, ex);
        const double theta = std::atan2(ez, std::sqrt(ex * ex + ey * ey));
        double alpha = 2.0 * std::atan2((double(cam->winXMax) - cam->winXMin) / 2.0, double(cam->viewDist));
        if (alpha < 0) alpha += 2 * kPi;
        double beta = 2.0 * std::atan2((double(cam->winYMax) - cam->winYMin) / 2.0, double(cam->viewDist));
        if (beta < 0) beta += 2 * kPi;
        if (alpha == 0.0 || beta == 0.0) return false;
        p.s = double(bg.pictureAngle) * vw / (alpha * W);
        p.cx = (phi / alpha + 0.5) * vw + vx;
        p.cy = (-theta / beta + ((0.5 - double(bg.horizon)) * H / vh) * p.s + 0.5) * vh + vy;
    }
    if (!(p.s > 0.0) || !std::isfinite(p.s)) return false;
    *out = p;
    return true;
}

int32_t reduceIndex(double pos, int32_t n, uint32_t mode) {
    if (!std::isfinite(pos)) return 0;
    int64_t i = int64_t(std::floor(std::clamp(pos, -1e15, 1e15)));
    if (mode == 2) {
        const int64_t period = 2 * int64_t(n) - 1;
        if (i < 0) i = -i;
        i %= period;
        if (i > n - 1) i = n - (i - (n - 1));
    } else {
        i %= n;
        if (i < 0) i += n;
    }
    if (i > n - 1) i = n - 1;
    if (i < 0) i = 0;
    return int32_t(i);
}

int32_t columnIndex(const Placement& p, double x) { return reduceIndex((x - p.cx) / p.s + p.W / 2.0, p.W, p.mode); }

// With rows running upwards the picture row is turned over as a whole: row r of the
// picture's own order is H - 1 - r, its screen rows are the same s rows.
int32_t rowIndex(const Placement& p, double y) {
    double v = (y - p.cy) / p.s + p.H / 2.0;
    if (p.flip) v = p.H - 1 - std::floor(v);
    return reduceIndex(v, p.H, p.mode);
}

int drawPictureRows(PicRecord* buffer, const IRect& r, const Placement& p) {
    const FzBackgroundState& st = fzBackgroundState();
    const PicRecord* pic = st.bg.picture;
    if (!pic->palette) return 0;
    auto* columns = static_cast<int32_t*>(memAllocZ(size_t(r.w) * sizeof(int32_t)));
    if (!columns) return 0;
    for (int32_t x = 0; x < r.w; ++x) columns[x] = columnIndex(p, r.x + x);
    const size_t bpp = buffer->bytesPerPixel;
    int32_t previous = -1;
    for (int32_t y = r.y; y < r.y + r.h; ++y) {
        const int32_t src = rowIndex(p, y);
        uint8_t* out = buffer->pixels + (size_t(y) * buffer->width + r.x) * bpp;
        if (src == previous && y > r.y) {
            std::memcpy(out, out - size_t(buffer->width) * bpp, size_t(r.w) * bpp);
            continue;
        }
        previous = src;
        const uint8_t* row = pic->pixels + size_t(src) * pic->width;
        for (int32_t x = 0; x < r.w; ++x) {
            const uint8_t index = row[columns[x]];
            if (bpp == 2)
                picPut16(out + 2 * size_t(x), st.pictureTable[index]);
            else
                picPut32(out + 4 * size_t(x), index < pic->paletteCount ? pic->palette[index] & 0xFFFFFF : 0);
        }
    }
    memFree(columns);
    return 1;
}

void pictureColour(const Placement& p, double x, double y, float colour[3]) {
    const PicRecord* pic = fzBackgroundState().bg.picture;
    const uint8_t index = pic->pixels[size_t(rowIndex(p, y)) * pic->width + columnIndex(p, x)];
    const uint32_t rgb = (pic->palette && index < pic->paletteCount) ? pic->palette[index] : 0;
    colour[0] = float((rgb >> 16) & 0xFF) / 255.0f;
    colour[1] = float((rgb >> 8) & 0xFF) / 255.0f;
    colour[2] = float(rgb & 0xFF) / 255.0f;
}

float tintFactor(int k) { return g_tint.on ? g_tint.amount * g_tint.tint[k] + 1.0f - g_tint.amount : 1.0f; }

// One axis of the hardware picture cells: engine coordinate e shows picture position
// alpha * e + beta. The device samples pixel t at e = t + 0.5 (pixel centres), the software
// path reads position(t); beta makes the device read position(t) + 0.5 / scale, half a pixel
// further along the picture, so that a picture drawn 1:1 is sampled at its pixel centres.
struct CellAxis {
    double alpha, beta;
    int32_t n;      // picture size along the axis
    uint32_t mode;  // 2 mirrored, else plain repetition
    double engineAt(double position) const { return (position - beta) / alpha; }
};

CellAxis cellAxis(double t0, double scale, int32_t n, uint32_t mode, bool reversed) {
    // Software: position(t) = (t - t0) / scale + n / 2, turned over when reversed.
    CellAxis a{};
    a.n = n;
    a.mode = mode;
    if (!reversed) {
        a.alpha = 1.0 / scale;
        a.beta = -t0 / scale + n / 2.0;
    } else {
        // The software row is n - 1 - floor(forward(t)): e shows n - forward(e), so that the
        // sample at e = t + 0.5 falls in the same picture row as forward(t + 0.5) turned over.
        a.alpha = -1.0 / scale;
        a.beta = n + t0 / scale - n / 2.0;
    }
    return a;
}

// Cells of the repetition whose positions meet [lo, hi): start position and mirror flag. Mode 2
// repeats with period 2n - 1: cells at k (2n - 1) run forwards, cells at k (2n - 1) + n run
// backwards (their last column meets the next cell's first column, which shows the same one).
template <class Fn> bool forEachCell(const CellAxis& a, double lo, double hi, Fn fn) {
    if (!(hi > lo) || !std::isfinite(lo) || !std::isfinite(hi)) return true;
    const int64_t n = a.n;
    if (a.mode == 2) {
        const int64_t period = 2 * n - 1;
        const int64_t k0 = int64_t(std::floor(lo / double(period))) - 1, k1 = int64_t(std::floor(hi / double(period))) + 1;
        for (int64_t k = k0; k <= k1; ++k)
            for (int odd = 0; odd < 2; ++odd) {
                const int64_t start = k * period + (odd ? n : 0);
                if (double(start) < hi && double(start + n) > lo && !fn(double(start), odd != 0)) return false;
            }
    } else {
        const int64_t k0 = int64_t(std::floor(lo / double(n))), k1 = int64_t(std::floor(hi / double(n)));
        for (int64_t k = k0; k <= k1; ++k)
            if (!fn(double(k * n), false)) return false;
    }
    return true;
}

// More cells than this (a picture shrunk below a pixel or so) are not drawn by the device.
constexpr int64_t kMaxPictureCells = 65536;

// Hardware path of the picture modes: the picture's tiles drawn cell by cell of the repetition,
// placing the same picture columns and rows on each pixel as the software path.
void drawPictureTiles(const IRect& r, const Placement& p) {
    const PicRecord* pic = fzBackgroundState().bg.picture;
    if (!pic->tileColumns || !pic->tileRows) return;
    const CellAxis ax = cellAxis(p.cx, p.s, p.W, p.mode, false);
    const CellAxis ay = cellAxis(p.cy, p.s, p.H, p.mode, p.flip);
    auto range = [](const CellAxis& a, double e0, double e1, double* lo, double* hi) {
        const double q0 = a.alpha * e0 + a.beta, q1 = a.alpha * e1 + a.beta;
        *lo = std::min(q0, q1);
        *hi = std::max(q0, q1);
    };
    double xlo, xhi, ylo, yhi;
    range(ax, r.x, double(r.x) + r.w, &xlo, &xhi);
    range(ay, r.y, double(r.y) + r.h, &ylo, &yhi);
    for (double v : {xlo, xhi, ylo, yhi})
        if (!(std::fabs(v) < 1e12)) return;  // no finite placement to draw
    const double periodX = p.mode == 2 ? 2.0 * p.W - 1 : p.W, periodY = p.mode == 2 ? 2.0 * p.H - 1 : p.H;
    if ((xhi - xlo) / periodX * 2 + 4 > double(kMaxPictureCells) / ((yhi - ylo) / periodY * 2 + 4)) return;
    dxTextureWrap(0);
    forEachCell(ay, ylo, yhi, [&](double sy, bool my) {
        return forEachCell(ax, xlo, xhi, [&](double sx, bool mx) {
            const float dest[4] = {float(ax.engineAt(sx)), float(ay.engineAt(sy)), float(ax.engineAt(sx + p.W)),
                                   float(ay.engineAt(sy + p.H))};
            dxDrawSubPicture(pic, dest, (mx ? DX_MIRROR_U : 0u) | (my ? DX_MIRROR_V : 0u), &r);
            return true;
        });
    });
    dxTextureWrap(1);
}

void drawBandQuads(const CamRecord* cam, const IRect& r) {
    if (r.h <= 0 || r.w <= 0) return;
    auto* colours = static_cast<float*>(memAllocZ(size_t(r.h) * 3 * sizeof(float)));
    if (!colours) return;
    for (int32_t i = 0; i < r.h; ++i) fzBandColorAt(rowElevation(cam, r.y + i), colours + 3 * i);
    // Runs of rows whose colours stay within 0.007125 of the line from the run's first row.
    int32_t start = 0;
    while (start < r.h) {
        int32_t end = start + 1;  // last row of the run
        while (end + 1 < r.h) {
            const int32_t next = end + 1, n = next - start;
            bool fits = true;
            for (int32_t k = 1; k < n && fits; ++k)
                for (int c = 0; c < 3; ++c) {
                    const float a = colours[3 * start + c], b = colours[3 * next + c];
                    const float lin = a + (b - a) * float(k) / float(n);
                    if (std::fabs(colours[3 * (start + k) + c] - lin) > 0.007125f) fits = false;
                }
            if (!fits) break;
            end = next;
        }
        if (end >= r.h) end = r.h - 1;
        dxFillRect(colours + 3 * start, colours + 3 * end, r.x, r.y + start, r.x + r.w - 1, r.y + end);
        start = end + 1;
    }
    memFree(colours);
}

// Ground: rows of the drawing area given to the ground; the rest rectangle is what remains.
struct GroundRows {
    bool any = false, all = false;
    int32_t first = -1, last = -1;
};

GroundRows groundRows(const CamRecord* cam, const IRect& r, uint32_t side) {
    GroundRows g;
    const Mat4& m = cam->worldToPixel;
    const double dx = (double(cam->vrp.x) - cam->eye.x) * 1e10, dy = (double(cam->vrp.y) - cam->eye.y) * 1e10;
    const double w = dx * m.m[3] + dy * m.m[7] + m.m[15];
    if (std::fabs(w) <= 1e-8) return g;
    const double rowD = (dx * m.m[1] + dy * m.m[5] + m.m[13]) / w;
    if (!std::isfinite(rowD)) return g;
    const int64_t row = int64_t(std::clamp(rowD, -1e9, 1e9));
    const int64_t y = r.y, end = int64_t(r.y) + r.h;  // rows y .. end - 1
    const bool flip = cam->rowsUp != 0;
    int64_t a = 0, b = -1;
    if (side == 1) {
        if (flip) {
            if (row > end) {
                a = y, b = end - 1;
            } else if (row >= y) {
                a = y, b = std::min(row, end - 1);
            }
        } else if (row < y) {
            a = y, b = end - 1;
        }
    } else {
        if (flip) {
            if (row < y) {
                a = y, b = end - 1;
            } else {
                a = std::max(std::min(row - 1, end), y), b = end - 1;
            }
        } else if (row > end) {
            a = y, b = end - 1;
        }
    }
    if (b < a) return g;
    g.any = true;
    g.first = int32_t(a);
    g.last = int32_t(b);
    g.all = a == y && b == end - 1;
    return g;
}

void groundColour(const CamRecord* cam, uint32_t side, float colour[3]) {
    const BgRecord& bg = fzBackgroundState().bg;
    TexRecord* texture = bg.groundTexture;
    MatRecord* rec = nullptr;
    colour[0] = colour[1] = colour[2] = 0.0f;
    if (!matConvert(1, &texture, bg.groundMaterial, &rec) || !rec) return;
    ltUpdateActive(1, 1);
    const int savedTextures = scnTexturesOn;
    scnTexturesOn = texture ? 1 : 0;
    const Vec3 d = {float((double(cam->vrp.x) - cam->eye.x) * 1e10), float((double(cam->vrp.y) - cam->eye.y) * 1e10),
                    0.0f};
    const Vec3 n = {0.0f, 0.0f, side ? 1.0f : -1.0f};
    ltShade(rec, &d, &n, colour);
    if (texture)
        for (int k = 0; k < 3; ++k) colour[k] *= texture->colour[k];
    scnTexturesOn = savedTextures;
    memFreeRef(reinterpret_cast<void**>(&rec));
    ltUpdateActive(1, 0);
}

}  // namespace

void fzResetClearState() {
    g_tint = TintState{};
    g_groundColour[0] = g_groundColour[1] = g_groundColour[2] = 0.0f;
    fzBackgroundState().groundFirstRow = fzBackgroundState().groundLastRow = -1;
}

int fzClear(PicRecord* buffer, IRect* rect) {
    if (dxActive) {
        dxEndPaint();
        dxBufferClear(rect, fzBackgroundState().clear32, 1.0f);
        dxResetRenderState();
        return 1;
    }
    return clearImpl(buffer, rect, true);
}

int fzClearColorPlane(PicRecord* buffer, IRect* rect) {
    if (dxActive) {
        dxResetRenderState();
        dxBufferClear(rect, fzBackgroundState().clear32, 1.0f);
        return 1;
    }
    return clearImpl(buffer, rect, false);
}

int fzClearRegion(PicRecord* buffer, const UpdateRegion* region) {
    if (!region) return fzClear(buffer, nullptr);
    if (rgnPreferBounds(region)) {
        IRect r = region->bounds;
        return fzClear(buffer, &r);
    }
    for (const UpdateRect* u = region->first; u; u = u->next) {
        IRect r = {u->x0, u->y0, u->x1 - u->x0, u->y1 - u->y0};
        fzClear(buffer, &r);
    }
    return 1;
}

void fzBandColorAt(float theta, float colour[3]) {
    const BgRecord& bg = fzBackgroundState().bg;
    const double k = 2.0 / kPi;
    double t = theta;
    if (!std::isfinite(t)) t = 0.0;
    t = std::clamp(t, -kPi / 2, kPi / 2);
    for (int c = 0; c < 3; ++c) {
        double v;
        if (t < 0)
            v = bg.nadir[c] + (t + kPi / 2) * k * (double(bg.groundHorizon[c]) - bg.nadir[c]);
        else
            v = bg.skyHorizon[c] + t * k * (double(bg.zenith[c]) - bg.skyHorizon[c]);
        colour[c] = float(v);
    }
}

int fzDrawSubPicture(const PicRecord* picture, const float rect[4], const float tex[4], FzPictureRectFn draw) {
    if (!picture || !rect || !tex || picture->width <= 0 || picture->height <= 0) return 0;
    for (int k = 0; k < 4; ++k)
        if (!(tex[k] >= 0.0f && tex[k] <= 1.0f) || !std::isfinite(rect[k])) return 0;
    if (tex[0] == tex[2] || tex[1] == tex[3]) return 0;
    const uint32_t columns = std::min<uint32_t>(picture->tileColumns, PIC_TILE_COLUMNS);
    const uint32_t rows = std::min<uint32_t>(picture->tileRows, PIC_TILE_ROWS);
    if (!columns || !rows) return 0;
    if (!draw) draw = dxDrawPictureRect;
    const float colour[3] = {tintFactor(0), tintFactor(1), tintFactor(2)};
    // Picture pixels of the part, and the engine position of picture pixel q along each axis.
    const double tile = TEX_TILE_SIZE;
    const double px0 = double(tex[0]) * picture->width, px1 = double(tex[2]) * picture->width;
    const double py0 = double(tex[1]) * picture->height, py1 = double(tex[3]) * picture->height;
    auto ex = [&](double q) { return rect[0] + (q - px0) / (px1 - px0) * (double(rect[2]) - rect[0]); };
    auto ey = [&](double q) { return rect[1] + (q - py0) / (py1 - py0) * (double(rect[3]) - rect[1]); };
    const double xlo = std::min(px0, px1), xhi = std::max(px0, px1);
    const double ylo = std::min(py0, py1), yhi = std::max(py0, py1);
    for (uint32_t tr = uint32_t(ylo / tile); tr < rows && tr * tile < yhi; ++tr) {
        // the piece of this tile row, in the part's direction
        const double a0 = std::clamp(py0, tr * tile, (tr + 1) * tile), a1 = std::clamp(py1, tr * tile, (tr + 1) * tile);
        if (a0 == a1) continue;
        for (uint32_t tc = uint32_t(xlo / tile); tc < columns && tc * tile < xhi; ++tc) {
            const double b0 = std::clamp(px0, tc * tile, (tc + 1) * tile), b1 = std::clamp(px1, tc * tile, (tc + 1) * tile);
            if (b0 == b1 || !picture->tileBlocks[tc][tr]) continue;
            const float piece[4] = {float(ex(b0)), float(ey(a0)), float(ex(b1)), float(ey(a1))};
            const float uv[4] = {float((b0 - tc * tile) / tile), float((a0 - tr * tile) / tile),
                                 float((b1 - tc * tile) / tile), float((a1 - tr * tile) / tile)};
            draw(piece, uv, float(FZ_DEPTH_FAR), picture->tileBlocks[tc][tr], colour);
        }
    }
    return 1;
}

int fzDrawOverlay(PicRecord* buffer, const PicRecord* picture, const IRect* clip, int32_t x, int32_t y,
                  uint32_t transparent, uint32_t flip) {
    if (!usable(buffer) || !picture || !picture->pixels || picture->bytesPerPixel != 1 || picture->width <= 0 ||
        picture->height <= 0)
        return 0;
    IRect r = {x, y, picture->width, picture->height};
    // intersect with the clip rectangle and the buffer
    IRect c = clip ? *clip : IRect{0, 0, buffer->width, buffer->height};
    if (!clipToBuffer(&c, buffer)) return 1;
    const int64_t x0 = std::max<int64_t>(r.x, c.x), y0 = std::max<int64_t>(r.y, c.y);
    const int64_t x1 = std::min<int64_t>(int64_t(r.x) + r.w, int64_t(c.x) + c.w);
    const int64_t y1 = std::min<int64_t>(int64_t(r.y) + r.h, int64_t(c.y) + c.h);
    const FzBackgroundState& st = fzBackgroundState();
    for (int64_t py = y0; py < y1; ++py) {
        const int64_t srcRow = flip ? picture->height - 1 - (py - y) : (py - y);
        const uint8_t* row = picture->pixels + size_t(srcRow) * picture->width;
        for (int64_t px = x0; px < x1; ++px) {
            const uint8_t index = row[px - x];
            if (index == transparent) continue;
            uint32_t value;
            if (buffer->bytesPerPixel == 2)
                value = st.overlayTable[index];
            else
                value = (picture->palette && index < picture->paletteCount) ? picture->palette[index] & 0xFFFFFF : 0;
            putPixel(buffer, int32_t(px), int32_t(py), value);
            if (buffer->depth) buffer->depth[size_t(py) * buffer->width + px] = int16_t(-32767);
        }
    }
    return 1;
}

int fzDrawBackground(PicRecord* buffer, IRect* rect, IRect* depthRect, const CamRecord* camera, uint32_t groundSide,
                     uint32_t) {
    FzBackgroundState& st = fzBackgroundState();
    const bool dx = dxActive != 0;
    if (!dx && !usable(buffer)) return 0;
    if (dx) {
        dxBufferClear(nullptr, st.clear32, 1.0f);
        dxResetRenderState();
        dxDepthBufferMode(0);
    }
    IRect area;
    if (rect)
        area = *rect;
    else if (camera)
        area = {camera->pixX, camera->pixY, camera->pixW, camera->pixH};
    else
        area = {0, 0, buffer ? buffer->width : 0, buffer ? buffer->height : 0};
    const IRect passed = area;
    const BgRecord& bg = st.bg;
    st.groundFirstRow = st.groundLastRow = -1;
    IRect rest = area;
    bool allGround = false;
    if (bg.groundMaterial && camera && area.w > 0 && area.h > 0) {
        const GroundRows g = groundRows(camera, area, groundSide);
        if (g.any) {
            groundColour(camera, groundSide, g_groundColour);
            st.groundFirstRow = g.first;
            st.groundLastRow = g.last;
            allGround = g.all;
            IRect gr = {area.x, g.first, area.w, g.last - g.first + 1};
            if (dx) {
                dxFillRect(g_groundColour, g_groundColour, gr.x, gr.y, gr.x + gr.w - 1, gr.y + gr.h - 1);
            } else if (clipToBuffer(&gr, buffer)) {
                const uint32_t value = pixelOf(buffer, g_groundColour);
                for (int32_t y = gr.y; y < gr.y + gr.h; ++y) {
                    fillColourRow(buffer, y, gr.x, gr.w, value);
                    fillDepthRow(buffer, y, gr.x, gr.w);
                }
            }
            if (!allGround) {
                if (g.first == area.y)
                    rest = {area.x, g.last + 1, area.w, area.y + area.h - (g.last + 1)};
                else
                    rest = {area.x, area.y, area.w, g.first - area.y};
            }
        }
    }
    if (!allGround) {
        const uint32_t mode = camera ? bg.mode : 0;
        Placement place{};
        const bool picture = mode >= 2 && mode <= 4 && placePicture(camera, &place);
        if (!dx) {
            if (depthRect) {
                IRect d = *depthRect;
                if (clipToBuffer(&d, buffer))
                    for (int32_t y = d.y; y < d.y + d.h; ++y) fillDepthRow(buffer, y, d.x, d.w);
                *depthRect = d;
            } else if (buffer->depth) {
                memFill16(buffer->depth, uint16_t(FZ_DEPTH_FAR), size_t(buffer->width) * buffer->height);
            }
            if (clipToBuffer(&rest, buffer)) {
                if (mode == 1) {
                    for (int32_t y = rest.y; y < rest.y + rest.h; ++y) {
                        float c[3];
                        fzBandColorAt(rowElevation(camera, y), c);
                        fillColourRow(buffer, y, rest.x, rest.w, pixelOf(buffer, c));
                    }
                } else if (picture) {
                    drawPictureRows(buffer, rest, place);
                } else {
                    const uint32_t value = buffer->bytesPerPixel == 2 ? st.clear15 : st.clear32;
                    for (int32_t y = rest.y; y < rest.y + rest.h; ++y) fillColourRow(buffer, y, rest.x, rest.w, value);
                }
            }
        } else if (rest.w > 0 && rest.h > 0) {
            if (mode == 1)
                drawBandQuads(camera, rest);
            else if (picture)
                drawPictureTiles(rest, place);
        }
    }
    if (bg.overlay && !dx) {
        fzDrawOverlay(buffer, bg.overlay, &passed, bg.overlayX, bg.overlayY, fzOverlaySkipIndex(),
                      camera && camera->rowsUp ? 1 : 0);
    }
    if (dx) dxResetRenderState();
    return 1;
}

int fzDrawBackgroundArea(PicRecord* buffer, IRect* rect, IRect* depthRect, const CamRecord* camera,
                         uint32_t groundSide) {
    return fzDrawBackground(buffer, rect, depthRect, camera, groundSide, 0);
}

int fzDrawBackgroundRegion(PicRecord* buffer, const UpdateRegion* region, const CamRecord* camera,
                           uint32_t groundSide) {
    if (!region) return fzDrawBackgroundArea(buffer, nullptr, nullptr, camera, groundSide);
    if (rgnPreferBounds(region)) {
        IRect r = region->bounds, d = region->bounds;
        return fzDrawBackgroundArea(buffer, &r, &d, camera, groundSide);
    }
    for (const UpdateRect* u = region->first; u; u = u->next) {
        IRect r = {u->x0, u->y0, u->x1 - u->x0, u->y1 - u->y0}, d = r;
        if (!fzDrawBackgroundArea(buffer, &r, &d, camera, groundSide)) return 0;
    }
    return 1;
}

int fzBackgroundColorAt(const CamRecord* camera, int32_t x, int32_t y, const float* dir, float colour[3],
                        uint32_t* isGround) {
    if (!colour || !isGround) return 0;
    const FzBackgroundState& st = fzBackgroundState();
    if (st.groundFirstRow >= 0 && y >= st.groundFirstRow && y <= st.groundLastRow) {
        std::memcpy(colour, g_groundColour, 3 * sizeof(float));
        *isGround = 1;
        return 1;
    }
    *isGround = 0;
    const uint32_t mode = camera ? st.bg.mode : 0;
    if (mode == 1) {
        float theta;
        if (dir)
            theta = float(std::atan2(double(dir[2]), std::sqrt(double(dir[0]) * dir[0] + double(dir[1]) * dir[1])));
        else
            theta = rowElevation(camera, y);
        fzBandColorAt(theta, colour);
        return 1;
    }
    Placement place{};
    if (mode >= 2 && mode <= 4 && placePicture(camera, &place)) {
        double px = x, py = y;
        if (dir) {
            const Vec3 p = {camera->eye.x + dir[0], camera->eye.y + dir[1], camera->eye.z + dir[2]};
            Vec3 s;
            if (mtxProjectPoint(&p, &s, &camera->worldToPixel)) {
                const double vx = camera->pixX, vy = camera->pixY, vw = camera->pixW, vh = camera->pixH;
                px = std::floor(std::clamp(double(s.x), vx - 4 * vw, vx + 5 * vw));
                py = std::floor(std::clamp(double(s.y), vy - 4 * vh, vy + 5 * vh));
            }
        }
        pictureColour(place, px, py, colour);
        return 1;
    }
    std::memcpy(colour, st.clear, 3 * sizeof(float));
    return 1;
}

int fzTintBackground(const float tint[3], float amount) {
    if (!tint) return 0;
    FzBackgroundState& st = fzBackgroundState();
    BgRecord& bg = st.bg;
    if (!g_tint.on) {
        g_tint.mode = bg.mode;
        std::memcpy(g_tint.clear, st.clear, sizeof g_tint.clear);
        std::memcpy(g_tint.band[0], bg.zenith, sizeof g_tint.band[0]);
        std::memcpy(g_tint.band[1], bg.skyHorizon, sizeof g_tint.band[1]);
        std::memcpy(g_tint.band[2], bg.groundHorizon, sizeof g_tint.band[2]);
        std::memcpy(g_tint.band[3], bg.nadir, sizeof g_tint.band[3]);
        g_tint.picture = bg.picture;
        g_tint.paletteCount = 0;
        if (bg.picture && bg.picture->palette) {
            g_tint.paletteCount = std::min<uint32_t>(bg.picture->paletteCount, 256);
            std::memcpy(g_tint.palette, bg.picture->palette, g_tint.paletteCount * sizeof(uint32_t));
        }
        std::memcpy(g_tint.table, st.pictureTable, sizeof g_tint.table);
        g_tint.on = true;
    }
    std::memcpy(g_tint.tint, tint, sizeof g_tint.tint);
    g_tint.amount = amount;
    float f[3];
    for (int k = 0; k < 3; ++k) f[k] = amount * tint[k] + (1.0f - amount);
    if (g_tint.mode == 0) {
        fzSetClearColor(g_tint.clear[0] * f[0], g_tint.clear[1] * f[1], g_tint.clear[2] * f[2]);
    } else if (g_tint.mode == 1) {
        float* targets[4] = {bg.zenith, bg.skyHorizon, bg.groundHorizon, bg.nadir};
        for (int b = 0; b < 4; ++b)
            for (int k = 0; k < 3; ++k) targets[b][k] = g_tint.band[b][k] * f[k];
    } else if (g_tint.picture && g_tint.picture->palette) {
        for (uint32_t i = 0; i < g_tint.paletteCount; ++i) {
            const uint32_t p = g_tint.palette[i];
            const uint32_t r = uint32_t(float((p >> 16) & 0xFF) * f[0]), g = uint32_t(float((p >> 8) & 0xFF) * f[1]),
                           b = uint32_t(float(p & 0xFF) * f[2]);
            const uint32_t rgb = (std::min<uint32_t>(r, 255) << 16) | (std::min<uint32_t>(g, 255) << 8) |
                                 std::min<uint32_t>(b, 255);
            g_tint.picture->palette[i] = (p & 0xFF000000u) | rgb;
            st.pictureTable[i] = picRgb555(rgb);
        }
    }
    return 1;
}

int fzUntintBackground() {
    FzBackgroundState& st = fzBackgroundState();
    BgRecord& bg = st.bg;
    if (g_tint.on) {
        if (g_tint.mode == 0) {
            fzSetClearColor(g_tint.clear[0], g_tint.clear[1], g_tint.clear[2]);
        } else if (g_tint.mode == 1) {
            std::memcpy(bg.zenith, g_tint.band[0], sizeof bg.zenith);
            std::memcpy(bg.skyHorizon, g_tint.band[1], sizeof bg.skyHorizon);
            std::memcpy(bg.groundHorizon, g_tint.band[2], sizeof bg.groundHorizon);
            std::memcpy(bg.nadir, g_tint.band[3], sizeof bg.nadir);
        } else if (g_tint.picture && g_tint.picture->palette) {
            std::memcpy(g_tint.picture->palette, g_tint.palette, g_tint.paletteCount * sizeof(uint32_t));
            std::memcpy(st.pictureTable, g_tint.table, sizeof st.pictureTable);
        }
    }
    g_tint.on = false;
    g_tint.tint[0] = g_tint.tint[1] = g_tint.tint[2] = 1.0f;
    g_tint.amount = 0.0f;
    return 1;
}

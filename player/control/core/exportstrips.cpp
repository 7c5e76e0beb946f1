#include "exportstrips.h"

#include <algorithm>

namespace qivctl {

namespace {

void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int k = 0; k < 4; ++k) out.push_back(uint8_t(v >> (8 * k)));
}

uint8_t expand5(uint32_t v) { return uint8_t((v << 3) | (v >> 2)); }

}  // namespace

ExportCheck checkExport(const ExportRequest& r) {
    if (r.width > kExportMaxWidth) return ExportCheck::WidthTooLarge;
    if (r.width < 1 || r.height < 1) return ExportCheck::BadSize;
    // Strips keep memory bounded at any height; the file's size fields bound it.
    const uint64_t row = (uint64_t(r.width) * 3 + 3) / 4 * 4;
    if (kExportPixelOffset + row * uint64_t(r.height) > 0xFFFFFFFFull) return ExportCheck::HeightTooLarge;
    if (r.quality < 0 || r.quality > 2) return ExportCheck::BadQuality;
    if (r.bytesPerPixel != 2 && r.bytesPerPixel != 4) return ExportCheck::BadPixelSize;
    return ExportCheck::Ok;
}

bool planExport(const ExportRequest& r, double windowBottom, double windowTop, ExportPlan* out, ExportCheck* check,
                double rowSlack) {
    ExportCheck c = checkExport(r);
    if (check) *check = c;
    if (c != ExportCheck::Ok) return false;
    ExportPlan p;
    p.width = r.width;
    p.height = r.height;
    p.oversample = r.quality == 0 ? 1 : r.quality == 1 ? 2 : 4;
    p.filter = p.oversample > 1;
    const uint64_t s = uint64_t(p.oversample);
    uint64_t perRow = (uint64_t(r.bytesPerPixel) + 2) * s * s * uint64_t(r.width);
    p.stripRows = int32_t(std::clamp<uint64_t>(kExportStripBytes / perRow, 1, uint64_t(r.height)));
    p.frameWidth = int32_t(s * uint64_t(r.width));
    p.frameHeight = int32_t(s * uint64_t(p.stripRows));
    p.screenHeight = int32_t(s * uint64_t(r.height));
    p.rowBytes = (uint32_t(r.width) * 3 + 3) & ~3u;
    p.imageBytes = p.rowBytes * uint32_t(r.height);
    p.fileBytes = kExportPixelOffset + p.imageBytes;
    if (!(rowSlack >= 0.0 && rowSlack < 1.0)) rowSlack = 0.0;
    // Window units per screen row of the whole (oversampled) image.
    const double unitsPerRow = (windowTop - windowBottom) / (double(p.screenHeight) - rowSlack);
    for (int32_t row = 0; row < r.height; row += p.stripRows) {
        ExportStrip st;
        st.firstRow = row;
        st.rows = std::min(p.stripRows, r.height - row);
        st.screenHeight = int32_t(uint64_t(st.rows) * s);
        st.windowBottom = windowBottom + double(uint64_t(row) * s) * unitsPerRow;
        st.windowTop = st.windowBottom + (double(st.screenHeight) - rowSlack) * unitsPerRow;
        st.screenRowOffset = -int32_t(uint64_t(row) * s);
        st.percentAtStart = int32_t(int64_t(row) * 100 / r.height);
        st.percentShare = int32_t(int64_t(st.rows) * 100 / r.height);
        p.strips.push_back(st);
    }
    *out = std::move(p);
    return true;
}

int32_t exportProgress(const ExportStrip& s, double fraction) {
    fraction = std::clamp(fraction, 0.0, 1.0);
    return int32_t(double(s.percentShare) * fraction + double(s.percentAtStart));
}

std::vector<uint8_t> exportHeaderBytes(const ExportPlan& p) {
    std::vector<uint8_t> h;
    h.push_back('B');
    h.push_back('M');
    put32(h, p.fileBytes);
    put16(h, 0);
    put16(h, 0);
    put32(h, kExportPixelOffset);
    put32(h, 40);
    put32(h, uint32_t(p.width));
    put32(h, uint32_t(p.height));
    put16(h, 1);
    put16(h, 24);
    put32(h, 0);
    put32(h, p.imageBytes);
    for (int i = 0; i < 4; ++i) put32(h, 0);
    put32(h, 0);
    return h;
}

std::vector<uint8_t> packStripRows(const uint8_t* pixels, int32_t width, int32_t rows, uint32_t bpp,
                                   int32_t rowPixels) {
    std::vector<uint8_t> out;
    if (rowPixels == 0) rowPixels = width;
    if (!pixels || width < 1 || rows < 1 || rowPixels < width || (bpp != 2 && bpp != 4)) return out;
    const size_t rowBytes = (size_t(width) * 3 + 3) & ~size_t(3);
    out.assign(rowBytes * size_t(rows), 0);
    for (int32_t y = 0; y < rows; ++y) {
        const uint8_t* src = pixels + size_t(rows - 1 - y) * size_t(rowPixels) * bpp;
        uint8_t* dst = out.data() + size_t(y) * rowBytes;
        for (int32_t x = 0; x < width; ++x, dst += 3) {
            if (bpp == 4) {
                const uint8_t* px = src + size_t(x) * 4;
                dst[0] = px[0];
                dst[1] = px[1];
                dst[2] = px[2];
            } else {
                uint32_t v = uint32_t(src[size_t(x) * 2]) | uint32_t(src[size_t(x) * 2 + 1]) << 8;
                dst[0] = expand5(v & 31);
                dst[1] = expand5((v >> 5) & 31);
                dst[2] = expand5((v >> 10) & 31);
            }
        }
    }
    return out;
}

}  // namespace qivctl

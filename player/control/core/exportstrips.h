// Strip plan of the bitmap export (SaveBitmap): oversampling, strip height
// within the strip memory bound, the camera window and screen rows of each
// strip, progress shares, the 58-byte file header and the 24-bit rows of a
// strip. Portable; the Windows layer renders each strip with the plan's
// camera values and writes headerBytes() and then each strip's packed rows.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qivctl {

constexpr int32_t kExportMaxWidth = 2048;
// Oversampled frame and depth bytes of one strip.
constexpr uint64_t kExportStripBytes = 4194304;
constexpr uint32_t kExportPixelOffset = 58;

struct ExportRequest {
    int32_t width = 0, height = 0;
    int32_t quality = 0;        // 0 none, 1 twice, 2 four times oversampled
    uint32_t bytesPerPixel = 4; // of the frame buffer: 2 or 4
};

enum class ExportCheck {
    Ok,
    WidthTooLarge,   // E_INVALIDARG, string 1293 with 2048
    HeightTooLarge,  // E_INVALIDARG, string 1295: the file would outgrow its 32-bit size fields
    BadSize,         // E_INVALIDARG, string 1295
    BadQuality,      // E_INVALIDARG: quality outside 0..2
    BadPixelSize,    // E_FAIL: frame buffer neither 2 nor 4 bytes per pixel
};
ExportCheck checkExport(const ExportRequest& r);

struct ExportStrip {
    int32_t firstRow = 0;           // counted from the bottom of the image
    int32_t rows = 0;
    double windowBottom = 0, windowTop = 0;  // the camera's vertical window for this strip
    int32_t screenHeight = 0;       // rows * oversample
    int32_t screenRowOffset = 0;    // -(firstRow * oversample)
    int32_t percentAtStart = 0;     // firstRow * 100 / height
    int32_t percentShare = 0;       // rows * 100 / height
};

struct ExportPlan {
    int32_t width = 0, height = 0;
    int32_t oversample = 1;         // 1, 2 or 4
    bool filter = false;            // edge filter before the reduction (oversample > 1)
    int32_t stripRows = 0;          // rows of every strip but maybe the last
    int32_t frameWidth = 0, frameHeight = 0;  // work picture: oversample * width x oversample * stripRows
    int32_t screenHeight = 0;       // oversample * height: the camera's screen height for the whole image
    uint32_t rowBytes = 0;          // 3 * width padded to 4
    uint32_t imageBytes = 0, fileBytes = 0;
    std::vector<ExportStrip> strips;
};

// The plan for a camera whose vertical view window runs from windowBottom to
// windowTop; false (with the check's answer in *check) for a refused request.
// rowSlack: a camera maps its window onto (screen rows - rowSlack) rows; with
// it each strip's window is chosen so that its rows are exactly the rows the
// whole image would have there (0: the window divided into equal row steps).
bool planExport(const ExportRequest& r, double windowBottom, double windowTop, ExportPlan* out,
                ExportCheck* check = nullptr, double rowSlack = 0.0);

// Progress shown for a strip at fraction (0..1) of its work, truncated.
int32_t exportProgress(const ExportStrip& s, double fraction);

// "BM", file size, reserved, offset 58; info header (40 bytes: width, height
// positive, 1 plane, 24 bits, no compression, image size, four zero words);
// 4 zero bytes.
std::vector<uint8_t> exportHeaderBytes(const ExportPlan& p);

// The file bytes of one strip from the output picture (width x rows, rows top
// first, rowPixels pixels apart (0: width), bytesPerPixel 2 = RGB555 or 4 =
// 0x00RRGGBB words): bottom row first, blue, green, red, each row padded to 4
// bytes. Empty for other sizes.
std::vector<uint8_t> packStripRows(const uint8_t* pixels, int32_t width, int32_t rows, uint32_t bytesPerPixel,
                                   int32_t rowPixels = 0);

}  // namespace qivctl

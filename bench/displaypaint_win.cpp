// The image display control's paint of a 4,000 x 3,000 picture in an 800 x 600 control,
// fitted (ratio zoom) and at 1:1 (the top-left part with scroll bars), beside a plain
// StretchDIBits of the same picture's bits onto the same window for the same rectangles.
// Medians of several paints, with the machine's load. Run under wine64 with a display.
#include <windows.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "benchutil.h"
#include "forms/application.h"
#include "forms/form.h"
#include "multiimage_win.h"

namespace {

constexpr int kPicW = 4000, kPicH = 3000, kW = 800, kH = 600, kRounds = 15;

void pump() { forms::Application::Instance().ProcessMessages(); }

double medianOf(const std::function<void()>& f) {
    std::vector<double> t;
    for (int i = 0; i < kRounds; ++i) t.push_back(benchutil::timed(f));
    return benchutil::median(t);
}

}  // namespace

int main() {
    benchutil::printLoad();
    forms::Application::Instance().Initialize();
    auto form = std::make_unique<forms::Form>(nullptr);
    form->SetBorderStyle(forms::BorderStyle::None);
    form->SetBounds(0, 0, kW, kH);
    auto* image = new imaging::TPMultiImage(form.get());
    image->SetBounds(0, 0, kW, kH);
    image->SetParent(form.get());
    form->Show();
    pump();

    // The picture: a 24-bit DIB with a gradient, given to the control as its bitmap.
    BITMAPINFO bi{};
    bi.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), kPicW, -kPicH, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!dib) {
        std::printf("no memory for the picture\n");
        return 1;
    }
    const size_t row = (size_t(kPicW) * 3 + 3) & ~size_t(3);
    for (int y = 0; y < kPicH; ++y) {
        uint8_t* p = static_cast<uint8_t*>(bits) + row * size_t(y);
        for (int x = 0; x < kPicW; ++x) p[3 * x] = uint8_t(x), p[3 * x + 1] = uint8_t(y), p[3 * x + 2] = uint8_t(x + y);
    }
    image->Picture().Assign(dib);
    pump();

    HWND w = image->Handle();
    auto paintControl = [&] {
        InvalidateRect(w, nullptr, FALSE);
        UpdateWindow(w);
        GdiFlush();
    };
    auto plain = [&](int dw, int dh, int sw, int sh) {
        HDC dc = GetDC(w);
        SetStretchBltMode(dc, COLORONCOLOR);
        StretchDIBits(dc, 0, 0, dw, dh, 0, kPicH - sh, sw, sh, bits, &bi, DIB_RGB_COLORS, SRCCOPY);
        GdiFlush();
        ReleaseDC(w, dc);
    };

    image->SetStretchRatio(true);
    pump();
    const double fitZoom = image->Zoom(), fitW = kPicW * fitZoom, fitH = kPicH * fitZoom;
    const double fitControl = medianOf(paintControl);
    const double fitPlain = medianOf([&] { plain(int(fitW), int(fitH), kPicW, kPicH); });

    image->SetStretchRatio(false);
    image->SetZoom(1.0);
    pump();
    const double oneControl = medianOf(paintControl);
    const double onePlain = medianOf([&] { plain(kW, kH, kW, kH); });

    std::printf("picture %d x %d in a %d x %d control, median of %d paints\n", kPicW, kPicH, kW, kH, kRounds);
    std::printf("fit (zoom %.3f): control %.2f ms, plain StretchDIBits %.2f ms, ratio %.2f\n", fitZoom,
                fitControl * 1e3, fitPlain * 1e3, fitPlain > 0 ? fitControl / fitPlain : 0);
    std::printf("1:1: control %.2f ms, plain StretchDIBits %.2f ms, ratio %.2f\n", oneControl * 1e3, onePlain * 1e3,
                onePlain > 0 ? oneControl / onePlain : 0);
    benchutil::printLoad();
    form.reset();
    DeleteObject(dib);
    return 0;
}

#include "imagetile_win.h"

#include <cmath>

namespace stellwerk {

constexpr double kPi = 3.14159265358979323846;

void PaintBackgroundTile(forms::Bitmap& tile) {
    constexpr int kSize = 96;
    tile.SetSize(kSize, kSize);
    uint32_t* px = tile.Bits();
    if (!px) return;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            // A slate ground with a light lattice of diagonals, seamless at the edges.
            const double wave = std::cos(2 * kPi * x / kSize) + std::cos(2 * kPi * y / kSize);
            int r = 58 + int(4 * wave), g = 72 + int(5 * wave), b = 96 + int(7 * wave);
            const int d1 = (x + y) % 48, d2 = (x - y + 2 * kSize) % 48;
            if (d1 == 0 || d2 == 0) r += 22, g += 24, b += 28;
            else if (d1 == 1 || d2 == 1) r += 8, g += 9, b += 10;
            px[size_t(y) * kSize + size_t(x)] = uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
        }
    tile.Changed();
}

}  // namespace stellwerk

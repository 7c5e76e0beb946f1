#include "transitions.h"

#include <algorithm>

namespace img {

namespace {

// Band order within a group of eight: each step fills the gaps the steps before left.
constexpr int kInterleave[8] = {0, 4, 2, 6, 1, 5, 3, 7};

int64_t cells(int64_t length, int64_t thick) { return (length + thick - 1) / thick; }

}  // namespace

std::vector<std::vector<Rect>> transitionSteps(Transition kind, int32_t width, int32_t height, int32_t thick) {
    std::vector<std::vector<Rect>> steps;
    if (width <= 0 || height <= 0) return steps;
    const int64_t t = std::max<int32_t>(thick, 1);
    auto clip = [&](int64_t l, int64_t tp, int64_t r, int64_t b) {
        return Rect{int32_t(l), int32_t(tp), int32_t(std::min<int64_t>(r, width)), int32_t(std::min<int64_t>(b, height))};
    };
    switch (kind) {
        case Transition::SkipHorizontal:
        case Transition::SkipVertical: {
            const bool rows = kind == Transition::SkipHorizontal;
            const int64_t bands = cells(rows ? height : width, t);
            for (int k : kInterleave) {
                std::vector<Rect> step;
                for (int64_t b = k; b < bands; b += 8)
                    step.push_back(rows ? clip(0, b * t, width, (b + 1) * t) : clip(b * t, 0, (b + 1) * t, height));
                if (!step.empty()) steps.push_back(std::move(step));
            }
            break;
        }
        case Transition::SkipDiagonals:
        case Transition::SkipDiagonalSquares: {
            // Squares of t on a grid; diagonal d holds the squares with column + row = d.
            const int64_t cols = cells(width, t), rowsN = cells(height, t);
            const int64_t diagonals = cols + rowsN - 1;
            const bool chequer = kind == Transition::SkipDiagonalSquares;
            // Diagonals grouped so that the sweeps take at most kMaxTransitionSteps steps.
            const int sweeps = chequer ? 2 : 1;
            const int64_t perStep = std::max<int64_t>(1, cells(diagonals, kMaxTransitionSteps / sweeps));
            for (int sweep = 0; sweep < sweeps; ++sweep)
                for (int64_t d0 = 0; d0 < diagonals; d0 += perStep) {
                    std::vector<Rect> step;
                    for (int64_t d = d0; d < std::min(diagonals, d0 + perStep); ++d) {
                        if (chequer && (d & 1) != sweep) continue;
                        const int64_t c0 = std::max<int64_t>(0, d - (rowsN - 1)), c1 = std::min(cols - 1, d);
                        for (int64_t c = c0; c <= c1; ++c) {
                            const int64_t r = d - c;
                            step.push_back(clip(c * t, r * t, (c + 1) * t, (r + 1) * t));
                        }
                    }
                    if (!step.empty()) steps.push_back(std::move(step));
                }
            break;
        }
        case Transition::SkipRectangles: {
            // Sixteen rings: ring k is the rectangle k / 16 of the size around the centre,
            // less the one before it.
            constexpr int kRings = 16;
            int64_t pl = width / 2, pt = height / 2, pr = pl, pb = pt;  // empty to start
            for (int k = 1; k <= kRings; ++k) {
                const int64_t hw = (int64_t(width) * k + kRings - 1) / kRings, hh = (int64_t(height) * k + kRings - 1) / kRings;
                const int64_t l = (width - hw) / 2, tp = (height - hh) / 2, r = l + hw, b = tp + hh;
                std::vector<Rect> step;
                if (pr <= pl || pb <= pt) {
                    step.push_back(clip(l, tp, r, b));
                } else {
                    if (tp < pt) step.push_back(clip(l, tp, r, pt));           // top band
                    if (pb < b) step.push_back(clip(l, pb, r, b));             // bottom band
                    if (l < pl) step.push_back(clip(l, pt, pl, pb));           // left band
                    if (pr < r) step.push_back(clip(pr, pt, r, pb));           // right band
                }
                if (!step.empty()) steps.push_back(std::move(step));
                pl = l;
                pt = tp;
                pr = r;
                pb = b;
            }
            break;
        }
    }
    return steps;
}

}  // namespace img

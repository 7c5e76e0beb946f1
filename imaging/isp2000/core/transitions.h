// Transition effects as sequences of steps: each step is the list of rectangles of the
// new picture to copy onto the screen before the pause of that step. Together the steps
// cover every pixel exactly once.
#pragma once
#include <cstdint>
#include <vector>

namespace img {

struct Rect {
    int32_t left, top, right, bottom;  // right and bottom excluded
};

enum class Transition {
    SkipHorizontal,       // bands of `thick` rows, every eighth band per step, interleaved
    SkipVertical,         // the same with columns
    SkipDiagonals,        // squares of `thick` along the diagonals, a sweep from the top left
    SkipDiagonalSquares,  // squares of `thick` as a chequerboard: dark squares, then light
    SkipRectangles,       // rings from the centre outwards
};

// At most kMaxTransitionSteps steps, whatever the size; a thickness below 1 counts as 1.
constexpr int kMaxTransitionSteps = 32;
std::vector<std::vector<Rect>> transitionSteps(Transition kind, int32_t width, int32_t height, int32_t thick);

}  // namespace img

#pragma once
// The colour choosers' arithmetic: the palette grid and palette menu, the
// spin edits, the brightness gradient and its slider, the colour cube.
#include <array>
#include <string>
#include <vector>

#include "common.h"

namespace stellwerk {

// The palette grid: 15 columns, 17 rows of 15-pixel cells.
constexpr int kPaletteColumns = 15;
constexpr int kPaletteRows = 17;
constexpr int kPaletteCell = 15;
// Cell (column c, row r) shows entry c + 15 r + 1, modulo 256.
int PaletteEntryOfCell(int column, int row);

// A palette file's menu caption: its base name in lower case with the first
// letter in upper case.
std::string PaletteCaption(const std::string& fileName);
struct PaletteMenu {
    std::vector<std::string> captions;  // sorted
    int checked = -1;                   // the current palette (letter case ignored)
};
// The ".rgb" files of the palettes folder (not recursive).
PaletteMenu ListPalettes(const std::string& folder, const std::string& current);

// The spin edits' colour: an empty or unreadable edit counts 0, values are
// clamped to 0..255.
int SpinValue(const std::string& text);
Color SpinColour(const std::string& red, const std::string& green, const std::string& blue);

// The gradient from white at the top through colour at the middle to black
// at the bottom, at row y of height rows.
Color GradientAt(Color colour, int y, int height);

// The slider across the gradient (client coordinates of the gradient's
// panel): 5 pixels high, 3 wider on each side, travelling from 2 above the
// gradient's top to 3 above its bottom, starting at the middle.
struct GradientSlider {
    int left, width, height;
    int top;  // start position
    int travelTop, travelBottom;
};
GradientSlider LayoutGradientSlider(int gradLeft, int gradTop, int gradWidth, int gradHeight);
// The slider moved to top: clamped to its travel; the colour is white at or
// beyond the top, black at or beyond the bottom, else the gradient's pixel
// at x = 2 and that row (pixelAt).
struct SliderPick {
    int top;
    Color colour;
};
template <class PixelAt>
SliderPick PickOnGradient(const GradientSlider& s, int top, PixelAt pixelAt) {
    if (top <= s.travelTop) return {s.travelTop, RGB3(255, 255, 255)};
    if (top >= s.travelBottom) return {s.travelBottom, 0};
    return {top, pixelAt(2, top)};
}

// The colour cube's corners: red where z > 0, green where x < 0, blue where
// y > 0.
Color CubeCornerColour(float x, float y, float z);
// Right-button drags turn the cube: horizontal moves about the y axis,
// vertical ones about the x axis, each modulo 360.
struct CubeAngles {
    int x = 45, y = 45;
};
CubeAngles TurnCube(CubeAngles a, int dx, int dy);

}  // namespace stellwerk

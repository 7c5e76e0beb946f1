#pragma once
// The OpenGL colour views of the colour choosers: the RGB cube turned by
// two angles, and the brightness gradient through one colour, rendered into
// a bitmap through a context on a DIB section.
#include "colours.h"
#include "forms/graphics.h"

namespace stellwerk {

// The cube on a background of back; false when no OpenGL context could be
// had (the bitmap is then left as it was).
bool RenderColourCube(forms::Bitmap& out, int width, int height, CubeAngles angles, Color back);
// White at the top, colour at the middle, black at the bottom.
bool RenderColourGradient(forms::Bitmap& out, int width, int height, Color colour);

}  // namespace stellwerk

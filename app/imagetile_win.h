#pragma once
// The program's background picture, shown tiled by the main form's image
// display control while no object is open.
#include "forms/graphics.h"

namespace stellwerk {

// A seamless tile.
void PaintBackgroundTile(forms::Bitmap& tile);

}  // namespace stellwerk

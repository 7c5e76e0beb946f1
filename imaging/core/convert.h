// Colour-depth conversions between pictures of the library's form.
#pragma once
#include <vector>

#include "dib.h"

namespace img {

// Dither codes of the library: 0 none (nearest colour), 1 ordered (8 x 8 Bayer matrix),
// 2 Burkes and 3 Floyd-Steinberg error diffusion, 4 grey levels (Floyd-Steinberg on the
// luminance). A reader's Boolean dither flag of 1 is the ordered dither.
enum Dither : int { kDitherNone = 0, kDitherBayer = 1, kDitherBurkes = 2, kDitherFloyd = 3, kDitherGrey = 4 };

// An indexed picture (1 or 4 bits) with more bits per index: the same colour table and
// the same indices (1 -> 4, 1 -> 8, 4 -> 8).
Status widenIndexed(const Dib& src, unsigned bits, Dib& out);
// Any picture as 16 (5-5-5), 24 or 32 bits per pixel.
Status toTrueColour(const Dib& src, unsigned bits, Dib& out, Progress& progress);
// Fewer colours: an indexed picture of `bits` (1, 4 or 8) with at most `colours` table
// entries in use (0: 2^bits). With a palette given, its colours are used; without, the
// picture's own colours when there are few enough, black and white for 1 bit, else a
// median-cut palette.
Status reduceColours(const Dib& src, unsigned bits, int dither, uint32_t colours, const Colour* palette,
                     uint32_t paletteLength, Dib& out, Progress& progress);
// The palette reduceColours chooses by itself.
std::vector<Colour> choosePalette(const Dib& src, uint32_t colours);
// Any depth to any depth (0 or the same: a copy): indexed pictures widen when the target
// has more bits, true-colour targets take toTrueColour, fewer bits reduceColours.
Status convertDepth(const Dib& src, unsigned bits, int dither, Dib& out, Progress& progress);
// A copy of a picture.
Status copyDib(const Dib& src, Dib& out);

// Luminance of a colour (0-255), the weights 299, 587, 114 per mille.
inline unsigned luminance(unsigned r, unsigned g, unsigned b) { return (299 * r + 587 * g + 114 * b + 500) / 1000; }

}  // namespace img

// Helpers shared by the triangle and line rasterisers.
#pragma once

// The 15.17 fixed-point scale.
constexpr double RASTER_FIX17 = 131072.0;
// A colour channel clamped to 0..1 (NaN gives 0).
inline double rasterUnit(float c) { return c > 0.0f ? (c < 1.0f ? double(c) : 1.0) : 0.0; }

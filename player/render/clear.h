// Clearing the FZ buffer and drawing the current background: plain colour, colour band,
// pictures placed in the view or by the camera, ground plane, overlay and tint.
#pragma once
#include <cstdint>

#include "scene/camera.h"
#include "scene/picture.h"
#include "scene/vecmath.h"

struct UpdateRegion;

// Rectangles are clipped in place to the buffer (intersected with it).
int fzClear(PicRecord* buffer, IRect* rect);
int fzClearColorPlane(PicRecord* buffer, IRect* rect);
int fzClearRegion(PicRecord* buffer, const UpdateRegion* region);

// rect null: the camera's viewport; depthRect null: the whole depth plane.
// groundSide 1: a floor seen from above, 0: a ceiling.
int fzDrawBackground(PicRecord* buffer, IRect* rect, IRect* depthRect, const CamRecord* camera, uint32_t groundSide,
                     uint32_t unused);
int fzDrawBackgroundArea(PicRecord* buffer, IRect* rect, IRect* depthRect, const CamRecord* camera,
                         uint32_t groundSide);
int fzDrawBackgroundRegion(PicRecord* buffer, const UpdateRegion* region, const CamRecord* camera,
                           uint32_t groundSide);

// The background colour behind pixel (x, y), or along dir when given.
int fzBackgroundColorAt(const CamRecord* camera, int32_t x, int32_t y, const float* dir, float colour[3],
                        uint32_t* isGround);

// Every colour of the current background becomes (amount * tint + 1 - amount) * colour.
// A second tint starts again from the untinted colours.
int fzTintBackground(const float tint[3], float amount);
int fzUntintBackground();

// Band colour of elevation theta (radians).
void fzBandColorAt(float theta, float colour[3]);
// Draws an 8-bit overlay picture at (x, y) clipped to clip, skipping the transparent index
// (FZ_OVERLAY_OPAQUE skips nothing), with the nearest depth.
int fzDrawOverlay(PicRecord* buffer, const PicRecord* picture, const IRect* clip, int32_t x, int32_t y,
                  uint32_t transparent, uint32_t flip);

// Rectangle primitive of the hardware path: rect x0, y0, x1, y1 in engine coordinates, uv the
// texture coordinates at (x0, y0) and (x1, y1), depth an engine depth.
using FzPictureRectFn = void (*)(const float rect[4], const float uv[4], float depth, const TexPixelBlock* block,
                                 const float colour[3]);
// Draws the part tex = u0, v0, u1, v1 (0..1 of the picture's width and height; u0 > u1 or
// v0 > v1 mirrors) of a tiled picture over rect = x0, y0, x1, y1 (u0 at x0, u1 at x1), one
// piece per 256 x 256 tile met, at the far depth and tinted by the current tint. draw null:
// the routed picture rectangle. 0 for a picture without tiles or an empty or bad part.
int fzDrawSubPicture(const PicRecord* picture, const float rect[4], const float tex[4], FzPictureRectFn draw);

// Ground rows of the last background drawn (-1, -1 without ground) and tint state back to load.
void fzResetClearState();

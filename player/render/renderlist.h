// The render list: draws the nodes of a list for one job.
#pragma once
#include <cstdint>

#include "render/renderer.h"

struct UpdateRegion;

// Draws every root of the zero-terminated list; the job's rectangle receives the union
// (or the region's bounds when a region is given).
int scnRenderList(ScnRenderJob* job, ScnNode** roots, UpdateRegion* region);
int scnRenderOne(ScnRenderJob* job, ScnNode** nodes, uint32_t force, uint32_t unused);
int scnRenderHierarchy(ScnRenderJob* job, ScnNode** candidates, int32_t level, uint32_t force);

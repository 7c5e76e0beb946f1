// Rendering of a bitmap export strip by strip (SaveBitmap): each strip of the
// plan is drawn with a camera whose rows are exactly the rows of the whole
// image there, by the scan-line renderer or the ray tracer, reduced by the
// oversampling (filtered first) and handed on as file rows, bottom row first.
// Portable, over the engine; the caller holds the render lock and writes the
// rows. Progress goes to the sink of the export that asked for it, so that
// exports of several controls never share it.
#pragma once
#include <cstddef>
#include <cstdint>

#include "exportstrips.h"
#include "render/fzbuffer.h"
#include "scene/camera.h"
#include "scene/scene.h"

namespace qivctl {

struct ExportScene {
    const CamRecord* camera = nullptr;  // the view: eye, window, clip distances
    const BgRecord* background = nullptr;
    ScnNode** roots = nullptr;          // zero-terminated
    uint32_t kind = 3;                  // display mode of the scan-line renderer
    bool rayTrace = false;
    bool sceneHidden = false;           // the 2D view: background only
};

class ExportSink {
public:
    virtual ~ExportSink() = default;
    // Progress of the whole export in percent; false cancels it.
    virtual bool progress(int32_t percent) = 0;
    // One strip's file rows (bottom row first, padded); false: the write failed.
    virtual bool writeRows(const uint8_t* bytes, size_t size) = 0;
};

enum class ExportResult { Written, Cancelled, NoMemory, RenderFailed, WriteFailed };

// Rows of screen height the camera's viewport leaves out of its window (its
// window spans pixH minus this many rows).
double exportRowSlack();

// The plan for a camera's vertical window (the slack of the engine's viewport
// taken into account).
bool planExportFor(const ExportRequest& r, const CamRecord& camera, ExportPlan* out, ExportCheck* check = nullptr);

// The camera of one strip: the view's camera with the strip's window, the
// oversampled width, the strip's screen rows and rows running downwards.
bool exportStripCamera(const CamRecord& view, const ExportPlan& plan, const ExportStrip& strip, CamRecord* out);

// Renders every strip of the plan and hands its rows to the sink. Stops at the
// first failure or cancel; the pictures are freed in every case.
ExportResult renderExport(const ExportPlan& plan, const ExportScene& scene, uint32_t bytesPerPixel, ExportSink& sink);

}  // namespace qivctl

#include "exportrender.h"

#include <vector>

#include "render/clear.h"
#include "render/edgefilter.h"
#include "render/renderer.h"
#include "render/renderlist.h"
#include "render/rtdriver.h"
#include "scene/sceneops.h"

namespace qivctl {

namespace {

// The export whose ray trace runs on this thread; the ray tracer's progress
// routine takes no context.
struct RayProgress {
    ExportSink* sink;
    const ExportStrip* strip;
    bool cancelled;
};
thread_local RayProgress* t_rayProgress = nullptr;

int rayProgress(float fraction) {
    RayProgress* r = t_rayProgress;
    if (!r) return 1;
    if (!r->cancelled && !r->sink->progress(exportProgress(*r->strip, fraction))) r->cancelled = true;
    return r->cancelled ? 0 : 1;
}

struct Pictures {
    PicRecord* frame = nullptr;
    PicRecord* work = nullptr;
    PicRecord* out = nullptr;
    ~Pictures() {
        fzFree(&frame);
        fzFree(&work);
        fzFreeImage(&out);
    }
};

int32_t roundUp4(int32_t v) { return (v + 3) & ~3; }

}  // namespace

double exportRowSlack() {
    CamRecord c{};
    c.eye = {0, -1, 0};
    c.up = {0, 0, 1};
    c.viewDist = 1;
    c.nearDist = 0.1f;
    c.farDist = 10;
    c.winXMin = c.winYMin = -1;
    c.winXMax = c.winYMax = 1;
    c.pixW = c.pixH = 1;
    c.rowsUp = 1;
    if (!camUpdate(&c)) return 0.0;
    return 1.0 - double(c.viewport.m[5]);
}

bool planExportFor(const ExportRequest& r, const CamRecord& camera, ExportPlan* out, ExportCheck* check) {
    return planExport(r, camera.winYMin, camera.winYMax, out, check, exportRowSlack());
}

bool exportStripCamera(const CamRecord& view, const ExportPlan& plan, const ExportStrip& strip, CamRecord* out) {
    CamRecord c = view;
    c.winYMin = float(strip.windowBottom);
    c.winYMax = float(strip.windowTop);
    c.pixX = 0;
    c.pixY = 0;
    c.pixW = plan.frameWidth;
    c.pixH = strip.screenHeight;
    c.rowsUp = 0;  // picture rows from the top, as the file rows are packed
    if (!camUpdate(&c)) return false;
    *out = c;
    return true;
}

ExportResult renderExport(const ExportPlan& plan, const ExportScene& scene, uint32_t bpp, ExportSink& sink) {
    if (!scene.camera || plan.strips.empty() || (bpp != 2 && bpp != 4)) return ExportResult::RenderFailed;
    const int32_t s = plan.oversample;
    // Widths whole multiples of 4 in both pictures, so that the reduction is exactly s.
    const int32_t outWidth = roundUp4(plan.width);
    Pictures pics;
    if (!fzCreate(uint32_t(s * outWidth), uint32_t(plan.frameHeight), bpp, &pics.frame) || !pics.frame)
        return ExportResult::NoMemory;
    if (scene.rayTrace && (!fzCreate(uint32_t(s * outWidth), uint32_t(plan.frameHeight), 4, &pics.work) || !pics.work))
        return ExportResult::NoMemory;
    if (s > 1 && (!fzCreateImage(uint32_t(outWidth), uint32_t(plan.stripRows), bpp, &pics.out, 0, nullptr) || !pics.out))
        return ExportResult::NoMemory;
    const bool drawScene = !scene.sceneHidden && scene.roots && scene.roots[0];
    for (const ExportStrip& strip : plan.strips) {
        CamRecord cam;
        if (!exportStripCamera(*scene.camera, plan, strip, &cam)) return ExportResult::RenderFailed;
        if (!sink.progress(strip.percentAtStart)) return ExportResult::Cancelled;
        if (scene.background) fzSetBackground(scene.background);
        fzDrawBackground(pics.frame, nullptr, nullptr, &cam, 1, 0);
        if (drawScene) {
            ScnRenderJob job{};
            job.camera = &cam;
            job.target = pics.frame;
            job.rect = IRect{0, 0, cam.pixW, cam.pixH};
            if (scene.rayTrace) {
                job.kind = SCN_KIND_RAY_ID;
                RayProgress progress{&sink, &strip, false};
                RayProgress* previous = t_rayProgress;
                t_rayProgress = &progress;
                const int ok = rtRender(&job, pics.work, rayProgress, nullptr, scene.roots, nullptr, nullptr, 1, 1, 1,
                                        1, 1, 0);
                t_rayProgress = previous;
                if (progress.cancelled) return ExportResult::Cancelled;
                if (!ok) return ExportResult::RenderFailed;
            } else {
                job.kind = scene.kind;
                if (!scnRenderList(&job, scene.roots, nullptr)) return ExportResult::RenderFailed;
            }
        }
        const PicRecord* rows = pics.frame;
        if (s > 1) {
            if (!fltCopyScaled(pics.frame, pics.out, strip.screenHeight, plan.filter ? 1 : 0))
                return ExportResult::RenderFailed;
            rows = pics.out;
        }
        const std::vector<uint8_t> bytes = packStripRows(rows->pixels, plan.width, strip.rows, bpp, rows->width);
        if (bytes.empty()) return ExportResult::RenderFailed;
        if (!sink.writeRows(bytes.data(), bytes.size())) return ExportResult::WriteFailed;
    }
    return ExportResult::Written;
}

}  // namespace qivctl

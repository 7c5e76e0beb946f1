// qivrender: renders a sample object made in code with the frame renderer and writes a
// 24-bit BMP picture, or writes the sample object as an object file (PEL, or the same with
// the KVO header) with the project's writer, its texture beside it.
//   qivrender [--mode wire|wire-all|hidden|hidden-back|flat|textured|gouraud] [--size WxH] out.bmp
//   qivrender --pel out.pel | --kvo out.kvo
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "render/clear.h"
#include "render/fzbuffer.h"
#include "render/light.h"
#include "render/renderer.h"
#include "render/renderlist.h"
#include "render/sample.h"
#include "scene/camera.h"
#include "scene/engine.h"
#include "scene/sceneops.h"

namespace {

struct ModeName {
    const char* name;
    uint32_t kind;
};
const ModeName kModes[] = {{"wire", SCN_KIND_WIRE},     {"wire-all", SCN_KIND_WIRE_ALL},
                           {"hidden", SCN_KIND_HIDDEN},  {"hidden-back", SCN_KIND_HIDDEN_BACK},
                           {"flat", SCN_KIND_FLAT},      {"textured", SCN_KIND_FLAT_TEX},
                           {"gouraud", SCN_KIND_GOURAUD_TEX}};

int usage() {
    std::fprintf(stderr,
                 "usage: qivrender [--mode wire|wire-all|hidden|hidden-back|flat|textured|gouraud] [--size WxH] "
                 "out.bmp\n       qivrender --pel out.pel | --kvo out.kvo\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    uint32_t kind = SCN_KIND_GOURAUD_TEX;
    int32_t width = 640, height = 480;
    const char* outPath = nullptr;
    if (argc == 3 && (std::strcmp(argv[1], "--pel") == 0 || std::strcmp(argv[1], "--kvo") == 0)) {
        const bool ok = sampleWriteObjectFile(argv[2], argv[1][2] == 'k');
        std::printf("qivrender: %s and its texture %s %s\n", argv[2], kSampleTextureName,
                    ok ? "written" : "not written");
        return ok ? 0 : 1;
    }
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--mode" && i + 1 < argc) {
            const std::string m = argv[++i];
            bool found = false;
            for (const ModeName& n : kModes)
                if (m == n.name) kind = n.kind, found = true;
            if (!found) return usage();
        } else if (a == "--size" && i + 1 < argc) {
            if (std::sscanf(argv[++i], "%dx%d", &width, &height) != 2 || width < 16 || height < 16 || width > 8192 ||
                height > 8192)
                return usage();
        } else if (!a.empty() && a[0] != '-' && !outPath) {
            outPath = argv[i];
        } else {
            return usage();
        }
    }
    if (!outPath) return usage();

    SampleScene scene;
    if (!sampleSceneCreate(&scene, width, height)) {
        std::fprintf(stderr, "qivrender: cannot build the sample scene\n");
        return 1;
    }
    CamRecord& cam = scene.cam;
    ScnNode* node = scene.node;

    PicRecord* frame = nullptr;
    if (!fzCreate(uint32_t(width), uint32_t(height), 2, &frame) || !frame) {
        std::fprintf(stderr, "qivrender: no memory for the frame\n");
        return 1;
    }
    fzDrawBackground(frame, nullptr, nullptr, &cam, 1, 0);
    ScnRenderJob job{};
    job.camera = &cam;
    job.target = frame;
    job.kind = kind;
    ScnNode* roots[2] = {node, nullptr};
    const int drawn = scnRenderList(&job, roots, nullptr);
    const bool written = sampleWriteBmp(outPath, frame, width, height);
    std::printf("qivrender: %s, %d x %d, kind %u, %s, touched %d,%d %dx%d\n", outPath, width, height, kind,
                drawn ? "drawn" : "draw failed", job.rect.x, job.rect.y, job.rect.w, job.rect.h);
    fzFree(&frame);
    sampleSceneFree(&scene);
    return written && drawn ? 0 : 1;
}

// Frame renderer throughput: spheres of about 1k, 10k and 100k faces drawn at 640 x 480 in
// wire, flat, Gouraud and textured Gouraud modes, against the time of clearing and copying
// one frame (the memory-bound floor).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "render/clear.h"
#include "render/fzbuffer.h"
#include "render/light.h"
#include "render/renderer.h"
#include "render/sample.h"
#include "scene/camera.h"
#include "scene/engine.h"

namespace {

using Clock = std::chrono::steady_clock;
double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

constexpr int32_t kW = 640, kH = 480;

struct Mode {
    const char* name;
    uint32_t kind;
    bool textured;
};

}  // namespace

int main(int argc, char** argv) {
    // optional filters: a mode name and a face count (rounded as in the table), and a fixed
    // number of frames (for repeatable instruction counts)
    const std::string onlyMode = argc > 1 ? argv[1] : "";
    const long onlyFaces = argc > 2 ? std::atol(argv[2]) : 0;
    const int fixedFrames = argc > 3 ? std::atoi(argv[3]) : 0;
    const float dir[3] = {-0.4f, 0.6f, -0.7f}, white[3] = {1, 1, 1};
    LightRecord* light = nullptr;
    ltAdd(0, dir, white, 0, &light);
    TexRecord* checker = sampleCheckerTexture(64, 0x00F0E0C0, 0x00603020);
    TexRecord* textures[1] = {checker};

    CamRecord cam{};
    cam.eye = {0, -4, 1.5f};
    cam.vrp = {0, 0, 0};
    cam.up = {0, 0, 1};
    cam.viewDist = 1;
    cam.nearDist = 0.5f;
    cam.farDist = 50;
    cam.winXMin = -0.4f, cam.winXMax = 0.4f, cam.winYMin = -0.3f, cam.winYMax = 0.3f;
    cam.pixW = kW, cam.pixH = kH;
    camUpdate(&cam);

    PicRecord* frame = nullptr;
    PicRecord* copy = nullptr;
    if (!fzCreate(kW, kH, 2, &frame) || !fzCreate(kW, kH, 2, &copy)) return 1;
    const size_t frameBytes = size_t(frame->width) * frame->height * 2;

    // The floor: clearing the frame and depth planes and copying the colour plane.
    int floorFrames = 0;
    auto t0 = Clock::now();
    while (seconds(t0, Clock::now()) < 0.3) {
        fzClear(frame, nullptr);
        std::memcpy(copy->pixels, frame->pixels, frameBytes);
        ++floorFrames;
    }
    const double floorTime = seconds(t0, Clock::now()) / floorFrames;
    std::printf("clear + copy of one %dx%d frame: %.3f ms\n\n", kW, kH, floorTime * 1e3);
    std::printf("%-9s %-9s %9s %9s %12s %12s %12s %12s\n", "faces", "mode", "frames", "fps", "Mtri/s", "Mpix/s",
                "frame/floor", "cpu ms/frame");

    const Mode modes[] = {{"wire", SCN_KIND_WIRE, false},
                          {"flat", SCN_KIND_FLAT, false},
                          {"gouraud", SCN_KIND_GOURAUD_TEX, false},
                          {"textured", SCN_KIND_GOURAUD_TEX, true}};
    const int sizes[][2] = {{32, 32}, {100, 100}, {316, 316}};  // segments x rings
    for (const auto& size : sizes) {
        for (const Mode& mode : modes) {
            if (!onlyMode.empty() && onlyMode != mode.name) continue;
            if (onlyFaces && std::abs(long(size[0]) * size[1] - onlyFaces) > onlyFaces / 4) continue;
            SampleMesh mesh;
            MatInput m = mode.textured ? sampleTexturedMaterial(0) : sampleMaterial(0.7f, 0.5f, 0.3f, 0.4f);
            mesh.shape.materials = {m};
            mesh.shape.areaCount = 1;
            mesh.sphere({0, 0, 0}, 1.0f, size[0], size[1], 0, mode.textured ? FACE_TEXTURED : 0);
            PelContent* content = mesh.build();
            Mat4 base;
            mtxIdentity(&base);
            ScnNode* node = nullptr;
            scnNodeCreate(content, 1, textures, nullptr, &base, &node);
            ScnRenderJob job{};
            job.node = node;
            job.camera = &cam;
            job.target = frame;
            job.kind = mode.kind;
            int frames = 0;
            double triangles = 0, pixels = 0;
            const auto start = Clock::now();
            const std::clock_t cpuStart = std::clock();  // the process's own time, less hit by other load
            while (fixedFrames > 0 ? frames < fixedFrames : frames < 3 || seconds(start, Clock::now()) < 0.5) {
                Mat4 turn;
                mtxMakeRotation(2, float(frames) * 3.0f, &turn);  // a new pose every frame
                scnSetPose(node, &turn, SCN_TIME_UNSET);
                fzClear(frame, nullptr);
                scnRenderScene(&job);
                ++frames;
                if (frames <= 3) {  // what one frame draws
                    uint64_t tri = 0, px = 0;
                    for (uint32_t f = 0; f < content->faceCount; ++f)
                        if ((content->faces[f].flags & FACE_FRONT_CACHED) && content->faces[f].frame == content->frameNo)
                            tri += (content->faces[f].flags & FACE_QUAD) ? 2 : 1;
                    for (size_t i = 0; i < size_t(frame->width) * frame->height; ++i) px += frame->depth[i] != 32767;
                    triangles = double(tri);
                    pixels = double(px);
                }
            }
            const double perFrame = seconds(start, Clock::now()) / frames;
            const double cpuPerFrame = double(std::clock() - cpuStart) / CLOCKS_PER_SEC / frames;
            std::printf("%-9u %-9s %9d %9.1f %12.2f %12.2f %12.1f %12.3f\n", content->faceCount, mode.name, frames,
                        1.0 / perFrame, triangles / perFrame / 1e6, pixels / perFrame / 1e6, perFrame / floorTime,
                        cpuPerFrame * 1e3);
            uint32_t remaining = 0;
            scnNodeFree(&node, &remaining);
            pelFreeObject(&content);
        }
    }
    std::printf("\nMtri/s counts front-facing triangles; Mpix/s the pixels whose depth was written.\n");
    fzFree(&frame);
    fzFree(&copy);
    sampleFreeTexture(&checker);
    ltReset();
    return 0;
}

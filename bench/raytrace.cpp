// Ray-traced picture of about 100k triangles (bumpy spheres over a reflective floor,
// two shadow-casting lights) at 1024 x 768 in the plain mode, with 1 and 5 threads:
// the time of each phase of the first (cold) render and the median of warm ones, the speedup
// over one thread and the picture's checksum.
// Then the tree build alone for growing face counts, by the plain scan and by the partner search.
// Usage: bench_raytrace [picture.ppm | --tree-only]
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <algorithm>
#include <string>
#include <vector>

#include "render/clear.h"
#include "render/fzbuffer.h"
#include "render/light.h"
#include "render/raytrace.h"
#include "render/rtdriver.h"
#include "scene/camera.h"
#include "scene/engine.h"
#include "scene/tests/content_builder.h"
#include "rtscene.h"

namespace {

uint64_t checksum(const PicRecord* p) {
    uint64_t h = 1469598103934665603ull;
    size_t n = size_t(p->width) * p->height * p->bytesPerPixel;
    for (size_t i = 0; i < n; ++i) h = (h ^ p->pixels[i]) * 1099511628211ull;
    return h;
}

double since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
    using rtbench::kHeight;
    using rtbench::kWidth;
    using rtbench::material;
    using rtbench::sphere;
    const bool treeOnly = argc > 1 && std::string(argv[1]) == "--tree-only";
    rtbench::Scene sc;
    if (!sc.make()) {
        std::printf("camera failed\n");
        return 1;
    }
    PicRecord* target = nullptr;
    PicRecord* work = nullptr;
    fzCreate(kWidth, kHeight, 4, &target);
    fzCreate(kWidth, kHeight, 4, &work);
    ScnRenderJob job{};
    job.camera = &sc.cam;
    job.target = target;
    job.kind = 3;

    std::printf("scene: %llu triangles in %zu nodes, %dx%d, plain mode, machine threads %u, load average %.2f\n",
                (unsigned long long)sc.triangles, sc.nodes.size() - 1, kWidth, kHeight, rtProcessorCount(),
                rtbench::loadAverage());
    std::printf("first render of the process (cold), then the median of %d warm renders\n", 3);
    std::printf("%7s %5s %10s %10s %10s %10s %10s %8s  %s\n", "threads", "run", "groups s", "id pass s", "tree s",
                "trace s", "total s", "speedup", "checksum");
    double base = 0;
    for (uint32_t t : {1u, 5u}) {
        if (treeOnly) break;
        rtSetProcessorCount(t);
        struct Run {
            RtPhaseTimes times;
            double total;
        };
        std::vector<Run> warm;
        for (int run = 0; run < 4; ++run) {
            auto t0 = std::chrono::steady_clock::now();
            int ok = rtRender(&job, work, nullptr, nullptr, sc.nodes.data(), nullptr, nullptr, 1, 1, 1, 1, 1, 0);
            Run r{{}, since(t0)};
            rtLastRunTimes(&r.times);
            if (!ok) std::printf("render failed\n");
            if (run == 0)
                std::printf("%7u %5s %10.4f %10.4f %10.4f %10.4f %10.4f %8s  %016llx\n", t, "cold", r.times.groups,
                            r.times.idPass, r.times.tree, r.times.trace, r.total, "",
                            (unsigned long long)checksum(target));
            else
                warm.push_back(r);
        }
        std::sort(warm.begin(), warm.end(), [](const Run& a, const Run& b) { return a.times.trace < b.times.trace; });
        const Run& m = warm[warm.size() / 2];
        if (t == 1) base = m.times.trace;
        std::printf("%7u %5s %10.4f %10.4f %10.4f %10.4f %10.4f %8.2f  %016llx\n", t, "warm", m.times.groups,
                    m.times.idPass, m.times.tree, m.times.trace, m.total, base / m.times.trace,
                    (unsigned long long)checksum(target));
    }
    if (argc > 1 && !treeOnly) {
        if (FILE* f = std::fopen(argv[1], "wb")) {
            std::fprintf(f, "P6\n%d %d\n255\n", kWidth, kHeight);
            for (int32_t i = 0; i < kWidth * kHeight; ++i) {
                uint32_t p = picGet32(target->pixels + 4 * size_t(i));
                unsigned char rgb[3] = {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)};
                std::fwrite(rgb, 1, 3, f);
            }
            std::fclose(f);
        }
    }

    // Tree build alone, the plain scan beside the partner search (medians of 3 builds each).
    // Scene A: spheres of 2500 triangles on a grid; scene B: nodes of one long triangle, turned
    // every way about one centre, so that every box overlaps every other.
    // out: wall seconds of the scan and the search, then the search's processor seconds (the
    // build is single-threaded: that figure holds on a busy machine).
    auto buildTimes = [&](std::vector<ScnNode*>& many, uint32_t count, double out[3], uint32_t* leavesOut) {
        RtRunState& run = rtState();
        run.nodes = many.data();
        run.nodeCount = count;
        uint32_t leaves = 0;
        for (uint32_t i = 0; i < count; ++i) leaves += many[i]->content->rtFaceGroupCount;
        *leavesOut = leaves;
        std::vector<double> t[3];
        for (int rep = 0; rep < 3; ++rep)
            for (uint32_t mode = 0; mode < 2; ++mode) {
                run.pairScanOnly = mode == 0;
                RtTreeNode* root = nullptr;
                auto t0 = std::chrono::steady_clock::now();
                const std::clock_t c0 = std::clock();
                int ok = rtBuildObjectTree(count, &root);
                t[mode].push_back(ok ? since(t0) : -1.0);
                if (mode == 1) t[2].push_back(ok ? double(std::clock() - c0) / CLOCKS_PER_SEC : -1.0);
                rtFreeTree();
            }
        run.pairScanOnly = 0;
        for (int mode = 0; mode < 3; ++mode) {
            std::sort(t[mode].begin(), t[mode].end());
            out[mode] = t[mode][1];
        }
        run.nodes = nullptr;
        run.nodeCount = 0;
    };
    std::printf("\ntree build, medians of 3 (scan = plain scan, search = partner search; wall, and the search's "
                "processor time)\n");
    std::printf("%-12s %8s %8s %10s %10s %8s %12s %10s %8s\n", "scene", "faces", "leaves", "scan s", "search s",
                "scan/srch", "search x2", "search cpu", "cpu x2");
    auto growth = [](double now, double before) {
        return before > 0 ? std::to_string(now / before).substr(0, 4) : std::string("-");
    };
    {
        BuildSpec ball = sphere(25, 50, 1.0f, material(1, 1, 1, 0));
        PelContent* shared = buildContent(ball);
        double last = 0, lastCpu = 0;
        for (uint32_t faces : {50000u, 100000u, 200000u, 400000u}) {
            uint32_t count = faces / uint32_t(ball.faces.size());
            uint32_t side = uint32_t(std::ceil(std::sqrt(double(count))));
            std::vector<PelContent*> own;
            std::vector<ScnNode*> many(count + 1, nullptr);
            for (uint32_t i = 0; i < count; ++i) {
                Mat4 m;
                mtxMakeTranslation(float(i % side) * 2.6f, float(i / side) * 2.6f, 0.3f * float(i % 3), &m);
                own.push_back(buildContent(ball));  // own faces: groups are per content
                scnNodeCreate(own.back(), 0, nullptr, nullptr, &m, &many[i]);
                many[i]->rtSeq = i;
                rtBuildFaceGroups(many[i]);
            }
            double t[3];
            uint32_t leaves = 0;
            buildTimes(many, count, t, &leaves);
            std::printf("%-12s %8u %8u %10.4f %10.4f %8.2f %12s %10.4f %8s\n", "spheres",
                        count * uint32_t(ball.faces.size()), leaves, t[0], t[1], t[1] > 0 ? t[0] / t[1] : 0.0,
                        growth(t[1], last).c_str(), t[2], growth(t[2], lastCpu).c_str());
            last = t[1];
            lastCpu = t[2];
            for (ScnNode*& n : many) scnNodeFree(&n, nullptr);
            for (PelContent*& c2 : own) pelFreeObject(&c2);
        }
        pelFreeObject(&shared);
    }
    {
        BuildSpec tri;
        tri.positions = {{-6, -0.2f, 0}, {6, 0.3f, 0.1f}, {0.5f, 5, -0.4f}};
        tri.faces = {{{0, 1, 2, 2}, 0, 0}};
        tri.materials = {material(1, 1, 1, 0)};
        PelContent* one = buildContent(tri);
        double last = 0, lastCpu = 0;
        for (uint32_t leaves : {12500u, 25000u, 50000u}) {
            std::vector<ScnNode*> many(leaves + 1, nullptr);
            for (uint32_t i = 0; i < leaves; ++i) {
                Mat4 m;
                mtxMakeRotation(int(i % 3), float(i) * 37.1f, &m);
                mtxTranslate(float(i % 17) * 0.05f, float(i % 13) * 0.05f, float(i % 11) * 0.05f, &m);
                scnNodeCreate(one, 0, nullptr, nullptr, &m, &many[i]);
                many[i]->rtSeq = i;
                rtBuildFaceGroups(many[i]);
            }
            double t[3];
            uint32_t n = 0;
            buildTimes(many, leaves, t, &n);
            std::printf("%-12s %8u %8u %10.4f %10.4f %8.2f %12s %10.4f %8s\n", "overlapping", leaves, n, t[0], t[1],
                        t[1] > 0 ? t[0] / t[1] : 0.0, growth(t[1], last).c_str(), t[2], growth(t[2], lastCpu).c_str());
            last = t[1];
            lastCpu = t[2];
            for (ScnNode*& nd : many) scnNodeFree(&nd, nullptr);
        }
        pelFreeObject(&one);
    }
    fzFree(&target);
    fzFree(&work);
    return 0;
}

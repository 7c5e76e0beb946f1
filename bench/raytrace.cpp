// Ray-traced picture of about 100k triangles (bumpy spheres over a reflective floor,
// two shadow-casting lights) at 1024 x 768 in the plain mode, with 1 and 5 threads:
// the time of each phase, the speedup over one thread and the picture's checksum.
// Then the tree build alone for growing face counts, by the plain scan and by the partner search.
// Usage: bench_raytrace [picture.ppm | --tree-only]
#include <chrono>
#include <cmath>
#include <cstdio>
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

namespace {

MatInput mat(float r, float g, float b, float specular) {
    MatInput m = plainMaterial(r, g, b);
    m.colSpecular[0] = m.colSpecular[1] = m.colSpecular[2] = 1.0f;
    m.coSpecular = specular;
    return m;
}

// A sphere of radius r with a ripple, rings x segments quads split into triangles.
BuildSpec sphere(uint32_t rings, uint32_t segments, float r, const MatInput& m) {
    BuildSpec s;
    const float pi = 3.14159265f;
    for (uint32_t i = 0; i <= rings; ++i)
        for (uint32_t j = 0; j <= segments; ++j) {
            float th = pi * float(i) / float(rings), ph = 2 * pi * float(j) / float(segments);
            float rr = r * (1.0f + 0.04f * std::sin(7 * ph) * std::sin(5 * th));
            s.positions.push_back({rr * std::sin(th) * std::cos(ph), rr * std::sin(th) * std::sin(ph), rr * std::cos(th)});
        }
    auto v = [&](uint32_t i, uint32_t j) { return i * (segments + 1) + j; };
    for (uint32_t i = 0; i < rings; ++i)
        for (uint32_t j = 0; j < segments; ++j) {
            // outward winding
            s.faces.push_back({{v(i, j), v(i + 1, j), v(i + 1, j + 1), 0}, 0, 0});
            s.faces.push_back({{v(i, j), v(i + 1, j + 1), v(i, j + 1), 0}, 0, 0});
        }
    for (BuildFace& f : s.faces) f.v[3] = f.v[2];
    s.materials = {m};
    return s;
}

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
    const bool treeOnly = argc > 1 && std::string(argv[1]) == "--tree-only";
    const int32_t W = 1024, H = 768;
    std::vector<PelContent*> contents;
    std::vector<ScnNode*> nodes;
    auto add = [&](const BuildSpec& s, const Mat4* base) {
        contents.push_back(buildContent(s));
        ScnNode* n = nullptr;
        scnNodeCreate(contents.back(), 0, nullptr, nullptr, base, &n);
        nodes.push_back(n);
    };
    uint64_t triangles = 0;
    BuildSpec floor;
    floor.positions = {{-30, -30, 0}, {30, -30, 0}, {30, 30, 0}, {-30, 30, 0}};
    floor.faces = {{{0, 1, 2, 3}, 0, FACE_QUAD}};
    floor.materials = {mat(0.6f, 0.6f, 0.55f, 0.5f)};
    add(floor, nullptr);
    triangles += 2;
    const float colours[5][3] = {{0.9f, 0.2f, 0.2f}, {0.2f, 0.8f, 0.3f}, {0.2f, 0.4f, 0.9f}, {0.9f, 0.8f, 0.2f},
                                 {0.8f, 0.3f, 0.8f}};
    for (int k = 0; k < 25; ++k) {
        BuildSpec s = sphere(40, 50, 1.2f, mat(colours[k % 5][0], colours[k % 5][1], colours[k % 5][2], 0.35f));
        Mat4 m;
        mtxMakeTranslation(float(k % 5) * 3.2f - 6.4f, float(k / 5) * 3.2f - 6.4f, 1.3f + 0.3f * float(k % 3), &m);
        add(s, &m);
        triangles += s.faces.size();
    }
    LightRecord* h = nullptr;
    float d1[3] = {-0.4f, -0.6f, -1.0f}, d2[3] = {0.7f, -0.3f, -1.0f}, c[3] = {0.6f, 0.6f, 0.6f};
    ltAdd(0, d1, c, 1, &h);
    ltAdd(0, d2, c, 1, &h);
    fzSetClearColor(0.2f, 0.25f, 0.35f);

    CamRecord cam{};
    cam.eye = {0, -20, 14};
    cam.vrp = {0, 0, 0};
    cam.up = {0, 0, 1};
    cam.viewDist = 10;
    cam.nearDist = 1;
    cam.farDist = 200;
    cam.winXMin = -4;
    cam.winXMax = 4;
    cam.winYMin = -3;
    cam.winYMax = 3;
    cam.pixW = W;
    cam.pixH = H;
    if (!camUpdate(&cam)) {
        std::printf("camera failed\n");
        return 1;
    }
    PicRecord* target = nullptr;
    PicRecord* work = nullptr;
    fzCreate(W, H, 4, &target);
    fzCreate(W, H, 4, &work);
    std::vector<ScnNode*> list = nodes;
    list.push_back(nullptr);
    ScnRenderJob job{};
    job.camera = &cam;
    job.target = target;
    job.kind = 3;

    std::printf("scene: %llu triangles in %zu nodes, %dx%d, plain mode, machine threads %u\n",
                (unsigned long long)triangles, nodes.size(), W, H, rtProcessorCount());
    std::printf("%7s %10s %10s %10s %10s %10s %8s  %s\n", "threads", "groups s", "id pass s", "tree s",
                "trace s", "total s", "speedup", "checksum");
    double base = 0;
    for (uint32_t t : {1u, 5u}) {
        if (treeOnly) break;
        rtSetProcessorCount(t);
        auto t0 = std::chrono::steady_clock::now();
        int ok = rtRender(&job, work, nullptr, nullptr, list.data(), nullptr, nullptr, 1, 1, 1, 1, 1, 0);
        double total = since(t0);
        RtPhaseTimes pt{};
        rtLastRunTimes(&pt);
        if (t == 1) base = pt.trace;
        std::printf("%7u %10.4f %10.4f %10.4f %10.4f %10.4f %8.2f  %016llx%s\n", t, pt.groups, pt.idPass, pt.tree,
                    pt.trace, total, pt.trace > 0 ? base / pt.trace : 0.0, (unsigned long long)checksum(target),
                    ok ? "" : "  (failed)");
    }
    if (argc > 1 && !treeOnly) {
        if (FILE* f = std::fopen(argv[1], "wb")) {
            std::fprintf(f, "P6\n%d %d\n255\n", W, H);
            for (int32_t i = 0; i < W * H; ++i) {
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
    auto buildTimes = [&](std::vector<ScnNode*>& many, uint32_t count, double out[2], uint32_t* leavesOut) {
        RtRunState& run = rtState();
        run.nodes = many.data();
        run.nodeCount = count;
        uint32_t leaves = 0;
        for (uint32_t i = 0; i < count; ++i) leaves += many[i]->content->rtFaceGroupCount;
        *leavesOut = leaves;
        std::vector<double> t[2];
        for (int rep = 0; rep < 3; ++rep)
            for (uint32_t mode = 0; mode < 2; ++mode) {
                run.pairScanOnly = mode == 0;
                RtTreeNode* root = nullptr;
                auto t0 = std::chrono::steady_clock::now();
                int ok = rtBuildObjectTree(count, &root);
                t[mode].push_back(ok ? since(t0) : -1.0);
                rtFreeTree();
            }
        run.pairScanOnly = 0;
        for (int mode = 0; mode < 2; ++mode) {
            std::sort(t[mode].begin(), t[mode].end());
            out[mode] = t[mode][1];
        }
        run.nodes = nullptr;
        run.nodeCount = 0;
    };
    std::printf("\ntree build, medians of 3 (scan = plain scan, search = partner search)\n");
    std::printf("%-12s %8s %8s %10s %10s %8s %12s\n", "scene", "faces", "leaves", "scan s", "search s", "scan/srch",
                "search x2");
    {
        BuildSpec ball = sphere(25, 50, 1.0f, mat(1, 1, 1, 0));
        PelContent* shared = buildContent(ball);
        double last = 0;
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
            double t[2];
            uint32_t leaves = 0;
            buildTimes(many, count, t, &leaves);
            std::printf("%-12s %8u %8u %10.4f %10.4f %8.2f %12s\n", "spheres", count * uint32_t(ball.faces.size()),
                        leaves, t[0], t[1], t[1] > 0 ? t[0] / t[1] : 0.0,
                        last > 0 ? (std::to_string(t[1] / last).substr(0, 4)).c_str() : "-");
            last = t[1];
            for (ScnNode*& n : many) scnNodeFree(&n, nullptr);
            for (PelContent*& c2 : own) pelFreeObject(&c2);
        }
        pelFreeObject(&shared);
    }
    {
        BuildSpec tri;
        tri.positions = {{-6, -0.2f, 0}, {6, 0.3f, 0.1f}, {0.5f, 5, -0.4f}};
        tri.faces = {{{0, 1, 2, 2}, 0, 0}};
        tri.materials = {mat(1, 1, 1, 0)};
        PelContent* one = buildContent(tri);
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
            double t[2];
            uint32_t n = 0;
            buildTimes(many, leaves, t, &n);
            std::printf("%-12s %8u %8u %10.4f %10.4f %8.2f %12s\n", "overlapping", leaves, n, t[0], t[1],
                        t[1] > 0 ? t[0] / t[1] : 0.0, "-");
            for (ScnNode*& nd : many) scnNodeFree(&nd, nullptr);
        }
        pelFreeObject(&one);
    }
    fzFree(&target);
    fzFree(&work);
    for (ScnNode*& n : nodes) scnNodeFree(&n, nullptr);
    for (PelContent*& c2 : contents) pelFreeObject(&c2);
    ltReset();
    return 0;
}

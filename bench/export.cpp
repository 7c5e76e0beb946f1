// Bitmap export of a 2048 x 2048 picture of the sample scene, strip by strip as SaveBitmap
// renders it, by the scan-line renderer and by the ray tracer: the time (median of rounds),
// its ratio to the same view rendered in one piece (the baseline, measured in the same
// rounds), and the growth of the peak resident set of one export in a process of its own.
// Usage: bench_export [--peak <kind> <quality> <pieces>]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "exportrender.h"
#include "procstatus.h"
#include "render/rtdriver.h"
#include "render/sample.h"

namespace {

constexpr int32_t kSize = 2048;

class NullSink : public qivctl::ExportSink {
public:
    bool progress(int32_t) override { return true; }
    bool writeRows(const uint8_t* bytes, size_t size) override {
        for (size_t i = 0; i < size; i += 4096) sum += bytes[i];
        return true;
    }
    uint64_t sum = 0;
};

// The plan of the export, or the same picture in one strip.
qivctl::ExportPlan planOf(const CamRecord& cam, int32_t quality, bool onePiece) {
    qivctl::ExportPlan p;
    qivctl::planExportFor({kSize, kSize, quality, 2}, cam, &p);
    if (onePiece) {
        qivctl::ExportStrip s = p.strips.front();
        s.rows = kSize;
        s.screenHeight = p.oversample * kSize;
        s.windowTop = p.strips.back().windowTop;
        p.stripRows = kSize;
        p.frameHeight = p.oversample * kSize;
        p.strips = {s};
    }
    return p;
}

struct Scene {
    SampleScene s;
    ScnNode* roots[2] = {};
    CamRecord cam{};
    bool make() {
        if (!sampleSceneCreate(&s, kSize, kSize)) return false;
        roots[0] = s.node;
        cam = s.cam;
        return true;
    }
    ~Scene() { sampleSceneFree(&s); }
    double run(bool rayTrace, int32_t quality, bool onePiece) {
        const qivctl::ExportPlan p = planOf(cam, quality, onePiece);
        qivctl::ExportScene scene;
        scene.camera = &cam;
        scene.roots = roots;
        scene.rayTrace = rayTrace;
        NullSink sink;
        const auto t0 = std::chrono::steady_clock::now();
        const qivctl::ExportResult r = qivctl::renderExport(p, scene, 2, sink);
        const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        return r == qivctl::ExportResult::Written ? t : -1;
    }
};

// Child mode: one export; prints the growth of the peak resident set in kB.
int peakOfOne(bool rayTrace, int32_t quality, bool onePiece) {
    Scene s;
    if (!s.make()) return 1;
    const long before = procMemory().peak;
    if (s.run(rayTrace, quality, onePiece) < 0) return 1;
    std::printf("%ld\n", procMemory().peak - before);
    return 0;
}

long peakInChild(const char* self, bool rayTrace, int32_t quality, bool onePiece) {
    const std::string cmd = std::string(self) + " --peak " + (rayTrace ? "rt " : "sw ") + std::to_string(quality) +
                            (onePiece ? " 1" : " 0");
    long kb = -1;
    if (std::FILE* p = popen(cmd.c_str(), "r")) {
        if (std::fscanf(p, "%ld", &kb) != 1) kb = -1;
        pclose(p);
    }
    return kb;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[1]) == "--peak")
        return peakOfOne(std::string(argv[2]) == "rt", std::atoi(argv[3]), std::atoi(argv[4]) != 0);
    if (std::FILE* l = std::fopen("/proc/loadavg", "r")) {
        char line[128];
        if (std::fgets(line, sizeof line, l)) std::printf("load average: %s", line);
        std::fclose(l);
    }
    std::printf("ray-trace threads: %u\n", rtProcessorCount());
    Scene scene;
    if (!scene.make()) return 1;
    struct Case {
        const char* name;
        bool rayTrace;
        int32_t quality;
        int rounds;
    };
    const Case cases[] = {{"software, quality 0", false, 0, 5},
                          {"software, quality 2", false, 2, 3},
                          {"ray-traced, quality 0", true, 0, 3},
                          {"ray-traced, quality 1", true, 1, 3}};
    std::printf("2048 x 2048, 2-byte frame: strips of at most 4 MiB of oversampled frame and depth\n");
    for (const Case& c : cases) {
        const qivctl::ExportPlan p = planOf(scene.cam, c.quality, false);
        std::vector<double> strips, whole, ratio;
        // Strips and one piece alternate, so that both see the same machine.
        for (int r = 0; r < c.rounds; ++r) {
            const double ts = scene.run(c.rayTrace, c.quality, false);
            const double tw = scene.run(c.rayTrace, c.quality, true);
            if (ts < 0 || tw < 0) {
                std::printf("%s: export failed\n", c.name);
                return 1;
            }
            strips.push_back(ts);
            whole.push_back(tw);
            ratio.push_back(ts / tw);
        }
        const long peakStrips = peakInChild(argv[0], c.rayTrace, c.quality, false);
        const long peakWhole = peakInChild(argv[0], c.rayTrace, c.quality, true);
        std::printf("%-22s %zu strips of %d rows: %8.1f ms (one piece %8.1f ms, ratio %.2f, median of %d)\n", c.name,
                    p.strips.size(), p.stripRows, median(strips) * 1e3, median(whole) * 1e3, median(ratio), c.rounds);
        std::printf("%-22s peak memory growth: strips %.1f MB, one piece %.1f MB\n", "", peakStrips / 1024.0,
                    peakWhole / 1024.0);
    }
    return 0;
}

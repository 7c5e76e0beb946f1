// Container load throughput: the load driver on a large Qiv container (payload inflate and
// object parse, whole and in 16 KiB pieces) beside zlib's own inflate of the same payload,
// the object stream parser alone, and inflate + parse done directly; and the time from the
// first byte to the preview picture of a container with a progressive preview.
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

#include "control/core/tests/jpeg_maker.h"
#include "control/core/tests/qiv_writer.h"
#include "loaddriver.h"
#include "scene/engine.h"
#include "scene/qivstream.h"
#include "scene/scene.h"
#include "scene/scratch.h"

namespace {

using Clock = std::chrono::steady_clock;
using qivw::Bytes;

// The machine's load average over the last minute (0 when it cannot be read).
double loadAverage() {
    double l = 0;
    if (std::FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf", &l) != 1) l = 0;
        std::fclose(f);
    }
    return l;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Median wall seconds of runs calls; cpu gets the median processor seconds of the same calls,
// the figure that holds on a busy machine for this single-threaded work.
double timeIt(int runs, const std::function<void()>& f, double* cpu = nullptr) {
    std::vector<double> t, c;
    for (int i = 0; i < runs; ++i) {
        const auto a = Clock::now();
        const std::clock_t ca = std::clock();
        f();
        c.push_back(double(std::clock() - ca) / CLOCKS_PER_SEC);
        t.push_back(std::chrono::duration<double>(Clock::now() - a).count());
    }
    if (cpu) *cpu = median(c);
    return median(t);
}

void inflateInto(const Bytes& file, std::vector<uint8_t>& out) {
    z_stream zs{};
    inflateInit(&zs);
    zs.next_in = const_cast<Bytef*>(file.data() + 40);
    zs.avail_in = uInt(file.size() - 40);
    zs.next_out = out.data();
    zs.avail_out = uInt(out.size());
    inflate(&zs, Z_FINISH);
    inflateEnd(&zs);
}

uint32_t parse(const uint8_t* p, size_t n, uint32_t* bytes = nullptr) {
    PelContent* c = nullptr;
    PelStreamInfo* info = nullptr;
    uint32_t faces = 0, size = 0;
    if (pelParseStream(p, n, &c, &info, &size, 0, nullptr)) {
        faces = c->faceCount;
        pelFreeStream(&info);
        pelFreeObject(&c);
    }
    if (bytes) *bytes = size;
    return faces;
}

// The platform's floor of the content's memory: a new block of the given size from the
// engine's allocator with one write to each of its pages, then freed (median processor seconds).
double freshFloor(int runs, size_t bytes) {
    double cpu = 0;
    timeIt(runs, [&] {
        auto* b = static_cast<volatile uint8_t*>(memAllocZ(bytes));
        for (size_t i = 0; i < bytes; i += 4096) b[i] = 1;
        memFree(const_cast<uint8_t*>(b));
    }, &cpu);
    return cpu;
}

struct PreviewClock : QivLoadSink {
    Clock::time_point shown{};
    bool seen = false;
    void pictureShown(QivPictureKind k, PicRecord*, bool first) override {
        if (k == QivPictureKind::Preview && first && !seen) {
            seen = true;
            shown = Clock::now();
        }
    }
};

void drive(const Bytes& file, size_t piece, QivLoadSink* sink) {
    QivLoadOptions opt;
    QivLoadDriver d(sink, opt);
    for (size_t at = 0; at < file.size(); at += piece) d.feed(file.data() + at, std::min(piece, file.size() - at), 0);
    d.endOfTransfer(true);
}

}  // namespace

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::atoi(argv[1]) : 250;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 7;
    pelSetStreamLimits(1u << 24, 1u << 24);

    qivw::Container c;
    c.object = qivw::gridObject(n);
    const Bytes payload = qivw::payload(c);
    const Bytes file = qivw::build(c);
    std::vector<uint8_t> out(payload.size());
    uint32_t contentBytes = 0;
    const auto first = Clock::now();
    const uint32_t parsed = parse(payload.data(), payload.size(), &contentBytes);
    const double tFirst = std::chrono::duration<double>(Clock::now() - first).count();
    std::printf("container: %d x %d quads (%u faces parsed), payload %zu bytes, deflated %zu bytes, median of %d runs\n",
                n, n, parsed, payload.size(), file.size(), runs);

    const double tInflate = timeIt(runs, [&] { inflateInto(file, out); });
    double cParse = 0;
    const double tParse = timeIt(runs, [&] { parse(payload.data(), payload.size()); }, &cParse);
    const double tDirect = timeIt(runs, [&] {
        inflateInto(file, out);
        parse(out.data(), out.size());
    });
    QivLoadSink plainSink;
    const double tWhole = timeIt(runs, [&] { drive(file, file.size(), &plainSink); });
    const double tPieces = timeIt(runs, [&] { drive(file, 16384, &plainSink); });
    const double mb = double(payload.size()) / (1 << 20);
    std::printf("zlib inflate alone        %8.2f ms  %7.1f MB/s\n", tInflate * 1e3, mb / tInflate);
    std::printf("stream parser alone       %8.2f ms  %7.1f MB/s  (processor %.2f ms, %.1f MB/s)\n", tParse * 1e3,
                mb / tParse, cParse * 1e3, mb / cParse);
    const double tFloor = freshFloor(runs, contentBytes);
    std::printf("  first parse of process  %8.2f ms;  floor of the content's %u new bytes: processor %.2f ms\n",
                tFirst * 1e3, contentBytes, tFloor * 1e3);
    std::printf("inflate + parse directly  %8.2f ms  %7.1f MB/s\n", tDirect * 1e3, mb / tDirect);
    std::printf("load driver, one piece    %8.2f ms  %7.1f MB/s  ratio %.3f\n", tWhole * 1e3, mb / tWhole,
                tWhole / tDirect);
    std::printf("load driver, 16 KiB       %8.2f ms  %7.1f MB/s  ratio %.3f\n", tPieces * 1e3, mb / tPieces,
                tPieces / tDirect);

    // First byte to preview: a progressive 320 x 240 preview in front of the same object.
    jpegmk::Options o;
    o.width = 320;
    o.height = 240;
    o.progressive = true;
    c.preview = jpegmk::make(o);
    const Bytes withPreview = qivw::build(c);
    std::vector<double> toPreview, total;
    for (int i = 0; i < runs; ++i) {
        PreviewClock sink;
        const auto a = Clock::now();
        drive(withPreview, 16384, &sink);
        const auto b = Clock::now();
        toPreview.push_back(std::chrono::duration<double>(sink.shown - a).count());
        total.push_back(std::chrono::duration<double>(b - a).count());
    }
    std::printf("first byte to preview     %8.2f ms  (whole load %.2f ms, preview %zu bytes)\n",
                median(toPreview) * 1e3, median(total) * 1e3, c.preview.size());
    // The parser's growth with the object: grids of 4 and 16 times the faces, with the working
    // memory of the parse before kept whatever its size; beside the floor of the content's
    // new memory, which the allocator may give from pages it holds or from fresh ones.
    std::printf("stream parser by size (medians of 3, processor times; per face beyond the floor, its ratio to the "
                "smallest's):\n");
    std::printf("  %8s %11s %11s %11s %7s\n", "faces", "parse ms", "floor ms", "ns/face", "ratio");
    const size_t keep = ScratchArena::keep();
    ScratchArena::setKeep(SIZE_MAX);
    double perFace0 = 0;
    for (int side : {n, 2 * n, 4 * n}) {
        qivw::Container grid;
        grid.object = qivw::gridObject(side);
        const Bytes stream = qivw::payload(grid);
        uint32_t bytes = 0;
        const uint32_t faces = parse(stream.data(), stream.size(), &bytes);
        double cpu = 0;
        timeIt(3, [&] { parse(stream.data(), stream.size()); }, &cpu);
        const double floor = freshFloor(3, bytes);
        const double perFace = std::max(cpu - floor, 0.0) / std::max<uint32_t>(faces, 1) * 1e9;
        if (!perFace0) perFace0 = perFace;
        std::printf("  %8u %11.2f %11.2f %11.1f %7.2f\n", faces, cpu * 1e3, floor * 1e3, perFace, perFace / perFace0);
    }
    ScratchArena::setKeep(keep);
    ScratchArena::shared().release();
    std::printf("machine load average %.2f\n", loadAverage());
    return 0;
}

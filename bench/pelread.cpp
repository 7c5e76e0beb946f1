// Object file reader throughput: a generated object of about one million
// faces in the long record form, read with pelLoad, against reading the
// same file's bytes into memory.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <vector>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "procstatus.h"
#include "scene/engine.h"
#include "scene/pelfile.h"
#include "scene/scene.h"
#include "scene/tests/pel_builder.h"

namespace {

double seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

pelb::Object gridObject(uint32_t n) {
    pelb::Object o;
    o.magic = "PEL V1.1";
    o.name = "Grid";
    o.materials.resize(1);
    o.faceNormals.resize(1);
    o.vertexNormals.resize(1);
    o.vertices.resize(size_t(n) * n);
    for (uint32_t y = 0; y < n; ++y)
        for (uint32_t x = 0; x < n; ++x) {
            pelb::Vertex& v = o.vertices[size_t(y) * n + x];
            v.x = float(x);
            v.y = float(y);
            v.u = float(x) / float(n);
            v.v = float(y) / float(n);
            v.normal = 0;
        }
    o.faces.reserve(size_t(2) * (n - 1) * (n - 1));
    for (uint32_t y = 0; y + 1 < n; ++y)
        for (uint32_t x = 0; x + 1 < n; ++x) {
            uint32_t a = y * n + x, b = a + 1, c = a + n, d = c + 1;
            for (int k = 0; k < 2; ++k) {
                pelb::Face f;
                uint32_t self = uint32_t(o.faces.size());
                f.v[0] = a;
                f.v[1] = k ? d : b;
                f.v[2] = k ? c : d;
                for (uint32_t& nb : f.nb) nb = self;
                o.faces.push_back(f);
            }
        }
    pelb::Part p;
    p.vertexCount = uint32_t(o.vertices.size());
    p.faceCount = int32_t(o.faces.size());
    o.parts = {p};
    return o;
}

// The file's bytes into a buffer of their size, as a plain program would read them.
double plainRead(const std::string& path, size_t* bytes) {
    auto t0 = std::chrono::steady_clock::now();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return -1;
    std::fseek(f, 0, SEEK_END);
    long n = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    std::unique_ptr<uint8_t[]> buf(new uint8_t[size_t(n)]);
    size_t got = std::fread(buf.get(), 1, size_t(n), f);
    std::fclose(f);
    auto t1 = std::chrono::steady_clock::now();
    *bytes = got;
    return seconds(t0, t1);
}

// Child mode: one load in a fresh process; prints the growth of the peak resident set.
int peakOfOneLoad(const char* path) {
    const long before = procMemory().resident;
    char file[PEL_FILE_NAME_MAX], name[100];
    PelFileInfo info;
    PelContent* content = nullptr;
    size_t contentBytes = 0;
    if (!pelLoad(path, file, name, &info, &content, &contentBytes)) return 1;
    const long peak = procMemory().peak;
    std::printf("%ld %zu\n", peak - before, contentBytes);
    pelFreeObject(&content);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--peak") return peakOfOneLoad(argv[2]);
    const uint32_t n = 708;  // 501264 vertices, 999698 faces
    pelb::TempDir dir("bench");
    const auto path = dir / "grid.pel";
    {
        pelb::Object o = gridObject(n);
        pelb::writeFile(path, pelb::build(o));
        std::printf("object: %zu vertices, %zu faces (long forms: %s)\n", o.vertices.size(), o.faces.size(),
                    pelb::longFaces(o) ? "yes" : "no");
    }
    const double fileBytes = double(std::filesystem::file_size(path));
    const double mb = fileBytes / (1024.0 * 1024.0);
    std::printf("file: %.1f MB\n", mb);

    // Plain read and load alternate, so that both see the same machine.
    const int rounds = 9;
    std::vector<double> raw, load, ratio;
    for (int r = 0; r < rounds; ++r) {
        size_t got = 0;
        double tr = plainRead(path.string(), &got);
        if (tr < 0 || double(got) != fileBytes) return 1;
        char file[PEL_FILE_NAME_MAX], name[100];
        PelFileInfo info;
        PelContent* content = nullptr;
        size_t contentBytes = 0;
        auto t0 = std::chrono::steady_clock::now();
        int ok = pelLoad(path.string().c_str(), file, name, &info, &content, &contentBytes);
        auto t1 = std::chrono::steady_clock::now();
        if (!ok) {
            std::printf("pelLoad failed\n");
            return 1;
        }
        pelFreeObject(&content);
        raw.push_back(tr);
        load.push_back(seconds(t0, t1));
        ratio.push_back(load.back() / tr);
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::printf("read bytes: %8.1f ms  %8.1f MB/s   (median of %d)\n", median(raw) * 1e3, mb / median(raw), rounds);
    std::printf("pelLoad:    %8.1f ms  %8.1f MB/s\n", median(load) * 1e3, mb / median(load));
    std::printf("ratio pelLoad / read bytes: %.2f (median of the %d paired rounds)\n", median(ratio), rounds);

    // Peak memory of one load in a process of its own.
    const std::string cmd = std::string(argv[0]) + " --peak \"" + path.string() + "\"";
    if (std::FILE* p = popen(cmd.c_str(), "r")) {
        long kb = 0;
        size_t contentBytes = 0;
        if (std::fscanf(p, "%ld %zu", &kb, &contentBytes) == 2 && kb > 0)
            std::printf("peak memory of a load: %.1f MB = %.2f x the file (content %.1f MB = %.2f x)\n",
                        kb / 1024.0, kb * 1024.0 / fileBytes, contentBytes / 1048576.0, contentBytes / fileBytes);
        else
            std::printf("peak memory: not measured here\n");
        pclose(p);
    }
    return 0;
}

// Object file reader throughput: a generated object of about one million
// faces in the long record form, read with pelLoad, against reading the
// same file's bytes into memory.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <vector>

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

}  // namespace

int main() {
    const uint32_t n = 708;  // 501264 vertices, 999698 faces
    pelb::TempDir dir("bench");
    const auto path = dir / "grid.pel";
    {
        pelb::Object o = gridObject(n);
        pelb::writeFile(path, pelb::build(o));
        std::printf("object: %zu vertices, %zu faces (long forms: %s)\n", o.vertices.size(), o.faces.size(),
                    pelb::longFaces(o) ? "yes" : "no");
    }
    const double mb = double(std::filesystem::file_size(path)) / (1024.0 * 1024.0);
    std::printf("file: %.1f MB\n", mb);

    const int rounds = 5;
    double bestRaw = 1e30, bestLoad = 1e30;
    for (int r = 0; r < rounds; ++r) {
        auto t0 = std::chrono::steady_clock::now();
        pelb::Bytes bytes = pelb::readFile(path);
        auto t1 = std::chrono::steady_clock::now();
        if (bytes.empty()) return 1;
        bestRaw = std::min(bestRaw, seconds(t0, t1));

        char file[PEL_FILE_NAME_MAX], name[100];
        PelFileInfo info;
        PelContent* content = nullptr;
        size_t contentBytes = 0;
        t0 = std::chrono::steady_clock::now();
        int ok = pelLoad(path.string().c_str(), file, name, &info, &content, &contentBytes);
        t1 = std::chrono::steady_clock::now();
        if (!ok) {
            std::printf("pelLoad failed\n");
            return 1;
        }
        bestLoad = std::min(bestLoad, seconds(t0, t1));
        pelFreeObject(&content);
    }
    std::printf("read bytes: %8.1f ms  %8.1f MB/s\n", bestRaw * 1e3, mb / bestRaw);
    std::printf("pelLoad:    %8.1f ms  %8.1f MB/s\n", bestLoad * 1e3, mb / bestLoad);
    std::printf("ratio pelLoad / read bytes: %.2f (best of %d)\n", bestLoad / bestRaw, rounds);
    return 0;
}

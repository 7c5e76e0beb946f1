// Shared helpers of the fuzz targets.
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

// A scratch file of this process under the temporary folder, removed at exit.
inline std::string& fuzzScratchSlot() {
    static std::string path;
    return path;
}
inline const std::string& fuzzScratchPath(const char* tag) {
    std::string& path = fuzzScratchSlot();
    if (path.empty()) {
        std::random_device rd;
        auto p = std::filesystem::temp_directory_path() /
                 (std::string("qivfuzz_") + tag + "_" + std::to_string(rd()) + ".pel");
        path = p.string();
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove(fuzzScratchSlot(), ec);
            std::filesystem::remove(fuzzScratchSlot() + ".~tmp", ec);
        });
    }
    return path;
}

inline bool fuzzWrite(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

inline uint32_t fuzzRd32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void fuzzWr32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

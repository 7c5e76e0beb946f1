// Shared helpers of the fuzz targets.
#pragma once
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <signal.h>
#include <unistd.h>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

// Largest picture (in pixels) the picture decoders take in the targets: a few header bytes
// cannot make an input decode megapixels.
constexpr uint64_t kFuzzMaxPixels = 1u << 16;

// Scratch files of this process, in memory (/dev/shm) where the system has it, else under
// the temporary folder; removed at exit.
inline std::string fuzzScratchFolder() {
    std::error_code ec;
    if (std::filesystem::is_directory("/dev/shm", ec)) return "/dev/shm";
    return std::filesystem::temp_directory_path(ec).string();
}
// libFuzzer may end a run without the exit handlers, so each process also removes the
// scratch files of processes that are gone (the process id is in the name).
inline void fuzzRemoveStaleScratch(const std::string& folder) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("qivfuzz_", 0) != 0) continue;
        const size_t dot = name.find('.'), cut = name.rfind('_', dot);
        if (dot == std::string::npos || cut == std::string::npos) continue;
        const long pid = std::atol(name.substr(cut + 1, dot - cut - 1).c_str());
        if (pid > 0 && kill(pid_t(pid), 0) != 0 && errno == ESRCH) std::filesystem::remove(entry.path(), ec);
    }
}
inline const std::string& fuzzScratchPath(const char* tag) {
    static std::vector<std::pair<std::string, std::string>> paths;
    for (const auto& [t, p] : paths)
        if (t == tag) return p;
    const std::string folder = fuzzScratchFolder();
    const std::string path = folder + "/qivfuzz_" + tag + "_" + std::to_string(getpid()) + ".pel";
    if (paths.empty()) {
        fuzzRemoveStaleScratch(folder);
        std::atexit([] {
            std::error_code ec;
            for (const auto& [t, p] : paths) {
                std::filesystem::remove(p, ec);
                std::filesystem::remove(p + ".~tmp", ec);
            }
        });
    }
    paths.reserve(8);  // a few tags per target: the references stay
    paths.emplace_back(tag, path);
    return paths.back().second;
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

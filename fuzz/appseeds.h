// Shared helper of the seed generators of Stellwerk's file readers.
#pragma once
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

// Writes the seeds as <dir>/<target>/seed0, seed1, ...; false when one
// could not be written.
inline bool writeSeeds(const char* dir, const char* target, const std::vector<std::string>& seeds) {
    const std::filesystem::path folder = std::filesystem::path(dir) / target;
    std::filesystem::create_directories(folder);
    int n = 0;
    for (const auto& s : seeds) {
        std::FILE* f = std::fopen((folder / ("seed" + std::to_string(n++))).string().c_str(), "wb");
        if (!f) return false;
        const bool ok = std::fwrite(s.data(), 1, s.size(), f) == s.size();
        if (std::fclose(f) != 0 || !ok) return false;
    }
    return true;
}

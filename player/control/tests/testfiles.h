// Files of the control's tests: a folder in the temporary folder, whole files written and read.
#pragma once
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace qivtest {

// <temporary folder>\leaf, made when missing.
inline std::string tempDir(const char* leaf) {
    char base[MAX_PATH];
    GetTempPathA(sizeof base, base);
    std::string d = std::string(base) + leaf;
    CreateDirectoryA(d.c_str(), nullptr);
    return d;
}

inline bool writeFile(const std::string& path, const std::vector<uint8_t>& b) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(b.data(), 1, b.size(), f) == b.size();
    return std::fclose(f) == 0 && ok;
}

inline std::vector<uint8_t> readFile(const std::string& path) {
    std::vector<uint8_t> b;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        int c;
        while ((c = std::fgetc(f)) != EOF) b.push_back(uint8_t(c));
        std::fclose(f);
    }
    return b;
}

}  // namespace qivtest

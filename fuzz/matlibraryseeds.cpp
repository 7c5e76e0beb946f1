// Seeds of fuzz_matlibrary: library files the project's own writer makes and
// hand-written ones with defaults, clamps and broken numbers.
//   fuzz_seeds_matlibraryseeds <dir>  ->  <dir>/matlibrary/*
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "forms/inifile.h"
#include "matlibrary.h"

using namespace stellwerk;

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    SetProgramFolder("C:\\Prog\\");
    std::filesystem::path dir = std::filesystem::path(argv[1]) / "matlibrary";
    std::filesystem::create_directories(dir);
    LibraryMaterial m;
    m.entry.diffuse = RGB3(200, 100, 50);
    m.entry.alpha = 45;
    m.entry.flags = 0x0C14;
    m.texture = "C:\\Prog\\Textures\\oak.jpg";
    forms::IniFile ini;
    WriteLibraryMaterial(ini, "Oak", m);
    std::vector<std::string> seeds = {
        ini.Text(),
        "[Material]\nName=G\n[g]\nRGBDiffus=2,-1\nRGBSpiegel=x,,0.5,9\nbits=-1\nalpha=1e9\nkdiffus=0,5\n",
        "[Material]\nName=\n",
    };
    int n = 0;
    for (const auto& s : seeds) {
        std::FILE* f = std::fopen((dir / ("seed" + std::to_string(n++))).string().c_str(), "wb");
        if (!f) return 1;
        std::fwrite(s.data(), 1, s.size(), f);
        std::fclose(f);
    }
    return 0;
}

// Seeds of fuzz_matlibrary: library files the project's own writer makes and
// hand-written ones with defaults, clamps and broken numbers.
//   fuzz_seeds_matlibraryseeds <dir>  ->  <dir>/matlibrary/*
#include <string>
#include <vector>

#include "appseeds.h"

#include "forms/inifile.h"
#include "matlibrary.h"

using namespace stellwerk;

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    SetProgramFolder("C:\\Prog\\");
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
    return writeSeeds(argv[1], "matlibrary", seeds) ? 0 : 1;
}

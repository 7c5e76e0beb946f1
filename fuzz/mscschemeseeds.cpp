// Seeds of fuzz_mscscheme: scheme files the project's own writer makes for
// the target's object, and cut or damaged forms of them.
//   fuzz_seeds_mscschemeseeds <dir>  ->  <dir>/mscscheme/*
#include <string>
#include <vector>

#include "appseeds.h"

#include "schemes.h"

using namespace stellwerk;

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    MaterialSet own;
    own.materials.resize(4);
    own.names.resize(4);
    own.textures = {"C:\\Obj\\a.bmp", "", "C:\\Obj\\c.jpg"};
    MaterialSet scheme = own;
    scheme.materials[0].diffuse = 0xFF8040;
    scheme.materials[1].alpha = 30;
    scheme.materials[2].kDiffuse = 0.123f;
    scheme.materials[3].flags = 0x1C04;
    scheme.names = {"Seat", "", "Leg", "Back rest"};
    scheme.textures = {"C:\\Prog\\Textures\\oak.bmp", "*", ""};
    const std::string full = WriteScheme(scheme, own, "C:\\Prog\\");
    std::vector<std::string> seeds = {
        full,
        full.substr(0, full.size() / 2),
        "Counts\n3\n4\nTextures\n*\n\nrel\\x.bmp\nMaterials\n255 0\n1 2 3 4,5 5 6 7\n-1 -1 -1 -1 -1 -1 -1\n"
        "99999999999 0x10 50 1e300 nan inf 1\nMaterial Names\na\nb\n",
        "Counts\n65536\n-1\n",
        "Chair.Red.msc",
    };
    return writeSeeds(argv[1], "mscscheme", seeds) ? 0 : 1;
}

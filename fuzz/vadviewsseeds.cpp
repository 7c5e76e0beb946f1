// Seeds of fuzz_vadviews: views files the project's own writer makes, with
// batches and batch settings, and hand-made files with the single keys and
// broken values.
//   fuzz_seeds_vadviewsseeds <dir>  ->  <dir>/vadviews/*
#include <string>
#include <vector>

#include "appseeds.h"

#include "forms/inifile.h"
#include "viewsfile.h"

using namespace stellwerk;

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    SetProgramFolder("C:\\Prog\\");
    forms::IniFile ini;
    ViewRecord v;
    v.Name = "Front";
    v.Scheme = "Red";
    v.Vrpx = 1, v.Eyey = -10.5f, v.TanA = 0.414f, v.XRot = 30, v.ZRot = 180, v.Zoom = 2;
    v.Lights = 5, v.Parallel = true, v.Tiled = true, v.TileOffsetX = 3, v.TileOffsetY = -4;
    v.BackImage = "C:\\Prog\\Pics\\sky.jpg";
    WriteViewSection(ini, v, v.Name);
    v.Name = "<LastView>";
    WriteViewSection(ini, v, v.Name);
    WriteBatchSettings(ini, {800, 600, 1, true, 2});
    WriteBatch(ini, "Tour", {"Front", "a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k"});
    std::vector<std::string> seeds = {
        ini.Text(),
        "[S]\nVrpx=1\nVrpy=2\nVrpz=3\nEyex=4\nEyey=5\nEyez=6\nTanA=0.5\nXRot=1\nZRot=2\nFlags=255\n"
        "BackColor=300 -5 x\nTileOffset=1\n",
        "[B]\nName=\nVrp=1,5 2\nEye=x\nRot=1e400\nZoom=nan\nFlags=0x7FFFFFFF\n[BatchNames]\n1=B\n2= b \n[b]\n1=B,,B\n",
    };
    return writeSeeds(argv[1], "vadviews", seeds) ? 0 : 1;
}

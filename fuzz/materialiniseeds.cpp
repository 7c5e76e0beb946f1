// Seeds of fuzz_materialini: material files with every key, defaults, the
// 255-scale colour form, quoted values and broken lines.
//   fuzz_seeds_materialiniseeds <dir>  ->  <dir>/materialini/*
#include <cstdio>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    std::filesystem::path dir = std::filesystem::path(argv[1]) / "materialini";
    std::filesystem::create_directories(dir);
    const char* seeds[] = {
        "[Material]\r\nName=Brass\r\n[Brass]\r\nkdiffus=0.6\r\nkambient=0.25\r\nkspiegel=0.75\r\nalpha=1\r\nOe=16\r\n"
        "Bits=9\r\nRGBDiffus=0.8,0.5,0.125\r\nRGBSpiegel=1,1,0.5\r\n",
        "[Material]\nName=x\n",
        "[Material]\nName=x\n[x]\nRGBDiffus=\nRGBDiffus255=255,0,51\nOe=0.1\n",
        "; comment\n[material]\nname = \"Quoted Name\"\n[Quoted Name]\nkdiffus = 1e3\nkambient=-0.5\nBits=-1\n",
        "[Material]\nName=x\n[x]\nkdiffus=0,7\nRGBDiffus=0,5,0,5,0,5\nRGBSpiegel=1\n[",
        "C:\\textures\\wood.PNG",
        "car.qiv",
    };
    int n = 0;
    for (const char* s : seeds) {
        std::string file = (dir / ("seed" + std::to_string(n++))).string();
        std::FILE* f = std::fopen(file.c_str(), "wb");
        if (!f) return 1;
        std::fputs(s, f);
        std::fclose(f);
    }
    return 0;
}

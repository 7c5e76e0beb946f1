// Seeds of fuzz_texnames: texture names of every form the candidates handle, with a small
// per-part value block behind each; quoted command lines of the viewer among them.
//   fuzz_seeds_texnameseeds <dir>  ->  <dir>/texnames/*
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    std::filesystem::path dir = std::filesystem::path(argv[1]) / "texnames";
    std::filesystem::create_directories(dir);
    const char* names[] = {
        "wood.bmp",         "sub\\wood.bmp",       "sub/dir/Wood.BMP",      "http://h/t>sub/t.jpg", "a>b>c.bms",
        "..\\..\\x.bmp",    "C:\\x.bmp",           "\\\\srv\\share>t.bmp",  "%2e%2e/x.jpg",         "CON.bmp",
        "dir.v2\\tex",      " ",                   "",                      "x:y.bmp",              "...\\t.jpeg",
        "\"C:\\My Objects\\a b.pel\"", "  \"unclosed.qiv  ",
    };
    int n = 0;
    for (const char* name : names) {
        for (uint8_t flags : {uint8_t(0x1B), uint8_t(0x3F), uint8_t(0x47)}) {
            std::vector<uint8_t> v;
            v.push_back(flags);
            for (const char* p = name; *p; ++p) v.push_back(uint8_t(*p));
            v.push_back(0);
            const uint32_t words[] = {256, 12, 300, 0xFFFFFFFFu};
            for (uint32_t w : words)
                for (int k = 0; k < 4; ++k) v.push_back(uint8_t(w >> (8 * k)));
            std::string file = (dir / ("seed" + std::to_string(n++))).string();
            std::FILE* f = std::fopen(file.c_str(), "wb");
            if (!f) return 1;
            std::fwrite(v.data(), 1, v.size(), f);
            std::fclose(f);
        }
    }
    return 0;
}

// Seeds of fuzz_savepayload: container payloads with an object stream and a few chunks,
// one cut short, and names of textures and URLs.
//   fuzz_seeds_savepayloadseeds <dir>  ->  <dir>/savepayload/*
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}
void add32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

std::vector<uint8_t> payload(bool cut) {
    std::vector<uint8_t> p(40 + 64, 0);
    std::memcpy(p.data(), "Qiv1", 4);
    put32(p, 8, 1);
    put32(p, 20, 40);
    put32(p, 24, 64);
    p[40 + 28] = 20;
    std::memcpy(p.data() + 40 + 50, "Tisch", 5);
    put32(p, 28, uint32_t(p.size()));
    const uint32_t types[] = {0x100, 0x15, 0x10001, 0x111};
    for (uint32_t t : types) {
        add32(p, t);
        add32(p, 6);
        for (int i = 0; i < 6; ++i) p.push_back(uint8_t(t + i));
    }
    put32(p, 4, uint32_t(p.size()));
    if (cut) p.resize(p.size() - 3);
    return p;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    std::filesystem::path dir = std::filesystem::path(argv[1]) / "savepayload";
    std::filesystem::create_directories(dir);
    std::vector<std::vector<uint8_t>> seeds = {payload(false), payload(true)};
    for (const char* s : {"HTTP://H/BASE>SUB/HOLZ.BMP", "X>..\\..\\WIN.INI", "http://h/a%2e%2e/b.qiv?x#y",
                          "http://h/CON.qiv", ">A\\B\\C.BMP"})
        seeds.emplace_back(s, s + std::strlen(s));
    int n = 0;
    for (const auto& s : seeds) {
        std::string file = (dir / ("seed" + std::to_string(n++))).string();
        std::FILE* f = std::fopen(file.c_str(), "wb");
        if (!f) return 1;
        std::fwrite(s.data(), 1, s.size(), f);
        std::fclose(f);
    }
    return 0;
}

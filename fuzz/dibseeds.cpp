// Seeds of fuzz_dib: small packed bitmaps of 1, 4, 8 and 24 bits, both row orders.
//   fuzz_seeds_dibseeds <dir>  ->  <dir>/dib/*
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

void put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i) v[at + i] = uint8_t(x >> (8 * i));
}

std::vector<uint8_t> seed(int width, int height, int bits) {
    const uint32_t colours = bits <= 8 ? (1u << bits) : 0;
    const size_t infoLength = 40 + 4 * colours;
    const int absH = height < 0 ? -height : height;
    const size_t row = ((size_t(width) * bits + 31) / 32) * 4;
    std::vector<uint8_t> v(2 + infoLength + row * absH);
    v[0] = uint8_t(infoLength);
    v[1] = uint8_t(infoLength >> 8);
    uint8_t* info = v.data() + 2;
    std::vector<uint8_t> hdr(40);
    put32(hdr, 0, 40);
    put32(hdr, 4, uint32_t(width));
    put32(hdr, 8, uint32_t(height));
    hdr[12] = 1;
    hdr[14] = uint8_t(bits);
    for (size_t i = 0; i < 40; ++i) info[i] = hdr[i];
    for (uint32_t c = 0; c < colours; ++c) {
        info[40 + 4 * c] = uint8_t(c * 37);
        info[41 + 4 * c] = uint8_t(c * 11);
        info[42 + 4 * c] = uint8_t(c * 5);
    }
    for (size_t i = 2 + infoLength; i < v.size(); ++i) v[i] = uint8_t(i * 13);
    return v;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const std::filesystem::path dir = std::filesystem::path(argv[1]) / "dib";
    std::filesystem::create_directories(dir);
    const int shapes[][3] = {{5, 3, 1}, {7, -2, 4}, {3, 4, 8}, {5, -3, 24}, {1, 1, 24}};
    int n = 0;
    for (const auto& s : shapes) {
        const std::vector<uint8_t> v = seed(s[0], s[1], s[2]);
        const std::string name = (dir / ("seed" + std::to_string(n++))).string();
        std::FILE* f = std::fopen(name.c_str(), "wb");
        if (!f) return 1;
        std::fwrite(v.data(), 1, v.size(), f);
        std::fclose(f);
    }
    return 0;
}

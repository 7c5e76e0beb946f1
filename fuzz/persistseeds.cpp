// Seeds of fuzz_persiststream: persisted streams of the control (plain and with
// inline data, records of every type, unknown and odd-length records), an
// inline data block, a "Qiv" stream and texture index records.
//   fuzz_seeds_persistseeds <dir>  ->  <dir>/persiststream/*
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

struct Out {
    std::vector<uint8_t> v;
    Out& u32(uint32_t x) {
        for (int k = 0; k < 4; ++k) v.push_back(uint8_t(x >> (8 * k)));
        return *this;
    }
    Out& text(const char* s) {
        for (; *s; ++s) v.push_back(uint8_t(*s)), v.push_back(0);
        return *this;
    }
    Out& str(uint32_t dispid, const char* s) {
        size_t n = 0;
        while (s[n]) ++n;
        return u32(dispid).u32(uint32_t(2 * n)).text(s);
    }
    Out& lng(uint32_t dispid, uint32_t x) { return u32(dispid).u32(4).u32(x); }
    Out& bol(uint32_t dispid, bool b) {
        u32(dispid).u32(2);
        v.push_back(b ? 0xFF : 0);
        v.push_back(b ? 0xFF : 0);
        return *this;
    }
    Out& end() { return u32(0xFFFFFFFFu).u32(0); }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    std::filesystem::path dir = std::filesystem::path(argv[1]) / "persiststream";
    std::filesystem::create_directories(dir);
    std::vector<std::vector<uint8_t>> seeds;
    seeds.push_back(Out().u32(1).u32(2540).u32(1270).end().v);
    seeds.push_back(Out().u32(1).u32(5000).u32(3000).lng(uint32_t(-501), 0xFF00FF).bol(uint32_t(-514), false)
                        .str(9, "http://host/objects/car.qiv").lng(13, 0x40800000).str(24, "DE").lng(34, 0x7FFF)
                        .bol(41, true).lng(46, 0x3F000000).lng(53, 7).bol(54, true).end().v);
    seeds.push_back(Out().u32(2).u32(12).u32(0x21766971).u32(0x31766951).u32(0).u32(100).u32(100).str(9, "x.qiv").end().v);
    seeds.push_back(Out().u32(1).u32(1).u32(1).u32(777).u32(6).u32(0).u32(0).bol(27, false).u32(9).u32(3).u32(0x00610062)
                        .u32(25).u32(2).u32(0).str(38, "").end().v);
    // Inline data block: class identifier, then the stream with kind 2.
    Out block;
    for (int i = 0; i < 16; ++i) block.v.push_back(0);
    block.u32(2).u32(4).u32(0x01020304).u32(10).u32(20).lng(25, 1000).end();
    seeds.push_back(block.v);
    seeds.push_back(Out().u32(8).u32(0x21766971).u32(0x12345678).v);
    Out index;
    for (int t = 0; t < 3; ++t) {
        index.u32(uint32_t(t));
        std::string name = "tex" + std::to_string(t) + ".bmp";
        for (size_t i = 0; i < 260; ++i) index.v.push_back(i < name.size() ? uint8_t(name[i]) : 0);
    }
    seeds.push_back(index.v);
    for (const char* s : {"3.926991", " -0.5e-3 ", "4294967295", "True", "1e39", "0,5"})
        seeds.push_back(std::vector<uint8_t>(s, s + std::string(s).size()));
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

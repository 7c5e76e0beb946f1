// Writes the seed corpora of the viewer control's fuzz targets:
//   fuzz_seeds_qivseeds <dir>  ->  <dir>/qivcontainer/*, <dir>/jpegglue/*, <dir>/loaddriver/*
#include <cstdio>
#include <filesystem>
#include <string>

#include "control/core/tests/jpeg_maker.h"
#include "control/core/tests/qiv_writer.h"
#include "scene/tests/bmp_builder.h"

namespace fs = std::filesystem;
using qivw::Bytes;

namespace {
void write(const fs::path& path, uint8_t a, uint8_t b, const Bytes& body, bool two) {
    Bytes out;
    out.push_back(a);
    if (two) out.push_back(b);
    out.insert(out.end(), body.begin(), body.end());
    if (std::FILE* f = std::fopen(path.string().c_str(), "wb")) {
        std::fwrite(out.data(), 1, out.size(), f);
        std::fclose(f);
    }
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <corpus dir>\n", argv[0]);
        return 2;
    }
    const fs::path root(argv[1]);
    std::error_code ec;
    for (const char* sub : {"qivcontainer", "jpegglue", "loaddriver"}) fs::create_directories(root / sub, ec);

    jpegmk::Options small;
    small.width = 24;
    small.height = 16;
    const Bytes baseline = jpegmk::make(small);
    small.progressive = true;
    const Bytes progressive = jpegmk::make(small);
    small.gray = true;
    const Bytes gray = jpegmk::make(small);
    bmpb::BmpDesc bd;
    bd.width = 5;
    bd.height = 3;
    bd.bits = 24;
    const Bytes bmp = bmpb::build(bd);

    qivw::Container full;
    full.preview = progressive;
    full.second = baseline;
    using T = qivw::Texture;
    full.chunks.push_back(qivw::textureTable(
        {{1, T::Colour, 0x112233, {}, 0}, {0, T::File, 0, bmp, 0}, {2, T::Shared, 0, {}, 1}}));
    full.chunks.push_back({0x15, Bytes(8, 1)});
    full.chunks.push_back(qivw::savedViews(1));
    full.chunks.push_back({0x101, baseline});
    full.chunks.push_back({0x14, Bytes(4, 0)});
    qivw::Container plain;
    qivw::Container stored = full;
    stored.method = 0;
    stored.gapBytes = 6;

    const std::pair<const char*, Bytes> containers[] = {
        {"full", qivw::build(full)}, {"plain", qivw::build(plain)}, {"stored", qivw::build(stored)}};
    for (const auto& c : containers) {
        write(root / "qivcontainer" / c.first, 0, 0, c.second, false);
        write(root / "qivcontainer" / (std::string(c.first) + "-pieces"), 3, 0, c.second, false);
        write(root / "loaddriver" / c.first, 4 | 8 | 16, 255, c.second, true);
        write(root / "loaddriver" / (std::string(c.first) + "-slow"), 2 | 4 | 128, 1, c.second, true);
        write(root / "loaddriver" / (std::string(c.first) + "-wait"), 4, 5, c.second, true);
    }
    write(root / "loaddriver" / "picture", 1, 3, progressive, true);
    const std::pair<const char*, Bytes> pictures[] = {
        {"baseline", baseline}, {"progressive", progressive}, {"gray", gray}, {"bmp", bmp}};
    for (const auto& p : pictures) {
        write(root / "jpegglue" / p.first, 0x7F, 0, p.second, false);
        write(root / "jpegglue" / (std::string(p.first) + "-pieces"), 2, 0, p.second, false);
        write(root / "jpegglue" / (std::string(p.first) + "-single"), 0x81, 0, p.second, false);
    }
    return 0;
}

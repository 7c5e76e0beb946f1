// Writes the seed corpora of the object file fuzz targets:
//   fuzz_pelseeds <dir>  ->  <dir>/pelload/*, <dir>/pelchunk/*
#include <cstdio>
#include <filesystem>
#include <string>

#include "scene/tests/pel_builder.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <corpus dir>\n", argv[0]);
        return 2;
    }
    fs::path root(argv[1]);
    std::error_code ec;
    for (const char* sub : {"pelload", "pelchunk"}) fs::create_directories(root / sub, ec);

    std::vector<std::pair<std::string, pelb::Bytes>> files;
    pelb::Object o = pelb::sample();
    files.push_back({"sample", pelb::build(o)});

    pelb::Object kvo = o;
    kvo.magic = "KVO V1.0";
    kvo.chunks.clear();
    files.push_back({"nochunks", pelb::build(kvo)});

    pelb::Object cont = o;
    cont.chunks.push_back({20, pelb::Bytes(24, 3)});
    cont.chunks.push_back({0x20000, pelb::Bytes(5, 4)});
    cont.preview = pelb::Bytes(16, 0x11);
    cont.outline = pelb::Bytes(8, 0x22);
    files.push_back({"continuation", pelb::build(cont)});

    pelb::Object pairs = o;  // textured faces of other areas than their material's
    pairs.areas = {"a", "b", "c"};
    for (int i = 0; i < 3; ++i) {
        pairs.faces[i].flags |= 4;
        pairs.faces[i].material = 0;
        pairs.faces[i].area = uint16_t(i);
    }
    pairs.faces[2].flags |= 16;
    files.push_back({"areapairs", pelb::build(pairs)});

    for (auto& [name, bytes] : files) {
        pelb::writeFile(root / "pelload" / name, bytes);
        pelb::writeFile(root / "pelchunk" / name, bytes);
    }
    // Text list seeds for the list operations: language, index byte, list.
    auto textSeed = [&](const std::string& name, const std::string& head, const pelb::Bytes& list) {
        pelb::Bytes b(head.begin(), head.end());
        b.insert(b.end(), list.begin(), list.end());
        pelb::writeFile(root / "pelchunk" / name, b);
    };
    textSeed("text1", std::string("EN") + char(0x81),
             pelb::textList({{{"DE", "eins"}, {"XX", "one"}}, {}, {{"EN", "two"}}}));
    textSeed("text2", std::string("FR") + char(0x42), pelb::textList({{}, {}, {{"EN", ""}}}, true));
    return 0;
}

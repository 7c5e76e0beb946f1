// Writes the seed corpora of the object file fuzz targets:
//   fuzz_pelseeds <dir>  ->  <dir>/pelload/*, <dir>/pelchunk/*, <dir>/animblock/*,
//                           <dir>/qivstream/*
#include <cstdio>
#include <filesystem>
#include <string>

#include "scene/tests/pel_builder.h"
#include "scene/tests/qivstream_encoder.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <corpus dir>\n", argv[0]);
        return 2;
    }
    fs::path root(argv[1]);
    std::error_code ec;
    for (const char* sub : {"pelload", "pelchunk", "animblock"}) fs::create_directories(root / sub, ec);

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

    pelb::Object empties = o;  // empty area names between others
    empties.areas = {"", "stone.bmp", ""};
    files.push_back({"emptyareas", pelb::build(empties)});

    pelb::Object unnamed = o;  // areas without name records, the count claims more
    unnamed.areas.clear();
    unnamed.areaNameBytes = 0;
    unnamed.counts[2] = 0x7FFFFFF0;
    files.push_back({"unnamedareas", pelb::build(unnamed)});

    // Animation blocks: a part-count byte, then the block.
    pelb::AnimBlockDef anim;
    anim.frameRate = 30;
    anim.tracks.push_back(pelb::positionTrack({{0, 0, 0}, {4, 0, 0}, {4, 2, 0}}, 1));
    anim.tracks.push_back(pelb::positionTrack({{0, 1, 0}, {0, 3, 0}}));
    anim.tracks[1].parent = 0;
    anim.tracks[1].has[1] = true;
    pelb::AnimListDef& turn = anim.tracks[1].lists[1];
    turn.dimension = 5;
    turn.spherical = 1;
    turn.keys.resize(2);
    turn.keys[0].value = {0, 0, 0, 1, 0};
    turn.keys[1] = {1, {0, 0, 0.7071f, 0.7071f, 7.9f}, 32 | 1, {0.5f}, {0, 0, 1, 0, 0}, {0, 0, 1, 0, 0}};
    anim.tracks[0].lists[0].keys[1].flags = 1 | 2 | 4;
    anim.tracks[0].lists[0].keys[1].params[0] = 0.25f;
    pelb::AnimDescDef walk;
    walk.name = "walk";
    walk.end = 2;
    walk.after = 2;
    walk.indices = {1, 2};
    pelb::AnimDescDef arm;
    arm.name = "arm";
    arm.flags = 4;
    arm.words[0] = 1, arm.words[1] = 1, arm.words[2] = 1, arm.words[3] = 1;
    anim.descs = {walk, arm};
    anim.partMap = {0, 1};
    auto animSeed = [&](const std::string& name, uint8_t partsByte, const pelb::Bytes& block) {
        pelb::Bytes b(1, partsByte);
        b.insert(b.end(), block.begin(), block.end());
        pelb::writeFile(root / "animblock" / name, b);
    };
    animSeed("twotracks", 2, pelb::animBlock(anim));
    pelb::AnimBlockDef one;
    one.tracks.push_back(pelb::positionTrack({{1, 2, 3}, {4, 5, 6}}));
    animSeed("onetrack", 0, pelb::animBlock(one));
    animSeed("empty", 1, pelb::animBlock(pelb::AnimBlockDef{}));

    pelb::Object animated = o;  // two parts, moved by the two-track block
    animated.chunks.insert(animated.chunks.begin(), {20, pelb::animBlock(anim)});
    files.push_back({"animated", pelb::build(animated)});

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
    // Object streams: the sample model in both face layouts, with and without the
    // identifier, with wide references and an edge section.
    fs::create_directories(root / "qivstream", ec);
    const qse::Model model = qse::sampleModel();
    auto streamSeed = [&](const std::string& name, const qse::Object& obj) {
        pelb::writeFile(root / "qivstream" / name, qse::encode(obj));
    };
    streamSeed("ordered", qse::encodeModel(model, qse::Layout::Ordered));
    streamSeed("unordered", qse::encodeModel(model, qse::Layout::Unordered, false));
    qse::Object wide = qse::encodeModel(model, qse::Layout::Ordered, true, true);
    wide.edgeValues = {0.5f, 1.5f, 2.5f};
    wide.gap = 3;
    streamSeed("wide", wide);
    qse::Object few = qse::encodeModel(model, qse::Layout::Ordered);
    few.areaNames = {'a', 0};  // fewer names than the count
    few.areaCount = 4;
    streamSeed("fewareanames", few);
    return 0;
}

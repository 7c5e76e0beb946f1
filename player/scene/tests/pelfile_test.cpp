// Object file reader: round trips against the test-side builder, record
// forms, corrupt files and the area/material pairing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "scene/anim.h"
#include "scene/contentlist.h"
#include "scene/engine.h"
#include "scene/pelchunk.h"
#include "scene/meshprep.h"
#include "scene/pelfile.h"
#include "scene/scene.h"
#include "scene/texture.h"
#include "scene/tests/pel_builder.h"

namespace {

using pelb::Bytes;

// One pelLoad of a file and its outcome; frees the content.
struct Load {
    int ok = 0;
    PelContent* c = nullptr;
    size_t bytes = 0;
    PelFileInfo info{};
    char name[100 + 8];
    char file[PEL_FILE_NAME_MAX];
    uint32_t level = 99;  // newest error level, 99 = none

    explicit Load(const std::string& path) {
        std::memset(name, 0x5A, sizeof name);
        errReset();
        ok = pelLoad(path.c_str(), file, name, &info, &c, &bytes);
        uint32_t line;
        char msg[500];
        if (errPop(&level, msg, nullptr, &line) == 0) level = 99;
    }
    ~Load() {
        if (c) pelFreeObject(&c);
    }
};

class PelFile : public ::testing::Test {
protected:
    void SetUp() override {
        errReset();
        pelResetReader();
        pelResetLanguage();
    }
    void TearDown() override { pelResetReader(); }
    std::string write(const Bytes& b, const std::string& name = "obj.pel") {
        auto p = tmp / name;
        pelb::writeFile(p, b);
        return p.string();
    }
    pelb::TempDir tmp{"file"};
};

TEST_F(PelFile, SampleLoadsEveryField) {
    pelb::Object o = pelb::sample();
    std::string path = write(pelb::build(o), "sample.pel");
    Load l(path);
    ASSERT_EQ(l.ok, 1);
    PelContent* c = l.c;
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(pelFirstObject(), c);  // registered

    EXPECT_STREQ(l.name, "Sample");
    EXPECT_EQ(l.info.geoOffset, 256u);
    EXPECT_EQ(l.info.callerValue, 0x1234u);
    EXPECT_EQ(l.info.faceCount, 3u);
    EXPECT_EQ(l.info.flags, 3u);
    EXPECT_EQ(l.info.areaNameBytes, 512u);
    EXPECT_FLOAT_EQ(l.info.sizeZ, 6.0f);

    EXPECT_EQ(c->vertexCount, 8u);
    EXPECT_EQ(c->faceCount, 3u);
    EXPECT_EQ(c->materialCount, 2u);
    EXPECT_EQ(c->areaCount, 2u);
    EXPECT_EQ(c->lightCount, 1u);
    EXPECT_EQ(c->partCount, 2u);
    EXPECT_EQ(c->vertexNormalCount, 2u);
    EXPECT_EQ(c->faceNormalCount, 3u);
    EXPECT_FLOAT_EQ(c->box.max.x, 2.0f);
    EXPECT_FLOAT_EQ(c->box.min.z, -3.0f);

    // Parts slice the arrays in order; a negative face count sets flag 1.
    EXPECT_EQ(c->parts[0].firstVertex, c->vertices);
    EXPECT_EQ(c->parts[0].firstFace, c->faces);
    EXPECT_EQ(c->parts[1].firstVertex, c->vertices + 5);
    EXPECT_EQ(c->parts[1].firstFace, c->faces + 2);
    EXPECT_EQ(c->parts[1].faceCount, 1u);
    EXPECT_EQ(c->parts[1].flags & PART_NEGATED_FACES, uint32_t(PART_NEGATED_FACES));
    EXPECT_EQ(c->parts[0].flags & PART_NEGATED_FACES, 0u);
    EXPECT_FLOAT_EQ(c->parts[1].box.min.x, -2.0f);
    EXPECT_EQ(c->faces[2].part, 1u);

    // Vertices: normals, flags only with the full 0x7E00 mark, u/v range.
    EXPECT_EQ(c->vertices[0].normal, c->vertexNormals + 1);
    EXPECT_EQ(c->vertices[1].normal, nullptr);
    EXPECT_EQ(c->vertices[1].flags, uint32_t(VTX_RELIGHT));
    EXPECT_EQ(c->vertices[2].flags, uint32_t(VTX_SMOOTH));
    EXPECT_EQ(c->vertices[3].flags, 0u);
    EXPECT_FLOAT_EQ(c->vertices[7].pos.z, 21.0f);
    EXPECT_FLOAT_EQ(c->vertices[4].u, 1000.0f);
    EXPECT_FLOAT_EQ(c->vertices[4].v, 0.0f);

    // Faces: indices, normals, open edges, out-of-range material/area become 0.
    const PelFace& q = c->faces[0];
    EXPECT_EQ(q.v[3], 3u);
    EXPECT_EQ(q.normal, c->faceNormals);
    EXPECT_FLOAT_EQ(q.dist, 1.5f);
    EXPECT_EQ(q.flags, 1 | 4 | 0x40 | 0x80 | 0x100);
    EXPECT_EQ(c->faces[1].flags, 0x40 | 0x80);
    EXPECT_EQ(c->faces[1].normal, c->faceNormals + 1);
    EXPECT_EQ(c->faces[1].material, 1);
    EXPECT_EQ(c->faces[1].area, 1);
    EXPECT_EQ(c->faces[2].material, 0);
    EXPECT_EQ(c->faces[2].area, 0);

    // Materials: flags cut to six bits, alpha above 0.9 dropped, area checked,
    // specular coefficients derived from the exponent.
    EXPECT_EQ(c->materials[0].flags, 1u | 16u);
    EXPECT_FLOAT_EQ(c->materials[1].alpha, 0.0f);
    EXPECT_EQ(c->materials[1].area, 0u);
    EXPECT_FLOAT_EQ(c->materials[0].specCoeff[0], -0.125f);
    EXPECT_FLOAT_EQ(c->materials[0].specCoeff[2], 8.0f);
    EXPECT_FLOAT_EQ(c->materials[1].specCoeff[0], 0.0f);
    EXPECT_FLOAT_EQ(c->lights[0].pos.y, 20.0f);
    EXPECT_FLOAT_EQ(c->lights[0].g, 0.5f);
    ASSERT_NE(c->areaNames, nullptr);
    EXPECT_STREQ(c->areaNames, "wood.bmp");
    EXPECT_STREQ(c->areaNames + 9, "stone.bmp");
    EXPECT_EQ(c->areaNames[19], 0);

    // Chunks applied and the kept buffers gone.
    ASSERT_NE(c->partWords, nullptr);
    EXPECT_EQ(c->partWords[1], 9u);
    EXPECT_EQ(c->textList1Size, o.chunks[0].data.size());
    EXPECT_EQ(c->textList2Size, o.chunks[1].data.size());
    char* text = nullptr;
    ASSERT_EQ(pelGetLangText(c->textList1, c->textList1Size, "DE", 1, 0, &text), 1);
    EXPECT_STREQ(text, "Teil eins");
    memFreeRefT(&text);
    for (uint32_t id : {20u, 21u, 0x10000u, 0x10001u}) EXPECT_EQ(pelKeptChunk(id, nullptr), nullptr);

    // The file name is what follows the last backslash (all of it without one).
    size_t cut = path.rfind('\\');
    EXPECT_EQ(std::string(l.file), cut == std::string::npos ? path : path.substr(cut + 1));
    char fileName[PEL_FILE_NAME_MAX];
    PelContent* none = nullptr;
    size_t bytes = 0;
    PelFileInfo info;
    EXPECT_EQ(pelLoad("C:\\objects\\none.pel", fileName, nullptr, &info, &none, &bytes), 0);
    EXPECT_STREQ(fileName, "none.pel");
}

TEST_F(PelFile, MagicsAndNoChunks) {
    for (const char* magic : {"PEL V1.0", "PEL V1.1", "KVO V1.0"}) {
        pelb::Object o = pelb::sample();
        o.magic = magic;
        o.chunks.clear();
        Load l(write(pelb::build(o)));
        ASSERT_EQ(l.ok, 1) << magic;
        EXPECT_EQ(l.c->textList1, nullptr);
        EXPECT_EQ(l.c->partWords, nullptr);
        EXPECT_EQ(l.c->trackCount, 0u);
    }
}

TEST_F(PelFile, RecordFormsFollowTheCounts) {
    // (vertices, faces) -> long vertex form, long face form
    struct Case {
        uint32_t vertices, faces;
        bool longVertex, longFace;
    } cases[] = {{65534, 65534, false, false}, {65535, 3, true, true}, {3, 65535, false, true}};
    for (const Case& k : cases) {
        pelb::Object o;
        o.materials.resize(1);
        o.faceNormals.resize(1);
        o.vertices.resize(k.vertices);
        for (uint32_t i = 0; i < k.vertices; ++i) o.vertices[i].x = float(i);
        o.faces.resize(k.faces);
        for (uint32_t i = 0; i < k.faces; ++i) {
            pelb::Face& f = o.faces[i];
            f.v[0] = 0;
            f.v[1] = i % k.vertices;
            f.v[2] = k.vertices - 1;
            for (uint32_t& n : f.nb) n = k.faces - 1 - i;
            f.dist = float(i);
        }
        pelb::Part p;
        p.vertexCount = k.vertices;
        p.faceCount = int32_t(k.faces);
        o.parts = {p};
        Bytes file = pelb::build(o);
        uint64_t expect = 256 + 64 + 40 + 64 + 12 + uint64_t(k.vertices) * (k.longVertex ? 26 : 24) +
                          uint64_t(k.faces) * (k.longFace ? 46 : 28);
        EXPECT_EQ(file.size(), expect);
        Load l(write(file));
        ASSERT_EQ(l.ok, 1) << k.vertices << " " << k.faces;
        const PelFace& last = l.c->faces[k.faces - 1];
        EXPECT_EQ(last.v[1], (k.faces - 1) % k.vertices);
        EXPECT_EQ(last.v[2], k.vertices - 1);
        EXPECT_EQ(last.nb[0], 0u);
        EXPECT_FLOAT_EQ(last.dist, float(k.faces - 1));
        EXPECT_FLOAT_EQ(l.c->vertices[k.vertices - 1].pos.x, float(k.vertices - 1));
    }
}

TEST_F(PelFile, QuadWithRepeatedVertexBecomesTriangle) {
    pelb::Object o = pelb::sample();
    pelb::Face& q = o.faces[0];
    q.v[0] = 4;  // (4, 1, 1, 3): entry 1 goes
    q.v[1] = 1;
    q.v[2] = 1;
    q.v[3] = 3;
    q.nb[0] = 1;
    q.nb[1] = 2;
    q.nb[2] = 0;
    q.nb[3] = 1;
    Load l(write(pelb::build(o)));
    ASSERT_EQ(l.ok, 1);
    const PelFace& f = l.c->faces[0];
    EXPECT_EQ(f.v[0], 4u);
    EXPECT_EQ(f.v[1], 1u);
    EXPECT_EQ(f.v[2], 3u);
    EXPECT_EQ(f.nb[0], 1u);
    EXPECT_EQ(f.nb[1], 0u);
    EXPECT_EQ(f.nb[2], 1u);
    EXPECT_EQ(f.flags & FACE_QUAD, 0);
    EXPECT_EQ(f.flags & (0x20 | 0x40 | 0x80), 0x40);  // edge 1 is now the open one
}

TEST_F(PelFile, ChecksumAcceptsStoredMinusOne) {
    Bytes file = pelb::build(pelb::sample());
    uint32_t sum = pelb::get32(file, 228);
    struct Case {
        uint32_t stored;
        int ok;
    } cases[] = {{sum, 1}, {sum + 1, 1}, {sum + 2, 0}, {sum - 1, 0}};
    for (const Case& k : cases) {
        pelb::set32(file, 228, k.stored);
        Load l(write(file));
        EXPECT_EQ(l.ok, k.ok) << k.stored - sum;
        if (!k.ok) {
            EXPECT_EQ(l.level, 4u);
        }
    }
}

// Every corruption gives 0 with its level, leaves nothing registered and no
// kept chunk behind (leaks show under the sanitizers).
TEST_F(PelFile, CorruptFilesAreRejected) {
    using ObjEdit = std::function<void(pelb::Object&)>;
    using RawEdit = std::function<void(Bytes&)>;
    struct Case {
        const char* what;
        ObjEdit obj;
        RawEdit raw;
        uint32_t level;
    } cases[] = {
        {"magic", nullptr, [](Bytes& b) { b[5] = 'X'; }, 3},
        {"magic length", nullptr, [](Bytes& b) { b[0] = 7; }, 3},
        {"length +1", nullptr, [](Bytes& b) { pelb::set32(b, 88, uint32_t(b.size() + 1)); }, 4},
        {"length -1", nullptr, [](Bytes& b) { pelb::set32(b, 88, uint32_t(b.size() - 1)); }, 4},
        {"header cut", nullptr, [](Bytes& b) { b.resize(200); }, 2},
        {"geometry beyond file", nullptr, [](Bytes& b) { pelb::set32(b, 224, uint32_t(b.size())); }, 4},
        {"geometry too short", nullptr, [](Bytes& b) { pelb::set32(b, 224, 63); }, 4},
        {"preview beyond file", nullptr,
         [](Bytes& b) {
             pelb::set32(b, 232, 300);
             pelb::set32(b, 236, 0xFFFFFF00u);
         },
         4},
        {"counts beyond block", [](pelb::Object& o) { o.counts[6] = 0x7FFFFFFF; }, nullptr, 4},
        {"count times size wraps", [](pelb::Object& o) { o.counts[1] = 0x04000001; }, nullptr, 4},
        {"area count beyond block", [](pelb::Object& o) { o.counts[2] = 0x01000000; }, nullptr, 4},
        {"face vertex", [](pelb::Object& o) { o.faces[1].v[2] = 8; }, nullptr, 3},
        {"quad fourth vertex", [](pelb::Object& o) { o.faces[0].v[3] = 60000; }, nullptr, 3},
        {"neighbour", [](pelb::Object& o) { o.faces[2].nb[1] = 3; }, nullptr, 3},
        {"face normal", [](pelb::Object& o) { o.faces[0].normal = 3; }, nullptr, 3},
        {"vertex normal", [](pelb::Object& o) { o.vertices[5].normal = 2; }, nullptr, 3},
        {"faces without materials", [](pelb::Object& o) { o.materials.clear(); }, nullptr, 3},
        {"part vertices", [](pelb::Object& o) { o.parts[1].vertexCount = 4; }, nullptr, 3},
        {"part faces", [](pelb::Object& o) { o.parts[1].faceCount = -2; }, nullptr, 3},
        {"part faces minimum", [](pelb::Object& o) { o.parts[1].faceCount = INT32_MIN; }, nullptr, 3},
        {"continuation total 2", [](pelb::Object& o) { o.continuation = true; },
         [](Bytes& b) { pelb::set32(b, 72 + 8, 2); }, 3},
        {"continuation beyond file", [](pelb::Object& o) { o.continuation = true; },
         [](Bytes& b) { pelb::set32(b, 72 + 8, 0x10000000); }, 4},
        {"continuation offset in header", [](pelb::Object& o) { o.continuation = true; },
         [](Bytes& b) { pelb::set32(b, 72 + 4, 16); }, 4},
    };
    for (const Case& k : cases) {
        pelb::Object o = pelb::sample();
        if (k.obj) k.obj(o);
        Bytes file = pelb::build(o);
        if (k.raw) k.raw(file);
        Load l(write(file));
        EXPECT_EQ(l.ok, 0) << k.what;
        EXPECT_EQ(l.level, k.level) << k.what;
        EXPECT_EQ(l.c, nullptr) << k.what;
        EXPECT_EQ(pelFirstObject(), nullptr) << k.what;
        for (uint32_t id : {20u, 21u, 0x10000u, 0x10001u}) EXPECT_EQ(pelKeptChunk(id, nullptr), nullptr) << k.what;
    }
    Load missing((tmp / "missing.pel").string());
    EXPECT_EQ(missing.ok, 0);
    EXPECT_EQ(missing.level, 2u);
}

// Alpha above 0.9 is dropped; 0.9 itself and below are kept as stored.
TEST_F(PelFile, AlphaAboveNineTenthsIsDropped) {
    const struct {
        float stored, loaded;
    } cases[] = {{0.9f, 0.9f}, {0.90001f, 0.0f}, {0.95f, 0.0f}, {0.5f, 0.5f}, {1.0f, 0.0f}, {0.0f, 0.0f}};
    for (const auto& k : cases) {
        pelb::Object o = pelb::sample();
        o.materials[0].alpha = k.stored;
        Load l(write(pelb::build(o)));
        ASSERT_EQ(l.ok, 1) << k.stored;
        EXPECT_EQ(l.c->materials[0].alpha, k.loaded) << k.stored;
    }
}

// A directory entry whose data lie past the end of the file leaves that chunk
// out without a message; the others are applied and the load goes on.
TEST_F(PelFile, ChunksPastTheEndAreLeftOut) {
    struct Case {
        const char* what;
        uint32_t at, value;  // header word to change
        bool texts1, texts2, partValues;
    } cases[] = {
        {"size past the end", 24 + 8, 0x7FFFFFFF, false, true, true},
        {"offset past the end", 40 + 4, 0xFFFFFFF0u, true, false, true},
        {"one byte too long", 56 + 8, 9, true, true, false},
    };
    for (const Case& k : cases) {
        Bytes file = pelb::build(pelb::sample());
        pelb::set32(file, k.at, k.value);
        Load l(write(file));
        ASSERT_EQ(l.ok, 1) << k.what;
        EXPECT_EQ(l.level, 99u) << k.what;
        EXPECT_EQ(l.c->textList1 != nullptr, k.texts1) << k.what;
        EXPECT_EQ(l.c->textList2 != nullptr, k.texts2) << k.what;
        EXPECT_EQ(l.c->partWords != nullptr, k.partValues) << k.what;
        if (k.partValues) {
            EXPECT_EQ(l.c->partWords[1], 9u) << k.what;
        }
        for (uint32_t id : {20u, 21u, 0x10000u, 0x10001u}) EXPECT_EQ(pelKeptChunk(id, nullptr), nullptr) << k.what;
    }
}

// Cutting the file anywhere (with the total length made to match) never passes.
TEST_F(PelFile, TruncationAtEveryOffset) {
    pelb::Object o = pelb::sample();
    o.chunks.push_back({20, Bytes(40, 1)});
    o.chunks.push_back({0x20000, Bytes(8, 2)});  // five chunks: a continuation table
    Bytes full = pelb::build(o);
    for (size_t n = 0; n < full.size(); ++n) {
        Bytes cut(full.begin(), full.begin() + long(n));
        if (n >= 92) pelb::set32(cut, 88, uint32_t(n));
        Load l(write(cut));
        ASSERT_EQ(l.ok, 0) << n;
        ASSERT_NE(l.level, 99u) << n;
    }
    Load whole(write(full));
    EXPECT_EQ(whole.ok, 1);
}

TEST_F(PelFile, ObjectNameLengthIsClamped) {
    pelb::Object o = pelb::sample();
    o.name = std::string(99, 'n');
    o.nameLength = 255;
    Load l(write(pelb::build(o)));
    ASSERT_EQ(l.ok, 1);
    EXPECT_EQ(std::strlen(l.name), 98u);
    for (size_t i = 100; i < sizeof l.name; ++i) EXPECT_EQ(uint8_t(l.name[i]), 0x5A) << i;
}

TEST_F(PelFile, AreaNamesSizedFromRecords) {
    // The header's byte count only says that names are present.
    for (int64_t claimed : {int64_t(1), int64_t(0x7FFFFFF0)}) {
        pelb::Object o = pelb::sample();
        o.areas = {std::string(200, 'a'), "b.bmp"};
        o.areaNameBytes = claimed;
        Load l(write(pelb::build(o)));
        ASSERT_EQ(l.ok, 1) << claimed;
        ASSERT_NE(l.c->areaNames, nullptr);
        EXPECT_EQ(std::string(l.c->areaNames), std::string(200, 'a'));
        EXPECT_STREQ(l.c->areaNames + 201, "b.bmp");
        EXPECT_LT(l.bytes, size_t(100000));
    }
    // A length byte of 255 in a 256-byte record reads at most 254 characters.
    pelb::Object o = pelb::sample();
    o.areas = {std::string(255, 'z')};
    Load l(write(pelb::build(o)));
    ASSERT_EQ(l.ok, 1);
    EXPECT_EQ(std::strlen(l.c->areaNames), 254u);
}

// Empty area names are names: walks go by the count and the text's length, and mesh
// preparation keeps every name.
TEST_F(PelFile, EmptyAreaNamesKeepTheNamesBehindThem) {
    pelb::Object o = pelb::sample();
    o.areas = {"", "stone.bmp", ""};
    Load l(write(pelb::build(o)));
    ASSERT_EQ(l.ok, 1);
    auto names = [](const PelContent* c) {
        std::vector<std::string> v;
        for (uint32_t a = 0; a < c->areaCount; ++a) {
            const char* n = pelAreaName(c, a);
            v.push_back(n ? n : "<none>");
        }
        return v;
    };
    const std::vector<std::string> expected = {"", "stone.bmp", ""};
    EXPECT_EQ(names(l.c), expected);
    uint32_t size = 0;
    ASSERT_EQ(pelConnectEdges(&l.c, &size, 0, 179.0f, 0, 0, 0, 0, nullptr, 0, nullptr, 1), 1);
    EXPECT_EQ(names(l.c), expected);
    const std::string text("\0stone.bmp\0\0\0", 13);
    ASSERT_EQ(pelAreaNamesSize(l.c), text.size());
    std::vector<char> buf(text.size() + 4, 'x');
    uint32_t count = 0;
    ASSERT_EQ(pelGetAreaNames(l.c, &count, buf.data(), text.size()), 1);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(std::string(buf.data(), text.size()), text);
    EXPECT_EQ(buf[text.size()], 'x');
}

// Without name records the areas are those that textured faces and materials name,
// whatever the block's count claims: nothing later asks for memory by the claim.
TEST_F(PelFile, AreaCountWithoutNamesFollowsTheTexturedFaces) {
    struct Case {
        int64_t claimed;
        bool textured;
        uint32_t areas;
    };
    const Case cases[] = {{0xFFFFFFF0, true, 4}, {2, true, 2}, {0x7FFFFFFF, false, 0}};
    for (const Case& k : cases) {
        pelb::Object o = pelb::sample();
        o.areas.clear();
        o.areaNameBytes = 0;
        o.counts[2] = k.claimed;
        if (k.textured) {
            o.faces[1].flags |= 4;
            o.faces[1].area = 3;
        } else {
            for (pelb::Face& f : o.faces) f.flags &= uint16_t(~4);
            for (pelb::Material& m : o.materials) m.flags &= ~1u;
        }
        Load l(write(pelb::build(o)));
        ASSERT_EQ(l.ok, 1) << k.claimed;
        EXPECT_EQ(l.c->areaCount, k.areas) << k.claimed;
        EXPECT_EQ(l.c->areaNames, nullptr);
        for (uint32_t i = 0; i < l.c->faceCount; ++i) EXPECT_LT(l.c->faces[i].area, std::max(k.areas, 1u));
        EXPECT_LT(l.bytes, size_t(100000));
    }
}

// Textured faces whose material belongs to another area get a copy of it.
TEST_F(PelFile, AreaMaterialPairs) {
    pelb::Object o = pelb::sample();
    o.areas = {"a", "b", "c"};
    o.materials.resize(4);
    o.materials[3].area = 0;
    o.materials[3].flags = 1;
    for (int i = 0; i < 3; ++i) {
        o.faces[i].flags |= 4;
        o.faces[i].material = 3;
    }
    o.faces[0].area = 2;
    o.faces[1].area = 1;
    o.faces[2].area = 2;
    o.faces[2].flags |= 16;
    Load l(write(pelb::build(o)));
    ASSERT_EQ(l.ok, 1);
    ASSERT_EQ(l.c->materialCount, 6u);
    // Pairs in area order: (1, 3) -> 4, (2, 3) -> 5.
    EXPECT_EQ(l.c->faces[1].material, 4);
    EXPECT_EQ(l.c->faces[0].material, 5);
    EXPECT_EQ(l.c->faces[2].material, 5);
    EXPECT_EQ(l.c->materials[4].area, 1u);
    EXPECT_EQ(l.c->materials[5].area, 2u);
    EXPECT_EQ(l.c->materials[5].flags, 1u | 2u);  // the mask face added the mask flag
}

// A textured face that names a missing material must not touch anything
// behind the material array (here the first part record).
TEST_F(PelFile, AreaMaterialsCheckTheMaterialIndex) {
    pelb::Object o = pelb::sample();
    o.areas.clear();
    o.materials.resize(1);
    o.materials[0].flags = 0;  // inconsistent: triggers the pairing
    o.faces[0].flags |= 4;
    o.faces[1].flags |= 4;
    o.faces[1].material = 1;  // the record behind the materials is part 0
    o.faces[2].flags |= 4;
    o.faces[2].material = 65535;
    for (pelb::Part& p : o.parts)
        for (float& f : p.box) f = 3.0f;
    Load l(write(pelb::build(o)));
    ASSERT_EQ(l.ok, 1);
    EXPECT_EQ(l.c->materialCount, 1u);
    EXPECT_EQ(l.c->materials[0].flags, 1u);
    for (uint32_t p = 0; p < 2; ++p) {
        EXPECT_FLOAT_EQ(l.c->parts[p].box.min.y, 3.0f) << p;
        EXPECT_FLOAT_EQ(l.c->parts[p].box.min.z, 3.0f) << p;
    }
    EXPECT_EQ(l.c->parts[0].vertexCount, 5u);
    EXPECT_EQ(l.c->faces[1].material, 0);
}

// New material indices must fit the faces' 16-bit field.
TEST_F(PelFile, AreaMaterialsBeyondSixteenBits) {
    pelb::Object o = pelb::sample();
    o.areas = {"a", "b", "c"};
    o.materials.resize(65535);
    o.materials[0].flags = 1;
    o.materials[0].area = 0;
    for (int i = 0; i < 3; ++i) {
        o.faces[i].flags |= 4;
        o.faces[i].material = 0;
    }
    o.faces[0].area = 1;
    o.faces[1].area = 2;
    Load l(write(pelb::build(o)));
    ASSERT_EQ(l.ok, 1);
    EXPECT_EQ(l.c->materialCount, 65536u);
    EXPECT_EQ(l.c->faces[0].material, 65535);
    EXPECT_EQ(l.c->materials[65535].area, 1u);
    EXPECT_EQ(l.c->faces[1].material, 0);  // no room: keeps its material
}

// A build that fails after new materials were made must not leave the block
// pointing at them.
TEST_F(PelFile, FailedBuildDropsTheNewMaterials) {
    pelb::Object o = pelb::sample();
    o.areas = {"a", "b"};
    o.materials.resize(1);
    o.materials[0].flags = 1;
    o.materials[0].area = 0;
    o.faces[0].flags |= 4;
    o.faces[0].area = 1;  // needs a material of area 1
    o.faces[1].normal = uint32_t(o.faceNormals.size());
    Bytes g = pelb::geometryBlock(o);
    PelGeoBlock b{};
    b.lightCount = uint32_t(o.lights.size());
    b.materialCount = 1;
    b.areaCount = 2;
    b.partCount = uint32_t(o.parts.size());
    b.vertexNormalCount = uint32_t(o.vertexNormals.size());
    b.faceNormalCount = uint32_t(o.faceNormals.size());
    b.vertexCount = uint32_t(o.vertices.size());
    b.faceCount = uint32_t(o.faces.size());
    b.vertexRecord = PEL_VERTEX_SHORT;
    b.faceRecord = PEL_FACE_SHORT;
    uint8_t* at = g.data() + PEL_GEO_HEADER_SIZE;
    auto take = [&](uint32_t count, uint32_t record) {
        uint8_t* p = at;
        at += size_t(count) * record;
        return p;
    };
    b.lights = take(b.lightCount, PEL_LIGHT_RECORD);
    uint8_t* const materials = b.materials = take(1, PEL_MATERIAL_RECORD);
    b.areaNames = take(2, PEL_AREA_RECORD);
    b.parts = take(b.partCount, PEL_PART_RECORD);
    b.vertexNormals = take(b.vertexNormalCount, PEL_NORMAL_RECORD);
    b.faceNormals = take(b.faceNormalCount, PEL_NORMAL_RECORD);
    b.vertices = take(b.vertexCount, PEL_VERTEX_SHORT);
    b.faces = take(b.faceCount, PEL_FACE_SHORT);
    ASSERT_EQ(size_t(at - g.data()), g.size());
    PelFileInfo info{};
    info.areaNameBytes = 4;
    PelContent* c = nullptr;
    size_t bytes = 0;
    EXPECT_EQ(pelBuildContent(&b, &info, &c, &bytes), 0);
    EXPECT_EQ(c, nullptr);
    EXPECT_TRUE(b.materials == nullptr || b.materials == materials);
}

TEST_F(PelFile, ApplyChunk) {
    pelb::Object o = pelb::sample();
    o.chunks.clear();
    Load l(write(pelb::build(o)));
    ASSERT_EQ(l.ok, 1);
    PelContent* c = l.c;
    uint8_t words[8] = {1, 0, 0, 0, 2, 0, 0, 0};
    EXPECT_EQ(pelApplyChunk(nullptr, 21, 8, words), 0);
    EXPECT_EQ(pelApplyChunk(nullptr, 21, 0, nullptr), 1);
    EXPECT_EQ(pelApplyChunk(c, 21, 0, words), 1);
    EXPECT_EQ(pelApplyChunk(c, 0x30000, 8, words), 0);
    EXPECT_EQ(pelApplyChunk(c, 21, 4, words), 0);  // not 4 x part count
    EXPECT_EQ(c->partWords, nullptr);
    EXPECT_EQ(pelApplyChunk(c, 21, 8, words), 1);
    EXPECT_EQ(c->partWords[1], 2u);

    // Text list 1 names the sub-animations behind the part names (110 characters).
    c->descs = static_cast<AnimDesc*>(memAllocZ(2 * sizeof(AnimDesc)));
    c->descCount = 2;
    std::strcpy(c->descs[1].name, "old");
    Bytes list = pelb::textList({{}, {}, {{"XX", std::string(120, 'w')}}, {{"FR", "nur"}}});
    EXPECT_EQ(pelApplyChunk(c, 0x10000, uint32_t(list.size()), list.data()), 1);
    EXPECT_EQ(std::string(c->descs[0].name), std::string(110, 'w'));
    EXPECT_STREQ(c->descs[1].name, "old");
}

// Dropping a content's animation clears what its nodes point at.
TEST_F(PelFile, ClearingAnimationClearsNodePointers) {
    pelb::Object o = pelb::sample();
    Load l(write(pelb::build(o)));
    ASSERT_EQ(l.ok, 1);
    PelContent* c = l.c;
    c->trackCount = 2;
    c->tracks = static_cast<AnimTrack*>(memAllocZ(2 * sizeof(AnimTrack)));
    c->descCount = 1;
    c->descs = static_cast<AnimDesc*>(memAllocZ(sizeof(AnimDesc)));
    c->trackIndex = static_cast<uint32_t*>(memAllocZ(2 * sizeof(uint32_t)));
    ScnNode node{};
    ScnPart parts[2]{};
    parts[0].track = &c->tracks[1];
    parts[1].track = &c->tracks[0];
    node.parts = parts;
    node.desc = &c->descs[0];
    c->firstNode = c->lastNode = &node;
    pelClearAnimation(c);
    EXPECT_EQ(node.desc, nullptr);
    EXPECT_EQ(parts[0].track, nullptr);
    EXPECT_EQ(parts[1].track, nullptr);
    EXPECT_EQ(c->tracks, nullptr);
    EXPECT_EQ(c->descs, nullptr);
    EXPECT_EQ(c->trackCount, 0u);
    c->firstNode = c->lastNode = nullptr;
}

TEST_F(PelFile, AnimationChunkIsKeptAndFreed) {
    pelb::Object o = pelb::sample();
    o.chunks.push_back({20, Bytes(32, 7)});
    Load l(write(pelb::build(o)));
    ASSERT_EQ(l.ok, 1);
    EXPECT_EQ(l.c->trackCount, 0u);
    EXPECT_EQ(pelKeptChunk(20, nullptr), nullptr);
    EXPECT_EQ(l.c->partWords[0], 7u);  // the other chunks still applied
}

TEST_F(PelFile, ReadFileKeepsOnlyOptedChunks) {
    std::string path = write(pelb::build(pelb::sample()));
    char name[100];
    PelFileInfo info;
    ASSERT_EQ(pelSetLoadOption(21, 1), 1);
    EXPECT_EQ(pelSetLoadOption(22, 1), 0);
    ASSERT_EQ(pelReadFile(path.c_str(), name, &info), 1);
    uint32_t size = 0;
    const uint8_t* d = pelKeptChunk(21, &size);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(d[0], 7);
    EXPECT_EQ(pelKeptChunk(0x10000, nullptr), nullptr);
    // A second read does not keep the first one's buffers.
    pelSetLoadOption(21, 0);
    ASSERT_EQ(pelReadFile(path.c_str(), name, &info), 1);
    EXPECT_EQ(pelKeptChunk(21, nullptr), nullptr);

    Bytes whole = pelb::readFile(path);
    Bytes header(whole.begin(), whole.begin() + 256);
    EXPECT_EQ(pelParseHeader(header.data(), name, &info), 1);
    EXPECT_STREQ(name, "Sample");
    header[3] = 'Q';
    EXPECT_EQ(pelParseHeader(header.data(), name, &info), 0);
}

}  // namespace

namespace {

// A grid of n x n vertices in two parts, long or short forms by its size; open edges.
pelb::Object gridObject(uint32_t n, uint32_t vertexNormals) {
    pelb::Object o;
    o.magic = n * n > 65534 ? "PEL V1.1" : "PEL V1.0";
    o.materials.resize(2);
    o.materials[1].flags = 1;
    o.areas = {"wood"};
    o.faceNormals.resize(3);
    o.vertexNormals.resize(vertexNormals);
    for (uint32_t y = 0; y < n; ++y)
        for (uint32_t x = 0; x < n; ++x) {
            pelb::Vertex v;
            v.x = float(x), v.y = float(y), v.z = float((x * y) % 5);
            v.u = float(x) / float(n), v.v = float(y) * 0.5f;
            v.normal = vertexNormals ? (x + y) % vertexNormals : 65535;
            v.flags = (x % 3 == 0) ? 0x7E30 : 0;
            o.vertices.push_back(v);
        }
    for (uint32_t y = 0; y + 1 < n; ++y)
        for (uint32_t x = 0; x + 1 < n; ++x) {
            const uint32_t a = y * n + x, self = uint32_t(o.faces.size());
            pelb::Face f;
            f.dist = float(x) * 0.25f;
            f.v[0] = a, f.v[1] = a + 1, f.v[2] = a + n + 1, f.v[3] = a + n;
            f.flags = 1 | ((x % 4 == 0) ? 4 : 0);
            f.material = (x % 4 == 0) ? 1 : 0;
            f.normal = x % 3;
            for (uint32_t& nb : f.nb) nb = self;
            o.faces.push_back(f);
        }
    pelb::Part p0, p1;
    p0.vertexCount = uint32_t(o.vertices.size()) / 2;
    p0.faceCount = int32_t(o.faces.size()) / 3;
    p1.vertexCount = uint32_t(o.vertices.size()) - p0.vertexCount;
    p1.faceCount = -(int32_t(o.faces.size()) - p0.faceCount);
    o.parts = {p0, p1};
    return o;
}

void expectSameContent(const PelContent* a, const PelContent* b) {
    auto off = [](const void* p, const void* base) { return p ? static_cast<const uint8_t*>(p) - static_cast<const uint8_t*>(base) : -1; };
    ASSERT_EQ(a->vertexCount, b->vertexCount);
    ASSERT_EQ(a->faceCount, b->faceCount);
    ASSERT_EQ(a->partCount, b->partCount);
    ASSERT_EQ(a->materialCount, b->materialCount);
    ASSERT_EQ(a->lightCount, b->lightCount);
    ASSERT_EQ(a->areaCount, b->areaCount);
    EXPECT_EQ(0, std::memcmp(&a->box, &b->box, sizeof a->box));
    for (uint32_t i = 0; i < a->partCount; ++i) {
        const PelPart &p = a->parts[i], &q = b->parts[i];
        EXPECT_EQ(0, std::memcmp(&p.box, &q.box, sizeof p.box)) << i;
        EXPECT_EQ(p.vertexCount, q.vertexCount);
        EXPECT_EQ(p.faceCount, q.faceCount);
        EXPECT_EQ(p.flags, q.flags);
        EXPECT_EQ(off(p.firstVertex, a), off(q.firstVertex, b));
        EXPECT_EQ(off(p.firstFace, a), off(q.firstFace, b));
    }
    for (uint32_t i = 0; i < a->vertexCount; ++i) {
        const PelVertex &v = a->vertices[i], &w = b->vertices[i];
        ASSERT_TRUE(std::memcmp(&v.pos, &w.pos, sizeof v.pos) == 0 && v.u == w.u && v.v == w.v &&
                    v.flags == w.flags && off(v.normal, a) == off(w.normal, b))
            << "vertex " << i;
    }
    for (uint32_t i = 0; i < a->faceCount; ++i) {
        const PelFace &f = a->faces[i], &g = b->faces[i];
        ASSERT_TRUE(std::memcmp(f.v, g.v, sizeof f.v) == 0 && std::memcmp(f.nb, g.nb, sizeof f.nb) == 0 &&
                    f.dist == g.dist && f.part == g.part && f.material == g.material && f.area == g.area &&
                    f.flags == g.flags && off(f.normal, a) == off(g.normal, b))
            << "face " << i;
    }
    EXPECT_EQ(0, std::memcmp(a->materials, b->materials, sizeof(MatInput) * a->materialCount));
    if (a->lightCount) EXPECT_EQ(0, std::memcmp(a->lights, b->lights, sizeof(PelLight) * a->lightCount));
    EXPECT_EQ(a->areaNames == nullptr, b->areaNames == nullptr);
    EXPECT_EQ(off(a->areaNames, a), off(b->areaNames, b));
}

}  // namespace

// The reader takes the geometry block from the file in pieces straight into the content;
// what it builds is what decoding the block in memory builds, on every road.
TEST_F(PelFile, ReadingInPiecesEqualsDecodingTheBlock) {
    struct Case {
        const char* what;
        pelb::Object obj;
        int trailingFaces;  // face records left behind the counted ones
    };
    pelb::Object pairs = pelb::sample();
    pairs.areas = {"a", "b"};
    pairs.materials.resize(4);
    pairs.materials[3].flags = 1;
    pairs.faces[0].flags |= 4;
    pairs.faces[0].material = 3;
    pairs.faces[0].area = 1;
    std::vector<Case> cases;
    cases.push_back({"the sample", pelb::sample(), 0});
    cases.push_back({"faces whose materials get copies per area", pairs, 0});
    cases.push_back({"short forms, several pieces", gridObject(200, 7), 0});
    cases.push_back({"long forms, many pieces", gridObject(400, 0), 0});
    cases.push_back({"records behind the counted faces", gridObject(120, 2), 5});
    for (Case& k : cases) {
        SCOPED_TRACE(k.what);
        if (k.trailingFaces) {
            k.obj.counts[7] = int64_t(k.obj.faces.size()) - k.trailingFaces;
            k.obj.parts[1].faceCount += k.trailingFaces;  // the parts cover the counted faces
        }
        const Bytes file = pelb::build(k.obj);
        Load l(write(file));
        ASSERT_EQ(l.ok, 1);
        ASSERT_EQ(l.level, 99u);
        PelContent* decoded = nullptr;
        size_t bytes = 0;
        ASSERT_EQ(pelDecodeGeometry(file.data() + l.info.geoOffset, &l.info, &decoded, &bytes), 1);
        EXPECT_EQ(bytes, l.bytes);
        expectSameContent(l.c, decoded);
        pelFreeObject(&decoded);
    }
}

// A wrong checksum is what a block with a wrong index and a wrong sum reports, whichever
// record the index is in.
TEST_F(PelFile, ChecksumComesBeforeWrongIndices) {
    pelb::Object o = gridObject(200, 3);
    const struct {
        const char* what;
        std::function<void(pelb::Object&)> edit;
    } cases[] = {{"vertex normal", [](pelb::Object& x) { x.vertices[30000].normal = 9; }},
                 {"face vertex", [](pelb::Object& x) { x.faces[39000].v[2] = 65000; }}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        pelb::Object bad = o;
        k.edit(bad);
        Bytes file = pelb::build(bad);
        {
            Load l(write(file));
            EXPECT_EQ(l.ok, 0);
            EXPECT_EQ(l.level, 3u);
        }
        pelb::set32(file, 228, pelb::get32(file, 228) + 7);
        Load l(write(file));
        EXPECT_EQ(l.ok, 0);
        EXPECT_EQ(l.level, 4u);
    }
}

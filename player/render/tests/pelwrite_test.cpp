// Object file writer: written objects read back through the reader with the same content
// (mirrored in x and y about the box centre), header fields, texts and failure handling.
#include "scene/pelwrite.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "render/fzbuffer.h"
#include "render/renderer.h"
#include "scene/contentlist.h"
#include "scene/engine.h"
#include "scene/material.h"
#include "scene/pelchunk.h"
#include "scene/pelfile.h"
#include "scene/scene.h"
#include "scene/tests/pel_builder.h"
#include "scene/tests/pelwrite_fixture.h"
#include "scene/texture.h"

namespace {

using pelb::Bytes;

class PelWrite : public ::testing::Test {
protected:
    void SetUp() override {
        errReset();
        pelResetReader();
        pelResetLanguage();
        matReset();
        fzResetState();
        scnResetRenderer();
    }
    void TearDown() override { pelResetReader(); }
    std::string put(const pelb::Object& o, const std::string& name) {
        const auto p = tmp / name;
        pelb::writeFile(p, pelb::build(o));
        return p.string();
    }
    std::string path(const std::string& name) { return (tmp / name).string(); }
    pelb::TempDir tmp{"write"};
};

uint32_t rd32(const Bytes& b, size_t at) { return pelb::get32(b, at); }
float rdf(const Bytes& b, size_t at) {
    uint32_t w = rd32(b, at);
    float f;
    std::memcpy(&f, &w, 4);
    return f;
}
std::string headerName(const Bytes& b) { return std::string(reinterpret_cast<const char*>(&b[121]), b[120]); }

void expectNear(const Vec3& a, const Vec3& b, const char* what, uint32_t index) {
    EXPECT_NEAR(a.x, b.x, 1e-4f) << what << " " << index;
    EXPECT_NEAR(a.y, b.y, 1e-4f) << what << " " << index;
    EXPECT_NEAR(a.z, b.z, 1e-4f) << what << " " << index;
}
Vec3 mirrored(const Vec3& v) { return Vec3{-v.x, -v.y, v.z}; }

// Every point of every face lies on the face's plane (normal . point = plane value).
void expectPlanar(const PelContent* c) {
    for (uint32_t i = 0; i < c->faceCount; ++i) {
        const PelFace& f = c->faces[i];
        const int n = (f.flags & FACE_QUAD) ? 4 : 3;
        for (int k = 0; k < n; ++k) {
            const Vec3& p = c->vertices[f.v[k]].pos;
            const Vec3& q = f.normal->normal;
            EXPECT_NEAR(q.x * p.x + q.y * p.y + q.z * p.z, f.dist, 1e-3f) << "face " << i << " vertex " << k;
        }
    }
}

// b is a read back after writing a: same content, mirrored in x and y.
void expectMirroredCopy(const PelContent* a, const PelContent* b) {
    ASSERT_EQ(a->vertexCount, b->vertexCount);
    ASSERT_EQ(a->faceCount, b->faceCount);
    ASSERT_EQ(a->partCount, b->partCount);
    ASSERT_EQ(a->materialCount, b->materialCount);
    ASSERT_EQ(a->lightCount, b->lightCount);
    ASSERT_EQ(a->vertexNormalCount, b->vertexNormalCount);
    ASSERT_EQ(a->faceNormalCount, b->faceNormalCount);
    for (uint32_t i = 0; i < a->vertexCount; ++i) {
        const PelVertex &va = a->vertices[i], &vb = b->vertices[i];
        expectNear(mirrored(va.pos), vb.pos, "vertex", i);
        EXPECT_EQ(va.u, vb.u);
        EXPECT_EQ(va.v, vb.v);
        EXPECT_EQ(va.flags & (VTX_RELIGHT | VTX_SMOOTH), vb.flags & (VTX_RELIGHT | VTX_SMOOTH)) << i;
        const bool normal = va.normal && !(va.flags & VTX_SMOOTH);
        ASSERT_EQ(normal, vb.normal != nullptr) << i;
        if (normal) {
            EXPECT_EQ(va.normal - a->vertexNormals, vb.normal - b->vertexNormals);
            expectNear(mirrored(va.normal->normal), vb.normal->normal, "vertex normal", i);
        }
    }
    for (uint32_t i = 0; i < a->faceCount; ++i) {
        const PelFace &fa = a->faces[i], &fb = b->faces[i];
        const int n = (fa.flags & FACE_QUAD) ? 4 : 3;
        for (int k = 0; k < n; ++k) {
            EXPECT_EQ(fa.v[k], fb.v[k]) << i;
            EXPECT_EQ(fa.nb[k], fb.nb[k]) << i;
        }
        const uint16_t cached = FACE_FRONT_CACHED | FACE_FACING_DECIDED;  // the renderer's marks
        EXPECT_EQ(fa.flags & ~cached, fb.flags & ~cached) << i;
        EXPECT_EQ(fa.material, fb.material) << i;
        EXPECT_EQ(fa.part, fb.part) << i;
        EXPECT_EQ(fa.normal - a->faceNormals, fb.normal - b->faceNormals) << i;
        expectNear(mirrored(fa.normal->normal), fb.normal->normal, "face normal", i);
        EXPECT_NEAR(fa.dist, fb.dist, 1e-4f) << i;
    }
    for (uint32_t i = 0; i < a->partCount; ++i) {
        EXPECT_EQ(a->parts[i].vertexCount, b->parts[i].vertexCount);
        EXPECT_EQ(a->parts[i].faceCount, b->parts[i].faceCount);
        EXPECT_EQ(a->parts[i].flags & PART_NEGATED_FACES, b->parts[i].flags & PART_NEGATED_FACES);
    }
    for (uint32_t i = 0; i < a->materialCount; ++i) {
        const MatInput &ma = a->materials[i], &mb = b->materials[i];
        EXPECT_EQ(0, std::memcmp(ma.colDifuse, mb.colDifuse, sizeof ma.colDifuse));
        EXPECT_EQ(0, std::memcmp(ma.colSpecular, mb.colSpecular, sizeof ma.colSpecular));
        EXPECT_EQ(ma.alpha, mb.alpha);
        EXPECT_EQ(ma.coAmbient, mb.coAmbient);
        EXPECT_EQ(ma.coDifuse, mb.coDifuse);
        EXPECT_EQ(ma.coSpecular, mb.coSpecular);
        EXPECT_EQ(ma.specExp, mb.specExp);
        EXPECT_EQ(ma.flags, mb.flags);
    }
    for (uint32_t i = 0; i < a->lightCount; ++i) {
        EXPECT_EQ(a->lights[i].r, b->lights[i].r);
        EXPECT_EQ(a->lights[i].b, b->lights[i].b);
        expectNear(mirrored(a->lights[i].pos), b->lights[i].pos, "light", i);
    }
    EXPECT_NEAR(a->box.max.x, b->box.max.x, 1e-4f);
    EXPECT_NEAR(a->box.max.y, b->box.max.y, 1e-4f);
    EXPECT_NEAR(a->box.max.z, b->box.max.z, 1e-4f);
}

std::vector<std::string> areaNames(const PelContent* c) {
    std::vector<std::string> out;
    for (const char* p = c->areaNames; p && *p; p += std::strlen(p) + 1) out.push_back(p);
    return out;
}

TEST_F(PelWrite, RoundTripKeepsContentTextsAndHeader) {
    Loaded first(put(gridObject(4, 3), "in.pel"));
    ASSERT_TRUE(first.ok);
    const std::string out = path("out.pel");
    Vec3 centre{9, 9, 9};
    ASSERT_EQ(pelWriteFile(0, out.c_str(), first.node, nullptr, &centre, 0, nullptr), 1);
    expectNear(centre, Vec3{0, 0, 0}, "centre", 0);
    EXPECT_TRUE(first.node->flags & NODE_CHANGED);
    EXPECT_FALSE(std::filesystem::exists(out + ".~new"));

    const Bytes file = pelb::readFile(out);
    ASSERT_GE(file.size(), 256u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&file[1]), file[0]), "PEL V1.0");
    EXPECT_EQ(rd32(file, PEL_TOTAL_OFFSET), file.size());
    EXPECT_EQ(rd32(file, 92), 1u | 2u | 64u | 4u | 8u | 32u);  // lights, areas, alpha, default switches
    EXPECT_EQ(headerName(file), out);
    EXPECT_EQ(rd32(file, 112), 14u);
    EXPECT_EQ(rdf(file, 96), 4.0f);
    EXPECT_EQ(rdf(file, 100), 3.0f);
    // Area names: "Wood.bmp", "wood.BMP", "Stone": (8 + 2) + (8 + 2) + (5 + 2) + 1.
    EXPECT_EQ(rd32(file, 116), 28u);
    // Preview picture behind the geometry, then the outline.
    const uint32_t geoEnd = rd32(file, 220) + rd32(file, 224);
    EXPECT_EQ(rd32(file, 232), geoEnd);
    EXPECT_EQ(rd32(file, 236), SCN_PREVIEW_BMP_BYTES);
    EXPECT_EQ(file[geoEnd], 'B');
    EXPECT_EQ(pelb::byteSum(file, rd32(file, 232), SCN_PREVIEW_BMP_BYTES), rd32(file, 240));
    const uint32_t oo = rd32(file, 244), os = rd32(file, 248);
    ASSERT_EQ(oo, geoEnd + SCN_PREVIEW_BMP_BYTES);
    const uint32_t lines = rd32(file, oo), points = rd32(file, oo + 4);
    EXPECT_EQ(os, 8 + 2 * lines + 8 * points);
    EXPECT_EQ(pelb::byteSum(file, oo, os), rd32(file, 252));
    // The grid faces up: its rim (mirrored) is the outline; every point lies on it.
    ASSERT_GT(points, 0u);
    for (uint32_t i = 0; i < points; ++i) {
        const float x = rdf(file, oo + 8 + 2 * lines + 8 * i), y = rdf(file, oo + 12 + 2 * lines + 8 * i);
        EXPECT_TRUE(std::fabs(std::fabs(x) - 2) < 1e-4f || std::fabs(std::fabs(y) - 1.5f) < 1e-4f) << x << "," << y;
    }

    Loaded second(out);
    ASSERT_TRUE(second.ok);
    expectMirroredCopy(first.c, second.c);
    expectPlanar(second.c);
    EXPECT_EQ(areaNames(second.c), (std::vector<std::string>{"Wood.bmp", "wood.BMP", "Stone"}));
    for (uint32_t i = 0; i < first.c->faceCount; ++i) EXPECT_EQ(second.c->faces[i].area, first.c->faces[i].area);
    EXPECT_EQ(second.c->materials[0].area, 0u);
    EXPECT_EQ(second.c->materials[2].area, 2u);
    ASSERT_EQ(second.c->textList1Size, first.c->textList1Size);
    EXPECT_EQ(0, std::memcmp(second.c->textList1, first.c->textList1, first.c->textList1Size));
    ASSERT_EQ(second.c->textList2Size, first.c->textList2Size);
    EXPECT_EQ(0, std::memcmp(second.c->textList2, first.c->textList2, first.c->textList2Size));

    // Written twice the object is back in its own frame: the same geometry block as the first write.
    const std::string again = path("again.pel"), third = path("third.pel");
    ASSERT_EQ(pelWriteFile(0, again.c_str(), second.node, nullptr, nullptr, 0, nullptr), 1);
    Loaded back(again);
    ASSERT_TRUE(back.ok);
    expectMirroredCopy(second.c, back.c);
    ASSERT_EQ(pelWriteFile(0, third.c_str(), back.node, nullptr, nullptr, 0, nullptr), 1);
    const Bytes thirdFile = pelb::readFile(third);
    ASSERT_EQ(rd32(thirdFile, 224), rd32(file, 224));
    EXPECT_EQ(0, std::memcmp(&thirdFile[256], &file[256], rd32(file, 224)));
}

// The renderer makes the preview; a writer without its preview maker leaves the preview out
// and the outline follows the geometry.
TEST_F(PelWrite, WithoutThePreviewMakerThePreviewIsLeftOut) {
    Loaded first(put(gridObject(4, 3), "in.pel"));
    ASSERT_TRUE(first.ok);
    const std::string out = path("out.pel");
    pelSetPreviewRenderer(nullptr);
    const int written = pelWriteFile(0, out.c_str(), first.node, nullptr, nullptr, 0, nullptr);
    pelSetPreviewRenderer(pelRenderPreview);
    ASSERT_EQ(written, 1);
    const Bytes file = pelb::readFile(out);
    ASSERT_GE(file.size(), 256u);
    EXPECT_EQ(rd32(file, 232), 0u);
    EXPECT_EQ(rd32(file, 236), 0u);
    EXPECT_EQ(rd32(file, 244), rd32(file, 220) + rd32(file, 224));
    Loaded second(out);
    EXPECT_TRUE(second.ok);
}

TEST_F(PelWrite, WriteInfoNamesAndAreaMerging) {
    Loaded obj(put(gridObject(2, 2), "in.pel"));
    ASSERT_TRUE(obj.ok);
    const std::string out = path("out.pel");
    const char* infoAreas[] = {"Brick", "BRICK", "Tile"};
    PelWriteInfo info{0xABCD, "My object", infoAreas, {1, 0, 1, 0, 1}};
    ASSERT_EQ(pelWriteFile(1, out.c_str(), obj.node, &info, nullptr, 0, nullptr), 1);
    Bytes file = pelb::readFile(out);
    EXPECT_EQ(rd32(file, 108), 0xABCDu);
    EXPECT_EQ(rd32(file, 92), 1u | 2u | 64u | 4u | 16u | 128u);
    EXPECT_EQ(headerName(file), "My object");
    {
        Loaded back(out);
        ASSERT_TRUE(back.ok);
        EXPECT_EQ(areaNames(back.c), (std::vector<std::string>{"Brick", "Tile"}));
        // Faces of the second area now use the first one's record; "Tile" moved to index 1.
        for (uint32_t i = 0; i < obj.c->faceCount; ++i) {
            if (!(obj.c->faces[i].flags & FACE_TEXTURED)) continue;
            const uint16_t a = obj.c->faces[i].area;
            EXPECT_EQ(back.c->faces[i].area, a == 2 ? 1 : 0) << i;
        }
        EXPECT_EQ(back.c->materials[2].area, 1u);
    }

    // Texture names are the next source; merging is without regard to letter case.
    TexRecord* tex[3] = {};
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(texAllocRecord(&tex[i]));
    texSetName(tex[0], "a.bmp", nullptr, 0);
    texSetName(tex[1], "A.BMP", nullptr, 0);
    {  // the node goes before its textures
        Loaded textured(put(gridObject(2, 2), "tex.pel"), nullptr, tex);
        ASSERT_TRUE(textured.ok);
        struct Case {
            int merge;
            std::vector<std::string> names;
        };
        // The third texture has no name: the name stored with the content stands in.
        const Case cases[] = {{0, {"a.bmp", "A.BMP", "Stone"}}, {1, {"a.bmp", "Stone"}}};
        for (const Case& c : cases) {
            ASSERT_EQ(pelWriteFile(c.merge, out.c_str(), textured.node, nullptr, nullptr, 0, nullptr), 1);
            Loaded back(out);
            ASSERT_TRUE(back.ok);
            EXPECT_EQ(areaNames(back.c), c.names) << c.merge;
        }
    }
    for (TexRecord*& t : tex) texFree(&t);

    // Part names given by the caller replace the text list when they fit the part count.
    const char* names[] = {"Floor", nullptr};
    ASSERT_EQ(pelWriteFile(0, out.c_str(), obj.node, nullptr, nullptr, 2, names), 1);
    {
        Loaded back(out);
        ASSERT_TRUE(back.ok);
        const std::string list(back.c->textList1, back.c->textList1Size);
        EXPECT_EQ(list, std::string("XXFloor\x01\x00\x01\x00", 11));
    }
    ASSERT_EQ(pelWriteFile(0, out.c_str(), obj.node, nullptr, nullptr, 1, names), 1);
    Loaded back(out);
    ASSERT_TRUE(back.ok);
    EXPECT_EQ(back.c->textList1, nullptr);
    EXPECT_NE(back.c->textList2, nullptr);
}

TEST_F(PelWrite, RecordFormsAtTheShortLimit) {
    struct Case {
        uint32_t vertices, faces;
        const char* magic;
        uint32_t vertexRecord, faceRecord;
    };
    const Case cases[] = {
        {65534, 65534, "PEL V1.0", PEL_VERTEX_SHORT, PEL_FACE_SHORT},
        {65535, 100, "PEL V1.1", PEL_VERTEX_LONG, PEL_FACE_LONG},
        {100, 65535, "PEL V1.1", PEL_VERTEX_SHORT, PEL_FACE_LONG},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.magic + std::to_string(c.vertices));
        Loaded obj(put(stripObject(c.vertices, c.faces), "strip.pel"));
        ASSERT_TRUE(obj.ok);
        const std::string out = path("out.pel");
        ASSERT_EQ(pelWriteFile(0, out.c_str(), obj.node, nullptr, nullptr, 0, nullptr), 1);
        const Bytes file = pelb::readFile(out);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&file[1]), file[0]), c.magic);
        // One area without a name: written as a single space (1 + 2 + 1 bytes).
        EXPECT_EQ(rd32(file, 116), 4u);
        EXPECT_EQ(rd32(file, 224), 64u + 64u + 256u + 40u + 12u + c.vertexRecord * c.vertices + c.faceRecord * c.faces);
        EXPECT_EQ(rd32(file, PEL_TOTAL_OFFSET), file.size());
        Loaded back(out);
        ASSERT_TRUE(back.ok);
        expectMirroredCopy(obj.c, back.c);
        EXPECT_EQ(areaNames(back.c), std::vector<std::string>{" "});
    }
}

TEST_F(PelWrite, MergedNodesAreWrittenInWorldSpace) {
    const std::string in = put(gridObject(2, 2), "in.pel");
    Mat4 shift, turn;
    mtxMakeTranslation(10, 0, 0, &shift);
    mtxMakeRotation(2, 90, &turn);  // about z
    mtxPostMultiply(&shift, &turn);
    Loaded a(in, &shift), b(in, &turn);
    ASSERT_TRUE(a.ok && b.ok);
    ScnNode* list[] = {a.node, b.node, nullptr};
    const std::string out = path("merged.pel");
    Vec3 centre{};
    ASSERT_EQ(pelSaveObject(0, out.c_str(), list, nullptr, &centre, 0, nullptr), 1);

    Loaded back(out);
    ASSERT_TRUE(back.ok);
    ASSERT_EQ(back.c->vertexCount, 2 * a.c->vertexCount);
    ASSERT_EQ(back.c->faceCount, 2 * a.c->faceCount);
    ASSERT_EQ(back.c->partCount, 4u);
    ASSERT_EQ(back.c->materialCount, 6u);
    ASSERT_EQ(back.c->areaCount, 6u);
    // Normals follow the rotation: every face still lies in its plane.
    expectPlanar(back.c);
    // Each vertex is its world position, moved by the centre and mirrored.
    const ScnNode* nodes[] = {a.node, b.node};
    for (uint32_t k = 0; k < 2; ++k)
        for (uint32_t i = 0; i < a.c->vertexCount; ++i) {
            Vec3 w;
            mtxTransformPoint(&a.c->vertices[i].pos, &w, &nodes[k]->base);
            const Vec3 expect = mirrored(Vec3{w.x - centre.x, w.y - centre.y, w.z - centre.z});
            expectNear(back.c->vertices[k * a.c->vertexCount + i].pos, expect, "vertex", i);
        }
    // Faces keep their part, material and neighbours, shifted for the second node.
    const uint32_t fc = a.c->faceCount;
    for (uint32_t i = 0; i < fc; ++i) {
        EXPECT_EQ(back.c->faces[fc + i].part, a.c->faces[i].part + 2);
        EXPECT_EQ(back.c->faces[fc + i].material, a.c->faces[i].material + 3);
        EXPECT_EQ(back.c->faces[fc + i].nb[0], a.c->faces[i].nb[0] + fc);
    }
    // The part names of both nodes follow each other.
    const std::string one(a.c->textList1, a.c->textList1Size);
    EXPECT_EQ(std::string(back.c->textList1, back.c->textList1Size), one + one);
}

TEST_F(PelWrite, FailuresLeaveTheTargetAlone) {
    Loaded obj(put(gridObject(2, 2), "in.pel"));
    ASSERT_TRUE(obj.ok);
    const std::string target = put(stripObject(10, 5), "target.pel");
    const Bytes original = pelb::readFile(target);

    // An object name of 99 characters is refused; 98 fit.
    errReset();
    const std::string long99(99, 'n'), long98(98, 'n');
    PelWriteInfo info{0, long99.c_str(), nullptr, {}};
    EXPECT_EQ(pelWriteFile(0, target.c_str(), obj.node, &info, nullptr, 0, nullptr), 0);
    uint32_t level = 99, line = 0;
    char message[500];
    ASSERT_TRUE(errPop(&level, message, nullptr, &line));
    EXPECT_EQ(level, 0u);
    EXPECT_EQ(std::string(message), "String " + long99 + " is to long, length=99, max is 98");
    EXPECT_EQ(pelb::readFile(target), original);

    // The file cannot be built beside the target: the target stays as it was.
    std::filesystem::create_directory(target + ".~new");
    EXPECT_EQ(pelWriteFile(0, target.c_str(), obj.node, nullptr, nullptr, 0, nullptr), 0);
    EXPECT_EQ(pelb::readFile(target), original);
    std::filesystem::remove(target + ".~new");
    // A text chunk that cannot be added fails the write, again without touching the target.
    std::filesystem::create_directory(target + ".~new.~tmp");
    EXPECT_EQ(pelWriteFile(0, target.c_str(), obj.node, nullptr, nullptr, 0, nullptr), 0);
    EXPECT_EQ(pelb::readFile(target), original);
    EXPECT_FALSE(std::filesystem::exists(target + ".~new"));
    std::filesystem::remove(target + ".~new.~tmp");

    info.objectName = long98.c_str();
    EXPECT_EQ(pelWriteFile(0, target.c_str(), obj.node, &info, nullptr, 0, nullptr), 1);
    EXPECT_EQ(headerName(pelb::readFile(target)), long98);

    // Without a description a long path is cut to the name field instead of failing.
    const std::string longPath = path(std::string(120, 'p') + ".pel");
    ASSERT_EQ(pelWriteFile(0, longPath.c_str(), obj.node, nullptr, nullptr, 0, nullptr), 1);
    EXPECT_EQ(headerName(pelb::readFile(longPath)), longPath.substr(0, 98));

    // Nothing to write.
    EXPECT_EQ(pelWriteFile(0, target.c_str(), nullptr, nullptr, nullptr, 0, nullptr), 0);
    ScnNode* empty = nullptr;
    ASSERT_TRUE(scnNodeCreate(nullptr, 0, nullptr, nullptr, nullptr, &empty));
    EXPECT_EQ(pelWriteFile(0, target.c_str(), empty, nullptr, nullptr, 0, nullptr), 0);
    scnNodeFree(&empty, nullptr);
}

TEST(PelWriteHelpers, FaceFlagsAndCountedStrings) {
    EXPECT_EQ(pelFaceFlagsToFile(0xFFFF, 1), 0x0FF7);
    EXPECT_EQ(pelFaceFlagsToFile(0xFFFF, 0), 0x0BE3);
    EXPECT_EQ(pelFaceFlagsToFile(0x1000 | 0x2000 | 0x8, 1), 0);
    uint8_t field[8];
    std::memset(field, 0xEE, sizeof field);
    EXPECT_EQ(pelPutString(8, field, "abcdef"), 1);
    EXPECT_EQ(0, std::memcmp(field,
                             "\x06"
                             "abcdef\0",
                             8));
    EXPECT_EQ(pelPutString(8, field, "abcdefg"), 0);
}

}  // namespace

#include "scene/qivstream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "control/core/tests/qiv_writer.h"
#include "scene/contentlist.h"
#include "scene/engine.h"
#include "scene/light.h"
#include "scene/material.h"
#include "scene/meshprep.h"
#include "scene/objnode.h"
#include "scene/pelfile.h"
#include "scene/scene.h"
#include "scene/texture.h"
#include "scene/tests/pel_builder.h"
#include "scene/tests/qivstream_encoder.h"

namespace {

class QivStreamTest : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override {
        pelFreeStream(&info);
        EXPECT_EQ(pelFreeObject(&content), 1);
        reset();
    }
    static void reset() {
        errReset();
        ltReset();
        matReset();
        pelResetObjectList();
        pelResetStream();
        pelResetReader();
        scnResetObjectNodes();
    }
    int parse(const qse::Bytes& b, size_t size = SIZE_MAX) {
        pelFreeStream(&info);
        return pelParseStream(b.data(), std::min(size, b.size()), &content, &info, nullptr, 0, nullptr);
    }
    static uint32_t lastErrorLevel() {
        uint32_t level = 0;
        return errPop(&level, nullptr, nullptr, nullptr) ? level : 0;
    }

    PelContent* content = nullptr;
    PelStreamInfo* info = nullptr;
};

// The object file a model stands for: the stream's decoded values written as a PEL file.
pelb::Object pelTwin(const qse::Model& md) {
    const qse::Object& h = md.head;
    pelb::Object o;
    o.name = h.name;
    for (int i = 0; i < 3; ++i) o.size[i] = h.box[3 + i] - h.box[i];
    for (const qse::Light& l : h.lights)
        o.lights.push_back({{l.rgb[0] / 255.0f, l.rgb[1] / 255.0f, l.rgb[2] / 255.0f}, {l.pos[0], l.pos[1], l.pos[2]}});
    for (const qse::Material& m : h.materials) {
        pelb::Material pm;
        for (int i = 0; i < 3; ++i) {
            pm.diffuse[i] = m.diffuse[i] / 255.0f;
            pm.specular[i] = m.specular[i] / 255.0f;
        }
        pm.alpha = m.alpha / 65536.0f;
        pm.ambient = m.ambient / 256.0f;
        pm.diffuseCo = m.diffuseCo / 256.0f;
        pm.specularCo = m.specularCo / 256.0f;
        pm.exponent = m.exponent / 256.0f;
        pm.area = m.area;
        pm.flags = m.flags;
        o.materials.push_back(pm);
    }
    for (const char* a = reinterpret_cast<const char*>(h.areaNames.data()); *a; a += std::strlen(a) + 1)
        o.areas.push_back(a);
    o.faceNormals = {{0, 0, 1}};
    std::vector<std::vector<qse::Vtx>> partVerts;
    std::vector<std::vector<qse::Face>> partFaces;
    for (const qse::Model::Entry& e : md.parts) {
        if (e.mesh >= 0) {
            partVerts.push_back(qse::decodedVertices(md.meshes[size_t(e.mesh)]));
            partFaces.push_back(md.meshes[size_t(e.mesh)].faces);
        } else {
            std::vector<qse::Vtx> moved = partVerts[e.source];
            const float* m = e.matrix;
            for (qse::Vtx& v : moved) {
                const float x = v[0], y = v[1], z = v[2];
                v[0] = x * m[0] + y * m[3] + z * m[6] + m[9];
                v[1] = x * m[1] + y * m[4] + z * m[7] + m[10];
                v[2] = x * m[2] + y * m[5] + z * m[8] + m[11];
            }
            partVerts.push_back(moved);
            partFaces.push_back(partFaces[e.source]);
        }
    }
    uint32_t firstVertex = 0;
    for (size_t p = 0; p < partVerts.size(); ++p) {
        pelb::Part part;
        part.vertexCount = uint32_t(partVerts[p].size());
        part.faceCount = int32_t(partFaces[p].size());
        o.parts.push_back(part);
        for (const qse::Vtx& v : partVerts[p]) {
            pelb::Vertex pv;
            pv.x = v[0], pv.y = v[1], pv.z = v[2], pv.u = v[3], pv.v = v[4];
            o.vertices.push_back(pv);
        }
        for (const qse::Face& f : partFaces[p]) {
            pelb::Face pf;
            const uint32_t self = uint32_t(o.faces.size());
            for (int k = 0; k < 4; ++k) {
                pf.v[k] = firstVertex + f.v[size_t(k)];
                pf.nb[k] = self;
            }
            if (!f.quad) pf.v[3] = pf.v[2];
            const qse::Material& m = h.materials[f.material];
            pf.flags = uint16_t((f.quad ? FACE_QUAD : 0) | ((m.flags & 1) ? FACE_TEXTURED : 0) |
                                ((m.flags & 2) ? FACE_COLORKEY : 0) | ((m.flags & 16) ? FACE_TWO_SIDED : 0) |
                                ((m.flags & 32) ? FACE_ENVMAP : 0));
            pf.material = f.material;
            pf.area = uint16_t(m.area < h.areaCount ? m.area : 0);
            o.faces.push_back(pf);
        }
        firstVertex += uint32_t(partVerts[p].size());
    }
    return o;
}

// What makes two contents the same object, independent of the order in which the edge
// connection puts parts, faces and vertices.
struct Summary {
    std::vector<std::vector<long>> faces;     // material, area, flags, then the corners' values
    std::vector<std::vector<long>> vertices;  // x, y, z, u, v
    std::vector<std::pair<uint32_t, uint32_t>> parts;
};
long q(float f) { return std::lround(double(f) * 10000.0); }
Summary summarise(const PelContent* c) {
    Summary s;
    auto vertex = [&](uint32_t i) {
        const PelVertex& v = c->vertices[i];
        return std::vector<long>{q(v.pos.x), q(v.pos.y), q(v.pos.z), q(v.u), q(v.v)};
    };
    for (uint32_t i = 0; i < c->faceCount; ++i) {
        const PelFace& f = c->faces[i];
        std::vector<long> d = {f.material, f.area, f.flags & (FACE_QUAD | FACE_TEXTURED | FACE_COLORKEY |
                                                              FACE_TWO_SIDED | FACE_ENVMAP)};
        for (int k = 0; k < ((f.flags & FACE_QUAD) ? 4 : 3); ++k) {
            auto v = vertex(f.v[k]);
            d.insert(d.end(), v.begin(), v.end());
        }
        s.faces.push_back(d);
    }
    for (uint32_t i = 0; i < c->vertexCount; ++i) s.vertices.push_back(vertex(i));
    for (uint32_t p = 0; p < c->partCount; ++p) s.parts.push_back({c->parts[p].vertexCount, c->parts[p].faceCount});
    std::sort(s.faces.begin(), s.faces.end());
    std::sort(s.vertices.begin(), s.vertices.end());
    std::sort(s.parts.begin(), s.parts.end());
    return s;
}

PelContent* loadPel(const pelb::Object& o) {
    pelb::TempDir dir("qivstream");
    const auto path = dir / "twin.pel";
    pelb::writeFile(path, pelb::build(o));
    char file[PEL_FILE_NAME_MAX], name[100];
    PelFileInfo fi;
    PelContent* c = nullptr;
    size_t bytes = 0;
    if (!pelLoad(path.string().c_str(), file, name, &fi, &c, &bytes)) return nullptr;
    return c;
}

struct Variant {
    qse::Layout layout;
    bool guid;
    bool wide;
};

TEST_F(QivStreamTest, StreamLoadsLikeItsObjectFileAndFailsWhenCutShort) {
    const qse::Model md = qse::sampleModel();
    PelContent* pel = loadPel(pelTwin(md));
    ASSERT_NE(pel, nullptr);
    const Summary expected = summarise(pel);

    for (const Variant& v : {Variant{qse::Layout::Ordered, true, false}, Variant{qse::Layout::Unordered, false, false},
                             Variant{qse::Layout::Unordered, true, true}}) {
        SCOPED_TRACE(testing::Message() << "layout " << int(v.layout) << " guid " << v.guid << " wide " << v.wide);
        const qse::Bytes stream = qse::encode(qse::encodeModel(md, v.layout, v.guid, v.wide));
        ASSERT_EQ(parse(stream), 1);
        ASSERT_NE(content, nullptr);
        const Summary got = summarise(content);
        EXPECT_EQ(got.faces, expected.faces);
        EXPECT_EQ(got.vertices, expected.vertices);
        EXPECT_EQ(got.parts, expected.parts);
        ASSERT_EQ(content->materialCount, pel->materialCount);
        for (uint32_t i = 0; i < pel->materialCount; ++i) {
            const MatInput &a = content->materials[i], &b = pel->materials[i];
            for (int k = 0; k < 3; ++k) {
                EXPECT_FLOAT_EQ(a.colDifuse[k], b.colDifuse[k]);
                EXPECT_FLOAT_EQ(a.colSpecular[k], b.colSpecular[k]);
                EXPECT_FLOAT_EQ(a.specCoeff[k], b.specCoeff[k]);
            }
            EXPECT_FLOAT_EQ(a.alpha, b.alpha);
            EXPECT_FLOAT_EQ(a.coAmbient, b.coAmbient);
            EXPECT_FLOAT_EQ(a.coDifuse, b.coDifuse);
            EXPECT_FLOAT_EQ(a.coSpecular, b.coSpecular);
            EXPECT_FLOAT_EQ(a.specExp, b.specExp);
            EXPECT_EQ(a.area, b.area);  // an area beyond the object's becomes 0 in both
            EXPECT_EQ(a.flags & 0x3Fu, b.flags);
            EXPECT_EQ(a.flags & 0xFFFF0000u, 0xAFFE0000u);
        }
        EXPECT_EQ(content->materials[0].flags & 0x1FC00u, 5u << 10);
        ASSERT_EQ(content->lightCount, 1u);
        EXPECT_FLOAT_EQ(content->lights[0].g, pel->lights[0].g);
        EXPECT_FLOAT_EQ(content->lights[0].pos.z, pel->lights[0].pos.z);
        ASSERT_NE(content->areaNames, nullptr);
        EXPECT_EQ(std::memcmp(content->areaNames, pel->areaNames, sizeof "wood.bmp\0stone.bmp\0"), 0);
        for (int k = 0; k < 3; ++k) {
            EXPECT_FLOAT_EQ((&content->box.min.x)[k], (&pel->box.min.x)[k]);
            EXPECT_FLOAT_EQ((&content->box.max.x)[k], (&pel->box.max.x)[k]);
        }
        // Every face has its normal and vertex indices inside the content.
        for (uint32_t i = 0; i < content->faceCount; ++i) {
            EXPECT_NE(content->faces[i].normal, nullptr);
            for (uint32_t k = 0; k < 4; ++k) EXPECT_LT(content->faces[i].v[k], content->vertexCount);
        }
        EXPECT_EQ(pelLastObject(), content);

        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->hostValue, 0xC0FFEEu);
        EXPECT_STREQ(info->name, "Corner");
        EXPECT_EQ(info->flags, QIV_INFO_LIGHTS | QIV_INFO_AREA_NAMES | QIV_INFO_TRANSLUCENT | 4u | 128u);
        EXPECT_EQ(info->areaNameBytes, md.head.areaNames.size());
        EXPECT_EQ(info->faceCount, content->faceCount);
        EXPECT_FLOAT_EQ(info->box.max.y, 2.0f);
        EXPECT_EQ(pelFreeObject(&content), 1);

        // Every shorter prefix is a failure without a content.
        for (size_t n = 0; n < stream.size(); ++n) {
            errReset();
            ASSERT_EQ(parse(stream, n), 0) << n;
            ASSERT_EQ(content, nullptr);
            ASSERT_EQ(info, nullptr);
            ASSERT_EQ(lastErrorLevel(), uint32_t(ERR_LENGTH)) << n;
        }
    }
    // The unbounded form reads what the stream holds; block header word 1 means nothing.
    qse::Bytes stream = qse::encode(qse::encodeModel(md, qse::Layout::Ordered));
    const size_t block = (stream.size() >= 16 && stream[0] == 0x0A && stream[1] == 0xD4) ? 16 : 0;
    for (uint32_t word : {0u, 7u, 0xFFFFFFFFu}) {
        for (int k = 0; k < 4; ++k) stream[block + 4 + size_t(k)] = uint8_t(word >> (8 * k));
        ASSERT_EQ(pelParseStreamUnbounded(stream.data(), &content, &info, nullptr), 1) << word;
        EXPECT_EQ(summarise(content).faces, expected.faces);
        if (word != 0xFFFFFFFFu) {
            EXPECT_EQ(pelFreeObject(&content), 1);
            EXPECT_EQ(pelFreeStream(&info), 1);
        }
    }
    EXPECT_EQ(pelFreeObject(&pel), 1);
}

// The faces of an instance are joined among themselves like those of the part they copy:
// every neighbour entry names a face of the same part that names the face back.
TEST_F(QivStreamTest, InstanceFacesFindTheirOwnNeighbours) {
    const qse::Model md = qse::sampleModel();
    ASSERT_EQ(parse(qse::encode(qse::encodeModel(md, qse::Layout::Ordered))), 1);
    std::vector<uint32_t> joined(content->partCount, 0), partOf(content->faceCount, 0);
    for (uint32_t p = 0; p < content->partCount; ++p)
        for (uint32_t i = 0; i < content->parts[p].faceCount; ++i)
            partOf[size_t(content->parts[p].firstFace - content->faces) + i] = p;
    for (uint32_t i = 0; i < content->faceCount; ++i) {
        const PelFace& f = content->faces[i];
        for (int k = 0; k < ((f.flags & FACE_QUAD) ? 4 : 3); ++k) {
            const uint32_t g = f.nb[k];
            ASSERT_LT(g, content->faceCount);
            if (g == i) continue;
            const PelFace& other = content->faces[g];
            EXPECT_EQ(partOf[g], partOf[i]) << "face " << i << " edge " << k;
            EXPECT_NE(std::find(other.nb, other.nb + 4, i), other.nb + 4) << "face " << i << " edge " << k;
            ++joined[partOf[i]];
        }
    }
    // The fan and its instance: four triangles round a centre, each joined on two edges.
    uint32_t fans = 0;
    for (uint32_t p = 0; p < content->partCount; ++p) {
        if (content->parts[p].faceCount != 4 || content->parts[p].vertexCount != 5) continue;
        ++fans;
        EXPECT_EQ(joined[p], 8u) << "part " << p;
    }
    EXPECT_EQ(fans, 2u);
}

// ---------------------------------------------------------------------------
// Geometry commands, decoded into a content of the test's own making.

struct CommandCase {
    const char* name;
    std::vector<qse::Command> commands;  // behind four vertex-only commands
    uint32_t v[4];                       // of the last face
    uint16_t flags;                      // of the last face, open-edge and kind bits
};

qse::Command vertexCommand(uint16_t dx) {
    qse::Command c;
    c.word = 0x80 | 2;
    c.delta[0] = dx;
    return c;
}
qse::Command faceCommand(uint16_t word, uint8_t options = 0, std::array<uint16_t, 4> refs = {0, 1, 2, 3}) {
    qse::Command c;
    c.word = word;
    c.options = options;
    std::copy(refs.begin(), refs.end(), c.ref);
    return c;
}

TEST_F(QivStreamTest, GeometryCommandsBuildVerticesAndFaces) {
    const std::vector<CommandCase> cases = {
        {"triangle with default references", {faceCommand(0)}, {3, 1, 2, 2}, 0},
        {"triangle with a vertex of its own", {[] { auto c = faceCommand(2); c.delta[0] = 1; return c; }()},
         {4, 2, 3, 3}, 0},
        {"ordered triangle", {faceCommand(0x100 | 0x400 | 0x1000 | 0x2000, 0, {1, 1, 3, 0})}, {2, 2, 0, 0}, 0x20},
        {"ordered quadrilateral", {faceCommand(0x100 | 1 | 0x4000 | 0x8000, 1 | 2 | 4, {0, 1, 2, 3})},
         {3, 2, 1, 0}, FACE_QUAD | 0x40 | 0x80 | 0x100},
        {"unordered quadrilateral", {faceCommand(1 | 0x4000 | 0x8000, 1 | 2 | 4, {0, 1, 2, 3})},
         {3, 0, 1, 2}, FACE_QUAD | 0x100 | 0x80 | 0x40},
        {"unordered quadrilateral without D", {faceCommand(1, 1)}, {3, 0, 1, 2}, FACE_QUAD},
        {"unordered triangle edges", {faceCommand(0x4000)}, {3, 1, 2, 2}, 0x80},
        {"unordered triangle other edge", {faceCommand(0x8000)}, {3, 1, 2, 2}, 0x40},
        {"wide references", {faceCommand(0x200 | 0x400 | 0x800 | 0x1000, 0, {3, 2, 1, 0})}, {0, 2, 1, 1}, 0},
        {"replaced command word",
         {[] { auto c = faceCommand(0x80 | 0x400); c.replace = true; c.replacement = 0x100 | 0x400; c.ref[0] = 1;
               return c; }()},
         {2, 2, 1, 1}, 0},
        {"replacement without a face", {[] { auto c = faceCommand(0x80 | 0x400); c.replace = true;
                                              c.replacement = 0x80 | 2; c.delta[0] = 5; return c; }(),
                                         faceCommand(0)},
         {4, 2, 3, 3}, 0},
    };
    for (const CommandCase& cc : cases) {
        SCOPED_TRACE(cc.name);
        qse::Part p;
        p.box[3] = 2;
        for (int i = 0; i < 4; ++i) p.commands.push_back(vertexCommand(uint16_t(i ? 0x1000 : 0x7FFF)));
        p.commands.insert(p.commands.end(), cc.commands.begin(), cc.commands.end());
        p.vertexCount = 5;
        p.faceCount = 1;
        const qse::Bytes body = qse::partBody(p);

        std::vector<PelVertex> vertices(5);
        std::vector<PelFace> faces(1);
        MatInput material{};
        PelPart part{};
        PelContent c{};
        c.vertices = vertices.data();
        c.faces = faces.data();
        c.materials = &material;
        c.materialCount = 1;
        c.parts = &part;
        c.partCount = 1;
        part.firstVertex = vertices.data();
        part.firstFace = faces.data();
        const uint8_t* cursor = body.data() + qse::Bytes::difference_type(QIV_PART_RECORD);
        ASSERT_EQ(pelDecodePartGeometry(body.data(), &c, &part, body.data() + body.size(), &cursor), 1);
        EXPECT_EQ(cursor, body.data() + body.size());
        ASSERT_EQ(part.faceCount, 1u);
        for (int k = 0; k < 4; ++k) EXPECT_EQ(faces[0].v[k], cc.v[k]) << k;
        EXPECT_EQ(faces[0].flags, cc.flags);
        for (uint32_t nb : faces[0].nb) EXPECT_EQ(nb, 0u);  // no neighbour yet
        // The first x delta 0x7FFF over a box of 0..2 lands at the box's maximum.
        EXPECT_FLOAT_EQ(vertices[0].pos.x, float(0x7FFF * 2 * 3.051851e-5));
        // Running sums wrap as signed 16-bit values.
        EXPECT_FLOAT_EQ(vertices[1].pos.x, float(int16_t(0x8FFF) * 2 * 3.051851e-5));
    }

    // Commands cannot append beyond the counts the record declares.
    for (const bool extraFace : {false, true}) {
        qse::Part p;
        for (int i = 0; i < 4; ++i) p.commands.push_back(vertexCommand(1));
        p.commands.push_back(extraFace ? faceCommand(0) : vertexCommand(1));
        p.commands.push_back(faceCommand(0));
        p.vertexCount = 4;
        p.faceCount = extraFace ? 1 : 0;
        const qse::Bytes body = qse::partBody(p);
        std::vector<PelVertex> vertices(4);  // exactly the declared counts
        std::vector<PelFace> faces(1);
        MatInput material{};
        PelPart part{};
        PelContent c{};
        c.vertices = vertices.data();
        c.faces = faces.data();
        c.materials = &material;
        c.materialCount = 1;
        c.parts = &part;
        c.partCount = 1;
        part.firstVertex = vertices.data();
        part.firstFace = faces.data();
        const uint8_t* cursor = body.data() + qse::Bytes::difference_type(QIV_PART_RECORD);
        EXPECT_EQ(pelDecodePartGeometry(body.data(), &c, &part, body.data() + body.size(), &cursor), 0);
        EXPECT_EQ(part.vertexCount, 4u);
        EXPECT_EQ(part.faceCount, extraFace ? 1u : 0u);
    }
}

TEST_F(QivStreamTest, FacesTakeFlagsAndAreaFromTheirMaterial) {
    qse::Object o;
    o.areaNames = {'a', 0, 'b', 0, 0};
    o.areaCount = 2;
    qse::Material plain, special;
    special.flags = 1 | 2 | 16 | 32;
    special.area = 1;
    o.materials = {plain, special};
    qse::Mesh m;
    m.vertices = {{0, 0, 0, 0, 0}, {1, 0, 0, 0, 0}, {0, 1, 0, 0, 0}, {1, 1, 1, 0, 0}};
    m.faces = {{{0, 1, 2, 0}, false, 1}, {{1, 3, 2, 0}, false, 1}};
    qse::Part p = qse::meshPart(m, qse::Layout::Ordered);
    p.commands.back().word |= 1;  // the second face is one-sided
    p.commands.back().options = QIV_OPT_ONE_SIDED;
    o.parts = {p};
    ASSERT_EQ(parse(qse::encode(o)), 1);
    ASSERT_EQ(content->faceCount, 2u);
    std::vector<uint16_t> kinds;
    for (uint32_t i = 0; i < 2; ++i) {
        const PelFace& f = content->faces[i];
        EXPECT_EQ(f.material, 1u);
        EXPECT_EQ(f.area, 1u);
        kinds.push_back(uint16_t(f.flags & (FACE_TEXTURED | FACE_COLORKEY | FACE_ENVMAP | FACE_TWO_SIDED)));
    }
    std::sort(kinds.begin(), kinds.end());
    EXPECT_EQ(kinds, (std::vector<uint16_t>{FACE_TEXTURED | FACE_COLORKEY | FACE_ENVMAP,
                                            FACE_TEXTURED | FACE_COLORKEY | FACE_ENVMAP | FACE_TWO_SIDED}));
    // The shared edge found its neighbours.
    const PelFace &a = content->faces[0], &b = content->faces[1];
    EXPECT_TRUE(std::count(a.nb, a.nb + 3, 1u) == 1 && std::count(b.nb, b.nb + 3, 0u) == 1);
}

// The content holds exactly the stream's area count of names, whatever its text holds.
TEST_F(QivStreamTest, AreaTextIsCheckedAgainstTheCount) {
    struct Case {
        std::string text;
        uint16_t count;
        std::string names;  // the content's whole text
    };
    const Case cases[] = {
        {std::string("a\0b\0\0", 5), 2, std::string("a\0b\0\0", 5)},
        {std::string("a\0", 2), 5, std::string("a\0\0\0\0\0\0", 7)},   // names missing
        {std::string("abc", 3), 1, std::string("abc\0\0", 5)},             // no closing zero
        {std::string("a\0b\0c\0\0", 7), 2, std::string("a\0b\0\0", 5)},  // more names than counted
        {std::string("\0b\0\0", 4), 2, std::string("\0b\0\0", 4)},       // an empty first name
    };
    for (const Case& k : cases) {
        qse::Object o;
        o.areaNames.assign(k.text.begin(), k.text.end());
        o.areaCount = k.count;
        o.materials = {qse::Material{}};
        qse::Mesh mesh;
        mesh.vertices = {{0, 0, 0, 0, 0}, {1, 0, 0, 0, 0}, {0, 1, 0, 0, 0}};
        mesh.faces = {{{0, 1, 2, 0}, false, 0}};
        o.parts = {qse::meshPart(mesh, qse::Layout::Unordered)};
        ASSERT_EQ(parse(qse::encode(o)), 1) << k.count;
        ASSERT_EQ(content->areaCount, k.count);
        ASSERT_EQ(pelAreaNamesSize(content), k.names.size()) << k.count;
        std::vector<char> buf(k.names.size());
        uint32_t count = 0;
        ASSERT_EQ(pelGetAreaNames(content, &count, buf.data(), buf.size()), 1);
        EXPECT_EQ(count, k.count);
        EXPECT_EQ(std::string(buf.data(), buf.size()), k.names) << k.count;
        EXPECT_EQ(pelAreaName(content, k.count), nullptr);
        EXPECT_EQ(pelFreeObject(&content), 1);
    }
}

TEST_F(QivStreamTest, DequantisedValues) {
    qse::Object o;
    qse::Material m;
    m.diffuse[0] = 255;
    m.alpha = 0x8000;
    m.ambient = 0x180;
    o.materials = {m};
    qse::Mesh mesh;
    mesh.vertices = {{0, 0, 0, 0, 0}, {1, 0, 0, 0, 0}, {0, 1, 0, 0, 0}};
    mesh.faces = {{{0, 1, 2, 0}, false, 0}};
    o.parts = {qse::meshPart(mesh, qse::Layout::Unordered)};
    ASSERT_EQ(parse(qse::encode(o)), 1);
    EXPECT_FLOAT_EQ(content->materials[0].colDifuse[0], 1.0f);
    EXPECT_FLOAT_EQ(content->materials[0].alpha, 0.5f);
    EXPECT_FLOAT_EQ(content->materials[0].coAmbient, 1.5f);
    EXPECT_EQ(info->flags & QIV_INFO_TRANSLUCENT, QIV_INFO_TRANSLUCENT);
    EXPECT_EQ(info->flags & (QIV_INFO_LIGHTS | QIV_INFO_AREA_NAMES), 0u);
    EXPECT_EQ(content->areaNames, nullptr);

    const uint8_t bytes[3] = {0, 51, 255};
    float rgb[3];
    pelDequantColour(bytes, rgb);
    EXPECT_FLOAT_EQ(rgb[1], 0.2f);
    float f = 0;
    pelDequantFixed(0x8000, 16, &f);
    EXPECT_FLOAT_EQ(f, 0.5f);
}

// ---------------------------------------------------------------------------
// Bad streams.

// A part whose commands are written by hand: four vertices, then the given commands.
qse::Part rawPart(std::vector<qse::Command> tail, uint16_t vertices = 4, uint16_t faces = 1) {
    qse::Part p;
    for (int i = 0; i < 4; ++i) p.commands.push_back(vertexCommand(uint16_t(0x1000 + i * 0x800)));
    p.commands.back().word |= 4;
    p.commands.back().delta[1] = 0x2000;
    p.commands.insert(p.commands.end(), tail.begin(), tail.end());
    p.vertexCount = vertices;
    p.faceCount = faces;
    return p;
}

qse::Object rawObject(qse::Part p) {
    qse::Object o;
    o.materials.resize(2);
    o.parts = {p};
    return o;
}
qse::Bytes rawStream(std::vector<qse::Command> tail) { return qse::encode(rawObject(rawPart(tail))); }
qse::Command materialCommand(uint16_t material) {
    qse::Command c = faceCommand(64);
    c.material = material;
    return c;
}

struct BadCase {
    const char* name;
    qse::Bytes stream;
    uint32_t level;
};

TEST_F(QivStreamTest, BadStreamsAreRefused) {
    const qse::Model md = qse::sampleModel();
    const qse::Object sample = qse::encodeModel(md, qse::Layout::Ordered);
    auto patched = [&](auto change) {
        qse::Object o = sample;
        change(o);
        return qse::encode(o);
    };
    auto withBytes = [&](auto change) {
        qse::Bytes b = qse::encode(sample);
        change(b);
        return b;
    };
    const qse::Object good = rawObject(rawPart({faceCommand(0)}));
    ASSERT_EQ(parse(qse::encode(good)), 1);
    ASSERT_EQ(pelFreeObject(&content), 1);

    const std::vector<BadCase> cases = {
        {"magic", patched([](qse::Object& o) { o.magic = 0x32766951u; }), ERR_FORMAT},
        {"commands append more vertices than declared", patched([](qse::Object& o) { --o.parts[1].vertexCount; }),
         ERR_FORMAT},
        {"commands append more faces than declared", patched([](qse::Object& o) { --o.parts[0].faceCount; }),
         ERR_FORMAT},
        {"header declares fewer vertices", patched([](qse::Object& o) { o.vertexCount = 16; }), ERR_FORMAT},
        {"header declares fewer faces", patched([](qse::Object& o) { o.faceCount = 11; }), ERR_FORMAT},
        {"instance of itself", patched([](qse::Object& o) { o.parts[2].source = 2; }), ERR_FORMAT},
        {"instance of a missing part", patched([](qse::Object& o) { o.parts[2].source = 40; }), ERR_FORMAT},
        {"instance of a later part",
         patched([](qse::Object& o) { std::swap(o.parts[1], o.parts[2]); o.parts[1].source = 2; }), ERR_FORMAT},
        {"reference before the part's first vertex", rawStream({faceCommand(0x800, 0, {0, 4, 2, 3})}), ERR_FORMAT},
        {"reference to a vertex not yet made", [] {
             qse::Part p;
             p.commands = {vertexCommand(1), vertexCommand(2), faceCommand(0)};
             p.vertexCount = 2;
             p.faceCount = 1;
             return qse::encode(rawObject(p));
         }(), ERR_FORMAT},
        {"wide reference beyond the part", rawStream({faceCommand(0x200 | 0x400, 0, {300, 1, 2, 3})}), ERR_FORMAT},
        {"quadrilateral's fourth reference", rawStream({faceCommand(0x100 | 1, 1 | 2, {0, 1, 2, 9})}), ERR_FORMAT},
        {"material index", rawStream({materialCommand(2)}), ERR_FORMAT},
        {"face without materials", patched([](qse::Object& o) { o.materials.clear(); }), ERR_FORMAT},
        {"no faces", patched([](qse::Object& o) { o.parts.clear(); }), ERR_FORMAT},
        {"edge section beyond the end", withBytes([](qse::Bytes& b) { qse::set32(b, 16 + 36, 0x40000000u); }),
         ERR_LENGTH},
        {"object header beyond the end", withBytes([](qse::Bytes& b) { qse::set32(b, 16 + 20, 0xFFFFFFF0u); }),
         ERR_LENGTH},
        {"name beyond the end", withBytes([](qse::Bytes& b) { b[16 + 40 + 38] = 0xFF; b[16 + 40 + 39] = 0xFF; }),
         ERR_LENGTH},
    };
    for (const BadCase& bc : cases) {
        SCOPED_TRACE(bc.name);
        errReset();
        EXPECT_EQ(parse(bc.stream), 0);
        EXPECT_EQ(content, nullptr);
        EXPECT_EQ(info, nullptr);
        EXPECT_EQ(lastErrorLevel(), bc.level);
        EXPECT_EQ(pelFirstObject(), nullptr);
    }

    // Instances can make a short stream describe a large object: the counts are limited.
    pelSetStreamLimits(16, 1000);
    errReset();
    EXPECT_EQ(parse(qse::encode(sample)), 0);
    EXPECT_EQ(lastErrorLevel(), uint32_t(ERR_NOMEM));
    pelResetStream();
    EXPECT_EQ(parse(qse::encode(sample)), 1);
}

// A part whose commands make fewer vertices and faces than it declares keeps what they make;
// the parts behind it (an instance of it too) follow directly, as if it had declared that.
TEST_F(QivStreamTest, PartsProducingLessThanDeclaredKeepWhatTheyMake) {
    const qse::Model md = qse::sampleModel();
    const qse::Object sample = qse::encodeModel(md, qse::Layout::Ordered);
    ASSERT_EQ(parse(qse::encode(sample)), 1);
    const auto expected = summarise(content);
    const uint32_t vertices = content->vertexCount, faces = content->faceCount;
    ASSERT_EQ(pelFreeObject(&content), 1);
    for (size_t p = 0; p < sample.parts.size(); ++p) {
        if (sample.parts[p].instance) continue;
        SCOPED_TRACE(p);
        qse::Object o = sample;
        o.parts[p].vertexCount += 3;
        o.parts[p].faceCount += 2;
        if (o.vertexCount >= 0) o.vertexCount += 3;
        if (o.faceCount >= 0) o.faceCount += 2;
        errReset();
        ASSERT_EQ(parse(qse::encode(o)), 1);
        EXPECT_EQ(content->vertexCount, vertices);
        EXPECT_EQ(content->faceCount, faces);
        EXPECT_EQ(summarise(content).faces, expected.faces);
        uint32_t v = 0, f = 0;
        for (uint32_t q = 0; q < content->partCount; ++q) {
            const PelPart& part = content->parts[q];
            EXPECT_EQ(part.firstVertex, content->vertices + v) << q;
            EXPECT_EQ(part.firstFace, content->faces + f) << q;
            for (uint32_t i = 0; i < part.faceCount; ++i)
                for (uint32_t k = 0; k < 4; ++k) {
                    EXPECT_GE(part.firstFace[i].v[k], v);
                    EXPECT_LT(part.firstFace[i].v[k], v + part.vertexCount);
                }
            v += part.vertexCount;
            f += part.faceCount;
        }
        ASSERT_EQ(pelFreeObject(&content), 1);
    }
}

// ---------------------------------------------------------------------------
// A new content in the place of one that nodes show.

size_t nodeLights(const ScnNode* node, int32_t* on) {
    size_t n = 0;
    for (LightRecord* l = ltFirst(); l; l = l->next)
        if (l->user == reinterpret_cast<uintptr_t>(node)) {
            ++n;
            *on = l->on;
        }
    return n;
}

TEST_F(QivStreamTest, NewContentTakesOverTheNodesWithArraysOfItsOwn) {
    ASSERT_EQ(parse(qse::encode(qse::encodeModel(qse::sampleModel(), qse::Layout::Ordered))), 1);
    PelContent* first = content;
    TexRecord* tex[2] = {nullptr, nullptr};
    ASSERT_EQ(texAllocRecord(&tex[0]), 1);
    ASSERT_EQ(texAllocRecord(&tex[1]), 1);
    Mat4 base;
    mtxMakeTranslation(10, 0, 0, &base);
    ScnNode *a = nullptr, *b = nullptr;
    ASSERT_EQ(scnNodeCreate(first, 1, tex, nullptr, &base, &a), 1);
    ASSERT_EQ(scnCreateObjectNode(first, 2, nullptr, 3, 4, nullptr, 0, &base, &b), 1);
    ASSERT_EQ(scnSwitchLights(a, 0), 1);

    // The next content: other counts of materials, lights, areas and parts.
    qse::Model next;
    next.head.areaNames = {'x', 0, 'y', 0, 'z', 0, 0};
    next.head.areaCount = 3;
    qse::Light l1, l2;
    l2.pos[0] = 1;
    next.head.lights = {l1, l2};
    qse::Material m;
    m.diffuse[0] = 51;
    next.head.materials = {m};
    next.meshes = {qse::sampleModel().meshes[1]};
    for (auto& f : next.meshes[0].faces) f.material = 0;
    next.parts = {qse::Model::Entry{}};
    next.parts[0].mesh = 0;
    const qse::Bytes stream = qse::encode(qse::encodeModel(next, qse::Layout::Unordered));

    // A failing parse leaves content and nodes as they were.
    ASSERT_EQ(parse(stream, stream.size() - 1), 0);
    EXPECT_EQ(content, first);
    EXPECT_EQ(a->content, first);
    EXPECT_EQ(first->nodeCount, 2u);

    ASSERT_EQ(parse(stream), 1);
    ASSERT_NE(content, first);
    EXPECT_EQ(content->nodeCount, 2u);
    EXPECT_EQ(content->firstNode, a);
    EXPECT_EQ(content->lastNode, b);
    EXPECT_EQ(pelFirstObject(), content);
    EXPECT_EQ(pelLastObject(), content);
    for (ScnNode* n : {a, b}) {
        EXPECT_EQ(n->content, content);
        ASSERT_NE(n->materials, nullptr);
        EXPECT_FLOAT_EQ(n->materials[0].colDifuse[0], 0.2f);
        EXPECT_FLOAT_EQ(n->worldBox.min.x, content->box.min.x + 10);
        ASSERT_NE(n->lights, nullptr);
        EXPECT_FLOAT_EQ(n->lights[1]->pos.x, 11.0f);
        EXPECT_EQ(n->parts, nullptr);
    }
    ASSERT_NE(a->areaTextures, nullptr);
    EXPECT_EQ(a->areaTextures[0], tex[0]);
    EXPECT_EQ(a->areaTextures[1], tex[1]);
    EXPECT_EQ(a->areaTextures[2], nullptr);
    EXPECT_EQ(b->areaTextures, nullptr);
    int32_t on = -1;
    EXPECT_EQ(nodeLights(a, &on), 2u);
    EXPECT_EQ(on, 0);  // the node's lights stay switched off
    EXPECT_EQ(nodeLights(b, &on), 2u);
    EXPECT_EQ(on, 1);
    // The object node's new lights carry its ids.
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(b->lights[i]->enable, ltObjIdsEnable);
        ASSERT_NE(b->lights[i]->ext, nullptr);
        EXPECT_EQ(static_cast<LtObjExt*>(b->lights[i]->ext)->idB, 4u);
    }
    EXPECT_EQ(a->lights[0]->enable, nullptr);
    size_t all = 0;
    for (LightRecord* l = ltFirst(); l; l = l->next) ++all;
    EXPECT_EQ(all, 4u);

    EXPECT_EQ(scnNodeFree(&a, nullptr), 1);
    EXPECT_EQ(scnNodeFree(&b, nullptr), 1);
    EXPECT_EQ(ltFirst(), nullptr);
    texFree(&tex[0]);
    texFree(&tex[1]);
}

// The neighbour tables of a stream's content, worked out plainly: parts and faces in their
// order, each face edge's neighbour chosen among the edges of the faces around its first
// vertex, then open edges joined pair by pair. Faces come back in the prepared order with
// their vertices, so that a table can be compared face by face.
struct RefTables {
    std::vector<std::array<uint32_t, 4>> v, nb;
};

double refSegmentDist2(const Vec3& p, const Vec3& a, const Vec3& b) {
    const double ex = double(b.x) - a.x, ey = double(b.y) - a.y, ez = double(b.z) - a.z;
    const double px = double(p.x) - a.x, py = double(p.y) - a.y, pz = double(p.z) - a.z;
    const double ee = ex * ex + ey * ey + ez * ez;
    const double t = std::clamp(ee > 0.0 ? (px * ex + py * ey + pz * ez) / ee : 0.0, 0.0, 1.0);
    const double dx = px - t * ex, dy = py - t * ey, dz = pz - t * ez;
    return dx * dx + dy * dy + dz * dz;
}

RefTables referenceTables(const PelContent* c) {
    const uint32_t nf = c->faceCount, nv = c->vertexCount, np = c->partCount;
    auto corners = [](const PelFace& f) { return (f.flags & FACE_QUAD) ? 4u : 3u; };
    std::vector<PelFace> faces(c->faces, c->faces + nf);
    std::vector<uint8_t> translucent(nf), partTranslucent(np);
    std::vector<uint32_t> firstV(np), firstF(np);
    for (uint32_t p = 0, v = 0, f = 0; p < np; ++p) {
        firstV[p] = v, firstF[p] = f;
        v += c->parts[p].vertexCount, f += c->parts[p].faceCount;
    }
    for (uint32_t i = 0; i < nf; ++i) {
        PelFace& f = faces[i];
        if (!(f.flags & FACE_QUAD)) f.v[3] = f.v[2];
        for (uint32_t k = 0; k < 4; ++k)
            if (f.nb[k] >= nf || k >= corners(f)) f.nb[k] = i;
        const uint32_t m = f.material < c->materialCount ? f.material : 0;
        translucent[i] = c->materialCount && c->materials[m].alpha != 0.0f;
    }
    // Parts by translucency, then box volume; faces of a part by translucency, then depth.
    std::vector<Box3> box(np, Box3{{1e20f, 1e20f, 1e20f}, {-1e20f, -1e20f, -1e20f}});
    std::vector<double> volume(np, 0.0);
    for (uint32_t p = 0; p < np; ++p) {
        for (uint32_t i = firstV[p]; i < firstV[p] + c->parts[p].vertexCount; ++i) {
            const Vec3& q = c->vertices[i].pos;
            box[p].min = {std::min(box[p].min.x, q.x), std::min(box[p].min.y, q.y), std::min(box[p].min.z, q.z)};
            box[p].max = {std::max(box[p].max.x, q.x), std::max(box[p].max.y, q.y), std::max(box[p].max.z, q.z)};
        }
        for (uint32_t i = firstF[p]; i < firstF[p] + c->parts[p].faceCount; ++i) partTranslucent[p] |= translucent[i];
        const Box3& b = box[p];
        if (c->parts[p].vertexCount)
            volume[p] = double(b.max.x - b.min.x) * double(b.max.y - b.min.y) * double(b.max.z - b.min.z);
    }
    std::vector<uint32_t> order(np);
    for (uint32_t p = 0; p < np; ++p) order[p] = p;
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        if (partTranslucent[a] != partTranslucent[b]) return !partTranslucent[a];
        return volume[a] < volume[b];
    });
    std::vector<uint32_t> newVertex(nv), faceOrder;
    for (uint32_t p : order) {
        const size_t start = faceOrder.size();
        for (uint32_t k = 0; k < c->parts[p].faceCount; ++k) faceOrder.push_back(firstF[p] + k);
        auto depth = [&](uint32_t f) {
            double z = 0;
            for (uint32_t k = 0; k < corners(faces[f]); ++k) z += c->vertices[faces[f].v[k]].pos.z;
            return z / corners(faces[f]);
        };
        std::stable_sort(faceOrder.begin() + long(start), faceOrder.end(), [&](uint32_t a, uint32_t b) {
            if (translucent[a] != translucent[b]) return !translucent[a];
            return depth(a) < depth(b);
        });
    }
    uint32_t nextVertex = 0;
    for (uint32_t p : order)
        for (uint32_t k = 0; k < c->parts[p].vertexCount; ++k) newVertex[firstV[p] + k] = nextVertex++;
    std::vector<uint32_t> newFace(nf);
    for (uint32_t i = 0; i < nf; ++i) newFace[faceOrder[i]] = i;
    std::vector<PelFace> sorted(nf);
    std::vector<Vec3> pos(nv);
    for (uint32_t i = 0; i < nv; ++i) pos[newVertex[i]] = c->vertices[i].pos;
    for (uint32_t i = 0; i < nf; ++i) {
        PelFace f = faces[faceOrder[i]];
        for (uint32_t& x : f.v) x = newVertex[x];
        for (uint32_t& x : f.nb) x = newFace[x];
        sorted[i] = f;
    }
    faces.swap(sorted);
    std::vector<Vec3> normal(nf);
    {
        std::vector<PelVertex> verts(nv);
        for (uint32_t i = 0; i < nv; ++i) verts[i].pos = pos[i];
        PelContent head{};
        head.vertices = verts.data();
        head.vertexCount = nv;
        for (uint32_t i = 0; i < nf; ++i) {
            Vec3 n = {0, 0, 1};
            float d = 0;
            visFacePlane(&head, &faces[i], &n, &d);
            const double l = double(n.x) * n.x + double(n.y) * n.y + double(n.z) * n.z;
            normal[i] = (l > 0.5 && l < 1.5) ? n : Vec3{0, 0, 1};
        }
    }
    // Neighbours: the faces around the edge's first vertex, in face and edge order.
    std::vector<std::vector<uint32_t>> around(nv);
    for (uint32_t i = 0; i < nf; ++i)
        for (uint32_t k = 0; k < corners(faces[i]); ++k)
            if (around[faces[i].v[k]].empty() || around[faces[i].v[k]].back() != i) around[faces[i].v[k]].push_back(i);
    auto twoSided = [&](uint32_t f) { return (faces[f].flags & FACE_TWO_SIDED) != 0; };
    auto dot = [&](uint32_t a, uint32_t b) {
        const Vec3 &p = normal[a], &q = normal[b];
        return double(p.x) * q.x + double(p.y) * q.y + double(p.z) * q.z;
    };
    for (uint32_t fi = 0; fi < nf; ++fi) {
        const uint32_t n = corners(faces[fi]);
        for (uint32_t k = 0; k < n; ++k) {
            if ((faces[fi].flags & (FACE_OPEN_EDGE0 << k)) || faces[fi].nb[k] != fi) continue;
            const uint32_t a = faces[fi].v[k], b = faces[fi].v[(k + 1) % n];
            int64_t best = -1;
            uint32_t bestEdge = 0;
            double bestScore = -1e10;
            for (uint32_t gi : around[a]) {
                const PelFace& G = faces[gi];
                for (uint32_t j = 0; j < corners(G); ++j) {
                    const uint32_t cv = G.v[j], dv = G.v[(j + 1) % corners(G)];
                    const bool reversed = cv == b && dv == a, same = a != b && cv == a && dv == b;
                    if (gi == fi || !(reversed || same)) continue;
                    const bool sides = twoSided(fi) || twoSided(gi);
                    if ((same && !sides) || G.nb[j] != gi || (G.flags & (FACE_OPEN_EDGE0 << j))) continue;
                    const double score = sides ? std::fabs(dot(fi, gi)) : dot(fi, gi);
                    if (score > bestScore) bestScore = score, best = gi, bestEdge = j;
                }
            }
            if (best >= 0) {
                faces[fi].nb[k] = uint32_t(best);
                faces[size_t(best)].nb[bestEdge] = fi;
            }
        }
    }
    // Joining: each open edge takes the first later open edge of another face whose end
    // points lie within the tolerance of it and within its x range widened by the
    // tolerance's root.
    Box3 all = {{1e20f, 1e20f, 1e20f}, {-1e20f, -1e20f, -1e20f}};
    for (uint32_t p = 0; p < np; ++p)
        if (c->parts[p].vertexCount) {
            const Box3& b = box[p];
            all.min = {std::min(all.min.x, b.min.x), std::min(all.min.y, b.min.y), std::min(all.min.z, b.min.z)};
            all.max = {std::max(all.max.x, b.max.x), std::max(all.max.y, b.max.y), std::max(all.max.z, b.max.z)};
        }
    const double dx = double(all.max.x) - all.min.x, dy = double(all.max.y) - all.min.y;
    const double dz = double(all.max.z) - all.min.z;
    const double tol = float(double(PEL_JOIN_FACTOR) * (dx * dx + dy * dy + dz * dz));
    const float slack = float(std::sqrt(tol)) + 1e-30f;
    struct Rec {
        uint32_t face, edge;
        Vec3 a, b;
        bool joined, usable;
    };
    std::vector<Rec> rec;
    auto finite = [](const Vec3& q) { return std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z); };
    for (uint32_t f = 0; f < nf; ++f)
        for (uint32_t k = 0; k < corners(faces[f]); ++k)
            if (faces[f].nb[k] == f) {
                const Vec3 a = pos[faces[f].v[k]], b = pos[faces[f].v[(k + 1) % corners(faces[f])]];
                rec.push_back({f, k, a, b, false, finite(a) && finite(b)});
            }
    for (size_t i = 0; i < rec.size() && !std::isnan(tol); ++i) {
        Rec& ri = rec[i];
        if (ri.joined || !ri.usable) continue;
        const float lowX = std::min(ri.a.x, ri.b.x) - slack, highX = std::max(ri.a.x, ri.b.x) + slack;
        for (size_t j = i + 1; j < rec.size(); ++j) {
            Rec& rj = rec[j];
            const float minX = std::min(rj.a.x, rj.b.x), maxX = std::max(rj.a.x, rj.b.x);
            if (rj.joined || !rj.usable || rj.face == ri.face || minX < lowX || minX > highX || maxX > highX ||
                refSegmentDist2(rj.a, ri.a, ri.b) > tol || refSegmentDist2(rj.b, ri.a, ri.b) > tol)
                continue;
            faces[ri.face].nb[ri.edge] = rj.face;
            faces[rj.face].nb[rj.edge] = ri.face;
            ri.joined = rj.joined = true;
            break;
        }
    }
    RefTables t;
    for (const PelFace& f : faces) {
        t.v.push_back({f.v[0], f.v[1], f.v[2], f.v[3]});
        t.nb.push_back({f.nb[0], f.nb[1], f.nb[2], f.nb[3]});
    }
    return t;
}

// Meshes on a coarse lattice of shared and repeated points, with quadrilaterals, two-sided
// and translucent materials, instances and edge marks in the commands.
qse::Object latticeObject(uint32_t seed) {
    auto next = [&] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7FFF;
    };
    qse::Model md;
    for (int i = 0; i < 3; ++i) md.head.box[i] = -4, md.head.box[3 + i] = 4;
    const uint32_t materials = 1 + next() % 3;
    for (uint32_t m = 0; m < materials; ++m) {
        qse::Material mt;
        if (next() % 3 == 0) mt.flags = 16;  // two-sided
        if (next() % 5 == 0) mt.alpha = 20000;
        md.head.materials.push_back(mt);
    }
    const uint32_t parts = 1 + next() % 3;
    for (uint32_t p = 0; p < parts; ++p) {
        qse::Mesh mesh;
        const float lo = -1.0f - float(next() % 3), hi = 1.0f + float(next() % 3);
        for (int i = 0; i < 3; ++i) mesh.box[i] = lo, mesh.box[3 + i] = hi;
        const uint32_t nv = 4 + next() % 40;
        for (uint32_t v = 0; v < nv; ++v) {
            const float g = next() % 4 == 0 ? 0.5f : 1.0f;
            mesh.vertices.push_back({float(int(next() % 5) - 2) * g, float(int(next() % 5) - 2) * g,
                                     float(int(next() % 3) - 1) * g, 0, 0});
        }
        const uint32_t nf = 1 + next() % 60;
        for (uint32_t f = 0; f < nf; ++f) {
            qse::Face face;
            face.quad = next() % 3 == 0;
            for (uint32_t& x : face.v) x = next() % nv;
            if (f && next() % 3 == 0) face.v[0] = mesh.faces.back().v[1], face.v[1] = mesh.faces.back().v[0];
            face.material = uint16_t(next() % materials);
            mesh.faces.push_back(face);
        }
        qse::Model::Entry e;
        e.mesh = int(md.meshes.size());
        md.meshes.push_back(mesh);
        md.parts.push_back(e);
        if (next() % 3 == 0) {
            qse::Model::Entry copy;
            copy.source = uint16_t(md.parts.size() - 1);
            copy.matrix[9] = float(next() % 3) * 0.5f;  // moved along x by half steps
            md.parts.push_back(copy);
        }
    }
    qse::Object o = qse::encodeModel(md, seed % 2 ? qse::Layout::Ordered : qse::Layout::Unordered);
    for (qse::Part& p : o.parts)
        for (qse::Command& c : p.commands)
            if (!(c.word & QIV_CMD_NO_FACE) && next() % 3 == 0) {
                c.word |= uint16_t((next() % 8) << 13);  // edges marked open
                if ((c.word & QIV_CMD_OPTIONS) && next() % 2) c.options |= uint8_t(next() % 2 ? 4 : 8);
            }
    return o;
}

// The prepared neighbour tables of streams against the plain reference: built test
// streams, byte-mutated copies of the fuzz seeds' streams (those that still decode), and
// the benchmark's grid. The parse itself gives the same tables.
TEST_F(QivStreamTest, NeighbourTablesMatchThePlainReference) {
    std::vector<std::pair<std::string, qse::Bytes>> streams;
    const qse::Bytes seeds[] = {qse::encode(qse::encodeModel(qse::sampleModel(), qse::Layout::Ordered)),
                                qse::encode(qse::encodeModel(qse::sampleModel(), qse::Layout::Unordered, false))};
    for (uint32_t i = 0; i < 40; ++i)
        streams.push_back({"lattice " + std::to_string(i), qse::encode(latticeObject(i))});
    uint32_t seed = 99;
    for (int m = 0; m < 400; ++m) {
        qse::Bytes b = seeds[m % 2];
        for (int e = 0; e < 1 + m % 3; ++e) {
            seed = seed * 1103515245u + 12345u;
            const size_t at = (seed >> 8) % b.size();
            b[at] = uint8_t(m % 4 ? seed >> 24 : b[at] ^ (1u << ((seed >> 4) % 8)));
        }
        streams.push_back({"mutant " + std::to_string(m), b});
    }
    streams.push_back({"sample", seeds[0]});
    streams.push_back({"benchmark grid", qse::encode(qivw::gridObject(250))});
    pelSetStreamLimits(1u << 20, 1u << 20);
    uint32_t compared = 0;
    for (const auto& [name, bytes] : streams) {
        SCOPED_TRACE(name);
        PelContent* c = nullptr;
        if (!pelDecodeStream(bytes.data(), bytes.size(), &c)) continue;
        const RefTables want = c->faceCount && c->vertexCount >= 3 ? referenceTables(c) : RefTables{};
        if (!pelConnectEdges(&c, nullptr, 0, 179.0f, 0, 0, 0, 0, nullptr, 0, nullptr, 1)) {
            EXPECT_EQ(c->faceCount && c->vertexCount >= 3, false) << "preparation refused";
            pelFreeObject(&c);
            continue;
        }
        ASSERT_EQ(c->faceCount, want.nb.size());
        uint32_t mismatches = 0;
        for (uint32_t f = 0; f < c->faceCount; ++f)
            for (uint32_t k = 0; k < 4; ++k)
                mismatches += (c->faces[f].nb[k] != want.nb[f][k]) + (c->faces[f].v[k] != want.v[f][k]);
        EXPECT_EQ(mismatches, 0u);
        ASSERT_EQ(parse(bytes), 1);
        for (uint32_t f = 0; f < c->faceCount; ++f)
            mismatches += std::memcmp(c->faces[f].nb, content->faces[f].nb, sizeof c->faces[f].nb) != 0;
        EXPECT_EQ(mismatches, 0u) << "the parse's own tables";
        pelFreeObject(&c);
        ++compared;
        errReset();
    }
    EXPECT_GT(compared, 150u);
}

TEST_F(QivStreamTest, SwitchLightsAndSmallHelpers) {
    EXPECT_EQ(scnSwitchLights(nullptr, 1), 0);
    ScnNode bare{};
    EXPECT_EQ(scnSwitchLights(&bare, 1), 1);

    ASSERT_EQ(parse(qse::encode(qse::encodeModel(qse::sampleModel(), qse::Layout::Ordered))), 1);
    ScnNode* node = nullptr;
    ASSERT_EQ(scnNodeCreate(content, 0, nullptr, nullptr, nullptr, &node), 1);
    ltUpdateActive(1, 0);
    ASSERT_FALSE(ltChanged());
    EXPECT_EQ(scnSwitchLights(node, 0), 1);
    EXPECT_EQ(node->lights[0]->on, 0);
    EXPECT_TRUE(ltChanged());
    ltUpdateActive(0, 0);
    EXPECT_EQ(ltFirstActive(), nullptr);
    EXPECT_EQ(scnSwitchLights(node, 1), 1);
    ltUpdateActive(0, 0);
    EXPECT_EQ(ltFirstActive(), node->lights[0]);

    LightRecord** lights = node->lights;  // a node whose light array is missing
    node->lights = nullptr;
    EXPECT_EQ(scnSwitchLights(node, 1), 0);
    node->lights = lights;
    EXPECT_EQ(scnNodeFree(&node, nullptr), 1);

    EXPECT_EQ(pelFreeStream(nullptr), 0);
    PelStreamInfo* none = nullptr;
    EXPECT_EQ(pelFreeStream(&none), 0);
    EXPECT_EQ(pelFreeStream(&info), 1);
    EXPECT_EQ(info, nullptr);

    const uint8_t buf[8] = {};
    EXPECT_EQ(pelStreamCursorOk(buf, buf + 8, 8), 1);
    EXPECT_EQ(pelStreamCursorOk(buf + 1, buf + 8, 8), 0);
    EXPECT_EQ(pelStreamCursorOk(buf + 4, buf + 8, SIZE_MAX), 0);
    EXPECT_EQ(pelStreamCursorOk(buf + 8, buf + 4, 0), 0);
}

}  // namespace

// Test-side encoder of object streams, written byte by byte in little-endian;
// independent of the parser under test. Raw records for hand-made commands, and
// a model encoder that quantises plain meshes in one of the face layouts.
#pragma once
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "scene/tests/byte_writer.h"

namespace qse {

using testbytes::Bytes;
using testbytes::put16;
using testbytes::put32;
using testbytes::putf;
using testbytes::set32;

constexpr uint8_t kGuid[16] = {0x0A, 0xD4, 0x00, 0x08, 0x9B, 0x27, 0xD3, 0x11,
                               0x88, 0x28, 0x00, 0x60, 0x08, 0x57, 0xF4, 0x5C};
constexpr double kStep = 3.051851e-5;

inline void put8(Bytes& b, uint32_t v) { b.push_back(uint8_t(v)); }

struct Light {
    uint8_t rgb[3] = {255, 255, 255};
    float pos[3] = {0, 0, 0};
};
struct Material {
    uint8_t diffuse[3] = {128, 128, 128};
    uint8_t specular[3] = {255, 255, 255};
    uint16_t alpha = 0;                 // / 65536
    uint16_t ambient = 64, diffuseCo = 192, specularCo = 128, exponent = 1024;  // / 256
    uint16_t area = 0;
    uint8_t extra = 0;
    uint8_t flags = 0;
};

// One geometry command; the fields are written as the (replaced) command word's bits ask.
struct Command {
    uint16_t word = 0;
    bool replace = false;  // word must then carry 0x80 | 0x400
    uint16_t replacement = 0;
    uint8_t options = 0;
    uint16_t delta[5] = {0, 0, 0, 0, 0};
    uint16_t material = 0;
    uint16_t ref[4] = {0, 1, 2, 3};  // A, B, C, D
};

struct Part {
    bool instance = false;
    float matrix[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};  // rows 0..3, three values each
    uint16_t source = 0;
    float box[6] = {0, 0, 0, 1, 1, 1};
    float uRange[2] = {0, 1};
    float vRange[2] = {0, 1};
    uint16_t vertexCount = 0;
    uint16_t faceCount = 0;
    int32_t commandCount = -1;  // -1: the number of commands
    std::vector<Command> commands;
};

struct Object {
    bool guid = true;
    uint32_t magic = 0x31766951u;  // "Qiv1"
    float box[6] = {-1, -1, -1, 1, 1, 1};
    uint32_t hostValue = 0;
    uint16_t objectFlags = 0;
    int64_t vertexCount = -1, faceCount = -1;  // header overrides (-1: the parts' sums)
    std::string name = "Stream object";        // written with its zero; empty: no name
    Bytes areaNames;                           // raw area-name texts
    uint16_t areaCount = 0;
    std::vector<Light> lights;
    std::vector<Material> materials;
    std::vector<Part> parts;
    std::vector<float> edgeValues;
    uint32_t gap = 0;  // bytes between the edge section and the object header
};

inline void putCommand(Bytes& b, const Command& c) {
    put16(b, c.word);
    uint32_t w = c.word;
    if ((w & 0x80) && (w & 0x400)) {
        put16(b, c.replacement);
        w = c.replacement;
    }
    if (w & 1) put8(b, c.options);
    for (int k = 0; k < 5; ++k)
        if (w & (2u << k)) put16(b, c.delta[k]);
    if (w & 64) put16(b, c.material);
    auto ref = [&](uint32_t v) { (w & 0x200) ? put16(b, v) : put8(b, v); };
    if (w & 0x400) ref(c.ref[0]);
    if (w & 0x800) ref(c.ref[1]);
    if (w & 0x1000) ref(c.ref[2]);
    if ((c.options & 1) && (c.options & 2)) ref(c.ref[3]);
}

// The 46 bytes behind a geometry part's kind byte, then its commands.
inline Bytes partBody(const Part& p) {
    Bytes b;
    for (float f : p.box) putf(b, f);
    putf(b, p.uRange[0]);
    putf(b, p.uRange[1]);
    putf(b, p.vRange[0]);
    putf(b, p.vRange[1]);
    put16(b, p.vertexCount);
    put16(b, p.faceCount);
    put16(b, p.commandCount >= 0 ? uint32_t(p.commandCount) : uint32_t(p.commands.size()));
    for (const Command& c : p.commands) putCommand(b, c);
    return b;
}

inline Bytes encode(const Object& o) {
    Bytes b;
    if (o.guid) b.insert(b.end(), kGuid, kGuid + 16);
    const size_t block = b.size();
    const uint32_t n = uint32_t(o.edgeValues.size());
    for (int i = 0; i < 10; ++i) put32(b, 0);
    set32(b, block, o.magic);
    set32(b, block + 20, 40 + 4 * n + o.gap);
    set32(b, block + 36, n);
    for (float f : o.edgeValues) putf(b, f);
    b.resize(b.size() + o.gap, 0);

    uint64_t vertices = 0, faces = 0;
    for (const Part& p : o.parts) {
        const Part& counted = p.instance && p.source < o.parts.size() ? o.parts[p.source] : p;
        vertices += counted.vertexCount;
        faces += counted.faceCount;
    }
    const uint32_t nameBytes = o.name.empty() ? 0 : uint32_t(o.name.size() + 1);
    for (float f : o.box) putf(b, f);
    put32(b, o.hostValue);
    put16(b, o.objectFlags);
    put32(b, uint32_t(o.vertexCount >= 0 ? uint64_t(o.vertexCount) : vertices));
    put32(b, uint32_t(o.faceCount >= 0 ? uint64_t(o.faceCount) : faces));
    put16(b, nameBytes);
    put16(b, uint32_t(o.areaNames.size()));
    put16(b, uint32_t(o.lights.size()));
    put16(b, uint32_t(o.materials.size()));
    put16(b, o.areaCount);
    put16(b, uint32_t(o.parts.size()));
    if (nameBytes) b.insert(b.end(), o.name.c_str(), o.name.c_str() + nameBytes);
    b.insert(b.end(), o.areaNames.begin(), o.areaNames.end());
    for (const Light& l : o.lights) {
        b.insert(b.end(), l.rgb, l.rgb + 3);
        for (float f : l.pos) putf(b, f);
    }
    for (const Material& m : o.materials) {
        b.insert(b.end(), m.diffuse, m.diffuse + 3);
        b.insert(b.end(), m.specular, m.specular + 3);
        put16(b, m.alpha);
        put16(b, m.ambient);
        put16(b, m.diffuseCo);
        put16(b, m.specularCo);
        put16(b, m.exponent);
        put16(b, m.area);
        put8(b, m.extra);
        put8(b, m.flags);
    }
    for (const Part& p : o.parts) {
        put8(b, p.instance ? 1 : 0);
        if (p.instance) {
            for (float f : p.matrix) putf(b, f);
            put16(b, p.source);
        } else {
            Bytes body = partBody(p);
            b.insert(b.end(), body.begin(), body.end());
        }
    }
    set32(b, block + 4, uint32_t(b.size() - block));  // the block's size
    return b;
}

// ---------------------------------------------------------------------------
// Models: plain meshes quantised into geometry commands.

using Vtx = std::array<float, 5>;  // x, y, z, u, v
struct Face {
    std::array<uint32_t, 4> v;  // indices within the mesh
    bool quad = false;
    uint16_t material = 0;
};
struct Mesh {
    float box[6] = {0, 0, 0, 1, 1, 1};
    float uRange[2] = {0, 1};
    float vRange[2] = {0, 1};
    std::vector<Vtx> vertices;
    std::vector<Face> faces;
};

// Ordered: command bit 0x100 with references A, B, C (, D). Unordered: bit 0x100 clear, so
// quadrilaterals take the layout A, D, C, B and triangles A, C, B.
enum class Layout { Ordered, Unordered };

inline int16_t quantise(float x, float lo, float hi) {
    if (hi == lo) return 0;
    double s = std::round((double(x) - lo) / ((double(hi) - lo) * kStep));
    return int16_t(std::clamp(s, -32768.0, 32767.0));
}
// The value a parser computes from a running sum.
inline float dequantise(int16_t s, float lo, float hi) { return float(double(s) * (double(hi) - lo) * kStep + lo); }

inline std::array<int16_t, 5> quantiseVertex(const Mesh& m, const Vtx& v) {
    return {quantise(v[0], m.box[0], m.box[3]), quantise(v[1], m.box[1], m.box[4]),
            quantise(v[2], m.box[2], m.box[5]), quantise(v[3], m.uRange[0], m.uRange[1]),
            quantise(v[4], m.vRange[0], m.vRange[1])};
}
// The mesh's vertices as they come out of the stream.
inline std::vector<Vtx> decodedVertices(const Mesh& m) {
    std::vector<Vtx> out;
    for (const Vtx& v : m.vertices) {
        auto s = quantiseVertex(m, v);
        out.push_back({dequantise(s[0], m.box[0], m.box[3]), dequantise(s[1], m.box[1], m.box[4]),
                       dequantise(s[2], m.box[2], m.box[5]), dequantise(s[3], m.uRange[0], m.uRange[1]),
                       dequantise(s[4], m.vRange[0], m.vRange[1])});
    }
    return out;
}

// A face becomes one command, together with its last vertex when that is the next one due.
inline Part meshPart(const Mesh& m, Layout layout, bool wideRefs = false) {
    Part p;
    std::copy(m.box, m.box + 6, p.box);
    std::copy(m.uRange, m.uRange + 2, p.uRange);
    std::copy(m.vRange, m.vRange + 2, p.vRange);
    p.vertexCount = uint16_t(m.vertices.size());
    p.faceCount = uint16_t(m.faces.size());
    std::array<int16_t, 5> sums{};
    uint32_t next = 0;
    uint16_t material = 0;
    auto addVertex = [&](Command& c) {
        auto s = quantiseVertex(m, m.vertices[next++]);
        for (int k = 0; k < 5; ++k) {
            uint16_t d = uint16_t(uint16_t(s[k]) - uint16_t(sums[k]));
            if (d) {
                c.word |= uint16_t(2u << k);
                c.delta[k] = d;
            }
            sums[k] = s[k];
        }
        if (!(c.word & 0x3E)) c.word |= 2;  // a repeated vertex still needs one delta
    };
    for (const Face& f : m.faces) {
        const int n = f.quad ? 4 : 3;
        uint32_t top = *std::max_element(f.v.begin(), f.v.begin() + n);
        while (next < top) {
            Command c;
            c.word = 0x80;
            addVertex(c);
            p.commands.push_back(c);
        }
        Command c;
        if (next == top) addVertex(c);
        const uint32_t last = next - 1;
        uint16_t r[4] = {0, 0, 0, 0};
        for (int k = 0; k < n; ++k) r[k] = uint16_t(last - f.v[k]);
        uint16_t a = r[0], b, cc, d = 3;
        if (layout == Layout::Ordered) {
            c.word |= 0x100;
            b = r[1];
            cc = r[2];
            if (f.quad) d = r[3];
        } else if (f.quad) {
            d = r[1];
            cc = r[2];
            b = r[3];
        } else {
            cc = r[1];
            b = r[2];
        }
        bool wide = wideRefs || a > 255 || b > 255 || cc > 255 || d > 255;
        if (wide) c.word |= 0x200;
        if (a != 0) c.word |= 0x400;
        if (b != 1) c.word |= 0x800;
        if (cc != 2) c.word |= 0x1000;
        c.ref[0] = a;
        c.ref[1] = b;
        c.ref[2] = cc;
        c.ref[3] = d;
        if (f.quad) {
            c.word |= 1;
            c.options = 1 | 2;
        }
        if (f.material != material) {
            c.word |= 64;
            c.material = f.material;
            material = f.material;
        }
        p.commands.push_back(c);
    }
    while (next < m.vertices.size()) {
        Command c;
        c.word = 0x80;
        addVertex(c);
        p.commands.push_back(c);
    }
    return p;
}

inline Part instancePart(uint16_t source, const float matrix[12]) {
    Part p;
    p.instance = true;
    p.source = source;
    std::copy(matrix, matrix + 12, p.matrix);
    return p;
}

// An object to encode: meshes and instances of them, in part order.
struct Model {
    struct Entry {
        int mesh = -1;        // geometry part: index into meshes
        uint16_t source = 0;  // instance: source part
        float matrix[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    };
    std::vector<Mesh> meshes;
    std::vector<Entry> parts;
    Object head;  // everything but the parts
};

inline Object encodeModel(const Model& model, Layout layout, bool guid = true, bool wideRefs = false) {
    Object o = model.head;
    o.guid = guid;
    for (const Model::Entry& e : model.parts)
        o.parts.push_back(e.mesh >= 0 ? meshPart(model.meshes[size_t(e.mesh)], layout, wideRefs)
                                      : instancePart(e.source, e.matrix));
    return o;
}

// A small object: a box corner of quads and triangles over three materials (one textured,
// one two-sided, one translucent), a fan of triangles, and an instance of the fan.
inline Model sampleModel() {
    Model md;
    Object& h = md.head;
    h.box[0] = -2, h.box[1] = -2, h.box[2] = -2, h.box[3] = 2, h.box[4] = 2, h.box[5] = 2;
    h.hostValue = 0xC0FFEE;
    h.objectFlags = 1 | 16;
    h.name = "Corner";
    const char names[] = "wood.bmp\0stone.bmp\0";
    h.areaNames.assign(names, names + sizeof names);
    h.areaCount = 2;
    Light l;
    l.rgb[0] = 255, l.rgb[1] = 128, l.rgb[2] = 0;
    l.pos[0] = 5, l.pos[1] = 6, l.pos[2] = 7;
    h.lights = {l};
    Material m0;  // textured, area 1
    m0.diffuse[0] = 255;
    m0.flags = 1;
    m0.area = 1;
    m0.extra = 5;
    Material m1;  // two-sided
    m1.diffuse[1] = 200;
    m1.flags = 16;
    Material m2;  // translucent
    m2.alpha = 0x4000;
    m2.diffuse[2] = 10;
    m2.area = 9;  // beyond the areas
    h.materials = {m0, m1, m2};

    Mesh corner;
    corner.box[0] = -1, corner.box[1] = -1, corner.box[2] = -1;
    corner.vertices = {{-1, -1, 0, 0, 0}, {1, -1, 0, 1, 0}, {1, 1, 0, 1, 1},     {-1, 1, 0, 0, 1},
                       {-1, -1, 1, 0.5f, 0}, {1, -1, 1, 0.5f, 1}, {0.25f, 0.75f, 0.5f, 0.3f, 0.7f}};
    corner.faces = {{{0, 1, 2, 3}, true, 0},
                    {{0, 1, 5, 4}, true, 1},
                    {{2, 3, 6, 0}, false, 1},
                    {{1, 2, 5, 0}, false, 2}};
    Mesh fan;
    fan.box[0] = 0, fan.box[1] = 0, fan.box[2] = 0, fan.box[3] = 1, fan.box[4] = 1, fan.box[5] = 0.5f;
    fan.vertices = {{0, 0, 0, 0, 0}, {1, 0, 0, 1, 0}, {1, 1, 0.5f, 1, 1}, {0, 1, 0.25f, 0, 1},
                    {0.5f, 0.5f, 0, 0.5f, 0.5f}};
    fan.faces = {{{4, 0, 1, 0}, false, 1}, {{4, 1, 2, 0}, false, 1}, {{4, 2, 3, 0}, false, 0},
                 {{4, 3, 0, 0}, false, 1}};
    md.meshes = {corner, fan};
    Model::Entry e0;
    e0.mesh = 0;
    Model::Entry e1;
    e1.mesh = 1;
    Model::Entry e2;
    e2.source = 1;
    const float shift[12] = {0, 1, 0, -1, 0, 0, 0, 0, 1, 0.5f, -0.5f, 1};  // quarter turn about z, moved
    std::copy(shift, shift + 12, e2.matrix);
    md.parts = {e0, e1, e2};
    return md;
}

}  // namespace qse

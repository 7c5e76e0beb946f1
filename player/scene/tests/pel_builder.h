// Test-side builder of PEL/KVO object files from plain descriptions, written
// byte by byte in little-endian; independent of the reader under test.
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "scene/tests/byte_writer.h"

namespace pelb {

using testbytes::Bytes;
using testbytes::put16;
using testbytes::put32;
using testbytes::putf;
using testbytes::set32;
using testbytes::get32;

struct Light {
    float rgb[3] = {1, 1, 1};
    float pos[3] = {0, 0, 0};
};
struct Material {
    float diffuse[3] = {0.5f, 0.5f, 0.5f};
    float specular[3] = {1, 1, 1};
    float alpha = 0;
    float ambient = 0.2f, diffuseCo = 0.8f, specularCo = 0.5f, exponent = 4;
    uint32_t area = 0;
    uint32_t flags = 0;
};
struct Part {
    float box[6] = {-1, -1, -1, 1, 1, 1};
    uint32_t vertexCount = 0;
    int32_t faceCount = 0;
};
struct Normal {
    float x = 0, y = 0, z = 1;
};
struct Vertex {
    float x = 0, y = 0, z = 0, u = 0, v = 0;
    uint32_t normal = 65535;  // none
    uint16_t flags = 0;
};
struct Face {
    float dist = 0;
    uint32_t v[4] = {0, 1, 2, 0};
    uint32_t nb[4] = {0, 0, 0, 0};
    uint16_t flags = 0;
    uint32_t normal = 0;
    uint16_t material = 0;
    uint16_t area = 0;
};
struct Chunk {
    uint32_t id = 0;
    Bytes data;
};

struct Object {
    std::string magic = "PEL V1.0";
    std::string name = "Test object";
    int nameLength = -1;            // length byte override (-1: the name's length)
    uint32_t headerFlags = 0;
    float size[3] = {2, 2, 2};
    uint32_t callerValue = 0;
    uint32_t faceCountField = 0;
    int64_t areaNameBytes = -1;     // header offset 116 (-1: 256 x areas, 0 without areas)
    std::vector<Light> lights;
    std::vector<Material> materials;
    std::vector<std::string> areas;
    std::vector<Part> parts;
    std::vector<Normal> vertexNormals, faceNormals;
    std::vector<Vertex> vertices;
    std::vector<Face> faces;
    Bytes preview, outline;         // opaque blocks behind the geometry
    std::vector<Chunk> chunks;
    bool continuation = false;      // force a continuation record even for <= 4 chunks
    // Count overrides of the geometry block header (-1: the real counts).
    int64_t counts[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
};

inline void putCounted(Bytes& b, size_t width, const std::string& s, int lengthByte = -1) {
    size_t start = b.size();
    b.resize(start + width, 0);
    size_t n = s.size() < width - 1 ? s.size() : width - 1;
    b[start] = uint8_t(lengthByte >= 0 ? lengthByte : int(n));
    std::memcpy(b.data() + start + 1, s.data(), n);
}
inline uint32_t byteSum(const Bytes& b, size_t from = 0, size_t n = SIZE_MAX) {
    uint32_t s = 0;
    for (size_t i = from; i < b.size() && i - from < n; ++i) s += b[i];
    return s;
}

inline bool longVertices(const Object& o) { return o.vertices.size() > 65534; }
inline bool longFaces(const Object& o) { return o.vertices.size() > 65534 || o.faces.size() > 65534; }

inline Bytes geometryBlock(const Object& o) {
    Bytes b;
    const uint32_t real[8] = {uint32_t(o.lights.size()),        uint32_t(o.materials.size()),
                              uint32_t(o.areas.size()),         uint32_t(o.parts.size()),
                              uint32_t(o.vertexNormals.size()), uint32_t(o.faceNormals.size()),
                              uint32_t(o.vertices.size()),      uint32_t(o.faces.size())};
    for (int i = 0; i < 8; ++i) put32(b, o.counts[i] >= 0 ? uint32_t(o.counts[i]) : real[i]);
    for (int i = 0; i < 8; ++i) put32(b, 0);
    for (const Light& l : o.lights) {
        for (float f : l.rgb) putf(b, f);
        for (float f : l.pos) putf(b, f);
        put32(b, 0);
        put32(b, 0);
    }
    for (const Material& m : o.materials) {
        for (float f : m.diffuse) putf(b, f);
        for (float f : m.specular) putf(b, f);
        putf(b, m.alpha);
        putf(b, m.ambient);
        putf(b, m.diffuseCo);
        putf(b, m.specularCo);
        putf(b, m.exponent);
        put32(b, m.area);
        put32(b, m.flags);
        put32(b, 0);
        put32(b, 0);
        put32(b, 0);
    }
    bool names = o.areaNameBytes != 0 && !(o.areaNameBytes < 0 && o.areas.empty());
    if (names)
        for (const std::string& a : o.areas) putCounted(b, 256, a);
    for (const Part& p : o.parts) {
        for (float f : p.box) putf(b, f);
        put32(b, p.vertexCount);
        put32(b, uint32_t(p.faceCount));
        put32(b, 0);
        put32(b, 0);
    }
    for (const Normal& n : o.vertexNormals) {
        putf(b, n.x);
        putf(b, n.y);
        putf(b, n.z);
    }
    for (const Normal& n : o.faceNormals) {
        putf(b, n.x);
        putf(b, n.y);
        putf(b, n.z);
    }
    const bool lv = longVertices(o), lf = longFaces(o);
    for (const Vertex& v : o.vertices) {
        putf(b, v.x);
        putf(b, v.y);
        putf(b, v.z);
        putf(b, v.u);
        putf(b, v.v);
        if (lv)
            put32(b, v.normal);
        else
            put16(b, v.normal);
        put16(b, v.flags);
    }
    for (const Face& f : o.faces) {
        putf(b, f.dist);
        if (lf) {
            for (uint32_t x : f.v) put32(b, x);
            for (uint32_t x : f.nb) put32(b, x);
            put16(b, f.flags);
            put32(b, f.normal);
        } else {
            for (uint32_t x : f.v) put16(b, x);
            for (uint32_t x : f.nb) put16(b, x);
            put16(b, f.flags);
            put16(b, f.normal);
        }
        put16(b, f.material);
        put16(b, f.area);
    }
    return b;
}

inline void putEntry(Bytes& b, size_t at, uint32_t id, uint32_t off, uint32_t size, uint32_t extra) {
    set32(b, at, id);
    set32(b, at + 4, off);
    set32(b, at + 8, size);
    set32(b, at + 12, extra);
}

// The whole file: header, geometry, preview, outline, chunks, continuation table.
inline Bytes build(const Object& o) {
    Bytes f;
    putCounted(f, 24, o.magic);
    f.resize(256, 0);
    Bytes geo = geometryBlock(o);
    const uint32_t geoOffset = 256;
    f.insert(f.end(), geo.begin(), geo.end());
    uint32_t previewOffset = 0, outlineOffset = 0;
    if (!o.preview.empty()) {
        previewOffset = uint32_t(f.size());
        f.insert(f.end(), o.preview.begin(), o.preview.end());
    }
    if (!o.outline.empty()) {
        outlineOffset = uint32_t(f.size());
        f.insert(f.end(), o.outline.begin(), o.outline.end());
    }
    std::vector<std::pair<uint32_t, uint32_t>> at;  // offset, size
    for (const Chunk& c : o.chunks) {
        at.push_back({uint32_t(f.size()), uint32_t(c.data.size())});
        f.insert(f.end(), c.data.begin(), c.data.end());
    }
    const size_t n = o.chunks.size();
    const bool cont = n > 4 || (o.continuation && n >= 3);
    size_t inSlots = cont ? 3 : n;
    for (size_t i = 0; i < inSlots; ++i)
        putEntry(f, 24 + 16 * i, o.chunks[i].id, at[i].first, at[i].second, byteSum(o.chunks[i].data));
    if (cont) {
        putEntry(f, 72, 0xFFFFFFFFu, uint32_t(f.size()), uint32_t(n), 0);
        for (size_t i = 3; i < n; ++i) {
            size_t p = f.size();
            f.resize(p + 16);
            putEntry(f, p, o.chunks[i].id, at[i].first, at[i].second, byteSum(o.chunks[i].data));
        }
    }
    set32(f, 88, uint32_t(f.size()));
    set32(f, 92, o.headerFlags);
    for (int i = 0; i < 3; ++i) {
        uint32_t w;
        std::memcpy(&w, &o.size[i], 4);
        set32(f, 96 + 4 * i, w);
    }
    set32(f, 108, o.callerValue);
    set32(f, 112, o.faceCountField);
    uint32_t areaBytes = o.areaNameBytes >= 0 ? uint32_t(o.areaNameBytes) : uint32_t(256 * o.areas.size());
    set32(f, 116, areaBytes);
    {
        Bytes name;
        putCounted(name, 100, o.name, o.nameLength);
        std::memcpy(f.data() + 120, name.data(), 100);
    }
    set32(f, 220, geoOffset);
    set32(f, 224, uint32_t(geo.size()));
    set32(f, 228, byteSum(geo));
    set32(f, 232, previewOffset);
    set32(f, 236, uint32_t(o.preview.size()));
    set32(f, 240, byteSum(o.preview));
    set32(f, 244, outlineOffset);
    set32(f, 248, uint32_t(o.outline.size()));
    set32(f, 252, byteSum(o.outline));
    return f;
}

// A text list from entries of (language, text) segments; an entry without
// segments is written as 0x00 or, with emptyMark, as 0x01 0x00.
using TextEntry = std::vector<std::pair<std::string, std::string>>;
inline Bytes textList(const std::vector<TextEntry>& entries, bool emptyMark = false) {
    Bytes b;
    for (const TextEntry& e : entries) {
        if (e.empty() && emptyMark) b.push_back(1);
        for (const auto& [lang, text] : e) {
            b.insert(b.end(), lang.begin(), lang.end());
            b.insert(b.end(), text.begin(), text.end());
            b.push_back(1);
        }
        b.push_back(0);
    }
    return b;
}

inline Bytes u32List(const std::vector<uint32_t>& words) {
    Bytes b;
    for (uint32_t w : words) put32(b, w);
    return b;
}

// A small valid object: two parts (a quad and a triangle, then a triangle),
// lights, materials, two areas, normals and three chunks.
inline Object sample() {
    Object o;
    o.name = "Sample";
    o.headerFlags = 1 | 2;
    o.size[0] = 4;
    o.size[1] = 2;
    o.size[2] = 6;
    o.callerValue = 0x1234;
    o.faceCountField = 3;
    o.lights.push_back({{1, 0.5f, 0.25f}, {10, 20, 30}});
    Material m0;
    m0.flags = 1 | 16 | 64 | 128;  // textured, two-sided; 64 and 128 are dropped
    m0.area = 0;
    Material m1;
    m1.alpha = 0.95f;
    m1.area = 7;  // beyond the areas: becomes 0
    m1.exponent = 0.05f;
    o.materials = {m0, m1};
    o.areas = {"wood.bmp", "stone.bmp"};
    Part p0;
    p0.vertexCount = 5;
    p0.faceCount = 2;
    Part p1;
    p1.box[0] = -2;
    p1.vertexCount = 3;
    p1.faceCount = -1;
    o.parts = {p0, p1};
    o.vertexNormals = {{0, 0, 1}, {0, 1, 0}};
    o.faceNormals = {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}};
    for (int i = 0; i < 8; ++i) {
        Vertex v;
        v.x = float(i);
        v.y = float(i * 2);
        v.z = float(i * 3);
        v.u = 0.25f * i;
        v.v = 0.5f;
        o.vertices.push_back(v);
    }
    o.vertices[0].normal = 1;
    o.vertices[1].flags = 0x7E00 | 0x20;
    o.vertices[2].flags = 0x7E00 | 0x10;
    o.vertices[3].flags = 0x3E00 | 0x30;  // incomplete mark: ignored
    o.vertices[4].u = 1000.0f;
    o.vertices[4].v = 1000.5f;
    Face quad;
    quad.v[0] = 0;
    quad.v[1] = 1;
    quad.v[2] = 2;
    quad.v[3] = 3;
    quad.nb[0] = 1;
    quad.nb[1] = 0;  // open edges 1..3
    quad.nb[2] = 0;
    quad.nb[3] = 0;
    quad.flags = 1 | 4;
    quad.normal = 0;
    quad.dist = 1.5f;
    quad.material = 0;
    quad.area = 0;
    Face tri;
    tri.v[0] = 2;
    tri.v[1] = 3;
    tri.v[2] = 4;
    tri.nb[0] = 0;
    tri.nb[1] = 1;
    tri.nb[2] = 1;
    tri.normal = 1;
    tri.material = 1;
    tri.area = 1;
    Face tri2;
    tri2.v[0] = 5;
    tri2.v[1] = 6;
    tri2.v[2] = 7;
    tri2.nb[0] = 2;
    tri2.nb[1] = 2;
    tri2.nb[2] = 2;
    tri2.normal = 2;
    tri2.material = 9;  // beyond the materials: becomes 0
    tri2.area = 9;
    o.faces = {quad, tri, tri2};
    o.chunks.push_back({0x10000, textList({{{"DE", "Teil eins"}, {"XX", "part one"}}, {{"EN", "second"}}})});
    o.chunks.push_back({0x10001, textList({{{"XX", "object"}}, {{"XX", "file name"}}})});
    o.chunks.push_back({21, u32List({7, 9})});
    return o;
}

// ---- Animation blocks (chunk 20) ----------------------------------------------

struct AnimKeyDef {
    float time = 0;
    std::vector<float> value;    // the list's dimension
    uint32_t flags = 0;
    float params[5] = {};        // written for each set bit 1..16, in bit order
    std::vector<float> in, out;  // written when flag 32 is set
};
struct AnimListDef {
    uint32_t dimension = 3;
    std::vector<AnimKeyDef> keys;
    float start = 0, end = 1;
    uint32_t before = 0, after = 0;
    uint32_t spherical = 0;
    int sharedWith = -1;  // list index (track * 4 + slot) whose key entries this header names
};
struct AnimTrackDef {
    float pre[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    float post[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    bool has[4] = {false, false, false, false};  // position, rotation, scale, extra
    AnimListDef lists[4];
    float pivot[3] = {0, 0, 0};
    int32_t parent = -1;
};
struct AnimDescDef {
    std::string name;
    float start = 0, end = 1;
    uint16_t before = 0, after = 0;
    uint32_t flags = 0;
    uint32_t words[4] = {0, 0, 0, 0};  // name bytes 111..126 (written with flag 4)
    std::vector<uint32_t> indices;
};
struct AnimBlockDef {
    float frameRate = 15;
    std::vector<AnimTrackDef> tracks;
    std::vector<AnimDescDef> descs;
    std::vector<uint32_t> partMap;
};

// Words reserved per vector by list slot.
inline uint32_t animReserved(int slot) { return slot == 1 ? 5 : slot == 3 ? 4 : 3; }

inline Bytes animBlock(const AnimBlockDef& a) {
    Bytes recs, descs, keys, values;
    const size_t trackBytes = [&] {
        size_t n = 0;
        for (const AnimTrackDef& t : a.tracks) {
            n += 148;
            for (bool h : t.has) n += h ? 32 : 0;
        }
        return n;
    }();
    size_t descBytes = 0, indexWords = 0;
    for (const AnimDescDef& d : a.descs) descBytes += 148 + 4 * d.indices.size(), indexWords += d.indices.size();
    const size_t keyArea = 108 + trackBytes + descBytes;
    // Key entries and values of every list, in list order; offsets of each list's entries.
    std::vector<uint32_t> listOffset(a.tracks.size() * 4, 0);
    uint32_t keyCount = 0;
    for (size_t t = 0; t < a.tracks.size(); ++t)
        for (int s = 0; s < 4; ++s) {
            const AnimListDef& l = a.tracks[t].lists[s];
            if (!a.tracks[t].has[s] || l.sharedWith >= 0) continue;
            listOffset[t * 4 + s] = uint32_t(keyArea + keys.size());
            for (const AnimKeyDef& k : l.keys) {
                put32(keys, uint32_t(values.size() / 4));
                putf(keys, k.time);
                put32(keys, k.flags);
                for (int b = 0; b < 5; ++b)
                    if (k.flags & (1u << b)) putf(keys, k.params[b]);
                ++keyCount;
                auto vec = [&](const std::vector<float>& v) {
                    for (uint32_t i = 0; i < animReserved(s); ++i) putf(values, i < v.size() ? v[i] : 0.0f);
                };
                vec(k.value);
                if (k.flags & 32) {
                    vec(k.in);
                    vec(k.out);
                }
            }
        }
    for (size_t t = 0; t < a.tracks.size(); ++t) {
        const AnimTrackDef& tr = a.tracks[t];
        for (float f : tr.pre) putf(recs, f);
        for (float f : tr.post) putf(recs, f);
        uint32_t bits = 0;
        for (int s = 0; s < 4; ++s) bits |= tr.has[s] ? 1u << s : 0u;
        put32(recs, bits);
        for (float f : tr.pivot) putf(recs, f);
        put32(recs, uint32_t(tr.parent));
        for (int s = 0; s < 4; ++s) {
            if (!tr.has[s]) continue;
            const AnimListDef& l = tr.lists[s];
            put32(recs, uint32_t(l.keys.size()));
            put32(recs, l.dimension);
            put32(recs, l.sharedWith >= 0 ? listOffset[size_t(l.sharedWith)] : listOffset[t * 4 + s]);
            putf(recs, l.start);
            putf(recs, l.end);
            put32(recs, l.before);
            put32(recs, l.after);
            put32(recs, l.spherical);
        }
    }
    for (const AnimDescDef& d : a.descs) {
        size_t at = descs.size();
        descs.resize(at + 128, 0);
        std::memcpy(descs.data() + at, d.name.data(), d.name.size() < 127 ? d.name.size() : 127);
        if (d.flags & 4)
            for (int w = 0; w < 4; ++w) set32(descs, at + 111 + 4 * w, d.words[w]);
        put32(descs, uint32_t(d.indices.size()));
        putf(descs, d.start);
        putf(descs, d.end);
        put16(descs, d.before);
        put16(descs, d.after);
        put32(descs, d.flags);
        for (uint32_t i : d.indices) put32(descs, i);
    }
    Bytes b(60, 0);
    putf(b, a.frameRate);
    put32(b, uint32_t(a.tracks.size()));
    put32(b, uint32_t(a.descs.size()));
    put32(b, uint32_t(indexWords));
    put32(b, keyCount);
    put32(b, uint32_t(values.size() / 4));
    put32(b, uint32_t(a.partMap.size()));
    put32(b, 108);
    put32(b, uint32_t(108 + trackBytes));
    put32(b, uint32_t(keyArea));
    put32(b, uint32_t(keyArea + keys.size()));
    put32(b, uint32_t(keyArea + keys.size() + values.size()));
    for (const Bytes* part : {&recs, &descs, &keys, &values}) b.insert(b.end(), part->begin(), part->end());
    for (uint32_t p : a.partMap) put32(b, p);
    return b;
}

// A one-track position list of the given 3-vectors at times 0, 1, 2, ...
inline AnimTrackDef positionTrack(const std::vector<std::vector<float>>& points, uint32_t after = 0) {
    AnimTrackDef t;
    t.has[0] = true;
    AnimListDef& l = t.lists[0];
    for (size_t i = 0; i < points.size(); ++i) {
        AnimKeyDef k;
        k.time = float(i);
        k.value = points[i];
        l.keys.push_back(k);
    }
    l.end = points.empty() ? 0.0f : float(points.size() - 1);
    l.after = after;
    return t;
}

inline void writeFile(const std::filesystem::path& p, const Bytes& b) {
    std::FILE* f = std::fopen(p.string().c_str(), "wb");
    if (!f) return;
    if (!b.empty()) std::fwrite(b.data(), 1, b.size(), f);
    std::fclose(f);
}
inline Bytes readFile(const std::filesystem::path& p) {
    Bytes b;
    std::FILE* f = std::fopen(p.string().c_str(), "rb");
    if (!f) return b;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) b.insert(b.end(), buf, buf + n);
    std::fclose(f);
    return b;
}

// A folder of its own under the system's temporary folder, removed at the end.
class TempDir {
public:
    explicit TempDir(const std::string& tag) {
        static unsigned serial = 0;
        auto base = std::filesystem::temp_directory_path();
        for (unsigned i = 0; i < 1000; ++i) {
            dir_ = base / ("qivpel_" + tag + "_" + std::to_string(reinterpret_cast<uintptr_t>(this) & 0xFFFFFF) +
                           "_" + std::to_string(serial++));
            std::error_code ec;
            if (std::filesystem::create_directory(dir_, ec)) break;
        }
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    std::filesystem::path operator/(const std::string& name) const { return dir_ / name; }
    const std::filesystem::path& path() const { return dir_; }

private:
    std::filesystem::path dir_;
};

}  // namespace pelb

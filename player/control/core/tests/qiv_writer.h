// Test-side writer of Qiv containers: outer header, payload (deflated or stored) whose
// header block is the object stream's own, preview area with one or two pictures, chunk
// list and texture table. Written byte by byte, independent of the reader under test.
#pragma once
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "scene/engine.h"
#include "scene/pelchunk.h"
#include "scene/tests/byte_writer.h"
#include "scene/tests/qivstream_encoder.h"

namespace qivw {

using testbytes::Bytes;
using testbytes::put16;
using testbytes::put32;
using testbytes::set32;

struct Chunk {
    uint32_t type = 0;
    Bytes data;
    int64_t lengthOverride = -1;  // written in place of the data's length
};

// One texture table entry: colour, embedded file or shared.
struct Texture {
    uint32_t index = 0;
    enum Kind { Colour, File, Shared } kind = File;
    uint32_t colour = 0;    // 0x00BBGGRR
    Bytes file;             // embedded picture file
    uint32_t sharedPos = 0; // table position this entry reuses
};

inline Chunk textureTable(const std::vector<Texture>& entries) {
    Chunk c;
    c.type = 0x100;
    put16(c.data, uint32_t(entries.size()));
    for (const Texture& t : entries) {
        put16(c.data, t.index | (t.kind == Texture::Colour ? 0x8000u : 0u));
        if (t.kind == Texture::Colour) put32(c.data, t.colour);
        else if (t.kind == Texture::Shared) put32(c.data, 0x80000000u | t.sharedPos);
        else put32(c.data, uint32_t(t.file.size()));
    }
    for (const Texture& t : entries)
        if (t.kind == Texture::File) c.data.insert(c.data.end(), t.file.begin(), t.file.end());
    return c;
}

struct Container {
    qse::Object object = qse::encodeModel(qse::sampleModel(), qse::Layout::Ordered, false);
    Bytes preview;         // first picture (JPEG); empty: no preview area
    Bytes second;          // second picture behind it
    std::vector<Chunk> chunks;
    uint32_t method = 1;   // 1 deflated, 0 stored
    uint32_t gapBytes = 0; // bytes between the outer header and the payload
    uint64_t fileTime = 0x01D0C0FFEE123456ull;
    int level = 6;
};

// The inflated payload.
inline Bytes payload(const Container& c) {
    qse::Object o = c.object;
    o.guid = false;
    const uint32_t area = c.preview.empty() ? 0 : uint32_t(4 + c.preview.size() + c.second.size());
    o.gap += area;
    Bytes b = qse::encode(o);
    const uint32_t previewAt = uint32_t(40 + 4 * o.edgeValues.size());
    if (area) {
        set32(b, previewAt, uint32_t(c.preview.size()));
        std::copy(c.preview.begin(), c.preview.end(), b.begin() + previewAt + 4);
        std::copy(c.second.begin(), c.second.end(), b.begin() + previewAt + 4 + c.preview.size());
    }
    const uint32_t objectAt = testbytes::get32(b, 20);
    const uint32_t objectLength = uint32_t(b.size() - objectAt);
    const uint32_t chunkAt = c.chunks.empty() ? 0 : uint32_t(b.size());
    for (const Chunk& ch : c.chunks) {
        put32(b, ch.type);
        put32(b, ch.lengthOverride >= 0 ? uint32_t(ch.lengthOverride) : uint32_t(ch.data.size()));
        b.insert(b.end(), ch.data.begin(), ch.data.end());
    }
    set32(b, 4, uint32_t(b.size()));
    set32(b, 8, 1);
    set32(b, 12, area ? previewAt : 0);
    set32(b, 16, area);
    set32(b, 24, objectLength);
    set32(b, 28, chunkAt);
    return b;
}

inline Bytes deflate(const Bytes& data, int level) {
    uLongf n = compressBound(uLong(data.size()));
    Bytes out(n);
    compress2(out.data(), &n, data.data(), uLong(data.size()), level);
    out.resize(n);
    return out;
}

// The container around a payload.
inline Bytes wrap(const Bytes& payloadBytes, uint32_t method, uint32_t gapBytes = 0, uint64_t fileTime = 0,
                  int level = 6) {
    const Bytes body = method == 1 ? deflate(payloadBytes, level) : payloadBytes;
    Bytes b;
    b.insert(b.end(), {'q', 'i', 'v', '!'});
    put32(b, 0);
    put32(b, 40 + gapBytes);
    put32(b, method);
    put32(b, uint32_t(40 + gapBytes + body.size()));
    put32(b, uint32_t(fileTime));
    put32(b, uint32_t(fileTime >> 32));
    for (int i = 0; i < 3; ++i) put32(b, 0);
    for (uint32_t i = 0; i < gapBytes; ++i) b.push_back(uint8_t(0xA0 + i));
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

inline Bytes build(const Container& c) { return wrap(payload(c), c.method, c.gapBytes, c.fileTime, c.level); }

// A multilingual text list (chunks 0x10001 and 0x10002) holding name as text 1 in "XX".
inline Bytes nameList(const char* name) {
    char* list = nullptr;
    uint32_t size = 0;
    if (!pelSetLangText(&list, &size, name, 1, "XX", 2) || !list) return Bytes();
    Bytes b(list, list + size);
    memFreeRefT(&list);
    return b;
}

// Saved view records of chunk 0x111.
inline Chunk savedViews(int count) {
    Chunk c;
    c.type = 0x111;
    for (int i = 0; i < count; ++i) {
        for (int k = 0; k < 7; ++k) testbytes::putf(c.data, float(i * 10 + k));
        put32(c.data, uint32_t(i));
    }
    return c;
}

// A larger object: an n x n grid of quads, in parts of at most 100 x 100 (a part holds at most
// 65535 vertices).
inline qse::Object gridObject(int n) {
    qse::Model md;
    md.head.name = "Grid";
    const char names[] = "grid.bmp\0";
    md.head.areaNames.assign(names, names + sizeof names);
    md.head.areaCount = 1;
    qse::Material m;
    md.head.materials = {m};
    md.head.box[0] = md.head.box[1] = md.head.box[2] = 0;
    md.head.box[3] = md.head.box[4] = float(n), md.head.box[5] = 1;
    constexpr int tile = 100;
    for (int ty = 0; ty < n; ty += tile)
        for (int tx = 0; tx < n; tx += tile) {
            const int w = std::min(tile, n - tx), h = std::min(tile, n - ty);
            qse::Mesh mesh;
            mesh.box[0] = float(tx), mesh.box[1] = float(ty), mesh.box[2] = 0;
            mesh.box[3] = float(tx + w), mesh.box[4] = float(ty + h), mesh.box[5] = 1;
            for (int y = 0; y <= h; ++y)
                for (int x = 0; x <= w; ++x)
                    mesh.vertices.push_back({float(tx + x), float(ty + y), float(((tx + x) * 7 + (ty + y) * 3) % 5) * 0.2f,
                                             float(x) / w, float(y) / h});
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const uint32_t a = uint32_t(y * (w + 1) + x);
                    mesh.faces.push_back({{a, a + 1, a + uint32_t(w) + 2, a + uint32_t(w) + 1}, true, 0});
                }
            qse::Model::Entry e;
            e.mesh = int(md.meshes.size());
            md.meshes.push_back(mesh);
            md.parts.push_back(e);
        }
    return qse::encodeModel(md, qse::Layout::Ordered, false, true);
}

}  // namespace qivw

// Mesh preparation and bounding-edge connection.
#include "scene/meshprep.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "scene/anim.h"
#include "scene/contentlist.h"
#include "scene/engine.h"
#include "scene/material.h"
#include "scene/scene.h"
#include "scene/scratch.h"

namespace {

constexpr uint16_t FACE_SMOOTH_EDGE = 0x0002;  // some edge of the face is smooth
constexpr uint32_t VTX_PLANE_MOVED = 0x80;     // scratch of the plane passes
constexpr uint32_t VTX_PLANE_SIDE = 0x100;
constexpr float NORMAL_SHARE_DOT = 0.9999f;
constexpr size_t MAX_BLOCK = size_t(1) << 30;

PelConnectStats g_stats = {};

uint32_t corners(const PelFace& f) { return (f.flags & FACE_QUAD) ? 4 : 3; }

double dot3(const Vec3& a, const Vec3& b) { return double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z; }

// Squared distance of p to the segment a-b.
double segmentDist2(const Vec3& p, const Vec3& a, const Vec3& b) {
    double ex = double(b.x) - a.x, ey = double(b.y) - a.y, ez = double(b.z) - a.z;
    double px = double(p.x) - a.x, py = double(p.y) - a.y, pz = double(p.z) - a.z;
    double ee = ex * ex + ey * ey + ez * ez;
    double t = ee > 0.0 ? (px * ex + py * ey + pz * ez) / ee : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    double dx = px - t * ex, dy = py - t * ey, dz = pz - t * ez;
    return dx * dx + dy * dy + dz * dz;
}

double dist2(const Vec3& a, const Vec3& b) {
    double dx = double(a.x) - b.x, dy = double(a.y) - b.y, dz = double(a.z) - b.z;
    return dx * dx + dy * dy + dz * dz;
}

// Order-preserving unsigned forms of floating keys (-0 as +0); NaN has none.
uint64_t orderKey(double d) {
    if (d == 0.0) d = 0.0;
    uint64_t b;
    std::memcpy(&b, &d, sizeof b);
    return (b >> 63) ? ~b : b | (uint64_t(1) << 63);
}
uint64_t orderKey(float f) {
    if (f == 0.0f) f = 0.0f;
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return (b >> 31) ? ~b : b | (uint32_t(1) << 31);
}

// Stable sort of ids by keys[id], ascending, in linear time (least significant digit first;
// digits that all keys share are passed over).
void sortByKey(uint32_t* ids, size_t n, const ScratchVec<uint64_t>& keys) {
    if (n < 64) {
        std::stable_sort(ids, ids + n, [&](uint32_t a, uint32_t b) { return keys[a] < keys[b]; });
        return;
    }
    constexpr int kBits = 11, kDigits = (64 + kBits - 1) / kBits;
    constexpr uint64_t kDigit = (1u << kBits) - 1;
    struct Item {
        uint64_t key;
        uint32_t id;
    };
    ScratchVec<Item> a(n), b(n);
    ScratchVec<uint32_t> count(size_t(kDigits) << kBits, 0u);
    for (size_t i = 0; i < n; ++i) {
        const uint64_t k = keys[ids[i]];
        a[i] = {k, ids[i]};
        for (int d = 0; d < kDigits; ++d) ++count[(size_t(d) << kBits) + ((k >> (d * kBits)) & kDigit)];
    }
    for (int d = 0; d < kDigits; ++d) {
        uint32_t* c = count.data() + (size_t(d) << kBits);
        const int shift = d * kBits;
        if (c[(a[0].key >> shift) & kDigit] == n) continue;  // one digit: nothing moves
        uint32_t sum = 0;
        for (size_t v = 0; v <= kDigit; ++v) {
            const uint32_t t = c[v];
            c[v] = sum;
            sum += t;
        }
        for (const Item& it : a) b[c[(it.key >> shift) & kDigit]++] = it;
        a.swap(b);
    }
    for (size_t i = 0; i < n; ++i) ids[i] = a[i].id;
}

// Ids 0..n-1 stably sorted by major[id], then z, y, x of vec[id] (none of them NaN), in
// linear time: least significant digit first over the four key words, digits that all keys
// share passed over.
ScratchVec<uint32_t> sortByMajorZyx(const ScratchVec<uint32_t>& major, const ScratchVec<Vec3>& vec) {
    const size_t n = vec.size();
    struct Item {
        uint32_t key[4];  // x, y, z, major
        uint32_t id;
    };
    constexpr int kBits = 11, kPerWord = 3, kDigits = 4 * kPerWord;
    constexpr uint32_t kDigit = (1u << kBits) - 1;
    ScratchVec<uint32_t> ids(n);  // before the work arrays, which then give their room back
    ScratchVec<Item> a(n), b(n);
    ScratchVec<uint32_t> count(size_t(kDigits) << kBits, 0u);
    for (uint32_t i = 0; i < n; ++i) {
        Item& it = a[i];
        it = {{uint32_t(orderKey(vec[i].x)), uint32_t(orderKey(vec[i].y)), uint32_t(orderKey(vec[i].z)), major[i]}, i};
        for (int d = 0; d < kDigits; ++d)
            ++count[(size_t(d) << kBits) + ((it.key[d / kPerWord] >> (d % kPerWord * kBits)) & kDigit)];
    }
    for (int d = 0; d < kDigits && n; ++d) {
        uint32_t* c = count.data() + (size_t(d) << kBits);
        const int word = d / kPerWord, shift = d % kPerWord * kBits;
        if (c[(a[0].key[word] >> shift) & kDigit] == n) continue;  // one digit: nothing moves
        uint32_t sum = 0;
        for (uint32_t v = 0; v <= kDigit; ++v) {
            const uint32_t t = c[v];
            c[v] = sum;
            sum += t;
        }
        for (const Item& it : a) b[c[(it.key[word] >> shift) & kDigit]++] = it;
        a.swap(b);
    }
    for (size_t i = 0; i < n; ++i) ids[i] = a[i].id;
    return ids;
}

bool hasNaN(const Vec3& v) { return std::isnan(v.x) || std::isnan(v.y) || std::isnan(v.z); }

// What the preparation reads and changes of a vertex; the rest comes from the content's
// own record (source) when the content is rebuilt.
struct VertexWork {
    Vec3 pos;
    float u, v;
    uint32_t flags;
    uint32_t source;
};

// Moves element i of a to position to[i] (a permutation), in place.
template <class T> void permute(ScratchVec<T>& a, const ScratchVec<uint32_t>& to) {
    ScratchVec<uint8_t> done(a.size(), 0);
    for (size_t i = 0; i < a.size(); ++i) {
        if (done[i]) continue;
        T held = a[i];
        size_t at = i;
        while (!done[at]) {
            done[at] = 1;
            const size_t next = to[at];
            std::swap(held, a[next]);
            at = next;
        }
    }
}

// Working copy of a content's geometry.
struct Work {
    PelContent* c = nullptr;
    ScratchVec<VertexWork> verts;
    ScratchVec<PelFace> faces;
    ScratchVec<PelPart> parts;
    ScratchVec<uint32_t> partFirstV, partFirstF;
    ScratchVec<Vec3> faceNormal;
    ScratchVec<float> faceDist;
    ScratchVec<uint8_t> translucent;
    ScratchVec<uint8_t> grouped;
    ScratchVec<uint32_t> group;
    ScratchVec<int64_t> partner;  // vertex linked by the bounding-edge connection, -1 none
    ScratchVec<uint32_t> partOrder;  // old part index of each new part (empty: unchanged)
    std::string textList1;            // first text list in the new part order (empty: unchanged)
    float tolerance = 0.0f;
};

constexpr uint32_t kNoSource = 0xFFFFFFFFu;

// The faces' indices checked and their per-frame marks cleared; the scratch arrays.
bool finishLoad(Work* w) {
    const PelContent* c = w->c;
    const uint32_t nv = uint32_t(w->verts.size()), nf = uint32_t(w->faces.size());
    w->group.assign(nf, 0);
    for (uint32_t i = 0; i < nf; ++i) {
        PelFace& face = w->faces[i];
        for (uint32_t k = 0; k < corners(face); ++k)
            if (face.v[k] >= nv) {
                errReport(ERR_FORMAT, "Face %u uses vertex %u of %u.", i, face.v[k], nv);
                return false;
            }
        if (!(face.flags & FACE_QUAD)) face.v[3] = face.v[2];
        w->group[i] = face.nb[0];  // normal-group word of faces in grouped parts
        for (uint32_t k = 0; k < 4; ++k)
            if (face.nb[k] >= nf || k >= corners(face)) face.nb[k] = i;
        if (face.material >= c->materialCount && c->materialCount) face.material = 0;
        // Per-frame facing flags: stale values must not read as markings here.
        face.flags &= uint16_t(~(FACE_FRONT_CACHED | FACE_FACING_DECIDED));
    }
    w->translucent.assign(nf, 0);
    w->grouped.assign(nf, 0);
    w->partner.assign(nv, -1);
    return true;
}

// Parts in order, by their counts; with tile, their array addresses must tile the content's
// arrays as well.
bool loadParts(PelContent* c, Work* w, bool tile) {
    const uint32_t np = c->partCount, nv = uint32_t(w->verts.size()), nf = uint32_t(w->faces.size());
    w->parts.assign(c->parts, c->parts + np);
    w->partFirstV.resize(np);
    w->partFirstF.resize(np);
    uint64_t v = 0, f = 0;
    for (uint32_t p = 0; p < np; ++p) {
        const PelPart& part = c->parts[p];
        if ((tile && ((part.vertexCount && part.firstVertex != c->vertices + v) ||
                      (part.faceCount && part.firstFace != c->faces + f))) ||
            v + part.vertexCount > nv || f + part.faceCount > nf) {
            errReport(ERR_FORMAT, "Part %u does not match the vertex and face arrays.", p);
            return false;
        }
        w->partFirstV[p] = uint32_t(v);
        w->partFirstF[p] = uint32_t(f);
        for (uint64_t i = f; i < f + part.faceCount; ++i) w->faces[i].part = p;
        v += part.vertexCount;
        f += part.faceCount;
    }
    if (v != nv || f != nf) {
        errReport(ERR_FORMAT, "Parts do not cover the vertex and face arrays.");
        return false;
    }
    return true;
}

bool loadWork(PelContent* c, Work* w) {
    const uint32_t nv = c->vertexCount, nf = c->faceCount;
    if (!c->vertices || !c->faces || !c->parts || c->partCount == 0) {
        errReport(ERR_FORMAT, "Content without geometry arrays.");
        return false;
    }
    w->c = c;
    w->verts.resize(nv);
    for (uint32_t i = 0; i < nv; ++i) {
        const PelVertex& v = c->vertices[i];
        // The marks that geometry walks leave on vertices go.
        w->verts[i] = {v.pos, v.u, v.v, v.flags & ~VTX_MARK, i};
    }
    w->faces.assign(c->faces, c->faces + nf);
    return loadParts(c, w, true) && finishLoad(w);
}

bool loadStreamWork(PelContent* c, ScratchVec<PelStreamVertex>& vertices, ScratchVec<PelFace>& faces, Work* w) {
    if (!c->parts || c->partCount == 0) {
        errReport(ERR_FORMAT, "Content without geometry arrays.");
        return false;
    }
    w->c = c;
    w->verts.resize(vertices.size());
    for (size_t i = 0; i < vertices.size(); ++i)
        w->verts[i] = {vertices[i].pos, vertices[i].u, vertices[i].v, 0, kNoSource};
    ScratchVec<PelStreamVertex>().swap(vertices);
    w->faces.swap(faces);
    return loadParts(c, w, false) && finishLoad(w);
}

void computeFacePlanes(Work& w) {
    w.faceNormal.resize(w.faces.size());
    w.faceDist.resize(w.faces.size());
    for (size_t i = 0; i < w.faces.size(); ++i) {
        const PelFace& f = w.faces[i];
        const bool quad = (f.flags & FACE_QUAD) != 0;
        const Vec3* p[4] = {&w.verts[f.v[0]].pos, &w.verts[f.v[1]].pos, &w.verts[f.v[2]].pos,
                            quad ? &w.verts[f.v[3]].pos : nullptr};
        Vec3 n = {0, 0, 1};
        float d = 0.0f;
        visPlaneOfCorners(p, quad, &n, &d);
        double l = dot3(n, n);
        if (!(l > 0.5 && l < 1.5)) {
            n = {0, 0, 1};
            d = -float(dot3(n, w.verts[f.v[0]].pos));
        }
        w.faceNormal[i] = n;
        w.faceDist[i] = d;
    }
}

void applyPlanes(Work& w, uint32_t planeCount, const float* planes) {
    for (uint32_t p = 0; p < planeCount; ++p) {
        const float* pl = planes + size_t(p) * 9;
        const Vec3 n = {pl[0], pl[1], pl[2]};
        for (VertexWork& v : w.verts) {
            v.flags &= ~VTX_PLANE_MOVED;
            if (dot3(n, v.pos) < pl[3])
                v.flags &= ~VTX_PLANE_SIDE;
            else
                v.flags |= VTX_PLANE_SIDE;
        }
        for (PelFace& f : w.faces) {
            uint32_t n = corners(f), on = 0;
            for (uint32_t k = 0; k < n; ++k)
                if (w.verts[f.v[k]].flags & VTX_PLANE_SIDE) ++on;
            bool straddles = on && on < n;
            for (uint32_t k = 0; k < n; ++k) {
                VertexWork& v = w.verts[f.v[k]];
                if (v.flags & VTX_PLANE_MOVED) continue;
                if (v.flags & VTX_PLANE_SIDE) {
                    v.pos = {v.pos.x + pl[4], v.pos.y + pl[5], v.pos.z + pl[6]};
                    if (straddles) {
                        v.u += pl[7];
                        v.v += pl[8];
                    }
                }
                v.flags |= VTX_PLANE_MOVED;
            }
        }
    }
    for (VertexWork& v : w.verts) v.flags &= ~(VTX_PLANE_MOVED | VTX_PLANE_SIDE);
}

Box3 emptyBox() { return {{1e20f, 1e20f, 1e20f}, {-1e20f, -1e20f, -1e20f}}; }

void computeBoxes(Work& w) {
    for (size_t p = 0; p < w.parts.size(); ++p) {
        Box3 b = emptyBox();
        for (uint32_t i = w.partFirstV[p]; i < w.partFirstV[p] + w.parts[p].vertexCount; ++i) {
            const Vec3& q = w.verts[i].pos;
            b.min = {std::min(b.min.x, q.x), std::min(b.min.y, q.y), std::min(b.min.z, q.z)};
            b.max = {std::max(b.max.x, q.x), std::max(b.max.y, q.y), std::max(b.max.z, q.z)};
        }
        w.parts[p].box = b;
    }
}

// Text list entries: each ends with a zero byte; a tail without one is kept as is.
bool permuteTextEntries(const char* s, uint32_t size, const ScratchVec<uint32_t>& order, std::string* outText) {
    if (!s || !size) return true;
    bool moved = false;
    for (uint32_t i = 0; i < order.size(); ++i) moved |= order[i] != i;
    if (!moved) return true;
    std::vector<std::string> entries;
    uint32_t pos = 0;
    while (pos < size) {
        uint32_t e = pos;
        while (e < size && s[e]) ++e;
        if (e >= size) break;
        entries.emplace_back(s + pos, e - pos + 1);
        pos = e + 1;
    }
    std::string tail(s + pos, size - pos);
    while (entries.size() < order.size()) entries.emplace_back(std::string(1, '\0'));
    std::string out;
    for (uint32_t i = 0; i < order.size(); ++i) out += entries[order[i]];
    for (size_t i = order.size(); i < entries.size(); ++i) out += entries[i];
    out += tail;
    *outText = std::move(out);
    return true;
}

// Moves the content's per-part data (names, track indices, part words, the
// nodes' part records and part indices) into the new part order.
bool applyPartOrder(PelContent* c, const ScratchVec<uint32_t>& order, const std::string& textList1) {
    const uint32_t np = uint32_t(order.size());
    bool moved = false;
    for (uint32_t i = 0; i < np; ++i) moved |= order[i] != i;
    if (!moved) return true;
    // What can fail comes first, so that a failure leaves the content as it was.
    ScratchVec<uint32_t> newPart(np);
    for (uint32_t i = 0; i < np; ++i) newPart[order[i]] = i;
    ScratchVec<uint32_t> tracks, words;
    if (c->trackIndex) tracks.assign(c->trackIndex, c->trackIndex + np);
    if (c->partWords) words.assign(c->partWords, c->partWords + np);
    std::vector<std::vector<ScnPart>> nodeParts;
    for (ScnNode* n = c->firstNode; n; n = n->next) {
        nodeParts.emplace_back();
        if (n->parts) nodeParts.back().assign(n->parts, n->parts + np);
        if (n == c->lastNode) break;
    }
    char* fresh = nullptr;
    if (!textList1.empty()) {
        fresh = static_cast<char*>(memAllocZ(textList1.size()));
        if (!fresh) return false;
        std::memcpy(fresh, textList1.data(), textList1.size());
    }
    if (fresh) {
        memFree(c->textList1);
        c->textList1 = fresh;
        c->textList1Size = uint32_t(textList1.size());
    }
    for (uint32_t i = 0; i < np; ++i) {
        if (c->trackIndex) c->trackIndex[i] = tracks[order[i]];
        if (c->partWords) c->partWords[i] = words[order[i]];
    }
    size_t k = 0;
    for (ScnNode* n = c->firstNode; n; n = n->next, ++k) {
        if (n->parts)
            for (uint32_t i = 0; i < np; ++i) n->parts[i] = nodeParts[k][order[i]];
        if (n->highlight >= 0 && uint32_t(n->highlight) < np) n->highlight = int32_t(newPart[uint32_t(n->highlight)]);
        if (n == c->lastNode) break;
    }
    return true;
}

// Orders parts (translucent last, then by box volume) and the faces of each
// part (translucent last, then by depth), carrying every per-part datum along.
bool sortPartsAndFaces(Work& w) {
    const uint32_t np = uint32_t(w.parts.size());
    const uint32_t nf = uint32_t(w.faces.size());
    ScratchVec<uint32_t> order(np);
    ScratchVec<uint64_t> keys;
    std::iota(order.begin(), order.end(), 0u);
    if (np > 1) {
        ScratchVec<double> volume(np, 0.0);
        bool nan = false;
        for (uint32_t p = 0; p < np; ++p) {
            const Box3& b = w.parts[p].box;
            if (w.parts[p].vertexCount)
                volume[p] = double(b.max.x - b.min.x) * double(b.max.y - b.min.y) * double(b.max.z - b.min.z);
            nan |= std::isnan(volume[p]);
        }
        auto translucent = [&](uint32_t p) { return (w.parts[p].flags & PART_TRANSLUCENT) != 0; };
        if (nan) {
            std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
                if (translucent(a) != translucent(b)) return !translucent(a);
                return volume[a] < volume[b];
            });
        } else {
            keys.resize(np);
            for (uint32_t p = 0; p < np; ++p) keys[p] = orderKey(volume[p]);
            sortByKey(order.data(), np, keys);
            std::stable_partition(order.begin(), order.end(), [&](uint32_t p) { return !translucent(p); });
        }
    }
    ScratchVec<uint32_t> newPart(np);
    for (uint32_t i = 0; i < np; ++i) newPart[order[i]] = i;

    // Vertex and face maps of the new part order, then the face order in each part.
    ScratchVec<uint32_t> newVertex(w.verts.size()), faceOrder;
    ScratchVec<uint32_t> firstV(np), firstF(np);
    ScratchVec<double> depth(nf);
    keys.resize(nf);
    for (uint32_t i = 0; i < nf; ++i) {
        const PelFace& pf = w.faces[i];
        double z = 0;
        for (uint32_t c = 0; c < corners(pf); ++c) z += w.verts[pf.v[c]].pos.z;
        depth[i] = z / corners(pf);
        keys[i] = orderKey(depth[i]);
    }
    uint32_t v = 0, f = 0;
    faceOrder.reserve(nf);
    for (uint32_t i = 0; i < np; ++i) {
        uint32_t p = order[i];
        firstV[i] = v;
        firstF[i] = f;
        for (uint32_t k = 0; k < w.parts[p].vertexCount; ++k) newVertex[w.partFirstV[p] + k] = v++;
        const size_t start = faceOrder.size();
        bool nan = false;
        for (uint32_t k = 0; k < w.parts[p].faceCount; ++k) {
            faceOrder.push_back(w.partFirstF[p] + k);
            nan |= std::isnan(depth[faceOrder.back()]);
        }
        const auto from = faceOrder.begin() + long(start);
        if (nan) {
            std::stable_sort(from, faceOrder.end(), [&](uint32_t a, uint32_t b) {
                if (w.translucent[a] != w.translucent[b]) return !w.translucent[a];
                return depth[a] < depth[b];
            });
        } else {
            sortByKey(faceOrder.data() + start, faceOrder.size() - start, keys);
            std::stable_partition(from, faceOrder.end(), [&](uint32_t a) { return !w.translucent[a]; });
        }
        f += w.parts[p].faceCount;
    }
    ScratchVec<uint32_t> newFace(nf);
    for (uint32_t i = 0; i < nf; ++i) newFace[faceOrder[i]] = i;

    // Per-part data of the content and its nodes follow once the rebuild is sure.
    w.partOrder = order;
    if (!permuteTextEntries(w.c->textList1, w.c->textList1Size, order, &w.textList1)) return false;

    for (PelFace& face : w.faces) {
        for (uint32_t k = 0; k < 4; ++k) face.v[k] = newVertex[face.v[k]];
        for (uint32_t k = 0; k < 4; ++k) face.nb[k] = newFace[face.nb[k]];
        face.part = newPart[face.part];
    }
    permute(w.verts, newVertex);
    permute(w.faces, newFace);
    permute(w.faceNormal, newFace);
    permute(w.faceDist, newFace);
    permute(w.translucent, newFace);
    permute(w.group, newFace);
    ScratchVec<PelPart> parts(np);
    for (uint32_t i = 0; i < np; ++i) parts[i] = w.parts[order[i]];
    w.parts.swap(parts);
    w.partFirstV.swap(firstV);
    w.partFirstF.swap(firstF);
    return true;
}

bool twoSided(const PelFace& f) { return f.flags & FACE_TWO_SIDED; }

// Edges of faces [first, first + count) by their directed vertex pair: a hash table of the
// pairs, each with the chain of its edges in face and edge order. Edge k of face first + f
// is entry 4 f + k, so entry numbers follow that order.
class EdgeIndex {
public:
    static constexpr uint32_t kNone = 0xFFFFFFFFu;

    static uint64_t key(uint32_t from, uint32_t to) { return uint64_t(from) << 32 | to; }

    explicit EdgeIndex(const ScratchVec<PelFace>& faces) : faces_(faces.data()) {}

    void build(uint32_t first, uint32_t count) {
        first_ = first;
        const size_t n = 4 * size_t(count);
        size_t edges = 0;
        for (uint32_t g = 0; g < count; ++g) edges += corners(faces_[first + g]);
        size_t slots = 16;
        while (slots < 2 * edges) slots <<= 1;
        mask_ = slots - 1;
        table_.assign(slots, kNone);
        next_.assign(n, kNone);
        tail_.resize(n);
        for (uint32_t g = 0; g < count; ++g)
            for (uint32_t j = 0; j < corners(faces_[first + g]); ++j) {
                const uint32_t e = 4 * g + j;
                uint32_t* slot = find(keyOf(e));
                if (*slot == kNone) {
                    *slot = e;
                    tail_[e] = e;
                } else {
                    next_[tail_[*slot]] = e;
                    tail_[*slot] = e;
                }
            }
    }

    // First entry of the pair's chain, or kNone; the entry after e in its chain; the face and
    // edge of an entry.
    uint32_t first(uint64_t k) const { return *const_cast<EdgeIndex*>(this)->find(k); }
    uint32_t next(uint32_t e) const { return next_[e]; }
    uint32_t face(uint32_t e) const { return first_ + (e >> 2); }
    static uint32_t edge(uint32_t e) { return e & 3; }

private:
    uint64_t keyOf(uint32_t e) const {
        const PelFace& f = faces_[first_ + (e >> 2)];
        const uint32_t k = e & 3;
        return key(f.v[k], f.v[k + 1 == corners(f) ? 0 : k + 1]);
    }
    static uint64_t mix(uint64_t k) {
        k ^= k >> 33;
        k *= 0xFF51AFD7ED558CCDull;
        k ^= k >> 33;
        return k;
    }
    uint32_t* find(uint64_t k) {
        size_t s = size_t(mix(k)) & mask_;
        while (table_[s] != kNone && keyOf(table_[s]) != k) s = (s + 1) & mask_;
        return &table_[s];
    }

    const PelFace* faces_;
    uint32_t first_ = 0;
    ScratchVec<uint32_t> table_, next_, tail_;
    size_t mask_ = 0;
};

// For each edge a-b of each face, in order, the best edge of another face that runs b-a
// (or a-b when either face is two-sided) and has no neighbour yet. Candidates are looked
// at in face and edge order, as a walk over the faces around a would meet them.
// When every face keeps to its part's vertices (as an object stream's do), no edge meets one of
// another part: the parts are taken one by one, with an index that stays small.
void findNeighbours(Work& w) {
    const uint32_t nf = uint32_t(w.faces.size());
    EdgeIndex index(w.faces);
    constexpr uint32_t kNone = EdgeIndex::kNone;
    bool local = true;
    for (uint32_t fi = 0; fi < nf && local; ++fi) {
        const PelFace& F = w.faces[fi];
        const uint32_t lo = w.partFirstV[F.part], hi = lo + w.parts[F.part].vertexCount;
        for (uint32_t k = 0; k < corners(F); ++k) local = local && F.v[k] >= lo && F.v[k] < hi;
    }
    uint32_t part = 0, partEnd = 0;
    if (!local) index.build(0, nf);
    for (uint32_t fi = 0; fi < nf; ++fi) {
        if (local && fi >= partEnd) {
            while (w.partFirstF[part] + w.parts[part].faceCount <= fi) ++part;
            partEnd = w.partFirstF[part] + w.parts[part].faceCount;
            index.build(w.partFirstF[part], w.parts[part].faceCount);
        }
        const uint32_t n = corners(w.faces[fi]);
        for (uint32_t k = 0; k < n; ++k) {
            PelFace& F = w.faces[fi];
            if ((F.flags & (FACE_OPEN_EDGE0 << k)) || F.nb[k] != fi) continue;
            const uint32_t a = F.v[k], b = F.v[(k + 1) % n];
            int64_t bestFace = -1;
            uint32_t bestEdge = 0;
            double bestScore = -1e10;
            uint32_t reversed = index.first(EdgeIndex::key(b, a));
            uint32_t same = a != b ? index.first(EdgeIndex::key(a, b)) : kNone;
            while (reversed != kNone || same != kNone) {
                bool sameWay;
                uint32_t at;
                if (same == kNone || (reversed != kNone && reversed < same)) {
                    at = reversed;
                    reversed = index.next(at);
                    sameWay = false;
                } else {
                    at = same;
                    same = index.next(at);
                    sameWay = true;
                }
                const uint32_t gi = index.face(at), j = EdgeIndex::edge(at);
                ++g_stats.neighbourTests;
                if (gi == fi) continue;
                const PelFace& G = w.faces[gi];
                const bool sides = twoSided(F) || twoSided(G);
                if (sameWay && !sides) continue;
                if (G.nb[j] != gi || (G.flags & (FACE_OPEN_EDGE0 << j))) continue;
                if (w.grouped[fi] && w.grouped[gi]) {
                    if (w.group[fi] & w.group[gi]) {
                        bestFace = gi;
                        bestEdge = j;
                    }
                    continue;
                }
                double s = dot3(w.faceNormal[fi], w.faceNormal[gi]);
                if (sides) s = std::fabs(s);
                if (s > bestScore) {
                    bestScore = s;
                    bestFace = gi;
                    bestEdge = j;
                }
            }
            if (bestFace >= 0) {
                F.nb[k] = uint32_t(bestFace);
                w.faces[size_t(bestFace)].nb[bestEdge] = fi;
            }
        }
    }
}

struct EdgeRecord {
    uint32_t face, edge;
    Vec3 start, end;
    uint32_t vs, ve;
    bool joined;
    bool usable;  // finite end points
    float minX, maxX;
};

bool finite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// Open edges hashed into a grid of cubes by their start points, for the search of the
// lowest-numbered later edge whose two end points lie near a given edge. Cubes are at least
// four times the reach and about as large as a typical edge; an edge is entered into every
// cube within reach and half a sampling step of its start point, so a walk over points of
// the searching edge half a cube apart meets every edge whose start lies within reach of it.
// Without a usable grid (no extent, or not finite) every search scans the later edges.
class EdgeGrid {
public:
    EdgeGrid(const ScratchVec<EdgeRecord>& rec, double reach) : rec_(rec) {
        double lo[3] = {INFINITY, INFINITY, INFINITY}, hi[3] = {-INFINITY, -INFINITY, -INFINITY}, big = 0;
        ScratchVec<float> lengths;
        for (const EdgeRecord& r : rec) {
            if (!r.usable) continue;
            for (const Vec3* p : {&r.start, &r.end}) {
                const double c[3] = {p->x, p->y, p->z};
                for (int k = 0; k < 3; ++k) {
                    lo[k] = std::min(lo[k], c[k]);
                    hi[k] = std::max(hi[k], c[k]);
                    big = std::max(big, std::fabs(c[k]));
                }
            }
            lengths.push_back(float(std::sqrt(dist2(r.start, r.end))));
        }
        if (lengths.empty() || !(reach >= 0.0) || !std::isfinite(reach) || !std::isfinite(big)) return;
        // Reach with room for the rounding of the distance test.
        reach_ = reach * (1.0 + 1e-9) + big * 1e-12 + 1e-300;
        std::nth_element(lengths.begin(), lengths.begin() + long(lengths.size() / 2), lengths.end());
        cube_ = std::max(double(lengths[lengths.size() / 2]), 4.1 * reach_);
        if (!(cube_ > 0.0) || !std::isfinite(cube_)) return;
        for (int k = 0; k < 3; ++k) {
            origin_[k] = lo[k] - cube_;
            if ((hi[k] - origin_[k]) / cube_ > double(kAxisCells - 2)) return;  // too fine for the keys
        }
        // Every cube within reach and half a step of each start point (at most two per axis).
        const double pad = reach_ + cube_ / 4 + cube_ * 1e-9 + big * 1e-12;
        ScratchVec<std::pair<uint64_t, uint32_t>> entries;
        entries.reserve(rec.size() * 2);
        for (uint32_t i = 0; i < rec.size(); ++i) {
            if (!rec[i].usable) continue;
            const double c[3] = {rec[i].start.x, rec[i].start.y, rec[i].start.z};
            int64_t from[3], to[3];
            for (int k = 0; k < 3; ++k) {
                from[k] = cell(c[k] - pad, k);
                to[k] = cell(c[k] + pad, k);
            }
            for (int64_t z = from[2]; z <= to[2]; ++z)
                for (int64_t y = from[1]; y <= to[1]; ++y)
                    for (int64_t x = from[0]; x <= to[0]; ++x) entries.push_back({pack(x, y, z), i});
        }
        // Cubes in a hash table; each cube's edges in record order.
        size_t slots = 16;
        while (slots < 2 * entries.size()) slots <<= 1;
        mask_ = slots - 1;
        table_.assign(slots, kNone);
        ScratchVec<uint32_t> cubeOf(entries.size());
        for (size_t e = 0; e < entries.size(); ++e) {
            uint32_t* slot = find(entries[e].first);
            if (*slot == kNone) {
                *slot = uint32_t(keys_.size());
                keys_.push_back(entries[e].first);
                start_.push_back(0);
            }
            cubeOf[e] = *slot;
            ++start_[*slot];
        }
        uint32_t sum = 0;
        for (uint32_t& s : start_) {
            const uint32_t n = s;
            s = sum;
            sum += n;
        }
        start_.push_back(sum);
        head_.assign(start_.begin(), start_.end() - 1);
        list_.resize(entries.size());
        ScratchVec<uint32_t> fill(head_);
        for (size_t e = 0; e < entries.size(); ++e) list_[fill[cubeOf[e]]++] = entries[e].second;
        usable_ = true;
    }

    // Lowest record above i that passes accept (-1: none). Records at or below i and joined
    // ones are passed for good.
    template <class Accept> int64_t lowest(uint32_t i, Accept accept) {
        const EdgeRecord& r = rec_[i];
        uint32_t best = kNone;
        const double a[3] = {r.start.x, r.start.y, r.start.z}, b[3] = {r.end.x, r.end.y, r.end.z};
        double steps = 0;
        if (usable_) {
            const double len = std::sqrt(dist2(r.start, r.end));
            steps = std::ceil(len / (cube_ / 2));
        }
        if (!usable_ || !(steps < double(rec_.size() - i))) {
            // A walk that would cost more than a scan of the later records.
            for (uint32_t j = i + 1; j < rec_.size(); ++j)
                if (rec_[j].usable && !rec_[j].joined && accept(j)) return j;
            return -1;
        }
        const uint32_t m = uint32_t(steps);
        uint64_t last = ~uint64_t(0);
        for (uint32_t s = 0; s <= m; ++s) {
            const double t = m ? double(s) / m : 0.0;
            const uint64_t key = pack(cell(a[0] + t * (b[0] - a[0]), 0), cell(a[1] + t * (b[1] - a[1]), 1),
                                      cell(a[2] + t * (b[2] - a[2]), 2));
            if (key == last) continue;
            last = key;
            const uint32_t c = *find(key);
            if (c == kNone) continue;
            uint32_t& h = head_[c];
            while (h < start_[c + 1] && (list_[h] <= i || rec_[list_[h]].joined)) ++h;
            for (uint32_t e = h; e < start_[c + 1]; ++e) {
                const uint32_t j = list_[e];
                if (j >= best) break;
                if (!rec_[j].joined && j > i && accept(j)) {
                    best = j;
                    break;
                }
            }
        }
        return best == kNone ? -1 : int64_t(best);
    }

private:
    static constexpr uint32_t kNone = 0xFFFFFFFFu;
    static constexpr int64_t kAxisCells = int64_t(1) << 21;

    int64_t cell(double c, int k) const {
        const double q = std::floor((c - origin_[k]) / cube_);
        return int64_t(std::min(std::max(q, 0.0), double(kAxisCells - 1)));
    }
    static uint64_t pack(int64_t x, int64_t y, int64_t z) {
        return uint64_t(x) | uint64_t(y) << 21 | uint64_t(z) << 42;
    }
    uint32_t* find(uint64_t k) {
        uint64_t h = k * 0x9E3779B97F4A7C15ull;
        size_t s = size_t(h >> 20) & mask_;
        while (table_[s] != kNone && keys_[table_[s]] != k) s = (s + 1) & mask_;
        return &table_[s];
    }

    const ScratchVec<EdgeRecord>& rec_;
    bool usable_ = false;
    double reach_ = 0, cube_ = 0, origin_[3] = {0, 0, 0};
    ScratchVec<uint32_t> table_;  // slot -> cube
    ScratchVec<uint64_t> keys_;   // per cube
    ScratchVec<uint32_t> start_;  // per cube: its first entry in list_
    ScratchVec<uint32_t> head_;   // per cube: first entry still worth a look
    ScratchVec<uint32_t> list_;
    size_t mask_ = 0;
};

// Joins open edges whose end points lie on another open edge of another face: each edge,
// in order, takes the lowest-numbered later open edge of another face whose two end
// points lie within the tolerance of it. Edges with end points that are not finite join
// nothing.
void connectBoundingEdges(Work& w) {
    ScratchVec<EdgeRecord> rec;
    for (uint32_t fi = 0; fi < w.faces.size(); ++fi) {
        const PelFace& f = w.faces[fi];
        const uint32_t n = corners(f);
        for (uint32_t k = 0; k < n; ++k) {
            if (f.nb[k] != fi) continue;
            EdgeRecord r;
            r.face = fi;
            r.edge = k;
            r.vs = f.v[k];
            r.ve = f.v[(k + 1) % n];
            r.start = w.verts[r.vs].pos;
            r.end = w.verts[r.ve].pos;
            r.joined = false;
            r.usable = finite(r.start) && finite(r.end);
            r.minX = std::min(r.start.x, r.end.x);
            r.maxX = std::max(r.start.x, r.end.x);
            rec.push_back(r);
        }
    }
    g_stats.boundingEdges = uint32_t(rec.size());
    dbgPrintf("Found %d bounding edges for connection test.\n", int(rec.size()));
    const double tol = w.tolerance;
    const float slack = float(std::sqrt(tol)) + 1e-30f;
    uint32_t joined = 0;
    if (std::isnan(tol)) rec.clear();
    EdgeGrid grid(rec, std::sqrt(tol));
    for (uint32_t i = 0; i < rec.size(); ++i) {
        if (rec[i].joined || !rec[i].usable) continue;
        EdgeRecord& ri = rec[i];
        const float lowX = ri.minX - slack, highX = ri.maxX + slack;
        const int64_t best = grid.lowest(i, [&](uint32_t j) {
            const EdgeRecord& rj = rec[j];
            ++g_stats.edgeTests;
            if (rj.face == ri.face || rj.minX < lowX || rj.minX > highX || rj.maxX > highX) return false;
            return !(segmentDist2(rj.start, ri.start, ri.end) > tol || segmentDist2(rj.end, ri.start, ri.end) > tol);
        });
        if (best < 0) continue;
        EdgeRecord& rj = rec[size_t(best)];
        w.faces[ri.face].nb[ri.edge] = rj.face;
        w.faces[rj.face].nb[rj.edge] = ri.face;
        w.faces[ri.face].flags &= uint16_t(~(FACE_OPEN_EDGE0 << ri.edge));
        w.faces[rj.face].flags &= uint16_t(~(FACE_OPEN_EDGE0 << rj.edge));
        ri.joined = rj.joined = true;
        joined += 2;
        // Meeting vertices: each end of i with the nearer end of j.
        bool crossed = dist2(ri.start, rj.end) <= dist2(ri.start, rj.start);
        uint32_t ms = crossed ? rj.ve : rj.vs, me = crossed ? rj.vs : rj.ve;
        if (ms != ri.vs) {
            w.partner[ri.vs] = ms;
            w.partner[ms] = ri.vs;
        }
        if (me != ri.ve) {
            w.partner[ri.ve] = me;
            w.partner[me] = ri.ve;
        }
    }
    g_stats.joined = joined;
    dbgPrintf("Connected %d bounding edges.\n", int(joined));
}

// Index of edge of face g that names face f, or -1.
int edgeTo(const PelFace& g, uint32_t f) {
    for (uint32_t j = 0; j < corners(g); ++j)
        if (g.nb[j] == f) return int(j);
    return -1;
}

// Joins pairs of neighbouring opaque triangles of one part, material and
// plane into convex quadrilaterals; answers the number of faces left.
uint32_t mergeTriangles(Work& w) {
    constexpr uint16_t kOpenBits = FACE_OPEN_EDGE0 | FACE_OPEN_EDGE1 | FACE_OPEN_EDGE2 | FACE_OPEN_EDGE3;
    const uint32_t nf = uint32_t(w.faces.size());
    ScratchVec<uint8_t> gone(nf, 0);
    uint32_t merged = 0;
    for (uint32_t fi = 0; fi < nf; ++fi) {
        PelFace& F = w.faces[fi];
        if (gone[fi] || (F.flags & FACE_QUAD) || w.translucent[fi]) continue;
        for (uint32_t k = 0; k < 3; ++k) {
            uint32_t gi = F.nb[k];
            if (gi == fi || gone[gi]) continue;
            PelFace& G = w.faces[gi];
            if ((G.flags & FACE_QUAD) || w.translucent[gi] || G.part != F.part || G.material != F.material ||
                G.area != F.area || ((G.flags ^ F.flags) & ~kOpenBits) || w.grouped[fi] != w.grouped[gi] ||
                w.group[fi] != w.group[gi] || dot3(w.faceNormal[fi], w.faceNormal[gi]) < NORMAL_SHARE_DOT)
                continue;
            int j = edgeTo(G, fi);
            if (j < 0) continue;
            const uint32_t a = F.v[k], b = F.v[(k + 1) % 3], c = F.v[(k + 2) % 3];
            const uint32_t d = G.v[(uint32_t(j) + 2) % 3];
            if (G.v[uint32_t(j)] != b || G.v[(uint32_t(j) + 1) % 3] != a) continue;  // same winding only
            // Convex: every corner turns the same way as the face normal.
            const uint32_t q[4] = {a, d, b, c};
            bool convex = true;
            for (int i = 0; i < 4 && convex; ++i) {
                const Vec3 &p0 = w.verts[q[i]].pos, &p1 = w.verts[q[(i + 1) % 4]].pos, &p2 = w.verts[q[(i + 2) % 4]].pos;
                Vec3 e1 = {p1.x - p0.x, p1.y - p0.y, p1.z - p0.z}, e2 = {p2.x - p1.x, p2.y - p1.y, p2.z - p1.z};
                Vec3 x = {e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z, e1.x * e2.y - e1.y * e2.x};
                convex = dot3(x, w.faceNormal[fi]) > 0.0;
            }
            if (!convex) continue;
            // Edges of the quad: a-d (G), d-b (G), b-c (F), c-a (F).
            const uint32_t nbs[4] = {G.nb[(uint32_t(j) + 1) % 3], G.nb[(uint32_t(j) + 2) % 3], F.nb[(k + 1) % 3],
                                     F.nb[(k + 2) % 3]};
            const uint16_t open[4] = {uint16_t(G.flags & (FACE_OPEN_EDGE0 << ((j + 1) % 3))),
                                      uint16_t(G.flags & (FACE_OPEN_EDGE0 << ((j + 2) % 3))),
                                      uint16_t(F.flags & (FACE_OPEN_EDGE0 << ((k + 1) % 3))),
                                      uint16_t(F.flags & (FACE_OPEN_EDGE0 << ((k + 2) % 3)))};
            uint16_t flags = uint16_t(F.flags & ~(FACE_OPEN_EDGE0 | FACE_OPEN_EDGE1 | FACE_OPEN_EDGE2 | FACE_OPEN_EDGE3));
            flags |= FACE_QUAD;
            for (int e = 0; e < 4; ++e)
                if (open[e]) flags |= uint16_t(FACE_OPEN_EDGE0 << e);
            for (int e = 0; e < 4; ++e) {
                F.v[e] = q[e];
                uint32_t nb = nbs[e];
                if (nb == gi || nb == fi) nb = fi;  // G's or F's own open edge
                F.nb[e] = nb;
                if (nb != fi) {
                    // The neighbour named G on that edge: it now names F.
                    PelFace& N = w.faces[nb];
                    for (uint32_t t = 0; t < corners(N); ++t)
                        if (N.nb[t] == gi) N.nb[t] = fi;
                }
            }
            F.flags = flags;
            gone[gi] = 1;
            ++merged;
            break;
        }
    }
    if (!merged) return nf;
    ScratchVec<uint32_t> newFace(nf);
    uint32_t n = 0;
    for (uint32_t i = 0; i < nf; ++i) newFace[i] = gone[i] ? 0 : n++;
    ScratchVec<PelFace> faces;
    ScratchVec<Vec3> fn;
    ScratchVec<float> fd;
    ScratchVec<uint8_t> tr, gr;
    ScratchVec<uint32_t> gw;
    for (uint32_t i = 0; i < nf; ++i) {
        if (gone[i]) continue;
        PelFace f = w.faces[i];
        for (uint32_t k = 0; k < 4; ++k) f.nb[k] = newFace[f.nb[k]];
        faces.push_back(f);
        fn.push_back(w.faceNormal[i]);
        fd.push_back(w.faceDist[i]);
        tr.push_back(w.translucent[i]);
        gr.push_back(w.grouped[i]);
        gw.push_back(w.group[i]);
    }
    // Part face counts shrink by the faces merged away.
    ScratchVec<uint32_t> keptBefore(size_t(nf) + 1, 0);
    for (uint32_t i = 0; i < nf; ++i) keptBefore[i + 1] = keptBefore[i] + (gone[i] ? 0 : 1);
    for (size_t p = 0; p < w.parts.size(); ++p) {
        const uint32_t first = std::min(w.partFirstF[p], nf);
        const uint32_t last = uint32_t(std::min<uint64_t>(uint64_t(first) + w.parts[p].faceCount, nf));
        w.partFirstF[p] = keptBefore[first];
        w.parts[p].faceCount = keptBefore[last] - keptBefore[first];
    }
    w.faces.swap(faces);
    w.faceNormal.swap(fn);
    w.faceDist.swap(fd);
    w.translucent.swap(tr);
    w.grouped.swap(gr);
    w.group.swap(gw);
    g_stats.merged = merged;
    return n;
}

void classifyEdges(Work& w, float cosCrease) {
    const uint32_t nf = uint32_t(w.faces.size());
    ScratchVec<uint8_t> hardVertex(w.verts.size(), 0);
    for (uint32_t fi = 0; fi < nf; ++fi) {
        PelFace& F = w.faces[fi];
        const uint32_t n = corners(F);
        if (w.translucent[fi]) continue;
        for (uint32_t k = 0; k < n; ++k) {
            const uint32_t gi = F.nb[k];
            if (gi == fi) continue;
            bool smooth;
            if (w.grouped[fi])
                smooth = (w.group[fi] & w.group[gi]) != 0;
            else
                smooth = dot3(w.faceNormal[fi], w.faceNormal[gi]) >= cosCrease;
            if (smooth)
                F.flags |= FACE_SMOOTH_EDGE;
            else
                F.flags |= uint16_t(FACE_OPEN_EDGE0 << k);
        }
    }
    for (uint32_t fi = 0; fi < nf; ++fi) {
        PelFace& F = w.faces[fi];
        const uint32_t n = corners(F);
        if (!w.translucent[fi])
            for (uint32_t k = 0; k < n; ++k)
                if (F.nb[k] == fi) F.flags |= uint16_t(FACE_OPEN_EDGE0 << k);
        for (uint32_t k = 0; k < n; ++k)
            if (F.flags & (FACE_OPEN_EDGE0 << k)) hardVertex[F.v[k]] = hardVertex[F.v[(k + 1) % n]] = 1;
    }
    // 0x20: the vertex lies on a hard or open edge, or its faces differ in material.
    constexpr uint32_t kUnseen = 0xFFFFFFFFu;
    ScratchVec<uint32_t> material(w.verts.size(), kUnseen);
    for (const PelFace& F : w.faces)
        for (uint32_t k = 0; k < corners(F); ++k) {
            uint32_t& m = material[F.v[k]];
            if (m == kUnseen)
                m = F.material;
            else if (m != F.material)
                hardVertex[F.v[k]] = 1;
        }
    for (uint32_t v = 0; v < w.verts.size(); ++v) {
        VertexWork& pv = w.verts[v];
        pv.flags &= ~(VTX_RELIGHT | VTX_SMOOTH);
        if (hardVertex[v]) pv.flags |= VTX_RELIGHT;
    }
}

bool lessZyx(const Vec3& a, const Vec3& b) {
    if (a.z != b.z) return a.z < b.z;
    if (a.y != b.y) return a.y < b.y;
    return a.x < b.x;
}

// Records 0..n-1 by major, then by z, y, x of their normals; equal records in their own
// order. In linear time unless a normal is not a number (then as a comparison sort gives it).
ScratchVec<uint32_t> orderNormals(const ScratchVec<uint32_t>& major, const ScratchVec<Vec3>& n) {
    if (std::none_of(n.begin(), n.end(), hasNaN)) return sortByMajorZyx(major, n);
    const size_t count = n.size();
    ScratchVec<uint32_t> order(count);
    struct Record {
        uint32_t major;
        Vec3 n;
        uint32_t id;
    };
    ScratchVec<Record> rec(count);
    for (uint32_t i = 0; i < count; ++i) rec[i] = {major[i], n[i], i};
    std::sort(rec.begin(), rec.end(), [](const Record& a, const Record& b) {
        if (a.major != b.major) return a.major < b.major;
        return lessZyx(a.n, b.n);
    });
    for (size_t i = 0; i < count; ++i) order[i] = rec[i].id;
    return order;
}

}  // namespace

int pelGetConnectStats(PelConnectStats* out) {
    if (!out) return 0;
    *out = g_stats;
    return 1;
}

void pelResetConnectStats() { g_stats = {}; }

int pelCopyAnimation(PelContent* to, PelContent* from) {
    if (!to || !from) return 0;
    to->frameRate = from->frameRate;
    to->trackCount = from->trackCount;
    to->descCount = from->descCount;
    to->trackIndex = from->trackIndex;
    to->descs = from->descs;
    to->tracks = from->tracks;
    from->trackCount = 0;
    from->descCount = 0;
    from->trackIndex = nullptr;
    from->descs = nullptr;
    from->tracks = nullptr;
    return 1;
}

namespace {

bool preparable(uint64_t faces, uint64_t vertices) {
    if (faces == 0 || vertices < 3) return false;
    if (faces >= (1u << 30)) {  // edges are numbered 4 x face + edge
        errReport(ERR_NOMEM, "Content of %llu faces is too large to prepare.", static_cast<unsigned long long>(faces));
        return false;
    }
    return true;
}

// Everything after the load: the content in *holder gives the head values, materials,
// lights, names and nodes; the work holds its geometry.
int prepare(PelContent** holder, Work& w, uint32_t* result, uint32_t keepNormals, float creaseAngle,
            uint32_t mergeTriangles_, uint32_t keepOrder, uint32_t edgeCount, uint32_t planeCount,
            const float* planes, uint32_t connect) {
    PelContent* c = *holder;
    if (planeCount && !planes) planeCount = 0;
    const uint64_t reserved = (uint64_t(edgeCount) + 1) / 2;  // the reserved vertices stay zero
    const float cosCrease = std::cos(creaseAngle * DEG_TO_RAD);

    if (planeCount) applyPlanes(w, planeCount, planes);
    computeFacePlanes(w);
    computeBoxes(w);

    if (!keepOrder) {
        for (size_t i = 0; i < w.faces.size(); ++i) {
            const PelFace& f = w.faces[i];
            w.translucent[i] = (c->materials && f.material < c->materialCount && c->materials[f.material].alpha != 0.0f);
        }
        for (size_t p = 0; p < w.parts.size(); ++p) {
            bool any = false;
            for (uint32_t i = w.partFirstF[p]; i < w.partFirstF[p] + w.parts[p].faceCount; ++i) any |= w.translucent[i];
            if (any)
                w.parts[p].flags |= PART_TRANSLUCENT;
            else
                w.parts[p].flags &= ~PART_TRANSLUCENT;
        }
        if (!sortPartsAndFaces(w)) return 0;
    }

    Box3 all = emptyBox();
    for (const PelPart& p : w.parts) {
        if (p.vertexCount == 0) continue;
        all.min = {std::min(all.min.x, p.box.min.x), std::min(all.min.y, p.box.min.y), std::min(all.min.z, p.box.min.z)};
        all.max = {std::max(all.max.x, p.box.max.x), std::max(all.max.y, p.box.max.y), std::max(all.max.z, p.box.max.z)};
    }
    {
        double dx = double(all.max.x) - all.min.x, dy = double(all.max.y) - all.min.y, dz = double(all.max.z) - all.min.z;
        w.tolerance = float(double(PEL_JOIN_FACTOR) * (dx * dx + dy * dy + dz * dz));
    }

    for (size_t i = 0; i < w.faces.size(); ++i) {
        PelFace& f = w.faces[i];
        w.grouped[i] = keepNormals && (w.parts[f.part].flags & PART_NORMAL_GROUPS);
        if (w.grouped[i])
            f.nb[0] = uint32_t(i);  // the word was a group, not a neighbour
        else
            w.group[i] = 0;
    }

    findNeighbours(w);
    if (connect) connectBoundingEdges(w);
    if (mergeTriangles_) mergeTriangles(w);
    classifyEdges(w, cosCrease);

    // Face normals: records sorted by flag word, then z, y, x; a run of
    // nearly equal normals with one flag word shares an entry.
    const uint32_t nf = uint32_t(w.faces.size());
    const uint32_t nv = uint32_t(w.verts.size());
    // The flag word of a record: the face's two-sidedness (faces that share
    // an entry share its facing test).
    auto flagWord = [&](uint32_t f) { return uint32_t(w.faces[f].flags & FACE_TWO_SIDED); };
    ScratchVec<uint32_t> major(nf);
    for (uint32_t f = 0; f < nf; ++f) major[f] = flagWord(f);
    const ScratchVec<uint32_t> fOrder = orderNormals(major, w.faceNormal);
    ScratchVec<uint32_t> faceEntry(nf);
    ScratchVec<Vec3> faceNormals;
    faceNormals.reserve(nf);
    for (uint32_t i = 0; i < nf;) {
        const uint32_t first = fOrder[i];
        const uint32_t entry = uint32_t(faceNormals.size());
        faceNormals.push_back(w.faceNormal[first]);
        uint32_t j = i;
        while (j < nf && flagWord(fOrder[j]) == flagWord(first) &&
               dot3(w.faceNormal[fOrder[j]], w.faceNormal[first]) >= NORMAL_SHARE_DOT)
            faceEntry[fOrder[j++]] = entry;
        i = j;
    }

    // Vertex normals: opaque faces add their normal to their vertices (and
    // to the vertices joined to them).
    struct Acc {
        double x = 0, y = 0, z = 0;
        uint32_t count = 0;
        Vec3 n = {0, 0, 1};
    };
    ScratchVec<Acc> acc(nv);
    auto takes = [&](uint32_t v) { return !(w.verts[v].flags & (VTX_SMOOTH | VTX_MARK)); };
    for (uint32_t fi = 0; fi < nf; ++fi) {
        if (w.translucent[fi]) continue;
        const PelFace& f = w.faces[fi];
        const Vec3& n = w.faceNormal[fi];
        for (uint32_t k = 0; k < corners(f); ++k) {
            bool repeated = false;
            for (uint32_t j = 0; j < k; ++j) repeated |= f.v[j] == f.v[k];
            const uint32_t v = f.v[k];
            if (repeated || !takes(v)) continue;
            acc[v].x += n.x, acc[v].y += n.y, acc[v].z += n.z, ++acc[v].count;
            int64_t p = w.partner[v];
            if (p >= 0 && takes(uint32_t(p))) {
                Acc& a = acc[size_t(p)];
                a.x += n.x, a.y += n.y, a.z += n.z, ++a.count;
            }
        }
    }
    for (Acc& a : acc) {
        Vec3 n = {float(a.x), float(a.y), float(a.z)};
        if (a.count == 0 || dot3(n, n) == 0.0)
            n = {0, 0, 1};
        else
            vecNormalize(&n);
        a.n = n;
    }
    ScratchVec<uint32_t> vOrder;
    {
        ScratchVec<Vec3> n(nv);
        ScratchVec<uint32_t> major(nv);
        for (uint32_t i = 0; i < nv; ++i) {
            n[i] = acc[i].n;
            major[i] = ~acc[i].count;  // larger counts first
        }
        vOrder = orderNormals(major, n);
    }
    ScratchVec<uint32_t> vertexEntry(nv);
    ScratchVec<Vec3> vertexNormals;
    vertexNormals.reserve(nv);
    for (uint32_t i = 0; i < nv;) {
        const uint32_t first = vOrder[i];
        const uint32_t entry = uint32_t(vertexNormals.size());
        vertexNormals.push_back(acc[first].n);
        uint32_t j = i + 1;
        vertexEntry[first] = entry;
        if (acc[first].count >= 2)
            while (j < nv && acc[vOrder[j]].count >= 2 && dot3(acc[vOrder[j]].n, acc[first].n) >= NORMAL_SHARE_DOT)
                vertexEntry[vOrder[j++]] = entry;
        i = j;
    }

    // Area names: the whole text, empty names and all.
    const uint64_t areaBytes = c->areaNames ? c->areaNameBytes : 0;

    // The new content in one block.
    auto align = [](uint64_t n) { return (n + 15) & ~uint64_t(15); };
    const uint64_t np = w.parts.size();
    uint64_t off = align(sizeof(PelContent));
    const uint64_t oParts = off;
    off = align(off + np * sizeof(PelPart));
    const uint64_t oVn = off;
    off = align(off + vertexNormals.size() * sizeof(PelNormal));
    const uint64_t oFn = off;
    off = align(off + faceNormals.size() * sizeof(PelNormal));
    const uint64_t oV = off;
    off = align(off + (nv + reserved) * sizeof(PelVertex));
    const uint64_t oF = off;
    off = align(off + uint64_t(nf) * sizeof(PelFace));
    const uint64_t oM = off;
    off = align(off + uint64_t(c->materialCount) * sizeof(MatInput));
    const uint64_t oL = off;
    off = align(off + uint64_t(c->lightCount) * sizeof(PelLight));
    const uint64_t oA = off;
    off += areaBytes;
    if (off > MAX_BLOCK) {
        errReport(ERR_NOMEM, "Prepared content would take %llu bytes.", static_cast<unsigned long long>(off));
        return 0;
    }
    MemHold<unsigned char> block(static_cast<unsigned char*>(memAllocZ(size_t(off))));
    if (!block) return 0;
    if (!w.partOrder.empty() && !applyPartOrder(c, w.partOrder, w.textList1)) return 0;
    unsigned char* base = block.release();  // nothing below fails
    auto* n = reinterpret_cast<PelContent*>(base);
    *n = *c;  // head values; arrays and links are set below
    n->parts = reinterpret_cast<PelPart*>(base + oParts);
    n->vertexNormals = reinterpret_cast<PelNormal*>(base + oVn);
    n->faceNormals = reinterpret_cast<PelNormal*>(base + oFn);
    n->vertices = reinterpret_cast<PelVertex*>(base + oV);
    n->faces = reinterpret_cast<PelFace*>(base + oF);
    n->materials = c->materialCount ? reinterpret_cast<MatInput*>(base + oM) : nullptr;
    n->lights = c->lightCount ? reinterpret_cast<PelLight*>(base + oL) : nullptr;
    n->areaNames = areaBytes ? reinterpret_cast<char*>(base + oA) : nullptr;
    n->areaNameBytes = uint32_t(areaBytes);
    n->vertexNormalCount = uint32_t(vertexNormals.size());
    n->faceNormalCount = uint32_t(faceNormals.size());
    n->vertexCount = nv;
    n->faceCount = nf;
    n->box = all;
    for (size_t i = 0; i < vertexNormals.size(); ++i) n->vertexNormals[i].normal = vertexNormals[i];
    for (size_t i = 0; i < faceNormals.size(); ++i) n->faceNormals[i].normal = faceNormals[i];
    for (uint32_t i = 0; i < nv; ++i) {
        const VertexWork& v = w.verts[i];
        PelVertex& out = n->vertices[i];
        out = v.source != kNoSource ? c->vertices[v.source] : PelVertex{};
        out.pos = v.pos;
        out.u = v.u;
        out.v = v.v;
        out.flags = v.flags;
        out.normal = &n->vertexNormals[vertexEntry[i]];
    }
    for (uint32_t i = 0; i < nf; ++i) {
        PelFace f = w.faces[i];
        f.flags &= uint16_t(~(FACE_FRONT_CACHED | FACE_FACING_DECIDED));
        f.normal = &n->faceNormals[faceEntry[i]];
        f.dist = w.faceDist[i];
        n->faces[i] = f;
    }
    for (uint64_t p = 0; p < np; ++p) {
        PelPart part = w.parts[p];
        part.firstVertex = n->vertices + w.partFirstV[p];
        part.firstFace = n->faces + w.partFirstF[p];
        n->parts[p] = part;
    }
    if (c->materialCount && c->materials)
        std::memcpy(n->materials, c->materials, size_t(c->materialCount) * sizeof(MatInput));
    if (c->lightCount && c->lights) std::memcpy(n->lights, c->lights, size_t(c->lightCount) * sizeof(PelLight));
    if (areaBytes) std::memcpy(n->areaNames, c->areaNames, size_t(areaBytes));

    // Separate allocations change hands; derived face caches are dropped.
    pelCopyAnimation(n, c);
    c->textList1 = c->textList2 = nullptr;
    c->textList1Size = c->textList2Size = 0;
    c->partWords = nullptr;
    n->rtFaceGroups = nullptr;
    n->rtFaceGroupCount = 0;
    c->lod = nullptr;
    c->matSets = nullptr;
    for (ScnNode*& slot : n->frameCache) slot = nullptr;

    // Scene nodes of the old content move over.
    ScnNode* firstNode = c->firstNode;
    ScnNode* lastNode = c->lastNode;
    uint32_t nodeCount = c->nodeCount;
    c->firstNode = c->lastNode = nullptr;
    c->nodeCount = 0;
    n->prev = n->next = nullptr;
    pelRegisterObject(n);
    n->firstNode = firstNode;
    n->lastNode = lastNode;
    n->nodeCount = nodeCount;
    for (ScnNode* node = firstNode; node; node = node->next) {
        node->content = n;
        if (!n->trackCount || !node->parts) mtxTransformBox(&n->box, &node->worldBox, &node->base);
        if (node == lastNode) break;
    }
    PelContent* old = c;
    pelFreeObject(&old);
    *holder = n;
    if (result) *result = uint32_t(off);
    return 1;
}

}  // namespace

int pelConnectEdges(PelContent** holder, uint32_t* result, uint32_t keepNormals, float creaseAngle,
                    uint32_t mergeTriangles_, uint32_t keepOrder, uint32_t /*modeSwitch*/, uint32_t edgeCount,
                    const float* /*edgeValues*/, uint32_t planeCount, const float* planes, uint32_t connect) try {
    g_stats = {};
    if (!holder || !*holder || !preparable((*holder)->faceCount, (*holder)->vertexCount)) return 0;
    ScratchRun run;
    Work w;
    if (!loadWork(*holder, &w)) return 0;
    return prepare(holder, w, result, keepNormals, creaseAngle, mergeTriangles_, keepOrder, edgeCount, planeCount,
                   planes, connect);
} QIV_ENGINE_CATCH(0)

int pelConnectStreamEdges(PelContent** holder, ScratchVec<PelStreamVertex>& vertices, ScratchVec<PelFace>& faces,
                          uint32_t* result, uint32_t edgeCount, uint32_t planeCount, const float* planes) try {
    g_stats = {};
    if (!holder || !*holder || !preparable(faces.size(), vertices.size())) return 0;
    ScratchRun run;
    Work w;
    if (!loadStreamWork(*holder, vertices, faces, &w)) return 0;
    return prepare(holder, w, result, 0, PEL_STREAM_CREASE, 0, 0, edgeCount, planeCount, planes, 1);
} QIV_ENGINE_CATCH(0)

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

// Working copy of a content's geometry.
struct Work {
    PelContent* c = nullptr;
    std::vector<PelVertex> verts;
    std::vector<PelFace> faces;
    std::vector<PelPart> parts;
    std::vector<uint32_t> partFirstV, partFirstF;
    std::vector<Vec3> faceNormal;
    std::vector<float> faceDist;
    std::vector<uint8_t> translucent;
    std::vector<uint8_t> grouped;
    std::vector<uint32_t> group;
    std::vector<int64_t> partner;  // vertex linked by the bounding-edge connection, -1 none
    std::vector<uint32_t> partOrder;  // old part index of each new part (empty: unchanged)
    std::string textList1;            // first text list in the new part order (empty: unchanged)
    float tolerance = 0.0f;
};

bool loadWork(PelContent* c, Work* w) {
    const uint32_t nv = c->vertexCount, nf = c->faceCount, np = c->partCount;
    if (!c->vertices || !c->faces || !c->parts || np == 0) {
        errReport(ERR_FORMAT, "Content without geometry arrays.");
        return false;
    }
    w->c = c;
    w->verts.assign(c->vertices, c->vertices + nv);
    w->faces.assign(c->faces, c->faces + nf);
    w->parts.assign(c->parts, c->parts + np);
    w->partFirstV.resize(np);
    w->partFirstF.resize(np);
    uint64_t v = 0, f = 0;
    for (uint32_t p = 0; p < np; ++p) {
        const PelPart& part = c->parts[p];
        // Parts must tile the arrays in order.
        if ((part.vertexCount && part.firstVertex != c->vertices + v) ||
            (part.faceCount && part.firstFace != c->faces + f) || v + part.vertexCount > nv ||
            f + part.faceCount > nf) {
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
    // Likewise the marks that geometry walks leave on vertices.
    for (PelVertex& v : w->verts) v.flags &= ~VTX_MARK;
    w->translucent.assign(nf, 0);
    w->grouped.assign(nf, 0);
    w->partner.assign(nv, -1);
    return true;
}

void computeFacePlanes(Work& w) {
    PelContent head = {};
    head.vertices = w.verts.data();
    head.vertexCount = uint32_t(w.verts.size());
    w.faceNormal.resize(w.faces.size());
    w.faceDist.resize(w.faces.size());
    for (size_t i = 0; i < w.faces.size(); ++i) {
        Vec3 n = {0, 0, 1};
        float d = 0.0f;
        visFacePlane(&head, &w.faces[i], &n, &d);
        double l = dot3(n, n);
        if (!(l > 0.5 && l < 1.5)) {
            n = {0, 0, 1};
            d = -float(dot3(n, w.verts[w.faces[i].v[0]].pos));
        }
        w.faceNormal[i] = n;
        w.faceDist[i] = d;
    }
}

void applyPlanes(Work& w, uint32_t planeCount, const float* planes) {
    for (uint32_t p = 0; p < planeCount; ++p) {
        const float* pl = planes + size_t(p) * 9;
        const Vec3 n = {pl[0], pl[1], pl[2]};
        for (PelVertex& v : w.verts) {
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
                PelVertex& v = w.verts[f.v[k]];
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
    for (PelVertex& v : w.verts) v.flags &= ~(VTX_PLANE_MOVED | VTX_PLANE_SIDE);
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
bool permuteTextEntries(const char* s, uint32_t size, const std::vector<uint32_t>& order, std::string* outText) {
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
bool applyPartOrder(PelContent* c, const std::vector<uint32_t>& order, const std::string& textList1) {
    const uint32_t np = uint32_t(order.size());
    bool moved = false;
    for (uint32_t i = 0; i < np; ++i) moved |= order[i] != i;
    if (!moved) return true;
    // What can fail comes first, so that a failure leaves the content as it was.
    std::vector<uint32_t> newPart(np);
    for (uint32_t i = 0; i < np; ++i) newPart[order[i]] = i;
    std::vector<uint32_t> tracks, words;
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
    std::vector<uint32_t> order(np);
    std::iota(order.begin(), order.end(), 0u);
    if (np > 1) {
        auto volume = [&](uint32_t p) {
            const Box3& b = w.parts[p].box;
            if (w.parts[p].vertexCount == 0) return 0.0;
            return double(b.max.x - b.min.x) * double(b.max.y - b.min.y) * double(b.max.z - b.min.z);
        };
        std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
            bool ta = w.parts[a].flags & PART_TRANSLUCENT, tb = w.parts[b].flags & PART_TRANSLUCENT;
            if (ta != tb) return !ta;
            return volume(a) < volume(b);
        });
    }
    std::vector<uint32_t> newPart(np);
    for (uint32_t i = 0; i < np; ++i) newPart[order[i]] = i;

    // Vertex and face maps of the new part order, then the face order in each part.
    std::vector<uint32_t> newVertex(w.verts.size()), faceOrder;
    std::vector<uint32_t> firstV(np), firstF(np);
    uint32_t v = 0, f = 0;
    faceOrder.reserve(nf);
    for (uint32_t i = 0; i < np; ++i) {
        uint32_t p = order[i];
        firstV[i] = v;
        firstF[i] = f;
        for (uint32_t k = 0; k < w.parts[p].vertexCount; ++k) newVertex[w.partFirstV[p] + k] = v++;
        size_t start = faceOrder.size();
        for (uint32_t k = 0; k < w.parts[p].faceCount; ++k) faceOrder.push_back(w.partFirstF[p] + k);
        auto depth = [&](uint32_t face) {
            const PelFace& pf = w.faces[face];
            double z = 0;
            for (uint32_t c = 0; c < corners(pf); ++c) z += w.verts[pf.v[c]].pos.z;
            return z / corners(pf);
        };
        std::stable_sort(faceOrder.begin() + long(start), faceOrder.end(), [&](uint32_t a, uint32_t b) {
            if (w.translucent[a] != w.translucent[b]) return !w.translucent[a];
            return depth(a) < depth(b);
        });
        f += w.parts[p].faceCount;
    }
    std::vector<uint32_t> newFace(nf);
    for (uint32_t i = 0; i < nf; ++i) newFace[faceOrder[i]] = i;

    // Per-part data of the content and its nodes follow once the rebuild is sure.
    w.partOrder = order;
    if (!permuteTextEntries(w.c->textList1, w.c->textList1Size, order, &w.textList1)) return false;

    std::vector<PelVertex> verts(w.verts.size());
    for (size_t i = 0; i < w.verts.size(); ++i) verts[newVertex[i]] = w.verts[i];
    std::vector<PelFace> faces(nf);
    std::vector<Vec3> fn(nf);
    std::vector<float> fd(nf);
    std::vector<uint8_t> tr(nf);
    std::vector<uint32_t> gw(nf);
    for (uint32_t i = 0; i < nf; ++i) {
        PelFace face = w.faces[i];
        for (uint32_t k = 0; k < 4; ++k) face.v[k] = newVertex[face.v[k]];
        for (uint32_t k = 0; k < 4; ++k) face.nb[k] = newFace[face.nb[k]];
        face.part = newPart[face.part];
        faces[newFace[i]] = face;
        fn[newFace[i]] = w.faceNormal[i];
        fd[newFace[i]] = w.faceDist[i];
        tr[newFace[i]] = w.translucent[i];
        gw[newFace[i]] = w.group[i];
    }
    std::vector<PelPart> parts(np);
    for (uint32_t i = 0; i < np; ++i) parts[i] = w.parts[order[i]];
    w.verts.swap(verts);
    w.faces.swap(faces);
    w.faceNormal.swap(fn);
    w.faceDist.swap(fd);
    w.translucent.swap(tr);
    w.group.swap(gw);
    w.parts.swap(parts);
    w.partFirstV.swap(firstV);
    w.partFirstF.swap(firstF);
    return true;
}

// Faces around each vertex.
struct Incidence {
    std::vector<uint32_t> start, list;
    Incidence(const Work& w) {
        start.assign(w.verts.size() + 1, 0);
        for (const PelFace& f : w.faces)
            for (uint32_t k = 0; k < corners(f); ++k) ++start[f.v[k] + 1];
        for (size_t i = 1; i < start.size(); ++i) start[i] += start[i - 1];
        list.resize(start.back());
        std::vector<uint32_t> fill(start.begin(), start.end() - 1);
        for (uint32_t i = 0; i < w.faces.size(); ++i) {
            const PelFace& f = w.faces[i];
            for (uint32_t k = 0; k < corners(f); ++k) {
                // A face that uses a vertex twice is listed once.
                bool seen = false;
                for (uint32_t j = 0; j < k; ++j) seen |= f.v[j] == f.v[k];
                if (!seen) list[fill[f.v[k]]++] = i;
            }
        }
        // Close the gaps left by faces listed once.
        std::vector<uint32_t> packed;
        std::vector<uint32_t> ns(start.size(), 0);
        packed.reserve(list.size());
        for (size_t v = 0; v + 1 < start.size(); ++v) {
            ns[v] = uint32_t(packed.size());
            for (uint32_t i = start[v]; i < fill[v]; ++i) packed.push_back(list[i]);
        }
        ns.back() = uint32_t(packed.size());
        start.swap(ns);
        list.swap(packed);
    }
};

bool twoSided(const PelFace& f) { return f.flags & FACE_TWO_SIDED; }

// Face edges by their directed vertex pair, in face and edge order.
struct EdgeIndex {
    struct Entry {
        uint64_t key;
        uint32_t face, edge;
    };
    std::vector<Entry> entries;
    static uint64_t key(uint32_t from, uint32_t to) { return uint64_t(from) << 32 | to; }
    explicit EdgeIndex(const Work& w) {
        for (uint32_t g = 0; g < w.faces.size(); ++g) {
            const PelFace& G = w.faces[g];
            const uint32_t m = corners(G);
            for (uint32_t j = 0; j < m; ++j) entries.push_back({key(G.v[j], G.v[(j + 1) % m]), g, j});
        }
        std::sort(entries.begin(), entries.end(), [](const Entry& x, const Entry& y) {
            if (x.key != y.key) return x.key < y.key;
            return x.face != y.face ? x.face < y.face : x.edge < y.edge;
        });
    }
    std::pair<const Entry*, const Entry*> range(uint64_t k) const {
        auto lo = std::lower_bound(entries.begin(), entries.end(), k,
                                   [](const Entry& e, uint64_t v) { return e.key < v; });
        auto hi = std::upper_bound(lo, entries.end(), k, [](uint64_t v, const Entry& e) { return v < e.key; });
        return {entries.data() + (lo - entries.begin()), entries.data() + (hi - entries.begin())};
    }
};

// For each edge a-b of each face, in order, the best edge of another face that runs b-a
// (or a-b when either face is two-sided) and has no neighbour yet. Candidates are looked
// at in face and edge order, as a walk over the faces around a would meet them.
void findNeighbours(Work& w) {
    const uint32_t nf = uint32_t(w.faces.size());
    const EdgeIndex index(w);
    for (uint32_t fi = 0; fi < nf; ++fi) {
        const uint32_t n = corners(w.faces[fi]);
        for (uint32_t k = 0; k < n; ++k) {
            PelFace& F = w.faces[fi];
            if ((F.flags & (FACE_OPEN_EDGE0 << k)) || F.nb[k] != fi) continue;
            const uint32_t a = F.v[k], b = F.v[(k + 1) % n];
            int64_t bestFace = -1;
            uint32_t bestEdge = 0;
            double bestScore = -1e10;
            auto reversed = index.range(EdgeIndex::key(b, a));
            auto same = a != b ? index.range(EdgeIndex::key(a, b)) : std::pair<const EdgeIndex::Entry*, const EdgeIndex::Entry*>{};
            auto before = [](const EdgeIndex::Entry* x, const EdgeIndex::Entry* y) {
                return x->face != y->face ? x->face < y->face : x->edge < y->edge;
            };
            while (reversed.first != reversed.second || same.first != same.second) {
                const EdgeIndex::Entry* e;
                bool sameWay;
                if (same.first == same.second || (reversed.first != reversed.second && before(reversed.first, same.first))) {
                    e = reversed.first++;
                    sameWay = false;
                } else {
                    e = same.first++;
                    sameWay = true;
                }
                const uint32_t gi = e->face, j = e->edge;
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
    float minX, maxX;
};

bool finite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// Tree of the open edges by both end points (six coordinates), for the search of the
// lowest-numbered edge whose two end points lie near a given edge. Each node knows the
// lowest record still in it, so a search ends as soon as no lower one can be found.
class EdgeTree {
public:
    EdgeTree(const std::vector<EdgeRecord>& rec, const std::vector<uint32_t>& ids) : rec_(rec), ids_(ids) {
        const size_t n = ids_.size();
        slot_.assign(rec.size(), kNone);
        leafOf_.assign(rec.size(), kNone);
        if (n) build(0, uint32_t(n), kNone);
    }

    void remove(uint32_t r) {
        if (r >= leafOf_.size() || leafOf_[r] == kNone || slot_[r] == kNone) return;
        uint32_t node = leafOf_[r];
        slot_[r] = kNone;
        Node& leaf = nodes_[node];
        uint32_t low = kNone;
        for (uint32_t i = leaf.lo; i < leaf.hi; ++i)
            if (slot_[ids_[i]] != kNone) low = std::min(low, ids_[i]);
        leaf.lowest = low;
        for (uint32_t p = leaf.parent; p != kNone; p = nodes_[p].parent)
            nodes_[p].lowest = std::min(nodes_[nodes_[p].child[0]].lowest, nodes_[nodes_[p].child[1]].lowest);
    }

    // Lowest record that passes accept among those whose end points may lie within reach
    // of the segment a-b (reach infinite: all).
    template <class Accept> int64_t lowest(const Vec3& a, const Vec3& b, double reach, Accept accept) const {
        uint32_t best = kNone;
        if (!nodes_.empty()) search(0, a, b, reach, accept, best);
        return best == kNone ? -1 : int64_t(best);
    }

private:
    static constexpr uint32_t kNone = 0xFFFFFFFFu;
    static constexpr uint32_t kLeaf = 8;
    struct Node {
        float box[2][2][3];  // [start/end][min/max][axis]
        uint32_t lo, hi, parent, lowest;
        uint32_t child[2];
    };

    static float coord(const EdgeRecord& r, int k) {
        const Vec3& p = k < 3 ? r.start : r.end;
        return k % 3 == 0 ? p.x : (k % 3 == 1 ? p.y : p.z);
    }

    uint32_t build(uint32_t lo, uint32_t hi, uint32_t parent) {
        const uint32_t id = uint32_t(nodes_.size());
        nodes_.push_back(Node{});
        Node node{};
        node.lo = lo;
        node.hi = hi;
        node.parent = parent;
        node.lowest = kNone;
        node.child[0] = node.child[1] = kNone;
        for (int e = 0; e < 2; ++e)
            for (int k = 0; k < 3; ++k) {
                node.box[e][0][k] = INFINITY;
                node.box[e][1][k] = -INFINITY;
            }
        for (uint32_t i = lo; i < hi; ++i) {
            const EdgeRecord& r = rec_[ids_[i]];
            for (int k = 0; k < 6; ++k) {
                const float c = coord(r, k);
                node.box[k / 3][0][k % 3] = std::min(node.box[k / 3][0][k % 3], c);
                node.box[k / 3][1][k % 3] = std::max(node.box[k / 3][1][k % 3], c);
            }
            node.lowest = std::min(node.lowest, ids_[i]);
        }
        if (hi - lo <= kLeaf) {
            for (uint32_t i = lo; i < hi; ++i) {
                slot_[ids_[i]] = i;
                leafOf_[ids_[i]] = id;
            }
            nodes_[id] = node;
            return id;
        }
        // Split at the median of the widest coordinate; equal values split by record, so
        // that even coincident edges spread over the tree in their order.
        int axis = 0;
        double widest = -1.0;
        for (int k = 0; k < 6; ++k) {
            const double w = double(node.box[k / 3][1][k % 3]) - node.box[k / 3][0][k % 3];
            if (w > widest) widest = w, axis = k;
        }
        const uint32_t mid = lo + (hi - lo) / 2;
        std::nth_element(ids_.begin() + lo, ids_.begin() + mid, ids_.begin() + hi, [&](uint32_t x, uint32_t y) {
            const float cx = coord(rec_[x], axis), cy = coord(rec_[y], axis);
            return cx < cy || (cx == cy && x < y);
        });
        nodes_[id] = node;
        const uint32_t left = build(lo, mid, id);
        const uint32_t right = build(mid, hi, id);
        nodes_[id].child[0] = left;
        nodes_[id].child[1] = right;
        return id;
    }

    // Whether the segment a-b passes within reach of the box (a test that may say yes
    // for a box slightly beyond reach, never no for one within it).
    static bool near(const float (&box)[2][3], const Vec3& a, const Vec3& b, double reach) {
        if (!(reach < INFINITY)) return true;
        const double pa[3] = {a.x, a.y, a.z}, pb[3] = {b.x, b.y, b.z};
        double t0 = 0.0, t1 = 1.0;
        for (int k = 0; k < 3; ++k) {
            const double m = std::fabs(pa[k]) + std::fabs(pb[k]) + std::fabs(double(box[0][k])) +
                             std::fabs(double(box[1][k]));
            const double r = reach * (1.0 + 1e-9) + m * 1e-12 + 1e-300;
            const double lo = double(box[0][k]) - r, hi = double(box[1][k]) + r;
            const double d = pb[k] - pa[k];
            if (d == 0.0) {
                if (pa[k] < lo || pa[k] > hi) return false;
                continue;
            }
            double u = (lo - pa[k]) / d, v = (hi - pa[k]) / d;
            if (u > v) std::swap(u, v);
            t0 = std::max(t0, u - 1e-12);
            t1 = std::min(t1, v + 1e-12);
            if (t0 > t1) return false;
        }
        return true;
    }

    template <class Accept>
    void search(uint32_t id, const Vec3& a, const Vec3& b, double reach, Accept& accept, uint32_t& best) const {
        const Node& node = nodes_[id];
        if (node.lowest >= best) return;
        if (!near(node.box[0], a, b, reach) || !near(node.box[1], a, b, reach)) return;
        if (node.child[0] == kNone) {
            for (uint32_t i = node.lo; i < node.hi; ++i) {
                const uint32_t r = ids_[i];
                if (r < best && slot_[r] != kNone && accept(r)) best = r;
            }
            return;
        }
        uint32_t first = node.child[0], second = node.child[1];
        if (nodes_[second].lowest < nodes_[first].lowest) std::swap(first, second);
        search(first, a, b, reach, accept, best);
        search(second, a, b, reach, accept, best);
    }

    const std::vector<EdgeRecord>& rec_;
    std::vector<uint32_t> ids_;
    std::vector<uint32_t> slot_;    // position in ids_ while the record is in the tree
    std::vector<uint32_t> leafOf_;
    std::vector<Node> nodes_;
};

// Joins open edges whose end points lie on another open edge of another face: each edge,
// in order, takes the lowest-numbered later open edge of another face whose two end
// points lie within the tolerance of it. Edges with end points that are not finite join
// nothing.
void connectBoundingEdges(Work& w) {
    std::vector<EdgeRecord> rec;
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
    std::vector<uint32_t> usable;
    for (uint32_t i = 0; i < rec.size(); ++i)
        if (finite(rec[i].start) && finite(rec[i].end)) usable.push_back(i);
    EdgeTree tree(rec, usable);
    const double reach = std::sqrt(tol);
    for (uint32_t i = 0; i < rec.size(); ++i) {
        // Later searches look at later records only.
        tree.remove(i);
        if (rec[i].joined || !finite(rec[i].start) || !finite(rec[i].end)) continue;
        EdgeRecord& ri = rec[i];
        const float lowX = ri.minX - slack, highX = ri.maxX + slack;
        const int64_t best = tree.lowest(ri.start, ri.end, reach, [&](uint32_t j) {
            const EdgeRecord& rj = rec[j];
            ++g_stats.edgeTests;
            if (rj.face == ri.face || rj.minX < lowX || rj.minX > highX || rj.maxX > highX) return false;
            return !(segmentDist2(rj.start, ri.start, ri.end) > tol || segmentDist2(rj.end, ri.start, ri.end) > tol);
        });
        if (best < 0) continue;
        EdgeRecord& rj = rec[size_t(best)];
        tree.remove(uint32_t(best));
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
    std::vector<uint8_t> gone(nf, 0);
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
    std::vector<uint32_t> newFace(nf);
    uint32_t n = 0;
    for (uint32_t i = 0; i < nf; ++i) newFace[i] = gone[i] ? 0 : n++;
    std::vector<PelFace> faces;
    std::vector<Vec3> fn;
    std::vector<float> fd;
    std::vector<uint8_t> tr, gr;
    std::vector<uint32_t> gw;
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
    std::vector<uint32_t> keptBefore(size_t(nf) + 1, 0);
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

void classifyEdges(Work& w, float cosCrease, const Incidence& inc) {
    const uint32_t nf = uint32_t(w.faces.size());
    std::vector<uint8_t> hardVertex(w.verts.size(), 0);
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
    for (uint32_t v = 0; v < w.verts.size(); ++v) {
        PelVertex& pv = w.verts[v];
        pv.flags &= ~(VTX_RELIGHT | VTX_SMOOTH);
        bool mixed = false;
        for (uint32_t t = inc.start[v]; t + 1 < inc.start[v + 1] && !mixed; ++t)
            mixed = w.faces[inc.list[t]].material != w.faces[inc.list[t + 1]].material;
        if (hardVertex[v] || mixed) pv.flags |= VTX_RELIGHT;
    }
}

bool lessZyx(const Vec3& a, const Vec3& b) {
    if (a.z != b.z) return a.z < b.z;
    if (a.y != b.y) return a.y < b.y;
    return a.x < b.x;
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

int pelConnectEdges(PelContent** holder, uint32_t* result, uint32_t keepNormals, float creaseAngle,
                    uint32_t mergeTriangles_, uint32_t keepOrder, uint32_t /*modeSwitch*/, uint32_t edgeCount,
                    const float* edgeValues, uint32_t planeCount, const float* planes, uint32_t connect) try {
    g_stats = {};
    if (!holder || !*holder) return 0;
    PelContent* c = *holder;
    if (c->faceCount == 0 || c->vertexCount < 3) return 0;
    if (planeCount && !planes) planeCount = 0;
    (void)edgeValues;  // the reserved vertices stay zero
    const uint64_t reserved = (uint64_t(edgeCount) + 1) / 2;

    Work w;
    if (!loadWork(c, &w)) return 0;
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
    Incidence inc2(w);
    classifyEdges(w, cosCrease, inc2);

    // Face normals: records sorted by flag word, then z, y, x; a run of
    // nearly equal normals with one flag word shares an entry.
    const uint32_t nf = uint32_t(w.faces.size());
    const uint32_t nv = uint32_t(w.verts.size());
    std::vector<uint32_t> fOrder(nf);
    std::iota(fOrder.begin(), fOrder.end(), 0u);
    // The flag word of a record: the face's two-sidedness (faces that share
    // an entry share its facing test).
    auto flagWord = [&](uint32_t f) { return uint32_t(w.faces[f].flags & FACE_TWO_SIDED); };
    std::sort(fOrder.begin(), fOrder.end(), [&](uint32_t a, uint32_t b) {
        if (flagWord(a) != flagWord(b)) return flagWord(a) < flagWord(b);
        return lessZyx(w.faceNormal[a], w.faceNormal[b]);
    });
    std::vector<uint32_t> faceEntry(nf);
    std::vector<Vec3> faceNormals;
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
    std::vector<Acc> acc(nv);
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
    std::vector<uint32_t> vOrder(nv);
    std::iota(vOrder.begin(), vOrder.end(), 0u);
    std::sort(vOrder.begin(), vOrder.end(), [&](uint32_t a, uint32_t b) {
        if (acc[a].count != acc[b].count) return acc[a].count > acc[b].count;
        return lessZyx(acc[a].n, acc[b].n);
    });
    std::vector<uint32_t> vertexEntry(nv);
    std::vector<Vec3> vertexNormals;
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
        n->vertices[i] = w.verts[i];
        n->vertices[i].normal = &n->vertexNormals[vertexEntry[i]];
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
} QIV_ENGINE_CATCH(0)

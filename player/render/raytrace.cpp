// Ray tracer core: face groups, box tree, ray tests, face cache, shadow test, shading.
#include "render/raytrace.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <unordered_map>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "scene/vecops.h"
#include "render/clear.h"
#include "render/clipplane.h"
#include "render/light.h"
#include "scene/engine.h"
#include "scene/objnode.h"
#include "scene/picture.h"
#include "scene/sceneops.h"
#include "scene/scratch.h"
#include "scene/texture.h"

namespace {

RtRunState g_run;
// Object nodes are the extension nodes of the tracer: their flags and first id.
int objectNodeQuery(const ScnNode* node, uint32_t* extFlags, uint32_t* firstId) {
    if (!scnIsObjectNode(node)) return 0;
    const auto* ext = static_cast<const ScnObjExt*>(node->ext);
    if (!ext) return 0;
    *extFlags = ext->flags;
    *firstId = ext->idA;
    return 1;
}
RtExtensionQueryFn g_extQuery = objectNodeQuery;

using vec::add;
using vec::cross;
using vec::dot;
using vec::mul;
using vec::sub;
inline float length(const Vec3& a) { return std::sqrt(dot(a, a)); }
inline float axis(const Vec3& v, int k) { return k == 0 ? v.x : (k == 1 ? v.y : v.z); }

inline float halfArea(const Box3& b) {
    float dx = b.max.x - b.min.x, dy = b.max.y - b.min.y, dz = b.max.z - b.min.z;
    return dx * dy + dz * (dx + dy);
}
inline Box3 unionBox(const Box3& a, const Box3& b) {
    return {{std::min(a.min.x, b.min.x), std::min(a.min.y, b.min.y), std::min(a.min.z, b.min.z)},
            {std::max(a.max.x, b.max.x), std::max(a.max.y, b.max.y), std::max(a.max.z, b.max.z)}};
}
inline float largestExtent(const Box3& b) {
    return std::max(b.max.x - b.min.x, std::max(b.max.y - b.min.y, b.max.z - b.min.z));
}
const Box3 kEmptyBox = {{1e10f, 1e10f, 1e10f}, {-1e10f, -1e10f, -1e10f}};

const Mat4* faceMatrix(const ScnNode* node, const PelFace* face) {
    if (node->parts && node->content && face->part < node->content->partCount) return &node->parts[face->part].world;
    return &node->base;
}

int isExtension(const ScnNode* node, uint32_t* flags, uint32_t* firstId) {
    uint32_t f = 0, id = 0;
    int ext = (g_extQuery && node) ? g_extQuery(node, &f, &id) : 0;
    if (flags) *flags = ext ? f : 0;
    if (firstId) *firstId = ext ? id : 0;
    return ext;
}

bool faceIsQuad(const PelFace* f) { return (f->flags & FACE_QUAD) != 0; }

// Group being built: faces [first, first + count) of the order array.
struct GroupBuild {
    Box3 box;
    uint32_t first, count, partFlags;
};

void boxOfFaces(const PelContent* c, const uint32_t* order, uint32_t first, uint32_t count, Box3* box) {
    *box = kEmptyBox;
    for (uint32_t i = first; i < first + count; ++i) rtGroupBoxAdd(box, &c->faces[order[i]], c->vertices);
}

void faceMinMax(const PelContent* c, const PelFace* f, int k, float* lo, float* hi) {
    int n = faceIsQuad(f) ? 4 : 3;
    *lo = 1e30f;
    *hi = -1e30f;
    for (int i = 0; i < n; ++i) {
        if (f->v[i] >= c->vertexCount) continue;
        float x = axis(c->vertices[f->v[i]].pos, k);
        *lo = std::min(*lo, x);
        *hi = std::max(*hi, x);
    }
}

void splitGroup(const PelContent* c, uint32_t* order, GroupBuild g, std::vector<GroupBuild>& out) {
    if (g.count < RT_GROUP_MIN) {
        out.push_back(g);
        return;
    }
    // Centroid of every vertex position of the group's faces.
    double sx = 0, sy = 0, sz = 0;
    uint32_t nv = 0;
    for (uint32_t i = g.first; i < g.first + g.count; ++i) {
        const PelFace* f = &c->faces[order[i]];
        int n = faceIsQuad(f) ? 4 : 3;
        for (int k = 0; k < n; ++k) {
            if (f->v[k] >= c->vertexCount) continue;
            const Vec3& p = c->vertices[f->v[k]].pos;
            sx += p.x;
            sy += p.y;
            sz += p.z;
            ++nv;
        }
    }
    if (!nv) {
        out.push_back(g);
        return;
    }
    Vec3 cen = {float(sx / nv), float(sy / nv), float(sz / nv)};
    const Box3& b = g.box;
    float P[3], Q[3], ext[3];
    for (int k = 0; k < 3; ++k) {
        float cc = axis(cen, k), lo = axis(b.min, k), hi = axis(b.max, k);
        P[k] = cc + 0.1f * (cc - lo);
        Q[k] = cc - 0.1f * (hi - cc);
        ext[k] = hi - lo;
    }
    int ax = 0;
    if (ext[0] < 0.0001f || ext[1] < 0.0001f || ext[2] < 0.0001f) {
        float best = -1.0f;
        for (int k = 0; k < 3; ++k)
            if (ext[k] >= best) {
                best = ext[k];
                ax = k;
            }
    } else {
        float best = 3.4e38f;
        for (int k = 0; k < 3; ++k) {
            float cost = 0.0f;
            for (int side = 0; side < 2; ++side) {
                Box3 h = b;
                float* lo = k == 0 ? &h.min.x : (k == 1 ? &h.min.y : &h.min.z);
                float* hi = k == 0 ? &h.max.x : (k == 1 ? &h.max.y : &h.max.z);
                if (side == 0)
                    *hi = P[k];
                else
                    *lo = Q[k];
                float dx = h.max.x - h.min.x, dy = h.max.y - h.min.y, dz = h.max.z - h.min.z;
                float vol = dx * dy * dz;
                cost += vol > 0.0f ? halfArea(h) / vol : 3.0e38f;
            }
            if (cost <= best) {
                best = cost;
                ax = k;
            }
        }
    }
    std::vector<uint32_t> straddle, low, high;
    for (uint32_t i = g.first; i < g.first + g.count; ++i) {
        float lo, hi;
        faceMinMax(c, &c->faces[order[i]], ax, &lo, &hi);
        if (hi < P[ax])
            low.push_back(order[i]);
        else if (lo > Q[ax])
            high.push_back(order[i]);
        else
            straddle.push_back(order[i]);
    }
    uint32_t limit = g.count - RT_GROUP_MIN;
    if (straddle.size() > limit || low.size() > limit || high.size() > limit) {
        out.push_back(g);
        return;
    }
    uint32_t at = g.first;
    for (uint32_t f : straddle) order[at++] = f;
    for (uint32_t f : low) order[at++] = f;
    for (uint32_t f : high) order[at++] = f;
    GroupBuild parts[3] = {{{}, g.first, uint32_t(straddle.size()), g.partFlags},
                           {{}, uint32_t(g.first + straddle.size()), uint32_t(low.size()), g.partFlags},
                           {{}, uint32_t(g.first + straddle.size() + low.size()), uint32_t(high.size()), g.partFlags}};
    for (GroupBuild& p : parts) {
        if (!p.count) continue;
        boxOfFaces(c, order, p.first, p.count, &p.box);
        splitGroup(c, order, p, out);
    }
}

}  // namespace

RtRunState& rtState() { return g_run; }

void rtSetExtensionQuery(RtExtensionQueryFn fn) { g_extQuery = fn; }

void rtResetState() {
    rtFreeTree();
    rtFreeThreads();
    g_run = RtRunState{};
    g_extQuery = objectNodeQuery;
}

// ---- ids ----

void rtSetIdSplit(uint32_t nodeCount) {
    uint32_t b = 0;
    while (b < 32 && (nodeCount >> b)) ++b;
    if (b > 29) b = 29;
    g_run.nodeBits = b;
    g_run.nodeMask = (b >= 32) ? 0xFFFFFFFFu : ((1u << b) - 1u);
    g_run.faceBits = 29 - b;
    g_run.faceMask = 0x1FFFFFFFu >> b;
}

int rtCheckIds(ScnNode* const* nodes, uint32_t count) {
    rtSetIdSplit(count);
    uint64_t limit = uint64_t(g_run.faceMask) + 1;
    for (uint32_t i = 0; i < count; ++i) {
        const ScnNode* n = nodes[i];
        if (n && n->content && n->content->faceCount > limit) {
            errReport(ERR_LENGTH, "ray tracer: %u faces exceed the %u face ids left by %u nodes",
                      n->content->faceCount, uint32_t(limit), count);
            return 0;
        }
    }
    return 1;
}

void rtFaceId(const PelFace* face, const ScnNode* node, uint32_t* idOut) {
    if (!idOut) return;
    *idOut = RT_NO_HIT;
    if (!face || !node || !node->content) return;
    uint32_t index = uint32_t(face - node->content->faces);
    *idOut = (index & g_run.faceMask) | ((node->rtSeq & g_run.nodeMask) << g_run.faceBits);
}

uint32_t rtFaceIdColour(const PelFace* face, const ScnNode* node) {
    uint32_t id;
    rtFaceId(face, node, &id);
    return id;
}

// ---- face groups ----

void rtGroupBoxAdd(Box3* box, const PelFace* face, const PelVertex* vertices) {
    int n = faceIsQuad(face) ? 4 : 3;
    for (int i = 0; i < n; ++i) {
        const Vec3& p = vertices[face->v[i]].pos;
        box->min = {std::min(box->min.x, p.x), std::min(box->min.y, p.y), std::min(box->min.z, p.z)};
        box->max = {std::max(box->max.x, p.x), std::max(box->max.y, p.y), std::max(box->max.z, p.z)};
    }
}

int rtSplitFaceGroup(ScnNode* node, uint32_t* order, const RtFaceGroup* group, uint32_t first,
                     std::vector<RtFaceGroup>* out) try {
    if (!node || !node->content || !order || !group || !out) return 0;
    std::vector<GroupBuild> built;
    try {
        GroupBuild g = {group->box, first, group->faceCount, group->partFlags};
        if (node->rayHook)
            built.push_back(g);
        else
            splitGroup(node->content, order, g, built);
        for (const GroupBuild& b : built) out->push_back({b.box, b.count, b.partFlags, nullptr});
    } catch (const std::bad_alloc&) {
        errReport(ERR_NOMEM, "ray tracer: no memory for face groups");
        return 0;
    }
    // first-face pointers are filled once the faces are reordered
    for (size_t i = out->size() - built.size(), k = 0; i < out->size(); ++i, ++k)
        (*out)[i].first = reinterpret_cast<PelFace*>(uintptr_t(built[k].first));
    return 1;
} QIV_ENGINE_CATCH(0)

int rtBuildFaceGroups(ScnNode* node) try {
    if (!node || !node->content) return 0;
    PelContent* c = node->content;
    if (c->rtFaceGroups) return 1;
    std::vector<RtFaceGroup> groups;
    std::vector<uint32_t> order;
    std::vector<PelFace> copy;
    try {
        order.resize(c->faceCount);
        for (uint32_t i = 0; i < c->faceCount; ++i) order[i] = i;
        uint64_t first = 0;
        for (uint32_t p = 0; p < c->partCount; ++p) {
            const PelPart& part = c->parts[p];
            uint64_t count = part.faceCount;
            if (first + count > c->faceCount) count = c->faceCount > first ? c->faceCount - first : 0;
            if (count) {
                RtFaceGroup g = {part.box, uint32_t(count), part.flags, nullptr};
                if (!rtSplitFaceGroup(node, order.data(), &g, uint32_t(first), &groups)) return 0;
            }
            first += part.faceCount;
        }
        copy.assign(c->faces, c->faces + c->faceCount);
    } catch (const std::bad_alloc&) {
        errReport(ERR_NOMEM, "ray tracer: no memory for face groups");
        return 0;
    }
    size_t n = groups.size();
    std::vector<uint32_t> inverse(c->faceCount);
    auto* block = static_cast<RtFaceGroup*>(memAllocZ((n ? n : 1) * sizeof(RtFaceGroup)));
    if (!block) return 0;
    for (uint32_t i = 0; i < c->faceCount; ++i) inverse[order[i]] = i;
    for (uint32_t i = 0; i < c->faceCount; ++i) {
        PelFace f = copy[order[i]];
        for (int k = 0; k < 4; ++k)
            if (f.nb[k] < c->faceCount) f.nb[k] = inverse[f.nb[k]];
        c->faces[i] = f;
    }
    for (size_t i = 0; i < n; ++i) {
        block[i] = groups[i];
        block[i].first = c->faces + uintptr_t(groups[i].first);
    }
    c->rtFaceGroups = block;
    c->rtFaceGroupCount = uint32_t(n);
    return 1;
} QIV_ENGINE_CATCH(0)

// ---- tree ----

uint32_t rtTreeRecordCount(uint32_t leaves) {
    if (leaves == 0) return 0;
    uint32_t L = 1;
    while (L < leaves) L <<= 1;
    return 2 * L - 1;
}

namespace {
void clearFaceTree();
void freeFaceTests();
}  // namespace

void rtFreeTree() {
    clearFaceTree();
    freeFaceTests();
    memFreeRefT(&g_run.tree);
    g_run.treeRecords = 0;
    g_run.root = nullptr;
}

int rtTreeProgress(uint32_t done, uint32_t total) {
    if (++g_run.treeProgressCalls % 100 != 0) return 0;
    if (!g_run.progress || !total) return 0;
    if (g_run.progress(float(double(done) / double(total) * 0.2)) != 0) return 0;
    g_run.treeCancelled = 1;
    return 1;
}

namespace {

// Parent of a pair: the record with the larger largest extent goes left (A on a tie).
void makeParent(RtTreeNode* p, RtTreeNode* A, RtTreeNode* B) {
    A->flags |= 4u;
    B->flags |= 4u;
    RtTreeNode* L = largestExtent(B->box) > largestExtent(A->box) ? B : A;
    RtTreeNode* R = L == A ? B : A;
    std::memset(p, 0, sizeof *p);
    p->box = unionBox(L->box, R->box);
    p->left = L;
    p->right = R;
    auto same = [&](const Box3& b) {
        return b.min.x == p->box.min.x && b.min.y == p->box.min.y && b.min.z == p->box.min.z &&
               b.max.x == p->box.max.x && b.max.y == p->box.max.y && b.max.z == p->box.max.z;
    };
    p->leftEqual = same(L->box);
    p->rightEqual = same(R->box);
    p->flags = (L->flags & R->flags & 1u);
}

// Partner of record i by the plain scan: the later unpaired record of smallest union half
// area, the first in scan order on equal areas.
uint32_t scanPartner(const RtTreeNode* children, uint32_t count, uint32_t i) {
    int32_t bj = -1;
    float best = 1e20f;
    for (uint32_t j = i + 1; j < count; ++j) {
        if (children[j].flags & 4u) continue;
        float a = halfArea(unionBox(children[i].box, children[j].box));
        if (a < best || bj < 0) {
            if (bj >= 0 && !(a < best)) continue;
            best = a;
            bj = int32_t(j);
        }
    }
    return uint32_t(bj);
}

// With finite boxes whose minimum does not exceed their maximum, the half area of a union
// is finite and grows with every extent (also under rounding), so a box that every union
// with a subtree must contain bounds the subtree's areas from below; the scan's partner is
// then the unpaired record of smallest (area, index).
bool boxesSearchable(const RtTreeNode* children, uint32_t count) {
    const float lim = 1e18f;
    for (uint32_t i = 0; i < count; ++i) {
        const Box3& b = children[i].box;
        const float v[6] = {b.min.x, b.min.y, b.min.z, b.max.x, b.max.y, b.max.z};
        for (float x : v)
            if (!(x >= -lim && x <= lim)) return false;
        if (!(b.min.x <= b.max.x && b.min.y <= b.max.y && b.min.z <= b.max.z)) return false;
    }
    return true;
}

// Box tree over the records of one level, for the branch-and-bound partner search.
class PartnerSearch {
public:
    bool build(const RtTreeNode* children, uint32_t count) {
        rec_ = children;
        count_ = count;
        order_.resize(count);
        leafOf_.resize(count);
        slot_.resize(count);
        for (uint32_t i = 0; i < count; ++i) order_[i] = i;
        nodes_.clear();
        nodes_.reserve(size_t(count / kLeaf) * 4 + 4);
        nodes_.resize(1);
        buildAt(0, 0, count, UINT32_MAX);
        stack_.reserve(nodes_.size());  // a query visits every node at most once
        // the records' boxes in tree order, with their unpaired marks, for scans of leaves
        // that touch no other memory
        leafBox_.resize(count);
        alive_.assign(count, 1);
        for (uint32_t k = 0; k < count; ++k) {
            leafBox_[k] = children[order_[k]].box;
            slot_[order_[k]] = k;
        }
        // compact scan arrays of the unpaired records, one array per box coordinate
        for (int k = 0; k < 6; ++k) soa_[k].resize(count);
        act_.resize(count);
        pos_.resize(count);
        for (uint32_t i = 0; i < count; ++i) {
            const Box3& b = children[i].box;
            soa_[0][i] = b.min.x, soa_[1][i] = b.min.y, soa_[2][i] = b.min.z;
            soa_[3][i] = b.max.x, soa_[4][i] = b.max.y, soa_[5][i] = b.max.z;
            act_[i] = pos_[i] = i;
        }
        return true;
    }
    // Takes record r out; the subtrees above it take their bounds and least index from the
    // records they still hold.
    void remove(uint32_t r) {
        alive_[slot_[r]] = 0;
        uint32_t n = leafOf_[r];
        refitLeaf(nodes_[n]);
        for (n = nodes_[n].parent; n != UINT32_MAX; n = nodes_[n].parent) {
            Node& p = nodes_[n];
            --p.active;
            const Node &a = nodes_[p.first], &b = nodes_[p.first + 1];
            if (!a.active || !b.active) {
                copyBounds(p, a.active ? a : b);
                continue;
            }
            for (int k = 0; k < 3; ++k) {
                p.minHi[k] = std::max(a.minHi[k], b.minHi[k]);
                p.maxLo[k] = std::min(a.maxLo[k], b.maxLo[k]);
                p.extent[k] = std::min(a.extent[k], b.extent[k]);
            }
            p.minArea = std::min(a.minArea, b.minArea);
            p.minIndex = std::min(a.minIndex, b.minIndex);
        }
        uint32_t p = pos_[r], lastAt = uint32_t(act_.size() - 1), last = act_[lastAt];
        act_[p] = last;
        pos_[last] = p;
        act_.pop_back();
        for (auto& a : soa_) {
            a[p] = a[lastAt];
            a.pop_back();
        }
    }
    // Smallest (area, index) over the unpaired records other than i (already removed).
    uint32_t query(uint32_t i) {
        if (scanMode_) return scanQuery(i);
        const Box3 q = rec_[i].box;
        float best = 0;
        uint32_t bj = UINT32_MAX;
        uint64_t work = 0;
        // Best first: the subtree of the lowest bound is opened next, so the search ends as
        // soon as no bound is below the best union found.
        auto later = [](const StackItem& a, const StackItem& b) { return a.bound > b.bound; };
        stack_.clear();
        if (nodes_[0].active) stack_.push_back({0, bound(q, nodes_[0])});
        while (!stack_.empty()) {
            std::pop_heap(stack_.begin(), stack_.end(), later);
            const StackItem it = stack_.back();
            stack_.pop_back();
            const Node& n = nodes_[it.node];
            if (bj != UINT32_MAX && it.bound > best) break;
            if (!n.active || (bj != UINT32_MAX && it.bound == best && n.minIndex > bj)) continue;
            if (n.leaf) {
                for (uint32_t k = n.first; k < n.first + n.count; ++k) {
                    if (!alive_[k]) continue;  // paired, or i itself
                    const uint32_t r = order_[k];
                    ++work;
                    float a = halfArea(unionBox(q, leafBox_[k]));
                    if (bj == UINT32_MAX || a < best || (a == best && r < bj)) {
                        best = a;
                        bj = r;
                    }
                }
                continue;
            }
            work += 2;
            for (uint32_t c = n.first; c < n.first + 2; ++c) {
                if (!nodes_[c].active) continue;
                const float b = bound(q, nodes_[c]);
                if (bj != UINT32_MAX && b > best) continue;
                stack_.push_back({c, b});
                std::push_heap(stack_.begin(), stack_.end(), later);
            }
        }
        // When pruning does not pay (heavily overlapping boxes), the rest of the level is
        // paired by the scan of the unpaired records.
        searchWork_ += work;
        scanWork_ += act_.size();
        if (++queries_ >= 16 && searchWork_ * 2 > scanWork_) scanMode_ = true;
        return bj;
    }
    bool scanMode() const { return scanMode_; }

private:
    static constexpr uint32_t kLeaf = 8;
    // A subtree keeps, of the boxes of its records not yet removed, per axis the highest
    // minimum, the lowest maximum and the least extent, their least half area and the least
    // record index.
    struct alignas(64) Node {  // one cache line
        float minHi[3], maxLo[3], extent[3];
        float minArea;  // least half area of its records' boxes
        uint32_t parent, first, active, minIndex;
        uint16_t count;
        bool leaf;
    };
    static void copyBounds(Node& to, const Node& from) {
        for (int k = 0; k < 3; ++k) {
            to.minHi[k] = from.minHi[k];
            to.maxLo[k] = from.maxLo[k];
            to.extent[k] = from.extent[k];
        }
        to.minArea = from.minArea;
        to.minIndex = from.minIndex;
    }
    // A leaf's bounds and least index from its records not yet removed.
    void refitLeaf(Node& n) {
        --n.active;
        for (int k = 0; k < 3; ++k) {
            n.maxLo[k] = n.extent[k] = INFINITY;
            n.minHi[k] = -INFINITY;
        }
        n.minArea = INFINITY;
        n.minIndex = UINT32_MAX;
        for (uint32_t k = n.first; k < n.first + n.count; ++k) {
            if (!alive_[k]) continue;
            const Box3& b = leafBox_[k];
            for (int a = 0; a < 3; ++a) {
                n.minHi[a] = std::max(n.minHi[a], lo(b, a));
                n.maxLo[a] = std::min(n.maxLo[a], hi(b, a));
                n.extent[a] = std::min(n.extent[a], hi(b, a) - lo(b, a));
            }
            n.minArea = std::min(n.minArea, halfArea(b));
            n.minIndex = std::min(n.minIndex, order_[k]);
        }
    }
    static float lo(const Box3& b, int k) { return k == 0 ? b.min.x : (k == 1 ? b.min.y : b.min.z); }
    static float hi(const Box3& b, int k) { return k == 0 ? b.max.x : (k == 1 ? b.max.y : b.max.z); }
    // Lower bound of the union half area of q with any record of the subtree: each extent of a
    // union reaches from the lower of q's minimum and the record's to the higher of the
    // maxima, so at least from the lower of q's minimum and the subtree's highest minimum to
    // the higher of q's maximum and its lowest maximum, and at least as far as the record's
    // own extent. The half area grows with every extent, also as rounded.
    static float bound(const Box3& q, const Node& n) {
        float e[3];
        for (int k = 0; k < 3; ++k)
            e[k] = std::max(std::max(hi(q, k), n.maxLo[k]) - std::min(lo(q, k), n.minHi[k]), n.extent[k]);
        return std::max(e[0] * e[1] + e[2] * (e[0] + e[1]), n.minArea);
    }
    // Splits at the median of the box coordinate (of six) that spreads widest, so that
    // records of a subtree have boxes of like place and shape.
    void buildAt(uint32_t self, uint32_t first, uint32_t end, uint32_t parent) {
        Node n{};
        float minLo[3], maxHi[3];  // the other ends of the ranges, for the split
        for (int k = 0; k < 3; ++k) {
            minLo[k] = n.maxLo[k] = n.extent[k] = INFINITY;
            n.minHi[k] = maxHi[k] = -INFINITY;
        }
        uint32_t minIndex = order_[first];
        n.minArea = INFINITY;
        for (uint32_t i = first; i < end; ++i) {
            const uint32_t r = order_[i];
            const Box3& b = rec_[r].box;
            n.minArea = std::min(n.minArea, halfArea(b));
            for (int k = 0; k < 3; ++k) {
                minLo[k] = std::min(minLo[k], lo(b, k));
                n.minHi[k] = std::max(n.minHi[k], lo(b, k));
                n.maxLo[k] = std::min(n.maxLo[k], hi(b, k));
                maxHi[k] = std::max(maxHi[k], hi(b, k));
                n.extent[k] = std::min(n.extent[k], hi(b, k) - lo(b, k));
            }
            minIndex = std::min(minIndex, r);
        }
        n.parent = parent;
        n.first = first;
        n.active = end - first;
        n.count = uint16_t(end - first <= kLeaf ? end - first : 0);
        n.minIndex = minIndex;
        n.leaf = end - first <= kLeaf;
        if (n.leaf) {
            nodes_[self] = n;
            for (uint32_t k = first; k < end; ++k) leafOf_[order_[k]] = self;
            return;
        }
        int coordinate = 0;
        float widest = -1.0f;
        for (int k = 0; k < 3; ++k) {
            if (n.minHi[k] - minLo[k] > widest) widest = n.minHi[k] - minLo[k], coordinate = k;
            if (maxHi[k] - n.maxLo[k] > widest) widest = maxHi[k] - n.maxLo[k], coordinate = 3 + k;
        }
        auto value = [&](uint32_t r) {
            const Box3& b = rec_[r].box;
            return coordinate < 3 ? lo(b, coordinate) : hi(b, coordinate - 3);
        };
        uint32_t mid = first + (end - first) / 2;
        std::nth_element(order_.begin() + first, order_.begin() + mid, order_.begin() + end,
                         [&](uint32_t p, uint32_t q) {
                             const float vp = value(p), vq = value(q);
                             return vp < vq || (vp == vq && p < q);
                         });
        n.first = uint32_t(nodes_.size());  // the two children are consecutive
        nodes_.resize(nodes_.size() + 2);
        nodes_[self] = n;
        buildAt(n.first, first, mid, self);
        buildAt(n.first + 1, mid, end, self);
    }
    uint32_t scanQuery(uint32_t i) const {
        const Box3 q = rec_[i].box;
        float best = 0;
        uint32_t bj = UINT32_MAX;
        const float *x0 = soa_[0].data(), *y0 = soa_[1].data(), *z0 = soa_[2].data();
        const float *x1 = soa_[3].data(), *y1 = soa_[4].data(), *z1 = soa_[5].data();
        const uint32_t* id = act_.data();
        const size_t n = act_.size();
        for (size_t k = 0; k < n; ++k) {
            // the same operations as halfArea(unionBox(q, box))
            float dx = std::max(q.max.x, x1[k]) - std::min(q.min.x, x0[k]);
            float dy = std::max(q.max.y, y1[k]) - std::min(q.min.y, y0[k]);
            float dz = std::max(q.max.z, z1[k]) - std::min(q.min.z, z0[k]);
            float a = dx * dy + dz * (dx + dy);
            if (a < best || (a == best && id[k] < bj) || bj == UINT32_MAX) {
                best = a;
                bj = id[k];
            }
        }
        return bj;
    }

    struct StackItem {
        uint32_t node;
        float bound;
    };
    const RtTreeNode* rec_ = nullptr;
    uint32_t count_ = 0;
    // In the order build() fills them: freed in reverse, they give their room back to the
    // working memory of the tree build, which the next level takes again.
    ScratchVec<uint32_t> order_, leafOf_, slot_;
    ScratchVec<Node> nodes_;
    ScratchVec<StackItem> stack_;
    ScratchVec<Box3> leafBox_;   // by place in order_
    ScratchVec<uint8_t> alive_;  // by place in order_: not yet removed
    ScratchVec<float> soa_[6];
    ScratchVec<uint32_t> act_, pos_;
    uint64_t searchWork_ = 0, scanWork_ = 0;
    uint32_t queries_ = 0;
    bool scanMode_ = false;
};

}  // namespace

int rtBuildTreeLevel(RtTreeNode* parents, RtTreeNode* children, uint32_t count, uint32_t* doneCount,
                     uint32_t total) {
    uint32_t pairs = count / 2, made = 0, used = (count + 1) / 2;
    for (uint32_t i = 0; i < count; ++i) children[i].flags &= ~4u;
    std::unique_ptr<PartnerSearch> search;
    if (count >= RT_PAIR_THRESHOLD && !g_run.pairScanOnly && boxesSearchable(children, count)) {
        try {
            search.reset(new PartnerSearch);
            search->build(children, count);
        } catch (const std::bad_alloc&) {
            search.reset();  // the plain scan needs no memory
        }
    }
    uint32_t cursor = 0;
    while (made < pairs) {
        int32_t bi = -1, bj = -1;
        float best = 1e20f;
        if (count < RT_PAIR_THRESHOLD) {
            for (uint32_t i = 0; i < count; ++i) {
                if (children[i].flags & 4u) continue;
                for (uint32_t j = i + 1; j < count; ++j) {
                    if (children[j].flags & 4u) continue;
                    float a = halfArea(unionBox(children[i].box, children[j].box));
                    if (a < best || bi < 0) {
                        if (bi >= 0 && !(a < best)) continue;
                        best = a;
                        bi = int32_t(i);
                        bj = int32_t(j);
                    }
                }
            }
        } else {
            while (cursor < count && (children[cursor].flags & 4u)) ++cursor;
            bi = int32_t(cursor);
            if (search) {
                search->remove(cursor);
                bj = int32_t(search->query(cursor));
                search->remove(uint32_t(bj));
            } else {
                bj = int32_t(scanPartner(children, count, cursor));
            }
        }
        // parents fill the level from the end of its used range backwards
        makeParent(&parents[used - 1 - made++], &children[bi], &children[bj]);
        if (doneCount) {
            *doneCount += 2;
            if (rtTreeProgress(*doneCount, total)) return 0;
        }
    }
    if (count & 1u) {
        for (uint32_t i = 0; i < count; ++i)
            if (!(children[i].flags & 4u)) {
                parents[0] = children[i];  // behind the last pair written
                parents[0].flags &= ~4u;
                break;
            }
    }
    return 1;
}

void rtMarkBoxTests(RtTreeNode* node) {
    while (node && node->left && node->right) {
        float A = halfArea(node->box), AL = halfArea(node->left->box), AR = halfArea(node->right->box);
        bool largeL = A < 2.0f * AL, largeR = A < 2.0f * AR;
        if (!largeL && !largeR) {
            node->left->skipBox = 0;
            node->right->skipBox = 0;
        } else if (node->left->left && node->right->left) {
            node->left->skipBox = largeL;
            node->right->skipBox = largeR;
        } else {
            node->skipBox = 1;
            node->leftEqual = 0;
            node->rightEqual = 0;
        }
        rtMarkBoxTests(node->left);
        node = node->right;
    }
    if (node) node->skipBox = 0;
}

int rtBuildObjectTree(uint32_t count, RtTreeNode** rootOut) {
    if (!rootOut) return 0;
    *rootOut = nullptr;
    rtFreeTree();
    g_run.treeProgressCalls = 0;
    ScnNode** nodes = g_run.nodes;
    uint64_t leaves = 0;
    for (uint32_t i = 0; i < count && nodes && nodes[i]; ++i) {
        const ScnNode* n = nodes[i];
        if (!n->content) continue;
        leaves += n->rayHook ? 1 : n->content->rtFaceGroupCount;
    }
    if (leaves == 0) return 1;  // nothing to hit: an empty tree
    if (leaves > (1u << 30)) {
        errReport(ERR_LENGTH, "ray tracer: too many face groups");
        return 0;
    }
    uint32_t records = rtTreeRecordCount(uint32_t(leaves));
    auto* block = static_cast<RtTreeNode*>(memAllocZ(size_t(records) * sizeof(RtTreeNode)));
    if (!block) return 0;
    g_run.tree = block;
    g_run.treeRecords = records;
    uint32_t L = (records + 1) / 2;
    RtTreeNode* leaf = block + (L - 1);
    for (uint32_t i = 0; i < count && nodes[i]; ++i) {
        ScnNode* n = nodes[i];
        PelContent* c = n->content;
        if (!c) continue;
        uint32_t extFlags = 0;
        uint32_t special = (isExtension(n, &extFlags, nullptr) && (extFlags & 3u)) ? 1u : 0u;
        auto* groups = static_cast<RtFaceGroup*>(c->rtFaceGroups);
        uint32_t ng = n->rayHook ? 1 : c->rtFaceGroupCount;
        for (uint32_t g = 0; g < ng; ++g) {
            RtTreeNode* r = leaf++;
            r->special = special;
            r->node = n;
            r->group = groups ? groups + g : nullptr;
            Box3 local = n->rayHook ? c->box : groups[g].box;
            const Mat4* m = (!n->rayHook && groups[g].faceCount) ? faceMatrix(n, groups[g].first) : &n->base;
            mtxTransformBox(&local, &r->box, m);
            // widen by a rounding margin so that the box surely holds its faces
            float pad = 1e-5f * largestExtent(r->box) + 1e-6f;
            r->box.min = sub(r->box.min, {pad, pad, pad});
            r->box.max = add(r->box.max, {pad, pad, pad});
            r->flags = (n->rayHook ? 0u : (groups[g].partFlags & 1u));
        }
    }
    uint32_t total = 0;
    for (uint32_t m = uint32_t(leaves); m > 1; m = (m + 1) / 2) total += m;
    uint32_t done = 0;
    uint32_t m = uint32_t(leaves);
    uint32_t levelStart = L - 1;
    ScratchRun scratch;
    while (m > 1) {
        uint32_t parentStart = (levelStart + 1) / 2 - 1;
        if (!rtBuildTreeLevel(block + parentStart, block + levelStart, m, &done, total)) {
            rtFreeTree();
            return 0;
        }
        m = (m + 1) / 2;
        levelStart = parentStart;
    }
    g_run.root = block;
    rtMarkBoxTests(block);
    *rootOut = block;
    return 1;
}

// ---- ray tests ----

int rtRayBox(const Box3* box, const Vec3 ray[2], float tmax) {
    float tnear = -1e20f, tfar = 1e20f;
    for (int k = 0; k < 3; ++k) {
        float o = axis(ray[0], k), d = axis(ray[1], k);
        float lo = axis(box->min, k), hi = axis(box->max, k);
        if (std::fabs(d) < RT_PARALLEL_EPS) {
            if (o < lo || o > hi) return 0;
            continue;
        }
        float t1 = (lo - o) / d, t2 = (hi - o) / d;
        if (t1 > t2) std::swap(t1, t2);
        if (t1 > tnear) tnear = t1;
        if (t2 < tfar) tfar = t2;
        if (tnear > tfar || tfar < 0.0f) return 0;
    }
    return tnear < tmax ? 1 : 0;
}

int rtTexel(const TexRecord* texture, uint32_t mipLevel, float s, float t, float rgb[3]) {
    if (!texture || !texture->block) return 0;
    const TexPixelBlock* b = texture->block;
    if (b->magic != TEX_BLOCK_MAGIC) {
        rgb[0] = rgb[1] = rgb[2] = 0.0f;
        return 0;
    }
    uint32_t level = std::min(mipLevel, b->extraLevels);
    if (level > b->log2Width) level = b->log2Width;
    if (level > b->log2Height) level = b->log2Height;
    const TexLevel* lv = texLevel(b, level);
    if (!lv->pixels || !lv->palette) return 0;
    uint32_t w = 1u << (b->log2Width - level), h = 1u << (b->log2Height - level);
    auto wrap = [](float c, uint32_t size) {
        double f = double(c) * size;
        if (!(f == f) || std::fabs(f) > 1e9) f = 0.0;
        int64_t i = int64_t(std::floor(f));
        return uint32_t(i & int64_t(size - 1));
    };
    uint32_t x = wrap(s, w), y = wrap(t, h);
    uint32_t idx = lv->pixels[size_t(y) * w + x];
    uint32_t c = idx < lv->paletteCount ? lv->palette[idx] : 0u;
    rgb[0] = float((c >> 16) & 0xFF) / 255.0f;
    rgb[1] = float((c >> 8) & 0xFF) / 255.0f;
    rgb[2] = float(c & 0xFF) / 255.0f;
    return 1;
}

namespace {

void texCoordAt(const RtFace* f, const Vec3& dir, const RtHit* hit, const Vec3& normal, float tex[2]) {
    if (f->flags & RT_FACE_ENVMAP) {
        ltEnvMapDir(&dir, &normal, &tex[0], &tex[1]);
        return;
    }
    int i1 = hit->triangle ? 2 : 1, i2 = hit->triangle ? 3 : 2;
    float w0 = 1.0f - hit->u - hit->v;
    tex[0] = w0 * f->tu[0] + hit->u * f->tu[i1] + hit->v * f->tu[i2];
    tex[1] = w0 * f->tv[0] + hit->u * f->tv[i1] + hit->v * f->tv[i2];
}

bool triangleHit(const Vec3 ray[2], const Vec3& n, float dist, const Vec3& v0, const Vec3& b1, const Vec3& b2,
                 int twoSided, float tmax, bool inclusive, float* t, float* u, float* v) {
    float den = dot(n, ray[1]);
    if (twoSided) {
        if (std::fabs(den) < RT_PARALLEL_EPS) return false;
    } else if (den > -RT_PARALLEL_EPS) {
        return false;
    }
    float tt = -(dot(n, ray[0]) + dist) / den;
    if (tt < 0.0f) return false;
    if (inclusive ? tt > tmax : !(tt < tmax)) return false;
    Vec3 p = sub(add(ray[0], mul(ray[1], tt)), v0);
    float uu = dot(p, b1), vv = dot(p, b2);
    if (!(uu >= 0.0f) || !(vv >= 0.0f) || uu + vv > 1.0f) return false;
    *t = tt;
    *u = uu;
    *v = vv;
    return true;
}

}  // namespace

int rtColourKeyTest(const RtFace* face, const Vec3 ray[2], const RtHit* hit) {
    if (!face->texture) return 1;
    float tex[2];
    texCoordAt(face, ray[1], hit, face->normal, tex);
    float rgb[3];
    if (!rtTexel(face->texture, face->mipLevel, tex[0], tex[1], rgb)) return 1;
    return (rgb[0] == 0.0f && rgb[1] == 0.0f && rgb[2] == 0.0f) ? 0 : 1;
}

namespace {

// The plane and barycentric test of a prepared face or of its test record, into h (t, u, v
// and the triangle) when the ray meets it nearer than hit->t.
template <class Face> bool faceHit(const Vec3 ray[2], const Face& face, const RtHit* hit, int twoSided, RtHit* h) {
    bool found = triangleHit(ray, face.normal, face.dist, face.v0, face.b1, face.b2, twoSided, hit->t, false, &h->t,
                             &h->u, &h->v);
    h->triangle = 0;
    if (!found && (face.flags & RT_FACE_QUAD)) {
        found = triangleHit(ray, face.normal2, face.dist2, face.v0, face.c1, face.c2, 1, hit->t, true, &h->t, &h->u,
                            &h->v);
        if (found && !twoSided && dot(face.normal2, ray[1]) > -RT_PARALLEL_EPS) found = false;
        h->triangle = 1;
    }
    return found;
}

}  // namespace

int rtIntersectFace(uint32_t, const Vec3 ray[2], const RtFace* face, RtHit* hit, int twoSided) {
    if (!face || !face->valid) return 0;
    RtHit h = *hit;
    if (!faceHit(ray, *face, hit, twoSided, &h)) return 0;
    if ((face->flags & RT_FACE_COLORKEY) && !rtColourKeyTest(face, ray, &h)) return 0;
    hit->t = h.t;
    hit->u = h.u;
    hit->v = h.v;
    hit->triangle = h.triangle;
    return 1;
}

// ---- per-thread caches ----

namespace {
void freeFaceTests();
void prepareFaceTests();
void buildFaceTree(const std::vector<Box3>& boxes);
}  // namespace

int rtAllocThreads(uint32_t threads, uint32_t lightCount) try {
    rtFreeThreads();
    if (threads > RT_MAX_THREADS) threads = RT_MAX_THREADS;
    g_run.lightCount = lightCount;
    for (uint32_t i = 0; i < threads; ++i) {
        RtThreadState& t = g_run.threads[i];
        t.cache = static_cast<RtFace*>(memAllocZ(RT_CACHE_RECORDS * sizeof(RtFace)));
        size_t occ = size_t(RT_MAX_DEPTH) * (lightCount ? lightCount : 1);
        t.occluders = static_cast<RtThreadState::Occluder*>(memAllocZ(occ * sizeof(RtThreadState::Occluder)));
        if (!t.cache || !t.occluders) {
            rtFreeThreads();
            return 0;
        }
        t.used = 1;
        t.oldest = t.newest = 0;
    }
    if (!g_run.nodes || !g_run.nodeCount) return 1;
    // slot arrays: one range per distinct content
    g_run.slotBase = static_cast<uint32_t*>(memAllocZ(size_t(g_run.nodeCount) * sizeof(uint32_t)));
    if (!g_run.slotBase) {
        rtFreeThreads();
        return 0;
    }
    uint64_t total = 0;
    try {
        std::unordered_map<const PelContent*, uint32_t> bases;
        for (uint32_t i = 0; i < g_run.nodeCount; ++i) {
            const PelContent* c = g_run.nodes[i] ? g_run.nodes[i]->content : nullptr;
            if (!c) continue;
            auto it = bases.find(c);
            if (it == bases.end()) {
                if (total + c->faceCount > 0xFFFFFFFFull) {
                    rtFreeThreads();
                    errReport(ERR_LENGTH, "ray tracer: too many faces");
                    return 0;
                }
                it = bases.emplace(c, uint32_t(total)).first;
                total += c->faceCount;
            }
            g_run.slotBase[i] = it->second;
        }
    } catch (const std::bad_alloc&) {
        rtFreeThreads();
        errReport(ERR_NOMEM, "ray tracer: no memory for face slots");
        return 0;
    }
    for (uint32_t i = 0; i < threads; ++i) {
        RtThreadState& t = g_run.threads[i];
        t.slots = static_cast<uint16_t*>(memAllocZ(size_t(total ? total : 1) * sizeof(uint16_t)));
        if (!t.slots) {
            rtFreeThreads();
            return 0;
        }
    }
    return 1;
} QIV_ENGINE_CATCH(0)

int rtPrepareRayQueries() try {
    prepareFaceTests();
    return g_run.faceTests ? 1 : 0;
} QIV_ENGINE_CATCH(0)

void rtFreeThreads() {
    for (RtThreadState& t : g_run.threads) {
        memFreeRefT(&t.cache);
        memFreeRefT(&t.occluders);
        memFreeRefT(&t.slots);
        t = RtThreadState{};
    }
    memFreeRefT(&g_run.slotBase);
}

void rtClearFaceSlots(ScnNode* const* nodes, uint32_t count) {
    for (uint32_t i = 0; i < count && nodes[i]; ++i) {
        PelContent* c = nodes[i]->content;
        if (!c || !c->faces) continue;
        for (uint32_t f = 0; f < c->faceCount; ++f) std::memset(c->faces[f].rtCache, 0, sizeof c->faces[f].rtCache);
    }
}

namespace {

void lruUnlink(RtThreadState& t, uint16_t i) {
    RtFace& e = t.cache[i];
    if (e.older)
        t.cache[e.older].newer = e.newer;
    else if (t.oldest == i)
        t.oldest = e.newer;
    if (e.newer)
        t.cache[e.newer].older = e.older;
    else if (t.newest == i)
        t.newest = e.older;
    e.older = e.newer = 0;
}

void lruAppend(RtThreadState& t, uint16_t i) {
    RtFace& e = t.cache[i];
    e.older = uint16_t(t.newest);
    e.newer = 0;
    if (t.newest) t.cache[t.newest].newer = i;
    t.newest = i;
    if (!t.oldest) t.oldest = i;
}

Vec3 worldNormalOf(const Vec3& n, const Mat4* m) {
    Vec3 out = n;
    if (!mtxTransformNormal(&n, &out, m)) out = n;
    return out;
}

Vec3 faceNormalWorld(ScnNode* node, const PelFace* f) {
    if (!f->normal) return {0, 0, 0};
    return worldNormalOf(f->normal->normal, faceMatrix(node, f));
}

Vec3 normalized(Vec3 v) {
    float l = length(v);
    return l > 0.0f ? mul(v, 1.0f / l) : v;
}

// Normal of vertex k of a face for smooth shading.
Vec3 vertexNormal(ScnNode* node, PelFace* f, uint32_t k, const Vec3& fn) {
    PelContent* c = node->content;
    const PelVertex& vx = c->vertices[f->v[k]];
    const Mat4* m = faceMatrix(node, f);
    if (vx.normal) {
        Vec3 n = worldNormalOf(vx.normal->normal, m);
        if (dot(n, fn) < 0.0f) n = mul(n, -1.0f);
        return n;
    }
    if (!(vx.flags & VTX_SMOOTH)) return fn;
    uint32_t nEdges = faceIsQuad(f) ? 4 : 3;
    uint32_t ek = k, ep = (k + nEdges - 1) % nEdges;
    bool markK = (f->flags & (FACE_OPEN_EDGE0 << ek)) != 0;
    bool markP = (f->flags & (FACE_OPEN_EDGE0 << ep)) != 0;
    auto nbNormal = [&](uint32_t e, Vec3* out) {
        uint32_t nb = f->nb[e];
        if (nb >= c->faceCount) return false;
        *out = faceNormalWorld(node, &c->faces[nb]);
        return true;
    };
    if (markK && markP) return fn;
    Vec3 a, b;
    if (markK != markP) {
        if (!nbNormal(markK ? ep : ek, &a)) return fn;
        return normalized(add(fn, a));
    }
    if (!nbNormal(ek, &a) || !nbNormal(ep, &b)) return fn;
    // the neighbour across edge k must reach the one across edge k - 1 by an unmarked edge
    const PelFace& nk = c->faces[f->nb[ek]];
    uint32_t ne = faceIsQuad(&nk) ? 4 : 3;
    for (uint32_t e = 0; e < ne; ++e)
        if (nk.nb[e] == f->nb[ep] && !(nk.flags & (FACE_OPEN_EDGE0 << e))) return normalized(add(add(fn, a), b));
    return fn;
}

}  // namespace

namespace {

// Turns a double-sided entry's planes and normals against a ray direction.
void turnAgainst(RtFace* e, const Vec3* direction) {
    if (!direction || !(e->flags & RT_FACE_TWO_SIDED) || !e->valid || !(dot(e->normal, *direction) > 0.0f)) return;
    e->normal = mul(e->normal, -1.0f);
    e->dist = -e->dist;
    e->normal2 = mul(e->normal2, -1.0f);
    e->dist2 = -e->dist2;
    for (Vec3& n : e->vnormal) n = mul(n, -1.0f);
}

}  // namespace

namespace {

// The world-space corners, planes and bases of a face in a zeroed entry; false for a face
// whose vertices are not all there (never hit). fn receives the face normal of the shading.
bool prepareGeometry(ScnNode* node, PelFace* face, RtFace* entry, Vec3* fnOut) {
    PelContent* c = node->content;
    bool quad = faceIsQuad(face);
    int nv = quad ? 4 : 3;
    for (int i = 0; i < nv; ++i)
        if (face->v[i] >= c->vertexCount) return false;
    const Mat4* m = faceMatrix(node, face);
    for (int i = 0; i < nv; ++i) {
        const PelVertex& v = c->vertices[face->v[i]];
        mtxTransformPoint(&v.pos, &entry->vertex[i], m);
        entry->tu[i] = v.u;
        entry->tv[i] = v.v;
    }
    Vec3 ref = faceNormalWorld(node, face);
    const Vec3& V0 = entry->vertex[0];
    entry->v0 = V0;
    auto triangle = [&](const Vec3& a, const Vec3& b, Vec3* n, float* d, Vec3* b1, Vec3* b2, float* area) {
        Vec3 e1 = sub(a, V0), e2 = sub(b, V0);
        Vec3 cr = cross(e1, e2);
        float len = length(cr);
        *area = 0.5f * len;
        if (len < 1e-8f) {
            *n = {0, 0, 0};
            *d = 0.0f;
            return false;
        }
        Vec3 nn = mul(cr, 1.0f / len);
        if (face->normal && dot(nn, ref) < 0.0f) nn = mul(nn, -1.0f);
        *n = nn;
        *d = -dot(nn, V0);
        if (!vecTriangleBasis(&e1, &e2, &nn, b1, b2)) {
            *n = {0, 0, 0};
            return false;
        }
        return true;
    };
    float a1 = 0, a2 = 0;
    bool ok1 = triangle(entry->vertex[1], entry->vertex[2], &entry->normal, &entry->dist, &entry->b1, &entry->b2, &a1);
    bool ok2 = false;
    if (quad) {
        ok2 = triangle(entry->vertex[2], entry->vertex[3], &entry->normal2, &entry->dist2, &entry->c1, &entry->c2, &a2);
        entry->flags |= RT_FACE_QUAD | RT_FACE_SPLIT;
    }
    entry->area = a1 + a2;
    entry->valid = (ok1 || ok2) ? 1u : 0u;
    *fnOut = ok1 ? entry->normal : entry->normal2;
    if (!ok1 && ok2) {
        // the first triangle is degenerate: its plane and basis are those of the second
        entry->normal = entry->normal2;
        entry->dist = entry->dist2;
        entry->b1 = entry->c1;
        entry->b2 = entry->c2;
    }
    return true;
}

// The flags, material and texture of a prepared face.
void prepareSurface(ScnNode* node, PelFace* face, RtFace* entry) {
    const PelContent* c = node->content;
    const MatRecord* mat = nullptr;
    if (node->materials && face->material < c->materialCount) mat = &node->materials[face->material];
    entry->material = mat;
    TexRecord* tex = nullptr;
    if (node->areaTextures && face->area < c->areaCount) tex = node->areaTextures[face->area];
    entry->flags |= face->flags & (FACE_TEXTURED | FACE_COLORKEY | FACE_TWO_SIDED | FACE_ENVMAP);
    bool textured = (face->flags & FACE_TEXTURED) && tex && tex->block && mat && (mat->flags & qivMatFlagIsTextured);
    if (!textured) {
        entry->flags &= ~(RT_FACE_TEXTURED | RT_FACE_COLORKEY | RT_FACE_ENVMAP);
        tex = nullptr;
    }
    entry->texture = tex;
    if (mat && mat->alpha > 0.0f && mat->alpha <= RT_TRANSPARENT_LIMIT) entry->flags |= RT_FACE_TRANSPARENT;
    uint32_t extFlags = 0;
    if (isExtension(node, &extFlags, nullptr) && (extFlags & 3u)) entry->flags |= RT_FACE_EXTENSION;
}

}  // namespace

void rtPrepareFace(const Vec3* direction, ScnNode* node, PelFace* face, RtFace* entry) {
    uint16_t older = entry->older, newer = entry->newer;
    uint32_t pins = entry->pins;
    uint16_t* slot = entry->slot;
    std::memset(entry, 0, sizeof *entry);
    entry->slot = slot;
    entry->older = older;
    entry->newer = newer;
    entry->pins = pins;
    entry->face = face;
    entry->node = node;
    Vec3 fn;
    if (!prepareGeometry(node, face, entry, &fn)) return;
    prepareSurface(node, face, entry);
    const int nv = faceIsQuad(face) ? 4 : 3;
    for (int i = 0; i < nv; ++i) entry->vnormal[i] = vertexNormal(node, face, uint32_t(i), fn);
    turnAgainst(entry, direction);
}

namespace {

void freeFaceTests() {
    memFreeRefT(&g_run.faceTests);
    memFreeRefT(&g_run.testBase);
}

// The test records of every face of the ordinary nodes of the run; without memory for them
// the ray tests take prepared faces from the caches.
void prepareFaceTests() {
    freeFaceTests();
    uint64_t total = 0;
    for (uint32_t i = 0; i < g_run.nodeCount; ++i) {
        const ScnNode* n = g_run.nodes[i];
        if (n && n->content && !n->rayHook) total += n->content->faceCount;
    }
    if (!total || total * sizeof(RtFaceTest) > (uint64_t(1) << 31)) return;
    g_run.testBase = static_cast<uint32_t*>(memAllocZ(size_t(g_run.nodeCount) * sizeof(uint32_t)));
    g_run.faceTests = static_cast<RtFaceTest*>(memAllocZ(size_t(total) * sizeof(RtFaceTest)));
    if (!g_run.testBase || !g_run.faceTests) {
        freeFaceTests();
        return;
    }
    uint32_t at = 0;
    RtFace scratch;
    std::vector<Box3> boxes;
    try {
        boxes.assign(size_t(total), Box3{{0, 0, 0}, {0, 0, 0}});
    } catch (const std::bad_alloc&) {
        boxes.clear();
    }
    for (uint32_t i = 0; i < g_run.nodeCount; ++i) {
        ScnNode* n = g_run.nodes[i];
        g_run.testBase[i] = RT_NO_HIT;
        if (!n || !n->content || n->rayHook) continue;
        g_run.testBase[i] = at;
        for (uint32_t f = 0; f < n->content->faceCount; ++f, ++at) {
            PelFace* face = &n->content->faces[f];
            RtFaceTest& t = g_run.faceTests[at];
            std::memset(&scratch, 0, sizeof scratch);
            Vec3 fn;
            if (!prepareGeometry(n, face, &scratch, &fn)) continue;  // zero: never hit
            prepareSurface(n, face, &scratch);
            t.normal = scratch.normal;
            t.dist = scratch.dist;
            t.v0 = scratch.v0;
            t.b1 = scratch.b1;
            t.b2 = scratch.b2;
            t.normal2 = scratch.normal2;
            t.dist2 = scratch.dist2;
            t.c1 = scratch.c1;
            t.c2 = scratch.c2;
            t.flags = (scratch.flags & (RT_FACE_QUAD | RT_FACE_TWO_SIDED | RT_FACE_TRANSPARENT | RT_FACE_COLORKEY)) |
                      (scratch.valid ? RT_TEST_VALID : 0u);
            if (boxes.empty()) continue;
            Box3 b = {scratch.vertex[0], scratch.vertex[0]};
            for (int k = 1; k < (faceIsQuad(face) ? 4 : 3); ++k) {
                const Vec3& q = scratch.vertex[k];
                b.min = {std::min(b.min.x, q.x), std::min(b.min.y, q.y), std::min(b.min.z, q.z)};
                b.max = {std::max(b.max.x, q.x), std::max(b.max.y, q.y), std::max(b.max.z, q.z)};
            }
            boxes[at] = b;
        }
    }
    if (boxes.empty()) return;
    // Room for the rounding of the face tests: the faces' own size and distance from the
    // origin, the scene's and the eye's.
    float scale = std::fabs(g_run.eye.x) + std::fabs(g_run.eye.y) + std::fabs(g_run.eye.z);
    if (g_run.rayCamera) scale += std::fabs(g_run.rayCamera->farDist);
    for (const Box3& b : boxes)
        scale = std::max(scale, std::max({std::fabs(b.min.x), std::fabs(b.min.y), std::fabs(b.min.z),
                                          std::fabs(b.max.x), std::fabs(b.max.y), std::fabs(b.max.z)}));
    for (Box3& b : boxes) {
        const float pad = 1e-4f * (largestExtent(b) + std::max(std::fabs(b.min.x), std::fabs(b.max.x)) +
                                   std::max(std::fabs(b.min.y), std::fabs(b.max.y)) +
                                   std::max(std::fabs(b.min.z), std::fabs(b.max.z))) +
                          1e-5f * scale + 1e-6f;
        b.min = sub(b.min, {pad, pad, pad});
        b.max = add(b.max, {pad, pad, pad});
    }
    buildFaceTree(boxes);
}

}  // namespace

namespace {

// The face's slot for this thread: in the thread's own array when there is one.
uint16_t* faceSlot(RtThreadState& t, uint32_t thread, PelFace* face, const ScnNode* node) {
    if (t.slots && g_run.slotBase && node->rtSeq < g_run.nodeCount && g_run.nodes[node->rtSeq] == node &&
        node->content && face >= node->content->faces && face < node->content->faces + node->content->faceCount)
        return &t.slots[g_run.slotBase[node->rtSeq] + uint32_t(face - node->content->faces)];
    return &face->rtCache[thread];
}

}  // namespace

namespace {

uint16_t* leafSlots(RtThreadState& t, uint32_t, const ScnNode* node) {
    if (t.slots && g_run.slotBase && node->rtSeq < g_run.nodeCount && g_run.nodes[node->rtSeq] == node &&
        node->content)
        return &t.slots[g_run.slotBase[node->rtSeq]];
    return nullptr;
}

// A hit marks its entry as used; entries move to the newest end of the list only when the
// eviction walk passes them (a second chance), not on every face test.
RtFace* cacheFetch(RtThreadState& t, const Vec3* direction, PelFace* face, ScnNode* node, uint32_t flag,
                   uint16_t* ref) {
    uint16_t slot = *ref;
    if (slot && slot < RT_CACHE_RECORDS && t.cache[slot].face == face) {
        RtFace* e = &t.cache[slot];
        if (e->node != node) {
            if (e->pins) {
                slot = 0;  // in use for the other node: take a new entry below
            } else {
                rtPrepareFace(direction, node, face, e);
            }
        }
        if (slot) {
            // prepared for another ray: a double-sided face faces this one
            if (!e->pins) turnAgainst(e, direction);
            e->referenced = 1;
            e->mipLevel = flag;
            return e;
        }
    }
    uint16_t idx = 0;
    if (t.used <= RT_CACHE_USED) {
        idx = uint16_t(t.used++);
    } else {
        for (uint32_t steps = 0; steps < 2 * RT_CACHE_USED + 2 && t.oldest; ++steps) {
            uint16_t i = uint16_t(t.oldest);
            RtFace& o = t.cache[i];
            if (!o.pins && !o.referenced) {
                idx = i;
                break;
            }
            o.referenced = 0;
            lruUnlink(t, i);
            lruAppend(t, i);
        }
        if (!idx) return nullptr;  // every entry is in use
        uint16_t* old = t.cache[idx].slot;
        if (old && *old == idx) *old = 0;
        lruUnlink(t, idx);
    }
    RtFace* e = &t.cache[idx];
    e->pins = 0;
    rtPrepareFace(direction, node, face, e);
    e->slot = ref;
    e->referenced = 0;
    lruAppend(t, idx);
    *ref = idx;
    e->mipLevel = flag;
    return e;
}

}  // namespace

RtFace* rtFaceCache(uint32_t thread, const Vec3* direction, PelFace* face, ScnNode* node, uint32_t flag) {
    if (thread >= RT_MAX_THREADS || !face || !node) return nullptr;
    RtThreadState& t = g_run.threads[thread];
    if (!t.cache) return nullptr;
    return cacheFetch(t, direction, face, node, flag, faceSlot(t, thread, face, node));
}

RtFace* rtFaceFromId(uint32_t thread, const Vec3* direction, uint32_t id) {
    if (id == RT_NO_HIT || !g_run.nodes) return nullptr;
    uint32_t ni = (id >> g_run.faceBits) & g_run.nodeMask;
    if (ni >= g_run.nodeCount) return nullptr;
    ScnNode* node = g_run.nodes[ni];
    if (!node || !node->content) return nullptr;
    if (node->rayHook) {
        // the procedural record marked with the node; its hit comes from the tree search
        RtFace* p = &g_run.threads[thread].procedural;
        if (!p->pins) {
            std::memset(p, 0, sizeof *p);
            p->node = node;
        }
        return p;
    }
    uint32_t fi = id & g_run.faceMask;
    if (fi >= node->content->faceCount) return nullptr;
    return rtFaceCache(thread, direction, &node->content->faces[fi], node, id >> 29);
}

// ---- traversal ----

namespace {

bool isTransparentFace(const RtFace* f) { return (f->flags & RT_FACE_TRANSPARENT) != 0; }

// Whether a leaf may block light falling on shadedNode (same rules for the remembered occluder).
bool leafCastsShadow(const RtTreeNode* leaf, int32_t ignoreId, const ScnNode* shadedNode) {
    const ScnNode* n = leaf->node;
    if (!n || (n->flags & NODE_NO_SHADOW)) return false;
    if (!g_run.extShadows && leaf->special) return false;
    if (g_run.noSelfShadow || !leaf->special) {
        if ((leaf->flags & 1u) && n == shadedNode) return false;
    } else {
        uint32_t extFlags = 0, firstId = 0;
        if (isExtension(n, &extFlags, &firstId) && (extFlags & 1u) && ignoreId != -1 &&
            int32_t(firstId) == ignoreId)
            return false;
    }
    return true;
}

void filterThrough(const RtFace* f, const Vec3 ray[2], const RtHit* h, RtHit* hit) {
    const MatRecord* m = f->material;
    float a = m ? m->alpha : 0.0f;
    float c[3] = {1, 1, 1};
    if (m) std::memcpy(c, m->colDifuse, sizeof c);
    if ((f->flags & RT_FACE_TEXTURED) && f->texture) {
        float tex[2];
        texCoordAt(f, ray[1], h, f->normal, tex);
        rtTexel(f->texture, f->mipLevel, tex[0], tex[1], c);
    }
    for (int i = 0; i < 3; ++i) hit->filter[i] *= std::sqrt(std::max(0.0f, (1.0f - a) * c[i]));
    hit->partly = 1;
}

int traceLeafProcedural(RtTreeNode* leaf, const Vec3 ray[2], RtFace** hitFace, RtHit* hit, int anyHit,
                        uint32_t thread) {
    ScnNode* n = leaf->node;
    RtRayQuery q{};
    q.user = n->hookUser;
    q.thread = thread;
    q.origin = ray[0];
    q.direction = ray[1];
    q.mode = anyHit ? 1u : 0u;
    q.best = hit->t;
    if (!n->rayHook(n, &q) || !(q.t >= 0.0f) || !(q.t < hit->t)) return 0;
    const MatRecord* mat = nullptr;
    if (n->materials && n->content && q.material < n->content->materialCount) mat = &n->materials[q.material];
    float a = mat ? mat->alpha : 0.0f;
    if (a > RT_TRANSPARENT_LIMIT) a = 0.0f;
    if (anyHit) {
        if (a == 0.0f) return 1;
        float c[3] = {1, 1, 1};
        if (mat) std::memcpy(c, mat->colDifuse, sizeof c);
        if (mat && (mat->flags & qivMatFlagIsTextured) && n->areaTextures && n->content->areaCount)
            rtTexel(n->areaTextures[0], 0, q.u, q.v, c);
        for (int i = 0; i < 3; ++i) hit->filter[i] *= std::sqrt(std::max(0.0f, (1.0f - a) * c[i]));
        hit->partly = 1;
        return 0;
    }
    RtFace* p = &g_run.threads[thread].procedural;
    uint32_t pins = p->pins;
    std::memset(p, 0, sizeof *p);
    p->pins = pins;
    p->node = n;
    p->normal = normalized(q.normal);
    p->material = mat;
    p->valid = 1;
    p->flags = (a > 0.0f) ? RT_FACE_TRANSPARENT : 0u;
    if (mat && (mat->flags & qivMatFlagIsTextured) && n->areaTextures && n->content->areaCount &&
        n->areaTextures[0]) {
        p->texture = n->areaTextures[0];
        p->flags |= RT_FACE_TEXTURED | ((mat->flags & qivMatFlagIsTexRefl) ? RT_FACE_ENVMAP : 0u);
    }
    for (int i = 0; i < 4; ++i) {
        p->vnormal[i] = p->normal;
        p->tu[i] = q.u;
        p->tv[i] = q.v;
    }
    hit->t = q.t;
    hit->u = 0.0f;
    hit->v = 0.0f;
    hit->triangle = 0;
    hit->behind = dot(p->normal, ray[1]) > 0.0f;
    if (*hitFace) rtUnpin(*hitFace);
    *hitFace = p;
    rtPin(p);
    return 1;
}

}  // namespace

namespace {

// A ray with what every box test of one traversal needs: the reciprocal direction and the
// axes along which the ray is parallel.
struct RayPre {
    float o[3], inv[3];
    bool parallel[3];
};

RayPre rayPre(const Vec3 ray[2]) {
    RayPre r;
    for (int k = 0; k < 3; ++k) {
        float d = axis(ray[1], k);
        r.o[k] = axis(ray[0], k);
        r.parallel[k] = std::fabs(d) < RT_PARALLEL_EPS;
        r.inv[k] = r.parallel[k] ? 0.0f : 1.0f / d;
    }
    return r;
}

inline bool rayBoxPre(const Box3& box, const RayPre& r, float tmax) {
    const float lo[3] = {box.min.x, box.min.y, box.min.z}, hi[3] = {box.max.x, box.max.y, box.max.z};
    float tnear = -1e20f, tfar = 1e20f;
    for (int k = 0; k < 3; ++k) {
        if (r.parallel[k]) {
            if (r.o[k] < lo[k] || r.o[k] > hi[k]) return false;
            continue;
        }
        float t1 = (lo[k] - r.o[k]) * r.inv[k], t2 = (hi[k] - r.o[k]) * r.inv[k];
        if (t1 > t2) std::swap(t1, t2);
        if (t1 > tnear) tnear = t1;
        if (t2 < tfar) tfar = t2;
        if (tnear > tfar || tfar < 0.0f) return false;
    }
    return tnear < tmax;
}

RtFace* cacheFetch(RtThreadState& t, const Vec3* direction, PelFace* face, ScnNode* node, uint32_t flag,
                   uint16_t* ref);
uint16_t* leafSlots(RtThreadState& t, uint32_t thread, const ScnNode* node);

int traceLeaf(RtTreeNode* node, const Vec3 ray[2], RtFace** hitFace, RtHit* hit, int anyHit, int twoSided,
              int32_t ignoreId, ScnNode* ignoreNode, uint32_t thread) {
    ScnNode* n = node->node;
    if (!n) return 0;
    if (anyHit && !leafCastsShadow(node, ignoreId, ignoreNode)) return 0;
    if (n->rayHook) return traceLeafProcedural(node, ray, hitFace, hit, anyHit, thread);
    const RtFaceGroup* g = node->group;
    if (!g || !g->first) return 0;
    RtThreadState& ts0 = g_run.threads[thread];
    if (!ts0.cache) return 0;
    // the group's slots: this thread's own array, or the faces' slots
    uint16_t* slots = leafSlots(ts0, thread, n);
    const PelFace* faces = n->content->faces;
    // The faces' test records: a face is fetched prepared only when the ray meets it (or when
    // its colour key decides).
    const RtFaceTest* tests = nullptr;
    if (g_run.faceTests && n->rtSeq < g_run.nodeCount && g_run.nodes[n->rtSeq] == n &&
        g_run.testBase[n->rtSeq] != RT_NO_HIT)
        tests = g_run.faceTests + g_run.testBase[n->rtSeq];
    int found = 0;
    for (uint32_t i = 0; i < g->faceCount; ++i) {
        PelFace* face = g->first + i;
        RtHit h = *hit;
        bool met = false;  // the test record says the ray meets the face
        if (tests) {
            const RtFaceTest& t = tests[face - faces];
            if (!(t.flags & RT_TEST_VALID)) continue;
            if (!(t.flags & RT_FACE_COLORKEY)) {
                const bool both = !anyHit && (t.flags & RT_FACE_TRANSPARENT) && g_run.refraction;
                const int ts =
                    anyHit ? (twoSided || (t.flags & RT_FACE_TWO_SIDED)) : (both || (t.flags & RT_FACE_TWO_SIDED));
                if (!faceHit(ray, t, hit, ts, &h)) continue;
                met = true;
            }
        }
        RtFace* f = cacheFetch(ts0, &ray[1], face, n, 0, slots ? slots + (face - faces) : &face->rtCache[thread]);
        if (!f || !f->valid) continue;
        if (anyHit) {
            int ts = twoSided || (f->flags & RT_FACE_TWO_SIDED);
            if (!met && !rtIntersectFace(thread, ray, f, &h, ts)) continue;
            if (!isTransparentFace(f)) {
                hit->t = h.t;
                g_run.threads[thread].lastLeaf = node;
                if (hitFace) {
                    if (*hitFace) rtUnpin(*hitFace);
                    *hitFace = f;
                    rtPin(f);
                }
                return 1;
            }
            filterThrough(f, ray, &h, hit);
            continue;
        }
        bool both = isTransparentFace(f) && g_run.refraction;
        int ts = both ? 1 : ((f->flags & RT_FACE_TWO_SIDED) ? 1 : 0);
        if (met) {
            hit->t = h.t;
            hit->u = h.u;
            hit->v = h.v;
            hit->triangle = h.triangle;
        } else if (!rtIntersectFace(thread, ray, f, hit, ts)) {
            continue;
        }
        hit->behind = both && dot(hit->triangle ? f->normal2 : f->normal, ray[1]) > 0.0f;
        if (*hitFace) rtUnpin(*hitFace);
        *hitFace = f;
        rtPin(f);
        found = 1;
    }
    return found;
}

// The tree below node in the order of a recursion that takes the left child first: in
// any-hit mode a leaf's hit ends the search; a node's box is tested when it is reached, with
// the best distance found by then.
int traceNode(RtTreeNode* root, int testBox, const Vec3 ray[2], const RayPre& pre, RtFace** hitFace, RtHit* hit,
              int anyHit, int twoSided, int32_t ignoreId, ScnNode* ignoreNode, uint32_t thread) {
    struct Pending {
        RtTreeNode* node;
        int testBox;
    };
    Pending stack[80];  // a level keeps at most one right child waiting; trees have at most 31 levels
    int top = 0, found = 0;
    stack[top++] = {root, testBox};
    while (top) {
        const Pending p = stack[--top];
        RtTreeNode* node = p.node;
        if (p.testBox && !node->skipBox && !rayBoxPre(node->box, pre, hit->t)) continue;
        if (node->left) {
            if (node->right) stack[top++] = {node->right, !node->rightEqual};
            stack[top++] = {node->left, !node->leftEqual};
            continue;
        }
        if (traceLeaf(node, ray, hitFace, hit, anyHit, twoSided, ignoreId, ignoreNode, thread)) {
            if (anyHit) return 1;
            found = 1;
        }
    }
    return found;
}

// Face tree of a run: a box tree over single faces (and the tree's procedural leaves) for the
// ray queries, with each face's place in the walk of the object tree (its rank) and the
// object-tree leaf it belongs to. Its answers are those of the object tree's walk: a shadow
// ray is blocked when an opaque face that may shadow is met, whichever comes first (a ray
// that meets a transparent face is walked through the object tree, whose order the filter
// colour follows); a closest hit takes the faces the ray meets in rank order, with the
// acceptance rule of the walk.
class FaceTree {
public:
    static constexpr uint32_t kNone = 0xFFFFFFFFu;

    void clear() {
        std::vector<Node>().swap(nodes_);
        std::vector<Wide>().swap(wide_);
        std::vector<Item>().swap(items_);
        ready_ = false;
    }
    bool ready() const { return ready_; }

    // After the test records: every face of the object tree's leaves, in its walk's order.
    bool build(RtTreeNode* root, const std::vector<Box3>& testBoxes) try {
        clear();
        if (!root || !g_run.faceTests) return false;
        prune_ = true;
        procedural_ = false;
        std::vector<RtTreeNode*> stack{root};
        uint32_t rank = 0;
        while (!stack.empty()) {
            RtTreeNode* t = stack.back();
            stack.pop_back();
            if (t->left) {
                if (t->right) stack.push_back(t->right);
                stack.push_back(t->left);
                continue;
            }
            ScnNode* n = t->node;
            if (!n) continue;
            if (n->rayHook) {
                items_.push_back({kNone, rank++, t, t->box});
                procedural_ = true;
                continue;
            }
            const RtFaceGroup* g = t->group;
            if (!g || !g->first || n->rtSeq >= g_run.nodeCount || g_run.testBase[n->rtSeq] == RT_NO_HIT) continue;
            const uint32_t base = g_run.testBase[n->rtSeq] + uint32_t(g->first - n->content->faces);
            for (uint32_t k = 0; k < g->faceCount; ++k, ++rank) {
                const RtFaceTest& f = g_run.faceTests[base + k];
                if (!(f.flags & RT_TEST_VALID)) continue;
                // Quadrilaterals whose two triangles have planes of their own make the order of
                // every face the ray meets count: no pruning by distance then.
                if ((f.flags & RT_FACE_QUAD) && (std::memcmp(&f.normal, &f.normal2, sizeof f.normal) != 0 ||
                                                 std::memcmp(&f.dist, &f.dist2, sizeof f.dist) != 0))
                    prune_ = false;
                items_.push_back({base + k, rank, t, testBoxes[base + k]});
            }
        }
        if (items_.empty()) return false;
        nodes_.reserve(items_.size() / 2 + 1);
        nodes_.push_back({});
        float bounds[4][3];
        boundsOf(0, uint32_t(items_.size()), bounds[0], bounds[1], bounds[2], bounds[3]);
        split(0, 0, uint32_t(items_.size()), bounds);
        if (nodes_[0].count) {  // one leaf: a walked node of one slot
            wide_.push_back({});
            Wide& w = wide_[0];
            for (uint32_t j = 0; j < 4; ++j) {
                for (int k = 0; k < 3; ++k) {
                    w.lo[k][j] = j ? INFINITY : nodes_[0].lo[k];
                    w.hi[k][j] = j ? -INFINITY : nodes_[0].hi[k];
                }
                w.child[j] = j ? kNone : nodes_[0].first;
                w.count[j] = j ? 0 : nodes_[0].count;
            }
        } else {
            collapse(0);
        }
        std::vector<Node>().swap(nodes_);
        ready_ = true;
        return true;
    } catch (const std::bad_alloc&) {
        clear();
        return false;
    }

    // Closest hit below hit->t (as rtTraceTree from the root with the box test); false when the
    // query needs the object tree's walk instead (procedural leaves).
    bool closest(const Vec3 ray[2], const RayPre& pre, RtFace** hitFace, RtHit* hit, uint32_t thread, int* found) {
        if (procedural_) return false;
        struct Candidate {
            uint32_t rank, item;
        };
        Candidate cand[64];
        uint32_t count = 0;
        const float t0 = hit->t;
        float bound = t0;  // no face beyond it can be the answer
        struct Pending {
            uint32_t wide;
            float entry;
        } stack[kStack];
        uint32_t top = 0;
        stack[top++] = {0, -INFINITY};
        while (top) {
            const Pending p = stack[--top];
            if (p.entry > bound) continue;
            const Wide& w = wide_[p.wide];
            float entry[4];
            const uint32_t met = meets(w, pre, bound, true, entry);
            // the nearer first: leaves at once, then inner nodes pushed so that the nearest
            // comes off the stack first
            uint32_t order[4], n = 0;
            for (uint32_t j = 0; j < 4; ++j)
                if (met & (1u << j)) {
                    uint32_t at = n++;
                    while (at > 0 && entry[order[at - 1]] > entry[j]) order[at] = order[at - 1], --at;
                    order[at] = j;
                }
            if (top + 4 > kStack) return false;  // deeper than a tree should be: the walk decides
            for (uint32_t q = n; q-- > 0;)
                if (!w.count[order[q]]) stack[top++] = {w.child[order[q]], entry[order[q]]};
            for (uint32_t q = 0; q < n; ++q) {
                const uint32_t j = order[q];
                if (!w.count[j] || entry[j] > bound) continue;
                for (uint32_t i = w.child[j]; i < w.child[j] + w.count[j]; ++i) {
                    const Item& it = items_[i];
                    const RtFaceTest& f = g_run.faceTests[it.test];
                    const bool both = (f.flags & RT_FACE_TRANSPARENT) && g_run.refraction;
                    const int ts = (both || (f.flags & RT_FACE_TWO_SIDED)) ? 1 : 0;
                    float t1, t2, u, v;
                    const bool h1 =
                        triangleHit(ray, f.normal, f.dist, f.v0, f.b1, f.b2, ts, INFINITY, false, &t1, &u, &v);
                    bool h2 = false;
                    if (f.flags & RT_FACE_QUAD) {
                        h2 = triangleHit(ray, f.normal2, f.dist2, f.v0, f.c1, f.c2, 1, INFINITY, false, &t2, &u, &v);
                        if (h2 && !ts && dot(f.normal2, ray[1]) > -RT_PARALLEL_EPS) h2 = false;
                    }
                    if (!((h1 && t1 < t0) || (h2 && t2 <= t0))) continue;
                    const float first = h1 ? t1 : t2;   // the walk never ends above it once past this face
                    const float least = h1 && h2 ? std::min(t1, t2) : first;
                    if (least > bound) continue;
                    if (prune_) bound = std::min(bound, first);
                    if (count == 64) return false;  // a ray through very many faces: the walk decides
                    cand[count++] = {it.rank, i};
                }
            }
        }
        // The walk's order and rule over the faces met.
        for (uint32_t i = 1; i < count; ++i)
            for (uint32_t j = i; j > 0 && cand[j].rank < cand[j - 1].rank; --j) std::swap(cand[j], cand[j - 1]);
        RtThreadState& ts0 = g_run.threads[thread];
        *found = 0;
        for (uint32_t c = 0; c < count; ++c) {
            const Item& it = items_[cand[c].item];
            const RtFaceTest& f = g_run.faceTests[it.test];
            ScnNode* n = it.leaf->node;
            PelFace* face = n->content->faces + (it.test - g_run.testBase[n->rtSeq]);
            const bool both = (f.flags & RT_FACE_TRANSPARENT) && g_run.refraction;
            const int ts = (both || (f.flags & RT_FACE_TWO_SIDED)) ? 1 : 0;
            RtHit h = *hit;
            const bool keyed = (f.flags & RT_FACE_COLORKEY) != 0;
            if (!keyed && !faceHit(ray, f, hit, ts, &h)) continue;
            uint16_t* slots = leafSlots(ts0, thread, n);
            RtFace* e = cacheFetch(ts0, &ray[1], face, n, 0,
                                   slots ? slots + (face - n->content->faces) : &face->rtCache[thread]);
            if (!e || !e->valid) continue;
            if (keyed) {
                if (!rtIntersectFace(thread, ray, e, hit, ts)) continue;
            } else {
                hit->t = h.t;
                hit->u = h.u;
                hit->v = h.v;
                hit->triangle = h.triangle;
            }
            hit->behind = both && dot(hit->triangle ? e->normal2 : e->normal, ray[1]) > 0.0f;
            if (*hitFace) rtUnpin(*hitFace);
            *hitFace = e;
            rtPin(e);
            *found = 1;
        }
        return true;
    }

    // Any hit below hit->t (as rtTraceTree's any-hit walk from the root); false when the query
    // needs the walk (a transparent face or a procedural node on the way).
    bool any(const Vec3 ray[2], const RayPre& pre, RtFace** hitFace, RtHit* hit, int twoSided, int32_t ignoreId,
             ScnNode* ignoreNode, uint32_t thread, int* blocked) {
        *blocked = 0;
        uint32_t stack[kStack];
        uint32_t top = 0;
        stack[top++] = 0;
        const RtTreeNode* lastLeaf = nullptr;
        bool casts = false;
        while (top) {
            const Wide& w = wide_[stack[--top]];
            float entry[4];
            const uint32_t met = meets(w, pre, hit->t, false, entry);
            if (top + 4 > kStack) return false;  // deeper than a tree should be: the walk decides
            for (uint32_t j = 0; j < 4; ++j)
                if ((met & (1u << j)) && !w.count[j]) stack[top++] = w.child[j];
            for (uint32_t j = 0; j < 4; ++j) {
                if (!(met & (1u << j)) || !w.count[j]) continue;
                for (uint32_t i = w.child[j]; i < w.child[j] + w.count[j]; ++i) {
                    const Item& it = items_[i];
                    if (it.leaf != lastLeaf) {
                        lastLeaf = it.leaf;
                        casts = leafCastsShadow(it.leaf, ignoreId, ignoreNode);
                    }
                    if (!casts) continue;
                    if (it.test == kNone) return false;  // a procedural node
                    const RtFaceTest& f = g_run.faceTests[it.test];
                    const int ts = twoSided || (f.flags & RT_FACE_TWO_SIDED);
                    RtHit h = *hit;
                    if (!faceHit(ray, f, hit, ts, &h)) continue;
                    if (f.flags & (RT_FACE_TRANSPARENT | RT_FACE_COLORKEY)) return false;
                    ScnNode* n = it.leaf->node;
                    PelFace* face = n->content->faces + (it.test - g_run.testBase[n->rtSeq]);
                    RtThreadState& ts0 = g_run.threads[thread];
                    uint16_t* slots = leafSlots(ts0, thread, n);
                    RtFace* e = cacheFetch(ts0, &ray[1], face, n, 0,
                                           slots ? slots + (face - n->content->faces) : &face->rtCache[thread]);
                    if (!e || !e->valid) continue;
                    hit->t = h.t;
                    ts0.lastLeaf = it.leaf;
                    if (hitFace) {
                        if (*hitFace) rtUnpin(*hitFace);
                        *hitFace = e;
                        rtPin(e);
                    }
                    *blocked = 1;
                    return true;
                }
            }
        }
        return true;
    }

private:
    struct Item {
        uint32_t test;  // test record, kNone for a procedural leaf
        uint32_t rank;
        RtTreeNode* leaf;
        Box3 box;
    };
    struct Node {
        float lo[3], hi[3];
        uint32_t first;  // inner: first of the two children; leaf: first item
        uint32_t count;  // items of a leaf, 0 for an inner node
    };

    // Four boxes of a node of the tree as it is walked: children that are inner nodes (count 0)
    // or leaves (their items); an empty slot has no child.
    struct Wide {
        float lo[3][4], hi[3][4];
        uint32_t child[4];
        uint32_t count[4];
    };
    static constexpr uint32_t kStack = 160;

    // The slots whose box the ray meets (bit j for slot j) with the distances where it enters;
    // only entries not beyond limit (closed) or below it (open).
    static uint32_t meets(const Wide& w, const RayPre& r, float limit, bool closed, float entry[4]) {
#ifdef __SSE2__
        __m128 tn = _mm_set1_ps(-1e20f), tf = _mm_set1_ps(1e20f);
        __m128 in = _mm_castsi128_ps(_mm_set1_epi32(-1));
        for (int k = 0; k < 3; ++k) {
            const __m128 lo = _mm_loadu_ps(w.lo[k]), hi = _mm_loadu_ps(w.hi[k]), o = _mm_set1_ps(r.o[k]);
            if (r.parallel[k]) {
                in = _mm_and_ps(in, _mm_and_ps(_mm_cmple_ps(lo, o), _mm_cmple_ps(o, hi)));
                continue;
            }
            const __m128 inv = _mm_set1_ps(r.inv[k]);
            const __m128 t1 = _mm_mul_ps(_mm_sub_ps(lo, o), inv), t2 = _mm_mul_ps(_mm_sub_ps(hi, o), inv);
            tn = _mm_max_ps(tn, _mm_min_ps(t1, t2));
            tf = _mm_min_ps(tf, _mm_max_ps(t1, t2));
        }
        const __m128 lim = _mm_set1_ps(limit);
        __m128 ok = _mm_and_ps(in, _mm_and_ps(_mm_cmple_ps(tn, tf), _mm_cmpge_ps(tf, _mm_setzero_ps())));
        ok = _mm_and_ps(ok, closed ? _mm_cmple_ps(tn, lim) : _mm_cmplt_ps(tn, lim));
        _mm_storeu_ps(entry, tn);
        uint32_t met = uint32_t(_mm_movemask_ps(ok));
        for (int j = 0; j < 4; ++j)
            if (w.child[j] == kNone) met &= ~(1u << j);
        return met;
#else
        float tn[4] = {-1e20f, -1e20f, -1e20f, -1e20f}, tf[4] = {1e20f, 1e20f, 1e20f, 1e20f};
        bool in[4] = {true, true, true, true};
        for (int k = 0; k < 3; ++k) {
            if (r.parallel[k]) {
                for (int j = 0; j < 4; ++j) in[j] = in[j] && !(r.o[k] < w.lo[k][j] || r.o[k] > w.hi[k][j]);
                continue;
            }
            for (int j = 0; j < 4; ++j) {
                const float t1 = (w.lo[k][j] - r.o[k]) * r.inv[k], t2 = (w.hi[k][j] - r.o[k]) * r.inv[k];
                tn[j] = std::max(tn[j], std::min(t1, t2));
                tf[j] = std::min(tf[j], std::max(t1, t2));
            }
        }
        uint32_t met = 0;
        for (int j = 0; j < 4; ++j) {
            entry[j] = tn[j];
            const bool near = closed ? !(tn[j] > limit) : tn[j] < limit;
            if (w.child[j] != kNone && in[j] && tn[j] <= tf[j] && tf[j] >= 0.0f && near) met |= 1u << j;
        }
        return met;
#endif
    }

    // The walked form of binary node b: its descendants down to four boxes (the largest
    // inner one opened first).
    uint32_t collapse(uint32_t b) {
        uint32_t slot[4] = {nodes_[b].first, nodes_[b].first + 1, kNone, kNone}, n = 2;
        while (n < 4) {
            int open = -1;
            float area = -1.0f;
            for (uint32_t j = 0; j < n; ++j) {
                const Node& c = nodes_[slot[j]];
                if (c.count) continue;
                const float a = halfAreaOf(c.lo, c.hi);
                if (a > area) area = a, open = int(j);
            }
            if (open < 0) break;
            const uint32_t inner = slot[open];
            slot[open] = nodes_[inner].first;
            slot[n++] = nodes_[inner].first + 1;
        }
        const uint32_t self = uint32_t(wide_.size());
        wide_.push_back({});
        for (uint32_t j = 0; j < 4; ++j) {
            Wide& w = wide_[self];
            if (j >= n) {
                for (int k = 0; k < 3; ++k) w.lo[k][j] = INFINITY, w.hi[k][j] = -INFINITY;
                w.child[j] = kNone;
                w.count[j] = 0;
                continue;
            }
            const Node& c = nodes_[slot[j]];
            for (int k = 0; k < 3; ++k) w.lo[k][j] = c.lo[k], w.hi[k][j] = c.hi[k];
            w.count[j] = c.count;
            w.child[j] = c.count ? c.first : 0;
            if (!c.count) {
                const uint32_t sub = collapse(slot[j]);
                wide_[self].child[j] = sub;
            }
        }
        return self;
    }

    static float halfAreaOf(const float lo[3], const float hi[3]) {
        const float dx = hi[0] - lo[0], dy = hi[1] - lo[1], dz = hi[2] - lo[2];
        return dx * dy + dz * (dx + dy);
    }

    // Splits items [first, end) where the surface area heuristic over binned centres finds
    // the cheapest cut (at the middle of the widest axis when the centres coincide).
    // Bounds of the boxes and of the (doubled) centres of items [first, end).
    void boundsOf(uint32_t first, uint32_t end, float lo[3], float hi[3], float clo[3], float chi[3]) const {
        for (int k = 0; k < 3; ++k) lo[k] = clo[k] = INFINITY, hi[k] = chi[k] = -INFINITY;
        for (uint32_t i = first; i < end; ++i) {
            const Box3& b = items_[i].box;
            const float bl[3] = {b.min.x, b.min.y, b.min.z}, bh[3] = {b.max.x, b.max.y, b.max.z};
            for (int k = 0; k < 3; ++k) {
                lo[k] = std::min(lo[k], bl[k]);
                hi[k] = std::max(hi[k], bh[k]);
                const float c = bl[k] + bh[k];
                clo[k] = std::min(clo[k], c);
                chi[k] = std::max(chi[k], c);
            }
        }
    }

    // bounds: those of the items' boxes and centres (lo, hi, centre lo, centre hi).
    void split(uint32_t self, uint32_t first, uint32_t end, const float (&bounds)[4][3]) {
        const float *lo = bounds[0], *hi = bounds[1], *clo = bounds[2], *chi = bounds[3];
        Node& nd = nodes_[self];
        for (int k = 0; k < 3; ++k) nd.lo[k] = lo[k], nd.hi[k] = hi[k];
        const uint32_t n = end - first;
        if (n <= kLeafItems) {
            nd.first = first;
            nd.count = n;
            return;
        }
        constexpr int kBins = 12;
        auto centre = [](const Item& it, int ax) {
            const Box3& b = it.box;
            return ax == 0 ? b.min.x + b.max.x : (ax == 1 ? b.min.y + b.max.y : b.min.z + b.max.z);
        };
        struct Bin {
            float lo[3] = {INFINITY, INFINITY, INFINITY}, hi[3] = {-INFINITY, -INFINITY, -INFINITY};
            float clo[3] = {INFINITY, INFINITY, INFINITY}, chi[3] = {-INFINITY, -INFINITY, -INFINITY};
            uint32_t count = 0;
        } bins[3][kBins];
        // The bin of a scaled position, clamped as a float: a huge or not-a-number position
        // must not reach the int.
        auto binOf = [](float at) { return at >= float(kBins - 1) ? kBins - 1 : (at > 0.0f ? int(at) : 0); };
        float scale[3];
        bool usable[3];
        for (int ax = 0; ax < 3; ++ax) {
            const float extent = chi[ax] - clo[ax];
            usable[ax] = extent > 0.0f && std::isfinite(extent);
            scale[ax] = usable[ax] ? kBins / extent : 0.0f;
        }
        for (uint32_t i = first; i < end; ++i) {
            const Box3& b = items_[i].box;
            const float bl[3] = {b.min.x, b.min.y, b.min.z}, bh[3] = {b.max.x, b.max.y, b.max.z};
            for (int ax = 0; ax < 3; ++ax) {
                const int k = binOf((bl[ax] + bh[ax] - clo[ax]) * scale[ax]);
                Bin& bin = bins[ax][k];
                for (int d = 0; d < 3; ++d) {
                    bin.lo[d] = std::min(bin.lo[d], bl[d]), bin.hi[d] = std::max(bin.hi[d], bh[d]);
                    bin.clo[d] = std::min(bin.clo[d], bl[d] + bh[d]), bin.chi[d] = std::max(bin.chi[d], bl[d] + bh[d]);
                }
                ++bin.count;
            }
        }
        int bestAxis = -1, bestCut = 0;
        float bestCost = INFINITY;
        for (int ax = 0; ax < 3; ++ax) {
            if (!usable[ax]) continue;
            float rightArea[kBins];
            uint32_t rightCount[kBins];
            float rl[3] = {INFINITY, INFINITY, INFINITY}, rh[3] = {-INFINITY, -INFINITY, -INFINITY};
            uint32_t rc = 0;
            for (int k = kBins - 1; k > 0; --k) {
                const Bin& bin = bins[ax][k];
                for (int d = 0; d < 3; ++d) rl[d] = std::min(rl[d], bin.lo[d]), rh[d] = std::max(rh[d], bin.hi[d]);
                rc += bin.count;
                rightArea[k] = rc ? halfAreaOf(rl, rh) : 0.0f;
                rightCount[k] = rc;
            }
            float ll[3] = {INFINITY, INFINITY, INFINITY}, lh[3] = {-INFINITY, -INFINITY, -INFINITY};
            uint32_t lc = 0;
            for (int k = 0; k < kBins - 1; ++k) {
                const Bin& bin = bins[ax][k];
                for (int d = 0; d < 3; ++d) ll[d] = std::min(ll[d], bin.lo[d]), lh[d] = std::max(lh[d], bin.hi[d]);
                lc += bin.count;
                if (!lc || !rightCount[k + 1]) continue;
                const float cost = halfAreaOf(ll, lh) * float(lc) + rightArea[k + 1] * float(rightCount[k + 1]);
                if (cost < bestCost) bestCost = cost, bestAxis = ax, bestCut = k + 1;
            }
        }
        uint32_t mid;
        float left[4][3], right[4][3];
        bool known = false;
        if (bestAxis >= 0) {
            const int ax = bestAxis;
            auto* at = std::partition(items_.data() + first, items_.data() + end, [&](const Item& it) {
                return binOf((centre(it, ax) - clo[ax]) * scale[ax]) < bestCut;
            });
            mid = uint32_t(at - items_.data());
            for (int d = 0; d < 3; ++d) {
                left[0][d] = left[2][d] = right[0][d] = right[2][d] = INFINITY;
                left[1][d] = left[3][d] = right[1][d] = right[3][d] = -INFINITY;
            }
            for (int k = 0; k < kBins; ++k) {
                const Bin& bin = bins[ax][k];
                float(&side)[4][3] = k < bestCut ? left : right;
                for (int d = 0; d < 3; ++d) {
                    side[0][d] = std::min(side[0][d], bin.lo[d]), side[1][d] = std::max(side[1][d], bin.hi[d]);
                    side[2][d] = std::min(side[2][d], bin.clo[d]), side[3][d] = std::max(side[3][d], bin.chi[d]);
                }
            }
            known = true;
        } else {
            int ax = 0;
            for (int k = 1; k < 3; ++k)
                if (hi[k] - lo[k] > hi[ax] - lo[ax]) ax = k;
            mid = first + n / 2;
            std::nth_element(items_.begin() + first, items_.begin() + mid, items_.begin() + end,
                             [&](const Item& a, const Item& b) { return centre(a, ax) < centre(b, ax); });
        }
        if (mid == first || mid == end) {
            mid = first + n / 2;
            known = false;
        }
        if (!known) {
            boundsOf(first, mid, left[0], left[1], left[2], left[3]);
            boundsOf(mid, end, right[0], right[1], right[2], right[3]);
        }
        const uint32_t children = uint32_t(nodes_.size());
        nodes_.push_back({});
        nodes_.push_back({});
        nodes_[self].first = children;
        nodes_[self].count = 0;
        split(children, first, mid, left);
        split(children + 1, mid, end, right);
    }

    static constexpr uint32_t kLeafItems = 4;
    std::vector<Node> nodes_;  // binary, while building
    std::vector<Wide> wide_;   // walked; the root first
    std::vector<Item> items_;
    bool ready_ = false;
    bool prune_ = true;
    bool procedural_ = false;
};

FaceTree g_faceTree;
void clearFaceTree() { g_faceTree.clear(); }
void buildFaceTree(const std::vector<Box3>& boxes) { g_faceTree.build(g_run.root, boxes); }

}  // namespace

int rtTraceTree(RtTreeNode* node, int testBox, const Vec3 ray[2], RtFace** hitFace, RtHit* hit, int anyHit,
                int twoSided, int32_t ignoreId, ScnNode* ignoreNode, uint32_t thread) {
    if (!node || thread >= RT_MAX_THREADS) return 0;
    const RayPre pre = rayPre(ray);
    return traceNode(node, testBox, ray, pre, hitFace, hit, anyHit, twoSided, ignoreId, ignoreNode, thread);
}

RtFace* rtFindHit(const Vec3 ray[2], RtHit* hit, uint32_t thread) {
    hit->t = RT_FAR;
    hit->behind = 0;
    float d;
    uint32_t side;
    if (clpRayPlanes(&ray[0], &ray[1], &d, &side) && d < hit->t) hit->t = d;
    RtFace* face = nullptr;
    int found = 0;
    if (!g_faceTree.ready() || !g_faceTree.closest(ray, rayPre(ray), &face, hit, thread, &found))
        found = rtTraceTree(g_run.root, 1, ray, &face, hit, 0, 0, -1, nullptr, thread);
    if (!found) {
        rtUnpin(face);
        return nullptr;
    }
    return face;  // pinned: the caller releases it
}

// ---- surface, shadows, shading ----

void rtSurfaceAt(const RtFace* f, const Vec3 ray[2], const RtHit* hit, RtSurface* s, Vec3* normal, float tex[2]) {
    std::memset(s, 0, sizeof *s);
    Vec3 n;
    bool procedural = f == &g_run.threads[0].procedural || !f->face;
    if (procedural) {
        n = f->normal;
        if (f->material && (f->material->flags & qivMatFlagTwoSided) && dot(n, ray[1]) > 0.0f) n = mul(n, -1.0f);
    } else {
        int i1 = hit->triangle ? 2 : 1, i2 = hit->triangle ? 3 : 2;
        float w0 = 1.0f - hit->u - hit->v;
        n = add(add(mul(f->vnormal[0], w0), mul(f->vnormal[i1], hit->u)), mul(f->vnormal[i2], hit->v));
        n = normalized(n);
        if ((f->flags & RT_FACE_TWO_SIDED) && dot(n, ray[1]) > 0.0f) n = mul(n, -1.0f);
    }
    *normal = n;
    tex[0] = tex[1] = 0.0f;
    if ((f->flags & RT_FACE_TEXTURED) && f->texture) {
        if (procedural && !(f->flags & RT_FACE_ENVMAP)) {
            tex[0] = f->tu[0];
            tex[1] = f->tv[0];
        } else {
            texCoordAt(f, ray[1], hit, n, tex);
        }
        s->textured = rtTexel(f->texture, f->mipLevel, tex[0], tex[1], s->texture) ? 1u : 0u;
    }
    const MatRecord* m = f->material;
    if (!m) return;
    float S[3];
    float k = 0.0f;
    for (int i = 0; i < 3; ++i) {
        S[i] = m->colSpecular[i] * m->coSpecular;
        k = std::max(k, S[i]);
    }
    for (float& x : S) x *= RT_LIGHT_SCALE;
    for (int i = 0; i < 3; ++i) s->diffuse[i] = m->colDifuse[i];
    s->k = k;
    s->alpha = m->alpha;
    bool tagged = (m->flags & MAT_TAG_MASK) == MAT_TAG;
    s->reflective = tagged ? ((m->flags & qivMatFlagIsSpec) ? 1u : 0u) : (k >= 0.3f ? 1u : 0u);
    if (s->reflective)
        for (int i = 0; i < 3; ++i) {
            s->reflection[i] = k * S[i];
            S[i] *= (1.0f - k);
        }
    if (f->flags & RT_FACE_TRANSPARENT) {
        s->transparent = 1;
        s->index = tagged ? float((m->flags >> 10) & 63u) / 63.0f * 6.3f + 0.1f : RT_DEFAULT_INDEX;
        if (!s->reflective)
            for (int i = 0; i < 3; ++i) s->reflection[i] = k * S[i];
    }
    std::memcpy(s->specular, S, sizeof S);
}

int rtShadowTest(const Vec3* point, const Vec3* toLight, float distance, RtThreadState::Occluder* occluder,
                 ScnNode* shadedNode, int twoSided, int* partly, float filter[3], uint32_t thread) {
    Vec3 ray[2] = {add(*point, mul(*toLight, RT_START_OFFSET)), *toLight};
    uint32_t extFlags = 0, firstId = 0;
    int32_t ignoreId = isExtension(shadedNode, &extFlags, &firstId) ? int32_t(firstId) : -1;
    if (partly) *partly = 0;
    if (filter) filter[0] = filter[1] = filter[2] = 1.0f;
    if (occluder && occluder->face && occluder->leaf && leafCastsShadow(occluder->leaf, ignoreId, shadedNode)) {
        RtFace* f = rtFaceCache(thread, toLight, occluder->face, occluder->leaf->node, 0);
        if (f && f->valid && !isTransparentFace(f)) {
            RtHit h{};
            h.t = distance;
            if (rtIntersectFace(thread, ray, f, &h, twoSided || (f->flags & RT_FACE_TWO_SIDED))) return 1;
        }
    }
    RtHit hit{};
    hit.t = distance;
    hit.filter[0] = hit.filter[1] = hit.filter[2] = 1.0f;
    RtFace* face = nullptr;
    int blocked = 0;
    if (!g_faceTree.ready() ||
        !g_faceTree.any(ray, rayPre(ray), &face, &hit, twoSided, ignoreId, shadedNode, thread, &blocked))
        blocked = rtTraceTree(g_run.root, 1, ray, &face, &hit, 1, twoSided, ignoreId, shadedNode, thread);
    if (!blocked) {
        rtUnpin(face);
        if (occluder) *occluder = {};
        if (partly) *partly = int(hit.partly);
        if (filter) std::memcpy(filter, hit.filter, sizeof hit.filter);
        return 0;
    }
    if (occluder) {
        *occluder = {};
        if (face && face->face && face->area > 0.0001f) {
            occluder->face = face->face;
            occluder->leaf = g_run.threads[thread].lastLeaf;
            if (!occluder->leaf) occluder->face = nullptr;
        }
    }
    rtUnpin(face);
    return 1;
}

int rtShadowTestHook(const Vec3* p, const Vec3* dir, float dist, uint32_t slot, uintptr_t, uint32_t passP,
                     uint32_t passQ, int* filtered, float filter[3]) {
    if (passP >= RT_MAX_THREADS) return 0;
    RtThreadState& t = g_run.threads[passP];
    RtThreadState::Occluder* occ = nullptr;
    if (t.occluders && slot < RT_MAX_DEPTH * g_run.lightCount) occ = &t.occluders[slot];
    return rtShadowTest(p, dir, dist, occ, t.shadedNode, int(passQ), filtered, filter, passP);
}

int rtRefract(const Vec3* d, const Vec3* n, float fromIndex, float toIndex, Vec3* out) {
    if (toIndex == 0.0f) return 0;
    float eta = fromIndex / toIndex;
    float c = -dot(*n, *d);
    float k = 1.0f - eta * eta * (1.0f - c * c);
    if (k < 0.0f) return 0;
    *out = add(mul(*d, eta), mul(*n, eta * c - std::sqrt(k)));
    return 1;
}

namespace {

void background(int32_t x, int32_t y, const Vec3* dir, float rgb[3]) {
    uint32_t ground = 0;
    rgb[0] = rgb[1] = rgb[2] = 0.0f;
    if (g_run.rayCamera) fzBackgroundColorAt(g_run.rayCamera, x, y, dir ? &dir->x : nullptr, rgb, &ground);
}

}  // namespace

void rtShade(const Vec3 ray[2], uint32_t depth, int32_t x, int32_t y, float index, float weight, uint32_t firstId,
             int inside, float rgb[3], int* behindOut, uint32_t thread) {
    rgb[0] = rgb[1] = rgb[2] = 0.0f;
    if (behindOut) *behindOut = 0;
    if (depth >= RT_MAX_DEPTH || weight < RT_WEIGHT_MIN) return;
    const Vec3& D = ray[1];
    RtHit hit{};
    RtFace* face = nullptr;
    if (firstId != RT_NO_HIT) {
        face = rtFaceFromId(thread, &D, firstId);
        if (!face) {
            background(x, y, nullptr, rgb);
            return;
        }
        rtPin(face);
        hit.t = RT_FAR;
        bool both = isTransparentFace(face) && g_run.refraction;
        int ts = (both || (face->flags & RT_FACE_TWO_SIDED)) ? 1 : 0;
        if (rtIntersectFace(thread, ray, face, &hit, ts)) {
            hit.behind = both && dot(hit.triangle ? face->normal2 : face->normal, D) > 0.0f;
        } else {
            rtUnpin(face);
            face = rtFindHit(ray, &hit, thread);
        }
    } else {
        face = rtFindHit(ray, &hit, thread);
    }
    if (!face) {
        background(x, y, &D, rgb);
        return;
    }
    RtThreadState& ts = g_run.threads[thread];
    Vec3 P = add(ray[0], mul(D, hit.t));
    Vec3 E = g_run.parallel ? ts.eye : g_run.eye;
    Vec3 V = normalized(sub(E, P));
    RtSurface s;
    Vec3 N;
    float tex[2];
    rtSurfaceAt(face, ray, &hit, &s, &N, tex);
    int behind = hit.behind ? 1 : 0;
    if (behind && dot(N, D) > 0.0f) N = mul(N, -1.0f);
    Vec3 R = sub(mul(N, 2.0f * dot(N, V)), V);
    const MatRecord* mat = face->material;
    ScnNode* shaded = face->node;
    rtUnpin(face);  // everything needed of the face is copied
    float C[3] = {0, 0, 0};
    if (mat) {
        LtHit lh{};
        lh.material = mat;
        lh.textured = int(s.textured);
        std::memcpy(lh.texel, s.texture, sizeof lh.texel);
        std::memcpy(lh.specular, s.specular, sizeof lh.specular);
        ScnNode* savedShaded = ts.shadedNode;
        ts.shadedNode = shaded;
        ltShadeRay(&P, &N, &lh, &R, depth * g_run.lightCount, g_run.shadows ? 0u : 1u, thread, C, 0u);
        ts.shadedNode = savedShaded;
    }
    float a = s.alpha;
    bool tir = false;
    if (g_run.refraction && (behind || s.transparent)) {
        Vec3 T;
        bool ok = behind ? rtRefract(&D, &N, index, 1.0f, &T) : rtRefract(&D, &N, index, s.index, &T);
        if (!ok) {
            tir = true;
        } else {
            Vec3 tray[2] = {add(P, mul(T, RT_START_OFFSET)), T};
            float Tc[3];
            int tb = 0;
            if (behind) {
                rtShade(tray, depth + 1, x, y, 1.0f, (1.0f - a) * weight, RT_NO_HIT, 0, Tc, &tb, thread);
                for (int i = 0; i < 3; ++i)
                    C[i] = inside ? (a / 2.0f) * C[i] + (1.0f - a) * Tc[i]
                                  : s.diffuse[i] * (1.0f - a) * Tc[i] + a * C[i];
            } else {
                rtShade(tray, depth + 1, x, y, s.index, (0.5f - a / 2.0f) * weight, RT_NO_HIT, 1, Tc, &tb, thread);
                for (int i = 0; i < 3; ++i)
                    C[i] = tb ? (a / 2.0f) * C[i] + s.diffuse[i] * Tc[i]
                              : s.diffuse[i] * (1.0f - a) * Tc[i] + a * C[i];
            }
        }
    } else if (!g_run.refraction && s.transparent) {
        Vec3 tray[2] = {add(P, mul(D, RT_START_OFFSET)), D};
        float w = std::max(s.diffuse[0], std::max(s.diffuse[1], s.diffuse[2])) * weight * (1.0f - a);
        float Tc[3];
        int tb = 0;
        rtShade(tray, depth + 1, x, y, index, w, RT_NO_HIT, 1, Tc, &tb, thread);
        for (int i = 0; i < 3; ++i) C[i] = Tc[i] * (1.0f - a) * s.diffuse[i] + a * C[i];
    }
    if (behindOut) *behindOut = behind;
    if (g_run.reflections && (s.reflective || tir)) {
        Vec3 rray[2] = {add(P, mul(R, RT_START_OFFSET)), R};
        int in = (tir || behind || (g_run.refraction && s.transparent)) ? 1 : 0;
        float Rc[3];
        int rb = 0;
        rtShade(rray, depth + 1, x, y, index, s.k * weight, RT_NO_HIT, in, Rc, &rb, thread);
        if (g_run.refraction && s.transparent)
            for (float& c : Rc) c *= a;
        for (int i = 0; i < 3; ++i) C[i] += s.reflection[i] * Rc[i];
    }
    std::memcpy(rgb, C, sizeof C);
}

// Collision tests: boxes, part boxes, GJK distance with a pair cache.
#include "render/collision.h"

#include <cmath>
#include <cstring>

#include "scene/sceneops.h"
#include "scene/engine.h"
#include "scene/scene.h"

namespace {

struct DVec {
    double x, y, z;
};

DVec toD(const Vec3& v) { return {v.x, v.y, v.z}; }
Vec3 toF(const DVec& v) { return {float(v.x), float(v.y), float(v.z)}; }
double dotD(const DVec& a, const DVec& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
DVec subD(const DVec& a, const DVec& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

ColPair g_pairs[COL_CACHE_SIZE];
uint32_t g_pairCount = 0;

const Vec3& setPoint(const ColVertexSet* s, uint32_t i) {
    return s->useScratch ? s->verts[i].world : s->verts[i].pos;
}

bool hasContent(const ScnNode* n) { return n && n->content && n->content->parts && n->content->partCount; }

void ensureInverse(ScnNode* n) {
    if (n->flags & NODE_INVERSE_VALID) return;
    if (!mtxInvert(&n->base, &n->invBase)) mtxIdentity(&n->invBase);
    n->flags |= NODE_INVERSE_VALID;
}

bool partUsable(const PelPart& p) { return !(p.flags & COL_PART_EXCLUDED) && p.vertexCount && p.firstVertex; }

void ageCache() {
    for (uint32_t i = 0; i < g_pairCount; ++i) {
        ColPair& p = g_pairs[i];
        if (p.used) {
            p.used = 0;
        } else if (p.distance == 0.0f) {
            p.distance = 1.0f;
        } else if (p.distance < 1e10f) {
            p.distance *= COL_AGE_FACTOR;
        }
    }
}

// The core scan; obstacles carrying any bit of skip are passed over.
uint32_t hitsList(ScnNode* node, ScnNode** obstacles, uint32_t* slot, uint32_t skip) {
    uint32_t i = *slot;
    uint32_t hit = 0;
    if (hasContent(node)) {
        for (; obstacles[i]; ++i) {
            ScnNode* ob = obstacles[i];
            if (ob == node || !hasContent(ob) || (ob->flags & skip) || !colBoxesOverlap(node, ob)) continue;
            ensureInverse(node);
            Mat4 m, n;
            mtxMultiply(&ob->base, &node->invBase, &m);  // obstacle space to node space
            if (!mtxInvert(&m, &n)) continue;
            PelContent* nc = node->content;
            PelContent* oc = ob->content;
            for (uint32_t p = 0; p < nc->partCount && !hit; ++p) {
                PelPart& np = nc->parts[p];
                if (!partUsable(np)) continue;
                Box3 inOb;
                mtxTransformBox(&np.box, &inOb, &n);
                for (uint32_t q = 0; q < oc->partCount; ++q) {
                    PelPart& op = oc->parts[q];
                    if (!partUsable(op) || !colPartBoxesOverlap(&inOb, &op.box)) continue;
                    if (colPairCollide(ob, node, &op, &np, &m)) {
                        hit = 1;
                        break;
                    }
                }
            }
            if (hit) break;
        }
    }
    *slot = i;
    ageCache();
    return hit;
}

void setFlags(ScnNode** list, uint32_t bits) {
    for (size_t i = 0; list[i]; ++i) list[i]->flags |= bits;
}
void clearFlags(ScnNode** list, uint32_t bits) {
    for (size_t i = 0; list[i]; ++i) list[i]->flags &= ~bits;
}

uint32_t findHitsFor(ScnNode** moving, ScnNode** obstacles, ScnNode*** hitsOut) {
    clearFlags(obstacles, NODE_COLLIDE_A | NODE_COLLIDE_B);
    setFlags(moving, NODE_COLLIDE_A);
    for (size_t m = 0; moving[m]; ++m) {
        uint32_t slot = 0;
        while (hitsList(moving[m], obstacles, &slot, NODE_COLLIDE_A | NODE_COLLIDE_B)) {
            obstacles[slot]->flags |= NODE_COLLIDE_B;
            ++slot;
        }
    }
    size_t hits = 0, n = scnListLength(obstacles);
    for (size_t i = 0; i < n; ++i)
        if (obstacles[i]->flags & NODE_COLLIDE_B) ++hits;
    auto** out = static_cast<ScnNode**>(memAllocZ((hits + 1) * sizeof(ScnNode*)));
    if (!out) return 0;
    size_t k = 0;
    for (size_t i = 0; i < n; ++i)
        if (obstacles[i]->flags & NODE_COLLIDE_B) out[k++] = obstacles[i];
    *hitsOut = out;
    return 1;
}

uint32_t testMoveFor(ScnNode** moving, ScnNode** obstacles, ScnNode*** contacts, uint32_t* hitOut) {
    clearFlags(obstacles, NODE_COLLIDE_A);
    setFlags(moving, NODE_COLLIDE_A);
    if (*contacts) setFlags(*contacts, NODE_COLLIDE_A);
    for (size_t m = 0; moving[m]; ++m) {
        uint32_t slot = 0;
        if (hitsList(moving[m], obstacles, &slot, NODE_COLLIDE_A)) {
            *hitOut = 1;
            return 1;
        }
    }
    if (!*contacts) return 1;
    ScnNode** old = *contacts;
    ScnNode** fresh = nullptr;
    uint32_t ok = findHitsFor(moving, old, &fresh);
    memFree(old);
    *contacts = ok ? fresh : nullptr;
    return ok;
}

// Closest points of the pair from the simplex and its weights.
void closestPoints(const ColVertexSet* a, const ColVertexSet* b, const ColSimplex& s, const float* w, Vec3* pa,
                   Vec3* pb) {
    DVec x{0, 0, 0}, y{0, 0, 0};
    for (uint32_t i = 0; i < s.count; ++i) {
        DVec p = toD(setPoint(a, s.a[i])), q = toD(setPoint(b, s.b[i]));
        x = {x.x + w[i] * p.x, x.y + w[i] * p.y, x.z + w[i] * p.z};
        y = {y.x + w[i] * q.x, y.y + w[i] * q.y, y.z + w[i] * q.z};
    }
    *pa = toF(x);
    *pb = toF(y);
}

}  // namespace

// ---------------------------------------------------------------------------
// Boxes

uint32_t colPartBoxesOverlap(const Box3* a, const Box3* b) {
    if (!a || !b) return 0;
    return a->min.x <= b->max.x && b->min.x <= a->max.x && a->min.y <= b->max.y && b->min.y <= a->max.y &&
                   a->min.z <= b->max.z && b->min.z <= a->max.z
               ? 1
               : 0;
}

uint32_t colBoxesOverlap(const ScnNode* a, const ScnNode* b) {
    if (!a || !b) return 0;
    return colPartBoxesOverlap(&a->worldBox, &b->worldBox);
}

int32_t colBoxNear(const Box3* a, const Box3* b, uint32_t mode, float distance) {
    if (!a || !b) return 0;
    bool apart = a->max.x < b->min.x - distance || a->min.x > b->max.x + distance ||
                 a->max.y < b->min.y - distance || a->min.y > b->max.y + distance ||
                 a->max.z < b->min.z - distance || a->min.z > b->max.z + distance;
    return apart ? int32_t(!mode) : int32_t(mode);
}

int32_t colPointNearBox(const Box3* box, const Vec3* point, uint32_t mode, float distance) {
    if (!box || !point) return 0;
    Box3 p = {*point, *point};
    return colBoxNear(box, &p, mode, distance);
}

namespace {
// Box of part p of node n in world space.
void partWorldBox(const ScnNode* n, uint32_t p, Box3* out) {
    const PelContent* c = n->content;
    const Mat4* m = (c->trackCount && n->parts) ? &n->parts[p].world : &n->base;
    mtxTransformBox(&c->parts[p].box, out, m);
}
}  // namespace

uint32_t colNodesNear(ScnNode* a, ScnNode* b, uint32_t mode, float distance) {
    if (!hasContent(a) || !hasContent(b)) return 0;
    if (!colBoxNear(&a->worldBox, &b->worldBox, mode, distance)) return 0;
    for (uint32_t i = 0; i < a->content->partCount; ++i) {
        Box3 ba;
        partWorldBox(a, i, &ba);
        for (uint32_t j = 0; j < b->content->partCount; ++j) {
            Box3 bb;
            partWorldBox(b, j, &bb);
            if (colBoxNear(&ba, &bb, mode, distance)) return 1;
        }
    }
    return 0;
}

uint32_t colNodeNearPoint(ScnNode* node, const Vec3* point, uint32_t mode, float distance) {
    if (!hasContent(node) || !point) return 0;
    if (!colPointNearBox(&node->worldBox, point, mode, distance)) return 0;
    for (uint32_t i = 0; i < node->content->partCount; ++i) {
        Box3 b;
        partWorldBox(node, i, &b);
        if (colPointNearBox(&b, point, mode, distance)) return 1;
    }
    return 0;
}

uint32_t colTestListsNear(ScnNode** moving, ScnNode** obstacles, uint32_t mode, float distance, uint32_t* hitOut) {
    if (!hitOut) return 0;
    *hitOut = 0;
    if (!moving || !obstacles) return 0;
    for (size_t i = 0; moving[i]; ++i)
        for (size_t j = 0; obstacles[j]; ++j)
            if (colNodesNear(moving[i], obstacles[j], mode, distance)) {
                *hitOut = 1;
                return 1;
            }
    return 1;
}

uint32_t colTestPointNear(ScnNode** list, const Vec3* point, uint32_t mode, float distance, uint32_t* hitOut) {
    if (!hitOut) return 0;
    *hitOut = 0;
    if (!list || !point) return 0;
    for (size_t i = 0; list[i]; ++i)
        if (colNodeNearPoint(list[i], point, mode, distance)) {
            *hitOut = 1;
            break;
        }
    return 1;
}

// ---------------------------------------------------------------------------
// Node lists

uint32_t colNodeHitsList(ScnNode* node, ScnNode** obstacles, uint32_t* slotInOut) {
    uint32_t slot = slotInOut ? *slotInOut : 0;
    if (!node || !obstacles) return 0;
    if (slot > scnListLength(obstacles)) slot = uint32_t(scnListLength(obstacles));
    uint32_t hit = hitsList(node, obstacles, &slot, NODE_COLLIDE_A);
    if (slotInOut) *slotInOut = slot;
    return hit;
}

uint32_t colFindHits(ScnNode** moving, ScnNode** obstacles, ScnNode*** hitsOut) {
    if (!hitsOut) return 0;
    *hitsOut = nullptr;
    if (!moving || !obstacles) return 1;
    return findHitsFor(moving, obstacles, hitsOut);
}

uint32_t colFindHitsOne(ScnNode* node, ScnNode** obstacles, ScnNode*** hitsOut) {
    if (!hitsOut) return 0;
    *hitsOut = nullptr;
    if (!node || !obstacles) return 1;
    ScnNode* one[2] = {node, nullptr};
    return findHitsFor(one, obstacles, hitsOut);
}

uint32_t colTestMove(ScnNode** moving, ScnNode** obstacles, ScnNode*** contacts, uint32_t* hitOut) {
    if (!hitOut) return 0;
    *hitOut = 0;
    if (!contacts) return 0;
    if (!moving || !obstacles) return 1;
    return testMoveFor(moving, obstacles, contacts, hitOut);
}

uint32_t colTestMoveOne(ScnNode* node, ScnNode** obstacles, ScnNode*** contacts, uint32_t* hitOut) {
    if (!hitOut) return 0;
    *hitOut = 0;
    if (!contacts) return 0;
    if (!node || !obstacles) return 1;
    ScnNode* one[2] = {node, nullptr};
    return testMoveFor(one, obstacles, contacts, hitOut);
}

uint32_t colTestLists(ScnNode** moving, ScnNode** obstacles, uint32_t* hitOut) {
    if (!hitOut) return 0;
    *hitOut = 0;
    if (!moving || !obstacles) return 1;
    clearFlags(obstacles, NODE_COLLIDE_A);
    setFlags(moving, NODE_COLLIDE_A);
    for (size_t m = 0; moving[m] && !*hitOut; ++m) {
        uint32_t slot = 0;
        *hitOut = hitsList(moving[m], obstacles, &slot, NODE_COLLIDE_A);
    }
    return 1;
}

uint32_t colTestNode(ScnNode* node, ScnNode** obstacles, uint32_t* hitOut) {
    if (!hitOut) return 0;
    *hitOut = 0;
    if (!node || !obstacles) return 1;
    clearFlags(obstacles, NODE_COLLIDE_A);
    node->flags |= NODE_COLLIDE_A;
    uint32_t slot = 0;
    *hitOut = hitsList(node, obstacles, &slot, NODE_COLLIDE_A);
    node->flags &= ~NODE_COLLIDE_A;
    return 1;
}

// ---------------------------------------------------------------------------
// Pair cache

ColPair* colFindPair(const ScnNode* moving, const ScnNode* obstacle, const PelPart* movingPart,
                     const PelPart* obstaclePart) {
    for (uint32_t i = 0; i < g_pairCount; ++i) {
        ColPair& p = g_pairs[i];
        if (p.moving == moving && p.obstacle == obstacle && p.movingPart == movingPart &&
            p.obstaclePart == obstaclePart)
            return &p;
    }
    return nullptr;
}

uint32_t colCacheCount() { return g_pairCount; }

void colForgetNode(const ScnNode* node) {
    if (!node) return;
    uint32_t k = 0;
    for (uint32_t i = 0; i < g_pairCount; ++i)
        if (g_pairs[i].moving != node && g_pairs[i].obstacle != node) g_pairs[k++] = g_pairs[i];
    for (uint32_t i = k; i < g_pairCount; ++i) g_pairs[i] = ColPair{};
    g_pairCount = k;
}

namespace {
// Freed nodes leave the pair cache.
[[maybe_unused]] const bool g_forgetsFreedNodes = (scnSetNodeFreedHook(colForgetNode), true);
}  // namespace

void colReset() {
    for (ColPair& p : g_pairs) p = ColPair{};
    g_pairCount = 0;
}

int32_t colPairCollide(ScnNode* obstacle, ScnNode* node, PelPart* obstaclePart, PelPart* nodePart,
                       const Mat4* toNodeSpace) {
    if (!obstacle || !node || !obstaclePart || !nodePart || !toNodeSpace) return 0;
    ColPair* pair = colFindPair(node, obstacle, nodePart, obstaclePart);
    if (!pair) {
        if (g_pairCount < COL_CACHE_SIZE) {
            pair = &g_pairs[g_pairCount++];
        } else {
            pair = &g_pairs[0];
            for (uint32_t i = 1; i < COL_CACHE_SIZE; ++i)
                if (g_pairs[i].distance > pair->distance) pair = &g_pairs[i];
        }
        *pair = ColPair{};
        pair->moving = node;
        pair->obstacle = obstacle;
        pair->movingPart = nodePart;
        pair->obstaclePart = obstaclePart;
    }
    return colPairTest(pair, toNodeSpace);
}

int32_t colPairTest(ColPair* pair, const Mat4* toNodeSpace) {
    if (!pair || !toNodeSpace) return 1;
    pair->used = 1;
    if (!pair->apart) {
        if (colPairDistance(pair, toNodeSpace)) {
            pair->apart = 1;
            return 0;
        }
        return 1;
    }
    // Confirm the stored separating plane in the obstacle's space.
    ScnNode* node = pair->moving;
    ScnNode* ob = pair->obstacle;
    ensureInverse(ob);
    Mat4 m;
    mtxMultiply(&node->base, &ob->invBase, &m);
    Vec3 pm, po;
    mtxTransformPoint(&pair->pointMoving, &pm, &m);
    mtxTransformPoint(&pair->pointObstacle, &po, &m);
    // The obstacle must stay beyond the contact distance, as a fresh search
    // would demand; merely being on the far side is not enough.
    DVec base = toD(pm);
    DVec n = subD(toD(po), base);
    double len = std::sqrt(dotD(n, n));
    const PelPart* q = pair->obstaclePart;
    bool holds = len > 0.0;
    for (uint32_t i = 0; i < q->vertexCount && holds; ++i)
        if (!(dotD(subD(toD(q->firstVertex[i].pos), base), n) > COL_CONTACT_DISTANCE * len)) holds = false;
    if (holds) return 0;
    if (colPairDistance(pair, toNodeSpace)) return 0;
    pair->apart = 0;
    return 1;
}

int32_t colPairDistance(ColPair* pair, const Mat4* toNodeSpace) {
    if (!pair || !toNodeSpace || !pair->movingPart || !pair->obstaclePart) return 0;
    PelPart* p = pair->movingPart;
    PelPart* q = pair->obstaclePart;
    if (!p->vertexCount || !q->vertexCount || !p->firstVertex || !q->firstVertex) return 0;
    for (uint32_t i = 0; i < q->vertexCount; ++i) {
        PelVertex& v = q->firstVertex[i];
        mtxTransformPoint(&v.pos, &v.world, toNodeSpace);
        v.flags &= ~VTX_WORLD;
    }
    ColVertexSet a = {p->firstVertex, p->vertexCount, 0};
    ColVertexSet b = {q->firstVertex, q->vertexCount, 1};
    Vec3 v;
    float w[4] = {};
    double lower = 0.0;
    uint32_t r = colGjk(&a, &b, &v, &pair->simplex, w, &lower);
    if (r == COL_GJK_FAILED) {
        pair->distance = 0.0f;
        pair->simplex.count = 0;
        return 0;
    }
    double d = std::sqrt(dotD(toD(v), toD(v)));
    if (d < COL_CONTACT_DISTANCE) {
        pair->distance = 0.0f;
        return 0;
    }
    pair->distance = float(d);
    // Apart only when proven: an unfinished search may still be far off.
    if (!(lower > 0.0)) return 0;
    Vec3 pa, pb;
    closestPoints(&a, &b, pair->simplex, w, &pa, &pb);
    pair->pointMoving = pa;
    pair->pointObstacle = pb;
    DVec base = toD(pa);
    DVec n = subD(toD(pb), base);
    double len = std::sqrt(dotD(n, n));
    if (!(len > 0.0)) return 0;
    n = {n.x / len, n.y / len, n.z / len};
    for (uint32_t i = 0; i < q->vertexCount; ++i)
        if (!(dotD(subD(toD(q->firstVertex[i].world), base), n) >= COL_PLANE_MARGIN)) return 0;
    return 1;
}

// ---------------------------------------------------------------------------
// Distance search

double colSupportOne(const ColVertexSet* set, const Vec3* d, Vec3* pointOut, uint32_t* indexOut) {
    double best = -HUGE_VAL;
    uint32_t bi = 0;
    DVec dd = toD(*d);
    for (uint32_t i = 0; i < set->count; ++i) {
        double s = dotD(toD(setPoint(set, i)), dd);
        if (s > best) {
            best = s;
            bi = i;
        }
    }
    if (pointOut) *pointOut = set->count ? setPoint(set, bi) : Vec3{0, 0, 0};
    if (indexOut) *indexOut = bi;
    return best;
}

double colSupport(const ColVertexSet* a, const ColVertexSet* b, const Vec3* d, Vec3* wOut, uint32_t* ia,
                  uint32_t* ib) {
    Vec3 pa, pb;
    Vec3 nd = {-d->x, -d->y, -d->z};
    colSupportOne(a, d, &pa, ia);
    colSupportOne(b, &nd, &pb, ib);
    DVec w = subD(toD(pa), toD(pb));
    if (wOut) *wOut = toF(w);
    return dotD(toD(*d), w);
}

int32_t colSimplexReduce(const Vec3* points, uint32_t count, Vec3* v, uint32_t* keep, float* weights) {
    if (!points || count < 1 || count > 4 || !v || !keep || !weights) return 0;
    DVec y[4];
    for (uint32_t i = 0; i < count; ++i) y[i] = toD(points[i]);
    double dp[4][4];
    for (uint32_t i = 0; i < count; ++i)
        for (uint32_t j = 0; j < count; ++j) dp[i][j] = dotD(y[i], y[j]);
    // Johnson's determinants per subset (bit mask) and member.
    double D[16][4] = {};
    const uint32_t full = (1u << count) - 1;
    auto low = [](uint32_t m) {
        uint32_t k = 0;
        while (!(m & (1u << k))) ++k;
        return k;
    };
    for (uint32_t size = 1; size <= count; ++size)
        for (uint32_t m = 1; m <= full; ++m) {
            if (uint32_t(__builtin_popcount(m)) != size) continue;
            if (size == 1) {
                D[m][low(m)] = 1.0;
                continue;
            }
            for (uint32_t j = 0; j < count; ++j) {
                if (!(m & (1u << j))) continue;
                uint32_t x = m & ~(1u << j);
                uint32_t k = low(x);
                double s = 0.0;
                for (uint32_t i = 0; i < count; ++i)
                    if (x & (1u << i)) s += D[x][i] * (dp[i][k] - dp[i][j]);
                D[m][j] = s;
            }
        }
    auto positive = [&](uint32_t m) {
        for (uint32_t i = 0; i < count; ++i)
            if ((m & (1u << i)) && !(D[m][i] > 0.0)) return false;
        return true;
    };
    auto result = [&](uint32_t m, DVec* out, double* lambda) {
        double total = 0.0;
        for (uint32_t i = 0; i < count; ++i)
            if (m & (1u << i)) total += D[m][i];
        DVec r{0, 0, 0};
        for (uint32_t i = 0; i < count; ++i) {
            lambda[i] = (m & (1u << i)) ? D[m][i] / total : 0.0;
            r = {r.x + lambda[i] * y[i].x, r.y + lambda[i] * y[i].y, r.z + lambda[i] * y[i].z};
        }
        *out = r;
    };
    uint32_t chosen = 0;
    for (uint32_t size = 1; size <= count && !chosen; ++size)
        for (uint32_t m = 1; m <= full; ++m) {
            if (uint32_t(__builtin_popcount(m)) != size || !positive(m)) continue;
            bool best = true;
            for (uint32_t j = 0; j < count && best; ++j)
                if (!(m & (1u << j)) && D[m | (1u << j)][j] > 0.0) best = false;
            if (best) {
                chosen = m;
                break;
            }
        }
    DVec vv{0, 0, 0};
    double lambda[4];
    if (!chosen) {
        // Backup: of the subsets with positive determinants, the nearest.
        double bestLen = HUGE_VAL;
        for (uint32_t m = 1; m <= full; ++m) {
            if (!positive(m)) continue;
            DVec r;
            double l[4];
            result(m, &r, l);
            double len = dotD(r, r);
            if (len < bestLen) {
                bestLen = len;
                chosen = m;
            }
        }
        if (!chosen) return 0;
    }
    result(chosen, &vv, lambda);
    uint32_t n = 0;
    for (uint32_t i = 0; i < count; ++i)
        if (chosen & (1u << i)) {
            keep[n] = i;
            weights[n] = float(lambda[i]);
            ++n;
        }
    *v = toF(vv);
    return int32_t(n);
}

uint32_t colGjk(const ColVertexSet* a, const ColVertexSet* b, Vec3* vOut, ColSimplex* simplex, float* weightsOut,
                double* lowerOut) {
    if (lowerOut) *lowerOut = 0.0;
    if (!a || !b || !a->verts || !b->verts || !a->count || !b->count || !vOut || !simplex || !weightsOut) return 0;
    Vec3 pts[4];
    ColSimplex s = *simplex;
    bool warm = s.count >= 1 && s.count <= 4;
    for (uint32_t i = 0; warm && i < s.count; ++i)
        if (s.a[i] >= a->count || s.b[i] >= b->count) warm = false;
    if (!warm) {
        s = ColSimplex{};
        s.count = 1;
    }
    for (uint32_t i = 0; i < s.count; ++i) {
        DVec p = subD(toD(setPoint(a, s.a[i])), toD(setPoint(b, s.b[i])));
        pts[i] = toF(p);
    }
    float w[4] = {1, 0, 0, 0};
    Vec3 v = pts[0];
    uint32_t added = 0;
    double prevVV = 0.0;
    bool first = true;
    uint32_t status;
    for (;;) {
        if (s.count == 1) {
            v = pts[0];
            w[0] = 1.0f;
        } else {
            uint32_t keep[4];
            int32_t n = colSimplexReduce(pts, s.count, &v, keep, w);
            if (n < 1 || n > 3) {
                simplex->count = 0;
                return COL_GJK_FAILED;
            }
            ColSimplex t = {};
            Vec3 kept[4];
            for (int32_t i = 0; i < n; ++i) {
                t.a[i] = s.a[keep[i]];
                t.b[i] = s.b[keep[i]];
                kept[i] = pts[keep[i]];
            }
            t.count = uint32_t(n);
            s = t;
            for (int32_t i = 0; i < n; ++i) pts[i] = kept[i];
        }
        DVec vd = toD(v);
        double vv = dotD(vd, vd);
        if (vv == 0.0) {
            status = COL_GJK_CONVERGED;
            break;
        }
        Vec3 nv = {-v.x, -v.y, -v.z};
        Vec3 wp;
        uint32_t ia, ib;
        colSupport(a, b, &nv, &wp, &ia, &ib);
        double vw = dotD(vd, toD(wp));
        if (lowerOut) *lowerOut = vw / std::sqrt(vv);
        double gap = vv - vw;
        // No progress: the nearest point did not come closer.
        if (!first && vv >= prevVV) {
            status = COL_GJK_UNFINISHED;
            break;
        }
        // Within the contact distance the parts touch whatever the rest of
        // the search would find; otherwise stop when the gap is small next
        // to |v|^2, which also proves the sets apart (v . w > 0).
        if (vv < double(COL_CONTACT_DISTANCE) * COL_CONTACT_DISTANCE || gap <= COL_GAP_TOLERANCE * vv) {
            status = COL_GJK_CONVERGED;
            break;
        }
        if (added == COL_MAX_ADDED) {
            status = COL_GJK_UNFINISHED;
            break;
        }
        pts[s.count] = wp;
        s.a[s.count] = ia;
        s.b[s.count] = ib;
        ++s.count;
        ++added;
        prevVV = vv;
        first = false;
    }
    *vOut = v;
    *simplex = s;
    for (uint32_t i = 0; i < 4; ++i) weightsOut[i] = i < s.count ? w[i] : 0.0f;
    return status;
}

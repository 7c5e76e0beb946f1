// Face outlines: corner lists of single faces, traced boundaries of multi-face polygons.
#include "scene/outline.h"

#include <new>
#include <vector>

#include "scene/engine.h"
#include "scene/scene.h"

namespace {

struct Loop {
    uint32_t firstFace;
    size_t first, count;  // range in the point list
};

uint32_t cornerCount(const PelFace& f) { return (f.flags & FACE_QUAD) ? 4u : 3u; }

bool grouped(const PelFace& f) { return (f.flags & FACE_EDGES_ONLY) != 0; }

// The edge of face g that names face f as its neighbour, or -1.
int backEdge(const PelContent* c, uint32_t g, uint32_t f) {
    const PelFace& G = c->faces[g];
    for (uint32_t j = 0; j < cornerCount(G); ++j)
        if (G.nb[j] == f) return int(j);
    return -1;
}

// Edge k of grouped face f leads into another face of the same polygon.
bool inner(const PelContent* c, uint32_t f, uint32_t k, uint32_t* g, int* j) {
    const uint32_t n = c->faces[f].nb[k];
    if (n == f || n >= c->faceCount || !grouped(c->faces[n])) return false;
    const int back = backEdge(c, n, f);
    if (back < 0) return false;
    *g = n;
    *j = back;
    return true;
}

}  // namespace

int pelBuildOutlines(const PelContent* content, PelOutlines** holder) {
    if (!holder) return 0;
    *holder = nullptr;
    if (!content || (content->faceCount && (!content->faces || !content->vertices))) return 0;
    try {
        const uint32_t n = content->faceCount;
        std::vector<Vec3> points;
        std::vector<Loop> loops;
        std::vector<uint8_t> visited(n, 0);  // bit k: boundary edge k traced
        auto corner = [&](uint32_t f, uint32_t k, Vec3* out) {
            const uint32_t v = content->faces[f].v[k];
            if (v >= content->vertexCount) return false;
            *out = content->vertices[v].pos;
            return true;
        };
        for (uint32_t f = 0; f < n; ++f) {
            const PelFace& face = content->faces[f];
            const uint32_t m = cornerCount(face);
            if (!grouped(face)) {
                Loop l{f, points.size(), 0};
                for (uint32_t k = 0; k < m; ++k) {
                    Vec3 p;
                    if (corner(f, k, &p)) points.push_back(p);
                }
                l.count = points.size() - l.first;
                loops.push_back(l);
                continue;
            }
            for (uint32_t k = 0; k < m; ++k) {
                uint32_t g;
                int j;
                if ((visited[f] & (1u << k)) || inner(content, f, k, &g, &j)) continue;
                // Walk the boundary: behind each boundary edge, turn across inner edges around
                // its end vertex until the next boundary edge.
                Loop l{f, points.size(), 0};
                uint32_t cf = f, ck = k;
                const uint64_t limit = 4ull * n + 4;
                for (uint64_t step = 0; step < limit && !(visited[cf] & (1u << ck)); ++step) {
                    visited[cf] |= uint8_t(1u << ck);
                    Vec3 p;
                    if (corner(cf, ck, &p)) points.push_back(p);
                    uint32_t nf = cf, ne = (ck + 1) % cornerCount(content->faces[cf]);
                    uint64_t turns = 0;
                    while (inner(content, nf, ne, &g, &j) && turns++ < limit) {
                        nf = g;
                        ne = (uint32_t(j) + 1) % cornerCount(content->faces[g]);
                    }
                    if (turns > limit) break;  // inner edges all around: a broken neighbourhood
                    cf = nf;
                    ck = ne;
                }
                l.count = points.size() - l.first;
                if (l.count >= 3)
                    loops.push_back(l);
                else
                    points.resize(l.first);
            }
        }
        const size_t bytes = sizeof(PelOutlines) + loops.size() * sizeof(PelOutline) + points.size() * sizeof(Vec3);
        auto* out = static_cast<PelOutlines*>(memAllocZ(bytes));
        if (!out) return 0;
        out->count = uint32_t(loops.size());
        out->outlines = reinterpret_cast<PelOutline*>(out + 1);
        Vec3* store = reinterpret_cast<Vec3*>(out->outlines + loops.size());
        for (size_t i = 0; i < points.size(); ++i) store[i] = points[i];
        for (size_t i = 0; i < loops.size(); ++i)
            out->outlines[i] = PelOutline{loops[i].firstFace, uint32_t(loops[i].count), store + loops[i].first};
        *holder = out;
        return 1;
    } catch (const std::bad_alloc&) {
        errSetContext("???", 99999);
        errReport(ERR_NOMEM, "No memory for <%s>=%d times type <%s>(size=%d>", "outlines", 0, "", 0);
        return 0;
    }
}

int pelFreeOutlines(PelOutlines** holder) {
    if (holder) memFreeRefT(holder);
    return 1;
}

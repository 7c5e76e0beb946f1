#include "render/visset.h"

#include <cstdlib>
#include <cstring>

#include "render/clear.h"
#include "render/dxhook.h"
#include "render/fzbuffer.h"
#include "scene/engine.h"
#include "scene/texture.h"

namespace {

// Everything the pass allocates besides the set.
struct PassBuffers {
    PicRecord* buffer = nullptr;
    uint32_t* ids = nullptr;
    uint32_t* others = nullptr;
    ~PassBuffers() {
        fzFree(&buffer);
        memFree(ids);
        memFree(others);
    }
};

uint32_t faceFlags(const PelFace& f, const Vec4 clip[4]) {
    const bool quad = (f.flags & FACE_QUAD) != 0;
    uint32_t out = 0;
    if (quad) out |= VIS_FACE_QUAD;
    if (f.flags & FACE_TEXTURED) out |= VIS_FACE_TEXTURED;
    if (f.flags & FACE_COLORKEY) out |= VIS_FACE_COLORKEY;
    if (f.flags & FACE_EDGES_ONLY) {
        if (f.flags & (FACE_OPEN_EDGE0 | FACE_ENVMAP)) out |= VIS_FACE_EDGE0;
        if (f.flags & FACE_OPEN_EDGE1) out |= VIS_FACE_EDGE0 << 1;
        if (f.flags & FACE_OPEN_EDGE2) out |= VIS_FACE_EDGE0 << 2;
        if (quad && (f.flags & FACE_OPEN_EDGE3)) out |= VIS_FACE_EDGE0 << 3;
    } else {
        out |= VIS_FACE_EDGE0 | (VIS_FACE_EDGE0 << 1) | (VIS_FACE_EDGE0 << 2);
        if (quad) out |= VIS_FACE_EDGE0 << 3;
    }
    for (int k = 0; k < (quad ? 4 : 3); ++k) {
        const Vec4& c = clip[k];
        if (c.x >= 0 && c.x <= c.w && c.y >= 0 && c.y <= c.w && c.z >= 0 && c.z <= c.w) out |= VIS_FACE_VERTEX0_IN << k;
    }
    return out;
}

}  // namespace

int32_t visCompareIds(const void* a, const void* b) {
    const uint32_t x = *static_cast<const uint32_t*>(a), y = *static_cast<const uint32_t*>(b);
    return x < y ? -1 : x > y ? 1 : 0;
}

uint32_t visFreeSet(VisSet** holder) {
    if (!holder || !*holder) return 1;
    memFree((*holder)->nodes);
    memFree((*holder)->faces);
    memFree(*holder);
    *holder = nullptr;
    return 1;
}

int32_t visVisibleSet(const CamRecord* camera, const IRect* rect, ScnNode** list, uint32_t mode, VisSet** setOut) {
    if (!setOut) return 0;
    *setOut = nullptr;
    if (!camera || !rect) return 0;
    // The rectangle must lie within the viewport (one pixel beyond its right and bottom edges).
    const int64_t left = camera->pixX, right = int64_t(camera->pixX) + camera->pixW;
    const int64_t top = camera->pixY, bottom = int64_t(camera->pixY) + camera->pixH;
    const int64_t x0 = rect->x, x1 = int64_t(rect->x) + rect->w, y0 = rect->y, y1 = int64_t(rect->y) + rect->h;
    if (x0 < left || x0 > right + 1 || x1 < left || x1 > right + 1) return 0;
    if (y0 < top || y0 > bottom + 1 || y1 < top || y1 > bottom + 1) return 0;
    if (!list || !list[0] || rect->w < 1 || rect->h < 1) return 0;
    if (rect->w > int32_t(FZ_MAX_WIDTH) || rect->h > int32_t(FZ_MAX_HEIGHT)) return 0;
    auto* set = static_cast<VisSet*>(memAllocZ(sizeof(VisSet)));
    if (!set) return 0;
    *setOut = set;
    auto fail = [&]() {
        visFreeSet(setOut);
        return 0;
    };

    const int32_t w = rect->w, h = rect->h;
    CamRecord cam;
    if (!camSubView(camera, rect, &cam)) return fail();
    cam.pixX = 0, cam.pixY = 0, cam.pixW = w, cam.pixH = h;
    if (!camUpdate(&cam)) return fail();
    PassBuffers pass;
    if (!fzCreate(uint32_t(w), uint32_t(h), 4, &pass.buffer) || !pass.buffer) return fail();
    pass.ids = static_cast<uint32_t*>(memAllocZ(size_t(w) * h * sizeof(uint32_t)));
    pass.others = static_cast<uint32_t*>(memAllocZ(size_t(w) * h * sizeof(uint32_t)));
    if (!pass.ids || !pass.others) return fail();

    // Marks; contents shared by several nodes of the list are deduplicated by sorting instead.
    uint32_t nodeCount = 0, maxFaces = 0;
    for (; list[nodeCount]; ++nodeCount) {
        ScnNode* n = list[nodeCount];
        n->flags = (n->flags | VIS_MARK_PER_FACE) & ~(VIS_MARK_INSIDE | VIS_MARK_BORDER | VIS_MARK_FACES);
        if (PelContent* c = n->content) {
            for (uint32_t i = 0; i < c->faceCount; ++i) c->faces[i].flags &= uint16_t(~VIS_FACE_TAKEN);
            if (c->faceCount > maxFaces) maxFaces = c->faceCount;
        }
    }
    for (uint32_t i = 0; i < nodeCount; ++i) {
        const PelContent* c = list[i]->content;
        if (!c) continue;
        bool shared = false;
        for (uint32_t k = 0; k < nodeCount && !shared; ++k) shared = k != i && list[k]->content == c;
        if (shared) list[i]->flags &= ~VIS_MARK_PER_FACE;
    }

    // One render per node into the id picture.
    bool anyDrawn = false;
    {
        DxActiveGuard hardware;
        dxActive = 0;
        if (!visIdInit(maxFaces ? maxFaces : 1, nodeCount)) return fail();
        FzBackgroundState& bg = fzBackgroundState();
        const float savedClear[3] = {bg.clear[0], bg.clear[1], bg.clear[2]};
        const uint32_t saved32 = bg.clear32;
        const uint16_t saved15 = bg.clear15;
        fzSetClearColor(0, 0, 0);
        fzClear(pass.buffer, nullptr);
        std::memcpy(bg.clear, savedClear, sizeof savedClear);
        bg.clear32 = saved32;
        bg.clear15 = saved15;
        for (uint32_t i = 0; i < nodeCount; ++i) {
            visIdSetNode(i);
            ScnRenderJob job{};
            job.node = list[i];
            job.camera = &cam;
            job.target = pass.buffer;
            job.kind = mode ? SCN_KIND_VIS_OPAQUE : SCN_KIND_VIS_TRANSLUCENT;
            scnRenderScene(&job);
            if (job.rect.w > 0 && job.rect.h > 0) {
                anyDrawn = true;
                const bool inside =
                    job.rect.x != 0 && job.rect.y != 0 && job.rect.x + job.rect.w < w && job.rect.y + job.rect.h < h;
                list[i]->flags |= inside ? VIS_MARK_INSIDE : VIS_MARK_BORDER;
            }
        }
    }
    if (!anyDrawn) return 1;

    // Read back: per-face marks where allowed, the rest gathered and made unique.
    uint32_t idCount = 0, otherCount = 0;
    const PicRecord* buf = pass.buffer;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t colour = picGet32(buf->pixels + (size_t(y) * buf->width + x) * 4);
            if (!colour) continue;
            uint32_t node = 0, front = 0;
            int32_t face = -1;
            if (!visIdDecode(colour, &node, &face, &front) || face < 0 || node >= nodeCount) continue;
            ScnNode* n = list[node];
            if (!n->content || uint32_t(face) >= n->content->faceCount) continue;
            if (n->flags & VIS_MARK_PER_FACE) {
                PelFace& f = n->content->faces[face];
                if (f.flags & VIS_FACE_TAKEN) continue;
                f.flags |= VIS_FACE_TAKEN;
                n->flags |= VIS_MARK_FACES;
                pass.ids[idCount++] = colour;
            } else {
                pass.others[otherCount++] = colour;
            }
        }
    std::qsort(pass.others, otherCount, sizeof(uint32_t),
               [](const void* a, const void* b) -> int { return visCompareIds(a, b); });
    for (uint32_t i = 0; i < otherCount; ++i) {
        if (i > 0 && pass.others[i] == pass.others[i - 1]) continue;
        uint32_t node = 0, front = 0;
        int32_t face = -1;
        visIdDecode(pass.others[i], &node, &face, &front);
        list[node]->flags |= VIS_MARK_FACES;
        pass.ids[idCount++] = pass.others[i];
    }
    fzFree(&pass.buffer);

    uint32_t drawn = 0;
    for (uint32_t i = 0; i < nodeCount; ++i) drawn += (list[i]->flags & (VIS_MARK_INSIDE | VIS_MARK_BORDER)) != 0;
    set->nodes = static_cast<VisNode*>(memAllocZ(size_t(drawn ? drawn : 1) * sizeof(VisNode)));
    set->faces = static_cast<VisFace*>(memAllocZ(size_t(idCount ? idCount : 1) * sizeof(VisFace)));
    if (!set->nodes || !set->faces) return fail();
    for (uint32_t i = 0; i < nodeCount; ++i) {
        ScnNode* n = list[i];
        if (!(n->flags & (VIS_MARK_INSIDE | VIS_MARK_BORDER))) continue;
        VisNode& vn = set->nodes[set->nodeCount++];
        vn.node = n;
        vn.user = n->user;
        vn.flags = ((n->flags & VIS_MARK_INSIDE) ? uint32_t(VIS_NODE_INSIDE) : 0u) |
                   ((n->flags & VIS_MARK_FACES) ? uint32_t(VIS_NODE_HAS_FACES) : 0u);
    }
    for (uint32_t i = 0; i < idCount; ++i) {
        uint32_t node = 0, front = 0;
        int32_t face = -1;
        visIdDecode(pass.ids[i], &node, &face, &front);
        ScnNode* n = list[node];
        const PelContent* c = n->content;
        const PelFace& f = c->faces[face];
        VisFace& vf = set->faces[set->faceCount++];
        const int corners = (f.flags & FACE_QUAD) ? 4 : 3;
        for (int k = 0; k < 4; ++k) {
            const uint32_t v = f.v[k < corners ? k : corners - 1];
            const Vec3 p = v < c->vertexCount ? c->vertices[v].pos : Vec3{0, 0, 0};
            mtxTransformPoint(&p, &vf.world[k], &n->base);
            mtxTransformVec4(&vf.world[k], &vf.clip[k], &cam.worldToScreen);
        }
        vf.value = f.user;
        vf.node = n;
        vf.user = n->user;
        vf.material = f.material;
        vf.texture =
            ((f.flags & FACE_TEXTURED) && n->areaTextures && f.area < c->areaCount) ? n->areaTextures[f.area] : nullptr;
        vf.flags = faceFlags(f, vf.clip);
    }
    return 1;
}

uint32_t visTestJob(ScnRenderJob* job, ScnNode** list, VisSet** holder) {
    VisSet* local = nullptr;
    VisSet** out = holder ? holder : &local;
    if (!job || !job->camera) return 0;
    const int ok = visVisibleSet(job->camera, &job->rect, list, 1, out);
    visFreeSet(out);
    return ok ? 1 : 0;
}

// Object file reader.
#include "scene/pelfile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "scene/anim.h"
#include "scene/animblock.h"
#include "scene/contentlist.h"
#include "scene/bytes.h"
#include "scene/engine.h"
#include "scene/material.h"
#include "scene/scene.h"

namespace {

using bytes::rd16;
using bytes::rd32;
using bytes::rdf;
using bytes::wr16;
using bytes::wr32;
using bytes::fileLength;
using bytes::seekTo;

// Chunks kept by pelReadFile, one slot per known id, in the order of application.
struct KeptChunk {
    uint32_t id;
    bool option;
    uint8_t* data;
    uint32_t size;
};
KeptChunk g_kept[4] = {
    {PEL_CHUNK_ANIM, false, nullptr, 0},
    {PEL_CHUNK_TEXTS1, false, nullptr, 0},
    {PEL_CHUNK_TEXTS2, false, nullptr, 0},
    {PEL_CHUNK_PARTVALUES, false, nullptr, 0},
};

KeptChunk* keptSlot(uint32_t id) {
    for (KeptChunk& k : g_kept)
        if (k.id == id) return &k;
    return nullptr;
}

void freeKept() {
    for (KeptChunk& k : g_kept) {
        memFreeRefT(&k.data);
        k.size = 0;
    }
}

void setAllOptions(bool on) {
    for (KeptChunk& k : g_kept) k.option = on;
}

// Face record fields of both forms.
struct FaceFields {
    uint32_t flagsAt, normalAt, materialAt, areaAt;
};
FaceFields faceFields(uint32_t record) {
    if (record == PEL_FACE_LONG) return {36, 38, 42, 44};
    return {20, 22, 24, 26};
}

}  // namespace

// ---------------------------------------------------------------------------

int pelSetLoadOption(uint32_t id, int on) {
    KeptChunk* k = keptSlot(id);
    if (!k) return 0;
    k->option = on != 0;
    return 1;
}

const uint8_t* pelKeptChunk(uint32_t id, uint32_t* size) {
    KeptChunk* k = keptSlot(id);
    if (size) *size = k ? k->size : 0;
    return k ? k->data : nullptr;
}

void pelResetReader() {
    freeKept();
    setAllOptions(false);
}

int pelParseHeader(const uint8_t* header, char* objectName, PelFileInfo* info) {
    if (objectName) objectName[0] = 0;
    if (!header || !pelCheckMagic(header)) return 0;
    pelHeaderToInfo(header, objectName, info);
    return 1;
}

int pelReadFile(const char* path, char* objectName, PelFileInfo* info) {
    if (info) info->geoOffset = 0;
    if (objectName) objectName[0] = 0;
    freeKept();  // nothing of an earlier read survives

    uint8_t header[PEL_HEADER_SIZE];
    std::FILE* f;
    uint64_t length;
    if (!pelOpenChecked(path, &f, header, &length)) return 0;

    // The blocks the header names must lie inside the file.
    PelFileInfo hi;
    pelHeaderToInfo(header, nullptr, &hi);
    if (hi.geoSize < PEL_GEO_HEADER_SIZE || hi.geoOffset < PEL_HEADER_SIZE ||
        uint64_t(hi.geoOffset) + hi.geoSize > length) {
        std::fclose(f);
        errContext();
        errReport(ERR_LENGTH, "File %s has a wrong geometry block (offset %u, size %u, length %u)", path,
                  hi.geoOffset, hi.geoSize, unsigned(length));
        return 0;
    }
    const uint32_t blocks[2][2] = {{hi.previewOffset, hi.previewSize}, {hi.outlineOffset, hi.outlineSize}};
    for (const auto& block : blocks) {
        if (block[0] != 0 && uint64_t(block[0]) + block[1] > length) {
            std::fclose(f);
            errContext();
            errReport(ERR_LENGTH, "File %s has a block outside the file (offset %u, size %u)", path, block[0],
                      block[1]);
            return 0;
        }
    }

    bool any = false;
    for (const KeptChunk& k : g_kept) any = any || k.option;
    if (any) {
        uint32_t count = 0;
        PelChunkEntry* dir = nullptr;
        if (!pelReadChunkList(f, header, length, &count, &dir)) {
            std::fclose(f);
            return 0;
        }
        for (KeptChunk& k : g_kept) {
            if (!k.option) continue;
            for (uint32_t i = 0; i < count; ++i) {
                if (dir[i].id != k.id) continue;
                // Data past the end of the file: the chunk is left out.
                if (uint64_t(dir[i].offset) + dir[i].size > length) break;
                uint8_t* buf = static_cast<uint8_t*>(memAllocZ(dir[i].size ? dir[i].size : 1));
                if (buf && seekTo(f, dir[i].offset) && std::fread(buf, 1, dir[i].size, f) == dir[i].size) {
                    k.data = buf;
                    k.size = dir[i].size;
                } else {
                    memFree(buf);
                }
                break;
            }
        }
        pelFreeDirectory(&dir);
    }
    std::fclose(f);
    pelHeaderToInfo(header, objectName, info);
    return 1;
}

// ---------------------------------------------------------------------------

uint32_t pelNamedAreaCount(const PelGeoBlock* b) {
    if (!b) return 0;
    const FaceFields ff = faceFields(b->faceRecord);
    uint32_t count = 0;
    for (uint32_t i = 0; i < b->faceCount; ++i) {
        const uint8_t* f = b->faces + size_t(i) * b->faceRecord;
        if (rd16(f + ff.flagsAt) & FACE_TEXTURED) count = std::max<uint32_t>(count, rd16(f + ff.areaAt) + 1u);
    }
    for (uint32_t m = 0; m < b->materialCount; ++m) {
        const uint8_t* r = b->materials + size_t(m) * PEL_MATERIAL_RECORD;
        const uint32_t area = rd32(r + 44);
        if ((r[48] & qivMatFlagIsTextured) && area < 65536) count = std::max(count, area + 1);
    }
    return std::min(count, b->areaCount);
}

int pelFixAreaMaterials(PelGeoBlock* b, uint8_t** newMaterials) try {
    if (!b || !newMaterials) return 0;
    *newMaterials = nullptr;
    const FaceFields ff = faceFields(b->faceRecord);
    auto face = [&](uint32_t i) { return b->faces + size_t(i) * b->faceRecord; };
    auto material = [&](uint32_t m) { return b->materials + size_t(m) * PEL_MATERIAL_RECORD; };

    // 1. Anything to do? Faces naming a missing material are left to the builder.
    bool consistent = true;
    for (uint32_t i = 0; i < b->faceCount && consistent; ++i) {
        const uint8_t* f = face(i);
        uint16_t flags = rd16(f + ff.flagsAt);
        if (!(flags & FACE_TEXTURED)) continue;
        uint32_t m = rd16(f + ff.materialAt);
        if (m >= b->materialCount) continue;
        uint32_t mflags = rd32(material(m) + 48);
        if (!(mflags & qivMatFlagIsTextured) || ((flags & 16) && !(mflags & qivMatFlagIsTexMask)) ||
            rd32(material(m) + 44) != rd16(f + ff.areaAt))
            consistent = false;
    }
    if (consistent) return 1;

    // 2. Flags and area indices; collect the (area, material) pairs that differ.
    std::vector<uint64_t> pairs;
    for (uint32_t i = 0; i < b->faceCount; ++i) {
        uint8_t* f = face(i);
        uint16_t flags = rd16(f + ff.flagsAt);
        if (!(flags & FACE_TEXTURED)) continue;
        uint32_t m = rd16(f + ff.materialAt);
        if (m >= b->materialCount) continue;
        uint8_t* mat = material(m);
        uint32_t mflags = rd32(mat + 48) | qivMatFlagIsTextured;
        if (flags & 16) mflags |= qivMatFlagIsTexMask;
        wr32(mat + 48, mflags);
        if (rd32(mat + 44) >= b->areaCount) wr32(mat + 44, 0);
        if (rd16(f + ff.areaAt) >= b->areaCount) wr16(f + ff.areaAt, 0);
        uint32_t area = rd16(f + ff.areaAt);
        if (area != rd32(mat + 44)) {
            dbgPrintf("Detected wrong Area<->Material-pair at Area %d, Material %d\n", int(area), int(m));
            pairs.push_back(uint64_t(area) * b->materialCount + m);
        }
    }
    std::sort(pairs.begin(), pairs.end());
    pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
    if (pairs.empty()) return 1;

    // 3./4. New materials behind the old ones; their indices must fit the
    // face record's 16-bit field, pairs beyond that keep their material.
    uint64_t room = b->materialCount < 65536 ? 65536 - b->materialCount : 0;
    uint32_t added = uint32_t(std::min<uint64_t>(pairs.size(), room));
    dbgPrintf("Need %d additional Materials\n", int(pairs.size()));
    if (added == 0) return 1;
    size_t bytes = (size_t(b->materialCount) + added) * PEL_MATERIAL_RECORD;
    uint8_t* mats = static_cast<uint8_t*>(memAllocZ(bytes));
    if (!mats) return 0;
    std::memcpy(mats, b->materials, size_t(b->materialCount) * PEL_MATERIAL_RECORD);
    for (uint32_t k = 0; k < added; ++k) {
        uint32_t area = uint32_t(pairs[k] / b->materialCount);
        uint32_t m = uint32_t(pairs[k] % b->materialCount);
        uint8_t* dst = mats + (size_t(b->materialCount) + k) * PEL_MATERIAL_RECORD;
        std::memcpy(dst, material(m), PEL_MATERIAL_RECORD);
        wr32(dst + 44, area);
    }

    // 5. Faces move to the material of their own area.
    for (uint32_t i = 0; i < b->faceCount; ++i) {
        uint8_t* f = face(i);
        if (!(rd16(f + ff.flagsAt) & FACE_TEXTURED)) continue;
        uint32_t m = rd16(f + ff.materialAt);
        if (m >= b->materialCount) continue;
        uint32_t area = rd16(f + ff.areaAt);
        if (area == rd32(material(m) + 44)) continue;
        uint64_t key = uint64_t(area) * b->materialCount + m;
        size_t k = size_t(std::lower_bound(pairs.begin(), pairs.end(), key) - pairs.begin());
        if (k < added) wr16(f + ff.materialAt, uint16_t(b->materialCount + k));
    }
    b->materialCount += added;
    b->materials = mats;
    *newMaterials = mats;
    return 1;
} QIV_ENGINE_CATCH(0)

namespace {

// Large contents are filled once, front to back: where the system offers large pages for
// such blocks, asking for them saves most of the page faults of that fill.
void adviseLargePages(void* block, size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    const uintptr_t huge = uintptr_t(2) << 20;
    if (bytes < 4 * huge) return;
    uintptr_t from = (uintptr_t(block) + huge - 1) & ~(huge - 1), to = (uintptr_t(block) + bytes) & ~(huge - 1);
    if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#else
    (void)block;
    (void)bytes;
#endif
}

// The content block being filled: its head and arrays, and what is left to place.
struct ContentBuild {
    uint8_t* mem = nullptr;
    PelContent* c = nullptr;
    uint64_t total = 0;
    bool withNames = false;
    uint32_t failIndex = 0;
    const char* failWhat = nullptr;
};

// Checks, allocation, head, parts, normals, materials, lights and area names; the vertices
// and faces follow. Answers 0 (nothing allocated) with failWhat set for a wrong index, or
// with failWhat null when the allocation failed.
int buildHead(const PelGeoBlock* b, const PelFileInfo* info, ContentBuild* st) {
    // Faces always name a material (index 0 when theirs is missing).
    if (b->faceCount != 0 && b->materialCount == 0) {
        st->failWhat = "material";
        return 0;
    }
    // Part slices must stay inside the vertex and face arrays.
    uint64_t vertexSum = 0, faceSum = 0;
    for (uint32_t p = 0; p < b->partCount; ++p) {
        const uint8_t* r = b->parts + size_t(p) * PEL_PART_RECORD;
        vertexSum += rd32(r + 24);
        faceSum += uint64_t(std::llabs(int64_t(int32_t(rd32(r + 28)))));
    }
    if (vertexSum > b->vertexCount || faceSum > b->faceCount) {
        st->failWhat = "part";
        return 0;
    }

    // Area names are sized from the records themselves.
    uint64_t nameBytes = 0;
    st->withNames = b->areaNames && info->areaNameBytes != 0 && b->areaCount != 0;
    if (st->withNames) {
        for (uint32_t a = 0; a < b->areaCount; ++a)
            nameBytes += std::min<uint32_t>(b->areaNames[size_t(a) * PEL_AREA_RECORD], PEL_AREA_RECORD - 2) + 1;
        nameBytes += 1;
    }

    // One block: head, parts, normals, vertices, faces, materials, lights, names.
    uint64_t total = sizeof(PelContent);
    auto place = [&](uint64_t align, uint64_t bytes) {
        total = (total + align - 1) / align * align;
        uint64_t o = total;
        total += bytes;
        return o;
    };
    uint64_t oParts = place(alignof(PelPart), uint64_t(b->partCount) * sizeof(PelPart));
    uint64_t oVn = place(alignof(PelNormal), uint64_t(b->vertexNormalCount) * sizeof(PelNormal));
    uint64_t oFn = place(alignof(PelNormal), uint64_t(b->faceNormalCount) * sizeof(PelNormal));
    uint64_t oVert = place(alignof(PelVertex), uint64_t(b->vertexCount) * sizeof(PelVertex));
    uint64_t oFace = place(alignof(PelFace), uint64_t(b->faceCount) * sizeof(PelFace));
    uint64_t oMat = place(alignof(MatInput), uint64_t(b->materialCount) * sizeof(MatInput));
    uint64_t oLight = place(alignof(PelLight), uint64_t(b->lightCount) * sizeof(PelLight));
    uint64_t oNames = place(1, nameBytes);
    if (total > SIZE_MAX) {
        errReport(ERR_NOMEM, "No memory for <%s>=%d times type <%s>(size=%d>", "", 0, "", 0);
        return 0;
    }
    // zero-filled pages come from the system untouched: the fill below touches them once
    uint8_t* mem = static_cast<uint8_t*>(memAllocZ(size_t(total)));
    if (!mem) return 0;
    adviseLargePages(mem, size_t(total));
    PelContent* c = reinterpret_cast<PelContent*>(mem);
    c->parts = reinterpret_cast<PelPart*>(mem + oParts);
    c->vertexNormals = b->vertexNormalCount ? reinterpret_cast<PelNormal*>(mem + oVn) : nullptr;
    c->faceNormals = reinterpret_cast<PelNormal*>(mem + oFn);
    c->vertices = reinterpret_cast<PelVertex*>(mem + oVert);
    c->faces = reinterpret_cast<PelFace*>(mem + oFace);
    c->materials = reinterpret_cast<MatInput*>(mem + oMat);
    c->lights = b->lightCount ? reinterpret_cast<PelLight*>(mem + oLight) : nullptr;
    c->areaNames = st->withNames ? reinterpret_cast<char*>(mem + oNames) : nullptr;
    c->areaNameBytes = st->withNames ? uint32_t(nameBytes) : 0;

    c->box.max = Vec3{info->sizeX * 0.5f, info->sizeY * 0.5f, info->sizeZ * 0.5f};
    c->box.min = Vec3{-c->box.max.x, -c->box.max.y, -c->box.max.z};
    c->vertexNormalCount = b->vertexNormalCount;
    c->faceNormalCount = b->faceNormalCount;
    c->vertexCount = b->vertexCount;
    c->faceCount = b->faceCount;
    c->materialCount = b->materialCount;
    c->areaCount = b->areaCount;
    c->lightCount = b->lightCount;
    c->partCount = b->partCount;

    // Parts; their faces learn the part index as they are read.
    uint64_t firstVertex = 0, firstFace = 0;
    for (uint32_t p = 0; p < b->partCount; ++p) {
        const uint8_t* r = b->parts + size_t(p) * PEL_PART_RECORD;
        PelPart& part = c->parts[p];
        part.box.min = Vec3{rdf(r), rdf(r + 4), rdf(r + 8)};
        part.box.max = Vec3{rdf(r + 12), rdf(r + 16), rdf(r + 20)};
        part.vertexCount = rd32(r + 24);
        int32_t faces = int32_t(rd32(r + 28));
        part.faceCount = uint32_t(std::llabs(int64_t(faces)));
        if (faces < 0) part.flags |= PART_NEGATED_FACES;
        part.firstVertex = c->vertices + firstVertex;
        part.firstFace = c->faces + firstFace;
        firstVertex += part.vertexCount;
        firstFace += part.faceCount;
    }

    for (uint32_t i = 0; i < b->vertexNormalCount; ++i) {
        const uint8_t* r = b->vertexNormals + size_t(i) * PEL_NORMAL_RECORD;
        c->vertexNormals[i].normal = Vec3{rdf(r), rdf(r + 4), rdf(r + 8)};
    }
    for (uint32_t i = 0; i < b->faceNormalCount; ++i) {
        const uint8_t* r = b->faceNormals + size_t(i) * PEL_NORMAL_RECORD;
        c->faceNormals[i].normal = Vec3{rdf(r), rdf(r + 4), rdf(r + 8)};
    }

    for (uint32_t m = 0; m < b->materialCount; ++m) {
        const uint8_t* r = b->materials + size_t(m) * PEL_MATERIAL_RECORD;
        MatInput& mi = c->materials[m];
        for (int k = 0; k < 3; ++k) {
            mi.colDifuse[k] = rdf(r + 4 * k);
            mi.colSpecular[k] = rdf(r + 12 + 4 * k);
        }
        float alpha = rdf(r + 24);
        mi.alpha = alpha > 0.9f ? 0.0f : alpha;
        mi.coAmbient = rdf(r + 28);
        mi.coDifuse = rdf(r + 32);
        mi.coSpecular = rdf(r + 36);
        mi.specExp = rdf(r + 40);
        ltSpecularCoeffs(mi.specExp, &mi.specCoeff[0], &mi.specCoeff[1], &mi.specCoeff[2]);
        uint32_t area = rd32(r + 44);
        mi.area = area < b->areaCount ? area : 0;
        mi.flags = r[48] & 0x3F;
    }

    for (uint32_t l = 0; l < b->lightCount; ++l) {
        const uint8_t* r = b->lights + size_t(l) * PEL_LIGHT_RECORD;
        c->lights[l].r = rdf(r);
        c->lights[l].g = rdf(r + 4);
        c->lights[l].b = rdf(r + 8);
        c->lights[l].pos = Vec3{rdf(r + 12), rdf(r + 16), rdf(r + 20)};
    }

    if (st->withNames) {
        char* dst = c->areaNames;
        for (uint32_t a = 0; a < b->areaCount; ++a) {
            const uint8_t* r = b->areaNames + size_t(a) * PEL_AREA_RECORD;
            uint32_t n = std::min<uint32_t>(r[0], PEL_AREA_RECORD - 2);
            std::memcpy(dst, r + 1, n);
            dst += n;
            *dst++ = 0;
        }
        *dst = 0;
    }
    st->mem = mem;
    st->c = c;
    st->total = total;
    return 1;
}

// Vertices first .. first + count from their records.
int buildVertices(const PelGeoBlock* b, ContentBuild* st, const uint8_t* records, uint32_t first, uint32_t count) {
    PelContent* c = st->c;
    const bool longVertex = b->vertexRecord == PEL_VERTEX_LONG;
    for (uint32_t i = first; i < first + count; ++i) {
        const uint8_t* r = records + size_t(i - first) * b->vertexRecord;
        PelVertex& v = c->vertices[i];
        v.pos = Vec3{rdf(r), rdf(r + 4), rdf(r + 8)};
        float u = rdf(r + 12), w = rdf(r + 16);
        if (std::isnan(u) || std::isnan(w)) {
            u = w = 0.0f;
        } else {
            if (u > 1000.0f || u < -1000.0f) u = 0.0f;
            if (w > 1000.0f || w < -1000.0f) w = 0.0f;
        }
        v.u = u;
        v.v = w;
        uint32_t normal = longVertex ? rd32(r + 20) : rd16(r + 20);
        uint16_t flags = rd16(r + (longVertex ? 24 : 22));
        if (normal != 65535) {
            if (normal >= b->vertexNormalCount) {
                st->failWhat = "vertex normal";
                st->failIndex = i;
                return 0;
            }
            v.normal = c->vertexNormals + normal;
        }
        if ((flags & 0x7E00) == 0x7E00) {
            if (flags & 0x20) v.flags |= VTX_RELIGHT;
            if (flags & 0x10) v.flags |= VTX_SMOOTH;
        }
    }
    return 1;
}

// Whether a textured face agrees with its material (the area and material pairing then
// leaves the block unchanged).
bool faceMatchesMaterial(const PelGeoBlock* b, const uint8_t* r, const FaceFields& ff) {
    uint16_t flags = rd16(r + ff.flagsAt);
    if (!(flags & FACE_TEXTURED)) return true;
    uint32_t m = rd16(r + ff.materialAt);
    if (m >= b->materialCount) return true;
    const uint8_t* mat = b->materials + size_t(m) * PEL_MATERIAL_RECORD;
    uint32_t mflags = rd32(mat + 48);
    return (mflags & qivMatFlagIsTextured) && (!(flags & 16) || (mflags & qivMatFlagIsTexMask)) &&
           rd32(mat + 44) == rd16(r + ff.areaAt);
}

// Faces first .. first + count from their records; *part is the part cursor (start at 0).
int buildFaces(const PelGeoBlock* b, ContentBuild* st, const uint8_t* records, uint32_t first, uint32_t count,
               uint32_t* part) {
    PelContent* c = st->c;
    const bool longFace = b->faceRecord == PEL_FACE_LONG;
    const FaceFields ff = faceFields(b->faceRecord);
    for (uint32_t i = first; i < first + count; ++i) {
        const uint8_t* r = records + size_t(i - first) * b->faceRecord;
        PelFace& f = c->faces[i];
        while (*part < c->partCount &&
               uint64_t(i) >= uint64_t(c->parts[*part].firstFace - c->faces) + c->parts[*part].faceCount)
            ++*part;
        if (*part < c->partCount) f.part = *part;
        f.dist = rdf(r);
        for (int k = 0; k < 4; ++k) {
            f.v[k] = longFace ? rd32(r + 4 + 4 * k) : rd16(r + 4 + 2 * k);
            f.nb[k] = longFace ? rd32(r + 20 + 4 * k) : rd16(r + 12 + 2 * k);
        }
        uint16_t flags = rd16(r + ff.flagsAt);
        uint32_t normal = longFace ? rd32(r + ff.normalAt) : rd16(r + ff.normalAt);
        const int used = (flags & FACE_QUAD) ? 4 : 3;
        for (int k = 0; k < used; ++k) {
            if (f.v[k] >= b->vertexCount || f.nb[k] >= b->faceCount) {
                st->failWhat = "face vertex or neighbour";
                st->failIndex = i;
                return 0;
            }
        }
        if (normal >= b->faceNormalCount) {
            st->failWhat = "face normal";
            st->failIndex = i;
            return 0;
        }
        f.normal = c->faceNormals + normal;
        if (flags & FACE_QUAD) {
            for (int a = 0; a < 3; ++a) {
                int hit = -1;
                for (int j = a + 1; j < 4; ++j)
                    if (f.v[a] == f.v[j]) hit = j;
                if (hit < 0) continue;
                for (int k = a; k < 3; ++k) {
                    f.v[k] = f.v[k + 1];
                    f.nb[k] = f.nb[k + 1];
                }
                flags &= uint16_t(~FACE_QUAD);
                break;
            }
        }
        uint32_t material = rd16(r + ff.materialAt);
        uint32_t area = rd16(r + ff.areaAt);
        if (material < b->materialCount) f.material = uint16_t(material);
        if (area < b->areaCount) f.area = uint16_t(area);
        for (int k = 0; k < 4; ++k)
            if (f.nb[k] == i) flags |= uint16_t(FACE_OPEN_EDGE0 << k);
        f.flags = flags;
        // Slots a triangle does not use still index inside the arrays.
        if (!(flags & FACE_QUAD)) {
            if (f.v[3] >= b->vertexCount) f.v[3] = f.v[2];
            if (f.nb[3] >= b->faceCount) f.nb[3] = i;
        }
    }
    return 1;
}

}  // namespace

int pelBuildContent(PelGeoBlock* b, const PelFileInfo* info, PelContent** out, size_t* outBytes) try {
    if (!b || !info || !out || !outBytes) return 0;
    *out = nullptr;
    *outBytes = 0;
    errContext();
    uint8_t* newMaterials = nullptr;
    if (!pelFixAreaMaterials(b, &newMaterials)) return 0;
    // On failure the block must not keep pointing at the freed records.
    auto dropNew = [&] {
        if (b->materials == newMaterials) b->materials = nullptr;
        memFree(newMaterials);
    };
    ContentBuild st;
    uint32_t part = 0;
    bool ok = buildHead(b, info, &st) && buildVertices(b, &st, b->vertices, 0, b->vertexCount) &&
              buildFaces(b, &st, b->faces, 0, b->faceCount, &part);
    if (!ok) {
        memFree(st.mem);
        dropNew();
        if (st.failWhat) {
            errContext();
            errReport(ERR_FORMAT, "Geometry block has a wrong %s index in record %u", st.failWhat, st.failIndex);
        }
        return 0;
    }
    memFree(newMaterials);
    if (b->materials == newMaterials) b->materials = nullptr;
    *out = st.c;
    *outBytes = size_t(st.total);
    return 1;
} QIV_ENGINE_CATCH(0)

namespace {

// Array addresses of a geometry block in memory from its counts; 0 when they do not fit.
int layoutBlock(uint8_t* block, uint32_t size, const PelFileInfo* info, PelGeoBlock* b, uint64_t* needed) {
    *b = PelGeoBlock{};
    b->lightCount = rd32(block + 0);
    b->materialCount = rd32(block + 4);
    b->areaCount = rd32(block + 8);
    b->partCount = rd32(block + 12);
    b->vertexNormalCount = rd32(block + 16);
    b->faceNormalCount = rd32(block + 20);
    b->vertexCount = rd32(block + 24);
    b->faceCount = rd32(block + 28);
    b->vertexRecord = b->vertexCount > PEL_SHORT_LIMIT ? PEL_VERTEX_LONG : PEL_VERTEX_SHORT;
    b->faceRecord =
        (b->vertexCount > PEL_SHORT_LIMIT || b->faceCount > PEL_SHORT_LIMIT) ? PEL_FACE_LONG : PEL_FACE_SHORT;
    // Every array must lie inside the block.
    uint64_t at = PEL_GEO_HEADER_SIZE;
    auto place = [&](uint32_t count, uint32_t record) {
        uint8_t* p = block + (at <= size ? at : size);
        at += uint64_t(count) * record;
        return p;
    };
    b->lights = place(b->lightCount, PEL_LIGHT_RECORD);
    b->materials = place(b->materialCount, PEL_MATERIAL_RECORD);
    if (info->areaNameBytes != 0) {
        uint8_t* names = place(b->areaCount, PEL_AREA_RECORD);
        if (b->areaCount != 0) b->areaNames = names;
    }
    b->parts = place(b->partCount, PEL_PART_RECORD);
    b->vertexNormals = place(b->vertexNormalCount, PEL_NORMAL_RECORD);
    b->faceNormals = place(b->faceNormalCount, PEL_NORMAL_RECORD);
    b->vertices = place(b->vertexCount, b->vertexRecord);
    b->faces = place(b->faceCount, b->faceRecord);
    if (b->lightCount == 0) b->lights = nullptr;
    *needed = at;
    return at <= size ? 1 : 0;
}

// A geometry block of our own (sum already taken): checked and decoded in place.
int decodeOwned(uint8_t* block, uint32_t sum, const PelFileInfo* info, PelContent** content, size_t* contentBytes) {
    const uint32_t size = info->geoSize;
    errContext();
    if (size < PEL_GEO_HEADER_SIZE) {
        errReport(ERR_FORMAT, "Geometry block too short (%u bytes)", size);
        return 0;
    }
    if (sum != info->geoChecksum && sum != info->geoChecksum - 1) {
        errReport(ERR_LENGTH, "Wrong checksum=%x must be %x", sum, info->geoChecksum);
        return 0;
    }
    PelGeoBlock b;
    uint64_t needed = 0;
    if (!layoutBlock(block, size, info, &b, &needed)) {
        errReport(ERR_LENGTH, "Geometry block of %u bytes is too short for its counts (%llu bytes)", size,
                  static_cast<unsigned long long>(needed));
        return 0;
    }
    // Without name records the block holds no areas of its own: its areas are those that
    // textured faces and materials name, whatever count the header claims.
    if (!b.areaNames && b.areaCount != 0) b.areaCount = pelNamedAreaCount(&b);
    if (!pelBuildContent(&b, info, content, contentBytes)) return 0;
    pelRegisterObject(*content);
    return 1;
}

// Reads n bytes and adds them to the byte sum while they are fresh in the cache.
bool readSummed(std::FILE* f, uint8_t* dst, size_t n, uint32_t* sum) {
    if (std::fread(dst, 1, n, f) != n) return false;
    *sum += pelByteSum(n, dst);
    return true;
}

constexpr size_t kReadPiece = size_t(1) << 20;

// The geometry block straight from the file into the content: the arrays ahead of the
// vertices are read whole, the vertex and face records in pieces that are summed and
// decoded as they arrive, so that no copy of the block is ever held. Answers 1 with the
// content, 0 when the block must take the plain road (anything unusual: counts that do not
// fit, a wrong index, textured faces whose material pairing would change the block, a
// short read), and -1 with a wrong checksum (reported).
int streamGeometry(std::FILE* f, const PelFileInfo* info, PelContent** content, size_t* contentBytes) {
    const uint32_t size = info->geoSize;
    uint8_t head[PEL_GEO_HEADER_SIZE];
    uint32_t sum = 0;
    if (!seekTo(f, info->geoOffset) || !readSummed(f, head, sizeof head, &sum)) return 0;
    PelGeoBlock b;
    uint64_t needed = 0;
    if (!layoutBlock(head, PEL_GEO_HEADER_SIZE, info, &b, &needed) && needed > size) return 0;
    // bytes ahead of the vertices
    uint64_t at = PEL_GEO_HEADER_SIZE;
    at += uint64_t(b.lightCount) * PEL_LIGHT_RECORD + uint64_t(b.materialCount) * PEL_MATERIAL_RECORD;
    if (info->areaNameBytes != 0) at += uint64_t(b.areaCount) * PEL_AREA_RECORD;
    at += uint64_t(b.partCount) * PEL_PART_RECORD +
          (uint64_t(b.vertexNormalCount) + b.faceNormalCount) * PEL_NORMAL_RECORD;
    const uint64_t vertexBytes = uint64_t(b.vertexCount) * b.vertexRecord,
                   faceBytes = uint64_t(b.faceCount) * b.faceRecord;
    if (at + vertexBytes + faceBytes > size) return 0;
    std::vector<uint8_t> front, piece;
    try {
        front.resize(size_t(at));
        piece.resize(size_t(std::min<uint64_t>(kReadPiece, std::max(vertexBytes, faceBytes))) + 64);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    std::memcpy(front.data(), head, sizeof head);
    if (!readSummed(f, front.data() + sizeof head, front.size() - sizeof head, &sum)) return 0;
    layoutBlock(front.data(), uint32_t(front.size()), info, &b, &needed);  // the arrays ahead of the vertices
    if (!b.areaNames && b.areaCount != 0) return 0;  // the area count comes from the faces
    ContentBuild st;
    if (!buildHead(&b, info, &st)) return 0;  // wrong indices: the plain road reports them
    bool ok = true;
    auto stream = [&](uint64_t records, uint32_t recordSize, auto&& decode) {
        const uint64_t perPiece = std::max<uint64_t>(1, kReadPiece / recordSize);
        for (uint64_t first = 0; first < records && ok; first += perPiece) {
            const uint32_t n = uint32_t(std::min(perPiece, records - first));
            if (!readSummed(f, piece.data(), size_t(n) * recordSize, &sum) || !decode(uint32_t(first), n)) ok = false;
        }
    };
    stream(b.vertexCount, b.vertexRecord,
           [&](uint32_t first, uint32_t n) { return buildVertices(&b, &st, piece.data(), first, n) != 0; });
    const FaceFields ff = faceFields(b.faceRecord);
    uint32_t part = 0;
    stream(b.faceCount, b.faceRecord, [&](uint32_t first, uint32_t n) {
        for (uint32_t k = 0; k < n; ++k)
            if (!faceMatchesMaterial(&b, piece.data() + size_t(k) * b.faceRecord, ff)) return false;
        return buildFaces(&b, &st, piece.data(), first, n, &part) != 0;
    });
    // the rest of the block only counts for the sum
    for (uint64_t left = size - (at + vertexBytes + faceBytes); left && ok;) {
        const size_t n = size_t(std::min<uint64_t>(left, piece.size()));
        if (!readSummed(f, piece.data(), n, &sum)) ok = false;
        left -= n;
    }
    if (!ok) {
        memFree(st.mem);
        return 0;
    }
    if (sum != info->geoChecksum && sum != info->geoChecksum - 1) {
        memFree(st.mem);
        errContext();
        errReport(ERR_LENGTH, "Wrong checksum=%x must be %x", sum, info->geoChecksum);
        return -1;
    }
    *content = st.c;
    *contentBytes = size_t(st.total);
    pelRegisterObject(*content);
    return 1;
}

}  // namespace

int pelReadGeometry(const char* path, const PelFileInfo* info, PelContent** content, size_t* contentBytes) try {
    if (content) *content = nullptr;
    if (contentBytes) *contentBytes = 0;
    if (!path || !info || !content || !contentBytes) return 0;
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return 0;
    int64_t length = fileLength(f);
    if (length < 0 || info->geoSize < PEL_GEO_HEADER_SIZE ||
        uint64_t(info->geoOffset) + info->geoSize > uint64_t(length)) {
        std::fclose(f);
        errContext();
        errReport(ERR_LENGTH, "File %s has a wrong geometry block (offset %u, size %u, length %u)", path,
                  info->geoOffset, info->geoSize, unsigned(length));
        return 0;
    }
    int streamed = streamGeometry(f, info, content, contentBytes);
    if (streamed != 0) {
        std::fclose(f);
        return streamed > 0 ? 1 : 0;
    }
    // The plain road: the whole block in memory, summed as it is read and decoded in place.
    uint8_t* block = static_cast<uint8_t*>(memAllocZ(info->geoSize));
    if (!block) {
        std::fclose(f);
        return 0;
    }
    uint32_t sum = 0;
    bool ok = seekTo(f, info->geoOffset);
    for (uint32_t at = 0; ok && at < info->geoSize;) {
        const uint32_t n = uint32_t(std::min<uint64_t>(kReadPiece, info->geoSize - at));
        ok = readSummed(f, block + at, n, &sum);
        at += n;
    }
    std::fclose(f);
    if (!ok) {
        memFree(block);
        errContext();
        errReport(ERR_READ, "Error reading geometry of file %s", path);
        return 0;
    }
    int result = decodeOwned(block, sum, info, content, contentBytes);
    memFree(block);
    return result;
} QIV_ENGINE_CATCH(0)

int pelDecodeGeometry(const uint8_t* block, const PelFileInfo* info, PelContent** content, size_t* contentBytes) try {
    if (content) *content = nullptr;
    if (contentBytes) *contentBytes = 0;
    if (!block || !info || !content || !contentBytes) return 0;
    const uint32_t size = info->geoSize;
    errContext();
    if (size < PEL_GEO_HEADER_SIZE) {
        errReport(ERR_FORMAT, "Geometry block too short (%u bytes)", size);
        return 0;
    }
    uint32_t sum = pelByteSum(size, block);
    if (sum != info->geoChecksum && sum != info->geoChecksum - 1) {
        errReport(ERR_LENGTH, "Wrong checksum=%x must be %x", sum, info->geoChecksum);
        return 0;
    }
    // the pairing of areas and materials may change the block: decode a copy
    uint8_t* copy = static_cast<uint8_t*>(memAllocZ(size));
    if (!copy) return 0;
    std::memcpy(copy, block, size);
    int result = decodeOwned(copy, sum, info, content, contentBytes);
    memFree(copy);
    return result;
} QIV_ENGINE_CATCH(0)

// ---------------------------------------------------------------------------

void pelClearAnimation(PelContent* content) {
    if (!content) return;
    // Nodes point into the arrays about to go.
    for (ScnNode* n = content->firstNode; n; n = n->next) {
        n->desc = nullptr;
        if (n->parts)
            for (uint32_t p = 0; p < content->partCount; ++p) n->parts[p].track = nullptr;
    }
    if (content->tracks)
        for (uint32_t t = 0; t < content->trackCount; ++t) animTrackFreeLists(&content->tracks[t]);
    memFreeRefT(&content->tracks);
    memFreeRefT(&content->descs);
    memFreeRefT(&content->trackIndex);
    content->frameRate = 0.0f;
    content->trackCount = 0;
    content->descCount = 0;
}

int pelApplyChunk(PelContent* content, uint32_t id, uint32_t size, const void* data) {
    if (!content) return (size != 0 || data) ? 0 : 1;
    if (size == 0 || !data) return 1;
    auto copyOf = [&]() {
        char* block = static_cast<char*>(memAllocZ(size));
        if (block) std::memcpy(block, data, size);
        return block;
    };
    switch (id) {
    case PEL_CHUNK_TEXTS2: {
        char* block = copyOf();
        if (!block) return 0;
        memFreeRefT(&content->textList2);
        content->textList2 = block;
        content->textList2Size = size;
        return 1;
    }
    case PEL_CHUNK_TEXTS1: {
        char* block = copyOf();
        if (!block) return 0;
        memFreeRefT(&content->textList1);
        content->textList1 = block;
        content->textList1Size = size;
        pelRenameDescs(content, 110);
        return 1;
    }
    case PEL_CHUNK_PARTVALUES: {
        if (uint64_t(size) != uint64_t(content->partCount) * 4) return 0;
        uint32_t* words = static_cast<uint32_t*>(memAllocZ(size));
        if (!words) return 0;
        const uint8_t* p = static_cast<const uint8_t*>(data);
        for (uint32_t i = 0; i < content->partCount; ++i) words[i] = rd32(p + 4 * size_t(i));
        memFreeRefT(&content->partWords);
        content->partWords = words;
        return 1;
    }
    case PEL_CHUNK_ANIM:
        return animBlockApply(content, static_cast<const uint8_t*>(data), size);
    default:
        return 0;
    }
}

int pelLoadFromMemory(const uint8_t* block, const PelFileInfo* info, uint32_t chunkCount,
                      const PelChunkEntry* chunkList, PelReadChunkFn readChunk, PelContent** content,
                      size_t* contentBytes) try {
    if (!pelDecodeGeometry(block, info, content, contentBytes)) return 0;
    if (!chunkList || !readChunk) return 1;
    for (uint32_t i = 0; i < chunkCount; ++i) {
        uint32_t size = chunkList[i].size;
        uint8_t* buf = static_cast<uint8_t*>(memAllocZ(size ? size : 1));
        if (!buf) break;
        if (readChunk(buf, chunkList[i].id, size)) pelApplyChunk(*content, chunkList[i].id, size, buf);
        memFree(buf);
    }
    return 1;
} QIV_ENGINE_CATCH(0)

int pelLoad(const char* path, char* fileName, char* objectName, PelFileInfo* info, PelContent** content,
            size_t* contentBytes) try {
    if (content) *content = nullptr;
    if (contentBytes) *contentBytes = 0;
    if (objectName) objectName[0] = 0;
    if (!path || !info || !content || !contentBytes) return 0;
    if (fileName) {
        const char* slash = std::strrchr(path, '\\');
        const char* name = slash ? slash + 1 : path;
        size_t n = std::min(std::strlen(name), PEL_FILE_NAME_MAX - 1);
        std::memcpy(fileName, name, n);
        fileName[n] = 0;
    }
    setAllOptions(true);
    int ok = pelReadFile(path, objectName, info) && pelReadGeometry(path, info, content, contentBytes);
    if (ok) {
        for (const KeptChunk& k : g_kept)
            if (k.data) pelApplyChunk(*content, k.id, k.size, k.data);
    }
    setAllOptions(false);
    freeKept();
    return ok;
} QIV_ENGINE_CATCH(0)

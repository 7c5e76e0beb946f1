// Object stream parser and the switch of a node's lights.
#include "scene/qivstream.h"

#include <cmath>
#include <algorithm>
#include <cstring>
#include <vector>

#include "scene/contentlist.h"
#include "scene/bytes.h"
#include "scene/engine.h"
#include "scene/light.h"
#include "scene/material.h"
#include "scene/meshprep.h"
#include "scene/objnode.h"
#include "scene/scene.h"
#include "scene/scratch.h"
#include "scene/sceneops.h"
#include "scene/texture.h"

const uint8_t qivStreamGuid[QIV_STREAM_GUID_SIZE] = {0x0A, 0xD4, 0x00, 0x08, 0x9B, 0x27, 0xD3, 0x11,
                                                     0x88, 0x28, 0x00, 0x60, 0x08, 0x57, 0xF4, 0x5C};

namespace {

using bytes::rd16;
using bytes::rd32;
using bytes::rdf;

uint32_t gMaxVertices = QIV_STREAM_LIMIT;
uint32_t gMaxFaces = QIV_STREAM_LIMIT;

int report(uint32_t level, const char* message) {
    errSetContext("???", 99999);
    errReport(level, "%s", message);
    return 0;
}

// Bounded little-endian reader; the first short read sets failed.
struct Reader {
    const uint8_t* p;
    const uint8_t* end;
    bool failed = false;

    bool take(size_t n, const uint8_t** at) {
        if (failed || !pelStreamCursorOk(p, end, n)) {
            failed = true;
            return false;
        }
        *at = p;
        p += n;
        return true;
    }
    uint32_t u8() {
        const uint8_t* at;
        return take(1, &at) ? at[0] : 0;
    }
    uint32_t u16() {
        const uint8_t* at;
        return take(2, &at) ? rd16(at) : 0;
    }
};

// Values of a geometry part record (the 46 bytes behind the kind byte).
struct PartRecord {
    float box[6];
    float uMin, uMax, vMin, vMax;
    uint32_t vertexCount, faceCount, commandCount;
};

PartRecord readPartRecord(const uint8_t* r) {
    PartRecord p;
    for (int i = 0; i < 6; ++i) p.box[i] = rdf(r + 4 * i);
    p.uMin = rdf(r + 24);
    p.uMax = rdf(r + 28);
    p.vMin = rdf(r + 32);
    p.vMax = rdf(r + 36);
    p.vertexCount = rd16(r + 40);
    p.faceCount = rd16(r + 42);
    p.commandCount = rd16(r + 44);
    return p;
}

// In double precision: the nearest float to the exact value.
float dequant(uint16_t sum, float lo, float hi) {
    return float(double(int16_t(sum)) * (double(hi) - double(lo)) * QIV_DEQUANT_STEP + double(lo));
}

// Where decoded commands go. vertices and faces are null in the checking pass.
template <class Vertex> struct CommandTarget {
    Vertex* vertices;          // the part's first vertex
    PelFace* faces;            // the part's first face
    uint32_t firstVertex;      // content index of the part's first vertex
    uint32_t firstFace;        // content index of the part's first face
    uint32_t partIndex;
    const MatInput* materials; // null in the checking pass
    uint32_t materialCount;
};

enum class CmdResult { Ok, Short, Overflow, BadReference, BadMaterial };

// Reads of a command whose longest form fits in what is left: no bound checks.
struct FastReader {
    const uint8_t* p;
    bool failed = false;
    uint32_t u8() { return *p++; }
    uint32_t u16() {
        const uint32_t v = rd16(p);
        p += 2;
        return v;
    }
};

// The values of one command.
struct Command {
    uint32_t word, options;
    uint16_t deltas[5];
    bool material;
    uint32_t materialIndex;
    uint32_t a, b, c, d;
};
constexpr size_t kLongestCommand = 2 + 2 + 1 + 5 * 2 + 2 + 4 * 2;

template <class R> void readCommand(R& r, Command* out) {
    uint32_t cmd = r.u16();
    if ((cmd & QIV_CMD_NO_FACE) && (cmd & QIV_CMD_REF_A)) cmd = r.u16();
    out->word = cmd;
    out->options = (cmd & QIV_CMD_OPTIONS) ? r.u8() : 0;
    for (int k = 0; k < 5; ++k) out->deltas[k] = (cmd & (QIV_CMD_DX << k)) ? uint16_t(r.u16()) : 0;
    out->material = (cmd & QIV_CMD_MATERIAL) != 0;
    if (out->material) out->materialIndex = r.u16();
    const bool wide = (cmd & QIV_CMD_WIDE_REFS) != 0;
    auto ref = [&]() { return wide ? r.u16() : r.u8(); };
    out->a = (cmd & QIV_CMD_REF_A) ? ref() : 0;
    out->b = (cmd & QIV_CMD_REF_B) ? ref() : 1;
    out->c = (cmd & QIV_CMD_REF_C) ? ref() : 2;
    out->d = ((out->options & QIV_OPT_QUAD) && (out->options & QIV_OPT_REF_D)) ? ref() : 3;
}

// Face flags that a material gives its faces.
uint16_t materialFaceFlags(const MatInput& m, uint32_t options) {
    uint16_t flags = 0;
    if (m.flags & qivMatFlagIsTextured) flags |= FACE_TEXTURED;
    if (m.flags & qivMatFlagIsTexMask) flags |= FACE_COLORKEY;
    if (m.flags & qivMatFlagIsTexRefl) flags |= FACE_ENVMAP;
    if ((m.flags & qivMatFlagTwoSided) && !(options & QIV_OPT_ONE_SIDED)) flags |= FACE_TWO_SIDED;
    return flags;
}

// Runs the part's commands from *cursor. *vertexCount and *faceCount hold what the part
// has and grow; neither may pass the record's declared counts.
template <class Vertex>
CmdResult runCommands(const PartRecord& rec, const uint8_t** cursor, const uint8_t* end, const CommandTarget<Vertex>& t,
                      uint32_t* vertexCount, uint32_t* faceCount) {
    Reader r{*cursor, end};
    uint16_t sums[5] = {0, 0, 0, 0, 0};
    uint32_t material = 0;
    Command cmdv{};
    for (uint32_t n = 0; n < rec.commandCount; ++n) {
        if (!r.failed && size_t(end - r.p) >= kLongestCommand) {
            FastReader f{r.p};
            readCommand(f, &cmdv);
            r.p = f.p;
        } else {
            readCommand(r, &cmdv);
            if (r.failed) return CmdResult::Short;
        }
        const uint32_t cmd = cmdv.word, options = cmdv.options;
        if (cmdv.material) material = cmdv.materialIndex;
        const bool newVertex = (cmd & (QIV_CMD_DX | QIV_CMD_DY | QIV_CMD_DZ | QIV_CMD_DU | QIV_CMD_DV)) != 0;
        if (newVertex) {
            if (*vertexCount >= rec.vertexCount) return CmdResult::Overflow;
            for (int k = 0; k < 5; ++k) sums[k] = uint16_t(sums[k] + cmdv.deltas[k]);
            if (t.vertices) {
                Vertex& v = t.vertices[*vertexCount];
                v.pos.x = dequant(sums[0], rec.box[0], rec.box[3]);
                v.pos.y = dequant(sums[1], rec.box[1], rec.box[4]);
                v.pos.z = dequant(sums[2], rec.box[2], rec.box[5]);
                v.u = dequant(sums[3], rec.uMin, rec.uMax);
                v.v = dequant(sums[4], rec.vMin, rec.vMax);
            }
            ++*vertexCount;
        }
        if (cmd & QIV_CMD_NO_FACE) continue;

        // A face: references count back from the part's newest vertex and stay inside the part.
        if (*faceCount >= rec.faceCount) return CmdResult::Overflow;
        const bool quad = (options & QIV_OPT_QUAD) != 0;
        const uint32_t have = *vertexCount;
        const uint32_t a = cmdv.a, b = cmdv.b, c = cmdv.c, d = cmdv.d;
        if (a >= have || b >= have || c >= have || (quad && d >= have)) return CmdResult::BadReference;
        if (material >= t.materialCount) return CmdResult::BadMaterial;
        if (t.faces) {
            const uint32_t last = t.firstVertex + have - 1;
            const uint32_t index = t.firstFace + *faceCount;
            PelFace& f = t.faces[*faceCount];
            const MatInput& m = t.materials[material];
            uint16_t flags = materialFaceFlags(m, options);
            if (cmd & QIV_CMD_EDGE_A) flags |= FACE_OPEN_EDGE0;
            f.v[0] = last - a;
            if (cmd & QIV_CMD_ORDERED) {
                f.v[1] = last - b;
                f.v[2] = last - c;
                if (cmd & QIV_CMD_EDGE_B) flags |= FACE_OPEN_EDGE1;
                if (cmd & QIV_CMD_EDGE_C) flags |= FACE_OPEN_EDGE2;
                if (quad) {
                    flags |= FACE_QUAD;
                    f.v[3] = last - d;
                    if (options & QIV_OPT_EDGE_D) flags |= FACE_OPEN_EDGE3;
                } else {
                    f.v[3] = f.v[2];
                }
            } else if (quad) {
                flags |= FACE_QUAD;
                f.v[1] = last - d;
                f.v[2] = last - c;
                f.v[3] = last - b;
                if (cmd & QIV_CMD_EDGE_B) flags |= FACE_OPEN_EDGE3;
                if (cmd & QIV_CMD_EDGE_C) flags |= FACE_OPEN_EDGE2;
                if (options & QIV_OPT_EDGE_D) flags |= FACE_OPEN_EDGE1;
            } else {
                f.v[1] = last - c;
                f.v[2] = last - b;
                f.v[3] = f.v[2];
                if (cmd & QIV_CMD_EDGE_B) flags |= FACE_OPEN_EDGE2;
                if (cmd & QIV_CMD_EDGE_C) flags |= FACE_OPEN_EDGE1;
            }
            // No neighbours are known yet: every edge names the face itself.
            for (uint32_t& nb : f.nb) nb = index;
            f.material = uint16_t(material);
            f.area = uint16_t(m.area);
            f.part = t.partIndex;
            f.flags = flags;
        }
        ++*faceCount;
    }
    *cursor = r.p;
    return CmdResult::Ok;
}

int commandFailure(CmdResult result) {
    switch (result) {
    case CmdResult::Short:
        return report(ERR_LENGTH, "Object stream ends inside a geometry command");
    case CmdResult::Overflow:
        return report(ERR_FORMAT, "Object stream part grows beyond its declared counts");
    case CmdResult::BadReference:
        return report(ERR_FORMAT, "Object stream face names a vertex outside its part");
    case CmdResult::BadMaterial:
        return report(ERR_FORMAT, "Object stream face names a missing material");
    case CmdResult::Ok:
        break;
    }
    return 1;
}

// One part record as the first pass found it.
struct PartPlan {
    bool instance;
    uint32_t source;          // instances
    const uint8_t* record;    // behind the kind byte
    const uint8_t* commands;  // geometry parts
    uint32_t vertexCount, faceCount;
};

void readMaterial(const uint8_t* r, uint32_t areaCount, MatInput* m) {
    pelDequantColour(r, m->colDifuse);
    pelDequantColour(r + 3, m->colSpecular);
    pelDequantFixed(rd16(r + 6), 16, &m->alpha);
    pelDequantFixed(rd16(r + 8), 8, &m->coAmbient);
    pelDequantFixed(rd16(r + 10), 8, &m->coDifuse);
    pelDequantFixed(rd16(r + 12), 8, &m->coSpecular);
    pelDequantFixed(rd16(r + 14), 8, &m->specExp);
    ltSpecularCoeffs(m->specExp, &m->specCoeff[0], &m->specCoeff[1], &m->specCoeff[2]);
    uint32_t area = rd16(r + 16);
    // As in object files: an area the object does not have becomes area 0.
    m->area = area < areaCount ? area : 0;
    m->flags = MAT_TAG | uint32_t(r[18] & 0x7F) << 10 | uint32_t(r[19] & 0x7F);
}

// New per-node arrays for a content that takes the node over.
struct NodeRebuild {
    MatRecord* materials = nullptr;
    TexRecord** textures = nullptr;
    LightRecord** lights = nullptr;
    uint32_t lightCount = 0;
};

void dropRebuild(NodeRebuild& n) {
    memFreeRefT(&n.materials);
    memFreeRefT(&n.textures);
    if (n.lights) {
        for (uint32_t i = 0; i < n.lightCount; ++i)
            if (n.lights[i]) ltDelete(&n.lights[i]);
        memFreeRefT(&n.lights);
    }
}

// The lights of an object node carry its ids, as the kind's creation gives them.
void giveObjectIds(LightRecord* l, const ScnObjExt* ext) {
    l->createHook = ltObjExtCreate;
    if (!ltObjExtCreate(l)) {
        l->createHook = nullptr;  // without ids: always enabled
        return;
    }
    auto* le = static_cast<LtObjExt*>(l->ext);
    le->idA = ext->idA;
    le->idB = ext->idB;
    l->destroy = ltObjExtFree;
    l->enable = ltObjIdsEnable;
}

bool prepareRebuild(const ScnNode* node, const PelContent* oldContent, const PelContent* c, NodeRebuild* out) {
    if (node->areaTextures && c->areaCount) {
        out->textures = static_cast<TexRecord**>(memAllocZ(size_t(c->areaCount) * sizeof(TexRecord*)));
        if (!out->textures) return false;
        uint32_t keep = oldContent->areaCount < c->areaCount ? oldContent->areaCount : c->areaCount;
        for (uint32_t i = 0; i < keep; ++i) out->textures[i] = node->areaTextures[i];
    }
    if (c->materialCount &&
        !matConvertN(c->materialCount, out->textures, c->areaCount, c->materials, &out->materials))
        return false;
    if (c->lightCount && c->lights) {
        out->lights = static_cast<LightRecord**>(memAllocZ(size_t(c->lightCount) * sizeof(LightRecord*)));
        if (!out->lights) return false;
        out->lightCount = c->lightCount;
        // The node's lights keep their switch.
        int32_t on = 1;
        if (node->lights && oldContent->lightCount && node->lights[0]) on = node->lights[0]->on;
        for (uint32_t i = 0; i < c->lightCount; ++i) {
            const PelLight& cl = c->lights[i];
            Vec3 p;
            mtxTransformPoint(&cl.pos, &p, &node->base);
            float pos[3] = {p.x, p.y, p.z};
            float colour[3] = {cl.r, cl.g, cl.b};
            if (!ltCreate(on, 1, pos, colour, 1, &out->lights[i], reinterpret_cast<uintptr_t>(node))) return false;
            if (scnIsObjectNode(node)) giveObjectIds(out->lights[i], static_cast<const ScnObjExt*>(node->ext));
        }
    }
    return true;
}

// Hands every node of oldContent to c with the arrays prepared for it.
void takeOver(PelContent* oldContent, PelContent* c, std::vector<NodeRebuild>& rebuilt) {
    size_t i = 0;
    ScnNode* node = oldContent->firstNode;
    while (node && i < rebuilt.size()) {
        ScnNode* next = node->next;
        NodeRebuild& n = rebuilt[i++];
        memFreeRefT(&node->materials);
        node->materials = n.materials;
        memFreeRefT(&node->areaTextures);
        node->areaTextures = n.textures;
        if (node->lights) {
            for (uint32_t k = 0; k < oldContent->lightCount; ++k)
                if (node->lights[k]) ltDelete(&node->lights[k]);
            memFreeRefT(&node->lights);
        }
        node->lights = n.lights;
        if (!n.lights) node->lightList = nullptr;
        memFreeRefT(&node->parts);
        node->desc = nullptr;
        if (node->highlight >= 0 && uint32_t(node->highlight) >= c->partCount) node->highlight = -1;
        node->content = c;
        node->prev = c->lastNode;
        node->next = nullptr;
        if (c->lastNode)
            c->lastNode->next = node;
        else
            c->firstNode = node;
        c->lastNode = node;
        ++c->nodeCount;
        mtxTransformBox(&c->box, &node->worldBox, &node->base);
        node->flags |= NODE_CHANGED;
        node->flags &= ~NODE_INVERSE_VALID;
        node = next;
    }
    oldContent->firstNode = nullptr;
    oldContent->lastNode = nullptr;
    oldContent->nodeCount = 0;
}

// What the caller's record takes from the stream's headers.
struct StreamHead {
    uint32_t objectFlags = 0;
    const uint8_t* name = nullptr;
    uint32_t nameBytes = 0;
    uint32_t areaBytes = 0;
    Box3 box{};
    uint32_t hostValue = 0;
    ScratchVec<float> edgeValues;
    ScratchVec<PelStreamVertex> vertices;  // the geometry, held apart from the content
    ScratchVec<PelFace> faces;
};

// The stream's content before the edge connection (not registered), or null. Its vertices
// and faces go to head; with arrays, also into arrays of the content's own block.
PelContent* buildContent(const uint8_t* data, size_t size, StreamHead* head, bool arrays) {
    const uint8_t* end = data + size;
    const uint8_t* block = data;
    if (size >= QIV_STREAM_GUID_SIZE && std::memcmp(data, qivStreamGuid, QIV_STREAM_GUID_SIZE) == 0)
        block += QIV_STREAM_GUID_SIZE;
    if (!pelStreamCursorOk(block, end, QIV_BLOCK_HEADER_SIZE)) {
        report(ERR_LENGTH, "Object stream too short for its block header");
        return nullptr;
    }
    if (rd32(block) != QIV_BLOCK_MAGIC) {
        report(ERR_FORMAT, "Object stream has wrong format");
        return nullptr;
    }
    const uint32_t headerOffset = rd32(block + 20);
    const uint32_t edgeCount = rd32(block + 36);
    if (edgeCount && (uint64_t(edgeCount) * 4 > SIZE_MAX ||
                      !pelStreamCursorOk(block + QIV_BLOCK_HEADER_SIZE, end, size_t(uint64_t(edgeCount) * 4)))) {
        report(ERR_LENGTH, "Object stream ends inside its edge section");
        return nullptr;
    }
    if (uint64_t(headerOffset) + QIV_OBJECT_HEADER_SIZE > uint64_t(end - block)) {
        report(ERR_LENGTH, "Object stream ends inside its object header");
        return nullptr;
    }
    const uint8_t* h = block + headerOffset;
    head->box.min = Vec3{rdf(h), rdf(h + 4), rdf(h + 8)};
    head->box.max = Vec3{rdf(h + 12), rdf(h + 16), rdf(h + 20)};
    head->hostValue = rd32(h + 24);
    head->objectFlags = rd16(h + 28);
    const uint32_t headerVertices = rd32(h + 30);
    const uint32_t headerFaces = rd32(h + 34);
    head->nameBytes = rd16(h + 38);
    const uint32_t areaBytes = head->areaBytes = rd16(h + 40);
    const uint32_t lightCount = rd16(h + 42);
    const uint32_t materialCount = rd16(h + 44);
    const uint32_t areaCount = rd16(h + 46);
    const uint32_t partCount = rd16(h + 48);

    Reader r{h + QIV_OBJECT_HEADER_SIZE, end};
    const uint8_t *areaNames = nullptr, *lights = nullptr, *materials = nullptr;
    r.take(head->nameBytes, &head->name);
    r.take(areaBytes, &areaNames);
    r.take(size_t(lightCount) * QIV_LIGHT_RECORD, &lights);
    r.take(size_t(materialCount) * QIV_MATERIAL_RECORD, &materials);
    if (r.failed) {
        report(ERR_LENGTH, "Object stream ends inside its names, lights or materials");
        return nullptr;
    }
    ScratchVec<MatInput> mats(materialCount);
    for (uint32_t i = 0; i < materialCount; ++i)
        readMaterial(materials + size_t(i) * QIV_MATERIAL_RECORD, areaCount, &mats[i]);

    // First pass: where each part lies, what it produces; every command is checked. Each
    // part takes its kind byte and a record at least, so the count is checked against the
    // bytes left before anything is sized by it.
    if (uint64_t(partCount) * (1 + QIV_PART_RECORD) > uint64_t(end - r.p)) {
        report(ERR_LENGTH, "Object stream ends before its last part");
        return nullptr;
    }
    ScratchVec<PartPlan> plan(partCount);
    uint64_t vertexSum = 0, faceSum = 0;
    for (uint32_t p = 0; p < partCount; ++p) {
        PartPlan& pp = plan[p];
        uint32_t kind = r.u8();
        if (r.failed) {
            report(ERR_LENGTH, "Object stream ends before its last part");
            return nullptr;
        }
        pp.instance = (kind & QIV_PART_INSTANCE) != 0;
        if (pp.instance) {
            if (!r.take(QIV_INSTANCE_RECORD, &pp.record)) {
                report(ERR_LENGTH, "Object stream ends inside an instance record");
                return nullptr;
            }
            pp.source = rd16(pp.record + 48);
            if (pp.source >= p) {
                report(ERR_FORMAT, "Object stream instance names a part that does not precede it");
                return nullptr;
            }
            pp.vertexCount = plan[pp.source].vertexCount;
            pp.faceCount = plan[pp.source].faceCount;
        } else {
            if (!r.take(QIV_PART_RECORD, &pp.record)) {
                report(ERR_LENGTH, "Object stream ends inside a part record");
                return nullptr;
            }
            pp.commands = r.p;
            const PartRecord rec = readPartRecord(pp.record);
            CommandTarget<PelStreamVertex> t{nullptr, nullptr, 0, 0, p, nullptr, materialCount};
            uint32_t nv = 0, nf = 0;
            const CmdResult result = runCommands(rec, &r.p, end, t, &nv, &nf);
            if (result != CmdResult::Ok) {
                commandFailure(result);
                return nullptr;
            }
            // A part keeps what its commands produce (at most what it declares); the parts
            // follow each other by those counts.
            pp.vertexCount = nv;
            pp.faceCount = nf;
        }
        vertexSum += pp.vertexCount;
        faceSum += pp.faceCount;
    }
    if (vertexSum > headerVertices || faceSum > headerFaces) {
        report(ERR_FORMAT, "Object stream parts hold more than its header declares");
        return nullptr;
    }
    if (vertexSum > gMaxVertices || faceSum > gMaxFaces) {
        errSetContext("???", 99999);
        errReport(ERR_NOMEM, "Object stream needs %llu vertices and %llu faces, more than allowed",
                  static_cast<unsigned long long>(vertexSum), static_cast<unsigned long long>(faceSum));
        return nullptr;
    }

    // One block: head, parts, (vertices, faces,) materials, lights, area names (exactly
    // areaCount names and the closing zero, whatever the stream's text holds).
    const bool withNames = areaCount != 0 && areaBytes != 0;
    uint64_t total = sizeof(PelContent);
    auto place = [&](uint64_t align, uint64_t bytes) {
        total = (total + align - 1) / align * align;
        uint64_t o = total;
        total += bytes;
        return o;
    };
    const uint64_t oParts = place(alignof(PelPart), uint64_t(partCount) * sizeof(PelPart));
    const uint64_t oVert = place(alignof(PelVertex), arrays ? vertexSum * sizeof(PelVertex) : 0);
    const uint64_t oFace = place(alignof(PelFace), arrays ? faceSum * sizeof(PelFace) : 0);
    const uint64_t oMat = place(alignof(MatInput), uint64_t(materialCount) * sizeof(MatInput));
    const uint64_t oLight = place(alignof(PelLight), uint64_t(lightCount) * sizeof(PelLight));
    const uint64_t oNames = place(1, withNames ? pelAreaTextBound(areaBytes, areaCount) : 0);
    if (total > SIZE_MAX) {
        report(ERR_NOMEM, "No memory for the object stream's content");
        return nullptr;
    }
    // What can throw comes before the block.
    head->vertices.assign(size_t(vertexSum), PelStreamVertex{});
    head->faces.assign(size_t(faceSum), PelFace{});
    ScratchVec<uint32_t> firstVertex(partCount), firstFace(partCount);
    auto* mem = static_cast<uint8_t*>(memAllocZ(size_t(total)));
    if (!mem) return nullptr;
    auto* c = reinterpret_cast<PelContent*>(mem);
    c->parts = reinterpret_cast<PelPart*>(mem + oParts);
    c->vertices = arrays ? reinterpret_cast<PelVertex*>(mem + oVert) : nullptr;
    c->faces = arrays ? reinterpret_cast<PelFace*>(mem + oFace) : nullptr;
    c->materials = reinterpret_cast<MatInput*>(mem + oMat);
    c->lights = lightCount ? reinterpret_cast<PelLight*>(mem + oLight) : nullptr;
    c->areaNames = withNames ? reinterpret_cast<char*>(mem + oNames) : nullptr;
    c->box = head->box;
    c->materialCount = materialCount;
    c->areaCount = areaCount;
    c->lightCount = lightCount;
    c->partCount = partCount;
    if (withNames)
        c->areaNameBytes = uint32_t(
            pelNormalizeAreaText(reinterpret_cast<const char*>(areaNames), areaBytes, areaCount, c->areaNames));
    for (uint32_t i = 0; i < materialCount; ++i) c->materials[i] = mats[i];
    for (uint32_t i = 0; i < lightCount; ++i) {
        const uint8_t* l = lights + size_t(i) * QIV_LIGHT_RECORD;
        float rgb[3];
        pelDequantColour(l, rgb);
        c->lights[i] = PelLight{rgb[0], rgb[1], rgb[2], Vec3{rdf(l + 3), rdf(l + 7), rdf(l + 11)}};
    }

    // Second pass: the geometry of each part, each after the ones before it.
    PelStreamVertex* vertices = head->vertices.data();
    PelFace* faces = head->faces.data();
    for (uint32_t p = 0; p < partCount; ++p) {
        PelPart& part = c->parts[p];
        const PartPlan& pp = plan[p];
        firstVertex[p] = c->vertexCount;
        firstFace[p] = c->faceCount;
        if (pp.instance) {
            const PelPart& src = c->parts[pp.source];
            part = src;
            Mat4 m;
            for (int row = 0; row < 4; ++row) {
                for (int col = 0; col < 3; ++col) m.m[4 * row + col] = rdf(pp.record + 4 * (3 * row + col));
                m.m[4 * row + 3] = row == 3 ? 1.0f : 0.0f;
            }
            const uint32_t fromV = firstVertex[pp.source], fromF = firstFace[pp.source];
            for (uint32_t i = 0; i < src.vertexCount; ++i) {
                PelStreamVertex& v = vertices[firstVertex[p] + i];
                v = vertices[fromV + i];
                mtxTransformPoint(&vertices[fromV + i].pos, &v.pos, &m);
            }
            const uint32_t vertexShift = firstVertex[p] - fromV, faceShift = firstFace[p] - fromF;
            for (uint32_t i = 0; i < src.faceCount; ++i) {
                PelFace& f = faces[firstFace[p] + i];
                f = faces[fromF + i];
                for (uint32_t& v : f.v) v += vertexShift;
                for (uint32_t& nb : f.nb) nb += faceShift;
                f.part = p;
            }
        } else {
            const PartRecord rec = readPartRecord(pp.record);
            for (int i = 0; i < 3; ++i) {
                (&part.box.min.x)[i] = rec.box[i];
                (&part.box.max.x)[i] = rec.box[3 + i];
            }
            CommandTarget<PelStreamVertex> t{vertices + firstVertex[p], faces + firstFace[p], firstVertex[p],
                                             firstFace[p], p, c->materials, materialCount};
            const uint8_t* cursor = pp.commands;
            uint32_t nv = 0, nf = 0;
            const CmdResult result = runCommands(rec, &cursor, end, t, &nv, &nf);
            if (result != CmdResult::Ok) {  // the first pass ran the same commands
                commandFailure(result);
                memFree(c);
                return nullptr;
            }
            part.vertexCount = nv;
            part.faceCount = nf;
        }
        c->vertexCount += part.vertexCount;
        c->faceCount += part.faceCount;
    }
    if (arrays) {
        for (uint32_t i = 0; i < c->vertexCount; ++i) {
            c->vertices[i].pos = vertices[i].pos;
            c->vertices[i].u = vertices[i].u;
            c->vertices[i].v = vertices[i].v;
        }
        std::copy(faces, faces + c->faceCount, c->faces);
        for (uint32_t p = 0; p < partCount; ++p) {
            c->parts[p].firstVertex = c->vertices + firstVertex[p];
            c->parts[p].firstFace = c->faces + firstFace[p];
        }
    }

    head->edgeValues.resize(edgeCount);
    for (uint32_t i = 0; i < edgeCount; ++i) head->edgeValues[i] = rdf(block + QIV_BLOCK_HEADER_SIZE + 4 * size_t(i));
    return c;
}

}  // namespace

int pelStreamCursorOk(const uint8_t* position, const uint8_t* end, size_t bytes) {
    if (!position || !end || position > end) return 0;
    return bytes <= size_t(end - position) ? 1 : 0;
}

void pelDequantColour(const uint8_t* bytes, float out[3]) {
    for (int i = 0; i < 3; ++i) out[i] = float(bytes[i]) / 255.0f;
}

void pelDequantFixed(uint32_t value, uint32_t bits, float* out) {
    *out = float(std::ldexp(double(value), -int(bits > 64 ? 64 : bits)));
}

void pelSetStreamLimits(uint32_t maxVertices, uint32_t maxFaces) {
    gMaxVertices = maxVertices;
    gMaxFaces = maxFaces;
}

void pelResetStream() { pelSetStreamLimits(QIV_STREAM_LIMIT, QIV_STREAM_LIMIT); }

int pelDecodePartGeometry(const uint8_t* record, PelContent* content, PelPart* part, const uint8_t* end,
                          const uint8_t** cursor) {
    if (!record || !content || !part || !end || !cursor || !*cursor) return 0;
    if (part < content->parts || part >= content->parts + content->partCount) return 0;
    if (!part->firstVertex || !part->firstFace) return 0;
    const PartRecord rec = readPartRecord(record);
    CommandTarget<PelVertex> t{part->firstVertex,
                    part->firstFace,
                    uint32_t(part->firstVertex - content->vertices),
                    uint32_t(part->firstFace - content->faces),
                    uint32_t(part - content->parts),
                    content->materials,
                    content->materials ? content->materialCount : 0};
    // The part takes the record's box; what it already holds counts towards its declared counts.
    for (int i = 0; i < 3; ++i) {
        (&part->box.min.x)[i] = rec.box[i];
        (&part->box.max.x)[i] = rec.box[3 + i];
    }
    uint32_t nv = part->vertexCount, nf = part->faceCount;
    const CmdResult result = runCommands(rec, cursor, end, t, &nv, &nf);
    part->vertexCount = nv;
    part->faceCount = nf;
    return result == CmdResult::Ok ? 1 : commandFailure(result);
}

int pelDecodeStream(const uint8_t* data, size_t size, PelContent** content) try {
    if (!content) return 0;
    *content = nullptr;
    if (!data) return 0;
    ScratchRun run;
    StreamHead head;
    *content = buildContent(data, size, &head, true);
    return *content ? 1 : 0;
} QIV_ENGINE_CATCH(0)

int pelParseStream(const uint8_t* data, size_t size, PelContent** content, PelStreamInfo** info,
                   uint32_t* edgeResult, uint32_t planeCount, const float* planes) try {
    if (!content || !info || !data) return 0;
    *info = nullptr;
    PelContent* const old = *content;
    *content = nullptr;
    auto fail = [&]() {
        *content = old;
        return 0;
    };

    ScratchRun run;
    StreamHead head;
    PelContent* c = buildContent(data, size, &head, false);
    if (!c) return fail();
    bool translucent = false;
    for (uint32_t i = 0; i < c->materialCount; ++i)
        if (c->materials[i].alpha != 0.0f) translucent = true;

    if (c->faceCount == 0 || c->vertexCount < 3) {
        memFree(c);
        report(ERR_FORMAT, "Object stream holds no faces");
        return fail();
    }
    uint32_t rebuiltSize = 0;
    if (!pelConnectStreamEdges(&c, head.vertices, head.faces, edgeResult ? edgeResult : &rebuiltSize,
                               uint32_t(head.edgeValues.size()), planeCount, planes)) {
        if (c) memFree(c);
        return fail();
    }
    mtxBoxUnion(&head.box, &c->box);

    // The caller's record.
    auto* si = static_cast<PelStreamInfo*>(memAllocZ(sizeof(PelStreamInfo)));
    if (!si) {
        pelFreeObject(&c);
        return fail();
    }
    si->hostValue = head.hostValue;
    si->box = c->box;
    si->areaNameBytes = head.areaBytes;
    si->faceCount = c->faceCount;
    if (c->lightCount) si->flags |= QIV_INFO_LIGHTS;
    if (head.areaBytes) si->flags |= QIV_INFO_AREA_NAMES;
    if (translucent) si->flags |= QIV_INFO_TRANSLUCENT;
    static const uint32_t objectBits[5][2] = {{1, 4}, {2, 8}, {4, 16}, {8, 32}, {16, 128}};
    for (const auto& bit : objectBits)
        if (head.objectFlags & bit[0]) si->flags |= bit[1];
    if (head.nameBytes) {
        const uint8_t* name = head.name;
        size_t n = 0;
        while (n < head.nameBytes && name[n]) ++n;
        si->name = static_cast<char*>(memAllocZ(n + 1));
        if (!si->name) {
            memFree(si);
            pelFreeObject(&c);
            return fail();
        }
        std::memcpy(si->name, name, n);
    }

    // Nodes that show the old content get arrays made for the new one first, so that a
    // lack of memory leaves them as they were.
    std::vector<NodeRebuild> rebuilt;
    if (old) {
        size_t nodes = 0;
        for (ScnNode* node = old->firstNode; node; node = node->next) ++nodes;
        rebuilt.resize(nodes);
        size_t i = 0;
        for (ScnNode* node = old->firstNode; node; node = node->next, ++i) {
            if (!prepareRebuild(node, old, c, &rebuilt[i])) {
                for (NodeRebuild& n : rebuilt) dropRebuild(n);
                pelFreeStream(&si);
                pelFreeObject(&c);
                return fail();
            }
        }
    }

    // Registered once, at the tail (the edge connection may have done so already).
    pelUnregisterObject(c);
    pelRegisterObject(c);
    if (old) {
        takeOver(old, c, rebuilt);
        PelContent* doomed = old;
        pelFreeObject(&doomed);
    }
    *content = c;
    *info = si;
    return 1;
} QIV_ENGINE_CATCH(0)

int pelParseStreamUnbounded(const uint8_t* data, PelContent** content, PelStreamInfo** info, uint32_t* edgeResult) try {
    if (!content) return 0;
    *content = nullptr;
    if (!data || !info) return 0;
    const uint8_t* block = data;
    if (std::memcmp(data, qivStreamGuid, QIV_STREAM_GUID_SIZE) == 0) block += QIV_STREAM_GUID_SIZE;
    if (rd32(block) != QIV_BLOCK_MAGIC) {
        *info = nullptr;
        return report(ERR_FORMAT, "Object stream has wrong format");
    }
    // No bound: every read is limited only by the end of the address space (and by the
    // largest distance between two pointers).
    const uintptr_t room = UINTPTR_MAX - reinterpret_cast<uintptr_t>(data);
    const size_t size = size_t(std::min<uintptr_t>(room, uintptr_t(PTRDIFF_MAX)));
    return pelParseStream(data, size, content, info, edgeResult, 0, nullptr);
} QIV_ENGINE_CATCH(0)

int pelFreeStream(PelStreamInfo** holder) {
    if (!holder || !*holder) return 0;
    memFreeRefT(&(*holder)->name);
    return memFreeRefT(holder);
}

int scnSwitchLights(ScnNode* node, int32_t value) {
    if (!node) return 0;
    const PelContent* c = node->content;
    if (!c || !c->lightCount) return 1;
    if (!node->lights) return 0;
    for (uint32_t i = 0; i < c->lightCount; ++i)
        if (node->lights[i]) node->lights[i]->on = value;
    // Raises the light list's changed flag; the next frame rebuilds the active chain.
    ltMarkChanged();
    return 1;
}

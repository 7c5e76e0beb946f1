#include "scene/material.h"

#include <cmath>
#include <cstring>

#include "scene/contentlist.h"
#include "scene/engine.h"
#include "scene/scene.h"

namespace {
float gFactor = 0.85f;
float gColour[3] = {0.0f, 0.0f, 0.0f};

constexpr uint32_t NO_LIMIT = 0xFFFFFFFFu;

// Leading fields of a texture record: average colour, then the pixel block.
struct TexHead {
    float colour[3];
    void* block;
};

bool matTextureColour(const TexRecord* texture, float colour[3], bool* hasBlock) {
    if (!texture) return false;
    const auto* head = reinterpret_cast<const TexHead*>(texture);
    for (int i = 0; i < 3; ++i) colour[i] = head->colour[i];
    *hasBlock = head->block != nullptr;
    return true;
}

const TexRecord* textureFor(TexRecord** textures, uint32_t areaCount, uint32_t area) {
    if (!textures || area >= areaCount) return nullptr;
    return textures[area];
}

// Colour fields of a record from its material values and an optional texture.
void evaluateColours(const float colDifuse[3], const float colSpecular[3], float coAmbient, float coDifuse,
                     float coSpecular, uint32_t flags, const TexRecord* texture, MatRecord* r) {
    float base[3], side[3], mod[3];
    float tex[3];
    bool hasBlock = false;
    bool textured = texture && (flags & qivMatFlagIsTextured);
    if (textured) textured = matTextureColour(texture, tex, &hasBlock);
    for (int i = 0; i < 3; ++i) {
        if (!textured) {
            base[i] = colDifuse[i];
            side[i] = colDifuse[i];
            mod[i] = 1.0f;
        } else if (flags & qivMatFlagMixTexCol) {
            base[i] = tex[i] * colDifuse[i];
            side[i] = colDifuse[i];
            mod[i] = base[i];
        } else {
            base[i] = tex[i];
            side[i] = hasBlock ? 1.0f : tex[i];
            mod[i] = base[i];
        }
    }
    for (int i = 0; i < 3; ++i) {
        r->ambient[i] = base[i] * coAmbient * gFactor * gColour[i];
        r->diffuse[i] = base[i] * coDifuse * gFactor;
        r->texDiffuse[i] = side[i] * coDifuse * gFactor;
        r->specular[i] = colSpecular[i] * coSpecular * gFactor;
        r->modulation[i] = mod[i];
    }
}

void evaluateRecord(MatRecord* r, const TexRecord* texture) {
    evaluateColours(r->colDifuse, r->colSpecular, r->coAmbient, r->coDifuse, r->coSpecular, r->flags, texture,
                    r);
}
}  // namespace

void ltSpecularCoeffs(float e, float* a, float* b, float* c) {
    if (e > 0.1f) {
        float av = -1.0f / (e * std::sqrt(e));
        float cv = -1.0f / av;
        *a = av;
        *c = cv;
        *b = cv - 1.0f / (1.0f - av);
    } else {
        *a = 0.0f;
    }
}

void matEvaluate(const MatInput* input, const TexRecord* texture, MatRecord* record) {
    if (!input || !record) return;
    for (int i = 0; i < 3; ++i) {
        record->colDifuse[i] = input->colDifuse[i];
        record->colSpecular[i] = input->colSpecular[i];
    }
    record->alpha = input->alpha;
    record->coAmbient = input->coAmbient;
    record->coDifuse = input->coDifuse;
    record->coSpecular = input->coSpecular;
    record->specExp = input->specExp;
    ltSpecularCoeffs(input->specExp, &record->specCoeff[0], &record->specCoeff[1], &record->specCoeff[2]);
    record->area = input->area;
    record->flags = input->flags;
    evaluateRecord(record, texture);
}

void matEvaluateAllN(uint32_t count, TexRecord** textures, uint32_t areaCount, MatRecord* records) {
    if (!records) return;
    for (uint32_t i = 0; i < count; ++i)
        evaluateRecord(&records[i], textureFor(textures, areaCount, records[i].area));
}

void matEvaluateAll(uint32_t count, TexRecord** textures, MatRecord* records) {
    matEvaluateAllN(count, textures, NO_LIMIT, records);
}

int matConvertN(uint32_t count, TexRecord** textures, uint32_t areaCount, const MatInput* inputs,
                MatRecord** holder) {
    if (!holder) return 0;
    *holder = nullptr;
    if (count == 0) return 1;
    if (!inputs || count > SIZE_MAX / sizeof(MatRecord)) return 0;
    auto* records = static_cast<MatRecord*>(memAllocZ(static_cast<size_t>(count) * sizeof(MatRecord)));
    if (!records) return 0;
    for (uint32_t i = 0; i < count; ++i) {
        matEvaluate(&inputs[i], nullptr, &records[i]);
        evaluateRecord(&records[i], textureFor(textures, areaCount, records[i].area));
    }
    *holder = records;
    return 1;
}

int matConvert(uint32_t count, TexRecord** textures, const MatInput* inputs, MatRecord** holder) {
    return matConvertN(count, textures, NO_LIMIT, inputs, holder);
}

int matEvaluateNodeMaterial(ScnNode* node, const MatInput* input, uint32_t index) {
    if (!node || !input || !node->content || !node->materials || index >= node->content->materialCount)
        return 0;
    MatRecord* r = &node->materials[index];
    const TexRecord* texture = nullptr;
    if (node->areaTextures && (r->flags & qivMatFlagIsTextured))
        texture = textureFor(node->areaTextures, node->content->areaCount, input->area);
    matEvaluate(input, texture, r);
    return 1;
}

void matRefreshAll() {
    for (PelContent* c = pelFirstObject(); c; c = c->next) {
        for (ScnNode* n = c->firstNode; n; n = n->next)
            matEvaluateAllN(c->materialCount, n->areaTextures, c->areaCount, n->materials);
        for (MatSetLink* link = c->matSets; link; link = link->next)
            if (link->set)
                matEvaluateAllN(link->set->materialCount, link->set->textures, c->areaCount,
                                link->set->materials);
    }
}

int matSetGlobalFactor(float value) {
    if (!(value > 0.0f)) return 0;
    gFactor = 0.85f * value;
    matRefreshAll();
    return 1;
}

void matSetGlobalColor(const float rgb[3]) {
    if (!rgb) return;
    for (int i = 0; i < 3; ++i) gColour[i] = rgb[i];
    matRefreshAll();
}

float matGetGlobalFactor() { return gFactor; }
void matGetGlobalColor(float rgb[3]) {
    for (int i = 0; i < 3; ++i) rgb[i] = gColour[i];
}

void matReset() {
    gFactor = 0.85f;
    for (float& c : gColour) c = 0.0f;
}

// Materials: stored inputs and the derived records the renderer uses.
#pragma once
#include <cstdint>

struct TexRecord;
struct ScnNode;

// Material flags
enum : uint32_t {
    qivMatFlagIsTextured = 1,
    qivMatFlagIsTexMask = 2,
    qivMatFlagIsLight = 4,
    qivMatFlagMixTexCol = 8,
    qivMatFlagTwoSided = 16,
    qivMatFlagIsTexRefl = 32,
    qivMatFlagIsSpec = 64,
};

// Stored material (also the object file's material record, sixteen words).
struct MatInput {
    float colDifuse[3];
    float colSpecular[3];
    float alpha;
    float coAmbient;
    float coDifuse;
    float coSpecular;
    float specExp;
    float specCoeff[3];  // derived a, b, c
    uint32_t area;
    uint32_t flags;
};

struct MatRecord {
    float ambient[3];
    float diffuse[3];
    float texDiffuse[3];
    float specular[3];
    float colDifuse[3];
    float colSpecular[3];
    float modulation[3];
    float alpha;        // field 21 (translucency)
    float coAmbient;
    float coDifuse;
    float coSpecular;
    float specExp;
    float specCoeff[3]; // a, b, c
    uint32_t area;
    uint32_t flags;
};

// Specular coefficients a, b, c of exponent e (a = 0: no highlight).
void ltSpecularCoeffs(float e, float* a, float* b, float* c);

int matConvert(uint32_t count, TexRecord** textures, const MatInput* inputs, MatRecord** holder);
void matEvaluate(const MatInput* input, const TexRecord* texture, MatRecord* record);
void matEvaluateAll(uint32_t count, TexRecord** textures, MatRecord* records);
int matEvaluateNodeMaterial(ScnNode* node, const MatInput* input, uint32_t index);
void matRefreshAll();
int matSetGlobalFactor(float value);
void matSetGlobalColor(const float rgb[3]);

float matGetGlobalFactor();
void matGetGlobalColor(float rgb[3]);
// Factor 0.85, colour black (tests start clean).
void matReset();

// Bounded forms: texture lookups only for area indices below areaCount.
int matConvertN(uint32_t count, TexRecord** textures, uint32_t areaCount, const MatInput* inputs,
                MatRecord** holder);
void matEvaluateAllN(uint32_t count, TexRecord** textures, uint32_t areaCount, MatRecord* records);

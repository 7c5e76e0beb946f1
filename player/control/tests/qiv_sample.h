// Test-side container of a viewer object: a green cube beside a blue cube (the blue one
// textured with area 0 when asked), built with the project's own stream encoder and
// container writer.
#pragma once
#include <string>

#include "tests/qiv_writer.h"

namespace qivsample {

// One cube of half size s around (cx, 0, 0), every face a quad of the material.
inline qse::Mesh cube(float cx, float s, uint16_t material) {
    qse::Mesh m;
    m.box[0] = cx - s, m.box[1] = -s, m.box[2] = -s, m.box[3] = cx + s, m.box[4] = s, m.box[5] = s;
    for (int i = 0; i < 8; ++i) {
        const float x = (i & 1) ? cx + s : cx - s, y = (i & 2) ? s : -s, z = (i & 4) ? s : -s;
        m.vertices.push_back({x, y, z, (i & 1) ? 1.0f : 0.0f, (i & 4) ? 1.0f : 0.0f});
    }
    const uint32_t faces[6][4] = {{0, 1, 3, 2}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 3, 7, 5}};
    for (const auto& f : faces) m.faces.push_back({{f[0], f[1], f[2], f[3]}, true, material});
    return m;
}

// textureName: the area name of the blue cube's texture (empty: untextured).
inline qse::Model twoCubes(const std::string& textureName) {
    qse::Model md;
    qse::Object& h = md.head;
    h.name = "Cubes";
    h.box[0] = -2, h.box[1] = -1, h.box[2] = -1, h.box[3] = 2, h.box[4] = 1, h.box[5] = 1;
    if (!textureName.empty()) {
        h.areaNames.assign(textureName.begin(), textureName.end());
        h.areaNames.push_back(0);
        h.areaNames.push_back(0);
        h.areaCount = 1;
        h.objectFlags = 1;  // the object has textures
    }
    qse::Material green;
    green.diffuse[0] = 0, green.diffuse[1] = 200, green.diffuse[2] = 0;
    green.flags = 16;  // two-sided
    qse::Material blue;
    blue.diffuse[0] = 0, blue.diffuse[1] = 0, blue.diffuse[2] = 220;
    blue.flags = uint8_t(textureName.empty() ? 16 : 16 | 1);
    blue.area = 0;
    h.materials = {green, blue};
    md.meshes = {cube(-1.0f, 0.9f, 0), cube(1.0f, 0.9f, 1)};
    qse::Model::Entry a, b;
    a.mesh = 0;
    b.mesh = 1;
    md.parts = {a, b};
    return md;
}

inline qivw::Container container(const std::string& textureName) {
    qivw::Container c;
    c.object = qse::encodeModel(twoCubes(textureName), qse::Layout::Ordered, false);
    return c;
}

}  // namespace qivsample

// Object files of plain boxes written by the project's own PEL writer, for the object and
// group tests of the control.
#pragma once
#include <windows.h>

#include <string>

#include "render/sample.h"
#include "scene/objnode.h"
#include "scene/pelwrite.h"
#include "scene/scene.h"
#include "scene/sceneops.h"
#include "testfiles.h"

namespace qivtest {

// A box of half sizes (hx, hy, hz) around (cx, cy, cz) in one colour, written to path.
inline bool writeBoxFile(const std::string& path, Vec3 centre, Vec3 half, float r = 0.8f, float g = 0.3f,
                         float b = 0.2f) {
    SampleMesh mesh;
    mesh.shape.materials.push_back(sampleMaterial(r, g, b));
    mesh.box(centre, half, 0);
    PelContent* content = mesh.build();
    if (!content) return false;
    Mat4 identity;
    mtxIdentity(&identity);
    ScnNode* node = nullptr;
    bool ok = scnCreateObjectNode(content, 0, nullptr, 0, 0, nullptr, 0, &identity, &node) && node;
    PelWriteInfo info{};
    info.objectName = "box";
    for (int k = 0; k < 5; ++k) info.switches[k] = (PEL_WRITE_DEFAULT_FLAGS & PEL_WRITE_SWITCH_FLAGS[k]) != 0;
    DeleteFileA(path.c_str());
    ok = ok && pelWriteFile(0, path.c_str(), node, &info, nullptr, 0, nullptr) != 0;
    if (node) scnNodeFree(&node, nullptr);
    pelFreeObject(&content);
    return ok;
}

}  // namespace qivtest

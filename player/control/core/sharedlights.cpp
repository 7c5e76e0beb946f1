#include "sharedlights.h"

#include <cmath>
#include <mutex>

#include "render/light.h"
#include "scene/material.h"
#include "scene/vecops.h"

namespace qivctl {

const SharedLightSpec kSharedLightTable[4] = {
    {{1.3322f, -1.4963f, -1.7990f}, {1.0f, 1.0f, 1.0f}, 1},
    {{2.5569f, -0.2715f, -0.7990f}, {0.8f, 0.8f, 1.0f}, 0},
    {{-0.9659f, 1.8625f, -3.0981f}, {0.6f, 0.6f, 0.6f}, 0},
    {{-1.0796f, -0.7968f, 2.6981f}, {0.6f, 0.6f, 0.6f}, 0},
};

namespace {

using vec::cross;

bool normalised(Vec3* v) {
    double l = std::sqrt(double(v->x) * v->x + double(v->y) * v->y + double(v->z) * v->z);
    if (!(l > 1e-12) || !std::isfinite(l)) return false;
    v->x = float(v->x / l);
    v->y = float(v->y / l);
    v->z = float(v->z / l);
    return true;
}

struct LightSet {
    std::mutex lock;
    LightRecord* lights[4] = {};
    bool exists = false;
    uint32_t users = 0;
};

LightSet& lightSet() {
    static LightSet s;
    return s;
}

void deleteSet(LightSet& s) {
    for (LightRecord*& l : s.lights)
        if (l) ltDelete(&l);
    s.exists = false;
    s.users = 0;
}

}  // namespace

bool cameraBasis(const Vec3& eye, const Vec3& vrp, const Vec3& up, CameraBasis* out) {
    CameraBasis b;
    b.dir = {vrp.x - eye.x, vrp.y - eye.y, vrp.z - eye.z};
    if (!normalised(&b.dir)) {
        *out = CameraBasis{};
        return false;
    }
    b.right = cross(b.dir, up);
    if (!normalised(&b.right)) {
        *out = CameraBasis{};
        return false;
    }
    b.up = cross(b.right, b.dir);
    *out = b;
    return true;
}

void sharedLightSetting(int i, uint32_t lights, const CameraBasis& b, float pos[3], float colour[3],
                        int32_t* kind) {
    if (i < 0 || i > 3 || !(lights & (1u << i))) {
        pos[0] = pos[1] = pos[2] = 0;
        colour[0] = colour[1] = colour[2] = 0;
        *kind = 0;
        return;
    }
    const SharedLightSpec& s = kSharedLightTable[i];
    const Vec3& d = s.direction;
    pos[0] = d.x * b.right.x + d.y * b.up.x + d.z * b.dir.x;
    pos[1] = d.x * b.right.y + d.y * b.up.y + d.z * b.dir.y;
    pos[2] = d.x * b.right.z + d.y * b.up.z + d.z * b.dir.z;
    for (int k = 0; k < 3; ++k) colour[k] = s.colour[k];
    *kind = s.kind;
}

bool acquireSharedLights(bool* held) {
    LightSet& s = lightSet();
    std::lock_guard<std::mutex> g(s.lock);
    if (!s.exists) {
        const float grey[3] = {kGlobalMaterialGrey, kGlobalMaterialGrey, kGlobalMaterialGrey};
        matSetGlobalColor(grey);
        matSetGlobalFactor(kGlobalMaterialFactor);
        for (int i = 0; i < 4; ++i) {
            const SharedLightSpec& spec = kSharedLightTable[i];
            const float pos[3] = {spec.direction.x, spec.direction.y, spec.direction.z};
            if (!ltAdd(spec.kind, pos, spec.colour, 0, &s.lights[i])) {
                deleteSet(s);
                return false;
            }
        }
        s.exists = true;
        s.users = 0;
    }
    if (held && !*held) {
        ++s.users;
        *held = true;
    }
    return true;
}

void releaseSharedLights(bool* held) {
    if (!held || !*held) return;
    LightSet& s = lightSet();
    std::lock_guard<std::mutex> g(s.lock);
    *held = false;
    if (!s.exists) return;
    if (s.users) --s.users;
    if (s.users == 0) deleteSet(s);
}

bool applySharedLights(uint32_t lights, const CameraBasis& basis) {
    LightSet& s = lightSet();
    std::lock_guard<std::mutex> g(s.lock);
    if (!s.exists) return false;
    for (int i = 0; i < 4; ++i) {
        float pos[3], colour[3];
        int32_t kind;
        sharedLightSetting(i, lights, basis, pos, colour, &kind);
        s.lights[i]->kind = kind;
        ltSet(s.lights[i], pos, colour, 0);
    }
    return true;
}

LightRecord* sharedLight(int i) {
    LightSet& s = lightSet();
    std::lock_guard<std::mutex> g(s.lock);
    return s.exists && i >= 0 && i < 4 ? s.lights[i] : nullptr;
}

uint32_t sharedLightUsers() {
    LightSet& s = lightSet();
    std::lock_guard<std::mutex> g(s.lock);
    return s.users;
}

void sharedLightsReset() {
    LightSet& s = lightSet();
    std::lock_guard<std::mutex> g(s.lock);
    deleteSet(s);
}

}  // namespace qivctl

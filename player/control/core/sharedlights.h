// The four lights that every control of the process shares: their table in camera space,
// the camera basis that turns them into world space each frame (so they follow the camera),
// the Lights bit value, and the process-wide set with its count of controls.
#pragma once
#include <cstdint>

#include "scene/vecmath.h"

struct LightRecord;

namespace qivctl {

struct SharedLightSpec {
    Vec3 direction;  // camera space
    float colour[3];
    int32_t kind;
};
extern const SharedLightSpec kSharedLightTable[4];
constexpr float kGlobalMaterialGrey = 0.8f;
constexpr float kGlobalMaterialFactor = 1.0f;

// Camera axes: dir = normalise(VRP - eye), right = normalise(dir x up), up = right x dir.
// A degenerate camera (eye on the VRP, up along the view) gives the world axes and false.
struct CameraBasis {
    Vec3 right{1, 0, 0};
    Vec3 up{0, 0, 1};
    Vec3 dir{0, 1, 0};
};
bool cameraBasis(const Vec3& eye, const Vec3& vrp, const Vec3& up, CameraBasis* out);

// The setting of shared light i (0 to 3) for a Lights value: bit i set gives the table's
// direction turned into world space (x right + y up + z dir) with its colour and kind;
// clear gives position 0, black, kind 0.
void sharedLightSetting(int i, uint32_t lights, const CameraBasis& basis, float pos[3], float colour[3],
                        int32_t* kind);

// The process-wide set. A control takes one reference (held is its flag) and gives it back
// once; the lights are made on the first and deleted with the last.
bool acquireSharedLights(bool* held);
void releaseSharedLights(bool* held);
// Sets the four lights for this frame; false when the set does not exist.
bool applySharedLights(uint32_t lights, const CameraBasis& basis);
LightRecord* sharedLight(int i);  // null when the set does not exist
uint32_t sharedLightUsers();
// Process detach and tests: deletes the set whatever its count.
void sharedLightsReset();

}  // namespace qivctl

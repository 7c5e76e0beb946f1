#include "standardviews.h"

#include <cmath>

namespace stellwerk {

StandardAngles StandardViewAngles(int kind) {
    static const StandardAngles table[] = {
        {89.99999f, 180}, {0, 270}, {0, 90}, {0, 180}, {0, 0}, {35, 225}, {45, 210},
    };
    if (kind < 0 || kind > kViewAxonometric) kind = kViewPlan;
    return table[kind];
}

void SetStandardView(ViewerHost& viewer, int kind) {
    viewer.EnableUpdate(true);
    Viewing3D v;
    if (!viewer.GetViewing3DEx(v)) return;
    v.parallel = true;
    viewer.SetViewing3DEx(v);
    const StandardAngles a = StandardViewAngles(kind);
    viewer.SetPsi(a.psi);
    viewer.SetPhi(a.phi);
}

void ToggleProjection(ViewerHost& viewer) {
    Viewing3D v;
    if (!viewer.GetViewing3DEx(v)) return;
    v.parallel = !v.parallel;
    viewer.SetViewing3DEx(v);
}

void Walk(ViewerHost& viewer, float percent) {
    Viewing3D v;
    if (!viewer.GetViewing3DEx(v) || v.parallel) return;
    const float zoom = viewer.Zoom();
    float distance = std::sqrt(DistanceSquared(v.eye, v.vrp)) * (1 + percent / 100);
    if (distance == 0) distance = 1;
    const Vec3 direction = Normalised(Difference(v.eye, v.vrp));
    viewer.SetViewing3D(v.vrp, Sum(v.vrp, Scaled(direction, distance)), v.tanA);
    viewer.SetZoom(zoom);
}

bool RotationTick(ViewerHost& viewer, int state, int rotationAngle) {
    switch (state) {
    case kRotLeft:
        viewer.SetPhi(viewer.Phi() - float(rotationAngle));
        return true;
    case kRotRight:
        viewer.SetPhi(viewer.Phi() + float(rotationAngle));
        return true;
    case kRotWalkBack:
        Walk(viewer, 5);
        return true;
    case kRotWalkForward:
        Walk(viewer, -5);
        return true;
    default:
        return false;
    }
}

}  // namespace stellwerk

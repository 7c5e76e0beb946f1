#pragma once
// The seven standard views, the projection toggle, and the rotation and
// walk steps of the rotation timer.
#include "viewer.h"

namespace stellwerk {

enum StandardView { kViewPlan, kViewLeft, kViewRight, kViewFront, kViewBack, kViewIsometric, kViewAxonometric };

struct StandardAngles {
    float psi, phi;
};
// Plan looks down at the float just below 90 degrees.
StandardAngles StandardViewAngles(int kind);
// Parallel projection with the current camera, then Psi and Phi.
void SetStandardView(ViewerHost& viewer, int kind);
// The same camera with the projection flag inverted.
void ToggleProjection(ViewerHost& viewer);

// Rotation states of the timer.
enum RotationState { kRotIdle, kRotLeft, kRotRight, kRotWalkBack, kRotWalkForward };
// Moves the eye p percent away from the VRP (closer for negative p); does
// nothing under parallel projection; the zoom is kept.
void Walk(ViewerHost& viewer, float percent);
// One tick of the timer: false when the timer is to stop (idle state).
bool RotationTick(ViewerHost& viewer, int state, int rotationAngle);

}  // namespace stellwerk

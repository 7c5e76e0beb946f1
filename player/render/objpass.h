// The object node kind's hooks of the hierarchical pass.
#pragma once

struct ScnNode;
struct ScnRenderJob;

// Hooks of the hierarchical pass (not installed by creation).
int scnObjListHook(ScnRenderJob* job);
int scnObjCandidateHook(ScnRenderJob* job, ScnNode* candidate, int* answer);
int scnObjEnterHook(ScnRenderJob* job, ScnNode* candidate, int* enter, int* repeat);

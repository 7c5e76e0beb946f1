// The C++ header of the type library. Its material-flag constants carry the
// same names and values as the engine's own (scene/material.h); here they get
// other names so both headers can meet in one file.
#pragma once
#define qivMatFlagIsTextured qivMaterialFlags_IsTextured
#define qivMatFlagIsTexMask qivMaterialFlags_IsTexMask
#define qivMatFlagIsLight qivMaterialFlags_IsLight
#define qivMatFlagMixTexCol qivMaterialFlags_MixTexCol
#define qivMatFlagTwoSided qivMaterialFlags_TwoSided
#define qivMatFlagIsTexRefl qivMaterialFlags_IsTexRefl
#define qivMatFlagIsSpec qivMaterialFlags_IsSpec
#include "QivPlayer_h.h"
#undef qivMatFlagIsTextured
#undef qivMatFlagIsTexMask
#undef qivMatFlagIsLight
#undef qivMatFlagMixTexCol
#undef qivMatFlagTwoSided
#undef qivMatFlagIsTexRefl
#undef qivMatFlagIsSpec

// Making lights and walking the light list in tests.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "scene/light.h"

namespace lighttest {

struct LightListHelpers {
    static LightRecord* add(int32_t kind, float x, float y, float z, float r, float g, float b,
                            uint32_t param = 0) {
        const float pos[3] = {x, y, z}, col[3] = {r, g, b};
        LightRecord* l = nullptr;
        EXPECT_EQ(ltAdd(kind, pos, col, param, &l), 1);
        return l;
    }
    static std::vector<LightRecord*> active() {
        std::vector<LightRecord*> v;
        for (LightRecord* l = ltFirstActive(); l; l = l->nextActive) v.push_back(l);
        return v;
    }
    static std::vector<LightRecord*> all() {
        std::vector<LightRecord*> v;
        for (LightRecord* l = ltFirst(); l; l = l->next) v.push_back(l);
        return v;
    }
};

}  // namespace lighttest

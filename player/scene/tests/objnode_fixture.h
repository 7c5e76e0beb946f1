// Test-side fixture of the object node kind: a two-part content with one light, nodes made
// from it and freed with the test, and a camera looking down from z = 10.
#pragma once
#include <gtest/gtest.h>

#include <vector>

#include "scene/camera.h"
#include "scene/engine.h"
#include "scene/light.h"
#include "scene/objnode.h"
#include "scene/sceneops.h"
#include "scene/tests/content_builder.h"

namespace objnodeb {

inline CamRecord camera() {
    CamRecord c{};
    c.eye = {0, 0, 10};
    c.up = {0, 1, 0};
    c.viewDist = 10;
    c.nearDist = 1;
    c.farDist = 100;
    c.winXMin = -4, c.winXMax = 4, c.winYMin = -3, c.winYMax = 3;
    c.pixW = 640, c.pixH = 480;
    EXPECT_EQ(camUpdate(&c), 1);
    return c;
}

struct ObjNode : ::testing::Test {
    PelContent* content = nullptr;
    void SetUp() override {
        errReset();
        ltReset();
        scnResetSceneOps();
        scnResetObjectNodes();
        BuildSpec s = twoPartSpec();
        s.lights = {PelLight{1, 1, 1, {0, 0, 5}}};
        content = buildContent(s);
    }
    void TearDown() override {
        for (ScnNode*& n : nodes) scnNodeFree(&n, nullptr);
        pelFreeObject(&content);
        ltReset();
        scnResetSceneOps();
    }
    ScnNode* make(uint32_t a, uint32_t b, uint32_t flag2 = 0) {
        ScnNode* n = nullptr;
        EXPECT_EQ(scnCreateObjectNode(content, 0, nullptr, a, b, nullptr, flag2, nullptr, &n), 1);
        nodes.push_back(n);
        return n;
    }
    bool active(const LightRecord* l) {
        for (LightRecord* a = ltFirstActive(); a; a = a->nextActive)
            if (a == l) return true;
        return false;
    }
    std::vector<ScnNode*> nodes;
};

}  // namespace objnodeb

#include "picks.h"

#include <gtest/gtest.h>

#include <cwchar>

#include "scene/engine.h"
#include "scene/objnode.h"
#include "scene/pelfile.h"
#include "scene/tests/pel_builder.h"
#include "slots.h"

#include <filesystem>

using namespace qivctl;

namespace {

ScnNode* fakeNode(int i) { return reinterpret_cast<ScnNode*>(uintptr_t(0x1000 + 16 * i)); }

Mat4 translation(float x, float y, float z) {
    Mat4 m{};
    for (int i = 0; i < 4; ++i) m.m[i * 5] = 1;
    m.m[12] = x, m.m[13] = y, m.m[14] = z;
    return m;
}

struct Scene {
    QivControlState s;
    Scene() { qivStateInit(s, QivStateOptions{}); }
    ~Scene() {
        for (auto& slot : s.slots) slot.node = nullptr;
    }
    int32_t object(int node) {
        int32_t id = slotAllocate(s);
        s.slots[size_t(id)].node = fakeNode(node);
        return id;
    }
};

}  // namespace

TEST(Picks, LastPickedPositionInEachSystem) {
    Scene sc;
    const float hit[3] = {5, 6, 7};
    float out[3] = {9, 9, 9};
    // World needs no object.
    EXPECT_EQ(lastPickedPosition(sc.s, hit, kCoordWorld, out), PickedPosition::Written);
    EXPECT_EQ(out[0], 5);
    // No current object: the member fails and the outputs are 0.
    EXPECT_EQ(lastPickedPosition(sc.s, hit, kCoordModel, out), PickedPosition::NoObject);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[2], 0);

    int32_t group = slotNewGroup(sc.s);
    int32_t obj = sc.object(1);
    ASSERT_GE(slotAddChild(sc.s, group, obj), 0);
    sc.s.slots[size_t(group)].placement = translation(1, 0, 0);
    sc.s.slots[size_t(obj)].placement = translation(0, 2, 0);
    sc.s.currentSlot = obj;
    EXPECT_EQ(lastPickedPosition(sc.s, hit, kCoordModel, out), PickedPosition::Written);
    EXPECT_FLOAT_EQ(out[0], 4);
    EXPECT_FLOAT_EQ(out[1], 4);
    EXPECT_FLOAT_EQ(out[2], 7);
    EXPECT_EQ(lastPickedPosition(sc.s, hit, kCoordGroup, out), PickedPosition::Written);
    EXPECT_FLOAT_EQ(out[0], 5);
    EXPECT_FLOAT_EQ(out[1], 4);

    // The event slot comes first; a freed one fails.
    sc.s.eventSlot = group;
    EXPECT_EQ(lastPickedPosition(sc.s, hit, kCoordModel, out), PickedPosition::Written);
    EXPECT_EQ(out[0], 0);  // a group has no node
    sc.s.eventSlot = 40;
    EXPECT_EQ(lastPickedPosition(sc.s, hit, kCoordModel, out), PickedPosition::NoObject);
    sc.s.eventSlot = -1;

    // A placement that cannot be inverted leaves 0; other systems write nothing.
    sc.s.slots[size_t(obj)].placement = Mat4{};
    sc.s.slots[size_t(obj)].placement.m[15] = 1;
    EXPECT_EQ(lastPickedPosition(sc.s, hit, kCoordGroup, out), PickedPosition::Written);
    EXPECT_EQ(out[1], 0);
    out[0] = 3;
    EXPECT_EQ(lastPickedPosition(sc.s, hit, 3, out), PickedPosition::NotWritten);
    EXPECT_EQ(out[0], 3);
}

TEST(Picks, CollisionListsAndText) {
    Scene sc;
    int32_t a = sc.object(1);
    int32_t group = slotNewGroup(sc.s);
    int32_t b = sc.object(2), c = sc.object(3), hidden = sc.object(4);
    int32_t inner = slotNewGroup(sc.s);
    int32_t d = sc.object(5);
    slotAddChild(sc.s, group, b);
    slotAddChild(sc.s, group, inner);
    slotAddChild(sc.s, inner, d);
    slotAddChild(sc.s, group, hidden);
    sc.s.slots[size_t(hidden)].visible = false;

    EXPECT_EQ(collisionSubjects(sc.s, a), std::vector<ScnNode*>{fakeNode(1)});
    EXPECT_EQ(collisionSubjects(sc.s, group), (std::vector<ScnNode*>{fakeNode(2), fakeNode(5)}));
    EXPECT_TRUE(collisionSubjects(sc.s, 99).empty());
    EXPECT_TRUE(collisionSubjects(sc.s, -1).empty());

    ScnNode* roots[] = {fakeNode(1), fakeNode(2), fakeNode(3), fakeNode(5), nullptr};
    EXPECT_EQ(collisionObstacles(roots, collisionSubjects(sc.s, group)),
              (std::vector<ScnNode*>{fakeNode(1), fakeNode(3)}));
    EXPECT_TRUE(collisionObstacles(nullptr, {}).empty());

    ScnNode* hits[] = {fakeNode(3), fakeNode(9), fakeNode(1), nullptr};
    EXPECT_EQ(slotsOfNodes(sc.s, hits), (std::vector<int32_t>{c, a}));

    EXPECT_FALSE(idListText({}).has_value());
    EXPECT_EQ(*idListText({3, 12}), "3,12");
    EXPECT_EQ(*idListText({7}), "7");
    EXPECT_EQ(*idListText({-1, 2147483647}), "-1,2147483647");
}

TEST(Picks, SmallServices) {
    EXPECT_TRUE(ownLightsOn(31));
    EXPECT_TRUE(ownLightsOn(16));
    EXPECT_FALSE(ownLightsOn(15));
    EXPECT_FALSE(ownLightsOn(0x1000F));
    EXPECT_FALSE(rotateAllowed(1));
    EXPECT_TRUE(rotateAllowed(2));

    Scene sc;
    sc.object(1);
    const int32_t b = sc.object(2);
    EXPECT_EQ(firstAnimatedSlot(sc.s), -1);
    sc.s.slots[size_t(b)].hasAnimation = true;
    EXPECT_EQ(firstAnimatedSlot(sc.s), b);
    EXPECT_EQ(triangleStatistic(10, 3), 16u);
    EXPECT_EQ(triangleStatistic(UINT32_MAX, 1), UINT32_MAX);
}

namespace {
bool isReady = false;
QivControlState* hostState = nullptr;
std::string loadedName;
bool readyHook(void*) { return isReady; }
const QivControlState* stateHook(void*) { return hostState; }
int32_t loadHook(void*, const std::string& name, uint32_t) {
    loadedName = name;
    return name == "missing" ? -1 : 4;
}
std::string ansi(const wchar_t* w) {
    std::string s;
    for (; *w; ++w) s += char(*w);
    return s;
}
}  // namespace

TEST(Picks, HostServicesNeedTheBackEnd) {
    Scene sc;
    int32_t a = sc.object(1);
    hostState = &sc.s;
    HostServicesContext ctx;
    ctx.hooks.ready = readyHook;
    ctx.hooks.state = stateHook;
    ctx.hooks.loadObjectFile = loadHook;
    ctx.hooks.toAnsi = ansi;
    QivHostServices t = makeHostServices(&ctx);

    isReady = false;
    EXPECT_EQ(t.allocate(t.context, 16), nullptr);
    EXPECT_EQ(t.loadObjectFile(t.context, L"a.pel", 1), -1);
    ScnNode* node = fakeNode(7);
    EXPECT_EQ(t.slotNode(t.context, a, &node), 0);
    EXPECT_EQ(t.sceneRoots(t.context), nullptr);
    uint32_t id = t.nextPictureId(t.context);
    EXPECT_EQ(t.nextPictureId(t.context), id + 1);

    isReady = true;
    void* p = t.allocate(t.context, 16);
    ASSERT_NE(p, nullptr);
    p = t.resize(t.context, p, 64);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(t.free(t.context, p), 1);
    EXPECT_EQ(t.loadObjectFile(t.context, L"obj.pel", 1), 4);
    EXPECT_EQ(loadedName, "obj.pel");
    EXPECT_EQ(t.loadObjectFile(t.context, L"missing", 1), -1);
    EXPECT_EQ(t.loadObjectFile(t.context, nullptr, 1), -1);
    EXPECT_EQ(t.slotNode(t.context, a, &node), 1);
    EXPECT_EQ(node, fakeNode(1));
    EXPECT_EQ(t.slotNode(t.context, 5, &node), 0);
    EXPECT_EQ(node, nullptr);
    EXPECT_EQ(t.slotNode(t.context, a, nullptr), 0);
    hostState = nullptr;
}

namespace {
int switched = 0, lastValue = -1;
int recordSwitch(ScnNode*, int32_t v) {
    ++switched;
    lastValue = v;
    return 1;
}
}  // namespace

TEST(Picks, OwnLightsOfEveryLoadedObject) {
    Scene sc;
    sc.object(1);
    sc.object(2);
    slotNewGroup(sc.s);
    EXPECT_EQ(applyOwnLights(sc.s, 15, recordSwitch), 2);
    EXPECT_EQ(lastValue, 0);
    EXPECT_EQ(applyOwnLights(sc.s, 31, recordSwitch), 2);
    EXPECT_EQ(lastValue, 1);
    EXPECT_EQ(switched, 4);
}

TEST(Picks, CollidingObjectsFromTheEngine) {
    namespace fs = std::filesystem;
    fs::path file = fs::temp_directory_path() /
                    ("qivctl_picks_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".pel");
    pelb::writeFile(file, pelb::build(pelb::sample()));
    PelContent* content = nullptr;
    PelFileInfo info;
    size_t bytes;
    ASSERT_EQ(pelLoad(file.string().c_str(), nullptr, nullptr, &info, &content, &bytes), 1);
    fs::remove(file);

    Scene sc;
    Mat4 far;
    mtxMakeTranslation(1000, 0, 0, &far);
    ScnNode* nodes[4] = {};
    const Mat4* bases[4] = {nullptr, nullptr, &far, nullptr};
    int32_t ids[4];
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(scnCreateObjectNode(content, 0, nullptr, uint32_t(i), 0, nullptr, 0, bases[i], &nodes[i]), 1);
        ids[i] = slotAllocate(sc.s);
        sc.s.slots[size_t(ids[i])].node = nodes[i];
    }
    // 0, 1 and 3 lie in one place, 2 far away.
    ScnNode* roots[] = {nodes[0], nodes[1], nodes[2], nodes[3], nullptr};
    EXPECT_EQ(collidingObjects(sc.s, roots, ids[0]), (std::vector<int32_t>{ids[1], ids[3]}));
    EXPECT_TRUE(collidingObjects(sc.s, roots, ids[2]).empty());
    EXPECT_EQ(*idListText(collidingObjects(sc.s, roots, ids[3])), std::to_string(ids[0]) + "," + std::to_string(ids[1]));
    EXPECT_TRUE(collidingObjects(sc.s, roots, 42).empty());
    // A group's members are not obstacles of their own group.
    int32_t group = slotNewGroup(sc.s);
    slotAddChild(sc.s, group, ids[0]);
    slotAddChild(sc.s, group, ids[1]);
    EXPECT_EQ(collidingObjects(sc.s, roots, group), std::vector<int32_t>{ids[3]});

    for (int i = 0; i < 4; ++i) {
        sc.s.slots[size_t(ids[i])].node = nullptr;
        scnNodeFree(&nodes[i], nullptr);
    }
    pelFreeObject(&content);
}

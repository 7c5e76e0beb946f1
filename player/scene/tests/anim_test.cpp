#include "scene/anim.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "scene/engine.h"
#include "scene/scene.h"

namespace {

struct KeyDef {
    float time;
    std::vector<float> value;
    uint32_t flags = 0;
    float tension = 0, continuity = 0, bias = 0;
    std::vector<float> in = {}, out = {};
};

// An owning list over test keys: one key array and one value block, as the reader makes them.
AnimList* makeList(uint32_t dim, const std::vector<KeyDef>& defs, uint32_t before = 0, uint32_t after = 0,
                   uint32_t interpolation = 0) {
    const size_t n = defs.size();
    auto* keys = static_cast<AnimKey*>(memAllocZ(n * sizeof(AnimKey)));
    auto* block = static_cast<float*>(memAllocZ(n * 3 * dim * sizeof(float)));
    for (size_t i = 0; i < n; ++i) {
        AnimKey& k = keys[i];
        k.value = block + 3 * dim * i;
        k.inTangent = k.value + dim;
        k.outTangent = k.value + 2 * dim;
        k.time = defs[i].time;
        k.flags = defs[i].flags;
        k.tension = defs[i].tension, k.continuity = defs[i].continuity, k.bias = defs[i].bias;
        for (uint32_t c = 0; c < dim; ++c) {
            k.value[c] = defs[i].value[c];
            if (!defs[i].in.empty()) k.inTangent[c] = defs[i].in[c], k.outTangent[c] = defs[i].out[c];
        }
    }
    EXPECT_EQ(animTangentsCompute(uint32_t(n), dim, keys), 1);
    AnimListRange r{keys[0].time, keys[n - 1].time, before, after,
                    keys[0].time, keys[n - 1].time, before, after, interpolation};
    AnimList* list = nullptr;
    EXPECT_EQ(animListCreate(uint32_t(n), dim, keys, 1, &r, &list), 1);
    return list;
}

// Scalar keys 0, 1, 3 at times 0, 1, 2 (default tangents: 0.5, 1.5, 1.0).
AnimList* scalarList(uint32_t before, uint32_t after, std::vector<float> times = {0, 1, 2}) {
    return makeList(1, {{times[0], {0}}, {times[1], {1}}, {times[2], {3}}}, before, after);
}

float eval1(AnimList* l, float t) {
    float v = -999.0f;
    EXPECT_EQ(animListEval(l, t, &v), 1);
    return v;
}

AnimDesc window(float start, float end, uint32_t before, uint32_t after) {
    AnimDesc d{};
    d.start = start, d.end = end, d.beforeMode = before, d.afterMode = after;
    return d;
}

struct AnimTest : ::testing::Test {
    void SetUp() override { errReset(); }
    void TearDown() override { errReset(); }
};

TEST_F(AnimTest, KochanekBartelsTangents) {
    struct Case {
        const char* name;
        uint32_t flags;
        float tension, continuity, bias;
        float in, out;  // of the middle key: previous difference 1, next difference 2
    };
    const Case cases[] = {
        {"plain", 0, 0, 0, 0, 1.5f, 1.5f},
        {"tension", ANIM_KEY_TENSION, 0.5f, 0, 0, 0.75f, 0.75f},
        {"continuity", ANIM_KEY_CONTINUITY, 0, 0.5f, 0, 1.75f, 1.25f},
        {"bias", ANIM_KEY_BIAS, 0, 0, 0.5f, 1.25f, 1.25f},
        {"parameter without its flag", 0, 0.9f, 0.9f, 0.9f, 1.5f, 1.5f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KeyDef mid{1, {1}, c.flags, c.tension, c.continuity, c.bias};
        AnimList* l = makeList(1, {{0, {0}}, mid, {2, {3}}});
        EXPECT_FLOAT_EQ(l->keys[1].inTangent[0], c.in);
        EXPECT_FLOAT_EQ(l->keys[1].outTangent[0], c.out);
        EXPECT_FLOAT_EQ(l->keys[0].outTangent[0], 0.5f);  // first key: next difference only
        EXPECT_FLOAT_EQ(l->keys[2].inTangent[0], 1.0f);   // last key: previous difference only
        animListFree(&l);
    }
    // Given tangents are kept.
    AnimList* l = makeList(1, {{0, {0}}, {1, {1}, ANIM_KEY_TANGENTS, 0, 0, 0, {7}, {-7}}, {2, {3}}});
    EXPECT_EQ(l->keys[1].inTangent[0], 7.0f);
    EXPECT_EQ(l->keys[1].outTangent[0], -7.0f);
    animListFree(&l);

    AnimKey k{};
    EXPECT_EQ(animTangentsCompute(1, 6, &k), 0);
    EXPECT_EQ(animTangentsCompute(1, 3, nullptr), 0);
}

TEST_F(AnimTest, ListEvaluationAndRangeModes) {
    struct Case {
        const char* name;
        uint32_t before, after;
        float t, expected;
        std::vector<float> times = {0, 1, 2};
        bool useWindow = false;
        float ws = 0, we = 0;
    };
    const Case cases[] = {
        {"first key", 0, 0, 0.0f, 0.0f},
        {"hermite first interval", 0, 0, 0.5f, 0.375f},
        {"on a key", 0, 0, 1.0f, 1.0f},
        {"hermite second interval", 0, 0, 1.5f, 2.0625f},
        {"last key", 0, 0, 2.0f, 3.0f},
        {"hold before", 0, 0, -1.0f, 0.0f},
        {"hold after", 0, 0, 5.0f, 3.0f},
        {"linear before", ANIM_MODE_LINEAR, 0, -1.0f, -0.5f},
        {"linear after", 0, ANIM_MODE_LINEAR, 3.0f, 4.0f},
        {"repeat after", 0, ANIM_MODE_REPEAT, 2.5f, 0.375f},
        {"repeat E+L maps to S", 0, ANIM_MODE_REPEAT, 4.0f, 0.0f},
        {"repeat before", ANIM_MODE_REPEAT, 0, -0.5f, 2.0625f},
        {"ping-pong odd cycle runs back", 0, ANIM_MODE_PINGPONG, 2.5f, 2.0625f},
        {"ping-pong even cycle runs forward", 0, ANIM_MODE_PINGPONG, 4.5f, 0.375f},
        {"relative one cycle after", 0, ANIM_MODE_RELATIVE, 2.5f, 3.375f},
        {"relative one cycle before", ANIM_MODE_RELATIVE, 0, -0.5f, -0.9375f},
        {"loop into first interval", 0, ANIM_MODE_LOOP, 2.5f, 0.1875f},
        {"loop last interval", ANIM_MODE_LOOP, ANIM_MODE_LOOP, 1.5f, 2.25f},
        {"loop last key to first", ANIM_MODE_LOOP, ANIM_MODE_LOOP, 2.5f, 1.5625f, {0, 1, 2}, true, 0, 3},
        {"midpoint decided by after mode: hold", ANIM_MODE_LOOP, 0, 1.5f, 0.65625f, {0, 2, 3}},
        {"midpoint decided by after mode: loop", 0, ANIM_MODE_LOOP, 1.5f, 0.5859375f, {0, 2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AnimList* l = scalarList(c.before, c.after, c.times);
        if (c.useWindow) {
            AnimDesc d = window(c.ws, c.we, c.before, c.after);
            animListSetRange(l, &d);
        }
        EXPECT_NEAR(eval1(l, c.t), c.expected, 1e-5f);
        animListFree(&l);
    }
}

TEST_F(AnimTest, DegenerateListsAndWindows) {
    // One key: its value at every time, whatever the window.
    AnimList* one = makeList(2, {{4, {5, 6}}});
    AnimDesc d = window(10, 20, ANIM_MODE_REPEAT, ANIM_MODE_LINEAR);
    animListSetRange(one, &d);
    for (float t : {-100.0f, 4.0f, 15.0f, 1e9f}) {
        float v[2] = {};
        ASSERT_EQ(animListEval(one, t, v), 1);
        EXPECT_EQ(v[0], 5.0f);
        EXPECT_EQ(v[1], 6.0f);
    }
    animListFree(&one);

    // Two keys at one time: creation widens the empty window as a window set later would,
    // so the list evaluates (at the common time the last of the keys); in a wider window the
    // zero-length interval yields the earlier key, not a division by zero.
    AnimList* same = makeList(1, {{1, {2}}, {1, {7}}});
    EXPECT_GT(same->activeEnd, same->activeStart);
    EXPECT_EQ(eval1(same, 1.0f), 7.0f);
    d = window(0, 2, 0, 0);
    animListSetRange(same, &d);
    EXPECT_EQ(eval1(same, 0.5f), 2.0f);
    // An empty window (only reachable by writing the record) fails and leaves the output.
    same->activeEnd = same->activeStart;
    float v = 42.0f;
    EXPECT_EQ(animListEval(same, 1.0f, &v), 0);
    EXPECT_EQ(v, 42.0f);
    animListFree(&same);

    // A reversed range given at creation is normalised too.
    {
        AnimKey keys[2]{};
        float values[6] = {0, 0, 0, 1, 0, 0};
        for (int i = 0; i < 2; ++i) {
            keys[i].value = values + 3 * i;
            keys[i].inTangent = keys[i].outTangent = values + 3 * i + 1;
            keys[i].time = float(i);
        }
        AnimListRange r{0, 1, 0, 0, 3, 1, 0, 0, 0};
        AnimList* rev = nullptr;
        ASSERT_EQ(animListCreate(2, 1, keys, 0, &r, &rev), 1);
        EXPECT_EQ(rev->activeStart, 3.0f);
        EXPECT_GT(rev->activeEnd, 3.0f);
        EXPECT_EQ(eval1(rev, 5.0f), 1.0f);  // hold after the window: the last key
        animListFree(&rev);
    }

    // An inverted window becomes a tiny one, never an empty one.
    AnimList* l = scalarList(0, 0);
    d = window(1, 1, 0, 0);
    animListSetRange(l, &d);
    EXPECT_GT(l->activeEnd, l->activeStart);
    // Hold before a sub-window yields the value at its start exactly.
    d = window(0.5f, 1.5f, 0, 0);
    animListSetRange(l, &d);
    EXPECT_EQ(eval1(l, 0.0f), l->valueAtStart[0]);
    EXPECT_NEAR(l->valueAtStart[0], 0.375f, 1e-6f);
    EXPECT_NEAR(l->valueAtEnd[0], 2.0625f, 1e-6f);
    // Back to the full range.
    animListSetRange(l, nullptr);
    EXPECT_EQ(l->activeStart, 0.0f);
    EXPECT_EQ(l->activeEnd, 2.0f);

    // Non-finite and huge times give a result without trapping or hanging.
    AnimDesc rep = window(0, 2, ANIM_MODE_PINGPONG, ANIM_MODE_RELATIVE);
    animListSetRange(l, &rep);
    for (float t : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                    -std::numeric_limits<float>::infinity(), 1e30f, -1e30f})
        animListEval(l, t, &v);
    animListFree(&l);

    AnimList* none = nullptr;
    EXPECT_EQ(animListEval(none, 0, &v), 0);
    AnimKey k{};
    EXPECT_EQ(animListCreate(1, 6, &k, 1, nullptr, &none), 0);
    EXPECT_EQ(none, nullptr);
}

TEST_F(AnimTest, QuaternionAndSphericalInterpolation) {
    const float h = std::sqrt(0.5f);
    // The second key is the negated 90 degree z rotation: interpolation takes the short way.
    AnimList* q = makeList(4, {{0, {0, 0, 0, 1}}, {1, {0, 0, -h, -h}}}, 0, 0,
                           ANIM_INTERP_QUAT | ANIM_INTERP_SPHERICAL);
    float v[4];
    ASSERT_EQ(animListEval(q, 0.5f, v), 1);
    EXPECT_NEAR(v[0], 0.0f, 1e-6f);
    EXPECT_NEAR(v[2], 0.38268343f, 1e-5f);
    EXPECT_NEAR(v[3], 0.92387953f, 1e-5f);
    EXPECT_EQ(q->keys[1].value[2], -h);  // the stored key keeps its sign
    EXPECT_EQ(q->keys[1].value[3], -h);
    ASSERT_EQ(animListEval(q, 0.5f, v), 1);  // and a second evaluation agrees
    EXPECT_NEAR(v[3], 0.92387953f, 1e-5f);
    animListFree(&q);

    // A turn-angle difference of one whole turn runs through the extra turn.
    AnimList* s = makeList(5, {{0, {0, 0, 0, 1, 0}}, {1, {0, 0, h, h, 6.3f + 0.1f}}}, 0, 0, ANIM_INTERP_SPHERICAL);
    float w[5] = {0, 0, 0, 0, 77};
    ASSERT_EQ(animListEval(s, 0.5f, w), 1);
    EXPECT_NEAR(w[2], -0.38268343f, 1e-4f);
    EXPECT_NEAR(w[3], -0.92387953f, 1e-4f);
    EXPECT_EQ(w[4], 77.0f);  // the fifth component is left alone
    animListFree(&s);

    // Identical keys: no angle to interpolate over; the Hermite step gives the key, not NaN.
    AnimList* same = makeList(4, {{0, {0, 0, h, h}}, {1, {0, 0, h, h}}}, 0, 0, ANIM_INTERP_SPHERICAL);
    ASSERT_EQ(animListEval(same, 0.3f, v), 1);
    EXPECT_NEAR(v[2], h, 1e-6f);
    EXPECT_NEAR(v[3], h, 1e-6f);
    animListFree(&same);

    // A spherical flag on a list too short for quaternions reads nothing beyond it.
    AnimList* shortList = makeList(2, {{0, {0, 1}}, {1, {1, 0}}}, 0, 0, ANIM_INTERP_QUAT | ANIM_INTERP_SPHERICAL);
    EXPECT_EQ(animListEval(shortList, 0.5f, v), 1);
    animListFree(&shortList);
}

TEST_F(AnimTest, DerivativeOnRequest) {
    AnimList* l = makeList(3, {{0, {0, 0, 0}}, {1, {1, 0, 0}}});
    float v[3], d[3];
    ASSERT_EQ(animListEvalWithDerivative(l, 0.5f, v, d), 1);
    EXPECT_NEAR(v[0], 0.5f, 1e-6f);
    EXPECT_NEAR(d[0], 1.25f, 1e-6f);
    EXPECT_NEAR(d[1], 0.0f, 1e-6f);
    ASSERT_EQ(animListEvalWithDerivative(l, -1.0f, v, d), 1);  // before the window: the edge tangent
    EXPECT_NEAR(d[0], 0.5f, 1e-6f);
    animListFree(&l);
    AnimList* empty = nullptr;
    d[0] = 9, d[1] = 9, d[2] = 9;
    EXPECT_EQ(animListEvalWithDerivative(empty, 0.0f, v, d), 0);
    EXPECT_EQ(d[0], 1.0f);
    EXPECT_EQ(d[1], 0.0f);
    EXPECT_EQ(d[2], 0.0f);
}

void expectPoint(const Mat4& m, Vec3 p, Vec3 expected) {
    Vec3 o;
    mtxTransformPoint(&p, &o, &m);
    EXPECT_NEAR(o.x, expected.x, 1e-5f);
    EXPECT_NEAR(o.y, expected.y, 1e-5f);
    EXPECT_NEAR(o.z, expected.z, 1e-5f);
}

AnimTrack partTrack() {
    AnimTrack t{};
    mtxIdentity(&t.preMatrix);
    mtxIdentity(&t.postMatrix);
    t.lastTime = ANIM_TIME_UNSET;
    return t;
}

TEST_F(AnimTest, TrackScalesRotatesThenTranslatesAndFollowsParents) {
    const float h = std::sqrt(0.5f);
    AnimTrack parent = partTrack(), child = partTrack();
    parent.position = makeList(3, {{0, {1, 0, 0}}});
    child.position = makeList(3, {{0, {0, 2, 0}}});
    child.rotation = makeList(4, {{0, {0, 0, h, h}}}, 0, 0, ANIM_INTERP_QUAT);
    child.scale = makeList(3, {{0, {2, 1, 1}}});
    child.parent = &parent;
    child.pivot[0] = 1, child.pivot[1] = 1, child.pivot[2] = 1;
    mtxMakeTranslation(0, 0, 5, &child.postMatrix);

    // Expected local matrix: scale, then the quaternion's rotation, then the translation.
    Mat4 rot;
    Quat q{0, 0, h, h};
    mtxQuatToMatrix(&q, &rot);
    Vec3 scaled{2, 0, 0}, rotated;
    mtxTransformPoint(&scaled, &rotated, &rot);
    Vec3 centred{0, -1, -1}, turned;  // (1, 0, 0) minus the pivot, scaled by (2, 1, 1)
    mtxTransformPoint(&centred, &turned, &rot);

    Mat4 out;
    ASSERT_EQ(animTrackEval(&child, 0.0f, &out, nullptr), 1);
    // Point (1,0,0): minus pivot, local, parent's translation, post translation.
    expectPoint(out, {1, 0, 0}, {turned.x + 1, turned.y + 2, turned.z + 5});
    EXPECT_EQ(child.lastTime, 0.0f);
    EXPECT_EQ(parent.lastTime, 0.0f);  // the parent was brought to the same time
    expectPoint(child.localMatrix, {0, 0, 0}, {1, 2, 0});

    // The standalone kind yields the local matrix alone.
    child.kind = ANIM_TRACK_STANDALONE;
    child.lastTime = ANIM_TIME_UNSET;
    float extra[4] = {9, 9, 9, 9};
    ASSERT_EQ(animTrackEval(&child, 1.0f, &out, extra), 1);
    expectPoint(out, {1, 0, 0}, {rotated.x, rotated.y + 2, rotated.z});
    EXPECT_EQ(extra[0], 0.0f);  // no extra list: zeros
    EXPECT_EQ(extra[3], 0.0f);
    EXPECT_EQ(animTrackEval(nullptr, 0, &out, nullptr), 0);

    animTrackFreeLists(&parent);
    animTrackFreeLists(&child);
}

TEST_F(AnimTest, UnevaluableRotationAndScaleStandForIdentity) {
    AnimTrack t = partTrack();
    t.kind = ANIM_TRACK_STANDALONE;
    t.position = makeList(3, {{0, {1, 2, 3}}});
    t.rotation = makeList(4, {{0, {0, 0, 1, 0}}, {1, {0, 0, 0, 1}}}, 0, 0, ANIM_INTERP_QUAT);
    t.scale = makeList(3, {{0, {5, 5, 5}}, {1, {6, 6, 6}}});
    // Empty windows: neither list can be evaluated.
    t.rotation->activeEnd = t.rotation->activeStart;
    t.scale->activeEnd = t.scale->activeStart;
    Mat4 out;
    ASSERT_EQ(animTrackEvalMatrix(&t, 0.5f, &out), 1);
    expectPoint(out, {1, 1, 1}, {2, 3, 4});
    animTrackFreeLists(&t);
}

TEST_F(AnimTest, NewWindowInvalidatesTheCachedMatrix) {
    AnimTrack t = partTrack();
    t.position = makeList(3, {{0, {0, 0, 0}}, {1, {1, 0, 0}}, {2, {3, 0, 0}}});
    Mat4 a, b;
    animTrackEvalMatrix(&t, 1.5f, &a);
    AnimDesc d = window(0, 1, 0, 0);  // hold after 1: x = 1 at t = 1.5
    animTracksSetRange(1, &t, &d);
    animTrackEvalMatrix(&t, 1.5f, &b);
    EXPECT_NEAR(a.m[12], 2.0625f, 1e-5f);
    EXPECT_NEAR(b.m[12], 1.0f, 1e-5f);
    animTrackFreeLists(&t);
}

TEST_F(AnimTest, ParentCycleEndsAtAnyTime) {
    AnimTrack a = partTrack(), b = partTrack();
    a.parent = &b;
    b.parent = &a;
    a.position = makeList(3, {{0, {1, 0, 0}}, {1, {2, 0, 0}}});
    // The same keys without a parent give the local translation at 0.25.
    AnimTrack alone = partTrack();
    alone.position = makeList(3, {{0, {1, 0, 0}}, {1, {2, 0, 0}}});
    Mat4 local;
    ASSERT_EQ(animTrackEvalMatrix(&alone, 0.25f, &local), 1);
    const float x = local.m[12];
    ASSERT_GT(x, 1.0f);
    ASSERT_LT(x, 2.0f);

    // Once round the cycle: b (no keys) takes a's local matrix, a then takes b's again, and
    // the evaluation stops where it started.
    Mat4 out;
    ASSERT_EQ(animTrackEvalMatrix(&a, 0.25f, &out), 1);
    EXPECT_FLOAT_EQ(out.m[12], 2.0f * x);
    EXPECT_FLOAT_EQ(out.m[13], 0.0f);
    Mat4 fromB;
    ASSERT_EQ(animTrackEvalMatrix(&b, 0.25f, &fromB), 1);  // evaluated on the way: kept
    EXPECT_FLOAT_EQ(fromB.m[12], x);
    ASSERT_EQ(animTrackEvalMatrix(&a, 0.25f, &out), 1);  // kept as well
    EXPECT_FLOAT_EQ(out.m[12], 2.0f * x);
    // A time that never equals the kept one (NaN) still ends after a bounded walk.
    EXPECT_EQ(animTrackEvalMatrix(&a, std::numeric_limits<float>::quiet_NaN(), &out), 1);
    animTrackFreeLists(&a);
    animTrackFreeLists(&alone);
}

TEST_F(AnimTest, FollowPathTurnsAlongTheDerivative) {
    AnimTrack* t = nullptr;
    // Heading offset from the first key's tangent along +x; then the path turns to +y.
    AnimKey k{};
    float v[3];
    const float pts[3][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}};
    Mat4 frames[2];
    mtxIdentity(&frames[0]);
    mtxIdentity(&frames[1]);
    frames[1].m[12] = 1;
    ASSERT_EQ(animTrackFromFrames(2, frames, nullptr, 1.0f, &t), 1);
    for (int i = 0; i < 3; ++i) {
        std::memcpy(v, pts[i], sizeof v);
        k.value = v;
        k.time = float(i);
        ASSERT_EQ(animTrackSetKey(t, ANIM_LIST_POSITION, &k), 1);
    }
    EXPECT_NEAR(t->headingOffset, 0.0f, 1e-6f);
    Mat4 out;
    ASSERT_EQ(animTrackEvalFollowPath(t, 1.5f, &out, nullptr), 1);
    // Mid-way through the turn: position (1.0625, 0.5), derivative (-0.125, 1.25).
    const float heading = std::atan2(1.25f, -0.125f);
    expectPoint(out, {1, 0, 0}, {1.0625f + std::cos(heading), 0.5f + std::sin(heading), 0});
    // The plain evaluation does not turn.
    ASSERT_EQ(animTrackEval(t, 1.5f, &out, nullptr), 1);
    expectPoint(out, {1, 0, 0}, {2.0625f, 0.5f, 0});
    animTrackFree(&t);
}

TEST_F(AnimTest, FreeingReleasesAllListsAndSharedKeysOnce) {
    // Under the leak checker a list left behind fails the run.
    auto* holder = static_cast<AnimTrack*>(memAllocZ(sizeof(AnimTrack)));
    holder->position = makeList(3, {{0, {0, 0, 0}}, {1, {1, 1, 1}}});
    holder->rotation = makeList(4, {{0, {0, 0, 0, 1}}});
    holder->scale = makeList(3, {{0, {1, 1, 1}}});
    holder->extra = makeList(4, {{0, {1, 2, 3, 4}}, {2, {0, 0, 0, 0}}});
    EXPECT_EQ(animPartTrackFree(&holder), 1);
    EXPECT_EQ(holder, nullptr);
    EXPECT_EQ(animPartTrackFree(&holder), 1);
    EXPECT_EQ(animPartTrackFree(nullptr), 0);

    // Two lists over one key array: the second free releases the keys.
    AnimList* a = makeList(1, {{0, {0}}, {1, {1}}});
    AnimList* b = nullptr;
    ASSERT_EQ(animListCreate(a->keyCount, 1, a->keys, 1, nullptr, &b), 1);
    EXPECT_EQ(a->keys[0].refCount, 2u);
    AnimKey* keys = a->keys;
    EXPECT_EQ(animListFree(&a), 1);
    EXPECT_EQ(keys[0].refCount, 1u);
    EXPECT_EQ(eval1(b, 0.5f), 0.5f);
    EXPECT_EQ(animListFree(&b), 1);
    EXPECT_EQ(animListFree(&b), 1);

    // A part track is not standalone: the standalone free refuses it.
    AnimTrack* part = static_cast<AnimTrack*>(memAllocZ(sizeof(AnimTrack)));
    EXPECT_EQ(animTrackFree(&part), 0);
    EXPECT_NE(part, nullptr);
    animPartTrackFree(&part);
}

// ---- Editing -----------------------------------------------------------------

AnimTrack* emptyStandalone() {
    Mat4 f[2];
    mtxIdentity(&f[0]);
    mtxIdentity(&f[1]);
    AnimTrack* t = nullptr;
    EXPECT_EQ(animTrackFromFrames(2, f, nullptr, 1.0f, &t), 1);
    return t;
}

void setPos(AnimTrack* t, float time, float x) {
    float v[3] = {x, 0, 0};
    AnimKey k{};
    k.value = v;
    k.time = time;
    ASSERT_EQ(animTrackSetKey(t, ANIM_LIST_POSITION, &k), 1);
}

TEST_F(AnimTest, SetDeleteAndMoveKeys) {
    AnimTrack* t = emptyStandalone();
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->position, nullptr);  // constant frames store no keys
    setPos(t, 0, 0);
    setPos(t, 1, 1);
    setPos(t, 1.005f, 5);  // replaces the key at 1
    ASSERT_EQ(t->position->keyCount, 2u);
    EXPECT_EQ(t->position->keys[1].value[0], 5.0f);
    setPos(t, 1.02f, 6);  // a new key
    ASSERT_EQ(t->position->keyCount, 3u);
    setPos(t, 0.5f, 2);  // inserted in time order
    const float times[] = {0, 0.5f, 1.005f, 1.02f};
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(t->position->keys[i].time, times[i]);
    EXPECT_EQ(t->position->keys[0].refCount, 1u);
    EXPECT_EQ(t->position->endTime, 1.02f);
    EXPECT_EQ(t->position->activeEnd, 1.02f);

    ASSERT_EQ(animTrackMoveKey(t, ANIM_LIST_POSITION, 1, 2.0f), 1);
    EXPECT_EQ(t->position->keys[3].time, 2.0f);
    EXPECT_EQ(t->position->keys[3].value[0], 2.0f);
    EXPECT_EQ(animTrackMoveKey(t, ANIM_LIST_POSITION, 4, 0.0f), 0);

    ASSERT_EQ(animTrackDeleteKey(t, ANIM_LIST_POSITION, 99), 1);  // past the end: the last key
    EXPECT_EQ(t->position->keyCount, 3u);
    EXPECT_EQ(t->position->endTime, 1.02f);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(animTrackDeleteKey(t, ANIM_LIST_POSITION, 0), 1);
    EXPECT_EQ(t->position, nullptr);  // the last key took the list with it
    EXPECT_EQ(animTrackDeleteKey(t, ANIM_LIST_POSITION, 0), 0);

    // Refusals.
    float v[4] = {};
    AnimKey k{};
    k.value = v;
    EXPECT_EQ(animTrackSetKey(t, 4, &k), 0);
    k.flags = ANIM_KEY_TANGENTS;  // without tangents
    EXPECT_EQ(animTrackSetKey(t, 0, &k), 0);
    AnimTrack part = partTrack();
    k.flags = 0;
    EXPECT_EQ(animTrackSetKey(&part, 0, &k), 0);
    animTrackFree(&t);
}

TEST_F(AnimTest, FramesBecomeSparseKeys) {
    const float h = std::sqrt(0.5f);
    Mat4 f[4];
    for (Mat4& m : f) mtxIdentity(&m);
    f[1].m[12] = 2;                     // moved at frame 1, then stays
    f[2].m[12] = 2;
    f[3].m[12] = 2;
    mtxMakeScale(2, 2, 2, &f[2]);       // scale 2 at frame 2 ...
    f[2].m[12] = 2;
    Quat q{0, 0, h, h};
    Mat4 r;
    mtxQuatToMatrix(&q, &r);
    r.m[12] = 2;
    f[3] = r;                           // ... back to 1 and rotated at frame 3
    const float extras[16] = {0, 0, 0, 0, 0.0005f, 0, 0, 0, 0.5f, 0, 0, 0, 0.5f, 0, 0, 2e-5f};
    AnimTrack* t = nullptr;
    ASSERT_EQ(animTrackFromFrames(4, f, extras, 2.0f, &t), 1);
    ASSERT_NE(t->position, nullptr);
    ASSERT_EQ(t->position->keyCount, 1u);
    EXPECT_EQ(t->position->keys[0].time, 0.5f);
    ASSERT_NE(t->scale, nullptr);
    ASSERT_EQ(t->scale->keyCount, 2u);  // to 2 and back to 1
    EXPECT_NEAR(t->scale->keys[1].value[0], 1.0f, 1e-6f);
    ASSERT_NE(t->rotation, nullptr);
    EXPECT_EQ(t->rotation->keyCount, 1u);
    EXPECT_EQ(t->rotation->dimension, 4u);
    EXPECT_EQ(t->rotation->interpolation, uint32_t(ANIM_INTERP_QUAT));
    ASSERT_NE(t->extra, nullptr);
    EXPECT_EQ(t->extra->keyCount, 2u);  // frame 2, and frame 3 by its fourth component
    EXPECT_EQ(t->kind, uint32_t(ANIM_TRACK_STANDALONE));
    animTrackFree(&t);

    EXPECT_EQ(animTrackFromFrames(1, f, nullptr, 1.0f, &t), 0);
    EXPECT_EQ(animTrackFromFrames(4, f, nullptr, 0.0f, &t), 0);
    EXPECT_EQ(animTrackFromFrames(4, f, nullptr, 2e8f, &t), 0);
    EXPECT_EQ(t, nullptr);
}

TEST_F(AnimTest, SamplesGiveATurnAngleAndASubAnimation) {
    Mat4 m[3];
    const float times[3] = {2, 0, 1};  // out of order
    for (int i = 0; i < 3; ++i) {
        Quat q;
        mtxQuatFromAxisAngle(0, 0, 1, 0.5f * float(i + 1), &q);
        mtxQuatToMatrix(&q, &m[i]);
    }
    AnimTrack* t = nullptr;
    ASSERT_EQ(animTrackFromSamples(3, m, times, nullptr, nullptr, nullptr, nullptr, &t), 1);
    EXPECT_EQ(t->kind, uint32_t(ANIM_TRACK_SAMPLED));
    ASSERT_NE(t->rotation, nullptr);
    EXPECT_EQ(t->rotation->dimension, 5u);
    EXPECT_EQ(t->rotation->interpolation, uint32_t(ANIM_INTERP_QUAT | ANIM_INTERP_SPHERICAL));
    ASSERT_EQ(t->rotation->keyCount, 3u);
    EXPECT_EQ(t->rotation->keys[0].time, 0.0f);
    for (uint32_t i = 0; i < 3; ++i) {
        const float* v = t->rotation->keys[i].value;
        float angle = 6.283185f - 2.0f * std::acos(v[3]);
        if (angle < 0) angle += 6.283185f;
        EXPECT_NEAR(v[4], angle, 1e-5f);
    }
    EXPECT_EQ(t->position, nullptr);
    EXPECT_EQ(t->scale, nullptr);

    AnimDesc d;
    ASSERT_EQ(animDescFromTrack(t, &d, nullptr), 1);
    EXPECT_STREQ(d.name, "Generated nameless subanimation");
    EXPECT_EQ(d.start, 0.0f);
    EXPECT_EQ(d.end, 2.0f);
    EXPECT_EQ(d.flags, uint32_t(ANIM_DESC_FROM_TRACK));
    const std::string longName(200, 'n');
    ASSERT_EQ(animDescFromTrack(t, &d, longName.c_str()), 1);
    EXPECT_EQ(std::strlen(d.name), 127u);

    AnimDesc derived;
    ASSERT_EQ(animDescDerive(0.5f, 1.0f, ANIM_MODE_LOOP, ANIM_MODE_PINGPONG, 1, &d, &derived), 1);
    EXPECT_EQ(derived.start, -0.5f);
    EXPECT_EQ(derived.end, 3.0f);
    EXPECT_EQ(derived.beforeMode, uint32_t(ANIM_MODE_LOOP));
    EXPECT_EQ(derived.flags, uint32_t(ANIM_DESC_FROM_TRACK | ANIM_DESC_REVERSED));
    EXPECT_EQ(derived.indices, nullptr);

    AnimTrack* standaloneTrack = emptyStandalone();
    EXPECT_EQ(animDescFromTrack(standaloneTrack, &d, nullptr), 0);
    animTrackFree(&standaloneTrack);
    animPartTrackFree(&t);

    const float equal[2] = {1, 1};
    EXPECT_EQ(animTrackFromSamples(2, m, equal, nullptr, nullptr, nullptr, nullptr, &t), 0);
}

TEST_F(AnimTest, RetimeRangesNearestKeysAndModes) {
    AnimTrack* t = emptyStandalone();
    setPos(t, 0, 0);
    setPos(t, 2, 1);
    float sv[3] = {1, 1, 1};
    AnimKey k{};
    k.value = sv;
    k.time = 4;
    ASSERT_EQ(animTrackSetKey(t, ANIM_LIST_SCALE, &k), 1);

    float s, e;
    uint32_t distinct;
    ASSERT_EQ(animTrackKeySpan(t, &s, &e, &distinct), 1);
    EXPECT_EQ(s, 0.0f);
    EXPECT_EQ(e, 4.0f);
    EXPECT_EQ(distinct, 3u);

    float times[4];
    int32_t idx[4];
    ASSERT_EQ(animTrackNearestKeys(t, 1.0f, times, idx), 1);  // a tie takes the later key
    EXPECT_EQ(idx[0], 1);
    EXPECT_EQ(times[0], 2.0f);
    EXPECT_EQ(idx[1], -1);
    EXPECT_EQ(times[1], 0.0f);
    EXPECT_EQ(idx[2], 0);

    ASSERT_EQ(animTrackRetime(t, 10, 20), 1);
    EXPECT_EQ(t->position->keys[1].time, 15.0f);
    EXPECT_EQ(t->scale->startTime, 20.0f);
    EXPECT_EQ(t->position->activeEnd, 15.0f);
    EXPECT_EQ(animTrackRetime(t, 5, 5), 0);

    uint32_t before[4], after[4];
    t->position->afterMode = ANIM_MODE_LOOP;
    ASSERT_EQ(animTrackGetModes(t, before, after), 1);
    EXPECT_EQ(after[0], uint32_t(ANIM_MODE_LOOP));
    EXPECT_EQ(after[1], 0u);

    AnimTrack* bare = emptyStandalone();
    ASSERT_EQ(animTrackTimeRange(bare, &s, &e), 1);
    EXPECT_EQ(s, 0.0f);
    EXPECT_EQ(e, 0.0f);
    EXPECT_EQ(animTrackRetime(bare, 0, 1), 0);  // no range to map from
    animTrackFree(&bare);
    animTrackFree(&t);
}

TEST_F(AnimTest, DecomposeAndRecordPose) {
    Mat4 m;
    mtxMakeScale(-2, 3, 4, &m);
    m.m[12] = 1, m.m[13] = 2, m.m[14] = 3;
    float tr[3], sc[3], q[4];
    ASSERT_EQ(animDecomposeMatrix(&m, tr, sc, q), 1);
    EXPECT_EQ(tr[2], 3.0f);
    EXPECT_FLOAT_EQ(sc[0], -2.0f);  // mirrored: the first scale takes the sign
    EXPECT_FLOAT_EQ(sc[1], 3.0f);
    EXPECT_NEAR(std::fabs(q[3]), 1.0f, 1e-6f);
    Mat4 zero{};
    zero.m[15] = 1;
    ASSERT_EQ(animDecomposeMatrix(&zero, tr, sc, q), 1);
    EXPECT_EQ(q[3], 1.0f);  // no rotation to read from a zero matrix
    EXPECT_FALSE(std::isnan(q[0]));

    AnimTrack* t = emptyStandalone();
    setPos(t, 0, 0);
    setPos(t, 1, 0);
    Mat4 target;
    mtxMakeTranslation(5, 0, 0, &target);
    const float basePos[3] = {1, 0, 0};
    ASSERT_EQ(animTrackRecordPose(t, &target, nullptr, 0, basePos, nullptr, nullptr, nullptr, 2.0f), 1);
    ASSERT_EQ(t->position->keyCount, 3u);
    EXPECT_EQ(t->position->keys[2].value[0], 4.0f);
    EXPECT_EQ(t->rotation, nullptr);  // unchanged channels get no list
    // A scaled target: the new scale list starts with an identity key at the track start.
    mtxMakeScale(2, 2, 2, &target);
    target.m[12] = 5;
    ASSERT_EQ(animTrackRecordPose(t, &target, nullptr, 0, basePos, nullptr, nullptr, nullptr, 3.0f), 1);
    ASSERT_NE(t->scale, nullptr);
    ASSERT_EQ(t->scale->keyCount, 2u);
    EXPECT_EQ(t->scale->keys[0].time, 0.0f);
    EXPECT_EQ(t->scale->keys[0].value[0], 1.0f);
    EXPECT_EQ(t->scale->keys[1].value[0], 2.0f);
    // The relative evaluation brings the recorded pose back.
    Mat4 out;
    ASSERT_EQ(animTrackEvalRelative(t, 3.0f, basePos, nullptr, nullptr, nullptr, 0, &out, nullptr), 1);
    expectPoint(out, {1, 0, 0}, {7, 0, 0});
    animTrackFree(&t);
}

// ---- Blocks ------------------------------------------------------------------

struct BlockWriter {
    std::vector<uint8_t> b;
    void u32(size_t at, uint32_t v) {
        if (b.size() < at + 4) b.resize(at + 4);
        for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
    }
    void f32(size_t at, float f) {
        uint32_t v;
        std::memcpy(&v, &f, 4);
        u32(at, v);
    }
};

// One track with a 2-key position list; the second key has given tangents.
std::vector<uint8_t> positionBlock() {
    BlockWriter w;
    const size_t rec = 108, keyArea = rec + 148 + 32, valueArea = keyArea + 12 + 12 + 4;
    w.u32(60, 0x41700000u);  // 15.0
    w.u32(64, 1);
    w.u32(76, 2);
    w.u32(80, 3 + 9);
    w.u32(88, rec);
    w.u32(92, keyArea);
    w.u32(96, keyArea);
    w.u32(100, valueArea);
    w.u32(104, valueArea + 48);
    for (int k = 0; k < 4; ++k) {  // identity pre- and post-matrix
        w.f32(rec + 4 * (5 * k), 1.0f);
        w.f32(rec + 64 + 4 * (5 * k), 1.0f);
    }
    w.u32(rec + 128, 1);
    w.f32(rec + 132, 0.5f);
    w.u32(rec + 144, 0xFFFFFFFFu);
    const size_t h = rec + 148;
    w.u32(h, 2);
    w.u32(h + 4, 3);
    w.u32(h + 8, keyArea);
    w.f32(h + 12, 0);
    w.f32(h + 16, 1);
    w.u32(h + 24, ANIM_MODE_REPEAT);
    w.u32(keyArea, 0);
    w.f32(keyArea + 4, 0);
    w.u32(keyArea + 8, ANIM_KEY_TENSION);
    w.f32(keyArea + 12, 0.25f);
    w.u32(keyArea + 16, 3);
    w.f32(keyArea + 20, 1);
    w.u32(keyArea + 24, ANIM_KEY_TANGENTS);
    const float values[12] = {0, 0, 0, 4, 0, 0, 1, 1, 1, 2, 2, 2};
    for (int i = 0; i < 12; ++i) w.f32(valueArea + 4 * i, values[i]);
    w.b.resize(valueArea + 48);
    return w.b;
}

TEST_F(AnimTest, TrackFromBlockAndRebuild) {
    std::vector<uint8_t> block = positionBlock();
    AnimTrack* t = nullptr;
    ASSERT_EQ(animTrackFromBlock(block.data(), block.size(), &t), 1);
    ASSERT_NE(t->position, nullptr);
    EXPECT_EQ(t->kind, uint32_t(ANIM_TRACK_STANDALONE));
    EXPECT_EQ(t->pivot[0], 0.5f);
    EXPECT_EQ(t->position->afterMode, uint32_t(ANIM_MODE_REPEAT));
    EXPECT_EQ(t->position->keys[0].tension, 0.25f);
    EXPECT_EQ(t->position->keys[1].inTangent[0], 1.0f);
    EXPECT_EQ(t->position->keys[1].outTangent[0], 2.0f);
    EXPECT_FLOAT_EQ(t->position->keys[0].outTangent[0], 0.375f * 4);  // 0.5 (1 - 0.25) x 4
    EXPECT_EQ(t->lastTime, ANIM_TIME_UNSET);

    AnimTrack* copy = nullptr;
    ASSERT_EQ(animTrackRebuild(t, &copy), 1);
    Mat4 a, b;
    for (float time : {-0.3f, 0.25f, 0.8f, 1.7f}) {
        animTrackEvalMatrix(t, time, &a);
        animTrackEvalMatrix(copy, time, &b);
        EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0) << time;
    }
    animTrackFree(&copy);
    animTrackFree(&t);

    struct Bad {
        const char* name;
        size_t at;
        uint32_t value;
        size_t size;  // 0: whole block
    };
    const Bad bad[] = {
        {"short header", 0, 0, 100},
        {"no track", 64, 0, 0},
        {"record outside", 88, 0xFFFFFF00u, 0},
        {"value area outside", 80, 0x40000000u, 0},
        {"key count too large", 108 + 148, 0x7FFFFFFFu, 0},
        {"dimension 6", 108 + 148 + 4, 6, 0},
        {"key entries outside", 108 + 148 + 8, 0xFFFFFFF0u, 0},
        {"value index outside", 108 + 148 + 32 + 16, 10, 0},
        {"truncated values", 0, 0, 108 + 148 + 32 + 28 + 20},
    };
    for (const Bad& c : bad) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> broken = positionBlock();
        if (c.at) {
            BlockWriter w{broken};
            w.u32(c.at, c.value);
            broken = w.b;
        }
        errReset();
        AnimTrack sentinel{};
        AnimTrack* out = &sentinel;
        EXPECT_EQ(animTrackFromBlock(broken.data(), c.size ? c.size : broken.size(), &out), 0);
        EXPECT_EQ(out, nullptr);
        uint32_t level = 0;
        ASSERT_EQ(errPop(&level, nullptr, nullptr, nullptr), 1);
        EXPECT_TRUE(level == ERR_FORMAT || level == ERR_LENGTH);
    }
}

// ---- Contents and nodes --------------------------------------------------------

struct AnimContent {
    PelContent content{};
    ScnNode node{};
    AnimTrack tracks[3];
    AnimDesc descs[2]{};
    AnimContent() {
        for (AnimTrack& t : tracks) {
            t = partTrack();
            t.position = makeList(1, {{0, {0}}, {1, {1}}, {2, {3}}});
        }
        content.tracks = tracks;
        content.trackCount = 3;
        content.descs = descs;
        content.descCount = 2;
        content.partCount = 3;
        descs[0] = window(0.5f, 1.5f, 0, 0);
        descs[0].firstTrack = tracks;
        descs[0].trackCount = 3;
        descs[1] = window(0.25f, 0.75f, 0, 0);
        descs[1].flags = ANIM_DESC_SUBRANGE;
        animDescSetTrackRange(&descs[1], 1, 1);
        node.content = &content;
        node.reqTime = 1.0f;
        content.firstNode = content.lastNode = &node;
        content.nodeCount = 1;
    }
    ~AnimContent() {
        for (AnimTrack& t : tracks) animTrackFreeLists(&t);
    }
    float start(int i) { return tracks[i].position->activeStart; }
};

TEST_F(AnimTest, SubAnimationSelection) {
    AnimContent a;
    animSetTime(&a.node, &a.descs[0]);
    EXPECT_EQ(a.node.desc, &a.descs[0]);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(a.start(i), 0.5f);

    // A sub-range descriptor moves only its tracks.
    ASSERT_EQ(animApplyDesc(&a.node, &a.descs[1], 0.0f), 1);
    EXPECT_EQ(a.start(0), 0.5f);
    EXPECT_EQ(a.start(1), 0.25f);
    EXPECT_EQ(a.start(2), 0.5f);

    // A sub-range beyond the tracks is cut to what exists.
    animDescSetTrackRange(&a.descs[1], 2, 100);
    ASSERT_EQ(animApplyDesc(&a.node, &a.descs[1], 0.0f), 1);
    EXPECT_EQ(a.start(2), 0.25f);

    // No descriptor: the full range everywhere.
    ASSERT_EQ(animApplyDesc(&a.node, nullptr, 0.0f), 1);
    EXPECT_EQ(a.node.desc, nullptr);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(a.start(i), 0.0f);

    // A descriptor of another content is refused and not kept.
    AnimDesc foreign = a.descs[0];
    foreign.firstTrack = nullptr;
    EXPECT_EQ(animApplyDesc(&a.node, &foreign, 0.0f), 0);
    EXPECT_EQ(a.node.desc, nullptr);
    foreign = a.descs[0];
    foreign.trackCount = 2;
    EXPECT_EQ(animApplyDesc(&a.node, &foreign, 0.0f), 0);
    EXPECT_EQ(animApplyDesc(nullptr, nullptr, 0.0f), 0);
    ScnNode empty{};
    EXPECT_EQ(animApplyDesc(&empty, nullptr, 0.0f), 0);
}

TEST_F(AnimTest, AnimationSummary) {
    AnimContent a;
    uint32_t tracks = 9, descs = 9;
    AnimDesc* list = nullptr;
    float rate = -1;
    ASSERT_EQ(animGetInfo(&a.content, &tracks, &descs, &list, &rate), 1);
    EXPECT_EQ(tracks, 3u);
    EXPECT_EQ(descs, 2u);
    EXPECT_EQ(list, a.descs);
    EXPECT_EQ(rate, 15.0f);
    a.content.frameRate = 30.0f;
    ASSERT_EQ(animGetInfo(&a.content, &tracks, &descs, &list, &rate), 1);
    EXPECT_EQ(rate, 30.0f);
    EXPECT_EQ(animGetInfo(&a.content, &tracks, &descs, nullptr, &rate), 0);
    EXPECT_EQ(tracks, 0u);
    EXPECT_EQ(rate, 0.0f);
    EXPECT_EQ(animGetInfo(nullptr, &tracks, &descs, &list, &rate), 0);
    EXPECT_EQ(list, nullptr);
}

TEST_F(AnimTest, ReplacingTracksDescsAndPartMap) {
    AnimContent a;
    a.content.frameRate = 30;
    a.node.desc = &a.descs[0];
    // The content's arrays are owned allocations from here on.
    a.content.tracks = static_cast<AnimTrack*>(memAllocZ(sizeof(AnimTrack)));
    a.content.trackCount = 1;
    a.content.tracks[0] = partTrack();
    a.content.tracks[0].position = makeList(1, {{0, {1}}});
    a.content.descs = static_cast<AnimDesc*>(memAllocZ(sizeof(AnimDesc)));
    a.content.descCount = 1;
    a.content.trackIndex = static_cast<uint32_t*>(memAllocZ(12));
    a.node.parts = static_cast<ScnPart*>(memAllocZ(3 * sizeof(ScnPart)));

    AnimTrack* parent = emptyStandalone();
    AnimTrack* child = emptyStandalone();
    setPos(child, 0, 2);
    child->parent = parent;
    child->kind = ANIM_TRACK_SAMPLED;
    child->pivot[1] = 7;
    AnimTrack* sources[2] = {parent, child};
    ASSERT_EQ(animSetTracks(&a.content, 2, sources), 1);
    EXPECT_EQ(a.content.trackCount, 3u);
    EXPECT_EQ(a.content.frameRate, 1.0f);
    EXPECT_EQ(a.content.descCount, 0u);
    EXPECT_EQ(a.content.trackIndex, nullptr);
    EXPECT_EQ(a.node.parts, nullptr);
    EXPECT_EQ(a.node.desc, nullptr);  // no dangling descriptor
    AnimTrack* t = a.content.tracks;
    EXPECT_EQ(t[1].parent, &t[0]);
    EXPECT_EQ(t[1].kind, uint32_t(ANIM_TRACK_SAMPLED));
    EXPECT_EQ(t[1].pivot[1], 7.0f);
    ASSERT_NE(t[1].position, nullptr);
    EXPECT_NE(t[1].position, child->position);
    EXPECT_EQ(t[2].position, nullptr);
    animTrackFree(&parent);
    child->kind = ANIM_TRACK_STANDALONE;
    animTrackFree(&child);

    AnimDesc src = window(0, 1, 0, 0);
    std::strcpy(src.name, "walk");
    uint32_t indices[2] = {5, 6};
    src.indices = indices;
    src.indexCount = 2;
    src.flags = ANIM_DESC_SUBRANGE;
    AnimDesc* srcs[1] = {&src};
    ASSERT_EQ(animSetDescs(&a.content, 1, srcs), 1);
    ASSERT_EQ(a.content.descCount, 1u);
    EXPECT_STREQ(a.content.descs[0].name, "walk");
    EXPECT_EQ(a.content.descs[0].flags, 0u);
    EXPECT_EQ(a.content.descs[0].firstTrack, a.content.tracks);
    EXPECT_EQ(a.content.descs[0].trackCount, 3u);
    ASSERT_NE(a.content.descs[0].indices, indices);
    EXPECT_EQ(a.content.descs[0].indices[1], 6u);

    const int32_t triples[] = {1, 0, -1, 2, 1, 0};
    ASSERT_EQ(animSetPartMap(&a.content, 2, triples), 1);
    EXPECT_EQ(a.content.trackIndex[0], 2u);  // unnamed parts map to the last track
    EXPECT_EQ(a.content.trackIndex[1], 0u);
    EXPECT_EQ(a.content.trackIndex[2], 1u);
    ASSERT_NE(a.content.partWords, nullptr);
    EXPECT_EQ(a.content.partWords[0], 0xFFFFFFFFu);
    EXPECT_EQ(a.content.partWords[2], 0u);
    const int32_t all[] = {-1, 1, -1};
    ASSERT_EQ(animSetPartMap(&a.content, 1, all), 1);
    EXPECT_EQ(a.content.trackIndex[0], 1u);
    struct BadMap {
        int32_t t[3];
    };
    for (BadMap b : {BadMap{{3, 0, -1}}, BadMap{{0, 3, -1}}, BadMap{{0, 0, 1}}})
        EXPECT_EQ(animSetPartMap(&a.content, 1, b.t), 0);

    for (uint32_t i = 0; i < a.content.trackCount; ++i) animTrackFreeLists(&a.content.tracks[i]);
    memFreeRefT(&a.content.tracks);
    memFreeRefT(&a.content.descs);
    memFreeRefT(&a.content.trackIndex);
    memFreeRefT(&a.content.partWords);
}

}  // namespace

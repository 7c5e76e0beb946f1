// Animation block: sizes and layout of built blocks, build -> parse round
// trips, blocks from the test-side builder, rejected blocks, and chunk 20 of
// object files driving scene nodes.
#include "scene/animblock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "render/light.h"
#include "render/tests/renderer_fixture.h"
#include "scene/anim.h"
#include "scene/engine.h"
#include "scene/pelfile.h"
#include "scene/scene.h"
#include "scene/tests/pel_builder.h"

namespace {

using pelb::Bytes;

struct KeyDef {
    float time;
    std::vector<float> value;
    uint32_t flags = 0;
    float params[5] = {};
    std::vector<float> in = {}, out = {};
};

// An owning list over test keys (one key array, one value block).
AnimList* makeList(uint32_t dim, const std::vector<KeyDef>& defs, uint32_t interpolation = 0, uint32_t before = 0,
                   uint32_t after = 0) {
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
        k.tension = defs[i].params[0], k.continuity = defs[i].params[1], k.bias = defs[i].params[2];
        k.easeTo = defs[i].params[3], k.easeFrom = defs[i].params[4];
        for (uint32_t c = 0; c < dim; ++c) {
            k.value[c] = defs[i].value[c];
            if (!defs[i].in.empty()) k.inTangent[c] = defs[i].in[c], k.outTangent[c] = defs[i].out[c];
        }
    }
    animTangentsCompute(uint32_t(n), dim, keys);
    AnimListRange r{keys[0].time, keys[n - 1].time, before, after,
                    keys[0].time, keys[n - 1].time, before, after, interpolation};
    AnimList* list = nullptr;
    EXPECT_EQ(animListCreate(uint32_t(n), dim, keys, 1, &r, &list), 1);
    return list;
}

AnimTrack* standalone() {
    auto* t = static_cast<AnimTrack*>(memAllocZ(sizeof(AnimTrack)));
    mtxIdentity(&t->preMatrix);
    mtxIdentity(&t->postMatrix);
    t->lastTime = ANIM_TIME_UNSET;
    t->kind = ANIM_TRACK_STANDALONE;
    return t;
}

uint32_t rd32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

struct Block {
    uint8_t* data = nullptr;
    uint32_t size = 0;
    ~Block() { animBlockFree(&data); }
    uint32_t at(uint32_t offset) const { return rd32(data + offset); }
};

struct AnimBlockTest : ::testing::Test {
    void SetUp() override {
        errReset();
        pelResetReader();
        ltReset();
        ltResetShading();
    }
    void TearDown() override {
        pelResetReader();
        ltReset();
        ltResetShading();
        errReset();
    }
};

TEST_F(AnimBlockTest, TwoKeyPositionTrackHasItsSize) {
    AnimTrack* t = standalone();
    t->position = makeList(3, {{0, {0, 0, 0}}, {1, {1, 2, 3}}});
    uint32_t size = 0;
    ASSERT_EQ(animBlockSize(t, &size), 1);
    EXPECT_EQ(size, 108u + 180u + 24u + 24u);
    Block b;
    ASSERT_EQ(animBlockBuild(t, &b.data, &b.size), 1);
    ASSERT_EQ(b.size, size);
    float rate;
    std::memcpy(&rate, b.data + 60, 4);
    EXPECT_EQ(rate, 15.0f);
    EXPECT_EQ(b.at(64), 1u);                // tracks
    EXPECT_EQ(b.at(76), 2u);                // key entries
    EXPECT_EQ(b.at(80), 6u);                // value words
    EXPECT_EQ(b.at(88), 108u);
    EXPECT_EQ(b.at(96), 108u + 180u);       // key area behind the record
    EXPECT_EQ(b.at(100), 108u + 180u + 24u);
    EXPECT_EQ(b.at(104), size);             // empty part map at the end
    EXPECT_EQ(b.at(108 + 144), 0xFFFFFFFFu);  // no parent
    EXPECT_EQ(b.at(108 + 148 + 8), 108u + 180u);
    EXPECT_EQ(b.at(108 + 180 + 12), 3u);      // second key's value index

    // Only standalone tracks, and every output given.
    t->kind = 0;
    EXPECT_EQ(animBlockSize(t, &size), 0);
    EXPECT_EQ(size, 0u);
    uint8_t* none = reinterpret_cast<uint8_t*>(&size);
    EXPECT_EQ(animBlockBuild(t, &none, &size), 0);
    EXPECT_EQ(none, nullptr);
    t->kind = ANIM_TRACK_STANDALONE;
    EXPECT_EQ(animBlockBuild(t, nullptr, &size), 0);
    animTrackFree(&t);
}

TEST_F(AnimBlockTest, KeyParametersFollowFlag32) {
    struct Case {
        const char* name;
        uint32_t flags;
        uint32_t keyBytes;     // of the first key's entry
        uint32_t valueWords;   // of both keys
        uint32_t storedFlags;  // first key's flags word in the block
    };
    const Case cases[] = {
        {"tension and bias", ANIM_KEY_TENSION | ANIM_KEY_BIAS, 20, 6, ANIM_KEY_TENSION | ANIM_KEY_BIAS},
        {"all five", 31, 32, 6, 31},
        // Stale parameter bits beside given tangents are left out of the block.
        {"given tangents", ANIM_KEY_TANGENTS | ANIM_KEY_TENSION | ANIM_KEY_BIAS, 12, 12, ANIM_KEY_TANGENTS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AnimTrack* t = standalone();
        KeyDef first{0, {1, 2, 3}, c.flags, {0.25f, 0.5f, -0.5f, 0.1f, 0.2f}, {7, 8, 9}, {-7, -8, -9}};
        t->position = makeList(3, {first, {2, {4, 4, 4}}});
        Block b;
        ASSERT_EQ(animBlockBuild(t, &b.data, &b.size), 1);
        const uint32_t keyArea = b.at(96);
        EXPECT_EQ(b.at(100) - keyArea, c.keyBytes + 12);
        EXPECT_EQ(b.at(80), c.valueWords);
        EXPECT_EQ(b.at(keyArea + 8), c.storedFlags);

        AnimTrack* back = nullptr;
        ASSERT_EQ(animTrackFromBlock(b.data, b.size, &back), 1);
        const AnimKey& k = back->position->keys[0];
        EXPECT_EQ(k.flags, c.storedFlags);
        EXPECT_EQ(std::memcmp(k.value, t->position->keys[0].value, 12), 0);
        EXPECT_EQ(std::memcmp(k.outTangent, t->position->keys[0].outTangent, 12), 0);
        if (!(c.flags & ANIM_KEY_TANGENTS)) {
            EXPECT_EQ(k.tension, 0.25f);
            EXPECT_EQ(k.bias, -0.5f);
        }
        // The second key follows its value index.
        EXPECT_EQ(back->position->keys[1].value[0], 4.0f);
        animTrackFree(&back);
        animTrackFree(&t);
    }
}

void expectSameMotion(AnimTrack* a, AnimTrack* b) {
    for (float time : {-0.7f, 0.0f, 0.3f, 1.0f, 1.6f, 2.0f, 3.4f}) {
        Mat4 ma, mb;
        float xa[4], xb[4];
        ASSERT_EQ(animTrackEval(a, time, &ma, xa), 1);
        ASSERT_EQ(animTrackEval(b, time, &mb, xb), 1);
        for (int i = 0; i < 16; ++i) EXPECT_NEAR(ma.m[i], mb.m[i], 1e-6f) << "time " << time << " element " << i;
        for (int i = 0; i < 4; ++i) EXPECT_NEAR(xa[i], xb[i], 1e-6f) << "time " << time;
    }
}

TEST_F(AnimBlockTest, BuildThenParseKeepsTheMotion) {
    const float h = std::sqrt(0.5f);
    AnimTrack* t = standalone();
    t->position = makeList(3, {{0, {0, 0, 0}}, {1, {1, 2, 0}, ANIM_KEY_TENSION | ANIM_KEY_CONTINUITY, {0.5f, -0.3f}},
                               {2, {3, 0, 1}}},
                           0, ANIM_MODE_LINEAR, ANIM_MODE_PINGPONG);
    t->rotation = makeList(5, {{0, {0, 0, 0, 1, 0}}, {2, {0, 0, h, h, 7.9f}}},
                           ANIM_INTERP_QUAT | ANIM_INTERP_SPHERICAL, 0, ANIM_MODE_REPEAT);
    t->scale = makeList(3, {{0, {1, 1, 1}}, {2, {2, 1, 0.5f}}});
    t->extra = makeList(4, {{0, {1, 2, 3, 4}, ANIM_KEY_TANGENTS, {}, {1, 1, 1, 1}, {0, 0, 0, 0}}, {2, {0, 0, 0, 0}}});
    t->pivot[2] = 3;
    mtxMakeTranslation(1, 1, 1, &t->preMatrix);

    AnimTrack* back = nullptr;
    ASSERT_EQ(animTrackRebuild(t, &back), 1);
    ASSERT_NE(back, t);
    EXPECT_EQ(back->pivot[2], 3.0f);
    EXPECT_EQ(back->preMatrix.m[12], 1.0f);
    EXPECT_EQ(back->rotation->dimension, 5u);
    EXPECT_EQ(back->rotation->interpolation, uint32_t(ANIM_INTERP_QUAT | ANIM_INTERP_SPHERICAL));
    EXPECT_EQ(back->position->beforeMode, uint32_t(ANIM_MODE_LINEAR));
    EXPECT_EQ(back->position->afterMode, uint32_t(ANIM_MODE_PINGPONG));
    expectSameMotion(t, back);

    // A second pass gives the same bytes: the block is the canonical form.
    Block first, second;
    ASSERT_EQ(animBlockBuild(t, &first.data, &first.size), 1);
    ASSERT_EQ(animBlockBuild(back, &second.data, &second.size), 1);
    ASSERT_EQ(first.size, second.size);
    EXPECT_EQ(std::memcmp(first.data, second.data, first.size), 0);
    animTrackFree(&back);
    animTrackFree(&t);
}

TEST_F(AnimBlockTest, SharedKeyArraysAreWrittenOnce) {
    AnimTrack* t = standalone();
    t->position = makeList(3, {{0, {1, 1, 1}}, {1, {2, 2, 2}}});
    AnimListRange r{0, 1, 0, 0, 0, 1, 0, 0, 0};
    ASSERT_EQ(animListCreate(2, 3, t->position->keys, 0, &r, &t->scale), 1);
    Block b;
    ASSERT_EQ(animBlockBuild(t, &b.data, &b.size), 1);
    EXPECT_EQ(b.at(76), 2u);
    EXPECT_EQ(b.size, 108u + 148u + 64u + 24u + 24u);
    EXPECT_EQ(b.at(108 + 148 + 8), b.at(108 + 148 + 32 + 8));
    AnimTrack* back = nullptr;
    ASSERT_EQ(animTrackFromBlock(b.data, b.size, &back), 1);
    ASSERT_NE(back->scale, nullptr);
    EXPECT_EQ(back->scale->keys[1].value[0], 2.0f);
    animTrackFree(&back);
    animListFree(&t->scale);
    animTrackFree(&t);
}

// Two tracks (the second a child of the first), two sub-animations, three parts.
pelb::AnimBlockDef twoTrackDef() {
    pelb::AnimBlockDef a;
    a.frameRate = 30;
    a.tracks.push_back(pelb::positionTrack({{0, 0, 0}, {4, 0, 0}}));
    a.tracks.push_back(pelb::positionTrack({{0, 1, 0}, {0, 3, 0}, {0, 1, 0}}, ANIM_MODE_REPEAT));
    a.tracks[1].parent = 0;
    // A key with given tangents and a stale tension bit: its parameter word is there, read by the bit.
    pelb::AnimKeyDef& k = a.tracks[1].lists[0].keys[1];
    k.flags = ANIM_KEY_TANGENTS | ANIM_KEY_TENSION;
    k.params[0] = 0.75f;
    k.in = {0, 5, 0};
    k.out = {0, 6, 0};
    pelb::AnimDescDef walk;
    walk.name = "walk";
    walk.start = 0.5f;
    walk.end = 1.5f;
    walk.after = ANIM_MODE_LOOP;
    walk.indices = {4, 5, 6};
    pelb::AnimDescDef arm;
    arm.name = "arm";
    arm.flags = ANIM_DESC_SUBRANGE;
    arm.words[0] = 1, arm.words[1] = 1;  // track 1 alone
    arm.words[2] = 1, arm.words[3] = 1;  // part 1 alone
    a.descs = {walk, arm};
    a.partMap = {0, 1, 1};
    return a;
}

TEST_F(AnimBlockTest, ParseReadsEveryArea) {
    Bytes bytes = pelb::animBlock(twoTrackDef());
    AnimBlockData d;
    const uint32_t parts = 4;  // one more than the map names: it takes the last track
    ASSERT_EQ(animBlockParse(bytes.data(), bytes.size(), &parts, &d), 1);
    EXPECT_EQ(d.frameRate, 30.0f);
    ASSERT_EQ(d.trackCount, 2u);
    EXPECT_EQ(d.tracks[0].parent, nullptr);
    EXPECT_EQ(d.tracks[1].parent, &d.tracks[0]);
    EXPECT_EQ(d.tracks[1].position->afterMode, uint32_t(ANIM_MODE_REPEAT));
    const AnimKey& k = d.tracks[1].position->keys[1];
    EXPECT_EQ(k.tension, 0.75f);
    EXPECT_EQ(k.inTangent[1], 5.0f);
    EXPECT_EQ(k.outTangent[1], 6.0f);
    EXPECT_EQ(d.tracks[1].position->keys[2].value[1], 1.0f);  // its value index lies behind the tangents
    ASSERT_EQ(d.descCount, 2u);
    EXPECT_STREQ(d.descs[0].name, "walk");
    EXPECT_EQ(d.descs[0].afterMode, uint32_t(ANIM_MODE_LOOP));
    EXPECT_EQ(d.descs[0].firstTrack, d.tracks);
    EXPECT_EQ(d.descs[0].trackCount, 2u);
    ASSERT_EQ(d.descs[0].indexCount, 3u);
    EXPECT_EQ(d.descs[0].indices[2], 6u);
    EXPECT_STREQ(d.descs[1].name, "arm");
    EXPECT_EQ(d.descs[1].firstTrack, d.tracks + 1);
    EXPECT_EQ(d.descs[1].trackCount, 1u);
    ASSERT_EQ(d.partCount, 4u);
    EXPECT_EQ(d.partMap[2], 1u);
    EXPECT_EQ(d.partMap[3], 1u);
    // The child moves with its parent: at time 1 (4, 0, 0) + (0, 3, 0).
    Mat4 m;
    ASSERT_EQ(animTrackEvalMatrix(&d.tracks[1], 1.0f, &m), 1);
    EXPECT_NEAR(m.m[12], 4.0f, 1e-6f);
    EXPECT_NEAR(m.m[13], 3.0f, 1e-6f);
    animBlockDataFree(&d);
    EXPECT_EQ(d.tracks, nullptr);

    // A block without tracks is an empty animation.
    pelb::AnimBlockDef empty;
    bytes = pelb::animBlock(empty);
    ASSERT_EQ(animBlockParse(bytes.data(), bytes.size(), nullptr, &d), 1);
    EXPECT_EQ(d.trackCount, 0u);
    EXPECT_EQ(d.tracks, nullptr);
}

// Offsets into the block of twoTrackDef().
constexpr size_t kRec0 = 108, kHead0 = kRec0 + 148, kRec1 = kHead0 + 32, kHead1 = kRec1 + 148;
constexpr size_t kDesc0 = kHead1 + 32, kDesc1 = kDesc0 + 148 + 12;

TEST_F(AnimBlockTest, InconsistentBlocksAreRejected) {
    struct Case {
        const char* name;
        std::function<void(Bytes&)> spoil;
        uint32_t level;
    };
    auto word = [](size_t at, uint32_t v) { return [=](Bytes& b) { pelb::set32(b, at, v); }; };
    const Case cases[] = {
        {"header cut", [](Bytes& b) { b.resize(100); }, ERR_LENGTH},
        {"track records past the end", word(88, 0xFFFFFF00u), ERR_FORMAT},
        {"track count beyond the block", word(64, 1000), ERR_FORMAT},
        {"sub-animations past the end", word(68, 50), ERR_FORMAT},
        {"index words beyond the block", word(72, 0x40000000u), ERR_FORMAT},
        {"index lists longer than declared", word(72, 2), ERR_FORMAT},
        {"index list past the end", word(kDesc0 + 128, 0x10000000u), ERR_FORMAT},
        {"key count beyond the block", word(76, 0x10000000u), ERR_FORMAT},
        {"value area past the end", word(80, 0x10000000u), ERR_FORMAT},
        {"part map past the end", word(84, 0x10000000u), ERR_FORMAT},
        {"part map entry", [](Bytes& b) { pelb::set32(b, b.size() - 4, 2); }, ERR_FORMAT},
        {"parent index", word(kRec1 + 144, 2), ERR_FORMAT},
        {"negative parent index", word(kRec1 + 144, 0xFFFFFFFEu), ERR_FORMAT},
        {"no keys", word(kHead0, 0), ERR_FORMAT},
        {"key count of a list", word(kHead0, 0x7FFFFFFFu), ERR_FORMAT},
        {"dimension beyond the reserved words", word(kHead0 + 4, 4), ERR_FORMAT},
        {"key entries past the end", word(kHead0 + 8, 0xFFFFFFF0u), ERR_FORMAT},
        {"value index", [](Bytes& b) { pelb::set32(b, pelb::get32(b, kHead0 + 8) + 12, 1000); }, ERR_FORMAT},
        {"sub-range tracks", word(kDesc1 + 115, 2), ERR_FORMAT},
        {"sub-range first track", word(kDesc1 + 111, 0xFFFFFFFFu), ERR_FORMAT},
        {"sub-range parts", word(kDesc1 + 123, 3), ERR_FORMAT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes b = pelb::animBlock(twoTrackDef());
        c.spoil(b);
        errReset();
        AnimBlockData d;
        const uint32_t parts = 3;
        EXPECT_EQ(animBlockParse(b.data(), b.size(), &parts, &d), 0);
        EXPECT_EQ(d.tracks, nullptr);
        EXPECT_EQ(d.descs, nullptr);
        uint32_t level = 99;
        ASSERT_EQ(errPop(&level, nullptr, nullptr, nullptr), 1);
        EXPECT_EQ(level, c.level);
    }
    // Lists may name the same key entries, but what they decode together stays within a
    // multiple of what the block holds: 81 lists of 400 shared keys are refused.
    for (int sharing : {1, 40}) {
        SCOPED_TRACE(sharing);
        std::vector<std::vector<float>> points(400, std::vector<float>{1, 2, 3});
        pelb::AnimBlockDef many;
        many.tracks.push_back(pelb::positionTrack(points));
        for (int i = 0; i < sharing; ++i) {
            pelb::AnimTrackDef t;
            for (int s = 0; s < 4; s += 2) {  // position and scale, both of dimension 3
                t.has[s] = true;
                t.lists[s] = many.tracks[0].lists[0];
                t.lists[s].sharedWith = 0;
            }
            many.tracks.push_back(t);
        }
        Bytes b = pelb::animBlock(many);
        AnimBlockData d;
        errReset();
        const int ok = animBlockParse(b.data(), b.size(), nullptr, &d);
        EXPECT_EQ(ok, sharing == 1 ? 1 : 0);
        if (ok) {
            EXPECT_EQ(d.tracks[1].scale->keys[399].value[2], 3.0f);
        } else {
            char message[500];
            ASSERT_EQ(errPop(nullptr, message, nullptr, nullptr), 1);
            EXPECT_NE(std::string(message).find("more keys"), std::string::npos) << message;
        }
        animBlockDataFree(&d);
    }

    // Every prefix of a good block is refused without reading past it.
    Bytes good = pelb::animBlock(twoTrackDef());
    for (size_t n = 0; n < good.size(); ++n) {
        Bytes prefix(good.begin(), good.begin() + long(n));
        AnimBlockData d;
        const uint32_t parts = 3;
        EXPECT_EQ(animBlockParse(prefix.data(), prefix.size(), &parts, &d), 0) << n;
    }
}

// ---- Chunk 20 of object files ------------------------------------------------------

struct Loaded {
    PelContent* c = nullptr;
    ScnNode* node = nullptr;
    explicit Loaded(const std::string& path) {
        PelFileInfo info{};
        size_t bytes = 0;
        EXPECT_EQ(pelLoad(path.c_str(), nullptr, nullptr, &info, &c, &bytes), 1);
    }
    ~Loaded() {
        if (node) scnNodeFree(&node, nullptr);
        if (c) pelFreeObject(&c);
    }
};

struct AnimChunk : AnimBlockTest {
    pelb::TempDir tmp{"animblock"};
    std::string write(const pelb::Object& o) {
        auto p = tmp / "anim.pel";
        pelb::writeFile(p, pelb::build(o));
        return p.string();
    }
};

TEST_F(AnimChunk, AnimatedObjectPlaysInTime) {
    pelb::Object o = pelb::sample();  // two parts; its text list names the sub-animations
    pelb::AnimBlockDef a = twoTrackDef();
    a.partMap = {1, 0};
    o.chunks.insert(o.chunks.begin(), {20, pelb::animBlock(a)});
    Loaded l(write(o));
    ASSERT_NE(l.c, nullptr);
    PelContent* c = l.c;
    ASSERT_EQ(c->trackCount, 2u);
    EXPECT_EQ(c->frameRate, 30.0f);
    ASSERT_EQ(c->descCount, 2u);
    EXPECT_EQ(c->trackIndex[0], 1u);
    EXPECT_EQ(c->trackIndex[1], 0u);
    EXPECT_EQ(c->partWords[1], 9u);  // the other chunks still applied

    ASSERT_EQ(scnNodeCreate(c, 0, nullptr, nullptr, nullptr, &l.node), 1);
    ScnNode* n = l.node;
    ASSERT_NE(n->parts, nullptr);
    EXPECT_EQ(n->parts[0].track, &c->tracks[1]);
    for (float t : {0.0f, 0.5f, 1.0f}) {
        SCOPED_TRACE(t);
        ASSERT_EQ(scnSetTime(n, t), 1);
        // Part 1 follows track 0: x runs 0 .. 4; part 0 adds track 1's y on top.
        const float x = 4.0f * t;
        EXPECT_NEAR(n->parts[1].world.m[12], x, 1e-5f);
        EXPECT_NEAR(n->parts[0].world.m[12], x, 1e-5f);
        EXPECT_NEAR(n->parts[1].world.m[13], 0.0f, 1e-5f);
    }
    EXPECT_NEAR(n->parts[0].world.m[13], 3.0f, 1e-5f);
    // The world box moves with the parts.
    EXPECT_GT(n->worldBox.max.x, 4.0f);

    // A sub-animation of the file: its window goes into its tracks.
    uint32_t tracks = 0, descs = 0;
    AnimDesc* list = nullptr;
    float rate = 0;
    ASSERT_EQ(animGetInfo(c, &tracks, &descs, &list, &rate), 1);
    EXPECT_EQ(rate, 30.0f);
    animSetTime(n, &list[0]);
    EXPECT_EQ(n->desc, &list[0]);
    EXPECT_EQ(c->tracks[0].position->activeStart, 0.5f);
    ASSERT_EQ(animApplyDesc(n, &list[1], 0.0f), 1);
    EXPECT_EQ(c->tracks[1].position->activeStart, 0.0f);
}

TEST_F(AnimChunk, ApplyReplacesOrKeepsTheAnimation) {
    pelb::Object o = pelb::sample();
    o.chunks.insert(o.chunks.begin(), {20, pelb::animBlock(twoTrackDef())});
    Loaded l(write(o));
    ASSERT_NE(l.c, nullptr);
    PelContent* c = l.c;
    ASSERT_EQ(scnNodeCreate(c, 0, nullptr, nullptr, nullptr, &l.node), 1);
    ScnNode* n = l.node;
    animSetTime(n, &c->descs[0]);
    const AnimTrack* before = c->tracks;

    // A bad block changes nothing.
    Bytes bad = pelb::animBlock(twoTrackDef());
    pelb::set32(bad, kRec1 + 144, 7);
    EXPECT_EQ(pelApplyChunk(c, 20, uint32_t(bad.size()), bad.data()), 0);
    EXPECT_EQ(c->tracks, before);
    EXPECT_EQ(n->desc, &c->descs[0]);

    // A new block replaces tracks, sub-animations and the node's parts.
    pelb::AnimBlockDef one;
    one.tracks.push_back(pelb::positionTrack({{0, 0, 5}, {0, 0, 9}}));
    one.partMap = {0, 0};
    Bytes b = pelb::animBlock(one);
    ASSERT_EQ(pelApplyChunk(c, 20, uint32_t(b.size()), b.data()), 1);
    EXPECT_EQ(c->trackCount, 1u);
    EXPECT_EQ(c->descCount, 0u);
    EXPECT_EQ(n->desc, nullptr);
    ASSERT_NE(n->parts, nullptr);
    EXPECT_EQ(n->parts[1].track, &c->tracks[0]);
    ASSERT_EQ(scnSetTime(n, 0.5f), 1);
    EXPECT_NEAR(n->parts[1].world.m[14], 7.0f, 1e-5f);

    // A block without tracks clears the animation.
    Bytes none = pelb::animBlock(pelb::AnimBlockDef{});
    ASSERT_EQ(pelApplyChunk(c, 20, uint32_t(none.size()), none.data()), 1);
    EXPECT_EQ(c->trackCount, 0u);
    EXPECT_EQ(c->tracks, nullptr);
    EXPECT_EQ(c->frameRate, 0.0f);
    EXPECT_EQ(n->parts == nullptr || n->parts[0].track == nullptr, true);
    ASSERT_EQ(scnSetTime(n, 1.0f), 1);
}

// A quad moved by the file's animation is drawn where its time puts it.
TEST_F(AnimChunk, AnimatedQuadIsDrawnWhereItsTimePutsIt) {
    resetRenderState();
    pelb::Object o;
    o.materials.resize(1);
    pelb::Part part;
    part.vertexCount = 4;
    part.faceCount = 1;
    o.parts = {part};
    o.faceNormals = {{0, 0, 1}};
    for (auto [x, y] : {std::pair{-1, -1}, {1, -1}, {1, 1}, {-1, 1}}) {
        pelb::Vertex v;
        v.x = float(x), v.y = float(y);
        o.vertices.push_back(v);
    }
    pelb::Face f;
    f.v[0] = 0, f.v[1] = 1, f.v[2] = 2, f.v[3] = 3;
    f.flags = 1;
    o.faces = {f};
    pelb::AnimBlockDef a;
    a.tracks.push_back(pelb::positionTrack({{0, 0, 0}, {4, 0, 0}}));
    a.partMap = {0};
    o.chunks.push_back({20, pelb::animBlock(a)});
    Loaded l(write(o));
    ASSERT_NE(l.c, nullptr);
    ASSERT_EQ(scnNodeCreate(l.c, 0, nullptr, nullptr, nullptr, &l.node), 1);
    CamRecord cam = testCamera(200, 150, {2, 0, 10}, {2, 0, 0}, {0, 1, 0});
    PicRecord* frame = nullptr;
    ASSERT_EQ(fzCreate(200, 150, 2, &frame), 1);
    auto leftmost = [&](float time) {
        scnSetTime(l.node, time);
        DrawRecorder rec;
        ScnRenderJob j{};
        j.node = l.node;
        j.camera = &cam;
        j.target = frame;
        j.kind = SCN_KIND_HIDDEN_BACK;
        EXPECT_EQ(scnRenderScene(&j), 1);
        float x = 1e9f;
        for (const RecordedTri& t : DrawRecorder::tris())
            for (const PelVertex* v : {t.a, t.b, t.c}) x = std::min(x, v->sx);
        EXPECT_FALSE(DrawRecorder::tris().empty());
        return x;
    };
    const float x0 = leftmost(0.0f), x1 = leftmost(0.5f), x2 = leftmost(1.0f);
    EXPECT_GT(x1, x0 + 10.0f);
    EXPECT_NEAR(x2 - x1, x1 - x0, 1.0f);  // two keys: Hermite with matching tangents runs evenly at the middle
    fzFree(&frame);
}

}  // namespace

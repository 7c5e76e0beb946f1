// Animation of saved objects: merged tracks, sub-animations and part maps read back through
// the reader after a save.
#include "scene/animwrite.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "render/fzbuffer.h"
#include "render/renderer.h"
#include "scene/engine.h"
#include "scene/material.h"
#include "scene/pelchunk.h"
#include "scene/pelfile.h"
#include "scene/tests/pel_builder.h"
#include "scene/tests/pelwrite_fixture.h"

namespace {

using pelb::Bytes;

// An animation of trackCount position tracks (keys at 0, 1, 2), with the given part map.
pelb::AnimBlockDef animation(uint32_t trackCount, float frameRate, std::vector<uint32_t> partMap) {
    pelb::AnimBlockDef a;
    a.frameRate = frameRate;
    for (uint32_t t = 0; t < trackCount; ++t) {
        pelb::AnimTrackDef track = pelb::positionTrack({{0, 0, 0}, {float(t), 1, 0}, {0, 2, float(t)}});
        if (t > 0 && t + 1 == trackCount) track.parent = 0;
        a.tracks.push_back(track);
    }
    a.partMap = std::move(partMap);
    return a;
}

pelb::AnimDescDef desc(const std::string& name, float start, float end, std::vector<uint32_t> indices = {}) {
    pelb::AnimDescDef d;
    d.name = name;
    d.start = start;
    d.end = end;
    d.indices = std::move(indices);
    return d;
}

class AnimWrite : public ::testing::Test {
protected:
    void SetUp() override {
        errReset();
        pelResetReader();
        pelResetLanguage();
        matReset();
        fzResetState();
        scnResetRenderer();
    }
    void TearDown() override { pelResetReader(); }
    std::string put(pelb::Object o, const pelb::AnimBlockDef* anim, const std::string& name,
                    std::vector<uint32_t> partWords = {}) {
        if (anim) o.chunks.push_back({PEL_CHUNK_ANIM, pelb::animBlock(*anim)});
        if (!partWords.empty()) o.chunks.push_back({PEL_CHUNK_PARTVALUES, pelb::u32List(partWords)});
        const auto p = tmp / name;
        pelb::writeFile(p, pelb::build(o));
        return p.string();
    }
    std::string path(const std::string& name) { return (tmp / name).string(); }
    pelb::TempDir tmp{"anim"};
};

std::vector<uint32_t> partMap(const PelContent* c) { return {c->trackIndex, c->trackIndex + c->partCount}; }
void trackRange(const AnimDesc& d, uint32_t* first, uint32_t* count, uint32_t* partFirst, uint32_t* partCount) {
    animDescGetTrackRange(&d, first, count);
    animDescGetPartRange(&d, partFirst, partCount);
}

TEST_F(AnimWrite, TwoAnimatedObjectsAreMerged) {
    // First object: 3 tracks at 30 frames per second; second: 2 tracks at 15 with per-part values.
    pelb::AnimBlockDef a = animation(3, 30, {0, 2});
    a.descs = {desc("walk", 0, 2, {0}), desc("run", 1, 2)};
    pelb::AnimBlockDef b = animation(2, 15, {1, 0});
    b.descs = {desc(std::string(120, 'n'), 0, 1, {0})};
    Loaded first(put(gridObject(2, 2), &a, "a.pel"));
    Loaded second(put(gridObject(2, 2), &b, "b.pel", {0, 5}));
    ASSERT_TRUE(first.ok && second.ok);
    ASSERT_EQ(first.c->trackCount, 3u);
    ASSERT_NE(second.c->partWords, nullptr);

    ScnNode* list[] = {first.node, second.node, nullptr};
    const std::string out = path("saved.pel");
    Vec3 centre{};
    ASSERT_EQ(pelSaveWithAnimation(0, out.c_str(), list, 0, nullptr, nullptr, nullptr, &centre, 15, 0, nullptr), 1);
    const Bytes file = pelb::readFile(out);
    EXPECT_EQ(pelb::get32(file, PEL_TOTAL_OFFSET), file.size());

    Loaded back(out);
    ASSERT_TRUE(back.ok);
    const PelContent* c = back.c;
    ASSERT_EQ(c->trackCount, 5u);  // every part has a track: no empty one
    EXPECT_EQ(c->frameRate, 15.0f);
    EXPECT_EQ(partMap(c), (std::vector<uint32_t>{0, 2, 4, 3}));
    // Parents stay with their object's tracks.
    EXPECT_EQ(c->tracks[2].parent, &c->tracks[0]);
    EXPECT_EQ(c->tracks[4].parent, &c->tracks[3]);
    // The first object's times are halved (30 to 15 frames per second), the second's kept.
    ASSERT_NE(c->tracks[1].position, nullptr);
    EXPECT_FLOAT_EQ(c->tracks[1].position->keys[2].time, 1.0f);
    EXPECT_FLOAT_EQ(c->tracks[1].position->endTime, 1.0f);
    EXPECT_FLOAT_EQ(c->tracks[3].position->keys[2].time, 2.0f);

    ASSERT_EQ(c->descCount, 3u);
    struct Expect {
        float start, end;
        uint32_t flags, first, count, partFirst, partCount;
    };
    const Expect expect[3] = {{0, 1, ANIM_DESC_FIRST | ANIM_DESC_SUBRANGE, 0, 3, 0, 2},
                              {0.5f, 1, ANIM_DESC_SUBRANGE, 0, 3, 0, 2},
                              {0, 1, ANIM_DESC_FIRST | ANIM_DESC_SUBRANGE, 3, 2, 2, 2}};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const AnimDesc& d = c->descs[i];
        EXPECT_FLOAT_EQ(d.start, expect[i].start);
        EXPECT_FLOAT_EQ(d.end, expect[i].end);
        EXPECT_EQ(d.flags, expect[i].flags);
        uint32_t first = 0, count = 0, pf = 0, pc = 0;
        trackRange(d, &first, &count, &pf, &pc);
        EXPECT_EQ(first, expect[i].first);
        EXPECT_EQ(count, expect[i].count);
        EXPECT_EQ(pf, expect[i].partFirst);
        EXPECT_EQ(pc, expect[i].partCount);
        EXPECT_EQ(d.firstTrack, c->tracks + expect[i].first);
    }
    EXPECT_STREQ(c->descs[0].name, "walk");
    EXPECT_EQ(std::string(c->descs[2].name), std::string(110, 'n'));
    // Index lists count from the first sub-animation of the object before.
    ASSERT_EQ(c->descs[2].indexCount, 1u);
    EXPECT_EQ(c->descs[2].indices[0], 0u);

    // Per-part values: none for the first object, the second's shifted past the first's sub-animations.
    ASSERT_NE(c->partWords, nullptr);
    EXPECT_EQ(std::vector<uint32_t>(c->partWords, c->partWords + 4),
              (std::vector<uint32_t>{0xFFFFFFFFu, 0xFFFFFFFFu, 2, 7}));
}

TEST_F(AnimWrite, UnanimatedObjectMapsToAnEmptyTrack) {
    pelb::AnimBlockDef a = animation(3, 15, {2, 1});
    a.descs = {desc("wave", 0, 2)};
    Loaded still(put(gridObject(2, 2), nullptr, "still.pel"));
    Loaded moving(put(gridObject(2, 2), &a, "moving.pel"));
    ASSERT_TRUE(still.ok && moving.ok);
    ScnNode* list[] = {still.node, moving.node, nullptr};
    const std::string out = path("saved.pel");
    ASSERT_EQ(pelSaveWithAnimation(0, out.c_str(), list, 0, nullptr, nullptr, nullptr, nullptr, 15, 0, nullptr), 1);
    Loaded back(out);
    ASSERT_TRUE(back.ok);
    ASSERT_EQ(back.c->trackCount, 4u);
    const AnimTrack& empty = back.c->tracks[3];
    EXPECT_EQ(empty.position, nullptr);
    EXPECT_EQ(empty.rotation, nullptr);
    EXPECT_EQ(empty.parent, nullptr);
    EXPECT_EQ(partMap(back.c), (std::vector<uint32_t>{3, 3, 2, 1}));
    ASSERT_EQ(back.c->descCount, 1u);
    uint32_t first = 0, count = 0, pf = 0, pc = 0;
    trackRange(back.c->descs[0], &first, &count, &pf, &pc);
    EXPECT_EQ(first, 0u);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(pf, 2u);
    EXPECT_EQ(pc, 2u);

    // Nothing animated at all: the file gets no animation.
    ScnNode* stillOnly[] = {still.node, nullptr};
    const std::string plain = path("plain.pel");
    ASSERT_EQ(pelSaveWithAnimation(0, plain.c_str(), stillOnly, 0, nullptr, nullptr, nullptr, nullptr, 15, 0, nullptr),
              1);
    Loaded none(plain);
    ASSERT_TRUE(none.ok);
    EXPECT_EQ(none.c->trackCount, 0u);
}

TEST_F(AnimWrite, OneObjectKeepsItsPartMapPerPart) {
    pelb::AnimBlockDef a = animation(2, 15, {1, 0});
    a.descs = {desc("turn", 0, 2), desc("back", 2, 0)};
    Loaded obj(put(gridObject(2, 2), &a, "obj.pel"));
    ASSERT_TRUE(obj.ok);
    for (int own = 0; own < 2; ++own) {
        SCOPED_TRACE(own);
        const std::string out = path("one.pel");
        Vec3 centre{};
        ASSERT_EQ(pelWriteFile(0, out.c_str(), obj.node, nullptr, &centre, 0, nullptr), 1);
        ASSERT_EQ(pelWriteObjectAnimation(out.c_str(), obj.node, own ? obj.c->descCount : 0,
                                          own ? obj.c->descs : nullptr, &centre, 15),
                  1);
        Loaded back(out);
        ASSERT_TRUE(back.ok);
        ASSERT_EQ(back.c->trackCount, 2u);
        EXPECT_EQ(partMap(back.c), (std::vector<uint32_t>{1, 0}));
        ASSERT_EQ(back.c->descCount, 2u);
        EXPECT_TRUE(back.c->descs[0].flags & ANIM_DESC_FIRST);
        EXPECT_FALSE(back.c->descs[1].flags & ANIM_DESC_FIRST);
        EXPECT_FLOAT_EQ(back.c->descs[1].start, 2.0f);
    }
}

TEST_F(AnimWrite, FailuresWriteNothing) {
    pelb::AnimBlockDef a = animation(2, 15, {1, 0});
    a.descs = {desc("turn", 0, 2), desc("back", 2, 0)};
    Loaded obj(put(gridObject(2, 2), &a, "obj.pel"));
    ASSERT_TRUE(obj.ok);
    const std::string out = path("one.pel");
    ASSERT_EQ(pelWriteFile(0, out.c_str(), obj.node, nullptr, nullptr, 0, nullptr), 1);
    const Bytes before = pelb::readFile(out);

    // Caller descriptors that name different track runs.
    std::vector<AnimDesc> descs(obj.c->descs, obj.c->descs + obj.c->descCount);
    descs[1].trackCount = 1;
    ScnNode* list[] = {obj.node, nullptr};
    EXPECT_EQ(pelWriteAnimation(out.c_str(), list, obj.c->trackIndex, 2, descs.data(), nullptr, 15), 0);
    // A part map naming a track beyond the run.
    descs[1].trackCount = 2;
    const uint32_t badMap[2] = {0, 2};
    EXPECT_EQ(pelWriteAnimation(out.c_str(), list, badMap, 2, descs.data(), nullptr, 15), 0);
    EXPECT_EQ(pelb::readFile(out), before);

    // The chunk cannot be written.
    EXPECT_EQ(pelWriteAnimation(path("missing.pel").c_str(), list, nullptr, 0, nullptr, nullptr, 15), 0);
    // Nothing to write.
    ScnNode* none[] = {nullptr};
    EXPECT_EQ(pelWriteAnimation(out.c_str(), none, nullptr, 0, nullptr, nullptr, 15), 1);
    EXPECT_EQ(pelWriteObjectAnimation(out.c_str(), nullptr, 0, nullptr, nullptr, 15), 1);
    EXPECT_EQ(pelb::readFile(out), before);
}

}  // namespace

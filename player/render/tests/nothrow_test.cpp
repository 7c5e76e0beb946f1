// No C++ exception leaves an engine function: every allocation of the standard library
// that an engine call makes is made to fail in turn, and the call must answer (0 with a
// level-1 report, or 1 when it could do without) instead of throwing.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "render/clipplane.h"
#include "render/fzbuffer.h"
#include "render/light.h"
#include "render/palette.h"
#include "render/raytrace.h"
#include "render/rtdriver.h"
#include "render/sample.h"
#include "scene/animwrite.h"
#include "scene/contentlist.h"
#include "scene/engine.h"
#include "scene/material.h"
#include "scene/meshprep.h"
#include "scene/pelchunk.h"
#include "scene/pelfile.h"
#include "scene/pelwrite.h"
#include "scene/picture.h"
#include "scene/qivstream.h"
#include "scene/scene.h"
#include "scene/tests/pel_builder.h"
#include "scene/tests/qivstream_encoder.h"
#include "scene/texture.h"

namespace {

std::atomic<bool> g_armed{false};
std::atomic<long> g_seen{0};
long g_failAt = -1;

void* allocate(std::size_t n) {
    if (g_armed.load() && g_seen.fetch_add(1) == g_failAt) throw std::bad_alloc();
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}

}  // namespace

// The test program's allocator: the failAt-th allocation while armed throws.
void* operator new(std::size_t n) { return allocate(n); }
void* operator new[](std::size_t n) { return allocate(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    try {
        return allocate(n);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    try {
        return allocate(n);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

bool levelOneQueued() {
    uint32_t level = 0;
    bool found = false;
    while (errPop(&level, nullptr, nullptr, nullptr)) found |= level == ERR_NOMEM;
    return found;
}

// Runs setup, then call with the n-th standard allocation failing, for n = 0, 1, ...
// until call makes no more allocations than n; teardown after each run.
template <class Setup, class Call, class Teardown>
void sweep(const char* what, Setup setup, Call call, Teardown teardown) {
    for (long n = 0; n < 100000; ++n) {
        setup();
        errReset();
        g_failAt = n;
        g_seen = 0;
        g_armed = true;
        int result = -1;
        bool threw = false;
        try {
            result = call();
        } catch (...) {
            threw = true;
        }
        g_armed = false;
        const bool failed = g_seen.load() > n;
        const bool reported = levelOneQueued();
        teardown();
        EXPECT_FALSE(threw) << what << ": an exception left the call at allocation " << n;
        if (threw) return;
        if (!failed) {
            EXPECT_NE(result, 0) << what << " fails with every allocation made";
            EXPECT_GT(n, 0) << what << " makes no allocation of the library: nothing was tried";
            return;
        }
        if (result == 0) EXPECT_TRUE(reported) << what << ": failure " << n << " answered 0 without level 1";
    }
}

class NoThrow : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    static void reset() {
        g_armed = false;
        errReset();
        ltReset();
        ltResetShading();
        clpReset();
        fzResetState();
        matReset();
        rtResetState();
        rtResetDriver();
        pelResetObjectList();
        pelResetReader();
        pelResetStream();
        pelResetLanguage();
    }
    std::string file(const char* name) { return (tmp / name).string(); }
    pelb::TempDir tmp{"nothrow"};
};

pelb::Object animatedSample() {
    pelb::Object o = pelb::sample();
    pelb::AnimBlockDef anim;
    anim.frameRate = 30;
    anim.tracks.push_back(pelb::positionTrack({{0, 0, 0}, {4, 0, 0}, {4, 2, 0}}, 1));
    anim.tracks.push_back(pelb::positionTrack({{0, 1, 0}, {0, 3, 0}}));
    pelb::AnimDescDef walk;
    walk.name = "walk";
    walk.end = 2;
    walk.indices = {1};
    anim.descs = {walk};
    anim.partMap = {0, 1};
    o.chunks.insert(o.chunks.begin(), {20, pelb::animBlock(anim)});
    return o;
}

struct Loaded {
    PelContent* c = nullptr;
    int load(const std::string& path) {
        char f[PEL_FILE_NAME_MAX], name[100];
        PelFileInfo info;
        size_t bytes = 0;
        return pelLoad(path.c_str(), f, name, &info, &c, &bytes);
    }
    void free() {
        if (c) pelFreeObject(&c);
    }
};

TEST_F(NoThrow, ReadingObjects) {
    const std::string path = file("sample.pel");
    pelb::writeFile(path, pelb::build(animatedSample()));
    Loaded l;
    sweep("pelLoad", [] {}, [&] { return l.load(path); }, [&] { l.free(); });

    const qse::Bytes stream = qse::encode(qse::encodeModel(qse::sampleModel(), qse::Layout::Ordered));
    PelContent* c = nullptr;
    PelStreamInfo* info = nullptr;
    sweep(
        "pelParseStream", [] {},
        [&] { return pelParseStream(stream.data(), stream.size(), &c, &info, nullptr, 0, nullptr); },
        [&] {
            pelFreeStream(&info);
            if (c) pelFreeObject(&c);
        });
}

TEST_F(NoThrow, PreparingAndWritingObjects) {
    const std::string path = file("sample.pel"), out = file("out.pel");
    pelb::writeFile(path, pelb::build(animatedSample()));
    Loaded l;
    ScnNode* node = nullptr;
    auto load = [&] {
        ASSERT_EQ(l.load(path), 1);
        Mat4 base;
        mtxIdentity(&base);
        ASSERT_EQ(scnNodeCreate(l.c, 0, nullptr, nullptr, &base, &node), 1);
    };
    auto unload = [&] {
        scnNodeFree(&node, nullptr);
        l.free();
    };
    sweep(
        "pelConnectEdges", [&] { ASSERT_EQ(l.load(path), 1); },
        [&] {
            uint32_t size = 0;
            return pelConnectEdges(&l.c, &size, 1, 40.0f, 1, 0, 0, 0, nullptr, 0, nullptr, 1);
        },
        [&] { l.free(); });
    sweep("pelWriteFile", load, [&] { return pelWriteFile(1, out.c_str(), node, nullptr, nullptr, 0, nullptr); },
          unload);
    sweep(
        "pelSaveWithAnimation", load,
        [&] {
            ScnNode* nodes[2] = {node, nullptr};
            Vec3 centre;
            return pelSaveWithAnimation(0, out.c_str(), nodes, 0, nullptr, nullptr, nullptr, &centre, 15.0f, 0, nullptr);
        },
        unload);
}

TEST_F(NoThrow, ChunksAndTexts) {
    const std::string path = file("chunks.pel");
    const pelb::Bytes original = pelb::build(pelb::sample());
    const uint8_t data[5] = {1, 2, 3, 4, 5};
    sweep("pelWriteChunk", [&] { pelb::writeFile(path, original); },
          [&] { return pelWriteChunk(path.c_str(), 0x10000, sizeof data, data); }, [] {});
    sweep("pelRemoveChunk", [&] { pelb::writeFile(path, original); },
          [&] { return pelRemoveChunk(path.c_str(), 0x10000); }, [] {});

    const pelb::Bytes list = pelb::textList({{{"DE", "eins"}, {"XX", "one"}}, {}, {{"EN", "two"}}});
    char* held = nullptr;
    uint32_t heldSize = 0;
    sweep(
        "pelSetLangText",
        [&] {
            held = static_cast<char*>(memAllocZ(list.size()));
            std::memcpy(held, list.data(), list.size());
            heldSize = uint32_t(list.size());
        },
        [&] { return pelSetLangText(&held, &heldSize, "neu", 1, "DE", 3); }, [&] { memFreeRefT(&held); });
    char* out = nullptr;
    sweep("pelGetLangText", [] {},
          [&] {
              return pelGetLangText(reinterpret_cast<const char*>(list.data()), uint32_t(list.size()), "FR", 1, 0,
                                    &out);
          },
          [&] { memFreeRefT(&out); });
}

TEST_F(NoThrow, PicturesAndRayTracing) {
    PicRecord* pic = nullptr;
    ASSERT_EQ(fzCreateImage(40, 24, 4, &pic, 0, nullptr), 1);
    for (uint32_t i = 0; i < 40 * 24; ++i) picPut32(pic->pixels + 4 * i, i * 0x010203u);
    TexRecord* tex = nullptr;
    sweep("picConvert", [&] { ASSERT_EQ(texAllocRecord(&tex), 1); },
          [&] { return picConvert(pic, 16, 16, 1, 0, tex, nullptr); }, [&] { texFree(&tex); });
    uint32_t colours[16];
    sweep("palFromImage", [] {}, [&] { return int(palFromImage(pic, colours, 16)); }, [] {});
    fzFreeImage(&pic);

    SampleScene scene;
    ASSERT_TRUE(sampleSceneCreate(&scene, 12, 8));
    PicRecord *target = nullptr, *work = nullptr;
    ASSERT_EQ(fzCreate(12, 8, 4, &target), 1);
    ASSERT_EQ(fzCreate(12, 8, 4, &work), 1);
    rtSetProcessorCount(1);
    sweep(
        "rtRender", [] {},
        [&] {
            ScnNode* list[2] = {scene.node, nullptr};
            ScnRenderJob job{};
            job.camera = &scene.cam;
            job.target = target;
            job.kind = SCN_KIND_GOURAUD_TEX;
            return rtRender(&job, work, nullptr, nullptr, list, nullptr, nullptr, 1, 1, 1, 1, 1, 0);
        },
        [] { rtResetState(); });
    fzFree(&target);
    fzFree(&work);
    sampleSceneFree(&scene);
}

}  // namespace

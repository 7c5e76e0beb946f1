// The sample object file: written with the object file writer, read back by the reader in
// both header forms, with its texture beside it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "render/sample.h"
#include "render/tests/renderer_fixture.h"
#include "scene/pelfile.h"
#include "scene/texture.h"

namespace {

namespace fs = std::filesystem;

TEST(SampleFile, ReadsBackAsPelAndKvoWithItsTexture) {
    resetRenderState();
    const fs::path dir = fs::path(testing::TempDir()) / "qiv sample file";
    fs::create_directories(dir);
    SampleScene scene;
    ASSERT_TRUE(sampleSceneCreate(&scene, 64, 64));
    const uint32_t parts = scene.content->partCount, faces = scene.content->faceCount;
    sampleSceneFree(&scene);

    for (const char* name : {"sample.pel", "sample.kvo"}) {
        SCOPED_TRACE(name);
        const bool kvo = std::strstr(name, ".kvo") != nullptr;
        const std::string path = (dir / name).string();
        ASSERT_TRUE(sampleWriteObjectFile(path.c_str(), kvo));
        EXPECT_FALSE(fs::exists(path + ".kvo-tmp"));

        uint8_t head[9] = {};
        std::FILE* f = std::fopen(path.c_str(), "rb");
        ASSERT_NE(nullptr, f);
        ASSERT_EQ(sizeof head, std::fread(head, 1, sizeof head, f));
        std::fclose(f);
        EXPECT_EQ(0, std::memcmp(head, kvo ? "\x08KVO V1.0" : "\x08PEL V1.0", 9));

        char fileName[PEL_FILE_NAME_MAX], objectName[100];
        PelFileInfo info{};
        PelContent* content = nullptr;
        size_t bytes = 0;
        ASSERT_EQ(1, pelLoad(path.c_str(), fileName, objectName, &info, &content, &bytes));
        ASSERT_NE(nullptr, content);
        EXPECT_STREQ("Sample", objectName);
        EXPECT_EQ(parts, content->partCount);
        EXPECT_EQ(faces, content->faceCount);
        ASSERT_EQ(1u, content->areaCount);
        EXPECT_STREQ(kSampleTextureName, content->areaNames);
        pelFreeObject(&content);
    }
    TexRecord* tex = nullptr;
    float w = 0, h = 0;
    EXPECT_EQ(1, texLoadFile((dir / kSampleTextureName).string().c_str(), 0, &tex, &w, &h, nullptr));
    texFree(&tex);
    EXPECT_FALSE(sampleWriteObjectFile((dir / "no such folder" / "x.pel").string().c_str(), false));
    fs::remove_all(dir);
}

}  // namespace

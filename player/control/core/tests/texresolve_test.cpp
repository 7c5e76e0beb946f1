#include "texresolve.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "caches.h"

using namespace qivctl;

namespace {

class Resolve : public ::testing::Test {
protected:
    void SetUp() override {
        cachesReset();
        CacheHooks h;
        h.freeTexture = [](TexRecord*) {};
        cacheSetHooks(h);
        local.baseDirectory = "C:\\obj";
        local.texturePath = "D:\\tex";
        remote.baseDirectory = "http://h/objs";
        remote.textureBaseUrl = "http://h/tex";
    }
    void TearDown() override { cachesReset(); }

    TextureResolution run(const char* name) {
        return resolveTexture(name, local, remote, [this](const std::string& p) {
            tried.push_back(p);
            return files.count(p) != 0;
        });
    }

    TextureSearch local;
    TextureUrlSearch remote;
    std::set<std::string> files;
    std::vector<std::string> tried;
    char fake[16] = {};
};

}  // namespace

TEST_F(Resolve, ExtensionFallbacksBesideTheObject) {
    files = {"C:\\obj\\wood.jpg"};
    TextureResolution r = run("wood.bmp");
    ASSERT_EQ(r.kind, TextureResolution::Files);
    ASSERT_EQ(r.files.size(), 1u);
    EXPECT_EQ(r.files[0], (TextureFileTry{"C:\\obj\\wood.jpg", TextureLoader::Picture}));
    EXPECT_EQ(tried.front(), "C:\\obj\\wood.bmp");

    files = {"D:\\tex\\stone.bms"};
    r = run("stone.bmp");
    ASSERT_EQ(r.kind, TextureResolution::Files);
    EXPECT_EQ(r.files[0], (TextureFileTry{"D:\\tex\\stone.bms", TextureLoader::Compressed}));

    // Every existing candidate comes back in order, so a file that does not read gives way.
    files = {"C:\\obj\\a.bmp", "D:\\tex\\a.bmp"};
    r = run("a.bmp");
    ASSERT_EQ(r.files.size(), 2u);
    EXPECT_EQ(r.files[1].path, "D:\\tex\\a.bmp");
}

TEST_F(Resolve, CacheThenFilesThenDownload) {
    auto* tex = reinterpret_cast<TexRecord*>(fake);
    ASSERT_TRUE(TextureCacheAdd("http://h/tex>Sub/Brick.bmp", tex, 1, 1));
    // Looked up in the cache by the part from the last '>' on, beside the object by the part
    // after the first '>'.
    TextureResolution r = run("other>SUB/BRICK.BMP");
    EXPECT_EQ(r.kind, TextureResolution::Cached);
    EXPECT_EQ(r.texture, tex);
    EXPECT_TRUE(tried.empty());

    files = {"C:\\obj\\deep>sub\\x.jpg"};
    files.insert("C:\\obj\\sub\\x.jpg");
    r = run("http://h/tex>deep>sub\\x.bmp");
    ASSERT_EQ(r.kind, TextureResolution::Files);
    EXPECT_EQ(r.files[0].path, "C:\\obj\\deep>sub\\x.jpg");

    files.clear();
    r = run("Sub\\Tile.bmp");
    ASSERT_EQ(r.kind, TextureResolution::Download);
    EXPECT_EQ(r.urls.front(), "http://h/tex/sub/tile.bms");

    remote.textureBaseUrl.clear();
    EXPECT_EQ(run("Sub\\Tile.bmp").kind, TextureResolution::Missing);
    EXPECT_EQ(run(" ").kind, TextureResolution::NoTexture);
    EXPECT_EQ(run(nullptr).kind, TextureResolution::NoTexture);
}

TEST_F(Resolve, InhibitedLocalTexturesUseOnlyCacheAndDownload) {
    local.inhibitLocal = true;
    files = {"C:\\obj\\wood.bmp"};
    TextureResolution r = run("wood.bmp");
    EXPECT_TRUE(tried.empty());
    ASSERT_EQ(r.kind, TextureResolution::Download);
    EXPECT_EQ(r.urls, (std::vector<std::string>{"http://h/tex/wood.bms", "http://h/objs/wood.bms"}));
}

#include "texpaths.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace qivctl;

using Paths = std::vector<std::string>;

namespace {

TextureSearch search(const char* base, const char* tp, TextureNameSource src = TextureNameSource::Stored) {
    TextureSearch s;
    s.baseDirectory = base;
    s.texturePath = tp;
    s.source = src;
    return s;
}

}  // namespace

TEST(TextureNames, NoTexture) {
    EXPECT_TRUE(isNoTextureName(nullptr));
    EXPECT_TRUE(isNoTextureName(""));
    EXPECT_TRUE(isNoTextureName(" "));
    EXPECT_FALSE(isNoTextureName("  "));
    EXPECT_FALSE(isNoTextureName("a.bmp"));
    EXPECT_TRUE(textureCandidatePaths(" ", search("C:\\obj", "D:\\tex")).empty());
}

TEST(TextureNames, CacheKey) {
    struct {
        const char* name;
        const char* key;
    } cases[] = {
        {"plain.bmp", "PLAIN.BMP"}, {"a>b.bmp", ">B.BMP"}, {"http://h/x>Sub/T.bmp", ">SUB/T.BMP"},
        {"one>two>Three.jpg", ">THREE.JPG"}, {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(textureCacheKey(c.name), c.key) << c.name;
    EXPECT_EQ(textureCacheKey("http://a/b>Tex.bmp"), textureCacheKey("other>tEX.BMP"));
    EXPECT_NE(textureCacheKey("tex.bmp"), textureCacheKey("x>tex.bmp"));
    // Long names keep every character: two that differ only far in are two keys.
    std::string a(300, 'a'), b(300, 'a');
    b[290] = 'b';
    EXPECT_NE(textureCacheKey(a), textureCacheKey(b));
    EXPECT_EQ(textureCacheKey(a).size(), 300u);
}

TEST(TextureNames, StoredName) {
    EXPECT_EQ(textureStoredName("http://h/tex/sub/a.bmp", "http://h/tex"), "http://h/tex>sub/a.bmp");
    EXPECT_EQ(textureStoredName("HTTP://H/TEX/a.bmp", "http://h/tex/"), "http://h/tex>a.bmp");
    EXPECT_EQ(textureStoredName("http://h/texture/a.bmp", "http://h/tex"), "http://h/texture/a.bmp");
    EXPECT_EQ(textureStoredName("a.bmp", ""), "a.bmp");
    EXPECT_EQ(textureStoredName("http://h/tex/", "http://h/tex"), "http://h/tex/");
}

TEST(TextureCandidates, OrderBesideObjectThenTexturePath) {
    struct {
        const char* name;
        Paths paths;
    } cases[] = {
        {"tex.bmp", {"C:\\obj\\tex.bmp", "D:\\tex\\tex.bmp"}},
        {"sub\\tex.bmp", {"C:\\obj\\tex.bmp", "D:\\tex\\sub\\tex.bmp", "D:\\tex\\tex.bmp"}},
        {"sub/tex.bmp", {"C:\\obj\\tex.bmp", "D:\\tex\\sub/tex.bmp", "D:\\tex\\tex.bmp"}},
        {"http://h/t>sub\\t2.bmp", {"C:\\obj\\sub\\t2.bmp", "C:\\obj\\t2.bmp", "D:\\tex\\sub\\t2.bmp", "D:\\tex\\t2.bmp"}},
        {"a>b>c.bmp", {"C:\\obj\\b>c.bmp", "C:\\obj\\c.bmp", "D:\\tex\\c.bmp"}},
    };
    for (const auto& c : cases) EXPECT_EQ(textureCandidatePaths(c.name, search("C:\\obj", "D:\\tex")), c.paths) << c.name;
    EXPECT_EQ(textureCandidatePaths("tex.bmp", search("", "D:\\tex")), (Paths{"D:\\tex\\tex.bmp"}));
    EXPECT_EQ(textureCandidatePaths("tex.bmp", search("C:\\obj", "")), (Paths{"C:\\obj\\tex.bmp"}));
    TextureSearch inhibited = search("C:\\obj", "D:\\tex");
    inhibited.inhibitLocal = true;
    EXPECT_TRUE(textureCandidatePaths("tex.bmp", inhibited).empty());
    // A host may name a network texture; stored data may not.
    EXPECT_EQ(textureCandidatePaths("\\\\srv\\share>t.bmp", search("", "D:\\tex", TextureNameSource::Host)),
              (Paths{"\\\\srv\\share\\t.bmp", "D:\\tex\\t.bmp"}));
    EXPECT_EQ(textureCandidatePaths("\\\\srv\\share>t.bmp", search("", "D:\\tex")), (Paths{"D:\\tex\\t.bmp"}));
}

// Names inside an object file or a download are confined to the folders they are joined to.
TEST(TextureCandidates, StoredNamesStayInTheirFolder) {
    const char* hostile[] = {
        "..\\..\\windows\\win.ini", "C:\\boot.ini",          "C:boot.ini",         "\\\\evil\\share\\x.bmp",
        "sub/../../x.bmp",         "%2e%2e/x.bmp",           "%2E%2e\\%2e%2e\\x",  "a>..\\x.bmp",
        "a>\\x.bmp",               "a>C:\\x.bmp",            "...\\x.bmp",         ".. \\x.bmp",
        "CON.bmp",                 "sub\\nul.jpg",           "x:stream.bmp",       "lpt1",
        "/etc/passwd",             "..",                     "a>..",               "t\x01.bmp",
    };
    const std::string base = "C:\\obj", tp = "D:\\tex";
    for (const char* name : hostile) {
        for (const std::string& p : textureCandidatePaths(name, search(base.c_str(), tp.c_str()))) {
            std::string rest;
            if (p.compare(0, base.size() + 1, base + "\\") == 0)
                rest = p.substr(base.size() + 1);
            else if (p.compare(0, tp.size() + 1, tp + "\\") == 0)
                rest = p.substr(tp.size() + 1);
            else
                ADD_FAILURE() << name << " gives " << p;
            EXPECT_TRUE(isConfinedRelativePath(rest)) << name << " gives " << p;
        }
    }
    // The file part of a name with folders is still found beside the object.
    EXPECT_EQ(textureCandidatePaths("..\\..\\img\\wood.bmp", search("C:\\obj", "")), (Paths{"C:\\obj\\wood.bmp"}));
    EXPECT_TRUE(textureCandidatePaths("CON.bmp", search("C:\\obj", "D:\\tex")).empty());
    EXPECT_TRUE(isConfinedRelativePath("sub\\a.b.c.bmp"));
    EXPECT_TRUE(isConfinedRelativePath("..a\\b..\\.x"));
    EXPECT_TRUE(isConfinedRelativePath("console.bmp"));
}

// Long bases and names give no path over the limit and never overrun anything.
TEST(TextureCandidates, LongPathsAreLeftOut) {
    std::string base(250, 'b');
    std::string name = "a_rather_long_texture_name.bmp";
    for (const TextureFileTry& t : textureFileTries(name, search(base.c_str(), "D:\\tex")))
        EXPECT_LE(t.path.size(), kTexturePathMax);
    EXPECT_EQ(textureCandidatePaths(name, search(base.c_str(), "D:\\tex")), (Paths{"D:\\tex\\" + name}));
    std::string huge(5000, 'n');
    EXPECT_TRUE(textureCandidatePaths(huge, search(base.c_str(), "D:\\tex")).empty());
    std::string fits(kTexturePathMax - 4, 'p');  // "<fits>.bmp" just fits, its ".jpg" twin too
    auto v = textureFileVariants(fits + ".bmp");
    EXPECT_EQ(v.size(), 3u);
    EXPECT_TRUE(textureFileVariants(fits + "x.bmp").empty());
}

TEST(TextureCandidates, ExtensionReplacedAtFileNamesLastDot) {
    using L = TextureLoader;
    struct {
        const char* path;
        std::vector<TextureFileTry> tries;
    } cases[] = {
        {"C:\\obj\\wood.bmp",
         {{"C:\\obj\\wood.bmp", L::Picture}, {"C:\\obj\\wood.jpg", L::Picture}, {"C:\\obj\\wood.bms", L::Compressed}}},
        {"C:\\dir.v2\\wood.bmp",
         {{"C:\\dir.v2\\wood.bmp", L::Picture}, {"C:\\dir.v2\\wood.jpg", L::Picture}, {"C:\\dir.v2\\wood.bms", L::Compressed}}},
        {"C:\\dir.v2\\wood",
         {{"C:\\dir.v2\\wood", L::Picture}, {"C:\\dir.v2\\wood.jpg", L::Picture}, {"C:\\dir.v2\\wood.bms", L::Compressed}}},
        {"a\\t.x.bmp", {{"a\\t.x.bmp", L::Picture}, {"a\\t.x.jpg", L::Picture}, {"a\\t.x.bms", L::Compressed}}},
        {"a/b.c/t", {{"a/b.c/t", L::Picture}, {"a/b.c/t.jpg", L::Picture}, {"a/b.c/t.bms", L::Compressed}}},
        {"t.jpg", {{"t.jpg", L::Picture}, {"t.bms", L::Compressed}}},
        {"T.BMS", {{"T.BMS", L::Compressed}, {"T.jpg", L::Picture}, {"T.bms", L::Compressed}}},
    };
    for (const auto& c : cases) EXPECT_EQ(textureFileVariants(c.path), c.tries) << c.path;
}

TEST(TextureUrls, CandidatesInTrialOrder) {
    TextureUrlSearch s;
    s.baseDirectory = "http://h/objs";
    s.textureBaseUrl = "http://h/tex";
    struct {
        const char* name;
        Paths urls;
    } cases[] = {
        {"Sub\\Tex.BMP", {"http://h/tex/sub/tex.bms", "http://h/tex/tex.bms", "http://h/objs/tex.bms"}},
        {"a.jpg", {"http://h/tex/a.jpg", "http://h/objs/a.jpg"}},
        {"http://h/tex>Deep/Er/W.bmp", {"http://h/tex/deep/er/w.bms", "http://h/tex/w.bms", "http://h/objs/w.bms"}},
        {"../../secret/x.bmp", {"http://h/tex/x.bms", "http://h/objs/x.bms"}},
        {"%2e%2e/x.jpg", {"http://h/tex/x.jpg", "http://h/objs/x.jpg"}},
        {"sub/..", {}},
        {" ", {}},
        {"x>", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(textureCandidateUrls(c.name, s), c.urls) << c.name;

    s.noWholeNameUrl = true;
    EXPECT_EQ(textureCandidateUrls("Sub\\Tex.BMP", s), (Paths{"http://h/tex/tex.bms", "http://h/objs/tex.bms"}));
    s.noWholeNameUrl = false;
    s.baseDirectory.clear();
    EXPECT_EQ(textureCandidateUrls("a.jpg", s), (Paths{"http://h/tex/a.jpg"}));
    EXPECT_TRUE(textureCandidateUrls(std::string(kTextureUrlNameMax + 1, 'x'), s).empty());
    EXPECT_EQ(textureCandidateUrls(std::string(kTextureUrlNameMax, 'x'), s).size(), 1u);
    s.textureBaseUrl.clear();
    EXPECT_TRUE(textureCandidateUrls("a.jpg", s).empty());
}

TEST(TextureNames, NamesOfAnObjectStayInTheirBlock) {
    const char block[] = "wood.bmp\0\0stone.jpg\0tail";  // a name, an empty one, one more, an open one
    const size_t size = sizeof block - 1;  // without the literal's own closing zero
    EXPECT_EQ(textureNamesOf(block, size, 3), (Paths{"wood.bmp", "", "stone.jpg"}));
    EXPECT_EQ(textureNamesOf(block, size, 6), (Paths{"wood.bmp", "", "stone.jpg", "tail", "", ""}));
    EXPECT_EQ(textureNamesOf(block, 4, 2), (Paths{"wood", ""}));
    EXPECT_EQ(textureNamesOf(nullptr, 10, 2), (Paths{"", ""}));
    EXPECT_TRUE(textureNamesOf(block, size, 0).empty());
    EXPECT_EQ(textureNamesOf(block, 0, 100000).size(), 100000u);
}

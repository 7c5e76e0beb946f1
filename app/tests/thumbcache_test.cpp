// The preview dialog's rules: object files and the thumbnail cache.
#include <gtest/gtest.h>

#include "thumbcache.h"

namespace {

using namespace stellwerk;

TEST(PreviewRules, ObjectFilesByExtension) {
    const struct {
        const char* path;
        bool object;
    } cases[] = {
        {"C:\\a\\car.qiv", true}, {"car.QIV", true},    {"car.vov", true},       {"car.Pel", true},
        {"car.kvo", true},        {"car.bmp", false},   {"car.qiv.jpg", false},  {"C:\\x.qiv\\car", false},
        {"car", false},           {"car.qivx", false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.object, IsObjectFile(c.path)) << c.path;
}

TEST(PreviewRules, ThumbnailsAreKeptByPathSizeAndTime) {
    ThumbnailCache<int> cache;
    cache.Add({"C:\\Pics\\a.bmp", 100, 5}, 1);
    ASSERT_NE(nullptr, cache.Find({"c:\\pics\\A.BMP", 100, 5})) << "letter case does not count";
    EXPECT_EQ(1, *cache.Find({"C:\\Pics\\a.bmp", 100, 5}));
    EXPECT_EQ(nullptr, cache.Find({"C:\\Pics\\a.bmp", 101, 5})) << "a new size is a new picture";
    EXPECT_EQ(nullptr, cache.Find({"C:\\Pics\\a.bmp", 100, 6})) << "so is a new time of change";
    EXPECT_EQ(nullptr, cache.Find({"C:\\Pics\\b.bmp", 100, 5}));

    // The changed file's thumbnail replaces the old one.
    cache.Add({"C:\\PICS\\a.bmp", 120, 9}, 2);
    EXPECT_EQ(1u, cache.Count());
    EXPECT_EQ(2, *cache.Find({"C:\\Pics\\a.bmp", 120, 9}));
    EXPECT_EQ(nullptr, cache.Find({"C:\\Pics\\a.bmp", 100, 5}));
    cache.Add({"C:\\Pics\\b.bmp", 1, 1}, 3);
    EXPECT_EQ(2u, cache.Count());
}

}  // namespace

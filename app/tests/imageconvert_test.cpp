// The rules of picture conversion: type boxes, writers, the copy case and sizes.
#include <gtest/gtest.h>

#include "imageconvert.h"

namespace {

using namespace stellwerk;

TEST(ImageConvert, TypeBoxTextGivesItsExtension) {
    const std::vector<std::string> names = {"Bitmap", "JPEG", "PNG", "Targa", "TIFF", "PCX"};
    EXPECT_EQ(".jpg", TypeExtensionFor("JPEG", names));
    EXPECT_EQ(".pcx", TypeExtensionFor("PCX", names));
    EXPECT_EQ(".bmp", TypeExtensionFor("jpeg", names)) << "names match exactly";
    EXPECT_EQ(".bmp", TypeExtensionFor("", names));
    EXPECT_EQ(".bmp", TypeExtensionFor("TIFF", {"Bitmap", "JPEG", "PNG"})) << "the short list has three";
}

TEST(ImageConvert, WriterByTargetExtension) {
    const struct {
        const char* target;
        PictureWriter want;
    } cases[] = {
        {"a.bmp", PictureWriter::Bmp},   {"a.JPG", PictureWriter::Jpg},  {"a.jpeg", PictureWriter::None},
        {"a.Tiff", PictureWriter::Tiff}, {"a.tif", PictureWriter::None}, {"a.png", PictureWriter::Png},
        {"a.tga", PictureWriter::Tga},   {"a.pcx", PictureWriter::Pcx},  {"a.gif", PictureWriter::Gif},
        {"C:\\v.1\\view", PictureWriter::None}, {"noext", PictureWriter::None},
    };
    for (const auto& c : cases) EXPECT_EQ(c.want, WriterFor(c.target)) << c.target;
}

TEST(ImageConvert, CopyOnlyForTheSameExtensionWithoutSize) {
    EXPECT_TRUE(ConvertIsCopy("a.BMP", "b.bmp", 0, 0)) << "letter case does not count";
    EXPECT_FALSE(ConvertIsCopy("a.bmp", "b.bmp", 320, 0)) << "a size re-encodes";
    EXPECT_FALSE(ConvertIsCopy("a.bmp", "b.png", 0, 0));
    EXPECT_FALSE(ConvertIsCopy("C:\\out\\view", "C:\\out\\view.bmp", 0, 0))
        << "a file without extension is converted even to BMP";
    EXPECT_TRUE(ConvertIsCopy("C:\\a.b\\x", "C:\\a.c\\y", 0, 0)) << "dots of folders are no extensions";
}

TEST(ImageConvert, ConvertedSizes) {
    const struct {
        PictureDims pic;
        int w, h;
        bool keep;
        PictureDims want;
    } cases[] = {
        {{640, 480}, 0, 0, true, {640, 480}},   {{640, 480}, 320, 0, true, {320, 240}},
        {{640, 480}, 320, 0, false, {320, 480}}, {{640, 480}, 0, 240, true, {320, 240}},
        {{640, 480}, 100, 50, true, {100, 50}},  {{3, 1}, 1, 0, true, {1, 1}},  // 1/3 rounds to 0: kept at 1
        {{4, 2}, 3, 0, true, {3, 2}},            {{4, 6}, 3, 0, true, {3, 4}},  // 1.5 to 2, 4.5 to 4
        {{1000, 1}, 10, 0, true, {10, 1}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.want, ConvertedSize(c.pic, c.w, c.h, c.keep))
            << c.pic.width << "x" << c.pic.height << " to " << c.w << "x" << c.h;
}

TEST(ImageConvert, ThumbnailSizes) {
    EXPECT_EQ((PictureDims{150, 75}), ThumbnailSize({600, 300}, 150));
    EXPECT_EQ((PictureDims{75, 150}), ThumbnailSize({300, 600}, 150));
    EXPECT_EQ((PictureDims{100, 40}), ThumbnailSize({100, 40}, 150)) << "small pictures stay";
    EXPECT_EQ((PictureDims{150, 1}), ThumbnailSize({6000, 2}, 150));
}

}  // namespace

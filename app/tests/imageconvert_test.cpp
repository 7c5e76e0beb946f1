#include <gtest/gtest.h>

#include "imageconvert.h"

using namespace stellwerk;

TEST(ImageConvert, TargetSizes) {
    const struct {
        int w, h, width, height;
        bool keep;
        ConvertedSize want;
    } cases[] = {
        {640, 480, 0, 0, true, {640, 480}},
        {640, 480, 320, 0, true, {320, 240}},
        {640, 480, 320, 0, false, {320, 480}},
        {640, 480, 0, 240, true, {320, 240}},
        {640, 480, 0, 240, false, {640, 240}},
        {640, 480, 100, 50, true, {100, 50}},
        // 0.6 rounds to 1; the halves 1.5 and 2.5 go to the even 2.
        {5, 3, 1, 0, true, {1, 1}},
        {2, 3, 1, 0, true, {1, 2}},
        {2, 5, 1, 0, true, {1, 2}},
        {3, 2, 0, 1, true, {2, 1}},
        {0, 0, 10, 0, true, {10, 0}},
        {1, 100000, 60000, 0, true, {60000, 0x7FFFFFFF}},
    };
    for (const auto& c : cases) {
        const ConvertedSize got = ConvertTargetSize(c.w, c.h, c.width, c.height, c.keep);
        EXPECT_EQ(c.want, got) << c.w << "x" << c.h << " to " << c.width << "x" << c.height << " got " << got.width
                               << "x" << got.height;
    }
}

TEST(ImageConvert, ReadersWritersAndCopies) {
    EXPECT_EQ(PictureReader::Jpg, ReaderForType("JPEG"));
    EXPECT_EQ(PictureReader::Jpg, ReaderForType("jpg"));
    EXPECT_EQ(PictureReader::Tiff, ReaderForType("tiff"));
    EXPECT_EQ(PictureReader::None, ReaderForType("tif"));
    EXPECT_EQ(PictureReader::None, ReaderForType("eps"));
    const struct {
        const char* file;
        PictureWriter want;
    } writers[] = {{"C:\\a\\b.BMP", PictureWriter::Bmp}, {"b.jpg", PictureWriter::Jpg},
                   {"b.jpeg", PictureWriter::None},     {"b.png", PictureWriter::Png},
                   {"b.tiff", PictureWriter::Tiff},     {"b.tif", PictureWriter::None},
                   {"b.pcx", PictureWriter::Pcx},       {"b.tga", PictureWriter::Tga},
                   {"b.gif", PictureWriter::Gif},       {"C:\\a.b\\c", PictureWriter::None}};
    for (const auto& w : writers) EXPECT_EQ(w.want, WriterForFile(w.file)) << w.file;
    EXPECT_TRUE(ConversionCopies("a.JPG", "C:\\x\\a.jpg", 0, 0)) << "letter case aside";
    EXPECT_FALSE(ConversionCopies("a.jpg", "a.jpg", 320, 0)) << "a size re-encodes";
    EXPECT_FALSE(ConversionCopies("a.bmp", "a.jpg", 0, 0));
}

#include "displayrules.h"

#include <gtest/gtest.h>

namespace imaging {
namespace {

TEST(DisplayRules, StoredJpegSettings) {
    struct Case {
        int value, quality, smooth;
    } cases[] = {
        {0, 25, 0},  // a smoothing of 0 can be set
        {1, 1, 1},  {90, 90, 90}, {100, 100, 100}, {101, 25, 5}, {-3, 25, 5},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.quality, StoredJpegQuality(c.value)) << c.value;
        EXPECT_EQ(c.smooth, StoredJpegSmooth(c.value)) << c.value;
    }
}

TEST(DisplayRules, ReadDepthOfEachResolution) {
    EXPECT_EQ(0, ReadDepthFor(lColorVga, 8));
    EXPECT_EQ(1, ReadDepthFor(lMonoChrome, 8));
    EXPECT_EQ(4, ReadDepthFor(lColor16, 8));
    EXPECT_EQ(8, ReadDepthFor(lColor256, 24));
    EXPECT_EQ(24, ReadDepthFor(lColorTrue, 8));
    EXPECT_EQ(8, ReadDepthFor(lAutoMatic, 8));
}

TEST(DisplayRules, TheReaderOfAFileName) {
    struct Case {
        const char* file;
        const char* infoType;
        PictureSource source;
    } cases[] = {
        {"C:\\p\\a.jpeg", "", PictureSource::Jpeg}, {"a.JpEg", "", PictureSource::Jpeg},
        {"a.jpg", "", PictureSource::Jpeg},         {"a.thj", "", PictureSource::Jpeg},
        {"a.THB", "", PictureSource::Bmp},          {"a.tif", "", PictureSource::Tiff},
        {"a.TIFF", "", PictureSource::Tiff},        {"a.wmf", "", PictureSource::Platform},
        {"a.ico", "", PictureSource::Platform},     {"a.scm", "", PictureSource::ScrollingMessage},
        {"a.cms", "", PictureSource::CreditMessage}, {"logo.res", "", PictureSource::Resource},
        {"a.pcd", "", PictureSource::Pcd},          {"a.dxf", "", PictureSource::Dxf},
        // Other extensions take the type the file information found.
        {"a.pic", "png", PictureSource::Png},       {"a.xyz", "tiff", PictureSource::Tiff},
        {"noext", "gif", PictureSource::Gif},       {"a.xyz", "", PictureSource::Unknown},
        {"C:\\d.x\\file", "bmp", PictureSource::Bmp},  // a dot in a folder is no extension
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.source, SourceFor(UpperExtension(c.file), c.infoType)) << c.file;
    EXPECT_EQ(".JPEG", UpperExtension("C:\\x.y\\a.b.jpeg"));
    EXPECT_EQ("", UpperExtension("C:\\x.y\\a"));
}

TEST(DisplayRules, TiffPageIsLoweredToTheLastPage) {
    EXPECT_EQ(0, TiffPageToRead(0, 3));
    EXPECT_EQ(2, TiffPageToRead(2, 3));
    EXPECT_EQ(2, TiffPageToRead(3, 3));
    EXPECT_EQ(2, TiffPageToRead(40, 3));
    EXPECT_EQ(0, TiffPageToRead(-1, 3));
    EXPECT_EQ(4, TiffPageToRead(4, 0));  // count unknown: as asked
}

TEST(DisplayRules, AnnotationFileReplacesTheExtension) {
    struct Case {
        const char* anno;
        const char* image;
        const char* want;
    } cases[] = {
        {"", "C:\\My.Pics\\a.bmp", "C:\\My.Pics\\a.ant"},
        {"", "C:\\Pics\\a.b.tif", "C:\\Pics\\a.b.ant"},
        {"", "C:\\My.Pics\\noext", "C:\\My.Pics\\noext.ant"},
        {"", "", "default.ant"},
        {"D:\\mine.ant", "C:\\Pics\\a.bmp", "D:\\mine.ant"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.want, AnnotationFileFor(c.anno, c.image)) << c.image;
}

}  // namespace
}  // namespace imaging

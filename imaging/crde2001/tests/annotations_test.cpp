#include "annotations.h"

#include <gtest/gtest.h>

namespace {

using img::AnnoKind;
using img::Annotation;
using img::AnnoPages;

Annotation make(AnnoKind kind, std::vector<img::AnnoPoint> pts, std::string text = "") {
    Annotation a;
    a.kind = kind;
    a.red = 10;
    a.green = 20;
    a.blue = 30;
    a.points = std::move(pts);
    if (kind == AnnoKind::Text) {
        a.height = 18;
        a.text = std::move(text);
    }
    return a;
}

TEST(AnnotationFile, EveryKindRoundTripsAcrossPages) {
    AnnoPages pages;
    pages[0] = {make(AnnoKind::Rect, {{1, 2}, {30, 40}}), make(AnnoKind::Line, {{-5, 6}, {7, -8}}),
                make(AnnoKind::Ellipse, {{0, 0}, {100, 50}})};
    pages[3] = {make(AnnoKind::Marker, {{1, 1}, {2, 3}, {5, 8}}),
                make(AnnoKind::Text, {{9, 9}}, "Quote \" backslash \\ line\nend \x01 and \xe4")};
    const std::string file = img::formatAnnotations(pages);
    EXPECT_EQ(0u, file.rfind("QivAnnotations 1\npage 0\nrect colour=10,20,30 width=2 points=1,2;30,40\n", 0)) << file;
    AnnoPages back;
    ASSERT_EQ(img::kOk, img::parseAnnotations(file, back));
    EXPECT_EQ(pages, back);
    // Line ends of either kind.
    std::string crlf;
    for (char c : file) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    ASSERT_EQ(img::kOk, img::parseAnnotations(crlf, back));
    EXPECT_EQ(pages, back);
}

TEST(AnnotationFile, DamagedOrLaterFilesAreRefused) {
    const char* bad[] = {
        "",
        "QivAnnotations 2\nend\n",
        "QivAnnotations 1\n",                                               // no end
        "QivAnnotations 1\nrect colour=1,2,3 width=1 points=1,1;2,2\nend\n",  // before any page
        "QivAnnotations 1\npage 0\npage 0\nend\n",
        "QivAnnotations 1\npage 40000\nend\n",
        "QivAnnotations 1\npage 0\nrect colour=1,2,300 width=1 points=1,1;2,2\nend\n",
        "QivAnnotations 1\npage 0\nrect colour=1,2,3 width=1 points=1,1\nend\n",
        "QivAnnotations 1\npage 0\nrect colour=1,2,3 width=1 points=1,1;2,2 extra=1\nend\n",
        "QivAnnotations 1\npage 0\nrect colour=1,2,3 width=1,5 points=1,1;2,2\nend\n",
        "QivAnnotations 1\npage 0\ntext colour=1,2,3 height=9 points=1,1 text=\"open\nend\n",
        "QivAnnotations 1\npage 0\ntext colour=1,2,3 height=9 points=1,1 text=\"bad \\q\"\nend\n",
        "QivAnnotations 1\npage 0\nline colour=1,2,3 width=1 points=1,1;999999999999,2\nend\n",
        "QivAnnotations 1\npage 0\nend\nrect colour=1,2,3 width=1 points=1,1;2,2\n",
    };
    for (const char* text : bad) {
        AnnoPages pages;
        EXPECT_EQ(img::kBadAnnotations, img::parseAnnotations(text, pages)) << text;
        EXPECT_TRUE(pages.empty());
    }
}

TEST(AnnoView, PicturePointsMapToTheDeviceAndBack) {
    const img::AnnoView v{-100, 20, 400, 300, 200, 150};  // twice the size, scrolled
    EXPECT_EQ((img::AnnoPoint{-100, 20}), v.toDevice({0, 0}));
    EXPECT_EQ((img::AnnoPoint{100, 120}), v.toDevice({100, 50}));
    EXPECT_EQ((img::AnnoPoint{100, 50}), v.toPicture({100, 120}));
    EXPECT_EQ(4, v.lengthToDevice(2));
}

TEST(AnnoEditor, PressMoveReleaseMakesTheToolsShape) {
    img::AnnoEditor e;
    Annotation a;
    e.tool.kind = AnnoKind::Rect;
    e.press({5, 5});
    e.move({9, 9});
    ASSERT_TRUE(e.release({20, 30}, a));
    EXPECT_EQ((std::vector<img::AnnoPoint>{{5, 5}, {20, 30}}), a.points);
    // A click without a move draws no rectangle, but a text.
    e.press({1, 1});
    EXPECT_FALSE(e.release({1, 1}, a));
    e.tool.kind = AnnoKind::Text;
    e.tool.text = "Hi";
    e.press({3, 4});
    ASSERT_TRUE(e.release({3, 4}, a));
    EXPECT_EQ("Hi", a.text);
    e.tool.kind = AnnoKind::Marker;
    e.press({0, 0});
    e.move({1, 0});
    e.move({1, 0});
    ASSERT_TRUE(e.release({2, 2}, a));
    EXPECT_EQ((std::vector<img::AnnoPoint>{{0, 0}, {1, 0}, {2, 2}}), a.points);
    EXPECT_FALSE(e.active());
}

TEST(AnnotationHit, TheTopmostAnnotationNearThePointIsFound) {
    const img::AnnoPage page = {make(AnnoKind::Rect, {{0, 0}, {100, 100}}), make(AnnoKind::Line, {{0, 50}, {100, 50}})};
    EXPECT_EQ(1, img::hitTest(page, {50, 52}, 3));
    EXPECT_EQ(0, img::hitTest(page, {50, 80}, 3));
    EXPECT_EQ(-1, img::hitTest(page, {150, 150}, 3));
}

}  // namespace

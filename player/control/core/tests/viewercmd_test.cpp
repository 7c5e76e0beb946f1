#include "linkwindows.h"
#include "viewercmd.h"

#include <gtest/gtest.h>

using namespace qivctl;

TEST(ViewerCommandLine, QuotesAndBlanksAreStripped) {
    struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"C:\\obj\\a.pel", "C:\\obj\\a.pel"},
        {"\"C:\\My Objects\\a b.qiv\"", "C:\\My Objects\\a b.qiv"},
        {"  \"C:\\My Objects\\a.kvo\"  \r\n", "C:\\My Objects\\a.kvo"},
        {"\"C:\\unclosed quote.pel", "C:\\unclosed quote.pel"},
        {"\"C:\\a.pel\" extra", "C:\\a.pel"},
        {"C:\\path with spaces\\x.pel", "C:\\path with spaces\\x.pel"},
        {"\"\"", ""},
        {"", ""},
        {"   ", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(viewerPathFromCommandLine(c.in), c.out) << c.in;
    EXPECT_EQ(viewerPathFromCommandLine(nullptr), "");
}

// When the long-path conversion exists but fails (a file that is not there, a path it
// cannot take) the viewer goes on with the path it was given.
TEST(ViewerCommandLine, LongPathFallsBackToGivenPath) {
    const std::string given = "C:\\OBJECT~1\\A.PEL";
    EXPECT_EQ(viewerLongPath(given, [](const std::string&, std::string* out) {
                  *out = "C:\\Objects here\\a.pel";
                  return true;
              }),
              "C:\\Objects here\\a.pel");
    EXPECT_EQ(viewerLongPath(given, [](const std::string&, std::string* out) {
                  *out = "garbage left in the buffer";
                  return false;
              }),
              given);
    EXPECT_EQ(viewerLongPath(given, [](const std::string&, std::string* out) {
                  out->clear();
                  return true;
              }),
              given);
    EXPECT_EQ(viewerLongPath(given, [](const std::string&, std::string* out) {
                  *out = std::string(3000, 'x');
                  return true;
              }),
              given);
    EXPECT_EQ(viewerLongPath(given, nullptr), given);
    std::string longest(3000, 'p');
    EXPECT_EQ(viewerLongPath(longest, nullptr).size(), kViewerPathMax);
}

TEST(ViewerCommandLine, WindowTitle) {
    struct {
        const char* path;
        const char* title;
    } cases[] = {
        {"C:\\Objects here\\a b.pel", "a b.pel - Qiv Player"},
        {"/home/user/objects/c.qiv", "c.qiv - Qiv Player"},
        {"mixed/dir\\d.kvo", "d.kvo - Qiv Player"},
        {"bare.vov", "bare.vov - Qiv Player"},
        {"C:\\trailing\\", " - Qiv Player"},
    };
    for (const auto& c : cases) EXPECT_EQ(viewerWindowTitle(c.path, "Qiv Player"), c.title) << c.path;
    EXPECT_EQ(viewerWindowTitle(std::string(600, 'n'), "Qiv Player").size(), kViewerTitleMax);
}

// The status line goes behind the plain title in brackets; repeated lines keep the same plain
// title, a call without text brings it back, a path names the loaded file.
TEST(ViewerTitle, StatusLinesAndTheLoadedFile) {
    WindowTitleBuffer t;
    EXPECT_EQ(t.change("a.pel - Qiv Player", "24 Triangles, 9.50 FPS", nullptr, "Qiv Player"),
              "a.pel - Qiv Player [24 Triangles, 9.50 FPS]");
    EXPECT_EQ(t.change("a.pel - Qiv Player [24 Triangles, 9.50 FPS]", "24 Triangles, 10.00 FPS", nullptr, "Qiv Player"),
              "a.pel - Qiv Player [24 Triangles, 10.00 FPS]");
    EXPECT_EQ(t.change("ignored", nullptr, nullptr, "Qiv Player"), "a.pel - Qiv Player");
    EXPECT_EQ(t.base(), "");
    EXPECT_EQ(t.change("a.pel - Qiv Player", nullptr, "file://C:\\objects\\b c.qiv", "Qiv Player"),
              "b c.qiv - Qiv Player");
    EXPECT_EQ(t.change("", "x", "http://host/d/e.qiv", "Qiv Player"), "e.qiv - Qiv Player [x]");
    const std::string longText(600, 't');
    EXPECT_EQ(t.change("", longText.c_str(), nullptr, "Qiv Player").size(), kViewerTitleMax);
    EXPECT_EQ(t.base(), "e.qiv - Qiv Player");
}

#include "linkwindows.h"

#include <gtest/gtest.h>

#include <string>

using namespace qivctl;

// A link whose text is shorter than its window reacts only to the pointer over
// the text once the text has been measured.
TEST(LinkPointer, OnlyTheTextCounts) {
    LinkPointer link;
    // Not measured yet: anywhere in the window.
    EXPECT_EQ(linkMouseMove(link, 150, 5, 200, 20), LinkMove::Enter);
    link = LinkPointer{};
    link.textWidth = 80;
    EXPECT_EQ(linkMouseMove(link, 120, 5, 200, 20), LinkMove::None);
    EXPECT_FALSE(link.hovering);
    EXPECT_EQ(linkMouseMove(link, 40, 5, 200, 20), LinkMove::Enter);
    EXPECT_EQ(linkMouseMove(link, 79, 19, 200, 20), LinkMove::None);
    EXPECT_TRUE(link.hovering);
    // Captured: moves outside the text or the window end the hover.
    EXPECT_EQ(linkMouseMove(link, 80, 5, 200, 20), LinkMove::Leave);
    EXPECT_EQ(linkMouseMove(link, 40, 5, 200, 20), LinkMove::Enter);
    EXPECT_EQ(linkMouseMove(link, 40, 20, 200, 20), LinkMove::Leave);
    EXPECT_EQ(linkMouseMove(link, 40, 5, 200, 20), LinkMove::Enter);
    EXPECT_EQ(linkMouseMove(link, -1, 5, 200, 20), LinkMove::Leave);
}

TEST(LinkPointer, ClickOpensOnlyWhileHoveringAndWaitsForTheRelease) {
    LinkPointer link;
    link.textWidth = 50;
    EXPECT_FALSE(linkButtonDown(link));
    EXPECT_FALSE(link.clicked);
    ASSERT_EQ(linkMouseMove(link, 10, 5, 100, 20), LinkMove::Enter);
    EXPECT_TRUE(linkButtonDown(link));
    EXPECT_FALSE(link.hovering);
    EXPECT_TRUE(link.clicked);
    // No new hover until the button is released.
    EXPECT_EQ(linkMouseMove(link, 10, 5, 100, 20), LinkMove::None);
    linkButtonUp(link);
    EXPECT_EQ(linkMouseMove(link, 10, 5, 100, 20), LinkMove::Enter);
}

TEST(WindowTitle, ExtraTextKeepsTheBaseTitle) {
    WindowTitleBuffer t;
    EXPECT_EQ(t.change("Viewer", "loading", "C:\\objects\\a.pel", "Qiv Player"), "a.pel - Qiv Player [loading]");
    EXPECT_EQ(t.change("a.pel - Qiv Player [loading]", "50%", nullptr, "Qiv Player"), "a.pel - Qiv Player [50%]");
    EXPECT_EQ(t.base(), "a.pel - Qiv Player");
    // Without extra text the base comes back and the buffer empties.
    EXPECT_EQ(t.change("a.pel - Qiv Player [50%]", nullptr, nullptr, "Qiv Player"), "a.pel - Qiv Player");
    EXPECT_TRUE(t.empty());
    // An empty buffer starts from the window's title.
    EXPECT_EQ(t.change("Frame", "busy", "", "Qiv Player"), "Frame [busy]");
    EXPECT_EQ(t.change("Frame [busy]", "", nullptr, "Qiv Player"), "Frame");
    EXPECT_EQ(t.change("x", nullptr, "D:/o/b.qiv", "P"), "b.qiv - P");
}

TEST(WindowTitle, TitlesAreBounded) {
    WindowTitleBuffer t;
    const std::string longTitle(2000, 'T');
    std::string title = t.change(longTitle, std::string(3000, 'e').c_str(), nullptr, "P");
    EXPECT_EQ(title.size(), kViewerTitleMax);
    EXPECT_EQ(t.base().size(), kViewerTitleMax);
    title = t.change(title, nullptr, (std::string(5000, 'p') + ".pel").c_str(), "P");
    EXPECT_LE(title.size(), kViewerTitleMax);
}

#include "tickers.h"

#include <gtest/gtest.h>

namespace imaging {
namespace {

TEST(ScrollingMessage, FieldsBetweenTheirMarkers) {
    const TickerText t = ParseScrollingMessage("/fc|65280/fh|-20/fn|Arial/fs|12/ft|0110/bc|0/sp|3/sm|Hello there/eo|");
    EXPECT_EQ(65280u, t.font.colour);
    EXPECT_EQ(-20, t.font.height);
    EXPECT_EQ("Arial", t.font.name);
    EXPECT_EQ(12, t.font.size);
    EXPECT_FALSE(t.font.bold);
    EXPECT_TRUE(t.font.italic);
    EXPECT_TRUE(t.font.underline);
    EXPECT_FALSE(t.font.strikeOut);
    EXPECT_EQ(0u, t.background);
    EXPECT_EQ(3, t.speed);
    ASSERT_EQ(1u, t.lines.size());
    EXPECT_EQ("Hello there", t.lines[0]);
}

TEST(ScrollingMessage, DefaultsAndTheInvalidFormatText) {
    struct Case {
        const char* text;
        const char* message;
        int speed;
    } cases[] = {
        {"/sm|just this/eo|", "just this", 1},
        {"/sp|x/fh|/sm|a/eo|", "a", 1},           // unreadable fields keep their defaults
        {"/sp|-4/sm|a/eo|", "a", 0},              // a negative speed would stop the divider
        {"/sm|no end", " Invallid message format ! ", 1},
        {"", " Invallid message format ! ", 1},
    };
    for (const Case& c : cases) {
        const TickerText t = ParseScrollingMessage(c.text);
        ASSERT_EQ(1u, t.lines.size()) << c.text;
        EXPECT_EQ(c.message, t.lines[0]) << c.text;
        EXPECT_EQ(c.speed, t.speed) << c.text;
        EXPECT_EQ(255u, t.font.colour) << c.text;
        EXPECT_EQ(-13, t.font.height) << c.text;
        EXPECT_EQ("SYSTEM", t.font.name) << c.text;
        EXPECT_TRUE(t.font.bold) << c.text;
        EXPECT_EQ(128u, t.background) << c.text;
    }
    EXPECT_EQ("  Hi ", PaddedMessage("Hi"));
    EXPECT_EQ("  Hi ", PaddedMessage("  Hi "));
    EXPECT_EQ("  ", PaddedMessage(""));
}

TEST(CreditMessage, NumberedLinesThenTheCredits) {
    const TickerText t = ParseCreditMessage("unused\r\n16711680\r\n-16\r\nCourier\r\n10\r\n0001\r\n255\r\n2\r\n"
                                            "First\r\n\r\nThird");
    EXPECT_EQ(16711680u, t.font.colour);
    EXPECT_EQ(-16, t.font.height);
    EXPECT_EQ("Courier", t.font.name);
    EXPECT_TRUE(t.font.strikeOut);
    EXPECT_FALSE(t.font.bold);
    EXPECT_EQ(255u, t.background);
    EXPECT_EQ(2, t.speed);
    EXPECT_EQ((std::vector<std::string>{"First", "", "Third"}), t.lines);
    // A short file keeps the defaults and has no credits.
    const TickerText s = ParseCreditMessage("x\n123\n");
    EXPECT_EQ(123u, s.font.colour);
    EXPECT_EQ("SYSTEM", s.font.name);
    EXPECT_TRUE(s.lines.empty());
}

TEST(Tickers, MoveOnEveryPassingTickAndWrap) {
    // Speed 2: every third tick moves one pixel.
    ScrollTicker scroll(5, 10, 2);
    EXPECT_EQ(10, scroll.x());
    int moved = 0;
    for (int i = 0; i < 9; ++i) moved += scroll.tick();
    EXPECT_EQ(3, moved);
    EXPECT_EQ(7, scroll.x());
    // Leaves the control by its width, then starts at the right edge again.
    ScrollTicker fast(5, 10, 0);
    for (int i = 0; i < 14; ++i) fast.tick();
    EXPECT_EQ(-4, fast.x());
    fast.tick();
    EXPECT_EQ(10, fast.x());

    // Lines of height 10 in a control 20 high: a line leaves after 20 + 10 + 5 steps.
    CreditTicker credits(2, 10, 20, 0);
    for (int i = 0; i < 34; ++i) credits.tick();
    EXPECT_EQ(0, credits.line());
    EXPECT_EQ(-14, credits.y());
    credits.tick();
    EXPECT_EQ(1, credits.line());
    EXPECT_EQ(20, credits.y());
    for (int i = 0; i < 35; ++i) credits.tick();
    EXPECT_EQ(0, credits.line());  // the first after the last
    CreditTicker none(0, 10, 20, 0);  // no lines: stays on line 0
    for (int i = 0; i < 40; ++i) none.tick();
    EXPECT_EQ(0, none.line());
}

}  // namespace
}  // namespace imaging

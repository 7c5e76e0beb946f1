#include "clickstate.h"

#include <gtest/gtest.h>

using namespace qivctl;

TEST(ClickState, KeyFlags) {
    KeysDown k;
    EXPECT_EQ(keyStateFlags(k), 0);
    k.shift = k.leftShift = true;
    EXPECT_EQ(keyStateFlags(k), kKeyShift | kKeyLShift);
    k = KeysDown{};
    k.control = k.rightControl = k.menu = true;
    EXPECT_EQ(keyStateFlags(k), 2 | 4 | 64);
}

// A press without a drag fires Click; a press that starts a drag (by moving past the drag
// distance, or by Control or Shift) fires nothing, unless modifier keys are held at the
// release: ClickWithKeys. Nothing while not ready, over no object or in walk-through.
TEST(ClickState, ReleaseEvents) {
    struct Case {
        int32_t pressKeys, moveX, releaseKeys;
        bool ready, over, walk;
        ClickEvent expected;
    };
    const Case cases[] = {
        {0, 0, 0, true, true, false, ClickEvent::Click},
        {0, 2, 0, true, true, false, ClickEvent::Click},          // within the drag distance
        {0, 4, 0, true, true, false, ClickEvent::None},           // a rotation drag
        {kKeyControl, 0, 0, true, true, false, ClickEvent::None},  // a zoom drag
        {kKeyShift, 0, 0, true, true, false, ClickEvent::None},    // a pan drag
        {kKeyControl, 0, kKeyControl, true, true, false, ClickEvent::ClickWithKeys},
        {0, 9, kKeyMenu, true, true, false, ClickEvent::ClickWithKeys},
        {0, 0, 0, false, true, false, ClickEvent::None},
        {0, 0, 0, true, false, false, ClickEvent::None},
        {0, 0, kKeyShift, true, true, true, ClickEvent::None},
    };
    for (const Case& c : cases) {
        ClickTracker t;
        t.press(10, 10, c.pressKeys);
        t.move(10 + c.moveX, 10, true, 4, 4);
        EXPECT_EQ(t.release(c.releaseKeys, c.ready, c.over, c.walk), c.expected)
            << c.pressKeys << " " << c.moveX << " " << c.releaseKeys;
        EXPECT_FALSE(t.pressed());
    }
    // Moves without the button, or before any press, start nothing.
    ClickTracker t;
    t.move(50, 50, true, 4, 4);
    t.press(0, 0, 0);
    t.move(50, 50, false, 4, 4);
    EXPECT_FALSE(t.dragStarted());
    EXPECT_EQ(t.release(0, true, true, false), ClickEvent::Click);
}

TEST(ClickState, SubAnimationOfAClick) {
    const uint8_t bytes[12] = {2, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0};
    const PartValues table(bytes, sizeof bytes);
    EXPECT_EQ(clickSubAnimation(true, table, 0), 2);
    EXPECT_EQ(clickSubAnimation(true, table, 1), -1);
    EXPECT_EQ(clickSubAnimation(true, table, 2), 1);
    EXPECT_EQ(clickSubAnimation(true, table, 3), -1);
    EXPECT_EQ(clickSubAnimation(true, table, -1), -1);
    EXPECT_EQ(clickSubAnimation(false, table, 0), -1);
    EXPECT_EQ(clickSubAnimation(true, PartValues(), 0), -1);

    EXPECT_TRUE(startAfterClick(ClickEvent::Click, 1, 2, false));
    EXPECT_FALSE(startAfterClick(ClickEvent::Click, 2, 2, false));
    EXPECT_FALSE(startAfterClick(ClickEvent::Click, -1, 2, false));
    EXPECT_FALSE(startAfterClick(ClickEvent::Click, 0, 2, true));
    EXPECT_FALSE(startAfterClick(ClickEvent::ClickWithKeys, 0, 2, false));
}

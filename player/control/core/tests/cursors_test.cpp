#include "cursors.h"

#include <gtest/gtest.h>

using namespace qivctl;

TEST(Cursors, TypeTable) {
    using K = CursorChoice;
    struct {
        int32_t type;
        CursorChoice c;
    } cases[] = {
        {0, {K::Hidden, 0}},     {2, {K::System, 0}},      {3, {K::System, 1}},      {4, {K::System, 2}},
        {5, {K::NotSet, 0}},     {6, {K::System, 3}},      {15, {K::System, 12}},    {16, {K::Resource, 214}},
        {17, {K::Resource, 204}}, {18, {K::Resource, 218}}, {19, {K::Resource, 219}}, {20, {K::Resource, 226}},
        {21, {K::Resource, 232}}, {31, {K::Resource, 242}}, {32, {K::Resource, 251}}, {33, {K::Resource, 252}},
        {34, {K::Resource, 255}}, {35, {K::Resource, 253}}, {36, {K::Resource, 254}}, {37, {K::NotSet, 0}},
        {-1, {K::NotSet, 0}},
    };
    for (const auto& c : cases) EXPECT_EQ(cursorForType(c.type), c.c) << c.type;
}

TEST(Cursors, ContextCursorFollowsTheState) {
    CursorState s;
    EXPECT_EQ(contextCursorType(s), CursorRot);
    s.overMovable = true;
    EXPECT_EQ(contextCursorType(s), CursorGrab);
    s.overAnimation = true;
    EXPECT_EQ(contextCursorType(s), CursorAutoAnim);
    s.pressed = DragKind::Pan;
    EXPECT_EQ(contextCursorType(s), CursorPan);
    s.objectGrabbed = true;
    EXPECT_EQ(contextCursorType(s), CursorGrabbed);
    s.heldHidesCursor = true;
    EXPECT_EQ(contextCursorType(s), CursorNone);
    s.zoomDrag = true;
    EXPECT_EQ(contextCursorType(s), CursorZoom);
    s.walkthrough = true;
    const int32_t fly[11] = {23, 29, 26, 27, 24, 28, 22, 21, 25, 30, 31};
    for (int32_t z = 0; z < 11; ++z) {
        s.flyZone = z;
        EXPECT_EQ(contextCursorType(s), fly[z]) << z;
    }
    s.flyZone = 99;
    EXPECT_EQ(contextCursorType(s), 24);
    s.headMoving = true;
    EXPECT_EQ(contextCursorType(s), CursorAim);
    s.insideFrame = false;
    EXPECT_EQ(cursorFor(CursorContext, s), CursorChoice{});
    s.insideFrame = true;
    s.renderingHeldBack = true;
    EXPECT_EQ(cursorFor(CursorContext, s), CursorChoice{});
    EXPECT_EQ(cursorFor(CursorErase, s), (CursorChoice{CursorChoice::Resource, 254}));
}

TEST(Cursors, SetCursorMessage) {
    SetCursorState ready;
    ready.objectLoaded = ready.viewSet = ready.clientHit = true;
    EXPECT_EQ(setCursorAction(ready), SetCursorAction::StateCursor);
    auto with = [&](auto change) {
        SetCursorState s = ready;
        change(s);
        return setCursorAction(s);
    };
    EXPECT_EQ(with([](SetCursorState& s) { s.statusText = true; }), SetCursorAction::WaitCursor);
    EXPECT_EQ(with([](SetCursorState& s) { s.clientHit = false; s.statusText = true; }), SetCursorAction::WaitCursor);
    EXPECT_EQ(with([](SetCursorState& s) { s.inputDead = true; }), SetCursorAction::NotHandled);
    EXPECT_EQ(with([](SetCursorState& s) { s.clientHit = false; }), SetCursorAction::NotHandled);
    EXPECT_EQ(with([](SetCursorState& s) { s.objectLoaded = false; }), SetCursorAction::NotHandled);
    EXPECT_EQ(with([](SetCursorState& s) { s.tooltip = true; }), SetCursorAction::NotHandled);
    EXPECT_EQ(with([](SetCursorState& s) { s.tooltip = s.cursorOverOther = true; }), SetCursorAction::EndHover);
    EXPECT_EQ(with([](SetCursorState& s) { s.ownWindow = false; }), SetCursorAction::NotHandled);
}

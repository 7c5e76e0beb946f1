#include "hoverprogress.h"

#include <gtest/gtest.h>

using namespace qivctl;

TEST(HoverTooltip, HostNameLocalNameAndTimeouts) {
    HoverTooltip h;
    auto e = h.beginHover(3, "Rad", "WHEEL");
    EXPECT_EQ(e.index, 3);
    EXPECT_EQ(e.localName, "Rad");
    EXPECT_EQ(e.databaseName, "WHEEL");
    auto t = h.afterEvent("", 750, true);
    EXPECT_TRUE(t.kill && t.start);
    EXPECT_EQ(t.delay, 750u);
    EXPECT_EQ(h.text(), "Rad");

    h.beginHover(4, "Rad", "WHEEL");
    t = h.afterEvent("Front wheel", 750, false);
    EXPECT_EQ(h.text(), "Front wheel");
    EXPECT_EQ(t.delay, 1u);

    // Tooltips off: the event still fires, no timer.
    e = h.beginHover(5, "Rad", "");
    EXPECT_EQ(e.index, 5);
    t = h.afterEvent("", -1, true);
    EXPECT_TRUE(t.kill);
    EXPECT_FALSE(t.start);

    // No names: no text, no timer.
    h.beginHover(6, "", "");
    EXPECT_FALSE(h.afterEvent("", 750, true).start);
    EXPECT_FALSE(h.hasText());

    // Nothing under the mouse: index -1, empty names, text gone.
    h.beginHover(2, "A", "B");
    h.afterEvent("", 100, true);
    e = h.beginHover(-7, "A", "B");
    EXPECT_EQ(e.index, -1);
    EXPECT_TRUE(e.localName.empty() && e.databaseName.empty());
    t = h.afterEvent("ignored", 100, true);
    EXPECT_FALSE(t.start);
    EXPECT_FALSE(h.hasText());

    // Names of an object file are bounded.
    e = h.beginHover(1, std::string(5000, 'n'), std::string("ab\0cd", 5));
    EXPECT_EQ(e.localName.size(), kHoverNameMax);
    EXPECT_EQ(e.databaseName, "ab");

    auto r = tooltipRect(100, 50, 40, 12);
    EXPECT_EQ(r.x, 107);
    EXPECT_EQ(r.y, 68);
    EXPECT_EQ(r.width, 44);
    EXPECT_EQ(r.height, 16);
    r = tooltipRect(INT32_MAX - 1, 0, -5, 0);
    EXPECT_EQ(r.x, INT32_MAX);
    EXPECT_EQ(r.width, 4);
}

TEST(Keys, DownCommands) {
    using K = KeyCommand::Kind;
    KeyContext view;
    view.objectLoaded = view.viewSet = true;
    KeyContext walk = view;
    walk.walkthrough = true;
    KeyContext walkShift = walk;
    walkShift.shift = true;
    walkShift.walkSpeed = 2;
    KeyContext walkCtrl = walk;
    walkCtrl.ctrl = true;
    struct {
        uint32_t key;
        const KeyContext* ctx;
        K kind;
        double amount;
        int32_t value;
    } cases[] = {
        {'R', &view, K::RayTraceFrame, 0, 0},
        {'0', &view, K::ToggleLight, 0, -1},
        {'1', &view, K::ToggleLight, 0, 0},
        {'5', &view, K::ToggleLight, 0, 4},
        {'6', &view, K::None, 0, 0},
        {0x25, &view, K::ChangePhi, kKeyAngleStep, 0},
        {0x27, &view, K::ChangePhi, -kKeyAngleStep, 0},
        {0x26, &view, K::ChangePsi, kKeyAngleStep, 0},
        {0x25, &walk, K::WalkTurn, -2.5, 0},
        {0x27, &walkCtrl, K::WalkTurn, 10, 0},
        {0x25, &walkShift, K::WalkSideways, -0.25, 0},
        {0x26, &walk, K::WalkForward, 0.25, 0},
        {0x28, &walkCtrl, K::WalkForward, -1, 0},
        {0x26, &walkShift, K::WalkLift, 0.25 * 2 * kWalkLiftFactor, 0},
        {0x10, &view, K::PanByKeyOn, 0, 0},
        {0x10, &walk, K::WalkZoneAtCursor, 0, 0},
        {0x11, &view, K::ZoomByKeyOn, 0, 0},
        {0x24, &view, K::ResetView, 0, 1},
        {0x60, &view, K::ResetView, 0, 0},
        {0x66, &view, K::MovePanX, 0.1, 0},
        {0x62, &view, K::MovePanY, -0.1, 0},
        {0x6B, &view, K::ZoomStep, 0, 1},
        {0x6D, &view, K::ZoomStep, 0, 2},
        {0x77, &view, K::ToggleMultiView, 0, 0},
        {0x78, &view, K::None, 0, 0},
        {0x1B, &walk, K::None, 0, 0},
        {0x71, &view, K::None, 0, 0},
        // Whole codes compared: nothing above 255 aliases a key below.
        {0x152, &view, K::None, 0, 0},
        {0xA5, &view, K::None, 0, 0},
    };
    for (const auto& c : cases) {
        KeyCommand k = keyDownCommand(c.key, *c.ctx);
        EXPECT_EQ(k.kind, c.kind) << std::hex << c.key;
        EXPECT_DOUBLE_EQ(k.amount, c.amount) << std::hex << c.key;
        EXPECT_EQ(k.value, c.value) << std::hex << c.key;
    }
    EXPECT_TRUE(keyDownCommand(0x25, view).viewKey);
    EXPECT_FALSE(keyDownCommand('R', view).viewKey);

    KeyContext moving = walk;
    moving.walkMoving = true;
    EXPECT_EQ(keyDownCommand(0x25, moving).kind, K::None);
    KeyContext dead = view;
    dead.inputDead = true;
    EXPECT_EQ(keyDownCommand(0x10, dead).kind, K::None);
    KeyContext grabbed = view;
    grabbed.objectGrabbed = true;
    EXPECT_EQ(keyDownCommand(0x11, grabbed).kind, K::None);
    EXPECT_EQ(keyDownCommand(0x10, grabbed).kind, K::PanByKeyOn);
    KeyContext sw = walk;
    sw.keyWalkSwitch = true;
    sw.hostStatusCallback = true;
    EXPECT_EQ(keyDownCommand(0x1B, sw).kind, K::WalkthroughOff);
    EXPECT_EQ(keyDownCommand(0x71, sw).kind, K::WalkthroughToggle);
    EXPECT_EQ(keyDownCommand(0x78, sw).kind, K::ToggleStatistics);
}

TEST(Keys, UpCommands) {
    KeyContext c;
    c.mouseDrag = true;
    auto u = keyUpCommand(0x10, c);
    EXPECT_TRUE(u.endPanByKey && u.restartRotation);
    c.rotateBlocked = true;
    u = keyUpCommand(0x11, c);
    EXPECT_TRUE(u.endZoomByKey);
    EXPECT_FALSE(u.restartRotation);
    c.walkthrough = true;
    EXPECT_TRUE(keyUpCommand(0x10, c).walkZoneAtCursor);
    c.zoomDrag = true;
    u = keyUpCommand(0x10, c);
    EXPECT_FALSE(u.walkZoneAtCursor || u.endPanByKey || u.restartRotation);
    c.panDrag = true;
    EXPECT_TRUE(keyUpCommand(0x10, c).walkZoneAtCursor);
    EXPECT_FALSE(keyUpCommand('A', c).restartRotation);
}

TEST(Keys, LightToggles) {
    struct Case {
        uint32_t lights;
        int32_t which;
        uint32_t out;
    } cases[] = {
        {31, 0, 30}, {30, 0, 31}, {31, 3, 23}, {31, 4, 15}, {15, 4, 31}, {31, -1, 0}, {0x10015, -1, 0x1001F},
        {0x1001F, -1, 0}, {31, 5, 31}, {31, -2, 31},
    };
    for (const Case& c : cases) EXPECT_EQ(lightsAfterToggle(c.lights, c.which), c.out) << c.lights << " " << c.which;
}

TEST(Progress, TextsAndUpdates) {
    EXPECT_EQ(formatTwoNumbers("%lu Byte of %lu Byte", 10, 4000000000u), "10 Byte of 4000000000 Byte");
    EXPECT_EQ(formatTwoNumbers("%lu von %lu (%s) 100%% %lu", 1, 2), "1 von 2 (%s) 100% %lu");
    EXPECT_EQ(formatTwoNumbers(std::string(400, 'x') + "%lu", 1, 2).size(), kStatusTextMax);

    ProgressDisplay p;
    p.begin("%lu Byte of %lu Byte", "Loading 3D geometry");
    auto u = p.show(0, 0, 0, false);
    EXPECT_TRUE(u.firstShow);
    EXPECT_FALSE(u.valueChanged);
    EXPECT_FALSE(p.show(0, 10, 0, false).firstShow);
    u = p.show(50, 500, 1000, false);
    EXPECT_TRUE(u.valueChanged && u.textChanged);
    EXPECT_EQ(u.statusText, "Loading 3D geometry: 500 Byte of 1000 Byte");
    EXPECT_FALSE(p.show(50, 510, 1000, false).valueChanged);
    bool wasEmpty = true;
    p.setStatusText(std::string(600, 'z'), &wasEmpty);
    EXPECT_FALSE(wasEmpty);
    EXPECT_EQ(p.statusText().size(), kStatusTextMax);
    p.end();
    EXPECT_TRUE(p.statusText().empty());

    // The caller hides the own bar; a status text of the binding does not.
    p.begin("%lu Byte of %lu Byte", "Loading 3D geometry");
    p.setStatusText("Connecting to host");
    EXPECT_EQ(p.statusText(), "Loading 3D geometry: Connecting to host");
    EXPECT_TRUE(p.show(1, 1, 100, false).firstShow);
    p.begin("%lu Byte of %lu Byte", "Loading textures");
    p.setStatusText("");
    EXPECT_EQ(p.statusText(), "Loading textures");
    EXPECT_FALSE(p.show(1, 1, 100, true).firstShow);

    uint32_t lo, hi;
    pumpRange(0x200, 0, &lo, &hi);
    EXPECT_EQ(lo, 0x200u);
    EXPECT_EQ(hi, 0x200u);
    pumpRange(0x200, 0x209, &lo, &hi);
    EXPECT_EQ(hi, 0x209u);
}

TEST(CallbackGate, LoadsStartedInsideACallbackWaitForItsEnd) {
    CallbackGate g;
    std::vector<std::string> log;
    EXPECT_TRUE(g.runOrDefer([&] { log.push_back("now"); }));
    {
        CallbackGate::Scope outer(g);
        {
            CallbackGate::Scope inner(g);
            EXPECT_FALSE(g.runOrDefer([&] { log.push_back("cancel"); }));
        }
        EXPECT_EQ(g.deferred(), 1u);
        g.runOrDefer([&] {
            log.push_back("start");
            // Work run after the callback may itself be inside a new callback.
            CallbackGate::Scope again(g);
            g.runOrDefer([&] { log.push_back("nested"); });
        });
        log.push_back("decoder still running");
    }
    EXPECT_EQ(log, (std::vector<std::string>{"now", "decoder still running", "cancel", "start", "nested"}));
    EXPECT_FALSE(g.inside());
    EXPECT_EQ(g.deferred(), 0u);
    {
        CallbackGate::Scope s(g);
        g.runOrDefer([] { throw 1; });
        g.runOrDefer([&] { log.push_back("after"); });
    }
    EXPECT_EQ(log.back(), "after");
}

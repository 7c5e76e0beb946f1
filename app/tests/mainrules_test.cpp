#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "apptest.h"
#include "keyhook.h"
#include "lights.h"
#include "recentfiles.h"
#include "standardviews.h"

namespace {

using namespace stellwerk;
using apptest::FakeViewer;

TEST(RecentFiles, TopOfTheListOnceAndCut) {
    RecentFiles r(3);
    for (const char* p : {"C:\\a.qiv", "C:\\b.qiv", "C:\\c.qiv", "c:\\A.QIV", "C:\\d.qiv"}) r.Opened(p);
    EXPECT_EQ((std::vector<std::string>{"C:\\d.qiv", "c:\\A.QIV", "C:\\c.qiv"}), r.Files());
    r.SetMax(0);
    EXPECT_EQ(4, r.Max());
    r.SetMax(2);
    EXPECT_EQ(2u, r.Files().size());

    std::set<std::string> files = {"C:\\d.qiv", "c:\\A.QIV"};
    auto exists = [&](const std::string& p) { return files.count(p) > 0; };
    EXPECT_FALSE(r.ReopenTarget(0, "c:\\D.qiv", exists)) << "the object open now";
    EXPECT_EQ("c:\\A.QIV", r.ReopenTarget(1, "C:\\d.qiv", exists).value_or(""));
    files.clear();
    EXPECT_FALSE(r.ReopenTarget(1, "", exists)) << "a file that is gone";
    EXPECT_FALSE(r.ReopenTarget(5, "", exists));

    EXPECT_EQ("C:\\", OpenDialogFolder(r, "D:\\saved\\", "C:\\Prog\\"));
    EXPECT_EQ("D:\\saved\\", OpenDialogFolder(RecentFiles(), "D:\\saved\\", "C:\\Prog\\"));
    EXPECT_EQ("C:\\Prog\\Projects\\", OpenDialogFolder(RecentFiles(), "", "C:\\Prog\\"));
}

TEST(StandardViews, TableAndParallelProjection) {
    struct Case {
        int kind;
        float psi, phi;
    } cases[] = {
        {kViewPlan, std::nextafter(90.0f, 0.0f), 180}, {kViewLeft, 0, 270},      {kViewRight, 0, 90},
        {kViewFront, 0, 180},                          {kViewBack, 0, 0},        {kViewIsometric, 35, 225},
        {kViewAxonometric, 45, 210},
    };
    for (const auto& c : cases) {
        FakeViewer v;
        SetStandardView(v, c.kind);
        EXPECT_EQ(c.psi, v.psi) << c.kind;
        EXPECT_EQ(c.phi, v.phi) << c.kind;
        EXPECT_TRUE(v.viewing.parallel) << c.kind;
        EXPECT_EQ(-10, v.viewing.eye.y) << "the camera stays";
    }
    EXPECT_LT(StandardViewAngles(kViewPlan).psi, 90.0f);
    FakeViewer v;
    ToggleProjection(v);
    EXPECT_TRUE(v.viewing.parallel);
    ToggleProjection(v);
    EXPECT_FALSE(v.viewing.parallel);
}

TEST(StandardViews, WalkingAndRotating) {
    FakeViewer v;
    v.viewing = {{1, 1, 1}, {1, 11, 1}, 0.5f, false};
    v.zoom = 3;
    EXPECT_TRUE(RotationTick(v, kRotWalkForward, 1));
    EXPECT_NEAR(9.5f, std::sqrt(DistanceSquared(v.viewing.eye, v.viewing.vrp)), 1e-5);
    EXPECT_EQ(3, v.zoom);
    EXPECT_EQ(0.5f, v.viewing.tanA);
    EXPECT_TRUE(RotationTick(v, kRotWalkBack, 1));
    EXPECT_NEAR(9.975f, std::sqrt(DistanceSquared(v.viewing.eye, v.viewing.vrp)), 1e-5);

    v.viewing.eye = v.viewing.vrp;  // no distance: the eye stays at 1 from the VRP
    Walk(v, -5);
    EXPECT_EQ(v.viewing.vrp.x, v.viewing.eye.x);
    v.viewing.parallel = true;
    v.log.clear();
    Walk(v, 5);
    EXPECT_TRUE(v.log.empty()) << "no walking under parallel projection";

    v.phi = 10;
    EXPECT_TRUE(RotationTick(v, kRotLeft, 4));
    EXPECT_EQ(6, v.phi);
    EXPECT_TRUE(RotationTick(v, kRotRight, 4));
    EXPECT_EQ(10, v.phi);
    EXPECT_FALSE(RotationTick(v, kRotIdle, 4));
}

TEST(Lights, KeysItemsAndDayNight) {
    uint32_t set = 0b00101;  // lights 1 and 3
    set = ToggleAllLights(set);
    EXPECT_EQ(31u, set);
    set = ToggleAllLights(set);
    EXPECT_EQ(0u, set);
    set = SetLight(set, 4, true);
    EXPECT_TRUE(LightOn(set, 4));
    EXPECT_EQ(16u, set);
    EXPECT_EQ(16u, SetLight(set, 7, true));

    SetProgramFolder("C:\\Prog\\");
    TGlobalIni g;
    std::set<std::string> files = {g.NightBmp};
    auto exists = [&](const std::string& p) { return files.count(p) > 0; };
    FakeViewer v;
    EXPECT_EQ(16u, ApplyDayNight(v, 1 | 16, g, exists)) << "light 1 on: night";
    EXPECT_EQ(g.NightClr, v.backColor);
    EXPECT_EQ(g.NightBmp, v.backUrl);
    EXPECT_EQ(1, v.backMode);
    EXPECT_EQ(16, v.lights);
    EXPECT_EQ(15u, ApplyDayNight(v, 16, g, exists)) << "then day";
    EXPECT_EQ(g.DayClr, v.backColor);
    EXPECT_EQ("", v.backUrl) << "the day picture does not exist";
    EXPECT_EQ(0, v.backMode);
    g.EnableClrBmp = false;
    v.backColor = 5;
    EXPECT_EQ(16u, ApplyDayNight(v, 15, g, exists));
    EXPECT_EQ(5u, v.backColor) << "backgrounds off: only the lights change";
}

TEST(KeyHook, Decisions) {
    const std::vector<ShortcutItem> items = {
        {'S', false, true},  // no handler
        {'O', true, false},  // disabled
        {'O', true, true},   // never reached: the first Ctrl+O item is disabled
        {'S', true, true},
        {'C', true, true},
        {'V', true, true},
    };
    struct Case {
        KeyDown key;
        KeyAction action;
        int index;
    } cases[] = {
        {{'0'}, KeyAction::ToggleAllLights, -1},
        {{'1'}, KeyAction::ClickLight, 0},
        {{'5'}, KeyAction::ClickLight, 4},
        {{'6'}, KeyAction::None, -1},
        {{'3', false, false, false, true}, KeyAction::None, -1},  // typing a digit in any edit field
        {{'S', true}, KeyAction::ClickMenuItem, 3},
        {{'O', true}, KeyAction::Swallow, 1},
        {{'X', true}, KeyAction::None, -1},
        {{'S'}, KeyAction::None, -1},
        {{'C', true}, KeyAction::ClickMenuItem, 4},
        {{'C', true, false, false, true}, KeyAction::None, -1},  // copy in an edit field
        {{'V', true, false, false, true}, KeyAction::None, -1},
        {{'S', true, false, false, true}, KeyAction::ClickMenuItem, 3},
        {{112}, KeyAction::Help, -1},
        {{112, false, true}, KeyAction::None, -1},
        {{112, true}, KeyAction::None, -1},
    };
    for (const auto& c : cases) {
        const KeyDecision d = DecideKey(c.key, items);
        EXPECT_EQ(int(c.action), int(d.action)) << "key " << c.key.key << " ctrl " << c.key.ctrl;
        EXPECT_EQ(c.index, d.index) << "key " << c.key.key;
    }
    EXPECT_EQ(int(TimerAction::Stop), int(DecideRotationTimer(MouseEvent::Move, 1)));
    EXPECT_EQ(int(TimerAction::Start), int(DecideRotationTimer(MouseEvent::LeftDown, 3)));
    EXPECT_EQ(int(TimerAction::Keep), int(DecideRotationTimer(MouseEvent::LeftDown, 0)));
}

}  // namespace

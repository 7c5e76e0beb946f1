#include "navcontrol.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

// A view of a 4 x 4 x 4 box from the front; records what the controller asks for.
class FakeHost : public NavHost {
public:
    FakeHost() {
        cam.eye = {0, -12, 0};
        cam.vrp = {0, 0, 0};
        cam.up = {0, 0, 1};
        cam.viewDist = 12;
        cam.nearDist = 1;
        cam.farDist = 40;
        cam.pixW = 400;
        cam.pixH = 300;
        cam.winXMin = -4;
        cam.winXMax = 4;
        cam.winYMin = -3;
        cam.winYMax = 3;
        camUpdate(&cam);
    }
    bool busy() override { return isBusy; }
    bool movementAllowed(uint32_t kind) override { return (blocked & kind) == 0; }
    void toFrame(float*, float* y) override {
        if (cam.rowsUp) *y = float(cam.pixH - 1) - *y;
    }
    bool objectShown() override { return shown; }
    bool walkThrough() override { return walk; }
    void clientSize(int* w, int* h) override {
        *w = width;
        *h = height;
    }
    const CamRecord& camera() override { return cam; }
    Box3 sceneBox() override { return {{-2, -2, -2}, {2, 2, 2}}; }
    void angles(float* p, float* s) override {
        *p = phi;
        *s = psi;
    }
    void setAngles(float p, float s) override {
        phi = p;
        psi = s;
        log.push_back("angles");
    }
    void zoomBy(float f) override { zooms.push_back(f); }
    void setView(const NavView& v) override {
        cam.eye = v.eye;
        cam.vrp = v.vrp;
        camUpdate(&cam);
        ++views;
    }
    void centreOnPickedPoint() override { log.push_back("centre"); }
    float panDepth(int, int) override { return navProject(cam.worldToPixel, cam.vrp).z; }
    int32_t movableObjectAt(int x, int) override { return x >= 300 ? 5 : -1; }
    void beginObjectDrag(int32_t slot, int, int, int, int) override { log.push_back("drag " + std::to_string(slot)); }
    void objectDragMove(int, int, bool right, int, bool) override { log.push_back(right ? "move across" : "move"); }
    void endObjectDrag(int, int) override { log.push_back("end"); }
    void grabObject(int32_t slot, int, int, bool restart) override {
        log.push_back((restart ? "regrab " : "grab ") + std::to_string(slot));
    }
    void objectDragDepth(float offset, int, int) override { depthOffsets.push_back(offset); }
    void setCapture() override { ++captures; }
    void releaseMouse() override { ++releases; }
    void walkZone(int z) override { zones.push_back(z); }
    void dragEnded() override { ++dragEnds; }

    CamRecord cam{};
    int width = 400, height = 300;
    bool isBusy = false, shown = true, walk = false;
    float phi = 1.0f, psi = 0.5f;
    std::vector<float> zooms;
    std::vector<std::string> log;
    std::vector<int> zones;
    std::vector<float> depthOffsets;
    int views = 0, captures = 0, releases = 0, dragEnds = 0;
    uint32_t blocked = 0;
};

constexpr int kDrag = 4;

}  // namespace

TEST(NavController, RotateDragAcrossTheWindowAndSpinOnQuickRelease) {
    FakeHost host;
    NavController nav(&host);
    nav.spin().keepSpinning = true;
    EXPECT_TRUE(nav.leftDown(0, 0, {}, 1000));
    EXPECT_EQ(host.captures, 0) << "the rotation waits for the mouse to move";
    nav.mouseMove(2, 0, {}, 1010, kDrag, kDrag);
    EXPECT_FALSE(nav.rotating()) << "within the drag distance";
    nav.mouseMove(10, 0, {}, 1020, kDrag, kDrag);
    ASSERT_TRUE(nav.rotating());
    EXPECT_EQ(host.captures, 1);
    EXPECT_EQ(host.log.front(), "centre");
    // The rotation is anchored where it started: a further full width is one full turn.
    nav.mouseMove(10 + 400, 0, {}, 1030, kDrag, kDrag);
    EXPECT_FLOAT_EQ(host.phi, 1.0f + NAV_TWO_PI);
    EXPECT_FLOAT_EQ(host.psi, 0.5f);
    nav.leftUp(410, 0, {}, 1050);
    EXPECT_FALSE(nav.rotating());
    EXPECT_EQ(host.releases, 1);
    EXPECT_EQ(host.dragEnds, 1);
    // The delta wraps to 2 pi, which is more than a degree: the spin runs.
    EXPECT_NEAR(nav.spin().speedPhi, NAV_TWO_PI, 1e-5);
    EXPECT_EQ(nav.spin().speedPsi, 0.0f);
    EXPECT_TRUE(nav.spinTick(1550));
    EXPECT_NEAR(host.phi, 1.0f + NAV_TWO_PI + 0.5f * NAV_TWO_PI, 1e-4);
    // A press stops it.
    nav.leftDown(5, 5, {}, 1600);
    EXPECT_EQ(nav.spin().speedPhi, 0.0f);
    EXPECT_FALSE(nav.spinTick(1700));
    nav.leftUp(5, 5, {}, 1610);

    // A release more than 75 ms after the last move never spins.
    nav.leftDown(0, 0, {}, 2000);
    nav.mouseMove(10, 0, {}, 2010, kDrag, kDrag);
    nav.mouseMove(100, 0, {}, 2020, kDrag, kDrag);
    nav.leftUp(100, 0, {}, 2096);
    EXPECT_EQ(nav.spin().speedPhi, 0.0f);
    EXPECT_EQ(nav.spin().speedPsi, 0.0f);
}

TEST(NavController, ZoomAndPanDrags) {
    FakeHost host;
    NavController nav(&host);
    // Ctrl: zoom once per message, whatever the distance.
    nav.leftDown(50, 100, {true, false}, 0);
    EXPECT_TRUE(nav.zooming());
    EXPECT_EQ(host.captures, 1);
    nav.mouseMove(50, 40, {true, false}, 10, kDrag, kDrag);
    nav.mouseMove(50, 40, {true, false}, 20, kDrag, kDrag);  // no vertical change
    nav.mouseMove(50, 41, {true, false}, 30, kDrag, kDrag);
    ASSERT_EQ(host.zooms.size(), 2u);
    EXPECT_FLOAT_EQ(host.zooms[0], NAV_ZOOM_UP);
    EXPECT_FLOAT_EQ(host.zooms[1], NAV_ZOOM_DOWN);
    nav.leftUp(50, 41, {}, 40);
    EXPECT_FALSE(nav.zooming());

    // Right drag zooms too; a right click without a drag is left to the context menu.
    EXPECT_TRUE(nav.rightDown(20, 20, {}, 50));
    EXPECT_FALSE(nav.rightUp(20, 20, {}, 60));
    nav.rightDown(20, 20, {}, 70);
    nav.mouseMove(20, 10, {}, 80, kDrag, kDrag);
    EXPECT_TRUE(nav.zooming());
    EXPECT_TRUE(nav.rightUp(20, 10, {}, 90));
    EXPECT_FALSE(nav.zooming());

    // Shift: pan keeps the point under the mouse.
    const Vec3 before = host.cam.vrp;
    const Vec3 grabbed = navUnproject(host.cam.pixelToWorld, 200, 150, navProject(host.cam.worldToPixel, before).z);
    nav.leftDown(200, 150, {false, true}, 100);
    EXPECT_TRUE(nav.panning());
    nav.mouseMove(260, 120, {false, true}, 110, kDrag, kDrag);
    const Vec3 under = navUnproject(host.cam.pixelToWorld, 260, 120, navProject(host.cam.worldToPixel, host.cam.vrp).z);
    EXPECT_NEAR(under.x, grabbed.x, 1e-3);
    EXPECT_NEAR(under.z, grabbed.z, 1e-3);
    EXPECT_GT(std::fabs(host.cam.vrp.x - before.x), 0.1f);
    nav.leftUp(260, 120, {}, 120);
}

TEST(NavController, ObjectDragAndIgnoredInput) {
    FakeHost host;
    NavController nav(&host);
    nav.leftDown(320, 100, {}, 0);
    nav.mouseMove(330, 100, {}, 10, kDrag, kDrag);
    EXPECT_EQ(nav.draggedObject(), 5);
    EXPECT_FALSE(nav.rotating());
    nav.rightDown(330, 100, {}, 20);
    nav.mouseMove(330, 90, {}, 30, kDrag, kDrag);
    EXPECT_TRUE(nav.rightUp(330, 70, {}, 40)) << "the left button still holds the drag";
    ASSERT_EQ(host.depthOffsets.size(), 1u);
    EXPECT_FLOAT_EQ(host.depthOffsets[0], 30.0f / 300.0f * NAV_DRAG_DEPTH_SCALE);
    nav.leftUp(330, 70, {}, 50);
    EXPECT_EQ(nav.draggedObject(), -1);
    const std::vector<std::string> want = {"drag 5", "move", "move across", "end"};
    EXPECT_EQ(host.log, want);

    // Busy or nothing shown: not handled; outside the window without a drag: capture released.
    host.isBusy = true;
    EXPECT_FALSE(nav.leftDown(10, 10, {}, 60));
    host.isBusy = false;
    host.shown = false;
    EXPECT_FALSE(nav.mouseMove(10, 10, {}, 70, kDrag, kDrag));
    host.shown = true;
    // Tiny windows: moves do nothing harmful.
    host.width = host.height = 0;
    nav.leftDown(0, 0, {}, 80);
    nav.mouseMove(0, 9, {}, 90, kDrag, kDrag);
    nav.leftUp(0, 9, {}, 95);
    EXPECT_TRUE(std::isfinite(host.phi) && std::isfinite(host.psi));
}

// A drag the control starts (a drop it placed) or moves on to another slot (grouping).
TEST(NavController, ObjectDragTakenOverByTheControl) {
    FakeHost host;
    NavController nav(&host);
    nav.dragObject(-1, 10, 10);
    EXPECT_EQ(nav.draggedObject(), -1);
    nav.dragObject(7, 20, 30);
    EXPECT_EQ(nav.draggedObject(), 7);
    EXPECT_TRUE(nav.captured());
    EXPECT_TRUE(nav.leftButton());
    EXPECT_EQ(host.captures, 1);
    nav.mouseMove(40, 30, {}, 10, kDrag, kDrag);
    nav.dragObject(9, 40, 30);
    EXPECT_EQ(nav.draggedObject(), 9);
    EXPECT_EQ(host.captures, 1) << "the capture is kept";
    nav.leftUp(50, 30, {}, 20);
    EXPECT_EQ(nav.draggedObject(), -1);
    EXPECT_EQ(host.releases, 1);
    const std::vector<std::string> want = {"grab 7", "move", "regrab 9", "end"};
    EXPECT_EQ(host.log, want);
}

TEST(NavController, WalkThroughWalksWhileHeld) {
    FakeHost host;
    host.walk = true;
    host.cam.eye = {0, -12, 0};
    NavController nav(&host);
    // Resting in the centre zone: no motion.
    nav.leftDown(200, 200, {}, 1000);
    EXPECT_TRUE(nav.walkButton());
    EXPECT_EQ(host.captures, 1);
    EXPECT_FALSE(nav.walkTick(200, 200, {}, 1100));
    EXPECT_EQ(host.views, 0);
    // Top row: forward, and on every tick while held.
    nav.mouseMove(200, 10, {}, 1200, kDrag, kDrag);
    EXPECT_EQ(nav.zone(), 1);
    const float y1 = host.cam.eye.y;
    EXPECT_GT(y1, -12.0f);
    EXPECT_TRUE(nav.walkTick(200, 10, {}, 1300));
    EXPECT_GT(host.cam.eye.y, y1);
    nav.leftUp(200, 10, {}, 1400);
    EXPECT_FALSE(nav.walkButton());
    EXPECT_EQ(host.releases, 1);
    // Without the button the zone follows the mouse but nothing moves.
    const int views = host.views;
    nav.mouseMove(10, 10, {}, 1500, kDrag, kDrag);
    EXPECT_EQ(nav.zone(), 0);
    EXPECT_EQ(host.views, views);
    // Shift: lift zones.
    nav.mouseMove(200, 10, {false, true}, 1600, kDrag, kDrag);
    EXPECT_EQ(nav.zone(), 9);
    // Right drag: walk-look, refused past 88 degrees.
    nav.rightDown(200, 150, {}, 1700);
    nav.mouseMove(200, 100, {}, 1710, kDrag, kDrag);
    EXPECT_TRUE(nav.walkLooking());
    for (int i = 0; i < 400; ++i) nav.mouseMove(200, 0, {}, 1720 + i, kDrag, kDrag);
    const Vec3 d{host.cam.vrp.x - host.cam.eye.x, host.cam.vrp.y - host.cam.eye.y, host.cam.vrp.z - host.cam.eye.z};
    const float elevation = std::atan2(d.z, std::sqrt(d.x * d.x + d.y * d.y));
    EXPECT_GT(elevation, 0.1f);
    EXPECT_LE(elevation, NAV_LOOK_LIMIT + 1e-4f);
    EXPECT_TRUE(nav.rightUp(200, 0, {}, 2200));
    EXPECT_FALSE(nav.walkLooking());
}

TEST(NavController, PanWithRowsRunningUpwardsKeepsThePointUnderTheMouse) {
    FakeHost host;
    host.cam.rowsUp = 1;
    camUpdate(&host.cam);
    NavController nav(&host);
    auto underMouse = [&](int x, int y) {
        float fx = float(x), fy = float(y);
        host.toFrame(&fx, &fy);
        return navUnproject(host.cam.pixelToWorld, fx, fy, navProject(host.cam.worldToPixel, host.cam.vrp).z);
    };
    const Vec3 grabbed = underMouse(200, 150);
    nav.leftDown(200, 150, {false, true}, 0);
    nav.mouseMove(230, 100, {false, true}, 10, kDrag, kDrag);
    const Vec3 under = underMouse(230, 100);
    EXPECT_NEAR(under.x, grabbed.x, 1e-3);
    EXPECT_NEAR(under.z, grabbed.z, 1e-3);
    EXPECT_LT(host.cam.vrp.z, -0.1f) << "the mouse went up: the scene follows it, the camera goes down";
}

TEST(NavController, MovementMaskBlocksWhatItNames) {
    FakeHost host;
    NavController nav(&host);
    nav.spin().keepSpinning = true;
    // Rotation blocked: a plain drag turns nothing and stays a click.
    host.blocked = NavMoveRotate;
    nav.leftDown(0, 0, {}, 0);
    nav.mouseMove(50, 0, {}, 10, kDrag, kDrag);
    nav.mouseMove(100, 0, {}, 20, kDrag, kDrag);
    EXPECT_FALSE(nav.rotating());
    EXPECT_FALSE(nav.dragStarted());
    EXPECT_EQ(host.phi, 1.0f);
    nav.leftUp(100, 0, {}, 30);
    EXPECT_EQ(nav.spin().speedPhi, 0.0f);
    // Pan stays possible; Shift released during the pan does not turn it into a rotation.
    nav.leftDown(200, 150, {false, true}, 100);
    EXPECT_TRUE(nav.panning());
    nav.restartRotation(210, 150);
    EXPECT_FALSE(nav.rotating());
    nav.leftUp(210, 150, {}, 110);
    // Zoom blocked: Ctrl and right drags do not zoom; the right drag still keeps its menu away.
    host.blocked = NavMoveZoom;
    nav.leftDown(50, 100, {true, false}, 200);
    nav.mouseMove(50, 40, {true, false}, 210, kDrag, kDrag);
    EXPECT_FALSE(nav.zooming());
    nav.leftUp(50, 40, {}, 220);
    nav.rightDown(20, 20, {}, 300);
    nav.mouseMove(20, 5, {}, 310, kDrag, kDrag);
    EXPECT_FALSE(nav.zooming());
    EXPECT_TRUE(nav.rightUp(20, 5, {}, 320));
    EXPECT_TRUE(host.zooms.empty());
    // Walk blocked: the zone follows the mouse, the camera stays.
    host.blocked = NavMoveWalk;
    host.walk = true;
    nav.leftDown(200, 10, {}, 400);
    nav.mouseMove(200, 5, {}, 450, kDrag, kDrag);
    nav.walkTick(200, 5, {}, 500);
    EXPECT_EQ(nav.zone(), 1);
    EXPECT_EQ(host.views, 0);
    nav.leftUp(200, 5, {}, 550);
}

TEST(NavController, ModifierKeysSwitchARunningDrag) {
    FakeHost host;
    NavController nav(&host);
    nav.leftDown(0, 0, {}, 0);
    nav.mouseMove(10, 0, {}, 10, kDrag, kDrag);
    ASSERT_TRUE(nav.rotating());
    // Shift: the drag pans from the cursor on.
    nav.panByKey(true, 10, 0);
    EXPECT_TRUE(nav.panning());
    EXPECT_FALSE(nav.rotating());
    const int views = host.views;
    nav.mouseMove(40, 20, {false, true}, 20, kDrag, kDrag);
    EXPECT_GT(host.views, views);
    // Released: the rotation restarts from the current angles at the cursor.
    nav.panByKey(false, 40, 20);
    nav.restartRotation(40, 20);
    EXPECT_TRUE(nav.rotating());
    const float phi = host.phi;
    nav.mouseMove(40, 20, {}, 30, kDrag, kDrag);
    EXPECT_FLOAT_EQ(host.phi, phi) << "anchored at the cursor";
    // Ctrl: zoom from the cursor's row.
    nav.zoomByKey(true, 40, 20);
    EXPECT_TRUE(nav.zooming());
    nav.mouseMove(40, 10, {true, false}, 40, kDrag, kDrag);
    ASSERT_EQ(host.zooms.size(), 1u);
    EXPECT_FLOAT_EQ(host.zooms[0], NAV_ZOOM_UP);
    nav.leftUp(40, 10, {}, 50);
    // Without a drag the keys only set their state.
    nav.panByKey(true, 0, 0);
    EXPECT_TRUE(nav.panByKey());
    EXPECT_FALSE(nav.panning());
}

TEST(NavController, LostCaptureEndsTheButtonsButAnObjectDragTakesItBack) {
    FakeHost host;
    NavController nav(&host);
    nav.leftDown(0, 0, {true, false}, 0);
    ASSERT_TRUE(nav.captured());
    nav.captureLost();
    EXPECT_FALSE(nav.captured());
    EXPECT_FALSE(nav.leftButton());
    nav.leftUp(0, 0, {}, 5);
    nav.leftDown(320, 100, {}, 10);
    nav.mouseMove(330, 100, {}, 20, kDrag, kDrag);
    ASSERT_EQ(nav.draggedObject(), 5);
    const int captures = host.captures;
    nav.captureLost();
    EXPECT_EQ(host.captures, captures + 1);
    nav.leftUp(330, 100, {}, 30);
}

TEST(NavController, WalkThroughStepTimeBase) {
    FakeHost host;
    host.cam.eye = {0, -12, 0};  // outside the box: step base = its diagonal
    NavController nav(&host);
    const float r = navStepBase(host.sceneBox(), host.cam.eye);
    struct Step {
        uint32_t now;
        float factor;  // of the plain step
    } steps[] = {{5000, 1.0f}, {5300, 300 * 0.006666667f}, {60000, 1000 * 0.006666667f}};
    for (const Step& st : steps) {
        const float y = host.cam.eye.y;
        ASSERT_TRUE(nav.walkThroughStep(2, 1.0f, st.now));
        EXPECT_NEAR(host.cam.eye.y - y, navStepLength(1.0f, r) * st.factor, 1e-4) << st.now;
    }
    EXPECT_FALSE(nav.walkThroughStep(12, 1.0f, 60100)) << "unknown direction";
    // Keys walk without time scaling.
    const float y = host.cam.eye.y;
    nav.walkMotion(NavMotion::Forward, 0.25f, 90000);
    EXPECT_NEAR(host.cam.eye.y - y, navStepLength(0.25f, r), 1e-5);
}

// Walk-through by mouse and by WalkThroughStep, object drags with their move events, the
// keyboard, the user-movement mask, the small picture of SaveMiniBitmap and tiny windows.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "dispids.h"
#include "navfixture.h"
#include "navhost_win.h"
#include "navigation.h"
#include "picks.h"
#include "window_win.h"

namespace {

constexpr float kDegToRad = 0.017453292f;

float horizontalDistance(const Vec3& a, const Vec3& b) { return std::hypot(a.x - b.x, a.y - b.y); }

BSTR bstrOf(const std::string& s) {
    std::wstring w(s.begin(), s.end());
    return SysAllocString(w.c_str());
}

std::string tempFile(const char* name) {
    char base[MAX_PATH];
    GetTempPathA(sizeof base, base);
    std::string path = std::string(base) + name;
    DeleteFileA(path.c_str());
    return path;
}

std::string readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

class NavInput : public qivtest::NavFixture {
protected:
    void SetUp() override {
        NavFixture::SetUp();
        ASSERT_EQ(S_OK, qivtest::Connect(p2_, DIID__QivPlayerEvents, &events_, &eventCookie_));
        ASSERT_EQ(S_OK, qivtest::Connect(p2_, IID_IPropertyNotifySink, &notify_, &notifyCookie_));
    }
    void TearDown() override {
        qivtest::Disconnect(p2_, DIID__QivPlayerEvents, eventCookie_);
        qivtest::Disconnect(p2_, IID_IPropertyNotifySink, notifyCookie_);
        NavFixture::TearDown();
    }
    // The world point under a client point at a pixel depth.
    Vec3 worldAt(int x, int y, float depth) {
        const QivControlState& s = ctl_->state();
        return navUnproject(s.camera.pixelToWorld, float(x), float(s.frameHeight - 1 - y), depth);
    }
    int eventCount(DISPID id) const {
        int n = 0;
        for (const auto& e : events_.events) n += e.id == id;
        return n;
    }
    const qivtest::EventRecord* lastEvent(DISPID id) const {
        for (auto it = events_.events.rbegin(); it != events_.events.rend(); ++it)
            if (it->id == id) return &*it;
        return nullptr;
    }
    static float r4(const std::string& arg) { return std::stof(arg.substr(3)); }

    qivtest::EventSink events_{DIID__QivPlayerEvents};
    qivtest::NotifySink notify_;
    DWORD eventCookie_ = 0, notifyCookie_ = 0;
};

}  // namespace

TEST_F(NavInput, WalkThroughByMouseAndByStep) {
    ASSERT_TRUE(load());
    QivControlState& s = ctl_->state();
    ASSERT_EQ(S_OK, p2_->put_Walkthrough(VARIANT_TRUE));
    const int w = client_.right, h = client_.bottom;
    const Box3 box = ctl_->win().sceneBox;

    // WalkThroughStep: forward by the step rule, then a lift by exactly howFar.
    VARIANT_BOOL ok = VARIANT_FALSE;
    const Vec3 eye2 = s.camera.eye;
    const float r2 = navStepBase(box, eye2);
    ASSERT_EQ(S_OK, p2_->WalkThroughStep(qivWalkForward, 2.0f, &ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    EXPECT_NEAR(horizontalDistance(s.camera.eye, eye2), navStepLength(2.0f, r2), 1e-3)
        << "a first step is not scaled by time";
    const float z = s.camera.eye.z, vz = s.camera.vrp.z;
    ASSERT_EQ(S_OK, p2_->WalkThroughStep(qivWalkLiftUp, 0.5f, &ok));
    EXPECT_FLOAT_EQ(s.camera.eye.z, z + 0.5f);
    EXPECT_FLOAT_EQ(s.camera.vrp.z, vz + 0.5f);
    // Turning keeps the eye; unknown directions move nothing but answer true.
    const Vec3 eye3 = s.camera.eye;
    ASSERT_EQ(S_OK, p2_->WalkThroughStep(qivWalkRight, 10.0f, &ok));
    EXPECT_EQ(s.camera.eye.x, eye3.x);
    ASSERT_EQ(S_OK, p2_->WalkThroughStep(qivWalkThroughDirection(42), 1.0f, &ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    EXPECT_EQ(s.camera.eye.x, eye3.x);
    // A distance that is not finite moves nothing, without an error.
    ok = VARIANT_FALSE;
    EXPECT_EQ(S_OK, p2_->WalkThroughStep(qivWalkForward, NAN, &ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    EXPECT_EQ(s.camera.eye.x, eye3.x);
    EXPECT_EQ(s.camera.eye.y, eye3.y);
    EXPECT_EQ(E_POINTER, p2_->WalkThroughStep(qivWalkForward, 1.0f, nullptr));
    // The top row walks forward, 100 ms after the press: the step of the step rule, scaled by time.
    const Vec3 eye0 = s.camera.eye;
    const float r = navStepBase(box, eye0);
    const int y = 5, u = (h + 1) / 2;
    ASSERT_TRUE(send(WM_LBUTTONDOWN, w / 2, y, 1000));
    EXPECT_TRUE(ctl_->navWalking());
    EXPECT_EQ(s.camera.eye.x, eye0.x) << "the press walks no step";
    send(WM_MOUSEMOVE, w / 2, y, 1100);
    const float want = navStepLength(float(u - y) / float(u), r) * 100 * 0.006666667f;
    EXPECT_NEAR(horizontalDistance(s.camera.eye, eye0), want, want * 1e-3);
    EXPECT_FLOAT_EQ(s.camera.eye.z, eye0.z);
    EXPECT_EQ(s.walkZone, 1);
    send(WM_LBUTTONUP, w / 2, y, 1100);
    EXPECT_FALSE(ctl_->navWalking());
    // The centre zone stands still.
    const Vec3 eye1 = s.camera.eye;
    send(WM_LBUTTONDOWN, w / 2, h * 5 / 8, 2000);
    send(WM_MOUSEMOVE, w / 2, h * 5 / 8, 2100);
    send(WM_LBUTTONUP, w / 2, h * 5 / 8, 2100);
    EXPECT_EQ(s.walkZone, 4);
    EXPECT_EQ(s.camera.eye.x, eye1.x);

    EXPECT_TRUE(std::isfinite(s.camera.nearDist) && s.camera.nearDist > 0 && s.camera.farDist > s.camera.nearDist);
}

TEST_F(NavInput, ObjectDragFiresMoveEventsAndEndsWhereTheMathsSay) {
    ASSERT_TRUE(load());
    QivControlState& s = ctl_->state();
    int x = 0, y = 0;
    ASSERT_TRUE(pointOnObject(&x, &y));
    struct Case {
        uint32_t flags;
        bool events;
    } cases[] = {{1 | 0x20 | 0x40, true}, {1 | 2, false}};  // keep X: only y and z move
    for (const Case& c : cases) {
        s.slots[0].placement.m[12] = s.slots[0].placement.m[13] = s.slots[0].placement.m[14] = 0;
        scnSetPose(s.slots[0].node, &s.slots[0].placement, s.slots[0].node->reqTime);
        s.slots[0].moveFlags = c.flags;
        events_.events.clear();
        const QivPick grab = ctl_->navigation().pickAt(x, y);
        ASSERT_TRUE(grab.hit);
        const float phi = s.phi;
        ASSERT_TRUE(send(WM_LBUTTONDOWN, x, y, 1000));
        send(WM_MOUSEMOVE, x + 20, y, 1010);
        EXPECT_EQ(ctl_->navController().draggedObject(), 0);
        send(WM_MOUSEMOVE, x + 40, y + 10, 1020);
        send(WM_LBUTTONUP, x + 40, y + 10, 1030);
        EXPECT_EQ(s.phi, phi) << "the drag moved the object, not the view";
        const Vec3 target = worldAt(x + 40, y + 10, grab.depth);
        Vec3 move{target.x - grab.world.x, target.y - grab.world.y, target.z - grab.world.z};
        if (c.flags & 2) move.x = 0;
        const float tolerance = 1e-3f * (1 + std::fabs(move.x) + std::fabs(move.y) + std::fabs(move.z));
        EXPECT_NEAR(s.slots[0].placement.m[12], move.x, tolerance) << c.flags;
        EXPECT_NEAR(s.slots[0].placement.m[13], move.y, tolerance) << c.flags;
        EXPECT_NEAR(s.slots[0].placement.m[14], move.z, tolerance) << c.flags;
        EXPECT_NEAR(s.slots[0].node->base.m[12], move.x, tolerance) << "the node was placed along";
        EXPECT_GT(std::fabs(move.y) + std::fabs(move.z), 0.01f);
        if (!c.events) {
            EXPECT_EQ(eventCount(qivdispid::event::ObjectMove) + eventCount(qivdispid::event::ObjectMoving), 0) << "no event flags, no events";
            continue;
        }
        std::vector<qivtest::EventRecord> moves;
        for (const auto& e : events_.events)
            if (e.id == qivdispid::event::ObjectMove || e.id == qivdispid::event::ObjectMoving) moves.push_back(e);
        ASSERT_GE(moves.size(), 3u);
        const qivtest::EventRecord& start = moves.front();
        ASSERT_EQ(start.id, 9);
        EXPECT_EQ(start.args[0], "I4:0");
        EXPECT_EQ(start.args[1], "I4:0");  // qivMvEvObjStart
        EXPECT_NEAR(r4(start.args[2]), grab.world.x, 1e-3);
        EXPECT_GE(eventCount(qivdispid::event::ObjectMoving), 2) << "ObjectMoving on every move";
        const qivtest::EventRecord* moving = lastEvent(qivdispid::event::ObjectMoving);
        ASSERT_EQ(moving->args.size(), 7u);
        EXPECT_NEAR(r4(moving->args[1]), target.x, 1e-2);
        const qivtest::EventRecord& end = moves.back();
        ASSERT_EQ(end.id, 9);
        EXPECT_EQ(end.args[1], "I4:1");  // qivMvEvObjEnd
        EXPECT_NEAR(r4(end.args[2]), target.x, 1e-2);
        EXPECT_NEAR(r4(end.args[3]), target.y, 1e-2);
        EXPECT_NEAR(r4(end.args[4]), target.z, 1e-2);
    }
    // The object under the mouse that may not move is turned with the view instead.
    s.slots[0].moveFlags = 0;
    const float phi = s.phi;
    send(WM_LBUTTONDOWN, x, y, 2000);
    send(WM_MOUSEMOVE, x + 20, y, 2010);
    send(WM_MOUSEMOVE, x + 40, y, 2020);
    send(WM_LBUTTONUP, x + 40, y, 2030);
    EXPECT_NE(s.phi, phi);
}

TEST_F(NavInput, CollisionCheckedDragStopsAtTheOtherObject) {
    ASSERT_TRUE(load());
    QivControlState& s = ctl_->state();
    int x = 0, y = 0;
    ASSERT_TRUE(pointOnObject(&x, &y));
    const QivPick first = ctl_->navigation().pickAt(x, y);
    // A second copy of the object beside the first, one and a half frame widths away in the
    // plane of the view: where the first one's grab point arrives when dragged there.
    const Vec3 step = worldAt(x + 1, y, first.depth), start = worldAt(x, y, first.depth);
    const float k = 1.5f * float(s.frameWidth);
    const Vec3 gap{(step.x - start.x) * k, (step.y - start.y) * k, (step.z - start.z) * k};
    const std::string path = qivtest::writeNavSample();
    ASSERT_EQ(1, ctl_->LoadLocalFile(path.c_str(), "second", false));
    ASSERT_EQ(s.usedCount, 2);
    s.slots[1].placement.m[12] = gap.x, s.slots[1].placement.m[13] = gap.y, s.slots[1].placement.m[14] = gap.z;
    scnSetPose(s.slots[1].node, &s.slots[1].placement, s.slots[1].node->reqTime);
    ASSERT_EQ(S_OK, p2_->ShowAll());  // the angles stay: planes of the view stay parallel
    ASSERT_TRUE(qivctl::collidingObjects(s, s.sceneRoots, 0).empty());
    // The grab point on the first object in the new view, and its place on the second.
    const Vec3 g = navProject(s.camera.worldToPixel, first.world);
    const int gx = int(std::lround(g.x)), gy = s.frameHeight - 1 - int(std::lround(g.y));
    const QivPick grab = ctl_->navigation().pickAt(gx, gy);
    ASSERT_TRUE(grab.hit && grab.slot == 0);
    const Vec3 onSecond{grab.world.x + gap.x, grab.world.y + gap.y, grab.world.z + gap.z};
    const Vec3 at = navProject(s.camera.worldToPixel, onSecond);
    const int tx = int(std::lround(at.x)), ty = s.frameHeight - 1 - int(std::lround(at.y));
    auto drag = [&](uint32_t flags, uint32_t t) {
        s.slots[0].placement.m[12] = s.slots[0].placement.m[13] = s.slots[0].placement.m[14] = 0;
        scnSetPose(s.slots[0].node, &s.slots[0].placement, s.slots[0].node->reqTime);
        s.slots[0].moveFlags = flags;
        send(WM_LBUTTONDOWN, gx, gy, t);
        for (int i = 1; i <= 8; ++i) send(WM_MOUSEMOVE, gx + (tx - gx) * i / 8, gy + (ty - gy) * i / 8, t + i);
        send(WM_LBUTTONUP, tx, ty, t + 10);
        return qivctl::collidingObjects(s, s.sceneRoots, 0);
    };
    EXPECT_FALSE(drag(1, 1000).empty()) << "without the check the object ends inside the other";
    EXPECT_TRUE(drag(1 | 0x80, 2000).empty());
    const float moved = std::hypot(s.slots[0].placement.m[12], s.slots[0].placement.m[13], s.slots[0].placement.m[14]);
    EXPECT_GT(moved, 0.2f * std::hypot(gap.x, gap.y, gap.z)) << "it moved up to the other object";
}

TEST_F(NavInput, PanKeepsThePickedPointUnderTheMouse) {
    ASSERT_TRUE(load());
    QivControlState& s = ctl_->state();
    int x = 0, y = 0;
    ASSERT_TRUE(pointOnObject(&x, &y));
    const QivPick grab = ctl_->navigation().pickAt(x, y);
    ASSERT_TRUE(send(WM_LBUTTONDOWN, x, y, 1000, false, true));
    send(WM_MOUSEMOVE, x + 30, y - 20, 1010, false, true);
    send(WM_LBUTTONUP, x + 30, y - 20, 1020, false, true);
    const Vec3 at = navProject(s.camera.worldToPixel, grab.world);
    EXPECT_NEAR(at.x, float(x + 30), 0.5f);
    EXPECT_NEAR(float(s.frameHeight - 1) - at.y, float(y - 20), 0.5f);
}

TEST_F(NavInput, KeysTurnWalkZoomAndSwitchLights) {
    ASSERT_TRUE(load());
    QivControlState& s = ctl_->state();
    HWND w = ctl_->hwnd();
    float phi0 = 0, psi0 = 0, phi = 0, psi = 0;
    p2_->get_Phi(&phi0);
    p2_->get_Psi(&psi0);
    notify_.changed.clear();
    SendMessageA(w, WM_KEYDOWN, VK_LEFT, 0);
    SendMessageA(w, WM_KEYUP, VK_LEFT, 0);
    SendMessageA(w, WM_KEYDOWN, VK_UP, 0);
    p2_->get_Phi(&phi);
    p2_->get_Psi(&psi);
    EXPECT_NEAR(std::remainder(phi - phi0, 360.0f), 5.625f, 1e-3);
    EXPECT_NEAR(psi - psi0, 5.625f, 1e-3);
    EXPECT_NE(std::find(notify_.changed.begin(), notify_.changed.end(), 13), notify_.changed.end());
    EXPECT_NE(std::find(notify_.changed.begin(), notify_.changed.end(), 14), notify_.changed.end());
    // Keypad plus zooms in by 0.93, minus out by 1.07.
    const float width = s.camera.winXMax - s.camera.winXMin;
    SendMessageA(w, WM_KEYDOWN, VK_ADD, 0);
    EXPECT_NEAR(s.camera.winXMax - s.camera.winXMin, width * 0.93f, width * 1e-4);
    SendMessageA(w, WM_KEYDOWN, VK_SUBTRACT, 0);
    EXPECT_NEAR(s.camera.winXMax - s.camera.winXMin, width * 0.93f * 1.07f, width * 1e-4);
    // "1" switches the first light, "0" all of them.
    SendMessageA(w, WM_KEYDOWN, '1', 0);
    EXPECT_EQ(s.lights, 30u);
    SendMessageA(w, WM_KEYDOWN, '0', 0);
    EXPECT_EQ(s.lights, 31u);
    SendMessageA(w, WM_KEYDOWN, '0', 0);
    EXPECT_EQ(s.lights, 0u);
    // A key code above 255 whose low byte is a view key does nothing.
    const float phi1 = s.phi;
    SendMessageA(w, WM_KEYDOWN, 0x100 | VK_LEFT, 0);
    EXPECT_EQ(s.phi, phi1);

    // F2 switches walk-through on and off, Escape only off.
    VARIANT_BOOL walk = VARIANT_FALSE;
    SendMessageA(w, WM_KEYDOWN, VK_F2, 0);
    p2_->get_Walkthrough(&walk);
    EXPECT_EQ(walk, VARIANT_TRUE);
    SendMessageA(w, WM_KEYDOWN, VK_ESCAPE, 0);
    SendMessageA(w, WM_KEYDOWN, VK_ESCAPE, 0);
    p2_->get_Walkthrough(&walk);
    EXPECT_EQ(walk, VARIANT_FALSE);

    // In walk-through the arrows walk: up is a step of 0.25 forward, Ctrl makes it 1.
    ASSERT_EQ(S_OK, p2_->put_Walkthrough(VARIANT_TRUE));
    const Box3 box = ctl_->win().sceneBox;
    Vec3 eye = s.camera.eye;
    SendMessageA(w, WM_KEYDOWN, VK_UP, 0);
    EXPECT_NEAR(horizontalDistance(s.camera.eye, eye), navStepLength(0.25f, navStepBase(box, eye)), 1e-4);
    eye = s.camera.eye;
    ctl_->KeyInput(WM_KEYDOWN, VK_UP, true, false);
    EXPECT_NEAR(horizontalDistance(s.camera.eye, eye), navStepLength(1.0f, navStepBase(box, eye)), 1e-4);
    // Shift with up lifts by step x speed x 0.0166.
    eye = s.camera.eye;
    ctl_->KeyInput(WM_KEYDOWN, VK_UP, false, true);
    EXPECT_NEAR(s.camera.eye.z - eye.z, 0.25f * 0.0166f, 1e-6);
    // Left turns left by 2.5 degrees about the eye.
    eye = s.camera.eye;
    const float heading = std::atan2(s.camera.vrp.y - eye.y, s.camera.vrp.x - eye.x);
    SendMessageA(w, WM_KEYDOWN, VK_LEFT, 0);
    EXPECT_EQ(s.camera.eye.x, eye.x);
    EXPECT_NEAR(std::remainder(std::atan2(s.camera.vrp.y - eye.y, s.camera.vrp.x - eye.x) - heading, 2 * 3.14159265f),
                -2.5f * kDegToRad, 1e-4);
}

TEST_F(NavInput, DisableUserMovementsBlocksWhatItNames) {
    ASSERT_TRUE(load());
    QivControlState& s = ctl_->state();
    LONG old = -1;
    EXPECT_EQ(E_POINTER, p2_->DisableUserMovements(1, nullptr));
    ASSERT_EQ(S_OK, p2_->DisableUserMovements(1, &old));
    EXPECT_EQ(old, 0);
    // Rotation: neither the drag nor the arrows turn the view; no spin is left behind.
    ASSERT_EQ(S_OK, p2_->put_KeepSpinning(VARIANT_TRUE));
    const float phi = s.phi, psi = s.psi;
    send(WM_LBUTTONDOWN, 20, 30, 1000);
    send(WM_MOUSEMOVE, 60, 50, 1010);
    send(WM_MOUSEMOVE, 120, 80, 1020);
    send(WM_LBUTTONUP, 120, 80, 1030);
    SendMessageA(ctl_->hwnd(), WM_KEYDOWN, VK_LEFT, 0);
    EXPECT_EQ(s.phi, phi);
    EXPECT_EQ(s.psi, psi);
    EXPECT_EQ(s.spinPhi, 0.0f);
    // Panning stays possible.
    ASSERT_EQ(S_OK, p2_->DisableUserMovements(2, &old));
    EXPECT_EQ(old, 1);
    const Vec3 vrp = s.camera.vrp;
    send(WM_LBUTTONDOWN, 100, 100, 2000, false, true);
    send(WM_MOUSEMOVE, 140, 120, 2010, false, true);
    send(WM_LBUTTONUP, 140, 120, 2020, false, true);
    EXPECT_GT(std::fabs(s.camera.vrp.x - vrp.x) + std::fabs(s.camera.vrp.y - vrp.y) + std::fabs(s.camera.vrp.z - vrp.z),
              1e-3f);
    // Zoom: no Ctrl drag, no zoom key.
    ASSERT_EQ(S_OK, p2_->DisableUserMovements(4, &old));
    EXPECT_EQ(old, 2);
    const float width = s.camera.winXMax - s.camera.winXMin;
    send(WM_LBUTTONDOWN, 50, 100, 3000, true);
    send(WM_MOUSEMOVE, 50, 60, 3010, true);
    send(WM_LBUTTONUP, 50, 60, 3020, true);
    SendMessageA(ctl_->hwnd(), WM_KEYDOWN, VK_ADD, 0);
    EXPECT_EQ(s.camera.winXMax - s.camera.winXMin, width);
    // Walk: the walk-through stands still, by mouse and by arrow.
    ASSERT_EQ(S_OK, p2_->DisableUserMovements(8, &old));
    ASSERT_EQ(S_OK, p2_->put_Walkthrough(VARIANT_TRUE));
    const Vec3 eye = s.camera.eye;
    send(WM_LBUTTONDOWN, client_.right / 2, 5, 4000);
    send(WM_MOUSEMOVE, client_.right / 2, 5, 4100);
    send(WM_LBUTTONUP, client_.right / 2, 5, 4200);
    SendMessageA(ctl_->hwnd(), WM_KEYDOWN, VK_UP, 0);
    EXPECT_EQ(s.camera.eye.x, eye.x);
    EXPECT_EQ(s.camera.eye.y, eye.y);
    ASSERT_EQ(S_OK, p2_->DisableUserMovements(0, &old));
    EXPECT_EQ(old, 8);
}

TEST_F(NavInput, SaveMiniBitmapWritesOnlyNewFiles) {
    VARIANT_BOOL ok = VARIANT_TRUE;
    const std::string path = tempFile("qivmini.bmp");
    BSTR name = bstrOf(path);
    EXPECT_EQ(E_POINTER, p2_->SaveMiniBitmap(name, nullptr));
    ASSERT_EQ(S_OK, p2_->SaveMiniBitmap(name, &ok));
    EXPECT_EQ(VARIANT_FALSE, ok) << "no frame yet";
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str()));
    ASSERT_TRUE(load());
    ASSERT_EQ(S_OK, p2_->SaveMiniBitmap(name, &ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    const std::string file = readFile(path);
    ASSERT_EQ(file.size(), 8246u);
    EXPECT_EQ(file.substr(0, 2), "BM");
    // The picture is the frame's: not all one colour.
    bool varied = false;
    for (size_t i = 56; i < file.size() && !varied; i += 2) varied = file.compare(i, 2, file, 54, 2) != 0;
    EXPECT_TRUE(varied);
    // An existing file stays as it was.
    {
        std::ofstream f(path, std::ios::binary | std::ios::trunc);
        f << "keep me";
    }
    ASSERT_EQ(S_OK, p2_->SaveMiniBitmap(name, &ok));
    EXPECT_EQ(VARIANT_FALSE, ok);
    EXPECT_EQ(readFile(path), "keep me");
    SysFreeString(name);
    DeleteFileA(path.c_str());
}

TEST_F(NavInput, TinyWindowsStayFinite) {
    ASSERT_TRUE(load());
    QivControlState& s = ctl_->state();
    for (int size : {1, 0}) {
        MoveWindow(ctl_->hwnd(), 0, 0, size, size, TRUE);
        qivtest::PumpMessages();
        send(WM_LBUTTONDOWN, 0, 0, 1000);
        send(WM_MOUSEMOVE, 5, 7, 1010);
        send(WM_MOUSEMOVE, 9, 12, 1020);
        send(WM_LBUTTONUP, 9, 12, 1030);
        send(WM_RBUTTONDOWN, 0, 0, 1100);
        send(WM_MOUSEMOVE, 0, 9, 1110);
        send(WM_RBUTTONUP, 0, 9, 1120);
        ctl_->KeyInput(WM_KEYDOWN, VK_LEFT, false, false);
        ASSERT_EQ(S_OK, p2_->put_Walkthrough(VARIANT_TRUE));
        send(WM_LBUTTONDOWN, 0, 0, 1200);
        send(WM_MOUSEMOVE, 0, 0, 1300);
        send(WM_LBUTTONUP, 0, 0, 1400);
        ctl_->KeyInput(WM_KEYDOWN, VK_UP, false, true);
        ASSERT_EQ(S_OK, p2_->put_Walkthrough(VARIANT_FALSE));
        EXPECT_TRUE(std::isfinite(s.phi) && std::isfinite(s.psi)) << size;
        EXPECT_TRUE(std::isfinite(s.camera.eye.x + s.camera.eye.y + s.camera.eye.z)) << size;
        EXPECT_TRUE(std::isfinite(s.camera.winXMax - s.camera.winXMin)) << size;
    }
}

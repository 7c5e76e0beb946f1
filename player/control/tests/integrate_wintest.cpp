// Where the control's parts meet: the hover pick behind the last-picked members, the Phi/Psi
// limits over navigation, the Lights value of the objects' own lights, object drags that
// grouping and drops take over, the 2D view in keys and export, the capture-released message,
// and redraws held back by EnableUpdate.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "dispids.h"
#include "frameticks.h"
#include "hosthooks_win.h"
#include "memstorage.h"
#include "modalscript.h"
#include "controlref.h"
#include "navfixture.h"
#include "navhost_win.h"
#include "navigation.h"
#include "pixeltest.h"
#include "persiststream.h"
#include "qiv_sample.h"
#include "render/light.h"
#include "render/renderer.h"
#include "scene/tests/pel_builder.h"
#include "slots.h"
#include "viewer_win.h"
#include "window_win.h"

namespace {

BSTR bstrOf(const std::string& s) {
    std::wstring w(s.begin(), s.end());
    return SysAllocString(w.c_str());
}

using Bytes = std::vector<uint8_t>;

void put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

// A property stream without records: the given inline block (kind 1: none), the extent.
Bytes contentsWith(const Bytes& inlineData) {
    Bytes b;
    put32(b, inlineData.empty() ? 1 : 2);
    if (!inlineData.empty()) {
        put32(b, uint32_t(inlineData.size()));
        b.insert(b.end(), inlineData.begin(), inlineData.end());
    }
    put32(b, 2540);
    put32(b, 2540);
    put32(b, 0xFFFFFFFFu);
    put32(b, 0);
    return b;
}

// Temporary files of the control's prefix in the user's temporary folder.
size_t temporaryFiles() {
    char dir[MAX_PATH] = {};
    GetTempPathA(sizeof dir, dir);
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((std::string(dir) + "VOV*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return 0;
    size_t n = 0;
    do ++n;
    while (FindNextFileA(h, &fd));
    FindClose(h);
    return n;
}

// A control of its own, not sited; released in full on scope exit.
struct Unsited {
    qivtest::ControlRef control = qivtest::ControlRef::create();
    IQivPlayer2* p2 = control.get();
    CQivPlayerCtl* ctl = control.ctl();
    template <class I>
    I* as() {
        I* i = nullptr;
        p2->QueryInterface(__uuidof(I), reinterpret_cast<void**>(&i));
        return i;
    }
};

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

class Integrate : public qivtest::NavFixture {
protected:
    void SetUp() override {
        NavFixture::SetUp();
        ASSERT_EQ(S_OK, qivtest::Connect(p2_, DIID__QivPlayerEvents, &events_, &eventCookie_));
    }
    void TearDown() override {
        qivtest::Disconnect(p2_, DIID__QivPlayerEvents, eventCookie_);
        NavFixture::TearDown();
    }
    // The real cursor onto a client point (the control reads it when it takes a drag over).
    void cursorTo(int x, int y) {
        POINT p{x, y};
        ClientToScreen(ctl_->hwnd(), &p);
        SetCursorPos(p.x, p.y);
    }
    Vec3 worldAt(int x, int y, float depth) {
        const QivControlState& s = ctl_->state();
        return navUnproject(s.camera.pixelToWorld, float(x), float(s.frameHeight - 1 - y), depth);
    }
    Vec3 curPos(LONG id) {
        Vec3 v{};
        VARIANT_BOOL ok = VARIANT_FALSE;
        EXPECT_EQ(S_OK, p2_->ObjectGetCurPos(id, &v.x, &v.y, &v.z, &ok));
        return v;
    }
    std::vector<qivtest::EventRecord> moveEvents() const {
        std::vector<qivtest::EventRecord> out;
        for (const auto& e : events_.events)
            if (e.id == qivdispid::event::ObjectMove) out.push_back(e);
        return out;
    }
    qivtest::EventSink events_{DIID__QivPlayerEvents};
    DWORD eventCookie_ = 0;
};

}  // namespace

// The hover pick under the mouse is the last pick that the members report.
TEST_F(Integrate, HoverPickIsTheLastPick) {
    ASSERT_TRUE(load());
    int x = 0, y = 0;
    ASSERT_TRUE(pointOnObject(&x, &y));
    for (int dx : {0, 6}) {
        const QivPick p = ctl_->navigation().pickAt(x + dx, y);
        ASSERT_TRUE(p.hit);
        send(WM_MOUSEMOVE, x + dx, y, 100);
        float wx = 0, wy = 0, wz = 0;
        ASSERT_EQ(S_OK, p2_->GetLastPickedPosition(qivCoordsWorld, &wx, &wy, &wz));
        EXPECT_NEAR(p.world.x, wx, 1e-4f);
        EXPECT_NEAR(p.world.y, wy, 1e-4f);
        EXPECT_NEAR(p.world.z, wz, 1e-4f);
        LONG material = -2, texture = -2;
        EXPECT_EQ(S_OK, p2_->get_LastPickedMaterial(&material));
        EXPECT_EQ(S_OK, p2_->get_LastPickedTexture(&texture));
        EXPECT_EQ(p.material, material);
        EXPECT_EQ(p.texture, texture);
        // In the object's own coordinates (placement identity) the same point.
        ASSERT_EQ(S_OK, p2_->GetLastPickedPosition(qivCoordsModell, &wx, &wy, &wz));
        EXPECT_NEAR(p.world.x, wx, 1e-3f);
    }
}

// SetPhiPsiRanges bounds the keys, the rotate drag and the spin: a turn that would leave
// the range is ignored whole.
TEST_F(Integrate, PhiPsiLimitsBoundNavigation) {
    ASSERT_TRUE(load());
    HWND w = ctl_->hwnd();
    float phi0 = 0, psi0 = 0;
    p2_->get_Phi(&phi0);
    p2_->get_Psi(&psi0);
    ASSERT_EQ(S_OK, p2_->SetPhiPsiRanges(phi0 - 8, phi0 + 8, psi0 - 8, psi0 + 8));
    float phi = 0, psi = 0;
    SendMessageA(w, WM_KEYDOWN, VK_LEFT, 0);
    p2_->get_Phi(&phi);
    EXPECT_NEAR(std::remainder(phi - phi0, 360.0f), 5.625f, 1e-3) << "inside: taken";
    SendMessageA(w, WM_KEYDOWN, VK_LEFT, 0);
    p2_->get_Phi(&phi);
    EXPECT_NEAR(std::remainder(phi - phi0, 360.0f), 5.625f, 1e-3) << "beyond: ignored";
    SendMessageA(w, WM_KEYDOWN, VK_DOWN, 0);
    SendMessageA(w, WM_KEYDOWN, VK_DOWN, 0);
    p2_->get_Psi(&psi);
    EXPECT_NEAR(psi - psi0, -5.625f, 1e-3);

    // A drag of half the window would turn 180 degrees: the view stays.
    const float phiBefore = ctl_->state().phi, psiBefore = ctl_->state().psi;
    const int x = client_.right / 4, y = client_.bottom / 2;
    send(WM_LBUTTONDOWN, x, y, 1000);
    send(WM_MOUSEMOVE, x + 10, y, 1010);
    send(WM_MOUSEMOVE, x + client_.right / 2, y, 1020);
    send(WM_LBUTTONUP, x + client_.right / 2, y, 1200);
    EXPECT_NEAR(std::remainder(ctl_->state().phi - phiBefore, 6.2831853f), 0.0f, 1e-4f);
    EXPECT_NEAR(ctl_->state().psi, psiBefore, 1e-4f);
    // A spin would leave the range as well.
    ASSERT_EQ(S_OK, p2_->put_SpinPhi(90));
    ctl_->navController().spinTick(GetTickCount() + 2000);
    EXPECT_NEAR(std::remainder(ctl_->state().phi - phiBefore, 6.2831853f), 0.0f, 1e-4f);
    ASSERT_EQ(S_OK, p2_->put_SpinPhi(0));
    // The Phi and Psi puts: outside ignored, inside taken; a put stops the spin.
    ASSERT_EQ(S_OK, p2_->put_Phi(phi0 + 20));
    ASSERT_EQ(S_OK, p2_->put_Psi(psi0 - 20));
    EXPECT_NEAR(ctl_->state().phi, phiBefore, 1e-4f);
    EXPECT_NEAR(ctl_->state().psi, psiBefore, 1e-4f);
    ASSERT_EQ(S_OK, p2_->put_SpinPsi(10));
    ASSERT_EQ(S_OK, p2_->put_Phi(phi0 - 3));
    p2_->get_Phi(&phi);
    EXPECT_NEAR(std::remainder(phi - phi0, 360.0f), -3.0f, 1e-3);
    float spin = 1;
    p2_->get_SpinPsi(&spin);
    EXPECT_EQ(0.0f, spin);

    // Limits off: the same drag turns.
    ASSERT_EQ(S_OK, p2_->SetPhiPsiRanges(-2000, -2000, 0, 90));
    send(WM_LBUTTONDOWN, x, y, 3000);
    send(WM_MOUSEMOVE, x + 10, y, 3010);
    send(WM_MOUSEMOVE, x + client_.right / 2, y, 3020);
    send(WM_LBUTTONUP, x + client_.right / 2, y, 3200);
    EXPECT_GT(std::fabs(std::remainder(ctl_->state().phi - phiBefore, 6.2831853f)), 1.0f);
}

// A paint during a held drag handles the mouse moves that wait in the queue first.
TEST_F(Integrate, PaintHandlesWaitingMovesOfAHeldDrag) {
    ASSERT_TRUE(load());
    HWND w = ctl_->hwnd();
    const int x = client_.right / 4, y = client_.bottom / 2;
    send(WM_LBUTTONDOWN, x, y, GetTickCount());
    send(WM_MOUSEMOVE, x + 10, y, GetTickCount());
    ASSERT_TRUE(ctl_->navController().captured()) << "a rotate drag";
    const float phi0 = ctl_->state().phi;
    PostMessageA(w, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x + 20, y));
    PostMessageA(w, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x + client_.right / 8, y));
    RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_GT(std::fabs(std::remainder(ctl_->state().phi - phi0, 6.2831853f)), 0.1f);
    MSG m;
    EXPECT_FALSE(PeekMessageA(&m, w, WM_MOUSEMOVE, WM_MOUSEMOVE, PM_NOREMOVE)) << "taken by the paint";
    send(WM_LBUTTONUP, x + client_.right / 8, y, GetTickCount());
    qivtest::PumpMessages();
}

// Lights 16 (and the key "5") switch the objects' own lights, the lower four bits the scene's.
TEST_F(Integrate, LightsSixteenSwitchesTheObjectsOwnLights) {
    pelb::TempDir dir("integrate lights");
    const std::string path = (dir / "lit.pel").string();
    pelb::writeFile(path, pelb::build(pelb::sample()));
    BSTR b = bstrOf(path);
    VARIANT_BOOL ok = VARIANT_FALSE;
    ASSERT_EQ(S_OK, p2_->LoadObject(b, &ok));
    SysFreeString(b);
    ASSERT_EQ(VARIANT_TRUE, ok);
    const ScnNode* node = ctl_->state().slots[0].node;
    ASSERT_TRUE(node && node->content && node->content->lightCount > 0 && node->lights);
    auto ownOn = [&] { return node->lights[0] && node->lights[0]->on != 0; };
    EXPECT_TRUE(ownOn()) << "Lights 31 at the start";
    ASSERT_EQ(S_OK, p2_->put_Lights(15));
    EXPECT_FALSE(ownOn());
    ASSERT_EQ(S_OK, p2_->put_Lights(16));
    EXPECT_TRUE(ownOn());
    ASSERT_EQ(S_OK, p2_->put_Lights(0x1000F));
    EXPECT_FALSE(ownOn()) << "only 16 counts";
    ASSERT_EQ(S_OK, p2_->put_Lights(31));
    SendMessageA(ctl_->hwnd(), WM_KEYDOWN, '5', 0);
    LONG lights = 0;
    p2_->get_Lights(&lights);
    EXPECT_EQ(15, lights);
    EXPECT_FALSE(ownOn());
    SendMessageA(ctl_->hwnd(), WM_KEYDOWN, '5', 0);
    EXPECT_TRUE(ownOn());
}

// Grouping while the mouse drags an object: a movable group that takes the dragged object
// becomes the moved thing, and taking it out again hands the drag back; the move goes on
// from where the object was.
TEST_F(Integrate, GroupingHandsTheDragOn) {
    ASSERT_TRUE(load());
    QivControlState& s = ctl_->state();
    int x = 0, y = 0;
    ASSERT_TRUE(pointOnObject(&x, &y));
    s.slots[0].moveFlags = 1 | 0x20;
    LONG group = -1;
    ASSERT_EQ(S_OK, p2_->NewGroup(&group));
    VARIANT_BOOL ok = VARIANT_FALSE;
    ASSERT_EQ(S_OK, p2_->ObjectMayMove(group, 1 | 0x20, &ok));
    ASSERT_EQ(S_OK, p2_->put_CurrentObject(group));
    ASSERT_EQ(S_OK, p2_->ObjectShow(VARIANT_TRUE, &ok));
    ASSERT_EQ(S_OK, p2_->put_CurrentObject(0));
    const QivPick grab = ctl_->navigation().pickAt(x, y);
    ASSERT_TRUE(grab.hit);
    LONG during = -2;
    events_.handler = [&](DISPID id, DISPPARAMS*) {
        if (id == qivdispid::event::ObjectMove) p2_->get_EventObject(&during);
    };

    send(WM_LBUTTONDOWN, x, y, 1000);
    send(WM_MOUSEMOVE, x + 20, y, 1010);
    send(WM_MOUSEMOVE, x + 30, y + 5, 1020);
    ASSERT_EQ(0, ctl_->DraggedObject());
    const Vec3 first = worldAt(x + 30, y + 5, grab.depth);
    events_.events.clear();
    cursorTo(x + 30, y + 5);
    LONG index = -1;
    ASSERT_EQ(S_OK, p2_->ObjectAddChild(group, 0, &index));
    ASSERT_EQ(0, index);
    std::vector<qivtest::EventRecord> moves = moveEvents();
    ASSERT_EQ(1u, moves.size());
    EXPECT_EQ((std::vector<std::string>{"I4:" + std::to_string(group), "I4:4", "R4:0", "R4:0", "R4:0"}),
              moves[0].args);
    EXPECT_EQ(0, during) << "EventObject names the dragged object";
    EXPECT_EQ(group, ctl_->DraggedObject());
    EXPECT_EQ(0, s.slots[size_t(group)].activeChild);
    // The move so far stays with the object.
    Vec3 at = curPos(0);
    EXPECT_NEAR(first.x - grab.world.x, at.x, 2e-2f);
    EXPECT_NEAR(first.z - grab.world.z, at.z, 2e-2f);

    send(WM_MOUSEMOVE, x + 50, y + 5, 1030);
    const Vec3 second = worldAt(x + 50, y + 5, grab.depth);
    cursorTo(x + 50, y + 5);
    events_.events.clear();
    ASSERT_EQ(S_OK, p2_->ObjectRemoveChildKeepPos(group, 0, &ok));
    ASSERT_EQ(VARIANT_TRUE, ok);
    moves = moveEvents();
    ASSERT_EQ(1u, moves.size());
    EXPECT_EQ("I4:0", moves[0].args[0]);
    EXPECT_EQ("I4:4", moves[0].args[1]);
    EXPECT_EQ(0, ctl_->DraggedObject());
    EXPECT_EQ(-1, s.slots[size_t(group)].activeChild);
    at = curPos(0);
    EXPECT_NEAR(second.x - grab.world.x, at.x, 2e-2f) << "the group's move went with it";

    send(WM_MOUSEMOVE, x + 60, y + 5, 1040);
    events_.events.clear();
    send(WM_LBUTTONUP, x + 60, y + 5, 1050);
    EXPECT_EQ(-1, ctl_->DraggedObject());
    moves = moveEvents();
    ASSERT_EQ(1u, moves.size());
    EXPECT_EQ("I4:0", moves[0].args[0]);
    EXPECT_EQ("I4:1", moves[0].args[1]) << "the end of the move";
    const Vec3 last = worldAt(x + 60, y + 5, grab.depth);
    at = curPos(0);
    EXPECT_NEAR(last.x - grab.world.x, at.x, 3e-2f);
    EXPECT_NEAR(last.y - grab.world.y, at.y, 3e-2f);
    EXPECT_NEAR(last.z - grab.world.z, at.z, 3e-2f);
}

// The slot being dragged has a real position even while it is not shown.
TEST_F(Integrate, RealPositionOfTheDraggedSlot) {
    ASSERT_TRUE(load());
    VARIANT_BOOL ok = VARIANT_FALSE;
    ASSERT_EQ(S_OK, p2_->ObjectTranslate(0.5f, 0, 0, &ok));
    ASSERT_EQ(S_OK, p2_->ObjectShow(VARIANT_FALSE, &ok));
    float x = 9, y = 9, z = 9;
    ASSERT_EQ(S_OK, p2_->ObjectGetRealPos(0, &x, &y, &z, &ok));
    EXPECT_EQ(0.0f, x) << "hidden and not dragged";
    cursorTo(client_.right / 2, client_.bottom / 2);
    ctl_->DragObjectAtCursor(0);
    ASSERT_EQ(0, ctl_->DraggedObject());
    ASSERT_EQ(S_OK, p2_->ObjectGetRealPos(0, &x, &y, &z, &ok));
    Box3 box{};
    ASSERT_TRUE(scnGetExtent(ctl_->state().slots[0].node, &box.min, &box.max));
    EXPECT_NEAR((box.min.x + box.max.x) * 0.5f, x, 1e-4f);
    EXPECT_NE(0.0f, x);
    send(WM_LBUTTONUP, client_.right / 2, client_.bottom / 2, 100);
    EXPECT_EQ(-1, ctl_->DraggedObject());
}

// A drop placed by DragAndDropObject is dragged on with the held button.
TEST_F(Integrate, DroppedObjectIsDraggedOn) {
    ASSERT_TRUE(load());
    const int x = client_.right / 2, y = client_.bottom / 2;
    cursorTo(x, y);
    SetForegroundWindow(host_.window());
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    SendInput(1, &in, sizeof in);
    qivtest::PumpMessages();
    if (GetAsyncKeyState(VK_LBUTTON) >= 0 || GetForegroundWindow() != host_.window()) {
        in.mi.dwFlags = MOUSEEVENTF_LEFTUP;
        SendInput(1, &in, sizeof in);
        GTEST_SKIP() << "the display gives no button state";
    }
    ctl_->navController().reset();  // the press itself started no drag of its own
    const std::string path = qivtest::writeNavSample();
    BSTR url = bstrOf(path);
    LONG id = -7;
    const HRESULT hr = p2_->DragAndDropObjectWithDefault(url, 1 | 0x20, -7, &id);
    SysFreeString(url);
    in.mi.dwFlags = MOUSEEVENTF_LEFTUP;
    ASSERT_EQ(S_OK, hr);
    ASSERT_EQ(1, id);
    EXPECT_EQ(1, ctl_->DraggedObject());
    EXPECT_TRUE(ctl_->navController().leftButton());
    const Vec3 start = curPos(1);
    send(WM_MOUSEMOVE, x + 30, y, 100);
    send(WM_LBUTTONUP, x + 30, y, 110);
    SendInput(1, &in, sizeof in);
    qivtest::PumpMessages();
    EXPECT_EQ(-1, ctl_->DraggedObject());
    const Vec3 end = curPos(1);
    EXPECT_GT(std::fabs(end.x - start.x) + std::fabs(end.y - start.y) + std::fabs(end.z - start.z), 0.01f)
        << "the dropped object moved with the mouse";
    // A second drop while a drag runs places nothing.
    cursorTo(x, y);
    ctl_->DragObjectAtCursor(0);
    url = bstrOf(path);
    id = -7;
    EXPECT_EQ(S_OK, p2_->DragAndDropObjectWithDefault(url, 1, -7, &id));
    EXPECT_EQ(-7, id);
    SysFreeString(url);
    send(WM_LBUTTONUP, x, y, 200);
}

// Keys leave the 2D view first; the export of the 2D view draws the background only.
TEST_F(Integrate, TwoDimensionalViewInKeysAndExport) {
    ASSERT_TRUE(load());
    ASSERT_EQ(S_OK, p2_->put_Filter(VARIANT_FALSE));
    qivtest::OneColourPicture preview(0x00336699);
    ctl_->SetPreviewPicture(&preview.picture);
    ASSERT_EQ(S_OK, p2_->Show2DView(VARIANT_TRUE));
    pelb::TempDir dir("integrate export");
    auto exportOnce = [&](const char* leaf) {
        const std::string out = (dir / leaf).string();
        BSTR name = bstrOf(out);
        VARIANT_BOOL ok = VARIANT_FALSE;
        EXPECT_EQ(S_OK, p2_->SaveBitmap(qivBmpQualityLow, VARIANT_FALSE, 40, 30, name, &ok));
        SysFreeString(name);
        EXPECT_EQ(VARIANT_TRUE, ok);
        const std::vector<uint8_t> bmp = readFile(out);
        std::vector<uint32_t> colours;
        const size_t row = (40 * 3 + 3) & ~size_t(3);
        for (size_t r = 0; bmp.size() >= 58 + 30 * row && r < 30; ++r)
            for (size_t c = 0; c < 40; ++c) {
                const uint8_t* p = &bmp[58 + r * row + c * 3];
                colours.push_back(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16);
            }
        return colours;
    };
    const std::vector<uint32_t> flat = exportOnce("2d.bmp");
    ASSERT_EQ(40u * 30u, flat.size());
    size_t differing = 0;
    for (uint32_t c : flat) differing += c != flat[0];
    EXPECT_EQ(0u, differing) << "the uniform picture alone, no object";

    SendMessageA(ctl_->hwnd(), WM_KEYDOWN, VK_ADD, 0);
    EXPECT_FALSE(ctl_->view2D()) << "a key leaves the 2D view";
    const std::vector<uint32_t> solid = exportOnce("3d.bmp");
    ASSERT_EQ(40u * 30u, solid.size());
    differing = 0;
    for (uint32_t c : solid) differing += c != solid[0];
    EXPECT_GT(differing, 0u) << "the object is drawn again";
    ctl_->SetPreviewPicture(nullptr);
}

// WM_USER+254 fires MouseReleased with its parameter only once no window holds the capture.
TEST_F(Integrate, MouseReleasedOnlyWithoutCapture) {
    ASSERT_TRUE(load());
    HWND w = ctl_->hwnd();
    events_.events.clear();
    SetCapture(w);
    PostMessageW(w, WM_USER + 254, 7, 0);
    qivtest::PumpMessages();
    for (const auto& e : events_.events) EXPECT_NE(11, e.id) << "the capture is still held";
    ReleaseCapture();
    PostMessageW(w, WM_USER + 254, 7, 0);
    qivtest::PumpMessages();
    ASSERT_FALSE(events_.events.empty());
    EXPECT_EQ(11, events_.events.back().id);
    EXPECT_EQ(std::vector<std::string>{"I4:7"}, events_.events.back().args);
}

// While updates are disabled, navigation changes the view without redrawing it.
TEST_F(Integrate, DisabledUpdatesHoldNavigationRedraws) {
    ASSERT_TRUE(load());
    HWND w = ctl_->hwnd();
    UpdateWindow(w);
    ASSERT_EQ(S_OK, p2_->EnableUpdate(VARIANT_FALSE));
    ValidateRect(w, nullptr);  // what the paint path itself asked for before
    const float phi = ctl_->state().phi;
    SendMessageA(w, WM_KEYDOWN, VK_LEFT, 0);
    EXPECT_NE(phi, ctl_->state().phi);
    EXPECT_FALSE(GetUpdateRect(w, nullptr, FALSE)) << "key";
    p2_->put_Zoom(2);
    EXPECT_FALSE(GetUpdateRect(w, nullptr, FALSE));
    // A spin asks for no frame tick, and a tick that comes draws nothing.
    qivctl::frameTicks().remove(reinterpret_cast<qivctl::TickWindow>(w));
    ASSERT_EQ(S_OK, p2_->put_SpinPhi(30));
    ASSERT_EQ(S_OK, p2_->put_SpinPsi(10));
    const std::vector<qivctl::TickWindow> ticked = qivctl::frameTicks().windows();
    EXPECT_EQ(ticked.end(), std::find(ticked.begin(), ticked.end(), reinterpret_cast<qivctl::TickWindow>(w)));
    SendMessageA(w, WM_TIMER, qivctl::kFrameTickTimerId, 0);
    EXPECT_FALSE(GetUpdateRect(w, nullptr, FALSE)) << "tick";
    ASSERT_EQ(S_OK, p2_->EnableUpdate(VARIANT_TRUE));
    EXPECT_TRUE(GetUpdateRect(w, nullptr, FALSE));
    EXPECT_FALSE(ctl_->state().frameValid);
    ASSERT_EQ(S_OK, p2_->put_SpinPhi(0));
    ASSERT_EQ(S_OK, p2_->put_SpinPsi(0));
}

// A document's "Qiv" element and inline container data are shown through the streaming load,
// from memory: no temporary file; the document container counts as current only while the
// load's kept container is the one it brought.
TEST_F(Integrate, DocumentContainersGoThroughTheStreamingLoad) {
    qivw::Container c = qivsample::container("");
    const Bytes container = qivw::build(c);
    Bytes qiv;
    put32(qiv, uint32_t(container.size()));
    qiv.insert(qiv.end(), container.begin(), container.end());
    const size_t before = temporaryFiles();
    {
        Unsited u;
        IStorage* st = qivtest::MemoryStorage();
        qivtest::PutStream(st, L"Contents", contentsWith({}));
        qivtest::PutStream(st, L"Qiv", qiv);
        IPersistStorage* ps = u.as<IPersistStorage>();
        ASSERT_EQ(S_OK, ps->Load(st));
        EXPECT_EQ(before, temporaryFiles()) << "nothing written to a temporary file";
        ASSERT_GE(u.ctl->state().currentSlot, 0);
        EXPECT_NE(nullptr, u.ctl->state().slots[size_t(u.ctl->state().currentSlot)].node);
        EXPECT_TRUE(u.ctl->CurrentIsDocumentContainer());
        Bytes inl;
        ASSERT_TRUE(u.ctl->InlineContainer(&inl));
        EXPECT_EQ(container, inl) << "no gap: the compact form is the container itself";
        // Another container loaded in its place: the document's is no longer current.
        qivw::Container other = qivsample::container("");
        other.gapBytes = 4;
        ASSERT_EQ(1, u.ctl->LoadContainerBytes(qivw::build(other), "other.qiv", true));
        EXPECT_FALSE(u.ctl->CurrentIsDocumentContainer());
        ASSERT_TRUE(u.ctl->InlineContainer(&inl));
        EXPECT_EQ(container.size(), inl.size()) << "the other one, compact";
        ps->Release();
        st->Release();
    }
    {
        Unsited u;
        qivtest::EventSink events{DIID__QivPlayerEvents};
        DWORD cookie = 0;
        ASSERT_EQ(S_OK, qivtest::Connect(u.p2, DIID__QivPlayerEvents, &events, &cookie));
        IStream* stream = nullptr;
        ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, &stream));
        const Bytes contents = contentsWith(container);
        stream->Write(contents.data(), ULONG(contents.size()), nullptr);
        LARGE_INTEGER zero{};
        stream->Seek(zero, STREAM_SEEK_SET, nullptr);
        IPersistStreamInit* ps = u.as<IPersistStreamInit>();
        ASSERT_EQ(S_OK, ps->Load(stream));
        EXPECT_EQ(before, temporaryFiles());
        EXPECT_TRUE(u.ctl->CurrentIsInline());
        int loaded = 0;
        for (const auto& e : events.events) loaded += e.id == qivdispid::event::ObjectLoaded;
        EXPECT_EQ(1, loaded) << "ObjectLoaded once";
        Bytes inl;
        ASSERT_TRUE(u.ctl->InlineContainer(&inl));
        EXPECT_EQ(container, inl) << "as received";
        qivtest::Disconnect(u.p2, DIID__QivPlayerEvents, cookie);
        ps->Release();
        stream->Release();
    }
}

// The host hooks give the inline block on the C heap and offer the export while an object is
// shown; the stand-alone viewer's callbacks add the export entries and carry them out.
TEST_F(Integrate, HostHooksAndTheViewerMenu) {
    IQivHostHooks* hooks = nullptr;
    ASSERT_EQ(S_OK, p2_->QueryInterface(IID_IQivHostHooks, reinterpret_cast<void**>(&hooks)));
    void* data = reinterpret_cast<void*>(1);
    LONG length = 5;
    BOOL allowed = TRUE;
    EXPECT_EQ(S_OK, hooks->GetInlineData(&data, &length));
    EXPECT_EQ(nullptr, data);
    EXPECT_EQ(0, length);
    EXPECT_EQ(E_POINTER, hooks->GetInlineData(nullptr, &length));
    EXPECT_EQ(S_OK, hooks->GetExportAllowed(&allowed));
    EXPECT_FALSE(allowed) << "nothing shown";
    ASSERT_EQ(S_OK, hooks->SetMenuCallbacks(p2_, qivViewerAddMenuItems, qivViewerMenuCommand));
    HMENU menu = CreatePopupMenu();
    ctl_->AddHostMenuItems(menu);
    EXPECT_EQ(0, GetMenuItemCount(menu));
    DestroyMenu(menu);

    qivw::Container c = qivsample::container("");
    c.gapBytes = 8;
    const Bytes file = qivw::build(c);
    c.gapBytes = 0;
    const Bytes compact = qivw::build(c);
    ASSERT_EQ(1, ctl_->LoadContainerBytes(file, "cubes.qiv", true));
    qivtest::PumpMessages();
    EXPECT_EQ(S_OK, hooks->GetExportAllowed(&allowed));
    EXPECT_TRUE(allowed);
    ASSERT_EQ(S_OK, hooks->GetInlineData(&data, &length));
    ASSERT_NE(nullptr, data);
    uint8_t clsid[16];
    std::memcpy(clsid, &CLSID_QivPlayer, 16);
    qivctl::PersistMemorySource src(static_cast<const uint8_t*>(data), size_t(length));
    qivctl::PersistLoadResult r;
    ASSERT_EQ(qivctl::PersistStatus::Ok, qivctl::decodeInlineBlock(src, clsid, &r));
    EXPECT_EQ(size_t(length), src.position());
    EXPECT_EQ(compact, r.inlineData);
    std::free(data);

    menu = CreatePopupMenu();
    ctl_->AddHostMenuItems(menu);
    ASSERT_EQ(3, GetMenuItemCount(menu));
    EXPECT_EQ(40001u, GetMenuItemID(menu, 0));
    EXPECT_EQ(40002u, GetMenuItemID(menu, 1));
    DestroyMenu(menu);
    // The Outlook entry: its dialog answered, the page carries the data.
    if (OpenClipboard(nullptr)) {
        EmptyClipboard();
        CloseClipboard();
    }
    qivtest::ModalScript script({[] {
        HWND d = qivtest::DialogWithControl(IDOK, L"HTML source code for Outlook copied");
        return d && qivtest::Click(d, IDOK);
    }});
    EXPECT_TRUE(ctl_->RunHostMenuCommand(40002));
    EXPECT_TRUE(script.finished());
    std::string html;
    if (OpenClipboard(nullptr)) {
        if (HANDLE h = GetClipboardData(CF_TEXT)) {
            if (const char* t = static_cast<const char*>(GlobalLock(h))) html = t;
            GlobalUnlock(h);
        }
        CloseClipboard();
    }
    EXPECT_NE(std::string::npos, html.find("DATA=\"DATA:application/x-oleobject;BASE64,"));
    hooks->Release();
    // An object of another copy of the library is asked for its interface, never taken for ours.
    struct Foreign : IUnknown {
        int queries = 0;
        STDMETHODIMP QueryInterface(REFIID, void** out) override {
            ++queries;
            *out = nullptr;
            return E_NOINTERFACE;
        }
        STDMETHODIMP_(ULONG) AddRef() override { return 2; }
        STDMETHODIMP_(ULONG) Release() override { return 1; }
    } foreign;
    qivViewerMenuCommand(&foreign, nullptr, 40002, 0, 0);
    EXPECT_EQ(1, foreign.queries);
}


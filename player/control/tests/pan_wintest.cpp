// PanX and PanY follow the camera: a pan drag shows in them, a put moves eye and VRP together,
// a value given before the first view is applied to it, and a document saved after a pan
// shows the same view again.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "dispids.h"
#include "controlref.h"
#include "navfixture.h"

namespace {

struct View3D {
    float vrp[3] = {}, eye[3] = {}, tanHalf = 0;
};

View3D viewingOf(IQivPlayer2* p) {
    View3D v;
    VARIANT_BOOL ok = VARIANT_FALSE;
    EXPECT_EQ(S_OK, p->GetViewing3D(&v.vrp[0], &v.vrp[1], &v.vrp[2], &v.eye[0], &v.eye[1], &v.eye[2], &v.tanHalf, &ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    return v;
}

void expectSameView(const View3D& a, const View3D& b, float tolerance) {
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(a.vrp[i], b.vrp[i], tolerance) << "VRP " << i;
        EXPECT_NEAR(a.eye[i], b.eye[i], tolerance) << "eye " << i;
    }
    EXPECT_NEAR(a.tanHalf, b.tanHalf, 1e-4f);
}

float panX(IQivPlayer2* p) {
    float v = NAN;
    EXPECT_EQ(S_OK, p->get_PanX(&v));
    return v;
}

float panY(IQivPlayer2* p) {
    float v = NAN;
    EXPECT_EQ(S_OK, p->get_PanY(&v));
    return v;
}

class Pan : public qivtest::NavFixture {
protected:
    void SetUp() override {
        NavFixture::SetUp();
        ASSERT_EQ(S_OK, qivtest::Connect(p2_, IID_IPropertyNotifySink, &notify_, &notifyCookie_));
        p2_->put_SaveFilesWithDocument(VARIANT_FALSE);
    }
    void TearDown() override {
        qivtest::Disconnect(p2_, IID_IPropertyNotifySink, notifyCookie_);
        NavFixture::TearDown();
    }
    // A Shift drag from a point on the object by (dx, dy) pixels.
    void panDrag(int dx, int dy) {
        int x = 0, y = 0;
        ASSERT_TRUE(pointOnObject(&x, &y));
        ASSERT_TRUE(send(WM_LBUTTONDOWN, x, y, 1000, false, true));
        send(WM_MOUSEMOVE, x + dx, y + dy, 1010, false, true);
        send(WM_LBUTTONUP, x + dx, y + dy, 1020, false, true);
    }
    bool announced(DISPID id) const {
        return std::find(notify_.changed.begin(), notify_.changed.end(), id) != notify_.changed.end();
    }
    qivtest::NotifySink notify_;
    DWORD notifyCookie_ = 0;
};

}  // namespace

TEST_F(Pan, DragShowsInPanXAndPanYAndTheScrollBars) {
    ASSERT_TRUE(load());
    const float x0 = panX(p2_), y0 = panY(p2_);
    EXPECT_NEAR(x0, 0.0f, 1e-4f) << "the home view looks at the origin";
    EXPECT_NEAR(y0, 0.0f, 1e-4f);
    // Zoomed in, the bars have room to move.
    ASSERT_EQ(S_OK, p2_->put_Zoom(3.0f));
    const View3D home = viewingOf(p2_);
    HWND hbar = GetDlgItem(ctl_->hwnd(), 58001), vbar = GetDlgItem(ctl_->hwnd(), 58002);
    SCROLLINFO h0{}, v0{};
    h0.cbSize = v0.cbSize = sizeof h0;
    h0.fMask = v0.fMask = SIF_ALL;
    ASSERT_TRUE(GetScrollInfo(hbar, SB_CTL, &h0));
    ASSERT_TRUE(GetScrollInfo(vbar, SB_CTL, &v0));

    notify_.changed.clear();
    panDrag(40, -30);
    // The object follows the mouse right and up: the camera went left and down, so both pan
    // values grew, in the ratio of the mouse's travel (square pixels).
    const float dx = panX(p2_) - x0, dy = panY(p2_) - y0;
    EXPECT_GT(dx, 0.0f);
    EXPECT_GT(dy, 0.0f);
    EXPECT_NEAR(dx / dy, 40.0f / 30.0f, 0.05f);
    EXPECT_TRUE(announced(qivdispid::PanX));
    EXPECT_TRUE(announced(qivdispid::PanY));
    SCROLLINFO h1 = h0, v1 = v0;
    GetScrollInfo(hbar, SB_CTL, &h1);
    GetScrollInfo(vbar, SB_CTL, &v1);
    EXPECT_NE(h0.nPos, h1.nPos) << "the bars follow the drag";
    EXPECT_NE(v0.nPos, v1.nPos);

    // The values put back bring the home view back.
    ASSERT_EQ(S_OK, p2_->put_PanX(x0));
    ASSERT_EQ(S_OK, p2_->put_PanY(y0));
    expectSameView(viewingOf(p2_), home, 1e-3f);
}

TEST_F(Pan, PutMovesEyeAndVrpAlongTheScreen) {
    ASSERT_TRUE(load());
    const View3D before = viewingOf(p2_);
    const float y0 = panY(p2_);
    notify_.changed.clear();
    ASSERT_EQ(S_OK, p2_->put_PanX(1.5f));
    EXPECT_NEAR(panX(p2_), 1.5f, 1e-4f);
    EXPECT_NEAR(panY(p2_), y0, 1e-4f) << "sideways only";
    EXPECT_EQ(std::vector<DISPID>({qivdispid::PanX, qivdispid::PanY}), notify_.changed);

    // Eye and VRP moved by 1.5 across the view (the view at Phi 225 runs diagonally over x and
    // y), the one along with the other; GetViewing3D and the camera properties agree.
    const View3D after = viewingOf(p2_);
    float moved = 0;
    for (int i = 0; i < 3; ++i) {
        const float d = after.vrp[i] - before.vrp[i];
        moved += d * d;
        EXPECT_NEAR(after.eye[i] - before.eye[i], d, 1e-4f) << i;
    }
    EXPECT_NEAR(std::sqrt(moved), 1.5f, 1e-4f);
    EXPECT_GT(std::fabs(after.vrp[0] - before.vrp[0]), 0.5f);
    EXPECT_NEAR(after.vrp[2], before.vrp[2], 1e-5f) << "the side vector is level";
    EXPECT_NEAR(after.tanHalf, before.tanHalf, 1e-6f);
    float vrpX = 0, eyeX = 0;
    p2_->get_VRPx(&vrpX);
    p2_->get_EyeX(&eyeX);
    EXPECT_EQ(vrpX, after.vrp[0]);
    EXPECT_EQ(eyeX, after.eye[0]);

    // PanY moves along the screen's up vector, which rises with the view's elevation: a
    // smaller value lifts the camera.
    ASSERT_EQ(S_OK, p2_->put_PanY(y0 - 2.0f));
    EXPECT_NEAR(panY(p2_), y0 - 2.0f, 1e-4f);
    const View3D down = viewingOf(p2_);
    EXPECT_NEAR(down.vrp[2] - after.vrp[2], 2.0f * std::cos(30.0f * 0.017453292f), 1e-4f);

    // The same value again changes nothing and says nothing; a value that is no number is ignored.
    notify_.changed.clear();
    ASSERT_EQ(S_OK, p2_->put_PanX(panX(p2_)));
    EXPECT_EQ(S_OK, p2_->put_PanY(NAN));
    EXPECT_EQ(S_OK, p2_->put_PanX(INFINITY));
    EXPECT_TRUE(notify_.changed.empty());
    expectSameView(viewingOf(p2_), down, 0.0f);

    // The keypad steps PanX by 0.1 from where the view is.
    const float x1 = panX(p2_);
    SendMessageA(ctl_->hwnd(), WM_KEYDOWN, VK_NUMPAD6, 0);
    EXPECT_NEAR(panX(p2_), x1 + 0.1f, 1e-4f);
}

TEST_F(Pan, ValuesGivenBeforeTheFirstViewAreAppliedToIt) {
    ASSERT_EQ(S_OK, p2_->put_PanX(0.25f));
    EXPECT_EQ(panX(p2_), 0.25f);
    EXPECT_EQ(panY(p2_), 0.0f);
    ASSERT_TRUE(load());
    EXPECT_NEAR(panX(p2_), 0.25f, 1e-4f);
    EXPECT_NEAR(panY(p2_), 0.0f, 1e-4f);
}

TEST_F(Pan, AnEyeGivenAloneIsNotPannedBack) {
    // The pending record made by an eye put holds pan values no one gave: the eye stays.
    ASSERT_EQ(S_OK, p2_->put_EyeX(0.3f));
    ASSERT_TRUE(load());
    float eyeX = 0;
    p2_->get_EyeX(&eyeX);
    EXPECT_FLOAT_EQ(eyeX, 0.3f);
}

TEST_F(Pan, AViewReferencePointGivenAloneIsKept) {
    // The eye keeps its place, the view looks at the point given.
    ASSERT_EQ(S_OK, p2_->put_VRPx(0.4f));
    ASSERT_TRUE(load());
    float vrpX = 0;
    p2_->get_VRPx(&vrpX);
    EXPECT_NEAR(vrpX, 0.4f, 1e-5f);
}

TEST_F(Pan, DocumentSavedAfterAPanShowsTheSameView) {
    ASSERT_TRUE(load());
    panDrag(-35, 25);
    p2_->put_Zoom(1.5f);
    const View3D panned = viewingOf(p2_);
    const float x = panX(p2_), y = panY(p2_);

    IPersistStreamInit* ps = nullptr;
    ASSERT_EQ(S_OK, p2_->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&ps)));
    IStream* stream = nullptr;
    ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, &stream));
    ASSERT_EQ(S_OK, ps->Save(stream, TRUE));
    ps->Release();

    // A second document window of the same size loads it, as hosts do: before it is shown.
    qivtest::ControlRef second = qivtest::ControlRef::create();
    ASSERT_TRUE(second);
    IQivPlayer2* q = second.get();
    CQivPlayerCtl* c2 = second.ctl();
    c2->state().rendererKind = 2;
    const LARGE_INTEGER zero{};
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    ASSERT_EQ(S_OK, q->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&ps)));
    ASSERT_EQ(S_OK, ps->Load(stream));
    ps->Release();
    stream->Release();
    EXPECT_NEAR(panX(q), x, 1e-4f) << "kept until the view exists";
    {
        qivtest::OleTestContainer host;
        ShowWindow(host.window(), SW_SHOW);
        ASSERT_EQ(S_OK, host.Embed(q, true));
        qivtest::PumpMessages();
        ASSERT_TRUE(c2->state().viewValid);
        expectSameView(viewingOf(q), panned, 1e-3f);
        EXPECT_NEAR(panX(q), x, 1e-3f);
        EXPECT_NEAR(panY(q), y, 1e-3f);
        host.Unembed();
    }
}

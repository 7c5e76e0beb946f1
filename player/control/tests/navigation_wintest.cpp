// Mouse navigation in the control window: a drag across the client width turns Phi by a full
// circle, Ctrl drags zoom out by 1.07 per message upwards, a quick release leaves the view spinning, a
// right click without a drag goes to the default handling, and presses without the physical
// button or without an object are not taken.
#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>

#include "navfixture.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;

double angleGap(double a, double b) { return std::remainder(a - b, kTwoPi); }

using Navigation = qivtest::NavFixture;

}  // namespace

TEST_F(Navigation, NothingShownTakesNoDrag) {
    EXPECT_FALSE(send(WM_MOUSEMOVE, 10, 10, 100));
    EXPECT_FALSE(ctl_->NavInput(WM_LBUTTONDOWN, 10, 10, false, false, false, 100)) << "button not down";
}

TEST_F(Navigation, DragTurnsZoomsAndSpins) {
    ASSERT_TRUE(load());
    QivControlState& s = ctl_->state();
    const int w = client_.right;
    ASSERT_GT(w, 100);
    // Half the width: half a turn of Phi.
    const double phi0 = s.phi;
    ASSERT_TRUE(send(WM_LBUTTONDOWN, 20, 30, 1000));
    ASSERT_TRUE(send(WM_MOUSEMOVE, 30, 30, 1010));  // past the drag distance: the rotation starts here
    ASSERT_TRUE(send(WM_MOUSEMOVE, 30 + w / 2, 30, 1020));
    EXPECT_NEAR(0.0, angleGap(s.phi, phi0 + kTwoPi * (w / 2) / w), 1e-3);
    EXPECT_EQ(ctl_->hwnd(), GetCapture());
    // A quick release with KeepSpinning leaves the view spinning; a press stops it.
    ASSERT_EQ(S_OK, p2_->put_KeepSpinning(VARIANT_TRUE));
    ASSERT_TRUE(send(WM_LBUTTONUP, 30 + w / 2, 30, 1040));
    EXPECT_NE(0.0f, s.spinPhi);
    EXPECT_EQ(nullptr, GetCapture());
    ASSERT_TRUE(send(WM_LBUTTONDOWN, 40, 40, 1100));
    EXPECT_EQ(0.0f, s.spinPhi);
    send(WM_LBUTTONUP, 40, 40, 1110);

    // Ctrl: the view window grows by 1.07 per message upwards, whatever the distance.
    const float width0 = s.camera.winXMax - s.camera.winXMin;
    ASSERT_TRUE(send(WM_LBUTTONDOWN, 50, 100, 2000, true));
    send(WM_MOUSEMOVE, 50, 60, 2010, true);
    send(WM_MOUSEMOVE, 50, 10, 2020, true);
    send(WM_LBUTTONUP, 50, 10, 2030, true);
    EXPECT_NEAR(width0 * (1.07f * 1.07f), s.camera.winXMax - s.camera.winXMin, width0 * 1e-4);

    // A right click without a drag is left to the default handling (the context menu).
    EXPECT_TRUE(send(WM_RBUTTONDOWN, 60, 60, 3000));
    EXPECT_FALSE(send(WM_RBUTTONUP, 60, 60, 3010));
    qivtest::PumpMessages();
}

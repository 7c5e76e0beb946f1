#include "viewing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

using namespace qivctl;

namespace {

constexpr double kPi = 3.141592653589793;

double dot(const ViewVec& a, const ViewVec& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
ViewVec sub(const ViewVec& a, const ViewVec& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int k = 0; k < 4; ++k) out.push_back(uint8_t(v >> (8 * k)));
}
void putFloat(std::vector<uint8_t>& out, float f) {
    uint32_t b;
    std::memcpy(&b, &f, 4);
    put32(out, b);
}

}  // namespace

TEST(ViewingTexts, FormatsOfTheAsStringMembers) {
    EXPECT_EQ(materialAsString(0xFF, 0x808080, 1.0, 0.4f, 0.25, 0.5, 64), "255, 8421504, 1, 0.4, 0.25, 0.5, 64");
    EXPECT_EQ(animationParametersAsString(2.5, 25, 3), "2.5, 25, 3");
    EXPECT_EQ(subAnimationInfoAsString("Door", 0, 2.5), "\"Door\", 0, 2.5");
    Viewing v;
    v.vrp = {0, 0, 1.5};
    v.eye = {-10, -10, 5.7735};
    v.tanHalfAngle = 0.4040262;
    EXPECT_EQ(viewingAsString(v), "0, 0, 1.5, -10, -10, 5.7735, 0.404026, false");
    v.parallel = true;
    EXPECT_EQ(viewingAsString(v).substr(viewingAsString(v).size() - 6), ", true");
    EXPECT_EQ(viewingAsString(Viewing{{1e-7, 1e20, -0.0}, {}, 0, false}), "1e-07, 1e+20, -0, 0, 0, 0, 0, false");

    float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    std::string text = placementAsString(identity);
    std::string expected;
    for (int i = 0; i < 16; ++i) expected += std::string(i ? "/" : "") + (i % 5 == 0 ? "1.000000e+00" : "0.000000e+00");
    EXPECT_EQ(text, expected);
    EXPECT_LE(text.size(), kPositionStringMax);
    float extreme[16];
    for (float& f : extreme) f = -3.4028235e38f;
    EXPECT_LE(placementAsString(extreme).size(), kPositionStringMax);
}

// An object name of any length stays within the text buffer.
TEST(ViewingTexts, LongNamesAreCutToTheBuffer) {
    std::string name(5000, 'n');
    std::string t = subAnimationInfoAsString(name, 1.5, 2);
    EXPECT_EQ(t.size(), kAsStringMax);
    EXPECT_EQ(t.substr(t.size() - 10), "n\", 1.5, 2");
    EXPECT_EQ(subAnimationInfoAsString(std::string("Lid\0junk", 8), 0, 1), "\"Lid\", 0, 1");
}

TEST(ViewingTexts, PlacementFromText) {
    struct Case {
        const char* text;
        bool ok;
        std::vector<float> values;  // leading values; the rest 0
    };
    const Case cases[] = {
        {"1/0/0/0/0/1/0/0/0/0/1/0/0/0/0/1", true, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}},
        {"10/20/30/40/50/6", true, {10, 20, 30, 40, 50, 6}},
        {"1.5e1/ -2/3/4/5/6/", true, {15, -2, 3, 4, 5, 6}},
        {"1//3/4/5/6/7/8/9", true, {1, 0, 3, 4, 5, 6, 7, 8, 9}},
        {"1/2/3/4/5/6/7/8", false, {}},         // shorter than 16 characters
        {"1;2/3/4/5/6/7/8/9", false, {}},
        {"1,5/2/3/4/5/6/7/8/9", false, {}},     // a decimal comma is not a separator
        {"inf/0/0/0/0/1/0/0/0/0/1/0", false, {}},
        {"1e39/0/0/0/0/1/0/0/0/0/1/0", false, {}},
        {"1/0/0/0/0/1/0/0/0/0/1/0/0/0/0/1/99/junk", true, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}},
    };
    for (const Case& c : cases) {
        float m[16];
        for (float& f : m) f = 7;
        EXPECT_EQ(parsePlacement(c.text, m), c.ok) << c.text;
        for (int i = 0; i < 16; ++i) {
            float want = c.ok ? (size_t(i) < c.values.size() ? c.values[size_t(i)] : 0.0f) : 7.0f;
            EXPECT_EQ(m[i], want) << c.text << " element " << i;
        }
    }
    // The position text reads back as the placement it was made from, to its precision.
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> d(-1000, 1000);
    for (int n = 0; n < 200; ++n) {
        float m[16], back[16];
        for (float& f : m) f = d(rng);
        ASSERT_TRUE(parsePlacement(placementAsString(m), back));
        for (int i = 0; i < 16; ++i) EXPECT_NEAR(back[i], m[i], std::fabs(m[i]) * 1e-6) << i;
    }
}

TEST(ViewingAngles, PhiPsiAndTheirLimits) {
    ViewVec vrp{1, 2, 3};
    for (double phi : {-3.0, -kPi / 2, 0.0, 1.0, 3.926991 - 2 * kPi, 3.0})
        for (double psi : {-1.5, -0.3, 0.0, 0.5235988, 1.5}) {
            ViewVec eye = eyeFromPhiPsi(vrp, 7.5, phi, psi);
            double p = 0, q = 0;
            ASSERT_TRUE(phiPsiOf(eye, vrp, &p, &q));
            EXPECT_NEAR(p, phi, 1e-12);
            EXPECT_NEAR(q, psi, 1e-12);
            ViewVec up = upFromPhiPsi(phi, psi);
            EXPECT_NEAR(dot(up, up), 1.0, 1e-12);
            EXPECT_NEAR(dot(up, sub(vrp, eye)), 0.0, 1e-9);
            EXPECT_GE(up.z, 0.0);
        }
    double p, q;
    EXPECT_FALSE(phiPsiOf(vrp, vrp, &p, &q));
    // The view reset's eye lies in front of the origin: Phi -90 degrees, Psi 0.
    ASSERT_TRUE(phiPsiOf({0, -15, 0}, {0, 0, 0}, &p, &q));
    EXPECT_NEAR(p, -kPi / 2, 1e-12);
    EXPECT_EQ(q, 0.0);

    struct Range {
        double a, b, c, d;
        bool on;
    };
    for (const Range& r : {Range{-2000, -2000, 0, 90, false}, Range{0, 90, 0, 2000, false},
                           Range{0, 90, -1001, 10, false}, Range{-2000, 10, 0, 90, true}, Range{0, 90, -30, 60, true}}) {
        PhiPsiLimits l = phiPsiRanges(r.a, r.b, r.c, r.d);
        EXPECT_EQ(l.on, r.on) << r.a << " " << r.b << " " << r.c << " " << r.d;
        if (!l.on) {
            EXPECT_EQ(l.minPhi + l.maxPhi + l.minPsi + l.maxPsi, 0.0);
        }
    }
    PhiPsiLimits l = phiPsiRanges(0, 90, -30, 60);
    EXPECT_NEAR(l.maxPhi, 1.5707963, 1e-6);
    EXPECT_TRUE(phiPsiAllowed(l, 0.5, 0.5));
    EXPECT_FALSE(phiPsiAllowed(l, -0.01, 0.5));  // ignored, not clamped
    EXPECT_FALSE(phiPsiAllowed(l, 0.5, 1.1));
    EXPECT_TRUE(phiPsiAllowed(PhiPsiLimits{}, 100, -100));
    // Whole turns name the same view: 225 degrees lies within [-180, -90].
    const double deg = 0.017453292519943295;
    PhiPsiLimits back = phiPsiRanges(-180, -90, 0, 45);
    EXPECT_TRUE(phiPsiAllowed(back, 225 * deg, 10 * deg));
    EXPECT_TRUE(phiPsiAllowed(back, -135 * deg, 370 * deg));
    EXPECT_FALSE(phiPsiAllowed(back, 300 * deg, 10 * deg));
    EXPECT_FALSE(phiPsiAllowed(back, 225 * deg, 50 * deg));
    EXPECT_FALSE(phiPsiAllowed(back, std::nan(""), 10 * deg));
    EXPECT_TRUE(phiPsiAllowed(phiPsiRanges(-400, 400, -90, 90), 12345, 0.5)) << "a range of a full turn";
}

TEST(ViewingWindow, SetViewingMaths) {
    Viewing v;
    v.vrp = {0, 0, 0};
    v.eye = {0, -10, 0};
    v.tanHalfAngle = 0.5;
    ViewingPlan p;
    ASSERT_TRUE(planViewing(v, 400, 200, PhiPsiLimits{}, true, &p));
    EXPECT_DOUBLE_EQ(p.eyeDistance, 10);
    EXPECT_DOUBLE_EQ(p.halfWidth, 5);
    EXPECT_DOUBLE_EQ(p.halfHeight, 2.5);
    EXPECT_TRUE(p.upRebuilt);
    EXPECT_NEAR(p.up.x, 0, 1e-12);
    EXPECT_NEAR(p.up.y, 0, 1e-12);
    EXPECT_NEAR(p.up.z, 1, 1e-12);
    // The camera's viewing gives back the tangent it was set with.
    Viewing back;
    ASSERT_TRUE(viewingOfCamera(p.vrp, p.eye, -p.halfWidth, p.halfWidth, p.eyeDistance, p.parallel, &back));
    EXPECT_DOUBLE_EQ(back.tanHalfAngle, 0.5);
    EXPECT_FALSE(viewingOfCamera(p.vrp, p.eye, -1, 1, 0.0, false, &back));

    ASSERT_TRUE(planViewing(v, 0, 0, PhiPsiLimits{}, false, &p));  // no frame yet
    EXPECT_DOUBLE_EQ(p.halfHeight, p.halfWidth);
    EXPECT_FALSE(p.upRebuilt);

    struct Bad {
        const char* what;
        Viewing v;
    };
    const Bad bad[] = {
        {"eye on the VRP", Viewing{{1, 2, 3}, {1, 2, 3}, 0.5, false}},
        {"tangent 0", Viewing{{0, 0, 0}, {0, -10, 0}, 0, false}},
        {"negative tangent", Viewing{{0, 0, 0}, {0, -10, 0}, -0.5, false}},
        {"NaN eye", Viewing{{0, 0, 0}, {NAN, -10, 0}, 0.5, false}},
        {"infinite tangent", Viewing{{0, 0, 0}, {0, -10, 0}, INFINITY, false}},
    };
    for (const Bad& b : bad) {
        ViewingPlan untouched;
        untouched.halfWidth = 42;
        EXPECT_FALSE(planViewing(b.v, 400, 300, PhiPsiLimits{}, true, &untouched)) << b.what;
        EXPECT_EQ(untouched.halfWidth, 42) << b.what;
    }
    // Outside active limits the whole viewing is refused, so eye and up never part.
    PhiPsiLimits l = phiPsiRanges(0, 90, 0, 45);
    EXPECT_FALSE(planViewing(v, 400, 200, l, true, &p));           // Phi -90 degrees
    EXPECT_TRUE(planViewing(v, 400, 200, l, false, &p));           // SetViewing3D keeps the up vector
    v.eye = eyeFromPhiPsi(v.vrp, 10, 0.5, 0.3);
    EXPECT_TRUE(planViewing(v, 400, 200, l, true, &p));
}

TEST(ViewingPan, PanValuesAndTheirPuts) {
    double px = 9, py = 9;
    ASSERT_TRUE(panOf({0, -10, 0}, {0, 0, 0}, {0, 0, 1}, &px, &py));
    EXPECT_EQ(px, 0);
    EXPECT_EQ(py, 0);
    ViewVec eye{0, -10, 0}, vrp{0, 0, 0};
    bool changed = false;
    ASSERT_TRUE(applyPanX(&eye, &vrp, {0, 0, 1}, 2, &changed));
    EXPECT_TRUE(changed);
    EXPECT_DOUBLE_EQ(eye.x, -2);
    EXPECT_DOUBLE_EQ(vrp.x, -2);
    ASSERT_TRUE(applyPanX(&eye, &vrp, {0, 0, 1}, 2, &changed));
    EXPECT_FALSE(changed);

    std::mt19937 rng(11);
    std::uniform_real_distribution<double> d(-50, 50);
    for (int n = 0; n < 200; ++n) {
        ViewVec e{d(rng), d(rng), d(rng)}, r{d(rng), d(rng), d(rng)};
        double phi, psi;
        ASSERT_TRUE(phiPsiOf(e, r, &phi, &psi));
        ViewVec up = upFromPhiPsi(phi, psi);
        ViewVec offset = sub(r, e);
        double vx = d(rng), vy = d(rng);
        ASSERT_TRUE(applyPanX(&e, &r, up, vx));
        ASSERT_TRUE(applyPanY(&e, &r, up, vy));
        ASSERT_TRUE(panOf(e, r, up, &px, &py));
        EXPECT_NEAR(px, vx, 1e-9);
        EXPECT_NEAR(py, vy, 1e-9);
        ViewVec after = sub(r, e);
        EXPECT_NEAR(after.x, offset.x, 1e-9);
        EXPECT_NEAR(after.y, offset.y, 1e-9);
        EXPECT_NEAR(after.z, offset.z, 1e-9);
    }
    ViewVec e2{0, -10, 0}, r2{0, 0, 0};
    EXPECT_FALSE(panOf(e2, e2, {0, 0, 1}, &px, &py));
    EXPECT_FALSE(panOf(e2, r2, {0, 1, 0}, &px, &py));  // up along the view
    EXPECT_FALSE(applyPanY(&e2, &r2, {0, 0, 1}, NAN));
    EXPECT_EQ(e2.y, -10);
}

TEST(ViewingRecords, PendingAndPredefined) {
    PendingViewing p;
    EXPECT_EQ(p.zoom, 1.0f);
    EXPECT_EQ(p.phi, 225.0f);
    EXPECT_EQ(p.psi, 30.0f);
    EXPECT_EQ(p.flags, 0u);
    pendingSetCameraValue(p, 4, -7.5f);
    EXPECT_EQ(p.flags, uint32_t(PendingViewing::kEyeGiven));
    pendingSetCameraValue(p, 2, 1.25f);
    EXPECT_EQ(p.flags, uint32_t(PendingViewing::kEyeGiven | PendingViewing::kVrpGiven));
    EXPECT_EQ(pendingCameraValue(p, 4), -7.5f);
    EXPECT_EQ(pendingCameraValue(p, 2), 1.25f);
    pendingSetCameraValue(p, 6, 9);
    EXPECT_EQ(pendingCameraValue(p, 6), 0.0f);

    std::vector<uint8_t> recs;
    for (float f : {1.f, 2.f, 3.f, 4.f, 5.f, 6.f, 0.25f}) putFloat(recs, f);
    put32(recs, 1);
    for (int i = 0; i < 8; ++i) putFloat(recs, 0.5f);
    recs.resize(recs.size() - 4);  // the second record is cut short
    Viewing v;
    ASSERT_TRUE(predefinedViewingAt(recs.data(), recs.size(), 2, 0, &v));
    EXPECT_EQ(v.eye.z, 6);
    EXPECT_EQ(v.tanHalfAngle, 0.25);
    EXPECT_TRUE(v.parallel);
    EXPECT_FALSE(predefinedViewingAt(recs.data(), recs.size(), 2, 1, &v));
    EXPECT_FALSE(predefinedViewingAt(recs.data(), recs.size(), 2, -1, &v));
    EXPECT_FALSE(predefinedViewingAt(recs.data(), recs.size(), 1, 1, &v));
    EXPECT_FALSE(predefinedViewingAt(nullptr, 64, 2, 0, &v));
}

TEST(ViewingWalk, StepDirections) {
    using K = WalkMotion::Kind;
    struct Case {
        int dir;
        std::vector<std::pair<K, double>> motions;
    };
    const Case cases[] = {
        {0, {{K::Turn, -2}}},
        {1, {{K::Forward, 2}, {K::Turn, -2}}},
        {2, {{K::Forward, 2}}},
        {3, {{K::Forward, 2}, {K::Turn, 2}}},
        {4, {{K::Turn, 2}}},
        {5, {{K::Turn, 2}, {K::Forward, -2}}},
        {6, {{K::Forward, -2}}},
        {7, {{K::Turn, -2}, {K::Forward, -2}}},
        {8, {{K::Lift, 2}}},
        {9, {{K::Lift, -2}}},
        {10, {}},
        {-1, {}},
    };
    for (const Case& c : cases) {
        auto m = walkThroughMotions(c.dir, 2);
        ASSERT_EQ(m.size(), c.motions.size()) << c.dir;
        for (size_t i = 0; i < m.size(); ++i) {
            EXPECT_EQ(m[i].kind, c.motions[i].first) << c.dir;
            EXPECT_EQ(m[i].amount, c.motions[i].second) << c.dir;
        }
    }
}

// Objects and groups of the control sited in the test container: slots named, loaded,
// grouped and deleted with their identifiers checked, placements and positions, picked
// positions, collisions, lights and the cursor mode, cache limits with held entries, the
// drop, saving, the update counter and the host services table.
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "boxfiles.h"
#include "caches.h"
#include "com/module.h"
#include "ctlmodule_win.h"
#include "controlref.h"
#include "olecontainer.h"
#include "picks.h"
#include "pixeltest.h"
#include "qivctl_win.h"
#include "qivplayer_idl.h"
#include "scene/sceneops.h"
#include "scene/texture.h"
#include "serverparts_win.h"
#include "slots.h"
#include "window_win.h"

namespace {

BSTR bstr(const std::string& s) {
    std::wstring w(s.begin(), s.end());
    return SysAllocString(w.c_str());
}

std::string narrow(BSTR b) {
    std::string s;
    for (UINT i = 0; b && i < SysStringLen(b); ++i) s += char(b[i]);
    return s;
}

// Box files shared by the tests (object files hold their objects centred): a unit box, a
// wide floor, and the sample object with its texture.
struct Files {
    std::string dir, a, floor, sample;
};

const Files& files() {
    static Files f = [] {
        Files f;
        f.dir = qivtest::tempDir("qiv objects");
        f.a = f.dir + "\\a.pel";
        f.floor = f.dir + "\\floor.pel";
        f.sample = f.dir + "\\sample.pel";
        EXPECT_TRUE(qivtest::writeBoxFile(f.a, {0, 0, 0}, {0.5f, 0.5f, 0.5f}));
        EXPECT_TRUE(qivtest::writeBoxFile(f.floor, {0, 0, 0}, {3, 3, 0.5f}));
        EXPECT_TRUE(sampleWriteObjectFile(f.sample.c_str(), false));
        return f;
    }();
    return f;
}

class Objects : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        OleInitialize(nullptr);
        qcom::module().init(GetModuleHandleW(nullptr), qivClassTable(), qivClassCount());
        files();
    }
    void SetUp() override {
        qivctl::cachesReset();
        control_ = qivtest::ControlRef::create();
        ASSERT_TRUE(control_);
        c_ = control_.get();
        ctl_ = control_.ctl();
        ASSERT_EQ(S_OK, qivtest::Connect(c_, DIID__QivPlayerEvents, &events_, &eventCookie_));
        ASSERT_EQ(S_OK, qivtest::Connect(c_, IID_IPropertyNotifySink, &notify_, &notifyCookie_));
        ShowWindow(host_.window(), SW_SHOW);
        ctl_->state().rendererKind = 2;
        ASSERT_EQ(S_OK, host_.Embed(c_, true));
    }
    void TearDown() override {
        qivtest::Disconnect(c_, DIID__QivPlayerEvents, eventCookie_);
        qivtest::Disconnect(c_, IID_IPropertyNotifySink, notifyCookie_);
        host_.Unembed();
        control_.reset();
        qivctl::cachesReset();
    }
    LONG add(const std::string& file) {
        BSTR b = bstr(file);
        LONG id = -7;
        EXPECT_EQ(S_OK, c_->AddObject(b, &id));
        SysFreeString(b);
        return id;
    }
    // Added, made current and shown (which loads it).
    LONG show(const std::string& file) {
        LONG id = add(file);
        EXPECT_EQ(S_OK, c_->put_CurrentObject(id));
        VARIANT_BOOL ok = VARIANT_FALSE;
        EXPECT_EQ(S_OK, c_->ObjectShow(VARIANT_TRUE, &ok));
        EXPECT_EQ(VARIANT_TRUE, ok);
        return id;
    }
    // The object moved by (x, y, z); it becomes the current one.
    void move(LONG id, float x, float y, float z) {
        VARIANT_BOOL ok = VARIANT_FALSE;
        ASSERT_EQ(S_OK, c_->put_CurrentObject(id));
        ASSERT_EQ(S_OK, c_->ObjectTranslate(x, y, z, &ok));
        EXPECT_EQ(VARIANT_TRUE, ok);
    }
    LONG shownGroup() {
        LONG g = -1;
        EXPECT_EQ(S_OK, c_->NewGroup(&g));
        EXPECT_EQ(S_OK, c_->put_CurrentObject(g));
        VARIANT_BOOL ok = VARIANT_FALSE;
        EXPECT_EQ(S_OK, c_->ObjectShow(VARIANT_TRUE, &ok));
        return g;
    }
    Vec3 curPos(LONG id) {
        Vec3 p{-1, -1, -1};
        VARIANT_BOOL ok = VARIANT_FALSE;
        EXPECT_EQ(S_OK, c_->ObjectGetCurPos(id, &p.x, &p.y, &p.z, &ok));
        EXPECT_EQ(VARIANT_TRUE, ok);
        return p;
    }
    std::string position(LONG id) {
        BSTR s = nullptr;
        EXPECT_EQ(S_OK, c_->ObjectGetPositionAsString(id, &s));
        std::string out = narrow(s);
        SysFreeString(s);
        return out;
    }
    std::string collidingText(LONG id) {
        BSTR s = nullptr;
        EXPECT_EQ(S_OK, c_->GetCollidingObjectsAsString(id, &s));
        std::string out = s ? narrow(s) : "<null>";
        SysFreeString(s);
        return out;
    }
    std::vector<LONG> colliding(LONG id) {
        VARIANT v;
        v.vt = VT_ERROR;  // whatever the caller left there
        EXPECT_EQ(S_OK, c_->GetCollidingObjects(id, &v));
        std::vector<LONG> out;
        if (v.vt == VT_EMPTY) return {-99};
        EXPECT_EQ(VT_ARRAY | VT_I4, v.vt);
        if (v.vt != (VT_ARRAY | VT_I4)) return out;
        EXPECT_EQ(1u, SafeArrayGetDim(v.parray));
        LONG lo = -1, hi = -1;
        SafeArrayGetLBound(v.parray, 1, &lo);
        SafeArrayGetUBound(v.parray, 1, &hi);
        EXPECT_EQ(0, lo);
        for (LONG i = lo; i <= hi; ++i) {
            LONG x = 0;
            SafeArrayGetElement(v.parray, &i, &x);
            out.push_back(x);
        }
        VariantClear(&v);
        return out;
    }

    qivtest::OleTestContainer host_;
    IQivPlayer2* c_ = nullptr;
    qivtest::ControlRef control_;
    CQivPlayerCtl* ctl_ = nullptr;
    qivtest::EventSink events_{DIID__QivPlayerEvents};
    qivtest::NotifySink notify_;
    DWORD eventCookie_ = 0, notifyCookie_ = 0;
};

}  // namespace

// Identifiers name used slots only; groups refuse cycles and take children from other
// groups; a deleted group frees its own slot (its members become roots) and its id answers
// errors, with no second delete.
TEST_F(Objects, SlotsGroupsAndIdentifiers) {
    const Files& f = files();
    EXPECT_EQ(0, add(f.a));
    EXPECT_EQ(1, add(f.a));
    EXPECT_EQ(2, add(f.a));
    VARIANT_BOOL ok = VARIANT_TRUE;
    EXPECT_EQ(S_OK, c_->ObjectIsLoaded(0, &ok));
    EXPECT_EQ(VARIANT_FALSE, ok) << "nothing is loaded before it is shown or forced";
    for (LONG id : {0, 1, 2}) {
        EXPECT_EQ(S_OK, c_->ObjectForceLoad(id, &ok));
        EXPECT_EQ(VARIANT_TRUE, ok) << id;
    }
    EXPECT_EQ(S_OK, c_->ObjectForceLoad(0, &ok));
    EXPECT_EQ(VARIANT_FALSE, ok) << "loaded already";
    EXPECT_EQ(S_OK, c_->ObjectIsLoaded(1, &ok));
    EXPECT_EQ(VARIANT_TRUE, ok);

    LONG g = -1, outer = -1, v = 0;
    EXPECT_EQ(S_OK, c_->NewGroup(&g));
    EXPECT_EQ(3, g);
    EXPECT_EQ(S_OK, c_->NewGroup(&outer));
    EXPECT_EQ(S_OK, c_->ObjectIsGroup(g, &ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    EXPECT_EQ(S_OK, c_->ObjectIsGroup(0, &ok));
    EXPECT_EQ(VARIANT_FALSE, ok);
    EXPECT_EQ(S_OK, c_->ObjectIsLoaded(g, &ok));
    EXPECT_EQ(VARIANT_FALSE, ok);

    const struct {
        LONG group, child, index;
    } adds[] = {{g, 0, 0}, {g, 1, 1}, {outer, g, 0}, {g, g, -1}, {g, outer, -1}, {0, 1, -1}, {g, 99, -1}, {g, -2, -1}};
    for (const auto& a : adds) {
        EXPECT_EQ(S_OK, c_->ObjectAddChild(a.group, a.child, &v));
        EXPECT_EQ(a.index, v) << a.group << " <- " << a.child;
    }
    EXPECT_EQ(E_FAIL, c_->ObjectAddChild(99, 0, &v));
    EXPECT_EQ(-1, v);
    EXPECT_EQ(S_OK, c_->ObjectGetParent(0, &v));
    EXPECT_EQ(g, v);
    EXPECT_EQ(S_OK, c_->ObjectGetParent(g, &v));
    EXPECT_EQ(outer, v);
    EXPECT_EQ(S_OK, c_->ObjectGetParent(2, &v));
    EXPECT_EQ(-1, v);
    EXPECT_EQ(S_OK, c_->ObjectGetParent(77, &v));
    EXPECT_EQ(-1, v);
    EXPECT_EQ(S_OK, c_->ObjectGetChildCount(g, &v));
    EXPECT_EQ(2, v);
    EXPECT_EQ(S_OK, c_->ObjectGetChildCount(0, &v));
    EXPECT_EQ(0, v);
    EXPECT_EQ(S_OK, c_->ObjectGetChild(g, 1, &v));
    EXPECT_EQ(1, v);
    for (LONG index : {-1, 2}) {
        EXPECT_EQ(S_OK, c_->ObjectGetChild(g, index, &v));
        EXPECT_EQ(-1, v);
    }
    EXPECT_EQ(S_OK, c_->ObjectGetChild(0, 0, &v));
    EXPECT_EQ(-1, v);

    // A child of another group moves over.
    EXPECT_EQ(S_OK, c_->ObjectAddChild(outer, 1, &v));
    EXPECT_EQ(1, v);
    EXPECT_EQ(S_OK, c_->ObjectGetChildCount(g, &v));
    EXPECT_EQ(1, v);
    EXPECT_EQ(S_OK, c_->ObjectRemoveChild(outer, 1, &ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    EXPECT_EQ(S_OK, c_->ObjectGetParent(1, &v));
    EXPECT_EQ(-1, v);
    EXPECT_EQ(S_OK, c_->ObjectRemoveChild(outer, 7, &ok));
    EXPECT_EQ(VARIANT_FALSE, ok);
    EXPECT_EQ(S_OK, c_->ObjectRemoveChild(0, 0, &ok));
    EXPECT_EQ(VARIANT_FALSE, ok);

    BSTR text = bstr("hello");
    EXPECT_EQ(S_OK, c_->ObjectSetUserData(2, text));
    EXPECT_EQ(E_FAIL, c_->ObjectSetUserData(88, text));
    SysFreeString(text);
    EXPECT_EQ(S_OK, c_->ObjectGetUserData(2, &text));
    EXPECT_EQ("hello", narrow(text));
    SysFreeString(text);
    EXPECT_EQ(S_OK, c_->ObjectMayMove(2, 1 | 0x80, &ok));
    EXPECT_EQ(VARIANT_FALSE, ok) << "always false";
    EXPECT_EQ(1u | 0x80u, ctl_->state().slots[2].moveFlags);

    // Bad identifiers are refused with E_FAIL and no out value left unset.
    const LONG bad[] = {-1, 99};
    for (LONG id : bad) {
        SCOPED_TRACE(id);
        EXPECT_EQ(E_FAIL, c_->ObjectIsGroup(id, &ok));
        EXPECT_EQ(E_FAIL, c_->ObjectGetChildCount(id, &v));
        EXPECT_EQ(E_FAIL, c_->ObjectGetChild(id, 0, &v));
        EXPECT_EQ(E_FAIL, c_->ObjectRemoveChild(id, 0, &ok));
        EXPECT_EQ(E_FAIL, c_->ObjectMayMove(id, 1, &ok));
        EXPECT_EQ(E_FAIL, c_->ObjectForceLoad(id, &ok));
        EXPECT_EQ(VARIANT_FALSE, ok);
        text = reinterpret_cast<BSTR>(1);
        EXPECT_EQ(E_FAIL, c_->ObjectGetUserData(id, &text));
        EXPECT_EQ(nullptr, text);
        EXPECT_EQ(E_FAIL, c_->ObjectGetPositionAsString(id, &text));
        EXPECT_EQ(E_FAIL, c_->put_CurrentObject(id));
    }

    // Deleting the outer group frees its slot alone: its member g becomes a root and keeps
    // object 0, so the host's identifiers of the members stay valid.
    ASSERT_EQ(S_OK, c_->put_CurrentObject(outer));
    EXPECT_EQ(S_OK, c_->ObjectDelete(&ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    EXPECT_EQ(E_FAIL, c_->ObjectIsGroup(outer, &ok));
    EXPECT_EQ(E_FAIL, c_->put_CurrentObject(outer));
    EXPECT_EQ(S_OK, c_->ObjectGetParent(g, &v));
    EXPECT_EQ(-1, v);
    EXPECT_EQ(S_OK, c_->ObjectGetChild(g, 0, &v));
    EXPECT_EQ(0, v);
    EXPECT_EQ(S_OK, c_->ObjectIsLoaded(0, &ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    EXPECT_EQ(S_OK, c_->get_CurrentObject(&v));
    EXPECT_EQ(-1, v);
    EXPECT_EQ(E_FAIL, c_->ObjectDelete(&ok)) << "no second delete";
    EXPECT_EQ(S_OK, c_->ObjectIsLoaded(2, &ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    EXPECT_EQ(outer, add(f.a)) << "the first free slot is taken again";
    EXPECT_EQ(E_POINTER, c_->NewGroup(nullptr));
    EXPECT_EQ(E_POINTER, c_->ObjectIsLoaded(0, nullptr));
}

// Placements in the object's own and in the parent's axes, world positions through groups,
// boxes, and the position texts.
TEST_F(Objects, PlacementsPositionsAndExtents) {
    const LONG a = show(files().a);
    VARIANT_BOOL ok = VARIANT_FALSE;
    const std::string identity = position(a);
    EXPECT_EQ("1.000000e+00/0.000000e+00/0.000000e+00/0.000000e+00/0.000000e+00/1.000000e+00/0.000000e+00/"
              "0.000000e+00/0.000000e+00/0.000000e+00/1.000000e+00/0.000000e+00/0.000000e+00/0.000000e+00/"
              "0.000000e+00/1.000000e+00",
              identity);
    BSTR real = nullptr;
    ASSERT_EQ(S_OK, c_->ObjectGetRealPositionAsString(a, &real));
    EXPECT_EQ(identity, narrow(real));
    SysFreeString(real);

    ASSERT_EQ(S_OK, c_->ObjectTranslate(1, 2, 3, &ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    Vec3 p = curPos(a);
    EXPECT_FLOAT_EQ(3, p.z);
    ASSERT_EQ(S_OK, c_->ObjectTurn(0, 0, 1, 90, &ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    p = curPos(a);
    EXPECT_NEAR(1, p.x, 1e-5f);
    EXPECT_NEAR(2, p.y, 1e-5f);
    EXPECT_EQ(S_OK, c_->ObjectTurn(0, 0, 0, 90, &ok));
    EXPECT_EQ(VARIANT_FALSE, ok) << "zero axis";
    EXPECT_EQ(S_OK, c_->ObjectRotate(0, 0, 0, 90, &ok));
    EXPECT_EQ(VARIANT_FALSE, ok);
    // After the placement: along the parent's x although the object is turned.
    ASSERT_EQ(S_OK, c_->ObjectTranslate2(1, 0, 0, &ok));
    p = curPos(a);
    EXPECT_NEAR(2, p.x, 1e-5f);
    EXPECT_NEAR(2, p.y, 1e-5f);
    ASSERT_EQ(S_OK, c_->ObjectScale(2, 2, 2, &ok));
    float dx = 0, dy = 0, dz = 0;
    ASSERT_EQ(S_OK, c_->ObjectGetExtend(VARIANT_TRUE, &dx, &dy, &dz, &ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    EXPECT_NEAR(2, dx, 1e-4f);
    EXPECT_NEAR(2, dz, 1e-4f);
    ASSERT_EQ(S_OK, c_->ObjectGetExtendY(VARIANT_FALSE, &dy));
    EXPECT_NEAR(1, dy, 1e-4f) << "the content's own box";
    float x = 0, y = 0, z = 0;
    ASSERT_EQ(S_OK, c_->ObjectGetRealPos(a, &x, &y, &z, &ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    EXPECT_NEAR(2, x, 1e-4f);
    EXPECT_NEAR(3, z, 1e-4f);
    EXPECT_EQ(E_INVALIDARG, c_->ObjectTranslate(NAN, 0, 0, &ok));
    EXPECT_EQ(VARIANT_FALSE, ok);
    EXPECT_NEAR(2, curPos(a).x, 1e-5f) << "refused values change nothing";

    // The text gives the placement back exactly.
    const std::string placed = position(a);
    ASSERT_EQ(S_OK, c_->ObjectResetPosition(&ok));
    EXPECT_EQ(identity, position(a));
    BSTR t = bstr(placed);
    ASSERT_EQ(S_OK, c_->ObjectSetPositionFromString(a, t, &ok));
    SysFreeString(t);
    EXPECT_EQ(VARIANT_TRUE, ok);
    EXPECT_EQ(placed, position(a));
    for (const char* wrong : {"1/2/3", "1.0/0/0/0/0/1/0/0/0/0/1/0/0/0/0/1x", "garbage garbage garbage"}) {
        t = bstr(wrong);
        EXPECT_EQ(S_OK, c_->ObjectSetPositionFromString(a, t, &ok));
        EXPECT_EQ(VARIANT_FALSE, ok) << wrong;
        SysFreeString(t);
    }
    EXPECT_EQ(placed, position(a));

    // A group moves its members; its box is theirs.
    const LONG g = shownGroup();
    LONG index = -1;
    ASSERT_EQ(S_OK, c_->ObjectAddChild(g, a, &index));
    ASSERT_EQ(S_OK, c_->ObjectTranslate(0, 0, 10, &ok));
    EXPECT_NEAR(13, curPos(a).z, 1e-4f);
    ASSERT_EQ(S_OK, c_->ObjectGetRealPosZ(g, &z));
    EXPECT_NEAR(13, z, 1e-4f);
    ASSERT_EQ(S_OK, c_->ObjectGetExtend(VARIANT_TRUE, &dx, &dy, &dz, &ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    EXPECT_NEAR(2, dz, 1e-4f);
    ASSERT_EQ(S_OK, c_->ObjectGetExtend(VARIANT_FALSE, &dx, &dy, &dz, &ok));
    EXPECT_EQ(VARIANT_FALSE, ok) << "a group has no box of its own";
    EXPECT_EQ(0, dx);

    // The world matrix text refuses groups, unloaded and freed slots.
    const LONG named = add(files().a);
    for (LONG id : {g, named, 55L}) {
        real = reinterpret_cast<BSTR>(1);
        EXPECT_EQ(E_FAIL, c_->ObjectGetRealPositionAsString(id, &real)) << id;
        EXPECT_EQ(nullptr, real);
    }
    // An object not shown has no real position.
    ASSERT_EQ(S_OK, c_->ObjectGetRealPos(named, &x, nullptr, nullptr, &ok));
    EXPECT_EQ(VARIANT_FALSE, ok);
    EXPECT_EQ(0, x);
    EXPECT_EQ(S_OK, c_->ObjectGetCurPos(99, &x, &y, &z, &ok));
    EXPECT_EQ(VARIANT_FALSE, ok);
}

// The scene roots hold the shown objects, through shown groups, at their world placements.
TEST_F(Objects, RootsFollowShownGroups) {
    const LONG a = show(files().a), b = show(files().a);
    auto roots = [&] { return scnListLength(ctl_->state().sceneRoots); };
    EXPECT_EQ(2u, roots());
    LONG g = -1, index = -1;
    ASSERT_EQ(S_OK, c_->NewGroup(&g));
    ASSERT_EQ(S_OK, c_->ObjectAddChild(g, a, &index));
    EXPECT_EQ(1u, roots()) << "a new group is hidden, and its members with it";
    ASSERT_EQ(S_OK, c_->put_CurrentObject(g));
    VARIANT_BOOL ok = VARIANT_FALSE;
    ASSERT_EQ(S_OK, c_->ObjectShow(VARIANT_TRUE, &ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    EXPECT_EQ(2u, roots());
    ASSERT_EQ(S_OK, c_->ObjectTranslate(0, 0, 2, &ok));
    EXPECT_EQ(2.0f, ctl_->state().slots[size_t(a)].node->base.m[14]) << "the node follows its group";
    EXPECT_EQ(S_OK, c_->ObjectShow(VARIANT_TRUE, &ok));
    EXPECT_EQ(VARIANT_FALSE, ok) << "nothing changed";
    move(a, 0, 0, 0);
    ASSERT_EQ(S_OK, c_->ObjectShow(VARIANT_FALSE, &ok));
    EXPECT_EQ(1u, roots());
    ASSERT_EQ(S_OK, c_->put_CurrentObject(g));
    ASSERT_EQ(S_OK, c_->ObjectDelete(&ok));
    EXPECT_EQ(1u, roots());
    EXPECT_EQ(ctl_->state().slots[size_t(b)].node, ctl_->state().sceneRoots[0]);
}

// Keeping positions: the child stays where it was and the group centres on its members.
TEST_F(Objects, AddAndRemoveChildKeepingPositions) {
    const LONG a = show(files().a), c = show(files().a);
    VARIANT_BOOL ok;
    move(c, 5, 0, 0);
    move(a, 1, 0, 0);
    const LONG g = shownGroup();
    ASSERT_EQ(S_OK, c_->ObjectTranslate(0, 0, 4, &ok));
    LONG index = -1;
    ASSERT_EQ(S_OK, c_->ObjectAddChildKeepPos(g, a, &index));
    EXPECT_EQ(0, index);
    ASSERT_EQ(S_OK, c_->ObjectAddChildKeepPos(g, c, &index));
    EXPECT_EQ(1, index);
    EXPECT_NEAR(1, curPos(a).x, 1e-4f);
    EXPECT_NEAR(0, curPos(a).z, 1e-4f);
    EXPECT_NEAR(5, curPos(c).x, 1e-4f);
    // The group's origin at the centre of a (0.5..1.5) and c (4.5..5.5).
    EXPECT_NEAR(3, curPos(g).x, 1e-4f);
    EXPECT_NEAR(0, curPos(g).z, 1e-4f);
    ASSERT_EQ(S_OK, c_->ObjectRemoveChildKeepPos(g, 0, &ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    EXPECT_NEAR(1, curPos(a).x, 1e-4f);
    EXPECT_NEAR(5, curPos(g).x, 1e-4f);
    EXPECT_EQ(S_OK, c_->ObjectAddChildKeepPos(g, g, &index));
    EXPECT_EQ(-1, index);
    EXPECT_EQ(E_FAIL, c_->ObjectRemoveChildKeepPos(42, 0, &ok));
}

// The last pick in world, model and group coordinates; without an object zeros, S_OK.
TEST_F(Objects, LastPickedPositions) {
    float x = 5, y = 5, z = 5;
    EXPECT_EQ(S_OK, c_->GetLastPickedPosition(qivCoordsWorld, &x, &y, &z));
    EXPECT_EQ(0, x);
    EXPECT_EQ(0, z) << "before any pick";
    x = y = z = 5;
    EXPECT_EQ(S_OK, c_->GetLastPickedPosition(qivCoordsModell, &x, &y, &z));
    EXPECT_EQ(0, x);
    EXPECT_EQ(0, z);
    y = 5;
    EXPECT_EQ(S_OK, c_->GetLastPickedPositionY(qivCoordsGroup, &y));
    EXPECT_EQ(0, y);
    EXPECT_EQ(E_POINTER, c_->GetLastPickedPosition(qivCoordsWorld, &x, nullptr, &z));
    EXPECT_EQ(E_POINTER, c_->GetLastPickedPositionX(qivCoordsWorld, nullptr));

    const LONG a = show(files().a);
    VARIANT_BOOL ok;
    c_->ObjectTranslate(1, 0, 0, &ok);
    const LONG g = shownGroup();
    LONG index;
    c_->ObjectAddChild(g, a, &index);
    c_->ObjectTranslate(0, 2, 0, &ok);
    ASSERT_EQ(S_OK, c_->put_CurrentObject(a));
    const float hit[3] = {1.5f, 2, 0.25f};
    ctl_->SetLastPick(hit, 3, 4);
    const struct {
        qivCoordinateTypes which;
        float x, y, z;
    } rows[] = {{qivCoordsWorld, 1.5f, 2, 0.25f}, {qivCoordsModell, 0.5f, 0, 0.25f}, {qivCoordsGroup, 0.5f, 2, 0.25f}};
    for (const auto& r : rows) {
        SCOPED_TRACE(int(r.which));
        ASSERT_EQ(S_OK, c_->GetLastPickedPosition(r.which, &x, &y, &z));
        EXPECT_NEAR(r.x, x, 1e-5f);
        EXPECT_NEAR(r.y, y, 1e-5f);
        EXPECT_NEAR(r.z, z, 1e-5f);
        float one = 0;
        ASSERT_EQ(S_OK, c_->GetLastPickedPositionZ(r.which, &one));
        EXPECT_NEAR(r.z, one, 1e-5f);
    }
    x = y = z = 7;
    EXPECT_EQ(S_OK, c_->GetLastPickedPosition(qivCoordinateTypes(9), &x, &y, &z));
    EXPECT_EQ(7, x) << "other systems write nothing";
    ASSERT_EQ(S_OK, c_->GetLastPickedPositionX(qivCoordinateTypes(9), &x));
    EXPECT_EQ(0, x);
    LONG texture = 0;
    EXPECT_EQ(S_OK, c_->get_LastPickedTexture(&texture));
    EXPECT_EQ(3, texture);
}

// Collisions of objects and groups as identifiers, as a SAFEARRAY and as text.
TEST_F(Objects, CollidingObjects) {
    const Files& f = files();
    const LONG a = show(f.a), b = show(f.a), c = show(f.a);
    move(b, 0.8f, 0, 0);
    move(c, 5, 0, 0);
    EXPECT_EQ(std::vector<LONG>{b}, colliding(a));
    EXPECT_EQ(std::vector<LONG>{}, colliding(c));
    EXPECT_EQ("1", collidingText(a));
    EXPECT_EQ("<null>", collidingText(c)) << "no collision: no text";
    EXPECT_EQ(std::vector<LONG>{-99}, colliding(42)) << "an unknown id: nothing";
    EXPECT_EQ("<null>", collidingText(-1));
    // b between a and d: both, one comma, no trailing comma.
    const LONG d = show(f.a);
    move(d, 1.6f, 0, 0);
    const std::string both = collidingText(b);
    EXPECT_TRUE(both == "0,3" || both == "3,0") << both;
    const std::vector<LONG> ids = colliding(b);
    EXPECT_EQ((std::set<LONG>{a, d}), std::set<LONG>(ids.begin(), ids.end()));
    // A group's visible members collide together.
    const LONG g = shownGroup();
    LONG index;
    c_->ObjectAddChild(g, a, &index);
    c_->ObjectAddChild(g, c, &index);
    EXPECT_EQ(std::vector<LONG>{b}, colliding(g));
    // Moved apart, nothing collides.
    VARIANT_BOOL ok;
    c_->ObjectTranslate(0, 0, 5, &ok);
    EXPECT_EQ(std::vector<LONG>{}, colliding(g));
    EXPECT_EQ(E_POINTER, c_->GetCollidingObjects(a, nullptr));
    EXPECT_EQ(E_POINTER, c_->GetCollidingObjectsAsString(a, nullptr));
}

TEST_F(Objects, LightsAndCursorMode) {
    show(files().sample);
    notify_.changed.clear();
    ASSERT_EQ(S_OK, c_->put_Lights(0x0F));
    LONG lights = 0;
    EXPECT_EQ(S_OK, c_->get_Lights(&lights));
    EXPECT_EQ(0x0F, lights);
    ASSERT_EQ(S_OK, c_->put_Lights(0x1F));
    EXPECT_EQ(std::vector<DISPID>({qivdispid::Lights, qivdispid::Lights}), notify_.changed);
    VARIANT_BOOL ok = VARIANT_FALSE;
    EXPECT_EQ(S_OK, c_->ObjectSwitchLight(VARIANT_TRUE, &ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    EXPECT_EQ(S_OK, c_->ObjectSetHighlightedSubObject(1, &ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    EXPECT_EQ(S_OK, c_->ObjectSetHighlightedSubObject(-1, &ok));

    EXPECT_EQ(1, ctl_->state().cursorType);
    EXPECT_EQ(S_OK, c_->SetCursorMode(qivCursorHAND));
    EXPECT_EQ(int32_t(qivCursorHAND), ctl_->state().cursorType);
    EXPECT_EQ(S_OK, c_->SetCursorMode(qivCursorHAND));
    // A mode without a cursor of its own is kept and leaves the cursor to the window.
    for (int other : {-1, 37, 1000}) {
        EXPECT_EQ(S_OK, c_->SetCursorMode(qivCursorTypes(other))) << other;
        EXPECT_EQ(other, ctl_->state().cursorType);
        SendMessageW(ctl_->hwnd(), WM_SETCURSOR, WPARAM(ctl_->hwnd()), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    }

    // Members of the current object fail without one.
    c_->put_CurrentObject(0);
    c_->ObjectDelete(&ok);
    EXPECT_EQ(E_FAIL, c_->ObjectSwitchLight(VARIANT_TRUE, &ok));
    EXPECT_EQ(E_FAIL, c_->ObjectTranslate(1, 0, 0, &ok));
    EXPECT_EQ(E_FAIL, c_->ObjectShow(VARIANT_TRUE, &ok));
    float dx = 9;
    EXPECT_EQ(S_OK, c_->ObjectGetExtendX(VARIANT_TRUE, &dx)) << "no objects at all";
    EXPECT_EQ(0, dx);
}

// Limits with their minimums; a flush keeps what slots still hold and frees it once they let go.
TEST_F(Objects, CacheLimitsAndFlushWithHeldEntries) {
    VARIANT_BOOL ok = VARIANT_TRUE;
    const struct {
        LONG objects, textures, materials, pictures;
        bool taken;
    } rows[] = {{1, 200, 100, 5, false}, {30, 9, 100, 5, false}, {30, 200, 9, 5, false}, {30, 200, 100, 1, false},
                {-5, 200, 100, 5, false}, {2, 10, 10, 2, true}};
    for (const auto& r : rows) {
        ASSERT_EQ(S_OK, c_->ConfigureCache2(r.objects, r.textures, r.materials, r.pictures, &ok));
        EXPECT_EQ(r.taken ? VARIANT_TRUE : VARIANT_FALSE, ok) << r.objects << " " << r.textures;
    }
    qivctl::CacheLimits limits = qivctl::cacheLimits();
    EXPECT_EQ(2u, limits.objects);
    EXPECT_EQ(10u, limits.texturesConfigured);
    EXPECT_EQ(2u, limits.backPictures);
    ASSERT_EQ(S_OK, c_->ConfigureCache(3, 20, 4, &ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    EXPECT_EQ(100u, qivctl::cacheLimits().materials);
    EXPECT_EQ(E_POINTER, c_->ConfigureCache2(2, 10, 10, 2, nullptr));

    // The same object twice shares one content and one texture.
    const LONG first = show(files().sample), second = show(files().sample);
    const QivControlState& st = ctl_->state();
    ASSERT_EQ(1u, st.slots[size_t(first)].textureHandles.size());
    TexRecord* texture = st.slots[size_t(first)].textureHandles[0];
    ASSERT_NE(nullptr, texture);
    EXPECT_EQ(texture, st.slots[size_t(second)].textureHandles[0]);
    EXPECT_EQ(st.slots[size_t(first)].node->content, st.slots[size_t(second)].node->content);
    EXPECT_EQ(2u, qivctl::TextureCacheUses(texture));
    ASSERT_EQ(S_OK, c_->FlushCaches(VARIANT_TRUE, VARIANT_TRUE, VARIANT_TRUE, VARIANT_TRUE));
    EXPECT_EQ(1u, qivctl::ObjectCacheCount());
    EXPECT_EQ(1u, qivctl::TextureCacheCount());
    ASSERT_EQ(S_OK, c_->put_CurrentObject(first));
    ASSERT_EQ(S_OK, c_->ObjectDelete(&ok));
    c_->FlushCaches(VARIANT_TRUE, VARIANT_TRUE, VARIANT_FALSE, VARIANT_FALSE);
    EXPECT_EQ(1u, qivctl::TextureCacheUses(texture)) << "still held by the second";
    EXPECT_EQ(1u, qivctl::ObjectCacheCount());
    ASSERT_EQ(S_OK, c_->put_CurrentObject(second));
    ASSERT_EQ(S_OK, c_->ObjectDelete(&ok));
    c_->FlushCaches(VARIANT_TRUE, VARIANT_TRUE, VARIANT_FALSE, VARIANT_FALSE);
    EXPECT_EQ(0u, qivctl::TextureCacheCount());
    EXPECT_EQ(0u, qivctl::ObjectCacheCount());
}

// A box dropped onto a floor comes to rest on it and ObjectMove tells where.
TEST_F(Objects, DropOntoTheFloor) {
    show(files().floor);
    const LONG box = show(files().a);
    VARIANT_BOOL ok = VARIANT_FALSE;
    ASSERT_EQ(S_OK, c_->ObjectTranslate(0, 0, 5, &ok));
    events_.events.clear();
    const bool filter = ctl_->win().filter;
    ASSERT_EQ(S_OK, c_->ObjectDrop(VARIANT_TRUE, -100, VARIANT_TRUE, &ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    const float z = curPos(box).z;
    EXPECT_GE(z, 0.99f);
    EXPECT_LT(z, 1.1f);
    ASSERT_EQ(1u, events_.events.size());
    EXPECT_EQ(9, events_.events[0].id);
    ASSERT_EQ(5u, events_.events[0].args.size());
    EXPECT_EQ("I4:1", events_.events[0].args[0]);
    EXPECT_EQ("I4:2", events_.events[0].args[1]);
    EXPECT_EQ(filter, ctl_->win().filter) << "restored after the drop";
    // Not loaded: nothing to drop.
    const LONG named = add(files().a);
    c_->put_CurrentObject(named);
    EXPECT_EQ(S_OK, c_->ObjectDrop(VARIANT_FALSE, 0, VARIANT_TRUE, &ok));
    EXPECT_EQ(VARIANT_FALSE, ok);
}

TEST_F(Objects, DragAndDropHonoursTheDefault) {
    LONG id = 0;
    BSTR empty = SysAllocString(L"");
    EXPECT_EQ(S_OK, c_->DragAndDropObjectWithDefault(empty, 1, 7, &id));
    EXPECT_EQ(7, id) << "an empty url starts nothing";
    SysFreeString(empty);
    BSTR url = bstr(files().a);
    // The left button is not down: nothing starts, the default comes back.
    EXPECT_EQ(S_OK, c_->DragAndDropObjectWithDefault(url, 1, 5, &id));
    EXPECT_EQ(5, id);
    EXPECT_EQ(S_OK, c_->DragAndDropObject(url, 1, &id));
    EXPECT_EQ(-1, id);
    EXPECT_EQ(E_POINTER, c_->DragAndDropObject(url, 1, nullptr));
    SysFreeString(url);
    EXPECT_EQ(0, ctl_->state().usedCount);
}

// Saving writes a complete file beside the target and never replaces an existing one.
TEST_F(Objects, SavePelObjectAndReadItBack) {
    const std::string out = files().dir + "\\saved.pel";
    DeleteFileA(out.c_str());
    VARIANT_BOOL ok = VARIANT_FALSE;
    BSTR file = bstr(out), name = bstr("saved box"), none = SysAllocString(L"");
    EXPECT_EQ(E_FAIL, c_->SavePELObject2(file, name, none, VARIANT_TRUE, &ok)) << "no current object";
    show(files().a);
    ASSERT_EQ(S_OK, c_->SavePELObject(file, name, none, &ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    ASSERT_EQ(S_OK, c_->SavePELObject2(file, name, none, VARIANT_FALSE, &ok));
    EXPECT_EQ(VARIANT_FALSE, ok) << "an existing file is kept";
    ASSERT_EQ(S_OK, c_->SavePELObject2(none, name, none, VARIANT_FALSE, &ok));
    EXPECT_EQ(VARIANT_FALSE, ok);
    EXPECT_EQ(E_POINTER, c_->SavePELObject(file, name, none, nullptr));
    const LONG back = show(out);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    EXPECT_EQ(S_OK, c_->ObjectIsLoaded(back, &loaded));
    EXPECT_EQ(VARIANT_TRUE, loaded);
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((files().dir + "\\saved.pel.~*").c_str(), &fd);
    EXPECT_EQ(INVALID_HANDLE_VALUE, h) << "no file left beside it: " << fd.cFileName;
    if (h != INVALID_HANDLE_VALUE) FindClose(h);
    SysFreeString(file);
    SysFreeString(name);
    SysFreeString(none);
}

// With two objects shown, every save member writes both into one file in the world's frame:
// the file read back spans the raised box and the floor.
TEST_F(Objects, SavesOfSeveralObjectsWriteThemAll) {
    struct Case {
        const char* member;
        std::function<HRESULT(BSTR file, VARIANT_BOOL* ok)> save;
    };
    const Case cases[] = {
        {"SaveObject", [&](BSTR f, VARIANT_BOOL* ok) { return c_->SaveObject(f, VARIANT_FALSE, nullptr, ok); }},
        {"SavePELObject", [&](BSTR f, VARIANT_BOOL* ok) { return c_->SavePELObject(f, nullptr, nullptr, ok); }},
        {"SavePELObject2",
         [&](BSTR f, VARIANT_BOOL* ok) { return c_->SavePELObject2(f, nullptr, nullptr, VARIANT_FALSE, ok); }},
    };
    const LONG box = show(files().a);
    show(files().floor);
    move(box, 0, 0, 4);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.member);
        const std::string out = files().dir + "\\all " + c.member + ".pel";
        DeleteFileA(out.c_str());
        BSTR file = bstr(out);
        VARIANT_BOOL ok = VARIANT_FALSE;
        EXPECT_EQ(S_OK, c.save(file, &ok));
        SysFreeString(file);
        EXPECT_EQ(VARIANT_TRUE, ok);
        qivtest::ControlRef r = qivtest::ControlRef::create();
        ASSERT_TRUE(r);
        BSTR name = bstr(out);
        LONG id = -1;
        ASSERT_EQ(S_OK, r->AddObject(name, &id));
        SysFreeString(name);
        ASSERT_EQ(S_OK, r->put_CurrentObject(id));
        r->ObjectShow(VARIANT_TRUE, &ok);
        float dx = 0, dy = 0, dz = 0;
        EXPECT_EQ(S_OK, r->ObjectGetExtend(VARIANT_FALSE, &dx, &dy, &dz, &ok));
        EXPECT_NEAR(6.0f, dx, 0.01f) << "the floor's width";
        EXPECT_NEAR(5.0f, dz, 0.01f) << "from the floor's foot to the raised box's top";
        r.reset();
        DeleteFileA(out.c_str());
    }
}

// A second control loading the same object file shares the cached object and its chunk data.
TEST_F(Objects, SecondLoadOfAFileSharesTheCachedObject) {
    qivtest::ControlRef secondRef = qivtest::ControlRef::create();
    ASSERT_TRUE(secondRef);
    CQivPlayerCtl* other = secondRef.ctl();
    for (IQivPlayer2* c : {c_, secondRef.get()}) {
        BSTR name = bstr(files().sample);
        VARIANT_BOOL ok = VARIANT_FALSE;
        EXPECT_EQ(S_OK, c->LoadObject(name, &ok));
        SysFreeString(name);
        EXPECT_EQ(VARIANT_TRUE, ok);
    }
    auto contentOf = [](CQivPlayerCtl* c) -> const PelContent* {
        const QivControlState& st = c->state();
        return st.currentSlot >= 0 && st.slots[size_t(st.currentSlot)].node ? st.slots[size_t(st.currentSlot)].node->content
                                                                            : nullptr;
    };
    const PelContent* first = contentOf(ctl_);
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(first, contentOf(other)) << "one object in the cache for both";
    secondRef.reset();
    // The first control still shows its object.
    EXPECT_EQ(first, contentOf(ctl_));
}

// An object moved beyond the box the scene had when it was shown is drawn: the scene box and
// the clip planes follow it at the next frame.
TEST_F(Objects, ObjectMovedPastTheShownBoxIsNotClipped) {
    const LONG id = show(files().a);
    HWND w = ctl_->hwnd();
    ASSERT_NE(nullptr, w);
    UpdateWindow(w);
    QivControlState& st = ctl_->state();
    const float farBefore = st.camera.farDist;
    Vec3 d{st.camera.vrp.x - st.camera.eye.x, st.camera.vrp.y - st.camera.eye.y, st.camera.vrp.z - st.camera.eye.z};
    const float len = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    ASSERT_GT(len, 0.0f);
    const float k = 1.2f * farBefore / len;
    move(id, d.x * k, d.y * k, d.z * k);
    UpdateWindow(w);
    EXPECT_GT(st.camera.farDist, farBefore);
    const std::vector<uint32_t> shownNow = qivtest::ReadWindow(w, st.frameWidth, st.frameHeight);
    const std::vector<uint32_t> empty =
        qivtest::EnginePicture(&st.camera, &st.background, nullptr, st.displayMode, st.frameWidth, st.frameHeight);
    EXPECT_GT(qivtest::Differing(shownNow, empty, 8), 50) << "the moved object is drawn";
}

// EnableUpdate(false) twice needs two EnableUpdate(true) before the window redraws.
TEST_F(Objects, UpdatesWaitForTheLastEnable) {
    show(files().a);
    HWND w = ctl_->hwnd();
    ASSERT_NE(nullptr, w);
    UpdateWindow(w);
    VARIANT_BOOL ok;
    c_->EnableUpdate(VARIANT_FALSE);
    c_->EnableUpdate(VARIANT_FALSE);
    ASSERT_EQ(S_OK, c_->ObjectTranslate(0.1f, 0, 0, &ok));
    EXPECT_FALSE(GetUpdateRect(w, nullptr, FALSE));
    c_->EnableUpdate(VARIANT_TRUE);
    EXPECT_FALSE(GetUpdateRect(w, nullptr, FALSE));
    c_->EnableUpdate(VARIANT_TRUE);
    EXPECT_TRUE(GetUpdateRect(w, nullptr, FALSE));
    UpdateWindow(w);
    c_->EnableUpdate(VARIANT_TRUE);  // one more is harmless
    ASSERT_EQ(S_OK, c_->ObjectTranslate(0.1f, 0, 0, &ok));
    EXPECT_TRUE(GetUpdateRect(w, nullptr, FALSE));
}

// Loads that cannot be done answer false with their out values set.
TEST_F(Objects, FailedLoadsAnswerFalse) {
    LONG id = 5;
    EXPECT_EQ(E_INVALIDARG, c_->AddObject(nullptr, &id));
    EXPECT_EQ(-1, id);
    BSTR b = bstr("x.pel");
    EXPECT_EQ(E_POINTER, c_->AddObject(b, nullptr));
    SysFreeString(b);
    VARIANT_BOOL ok = VARIANT_TRUE;
    b = bstr(files().dir + "\\missing.pel");
    EXPECT_EQ(S_OK, c_->LoadObject(b, &ok));
    EXPECT_EQ(VARIANT_FALSE, ok);
    SysFreeString(b);
    // A missing file and a download (not built): the slot stays named, without a node.
    for (const std::string& name : {files().dir + "\\missing.pel", std::string("http://127.0.0.1:9/x.pel")}) {
        id = add(name);
        ok = VARIANT_TRUE;
        EXPECT_EQ(S_OK, c_->ObjectForceLoad(id, &ok));
        EXPECT_EQ(VARIANT_FALSE, ok) << name;
        c_->put_CurrentObject(id);
        ok = VARIANT_TRUE;
        EXPECT_EQ(S_OK, c_->ObjectShow(VARIANT_TRUE, &ok));
        EXPECT_EQ(VARIANT_FALSE, ok) << name;
        EXPECT_EQ(S_OK, c_->ObjectIsLoaded(id, &ok));
        EXPECT_EQ(VARIANT_FALSE, ok);
        EXPECT_EQ(name, ctl_->state().slots[size_t(id)].sourceName);
    }
}

// The host services table passes its operations on; loads answer -1 on failure.
TEST_F(Objects, HostServicesTable) {
    const qivctl::QivHostServices& s = ctl_->HostServices();
    EXPECT_EQ(&s, &ctl_->HostServices());
    void* block = s.allocate(s.context, 64);
    ASSERT_NE(nullptr, block);
    block = s.resize(s.context, block, 128);
    ASSERT_NE(nullptr, block);
    EXPECT_EQ(1, s.free(s.context, block));
    EXPECT_EQ(-1, s.loadObjectFile(s.context, L"Z:\\no\\such\\object.pel", 1));
    EXPECT_EQ(-1, s.loadObjectFile(s.context, nullptr, 1));
    EXPECT_FALSE(qivctl::slotValid(ctl_->state(), 0)) << "a failed load leaves no slot";
    std::wstring path(files().a.begin(), files().a.end());
    const int32_t id = s.loadObjectFile(s.context, path.c_str(), 1);
    ASSERT_EQ(0, id);
    ScnNode* node = nullptr;
    EXPECT_EQ(1, s.slotNode(s.context, id, &node));
    EXPECT_NE(nullptr, node);
    EXPECT_EQ(0, s.slotNode(s.context, 5, &node));
    EXPECT_EQ(nullptr, node);
    ScnNode** roots = s.sceneRoots(s.context);
    ASSERT_NE(nullptr, roots);
    EXPECT_EQ(ctl_->state().slots[0].node, roots[0]);
    EXPECT_EQ(nullptr, roots[1]);
    const uint32_t n = s.nextPictureId(s.context);
    EXPECT_EQ(n + 1, s.nextPictureId(s.context));
    // A picture the host made enters the texture cache under its name, with its scales.
    TexRecord* t = nullptr;
    ASSERT_EQ(1, texAllocRecord(&t));
    EXPECT_EQ(0, s.enterPicture(s.context, nullptr, t, 1, 1));
    EXPECT_EQ(1, s.enterPicture(s.context, L"host>Made.bmp", t, 2.0f, 0.5f));
    float sx = 0, sy = 0;
    EXPECT_EQ(t, qivctl::TextureCacheFind("other>MADE.BMP", &sx, &sy));
    EXPECT_EQ(2.0f, sx);
    EXPECT_EQ(0.5f, sy);
}

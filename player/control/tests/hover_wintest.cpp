// Hovering over the view: SubObjectPicked names the sub-object under the mouse and takes the
// host's display name back; after TooltipTimeout the tooltip shows it; -1 shows none; leaving
// before the timer shows none and names "nothing".
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "dispids.h"
#include "navfixture.h"

namespace {

class Hover : public qivtest::NavFixture {
protected:
    void SetUp() override {
        NavFixture::SetUp();
        ASSERT_EQ(S_OK, qivtest::Connect(p2_, DIID__QivPlayerEvents, &events_, &cookie_));
        events_.handler = [this](DISPID id, DISPPARAMS* p) {
            if (id != qivdispid::event::SubObjectPicked || p->cArgs != 4 || p->rgvarg[0].vt != (VT_BSTR | VT_BYREF) || !hostName_) return;
            SysFreeString(*p->rgvarg[0].pbstrVal);
            *p->rgvarg[0].pbstrVal = SysAllocString((L"Shown " + std::to_wstring(p->rgvarg[3].lVal)).c_str());
        };
    }
    void TearDown() override {
        qivtest::Disconnect(p2_, DIID__QivPlayerEvents, cookie_);
        NavFixture::TearDown();
    }
    void wait(DWORD ms) {
        const DWORD end = GetTickCount() + ms;
        while (int32_t(end - GetTickCount()) > 0) {
            qivtest::PumpMessages();
            Sleep(5);
        }
    }
    // The mouse at a client point of the control, really and as a message.
    void hoverAt(int x, int y, uint32_t t) {
        POINT pt{x, y};
        ClientToScreen(ctl_->hwnd(), &pt);
        SetCursorPos(pt.x, pt.y);
        wait(30);  // the real move arrives first
        send(WM_MOUSEMOVE, x, y, t);
    }
    // The mouse leaves the control, really and as a message.
    void leave(uint32_t t) {
        SetCursorPos(1000, 740);
        wait(30);
        send(WM_MOUSEMOVE, -5, -5, t);
    }
    bool loadQuietly() {
        const bool ok = load();
        events_.events.clear();
        return ok;
    }
    std::string tooltipText() {
        char text[256] = {};
        if (ctl_->tooltipWindow()) GetWindowTextA(ctl_->tooltipWindow(), text, sizeof text);
        return text;
    }
    qivtest::EventSink events_{DIID__QivPlayerEvents};
    DWORD cookie_ = 0;
    bool hostName_ = true;
};

}  // namespace

TEST_F(Hover, NamesTheSubObjectAndShowsTheHostsNameAfterTheTimeout) {
    ASSERT_TRUE(loadQuietly());
    ASSERT_EQ(S_OK, p2_->put_TooltipTimeout(150));
    int x = 0, y = 0;
    ASSERT_TRUE(pointOnObject(&x, &y));
    hoverAt(x, y, 1000);
    const int32_t index = ctl_->hoveredSubObject();
    ASSERT_GE(index, 0);
    ASSERT_EQ(events_.events.size(), 1u);
    const qivtest::EventRecord& e = events_.events[0];
    EXPECT_EQ(e.id, 1);
    const std::vector<std::string> args = {"I4:" + std::to_string(index), "BSTR:part" + std::to_string(index),
                                           "BSTR:", "BSTR&:"};
    EXPECT_EQ(e.args, args);
    EXPECT_EQ(ctl_->tooltipWindow(), nullptr) << "the tooltip waits for TooltipTimeout";
    hoverAt(x, y, 1010);
    EXPECT_EQ(events_.events.size(), 1u) << "the same sub-object is named once";
    wait(400);
    ASSERT_NE(ctl_->tooltipWindow(), nullptr);
    EXPECT_EQ(tooltipText(), "Shown " + std::to_string(index));
    // 7 right of and 18 below the hover position, 4 larger than its text.
    RECT r;
    GetWindowRect(ctl_->tooltipWindow(), &r);
    POINT at{x, y};
    ClientToScreen(ctl_->hwnd(), &at);
    EXPECT_EQ(r.left, at.x + 7);
    EXPECT_EQ(r.top, at.y + 18);
    const LONG style = GetWindowLongA(ctl_->tooltipWindow(), GWL_STYLE);
    EXPECT_EQ(style & 0x88881200, 0x88881200);
    EXPECT_EQ(GetCapture(), ctl_->hwnd());

    // Leaving the window: "nothing" is named, the tooltip and the capture go.
    leave(1100);
    EXPECT_EQ(ctl_->tooltipWindow(), nullptr);
    EXPECT_EQ(GetCapture(), nullptr);
    ASSERT_EQ(events_.events.size(), 2u);
    EXPECT_EQ(events_.events[1].args[0], "I4:-1");

    // A host that gives no name back sees the sub-object's own name.
    hostName_ = false;
    hoverAt(x, y, 1200);
    wait(400);
    EXPECT_EQ(tooltipText(), "part" + std::to_string(index));
    leave(1300);
}

TEST_F(Hover, NoTooltipWithTimeoutMinusOneOrWhenTheMouseLeavesFirst) {
    ASSERT_TRUE(loadQuietly());
    int x = 0, y = 0;
    ASSERT_TRUE(pointOnObject(&x, &y));
    ASSERT_EQ(S_OK, p2_->put_TooltipTimeout(-1));
    hoverAt(x, y, 1000);
    EXPECT_EQ(events_.events.size(), 1u) << "SubObjectPicked still fires";
    wait(300);
    EXPECT_EQ(ctl_->tooltipWindow(), nullptr);
    leave(1100);

    ASSERT_EQ(S_OK, p2_->put_TooltipTimeout(200));
    hoverAt(x, y, 1200);
    leave(1210);
    wait(400);
    EXPECT_EQ(ctl_->tooltipWindow(), nullptr);
    EXPECT_EQ(events_.events.back().args[0], "I4:-1");
}

// GetSubObjectName gives the name the hover names: in the control's language when none is
// given, nothing for the database language the object has no names in or a part it lacks.
TEST_F(Hover, SubObjectNamesByLanguage) {
    BSTR name = reinterpret_cast<BSTR>(1);
    BSTR none = SysAllocString(L"");
    EXPECT_EQ(E_FAIL, p2_->GetSubObjectName(0, none, &name)) << "no object";
    ASSERT_TRUE(loadQuietly());
    const uint32_t parts = ctl_->state().slots[0].node->content->partCount;
    ASSERT_GT(parts, 1u);
    BSTR language = nullptr;
    ASSERT_EQ(S_OK, p2_->get_Language(&language));
    BSTR database = SysAllocString(L"XY");
    const struct {
        LONG index;
        BSTR language;
        const wchar_t* want;  // null: no name (null or empty)
    } cases[] = {
        {1, none, L"part1"},
        {0, language, L"part0"},
        {1, nullptr, L"part1"},
        {1, database, nullptr},
        {LONG(parts), none, nullptr},
        {-1, none, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        name = reinterpret_cast<BSTR>(1);
        ASSERT_EQ(S_OK, p2_->GetSubObjectName(c.index, c.language, &name));
        if (c.want) {
            ASSERT_NE(nullptr, name);
            EXPECT_STREQ(c.want, name);
        } else {
            EXPECT_TRUE(!name || !*name) << name;
        }
        SysFreeString(name);
    }
    EXPECT_EQ(E_POINTER, p2_->GetSubObjectName(0, none, nullptr));
    SysFreeString(none);
    SysFreeString(language);
    SysFreeString(database);
}

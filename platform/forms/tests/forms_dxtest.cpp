// The form layer's controls, forms, menus, hints and timers driven through
// messages as a user's input would reach them.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>

#include "forms/application.h"
#include "forms/extctrls.h"
#include "forms/form.h"
#include "forms/menus.h"

namespace {

std::vector<std::string> g_messages;

class Forms : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        forms::Application::Instance().Initialize();
        forms::SetMessageLog([](const std::string& text, const std::string&, UINT) {
            g_messages.push_back(text);
            return IDOK;
        });
    }
    void SetUp() override { g_messages.clear(); }
};

void pump() { forms::Application::Instance().ProcessMessages(); }

TEST_F(Forms, ControlsAnswerMessages) {
    forms::Form form(nullptr);
    form.SetBounds(10, 10, 300, 200);
    auto* panel = new forms::Panel(&form);
    panel->SetParent(&form);
    panel->SetAlign(forms::Align::Client);
    auto* button = new forms::Button(&form);
    button->SetParent(panel);
    int clicks = 0;
    button->OnClick = [&](forms::Component*) { ++clicks; };
    auto* edit = new forms::Edit(&form);
    edit->SetParent(panel);
    edit->SetTop(40);
    edit->OnKeyPress = [](forms::Component*, char& k) {
        if (k == 'x') k = 0;
    };
    auto* check = new forms::CheckBox(&form);
    check->SetParent(panel);
    check->SetTop(70);
    int checks = 0;
    check->OnClick = [&](forms::Component*) { ++checks; };
    form.Show();
    pump();
    EXPECT_EQ(form.ClientWidth(), panel->Width()) << "client-aligned panel fills the form";

    SendMessageW(button->Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(1, clicks);
    for (char c : std::string("axb")) SendMessageW(edit->Handle(), WM_CHAR, WPARAM(c), 0);
    EXPECT_EQ("ab", edit->Text()) << "the key filter swallowed x";
    SendMessageW(check->Handle(), BM_CLICK, 0, 0);
    EXPECT_TRUE(check->Checked());
    check->SetChecked(false);
    EXPECT_EQ(2, checks) << "a change by code runs OnClick too";

    panel->SetEnabled(false);
    EXPECT_FALSE(IsWindowEnabled(button->Handle())) << "disabling the parent disables the children";
    EXPECT_FALSE(button->EffectivelyEnabled());
    panel->SetEnabled(true);
    EXPECT_TRUE(IsWindowEnabled(button->Handle()));
    form.SetBounds(10, 10, 400, 260);
    pump();
    EXPECT_EQ(form.ClientWidth(), panel->Width()) << "alignment follows the new size";
}

TEST_F(Forms, HintsFollowTheMouse) {
    forms::Form form(nullptr);
    auto* button = new forms::Button(&form);
    button->SetParent(&form);
    button->SetHint("Short|The long hint");
    button->SetShowHint(true);
    form.Show();
    pump();
    auto& app = forms::Application::Instance();
    int hints = 0;
    app.OnHint = [&] { ++hints; };
    app.HintPause = 0;
    PostMessageW(button->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    pump();
    EXPECT_EQ(button, app.HintControl());
    EXPECT_EQ("The long hint", app.Hint());
    EXPECT_TRUE(app.HintShown());
    EXPECT_EQ("Short", app.HintText());
    EXPECT_EQ(1, hints);
    PostMessageW(button->Handle(), WM_LBUTTONDOWN, 0, MAKELPARAM(5, 5));
    pump();
    EXPECT_FALSE(app.HintShown()) << "a click hides the hint";
    app.OnHint = nullptr;
    app.HintPause = 500;
}

TEST_F(Forms, ModalFormsEndWithTheirButtonsResult) {
    forms::Form form(nullptr);
    auto* ok = new forms::Button(&form);
    ok->SetParent(&form);
    ok->SetModalResult(forms::mrOk);
    auto& app = forms::Application::Instance();
    app.OnIdle = [&](bool& done) {
        if (form.Modal()) PostMessageW(ok->Handle(), BM_CLICK, 0, 0);
        done = true;
    };
    EXPECT_EQ(forms::mrOk, form.ShowModal());
    app.OnIdle = nullptr;
    EXPECT_FALSE(IsWindowVisible(form.Handle()));
}

TEST_F(Forms, MenusChangeAtRunTime) {
    forms::Form form(nullptr);
    auto* menu = new forms::MainMenu(&form);
    auto* file = new forms::MenuItem(&form);
    file->SetName("mFile");
    file->SetCaption("&File");
    menu->Items()->Add(file);
    form.SetMenu(menu);
    std::vector<forms::MenuItem*> items;
    for (const char* c : {"One", "Two", "Three"}) {
        auto* i = new forms::MenuItem(&form);
        i->SetCaption(c);
        i->SetRadioItem(true);
        file->Add(i);
        items.push_back(i);
    }
    HMENU sub = GetSubMenu(GetMenu(form.Handle()), 0);
    ASSERT_NE(nullptr, sub);
    EXPECT_EQ(3, GetMenuItemCount(sub));
    items[1]->SetVisible(false);
    EXPECT_EQ(2, GetMenuItemCount(sub)) << "hidden items leave the menu";
    items[0]->SetChecked(true);
    items[2]->SetChecked(true);
    EXPECT_FALSE(items[0]->Checked()) << "radio items of a group check one at a time";
    EXPECT_EQ(UINT(MF_CHECKED), GetMenuState(sub, items[2]->Command(), MF_BYCOMMAND) & MF_CHECKED);
    items[2]->SetShortCut(forms::MakeShortCut(VK_F5, 0));
    wchar_t text[64] = {};
    GetMenuStringW(sub, items[2]->Command(), text, 64, MF_BYCOMMAND);
    EXPECT_STREQ(L"Three\tF5", text);
    int clicked = 0;
    items[2]->OnClick = [&](forms::Component*) { ++clicked; };
    SendMessageW(form.Handle(), WM_COMMAND, items[2]->Command(), 0);
    EXPECT_EQ(1, clicked) << "the menu command reaches the item";
    EXPECT_TRUE(form.IsShortCut(VK_F5, 0));
    EXPECT_EQ(2, clicked);
    delete items[0];
    EXPECT_EQ(2, file->Count());
    EXPECT_EQ(1, GetMenuItemCount(sub)) << "a freed item leaves its menu";
}

TEST_F(Forms, ListsGroupsAndTimers) {
    forms::Form form(nullptr);
    form.SetBounds(0, 0, 400, 300);
    auto* list = new forms::ListBox(&form);
    list->SetStyle(forms::ListStyle::OwnerDrawFixed);
    list->SetItemHeight(20);
    list->SetParent(&form);
    list->SetBounds(0, 0, 150, 200);
    int drawn = 0;
    list->OnDrawItem = [&](forms::Component*, int, const forms::Rect& r, forms::OwnerDrawState) {
        ++drawn;
        EXPECT_EQ(20, r.Height());
    };
    for (const char* s : {"a", "b", "c"}) list->Items().Add(s);
    auto* group = new forms::RadioGroup(&form);
    group->SetParent(&form);
    group->SetBounds(160, 0, 200, 120);
    for (const char* s : {"Low", "Medium", "High"}) group->Items().Add(s);
    int groupClicks = 0;
    group->OnClick = [&](forms::Component*) { ++groupClicks; };
    form.Show();
    pump();
    UpdateWindow(list->Handle());
    EXPECT_GE(drawn, 3);
    EXPECT_EQ(1, list->ItemAtPos(5, 25, true));
    EXPECT_EQ(-1, list->ItemAtPos(5, 150, true));
    EXPECT_EQ(3, list->ItemAtPos(5, 150, false));
    SendMessageW(group->Buttons(2)->Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(2, group->ItemIndex());
    EXPECT_EQ(1, groupClicks);
    group->SetItemIndex(0);
    EXPECT_TRUE(group->Buttons(0)->Checked());
    EXPECT_FALSE(group->Buttons(2)->Checked());

    auto* timer = new forms::Timer(&form);
    timer->SetInterval(10);
    int ticks = 0;
    timer->OnTimer = [&](forms::Component*) { ++ticks; };
    for (int i = 0; i < 100 && ticks < 2; ++i) {
        Sleep(10);
        pump();
    }
    EXPECT_GE(ticks, 2);
    timer->SetEnabled(false);
}

TEST_F(Forms, ExceptionsInHandlersShowTheirMessage) {
    forms::Form form(nullptr);
    auto* button = new forms::Button(&form);
    button->SetParent(&form);
    button->OnClick = [](forms::Component*) { throw std::runtime_error("broken handler"); };
    form.Show();
    SendMessageW(button->Handle(), BM_CLICK, 0, 0);
    ASSERT_EQ(1u, g_messages.size());
    EXPECT_EQ("broken handler", g_messages[0]);
}

TEST_F(Forms, AnchorsFollowTheFormsSize) {
    forms::Form form(nullptr);
    form.SetClientSize(300, 200);
    auto* ok = new forms::Button(&form);
    ok->SetParent(&form);
    ok->SetBounds(200, 160, 75, 25);
    ok->SetAnchors(forms::akRight | forms::akBottom);
    auto* edit = new forms::Edit(&form);
    edit->SetParent(&form);
    edit->SetBounds(10, 10, 280, 21);
    edit->SetAnchors(forms::akLeft | forms::akTop | forms::akRight);
    form.SetClientSize(400, 250);
    EXPECT_EQ(300, ok->Left());
    EXPECT_EQ(210, ok->Top());
    EXPECT_EQ(380, edit->Width());
}

}  // namespace

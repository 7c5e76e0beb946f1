#include "forms/actions.h"

#include <gtest/gtest.h>

#include <memory>

#include "forms/appservices.h"
#include "forms/imagelistbase.h"
#include "forms/shortcut.h"
#include "forms/textutil.h"

namespace {

// A client whose caption and enabled state follow the action while equal.
struct Client {
    std::string caption;
    bool enabled = true;
    bool gone = false;
    struct Link : forms::ActionLink {
        explicit Link(Client* c) : c(c) {}
        Client* c;
        bool IsCaptionLinked() const override { return ActionLink::IsCaptionLinked() && c->caption == GetAction()->Caption(); }
        bool IsEnabledLinked() const override { return ActionLink::IsEnabledLinked() && c->enabled == GetAction()->Enabled(); }
        void SetCaption(const std::string& v) override {
            if (IsCaptionLinked()) c->caption = v;
        }
        void SetEnabled(bool v) override {
            if (IsEnabledLinked()) c->enabled = v;
        }
        void ActionGone() override { c->gone = true; }
    } link{this};
};

TEST(Action, ClientsFollowWhileTheirValueEqualsTheActions) {
    forms::Action a(nullptr);
    Client x, y;
    x.link.SetAction(&a);
    y.link.SetAction(&a);
    y.caption = "own";
    a.SetCaption("Open");
    EXPECT_EQ("Open", x.caption) << "equal before, so it follows";
    a.SetCaption("Close");
    EXPECT_EQ("Close", x.caption);
    EXPECT_EQ("own", y.caption);
    a.SetEnabled(false);
    EXPECT_FALSE(x.enabled);
    EXPECT_FALSE(y.enabled);
    EXPECT_EQ(2, a.ClientCount());
}

TEST(Action, FreeingTheActionDetachesEveryLinkFirst) {
    Client x;
    {
        forms::Action a(nullptr);
        x.link.SetAction(&a);
    }
    EXPECT_TRUE(x.gone);
    EXPECT_EQ(nullptr, x.link.GetAction());
    auto a = std::make_unique<forms::Action>(nullptr);
    {
        Client y;
        y.link.SetAction(a.get());
        EXPECT_EQ(1, a->ClientCount());
    }
    EXPECT_EQ(0, a->ClientCount()) << "a link unregisters when it goes";
}

TEST(Action, ExecuteUpdatesTogglesAutoCheckAndNamesTheComponent) {
    forms::Action a(nullptr);
    forms::Component button;
    Client x;
    x.link.SetAction(&a);
    int updates = 0;
    forms::Component* seen = nullptr;
    a.OnUpdate = [&](forms::Component*) { ++updates; };
    EXPECT_FALSE(x.link.Execute(&button)) << "without OnExecute";
    a.OnExecute = [&](forms::Component*) { seen = a.ActionComponent(); };
    a.SetAutoCheck(true);
    EXPECT_TRUE(x.link.Execute(&button));
    EXPECT_EQ(&button, seen);
    EXPECT_EQ(nullptr, a.ActionComponent());
    EXPECT_TRUE(a.Checked());
    EXPECT_EQ(2, updates);
    a.SetEnabled(false);
    seen = nullptr;
    EXPECT_FALSE(a.Execute());
    EXPECT_EQ(nullptr, seen);
    EXPECT_TRUE(a.Checked()) << "a disabled action does not toggle";
}

struct Images : forms::CustomImageList {
    using CustomImageList::CustomImageList;
    int Count() const override { return 0; }
    void Resize(int w, int h) {
        w_ = w;
        h_ = h;
        Changed();
    }
};

TEST(ChangeLink, ToldOfChangesAndOfTheListGoing) {
    forms::ChangeLink link;
    int changes = 0, gone = 0;
    link.OnChange = [&] { ++changes; };
    {
        Images list(nullptr, 16, 15);
        link.OnGone = [&] {
            ++gone;
            EXPECT_EQ(nullptr, link.Sender());
        };
        link.SetSender(&list);
        list.Resize(20, 20);
        EXPECT_EQ(1, changes);
        Images other(nullptr, 8, 8);
        link.SetSender(&other);
        list.Resize(1, 1);
        EXPECT_EQ(1, changes) << "moved to the other list";
        link.SetSender(&list);
    }
    EXPECT_EQ(1, gone);
}

TEST(FormsText, ShortCutsAndHints) {
    EXPECT_EQ("", forms::ShortCutToText(0));
    EXPECT_EQ("Ctrl+Shift+S", forms::ShortCutToText(forms::scCtrl | forms::scShift | 'S'));
    EXPECT_EQ("Alt+F4", forms::ShortCutToText(forms::scAlt | 0x73));
    EXPECT_EQ("Del", forms::ShortCutToText(0x2E));
    EXPECT_EQ("Open", forms::GetShortHint("Open|Opens a file"));
    EXPECT_EQ("Opens a file", forms::GetLongHint("Open|Opens a file"));
    EXPECT_EQ("Open", forms::GetLongHint("Open"));
}

TEST(AppServices, ExceptionsReachTheHandler) {
    std::string got;
    forms::SetAppExceptionHandler([&](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& x) {
            got = x.what();
        }
    });
    try {
        throw std::runtime_error("boom");
    } catch (...) {
        forms::HandleAppException(std::current_exception());
    }
    forms::SetAppExceptionHandler(nullptr);
    EXPECT_EQ("boom", got);
}

}  // namespace

#include "tbitem.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "forms/appservices.h"
#include "tbfakes.h"

namespace {

using namespace toolbars;
using tbtest::child;

std::string nameOf(const TTBCustomItem* it) { return it ? it->Name() : std::string("-"); }

struct Recorder : TTBItemNotifyTarget {
    std::string id;
    std::vector<std::string>* log;
    std::function<void()> onNotice;
    Recorder(std::string id, std::vector<std::string>* log) : id(std::move(id)), log(log) {}
    void ItemNotification(TTBCustomItem* anc, bool relayed, TTBItemChangeKind k, int index, TTBCustomItem* item) override {
        log->push_back(id + ": " + nameOf(anc) + (relayed ? " relayed " : " ") + std::to_string(int(k)) + " " +
                       std::to_string(index) + " " + nameOf(item));
        if (onNotice) onNotice();
    }
};

TTBItem* named(TTBCustomItem* parent, const std::string& name) {
    auto* it = new TTBItem(nullptr);
    it->SetName(name);
    parent->Add(it);
    return it;
}

TEST(ItemTree, ChildrenAndTheirErrors) {
    TTBRootItem root(nullptr);
    auto* a = child(&root, "a");
    auto* b = child(&root, "b");
    auto* c = new TTBItem(nullptr);
    root.Insert(1, c);
    EXPECT_EQ(3, root.Count());
    EXPECT_EQ(c, root.Items(1));
    EXPECT_EQ(&root, c->Parent());
    try {
        root.Items(3);
        FAIL() << "no error";
    } catch (const ETBItemError& e) {
        EXPECT_STREQ("Toolbar item index out of range", e.what());
    }
    EXPECT_THROW(root.Items(-1), ETBItemError);
    TTBRootItem other(nullptr);
    try {
        other.Add(a);
        FAIL() << "no error";
    } catch (const ETBItemError& e) {
        EXPECT_STREQ("Toolbar item already inserted", e.what());
    }
    EXPECT_EQ(0, other.Count()) << "nothing changed";
    auto* d = new TTBItem(nullptr);
    EXPECT_THROW(root.Insert(4, d), ETBItemError);
    EXPECT_EQ(nullptr, d->Parent());
    EXPECT_THROW(root.Move(0, 3), ETBItemError);
    EXPECT_THROW(root.Delete(3), ETBItemError);
    root.Move(0, 2);
    EXPECT_EQ((std::vector<TTBCustomItem*>{c, b, a}),
              (std::vector<TTBCustomItem*>{root.Items(0), root.Items(1), root.Items(2)}));
    root.Remove(b);
    EXPECT_EQ(-1, root.IndexOf(b));
    EXPECT_EQ(nullptr, b->Parent()) << "taken out, not freed";
    delete b;
    delete d;
}

TEST(ItemTree, FreeingAnItemFreesItsChildrenAndLetsGoOfLinks) {
    const int before = LiveItemCount();
    auto* root = new TTBRootItem(nullptr);
    auto* sub = child(root, "sub");
    child(sub, "x");
    auto* linker = new TTBItem(nullptr);
    linker->SetLinkSubitems(sub);
    EXPECT_EQ(before + 4, LiveItemCount());
    delete root;
    EXPECT_EQ(nullptr, linker->LinkSubitems());
    EXPECT_EQ(before + 1, LiveItemCount());
    delete linker;
    EXPECT_EQ(before, LiveItemCount());
}

struct Renamer : TTBItem {
    using TTBItem::TTBItem;
    void Recreate() { RecreateViewers(); }
};

TEST(ItemTree, NoticesOfEachChangeKind) {
    std::vector<std::string> log;
    TTBRootItem root(nullptr);
    root.SetName("root");
    auto* a = new Renamer(nullptr);
    a->SetName("a");
    Recorder rec("r", &log);
    root.RegisterNotification(&rec);
    tbtest::FakeImages images(16, 16);
    TTBItem target(nullptr);
    const struct {
        const char* what;
        std::function<void()> act;
        std::vector<std::string> want;
    } cases[] = {
        {"insert", [&] { root.Add(a); }, {"r: root 3 -1 -", "r: root 0 0 a", "r: root 4 -1 -"}},
        {"caption", [&] { a->SetCaption("A"); }, {"r: root 6 -1 a"}},
        {"same caption", [&] { a->SetCaption("A"); }, {}},
        {"checked", [&] { a->SetChecked(true); }, {"r: root 5 -1 a"}},
        {"enabled", [&] { a->SetEnabled(false); }, {"r: root 5 -1 a"}},
        {"image from none", [&] { a->SetImageIndex(0); }, {"r: root 6 -1 a"}},
        {"other image", [&] { a->SetImageIndex(3); }, {"r: root 5 -1 a"}},
        {"visible", [&] { a->SetVisible(false); }, {"r: root 6 -1 a"}},
        {"viewer class", [&] { a->Recreate(); }, {"r: root 7 -1 a"}},
        {"rename", [&] { a->SetName("b"); }, {"r: root 8 -1 b"}},
        {"submenu images", [&] { root.SetSubMenuImages(&images); }, {"r: root 9 -1 -"}},
        {"submenu images change", [&] { images.Resize(20, 20); }, {"r: root 9 -1 -"}},
        {"link", [&] { root.SetLinkSubitems(&target); }, {"r: root 2 -1 -"}},
        {"delete", [&] { root.Delete(0); }, {"r: root 1 0 b"}},
    };
    for (const auto& c : cases) {
        log.clear();
        c.act();
        EXPECT_EQ(c.want, log) << c.what;
    }
    root.SetSubMenuImages(nullptr);
    root.SetLinkSubitems(nullptr);
    root.UnregisterNotification(&rec);
    delete a;
}

TEST(ItemTree, RegistrationsComingAndGoingDuringDelivery) {
    std::vector<std::string> log;
    TTBRootItem root(nullptr);
    root.SetName("root");
    Recorder a("a", &log), b("b", &log), c("c", &log), d("d", &log);
    root.RegisterNotification(&a);
    root.RegisterNotification(&b);
    root.RegisterNotification(&c);
    root.RegisterNotification(&c);  // a second reference
    // a leaves during its first notice, b brings d in.
    a.onNotice = [&] { root.UnregisterNotification(&a); };
    b.onNotice = [&] {
        root.RegisterNotification(&d);
        b.onNotice = nullptr;
    };
    auto* x = named(&root, "x");
    log.clear();
    x->SetCaption("x");
    EXPECT_EQ((std::vector<std::string>{"b: root 6 -1 x", "c: root 6 -1 x", "d: root 6 -1 x"}), log);
    root.UnregisterNotification(&c);
    log.clear();
    x->SetCaption("y");
    EXPECT_EQ((std::vector<std::string>{"b: root 6 -1 x", "c: root 6 -1 x", "d: root 6 -1 x"}), log)
        << "c keeps one reference";
    root.UnregisterNotification(&b);
    root.UnregisterNotification(&c);
    root.UnregisterNotification(&d);
    EXPECT_EQ(0, root.NotificationCount());
}

TEST(ItemTree, GroupsAndLinkedItemsRelayTheirNotices) {
    std::vector<std::string> log;
    TTBRootItem root(nullptr);
    root.SetName("root");
    auto* group = named(&root, "group");
    group->SetItemStyle(TTBItemStyles(group->ItemStyle() | isEmbeddedGroup));
    TTBItem shared(nullptr);
    shared.SetName("shared");
    auto* linker = named(&root, "linker");
    linker->SetLinkSubitems(&shared);
    Recorder rec("r", &log);
    root.RegisterNotification(&rec);
    named(group, "g1");
    EXPECT_EQ((std::vector<std::string>{"r: group relayed 3 -1 -", "r: group relayed 0 0 g1", "r: group relayed 4 -1 -"}),
              log);
    log.clear();
    named(&shared, "s1");
    EXPECT_TRUE(log.empty()) << "a linking item that is no group relays nothing";
    linker->SetItemStyle(TTBItemStyles(linker->ItemStyle() | isEmbeddedGroup));
    log.clear();
    shared.Items(0)->SetCaption("S");
    EXPECT_EQ((std::vector<std::string>{"r: shared relayed 6 -1 s1"}), log);
    linker->SetLinkSubitems(linker);
    EXPECT_EQ(nullptr, linker->LinkSubitems()) << "a link to itself is no link";
    root.UnregisterNotification(&rec);
}

TEST(ItemTree, CheckingOneOfAGroupUnchecksTheOthers) {
    TTBRootItem root(nullptr);
    TTBItem* it[4];
    for (auto*& i : it) i = child(&root);
    it[0]->SetGroupIndex(1);
    it[1]->SetGroupIndex(1);
    it[2]->SetGroupIndex(1);
    const struct {
        int check;
        bool want[4];
    } steps[] = {
        {0, {true, false, false, false}},
        {1, {false, true, false, false}},
        {3, {false, true, false, true}},  // GroupIndex 0 is no group
        {2, {false, false, true, true}},
    };
    for (const auto& s : steps) {
        it[s.check]->SetChecked(true);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(s.want[i], it[i]->Checked()) << "after checking " << s.check << ": " << i;
    }
    it[3]->SetGroupIndex(1);
    EXPECT_FALSE(it[2]->Checked()) << "joining a group while checked unchecks the others";
}

TEST(ItemTree, EffectiveOptions) {
    const struct {
        TTBItemOptions parent;
        bool inherit;
        TTBItemOptions mask, own, want;
    } cases[] = {
        {tboShowHint | tboDefault, true, 0, 0, tboShowHint},
        {tboShowHint | tboDropdownArrow, true, tboShowHint, 0, tboDropdownArrow},
        {tboShowHint, false, 0, tboNoRotation, tboNoRotation},
        {0, true, 0, tboToolbarSize, 0},
        {0, true, 0, tboToolbarSize | tboToolbarStyle, tboToolbarSize | tboToolbarStyle},
        {tboToolbarStyle | tboToolbarSize, true, tboToolbarStyle, 0, 0},
        {tboShowHint, true, tboDefault, tboDefault, tboShowHint | tboDefault},
    };
    for (const auto& c : cases) {
        TTBRootItem root(nullptr);
        root.SetOptions(c.parent);
        auto* it = new TTBItem(nullptr);
        it->SetInheritOptions(c.inherit);
        it->SetMaskOptions(c.mask);
        it->SetOptions(c.own);
        root.Add(it);
        EXPECT_EQ(int(c.want), int(it->EffectiveOptions()))
            << "parent " << int(c.parent) << " mask " << int(c.mask) << " own " << int(c.own);
    }
    TTBRootItem root(nullptr);
    root.SetOptions(tboToolbarSize);
    EXPECT_EQ(0, int(root.Options())) << "tboToolbarSize alone is not stored";
    // Changes reach grandchildren; hint bits change no size.
    std::vector<std::string> log;
    auto* mid = child(&root);
    mid->SetName("mid");
    auto* leaf = child(mid);
    leaf->SetName("leaf");
    Recorder rec("r", &log);
    mid->RegisterNotification(&rec);
    root.SetOptions(tboShowHint);
    EXPECT_EQ(int(tboShowHint), int(leaf->EffectiveOptions()));
    EXPECT_TRUE(log.empty()) << "hint bits change no size";
    root.SetOptions(tboShowHint | tboDropdownArrow);
    EXPECT_EQ((std::vector<std::string>{"r: mid 6 -1 leaf"}), log);
    mid->UnregisterNotification(&rec);
}

TEST(ItemTree, ActionLinksFollowWhileEqual) {
    forms::Action action(nullptr);
    action.SetCaption("Open");
    action.SetShortCut(forms::scCtrl | 'O');
    action.SetHint("Open|Opens a file");
    TTBItem item(nullptr);
    item.OnClick = [](forms::Component*) { FAIL() << "the action's OnExecute serves clicks"; };
    item.SetAction(&action);
    EXPECT_EQ("Open", item.Caption());
    EXPECT_EQ(forms::ShortCut(forms::scCtrl | 'O'), item.GetShortCut());
    EXPECT_EQ("Open (Ctrl+O)", item.GetHintText());
    forms::SetHintShortCuts(false);
    EXPECT_EQ("Open", item.GetHintText());
    forms::SetHintShortCuts(true);
    action.SetEnabled(false);
    EXPECT_FALSE(item.Enabled());
    item.SetCaption("Mine");
    action.SetCaption("Open...");
    EXPECT_EQ("Mine", item.Caption()) << "a caption of its own is kept";
    action.SetEnabled(true);
    int executed = 0;
    action.OnExecute = [&](forms::Component*) { ++executed; };
    item.PerformClick();
    EXPECT_EQ(1, executed);
    int own = 0;
    item.OnClick = [&](forms::Component* s) {
        EXPECT_EQ(&item, s);
        ++own;
    };
    item.PerformClick();
    EXPECT_EQ(1, executed) << "an OnClick of its own replaces the action";
    EXPECT_EQ(1, own);
    // AutoCheck: the action's when linked, else the item's.
    action.SetAutoCheck(true);
    EXPECT_TRUE(item.AutoCheck());
    item.OnClick = nullptr;
    item.PerformClick();
    EXPECT_TRUE(action.Checked());
    EXPECT_TRUE(item.Checked()) << "follows the action's toggle";
}

TEST(ItemTree, FreeingTheActionImagesOrTargetClearsTheReference) {
    TTBRootItem root(nullptr);
    root.SetName("root");
    auto* item = named(&root, "item");
    auto action = std::make_unique<forms::Action>(nullptr);
    item->SetAction(action.get());
    action.reset();
    EXPECT_EQ(nullptr, item->GetAction());
    item->PerformClick();  // nothing to execute
    std::vector<std::string> log;
    Recorder rec("r", &log);
    root.RegisterNotification(&rec);
    auto images = std::make_unique<tbtest::FakeImages>(16, 16);
    item->SetImages(images.get());
    EXPECT_EQ((std::vector<std::string>{"r: root 6 -1 item"}), log) << "from no list to a list";
    auto same = std::make_unique<tbtest::FakeImages>(16, 16);
    log.clear();
    item->SetImages(same.get());
    EXPECT_EQ((std::vector<std::string>{"r: root 5 -1 item"}), log) << "a list of the same size";
    log.clear();
    same->Resize(16, 16);
    same->Resize(24, 24);
    EXPECT_EQ((std::vector<std::string>{"r: root 5 -1 item", "r: root 6 -1 item"}), log);
    log.clear();
    same.reset();
    EXPECT_EQ(nullptr, item->Images());
    EXPECT_EQ((std::vector<std::string>{"r: root 6 -1 item"}), log);
    root.UnregisterNotification(&rec);
}

// Shortcuts -----------------------------------------------------------------------

constexpr forms::ShortCut kCtrlK = forms::scCtrl | 'K';

TEST(ItemTree, ShortCutsThroughSubmenusAndDisabledLevels) {
    TTBRootItem root(nullptr);
    auto* file = child(&root, "File");
    file->SetItemStyle(TTBItemStyles(file->ItemStyle() | isSubmenu));
    auto* sub = child(file, "More");
    auto* target = child(sub, "Kill");
    target->SetShortCut(kCtrlK);
    int clicks = 0, popups = 0;
    target->OnClick = [&](forms::Component*) { ++clicks; };
    file->OnPopup = [&](TTBCustomItem*, bool) { ++popups; };
    EXPECT_TRUE(root.IsShortCut(kCtrlK));
    EXPECT_EQ(1, clicks);
    EXPECT_EQ(1, popups) << "the levels' handlers run on the way";
    EXPECT_FALSE(root.IsShortCut(forms::scCtrl | 'J'));
    target->SetEnabled(false);
    EXPECT_FALSE(root.IsShortCut(kCtrlK));
    target->SetEnabled(true);
    sub->SetEnabled(false);
    EXPECT_FALSE(root.IsShortCut(kCtrlK)) << "below a disabled item";
    EXPECT_EQ(1, clicks);
    // A handler that enables its submenu on the way makes the shortcut work.
    file->OnPopup = [&](TTBCustomItem*, bool) { sub->SetEnabled(true); };
    EXPECT_TRUE(root.IsShortCut(kCtrlK));
    EXPECT_EQ(2, clicks);
}

TEST(ItemTree, ShortCutsFilledInByAPopupHandler) {
    TTBRootItem root(nullptr);
    auto* menu = child(&root, "Menu");
    auto* stale = child(menu, "Old");
    stale->SetShortCut(kCtrlK);
    int clicks = 0;
    // The handler rebuilds the submenu; the fresh item is the one clicked.
    menu->OnPopup = [&](TTBCustomItem*, bool) {
        delete menu->Items(0);
        auto* fresh = child(menu, "New");
        fresh->SetShortCut(kCtrlK);
        fresh->OnClick = [&](forms::Component*) { ++clicks; };
    };
    EXPECT_TRUE(root.IsShortCut(kCtrlK));
    EXPECT_EQ(1, clicks);
}

TEST(ItemTree, ShortCutsThroughLinksStopAfterTwentyFiveLevels) {
    for (const int depth : {25, 26}) {
        TTBRootItem root(nullptr);
        std::vector<std::unique_ptr<TTBItem>> levels;
        TTBCustomItem* at = &root;
        for (int i = 0; i < depth; ++i) {
            levels.push_back(std::make_unique<TTBItem>(nullptr));
            at->SetLinkSubitems(levels.back().get());
            at = child(levels.back().get());
        }
        at->SetShortCut(kCtrlK);
        int clicks = 0;
        at->OnClick = [&](forms::Component*) { ++clicks; };
        TTBCustomItem* top = nullptr;
        EXPECT_EQ(depth == 25, root.FindItemWithShortCut(kCtrlK, top) == at) << depth;
        EXPECT_EQ(depth == 25, root.IsShortCut(kCtrlK)) << depth;
        EXPECT_EQ(depth == 25 ? 1 : 0, clicks) << depth;
        for (auto& l : levels) l->SetLinkSubitems(nullptr);
        root.SetLinkSubitems(nullptr);
    }
    // A loop of links ends too.
    TTBRootItem root(nullptr);
    auto* loop = child(&root);
    loop->SetLinkSubitems(&root);
    TTBCustomItem* top = nullptr;
    EXPECT_EQ(nullptr, root.FindItemWithShortCut(kCtrlK, top));
}

TEST(ItemTree, HandlersThatThrowReachTheApplication) {
    std::vector<std::string> errors;
    forms::SetAppExceptionHandler([&](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& x) {
            errors.push_back(x.what());
        }
    });
    TTBRootItem root(nullptr);
    auto* a = child(&root, "a");
    a->SetShortCut(kCtrlK);
    a->OnClick = [](forms::Component*) { throw std::runtime_error("click failed"); };
    EXPECT_TRUE(root.IsShortCut(kCtrlK)) << "the key was used";
    a->PostClick(false);
    a->PostClick(false);
    EXPECT_EQ(2, PendingDeferredActions());
    while (RunDeferredAction()) {
    }
    forms::SetAppExceptionHandler(nullptr);
    EXPECT_EQ((std::vector<std::string>{"click failed", "click failed", "click failed"}), errors);
}

TEST(ItemTree, DeferredClicksAreAllDeliveredInOrder) {
    TTBRootItem root(nullptr);
    std::vector<std::string> clicks;
    TTBItem* it[3];
    for (int i = 0; i < 3; ++i) {
        it[i] = child(&root, std::string(1, char('a' + i)));
        it[i]->OnClick = [&clicks, i](forms::Component*) { clicks.push_back(std::string(1, char('a' + i))); };
    }
    it[2]->PostClick(false);
    it[0]->PostClick(true);
    it[1]->PostClick(false);
    it[2]->PostClick(false);
    delete it[1];  // its pending click goes with it
    EXPECT_EQ(3, PendingDeferredActions());
    while (RunDeferredAction()) {
    }
    EXPECT_EQ((std::vector<std::string>{"c", "a", "c"}), clicks);
    EXPECT_FALSE(RunDeferredAction());
}

TEST(ItemTree, ShortCutAndCaptionTexts) {
    TTBItem it(nullptr);
    it.SetShortCut(forms::scCtrl | 'S');
    EXPECT_EQ("Ctrl+S", it.GetShortCutText());
    it.SetCaption("Save\tF2");
    EXPECT_EQ("F2", it.GetShortCutText()) << "the caption's own text after a tab";
    it.SetHint("Save|Saves the file");
    EXPECT_EQ("Save", it.GetHintText());
}

TEST(ItemTree, SeparatorsAndControlItems) {
    TTBSeparatorItem sep(nullptr);
    EXPECT_EQ(0, sep.ItemStyle() & isSelectable);
    EXPECT_NE(0, sep.ItemStyle() & isSeparator);
    EXPECT_NE(0, sep.ItemStyle() & isClicksTransparent);
    bool freed = false;
    struct Ctl : forms::Component {
        bool* freed;
        explicit Ctl(bool* f) : Component(nullptr), freed(f) {}
        ~Ctl() override { *freed = true; }
    };
    {
        TTBControlItem ci(nullptr, new Ctl(&freed));
        EXPECT_EQ(0, ci.ItemStyle() & isSelectable);
    }
    EXPECT_TRUE(freed) << "the control goes with its item";
    freed = false;
    auto* kept = new Ctl(&freed);
    {
        TTBControlItem ci(nullptr, kept);
        ci.SetKeepControl(true);
    }
    EXPECT_FALSE(freed);
    TTBControlItem ci(nullptr, kept);
    delete kept;
    EXPECT_EQ(nullptr, ci.Control()) << "told when the control goes";
}

}  // namespace

#include "forms/component.h"

#include <gtest/gtest.h>

#include "forms/exception.h"

namespace {

struct Probe : forms::Component {
    explicit Probe(forms::Component* owner, std::vector<std::string>* log = nullptr, std::string id = {})
        : Component(owner), log_(log), id_(std::move(id)) {}
    ~Probe() override {
        DestroyComponents();
        if (log_) log_->push_back("free " + id_);
    }
    void Notification(forms::Component* c, Operation op) override {
        if (log_ && op == Operation::Remove) log_->push_back(id_ + " told of " + c->Name());
    }
    std::vector<std::string>* log_;
    std::string id_;
};

TEST(Component, OwnerFreesItsComponentsLastFirst) {
    std::vector<std::string> log;
    auto* owner = new Probe(nullptr, &log, "owner");
    auto* a = new Probe(owner, &log, "a");
    a->SetName("a");
    auto* b = new Probe(owner, &log, "b");
    b->SetName("b");
    new Probe(a, &log, "a.child");
    log.clear();
    delete owner;
    EXPECT_EQ((std::vector<std::string>{"free b", "owner told of b", "free a.child", "a told of ", "free a",
                                        "owner told of a", "free owner"}),
              log);
}

TEST(Component, LookupByNameIgnoresCaseAndNamesAreUnique) {
    forms::Component form;
    auto* ok = new forms::Component(&form);
    ok->SetName("BtnOk");
    auto* other = new forms::Component(&form);
    EXPECT_EQ(ok, form.FindComponent("btnok"));
    EXPECT_EQ(nullptr, form.FindComponent("BtnCancel"));
    EXPECT_EQ(nullptr, form.FindComponent(""));
    EXPECT_THROW(other->SetName("BTNOK"), forms::Exception);
    EXPECT_EQ("", other->Name());
    other->SetTag(7);
    EXPECT_EQ(7, other->Tag());
    delete ok;
    EXPECT_EQ(nullptr, form.FindComponent("BtnOk")) << "a freed component leaves its owner";
    EXPECT_EQ(1, form.ComponentCount());
}

TEST(Component, FreeNoticesReachThoseWhoAsked) {
    std::vector<std::string> log;
    Probe watcher(nullptr, &log, "watcher");
    auto* images = new Probe(nullptr, nullptr, "images");
    images->SetName("ImageList1");
    images->FreeNotification(&watcher);
    delete images;
    EXPECT_EQ((std::vector<std::string>{"watcher told of ImageList1"}), log);
    auto* again = new Probe(nullptr);
    again->FreeNotification(&watcher);
    again->RemoveFreeNotification(&watcher);
    log.clear();
    delete again;
    EXPECT_TRUE(log.empty());
}

}  // namespace

#include "tbcommon.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "tbhooks.h"

namespace {

using namespace toolbars;

TEST(TBCommon, AccelCharAndPrefixes) {
    const struct {
        const char* text;
        char accel;
        const char* plain;
    } cases[] = {
        {"&File", 'F', "File"},           {"Save &As", 'A', "Save As"},  {"Fish && &Chips", 'C', "Fish & Chips"},
        {"Fish && Chips", 0, "Fish & Chips"}, {"&a&b", 'b', "ab"},      {"End&", 0, "End"},
        {"", 0, ""},                      {"&&&x", 'x', "&x"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.accel, AccelCharOf(c.text)) << c.text;
        EXPECT_EQ(c.plain, StripAccelChars(c.text)) << c.text;
    }
    // A lead byte keeps its trail byte, even when that is "&".
    EXPECT_EQ("\x81&x", StripAccelChars("\x81&&x", [](char c) { return c == '\x81'; }));
}

TEST(TBCommon, Arithmetic) {
    EXPECT_EQ(2, DivAwayFromZero(4, 2));
    EXPECT_EQ(3, DivAwayFromZero(5, 2));
    EXPECT_EQ(-3, DivAwayFromZero(-5, 2));
    EXPECT_EQ(-3, DivAwayFromZero(5, -2));
    EXPECT_EQ(0, DivAwayFromZero(0, 7));
    EXPECT_EQ(23, MulDiv(19, 22, 18));  // 23.2
    EXPECT_EQ(-1, MulDiv(1, 1, 0));
    EXPECT_EQ(-3, MulDiv(-5, 1, 2)) << "halves round away from zero";
}

TEST(TBCommon, MenuShowDelayFromTheRegistry) {
    const struct {
        TBRegValue status;
        const char* text;
        int want;
    } cases[] = {
        {TBRegValue::Ok, "250", 250},       {TBRegValue::Ok, "abc", 0},          {TBRegValue::Ok, "", 0},
        {TBRegValue::Ok, "-20", 0},         {TBRegValue::Ok, "5000", 5000},      {TBRegValue::Ok, "5001", 5000},
        {TBRegValue::Ok, "99999999999999999999", 5000},                           {TBRegValue::Ok, "12x", 0},
        {TBRegValue::Ok, "+40", 40},        {TBRegValue::KeyMissing, "", 400},   {TBRegValue::ValueMissing, "", 400},
        {TBRegValue::WrongType, "250", 0},  {TBRegValue::OtherError, "", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.want, MenuShowDelayFromRegistry(c.status, c.text)) << int(c.status) << " '" << c.text << "'";
    EXPECT_EQ(400, MenuShowDelayFromRegistry(TBRegValue::Ok, std::string_view("400\0", 4))) << "terminator kept";
    EXPECT_EQ(0, ClampMenuShowDelay(-1));
    EXPECT_EQ(kMaxMenuShowDelay, ClampMenuShowDelay(1LL << 40));
}

TEST(TBCommon, SettingsCanBeFixed) {
    TBFixedSettings fixed;
    fixed.menuShowDelay = 77;
    fixed.keyboardCues = false;
    SetTBSettings(&fixed);
    EXPECT_EQ(77, MenuDelay());
    EXPECT_FALSE(KeyboardCuesOn());
    SetTBSettings(nullptr);
    EXPECT_EQ(&TBSystemDefaultSettings(), &TBSettings());
}

TEST(TBCommon, SortListAndListHelpers) {
    std::vector<int> values = {5, 3, 9, 1, 5, 7, 2, 8, 0, 6};
    std::vector<void*> list;
    for (int& v : values) list.push_back(&v);
    SortList(list, [](void* a, void* b, void*) { return *static_cast<int*>(a) - *static_cast<int*>(b); }, nullptr);
    for (size_t i = 1; i < list.size(); ++i) EXPECT_LE(*static_cast<int*>(list[i - 1]), *static_cast<int*>(list[i]));
    std::unique_ptr<std::vector<int*>> l;
    int a = 1, b = 2;
    EXPECT_TRUE(ListAddOnce(l, &a));
    EXPECT_FALSE(ListAddOnce(l, &a));
    EXPECT_TRUE(ListAddOnce(l, &b));
    ListRemoveAndFree(l, &a);
    ASSERT_TRUE(l);
    ListRemoveAndFree(l, &b);
    EXPECT_FALSE(l) << "the empty list is freed";
}

// Hooks ------------------------------------------------------------------------

struct RecordingInstaller : TBHookInstaller {
    std::vector<std::string> log;
    bool Install(TBHookKind k) override {
        log.push_back("install " + std::to_string(k));
        return true;
    }
    void Remove(TBHookKind k) override { log.push_back("remove " + std::to_string(k)); }
};

std::vector<std::string> g_calls;
void procA(TBHookProcCode c, void*, uintptr_t, intptr_t) { g_calls.push_back("A" + std::to_string(c)); }
void procB(TBHookProcCode c, void*, uintptr_t, intptr_t) {
    g_calls.push_back("B" + std::to_string(c));
    throw std::runtime_error("subscriber fails");
}
void procC(TBHookProcCode c, void*, uintptr_t, intptr_t) { g_calls.push_back("C" + std::to_string(c)); }

struct Hooks : ::testing::Test {
    RecordingInstaller installer;
    TBHookInstaller* old = nullptr;
    void SetUp() override {
        old = SetHookInstaller(&installer);
        g_calls.clear();
    }
    void TearDown() override { SetHookInstaller(old); }
};

TEST_F(Hooks, InstalledOncePerKindAndRemovedWithTheLastUser) {
    SubscribeHooks(procA, HookCodes(hpSendActivateApp) | HookCodes(hpGetMessage));
    SubscribeHooks(procA, HookCodes(hpSendActivateApp) | HookCodes(hpGetMessage));
    SubscribeHooks(procC, HookCodes(hpSendWindowPosChanged));
    EXPECT_EQ((std::vector<std::string>{"install 0", "install 2"}), installer.log);
    EXPECT_EQ(3, HookUseCount(hkCallWndProc));
    UnsubscribeHooks(procA);
    EXPECT_TRUE(HookInstalled(hkGetMessage)) << "one reference of A is left";
    UnsubscribeHooks(procA);
    EXPECT_FALSE(HookInstalled(hkGetMessage));
    EXPECT_TRUE(HookInstalled(hkCallWndProc)) << "C still needs it";
    UnsubscribeHooks(procC);
    EXPECT_EQ((std::vector<std::string>{"install 0", "install 2", "remove 2", "remove 0"}), installer.log);
    EXPECT_EQ(0, HookSubscriberCount());
    UnsubscribeHooks(procC);  // nothing left to drop
    EXPECT_EQ(0, HookUseCount(hkCallWndProc));
}

TEST_F(Hooks, ASubscriberThatThrowsStopsNoOther) {
    SubscribeHooks(procA, HookCodes(hpCBTActivate));
    SubscribeHooks(procB, HookCodes(hpCBTActivate));
    SubscribeHooks(procC, HookCodes(hpCBTActivate) | HookCodes(hpGetMessage));
    CallHookSubscribers(hpCBTActivate, nullptr, 0, 0);
    CallHookSubscribers(hpGetMessage, nullptr, 0, 0);
    EXPECT_EQ((std::vector<std::string>{"A2", "B2", "C2", "C3"}), g_calls);
    UnsubscribeHooks(procA);
    UnsubscribeHooks(procB);
    UnsubscribeHooks(procC);
    EXPECT_FALSE(HookInstalled(hkCBT));
}

TEST_F(Hooks, NotInstalledNowMeansNoUseCount) {
    SubscribeHooks(procA, HookCodes(hpGetMessage), true);
    EXPECT_TRUE(installer.log.empty());
    SubscribeHooks(procC, HookCodes(hpGetMessage));
    UnsubscribeHooks(procA);
    EXPECT_TRUE(HookInstalled(hkGetMessage)) << "A's reference installed nothing, so it removes nothing";
    UnsubscribeHooks(procC);
    EXPECT_FALSE(HookInstalled(hkGetMessage));
}

}  // namespace

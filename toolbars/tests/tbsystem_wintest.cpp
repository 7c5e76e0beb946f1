// The toolbar framework against the system: thread hooks installed once and
// removed with their last subscriber, deferred clicks through the hidden
// window, the menu settings the system reports.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "forms/appservices.h"
#include "tbcommon.h"
#include "tbcommon_win.h"
#include "tbhooks.h"
#include "tbitem.h"

namespace {

using namespace toolbars;

void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

HWND makeWindow() {
    return CreateWindowExW(0, L"STATIC", L"hooks", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, GetModuleHandleW(nullptr),
                           nullptr);
}

std::vector<std::string> g_seen;
void activateSubscriber(TBHookProcCode code, void* window, uintptr_t wp, intptr_t) {
    g_seen.push_back("activate " + std::to_string(code) + " " + std::to_string(wp));
}
void throwingSubscriber(TBHookProcCode code, void*, uintptr_t, intptr_t) {
    g_seen.push_back("throws " + std::to_string(code));
    throw std::runtime_error("subscriber fails");
}
constexpr UINT kProbe = WM_APP + 7;
void messageSubscriber(TBHookProcCode code, void*, uintptr_t wp, intptr_t lp) {
    const MSG* m = reinterpret_cast<const MSG*>(lp);
    if (m->message == kProbe && wp == PM_REMOVE) g_seen.push_back("message " + std::to_string(m->wParam));
}

TEST(SystemHooks, SubscribersSeeTheThreadsMessagesUntilTheLastLeaves) {
    g_seen.clear();
    HWND w = makeWindow();
    ASSERT_TRUE(w);
    SubscribeHooks(throwingSubscriber, HookCodes(hpSendActivateApp));
    SubscribeHooks(activateSubscriber, HookCodes(hpSendActivateApp));
    SubscribeHooks(activateSubscriber, HookCodes(hpSendActivateApp));
    SubscribeHooks(messageSubscriber, HookCodes(hpGetMessage));
    EXPECT_TRUE(HookInstalled(hkCallWndProc));
    EXPECT_TRUE(HookInstalled(hkGetMessage));
    EXPECT_FALSE(HookInstalled(hkCBT));
    const LRESULT r = SendMessageW(w, WM_ACTIVATEAPP, TRUE, 0);
    EXPECT_EQ(0, r) << "the message still reaches its window";
    PostMessageW(w, kProbe, 42, 0);
    pump();
    EXPECT_EQ((std::vector<std::string>{"throws 0", "activate 0 1", "message 42"}), g_seen)
        << "a subscriber that throws stops neither the others nor the message";
    UnsubscribeHooks(throwingSubscriber);
    UnsubscribeHooks(activateSubscriber);
    EXPECT_TRUE(HookInstalled(hkCallWndProc)) << "one reference is left";
    UnsubscribeHooks(activateSubscriber);
    UnsubscribeHooks(messageSubscriber);
    EXPECT_FALSE(HookInstalled(hkCallWndProc));
    EXPECT_FALSE(HookInstalled(hkGetMessage));
    g_seen.clear();
    SendMessageW(w, WM_ACTIVATEAPP, TRUE, 0);
    PostMessageW(w, kProbe, 43, 0);
    pump();
    EXPECT_TRUE(g_seen.empty()) << "no hook is left to call them";
    DestroyWindow(w);
}

std::vector<std::string> g_threadSeen;
void otherThreadSubscriber(TBHookProcCode, void*, uintptr_t wp, intptr_t lp) {
    if (reinterpret_cast<const MSG*>(lp)->message == kProbe && wp == PM_REMOVE) g_threadSeen.push_back("other");
}

DWORD WINAPI otherThread(void* p) {
    auto* f = static_cast<bool*>(p);
    f[0] = HookInstalled(hkGetMessage);
    SubscribeHooks(otherThreadSubscriber, HookCodes(hpGetMessage));
    MSG m;
    PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE);
    PostThreadMessageW(GetCurrentThreadId(), kProbe, 1, 0);
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    }
    UnsubscribeHooks(otherThreadSubscriber);
    f[1] = HookInstalled(hkGetMessage);
    return 0;
}

TEST(SystemHooks, EachThreadHasItsOwn) {
    SubscribeHooks(messageSubscriber, HookCodes(hpGetMessage));
    g_threadSeen.clear();
    bool flags[2] = {true, true};  // the other thread's hook before and after
    HANDLE t = CreateThread(nullptr, 0, otherThread, flags, 0, nullptr);
    ASSERT_TRUE(t);
    WaitForSingleObject(t, 10000);
    CloseHandle(t);
    EXPECT_FALSE(flags[0]) << "the main thread's hook is not the other thread's";
    EXPECT_FALSE(flags[1]);
    EXPECT_EQ((std::vector<std::string>{"other"}), g_threadSeen);
    EXPECT_TRUE(HookInstalled(hkGetMessage)) << "the main thread keeps its own";
    UnsubscribeHooks(messageSubscriber);
    EXPECT_FALSE(HookInstalled(hkGetMessage));
}

HWND hiddenWindow() { return FindWindowExW(HWND_MESSAGE, nullptr, L"QivTBDeferred", nullptr); }

TEST(DeferredClicks, EveryPostedClickRunsOnceInOrderFromTheQueue) {
    std::vector<std::string> clicks;
    {
        TTBRootItem root(nullptr);
        TTBItem* items[3];
        for (int i = 0; i < 3; ++i) {
            items[i] = new TTBItem(nullptr);
            root.Add(items[i]);
            items[i]->OnClick = [&clicks, i](forms::Component*) { clicks.push_back(std::to_string(i)); };
        }
        items[1]->PostClick(false);
        items[0]->PostClick(false);
        items[2]->PostClick(false);
        items[1]->PostClick(false);
        EXPECT_TRUE(clicks.empty()) << "nothing runs before the queue is served";
        ASSERT_TRUE(hiddenWindow());
        pump();
        EXPECT_EQ((std::vector<std::string>{"1", "0", "2", "1"}), clicks);
        clicks.clear();
        items[2]->PostClick(false);
        delete items[2];
        pump();
        EXPECT_TRUE(clicks.empty()) << "a freed item's click is dropped";
        // A handler's exception goes to the application and the next click still runs.
        std::string error;
        forms::SetAppExceptionHandler([&](std::exception_ptr e) {
            try {
                std::rethrow_exception(e);
            } catch (const std::exception& x) {
                error = x.what();
            }
        });
        items[0]->OnClick = [](forms::Component*) { throw std::runtime_error("click failed"); };
        items[0]->PostClick(false);
        items[1]->PostClick(false);
        pump();
        forms::SetAppExceptionHandler(nullptr);
        EXPECT_EQ("click failed", error);
        EXPECT_EQ((std::vector<std::string>{"1"}), clicks);
    }
    EXPECT_EQ(0, LiveItemCount());
    EXPECT_FALSE(hiddenWindow()) << "the hidden window goes with the thread's last item";
}

TEST(MenuSettings, FollowTheSystemAndBoundTheDelay) {
    UINT saved = 0;
    SystemParametersInfoW(SPI_GETMENUSHOWDELAY, 0, &saved, 0);
    const struct {
        UINT set;
        int want;
    } cases[] = {{250, 250}, {0, 0}, {100000, kMaxMenuShowDelay}};
    for (const auto& c : cases) {
        ASSERT_TRUE(SystemParametersInfoW(SPI_SETMENUSHOWDELAY, c.set, nullptr, 0));
        EXPECT_EQ(c.want, MenuDelay()) << c.set;
    }
    SystemParametersInfoW(SPI_SETMENUSHOWDELAY, saved, nullptr, 0);
    // Tests fix the settings through one interface.
    TBFixedSettings fixed;
    fixed.menuShowDelay = 5;
    fixed.menuAnimation = true;
    SetTBSettings(&fixed);
    EXPECT_EQ(5, MenuDelay());
    EXPECT_TRUE(TBSettings().MenuAnimation());
    SetTBSettings(nullptr);
    EXPECT_FALSE(IsXPOrLater() && WindowsMajorVersion() < 5);
    const RECT work = PrimaryMonitorRect(true);
    const RECT screen = PrimaryMonitorRect(false);
    EXPECT_LE(screen.left, work.left);
    EXPECT_GE(screen.right, work.right);
}

TEST(DrawingHelpers, DitherFramesEraseWhatTheyDrew) {
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof bi.bmiHeader, 40, -40, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bmp);
    auto* px = static_cast<uint32_t*>(bits);
    for (int i = 0; i < 40 * 40; ++i) px[i] = 0x808080;
    const RECT a{2, 2, 30, 30}, b{6, 6, 36, 36};
    DrawDitherFrame(dc, &a, nullptr, SIZE{3, 3}, SIZE{});
    GdiFlush();
    int changed = 0;
    for (int y = 2; y < 5; ++y)
        for (int x = 2; x < 30; ++x) changed += (px[y * 40 + x] & 0xFFFFFF) != 0x808080u;
    EXPECT_GT(changed, 20) << "half the frame's pixels are inverted";
    EXPECT_EQ(0x808080u, px[15 * 40 + 15] & 0xFFFFFF) << "the middle stays";
    DrawDitherFrame(dc, &b, &a, SIZE{3, 3}, SIZE{3, 3});  // move: old erased, new drawn
    DrawDitherFrame(dc, nullptr, &b, SIZE{}, SIZE{3, 3});
    GdiFlush();
    for (int i = 0; i < 40 * 40; ++i) ASSERT_EQ(0x808080u, px[i] & 0xFFFFFF) << "pixel " << i;
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
}

TEST(QueueHelpers, DiscardingKeepsAQuitMessage) {
    HWND w = makeWindow();
    PostMessageW(w, WM_APP + 1, 0, 0);
    PostMessageW(w, WM_APP + 2, 0, 0);
    DiscardMessages(WM_APP, WM_APP + 5);
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_APP, WM_APP + 5, PM_NOREMOVE));
    PostQuitMessage(3);
    DiscardMessages(0, WM_APP + 5);  // the range takes WM_QUIT in
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the quit message is posted again";
    EXPECT_EQ(3, int(msg.wParam));
    DestroyWindow(w);
}

TEST(TextHelpers, WidthsWithPrefixesAndRotatedFonts) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, TBMenuFont());
    EXPECT_EQ(TextWidthOf(dc, "File", false), TextWidthOf(dc, "&File", true));
    EXPECT_LT(TextWidthOf(dc, "File", false), TextWidthOf(dc, "&File", false));
    EXPECT_GT(TextHeightOf(dc), 0);
    HFONT rotated = MakeRotatedFont(dc);
    LOGFONTW lf{};
    GetObjectW(rotated, sizeof lf, &lf);
    EXPECT_EQ(2700, lf.lfEscapement);
    DeleteObject(rotated);
    SelectObject(dc, old);
    DeleteDC(dc);
}

}  // namespace

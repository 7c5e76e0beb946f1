// A popup menu of 500 items: opened (window made, laid out with the menu
// font, placed on its monitor and shown, without animation) and closed,
// beside a baseline of the same items' view laid out alone with the same
// font and no window, and a popup of 5 items for the window's own cost.
// Medians of several runs, with the machine's load.
// Run under wine64 with a display.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "benchutil.h"
#include "forms/application.h"
#include "tbpopup_win.h"

using namespace toolbars;

namespace {

// A view's window that only measures.
struct MeasureOnly : TBViewWindow {
    GdiMetrics metrics;
    int w = 0, h = 0;
    TBMetrics& Metrics() override { return metrics; }
    void InvalidateRect(const Rect&) override {}
    void Update() override {}
    void SetClientSize(int width, int height) override { w = width, h = height; }
    int ClientWidth() override { return w; }
    int ClientHeight() override { return h; }
    uint32_t BackgroundRGB() override { return 0xC0C0C0; }
    uint32_t SysColorRGB(TBColor c) override { return TBSysColor(c); }
    void StartTimer(int, int) override {}
    void StopTimer(int) override {}
    bool ControlInfo(forms::Component*, int&, int&) override { return false; }
    void SetControlBounds(forms::Component*, const Rect&) override {}
};

}  // namespace

int main() {
    benchutil::printLoad();
    forms::Application::Instance().Initialize();
    TBFixedSettings settings;  // no animation, no sound
    SetTBSettings(&settings);
    TTBRootItem root(nullptr);
    auto* menu = new TTBItem(nullptr);
    menu->SetItemStyle(TTBItemStyles(menu->ItemStyle() | isSubmenu));
    root.Add(menu);
    for (int i = 0; i < 500; ++i) {
        auto* it = new TTBItem(nullptr);
        it->SetCaption("Item &" + std::to_string(i) + "\tCtrl+" + std::to_string(i % 10));
        if (i % 25 == 24) it->SetItemStyle(TTBItemStyles(it->ItemStyle() | isSubmenu));
        menu->Add(it);
    }
    auto* small = new TTBItem(nullptr);
    small->SetItemStyle(TTBItemStyles(small->ItemStyle() | isSubmenu));
    root.Add(small);
    for (int i = 0; i < 5; ++i) {
        auto* it = new TTBItem(nullptr);
        it->SetCaption("Item &" + std::to_string(i));
        small->Add(it);
    }
    const int repeats = 20;
    std::vector<double> opened, alone, fixed;
    int height = 0;
    for (int run = 0; run < 7; ++run) {
        opened.push_back(benchutil::timed([&] {
            for (int k = 0; k < repeats; ++k) {
                auto popup = OpenPopupWindow(menu, nullptr, nullptr, false, POINT{100, 100});
                RECT r{};
                GetWindowRect(popup->Handle(), &r);
                height = r.bottom - r.top;
            }
        }) / repeats);
        fixed.push_back(benchutil::timed([&] {
            for (int k = 0; k < repeats; ++k) OpenPopupWindow(small, nullptr, nullptr, false, POINT{100, 100});
        }) / repeats);
        alone.push_back(benchutil::timed([&] {
            for (int k = 0; k < repeats; ++k) {
                MeasureOnly host;
                TTBView view(nullptr, nullptr, &host, menu, false, true, false);
                view.UpdateLayout();
            }
        }) / repeats);
    }
    SetTBSettings(nullptr);
    const double o = benchutil::median(opened), a = benchutil::median(alone), f = benchutil::median(fixed);
    std::printf("popup of %d items (%d pixels high on its monitor, scrolling)\n", menu->Count(), height);
    std::printf("%-44s %12s %10s\n", "", "time (ms)", "x baseline");
    std::printf("%-44s %12.3f %10.1f\n", "view laid out alone (baseline)", a * 1e3, 1.0);
    std::printf("%-44s %12.3f %10.1f\n", "popup opened, laid out, placed, shown, closed", o * 1e3, o / a);
    std::printf("%-44s %12.3f %10.1f\n", "the same for a popup of 5 items (the window)", f * 1e3, f / a);
    return 0;
}

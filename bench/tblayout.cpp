// Toolbar views: the time of one layout of a view of 100, 1,000 and 10,000
// items (with separators and wrapping) measured with fixed metrics, and the
// delivery of one item change to 1,000 views registered with its parent
// (each repaints the item and lays out again), beside a plain call of 1,000
// notice targets as the baseline. Medians of several runs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "tests/tbfakes.h"

using namespace toolbars;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void fill(TTBCustomItem* root, int n) {
    for (int i = 0; i < n; ++i) {
        TTBCustomItem* it = i % 8 == 7 ? static_cast<TTBCustomItem*>(new TTBSeparatorItem(nullptr)) : new TTBItem(nullptr);
        if (i % 8 != 7) it->SetCaption(i % 3 ? "Item" : "&Longer item");
        root->Add(it);
    }
}

// The time of one layout, as the median of runs of repeated layouts.
double layoutTime(int n, bool wrap) {
    tbtest::FakeWindow window;
    TTBRootItem root(nullptr);
    fill(&root, n);
    TTBView view(nullptr, nullptr, &window, &root, true, false, true);
    view.WrapOffset = wrap ? 600 : 0;
    const int repeats = std::max(3, 200000 / n);
    std::vector<double> runs;
    for (int run = 0; run < 7; ++run) {
        TBPoint size;
        const auto start = Clock::now();
        for (int k = 0; k < repeats; ++k) view.CalculatePositions(true, tbvoHorizontal, view.WrapOffset, 0, 0, size);
        runs.push_back(seconds(start, Clock::now()) / repeats);
    }
    return median(runs);
}

struct Counter : TTBItemNotifyTarget {
    long n = 0;
    void ItemNotification(TTBCustomItem*, bool, TTBItemChangeKind, int, TTBCustomItem*) override { ++n; }
};

}  // namespace

int main() {
    double load = 0;
    if (std::FILE* l = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(l, "%lf", &load) != 1) load = 0;
        std::fclose(l);
    }
    std::printf("machine load %.2f\n\n", load);
    std::printf("%-8s %-6s %14s %18s\n", "items", "wrap", "layout (us)", "per 1,000 (us)");
    double per1000at1000 = 0;
    for (int n : {100, 1000, 10000})
        for (bool wrap : {false, true}) {
            const double t = layoutTime(n, wrap);
            const double per = t / n * 1000 * 1e6;
            if (n == 1000 && !wrap) per1000at1000 = per;
            std::printf("%-8d %-6s %14.1f %18.1f\n", n, wrap ? "yes" : "no", t * 1e6, per);
        }
    const double t10k = layoutTime(10000, false);
    std::printf("\nlinearity: 10,000 items take %.2f x ten times 1,000 items\n", t10k * 1e6 / (per1000at1000 * 10));

    // Notices: 1,000 views of one root, one caption change of a child.
    TTBRootItem root(nullptr);
    fill(&root, 20);
    std::vector<std::unique_ptr<tbtest::FakeWindow>> windows;
    std::vector<std::unique_ptr<TTBView>> views;
    for (int i = 0; i < 1000; ++i) {
        windows.push_back(std::make_unique<tbtest::FakeWindow>());
        views.push_back(std::make_unique<TTBView>(nullptr, nullptr, windows.back().get(), &root, true, false, false));
        views.back()->UpdateLayout();
    }
    TTBCustomItem* item = root.Items(3);
    std::vector<double> viewRuns, resizeRuns;
    for (int run = 0; run < 7; ++run) {
        auto start = Clock::now();
        for (int k = 0; k < 20; ++k) item->SetChecked(k % 2 == 0);  // repaint only
        viewRuns.push_back(seconds(start, Clock::now()) / 20);
        start = Clock::now();
        for (int k = 0; k < 4; ++k) item->SetCaption(k % 2 ? "Item" : "Other item");  // repaint and layout
        resizeRuns.push_back(seconds(start, Clock::now()) / 4);
        for (auto& w : windows) w->invalid.clear();
    }
    // Baseline: the same number of plain notice targets.
    TTBRootItem plain(nullptr);
    TTBItem* child = new TTBItem(nullptr);
    plain.Add(child);
    std::vector<Counter> counters(1000);
    for (Counter& c : counters) plain.RegisterNotification(&c);
    std::vector<double> baseRuns;
    for (int run = 0; run < 7; ++run) {
        const auto start = Clock::now();
        for (int k = 0; k < 200; ++k) child->SetChecked(k % 2 == 0);
        baseRuns.push_back(seconds(start, Clock::now()) / 200);
    }
    for (Counter& c : counters) plain.UnregisterNotification(&c);
    const double base = median(baseRuns), repaint = median(viewRuns), relayout = median(resizeRuns);
    std::printf("\nnotice to 1,000 registered views of 20 items\n");
    std::printf("%-34s %12s %10s\n", "", "per notice (us)", "x baseline");
    std::printf("%-34s %12.1f %10.1f\n", "plain targets (baseline)", base * 1e6, 1.0);
    std::printf("%-34s %12.1f %10.1f\n", "views: check state (repaint)", repaint * 1e6, repaint / base);
    std::printf("%-34s %12.1f %10.1f\n", "views: caption (repaint, layout)", relayout * 1e6, relayout / base);
    views.clear();
    return 0;
}

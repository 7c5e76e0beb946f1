// Dock arrangement: one LayOutDockedWindows of 50 toolbars in 10 rows (some
// chevron toolbars that shrink, gaps, a stretching window per row), beside a
// baseline of the same windows only measured and placed once each. Medians
// of several runs, with the machine's load.
#include <cstdio>
#include <memory>
#include <vector>

#include "benchutil.h"
#include "tbdock.h"

using namespace toolbars;

namespace {

struct Bar : TBDockableWindow {
    int len = 0;
    TBShrinkMode mode = TBShrinkMode::None;
    Rect bounds;
    int FullLength(bool) override { return len + 4; }
    int MinimumLength(bool) override { return 40; }
    TBShrinkMode ShrinkMode() const override { return mode; }
    TBPoint ClientSize() override { return {ShrunkLength ? ShrunkLength - 4 : len, 22}; }
    void SetBounds(const Rect& r) override { bounds = r; }
};

}  // namespace

int main() {
    benchutil::printLoad();
    std::vector<std::unique_ptr<Bar>> bars;
    TBDockLayout dock;
    dock.Bounds = {0, 0, 1000, 0};
    dock.BeginArrange();
    for (int i = 0; i < 50; ++i) {
        auto b = std::make_unique<Bar>();
        b->DockRow = i / 5;
        b->DockPos = (i % 5) * 210 + (i % 3) * 7;
        b->len = 150 + (i * 37) % 90;
        b->mode = i % 4 == 0 ? TBShrinkMode::Chevron : TBShrinkMode::None;
        b->Stretch = i % 5 == 4 && i % 10 != 9;
        dock.AddWindow(b.get());
        dock.UpdateShown(b.get(), true);
        bars.push_back(std::move(b));
    }
    dock.EndArrange();
    const int repeats = 2000;
    std::vector<double> layout, base;
    volatile int sink = 0;
    for (int run = 0; run < 7; ++run) {
        layout.push_back(benchutil::timed([&] {
            for (int k = 0; k < repeats; ++k) dock.LayOutDockedWindows();
        }) / repeats);
        base.push_back(benchutil::timed([&] {
            for (int k = 0; k < repeats; ++k)
                for (auto& b : bars) {
                    TBDockableWindow* w = b.get();
                    sink = sink + w->ClientSize().y + w->MinimumLength(false);
                    w->SetBounds(Rect::Bounds(w->DockPos, w->DockRow * 26, w->FullLength(false), 26));
                }
        }) / repeats);
    }
    const double t = benchutil::median(layout), b = benchutil::median(base);
    std::printf("dock of 50 toolbars in %zu rows, 1000 pixels long\n", dock.RowThicknesses().size());
    std::printf("%-36s %12s %10s\n", "", "time (us)", "x baseline");
    std::printf("%-36s %12.2f %10.1f\n", "measure and place each (baseline)", b * 1e6, 1.0);
    std::printf("%-36s %12.2f %10.1f\n", "LayOutDockedWindows", t * 1e6, t / b);
    return 0;
}

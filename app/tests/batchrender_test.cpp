// Batch rendering's rules: sizes typed in, targets and the existing-file list.
#include <gtest/gtest.h>

#include <set>

#include "batchrender.h"

namespace {

using namespace stellwerk;

TEST(BatchRender, SidesAreClampedBothWays) {
    const struct {
        const char* text;
        int current, want;
    } cases[] = {
        {"640", 100, 640}, {"5000", 100, 2048}, {"2048", 1, 2048}, {"0", 100, 1},     {"-5", 100, 1},
        {"", 333, 333},    {"12a", 333, 333},   {" 77 ", 1, 77},   {"", 9000, 2048}, {"99999999999", 5, 5},
    };
    for (const auto& c : cases) EXPECT_EQ(c.want, BatchSide(c.text, c.current)) << '"' << c.text << '"';
}

TEST(BatchRender, TargetsOfTheCheckedViewsAndThoseThatExist) {
    const std::vector<std::string> views = {"Front", "Top", "Side view"};
    const auto targets = BatchTargets("C:\\out", views, {true, false, true}, ".png");
    ASSERT_EQ(2u, targets.size());
    EXPECT_EQ("Front", targets[0].view);
    EXPECT_EQ("C:\\out\\Front.png", targets[0].file);
    EXPECT_EQ("C:\\out\\Side view.png", targets[1].file);
    EXPECT_EQ("C:\\out\\Top.bmp", BatchTargets("C:\\out\\", views, {false, true, false}, ".bmp")[0].file)
        << "a folder that ends with its separator keeps one";
    EXPECT_TRUE(BatchTargets("C:\\out", views, {false, false, false}, ".bmp").empty());

    const std::set<std::string> present = {"C:\\out\\Side view.png"};
    const auto exists = [&](const std::string& f) { return present.count(f) > 0; };
    EXPECT_EQ("C:\\out\\Side view.png\r", ExistingTargets(targets, exists));
    EXPECT_EQ("", ExistingTargets({targets[0]}, exists));
}

}  // namespace

#include "viewtree.h"

#include <gtest/gtest.h>

namespace {

using namespace stellwerk;

TEST(ViewTree, NodesAndCommands) {
    // Views root 0, views 1..3, schemes root 4, schemes 5..6.
    struct Case {
        int n;
        bool some, scheme;
        int item;
    } cases[] = {
        {0, false, false, -1}, {1, true, false, 0}, {3, true, false, 2}, {4, false, false, -1},
        {5, true, true, 0},    {6, true, true, 1},  {7, false, false, -1}, {-1, false, false, -1},
    };
    for (const auto& c : cases) {
        const auto t = TreeNodeTarget(0, 3, 2, c.n);
        EXPECT_EQ(c.some, t.has_value()) << c.n;
        if (t) {
            EXPECT_EQ(c.scheme, t->scheme) << c.n;
            EXPECT_EQ(c.item, t->item) << c.n;
        }
    }
    EXPECT_FALSE(TreeNodeTarget(0, 0, 1, 1)) << "no views: the schemes root";
    EXPECT_EQ(0, TreeNodeTarget(0, 0, 1, 2)->item);

    EXPECT_TRUE(MaterialEditingEnabled(true, true, false));
    EXPECT_FALSE(MaterialEditingEnabled(true, true, true));
    EXPECT_FALSE(MaterialEditingEnabled(true, false, false));
    EXPECT_FALSE(MaterialEditingEnabled(false, true, false));
    EXPECT_TRUE(SchemeSaveEnabled(2, true));
    EXPECT_FALSE(SchemeSaveEnabled(0, true));
    EXPECT_FALSE(SchemeSaveEnabled(2, false));
    EXPECT_TRUE(SchemeSaveAsEnabled(true));
}

}  // namespace

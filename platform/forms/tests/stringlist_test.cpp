#include "forms/stringlist.h"

#include <gtest/gtest.h>

#include "forms/exception.h"

namespace {

TEST(StringList, NameValueAccessIgnoresCase) {
    forms::StringList l;
    l.Add("Chair=stellwerk_view_0()");
    l.Add("plain");
    l.Add("Table=x=y");
    EXPECT_EQ(0, l.IndexOfName("CHAIR"));
    EXPECT_EQ("x=y", l.Values("table"));
    EXPECT_EQ("", l.Values("plain"));
    EXPECT_EQ("Table", l.Names(2));
    l.SetValue("chair", "other");
    EXPECT_EQ("chair=other", l[0]);
    l.SetValue("new", "1");
    EXPECT_EQ(3, l.IndexOfName("NEW"));
    l.SetValue("new", "");
    EXPECT_EQ(-1, l.IndexOfName("new"));
    EXPECT_EQ(1, l.IndexOf("PLAIN"));
    l.SetCaseSensitive(true);
    EXPECT_EQ(-1, l.IndexOf("PLAIN"));
}

TEST(StringList, SortedListsAndDuplicates) {
    forms::StringList l;
    l.SetSorted(true);
    l.SetAllowDuplicates(false);
    for (const char* s : {"pear", "Apple", "fig", "apple"}) l.Add(s);
    EXPECT_EQ((std::vector<std::string>{"Apple", "fig", "pear"}), l.Items());
    EXPECT_EQ(1, l.IndexOf("FIG"));
    EXPECT_THROW(l.Insert(0, "x"), forms::Exception);
}

TEST(StringList, EditsKeepObjectsAndCheckIndices) {
    int a = 1, b = 2;
    forms::StringList l;
    l.Add("a", &a);
    l.Add("b", &b);
    l.Add("c");
    l.Exchange(0, 1);
    EXPECT_EQ(&b, l.Objects(0));
    l.Move(0, 2);
    EXPECT_EQ((std::vector<std::string>{"a", "c", "b"}), l.Items());
    EXPECT_EQ(2, l.IndexOfObject(&b));
    EXPECT_THROW(l[3], forms::Exception);
    EXPECT_THROW(l.Delete(-1), forms::Exception);
    int changes = 0;
    l.OnChange = [&] { ++changes; };
    l.Delete(1);
    l.Clear();
    EXPECT_EQ(2, changes);
}

TEST(StringList, TextSplitsEveryLineEnd) {
    forms::StringList l;
    l.SetText("one\r\ntwo\nthree\rfour\r\n\r\nlast");
    EXPECT_EQ((std::vector<std::string>{"one", "two", "three", "four", "", "last"}), l.Items());
    EXPECT_EQ("one\r\ntwo\r\nthree\r\nfour\r\n\r\nlast\r\n", l.Text());
    l.SetText("");
    EXPECT_EQ(0, l.Count());
}

}  // namespace

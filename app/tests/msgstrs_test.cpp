#include "msgstrs.h"

#include <gtest/gtest.h>

namespace {

using stellwerk::GetTextLine;
using stellwerk::StripTextComments;

TEST(Texts, LinesLoseTheirPrefixAndComments) {
    forms::StringList list;
    list.SetText(
        "000 First\n"
        "001 \n"
        "002 Open##note|Opens a file\n"
        "003 A##x|B##y|C\n"
        "004 Close##x\n"
        "abc\n"
        "006 Save##x|Saves|S\n"
        "007 Stellwerk! and Stellwerk!|About Stellwerk!|stellwerk!\n"
        "008 ##only a comment\n"
        "0009\n");
    struct Case {
        int number;
        const char* want;
    } cases[] = {
        {0, "First"},
        {1, ""},  // four characters: empty
        {2, "Open|Opens a file"},
        {3, "A|B|C"},
        {4, "Close"},
        {5, ""},  // shorter than 4
        {6, "Save|Saves|S"},
        {7, "Fernlicht and Fernlicht|About Fernlicht|stellwerk!"},
        {8, ""},
        {9, ""},
        {10, ""},  // past the end
        {-1, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(c.want, GetTextLine(c.number, list)) << "text " << c.number;
}

TEST(Texts, CommentsAreStrippedRecursively) {
    EXPECT_EQ("Save", StripTextComments("Save##x"));
    EXPECT_EQ("A|B|C", StripTextComments("A##x|B##y|C"));
    EXPECT_EQ("|tail", StripTextComments("##c|tail"));
    EXPECT_EQ("Plain|text", StripTextComments("Plain|text"));
}

TEST(Texts, FieldsAreTakenInOrder) {
    std::string rest = "Open|Opens an object|o";
    EXPECT_EQ("Open", stellwerk::TakeField(rest));
    EXPECT_EQ("Opens an object", stellwerk::TakeField(rest));
    EXPECT_EQ("o", stellwerk::TakeField(rest));
    EXPECT_EQ("", rest);
    EXPECT_EQ("", stellwerk::TakeField(rest));

    auto m = stellwerk::SplitMenuText("Open|Opens an object|o");
    EXPECT_EQ("Open", m.caption);
    EXPECT_EQ("Opens an object", m.hint);
    EXPECT_EQ('O', m.shortcut);
    EXPECT_EQ(0, stellwerk::SplitMenuText("Open|hint|1").shortcut) << "a digit gives no shortcut";
    EXPECT_EQ(0, stellwerk::SplitMenuText("Open|hint").shortcut);
    EXPECT_EQ("Tip", stellwerk::SplitMenuText("Tip|ignored").caption);
}

}  // namespace

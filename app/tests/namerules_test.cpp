#include "namerules.h"

#include <gtest/gtest.h>

namespace {

using namespace stellwerk;

TEST(NameRules, ViewNames) {
    const std::vector<std::string> views = {"Front", "Top"};
    const std::vector<std::string> batches = {"Tour"};
    struct Case {
        const char* name;
        NameProblem want;
    } cases[] = {
        {"Side", NameProblem::None},
        {"  Side  ", NameProblem::None},
        {"   ", NameProblem::Empty},
        {"front", NameProblem::Taken},
        {"general", NameProblem::Reserved},
        {"<LastView>", NameProblem::BadCharacter},  // "<" and ">" never pass the key filter
        {"BATCHRENDER", NameProblem::Reserved},
        {"batchnames", NameProblem::Reserved},
        {"tour", NameProblem::Reserved},
        {"a,b", NameProblem::BadCharacter},
        {"a]b", NameProblem::BadCharacter},
        {"a=b", NameProblem::BadCharacter},
        {";a", NameProblem::BadCharacter},
        {"[a", NameProblem::BadCharacter},
        {"a;b[c", NameProblem::None},
        {"a?b", NameProblem::BadCharacter},
        {"a\tb", NameProblem::BadCharacter},
        {"12345678901234567890123456789012345678901234567890", NameProblem::None},
        {"123456789012345678901234567890123456789012345678901", NameProblem::TooLong},
    };
    for (const auto& c : cases) EXPECT_EQ(int(c.want), int(CheckViewName(c.name, views, batches))) << c.name;
    EXPECT_EQ(int(NameProblem::Reserved), int(CheckBatchName("TOP", views, batches)));
    EXPECT_EQ(int(NameProblem::Taken), int(CheckBatchName("tour", views, batches)));
    EXPECT_EQ(int(NameProblem::None), int(CheckBatchName("Night", views, batches)));
}

TEST(NameRules, DialogModes) {
    const std::vector<std::string> listed = {"Own", "Red", "Blue"};
    const std::vector<bool> locked = {true, false, true};
    struct Case {
        int mode;
        const char* text;
        bool accepted;
    } cases[] = {
        {kNameModeAddView, "red", false},          {kNameModeAddView, "Green", true},
        {kNameModeUpdateView, "RED", true},        {kNameModeUpdateView, "Green", false},
        {kNameModeRenameView, "Blue", false},      {kNameModeSaveSchemeAs, "Green", true},
        {kNameModeSaveSchemeAs, "red", true},      {kNameModeSaveSchemeAs, "blue", false},
        {kNameModeRenameScheme, "Red", false},     {kNameModeRenameScheme, "a:b", false},
        {kNameModeMaterial, "Oak", true},          {kNameModeNewFolder, "New", true},
        {kNameModeBatch, "Red", false},            {kNameModeBatch, "Night", true},
        {8, "x", false},                       {-1, "x", false},
        {kNameModeMaterial, "  ", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.accepted, CheckDialogName(c.mode, c.text, listed, locked) == NameProblem::None)
            << c.mode << " " << c.text;
    EXPECT_EQ(int(NameProblem::Empty), int(CheckDialogName(kNameModeAddView, "  ", listed)));
    for (char c : std::string("\"*/:<>?\\|")) EXPECT_TRUE(IsNameKeyFiltered(c)) << c;
    for (char c : std::string("aZ09 ._-,")) EXPECT_FALSE(IsNameKeyFiltered(c)) << c;
    EXPECT_TRUE(NameModeUsesCombo(kNameModeUpdateView));
    EXPECT_TRUE(NameModeUsesCombo(kNameModeSaveSchemeAs));
    EXPECT_FALSE(NameModeUsesCombo(kNameModeAddView));
}

}  // namespace

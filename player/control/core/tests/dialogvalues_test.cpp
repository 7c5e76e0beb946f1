#include "dialogvalues.h"

#include <gtest/gtest.h>

#include <string>

using namespace qivctl;

TEST(OptionsPage, DisplayModeEntriesAndSelection) {
    for (size_t i = 0; i < kDisplayModeEntryCount; ++i) {
        EXPECT_EQ(kDisplayModeEntries[i].stringId, 138u + i);
        EXPECT_EQ(displayModeEntry(kDisplayModeEntries[i].mode), int(i));
    }
    // Modes outside the table (the _ALL and back-face variants) select nothing.
    for (int32_t mode : {6, 7, 16, 20, 23, -1}) EXPECT_EQ(displayModeEntry(mode), -1) << mode;
}

// Without a selected entry Apply keeps the control's mode instead of writing the
// combo's error value.
TEST(OptionsPage, ApplyWithoutSelectionKeepsTheMode) {
    EXPECT_EQ(displayModeToApply(-1, -1, 20), 20);
    EXPECT_EQ(displayModeToApply(-1, 4, 2), 2);
    EXPECT_EQ(displayModeToApply(1, 1, 20), 1);
    EXPECT_EQ(displayModeToApply(0, 0, 3), 0);
}

namespace {

BackgroundValues values(const char* url, int32_t style, int32_t mode) {
    BackgroundValues v;
    v.color = 0x123456;
    v.pictureUrl = url;
    v.backStyle = style;
    v.picMode = mode;
    v.offsetX = 5;
    v.offsetY = -6;
    return v;
}

}  // namespace

TEST(BackgroundDialog, InitialChoiceFromTheControl) {
    struct Case {
        const char* url;
        int32_t style, mode;
        BackgroundChoice choice;
        bool picture;
    } cases[] = {
        {"", 1, 0, BackgroundChoice::Monochrome, false},
        {"", 0, 0, BackgroundChoice::Transparent, false},
        {"file://C:\\b.bmp", 0, 2, BackgroundChoice::Transparent, true},
        {"file://C:\\b.bmp", 1, 1, BackgroundChoice::Picture, true},
        {"file://C:\\b.bmp", 1, 2, BackgroundChoice::Tiled, true},
        {"http://h/b.jpg", 1, 0, BackgroundChoice::Picture, true},
        // "file://" alone counts as no picture.
        {"file://", 1, 2, BackgroundChoice::Monochrome, false},
        {"", 1, 2, BackgroundChoice::Monochrome, false},
    };
    for (const Case& c : cases) {
        BackgroundDialogModel m(values(c.url, c.style, c.mode));
        EXPECT_EQ(m.initialChoice(), c.choice) << c.url << " " << c.style << " " << c.mode;
        EXPECT_EQ(m.hasPicture(), c.picture) << c.url;
    }
    EXPECT_TRUE(BackgroundDialogModel::offsetsEnabled(BackgroundChoice::Tiled));
    for (auto c : {BackgroundChoice::Transparent, BackgroundChoice::Monochrome, BackgroundChoice::Picture})
        EXPECT_FALSE(BackgroundDialogModel::offsetsEnabled(c));
}

TEST(BackgroundDialog, ChoosingAColourOrAPictureSwitchesTheChoice) {
    BackgroundDialogModel m(values("", 1, 0));
    EXPECT_FALSE(m.hasPicture());
    EXPECT_EQ(m.colorChosen(0x00FF00), BackgroundChoice::Monochrome);
    EXPECT_TRUE(m.colorChanged());
    EXPECT_EQ(m.color(), 0x00FF00u);
    EXPECT_EQ(m.pictureChosen("C:\\pics\\wood.jpg"), BackgroundChoice::Picture);
    EXPECT_TRUE(m.hasPicture());
    EXPECT_TRUE(m.pictureChanged());
}

TEST(BackgroundDialog, ApplyWritesWhatTheChoiceSays) {
    BackgroundDialogModel m(values("", 1, 0));
    m.pictureChosen("C:\\pics\\wood.jpg");

    BackgroundWrites w = m.apply(BackgroundChoice::Tiled, "12", " -3 ");
    EXPECT_EQ(w.color, 0x123456u);
    EXPECT_EQ(w.backStyle, 1);
    EXPECT_TRUE(w.writeUrl);
    EXPECT_EQ(w.url, "file://C:\\pics\\wood.jpg");
    EXPECT_EQ(w.picMode, 2);
    EXPECT_EQ(w.offsetX, 12);
    EXPECT_EQ(w.offsetY, -3);

    w = m.apply(BackgroundChoice::Picture, "0", "0");
    EXPECT_EQ(w.picMode, 1);
    EXPECT_TRUE(w.writeUrl);

    for (auto c : {BackgroundChoice::Monochrome, BackgroundChoice::Transparent}) {
        w = m.apply(c, "1", "2");
        EXPECT_FALSE(w.writeUrl);
        EXPECT_EQ(w.picMode, 0);
        EXPECT_EQ(w.backStyle, c == BackgroundChoice::Transparent ? 0 : 1);
    }
}

// A picture the control already has is written back as it is, not with a
// second "file://" in front of it.
TEST(BackgroundDialog, UnchangedPictureKeepsItsUrl) {
    for (const char* url : {"file://C:\\b.bmp", "http://h/b.jpg"}) {
        BackgroundDialogModel m(values(url, 1, 1));
        BackgroundWrites w = m.apply(BackgroundChoice::Tiled, "5", "-6");
        EXPECT_TRUE(w.writeUrl);
        EXPECT_EQ(w.url, url);
        EXPECT_EQ(w.picMode, 2);
    }
}

TEST(BackgroundDialog, OffsetsThatAreNoNumbersKeepTheControls) {
    BackgroundDialogModel m(values("", 1, 0));
    BackgroundWrites w = m.apply(BackgroundChoice::Monochrome, "abc", "");
    EXPECT_EQ(w.offsetX, 5);
    EXPECT_EQ(w.offsetY, -6);
}

TEST(DialogHelpers, ParseDialogInt) {
    struct {
        const char* text;
        int32_t want;
    } cases[] = {
        {"0", 0},          {"42", 42},          {"-17", -17},          {"+8", 8},       {"  9\t", 9},
        {"2147483647", 2147483647}, {"-2147483648", INT32_MIN}, {"2147483648", 99}, {"-2147483649", 99},
        {"99999999999999999999", 99}, {"", 99}, {"-", 99}, {"1 2", 99}, {"0x10", 99}, {"1.5", 99},
    };
    for (const auto& c : cases) EXPECT_EQ(parseDialogInt(c.text, 99), c.want) << c.text;
}

TEST(DialogHelpers, FileDialogFilterAndFolder) {
    const std::string f = fileDialogFilter("Bitmaps (*.bmp)|*.bmp|All files (*.*)|*.*||");
    const char want[] = "Bitmaps (*.bmp)\0*.bmp\0All files (*.*)\0*.*\0\0";
    EXPECT_EQ(f, std::string(want, sizeof want - 1));
    EXPECT_EQ(folderOfFile("C:\\objects\\a.pel"), "C:\\objects");
    EXPECT_EQ(folderOfFile("C:\\a.pel"), "C:\\");
    EXPECT_EQ(folderOfFile("\\a.pel"), "\\");
    EXPECT_EQ(folderOfFile("D:/x/y/a.qiv"), "D:/x/y");
    EXPECT_EQ(folderOfFile("a.pel"), "");
}

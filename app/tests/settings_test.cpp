#include "globalini.h"

#include <gtest/gtest.h>

#include "apptest.h"
#include "mainsettings.h"

namespace {

using namespace stellwerk;
using apptest::iniOf;

class Settings : public ::testing::Test {
protected:
    void SetUp() override { SetProgramFolder("C:\\Prog\\"); }
};

TEST_F(Settings, DefaultsOfAnEmptyFile) {
    TGlobalIni g;
    g.Read(iniOf(""));
    EXPECT_TRUE(g.EnableClrBmp);
    EXPECT_EQ(RGB3(204, 204, 255), g.DayClr);
    EXPECT_EQ(RGB3(11, 30, 83), g.NightClr);
    EXPECT_EQ(RGB3(0, 128, 0), g.HiliteClr);
    EXPECT_EQ("C:\\Prog\\Textures\\Backgrounds\\sky_day.jpg", g.DayBmp);
    EXPECT_EQ("C:\\Prog\\Textures\\Backgrounds\\sky_night.jpg", g.NightBmp);
    EXPECT_EQ("C:\\Prog\\", g.AlternateTexturePath);
    EXPECT_EQ(1, g.RotationAngle);
    EXPECT_TRUE(g.FilePreview);
    EXPECT_TRUE(g.HideUndockedToolbars);
    EXPECT_EQ(TGlobalIni(), g);

    MainSettings m;
    m.Read(iniOf(""));
    EXPECT_TRUE(m.IconSmall);
    EXPECT_FALSE(m.Filter);
    EXPECT_TRUE(m.Controlbar);
    EXPECT_EQ("C:\\Prog\\Materials\\", m.Materials);
    EXPECT_EQ("C:\\Prog\\Textures\\", m.Textures);
    EXPECT_TRUE(m.RecurseMat && m.RecurseTex);
    EXPECT_EQ("", m.QivFolder);
    EXPECT_EQ(4, m.Recent.Max());
    EXPECT_TRUE(m.Recent.Files().empty());
}

TEST_F(Settings, ClampsOnReading) {
    struct Case {
        const char* text;
        int angle;
        Color day;
    } cases[] = {
        {"[General]\nRotationAngle=0\nDayClr=300 -4\n", 1, RGB3(255, 0, 255)},
        {"[General]\nRotationAngle=200\nDayClr=1\t2  3\n", 90, RGB3(1, 2, 3)},
        {"[general]\nrotationangle=45\ndayclr=x y z\n", 45, RGB3(204, 204, 255)},
        {"[General]\nRotationAngle=-7\n", 1, RGB3(204, 204, 255)},
        {"[General]\nRotationAngle=abc\n", 1, RGB3(204, 204, 255)},
    };
    for (const auto& c : cases) {
        TGlobalIni g;
        g.Read(iniOf(c.text));
        EXPECT_EQ(c.angle, g.RotationAngle) << c.text;
        EXPECT_EQ(c.day, g.DayClr) << c.text;
    }
    MainSettings m;
    m.Read(iniOf("[LRUFileList]\nMax=0\nFile1= C:\\a.qiv \nFile2=\nFile3=C:\\b.qiv\nFile4=C:\\c.qiv\nFile5=C:\\d.qiv\n"));
    EXPECT_EQ(4, m.Recent.Max());
    EXPECT_EQ((std::vector<std::string>{"C:\\a.qiv", "C:\\b.qiv", "C:\\c.qiv"}), m.Recent.Files());
}

TEST_F(Settings, PreferencesAreClampedOnOk) {
    TGlobalIni g;
    g.RotationAngle = 0;
    g.DayBmp = "Pics/day.jpg";
    g.AlternateTexturePath = "Alt";
    g.Clamp();
    EXPECT_EQ(1, g.RotationAngle) << "an angle of 0 would stop rotation for good";
    EXPECT_EQ("C:\\Prog\\Pics\\day.jpg", g.DayBmp);
    EXPECT_EQ("C:\\Prog\\Alt\\", g.AlternateTexturePath);
    g.RotationAngle = 500;
    g.Clamp();
    EXPECT_EQ(90, g.RotationAngle);
}

TEST_F(Settings, EveryKeyRoundTripsThroughTheFileUnderAGermanLocale) {
    apptest::GermanNumbers german;
    const std::string dir = apptest::tempFolder("settings");
    const std::string path = dir + "stellwerk!.ini";
    std::remove(path.c_str());
    apptest::writeFile(path, "; kept comment\r\n[Dock]\r\nBar1=3\r\n");

    TGlobalIni g;
    g.EnableClrBmp = false;
    g.DayClr = RGB3(1, 2, 3);
    g.NightClr = RGB3(250, 251, 252);
    g.HiliteClr = RGB3(9, 0, 9);
    g.DayBmp = "C:\\Prog\\Pics\\d.jpg";
    g.NightBmp = "E:\\n.jpg";
    g.AlternateTexturePath = "\\\\srv\\tex\\";
    g.RotationAngle = 7;
    g.FilePreview = false;  // the preview dialog's check box is kept in the file
    g.HideUndockedToolbars = false;
    ASSERT_TRUE(g.Save(path));

    MainSettings m;
    m.IconSmall = false;
    m.Filter = true;
    m.Controlbar = false;
    m.Materials = "C:\\Prog\\Lib\\Mat\\";
    m.Textures = "D:\\Tex\\";
    m.RecurseMat = false;
    m.ObjectOpened("C:\\Prog\\Projects\\chair.qiv");
    m.ObjectOpened("D:\\obj\\table.qiv");
    {
        forms::IniFile ini(path);
        m.Write(ini);
        ASSERT_TRUE(ini.UpdateFile());
    }
    const std::string text = apptest::readFile(path);
    EXPECT_NE(std::string::npos, text.find("DayClr=1 2 3\r\n")) << text;
    EXPECT_NE(std::string::npos, text.find("DayBmp=Pics\\d.jpg\r\n")) << text;
    EXPECT_NE(std::string::npos, text.find("Materials=Lib\\Mat\\\r\n")) << text;
    EXPECT_NE(std::string::npos, text.find("qiv=D:\\obj\\\r\n")) << text;
    EXPECT_NE(std::string::npos, text.find("File Preview=0\r\n")) << text;
    EXPECT_NE(std::string::npos, text.find("; kept comment\r\n[Dock]\r\nBar1=3\r\n")) << text;

    TGlobalIni g2;
    g2.Load(path);
    EXPECT_EQ(g, g2);
    MainSettings m2;
    m2.Read(forms::IniFile(path));
    EXPECT_FALSE(m2.IconSmall);
    EXPECT_TRUE(m2.Filter);
    EXPECT_FALSE(m2.Controlbar);
    EXPECT_EQ(m.Materials, m2.Materials);
    EXPECT_EQ(m.Textures, m2.Textures);
    EXPECT_FALSE(m2.RecurseMat);
    EXPECT_TRUE(m2.RecurseTex);
    EXPECT_EQ("D:\\obj\\", m2.QivFolder);
    EXPECT_EQ(m.Recent.Files(), m2.Recent.Files());

    // An object in the program folder: its folder reads back as that folder, not as none.
    {
        MainSettings inProgram;
        inProgram.ObjectOpened("C:\\Prog\\desk.qiv");
        forms::IniFile ini;
        inProgram.Write(ini);
        EXPECT_EQ("C:\\Prog\\", ini.ReadString("Paths", "qiv", ""));
        MainSettings m3;
        m3.Read(ini);
        EXPECT_EQ("C:\\Prog\\", m3.QivFolder);
    }

    // A shorter list leaves no stale entries behind.
    m2.Recent.SetMax(1);
    forms::IniFile ini(path);
    m2.Write(ini);
    EXPECT_FALSE(ini.ValueExists("LRUFileList", "File2"));
    EXPECT_EQ("D:\\obj\\table.qiv", ini.ReadString("LRUFileList", "File1", ""));
}

TEST_F(Settings, ThePreviewBoxIsWrittenAtOnce) {
    const std::string dir = apptest::tempFolder("preview");
    const std::string path = dir + "stellwerk!.ini";
    apptest::writeFile(path, "[General]\r\nRotationAngle=5\r\n");
    TGlobalIni g;
    g.Load(path);
    g.RotationAngle = 30;  // an unsaved change of the preferences stays unsaved
    ASSERT_TRUE(g.StoreFilePreview(false, path));
    EXPECT_FALSE(g.FilePreview);
    TGlobalIni again;
    again.Load(path);
    EXPECT_FALSE(again.FilePreview);
    EXPECT_EQ(5, again.RotationAngle);
    EXPECT_FALSE(g.StoreFilePreview(true, dir + "missing/stellwerk!.ini")) << "a file that cannot be written";
}

}  // namespace

#include "viewsfile.h"

#include <gtest/gtest.h>

#include "apptest.h"
#include "forms/textutil.h"

namespace {

using namespace stellwerk;
using apptest::iniOf;

class ViewsFile : public ::testing::Test {
protected:
    void SetUp() override { SetProgramFolder("C:\\Prog\\"); }
};

TEST_F(ViewsFile, SingleKeysReadAsTheTripleKeys) {
    const auto ini = iniOf(
        "[Triple]\nVrp=1 2 3\nEye=4.5 -5 6e1\nRot=0.25 30 -45\n"
        "[single]\nVrpx=1\nVrpy=2\nVrpz=3\nEyex=4.5\nEyey=-5\nEyez=60\nTanA=0.25\nXRot=30\nZRot=-45\n"
        "[EmptyTriple]\nVrp=\nVrpx=1\nVrpy=2\nVrpz=3\nEye=4.5 -5 60\nRot=0.25 30 -45\n");
    const auto a = ReadViewSection(ini, "Triple");
    ASSERT_TRUE(a.has_value());
    for (const char* s : {"SINGLE", "EmptyTriple"}) {
        auto b = ReadViewSection(ini, s);
        ASSERT_TRUE(b.has_value()) << s;
        b->Name = a->Name;
        EXPECT_EQ(*a, *b) << s;
    }
    EXPECT_FLOAT_EQ(60, a->Eyez);
    EXPECT_FLOAT_EQ(0.25f, a->TanA);
    EXPECT_FLOAT_EQ(30, a->XRot);
    EXPECT_FLOAT_EQ(-45, a->ZRot);
}

TEST_F(ViewsFile, DefaultsClampsAndBrokenValues) {
    const auto ini = iniOf(
        "[Plain]\nVrp=0 0 1\n"
        "[Full]\nName=  Shown  \nSchm=Red\nVrp=1 x\nEye=0 0 0\nRot=\nZoom=2.5\nFlags=194\n"
        "BackImage=Pics/sky.jpg\nBackColor=300\t-5 blue\nTileOffset=7 -3\n"
        "[NoCamera]\nVrp=0 0 0\nEye=0 0 0\nZoom=3\n"
        "[Broken]\nEye=0 1 0\nZoom=abc\nFlags=xyz\nBackColor=\nBackImage=D:\\abs\\b.bmp\n");
    const auto plain = ReadViewSection(ini, "Plain");
    ASSERT_TRUE(plain.has_value());
    EXPECT_EQ("Plain", plain->Name);
    EXPECT_EQ(31, plain->Lights);
    EXPECT_FALSE(plain->Parallel);
    EXPECT_FALSE(plain->Tiled);
    EXPECT_EQ(1.0f, plain->Zoom);
    EXPECT_EQ(RGB3(128, 128, 128), plain->BackColor);
    EXPECT_EQ("", plain->BackImage);

    const auto full = ReadViewSection(ini, "Full");
    ASSERT_TRUE(full.has_value());
    EXPECT_EQ("Shown", full->Name);
    EXPECT_EQ("Red", full->Scheme);
    EXPECT_EQ(1.0f, full->Vrpx);
    EXPECT_EQ(0.0f, full->Vrpy);  // "x" does not parse
    EXPECT_EQ(2.5f, full->Zoom);
    EXPECT_EQ(2, full->Lights);
    EXPECT_TRUE(full->Parallel);
    EXPECT_TRUE(full->Tiled);
    EXPECT_EQ("C:\\Prog\\Pics\\sky.jpg", full->BackImage);
    EXPECT_EQ(RGB3(255, 0, 128), full->BackColor);
    EXPECT_EQ(7, full->TileOffsetX);
    EXPECT_EQ(-3, full->TileOffsetY);

    EXPECT_FALSE(ReadViewSection(ini, "NoCamera").has_value());
    EXPECT_FALSE(ReadViewSection(ini, "Missing").has_value());
    const auto broken = ReadViewSection(ini, "Broken");
    ASSERT_TRUE(broken.has_value());
    EXPECT_EQ(1.0f, broken->Zoom);
    EXPECT_EQ(31, broken->Lights);
    EXPECT_EQ("D:\\abs\\b.bmp", broken->BackImage);
}

TEST_F(ViewsFile, WrittenKeysReadBackTheSameUnderEveryLocale) {
    ViewRecord v;
    v.Name = "Front";
    v.Vrpx = 0.1f, v.Vrpy = -2.5f, v.Vrpz = 1e-7f;
    v.Eyex = 1.0f / 3, v.Eyey = 12345.678f, v.Eyez = -0.0f;
    v.TanA = 0.41421356f, v.XRot = 89.99999f, v.ZRot = 180;
    v.Zoom = 1.5f;
    v.Lights = 5;
    v.BackColor = RGB3(1, 2, 3);
    v.BackImage = "C:\\Prog\\Textures\\sky.jpg";
    v.Tiled = true;
    v.TileOffsetX = 4, v.TileOffsetY = -9;
    for (bool german : {false, true}) {
        auto* g = german ? new apptest::GermanNumbers : nullptr;
        forms::IniFile ini;
        WriteViewSection(ini, v, "Front");
        EXPECT_EQ(
            "[Front]\r\nVrp=0.1 -2.5 1e-07\r\nEye=0.33333334 12345.678 -0\r\nRot=0.41421357 89.99999 180\r\n"
            "Zoom=1.5\r\nFlags=133\r\nBackImage=Textures\\sky.jpg\r\nBackColor=1 2 3\r\nTileOffset=4 -9\r\n",
            ini.Text())
            << "German " << german;
        EXPECT_EQ(v, ReadViewSection(ini, "Front").value_or(ViewRecord{}));
        EXPECT_EQ("front", ReadViewSection(ini, "front").value_or(ViewRecord{}).Name) << "the section as asked";
        delete g;
    }
    // Defaults are left out: no Schm, Zoom, BackImage or TileOffset.
    ViewRecord d;
    d.Name = "d";
    d.Eyey = -10;
    forms::IniFile ini;
    WriteViewSection(ini, d, "d");
    EXPECT_EQ("[d]\r\nVrp=0 0 0\r\nEye=0 -10 0\r\nRot=0 0 0\r\nFlags=31\r\nBackColor=128 128 128\r\n", ini.Text());
}

TEST_F(ViewsFile, BatchSettingsDefaultsAndClamps) {
    struct Case {
        const char* text;
        BatchSettings want;
    } cases[] = {
        {"", {640, 480, 0, false, 0}},
        {"[BatchRender]\nBmpWidth=0\nBmpHeight=-1\nBmpQuality=3\nRayTrace=1\nOutputFile=2\n", {640, 480, 0, true, 2}},
        {"[batchrender]\nBmpWidth=5000\nBmpHeight=5000\nBmpQuality=2\nRayTrace=x\n", {2048, 5000, 2, false, 0}},
        {"[BatchRender]\nBmpWidth=800\nBmpHeight=600\nBmpQuality=-1\n", {800, 600, 0, false, 0}},
    };
    for (const auto& c : cases) EXPECT_EQ(c.want, ReadBatchSettings(iniOf(c.text))) << c.text;
    forms::IniFile ini;
    const BatchSettings s{1024, 768, 1, true, 3};
    WriteBatchSettings(ini, s);
    EXPECT_EQ(s, ReadBatchSettings(ini));
    EXPECT_EQ(5u, ini.ReadSection("BatchRender").size());
}

TEST_F(ViewsFile, NamedBatches) {
    forms::IniFile ini = iniOf("[BatchNames]\n1=Tour\n2=\n3= tour \n4=Night\n[Tour]\n1=a, B ,c\n2=zz\n");
    EXPECT_EQ((std::vector<std::string>{"(none)", "Tour", "Night"}), ListBatchNames(ini, "(none)"));
    const std::vector<std::string> views = {"A", "b", "C", "d"};
    EXPECT_EQ((std::vector<bool>{true, true, true, false}), ReadBatch(ini, "TOUR", views));

    // Twelve names: ten on key 1, two on key 2; the batch goes to the first empty key once.
    std::vector<std::string> twelve;
    for (int i = 1; i <= 12; ++i) twelve.push_back("v" + std::to_string(i));
    WriteBatch(ini, "Walk", twelve);
    EXPECT_EQ("v1,v2,v3,v4,v5,v6,v7,v8,v9,v10", ini.ReadString("Walk", "1", ""));
    EXPECT_EQ("v11,v12", ini.ReadString("Walk", "2", ""));
    EXPECT_EQ("Walk", ini.ReadString("BatchNames", "2", ""));
    WriteBatch(ini, "walk", {"v3"});
    EXPECT_EQ("v3", ini.ReadString("Walk", "1", ""));
    EXPECT_FALSE(ini.ValueExists("Walk", "2"));
    EXPECT_EQ((std::vector<std::string>{"", "Tour", "Walk", "Night"}), ListBatchNames(ini, ""));
    EXPECT_EQ((std::vector<bool>{false, false, true}), ReadBatch(ini, "Walk", {"v1", "v2", "V3"}));

    DeleteBatch(ini, "tour");
    EXPECT_FALSE(ini.SectionExists("Tour"));
    EXPECT_EQ((std::vector<std::string>{"", "Walk", "Night"}), ListBatchNames(ini, ""));
    // An empty new batch is not listed; an empty name does nothing.
    WriteBatch(ini, "Empty", {});
    WriteBatch(ini, "  ", {"v1"});
    EXPECT_EQ((std::vector<std::string>{"", "Walk", "Night"}), ListBatchNames(ini, ""));
}

}  // namespace

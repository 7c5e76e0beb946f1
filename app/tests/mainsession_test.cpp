#include "mainsession.h"

#include <gtest/gtest.h>

#include "apptest.h"
#include "filenames.h"
#include "forms/fileio.h"
#include "forms/inifile.h"

namespace {

using namespace stellwerk;
using apptest::FakeViewer;

class Session : public ::testing::Test {
protected:
    void SetUp() override {
        prog = apptest::tempFolder("session_prog");
        SetProgramFolder(prog);
        std::remove(GetIniPath().c_str());
        dir = apptest::tempFolder("session");
        object = dir + "Chair.qiv";
        for (const char* f : {"Chair.Red.msc", "Chair.Blue.msc"})
            forms::SetReadOnlyFile(dir + f, false);
        for (const char* f : {"Chair.vad", "Chair.Red.msc", "Chair.Blue.msc", "Chair.Saved1.msc", "Chair.Green.msc"})
            std::remove((dir + f).c_str());
        viewer.loaded = false;
        viewer.loadable = {object};
        // Two textured materials over one texture, the first read with alpha 0.
        viewer.objectMaterials = {{RGB3(200, 0, 0), 0, 0.0f, 0.4f, 0.5f, 0.1f, kMatTextured},
                                  {RGB3(0, 200, 0), 0, 0.25f, 0.4f, 0.5f, 0.1f, kMatTextured},
                                  {RGB3(0, 0, 200), 0, 0.0f, 0.4f, 0.5f, 0.1f, 0}};
        viewer.objectTextures = {"wood.jpg"};
        settings.Recent.Opened("C:\\Old\\Table.qiv");
    }

    std::string iniText() { return apptest::readFile(GetIniPath()); }

    std::string prog, dir, object;
    FakeViewer viewer;
    TGlobalIni global;
    MainSettings settings;
};

TEST_F(Session, FailedLoadsLeaveItClosedAndTheSettingsAlone) {
    MainSession s(viewer, global);
    for (const std::string& path : {dir + "Missing.qiv", dir + "Corrupt.pel"}) {
        EXPECT_FALSE(s.Load(path, settings, "Original materials")) << path;
        EXPECT_FALSE(s.IsOpen());
        EXPECT_EQ("", s.Path());
        EXPECT_FALSE(s.FolderWritable());
        EXPECT_TRUE(s.Editor().Working().materials.empty());
        EXPECT_EQ(std::vector<std::string>{"C:\\Old\\Table.qiv"}, settings.Recent.Files());
        EXPECT_EQ("", settings.QivFolder);
        EXPECT_EQ("", iniText()) << "Paths/qiv is not written for a file that did not load";
    }

    // A failed load over an open object leaves nothing open either.
    ASSERT_TRUE(s.Load(object, settings, "Original materials"));
    EXPECT_FALSE(s.Load(dir + "Missing.qiv", settings, "Original materials"));
    EXPECT_FALSE(s.IsOpen());
    EXPECT_FALSE(viewer.loaded) << "the object that was open went";
    EXPECT_EQ(object, settings.Recent.Files().front());
}

TEST_F(Session, LoadReadsMaterialsTopsTheRecentListAndStoresTheFolder) {
    MainSession s(viewer, global);
    viewer.lights = 3;
    ASSERT_TRUE(s.Load(object, settings, "Original materials"));
    EXPECT_TRUE(s.IsOpen());
    EXPECT_EQ(object, s.Path());
    EXPECT_TRUE(s.FolderWritable());
    EXPECT_EQ(31u, s.LightSet);
    EXPECT_EQ(31, viewer.lights);
    EXPECT_EQ(0, viewer.dragDrop);

    const MaterialSet& m = s.Editor().Working();
    ASSERT_EQ(3u, m.materials.size());
    EXPECT_EQ(100, m.materials[0].alpha) << "alpha 0 is opaque";
    EXPECT_EQ(25, m.materials[1].alpha);
    EXPECT_EQ(WithRefractiveIndex(kMatTextured | kMatFromViewer, kViewerDefaultRefraction), m.materials[0].flags);
    EXPECT_EQ(0, m.materials[0].texture);
    EXPECT_EQ(-1, m.materials[1].texture) << "more textured materials than textures";
    EXPECT_EQ(-1, m.materials[2].texture);
    EXPECT_EQ(std::vector<std::string>{"wood.jpg"}, m.textures);
    EXPECT_EQ(s.Editor().Own(), m);
    EXPECT_EQ(0, s.Editor().CurrentIndex());

    EXPECT_EQ((std::vector<std::string>{object, "C:\\Old\\Table.qiv"}), settings.Recent.Files());
    EXPECT_EQ(dir, settings.QivFolder);
    EXPECT_EQ(MakeRelativePath(dir, true), forms::IniFile(GetIniPath()).ReadString("Paths", "qiv", ""));

    s.Close();
    EXPECT_FALSE(s.IsOpen());
    EXPECT_FALSE(viewer.loaded);
    EXPECT_TRUE(s.Editor().Working().materials.empty());
    EXPECT_TRUE(s.Schemes().empty());
}

TEST_F(Session, TheLastViewComesBackWithItsScheme) {
    apptest::writeFile(dir + "Chair.Red.msc", "Counts\n1\n3\nTextures\n*\nMaterials\n255 0 50 40 50 10 1\n"
                                              "65280 0 100 40 50 10 1\n0 0 100 40 50 10 0\nMaterial Names\nA\nB\nC\n");
    apptest::writeFile(dir + "Chair.Blue.msc", "Counts\n");
    apptest::writeFile(dir + "Chair.vad", "[Front]\nVrp=0 0 0\nEye=0 -10 0\nRot=0.5 0 180\nFlags=31\n"
                                          "[<LastView>]\nVrp=1 2 3\nEye=1 -8 3\nRot=0.5 20 90\nFlags=5\nSchm=red\n");
    MainSession s(viewer, global);
    ASSERT_TRUE(s.Load(object, settings, "Original materials"));
    EXPECT_EQ((std::vector<std::string>{"Original materials", "Blue", "Red"}), s.SchemeCaptions());
    EXPECT_EQ(0, s.CurrentScheme()) << "the last view waits for the form's layout";
    ASSERT_TRUE(s.ApplyLastView());
    EXPECT_EQ(2, s.CurrentScheme()) << "the last view's scheme is applied";
    EXPECT_EQ(5u, s.LightSet) << "the lights follow the last view";
    EXPECT_EQ(90, viewer.phi);
    EXPECT_EQ(RGB3(255, 0, 0), viewer.materials.at(0).diffuse);
    EXPECT_EQ(0.5f, viewer.materials.at(0).alpha);
    EXPECT_EQ("A", s.Editor().Working().names.at(0));
    EXPECT_EQ(1u, s.Views().Views().size());

    // Closing writes the view shown then.
    viewer.phi = 45;
    s.Close();
    forms::IniFile vad(dir + "Chair.vad");
    EXPECT_EQ("0.5 20 45", vad.ReadString("<LastView>", "Rot", ""));
}

TEST_F(Session, SchemesSaveOnlyWhenChangedInAWritableFolder) {
    MainSession s(viewer, global);
    ASSERT_TRUE(s.Load(object, settings, "Original materials"));
    EXPECT_TRUE(s.EditingEnabled());
    EXPECT_FALSE(s.SchemeUnsaved());
    ASSERT_TRUE(s.Editor().Change(viewer, [](MatEntry& m) { m.diffuse = RGB3(1, 2, 3); }));
    EXPECT_TRUE(s.SchemeUnsaved());
    EXPECT_FALSE(s.SaveScheme()) << "the object's own materials have no file";

    ASSERT_TRUE(s.SaveSchemeAs("Saved1"));
    EXPECT_FALSE(s.SchemeUnsaved());
    EXPECT_EQ(1, s.CurrentScheme());
    EXPECT_EQ("Saved1", s.Current()->name);
    EXPECT_TRUE(forms::FileExists(dir + "Chair.Saved1.msc"));

    ASSERT_TRUE(s.Editor().Change(viewer, [](MatEntry& m) { m.diffuse = RGB3(4, 5, 6); }));
    ASSERT_TRUE(s.SaveScheme());
    EXPECT_FALSE(s.SchemeUnsaved());
    ASSERT_TRUE(s.ApplyScheme(0));
    EXPECT_EQ(RGB3(200, 0, 0), viewer.materials.at(0).diffuse) << "item 0 restores the object's own";
    ASSERT_TRUE(s.ApplyScheme(1));
    EXPECT_EQ(RGB3(4, 5, 6), viewer.materials.at(0).diffuse) << "the scheme was saved as it stood";
    EXPECT_FALSE(s.ApplyScheme(2));
}

TEST_F(Session, AFolderWithoutNewFilesEditsWithoutAskingToSave) {
    // An object the viewer reads from a folder where no file can be made.
    const std::string object = dir + "gone/Chair.qiv";
    viewer.loadable = {object};
    MainSession s(viewer, global);
    ASSERT_TRUE(s.Load(object, settings, "Original materials"));
    EXPECT_FALSE(s.FolderWritable());
    EXPECT_FALSE(s.EditingEnabled());
    s.Editor().Change(viewer, [](MatEntry& m) { m.diffuse = 7; });
    EXPECT_FALSE(s.SchemeUnsaved());
    EXPECT_FALSE(s.SaveSchemeAs("X"));
}

TEST_F(Session, SchemesRenameDeleteAndLockThroughTheirFiles) {
    const std::string red = "Counts\n1\n3\nTextures\n*\nMaterials\n255 0 100 40 50 10 1\n";
    apptest::writeFile(dir + "Chair.Red.msc", red);
    apptest::writeFile(dir + "Chair.Blue.msc", red);
    apptest::writeFile(dir + "Chair.vad", "[Front]\nVrp=0 0 0\nEye=0 -10 0\nRot=0.5 0 180\nSchm=Red\n"
                                          "[Top]\nVrp=0 0 0\nEye=0 0 10\nRot=0.5 90 180\nSchm=blue\n");
    ASSERT_TRUE(forms::SetReadOnlyFile(dir + "Chair.Blue.msc", true));
    MainSession s(viewer, global);
    ASSERT_TRUE(s.Load(object, settings, "Original materials"));
    ASSERT_EQ(3u, s.Schemes().size());
    EXPECT_TRUE(s.Schemes()[1].locked) << "Blue was locked before: its file is read-only";
    EXPECT_FALSE(s.Schemes()[2].locked);

    // Renaming: the file, the item and the views of that scheme.
    EXPECT_FALSE(s.RenameScheme(0, "Mine")) << "the object's own materials have no file";
    EXPECT_FALSE(s.RenameScheme(1, "Grey")) << "locked";
    EXPECT_FALSE(s.RenameScheme(2, "BLUE")) << "another scheme's name";
    ASSERT_TRUE(s.RenameScheme(2, "Green"));
    EXPECT_EQ("Green", s.Schemes()[2].name);
    EXPECT_EQ(dir + "Chair.Green.msc", s.Schemes()[2].path);
    EXPECT_FALSE(forms::FileExists(dir + "Chair.Red.msc"));
    EXPECT_EQ(red, apptest::readFile(dir + "Chair.Green.msc"));
    EXPECT_EQ("Green", forms::IniFile(dir + "Chair.vad").ReadString("Front", "Schm", ""));

    // Locking and unlocking follow the file's read-only attribute.
    EXPECT_TRUE(s.SetSchemeLocked(2, true));
    EXPECT_TRUE(s.Schemes()[2].locked);
    EXPECT_TRUE(forms::IsReadOnlyFile(dir + "Chair.Green.msc"));
    EXPECT_FALSE(s.SetSchemeLocked(2, true)) << "no change";
    EXPECT_TRUE(s.SetSchemeLocked(1, false));
    EXPECT_FALSE(s.Schemes()[1].locked);
    EXPECT_FALSE(forms::IsReadOnlyFile(dir + "Chair.Blue.msc"));

    // Deleting the current scheme makes item 0 current again; views lose it.
    ASSERT_TRUE(s.ApplyScheme(1));
    viewer.materials.at(0).diffuse = 0;
    ASSERT_TRUE(s.DeleteScheme(1));
    EXPECT_FALSE(forms::FileExists(dir + "Chair.Blue.msc"));
    EXPECT_EQ((std::vector<std::string>{"Original materials", "Green"}), s.SchemeCaptions());
    EXPECT_EQ(0, s.CurrentScheme());
    EXPECT_EQ(RGB3(200, 0, 0), viewer.materials.at(0).diffuse) << "the object's own materials sent";
    EXPECT_FALSE(forms::IniFile(dir + "Chair.vad").ValueExists("Top", "Schm"));
    EXPECT_FALSE(s.DeleteScheme(1)) << "Green is locked";
    ASSERT_TRUE(s.SetSchemeLocked(1, false));
    ASSERT_TRUE(s.ApplyScheme(1));
    ASSERT_TRUE(s.DeleteScheme(1));
    EXPECT_EQ(0, s.CurrentScheme());
}

}  // namespace

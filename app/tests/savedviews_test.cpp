#include "savedviews.h"

#include <gtest/gtest.h>

#include "apptest.h"
#include "forms/fileio.h"
#include "forms/inifile.h"

namespace {

using namespace stellwerk;
using apptest::FakeViewer;

class Views : public ::testing::Test {
protected:
    void SetUp() override {
        SetProgramFolder("C:\\Prog\\");
        dir = apptest::tempFolder("views");
        object = dir + "Chair.qiv";
        vad = dir + "Chair.vad";
        std::remove(vad.c_str());
    }
    void TearDown() override { forms::SetReadOnlyFile(vad, false); }

    // Views added through the viewer at eye points 1, 2, 3 ...
    void addViews(SavedViews& views, int n) {
        for (int i = 0; i < n; ++i) {
            viewer.viewing.eye = {0, float(-(i + 1)), 0};
            const std::string name = views.ProposeName("View ");
            ASSERT_TRUE(views.AddView(viewer, "", name)) << name;
        }
    }

    std::string dir, object, vad;
    FakeViewer viewer;
};

TEST_F(Views, AddWithDefaultNamesSaveAndReload) {
    SavedViews views;
    views.Load(object);
    EXPECT_FALSE(views.IsReadOnly()) << "a writable folder clears the mark";
    EXPECT_EQ(-1, views.ReadOnlyImage());
    addViews(views, 3);
    EXPECT_EQ((std::vector<std::string>{"View 1", "View 2", "View 3"}), views.Names());

    viewer.phi = 33;
    viewer.psi = 12;
    viewer.zoom = 2;
    viewer.lights = 0x25;  // bit 5 is no light
    viewer.backColor = RGB3(9, 8, 7);
    viewer.backMode = 2;
    viewer.backUrl = "file:///C:/Prog/Pics/sky.jpg";
    viewer.offX = 3, viewer.offY = 4;
    viewer.viewing.parallel = true;
    ASSERT_TRUE(views.UpdateView(viewer, "Red", "view 2"));

    SavedViews again;
    again.Load(object);
    ASSERT_EQ(views.Views(), again.Views());
    const ViewRecord v = *again.GetView(1);
    EXPECT_EQ("View 2", v.Name);
    EXPECT_EQ("Red", v.Scheme);
    EXPECT_EQ(33, v.ZRot);
    EXPECT_EQ(5, v.Lights);
    EXPECT_TRUE(v.Parallel && v.Tiled);
    EXPECT_EQ("C:\\Prog\\Pics\\sky.jpg", v.BackImage);
    EXPECT_EQ("BackImage=Pics\\sky.jpg", forms::IniFile(vad).ReadString("View 2", "BackImage", "").insert(0, "BackImage="));
}

TEST_F(Views, ApplySetsTheViewerAndClicksTheScheme) {
    SavedViews views;
    views.Load(object);
    addViews(views, 2);
    viewer.backMode = 1;
    viewer.backUrl = "C:\\b.bmp";
    ASSERT_TRUE(views.UpdateView(viewer, "blue", "View 1"));
    FakeViewer target;
    target.updateDepth = 0;
    std::vector<int> clicked;
    const std::vector<std::string> schemes = {"Own", "Red", "Blue"};
    ASSERT_TRUE(views.ApplyNamedView(target, "VIEW 1", schemes, [&](int i) { clicked.push_back(i); }));
    EXPECT_EQ((std::vector<int>{2}), clicked);
    EXPECT_EQ(-2, target.viewing.eye.y);
    EXPECT_EQ("C:\\b.bmp", target.backUrl);
    EXPECT_EQ(1, target.backMode);
    EXPECT_EQ(0, target.updateDepth);
    EXPECT_EQ("EnableUpdate(0)", target.log.front());
    EXPECT_EQ("Refresh", target.log.back());
    ASSERT_TRUE(views.ApplyNamedView(target, "View 2", schemes, [&](int i) { clicked.push_back(i); }));
    EXPECT_EQ(0, clicked.back()) << "a view without a known scheme takes item 0";
    EXPECT_EQ(0, target.backMode);
    EXPECT_FALSE(views.ApplyNamedView(target, "nope", schemes, nullptr));
    EXPECT_FALSE(views.ApplyNamedView(target, "", schemes, nullptr)) << "no last view yet";

    viewer.viewing.eye = {0, -7, 0};
    ASSERT_TRUE(views.WriteLastView(viewer));
    SavedViews again;
    again.Load(object);
    ASSERT_TRUE(again.LastView().has_value());
    EXPECT_EQ(2u, again.Views().size()) << "the last view is no view of the list";
    ASSERT_TRUE(again.ApplyNamedView(target, "", schemes, nullptr));
    EXPECT_EQ(-7, target.viewing.eye.y);
}

TEST_F(Views, RenameDeleteMoveKeepTheFileTidy) {
    SavedViews views;
    views.Load(object);
    addViews(views, 3);
    ASSERT_TRUE(views.RenameView(0, "Front"));
    EXPECT_FALSE(views.RenameView(1, "FRONT")) << "duplicates ignore letter case";
    EXPECT_FALSE(views.RenameView(1, "BatchNames"));
    EXPECT_FALSE(views.RenameView(1, std::string(51, 'x')));
    EXPECT_TRUE(views.RenameView(0, "front")) << "its own name in other letters";
    ASSERT_TRUE(views.MoveView(2, 0));
    EXPECT_EQ((std::vector<std::string>{"View 3", "front", "View 2"}), views.Names());
    ASSERT_TRUE(views.DeleteView(2));
    EXPECT_FALSE(views.DeleteView(2));
    forms::IniFile file(vad);
    EXPECT_EQ((std::vector<std::string>{"View 3", "front"}), file.ReadSections())
        << "renamed and deleted views leave no section\n"
        << file.Text();

    SavedViews again;
    again.Load(object);
    EXPECT_EQ(views.Names(), again.Names());
}

TEST_F(Views, DeletingEveryViewKeepsBatchesAndOtherSections) {
    apptest::writeFile(vad,
                       "[General]\nx=1\n[A]\nVrp=1 0 0\n[Notes]\ntext=kept\n[BatchRender]\nBmpWidth=800\n"
                       "[BatchNames]\n1=Tour\n[Tour]\n1=A\n");
    SavedViews views;
    views.Load(object);
    ASSERT_EQ(1u, views.Views().size());
    EXPECT_EQ(800, views.Batch().BmpWidth);
    ASSERT_TRUE(views.DeleteView(0));
    forms::IniFile file(vad);
    EXPECT_EQ((std::vector<std::string>{"Notes", "BatchRender", "BatchNames", "Tour"}), file.ReadSections());

    // With nothing else left the file goes.
    apptest::writeFile(vad, "[A]\nVrp=1 0 0\n");
    views.Load(object);
    ASSERT_TRUE(views.DeleteView(0));
    EXPECT_FALSE(forms::FileExists(vad));
}

TEST_F(Views, SectionsNamingOneViewTwiceStayApart) {
    apptest::writeFile(vad, "[A]\nName=Same\nVrp=1 0 0\n[B]\nName=same\nVrp=2 0 0\n[C]\nName=Same\nVrp=3 0 0\n");
    SavedViews views;
    views.Load(object);
    EXPECT_EQ((std::vector<std::string>{"Same", "B", "C"}), views.Names()) << "repeats take their section's name";
    ASSERT_TRUE(views.Save());
    EXPECT_EQ((std::vector<std::string>{"Same", "B", "C"}), forms::IniFile(vad).ReadSections());
}

TEST_F(Views, ReadOnlyFileKeepsTheMarkAndIsNeverWritten) {
    apptest::writeFile(vad, "[A]\nVrp=1 0 0\n");
    forms::SetReadOnlyFile(vad, true);
    SavedViews views;
    views.Load(object);
    EXPECT_TRUE(views.IsReadOnly());
    EXPECT_TRUE(forms::IsReadOnlyFile(vad)) << "loading leaves the attribute alone";
    EXPECT_EQ(31, views.ReadOnlyImage());
    EXPECT_FALSE(views.AddView(viewer, "", "New"));
    EXPECT_FALSE(views.RenameView(0, "B"));
    EXPECT_FALSE(views.DeleteView(0));
    EXPECT_FALSE(views.WriteLastView(viewer));
    EXPECT_FALSE(views.WriteBatch("T", {true}));
    EXPECT_FALSE(views.Save());
    EXPECT_EQ("[A]\nVrp=1 0 0\n", apptest::readFile(vad));
    // Asked to edit, the attribute is cleared.
    EXPECT_TRUE(views.EnableEditing());
    EXPECT_FALSE(forms::IsReadOnlyFile(vad));
    EXPECT_TRUE(views.RenameView(0, "B"));
    views.Close();
    EXPECT_TRUE(views.IsReadOnly());
    EXPECT_FALSE(views.Save());
}

TEST_F(Views, NothingHappensWithoutAnObject) {
    SavedViews views;
    views.Load(object);
    viewer.loaded = false;
    ViewRecord r;
    r.Name = "x";
    EXPECT_FALSE(CaptureView(viewer, "Red", r));
    EXPECT_EQ(ViewRecord{}.Name.size(), r.Name.size());
    EXPECT_FALSE(views.AddView(viewer, "", "View 1"));
    EXPECT_TRUE(views.Names().empty());
    EXPECT_FALSE(forms::FileExists(vad));
}

TEST_F(Views, BatchesThroughTheManagerAndSchemeRenames) {
    SavedViews views;
    views.Load(object);
    addViews(views, 3);
    ASSERT_TRUE(views.WriteBatch("Tour", {true, false, true}));
    EXPECT_EQ((std::vector<bool>{true, false, true}), views.ReadBatch("tour"));
    EXPECT_EQ(int(NameProblem::Reserved), int(views.CheckNewName("TOUR")));
    ASSERT_TRUE(views.SetBatch({800, 600, 2, true, 1}));
    ASSERT_TRUE(views.UpdateView(viewer, "Red", "View 1"));
    ASSERT_TRUE(views.UpdateView(viewer, "red", "View 2"));
    views.RenameSchemeInViews("RED", "Crimson");
    SavedViews again;
    again.Load(object);
    EXPECT_EQ("Crimson", again.GetView(0)->Scheme);
    EXPECT_EQ("Crimson", again.GetView(1)->Scheme);
    EXPECT_EQ((BatchSettings{800, 600, 2, true, 1}), again.Batch());
    EXPECT_EQ((std::vector<std::string>{"Tour"}), again.BatchNames(""));
    ASSERT_TRUE(again.DeleteBatch("TOUR"));
    EXPECT_TRUE(again.BatchNames("").empty());
}

TEST_F(Views, EditListOfTheDialog) {
    std::vector<ViewRecord> list(3);
    list[0].Name = "A", list[1].Name = "B", list[2].Name = "C";
    ViewEditList edit(list);
    EXPECT_EQ(int(NameProblem::Taken), int(edit.Rename(0, "b", {})));
    EXPECT_EQ(int(NameProblem::Reserved), int(edit.Rename(0, "General", {})));
    EXPECT_FALSE(edit.Modified());
    EXPECT_EQ(int(NameProblem::None), int(edit.Rename(0, " a ", {})));
    EXPECT_EQ("a", edit.Views()[0].Name);
    EXPECT_TRUE(edit.Modified());
    EXPECT_EQ(0, edit.MoveUp(0));
    EXPECT_EQ(2, edit.MoveDown(1));
    EXPECT_EQ(2, edit.MoveDown(2));
    EXPECT_EQ(2, edit.MoveTo(0, 99));  // dropped below the last
    EXPECT_EQ("C", edit.Views()[0].Name);
    EXPECT_EQ("B", edit.Views()[1].Name);
    EXPECT_EQ("a", edit.Views()[2].Name);
    EXPECT_EQ(1, edit.ChooseScheme(0, " RED ", {"Own", "Red"}));
    EXPECT_EQ("Red", edit.Views()[0].Scheme);
    EXPECT_EQ(0, edit.ChooseScheme(0, "gone", {"Own", "Red"}));
    EXPECT_EQ(1, edit.Delete(2));
    EXPECT_EQ(0, edit.Delete(0));
    EXPECT_EQ(-1, edit.Delete(0));

    // The dialog's result replaces the views; old sections go.
    SavedViews views;
    views.Load(object);
    addViews(views, 2);
    ViewEditList dialog(views.Views());
    dialog.Rename(0, "Renamed", {});
    dialog.Delete(1);
    std::vector<ViewRecord> twice = dialog.Views();
    twice.push_back(twice.front());
    twice.back().Name = "RENAMED";
    EXPECT_FALSE(views.ReplaceViews(twice));
    ASSERT_TRUE(views.ReplaceViews(dialog.Views()));
    EXPECT_EQ((std::vector<std::string>{"Renamed"}), forms::IniFile(vad).ReadSections());
}

}  // namespace

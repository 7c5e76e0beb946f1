#include <gtest/gtest.h>

#include <set>

#include "apptest.h"
#include "colours.h"
#include "history.h"
#include "materialeditor.h"
#include "matlibrary.h"

namespace {

using namespace stellwerk;
using apptest::FakeViewer;

MatEntry entry(Color diffuse, float kd) {
    MatEntry m;
    m.diffuse = diffuse;
    m.kDiffuse = kd;
    return m;
}

TEST(History, RecordsAreReadByLength) {
    MatEntry m;
    m.index = 99;
    m.diffuse = 0x2A542A;  // bytes "*T*"
    m.specular = 0;        // zero bytes inside
    m.alpha = 40;
    m.flags = kMatTextured | (7u << kRefractionShift);
    m.kDiffuse = 0.25f, m.kAmbient = 0.5f, m.kSpecular = 1.0f;
    m.texture = 1;
    const std::string plain = MakeHistoryRecord(m, 2);
    EXPECT_EQ(3u + 36u, plain.size());
    EXPECT_EQ(2, int(static_cast<unsigned char>(plain[3])));
    const std::string withTex = MakeHistoryRecord(m, 2, 1, std::string("a\0*b.bmp", 8));

    HistoryRestore r = ParseHistoryRecord(plain, 3, 2);
    ASSERT_TRUE(r.hasMaterial);
    EXPECT_EQ(2, r.materialIndex);
    MatEntry want = m;
    want.index = 2;
    EXPECT_EQ(want, r.entry);
    EXPECT_FALSE(r.hasTexture) << "the \"*T*\" inside the bytes is no texture part";

    r = ParseHistoryRecord(withTex, 3, 2);
    ASSERT_TRUE(r.hasTexture);
    EXPECT_EQ(1, r.textureIndex);
    EXPECT_EQ(std::string("a\0*b.bmp", 8), r.texture);

    struct Case {
        std::string record;
        int materials, textures;
        bool material, texture;
        int textureIndex;
    } cases[] = {
        {plain, 2, 2, false, false, -1},  // material 2 of an object with two
        {MakeHistoryRecord(m, 0, 9, "x"), 1, 3, true, true, 2},
        {MakeHistoryRecord(m, 0, -4, "x"), 1, 3, true, true, 0},
        {MakeHistoryRecord(m, 0, 1, "x"), 1, 0, true, false, -1},
        {plain.substr(0, 20), 3, 2, false, false, -1},
        {plain + "*T*x*name", 3, 2, true, false, -1},
        {plain + "*T**name", 3, 2, true, false, -1},
        {"*X*" + plain.substr(3), 3, 2, false, false, -1},
        {plain + "*T*99999999999999999999*n", 3, 2, true, true, 1},
    };
    for (const auto& c : cases) {
        const HistoryRestore h = ParseHistoryRecord(c.record, c.materials, c.textures);
        EXPECT_EQ(c.material, h.hasMaterial) << c.record.size();
        EXPECT_EQ(c.texture, h.hasTexture) << c.record.size();
        EXPECT_EQ(c.textureIndex, h.textureIndex) << c.record.size();
    }
}

class Editor : public ::testing::Test {
protected:
    void SetUp() override {
        MaterialSet own;
        own.materials = {entry(0x0000FF, 0.4f), entry(0x00FF00, 0.5f), entry(0xFF0000, 0.6f)};
        own.materials[1].flags = kMatTextured;
        own.materials[1].texture = 0;
        own.textures = {"C:\\t\\wood.bmp"};
        editor.Load(own);
        editor.SetFolderWritable(true);
    }
    void move(float kd) {
        ASSERT_TRUE(editor.Change(viewer, [&](MatEntry& m) { m.kDiffuse = kd; }));
    }
    FakeViewer viewer;
    MaterialEditor editor;
};

TEST_F(Editor, UndoRedoAndANewChange) {
    ASSERT_TRUE(editor.Select(0));
    EXPECT_FALSE(editor.Select(0));
    move(0.1f);
    move(0.2f);
    move(0.3f);
    EXPECT_TRUE(editor.Modified());
    EXPECT_FLOAT_EQ(0.3f, viewer.materials[0].kd);
    ASSERT_TRUE(editor.Undo(viewer));
    EXPECT_FLOAT_EQ(0.2f, editor.Current()->kDiffuse) << "the state before the third move";
    EXPECT_FLOAT_EQ(0.2f, viewer.materials[0].kd);
    ASSERT_TRUE(editor.Undo(viewer));
    ASSERT_TRUE(editor.Redo(viewer));
    EXPECT_FLOAT_EQ(0.2f, editor.Current()->kDiffuse);
    EXPECT_TRUE(editor.History().CanRedo());
    move(0.9f);
    EXPECT_FALSE(editor.History().CanRedo()) << "a new move empties the redo list";

    // Undo across materials: the restored material becomes current.
    ASSERT_TRUE(editor.Select(2));
    move(0.7f);
    ASSERT_TRUE(editor.Undo(viewer));
    EXPECT_EQ(2, editor.CurrentIndex());
    ASSERT_TRUE(editor.Undo(viewer));
    EXPECT_EQ(0, editor.CurrentIndex());
    EXPECT_FLOAT_EQ(0.2f, editor.Current()->kDiffuse);
}

TEST_F(Editor, TexturesResetAndPaste) {
    ASSERT_TRUE(editor.Select(1));
    EXPECT_EQ("C:\\t\\wood.bmp", editor.CurrentTexture());
    EXPECT_FALSE(editor.SetTexture(viewer, "c:\\T\\WOOD.BMP")) << "the same name in other letters";
    ASSERT_TRUE(editor.SetTexture(viewer, "C:\\t\\stone.bmp"));
    EXPECT_EQ("C:\\t\\stone.bmp", viewer.textures[0]);
    move(0.05f);
    ASSERT_TRUE(editor.Undo(viewer));
    ASSERT_TRUE(editor.Undo(viewer));
    EXPECT_EQ("C:\\t\\wood.bmp", editor.CurrentTexture());
    EXPECT_EQ("C:\\t\\wood.bmp", viewer.textures[0]);
    ASSERT_TRUE(editor.Redo(viewer));
    EXPECT_EQ("C:\\t\\stone.bmp", editor.CurrentTexture());

    ASSERT_TRUE(editor.Reset(viewer));
    EXPECT_EQ("C:\\t\\wood.bmp", editor.CurrentTexture());
    EXPECT_FLOAT_EQ(0.5f, editor.Current()->kDiffuse);
    EXPECT_FALSE(editor.History().CanUndo());
    EXPECT_FALSE(editor.Reset(viewer)) << "nothing since the selection";

    // Copy material 2 (self-lit, refraction 3) onto the textured material 1.
    ASSERT_TRUE(editor.Select(2));
    editor.Change(viewer, [](MatEntry& m) { m.flags = kMatSelfLit | kMatTexMask | (2u << kRefractionShift); });
    editor.Copy();
    ASSERT_TRUE(editor.Select(1));
    ASSERT_TRUE(editor.Paste(viewer));
    const MatEntry& p = *editor.Current();
    EXPECT_EQ(0xFF0000u, p.diffuse);
    EXPECT_EQ(0, p.texture) << "the target keeps its texture";
    EXPECT_EQ(kMatTextured | kMatSelfLit | kMatTexMask | (2u << kRefractionShift), p.flags);
    EXPECT_EQ("C:\\t\\wood.bmp", editor.CurrentTexture());
    // Without a texture the texture bits stay the target's.
    const MatEntry plain = PastedMaterial(MatEntry{}, *editor.Current());
    EXPECT_EQ(kMatSelfLit | (2u << kRefractionShift), plain.flags);
}

TEST_F(Editor, CopiesCarryTheTextureNameAndLibraryPastesKeepTheBuffer) {
    ASSERT_TRUE(editor.Select(1));
    ASSERT_TRUE(editor.SetTexture(viewer, "C:\\t\\stone.bmp"));
    editor.Copy();
    ASSERT_TRUE(editor.SetTexture(viewer, "C:\\t\\wood.bmp"));
    ASSERT_TRUE(editor.Paste(viewer));
    EXPECT_EQ("C:\\t\\stone.bmp", editor.CurrentTexture()) << "the copied texture name";
    EXPECT_EQ("C:\\t\\stone.bmp", viewer.textures[0]);

    // A library material: values, refraction and texture name, the copy buffer untouched.
    MatEntry lib;
    lib.diffuse = RGB3(10, 20, 30);
    lib.alpha = 40;
    lib.flags = kMatBothFaces | (4u << kRefractionShift);
    ASSERT_TRUE(editor.PasteLibrary(viewer, lib, "C:\\lib\\brick.jpg"));
    EXPECT_EQ(RGB3(10, 20, 30), editor.Current()->diffuse);
    EXPECT_EQ(40, editor.Current()->alpha);
    EXPECT_EQ(5, RefractiveIndexOf(editor.Current()->flags));
    EXPECT_EQ("C:\\lib\\brick.jpg", editor.CurrentTexture());
    ASSERT_TRUE(editor.Undo(viewer));
    EXPECT_EQ("C:\\t\\stone.bmp", editor.CurrentTexture()) << "undone with its texture";
    ASSERT_TRUE(editor.Paste(viewer));
    EXPECT_EQ(0x00FF00u, editor.Current()->diffuse) << "the buffer still holds the copy";
    // Without a name of its own the library material keeps the target's texture.
    ASSERT_TRUE(editor.PasteLibrary(viewer, lib, ""));
    EXPECT_EQ("C:\\t\\stone.bmp", editor.CurrentTexture());

    // A preset records the state once before its scroll bars move.
    const size_t before = editor.History().UndoList().size();
    ASSERT_TRUE(editor.RecordCurrent());
    EXPECT_EQ(before + 1, editor.History().UndoList().size());
}

TEST_F(Editor, HighlightAndItsEnd) {
    editor.Highlight(viewer, 1, RGB3(0, 128, 0));
    EXPECT_TRUE(editor.Highlighting());
    EXPECT_EQ("", viewer.textures[0]);
    EXPECT_EQ(RGB3(0, 128, 0), viewer.materials[1].diffuse);
    EXPECT_EQ(0xFFFFFFu, viewer.materials[1].specular);
    EXPECT_EQ(kMatTextured | kMatSelfLit | kMatTexMix, viewer.materials[1].flags);
    editor.EndHighlight(viewer);
    EXPECT_EQ("C:\\t\\wood.bmp", viewer.textures[0]);
    EXPECT_EQ(0x00FF00u, viewer.materials[1].diffuse);
    EXPECT_EQ(0.0f, viewer.materials[1].alpha) << "100 % goes to the viewer as 0";
    EXPECT_EQ(0, viewer.updateDepth);
}

TEST(FlagsAndPresets, MaterialsReadFromTheViewer) {
    std::vector<MatEntry> list = {MatEntryFromViewer(0xFF0000FF, 0, 0, 0.4f, 0.5f, 0.1f, kMatTextured),
                                  MatEntryFromViewer(0, 0, 0.25f, 0, 0, 0, 0),
                                  MatEntryFromViewer(0, 0, 1, 0, 0, 0, kMatTextured | kMatSelfLit),
                                  MatEntryFromViewer(0, 0, 1, 0, 0, 0, kMatTextured)};
    EXPECT_EQ(255u, list[0].diffuse);
    EXPECT_EQ(100, list[0].alpha) << "alpha 0 is opaque";
    EXPECT_EQ(25, list[1].alpha);
    EXPECT_EQ(WithRefractiveIndex(kMatTextured | kMatFromViewer, kViewerDefaultRefraction), list[0].flags)
        << "unmarked flags: the viewer's default refraction";
    EXPECT_EQ(0xAFFE0C41u, MatEntryFromViewer(0, 0, 0, 0, 0, 0, 0xAFFE0C01u).flags) << "marked flags as they are";
    AssignTextureIndices(list, 2);
    EXPECT_EQ(0, list[0].texture);
    EXPECT_EQ(-1, list[1].texture);
    EXPECT_EQ(1, list[2].texture);
    EXPECT_EQ(-1, list[3].texture) << "more textured materials than textures";
}

TEST(FlagsAndPresets, Bits) {
    EXPECT_EQ(1, RefractiveIndexOf(0));
    EXPECT_EQ(64, RefractiveIndexOf(0xFFFFFFFFu));
    EXPECT_EQ(uint32_t(kMatTextured | (9u << 10)), WithRefractiveIndex(kMatTextured, 10));
    EXPECT_EQ(uint32_t(63u << 10), WithRefractiveIndex(0, 99));
    EXPECT_EQ(0u, WithRefractiveIndex(0, -3));
    EXPECT_EQ(kMatBothFaces | kMatTexMix, WithFlag(kMatTexMix, kMatBothFaces, true));
    EXPECT_EQ(0u, WithFlag(kMatTexMix, kMatTexMix, false));
    struct Case {
        MatPreset p;
        float kd, ka, ks;
        int alpha;
    } cases[] = {{kPresetMatte, 0.6f, 0.3f, 0, 100}, {kPresetGlossy, 0.5f, 0.2f, 0.7f, 100}, {kPresetGlass, 0.4f, 0.4f, 0.7f, 30}};
    for (const auto& c : cases) {
        const MatEntry m = WithPreset(MatEntry{}, c.p);
        EXPECT_FLOAT_EQ(c.kd, m.kDiffuse);
        EXPECT_FLOAT_EQ(c.ka, m.kAmbient);
        EXPECT_FLOAT_EQ(c.ks, m.kSpecular);
        EXPECT_EQ(c.alpha, m.alpha);
    }
    // What the viewer is sent: marked, so it keeps the refraction bits; its
    // specular bit set as it sets it for unmarked flags.
    struct Sent {
        uint32_t flags;
        Color specular;
        float ks;
        uint32_t want;
    } sent[] = {
        {kMatTextured | kMatFromViewer | (4u << 10), 0, 0, kViewerFlagsMark | kMatTextured | (4u << 10)},
        {kMatSelfLit | (2u << 10) | kViewerFlagsMark, RGB3(255, 255, 255), 0.5f,
         kViewerFlagsMark | kMatSelfLit | kMatFromViewer | (2u << 10)},
        {0x3C0u | kMatTextured, RGB3(0, 0, 200), 0.4f, kViewerFlagsMark | kMatTextured | kMatFromViewer},
        {kMatTextured | 0x12340000u, RGB3(0, 191, 0), 0.4f, kViewerFlagsMark | kMatTextured},
    };
    for (const auto& c : sent) {
        MatEntry m;
        m.flags = c.flags, m.specular = c.specular, m.kSpecular = c.ks;
        EXPECT_EQ(c.want, ViewerFlags(m)) << std::hex << c.flags;
    }
    EXPECT_EQ(0.0f, ViewerAlpha(100));
    EXPECT_FLOAT_EQ(0.3f, ViewerAlpha(30));
    EXPECT_EQ(100, AlphaPercentFromViewer(0));
    EXPECT_EQ(30, AlphaPercentFromViewer(0.3f));
    const auto bytes = PackMatEntry(entry(0x123456, 0.5f));
    EXPECT_EQ(0x56, bytes[4]);
    EXPECT_EQ(entry(0x123456, 0.5f), UnpackMatEntry(std::string_view(bytes.data(), bytes.size())));
}

class Library : public ::testing::Test {
protected:
    void SetUp() override { SetProgramFolder("C:\\Prog\\"); }
};

TEST_F(Library, WrittenAsTheReaderReadsIt) {
    LibraryMaterial m;
    m.entry.diffuse = RGB3(255, 128, 0);
    m.entry.specular = RGB3(1, 2, 3);
    m.entry.kDiffuse = 0.05f, m.entry.kAmbient = 0.6f, m.entry.kSpecular = 1.0f;
    m.entry.alpha = 30;
    m.entry.flags = kMatSelfLit | (4u << kRefractionShift);
    m.texture = "C:\\Prog\\Textures\\oak.jpg";
    for (bool german : {false, true}) {
        auto* g = german ? new apptest::GermanNumbers : nullptr;
        forms::IniFile ini;
        WriteLibraryMaterial(ini, "Oak", m);
        EXPECT_EQ(
            "[Material]\r\nName=Oak\r\n\r\n[Oak]\r\nkdiffus=0.05\r\nkambient=0.60\r\nkspiegel=1.00\r\nalpha=0.30\r\n"
            "RGBDiffus=1,0.501960784313725,0\r\nRGBSpiegel=0.00392156862745098,0.00784313725490196,0.0117647058823529\r\n"
            "Bits=4100\r\nTesttextur=Textures\\oak.jpg\r\n",
            ini.Text())
            << "German " << german;
        const auto back = ReadLibraryMaterial(ini);
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(m.entry.diffuse, back->entry.diffuse);
        EXPECT_EQ(m.entry.specular, back->entry.specular);
        EXPECT_EQ(30, back->entry.alpha) << "alpha reads back as written";
        EXPECT_FLOAT_EQ(0.05f, back->entry.kDiffuse);
        EXPECT_FLOAT_EQ(1.0f, back->entry.kSpecular);
        EXPECT_EQ(m.entry.flags, back->entry.flags);
        EXPECT_EQ(-1, back->entry.texture);
        EXPECT_EQ(m.texture, back->texture) << "made absolute on reading";
        delete g;
    }
    m.entry.alpha = 100;
    forms::IniFile ini;
    WriteLibraryMaterial(ini, "Opaque", m);
    EXPECT_EQ("0.00", ini.ReadString("Opaque", "alpha", ""));
    EXPECT_EQ(100, ReadLibraryMaterial(ini)->entry.alpha);
    EXPECT_EQ("0.60", PositionText(60));
    EXPECT_EQ("1.00", PositionText(100));
    EXPECT_EQ("0.05", PositionText(5));
}

TEST_F(Library, DefaultsAndClampsOfHandWrittenFiles) {
    forms::IniFile ini;
    ini.SetText("[material]\nname=Glass\n[GLASS]\nRGBDiffus=2,-1\nRGBSpiegel=x,0.5,0.5\nbits=12\nalpha=0\n");
    const auto m = ReadLibraryMaterial(ini);
    ASSERT_TRUE(m.has_value());
    EXPECT_EQ(RGB3(255, 0, 255), m->entry.diffuse);
    EXPECT_EQ(RGB3(255, 128, 128), m->entry.specular);
    EXPECT_FLOAT_EQ(0.4f, m->entry.kDiffuse);
    EXPECT_FLOAT_EQ(0.5f, m->entry.kAmbient);
    EXPECT_FLOAT_EQ(0.1f, m->entry.kSpecular);
    EXPECT_EQ(100, m->entry.alpha) << "alpha 0 is opaque";
    EXPECT_EQ(12u, m->entry.flags);
    EXPECT_EQ("", m->texture);
    ini.SetText("[Material]\nName=\n");
    EXPECT_FALSE(ReadLibraryMaterial(ini).has_value());
    ini.SetText("[Other]\nName=x\n");
    EXPECT_FALSE(ReadLibraryMaterial(ini).has_value());

    const std::string dir = apptest::tempFolder("matlib");
    LibraryMaterial s;
    ASSERT_TRUE(SaveLibraryMaterial(dir + "Brass.ini", s));
    forms::IniFile file(dir + "Brass.ini");
    EXPECT_EQ("Brass", file.ReadString("Material", "Name", ""));
    EXPECT_EQ((std::vector<std::string>{"Material", "Brass"}), file.ReadSections());
}

TEST(Colours, PaletteGridAndFiles) {
    EXPECT_EQ(1, PaletteEntryOfCell(0, 0));
    EXPECT_EQ(15, PaletteEntryOfCell(14, 0));
    EXPECT_EQ(16, PaletteEntryOfCell(0, 1));
    EXPECT_EQ(255, PaletteEntryOfCell(14, 16));
    EXPECT_EQ(0, PaletteEntryOfCell(15, 16));
    EXPECT_EQ(kPaletteColumns * kPaletteRows, 255);

    const std::string dir = apptest::tempFolder("palettes");
    SetProgramFolder(dir);
    forms::ForceDirectories(GetPalettesFolder());
    std::string big;
    for (int i = 0; i < 300; ++i) big += std::to_string(i % 256) + " 1 2\r\n";
    apptest::writeFile(GetPalettesFolder() + "Zorovo.rgb", big);
    apptest::writeFile(GetPalettesFolder() + "SHORT.rgb", "1 2 3\n\n300 x -1\n4 5 6\n5\n6\n7\n8\n9\n10 10 10\n");
    apptest::writeFile(GetPalettesFolder() + "notes.txt", "");
    std::array<Color, 256> colours;
    colours.fill(RGB3(7, 7, 7));
    ReadPalette("Zorovo", colours);
    EXPECT_EQ(RGB3(255, 1, 2), colours[255]);
    auto small = colours;
    small.fill(RGB3(7, 7, 7));
    ReadPalette("SHORT.txt", small);  // the extension becomes ".rgb"
    EXPECT_EQ(RGB3(1, 2, 3), small[0]);
    EXPECT_EQ(RGB3(0, 0, 0), small[1]);
    EXPECT_EQ(RGB3(255, 0, 0), small[2]);
    EXPECT_EQ(RGB3(10, 10, 10), small[9]);
    EXPECT_EQ(RGB3(7, 7, 7), small[10]) << "entries not read keep their colours";
    auto untouched = small;
    ReadPalette("missing", untouched);
    EXPECT_EQ(small, untouched);

    const PaletteMenu menu = ListPalettes(GetPalettesFolder(), "SHORT");
    EXPECT_EQ((std::vector<std::string>{"Short", "Zorovo"}), menu.captions);
    EXPECT_EQ(0, menu.checked);
}

TEST(Colours, ChoosersArithmetic) {
    EXPECT_EQ(255, SpinValue("300"));
    EXPECT_EQ(0, SpinValue(""));
    EXPECT_EQ(0, SpinValue("-4"));
    EXPECT_EQ(RGB3(255, 0, 17), SpinColour("300", "", " 17 "));

    const Color c = RGB3(100, 50, 200);
    EXPECT_EQ(RGB3(255, 255, 255), GradientAt(c, 0, 101));
    EXPECT_EQ(c, GradientAt(c, 50, 101));
    EXPECT_EQ(RGB3(0, 0, 0), GradientAt(c, 100, 101));

    const GradientSlider s = LayoutGradientSlider(8, 8, 20, 100);
    EXPECT_EQ(5, s.left);
    EXPECT_EQ(26, s.width);
    EXPECT_EQ(5, s.height);
    EXPECT_EQ(6, s.travelTop);
    EXPECT_EQ(105, s.travelBottom);
    auto pixel = [&](int x, int y) { return GradientAt(c, y - 8, 100); };
    const SliderPick above = PickOnGradient(s, -50, pixel);
    EXPECT_EQ(RGB3(255, 255, 255), above.colour);
    EXPECT_EQ(6, above.top);
    const SliderPick below = PickOnGradient(s, 500, pixel);
    EXPECT_EQ(0u, below.colour);
    EXPECT_EQ(105, below.top);
    EXPECT_EQ(pixel(2, 40), PickOnGradient(s, 40, pixel).colour);

    EXPECT_EQ(RGB3(255, 255, 255), CubeCornerColour(-1, 1, 1));
    EXPECT_EQ(RGB3(0, 0, 0), CubeCornerColour(1, -1, -1));
    EXPECT_EQ(RGB3(255, 0, 0), CubeCornerColour(1, -1, 1));
    const CubeAngles a = TurnCube({}, 320, -50);
    EXPECT_EQ(5, a.y);
    EXPECT_EQ(355, a.x);
}

}  // namespace

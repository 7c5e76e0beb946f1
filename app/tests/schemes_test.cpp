#include "schemes.h"

#include <gtest/gtest.h>

#include <set>

#include "apptest.h"
#include "forms/fileio.h"

namespace {

using namespace stellwerk;

// An object with three materials and two textures.
MaterialSet objectSet() {
    MaterialSet s;
    for (int i = 0; i < 3; ++i) {
        MatEntry m;
        m.index = 7;
        m.diffuse = Color(0x102030 * (i + 1));
        m.specular = 0xFFFFFF;
        m.alpha = 100;
        m.flags = kMatFromViewer | (i == 0 ? kMatTextured : 0);
        m.kDiffuse = 0.6f, m.kAmbient = 0.3f, m.kSpecular = 0.2f;
        m.texture = i == 0 ? 0 : -1;
        s.materials.push_back(m);
        s.names.push_back("");
    }
    s.textures = {"C:\\Obj\\wood.bmp", "C:\\Obj\\sky.jpg"};
    return s;
}

TextureLookup lookupOf(std::set<std::string> files) {
    return {"C:\\Prog\\", "D:\\Alt\\", "C:\\Obj\\", [files](const std::string& p) { return files.count(p) > 0; }};
}

const char kHeader[] = "Counts\r\n2\r\n3\r\nTextures\r\n";

TEST(SchemeFile, ReadsEveryLineForm) {
    const MaterialSet own = objectSet();
    MaterialSet out;
    const std::string text = std::string(kHeader) +
                             "  *  \r\n"
                             "\r\n"
                             "Materials\r\n"
                             "255 0\r\n"  // two fields: the rest take their defaults
                             "99999999 -3 150 250 -1 12.5 9\r\n"
                             "x y z 1,5 abc 0 flags\r\n"
                             "Material Names\r\n"
                             "  Seat \r\n"
                             "\r\n"
                             "Leg\r\n";
    const auto r = ReadScheme(text, own, lookupOf({}), out);
    EXPECT_TRUE(r.countsMatch && r.texturesRead && r.materialsRead && r.namesRead);
    EXPECT_EQ(own.textures[0], out.textures[0]);  // "*" keeps the object's texture
    EXPECT_EQ("", out.textures[1]);               // an empty line removes it

    const MatEntry& a = out.materials[0];
    EXPECT_EQ(255u, a.diffuse);
    EXPECT_EQ(0u, a.specular);
    EXPECT_EQ(100, a.alpha);
    EXPECT_FLOAT_EQ(0.4f, a.kDiffuse);
    EXPECT_FLOAT_EQ(0.5f, a.kAmbient);
    EXPECT_FLOAT_EQ(0.1f, a.kSpecular);
    EXPECT_EQ(0u, a.flags);
    EXPECT_EQ(own.materials[0].texture, a.texture) << "the texture index is the object's";

    const MatEntry& b = out.materials[1];
    EXPECT_EQ(0xFFFFFFu, b.diffuse);
    EXPECT_EQ(0u, b.specular);
    EXPECT_EQ(100, b.alpha);
    EXPECT_FLOAT_EQ(1.0f, b.kDiffuse);
    EXPECT_FLOAT_EQ(0.0f, b.kAmbient);
    EXPECT_FLOAT_EQ(0.125f, b.kSpecular);
    EXPECT_EQ(9u, b.flags);

    const MatEntry& c = out.materials[2];  // unreadable fields default; "1,5" is no invariant number
    EXPECT_EQ(0u, c.diffuse);
    EXPECT_EQ(100, c.alpha);
    EXPECT_FLOAT_EQ(0.4f, c.kDiffuse);
    EXPECT_FLOAT_EQ(0.5f, c.kAmbient);
    EXPECT_FLOAT_EQ(0.0f, c.kSpecular);
    EXPECT_EQ(0u, c.flags);
    EXPECT_EQ((std::vector<std::string>{"Seat", "", "Leg"}), out.names);
}

TEST(SchemeFile, WhatDoesNotFitLeavesTheObjectsOwn) {
    const MaterialSet own = objectSet();
    struct Case {
        const char* what;
        std::string text;
        bool counts, textures, materials;
    } cases[] = {
        {"empty", "", false, false, false},
        {"heading in other case", "counts\n2\n3\nTextures\n*\n*\n", false, false, false},
        {"texture count differs", "Counts\n1\n3\nTextures\n*\n", false, false, false},
        {"material count differs", "Counts\n2\n4\nTextures\n*\n*\n", false, false, false},
        {"count not a number", "Counts\nx\n3\n", false, false, false},
        {"counts only", "Counts\n2\n3\n", true, false, false},
        {"textures cut short", "Counts\n2\n3\nTextures\nnew.bmp\n", true, false, false},
        {"materials heading missing", std::string(kHeader) + "*\n*\nMaterial\n1 1 1 1 1 1 1\n", true, true, false},
        {"materials cut short", std::string(kHeader) + "*\n*\nMaterials\n1\n2\n", true, true, false},
        {"names heading missing", std::string(kHeader) + "*\n*\nMaterials\n1\n2\n3\nNames\na\n", true, true, true},
    };
    for (const auto& c : cases) {
        MaterialSet out;
        const auto r = ReadScheme(c.text, own, lookupOf({}), out);
        EXPECT_EQ(c.counts, r.countsMatch) << c.what;
        EXPECT_EQ(c.textures, r.texturesRead) << c.what;
        EXPECT_EQ(c.materials, r.materialsRead) << c.what;
        EXPECT_FALSE(r.namesRead) << c.what;
        if (!c.materials) {
            EXPECT_EQ(own.materials, out.materials) << c.what;
        }
        if (!c.textures) {
            EXPECT_EQ(own.textures, out.textures) << c.what;
        }
        EXPECT_EQ(own.names, out.names) << c.what;
    }
    // Huge counts are clamped and still compared with the object's.
    MaterialSet out;
    EXPECT_FALSE(ReadScheme("Counts\n99999999999\n-5\n", own, lookupOf({}), out).countsMatch);
}

TEST(SchemeFile, TextureNamesResolveInOrder) {
    struct Case {
        const char* name;
        std::set<std::string> files;
        const char* want;
    } cases[] = {
        {"E:\\tex\\a.bmp", {}, "E:\\tex\\a.bmp"},
        {"\\\\srv\\t\\a.bmp", {}, "\\\\srv\\t\\a.bmp"},
        {"Textures\\a.bmp", {"C:\\Prog\\Textures\\a.bmp"}, "C:\\Prog\\Textures\\a.bmp"},
        {"\\Textures\\a.bmp", {"C:\\Prog\\Textures\\a.bmp"}, "C:\\Prog\\Textures\\a.bmp"},
        {"Textures\\a.bmp", {"D:\\Alt\\Textures\\a.bmp", "D:\\Alt\\a.bmp"}, "D:\\Alt\\Textures\\a.bmp"},
        {"Textures\\a.bmp", {"D:\\Alt\\a.bmp", "C:\\Obj\\a.bmp"}, "D:\\Alt\\a.bmp"},
        {"E:\\gone\\a.bmp", {"C:\\Obj\\a.bmp"}, "C:\\Obj\\a.bmp"},
        {"Textures\\a.bmp", {}, "C:\\Prog\\Textures\\a.bmp"},  // none exists: the first resolution
    };
    for (const auto& c : cases) EXPECT_EQ(c.want, ResolveSchemeTexture(c.name, lookupOf(c.files))) << c.name;
}

TEST(SchemeFile, WriterRoundTripsExactly) {
    MaterialSet own = objectSet();
    MaterialSet scheme = own;
    scheme.materials[0].diffuse = 0xABCDEF;
    scheme.materials[0].alpha = 35;
    scheme.materials[0].kDiffuse = 0.33f;
    scheme.materials[1].kAmbient = 0.123456789f;
    scheme.materials[1].kSpecular = 1.0f / 3;
    scheme.materials[2].flags = 0x80000000u | (5u << kRefractionShift) | kMatSelfLit;
    scheme.materials[2].kDiffuse = 0.0f;
    scheme.names = {"Seat\r\nwith break", "", "  Leg"};
    scheme.textures = {"C:\\OBJ\\WOOD.BMP", "C:\\Prog\\Textures\\stone.jpg"};
    const std::string text = WriteScheme(scheme, own, "C:\\Prog\\");
    EXPECT_NE(std::string::npos, text.find("Textures\r\n*\r\nTextures\\stone.jpg\r\nMaterials\r\n")) << text;
    EXPECT_NE(std::string::npos, text.find("\r\n11259375 16777215 35 33 30 20 65\r\n")) << text;

    for (bool german : {false, true}) {
        apptest::GermanNumbers* g = german ? new apptest::GermanNumbers : nullptr;
        if (g && std::getenv("LOCPATH")) EXPECT_TRUE(g->active()) << "the German locale of the build tree";
        EXPECT_EQ(text, WriteScheme(scheme, own, "C:\\Prog\\")) << "locale " << german;
        MaterialSet back;
        const auto r = ReadScheme(text, own, lookupOf({}), back);
        EXPECT_TRUE(r.namesRead);
        EXPECT_EQ(scheme.materials, back.materials);
        EXPECT_EQ((std::vector<std::string>{"Seat  with break", "", "Leg"}), back.names);
        EXPECT_EQ(own.textures[0], back.textures[0]);
        EXPECT_EQ(scheme.textures[1], back.textures[1]);
        delete g;
    }
}

TEST(SchemeFile, PercentTextIsShortAndExact) {
    EXPECT_EQ("40", PercentText(0.4f));
    EXPECT_EQ("50", PercentText(0.5f));
    EXPECT_EQ("10", PercentText(0.1f));
    EXPECT_EQ("0", PercentText(0.0f));
    EXPECT_EQ("100", PercentText(1.0f));
    for (float f : {0.123456789f, 1.0f / 3, 0.07f, 0.999f, 1e-7f})
        EXPECT_EQ(f, float(std::stod(PercentText(f)) / 100)) << PercentText(f);
}

TEST(SchemeNames, FileNamesAndPaths) {
    struct Case {
        const char* file;
        const char* want;  // nullptr: not a scheme
    } cases[] = {
        {"Chair.msc", nullptr},       {"Chair..msc", nullptr}, {"chair.Red.MSC", "Red"},
        {"Chair.Red.msc", "Red"},     {"Chairs.Red.msc", nullptr}, {"Chair.Red.msc.bak", nullptr},
        {"CHAIR.dark.wood.msc", "dark.wood"}, {"Chair.qiv", nullptr},
    };
    for (const auto& c : cases) {
        const auto name = SchemeNameOf("C:\\Obj\\Chair.qiv", c.file);
        if (c.want)
            EXPECT_EQ(c.want, name.value_or("<none>")) << c.file;
        else
            EXPECT_FALSE(name.has_value()) << c.file << " gave " << *name;
    }
    EXPECT_EQ("C:\\Obj\\Chair.Red.msc", SchemeFilePath("C:\\Obj\\Chair.qiv", "Red"));
    EXPECT_EQ("C:\\v1.0\\Chair.Red.msc", SchemeFilePath("C:\\v1.0\\Chair", "Red"));
    std::set<std::string> files = {"C:\\Obj\\Chair.Scheme1.msc", "C:\\Obj\\Chair.Scheme2.msc"};
    EXPECT_EQ("Scheme3", ProposeSchemeName("C:\\Obj\\Chair.qiv", "Scheme",
                                           [&](const std::string& p) { return files.count(p) > 0; }));
    EXPECT_FALSE(StartsMenuColumn(0));
    EXPECT_FALSE(StartsMenuColumn(14));
    EXPECT_TRUE(StartsMenuColumn(15));  // the 16th item
    EXPECT_TRUE(StartsMenuColumn(30));
}

TEST(SchemeFiles, ListingSavingLockingRenaming) {
    const std::string dir = apptest::tempFolder("schemes");
    const std::string object = dir + "Chair.qiv";
    apptest::writeFile(object, "x");
    apptest::writeFile(dir + "chair.Red.MSC", "Counts\n");
    apptest::writeFile(dir + "Chair.Blue.msc", "Counts\n");
    apptest::writeFile(dir + "Chair..msc", "");
    apptest::writeFile(dir + "Chair.msc", "");
    forms::ForceDirectories(dir + "Chair.Folder.msc");
    forms::SetReadOnlyFile(dir + "Chair.Blue.msc", true);  // locked schemes are listed as well

    auto names = [&] {
        std::vector<std::string> out;
        for (const auto& s : ListSchemes(object)) out.push_back(s.name);
        return out;
    };
    EXPECT_EQ((std::vector<std::string>{"Blue", "Red"}), names());

    const MaterialSet own = objectSet();
    MaterialSet scheme = own;
    scheme.materials[1].alpha = 20;
    bool modified = true;
    const std::string path = SchemeFilePath(object, "Green");
    ASSERT_TRUE(SaveSchemeFile(path, scheme, own, "", modified));
    EXPECT_FALSE(modified);
    MaterialSet back;
    EXPECT_TRUE(ReadScheme(apptest::readFile(path), own, lookupOf({}), back).namesRead);
    EXPECT_EQ(scheme.materials, back.materials);

    // A locked file is not written; the change stays marked.
    EXPECT_TRUE(SetSchemeLock(path, true));
    modified = true;
    EXPECT_FALSE(SaveSchemeFile(dir + "missing/Chair.X.msc", scheme, own, "", modified));
    EXPECT_TRUE(modified);
    EXPECT_FALSE(SetSchemeLock(path, false));
    EXPECT_FALSE(forms::IsReadOnlyFile(path));

    EXPECT_FALSE(RenameSchemeFile(object, path, "Red").has_value()) << "an existing scheme is not replaced";
    const auto renamed = RenameSchemeFile(object, path, "Lime");
    ASSERT_TRUE(renamed.has_value());
    EXPECT_EQ(dir + "Chair.Lime.msc", *renamed);
    EXPECT_EQ((std::vector<std::string>{"Blue", "Lime", "Red"}), names());
    forms::SetReadOnlyFile(dir + "Chair.Blue.msc", false);

    EXPECT_TRUE(ObjectFolderWritable(object));
    EXPECT_FALSE(forms::FileExists(dir + "Chair$.$$$")) << "the test file goes again";
    EXPECT_FALSE(ObjectFolderWritable(dir + "missing/Chair.qiv"));
}

}  // namespace

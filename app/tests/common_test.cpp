#include "common.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "forms/fileio.h"
#include "forms/inifile.h"
#include "forms/textutil.h"
#include "msgstrs.h"

namespace {

using namespace stellwerk;

std::string tempFolder(const char* leaf) {
    const char* dir = std::getenv("TMPDIR");
    std::string p = dir && *dir ? dir : "/tmp";
    p += std::string("/") + leaf + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "/";
    forms::ForceDirectories(p);
    return p;
}

void writeFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

class ProgramFolder : public ::testing::Test {
protected:
    void SetUp() override { SetProgramFolder("C:\\Stellwerk\\"); }
};

TEST_F(ProgramFolder, AbsolutePaths) {
    struct Case {
        const char* path;
        bool folder;
        const char* want;
    } cases[] = {
        {"", true, "C:\\Stellwerk\\"},
        {"", false, ""},
        {"Textures", true, "C:\\Stellwerk\\Textures\\"},
        {"\\Textures/Stone", true, "C:\\Stellwerk\\Textures\\Stone\\"},
        {"\\\\server\\share", true, "\\\\server\\share\\"},
        {"//server/share/a.jpg", false, "\\\\server\\share\\a.jpg"},
        {"D:/pics/sky.jpg", false, "D:\\pics\\sky.jpg"},
        {"D:\\pics\\", false, "D:\\pics"},
        {"Textures\\Backgrounds\\sky_day.jpg", false, "C:\\Stellwerk\\Textures\\Backgrounds\\sky_day.jpg"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.want, MakeAbsolutePath(c.path, c.folder)) << c.path;
}

TEST_F(ProgramFolder, RelativePaths) {
    struct Case {
        const char* path;
        bool folder;
        const char* want;
    } cases[] = {
        {"C:\\Stellwerk\\Materials", true, "Materials\\"},
        {"c:/STELLWERK/Textures/a.bmp", false, "Textures\\a.bmp"},
        {"D:/Other/x.bmp", false, "D:\\Other\\x.bmp"},
        {"", true, ""},
        {"C:\\Stellwerk", true, ""},  // the folder itself
    };
    for (const auto& c : cases) EXPECT_EQ(c.want, MakeRelativePath(c.path, c.folder)) << c.path;
    EXPECT_EQ("C:\\Stellwerk\\stellwerk!.ini", GetIniPath());
    EXPECT_EQ(0u, GetSupportFolder().rfind("C:\\Stellwerk\\Support", 0)) << GetSupportFolder();
}

TEST(Helpers, FileUrls) {
    struct Case {
        const char* url;
        const char* want;
    } cases[] = {
        {"file:///C:/x", "C:\\x"},
        {"FILE:///c:/a/b.jpg", "c:\\a\\b.jpg"},
        {"file://C:/x", "C:\\x"},
        {"file://server/share/x", "\\\\server\\share\\x"},
        {"file:///tmp/x", "\\tmp\\x"},
        {"C:/plain/path", "C:\\plain\\path"},
        {"D:\\kept", "D:\\kept"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.want, FileUrlToPath(c.url)) << c.url;
}

TEST(Helpers, ColoursAreClampedPartByPart) {
    struct Case {
        const char* text;
        Color want;
    } cases[] = {
        {"204 204 255", RGB3(204, 204, 255)}, {"300 -4", RGB3(255, 0, 7)},     {"1\t2\t3", RGB3(1, 2, 3)},
        {"", RGB3(5, 6, 7)},                  {"x 9 y", RGB3(5, 9, 7)},        {"  10   20  30 ", RGB3(10, 20, 30)},
        {"300 -5 abc", RGB3(255, 0, 7)},
    };
    for (const auto& c : cases) EXPECT_EQ(c.want, ParseColor(c.text, 5, 6, 7)) << c.text;
    EXPECT_EQ("11 30 83", FormatColor(RGB3(11, 30, 83)));
}

TEST(Helpers, TokensNumbersAndBits) {
    std::string t = "a  b";
    EXPECT_EQ("a", NextToken(' ', t));
    EXPECT_EQ("", NextToken(' ', t));
    EXPECT_EQ("b", NextToken(' ', t));
    EXPECT_EQ("", t);
    EXPECT_EQ("", NextToken(' ', t));

    EXPECT_EQ(12, ParseInt(" 12 ", 0));
    EXPECT_EQ(7, ParseInt("12x", 7));
    EXPECT_EQ(90, ParseIntClamped("200", 1, 1, 90));
    EXPECT_EQ(1, ParseIntClamped("0", 5, 1, 90));
    EXPECT_EQ(1, ParseIntClamped("abc", 1, 1, 90));
    forms::SetLocaleDecimalSeparator(',');
    EXPECT_DOUBLE_EQ(1.5, ParseFloat("1,5", 0));
    EXPECT_DOUBLE_EQ(1.5, ParseFloat("1.5", 0)) << "\".\" is always accepted";
    EXPECT_DOUBLE_EQ(2, ParseFloat("1,2,3", 2));
    forms::SetLocaleDecimalSeparator('.');
    EXPECT_DOUBLE_EQ(9, ParseFloat("1,5", 9));
    EXPECT_DOUBLE_EQ(100, ParseFloatClamped("250.5", 0, 0, 100));

    EXPECT_TRUE(HasAllBits(31, 5));
    EXPECT_FALSE(HasAllBits(16, 17));
    EXPECT_TRUE(TestBit(16, 4));
    EXPECT_FALSE(TestBit(0xFFFFFFFF, 32));
    EXPECT_EQ(0x80000000u, SetBit(0, 31));
    EXPECT_EQ(5u, SetBit(5, 40));
    EXPECT_EQ(15u, ClearBit(31, 4));
    EXPECT_EQ("a-b-c", ReplaceAll("a.b.c", ".", "-"));
    EXPECT_EQ("xx", ReplaceAll("x", "x", "xx")) << "replacement text is not searched again";
}

TEST(Helpers, PalettesFillAtMost256Entries) {
    const std::string folder = tempFolder("palette");
    SetProgramFolder(folder);
    forms::ForceDirectories(GetPalettesFolder());
    std::string text;
    for (int i = 0; i < 300; ++i) text += std::to_string(i % 256) + " 1 2\r\n";
    writeFile(GetPalettesFolder() + "Big.rgb", text);
    writeFile(GetPalettesFolder() + "small.rgb", "9 9 9\n\n300 1\n");
    std::array<Color, 256> colours;
    colours.fill(RGB3(1, 1, 1));
    ReadPalette("Big.pal", colours);
    EXPECT_EQ(RGB3(255, 1, 2), colours[255]);
    colours.fill(RGB3(1, 1, 1));
    ReadPalette("small", colours);
    EXPECT_EQ(RGB3(9, 9, 9), colours[0]);
    EXPECT_EQ(RGB3(0, 0, 0), colours[1]) << "an empty line takes the defaults";
    EXPECT_EQ(RGB3(255, 1, 0), colours[2]);
    EXPECT_EQ(RGB3(1, 1, 1), colours[3]) << "entries not read keep their values";
    ReadPalette("missing", colours);
    EXPECT_EQ(RGB3(9, 9, 9), colours[0]);
}

TEST(Helpers, FindFilesByExtension) {
    const std::string folder = tempFolder("findfiles");
    forms::ForceDirectories(folder + "sub/deeper");
    for (const char* f : {"a.INI", "b.bmp", "c.txt", "sub/d.ini", "sub/deeper/e.Bmp"}) writeFile(folder + f, "x");
    forms::StringList flat, deep;
    FindFiles(folder, {".ini", ".bmp"}, flat, false);
    FindFiles(folder, {".ini", ".bmp"}, deep, true);
    // Paths with "/" whatever delimiter the platform puts between folders.
    auto slashed = [](forms::StringList& l) {
        std::vector<std::string> out;
        for (std::string s : l.Items()) out.push_back(ReplaceAll(s, "\\", "/"));
        std::sort(out.begin(), out.end());
        return out;
    };
    EXPECT_EQ((std::vector<std::string>{folder + "a.INI", folder + "b.bmp"}), slashed(flat));
    const auto all = slashed(deep);
    ASSERT_EQ(4u, all.size());
    EXPECT_EQ(folder + "sub/deeper/e.Bmp", all[3]);
}

TEST(Helpers, FileFilters) {
    MsgLines().SetText(
        "000 \n" + std::string(74, '\n') +
        "075 All pictures|\n");  // line 75
    while (MsgLines().Count() < 260) MsgLines().Add("xxx ");
    MsgLines().SetString(247, "247 Bitmaps|*.bmp;*.dib;");
    MsgLines().SetString(248, "248 |JPEG pictures|*.jpg;*.jpeg|");
    MsgLines().SetString(249, "249 no bar here");
    EXPECT_EQ("All pictures|*.bmp;*.dib;*.jpg;*.jpeg|Bitmaps|*.bmp;*.dib;|JPEG pictures|*.jpg;*.jpeg",
              BuildFileFilter({247, 248, 249}));
    MsgLines().Clear();
}

TEST(Helpers, IniWritabilityAndPlacement) {
    const std::string folder = tempFolder("inicheck");
    SetProgramFolder(folder);
    const std::string ini = GetIniPath();
    std::remove(ini.c_str());
    EXPECT_FALSE(IsFileUnwritable(ini, true));
    EXPECT_FALSE(forms::FileExists(ini)) << "a file made for the test is deleted again";
    writeFile(ini, "[General]\r\n");
    forms::SetReadOnlyFile(ini, true);
    EXPECT_TRUE(IsFileUnwritable(ini, false));
    EXPECT_FALSE(IsFileUnwritable(ini, true)) << "read-only cleared, then writable";
    EXPECT_FALSE(forms::IsReadOnlyFile(ini));
    EXPECT_TRUE(IsFileUnwritable(folder + "no/such/folder.ini", true));

    EXPECT_TRUE(IniWriteString("Paths", "Materials", "Materials\\"));
    EXPECT_EQ("Materials\\", IniReadString("paths", "materials", ""));
    FormPlacement cur{false, 1, 2, 300, 200};
    EXPECT_TRUE(ReadFormPlacement("AppWindow", cur, true).maximised) << "no entry: maximised by default";
    WriteFormPlacement("AppWindow", {false, 10, 20, 640, 480});
    const FormPlacement p = ReadFormPlacement("AppWindow", cur, true);
    EXPECT_FALSE(p.maximised);
    EXPECT_EQ(640, p.width);
    EXPECT_EQ(20, p.top);
}

TEST(Helpers, WalkVectors) {
    const Vec3 eye{10, 0, 0}, vrp{0, 0, 0};
    EXPECT_FLOAT_EQ(100, DistanceSquared(eye, vrp));
    const Vec3 d = Normalised(Difference(eye, vrp));
    EXPECT_FLOAT_EQ(1, d.x);
    const Vec3 e = Sum(vrp, Scaled(d, 9.5f));
    EXPECT_FLOAT_EQ(9.5f, e.x);
    const Vec3 tiny{1e-7f, 0, 0};
    EXPECT_FLOAT_EQ(1e-7f, Normalised(tiny).x) << "too short to normalise";
}

}  // namespace

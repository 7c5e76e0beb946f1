#include "forms/inifile.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <string>

#include "forms/fileio.h"
#include "forms/textutil.h"

namespace {

std::string tempPath(const char* leaf) {
    const char* dir = std::getenv("TMPDIR");
    std::string p = dir && *dir ? dir : "/tmp";
    return p + "/" + leaf + std::to_string(::testing::UnitTest::GetInstance()->random_seed());
}

TEST(IniFile, NamesIgnoreCaseAndTheFirstDuplicateWins) {
    forms::IniFile ini;
    ini.SetText(
        "[General]\r\nPalette = Zorovo \r\npalette=second\r\n[general]\r\nPalette=third\r\nOther=\"quoted\"\r\n");
    EXPECT_EQ("Zorovo", ini.ReadString("GENERAL", "PALETTE", "x"));
    EXPECT_EQ("x", ini.ReadString("general", "Other", "x")) << "keys of a later duplicate section are not seen";
    EXPECT_EQ((std::vector<std::string>{"General"}), ini.ReadSections());
    EXPECT_EQ((std::vector<std::string>{"Palette"}), ini.ReadSection("general"));
    ini.SetText("[a]\nk=\"quoted\"\nq='x'\nh=\"open\n");
    EXPECT_EQ("quoted", ini.ReadString("a", "k", ""));
    EXPECT_EQ("x", ini.ReadString("a", "q", ""));
    EXPECT_EQ("\"open", ini.ReadString("a", "h", ""));
}

// Small sections are searched line by line, large ones through an index:
// both find keys without regard to case, the first duplicate winning.
TEST(IniFile, SmallAndLargeSectionsFindTheSameKeys) {
    for (int filler : {0, 40}) {
        std::string text = "[s]\r\n Key = first \r\n;comment=x\r\nKEY=second\r\n";
        for (int i = 0; i < filler; ++i) text += "k" + std::to_string(i) + "=" + std::to_string(i) + "\r\n";
        text += "last=end\r\n";
        forms::IniFile ini;
        ini.SetText(text);
        EXPECT_EQ("first", ini.ReadString("s", "key", "")) << filler;
        EXPECT_EQ("first", ini.ReadString(" S ", " kEY ", "")) << filler;
        EXPECT_EQ("end", ini.ReadString("s", "LAST", "")) << filler;
        EXPECT_EQ("?", ini.ReadString("s", ";comment", "?")) << filler;
        EXPECT_FALSE(ini.ValueExists("s", "ke")) << filler;
        ini.WriteString("s", "key", "new");
        EXPECT_EQ("new", ini.ReadString("s", "Key", "")) << filler;
    }
}

TEST(IniFile, NumbersAndBooleans) {
    forms::IniFile ini;
    ini.SetText("[n]\ni=42\nneg=-7\nhex=0x1F\nbad=12a\nf=0.5\nc=0,25\nb=1\nt=true\nz=0\n");
    struct Case {
        const char* key;
        int want;
    } ints[] = {{"i", 42}, {"neg", -7}, {"hex", 31}, {"bad", 99}, {"missing", 99}, {"f", 99}};
    for (const auto& c : ints) EXPECT_EQ(c.want, ini.ReadInteger("n", c.key, 99)) << c.key;
    EXPECT_DOUBLE_EQ(0.5, ini.ReadFloat("n", "f", 9));
    EXPECT_DOUBLE_EQ(9, ini.ReadFloat("n", "c", 9)) << "a comma only with a locale that uses it";
    EXPECT_DOUBLE_EQ(0.25, ini.ReadFloat("n", "c", 9, ','));
    EXPECT_DOUBLE_EQ(0.5, ini.ReadFloat("n", "f", 9, ',')) << "\".\" is read whatever the locale";
    EXPECT_TRUE(ini.ReadBool("n", "b", false));
    EXPECT_TRUE(ini.ReadBool("n", "t", false));
    EXPECT_FALSE(ini.ReadBool("n", "z", true));
    EXPECT_TRUE(ini.ReadBool("n", "nothing", true));
}

TEST(IniFile, RewriteKeepsCommentsBlankLinesAndUntouchedLines) {
    forms::IniFile ini;
    ini.SetText("; top comment\r\n\r\n[A]\r\n  key = old \r\n; inner\r\nkept=  spaced  \r\n\r\n[B]\r\nx=1\r\n");
    ini.WriteString("a", "KEY", "new");
    ini.WriteString("A", "added", "v");
    ini.WriteInteger("C", "n", 3);
    EXPECT_EQ(
        "; top comment\r\n\r\n[A]\r\nkey=new\r\n; inner\r\nkept=  spaced  \r\nadded=v\r\n\r\n[B]\r\nx=1\r\n\r\n[C]\r\nn=3"
        "\r\n",
        ini.Text());
    ini.DeleteKey("a", "kept");
    ini.EraseSection("b");
    EXPECT_EQ("; top comment\r\n\r\n[A]\r\nkey=new\r\n; inner\r\nadded=v\r\n\r\n[C]\r\nn=3\r\n", ini.Text());
    EXPECT_FALSE(ini.SectionExists("B"));
    EXPECT_TRUE(ini.ValueExists("c", "N"));
}

TEST(IniFile, FloatsAreWrittenInvariantWhateverTheLocale) {
    const char* old = std::setlocale(LC_ALL, nullptr);
    const std::string saved = old ? old : "C";
    std::setlocale(LC_ALL, "de_DE.UTF-8");  // may be missing; the test holds either way
    forms::IniFile ini;
    ini.WriteFloat("v", "x", 0.1);
    ini.WriteFloat("v", "big", 1e20);
    ini.WriteFloat("v", "third", 1.0 / 3);
    EXPECT_EQ("0.1", ini.ReadString("v", "x", ""));
    EXPECT_EQ("1e+20", ini.ReadString("v", "big", ""));
    EXPECT_EQ("0.333333333333333", ini.ReadString("v", "third", ""));
    EXPECT_DOUBLE_EQ(0.1, ini.ReadFloat("v", "x", 0));
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(IniFile, MissingFileIsEmptyAndRewriteIsAtomic) {
    const std::string path = tempPath("ini_rewrite");
    std::remove(path.c_str());
    {
        forms::IniFile ini(path);
        EXPECT_FALSE(ini.SectionExists("x"));
        EXPECT_EQ("d", ini.ReadString("x", "y", "d"));
        EXPECT_TRUE(ini.UpdateFile()) << "nothing changed, nothing to write";
        EXPECT_FALSE(forms::FileExists(path));
        ini.WriteString("x", "y", "1");
        ASSERT_TRUE(ini.UpdateFile());
    }
    EXPECT_EQ("[x]\r\ny=1\r\n", forms::ReadWholeFile(path).value_or("?"));
    {
        forms::IniFile ini(path);
        ini.SetAutoUpdate(true);
        ini.WriteString("x", "z", "2");
        EXPECT_EQ("[x]\r\ny=1\r\nz=2\r\n", forms::ReadWholeFile(path).value_or("?"));
    }
    // A folder that does not exist: the write fails and reports it.
    forms::IniFile bad(path + ".missing/inner.ini");
    bad.WriteString("a", "b", "c");
    EXPECT_FALSE(bad.UpdateFile());
    EXPECT_TRUE(bad.Modified());
    std::remove(path.c_str());
}

TEST(IniFile, ManyKeysLookUpByName) {
    forms::IniFile ini;
    std::string text = "[S]\n";
    for (int i = 0; i < 2000; ++i) text += "Key" + std::to_string(i) + "=" + std::to_string(i * 3) + "\n";
    ini.SetText(text);
    EXPECT_EQ(5997, ini.ReadInteger("s", "KEY1999", 0));
    EXPECT_EQ(2000u, ini.ReadSectionValues("S").size());
}

// Line ends, comments, empty values and odd headers read the same whichever
// way the file is written, and untouched lines come back as they were.
TEST(IniFile, LineEndsCommentsAndEmptyValues) {
    struct Case {
        const char* text;
        const char* section;
        const char* key;
        const char* want;  // nullptr: the key is absent
    } cases[] = {
        {"[a]\nk=1\n", "a", "k", "1"},
        {"[a]\rk=1\r", "a", "k", "1"},
        {"[a]\r\nk=1", "a", "k", "1"},
        {"[a]\n\r\nk=1\r\n", "a", "k", "1"},
        {"[a]\r\nk=\r\n", "a", "k", ""},
        {"[a]\r\nk=   \r\n", "a", "k", ""},
        {"[a]\r\nk=\"\"\r\n", "a", "k", ""},
        {"[a]\r\n;k=1\r\n", "a", "k", nullptr},
        {"[a]\r\n  ;k=1\r\n", "a", "k", nullptr},
        {"[a]\r\nk\r\n", "a", "k", nullptr},
        {"[a]\r\n=1\r\n", "a", "", nullptr},
        {"[a]\r\nk=x=y ; z\r\n", "a", "k", "x=y ; z"},
        {"  [ a b ]  tail\r\nk=1\r\n", "A B", "k", "1"},
        {"[open\r\nk=1\r\n", "open", "k", "1"},
        {"k=1\r\n[a]\r\n", "a", "k", nullptr},
        {"[a]\r\n\tk\t=\t1\t\r\n", "a", "K", "1"},
        {"[a]\r\nk=1\r\nK=2\r\n[A]\r\nk=3\r\n", "a", "k", "1"},
    };
    for (const auto& c : cases) {
        forms::IniFile ini;
        ini.SetText(c.text);
        const auto got = ini.ReadStringView(c.section, c.key);
        EXPECT_EQ(c.want != nullptr, got.has_value()) << c.text;
        if (c.want && got) {
            EXPECT_EQ(c.want, *got) << c.text;
        }
        EXPECT_EQ(c.want ? c.want : "?", ini.ReadString(c.section, c.key, "?")) << c.text;
        const std::string_view keys[] = {"other", c.key, c.key};
        std::optional<std::string_view> all[3];
        ini.ReadStringViews(c.section, keys, all, 3);
        EXPECT_FALSE(all[0].has_value()) << c.text;
        EXPECT_EQ(got, all[1]) << c.text;
        EXPECT_EQ(got, all[2]) << c.text;
    }
    forms::IniFile ini;
    ini.SetText("; c=1\n\n[a]\rk= v \nother\r\n");
    EXPECT_EQ("; c=1\r\n\r\n[a]\r\nk= v \r\nother\r\n", ini.Text());
}

// A key rewritten many times and sections dropped and added again keep the
// file exact (the text no line uses is dropped on the way).
TEST(IniFile, ManyRewritesKeepTheText) {
    forms::IniFile ini;
    ini.SetText("; head\r\n[keep]\r\nx = 1 \r\n[s]\r\nk=0\r\n");
    for (int i = 1; i <= 20000; ++i) {
        ini.WriteString("s", "k", std::string(40, 'v') + std::to_string(i));
        if (i % 1000 == 0) {
            ini.EraseSection("gone");
            ini.WriteInteger("gone", "n", i);
        }
    }
    EXPECT_EQ(std::string(40, 'v') + "20000", ini.ReadString("s", "k", ""));
    EXPECT_EQ("; head\r\n[keep]\r\nx = 1 \r\n[s]\r\nk=" + std::string(40, 'v') +
                  "20000\r\n\r\n[gone]\r\nn=20000\r\n",
              ini.Text());
    EXPECT_EQ(1, ini.ReadInteger("KEEP", "X", 0));
    forms::IniFile copy = ini;
    ini.WriteString("keep", "x", "2");
    EXPECT_EQ(1, copy.ReadInteger("keep", "x", 0)) << "a copy keeps its own text";
}

}  // namespace

// Numbers read in the invariant format, the locale's separator only where the
// text has no ".".
TEST(TextUtil, ToFloatForms) {
    struct Case {
        const char* text;
        char sep;
        bool ok;
        double want;
    } cases[] = {
        {"1.5", '.', true, 1.5},     {"  -2.25\t", '.', true, -2.25}, {"+3", '.', true, 3},
        {"+-1", '.', true, -1},      {"++1", '.', false, 0},          {"1e3", '.', true, 1000},
        {"1,5", '.', false, 0},      {"1,5", ',', true, 1.5},         {"1.5", ',', true, 1.5},
        {"1,5.0", ',', false, 0},    {"", '.', false, 0},             {"   ", '.', false, 0},
        {"inf", '.', false, 0},      {"nan", '.', false, 0},          {"1e999", '.', false, 0},
        {"0x10", '.', false, 0},     {"1.5x", '.', false, 0},         {".5", '.', true, 0.5},
        {"1 2", '.', false, 0},      {"-", '.', false, 0},
    };
    for (const auto& c : cases) {
        const auto got = forms::ToFloat(c.text, c.sep);
        EXPECT_EQ(c.ok, got.has_value()) << c.text;
        if (c.ok && got) {
            EXPECT_DOUBLE_EQ(c.want, *got) << c.text;
        }
    }
}

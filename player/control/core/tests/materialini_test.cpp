#include "materialini.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace qivctl;

namespace {

bool readText(const std::string& text, MatInput* m) {
    IniDocument doc(text);
    return readMaterialIni(iniLookupOf(doc), m);
}

}  // namespace

TEST(MaterialIni, ReadsEveryKey) {
    MatInput m;
    ASSERT_TRUE(readText("; library entry\r\n[Material]\r\nName = Brass\r\n\r\n[brass]\r\nkdiffus=0.6\r\n"
                         "KAmbient= 0.25 \r\nkspiegel=\"0.75\"\r\nalpha=1\r\nOe=16\r\nBits=9\r\n"
                         "RGBDiffus=0.8, 0.5,0.125\r\nRGBSpiegel=1,1,0.5\r\n",
                         &m));
    EXPECT_FLOAT_EQ(m.coDifuse, 0.6f);
    EXPECT_FLOAT_EQ(m.coAmbient, 0.25f);
    EXPECT_FLOAT_EQ(m.coSpecular, 0.75f);
    EXPECT_FLOAT_EQ(m.alpha, 1.0f);
    EXPECT_FLOAT_EQ(m.specExp, 16.0f);
    EXPECT_FLOAT_EQ(m.specCoeff[0], -1.0f / 64);
    EXPECT_FLOAT_EQ(m.specCoeff[2], 64.0f);
    EXPECT_FLOAT_EQ(m.specCoeff[1], 64.0f - 1.0f / (1.0f + 1.0f / 64));
    EXPECT_EQ(m.flags, 9u);
    EXPECT_EQ(m.area, 0u);
    EXPECT_FLOAT_EQ(m.colDifuse[0], 0.8f);
    EXPECT_FLOAT_EQ(m.colDifuse[1], 0.5f);
    EXPECT_FLOAT_EQ(m.colDifuse[2], 0.125f);
    EXPECT_FLOAT_EQ(m.colSpecular[2], 0.5f);
}

TEST(MaterialIni, DefaultsAndRefusals) {
    struct Case {
        const char* what;
        const char* text;
        bool ok;
        float kd, ka, ks, alpha, diffuse0, specular0, t1;
    };
    const Case cases[] = {
        {"no Name", "[Material]\nkdiffus=0.5\n", false, 0, 0, 0, 0, 0, 0, 0},
        {"empty Name", "[Material]\nName=\n[x]\nkdiffus=1\n", false, 0, 0, 0, 0, 0, 0, 0},
        {"empty kdiffus", "[Material]\nName=x\n[x]\nkdiffus=\n", false, 0, 0, 0, 0, 0, 0, 0},
        {"empty kambient", "[Material]\nName=x\n[x]\nkambient=\n", false, 0, 0, 0, 0, 0, 0, 0},
        {"section without values: defaults", "[Material]\nName=x\n", true, 0.4f, 0.4f, 0.4f, 0.4f, 0.4f, 0.5f,
         -1.0f / (30.0f * std::sqrt(30.0f))},
        {"empty optional values stay 0", "[Material]\nName=x\n[X]\nkspiegel=\nalpha=\nRGBSpiegel=0.2\n", true, 0.4f, 0.4f,
         0, 0, 0.4f, 0, -1.0f / (30.0f * std::sqrt(30.0f))},
        {"RGBDiffus255 when RGBDiffus is empty", "[Material]\nName=x\n[x]\nRGBDiffus=\nRGBDiffus255=255,0,51\nOe=0.1\n",
         true, 0.4f, 0.4f, 0.4f, 0.4f, 255 * 0.003921569f, 0.5f, 0},
        {"decimal commas are not read as decimals", "[Material]\nName=x\n[x]\nkdiffus=0,7\nRGBDiffus=0,5,0,5,0,5\n", true,
         0, 0.4f, 0.4f, 0.4f, 0, 0.5f, -1.0f / (30.0f * std::sqrt(30.0f))},
    };
    for (const Case& c : cases) {
        MatInput m;
        m.coDifuse = -99;
        bool ok = readText(c.text, &m);
        EXPECT_EQ(ok, c.ok) << c.what;
        if (!ok) {
            EXPECT_EQ(m.coDifuse, -99) << c.what;
            continue;
        }
        EXPECT_FLOAT_EQ(m.coDifuse, c.kd) << c.what;
        EXPECT_FLOAT_EQ(m.coAmbient, c.ka) << c.what;
        EXPECT_FLOAT_EQ(m.coSpecular, c.ks) << c.what;
        EXPECT_FLOAT_EQ(m.alpha, c.alpha) << c.what;
        EXPECT_FLOAT_EQ(m.colDifuse[0], c.diffuse0) << c.what;
        EXPECT_FLOAT_EQ(m.colSpecular[0], c.specular0) << c.what;
        EXPECT_FLOAT_EQ(m.specCoeff[0], c.t1) << c.what;
    }
}

TEST(MaterialIni, IniText) {
    IniDocument doc("k=outside\n[A]\nkey=first\nKEY=second\n  [ b ]  \n x = \" quoted \" \nnoequals\n;c=1\n[a]\nkey=third\n"
                    "long=" + std::string(400, 'v') + "\n");
    std::string v;
    EXPECT_FALSE(doc.get("", "k", &v));
    ASSERT_TRUE(doc.get("a", "Key", &v));
    EXPECT_EQ(v, "first");
    ASSERT_TRUE(doc.get("B", "X", &v));
    EXPECT_EQ(v, " quoted ");
    EXPECT_FALSE(doc.get("b", "noequals", &v));
    EXPECT_FALSE(doc.get("b", ";c", &v));
    ASSERT_TRUE(doc.get("a", "long", &v));
    EXPECT_EQ(v.size(), kIniValueMax);
}

TEST(MaterialFlags, ReplaceRulesAndClamps) {
    // 1.2 gives code 11 with the marker; caller bits 10..15 and the high word never get through.
    uint32_t f = replaceMaterialExFlags(0x7FFFFC01, 1.2f);
    EXPECT_EQ(f & 0xFFFF0000u, kMaterialMarker);
    EXPECT_EQ(refractionCodeOf(f), 11);
    EXPECT_EQ(f & 0x3FFu, 0x001u);
    struct Code {
        float coef;
        int32_t code;
    };
    for (const Code& c : {Code{0.1f, 0}, Code{-5, 0}, Code{6.4f, 63}, Code{26.0f, 63}, Code{1e30f, 63},
                          Code{NAN, 11}, Code{2.05f, 19}}) {
        uint32_t x = replaceMaterialExFlags(16, c.coef);
        EXPECT_EQ(refractionCodeOf(x), c.code) << c.coef;
        EXPECT_EQ(x & 0xFFFF0000u, kMaterialMarker) << c.coef;
        EXPECT_EQ(x & 0x3FFu, 16u) << c.coef;
    }
    const float dull[3] = {0.1f, 0.1f, 0.1f}, shiny[3] = {0.1f, 0.9f, 0.1f};
    EXPECT_EQ(replaceMaterialFlags(3 + 128, 0.5f, dull), 3u + 0xAFFE2C00u);
    EXPECT_EQ(replaceMaterialFlags(3, 0.5f, shiny), 3u + 64 + 0xAFFE2C00u);
    EXPECT_EQ(replaceMaterialFlags(0xAFFE1403u, 0.5f, shiny), 0xAFFE1403u);

    MatInput m = materialFromArguments(0x00336699, 0x00FFFFFF, 0.5f, 0.6f, 0.2f, 0.9f, 1, 0x1234);
    EXPECT_FLOAT_EQ(m.colDifuse[0], 0x99 / 255.0f);
    EXPECT_FLOAT_EQ(m.colDifuse[2], 0x33 / 255.0f);
    EXPECT_EQ(m.area, 0x1234u);
    EXPECT_EQ(m.flags, 1u + 64 + 0xAFFE2C00u);
    EXPECT_EQ(materialColourOf(m.colDifuse), 0x00336699u);
    const float wild[3] = {1.5f, -0.2f, NAN};
    EXPECT_EQ(materialColourOf(wild), 0x000000FFu);
    const float edge[3] = {0.999f, 1.0f, 0.0039f};
    EXPECT_EQ(materialColourOf(edge), 0x0000FFFEu);

    EXPECT_TRUE(materialIndexValid(0, 1));
    EXPECT_FALSE(materialIndexValid(1, 1));
    EXPECT_FALSE(materialIndexValid(-1, 5));
}

TEST(MaterialDrop, FileKinds) {
    struct Case {
        const char* path;
        int32_t kind;
    };
    for (const Case& c : {Case{"C:\\t\\wood.PNG", 2}, Case{"a.bmp", 2}, Case{"x.JpG", 2}, Case{"car.qiv", 1},
                          Case{"old.VOV", 1}, Case{"m.pel", 1}, Case{"brass.ini", 3}, Case{"x.jpeg", 0},
                          Case{"noext", 0}, Case{"dir.bmp\\file", 0}, Case{"trailing.", 0}, Case{"", 0}})
        EXPECT_EQ(dropKindOfFile(c.path), c.kind) << c.path;
}

// One file of an enabled kind is taken; an object file needs the load menu and no blocked
// load, a material file must be readable. Textures land only on parts that take textures.
TEST(MaterialDrop, OffersAndTargets) {
    struct Case {
        uint32_t files;
        int32_t kind, mask;
        bool loadMenu, blocked, readable, accepted;
    };
    const Case cases[] = {
        {1, 1, 1, true, false, false, true},  {1, 1, 6, true, false, false, false},
        {1, 1, 7, false, false, false, false}, {1, 1, 7, true, true, false, false},
        {1, 2, 2, true, false, false, true},  {2, 2, 7, true, false, false, false},
        {0, 2, 7, true, false, false, false}, {1, 3, 4, true, false, true, true},
        {1, 3, 4, true, false, false, false}, {1, 3, 3, true, false, true, false},
        {1, 0, 7, true, false, true, false},
    };
    for (const Case& c : cases) {
        DropOffer o;
        o.fileCount = c.files;
        o.kind = c.kind;
        o.enabledMask = c.mask;
        o.loadMenu = c.loadMenu;
        o.loadBlocked = c.blocked;
        o.materialReadable = c.readable;
        EXPECT_EQ(dropAccepted(o), c.accepted) << c.files << " " << c.kind << " " << c.mask;
    }
    EXPECT_TRUE(dropTargetValid(1, false, 0));
    EXPECT_TRUE(dropTargetValid(2, true, 1 | 64));
    EXPECT_FALSE(dropTargetValid(2, true, 64));
    EXPECT_FALSE(dropTargetValid(2, false, 1));
    EXPECT_TRUE(dropTargetValid(3, true, 0));
    EXPECT_FALSE(dropTargetValid(3, false, 0));
    EXPECT_FALSE(dropTargetValid(0, true, 1));
}

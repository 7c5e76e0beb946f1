#include "callertrust.h"

#include <gtest/gtest.h>

#include <string>

using namespace qivctl;

TEST(CallerTrust, SafetyOptionsOrTheZoneDecide) {
    struct Case {
        uint32_t options;
        bool zoneKnown;
        uint32_t zone;
        bool untrusted, pageLocal;
        uint32_t mark;
    } cases[] = {
        {0, false, 0, false, true, 0},                                      // a desktop host
        {0, true, kZoneLocalMachine, false, true, 0},                       // a local document
        {0, true, kZoneTrusted, false, true, 0},                            // a trusted site
        {0, true, kZoneIntranet, true, false, kZoneIntranet},
        {0, true, kZoneInternet, true, false, kZoneInternet},
        {0, true, kZoneRestricted, true, false, kZoneRestricted},
        {kSafetyUntrustedCaller, false, 0, true, false, kZoneInternet},     // no address: remote
        {kSafetyUntrustedData, false, 0, true, false, kZoneInternet},
        {kSafetyUntrustedCaller, true, kZoneLocalMachine, true, true, 0},   // a local page in a browser
        {kSafetyUntrustedCaller, true, kZoneTrusted, true, false, kZoneTrusted},
        {0x10, false, 0, false, true, 0},                                   // other options
    };
    for (const Case& c : cases) {
        const CallerTrust t = decideCallerTrust(c.options, c.zoneKnown, c.zone);
        EXPECT_EQ(c.untrusted, t.untrusted) << c.options << " " << c.zoneKnown << " " << c.zone;
        EXPECT_EQ(c.pageLocal, t.pageLocal) << c.options << " " << c.zoneKnown << " " << c.zone;
        EXPECT_EQ(c.mark, t.markZone) << c.options << " " << c.zoneKnown << " " << c.zone;
    }
}

TEST(CallerTrust, FileNameRules) {
    struct Case {
        const char* name;
        bool allowed;
        NameKind kind;
    } cases[] = {
        {"x.bmp", true, NameKind::Relative},
        {"..\\x.bmp", true, NameKind::Relative},  // confinement is not this rule's
        {"C:\\dir\\x.bmp", true, NameKind::Absolute},
        {"c:x.bmp", true, NameKind::Absolute},
        {"\\dir\\x.bmp", true, NameKind::Absolute},
        {"\\\\server\\share\\x.bmp", true, NameKind::Unc},
        {"//server/share/x.bmp", true, NameKind::Unc},
        {"file://C:/dir/x.pel", true, NameKind::FileUrl},
        {"file:///C:/dir/x.pel", true, NameKind::FileUrl},
        {"FILE://server/share/x.pel", true, NameKind::FileUrl},
        {"http://host:8080/a/b.qiv", true, NameKind::Address},
        {"mailbox:part", false, NameKind::Relative},  // a colon in a file name
        {"\\\\?\\C:\\x.bmp", false, NameKind::Unc},
        {"\\\\.\\COM1", false, NameKind::Unc},
        {"//./pipe/x", false, NameKind::Unc},
        {"\\??\\C:\\x", false, NameKind::Absolute},
        {"file://./COM1", false, NameKind::FileUrl},
        {"file:////?/C:/x", false, NameKind::FileUrl},
        {"CON", false, NameKind::Relative},
        {"nul.txt", false, NameKind::Relative},
        {"C:\\dir\\aux.bmp", false, NameKind::Absolute},
        {"C:\\dir\\com9 . bmp", false, NameKind::Absolute},
        {"C:\\lpt1\\x.bmp", false, NameKind::Absolute},
        {"C:\\dir\\CONOUT$", false, NameKind::Absolute},
        {"C:\\dir\\console.bmp", true, NameKind::Absolute},
        {"C:\\dir\\com10.bmp", true, NameKind::Absolute},
        {"x.bmp:Zone.Identifier", false, NameKind::Relative},
        {"C:\\dir\\x.bmp::$DATA", false, NameKind::Absolute},
        {"C:\\dir:x\\y.bmp", false, NameKind::Absolute},
        {"file://C:/x.bmp:ads", false, NameKind::FileUrl},
        {"x\tb.bmp", false, NameKind::Relative},
        {"x*.bmp", false, NameKind::Relative},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.allowed, fileNameAllowed(c.name)) << c.name;
        EXPECT_EQ(c.kind, nameKindOf(c.name)) << c.name;
    }
    EXPECT_EQ(NameKind::Empty, nameKindOf(""));
    EXPECT_TRUE(namesLocalFile("C:\\x"));
    EXPECT_TRUE(namesLocalFile("\\\\evil\\share\\x.bmp"));
    EXPECT_TRUE(namesLocalFile("file://x.pel"));
    EXPECT_FALSE(namesLocalFile("x.pel"));
    EXPECT_FALSE(namesLocalFile("https://host/x.pel"));
}

TEST(CallerTrust, SuggestedNamesAndForcedExtensions) {
    struct Case {
        const char* given;
        const char* suggested;
    } names[] = {
        {"C:\\Users\\x\\Start Menu\\Programs\\Startup\\x.hta", "x.hta"},
        {"..\\..\\evil.bmp", "evil.bmp"},
        {"\\\\server\\share\\pic.bmp", "pic.bmp"},
        {"\\\\?\\C:\\x.bmp", "x.bmp"},
        {"x.bmp:Zone.Identifier", "Zone.Identifier"},
        {"http://host/a/b.qiv?id=1#top", "b.qiv"},
        {"dir/", ""},
        {"\\\\.\\CON", ""},
        {"nul.bmp", ""},
        {"  spaced.bmp. . ", "spaced.bmp"},
        {"a\"b<c>|d.bmp", "abcd.bmp"},
        {"..", ""},
    };
    for (const Case& c : names) EXPECT_EQ(c.suggested, suggestedFileName(c.given)) << c.given;

    struct Ext {
        const char* name;
        const char* ext;
        const char* out;
    } exts[] = {
        {"x.bmp", ".bmp", "x.bmp"},
        {"X.BMP", ".bmp", "X.BMP"},
        {"x.hta", ".bmp", "x.hta.bmp"},
        {"x", ".bmp", "x.bmp"},
        {"dir.d\\x", ".pel", "dir.d\\x.pel"},
        {"x.pel", ".qiv", "x.pel.qiv"},
        {"x.bmp.", ".bmp", "x.bmp..bmp"},
    };
    for (const Ext& e : exts) EXPECT_EQ(e.out, withForcedExtension(e.name, e.ext)) << e.name;
    EXPECT_EQ("x.jpg", withPictureExtension("x.jpg"));
    EXPECT_EQ("x.PNG", withPictureExtension("x.PNG"));
    EXPECT_EQ("x.jpeg", withPictureExtension("x.jpeg"));
    EXPECT_EQ("x.hta.bmp", withPictureExtension("x.hta"));
    EXPECT_EQ("[ZoneTransfer]\r\nZoneId=3\r\n", zoneIdentifierText(kZoneInternet));
}

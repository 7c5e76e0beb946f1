// Objects and groups from a script client: a JScript run by cscript adds three objects from
// local PEL files, groups two, moves the group, deletes one and reads counts, identifiers,
// parents, positions and collisions back.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "boxfiles.h"
#include "runprocess.h"

namespace {

std::string jsPath(std::string p) {
    std::string out;
    for (char c : p) out += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return out;
}

// Exit code 0 when every check holds, else the number of the first that failed.
const char kScript[] = R"(
function check(ok, code) { if (!ok) WScript.Quit(code); }
function fails(f) { try { f(); } catch (e) { return e.number; } return 0; }
var E_FAIL = -2147467259;
var c = new ActiveXObject("QivPlayer.3DView.2");
var a = c.AddObject(FILE_A), b = c.AddObject(FILE_B), d = c.AddObject(FILE_D);
check(a == 0 && b == 1 && d == 2, 2);
check(!c.ObjectIsLoaded(a), 3);
var ids = [a, b, d], xs = [0, 3, 3.8];
for (var i = 0; i < ids.length; ++i) {
  c.CurrentObject = ids[i];
  check(c.ObjectShow(true), 4);
  check(c.ObjectIsLoaded(ids[i]), 5);
  check(c.ObjectTranslate(xs[i], 0, 0), 25);
}
// b and d overlap.
check(c.GetCollidingObjectsAsString(d) == "1", 6);
var hits = new VBArray(c.GetCollidingObjects(b)).toArray();
check(hits.length == 1 && hits[0] == d, 7);
var g = c.NewGroup();
check(g == 3 && c.ObjectIsGroup(g) && !c.ObjectIsGroup(a), 8);
check(c.ObjectAddChild(g, a) == 0 && c.ObjectAddChild(g, b) == 1, 9);
check(c.ObjectAddChild(g, g) == -1, 10);
check(c.ObjectGetChildCount(g) == 2 && c.ObjectGetChild(g, 1) == b, 11);
check(c.ObjectGetParent(a) == g && c.ObjectGetParent(d) == -1, 12);
c.CurrentObject = g;
check(c.ObjectShow(true), 13);
check(c.ObjectTranslate(0, 0, 5), 14);
check(c.ObjectGetCurPosZ(a) == 5 && c.ObjectGetCurPosZ(b) == 5 && c.ObjectGetCurPosZ(d) == 0, 15);
check(Math.abs(c.ObjectGetRealPosZ(g) - 5) < 1e-4, 16);
check(!c.GetCollidingObjectsAsString(d), 17);
c.CurrentObject = a;
check(c.ObjectDelete(), 18);
check(c.ObjectGetChildCount(g) == 1 && c.ObjectGetChild(g, 0) == b, 19);
check(fails(function () { c.ObjectIsGroup(a); }) == E_FAIL, 20);
check(fails(function () { c.CurrentObject = a; }) == E_FAIL, 21);
check(fails(function () { c.ObjectDelete(); }) == E_FAIL, 22);
var pos = c.ObjectGetPositionAsString(g).split("/");
check(pos.length == 16 && parseFloat(pos[14]) == 5 && parseFloat(pos[0]) == 1, 23);
check(c.AddObject(FILE_A) == a, 24);
WScript.Quit(0);
)";

TEST(ObjectsScript, GroupsFromJScript) {
    ASSERT_EQ(0u, runProcess("regsvr32.exe /s \"" + qivDllPath() + "\""));
    const std::string dir = qivtest::tempDir("qiv objects script");
    // Three files of boxes (object files hold them centred; the script places them).
    const std::string fa = dir + "\\a.pel", fb = dir + "\\b.pel", fd = dir + "\\d.pel";
    ASSERT_TRUE(qivtest::writeBoxFile(fa, {0, 0, 0}, {0.5f, 0.5f, 0.5f}));
    ASSERT_TRUE(qivtest::writeBoxFile(fb, {0, 0, 0}, {0.5f, 0.5f, 0.5f}, 0.2f, 0.7f, 0.2f));
    ASSERT_TRUE(qivtest::writeBoxFile(fd, {0, 0, 0}, {0.5f, 0.4f, 0.3f}, 0.2f, 0.2f, 0.8f));
    const std::string script = dir + "\\groups.js";
    std::ofstream(script, std::ios::binary) << "var FILE_A = \"" << jsPath(fa) << "\", FILE_B = \"" << jsPath(fb)
                                            << "\", FILE_D = \"" << jsPath(fd) << "\";\n"
                                            << kScript;
    EXPECT_EQ(0u, runProcess("cscript.exe //nologo \"" + script + "\""));
    DeleteFileA(script.c_str());
    EXPECT_EQ(0u, runProcess("regsvr32.exe /s /u \"" + qivDllPath() + "\""));
}

}  // namespace

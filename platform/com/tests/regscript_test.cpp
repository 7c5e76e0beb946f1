#include "com/regscript.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace qcom;

namespace {

const RegReplacements kRepl = {{"MODULE", "C:\\Dir With Space\\srv.dll"}, {"Name", "it's"}};

std::vector<std::string> run(const std::string& script, RegMode mode, const RegReplacements& repl = kRepl) {
    std::vector<RegOp> ops;
    RegScriptError err;
    bool ok = regScriptOperations(script, repl, mode, ops, err);
    EXPECT_TRUE(ok) << err.text() << "\nin: " << script;
    std::vector<std::string> out;
    for (const auto& op : ops) out.push_back(regOpText(op));
    return out;
}

struct Case {
    const char* name;
    const char* script;
    std::vector<std::string> reg, unreg;
};

const Case kCases[] = {
    {"default value", "HKCR { .ext = s 'ExtFile' }",
     {"create HKCR\\.ext", "set HKCR\\.ext @ = s 'ExtFile'"},
     {"delempty HKCR\\.ext"}},
    {"force remove with named value",
     "HKCR\n{\n  ForceRemove .ext = s 'ExtFile'\n  {\n    val 'Content Type' = s 'application/x-ext'\n  }\n}\n",
     {"deltree HKCR\\.ext", "create HKCR\\.ext", "set HKCR\\.ext @ = s 'ExtFile'",
      "set HKCR\\.ext 'Content Type' = s 'application/x-ext'"},
     {"deltree HKCR\\.ext"}},
    {"class key under NoRemove",
     "HKCR { NoRemove CLSID { ForceRemove {12345678-1234-1234-1234-123456789ABC} = s 'Thing' {\n"
     "  Delete 'Implemented Categories'\n"
     "  InprocServer32 = s '%MODULE%' { val ThreadingModel = s 'Apartment' }\n"
     "  Control\n"
     "  'MiscStatus' = s '0' { '1' = s '131473' }\n} } }",
     {"create HKCR\\CLSID", "deltree HKCR\\CLSID\\{12345678-1234-1234-1234-123456789ABC}",
      "create HKCR\\CLSID\\{12345678-1234-1234-1234-123456789ABC}",
      "set HKCR\\CLSID\\{12345678-1234-1234-1234-123456789ABC} @ = s 'Thing'",
      "deltree HKCR\\CLSID\\{12345678-1234-1234-1234-123456789ABC}\\Implemented Categories",
      "create HKCR\\CLSID\\{12345678-1234-1234-1234-123456789ABC}\\InprocServer32",
      "set HKCR\\CLSID\\{12345678-1234-1234-1234-123456789ABC}\\InprocServer32 @ = s 'C:\\Dir With Space\\srv.dll'",
      "set HKCR\\CLSID\\{12345678-1234-1234-1234-123456789ABC}\\InprocServer32 'ThreadingModel' = s 'Apartment'",
      "create HKCR\\CLSID\\{12345678-1234-1234-1234-123456789ABC}\\Control",
      "create HKCR\\CLSID\\{12345678-1234-1234-1234-123456789ABC}\\MiscStatus",
      "set HKCR\\CLSID\\{12345678-1234-1234-1234-123456789ABC}\\MiscStatus @ = s '0'",
      "create HKCR\\CLSID\\{12345678-1234-1234-1234-123456789ABC}\\MiscStatus\\1",
      "set HKCR\\CLSID\\{12345678-1234-1234-1234-123456789ABC}\\MiscStatus\\1 @ = s '131473'"},
     {"deltree HKCR\\CLSID\\{12345678-1234-1234-1234-123456789ABC}"}},
    {"plain keys unregister inside out, NoRemove keeps, Delete is left alone",
     "HKCR { Prog.1 = s 'Desc' { CLSID = s '{X}' NotInsertable Delete Old } NoRemove Shared { val V = d 7 Sub } }",
     {"create HKCR\\Prog.1", "set HKCR\\Prog.1 @ = s 'Desc'", "create HKCR\\Prog.1\\CLSID",
      "set HKCR\\Prog.1\\CLSID @ = s '{X}'", "create HKCR\\Prog.1\\NotInsertable", "deltree HKCR\\Prog.1\\Old",
      "create HKCR\\Shared", "set HKCR\\Shared 'V' = d 7", "create HKCR\\Shared\\Sub"},
     {"delempty HKCR\\Prog.1\\CLSID", "delempty HKCR\\Prog.1\\NotInsertable", "delempty HKCR\\Prog.1",
      "delval HKCR\\Shared 'V'", "delempty HKCR\\Shared\\Sub"}},
    {"Remove deletes the tree on unregister only",
     "HKCR { Remove Obj = s 'Object' { DefaultIcon = s '%MODULE%,0' shell\\open\\command = s "
     "'rundll32 %MODULE%,Show \"%%1\"' } }",
     {"create HKCR\\Obj", "set HKCR\\Obj @ = s 'Object'", "create HKCR\\Obj\\DefaultIcon",
      "set HKCR\\Obj\\DefaultIcon @ = s 'C:\\Dir With Space\\srv.dll,0'", "create HKCR\\Obj\\shell\\open\\command",
      "set HKCR\\Obj\\shell\\open\\command @ = s 'rundll32 C:\\Dir With Space\\srv.dll,Show \"%1\"'"},
     {"deltree HKCR\\Obj"}},
    {"a path name unregisters the keys it made",
     "HKCU { Software\\Maker\\Prog = s 'x' NoRemove A\\B { C } ForceRemove D\\E }",
     {"create HKCU\\Software\\Maker\\Prog", "set HKCU\\Software\\Maker\\Prog @ = s 'x'", "create HKCU\\A\\B",
      "create HKCU\\A\\B\\C", "deltree HKCU\\D\\E", "create HKCU\\D\\E"},
     {"delempty HKCU\\Software\\Maker\\Prog", "delempty HKCU\\Software\\Maker", "delempty HKCU\\Software",
      "delempty HKCU\\A\\B\\C", "deltree HKCU\\D\\E", "delempty HKCU\\D"}},
    {"value types, quotes and replacements",
     "HKEY_CURRENT_USER { K { val a = d '0x1F' val b = d 4294967295 val c = b '00FFa0' val d = b '' "
     "val e = e '%%SystemRoot%%\\x' val 'it''s' = s '%name% %MODULE%' } }",
     {"create HKCU\\K", "set HKCU\\K 'a' = d 31", "set HKCU\\K 'b' = d 4294967295", "set HKCU\\K 'c' = b 00ffa0",
      "set HKCU\\K 'd' = b ", "set HKCU\\K 'e' = e '%SystemRoot%\\x'",
      "set HKCU\\K 'it's' = s 'it's C:\\Dir With Space\\srv.dll'"},
     {"delval HKCU\\K 'a'", "delval HKCU\\K 'b'", "delval HKCU\\K 'c'", "delval HKCU\\K 'd'", "delval HKCU\\K 'e'",
      "delval HKCU\\K 'it's'", "delempty HKCU\\K"}},
    {"keywords ignore case; quoted keywords and replaced words are names",
     "hkcr { forceremove 'Delete' = S 'v' { VAL x = D 1 } noREMOVE 'val' { } %NAME% }",
     {"deltree HKCR\\Delete", "create HKCR\\Delete", "set HKCR\\Delete @ = s 'v'", "set HKCR\\Delete 'x' = d 1",
      "create HKCR\\val", "create HKCR\\it's"},
     {"deltree HKCR\\Delete", "delempty HKCR\\it's"}},
    {"several roots, empty blocks, no entries", "HKLM {} HKU { } HKCC { k } HKCR{}",
     {"create HKCC\\k"}, {"delempty HKCC\\k"}},
    {"empty script", "  \r\n\t ", {}, {}},
    {"non-ASCII names pass through", "HKCR { verb { '0' = s '\xc3\x9a&pravy,0,2' } }",
     {"create HKCR\\verb", "create HKCR\\verb\\0", "set HKCR\\verb\\0 @ = s '\xc3\x9a&pravy,0,2'"},
     {"delempty HKCR\\verb\\0", "delempty HKCR\\verb"}},
};

TEST(RegScript, ScriptsGiveTheirOperations) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(run(c.script, RegMode::Register), c.reg);
        EXPECT_EQ(run(c.script, RegMode::Unregister), c.unreg);
    }
}

TEST(RegScript, OperationsCarryTypedValues) {
    std::vector<RegOp> ops;
    RegScriptError err;
    ASSERT_TRUE(regScriptOperations("HKCU { K = d 0x10 { val B = b 0102 } }", {}, RegMode::Register, ops, err));
    ASSERT_EQ(ops.size(), 3u);
    EXPECT_EQ(ops[1].kind, RegOpKind::SetValue);
    EXPECT_EQ(ops[1].root, RegRoot::CurrentUser);
    EXPECT_EQ(ops[1].type, RegValueType::Dword);
    EXPECT_EQ(ops[1].number, 16u);
    EXPECT_TRUE(ops[1].valueName.empty());
    EXPECT_EQ(ops[2].valueName, "B");
    EXPECT_EQ(ops[2].bytes, (std::vector<uint8_t>{1, 2}));
}

struct Bad {
    std::string script;
    size_t line, column;
    const char* message;  // part of the message
};

const Bad kBad[] = {
    {"HKCR { a = s 'x' ", 1, 6, "missing '}'"},
    {"HKCR { a { b }", 1, 6, "missing '}'"},
    {"HKCR { } }", 1, 10, "expected a root key"},
    {"HKXX { }", 1, 1, "unknown root key 'HKXX'"},
    {"HKCR a", 1, 6, "expected '{'"},
    {"HKCR { a = s 'x }", 1, 14, "unterminated quoted text"},
    {"HKCR {\n  a = z 'x' }", 2, 7, "unknown value type 'z'"},
    {"HKCR { a = s }", 1, 14, "expected the value"},
    {"HKCR { a = }", 1, 12, "expected a value type"},
    {"HKCR { a = d 'x1' }", 1, 14, "invalid number"},
    {"HKCR { a = d '0x' }", 1, 14, "invalid number"},
    {"HKCR { a = d '-1' }", 1, 14, "invalid number"},
    {"HKCR { a = d 4294967296 }", 1, 14, "does not fit"},
    {"HKCR { a = d 0x100000000 }", 1, 14, "does not fit"},
    {"HKCR { a = b '123' }", 1, 14, "even number"},
    {"HKCR { a = b 'zz' }", 1, 14, "not hex"},
    {"HKCR { a = s '%NOPE%' }", 1, 14, "unknown replacement %NOPE%"},
    {"HKCR { a = s '50%' }", 1, 14, "unterminated replacement"},
    {"HKCR { '' }", 1, 8, "empty key name"},
    {"HKCR { 'a\\\\b' }", 1, 8, "empty component"},
    {"HKCR { a\\ }", 1, 8, "empty component"},
    {"HKCR { '\\a' }", 1, 8, "empty component"},
    {"HKCR { val x = s 'y' }", 1, 8, "inside a key"},
    {"HKCR { k { val x s 'y' } }", 1, 18, "expected '='"},
    {"HKCR { k { val '' = s 'y' } }", 1, 16, "empty value name"},
    {"HKCR { Delete k = s 'y' }", 1, 17, "Delete key takes no value"},
    {"HKCR { ForceRemove = s 'x' }", 1, 20, "expected a key name"},
    {"HKCR { = }", 1, 8, "expected a key name"},
    {"HKCR { a\x01 }", 1, 9, "control character"},
    {std::string("HKCR { a = s 'x\0y' }", 21), 1, 16, "NUL character"},
};

TEST(RegScript, MalformedScriptsAreRefusedWithoutOperations) {
    for (const Bad& b : kBad) {
        const std::string& script = b.script;
        SCOPED_TRACE(script);
        std::vector<RegOp> ops(1);
        RegScriptError err;
        // Valid keys before the fault give no operations either.
        std::string withPrefix = "HKCU { good = s 'v' }\n" + script;
        EXPECT_FALSE(regScriptOperations(withPrefix, kRepl, RegMode::Register, ops, err));
        EXPECT_TRUE(ops.empty());
        EXPECT_EQ(err.line, b.line + 1);
        EXPECT_FALSE(regScriptOperations(script, kRepl, RegMode::Unregister, ops, err));
        EXPECT_TRUE(ops.empty());
        EXPECT_EQ(err.line, b.line);
        EXPECT_EQ(err.column, b.column);
        EXPECT_NE(err.message.find(b.message), std::string::npos) << err.message;
        EXPECT_EQ(err.text().rfind("line " + std::to_string(b.line) + ", column ", 0), 0u) << err.text();
    }
}

TEST(RegScript, LimitsOfNamesAndNesting) {
    std::vector<RegOp> ops;
    RegScriptError err;
    std::string ok = "HKCR { '" + std::string(REG_MAX_KEY_COMPONENT, 'k') + "' }";
    EXPECT_TRUE(regScriptOperations(ok, {}, RegMode::Register, ops, err)) << err.text();
    std::string tooLong = "HKCR { '" + std::string(REG_MAX_KEY_COMPONENT + 1, 'k') + "' }";
    EXPECT_FALSE(regScriptOperations(tooLong, {}, RegMode::Register, ops, err));
    EXPECT_NE(err.message.find("too long"), std::string::npos);
    // A long replaced name is checked after the replacement.
    EXPECT_FALSE(regScriptOperations("HKCR { %L% }", {{"L", std::string(300, 'x')}}, RegMode::Register, ops, err));

    auto nested = [](size_t n) {
        std::string s = "HKCR ";
        for (size_t i = 0; i < n; ++i) s += "{ k ";
        s += "{";
        for (size_t i = 0; i <= n; ++i) s += "}";
        return s;
    };
    EXPECT_TRUE(regScriptOperations(nested(REG_MAX_NESTING - 1), {}, RegMode::Unregister, ops, err)) << err.text();
    EXPECT_EQ(ops.size(), REG_MAX_NESTING - 1);
    EXPECT_FALSE(regScriptOperations(nested(REG_MAX_NESTING), {}, RegMode::Register, ops, err));
    EXPECT_NE(err.message.find("nested too deeply"), std::string::npos);
    EXPECT_FALSE(regScriptOperations(nested(100000), {}, RegMode::Register, ops, err));
}

}  // namespace

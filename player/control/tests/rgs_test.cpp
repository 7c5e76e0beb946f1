// The control's registration scripts through the registrar's parser: every
// language's copy parses and gives the same operations but for the verb texts;
// what register and unregister do with the keys the hosts rely on.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "com/regscript.h"

namespace {

const char* const kLanguages[] = {"1033", "1031", "1034", "1063", "1036", "1040", "1046",
                                  "1045", "1029", "1050", "1049", "1032", "1041"};

std::string readScript(const std::string& name) {
#ifdef _WIN32
    std::ifstream f(std::string("Z:") + QIV_RGS_DIR + "/" + name, std::ios::binary);
#else
    std::ifstream f(std::string(QIV_RGS_DIR) + "/" + name, std::ios::binary);
#endif
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

std::vector<std::string> ops(const std::string& script, qcom::RegMode mode) {
    EXPECT_FALSE(script.empty());
    std::vector<qcom::RegOp> list;
    qcom::RegScriptError err;
    EXPECT_TRUE(qcom::regScriptOperations(script, {{"MODULE", "C:\\Q P\\QivPlayer.dll"}}, mode, list, err))
        << err.text();
    std::vector<std::string> out;
    for (const qcom::RegOp& op : list) out.push_back(qcom::regOpText(op));
    return out;
}

bool has(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

size_t indexOf(const std::vector<std::string>& v, const std::string& s) {
    return static_cast<size_t>(std::find(v.begin(), v.end(), s) - v.begin());
}

TEST(RegistrationScripts, EnglishRegister) {
    std::vector<std::string> r = ops(readScript("QivPlayer-1033.rgs"), qcom::RegMode::Register);
    const std::string ctl = "HKCR\\CLSID\\{138301F1-E2CD-44C4-BD02-DE847F77B26B}";
    for (const char* want : {
             "deltree HKCR\\.qiv",
             "set HKCR\\.qiv @ = s 'QivObject'",
             "set HKCR\\.pel 'Content Type' = s 'application/x-qiv-object'",
             "set HKCR\\PelObject\\shell\\open\\command @ = s 'rundll32 \"C:\\Q P\\QivPlayer.dll\",DisplayObject \"%1\"'",
             "set HKCR\\QivObject\\DefaultIcon @ = s 'C:\\Q P\\QivPlayer.dll,0'",
             "set HKCR\\MIME\\Database\\Content Type\\application/x-qiv-object 'Extension' = s '.pel'",
             "set HKCR\\QivPlayer.3DView\\CLSID @ = s '{138301F1-E2CD-44C4-BD02-DE847F77B26B}'",
             "set HKCR\\QivPlayer.3DView\\CurVer @ = s 'QivPlayer.3DView.2'",
             "create HKCR\\QivPlayer.3DView.1\\NotInsertable",
             "set HKCR\\CLSID\\{6EF2E0AD-9DE6-4706-AA71-0CE237D3E64E}\\TreatAs @ = s "
             "'{138301F1-E2CD-44C4-BD02-DE847F77B26B}'",
         })
        EXPECT_TRUE(has(r, want)) << want;
    EXPECT_TRUE(has(r, "set " + ctl + "\\MiscStatus\\1 @ = s '131473'"));
    EXPECT_TRUE(has(r, "set " + ctl + "\\verb\\1 @ = s '&Load object...,0,2'"));
    EXPECT_TRUE(has(r, "set " + ctl + "\\InprocServer32 'ThreadingModel' = s 'Apartment'"));
    // The class key is made afresh, and its categories go before anything is written in it.
    size_t fresh = indexOf(r, "deltree " + ctl), cats = indexOf(r, "deltree " + ctl + "\\Implemented Categories");
    ASSERT_LT(fresh, r.size());
    ASSERT_LT(cats, r.size());
    EXPECT_LT(fresh, cats);
    EXPECT_LT(cats, indexOf(r, "set " + ctl + "\\ProgID @ = s 'QivPlayer.3DView.2'"));
    EXPECT_FALSE(has(r, "deltree HKCR\\MIME"));
    EXPECT_FALSE(has(r, "deltree HKCR\\CLSID"));
}

TEST(RegistrationScripts, EnglishUnregister) {
    std::vector<std::string> u = ops(readScript("QivPlayer-1033.rgs"), qcom::RegMode::Unregister);
    for (const char* want : {"deltree HKCR\\.qiv", "deltree HKCR\\PelObject", "deltree HKCR\\QivObject",
                             "deltree HKCR\\MIME\\Database\\Content Type\\application/x-qiv-object",
                             "deltree HKCR\\CLSID\\{138301F1-E2CD-44C4-BD02-DE847F77B26B}",
                             "deltree HKCR\\CLSID\\{6EF2E0AD-9DE6-4706-AA71-0CE237D3E64E}"})
        EXPECT_TRUE(has(u, want)) << want;
    for (const std::string& op : u) {
        EXPECT_NE(op, "deltree HKCR\\MIME");
        EXPECT_NE(op, "deltree HKCR\\CLSID");
        EXPECT_NE(op, "delempty HKCR\\MIME\\Database");
        EXPECT_NE(op, "delempty HKCR\\CLSID");
    }
}

TEST(RegistrationScripts, LanguagesDifferOnlyInVerbs) {
    auto withoutVerbs = [](std::vector<std::string> v) {
        v.erase(std::remove_if(v.begin(), v.end(),
                               [](const std::string& s) {
                                   return s.find("\\verb\\") != std::string::npos &&
                                          s.rfind("set ", 0) == 0;
                               }),
                v.end());
        return v;
    };
    for (qcom::RegMode mode : {qcom::RegMode::Register, qcom::RegMode::Unregister}) {
        std::vector<std::string> english = withoutVerbs(ops(readScript("QivPlayer-1033.rgs"), mode));
        for (const char* lang : kLanguages) {
            std::vector<std::string> r = ops(readScript(std::string("QivPlayer-") + lang + ".rgs"), mode);
            EXPECT_EQ(english, withoutVerbs(r)) << lang;
            if (mode == qcom::RegMode::Register) {
                EXPECT_EQ(3, std::count_if(r.begin(), r.end(), [](const std::string& s) {
                              return s.find("\\verb\\") != std::string::npos && s.find(",0,2'") != std::string::npos;
                          })) << lang;
            }
        }
    }
}

TEST(RegistrationScripts, Pages) {
    struct Case { const char* file; const char* name; const char* clsid; } cases[] = {
        {"QivPlayerOptions.rgs", "Options", "{5B76391F-C43A-408E-A5B3-EF6D9DF6644E}"},
        {"QivPlayerPaths.rgs", "Paths", "{A518E10B-5D53-4E01-834D-DAFCC3766B0B}"},
    };
    for (const Case& c : cases) {
        std::string n = c.name;
        std::vector<std::string> r = ops(readScript(c.file), qcom::RegMode::Register);
        EXPECT_TRUE(has(r, "set HKCR\\QivPlayer." + n + ".1 @ = s 'QivPlayer " + n + "'"));
        EXPECT_TRUE(has(r, "set HKCR\\QivPlayer." + n + ".1\\CLSID @ = s '" + c.clsid + "'"));
        EXPECT_TRUE(has(r, "set HKCR\\QivPlayer." + n + "\\CurVer @ = s 'QivPlayer." + n + ".1'"));
        EXPECT_TRUE(has(r, std::string("create HKCR\\CLSID\\") + c.clsid + "\\Programmable"));
        EXPECT_TRUE(has(r, std::string("set HKCR\\CLSID\\") + c.clsid +
                               "\\InprocServer32 @ = s 'C:\\Q P\\QivPlayer.dll'"));
        std::vector<std::string> u = ops(readScript(c.file), qcom::RegMode::Unregister);
        EXPECT_TRUE(has(u, std::string("deltree HKCR\\CLSID\\") + c.clsid));
    }
}

}  // namespace

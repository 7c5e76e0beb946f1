// QivPlayer.dll as a host meets it: regsvr32 and regsvr32 /u with the registry
// checked key by key, creation by the three ProgIDs, the exports, the type
// library resource, and JScript and VBScript clients run by cscript.
#include <windows.h>
#include <comcat.h>
#include <objsafe.h>
#include <ocidl.h>

#include <gtest/gtest.h>

#include "runprocess.h"

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "com/registrar.h"
#include "qivplayer_idl.h"
#include "resources/stringids.h"
#include "typelib_check.h"

namespace {

const char kLegacy[] = "{6EF2E0AD-9DE6-4706-AA71-0CE237D3E64E}";
const CLSID kLegacyClsid = {0x6ef2e0ad, 0x9de6, 0x4706, {0xaa, 0x71, 0x0c, 0xe2, 0x37, 0xd3, 0xe6, 0x4e}};
const char kControl[] = "{138301F1-E2CD-44C4-BD02-DE847F77B26B}";
const char kOptions[] = "{5B76391F-C43A-408E-A5B3-EF6D9DF6644E}";
const char kPaths[] = "{A518E10B-5D53-4E01-834D-DAFCC3766B0B}";
const char kLibid[] = "{18D06334-FDA2-425F-8D12-A23BAA23137C}";
const char kCatInit[] = "{7DD95802-9882-11CF-9FA9-00AA006C42C4}";
const char kCatScript[] = "{7DD95801-9882-11CF-9FA9-00AA006C42C4}";

bool keyExists(const std::string& key) {
    HKEY k;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &k)) return false;
    RegCloseKey(k);
    return true;
}

// The value (name empty: the default value); "<none>" when missing.
std::string value(const std::string& key, const char* name = "") {
    HKEY k;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &k)) return "<no key>";
    char buf[1024] = {};
    DWORD size = sizeof buf - 1, type = 0;
    LONG r = RegQueryValueExA(k, *name ? name : nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
    RegCloseKey(k);
    if (r) return "<none>";
    return std::string(buf);
}

std::vector<std::string> subkeys(const std::string& key) {
    std::vector<std::string> out;
    HKEY k;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &k)) return out;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD n = sizeof name;
        if (RegEnumKeyExA(k, i, name, &n, nullptr, nullptr, nullptr, nullptr)) break;
        out.push_back(name);
    }
    RegCloseKey(k);
    std::sort(out.begin(), out.end());
    return out;
}

// The operations of the library's own scripts (REGISTRY 101 in the language a
// lookup picks, 120, 115), as regsvr32 runs them.
std::vector<qcom::RegOp> scriptOperations(qcom::RegMode mode, const std::string& module) {
    std::vector<qcom::RegOp> all;
    HMODULE dll = LoadLibraryExA(qivDllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    EXPECT_NE(nullptr, dll);
    if (!dll) return all;
    for (unsigned id : {101u, 120u, 115u}) {
        std::string text;
        EXPECT_EQ(S_OK, qcom::regLoadScript(dll, id, 0, text)) << id;
        std::vector<qcom::RegOp> ops;
        qcom::RegScriptError err;
        EXPECT_TRUE(qcom::regScriptOperations(text, {{"MODULE", module}}, mode, ops, err)) << id << ": " << err.text();
        all.insert(all.end(), ops.begin(), ops.end());
    }
    FreeLibrary(dll);
    return all;
}

// Every key and value a script asks for is in the registry as it says
// (register), or gone (unregister).
void checkOperationsDone(const std::vector<qcom::RegOp>& ops) {
    for (const qcom::RegOp& op : ops) {
        SCOPED_TRACE(qcom::regOpText(op));
        ASSERT_EQ(qcom::RegRoot::ClassesRoot, op.root);
        switch (op.kind) {
        case qcom::RegOpKind::CreateKey:
            EXPECT_TRUE(keyExists(op.key));
            break;
        case qcom::RegOpKind::SetValue:
            ASSERT_EQ(qcom::RegValueType::String, op.type);
            EXPECT_EQ(op.text, value(op.key, op.valueName.c_str()));
            break;
        case qcom::RegOpKind::DeleteValue: {
            std::string v = value(op.key, op.valueName.c_str());
            EXPECT_TRUE(v == "<none>" || v == "<no key>") << v;
            break;
        }
        case qcom::RegOpKind::DeleteTree: {
            // Made afresh by the operations after it, or (the categories) by
            // the registration after the scripts.
            bool remade = std::any_of(ops.begin(), ops.end(), [&](const qcom::RegOp& o) {
                return o.kind == qcom::RegOpKind::CreateKey && o.key == op.key;
            });
            bool categories = op.key.size() > 23 && op.key.ends_with("\\Implemented Categories");
            if (!remade && !categories) EXPECT_FALSE(keyExists(op.key));
            break;
        }
        case qcom::RegOpKind::DeleteIfNoSubkeys:
            EXPECT_TRUE(!keyExists(op.key) || !subkeys(op.key).empty());
            break;
        }
    }
}

class Server : public ::testing::Test {
protected:
    static void SetUpTestSuite() { CoInitialize(nullptr); }
    static void TearDownTestSuite() { CoUninitialize(); }
    static DWORD regsvr32(bool unregister) {
        return runProcess(std::string("regsvr32.exe /s ") + (unregister ? "/u " : "") + "\"" + qivDllPath() + "\"");
    }
};

// Runs first: everything below needs the registration.
TEST_F(Server, RegistersKeyByKey) {
    ASSERT_EQ(0u, regsvr32(false));
    const std::string clsid = std::string("CLSID\\") + kControl;
    const std::string module = value(clsid + "\\InprocServer32");
    ASSERT_NE("<no key>", module);
    char full[MAX_PATH];
    GetFullPathNameA(qivDllPath().c_str(), MAX_PATH, full, nullptr);
    EXPECT_EQ(0, lstrcmpiA(full, module.c_str())) << module;

    struct Row { std::string key; const char* name; std::string want; };
    const std::string command = "rundll32 \"" + module + "\",DisplayObject \"%1\"";
    const Row rows[] = {
        {".qiv", "", "QivObject"},        {".qiv", "Content Type", "application/x-qiv-object"},
        {".kvo", "", "PelObject"},        {".kvo", "Content Type", "application/x-qiv-object"},
        {".vov", "", "QivObject"},        {".vov", "Content Type", "application/x-qiv-object"},
        {".pel", "", "PelObject"},        {".pel", "Content Type", "application/x-qiv-object"},
        {"PelObject", "", "3D Objekt"},   {"PelObject\\DefaultIcon", "", module + ",0"},
        {"PelObject\\shell\\open\\command", "", command},
        {"QivObject", "", "qiv Objekt"},  {"QivObject\\DefaultIcon", "", module + ",0"},
        {"QivObject\\shell\\open\\command", "", command},
        {"MIME\\Database\\Content Type\\application/x-qiv-object", "Extension", ".pel"},
        {"QivPlayer.3DView.1", "", "Qiv-Player Version 1.x"},
        {"QivPlayer.3DView.1\\CLSID", "", kLegacy},
        {"QivPlayer.3DView.2", "", "Qiv-Player (Tarnwick)"},
        {"QivPlayer.3DView.2\\CLSID", "", kControl},
        {"QivPlayer.3DView", "", "Qiv-Player (Tarnwick)"},
        {"QivPlayer.3DView\\CLSID", "", kControl},
        {"QivPlayer.3DView\\CurVer", "", "QivPlayer.3DView.2"},
        {std::string("CLSID\\") + kLegacy, "", "Qiv-Player Version 1.x"},
        {std::string("CLSID\\") + kLegacy + "\\InprocServer32", "", module},
        {std::string("CLSID\\") + kLegacy + "\\AutoTreatAs", "", kControl},
        {std::string("CLSID\\") + kLegacy + "\\TreatAs", "", kControl},
        {clsid, "", "Qiv-Player (Tarnwick)"},
        {clsid + "\\ProgID", "", "QivPlayer.3DView.2"},
        {clsid + "\\VersionIndependentProgID", "", "QivPlayer.3DView"},
        {clsid + "\\InprocServer32", "ThreadingModel", "Apartment"},
        {clsid + "\\ToolboxBitmap32", "", module + ", 1"},
        {clsid + "\\MiscStatus", "", "0"},
        {clsid + "\\MiscStatus\\1", "", "131473"},
        {clsid + "\\TypeLib", "", kLibid},
        {clsid + "\\Version", "", "1.0"},
        {"QivPlayer.Options.1", "", "QivPlayer Options"},
        {"QivPlayer.Options.1\\CLSID", "", kOptions},
        {"QivPlayer.Options", "", "QivPlayer Options"},
        {"QivPlayer.Options\\CurVer", "", "QivPlayer.Options.1"},
        {std::string("CLSID\\") + kOptions, "", "QivPlayer Options"},
        {std::string("CLSID\\") + kOptions + "\\InprocServer32", "", module},
        {std::string("CLSID\\") + kOptions + "\\InprocServer32", "ThreadingModel", "Apartment"},
        {"QivPlayer.Paths.1", "", "QivPlayer Paths"},
        {"QivPlayer.Paths.1\\CLSID", "", kPaths},
        {"QivPlayer.Paths", "", "QivPlayer Paths"},
        {"QivPlayer.Paths\\CurVer", "", "QivPlayer.Paths.1"},
        {std::string("CLSID\\") + kPaths, "", "QivPlayer Paths"},
        {std::string("CLSID\\") + kPaths + "\\InprocServer32", "", module},
    };
    for (const Row& r : rows) EXPECT_EQ(r.want, value(r.key, r.name)) << r.key << " : " << r.name;
    for (const char* k : {"QivPlayer.3DView.1\\NotInsertable", "QivPlayer.3DView.2\\Insertable"})
        EXPECT_TRUE(keyExists(k)) << k;
    for (const char* k : {"Control", "Programmable", "Insertable"}) EXPECT_TRUE(keyExists(clsid + "\\" + k)) << k;
    EXPECT_TRUE(keyExists(std::string("CLSID\\") + kOptions + "\\Programmable"));
    EXPECT_TRUE(keyExists(std::string("CLSID\\") + kPaths + "\\Programmable"));
    // The verbs of the system's language; this prefix runs in English.
    LANGID ui = GetUserDefaultUILanguage();
    if (PRIMARYLANGID(ui) == LANG_ENGLISH) {
        EXPECT_EQ("&Edit,0,2", value(clsid + "\\verb\\0"));
        EXPECT_EQ("&Load object...,0,2", value(clsid + "\\verb\\1"));
        EXPECT_EQ("&Start animation,0,2", value(clsid + "\\verb\\2"));
    }
    EXPECT_EQ(std::vector<std::string>({"0", "1", "2"}), subkeys(clsid + "\\verb"));
    EXPECT_EQ(std::vector<std::string>({kCatScript, kCatInit}), subkeys(clsid + "\\Implemented Categories"));
    EXPECT_TRUE(keyExists(std::string("TypeLib\\") + kLibid + "\\1.0"));
    EXPECT_TRUE(keyExists(std::string("Interface\\{E52F199D-4345-464A-AD44-CCBEED746366}")));
    // And every operation of the library's scripts, as the scripts say.
    std::vector<qcom::RegOp> ops = scriptOperations(qcom::RegMode::Register, module);
    EXPECT_GT(ops.size(), 60u);
    checkOperationsDone(ops);
}

TEST_F(Server, RegisteringTwiceLeavesTwoCategories) {
    ASSERT_EQ(0u, regsvr32(false));
    const std::string cats = std::string("CLSID\\") + kControl + "\\Implemented Categories";
    EXPECT_EQ(std::vector<std::string>({kCatScript, kCatInit}), subkeys(cats));
}

TEST_F(Server, CreatedByTheThreeProgIDs) {
    for (const wchar_t* progid : {L"QivPlayer.3DView.2", L"QivPlayer.3DView", L"QivPlayer.3DView.1"}) {
        SCOPED_TRACE(qivtest::Narrow(progid));
        CLSID id;
        ASSERT_EQ(S_OK, CLSIDFromProgID(progid, &id));
        IQivPlayer2* p = nullptr;
        ASSERT_EQ(S_OK, CoCreateInstance(id, nullptr, CLSCTX_INPROC_SERVER, IID_IQivPlayer2,
                                         reinterpret_cast<void**>(&p)));
        IPersist* persist = nullptr;
        ASSERT_EQ(S_OK, p->QueryInterface(IID_IPersist, reinterpret_cast<void**>(&persist)));
        CLSID actual;
        persist->GetClassID(&actual);
        EXPECT_TRUE(IsEqualCLSID(CLSID_QivPlayer, actual)) << "a control of the current class";
        persist->Release();
        LONG t = 0;
        EXPECT_EQ(S_OK, p->get_TooltipTimeout(&t));
        EXPECT_EQ(750, t);
        p->Release();
    }
}

TEST_F(Server, Exports) {
    HMODULE dll = LoadLibraryA(qivDllPath().c_str());
    ASSERT_NE(nullptr, dll);
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    using CanUnloadFn = HRESULT(STDAPICALLTYPE*)();
    using CreateFn = IQivPlayer*(STDAPICALLTYPE*)();
    auto getClassObject = reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
    auto canUnload = reinterpret_cast<CanUnloadFn>(reinterpret_cast<void*>(GetProcAddress(dll, "DllCanUnloadNow")));
    auto create = reinterpret_cast<CreateFn>(reinterpret_cast<void*>(GetProcAddress(dll, "CreateInternalControl")));
    ASSERT_TRUE(getClassObject && canUnload && create);
    ASSERT_NE(nullptr, GetProcAddress(dll, "DllRegisterServer"));
    ASSERT_NE(nullptr, GetProcAddress(dll, "DllUnregisterServer"));
    ASSERT_NE(nullptr, GetProcAddress(dll, "DisplayObject"));
    // The string tables are in the library.
    char text[260] = {};
    EXPECT_GT(LoadStringA(dll, IDS_SWITCH_TO_3D, text, sizeof text), 0);
    int n = LoadStringA(dll, IDS_OBJECT_FOLDER, text, sizeof text);
    EXPECT_EQ(std::string("\\Qiv"), std::string(text, n > 0 ? n : 0));

    IClassFactory* f = nullptr;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE,
              getClassObject(kLegacyClsid, IID_IClassFactory, reinterpret_cast<void**>(&f)));
    EXPECT_EQ(nullptr, f);
    ASSERT_EQ(S_OK, getClassObject(CLSID_QivPlayer, IID_IClassFactory, reinterpret_cast<void**>(&f)));
    IUnknown* agg = nullptr;
    EXPECT_EQ(CLASS_E_NOAGGREGATION,
              f->CreateInstance(reinterpret_cast<IUnknown*>(f), IID_IQivPlayer2, reinterpret_cast<void**>(&agg)));
    EXPECT_EQ(S_OK, canUnload());
    f->LockServer(TRUE);
    EXPECT_EQ(S_FALSE, canUnload());
    f->LockServer(FALSE);
    f->Release();

    IQivPlayer* p = create();
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(S_FALSE, canUnload()) << "a control lives";
    EXPECT_EQ(1u, p->Release());
    EXPECT_EQ(0u, p->Release()) << "created with two references";
    EXPECT_EQ(S_OK, canUnload());

    for (const CLSID* pageClass : {&CLSID_QivPlayerOptions, &CLSID_QivPlayerPaths}) {
        IUnknown* page = nullptr;
        ASSERT_EQ(S_OK, CoCreateInstance(*pageClass, nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage,
                                         reinterpret_cast<void**>(&page)));
        EXPECT_EQ(S_FALSE, canUnload()) << "a page lives";
        page->Release();
        EXPECT_EQ(S_OK, canUnload());
    }
    FreeLibrary(dll);
}

TEST_F(Server, TypeLibraryResource) {
    std::wstring path = qivtest::Widen(qivDllPath().c_str());
    ITypeLib* lib = nullptr;
    ASSERT_EQ(S_OK, LoadTypeLibEx(path.c_str(), REGKIND_NONE, &lib));
    qivtest::CheckQivPlayerLibrary(lib);
    lib->Release();
    // And the registered one.
    ASSERT_EQ(S_OK, LoadRegTypeLib(LIBID_QivPlayer, 1, 0, 1033, &lib));
    lib->Release();
}

// Each language's copy of the control's script, read from the library and
// decoded from its language's code page, carries that language's verbs.
TEST_F(Server, VerbsOfEveryLanguage) {
    struct Row { LANGID lang; const char* verbs[3]; };
    const Row rows[] = {
        {1033, {"&Edit", "&Load object...", "&Start animation"}},
        {1031, {"&Bearbeiten", "&Objekt laden...", "&Animieren"}},
        {1034, {"&Bearbeiten", "&Objekt laden...", "&Animieren"}},
        {1063, {"&Bearbeiten", "&Objekt laden...", "&Animieren"}},
        {1036, {"&Edition", "&Charger objet ...", "&Animer"}},
        {1040, {"&Modifica", "Apri &oggetto...", "&Avvia animazione"}},
        {1046, {"&Editar", "&Abrir objeto...", "&Animação"}},
        {1045, {"&Edycja", "&Ładuj obiekt...", "&Animacja"}},
        {1029, {"Ú&pravy", "&Načtení objektu...", "&Animovat"}},
        {1050, {"&Obraditi", "&Učitati objekt...", "&Animirati"}},
        {1049, {"&Обработать", "&Загрузить объект...", "&Анимация"}},
        {1032, {"Επεξεργασία", "Φόρτωμα αντικειμένου...", "Κίνηση (animation)"}},
        {1041, {"編集(&E)", "ｵﾌﾞｼﾞｪｸﾄ読み込み(&L)...", "ｱﾆﾒｰｼｮﾝ開始(&S)"}},
    };
    HMODULE dll = LoadLibraryExA(qivDllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, dll);
    for (const Row& r : rows) {
        std::string text;
        ASSERT_EQ(S_OK, qcom::regLoadScript(dll, 101, r.lang, text)) << r.lang;
        for (int v = 0; v < 3; ++v) {
            std::string line = "'" + std::to_string(v) + "' = s '" + r.verbs[v] + ",0,2'";
            EXPECT_NE(std::string::npos, text.find(line)) << r.lang << ": " << line;
        }
    }
    FreeLibrary(dll);
}

std::string writeScript(const char* name, const std::string& text) {
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    std::string path = std::string(dir) + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

const char kJScript[] = R"(
function check(ok, code) { if (!ok) WScript.Quit(code); }
var names = ["QivPlayer.3DView.2", "QivPlayer.3DView", "QivPlayer.3DView.1"];
for (var i = 0; i < names.length; ++i) {
  var c = new ActiveXObject(names[i]);
  check(c.TooltipTimeout == 750, 10 + i);
}
var c = new ActiveXObject("QivPlayer.3DView.2");
check(c.BackColor == 0xC0C0C0, 2);
check(c.DisplayMode == 3, 3);
check(c.CurrentObject == -1, 4);
c.TooltipTimeout = 400;
check(c.TooltipTimeout == 400, 5);
c.Language = "fr";
check(c.Language == "FR", 6);
var failed = 0;
try { c.Language = "FRA"; } catch (e) { failed = e.number; }
check(failed == -2147024809, 7);
failed = 0;
try { c.BackStyle = 5; } catch (e) { failed = e.number; }
check(failed == -2147024809, 8);
check(c.RegisterChunkNotify(3, false) == true, 9);
WScript.Quit(0);
)";

const char kVBScript[] = R"(
Set c = CreateObject("QivPlayer.3DView")
If c.TooltipTimeout <> 750 Then WScript.Quit 2
c.PreviewMode = 1
If c.PreviewMode <> 1 Then WScript.Quit 3
c.Language = "it"
If c.Language <> "IT" Then WScript.Quit 4
If c.BackColor <> &HC0C0C0 Then WScript.Quit 5
On Error Resume Next
c.Language = "ITA"
If Err.Number <> &H80070057 Then WScript.Quit 6
Err.Clear
c.CurrentObject = 3
If Err.Number <> &H80004005 Then WScript.Quit 7
On Error Goto 0
If c.Language <> "IT" Then WScript.Quit 8
WScript.Quit 0
)";

TEST_F(Server, ScriptClients) {
    std::string js = writeScript("qivplayer_test.js", kJScript);
    std::string vbs = writeScript("qivplayer_test.vbs", kVBScript);
    EXPECT_EQ(0u, runProcess("cscript.exe //nologo \"" + js + "\""));
    EXPECT_EQ(0u, runProcess("cscript.exe //nologo \"" + vbs + "\""));
    DeleteFileA(js.c_str());
    DeleteFileA(vbs.c_str());
}

// Runs after every test that needs the registration.
TEST_F(Server, UnregisterKeepsTypeLibraryAndNoRemoveKeys) {
    ASSERT_EQ(0u, regsvr32(true));
    for (const std::string& k :
         {std::string(".qiv"), std::string(".kvo"), std::string(".vov"), std::string(".pel"),
          std::string("PelObject"), std::string("QivObject"), std::string("QivPlayer.3DView"),
          std::string("QivPlayer.3DView.1"), std::string("QivPlayer.3DView.2"), std::string("QivPlayer.Options"),
          std::string("QivPlayer.Options.1"), std::string("QivPlayer.Paths"), std::string("QivPlayer.Paths.1"),
          std::string("CLSID\\") + kControl, std::string("CLSID\\") + kLegacy, std::string("CLSID\\") + kOptions,
          std::string("CLSID\\") + kPaths, std::string("MIME\\Database\\Content Type\\application/x-qiv-object")})
        EXPECT_FALSE(keyExists(k)) << k;
    for (const char* k : {"MIME", "MIME\\Database", "MIME\\Database\\Content Type", "CLSID"})
        EXPECT_TRUE(keyExists(k)) << k;
    EXPECT_TRUE(keyExists(std::string("TypeLib\\") + kLibid + "\\1.0"));
    checkOperationsDone(scriptOperations(qcom::RegMode::Unregister, "C:\\QivPlayer.dll"));
}

// Unregistering what is not (or only partly) registered removes what is left
// and succeeds.
TEST_F(Server, UnregisterAgainAndAfterPartialRemoval) {
    EXPECT_EQ(0u, regsvr32(true));
    ASSERT_EQ(0u, regsvr32(false));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeA(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + kControl).c_str()));
    EXPECT_EQ(0u, regsvr32(true));
    for (const char* k : {"QivPlayer.3DView.2", "QivPlayer.3DView", ".qiv", "QivPlayer.Options"})
        EXPECT_FALSE(keyExists(k)) << k;
}

}  // namespace

// The save-object dialog, driven from a timer: the Qiv-format box of its template is offered
// (enabled and checked) only for an object that came from a Qiv container; a click on it
// switches the type list and the extension that names without one get; the file written has
// the chosen format.
#include <windows.h>
#include <docobj.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "container_win.h"
#include "ctlmodule_win.h"
#include "dialogs_win.h"
#include "document_win.h"
#include "embeddedcontrol.h"
#include "modalscript.h"
#include "qiv_sample.h"
#include "qivctl_win.h"
#include "render/sample.h"
#include "resources/dialogids.h"
#include "scene/pelchunk.h"
#include "testfiles.h"

namespace {

using qivtest::DialogWithControl;
using qivtest::ModalScript;

constexpr int kTypeList = 0x470;

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// An object file of the PEL format (its chunk directory reads), not a container.
bool isPelFile(const std::string& path) {
    char name[PEL_NAME_FIELD] = {};
    PelFileInfo info{};
    uint32_t count = 0;
    PelChunkEntry* dir = nullptr;
    if (!pelReadDirectory(path.c_str(), name, &info, &count, &dir)) return false;
    pelFreeDirectory(&dir);
    return !IsQivContainerFile(path.c_str());
}

// What the dialog showed at one moment.
struct Seen {
    bool found = false, boxEnabled = false, boxChecked = false;
    int typeIndex = -1;
    std::string firstType, name;
    std::string defaultExtension;  // the last one the hook set; empty: none
};

// The default extensions the dialog is told (the file dialog under Wine ignores them, so they
// are caught on their way in).
WNDPROC g_dialogProc = nullptr;
std::string g_defaultExtension;
LRESULT CALLBACK recordDefaultExtension(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == CDM_SETDEFEXT && lp) g_defaultExtension = reinterpret_cast<const char*>(lp);
    return CallWindowProcA(g_dialogProc, w, msg, wp, lp);
}

Seen look(HWND dialog) {
    Seen s;
    HWND box = qivtest::Descendant(dialog, IDC_QIV_FORMAT), types = qivtest::Descendant(dialog, kTypeList);
    if (!box || !types) return s;
    s.found = true;
    s.boxEnabled = IsWindowEnabled(box) != FALSE;
    s.boxChecked = SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
    s.typeIndex = int(SendMessageW(types, CB_GETCURSEL, 0, 0));
    char text[256] = {};
    SendMessageA(types, CB_GETLBTEXT, 0, LPARAM(text));
    s.firstType = text;
    HWND name = qivtest::Descendant(dialog, 0x47c);
    if (!name) name = qivtest::Descendant(dialog, 0x480);
    GetWindowTextA(name, text, sizeof text);
    s.name = text;
    s.defaultExtension = g_defaultExtension;
    return s;
}

class SaveObjectDialog : public qivtest::EmbeddedControlTest<> {
protected:
    void SetUp() override {
        qivSetMessageLog(
            [](void* context, const char* text, const char*, UINT) {
                static_cast<std::vector<std::string>*>(context)->push_back(text ? text : "");
                return IDOK;
            },
            &messages_);
        EmbeddedControlTest::SetUp();
        dir_ = qivtest::tempDir("qivsavedlg");
        BSTR tex = AnsiToBstr(dir_.c_str(), -1);
        p2_->put_TexturePath(tex);
        SysFreeString(tex);
    }
    void TearDown() override {
        EmbeddedControlTest::TearDown();
        qivSetMessageLog(nullptr, nullptr);
    }
    bool load(const std::string& path) {
        BSTR b = AnsiToBstr(path.c_str(), -1);
        VARIANT_BOOL ok = VARIANT_FALSE;
        EXPECT_EQ(S_OK, p2_->LoadObject(b, &ok));
        SysFreeString(b);
        return ok == VARIANT_TRUE;
    }
    // Runs the dialog through SaveObject with an empty name: `before` is what it showed when
    // it opened, `after` what it showed after act(dialog); then name is confirmed.
    VARIANT_BOOL save(const std::function<void(HWND)>& act, const std::string& name, Seen* before, Seen* after) {
        HWND dialog = nullptr;
        ModalScript script({[&] {
                                dialog = DialogWithControl(IDC_QIV_FORMAT);
                                if (!dialog) return false;
                                g_defaultExtension.clear();
                                g_dialogProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
                                    dialog, GWLP_WNDPROC, LONG_PTR(recordDefaultExtension)));
                                *before = look(dialog);
                                act(dialog);
                                *after = look(dialog);
                                return true;
                            },
                            [&] { return qivtest::ConfirmFileDialog(dialog, name); }});
        BSTR empty = SysAllocString(L"");
        VARIANT_BOOL ok = VARIANT_FALSE;
        EXPECT_EQ(S_OK, p2_->SaveObject(empty, VARIANT_FALSE, nullptr, &ok));
        SysFreeString(empty);
        EXPECT_TRUE(script.finished());
        return ok;
    }

    std::vector<std::string> messages_;
    std::string dir_;
};

int g_dialogRuns = 0;
BOOL WINAPI countAndCancel(OPENFILENAMEA*) { return ++g_dialogRuns, FALSE; }

// "Save object..." serves an object from a Qiv file as one from an object file: enabled in the
// command state, and carried out (the dialog opens) through the command target.
TEST_F(SaveObjectDialog, SaveObjectCommandServesQivAndPelObjects) {
    const std::string qiv = dir_ + "\\command.qiv", pel = dir_ + "\\command.pel";
    ASSERT_TRUE(qivtest::writeFile(qiv, qivw::build(qivsample::container(""))));
    ASSERT_TRUE(sampleWriteObjectFile(pel.c_str(), false));
    p2_->put_LocalSaveAllowed(VARIANT_TRUE);
    IOleCommandTarget* ct = nullptr;
    ASSERT_EQ(S_OK, p2_->QueryInterface(IID_IOleCommandTarget, reinterpret_cast<void**>(&ct)));
    const GUID& group = CQivPlayerCtl::kCommandGroup;
    qivSetSaveFileDialog(countAndCancel);
    for (const std::string& file : {qiv, pel}) {
        SCOPED_TRACE(file);
        ASSERT_TRUE(load(file));
        OLECMD cmd{32785, 0};
        ASSERT_EQ(S_OK, ct->QueryStatus(&group, 1, &cmd, nullptr));
        EXPECT_EQ(DWORD(OLECMDF_SUPPORTED | OLECMDF_ENABLED), cmd.cmdf);
        g_dialogRuns = 0;
        EXPECT_EQ(S_OK, ct->Exec(&group, 32785, 0, nullptr, nullptr));
        EXPECT_EQ(1, g_dialogRuns);
    }
    qivSetSaveFileDialog(nullptr);
    ct->Release();
}

// An object from a Qiv file: the box is offered checked with the Qiv type; kept checked the
// container is written back as it was, cleared the type list and the extension turn to PEL
// and a PEL file is written; checked again they turn back.
TEST_F(SaveObjectDialog, QivObjectOffersTheContainerAndTheBoxSwitchesTheFormat) {
    const std::string qiv = dir_ + "\\two cubes.qiv";
    ASSERT_TRUE(qivtest::writeFile(qiv, qivw::build(qivsample::container(""))));
    ASSERT_TRUE(load(qiv));
    const std::vector<uint8_t> original = qivtest::readFile(qiv);

    // Clicks on the box, and the user's pick in the type list.
    auto click = [](int n) {
        return [n](HWND dialog) {
            for (int i = 0; i < n; ++i) SendMessageW(qivtest::Descendant(dialog, IDC_QIV_FORMAT), BM_CLICK, 0, 0);
        };
    };
    auto pick = [](int type) {
        return [type](HWND dialog) {
            HWND types = qivtest::Descendant(dialog, kTypeList);
            SendMessageW(types, CB_SETCURSEL, type, 0);
            SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(kTypeList, CBN_SELENDOK), LPARAM(types));
        };
    };
    struct Case {
        const char* name;
        std::function<void(HWND)> act;
        const char* typed;  // the name confirmed, without extension
        const char* file;   // the file that appears
        bool qiv;
        int type;  // the type list's entry afterwards
        const char* defaultExtension;
    } cases[] = {
        {"kept", click(0), "kept", "kept.qiv", true, 0, ""},
        {"cleared", click(1), "cleared", "cleared.PEL", false, 1, "PEL"},
        {"cleared and checked again", click(2), "again", "again.qiv", true, 0, "Qiv"},
        {"PEL type picked in the list", pick(1), "picked", "picked.PEL", false, 1, "PEL"},
        {"all files picked in the list", pick(2), "all.qiv", "all.qiv", true, 2, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = dir_ + "\\" + c.file;
        // Nothing there to be confirmed for overwriting.
        for (const char* ext : {"", ".qiv", ".PEL"}) DeleteFileA((dir_ + "\\" + c.typed + ext).c_str());
        Seen before, after;
        EXPECT_EQ(VARIANT_TRUE, save(c.act, dir_ + "\\" + c.typed, &before, &after));
        ASSERT_TRUE(before.found);
        EXPECT_TRUE(before.boxEnabled);
        EXPECT_TRUE(before.boxChecked);
        EXPECT_EQ(0, before.typeIndex);
        EXPECT_EQ("Qiv Objects (*.qiv)", before.firstType);
        EXPECT_EQ("two cubes.qiv", before.name);
        EXPECT_EQ(c.qiv, after.boxChecked);
        EXPECT_EQ(c.type, after.typeIndex);
        EXPECT_EQ(c.defaultExtension, after.defaultExtension);
        ASSERT_TRUE(exists(file));
        if (c.qiv) {
            EXPECT_EQ(original, qivtest::readFile(file)) << "the container as it was received";
        } else {
            EXPECT_TRUE(isPelFile(file));
            qivtest::ControlRef other = qivtest::ControlRef::create();
            ASSERT_TRUE(other);
            BSTR b = AnsiToBstr(file.c_str(), -1);
            VARIANT_BOOL loaded = VARIANT_FALSE;
            EXPECT_EQ(S_OK, other->LoadObject(b, &loaded));
            EXPECT_EQ(VARIANT_TRUE, loaded) << "the PEL file loads";
            SysFreeString(b);
        }
        DeleteFileA(file.c_str());
    }
    EXPECT_TRUE(messages_.empty()) << messages_.front();
    DeleteFileA(qiv.c_str());
}

// An object from a PEL file: no Qiv format, the box is disabled; a PEL file is written.
TEST_F(SaveObjectDialog, PelObjectLeavesTheBoxDisabled) {
    const std::string pel = dir_ + "\\sample.pel", out = dir_ + "\\copy.PEL";
    ASSERT_TRUE(qivtest::WriteSamplePel(pel));
    ASSERT_TRUE(load(pel));
    DeleteFileA(out.c_str());
    Seen before, after;
    EXPECT_EQ(VARIANT_TRUE, save([](HWND) {}, dir_ + "\\copy", &before, &after));
    ASSERT_TRUE(before.found);
    EXPECT_FALSE(before.boxEnabled);
    EXPECT_FALSE(before.boxChecked);
    EXPECT_EQ(0, before.typeIndex);
    EXPECT_EQ(0u, before.firstType.rfind("Pellow Objects", 0)) << before.firstType;
    EXPECT_EQ("sample.pel", before.name);
    EXPECT_TRUE(isPelFile(out));
    EXPECT_TRUE(messages_.empty()) << messages_.front();
    DeleteFileA(out.c_str());
    DeleteFileA(pel.c_str());
}

}  // namespace

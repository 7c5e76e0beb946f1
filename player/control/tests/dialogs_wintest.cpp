// The control's modal dialogs, opened through the control's menu commands and
// members, filled and confirmed by messages from a timer, with their effect on
// the control and the user options; the LZ copy helper; the dialog resources
// in the thirteen languages.
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "com/object.h"
#include "ctlmodule_win.h"
#include "dialogs_win.h"
#include "embeddedcontrol.h"
#include "languages.h"
#include "modalscript.h"
#include "testfiles.h"
#include "qivctl_win.h"
#include "resources/dialogids.h"
#include "useropts_win.h"

namespace {

using qivtest::Click;
using qivtest::Descendant;
using qivtest::DialogWithControl;
using qivtest::ModalScript;
using qivtest::OwnedDialog;

std::string tempDir() { return qivtest::tempDir("qivdialogs"); }

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string readBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

std::string itemText(HWND dialog, int id) {
    char t[1024] = {};
    GetDlgItemTextA(dialog, id, t, sizeof t);
    return t;
}

bool checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }
bool enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

class Dialogs : public qivtest::EmbeddedControlTest<> {
protected:
    // Messages of the control are recorded, never shown.
    void SetUp() override {
        qivSetMessageLog([](void* context, const char* text, const char*, UINT) {
            static_cast<std::vector<std::string>*>(context)->push_back(text ? text : "");
            return IDOK;
        }, &messages_);
        EmbeddedControlTest::SetUp();
    }
    void TearDown() override {
        EmbeddedControlTest::TearDown();
        qivSetMessageLog(nullptr, nullptr);
    }
    // A menu command of the control window; the dialog it opens runs inside.
    void menuCommand(UINT id) { SendMessageW(ctl_->hwnd(), WM_COMMAND, id, 0); }
    std::string texturePath() {
        qcom::Bstr b;
        p2_->get_TexturePath(b.put());
        return BstrToAnsi(b.get());
    }
    void setTexturePath(const std::string& path) {
        qcom::Bstr b = qcom::Bstr::attach(AnsiToBstr(path.c_str(), -1));
        p2_->put_TexturePath(b.get());
    }

    std::vector<std::string> messages_;
};

// ---- background ----

// Loading an image enables and chooses the picture; the tiled picture enables
// the offsets; choosing a colour turns the dialog to Monochrome; OK writes
// through the control's interface.
TEST_F(Dialogs, BackgroundDialogWritesTheChosenBackground) {
    p2_->put_BackColor(0x00302010);
    p2_->put_BackPicOffsetX(3);
    p2_->put_BackPicOffsetY(4);
    const std::string picture = tempDir() + "\\wood.bmp";
    // One white pixel, 24 bits.
    writeBytes(picture, std::string("BM\x3a\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\x01\0\0\0\x01\0\0\0\x01\0\x18\0"
                                    "\0\0\0\0\x04\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\xff\xff\xff\0",
                                    58));
    HWND dialog = nullptr;
    struct Seen {
        bool mono = false, picturesOff = false, offsetsOff = false, pictureChosen = false, offsetsOn = false,
             monoAfterColour = false;
        std::string offsetX, offsetY;
    } seen;
    ModalScript script({
        [&] {
            dialog = DialogWithControl(IDC_BG_TILED);
            if (!dialog) return false;
            seen.mono = checked(dialog, IDC_BG_MONOCHROME);
            seen.picturesOff = !enabled(dialog, IDC_BG_PICTURE) && !enabled(dialog, IDC_BG_TILED);
            seen.offsetsOff = !enabled(dialog, IDC_OFFSET_X) && !enabled(dialog, IDC_OFFSET_Y_LABEL);
            seen.offsetX = itemText(dialog, IDC_OFFSET_X);
            seen.offsetY = itemText(dialog, IDC_OFFSET_Y);
            return Click(dialog, IDC_LOAD_IMAGE);
        },
        [&] {
            HWND files = OwnedDialog(dialog);
            return files && qivtest::ConfirmFileDialog(files, picture);
        },
        [&] {
            if (OwnedDialog(dialog) || !checked(dialog, IDC_BG_PICTURE)) return false;
            seen.pictureChosen = enabled(dialog, IDC_BG_PICTURE) && enabled(dialog, IDC_BG_TILED);
            SendMessageW(GetDlgItem(dialog, IDC_BG_TILED), BM_CLICK, 0, 0);
            seen.offsetsOn = enabled(dialog, IDC_OFFSET_X) && enabled(dialog, IDC_OFFSET_Y);
            SetDlgItemTextA(dialog, IDC_OFFSET_X, "12");
            SetDlgItemTextA(dialog, IDC_OFFSET_Y, "-7");
            return Click(dialog, IDC_SELECT_COLOR);
        },
        [&] {
            HWND colours = OwnedDialog(dialog);
            return colours && Click(colours, IDOK);
        },
        [&] {
            if (OwnedDialog(dialog) || !checked(dialog, IDC_BG_MONOCHROME)) return false;
            seen.monoAfterColour = !enabled(dialog, IDC_OFFSET_X);
            SendMessageW(GetDlgItem(dialog, IDC_BG_TILED), BM_CLICK, 0, 0);
            return Click(dialog, IDOK);
        },
    });
    menuCommand(32771);
    EXPECT_TRUE(script.finished()) << "steps done: " << script.stepsDone();
    EXPECT_TRUE(seen.mono);
    EXPECT_TRUE(seen.picturesOff);
    EXPECT_TRUE(seen.offsetsOff);
    EXPECT_EQ("3", seen.offsetX);
    EXPECT_EQ("4", seen.offsetY);
    EXPECT_TRUE(seen.pictureChosen);
    EXPECT_TRUE(seen.offsetsOn);
    EXPECT_TRUE(seen.monoAfterColour);

    OLE_COLOR colour = 0;
    p2_->get_BackColor(&colour);
    EXPECT_EQ(0x00302010u, colour);
    qivBackStyle style = qivBackStyleTransparent;
    p2_->get_BackStyle(&style);
    EXPECT_EQ(qivBackStyleOpaque, style);
    qivBackPicModes mode = qivBackPicModeConstant;
    p2_->get_BackPicMode(&mode);
    EXPECT_EQ(qivBackPicModeRepeated, mode);
    LONG x = 0, y = 0;
    p2_->get_BackPicOffsetX(&x);
    p2_->get_BackPicOffsetY(&y);
    EXPECT_EQ(12, x);
    EXPECT_EQ(-7, y);
    qcom::Bstr url;
    if (p2_->get_BackPictureURL(url.put()) != E_NOTIMPL) {
        EXPECT_EQ("file://" + picture, BstrToAnsi(url.get()));
    }
    DeleteFileA(picture.c_str());
}

TEST_F(Dialogs, BackgroundDialogCancelChangesNothing) {
    p2_->put_BackPicOffsetX(5);
    ModalScript script({[&] {
        HWND d = DialogWithControl(IDC_BG_TILED);
        if (!d) return false;
        SendMessageW(GetDlgItem(d, IDC_BG_TRANSPARENT), BM_CLICK, 0, 0);
        SetDlgItemTextA(d, IDC_OFFSET_X, "99");
        return Click(d, IDCANCEL);
    }});
    EXPECT_EQ(IDCANCEL, ShowBackgroundDialog(ctl_));
    EXPECT_TRUE(script.finished());
    qivBackStyle style = qivBackStyleTransparent;
    p2_->get_BackStyle(&style);
    EXPECT_EQ(qivBackStyleOpaque, style);
    LONG x = 0;
    p2_->get_BackPicOffsetX(&x);
    EXPECT_EQ(5, x);
}

// ---- general settings ----

class Settings : public Dialogs {
protected:
    void SetUp() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, kQivOptionsKey);
        qivUserOptions().reset();
        Dialogs::SetUp();
    }
    void TearDown() override {
        Dialogs::TearDown();
        RegDeleteTreeA(HKEY_CURRENT_USER, kQivOptionsKey);
        qivUserOptions().reset();
    }
    static std::string registryString(const char* name) {
        char value[MAX_PATH] = {};
        DWORD size = sizeof value;
        RegGetValueA(HKEY_CURRENT_USER, kQivOptionsKey, name, RRF_RT_REG_SZ, nullptr, value, &size);
        return value;
    }
};

// A folder chooser, found by its tree.
HWND folderChooser() {
    for (HWND d : qivtest::ThreadWindows())
        if (qivtest::DescendantOfClass(d, L"SysTreeView32")) return d;
    return nullptr;
}

TEST_F(Settings, SettingsDialogWritesTheOptionsAndTheTexturePath) {
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, sizeof windows);
    const std::string chosen = std::string(windows) + "\\system32";
    SetObjectPath("C:\\objects");
    SetAutoSave(1);
    SetSaveFilesWithDocument(0);
    setTexturePath(windows);
    HWND dialog = nullptr;
    struct Seen {
        std::string texture, objects, objectsAfterCancel, textureAfterChooser;
        bool saveWithDocument = true, autoSave = false;
    } seen;
    ModalScript script({
        [&] {
            dialog = DialogWithControl(IDC_AUTO_SAVE);
            if (!dialog) return false;
            seen.texture = itemText(dialog, IDC_TEXTURE_PATH);
            seen.objects = itemText(dialog, IDC_SECOND_PATH);
            seen.saveWithDocument = checked(dialog, IDC_SAVE_WITH_DOCUMENT);
            seen.autoSave = checked(dialog, IDC_AUTO_SAVE);
            return Click(dialog, IDC_BROWSE_OBJECT_PATH);
        },
        [&] {
            HWND chooser = folderChooser();
            return chooser && Click(chooser, IDCANCEL);
        },
        [&] {
            if (folderChooser()) return false;
            seen.objectsAfterCancel = itemText(dialog, IDC_SECOND_PATH);
            return Click(dialog, IDC_SELECT_COLOR);
        },
        [&] {
            HWND chooser = folderChooser();
            if (!chooser) return false;
            SendMessageA(chooser, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(chosen.c_str()));
            return Click(chooser, IDOK);
        },
        [&] {
            if (folderChooser()) return false;
            seen.textureAfterChooser = itemText(dialog, IDC_TEXTURE_PATH);
            SetDlgItemTextA(dialog, IDC_SECOND_PATH, "C:\\new objects");
            SendMessageW(GetDlgItem(dialog, IDC_SAVE_WITH_DOCUMENT), BM_CLICK, 0, 0);
            return Click(dialog, IDOK);
        },
    });
    menuCommand(32784);
    EXPECT_TRUE(script.finished()) << "steps done: " << script.stepsDone();
    EXPECT_EQ(windows, seen.texture);
    EXPECT_EQ("C:\\objects", seen.objects);
    EXPECT_FALSE(seen.saveWithDocument);
    EXPECT_TRUE(seen.autoSave);
    // A cancelled folder chooser leaves the object path as it was.
    EXPECT_EQ("C:\\objects", seen.objectsAfterCancel);
    EXPECT_EQ(0, lstrcmpiA(chosen.c_str(), seen.textureAfterChooser.c_str())) << seen.textureAfterChooser;
    EXPECT_EQ(0, lstrcmpiA(chosen.c_str(), texturePath().c_str())) << texturePath();
    EXPECT_EQ(std::string("C:\\new objects"), GetObjectPath());
    EXPECT_EQ(1u, GetSaveFilesWithDocument());
    EXPECT_EQ(1u, GetAutoSave());
    EXPECT_EQ("C:\\new objects", registryString("ObjectPath"));
    EXPECT_EQ(0, lstrcmpiA(chosen.c_str(), registryString("TexturePath").c_str()));
}

// BrowseForTexturePath: a cancelled chooser keeps the path and announces nothing.
TEST_F(Dialogs, BrowseForTexturePathKeepsThePathWhenCancelled) {
    setTexturePath("C:\\textures");
    qivtest::NotifySink notify;
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, qivtest::Connect(p2_, IID_IPropertyNotifySink, &notify, &cookie));
    ModalScript script({[&] {
        HWND chooser = folderChooser();
        return chooser && Click(chooser, IDCANCEL);
    }});
    EXPECT_EQ(S_OK, p2_->BrowseForTexturePath());
    EXPECT_TRUE(script.finished());
    EXPECT_EQ("C:\\textures", texturePath());
    EXPECT_TRUE(notify.changed.empty());
    qivtest::Disconnect(p2_, IID_IPropertyNotifySink, cookie);
}

// ---- text entry ----

TEST_F(Dialogs, TextEntryDialogReplacesTheTextOnlyOnOk) {
    struct Case {
        int button;
        const char* want;
    } cases[] = {{IDOK, "http://host/b.qiv"}, {IDCANCEL, "a.qiv"}};
    for (const Case& c : cases) {
        std::string text = "a.qiv", shown;
        bool white = false;
        ModalScript script({[&] {
            HWND d = DialogWithControl(IDC_TEXT_ENTRY);
            if (!d) return false;
            shown = itemText(d, IDC_TEXT_ENTRY);
            HWND edit = GetDlgItem(d, IDC_TEXT_ENTRY);
            white = SendMessageW(d, WM_CTLCOLORSTATIC, 0, LPARAM(edit)) == LRESULT(GetStockObject(WHITE_BRUSH));
            SetDlgItemTextA(d, IDC_TEXT_ENTRY, "http://host/b.qiv");
            return Click(d, c.button);
        }});
        EXPECT_EQ(c.button, ShowTextEntryDialog(host_.window(), text));
        EXPECT_TRUE(script.finished());
        EXPECT_EQ("a.qiv", shown);
        EXPECT_TRUE(white);
        EXPECT_EQ(c.want, text);
    }
}

// ---- load object ----

// LoadObject with an empty name and the menu command open the file dialog; the
// chosen file is loaded, framed, and its folder remembered.
TEST_F(Dialogs, LoadObjectDialogLoadsTheChosenFile) {
    const std::string dir = tempDir(), path = dir + "\\dialog object.pel";
    ASSERT_TRUE(qivtest::WriteSamplePel(path));
    for (bool throughMenu : {false, true}) {
        SCOPED_TRACE(throughMenu ? "menu" : "LoadObject");
        ctl_->UnloadScene(true);
        lstrcpynA(ctl_->state().objectPath, "C:\\", sizeof ctl_->state().objectPath);
        ModalScript script({[&] {
            HWND files = DialogWithControl(0x47c);
            if (!files) files = DialogWithControl(0x480);
            return files && qivtest::ConfirmFileDialog(files, path);
        }});
        VARIANT_BOOL ok = VARIANT_FALSE;
        if (throughMenu) {
            menuCommand(32768);
            ok = ctl_->state().usedCount > 0 ? VARIANT_TRUE : VARIANT_FALSE;
        } else {
            qcom::Bstr empty(L"");
            EXPECT_EQ(S_OK, p2_->LoadObject(empty.get(), &ok));
        }
        EXPECT_TRUE(script.finished());
        EXPECT_EQ(VARIANT_TRUE, ok);
        qcom::Bstr url;
        p2_->get_ObjectURL(url.put());
        EXPECT_EQ("file://" + path, BstrToAnsi(url.get()));
        EXPECT_EQ(dir, std::string(ctl_->state().objectPath));
        EXPECT_TRUE(ctl_->state().viewValid);
    }
    EXPECT_TRUE(messages_.empty()) << messages_.front();
    DeleteFileA(path.c_str());
}

// ---- LZ copy ----

// A file compressed by the LZ compressor ("SZDD"), all literals: flag byte
// 0xFF before every eight bytes.
std::string szdd(const std::string& data) {
    std::string out = std::string("SZDD\x88\xF0\x27\x33", 8) + "A" + "x";
    const uint32_t n = uint32_t(data.size());
    for (int i = 0; i < 4; ++i) out += char((n >> (8 * i)) & 0xFF);
    for (size_t i = 0; i < data.size(); i += 8) {
        out += char(0xFF);
        out += data.substr(i, 8);
    }
    return out;
}

TEST(LzCopy, ExpandsOrCopiesAndReportsFailures) {
    const std::string dir = tempDir();
    const std::string plain = dir + "\\plain.bin", packed = dir + "\\packed.bi_", out = dir + "\\out.bin";
    const std::string text = "The quick brown fox jumps over the lazy dog, 0123456789.";
    writeBytes(plain, text);
    writeBytes(packed, szdd(text));
    struct Case {
        const char* name;
        std::string source, destination;
        int result;
        const std::string* content;
    } cases[] = {
        {"plain file", plain, out, 1, &text},
        {"compressed file", packed, out, 1, &text},
        {"missing source", dir + "\\missing.bin", out, 0, nullptr},
        // The copy cannot be made: a failure, not a success once the source opened.
        {"destination folder missing", plain, dir + "\\no such folder\\out.bin", 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(out.c_str());
        EXPECT_EQ(c.result, LzCopyFile(c.source.c_str(), c.destination.c_str()));
        if (c.content) {
            EXPECT_EQ(*c.content, readBytes(c.destination));
        } else {
            EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(c.destination.c_str()));
        }
    }
    for (const std::string& f : {plain, packed, out}) DeleteFileA(f.c_str());
}

// ---- resources ----

TEST(DialogResources, EveryDialogInEveryLanguage) {
    HMODULE self = GetModuleHandleW(nullptr);
    for (LANGID lang : qivtest::kResourceLanguages)
        for (int id : {IDD_PATHS_PAGE, IDD_OPTIONS_PAGE, IDD_INFO, IDD_SETTINGS, IDD_BACKGROUND, IDD_HTML_URL,
                       IDD_SAVE_OBJECT})
            EXPECT_NE(nullptr, FindResourceExW(self, reinterpret_cast<LPCWSTR>(RT_DIALOG), MAKEINTRESOURCEW(id), lang))
                << "dialog " << id << " language " << lang;
    // Captions from their code pages: DIALOGEX header, then menu, class and caption strings.
    struct Caption {
        LANGID lang;
        const wchar_t* text;
    } captions[] = {
        {MAKELANGID(LANG_GREEK, SUBLANG_DEFAULT), L"\x03a6\x03cc\x03bd\x03c4\x03bf"},
        {MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT), L"\x80cc\x666f"},
        {MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT), L"\x0424\x043e\x043d"},
        {MAKELANGID(LANG_CZECH, SUBLANG_DEFAULT), L"Pozad\x00ed"},
        {MAKELANGID(LANG_POLISH, SUBLANG_DEFAULT), L"T\x0142o"},
    };
    for (const Caption& c : captions) {
        HRSRC r = FindResourceExW(self, reinterpret_cast<LPCWSTR>(RT_DIALOG), MAKEINTRESOURCEW(IDD_BACKGROUND), c.lang);
        ASSERT_NE(nullptr, r);
        const WORD* p = static_cast<const WORD*>(LockResource(LoadResource(self, r)));
        ASSERT_EQ(0xFFFF, p[1]) << "DIALOGEX";
        p += 13;  // version, signature, help id, ex style, style, count, x, y, cx, cy
        for (int skip = 0; skip < 2; ++skip) {  // menu, class: none or a string
            if (*p == 0xFFFF) p += 2;
            else
                while (*p++) {
                }
        }
        EXPECT_EQ(std::wstring(c.text), reinterpret_cast<const wchar_t*>(p)) << c.lang;
    }
}

}  // namespace

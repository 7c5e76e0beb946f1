// The form layer's controls driven by messages, the texts on the main form's
// components, the name dialog in each mode, and the viewer hosted through the
// OLE container with its events.
#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>

#include "common.h"
#include "forms/application.h"
#include "forms/extctrls.h"
#include "getname_win.h"
#include "mainqiv_win.h"
#include "msgstrs.h"
#include "win/wintext.h"

bool WriteSamplePel(const std::string& path);

namespace {

using namespace stellwerk;

std::string windowsPath(std::string p) {
    std::replace(p.begin(), p.end(), '/', '\\');
    return "Z:" + p;
}

std::vector<std::string> g_messages;

class Stellwerk : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        OleInitialize(nullptr);
        forms::Application::Instance().Initialize();
        forms::Application::Instance().SetTitle("Fernlicht");
        std::string cmd = "regsvr32.exe /s \"" + windowsPath(QIV_PLAYER_DLL) + "\"";
        STARTUPINFOA si{sizeof si};
        PROCESS_INFORMATION pi{};
        ASSERT_TRUE(CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
        WaitForSingleObject(pi.hProcess, 60000);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        ASSERT_TRUE(MsgLines().LoadFromFile(windowsPath(STELLWERK_SUPPORT "/MsgLbl.txt")));
        ASSERT_TRUE(MenuLines().LoadFromFile(windowsPath(STELLWERK_SUPPORT "/Menu.txt")));
        char tmp[MAX_PATH];
        GetTempPathA(MAX_PATH, tmp);
        SetProgramFolder(std::string(tmp) + "stellwerk forms\\");
        CreateDirectoryA(GetProgramFolder().c_str(), nullptr);
        forms::SetMessageLog([](const std::string& text, const std::string&, UINT) {
            g_messages.push_back(text);
            return IDOK;
        });
    }
    void SetUp() override { g_messages.clear(); }
};

void pump() { forms::Application::Instance().ProcessMessages(); }

TEST_F(Stellwerk, MainFormTextsLandOnNamedComponents) {
    TFMainqiv main(nullptr);
    auto* open = main.Find<forms::MenuItem>("mOpen");
    ASSERT_NE(nullptr, open);
    EXPECT_EQ("&Open...", open->Caption());
    EXPECT_EQ("Opens an object", open->Hint());
    EXPECT_EQ(forms::MakeShortCut('O', forms::ssCtrl), open->GetShortCut());
    auto* exit = main.Find<forms::MenuItem>("mExit");
    EXPECT_EQ("Ends Fernlicht", exit->Hint()) << "the product name is replaced in hints";
    EXPECT_EQ(0, main.Find<forms::MenuItem>("mFile")->GetShortCut());
    EXPECT_FALSE(main.Find<forms::MenuItem>("mHelpFile")->Visible());
    EXPECT_EQ("&About...", main.Find<forms::MenuItem>("mAbout")->Caption());
    EXPECT_EQ("&Delete", main.Find<forms::MenuItem>("mPopUpDeleteView")->Caption());
    // Ctrl+Q clicks the exit item through the form's shortcuts.
    bool exited = false;
    exit->OnClick = [&](forms::Component*) { exited = true; };
    EXPECT_TRUE(main.IsShortCut('Q', forms::ssCtrl));
    EXPECT_TRUE(exited);
    exit->SetEnabled(false);
    exited = false;
    EXPECT_FALSE(main.IsShortCut('Q', forms::ssCtrl)) << "a disabled item takes no shortcut";
    EXPECT_FALSE(exited);
}

// Runs steps against the name dialog once it shows, one per idle pass.
class DialogScript {
public:
    explicit DialogScript(std::deque<std::function<void(TFGetName&)>> steps) : steps_(std::move(steps)) {
        forms::Application::Instance().OnIdle = [this](bool& done) {
            done = true;
            auto* d = dynamic_cast<TFGetName*>(forms::Control::FromHandle(GetActiveWindow()));
            if (!d || !d->Modal() || steps_.empty()) return;
            auto step = steps_.front();
            steps_.pop_front();
            step(*d);
            done = false;
        };
    }
    ~DialogScript() { forms::Application::Instance().OnIdle = nullptr; }

private:
    std::deque<std::function<void(TFGetName&)>> steps_;
};

void typeInto(HWND h, const std::string& text) {
    for (char c : text) SendMessageW(h, WM_CHAR, WPARAM(static_cast<unsigned char>(c)), 0);
}

HWND field(TFGetName& d) {
    return d.ComboName->Visible() ? FindWindowExW(d.ComboName->Handle(), nullptr, L"Edit", nullptr)
                                  : d.EditName->Handle();
}

void clear(TFGetName& d) { SetWindowTextW(field(d), L""); }

TEST_F(Stellwerk, NameDialogAcceptsNewNamesAndRefusesExisting) {
    forms::StringList views{"Front", "Top"};
    std::string name = "View1";
    {
        DialogScript s({[](TFGetName& d) {
                            EXPECT_EQ("Add view", d.Caption());
                            EXPECT_EQ("Name of the view:", d.LblInput->Caption());
                            EXPECT_TRUE(d.EditName->Visible());
                            EXPECT_EQ("View1", d.EditName->Text());
                            clear(d);
                            typeInto(d.EditName->Handle(), "fr:o?nt");
                        },
                        [](TFGetName& d) {
                            EXPECT_EQ("front", d.EditName->Text()) << "forbidden characters are swallowed";
                            d.BtnOk->Click();
                        },
                        [](TFGetName& d) {
                            EXPECT_EQ(1u, g_messages.size()) << "an existing name is refused";
                            EXPECT_TRUE(d.Visible());
                            clear(d);
                            typeInto(d.EditName->Handle(), "   ");
                            d.BtnOk->Click();
                        },
                        [](TFGetName& d) {
                            EXPECT_EQ(1u, g_messages.size()) << "blanks only do nothing";
                            clear(d);
                            typeInto(d.EditName->Handle(), "  Side  ");
                            PostMessageW(d.EditName->Handle(), WM_KEYDOWN, VK_RETURN, 0);
                        }});
        EXPECT_TRUE(AskName(kNameAddView, {nullptr, &views}, name));
    }
    EXPECT_EQ("Side", name);
    EXPECT_EQ(GetMsgText(235), g_messages.at(0));
}

TEST_F(Stellwerk, NameDialogRechecksPastedText) {
    std::string name;
    DialogScript s({[](TFGetName& d) {
                        SetWindowTextW(d.EditName->Handle(), L"a:stream");  // as a paste would
                        d.BtnOk->Click();
                    },
                    [](TFGetName& d) {
                        EXPECT_EQ(1u, g_messages.size()) << "a forbidden character that got in is refused";
                        PostMessageW(d.EditName->Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
                    }});
    EXPECT_FALSE(AskName(kNameMaterial, {}, name));
    EXPECT_EQ("", name);
}

TEST_F(Stellwerk, NameDialogUpdateAndSchemeModes) {
    forms::Component owner;
    auto* schemes = new forms::MenuItem(&owner);
    for (const char* c : {"Original materials", "Red", "Locked"}) {
        auto* i = new forms::MenuItem(&owner);
        i->SetCaption(c);
        schemes->Add(i);
    }
    schemes->Items(2)->SetTag(1);
    auto ask = [&](int mode, const std::string& typed, bool want) {
        std::string name;
        g_messages.clear();
        DialogScript s({[&](TFGetName& d) {
                            clear(d);
                            typeInto(field(d), typed);
                            d.BtnOk->Click();
                        },
                        [&](TFGetName& d) { d.BtnCancel->Click(); }});
        const bool got = AskName(mode, {schemes, nullptr, {}, {"Tour"}}, name);
        EXPECT_EQ(want, got) << "mode " << mode << " name " << typed;
        if (want) EXPECT_EQ(typed, name);
        EXPECT_EQ(want ? 0u : 1u, g_messages.size()) << typed;
    };
    ask(kNameUpdateView, "red", true);
    ask(kNameUpdateView, "Blue", false);
    ask(kNameSaveSchemeAs, "Red", true);
    ask(kNameSaveSchemeAs, "Locked", false);
    ask(kNameSaveSchemeAs, "original materials", false);
    ask(kNameSaveSchemeAs, "Green", true);
    ask(kNameRenameScheme, "Red", false);
    ask(kNameRenameView, "Other", true);
    ask(kNameRenameView, "LOCKED", false);
    // View names that would break the views file or take another section.
    ask(kNameRenameView, "batchnames", false);
    ask(kNameRenameView, "General", false);
    ask(kNameRenameView, "tour", false);
    ask(kNameRenameView, "Front,Back", false);
    ask(kNameRenameView, "a=b", false);
    ask(kNameRenameView, "[x", false);
    ask(kNameRenameView, std::string(51, 'x'), false);
    ask(kNameRenameView, std::string(50, 'x'), true);
    ask(kNameNewFolder, "Sub", true);
    ask(kNameBatch, "red", false);
    ask(kNameBatch, "Batch 1", true);
    std::string name;
    EXPECT_FALSE(AskName(8, {}, name)) << "an unknown mode shows nothing";
}

TEST_F(Stellwerk, ViewerHostedThroughTheContainer) {
    char tmp[MAX_PATH];
    GetTempPathA(MAX_PATH, tmp);
    const std::string pel = std::string(tmp) + "stellwerk_host.pel";
    ASSERT_TRUE(WriteSamplePel(pel));
    forms::Form form(nullptr);
    form.SetBounds(0, 0, 320, 240);
    auto* viewer = new TQivPlayer(&form);
    viewer->SetAlign(forms::Align::Client);
    viewer->SetParent(&form);
    form.Show();
    pump();
    ASSERT_NE(nullptr, viewer->ControlWindow()) << "active in place";
    EXPECT_EQ(viewer->Handle(), GetParent(viewer->ControlWindow()));
    int loaded = 0;
    viewer->OnObjectLoaded = [&] { ++loaded; };
    VARIANT_BOOL ok = VARIANT_FALSE;
    win::Bstr file(pel);
    ASSERT_EQ(S_OK, viewer->Player()->LoadObject(file.get(), &ok));
    for (int i = 0; i < 100 && !loaded; ++i) {
        pump();
        Sleep(10);
    }
    EXPECT_EQ(VARIANT_TRUE, ok);
    EXPECT_EQ(1, loaded) << "ObjectLoaded reached the handler";
    VARIANT v;
    v.vt = VT_R4;
    v.fltVal = 45;
    EXPECT_EQ(S_OK, viewer->PutProperty(13, v)) << "Phi by DISPID";
    VARIANT got;
    ASSERT_EQ(S_OK, viewer->GetProperty(13, &got));
    EXPECT_EQ(VT_R4, got.vt);
    EXPECT_FLOAT_EQ(45, got.fltVal);
    float phi = 0;
    viewer->Player()->get_Phi(&phi);
    EXPECT_FLOAT_EQ(45, phi) << "the dual interface sees the same property";
    DeleteFileA(pel.c_str());
}

}  // namespace

// The main form with the real viewer: opening, closing and reopening the
// sample object, failed loads, the material lists, standard views read back
// from the viewer, lights, day and night, rotation, the key hook, unsaved
// scheme changes, the preferences dialog and settings across two forms.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <functional>

#include "common.h"
#include "forms/application.h"
#include "forms/fileio.h"
#include "forms/inifile.h"
#include "forms/textutil.h"
#include "getname_win.h"
#include "mainqiv_win.h"
#include "msgstrs.h"
#include "prefrences_win.h"
#include "standardviews.h"
#include "viewmgr_win.h"
#include "textnums.h"
#include "win/wintext.h"
#include "wintestutil.h"

bool WriteSamplePel(const std::string& path);

namespace {

using namespace stellwerk;
using wintest::pump;
using wintest::pumpUntil;
using wintest::pumpFor;
using wintest::ModalScript;

std::vector<std::string> g_messages;
int g_answer = IDOK;

void keyInput(WORD vk, bool up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &in, sizeof in);
}

void mouseButton(bool down, bool right = false) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = right ? (down ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_RIGHTUP)
                          : (down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP);
    SendInput(1, &in, sizeof in);
}

// The popup menu window on the screen, or null.
HWND shownMenu() {
    HWND w = FindWindowW(L"#32768", nullptr);
    return w && IsWindowVisible(w) ? w : nullptr;
}

// Acts once on a popup menu while it shows, from a timer that its menu loop
// dispatches; shown tells whether the menu came up at all.
class PopupScript {
public:
    PopupScript(HMENU menu, std::function<void(HWND, HMENU)> step) {
        menu_ = menu, step_ = std::move(step), shown_ = false;
        timer_ = SetTimer(nullptr, 0, 50, tick);
    }
    ~PopupScript() { KillTimer(nullptr, timer_); }
    bool shown() const { return shown_; }

private:
    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD) {
        HWND w = shownMenu();
        if (!w) return;
        if (!shown_) {
            shown_ = true, shownAt_ = GetTickCount64();
            step_(w, menu_);
        } else if (GetTickCount64() - shownAt_ > 5000) {
            ADD_FAILURE() << "the popup menu stayed open";
            EndMenu();
        }
    }
    static inline HMENU menu_ = nullptr;
    static inline std::function<void(HWND, HMENU)> step_;
    static inline bool shown_ = false;
    static inline ULONGLONG shownAt_ = 0;
    UINT_PTR timer_ = 0;
};

// Whether a popup menu's item of that command can be chosen.
bool popupItemEnabled(HMENU menu, UINT command) {
    const UINT state = GetMenuState(menu, command, MF_BYCOMMAND);
    return state != UINT(-1) && !(state & (MF_GRAYED | MF_DISABLED));
}

// A left click on the popup menu's item of that command, through the input queue.
void clickPopupItem(HWND window, HMENU menu, UINT command) {
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        RECT r{};
        if (GetMenuItemID(menu, i) != command || !GetMenuItemRect(window, menu, UINT(i), &r)) continue;
        SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        mouseButton(true);
        mouseButton(false);
        return;
    }
}

// A right click through the input queue on a tree node's text.
void rightClickNode(forms::TreeView* tree, forms::TreeNode* node) {
    if (node->Parent()) node->Parent()->SetExpanded(true);
    SendMessageW(tree->Handle(), TVM_ENSUREVISIBLE, 0, LPARAM(node->Handle()));
    wintest::pump();
    RECT r{};
    *reinterpret_cast<HTREEITEM*>(&r) = node->Handle();
    EXPECT_TRUE(SendMessageW(tree->Handle(), TVM_GETITEMRECT, TRUE, LPARAM(&r))) << node->Text();
    const POINT p = tree->ClientToScreen({(r.left + r.right) / 2, (r.top + r.bottom) / 2});
    SetCursorPos(p.x, p.y);
    mouseButton(true, true);
    mouseButton(false, true);
}

void cursorTo(forms::Control* c) {
    const POINT p = c->ClientToScreen({c->Width() / 2, c->Height() / 2});
    SetCursorPos(p.x, p.y);
}

class MainForm : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        software_ = new wintest::SoftwareViewer;
        ASSERT_EQ("", wintest::startHostingSuite(QIV_PLAYER_DLL, STELLWERK_SUPPORT,
            [](const std::string& text, const std::string&, UINT) {
                g_messages.push_back(text);
                return g_answer;
            }));
        forms::Application::Instance().SetTitle("Fernlicht");
        dir_ = wintest::tempFolder("stellwerk main form");
        pel_ = dir_ + "sample.pel";
        ASSERT_TRUE(WriteSamplePel(pel_));
        std::ofstream(dir_ + "corrupt.pel", std::ios::binary) << "PEL but nothing a viewer could read";
    }
    static void TearDownTestSuite() {
        delete software_;
        software_ = nullptr;
    }
    void SetUp() override {
        SetProgramFolder(dir_);
        SetFileAttributesA(GetIniPath().c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(GetIniPath().c_str());
        // The object's views and schemes of earlier tests go.
        WIN32_FIND_DATAA fd;
        for (const char* pattern : {"sample.vad", "sample.*.msc"}) {
            HANDLE h = FindFirstFileA((dir_ + pattern).c_str(), &fd);
            if (h == INVALID_HANDLE_VALUE) continue;
            do {
                const std::string f = dir_ + fd.cFileName;
                SetFileAttributesA(f.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(f.c_str());
            } while (FindNextFileA(h, &fd));
            FindClose(h);
        }
        // A window of its own size: without a window manager a maximised
        // window keeps its old place on the X screen.
        std::ofstream(GetIniPath(), std::ios::binary)
            << "[AppWindow]\r\nMax=0\r\nLeft=0\r\nTop=0\r\nWidth=1000\r\nHeight=740\r\n";
        GlobalIni() = TGlobalIni();
        g_messages.clear();
        g_answer = IDOK;
    }

    std::unique_ptr<TFMainqiv> makeForm() {
        auto f = std::make_unique<TFMainqiv>(nullptr);
        f->Show();
        pump();
        return f;
    }

    // The viewer shows the object: its window is not its background colour alone.
    static bool showsObject(TFMainqiv& f) {
        HWND w = wintest::viewerWindow(f.qivobj->Handle());
        if (!w || !IsWindowVisible(w)) return false;
        const auto px = wintest::clientPixels(w);
        return wintest::shareUnlike(px, forms::ColorToRGB(forms::clBtnFace) & 0xFFFFFF) > 0.03 &&
               wintest::shareUnlike(px, wintest::commonColour(px)) > 0.03;
    }

    static Viewing3D viewing(TFMainqiv& f) {
        Viewing3D v;
        EXPECT_TRUE(f.qivobj->GetViewing3DEx(v));
        return v;
    }

    static inline wintest::SoftwareViewer* software_ = nullptr;
    static inline std::string dir_, pel_;
};

TEST_F(MainForm, OpensTheSampleShowsItAndClosesIt) {
    auto f = makeForm();
    EXPECT_TRUE(f->MultiImageTile->Visible()) << "closed: the background tile";
    EXPECT_FALSE(f->qivobj->Visible());
    EXPECT_FALSE(f->mViewMenu->Enabled());
    EXPECT_FALSE(f->mFileClose->Enabled());
    EXPECT_FALSE(f->mReOpen->Visible()) << "no recent files yet";
    // The tile shows the program's background picture.
    const uint32_t corner = f->MultiImageTile->Picture().Bits()[0] & 0xFFFFFF;
    uint32_t shown = 0;
    EXPECT_TRUE(pumpUntil([&] {
        const auto tile = wintest::clientPixels(f->MultiImageTile->Handle());
        shown = tile.empty() ? 0 : tile[0];
        return shown == corner;
    }, 3000)) << std::hex << shown << " for " << corner;

    ASSERT_TRUE(f->LoadObjectFile(pel_));
    EXPECT_EQ("Fernlicht - " + pel_, f->Caption());
    EXPECT_EQ(f->Caption(), forms::Application::Instance().Title());
    EXPECT_TRUE(f->qivobj->Visible());
    EXPECT_FALSE(f->MultiImageTile->Visible());
    EXPECT_TRUE(f->mViewMenu->Enabled());
    EXPECT_TRUE(f->mFileClose->Enabled());
    EXPECT_TRUE(pumpUntil([&] { return showsObject(*f); })) << "the viewer's window shows the object";
    EXPECT_TRUE(g_messages.empty()) << g_messages.front();

    // The material lists hold what the viewer has.
    const int materials = f->qivobj->MaterialCount();
    ASSERT_GT(materials, 1);
    EXPECT_EQ(materials, f->LBAvailMat->Items().Count());
    const MaterialSet& set = f->Session().Editor().Working();
    ASSERT_EQ(size_t(materials), set.materials.size());
    EXPECT_EQ(size_t(f->qivobj->TextureCount()), set.textures.size());
    for (int i = 0; i < materials; ++i) {
        ViewerMaterial m;
        ASSERT_TRUE(f->qivobj->GetMaterial(i, m));
        EXPECT_EQ(m.diffuse & 0xFFFFFF, set.materials[size_t(i)].diffuse) << i;
        EXPECT_EQ(std::to_string(set.materials[size_t(i)].texture), f->LBAvailMat->Items()[i]) << i;
        EXPECT_NE(0u, set.materials[size_t(i)].flags & kMatFromViewer);
    }
    EXPECT_EQ(0, f->LBAvailMat->ItemIndex()) << "material 0 selected";
    EXPECT_EQ(31, f->qivobj->Lights());
    for (ToolItem* l : f->SBLt) EXPECT_TRUE(l->Checked());

    // The recent list and the last folder.
    EXPECT_TRUE(f->mReOpen->Visible());
    ASSERT_EQ(1, f->mReOpen->Count());
    EXPECT_EQ(pel_, f->mReOpen->Items(0)->Caption());
    EXPECT_EQ(dir_, forms::IniFile(GetIniPath()).ReadString("Paths", "qiv", "?")) << "the program folder itself";

    ASSERT_TRUE(f->CloseObject());
    EXPECT_EQ("Fernlicht", f->Caption());
    EXPECT_FALSE(f->qivobj->ObjectLoaded());
    EXPECT_TRUE(f->MultiImageTile->Visible());
    EXPECT_FALSE(f->qivobj->Visible());
    EXPECT_EQ(0, f->LBAvailMat->Items().Count());
    EXPECT_FALSE(f->mViewMenu->Enabled());
}

TEST_F(MainForm, OpenCloseAndReopenThroughTheRecentList) {
    auto f = makeForm();
    std::vector<std::string> folders;
    std::string answer = pel_;
    f->ChooseObjectFile = [&](const std::string& folder) {
        folders.push_back(folder);
        return answer;
    };
    f->mOpen->Click();
    ASSERT_TRUE(f->Session().IsOpen());
    EXPECT_EQ(dir_ + "Projects\\", folders.at(0)) << "no recent file, no saved folder";

    answer.clear();  // the dialog cancelled
    f->mOpen->Click();
    EXPECT_TRUE(f->Session().IsOpen()) << "cancelling keeps the object";
    EXPECT_EQ(pel_, f->Session().Path());
    EXPECT_EQ(dir_, folders.at(1)) << "the newest recent file's folder";

    f->mFileClose->Click();
    EXPECT_FALSE(f->Session().IsOpen());
    ASSERT_EQ(1, f->mReOpen->Count());
    f->mReOpen->Items(0)->Click();
    EXPECT_TRUE(f->Session().IsOpen());
    EXPECT_EQ("Fernlicht - " + pel_, f->Caption());
    EXPECT_TRUE(pumpUntil([&] { return showsObject(*f); }));
    EXPECT_EQ(1u, f->Settings().Recent.Files().size()) << "the same file once";
}

TEST_F(MainForm, FailedLoadsStayClosedAndNameTheFile) {
    auto f = makeForm();
    const std::string missing = dir_ + "missing.pel", corrupt = dir_ + "corrupt.pel";
    for (const std::string& path : {missing, corrupt}) {
        g_messages.clear();
        EXPECT_FALSE(f->LoadObjectFile(path)) << path;
        ASSERT_EQ(1u, g_messages.size()) << path;
        EXPECT_EQ(GetMsgText(kTxtLoadFailed.number) + path, g_messages[0]);
        EXPECT_FALSE(f->Session().IsOpen());
        EXPECT_EQ("Fernlicht", f->Caption());
        EXPECT_TRUE(f->MultiImageTile->Visible());
        EXPECT_TRUE(f->Settings().Recent.Files().empty());
        EXPECT_FALSE(f->mReOpen->Visible());
        EXPECT_FALSE(forms::IniFile(GetIniPath()).ValueExists("Paths", "qiv"));
    }
    ASSERT_TRUE(f->LoadObjectFile(pel_));
    EXPECT_FALSE(f->LoadObjectFile(missing));
    EXPECT_FALSE(f->qivobj->ObjectLoaded());
    EXPECT_EQ(std::vector<std::string>{pel_}, f->Settings().Recent.Files());
}

TEST_F(MainForm, StandardViewsReadBackThroughTheViewer) {
    auto f = makeForm();
    ASSERT_TRUE(f->LoadObjectFile(pel_));
    const struct {
        const char* item;
        float psi, phi;
    } cases[] = {{"mPlan", 89.99999f, 180}, {"mLeft", 0, 270},      {"mRight", 0, 90},
                 {"mFront", 0, 180},        {"mBack", 0, 0},        {"mIsometric", 35, 225},
                 {"mAxonometric", 45, 210}};
    for (const auto& c : cases) {
        f->Find<forms::MenuItem>(c.item)->Click();
        // The viewer keeps its angles in radians: they come back within a rounding.
        EXPECT_NEAR(c.psi, f->qivobj->Psi(), 1e-3) << c.item;
        EXPECT_NEAR(c.phi, std::fmod(f->qivobj->Phi() + 360.0f, 360.0f), 1e-3) << c.item;
        // The camera as GetViewing3DEx gives it: parallel, the eye at that elevation.
        const Viewing3D v = viewing(*f);
        EXPECT_TRUE(v.parallel) << c.item;
        const Vec3 d = Difference(v.eye, v.vrp);
        const float elevation = std::atan2(d.z, std::hypot(d.x, d.y)) * 180.0f / 3.14159265f;
        EXPECT_NEAR(c.psi, elevation, 0.01) << c.item;
    }
    f->Find<forms::MenuItem>("mFront")->Click();
    f->Find<ToolItem>("SBVTop")->Click();
    EXPECT_NEAR(89.99999f, f->qivobj->Psi(), 1e-3) << "the toolbar item does the same";
    f->Find<ToolItem>("SBToggleView")->Click();
    EXPECT_FALSE(viewing(*f).parallel);
    f->Find<ToolItem>("SBToggleView")->Click();
    EXPECT_TRUE(viewing(*f).parallel);
    f->Find<ToolItem>("SBRayTrace")->Click();
    pump();
    EXPECT_TRUE(g_messages.empty());
}

TEST_F(MainForm, LightKeysItemsAndDayNight) {
    auto f = makeForm();
    ASSERT_TRUE(f->LoadObjectFile(pel_));
    HWND main = f->Handle();
    f->SBLt[1]->Click();
    EXPECT_EQ(31 & ~2, f->qivobj->Lights()) << "item 2 off";
    EXPECT_FALSE(f->SBLt[1]->Checked());

    f->SetLightSet(1 | 4);
    PostMessageW(main, WM_KEYDOWN, '0', 0);
    pump();
    EXPECT_EQ(31, f->qivobj->Lights()) << "lights 1 and 3 on: all on";
    PostMessageW(main, WM_KEYDOWN, '0', 0);
    pump();
    EXPECT_EQ(0, f->qivobj->Lights()) << "all on: all off";
    for (ToolItem* l : f->SBLt) EXPECT_FALSE(l->Checked());
    PostMessageW(main, WM_KEYDOWN, '3', 0);
    pump();
    EXPECT_EQ(4, f->qivobj->Lights());
    EXPECT_TRUE(f->SBLt[2]->Checked());

    // Digits typed into an edit field stay there.
    auto* edit = f->Find<forms::Edit>("EditTexName");
    edit->SetEnabled(true);
    SetFocus(edit->Handle());
    pump();
    PostMessageW(edit->Handle(), WM_KEYDOWN, '1', 0);
    pump();
    EXPECT_EQ(4, f->qivobj->Lights()) << "the key goes to the edit field";
    SetFocus(main);

    // The viewer's lights changed by someone else: the items follow.
    f->qivobj->SetLights(3);
    f->qivobj->NotifyLightsChanged();
    EXPECT_TRUE(f->SBLt[0]->Checked() && f->SBLt[1]->Checked() && !f->SBLt[2]->Checked());

    // Day and night.
    f->SetLightSet(31);
    f->SBDayNight->Click();
    EXPECT_EQ(16, f->qivobj->Lights()) << "light 1 was on: night";
    EXPECT_EQ(GlobalIni().NightClr, f->qivobj->BackColor());
    EXPECT_EQ(0, f->qivobj->BackPicMode()) << "no night picture";
    EXPECT_TRUE(f->SBLt[4]->Checked() && !f->SBLt[0]->Checked());
    f->SBDayNight->Click();
    EXPECT_EQ(15, f->qivobj->Lights());
    EXPECT_EQ(GlobalIni().DayClr, f->qivobj->BackColor());
}

TEST_F(MainForm, RotationItemsTurnAndWalkWhileHeld) {
    auto f = makeForm();
    ASSERT_TRUE(f->LoadObjectFile(pel_));
    GlobalIni().RotationAngle = 3;
    auto hold = [&](const char* name) {
        ToolItem* item = f->Find<ToolItem>(name);
        cursorTo(item);
        EXPECT_TRUE(pumpUntil([&] { return item->Selected(); }, 3000)) << name << " is selected under the mouse";
        mouseButton(true);
        pumpFor(300);
    };
    auto release = [&] {
        mouseButton(false);
        pump();
        SetCursorPos(2, 2);
        pumpFor(50);
    };
    const float phi = f->qivobj->Phi();
    hold("SBRotLft");
    const float turned = f->qivobj->Phi();
    EXPECT_LT(turned, phi - 2) << "ticks turn Phi down";
    EXPECT_NEAR(0.0f, std::remainder(phi - turned, 3.0f), 1e-2) << "by the rotation angle";
    SetCursorPos(0, 0);  // a move stops the timer
    pumpFor(100);
    const float stopped = f->qivobj->Phi();
    pumpFor(100);
    EXPECT_EQ(stopped, f->qivobj->Phi());
    release();
    EXPECT_FALSE(f->TimerRotateAndCone->Enabled());

    hold("SBRotRht");
    EXPECT_GT(f->qivobj->Phi(), stopped);
    release();

    // Walking moves the eye along its line to the VRP (perspective only).
    Viewing3D v = viewing(*f);
    v.parallel = false;
    f->qivobj->SetViewing3DEx(v);
    pumpFor(200);  // the viewer places the eye for the projection as it draws
    v = viewing(*f);
    const float before = std::sqrt(DistanceSquared(v.eye, v.vrp));
    hold("SBGoFwd");
    release();
    v = viewing(*f);
    EXPECT_LT(std::sqrt(DistanceSquared(v.eye, v.vrp)), before * 0.96f);
}

TEST_F(MainForm, CtrlLetterReachesTheFirstEnabledItemWithAHandler) {
    auto f = makeForm();
    int opened = 0, about = 0;
    f->ChooseObjectFile = [&](const std::string&) {
        ++opened;
        return std::string();
    };
    auto* mAbout = f->Find<forms::MenuItem>("mAbout");
    mAbout->SetShortCut(forms::MakeShortCut('O', forms::ssCtrl));
    mAbout->OnClick = [&](forms::Component*) { ++about; };
    SetForegroundWindow(f->Handle());
    SetFocus(f->Handle());
    auto ctrl = [&](WORD key) {
        keyInput(VK_CONTROL, false);
        keyInput(key, false);
        keyInput(key, true);
        keyInput(VK_CONTROL, true);
        pumpFor(100);
    };
    ctrl('O');
    EXPECT_EQ(1, opened);
    EXPECT_EQ(0, about) << "the first item of that shortcut only";
    f->mOpen->SetEnabled(false);
    ctrl('O');
    EXPECT_EQ(1, opened);
    EXPECT_EQ(0, about) << "a disabled first item takes the key; nothing happens";
}

TEST_F(MainForm, UnsavedSchemeChangesAskBeforeClosing) {
    auto f = makeForm();
    auto change = [&] {
        ASSERT_TRUE(f->LoadObjectFile(pel_));
        ASSERT_TRUE(f->Session().Editor().Change(*f->qivobj, [](MatEntry& m) { m.diffuse = RGB3(1, 2, 3); }));
        ASSERT_TRUE(f->Session().SchemeUnsaved());
        g_messages.clear();
    };
    change();
    g_answer = IDCANCEL;
    EXPECT_FALSE(f->CloseObject());
    EXPECT_TRUE(f->Session().IsOpen()) << "cancel keeps the object";
    ASSERT_EQ(1u, g_messages.size());
    EXPECT_EQ(GetMsgText(kTxtAskSaveScheme.number), g_messages[0]);
    f->Close();
    EXPECT_TRUE(f->Session().IsOpen());
    EXPECT_TRUE(IsWindowVisible(f->Handle())) << "cancel keeps the form open";
    // Opening another object asks first too.
    EXPECT_FALSE(f->LoadObjectFile(pel_));
    EXPECT_TRUE(f->Session().SchemeUnsaved());

    g_answer = IDNO;
    EXPECT_TRUE(f->CloseObject()) << "discard";
    EXPECT_FALSE(f->Session().IsOpen());
    EXPECT_FALSE(forms::FileExists(dir_ + "sample.Scheme 1.msc"));

    change();
    g_answer = IDYES;
    {
        ModalScript<TFGetName> s({[](TFGetName& d) {
            EXPECT_EQ("Scheme 1", d.ComboName->Text()) << "the proposed name";
            d.BtnOk->Click();
        }});
        EXPECT_TRUE(f->CloseObject());
    }
    EXPECT_TRUE(forms::FileExists(dir_ + "sample.Scheme 1.msc")) << "saved as a new scheme";
    EXPECT_FALSE(f->Session().IsOpen());
}

TEST_F(MainForm, AuthoringCommandsFollowTheirConditions) {
    auto f = makeForm();
    ASSERT_TRUE(f->LoadObjectFile(pel_));
    EXPECT_TRUE(f->mAddView->Enabled()) << "the views file can be written";
    EXPECT_FALSE(f->mUpdateView->Enabled()) << "no view yet";
    EXPECT_FALSE(f->mSaveScheme->Enabled()) << "the object's own materials";
    EXPECT_TRUE(f->mSaveAsScheme->Enabled()) << "the folder takes files";
    EXPECT_FALSE(f->mManageViews->Enabled()) << "the view manager is not there";
    {
        ModalScript<TFGetName> s({[](TFGetName& d) {
            EXPECT_EQ("View 1", d.EditName->Text());
            d.BtnOk->Click();
        }});
        f->mAddView->Click();
    }
    ASSERT_EQ(1, f->mAvailViews->Count());
    EXPECT_EQ("View 1", f->mAvailViews->Items(0)->Caption());
    EXPECT_TRUE(f->mUpdateView->Enabled());
    EXPECT_EQ(2, f->TreeView->RootCount());
    EXPECT_EQ(1, f->TreeView->Root(0)->Count());

    // The view comes back from the menu.
    const float phi = f->qivobj->Phi();
    f->qivobj->SetPhi(phi + 40);
    f->mAvailViews->Items(0)->Click();
    EXPECT_FLOAT_EQ(phi, f->qivobj->Phi());

    {
        ModalScript<TFGetName> s({[](TFGetName& d) { d.BtnOk->Click(); }});
        f->mSaveAsScheme->Click();
    }
    EXPECT_EQ(1, f->Session().CurrentScheme());
    EXPECT_TRUE(f->mSaveScheme->Enabled());
    ASSERT_EQ(2, f->mSchemes->Count());
    EXPECT_TRUE(f->mSchemes->Items(1)->Checked());
    EXPECT_FALSE(f->mSchemes->Items(0)->Checked());
}

// Views: added under their default names, applied from the menu and the
// tree, updated, and the last one shown back on the next open.
TEST_F(MainForm, ViewsAddApplyUpdateAndComeBackOnReopen) {
    auto f = makeForm();
    ASSERT_TRUE(f->LoadObjectFile(pel_));
    const float phis[] = {10, 20, 30};
    std::vector<Viewing3D> cameras;
    for (float phi : phis) {
        f->qivobj->SetPhi(phi);
        cameras.push_back(viewing(*f));
        ModalScript<TFGetName> s({[](TFGetName& d) { d.BtnOk->Click(); }});
        f->mAddView->Click();
        EXPECT_TRUE(s.finished());
    }
    ASSERT_EQ(3, f->mAvailViews->Count());
    const std::string prefix = GetMsgText(kTxtViewPrefix.number);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(prefix + std::to_string(i + 1), f->mAvailViews->Items(i)->Caption());
    ASSERT_EQ(2, f->TreeView->RootCount());
    ASSERT_EQ(3, f->TreeView->Root(0)->Count());
    EXPECT_EQ(prefix + "3", f->TreeView->Root(0)->Item(2)->Text());
    EXPECT_EQ(-1, f->TreeView->Root(0)->ImageIndex()) << "the views file can be written";

    auto sameCamera = [&](const Viewing3D& want, const Viewing3D& got, const char* what) {
        EXPECT_NEAR(want.eye.x, got.eye.x, 1e-3) << what;
        EXPECT_NEAR(want.eye.y, got.eye.y, 1e-3) << what;
        EXPECT_NEAR(want.eye.z, got.eye.z, 1e-3) << what;
        EXPECT_NEAR(want.vrp.x, got.vrp.x, 1e-3) << what;
        EXPECT_NEAR(want.tanA, got.tanA, 1e-5) << what;
        EXPECT_EQ(want.parallel, got.parallel) << what;
    };
    for (int i : {0, 2, 1}) {
        f->mAvailViews->Items(i)->Click();
        EXPECT_NEAR(phis[i], f->qivobj->Phi(), 1e-3) << i;
        sameCamera(cameras[size_t(i)], viewing(*f), "applied");
    }
    // The tree's third view node plays view 3; the schemes root does nothing.
    f->TreeView->SetSelected(f->TreeView->Root(0)->Item(2));
    pump();
    EXPECT_NEAR(30, f->qivobj->Phi(), 1e-3);
    f->qivobj->SetPhi(5);
    f->TreeView->SetSelected(f->TreeView->Root(1));
    pump();
    EXPECT_NEAR(5, f->qivobj->Phi(), 1e-3);

    // Update asks for an existing view and takes the viewer's state.
    f->qivobj->SetPhi(50);
    {
        ModalScript<TFGetName> s({[&](TFGetName& d) {
            EXPECT_TRUE(d.ComboName->Visible());
            d.ComboName->SetCaption(prefix + "2");
            d.BtnOk->Click();
        }});
        f->mUpdateView->Click();
    }
    f->mAvailViews->Items(0)->Click();
    f->mAvailViews->Items(1)->Click();
    EXPECT_NEAR(50, f->qivobj->Phi(), 1e-3) << "view 2 updated";
    forms::IniFile vad(dir_ + "sample.vad");
    EXPECT_EQ(3u, vad.ReadSections().size());

    // The view shown when the object closes comes back on the next open.
    f->qivobj->SetPhi(77);
    const Viewing3D last = viewing(*f);
    ASSERT_TRUE(f->CloseObject());
    ASSERT_TRUE(f->LoadObjectFile(pel_));
    EXPECT_NEAR(77, f->qivobj->Phi(), 1e-3);
    sameCamera(last, viewing(*f), "reopened");
    EXPECT_EQ(3, f->mAvailViews->Count());
}

TEST_F(MainForm, ViewManagerRenamesDeletesAndReorders) {
    auto f = makeForm();
    ASSERT_TRUE(f->LoadObjectFile(pel_));
    EXPECT_FALSE(f->mManageViews->Enabled()) << "no views";
    for (float phi : {10.0f, 20.0f, 30.0f}) {
        f->qivobj->SetPhi(phi);
        ModalScript<TFGetName> s({[](TFGetName& d) { d.BtnOk->Click(); }});
        f->mAddView->Click();
    }
    ASSERT_TRUE(f->mManageViews->Enabled());
    const std::string v = GetMsgText(kTxtViewPrefix.number);
    auto enter = [](forms::Edit* e, const std::string& text) {
        e->SetText(text);
        SendMessageW(e->Handle(), WM_CHAR, '\r', 0);
    };
    {
        // Cancel leaves everything as it was.
        ModalScript<TFViewMgr> s({[&](TFViewMgr& d) {
            EXPECT_EQ(GetMsgText(92), d.Caption());
            EXPECT_EQ(3, d.LBViewName->Items().Count());
            EXPECT_EQ(0, d.LBViewName->ItemIndex());
            EXPECT_EQ(v + "1", d.EditVName->Text());
            d.BtnDelete->Click();
            d.BtnCancel->Click();
        }});
        f->mManageViews->Click();
        EXPECT_TRUE(s.finished());
    }
    EXPECT_EQ(3, f->mAvailViews->Count());
    {
        ModalScript<TFViewMgr> s({[&](TFViewMgr& d) {
                                      // View 3 up: 1, 3, 2; then renamed.
                                      d.LBViewName->SetItemIndex(2);
                                      d.LBViewName->Click();
                                      d.BtnMoveUp->Click();
                                      EXPECT_EQ(1, d.LBViewName->ItemIndex());
                                      EXPECT_EQ(v + "3", d.LBViewName->Items()[1]);
                                      enter(d.EditVName, "Front");
                                      EXPECT_EQ("Front", d.LBViewName->Items()[1]);
                                      // Another view's name, in any case, is refused with its text.
                                      enter(d.EditVName, forms::UpperCase(v + "1"));
                                      ASSERT_EQ(1u, g_messages.size());
                                      EXPECT_EQ(GetMsgText(kTxtViewNameTaken.number), g_messages[0]);
                                      EXPECT_EQ("Front", d.EditVName->Text());
                                      enter(d.EditVName, "BatchRender");
                                      EXPECT_EQ(GetMsgText(kTxtNameRefused.number), g_messages.at(1));
                                      // View 1 goes; the first stays selected.
                                      d.LBViewName->SetItemIndex(0);
                                      d.LBViewName->Click();
                                      d.BtnDelete->Click();
                                      EXPECT_EQ(0, d.LBViewName->ItemIndex());
                                      EXPECT_EQ("Front", d.EditVName->Text());
                                      d.BtnMoveDown->Click();
                                      d.BtnOk->Click();
                                  }});
        f->mManageViews->Click();
        EXPECT_TRUE(s.finished());
    }
    ASSERT_EQ(2, f->mAvailViews->Count());
    EXPECT_EQ(v + "2", f->mAvailViews->Items(0)->Caption());
    EXPECT_EQ("Front", f->mAvailViews->Items(1)->Caption());
    ASSERT_EQ(2, f->TreeView->Root(0)->Count());
    EXPECT_EQ("Front", f->TreeView->Root(0)->Item(1)->Text());
    forms::IniFile vad(dir_ + "sample.vad");
    EXPECT_EQ((std::vector<std::string>{v + "2", "Front"}), vad.ReadSections());
    f->mAvailViews->Items(1)->Click();
    EXPECT_NEAR(30, f->qivobj->Phi(), 1e-3) << "the renamed view keeps its camera";
}

TEST_F(MainForm, TreePopupRenamesAndDeletesViews) {
    auto f = makeForm();
    ASSERT_TRUE(f->LoadObjectFile(pel_));
    for (int i = 0; i < 2; ++i) {
        ModalScript<TFGetName> s({[](TFGetName& d) { d.BtnOk->Click(); }});
        f->mAddView->Click();
    }
    auto enabled = [&](const char* item) { return f->Find<forms::MenuItem>(item)->Enabled(); };
    f->PrepareTreePopup(f->TreeView->Root(0));
    EXPECT_TRUE(enabled("mPopUpViewAdd"));
    EXPECT_FALSE(enabled("mPopUpDeleteView")) << "on the root";
    f->PrepareTreePopup(f->TreeView->Root(1)->Item(0));
    EXPECT_FALSE(enabled("mPopUpRenameScheme")) << "the object's own materials";
    EXPECT_FALSE(enabled("mPopUpViewAdd"));

    f->PrepareTreePopup(f->TreeView->Root(0)->Item(0));
    for (const char* item : {"mPopUpViewAdd", "mPopUpViewUpdate", "mPopUpViewManager", "mPopUpRenameView",
                             "mPopUpDeleteView"})
        EXPECT_TRUE(enabled(item)) << item;
    {
        ModalScript<TFGetName> s({[](TFGetName& d) {
                                      d.EditName->SetText("General");
                                      d.BtnOk->Click();
                                  },
                                  [](TFGetName& d) {
                                      d.EditName->SetText("Side");
                                      d.BtnOk->Click();
                                  }});
        f->Find<forms::MenuItem>("mPopUpRenameView")->Click();
    }
    EXPECT_EQ(std::vector<std::string>{GetMsgText(kTxtNameRefused.number)}, g_messages) << "a reserved section";
    EXPECT_EQ("Side", f->mAvailViews->Items(0)->Caption());
    EXPECT_EQ("Side", f->TreeView->Root(0)->Item(0)->Text());
    forms::IniFile vad(dir_ + "sample.vad");
    EXPECT_FALSE(vad.SectionExists(GetMsgText(kTxtViewPrefix.number) + "1")) << "the old section went";
    EXPECT_TRUE(vad.SectionExists("Side"));

    g_messages.clear();
    g_answer = IDNO;
    f->PrepareTreePopup(f->TreeView->Root(0)->Item(0));
    f->Find<forms::MenuItem>("mPopUpDeleteView")->Click();
    ASSERT_EQ(1u, g_messages.size());
    EXPECT_EQ(GetMsgText(kTxtAskDeleteView.number) + " Side", g_messages[0]);
    EXPECT_EQ(2, f->mAvailViews->Count());
    g_answer = IDYES;
    f->Find<forms::MenuItem>("mPopUpDeleteView")->Click();
    ASSERT_EQ(1, f->mAvailViews->Count());
    EXPECT_EQ(1, f->TreeView->Root(0)->Count());
    EXPECT_FALSE(forms::IniFile(dir_ + "sample.vad").SectionExists("Side"));
}

// The tree's popup menu opened by a right click on a view: its view commands
// on, the scheme commands off; the item chosen in it acts.
TEST_F(MainForm, TreePopupOnARealRightClick) {
    auto f = makeForm();
    ASSERT_TRUE(f->LoadObjectFile(pel_));
    for (int i = 0; i < 2; ++i) {
        ModalScript<TFGetName> s({[](TFGetName& d) { d.BtnOk->Click(); }});
        f->mAddView->Click();
    }
    ASSERT_EQ(2, f->TreeView->Root(0)->Count());
    pump();
    auto command = [&](const char* item) { return f->Find<forms::MenuItem>(item)->Command(); };
    const char* viewItems[] = {"mPopUpViewAdd", "mPopUpViewUpdate", "mPopUpViewManager", "mPopUpRenameView",
                               "mPopUpDeleteView"};
    const char* schemeItems[] = {"mPopUpLockScheme", "mPopUpUnlockScheme", "mPopUpRenameScheme",
                                 "mPopUpDeleteScheme"};
    HMENU menu = f->PopupMenuTreeView->Handle();
    g_answer = IDYES;
    {
        // On the second view: its commands; Delete chosen with the mouse.
        PopupScript s(menu, [&](HWND w, HMENU m) {
            for (const char* item : viewItems) EXPECT_TRUE(popupItemEnabled(m, command(item))) << item;
            for (const char* item : schemeItems) EXPECT_FALSE(popupItemEnabled(m, command(item))) << item;
            clickPopupItem(w, m, command("mPopUpDeleteView"));
        });
        rightClickNode(f->TreeView, f->TreeView->Root(0)->Item(1));
        EXPECT_TRUE(pumpUntil([&] { return s.shown() && f->TreeView->Root(0)->Count() == 1; }))
            << "shown " << s.shown();
    }
    ASSERT_EQ(1u, g_messages.size());
    EXPECT_EQ(GetMsgText(kTxtAskDeleteView.number) + " " + GetMsgText(kTxtViewPrefix.number) + "2", g_messages[0]);
    ASSERT_EQ(1, f->mAvailViews->Count());
    EXPECT_EQ(GetMsgText(kTxtViewPrefix.number) + "1", f->mAvailViews->Items(0)->Caption());
}

TEST_F(MainForm, ReadOnlyViewsFileKeepsEveryWritingCommandDisabled) {
    const std::string vad = dir_ + "sample.vad";
    const std::string text = "[Front]\r\nVrp=0 0 0\r\nEye=0 -20 0\r\nRot=0.5 0 180\r\nFlags=31\r\n";
    std::ofstream(vad, std::ios::binary) << text;
    SetFileAttributesA(vad.c_str(), FILE_ATTRIBUTE_READONLY);
    auto f = makeForm();
    ASSERT_TRUE(f->LoadObjectFile(pel_));
    EXPECT_TRUE(f->Session().Views().IsReadOnly());
    EXPECT_NE(0u, GetFileAttributesA(vad.c_str()) & FILE_ATTRIBUTE_READONLY) << "loading leaves the attribute";
    for (forms::MenuItem* m : {f->mAddView, f->mUpdateView, f->mManageViews})
        EXPECT_FALSE(m->Enabled()) << m->Name();
    EXPECT_EQ(31, f->TreeView->Root(0)->ImageIndex());
    f->PrepareTreePopup(f->TreeView->Root(0)->Item(0));
    EXPECT_FALSE(f->Find<forms::MenuItem>("mPopUpDeleteView")->Enabled());
    ASSERT_EQ(1, f->mAvailViews->Count());
    f->qivobj->SetPhi(3);
    f->mAvailViews->Items(0)->Click();
    EXPECT_NEAR(180, f->qivobj->Phi(), 1e-3) << "its views still play";
    ASSERT_TRUE(f->CloseObject());
    EXPECT_EQ(text, wintest::readAll(vad)) << "no last view written";
}

// Schemes: saved as, applied (the viewer's materials follow), locked,
// unlocked, renamed and deleted, in the menu and the tree alike.
TEST_F(MainForm, SchemesSaveAsApplyLockRenameAndDelete) {
    auto f = makeForm();
    ASSERT_TRUE(f->LoadObjectFile(pel_));
    ViewerMaterial own;
    ASSERT_TRUE(f->qivobj->GetMaterial(0, own));
    ASSERT_TRUE(f->Session().Editor().Change(*f->qivobj, [](MatEntry& m) { m.diffuse = RGB3(1, 2, 3); }));
    {
        ModalScript<TFGetName> s({[](TFGetName& d) { d.BtnOk->Click(); }});
        f->mSaveAsScheme->Click();
    }
    const std::string first = dir_ + "sample." + GetMsgText(kTxtSchemePrefix.number) + "1.msc";
    ASSERT_TRUE(forms::FileExists(first));
    ASSERT_EQ(2, f->mSchemes->Count());
    ASSERT_EQ(2, f->TreeView->Root(1)->Count());
    auto diffuse = [&] {
        ViewerMaterial m;
        EXPECT_TRUE(f->qivobj->GetMaterial(0, m));
        return m.diffuse & 0xFFFFFF;
    };
    f->mSchemes->Items(0)->Click();
    EXPECT_EQ(own.diffuse & 0xFFFFFF, diffuse()) << "item 0: the object's own";
    f->mSchemes->Items(1)->Click();
    EXPECT_EQ(RGB3(1, 2, 3), diffuse()) << "the scheme's file";
    EXPECT_TRUE(f->mSaveScheme->Enabled());

    auto item = [&](const char* name) { return f->Find<forms::MenuItem>(name); };
    auto schemeNode = [&] { return f->TreeView->Root(1)->Item(1); };
    f->PrepareTreePopup(schemeNode());
    EXPECT_TRUE(item("mPopUpLockScheme")->Enabled());
    EXPECT_FALSE(item("mPopUpUnlockScheme")->Enabled());
    item("mPopUpLockScheme")->Click();
    EXPECT_NE(0u, GetFileAttributesA(first.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(1, f->mSchemes->Items(1)->Tag());
    EXPECT_EQ(31, schemeNode()->ImageIndex());
    EXPECT_FALSE(f->mSaveScheme->Enabled()) << "a locked scheme is not edited";
    EXPECT_FALSE(f->mEdit->Enabled());
    f->PrepareTreePopup(schemeNode());
    EXPECT_FALSE(item("mPopUpRenameScheme")->Enabled());
    EXPECT_FALSE(item("mPopUpDeleteScheme")->Enabled());
    item("mPopUpUnlockScheme")->Click();
    EXPECT_EQ(0u, GetFileAttributesA(first.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(-1, schemeNode()->ImageIndex());
    EXPECT_TRUE(f->mEdit->Enabled());

    f->PrepareTreePopup(schemeNode());
    {
        ModalScript<TFGetName> s({[](TFGetName& d) {
            d.EditName->SetText("Red");
            d.BtnOk->Click();
        }});
        item("mPopUpRenameScheme")->Click();
    }
    EXPECT_FALSE(forms::FileExists(first));
    EXPECT_TRUE(forms::FileExists(dir_ + "sample.Red.msc"));
    EXPECT_EQ("Red", f->mSchemes->Items(1)->Caption());
    EXPECT_EQ(dir_ + "sample.Red.msc", f->mSchemes->Items(1)->Hint());
    EXPECT_EQ("Red", schemeNode()->Text());
    EXPECT_EQ("Red", f->LblMatSchemeName->Caption());

    g_answer = IDYES;
    f->PrepareTreePopup(schemeNode());
    item("mPopUpDeleteScheme")->Click();
    ASSERT_EQ(1u, g_messages.size());
    EXPECT_EQ(GetMsgText(kTxtAskDeleteScheme.number) + " Red", g_messages[0]);
    EXPECT_FALSE(forms::FileExists(dir_ + "sample.Red.msc"));
    EXPECT_EQ(1, f->mSchemes->Count());
    EXPECT_EQ(1, f->TreeView->Root(1)->Count());
    EXPECT_EQ(0, f->Session().CurrentScheme());
    EXPECT_TRUE(f->mSchemes->Items(0)->Checked());
    EXPECT_EQ(own.diffuse & 0xFFFFFF, diffuse()) << "the object's own again";
}

TEST_F(MainForm, SixteenSchemesStartASecondMenuColumn) {
    for (int i = 1; i <= 15; ++i) {
        char name[40];
        std::snprintf(name, sizeof name, "sample.S%02d.msc", i);
        std::ofstream(dir_ + name, std::ios::binary) << "Counts\r\n";
    }
    SetFileAttributesA((dir_ + "sample.S03.msc").c_str(), FILE_ATTRIBUTE_READONLY);
    auto f = makeForm();
    ASSERT_TRUE(f->LoadObjectFile(pel_));
    ASSERT_EQ(16, f->mSchemes->Count());
    EXPECT_EQ("S01", f->mSchemes->Items(1)->Caption());
    EXPECT_EQ(forms::MenuBreak::None, f->mSchemes->Items(14)->Break());
    EXPECT_EQ(forms::MenuBreak::BarBreak, f->mSchemes->Items(15)->Break());
    EXPECT_EQ(1, f->mSchemes->Items(3)->Tag()) << "a read-only scheme is listed locked";
    EXPECT_EQ(31, f->TreeView->Root(1)->Item(3)->ImageIndex());
    EXPECT_EQ(16, f->TreeView->Root(1)->Count());
}

TEST_F(MainForm, PreferencesChangeAndClampValues) {
    auto f = makeForm();
    auto* hook = &forms::Application::Instance().OnMessage;
    ASSERT_TRUE(bool(*hook));
    {
        ModalScript<TFPrefrences> s({[&](TFPrefrences& d) {
                                         EXPECT_FALSE(bool(*hook)) << "the key hook rests while it shows";
                                         EXPECT_EQ(1, d.SpinRot->Value());
                                         EXPECT_EQ(forms::TColor(GlobalIni().DayClr), d.CSBDay->ButtonColor());
                                         d.ChooseColour = [](forms::TColor) { return forms::TColor(RGB3(1, 2, 3)); };
                                         d.CSBHilite->Click();
                                         SetWindowTextW(d.SpinRot->Handle(), L"0");
                                         d.EDay->SetText("Pics/day.jpg");
                                         d.ChkDayNight->SetChecked(false);
                                     },
                                     [](TFPrefrences& d) { d.BtnOK->Click(); }});
        f->ShowPreferences();
    }
    EXPECT_TRUE(bool(*hook)) << "and comes back";
    EXPECT_EQ(1, GlobalIni().RotationAngle) << "0 is clamped on OK";
    EXPECT_EQ(dir_ + "Pics\\day.jpg", GlobalIni().DayBmp);
    EXPECT_EQ(RGB3(1, 2, 3), GlobalIni().HiliteClr);
    EXPECT_FALSE(GlobalIni().EnableClrBmp);
    forms::IniFile ini(GetIniPath());
    EXPECT_EQ(1, ini.ReadInteger("General", "RotationAngle", -1));
    EXPECT_EQ("Pics\\day.jpg", ini.ReadString("General", "DayBmp", ""));
    EXPECT_EQ("1 2 3", ini.ReadString("General", "HiliteClr", ""));
    EXPECT_TRUE(ini.ValueExists("General", "File Preview"));

    {
        ModalScript<TFPrefrences> s({[](TFPrefrences& d) {
                                         SetWindowTextW(d.SpinRot->Handle(), L"50");
                                         d.ChkDayNight->SetChecked(true);
                                     },
                                     [](TFPrefrences& d) { d.BtnCancel->Click(); }});
        f->ShowPreferences();
    }
    EXPECT_EQ(1, GlobalIni().RotationAngle) << "cancel keeps the settings";
    EXPECT_FALSE(GlobalIni().EnableClrBmp);
    EXPECT_EQ(1, forms::IniFile(GetIniPath()).ReadInteger("General", "RotationAngle", -1));
    {
        ModalScript<TFPrefrences> s({[](TFPrefrences& d) { SetWindowTextW(d.SpinRot->Handle(), L"200"); },
                                     [](TFPrefrences& d) { d.BtnOK->Click(); }});
        f->ShowPreferences();
    }
    EXPECT_EQ(90, GlobalIni().RotationAngle);
}

TEST_F(MainForm, SettingsAreWrittenOnExitAndReadOnTheNextStart) {
    DeleteFileA(GetIniPath().c_str());
    {
        auto f = makeForm();
        EXPECT_EQ(forms::WindowState::Maximized, f->GetWindowState()) << "no saved placement: maximised";
        ASSERT_TRUE(f->LoadObjectFile(pel_));
        f->Find<forms::MenuItem>("mToolBarLight")->Click();
        EXPECT_FALSE(f->ToolbarLight->Visible());
        EXPECT_FALSE(f->Find<forms::MenuItem>("mToolBarLight")->Checked());
        f->mIconLarge->Click();
        f->qivobj->SetFilter(true);
    }
    forms::IniFile ini(GetIniPath());
    EXPECT_EQ(pel_, ini.ReadString("LRUFileList", "File1", ""));
    EXPECT_FALSE(ini.ReadBool("General", "IconSize", true));
    EXPECT_TRUE(ini.ReadBool("General", "Filter", false));
    EXPECT_TRUE(ini.ReadBool("AppWindow", "Max", false));
    EXPECT_EQ(0, ini.ReadInteger("Toolbar-ToolbarLight", "Visible", 1));
    EXPECT_EQ(1, ini.ReadInteger("Toolbar-ToolbarView", "Visible", 0));

    // A window placed by the user comes back where it was.
    ini.WriteBool("AppWindow", "Max", false);
    ini.WriteInteger("AppWindow", "Left", 20);
    ini.WriteInteger("AppWindow", "Top", 30);
    ini.WriteInteger("AppWindow", "Width", 700);
    ini.WriteInteger("AppWindow", "Height", 500);
    ASSERT_TRUE(ini.UpdateFile());
    {
        auto f = makeForm();
        EXPECT_TRUE(f->mIconLarge->Checked());
        EXPECT_FALSE(f->mIconSmall->Checked());
        EXPECT_TRUE(f->qivobj->Filter());
        EXPECT_FALSE(f->ToolbarLight->Visible());
        EXPECT_FALSE(f->Find<forms::MenuItem>("mToolBarLight")->Checked());
        EXPECT_TRUE(f->ToolbarView->Visible());
        EXPECT_EQ(forms::WindowState::Normal, f->GetWindowState());
        EXPECT_EQ(700, f->Width());
        EXPECT_EQ(30, f->Top());
        ASSERT_EQ(1, f->mReOpen->Count());
        EXPECT_EQ(pel_, f->mReOpen->Items(0)->Caption());
        EXPECT_EQ(dir_, f->Settings().QivFolder);
        f->SetBounds(25, 35, 720, 520);
        pump();
    }
    forms::IniFile again(GetIniPath());
    EXPECT_FALSE(again.ReadBool("AppWindow", "Max", true));
    EXPECT_EQ(720, again.ReadInteger("AppWindow", "Width", 0));
    EXPECT_EQ(35, again.ReadInteger("AppWindow", "Top", 0));
}

}  // namespace

// The material editor, the material library, the colour choosers, the
// about box and web publishing on the main form with the real viewer: each
// control is driven by its window messages and what the viewer's
// GetMaterial answers is checked; the colour cube's and gradient's pixels
// are read back.
#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <functional>

#include "aboutbox_win.h"
#include "common.h"
#include "forms/application.h"
#include "forms/fileio.h"
#include "forms/inifile.h"
#include "forms/textutil.h"
#include "getname_win.h"
#include "crdebinding_win.h"
#include "htmldialog_win.h"
#include "imageconvert_win.h"
#include "mainqiv_win.h"
#include "materialforms_win.h"
#include "matlibrary.h"
#include "msgstrs.h"
#include "wintestutil.h"

bool WriteSamplePel(const std::string& path);

namespace {

using namespace stellwerk;
using wintest::pump;
using wintest::ModalScript;

std::vector<std::string> g_messages;

// A scroll bar moved as its arrows and pages move it.
void scroll(forms::Control* bar, WORD code, int times = 1) {
    for (int i = 0; i < times; ++i)
        SendMessage(GetParent(bar->Handle()), WM_HSCROLL, MAKEWPARAM(code, 0), LPARAM(bar->Handle()));
}

void click(forms::Control* c) { SendMessage(c->Handle(), BM_CLICK, 0, 0); }

// A left click at a point of a control's window.
void mouseClick(forms::Control* c, int x, int y, bool right = false) {
    const LPARAM at = MAKELPARAM(x, y);
    SendMessage(c->Handle(), right ? WM_RBUTTONDOWN : WM_LBUTTONDOWN, right ? MK_RBUTTON : MK_LBUTTON, at);
    SendMessage(c->Handle(), right ? WM_RBUTTONUP : WM_LBUTTONUP, 0, at);
}

void typeInto(forms::Edit* e, const std::string& text) {
    SendMessageA(e->Handle(), WM_SETTEXT, 0, LPARAM(text.c_str()));
    pump();
}

void selectListItem(forms::ListBox* l, int i) {
    SendMessage(l->Handle(), LB_SETCURSEL, WPARAM(i), 0);
    SendMessage(GetParent(l->Handle()), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(l->Handle()), LBN_SELCHANGE),
                LPARAM(l->Handle()));
}

int distance(Color a, Color b) {
    return std::abs(RedOf(a) - RedOf(b)) + std::abs(GreenOf(a) - GreenOf(b)) + std::abs(BlueOf(a) - BlueOf(b));
}

Color pixelOf(const forms::Bitmap& b, int x, int y) {
    const uint32_t p = b.Bits()[size_t(y) * size_t(b.Width()) + size_t(x)];
    return RGB3(int(p >> 16 & 255), int(p >> 8 & 255), int(p & 255));
}

class MaterialForm : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        software_ = new wintest::SoftwareViewer;
        ASSERT_EQ("", wintest::startHostingSuite(QIV_PLAYER_DLL, STELLWERK_SUPPORT,
            [](const std::string& text, const std::string&, UINT) {
                g_messages.push_back(text);
                return IDOK;
            }));
        dir_ = wintest::tempFolder("stellwerk materials");
        pel_ = dir_ + "sample.pel";
        ASSERT_TRUE(WriteSamplePel(pel_));
        CreateDirectoryA((dir_ + "Materials").c_str(), nullptr);
        CreateDirectoryA((dir_ + "Palettes").c_str(), nullptr);
        // Ten lines colour entries 0 to 9; two palettes for the menu.
        std::ofstream test(dir_ + "Palettes\\TEST.rgb", std::ios::binary);
        for (int i = 0; i < 10; ++i) test << i * 10 << " " << 200 - i * 10 << " " << i * 5 << "\r\n";
        std::ofstream(dir_ + "Palettes\\zorovo.rgb", std::ios::binary) << "1 2 3\r\n";
    }
    static void TearDownTestSuite() {
        delete software_;
        software_ = nullptr;
    }
    void SetUp() override {
        SetProgramFolder(dir_);
        DeleteFileA(GetIniPath().c_str());
        DeleteFileA((dir_ + "sample.vad").c_str());
        DeleteFileA((dir_ + "sample.Edited.msc").c_str());
        std::ofstream(GetIniPath(), std::ios::binary)
            << "[AppWindow]\r\nMax=0\r\nLeft=0\r\nTop=0\r\nWidth=1000\r\nHeight=740\r\n[Paths]\r\nMaterials=Materials\r\n";
        GlobalIni() = TGlobalIni();
        g_messages.clear();
        f = std::make_unique<TFMainqiv>(nullptr);
        f->Show();
        pump();
        forms_ = f->Find<MaterialForms>("MaterialForms");
        ASSERT_NE(nullptr, forms_);
        ASSERT_TRUE(f->LoadObjectFile(pel_));
        ASSERT_NE(nullptr, f->Session().Editor().Current());
        ASSERT_TRUE(f->mEdit->Enabled()) << "the folder takes files";
    }
    void TearDown() override {
        if (f) f->Session().Editor().SetModified(false);
        f.reset();
        pump();
    }

    ViewerMaterial viewerMaterial(int i = 0) {
        ViewerMaterial m;
        EXPECT_TRUE(f->qivobj->GetMaterial(i, m));
        return m;
    }
    template <class T>
    T* find(const char* name) {
        T* c = f->Find<T>(name);
        EXPECT_NE(nullptr, c) << name;
        return c;
    }

    std::unique_ptr<TFMainqiv> f;
    MaterialForms* forms_ = nullptr;
    static inline wintest::SoftwareViewer* software_ = nullptr;
    static inline std::string dir_, pel_;
};

TEST_F(MaterialForm, ControlsChangeTheMaterialInTheViewer) {
    MaterialEditor& e = f->Session().Editor();
    const MatEntry before = *e.Current();
    // Each scroll bar moves its value; the viewer reads each change back.
    const struct {
        const char* bar;
        WORD code;
        int times;
        std::function<float(const ViewerMaterial&)> got;
        std::function<float(const MatEntry&)> want;
    } bars[] = {
        {"ScrollDif", SB_LEFT, 1, [](const ViewerMaterial& m) { return m.kDiffuse; }, [](const MatEntry&) { return 0.0f; }},
        {"ScrollDif", SB_LINERIGHT, 5, [](const ViewerMaterial& m) { return m.kDiffuse; }, [](const MatEntry&) { return 0.05f; }},
        {"ScrollAmb", SB_RIGHT, 1, [](const ViewerMaterial& m) { return m.kAmbient; }, [](const MatEntry&) { return 1.0f; }},
        {"ScrollSpec", SB_LEFT, 1, [](const ViewerMaterial& m) { return m.kSpecular; }, [](const MatEntry&) { return 0.0f; }},
        {"ScrollAlpha", SB_RIGHT, 1, [](const ViewerMaterial& m) { return m.alpha; }, [](const MatEntry&) { return 0.0f; }},
        {"ScrollAlpha", SB_LINELEFT, 30, [](const ViewerMaterial& m) { return m.alpha; }, [](const MatEntry&) { return 0.7f; }},
    };
    for (const auto& b : bars) {
        scroll(find<forms::ScrollBar>(b.bar), b.code, b.times);
        EXPECT_NEAR(b.want(*e.Current()), b.got(viewerMaterial()), 0.001) << b.bar << " " << b.code;
    }
    // The refraction: the viewer's code is the refractive index minus 1.
    auto* ref = find<forms::ScrollBar>("ScrollRefIdx");
    EXPECT_EQ(kViewerDefaultRefraction, ref->Position()) << "the viewer's default";
    scroll(ref, SB_LEFT);
    scroll(ref, SB_LINERIGHT, 2);
    EXPECT_EQ(3, RefractiveIndexOf(e.Current()->flags));
    EXPECT_EQ(2u, viewerMaterial().flags >> 10 & 63) << std::hex << viewerMaterial().flags;
    EXPECT_EQ("3", find<forms::Label>("LRefIdx")->Caption());
    EXPECT_EQ("70", find<forms::Label>("LAlpha")->Caption());

    // The flag boxes set and clear their bits.
    const struct {
        const char* box;
        uint32_t bit;
    } boxes[] = {{"ChkSelfLit", kMatSelfLit}, {"ChkBothFace", kMatBothFaces}};
    for (const auto& b : boxes) {
        auto* c = find<forms::CheckBox>(b.box);
        const bool was = (viewerMaterial().flags & b.bit) != 0;
        click(c);
        EXPECT_EQ(!was, (viewerMaterial().flags & b.bit) != 0) << b.box;
        EXPECT_EQ(!was, c->Checked()) << b.box;
    }

    // Undo takes the last change back, redo brings it again, both through the menu.
    const bool bothFaces = viewerMaterial().flags & kMatBothFaces;
    ASSERT_TRUE(f->mUndo->Enabled());
    f->mUndo->Click();
    EXPECT_NE(bothFaces, (viewerMaterial().flags & kMatBothFaces) != 0);
    EXPECT_NE(bothFaces, find<forms::CheckBox>("ChkBothFace")->Checked()) << "the editor is refilled";
    ASSERT_TRUE(f->mRedo->Enabled());
    f->mRedo->Click();
    EXPECT_EQ(bothFaces, (viewerMaterial().flags & kMatBothFaces) != 0);

    // A preset: one step before its scroll bars, each of which records its own.
    click(find<forms::Button>("BtnMatGlass"));
    const ViewerMaterial glass = viewerMaterial();
    EXPECT_NEAR(0.4f, glass.kDiffuse, 0.001);
    EXPECT_NEAR(0.4f, glass.kAmbient, 0.001);
    EXPECT_NEAR(0.3f, glass.alpha, 0.001);
    EXPECT_NEAR(0.7f, glass.kSpecular, 0.001);
    EXPECT_EQ("30", find<forms::Label>("LAlpha")->Caption());
    EXPECT_FALSE(f->mRedo->Enabled()) << "a new change empties the redo list";

    // Reset: back to the material as it was selected.
    f->mResetObject->Click();
    EXPECT_EQ(before, *e.Current());
    EXPECT_NEAR(before.kDiffuse, viewerMaterial().kDiffuse, 0.001);
    EXPECT_TRUE(g_messages.empty());
}

TEST_F(MaterialForm, ColourTargetsSpinEditsAndNoStepForTheSameColour) {
    MaterialEditor& e = f->Session().Editor();
    auto* r = find<forms::SpinEdit>("SpinR");
    auto* g = find<forms::SpinEdit>("SpinG");
    auto* b = find<forms::SpinEdit>("SpinB");
    typeInto(g, "0");
    typeInto(b, "10");
    typeInto(r, "300");
    EXPECT_EQ(RGB3(255, 0, 10), e.Current()->diffuse) << "300 is taken as 255";
    EXPECT_EQ(RGB3(255, 0, 10), viewerMaterial().diffuse & 0xFFFFFF);
    EXPECT_EQ(RGB3(255, 0, 10), find<forms::Panel>("PanelColDif")->Color());
    typeInto(r, "");
    EXPECT_EQ(RGB3(0, 0, 10), viewerMaterial().diffuse & 0xFFFFFF) << "an empty edit counts 0";
    SendMessage(r->Handle(), WM_KILLFOCUS, 0, 0);
    r->SetFocus();
    g->SetFocus();
    pump();
    EXPECT_EQ("0", r->Text()) << "leaving an empty edit shows 0";

    // The specular pair: its old panel is lowered, the spin edits show its colour.
    mouseClick(find<forms::Panel>("PanelColSpec"), 5, 5);
    EXPECT_FALSE(forms_->TargetIsDiffuse());
    EXPECT_EQ(forms::Bevel::Lowered, find<forms::Panel>("PanelOldColSpec")->BevelOuter());
    EXPECT_EQ(forms::Bevel::Raised, find<forms::Panel>("PanelOldColDif")->BevelOuter());
    const Color spec = e.Current()->specular;
    EXPECT_EQ(RedOf(spec), r->Value());
    typeInto(g, "77");
    EXPECT_EQ(77, GreenOf(viewerMaterial().specular));
    EXPECT_EQ(RGB3(0, 0, 10), viewerMaterial().diffuse & 0xFFFFFF) << "the diffuse colour stays";

    // The colour the target has already records nothing.
    const size_t steps = e.History().UndoList().size();
    forms_->SetTargetColor(e.Current()->specular, true);
    EXPECT_EQ(steps, e.History().UndoList().size());
    mouseClick(find<forms::Panel>("PanelOldColDif"), 5, 5);
    EXPECT_TRUE(forms_->TargetIsDiffuse());
    EXPECT_EQ(10, b->Value());
}

TEST_F(MaterialForm, CubeGradientAndPaletteChooseColours) {
    MaterialEditor& e = f->Session().Editor();
    // The cube shows the RGB cube's corners; the turned cube still does.
    auto* cube = find<forms::Image>("ImageColorCube");
    for (CubeAngles a : {CubeAngles{}, CubeAngles{20, 200}}) {
        forms_->SetAngles(a);
        ASSERT_TRUE(forms_->RenderCube()) << "no OpenGL context";
        const forms::Bitmap& pic = cube->Picture();
        ASSERT_EQ(cube->Width(), pic.Width());
        int seen = 0;
        for (float x : {-0.5f, 0.5f})
            for (float y : {-0.5f, 0.5f})
                for (float z : {-0.5f, 0.5f}) {
                    const Color corner = CubeCornerColour(x, y, z);
                    int best = 1000;
                    for (int py = 0; py < pic.Height(); ++py)
                        for (int px = 0; px < pic.Width(); ++px) best = std::min(best, distance(corner, pixelOf(pic, px, py)));
                    seen += best <= 40;
                }
        EXPECT_GE(seen, 6) << "corners seen at " << a.x << "," << a.y;
    }
    // A right-button drag turns it.
    forms_->SetAngles({});
    SendMessage(cube->Handle(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(10, 10));
    SendMessage(cube->Handle(), WM_MOUSEMOVE, MK_RBUTTON, MAKELPARAM(30, 15));
    SendMessage(cube->Handle(), WM_RBUTTONUP, 0, MAKELPARAM(30, 15));
    EXPECT_EQ(50, forms_->Angles().x);
    EXPECT_EQ(65, forms_->Angles().y);
    // A left click picks the pixel's colour for the target.
    const int cx = cube->Width() / 2, cy = cube->Height() / 2;
    const Color picked = pixelOf(cube->Picture(), cx, cy);
    mouseClick(cube, cx, cy);
    EXPECT_EQ(picked, e.Current()->diffuse);
    EXPECT_EQ(picked, viewerMaterial().diffuse & 0xFFFFFF);
    EXPECT_EQ(picked, forms_->GradientColour());

    // The gradient: white at the top, the colour at the middle, black at the bottom.
    auto* grad = find<forms::Image>("ImageColorGrad");
    forms_->SetGradientColour(RGB3(200, 40, 100));
    const forms::Bitmap& gp = grad->Picture();
    ASSERT_EQ(grad->Height(), gp.Height());
    ASSERT_EQ(grad->Width(), gp.Width());
    const int gx = gp.Width() / 2, gh = gp.Height();
    const struct {
        int y;
        Color want;
    } rows[] = {{1, RGB3(255, 255, 255)}, {gh / 2, RGB3(200, 40, 100)}, {gh - 2, 0}};
    for (const auto& r : rows)
        for (int x : {2, gx, gp.Width() - 3})
            EXPECT_LE(distance(r.want, pixelOf(gp, x, r.y)), 24)
                << std::hex << pixelOf(gp, x, r.y) << " at " << std::dec << x << "," << r.y << " of " << gp.Width()
                << "x" << gh;
    // The slider dragged above the gradient gives white, below it black.
    auto* shape = find<forms::Shape>("ShapeColorGrad");
    const struct {
        int dy;
        Color want;
    } drags[] = {{-500, RGB3(255, 255, 255)}, {500, 0}};
    for (const auto& d : drags) {
        SendMessage(shape->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 2));
        SendMessage(shape->Handle(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(5, 2 + d.dy));
        SendMessage(shape->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(5, 2 + d.dy));
        EXPECT_EQ(d.want, e.Current()->diffuse) << d.dy;
        EXPECT_EQ(d.want, viewerMaterial().diffuse & 0xFFFFFF) << d.dy;
    }
    EXPECT_LT(shape->Top(), grad->BoundsRect().bottom) << "clamped to its travel";

    // The palette menu lists the files; choosing one stores it and fills the grid.
    forms::MenuItem* menu = f->PopupMenuColorPal->Items();
    ASSERT_EQ(2, menu->Count());
    EXPECT_EQ("Test", menu->Items(0)->Caption());
    EXPECT_EQ("Zorovo", menu->Items(1)->Caption());
    EXPECT_TRUE(menu->Items(1)->Checked()) << "the default palette";
    menu->Items(0)->Click();
    EXPECT_TRUE(menu->Items(0)->Checked());
    EXPECT_FALSE(menu->Items(1)->Checked());
    EXPECT_EQ("Test", forms::IniFile(GetIniPath()).ReadString("General", "Palette", ""));
    EXPECT_EQ(RGB3(30, 170, 15), forms_->Palette()[3]);
    f->Find<forms::Control>("TBItemCP")->Click();
    auto* grid = find<forms::DrawGrid>("RkColorGrid");
    ASSERT_TRUE(grid->Visible());
    grid->SetCell(2, 0);  // entry 3
    EXPECT_EQ(RGB3(30, 170, 15), e.Current()->diffuse);
    EXPECT_EQ(RGB3(30, 170, 15), viewerMaterial().diffuse & 0xFFFFFF);
    // A screenshot of the colour tools to look at.
    pump();
    f->Repaint();
    pump();
    int w = 0, h = 0;
    const auto px = wintest::clientPixels(f->Handle(), &w, &h);
    forms::Bitmap shot(w, h);
    std::copy(px.begin(), px.end(), shot.Bits());
    shot.SaveToFile(dir_ + "colours.bmp");
}

TEST_F(MaterialForm, LibraryStoresAndLoadsMaterialsAndSchemesKeepTheEdits) {
    MaterialEditor& e = f->Session().Editor();
    scroll(find<forms::ScrollBar>("ScrollDif"), SB_LEFT);
    scroll(find<forms::ScrollBar>("ScrollDif"), SB_LINERIGHT, 5);
    scroll(find<forms::ScrollBar>("ScrollAlpha"), SB_RIGHT);
    scroll(find<forms::ScrollBar>("ScrollAlpha"), SB_LINELEFT, 30);
    typeInto(find<forms::SpinEdit>("SpinR"), "12");
    const MatEntry saved = *e.Current();
    std::string offered;
    forms_->ChooseMaterialFile = [&](const std::string& folder, const std::string&) {
        offered = folder;
        return folder + "Copper.ini";
    };
    f->Find<forms::MenuItem>("mSaveMaterial")->Click();
    EXPECT_TRUE(forms::SameText(dir_ + "Materials\\", offered)) << offered;
    const forms::IniFile ini(dir_ + "Materials\\Copper.ini");
    EXPECT_EQ("Copper", ini.ReadString("Material", "Name", ""));
    EXPECT_EQ("0.05", ini.ReadString("Copper", "kdiffus", "")) << "diffuse position 5";
    EXPECT_EQ("0.70", ini.ReadString("Copper", "alpha", "")) << "alpha position 70 as the viewer's alpha";
    ASSERT_EQ(1, f->LBIniNames->Items().Count()) << "the list is refilled";

    // Another look, then the library file brings the saved values back.
    click(find<forms::Button>("BtnMatMatt"));
    ASSERT_NE(saved.kDiffuse, e.Current()->kDiffuse);
    selectListItem(f->LBIniNames, 0);
    EXPECT_NEAR(saved.kDiffuse, e.Current()->kDiffuse, 0.001);
    EXPECT_EQ(saved.alpha, e.Current()->alpha) << "opacity survives the round trip";
    EXPECT_EQ(saved.diffuse, e.Current()->diffuse);
    EXPECT_NEAR(0.7f, viewerMaterial().alpha, 0.001);
    EXPECT_EQ("70", find<forms::Label>("LAlpha")->Caption());

    // Saved as a scheme and read again after the object is reopened.
    {
        ModalScript<TFGetName> s({[](TFGetName& d) {
            d.ComboName->SetText("Edited");
            d.BtnOk->Click();
        }});
        f->mSaveAsScheme->Click();
    }
    ASSERT_TRUE(forms::FileExists(dir_ + "sample.Edited.msc"));
    ASSERT_TRUE(f->CloseObject());
    ASSERT_TRUE(f->LoadObjectFile(pel_));
    int edited = -1;
    for (int i = 0; i < f->mSchemes->Count(); ++i)
        if (f->mSchemes->Items(i)->Caption() == "Edited") edited = i;
    ASSERT_GE(edited, 0);
    f->mSchemes->Items(edited)->Click();
    EXPECT_NEAR(0.05f, viewerMaterial().kDiffuse, 0.001);
    EXPECT_NEAR(0.7f, viewerMaterial().alpha, 0.001);
    EXPECT_EQ(RedOf(saved.diffuse), RedOf(viewerMaterial().diffuse));
}

TEST_F(MaterialForm, AboutBoxLaysItselfOutAndOpensTheHomePage) {
    std::string opened;
    bool shown = false;
    {
        ModalScript<TAboutBox> s({[&](TAboutBox& a) {
            shown = true;
            EXPECT_EQ("About", a.Caption());
            EXPECT_EQ("Fernlicht", a.ProgramIcon->Text);
            EXPECT_EQ(49, a.ProgramIcon->TextLeft);
            EXPECT_EQ(44, a.ProgramIcon->TextTop);
            EXPECT_TRUE(a.ProgramIcon->TextShadow);
            EXPECT_EQ("Verdana", a.ProgramIcon->TextFont.Name());
            // The button below the panel, centred; the form around both.
            EXPECT_EQ(a.Panel1->Height() + 2 * a.Panel1->Top(), a.OKButton->Top());
            EXPECT_EQ(a.Panel1->Width() + 2 * a.Panel1->Left(), a.ClientWidth());
            EXPECT_EQ((a.ClientWidth() - a.OKButton->Width()) / 2, a.OKButton->Left());
            EXPECT_EQ(a.OKButton->BoundsRect().bottom + a.Panel1->Top(), a.ClientHeight());
            a.Panel1->SetWidth(a.Panel1->Width() + 41);
            EXPECT_EQ(a.Panel1->Width() + 2 * a.Panel1->Left(), a.ClientWidth()) << "follows the panel";
            a.OpenPage = [&](const std::string& p) { opened = p; };
            mouseClick(a.LblDemoHomePage, 2, 2);
            EXPECT_EQ(kProductHomePage, opened);
            EXPECT_EQ(nullptr, forms::Application::Instance().OnMessage) << "the message hook is off while it shows";
        }, [](TAboutBox& a) { click(a.OKButton); }});
        f->Find<forms::MenuItem>("mAbout")->Click();
        EXPECT_TRUE(s.finished());
    }
    EXPECT_TRUE(shown);
    EXPECT_NE(nullptr, forms::Application::Instance().OnMessage) << "restored";
}

TEST_F(MaterialForm, PublishingWritesThePageWithTheViewerAndItsCopies) {
    {
        ModalScript<TFGetName> s({[](TFGetName& d) { d.BtnOk->Click(); }});
        f->mAddView->Click();
    }
    ASSERT_TRUE(f->mWebPublish->Enabled());
    const std::string page = dir_ + "web\\sample.htm";
    std::string opened;
    std::string folder;
    bool shown = false;
    {
        ModalScript<TFSlideShow> s({[&](TFSlideShow& d) {
            shown = true;
            EXPECT_EQ(2, d.RGPublish->ItemIndex());
            EXPECT_EQ(1, d.ComboFiletype->ItemIndex());
            ASSERT_EQ(1, d.ChkLBView->Items().Count());
            EXPECT_TRUE(d.ChkLBView->Checked(0));
            EXPECT_EQ("640", d.EqivWd->Text());
            // Pictures mode needs pictures: only the views are written.
            click(d.RGPublish->Buttons(1));
            EXPECT_FALSE(d.PanelViewSchemes->Enabled());
            EXPECT_EQ(PublishStatus::NothingToPublish, d.PublishPage(page));
            EXPECT_FALSE(g_messages.empty()) << "told that nothing is published";
            click(d.RGPublish->Buttons(0));
            EXPECT_FALSE(d.PanelImage->Enabled());
            typeInto(d.EqivWd, "320");
            d.ChoosePage = [&](const std::string& f2, const std::string& name) {
                folder = f2;
                EXPECT_EQ("sample", name);
                return page;
            };
            d.OpenPage = [&](const std::string& p) { opened = p; };
            click(d.BtnGenerateHTML);
        }, [](TFSlideShow& d) { click(d.BtnClose); }});
        f->mWebPublish->Click();
    }
    ASSERT_TRUE(shown);
    EXPECT_TRUE(forms::SameText(dir_, folder)) << folder;
    EXPECT_EQ(page, opened);
    const std::string text = wintest::readAll(page);
    ASSERT_FALSE(text.empty());
    // The OBJECT element names the control's own class and the chosen size.
    wchar_t clsid[64] = {};
    StringFromGUID2(CLSID_QivPlayer, clsid, 64);
    std::string id;
    for (const wchar_t* c = clsid + 1; *c && *c != L'}'; ++c) id += char(*c);
    EXPECT_NE(std::string::npos, text.find("<OBJECT CLASSID=\"CLSID:" + id + "\"")) << id;
    EXPECT_NE(std::string::npos, text.find("NAME=qiv ID=qiv width=320 height=480 align=center>"));
    EXPECT_NE(std::string::npos, text.find("<PARAM NAME=ObjectURL VALUE=\"sample_files//sample.pel\">"));
    EXPECT_NE(std::string::npos, text.find("function stellwerk_view_0(){"));
    EXPECT_TRUE(forms::FileExists(dir_ + "web\\sample_files\\sample.pel"));
    EXPECT_TRUE(forms::FileExists(dir_ + "web\\sample_files\\Tile.bmp"));
}

// Slide pictures go through the imaging libraries: read, scaled, written in
// the target's type; the same type without a size is copied.
TEST_F(MaterialForm, SlidePicturesAreConvertedThroughTheImagingLibraries) {
    const std::string source = dir_ + "slide.bmp";
    forms::Bitmap b;
    b.SetSize(64, 48);
    for (int i = 0; i < 64 * 48; ++i) b.Bits()[size_t(i)] = i % 64 < 32 ? 0xFF0000 : 0x0000FF;
    b.Changed();
    ASSERT_TRUE(b.SaveToFile(source));
    WinPublishHost host(*f);
    const struct {
        const char* target;
        PictureSize size;
        bool ok;
        const char* type;
        int width, height;
    } cases[] = {
        {"slide.jpg", {true, 32, 0, true}, true, "jpg", 32, 24},
        {"slide.png", {true, 0, 12, true}, true, "png", 16, 12},
        {"slide2.png", {true, 20, 20, false}, true, "png", 20, 20},
        {"slide.pcx", {}, true, "pcx", 64, 48},
        {"copy.BMP", {}, true, "bmp", 64, 48},
        {"slide.jpeg", {}, false, "", 0, 0},
    };
    for (const auto& c : cases) {
        const std::string target = dir_ + c.target;
        DeleteFileA(target.c_str());
        EXPECT_EQ(c.ok, host.ConvertPicture(source, target, c.size)) << c.target;
        if (!c.ok) {
            EXPECT_FALSE(forms::FileExists(target)) << c.target;
            continue;
        }
        std::string type, info;
        CrdeInfo values{};
        ASSERT_TRUE(imaging::DllFileInfo(target, type, values, nullptr, nullptr, info)) << c.target;
        EXPECT_EQ(c.type, type) << c.target;
        EXPECT_EQ(c.width, values.width) << c.target;
        EXPECT_EQ(c.height, values.height) << c.target;
        HGLOBAL dib = nullptr;
        ASSERT_TRUE(LoadAnyImage(target, dib, nullptr, nullptr)) << c.target;
        imaging::FreeDibHandle(dib);
    }
    EXPECT_TRUE(g_messages.empty()) << g_messages.front();
    EXPECT_EQ(wintest::readAll(source), wintest::readAll(dir_ + "copy.BMP")) << "copied as it is";
    EXPECT_FALSE(host.ConvertPicture(source, dir_ + "copy.BMP", {})) << "a copy never replaces a file";
    EXPECT_FALSE(host.ConvertPicture(dir_ + "missing.bmp", dir_ + "missing.jpg", {}));
    EXPECT_FALSE(forms::FileExists(dir_ + "missing.jpg"));
}

}  // namespace

// The main form's components: menus, docks, toolbars, tool windows and what
// they hold, each under the name the texts and saved layouts look for.
#include <cmath>

#include "mainqiv_win.h"
#include "standardviews.h"

#include "common_win.h"

namespace stellwerk {

constexpr double kPi = 3.14159265358979323846;

namespace {

using forms::Canvas;
using forms::Rect;


forms::TColor ink(bool enabled) { return enabled ? forms::ColorToRGB(forms::clBtnText) : forms::ColorToRGB(forms::clGrayText); }

// Item pictures drawn with the canvas, 18 x 18 or so.
GlyphPainter letter(const char* text, forms::TColor colour) {
    return [text, colour](Canvas& c, const Rect& r, bool enabled) {
        c.brush.color = enabled ? colour : forms::clSilver;
        const Rect box{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
        c.FillRect(box);
        c.brush.color = ink(enabled);
        c.FrameRect(box);
        Rect t = box;
        c.font.SetColor(enabled ? forms::clWhite : forms::clGray);
        c.font.SetStyle(forms::fsBold);
        c.DrawText(text, t, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        c.font.SetStyle(0);
    };
}

GlyphPainter polygon(std::vector<forms::Point> pts, forms::TColor fill) {
    return [pts, fill](Canvas& c, const Rect& r, bool enabled) {
        std::vector<forms::Point> p;
        for (const auto& q : pts) p.push_back({r.left + q.x * r.Width() / 16, r.top + q.y * r.Height() / 16});
        c.brush.color = enabled ? fill : forms::clSilver;
        c.pen.color = ink(enabled);
        c.Polygon(p);
    };
}

GlyphPainter lamp(int number) {
    return [number](Canvas& c, const Rect& r, bool enabled) {
        c.brush.color = enabled ? forms::TColor(0x40E0FF) : forms::clSilver;
        c.pen.color = ink(enabled);
        c.Ellipse({r.left + 1, r.top, r.right - 1, r.bottom - 2});
        Rect t{r.left, r.top, r.right, r.bottom - 2};
        c.font.SetColor(ink(enabled));
        c.font.SetStyle(forms::fsBold);
        c.DrawText(std::to_string(number), t, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        c.font.SetStyle(0);
    };
}

GlyphPainter arrowTurn(bool left) {
    return [left](Canvas& c, const Rect& r, bool enabled) {
        c.pen.color = ink(enabled);
        c.pen.width = 2;
        const int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2, rad = r.Width() / 2 - 2;
        std::vector<forms::Point> arc;
        for (int a = 200; a <= 340; a += 10) {
            const double t = a * kPi / 180;
            arc.push_back({cx + int(rad * std::cos(t)), cy - int(rad * std::sin(t)) + 2});
        }
        c.Polyline(arc);
        c.pen.width = 1;
        const forms::Point tip = left ? arc.front() : arc.back();
        c.brush.color = ink(enabled);
        c.Polygon({{tip.x - 4, tip.y - 3}, {tip.x + 4, tip.y - 3}, {tip.x, tip.y + 3}});
    };
}

GlyphPainter sun(bool withMoon) {
    return [withMoon](Canvas& c, const Rect& r, bool enabled) {
        const int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
        c.pen.color = enabled ? forms::TColor(0x0090E0) : forms::clGray;
        for (int a = 0; a < 360; a += 45) {
            const double t = a * kPi / 180;
            c.MoveTo(cx + int(4 * std::cos(t)), cy + int(4 * std::sin(t)));
            c.LineTo(cx + int(8 * std::cos(t)), cy + int(8 * std::sin(t)));
        }
        c.brush.color = enabled ? forms::TColor(0x20D0FF) : forms::clSilver;
        c.Ellipse({cx - 4, cy - 4, cx + 5, cy + 5});
        if (withMoon) {
            c.brush.color = enabled ? forms::TColor(0x803020) : forms::clGray;
            c.pen.color = c.brush.color;
            c.Ellipse({cx, cy - 8, cx + 9, cy + 1});
        }
    };
}

}  // namespace

forms::MenuItem* TFMainqiv::item(forms::MenuItem* parent, const char* name, std::function<void()> click) {
    auto* m = new forms::MenuItem(this);
    m->SetName(name);
    m->SetCaption(name);
    if (click) m->OnClick = [click](forms::Component*) { click(); };
    parent->Add(m);
    return m;
}

void TFMainqiv::buildMenus() {
    MainMenu1 = new forms::MainMenu(this);
    MainMenu1->SetName("MainMenu1");
    forms::MenuItem* root = MainMenu1->Items();
    int lines = 0;
    auto line = [&](forms::MenuItem* parent, const char* name = nullptr) {
        const std::string n = name ? name : "N" + std::to_string(++lines);
        item(parent, n.c_str())->SetCaption("-");
    };
    auto view = [this](int kind) { return [this, kind] { SetStandardView(kind); }; };

    mFile = item(root, "mFile");
    mOpen = item(mFile, "mOpen", [this] { mOpenClick(); });
    mReOpen = item(mFile, "mReOpen");
    mFileClose = item(mFile, "mFileClose", [this] { CloseObject(); });
    line(mFile);
    mBatchViews = item(mFile, "mBatchViews", [this] { mBatchViewsClick(); });
    mWebPublish = item(mFile, "mWebPublish", [this] {
        if (RunWebPublish) RunWebPublish();
    });
    line(mFile);
    mOptions = item(mFile, "mOptions", [this] { mOptionsClick(); });
    line(mFile);
    mExit = item(mFile, "mExit", [this] { Close(); });

    mEdit = item(root, "mEdit");
    mUndo = item(mEdit, "mUndo", [this] {
        if (session_->Editor().Undo(*qivobj)) showMaterial();
        updateUndoRedo();
    });
    mRedo = item(mEdit, "mRedo", [this] {
        if (session_->Editor().Redo(*qivobj)) showMaterial();
        updateUndoRedo();
    });
    mResetObject = item(mEdit, "mResetObject", [this] {
        if (session_->Editor().Reset(*qivobj)) showMaterial();
        updateUndoRedo();
    });
    line(mEdit);
    mCopy = item(mEdit, "mCopy", [this] {
        session_->Editor().Copy();
        updateUndoRedo();
    });
    mPaste = item(mEdit, "mPaste", [this] {
        if (session_->Editor().Paste(*qivobj)) showMaterial();
        updateUndoRedo();
    });
    line(mEdit);
    for (const char* n : {"mEditMatName", "mClearMatName", "mCopyMaterial", "mPasteMaterial", "mSaveMaterial"})
        item(mEdit, n);
    Find<forms::MenuItem>("mCopyMaterial")->OnClick = mCopy->OnClick;
    Find<forms::MenuItem>("mPasteMaterial")->OnClick = mPaste->OnClick;

    mViewMenu = item(root, "mViewMenu");
    item(mViewMenu, "mPlan", view(kViewPlan));
    forms::MenuItem* elevation = item(mViewMenu, "mElevation");
    item(elevation, "mFront", view(kViewFront));
    item(elevation, "mBack", view(kViewBack));
    item(elevation, "mLeft", view(kViewLeft));
    item(elevation, "mRight", view(kViewRight));
    item(mViewMenu, "mIsometric", view(kViewIsometric));
    item(mViewMenu, "mAxonometric", view(kViewAxonometric));
    line(mViewMenu);
    mAddView = item(mViewMenu, "mAddView", [this] { mAddViewClick(); });
    mUpdateView = item(mViewMenu, "mUpdateView", [this] { mUpdateViewClick(); });
    mAvailViews = item(mViewMenu, "mAvailViews");
    mManageViews = item(mViewMenu, "mManageViews", [this] { mManageViewsClick(); });
    mPlayAllViews = item(mViewMenu, "mPlayAllViews", [] {});
    line(mViewMenu);
    forms::MenuItem* bars = item(mViewMenu, "mToolBars");
    static const char* const barItems[] = {"mToolBarMaterials", "mToolbarFileEdit",   "mToolbarEditMaterial",
                                           "mToolbarView",      "mToolBarLight",      "mToolBarMaterialColor",
                                           "mToolbarInformation", "mToolBarViewScheme"};
    for (const char* n : barItems) item(bars, n)->SetChecked(true);
    line(bars);
    item(bars, "mToolbarAllOn", [this] { mToolbarAllOnOffClick(true); });
    item(bars, "mToolBarAllOff", [this] { mToolbarAllOnOffClick(false); });
    mIconSmall = item(mViewMenu, "mIconSmall", [this] { mIconSmallLargeClick(true); });
    mIconLarge = item(mViewMenu, "mIconLarge", [this] { mIconSmallLargeClick(false); });
    mIconSmall->SetRadioItem(true);
    mIconLarge->SetRadioItem(true);

    mSchemeMenu = item(root, "mSchemeMenu");
    mSaveScheme = item(mSchemeMenu, "mSaveScheme", [this] { mSaveSchemeClick(); });
    mSaveAsScheme = item(mSchemeMenu, "mSaveAsScheme", [this] { mSaveAsSchemeClick(); });
    line(mSchemeMenu);
    mSchemes = item(mSchemeMenu, "mSchemes");

    forms::MenuItem* help = item(root, "mHelp");
    mHelpFile = item(help, "mHelpFile", [this] { mHelpFileClick(); });
    line(help, "mHelpSeparator");
    item(help, "mAbout", [this] {
        if (RunAbout) RunAbout();
    });

    PopupMenuTreeView = new forms::PopupMenu(this);
    PopupMenuTreeView->SetName("PopupMenuTreeView");
    forms::MenuItem* popup = PopupMenuTreeView->Items();
    item(popup, "mPopUpViewAdd", [this] { mAddViewClick(); });
    item(popup, "mPopUpViewUpdate", [this] { mUpdateViewClick(true); });
    item(popup, "mPopUpViewManager", [this] { mManageViewsClick(); });
    item(popup, "mPopUpRenameView", [this] { mPopUpRenameViewClick(); });
    item(popup, "mPopUpDeleteView", [this] { mPopUpDeleteViewClick(); });
    item(popup, "mPopUpLockScheme", [this] { mPopUpLockSchemeClick(true); });
    item(popup, "mPopUpUnlockScheme", [this] { mPopUpLockSchemeClick(false); });
    item(popup, "mPopUpRenameScheme", [this] { mPopUpRenameSchemeClick(); });
    item(popup, "mPopUpDeleteScheme", [this] { mPopUpDeleteSchemeClick(); });
    PopupMenuColorPal = new forms::PopupMenu(this);
    PopupMenuColorPal->SetName("PopupMenuColorPal");
    SetMenu(MainMenu1);
}

void TFMainqiv::buildImages() {
    // The tree's and the menus' pictures; image 31 marks what cannot be written.
    ImageList1 = new forms::ImageList(this, 16, 16);
    ImageList1->SetName("ImageList1");
    constexpr int kImages = 32, kLocked = 31;
    forms::Bitmap strip(16 * kImages, 16);
    Canvas& c = strip.GetCanvas();
    c.brush.color = forms::clFuchsia;
    c.FillRect({0, 0, 16 * kImages, 16});
    const int x = 16 * kLocked;
    c.pen.color = forms::TColor(0x404040);
    c.pen.width = 2;
    c.brush.color = forms::clFuchsia;
    c.Ellipse({x + 4, 1, x + 12, 11});
    c.pen.width = 1;
    c.brush.color = forms::TColor(0x30A0E0);
    c.Rectangle({x + 2, 7, x + 14, 15});
    c.brush.color = forms::TColor(0x404040);
    c.FillRect({x + 7, 9, x + 9, 13});
    ImageList1->Add(strip, forms::clFuchsia);
}

void TFMainqiv::buildTools() {
    tools_ = std::make_unique<ToolFrame>(*this);
    ToolFrame& t = *tools_;

    ToolbarFileEdit = t.MakeToolbar(DockSide::Top, "ToolbarFileEdit");
    auto add = [](ToolWindow* bar, const char* name, GlyphPainter glyph, std::function<void()> click) {
        ToolItem* i = bar->AddItem(name);
        i->Glyph = std::move(glyph);
        if (click) i->OnClick = [click](forms::Component*) { click(); };
        return i;
    };
    auto menuClick = [](forms::MenuItem* m) { return [m] { m->Click(); }; };
    add(ToolbarFileEdit, "TBItemFileOpen",
        polygon({{1, 4}, {6, 4}, {7, 6}, {14, 6}, {14, 14}, {1, 14}}, forms::TColor(0x40C0F0)), menuClick(mOpen));
    ToolbarFileEdit->AddSeparator();
    add(ToolbarFileEdit, "TBItemEditCopy", letter("C", forms::clNavy), menuClick(mCopy));
    add(ToolbarFileEdit, "TBItemEditPaste", letter("P", forms::clNavy), menuClick(mPaste));
    ToolbarFileEdit->AddSeparator();
    TBItemEditUndo = add(ToolbarFileEdit, "TBItemEditUndo", arrowTurn(true), menuClick(mUndo));
    TBItemEditRedo = add(ToolbarFileEdit, "TBItemEditRedo", arrowTurn(false), menuClick(mRedo));
    add(ToolbarFileEdit, "TBItemEditReset", letter("R", forms::clMaroon), menuClick(mResetObject));

    ToolbarView = t.MakeToolbar(DockSide::Top, "ToolbarView");
    static const struct {
        const char* name;
        const char* text;
        int kind;
    } views[] = {{"SBVTop", "T", kViewPlan},  {"SBVLft", "L", kViewLeft},      {"SBVRht", "R", kViewRight},
                 {"SBVFnt", "F", kViewFront}, {"SBVBck", "B", kViewBack},      {"SBVIso", "I", kViewIsometric},
                 {"SBVObl", "A", kViewAxonometric}};
    for (const auto& v : views) {
        const int kind = v.kind;
        add(ToolbarView, v.name, letter(v.text, forms::TColor(0x806040)), [this, kind] { SetStandardView(kind); });
    }
    ToolbarView->AddSeparator();
    add(ToolbarView, "SBToggleView", letter("P", forms::TColor(0x408040)), [this] { ToggleProjection(*qivobj); });
    add(ToolbarView, "SBRayTrace", sun(false), [this] { qivobj->OneTimeRaytrace(); });
    ToolbarView->AddSeparator();
    // Turning and walking run while the item is selected and the button held.
    static const struct {
        const char* name;
        int state;
    } moves[] = {{"SBRotLft", kRotLeft}, {"SBRotRht", kRotRight}, {"SBGoFwd", kRotWalkForward}, {"SBGoBck", kRotWalkBack}};
    for (const auto& m : moves) {
        GlyphPainter g = m.state == kRotLeft    ? arrowTurn(true)
                         : m.state == kRotRight ? arrowTurn(false)
                         : m.state == kRotWalkForward
                             ? polygon({{8, 1}, {15, 14}, {1, 14}}, forms::TColor(0x60A060))
                             : polygon({{1, 2}, {15, 2}, {8, 15}}, forms::TColor(0x60A060));
        ToolItem* i = add(ToolbarView, m.name, std::move(g), nullptr);
        const int state = m.state;
        i->OnSelect = [this, state](forms::Component*, bool on) { session_->RotationState = on ? state : kRotIdle; };
    }
    ToolbarView->AddSeparator();
    TBItemRotation = add(ToolbarView, "TBItemRotation", arrowTurn(false), [this] { rotationSelectionClick(true); });
    TBItemSelection = add(ToolbarView, "TBItemSelection",
                          polygon({{2, 1}, {12, 10}, {8, 10}, {11, 15}, {9, 16}, {6, 11}, {2, 14}}, forms::clWhite),
                          [this] { rotationSelectionClick(false); });

    ToolbarLight = t.MakeToolbar(DockSide::Top, "ToolbarLight");
    for (int i = 0; i < 5; ++i) {
        const std::string name = "SBLt" + std::to_string(i + 1);
        SBLt[i] = add(ToolbarLight, name.c_str(), lamp(i + 1), nullptr);
        SBLt[i]->AutoCheck = true;
        ToolItem* it = SBLt[i];
        it->OnClick = [this, it](forms::Component*) { lightToggleClick(it); };
    }
    ToolbarLight->AddSeparator();
    SBDayNight = add(ToolbarLight, "SBDayNight", sun(true), [this] { DayNight(); });

    ToolbarMaterials = t.MakeToolWindow(DockSide::Left, "ToolbarMaterials", 196, 300, false);
    ToolbarViewScheme = t.MakeToolWindow(DockSide::Left, "ToolbarViewScheme", 196, 200, true);
    buildMaterialWindows();

    ToolbarInformation = t.MakeToolbar(DockSide::Bottom, "ToolbarInformation");
    ToolbarInformation->SetAlign(forms::Align::Client);
    auto* info = MakeControl<forms::Image>(this, ToolbarInformation, "ImageInfo", ToolWindow::kGrip + 4, 4, 18, 18);
    forms::Canvas& ic = info->GetCanvas();
    ic.brush.color = forms::ColorToRGB(forms::clBtnFace);
    ic.FillRect({0, 0, 18, 18});
    letter("i", forms::TColor(0xC06020))(ic, {0, 0, 18, 18}, true);
    PanelAppColorHint = MakeControl<forms::Panel>(this, ToolbarInformation, "PanelAppColorHint", info->Left() + 24, 5, 16, 16);
    PanelAppColorHint->SetCaption("");
    PanelAppColorHint->SetVisible(false);
    LabelApplicationHint =
        MakeControl<forms::Label>(this, ToolbarInformation, "LabelApplicationHint", info->BoundsRect().right + 6, 7, 400, 14);
    LabelApplicationHint->SetCaption("");
}

void TFMainqiv::buildMaterialWindows() {
    // The catalog: the object's materials, the material and texture libraries, the palette.
    ToolWindow* cat = ToolbarMaterials;
    auto* pages = MakeControl<forms::Panel>(this, cat, "PanelCatalogPages", 0, 0, 196, 26);
    pages->SetBevelOuter(forms::Bevel::None);
    pages->SetCaption("");
    pages->SetAlign(forms::Align::Top);
    static const char* const pageItems[] = {"TBItemMo", "TBItemM", "TBItemTx", "TBItemCP"};
    static const char* const pageText[] = {"Mo", "M", "Tx", "CP"};
    for (int i = 0; i < 4; ++i) {
        auto* it = MakeControl<ToolItem>(this, pages, pageItems[i], 2 + i * 30, 1, 28, 24);
        it->SetCaption(pageText[i]);
        it->AutoCheck = true;
        it->GroupIndex = 1;
        it->OnClick = [this, i](forms::Component*) { showCatalogPage(i); };
    }
    auto page = [&](const char* name) {
        auto* p = MakeControl<forms::Panel>(this, cat, name, 0, 30, 196, 270);
        p->SetBevelOuter(forms::Bevel::None);
        p->SetCaption("");
        p->SetAlign(forms::Align::Client);
        return p;
    };
    forms::Panel* avail = page("PanelAvailMat");
    LBAvailMat = MakeControl<forms::ListBox>(this, avail, "LBAvailMat", 0, 0, 196, 270);
    LBAvailMat->SetAlign(forms::Align::Client);
    LBAvailMat->SetStyle(forms::ListStyle::OwnerDrawFixed);
    LBAvailMat->SetItemHeight(20);
    auto library = [&](const char* panel, const char* list, const char* recurse, const char* folder) {
        forms::Panel* p = page(panel);
        auto* bar = MakeControl<forms::Panel>(this, p, (std::string(panel) + "Bar").c_str(), 0, 0, 196, 26);
        bar->SetBevelOuter(forms::Bevel::None);
        bar->SetCaption("");
        bar->SetAlign(forms::Align::Top);
        auto* r = MakeControl<ToolItem>(this, bar, recurse, 2, 1, 24, 24);
        r->SetCaption("+");
        r->AutoCheck = true;
        auto* f = MakeControl<ToolItem>(this, bar, folder, 28, 1, 24, 24);
        f->Glyph = polygon({{1, 4}, {6, 4}, {7, 6}, {14, 6}, {14, 14}, {1, 14}}, forms::TColor(0x40C0F0));
        auto* l = MakeControl<forms::ListBox>(this, p, list, 0, 26, 196, 240);
        l->SetAlign(forms::Align::Client);
        l->SetStyle(forms::ListStyle::OwnerDrawFixed);
        p->SetVisible(false);
        return l;
    };
    LBIniNames = library("PanelIniNames", "LBIniNames", "SBRecurseMat", "SBMatFolder");
    LBTexNames = library("PanelTexNames", "LBTexNames", "SBRecurseTex", "SBTexFolder");
    auto* grid = MakeControl<forms::DrawGrid>(this, cat, "RkColorGrid", 0, 30, 196, 270);
    grid->SetAlign(forms::Align::Client);
    grid->SetColCount(15);
    grid->SetRowCount(17);
    grid->SetDefaultColWidth(15);
    grid->SetDefaultRowHeight(15);
    grid->SetVisible(false);

    // The views and schemes of the object.
    LblMatSchemeName = MakeControl<forms::Label>(this, ToolbarViewScheme, "LblMatSchemeName", 0, 0, 196, 16);
    LblMatSchemeName->SetCaption("");
    TreeView = MakeControl<forms::TreeView>(this, ToolbarViewScheme, "TreeView", 0, 16, 196, 180);
    TreeView->SetAlign(forms::Align::Client);

    // Material properties: coefficients, opacity, refraction and flags; presets and texture.
    constexpr int kScrollLeft = 96, kScrollWidth = 120;
    const int width = kScrollLeft + kScrollWidth + 4;
    ToolbarEditMaterial = tools_->MakeToolWindow(DockSide::Right, "ToolbarEditMaterial", width, 200, false);
    auto* p1 = MakeControl<forms::Panel>(this, ToolbarEditMaterial, "PanelMaterial1", 0, 0, width, 190);
    p1->SetAlign(forms::Align::Top);
    LblMaterialName = MakeControl<forms::Label>(this, p1, "LblMaterialName", 0, 0, width, 16);
    LblMaterialName->SetAutoSize(false);
    LblMaterialName->SetCaption("");
    static const struct {
        const char *label, *value, *scroll;
        int max;
    } rows[] = {{"LblAmb", "LAmb", "ScrollAmb", 100},
                {"LblDif", "LDif", "ScrollDif", 100},
                {"LblSpec", "LSpec", "ScrollSpec", 100},
                {"LblOpa", "LAlpha", "ScrollAlpha", 100},
                {"LblRef", "LRefIdx", "ScrollRefIdx", 64}};
    int y = 20;
    for (const auto& r : rows) {
        MakeControl<forms::Label>(this, p1, r.label, 4, y + 2, 60, 14);
        auto* v = MakeControl<forms::Label>(this, p1, r.value, 64, y + 2, 28, 14);
        v->SetCaption("");
        auto* s = MakeControl<forms::ScrollBar>(this, p1, r.scroll, kScrollLeft, y, kScrollWidth, 17);
        s->SetRange(r.max == 64 ? 1 : 0, r.max);
        y += 22;
    }
    static const struct {
        const char* name;
        int x, y;
    } checks[] = {{"ChkSelfLit", 4, 0}, {"ChkBothFace", 110, 0}, {"ChkTexMask", 4, 20}, {"ChkTexCol", 110, 20},
                  {"ChkTexRefl", 4, 40}};
    for (const auto& c : checks) MakeControl<forms::CheckBox>(this, p1, c.name, c.x, y + c.y, 106, 17);
    p1->SetHeight(y + 62);
    auto* p2 = MakeControl<forms::Panel>(this, ToolbarEditMaterial, "PanelMaterial2", 0, p1->Height(), width, 60);
    p2->SetAlign(forms::Align::Top);
    MakeControl<forms::Button>(this, p2, "BtnMatMatt", 4, 4, 68, 23);
    MakeControl<forms::Button>(this, p2, "BtnMatGlossy", 76, 4, 68, 23);
    MakeControl<forms::Button>(this, p2, "BtnMatGlass", 148, 4, 68, 23);
    auto* tex = MakeControl<forms::Edit>(this, p2, "EditTexName", 4, 33, width - 58, 21);
    tex->SetReadOnly(true);
    MakeControl<ToolItem>(this, p2, "SBTexName", width - 52, 32, 24, 24)->SetCaption("...");
    MakeControl<ToolItem>(this, p2, "SBResetMat", width - 27, 32, 24, 24)->Glyph = arrowTurn(true);
    ToolbarEditMaterial->SetClientAreaSize(
        Find<forms::Control>("ScrollAmb")->BoundsRect().right + 4, p1->Height() + p2->Height());
    ToolbarEditMaterial->Resizable = false;

    // Material colour: old and new colours, red, green and blue, the cube and the gradient.
    ToolbarMaterialColor =
        tools_->MakeToolWindow(DockSide::Right, "ToolbarMaterialColor", ToolbarEditMaterial->ClientAreaWidth(), 190, true);
    auto* rgb = MakeControl<forms::Panel>(this, ToolbarMaterialColor, "PanelRGB2", 0, 0, width, 50);
    rgb->SetAlign(forms::Align::Top);
    MakeControl<forms::Panel>(this, rgb, "PanelOldColDif", 4, 4, 40, 20);
    MakeControl<forms::Panel>(this, rgb, "PanelColDif", 4, 24, 40, 20);
    auto* oldSpec = MakeControl<forms::Panel>(this, rgb, "PanelOldColSpec", 46, 4, 40, 20);
    MakeControl<forms::Panel>(this, rgb, "PanelColSpec", 46, 24, 40, 20);
    int sx = oldSpec->BoundsRect().right + 2;
    for (const char* n : {"SpinR", "SpinG", "SpinB"}) {
        auto* s = MakeControl<forms::SpinEdit>(this, rgb, n, sx, 14, 42, 21);
        s->SetRange(0, 255);
        sx += 43;
    }
    auto* cube = MakeControl<forms::Panel>(this, ToolbarMaterialColor, "PanelClrCube", 0, 50, 110, 140);
    cube->SetAlign(forms::Align::Left);
    cube->SetCaption("");
    auto* cubeImage = MakeControl<forms::Image>(this, cube, "ImageColorCube", 0, 0, 110, 140);
    cubeImage->SetAlign(forms::Align::Client);
    auto* grad = MakeControl<forms::Panel>(this, ToolbarMaterialColor, "PanelColorGrad", 110, 50, 100, 140);
    grad->SetAlign(forms::Align::Client);
    grad->SetCaption("");
    MakeControl<forms::Image>(this, grad, "ImageColorGrad", 8, 8, 40, 124);
    MakeControl<forms::Shape>(this, grad, "ShapeColorGrad", 5, 68, 46, 5);
    const int rgbHeight = rgb->Height();
    ToolbarMaterialColor->SetClientAreaSize(ToolbarEditMaterial->ClientAreaWidth(), rgbHeight + 140);
    ToolbarMaterialColor->MinClientWidth = ToolbarMaterialColor->ClientAreaWidth();
    ToolbarMaterialColor->MinClientHeight = ToolbarMaterialColor->ClientAreaHeight();
    ToolbarMaterialColor->LoadSaveWidthHeight = true;
}

}  // namespace stellwerk

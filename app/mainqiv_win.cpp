#include "mainqiv_win.h"

#include "materialforms_win.h"
#include "picdlg_win.h"

#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "common_win.h"
#include "filenames.h"
#include "forms/fileio.h"
#include "forms/textutil.h"
#include "getname_win.h"
#include "keyhook.h"
#include "lights.h"
#include "msgstrs.h"
#include "prefrences_win.h"
#include "standardviews.h"
#include "texts_win.h"
#include "viewtree.h"
#include "win/wintext.h"

namespace stellwerk {

namespace {

constexpr UINT kMsgOpenStartFile = WM_USER + 1;
constexpr int kEnabledMenusOpen = 0xE7DD;
constexpr const char kToolbarSectionPrefix[] = "Toolbar-";
constexpr const char kMakerPage[] = "http://localhost/stellwerk/";
constexpr const char kPdfReaderPage[] = "http://localhost/stellwerk/pdfreader.html";
constexpr const char kHelpFile[] = "Help\\stellwerk!_help.pdf";
constexpr const char kProductCaption[] = "Fernlicht";
constexpr int kImageLocked = 31;

// A file name shown in a menu: "&" stands for itself.
std::string menuCaption(const std::string& text) { return ReplaceAll(text, "&", "&&"); }

bool fileExists(const std::string& path) { return forms::FileExists(path); }

// With STELLWERK_FIRST_PAINT set, the time from process start to the first
// paint goes to that file (the start-up figure of the benchmarks).
void reportFirstPaint() {
    static bool done = false;
    char path[MAX_PATH];
    const DWORD n = GetEnvironmentVariableA("STELLWERK_FIRST_PAINT", path, sizeof path);
    if (done || n == 0 || n >= sizeof path) return;
    done = true;
    FILETIME created, exited, kernel, user, now;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return;
    GetSystemTimeAsFileTime(&now);
    auto ticks = [](const FILETIME& t) { return (uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    const double ms = double(ticks(now) - ticks(created)) / 10000.0;
    if (FILE* f = std::fopen(path, "w")) {
        std::fprintf(f, "%.1f\n", ms);
        std::fclose(f);
    }
}

std::string openObjectDialog(const std::string& folder) {
    TPreviewOpenDialog dialog;
    dialog.Filter = GetMsgText(kTxtObjectFilter.number);
    dialog.Title = GetMsgText(kTxtObjectTitle.number);
    dialog.InitialDir = folder;
    return dialog.Execute() ? dialog.FileName : std::string();
}

}  // namespace

TFMainqiv::TFMainqiv(forms::Component* owner) : Form(owner) {
    SetName("FMainqiv");
    SetCaption(kProductCaption);
    SetBounds(40, 40, 800, 600);
    buildImages();
    buildMenus();
    MainMenu1->SetImages(ImageList1);
    qivobj = new TQivPlayer(this);
    qivobj->SetName("qivobj");
    session_ = std::make_unique<MainSession>(*qivobj, GlobalIni());
    buildTools();
    MultiImageTile = new imaging::TPMultiImage(this);
    MultiImageTile->SetName("MultiImageTile");
    MultiImageTile->SetAlign(forms::Align::Client);
    MultiImageTile->SetParent(this);
    MultiImageTile->SetTileWindow(true);
    PaintBackgroundTile(MultiImageTile->Picture());
    qivobj->SetAlign(forms::Align::Client);
    qivobj->SetParent(this);
    TimerRotateAndCone = new forms::Timer(this);
    TimerRotateAndCone->SetName("TimerRotateAndCone");
    TimerRotateAndCone->SetEnabled(false);
    TimerRotateAndCone->SetInterval(10);
    TimerRotateAndCone->OnTimer = [this](forms::Component*) { rotationTimer(); };

    ChooseObjectFile = openObjectDialog;
    ShellOpen = [](const std::string& target) {
        ShellExecuteA(nullptr, "open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    };

    qivobj->OnSubObjectPicked = [this](long index, const std::string&, BSTR*) { qivobjSubObjectPicked(index); };
    qivobj->OnViewerMouseDown = [this](long objID, long button, long) { qivobjMouseDown(objID, button); };
    qivobj->OnMouseReleased = [this](long) { qivobjMouseReleased(); };
    qivobj->OnViewerClick = [this](long&) { qivobjClick(); };
    LBAvailMat->OnClick = [this](forms::Component*) {
        if (session_->Editor().Select(LBAvailMat->ItemIndex())) showMaterial();
    };
    LBAvailMat->OnDrawItem = [this](forms::Component*, int index, const forms::Rect& r, forms::OwnerDrawState state) {
        forms::Canvas& c = LBAvailMat->GetCanvas();
        const MaterialSet& m = session_->Editor().Working();
        const bool selected = state & forms::odSelected;
        c.brush.color = selected ? forms::clHighlight : forms::clWindow;
        c.FillRect(r);
        if (index < 0 || size_t(index) >= m.materials.size()) return;
        c.font.SetColor(selected ? forms::clHighlightText : forms::clWindowText);
        forms::Rect t{r.left + 2, r.top, r.left + 40, r.bottom};
        c.DrawText(forms::Format("%.4d", index + 1), t, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
        const forms::Rect swatch{r.left + 42, r.top + 2, r.left + 42 + r.Height() - 4, r.bottom - 2};
        c.brush.color = m.materials[size_t(index)].diffuse;
        c.FillRect(swatch);
        c.brush.color = forms::clBlack;
        c.FrameRect(swatch);
        int x = swatch.right + 4;
        if (m.materials[size_t(index)].texture >= 0) {
            c.font.SetColor(selected ? forms::clHighlightText : forms::clNavy);
            forms::Rect tx{x, r.top, x + 14, r.bottom};
            c.DrawText("T", tx, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
            c.font.SetColor(selected ? forms::clHighlightText : forms::clWindowText);
        }
        x += 16;
        forms::Rect n{x, r.top, r.right, r.bottom};
        c.DrawText(index < int(m.names.size()) ? m.names[size_t(index)] : std::string(), n,
                   DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    };
    auto fileItem = [this](forms::ListBox* list) {
        list->OnDrawItem = [list](forms::Component*, int index, const forms::Rect& r, forms::OwnerDrawState state) {
            forms::Canvas& c = list->GetCanvas();
            const bool selected = state & forms::odSelected;
            c.brush.color = selected ? forms::clHighlight : forms::clWindow;
            c.FillRect(r);
            if (index < 0 || index >= list->Items().Count()) return;
            const std::string file = list->Items()[index];
            // A square preview of the item's height: the picture beside a material file.
            const forms::Rect square{r.left + 1, r.top + 1, r.left + r.Height() - 1, r.bottom - 1};
            forms::Bitmap preview;
            const std::string bmp = forms::SameText(file.substr(file.size() >= 4 ? file.size() - 4 : 0), ".ini")
                                        ? ChangeFileExt(file, ".bmp")
                                        : file;
            if (fileExists(bmp) && preview.LoadFromFile(bmp)) c.StretchDraw(square, preview.Handle());
            c.font.SetColor(selected ? forms::clHighlightText : forms::clWindowText);
            forms::Rect t{square.right + 3, r.top, r.right, r.bottom};
            c.DrawText(BaseNameOf(file), t, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
        };
    };
    fileItem(LBIniNames);
    fileItem(LBTexNames);
    auto recurse = [this](const char* button, forms::ListBox* list, bool materials) {
        Find<ToolItem>(button)->OnClick = [this, list, materials](forms::Component*) {
            fillFileList(list, list->Hint(), materials);
        };
    };
    recurse("SBRecurseMat", LBIniNames, true);
    recurse("SBRecurseTex", LBTexNames, false);
    auto chooseFolder = [this](const char* button, forms::ListBox* list, int title, int caption, bool materials) {
        Find<ToolItem>(button)->OnClick = [=, this](forms::Component*) {
            std::string folder = list->Hint();
            if (ChooseFolder(GetMsgText(title), GetMsgText(caption), folder) && !forms::SameText(folder, list->Hint()))
                fillFileList(list, folder, materials);
        };
    };
    chooseFolder("SBMatFolder", LBIniNames, 62, 244, true);
    chooseFolder("SBTexFolder", LBTexNames, 108, 245, false);
    static const std::pair<const char*, const char*> bars[] = {
        {"ToolbarMaterials", "mToolBarMaterials"},         {"ToolbarFileEdit", "mToolbarFileEdit"},
        {"ToolbarEditMaterial", "mToolbarEditMaterial"},   {"ToolbarView", "mToolbarView"},
        {"ToolbarLight", "mToolBarLight"},                 {"ToolbarMaterialColor", "mToolBarMaterialColor"},
        {"ToolbarInformation", "mToolbarInformation"},     {"ToolbarViewScheme", "mToolBarViewScheme"},
    };
    for (const auto& b : bars) {
        ToolWindow* w = Find<ToolWindow>(b.first);
        Find<forms::MenuItem>(b.second)->OnClick = [this, w](forms::Component*) { mToolBarClick(w); };
        w->OnVisibleChanged = [this, w](forms::Component*) { toolbarVisibleChanged(w); };
    }
    TreeView->SetImages(ImageList1);
    TreeView->RightClickSelect = false;
    TreeView->OnMouseDown = [this](forms::Component*, forms::MouseButton b, forms::ShiftState, int x, int y) {
        treeViewMouseDown(b, x, y);
    };
    TreeView->OnChange = [this](forms::Component*, forms::TreeNode* node) {
        if (!node || TreeView->RootCount() < 1) return;
        const int v = TreeView->Root(0)->AbsoluteIndex();
        const auto target = TreeNodeTarget(v, int(session_->Views().Views().size()),
                                           int(session_->Schemes().size()), node->AbsoluteIndex());
        if (!target) return;
        forms::MenuItem* menu = target->scheme ? mSchemes : mAvailViews;
        if (target->item < menu->Count()) menu->Items(target->item)->Click();
    };

    OnShow = [this](forms::Component*) { FormShow(); };
    OnCloseQuery = [this](forms::Component*, bool& can) { FormCloseQuery(can); };
    OnClose = [this](forms::Component*, forms::CloseAction&) { FormClose(); };
    OnPaint = [](forms::Component*, forms::Canvas&) { reportFirstPaint(); };
    FormCreate();
}

TFMainqiv::~TFMainqiv() { FormDestroy(); }

void TFMainqiv::FormCreate() {
    const std::wstring web = win::Wide(GetMsgText(kTxtWebPageItem.number));
    for (HWND h : {Handle(), forms::Application::Instance().Handle()})
        if (HMENU sys = GetSystemMenu(h, FALSE)) {
            AppendMenuW(sys, MF_SEPARATOR, 0, nullptr);
            AppendMenuW(sys, MF_STRING, kCmdWebPage, web.c_str());
        }
    connectForms();
    ApplyMainFormTexts(*this);
    GlobalIni().Load(GetIniPath());
    LoadMainSettings();
    for (int i = 0; i < 5; ++i) SBLt[i]->SetTag(i);
    SetLightSet(session_->LightSet);

    forms::Application& app = forms::Application::Instance();
    app.OnMessage = [this](MSG& msg, bool& handled) { appMessage(msg, handled); };
    app.OnHint = [this] { showHint(); };
    PanelAppColorHint->SetVisible(false);

    rotationSelectionClick(true);
    mIconSmallLargeClick(settings_.IconSmall);
    fillFileList(LBIniNames, settings_.Materials, true);
    fillFileList(LBTexNames, settings_.Textures, false);
    showCatalogPage(0);
    setOpenState(false);
    tools_->Arrange();
    app.SetTitle(Caption());
}

void TFMainqiv::FormShow() {
    if (!StartFile.empty()) PostMessageW(Handle(), kMsgOpenStartFile, 0, 0);
}

void TFMainqiv::FormCloseQuery(bool& canClose) { canClose = confirmSchemeSaved(); }

void TFMainqiv::FormClose() { session_->Views().WriteLastView(*qivobj); }

void TFMainqiv::FormDestroy() {
    forms::Application& app = forms::Application::Instance();
    app.OnMessage = nullptr;
    app.OnHint = nullptr;
    TimerRotateAndCone->SetEnabled(false);
    viewMgr_.reset();
    SaveMainSettings();
}

void TFMainqiv::LoadMainSettings() {
    settings_.Read(forms::IniFile(GetIniPath()));
    qivobj->SetFilter(settings_.Filter);
    qivobj->SetHideControls(settings_.Controlbar);
    LBIniNames->SetHint(settings_.Materials);
    LBTexNames->SetHint(settings_.Textures);
    Find<ToolItem>("SBRecurseMat")->SetChecked(settings_.RecurseMat);
    Find<ToolItem>("SBRecurseTex")->SetChecked(settings_.RecurseTex);
    tools_->LoadPositions(GetIniPath(), kToolbarSectionPrefix);
    SetWindowState(forms::WindowState::Normal);
    RestoreFormPlacement(*this, kAppWindowSection, true);
    rebuildRecentMenu();
}

void TFMainqiv::SaveMainSettings() {
    tools_->SavePositions(GetIniPath(), kToolbarSectionPrefix);
    SaveFormPlacement(*this, kAppWindowSection);
    settings_.IconSmall = mIconSmall->Checked();
    settings_.Filter = qivobj->Filter();
    settings_.Controlbar = qivobj->HideControls();
    settings_.Materials = LBIniNames->Hint();
    settings_.Textures = LBTexNames->Hint();
    settings_.RecurseMat = Find<ToolItem>("SBRecurseMat")->Checked();
    settings_.RecurseTex = Find<ToolItem>("SBRecurseTex")->Checked();
    forms::IniFile ini(GetIniPath());
    settings_.Write(ini);
    ini.UpdateFile();
}

bool TFMainqiv::HandleMessage(win::Message& m) {
    if (m.msg == WM_SYSCOMMAND && m.wParam == kCmdWebPage) {
        webPage();
        return true;
    }
    if (m.msg == kMsgOpenStartFile) {
        const std::string file = StartFile;
        StartFile.clear();
        if (!file.empty()) LoadObjectFile(file);
        return true;
    }
    return Form::HandleMessage(m);
}

// Opening and closing ---------------------------------------------------------

bool TFMainqiv::LoadObjectFile(const std::string& path) {
    if (!confirmSchemeSaved()) return false;
    setOpenState(true);
    SetCaption(std::string(kProductCaption) + " - " + path);
    forms::Application::Instance().SetTitle(Caption());
    if (!session_->Load(path, settings_, GetMsgText(kTxtOwnMaterials.number))) {
        setOpenState(false);
        ShowProgramMessage(GetMsgText(kTxtLoadFailed.number) + path, MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    rebuildRecentMenu();
    fillMaterialList();
    SetLightSet(session_->LightSet);
    LBAvailMat->SetItemIndex(0);
    showMaterial();
    rebuildViewsMenu();
    rebuildSchemesMenu();
    rebuildTree();
    setMaterialEditing(session_->EditingEnabled());
    updateCommands();
    // The last view once the form and the viewer have their final size: the
    // viewer fits its view again whenever its size changes.
    Realign();
    if (session_->ApplyLastView([this](int item) { applyScheme(item); })) SetLightSet(session_->LightSet);
    return true;
}

bool TFMainqiv::CloseObject() {
    if (!confirmSchemeSaved()) return false;
    session_->Close();
    setOpenState(false);
    return true;
}

void TFMainqiv::setOpenState(bool open) {
    SetCaption(kProductCaption);
    forms::Application::Instance().SetTitle(Caption());
    LabelApplicationHint->SetCaption("");
    LblMaterialName->SetCaption("");
    LblMatSchemeName->SetCaption("");
    LBAvailMat->Items().Clear();
    TreeView->Clear();
    pickedMaterial_ = mouseMaterial_ = -1;
    if (!open) {
        for (forms::MenuItem* m : {mAvailViews, mSchemes}) {
            m->Clear();
            m->SetEnabled(false);
        }
    }
    for (ToolWindow* w : {ToolbarView, ToolbarLight, ToolbarViewScheme, ToolbarMaterials}) SetEnabledDeep(open, w);
    for (forms::MenuItem* m : {mViewMenu, mSchemeMenu, mFileClose}) m->SetEnabled(open);
    mBatchViews->SetEnabled(false);
    mWebPublish->SetEnabled(false);
    if (open) {
        MultiImageTile->SetVisible(false);
        qivobj->SetVisible(true);
        qivobj->SetBackColor(stellwerk::Color(forms::ColorToRGB(forms::clBtnFace)));
        qivobj->SetEnabledMenus(kEnabledMenusOpen);
    } else {
        qivobj->SetVisible(false);
        MultiImageTile->SetVisible(true);
    }
    Realign();
    setMaterialEditing(open && session_->EditingEnabled());
    updateCommands();
}

void TFMainqiv::setMaterialEditing(bool on) {
    mEdit->SetEnabled(on);
    for (const char* panel : {"PanelMaterial1", "PanelMaterial2", "PanelRGB2"})
        SetEnabledDeep(on, Find<forms::Control>(panel));
    updateUndoRedo();
}

void TFMainqiv::updateCommands() {
    const bool open = session_->IsOpen();
    const SavedViews& views = session_->Views();
    const bool viewsWritable = open && views.CanWrite();
    const bool haveViews = viewsWritable && !views.Views().empty();
    mAddView->SetEnabled(viewsWritable);
    mUpdateView->SetEnabled(haveViews);
    mPlayAllViews->SetEnabled(haveViews);
    mManageViews->SetEnabled(haveViews && RunViewManager);
    mBatchViews->SetEnabled(haveViews && RunBatchRender);
    mWebPublish->SetEnabled(open && RunWebPublish);
    Find<forms::MenuItem>("mPopUpViewAdd")->SetEnabled(mAddView->Enabled());
    Find<forms::MenuItem>("mPopUpViewUpdate")->SetEnabled(mUpdateView->Enabled());
    Find<forms::MenuItem>("mPopUpViewManager")->SetEnabled(mManageViews->Enabled());
    const bool editing = session_->EditingEnabled();
    mSaveScheme->SetEnabled(SchemeSaveEnabled(session_->CurrentScheme(), editing));
    mSaveAsScheme->SetEnabled(open && SchemeSaveAsEnabled(session_->FolderWritable()));
}

bool TFMainqiv::confirmSchemeSaved() {
    if (!session_->SchemeUnsaved()) return true;
    const int answer = ShowProgramMessage(GetMsgText(kTxtAskSaveScheme.number), MB_YESNOCANCEL | MB_ICONQUESTION);
    if (answer == IDNO) return true;
    if (answer != IDYES) return false;
    const SchemeItem* s = session_->Current();
    if (session_->CurrentScheme() > 0 && s && !s->locked) return session_->SaveScheme();
    return saveSchemeAs();
}

void TFMainqiv::rebuildRecentMenu() {
    const auto& files = settings_.Recent.Files();
    for (int i = 0; i < mReOpen->Count(); ++i) mReOpen->Items(i)->SetVisible(false);
    mReOpen->SetVisible(!files.empty());
    for (size_t i = 0; i < files.size(); ++i) {
        forms::MenuItem* m = int(i) < mReOpen->Count() ? mReOpen->Items(int(i)) : nullptr;
        if (!m) {
            m = new forms::MenuItem(this);
            m->OnClick = [this, m](forms::Component*) { mReopenClick(int(m->Tag())); };
            mReOpen->Add(m);
        }
        m->SetTag(intptr_t(i));
        m->SetCaption(menuCaption(files[i]));
        m->SetVisible(true);
    }
}

void TFMainqiv::mReopenClick(int index) {
    const auto target = settings_.Recent.ReopenTarget(index, session_->Path(), fileExists);
    if (target) LoadObjectFile(*target);
}

void TFMainqiv::mOpenClick() {
    const std::string folder = OpenDialogFolder(settings_.Recent, settings_.QivFolder, GetProgramFolder());
    const std::string file = ChooseObjectFile ? ChooseObjectFile(folder) : std::string();
    // The object open now stays when the dialog is cancelled.
    if (!file.empty()) LoadObjectFile(file);
}

// Materials, views and schemes ------------------------------------------------

void TFMainqiv::fillMaterialList() {
    forms::StringList& items = LBAvailMat->Items();
    items.Clear();
    for (const MatEntry& m : session_->Editor().Working().materials) items.Add(std::to_string(m.texture));
}

void TFMainqiv::showMaterial() {
    const MaterialEditor& e = session_->Editor();
    const MatEntry* m = e.Current();
    if (!m) return;
    materialForms_->EditingActive = false;
    const int index = e.CurrentIndex();
    if (LBAvailMat->ItemIndex() != index) LBAvailMat->SetItemIndex(index);
    const std::string& name = e.Working().names.at(size_t(index));
    LblMaterialName->SetCaption(name);
    LblMaterialName->SetHint(name);
    for (const char* p : {"PanelOldColDif", "PanelColDif"}) Find<forms::Panel>(p)->SetColor(m->diffuse);
    for (const char* p : {"PanelOldColSpec", "PanelColSpec"}) Find<forms::Panel>(p)->SetColor(m->specular);
    Find<forms::SpinEdit>("SpinR")->SetValue(RedOf(m->diffuse));
    Find<forms::SpinEdit>("SpinG")->SetValue(GreenOf(m->diffuse));
    Find<forms::SpinEdit>("SpinB")->SetValue(BlueOf(m->diffuse));
    auto scroll = [this](const char* bar, const char* label, int position) {
        Find<forms::ScrollBar>(bar)->SetPosition(position);
        Find<forms::Label>(label)->SetCaption(std::to_string(position));
    };
    scroll("ScrollAmb", "LAmb", PositionOfCoefficient(m->kAmbient));
    scroll("ScrollDif", "LDif", PositionOfCoefficient(m->kDiffuse));
    scroll("ScrollSpec", "LSpec", PositionOfCoefficient(m->kSpecular));
    scroll("ScrollAlpha", "LAlpha", m->alpha);
    scroll("ScrollRefIdx", "LRefIdx", RefractiveIndexOf(m->flags));
    const bool textured = (m->flags & kMatTextured) != 0;
    for (const char* c : {"EditTexName", "SBTexName", "ChkTexMask", "ChkTexCol", "ChkTexRefl"})
        Find<forms::Control>(c)->SetEnabled(textured && session_->EditingEnabled());
    Find<forms::Edit>("EditTexName")->SetText(textured ? e.CurrentTexture() : std::string());
    Find<forms::CheckBox>("ChkTexMask")->SetChecked(textured && (m->flags & kMatTexMask));
    Find<forms::CheckBox>("ChkTexCol")->SetChecked(textured && (m->flags & kMatTexMix));
    Find<forms::CheckBox>("ChkTexRefl")->SetChecked(textured && (m->flags & kMatReflection));
    Find<forms::CheckBox>("ChkBothFace")->SetChecked(m->flags & kMatBothFaces);
    Find<forms::CheckBox>("ChkSelfLit")->SetChecked(m->flags & kMatSelfLit);
    materialForms_->MaterialShown();
    materialForms_->EditingActive = true;
    LBAvailMat->Invalidate();
    updateUndoRedo();
}

void TFMainqiv::updateUndoRedo() {
    const EditHistory& h = session_->Editor().History();
    const bool edit = mEdit->Enabled();
    const bool undo = edit && h.CanUndo(), redo = edit && h.CanRedo();
    mUndo->SetEnabled(undo);
    mRedo->SetEnabled(redo);
    TBItemEditUndo->SetEnabled(undo);
    TBItemEditRedo->SetEnabled(redo);
    mPaste->SetEnabled(edit && session_->Editor().CanPaste());
}

void TFMainqiv::rebuildViewsMenu() {
    mAvailViews->Clear();
    const auto& views = session_->Views().Views();
    for (size_t i = 0; i < views.size(); ++i) {
        auto* m = new forms::MenuItem(this);
        m->SetCaption(menuCaption(views[i].Name));
        if (StartsMenuColumn(int(i))) m->SetBreak(forms::MenuBreak::BarBreak);
        const std::string name = views[i].Name;
        m->OnClick = [this, name](forms::Component*) {
            session_->Views().ApplyNamedView(*qivobj, name, session_->SchemeCaptions(),
                                             [this](int item) { applyScheme(item); });
        };
        mAvailViews->Add(m);
    }
    mAvailViews->SetEnabled(!views.empty());
}

void TFMainqiv::rebuildSchemesMenu() {
    mSchemes->Clear();
    const auto& schemes = session_->Schemes();
    for (size_t i = 0; i < schemes.size(); ++i) {
        auto* m = new forms::MenuItem(this);
        m->SetCaption(menuCaption(schemes[i].name));
        m->SetHint(schemes[i].path);
        m->SetTag(schemes[i].locked ? 1 : 0);
        m->SetImageIndex(schemes[i].locked ? kImageLocked : -1);
        m->SetChecked(int(i) == session_->CurrentScheme());
        if (StartsMenuColumn(int(i))) m->SetBreak(forms::MenuBreak::BarBreak);
        const int index = int(i);
        m->OnClick = [this, index](forms::Component*) { applyScheme(index); };
        mSchemes->Add(m);
    }
    mSchemes->SetEnabled(!schemes.empty());
    const SchemeItem* current = session_->Current();
    LblMatSchemeName->SetCaption(current ? current->name : std::string());
}

void TFMainqiv::applyScheme(int index) {
    if (index != session_->CurrentScheme() && !confirmSchemeSaved()) return;
    if (!session_->ApplyScheme(index)) return;
    for (int i = 0; i < mSchemes->Count(); ++i) mSchemes->Items(i)->SetChecked(i == index);
    const SchemeItem* current = session_->Current();
    LblMatSchemeName->SetCaption(current ? current->name : std::string());
    forms::Application::Instance().ProcessMessages();
    showMaterial();
    setMaterialEditing(session_->EditingEnabled());
    updateCommands();
}

void TFMainqiv::rebuildTree() {
    forms::TreeNode* selected = TreeView->Selected();
    const int keep = selected ? selected->AbsoluteIndex() : -1;
    // A first build shows both roots open; a rebuild keeps what the user left.
    bool viewsOpen = true, schemesOpen = true;
    if (TreeView->RootCount() == 2) {
        viewsOpen = TreeView->Root(0)->Expanded();
        schemesOpen = TreeView->Root(1)->Expanded();
    }
    auto onChange = std::move(TreeView->OnChange);
    TreeView->Clear();
    const SavedViews& v = session_->Views();
    forms::TreeNode* views = TreeView->Add(nullptr, GetMsgText(kTxtTreeViews.number));
    views->SetImageIndex(v.ReadOnlyImage());
    views->SetSelectedIndex(v.ReadOnlyImage());
    forms::TreeNode* schemes = TreeView->Add(nullptr, GetMsgText(kTxtTreeSchemes.number));
    const int folderImage = session_->FolderWritable() ? -1 : kImageLocked;
    schemes->SetImageIndex(folderImage);
    schemes->SetSelectedIndex(folderImage);
    for (const auto& view : v.Views()) TreeView->Add(views, view.Name);
    for (const auto& s : session_->Schemes()) {
        forms::TreeNode* n = TreeView->Add(schemes, s.name);
        n->SetImageIndex(s.locked ? kImageLocked : -1);
        n->SetSelectedIndex(s.locked ? kImageLocked : -1);
    }
    views->SetExpanded(viewsOpen);
    schemes->SetExpanded(schemesOpen);
    if (keep >= 0 && keep < TreeView->Count()) TreeView->SetSelected(TreeView->Items(keep));
    TreeView->OnChange = std::move(onChange);
}

void TFMainqiv::mManageViewsClick() {
    if (!mManageViews->Enabled() || !RunViewManager || !RunViewManager()) return;
    rebuildViewsMenu();
    rebuildTree();
    updateCommands();
}

// The tree popup ----------------------------------------------------------------

void TFMainqiv::treeViewMouseDown(forms::MouseButton button, int x, int y) {
    if (button != forms::MouseButton::Right) return;
    forms::TreeNode* node = TreeView->GetNodeAt(x, y);
    if (!node) return;
    PrepareTreePopup(node);
    const POINT p = TreeView->ClientToScreen({x, y});
    PopupMenuTreeView->SetPopupComponent(TreeView);
    PopupMenuTreeView->Popup(p.x, p.y);
}

int TFMainqiv::popupViewIndex() const {
    if (popupNode_ < 0 || TreeView->RootCount() < 2) return -1;
    const int v = TreeView->Root(0)->AbsoluteIndex();
    const auto t = TreeNodeTarget(v, int(session_->Views().Views().size()), int(session_->Schemes().size()),
                                  popupNode_);
    return t && !t->scheme ? t->item : -1;
}

int TFMainqiv::popupSchemeIndex() const {
    if (popupNode_ < 0 || TreeView->RootCount() < 2) return -1;
    const int v = TreeView->Root(0)->AbsoluteIndex();
    const auto t = TreeNodeTarget(v, int(session_->Views().Views().size()), int(session_->Schemes().size()),
                                  popupNode_);
    return t && t->scheme ? t->item : -1;
}

void TFMainqiv::PrepareTreePopup(forms::TreeNode* node) {
    forms::MenuItem* popup = PopupMenuTreeView->Items();
    for (int i = 0; i < popup->Count(); ++i) popup->Items(i)->SetEnabled(false);
    popupNode_ = -1;
    if (!node || TreeView->RootCount() < 2) return;
    auto enable = [this](const char* name, bool on) { Find<forms::MenuItem>(name)->SetEnabled(on); };
    const int n = node->AbsoluteIndex();
    if (node == TreeView->Root(0)) {
        enable("mPopUpViewAdd", mAddView->Enabled());
        enable("mPopUpViewUpdate", mUpdateView->Enabled());
        popupNode_ = n;
        return;
    }
    popupNode_ = n;
    if (const int view = popupViewIndex(); view >= 0) {
        enable("mPopUpViewAdd", mAddView->Enabled());
        enable("mPopUpViewUpdate", mUpdateView->Enabled());
        for (const char* item : {"mPopUpViewManager", "mPopUpDeleteView", "mPopUpRenameView"})
            enable(item, mManageViews->Enabled());
        return;
    }
    const int scheme = popupSchemeIndex();
    if (scheme <= 0 || !session_->FolderWritable()) {
        popupNode_ = -1;
        return;
    }
    const bool locked = session_->Schemes()[size_t(scheme)].locked;
    enable("mPopUpLockScheme", !locked);
    enable("mPopUpUnlockScheme", locked);
    enable("mPopUpRenameScheme", !locked);
    enable("mPopUpDeleteScheme", !locked);
}

void TFMainqiv::mPopUpRenameViewClick() {
    const int index = popupViewIndex();
    if (index < 0 || !Find<forms::MenuItem>("mPopUpRenameView")->Enabled()) return;
    SavedViews& views = session_->Views();
    std::string name = views.Views()[size_t(index)].Name;
    std::vector<std::string> others = views.Names();
    others.erase(others.begin() + index);
    if (!AskName(kNameRenameView, {nullptr, nullptr, others, views.BatchNames("")}, name)) return;
    if (!views.RenameView(index, name)) return;
    rebuildViewsMenu();
    rebuildTree();
}

void TFMainqiv::mPopUpDeleteViewClick() {
    const int index = popupViewIndex();
    if (index < 0 || !Find<forms::MenuItem>("mPopUpDeleteView")->Enabled()) return;
    SavedViews& views = session_->Views();
    if (!AskYesNo(GetMsgText(kTxtAskDeleteView.number) + " " + views.Views()[size_t(index)].Name,
                  GetMsgText(kTxtYesNoCaption.number)))
        return;
    if (!views.DeleteView(index)) return;
    popupNode_ = -1;
    rebuildViewsMenu();
    rebuildTree();
    updateCommands();
}

void TFMainqiv::mPopUpLockSchemeClick(bool lock) {
    const int index = popupSchemeIndex();
    if (index <= 0 || !Find<forms::MenuItem>(lock ? "mPopUpLockScheme" : "mPopUpUnlockScheme")->Enabled()) return;
    if (!session_->SetSchemeLocked(index, lock)) return;
    const bool locked = session_->Schemes()[size_t(index)].locked;
    forms::MenuItem* m = mSchemes->Items(index);
    m->SetTag(locked ? 1 : 0);
    m->SetImageIndex(locked ? kImageLocked : -1);
    if (forms::TreeNode* node = TreeView->Items(popupNode_)) {
        node->SetImageIndex(locked ? kImageLocked : -1);
        node->SetSelectedIndex(locked ? kImageLocked : -1);
    }
    TreeView->Invalidate();
    if (index == session_->CurrentScheme()) setMaterialEditing(session_->EditingEnabled());
    updateCommands();
}

void TFMainqiv::mPopUpRenameSchemeClick() {
    const int index = popupSchemeIndex();
    if (index <= 0 || !Find<forms::MenuItem>("mPopUpRenameScheme")->Enabled()) return;
    std::string name = session_->Schemes()[size_t(index)].name;
    if (!AskName(kNameRenameScheme, {mSchemes, nullptr}, name)) return;
    // A rename the file system refuses changes nothing.
    if (!session_->RenameScheme(index, name)) return;
    const SchemeItem& s = session_->Schemes()[size_t(index)];
    forms::MenuItem* m = mSchemes->Items(index);
    m->SetCaption(menuCaption(s.name));
    m->SetHint(s.path);
    if (forms::TreeNode* node = TreeView->Items(popupNode_)) node->SetText(s.name);
    if (index == session_->CurrentScheme()) LblMatSchemeName->SetCaption(s.name);
}

void TFMainqiv::mPopUpDeleteSchemeClick() {
    const int index = popupSchemeIndex();
    if (index <= 0 || !Find<forms::MenuItem>("mPopUpDeleteScheme")->Enabled()) return;
    if (!AskYesNo(GetMsgText(kTxtAskDeleteScheme.number) + " " + session_->Schemes()[size_t(index)].name,
                  GetMsgText(kTxtYesNoCaption.number)))
        return;
    const bool wasCurrent = index == session_->CurrentScheme();
    if (!session_->DeleteScheme(index)) return;
    popupNode_ = -1;
    rebuildSchemesMenu();
    rebuildTree();
    if (wasCurrent) {
        forms::Application::Instance().ProcessMessages();
        showMaterial();
    }
    setMaterialEditing(session_->EditingEnabled());
    updateCommands();
}

void TFMainqiv::mBatchViewsClick() {
    if (!mBatchViews->Enabled() || session_->Views().Views().empty() || !RunBatchRender) return;
    const SchemeItem* s = session_->Current();
    ViewRecord before;
    const bool captured = CaptureView(*qivobj, s ? s->name : std::string(), before);
    // The viewer leaves the layout for the pictures' size; the tile covers the form.
    qivobj->SetAlign(forms::Align::None);
    MultiImageTile->SetVisible(true);
    MultiImageTile->BringToFront();
    bool rendered = false;
    try {
        rendered = RunBatchRender();
    } catch (...) {
        forms::Application::Instance().HandleException(std::current_exception());
    }
    MultiImageTile->SetVisible(false);
    qivobj->SetAlign(forms::Align::Client);
    Realign();
    forms::Application::Instance().ProcessMessages();
    if (rendered && captured)
        ApplyView(*qivobj, before, session_->SchemeCaptions(), [this](int item) { applyScheme(item); });
}

void TFMainqiv::mAddViewClick() {
    if (!mAddView->Enabled()) return;
    SavedViews& views = session_->Views();
    std::string name = views.ProposeName(GetMsgText(kTxtViewPrefix.number));
    if (!AskName(kNameAddView, {nullptr, nullptr, views.Names(), views.BatchNames("")}, name)) return;
    const SchemeItem* s = session_->Current();
    if (views.AddView(*qivobj, s ? s->name : std::string(), name)) {
        rebuildViewsMenu();
        rebuildTree();
    }
    updateCommands();
}

void TFMainqiv::mUpdateViewClick(bool fromTree) {
    if (!mUpdateView->Enabled()) return;
    std::string name;
    if (fromTree) {
        const int index = popupViewIndex();
        if (index < 0) return;
        name = session_->Views().Views()[size_t(index)].Name;
    } else if (!AskName(kNameUpdateView, {mAvailViews, nullptr}, name)) {
        return;
    }
    const SchemeItem* s = session_->Current();
    session_->Views().UpdateView(*qivobj, s ? s->name : std::string(), name);
}

void TFMainqiv::mSaveSchemeClick() {
    if (!mSaveScheme->Enabled()) return;
    session_->SaveScheme();
    updateCommands();
}

void TFMainqiv::mSaveAsSchemeClick() {
    if (mSaveAsScheme->Enabled()) saveSchemeAs();
}

bool TFMainqiv::saveSchemeAs() {
    if (!session_->IsOpen() || !session_->FolderWritable()) return false;
    std::string name = ProposeSchemeName(session_->Path(), GetMsgText(kTxtSchemePrefix.number), fileExists);
    if (!AskName(kNameSaveSchemeAs, {mSchemes, nullptr}, name)) return false;
    if (!session_->SaveSchemeAs(name)) return false;
    rebuildSchemesMenu();
    rebuildTree();
    setMaterialEditing(session_->EditingEnabled());
    updateCommands();
    return true;
}

// Views, lights, rotation -----------------------------------------------------

void TFMainqiv::SetStandardView(int kind) {
    if (!mViewMenu->Enabled()) return;
    stellwerk::SetStandardView(*qivobj, kind);
}

void TFMainqiv::SetLightSet(uint32_t set) {
    session_->LightSet = set & kAllLights;
    for (int i = 0; i < 5; ++i) SBLt[i]->SetChecked(LightOn(session_->LightSet, i));
    qivobj->SetLights(int(session_->LightSet));
}

void TFMainqiv::lightToggleClick(ToolItem* item) {
    SetLightSet(SetLight(session_->LightSet, int(item->Tag()), item->Checked()));
}

void TFMainqiv::lightsChanged() {
    session_->LightSet = uint32_t(qivobj->Lights()) & kAllLights;
    for (int i = 0; i < 5; ++i) SBLt[i]->SetChecked(LightOn(session_->LightSet, i));
}

void TFMainqiv::DayNight() {
    const uint32_t set = ApplyDayNight(*qivobj, session_->LightSet, GlobalIni(), fileExists);
    SetLightSet(set);
}

void TFMainqiv::rotationSelectionClick(bool rotation) {
    TBItemRotation->SetChecked(rotation);
    TBItemSelection->SetChecked(!rotation);
    qivobj->SetCursorMode(rotation ? kCursorContext : kCursorArrow);
    qivobj->DisableUserMovements(rotation ? 0 : kUserRotate);
}

void TFMainqiv::rotationTimer() {
    if (!RotationTick(*qivobj, session_->RotationState, GlobalIni().RotationAngle))
        TimerRotateAndCone->SetEnabled(false);
}

// Tool windows ----------------------------------------------------------------

void TFMainqiv::mToolBarClick(ToolWindow* w) {
    w->SetShown(!w->Visible());
    tools_->Arrange();
}

void TFMainqiv::toolbarVisibleChanged(ToolWindow* w) {
    static const std::pair<const char*, const char*> items[] = {
        {"ToolbarMaterials", "mToolBarMaterials"},       {"ToolbarFileEdit", "mToolbarFileEdit"},
        {"ToolbarEditMaterial", "mToolbarEditMaterial"}, {"ToolbarView", "mToolbarView"},
        {"ToolbarLight", "mToolBarLight"},               {"ToolbarMaterialColor", "mToolBarMaterialColor"},
        {"ToolbarInformation", "mToolbarInformation"},   {"ToolbarViewScheme", "mToolBarViewScheme"},
    };
    for (const auto& i : items)
        if (forms::SameText(w->Name(), i.first)) Find<forms::MenuItem>(i.second)->SetChecked(w->Visible());
    tools_->Arrange();
}

void TFMainqiv::mToolbarAllOnOffClick(bool on) {
    for (ToolWindow* w : tools_->Windows()) w->SetShown(on);
    tools_->Arrange();
}

void TFMainqiv::mIconSmallLargeClick(bool small) {
    mIconSmall->SetChecked(small);
    mIconLarge->SetChecked(!small);
    for (forms::ListBox* l : {LBIniNames, LBTexNames}) {
        l->SetItemHeight(small ? 65 : 129);
        l->Invalidate();
    }
}

void TFMainqiv::showCatalogPage(int page) {
    static const char* const items[] = {"TBItemMo", "TBItemM", "TBItemTx", "TBItemCP"};
    static const char* const pages[] = {"PanelAvailMat", "PanelIniNames", "PanelTexNames", "RkColorGrid"};
    for (int i = 0; i < 4; ++i) {
        Find<ToolItem>(items[i])->SetChecked(i == page);
        Find<forms::Control>(pages[i])->SetVisible(i == page);
    }
    ToolbarMaterials->Realign();
}

void TFMainqiv::fillFileList(forms::ListBox* list, const std::string& folder, bool materials) {
    const std::string dir = MakeAbsolutePath(folder, true);
    list->SetHint(dir);
    list->SetShowHint(false);
    ToolItem* button = Find<ToolItem>(materials ? "SBMatFolder" : "SBTexFolder");
    button->SetHint(GetMsgText(materials ? kTxtMatFolderHint.number : kTxtTexFolderHint.number) + dir);
    button->SetShowHint(true);
    const bool recurse = Find<ToolItem>(materials ? "SBRecurseMat" : "SBRecurseTex")->Checked();
    forms::StringList found;
    if (materials)
        FindFiles(dir, {".ini"}, found, recurse);
    else
        FindFiles(dir, {".bmp", ".jpg", ".jpeg"}, found, recurse);
    found.Sort();
    list->Items().Clear();
    for (int i = 0; i < found.Count(); ++i) list->Items().Add(found[i]);
}

void TFMainqiv::mOptionsClick() {
    {
        TFPrefrences dialog(nullptr, GlobalIni(), GetIniPath());
        dialog.ShowModal();
    }
    for (ToolWindow* w : tools_->Windows()) w->HideWhenInactive = GlobalIni().HideUndockedToolbars;
}

void TFMainqiv::ShowPreferences() { mOptionsClick(); }

// Help and the maker's page ---------------------------------------------------

void TFMainqiv::mHelpFileClick() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "AcroExch.Document\\shell\\open\\command", 0, KEY_READ, &key) ==
        ERROR_SUCCESS) {
        RegCloseKey(key);
        const std::string pdf = GetProgramFolder() + kHelpFile;
        if (fileExists(pdf))
            ShellOpen(pdf);
        else
            ShowProgramMessage(GetMsgText(kTxtHelpMissing.number) + "\r" + GetMsgText(kTxtReinstall.number),
                               MB_OK | MB_ICONWARNING);
        return;
    }
    if (ShowProgramMessage(GetMsgText(kTxtNoPdfReader.number) + "\r" + GetMsgText(kTxtAskPdfDownload.number),
                           MB_OKCANCEL | MB_ICONINFORMATION) == IDOK)
        ShellOpen(kPdfReaderPage);
}

void TFMainqiv::webPage() { ShellOpen(kMakerPage); }

// The application's message hook ---------------------------------------------

bool TFMainqiv::inEditField() const {
    HWND focus = GetFocus();
    wchar_t cls[32] = {};
    return focus && GetClassNameW(focus, cls, 32) && (_wcsicmp(cls, L"Edit") == 0 || _wcsnicmp(cls, L"RichEdit", 8) == 0);
}

void TFMainqiv::appMessage(MSG& msg, bool& handled) {
    switch (msg.message) {
    case WM_KEYDOWN: {
        KeyDown k;
        k.key = int(msg.wParam);
        k.ctrl = GetKeyState(VK_CONTROL) < 0;
        k.shift = GetKeyState(VK_SHIFT) < 0;
        k.alt = GetKeyState(VK_MENU) < 0;
        k.inEditField = inEditField();
        std::vector<ShortcutItem> shortcuts;
        std::vector<forms::MenuItem*> menuItems;
        if (k.ctrl && k.key >= 'A' && k.key <= 'Z')
            for (int i = 0; i < ComponentCount(); ++i)
                if (auto* m = dynamic_cast<forms::MenuItem*>(Components(i))) {
                    const forms::ShortCut s = m->GetShortCut();
                    const WORD letter = s & 0xFF;
                    const bool ctrlLetter = (s & ~0xFF) == forms::scCtrl && letter >= 'A' && letter <= 'Z';
                    shortcuts.push_back({ctrlLetter ? char(letter) : char(0), bool(m->OnClick), m->Enabled()});
                    menuItems.push_back(m);
                }
        const KeyDecision d = DecideKey(k, shortcuts);
        switch (d.action) {
        case KeyAction::ToggleAllLights: SetLightSet(ToggleAllLights(session_->LightSet)); break;
        case KeyAction::ClickLight: SBLt[d.index]->Click(); break;
        case KeyAction::ClickMenuItem: menuItems[size_t(d.index)]->Click(); break;
        case KeyAction::Help: mHelpFile->Click(); break;
        default: break;
        }
        handled = d.handled();
        return;
    }
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN: {
        const TimerAction a = DecideRotationTimer(
            msg.message == WM_MOUSEMOVE ? MouseEvent::Move : MouseEvent::LeftDown, session_->RotationState);
        if (a == TimerAction::Stop) TimerRotateAndCone->SetEnabled(false);
        if (a == TimerAction::Start) TimerRotateAndCone->SetEnabled(true);
        return;
    }
    case WM_LBUTTONUP: qivobjMouseReleased(); return;
    case WM_SYSCOMMAND:
        if (msg.wParam == kCmdWebPage) {
            webPage();
            handled = true;
        }
        return;
    default:
        if (msg.message == kMsgLightsChanged) {
            lightsChanged();
            handled = true;
        }
    }
}

// The viewer's events ---------------------------------------------------------

void TFMainqiv::qivobjSubObjectPicked(long index) {
    const MaterialSet& m = session_->Editor().Working();
    if (index >= 0 && size_t(index) < m.materials.size()) {
        PanelAppColorHint->SetColor(m.materials[size_t(index)].diffuse);
        PanelAppColorHint->SetVisible(true);
        const int tex = m.materials[size_t(index)].texture;
        LabelApplicationHint->SetCaption(tex >= 0 && size_t(tex) < m.textures.size() ? m.textures[size_t(tex)]
                                                                                      : std::string());
        mouseMaterial_ = int(index);
    } else {
        PanelAppColorHint->SetVisible(false);
        LabelApplicationHint->SetCaption("");
        mouseMaterial_ = -1;
    }
}

void TFMainqiv::qivobjMouseDown(long, long button) {
    qivobjMouseReleased();
    if (button != 1 || mouseMaterial_ < 0) return;
    pickedMaterial_ = mouseMaterial_;
    if (!TBItemRotation->Checked()) session_->Editor().Highlight(*qivobj, pickedMaterial_, GlobalIni().HiliteClr);
}

void TFMainqiv::qivobjMouseReleased() {
    if (session_->Editor().Highlighting()) session_->Editor().EndHighlight(*qivobj);
}

void TFMainqiv::qivobjClick() {
    if (pickedMaterial_ < 0) return;
    if (session_->Editor().Select(pickedMaterial_) || session_->Editor().CurrentIndex() == pickedMaterial_)
        showMaterial();
}

void TFMainqiv::showHint() { LabelApplicationHint->SetCaption(forms::Application::Instance().Hint()); }

}  // namespace stellwerk

#include "mainqiv_win.h"

#include <cstdint>
#include <cstdio>

#include "forms/application.h"
#include "texts_win.h"

namespace stellwerk {

forms::MenuItem* TFMainqiv::item(forms::MenuItem* parent, const char* name) {
    auto* m = new forms::MenuItem(this);
    m->SetName(name);
    m->SetCaption(name);
    parent->Add(m);
    return m;
}

TFMainqiv::TFMainqiv(forms::Component* owner) : Form(owner) {
    SetName("FMainqiv");
    SetCaption("Fernlicht");
    SetBounds(40, 40, 800, 600);
    MainMenu1 = new forms::MainMenu(this);
    MainMenu1->SetName("MainMenu1");
    forms::MenuItem* root = MainMenu1->Items();
    auto line = [&](forms::MenuItem* parent, const char* name) { item(parent, name)->SetCaption("-"); };

    forms::MenuItem* file = item(root, "mFile");
    for (const char* n : {"mOpen", "mReOpen", "mFileClose"}) item(file, n);
    line(file, "N1");
    item(file, "mBatchViews");
    item(file, "mWebPublish");
    line(file, "N2");
    item(file, "mOptions");
    line(file, "N3");
    item(file, "mExit")->OnClick = [this](forms::Component*) { Close(); };

    forms::MenuItem* edit = item(root, "mEdit");
    for (const char* n : {"mUndo", "mRedo", "mResetObject"}) item(edit, n);
    line(edit, "N4");
    for (const char* n : {"mCopy", "mPaste", "mEditMatName", "mClearMatName", "mCopyMaterial", "mPasteMaterial",
                          "mSaveMaterial"})
        item(edit, n);

    forms::MenuItem* view = item(root, "mViewMenu");
    item(view, "mPlan");
    forms::MenuItem* elevation = item(view, "mElevation");
    for (const char* n : {"mFront", "mBack", "mLeft", "mRight"}) item(elevation, n);
    item(view, "mIsometric");
    item(view, "mAxonometric");
    line(view, "N5");
    for (const char* n : {"mAddView", "mUpdateView", "mAvailViews", "mManageViews", "mPlayAllViews"}) item(view, n);
    line(view, "N6");
    forms::MenuItem* bars = item(view, "mToolBars");
    for (const char* n : {"mToolBarMaterials", "mToolbarFileEdit", "mToolbarEditMaterial", "mToolBarMaterialColor",
                          "mToolbarView", "mToolBarLight", "mToolbarInformation", "mToolBarViewScheme"})
        item(bars, n)->SetChecked(true);
    line(bars, "N7");
    item(bars, "mToolbarAllOn");
    item(bars, "mToolBarAllOff");
    item(view, "mIconSmall")->SetRadioItem(true);
    item(view, "mIconLarge")->SetRadioItem(true);

    forms::MenuItem* scheme = item(root, "mSchemeMenu");
    for (const char* n : {"mSaveScheme", "mSaveAsScheme", "mSchemes"}) item(scheme, n);

    forms::MenuItem* help = item(root, "mHelp");
    item(help, "mHelpFile");
    line(help, "mHelpSeparator");
    item(help, "mAbout");

    PopupMenuTreeView = new forms::PopupMenu(this);
    PopupMenuTreeView->SetName("PopupMenuTreeView");
    for (const char* n : {"mPopUpViewAdd", "mPopUpViewUpdate", "mPopUpViewManager", "mPopUpRenameView",
                          "mPopUpDeleteView", "mPopUpLockScheme", "mPopUpUnlockScheme", "mPopUpRenameScheme",
                          "mPopUpDeleteScheme"})
        item(PopupMenuTreeView->Items(), n);
    SetMenu(MainMenu1);

    qivobj = new TQivPlayer(this);
    qivobj->SetName("qivobj");
    qivobj->SetAlign(forms::Align::Client);
    qivobj->SetParent(this);
    FormCreate();
}

namespace {

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

}  // namespace

void TFMainqiv::FormCreate() {
    OnPaint = [](forms::Component*, forms::Canvas&) { reportFirstPaint(); };
    ApplyMainFormTexts(*this);
    forms::Application::Instance().SetTitle(Caption());
}

}  // namespace stellwerk

#pragma once
// The main form: the hosted viewer for the whole run, the docks, toolbars
// and tool windows around it, the menus, and the commands that drive the
// viewer. Every component has the name the texts and saved layouts look for.
#include <functional>
#include <memory>
#include <string>

#include "forms/application.h"
#include "forms/extctrls.h"
#include "forms/form.h"
#include "forms/menus.h"
#include "globalini.h"
#include "imagetile_win.h"
#include "multiimage_win.h"
#include "mainsession.h"
#include "mainsettings.h"
#include "qivplayer_win.h"
#include "toolframe_win.h"
#include "viewmgr_win.h"

namespace stellwerk {

// System menu command of the maker's web page.
constexpr UINT kCmdWebPage = 4001;

class MaterialForms;

class TFMainqiv : public forms::Form {
public:
    explicit TFMainqiv(forms::Component* owner);
    ~TFMainqiv() override;

    // Loads an object (asking first about unsaved scheme changes); false when
    // it stayed closed.
    bool LoadObjectFile(const std::string& path);
    // Closes the object after the same question; false when the user kept it.
    bool CloseObject();
    void SetStandardView(int kind);
    void SetLightSet(uint32_t set);
    void DayNight();
    void ShowPreferences();

    // The object the program was started with, opened once the form shows.
    std::string StartFile;

    MainSession& Session() { return *session_; }
    MainSettings& Settings() { return settings_; }
    ToolFrame& Tools() { return *tools_; }
    forms::Timer* TimerRotateAndCone = nullptr;

    // Opening an object file: the path chosen, or empty when cancelled. The
    // open dialog unless replaced (tests script it).
    std::function<std::string(const std::string& folder)> ChooseObjectFile;
    // Opens a document or address with the shell's "open" verb.
    std::function<void(const std::string& target)> ShellOpen;

    // The forms of other units that commands of the main form show, all set
    // in connectForms (mainqiv_forms_win.cpp). A command whose form is not
    // set stays disabled (or does nothing). The view manager, batch render
    // and web publishing report true when they changed the object's views.
    std::function<bool()> RunViewManager, RunBatchRender, RunWebPublish;
    std::function<void()> RunAbout;
    TFViewMgr* ViewManager() const { return viewMgr_.get(); }

    // Enables the tree popup's items for the node (as a right click does)
    // and remembers it; the popup's commands act on that node.
    void PrepareTreePopup(forms::TreeNode* node);

    forms::MainMenu* MainMenu1 = nullptr;
    forms::PopupMenu* PopupMenuTreeView = nullptr;
    forms::PopupMenu* PopupMenuColorPal = nullptr;
    TQivPlayer* qivobj = nullptr;
    imaging::TPMultiImage* MultiImageTile = nullptr;
    forms::ImageList* ImageList1 = nullptr;

    forms::MenuItem *mFile, *mOpen, *mReOpen, *mFileClose, *mBatchViews, *mWebPublish, *mOptions, *mExit;
    forms::MenuItem *mEdit, *mUndo, *mRedo, *mResetObject, *mCopy, *mPaste;
    forms::MenuItem *mViewMenu, *mAddView, *mUpdateView, *mAvailViews, *mManageViews, *mPlayAllViews;
    forms::MenuItem *mIconSmall, *mIconLarge;
    forms::MenuItem *mSchemeMenu, *mSaveScheme, *mSaveAsScheme, *mSchemes, *mHelpFile;

    ToolWindow *ToolbarMaterials, *ToolbarFileEdit, *ToolbarEditMaterial, *ToolbarLight, *ToolbarMaterialColor,
        *ToolbarInformation, *ToolbarView, *ToolbarViewScheme;
    ToolItem *SBLt[5], *SBDayNight, *TBItemRotation, *TBItemSelection;
    ToolItem *TBItemEditUndo, *TBItemEditRedo;
    forms::ListBox *LBAvailMat, *LBIniNames, *LBTexNames;
    forms::TreeView* TreeView = nullptr;
    forms::Label *LabelApplicationHint, *LblMaterialName, *LblMatSchemeName;
    forms::Panel* PanelAppColorHint = nullptr;

    bool HandleMessage(win::Message& m) override;

private:
    void buildMenus();
    void buildTools();
    void buildMaterialWindows();
    void buildImages();
    void connectForms();
    forms::MenuItem* item(forms::MenuItem* parent, const char* name, std::function<void()> click = nullptr);

    void FormCreate();
    void FormShow();
    void FormCloseQuery(bool& canClose);
    void FormClose();
    void FormDestroy();
    void LoadMainSettings();
    void SaveMainSettings();

    // The open and closed states of the form.
    void setOpenState(bool open);
    void updateCommands();
    void rebuildRecentMenu();
    void rebuildViewsMenu();
    void rebuildSchemesMenu();
    void rebuildTree();
    void fillMaterialList();
    void showMaterial();
    void updateUndoRedo();
    void setMaterialEditing(bool on);
    // Asks Save / Discard / Cancel when the scheme has unsaved changes.
    bool confirmSchemeSaved();
    bool saveSchemeAs();
    void applyScheme(int index);

    void mOpenClick();
    void mReopenClick(int index);
    void mOptionsClick();
    void mHelpFileClick();
    void mAddViewClick();
    void mUpdateViewClick(bool fromTree = false);
    void mSaveSchemeClick();
    void mSaveAsSchemeClick();
    void mManageViewsClick();
    void mBatchViewsClick();
    // The tree popup's commands on the node it was opened on.
    int popupViewIndex() const;
    int popupSchemeIndex() const;
    void mPopUpRenameViewClick();
    void mPopUpDeleteViewClick();
    void mPopUpLockSchemeClick(bool lock);
    void mPopUpRenameSchemeClick();
    void mPopUpDeleteSchemeClick();
    void treeViewMouseDown(forms::MouseButton button, int x, int y);
    void mToolBarClick(ToolWindow* w);
    void mToolbarAllOnOffClick(bool on);
    void mIconSmallLargeClick(bool small);
    void toolbarVisibleChanged(ToolWindow* w);
    void rotationSelectionClick(bool rotation);
    void lightToggleClick(ToolItem* item);
    void showCatalogPage(int page);
    void fillFileList(forms::ListBox* list, const std::string& folder, bool materials);

    void appMessage(MSG& msg, bool& handled);
    bool inEditField() const;
    void rotationTimer();
    void lightsChanged();
    void webPage();

    void qivobjSubObjectPicked(long index);
    void qivobjMouseDown(long objID, long button);
    void qivobjMouseReleased();
    void qivobjClick();
    void showHint();

    // The material editor's and colour choosers' handlers.
    friend class MaterialForms;
    MaterialForms* materialForms_ = nullptr;

    MainSettings settings_;
    std::unique_ptr<MainSession> session_;
    std::unique_ptr<ToolFrame> tools_;
    std::unique_ptr<TFViewMgr> viewMgr_;
    int pickedMaterial_ = -1, mouseMaterial_ = -1;
    int popupNode_ = -1;  // absolute index of the node the tree popup is on
};

}  // namespace stellwerk

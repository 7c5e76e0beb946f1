#pragma once
// The view manager dialog: the object's saved views listed for renaming,
// deleting, reordering (buttons or dragging) and for their scheme,
// background picture and colour. Every change acts on working copies; OK
// with changes hands them to the saved views, which write the views file.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "colorbutton_win.h"
#include "forms/extctrls.h"
#include "forms/form.h"
#include "forms/stdctrls.h"
#include "savedviews.h"

namespace stellwerk {

// The placement section of the dialog in the program's INI file.
constexpr const char kViewManagerSection[] = "ViewManagerDialog";

class TFViewMgr : public forms::Form {
public:
    explicit TFViewMgr(forms::Component* owner);
    ~TFViewMgr() override;

    // Shows the dialog over the views (when there are views and they can be
    // written) with the scheme captions in its combo; true when it was
    // accepted with changes and the views took them.
    bool ManageViews(SavedViews& views, const std::vector<std::string>& schemeCaptions);
    // The working copies while the dialog shows.
    const ViewEditList* Edits() const { return edits_.get(); }

    forms::ListBox* LBViewName;
    forms::Edit *EditVName, *EditBackImage;
    forms::ComboBox* CBSchemes;
    forms::Label *LblNewName, *LblMatScheme, *LblBackImage, *LblBackColor;
    forms::Panel *Panel2, *Panel3;
    forms::Button *BtnOk, *BtnCancel, *BtnDelete, *BtnMoveUp, *BtnMoveDown;
    TColorSpeedButton *CSBBackColor, *CSBBackImage;

    // The colour dialog and the picture chooser unless replaced (tests).
    std::function<forms::TColor(forms::TColor)> ChooseColour;
    std::function<std::string(int titleText, const std::string& current)> ChoosePicture;

private:
    void FormShow();
    void fillList(int select);
    int selected() const { return LBViewName->ItemIndex(); }
    void LBViewNameClick();
    void EditVNameExit();
    void BtnDeleteClick();
    void move(int to);
    void CBSchemesExit();
    void EditBackImageExit();

    std::unique_ptr<ViewEditList> edits_;
    std::vector<std::string> captions_, batches_;
    bool textsApplied_ = false, accepted_ = false;
    std::function<void(MSG&, bool&)> savedHook_;
};

}  // namespace stellwerk

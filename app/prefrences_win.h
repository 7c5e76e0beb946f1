#pragma once
// The preferences dialog: day and night backgrounds, the highlight colour,
// the alternate texture folder, the rotation speed and the tool-window
// option of the settings object, edited and saved on OK.
#include <functional>
#include <string>

#include "colorbutton_win.h"
#include "forms/form.h"
#include "forms/stdctrls.h"
#include "globalini.h"

namespace stellwerk {

class TFPrefrences : public forms::Form {
public:
    // Edits settings; OK saves them to iniPath.
    TFPrefrences(forms::Component* owner, TGlobalIni& settings, std::string iniPath);

    forms::CheckBox *ChkDayNight, *ChkUndockToolbars;
    forms::GroupBox *GrpDayNight, *GrpDay, *GrpNight, *GrpHighlightColor, *GrpAlternateTexPath, *GrpRotationSpeed,
        *GrpUndockToolbars;
    TColorSpeedButton *CSBDay, *CSBEDay, *CSBNight, *CSBENight, *CSBHilite, *CSBAlternateTexPath;
    forms::Edit *EDay, *ENight, *EAlternateTexPath;
    forms::SpinEdit* SpinRot;
    forms::Button *BtnOK, *BtnCancel;

    // The choosers (colour dialog, picture and folder choosers) unless
    // replaced; each gets the current value and gives the chosen one.
    std::function<forms::TColor(forms::TColor)> ChooseColour;
    std::function<std::string(int titleText, const std::string& current)> ChoosePicture;
    std::function<std::string(const std::string& current)> ChooseFolderOf;

private:
    void FormShow();
    void BtnOKClick();
    TGlobalIni& settings_;
    std::string iniPath_;
    std::function<void(MSG&, bool&)> savedHook_;
};

}  // namespace stellwerk

#include "prefrences_win.h"

#include "common_win.h"
#include "forms/application.h"
#include "msgstrs.h"
#include "texts_win.h"

namespace stellwerk {

TFPrefrences::TFPrefrences(forms::Component* owner, TGlobalIni& settings, std::string iniPath)
    : Form(owner), settings_(settings), iniPath_(std::move(iniPath)) {
    SetName("FPrefrences");
    SetBorderStyle(forms::BorderStyle::Dialog);
    SetPosition(forms::FormPosition::MainFormCenter);
    SetClientSize(380, 368);

    GrpDayNight = MakeControl<forms::GroupBox>(this, this, "GrpDayNight", 8, 4, 364, 156);
    ChkDayNight = MakeControl<forms::CheckBox>(this, GrpDayNight, "ChkDayNight", 10, 16, 340, 17);
    GrpDay = MakeControl<forms::GroupBox>(this, GrpDayNight, "GrpDay", 8, 40, 170, 108);
    CSBDay = MakeControl<TColorSpeedButton>(this, GrpDay, "CSBDay", 8, 20, 74, 23);
    CSBEDay = MakeControl<TColorSpeedButton>(this, GrpDay, "CSBEDay", 88, 20, 74, 23);
    EDay = MakeControl<forms::Edit>(this, GrpDay, "EDay", 8, 52, 154, 21);
    GrpNight = MakeControl<forms::GroupBox>(this, GrpDayNight, "GrpNight", 186, 40, 170, 108);
    CSBNight = MakeControl<TColorSpeedButton>(this, GrpNight, "CSBNight", 8, 20, 74, 23);
    CSBENight = MakeControl<TColorSpeedButton>(this, GrpNight, "CSBENight", 88, 20, 74, 23);
    ENight = MakeControl<forms::Edit>(this, GrpNight, "ENight", 8, 52, 154, 21);

    GrpHighlightColor = MakeControl<forms::GroupBox>(this, this, "GrpHighlightColor", 8, 166, 178, 52);
    CSBHilite = MakeControl<TColorSpeedButton>(this, GrpHighlightColor, "CSBHilite", 8, 20, 120, 23);
    GrpRotationSpeed = MakeControl<forms::GroupBox>(this, this, "GrpRotationSpeed", 194, 166, 178, 52);
    SpinRot = MakeControl<forms::SpinEdit>(this, GrpRotationSpeed, "SpinRot", 8, 20, 80, 21);
    SpinRot->SetRange(0, 360);
    GrpUndockToolbars = MakeControl<forms::GroupBox>(this, this, "GrpUndockToolbars", 8, 222, 364, 46);
    ChkUndockToolbars = MakeControl<forms::CheckBox>(this, GrpUndockToolbars, "ChkUndockToolbars", 8, 20, 348, 17);
    GrpAlternateTexPath = MakeControl<forms::GroupBox>(this, this, "GrpAlternateTexPath", 8, 272, 364, 52);
    EAlternateTexPath = MakeControl<forms::Edit>(this, GrpAlternateTexPath, "EAlternateTexPath", 8, 21, 262, 21);
    CSBAlternateTexPath = MakeControl<TColorSpeedButton>(this, GrpAlternateTexPath, "CSBAlternateTexPath", 276, 20, 80, 23);

    BtnOK = MakeControl<forms::Button>(this, this, "BtnOK", 212, 334, 75, 25);
    BtnOK->SetDefault(true);
    BtnCancel = MakeControl<forms::Button>(this, this, "BtnCancel", 297, 334, 75, 25);
    BtnCancel->SetCancel(true);
    BtnCancel->SetModalResult(forms::mrCancel);

    ChooseColour = [](forms::TColor c) { return forms::TColor(ChooseColorDialog(stellwerk::Color(c))); };
    ChoosePicture = [](int title, const std::string& current) { return ChooseImageFile(title, current); };
    ChooseFolderOf = [](const std::string& current) {
        std::string folder = current;
        ChooseFolder(GetMsgText(kTxtAltTexTitle.number), GetMsgText(kTxtAltTexCaption.number), folder);
        return folder;
    };
    auto colour = [this](TColorSpeedButton* b) {
        b->OnClick = [this, b](forms::Component*) { b->SetButtonColor(ChooseColour(b->ButtonColor())); };
    };
    colour(CSBDay);
    colour(CSBNight);
    colour(CSBHilite);
    CSBEDay->OnClick = [this](forms::Component*) { EDay->SetText(ChoosePicture(kTxtDayPictureTitle.number, EDay->Text())); };
    CSBENight->OnClick = [this](forms::Component*) {
        ENight->SetText(ChoosePicture(kTxtNightPictureTitle.number, ENight->Text()));
    };
    CSBAlternateTexPath->OnClick = [this](forms::Component*) {
        EAlternateTexPath->SetText(ChooseFolderOf(EAlternateTexPath->Text()));
    };
    BtnOK->OnClick = [this](forms::Component*) { BtnOKClick(); };

    ApplyPrefrencesTexts(*this);
    OnShow = [this](forms::Component*) { FormShow(); };
    OnHide = [this](forms::Component*) { forms::Application::Instance().OnMessage = savedHook_; };
}

void TFPrefrences::FormShow() {
    CSBDay->SetButtonColor(settings_.DayClr);
    CSBNight->SetButtonColor(settings_.NightClr);
    CSBHilite->SetButtonColor(settings_.HiliteClr);
    ChkDayNight->SetChecked(settings_.EnableClrBmp);
    ChkUndockToolbars->SetChecked(settings_.HideUndockedToolbars);
    EDay->SetText(settings_.DayBmp);
    ENight->SetText(settings_.NightBmp);
    EAlternateTexPath->SetText(settings_.AlternateTexturePath);
    SpinRot->SetValue(settings_.RotationAngle);
    auto& app = forms::Application::Instance();
    savedHook_ = app.OnMessage;
    app.OnMessage = nullptr;
}

void TFPrefrences::BtnOKClick() {
    settings_.DayClr = stellwerk::Color(CSBDay->ButtonColor());
    settings_.NightClr = stellwerk::Color(CSBNight->ButtonColor());
    settings_.HiliteClr = stellwerk::Color(CSBHilite->ButtonColor());
    settings_.EnableClrBmp = ChkDayNight->Checked();
    settings_.HideUndockedToolbars = ChkUndockToolbars->Checked();
    settings_.DayBmp = EDay->Text();
    settings_.NightBmp = ENight->Text();
    settings_.AlternateTexturePath = EAlternateTexPath->Text();
    settings_.RotationAngle = SpinRot->Value();
    // What the dialog lets through is held to the rules the file is read by.
    settings_.Clamp();
    settings_.Save(iniPath_);
    SetModalResult(forms::mrOk);
}

}  // namespace stellwerk

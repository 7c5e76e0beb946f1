#include "getname_win.h"

#include "forms/application.h"
#include "forms/textutil.h"
#include "msgstrs.h"
#include "texts_win.h"

namespace stellwerk {

namespace {

struct ModeInfo {
    bool combo;
    TextId caption, prompt;
};

const ModeInfo kModes[] = {
    {false, kTxtNameAddView, kTxtNameViewPrompt},        {true, kTxtNameUpdateView, kTxtNameViewPrompt},
    {false, kTxtNameRenameView, kTxtNameViewPrompt},     {true, kTxtNameSaveSchemeAs, kTxtNameSchemePrompt},
    {false, kTxtNameRenameScheme, kTxtNameSchemePrompt}, {false, kTxtNameMaterialName, kTxtNameMaterialPrompt},
    {false, kTxtNameNewFolder, kTxtNameFolderPrompt},    {false, kTxtNameBatchName, kTxtNameBatchPrompt},
};

bool forbidden(char c) {
    return c == '"' || c == '*' || c == '/' || c == ':' || c == '<' || c == '>' || c == '?' || c == '\\' || c == '|';
}

}  // namespace

bool HasForbiddenNameChar(const std::string& name) {
    for (char c : name)
        if (forbidden(c)) return true;
    return false;
}

TFGetName::TFGetName(forms::Component* owner) : Form(owner) {
    SetName("FGetName");
    SetBorderStyle(forms::BorderStyle::Dialog);
    SetPosition(forms::FormPosition::ScreenCenter);
    SetClientSize(172, 94);
    LblInput = new forms::Label(this);
    LblInput->SetName("LblInput");
    LblInput->SetParent(this);
    LblInput->SetBounds(4, 8, 164, 13);
    EditName = new forms::Edit(this);
    EditName->SetName("EditName");
    EditName->SetParent(this);
    EditName->SetBounds(4, 28, 164, 21);
    ComboName = new forms::ComboBox(this);
    ComboName->SetName("ComboName");
    ComboName->SetParent(this);
    ComboName->SetBounds(4, 28, 164, 21);
    ComboName->SetVisible(false);
    BtnOk = new forms::Button(this);
    BtnOk->SetName("BtnOk");
    BtnOk->SetParent(this);
    BtnOk->SetBounds(8, 62, 75, 25);
    BtnOk->SetDefault(true);
    BtnCancel = new forms::Button(this);
    BtnCancel->SetName("BtnCancel");
    BtnCancel->SetParent(this);
    BtnCancel->SetBounds(89, 62, 75, 25);
    BtnCancel->SetCancel(true);
    BtnCancel->SetModalResult(forms::mrCancel);
    BtnOk->OnClick = [this](forms::Component*) { okClick(); };
    EditName->OnKeyPress = [this](forms::Component*, char& k) { keyFilter(k); };
    ComboName->OnKeyPress = [this](forms::Component*, char& k) { keyFilter(k); };
    ApplyGetNameTexts(*this);
    // The application's message hook rests while the dialog shows.
    OnShow = [this](forms::Component*) {
        auto& app = forms::Application::Instance();
        savedHook_ = app.OnMessage;
        app.OnMessage = nullptr;
    };
    OnHide = [this](forms::Component*) { forms::Application::Instance().OnMessage = savedHook_; };
}

TFGetName::~TFGetName() = default;

bool TFGetName::Prepare(int mode, const NameSource& source, const std::string& name) {
    if (mode < 0 || mode >= int(std::size(kModes))) return false;
    mode_ = mode;
    const ModeInfo& m = kModes[mode];
    menu_ = source.menu;
    ComboName->Items().Clear();
    if (source.menu)
        for (int i = 0; i < source.menu->Count(); ++i) ComboName->Items().Add(source.menu->Items(i)->Caption());
    else if (source.list)
        for (const auto& s : source.list->Items()) ComboName->Items().Add(s);
    ComboName->SetVisible(m.combo);
    EditName->SetVisible(!m.combo);
    (m.combo ? static_cast<forms::Control*>(ComboName) : EditName)->SetCaption(name);
    SetCaption(TextOf(m.caption));
    LblInput->SetCaption(TextOf(m.prompt));
    return true;
}

void TFGetName::keyFilter(char& key) {
    if (forbidden(key)) {
        key = 0;
    } else if (key == '\r') {
        key = 0;
        okClick();
    } else if (key == 27) {
        key = 0;
        SetModalResult(forms::mrCancel);
    }
}

void TFGetName::okClick() {
    const std::string text = forms::Trim(ComboName->Visible() ? ComboName->Text() : EditName->Text());
    if (text.empty()) return;
    const int found = ComboName->Items().IndexOf(text);
    bool ok;
    if (HasForbiddenNameChar(text))
        ok = false;
    else if (mode_ == kNameUpdateView)
        ok = found >= 0;
    else if (mode_ == kNameSaveSchemeAs)
        // Item 0 is the object's own materials: never overwritten, like a locked scheme.
        ok = found < 0 || (found > 0 && menu_ && found < menu_->Count() && menu_->Items(found)->Tag() == 0);
    else
        ok = found < 0;
    if (!ok) {
        ShowProgramMessage(GetMsgText(kTxtNameRefused.number));
        return;
    }
    acceptedName_ = text;
    accepted_ = true;
    SetModalResult(forms::mrOk);
}

bool AskName(int mode, const NameSource& source, std::string& name) {
    TFGetName dialog(nullptr);
    if (!dialog.Prepare(mode, source, name)) return false;
    dialog.ShowModal();
    if (!dialog.Accepted()) return false;
    name = dialog.AcceptedName();
    return true;
}

}  // namespace stellwerk

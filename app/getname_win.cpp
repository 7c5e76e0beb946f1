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

}  // namespace

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
    ComboName->Items().Clear();
    locked_.clear();
    if (source.menu)
        for (int i = 0; i < source.menu->Count(); ++i) {
            ComboName->Items().Add(source.menu->Items(i)->Caption());
            // The schemes menu's item 0 is the object's own materials: never overwritten.
            locked_.push_back(source.menu->Items(i)->Tag() != 0 || (i == 0 && mode == kNameSaveSchemeAs));
        }
    else if (source.list)
        for (const auto& s : source.list->Items()) ComboName->Items().Add(s);
    else
        for (const auto& s : source.names) ComboName->Items().Add(s);
    batches_ = source.batches;
    views_ = source.views;
    ComboName->SetVisible(m.combo);
    EditName->SetVisible(!m.combo);
    (m.combo ? static_cast<forms::Control*>(ComboName) : EditName)->SetCaption(name);
    SetCaption(TextOf(m.caption));
    LblInput->SetCaption(TextOf(m.prompt));
    return true;
}

void TFGetName::keyFilter(char& key) {
    if (IsNameKeyFiltered(key)) {
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
    std::vector<std::string> listed;
    for (int i = 0; i < ComboName->Items().Count(); ++i) listed.push_back(ComboName->Items()[i]);
    if (CheckDialogName(mode_, text, listed, locked_, batches_, views_) != NameProblem::None) {
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

#include "viewmgr_win.h"

#include "common_win.h"
#include "forms/application.h"
#include "forms/textutil.h"
#include "msgstrs.h"
#include "texts_win.h"

namespace stellwerk {

namespace {


constexpr int kWidth = 440, kHeight = 286;

}  // namespace

TFViewMgr::TFViewMgr(forms::Component* owner) : Form(owner) {
    SetName("FViewMgr");
    SetBorderStyle(forms::BorderStyle::Sizeable);
    SetBorderIcons(forms::biSystemMenu);
    SetPosition(forms::FormPosition::MainFormCenter);
    SetClientSize(kWidth, kHeight);
    SetConstraints(Width(), Height());

    Panel3 = MakeControl<forms::Panel>(this, this, "Panel3", 0, kHeight - 40, kWidth, 40);
    Panel3->SetAlign(forms::Align::Bottom);
    Panel3->SetBevelOuter(forms::Bevel::None);
    Panel2 = MakeControl<forms::Panel>(this, this, "Panel2", kWidth - 210, 0, 210, kHeight - 40);
    Panel2->SetAlign(forms::Align::Right);
    Panel2->SetBevelOuter(forms::Bevel::None);
    LBViewName = MakeControl<forms::ListBox>(this, this, "LBViewName", 0, 0, kWidth - 210, kHeight - 40);
    LBViewName->SetAlign(forms::Align::Client);
    LBViewName->SetDragMode(forms::Control::DragMode::Automatic);

    LblNewName = MakeControl<forms::Label>(this, Panel2, "LblNewName", 8, 6, 194, 14);
    EditVName = MakeControl<forms::Edit>(this, Panel2, "EditVName", 8, 22, 194, 21);
    LblMatScheme = MakeControl<forms::Label>(this, Panel2, "LblMatScheme", 8, 50, 194, 14);
    CBSchemes = MakeControl<forms::ComboBox>(this, Panel2, "CBSchemes", 8, 66, 194, 21);
    LblBackImage = MakeControl<forms::Label>(this, Panel2, "LblBackImage", 8, 96, 194, 14);
    EditBackImage = MakeControl<forms::Edit>(this, Panel2, "EditBackImage", 8, 112, 130, 21);
    CSBBackImage = MakeControl<TColorSpeedButton>(this, Panel2, "CSBBackImage", 142, 111, 60, 23);
    LblBackColor = MakeControl<forms::Label>(this, Panel2, "LblBackColor", 8, 142, 130, 14);
    CSBBackColor = MakeControl<TColorSpeedButton>(this, Panel2, "CSBBackColor", 142, 138, 60, 23);
    BtnMoveUp = MakeControl<forms::Button>(this, Panel2, "BtnMoveUp", 8, 176, 94, 25);
    BtnMoveDown = MakeControl<forms::Button>(this, Panel2, "BtnMoveDown", 108, 176, 94, 25);
    BtnDelete = MakeControl<forms::Button>(this, Panel2, "BtnDelete", 8, 206, 94, 25);

    BtnOk = MakeControl<forms::Button>(this, Panel3, "BtnOk", kWidth - 170, 8, 75, 25);
    BtnOk->SetDefault(true);
    BtnCancel = MakeControl<forms::Button>(this, Panel3, "BtnCancel", kWidth - 88, 8, 75, 25);
    BtnCancel->SetCancel(true);
    BtnCancel->SetModalResult(forms::mrCancel);
    for (forms::Control* c : {static_cast<forms::Control*>(BtnOk), static_cast<forms::Control*>(BtnCancel)})
        c->SetAnchors(forms::akRight | forms::akTop);

    ChooseColour = [](forms::TColor c) { return forms::TColor(ChooseColorDialog(stellwerk::Color(c))); };
    ChoosePicture = [](int title, const std::string& current) { return ChooseImageFile(title, current); };

    LBViewName->OnClick = [this](forms::Component*) { LBViewNameClick(); };
    LBViewName->OnDragOver = [this](forms::Component*, forms::Component* source, int, int, bool& accept) {
        accept = source == LBViewName;
    };
    LBViewName->OnDragDrop = [this](forms::Component*, forms::Component*, int x, int y) {
        move(LBViewName->ItemAtPos(x, y, false));
    };
    EditVName->OnExit = [this](forms::Component*) { EditVNameExit(); };
    EditVName->OnKeyPress = [this](forms::Component*, char& k) {
        if (k == '\r') {
            k = 0;
            EditVNameExit();
        }
    };
    CBSchemes->OnExit = [this](forms::Component*) { CBSchemesExit(); };
    CBSchemes->OnSelect = [this](forms::Component*) { CBSchemesExit(); };
    EditBackImage->OnExit = [this](forms::Component*) { EditBackImageExit(); };
    CSBBackImage->OnClick = [this](forms::Component*) {
        const std::string chosen = ChoosePicture(kTxtViewPictureTitle.number, EditBackImage->Text());
        if (!chosen.empty()) EditBackImage->SetText(chosen);
        EditBackImageExit();
    };
    CSBBackColor->OnClick = [this](forms::Component*) {
        if (!edits_ || selected() < 0) return;
        const forms::TColor c = ChooseColour(CSBBackColor->ButtonColor());
        edits_->SetBackColor(selected(), stellwerk::Color(c));
        CSBBackColor->SetButtonColor(c);
    };
    BtnDelete->OnClick = [this](forms::Component*) { BtnDeleteClick(); };
    BtnMoveUp->OnClick = [this](forms::Component*) { move(selected() - 1); };
    BtnMoveDown->OnClick = [this](forms::Component*) { move(selected() + 1); };
    BtnOk->OnClick = [this](forms::Component*) {
        // The field being edited counts as left.
        EditVNameExit();
        CBSchemesExit();
        EditBackImageExit();
        accepted_ = true;
        SetModalResult(forms::mrOk);
    };
    OnShow = [this](forms::Component*) { FormShow(); };
    OnHide = [this](forms::Component*) { forms::Application::Instance().OnMessage = savedHook_; };
    RestoreFormPlacement(*this, kViewManagerSection, false);
}

TFViewMgr::~TFViewMgr() {
    if (HandleAllocated()) SaveFormPlacement(*this, kViewManagerSection);
}

void TFViewMgr::FormShow() {
    if (!textsApplied_) {
        ApplyViewMgrTexts(*this);
        textsApplied_ = true;
    }
    auto& app = forms::Application::Instance();
    savedHook_ = app.OnMessage;
    app.OnMessage = nullptr;
}

bool TFViewMgr::ManageViews(SavedViews& views, const std::vector<std::string>& schemeCaptions) {
    if (views.Views().empty() || !views.CanWrite()) return false;
    edits_ = std::make_unique<ViewEditList>(views.Views());
    captions_ = schemeCaptions;
    batches_ = views.BatchNames("");
    CBSchemes->Items().Clear();
    for (const auto& c : captions_) CBSchemes->Items().Add(c);
    CBSchemes->SetEnabled(!captions_.empty());
    EditVName->SetEnabled(true);
    BtnDelete->SetEnabled(true);
    fillList(0);
    accepted_ = false;
    ShowModal();
    bool changed = false;
    if (accepted_ && edits_->Modified()) changed = views.ReplaceViews(edits_->Views());
    edits_.reset();
    LBViewName->Items().Clear();
    return changed;
}

void TFViewMgr::fillList(int select) {
    forms::StringList& items = LBViewName->Items();
    items.Clear();
    for (const auto& v : edits_->Views()) items.Add(v.Name);
    if (select >= items.Count()) select = items.Count() - 1;
    LBViewName->SetItemIndex(select);
    LBViewNameClick();
}

void TFViewMgr::LBViewNameClick() {
    const int i = selected();
    if (!edits_ || i < 0 || size_t(i) >= edits_->Views().size()) return;
    const ViewRecord& v = edits_->Views()[size_t(i)];
    EditVName->SetText(v.Name);
    if (!captions_.empty()) CBSchemes->SetItemIndex(SchemeItemForView(captions_, v.Scheme));
    EditBackImage->SetText(v.BackImage);
    CSBBackColor->SetButtonColor(forms::TColor(v.BackColor));
}

void TFViewMgr::EditVNameExit() {
    const int i = selected();
    if (!edits_ || i < 0 || !EditVName->Enabled()) return;
    const std::string text = forms::Trim(EditVName->Text());
    if (text.empty() || text == edits_->Views()[size_t(i)].Name) return;
    switch (edits_->Rename(i, text, batches_)) {
    case NameProblem::None:
        LBViewName->Items().SetString(i, edits_->Views()[size_t(i)].Name);
        LBViewName->SetItemIndex(i);
        break;
    case NameProblem::Taken:
        ShowProgramMessage(GetMsgText(kTxtViewNameTaken.number));
        EditVName->SetText(edits_->Views()[size_t(i)].Name);
        break;
    default:
        ShowProgramMessage(GetMsgText(kTxtNameRefused.number));
        EditVName->SetText(edits_->Views()[size_t(i)].Name);
        break;
    }
}

void TFViewMgr::BtnDeleteClick() {
    if (!edits_ || selected() < 0) return;
    const int next = edits_->Delete(selected());
    if (next < 0) {
        LBViewName->Items().Clear();
        BtnDelete->SetEnabled(false);
        EditVName->SetText("");
        EditVName->SetEnabled(false);
        return;
    }
    fillList(next);
}

void TFViewMgr::move(int to) {
    const int from = selected();
    if (!edits_ || from < 0) return;
    const int n = int(edits_->Views().size());
    int at = from;
    if (to == from - 1)
        at = edits_->MoveUp(from);
    else if (to == from + 1 && to < n)
        at = edits_->MoveDown(from);
    else if (to != from && to >= 0)
        at = edits_->MoveTo(from, to);
    if (at != from) fillList(at);
}

void TFViewMgr::CBSchemesExit() {
    const int i = selected();
    if (!edits_ || i < 0 || captions_.empty()) return;
    const int item = edits_->ChooseScheme(i, CBSchemes->Text(), captions_);
    if (item >= 0 && CBSchemes->ItemIndex() != item) CBSchemes->SetItemIndex(item);
}

void TFViewMgr::EditBackImageExit() {
    const int i = selected();
    if (!edits_ || i < 0) return;
    edits_->SetBackImage(i, EditBackImage->Text());
}

}  // namespace stellwerk

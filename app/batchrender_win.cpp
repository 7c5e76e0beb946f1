#include "batchrender_win.h"

#include <windows.h>

#include <algorithm>

#include "common.h"
#include "common_win.h"
#include "forms/application.h"
#include "forms/fileio.h"
#include "forms/inifile.h"
#include "forms/textutil.h"
#include "getname_win.h"
#include "imageconvert_win.h"
#include "msgstrs.h"
#include "textnums.h"
#include "texts_win.h"

namespace stellwerk {

namespace {

constexpr int kWidth = 430, kHeight = 330;

std::string unescapeMenu(const std::string& caption) { return ReplaceAll(caption, "&&", "&"); }

}  // namespace

WinBatchHost::WinBatchHost(TQivPlayer& viewer, SavedViews& views, forms::MenuItem* schemes)
    : viewer_(viewer), views_(views), schemes_(schemes) {}

bool WinBatchHost::Exists(const std::string& f) { return forms::FileExists(f); }

bool WinBatchHost::AskReplace(const std::string& existing) {
    return AskYesNo(GetMsgText(kTxtBatchReplace.number) + "\r" + existing, GetMsgText(kTxtYesNoCaption.number));
}

void WinBatchHost::Prepare(const std::string& folder, int w, int h) {
    SetCurrentDirectoryA(folder.c_str());
    viewer_.SetBounds(viewer_.Left(), viewer_.Top(), w, h);
}

void WinBatchHost::ApplyView(const std::string& view) {
    std::vector<std::string> captions;
    const int n = schemes_ ? schemes_->Count() : 0;
    for (int i = 0; i < n; ++i) captions.push_back(unescapeMenu(schemes_->Items(i)->Caption()));
    views_.ApplyNamedView(viewer_, view, captions, [this, n](int item) {
        if (item >= 0 && item < n) schemes_->Items(item)->Click();
    });
}

std::string WinBatchHost::FreshFile(const std::string& folder) {
    char name[MAX_PATH] = {};
    if (!GetTempFileNameA(folder.c_str(), "qiv", 0, name)) return "";
    // The viewer creates its file new.
    DeleteFileA(name);
    return name;
}

bool WinBatchHost::SaveBitmap(int q, bool rt, int w, int h, const std::string& file) {
    return viewer_.SaveBitmap(q, rt, w, h, file);
}

bool WinBatchHost::Convert(const std::string& from, const std::string& to) {
    return ConvertImageFile(from, to, false, 0, 0, false);
}

void WinBatchHost::Remove(const std::string& file) { DeleteFileA(file.c_str()); }

void WinBatchHost::ProcessMessages() { forms::Application::Instance().ProcessMessages(); }

TFBatchRender::TFBatchRender(forms::Component* owner, SavedViews& views) : Form(owner), views_(views) {
    SetName("FBatchRender");
    SetBorderStyle(forms::BorderStyle::Sizeable);
    SetBorderIcons(forms::biSystemMenu);
    SetPosition(forms::FormPosition::MainFormCenter);
    SetClientSize(kWidth, kHeight);
    SetConstraints(Width(), Height());

    Panel4 = MakeControl<forms::Panel>(this, this, "Panel4", 0, kHeight - 40, kWidth, 40);
    Panel4->SetAlign(forms::Align::Bottom);
    Panel4->SetBevelOuter(forms::Bevel::None);
    Panel1 = MakeControl<forms::Panel>(this, this, "Panel1", 0, 0, 200, kHeight - 40);
    Panel1->SetAlign(forms::Align::Left);
    Panel1->SetBevelOuter(forms::Bevel::None);
    Panel3 = MakeControl<forms::Panel>(this, this, "Panel3", 200, kHeight - 100, kWidth - 200, 60);
    Panel3->SetAlign(forms::Align::Bottom);
    Panel3->SetBevelOuter(forms::Bevel::None);
    Panel2 = MakeControl<forms::Panel>(this, this, "Panel2", 200, 0, kWidth - 200, kHeight - 100);
    Panel2->SetAlign(forms::Align::Client);
    Panel2->SetBevelOuter(forms::Bevel::None);

    LblWd = MakeControl<forms::Label>(this, Panel1, "LblWd", 8, 10, 80, 14);
    EBmpSizeX = MakeControl<forms::Edit>(this, Panel1, "EBmpSizeX", 96, 6, 96, 21);
    LblHt = MakeControl<forms::Label>(this, Panel1, "LblHt", 8, 38, 80, 14);
    EBmpSizeY = MakeControl<forms::Edit>(this, Panel1, "EBmpSizeY", 96, 34, 96, 21);
    RGBmpQuality = MakeControl<forms::RadioGroup>(this, Panel1, "RGBmpQuality", 8, 64, 184, 84);
    for (const char* item : {"Low", "Medium", "High"}) RGBmpQuality->Items().Add(item);
    RGBmpQuality->SetCaption("Quality");
    ChkRayTrace = MakeControl<forms::CheckBox>(this, Panel1, "ChkRayTrace", 8, 156, 184, 17);
    ChkRayTrace->SetCaption("Ray Trace");
    LblOutputFormat = MakeControl<forms::Label>(this, Panel1, "LblOutputFormat", 8, 184, 184, 14);
    ComboFiletype = MakeControl<forms::ComboBox>(this, Panel1, "ComboFiletype", 8, 200, 184, 21);

    ChkLBRender = MakeControl<forms::CheckListBox>(this, Panel2, "ChkLBRender", 4, 6, kWidth - 212, 190);
    ChkLBRender->SetAnchors(forms::akLeft | forms::akTop | forms::akRight | forms::akBottom);
    BtnSelectAll = MakeControl<forms::Button>(this, Panel2, "BtnSelectAll", 4, 200, 100, 25);
    BtnClearAll = MakeControl<forms::Button>(this, Panel2, "BtnClearAll", 110, 200, 100, 25);
    for (forms::Control* c : {static_cast<forms::Control*>(BtnSelectAll), static_cast<forms::Control*>(BtnClearAll)})
        c->SetAnchors(forms::akLeft | forms::akBottom);

    LblBName = MakeControl<forms::Label>(this, Panel3, "LblBName", 4, 4, 200, 14);
    ComboBatchName = MakeControl<forms::ComboBox>(this, Panel3, "ComboBatchName", 4, 20, 110, 21);
    ComboBatchName->SetStyle(forms::ComboStyle::DropDownList);
    BtnAddUpdateBatchName = MakeControl<forms::Button>(this, Panel3, "BtnAddUpdateBatchName", 118, 18, 50, 25);
    BtnAddUpdateBatchName->SetCaption("Add/Update");
    BtnDeleteBatchName = MakeControl<forms::Button>(this, Panel3, "BtnDeleteBatchName", 172, 18, 50, 25);
    BtnDeleteBatchName->SetCaption("Delete");

    BtnOk = MakeControl<forms::Button>(this, Panel4, "BtnOk", kWidth - 170, 8, 75, 25);
    BtnOk->SetDefault(true);
    BtnCancel = MakeControl<forms::Button>(this, Panel4, "BtnCancel", kWidth - 88, 8, 75, 25);
    BtnCancel->SetCancel(true);
    BtnCancel->SetModalResult(forms::mrCancel);
    for (forms::Control* c : {static_cast<forms::Control*>(BtnOk), static_cast<forms::Control*>(BtnCancel)})
        c->SetAnchors(forms::akRight | forms::akTop);

    ApplyBatchRenderTexts(*this);

    ChooseOutputFolder = [](std::string& folder) {
        return ChooseFolder(GetMsgText(kTxtBatchFolderTitle.number), GetMsgText(kTxtBatchFolderCaption.number), folder);
    };

    // The size boxes take digits, backspace and Enter only.
    for (forms::Edit* e : {EBmpSizeX, EBmpSizeY})
        e->OnKeyPress = [](forms::Component*, char& k) {
            if (!(k >= '0' && k <= '9') && k != '\b' && k != '\r') k = 0;
        };
    BtnSelectAll->OnClick = [this](forms::Component*) { checkAll(true); };
    BtnClearAll->OnClick = [this](forms::Component*) { checkAll(false); };
    ComboBatchName->OnChange = [this](forms::Component*) {
        if (!selecting_) ComboBatchNameChange();
    };
    BtnAddUpdateBatchName->OnClick = [this](forms::Component*) { BtnAddUpdateBatchNameClick(); };
    BtnDeleteBatchName->OnClick = [this](forms::Component*) { BtnDeleteBatchNameClick(); };
    BtnOk->OnClick = [this](forms::Component*) {
        confirmed_ = true;
        SetModalResult(forms::mrOk);
    };
    OnShow = [this](forms::Component*) { FormShow(); };
    OnClose = [this](forms::Component*, forms::CloseAction&) {
        forms::Application::Instance().OnMessage = std::move(savedHook_);
    };
    RestoreFormPlacement(*this, kBatchDialogSection, false);
}

TFBatchRender::~TFBatchRender() {
    if (HandleAllocated()) SaveFormPlacement(*this, kBatchDialogSection);
}

void TFBatchRender::FormShow() {
    const bool writable = views_.CanWrite();
    BtnDeleteBatchName->SetEnabled(writable);
    BtnAddUpdateBatchName->SetEnabled(writable);
    auto& app = forms::Application::Instance();
    savedHook_ = std::move(app.OnMessage);
    app.OnMessage = nullptr;
}

void TFBatchRender::checkAll(bool on) {
    for (int i = 0; i < ChkLBRender->Items().Count(); ++i) ChkLBRender->SetChecked(i, on);
}

std::vector<bool> TFBatchRender::checkedViews() const {
    std::vector<bool> out;
    for (int i = 0; i < ChkLBRender->Items().Count(); ++i) out.push_back(ChkLBRender->Checked(i));
    return out;
}

std::vector<std::string> TFBatchRender::listedViews() const {
    std::vector<std::string> out;
    for (int i = 0; i < ChkLBRender->Items().Count(); ++i) out.push_back(ChkLBRender->Items()[i]);
    return out;
}

bool TFBatchRender::ExecuteBatch(TQivPlayer& viewer, forms::MenuItem* schemes, forms::MenuItem* viewsMenu) {
    viewer_ = &viewer;
    schemes_ = schemes;
    confirmed_ = false;
    lastRun_ = BatchResult{};
    BatchSettings s = views_.Batch();

    ComboBatchName->Items().Clear();
    for (const std::string& n : views_.BatchNames(GetMsgText(kTxtBatchNone.number))) ComboBatchName->Items().Add(n);
    selecting_ = true;
    ComboBatchName->SetItemIndex(0);
    selecting_ = false;

    EBmpSizeX->SetText(std::to_string(s.BmpWidth));
    EBmpSizeY->SetText(std::to_string(s.BmpHeight));
    RGBmpQuality->SetItemIndex(s.BmpQuality);
    ChkRayTrace->SetChecked(s.RayTrace);
    ChkLBRender->Items().Clear();
    const int n = viewsMenu ? viewsMenu->Count() : 0;
    for (int i = 0; i < n; ++i) {
        ChkLBRender->Items().Add(unescapeMenu(viewsMenu->Items(i)->Caption()));
        ChkLBRender->SetChecked(i, true);
    }
    if (s.OutputFile < 0 || s.OutputFile >= ComboFiletype->Items().Count()) s.OutputFile = 0;
    ComboFiletype->SetItemIndex(s.OutputFile);

    ShowModal();
    if (!confirmed_) return false;

    s.BmpWidth = BatchSide(EBmpSizeX->Text(), viewer.Width());
    s.BmpHeight = BatchSide(EBmpSizeY->Text(), viewer.Height());
    s.BmpQuality = std::clamp(RGBmpQuality->ItemIndex(), 0, 2);
    s.RayTrace = ChkRayTrace->Checked();
    s.OutputFile = std::max(0, ComboFiletype->ItemIndex());
    views_.SetBatch(s);
    RenderBatch(s);
    return true;
}

void TFBatchRender::RenderBatch(const BatchSettings& s) {
    forms::IniFile ini(GetIniPath());
    std::string folder = ini.ReadString("Paths", "BatchRender", "");
    if (!ChooseOutputFolder || !ChooseOutputFolder(folder)) return;
    if (!folder.empty() && folder.back() != '\\') folder += '\\';
    ini.WriteString("Paths", "BatchRender", folder);
    ini.UpdateFile();

    BatchRequest r;
    r.folder = folder;
    r.targets = BatchTargets(folder, listedViews(), checkedViews(), TypeExtension(*ComboFiletype));
    r.width = s.BmpWidth, r.height = s.BmpHeight, r.quality = s.BmpQuality, r.rayTrace = s.RayTrace;
    WinBatchHost host(*viewer_, views_, schemes_);
    lastRun_ = RunBatch(r, host);
}

void TFBatchRender::ComboBatchNameChange() {
    const int i = ComboBatchName->ItemIndex();
    if (i <= 0) return;
    const std::vector<bool> batch = views_.ReadBatch(ComboBatchName->Items()[i]);
    // The batch reads over the views file's views; the list shows the menu's.
    const std::vector<std::string> names = views_.Names();
    for (int k = 0; k < ChkLBRender->Items().Count(); ++k) {
        bool on = false;
        for (size_t v = 0; v < names.size() && v < batch.size(); ++v)
            if (batch[v] && forms::SameText(names[v], ChkLBRender->Items()[k])) on = true;
        ChkLBRender->SetChecked(k, on);
    }
}

void TFBatchRender::BtnAddUpdateBatchNameClick() {
    const int i = ComboBatchName->ItemIndex();
    std::vector<bool> checked;
    const std::vector<std::string> names = views_.Names(), listed = listedViews();
    const std::vector<bool> marks = checkedViews();
    // In the views file's order, by name.
    for (const std::string& v : names) {
        bool on = false;
        for (size_t k = 0; k < listed.size(); ++k)
            if (marks[k] && forms::SameText(listed[k], v)) on = true;
        checked.push_back(on);
    }
    if (i > 0) {
        views_.WriteBatch(ComboBatchName->Items()[i], checked);
        return;
    }
    NameSource source;
    for (int k = 1; k < ComboBatchName->Items().Count(); ++k) source.names.push_back(ComboBatchName->Items()[k]);
    source.views = names;
    std::string name;
    if (!AskName(kNameBatch, source, name)) return;
    ComboBatchName->Items().Add(name);
    views_.WriteBatch(name, checked);
    selecting_ = true;
    ComboBatchName->SetItemIndex(ComboBatchName->Items().Count() - 1);
    selecting_ = false;
}

void TFBatchRender::BtnDeleteBatchNameClick() {
    const int i = ComboBatchName->ItemIndex();
    if (i <= 0) return;
    views_.DeleteBatch(ComboBatchName->Items()[i]);
    ComboBatchName->Items().Delete(i);
    selecting_ = true;
    ComboBatchName->SetItemIndex(0);
    selecting_ = false;
}

}  // namespace stellwerk

#include "htmldialog_win.h"

#include <commdlg.h>
#include <shellapi.h>

#include "common.h"
#include "common_win.h"
#include "filenames.h"
#include "forms/application.h"
#include "forms/fileio.h"
#include "forms/textutil.h"
#include "imageconvert_win.h"
#include "mainqiv_win.h"
#include "msgstrs.h"
#include "picdlg_win.h"
#include "texts_win.h"
#include "textnums.h"
#include "win/wintext.h"
#include <cstring>

namespace stellwerk {

namespace {


std::string dialogFilter(int text) {
    std::string filter = GetMsgText(text);
    while (!filter.empty() && filter.back() == '|') filter.pop_back();
    for (char& c : filter)
        if (c == '|') c = '\0';
    filter.append(2, '\0');
    return filter;
}

std::vector<std::string> openPictures() {
    TPreviewOpenDialog dialog;
    dialog.Filter = BuildFileFilter({247, 248, 250, 251, 252, 253, 254});
    dialog.Title = GetMsgText(kTxtAddPicturesTitle.number);
    dialog.InitialDir = forms::IniFile(GetIniPath()).ReadString("Paths", "BatchRender", "");
    dialog.Options = OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST | OFN_ENABLESIZING;
    return dialog.Execute() ? dialog.Files : std::vector<std::string>();
}

std::string savePage(const std::string& folder, const std::string& name) {
    const std::string filter = dialogFilter(kTxtPageFilter.number);
    char file[MAX_PATH * 2] = {};
    name.copy(file, sizeof file - 1);
    const std::string title = GetMsgText(kTxtPublishTitle.number), ext = GetMsgText(kTxtPageExtension.number);
    OPENFILENAMEA of = {};
    of.lStructSize = sizeof of;
    of.hwndOwner = GetActiveWindow();
    of.lpstrFilter = filter.c_str();
    of.lpstrFile = file;
    of.nMaxFile = sizeof file;
    of.lpstrInitialDir = folder.c_str();
    of.lpstrTitle = title.c_str();
    of.lpstrDefExt = ext.c_str();
    of.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_ENABLESIZING | OFN_HIDEREADONLY;
    return GetSaveFileNameA(&of) ? std::string(file) : std::string();
}

std::string classIdText() {
    wchar_t text[64] = {};
    StringFromGUID2(CLSID_QivPlayer, text, 64);
    std::string s = win::Ansi(text);
    if (s.size() > 2 && s.front() == '{') s = s.substr(1, s.size() - 2);
    return s;
}

}  // namespace

// The host ----------------------------------------------------------------------

bool WinPublishHost::CreateFolder(const std::string& folder) {
    std::string path = folder;
    while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    if (path.empty()) return false;
    const DWORD a = GetFileAttributesA(path.c_str());
    if (a != INVALID_FILE_ATTRIBUTES) return (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const std::string parent = FolderOf(path);
    if (parent.size() > 3 && !CreateFolder(parent)) return false;
    return CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

std::optional<FileStamp> WinPublishHost::Stamp(const std::string& file) {
    WIN32_FILE_ATTRIBUTE_DATA d = {};
    if (!GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &d) || (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::nullopt;
    FileStamp s;
    s.size = uint64_t(d.nFileSizeHigh) << 32 | d.nFileSizeLow;
    s.modified = int64_t(uint64_t(d.ftLastWriteTime.dwHighDateTime) << 32 | d.ftLastWriteTime.dwLowDateTime);
    return s;
}

bool WinPublishHost::CopyFile(const std::string& from, const std::string& to) {
    return ::CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
}

bool WinPublishHost::SaveTile(const std::string& file) { return f_.MultiImageTile->Picture().SaveToFile(file); }

bool WinPublishHost::ConvertPicture(const std::string& from, const std::string& to, const PictureSize& size) {
    if (Convert) return Convert(from, to, size);
    return ConvertImageFile(from, to, false, size.resize ? size.width : 0, size.resize ? size.height : 0,
                            size.keepAspect);
}

MaterialSet WinPublishHost::LoadScheme(const std::string& file) {
    MainSession& s = f_.Session();
    if (file.empty()) return s.Editor().Own();
    const TextureLookup lookup{GetProgramFolder(), GlobalIni().AlternateTexturePath, FolderOf(s.Path()),
                               [](const std::string& f) { return forms::FileExists(f); }};
    MaterialSet read;
    ReadScheme(forms::ReadWholeFile(file).value_or(""), s.Editor().Own(), lookup, read);
    return read;
}

// The form ------------------------------------------------------------------------

TFSlideShow::TFSlideShow(forms::Component* owner, TFMainqiv& main) : Form(owner), f_(main), host_(main) {
    SetName("FSlideShow");
    SetBorderStyle(forms::BorderStyle::Dialog);
    SetPosition(forms::FormPosition::ScreenCenter);
    SetClientSize(560, 400);

    RGPublish = MakeControl<forms::RadioGroup>(this, this, "RGPublish", 8, 4, 544, 44);
    RGPublish->SetColumns(3);
    for (const char* item : {"Views/Schemes", "Images", "Both"}) RGPublish->Items().Add(item);
    PanelViewSchemes = MakeControl<forms::Panel>(this, this, "PanelViewSchemes", 8, 54, 268, 300);
    PanelViewSchemes->SetCaption("");
    ChkLBView = MakeControl<forms::CheckListBox>(this, PanelViewSchemes, "ChkLBView", 4, 20, 128, 220);
    LblScheme = MakeControl<forms::Label>(this, PanelViewSchemes, "LblScheme", 136, 4, 128, 14);
    ChkLBSchemes = MakeControl<forms::CheckListBox>(this, PanelViewSchemes, "ChkLBSchemes", 136, 20, 128, 220);
    LblScheme->SetLeft(ChkLBSchemes->Left());
    EqivWd = MakeControl<forms::Edit>(this, PanelViewSchemes, "EqivWd", 4, 250, 60, 21);
    EqivHt = MakeControl<forms::Edit>(this, PanelViewSchemes, "EqivHt", 72, 250, 60, 21);

    PanelImage = MakeControl<forms::Panel>(this, this, "PanelImage", 284, 54, 268, 300);
    PanelImage->SetCaption("");
    VLEditor = MakeControl<forms::ValueListEditor>(this, PanelImage, "VLEditor", 4, 4, 230, 130);
    CSBImageAdd = MakeControl<TColorSpeedButton>(this, PanelImage, "CSBImageAdd", 238, 4, 26, 23);
    CSBImageUp = MakeControl<TColorSpeedButton>(this, PanelImage, "CSBImageUp", 238, 30, 26, 23);
    CSBImageDown = MakeControl<TColorSpeedButton>(this, PanelImage, "CSBImageDown", 238, 56, 26, 23);
    CSBImageRemove = MakeControl<TColorSpeedButton>(this, PanelImage, "CSBImageRemove", 238, 82, 26, 23);
    const char* const captions[] = {"+", "^", "v", "-"};
    int k = 0;
    for (TColorSpeedButton* b : {CSBImageAdd, CSBImageUp, CSBImageDown, CSBImageRemove}) {
        b->SetCaption(captions[k++]);
        b->SetColorStyle(TLbColorStyle::lcsUltraFlat1);
    }
    SpinDelay = MakeControl<forms::SpinEdit>(this, PanelImage, "SpinDelay", 4, 140, 60, 21);
    SpinDelay->SetRange(1, 3600);
    SpinDelay->SetValue(3);
    ComboFiletype = MakeControl<forms::ComboBox>(this, PanelImage, "ComboFiletype", 72, 140, 120, 21);
    FillTypeCombo(*ComboFiletype, true);
    ChkResizeAll = MakeControl<forms::CheckBox>(this, PanelImage, "ChkResizeAll", 4, 168, 200, 17);
    ChkResizeAll->SetCaption("Resize All");
    GrpImageResize = MakeControl<forms::GroupBox>(this, PanelImage, "GrpImageResize", 4, 188, 260, 104);
    RBSameWidth = MakeControl<forms::RadioButton>(this, GrpImageResize, "RBSameWidth", 8, 18, 150, 17);
    RBSameWidth->SetCaption("Proportional Width");
    RBSameHeight = MakeControl<forms::RadioButton>(this, GrpImageResize, "RBSameHeight", 8, 38, 150, 17);
    RBSameHeight->SetCaption("Proportional Height");
    RBWidthHeight = MakeControl<forms::RadioButton>(this, GrpImageResize, "RBWidthHeight", 8, 58, 150, 17);
    RBWidthHeight->SetCaption("Fixed Width/Height");
    EImgWd = MakeControl<forms::Edit>(this, GrpImageResize, "EImgWd", 8, 78, 60, 21);
    EImgHt = MakeControl<forms::Edit>(this, GrpImageResize, "EImgHt", 76, 78, 60, 21);

    BtnGenerateHTML = MakeControl<forms::Button>(this, this, "BtnGenerateHTML", 396, 366, 75, 25);
    BtnGenerateHTML->SetCaption("Publish");
    BtnClose = MakeControl<forms::Button>(this, this, "BtnClose", 477, 366, 75, 25);
    BtnClose->SetCaption("Cancel");
    BtnClose->SetCancel(true);
    BtnClose->SetModalResult(forms::mrCancel);

    ChoosePictures = openPictures;
    ChoosePage = savePage;
    OpenPage = [](const std::string& page) {
        ShellExecuteA(nullptr, "open", page.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    };

    RGPublish->OnClick = [this](forms::Component*) { RGPublishClick(); };
    ChkResizeAll->OnClick = [this](forms::Component*) { ChkResizeAllClick(); };
    for (forms::RadioButton* r : {RBSameWidth, RBSameHeight, RBWidthHeight})
        r->OnClick = [this](forms::Component*) { RBResizeWidthHeightClick(); };
    CSBImageAdd->OnClick = [this](forms::Component*) { CSBImageAddClick(); };
    CSBImageRemove->OnClick = [this](forms::Component*) { CSBImageRemoveClick(); };
    CSBImageUp->OnClick = [this](forms::Component*) { CSBImageMoveClick(-1); };
    CSBImageDown->OnClick = [this](forms::Component*) { CSBImageMoveClick(1); };
    BtnGenerateHTML->OnClick = [this](forms::Component*) {
        const std::string object = f_.Session().Path();
        const std::string page = ChoosePage ? ChoosePage(FolderOf(object), BaseNameOf(object))
                                            : std::string();
        if (!page.empty()) PublishPage(page);
    };
    OnShow = [this](forms::Component*) {
        savedHook_ = std::move(forms::Application::Instance().OnMessage);
        forms::Application::Instance().OnMessage = nullptr;
    };
    OnClose = [this](forms::Component*, forms::CloseAction&) {
        forms::Application::Instance().OnMessage = std::move(savedHook_);
    };

    // The main form's views and schemes, all checked.
    for (int i = 0; i < f_.mAvailViews->Count(); ++i) {
        ChkLBView->Items().Add(f_.mAvailViews->Items(i)->Caption());
        ChkLBView->SetChecked(i, true);
    }
    for (int i = 0; i < f_.mSchemes->Count(); ++i) {
        ChkLBSchemes->Items().Add(f_.mSchemes->Items(i)->Caption());
        ChkLBSchemes->SetChecked(i, true);
    }
    EImgWd->SetText("640");
    EImgHt->SetText("480");
    EqivWd->SetText("640");
    EqivHt->SetText("480");
    ChkResizeAllClick();
    RBSameWidth->SetChecked(true);
    RGPublish->SetItemIndex(2);
    ComboFiletype->SetItemIndex(1);
    RGPublishClick();
}

void TFSlideShow::RGPublishClick() {
    const int i = RGPublish->ItemIndex();
    SetEnabledDeep(i == 0 || i == 2, PanelViewSchemes);
    const bool images = i == 1 || i == 2;
    SetEnabledDeep(images, PanelImage);
    if (images) ChkResizeAllClick();
}

void TFSlideShow::ChkResizeAllClick() {
    SetEnabledDeep(ChkResizeAll->Checked() && PanelImage->Enabled(), GrpImageResize);
    if (ChkResizeAll->Checked()) RBResizeWidthHeightClick();
}

void TFSlideShow::RBResizeWidthHeightClick() {
    if (!GrpImageResize->Enabled()) return;
    EImgWd->SetEnabled(RBSameWidth->Checked() || RBWidthHeight->Checked());
    EImgHt->SetEnabled(RBSameHeight->Checked() || RBWidthHeight->Checked());
}

void TFSlideShow::CSBImageAddClick() {
    const std::vector<std::string> files = ChoosePictures ? ChoosePictures() : std::vector<std::string>();
    std::vector<SlidePicture> rows;
    for (int r = 1; r <= VLEditor->RowCountData(); ++r)
        rows.push_back({VLEditor->Keys(r), VLEditor->Values(VLEditor->Keys(r))});
    const size_t before = rows.size();
    AddSlidePictures(rows, files);
    for (size_t i = before; i < rows.size(); ++i) VLEditor->InsertRow(rows[i].file, rows[i].caption, true);
}

void TFSlideShow::CSBImageRemoveClick() {
    if (VLEditor->RowCountData() > 0 && VLEditor->Row() > 0) VLEditor->DeleteRow(VLEditor->Row());
}

void TFSlideShow::CSBImageMoveClick(int by) {
    const int from = VLEditor->Row(), to = from + by, n = VLEditor->RowCountData();
    if (from < 1 || from > n || to < 1 || to > n) return;
    VLEditor->Strings().Exchange(from - 1, to - 1);
    VLEditor->SetCell(VLEditor->Col(), to);
    VLEditor->Invalidate();
}

PublishOptions TFSlideShow::Options() const {
    PublishOptions o;
    o.objectPath = f_.Session().Path();
    o.publish = RGPublish->ItemIndex();
    for (int i = 0; i < ChkLBSchemes->Items().Count(); ++i)
        if (ChkLBSchemes->Checked(i)) o.schemes.push_back(ChkLBSchemes->Items()[i]);
    const auto& views = f_.Session().Views().Views();
    for (int i = 0; i < ChkLBView->Items().Count(); ++i)
        if (ChkLBView->Checked(i) && size_t(i) < views.size()) o.views.push_back(views[size_t(i)]);
    for (const SchemeItem& s : f_.Session().Schemes()) o.schemeMenu.push_back({s.name, s.path});
    o.viewerWidth = SizeBoxValue(EqivWd->Text(), 640);
    o.viewerHeight = SizeBoxValue(EqivHt->Text(), 480);
    o.hideControls = f_.qivobj->HideControls();
    o.classId = classIdText();
    o.slideDelay = SpinDelay->Value();
    for (int r = 1; r <= VLEditor->RowCountData(); ++r)
        o.slides.push_back({VLEditor->Keys(r), VLEditor->Values(VLEditor->Keys(r))});
    static const char* const exts[] = {".bmp", ".jpg", ".png"};
    const int type = ComboFiletype->ItemIndex();
    o.pictureExt = exts[type >= 0 && type < 3 ? type : 1];
    const int mode = RBSameHeight->Checked() ? 1 : RBWidthHeight->Checked() ? 2 : 0;
    o.pictureSize = SlidePictureSize(ChkResizeAll->Checked(), mode, EImgWd->Text(), EImgHt->Text());
    return o;
}

PublishStatus TFSlideShow::PublishPage(const std::string& pagePath) {
    const PublishResult r = stellwerk::PublishPage(pagePath, Options(), host_);
    if (r.status == PublishStatus::NothingToPublish)
        ShowProgramMessage(GetMsgText(kTxtNothingToPublish.number), MB_OK | MB_ICONINFORMATION);
    else if (r.status == PublishStatus::WriteFailed)
        ShowProgramMessage(pagePath, MB_OK | MB_ICONEXCLAMATION);
    else if (r.status == PublishStatus::Written && OpenPage)
        OpenPage(pagePath);
    return r.status;
}

}  // namespace stellwerk

#include "dialogs_win.h"
#include "win/wintext.h"

#include <commdlg.h>
#include <lzexpand.h>

#include <algorithm>
#include <vector>

#include "com/object.h"
#include "ctlmodule_win.h"
#include "document_win.h"
#include "dialogvalues.h"
#include "linkwin_win.h"
#include "qivctl_win.h"
#include "resources/dialogids.h"
#include "useropts_win.h"

namespace {

// The second link of the Info dialog: the maker and its web site.
const char kMakerName[] = "Tarnwick";
const char kMakerSite[] = "http://www.tarnwick.example/";
// Text read from the path fields, at most.
constexpr int kPathFieldMax = 1023;

IQivPlayer* playerOf(CQivPlayerCtl* control) { return static_cast<IQivPlayer*>(control); }

std::string itemText(HWND dialog, int id, int maxChars) {
    std::vector<char> buf(size_t(maxChars) + 1, '\0');
    const int n = GetDlgItemTextA(dialog, id, buf.data(), maxChars + 1);
    return std::string(buf.data(), size_t(std::max(n, 0)));
}

std::string bstrProperty(HRESULT (STDMETHODCALLTYPE IQivPlayer::*get)(BSTR*), IQivPlayer* p) {
    qcom::Bstr b;
    if (FAILED((p->*get)(b.put()))) return std::string();
    return BstrToAnsi(b.get());
}

void putBstr(HRESULT (STDMETHODCALLTYPE IQivPlayer::*put)(BSTR), IQivPlayer* p, const std::string& text) {
    qcom::Bstr b = qcom::Bstr::attach(AnsiToBstr(text.c_str(), int(text.size())));
    if (b.get()) (p->*put)(b.get());
}

// Modal dialog over a resource of the control: WM_INITDIALOG fills it, IDOK
// applies and ends it with IDOK, IDCANCEL ends it with IDCANCEL.
class ModalDialog {
public:
    virtual ~ModalDialog() = default;
    INT_PTR run(HWND owner, UINT id) {
        return DialogBoxParamA(qivModuleInstance(), MAKEINTRESOURCEA(id), owner, proc, reinterpret_cast<LPARAM>(this));
    }

protected:
    virtual void onInit() {}
    virtual void onOk() {}
    virtual void onCommand(UINT id, UINT code) {}
    virtual bool onOther(UINT msg, WPARAM wp, LPARAM lp) { return false; }
    HWND hwnd_ = nullptr;
    bool whiteBackground_ = false;

private:
    static INT_PTR CALLBACK proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == WM_INITDIALOG) SetWindowLongPtrA(w, DWLP_USER, lp);
        auto* self = reinterpret_cast<ModalDialog*>(GetWindowLongPtrA(w, DWLP_USER));
        if (!self) return FALSE;
        try {
            return self->message(w, msg, wp, lp);
        } catch (...) {
            return FALSE;
        }
    }
    INT_PTR message(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
        switch (msg) {
            case WM_INITDIALOG:
                hwnd_ = w;
                onInit();
                return TRUE;
            case WM_COMMAND:
                if (LOWORD(wp) == IDOK) {
                    onOk();
                    EndDialog(w, IDOK);
                } else if (LOWORD(wp) == IDCANCEL) {
                    EndDialog(w, IDCANCEL);
                } else {
                    onCommand(LOWORD(wp), HIWORD(wp));
                }
                return TRUE;
            case WM_CTLCOLORDLG:
            case WM_CTLCOLORSTATIC:
                if (!whiteBackground_) return FALSE;
                return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
            default:
                return onOther(msg, wp, lp) ? TRUE : FALSE;
        }
    }
};

// ---- Info ----

class InfoDialog : public ModalDialog {
public:
    explicit InfoDialog(CQivPlayerCtl* control) : control_(control) { whiteBackground_ = true; }

private:
    void onInit() override {
        const std::string address = qivLoadString(IDS_MAKER_URL);
        place(links_[0], IDC_INFO_LINK, address.c_str(), address.c_str());
        place(links_[1], IDC_INFO_MAKER, kMakerName, kMakerSite);
    }
    void place(CHyperLink& link, int placeholder, const char* caption, const char* address) {
        RECT r{};
        if (HWND p = GetDlgItem(hwnd_, placeholder)) {
            GetWindowRect(p, &r);
            MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&r), 2);
        }
        if (!link.Create(hwnd_, r)) return;
        SetWindowLongPtrA(link.hwnd(), GWLP_ID, placeholder + 1000);
        link.SetLink(caption, address, control_);
        link.SetNormalColor(qivctl::kLinkDialogColor);
        link.SetHoverColor(qivctl::kLinkDialogHoverColor);
    }
    bool onOther(UINT msg, WPARAM, LPARAM) override {
        if (msg != kQivLinkClickedMessage) return false;
        EndDialog(hwnd_, IDCANCEL);
        return true;
    }

    CQivPlayerCtl* control_;
    CHyperLink links_[2];
};

// ---- Background ----

COLORREF g_customColors[16] = {};

class BackgroundDialog : public ModalDialog {
public:
    explicit BackgroundDialog(CQivPlayerCtl* control) : player_(playerOf(control)), model_(read(player_)) {}

private:
    static qivctl::BackgroundValues read(IQivPlayer* p) {
        qivctl::BackgroundValues v;
        OLE_COLOR color = 0;
        if (SUCCEEDED(p->get_BackColor(&color))) v.color = color;
        v.pictureUrl = bstrProperty(&IQivPlayer::get_BackPictureURL, p);
        qivBackStyle style = qivBackStyleOpaque;
        if (SUCCEEDED(p->get_BackStyle(&style))) v.backStyle = style;
        qivBackPicModes mode = qivBackPicModeConstant;
        if (SUCCEEDED(p->get_BackPicMode(&mode))) v.picMode = mode;
        LONG x = 0, y = 0;
        if (SUCCEEDED(p->get_BackPicOffsetX(&x))) v.offsetX = x;
        if (SUCCEEDED(p->get_BackPicOffsetY(&y))) v.offsetY = y;
        return v;
    }
    void choose(qivctl::BackgroundChoice c) {
        CheckRadioButton(hwnd_, IDC_BG_TRANSPARENT, IDC_BG_TILED, int(c));
        enableOffsets(c);
    }
    void enableOffsets(qivctl::BackgroundChoice c) {
        const BOOL on = qivctl::BackgroundDialogModel::offsetsEnabled(c);
        for (int id = IDC_OFFSET_X; id <= IDC_OFFSET_Y_LABEL; ++id) EnableWindow(GetDlgItem(hwnd_, id), on);
    }
    void enablePictures() {
        const BOOL on = model_.hasPicture();
        EnableWindow(GetDlgItem(hwnd_, IDC_BG_PICTURE), on);
        EnableWindow(GetDlgItem(hwnd_, IDC_BG_TILED), on);
    }
    qivctl::BackgroundChoice checked() const {
        for (int id = IDC_BG_TRANSPARENT; id <= IDC_BG_TILED; ++id)
            if (IsDlgButtonChecked(hwnd_, id) == BST_CHECKED) return qivctl::BackgroundChoice(id);
        return qivctl::BackgroundChoice::Monochrome;
    }
    void onInit() override {
        enablePictures();
        choose(model_.initialChoice());
        SetDlgItemInt(hwnd_, IDC_OFFSET_X, UINT(model_.control().offsetX), TRUE);
        SetDlgItemInt(hwnd_, IDC_OFFSET_Y, UINT(model_.control().offsetY), TRUE);
    }
    void onCommand(UINT id, UINT code) override {
        if (id >= IDC_BG_TRANSPARENT && id <= IDC_BG_TILED) {
            if (code == BN_CLICKED) enableOffsets(checked());
        } else if (id == IDC_SELECT_COLOR && code == BN_CLICKED) {
            chooseColor();
        } else if (id == IDC_LOAD_IMAGE && code == BN_CLICKED) {
            loadImage();
        }
    }
    void chooseColor() {
        CHOOSECOLORA cc{};
        cc.lStructSize = sizeof cc;
        cc.hwndOwner = hwnd_;
        cc.rgbResult = model_.color();
        cc.lpCustColors = g_customColors;
        cc.Flags = CC_RGBINIT;
        if (ChooseColorA(&cc)) choose(model_.colorChosen(cc.rgbResult));
    }
    void loadImage() {
        char file[MAX_PATH] = {};
        const std::string title = qivLoadString(IDS_LOAD_BACKGROUND);
        const std::string filter = qivctl::fileDialogFilter(qivLoadString(IDS_FILTER_IMAGES));
        OPENFILENAMEA ofn{};
        ofn.lStructSize = sizeof ofn;
        ofn.hwndOwner = hwnd_;
        ofn.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
        ofn.lpstrFile = file;
        ofn.nMaxFile = sizeof file;
        ofn.lpstrTitle = title.c_str();
        ofn.Flags = OFN_FILEMUSTEXIST;
        if (!GetOpenFileNameA(&ofn)) return;
        model_.pictureChosen(file);
        enablePictures();
        choose(qivctl::BackgroundChoice::Picture);
    }
    void onOk() override {
        const qivctl::BackgroundWrites w =
            model_.apply(checked(), itemText(hwnd_, IDC_OFFSET_X, 32), itemText(hwnd_, IDC_OFFSET_Y, 32));
        player_->put_BackColor(w.color);
        player_->put_BackStyle(qivBackStyle(w.backStyle));
        if (w.writeUrl) putBstr(&IQivPlayer::put_BackPictureURL, player_, w.url);
        player_->put_BackPicMode(qivBackPicModes(w.picMode));
        player_->put_BackPicOffsetX(w.offsetX);
        player_->put_BackPicOffsetY(w.offsetY);
    }

    IQivPlayer* player_;
    qivctl::BackgroundDialogModel model_;
};

// ---- General settings ----

class SettingsDialog : public ModalDialog {
public:
    explicit SettingsDialog(CQivPlayerCtl* control) : player_(playerOf(control)) {}

private:
    void showTexturePath() {
        SetDlgItemTextA(hwnd_, IDC_TEXTURE_PATH, bstrProperty(&IQivPlayer::get_TexturePath, player_).c_str());
    }
    void onInit() override {
        showTexturePath();
        CheckDlgButton(hwnd_, IDC_SAVE_WITH_DOCUMENT, GetSaveFilesWithDocument() ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(hwnd_, IDC_AUTO_SAVE, GetAutoSave() ? BST_CHECKED : BST_UNCHECKED);
        SetDlgItemTextA(hwnd_, IDC_SECOND_PATH, GetObjectPath());
    }
    void onCommand(UINT id, UINT code) override {
        if (code != BN_CLICKED) return;
        if (id == IDC_SELECT_COLOR) {
            player_->BrowseForTexturePath();
            showTexturePath();
        } else if (id == IDC_BROWSE_OBJECT_PATH) {
            char path[kPathFieldMax + 1] = {};
            GetDlgItemTextA(hwnd_, IDC_SECOND_PATH, path, sizeof path);
            BrowseForFolder(hwnd_, qivLoadString(IDS_SELECT_OBJECT_PATH).c_str(), path, sizeof path);
            // A cancelled chooser leaves the field as it was.
            if (path[0]) SetDlgItemTextA(hwnd_, IDC_SECOND_PATH, path);
        }
    }
    void onOk() override {
        const std::string objects = itemText(hwnd_, IDC_SECOND_PATH, kPathFieldMax);
        const std::string textures = itemText(hwnd_, IDC_TEXTURE_PATH, kPathFieldMax);
        SetObjectPath(objects.c_str());
        SetTexturePath(textures.c_str());
        putBstr(&IQivPlayer::put_TexturePath, player_, textures);
        SetSaveFilesWithDocument(IsDlgButtonChecked(hwnd_, IDC_SAVE_WITH_DOCUMENT) == BST_CHECKED);
        SetAutoSave(IsDlgButtonChecked(hwnd_, IDC_AUTO_SAVE) == BST_CHECKED);
    }

    IQivPlayer* player_;
};

// ---- Text entry ----

class TextEntryDialog : public ModalDialog {
public:
    explicit TextEntryDialog(std::string& text) : text_(text) { whiteBackground_ = true; }

private:
    void onInit() override { SetDlgItemTextA(hwnd_, IDC_TEXT_ENTRY, text_.c_str()); }
    void onOk() override {
        HWND edit = GetDlgItem(hwnd_, IDC_TEXT_ENTRY);
        text_ = itemText(hwnd_, IDC_TEXT_ENTRY, edit ? GetWindowTextLengthA(edit) : 0);
    }
    std::string& text_;
};

}  // namespace

INT_PTR ShowInfoDialog(CQivPlayerCtl* control) {
    if (!control) return -1;
    InfoDialog dialog(control);
    EnableFrameModeless(control, false);
    const INT_PTR r = dialog.run(control->hwnd(), IDD_INFO);
    EnableFrameModeless(control, true);
    return r;
}

INT_PTR ShowBackgroundDialog(CQivPlayerCtl* control) {
    if (!control) return -1;
    CQivPlayerCtl::UserChoice choice(*control);  // the picture is the user's
    BackgroundDialog dialog(control);
    return dialog.run(control->hwnd(), IDD_BACKGROUND);
}

INT_PTR ShowSettingsDialog(CQivPlayerCtl* control) {
    if (!control) return -1;
    CQivPlayerCtl::UserChoice choice(*control);  // the user's own folders
    SettingsDialog dialog(control);
    return dialog.run(control->hwnd(), IDD_SETTINGS);
}

INT_PTR ShowTextEntryDialog(HWND owner, std::string& text) {
    TextEntryDialog dialog(text);
    return dialog.run(owner, IDD_HTML_URL);
}

bool ShowLoadObjectDialog(CQivPlayerCtl* control) {
    if (!control) return false;
    QivControlState& state = control->state();
    char file[MAX_PATH] = {};
    const std::string title = qivLoadString(IDS_LOAD_OBJECT);
    const std::string filter = qivctl::fileDialogFilter(qivLoadString(IDS_FILTER_OBJECTS));
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = control->hwnd();
    ofn.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file;
    ofn.lpstrInitialDir = state.objectPath[0] ? state.objectPath : nullptr;
    ofn.lpstrTitle = title.c_str();
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    if (!qivRunOpenFileDialog(&ofn)) return false;
    lstrcpynA(state.objectPath, qivctl::folderOfFile(file).c_str(), sizeof state.objectPath);
    IQivPlayer* p = playerOf(control);
    qcom::Bstr name = qcom::Bstr::attach(AnsiToBstr(file, -1));
    VARIANT_BOOL loaded = VARIANT_FALSE;
    CQivPlayerCtl::UserChoice choice(*control);
    if (!name.get() || FAILED(p->LoadObject(name.get(), &loaded))) return false;
    p->ShowAll();
    return loaded == VARIANT_TRUE;
}

void EnableFrameModeless(CQivPlayerCtl* control, bool enable) {
    IOleInPlaceSite* site = control ? control->inPlaceSite() : nullptr;
    if (!site) return;
    IOleInPlaceFrame* frame = nullptr;
    IOleInPlaceUIWindow* doc = nullptr;
    RECT pos{}, clip{};
    OLEINPLACEFRAMEINFO info{};
    info.cb = sizeof info;
    if (SUCCEEDED(site->GetWindowContext(&frame, &doc, &pos, &clip, &info)) && frame)
        frame->EnableModeless(enable ? TRUE : FALSE);
    if (frame) frame->Release();
    if (doc) doc->Release();
}

BSTR AnsiToBstr(const char* text, int length) {
    if (!text) return SysAllocStringLen(L"", 0);
    return win::AllocBstr(length < 0 ? std::string_view(text) : std::string_view(text, size_t(length)));
}

std::string BstrToAnsi(BSTR text) { return win::AnsiOfBstr(text); }

int LzCopyFile(const char* source, const char* destination) {
    if (!source || !destination) return 0;
    OFSTRUCT a{}, b{};
    const INT src = LZOpenFileA(const_cast<char*>(source), &a, OF_READ);
    if (src < 0) return 0;
    const INT dst = LZOpenFileA(const_cast<char*>(destination), &b, OF_CREATE);
    if (dst < 0) {
        LZClose(src);
        return 0;
    }
    const LONG copied = LZCopy(src, dst);
    LZClose(src);
    LZClose(dst);
    if (copied < 0) {
        DeleteFileA(destination);
        return 0;
    }
    return 1;
}

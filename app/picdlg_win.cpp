#include "picdlg_win.h"

#include <commctrl.h>
#include <commdlg.h>

#include <cstring>

#include "common.h"
#include "forms/application.h"
#include "globalini.h"
#include "imageconvert.h"
#include "imageconvert_win.h"
#include "msgstrs.h"
#include "textnums.h"
#include "texts_win.h"
#include "thumbcache.h"

namespace stellwerk {

namespace {

// The explorer dialog's file list.
constexpr int kFileListId = 1120;
constexpr int kWiden = 160, kPanelGap = 5, kPanelHeight = 170;
constexpr char kTemplateName[] = "DLGTEMPLATE";

TPreviewOpenDialog* g_showing = nullptr;
int g_reads = 0;

ThumbnailCache<std::shared_ptr<forms::Bitmap>>& cache() {
    static ThumbnailCache<std::shared_ptr<forms::Bitmap>> c;
    return c;
}

std::optional<ThumbKey> keyOf(const std::string& file) {
    WIN32_FILE_ATTRIBUTE_DATA d = {};
    if (!GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &d) || (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::nullopt;
    return ThumbKey{file, uint64_t(d.nFileSizeHigh) << 32 | d.nFileSizeLow,
                    int64_t(uint64_t(d.ftLastWriteTime.dwHighDateTime) << 32 | d.ftLastWriteTime.dwLowDateTime)};
}

// A bitmap of the packed DIB in the handle (null when it is not one).
std::shared_ptr<forms::Bitmap> bitmapOf(HGLOBAL dib) {
    auto* h = static_cast<BITMAPINFOHEADER*>(GlobalLock(dib));
    if (!h) return nullptr;
    std::shared_ptr<forms::Bitmap> out;
    const size_t block = GlobalSize(dib);
    const unsigned bits = h->biBitCount;
    const size_t colours = h->biClrUsed ? h->biClrUsed : bits <= 8 ? size_t(1) << bits : 0;
    const size_t masks = h->biCompression == BI_BITFIELDS ? 12 : 0;
    const size_t offset = size_t(h->biSize) + masks + 4 * colours;
    const size_t stride = (size_t(h->biWidth) * bits + 31) / 32 * 4;
    const size_t rows = size_t(h->biHeight < 0 ? -int64_t(h->biHeight) : h->biHeight);
    if (h->biSize >= sizeof(BITMAPINFOHEADER) && h->biWidth > 0 && rows > 0 && offset + stride * rows <= block) {
        HDC screen = GetDC(nullptr);
        HBITMAP bm = CreateDIBitmap(screen, h, CBM_INIT, reinterpret_cast<const BYTE*>(h) + offset,
                                    reinterpret_cast<const BITMAPINFO*>(h), DIB_RGB_COLORS);
        ReleaseDC(nullptr, screen);
        if (bm) {
            out = std::make_shared<forms::Bitmap>();
            if (!out->Assign(bm)) out.reset();
            DeleteObject(bm);
        }
    }
    GlobalUnlock(dib);
    return out;
}

std::string nulSeparated(const std::string& filter) {
    std::string f = filter;
    while (!f.empty() && f.back() == '|') f.pop_back();
    for (char& c : f)
        if (c == '|') c = '\0';
    return f.append(2, '\0');
}

}  // namespace

TPreviewOpenDialog::TPreviewOpenDialog() = default;

TPreviewOpenDialog::~TPreviewOpenDialog() {
    if (g_showing == this) g_showing = nullptr;
}

TPreviewOpenDialog* TPreviewOpenDialog::Showing() { return g_showing; }
int TPreviewOpenDialog::ThumbnailReads() { return g_reads; }
void TPreviewOpenDialog::ClearThumbnails() { cache().Clear(); }

bool TPreviewOpenDialog::Execute() {
    const std::string filter = nulSeparated(Filter);
    std::vector<char> buffer((Options & OFN_ALLOWMULTISELECT) ? 32768 : MAX_PATH * 2, '\0');
    FileName.copy(buffer.data(), buffer.size() - 1);
    OPENFILENAMEA of = {};
    of.lStructSize = sizeof of;
    of.hwndOwner = GetActiveWindow();
    of.hInstance = GetModuleHandleA(nullptr);
    of.lpstrFilter = filter.c_str();
    of.lpstrFile = buffer.data();
    of.nMaxFile = DWORD(buffer.size());
    of.lpstrInitialDir = InitialDir.empty() ? nullptr : InitialDir.c_str();
    of.lpstrTitle = Title.empty() ? nullptr : Title.c_str();
    of.Flags = Options | OFN_EXPLORER | OFN_ENABLEHOOK;
    if (FindResourceA(of.hInstance, kTemplateName, MAKEINTRESOURCEA(5) /* RT_DIALOG */)) {
        of.Flags |= OFN_ENABLETEMPLATE;
        of.lpTemplateName = kTemplateName;
    }
    of.lpfnHook = hookProc;
    of.lCustData = LPARAM(this);
    closed_ = false;
    TPreviewOpenDialog* outer = g_showing;
    g_showing = this;
    const bool ok = GetOpenFileNameA(&of) != 0;
    g_showing = outer;
    if (!closed_) DoClose();
    dialog_ = nullptr;
    host_.reset();
    Host = nullptr, FPicturePanel = FPaintPanel = nullptr, ChkPreview = nullptr, FPaintBox = nullptr;
    FProgressBar = nullptr, BtnCancelLoadDIB = nullptr, FQiv = nullptr;
    Files.clear();
    if (!ok) return false;
    // One file, or with several the folder followed by the names.
    const std::string first = buffer.data();
    const char* p = buffer.data() + first.size() + 1;
    if (!(Options & OFN_ALLOWMULTISELECT) || !*p) {
        FileName = first;
        Files = {first};
        return true;
    }
    const std::string folder = !first.empty() && first.back() == '\\' ? first : first + "\\";
    for (; *p; p += std::strlen(p) + 1) Files.push_back(folder + p);
    FileName = Files.front();
    return true;
}

UINT_PTR CALLBACK TPreviewOpenDialog::hookProc(HWND h, UINT msg, WPARAM, LPARAM lp) {
    try {
        if (msg == WM_INITDIALOG) {
            auto* of = reinterpret_cast<OPENFILENAMEA*>(lp);
            auto* self = reinterpret_cast<TPreviewOpenDialog*>(of->lCustData);
            SetWindowLongPtrA(h, GWLP_USERDATA, LONG_PTR(self));
            self->dialog_ = GetParent(h);
            return 0;
        }
        auto* self = reinterpret_cast<TPreviewOpenDialog*>(GetWindowLongPtrA(h, GWLP_USERDATA));
        if (!self) return 0;
        if (msg == WM_NOTIFY) {
            switch (reinterpret_cast<NMHDR*>(lp)->code) {
            case CDN_INITDONE: self->DoShow(); break;
            case CDN_SELCHANGE: self->DoSelectionChange(); break;
            }
        } else if (msg == WM_DESTROY) {
            self->DoClose();
        }
    } catch (...) {
        forms::Application::Instance().HandleException(std::current_exception());
    }
    return 0;
}

LRESULT CALLBACK TPreviewOpenDialog::dialogSubclass(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                                    DWORD_PTR data) {
    if (msg == WM_DESTROY) {
        // The dialog goes before its children: the panel leaves it first.
        try {
            auto* self = reinterpret_cast<TPreviewOpenDialog*>(data);
            self->DoClose();
            if (self->Host && self->Host->HandleAllocated()) {
                HWND hh = self->Host->Handle();
                ShowWindow(hh, SW_HIDE);
                ::SetParent(hh, nullptr);
                SetWindowLongPtrW(hh, GWL_STYLE, WS_POPUP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS);
            }
        } catch (...) {
            forms::Application::Instance().HandleException(std::current_exception());
        }
        RemoveWindowSubclass(h, dialogSubclass, 1);
    }
    return DefSubclassProc(h, msg, wp, lp);
}

void TPreviewOpenDialog::DoShow() {
    if (!dialog_) return;
    SetWindowSubclass(dialog_, dialogSubclass, 1, reinterpret_cast<DWORD_PTR>(this));
    if (!host_) {
        host_ = std::make_unique<forms::Form>(nullptr);
        Host = host_.get();
        Host->SetName("FPreviewHost");
        Host->SetBorderStyle(forms::BorderStyle::None);
        HWND hh = Host->Handle();
        SetWindowLongPtrW(hh, GWL_STYLE, WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS);
        SetWindowLongPtrW(hh, GWL_EXSTYLE, WS_EX_CONTROLPARENT);
        ::SetParent(hh, dialog_);

        FPicturePanel = new forms::Panel(Host);
        FPicturePanel->SetName("FPicturePanel");
        FPicturePanel->SetBevelOuter(forms::Bevel::None);
        FPicturePanel->SetCaption("");
        FPicturePanel->SetBounds(0, 0, kThumbSide, kPanelHeight);
        FPicturePanel->SetAlign(forms::Align::Client);
        FPicturePanel->SetParent(Host);
        ChkPreview = new forms::CheckBox(Host);
        ChkPreview->SetName("ChkPreview");
        ChkPreview->SetBounds(0, kPanelHeight - 20, kThumbSide, 20);
        ChkPreview->SetAlign(forms::Align::Bottom);
        ChkPreview->SetParent(FPicturePanel);
        FPaintPanel = new forms::Panel(Host);
        FPaintPanel->SetName("FPaintPanel");
        FPaintPanel->SetCaption("");
        FPaintPanel->SetBevelOuter(forms::Bevel::None);
        FPaintPanel->SetBevelInner(forms::Bevel::Lowered);
        FPaintPanel->SetBevelWidth(2);
        FPaintPanel->SetBounds(0, 0, kThumbSide, kPanelHeight - 20);
        FPaintPanel->SetAlign(forms::Align::Client);
        FPaintPanel->SetParent(FPicturePanel);
        FPaintBox = new imaging::TPMultiImage(Host);
        FPaintBox->SetName("FPaintBox");
        FPaintBox->SetCenter(true);
        FPaintBox->SetBounds(2, 2, kThumbSide - 4, kPanelHeight - 24);
        FPaintBox->SetAlign(forms::Align::Client);
        FPaintBox->SetParent(FPaintPanel);
        const int w = kThumbSide, mid = (kPanelHeight - 20) / 2;
        FProgressBar = new forms::ProgressBar(Host);
        FProgressBar->SetName("FProgressBar");
        FProgressBar->SetRange(0, 100);
        FProgressBar->Step = 1;
        FProgressBar->SetVisible(false);
        FProgressBar->SetBounds(10, mid - 10 - 20, w - 20, 20);
        FProgressBar->SetParent(FPaintPanel);
        BtnCancelLoadDIB = new forms::Button(Host);
        BtnCancelLoadDIB->SetName("BtnCancelLoadDIB");
        BtnCancelLoadDIB->SetCancel(true);
        BtnCancelLoadDIB->SetVisible(false);
        BtnCancelLoadDIB->SetBounds((w - 75) / 2, mid, 75, 18);
        BtnCancelLoadDIB->SetParent(FPaintPanel);
        ChkPreview->OnClick = [this](forms::Component*) {
            cancel_ = true;
            DoSelectionChange();
        };
        BtnCancelLoadDIB->OnClick = [this](forms::Component*) { cancel_ = true; };
    }
    auto& app = forms::Application::Instance();
    savedHook_ = std::move(app.OnMessage);
    app.OnMessage = [this](MSG& m, bool& handled) { appMessage(m, handled); };

    // Wider by the panel, which stands beside the file list at its top.
    RECT list{}, client{}, window{};
    HWND files = GetDlgItem(dialog_, kFileListId);
    GetClientRect(dialog_, &client);
    if (files) {
        GetWindowRect(files, &list);
        MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&list), 2);
    } else {
        list = {8, 8, client.right - 8, client.bottom - 8};
    }
    GetWindowRect(dialog_, &window);
    const int grow = std::max(0, int(list.right) + kWiden - int(client.right));
    SetWindowPos(dialog_, nullptr, 0, 0, window.right - window.left + grow, window.bottom - window.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // A sizing dialog widens its list with it: the list keeps its old width.
    for (HWND w : {files, FindWindowExW(dialog_, nullptr, L"SHELLDLL_DefView", nullptr)}) {
        RECT r{};
        if (!w || !GetWindowRect(w, &r)) continue;
        MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&r), 2);
        if (r.right > list.right)
            SetWindowPos(w, nullptr, 0, 0, list.right - r.left, r.bottom - r.top,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    Host->SetBounds(list.right + kPanelGap, list.top, kThumbSide, kPanelHeight);
    SetWindowPos(Host->Handle(), HWND_TOP, list.right + kPanelGap, list.top, kThumbSide, kPanelHeight,
                 SWP_SHOWWINDOW | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    Host->Realign();

    ChkPreview->SetChecked(GlobalIni().FilePreview);
    SetCaptionText(kTxtChkPreview, ChkPreview);
    SetCaptionText(kTxtBtnCancelLoadDIB, BtnCancelLoadDIB);
}

void TPreviewOpenDialog::clearPreview() {
    if (FPaintBox) FPaintBox->ClearPicture();
}

void TPreviewOpenDialog::DoSelectionChange() {
    if (!dialog_ || !ChkPreview) return;
    // A change while a picture is read cancels it and shows the new selection after.
    if (reading_) {
        cancel_ = true;
        again_ = true;
        return;
    }
    clearPreview();
    char path[MAX_PATH * 2] = {};
    const LRESULT n = SendMessageA(dialog_, CDM_GETFILEPATH, sizeof path, LPARAM(path));
    const std::string file = n > 0 && size_t(n) < sizeof path ? std::string(path) : std::string();
    const bool there = !file.empty() && keyOf(file).has_value();
    if (!ChkPreview->Checked() || !there) {
        if (FQiv) {
            if (FQiv->ObjectLoaded()) FQiv->ObjectDelete();
            FQiv->SetVisible(false);
        }
        return;
    }
    if (!IsObjectFile(file)) {
        if (FQiv) FQiv->SetVisible(false);
        FPaintBox->SetVisible(true);
        cancel_ = false;
        FProgressBar->SetPosition(0);
        FProgressBar->SetVisible(true);
        BtnCancelLoadDIB->SetVisible(true);
        FProgressBar->BringToFront();
        BtnCancelLoadDIB->BringToFront();
        reading_ = true;
        bool shown = false;
        try {
            shown = readThumbnail(file);
        } catch (...) {
            reading_ = false;
            throw;
        }
        reading_ = false;
        FProgressBar->SetPosition(FProgressBar->Max());
        FProgressBar->SetVisible(false);
        BtnCancelLoadDIB->SetVisible(false);
        FPaintBox->SetVisible(shown);
        if (again_) {
            again_ = false;
            DoSelectionChange();
        }
        return;
    }
    FPaintBox->SetVisible(false);
    try {
        if (!FQiv) {
            FQiv = new TQivPlayer(Host);
            FQiv->SetName("FQiv");
            const forms::Rect r = FPaintPanel->ClientRect();
            FQiv->SetBounds(r.left + 3, r.top + 3, r.Width() - 6, r.Height() - 6);
            FQiv->SetAnchors(forms::akLeft | forms::akTop | forms::akRight | forms::akBottom);
            FQiv->SetParent(FPaintPanel);
            FQiv->Player()->put_LoadObjectMenuEnabled(VARIANT_FALSE);
        }
        FQiv->SetVisible(true);
        FQiv->LoadObject(file);
    } catch (...) {
        // No live preview then.
    }
}

bool TPreviewOpenDialog::readThumbnail(const std::string& file) {
    const std::optional<ThumbKey> key = keyOf(file);
    if (!key) return false;
    if (const auto* kept = cache().Find(*key)) {
        FPaintBox->Picture().Assign(**kept);
        FPaintBox->Picture().Changed();
        return true;
    }
    ++g_reads;
    HGLOBAL dib = nullptr;
    if (!LoadAnyImage(file, dib, this, progress)) return false;
    std::shared_ptr<forms::Bitmap> bmp;
    auto* h = static_cast<BITMAPINFOHEADER*>(GlobalLock(dib));
    const PictureDims size{h ? int(h->biWidth) : 0, h ? std::abs(int(h->biHeight)) : 0};
    if (h) GlobalUnlock(dib);
    const PictureDims thumb = ThumbnailSize(size, kThumbSide);
    const bool sized = thumb == size || ResizeDib(dib, thumb.width, thumb.height);
    if (sized && !cancel_) bmp = bitmapOf(dib);
    imaging::FreeDibHandle(dib);
    if (!bmp) return false;
    cache().Add(*key, bmp);
    FPaintBox->Picture().Assign(*bmp);
    FPaintBox->Picture().Changed();
    return true;
}

int WINAPI TPreviewOpenDialog::progress(void* control, int percent) {
    auto* self = static_cast<TPreviewOpenDialog*>(control);
    if (!self) return 1;
    try {
        if (self->FProgressBar && percent != self->FProgressBar->Position() && percent <= 97) {
            self->FProgressBar->SetPosition(percent);
            forms::Application::Instance().ProcessMessages();
        }
    } catch (...) {
        forms::Application::Instance().HandleException(std::current_exception());
    }
    return self->cancel_ ? 0 : 1;
}

void TPreviewOpenDialog::appMessage(MSG& m, bool& handled) {
    if (m.message != WM_LBUTTONDOWN) return;
    POINT p = {short(LOWORD(m.lParam)), short(HIWORD(m.lParam))};
    ClientToScreen(m.hwnd, &p);
    auto inside = [&](forms::Control* c) {
        if (!c || !c->Visible() || !c->HandleAllocated()) return false;
        RECT r{};
        GetWindowRect(c->Handle(), &r);
        return PtInRect(&r, p) != 0;
    };
    if (inside(BtnCancelLoadDIB)) {
        cancel_ = true;
        handled = true;
    } else if (inside(ChkPreview)) {
        ChkPreview->SetChecked(!ChkPreview->Checked());
        handled = true;
    }
}

void TPreviewOpenDialog::DoClose() {
    if (closed_) return;
    closed_ = true;
    if (FQiv && FQiv->ObjectLoaded()) FQiv->ObjectDelete();
    forms::Application::Instance().OnMessage = std::move(savedHook_);
    if (ChkPreview) GlobalIni().StoreFilePreview(ChkPreview->Checked(), GetIniPath());
}

}  // namespace stellwerk

#include "common_win.h"

#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>

#include "forms/application.h"
#include "forms/fileio.h"
#include "getname_win.h"
#include "picdlg_win.h"
#include "msgstrs.h"
#include "textnums.h"
#include "texts_win.h"
#include "win/wintext.h"

namespace stellwerk {

void InitProgramFolder() {
    char path[MAX_PATH * 2] = {};
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string p(path, n);
    const size_t cut = p.find_last_of("\\/");
    SetProgramFolder(cut == std::string::npos ? std::string() : p.substr(0, cut + 1));
}

bool AskYesNo(const std::string& text, const std::string& caption) {
    return forms::ShowMessageBox(text, caption, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

Color ChooseColorDialog(Color colour) {
    static COLORREF custom[16] = {};
    CHOOSECOLORA cc = {};
    cc.lStructSize = sizeof cc;
    cc.hwndOwner = GetActiveWindow();
    cc.rgbResult = colour;
    cc.lpCustColors = custom;
    cc.Flags = CC_FULLOPEN | CC_RGBINIT;
    return ChooseColorA(&cc) ? Color(cc.rgbResult) : colour;
}

namespace {

constexpr int kNewFolderCommand = 4004;

// The folder browser's state while its dialog shows.
struct TMyFolderBrowse {
    std::string folder, caption;
    bool initialised = false;
    bool showAgain = true;
    HWND newFolderButton = nullptr;
};

LRESULT CALLBACK browseSubclass(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data) {
    auto* b = reinterpret_cast<TMyFolderBrowse*>(data);
    if (msg == WM_COMMAND && LOWORD(wp) == kNewFolderCommand) {
        try {
            std::string name;
            if (AskName(kNameNewFolder, {}, name)) {
                const std::string path = b->folder + name + "\\";
                if (!forms::DirectoryExists(path)) forms::ForceDirectories(path);
                b->folder = path;
                b->showAgain = true;
                PostMessageW(h, WM_COMMAND, IDCANCEL, 0);
            }
        } catch (...) {
            forms::Application::Instance().HandleException(std::current_exception());
        }
        return 0;
    }
    if (msg == WM_NCDESTROY) RemoveWindowSubclass(h, browseSubclass, 1);
    return DefSubclassProc(h, msg, wp, lp);
}

int CALLBACK browseCallback(HWND h, UINT msg, LPARAM lp, LPARAM data) {
    auto* b = reinterpret_cast<TMyFolderBrowse*>(data);
    if (msg == BFFM_INITIALIZED) {
        if (b->newFolderButton) DestroyWindow(b->newFolderButton);
        RECT ok{}, dlg{};
        GetWindowRect(GetDlgItem(h, IDOK), &ok);
        MapWindowPoints(nullptr, h, reinterpret_cast<POINT*>(&ok), 2);
        GetClientRect(h, &dlg);
        b->newFolderButton = CreateWindowExW(0, L"BUTTON", win::Wide(GetMsgText(kTxtNewFolderButton.number)).c_str(),
                                             WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 8, ok.top,
                                             ok.right - ok.left + 20, ok.bottom - ok.top, h,
                                             reinterpret_cast<HMENU>(INT_PTR(kNewFolderCommand)), nullptr, nullptr);
        SendMessageW(b->newFolderButton, WM_SETFONT, SendMessageW(h, WM_GETFONT, 0, 0), TRUE);
        SetWindowTextW(h, win::Wide(b->caption).c_str());
        SetWindowSubclass(h, browseSubclass, 1, reinterpret_cast<DWORD_PTR>(b));
        SendMessageA(h, BFFM_SETSELECTIONA, TRUE, LPARAM(b->folder.c_str()));
        RECT r;
        GetWindowRect(h, &r);
        SetWindowPos(h, nullptr, (GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2,
                     (GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top)) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        b->initialised = true;
    } else if (msg == BFFM_SELCHANGED) {
        char path[MAX_PATH] = {};
        if (SHGetPathFromIDListA(reinterpret_cast<LPCITEMIDLIST>(lp), path) && *path) {
            b->folder = path;
            if (b->folder.back() != '\\') b->folder += '\\';
        }
    }
    return 0;
}

}  // namespace

bool ChooseFolder(const std::string& title, const std::string& caption, std::string& folder) {
    TMyFolderBrowse b;
    b.folder = folder;
    b.caption = caption;
    bool chosen = false;
    while (b.showAgain) {
        b.showAgain = false;
        BROWSEINFOA bi = {};
        bi.hwndOwner = GetActiveWindow();
        bi.lpszTitle = title.c_str();
        bi.ulFlags = BIF_RETURNONLYFSDIRS;
        bi.lpfn = browseCallback;
        bi.lParam = LPARAM(&b);
        LPITEMIDLIST id = SHBrowseForFolderA(&bi);
        if (id) {
            char path[MAX_PATH] = {};
            if (SHGetPathFromIDListA(id, path) && *path) {
                b.folder = path;
                if (b.folder.back() != '\\') b.folder += '\\';
                chosen = true;
            }
            CoTaskMemFree(id);
        }
        b.newFolderButton = nullptr;
    }
    if (chosen) folder = b.folder;
    return chosen;
}

std::string ChooseImageFile(int titleText, const std::string& current) {
    const size_t cut = current.find_last_of('\\');
    TPreviewOpenDialog dialog;
    dialog.Filter = BuildFileFilter({kTxtFilterBitmaps.number, kTxtFilterJpeg.number});
    dialog.Title = GetMsgText(titleText);
    dialog.InitialDir = cut == std::string::npos ? GetProgramFolder() : current.substr(0, cut + 1);
    dialog.FileName = cut == std::string::npos ? current : current.substr(cut + 1);
    return dialog.Execute() ? dialog.FileName : current;
}

int ScreenDepth() {
    HDC dc = GetDC(nullptr);
    const int bits = GetDeviceCaps(dc, PLANES) * GetDeviceCaps(dc, BITSPIXEL);
    ReleaseDC(nullptr, dc);
    return bits == 8 ? 8 : 24;
}

void SetEnabledDeep(bool enabled, forms::Control* control) {
    if (!control) return;
    control->SetEnabled(enabled);
    if (auto* w = dynamic_cast<forms::WinControl*>(control))
        for (int i = 0; i < w->ControlCount(); ++i) SetEnabledDeep(enabled, w->Controls(i));
}

void RestoreFormPlacement(forms::Form& form, const std::string& section, bool defaultMaximised) {
    const FormPlacement cur{false, form.Left(), form.Top(), form.Width(), form.Height()};
    const FormPlacement p = ReadFormPlacement(section, cur, defaultMaximised);
    if (p.maximised) {
        form.SetWindowState(forms::WindowState::Maximized);
        return;
    }
    form.SetBounds(p.left, p.top, p.width, p.height);
}

void SaveFormPlacement(forms::Form& form, const std::string& section) {
    WINDOWPLACEMENT wp{sizeof wp};
    GetWindowPlacement(form.Handle(), &wp);
    const RECT& r = wp.rcNormalPosition;
    WriteFormPlacement(section, {form.GetWindowState() == forms::WindowState::Maximized, int(r.left), int(r.top),
                                 int(r.right - r.left), int(r.bottom - r.top)});
}

}  // namespace stellwerk

// The save-image dialog of SaveBitmap without a file name (and of the popup menu): a save-file
// dialog with the size, quality and ray-trace choice of the bitmap below it.
#include <windows.h>
#include <commdlg.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "ctlmessage.h"
#include "callertrust.h"
#include "ctlmodule_win.h"
#include "document_win.h"
#include "exchange_win.h"
#include "exportstrips.h"

namespace {

enum : int { kTemplate = 220, kWidthEdit = 220, kHeightEdit = 221, kRayTraceBox = 222, kQualityLow = 240 };

// The request shared by the dialog and the export.
struct BitmapRequest {
    UINT width = 0, height = 0;
    double aspect = 1.0;
    int quality = 0;
    bool rayTrace = false;
};

// Kept for the next dialog of the process.
bool g_lastRayTrace = false;
char g_lastFolder[MAX_PATH] = {};

void showHeight(HWND dialog, const BitmapRequest& r) { SetDlgItemInt(dialog, kHeightEdit, r.height, FALSE); }

UINT_PTR CALLBACK hook(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_INITDIALOG) {
        auto* r = reinterpret_cast<BitmapRequest*>(reinterpret_cast<OPENFILENAMEA*>(lp)->lCustData);
        SetWindowLongPtrA(dialog, DWLP_USER, LONG_PTR(r));
        SetDlgItemInt(dialog, kWidthEdit, r->width, FALSE);
        showHeight(dialog, *r);
        CheckRadioButton(dialog, kQualityLow, kQualityLow + 2, kQualityLow + r->quality);
        CheckDlgButton(dialog, kRayTraceBox, r->rayTrace ? BST_CHECKED : BST_UNCHECKED);
        return 0;
    }
    auto* r = reinterpret_cast<BitmapRequest*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (msg != WM_COMMAND || !r) return 0;
    const int id = LOWORD(wp), code = HIWORD(wp);
    if (id == kRayTraceBox && code == BN_CLICKED) r->rayTrace = IsDlgButtonChecked(dialog, kRayTraceBox) == BST_CHECKED;
    if (id >= kQualityLow && id <= kQualityLow + 2 && code == BN_CLICKED) r->quality = id - kQualityLow;
    if (id == kWidthEdit && code == EN_CHANGE) {
        BOOL ok = FALSE;
        const UINT w = GetDlgItemInt(dialog, kWidthEdit, &ok, FALSE);
        if (ok) {
            r->width = std::min<UINT>(w, qivctl::kExportMaxWidth);
            if (w > UINT(qivctl::kExportMaxWidth)) {
                const std::string text =
                    qivctl::formatMessage(qivLoadString(IDS_BITMAP_TOO_WIDE), qivctl::kExportMaxWidth);
                qivShowMessage(dialog, text.c_str(), qivLoadString(IDS_ERROR_TITLE).c_str(), MB_OK | MB_ICONSTOP);
                SetDlgItemInt(dialog, kWidthEdit, r->width, FALSE);
            }
            r->height = UINT(std::min(double(r->width) * r->aspect, double(qivctl::kExportMaxHeight)));
        }
        showHeight(dialog, *r);
    }
    return 0;
}

}  // namespace

HRESULT CQivPlayerCtl::runSaveImageDialog(const std::string& suggested, const qivctl::ExportRequest* preset,
                                          bool presetRayTrace, bool* written) {
    if (written) *written = false;
    if (hwnd() && !state_.frameValid) UpdateWindow(hwnd());
    BitmapRequest r;
    r.width = UINT(state_.frameWidth > 0 ? state_.frameWidth : 640);
    r.height = UINT(state_.frameHeight > 0 ? state_.frameHeight : 480);
    r.aspect = double(r.height) / double(r.width);
    r.rayTrace = g_lastRayTrace;
    if (preset) {
        r.width = UINT(preset->width);
        r.height = UINT(preset->height);
        r.aspect = double(r.height) / double(r.width);
        r.quality = preset->quality;
        r.rayTrace = presetRayTrace;
    }
    std::string filter = qivLoadString(IDS_FILTER_BITMAP);
    if (filter.empty()) filter = "Bitmap files (*.bmp)|*.bmp|All files (*.*)|*.*||";
    std::replace(filter.begin(), filter.end(), '|', '\0');
    const std::string title = qivLoadString(IDS_SAVE_BITMAP);
    char file[MAX_PATH] = {};
    lstrcpynA(file, qivctl::suggestedFileName(suggested).c_str(), sizeof file);
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = hwnd();
    ofn.hInstance = qivModuleInstance();
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file;
    ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
    ofn.lpstrDefExt = "BMP";
    ofn.lpstrInitialDir = g_lastFolder[0] ? g_lastFolder : nullptr;
    ofn.Flags = OFN_EXPLORER | OFN_NOREADONLYRETURN | OFN_ENABLETEMPLATE | OFN_ENABLEHOOK | OFN_HIDEREADONLY |
                OFN_OVERWRITEPROMPT;
    ofn.lpTemplateName = MAKEINTRESOURCEA(kTemplate);
    ofn.lpfnHook = hook;
    ofn.lCustData = LPARAM(&r);
    if (!qivRunSaveFileDialog(&ofn) || !file[0]) return S_OK;
    // An untrusted caller's bitmap is a ".bmp" file whatever was typed; the overwrite the dialog
    // asked about was for its own name only.
    std::string target = file;
    if (CallerUntrusted()) target = qivctl::withForcedExtension(target, ".bmp");
    // The overwrite was confirmed: the old file makes room, and comes back when no new one is made.
    std::string backup;
    if (target == file && GetFileAttributesA(file) != INVALID_FILE_ATTRIBUTES) {
        backup = std::string(file) + ".~old";
        if (!MoveFileExA(file, backup.c_str(), MOVEFILE_REPLACE_EXISTING)) backup.clear();
    }
    VARIANT_BOOL done = VARIANT_FALSE;
    const HRESULT hr = saveBitmapFile(qivBitmapQuality(r.quality), r.rayTrace, LONG(r.width), LONG(r.height), target,
                                      &done);
    if (!backup.empty()) {
        if (done)
            DeleteFileA(backup.c_str());
        else
            MoveFileA(backup.c_str(), file);
    }
    if (done) MarkFileForCaller(target);
    if (written) *written = done != VARIANT_FALSE;
    const char* slash = std::strrchr(file, '\\');
    if (slash) lstrcpynA(g_lastFolder, file, int(std::min<size_t>(size_t(slash - file) + 1, sizeof g_lastFolder)));
    g_lastRayTrace = r.rayTrace;
    return hr;
}

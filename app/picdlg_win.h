#pragma once
// The open dialog with a preview panel at its right: pictures shown as
// thumbnails through the image display control, objects loaded into a
// second viewer control.
#include <windows.h>
#include <commdlg.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "forms/extctrls.h"
#include "forms/form.h"
#include "forms/stdctrls.h"
#include "multiimage_win.h"
#include "qivplayer_win.h"

namespace stellwerk {

// The side of a thumbnail.
constexpr int kThumbSide = 150;

class TPreviewOpenDialog {
public:
    TPreviewOpenDialog();
    ~TPreviewOpenDialog();
    TPreviewOpenDialog(const TPreviewOpenDialog&) = delete;
    TPreviewOpenDialog& operator=(const TPreviewOpenDialog&) = delete;

    // Pairs of description and patterns, "|"-separated.
    std::string Filter, Title, InitialDir;
    // Preset name in, chosen file out.
    std::string FileName;
    // With OFN_ALLOWMULTISELECT, every chosen file.
    std::vector<std::string> Files;
    DWORD Options = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_ENABLESIZING;
    // True when a file was chosen.
    bool Execute();

    // The dialog showing now (null when none): for its tests.
    static TPreviewOpenDialog* Showing();
    HWND Handle() const { return dialog_; }
    // Thumbnails read from files (not from the cache) in this run of the program.
    static int ThumbnailReads();
    // Empties the thumbnail cache.
    static void ClearThumbnails();

    // The preview's parts, made when the dialog shows.
    forms::Form* Host = nullptr;
    forms::Panel *FPicturePanel = nullptr, *FPaintPanel = nullptr;
    forms::CheckBox* ChkPreview = nullptr;
    imaging::TPMultiImage* FPaintBox = nullptr;
    forms::ProgressBar* FProgressBar = nullptr;
    forms::Button* BtnCancelLoadDIB = nullptr;
    TQivPlayer* FQiv = nullptr;

    void DoShow();
    void DoSelectionChange();
    void DoClose();

private:
    static UINT_PTR CALLBACK hookProc(HWND h, UINT msg, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK dialogSubclass(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR data);
    static int WINAPI progress(void* control, int percent);
    void clearPreview();
    bool readThumbnail(const std::string& file);
    void appMessage(MSG& m, bool& handled);

    HWND dialog_ = nullptr;
    bool cancel_ = false, closed_ = false, reading_ = false, again_ = false;
    std::unique_ptr<forms::Form> host_;
    std::function<void(MSG&, bool&)> savedHook_;
};

}  // namespace stellwerk

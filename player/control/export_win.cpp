// SaveBitmap: the view exported as a 24-bit bitmap file, rendered strip by strip under the
// render lock, written into a new file beside the target and renamed over the target's name
// when complete; progress in the control's own panel, cancelled by Escape or its button.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <string>

#include "callertrust.h"
#include "com/errorinfo.h"
#include "com/guard.h"
#include "ctlmessage.h"
#include "ctlmodule_win.h"
#include "exchange_win.h"
#include "exportrender.h"
#include "render/kvdirectx.h"
#include "win/wintext.h"
#include "window_win.h"

namespace {

constexpr DWORD kHelpTooWide = 9485, kHelpCreate = 9486, kHelpSize = 9487, kHelpWrite = 9488;

HRESULT fileError(DWORD error) { return HRESULT(0x80030000u | (error & 0xFFFFu)); }

// Exports running on this thread: the engine draws one at a time, and a second export started
// from inside the first (a host called from its progress display) would draw into its frames.
thread_local int t_exportsRunning = 0;

class WaitCursor {
public:
    WaitCursor() : previous_(SetCursor(LoadCursor(nullptr, IDC_WAIT))) {}
    ~WaitCursor() { SetCursor(previous_); }

private:
    HCURSOR previous_;
};

// The temporary file beside the target: deleted unless it became the target.
class TempFile {
public:
    ~TempFile() {
        close();
        if (!path.empty()) DeleteFileA(path.c_str());
    }
    void close() {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
    }
    bool write(const uint8_t* bytes, size_t size) {
        while (size) {
            DWORD done = 0;
            const DWORD chunk = DWORD(std::min<size_t>(size, 1u << 24));
            if (!WriteFile(handle, bytes, chunk, &done, nullptr) || done == 0) {
                error = GetLastError();
                if (!error) error = ERROR_WRITE_FAULT;
                return false;
            }
            bytes += done;
            size -= done;
        }
        return true;
    }
    std::string path;
    HANDLE handle = INVALID_HANDLE_VALUE;
    DWORD error = 0;
};

class FileSink : public qivctl::ExportSink {
public:
    FileSink(CQivPlayerCtl& ctl, TempFile& file) : ctl_(ctl), file_(file) {}
    bool progress(int32_t percent) override;
    bool writeRows(const uint8_t* bytes, size_t size) override { return file_.write(bytes, size); }

private:
    CQivPlayerCtl& ctl_;
    TempFile& file_;
};

}  // namespace

bool FileSink::progress(int32_t percent) { return ctl_.exportProgress(percent); }

// The progress of this control's export: Escape or the cancel button stop it.
bool CQivPlayerCtl::exportProgress(int32_t percent) {
    QivWindowParts& w = *win_;
    if (HWND cancel = w.bar[qivctl::BarCancel - qivctl::BarRayTrace]) {
        // Clicks on the cancel button are taken here without dispatching anything else.
        MSG m;
        while (PeekMessageA(&m, cancel, WM_LBUTTONDOWN, WM_LBUTTONUP, PM_REMOVE))
            if (m.message == WM_LBUTTONUP) state_.cancelRequested = true;
    }
    if (GetAsyncKeyState(VK_ESCAPE) < 0) state_.cancelRequested = true;
    if (exportProgressHook) exportProgressHook(percent);
    if (state_.cancelRequested) return false;
    if (w.progress) {
        SendMessageA(w.progress, PBM_SETPOS, WPARAM(percent), 0);
        UpdateWindow(w.progress);
    }
    return true;
}

void CQivPlayerCtl::showExportProgress(bool on) {
    HWND window = hwnd();
    if (!window) return;
    QivWindowParts& w = *win_;
    w.loadingPanel = on;
    state_.statusText[0] = 0;
    if (on) {
        const std::string text = qivLoadString(IDS_BITMAP_CREATED);
        lstrcpynA(state_.statusText, text.empty() ? "Bitmap created" : text.c_str(), sizeof state_.statusText);
    }
    RECT client;
    GetClientRect(window, &client);
    LayoutBar(client);
    if (w.progress) {
        SendMessageA(w.progress, PBM_SETRANGE32, 0, 100);
        SendMessageA(w.progress, PBM_SETPOS, 0, 0);
    }
    // Drawn at once with the panel's children, before the export holds the render lock.
    Redraw(true);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

HRESULT CQivPlayerCtl::saveBitmapError(HRESULT hr, const std::string& text, DWORD helpContext) {
    wchar_t source[64] = {};
    StringFromGUID2(CLSID_QivPlayer, source, 64);
    return qcom::setErrorInfo(hr, win::Wide(text).c_str(), IID_IQivPlayer2, source, L"Preview.hlp", helpContext);
}

STDMETHODIMP CQivPlayerCtl::SaveBitmap(qivBitmapQuality quality, VARIANT_BOOL raytrace, LONG PixelWidth,
                                       LONG PixelHeight, BSTR FileName, VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = VARIANT_FALSE;
    if (!Ready() || t_exportsRunning) return S_OK;
    WaitCursor wait;
    const std::string name = win::AnsiOfBstr(FileName);
    if (name.empty()) {
        const HRESULT hr = runSaveImageDialog();
        if (SUCCEEDED(hr)) *pVal = VARIANT_TRUE;
        return hr;
    }
    if (!CallerUntrusted()) return saveBitmapFile(quality, raytrace != VARIANT_FALSE, PixelWidth, PixelHeight, name, pVal);
    // An untrusted caller's name is a suggestion: the user chooses the file. Every failure
    // to make or write it answers one code, so that no answer tells what exists.
    const qivctl::ExportRequest request{PixelWidth, PixelHeight, int32_t(quality), 4};
    if (qivctl::checkExport(request) != qivctl::ExportCheck::Ok)
        return saveBitmapFile(quality, raytrace != VARIANT_FALSE, PixelWidth, PixelHeight, name, pVal);
    bool written = false;
    const HRESULT hr = runSaveImageDialog(name, &request, raytrace != VARIANT_FALSE, &written);
    *pVal = written ? VARIANT_TRUE : VARIANT_FALSE;
    if (FAILED(hr) && HRESULT_FACILITY(hr) == FACILITY_STORAGE)
        return saveBitmapError(fileError(ERROR_ACCESS_DENIED),
                               qivctl::formatMessage(qivLoadString(IDS_WRITE_FAILED), qivctl::suggestedFileName(name)),
                               kHelpWrite);
    return hr;
} catch (...) { return qcom::exceptionResult(); }

HRESULT CQivPlayerCtl::saveBitmapFile(qivBitmapQuality quality, bool raytrace, LONG PixelWidth, LONG PixelHeight,
                                      const std::string& name, VARIANT_BOOL* pVal) {
    *pVal = VARIANT_FALSE;
    if (!Ready() || t_exportsRunning) return S_OK;
    try {
        if (!qivctl::fileNameAllowed(name))
            return saveBitmapError(fileError(ERROR_INVALID_NAME),
                                   qivctl::formatMessage(qivLoadString(IDS_CREATE_FAILED), name), kHelpCreate);
        const uint32_t bpp = state_.bytesPerPixel == 4 ? 4 : 2;
        const qivctl::ExportRequest request{PixelWidth, PixelHeight, int32_t(quality), bpp};
        switch (qivctl::checkExport(request)) {
            case qivctl::ExportCheck::Ok:
                break;
            case qivctl::ExportCheck::WidthTooLarge:
                return saveBitmapError(
                    E_INVALIDARG, qivctl::formatMessage(qivLoadString(IDS_BITMAP_TOO_WIDE), qivctl::kExportMaxWidth),
                    kHelpTooWide);
            case qivctl::ExportCheck::BadQuality:
                qcom::clearErrorInfo();
                return E_INVALIDARG;
            default:
                return saveBitmapError(E_INVALIDARG, qivLoadString(IDS_INVALID_SIZE), kHelpSize);
        }
        const std::string createFailed = qivctl::formatMessage(qivLoadString(IDS_CREATE_FAILED), name);
        char full[MAX_PATH] = {};
        char* part = nullptr;
        const DWORD n = GetFullPathNameA(name.c_str(), sizeof full, full, &part);
        if (n == 0 || n >= sizeof full || !part) return saveBitmapError(fileError(ERROR_INVALID_NAME), createFailed, kHelpCreate);
        // The file is made new: an existing one is an error.
        if (GetFileAttributesA(full) != INVALID_FILE_ATTRIBUTES)
            return saveBitmapError(fileError(ERROR_FILE_EXISTS), createFailed, kHelpCreate);
        TempFile file;
        char temp[MAX_PATH] = {};
        const std::string folder(full, size_t(part - full));
        if (!GetTempFileNameA(folder.c_str(), "VOV", 0, temp))
            return saveBitmapError(fileError(GetLastError()), createFailed, kHelpCreate);
        file.path = temp;
        file.handle = CreateFileA(temp, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file.handle == INVALID_HANDLE_VALUE) return saveBitmapError(fileError(GetLastError()), createFailed, kHelpCreate);

        if (hwnd()) InitWindow();
        if (!state_.viewValid) ResetView();
        qivctl::ExportPlan plan;
        if (!qivctl::planExportFor(request, state_.camera, &plan))
            return saveBitmapError(E_INVALIDARG, qivLoadString(IDS_INVALID_SIZE), kHelpSize);

        // Not ready while the export runs: a second save and the click events wait for its end.
        struct Running {
            CQivPlayerCtl& c;
            bool& flag;
            Running(CQivPlayerCtl& ctl, bool& f) : c(ctl), flag(f) {
                ++t_exportsRunning;
                flag = true;
                c.state().cancelRequested = false;
                c.state().frameValid = false;
                c.showExportProgress(true);
            }
            ~Running() {
                --t_exportsRunning;
                flag = false;
                c.state().cancelRequested = false;
                c.showExportProgress(false);
            }
        } running(*this, exporting_);
        qivctl::ExportResult result = qivctl::ExportResult::WriteFailed;
        const std::vector<uint8_t> header = qivctl::exportHeaderBytes(plan);
        if (file.write(header.data(), header.size())) {
            FileSink sink(*this, file);
            QivRenderLockGuard lock;
            // Another process holds the lock: the export fails at once instead of waiting on.
            if (!lock.held()) return saveBitmapError(HRESULT_FROM_WIN32(ERROR_TIMEOUT), createFailed, kHelpCreate);
            kvdx::dxSetActive(0);
            UpdateFrameState();
            qivctl::ExportScene scene;
            scene.camera = &state_.camera;
            scene.background = &state_.background;
            scene.roots = state_.sceneRoots;
            scene.sceneHidden = view2D();
            scene.kind = state_.displayMode;
            scene.rayTrace = raytrace;
            result = qivctl::renderExport(plan, scene, bpp, sink);
        }
        file.close();
        DWORD moveError = 0;
        if (result == qivctl::ExportResult::Written) {
            if (MoveFileA(temp, full))
                file.path.clear();
            else
                moveError = GetLastError();
        }
        switch (result) {
            case qivctl::ExportResult::Written:
                if (moveError) return saveBitmapError(fileError(moveError), createFailed, kHelpCreate);
                *pVal = VARIANT_TRUE;
                return S_OK;
            case qivctl::ExportResult::Cancelled:
                return S_OK;
            case qivctl::ExportResult::WriteFailed:
                return saveBitmapError(fileError(file.error), qivctl::formatMessage(qivLoadString(IDS_WRITE_FAILED), name),
                                       kHelpWrite);
            case qivctl::ExportResult::NoMemory:
                return saveBitmapError(E_OUTOFMEMORY, createFailed, kHelpCreate);
            case qivctl::ExportResult::RenderFailed:
            default:
                return saveBitmapError(E_FAIL, createFailed, kHelpCreate);
        }
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

// Members of the downloads: ObjectUID, BackPictureURL and DisplayThumbnail, whose preview
// picture is read on a thread of its own and handed back to the control's thread.
#include <windows.h>

#include <memory>
#include <string>

#include "background.h"
#include "com/guard.h"
#include "ctlmodule_win.h"
#include "displayprops.h"
#include "download_win.h"
#include "document_win.h"
#include "exchange_win.h"
#include "jpegglue.h"
#include "persiststream.h"
#include "qivctl_win.h"
#include "render/fzbuffer.h"
#include "scene/texture.h"
#include "transfers.h"
#include "win/wintext.h"
#include "window_win.h"

namespace {

constexpr UINT kMsgThumbnail = WM_USER + 76;
constexpr char kSinkClass[] = "QivThumbnailSink";
// The largest file a thumbnail is read from.
constexpr uint64_t kThumbnailFileMax = 256ull << 20;

// One DisplayThumbnail request. The control is referenced from the start of the thread until
// the result has been handled on the control's thread; the message-only sink window that
// receives the result is made and destroyed on that thread.
struct ThumbnailJob {
    CQivPlayerCtl* control = nullptr;
    std::shared_ptr<qivctl::ThumbnailHandover> handover;
    HANDLE file = INVALID_HANDLE_VALUE;
    HWND sink = nullptr;
};

LRESULT CALLBACK sinkProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg != kMsgThumbnail) return DefWindowProcA(w, msg, wp, lp);
    std::unique_ptr<ThumbnailJob> job(reinterpret_cast<ThumbnailJob*>(lp));
    DestroyWindow(w);
    try {
        job->control->ThumbnailArrived(job->handover);
    } catch (...) {
    }
    static_cast<IQivPlayer2*>(job->control)->Release();
    return 0;
}

bool registerSinkClass() {
    static const bool registered = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = sinkProc;
        wc.hInstance = qivModuleInstance();
        wc.lpszClassName = kSinkClass;
        return RegisterClassA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    return registered;
}

// The first preview picture of a container file; null when it has none.
PicRecord* readPreview(HANDLE file) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size) || size.QuadPart <= 0 || uint64_t(size.QuadPart) > kThumbnailFileMax)
        return nullptr;
    HANDLE map = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (!map) return nullptr;
    PicRecord* picture = nullptr;
    if (const void* view = MapViewOfFile(map, FILE_MAP_READ, 0, 0, 0)) {
        picture = DecodeContainerPreview(static_cast<const uint8_t*>(view), size_t(size.QuadPart));
        UnmapViewOfFile(view);
    }
    CloseHandle(map);
    return picture;
}

DWORD WINAPI ThumbnailThreadProc(void* arg) {
    auto* job = static_cast<ThumbnailJob*>(arg);
    PicRecord* picture = nullptr;
    try {
        picture = readPreview(job->file);
    } catch (...) {
        picture = nullptr;
    }
    CloseHandle(job->file);
    job->file = INVALID_HANDLE_VALUE;
    if (!job->handover->deliver(picture) && picture) fzFreeImage(&picture);
    PostMessageA(job->sink, kMsgThumbnail, 0, reinterpret_cast<LPARAM>(job));
    return 0;
}

}  // namespace

STDMETHODIMP CQivPlayerCtl::get_ObjectUID(BSTR* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = nullptr;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_BackPictureURL(BSTR* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = nullptr;
    const std::string url = qivctl::backPictureUrlForGet(downloads().backPictureUrl, win_->textureBaseUrl,
                                                         win_->texturePath, FileExists);
    *pVal = win::AllocBstr(url);
    return *pVal ? S_OK : E_OUTOFMEMORY;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::put_BackPictureURL(BSTR newVal) try {
    DownloadParts& d = downloads();
    d.closing = false;
    std::string stored;
    int32_t mode = props_.backPicMode;
    const std::string value = win::AnsiOfBstr(newVal);
    // A page that may not name local files: its names lie below the page, never on the
    // texture path.
    const bool belowPage = LocalNamesRefused();
    if (qivctl::namesLocalFile(value)) {
        if (belowPage) return E_ACCESSDENIED;
        if (!qivctl::fileNameAllowed(value)) return E_INVALIDARG;
    }
    const qivctl::FileExistsFn exists = [belowPage](const std::string& p) { return !belowPage && FileExists(p); };
    if (!qivctl::backPictureUrlForPut(value, win_->texturePath, exists, &stored, &mode)) return E_INVALIDARG;
    // The picture shown goes back to its cache; a load's preview stays until it ends.
    if (!StreamLoadRunning()) SetBackPicture(nullptr, false);
    if (stored != d.backPictureUrl) d.backPictureFile.clear();
    d.backPictureUrl = stored;
    if (mode != props_.backPicMode) {
        props_.backPicMode = mode;
        FireOnChanged(qivdispid::BackPicMode);
    }
    FireOnChanged(qivdispid::BackPictureURL);
    if (!hwnd()) return S_OK;
    ApplyBackPicMode(false);
    Redraw(true);
    LoadBackPicture();
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

// Only the file the picture shown was really read from, never whatever BackPictureURL names.
std::string CQivPlayerCtl::BackPictureFile() {
    const DownloadParts& d = downloads();
    return BackgroundPicture() && FileExists(d.backPictureFile) ? d.backPictureFile : std::string();
}

STDMETHODIMP CQivPlayerCtl::DisplayThumbnail(BSTR FileName, VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = VARIANT_FALSE;
    DownloadParts& d = downloads();
    // A request still running gives way: its picture is dropped when it comes.
    if (d.thumbnail)
        if (PicRecord* p = d.thumbnail->detach()) fzFreeImage(&p);
    d.thumbnail.reset();
    SetPreviewShown(false);
    ResetBackground();
    const std::string name = win::AnsiOfBstr(FileName);
    // Always a local file: a page that may not name one learns nothing of what exists.
    if (name.empty() || LocalNamesRefused() || !qivctl::fileNameAllowed(name) || !registerSinkClass())
        return S_OK;
    HANDLE file = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return S_OK;
    auto job = std::make_unique<ThumbnailJob>();
    job->control = this;
    job->handover = std::make_shared<qivctl::ThumbnailHandover>();
    job->file = file;
    job->sink = CreateWindowExA(0, kSinkClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, qivModuleInstance(),
                                nullptr);
    if (!job->sink) {
        CloseHandle(file);
        return S_OK;
    }
    static_cast<IQivPlayer2*>(this)->AddRef();
    HANDLE thread = CreateThread(nullptr, 0, ThumbnailThreadProc, job.get(), 0, nullptr);
    if (!thread) {
        DestroyWindow(job->sink);
        CloseHandle(file);
        static_cast<IQivPlayer2*>(this)->Release();
        return S_OK;
    }
    CloseHandle(thread);
    d.thumbnail = job->handover;
    job.release();  // the thread and then the sink own it
    *pVal = VARIANT_TRUE;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

// The thumbnail thread's result on the control's thread: the preview becomes the background
// picture, shown scaled to the view as a container's preview is, and ThumbnailDone fires
// (HasThumbnail false when the file has none).
void CQivPlayerCtl::ThumbnailArrived(const std::shared_ptr<qivctl::ThumbnailHandover>& handover) {
    DownloadParts& d = downloads();
    if (!handover || handover != d.thumbnail) return;
    d.thumbnail.reset();
    bool arrived = false;
    PicRecord* picture = handover->take(&arrived);
    if (picture) {
        QivRenderLockGuard lock;
        texBuild(picture);
    }
    SetBackPicture(picture, false);
    SetPreviewShown(picture != nullptr);
    if (picture) {
        qivctl::previewBackground(state_.background, picture);
        {
            QivRenderLockGuard lock;
            fzPrepareBackground(&state_.background);
        }
        DrawBackdrop();
    }
    FireThumbnailDone(0);
}

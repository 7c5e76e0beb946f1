// Downloads of the control: URL monikers bound at run time, the bind-status callback that
// feeds the streaming load or fills a temporary file, the pending transfers worked through
// one download at a time (WM_USER+75), the end of each transfer, the progress display, and
// the background picture from a URL.
#include <windows.h>
#include <commctrl.h>
#include <docobj.h>
#include <urlmon.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "background.h"
#include "com/guard.h"
#include "download_win.h"
#include "caches.h"
#include "callertrust.h"
#include "container_win.h"
#include "ctlmodule_win.h"
#include "document_win.h"
#include "exchange_win.h"
#include "hoverprogress.h"
#include "jpegglue.h"
#include "loadsession.h"
#include "objectname.h"
#include "qivctl_win.h"
#include "render/fzbuffer.h"
#include "scene/objnode.h"
#include "slots.h"
#include "texpaths.h"
#include "transfers.h"
#include "transferserve.h"
#include "useropts_win.h"
#include "win/wintext.h"
#include "window_win.h"

void qivDeleteTempCopy(QivWindowParts& w);

namespace {

constexpr UINT kMsgNextTransfer = WM_USER + 75;
constexpr UINT_PTR kTimerDelayedLoad = 55;

// URLMON.DLL, loaded once per process; null when it or one of its entries is missing.
struct UrlMon {
    HRESULT(WINAPI* createAsyncBindCtx)(DWORD, IBindStatusCallback*, IEnumFORMATETC*, IBindCtx**) = nullptr;
    HRESULT(WINAPI* createURLMoniker)(IMoniker*, LPCWSTR, IMoniker**) = nullptr;
    HRESULT(WINAPI* getClassURL)(LPCWSTR, CLSID*) = nullptr;
};

const UrlMon* LoadUrlMon() {
    static const UrlMon* const loaded = []() -> const UrlMon* {
        HMODULE dll = LoadLibraryA("URLMON.DLL");
        if (!dll) return nullptr;
        static UrlMon m;
        m.createAsyncBindCtx = reinterpret_cast<decltype(m.createAsyncBindCtx)>(
            reinterpret_cast<void*>(GetProcAddress(dll, "CreateAsyncBindCtx")));
        m.createURLMoniker = reinterpret_cast<decltype(m.createURLMoniker)>(
            reinterpret_cast<void*>(GetProcAddress(dll, "CreateURLMoniker")));
        m.getClassURL =
            reinterpret_cast<decltype(m.getClassURL)>(reinterpret_cast<void*>(GetProcAddress(dll, "GetClassURL")));
        if (!m.createAsyncBindCtx || !m.createURLMoniker || !m.getClassURL) return nullptr;
        // Wine exports GetClassURL as a stub that ends the process when called; there it
        // never names a class, so it is not asked.
        if (HMODULE nt = GetModuleHandleA("ntdll.dll"))
            if (GetProcAddress(nt, "wine_get_version")) m.getClassURL = nullptr;
        return &m;
    }();
    return loaded;
}

// The class check of an address that tests give in place of GetClassURL.
QivClassUrlCheck g_classUrlCheck = nullptr;



std::string displayNameOf(IMoniker* mk, IBindCtx* ctx) {
    LPOLESTR name = nullptr;
    if (!mk || FAILED(mk->GetDisplayName(ctx, nullptr, &name)) || !name) return std::string();
    std::string s = win::Ansi(name);
    CoTaskMemFree(name);
    return s;
}

// Work that starts, feeds, ends or cancels a load: deferred while a download callback runs,
// and run with the gate closed, so that a load it makes an event handler start waits until
// it has returned.
void guarded(qivctl::CallbackGate& gate, std::function<void()> work) {
    gate.runOrDefer([&gate, work = std::move(work)] {
        qivctl::CallbackGate::Scope scope(gate);
        work();
    });
}

bool isAddress(const std::string& name) { return qivctl::namesAddressScheme(name); }

}  // namespace

void qivSetClassUrlCheck(QivClassUrlCheck check) { g_classUrlCheck = check; }

// ---- the bind-status callback ----

// Receives one download. It refers to its control without a reference of its own: the
// control detaches it when the transfer ends or the control goes, and each call from urlmon
// holds the control for its duration. Everything a call does to the load goes through the
// control's callback gate, so that a message pumped inside a call never re-enters a load.
class CQivPlayerCtl::BindCallback final : public IBindStatusCallback, public IHttpNegotiate {
public:
    explicit BindCallback(CQivPlayerCtl* owner) : owner_(owner), session_(false) {}

    // Starts the binding; 0 when the temporary file cannot be made.
    int start(const std::string& name, IBindCtx* ctx, IMoniker* mk, bool toFile, bool replace) {
        name_ = name;
        ctx_ = ctx;
        moniker_ = mk;
        CQivPlayerCtl* c = owner_;
        if (!toFile && c->BeginStreamLoad(name, replace)) {
            streaming_ = true;
            stream_ = c->StreamLoad();
        } else {
            tempPath_ = qivTempFile("VOV");
            if (tempPath_.empty()) return 0;
            file_ = CreateFileA(tempPath_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
            if (file_ == INVALID_HANDLE_VALUE) {
                DeleteFileA(tempPath_.c_str());
                tempPath_.clear();
                return 0;
            }
        }
        session_ = qivctl::BindSession(!streaming_);
        if (DownloadParts::Running* r = c->downloads().running.get()) {
            r->streamed = streaming_;
            r->session = stream_;
        }
        qcom::ComPtr<BindCallback> self(this);
        IUnknown* data = nullptr;
        const HRESULT hr = moniker_->BindToStorage(ctx_.get(), nullptr, IID_IStream, reinterpret_cast<void**>(&data));
        if (data) data->Release();
        if (FAILED(hr)) OnStopBinding(hr, nullptr);
        return 1;
    }

    // The control lets go: nothing more reaches it, a binding still running is aborted.
    void detach() {
        owner_ = nullptr;
        if (binding_ && !stopped_) binding_->Abort();
    }
    bool stopped() const { return stopped_; }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override try {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IBindStatusCallback))
            *out = static_cast<IBindStatusCallback*>(this);
        else if (IsEqualIID(iid, IID_IHttpNegotiate))
            *out = static_cast<IHttpNegotiate*>(this);
        else
            return *out = nullptr, E_NOINTERFACE;
        AddRef();
        return S_OK;
    } catch (...) { return qcom::exceptionResult(); }
    STDMETHODIMP_(ULONG) AddRef() override { return ULONG(InterlockedIncrement(&refs_)); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG n = InterlockedDecrement(&refs_);
        if (n == 0) delete this;
        return ULONG(n);
    }

    // IBindStatusCallback
    STDMETHODIMP OnStartBinding(DWORD, IBinding* binding) override try {
        binding_ = binding;
        if (!owner_ && binding) binding->Abort();
        return S_OK;
    } catch (...) { return qcom::exceptionResult(); }
    STDMETHODIMP GetPriority(LONG*) override { return S_OK; }
    STDMETHODIMP OnLowResource(DWORD) override { return S_OK; }
    STDMETHODIMP OnProgress(ULONG progress, ULONG maximum, ULONG status, LPCWSTR text) override try {
        Call call(this);
        if (!call.owner) return S_OK;
        const uint32_t id = qivctl::BindSession::statusMessageOf(status);
        const qivctl::BindSession::Progress p =
            session_.onProgress(progress, maximum, status, win::Ansi(text), id ? qivLoadString(id) : std::string());
        if (p.messageId) {
            call.owner->SetStatusText(p.statusLine);
        } else if (p.showProgress && !call.owner->ShowProgress(p.percent, p.done, p.total)) {
            guarded(call.owner->downloads().gate, [c = call.owner] { c->cancelTransfer(); });
        }
        return S_OK;
    } catch (...) { return qcom::exceptionResult(); }
    STDMETHODIMP GetBindInfo(DWORD* flags, BINDINFO*) override try {
        // Delivered through the thread's message loop, never inside BindToStorage.
        if (flags) *flags = qivctl::bindInfoFlags(*flags) | BINDF_ASYNCHRONOUS;
        return S_OK;
    } catch (...) { return qcom::exceptionResult(); }
    STDMETHODIMP OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM* medium) override try {
        Call call(this);
        if (!call.owner || stopped_ || !medium || medium->tymed != TYMED_ISTREAM || !medium->pstm) return S_OK;
        std::vector<uint8_t> piece(qivctl::kBindReadPiece);
        for (;;) {
            ULONG got = 0;
            const HRESULT hr = medium->pstm->Read(piece.data(), ULONG(piece.size()), &got);
            got = std::min<ULONG>(got, ULONG(piece.size()));  // a stream may claim more than it was asked
            if (got > 0) take(piece.data(), got);
            if (hr != S_OK || got == 0 || !owner_ || failed_) break;
        }
        return S_OK;
    } catch (...) { return qcom::exceptionResult(); }
    STDMETHODIMP OnStopBinding(HRESULT result, LPCWSTR) override try {
        if (stopped_) return S_OK;
        stopped_ = true;
        closeFile();
        Call call(this);
        if (call.owner) {
            const bool ok = SUCCEEDED(result) && !failed_ && !session_.truncated();
            qcom::ComPtr<BindCallback> self(this);
            guarded(call.owner->downloads().gate, [self, ok] { self->ended(ok); });
        }
        binding_.reset();
        return S_OK;
    } catch (...) { return qcom::exceptionResult(); }
    STDMETHODIMP OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }

    // IHttpNegotiate: an error answer of the server (404 and the like) fails the transfer
    // instead of delivering the error page as data.
    STDMETHODIMP BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* additional) override try {
        if (additional) *additional = nullptr;
        return S_OK;
    } catch (...) { return qcom::exceptionResult(); }
    STDMETHODIMP OnResponse(DWORD code, LPCWSTR, LPCWSTR, LPWSTR* additional) override try {
        if (additional) *additional = nullptr;
        if (code < 400) return S_OK;
        failed_ = true;
        return E_ABORT;
    } catch (...) { return qcom::exceptionResult(); }

private:
    ~BindCallback() {
        closeFile();
        if (!tempPath_.empty()) DeleteFileA(tempPath_.c_str());
    }

    // One call from urlmon: the control held, the gate closed until the call returns (the
    // work it deferred runs then, with the control still held).
    struct Call {
        explicit Call(BindCallback* cb)
            : self(cb), owner(cb->owner_), keep(owner ? static_cast<IQivPlayer2*>(owner) : nullptr),
              scope(owner ? owner->downloads().gate : spare) {}
        qcom::ComPtr<BindCallback> self;
        CQivPlayerCtl* owner;
        qcom::ComPtr<IQivPlayer2> keep;
        qivctl::CallbackGate spare;
        qivctl::CallbackGate::Scope scope;
    };

    void closeFile() {
        if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
    }

    // The load this download feeds is still the control's.
    bool ownsStream() const {
        const QivLoadSession* s = owner_ ? owner_->StreamLoad() : nullptr;
        return s && s == stream_ && s->sourceName() == name_;
    }

    void abortLater() {
        failed_ = true;
        if (!owner_) return;
        qcom::ComPtr<BindCallback> self(this);
        guarded(owner_->downloads().gate, [self] {
            if (self->binding_ && !self->stopped_) self->binding_->Abort();
        });
    }

    void take(const uint8_t* data, size_t n) {
        qivctl::BindSession::Route r = session_.onData(data, n);
        switch (r.kind) {
            case qivctl::BindSession::Route::Kind::File: {
                DWORD wrote = 0;
                if (!WriteFile(file_, data, DWORD(n), &wrote, nullptr) || wrote != n) abortLater();
                break;
            }
            case qivctl::BindSession::Route::Kind::Feed: {
                qcom::ComPtr<BindCallback> self(this);
                const uint64_t total = r.expectedTotal;
                guarded(owner_->downloads().gate, [self, feed = std::move(r.feed), total] {
                    if (!self->owner_) return;
                    if (!self->ownsStream()) {
                        // The load was ended or replaced: nothing more to feed.
                        self->abortLater();
                        return;
                    }
                    self->owner_->FeedContainerData(feed.data(), feed.size(), total, false);
                });
                break;
            }
            case qivctl::BindSession::Route::Kind::Refuse:
                abortLater();
                break;
            case qivctl::BindSession::Route::Kind::Keep:
                break;
        }
    }

    // The end of the binding, on the control's thread outside any other call.
    void ended(bool ok) {
        CQivPlayerCtl* c = owner_;
        if (!c) return;
        qcom::ComPtr<IQivPlayer2> keep(static_cast<IQivPlayer2*>(c));
        DownloadParts& d = c->downloads();
        const bool current = d.running && d.running->callback.get() == this;
        if (streaming_) {
            if (!ownsStream()) {
                if (current) c->finishTransfer(false);
                return;
            }
            if (ok) {
                qivctl::BindSession::Route rest = session_.finish();
                if (!rest.feed.empty()) c->FeedContainerData(rest.feed.data(), rest.feed.size(), rest.expectedTotal, false);
            }
            // The load's end tells the control (StreamTransferEnded), now or once it is free.
            if (ownsStream()) c->EndStreamLoad(ok);
            else if (current && d.running && d.running->callback.get() == this) c->finishTransfer(false);
            return;
        }
        if (!current) return;
        const int used = ok ? c->onFileDownloaded(tempPath_, name_) : c->onFileDownloaded(std::string(), name_);
        c->finishTransfer(used != 0);
    }

    volatile LONG refs_ = 1;
    CQivPlayerCtl* owner_;
    qcom::ComPtr<IBinding> binding_;
    qcom::ComPtr<IBindCtx> ctx_;
    qcom::ComPtr<IMoniker> moniker_;
    std::string tempPath_;
    HANDLE file_ = INVALID_HANDLE_VALUE;
    std::string name_;
    qivctl::BindSession session_;
    bool streaming_ = false;
    const QivLoadSession* stream_ = nullptr;
    bool stopped_ = false, failed_ = false;
};

CQivPlayerCtl::DownloadParts::~DownloadParts() {
    if (running && running->callback) running->callback->detach();
    if (thumbnail) {
        if (PicRecord* p = thumbnail->detach()) fzFreeImage(&p);
    }
}

void CQivPlayerCtl::DownloadPartsDeleter::operator()(DownloadParts* p) const { delete p; }

CQivPlayerCtl::DownloadParts& CQivPlayerCtl::downloads() {
    if (!downloads_) downloads_.reset(new DownloadParts);
    return *downloads_;
}

// ---- binding ----

// BindURL: 1 when the transfer started (a local file is taken at once and its transfer
// ended), 0 when nothing could start (the caller ends the transfer).
int CQivPlayerCtl::bindURL(const std::string& url, bool toFile, bool replace) {
    DownloadParts& d = downloads();
    const UrlMon* um = LoadUrlMon();
    // A page that may not name local files has its relative names taken below it, and no
    // file URL or share of its is read.
    const bool belowPage = LocalNamesRefused();
    if (belowPage && qivctl::namesLocalFile(url)) return 0;
    qivctl::BindPlan plan = qivctl::planBind(url, d.closing, um != nullptr, FileExists);
    // A local path given as it is is read as a file URL would be.
    if (plan.kind == qivctl::BindPlan::Kind::Remote && !isAddress(url) && !belowPage && FileExists(url)) {
        plan.kind = qivctl::BindPlan::Kind::LocalFile;
        plan.localPath = url;
    }
    if (plan.kind == qivctl::BindPlan::Kind::LocalFile && !qivctl::fileNameAllowed(plan.localPath)) return 0;
    switch (plan.kind) {
        case qivctl::BindPlan::Kind::Refused:
            return 0;
        case qivctl::BindPlan::Kind::LocalMissing:
            finishTransfer(false);
            return 1;
        case qivctl::BindPlan::Kind::LocalFile: {
            std::string path = plan.localPath;
            for (char& ch : path)
                if (ch == '/') ch = '\\';
            if (d.running) d.running->localFile = path;
            const int used = onFileDownloaded(path, url);
            finishTransfer(used != 0);
            return 1;
        }
        case qivctl::BindPlan::Kind::Remote:
            break;
    }
    const std::wstring wurl = win::Wide(url);
    qcom::ComPtr<IMoniker> container;
    if (IOleClientSite* site = clientSite())
        if (FAILED(site->GetMoniker(OLEGETMONIKER_TEMPFORUSER, OLEWHICHMK_CONTAINER, container.put())))
            container.reset();
    qcom::ComPtr<BindCallback> cb = qcom::ComPtr<BindCallback>::attach(new BindCallback(this));
    qcom::ComPtr<IBindCtx> ctx;
    if (FAILED(um->createAsyncBindCtx(0, cb.get(), nullptr, ctx.put())) || !ctx) return 0;
    qcom::ComPtr<IMoniker> mk;
    std::string resolved = url;
    HRESULT hr;
    if (!container) {
        CLSID clsid;
        const QivClassUrlCheck classOf = g_classUrlCheck ? g_classUrlCheck : um->getClassURL;
        if (classOf && SUCCEEDED(classOf(wurl.c_str(), &clsid))) {
            ShowMessage(IDS_URL_NOT_SUPPORTED, url);
            return 0;
        }
        hr = um->createURLMoniker(nullptr, wurl.c_str(), mk.put());
    } else {
        // A relative address is taken from the page that holds the control.
        d.baseUrl = displayNameOf(container.get(), ctx.get());
        hr = um->createURLMoniker(container.get(), wurl.c_str(), mk.put());
        if (SUCCEEDED(hr) && mk) {
            const std::string name = displayNameOf(mk.get(), ctx.get());
            if (!name.empty()) resolved = name;
        }
    }
    if (hr == MK_E_SYNTAX) {
        ShowMessage(IDS_INVALID_URL, url);
        return 0;
    }
    if (FAILED(hr) || !mk) return 0;
    if (d.running) d.running->callback = cb;
    if (d.running && d.running->object && resolved != state_.objectURL) {
        state_.objectURL = resolved;
        d.running->url = resolved;
    }
    if (!cb->start(resolved, ctx.get(), mk.get(), toFile, replace)) {
        if (d.running && d.running->callback.get() == cb.get()) d.running->callback.reset();
        return 0;
    }
    return 1;
}

// ---- the end of a transfer ----

// EndTransfer: the running transfer is over; a failed one with a further candidate tries
// that next. The next pending transfer is asked for in every case.
void CQivPlayerCtl::finishTransfer(bool success) {
    DownloadParts& d = downloads();
    if (!d.running) return;
    std::unique_ptr<DownloadParts::Running> r = std::move(d.running);
    if (r->callback) r->callback->detach();
    if (r->object) {
        d.loadState = 0;
        // What was shown before stays, and ObjectURL names it again.
        if (!success && r->shownBefore && state_.usedCount > 0 && state_.objectURL != r->urlBefore) {
            state_.objectURL = r->urlBefore;
            FireOnChanged(qivdispid::ObjectURL);
            FireOnChanged(qivdispid::ObjectUID);
        }
    } else {
        const qivctl::TransferEnd e = d.queue.end(success, r->textureArrived);
        if (e.listEmpty) d.loadState = 0;
        if (e.reloadScene || e.rebuildTextures) Redraw(true);
    }
    EndProgress(true);
    if (HWND w = hwnd()) PostMessageW(w, kMsgNextTransfer, 0, 0);
}

void CQivPlayerCtl::StreamTransferEnded(bool success) {
    if (!downloads_) return;
    DownloadParts& d = *downloads_;
    if (!d.running || !d.running->streamed || !d.running->session || d.running->session != StreamLoad()) return;
    const qivctl::PendingTransfer* entry = d.running->object ? nullptr : d.queue.current();
    if (entry && entry->kind == qivctl::kTransferBackground) {
        // The picture shown while it arrived enters the background picture cache under its
        // address, unless it is incomplete or BackPictureURL names another one by now.
        PicRecord* picture = BackgroundPicture();
        const std::vector<std::string> names =
            qivctl::backPictureCandidates(d.backPictureUrl, win_->textureBaseUrl, win_->texturePath);
        const bool named = std::find(names.begin(), names.end(), entry->name()) != names.end();
        const bool cached = picture && qivctl::BackPictureCacheUses(picture) > 0;
        if (success && named && picture && !cached) {
            d.backPictureUrl = d.running->url;
            qivctl::BackPictureCacheAdd(d.backPictureUrl, picture);
            SetBackPicture(picture, qivctl::BackPictureCacheUses(picture) > 0);
            d.backPictureFile = d.running->localFile;
            FireOnChanged(19);
        } else if (picture && !cached) {
            setBackgroundPicture(nullptr);
            ApplyBackPicMode(false);
            Redraw(true);
        }
    }
    finishTransfer(success);
}

// The running transfer stops (the cancel button, a new object, the window going): a
// streaming load ends with failure, which brings back what was shown.
void CQivPlayerCtl::cancelTransfer() {
    DownloadParts& d = downloads();
    if (!d.running) return;
    DownloadParts::Running* r = d.running.get();
    if (r->callback) r->callback->detach();
    if (r->streamed && r->session && r->session == StreamLoad()) EndStreamLoad(false);
    if (d.running.get() == r) finishTransfer(false);
}

void CQivPlayerCtl::dropObjectDownload() {
    DownloadParts& d = downloads();
    if (!d.running || !d.running->object) return;
    // A new object takes the place: the one shown before does not come back, nor its URL.
    d.running->shownBefore = false;
    cancelTransfer();
}

void CQivPlayerCtl::OnWindowClosing() {
    DownloadParts& d = downloads();
    d.closing = true;
    d.delayedLoad = d.deferredLoad = false;
    cancelTransfer();
    d.queue.clear();
    d.loadState = 0;
    d.target.reset();
    d.targetState = 0;
}

// ---- what a download leaves ----

// OnFileDownloaded: the file of a finished download goes to its consumer; 1 when it was
// taken, 0 when there is no file or it could not be used.
int CQivPlayerCtl::onFileDownloaded(const std::string& file, const std::string& url) {
    DownloadParts& d = downloads();
    DownloadParts::Running* r = d.running.get();
    if (file.empty() || !r) return 0;
    const qivctl::PendingTransfer* entry = r->object ? nullptr : d.queue.current();
    if (!r->object && !entry) return 0;
    const qivctl::DownloadConsumer consumer =
        qivctl::downloadConsumerOf(r->object ? 2 : 3, entry ? entry->kind : 0);
    const bool container = (consumer == qivctl::DownloadConsumer::Object ||
                            consumer == qivctl::DownloadConsumer::FurtherObject) &&
                           IsQivContainerFile(file.c_str());
    // Compressed files are expanded first; a plain file is copied as it is.
    std::string copy = container ? std::string() : qivExpandToTemp(file, "PEL");
    const std::string path = copy.empty() ? file : copy;
    int used = 0;
    switch (consumer) {
        case qivctl::DownloadConsumer::Object: {
            used = LoadLocalFile(path.c_str(), url.c_str(), true);
            if (!used) break;
            state_.cancelRequested = false;
            QivWindowParts& w = *win_;
            if (w.tempCopy != copy) qivDeleteTempCopy(w);
            w.tempCopy = copy;
            copy.clear();  // kept with the object
            const bool changed = state_.objectURL != url;
            state_.objectURL = url;
            if (changed) {
                FireOnChanged(qivdispid::ObjectURL);
                FireOnChanged(qivdispid::ObjectUID);
            }
            autoSaveObject(url);
            if (w.startAnimationPending && hwnd()) {
                w.startAnimationPending = false;
                put_AnimPlaying(VARIANT_TRUE);
            }
            RefreshBarState();
            Redraw(true);
            if (!container) noteObjectLoaded(state_.currentSlot, url);
            LoadBackPicture();
            break;
        }
        case qivctl::DownloadConsumer::FurtherObject: {
            const int32_t slot = entry->slot;
            if (!qivctl::slotValid(state_, slot) || state_.slots[size_t(slot)].node ||
                state_.slots[size_t(slot)].sourceName != entry->cachedAs())
                break;
            state_.loadingSlot = slot;
            used = LoadLocalFile(path.c_str(), url.c_str(), false, slot);
            state_.loadingSlot = -1;
            if (!used) break;
            slotChanged(slot, true);
            if (!container) noteObjectLoaded(slot, url);
            break;
        }
        case qivctl::DownloadConsumer::Background: {
            // A picture BackPictureURL no longer names is dropped.
            const std::vector<std::string> names =
                qivctl::backPictureCandidates(d.backPictureUrl, win_->textureBaseUrl, win_->texturePath);
            if (std::find(names.begin(), names.end(), entry->name()) == names.end()) {
                used = 1;
                break;
            }
            if (!SetBackgroundPictureFile(path)) break;
            d.backPictureFile = r->localFile;
            used = 1;
            FireOnChanged(qivdispid::BackPictureURL);
            break;
        }
        case qivctl::DownloadConsumer::Material: {
            MatInput m{};
            if (!qivReadMaterialFile(path, &m)) break;
            qivctl::MaterialCacheAdd(entry->cachedAs(), m);
            used = ApplyMaterial(entry->slot, entry->index, m) ? 1 : 0;
            break;
        }
        case qivctl::DownloadConsumer::SlotTexture:
        case qivctl::DownloadConsumer::TextureHandle: {
            TexRecord* t = LoadTextureFile(entry->cachedAs(), path, entry->scope);
            if (!t) break;
            used = 1;
            r->textureArrived = true;
            qivctl::TextureCacheHold(t);
            if (!storeTextureFor(*entry, t)) qivctl::TextureCacheRelease(t);
            break;
        }
    }
    if (!copy.empty()) DeleteFileA(copy.c_str());
    return used;
}

// A texture for the entry's slot: a replacement (kind 5) fires TextureChanged; a texture of
// an object's own list goes only where that object still names it. The caller's hold on the
// texture passes to the slot.
bool CQivPlayerCtl::storeTextureFor(const qivctl::PendingTransfer& t, TexRecord* texture) {
    if (!qivctl::slotValid(state_, t.slot)) return false;
    QivObjectSlot& s = state_.slots[size_t(t.slot)];
    if (!s.node || !s.node->content || t.index < 0 || uint32_t(t.index) >= s.node->content->areaCount) return false;
    if (t.kind == qivctl::kTransferSlotTexture) {
        if (!SetObjectTexture(t.slot, t.index, texture)) return false;
        if (!eventsFrozen()) FireTextureChanged(t.slot, -1, t.index, win::Wide(t.cachedAs()));
        return true;
    }
    const PelContent* content = s.node->content;
    const std::vector<std::string> names =
        qivctl::textureNamesOf(content->areaNames, content->areaNames ? content->areaNameBytes : 0, content->areaCount);
    if (names[size_t(t.index)] != t.cachedAs()) return false;
    return SetObjectTexture(t.slot, t.index, texture);
}

void CQivPlayerCtl::autoSaveObject(const std::string& url) {
    if (state_.usedCount == 0 || !GetAutoSave() || !state_.saveFiles[0]) return;
    const std::string path = qivctl::autoSavePath(url, GetObjectPath(), FileExists);
    if (!path.empty()) SaveObjectFile(path.c_str(), false, "", nullptr, true);
}

// ---- the pending transfers ----

bool CQivPlayerCtl::QueueTransfer(int32_t kind, std::vector<std::string> candidates, int32_t slot, int32_t index,
                                  const std::string& cacheName, const std::string& scope) {
    qivctl::PendingTransfer t;
    t.kind = kind;
    t.candidates = std::move(candidates);
    t.slot = slot;
    t.index = index;
    t.cacheName = cacheName;
    t.scope = scope;
    if (!downloads().queue.add(std::move(t))) return false;
    if (HWND w = hwnd()) PostMessageW(w, kMsgNextTransfer, 0, 0);
    return true;
}

bool CQivPlayerCtl::ObjectDownloadPending(int32_t slot) const {
    if (!downloads_) return false;
    for (const qivctl::PendingTransfer& t : downloads_->queue.entries())
        if (t.kind == qivctl::kTransferObject && t.slot == slot) return true;
    return false;
}

bool CQivPlayerCtl::TransfersIdle() const {
    return !downloads_ || (!downloads_->running && downloads_->queue.empty());
}

// A cached object for a slot (-1: the object of ObjectURL, which replaces the scene).
bool CQivPlayerCtl::serveObjectFromCache(int32_t slot, const std::string& url) {
    if (!qivctl::ObjectCacheFind(url, nullptr, nullptr, nullptr, document().inlineName)) return false;
    if (slot < 0) {
        UnloadScene(true);
        qivDeleteTempCopy(*win_);
        slot = qivctl::slotAllocate(state_);
        state_.slots[size_t(slot)].sourceName = url;
        if (state_.currentSlot < 0) state_.currentSlot = slot;
        if (!loadSlot(slot)) {
            qivctl::slotDelete(state_, slot);
            if (state_.currentSlot == slot) state_.currentSlot = -1;
            return false;
        }
        state_.sceneChanged = true;
        rebuildRoots();
        if (state_.sceneRoots) PrepareScene(state_.sceneRoots, true, false, false);
        RefreshBarState();
        Redraw(true);
        noteObjectLoaded(slot, url);
        LoadBackPicture();
        return true;
    }
    if (!qivctl::slotValid(state_, slot) || state_.slots[size_t(slot)].node) return false;
    if (!loadSlot(slot)) return false;
    slotChanged(slot, true);
    noteObjectLoaded(slot, url);
    return true;
}

void CQivPlayerCtl::OnTransferDone() {
    DownloadParts& d = downloads();
    guarded(d.gate, [this] {
        DownloadParts& d = downloads();
        // One download at a time; a load that waits after its preview ends first.
        if (d.running || d.closing || StreamLoadRunning()) return;
        qivctl::TransferServeHooks hooks;
        hooks.storeTexture = [this](const qivctl::PendingTransfer& t, TexRecord* texture) {
            return storeTextureFor(t, texture);
        };
        hooks.applyMaterial = [this](const qivctl::PendingTransfer& t, const MatInput& m) {
            return ApplyMaterial(t.slot, t.index, m);
        };
        hooks.serveObject = [this](const qivctl::PendingTransfer& t) {
            return serveObjectFromCache(t.slot, t.cachedAs());
        };
        hooks.streaming = [this] { return StreamLoadRunning(); };
        for (;;) {
            const qivctl::TransferStep step = d.queue.next(qivctl::cacheServing(d.queue, hooks));
            if (step.kind == qivctl::TransferStep::Kind::Idle) {
                d.loadState = 0;
                if (step.refreshView) Redraw(true);
                return;
            }
            if (step.kind == qivctl::TransferStep::Kind::Busy) {
                // An entry marked started without a download (ended by the window going).
                d.queue.end(false, false);
                continue;
            }
            const qivctl::PendingTransfer* e = d.queue.current();
            const bool object = e->kind == qivctl::kTransferObject;
            d.loadState = step.loadState;
            d.running = std::make_unique<DownloadParts::Running>();
            d.running->url = step.url;
            state_.cancelRequested = false;
            BeginProgress(step.messageId);
            SetStatusText(std::string());
            if (object) state_.loadingSlot = e->slot;
            // Objects are streamed, and a background picture in JPEG form, shown scan by scan as
            // it arrives; the other kinds are read from their finished file.
            const bool streamed = object || (e->kind == qivctl::kTransferBackground &&
                                             qivStreamLoadKind(step.url) == QivStreamKind::Picture);
            const int started = bindURL(step.url, !streamed, false);
            if (object && !StreamLoadRunning()) state_.loadingSlot = -1;
            if (!started) finishTransfer(false);
            return;
        }
    });
}

// ---- the object of ObjectURL ----

// An object name that is downloaded: an address, or a relative name on a web page (taken
// below the page). Anything else is a local file.
bool CQivPlayerCtl::namesAddress(const std::string& url) {
    if (isAddress(url)) return true;
    if (url.empty() || qivctl::isFileUrl(url) || (!LocalNamesRefused() && FileExists(url))) return false;
    IOleClientSite* site = clientSite();
    if (!site) return false;
    qcom::ComPtr<IMoniker> page;
    qcom::ComPtr<IBindCtx> ctx;
    if (FAILED(site->GetMoniker(OLEGETMONIKER_TEMPFORUSER, OLEWHICHMK_CONTAINER, page.put())) || !page ||
        FAILED(CreateBindCtx(0, ctx.put())))
        return false;
    return isAddress(displayNameOf(page.get(), ctx.get()));
}

HRESULT CQivPlayerCtl::SetObjectURL(const std::string& url) {
    DownloadParts& d = downloads();
    const qivctl::ObjectUrlPut plan = qivctl::planObjectUrlPut(url, state_.objectURL, hwnd() != nullptr, false);
    if (plan.refused) return E_INVALIDARG;
    if (plan.nothing) return S_OK;
    d.closing = false;
    // Local names of a page that may not name them are refused whether they exist or not.
    if (!url.empty() && LocalNamesRefused() && (qivctl::namesLocalFile(url) || !namesAddress(url)))
        return E_ACCESSDENIED;
    if (!namesAddress(url)) {
        // A local file is read at once.
        if (url.empty()) {
            // No object named: nothing is shown or loaded.
            dropObjectDownload();
            UnloadScene(true);
            qivDeleteTempCopy(*win_);
            state_.objectURL.clear();
            ObjectNameChanged();
            return S_OK;
        }
        if (url == state_.objectURL && state_.usedCount > 0) return S_OK;
        if (!qivctl::fileNameAllowed(url)) return E_INVALIDARG;
        // A relative name lies below the document's folder.
        if (!win_->workingDirectory.empty()) SetCurrentDirectoryA(win_->workingDirectory.c_str());
        LoadObjectFile(qivctl::resolveObjectName(url, FileExists).path);
        return S_OK;
    }
    const bool loadedOrLoading = state_.usedCount > 0 || (d.running && d.running->object);
    if (url == state_.objectURL && loadedOrLoading) return S_OK;
    if (!d.running || !d.running->object) {
        d.shownUrl = state_.objectURL;
        d.shownBeforePut = state_.usedCount > 0;
    }
    if (url != state_.objectURL) {
        state_.objectURL = url;
        FireOnChanged(qivdispid::ObjectURL);
        FireOnChanged(qivdispid::ObjectUID);
    }
    // An object the document brought inline is taken as the one the address names.
    if (!hwnd() && CurrentIsInline()) {
        qivctl::ObjectCacheRenameInline(document().inlineName, url);
        return S_OK;
    }
    if (hwnd()) StartURLLoad(true);
    return S_OK;
}

void CQivPlayerCtl::StartURLLoad(bool fromPut) {
    if (!hwnd()) return;
    DownloadParts& d = downloads();
    d.delayedLoad = d.deferredLoad = false;
    const std::string url = state_.objectURL;
    if (url.empty() || (!fromPut && state_.usedCount > 0)) return;
    guarded(d.gate, [this, url] { startObjectDownload(url, true); });
}

void CQivPlayerCtl::startObjectDownload(const std::string& url, bool replace) {
    DownloadParts& d = downloads();
    if (state_.objectURL != url || d.closing) return;
    const std::string before = d.shownUrl;
    const bool shownBefore = d.shownBeforePut && state_.usedCount > 0;
    d.shownUrl.clear();
    d.shownBeforePut = false;
    // The download under way and the transfers of what was shown give way.
    cancelTransfer();
    d.queue.clear();
    if (serveObjectFromCache(-1, url)) return;
    d.running = std::make_unique<DownloadParts::Running>();
    DownloadParts::Running& r = *d.running;
    r.object = true;
    r.url = url;
    r.urlBefore = before;
    r.shownBefore = shownBefore;
    // BeginDownload.
    state_.cancelRequested = false;
    BeginProgress(IDS_LOADING_GEOMETRY);
    d.loadState = 2;
    if (!bindURL(url, false, replace)) finishTransfer(false);
}

void CQivPlayerCtl::StartLoadsOnActivation() {
    DownloadParts& d = downloads();
    d.closing = false;
    if (!d.backPictureUrl.empty() && state_.usedCount > 0) LoadBackPicture();
    // A picture that came before the window (a document's) is drawn now.
    if (BackgroundPicture() && !state_.sceneRoots) {
        ApplyBackPicMode(false);
        DrawBackdrop();
    }
    if (state_.objectURL.empty() || state_.usedCount > 0 || !namesAddress(state_.objectURL)) return;
    if (props_.delayBeforeLoad != 0 && hwnd()) {
        d.delayedLoad = true;
        SetTimer(hwnd(), kTimerDelayedLoad, UINT(props_.delayBeforeLoad), nullptr);
        return;
    }
    StartURLLoad();
}

void CQivPlayerCtl::OnDelayedLoadTimer() {
    DownloadParts& d = downloads();
    if (!d.delayedLoad || !hwnd()) return;
    d.delayedLoad = false;
    // A view that cannot be seen starts its load when it is drawn.
    RECT client;
    GetClientRect(hwnd(), &client);
    HDC dc = GetDC(hwnd());
    const bool visible = dc && RectVisible(dc, &client);
    if (dc) ReleaseDC(hwnd(), dc);
    if (!visible) {
        d.deferredLoad = true;
        win_->loadDue = true;
        return;
    }
    StartURLLoad();
}

void CQivPlayerCtl::RunDeferredURLLoad() {
    if (!downloads_ || !downloads_->deferredLoad) return;
    downloads_->deferredLoad = false;
    win_->loadDue = false;
    StartURLLoad();
}

// ---- background picture ----

void CQivPlayerCtl::LoadBackPicture() {
    DownloadParts& d = downloads();
    const std::string url = d.backPictureUrl;
    if (url.empty()) return;
    if (!win_->workingDirectory.empty()) SetCurrentDirectoryA(win_->workingDirectory.c_str());
    // Already on its way.
    const std::vector<std::string> names = qivctl::backPictureCandidates(url, win_->textureBaseUrl, win_->texturePath);
    for (const qivctl::PendingTransfer& t : d.queue.entries())
        if (t.kind == qivctl::kTransferBackground && std::find(names.begin(), names.end(), t.name()) != names.end())
            return;
    PicRecord* picture = nullptr;
    const qivctl::BackPictureLoad r =
        qivctl::loadBackPicture(url, win_->textureBaseUrl, win_->texturePath, d.queue, &picture);
    if (r == qivctl::BackPictureLoad::FromCache) {
        // The picture shown already keeps the one use it holds, and the file it was read from.
        const bool shownAlready = picture == BackgroundPicture();
        if (shownAlready) qivctl::ReleaseBackPicture(picture);
        else SetBackPicture(picture, true);
        // Cached under this very name: a local one was read from the file it names.
        const std::string local = qivctl::localPathOfUrl(url);
        if (FileExists(local)) d.backPictureFile = local;
        else if (!shownAlready || !FileExists(d.backPictureFile)) d.backPictureFile.clear();
        ApplyBackPicMode(false);
        if (!state_.sceneRoots) DrawBackdrop();
        Redraw(true);
    } else if (r == qivctl::BackPictureLoad::Queued) {
        if (HWND w = hwnd()) PostMessageW(w, kMsgNextTransfer, 0, 0);
    }
}

bool CQivPlayerCtl::SetBackgroundPictureFile(const std::string& path) {
    PicRecord* picture = LoadPictureFromFile(path.c_str());
    if (!picture) return false;
    DownloadParts& d = downloads();
    if (d.running && !d.running->object && !d.running->url.empty()) d.backPictureUrl = d.running->url;
    bool cached = false;
    if (!d.backPictureUrl.empty()) {
        qivctl::BackPictureCacheAdd(d.backPictureUrl, picture);
        cached = qivctl::BackPictureCacheUses(picture) > 0;
    }
    SetBackPicture(picture, cached);
    ApplyBackPicMode(false);
    win_->frameShown = false;
    if (!state_.sceneRoots) DrawBackdrop();
    Redraw(true);
    return true;
}

// ---- progress ----

void CQivPlayerCtl::BeginProgress(UINT prefixId) {
    if (!hwnd()) return;
    downloads().progress.begin(qivLoadString(IDS_PROGRESS_BYTES), qivLoadString(prefixId));
    state_.statusText[0] = 0;
    InvalidateRect(hwnd(), nullptr, TRUE);
}

namespace {

void execCommand(IOleCommandTarget* target, OLECMDID id, const VARIANT* in) {
    VARIANT arg = *in;
    target->Exec(nullptr, id, OLECMDEXECOPT_DONTPROMPTUSER, &arg, nullptr);
}

void execLong(IOleCommandTarget* target, OLECMDID id, LONG value) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = value;
    execCommand(target, id, &v);
}

}  // namespace

void CQivPlayerCtl::SetStatusText(const std::string& text) { showStatus(downloads().progress.setStatusText(text)); }

// The status line in the loading panel and, with a command target, the container's bar.
void CQivPlayerCtl::showStatus(const std::string& status) {
    DownloadParts& d = downloads();
    const bool wasEmpty = state_.statusText[0] == 0;
    lstrcpynA(state_.statusText, status.c_str(), sizeof state_.statusText);
    askCommandTarget();
    if (HWND w = hwnd()) {
        if (wasEmpty) {
            RECT client;
            GetClientRect(w, &client);
            LayoutBar(client);
        }
        InvalidateRect(w, nullptr, FALSE);
    }
    if (d.targetState == 1) {
        VARIANT v;
        VariantInit(&v);
        V_VT(&v) = VT_BSTR;
        V_BSTR(&v) = SysAllocString(win::Wide(status).c_str());
        execCommand(d.target.get(), OLECMDID_SETPROGRESSTEXT, &v);
        VariantClear(&v);
        execLong(d.target.get(), OLECMDID_SETPROGRESSPOS, 100);
    }
}

// The container's command target, asked for once (state 1 when it has one).
void CQivPlayerCtl::askCommandTarget() {
    DownloadParts& d = downloads();
    if (d.targetState != 0 || !clientSite()) return;
    d.targetState = 2;
    if (FAILED(clientSite()->QueryInterface(IID_IOleCommandTarget, reinterpret_cast<void**>(d.target.put()))) ||
        !d.target)
        return;
    OLECMD cmds[3] = {{OLECMDID_SETPROGRESSMAX, 0}, {OLECMDID_SETPROGRESSPOS, 0}, {OLECMDID_SETPROGRESSTEXT, 0}};
    d.target->QueryStatus(nullptr, 3, cmds, nullptr);
    d.targetState = 1;
}

bool CQivPlayerCtl::ShowProgress(uint32_t value, uint32_t done, uint32_t total) {
    DownloadParts& d = downloads();
    if (downloadProgressHook) downloadProgressHook(value, done, total);
    askCommandTarget();
    // The own bar shows for the object itself while the load has nothing on display yet (no
    // preview, no object).
    const QivLoadSession* s = StreamLoad();
    const bool ownBarHidden = d.loadState != 2 || (s && (s->previewShown() || s->object()));
    const qivctl::ProgressDisplay::Update u = d.progress.show(value, done, total, ownBarHidden);
    QivWindowParts& w = *win_;
    HWND window = hwnd();
    HWND cancel = w.bar[qivctl::BarCancel - qivctl::BarRayTrace];
    if (u.firstShow && window) {
        w.loadingPanel = true;
        RECT client;
        GetClientRect(window, &client);
        LayoutBar(client);
        if (w.progress) SendMessageA(w.progress, PBM_SETRANGE32, 0, 100);
        if (cancel) SetFocus(cancel);
    }
    if (u.textChanged) showStatus(u.statusText);
    if (u.valueChanged) {
        if (w.progress) {
            SendMessageA(w.progress, PBM_SETPOS, WPARAM(value), 0);
            InvalidateRect(w.progress, nullptr, FALSE);
        }
        if (d.targetState == 1) execLong(d.target.get(), OLECMDID_SETPROGRESSPOS, LONG(value));
    }
    for (int i = 0; i < 2 && window; ++i) {
        if (cancel) PumpMessages(cancel, 0, 0);
        if (w.link) PumpMessages(w.link, 0, 0);
        PumpMessages(window, 0, 0);
        UpdateWindow(window);
    }
    return !state_.cancelRequested;
}

void CQivPlayerCtl::EndProgress(bool releaseTarget) {
    DownloadParts& d = downloads();
    QivWindowParts& w = *win_;
    const bool shown = w.loadingPanel || state_.statusText[0];
    if (HWND cancel = w.bar[qivctl::BarCancel - qivctl::BarRayTrace]) ShowWindow(cancel, SW_HIDE);
    if (w.progress) ShowWindow(w.progress, SW_HIDE);
    if (w.hardwareWindow) ShowWindow(w.hardwareWindow, SW_SHOW);
    if (d.targetState == 1 && releaseTarget && d.target) {
        VARIANT v;
        VariantInit(&v);
        V_VT(&v) = VT_BSTR;
        V_BSTR(&v) = SysAllocString(L"");
        execCommand(d.target.get(), OLECMDID_SETPROGRESSTEXT, &v);
        VariantClear(&v);
        execLong(d.target.get(), OLECMDID_SETPROGRESSPOS, 0);
        d.target.reset();
        d.targetState = 0;
    }
    d.progress.end();
    state_.statusText[0] = 0;
    w.loadingPanel = false;
    if (shown) {
        if (HWND window = hwnd()) {
            RECT client;
            GetClientRect(window, &client);
            LayoutBar(client);
            InvalidateRect(window, nullptr, FALSE);
        }
    }
}

// A frame of an object is drawn: the object's own progress bar goes (texture transfers keep
// their status line).
void CQivPlayerCtl::ProgressOnFrame() {
    if (!downloads_ || downloads_->loadState == 3 || !win_->progress || !IsWindowVisible(win_->progress)) return;
    EndProgress(false);
}

bool CQivPlayerCtl::PumpMessages(HWND window, UINT first, UINT last) {
    if (!window || state_.cancelRequested) return false;
    uint32_t low = 0, high = 0;
    qivctl::pumpRange(first, last, &low, &high);
    bool any = false;
    MSG m;
    while (!state_.cancelRequested && PeekMessageA(&m, window, low, high, PM_REMOVE)) {
        any = true;
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    return any;
}

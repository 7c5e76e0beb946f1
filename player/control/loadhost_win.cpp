// The control as the host of its streaming load: one entry for the pieces of a transfer
// whatever they come from, the load session's window side (the preview as the frame's
// background, the object into its slot, textures, saved views, events, timer 55), the scene
// kept aside while a replacing load runs, local containers read in pieces, the container
// kept for saving, and the frame statistics callback.
#include <windows.h>

#include <algorithm>
#include <deque>
#include <vector>

#include "backend_win.h"
#include "background.h"
#include "caches.h"
#include "container_win.h"
#include "ctlmodule_win.h"
#include "loadsession.h"
#include "localfile.h"
#include "qivcontainer.h"
#include "qivctl_win.h"
#include "render/clear.h"
#include "render/fzbuffer.h"
#include "render/kvdirectx.h"
#include "slots.h"
#include "scene/engine.h"
#include "scene/sceneops.h"
#include "scene/texture.h"
#include "window_win.h"

namespace {

constexpr UINT_PTR kPreviewTimer = 55;
constexpr UINT kSavedViewCommand = 29000;
constexpr DWORD kFilePiece = 64 * 1024;

class TickClock : public QivLoadClock {
public:
    uint32_t nowMs() override { return GetTickCount(); }
};
TickClock g_tickClock;

// Frees a picture the control owns; the process-wide background must not keep pointing at it.
void freePicture(PicRecord*& picture) {
    if (!picture) return;
    QivRenderLockGuard lock;
    FzBackgroundState& st = fzBackgroundState();
    if (st.bg.picture == picture) {
        BgRecord plain = st.bg;
        plain.picture = nullptr;
        plain.mode = 0;
        fzSetBackground(&plain);
    }
    fzFreeImage(&picture);
    picture = nullptr;
}

}  // namespace

struct CQivPlayerCtl::LoadParts {
    // The running load and its host; a load ended while a call into it is under way waits in
    // ended until that call has returned.
    std::unique_ptr<LoadHost> host;
    std::unique_ptr<QivLoadSession> session;
    std::vector<std::pair<std::unique_ptr<QivLoadSession>, std::unique_ptr<LoadHost>>> ended;
    struct Piece {
        std::vector<uint8_t> data;
        uint64_t total = 0;
        bool end = false;      // the transfer ends with this piece
        bool stop = false;     // the transfer ended (no data)
        bool success = true;
    };
    std::deque<Piece> queued;
    std::string baseDirectory;
    bool replacing = false;
    bool ownsSlot = false;
    uint32_t serial = 0;          // loads started
    uint32_t finishedSerial = 0;  // the last load that ended, and how
    bool finishedOk = false;
    uint32_t lastError = 0;
    QivLoadClock* clock = nullptr;

    // The scene a replacing load stands in for.
    struct Shelf {
        bool held = false;
        std::vector<QivObjectSlot> slots;
        int32_t currentSlot = -1, usedCount = 0;
        bool animationRunning = false;
    } shelf;

    PicRecord* background = nullptr;  // owned (or held from the background picture cache)
    bool backgroundCached = false;
    PicRecord* preview = nullptr;     // the container's preview kept for the 2D view
    bool previewCached = false;       // the 2D view has put a cached background picture here
    std::vector<PicRecord*> unused;   // let go while an ended load may still draw into them
    bool previewShown = false;        // HasThumbnail
    bool backdrop = false;            // the frame buffer shows a picture without a scene

    // The container of the shown object, and the name of the load that brought it.
    QivKeptContainer kept;
    std::string keptName;
    std::unique_ptr<uint8_t[]> payload;
    uint32_t payloadSize = 0;
    uint64_t fileTime = 0;

    ~LoadParts();
};

// The window side of one load session. A host whose load was ended while the session was
// busy is detached: it does nothing more, and frees what it is handed.
class CQivPlayerCtl::LoadHost : public QivLoadHost {
public:
    explicit LoadHost(CQivPlayerCtl& c) : c_(c) {}
    bool detached = false;
    int busy = 0;  // calls into its session under way

    int32_t backPicMode() override { return c_.props_.backPicMode; }
    void setBackPicMode(int32_t mode) override {
        if (!detached) c_.props_.backPicMode = mode;
    }
    void showBackground(PicRecord* picture, bool preview) override {
        if (detached) {
            c_.dropPicture(picture);
            return;
        }
        c_.setBackgroundPicture(picture);
        if (preview) {
            c_.load_->previewShown = true;
            c_.OnThumbnailReady();
        } else {
            c_.ApplyBackPicMode(false);
            c_.DrawBackdrop();
        }
    }
    void drawBackgroundPass() override {
        if (detached) return;
        if (PicRecord* p = c_.load_->background) {
            QivRenderLockGuard lock;
            texBuild(p);
        }
        c_.DrawBackdrop();
    }
    void keepPreviewPicture() override {
        if (detached) return;
        LoadParts& l = *c_.load_;
        if (!l.preview && !l.backgroundCached) {
            l.preview = l.background;
        } else if (l.background && !l.backgroundCached) {
            c_.dropPicture(l.background);
        } else if (l.background) {
            qivctl::ReleaseBackPicture(l.background);
        }
        l.background = nullptr;
        l.backgroundCached = false;
        c_.state_.background.picture = nullptr;
    }
    void setPreviewPicture(PicRecord* picture) override {
        if (detached) {
            c_.dropPicture(picture);
            return;
        }
        c_.releasePreview();
        c_.load_->preview = picture;
    }
    void rebuildBackground() override {
        if (detached) return;
        c_.ApplyBackPicMode(false);
        c_.state_.frameValid = false;
        if (!c_.state_.sceneRoots && c_.load_->backdrop) c_.DrawBackdrop();
    }
    void startPreviewTimer(uint32_t ms) override {
        if (!detached && c_.hwnd()) SetTimer(c_.hwnd(), kPreviewTimer, ms, nullptr);
    }
    bool addObject(PelContent* content, bool hasTextures) override {
        if (detached) return false;
        return c_.addLoadedObject(content, hasTextures);
    }
    void objectReplaced(PelContent*, PelContent* now) override {
        if (detached) return;
        c_.countTriangles(now);
        c_.Redraw(true);
    }
    void redraw() override {
        if (detached) return;
        if (c_.state_.sceneRoots) c_.Redraw(true);
        else if (c_.load_->backdrop) c_.DrawBackdrop();
    }
    void setTexture(uint32_t index, TexRecord* texture) override {
        if (detached) return;
        QivObjectSlot* s = c_.loadingSlot();
        if (!s || !s->node || !s->node->content || index >= s->node->content->areaCount) return;
        if (s->textureHandles.size() < s->node->content->areaCount)
            s->textureHandles.resize(s->node->content->areaCount, nullptr);
        TexRecord*& h = s->textureHandles[index];
        if (h == texture) return;
        qivctl::TextureCacheHold(texture);
        if (h) qivctl::TextureCacheRelease(h);
        h = texture;
        scnSetAreaTextures(s->node, s->textureHandles.data());
        c_.state_.frameValid = false;
    }
    uint32_t textureSlots() override {
        const QivObjectSlot* s = c_.loadingSlot();
        return s && s->node && s->node->content ? s->node->content->areaCount : 0;
    }
    void applyFirstSavedView() override {
        if (!detached && c_.hwnd()) PostMessageW(c_.hwnd(), WM_COMMAND, kSavedViewCommand, 0);
    }
    void initAnimation() override {
        if (detached) return;
        c_.InitObjectAnimation(c_.state_.loadingSlot);
        // A play request that came before the object is carried out now.
        if (c_.win_->startAnimationPending && c_.hwnd() && c_.state_.loadingSlot >= 0) {
            c_.win_->startAnimationPending = false;
            c_.StartObjectAnimation(c_.state_.loadingSlot);
        }
    }
    void fireObjectLoaded() override {
        if (detached) return;
        const std::string url = c_.load_->session ? c_.load_->session->sourceName() : std::string();
        c_.noteObjectLoaded(c_.state_.loadingSlot, url);
    }
    void loadBackPictureURL() override {
        if (!detached) c_.LoadBackPicture();
    }
    void endTransfer(bool success) override {
        if (!detached) c_.StreamTransferEnded(success);
    }

private:
    CQivPlayerCtl& c_;
};

CQivPlayerCtl::LoadParts::~LoadParts() {
    session.reset();
    host.reset();
    ended.clear();
    if (background && backgroundCached) qivctl::ReleaseBackPicture(background);
    else freePicture(background);
    if (preview && previewCached) qivctl::ReleaseBackPicture(preview);
    else freePicture(preview);
    for (PicRecord*& p : unused) freePicture(p);
}

void CQivPlayerCtl::LoadPartsDeleter::operator()(LoadParts* p) const { delete p; }
CQivPlayerCtl::LoadParts* CQivPlayerCtl::newLoadParts() { return new LoadParts; }

QivObjectSlot* CQivPlayerCtl::loadingSlot() {
    const int32_t i = state_.loadingSlot;
    return i >= 0 && size_t(i) < state_.slots.size() ? &state_.slots[size_t(i)] : nullptr;
}

// ---- the load's entry ----

int CQivPlayerCtl::BeginStreamLoad(const std::string& name, bool replace) {
    const QivStreamKind kind = qivStreamLoadKind(name);
    if (kind == QivStreamKind::None) return 0;
    return beginLoad(name, kind, replace, std::string(), false, false);
}

int CQivPlayerCtl::beginLoad(const std::string& name, QivStreamKind kind, bool replace, const std::string& base,
                             bool noPreview, bool allAtHand) {
    endLoadNow();
    LoadParts& l = *load_;
    const bool picture = kind == QivStreamKind::Picture;
    if (!picture) {
        if (replace) {
            InitWindow();
            if (win_->animationRunning) put_AnimPlaying(VARIANT_FALSE);
            shelveScene();
        }
        // The loading slot: the one the caller set, else a new one.
        l.ownsSlot = false;
        if (state_.loadingSlot < 0 || size_t(state_.loadingSlot) >= state_.slots.size()) {
            state_.loadingSlot = qivctl::slotAllocate(state_);
            state_.slots[size_t(state_.loadingSlot)].sourceName = name;
            l.ownsSlot = true;
        }
        if (state_.loadingSlot == 0 && state_.currentSlot < 0) state_.currentSlot = 0;
    }
    QivLoadSettings st;
    st.delayAfterPreview = props_.delayAfterPreview;
    st.previewMode = state_.previewMode;
    st.incrementalDisplay = props_.incrementalDisplay;
    st.loadingSlot = picture ? 0 : state_.loadingSlot;
    st.noPreview = noPreview;
    st.allAtHand = allAtHand;
    st.language = state_.language;
    l.host = std::make_unique<LoadHost>(*this);
    l.session = std::make_unique<QivLoadSession>(l.host.get(), name, kind, st, l.clock ? l.clock : &g_tickClock);
    l.baseDirectory = base;
    l.replacing = replace && !picture;
    ++l.serial;
    return 1;
}

void CQivPlayerCtl::FeedContainerData(const uint8_t* data, size_t n, uint64_t expectedTotal, bool end) {
    LoadParts& l = *load_;
    if (!l.session) return;
    LoadParts::Piece p;
    if (data && n) p.data.assign(data, data + n);
    p.total = expectedTotal;
    p.end = end;
    l.queued.push_back(std::move(p));
    settleLoad();
}

void CQivPlayerCtl::EndStreamLoad(bool success) {
    LoadParts& l = *load_;
    if (!l.session) return;
    LoadParts::Piece p;
    p.stop = true;
    p.success = success;
    l.queued.push_back(std::move(p));
    settleLoad();
}

void CQivPlayerCtl::ContinueAfterPreview(int reason) {
    LoadParts& l = *load_;
    if (!l.session || l.host->busy || !l.session->waitingAfterPreview()) return;
    callSession([reason](QivLoadSession& s) { s.continueAfterPreview(reason); });
    settleLoad();
}

void CQivPlayerCtl::LeavePreview() {
    LoadParts& l = *load_;
    if (!l.session || l.host->busy) return;
    callSession([](QivLoadSession& s) { s.leavePreview(); });
    settleLoad();
}

// One call into the running session. Its host stays while the call runs, even when the load
// is ended meanwhile (an event handler starting another load).
void CQivPlayerCtl::callSession(const std::function<void(QivLoadSession&)>& step) {
    LoadParts& l = *load_;
    LoadHost* host = l.host.get();
    ++host->busy;
    try {
        step(*l.session);
    } catch (...) {
    }
    --host->busy;
}

bool CQivPlayerCtl::StreamLoadRunning() const { return load_->session != nullptr; }
const QivLoadSession* CQivPlayerCtl::StreamLoad() const { return load_->session.get(); }
uint32_t CQivPlayerCtl::LastLoadErrorLevel() const { return load_->lastError; }
void CQivPlayerCtl::SetLoadClock(QivLoadClock* clock) { load_->clock = clock; }

// Works through the queued pieces once no call into the session is under way, and finishes
// the load when its transfer has been ended.
void CQivPlayerCtl::settleLoad() {
    LoadParts& l = *load_;
    l.ended.erase(std::remove_if(l.ended.begin(), l.ended.end(), [](const auto& e) { return e.second->busy == 0; }),
                  l.ended.end());
    if (l.ended.empty() && !(l.host && l.host->busy)) {
        for (PicRecord*& p : l.unused) freePicture(p);
        l.unused.clear();
    }
    for (;;) {
        if (!l.session) {
            l.queued.clear();
            return;
        }
        if (l.host->busy) return;
        l.previewShown = l.session->previewShown();
        if (l.session->over()) {
            finishLoad();
            continue;
        }
        if (l.queued.empty()) return;
        LoadParts::Piece p = std::move(l.queued.front());
        l.queued.pop_front();
        callSession([&p](QivLoadSession& s) {
            if (p.stop)
                s.endOfTransfer(p.success);
            else
                s.feed(p.data.data(), p.data.size(), p.total, p.end);
        });
    }
}

// The transfer has been ended: what the load leaves goes to the control, or, when it failed,
// the control comes back as it was.
void CQivPlayerCtl::finishLoad() {
    LoadParts& l = *load_;
    std::unique_ptr<QivLoadSession> s = std::move(l.session);
    std::unique_ptr<LoadHost> host = std::move(l.host);
    l.queued.clear();
    if (hwnd()) KillTimer(hwnd(), kPreviewTimer);
    const bool ok = s->succeeded();
    l.finishedSerial = l.serial;
    l.finishedOk = ok;
    QivObjectSlot* slot = loadingSlot();
    if (ok && s->object()) {
        l.kept = s->takeKept();
        l.keptName = s->sourceName();
        l.payload = s->takePayload();
        l.payloadSize = s->payloadSize();
        l.fileTime = s->fileTime();
        // The saved views go with the object's cache entry: the predefined viewings and the
        // commands 29000 + index read them there.
        if (slot && slot->node && slot->node->content)
            if (auto* list = static_cast<QivSavedViewList*>(qivctl::ObjectCacheSavedViews(slot->node->content)))
                *list = s->savedViews();
        if (slot) {
            if (!s->displayName().empty()) slot->objectName = s->displayName();
            slot->chunkData = s->partValues();
            // A later load of the same name finds them with the object.
            if (slot->node && slot->node->content) {
                if (!s->displayName().empty()) qivctl::ObjectCacheSetText(slot->node->content, s->displayName());
                if (!slot->chunkData.empty())
                    qivctl::ObjectCacheSetChunk21(slot->node->content, slot->chunkData.data(), slot->chunkData.size());
            }
        }
    } else if (!ok) {
        l.lastError = s->driver().errorLevel() ? s->driver().errorLevel() : 4;
        if (l.shelf.held) {
            restoreShelf();
        } else if (l.ownsSlot && slot && !slot->node) {
            qivctl::ReleaseSlot(*slot);
            if (state_.currentSlot == state_.loadingSlot) state_.currentSlot = -1;
        }
        l.previewShown = false;
        l.backdrop = false;
        Redraw(true);
    }
    state_.loadingSlot = -1;
    l.replacing = false;
    l.ownsSlot = false;
    l.baseDirectory.clear();
}

// A running load ends at once (a new load, the scene unloaded, the control going away):
// the scene it stood in for comes back, a slot it made without object is freed.
void CQivPlayerCtl::endLoadNow() {
    LoadParts& l = *load_;
    if (!l.session) return;
    if (hwnd()) KillTimer(hwnd(), kPreviewTimer);
    std::unique_ptr<QivLoadSession> s = std::move(l.session);
    std::unique_ptr<LoadHost> host = std::move(l.host);
    host->detached = true;
    if (host->busy) s->stop();  // its call returns into a load that does nothing more
    l.queued.clear();
    QivObjectSlot* slot = loadingSlot();
    if (l.shelf.held) {
        restoreShelf();
    } else if (l.ownsSlot && slot && !slot->node) {
        qivctl::ReleaseSlot(*slot);
        if (state_.currentSlot == state_.loadingSlot) state_.currentSlot = -1;
    }
    state_.loadingSlot = -1;
    l.replacing = false;
    l.ownsSlot = false;
    l.previewShown = false;
    l.baseDirectory.clear();
    if (host->busy) l.ended.emplace_back(std::move(s), std::move(host));
}

// ---- the scene while a replacing load runs ----

void CQivPlayerCtl::shelveScene() {
    LoadParts& l = *load_;
    if (l.shelf.held) return;
    bool any = false;
    for (const QivObjectSlot& s : state_.slots) any = any || s.inUse;
    if (!any) {
        state_.slots.clear();
        state_.currentSlot = -1;
        state_.usedCount = 0;
        return;
    }
    l.shelf.held = true;
    l.shelf.slots = std::move(state_.slots);
    l.shelf.currentSlot = state_.currentSlot;
    l.shelf.usedCount = state_.usedCount;
    l.shelf.animationRunning = win_->animationRunning;
    state_.slots = std::vector<QivObjectSlot>();
    state_.slots.reserve(kQivFirstSlotCapacity);
    state_.currentSlot = -1;
    state_.usedCount = 0;
    win_->animationRunning = false;
    if (state_.ownRoots && state_.sceneRoots) scnFreeIdList(&state_.sceneRoots);
    state_.sceneRoots = nullptr;
    state_.ownRoots = false;
    state_.sceneChanged = true;
    l.backdrop = false;
    Redraw(false);
}

void CQivPlayerCtl::restoreShelf() {
    LoadParts& l = *load_;
    if (!l.shelf.held) return;
    for (QivObjectSlot& s : state_.slots) qivctl::ReleaseSlot(s);
    state_.slots = std::move(l.shelf.slots);
    state_.currentSlot = l.shelf.currentSlot;
    state_.usedCount = l.shelf.usedCount;
    win_->animationRunning = l.shelf.animationRunning;
    l.shelf = LoadParts::Shelf();
    l.backdrop = false;
    state_.sceneChanged = true;
    rebuildRoots();
    if (state_.sceneRoots) SetupFrame(state_.sceneRoots, true, false);
    RefreshBarState();
    Redraw(true);
}

void CQivPlayerCtl::dropShelf() {
    LoadParts& l = *load_;
    if (!l.shelf.held) return;
    for (QivObjectSlot& s : l.shelf.slots) qivctl::ReleaseSlot(s);
    l.shelf = LoadParts::Shelf();
    qivctl::ObjectCacheTrim();
}

// The first parse of the object: into the loading slot, the scene prepared for it.
bool CQivPlayerCtl::addLoadedObject(PelContent* content, bool hasTextures) {
    LoadParts& l = *load_;
    if (!loadingSlot()) return false;
    ScnNode* node = AddObjectToScene(content, hasTextures, l.baseDirectory, false, false);
    if (!node) return false;
    // The objects shown before give way now, and the statistics of their frames with them.
    if (l.replacing) win_->stats.on = false;
    dropShelf();
    countTriangles(content);
    state_.sceneChanged = true;
    l.backdrop = false;
    rebuildRoots();
    if (state_.sceneRoots) PrepareScene(state_.sceneRoots, true, false, false);
    RefreshBarState();
    Redraw(true);
    return true;
}

void CQivPlayerCtl::countTriangles(const PelContent* content) {
    uint32_t vertices = 0, triangles = 0, quads = 0, twoTri = 0, twoQuads = 0;
    if (content && pelCountFaces(content, &vertices, &triangles, &quads, &twoTri, &twoQuads))
        win_->stats.triangles = triangles + 2 * quads;
}

void CQivPlayerCtl::noteObjectLoaded(int32_t slot, const std::string& url) {
    FireObjectLoaded(slot);
    if (win_->statusCallback) win_->statusCallback(win_->statusContext, nullptr, url.c_str());
}

// ---- local containers ----

int CQivPlayerCtl::LoadContainerFile(const char* path, const char* sourceName, bool replace) {
    if (!path || !*path) return 0;
    QivWindowParts& w = *win_;
    if (!w.workingDirectory.empty()) SetCurrentDirectoryA(w.workingDirectory.c_str());
    HANDLE f = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        errReport(2, "Cannot open %s", path);
        load_->lastError = 2;
        return 0;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(f, &size) || size.QuadPart <= 0) {
        CloseHandle(f);
        errReport(2, "Cannot read %s", path);
        load_->lastError = 2;
        return 0;
    }
    const std::string name = sourceName && *sourceName ? std::string(sourceName) : std::string(path);
    if (qivctl::ObjectCacheFind(name, nullptr, nullptr, nullptr)) {
        const int shared = shareCachedContainer(f, uint64_t(size.QuadPart), name, replace);
        if (shared >= 0) {
            CloseHandle(f);
            return shared;
        }
        // Gone from the cache meanwhile, or the file no longer reads: it is loaded as it is.
        SetFilePointer(f, 0, nullptr, FILE_BEGIN);
    }
    const std::string base = qivctl::objectBaseDirectory(path, sourceName ? sourceName : "");
    beginLoad(name, QivStreamKind::Container, replace, base, false, true);
    LoadParts& l = *load_;
    const uint32_t serial = l.serial;
    std::vector<uint8_t> piece(kFilePiece);
    uint64_t done = 0;
    bool readFailed = false;
    while (l.session && l.serial == serial && done < uint64_t(size.QuadPart)) {
        const DWORD want = DWORD(std::min<uint64_t>(kFilePiece, uint64_t(size.QuadPart) - done));
        DWORD got = 0;
        if (!ReadFile(f, piece.data(), want, &got, nullptr) || got == 0) {
            readFailed = true;
            break;
        }
        done += got;
        FeedContainerData(piece.data(), got, uint64_t(size.QuadPart), done >= uint64_t(size.QuadPart));
    }
    CloseHandle(f);
    if (readFailed && l.session && l.serial == serial) {
        errReport(2, "Cannot read %s", path);
        EndStreamLoad(false);
    }
    if (l.finishedSerial == serial) return l.finishedOk ? 1 : 0;
    // The load waits after its preview for the user or the delay; its object comes then.
    return l.session && l.serial == serial && l.session->waitingAfterPreview() ? 1 : 0;
}

// A container whose object another load left in the object cache: the object is shared, with
// its saved views, chunk data and name, instead of being parsed again; the file is still read
// through, so that the container is kept for saving. -1 when the file does not read as a
// container or the entry went with the scene unloaded.
int CQivPlayerCtl::shareCachedContainer(HANDLE file, uint64_t size, const std::string& name, bool replace) {
    QivContainerReader reader;
    std::vector<uint8_t> piece(kFilePiece);
    // Bytes after the payload still belong to the kept copy of a deflated container.
    for (uint64_t done = 0; done < size && reader.status() != QivContainerReader::Status::Failed;) {
        DWORD got = 0;
        if (!ReadFile(file, piece.data(), DWORD(std::min<uint64_t>(kFilePiece, size - done)), &got, nullptr) || !got)
            return -1;
        done += got;
        reader.feed(piece.data(), got, size);
    }
    if (reader.status() != QivContainerReader::Status::Complete) return -1;
    if (replace) {
        endLoadNow();
        InitWindow();
        if (win_->animationRunning) put_AnimPlaying(VARIANT_FALSE);
        UnloadScene(true);
    }
    std::string displayName;
    if (!qivctl::ObjectCacheFind(name, &displayName, nullptr, nullptr)) return -1;
    const int32_t slot = qivctl::slotAllocate(state_);
    state_.slots[size_t(slot)].sourceName = name;
    if (state_.currentSlot < 0) state_.currentSlot = slot;
    if (!loadSlot(slot)) {
        qivctl::slotDelete(state_, slot);
        if (state_.currentSlot == slot) state_.currentSlot = -1;
        return 0;
    }
    if (!displayName.empty()) state_.slots[size_t(slot)].objectName = displayName;
    LoadParts& l = *load_;
    dropKeptContainer();
    l.payloadSize = uint32_t(std::min<uint64_t>(reader.inflated(), reader.payloadHeader().payloadSize));
    l.payload = reader.takePayload();
    l.kept = reader.takeKept();
    if (l.kept.stored) {
        l.kept.payload = l.payload.get();
        l.kept.payloadLength = l.payload ? l.payloadSize : 0;
    }
    l.keptName = name;
    l.fileTime = reader.container().fileTime;
    state_.sceneChanged = true;
    rebuildRoots();
    if (state_.sceneRoots) PrepareScene(state_.sceneRoots, true, false, false);
    RefreshBarState();
    if (win_->startAnimationPending && hwnd()) {
        win_->startAnimationPending = false;
        StartObjectAnimation(slot);
    }
    Redraw(true);
    noteObjectLoaded(slot, name);
    LoadBackPicture();
    return 1;
}

// ---- the container kept for saving ----

bool CQivPlayerCtl::SaveContainerFile(const char* path) {
    const LoadParts& l = *load_;
    if (l.kept.raw.empty() && !l.kept.stored) return false;
    return qivSaveContainerFile(path, l.kept, l.fileTime);
}

HRESULT CQivPlayerCtl::WriteContainerToStream(IStream* stream) {
    if (!stream) return E_POINTER;
    const LoadParts& l = *load_;
    if (l.kept.raw.empty() && !l.kept.stored) return E_FAIL;
    return qivWriteContainerToStream(stream, l.kept);
}

HRESULT CQivPlayerCtl::LoadContainerFromStream(IStream* stream) {
    if (!stream) return E_POINTER;
    std::vector<uint8_t> bytes;
    HRESULT hr = qivReadContainerFromStream(stream, &bytes);
    if (FAILED(hr)) return hr;
    return LoadContainerBytes(bytes, std::string(), false) ? S_OK : E_FAIL;
}

int CQivPlayerCtl::LoadContainerBytes(const std::vector<uint8_t>& bytes, const std::string& name, bool replace) {
    if (bytes.empty()) return 0;
    beginLoad(name, QivStreamKind::Container, replace, std::string(), true, true);
    const uint32_t serial = load_->serial;
    FeedContainerData(bytes.data(), bytes.size(), bytes.size(), true);
    const LoadParts& l = *load_;
    return l.finishedSerial == serial && l.finishedOk ? 1 : 0;
}

bool CQivPlayerCtl::KeptContainerFrom(const std::string& name) const {
    const LoadParts& l = *load_;
    return !name.empty() && l.keptName == name && (l.kept.stored || !l.kept.raw.empty());
}

bool CQivPlayerCtl::CompactContainerOf(const std::string& name, std::vector<uint8_t>* out) const {
    return KeptContainerFrom(name) && qivCompactImage(load_->kept, out);
}

void CQivPlayerCtl::dropKeptContainer() {
    LoadParts& l = *load_;
    l.kept = QivKeptContainer();
    l.keptName.clear();
    l.payload.reset();
    l.payloadSize = 0;
    l.fileTime = 0;
}

// ---- saved views, timer 55 ----

const QivSavedViewList* CQivPlayerCtl::SavedViews() const {
    if (state_.slots.empty() || !state_.slots[0].node || !state_.slots[0].node->content) return nullptr;
    return static_cast<const QivSavedViewList*>(qivctl::ObjectCacheSavedViews(state_.slots[0].node->content));
}

void CQivPlayerCtl::OnLoadTimer() {
    LoadParts& l = *load_;
    if (!l.session || !l.session->waitingAfterPreview()) return;
    ContinueAfterPreview(2);
    // The timer may come a little before the delay has passed by the tick count.
    if (l.session && l.session->waitingAfterPreview() && (state_.previewMode & 2) && props_.delayAfterPreview != 0 &&
        props_.delayAfterPreview != -1 && hwnd())
        SetTimer(hwnd(), kPreviewTimer, 10, nullptr);
}

// ---- background picture and preview ----

PicRecord* CQivPlayerCtl::BackgroundPicture() const { return load_->background; }
PicRecord* CQivPlayerCtl::PreviewPicture() const { return load_->preview; }
bool CQivPlayerCtl::PreviewShown() const { return load_->previewShown; }
bool CQivPlayerCtl::FrameHoldsBackdrop() const { return load_->backdrop && state_.frame; }

// A picture the control lets go: freed, or kept until no ended load can still draw into it.
void CQivPlayerCtl::dropPicture(PicRecord* picture) {
    if (!picture) return;
    LoadParts& l = *load_;
    if (l.ended.empty() && !(l.host && l.host->busy)) freePicture(picture);
    else l.unused.push_back(picture);
}

// The picture becomes the background picture; the one before is let go (a kept preview
// stays kept).
void CQivPlayerCtl::setBackgroundPicture(PicRecord* picture) {
    LoadParts& l = *load_;
    if (l.background == picture) return;
    if (l.background && l.background != l.preview) {
        if (l.backgroundCached) qivctl::ReleaseBackPicture(l.background);
        else dropPicture(l.background);
    }
    l.background = picture;
    l.backgroundCached = false;
    state_.background.picture = nullptr;
    if (picture) {
        QivRenderLockGuard lock;
        texBuild(picture);
    }
}

void CQivPlayerCtl::SetBackPicture(PicRecord* picture, bool cached) {
    setBackgroundPicture(picture);
    load_->backgroundCached = picture && cached;
}

void CQivPlayerCtl::SetPreviewShown(bool shown) { load_->previewShown = shown; }

void CQivPlayerCtl::releasePreview() {
    LoadParts& l = *load_;
    if (l.preview && l.previewCached) qivctl::ReleaseBackPicture(l.preview);
    else dropPicture(l.preview);
    l.preview = nullptr;
    l.previewCached = false;
}

void CQivPlayerCtl::SwapPreviewAndBackground() {
    LoadParts& l = *load_;
    std::swap(l.preview, l.background);
    std::swap(l.previewCached, l.backgroundCached);
    state_.background.picture = nullptr;
    if (l.background) {
        QivRenderLockGuard lock;
        texBuild(l.background);
    }
}

void CQivPlayerCtl::SetPreviewPicture(PicRecord* picture) {
    load_->preview = picture;
    load_->previewCached = false;
}

void CQivPlayerCtl::ApplyBackPicMode(bool cache) {
    (void)cache;  // pictures of a load are not entered in the background picture cache
    LoadParts& l = *load_;
    qivctl::backgroundForMode(state_.background, props_.backPicMode, l.background, props_.backPicOffsetX,
                              props_.backPicOffsetY, state_.backColor);
    QivRenderLockGuard lock;
    fzPrepareBackground(&state_.background);
}

void CQivPlayerCtl::ResetBackground() {
    LoadParts& l = *load_;
    // A picture that a running load still decodes stays until the load lets it go.
    if (!l.session) setBackgroundPicture(nullptr);
    qivctl::colourBackground(state_.background, state_.backColor);
    QivRenderLockGuard lock;
    fzPrepareBackground(&state_.background);
}

// The background (with its picture) drawn into the frame buffer, which paints copy while no
// scene is there; with a scene the next frame is drawn on it.
void CQivPlayerCtl::DrawBackdrop() {
    if (state_.sceneRoots) {
        Redraw(true);
        return;
    }
    QivWindowParts& w = *win_;
    const int32_t fw = state_.frameWidth, fh = state_.frameHeight;
    if (fw <= 0 || fh <= 0) return;  // no window laid out yet
    if (!state_.frame) {
        if (!state_.viewValid) state_.camera = CamRecord{};
        if (!fzCreate(uint32_t(fw), uint32_t(fh), 2, &state_.frame) || !state_.frame) return;
        state_.job.target = state_.frame;
        LoadDrawDib();
    }
    CamRecord& c = state_.camera;
    c.pixX = 0, c.pixY = 0, c.pixW = fw, c.pixH = fh;
    c.rowsUp = 1;  // frame rows bottom-up, as the window copies read them
    if (state_.viewValid) camUpdate(&c);
    {
        QivRenderLockGuard lock;
        kvdx::dxSetActive(0);
        fzSetBackground(&state_.background);
        fzDrawBackground(state_.frame, nullptr, nullptr, &c, 1, 0);
    }
    load_->backdrop = true;
    state_.frameValid = true;
    w.showAgain = true;
    w.frameShown = false;
    if (w.hardwareWindow) ShowWindow(w.hardwareWindow, SW_HIDE);
    Redraw(false);
}

void CQivPlayerCtl::OnThumbnailReady() {
    const LoadParts& l = *load_;
    if (l.background && l.previewShown) {
        ApplyBackPicMode(false);
        DrawBackdrop();
    }
    FireThumbnailDone(0);
}

// ---- frame statistics ----

void CQivPlayerCtl::SetStatusCallback(StatusCallback callback, void* context) {
    QivWindowParts& w = *win_;
    w.statusCallback = callback;
    w.statusContext = context;
    if (!callback) w.stats.on = false;
}

void CQivPlayerCtl::ToggleStatistics() {
    QivWindowParts& w = *win_;
    if (!w.statusCallback) return;
    w.stats.on = !w.stats.on;
    w.stats.startTick = GetTickCount();
    w.stats.frames = 0;
}

// The scene is unloaded in full: a running load ends, the container kept for the old object
// goes with it.
void CQivPlayerCtl::OnSceneUnloading() {
    endLoadNow();
    dropShelf();
    dropKeptContainer();
    load_->backdrop = false;
}

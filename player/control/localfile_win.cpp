// Local object files: a PEL or KVO file read into an object slot with its textures (from
// the texture cache, beside the object, on the texture path, or queued for download), its
// per-part values and its animation range; LoadObject for local names.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "caches.h"
#include "callertrust.h"
#include "com/guard.h"
#include "container_win.h"
#include "ctlmodule_win.h"
#include "jpegglue.h"
#include "dialogs_win.h"
#include "localfile.h"
#include "objectname.h"
#include "qivctl_win.h"
#include "render/fzbuffer.h"
#include "slots.h"
#include "scene/anim.h"
#include "scene/engine.h"
#include "scene/objnode.h"
#include "scene/pelfile.h"
#include "scene/sceneops.h"
#include "scene/texture.h"
#include "slots.h"
#include "texpaths.h"
#include "texresolve.h"
#include "transfers.h"
#include "win/wintext.h"
#include "window_win.h"

void qivDeleteTempCopy(QivWindowParts& w);

namespace {

std::string tempFileName(const char* prefix) {
    char dir[MAX_PATH] = {}, name[MAX_PATH] = {};
    DWORD n = GetTempPathA(sizeof dir, dir);
    if (n == 0 || n >= sizeof dir) return std::string();
    if (!GetTempFileNameA(dir, prefix, 0, name)) return std::string();
    return name;
}

// LZ expansion of a file into a new temporary file; empty when it cannot be done.
std::string lzExpandToTemp(const std::string& path, const char* prefix) {
    std::string out = tempFileName(prefix);
    if (out.empty()) return out;
    if (!LzCopyFile(path.c_str(), out.c_str())) {
        DeleteFileA(out.c_str());
        return std::string();
    }
    return out;
}

void freeTextureUnderLock(TexRecord* t) {
    QivRenderLockGuard lock;
    texFree(&t);
}



}  // namespace

bool FileExists(const std::string& path) {
    if (path.empty()) return false;
    // A folder does not open as a file.
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

std::string qivAbsoluteObjectName(const std::string& name) {
    const qivctl::NameKind kind = qivctl::nameKindOf(name);
    if ((kind != qivctl::NameKind::Relative && kind != qivctl::NameKind::Absolute) || !qivctl::fileNameAllowed(name))
        return name;
    char full[MAX_PATH] = {};
    const DWORD n = GetFullPathNameA(name.c_str(), sizeof full, full, nullptr);
    return n > 0 && n < sizeof full ? std::string(full) : name;
}
// Texture freeing takes the render lock: a frame on another thread may be drawing it.
void* qivNewSavedViewList();
void qivFreeSavedViewList(void* list);

void qivInstallCacheHooks() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    qivctl::CacheHooks hooks;
    hooks.freeTexture = freeTextureUnderLock;
    hooks.createSavedViews = qivNewSavedViewList;
    hooks.freeSavedViews = qivFreeSavedViewList;
    qivctl::cacheSetHooks(hooks);
}

// LoadTextureFile: a picture file (BMP, else JPEG) as a texture, entered into the cache under
// the name.
TexRecord* LoadTextureFile(const std::string& name, const std::string& path, const std::string& scope) {
    float sx = 0, sy = 0;
    TexRecord* t = LoadTextureFromFile(path.c_str(), &sx, &sy);
    if (!t) return nullptr;
    texSetName(t, name.c_str(), path.c_str(), 0);
    if (!(sx > 0)) sx = 1.0f;
    if (!(sy > 0)) sy = 1.0f;
    if (!qivctl::TextureCacheAdd(name, t, sx, sy, scope)) {
        freeTextureUnderLock(t);
        return nullptr;
    }
    return t;
}

// LoadCompressedTexture: a ".bms" file expanded into a temporary file and loaded from there;
// the path as it is when the expansion fails.
TexRecord* LoadCompressedTexture(const std::string& name, const std::string& path, const std::string& scope) {
    std::string temp = lzExpandToTemp(path, "BMP");
    if (temp.empty()) return LoadTextureFile(name, path, scope);
    TexRecord* t = LoadTextureFile(name, temp, scope);
    DeleteFileA(temp.c_str());
    return t;
}

int CacheTexture(const wchar_t* name, TexRecord* texture, float scaleX, float scaleY) {
    if (!name || !texture) return 0;
    BSTR b = SysAllocString(name);
    if (!b) return 0;
    const std::string ansi = win::AnsiOfBstr(b);
    SysFreeString(b);
    return qivctl::TextureCacheAdd(ansi, texture, scaleX, scaleY);
}

int CQivPlayerCtl::ResolveTexture(const char* name, const std::string& baseDirectory, TexRecord** handle, int index,
                                  const std::string& scope) {
    *handle = nullptr;
    const QivWindowParts& w = *win_;
    qivctl::TextureSearch local;
    local.cacheScope = scope;
    local.baseDirectory = baseDirectory;
    local.texturePath = w.texturePath;
    local.inhibitLocal = w.inhibitLocalTextures;
    local.source = qivctl::TextureNameSource::Stored;
    qivctl::TextureUrlSearch remote;
    remote.baseDirectory = baseDirectory;
    remote.textureBaseUrl = w.textureBaseUrl;
    remote.source = qivctl::TextureNameSource::Stored;
    qivctl::TextureResolution r = qivctl::resolveTexture(name, local, remote, FileExists);
    switch (r.kind) {
        case qivctl::TextureResolution::Cached:
            *handle = r.texture;
            break;
        case qivctl::TextureResolution::Files:
            for (const qivctl::TextureFileTry& f : r.files) {
                *handle = f.loader == qivctl::TextureLoader::Compressed ? LoadCompressedTexture(name, f.path, scope)
                                                                         : LoadTextureFile(name, f.path, scope);
                if (*handle) break;
            }
            break;
        case qivctl::TextureResolution::Download:
            // Fetched into the loading slot's texture place when it arrives.
            if (index >= 0 && qivctl::slotValid(state_, state_.loadingSlot))
                QueueTransfer(qivctl::kTransferTexture, r.urls, state_.loadingSlot, index, name, scope);
            break;
        default:
            break;
    }
    if (*handle) qivctl::TextureCacheHold(*handle);
    return *handle ? 1 : 0;
}

void CQivPlayerCtl::InitObjectAnimation(int32_t slot) {
    if (slot < 0 || size_t(slot) >= state_.slots.size()) return;
    QivObjectSlot& s = state_.slots[size_t(slot)];
    s.subAnimCount = 0;
    s.hasAnimation = false;
    if (s.node && s.node->content) {
        uint32_t tracks = 0, count = 0;
        AnimDesc* descs = nullptr;
        float rate = 0;
        if (animGetInfo(s.node->content, &tracks, &count, &descs, &rate) && count && descs && tracks) {
            s.subAnimCount = int32_t(count);
            s.hasAnimation = true;
            s.animTime = 0;
            s.animRate = rate;
            float lo = descs[0].start, hi = descs[0].end;
            for (uint32_t i = 1; i < count; ++i) lo = std::min(lo, descs[i].start), hi = std::max(hi, descs[i].end);
            s.animStart = lo;
            s.animEnd = hi;
            s.animTime = lo;
        }
    }
    QivWindowParts& w = *win_;
    bool has = false;
    if (state_.currentSlot >= 0 && size_t(state_.currentSlot) < state_.slots.size())
        has = state_.slots[size_t(state_.currentSlot)].hasAnimation;
    if (has != w.hasAnimation) {
        RefreshBarState();
        if (hwnd()) {
            RECT client;
            GetClientRect(hwnd(), &client);
            Layout(client);
        }
        FireOnChanged(qivdispid::ObjectHasAnimation);
    }
}

ScnNode* CQivPlayerCtl::AddObjectToScene(PelContent* content, bool withTextures, const std::string& baseDirectory,
                                         bool noSlot, bool byIndex) {
    if (!content) return nullptr;
    InitWindow();
    QivWindowParts& w = *win_;
    if (!w.workingDirectory.empty()) SetCurrentDirectoryA(w.workingDirectory.c_str());
    Mat4 placement{};
    for (int i = 0; i < 4; ++i) placement.m[i * 5] = 1.0f;
    QivObjectSlot* slot = nullptr;
    if (!noSlot && state_.loadingSlot >= 0 && size_t(state_.loadingSlot) < state_.slots.size())
        slot = &state_.slots[size_t(state_.loadingSlot)];
    std::vector<TexRecord*> textures = slot ? slot->textureHandles : std::vector<TexRecord*>();
    ScnNode* node = nullptr;
    if (withTextures && content->areaCount) {
        const uint32_t count = content->areaCount;
        if (textures.size() < count) textures.resize(count, nullptr);
        qivctl::GrowTextureCacheLimit(uint32_t(qivctl::TextureCacheCount()) + count);
        std::vector<std::string> names =
            qivctl::textureNamesOf(content->areaNames, content->areaNames ? content->areaNameBytes : 0, count);
        // The textures of an object are the ones found where the object came from.
        const std::string scope = slot ? qivctl::textureScopeOf(slot->sourceName) : std::string();
        for (uint32_t i = 0; i < count; ++i) {
            if (textures[i]) continue;
            ResolveTexture(names[i].c_str(), baseDirectory, &textures[i], slot ? int(i) : -1, scope);
        }
        if (!scnCreateObjectNode(content, 0, textures.data(), 0, 0, nullptr, 0, slot ? &slot->placement : &placement,
                                 &node))
            node = nullptr;
    } else {
        if (!scnCreateObjectNode(content, 0, nullptr, 0, 0, nullptr, 0, slot ? &slot->placement : &placement, &node))
            node = nullptr;
    }
    if (!node) {
        for (TexRecord* t : textures)
            if (t) qivctl::TextureCacheRelease(t);
        if (slot) slot->textureHandles.clear();
        return nullptr;
    }
    if (slot) {
        slot->node = node;
        slot->textureHandles = textures;
        scnSetObjectIds(node, uint32_t(state_.loadingSlot), 0, &slot->placement);
        InitObjectAnimation(state_.loadingSlot);
        state_.sceneChanged = true;
        state_.frameValid = false;
    } else {
        for (TexRecord* t : textures)
            if (t) qivctl::TextureCacheRelease(t);
    }
    return node;
}

int CQivPlayerCtl::LoadLocalFile(const char* path, const char* sourceName, bool replace, int32_t intoSlot) {
    if (!path || !path[0]) return 0;
    QivWindowParts& w = *win_;
    if (!w.workingDirectory.empty()) SetCurrentDirectoryA(w.workingDirectory.c_str());
    if (IsQivContainerFile(path)) return LoadContainerFile(path, sourceName, replace);
    if (replace) {
        InitWindow();
        if (w.animationRunning) put_AnimPlaying(VARIANT_FALSE);
    }
    // Object file (PEL or KVO).
    char fileName[PEL_FILE_NAME_MAX] = {}, objectName[128] = {};
    PelFileInfo info{};
    PelContent* content = nullptr;
    size_t bytes = 0;
    // An object another load left in the cache is shared, with its chunk data and saved views;
    // a file that does not load leaves what is shown as it was.
    const std::string cacheName = qivAbsoluteObjectName(sourceName && sourceName[0] ? std::string(sourceName) : std::string(path));
    std::vector<uint8_t> cachedChunk;
    PelContent* cached = qivctl::ObjectCacheFind(cacheName, nullptr, &cachedChunk, nullptr);
    if (cached) content = cached;
    else if (!pelLoad(path, fileName, objectName, &info, &content, &bytes) || !content) return 0;
    if (replace) UnloadScene(true);
    // The unload may have trimmed the cached entry away: then the file is read after all.
    if (cached && qivctl::ObjectCacheFind(cacheName, nullptr, nullptr, nullptr) != cached) {
        cached = nullptr;
        content = nullptr;
        if (!pelLoad(path, fileName, objectName, &info, &content, &bytes) || !content) return 0;
    }
    // The loading slot: the slot given (it keeps its place in the scene), else a new one.
    const bool given = !replace && qivctl::slotValid(state_, intoSlot);
    const int32_t index = given ? intoSlot : qivctl::slotAllocate(state_);
    QivObjectSlot& slot = state_.slots[size_t(index)];
    state_.loadingSlot = index;
    if (!given && index == 0 && state_.currentSlot < 0) state_.currentSlot = 0;
    slot.sourceKind = 2;
    slot.chunkData.clear();
    slot.sourceName = sourceName ? sourceName : "";
    const std::string base = qivctl::objectBaseDirectory(path, sourceName ? sourceName : "");
    qivctl::PartValues values;
    if (cached) slot.chunkData = std::move(cachedChunk);
    else if (qivctl::readPartValueChunk(path, &values)) slot.chunkData = values.bytes();
    char* text = nullptr;
    if (pelGetObjectText(content, 1, state_.language, &text) && text) {
        slot.objectName = text;
        memFreeRef(reinterpret_cast<void**>(&text));
    }
    ScnNode* node = AddObjectToScene(content, true, base, false, false);
    if (!node) {
        // A slot given stays named, without a node.
        if (!given) qivctl::slotDelete(state_, index);
        state_.loadingSlot = -1;
        if (!cached) pelFreeObject(&content);
        return 0;
    }
    state_.sceneChanged = true;
    countTriangles(content);
    rebuildRoots();
    PrepareScene(state_.sceneRoots, true, false, given);
    // The object cache owns the content from now on.
    if (!cached && qivctl::ObjectCacheAdd(cacheName, content) && !slot.chunkData.empty())
        qivctl::ObjectCacheSetChunk21(content, slot.chunkData.data(), slot.chunkData.size());
    state_.loadingSlot = -1;
    Redraw(true);
    return 1;
}

// ---- members ----

STDMETHODIMP CQivPlayerCtl::LoadObject(BSTR FileName, VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = VARIANT_FALSE;
    const qivctl::ObjectName object = qivctl::resolveObjectName(win::AnsiOfBstr(FileName), FileExists);
    // An address is downloaded: the answer is false.
    if (object.kind == qivctl::ObjectName::Kind::Address) return SetObjectURL(object.path);
    // No name, or a page that may not name local files: the user chooses one.
    if (object.kind == qivctl::ObjectName::Kind::None || LocalNamesRefused()) {
        *pVal = ShowLoadObjectDialog(this) ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    *pVal = LoadObjectFile(object.path) ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

bool CQivPlayerCtl::LoadObjectFile(std::string name) {
    if (!qivctl::fileNameAllowed(name)) return false;
    for (char& c : name)
        if (c == '/') c = '\\';
    // Cached and named by where it lies, not by how the caller named it; a relative name
    // lies below the document's folder.
    if (!win_->workingDirectory.empty()) SetCurrentDirectoryA(win_->workingDirectory.c_str());
    name = qivAbsoluteObjectName(name);
    // An object still coming by download gives way to this one.
    dropObjectDownload();
    QivWindowParts& w = *win_;
    // A file that is not a container may be compressed: it is expanded first. What was
    // shown stays until the new object stands.
    const bool container = IsQivContainerFile(name.c_str()) != 0;
    std::string copy = container ? std::string() : lzExpandToTemp(name, "VOV");
    const std::string url = "file://" + name.substr(0, 2047 - 7);
    int ok = 0;
    // A container's ObjectLoaded comes from inside its load: the URL is set by then.
    const std::string before = state_.objectURL;
    if (container) state_.objectURL = url;
    if (!copy.empty()) {
        // The copy lies in the temporary folder: the textures are beside the original.
        ok = LoadLocalFile(copy.c_str(), name.c_str(), true);
        if (!ok) {
            DeleteFileA(copy.c_str());
            copy.clear();
        }
    }
    if (!ok) ok = LoadLocalFile(name.c_str(), name.c_str(), true);
    if (ok) {
        if (w.tempCopy != copy) qivDeleteTempCopy(w);
        w.tempCopy = copy;
        state_.objectURL = url;
    } else {
        state_.objectURL = before;
    }
    ObjectNameChanged();
    // A container's load tells of its object itself, when the object stands.
    if (ok && !container && !IsQivContainerFile(copy.empty() ? name.c_str() : copy.c_str()))
        noteObjectLoaded(state_.currentSlot, url);
    return ok != 0;
}

void CQivPlayerCtl::ObjectNameChanged() {
    FireOnChanged(qivdispid::ObjectURL);
    FireOnChanged(qivdispid::ObjectUID);
    RefreshBarState();
    Redraw(true);
}

STDMETHODIMP CQivPlayerCtl::get_ObjectURL(BSTR* pVal) try {
    if (!pVal) return E_POINTER;
    // With several objects: the name the current one is cached under.
    std::string cached;
    const QivObjectSlot* cur =
        qivctl::slotValid(state_, state_.currentSlot) ? &state_.slots[size_t(state_.currentSlot)] : nullptr;
    const bool named = cur && cur->node && cur->node->content && qivctl::ObjectCacheNameOf(cur->node->content, &cached);
    *pVal = win::AllocBstr(qivctl::objectUrlForGet(state_.usedCount, named ? &cached : nullptr, state_.objectURL));
    return *pVal ? S_OK : E_OUTOFMEMORY;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::put_ObjectURL(BSTR newVal) try {
    return SetObjectURL(win::AnsiOfBstr(newVal));
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_TexturePath(BSTR* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = nullptr;
    if (win_->texturePath.empty()) return S_OK;  // unset: null
    // The user's own texture folder is not told to an untrusted caller.
    if (!texturePathPut_ && userChoice_ == 0 && CallerUntrusted()) return S_OK;
    *pVal = win::AllocBstr(win_->texturePath);
    return *pVal ? S_OK : E_OUTOFMEMORY;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::put_TexturePath(BSTR newVal) try {
    // An empty value while none is set and the same path change nothing.
    std::string path = win::AnsiOfBstr(newVal);
    if (!path.empty() && LocalNamesRefused()) return E_ACCESSDENIED;  // a folder is always local
    if (!qivctl::fileNameAllowed(path)) return E_INVALIDARG;
    texturePathPut_ = true;
    if (path == win_->texturePath) return S_OK;
    win_->texturePath = std::move(path);
    FireOnChanged(qivdispid::TexturePath);
    fireViewChange();
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_TextureBaseURL(BSTR* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = win::AllocBstr(win_->textureBaseUrl);
    return *pVal ? S_OK : E_OUTOFMEMORY;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::put_TextureBaseURL(BSTR newVal) try {
    std::string base = win::AnsiOfBstr(newVal);
    if (qivctl::namesLocalFile(base)) {
        if (LocalNamesRefused()) return E_ACCESSDENIED;
        if (!qivctl::fileNameAllowed(base)) return E_INVALIDARG;
    }
    // No notice: the address is not one of the properties announced.
    win_->textureBaseUrl = std::move(base);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_InhibitLocalTextures(VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = win_->inhibitLocalTextures ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::put_InhibitLocalTextures(VARIANT_BOOL newVal) try {
    // Saved with the document, without a notice.
    const bool on = newVal != VARIANT_FALSE;
    if (on != win_->inhibitLocalTextures) setDirty(true);
    win_->inhibitLocalTextures = on;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

void qivDeleteTempCopy(QivWindowParts& w) {
    if (!w.tempCopy.empty()) DeleteFileA(w.tempCopy.c_str());
    w.tempCopy.clear();
}

// LZ expansion for the other parts: the expanded (or plainly copied) file in a new temporary
// file with the prefix; empty when it cannot be made.
std::string qivExpandToTemp(const std::string& path, const char* prefix) { return lzExpandToTemp(path, prefix); }
std::string qivTempFile(const char* prefix) { return tempFileName(prefix); }

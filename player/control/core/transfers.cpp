#include "transfers.h"

#include <algorithm>
#include <cctype>

#include "callertrust.h"
#include "ctlmessage.h"
#include "texpaths.h"

namespace qivctl {

namespace {

constexpr std::string_view kFilePrefix = "file://";

char lower(char c) { return char(std::tolower(static_cast<unsigned char>(c))); }
bool isSep(char c) { return c == '\\' || c == '/'; }

bool startsWithNoCase(std::string_view s, std::string_view head) {
    if (s.size() < head.size()) return false;
    for (size_t i = 0; i < head.size(); ++i)
        if (lower(s[i]) != lower(head[i])) return false;
    return true;
}

// The part of s below folder (a separator after it), leading separators skipped, "\" as
// "/"; empty when s does not lie below it.
std::string partBelow(std::string_view s, std::string_view folder) {
    while (!folder.empty() && isSep(folder.back())) folder.remove_suffix(1);
    if (folder.empty() || s.size() <= folder.size()) return {};
    for (size_t i = 0; i < folder.size(); ++i) {
        char a = s[i], b = folder[i];
        if (isSep(a) && isSep(b)) continue;
        if (lower(a) != lower(b)) return {};
    }
    size_t i = folder.size();
    if (!isSep(s[i])) return {};
    while (i < s.size() && isSep(s[i])) ++i;
    std::string out(s.substr(i));
    std::replace(out.begin(), out.end(), '\\', '/');
    return out;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = lower(c);
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

bool isFileUrl(std::string_view url) { return startsWithNoCase(url, kFilePrefix); }

std::string_view fileUrlPath(std::string_view url) {
    return isFileUrl(url) ? url.substr(kFilePrefix.size()) : std::string_view{};
}

bool fileUrlOf(std::string_view path, std::string* out) {
    if (kFilePrefix.size() + path.size() > kObjectUrlMax) return false;
    *out = std::string(kFilePrefix) + std::string(path);
    return true;
}

BindPlan planBind(std::string_view url, bool closing, bool urlmonLoaded,
                  const std::function<bool(const std::string&)>& exists) {
    BindPlan p;
    if (closing || !urlmonLoaded) return p;
    if (!isFileUrl(url)) {
        p.kind = BindPlan::Kind::Remote;
        return p;
    }
    std::string_view path = fileUrlPath(url);
    if (path.size() >= 3 && path[0] == '/' && std::isalpha(static_cast<unsigned char>(path[1])) && path[2] == ':')
        path.remove_prefix(1);
    std::string literal(path), decoded;
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '%' && i + 2 < path.size() && hexValue(path[i + 1]) >= 0 && hexValue(path[i + 2]) >= 0) {
            decoded += char(hexValue(path[i + 1]) * 16 + hexValue(path[i + 2]));
            i += 2;
        } else {
            decoded += path[i];
        }
    }
    p.kind = BindPlan::Kind::LocalMissing;
    p.localPath = literal;
    if (exists && !literal.empty() && exists(literal)) {
        p.kind = BindPlan::Kind::LocalFile;
    } else if (exists && decoded != literal && decoded.find('\0') == std::string::npos && exists(decoded)) {
        p.kind = BindPlan::Kind::LocalFile;
        p.localPath = decoded;
    }
    return p;
}

std::string urlMessage(std::string_view text, std::string_view url) {
    std::string out(text.substr(0, text.find('\0')));
    out += '"';
    out += url.substr(0, url.find('\0'));
    out += '"';
    if (out.size() > kUrlMessageMax) {
        out.resize(kUrlMessageMax - 1);
        out += '"';
    }
    return out;
}

uint32_t bindInfoFlags(uint32_t given) { return given | kBindFlagsAdded; }

uint32_t progressPercent(uint64_t done, uint64_t total) {
    if (total == 0) return 0;
    if (done >= total) return 100;
    // done < total < 2^64: done * 100 may not fit, so split the quotient.
    uint64_t whole = done / total * 100;
    uint64_t rest = done % total;
    // rest < total; (rest * 100 + total / 2) / total without overflow for totals below 2^57
    if (total < (uint64_t(1) << 57)) return uint32_t(whole + (rest * 100 + total / 2) / total);
    return uint32_t(whole + static_cast<uint64_t>(static_cast<long double>(rest) * 100 / total + 0.5L));
}

BindSession::BindSession(bool toFile, size_t unknownLengthMax) : toFile_(toFile), keptMax_(unknownLengthMax) {}

uint32_t BindSession::statusMessageOf(uint32_t statusCode) {
    switch (statusCode) {
    case kBindStatusFindingResource: return kStrSearchingHost;
    case kBindStatusConnecting: return kStrConnecting;
    case kBindStatusSendingRequest: return kStrRequestSent;
    default: return 0;
    }
}

BindSession::Progress BindSession::onProgress(uint32_t progress, uint32_t maximum, uint32_t statusCode,
                                              std::string_view statusText, std::string_view statusLineTemplate) {
    Progress p;
    p.messageId = statusMessageOf(statusCode);
    if (p.messageId != 0) {
        p.statusLine = formatMessage(std::string(statusLineTemplate), std::string(statusText));
        if (p.statusLine.size() > kBindStatusLineMax) p.statusLine.resize(kBindStatusLineMax);
        if (statusCode == kBindStatusSendingRequest && !isFileUrl(statusText)) remote_ = true;
        return p;
    }
    p.showProgress = true;
    p.done = progress;
    if (maximum != 0) {
        expected_ = std::min(expected_, maximum);
        p.percent = progressPercent(progress, maximum);
        p.total = maximum;
    }
    return p;
}

BindSession::Route BindSession::onData(const uint8_t* data, size_t size) {
    received_ += size;
    Route r;
    r.remote = remote_;
    if (refused_) {
        r.kind = Route::Kind::Refuse;
        return r;
    }
    if (toFile_) {
        r.kind = Route::Kind::File;
        return r;
    }
    if (expected_ != 0xFFFFFFFFu) {
        r.kind = Route::Kind::Feed;
        r.expectedTotal = expected_;
        r.feed.swap(kept_);
        r.feed.insert(r.feed.end(), data, data + size);
        return r;
    }
    if (size > keptMax_ - kept_.size()) {
        refused_ = true;
        std::vector<uint8_t>().swap(kept_);
        r.kind = Route::Kind::Refuse;
        return r;
    }
    kept_.insert(kept_.end(), data, data + size);
    r.kind = Route::Kind::Keep;
    return r;
}

BindSession::Route BindSession::finish() {
    Route r;
    r.remote = remote_;
    r.kind = Route::Kind::Feed;
    if (toFile_ || refused_) {
        r.kind = toFile_ ? Route::Kind::File : Route::Kind::Refuse;
        return r;
    }
    r.expectedTotal = static_cast<uint32_t>(kept_.size());
    r.feed.swap(kept_);
    return r;
}

const std::string& PendingTransfer::name() const {
    static const std::string none;
    return candidates.empty() ? none : candidates.front();
}

bool TransferQueue::add(PendingTransfer t) {
    if (t.candidates.empty() || list_.size() >= kMaxPending) return false;
    t.started = false;
    list_.push_back(std::move(t));
    return true;
}

TransferStep TransferQueue::next(const TransferCacheHooks& hooks) {
    TransferStep step;
    while (!list_.empty()) {
        PendingTransfer& e = list_.front();
        if (e.started) {
            step.kind = TransferStep::Kind::Busy;
            return step;
        }
        step.loadState = e.kind == kTransferGeometry ? 2 : 3;
        if (e.name().empty()) {
            list_.pop_front();
            continue;
        }
        bool served = hooks.serveFromCache && hooks.serveFromCache(e);
        if (!served && e.kind == kTransferObject && hooks.serveObjectFromCache) served = hooks.serveObjectFromCache(e);
        if (served) {
            list_.pop_front();
            continue;
        }
        e.started = true;
        step.kind = TransferStep::Kind::Download;
        step.url = e.name();
        step.toFile = e.kind == kTransferSlotTexture;
        step.messageId = e.kind == kTransferBackground ? kStrBackgroundLoaded
                         : e.kind == kTransferObject   ? kStrLoadingGeometry
                                                       : kStrLoadingTextures;
        return step;
    }
    step.kind = TransferStep::Kind::Idle;
    step.refreshView = servedDuringStream_;
    servedDuringStream_ = false;
    return step;
}

TransferEnd TransferQueue::end(bool success, bool textureArrived) {
    TransferEnd r;
    if (list_.empty() || !list_.front().started) return r;
    r.found = true;
    PendingTransfer& e = list_.front();
    if (!success && e.candidates.size() > 1) {
        e.candidates.erase(e.candidates.begin());
        e.started = false;
        r.retry = true;
        return r;
    }
    list_.pop_front();
    r.removed = true;
    r.rebuildTextures = textureArrived;
    textureArrived_ = textureArrived_ || textureArrived;
    if (list_.empty()) {
        r.listEmpty = true;
        r.reloadScene = textureArrived_;
        textureArrived_ = false;
    }
    return r;
}

void TransferQueue::clear() {
    list_.clear();
    servedDuringStream_ = textureArrived_ = false;
}

DownloadConsumer downloadConsumerOf(int32_t loadState, int32_t kind) {
    if (loadState != 3) return DownloadConsumer::Object;
    switch (kind) {
    case kTransferBackground: return DownloadConsumer::Background;
    case kTransferMaterial: return DownloadConsumer::Material;
    case kTransferSlotTexture: return DownloadConsumer::SlotTexture;
    case kTransferObject: return DownloadConsumer::FurtherObject;
    default: return DownloadConsumer::TextureHandle;
    }
}

std::string objectUrlForGet(int32_t slotCount, const std::string* currentCacheName, const std::string& stored) {
    if (slotCount > 1) return currentCacheName ? *currentCacheName : std::string();
    return stored;
}

ObjectUrlPut planObjectUrlPut(const std::string& value, const std::string& stored, bool windowExists,
                              bool initialisedFromInline) {
    ObjectUrlPut p;
    if (value.size() > kObjectUrlMax) {
        p.refused = true;
        return p;
    }
    if (value.empty() && stored.empty()) {
        p.nothing = true;
        return p;
    }
    p.unload = true;
    if (value != stored) {
        p.store = true;
        p.announce = value.empty();
    }
    p.renameInline = !value.empty() && initialisedFromInline;
    p.startLoad = windowExists && !value.empty();
    return p;
}

std::string backPictureUrlForGet(const std::string& stored, const std::string& textureBaseUrl,
                                 const std::string& texturePath, const FileExistsFn& exists) {
    if (stored.empty()) return {};
    std::string_view local;
    if (isFileUrl(stored))
        local = fileUrlPath(stored);
    else if (exists && exists(stored))
        local = stored;
    else
        return stored;
    for (const std::string* base : {&textureBaseUrl, &texturePath}) {
        if (base->empty()) continue;
        for (std::string_view s : {std::string_view(stored), local}) {
            std::string rest = partBelow(s, *base);
            if (!rest.empty()) return rest;
        }
    }
    return stored;
}

bool backPictureUrlForPut(const std::string& value, const std::string& texturePath, const FileExistsFn& exists,
                          std::string* stored, int32_t* backPicMode) {
    if (value.size() > kObjectUrlMax) return false;
    if (value.empty()) {
        stored->clear();
        return true;
    }
    std::string joined = texturePath + "/" + value;
    if (!texturePath.empty() && kFilePrefix.size() + joined.size() <= kObjectUrlMax && exists && exists(joined))
        *stored = std::string(kFilePrefix) + joined;
    else
        *stored = value;
    if (*backPicMode == 0) *backPicMode = 1;
    return true;
}

std::vector<std::string> backPictureCandidates(const std::string& url, const std::string& textureBaseUrl,
                                               const std::string& texturePath) {
    std::vector<std::string> out;
    if (url.empty()) return out;
    out.push_back(url);
    size_t lastSep = url.find_last_of("/\\");
    std::string_view head = lastSep == std::string::npos ? std::string_view(url) : std::string_view(url).substr(0, lastSep);
    if (head.find(':') != std::string_view::npos) return out;
    if (!textureBaseUrl.empty()) out.push_back(textureBaseUrl + "/" + url);
    if (!texturePath.empty()) out.push_back(std::string(kFilePrefix) + texturePath + "/" + url);
    return out;
}

std::string autoSavePath(const std::string& url, const std::string& objectPath, const FileExistsFn& exists) {
    if (url.empty() || objectPath.empty() || startsWithNoCase(url, "FILE:")) return {};
    if (exists && exists(url)) return {};
    std::string_view u = url;
    u = u.substr(0, u.find_first_of("?#"));
    size_t sep = u.find_last_of("/\\");
    if (sep != std::string_view::npos) u = u.substr(sep + 1);
    std::string name;
    for (size_t i = 0; i < u.size(); ++i) {
        char c = u[i];
        if (c == '%' && i + 2 < u.size() && hexValue(u[i + 1]) >= 0 && hexValue(u[i + 2]) >= 0) {
            c = char(hexValue(u[i + 1]) * 16 + hexValue(u[i + 2]));
            i += 2;
        }
        unsigned char uc = static_cast<unsigned char>(c);
        if (uc < 0x20 || uc == 0x7F || std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos) c = '_';
        name += c;
    }
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
    if (name.empty() || !isConfinedRelativePath(name)) return {};
    // Saved as an object file whatever the address named ("x.hta" becomes "x.hta.pel").
    name = withForcedExtension(name, ".pel", {".qiv"});
    std::string path = objectPath;
    if (!isSep(path.back())) path += '\\';
    path += name;
    if (path.size() > kAutoSavePathMax) return {};
    if (exists && exists(path)) return {};
    return path;
}

}  // namespace qivctl

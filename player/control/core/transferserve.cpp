#include "transferserve.h"

#include "caches.h"

namespace qivctl {

TransferCacheHooks cacheServing(TransferQueue& queue, TransferServeHooks hooks) {
    TransferCacheHooks h;
    h.serveFromCache = [&queue, hooks](const PendingTransfer& e) {
        switch (e.kind) {
        case kTransferBackground:
        case kTransferObject: return false;
        case kTransferMaterial: {
            MatInput m{};
            return MaterialCacheFind(e.cachedAs(), &m) && hooks.applyMaterial && hooks.applyMaterial(e, m);
        }
        default: {
            TexRecord* t = TextureCacheFind(e.cachedAs(), nullptr, nullptr, e.scope);
            if (!t || !hooks.storeTexture) return false;
            TextureCacheHold(t);
            if (!hooks.storeTexture(e, t)) {
                TextureCacheRelease(t);
                return false;
            }
            if (hooks.streaming && hooks.streaming()) queue.noteServedDuringStream();
            return true;
        }
        }
    };
    h.serveObjectFromCache = hooks.serveObject;
    return h;
}

BackPictureLoad loadBackPicture(const std::string& url, const std::string& textureBaseUrl,
                                const std::string& texturePath, TransferQueue& queue, PicRecord** picture) {
    if (url.empty()) return BackPictureLoad::Nothing;
    if (PicRecord* p = BackPictureCacheFind(url)) {
        *picture = p;
        return BackPictureLoad::FromCache;
    }
    PendingTransfer t;
    t.kind = kTransferBackground;
    t.candidates = backPictureCandidates(url, textureBaseUrl, texturePath);
    return queue.add(std::move(t)) ? BackPictureLoad::Queued : BackPictureLoad::NotQueued;
}

}  // namespace qivctl

// The caches' part of the pending transfers: which cache can serve which kind of
// transfer, the holds a served texture or picture takes, and the background
// picture's load (from its cache, else a queued transfer with its candidates).
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "scene/material.h"
#include "transfers.h"

struct TexRecord;
struct PicRecord;

namespace qivctl {

struct TransferServeHooks {
    // Texture kinds (not 2, 4 or 6): the cached texture goes where the entry says (its slot
    // and index, or its target); kind 5 also fires TextureChanged. The texture is held once
    // for its new user before the call, and released again when the call answers false.
    std::function<bool(const PendingTransfer&, TexRecord*)> storeTexture;
    // Kind 4: the cached material applied to the entry's object.
    std::function<bool(const PendingTransfer&, const MatInput&)> applyMaterial;
    // Kind 6: the object cache (the control fills the slot and fires ObjectLoaded).
    std::function<bool(const PendingTransfer&)> serveObject;
    // A load is streaming now (a texture served meanwhile refreshes the view at the end).
    std::function<bool()> streaming;
};
// The hooks TransferQueue::next takes. Background pictures (kind 2) are not served here:
// LoadBackPicture looked in their cache before queueing, and no other cache holds
// pictures of that kind.
TransferCacheHooks cacheServing(TransferQueue& queue, TransferServeHooks hooks);

enum class BackPictureLoad { Nothing, FromCache, Queued, NotQueued };
// LoadBackPicture: nothing without a URL; a cached picture (one more use, given back with
// ReleaseBackPicture) goes to *picture; else a kind-2 transfer with the candidate names is
// queued (NotQueued when the queue refuses it).
BackPictureLoad loadBackPicture(const std::string& url, const std::string& textureBaseUrl,
                                const std::string& texturePath, TransferQueue& queue, PicRecord** picture);

}  // namespace qivctl

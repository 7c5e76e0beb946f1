#include "texresolve.h"

#include "caches.h"

namespace qivctl {

TextureResolution resolveTexture(const char* name, const TextureSearch& local, const TextureUrlSearch& remote,
                                 const TextureFileExists& exists) {
    TextureResolution r;
    if (isNoTextureName(name)) return r;
    if (TexRecord* t = TextureCacheFind(name, nullptr, nullptr, local.cacheScope)) {
        r.kind = TextureResolution::Cached;
        r.texture = t;
        return r;
    }
    if (exists)
        for (TextureFileTry& t : textureFileTries(name, local))
            if (exists(t.path)) r.files.push_back(std::move(t));
    if (!r.files.empty()) {
        r.kind = TextureResolution::Files;
        return r;
    }
    r.urls = textureCandidateUrls(name, remote);
    r.kind = r.urls.empty() ? TextureResolution::Missing : TextureResolution::Download;
    return r;
}

}  // namespace qivctl

// Process-wide caches of the control: objects, textures, materials and background pictures,
// shared by every control of the process, each bounded by its limit. Entries keep use counts:
// an object that scene nodes still use, a texture or picture that a control holds is never
// freed by trimming, eviction, replacement or a flush; it is freed once its last user lets
// it go. Materials are handed out as copies, so no control keeps cache memory.
// The caches take their own lock, so controls on several threads may share them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "scene/material.h"

struct PelContent;
struct TexRecord;
struct PicRecord;
struct QivObjectSlot;

namespace qivctl {

struct CacheLimits {
    uint32_t objects = 30;
    uint32_t texturesConfigured = 200;
    uint32_t texturesInForce = 200;
    uint32_t materials = 100;
    uint32_t backPictures = 5;
};
// Smallest limits that ConfigureCache2 accepts.
constexpr uint32_t kMinObjects = 2, kMinTextures = 10, kMinMaterials = 10, kMinBackPictures = 2;
constexpr uint32_t kDefaultMaterials = 100;

// How the caches tell use and free what they hold. Defaults: an object is in use while scene
// nodes are made from it; objects, textures and pictures are freed by the engine. The window
// layer installs a texture hook that takes the render lock, since a frame may be drawing it.
struct CacheHooks {
    bool (*objectInUse)(const PelContent* object) = nullptr;
    void (*freeObject)(PelContent* object) = nullptr;
    void (*freeTexture)(TexRecord* texture) = nullptr;
    void (*freePicture)(PicRecord* picture) = nullptr;
    // The saved-view list of an object entry: made on demand, freed with the entry.
    void* (*createSavedViews)() = nullptr;
    void (*freeSavedViews)(void* list) = nullptr;
};
void cacheSetHooks(const CacheHooks& hooks);  // null members take the defaults

// Back to the state at load: every cache freed (through the hooks), default limits and hooks.
void cachesReset();

// Limits.
CacheLimits cacheLimits();
// Sets all limits when objects >= 2, textures >= 10, materials >= 10, pictures >= 2;
// otherwise changes nothing and answers false. Over-full caches are trimmed as entries are
// added.
bool ConfigureCache2(uint32_t objects, uint32_t textures, uint32_t materials, uint32_t pictures);
bool ConfigureCache(uint32_t objects, uint32_t textures, uint32_t pictures);  // materials 100
// The texture limit in force rises to needed when that is larger (even above the configured
// limit); a raised limit falls back to the configured one when needed is below that.
void GrowTextureCacheLimit(uint32_t needed);
// FlushCaches: each chosen cache drops what nobody uses.
void FlushCaches(bool objects, bool textures, bool materials, bool pictures);
// Process detach: frees everything, in use or not, cache by cache: objects, background
// pictures, textures, materials (each XCacheFree also gives back the cache's array).
void CachesFree();
void ObjectCacheFree();
void BackPictureCacheFree();
void TextureCacheFree();
void MaterialCacheFree();

// Objects (names compared exactly). Entries under a document's own names ("qiv-inl:..." of
// inline data, "qiv-doc:..." of a document's container) are private to that document: a
// lookup finds them only with that owner, also once inline data took the address its
// document names (ObjectCacheRenameInline). Other entries are named by the resolved address
// or the absolute path of the file they were read from.
// Adds the object under the name (copied). An entry of that name whose object is in use is
// kept and nothing is added (0); one not in use is freed first. Then over-limit entries not
// in use are removed, oldest first (never the one just added).
int ObjectCacheAdd(const std::string& name, PelContent* object);
void ObjectCacheTrim();
// The cached object of a name, with copies of its display name and chunk-21 data and its
// saved-view list (each out may be null); null when not cached.
PelContent* ObjectCacheFind(const std::string& name, std::string* displayName,
                            std::vector<uint8_t>* chunk21, void** savedViews, const std::string& owner = {});
bool isPrivateObjectName(const std::string& name);
int ObjectCacheSetText(const PelContent* object, const std::string& displayName);
int ObjectCacheSetChunk21(const PelContent* object, const uint8_t* data, size_t size);
// The entry's saved-view list, made when missing; null without an entry or a maker.
void* ObjectCacheSavedViews(const PelContent* object);
int ObjectCacheReplace(const PelContent* oldObject, PelContent* newObject);
bool ObjectCacheNameOf(const PelContent* object, std::string* name);
// The first entry named "qiv-inl:last" takes the URL as its name; later ones not in use are
// freed and removed.
void ObjectCacheRenameInline(const std::string& url);
// The same for the entry of one control's inline object (its own name).
void ObjectCacheRenameInline(const std::string& inlineName, const std::string& url);
void ObjectCacheFlush();  // frees the entries not in use
size_t ObjectCacheCount();
extern const char* const kInlineObjectName;  // "qiv-inl:last"

// Textures (keys: textureCacheKey of the name, within a scope: where the name was resolved,
// the folder or address of the object that names it, see textureScopeOf; compared without
// case). One page's "LOGO.BMP" is never another's.
TexRecord* TextureCacheFind(const std::string& name, float* scaleX = nullptr, float* scaleY = nullptr,
                            const std::string& scope = {});
// Enters a texture under the name with its size in metres. An entry of the same key takes
// the new texture; its old texture is freed, or, while held, kept until its last release.
// Over the limit in force, the oldest entries not held are freed (never the one just
// added). 0 for a null texture.
int TextureCacheAdd(const std::string& name, TexRecord* texture, float scaleX, float scaleY,
                    const std::string& scope = {});
// CreateColorTexture: a one-colour texture of colour 0x00BBGGRR (each byte / 255), named and
// entered under the name with scales 1.0. CreateEmbeddedTexture: a picture file image in
// memory (BMP or JPEG) as a texture, entered with the picture's size in metres (1.0 where
// it gives none); null when it does not decode. source: the texture's second text.
TexRecord* CreateColorTexture(const std::string& name, uint32_t colour, const std::string& scope = {},
                              const std::string& source = {});
TexRecord* CreateEmbeddedTexture(const std::string& name, const uint8_t* data, size_t size,
                                 const std::string& scope = {}, const std::string& source = {});
// A control keeps (holds) or lets go of a cached texture; 0 for a texture not in the cache.
int TextureCacheHold(const TexRecord* texture);
int TextureCacheRelease(const TexRecord* texture);
// A slot's textures go back to the texture cache, then the slot is freed (qivFreeSlot).
void ReleaseSlot(QivObjectSlot& slot);
uint32_t TextureCacheUses(const TexRecord* texture);
// The key and scales under which a texture is cached (also one kept only for its holders);
// false for a texture not in the cache.
bool TextureCacheKeyOf(const TexRecord* texture, std::string* key, float* scaleX, float* scaleY);
void TextureCacheFlush();  // frees the textures not held
size_t TextureCacheCount();  // entries (textures kept only for their holders not counted)

// Materials: found by exact name, or an entry "file://<path>" (prefix without case) matches
// the path with '/' as '\' (without case). Find copies the record out.
int MaterialCacheFind(const std::string& name, MatInput* out);
void MaterialCacheAdd(const std::string& name, const MatInput& material);
void MaterialCacheFlush();
size_t MaterialCacheCount();

// Background pictures: a hit counts one more use, which ReleaseBackPicture gives back.
PicRecord* BackPictureCacheFind(const std::string& name);
// Enters a picture with one use (the adder's).
void BackPictureCacheAdd(const std::string& name, PicRecord* picture);
// One use less; an unused entry is freed when the cache is over its limit, else moves to the
// end (least recently released first out).
int ReleaseBackPicture(const PicRecord* picture);
void BackPictureCacheFlush(bool all);  // all: also pictures in use (process detach only)
size_t BackPictureCacheCount();
uint32_t BackPictureCacheUses(const PicRecord* picture);

}  // namespace qivctl

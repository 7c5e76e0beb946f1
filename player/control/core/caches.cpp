#include "caches.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>

#include "ctlstate.h"
#include "jpegglue.h"
#include "scene/scene.h"
#include "scene/texture.h"
#include "texpaths.h"

namespace qivctl {

const char* const kInlineObjectName = "qiv-inl:last";

namespace {

struct ObjectEntry {
    std::string name;
    std::string owner;  // a document's private entry: only that document's lookups find it
    std::string displayName;
    std::vector<uint8_t> chunk21;
    void* savedViews = nullptr;
    PelContent* object = nullptr;
};

struct TextureEntry {
    std::string key;
    std::string scope;  // where the name was resolved (upper-cased); one scope's name is not another's
    TexRecord* texture = nullptr;
    float scaleX = 1, scaleY = 1;
    uint32_t uses = 0;
};

struct MaterialEntry {
    std::string name;
    MatInput material;
};

struct PictureEntry {
    std::string name;
    uint32_t uses = 0;
    PicRecord* picture = nullptr;
};

struct Caches {
    std::recursive_mutex lock;
    CacheLimits limits;
    CacheHooks hooks;
    std::vector<ObjectEntry> objects;
    std::vector<TextureEntry> textures;
    std::vector<TextureEntry> retiredTextures;  // replaced while held
    std::vector<MaterialEntry> materials;
    std::vector<PictureEntry> pictures;
    std::vector<PictureEntry> retiredPictures;
};

Caches& caches() {
    static Caches c;
    return c;
}

using Guard = std::lock_guard<std::recursive_mutex>;

bool defaultInUse(const PelContent* o) { return o && o->nodeCount != 0; }
void defaultFreeObject(PelContent* o) { pelFreeObject(&o); }
void defaultFreeTexture(TexRecord* t) { texFree(&t); }
void defaultFreePicture(PicRecord* p) { picFree(&p); }

CacheHooks withDefaults(CacheHooks h) {
    if (!h.objectInUse) h.objectInUse = defaultInUse;
    if (!h.freeObject) h.freeObject = defaultFreeObject;
    if (!h.freeTexture) h.freeTexture = defaultFreeTexture;
    if (!h.freePicture) h.freePicture = defaultFreePicture;
    return h;
}

const CacheHooks& hooks() {
    Caches& c = caches();
    if (!c.hooks.objectInUse) c.hooks = withDefaults(c.hooks);
    return c.hooks;
}

bool equalNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// Exact name, or "file://" + name with '/' as '\' (both without case).
bool fileNameMatch(const std::string& entry, const std::string& name) {
    if (entry == name) return true;
    static const std::string prefix = "file://";
    if (entry.size() < prefix.size() || !equalNoCase(entry.substr(0, prefix.size()), prefix)) return false;
    std::string wanted = name;
    std::replace(wanted.begin(), wanted.end(), '/', '\\');
    return equalNoCase(entry.substr(prefix.size()), wanted);
}

void freeObjectEntry(ObjectEntry& e) {
    if (e.object) hooks().freeObject(e.object);
    if (e.savedViews && hooks().freeSavedViews) hooks().freeSavedViews(e.savedViews);
    e.object = nullptr;
    e.savedViews = nullptr;
}

bool objectInUse(const ObjectEntry& e) { return e.object && hooks().objectInUse(e.object); }

ObjectEntry* objectEntryOf(const PelContent* object) {
    if (!object) return nullptr;
    for (ObjectEntry& e : caches().objects)
        if (e.object == object) return &e;
    return nullptr;
}

// Removes unused entries from the front while over the limit; keep is never removed.
void trimObjects(const PelContent* keep) {
    Caches& c = caches();
    for (size_t i = 0; c.objects.size() > c.limits.objects && i < c.objects.size();) {
        ObjectEntry& e = c.objects[i];
        if (e.object != keep && !objectInUse(e)) {
            freeObjectEntry(e);
            c.objects.erase(c.objects.begin() + ptrdiff_t(i));
        } else {
            ++i;
        }
    }
}

void freeTexture(TexRecord* t) {
    if (t) hooks().freeTexture(t);
}

void trimTextures(const TexRecord* keep) {
    Caches& c = caches();
    for (size_t i = 0; c.textures.size() > c.limits.texturesInForce && i < c.textures.size();) {
        TextureEntry& e = c.textures[i];
        if (e.uses == 0 && e.texture != keep) {
            freeTexture(e.texture);
            c.textures.erase(c.textures.begin() + ptrdiff_t(i));
        } else {
            ++i;
        }
    }
}

void freePicture(PicRecord* p) {
    if (p) hooks().freePicture(p);
}

// Frees and removes the first unused picture entry; false when every one is in use.
bool dropFirstUnusedPicture() {
    Caches& c = caches();
    for (size_t i = 0; i < c.pictures.size(); ++i)
        if (c.pictures[i].uses == 0) {
            freePicture(c.pictures[i].picture);
            c.pictures.erase(c.pictures.begin() + ptrdiff_t(i));
            return true;
        }
    return false;
}

void freeObjectsLocked() {
    Caches& c = caches();
    for (ObjectEntry& e : c.objects) freeObjectEntry(e);
    c.objects.clear();
}

void freeTexturesLocked() {
    Caches& c = caches();
    for (TextureEntry& e : c.textures) freeTexture(e.texture);
    for (TextureEntry& e : c.retiredTextures) freeTexture(e.texture);
    c.textures.clear();
    c.retiredTextures.clear();
}

void freePicturesLocked() {
    Caches& c = caches();
    for (PictureEntry& e : c.pictures) freePicture(e.picture);
    for (PictureEntry& e : c.retiredPictures) freePicture(e.picture);
    c.pictures.clear();
    c.retiredPictures.clear();
}

void freeAllLocked() {
    freeObjectsLocked();
    freeTexturesLocked();
    caches().materials.clear();
    freePicturesLocked();
}

}  // namespace

void cacheSetHooks(const CacheHooks& h) {
    Guard g(caches().lock);
    caches().hooks = withDefaults(h);
}

void cachesReset() {
    Guard g(caches().lock);
    freeAllLocked();
    caches().limits = CacheLimits{};
    caches().hooks = withDefaults(CacheHooks{});
}

CacheLimits cacheLimits() {
    Guard g(caches().lock);
    return caches().limits;
}

bool ConfigureCache2(uint32_t objects, uint32_t textures, uint32_t materials, uint32_t pictures) {
    if (objects < kMinObjects || textures < kMinTextures || materials < kMinMaterials || pictures < kMinBackPictures)
        return false;
    Guard g(caches().lock);
    CacheLimits& l = caches().limits;
    l.objects = objects;
    l.texturesConfigured = l.texturesInForce = textures;
    l.materials = materials;
    l.backPictures = pictures;
    return true;
}

bool ConfigureCache(uint32_t objects, uint32_t textures, uint32_t pictures) {
    return ConfigureCache2(objects, textures, kDefaultMaterials, pictures);
}

void GrowTextureCacheLimit(uint32_t needed) {
    Guard g(caches().lock);
    CacheLimits& l = caches().limits;
    if (needed > l.texturesInForce)
        l.texturesInForce = needed;
    else if (l.texturesInForce > l.texturesConfigured && needed < l.texturesConfigured)
        l.texturesInForce = l.texturesConfigured;
}

void FlushCaches(bool objects, bool textures, bool materials, bool pictures) {
    if (objects) ObjectCacheFlush();
    if (textures) TextureCacheFlush();
    if (materials) MaterialCacheFlush();
    if (pictures) BackPictureCacheFlush(false);
}

void CachesFree() {
    ObjectCacheFree();
    BackPictureCacheFree();
    TextureCacheFree();
    MaterialCacheFree();
}

void ObjectCacheFree() {
    Guard g(caches().lock);
    freeObjectsLocked();
    caches().objects.shrink_to_fit();
}

void TextureCacheFree() {
    Guard g(caches().lock);
    freeTexturesLocked();
    caches().textures.shrink_to_fit();
    caches().retiredTextures.shrink_to_fit();
}

void MaterialCacheFree() {
    Guard g(caches().lock);
    caches().materials.clear();
    caches().materials.shrink_to_fit();
}

void BackPictureCacheFree() {
    Guard g(caches().lock);
    freePicturesLocked();
    caches().pictures.shrink_to_fit();
    caches().retiredPictures.shrink_to_fit();
}

// Objects

bool isPrivateObjectName(const std::string& name) {
    return name.rfind("qiv-inl:", 0) == 0 || name.rfind("qiv-doc:", 0) == 0;
}

int ObjectCacheAdd(const std::string& name, PelContent* object) {
    if (!object) return 0;
    Guard g(caches().lock);
    auto& list = caches().objects;
    const std::string owner = isPrivateObjectName(name) ? name : std::string();
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i].name != name || list[i].owner != owner) continue;
        if (list[i].object == object) return 1;
        if (objectInUse(list[i])) return 0;
        freeObjectEntry(list[i]);
        list.erase(list.begin() + ptrdiff_t(i));
        break;
    }
    if (objectEntryOf(object)) return 1;  // cached under another name: one entry frees it
    ObjectEntry e;
    e.name = name;
    e.owner = owner;
    e.object = object;
    list.push_back(std::move(e));
    trimObjects(object);
    return 1;
}

void ObjectCacheTrim() {
    Guard g(caches().lock);
    trimObjects(nullptr);
}

PelContent* ObjectCacheFind(const std::string& name, std::string* displayName, std::vector<uint8_t>* chunk21,
                            void** savedViews, const std::string& owner) {
    Guard g(caches().lock);
    for (ObjectEntry& e : caches().objects)
        if (e.name == name && (e.owner.empty() || e.owner == owner)) {
            if (displayName) *displayName = e.displayName;
            if (chunk21) *chunk21 = e.chunk21;
            if (savedViews) *savedViews = e.savedViews;
            return e.object;
        }
    return nullptr;
}

int ObjectCacheSetText(const PelContent* object, const std::string& displayName) {
    Guard g(caches().lock);
    ObjectEntry* e = objectEntryOf(object);
    if (!e) return 0;
    e->displayName = displayName;
    return 1;
}

int ObjectCacheSetChunk21(const PelContent* object, const uint8_t* data, size_t size) {
    Guard g(caches().lock);
    ObjectEntry* e = objectEntryOf(object);
    if (!e) return 0;
    if (data && size)
        e->chunk21.assign(data, data + size);
    else
        e->chunk21.clear();
    return 1;
}

void* ObjectCacheSavedViews(const PelContent* object) {
    Guard g(caches().lock);
    ObjectEntry* e = objectEntryOf(object);
    if (!e) return nullptr;
    if (!e->savedViews && hooks().createSavedViews) e->savedViews = hooks().createSavedViews();
    return e->savedViews;
}

int ObjectCacheReplace(const PelContent* oldObject, PelContent* newObject) {
    Guard g(caches().lock);
    ObjectEntry* e = objectEntryOf(oldObject);
    if (!e || !newObject) return 0;
    e->object = newObject;
    return 1;
}

bool ObjectCacheNameOf(const PelContent* object, std::string* name) {
    Guard g(caches().lock);
    ObjectEntry* e = objectEntryOf(object);
    if (!e) return false;
    if (name) *name = e->name;
    return true;
}

void ObjectCacheRenameInline(const std::string& url) { ObjectCacheRenameInline(kInlineObjectName, url); }

void ObjectCacheRenameInline(const std::string& inlineName, const std::string& url) {
    Guard g(caches().lock);
    auto& list = caches().objects;
    bool renamed = false;
    for (size_t i = 0; i < list.size();) {
        if (list[i].name != inlineName) {
            ++i;
        } else if (!renamed) {
            // Still the document's own: the address names it for that document only.
            list[i].name = url;
            list[i].owner = inlineName;
            renamed = true;
            ++i;
        } else if (!objectInUse(list[i])) {
            freeObjectEntry(list[i]);
            list.erase(list.begin() + ptrdiff_t(i));
        } else {
            ++i;
        }
    }
}

void ObjectCacheFlush() {
    Guard g(caches().lock);
    auto& list = caches().objects;
    for (size_t i = 0; i < list.size();) {
        if (objectInUse(list[i])) {
            ++i;
        } else {
            freeObjectEntry(list[i]);
            list.erase(list.begin() + ptrdiff_t(i));
        }
    }
}

size_t ObjectCacheCount() {
    Guard g(caches().lock);
    return caches().objects.size();
}

// Textures

namespace {

std::string upperScope(const std::string& scope) {
    std::string s = scope;
    for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

TexRecord* TextureCacheFind(const std::string& name, float* scaleX, float* scaleY, const std::string& scope) {
    const std::string key = textureCacheKey(name), where = upperScope(scope);
    Guard g(caches().lock);
    for (const TextureEntry& e : caches().textures)
        if (e.key == key && e.scope == where) {
            if (scaleX) *scaleX = e.scaleX;
            if (scaleY) *scaleY = e.scaleY;
            return e.texture;
        }
    return nullptr;
}

int TextureCacheAdd(const std::string& name, TexRecord* texture, float scaleX, float scaleY,
                    const std::string& scope) {
    if (!texture) return 0;
    const std::string key = textureCacheKey(name), where = upperScope(scope);
    Guard g(caches().lock);
    Caches& c = caches();
    TextureEntry* entry = nullptr;
    for (TextureEntry& e : c.textures) {
        if (e.key == key && e.scope == where) entry = &e;
        else if (e.texture == texture) return 1;  // cached under another key: one entry frees it
    }
    if (entry) {
        if (entry->texture != texture) {
            if (entry->uses == 0)
                freeTexture(entry->texture);
            else
                c.retiredTextures.push_back(*entry);
            entry->uses = 0;
            entry->texture = texture;
        }
    } else {
        c.textures.push_back(TextureEntry{key, where, texture, 1, 1, 0});
        entry = &c.textures.back();
    }
    entry->scaleX = scaleX;
    entry->scaleY = scaleY;
    trimTextures(texture);
    return 1;
}

namespace {

// A texture just made, named and entered; freed again when it cannot be entered.
TexRecord* enterMade(TexRecord* t, const std::string& name, float sx, float sy, const std::string& scope,
                     const std::string& source) {
    texSetName(t, name.c_str(), source.c_str(), 0);
    if (TextureCacheAdd(name, t, sx > 0 ? sx : 1.0f, sy > 0 ? sy : 1.0f, scope)) return t;
    texFree(&t);
    return nullptr;
}

}  // namespace

TexRecord* CreateColorTexture(const std::string& name, uint32_t colour, const std::string& scope,
                              const std::string& source) {
    TexRecord* t = nullptr;
    if (!texAllocRecord(&t) || !t) return nullptr;
    for (int i = 0; i < 3; ++i) t->colour[i] = float((colour >> (8 * i)) & 0xFF) / 255.0f;
    return enterMade(t, name, 1.0f, 1.0f, scope, source);
}

TexRecord* CreateEmbeddedTexture(const std::string& name, const uint8_t* data, size_t size, const std::string& scope,
                                 const std::string& source) {
    float sx = 0, sy = 0;
    TexRecord* t = LoadTextureFromMemory(data, size, &sx, &sy);
    return t ? enterMade(t, name, sx, sy, scope, source) : nullptr;
}

int TextureCacheHold(const TexRecord* texture) {
    if (!texture) return 0;
    Guard g(caches().lock);
    for (TextureEntry& e : caches().textures)
        if (e.texture == texture) return ++e.uses, 1;
    for (TextureEntry& e : caches().retiredTextures)
        if (e.texture == texture) return ++e.uses, 1;
    return 0;
}

int TextureCacheRelease(const TexRecord* texture) {
    if (!texture) return 0;
    Guard g(caches().lock);
    Caches& c = caches();
    for (TextureEntry& e : c.textures)
        if (e.texture == texture) {
            if (e.uses) --e.uses;
            if (e.uses == 0) trimTextures(nullptr);
            return 1;
        }
    for (size_t i = 0; i < c.retiredTextures.size(); ++i)
        if (c.retiredTextures[i].texture == texture) {
            TextureEntry& e = c.retiredTextures[i];
            if (e.uses) --e.uses;
            if (e.uses == 0) {
                freeTexture(e.texture);
                c.retiredTextures.erase(c.retiredTextures.begin() + ptrdiff_t(i));
            }
            return 1;
        }
    return 0;
}

void ReleaseSlot(QivObjectSlot& slot) {
    for (TexRecord*& t : slot.textureHandles)
        if (t) TextureCacheRelease(t);
    slot.textureHandles.clear();
    qivFreeSlot(slot);
}

bool TextureCacheKeyOf(const TexRecord* texture, std::string* key, float* scaleX, float* scaleY) {
    if (!texture) return false;
    Guard g(caches().lock);
    for (const auto* list : {&caches().textures, &caches().retiredTextures})
        for (const TextureEntry& e : *list)
            if (e.texture == texture) {
                if (key) *key = e.key;
                if (scaleX) *scaleX = e.scaleX;
                if (scaleY) *scaleY = e.scaleY;
                return true;
            }
    return false;
}

uint32_t TextureCacheUses(const TexRecord* texture) {
    Guard g(caches().lock);
    for (const TextureEntry& e : caches().textures)
        if (e.texture == texture) return e.uses;
    for (const TextureEntry& e : caches().retiredTextures)
        if (e.texture == texture) return e.uses;
    return 0;
}

void TextureCacheFlush() {
    Guard g(caches().lock);
    auto& list = caches().textures;
    for (size_t i = 0; i < list.size();) {
        if (list[i].uses) {
            ++i;
        } else {
            freeTexture(list[i].texture);
            list.erase(list.begin() + ptrdiff_t(i));
        }
    }
}

size_t TextureCacheCount() {
    Guard g(caches().lock);
    return caches().textures.size();
}

// Materials

int MaterialCacheFind(const std::string& name, MatInput* out) {
    Guard g(caches().lock);
    for (const MaterialEntry& e : caches().materials)
        if (fileNameMatch(e.name, name)) {
            if (out) *out = e.material;
            return 1;
        }
    return 0;
}

void MaterialCacheAdd(const std::string& name, const MatInput& material) {
    Guard g(caches().lock);
    Caches& c = caches();
    for (MaterialEntry& e : c.materials)
        if (equalNoCase(e.name, name)) {
            e.material = material;
            return;
        }
    c.materials.push_back({name, material});
    while (c.materials.size() > c.limits.materials) c.materials.erase(c.materials.begin());
}

void MaterialCacheFlush() {
    Guard g(caches().lock);
    caches().materials.clear();
}

size_t MaterialCacheCount() {
    Guard g(caches().lock);
    return caches().materials.size();
}

// Background pictures

PicRecord* BackPictureCacheFind(const std::string& name) {
    Guard g(caches().lock);
    for (PictureEntry& e : caches().pictures)
        if (fileNameMatch(e.name, name)) {
            ++e.uses;
            return e.picture;
        }
    return nullptr;
}

void BackPictureCacheAdd(const std::string& name, PicRecord* picture) {
    if (!picture) return;
    Guard g(caches().lock);
    Caches& c = caches();
    for (PictureEntry& e : c.pictures)
        if (equalNoCase(e.name, name)) {
            if (e.picture == picture) return;
            if (e.uses == 0)
                freePicture(e.picture);
            else
                c.retiredPictures.push_back(e);
            e.picture = picture;
            e.uses = 1;
            return;
        }
    for (const PictureEntry& e : c.pictures)
        if (e.picture == picture) return;  // cached under another name: one entry frees it
    PictureEntry* slot = nullptr;
    if (c.pictures.size() >= c.limits.backPictures)
        for (PictureEntry& e : c.pictures)
            if (e.uses == 0) {
                freePicture(e.picture);
                slot = &e;
                break;
            }
    if (!slot) {
        c.pictures.emplace_back();
        slot = &c.pictures.back();
    }
    slot->name = name;
    slot->picture = picture;
    slot->uses = 1;
    if (c.pictures.size() > c.limits.backPictures) dropFirstUnusedPicture();
}

int ReleaseBackPicture(const PicRecord* picture) {
    if (!picture) return 0;
    Guard g(caches().lock);
    Caches& c = caches();
    for (size_t i = 0; i < c.pictures.size(); ++i) {
        if (c.pictures[i].picture != picture) continue;
        if (c.pictures[i].uses) --c.pictures[i].uses;
        if (c.pictures[i].uses == 0) {
            PictureEntry e = std::move(c.pictures[i]);
            c.pictures.erase(c.pictures.begin() + ptrdiff_t(i));
            if (c.pictures.size() + 1 > c.limits.backPictures)
                freePicture(e.picture);
            else
                c.pictures.push_back(std::move(e));
        }
        return 1;
    }
    for (size_t i = 0; i < c.retiredPictures.size(); ++i)
        if (c.retiredPictures[i].picture == picture) {
            if (c.retiredPictures[i].uses) --c.retiredPictures[i].uses;
            if (c.retiredPictures[i].uses == 0) {
                freePicture(c.retiredPictures[i].picture);
                c.retiredPictures.erase(c.retiredPictures.begin() + ptrdiff_t(i));
            }
            return 1;
        }
    return 0;
}

void BackPictureCacheFlush(bool all) {
    Guard g(caches().lock);
    Caches& c = caches();
    for (size_t i = 0; i < c.pictures.size();) {
        if (c.pictures[i].uses && !all) {
            ++i;
        } else {
            freePicture(c.pictures[i].picture);
            c.pictures.erase(c.pictures.begin() + ptrdiff_t(i));
        }
    }
    if (all) {
        for (PictureEntry& e : c.retiredPictures) freePicture(e.picture);
        c.retiredPictures.clear();
    }
}

size_t BackPictureCacheCount() {
    Guard g(caches().lock);
    return caches().pictures.size();
}

uint32_t BackPictureCacheUses(const PicRecord* picture) {
    Guard g(caches().lock);
    for (const PictureEntry& e : caches().pictures)
        if (e.picture == picture) return e.uses;
    for (const PictureEntry& e : caches().retiredPictures)
        if (e.picture == picture) return e.uses;
    return 0;
}

}  // namespace qivctl

// Where a texture that an object names is looked for: the cache key of a texture name, the
// local candidate files (beside the object, on the texture path) with their extension
// fallbacks, and the candidate URLs of a download. Names that come from an object file or a
// download are confined: a candidate built from such a name never leaves its folder
// (no "..", no drive, no root, no network part).
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qivctl {

// Longest local candidate path (characters): the ANSI file functions take no longer one.
constexpr size_t kTexturePathMax = 259;
// Longest name part that a download is queued for.
constexpr size_t kTextureUrlNameMax = 2048;

// Who gave the name: the host through the control's interface, or stored data (an object
// file, a container, a download), which is confined to the texture folders.
enum class TextureNameSource { Host, Stored };

// True for no texture: null, empty or the single blank " ".
bool isNoTextureName(const char* name);

// Cache key: the name upper-cased, from its last '>' on (the '>' included) when it has one.
std::string textureCacheKey(std::string_view name);
// Cache scope of the textures an object names: the address or folder of the object's source
// (up to its last '/' or '\', without query or fragment); a source without one (a document's
// own name) is a scope of its own.
std::string textureScopeOf(std::string_view sourceName);

// Name under which a texture is kept: a name below the texture base URL (the base, then '/'
// or '\') is stored as base + ">" + rest; other names as they are.
std::string textureStoredName(std::string_view name, std::string_view textureBaseUrl);

// A name the file system takes for a device (CON, NUL, COM1, ...), whatever extension follows.
bool isDeviceName(std::string_view component);

// True when a relative part stays inside the folder it is joined to: not empty, no ':',
// not starting with a separator, no component ".." (also when percent-encoded or with
// trailing dots or blanks), no device name (CON, NUL, COM1, ...), no control characters.
bool isConfinedRelativePath(std::string_view part);

struct TextureSearch {
    std::string baseDirectory;  // folder of the object (may be empty)
    std::string texturePath;    // TexturePath (may be empty)
    bool inhibitLocal = false;  // InhibitLocalTextures
    TextureNameSource source = TextureNameSource::Stored;
    std::string cacheScope;     // the texture cache's scope of the name (textureScopeOf)
};

// Local candidate paths in the order they are tried (before the extension fallbacks);
// duplicates, unconfined parts of stored names and paths over kTexturePathMax are left out.
std::vector<std::string> textureCandidatePaths(std::string_view name, const TextureSearch& search);

enum class TextureLoader { Picture, Compressed };  // LoadTextureFile or LoadCompressedTexture
struct TextureFileTry {
    std::string path;
    TextureLoader loader;
    bool operator==(const TextureFileTry&) const = default;
};

// A candidate as it is, then with the extension of its file name (from the file name's last
// '.'; appended when it has none) replaced by ".jpg", then by ".bms". A ".bms" file is
// expanded before it is read. Variants over kTexturePathMax are left out.
std::vector<TextureFileTry> textureFileVariants(std::string_view path);

// Every file to test, in order: each candidate path with its variants.
std::vector<TextureFileTry> textureFileTries(std::string_view name, const TextureSearch& search);

struct TextureUrlSearch {
    std::string baseDirectory;   // folder (URL) of the object (may be empty)
    std::string textureBaseUrl;  // TextureBaseURL; empty: no download
    bool noWholeNameUrl = false; // leaves out the URL of the whole folder-qualified name
    TextureNameSource source = TextureNameSource::Stored;
};

// Candidate URLs of a texture download in the order they are tried: the texture base URL
// with the whole lower-cased name (when it has a folder part), the texture base URL with its
// file part, the object's folder with its file part. ".bmp" names are fetched as ".bms".
// Empty without a texture base URL, for no texture, or for a name part over
// kTextureUrlNameMax characters.
std::vector<std::string> textureCandidateUrls(std::string_view name, const TextureUrlSearch& search);

// The texture names of an object: count names that follow one another, each closed by a
// zero byte, in a block of size bytes. Names the block does not hold are empty; a name
// without its closing zero ends at the block's end.
std::vector<std::string> textureNamesOf(const char* block, size_t size, uint32_t count);

}  // namespace qivctl

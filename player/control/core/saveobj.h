// Saving the current object: the object name list, the PEL file written from
// a scene node with the chunks of its source (an object file or a container
// payload), the texture file paths below the texture folder, and the
// content-language value. Files are built beside their target and take its
// name only when complete; an existing target is never overwritten.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "scene/vecmath.h"

struct ScnNode;
struct TexRecord;

namespace qivctl {

constexpr uint32_t kChunkTextureTable = 0x100, kChunkBackPicture = 0x101, kChunkObjectTexts = 0x10001;

// Chunk 0x10001 of a saved object: "XX" + source URL + 0x01 and a zero, then the object's own
// name text and a zero when it is one that fits (not empty, no zero byte, at most
// kOwnNameTextMax bytes), else "XX" + the URL's file name + 0x01 and a zero.
constexpr size_t kOwnNameTextMax = 1024;
constexpr size_t kNameListUrlMax = 2047;
std::vector<uint8_t> objectNameList(std::string_view sourceUrl, std::string_view ownNameText);

// The chunk list of a container payload (offsets from its first byte).
struct PayloadChunk {
    uint32_t type = 0;
    size_t offset = 0;  // of the data
    uint32_t length = 0;
};
// Walks the chunk list from the header's chunk list offset to the payload's end (the
// header's size, at most the bytes given). False when the payload header is not there or a
// chunk does not fit; chunks holds those read before.
bool payloadChunks(const uint8_t* payload, size_t size, std::vector<PayloadChunk>* chunks);
// The object stream's name (its zero-terminated text at offset 50, within the stream) and
// flag byte (offset 28). False when the stream does not lie inside the payload or is too
// short for them.
bool payloadObjectInfo(const uint8_t* payload, size_t size, std::string* name, uint32_t* flags);

// While a node is written, it lies turned 180 degrees about z; its placement, identifiers
// and time come back at every exit.
class TurnedForWriting {
public:
    TurnedForWriting(ScnNode* node, uint32_t id, uint32_t groupId, const Mat4& placement, float time);
    ~TurnedForWriting();
    TurnedForWriting(const TurnedForWriting&) = delete;
    TurnedForWriting& operator=(const TurnedForWriting&) = delete;

private:
    ScnNode* node_;
    uint32_t id_, groupId_;
    Mat4 placement_;
    float time_;
};

// Renames a file unless the new name exists: one step, never a test followed by a rename.
bool renameNoReplace(const std::string& from, const std::string& to);

// A file built beside its target: the path to write, then commit() gives it the target's
// name unless the target exists meanwhile (renameNoReplace). Removed at every exit without a
// commit.
class FileBeside {
public:
    explicit FileBeside(std::string target);
    ~FileBeside();
    FileBeside(const FileBeside&) = delete;
    FileBeside& operator=(const FileBeside&) = delete;
    const std::string& path() const { return temp_; }
    // replace: the target is replaced when it exists (the user agreed to it).
    bool commit(bool replace = false);

private:
    std::string target_, temp_;
    bool done_ = false;
};

// WritePelFromContainer: the node written as an object file with the stream's name (or the
// given one) and the switches of its flag byte; then every chunk of the payload but 0x100,
// 0x101 and (with a name list) 0x10001; then the name list. 0 when the target exists or any
// step fails; nothing is left at the target then. The caller sets the file time after.
int WritePelFromContainer(ScnNode* node, const uint8_t* payload, size_t size, const std::string& target,
                          const std::vector<uint8_t>& nameList, const char* name);
// WritePelFromFile: the same from a source object file and its chunk directory (chunks whose
// data would lie past the source's end are left out, as the readers leave them out).
int WritePelFromFile(ScnNode* node, const std::string& source, const std::string& target,
                     const std::vector<uint8_t>& nameList);

// Where SaveTextureFile writes a texture: directory + "\" + the cache key behind its last
// '>' (all of it without one), and each folder level below directory to create, in order.
// False when that part would leave the directory (see isConfinedRelativePath) or the path
// is over 259 characters.
bool textureSavePath(const std::string& directory, std::string_view cacheKey, std::string* path,
                     std::vector<std::string>* folders, char separator = '\\');
// SaveTextureFile: 1 when the texture's file is there afterwards (an existing one is kept,
// else it is written as a BMP with the cache entry's scales); 0 for a texture not in the
// cache, a name that would leave the directory, or a folder or file that cannot be made.
// pictureExtension: a name that is not a BMP, JPEG or PNG file's gets ".bmp".
int SaveTextureFile(const TexRecord* texture, const std::string& directory, bool pictureExtension = false);

// SaveCachedTexture: the picture of the texture cached under name (within scope) written as a
// BMP file at path with the entry's scales, built beside it. 0 when the name is not cached,
// a file is there (unless replace) or the file cannot be written.
int SaveCachedTexture(const std::string& name, const std::string& path, const std::string& scope = {},
                      bool replace = false);

// What SaveObjectFile does.
struct ObjectSavePlan {
    enum class Kind { Refuse, AllObjects, FromObjectFile, RawContainer, FromContainer } kind = Kind::Refuse;
    bool buildNameList = false;  // from ObjectURL, which is not a "file://" URL
    bool saveTextures = false;
};
ObjectSavePlan planObjectSave(bool targetExists, int32_t slotCount, bool raw, bool fromExpandedCopy,
                              bool objectUrlIsFile);

// SaveObjectFile with the steps that need the window system or other parts left to hooks.
struct ObjectSaveSource {
    ScnNode* node = nullptr;        // the current object's node
    uint32_t id = 0, groupId = 0;   // its identifiers, restored after writing
    Mat4 placement{};
    float time = 0;
    int32_t slotCount = 1;
    std::string objectUrl;
    std::string ownNameText;        // the object's own name list text, may be empty
    std::string expandedCopy;       // the temporary expanded object file it was loaded from, or empty
    const uint8_t* payload = nullptr;  // the container payload in memory
    size_t payloadSize = 0;
    std::vector<const TexRecord*> textures;  // of the current object
    bool pictureExtensions = false;  // texture files get picture names (SaveTextureFile)
};
struct ObjectSaveHooks {
    std::function<void()> releaseHardware;  // the hardware back end's drawing released, redraw
    std::function<int(const std::string& path, const char* name, bool combine)> saveAllObjects;
    std::function<int(const std::string& path)> saveContainerFile;
    std::function<void(const std::string& path)> setFileTime;  // the container's file time
};
int saveObjectFile(const ObjectSaveSource& source, const std::string& path, bool raw,
                   const std::string& textureDirectory, const char* name, bool combine, const ObjectSaveHooks& hooks);

// Language put: exactly two characters, none of them a control character (else
// InvalidArg); an equal value without case changes nothing; else stored upper-cased.
enum class LanguagePut { InvalidArg, Unchanged, Changed };
// Error information of a refused value: string 1280, help context 0x2500 in this help file.
enum : uint32_t { kStrLanguageTwoCharacters = 1280, kLanguageHelpContext = 0x2500 };
constexpr const char* kLanguageHelpFile = "Preview.hlp";
LanguagePut putLanguage(std::string_view value, char current[3]);

}  // namespace qivctl

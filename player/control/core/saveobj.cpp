#include "saveobj.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <system_error>
#if !defined(_WIN32)
#include <unistd.h>
#endif

#include "scene/bytes.h"
#include "scene/objnode.h"
#include "scene/pelchunk.h"
#include "scene/pelwrite.h"
#include "scene/scene.h"
#include "caches.h"
#include "callertrust.h"
#include "scene/texture.h"
#include "texpaths.h"
#include "transfers.h"

namespace qivctl {

namespace {

uint32_t rd32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

bool fileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::path(path), ec);
}

// The payload's end as its header gives it, within the bytes there; 0 without a header.
uint64_t payloadEnd(const uint8_t* payload, size_t size) {
    if (!payload || size < 40 || std::string_view(reinterpret_cast<const char*>(payload), 4) != "Qiv1") return 0;
    uint64_t declared = rd32(payload + 4);
    if (declared < 40) return 0;
    return declared < size ? declared : size;
}

std::string cutName(std::string s) {
    if (s.size() > PEL_NAME_MAX) s.resize(PEL_NAME_MAX);
    return s;
}

void switchesOf(uint32_t flags, PelWriteInfo* info) {
    for (int i = 0; i < 5; ++i) info->switches[i] = (flags & PEL_WRITE_SWITCH_FLAGS[i]) ? 1 : 0;
}

bool keepChunk(uint32_t type, bool nameList) {
    if (type == kChunkTextureTable || type == kChunkBackPicture) return false;
    return !(nameList && type == kChunkObjectTexts);
}

}  // namespace

std::vector<uint8_t> objectNameList(std::string_view sourceUrl, std::string_view ownNameText) {
    sourceUrl = sourceUrl.substr(0, std::min(sourceUrl.find('\0'), kNameListUrlMax));
    std::vector<uint8_t> out;
    auto add = [&](std::string_view s) { out.insert(out.end(), s.begin(), s.end()); };
    add("XX");
    add(sourceUrl);
    out.push_back(0x01);
    out.push_back(0);
    bool fits = !ownNameText.empty() && ownNameText.size() <= kOwnNameTextMax &&
                ownNameText.find('\0') == std::string_view::npos;
    if (fits) {
        add(ownNameText);
    } else {
        std::string_view file = sourceUrl.substr(0, sourceUrl.find_first_of("?#"));
        size_t sep = file.find_last_of("/\\");
        if (sep != std::string_view::npos) file = file.substr(sep + 1);
        add("XX");
        add(file);
        out.push_back(0x01);
    }
    out.push_back(0);
    return out;
}

bool payloadChunks(const uint8_t* payload, size_t size, std::vector<PayloadChunk>* chunks) {
    chunks->clear();
    uint64_t end = payloadEnd(payload, size);
    if (end == 0) return false;
    uint64_t pos = rd32(payload + 28);
    if (pos == 0) return true;
    if (pos < 40 || pos > end) return false;
    while (pos < end) {
        if (end - pos < 8) return false;
        PayloadChunk c;
        c.type = rd32(payload + pos);
        c.length = rd32(payload + pos + 4);
        if (c.length > end - pos - 8) return false;
        c.offset = size_t(pos + 8);
        chunks->push_back(c);
        pos += 8 + uint64_t(c.length);
    }
    return true;
}

bool payloadObjectInfo(const uint8_t* payload, size_t size, std::string* name, uint32_t* flags) {
    uint64_t end = payloadEnd(payload, size);
    if (end == 0) return false;
    uint64_t off = rd32(payload + 20), len = rd32(payload + 24);
    if (off < 40 || off > end || len > end - off || len < 51) return false;
    const char* text = reinterpret_cast<const char*>(payload + off + 50);
    std::string_view rest(text, size_t(len - 50));
    *name = std::string(rest.substr(0, rest.find('\0')));
    *flags = payload[off + 28];
    return true;
}

TurnedForWriting::TurnedForWriting(ScnNode* node, uint32_t id, uint32_t groupId, const Mat4& placement, float time)
    : node_(node), id_(id), groupId_(groupId), placement_(placement), time_(time) {
    if (!node_) return;
    Mat4 turn;
    mtxMakeRotation(3, 180.0f, &turn);
    scnSetPose(node_, &turn, time_);
}

TurnedForWriting::~TurnedForWriting() {
    if (node_) scnSetObjectIdsAt(node_, id_, groupId_, &placement_, time_);
}

FileBeside::FileBeside(std::string target) : target_(std::move(target)) {
    for (unsigned n = 0;; ++n) {
        temp_ = target_ + ".~" + std::to_string(n) + ".tmp";
        if (!fileExists(temp_) || n > 1000) break;
    }
}

FileBeside::~FileBeside() {
    if (done_) return;
    std::error_code ec;
    std::filesystem::remove(std::filesystem::path(temp_), ec);
}

bool renameNoReplace(const std::string& from, const std::string& to) {
#if defined(_WIN32)
    // The C library's rename never replaces an existing file there.
    return std::rename(from.c_str(), to.c_str()) == 0;
#else
    if (::link(from.c_str(), to.c_str()) != 0) return false;
    ::unlink(from.c_str());
    return true;
#endif
}

bool FileBeside::commit(bool replace) {
    if (done_ || !fileExists(temp_)) return false;
    if (replace) {
        std::error_code ec;
        std::filesystem::rename(std::filesystem::path(temp_), std::filesystem::path(target_), ec);
        if (ec) return false;
    } else if (!renameNoReplace(temp_, target_)) {
        return false;
    }
    done_ = true;
    return true;
}

int WritePelFromContainer(ScnNode* node, const uint8_t* payload, size_t size, const std::string& target,
                          const std::vector<uint8_t>& nameList, const char* name) {
    if (!node || target.empty() || fileExists(target)) return 0;
    std::string streamName;
    uint32_t flags = 0;
    std::vector<PayloadChunk> chunks;
    if (!payloadObjectInfo(payload, size, &streamName, &flags) || !payloadChunks(payload, size, &chunks)) return 0;
    std::string objectName = cutName(name ? std::string(name) : streamName);
    PelWriteInfo info{};
    info.objectName = objectName.c_str();
    switchesOf(flags, &info);
    FileBeside out(target);
    if (!pelWriteFile(0, out.path().c_str(), node, &info, nullptr, 0, nullptr)) return 0;
    for (const PayloadChunk& c : chunks) {
        if (!keepChunk(c.type, !nameList.empty())) continue;
        if (!pelWriteChunk(out.path().c_str(), c.type, c.length, payload + c.offset)) return 0;
    }
    if (!nameList.empty() &&
        !pelWriteChunk(out.path().c_str(), kChunkObjectTexts, uint32_t(nameList.size()), nameList.data()))
        return 0;
    return out.commit() ? 1 : 0;
}

int WritePelFromFile(ScnNode* node, const std::string& source, const std::string& target,
                     const std::vector<uint8_t>& nameList) {
    if (!node || target.empty() || fileExists(target)) return 0;
    char objectName[PEL_NAME_FIELD] = {};
    PelFileInfo header{};
    uint32_t count = 0;
    PelChunkEntry* dir = nullptr;
    if (!pelReadDirectory(source.c_str(), objectName, &header, &count, &dir)) return 0;
    struct DirGuard {
        PelChunkEntry** d;
        ~DirGuard() { pelFreeDirectory(d); }
    } guard{&dir};
    PelWriteInfo info{};
    info.objectName = objectName;
    switchesOf(header.flags, &info);
    FileBeside out(target);
    if (!pelWriteFile(0, out.path().c_str(), node, &info, nullptr, 0, nullptr)) return 0;

    std::FILE* f = std::fopen(source.c_str(), "rb");
    if (!f) return 0;
    struct FileGuard {
        std::FILE* f;
        ~FileGuard() { std::fclose(f); }
    } fileGuard{f};
    const int64_t length = bytes::fileLength(f);
    if (length < 0) return 0;
    std::vector<uint8_t> data;
    for (uint32_t i = 0; i < count; ++i) {
        const PelChunkEntry& e = dir[i];
        if (e.id == 0 || e.id == PEL_CHUNK_CONTINUE || !keepChunk(e.id, !nameList.empty())) continue;
        // Data past the file's end is not there: left out, as the readers leave it out.
        if (uint64_t(e.offset) + e.size > uint64_t(length)) continue;
        data.resize(e.size);
        if (e.size && (!bytes::seekTo(f, e.offset) || std::fread(data.data(), 1, e.size, f) != e.size)) return 0;
        if (!pelWriteChunk(out.path().c_str(), e.id, e.size, data.data())) return 0;
    }
    if (!nameList.empty() &&
        !pelWriteChunk(out.path().c_str(), kChunkObjectTexts, uint32_t(nameList.size()), nameList.data()))
        return 0;
    return out.commit() ? 1 : 0;
}

bool textureSavePath(const std::string& directory, std::string_view cacheKey, std::string* path,
                     std::vector<std::string>* folders, char separator) {
    size_t gt = cacheKey.rfind('>');
    std::string_view part = gt == std::string_view::npos ? cacheKey : cacheKey.substr(gt + 1);
    if (directory.empty() || !isConfinedRelativePath(part)) return false;
    // Components joined by single backslashes; each folder level on the way is listed.
    std::string base = directory;
    if (base.back() != '\\' && base.back() != '/') base += separator;
    std::string rel;
    std::vector<std::string> levels;
    for (size_t at = 0; at <= part.size();) {
        size_t sep = part.find_first_of("/\\", at);
        if (sep == std::string_view::npos) sep = part.size();
        if (sep > at) {
            // A component of dots and blanks names the folder itself or its parent.
            if (part.substr(at, sep - at).find_first_not_of(". ") == std::string_view::npos) return false;
            if (!rel.empty()) {
                levels.push_back(base + rel);
                rel += separator;
            }
            rel += part.substr(at, sep - at);
        }
        at = sep + 1;
    }
    if (rel.empty()) return false;
    std::string full = base + rel;
    if (full.size() > kTexturePathMax) return false;
    if (folders) *folders = std::move(levels);
    *path = full;
    return true;
}

int SaveTextureFile(const TexRecord* texture, const std::string& directory, bool pictureExtension) {
    std::string key, path;
    float sx = 1, sy = 1;
    std::vector<std::string> folders;
    if (!TextureCacheKeyOf(texture, &key, &sx, &sy)) return 0;
    if (!textureSavePath(directory, key, &path, &folders, char(std::filesystem::path::preferred_separator))) return 0;
    if (pictureExtension) path = withPictureExtension(path);
    for (const std::string& f : folders) {
        std::error_code ec;
        std::filesystem::create_directory(std::filesystem::path(f), ec);
        if (ec || !std::filesystem::is_directory(std::filesystem::path(f), ec)) return 0;
    }
    if (fileExists(path)) return 1;
    FileBeside out(path);
    return picWriteBmp(texture, sx, sy, out.path().c_str()) && (out.commit() || fileExists(path)) ? 1 : 0;
}

int SaveCachedTexture(const std::string& name, const std::string& path, const std::string& scope, bool replace) {
    float sx = 1, sy = 1;
    const TexRecord* texture = TextureCacheFind(name, &sx, &sy, scope);
    if (!texture || path.empty() || (!replace && fileExists(path))) return 0;
    FileBeside out(path);
    return picWriteBmp(texture, sx, sy, out.path().c_str()) && out.commit(replace) ? 1 : 0;
}

int saveObjectFile(const ObjectSaveSource& source, const std::string& path, bool raw,
                   const std::string& textureDirectory, const char* name, bool combine, const ObjectSaveHooks& hooks) {
    ObjectSavePlan plan = planObjectSave(path.empty() || fileExists(path), source.slotCount, raw,
                                         !source.expandedCopy.empty(), isFileUrl(source.objectUrl));
    if (plan.kind == ObjectSavePlan::Kind::Refuse) return 0;
    std::vector<uint8_t> nameList;
    if (plan.buildNameList) nameList = objectNameList(source.objectUrl, source.ownNameText);
    if (hooks.releaseHardware) hooks.releaseHardware();
    using K = ObjectSavePlan::Kind;
    if (plan.kind == K::AllObjects) {
        return hooks.saveAllObjects && hooks.saveAllObjects(path, name, combine) ? 1 : 0;
    }
    int ok = 0;
    if (plan.kind == K::RawContainer) {
        ok = hooks.saveContainerFile ? hooks.saveContainerFile(path) : 0;
    } else {
        TurnedForWriting turned(source.node, source.id, source.groupId, source.placement, source.time);
        if (plan.kind == K::FromObjectFile)
            ok = WritePelFromFile(source.node, source.expandedCopy, path, nameList);
        else
            ok = WritePelFromContainer(source.node, source.payload, source.payloadSize, path, nameList, name);
    }
    if (!ok) return 0;
    if (plan.kind == K::FromContainer && hooks.setFileTime) hooks.setFileTime(path);
    if (plan.saveTextures)
        for (const TexRecord* t : source.textures)
            if (t && !SaveTextureFile(t, textureDirectory, source.pictureExtensions)) return 0;
    return 1;
}

ObjectSavePlan planObjectSave(bool targetExists, int32_t slotCount, bool raw, bool fromExpandedCopy,
                              bool objectUrlIsFile) {
    using K = ObjectSavePlan::Kind;
    ObjectSavePlan p;
    if (targetExists) return p;
    p.buildNameList = !objectUrlIsFile;
    if (slotCount >= 2 && !raw) {
        p.kind = K::AllObjects;
        return p;
    }
    p.kind = fromExpandedCopy ? K::FromObjectFile : raw ? K::RawContainer : K::FromContainer;
    p.saveTextures = !raw;
    return p;
}

LanguagePut putLanguage(std::string_view value, char current[3]) {
    if (value.size() != 2) return LanguagePut::InvalidArg;
    char up[2];
    for (int i = 0; i < 2; ++i) {
        unsigned char c = static_cast<unsigned char>(value[size_t(i)]);
        if (c < 0x20 || c == 0x7F) return LanguagePut::InvalidArg;
        up[i] = char(std::toupper(c));
    }
    if (up[0] == char(std::toupper(static_cast<unsigned char>(current[0]))) &&
        up[1] == char(std::toupper(static_cast<unsigned char>(current[1]))))
        return LanguagePut::Unchanged;
    current[0] = up[0];
    current[1] = up[1];
    current[2] = 0;
    return LanguagePut::Changed;
}

}  // namespace qivctl

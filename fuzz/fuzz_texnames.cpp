// Texture names and per-part value blocks as stored in object files and downloads:
// cache keys, local candidate files and candidate URLs must stay inside their folders and
// within the path limit; per-part values are read only where the block has them.
// The name is also taken as the viewer's command line.
// Input: one flags byte, a name up to the first zero byte, then the value block.
#include <cstdint>
#include <cstring>
#include <string>

#include "localfile.h"
#include "texpaths.h"
#include "viewercmd.h"

using namespace qivctl;

namespace {

bool under(const std::string& path, const std::string& dir, char sep) {
    return path.size() > dir.size() + 1 && path.compare(0, dir.size(), dir) == 0 && path[dir.size()] == sep &&
           isConfinedRelativePath(path.substr(dir.size() + 1));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t flags = data[0];
    const char* text = reinterpret_cast<const char*>(data + 1);
    size_t nameLength = strnlen(text, size - 1);
    std::string name(text, nameLength);
    const uint8_t* block = data + 1 + nameLength + (nameLength < size - 1 ? 1 : 0);
    size_t blockSize = size - size_t(block - data);

    std::string key = textureCacheKey(name);
    size_t gt = name.find_last_of('>');
    if (key.size() != (gt == std::string::npos ? name.size() : name.size() - gt)) __builtin_trap();

    TextureSearch s;
    s.baseDirectory = (flags & 1) ? "C:\\objects" : "";
    s.texturePath = (flags & 2) ? "D:\\textures" : "";
    s.inhibitLocal = flags & 4;
    for (const TextureFileTry& t : textureFileTries(name, s)) {
        if (t.path.size() > kTexturePathMax) __builtin_trap();
        // Variants only change the extension, so the folder test holds for each of them.
        if (!under(t.path, s.baseDirectory, '\\') && !under(t.path, s.texturePath, '\\')) __builtin_trap();
    }

    TextureUrlSearch u;
    u.baseDirectory = (flags & 8) ? "http://host/objects" : "";
    u.textureBaseUrl = (flags & 16) ? "http://host/textures" : "";
    u.noWholeNameUrl = flags & 32;
    for (const std::string& url : textureCandidateUrls(name, u))
        if (!under(url, u.textureBaseUrl, '/') && !under(url, u.baseDirectory, '/')) __builtin_trap();

    textureStoredName(name, "http://host/textures");
    objectBaseDirectory(name, (flags & 64) ? std::string(name.rbegin(), name.rend()) : std::string());

    std::string path = viewerPathFromCommandLine(name.c_str());
    if (path.size() > name.size()) __builtin_trap();
    std::string longPath = viewerLongPath(path, (flags & 128) ? LongPathLookup(nullptr)
                                                             : LongPathLookup([](const std::string& in, std::string* out) {
                                                                   *out = in + in;
                                                                   return in.size() % 3 != 0;
                                                               }));
    if (longPath.size() > kViewerPathMax || viewerWindowTitle(longPath, "Qiv Player").size() > kViewerTitleMax)
        __builtin_trap();

    // The value block also read as an object's list of texture names.
    auto names = textureNamesOf(reinterpret_cast<const char*>(block), blockSize, flags & 31);
    size_t total = 0;
    for (const std::string& n : names) total += n.size();
    if (names.size() != size_t(flags & 31) || total > blockSize) __builtin_trap();

    PartValues pv(block, blockSize);
    if (pv.count() != blockSize / 4) __builtin_trap();
    if (pv.bytes().size() != pv.count() * 4 || (pv.count() && std::memcmp(pv.bytes().data(), block, pv.count() * 4)))
        __builtin_trap();
    uint32_t v = 0;
    if (pv.valueOf(pv.count(), &v)) __builtin_trap();
    for (size_t i = 0; i < pv.count() && i < 64; ++i)
        if (!pv.valueOf(i, &v)) __builtin_trap();
    uint64_t off = 0;
    uint32_t len = 0;
    if (blockSize >= 12) {
        uint32_t o = pv.valueOr(0, 0), n = pv.valueOr(1, 0);
        uint64_t fileLength = pv.valueOr(2, 0);
        if (partValueRange(o, n, fileLength, &off, &len) && (off + len > fileLength || (len & 3))) __builtin_trap();
    }
    return 0;
}

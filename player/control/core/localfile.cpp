#include "localfile.h"

#include <cstdio>

#include "scene/bytes.h"
#include "scene/engine.h"
#include "scene/pelchunk.h"

namespace qivctl {

std::string objectBaseDirectory(std::string_view path, std::string_view sourceName) {
    size_t cut;
    std::string_view from;
    if (!sourceName.empty()) {
        from = sourceName;
        cut = from.find_last_of('/');
        if (cut == std::string_view::npos) cut = from.find_last_of('\\');
    } else {
        from = path;
        cut = from.find_last_of('\\');
        if (cut == std::string_view::npos) cut = from.find_last_of('/');
    }
    if (cut == std::string_view::npos || cut > kBaseDirectoryMax) return {};
    return std::string(from.substr(0, cut));
}

bool partValueRange(uint32_t offset, uint32_t size, uint64_t fileLength, uint64_t* readOffset,
                    uint32_t* readSize) {
    uint32_t whole = size & ~3u;
    if (uint64_t(offset) > fileLength || uint64_t(whole) > fileLength - offset) return false;
    *readOffset = offset;
    *readSize = whole;
    return true;
}

PartValues::PartValues(const uint8_t* data, size_t size) {
    if (!data) return;
    values_.reserve(size / 4);
    for (size_t i = 0; i + 4 <= size; i += 4)
        values_.push_back(uint32_t(data[i]) | uint32_t(data[i + 1]) << 8 | uint32_t(data[i + 2]) << 16 |
                          uint32_t(data[i + 3]) << 24);
}

bool PartValues::valueOf(size_t part, uint32_t* out) const {
    if (part >= values_.size()) return false;
    *out = values_[part];
    return true;
}

uint32_t PartValues::valueOr(size_t part, uint32_t fallback) const {
    return part < values_.size() ? values_[part] : fallback;
}

std::vector<uint8_t> PartValues::bytes() const {
    std::vector<uint8_t> b;
    b.reserve(values_.size() * 4);
    for (uint32_t v : values_)
        for (int k = 0; k < 4; ++k) b.push_back(uint8_t(v >> (8 * k)));
    return b;
}

bool readPartValueChunk(const char* path, PartValues* out) {
    *out = PartValues();
    if (!path) return false;
    uint32_t count = 0;
    PelChunkEntry* dir = nullptr;
    if (!pelReadDirectory(path, nullptr, nullptr, &count, &dir)) return false;
    const PelChunkEntry* entry = nullptr;
    for (uint32_t i = 0; i < count; ++i)
        if (dir[i].id == PEL_CHUNK_PARTVALUES) entry = &dir[i];
    bool ok = false;
    if (entry) {
        std::FILE* f = std::fopen(path, "rb");
        if (f) {
            uint64_t offset = 0;
            uint32_t size = 0;
            int64_t length = bytes::fileLength(f);
            if (length >= 0 && partValueRange(entry->offset, entry->size, uint64_t(length), &offset, &size) &&
                bytes::seekTo(f, offset)) {
                std::vector<uint8_t> block(size);
                if (size == 0 || std::fread(block.data(), 1, size, f) == size) {
                    *out = PartValues(block.data(), block.size());
                    ok = true;
                }
            }
            std::fclose(f);
        }
    }
    pelFreeDirectory(&dir);
    return ok;
}

}  // namespace qivctl

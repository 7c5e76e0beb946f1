// Local object files: the base directory that textures are looked for in, and the per-part
// value block (chunk 21) that an object file or container carries for the control.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qivctl {

constexpr size_t kBaseDirectoryMax = 2048;

// Folder of an object: the source name cut at its last '/' (else its last '\') when a source
// name is given, otherwise the path cut at its last '\' (else '/'). Empty when there is no
// separator or the folder is longer than kBaseDirectoryMax.
std::string objectBaseDirectory(std::string_view path, std::string_view sourceName);

// Where a chunk-21 block lies in a file: the directory entry's offset and size (rounded down
// to whole 32-bit values). False when the range does not lie inside the file.
bool partValueRange(uint32_t offset, uint32_t size, uint64_t fileLength, uint64_t* readOffset,
                    uint32_t* readSize);

// The per-part values of a chunk-21 block: one little-endian 32-bit value per part.
class PartValues {
public:
    PartValues() = default;
    // Takes the whole 32-bit values of the block; a trailing partial value is ignored.
    PartValues(const uint8_t* data, size_t size);
    size_t count() const { return values_.size(); }
    bool empty() const { return values_.empty(); }
    // Value of a part; false (out untouched) for a part the block does not cover.
    bool valueOf(size_t part, uint32_t* out) const;
    // Value of a part, or fallback when the block does not cover it.
    uint32_t valueOr(size_t part, uint32_t fallback) const;
    // The block as stored (count() x 4 bytes).
    std::vector<uint8_t> bytes() const;

private:
    std::vector<uint32_t> values_;
};

// Reads the chunk-21 block of an object file (the last one when there are several) into out.
// False (out empty) when the file has none, cannot be read, or its entry does not fit in it.
bool readPartValueChunk(const char* path, PartValues* out);

}  // namespace qivctl

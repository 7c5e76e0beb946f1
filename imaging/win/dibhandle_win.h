// Windows side of the imaging libraries: pictures in movable global memory (DIB handles),
// files read through a mapping and written through a temporary file.
#pragma once
#include <windows.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "dib.h"

namespace imgwin {

// Makes every later picture block global memory (locked while the library works on it)
// and the memory probe ask the system; once per module.
void useGlobalMemory();

// The picture's block as an unlocked DIB handle; the Dib is empty afterwards.
HGLOBAL handOver(img::Dib& dib);

// A DIB handle locked for the scope.
class LockedDib {
public:
    explicit LockedDib(HGLOBAL handle);
    ~LockedDib();
    LockedDib(const LockedDib&) = delete;
    LockedDib& operator=(const LockedDib&) = delete;
    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }
    // The picture: the block itself when it has the library's own form, else decoded
    // into holder. Null with the status on failure.
    const img::Dib* picture(img::Dib& holder, img::Status& status);

private:
    HGLOBAL handle_;
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    img::Dib view_;
};

// A file's bytes, mapped read-only for the scope.
class MappedFile {
public:
    explicit MappedFile(const char* name);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    img::Status status() const { return status_; }
    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }

private:
    img::Status status_ = img::kOpenFailed;
    HANDLE file_ = INVALID_HANDLE_VALUE, mapping_ = nullptr;
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

// A file name from a caller: present, not empty, shorter than MAX_PATH less the room of
// the temporary name beside it.
bool validFileName(const char* name);

// Writes through "<name>.~tmp" renamed over the name when complete: the pieces one
// after the other.
struct FilePiece {
    const uint8_t* data;
    size_t size;
};
img::Status writeFileAtomic(const char* name, std::initializer_list<FilePiece> pieces);
inline img::Status writeFileAtomic(const char* name, const std::vector<uint8_t>& bytes) {
    return writeFileAtomic(name, {FilePiece{bytes.data(), bytes.size()}});
}

}  // namespace imgwin

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

// work(picture, out) on a DIB handle's picture: the new picture as a handle, null when
// the handle holds no picture or the work fails.
template <class Work>
HGLOBAL onHandle(HGLOBAL dib, Work work) {
    try {
        LockedDib lock(dib);
        img::Dib holder, out;
        img::Status s = img::kOk;
        const img::Dib* pic = lock.picture(holder, s);
        if (!pic || work(*pic, out) != img::kOk) return nullptr;
        return handOver(out);
    } catch (...) {
        return nullptr;
    }
}

// The progress of a call: the caller's callback (percent 0-100, 0 answered to cancel)
// with the caller's control. Lives as long as the img::Progress it gives.
struct CallProgress {
    int(WINAPI* callback)(void* control, int percent);
    void* control;
    img::Progress progress() {
        img::Progress p;
        if (callback) {
            p.report = [](void* c, int percent) {
                CallProgress* call = static_cast<CallProgress*>(c);
                return call->callback(call->control, percent) != 0;
            };
            p.context = this;
        }
        return p;
    }
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

#include "dibhandle_win.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace imgwin {

namespace {

uint8_t* globalAllocate(size_t bytes) {
    HGLOBAL h = GlobalAlloc(GHND, bytes);
    if (!h) return nullptr;
    uint8_t* p = static_cast<uint8_t*>(GlobalLock(h));
    if (!p) GlobalFree(h);
    return p;
}

void globalRelease(uint8_t* block) {
    HGLOBAL h = GlobalHandle(block);
    if (!h) return;
    GlobalUnlock(h);
    GlobalFree(h);
}

uint64_t systemMemory() {
    MEMORYSTATUSEX m{};
    m.dwLength = sizeof m;
    if (!GlobalMemoryStatusEx(&m)) return 0;
    const uint64_t backed = m.ullAvailPhys + m.ullAvailPageFile;
    return m.ullAvailVirtual < backed ? m.ullAvailVirtual : backed;
}

constexpr const char kTempSuffix[] = ".~tmp";

}  // namespace

void useGlobalMemory() {
    img::setDibAllocator(img::DibAllocator{globalAllocate, globalRelease});
    img::setMemoryProbe(systemMemory);
}

HGLOBAL handOver(img::Dib& dib) {
    uint8_t* block = dib.release();
    if (!block) return nullptr;
    HGLOBAL h = GlobalHandle(block);
    GlobalUnlock(h);
    return h;
}

LockedDib::LockedDib(HGLOBAL handle) : handle_(handle) {
    if (!handle_) return;
    size_ = GlobalSize(handle_);
    data_ = size_ ? static_cast<const uint8_t*>(GlobalLock(handle_)) : nullptr;
    if (!data_) size_ = 0;
}

LockedDib::~LockedDib() {
    view_.reset();
    if (data_) GlobalUnlock(handle_);
}

const img::Dib* LockedDib::picture(img::Dib& holder, img::Status& status) {
    if (!data_) {
        status = img::kBadDib;
        return nullptr;
    }
    if (img::Dib::borrow(data_, size_, view_) == img::kOk) {
        status = img::kOk;
        return &view_;
    }
    img::Progress none;
    status = img::decodePackedDib(data_, size_, holder, none);
    if (status == img::kTruncated || status == img::kBadFormat) status = img::kBadDib;
    return status == img::kOk ? &holder : nullptr;
}

MappedFile::MappedFile(const char* name) {
    if (!validFileName(name)) {
        status_ = img::kBadFileName;
        return;
    }
    file_ = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                        FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file_ == INVALID_HANDLE_VALUE) return;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file_, &size)) return;
    if (size.QuadPart == 0) {
        status_ = img::kTruncated;
        return;
    }
    if (uint64_t(size.QuadPart) > SIZE_MAX / 2) {
        status_ = img::kTooLarge;
        return;
    }
    mapping_ = CreateFileMappingA(file_, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (!mapping_) {
        status_ = img::kNoMemory;
        return;
    }
    data_ = static_cast<const uint8_t*>(MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, 0));
    if (!data_) {
        status_ = img::kNoMemory;
        return;
    }
    size_ = size_t(size.QuadPart);
    status_ = img::kOk;
}

MappedFile::~MappedFile() {
    if (data_) UnmapViewOfFile(data_);
    if (mapping_) CloseHandle(mapping_);
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
}

bool validFileName(const char* name) {
    if (!name) return false;
    const size_t n = strnlen(name, MAX_PATH);
    return n > 0 && n + sizeof kTempSuffix <= MAX_PATH;
}

img::Status writeFileAtomic(const char* name, std::initializer_list<FilePiece> pieces) {
    if (!validFileName(name)) return img::kBadFileName;
    char temp[MAX_PATH];
    std::strcpy(temp, name);
    std::strcat(temp, kTempSuffix);
    HANDLE f = CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return img::kWriteFailed;
    bool ok = true;
    for (const FilePiece& piece : pieces)
        for (size_t at = 0; ok && at < piece.size;) {
            const DWORD chunk = DWORD(std::min<size_t>(piece.size - at, 1u << 24));
            DWORD written = 0;
            ok = WriteFile(f, piece.data + at, chunk, &written, nullptr) && written == chunk;
            at += chunk;
        }
    ok = CloseHandle(f) && ok;
    if (ok) ok = MoveFileExA(temp, name, MOVEFILE_REPLACE_EXISTING) != 0;
    if (!ok) {
        DeleteFileA(temp);
        return img::kWriteFailed;
    }
    return img::kOk;
}

}  // namespace imgwin

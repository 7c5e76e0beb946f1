#include "container_win.h"

#include <algorithm>
#include <new>
#include <string>

HRESULT ReadStreamFully(IStream* stream, void* buffer, ULONG n) {
    if (!stream || (!buffer && n)) return E_POINTER;
    auto* p = static_cast<uint8_t*>(buffer);
    ULONG have = 0;
    while (have < n) {
        ULONG got = 0;
        const HRESULT hr = stream->Read(p + have, n - have, &got);
        if (FAILED(hr)) return hr;
        if (got == 0) return E_FAIL;
        have += std::min(got, n - have);
    }
    return S_OK;
}

HRESULT WriteStreamFully(IStream* stream, const void* data, size_t n) {
    if (!stream || (!data && n)) return E_POINTER;
    const auto* p = static_cast<const uint8_t*>(data);
    size_t at = 0;
    while (at < n) {
        ULONG wrote = 0;
        const ULONG part = ULONG(std::min<size_t>(n - at, 1u << 20));
        const HRESULT hr = stream->Write(p + at, part, &wrote);
        if (FAILED(hr)) return hr;
        if (wrote == 0) return STG_E_MEDIUMFULL;
        at += std::min<size_t>(wrote, part);
    }
    return S_OK;
}

HRESULT qivReadContainerFromStream(IStream* stream, std::vector<uint8_t>* out) {
    if (!stream || !out) return E_POINTER;
    out->clear();
    uint8_t word[4];
    HRESULT hr = ReadStreamFully(stream, word, 4);
    if (FAILED(hr)) return hr;
    const uint32_t n = uint32_t(word[0]) | uint32_t(word[1]) << 8 | uint32_t(word[2]) << 16 | uint32_t(word[3]) << 24;
    if (n < QIV_CONTAINER_HEADER_SIZE || n > kQivStreamContainerMax) return E_FAIL;
    constexpr uint32_t block = 1u << 16;
    try {
        while (out->size() < n) {
            const size_t at = out->size();
            const uint32_t part = std::min<uint32_t>(block, n - uint32_t(at));
            out->resize(at + part);
            hr = ReadStreamFully(stream, out->data() + at, part);
            if (FAILED(hr)) {
                out->clear();
                return hr;
            }
        }
    } catch (const std::bad_alloc&) {
        out->clear();
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT qivWriteContainerToStream(IStream* stream, const QivKeptContainer& kept) {
    if (!stream) return E_POINTER;
    std::vector<uint8_t> image;
    try {
        if (!qivStreamImage(kept, &image)) return E_FAIL;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return WriteStreamFully(stream, image.data(), image.size());
}

bool qivSaveContainerFile(const char* path, const QivKeptContainer& kept, uint64_t fileTime) {
    if (!path || !*path) return false;
    std::vector<uint8_t> image;
    try {
        if (!qivSaveImage(kept, &image) || image.empty() || image.size() > 0xFFFFFFFFu) return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
    std::string dir(path);
    const size_t cut = dir.find_last_of("\\/");
    dir = cut == std::string::npos ? std::string(".") : dir.substr(0, cut + 1);
    char temp[MAX_PATH + 16];
    if (!GetTempFileNameA(dir.c_str(), "VOV", 0, temp)) return false;
    HANDLE f = CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        DeleteFileA(temp);
        return false;
    }
    bool ok = true;
    for (size_t at = 0; ok && at < image.size();) {
        DWORD wrote = 0;
        const DWORD part = DWORD(std::min<size_t>(image.size() - at, 1u << 20));
        ok = WriteFile(f, image.data() + at, part, &wrote, nullptr) && wrote == part;
        at += wrote;
    }
    if (ok && fileTime) {
        FILETIME t;
        t.dwLowDateTime = DWORD(fileTime);
        t.dwHighDateTime = DWORD(fileTime >> 32);
        SetFileTime(f, &t, &t, &t);
    }
    ok = CloseHandle(f) && ok;
    // A file that appeared at the path meanwhile is never replaced.
    if (ok) ok = MoveFileExA(temp, path, MOVEFILE_WRITE_THROUGH) != 0;
    if (!ok) DeleteFileA(temp);
    return ok;
}

int qivIsContainerFile(const char* path) {
    if (!path || !*path) return 0;
    HANDLE f = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return 0;
    int result = 0;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(f, &size) && size.QuadPart >= QIV_CONTAINER_HEADER_SIZE && uint64_t(size.QuadPart) <= SIZE_MAX) {
        if (HANDLE map = CreateFileMappingA(f, nullptr, PAGE_READONLY, 0, 0, nullptr)) {
            if (const void* view = MapViewOfFile(map, FILE_MAP_READ, 0, 0, 0)) {
                result = qivIsContainer(static_cast<const uint8_t*>(view), size_t(size.QuadPart));
                UnmapViewOfFile(view);
            }
            CloseHandle(map);
        }
    }
    CloseHandle(f);
    return result;
}

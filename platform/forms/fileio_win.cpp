// The file operations on Windows, through the ANSI file API.
#include <windows.h>

#include "forms/fileio.h"

namespace forms {

bool FileExists(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string data;
    char buf[65536];
    bool ok = true;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(f, buf, sizeof buf, &got, nullptr)) {
            ok = false;
            break;
        }
        if (got == 0) break;
        data.append(buf, got);
    }
    CloseHandle(f);
    if (!ok) return std::nullopt;
    return data;
}

bool WriteFileAtomically(const std::string& path, const std::string& data) {
    std::string dir = path;
    const size_t cut = dir.find_last_of("\\/");
    dir = cut == std::string::npos ? std::string(".") : dir.substr(0, cut + 1);
    char temp[MAX_PATH + 16];
    if (!GetTempFileNameA(dir.c_str(), "~fw", 0, temp)) return false;
    HANDLE f = CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        DeleteFileA(temp);
        return false;
    }
    bool ok = true;
    for (size_t at = 0; ok && at < data.size();) {
        DWORD wrote = 0;
        const DWORD part = DWORD(data.size() - at < (1u << 20) ? data.size() - at : (1u << 20));
        ok = WriteFile(f, data.data() + at, part, &wrote, nullptr) && wrote == part;
        at += wrote;
    }
    ok = CloseHandle(f) && ok;
    if (ok) ok = MoveFileExA(temp, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (!ok) DeleteFileA(temp);
    return ok;
}

bool IsReadOnlyFile(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY);
}

bool SetReadOnlyFile(const std::string& path, bool readOnly) {
    const DWORD a = GetFileAttributesA(path.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return false;
    const DWORD b = readOnly ? (a | FILE_ATTRIBUTE_READONLY) : (a & ~DWORD(FILE_ATTRIBUTE_READONLY));
    return SetFileAttributesA(path.c_str(), b ? b : FILE_ATTRIBUTE_NORMAL) != 0;
}

bool DeleteFileAt(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

bool CanOpenForWriting(const std::string& path) {
    const bool existed = FileExists(path);
    // The attribute counts even where the system would let this user write.
    if (existed && IsReadOnlyFile(path)) return false;
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, FALSE};
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, &sa, existed ? OPEN_EXISTING : CREATE_NEW,
                           FILE_ATTRIBUTE_ARCHIVE, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    CloseHandle(f);
    if (!existed) DeleteFileA(path.c_str());
    return true;
}

bool ClearFileAttributes(const std::string& path) {
    return SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL) != 0;
}

bool ForceDirectories(const std::string& path) {
    if (path.empty()) return false;
    std::string p = path;
    while (p.size() > 3 && (p.back() == '\\' || p.back() == '/')) p.pop_back();
    if (DirectoryExists(p)) return true;
    const size_t cut = p.find_last_of("\\/");
    if (cut != std::string::npos && cut > 0 && !(cut == 2 && p[1] == ':') && !ForceDirectories(p.substr(0, cut)))
        return false;
    return CreateDirectoryA(p.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

std::vector<DirEntry> ListDirectory(const std::string& folder) {
    std::vector<DirEntry> out;
    std::string pattern = folder;
    if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
    pattern += "*.*";
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(pattern.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return out;
    do {
        const std::string name = fd.cFileName;
        if (name == "." || name == "..") continue;
        out.push_back({name, (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return out;
}

char PathDelimiter() { return '\\'; }

}  // namespace forms

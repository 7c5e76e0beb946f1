#include "libraryload_win.h"

#include <vector>

namespace imaging {

namespace {

// The first folder of a ';' list holding the file; empty when none does.
std::string fileSearch(const std::string& name, const std::string& list) {
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(';', start);
        if (end == std::string::npos) end = list.size();
        std::string dir = list.substr(start, end - start);
        if (!dir.empty()) {
            if (dir.back() != '\\' && dir.back() != '/') dir += '\\';
            const std::string path = dir + name;
            const DWORD attributes = GetFileAttributesA(path.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return path;
        }
        start = end + 1;
    }
    return "";
}

std::string folderOf(UINT (WINAPI* get)(LPSTR, UINT)) {
    char buf[MAX_PATH];
    const UINT n = get(buf, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::string(buf, n) : std::string();
}

HMODULE tryLoad(const std::string& path) {
    if (path.empty() || path.size() >= MAX_PATH) return nullptr;
    // No error box for a file that is not a library.
    const UINT old = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE m = LoadLibraryA(path.c_str());
    SetErrorMode(old);
    return reinterpret_cast<UINT_PTR>(m) >= 32 ? m : nullptr;
}

}  // namespace

std::string ProgramFolder() {
    std::vector<char> buf(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameA(nullptr, buf.data(), DWORD(buf.size()));
        if (n == 0) return "";
        if (n < buf.size()) {
            std::string path(buf.data(), n);
            return path.substr(0, path.find_last_of("\\/") + 1);
        }
        buf.resize(buf.size() * 2);
    }
}

HMODULE LoadImagingLibrary(const char* name) {
    const std::string program = ProgramFolder();
    if (HMODULE m = tryLoad(program + name)) return m;
    if (HMODULE m = tryLoad(name)) return m;
    char current[MAX_PATH];
    const DWORD n = GetCurrentDirectoryA(MAX_PATH, current);
    std::string found = n > 0 && n < MAX_PATH ? fileSearch(name, current) : std::string();
    if (found.empty())
        found = fileSearch(name, program + "\\;" + folderOf(GetSystemDirectoryA) + ";" + folderOf(GetWindowsDirectoryA));
    if (found.empty()) return nullptr;
    if (HMODULE m = tryLoad(found)) return m;
    const size_t dot = found.find_last_of('.'), slash = found.find_last_of("\\/");
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        return tryLoad(found.substr(0, dot));
    return nullptr;
}

void LibrarySlot::free() {
    if (loaded()) FreeLibrary(module);
    module = nullptr;
    procedures.clear();
}

}  // namespace imaging

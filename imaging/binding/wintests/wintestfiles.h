// Helpers of the imaging binding's Windows tests: temporary folders and files, pictures
// as DIB handles and back, the message log, child processes.
#pragma once
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "dib.h"
#include "message_win.h"

namespace imgtest {

// <temporary folder>\leaf, made empty.
inline std::string tempDir(const std::string& leaf) {
    char base[MAX_PATH];
    GetTempPathA(sizeof base, base);
    const std::string d = std::string(base) + leaf;
    CreateDirectoryA(d.c_str(), nullptr);
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((d + "\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileA((d + "\\" + fd.cFileName).c_str());
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    return d;
}

inline bool writeFile(const std::string& path, const std::vector<uint8_t>& b) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = b.empty() || std::fwrite(b.data(), 1, b.size(), f) == b.size();
    return std::fclose(f) == 0 && ok;
}

inline std::vector<uint8_t> readFile(const std::string& path) {
    std::vector<uint8_t> b;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) b.insert(b.end(), buf, buf + n);
        std::fclose(f);
    }
    return b;
}

inline bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A packed block as a new movable DIB handle.
inline HGLOBAL handleOf(const uint8_t* data, size_t size) {
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!h) return nullptr;
    std::memcpy(GlobalLock(h), data, size);
    GlobalUnlock(h);
    return h;
}
inline HGLOBAL handleOf(const img::Dib& d) { return handleOf(d.data(), d.size()); }

// A DIB handle's picture in the library's form (a copy).
inline img::Dib dibOf(HGLOBAL h) {
    img::Dib d;
    if (!h) return d;
    const uint8_t* p = static_cast<const uint8_t*>(GlobalLock(h));
    img::Progress none;
    img::decodePackedDib(p, GlobalSize(h), d, none);
    GlobalUnlock(h);
    return d;
}

// Messages shown while it lives.
struct MessageCapture {
    std::vector<std::string> messages;
    MessageCapture() {
        imaging::SetMessageLog([](void* c, const std::string& t) { static_cast<MessageCapture*>(c)->messages.push_back(t); },
                               this);
    }
    ~MessageCapture() { imaging::SetMessageLog(nullptr, nullptr); }
};

// Runs a program with a command line in a folder and an environment PATH; its output
// and exit code.
inline int runProgram(const std::string& commandLine, const std::string& folder, const std::string& path,
                      std::string& output) {
    output.clear();
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return -1;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    // The environment with PATH replaced.
    std::string env;
    LPCH block = GetEnvironmentStringsA();
    for (const char* p = block; *p; p += std::strlen(p) + 1)
        if (_strnicmp(p, "PATH=", 5) != 0) env.append(p).push_back('\0');
    FreeEnvironmentStringsA(block);
    env.append("PATH=" + path).push_back('\0');
    env.push_back('\0');
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi{};
    std::vector<char> cmd(commandLine.begin(), commandLine.end());
    cmd.push_back('\0');
    const BOOL started = CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, env.data(), folder.c_str(), &si, &pi);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        return -1;
    }
    char buf[4096];
    DWORD n = 0;
    while (ReadFile(readEnd, buf, sizeof buf, &n, nullptr) && n) output.append(buf, n);
    CloseHandle(readEnd);
    WaitForSingleObject(pi.hProcess, 30000);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return int(code);
}

}  // namespace imgtest

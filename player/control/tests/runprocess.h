// The control's DLL path as Windows sees it, and a program run to its end, for wine tests.
#pragma once
#include <windows.h>

#include <algorithm>
#include <string>

inline std::string qivDllPath() {
    std::string p = std::string("Z:") + QIV_PLAYER_DLL;
    std::replace(p.begin(), p.end(), '/', '\\');
    return p;
}

// Exit code of the program, 0xFFFF when it could not start, 0xFFFE when it did not end.
inline DWORD runProcess(const std::string& commandLine) {
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::string cmd = commandLine;
    if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 0xFFFF;
    WaitForSingleObject(pi.hProcess, 120000);
    DWORD code = 0xFFFE;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

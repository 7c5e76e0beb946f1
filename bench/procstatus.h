// Memory figures of this process in kB (0 where there are none): the resident set (working
// set) now and its peak so far. From /proc/self/status on Linux, GetProcessMemoryInfo on
// Windows.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#include <psapi.h>
#endif

struct ProcMemory {
    long resident = 0;
    long peak = 0;
};

inline ProcMemory procMemory() {
    ProcMemory m;
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS c{};
    if (GetProcessMemoryInfo(GetCurrentProcess(), &c, sizeof c)) {
        m.resident = long(c.WorkingSetSize / 1024);
        m.peak = long(c.PeakWorkingSetSize / 1024);
    }
#else
    if (std::FILE* f = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, f)) {
            if (std::strncmp(line, "VmRSS:", 6) == 0) m.resident = std::atol(line + 6);
            if (std::strncmp(line, "VmHWM:", 6) == 0) m.peak = std::atol(line + 6);
        }
        std::fclose(f);
    }
#endif
    return m;
}

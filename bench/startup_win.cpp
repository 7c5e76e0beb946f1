// Time from Stellwerk's process start to the first paint of its main form:
// the program is started with STELLWERK_FIRST_PAINT naming a file where it
// writes that time; median of 5 starts.
// usage: bench_startup_win.exe <folder of Stellwerk.exe>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf("usage: bench_startup_win <folder of Stellwerk.exe>\n");
        return 2;
    }
    const std::string dir = std::string(argv[1]) + "\\";
    char tmp[MAX_PATH];
    GetTempPathA(MAX_PATH, tmp);
    const std::string out = std::string(tmp) + "stellwerk_first_paint.txt";
    SetEnvironmentVariableA("STELLWERK_FIRST_PAINT", out.c_str());
    std::vector<double> times;
    for (int i = 0; i < 5; ++i) {
        DeleteFileA(out.c_str());
        STARTUPINFOA si{sizeof si};
        PROCESS_INFORMATION pi{};
        std::string cmd = "\"" + dir + "Stellwerk.exe\"";
        if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &pi)) return 1;
        double ms = -1;
        for (int w = 0; w < 600 && ms < 0; ++w) {
            std::ifstream f(out);
            if (!(f >> ms)) ms = -1;
            if (ms < 0) Sleep(50);
        }
        TerminateProcess(pi.hProcess, 0);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        if (ms >= 0) times.push_back(ms);
    }
    if (times.empty()) {
        std::printf("no first paint seen\n");
        return 1;
    }
    std::sort(times.begin(), times.end());
    std::printf("process start to the main form's first paint: median %.0f ms of %zu starts (min %.0f, max %.0f)\n",
                times[times.size() / 2], times.size(), times.front(), times.back());
    return 0;
}

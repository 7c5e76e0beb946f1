// The INI class reading and rewriting a 10,000-key file beside the system's
// profile functions on the same file: medians of 3 runs, and the ratios.
// The profile functions write the whole file on every call, so their rewrite
// runs once.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "forms/fileio.h"
#include "forms/inifile.h"

namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <class F>
double timed(F f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main() {
    constexpr int kKeys = 10000;
    char tmp[MAX_PATH];
    GetTempPathA(MAX_PATH, tmp);
    const std::string path = std::string(tmp) + "bench_ini.ini";
    std::string text;
    for (int s = 0; s < 10; ++s) {
        text += "[Section" + std::to_string(s) + "]\r\n";
        for (int k = 0; k < kKeys / 10; ++k) text += "Key" + std::to_string(k) + "=" + std::to_string(s * k) + "\r\n";
    }
    std::vector<double> ours, system, oursWrite, systemWrite;
    long long sum = 0;
    for (int run = 0; run < 3; ++run) {
        forms::WriteFileAtomically(path, text);
        ours.push_back(timed([&] {
            forms::IniFile ini(path);
            for (int s = 0; s < 10; ++s)
                for (int k = 0; k < kKeys / 10; ++k)
                    sum += ini.ReadInteger("Section" + std::to_string(s), "Key" + std::to_string(k), 0);
        }));
        system.push_back(timed([&] {
            for (int s = 0; s < 10; ++s)
                for (int k = 0; k < kKeys / 10; ++k)
                    sum += GetPrivateProfileIntA(("Section" + std::to_string(s)).c_str(),
                                                 ("Key" + std::to_string(k)).c_str(), 0, path.c_str());
        }));
        // Rewriting every key with a new value and saving the file.
        oursWrite.push_back(timed([&] {
            forms::IniFile ini(path);
            for (int s = 0; s < 10; ++s)
                for (int k = 0; k < kKeys / 10; ++k)
                    ini.WriteInteger("Section" + std::to_string(s), "Key" + std::to_string(k), k + run);
            ini.UpdateFile();
        }));
        if (run == 0) systemWrite.push_back(timed([&] {
            for (int s = 0; s < 10; ++s)
                for (int k = 0; k < kKeys / 10; ++k)
                    WritePrivateProfileStringA(("Section" + std::to_string(s)).c_str(), ("Key" + std::to_string(k)).c_str(),
                                               std::to_string(k + run + 1).c_str(), path.c_str());
            WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
        }));
    }
    DeleteFileA(path.c_str());
    std::printf("INI file of %d keys, median of 3 runs (checksum %lld)\n", kKeys, sum);
    std::printf("read all keys:    IniFile %.1f ms, profile API %.1f ms, ratio %.2f\n", median(ours), median(system),
                median(system) / std::max(median(ours), 0.001));
    std::printf("rewrite all keys: IniFile %.1f ms, profile API %.1f ms, ratio %.2f\n", median(oursWrite),
                median(systemWrite), median(systemWrite) / std::max(median(oursWrite), 0.001));
    return 0;
}

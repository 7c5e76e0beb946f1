// Timing helpers of the Stellwerk benchmarks: medians of several rounds,
// CPU time of this process and the machine's load.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace benchutil {

inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Wall seconds of one call.
inline double timed(const std::function<void()>& f) {
    const auto a = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count();
}

// Processor seconds of one call.
inline double cpuTimed(const std::function<void()>& f) {
    const std::clock_t a = std::clock();
    f();
    return double(std::clock() - a) / CLOCKS_PER_SEC;
}

inline void printLoad() {
    double load = -1;
    if (std::FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf", &load) != 1) load = -1;
        std::fclose(f);
    }
    if (load >= 0) std::printf("machine load (1 min): %.2f\n", load);
}

}  // namespace benchutil

// Shared part of the imaging fuzz targets: small memory for pictures (a few header bytes
// cannot make an input decode megapixels), and a look at every pixel decoded.
#pragma once
#include <cstddef>
#include <cstdint>

#include "dib.h"

inline void fuzzImagingSetUp() {
    static const bool once = [] {
        img::setMemoryProbe([]() -> uint64_t { return 4u << 20; });
        return true;
    }();
    (void)once;
}

// Reads every row, so that the sanitizers see the whole block.
inline unsigned fuzzTouch(const img::Dib& d) {
    unsigned sum = 0;
    if (d.empty()) return 0;
    for (size_t i = 0; i < d.size(); ++i) sum += d.data()[i];
    return sum;
}

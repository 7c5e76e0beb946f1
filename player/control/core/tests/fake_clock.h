// A load clock for tests: it stands still unless told, or moves by perCall on every reading
// after the first of a piece (a parse then lasts that long).
#pragma once
#include <cstdint>

#include "loaddriver.h"

namespace qivtestclock {

class FakeClock : public QivLoadClock {
public:
    uint32_t now = 1000;
    uint32_t perCall = 0;
    int reads = 0;
    void newPiece(uint32_t ms) {
        now += ms;
        reads = 0;
    }
    uint32_t nowMs() override {
        if (reads++ > 0) now += perCall;
        return now;
    }
};

}  // namespace qivtestclock

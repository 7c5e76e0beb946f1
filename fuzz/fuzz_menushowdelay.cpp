// The menu show delay as the registry holds it: whatever the value's text
// (at most the 32 bytes the reader takes) and however the read went, the
// delay is a number of milliseconds from 0 to the cap.
// Input: one byte for the read's outcome, then the value's bytes.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "tbcommon.h"

using namespace toolbars;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const TBRegValue status = TBRegValue(data[0] % 5);
    const size_t n = size - 1 < 32 ? size - 1 : 32;
    const int delay = MenuShowDelayFromRegistry(status, std::string_view(reinterpret_cast<const char*>(data + 1), n));
    if (delay < 0 || delay > kMaxMenuShowDelay) std::abort();
    return 0;
}

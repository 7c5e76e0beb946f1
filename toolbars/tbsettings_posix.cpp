#include "tbcommon.h"

namespace toolbars {

// Without a system to ask: the defaults of a classic desktop.
TBSystemSettings& TBSystemDefaultSettings() {
    static TBFixedSettings settings;
    return settings;
}

}  // namespace toolbars

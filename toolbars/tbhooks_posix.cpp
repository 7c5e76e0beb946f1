#include "tbhooks.h"

namespace toolbars {

// No system hooks without a window system: nothing is installed.
TBHookInstaller& PlatformHookInstaller() {
    struct None : TBHookInstaller {
        bool Install(TBHookKind) override { return false; }
        void Remove(TBHookKind) override {}
    };
    static None none;
    return none;
}

}  // namespace toolbars

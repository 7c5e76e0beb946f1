#include "tbitem.h"

namespace toolbars {

std::unique_ptr<TTBPopupHandle> PlatformOpenPopup(TTBCustomItem*, TTBView*, TTBItemViewer*, bool) { return nullptr; }

// Without a message queue the caller runs the pending actions itself
// (RunDeferredAction).
TBDeferredPlatform& PlatformDeferred() {
    struct Queue : TBDeferredPlatform {
        void Post() override {}
        void PlayMenuSound(const char*) override {}
        void Carry(const TBDeferredAction&) override {}
        void ItemsGone() override {}
    };
    static Queue queue;
    return queue;
}

}  // namespace toolbars

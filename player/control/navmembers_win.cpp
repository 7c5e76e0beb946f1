// Navigation members of the control: the animation parameters of the current object.
#include "com/guard.h"
#include "navigation.h"
#include "qivctl_win.h"

namespace {

bool validSlot(const QivControlState& s, int32_t slot) {
    return slot >= 0 && slot < s.usedCount && size_t(slot) < s.slots.size() && s.slots[size_t(slot)].inUse;
}

}  // namespace

STDMETHODIMP CQivPlayerCtl::GetAnimationParameters(float* Length, float* FramesPerSecond, LONG* SubAnimCount,
                                                   VARIANT_BOOL* pVal) try {
    if (!Length || !FramesPerSecond || !SubAnimCount || !pVal) return E_POINTER;
    *pVal = VARIANT_FALSE;
    if (hwnd() && !InitWindow()) return E_FAIL;
    if (!validSlot(state_, state_.currentSlot)) return E_FAIL;
    const QivObjectSlot& slot = state_.slots[size_t(state_.currentSlot)];
    if (!slot.hasAnimation) return S_OK;
    *Length = navAnimationLength(slot.animStart, slot.animEnd, slot.animRate);
    *FramesPerSecond = slot.animRate;
    *SubAnimCount = slot.subAnimCount;
    *pVal = VARIANT_TRUE;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

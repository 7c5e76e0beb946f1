// Mouse buttons of the control window: MouseDown before anything else is done with a press,
// navigation, then Click or ClickWithKeys for a left release over an object, with the
// sub-animation the handler leaves started once.
#include <windows.h>
#include <windowsx.h>

#include "ctlmodule_win.h"
#include "exchange_win.h"
#include "render/pick.h"

namespace {

bool down(int key) { return GetAsyncKeyState(key) < 0; }

int32_t keyFlagsNow() {
    qivctl::KeysDown k;
    k.shift = down(VK_SHIFT);
    k.control = down(VK_CONTROL);
    k.menu = down(VK_MENU);
    k.leftShift = down(VK_LSHIFT);
    k.rightShift = down(VK_RSHIFT);
    k.leftControl = down(VK_LCONTROL);
    k.rightControl = down(VK_RCONTROL);
    return qivctl::keyStateFlags(k);
}

// What a click handler can change about the object's animation.
struct AnimationMark {
    bool playing;
    uint32_t startTick;
    float start, end;
    bool operator!=(const AnimationMark& o) const {
        return playing != o.playing || startTick != o.startTick || start != o.start || end != o.end;
    }
};
AnimationMark markOf(const QivObjectSlot& s) { return {s.animPlaying, s.animStartTick, s.animStart, s.animEnd}; }

}  // namespace

CQivPlayerCtl::PartUnder CQivPlayerCtl::PartAt(int x, int y, bool ctrl) {
    PartUnder u;
    if (!state_.viewValid || !state_.sceneRoots) return u;
    const CamRecord& c = state_.camera;
    // The picked rows are counted in the frame's direction.
    const float px = float(x), py = c.rowsUp ? float(c.pixY + c.pixH - 1 - y) : float(y);
    float hit[3] = {};
    uint32_t tag = 0, nodeIndex = 0, material = 0, animated = 0, faceWord = 0, part = 0;
    MatInput m{};
    MatInput* input = nullptr;
    {
        QivRenderLockGuard lock;
        if (!pkPickAtPoint(&c, state_.sceneRoots, nullptr, px, py, ctrl ? 1 : 0, hit, &tag, &nodeIndex, &m, &material,
                           &input, &animated, &faceWord, &part) ||
            tag == PK_NO_HIT || !input)
            return u;
    }
    const ScnNode* node = state_.sceneRoots[nodeIndex];
    for (int32_t i = 0; i < state_.usedCount && size_t(i) < state_.slots.size(); ++i)
        if (state_.slots[size_t(i)].inUse && state_.slots[size_t(i)].node == node) {
            u.slot = i;
            u.part = part;
            u.material = material;
            u.materialFlags = m.flags;
            u.area = m.area;
            break;
        }
    return u;
}

bool CQivPlayerCtl::MouseButtons(UINT msg, WPARAM wp, LPARAM lp) {
    const int x = GET_X_LPARAM(lp), y = GET_Y_LPARAM(lp);
    if (msg == WM_LBUTTONDOWN || msg == WM_RBUTTONDOWN)
        ButtonPressed(msg == WM_LBUTTONDOWN ? qivctl::kButtonLeft : qivctl::kButtonRight, x, y, keyFlagsNow());
    else if (msg == WM_MOUSEMOVE)
        exchange().clicks.move(x, y, (wp & MK_LBUTTON) != 0, GetSystemMetrics(SM_CXDRAG), GetSystemMetrics(SM_CYDRAG));
    const bool handled = NavMouse(msg, wp, lp);
    if (msg == WM_LBUTTONUP) ButtonReleased(x, y, keyFlagsNow());
    return handled;
}

void CQivPlayerCtl::ButtonPressed(int button, int x, int y, int32_t keyFlags) {
    const int32_t slot = PartAt(x, y, false).slot;
    FireMouseDown(slot, slot, button, keyFlags);
    if (button == qivctl::kButtonLeft) exchange().clicks.press(x, y, keyFlags);
}

void CQivPlayerCtl::ButtonReleased(int x, int y, int32_t keyFlags) {
    ExchangeParts& e = exchange();
    const PartUnder under = PartAt(x, y, false);
    const qivctl::ClickEvent event =
        e.clicks.release(keyFlags, Ready() && !state_.uiDead, under.slot >= 0, props_.walkthrough);
    if (event == qivctl::ClickEvent::None) return;
    const int32_t slot = under.slot;
    const QivObjectSlot& s = state_.slots[size_t(slot)];
    LONG index = qivctl::clickSubAnimation(props_.animateOnClick, qivctl::PartValues(s.chunkData.data(), s.chunkData.size()),
                                           under.part);
    const AnimationMark before = markOf(s);
    e.clickState = 1;
    if (event == qivctl::ClickEvent::Click)
        FireClick(slot, index);
    else
        FireClickWithKeys(slot, keyFlags, index);
    // The handler may have started an animation itself, or removed the object.
    const bool alive = slot < state_.usedCount && size_t(slot) < state_.slots.size() &&
                       state_.slots[size_t(slot)].inUse && state_.slots[size_t(slot)].node;
    const bool started = e.clickState == 2 || (alive && markOf(state_.slots[size_t(slot)]) != before);
    e.clickState = 0;
    if (!alive || !qivctl::startAfterClick(event, index, state_.slots[size_t(slot)].subAnimCount, started)) return;
    // The sub-animation of the clicked object, started once.
    StartSubAnimationOf(slot, index, false);
}

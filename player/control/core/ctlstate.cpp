#include "ctlstate.h"

#include <cstring>

QivObjectSlot qivNewSlot() {
    QivObjectSlot s;
    for (int i = 0; i < 4; ++i) s.placement.m[i * 5] = 1.0f;
    return s;
}

void qivFreeSlot(QivObjectSlot& slot) {
    if (slot.node) scnNodeFree(&slot.node, nullptr);
    for (TexRecord*& t : slot.textureHandles)
        if (t) texFree(&t);
    slot = QivObjectSlot();
}

void qivStateInit(QivControlState& state, const QivStateOptions& options) {
    state = QivControlState();
    qivStateSetBackColor(state, kQivDefaultBackColor);
    state.slots.reserve(kQivFirstSlotCapacity);
    state.saveFiles[0] = state.saveFiles[1] = options.saveFilesWithDocument ? 1u : 0u;
    size_t n = options.objectPath.size();
    if (n >= sizeof(state.objectPath)) n = sizeof(state.objectPath) - 1;
    std::memcpy(state.objectPath, options.objectPath.data(), n);
    state.objectPath[n] = 0;
    state.multiView = options.use4DVision;
    state.multiViewAngle = 1.0f;
}

void qivStateSetBackColor(QivControlState& state, uint32_t color) {
    state.backColor = color;
    state.background.clear[0] = static_cast<float>(color & 0xFF) / 255.0f;
    state.background.clear[1] = static_cast<float>((color >> 8) & 0xFF) / 255.0f;
    state.background.clear[2] = static_cast<float>((color >> 16) & 0xFF) / 255.0f;
}

void qivLanguageFromIso639(const char* name, char out[3]) {
    if (name && name[0] && name[1]) {
        for (int i = 0; i < 2; ++i) {
            char c = name[i];
            out[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        }
    } else {
        out[0] = out[1] = 'X';
    }
    out[2] = 0;
}

void qivUnloadSlots(QivControlState& state) {
    for (QivObjectSlot& s : state.slots) {
        qivFreeSlot(s);
    }
    state.currentSlot = -1;
    state.usedCount = 0;
    state.sceneChanged = true;
    state.frameValid = false;
    state.viewValid = false;
}

#include "scene/contentlist.h"

#include "scene/scene.h"

namespace {
PelContent* gHead = nullptr;
PelContent* gTail = nullptr;
}  // namespace

int pelRegisterObject(PelContent* content) {
    if (!content) return 0;
    content->prev = gTail;
    content->next = nullptr;
    if (gTail)
        gTail->next = content;
    else
        gHead = content;
    gTail = content;
    content->nodeCount = 0;
    content->firstNode = nullptr;
    content->lastNode = nullptr;
    for (auto& mark : content->frameCache) mark = nullptr;
    return 1;
}

int pelUnregisterObject(PelContent* content) {
    if (!content) return 0;
    bool linked = content->prev ? content->prev->next == content : gHead == content;
    if (!linked) return 0;
    if (content->prev)
        content->prev->next = content->next;
    else
        gHead = content->next;
    if (content->next)
        content->next->prev = content->prev;
    else
        gTail = content->prev;
    content->prev = nullptr;
    content->next = nullptr;
    return 1;
}

PelContent* pelFirstObject() { return gHead; }
PelContent* pelLastObject() { return gTail; }

void pelResetObjectList() {
    gHead = nullptr;
    gTail = nullptr;
}

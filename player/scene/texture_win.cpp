// Packed bitmaps of textures in global memory.
#include <windows.h>

#include "scene/texture.h"

int texToGlobalDib(const TexRecord* texture, void** handle, uint32_t* size) {
    if (size) *size = 0;
    if (!texture || !handle) return 0;
    *handle = nullptr;
    uint32_t bytes = 0;
    if (!texDibSize(texture, &bytes)) return 0;
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
    if (!mem) return 0;
    void* p = GlobalLock(mem);
    if (!p) {
        GlobalFree(mem);
        return 0;
    }
    const int ok = texWriteDib(texture, static_cast<uint8_t*>(p), bytes);
    GlobalUnlock(mem);
    if (!ok) {
        GlobalFree(mem);
        return 0;
    }
    *handle = mem;
    if (size) *size = bytes;
    return 1;
}

// Material files as dropped or downloaded: the INI text, the material reader
// over it, and the dropped file's kind by its name.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "materialini.h"

using namespace qivctl;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    IniDocument doc(text);
    MatInput m;
    std::memset(&m, 0, sizeof m);
    if (readMaterialIni(iniLookupOf(doc), &m)) {
        uint32_t c = materialColourOf(m.colDifuse);
        if (c > 0x00FFFFFFu) __builtin_trap();
        uint32_t f = replaceMaterialExFlags(int32_t(m.flags), m.alpha);
        if ((f & 0xFFFF0000u) != kMaterialMarker || refractionCodeOf(f) > 63) __builtin_trap();
    }
    std::string v;
    if (doc.get("Material", "Name", &v) && v.size() > kIniValueMax) __builtin_trap();
    int32_t kind = dropKindOfFile(text);
    if (kind < 0 || kind > 3) __builtin_trap();
    return 0;
}

// Material scheme files as found beside an object or passed on by others:
// the reader over a fixed object of four materials and three textures, and
// the writer's text of what it read, which must read back the same.
#include <cstdint>
#include <string>

#include "schemes.h"

using namespace stellwerk;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    MaterialSet own;
    own.materials.resize(4);
    own.names.resize(4);
    own.textures = {"C:\\Obj\\a.bmp", "", "C:\\Obj\\c.jpg"};
    TextureLookup lookup{"C:\\Prog\\", "D:\\Alt\\", "C:\\Obj\\", [](const std::string& p) { return p.size() % 3 == 0; }};
    MaterialSet out;
    const SchemeReadResult r = ReadScheme(text, own, lookup, out);
    if (out.materials.size() != 4 || out.textures.size() != 3 || out.names.size() != 4) __builtin_trap();
    for (const MatEntry& m : out.materials) {
        if (m.diffuse > 0xFFFFFF || m.specular > 0xFFFFFF || m.alpha < 0 || m.alpha > 100) __builtin_trap();
        if (!(m.kDiffuse >= 0 && m.kDiffuse <= 1 && m.kAmbient >= 0 && m.kAmbient <= 1 && m.kSpecular >= 0 &&
              m.kSpecular <= 1))
            __builtin_trap();
    }
    if (r.materialsRead) {
        MaterialSet back;
        ReadScheme(WriteScheme(out, own, "C:\\Prog\\"), own, lookup, back);
        if (back.materials != out.materials) __builtin_trap();
    }
    (void)SchemeNameOf("C:\\Obj\\Chair.qiv", text);
    return 0;
}

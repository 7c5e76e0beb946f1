// Material library files of Stellwerk as copied between users: the reader,
// and the writer's text of what it read, which must read back the same.
#include <cstdint>
#include <string>

#include "forms/inifile.h"
#include "matlibrary.h"

using namespace stellwerk;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool once = (SetProgramFolder("C:\\Prog\\"), true);
    (void)once;
    forms::IniFile ini;
    ini.SetText(std::string(reinterpret_cast<const char*>(data), size));
    const auto m = ReadLibraryMaterial(ini);
    if (!m) return 0;
    if (m->entry.diffuse > 0xFFFFFF || m->entry.specular > 0xFFFFFF || m->entry.alpha < 0 || m->entry.alpha > 100)
        __builtin_trap();
    forms::IniFile out;
    WriteLibraryMaterial(out, "m", *m);
    const auto back = ReadLibraryMaterial(out);
    if (!back || back->entry.diffuse != m->entry.diffuse || back->entry.specular != m->entry.specular ||
        back->entry.flags != m->entry.flags || (m->entry.alpha != 0 && back->entry.alpha != m->entry.alpha))
        __builtin_trap();
    return 0;
}

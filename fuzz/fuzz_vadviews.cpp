// Views files as found beside an object or passed on by others: every
// section read as a view, the batch settings and batches, and each view
// written and read back with the same camera, flags, colour and offsets
// (of a tiled background).
#include <cstdint>
#include <string>

#include "forms/inifile.h"
#include "viewsfile.h"

using namespace stellwerk;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool once = (SetProgramFolder("C:\\Prog\\"), true);
    (void)once;
    forms::IniFile ini;
    ini.SetText(std::string(reinterpret_cast<const char*>(data), size));
    std::vector<std::string> names;
    for (const std::string& section : ini.ReadSections()) {
        const auto v = ReadViewSection(ini, section);
        if (!v) continue;
        if (v->Name.size() > kViewNameMax || v->Scheme.size() > kViewSchemeMax || v->BackImage.size() > kViewBackImageMax ||
            v->Lights < 0 || v->Lights > 31 || v->BackColor > 0xFFFFFF)
            __builtin_trap();
        names.push_back(v->Name);
        forms::IniFile out;
        WriteViewSection(out, *v, "v");
        const auto back = ReadViewSection(out, "v");
        if (!back) __builtin_trap();
        ViewRecord a = *v, b = *back;
        a.Name = b.Name = a.Scheme = b.Scheme = a.BackImage = b.BackImage = "";
        if (!a.Tiled) a.TileOffsetX = a.TileOffsetY = 0;  // offsets are kept for tiled backgrounds only
        if (!(a == b)) __builtin_trap();
    }
    const BatchSettings s = ReadBatchSettings(ini);
    if (s.BmpWidth < 1 || s.BmpWidth > 2048 || s.BmpHeight < 1 || s.BmpQuality < 0 || s.BmpQuality > 2)
        __builtin_trap();
    for (const auto& batch : ListBatchNames(ini, "")) {
        if (ReadBatch(ini, batch, names).size() != names.size()) __builtin_trap();
    }
    return 0;
}

// Container payloads as downloaded, read for saving the object: the chunk list and the
// object stream's name and flags; and names from such files or URLs made into the paths
// of saved textures and auto-saved objects.
#include <cstdint>
#include <string>
#include <vector>

#include "saveobj.h"
#include "transfers.h"

using namespace qivctl;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<PayloadChunk> chunks;
    if (payloadChunks(data, size, &chunks)) {
        for (const PayloadChunk& c : chunks)
            if (c.offset > size || c.length > size - c.offset) __builtin_trap();
    }
    std::string name;
    uint32_t flags = 0;
    if (payloadObjectInfo(data, size, &name, &flags) && (name.size() > size || flags > 255)) __builtin_trap();

    std::string text(reinterpret_cast<const char*>(data), size);
    std::string path;
    std::vector<std::string> folders;
    if (textureSavePath("C:\\tex", text, &path, &folders)) {
        if (path.rfind("C:\\tex\\", 0) != 0) __builtin_trap();
        // No component of the part below the folder climbs out of it.
        std::string rest = path.substr(7) + "\\";
        for (size_t at = 0, sep; (sep = rest.find('\\', at)) != std::string::npos; at = sep + 1) {
            std::string comp = rest.substr(at, sep - at);
            while (!comp.empty() && (comp.back() == ' ' || comp.back() == '.') && comp != "." && comp != "..")
                comp.pop_back();
            if (comp.empty() || comp == "." || comp == ".." || comp.find(':') != std::string::npos) __builtin_trap();
        }
        for (const std::string& f : folders)
            if (f.rfind("C:\\tex\\", 0) != 0) __builtin_trap();
    }
    std::string saved = autoSavePath(text, "C:\\objs", nullptr);
    if (!saved.empty()) {
        std::string rest = saved.substr(8);
        if (saved.rfind("C:\\objs\\", 0) != 0 || rest.find_first_of("\\/:") != std::string::npos ||
            rest == "." || rest == "..")
            __builtin_trap();
    }
    return 0;
}

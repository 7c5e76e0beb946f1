// The sample scene of the project's writer as a PEL file, for the hosting test
// (apart from the type library's header, whose enumerations share names).
#include <string>

#include "render/sample.h"
#include "scene/pelwrite.h"

bool WriteSamplePel(const std::string& path) {
    SampleScene s;
    if (!sampleSceneCreate(&s, 32, 32)) return false;
    PelWriteInfo info{};
    info.objectName = "sample";
    info.switches[0] = info.switches[1] = info.switches[3] = 1;
    const bool ok = pelWriteFile(0, path.c_str(), s.node, &info, nullptr, 0, nullptr) == 1;
    sampleSceneFree(&s);
    return ok;
}

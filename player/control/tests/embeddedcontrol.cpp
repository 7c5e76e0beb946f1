#include "embeddedcontrol.h"

#include "com/module.h"
#include "render/sample.h"
#include "scene/pelwrite.h"
#include "serverparts_win.h"

namespace qivtest {

void InitControlModule() {
    static bool done = false;
    if (done) return;
    done = true;
    OleInitialize(nullptr);
    qcom::module().init(GetModuleHandleW(nullptr), qivClassTable(), qivClassCount());
}

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

}  // namespace qivtest

// Registration scripts: the parser in both modes, and the shape of what it gives.
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "com/regscript.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view script(reinterpret_cast<const char*>(data), size);
    static const qcom::RegReplacements repl = {{"MODULE", "C:\\dir\\srv.dll"}, {"CLSID", "{0-1}"}};
    for (qcom::RegMode mode : {qcom::RegMode::Register, qcom::RegMode::Unregister}) {
        std::vector<qcom::RegOp> ops;
        qcom::RegScriptError err;
        const bool ok = qcom::regScriptOperations(script, repl, mode, ops, err);
        if (ok != err.message.empty() || (!ok && (!ops.empty() || err.line == 0))) std::abort();
        for (const auto& op : ops) {
            // Never the root itself, never an empty component.
            if (op.key.empty() || op.key.front() == '\\' || op.key.back() == '\\' ||
                op.key.find("\\\\") != std::string::npos)
                std::abort();
            if (mode == qcom::RegMode::Unregister &&
                (op.kind == qcom::RegOpKind::CreateKey || op.kind == qcom::RegOpKind::SetValue))
                std::abort();
            (void)qcom::regOpText(op);
        }
    }
    return 0;
}

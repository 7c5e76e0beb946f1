#include "forms/appservices.h"

#include <cstdio>
#include <stdexcept>

namespace forms {

namespace {
AppExceptionHandler& handler() {
    static AppExceptionHandler h;
    return h;
}
bool g_hintShortCuts = true;
HelpHandler& helpHandler() {
    static HelpHandler h;
    return h;
}
}  // namespace

void HandleAppException(std::exception_ptr e) {
    try {
        if (handler()) {
            handler()(e);
            return;
        }
        std::rethrow_exception(e);
    } catch (const std::exception& x) {
        std::fprintf(stderr, "%s\n", x.what());
    } catch (...) {
    }
}

void SetAppExceptionHandler(AppExceptionHandler h) { handler() = std::move(h); }

void RequestHelp(int context, bool popup) {
    if (helpHandler()) helpHandler()(context, popup);
}

void SetHelpHandler(HelpHandler handler) { helpHandler() = std::move(handler); }

bool HintShortCuts() { return g_hintShortCuts; }
void SetHintShortCuts(bool on) { g_hintShortCuts = on; }

}  // namespace forms

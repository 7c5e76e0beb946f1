#include "message_win.h"

#include <cstdio>

namespace imaging {

namespace {
MessageLog g_log = nullptr;
void* g_context = nullptr;
}  // namespace

void SetMessageLog(MessageLog log, void* context) {
    g_log = log;
    g_context = context;
}

void ShowImagingMessage(const std::string& text) {
    if (g_log) {
        g_log(g_context, text);
        return;
    }
    char path[MAX_PATH];
    const DWORD n = GetEnvironmentVariableA("QIV_MESSAGE_LOG", path, sizeof path);
    if (n > 0 && n < sizeof path) {
        if (FILE* f = std::fopen(path, "ab")) {
            std::fprintf(f, "%s\n", text.c_str());
            std::fclose(f);
        }
        return;
    }
    MessageBoxA(GetActiveWindow(), text.c_str(), nullptr, MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace imaging

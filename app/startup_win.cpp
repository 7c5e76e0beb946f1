#include "startup_win.h"

#include <windows.h>
#include <ole2.h>
#include <shellapi.h>

#include "common.h"
#include "common_win.h"
#include "forms/application.h"
#include "forms/fileio.h"
#include "mainqiv_win.h"
#include "msgstrs.h"
#include "texts_win.h"
#include "win/wintext.h"

namespace stellwerk {

namespace {
const char kMsgLblMissing[] = "Msglbl file not found. Cannot start Stellwerk!.";
}

bool LoadTextFiles() {
    const std::string msg = GetSupportFolder() + kMsgFileName;
    if (!forms::FileExists(msg) || !MsgLines().LoadFromFile(msg)) {
        ShowProgramMessage(kMsgLblMissing, MB_OK | MB_ICONSTOP);
        return false;
    }
    const std::string missingMenu = GetMsgText(kTxtMenuFileMissing.number);
    const std::string menu = GetSupportFolder() + kMenuFileName;
    if (!forms::FileExists(menu) || !MenuLines().LoadFromFile(menu)) {
        ShowProgramMessage(missingMenu, MB_OK | MB_ICONSTOP);
        return false;
    }
    return true;
}

bool CheckControlRegistered() {
    const HRESULT init = CoInitialize(nullptr);
    bool ok = true;
    try {
        delete new TQivPlayer(nullptr);
    } catch (...) {
        // Whatever went wrong, the viewer cannot be used.
        ok = false;
    }
    if (SUCCEEDED(init)) CoUninitialize();
    if (!ok) ShowProgramMessage(GetMsgText(kTxtControlMissing.number), MB_OK | MB_ICONSTOP);
    return ok;
}

bool CheckIniWritable() {
    const std::string path = GetIniPath();
    // A read-only file is reported, not made writable behind the user's back.
    if (!IsFileUnwritable(path, false)) return true;
    ShowProgramMessage(path + GetMsgText(kTxtIniUnwritable.number), MB_OK | MB_ICONSTOP);
    return false;
}

std::string FirstParameter() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::string first = argv && argc > 1 ? win::Ansi(argv[1]) : std::string();
    if (argv) LocalFree(argv);
    return first;
}

int StellwerkMain() {
    InitProgramFolder();
    forms::Application& app = forms::Application::Instance();
    app.SetTitle("Fernlicht");
    app.Initialize();
    if (!LoadTextFiles() || !CheckControlRegistered() || !CheckIniWritable()) return 1;
    if (FAILED(OleInitialize(nullptr))) return 1;
    int code = 0;
    try {
        auto* main = new TFMainqiv(nullptr);
        main->StartFile = FirstParameter();
        app.SetMainForm(main);
        app.Run();
        delete main;
    } catch (...) {
        app.HandleException(std::current_exception());
        code = 1;
    }
    OleUninitialize();
    return code;
}

}  // namespace stellwerk

// Batch rendering's time per view beside the viewer's SaveBitmap alone for
// the same views and size: the batch adds applying the view, the fresh work
// file, the conversion into the output type and the removal.
// usage: bench_batchrender_win [rounds] (run under wine with a display)
#include <windows.h>
#include <ole2.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "batchrender_win.h"
#include "benchutil.h"
#include "forms/application.h"
#include "savedviews.h"

bool WriteSamplePel(const std::string& path);

using namespace stellwerk;

namespace {

bool registerViewer() {
    std::string dll = QIV_PLAYER_DLL;
    for (char& c : dll)
        if (c == '/') c = '\\';
    std::string cmd = "regsvr32.exe /s \"Z:" + dll + "\"";
    STARTUPINFOA si = {sizeof si};
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    WaitForSingleObject(pi.hProcess, 60000);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code == 0;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    OleInitialize(nullptr);
    forms::Application::Instance().Initialize();
    if (!registerViewer()) {
        std::printf("the viewer could not be registered\n");
        return 1;
    }
    char tmp[MAX_PATH];
    GetTempPathA(MAX_PATH, tmp);
    const std::string dir = std::string(tmp) + "qiv batch bench\\";
    CreateDirectoryA(dir.c_str(), nullptr);
    const std::string pel = dir + "sample.pel";
    DeleteFileA((dir + "sample.vad").c_str());
    if (!WriteSamplePel(pel)) return 1;

    forms::Form form(nullptr);
    form.SetClientSize(400, 300);
    auto* viewer = new TQivPlayer(&form);
    viewer->SetBounds(0, 0, 320, 240);
    viewer->SetParent(&form);
    form.Show();
    forms::Application::Instance().ProcessMessages();
    if (!viewer->LoadObject(pel)) return 1;
    SavedViews views;
    views.Load(pel);
    std::vector<std::string> names;
    for (int i = 0; i < 4; ++i) {
        viewer->SetPhi(float(i * 40));
        names.push_back("View " + std::to_string(i + 1));
        if (!views.AddView(*viewer, "", names.back())) return 1;
    }
    constexpr int kW = 320, kH = 240;
    const std::string work = dir + "alone.bmp";

    std::vector<double> alone, batch;
    for (int r = 0; r < rounds; ++r) {
        alone.push_back(benchutil::timed([&] {
            for (const std::string& n : names) {
                views.ApplyNamedView(*viewer, n, {}, nullptr);
                DeleteFileA(work.c_str());
                viewer->SaveBitmap(0, false, kW, kH, work);
            }
        }) / double(names.size()));
        BatchRequest req;
        req.folder = dir;
        req.targets = BatchTargets(dir, names, std::vector<bool>(names.size(), true), ".png");
        req.width = kW, req.height = kH;
        for (const BatchTarget& t : req.targets) DeleteFileA(t.file.c_str());
        WinBatchHost host(*viewer, views, nullptr);
        batch.push_back(benchutil::timed([&] { RunBatch(req, host); }) / double(names.size()));
    }
    benchutil::printLoad();
    const double a = benchutil::median(alone), b = benchutil::median(batch);
    std::printf("views %zu, %dx%d, software, low quality, output .png, rounds %d\n", names.size(), kW, kH, rounds);
    std::printf("SaveBitmap alone: %.1f ms per view\n", a * 1000);
    std::printf("batch:            %.1f ms per view (%.2fx; target within 1.15x)\n", b * 1000, a > 0 ? b / a : 0);
    return 0;
}

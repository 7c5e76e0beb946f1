// Stellwerk's web page for 200 views and 50 schemes (processor time of the
// generator, the platform's copies and conversions left out), and 10,000
// undo and redo steps of the material editor over a viewer that does
// nothing, beside the same number of plain edits.
#include <cstdio>
#include <string>

#include "benchutil.h"
#include "forms/textutil.h"
#include "materialeditor.h"
#include "msgstrs.h"
#include "webpublish.h"

using namespace stellwerk;

namespace {

class NullHost : public PublishHost {
public:
    MaterialSet set;
    bool CreateFolder(const std::string&) override { return true; }
    std::optional<FileStamp> Stamp(const std::string&) override { return FileStamp{1, 1}; }
    bool CopyFile(const std::string&, const std::string&) override { return true; }
    bool SaveTile(const std::string&) override { return true; }
    bool ConvertPicture(const std::string&, const std::string&, const PictureSize&) override { return true; }
    MaterialSet LoadScheme(const std::string&) override { return set; }
};

class NullViewer : public ViewerHost {
public:
    bool ObjectLoaded() override { return true; }
    bool GetViewing3DEx(Viewing3D&) override { return true; }
    void SetViewing3DEx(const Viewing3D&) override {}
    void SetViewing3D(const Vec3&, const Vec3&, float) override {}
    float Phi() override { return 0; }
    void SetPhi(float) override {}
    float Psi() override { return 0; }
    void SetPsi(float) override {}
    float Zoom() override { return 1; }
    void SetZoom(float) override {}
    int Lights() override { return 31; }
    void SetLights(int) override {}
    Color BackColor() override { return 0; }
    void SetBackColor(Color) override {}
    std::string BackPictureURL() override { return {}; }
    void SetBackPictureURL(const std::string&) override {}
    int BackPicMode() override { return 0; }
    void SetBackPicMode(int) override {}
    int BackPicOffsetX() override { return 0; }
    int BackPicOffsetY() override { return 0; }
    void SetBackPicOffset(int, int) override {}
    void EnableUpdate(bool) override {}
    void Refresh() override {}
    void ReplaceMaterial(int, Color, Color, float, float, float, float, uint32_t) override { ++calls; }
    void ReplaceTexture(int, const std::string&) override { ++calls; }
    void NotifyLightsChanged() override {}
    bool LoadObject(const std::string&) override { return true; }
    void ObjectDelete() override {}
    int MaterialCount() override { return 0; }
    bool GetMaterial(int, ViewerMaterial&) override { return false; }
    int TextureCount() override { return 0; }
    std::string GetTexture(int) override { return {}; }
    void OneTimeRaytrace() override {}
    void DisableUserMovements(int) override {}
    void SetCursorMode(int) override {}
    void SetEnabledMenus(int) override {}
    void SetDragDropEnabled(int) override {}
    bool Filter() override { return false; }
    void SetFilter(bool) override {}
    bool HideControls() override { return false; }
    void SetHideControls(bool) override {}
    long calls = 0;
};

}  // namespace

int main() {
    SetProgramFolder("C:\\Prog\\");
    for (int i = 0; i < 260; ++i) MsgLines().Add(forms::Format("%03d Text %d", i, i));
    benchutil::printLoad();

    // 200 views over 50 schemes of an object with 40 materials and 8 textures.
    NullHost host;
    host.set.materials.resize(40);
    for (int i = 0; i < 8; ++i) host.set.textures.push_back("C:\\Obj\\t" + std::to_string(i) + ".bmp");
    PublishOptions o;
    o.objectPath = "C:\\Obj\\Chair.qiv";
    o.publish = 0;
    o.classId = "138301F1-E2CD-44C4-BD02-DE847F77B26B";
    o.schemeMenu.push_back({"Own", ""});
    for (int s = 0; s < 50; ++s) {
        const std::string name = "Scheme " + std::to_string(s);
        o.schemeMenu.push_back({name, "C:\\Obj\\Chair." + name + ".msc"});
        o.schemes.push_back(name);
    }
    for (int v = 0; v < 200; ++v) {
        ViewRecord r;
        r.Name = "View " + std::to_string(v);
        r.Scheme = "Scheme " + std::to_string(v % 50);
        r.Eyey = -10 - float(v) / 3;
        r.Zoom = 1.25f;
        r.BackImage = v % 4 ? "" : "C:\\Pics\\sky.jpg";
        o.views.push_back(r);
    }
    std::vector<double> cpu;
    size_t bytes = 0;
    for (int r = 0; r < 9; ++r)
        cpu.push_back(benchutil::cpuTimed([&] { bytes = BuildPage("C:\\Web\\chair.htm", o, host).page.size(); }));
    std::printf("page of 200 views and 50 schemes: %zu bytes, %.2f ms of processor time (median of 9; target < 50 ms)\n",
                bytes, benchutil::median(cpu) * 1e3);

    // 10,000 recorded edits, then 10,000 undo and 10,000 redo steps.
    MaterialSet own;
    own.materials.resize(40);
    own.textures = {"C:\\Obj\\t.bmp"};
    own.materials[3].texture = 0;
    own.materials[3].flags = kMatTextured;
    std::vector<double> edits, undos, redos;
    for (int r = 0; r < 5; ++r) {
        MaterialEditor e;
        NullViewer viewer;
        e.Load(own);
        e.Select(3);
        const int steps = 10000;
        edits.push_back(benchutil::timed([&] {
            for (int i = 0; i < steps; ++i) e.Change(viewer, [i](MatEntry& m) { m.kDiffuse = float(i % 100) / 100; });
        }));
        undos.push_back(benchutil::timed([&] {
            for (int i = 0; i < steps; ++i) e.Undo(viewer);
        }));
        redos.push_back(benchutil::timed([&] {
            for (int i = 0; i < steps; ++i) e.Redo(viewer);
        }));
        if (e.History().UndoList().size() != size_t(steps)) std::printf("history lost steps\n");
    }
    const double edit = benchutil::median(edits), undo = benchutil::median(undos), redo = benchutil::median(redos);
    std::printf("10,000 edits %.2f ms; 10,000 undo steps %.2f ms (%.1fx the edits); 10,000 redo steps %.2f ms (%.1fx)\n",
                edit * 1e3, undo * 1e3, undo / edit, redo * 1e3, redo / edit);
    return 0;
}

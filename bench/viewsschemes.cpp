// Stellwerk's views and scheme files: loading and saving a views file of
// 1,000 views and a scheme of 10,000 materials, beside reading and writing
// the same bytes (and reading them split into lines, the least a text
// reader does); the per-item times at several counts show whether both grow
// linearly.
#include <cstdio>
#include <string>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "benchutil.h"
#include "forms/fileio.h"
#include "forms/stringlist.h"
#include "savedviews.h"
#include "schemes.h"

using namespace stellwerk;

namespace {

struct Figures {
    double load, save, read, lines, write;
    size_t bytes;
};

std::string folder() {
    const char* t = std::getenv("TMPDIR");
    std::string d = std::string(t && *t ? t : "/tmp") + "/stellwerk-bench-" + std::to_string(std::time(nullptr)) + "/";
    forms::ForceDirectories(d);
    return d;
}

// A views file of n views, written by the manager itself.
Figures views(const std::string& dir, int n, int rounds) {
    const std::string object = dir + "v" + std::to_string(n) + ".qiv";
    const std::string vad = dir + "v" + std::to_string(n) + ".vad";
    std::vector<ViewRecord> list(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        ViewRecord& v = list[size_t(i)];
        v.Name = "View " + std::to_string(i + 1);
        v.Scheme = i % 3 ? "Red" : "";
        v.Vrpx = 0.5f * float(i), v.Vrpy = -1.25f, v.Vrpz = 3;
        v.Eyex = 10, v.Eyey = float(i) / 7, v.Eyez = 2.75f;
        v.TanA = 0.41421357f, v.XRot = 30, v.ZRot = float(i % 360), v.Zoom = i % 2 ? 1.5f : 1;
        v.BackColor = RGB3(i & 255, 10, 20);
    }
    std::vector<double> load, save, read, lines, write;
    Figures f{};
    for (int r = 0; r < rounds; ++r) {
        std::remove(vad.c_str());
        SavedViews s;
        s.Load(object);
        save.push_back(benchutil::timed([&] {
            if (!s.ReplaceViews(list)) std::printf("save failed\n");
        }));
        load.push_back(benchutil::timed([&] {
            SavedViews again;
            again.Load(object);
            if (again.Views().size() != list.size()) std::printf("load lost views\n");
        }));
        std::string bytes;
        read.push_back(benchutil::timed([&] { bytes = forms::ReadWholeFile(vad).value_or(""); }));
        lines.push_back(benchutil::timed([&] {
            if (forms::SplitLines(forms::ReadWholeFile(vad).value_or("")).empty()) std::printf("no lines\n");
        }));
        write.push_back(benchutil::timed([&] { forms::WriteFileAtomically(vad + ".copy", bytes); }));
        f.bytes = bytes.size();
    }
    f.load = benchutil::median(load), f.save = benchutil::median(save);
    f.read = benchutil::median(read), f.lines = benchutil::median(lines), f.write = benchutil::median(write);
    return f;
}

// A scheme of n materials over an object of the same count.
Figures scheme(const std::string& dir, int n, int rounds) {
    MaterialSet own;
    own.materials.resize(size_t(n));
    own.names.resize(size_t(n));
    own.textures.resize(size_t(n / 10));
    for (size_t i = 0; i < own.textures.size(); ++i) own.textures[i] = "C:\\Obj\\tex" + std::to_string(i) + ".bmp";
    MaterialSet set = own;
    for (int i = 0; i < n; ++i) {
        MatEntry& m = set.materials[size_t(i)];
        m.diffuse = Color(i * 2654435761u & 0xFFFFFF);
        m.alpha = i % 101;
        m.kDiffuse = float(i % 100) / 100, m.kAmbient = 0.333f, m.kSpecular = 0.07f;
        m.flags = uint32_t(i % 64);
        set.names[size_t(i)] = "Material " + std::to_string(i);
    }
    for (size_t i = 0; i < set.textures.size(); i += 2) set.textures[i] = "D:\\Tex\\other" + std::to_string(i) + ".jpg";
    const std::string path = dir + "s" + std::to_string(n) + ".msc";
    TextureLookup lookup{"C:\\Prog\\", "", "C:\\Obj\\", [](const std::string&) { return true; }};
    std::vector<double> load, save, read, lines, write;
    Figures f{};
    for (int r = 0; r < rounds; ++r) {
        bool modified = true;
        save.push_back(benchutil::timed([&] { SaveSchemeFile(path, set, own, "C:\\Prog\\", modified); }));
        load.push_back(benchutil::timed([&] {
            MaterialSet back;
            const std::string text = forms::ReadWholeFile(path).value_or("");
            if (!ReadScheme(text, own, lookup, back).namesRead || back.materials != set.materials)
                std::printf("scheme lost materials\n");
        }));
        std::string bytes;
        read.push_back(benchutil::timed([&] { bytes = forms::ReadWholeFile(path).value_or(""); }));
        lines.push_back(benchutil::timed([&] {
            if (forms::SplitLines(forms::ReadWholeFile(path).value_or("")).empty()) std::printf("no lines\n");
        }));
        write.push_back(benchutil::timed([&] { forms::WriteFileAtomically(path + ".copy", bytes); }));
        f.bytes = bytes.size();
    }
    f.load = benchutil::median(load), f.save = benchutil::median(save);
    f.read = benchutil::median(read), f.lines = benchutil::median(lines), f.write = benchutil::median(write);
    return f;
}

void print(const char* what, int n, const char* unit, const Figures& f) {
    std::printf("%-7s %6d %-9s %8zu bytes  load %7.2f ms (%5.1fx read, %5.1fx lines, %5.2f us/%s)  save %7.2f ms "
                "(%4.1fx write, %5.2f us/%s)\n",
                what, n, unit, f.bytes, f.load * 1e3, f.load / f.read, f.load / f.lines, f.load * 1e6 / n, unit,
                f.save * 1e3, f.save / f.write, f.save * 1e6 / n, unit);
}

}  // namespace

int main() {
    SetProgramFolder("C:\\Prog\\");
    benchutil::printLoad();
    const std::string dir = folder();
    for (int n : {250, 500, 1000, 2000}) print("views", n, "view", views(dir, n, 7));
    for (int n : {2500, 5000, 10000, 20000}) print("scheme", n, "material", scheme(dir, n, 7));
    std::printf("targets: 1,000 views and 10,000 materials within 3x of the plain read and write, linear in the count\n");
    return 0;
}

// Finding the libraries: a probe program copied to folders of its own binds them with the
// DLLs in its folder, on the PATH, in the current folder, nowhere, or under a wrong name.
#include <gtest/gtest.h>

#include "wintestfiles.h"

namespace {

std::string windowsPath(const char* unixPath) {
    std::string p = std::string("Z:") + unixPath;
    for (char& c : p)
        if (c == '/') c = '\\';
    return p;
}

const std::string kProbe = windowsPath(QIV_BIND_PROBE), kCrde = windowsPath(QIV_CRDE_DLL), kIsp = windowsPath(QIV_ISP_DLL);

struct Probe {
    std::string output;
    int run(const std::string& programFolder, const std::string& mode, const std::string& current,
            const std::string& path) {
        const std::string exe = programFolder + "\\bindprobe.exe";
        CopyFileA(kProbe.c_str(), exe.c_str(), FALSE);
        char system[MAX_PATH];
        GetSystemDirectoryA(system, MAX_PATH);
        return imgtest::runProgram("\"" + exe + "\" " + mode, current, path + (path.empty() ? "" : ";") + system, output);
    }
    bool has(const std::string& s) const { return output.find(s) != std::string::npos; }
};

std::string lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

class Search : public ::testing::Test {
protected:
    std::string base = imgtest::tempDir("qivimagingsearch");
    std::string folder(const std::string& name) { return imgtest::tempDir("qivimagingsearch\\" + name); }
};

TEST_F(Search, EachStepOfTheSearchOrderFindsTheLibrary) {
    const std::string app = folder("app"), onPath = folder("onpath"), current = folder("current"),
                      empty = folder("empty");
    ASSERT_TRUE(CopyFileA(kCrde.c_str(), (app + "\\CRDE2001.DLL").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(kCrde.c_str(), (onPath + "\\CRDE2001.DLL").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(kCrde.c_str(), (current + "\\CRDE2001.DLL").c_str(), FALSE));
    const struct {
        const char* step;
        std::string program, current, path, want;
    } cases[] = {
        {"program folder", app, empty, onPath, app},
        {"PATH", empty, empty, onPath, onPath},
        {"current folder", empty, current, "", current},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.step);
        Probe p;
        ASSERT_EQ(0, p.run(c.program, "crde", c.current, c.path)) << p.output;
        EXPECT_TRUE(p.has("bound: 1")) << p.output;
        EXPECT_TRUE(lower(p.output).find(lower("loaded: " + c.want + "\\crde2001.dll")) != std::string::npos) << p.output;
        EXPECT_FALSE(p.has("message:")) << p.output;
    }
}

TEST_F(Search, AMissingLibraryIsReported) {
    const std::string empty = folder("none");
    Probe crde;
    ASSERT_EQ(0, crde.run(empty, "crde", empty, ""));
    EXPECT_TRUE(crde.has("error: Can't load CRDE2001.DLL. Make sure its located in the application's searchpath."))
        << crde.output;
    EXPECT_TRUE(crde.has("bound: 0"));
    Probe isp;
    ASSERT_EQ(0, isp.run(empty, "isp", empty, ""));
    EXPECT_TRUE(isp.has("message: Can't load ISP2000.DLL. Make sure its located in the application's searchpath."))
        << isp.output;
    EXPECT_TRUE(isp.has("bound: 0"));
}

TEST_F(Search, ALibraryWithoutCrdeInItsNameIsRefused) {
    const std::string app = folder("wrong");
    ASSERT_TRUE(CopyFileA(kIsp.c_str(), (app + "\\ISP2000.DLL").c_str(), FALSE));
    Probe p;
    ASSERT_EQ(0, p.run(app, "wrong", app, ""));
    EXPECT_TRUE(p.has("message: Wrong dll Name in DLL96V1.PAS")) << p.output;
    EXPECT_TRUE(p.has("bound: 0"));
    EXPECT_TRUE(p.has("loaded: \n") || p.has("loaded: \r\n")) << p.output;  // freed again
    // The ISP side binds it.
    Probe isp;
    ASSERT_EQ(0, isp.run(app, "isp", app, ""));
    EXPECT_TRUE(isp.has("bound: 1")) << isp.output;
}

}  // namespace

#pragma once
// Helpers of Stellwerk's core tests: temporary folders, files, a German
// number locale and a fake viewer that records what it is told.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "forms/fileio.h"
#include "forms/inifile.h"
#include "forms/textutil.h"
#include "viewer.h"

namespace apptest {

inline std::string tempFolder(const std::string& leaf) {
    const char* dir = std::getenv("TMPDIR");
    std::string p = dir && *dir ? dir : "/tmp";
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    p += "/" + leaf + "_" + (info ? std::string(info->name()) : "x") + "_" + std::to_string(::getpid()) + "/";
    forms::ForceDirectories(p);
    return p;
}

inline void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline forms::IniFile iniOf(const std::string& text) {
    forms::IniFile ini;
    ini.SetText(text);
    return ini;
}

inline std::string readFile(const std::string& path) { return forms::ReadWholeFile(path).value_or(""); }

// The C library's numbers and the form layer's separator as on a German
// system while it lives. The locale comes from the build tree (LOCPATH);
// without it only the separator changes.
class GermanNumbers {
public:
    GermanNumbers() {
        const char* old = std::setlocale(LC_ALL, nullptr);
        saved_ = old ? old : "C";
        active_ = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr && *std::localeconv()->decimal_point == ',';
        forms::SetLocaleDecimalSeparator(',');
    }
    ~GermanNumbers() {
        std::setlocale(LC_ALL, saved_.c_str());
        forms::SetLocaleDecimalSeparator('.');
    }
    // True when printf itself writes "1,5".
    bool active() const { return active_; }

private:
    std::string saved_;
    bool active_ = false;
};

// A viewer that keeps its properties and logs every call.
class FakeViewer : public stellwerk::ViewerHost {
public:
    bool loaded = true;
    stellwerk::Viewing3D viewing{{0, 0, 0}, {0, -10, 0}, 0.5f, false};
    float phi = 0, psi = 0, zoom = 1;
    int lights = 31;
    stellwerk::Color backColor = 0;
    std::string backUrl;
    int backMode = 0, offX = 0, offY = 0;
    int updateDepth = 0;
    std::vector<std::string> log;

    struct Material {
        stellwerk::Color diffuse, specular;
        float alpha, kd, ka, ks;
        uint32_t flags;
    };
    std::vector<Material> materials = std::vector<Material>(8);
    std::vector<std::string> textures = std::vector<std::string>(8);

    bool ObjectLoaded() override { return loaded; }
    bool GetViewing3DEx(stellwerk::Viewing3D& v) override {
        v = viewing;
        return loaded;
    }
    void SetViewing3DEx(const stellwerk::Viewing3D& v) override {
        viewing = v;
        log.push_back("SetViewing3DEx");
    }
    void SetViewing3D(const stellwerk::Vec3& vrp, const stellwerk::Vec3& eye, float tanA) override {
        viewing.vrp = vrp;
        viewing.eye = eye;
        viewing.tanA = tanA;
        log.push_back("SetViewing3D");
    }
    float Phi() override { return phi; }
    void SetPhi(float d) override { phi = d, log.push_back("Phi"); }
    float Psi() override { return psi; }
    void SetPsi(float d) override { psi = d, log.push_back("Psi"); }
    float Zoom() override { return zoom; }
    void SetZoom(float z) override { zoom = z, log.push_back("Zoom"); }
    int Lights() override { return lights; }
    void SetLights(int s) override { lights = s, log.push_back("Lights"); }
    stellwerk::Color BackColor() override { return backColor; }
    void SetBackColor(stellwerk::Color c) override { backColor = c, log.push_back("BackColor"); }
    std::string BackPictureURL() override { return backUrl; }
    void SetBackPictureURL(const std::string& u) override { backUrl = u, log.push_back("BackPictureURL"); }
    int BackPicMode() override { return backMode; }
    void SetBackPicMode(int m) override { backMode = m, log.push_back("BackPicMode"); }
    int BackPicOffsetX() override { return offX; }
    int BackPicOffsetY() override { return offY; }
    void SetBackPicOffset(int x, int y) override { offX = x, offY = y, log.push_back("BackPicOffset"); }
    void EnableUpdate(bool on) override {
        updateDepth += on ? -1 : 1;
        log.push_back(on ? "EnableUpdate(1)" : "EnableUpdate(0)");
    }
    void Refresh() override { log.push_back("Refresh"); }
    void ReplaceMaterial(int index, stellwerk::Color d, stellwerk::Color s, float a, float kd, float ka, float ks,
                         uint32_t flags) override {
        if (index >= 0 && size_t(index) < materials.size()) materials[size_t(index)] = {d, s, a, kd, ka, ks, flags};
        log.push_back("ReplaceMaterial(" + std::to_string(index) + ")");
    }
    void ReplaceTexture(int index, const std::string& name) override {
        if (index >= 0 && size_t(index) < textures.size()) textures[size_t(index)] = name;
        log.push_back("ReplaceTexture(" + std::to_string(index) + "," + name + ")");
    }
    void NotifyLightsChanged() override { log.push_back("LightsChanged"); }

    // Files LoadObject takes (the rest it refuses), and what it answers then.
    std::vector<std::string> loadable;
    std::vector<Material> objectMaterials;
    std::vector<std::string> objectTextures;
    bool filter = false, hideControls = false;
    int cursorMode = 1, movementMask = 0, enabledMenus = -1, dragDrop = -1;

    bool LoadObject(const std::string& path) override {
        log.push_back("LoadObject(" + path + ")");
        for (const auto& f : loadable)
            if (f == path) {
                loaded = true;
                materials = objectMaterials;
                textures = objectTextures;
                return true;
            }
        return false;
    }
    void ObjectDelete() override {
        loaded = false;
        materials.clear();
        textures.clear();
        log.push_back("ObjectDelete");
    }
    int MaterialCount() override { return loaded ? int(materials.size()) : 0; }
    bool GetMaterial(int index, stellwerk::ViewerMaterial& out) override {
        if (!loaded || index < 0 || size_t(index) >= materials.size()) return false;
        const Material& m = materials[size_t(index)];
        out = {m.diffuse, m.specular, m.alpha, m.kd, m.ka, m.ks, m.flags};
        return true;
    }
    int TextureCount() override { return loaded ? int(textures.size()) : 0; }
    std::string GetTexture(int index) override {
        return loaded && index >= 0 && size_t(index) < textures.size() ? textures[size_t(index)] : std::string();
    }
    void OneTimeRaytrace() override { log.push_back("OneTimeRaytrace"); }
    void DisableUserMovements(int mask) override { movementMask = mask; }
    void SetCursorMode(int mode) override { cursorMode = mode; }
    void SetEnabledMenus(int mask) override { enabledMenus = mask; }
    void SetDragDropEnabled(int flags) override { dragDrop = flags; }
    bool Filter() override { return filter; }
    void SetFilter(bool on) override { filter = on; }
    bool HideControls() override { return hideControls; }
    void SetHideControls(bool on) override { hideControls = on; }
};

}  // namespace apptest

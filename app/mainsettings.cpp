#include "mainsettings.h"

#include "common.h"
#include "filenames.h"
#include "forms/textutil.h"

namespace stellwerk {

namespace {

constexpr const char* kGeneral = "General";
constexpr const char* kPaths = "Paths";
constexpr const char* kRecent = "LRUFileList";

// Relative to the program folder; the program folder itself stays absolute,
// as an empty value means that no folder was stored.
std::string storedFolder(const std::string& folder) {
    const std::string relative = MakeRelativePath(folder, true);
    return relative.empty() && !folder.empty() ? MakeAbsolutePath(folder, true) : relative;
}

}  // namespace

MainSettings::MainSettings() : Materials(MakeAbsolutePath("Materials", true)), Textures(MakeAbsolutePath("Textures", true)) {}

void MainSettings::Read(const forms::IniFile& ini) {
    IconSmall = ini.ReadBool(kGeneral, "IconSize", true);
    Filter = ini.ReadBool(kGeneral, "Filter", false);
    Controlbar = ini.ReadBool(kGeneral, "Controlbar", true);
    Materials = MakeAbsolutePath(ini.ReadString(kPaths, "Materials", "Materials"), true);
    Textures = MakeAbsolutePath(ini.ReadString(kPaths, "Textures", "Textures"), true);
    RecurseMat = ini.ReadBool(kPaths, "RecurseMat", true);
    RecurseTex = ini.ReadBool(kPaths, "RecurseTex", true);
    const std::string qiv = ini.ReadString(kPaths, "qiv", "");
    QivFolder = qiv.empty() ? std::string() : MakeAbsolutePath(qiv, true);
    Recent = RecentFiles(ini.ReadInteger(kRecent, "Max", 4));
    for (int n = 1; n <= Recent.Max(); ++n) Recent.Append(ini.ReadString(kRecent, "File" + std::to_string(n), ""));
}

void MainSettings::Write(forms::IniFile& ini) const {
    ini.WriteBool(kGeneral, "IconSize", IconSmall);
    ini.WriteBool(kGeneral, "Filter", Filter);
    ini.WriteBool(kGeneral, "Controlbar", Controlbar);
    ini.WriteString(kPaths, "Materials", MakeRelativePath(Materials, true));
    ini.WriteString(kPaths, "Textures", MakeRelativePath(Textures, true));
    ini.WriteBool(kPaths, "RecurseMat", RecurseMat);
    ini.WriteBool(kPaths, "RecurseTex", RecurseTex);
    ini.WriteString(kPaths, "qiv", storedFolder(QivFolder));
    // Entries of a longer list written before go with the section.
    ini.EraseSection(kRecent);
    ini.WriteInteger(kRecent, "Max", Recent.Max());
    for (size_t i = 0; i < Recent.Files().size(); ++i)
        ini.WriteString(kRecent, "File" + std::to_string(i + 1), Recent.Files()[i]);
}

void MainSettings::ObjectOpened(const std::string& path) {
    Recent.Opened(path);
    QivFolder = FolderOf(path);
}

bool MainSettings::WriteQivFolder(const std::string& iniPath) const {
    forms::IniFile ini(iniPath);
    ini.WriteString(kPaths, "qiv", storedFolder(QivFolder));
    return ini.UpdateFile();
}

}  // namespace stellwerk

#pragma once
// The main form's own keys of "stellwerk!.ini": preview size, the viewer's
// filter and control bar, the library folders and their recursion, the last
// object folder and the recent files. The window placement ("AppWindow",
// maximised by default) goes through ReadFormPlacement / WriteFormPlacement.
#include <string>

#include "forms/inifile.h"
#include "recentfiles.h"

namespace stellwerk {

constexpr const char* kAppWindowSection = "AppWindow";

struct MainSettings {
    bool IconSmall = true;   // General "IconSize"
    bool Filter = false;     // the viewer's Filter
    bool Controlbar = true;  // the viewer's HideControls
    std::string Materials;   // absolute folders with trailing delimiters
    std::string Textures;
    bool RecurseMat = true;
    bool RecurseTex = true;
    std::string QivFolder;  // Paths "qiv": absolute, empty when none was stored
    RecentFiles Recent;

    // The defaults, folders made absolute.
    MainSettings();
    void Read(const forms::IniFile& ini);
    // Every key; the recent files as "File1" onward in list order.
    void Write(forms::IniFile& ini) const;
    // A successfully loaded object: its path tops the recent list and its
    // folder becomes Paths "qiv". Call it only after the load succeeded.
    void ObjectOpened(const std::string& path);
    // Paths "qiv" alone, written to the INI file at once.
    bool WriteQivFolder(const std::string& iniPath) const;
};

}  // namespace stellwerk

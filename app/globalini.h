#pragma once
// Stellwerk's settings object: day and night backgrounds, the highlight
// colour, the alternate texture path, the rotation angle and the tool-window
// options, read from and written to "stellwerk!.ini".
#include <string>

#include "common.h"
#include "forms/inifile.h"

namespace stellwerk {

class TGlobalIni {
public:
    bool EnableClrBmp = true;
    Color DayClr = RGB3(204, 204, 255);
    Color NightClr = RGB3(11, 30, 83);
    Color HiliteClr = RGB3(0, 128, 0);
    std::string DayBmp;                // absolute
    std::string NightBmp;              // absolute
    std::string AlternateTexturePath;  // absolute, with a trailing delimiter
    int RotationAngle = 1;             // degrees, 1..90
    bool FilePreview = true;
    bool HideUndockedToolbars = true;

    // The defaults, paths made absolute against the program folder.
    TGlobalIni();
    void Read(const forms::IniFile& ini);
    void Write(forms::IniFile& ini) const;
    // Reads the INI file at path (a missing one gives the defaults).
    void Load(const std::string& path);
    // Writes every key through a temporary file; false when it failed.
    bool Save(const std::string& path) const;
    // The reading rules applied to values typed in the preferences.
    void Clamp();
    // The preview box of the open dialogs: kept, and its key written to the
    // file at path at once. False when the file could not be written.
    bool StoreFilePreview(bool on, const std::string& path);

    bool operator==(const TGlobalIni&) const = default;
};

// The program's one settings object (the defaults until it is loaded).
TGlobalIni& GlobalIni();

constexpr const char* kDefaultDayBmp = "Textures\\Backgrounds\\sky_day.jpg";
constexpr const char* kDefaultNightBmp = "Textures\\Backgrounds\\sky_night.jpg";

}  // namespace stellwerk

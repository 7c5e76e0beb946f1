#include "globalini.h"

namespace stellwerk {

namespace {

constexpr const char* kGeneral = "General";
constexpr const char* kPaths = "Paths";

int clampAngle(int a) { return a < 1 ? 1 : a > 90 ? 90 : a; }

}  // namespace

TGlobalIni::TGlobalIni()
    : DayBmp(MakeAbsolutePath(kDefaultDayBmp, false)),
      NightBmp(MakeAbsolutePath(kDefaultNightBmp, false)),
      AlternateTexturePath(MakeAbsolutePath("", true)) {}

void TGlobalIni::Read(const forms::IniFile& ini) {
    EnableClrBmp = ini.ReadBool(kGeneral, "EnableClrBmp", true);
    DayClr = ParseColor(ini.ReadString(kGeneral, "DayClr", ""), 204, 204, 255);
    NightClr = ParseColor(ini.ReadString(kGeneral, "NightClr", ""), 11, 30, 83);
    HiliteClr = ParseColor(ini.ReadString(kGeneral, "HiliteClr", ""), 0, 128, 0);
    DayBmp = MakeAbsolutePath(ini.ReadString(kGeneral, "DayBmp", kDefaultDayBmp), false);
    NightBmp = MakeAbsolutePath(ini.ReadString(kGeneral, "NightBmp", kDefaultNightBmp), false);
    AlternateTexturePath = MakeAbsolutePath(ini.ReadString(kPaths, "AlternateTexturePath", ""), true);
    RotationAngle = clampAngle(ini.ReadInteger(kGeneral, "RotationAngle", 1));
    FilePreview = ini.ReadBool(kGeneral, "File Preview", true);
    HideUndockedToolbars = ini.ReadBool(kGeneral, "HideUndockedToolbars", true);
}

void TGlobalIni::Write(forms::IniFile& ini) const {
    ini.WriteBool(kGeneral, "EnableClrBmp", EnableClrBmp);
    ini.WriteString(kGeneral, "DayClr", FormatColor(DayClr));
    ini.WriteString(kGeneral, "NightClr", FormatColor(NightClr));
    ini.WriteString(kGeneral, "HiliteClr", FormatColor(HiliteClr));
    ini.WriteString(kGeneral, "DayBmp", MakeRelativePath(DayBmp, false));
    ini.WriteString(kGeneral, "NightBmp", MakeRelativePath(NightBmp, false));
    ini.WriteString(kPaths, "AlternateTexturePath", MakeRelativePath(AlternateTexturePath, true));
    ini.WriteInteger(kGeneral, "RotationAngle", RotationAngle);
    ini.WriteBool(kGeneral, "File Preview", FilePreview);
    ini.WriteBool(kGeneral, "HideUndockedToolbars", HideUndockedToolbars);
}

void TGlobalIni::Load(const std::string& path) { Read(forms::IniFile(path)); }

bool TGlobalIni::Save(const std::string& path) const {
    forms::IniFile ini(path);
    Write(ini);
    return ini.UpdateFile();
}

bool TGlobalIni::StoreFilePreview(bool on, const std::string& path) {
    FilePreview = on;
    forms::IniFile ini(path);
    ini.WriteBool(kGeneral, "File Preview", on);
    return ini.UpdateFile();
}

TGlobalIni& GlobalIni() {
    static TGlobalIni settings;
    return settings;
}

void TGlobalIni::Clamp() {
    DayClr &= 0xFFFFFF;
    NightClr &= 0xFFFFFF;
    HiliteClr &= 0xFFFFFF;
    DayBmp = MakeAbsolutePath(DayBmp, false);
    NightBmp = MakeAbsolutePath(NightBmp, false);
    AlternateTexturePath = MakeAbsolutePath(AlternateTexturePath, true);
    RotationAngle = clampAngle(RotationAngle);
}

}  // namespace stellwerk

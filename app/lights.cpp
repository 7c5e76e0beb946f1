#include "lights.h"

namespace stellwerk {

uint32_t SetLight(uint32_t set, int bit, bool on) {
    if (bit < 0 || bit > 4) return set;
    return on ? SetBit(set, bit) : ClearBit(set, bit);
}

bool LightOn(uint32_t set, int bit) { return bit >= 0 && bit <= 4 && TestBit(set, bit); }

uint32_t ToggleAllLights(uint32_t set) { return (set & kAllLights) == kAllLights ? 0 : kAllLights; }

DayNight DayNightSwitch(uint32_t set, const TGlobalIni& s, const std::function<bool(const std::string&)>& exists) {
    DayNight d;
    d.night = LightOn(set, 0);
    d.lights = d.night ? 16 : 15;
    d.background = s.EnableClrBmp;
    d.color = d.night ? s.NightClr : s.DayClr;
    const std::string& file = d.night ? s.NightBmp : s.DayBmp;
    const bool has = !file.empty() && exists && exists(file);
    d.picture = has ? file : std::string();
    d.picMode = has ? 1 : 0;
    return d;
}

uint32_t ApplyDayNight(ViewerHost& viewer, uint32_t set, const TGlobalIni& settings,
                       const std::function<bool(const std::string&)>& exists) {
    const DayNight d = DayNightSwitch(set, settings, exists);
    if (d.background) {
        viewer.SetBackColor(d.color);
        viewer.SetBackPictureURL(d.picture);
        viewer.SetBackPicMode(d.picMode);
    }
    viewer.SetLights(int(d.lights));
    return d.lights;
}

}  // namespace stellwerk

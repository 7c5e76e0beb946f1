#pragma once
// The light set of the main form (bits 0 to 4 = lights 1 to 5) and the
// day/night switch.
#include <cstdint>
#include <functional>
#include <string>

#include "globalini.h"
#include "viewer.h"

namespace stellwerk {

constexpr uint32_t kAllLights = 31;

// Light item i (0..4) checked or not.
uint32_t SetLight(uint32_t set, int bit, bool on);
bool LightOn(uint32_t set, int bit);
// Key "0": all on becomes all off, anything else all on.
uint32_t ToggleAllLights(uint32_t set);

struct DayNight {
    uint32_t lights;  // 16 (light 5) for night, 15 (lights 1 to 4) for day
    bool night;
    bool background;  // the day/night background is to be set
    Color color;
    std::string picture;  // empty: none
    int picMode;          // 1 with a picture, else 0
};
// Light 1 on turns night on, otherwise day; with backgrounds enabled the
// colour and (when the file exists) the picture of that time.
DayNight DayNightSwitch(uint32_t set, const TGlobalIni& settings, const std::function<bool(const std::string&)>& exists);
// Sets the viewer and returns the new light set.
uint32_t ApplyDayNight(ViewerHost& viewer, uint32_t set, const TGlobalIni& settings,
                       const std::function<bool(const std::string&)>& exists);

}  // namespace stellwerk

#include "colours.h"

#include <algorithm>
#include <cmath>

#include "filenames.h"
#include "forms/fileio.h"
#include "forms/textutil.h"

namespace stellwerk {

int PaletteEntryOfCell(int column, int row) {
    const long v = long(column) + 15L * row + 1;
    return int(((v % 256) + 256) % 256);
}

std::string PaletteCaption(const std::string& fileName) {
    std::string s = forms::LowerCase(BaseNameOf(fileName));
    if (!s.empty() && s[0] >= 'a' && s[0] <= 'z') s[0] = char(s[0] - 'a' + 'A');
    return s;
}

PaletteMenu ListPalettes(const std::string& folder, const std::string& current) {
    PaletteMenu m;
    for (const auto& e : forms::ListDirectory(folder)) {
        if (e.directory) continue;
        const size_t dot = e.name.find_last_of('.');
        if (dot == std::string::npos || !forms::SameText(e.name.substr(dot), ".rgb")) continue;
        m.captions.push_back(PaletteCaption(e.name));
    }
    std::sort(m.captions.begin(), m.captions.end(),
              [](const std::string& a, const std::string& b) { return forms::CompareText(a, b) < 0; });
    for (size_t i = 0; i < m.captions.size(); ++i)
        if (forms::SameText(m.captions[i], current)) m.checked = int(i);
    return m;
}

int SpinValue(const std::string& text) { return ParseIntClamped(text, 0, 0, 255); }

Color SpinColour(const std::string& red, const std::string& green, const std::string& blue) {
    return RGB3(SpinValue(red), SpinValue(green), SpinValue(blue));
}

Color GradientAt(Color colour, int y, int height) {
    if (height <= 1) return colour;
    const double half = (height - 1) / 2.0;
    const double t = y <= half ? y / half : (y - half) / half;  // 0..1 within the half
    auto mix = [&](int from, int to) { return int(std::lround(from + (to - from) * t)); };
    auto part = [&](int c) { return y <= half ? mix(255, c) : mix(c, 0); };
    return RGB3(part(RedOf(colour)), part(GreenOf(colour)), part(BlueOf(colour)));
}

GradientSlider LayoutGradientSlider(int gradLeft, int gradTop, int gradWidth, int gradHeight) {
    GradientSlider s;
    s.left = gradLeft - 3;
    s.width = gradWidth + 6;
    s.height = 5;
    s.travelTop = gradTop - 2;
    s.travelBottom = gradTop + gradHeight - 3;
    s.top = (s.travelTop + s.travelBottom) / 2;
    return s;
}

Color CubeCornerColour(float x, float y, float z) {
    return RGB3(z > 0 ? 255 : 0, x < 0 ? 255 : 0, y > 0 ? 255 : 0);
}

CubeAngles TurnCube(CubeAngles a, int dx, int dy) {
    a.y = ((a.y + dx) % 360 + 360) % 360;
    a.x = ((a.x + dy) % 360 + 360) % 360;
    return a;
}

}  // namespace stellwerk

#include "dialogvalues.h"

#include <cctype>
#include <cstdlib>

namespace qivctl {

const DisplayModeEntry kDisplayModeEntries[kDisplayModeEntryCount] = {
    {138, 0}, {139, 1}, {140, 2}, {141, 3}, {142, 4}, {143, 5},
};

int displayModeEntry(int32_t mode) {
    for (size_t i = 0; i < kDisplayModeEntryCount; ++i)
        if (kDisplayModeEntries[i].mode == mode) return int(i);
    return -1;
}

int32_t displayModeToApply(int selected, int32_t selectedItemData, int32_t current) {
    return selected < 0 ? current : selectedItemData;
}

BackgroundDialogModel::BackgroundDialogModel(const BackgroundValues& control)
    : control_(control), color_(control.color) {
    if (!control.pictureUrl.empty() && control.pictureUrl != "file://") picture_ = control.pictureUrl;
}

BackgroundChoice BackgroundDialogModel::initialChoice() const {
    if (control_.backStyle == 0) return BackgroundChoice::Transparent;
    if (hasPicture()) return control_.picMode == 2 ? BackgroundChoice::Tiled : BackgroundChoice::Picture;
    return BackgroundChoice::Monochrome;
}

BackgroundChoice BackgroundDialogModel::colorChosen(uint32_t color) {
    color_ = color;
    colorChanged_ = true;
    return BackgroundChoice::Monochrome;
}

BackgroundChoice BackgroundDialogModel::pictureChosen(const std::string& path) {
    picture_ = path;
    pictureChanged_ = true;
    return BackgroundChoice::Picture;
}

BackgroundWrites BackgroundDialogModel::apply(BackgroundChoice choice, const std::string& offsetXText,
                                              const std::string& offsetYText) const {
    BackgroundWrites w;
    w.color = color_;
    w.backStyle = choice == BackgroundChoice::Transparent ? 0 : 1;
    w.offsetX = parseDialogInt(offsetXText, control_.offsetX);
    w.offsetY = parseDialogInt(offsetYText, control_.offsetY);
    const bool picture = choice == BackgroundChoice::Picture || choice == BackgroundChoice::Tiled;
    if (picture && hasPicture()) {
        w.writeUrl = true;
        w.url = pictureChanged_ ? "file://" + picture_ : picture_;
        w.picMode = choice == BackgroundChoice::Tiled ? 2 : 1;
    }
    return w;
}

int32_t parseDialogInt(const std::string& text, int32_t fallback) {
    size_t i = 0, n = text.size();
    while (i < n && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    while (n > i && std::isspace(static_cast<unsigned char>(text[n - 1]))) --n;
    bool negative = false;
    if (i < n && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    if (i == n) return fallback;
    int64_t value = 0;
    for (; i < n; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return fallback;
        value = value * 10 + (text[i] - '0');
        if (value > int64_t(INT32_MAX) + 1) return fallback;
    }
    if (negative) value = -value;
    if (value > INT32_MAX || value < INT32_MIN) return fallback;
    return int32_t(value);
}

std::string fileDialogFilter(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c == '|') c = '\0';
    return out;
}

std::string folderOfFile(const std::string& path) {
    const size_t cut = path.find_last_of("\\/");
    if (cut == std::string::npos) return std::string();
    if (cut == 0 || (cut == 2 && path[1] == ':')) return path.substr(0, cut + 1);
    return path.substr(0, cut);
}

}  // namespace qivctl

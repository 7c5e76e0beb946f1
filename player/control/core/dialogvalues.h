// What the control's dialogs and property pages show and write: the display
// modes of the Options page, the background dialog's choices and the values
// its OK writes, numbers typed into edit fields, file-dialog filters and the
// folder of a chosen file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace qivctl {

// ---- Options page ----

struct DisplayModeEntry {
    uint32_t stringId;  // text of the combo entry
    int32_t mode;       // item data: the DisplayMode value
};
constexpr size_t kDisplayModeEntryCount = 6;
extern const DisplayModeEntry kDisplayModeEntries[kDisplayModeEntryCount];

// Entry of the table that shows a display mode; -1 when none does.
int displayModeEntry(int32_t mode);

// DisplayMode that Apply writes: the item data of the selected entry, or the
// control's current mode when no entry is selected (selected < 0).
int32_t displayModeToApply(int selected, int32_t selectedItemData, int32_t current);

// ---- Background dialog ----

// The radio buttons, by their control identifiers.
enum class BackgroundChoice : int32_t { Transparent = 209, Monochrome = 210, Picture = 211, Tiled = 212 };

// What the dialog reads from the control.
struct BackgroundValues {
    uint32_t color = 0;
    std::string pictureUrl;
    int32_t backStyle = 1;  // 0 transparent
    int32_t picMode = 0;    // 2 tiled
    int32_t offsetX = 0, offsetY = 0;
};

// What OK writes, in this order: BackColor, BackStyle, BackPictureURL (only
// when writeUrl), BackPicMode, BackPicOffsetX, BackPicOffsetY.
struct BackgroundWrites {
    uint32_t color = 0;
    int32_t backStyle = 1;
    bool writeUrl = false;
    std::string url;
    int32_t picMode = 0;
    int32_t offsetX = 0, offsetY = 0;
};

class BackgroundDialogModel {
public:
    explicit BackgroundDialogModel(const BackgroundValues& control);

    // Radio checked when the dialog opens.
    BackgroundChoice initialChoice() const;
    // The picture radios are enabled only while there is a picture.
    bool hasPicture() const { return !picture_.empty(); }
    // The offset fields are enabled exactly for the tiled picture.
    static bool offsetsEnabled(BackgroundChoice c) { return c == BackgroundChoice::Tiled; }

    // A colour from the colour chooser: kept, and the dialog turns to Monochrome.
    BackgroundChoice colorChosen(uint32_t color);
    // A picture file from the file dialog: replaces the old one; the dialog
    // turns to Picture.
    BackgroundChoice pictureChosen(const std::string& path);

    // OK with the radio checked and the texts of the offset fields. A picture
    // read from the control is written back unchanged; a chosen file becomes
    // "file://" and its path. An offset that is no integer keeps the control's.
    BackgroundWrites apply(BackgroundChoice choice, const std::string& offsetXText,
                           const std::string& offsetYText) const;

    const BackgroundValues& control() const { return control_; }
    uint32_t color() const { return color_; }
    bool colorChanged() const { return colorChanged_; }
    bool pictureChanged() const { return pictureChanged_; }
    const std::string& picture() const { return picture_; }

private:
    BackgroundValues control_;
    uint32_t color_;
    std::string picture_;  // URL as read, or the chosen file's path
    bool colorChanged_ = false, pictureChanged_ = false;
};

// ---- helpers ----

// A signed decimal integer as an edit field holds it (blanks around it allowed);
// fallback when the text is no such number or lies outside 32 bits.
int32_t parseDialogInt(const std::string& text, int32_t fallback);

// A filter text of the string table ("Text|*.x|...||") as the file dialogs
// take it: every "|" becomes a zero character.
std::string fileDialogFilter(const std::string& text);

// Folder of a file path: up to its last backslash or slash (a drive's root
// keeps its backslash); empty for a bare name.
std::string folderOfFile(const std::string& path);

}  // namespace qivctl

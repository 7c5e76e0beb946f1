#pragma once
// Saved positions of dockable windows: one record per window (which dock,
// row and position, or floating where, visible or not, and the toolbar's
// floating width or the tool window's client size), read from and written
// to any store through four callbacks, with an INI binding (section =
// prefix + window name). Everything read is checked: a section of another
// revision is ignored, places and sizes are clamped to the work area and
// the window's limits, and rows and positions stay within sane bounds.
#include <functional>
#include <string>

#include "forms/inifile.h"
#include "tbcommon.h"

namespace toolbars {

// The revision the records are written with and the only one read.
constexpr int kSavedPositionRev = 2000;
// The "DockedTo" value of a floating window.
inline constexpr const char* kDockedToFloating = "+";

// The four callbacks of a store; each is addressed by the window's name
// and a key.
struct TBPositionStore {
    std::function<int(const std::string& window, const std::string& key, int def)> ReadInteger;
    std::function<std::string(const std::string& window, const std::string& key, const std::string& def)>
        ReadString;
    std::function<void(const std::string& window, const std::string& key, int value)> WriteInteger;
    std::function<void(const std::string& window, const std::string& key, const std::string& value)> WriteString;
};

// The store over an INI file: section = prefix + window name.
TBPositionStore IniPositionStore(forms::IniFile& ini, const std::string& prefix);

// What a window has of its own keys.
enum class TBSavedKind { Plain, Toolbar, ToolWindow };

// One window's record.
struct TBSavedPosition {
    bool Visible = true;
    // The dock's name, kDockedToFloating, or empty (left where it is).
    std::string DockedTo;
    std::string LastDock;
    int DockRow = 0;
    int DockPos = -1;
    TBPoint FloatPos;
    // Toolbars: the floating layout's width limit (0: unlimited).
    int FloatingWidth = 0;
    // Tool windows: the client size.
    TBPoint ClientSize;
};

// What reading needs of the window: its kind and options, its current
// values (the defaults of missing keys), and the limits values are kept in.
struct TBSavedWindowInfo {
    TBSavedKind Kind = TBSavedKind::Plain;
    // Tool windows: the record carries the client size; it is read back
    // only when the window is also resizable.
    bool LoadSaveWidthHeight = false;
    bool Resizable = true;
    TBSavedPosition Current;
    // The work area of the monitor the form is on.
    Rect WorkArea;
    // The floating frame's outer size around the client size, and the
    // client size limits (maximum 0: none).
    TBPoint FloatFrame;
    TBPoint MinClient{1, 1};
    TBPoint MaxClient;
};

// Rows beyond this are taken as this row (the dock closes the empty rows up).
constexpr int kMaxSavedDockRow = 1000;

// Reads a window's record; false (nothing read but "Rev") when the section
// is of another revision. The values are clamped: rows to 0..kMaxSavedDockRow,
// positions to -1..the longer side of the work area, the floating frame
// wholly into the work area, the floating width to 0..the work area's
// width, the client size to its limits and the work area.
bool ReadSavedPosition(const TBPositionStore& store, const std::string& window, const TBSavedWindowInfo& info,
                       TBSavedPosition& out);
// Writes a window's record in key order. The client size is written only
// for tool windows with LoadSaveWidthHeight, the floating width only for
// toolbars.
void WriteSavedPosition(const TBPositionStore& store, const std::string& window, const TBSavedWindowInfo& info,
                        const TBSavedPosition& p);

}  // namespace toolbars

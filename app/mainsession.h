#pragma once
// The object open in the main form and what belongs to it: its path and
// the writability of its folder, its materials in the editor, its saved
// views and material schemes, the light set and the rotation state. The
// session drives the viewer; the main form shows the session's state.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "globalini.h"
#include "mainsettings.h"
#include "materialeditor.h"
#include "savedviews.h"
#include "schemes.h"

namespace stellwerk {

// One item of the schemes menu: item 0 is the object's own materials.
struct SchemeItem {
    std::string name;
    std::string path;  // empty for item 0
    bool locked = false;
};

// The object's materials and textures as the viewer has them: alpha 0 taken
// as opaque, bit 64 set, texture indices in order while there are textures.
MaterialSet ReadObjectMaterials(ViewerHost& viewer);

class MainSession {
public:
    // The settings give the alternate texture path of scheme files.
    MainSession(ViewerHost& viewer, const TGlobalIni& settings) : viewer_(viewer), global_(settings) {}

    bool IsOpen() const { return open_; }
    const std::string& Path() const { return path_; }
    bool FolderWritable() const { return folderWritable_; }
    MaterialEditor& Editor() { return editor_; }
    const MaterialEditor& Editor() const { return editor_; }
    SavedViews& Views() { return views_; }
    const SavedViews& Views() const { return views_; }
    const std::vector<SchemeItem>& Schemes() const { return schemes_; }
    std::vector<std::string> SchemeCaptions() const;
    int CurrentScheme() const { return currentScheme_; }
    const SchemeItem* Current() const;

    uint32_t LightSet = 31;
    int RotationState = 0;

    // Closes what is open, then has the viewer load the file. On success the
    // object's materials, textures, views and schemes are read, the light set
    // is all on, and the file tops the recent list of settings with its
    // folder as the last object folder (also written to the INI file). False
    // when the viewer refused the file: the session is then closed and
    // settings are untouched.
    bool Load(const std::string& path, MainSettings& settings, const std::string& ownSchemeCaption);
    // Shows the views file's "<LastView>" with its scheme (chosen through
    // clickScheme, or ApplyScheme without one); the light set follows the
    // viewer. Called once the viewer has its final size, since the viewer
    // fits its view again to a new size. False when there is no last view.
    bool ApplyLastView(const std::function<void(int)>& clickScheme = nullptr);
    // The last view written, the object deleted, every list cleared.
    void Close();

    // Material editing: open, folder writable, current scheme not locked.
    bool EditingEnabled() const;
    // The working materials differ from the scheme file they came from.
    bool SchemeUnsaved() const { return open_ && editor_.Modified(); }
    // Resets to the object's own materials, reads the scheme file of the
    // item over them (item 0 has none) and sends everything to the viewer.
    bool ApplyScheme(int index);
    // Writes the working materials to the current scheme's file (not item 0,
    // not a locked scheme).
    bool SaveScheme();
    // Writes them as scheme name (a new item, or the unlocked item of that
    // name) and makes it current.
    bool SaveSchemeAs(const std::string& name);
    // Index of the scheme of that name (letter case ignored), -1 none.
    int FindScheme(const std::string& name) const;
    // Renames the scheme's file (not item 0, not a locked scheme); only when
    // that succeeded do the item and the views of that scheme take the name.
    bool RenameScheme(int index, const std::string& newName);
    // Deletes the scheme's file and lists the schemes again; views of it
    // lose their scheme. The current scheme stays current, or item 0 is
    // applied when it was the deleted one.
    bool DeleteScheme(int index);
    // Locks (read-only) or unlocks the scheme's file; the item's state is
    // what the file then is. False when the state did not change.
    bool SetSchemeLocked(int index, bool lock);

private:
    void reset();
    void listSchemes();

    ViewerHost& viewer_;
    const TGlobalIni& global_;
    bool open_ = false;
    std::string path_;
    bool folderWritable_ = false;
    MaterialEditor editor_;
    SavedViews views_;
    std::vector<SchemeItem> schemes_;
    std::string ownCaption_;
    int currentScheme_ = 0;
};

}  // namespace stellwerk

#pragma once
// The views-and-schemes tree: the menu item a selected node stands for, and
// when the authoring commands of the main form are enabled.
#include <optional>

namespace stellwerk {

struct TreeTarget {
    bool scheme = false;  // a scheme item, else a view item
    int item = -1;        // index in the views or schemes menu
};
// With the views root at absolute index v, views view nodes and schemes
// scheme nodes: node n plays a view or applies a scheme; the roots do
// nothing.
std::optional<TreeTarget> TreeNodeTarget(int v, int views, int schemes, int n);

// Material editing: an object is open, its folder can take files and the
// current scheme is not locked.
bool MaterialEditingEnabled(bool open, bool folderWritable, bool schemeLocked);
// Save: a scheme other than the object's own is current and editing is on.
bool SchemeSaveEnabled(int currentScheme, bool editing);
// Save as: the object's folder can take files.
bool SchemeSaveAsEnabled(bool folderWritable);

}  // namespace stellwerk

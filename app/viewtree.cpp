#include "viewtree.h"

namespace stellwerk {

std::optional<TreeTarget> TreeNodeTarget(int v, int views, int schemes, int n) {
    const int s = v + views + 1;
    if (v < n && n < s && n - v - 1 < views) return TreeTarget{false, n - v - 1};
    if (n > s && n - s - 1 < schemes) return TreeTarget{true, n - s - 1};
    return std::nullopt;
}

bool MaterialEditingEnabled(bool open, bool folderWritable, bool schemeLocked) {
    return open && folderWritable && !schemeLocked;
}

bool SchemeSaveEnabled(int currentScheme, bool editing) { return currentScheme > 0 && editing; }
bool SchemeSaveAsEnabled(bool folderWritable) { return folderWritable; }

}  // namespace stellwerk

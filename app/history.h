#pragma once
// The material editor's history: records of one material (and optionally
// one texture name) as lines of the undo and redo lists.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "matentry.h"

namespace stellwerk {

// "*M*", the 36 bytes of the entry with its first word holding the material
// index, then optionally "*T*" + texture index + "*" + texture name. The
// bytes may hold any value, so a record is read by length.
std::string MakeHistoryRecord(const MatEntry& entry, int materialIndex);
std::string MakeHistoryRecord(const MatEntry& entry, int materialIndex, int textureIndex, std::string_view texture);

struct HistoryRestore {
    bool hasMaterial = false;
    int materialIndex = -1;  // within 0..materials - 1
    MatEntry entry;
    bool hasTexture = false;
    int textureIndex = -1;  // clamped to 0..textures - 1
    std::string texture;
};
// What a record restores for an object of that many materials and textures;
// a material index outside the object restores nothing of the material.
HistoryRestore ParseHistoryRecord(std::string_view record, int materials, int textures);

class EditHistory {
public:
    const std::vector<std::string>& UndoList() const { return undo_; }
    const std::vector<std::string>& RedoList() const { return redo_; }
    bool CanUndo() const { return !undo_.empty(); }
    bool CanRedo() const { return !redo_.empty(); }

    // A new change: recorded, the redo list emptied.
    void Record(std::string record);
    // current goes to the other list; the newest record of the source list
    // is taken off and returned (nothing when the list is empty).
    std::optional<std::string> Undo(std::string current);
    std::optional<std::string> Redo(std::string current);
    // The undo count when a material is selected.
    void Mark() { mark_ = undo_.size(); }
    size_t MarkCount() const { return mark_; }
    // Reset to the selection: when changes were recorded since the mark,
    // current goes to redo, the records since the mark follow newest first,
    // and the last one moved is dropped again. True when anything changed
    // (then the selection's snapshot is to be restored).
    bool ResetToMark(std::string current);
    void Clear();

private:
    std::vector<std::string> undo_, redo_;
    size_t mark_ = 0;
};

}  // namespace stellwerk

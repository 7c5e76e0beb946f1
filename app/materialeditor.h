#pragma once
// The material editor's state over the viewer: the object's own and the
// working materials and textures, the selected material with its snapshot,
// the copy buffer, the undo and redo history and the highlight of a picked
// material. The form fills its controls from Current() after each call that
// returns true.
#include <functional>
#include <optional>
#include <string>

#include "history.h"
#include "schemes.h"
#include "viewer.h"

namespace stellwerk {

// A material as GetMaterial gives it: alpha 0 is opaque, bit 64 is set,
// unmarked flags take the viewer's default refraction, no texture index yet.
MatEntry MatEntryFromViewer(Color diffuse, Color specular, float alpha, float kDiffuse, float kAmbient,
                            float kSpecular, uint32_t flags);
// Textured materials (bit 1) take the texture indices 0, 1, ... in order
// while there are textures; the others -1.
void AssignTextureIndices(std::vector<MatEntry>& materials, int textureCount);

// Every material and texture of the set to the viewer, updating once.
void SendMaterialSet(ViewerHost& viewer, const MaterialSet& set);

class MaterialEditor {
public:
    // The object's materials as read from the viewer and its textures; both
    // become the own and the working set.
    void Load(MaterialSet own);
    void Clear();

    const MaterialSet& Own() const { return own_; }
    const MaterialSet& Working() const { return working_; }
    // A scheme read over the own set becomes the working set (no history).
    void SetWorking(MaterialSet set);
    int CurrentIndex() const { return current_; }
    const MatEntry* Current() const;
    // The current material's texture name (empty without a texture).
    std::string CurrentTexture() const;
    bool Modified() const { return modified_; }
    void SetModified(bool on) { modified_ = on; }
    // Changes set the modified flag only when the scheme can be saved.
    void SetFolderWritable(bool on) { folderWritable_ = on; }
    const EditHistory& History() const { return history_; }

    // Selecting another material takes its snapshot and the undo mark.
    bool Select(int index);
    // Records the current state, changes it and applies it.
    bool Change(ViewerHost& viewer, const std::function<void(MatEntry&)>& edit);
    // A different texture name (letter case ignored) for the current
    // material's texture index, recorded with the texture.
    bool SetTexture(ViewerHost& viewer, const std::string& name);
    bool SetName(const std::string& name);

    // Records the current state as it is (a preset then moves the scroll
    // bars, each recording its own change).
    bool RecordCurrent();

    // The current material and its texture name go to the copy buffer.
    void Copy();
    bool CanPaste() const { return copy_.has_value(); }
    bool Paste(ViewerHost& viewer);
    // A library material pasted as a copy (the copy buffer stays as it
    // was): its texture name, when it has one, replaces the current
    // material's when that carries a texture.
    bool PasteLibrary(ViewerHost& viewer, const MatEntry& entry, const std::string& texture);

    bool Undo(ViewerHost& viewer);
    bool Redo(ViewerHost& viewer);
    // Back to the snapshot taken at the selection.
    bool Reset(ViewerHost& viewer);

    // Shows the material picked in the viewer in the highlight colour.
    void Highlight(ViewerHost& viewer, int index, Color colour);
    void EndHighlight(ViewerHost& viewer);
    bool Highlighting() const { return highlight_ >= 0; }

private:
    std::string record(bool withTexture) const;
    bool restore(ViewerHost& viewer, const std::string& rec);
    bool pasteFrom(ViewerHost& viewer, const MatEntry& copy, const std::string& texture);
    void apply(ViewerHost& viewer);
    void changed() { modified_ = modified_ || folderWritable_; }
    bool valid(int i) const { return i >= 0 && size_t(i) < working_.materials.size(); }
    int textureOf(int i) const;

    MaterialSet own_, working_;
    int current_ = -1;
    MatEntry snapshot_;
    std::string snapshotTexture_;
    std::optional<MatEntry> copy_;
    std::string copyTexture_;
    EditHistory history_;
    bool modified_ = false;
    bool folderWritable_ = false;
    int highlight_ = -1;
    std::string highlightTexture_;
};

}  // namespace stellwerk

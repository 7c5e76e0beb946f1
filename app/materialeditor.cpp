#include "materialeditor.h"

#include "forms/textutil.h"
#include "matlibrary.h"

namespace stellwerk {

MatEntry MatEntryFromViewer(Color diffuse, Color specular, float alpha, float kDiffuse, float kAmbient,
                            float kSpecular, uint32_t flags) {
    MatEntry m;
    m.diffuse = diffuse & 0xFFFFFF;
    m.specular = specular & 0xFFFFFF;
    m.alpha = AlphaPercentFromViewer(alpha);
    m.kDiffuse = kDiffuse, m.kAmbient = kAmbient, m.kSpecular = kSpecular;
    m.flags = flags | kMatFromViewer;
    // Unmarked flags carry no refraction: the viewer renders its default.
    if ((flags & kViewerFlagsMarkMask) != kViewerFlagsMark) m.flags = WithRefractiveIndex(m.flags, kViewerDefaultRefraction);
    m.texture = -1;
    return m;
}

void AssignTextureIndices(std::vector<MatEntry>& materials, int textureCount) {
    int next = 0;
    for (MatEntry& m : materials) m.texture = (m.flags & kMatTextured) && next < textureCount ? next++ : -1;
}

void SendMaterialSet(ViewerHost& viewer, const MaterialSet& set) {
    viewer.EnableUpdate(false);
    for (size_t i = 0; i < set.materials.size(); ++i) SendMaterial(viewer, int(i), set.materials[i]);
    for (size_t i = 0; i < set.textures.size(); ++i) viewer.ReplaceTexture(int(i), set.textures[i]);
    viewer.EnableUpdate(true);
    viewer.Refresh();
}

void MaterialEditor::Load(MaterialSet own) {
    Clear();
    own.names.resize(own.materials.size());
    own_ = own;
    working_ = std::move(own);
}

void MaterialEditor::Clear() {
    own_ = working_ = MaterialSet{};
    current_ = -1;
    snapshot_ = MatEntry{};
    snapshotTexture_.clear();
    history_.Clear();
    modified_ = false;
    highlight_ = -1;
    highlightTexture_.clear();
}

void MaterialEditor::SetWorking(MaterialSet set) {
    set.materials.resize(own_.materials.size());
    set.names.resize(own_.materials.size());
    set.textures.resize(own_.textures.size());
    working_ = std::move(set);
    modified_ = false;
    if (valid(current_)) {
        snapshot_ = working_.materials[size_t(current_)];
        snapshotTexture_ = CurrentTexture();
    }
}

const MatEntry* MaterialEditor::Current() const { return valid(current_) ? &working_.materials[size_t(current_)] : nullptr; }

int MaterialEditor::textureOf(int i) const {
    if (!valid(i)) return -1;
    const int t = working_.materials[size_t(i)].texture;
    return t >= 0 && size_t(t) < working_.textures.size() ? t : -1;
}

std::string MaterialEditor::CurrentTexture() const {
    const int t = textureOf(current_);
    return t >= 0 ? working_.textures[size_t(t)] : std::string();
}

bool MaterialEditor::Select(int index) {
    if (!valid(index) || index == current_) return false;
    current_ = index;
    snapshot_ = working_.materials[size_t(index)];
    snapshotTexture_ = CurrentTexture();
    history_.Mark();
    return true;
}

std::string MaterialEditor::record(bool withTexture) const {
    const MatEntry& m = working_.materials[size_t(current_)];
    const int t = textureOf(current_);
    if (withTexture && t >= 0) return MakeHistoryRecord(m, current_, t, working_.textures[size_t(t)]);
    return MakeHistoryRecord(m, current_);
}

void MaterialEditor::apply(ViewerHost& viewer) {
    SendMaterial(viewer, current_, working_.materials[size_t(current_)]);
    viewer.EnableUpdate(true);
    changed();
}

bool MaterialEditor::Change(ViewerHost& viewer, const std::function<void(MatEntry&)>& edit) {
    if (!valid(current_)) return false;
    history_.Record(record(false));
    edit(working_.materials[size_t(current_)]);
    apply(viewer);
    return true;
}

bool MaterialEditor::SetTexture(ViewerHost& viewer, const std::string& name) {
    const int t = textureOf(current_);
    if (t < 0 || forms::SameText(working_.textures[size_t(t)], name)) return false;
    history_.Record(record(true));
    working_.textures[size_t(t)] = name;
    viewer.ReplaceTexture(t, name);
    viewer.EnableUpdate(true);
    viewer.Refresh();
    changed();
    return true;
}

bool MaterialEditor::SetName(const std::string& name) {
    if (!valid(current_) || working_.names[size_t(current_)] == name) return false;
    working_.names[size_t(current_)] = name;
    changed();
    return true;
}

bool MaterialEditor::RecordCurrent() {
    if (!valid(current_)) return false;
    history_.Record(record(false));
    return true;
}

void MaterialEditor::Copy() {
    if (!valid(current_)) return;
    copy_ = working_.materials[size_t(current_)];
    copyTexture_ = CurrentTexture();
}

bool MaterialEditor::Paste(ViewerHost& viewer) { return copy_ && pasteFrom(viewer, *copy_, copyTexture_); }

bool MaterialEditor::PasteLibrary(ViewerHost& viewer, const MatEntry& entry, const std::string& texture) {
    return pasteFrom(viewer, entry, texture);
}

bool MaterialEditor::pasteFrom(ViewerHost& viewer, const MatEntry& copy, const std::string& texture) {
    if (!valid(current_)) return false;
    history_.Record(record(true));
    MatEntry& m = working_.materials[size_t(current_)];
    m = PastedMaterial(m, copy);  // the target keeps its texture index
    const int t = textureOf(current_);
    if (t >= 0 && !texture.empty() && !forms::SameText(working_.textures[size_t(t)], texture)) {
        working_.textures[size_t(t)] = texture;
        viewer.ReplaceTexture(t, texture);
    }
    apply(viewer);
    return true;
}

bool MaterialEditor::restore(ViewerHost& viewer, const std::string& rec) {
    const HistoryRestore r =
        ParseHistoryRecord(rec, int(working_.materials.size()), int(working_.textures.size()));
    if (r.hasTexture) {
        working_.textures[size_t(r.textureIndex)] = r.texture;
        viewer.ReplaceTexture(r.textureIndex, r.texture);
    }
    if (r.hasMaterial) {
        MatEntry e = r.entry;
        e.index = working_.materials[size_t(r.materialIndex)].index;
        working_.materials[size_t(r.materialIndex)] = e;
        current_ = r.materialIndex;
    }
    if (!r.hasMaterial && !r.hasTexture) return false;
    if (valid(current_)) apply(viewer);
    return true;
}

bool MaterialEditor::Undo(ViewerHost& viewer) {
    if (!valid(current_) || !history_.CanUndo()) return false;
    const auto rec = history_.Undo(record(true));
    return rec && restore(viewer, *rec);
}

bool MaterialEditor::Redo(ViewerHost& viewer) {
    if (!valid(current_) || !history_.CanRedo()) return false;
    const auto rec = history_.Redo(record(true));
    return rec && restore(viewer, *rec);
}

bool MaterialEditor::Reset(ViewerHost& viewer) {
    if (!valid(current_) || !history_.ResetToMark(record(true))) return false;
    working_.materials[size_t(current_)] = snapshot_;
    if (const int t = textureOf(current_); t >= 0 && working_.textures[size_t(t)] != snapshotTexture_) {
        working_.textures[size_t(t)] = snapshotTexture_;
        viewer.ReplaceTexture(t, snapshotTexture_);
    }
    apply(viewer);
    return true;
}

void MaterialEditor::Highlight(ViewerHost& viewer, int index, Color colour) {
    EndHighlight(viewer);
    if (!valid(index)) return;
    highlight_ = index;
    const MatEntry& m = working_.materials[size_t(index)];
    const int t = textureOf(index);
    highlightTexture_ = t >= 0 ? working_.textures[size_t(t)] : std::string();
    viewer.EnableUpdate(false);
    if (t >= 0) viewer.ReplaceTexture(t, "");
    viewer.ReplaceMaterial(index, colour, 0xFFFFFF, 0, 1, 1, 0, m.flags | kMatSelfLit | kMatTexMix);
    viewer.EnableUpdate(true);
}

void MaterialEditor::EndHighlight(ViewerHost& viewer) {
    if (highlight_ < 0) return;
    const int index = highlight_;
    highlight_ = -1;
    if (!valid(index)) return;
    viewer.EnableUpdate(false);
    if (const int t = textureOf(index); t >= 0) viewer.ReplaceTexture(t, highlightTexture_);
    SendMaterial(viewer, index, working_.materials[size_t(index)]);
    viewer.EnableUpdate(true);
}

}  // namespace stellwerk

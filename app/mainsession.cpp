#include "mainsession.h"

#include <algorithm>

#include "filenames.h"
#include "forms/fileio.h"
#include "forms/textutil.h"
#include "viewtree.h"

namespace stellwerk {

MaterialSet ReadObjectMaterials(ViewerHost& viewer) {
    MaterialSet set;
    const int textures = viewer.TextureCount();
    const int materials = viewer.MaterialCount();
    for (int i = 0; i < materials; ++i) {
        ViewerMaterial m;
        if (!viewer.GetMaterial(i, m)) m = ViewerMaterial{};
        set.materials.push_back(
            MatEntryFromViewer(m.diffuse, m.specular, m.alpha, m.kDiffuse, m.kAmbient, m.kSpecular, m.flags));
    }
    AssignTextureIndices(set.materials, textures);
    for (int i = 0; i < textures; ++i) set.textures.push_back(viewer.GetTexture(i));
    set.names.resize(set.materials.size());
    return set;
}

std::vector<std::string> MainSession::SchemeCaptions() const {
    std::vector<std::string> out;
    for (const auto& s : schemes_) out.push_back(s.name);
    return out;
}

const SchemeItem* MainSession::Current() const {
    return currentScheme_ >= 0 && size_t(currentScheme_) < schemes_.size() ? &schemes_[size_t(currentScheme_)]
                                                                            : nullptr;
}

void MainSession::reset() {
    views_.WriteLastView(viewer_);
    if (viewer_.ObjectLoaded()) viewer_.ObjectDelete();
    path_.clear();
    views_.Close();
    editor_.Clear();
    schemes_.clear();
    currentScheme_ = 0;
    RotationState = 0;
}

void MainSession::Close() {
    reset();
    open_ = false;
    folderWritable_ = false;
    editor_.SetFolderWritable(false);
}

bool MainSession::Load(const std::string& path, MainSettings& settings, const std::string& ownSchemeCaption) {
    reset();
    folderWritable_ = ObjectFolderWritable(path);
    open_ = true;
    if (!viewer_.LoadObject(path)) {
        Close();
        return false;
    }
    path_ = path;
    settings.ObjectOpened(path);
    settings.WriteQivFolder(GetIniPath());

    editor_.Load(ReadObjectMaterials(viewer_));
    editor_.SetFolderWritable(folderWritable_);
    LightSet = 31;
    viewer_.SetLights(31);
    editor_.Select(0);

    views_.Load(path);
    ownCaption_ = ownSchemeCaption;
    listSchemes();
    currentScheme_ = 0;
    viewer_.SetDragDropEnabled(0);
    return true;
}

bool MainSession::ApplyLastView(const std::function<void(int)>& clickScheme) {
    if (!open_) return false;
    const bool shown = views_.ApplyNamedView(viewer_, "", SchemeCaptions(), [&](int item) {
        if (clickScheme)
            clickScheme(item);
        else
            ApplyScheme(item);
    });
    LightSet = uint32_t(viewer_.Lights()) & 31;
    return shown;
}

void MainSession::listSchemes() {
    schemes_.clear();
    schemes_.push_back({ownCaption_, "", false});
    // A scheme locked before keeps its lock: its file is read-only.
    for (const auto& f : ListSchemes(path_)) schemes_.push_back({f.name, f.path, forms::IsReadOnlyFile(f.path)});
}

bool MainSession::EditingEnabled() const {
    const SchemeItem* s = Current();
    return MaterialEditingEnabled(open_, folderWritable_, s && s->locked);
}

bool MainSession::ApplyScheme(int index) {
    if (!open_ || index < 0 || size_t(index) >= schemes_.size()) return false;
    currentScheme_ = index;
    MaterialSet set = editor_.Own();
    const SchemeItem& item = schemes_[size_t(index)];
    if (!item.path.empty()) {
        const TextureLookup lookup{GetProgramFolder(), global_.AlternateTexturePath, FolderOf(path_),
                                   [](const std::string& f) { return forms::FileExists(f); }};
        MaterialSet read;
        ReadScheme(forms::ReadWholeFile(item.path).value_or(""), editor_.Own(), lookup, read);
        set = std::move(read);
    }
    editor_.SetWorking(set);
    SendMaterialSet(viewer_, editor_.Working());
    return true;
}

bool MainSession::SaveScheme() {
    const SchemeItem* s = Current();
    if (!open_ || !s || s->path.empty() || s->locked) return false;
    bool modified = editor_.Modified();
    const bool ok = SaveSchemeFile(s->path, editor_.Working(), editor_.Own(), GetProgramFolder(), modified);
    editor_.SetModified(modified);
    return ok;
}

int MainSession::FindScheme(const std::string& name) const {
    for (size_t i = 1; i < schemes_.size(); ++i)
        if (forms::SameText(schemes_[i].name, name)) return int(i);
    return -1;
}

bool MainSession::SaveSchemeAs(const std::string& name) {
    if (!open_ || forms::Trim(name).empty()) return false;
    int index = FindScheme(name);
    if (index > 0 && schemes_[size_t(index)].locked) return false;
    const std::string file = index > 0 ? schemes_[size_t(index)].path : SchemeFilePath(path_, name);
    bool modified = editor_.Modified();
    if (!SaveSchemeFile(file, editor_.Working(), editor_.Own(), GetProgramFolder(), modified)) return false;
    if (index < 0) {
        schemes_.push_back({name, file, false});
        index = int(schemes_.size()) - 1;
    }
    currentScheme_ = index;
    editor_.SetModified(modified);
    return true;
}

bool MainSession::RenameScheme(int index, const std::string& newName) {
    if (!open_ || index <= 0 || size_t(index) >= schemes_.size()) return false;
    SchemeItem& item = schemes_[size_t(index)];
    const std::string name = forms::Trim(newName);
    if (item.locked || name.empty()) return false;
    if (const int other = FindScheme(name); other > 0 && other != index) return false;
    const auto path = RenameSchemeFile(path_, item.path, name);
    if (!path) return false;
    const std::string old = item.name;
    item.name = name;
    item.path = *path;
    views_.RenameSchemeInViews(old, name);
    return true;
}

bool MainSession::DeleteScheme(int index) {
    if (!open_ || index <= 0 || size_t(index) >= schemes_.size()) return false;
    const SchemeItem gone = schemes_[size_t(index)];
    if (gone.locked || !forms::DeleteFileAt(gone.path)) return false;
    const std::string current = currentScheme_ == index ? std::string() : schemes_[size_t(currentScheme_)].name;
    listSchemes();
    views_.RenameSchemeInViews(gone.name, "");
    const int again = current.empty() ? 0 : std::max(0, FindScheme(current));
    if (current.empty())
        ApplyScheme(0);
    else
        currentScheme_ = again;
    return true;
}

bool MainSession::SetSchemeLocked(int index, bool lock) {
    if (!open_ || index <= 0 || size_t(index) >= schemes_.size()) return false;
    SchemeItem& item = schemes_[size_t(index)];
    const bool was = item.locked;
    item.locked = SetSchemeLock(item.path, lock);
    return item.locked != was;
}

}  // namespace stellwerk

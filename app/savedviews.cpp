#include "savedviews.h"

#include <algorithm>
#include <unordered_set>

#include "filenames.h"
#include "forms/fileio.h"
#include "forms/textutil.h"

namespace stellwerk {

namespace {

std::string cut(std::string s, size_t max) {
    if (s.size() > max) s.resize(max);
    return s;
}

}  // namespace

int SchemeItemForView(const std::vector<std::string>& captions, const std::string& scheme) {
    if (captions.empty()) return -1;
    for (size_t i = 0; i < captions.size(); ++i)
        if (forms::SameText(captions[i], scheme)) return int(i);
    return 0;
}

bool CaptureView(ViewerHost& viewer, const std::string& scheme, ViewRecord& out) {
    out = ViewRecord{};
    out.BackColor = 0;
    out.Zoom = 0;
    out.Lights = 0;
    if (!viewer.ObjectLoaded()) return false;
    Viewing3D v;
    if (!viewer.GetViewing3DEx(v)) return false;
    out.Vrpx = v.vrp.x, out.Vrpy = v.vrp.y, out.Vrpz = v.vrp.z;
    out.Eyex = v.eye.x, out.Eyey = v.eye.y, out.Eyez = v.eye.z;
    out.TanA = v.tanA;
    out.Parallel = v.parallel;
    out.ZRot = viewer.Phi();
    out.XRot = viewer.Psi();
    out.Zoom = viewer.Zoom();
    out.Lights = viewer.Lights() & 31;
    out.BackColor = viewer.BackColor() & 0xFFFFFF;
    if (const int mode = viewer.BackPicMode(); mode != 0) {
        out.BackImage = cut(FileUrlToPath(viewer.BackPictureURL()), kViewBackImageMax);
        out.Tiled = mode == 2;
        out.TileOffsetX = viewer.BackPicOffsetX();
        out.TileOffsetY = viewer.BackPicOffsetY();
    }
    out.Scheme = cut(scheme, kViewSchemeMax);
    return true;
}

void ApplyView(ViewerHost& viewer, const ViewRecord& view, const std::vector<std::string>& schemeCaptions,
               const std::function<void(int)>& clickScheme) {
    viewer.EnableUpdate(false);
    // The zoom is relative to the viewer's own fit of the object, which need
    // not be the one the view was saved under: it goes first, so the saved
    // view angle is the one shown.
    viewer.SetZoom(view.Zoom);
    viewer.SetViewing3DEx({{view.Vrpx, view.Vrpy, view.Vrpz}, {view.Eyex, view.Eyey, view.Eyez}, view.TanA, view.Parallel});
    viewer.SetPhi(view.ZRot);
    viewer.SetPsi(view.XRot);
    viewer.SetLights(view.Lights);
    viewer.SetBackColor(view.BackColor);
    viewer.SetBackPictureURL(view.BackImage);
    viewer.SetBackPicMode(view.BackImage.empty() ? 0 : view.Tiled ? 2 : 1);
    viewer.SetBackPicOffset(view.TileOffsetX, view.TileOffsetY);
    viewer.NotifyLightsChanged();
    const int item = SchemeItemForView(schemeCaptions, view.Scheme);
    if (item >= 0 && clickScheme) clickScheme(item);
    viewer.EnableUpdate(true);
    viewer.Refresh();
}

void SavedViews::Load(const std::string& objectPath) {
    Close();
    path_ = ChangeFileExt(objectPath, ".vad");
    ini_ = forms::IniFile(path_);
    readOnly_ = IsFileUnwritable(path_, false);
    lastView_ = ReadViewSection(ini_, kLastViewSection);
    ini_.EraseSection(kLastViewSection);
    std::unordered_set<std::string> names;
    for (const std::string& section : ini_.ReadSections()) {
        auto v = ReadViewSection(ini_, section);
        if (!v) continue;
        // Two sections naming the same view would become one on saving.
        if (names.count(forms::LowerCase(v->Name))) v->Name = cut(forms::Trim(section), kViewNameMax);
        if (!names.insert(forms::LowerCase(v->Name)).second) continue;
        views_.push_back(std::move(*v));
        sections_.push_back(section);
    }
    batch_ = ReadBatchSettings(ini_);
}

void SavedViews::Close() {
    path_.clear();
    readOnly_ = true;
    ini_ = forms::IniFile();
    views_.clear();
    sections_.clear();
    lastView_.reset();
    batch_ = BatchSettings{};
}

bool SavedViews::EnableEditing() {
    if (path_.empty()) return false;
    readOnly_ = IsFileUnwritable(path_, true);
    return !readOnly_;
}

std::vector<std::string> SavedViews::Names() const {
    std::vector<std::string> out;
    for (const auto& v : views_) out.push_back(v.Name);
    return out;
}

std::optional<ViewRecord> SavedViews::GetView(int index) const {
    if (index < 0 || size_t(index) >= views_.size()) return std::nullopt;
    return views_[size_t(index)];
}

int SavedViews::IndexOf(const std::string& name) const {
    for (size_t i = 0; i < views_.size(); ++i)
        if (forms::SameText(views_[i].Name, name)) return int(i);
    return -1;
}

bool SavedViews::update() { return ini_.UpdateFile(); }

bool SavedViews::Save() {
    if (!CanWrite()) return false;
    std::vector<std::string> erase = sections_;
    erase.push_back(kGeneralSection);
    for (const auto& v : views_) erase.push_back(v.Name);
    EraseSections(ini_, erase);
    for (const auto& v : views_) WriteNewViewSection(ini_, v, v.Name);
    sections_ = Names();
    if (views_.empty() && ini_.ReadSections().empty())
        return !forms::FileExists(path_) || forms::DeleteFileAt(path_);
    return forms::WriteFileAtomically(path_, ini_.Text());
}

std::string SavedViews::ProposeName(const std::string& prefix) const {
    for (size_t n = 1;; ++n)
        if (IndexOf(prefix + std::to_string(n)) < 0) return prefix + std::to_string(n);
}

NameProblem SavedViews::CheckNewName(const std::string& name) const {
    return CheckViewName(name, Names(), BatchNames(""));
}

bool SavedViews::AddView(ViewerHost& viewer, const std::string& scheme, const std::string& name) {
    if (!CanWrite() || CheckNewName(name) != NameProblem::None) return false;
    ViewRecord v;
    if (!CaptureView(viewer, scheme, v)) return false;
    v.Name = forms::Trim(name);
    views_.push_back(v);
    if (Save()) return true;
    views_.pop_back();
    return false;
}

bool SavedViews::UpdateView(ViewerHost& viewer, const std::string& scheme, const std::string& viewName) {
    const int i = IndexOf(forms::Trim(viewName));
    if (!CanWrite() || i < 0) return false;
    ViewRecord v;
    if (!CaptureView(viewer, scheme, v)) return false;
    v.Name = views_[size_t(i)].Name;
    views_[size_t(i)] = v;
    return Save();
}

bool SavedViews::DeleteView(int index) {
    if (readOnly_ || index < 0 || size_t(index) >= views_.size()) return false;
    sections_.push_back(views_[size_t(index)].Name);
    views_.erase(views_.begin() + index);
    return Save();
}

bool SavedViews::RenameView(int index, const std::string& newName) {
    if (readOnly_ || index < 0 || size_t(index) >= views_.size()) return false;
    std::vector<std::string> others = Names();
    others.erase(others.begin() + index);
    if (CheckViewName(newName, others, BatchNames("")) != NameProblem::None) return false;
    sections_.push_back(views_[size_t(index)].Name);
    views_[size_t(index)].Name = forms::Trim(newName);
    return Save();
}

bool SavedViews::MoveView(int from, int to) {
    const int n = int(views_.size());
    if (readOnly_ || from < 0 || from >= n || to < 0 || to >= n) return false;
    ViewRecord v = views_[size_t(from)];
    views_.erase(views_.begin() + from);
    views_.insert(views_.begin() + to, std::move(v));
    return Save();
}

bool SavedViews::ReplaceViews(std::vector<ViewRecord> views) {
    if (!CanWrite()) return false;
    // Two views of one name would share a section.
    std::unordered_set<std::string> names;
    for (const auto& v : views)
        if (forms::Trim(v.Name).empty() || !names.insert(forms::LowerCase(v.Name)).second) return false;
    for (const auto& v : views_) sections_.push_back(v.Name);
    views_ = std::move(views);
    return Save();
}

bool SavedViews::ApplyNamedView(ViewerHost& viewer, const std::string& name,
                                const std::vector<std::string>& schemeCaptions,
                                const std::function<void(int)>& clickScheme) const {
    if (name.empty()) {
        if (!lastView_) return false;
        ApplyView(viewer, *lastView_, schemeCaptions, clickScheme);
        return true;
    }
    const int i = IndexOf(name);
    if (i < 0) return false;
    ApplyView(viewer, views_[size_t(i)], schemeCaptions, clickScheme);
    return true;
}

void SavedViews::RenameSchemeInViews(const std::string& oldName, const std::string& newName) {
    for (auto& v : views_)
        if (forms::SameText(v.Scheme, oldName)) v.Scheme = cut(newName, kViewSchemeMax);
    if (!views_.empty()) Save();
}

bool SavedViews::WriteLastView(ViewerHost& viewer) {
    if (!CanWrite() || views_.empty()) return false;
    ViewRecord v;
    if (!CaptureView(viewer, "", v)) return false;
    v.Name = kLastViewSection;
    WriteViewSection(ini_, v, kLastViewSection);
    return update();
}

bool SavedViews::SetBatch(const BatchSettings& s) {
    batch_ = s;
    if (!CanWrite()) return false;
    WriteBatchSettings(ini_, s);
    return update();
}

std::vector<std::string> SavedViews::BatchNames(const std::string& first) const {
    auto names = ListBatchNames(ini_, first);
    if (first.empty()) names.erase(names.begin());
    return names;
}

std::vector<bool> SavedViews::ReadBatch(const std::string& name) const {
    return stellwerk::ReadBatch(ini_, name, Names());
}

bool SavedViews::WriteBatch(const std::string& name, const std::vector<bool>& checked) {
    if (!CanWrite() || forms::Trim(name).empty()) return false;
    std::vector<std::string> names;
    for (size_t i = 0; i < views_.size() && i < checked.size(); ++i)
        if (checked[i]) names.push_back(views_[i].Name);
    stellwerk::WriteBatch(ini_, name, names);
    return update();
}

bool SavedViews::DeleteBatch(const std::string& name) {
    if (!CanWrite() || forms::Trim(name).empty()) return false;
    stellwerk::DeleteBatch(ini_, name);
    return update();
}

NameProblem ViewEditList::Rename(int index, const std::string& text, const std::vector<std::string>& batches) {
    if (!valid(index)) return NameProblem::Empty;
    const std::string name = forms::Trim(text);
    if (name.empty()) return NameProblem::Empty;
    if (name == views_[size_t(index)].Name) return NameProblem::None;
    std::vector<std::string> others;
    for (size_t i = 0; i < views_.size(); ++i)
        if (int(i) != index) others.push_back(views_[i].Name);
    const NameProblem p = CheckViewName(name, others, batches);
    if (p != NameProblem::None) return p;
    views_[size_t(index)].Name = name;
    modified_ = true;
    return p;
}

int ViewEditList::Delete(int index) {
    if (!valid(index)) return views_.empty() ? -1 : 0;
    views_.erase(views_.begin() + index);
    modified_ = true;
    if (views_.empty()) return -1;
    return index > 0 ? index - 1 : 0;
}

int ViewEditList::MoveUp(int index) {
    if (!valid(index) || index == 0) return index;
    std::swap(views_[size_t(index)], views_[size_t(index) - 1]);
    modified_ = true;
    return index - 1;
}

int ViewEditList::MoveDown(int index) {
    if (!valid(index) || size_t(index) + 1 >= views_.size()) return index;
    std::swap(views_[size_t(index)], views_[size_t(index) + 1]);
    modified_ = true;
    return index + 1;
}

int ViewEditList::MoveTo(int index, int drop) {
    if (!valid(index)) return index;
    if (!valid(drop)) drop = int(views_.size()) - 1;
    if (drop == index) return index;
    ViewRecord v = views_[size_t(index)];
    views_.erase(views_.begin() + index);
    views_.insert(views_.begin() + drop, std::move(v));
    modified_ = true;
    return drop;
}

int ViewEditList::ChooseScheme(int index, const std::string& text, const std::vector<std::string>& captions) {
    if (!valid(index) || captions.empty()) return -1;
    const int item = SchemeItemForView(captions, forms::Trim(text));
    const std::string scheme = cut(captions[size_t(item)], kViewSchemeMax);
    if (views_[size_t(index)].Scheme != scheme) {
        views_[size_t(index)].Scheme = scheme;
        modified_ = true;
    }
    return item;
}

void ViewEditList::SetBackImage(int index, const std::string& image) {
    if (!valid(index) || forms::SameText(views_[size_t(index)].BackImage, image)) return;
    views_[size_t(index)].BackImage = cut(image, kViewBackImageMax);
    modified_ = true;
}

void ViewEditList::SetBackColor(int index, Color c) {
    if (!valid(index) || views_[size_t(index)].BackColor == c) return;
    views_[size_t(index)].BackColor = c;
    modified_ = true;
}

}  // namespace stellwerk

#include "recentfiles.h"

#include "filenames.h"
#include "forms/textutil.h"

namespace stellwerk {

void RecentFiles::SetMax(int max) {
    max_ = max < 1 ? 4 : max;
    cut();
}

void RecentFiles::cut() {
    if (files_.size() > size_t(max_)) files_.resize(size_t(max_));
}

void RecentFiles::Append(const std::string& path) {
    const std::string p = forms::Trim(path);
    if (!p.empty() && files_.size() < size_t(max_)) files_.push_back(p);
}

void RecentFiles::Opened(const std::string& path) {
    const std::string p = forms::Trim(path);
    if (p.empty()) return;
    std::erase_if(files_, [&](const std::string& f) { return forms::SameText(f, p); });
    files_.insert(files_.begin(), p);
    cut();
}

std::optional<std::string> RecentFiles::ReopenTarget(int index, const std::string& openNow,
                                                     const std::function<bool(const std::string&)>& exists) const {
    if (index < 0 || size_t(index) >= files_.size()) return std::nullopt;
    const std::string& f = files_[size_t(index)];
    if (forms::SameText(f, openNow) || !exists(f)) return std::nullopt;
    return f;
}

std::string OpenDialogFolder(const RecentFiles& recent, const std::string& savedFolder,
                             const std::string& programFolder) {
    if (!recent.Files().empty()) return FolderOf(recent.Files().front());
    if (!savedFolder.empty()) return savedFolder;
    return programFolder + "Projects\\";
}

}  // namespace stellwerk

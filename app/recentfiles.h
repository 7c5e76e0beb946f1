#pragma once
// The recent-files list of the File menu and where the open dialog starts.
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace stellwerk {

class RecentFiles {
public:
    explicit RecentFiles(int max = 4) { SetMax(max); }

    int Max() const { return max_; }
    // Below 1 gives 4; entries beyond it are dropped.
    void SetMax(int max);
    const std::vector<std::string>& Files() const { return files_; }
    // Trimmed; an empty path is not listed.
    void Append(const std::string& path);
    // An opened object: at the top, later equal entries (letter case
    // ignored) gone, the list cut to the maximum.
    void Opened(const std::string& path);
    // The file a reopen item names when it exists and is not the object
    // open now (letter case ignored).
    std::optional<std::string> ReopenTarget(int index, const std::string& openNow,
                                            const std::function<bool(const std::string&)>& exists) const;

private:
    void cut();

    int max_ = 4;
    std::vector<std::string> files_;
};

// The open dialog's folder: that of the newest recent file, else the saved
// object folder, else the program folder + "Projects\".
std::string OpenDialogFolder(const RecentFiles& recent, const std::string& savedFolder,
                             const std::string& programFolder);

}  // namespace stellwerk

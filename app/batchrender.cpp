#include "batchrender.h"

#include <algorithm>

#include "forms/textutil.h"

namespace stellwerk {

int BatchSide(std::string_view text, int current) {
    const std::optional<int32_t> v = forms::ToInt(text);
    return std::clamp(v ? *v : current, 1, kBatchMostSide);
}

std::vector<BatchTarget> BatchTargets(const std::string& folder, const std::vector<std::string>& views,
                                      const std::vector<bool>& checked, const std::string& ext) {
    std::string base = folder;
    if (!base.empty() && base.back() != '\\' && base.back() != '/') base += '\\';
    std::vector<BatchTarget> out;
    for (size_t i = 0; i < views.size() && i < checked.size(); ++i)
        if (checked[i]) out.push_back({views[i], base + views[i] + ext});
    return out;
}

std::string ExistingTargets(const std::vector<BatchTarget>& targets,
                            const std::function<bool(const std::string&)>& exists) {
    std::string list;
    for (const BatchTarget& t : targets)
        if (exists(t.file)) list += t.file + "\r";
    return list;
}

}  // namespace stellwerk

namespace stellwerk {

BatchResult RunBatch(const BatchRequest& r, BatchHost& host) {
    BatchResult result;
    if (r.targets.empty()) return result;
    const std::string existing = ExistingTargets(r.targets, [&](const std::string& f) { return host.Exists(f); });
    if (!existing.empty() && !host.AskReplace(existing)) {
        result.outcome = BatchOutcome::Declined;
        return result;
    }
    result.outcome = BatchOutcome::Rendered;
    host.Prepare(r.folder, r.width, r.height);
    host.ProcessMessages();
    for (const BatchTarget& t : r.targets) {
        host.ApplyView(t.view);
        const std::string work = host.FreshFile(r.folder);
        if (work.empty()) continue;
        // The work file goes also when the viewer or the conversion throws.
        struct Removal {
            BatchHost& host;
            const std::string& file;
            ~Removal() {
                try {
                    host.Remove(file);
                } catch (...) {
                }
            }
        } removal{host, work};
        const bool saved = host.SaveBitmap(r.quality, r.rayTrace, r.width, r.height, work);
        if (saved && host.Convert(work, t.file)) result.written.push_back(t.file);
    }
    host.ProcessMessages();
    return result;
}

}  // namespace stellwerk

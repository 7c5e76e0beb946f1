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

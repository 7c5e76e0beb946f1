#pragma once
// The rules of batch rendering: the picture size typed into the form, the
// target file of each chosen view and the question about targets that exist.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace stellwerk {

constexpr int kBatchMostSide = 2048;

// A size box's text as a side: a whole number, else `current`, clamped to
// 1..kBatchMostSide (both sides: larger pictures ask the viewer for too much).
int BatchSide(std::string_view text, int current);

struct BatchTarget {
    std::string view;
    std::string file;  // folder + view name + extension
};
// The checked views in list order; the folder ends with a separator or
// gets one.
std::vector<BatchTarget> BatchTargets(const std::string& folder, const std::vector<std::string>& views,
                                      const std::vector<bool>& checked, const std::string& ext);
// The targets that exist already, each followed by a carriage return (empty
// when none does).
std::string ExistingTargets(const std::vector<BatchTarget>& targets, const std::function<bool(const std::string&)>& exists);

}  // namespace stellwerk

#pragma once
// The rules of batch rendering: the picture size typed into the form, the
// target file of each chosen view, the question about targets that exist,
// and the run over the chosen views through a small host.
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

// What a run needs of the platform and the viewer.
class BatchHost {
public:
    virtual ~BatchHost() = default;
    virtual bool Exists(const std::string& file) = 0;
    // The yes/no question over the targets that exist; true goes on.
    virtual bool AskReplace(const std::string& existing) = 0;
    // The folder becomes current, the viewer takes the picture size.
    virtual void Prepare(const std::string& folder, int width, int height) = 0;
    virtual void ApplyView(const std::string& view) = 0;
    // A new empty name in the folder that no file has (empty on failure).
    virtual std::string FreshFile(const std::string& folder) = 0;
    virtual bool SaveBitmap(int quality, bool rayTrace, int width, int height, const std::string& file) = 0;
    virtual bool Convert(const std::string& from, const std::string& to) = 0;
    virtual void Remove(const std::string& file) = 0;
    virtual void ProcessMessages() = 0;
};

struct BatchRequest {
    std::string folder;
    std::vector<BatchTarget> targets;
    int width = 640, height = 480, quality = 0;
    bool rayTrace = false;
};

enum class BatchOutcome { NothingChecked, Declined, Rendered };
struct BatchResult {
    BatchOutcome outcome = BatchOutcome::NothingChecked;
    std::vector<std::string> written;  // targets, in list order
};

// Renders each target's view into a fresh file of the output folder and
// converts it to the target; the fresh file goes whatever happens. A view
// that fails is left out and the run goes on.
BatchResult RunBatch(const BatchRequest& request, BatchHost& host);

}  // namespace stellwerk

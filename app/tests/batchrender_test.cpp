// Batch rendering's rules: sizes typed in, targets and the existing-file list.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <stdexcept>

#include "batchrender.h"

namespace {

using namespace stellwerk;

TEST(BatchRender, SidesAreClampedBothWays) {
    const struct {
        const char* text;
        int current, want;
    } cases[] = {
        {"640", 100, 640}, {"5000", 100, 2048}, {"2048", 1, 2048}, {"0", 100, 1},     {"-5", 100, 1},
        {"", 333, 333},    {"12a", 333, 333},   {" 77 ", 1, 77},   {"", 9000, 2048}, {"99999999999", 5, 5},
    };
    for (const auto& c : cases) EXPECT_EQ(c.want, BatchSide(c.text, c.current)) << '"' << c.text << '"';
}

TEST(BatchRender, TargetsOfTheCheckedViewsAndThoseThatExist) {
    const std::vector<std::string> views = {"Front", "Top", "Side view"};
    const auto targets = BatchTargets("C:\\out", views, {true, false, true}, ".png");
    ASSERT_EQ(2u, targets.size());
    EXPECT_EQ("Front", targets[0].view);
    EXPECT_EQ("C:\\out\\Front.png", targets[0].file);
    EXPECT_EQ("C:\\out\\Side view.png", targets[1].file);
    EXPECT_EQ("C:\\out\\Top.bmp", BatchTargets("C:\\out\\", views, {false, true, false}, ".bmp")[0].file)
        << "a folder that ends with its separator keeps one";
    EXPECT_TRUE(BatchTargets("C:\\out", views, {false, false, false}, ".bmp").empty());

    const std::set<std::string> present = {"C:\\out\\Side view.png"};
    const auto exists = [&](const std::string& f) { return present.count(f) > 0; };
    EXPECT_EQ("C:\\out\\Side view.png\r", ExistingTargets(targets, exists));
    EXPECT_EQ("", ExistingTargets({targets[0]}, exists));
}

}  // namespace

namespace {

using namespace stellwerk;

// A folder of files in memory and the viewer's calls in order.
class FakeBatchHost : public BatchHost {
public:
    std::set<std::string> files;
    std::vector<std::string> calls;
    std::set<std::string> failSave, failConvert;  // by view
    bool answer = true, noFresh = false, throwConvert = false;
    std::string asked;

    bool Exists(const std::string& f) override { return files.count(f) > 0; }
    bool AskReplace(const std::string& existing) override {
        asked = existing;
        return answer;
    }
    void Prepare(const std::string& folder, int w, int h) override {
        calls.push_back("prepare " + folder + " " + std::to_string(w) + "x" + std::to_string(h));
    }
    void ApplyView(const std::string& v) override {
        view_ = v;
        calls.push_back("apply " + v);
    }
    std::string FreshFile(const std::string& folder) override {
        if (noFresh) return "";
        std::string f;
        do f = folder + "~w" + std::to_string(++n_); while (files.count(f));
        files.insert(f);
        return f;
    }
    bool SaveBitmap(int q, bool rt, int w, int h, const std::string& f) override {
        calls.push_back("save " + view_ + " q" + std::to_string(q) + (rt ? " rt " : " ") + std::to_string(w) + "x" +
                        std::to_string(h));
        if (!files.count(f)) ADD_FAILURE() << "saved into a file that is not fresh: " << f;
        return !failSave.count(view_);
    }
    bool Convert(const std::string&, const std::string& to) override {
        if (throwConvert) throw std::runtime_error("no imaging library");
        if (failConvert.count(view_)) return false;
        files.insert(to);
        return true;
    }
    void Remove(const std::string& f) override { files.erase(f); }
    void ProcessMessages() override {}

    // Work files left in the folder.
    size_t leftovers() const {
        size_t n = 0;
        for (const auto& f : files) n += f.find("~w") != std::string::npos;
        return n;
    }

private:
    std::string view_;
    int n_ = 0;
};

BatchRequest request(std::vector<bool> checked) {
    BatchRequest r;
    r.folder = "C:\\out\\";
    r.targets = BatchTargets(r.folder, {"Front", "Top", "Side"}, checked, ".png");
    r.width = 320, r.height = 200, r.quality = 2, r.rayTrace = true;
    return r;
}

TEST(BatchRun, ExistingTargetsAreAskedAbout) {
    const struct {
        std::vector<std::string> present;
        bool answer;
        BatchOutcome want;
        const char* asked;
    } cases[] = {
        {{}, false, BatchOutcome::Rendered, ""},
        {{"C:\\out\\Top.png"}, true, BatchOutcome::Rendered, "C:\\out\\Top.png\r"},
        {{"C:\\out\\Top.png", "C:\\out\\Front.png"}, false, BatchOutcome::Declined,
         "C:\\out\\Front.png\rC:\\out\\Top.png\r"},
        {{"C:\\out\\Top.bmp", "C:\\out\\Front"}, false, BatchOutcome::Rendered, ""},
    };
    for (const auto& c : cases) {
        FakeBatchHost host;
        host.files.insert(c.present.begin(), c.present.end());
        host.answer = c.answer;
        const BatchResult r = RunBatch(request({true, true, false}), host);
        EXPECT_EQ(c.want, r.outcome) << c.asked;
        EXPECT_EQ(c.asked, host.asked);
        EXPECT_EQ(c.want == BatchOutcome::Rendered ? 2u : 0u, r.written.size()) << c.asked;
        if (c.want == BatchOutcome::Declined) EXPECT_TRUE(host.calls.empty()) << "nothing rendered after no";
    }
    FakeBatchHost host;
    EXPECT_EQ(BatchOutcome::NothingChecked, RunBatch(request({false, false, false}), host).outcome);
    EXPECT_TRUE(host.calls.empty());
}

TEST(BatchRun, EachViewRenderedInOrderAndItsWorkFileRemoved) {
    FakeBatchHost host;
    host.files.insert("C:\\out\\~w1");  // a file of the user's that looks like a work file
    const BatchResult r = RunBatch(request({true, false, true}), host);
    EXPECT_EQ((std::vector<std::string>{"prepare C:\\out\\ 320x200", "apply Front", "save Front q2 rt 320x200",
                                        "apply Side", "save Side q2 rt 320x200"}),
              host.calls);
    EXPECT_EQ((std::vector<std::string>{"C:\\out\\Front.png", "C:\\out\\Side.png"}), r.written);
    EXPECT_TRUE(host.Exists("C:\\out\\~w1")) << "the user's file stays";
    EXPECT_EQ(1u, host.leftovers());
}

TEST(BatchRun, AFailedViewIsLeftOutAndLeavesNoWorkFile) {
    const struct {
        const char* what;
        std::set<std::string> failSave, failConvert;
        bool noFresh;
        std::vector<std::string> written;
    } cases[] = {
        {"save fails", {"Top"}, {}, false, {"C:\\out\\Front.png", "C:\\out\\Side.png"}},
        {"conversion fails", {}, {"Front", "Side"}, false, {"C:\\out\\Top.png"}},
        {"no work file", {}, {}, true, {}},
    };
    for (const auto& c : cases) {
        FakeBatchHost host;
        host.failSave = c.failSave, host.failConvert = c.failConvert, host.noFresh = c.noFresh;
        const BatchResult r = RunBatch(request({true, true, true}), host);
        EXPECT_EQ(BatchOutcome::Rendered, r.outcome) << c.what;
        EXPECT_EQ(c.written, r.written) << c.what;
        EXPECT_EQ(0u, host.leftovers()) << c.what;
        for (const char* v : {"Front", "Top", "Side"})
            EXPECT_NE(host.calls.end(), std::find(host.calls.begin(), host.calls.end(), std::string("apply ") + v))
                << c.what << ": the run goes on to " << v;
    }
    FakeBatchHost host;
    host.throwConvert = true;
    EXPECT_THROW(RunBatch(request({true, true, true}), host), std::runtime_error);
    EXPECT_EQ(0u, host.leftovers()) << "the work file goes when the conversion throws";
}

}  // namespace

#pragma once
// The saved views of the open object: its views file, the loaded list, the
// read-only mark, the last view, the batch settings and batches, and the
// view commands over the viewer.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "forms/inifile.h"
#include "namerules.h"
#include "viewer.h"
#include "viewsfile.h"

namespace stellwerk {

// The scheme menu item the view's scheme names (letter case ignored), else
// item 0; -1 for an empty menu.
int SchemeItemForView(const std::vector<std::string>& schemeCaptions, const std::string& scheme);

// Zero-filled record; false when object 0 is not loaded.
bool CaptureView(ViewerHost& viewer, const std::string& scheme, ViewRecord& out);
// Sets the viewing, properties and background, lets the lights follow,
// clicks the scheme item (clickScheme with its index), then updates.
void ApplyView(ViewerHost& viewer, const ViewRecord& view, const std::vector<std::string>& schemeCaptions,
               const std::function<void(int)>& clickScheme);

class SavedViews {
public:
    // The object's views file (".vad"); the mark clears only when the file
    // can be written (tested without clearing its read-only attribute).
    void Load(const std::string& objectPath);
    // Path cleared, mark set.
    void Close();
    // The user asked to edit: the writability test clearing read-only.
    bool EnableEditing();

    const std::string& Path() const { return path_; }
    bool IsReadOnly() const { return readOnly_; }
    int ReadOnlyImage() const { return readOnly_ ? 31 : -1; }
    bool CanWrite() const { return !path_.empty() && !readOnly_; }
    const std::vector<ViewRecord>& Views() const { return views_; }
    std::vector<std::string> Names() const;
    const std::optional<ViewRecord>& LastView() const { return lastView_; }
    std::optional<ViewRecord> GetView(int index) const;
    int IndexOf(const std::string& name) const;  // letter case ignored, -1 none

    // Writes every view, each under its name; sections of views renamed or
    // deleted go, the rest of the file stays. False when nothing could be
    // written (no path, read-only, or the file failed).
    bool Save();

    // Text 69 + 1, 2, ... : the first not yet a view's name.
    std::string ProposeName(const std::string& prefix) const;
    NameProblem CheckNewName(const std::string& name) const;
    // Captures and appends the view under name (already accepted) and saves.
    bool AddView(ViewerHost& viewer, const std::string& scheme, const std::string& name);
    bool UpdateView(ViewerHost& viewer, const std::string& scheme, const std::string& viewName);
    bool DeleteView(int index);
    bool RenameView(int index, const std::string& newName);
    bool MoveView(int from, int to);
    // The dialog's edited list, saved; refused when two views share a name
    // (letter case ignored) or one has none.
    bool ReplaceViews(std::vector<ViewRecord> views);
    // With a name, the first view of that name; without, the last view.
    bool ApplyNamedView(ViewerHost& viewer, const std::string& name, const std::vector<std::string>& schemeCaptions,
                        const std::function<void(int)>& clickScheme) const;
    // Views of scheme old take new (empty when it was deleted); saved.
    void RenameSchemeInViews(const std::string& oldName, const std::string& newName);
    // "<LastView>" from the viewer, when views exist.
    bool WriteLastView(ViewerHost& viewer);

    const BatchSettings& Batch() const { return batch_; }
    bool SetBatch(const BatchSettings& s);
    std::vector<std::string> BatchNames(const std::string& first) const;
    std::vector<bool> ReadBatch(const std::string& name) const;
    bool WriteBatch(const std::string& name, const std::vector<bool>& checked);
    bool DeleteBatch(const std::string& name);

private:
    bool update();

    std::string path_;
    bool readOnly_ = true;
    forms::IniFile ini_;
    std::vector<ViewRecord> views_;
    std::vector<std::string> sections_;  // view sections the file holds or held
    std::optional<ViewRecord> lastView_;
    BatchSettings batch_;
};

// The view manager dialog's working copies: every change sets modified.
class ViewEditList {
public:
    explicit ViewEditList(std::vector<ViewRecord> views) : views_(std::move(views)) {}

    const std::vector<ViewRecord>& Views() const { return views_; }
    bool Modified() const { return modified_; }

    // Trimmed, at most 50 characters; Taken when another view has it
    // (letter case ignored), the other problems of CheckViewName as well.
    NameProblem Rename(int index, const std::string& name, const std::vector<std::string>& batches);
    // Removes the view; the index then selected (the previous one, or 0;
    // -1 when none is left).
    int Delete(int index);
    // With the neighbour; the new index of the moved view.
    int MoveUp(int index);
    int MoveDown(int index);
    // Drag and drop: to the drop position, or the end when past the last.
    int MoveTo(int index, int drop);
    // The combo's trimmed text: the matching caption (letter case ignored),
    // else the first; the view takes it. Returns the caption index.
    int ChooseScheme(int index, const std::string& text, const std::vector<std::string>& captions);
    void SetBackImage(int index, const std::string& image);
    void SetBackColor(int index, Color c);

private:
    bool valid(int index) const { return index >= 0 && size_t(index) < views_.size(); }

    std::vector<ViewRecord> views_;
    bool modified_ = false;
};

}  // namespace stellwerk

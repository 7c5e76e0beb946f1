#pragma once
// The batch-render form: the chosen views of the object rendered one after
// the other by the hosted viewer into picture files of one output type, in
// a folder the user picks; named batches of views and the settings live in
// the object's views file.
#include <functional>
#include <string>

#include "batchrender.h"
#include "forms/extctrls.h"
#include "forms/form.h"
#include "forms/menus.h"
#include "forms/stdctrls.h"
#include "qivplayer_win.h"
#include "savedviews.h"

namespace stellwerk {

// The program INI section of the form's place.
constexpr char kBatchDialogSection[] = "BatchRenderDialog";

// The platform and the viewer of a run: views applied through the views
// file with the schemes menu, pictures saved by the viewer into fresh files
// of the output folder and converted by the target's extension.
class WinBatchHost : public BatchHost {
public:
    WinBatchHost(TQivPlayer& viewer, SavedViews& views, forms::MenuItem* schemes);
    bool Exists(const std::string& file) override;
    bool AskReplace(const std::string& existing) override;
    void Prepare(const std::string& folder, int width, int height) override;
    void ApplyView(const std::string& view) override;
    std::string FreshFile(const std::string& folder) override;
    bool SaveBitmap(int quality, bool rayTrace, int width, int height, const std::string& file) override;
    bool Convert(const std::string& from, const std::string& to) override;
    void Remove(const std::string& file) override;
    void ProcessMessages() override;

private:
    TQivPlayer& viewer_;
    SavedViews& views_;
    forms::MenuItem* schemes_;
};

class TFBatchRender : public forms::Form {
public:
    TFBatchRender(forms::Component* owner, SavedViews& views);
    ~TFBatchRender() override;

    // Runs the form over the viewer, the schemes menu (clicked for a view's
    // scheme) and the views menu (the views listed); true when confirmed.
    bool ExecuteBatch(TQivPlayer& viewer, forms::MenuItem* schemes, forms::MenuItem* viewsMenu);
    // The outcome of the last render (NothingChecked when none ran).
    const BatchResult& LastRun() const { return lastRun_; }

    // The output folder chooser (the folder browser unless replaced): true
    // with the folder chosen.
    std::function<bool(std::string& folder)> ChooseOutputFolder;

    forms::Panel *Panel1 = nullptr, *Panel2 = nullptr, *Panel3 = nullptr, *Panel4 = nullptr;
    forms::Label *LblWd = nullptr, *LblHt = nullptr, *LblBName = nullptr, *LblOutputFormat = nullptr;
    forms::Edit *EBmpSizeX = nullptr, *EBmpSizeY = nullptr;
    forms::RadioGroup* RGBmpQuality = nullptr;
    forms::CheckBox* ChkRayTrace = nullptr;
    forms::ComboBox *ComboFiletype = nullptr, *ComboBatchName = nullptr;
    forms::CheckListBox* ChkLBRender = nullptr;
    forms::Button *BtnSelectAll = nullptr, *BtnClearAll = nullptr, *BtnAddUpdateBatchName = nullptr,
                  *BtnDeleteBatchName = nullptr, *BtnOk = nullptr, *BtnCancel = nullptr;

    void ComboBatchNameChange();
    void BtnAddUpdateBatchNameClick();
    void BtnDeleteBatchNameClick();

private:
    void FormShow();
    void checkAll(bool on);
    std::vector<bool> checkedViews() const;
    std::vector<std::string> listedViews() const;
    void RenderBatch(const BatchSettings& s);

    SavedViews& views_;
    TQivPlayer* viewer_ = nullptr;
    forms::MenuItem* schemes_ = nullptr;
    bool confirmed_ = false, selecting_ = false;
    BatchResult lastRun_;
    std::function<void(MSG&, bool&)> savedHook_;
};

}  // namespace stellwerk

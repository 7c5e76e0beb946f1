// The forms of other units that the main form's commands show, hooked up in
// this one place: each command calls its hook, and a command whose hook is
// not set stays disabled or does nothing.
#include "mainqiv_win.h"

#include "aboutbox_win.h"
#include "batchrender_win.h"
#include "htmldialog_win.h"
#include "materialforms_win.h"

namespace stellwerk {

void TFMainqiv::connectForms() {
    // The one view manager, kept for the whole run.
    viewMgr_ = std::make_unique<TFViewMgr>(nullptr);
    RunViewManager = [this] { return viewMgr_->ManageViews(session_->Views(), session_->SchemeCaptions()); };
    // The material editor, library and colour choosers on their tool windows.
    materialForms_ = new MaterialForms(*this);
    RunWebPublish = [this] {
        TFSlideShow dialog(nullptr, *this);
        dialog.ShowModal();
        return true;
    };
    RunAbout = [] {
        TAboutBox about(nullptr);
        about.ShowModal();
    };
    RunBatchRender = [this] {
        TFBatchRender dialog(nullptr, session_->Views());
        return dialog.ExecuteBatch(*qivobj, mSchemes, mAvailViews);
    };
}

}  // namespace stellwerk

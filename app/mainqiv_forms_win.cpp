// The forms of other units that the main form's commands show, hooked up in
// this one place: each command calls its hook, and a command whose hook is
// not set stays disabled or does nothing.
#include "mainqiv_win.h"

namespace stellwerk {

void TFMainqiv::connectForms() {
    // The one view manager, kept for the whole run.
    viewMgr_ = std::make_unique<TFViewMgr>(nullptr);
    RunViewManager = [this] { return viewMgr_->ManageViews(session_->Views(), session_->SchemeCaptions()); };
    // Not there yet: RunBatchRender (batch rendering), RunWebPublish (web
    // publishing), RunAbout (the about box).
}

}  // namespace stellwerk

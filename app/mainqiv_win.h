#pragma once
// The main form: its menus (every item named as the texts expect them) and
// the hosted viewer. The rest of the window comes with its own components.
#include "forms/form.h"
#include "forms/menus.h"
#include "qivplayer_win.h"

namespace stellwerk {

class TFMainqiv : public forms::Form {
public:
    explicit TFMainqiv(forms::Component* owner);
    forms::MainMenu* MainMenu1;
    forms::PopupMenu* PopupMenuTreeView;
    TQivPlayer* qivobj = nullptr;

private:
    void FormCreate();
    forms::MenuItem* item(forms::MenuItem* parent, const char* name);
};

}  // namespace stellwerk

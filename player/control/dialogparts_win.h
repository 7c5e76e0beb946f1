// The control's own windows and interfaces of its dialogs part: the control
// bar's repeat buttons and link, and the host hooks.
#pragma once
#include "hosthooks_win.h"
#include "linkwin_win.h"
#include "qivctl_win.h"

struct CQivPlayerCtl::DialogParts {
    explicit DialogParts(CQivPlayerCtl& owner) : hooks(owner) {}
    QivHostHooksPart hooks;
    CRepeatButton repeat[3];
    CHyperLink barLink;
};

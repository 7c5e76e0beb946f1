// The control's two property pages: Options (display mode and the commands of
// the control bar) and Paths (texture path and visualization DLL). Each talks
// to the controls it edits through their IQivPlayer interface.
#pragma once
#include <windows.h>

#include "com/proppage.h"

class CQivOptionsPage : public qcom::PropertyPageBase {
public:
    CQivOptionsPage();

protected:
    void onActivated() override;
    HRESULT onApply() override;
    INT_PTR onDialogMessage(UINT msg, WPARAM wp, LPARAM lp, bool& handled) override;
};

class CQivPathsPage : public qcom::PropertyPageBase {
public:
    CQivPathsPage();

protected:
    void onActivated() override;
    HRESULT onApply() override;
    INT_PTR onDialogMessage(UINT msg, WPARAM wp, LPARAM lp, bool& handled) override;

private:
    bool filling_ = false;
};

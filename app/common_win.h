#pragma once
// The common helpers that need the platform: the program folder, dialogs,
// the screen depth and form placement.
#include <string>

#include "common.h"
#include "forms/form.h"

namespace stellwerk {

// The folder of the running program becomes the program folder.
void InitProgramFolder();
bool AskYesNo(const std::string& text, const std::string& caption);
// The colour dialog, fully open, preset with the colour.
Color ChooseColorDialog(Color colour);
// The folder browser with a button that makes a new folder; true when a
// folder was chosen (folder then holds it with a trailing "\").
bool ChooseFolder(const std::string& title, const std::string& caption, std::string& folder);
// The open dialog for a picture file, starting in the current file's folder.
std::string ChooseImageFile(int titleText, const std::string& current);
int ScreenDepth();
void SetEnabledDeep(bool enabled, forms::Control* control);
void RestoreFormPlacement(forms::Form& form, const std::string& section, bool defaultMaximised);
void SaveFormPlacement(forms::Form& form, const std::string& section);

// A control of a form, named, placed and put on its parent.
template <class T>
T* MakeControl(forms::Form* form, forms::WinControl* parent, const char* name, int x, int y, int w, int h) {
    auto* c = new T(form);
    c->SetName(name);
    c->SetBounds(x, y, w, h);
    c->SetParent(parent);
    return c;
}

}  // namespace stellwerk

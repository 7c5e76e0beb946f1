#pragma once
// The text setters, one per kind of component, and the appliers of the
// forms: each finds its components by name and gives them their texts.
#include "forms/form.h"
#include "forms/menus.h"
#include "forms/stdctrls.h"
#include "textnums.h"

namespace stellwerk {

std::string TextOf(const TextId& id);
// Label, check box, button, radio button, group box: caption, then hint.
void SetCaptionText(const TextId& id, forms::Control* c);
// Speed button, panel: the first field as hint.
void SetHintText(const TextId& id, forms::Control* c);
// The whole text as hint.
void SetWholeHint(const TextId& id, forms::Control* c);
// Caption, hint, then the items of the given numbers.
void SetRadioGroupText(const TextId& id, forms::RadioGroup* g, std::initializer_list<int> items);
// Caption, hint and a Ctrl shortcut.
void SetMenuText(const TextId& id, forms::MenuItem* item);

void ApplyMainFormTexts(forms::Form& form);
void ApplyGetNameTexts(forms::Form& form);
void ApplyPrefrencesTexts(forms::Form& form);
void ApplyViewMgrTexts(forms::Form& form);
// Also fills the form's output-type box with the six types.
void ApplyBatchRenderTexts(forms::Form& form);

// A message box with the program's title.
int ShowProgramMessage(const std::string& text, UINT flags = MB_OK | MB_ICONEXCLAMATION);

}  // namespace stellwerk

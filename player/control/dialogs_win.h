// The control's modal dialogs (information, background, general settings, the
// text entry of the HTML export, the load-object file dialog) and their
// helpers. Each dialog talks to the control only through its IQivPlayer
// interface, so that it sees what a host would see.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <string>

class CQivPlayerCtl;

// Each returns the dialog's result (IDOK, IDCANCEL; -1 when it cannot be shown).
INT_PTR ShowInfoDialog(CQivPlayerCtl* control);
INT_PTR ShowBackgroundDialog(CQivPlayerCtl* control);
INT_PTR ShowSettingsDialog(CQivPlayerCtl* control);
// The text-entry dialog 248 of the HTML export: text fills the edit field and
// OK replaces it with the field's text; Cancel leaves it.
INT_PTR ShowTextEntryDialog(HWND owner, std::string& text);
// The load-object file dialog: the chosen file is loaded and framed; true when
// that load succeeded.
bool ShowLoadObjectDialog(CQivPlayerCtl* control);

// Tells the container's in-place frame to disable (or enable again) its
// modeless dialogs while the control shows a modal one.
void EnableFrameModeless(CQivPlayerCtl* control, bool enable);

// ANSI text (length -1: up to its zero) as a BSTR; null when out of memory.
BSTR AnsiToBstr(const char* text, int length);
// BSTR as ANSI text; a null BSTR is empty.
std::string BstrToAnsi(BSTR text);
// Copies source to destination through LZ expansion (a file compressed by
// the LZ compressor is expanded, any other copied as it is). 1 when the copy
// is complete; 0 otherwise, and a destination it made is removed.
int LzCopyFile(const char* source, const char* destination);

#pragma once
// What portable parts ask of the running application: the handler of an
// exception that an event handler raised (the application's message box on
// Windows, replaceable for tests) and whether hints show shortcuts.
#include <exception>
#include <functional>

namespace forms {

using AppExceptionHandler = std::function<void(std::exception_ptr)>;
// Hands the exception to the handler; never throws.
void HandleAppException(std::exception_ptr e);
// Null restores the default (the message goes to the standard error).
void SetAppExceptionHandler(AppExceptionHandler handler);

// Help for a help context (popup: the context-help popup of a dialog that
// shows the help button). Does nothing until the program sets a handler.
using HelpHandler = std::function<void(int context, bool popup)>;
void RequestHelp(int context, bool popup);
void SetHelpHandler(HelpHandler handler);

// Hints of commands with a shortcut append it as "hint (shortcut)".
bool HintShortCuts();
void SetHintShortCuts(bool on);

}  // namespace forms

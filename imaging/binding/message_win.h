// Messages of the imaging components to the user: a message box, or a log that tests
// switch on (a function, or the file named by QIV_MESSAGE_LOG), so that no test waits on
// a modal window.
#pragma once
#include <windows.h>

#include <string>

namespace imaging {

using MessageLog = void (*)(void* context, const std::string& text);
void SetMessageLog(MessageLog log, void* context);
void ShowImagingMessage(const std::string& text);

}  // namespace imaging

// The stand-alone viewer: a top-level frame window of its own that hosts one
// viewer control, shows one object file and runs until the window is closed.
#pragma once
#include <windows.h>

// The frame's end message; the viewer's message loop stops on it.
constexpr UINT kQivViewerEndMessage = WM_USER + 666;
// Window class of the frame.
constexpr char kQivViewerFrameClass[] = "Qiv Frame";
// The control the frame creates (treat-as maps it to the current control).
constexpr wchar_t kQivViewerProgId[] = L"QivPlayer.3DView.1";

// Shows path in a frame window and returns when the window is destroyed.
void RunViewerWindow(const char* path);

// The frame's entries of the control's popup menu (the HTML export, offered while the host
// hooks allow it) and their commands; context: the control's IQivPlayer2.
void CALLBACK qivViewerAddMenuItems(void* context, HMENU menu);
void CALLBACK qivViewerMenuCommand(void* context, void* reserved, UINT id, WPARAM a, LPARAM b);

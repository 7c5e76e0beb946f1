// Stellwerk, the presentation program.
#include <windows.h>

#include "startup_win.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return stellwerk::StellwerkMain(); }

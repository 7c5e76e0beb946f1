// Exports of the installer extension library. Every export uses the
// standard calling convention; the process and number exports answer 0 for
// success and -2 for failure.
#pragma once

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

// Starts "program arguments"; the caller owns the process handle stored in
// *process and passes it back to ZellIsAppRunning / ZellEndApp.
int WINAPI ZellLaunchApp(const char* program, const char* arguments, int show, int separate, HANDLE* process);
// Starts the program and blocks until it has ended.
int WINAPI ZellLaunchAppAndWait(const char* program, const char* arguments, int show, int separate);
// 0 while the process runs, -2 otherwise; the handle stays open.
int WINAPI ZellIsAppRunning(HANDLE process);
// Ends a running process with code 0 (an ended one is left alone), stores
// its exit code and closes the handle.
int WINAPI ZellEndApp(HANDLE process, DWORD* exitCode);
// |dividend / divisor| with `decimals` (low 16 bits, signed) digits after
// `decimalChar`; -2 for a zero divisor.
int WINAPI ZellDivFormatDouble(char* out, int dividend, int divisor, int decimals, int decimalChar);
// Groups the integer part of `in` by three with `separator`; always 0.
int WINAPI ZellDelimit(char* out, const char* in, int separator, int decimalChar);

// Turns an owner-drawn list box into a check-box list; answers the list box
// or null.
HWND WINAPI CheckListBox_Subclass(HWND listBox);
// Gives the list box its own procedure back; always 1.
int WINAPI CheckListBox_Unsubclass(HWND listBox);

#ifdef __cplusplus
}
#endif

// Private list-box messages and values of the check-box list.
#define CLBM_SETCHECKMODE 0x8001
#define CLBM_GETCHECKMODE 0x8002
#define CLBM_SETCHECK 0x8003
#define CLBM_GETCHECK 0x8004
#define CLBM_SETITEMENABLED 0x8005
#define CLBM_GETITEMENABLED 0x8006
#define CLBM_SETOPTIONS 0x8007
#define CLBM_GETOPTIONS 0x8008
#define CLBM_SETCOLUMNTEXT 0x800D

#define CLBO_FIXEDCHECKS 0x1
#define CLBO_WORDWRAP 0x2
#define CLBO_COLUMNTEXT 0x4

#define CLBN_CHECKCHANGE 0x28

// Resource number of the check-box glyph bitmap.
#define IDB_CHECKGLYPHS 30996

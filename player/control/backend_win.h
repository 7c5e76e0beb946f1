// The display back end, DrawDib and the frame ticks that all controls of the process share.
#pragma once
#include <windows.h>

#include <cstdint>

// The first call starts the back end; later ones fill an unset kind (0) with the device (1)
// when there is one and the user allows it, else software (2).
void InitDisplayBackend(const char* language, int32_t* kind);
void StartDisplayBackend(const char* language, int32_t* kind);
// After a display change, under the render lock: DrawDib reopened, the back end started
// again; a kind that was set becomes software.
void RestartDisplayBackend(int32_t* kind);
bool qivHardwareDeviceAvailable();

// One tick (WM_TIMER 50) for the window from the process's 5 ms thread timer.
void RequestFrameTick(HWND window);
void CALLBACK FrameTickProc(HWND, UINT, UINT_PTR, DWORD);
void RemoveFrameTick(HWND window);
// The detach steps of the back end, DrawDib, frame ticks and shared lights.
void qivInstallBackendDetachSteps();

// DrawDib: loaded when not open (a failed load is tried again on the next call), opened and
// closed; unloaded with the back end at process detach.
void LoadDrawDib();
bool OpenDrawDib();
void CloseDrawDib();
void UnloadDrawDib();
bool qivDrawDibOpen();
void qivSetDrawDibFault(bool fail);  // tests: opening fails while set

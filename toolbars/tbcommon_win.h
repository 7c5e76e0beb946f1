#pragma once
// The toolbar framework's system helpers (Windows layer): versions,
// monitors and work areas, text measuring with accelerator prefixes,
// rotated text, the dither brush and drag frames, regions, printing a
// window for WM_PRINT, queue helpers, mouse-leave tracking, the menu font.
#include <windows.h>

#include <functional>
#include <string>

namespace toolbars {

bool IsXPOrLater();
int WindowsMajorVersion();

RECT PrimaryMonitorRect(bool workArea);
bool MultipleMonitors();
RECT MonitorRectOfRect(const RECT& r, bool workArea);
RECT MonitorRectOfPoint(POINT p, bool workArea);

int TextHeightOf(HDC dc);
// The extent of a text; with stripPrefixes every single "&" is removed.
int TextWidthOf(HDC dc, const std::string& text, bool stripPrefixes);
// A copy of the selected font running downwards (escapement 2700).
HFONT MakeRotatedFont(HDC dc);
// Centred in the rectangle with the rotated font; the accelerator is
// underlined unless flags hold DT_HIDEPREFIX.
void DrawRotatedCaption(HDC dc, const std::string& text, const RECT& r, UINT flags);

// An 8 x 8 checkerboard pattern brush (0x55/0xAA rows).
HBRUSH MakeDitherBrush();
// The frame between a rectangle and the rectangle shrunk by the sizes, in
// XOR mode: the old frame is erased and the new one drawn in one pass.
void DrawDitherFrame(HDC dc, const RECT* newRect, const RECT* oldRect, SIZE newSize, SIZE oldSize);
HRGN MakeEmptyRegion();
// A real region (not 0 or 1) becomes the clip region, in window coordinates.
void ClipToUpdateRegion(HWND wnd, HDC dc, HRGN region);
// WM_PRINT handling: non-client part through the painter, then erase,
// client and children (and owned windows) as the flags ask.
void PrintWindowInto(HWND wnd, HDC dc, UINT flags, const std::function<void(HDC)>& ncPainter);

void DispatchPendingPaints();
void DiscardMessages(UINT first, UINT last);

// TrackMouseEvent, looked up once (reference counted).
void LoadMouseTracking();
void ReleaseMouseTracking();
bool StartMouseTracking(HWND wnd, DWORD flags);
bool HasActiveWindow();

// The framework's menu font (the system's menu font); re-made by
// RefreshMenuFont after a settings change.
HFONT TBMenuFont();
void RefreshMenuFont();

}  // namespace toolbars

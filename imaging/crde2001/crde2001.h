// The call interface of CRDE2001.DLL: procedure types (all stdcall, exported by these
// undecorated names), the values they exchange and the annotation messages. Shared by
// the DLL and the binding. Readers and writers answer a 16-bit status, 1 or more on
// success (imaging/core/status.h); the text of a status is string number (code as a
// 16-bit number) of the DLL's string table.
#pragma once
#include <windows.h>

#include <cstdint>

extern "C" {

// Progress of a long call, percent 0-100; the callee answers 0 to cancel (the call then
// answers status 0). `control` is the owning control given to the call.
typedef int(WINAPI* CrdeProgress)(void* control, int percent);

// The values fileinfo and getinfo give.
struct CrdeInfo {
    int32_t width;
    int32_t height;
    int16_t bits;          // bits per pixel of the file
    int16_t colours;       // colour table entries, 0 for true colour
    uint16_t compression;  // the format's own code (TIFF: 1, 2, 3, 4, 5, 7, 32773 ...)
    int16_t pages;         // pages of a TIFF file, else 1
};

constexpr int kCrdeTypeLength = 8;    // type text out: at least this many characters
constexpr int kCrdeInfoLength = 256;  // info text out: at least this many characters

// Colour-depth requests of the readers: 0 the file's own, else 1, 4, 8, 16, 24 or 32.
// Dither codes: 0 none, 1 ordered (Bayer), 2 Burkes, 3 Floyd-Steinberg, 4 grey levels.
typedef short(WINAPI* CrdeFileInfo)(const char* name, char* type, CrdeInfo* values, void* control, CrdeProgress progress,
                                    char* info, short zero);
// Status: the page count (1 or more) on success.
typedef short(WINAPI* CrdeGetInfo)(const char* name, short page, CrdeInfo* values, WORD* compression,
                                   CrdeProgress progress, void* control);
typedef short(WINAPI* CrdeReadPcd)(const char* name, int depth, int dither, short resolution, HGLOBAL* dib, void* control,
                                   CrdeProgress progress, short zero);
// scale: 1, 2, 4 or 8 reads at that fraction of the size.
typedef short(WINAPI* CrdeReadJpg)(const char* name, int depth, int scale, int dither, HGLOBAL* dib, HPALETTE palette,
                                   void* control, CrdeProgress progress, short zero);
// BMP, PNG, PCX, GIF. With a palette and a depth of 8 or less, the picture takes its colours.
typedef short(WINAPI* CrdeReadPal)(const char* name, int depth, int dither, HGLOBAL* dib, HPALETTE palette,
                                   void* control, CrdeProgress progress, short zero);
typedef short(WINAPI* CrdeReadTiff)(const char* name, int depth, int dither, short page, HGLOBAL* dib, void* control,
                                    CrdeProgress progress, short zero);
// TGA, EPS.
typedef short(WINAPI* CrdeRead)(const char* name, int depth, int dither, HGLOBAL* dib, void* control,
                                CrdeProgress progress, short zero);
typedef short(WINAPI* CrdeReadDxf)(const char* name, int width, int height, HBITMAP* bitmap, HPALETTE* palette,
                                   void* control, CrdeProgress progress, short zero);
typedef short(WINAPI* CrdeGetDxfInfo)(const char* name, int* width, int* height, int* units);
// Writers take the depth to store (0: the picture's own) and never change the DIB.
// BMP, PCX, GIF.
typedef short(WINAPI* CrdeWrite)(const char* name, int bits, HGLOBAL dib, void* control, CrdeProgress progress,
                                 short zero);
typedef short(WINAPI* CrdeWritePng)(const char* name, int bits, int interlaced, HGLOBAL dib, void* control,
                                    CrdeProgress progress, short zero);
// bits 1-8 write a grey JPEG, 0 or more a colour one.
typedef short(WINAPI* CrdeWriteJpg)(const char* name, int quality, int smoothing, short bits, HGLOBAL dib,
                                    void* control, CrdeProgress progress, short zero);
// rle: 0 plain, 1 run-length; id: the image ID text or null.
typedef short(WINAPI* CrdeWriteTga)(const char* name, int bits, int rle, const char* id, HGLOBAL dib, void* control,
                                    CrdeProgress progress, short zero);
// append: non-zero adds the page to an existing TIFF file.
typedef short(WINAPI* CrdeWriteTiff)(const char* name, int compression, short bits, int append, HGLOBAL dib,
                                     void* control, CrdeProgress progress, short zero);
// DIB1to4 ... DIB32To24: a new DIB, 0 on failure.
typedef HGLOBAL(WINAPI* CrdeConvert)(HGLOBAL dib);
// A locked packed DIB (any layout a BMP may hold, run-length ones too) as a bitmap of
// the screen and the palette of its colour table (null for true colour).
typedef short(WINAPI* CrdeDibToDdb)(const void* dib, HPALETTE* palette, HBITMAP* bitmap);
// A bitmap (with its palette, or null) as a new DIB; 0 on failure.
typedef HGLOBAL(WINAPI* CrdeDdbToDib)(HBITMAP bitmap, HPALETTE palette);

// Annotations: one set per control (the `control` argument), kept per page.
struct CrdeAnnoCallbacks {
    // A new annotation is finished (its index on the page).
    void(WINAPI* done)(void* owner, int index);
    // Drawing on the control's window: TRUE when the owner drew annotation `index` itself.
    BOOL(WINAPI* customDraw)(void* owner, HDC dc, int index);
    // The same for DrawAnnotationX (another device).
    BOOL(WINAPI* hardDraw)(void* owner, HDC dc, int index);
    void(WINAPI* before)(void* owner, HDC dc);
    void(WINAPI* after)(void* owner, HDC dc);
};
// Mouse messages (WM_LBUTTONDOWN ... WM_MOUSEMOVE) with their position in the window;
// for WM_RBUTTONDOWN the word parameter is the menu-off flag. Answers 1 when taken.
typedef int(WINAPI* CrdeMouseMon)(void* control, UINT message, WPARAM wParam, LPARAM lParam);
// windows[0]: the annotation edit window, windows[1]: the annotation view window.
typedef short(WINAPI* CrdeInitAnnotation)(void* control, HWND window, void* owner, const char* iniFile,
                                          const CrdeAnnoCallbacks* callbacks, HWND* windows);
typedef short(WINAPI* CrdeControlProc)(void* control);  // DestroyAnnotation, ClearAnnotation, RubberBandOFF
// The whole picture's rectangle on the device and the picture's size; page and flags
// (kCrdeDrawSelection) are 16-bit.
typedef short(WINAPI* CrdeDrawAnnotationX)(void* control, HDC dc, int destLeft, int destTop, int destWidth,
                                           int destHeight, int picWidth, int picHeight, short page, short flags);
typedef short(WINAPI* CrdeDrawAnnotation)(void* control, int destLeft, int destTop, int destWidth, int destHeight,
                                          int picWidth, int picHeight, short page, short flags);
typedef short(WINAPI* CrdeMenuMsg)(void* control, int command);
typedef short(WINAPI* CrdeAnnotationFile)(void* control, short page, const char* file);

constexpr short kCrdeDrawSelection = 1;

// Menu commands of the annotation menu (MenuMsg; WM_COMMAND of the popup the library
// shows on a right press).
enum : int {
    kAnnoCmdSelect = 0x6A00,
    kAnnoCmdLine,
    kAnnoCmdRect,
    kAnnoCmdEllipse,
    kAnnoCmdMark,
    kAnnoCmdText,
    kAnnoCmdDelete = 0x6A10,
    kAnnoCmdClearPage,
    kAnnoCmdColourFirst = 0x6A20,  // red, green, blue, yellow, black, white
    kAnnoCmdColourLast = 0x6A25,
    kAnnoCmdWidthFirst = 0x6A30,  // pen widths 1, 2, 4, 8
    kAnnoCmdWidthLast = 0x6A33,
};

// Messages the display control posts to the annotation windows.
enum : UINT {
    kAnnoMsgRefresh = 1038,    // view window: the layout changed, draw again
    kAnnoMsgEditMode = 1039,   // edit window: wParam 1 editing on, 0 off
    kAnnoMsgDone = 1040,       // edit window: the new annotation (wParam its index) is taken
    kAnnoMsgKey = 1041,        // edit window: a key (wParam the key code)
    kAnnoMsgRelease = 1043,    // edit window: a mouse button was released
    kAnnoMsgMove = 1044,       // edit window: the mouse moved
    kAnnoMsgSelect = 1045,     // edit window: select annotation wParam
    kAnnoMsgClicked = 0x601,   // to the control's window: wParam index, lParam 1 (an annotation was clicked)
};

}  // extern "C"

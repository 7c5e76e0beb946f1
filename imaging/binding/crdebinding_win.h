// Binding of CRDE2001.DLL: finding and loading the library, binding its procedures once,
// the reader and writer wrappers, status and error texts, depth changes and the way from
// DIB handles to bitmaps and back.
#pragma once
#include <windows.h>

#include <string>

#include "crde2001.h"
#include "depthhelpers.h"
#include "errorinvalid.h"
#include "faultguard_win.h"
#include "message_win.h"

namespace imaging {

constexpr char kCrdeLibrary[] = "CRDE2001.DLL";
constexpr char kRestartAdvice[] =
    "An exception error occured in the imaging dll. We recommend to exit the application and to restart it by "
    "clicking its icon!";
constexpr char kUnknownDllError[] = "Unknown error in imaging Dll";

// Binds `procedure` of the CRDE side's library (loaded on the first call through the
// search order, then kept for the whole run). False when the procedure is missing or
// the library is not a CRDE library; ErrorInvalid when no attempt loaded it.
bool BindCrdeProc(const char* library, const char* procedure, FARPROC& out);
template <class P>
bool BindCrde(const char* procedure, P& out) {
    FARPROC p = nullptr;
    if (!BindCrdeProc(kCrdeLibrary, procedure, p)) return false;
    out = reinterpret_cast<P>(reinterpret_cast<void*>(p));
    return true;
}
// The library's module (null while not loaded).
HMODULE CrdeModule();
// End of the run: frees the libraries of both sides and clears their handles.
void FreeImagingLibraries();

// The file opens read-only with shared access and holds at least 30 bytes.
bool IsUsableImageFile(const std::string& file);

// The last status of the library and its text.
void StoreDllError(int code);
int LastDllErrorCode();
const std::string& LastDllErrorText();
// Sets the last error text alone (the DIB-to-bitmap path's own failures).
void SetLastDllErrorText(const std::string& text);

// The palette passed to the readers that take one (null unless set); not owned.
void SetSharedPalette(HPALETTE palette);
HPALETTE SharedPalette();

// Runs one call of the library with faults caught: a fault shows the restart advice
// and answers false.
template <class F>
bool CallLibrary(F&& f);

// Readers: the file into a new DIB handle (the caller frees it). False when the
// procedure is missing, the file is not usable (nothing asked, nothing stored), the
// call faulted or its status was 0 or below (kept through StoreDllError).
bool DllReadBmp(const std::string& file, int depth, int dither, CrdeProgress progress, void* control, HPALETTE palette,
                HGLOBAL& dib);
bool DllReadPng(const std::string& file, int depth, int dither, CrdeProgress progress, void* control, HPALETTE palette,
                HGLOBAL& dib);
bool DllReadPcx(const std::string& file, int depth, int dither, CrdeProgress progress, void* control, HPALETTE palette,
                HGLOBAL& dib);
bool DllReadGif(const std::string& file, int depth, int dither, CrdeProgress progress, void* control, HPALETTE palette,
                HGLOBAL& dib);
bool DllReadJpg(const std::string& file, int depth, int dither, CrdeProgress progress, void* control, HPALETTE palette,
                HGLOBAL& dib);
bool DllReadTiff(const std::string& file, int depth, int dither, int page, CrdeProgress progress, void* control,
                 HGLOBAL& dib);
bool DllReadPcd(const std::string& file, int depth, int dither, int resolution, CrdeProgress progress, void* control,
                HGLOBAL& dib);
bool DllReadTga(const std::string& file, int depth, int dither, CrdeProgress progress, void* control, HGLOBAL& dib);
bool DllReadEps(const std::string& file, int depth, int dither, CrdeProgress progress, void* control, HGLOBAL& dib);
bool DllReadDxf(const std::string& file, int width, int height, CrdeProgress progress, void* control, HBITMAP& bitmap,
                HPALETTE& palette);
bool DllGetDxfInfo(const std::string& file, int& width, int& height, int& units);

// Writers: a DIB handle (left as it is) to a file.
bool DllWriteBmp(const std::string& file, int bits, HGLOBAL dib, CrdeProgress progress, void* control);
bool DllWritePcx(const std::string& file, int bits, HGLOBAL dib, CrdeProgress progress, void* control);
bool DllWriteGif(const std::string& file, int bits, HGLOBAL dib, CrdeProgress progress, void* control);
bool DllWritePng(const std::string& file, int bits, bool interlaced, HGLOBAL dib, CrdeProgress progress, void* control);
bool DllWriteJpg(const std::string& file, int quality, int smoothing, int bits, HGLOBAL dib, CrdeProgress progress,
                 void* control);
bool DllWriteTga(const std::string& file, int bits, HGLOBAL dib, CrdeProgress progress, void* control);
bool DllWriteTiff(const std::string& file, int compression, int bits, bool append, HGLOBAL dib, CrdeProgress progress,
                  void* control);

// What a file holds: its type text ("bmp", "jpg" ...), values and info text.
bool DllFileInfo(const std::string& file, std::string& type, CrdeInfo& values, void* control, CrdeProgress progress,
                 std::string& info);
// A TIFF page's values, its compression code and the file's page count.
bool DllGetInfo(const std::string& file, int page, CrdeInfo& values, int& compression, int& pages,
                CrdeProgress progress, void* control);

// One of DIB1to4, DIB1To8, DIB1To24, DIB4To8, DIB4To24, DIB16To24, DIB32To24: a new DIB
// handle, null on failure.
HGLOBAL DllConvertDepth(const char* procedure, HGLOBAL dib);
bool DllDibToDdb(const void* lockedDib, HPALETTE& palette, HBITMAP& bitmap);
// A bitmap and its palette through the library's conversion: a new DIB handle or null.
HGLOBAL DllDdbToDib(HBITMAP bitmap, HPALETTE palette);

// Frees a DIB handle whose block is above 1 byte: unlocked fully, then freed.
void FreeDibHandle(HGLOBAL& dib);
// A copy of a logical palette (null for null).
HPALETTE DuplicatePalette(HPALETTE palette);

// More colours (status "Increasing colors "): 1 to 4, 8 or 24 bits, 4 to 8 or 24, 8 to
// 24 (own code), 16 to 24; nothing for 24 and 32 bits or a target not above the
// picture's depth. The handle is replaced (the old block freed). ErrorInvalid "Input
// image is empty" for an empty block.
void IncreaseColors(HGLOBAL& dib, int targetBits);
// The 8 to 24-bit step alone: ErrorInvalid "Input image is not 8 bit" for another depth.
HGLOBAL Dib8To24(HGLOBAL dib);
// Fewer colours (status "Reducing colors "): 32 bits through DIB32To24, else ReduceDib
// of ISP2000.DLL. The handle is replaced. False when the library failed.
bool ReduceColors(HGLOBAL& dib, int targetBits, int dither, void* control, CrdeProgress progress);

// A platform bitmap with its palette, owned.
class ImagingBitmap {
public:
    ImagingBitmap() = default;
    ImagingBitmap(HBITMAP bitmap, HPALETTE palette) : bitmap_(bitmap), palette_(palette) {}
    ~ImagingBitmap() { reset(); }
    ImagingBitmap(ImagingBitmap&& o) noexcept : bitmap_(o.bitmap_), palette_(o.palette_) { o.bitmap_ = nullptr, o.palette_ = nullptr; }
    ImagingBitmap& operator=(ImagingBitmap&& o) noexcept;
    HBITMAP bitmap() const { return bitmap_; }
    HPALETTE palette() const { return palette_; }
    void reset();

private:
    HBITMAP bitmap_ = nullptr;
    HPALETTE palette_ = nullptr;
};

// A DIB handle as a bitmap at `bits` per pixel (0: as it is): run-length DIBs through
// DibtoDdb, others reduced or expanded, then copied into a DIB section made on the
// active window's device context. The palette: a copy of the shared one when set, else
// of the DIB's. False with the last error text set when the copy fails.
bool DibToBitmap(HGLOBAL dib, int bits, int dither, void* control, CrdeProgress progress, ImagingBitmap& out);

// The picture types of the bitmap readers.
enum class ImageKind { Bmp, Jpeg, Png, Gif, Pcx, Tiff, Tga, Pcd, Eps };
// Reads a file as a bitmap: the reader of its kind into a DIB handle (page: the TIFF
// page or the Photo CD resolution), then DibToBitmap at the same depth; the DIB freed.
bool DllReadBitmap(ImageKind kind, const std::string& file, int depth, int dither, int page, CrdeProgress progress,
                   void* control, ImagingBitmap& out);

// A graphic to save: a bitmap and its palette (either may be null).
struct ImagingGraphic {
    HBITMAP bitmap = nullptr;
    HPALETTE palette = nullptr;
};
// Savers: the graphic through the library's conversion into a DIB handle, the writer,
// the DIB freed. ErrorInvalid "Input image is empty" for a missing graphic, a failed
// conversion or a block of 4 bytes or less.
bool SaveGraphicAsBmp(const std::string& file, int bits, const ImagingGraphic* graphic, CrdeProgress progress,
                      void* control);
bool SaveGraphicAsPcx(const std::string& file, int bits, const ImagingGraphic* graphic, CrdeProgress progress,
                      void* control);
bool SaveGraphicAsGif(const std::string& file, int bits, const ImagingGraphic* graphic, CrdeProgress progress,
                      void* control);
bool SaveGraphicAsPng(const std::string& file, int bits, bool interlaced, const ImagingGraphic* graphic,
                      CrdeProgress progress, void* control);
bool SaveGraphicAsJpg(const std::string& file, int quality, int smoothing, int bits, const ImagingGraphic* graphic,
                      CrdeProgress progress, void* control);
bool SaveGraphicAsTga(const std::string& file, int bits, const ImagingGraphic* graphic, CrdeProgress progress,
                      void* control);
bool SaveGraphicAsTiff(const std::string& file, int compression, int bits, bool append, const ImagingGraphic* graphic,
                       CrdeProgress progress, void* control);

// The screen depth of the active window's device (ScreenDepthFor).
int ScreenColorDepth();

template <class F>
bool CallLibrary(F&& f) {
    if (Guarded(f)) return true;
    ShowImagingMessage(kRestartAdvice);
    return false;
}

}  // namespace imaging

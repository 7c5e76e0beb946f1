// TPMultiImage: the image display control. Loads a picture file by its extension through
// the imaging libraries, shows it plain, centred, stretched, ratio-fitted, tiled or zoomed
// with scroll bars, pans with the grab hand, selects with the rubber band, brings new
// pictures in with a transition, draws an overlay text and the annotations, and exchanges
// the picture with the clipboard. The view arithmetic lives in displayview.h.
#pragma once
#include <windows.h>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "crdebinding_win.h"
#include "displayrules.h"
#include "displayview.h"
#include "forms/controls.h"
#include "forms/graphics.h"
#include "forms/stdctrls.h"
#include "rubberband.h"
#include "tickers.h"

namespace imaging {

enum TSortDither { IL_BAYER, IL_BURKES, IL_FLOYD, IL_GRAYSCALE };
enum TPCDMode { pcd_BASE16, pcd_BASE4, pcd_BASE };
enum TBlitMode { sLight, sDark, sLightest };
enum TFXMethod { FXNone, FXHorizontal, FXVertical, FXDiagonal, FXDiagonalSquares, FXRectangles };

// Clipboard commands the control takes as messages.
constexpr UINT kMsgCut = WM_CUT, kMsgCopy = WM_COPY, kMsgPaste = WM_PASTE;
// The ticks of the scrolling message and of the credit message.
constexpr UINT kMsgScrollTick = 0x401, kMsgCreditTick = 0x402;
// The control's own tick interval while a ticker runs, in milliseconds.
constexpr UINT kTickerInterval = 15;

// What the last load found out about the file.
struct ImageInfo {
    std::string type;
    int width = 0, height = 0, bits = 0;
    int value1 = 0, value2 = 0;  // the library's colour count and compression code
    std::string info;
    int64_t fileSize = 0;
    int tiffPages = 0;
};

using ProgressEvent = std::function<void(forms::Component* sender, int percent, bool& cancel, const std::string& status)>;
using PaintAreaEvent = std::function<void(forms::Component* sender, int left, int bottom, int right, int top)>;
using RubberbandEvent = std::function<void(forms::Component* sender, forms::MouseButton button, forms::ShiftState shift,
                                           int left, int top, int right, int bottom)>;
using IlibErrorEvent = std::function<void(forms::Component* sender, int16_t code, const std::string& text)>;
using AnnoClickEvent = std::function<void(forms::Component* sender, int value, bool kindOne)>;
using AnnoDoneEvent = std::function<void(forms::Component* sender, int index)>;
using AnnoDrawEvent = std::function<bool(forms::Component* sender, HDC dc, int index)>;
using AnnoDcEvent = std::function<void(forms::Component* sender, HDC dc)>;

class TPMultiImage : public forms::CustomControl {
public:
    explicit TPMultiImage(forms::Component* owner);
    ~TPMultiImage() override;

    static constexpr const char* Version = "2.0";

    // The picture; a change made through it is announced with Changed().
    forms::Bitmap& Picture() { return picture_; }
    const forms::Bitmap& Picture() const { return picture_; }
    void ClearPicture();
    const ImageInfo& Info() const { return info_; }
    // A metafile or icon shown by the platform (null otherwise).
    HENHMETAFILE Metafile() const { return metafile_; }
    HICON Icon() const { return icon_; }
    // Whether the scrolling or the credit message runs.
    bool TickerRunning() const { return scroll_.has_value() || credit_.has_value(); }

    const std::string& ImageName() const { return imageName_; }
    // Loads the file (a missing one clears the picture silently).
    void SetImageName(const std::string& file);
    std::string DefSaveFilename;

    // Layout.
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool on);
    bool Center() const { return options_.center; }
    void SetCenter(bool on);
    bool Stretch() const { return options_.stretch; }
    void SetStretch(bool on);
    bool StretchRatio() const { return options_.stretchRatio; }
    void SetStretchRatio(bool on);
    bool Scrolling() const { return options_.scrolling; }
    void SetScrolling(bool on);
    bool ShowScrollbars() const { return options_.showScrollbars; }
    void SetShowScrollbars(bool on);
    int ScrollbarWidth() const { return options_.scrollbarWidth; }
    void SetScrollbarWidth(int w);
    bool TileWindow() const { return tile_; }
    void SetTileWindow(bool on);
    enum class Border { None, Single };
    Border BorderStyle() const { return border_; }
    void SetBorderStyle(Border b);
    int ZoomBy = 10;
    double Zoom() const { return view_.zoom(); }
    void SetZoom(double zoom);
    Point Origin() const { return view_.origin(); }
    void SetOrigin(Point p);
    // Whether the scroll bars show now.
    bool ScrollbarsShown() const { return layout_.shown; }
    forms::ScrollBar* HorzBar() const { return hBar_; }
    forms::ScrollBar* VertBar() const { return vBar_; }

    // Reading and writing.
    TLoadResolution ImageReadRes = lAutoMatic;
    TSaveResolution ImageWriteRes = sAutoMatic;
    int ImageDither = 0;
    TSortDither ReduceDither = IL_BAYER;
    TTiffCompression TifSaveCompress = sNONE;
    int TiffPage = 0;
    bool TiffAppend = false;
    int JPegSaveQuality() const { return jpegQuality_; }
    void SetJPegSaveQuality(int q) { jpegQuality_ = StoredJpegQuality(q); }
    int JPegSaveSmooth() const { return jpegSmooth_; }
    void SetJPegSaveSmooth(int s) { jpegSmooth_ = StoredJpegSmooth(s); }
    bool PNGInterLaced = false;
    TPCDMode PCDMode = pcd_BASE4;
    TBlitMode BlitMode() const { return blitMode_; }
    void SetBlitMode(TBlitMode m);
    bool ILUndo = true;
    forms::TColor RotateBackColor = forms::clBtnFace;
    bool P_Begin_End_Doc = true;

    // Transitions.
    TFXMethod FXMethod = FXNone;
    int FXDelay = 25;
    int FXColRowThick = 4;

    // Overlay text.
    // (These hide the control's caption, which the control does not use.)
    const std::string& Text() const { return text_; }
    void SetText(const std::string& t);
    int TextLeft() const { return textLeft_; }
    int TextTop() const { return textTop_; }
    void SetTextPos(int left, int top);
    int TextRotate() const { return textRotate_; }
    void SetTextRotate(int degrees);
    bool TextShadow() const { return textShadow_; }
    void SetTextShadow(bool on);
    forms::TColor TextShadowColor() const { return shadowColor_; }
    void SetTextShadowColor(forms::TColor c);
    bool TextTransParent() const { return textTransparent_; }
    void SetTextTransParent(bool on);

    // Annotations and the mouse.
    bool AutoLoadAnno = false;
    bool AutoSaveAnno = false;
    std::string AnnoFileName;
    bool AnnoMenuEnable() const { return !annoMenuOff_; }
    void SetAnnoMenuEnable(bool on) { annoMenuOff_ = !on; }
    bool EditAnnotat() const { return editAnno_; }
    void SetEditAnnotat(bool on);
    bool AllowRubberBand = false;
    forms::MouseButton RubberBandBtn = forms::MouseButton::Left;
    int GrabHandCursor() const { return grabIndex_; }
    void SetGrabHandCursor(int index);
    HCURSOR GrabCursorHandle() const { return grabCursor_; }
    // The annotation file of the current picture (AnnotationFileFor).
    std::string AnnotationFile() const;
    // The annotation settings file: il_anno.ini in the user's application-data folder.
    static std::string AnnotationSettingsFile();
    bool LoadAnnotations(int page);
    bool SaveAnnotations(int page);
    // The two windows the annotation library gave (null before the window exists).
    HWND AnnoEditWindow() const { return annoWindows_[0]; }
    HWND AnnoViewWindow() const { return annoWindows_[1]; }

    // Saving: the picture as a BMP file at the depth for "bmp" and ImageWriteRes.
    bool SaveAsBmp(const std::string& file = {});
    // OnProgress with the status text; false when the handler cancelled.
    bool ReportProgress(int percent);
    // OnIlibError with the library's last error, or ErrorInvalid without a handler.
    void ReportDllError();
    // The undo chain: the newest first.
    static constexpr int kUndoDepth = 4;
    int UndoCount() const;
    bool Undo();

    // The progress callback the library calls with the control as context.
    static int WINAPI ProgressCallback(void* control, int percent);

    forms::NotifyEvent OnPictureChanged, OnPaint, OnFinishedLoadSave;
    ProgressEvent OnProgress;
    PaintAreaEvent OnPaintArea;
    RubberbandEvent OnRubberband;
    IlibErrorEvent OnIlibError;
    AnnoDoneEvent OnAnnoDone;
    AnnoClickEvent OnAnnoClick;
    AnnoDrawEvent OnCustomAnnotationDraw, OnCustomAnnotationHardDraw;
    AnnoDcEvent OnBeforeAnnotationDraw, OnAfterAnnotationDraw;

    bool HandleMessage(win::Message& m) override;

protected:
    void FillCreateParams(forms::CreateParams& p) override;
    void HandleCreated() override;
    void Resized() override;
    void Paint(forms::Canvas& canvas) override;

private:
    Size pictureSize() const { return {picture_.Width(), picture_.Height()}; }
    Size controlSize() const { return {ClientWidth(), ClientHeight()}; }
    void pictureChanged();
    void layoutScrollbars();
    void placeBar(forms::Control* c, const BarPlace& p);
    void keepForUndo();
    // Draws the picture as the current settings show it (the whole client).
    void drawPicture(HDC dc, const forms::Rect& client);
    void drawOverlayText(HDC dc);
    void drawAnnotations(HDC dc);
    void playTransition(HBITMAP incoming);
    bool readResource(const std::string& file);
    bool readPlatformPicture(const std::string& file, const std::string& ext);
    void dropPlatformPicture();
    void drawPlatformPicture(HDC dc, const forms::Rect& client);
    void startTicker(const std::string& file, bool credit);
    void stopTicker();
    void drawTicker(HDC dc, const forms::Rect& client);
    bool readPicture(const std::string& file, const std::string& ext, ImagingBitmap& out);
    bool getImageInfo(const std::string& file, const std::string& ext);
    void drawBand();
    bool onMouse(win::Message& m);
    bool copyToClipboard();
    bool pasteFromClipboard();

    forms::Bitmap picture_;
    std::string imageName_;
    ImageInfo info_;
    bool newLoad_ = false;
    bool autoSize_ = false;
    DisplayOptions options_;
    bool tile_ = false;
    Border border_ = Border::None;
    DisplayView view_;
    ScrollLayout layout_;
    int jpegQuality_ = 25, jpegSmooth_ = 0;
    TBlitMode blitMode_ = sLight;
    std::string text_;
    int textLeft_ = 0, textTop_ = 0, textRotate_ = 0;
    bool textShadow_ = false, textTransparent_ = true;
    forms::TColor shadowColor_ = forms::clBlack;
    bool editAnno_ = false, annoMenuOff_ = false, annoReady_ = false;
    HWND annoWindows_[2] = {nullptr, nullptr};
    int grabIndex_ = 5;
    HCURSOR grabCursor_ = nullptr;
    RubberBand band_;
    forms::MouseButton bandButton_ = forms::MouseButton::Left;
    bool panning_ = false;
    Point lastMouse_{};
    HCURSOR cursorBeforePan_ = nullptr;
    std::array<std::unique_ptr<forms::Bitmap>, kUndoDepth> undo_;
    forms::ScrollBar* vBar_ = nullptr;
    forms::ScrollBar* hBar_ = nullptr;
    forms::Panel* corner_ = nullptr;
    bool inLayout_ = false;
    HENHMETAFILE metafile_ = nullptr;
    HICON icon_ = nullptr;
    Size platformSize_{};
    TickerText ticker_;
    std::optional<ScrollTicker> scroll_;
    std::optional<CreditTicker> credit_;
    HFONT tickerFont_ = nullptr;
    int tickerHeight_ = 0;
    forms::TColor colourBeforeTicker_ = forms::clBtnFace;
};

}  // namespace imaging

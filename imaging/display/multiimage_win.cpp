#include "multiimage_win.h"

#include <shlobj.h>
#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

#include "annobinding_win.h"
#include "errorinvalid.h"
#include "forms/textutil.h"
#include "ispbinding_win.h"
#include "platformpictures.h"
#include "status.h"
#include "win/gdi.h"

namespace imaging {

namespace {

TPMultiImage* fromOwner(void* owner) { return static_cast<TPMultiImage*>(owner); }

// The annotation library's callbacks: each forwards to its event when one is assigned.
void WINAPI annoDone(void* owner, int index) {
    try {
        TPMultiImage* c = fromOwner(owner);
        if (!c->OnAnnoDone) return;
        c->OnAnnoDone(c, index);
        if (c->AnnoEditWindow()) PostMessageA(c->AnnoEditWindow(), kAnnoMsgDone, WPARAM(index), 0);
    } catch (...) {
    }
}
BOOL WINAPI annoCustomDraw(void* owner, HDC dc, int index) {
    try {
        TPMultiImage* c = fromOwner(owner);
        return c->OnCustomAnnotationDraw && c->OnCustomAnnotationDraw(c, dc, index);
    } catch (...) {
        return FALSE;
    }
}
BOOL WINAPI annoHardDraw(void* owner, HDC dc, int index) {
    try {
        TPMultiImage* c = fromOwner(owner);
        return c->OnCustomAnnotationHardDraw && c->OnCustomAnnotationHardDraw(c, dc, index);
    } catch (...) {
        return FALSE;
    }
}
void WINAPI annoBefore(void* owner, HDC dc) {
    try {
        TPMultiImage* c = fromOwner(owner);
        if (c->OnBeforeAnnotationDraw) c->OnBeforeAnnotationDraw(c, dc);
    } catch (...) {
    }
}
void WINAPI annoAfter(void* owner, HDC dc) {
    try {
        TPMultiImage* c = fromOwner(owner);
        if (c->OnAfterAnnotationDraw) c->OnAfterAnnotationDraw(c, dc);
    } catch (...) {
    }
}

void fill(HDC dc, const Rect& r, forms::TColor colour) {
    win::Brush b(CreateSolidBrush(forms::ColorToRGB(colour)));
    const RECT rc{r.left, r.top, r.right, r.bottom};
    FillRect(dc, &rc, b.get());
}

TransitionKind transitionOf(TFXMethod m) {
    switch (m) {
    case FXVertical: return TransitionKind::Vertical;
    case FXDiagonal: return TransitionKind::Diagonals;
    case FXDiagonalSquares: return TransitionKind::DiagonalSquares;
    case FXRectangles: return TransitionKind::Rectangles;
    default: return TransitionKind::Horizontal;
    }
}

bool kindOf(PictureSource s, ImageKind& kind) {
    switch (s) {
    case PictureSource::Bmp: kind = ImageKind::Bmp; return true;
    case PictureSource::Jpeg: kind = ImageKind::Jpeg; return true;
    case PictureSource::Png: kind = ImageKind::Png; return true;
    case PictureSource::Gif: kind = ImageKind::Gif; return true;
    case PictureSource::Tiff: kind = ImageKind::Tiff; return true;
    case PictureSource::Tga: kind = ImageKind::Tga; return true;
    case PictureSource::Pcx: kind = ImageKind::Pcx; return true;
    case PictureSource::Eps: kind = ImageKind::Eps; return true;
    case PictureSource::Pcd: kind = ImageKind::Pcd; return true;
    default: return false;
    }
}

// The type text a load keeps for an extension; others keep what the file information found.
std::string typeTextFor(const std::string& ext, const std::string& found) {
    static const std::pair<const char*, const char*> known[] = {
        {".BMP", "BMP"}, {".PNG", "PNG"}, {".GIF", "GIF"},  {".TIF", "TIF"},  {".TIFF", "TIF"}, {".TGA", "TGA"},
        {".PCX", "PCX"}, {".EPS", "EPS"}, {".PCD", "PCD"},  {".DXF", "DXF"},  {".JPEG", "JPEG"}, {".JPG", "JPEG"}};
    for (const auto& [e, t] : known)
        if (ext == e) return t;
    return found;
}

bool fileExists(const std::string& file) {
    const DWORD a = GetFileAttributesA(file.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<uint8_t> fileBytes(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

constexpr UINT_PTR kTickerTimer = 1;

int64_t fileSize(const std::string& file) {
    WIN32_FILE_ATTRIBUTE_DATA d;
    if (!GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &d)) return -1;
    return int64_t(d.nFileSizeHigh) << 32 | d.nFileSizeLow;
}

}  // namespace

TPMultiImage::TPMultiImage(forms::Component* owner) : CustomControl(owner) {
    SetBounds(0, 0, 105, 105);
    tabStop_ = true;
    color_ = forms::clBtnFace;
    picture_.OnChange = [this] { pictureChanged(); };
    vBar_ = new forms::ScrollBar(this, forms::ScrollKind::Vertical);
    hBar_ = new forms::ScrollBar(this, forms::ScrollKind::Horizontal);
    corner_ = new forms::Panel(this);
    corner_->SetBevelOuter(forms::Bevel::None);
    corner_->SetBevelInner(forms::Bevel::None);
    for (forms::Control* c : {static_cast<forms::Control*>(vBar_), static_cast<forms::Control*>(hBar_),
                              static_cast<forms::Control*>(corner_)}) {
        c->SetVisible(false);
        c->SetBounds(0, 0, 0, 0);
        c->SetParent(this);
    }
    vBar_->SetTabStop(false);
    hBar_->SetTabStop(false);
    vBar_->OnChange = [this](forms::Component*) {
        if (inLayout_) return;
        view_.verticalBarMoved(vBar_->Position());
        Invalidate();
    };
    hBar_->OnChange = [this](forms::Component*) {
        if (inLayout_) return;
        view_.horizontalBarMoved(hBar_->Position());
        Invalidate();
    };
    SetGrabHandCursor(grabIndex_);
}

TPMultiImage::~TPMultiImage() {
    try {
        if (annoReady_) {
            if (AutoSaveAnno) SaveAnnotations(TiffPage);
            AnnoDestroy(this);
        }
    } catch (...) {
    }
    picture_.OnChange = nullptr;
    dropPlatformPicture();
    if (tickerFont_) DeleteObject(tickerFont_);
    DestroyComponents();
}

void TPMultiImage::FillCreateParams(forms::CreateParams& p) {
    p.style |= WS_CLIPCHILDREN | WS_TABSTOP;
    if (border_ == Border::Single) p.style |= WS_BORDER;
}

void TPMultiImage::HandleCreated() {
    layoutScrollbars();
    if (TickerRunning()) SetTimer(Handle(), kTickerTimer, kTickerInterval, nullptr);
    try {
        const CrdeAnnoCallbacks callbacks{annoDone, annoCustomDraw, annoHardDraw, annoBefore, annoAfter};
        annoReady_ = AnnoInit(this, Handle(), this, AnnotationSettingsFile(), callbacks, annoWindows_) > 0;
    } catch (const std::exception&) {
        annoReady_ = false;  // no annotation library: the picture still shows
    }
}

std::string TPMultiImage::AnnotationSettingsFile() {
    char folder[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, folder))) {
        if (!GetTempPathA(MAX_PATH, folder)) folder[0] = 0;
    }
    std::string path = folder;
    if (!path.empty() && path.back() == '\\') path.pop_back();
    return path + "\\il_anno.ini";
}

std::string TPMultiImage::AnnotationFile() const { return AnnotationFileFor(AnnoFileName, imageName_); }

bool TPMultiImage::LoadAnnotations(int page) {
    if (!annoReady_) return false;
    const std::string file = AnnotationFile();
    if (!fileExists(file)) return false;
    return AnnoLoad(this, page, file) > 0;
}

bool TPMultiImage::SaveAnnotations(int page) {
    if (!annoReady_) return false;
    return AnnoSave(this, page, AnnotationFile()) > 0;
}

// Loading ---------------------------------------------------------------------

void TPMultiImage::ClearPicture() {
    dropPlatformPicture();
    picture_.Clear();
    picture_.Changed();
}

void TPMultiImage::SetImageName(const std::string& file) {
    const std::string previousAnno = AnnotationFile();
    imageName_ = file;
    newLoad_ = true;
    const std::string ext = UpperExtension(file);
    if (ext != ".RES" && !fileExists(file)) {
        info_ = ImageInfo{};
        ClearPicture();
        newLoad_ = false;
        return;
    }
    if (annoReady_) {
        if (AutoSaveAnno) AnnoSave(this, TiffPage, previousAnno);
        AnnoClear(this);
    }
    ReportProgress(0);
    struct LoadEnd {
        bool& flag;
        ~LoadEnd() { flag = false; }
    } end{newLoad_};

    bool loaded = false;
    // A new picture or message ends the message that runs.
    stopTicker();
    const PictureSource source = SourceFor(ext, "");
    if (source == PictureSource::Platform) {
        loaded = readPlatformPicture(file, ext);
    } else if (source == PictureSource::ScrollingMessage || source == PictureSource::CreditMessage) {
        if (source == PictureSource::ScrollingMessage) keepForUndo();
        ClearPicture();
        startTicker(file, source == PictureSource::CreditMessage);
        loaded = true;
    } else if (ext == ".RES") {
        loaded = readResource(file);
    } else {
        ImagingBitmap bmp;
        dropPlatformPicture();
        if (readPicture(file, ext, bmp)) {
            if (FXMethod != FXNone && HandleAllocated() && IsWindowVisible(Handle()))
                playTransition(bmp.bitmap());
            else
                picture_.Assign(bmp.bitmap());
            loaded = true;
        } else {
            ClearPicture();
        }
    }
    newLoad_ = false;
    if (!loaded) return;
    if (AutoLoadAnno) LoadAnnotations(TiffPage);
    if (AnnoViewWindow()) PostMessageA(AnnoViewWindow(), kAnnoMsgRefresh, 0, 0);
    if (OnFinishedLoadSave) OnFinishedLoadSave(this);
}

bool TPMultiImage::getImageInfo(const std::string& file, const std::string& ext) {
    info_ = ImageInfo{};
    info_.fileSize = fileSize(file);
    CrdeInfo values{};
    // A file the library will not open (missing, or too short) leaves no status of its own.
    StoreDllError(img::kTruncated);
    bool ok;
    if (ext.rfind(".TIF", 0) == 0) {
        int compression = 0, pages = 0;
        ok = DllGetInfo(file, TiffPage, values, compression, pages, ProgressCallback, this);
        info_.type = "TIF";
        info_.tiffPages = pages;
        info_.value2 = compression;
        info_.info = TiffCompressionName(compression);
    } else if (ext.rfind(".DXF", 0) == 0) {
        int units = 0;
        ok = DllGetDxfInfo(file, values.width, values.height, units);
        info_.type = "DXF";
    } else {
        ok = DllFileInfo(file, info_.type, values, this, ProgressCallback, info_.info);
        info_.value1 = values.colours;
        info_.value2 = values.compression;
    }
    info_.width = values.width;
    info_.height = values.height;
    info_.bits = values.bits;
    if (!ok) ReportDllError();
    return ok;
}

bool TPMultiImage::readPicture(const std::string& file, const std::string& ext, ImagingBitmap& out) {
    if (!getImageInfo(file, ext)) return false;
    const PictureSource source = SourceFor(ext, forms::LowerCase(info_.type));
    info_.type = typeTextFor(ext, info_.type);
    const int depth = ReadDepthFor(ImageReadRes, ScreenColorDepth());
    const int dither = ImageDither != 0 ? 1 : 0;
    bool ok = false;
    ImageKind kind;
    if (source == PictureSource::Dxf) {
        HBITMAP b = nullptr;
        HPALETTE p = nullptr;
        ok = DllReadDxf(file, ClientWidth(), ClientHeight(), ProgressCallback, this, b, p);
        if (ok) out = ImagingBitmap(b, p);
    } else if (kindOf(source, kind)) {
        const int page = kind == ImageKind::Tiff  ? TiffPageToRead(TiffPage, info_.tiffPages)
                         : kind == ImageKind::Pcd ? int(PCDMode)
                                                  : 0;
        ok = DllReadBitmap(kind, file, depth, dither, page, ProgressCallback, this, out);
    } else {
        StoreDllError(img::kUnsupported);
    }
    if (!ok) ReportDllError();
    return ok;
}

bool TPMultiImage::readResource(const std::string& file) {
    // A bitmap resource of the program, named by the base name (a number names it by id).
    const std::string base = FileBaseName(file);
    const std::string name = base.substr(0, base.rfind('.'));
    HINSTANCE self = GetModuleHandleA(nullptr);
    const std::optional<int32_t> number = forms::ToInt(name);
    const int id = number && *number > 0 && *number < 65536 ? *number : 0;
    const bool numeric = id != 0;
    HBITMAP b = static_cast<HBITMAP>(LoadImageA(self, numeric ? MAKEINTRESOURCEA(id) : name.c_str(), IMAGE_BITMAP, 0,
                                                0, LR_CREATEDIBSECTION));
    info_ = ImageInfo{};
    info_.type = "RES";
    info_.info = "BMP";
    if (!b) {
        ClearPicture();
        return false;
    }
    DIBSECTION ds{};
    if (GetObjectA(b, sizeof ds, &ds) == sizeof ds) {
        info_.bits = ds.dsBmih.biBitCount;
        info_.fileSize = int64_t(ds.dsBmih.biSize) + ds.dsBmih.biSizeImage;
    }
    picture_.Assign(b);
    info_.width = picture_.Width();
    info_.height = picture_.Height();
    DeleteObject(b);
    return true;
}

void TPMultiImage::dropPlatformPicture() {
    if (metafile_) DeleteEnhMetaFile(metafile_);
    if (icon_) DestroyIcon(icon_);
    metafile_ = nullptr;
    icon_ = nullptr;
    platformSize_ = {};
}

bool TPMultiImage::readPlatformPicture(const std::string& file, const std::string& ext) {
    dropPlatformPicture();
    const std::vector<uint8_t> bytes = fileBytes(file);
    info_ = ImageInfo{};
    if (ext == ".WMF") {
        if (const auto m = ParsePlaceableMetafile(bytes)) {
            HDC screen = GetDC(nullptr);
            const int dpiX = GetDeviceCaps(screen, LOGPIXELSX), dpiY = GetDeviceCaps(screen, LOGPIXELSY);
            ReleaseDC(nullptr, screen);
            platformSize_ = {m->widthAt(dpiX), m->heightAt(dpiY)};
            // The picture's extent in hundredths of a millimetre.
            const METAFILEPICT mfp{MM_ANISOTROPIC, int(int64_t(platformSize_.width) * 2540 / dpiX),
                                   int(int64_t(platformSize_.height) * 2540 / dpiY), nullptr};
            metafile_ = SetWinMetaFileBits(UINT(m->recordsSize), bytes.data() + m->recordsOffset, nullptr, &mfp);
        }
    } else if (const auto icons = ParseIconDirectory(bytes)) {
        const IconImage& im = (*icons)[BestIconImage(*icons)];
        icon_ = CreateIconFromResourceEx(const_cast<BYTE*>(bytes.data() + im.offset), DWORD(im.size), TRUE, 0x00030000,
                                         im.width, im.height, LR_DEFAULTCOLOR);
        if (icon_) platformSize_ = {im.width, im.height};
    }
    picture_.Clear();
    if (!metafile_ && !icon_) {
        platformSize_ = {};
        picture_.Changed();
        StoreDllError(img::kUnsupported);
        ReportDllError();
        return false;
    }
    info_.type = ext.substr(1);
    info_.width = platformSize_.width;
    info_.height = platformSize_.height;
    info_.fileSize = int64_t(bytes.size());
    picture_.Changed();
    return true;
}

void TPMultiImage::drawPlatformPicture(HDC dc, const forms::Rect& client) {
    fill(dc, client, color_);
    const Size ctl{client.Width(), client.Height()};
    RECT r{0, 0, platformSize_.width, platformSize_.height};
    if (options_.stretch) {
        r = RECT{0, 0, ctl.width, ctl.height};
    } else if (options_.center) {
        const Point at = CentreOffset(platformSize_, ctl);
        r = RECT{at.x, at.y, at.x + platformSize_.width, at.y + platformSize_.height};
    }
    if (metafile_) PlayEnhMetaFile(dc, metafile_, &r);
    if (icon_) DrawIconEx(dc, r.left, r.top, icon_, r.right - r.left, r.bottom - r.top, 0, nullptr, DI_NORMAL);
}

void TPMultiImage::startTicker(const std::string& file, bool credit) {
    const std::vector<uint8_t> bytes = fileBytes(file);
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    ticker_ = credit ? ParseCreditMessage(text) : ParseScrollingMessage(text);
    if (!credit && !ticker_.lines.empty()) ticker_.lines[0] = PaddedMessage(ticker_.lines[0]);
    if (ticker_.lines.empty()) ticker_.lines.emplace_back();
    const TickerFont& f = ticker_.font;
    LOGFONTA lf{};
    lf.lfHeight = f.height;
    lf.lfWeight = f.bold ? 700 : 400;
    lf.lfItalic = f.italic;
    lf.lfUnderline = f.underline;
    lf.lfStrikeOut = f.strikeOut;
    lf.lfCharSet = DEFAULT_CHARSET;
    lstrcpynA(lf.lfFaceName, f.name.c_str(), LF_FACESIZE);
    if (tickerFont_) DeleteObject(tickerFont_);
    tickerFont_ = CreateFontIndirectA(&lf);
    // The text's size in the ticker font: widened by one average character, 5 pixels higher.
    HDC screen = GetDC(nullptr);
    HGDIOBJ old = SelectObject(screen, tickerFont_);
    TEXTMETRICA tm{};
    GetTextMetricsA(screen, &tm);
    SIZE ext{};
    const std::string& first = ticker_.lines[0];
    GetTextExtentPoint32A(screen, first.data(), int(first.size()), &ext);
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
    tickerHeight_ = int(tm.tmHeight) + 5;
    colourBeforeTicker_ = color_;
    color_ = forms::TColor(ticker_.background & 0xFFFFFF);
    if (credit)
        credit_.emplace(int(ticker_.lines.size()), int(tm.tmHeight), ClientHeight(), ticker_.speed);
    else
        scroll_.emplace(int(ext.cx + tm.tmAveCharWidth), ClientWidth(), ticker_.speed);
    if (HandleAllocated()) SetTimer(Handle(), kTickerTimer, kTickerInterval, nullptr);
    Invalidate();
}

void TPMultiImage::stopTicker() {
    if (!TickerRunning()) return;
    if (HandleAllocated()) KillTimer(Handle(), kTickerTimer);
    scroll_.reset();
    credit_.reset();
    color_ = colourBeforeTicker_;
    Invalidate();
}

void TPMultiImage::drawTicker(HDC dc, const forms::Rect& client) {
    fill(dc, client, color_);
    win::Select sel(dc, tickerFont_);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, COLORREF(ticker_.font.colour & 0xFFFFFF));
    if (scroll_) {
        const std::string& s = ticker_.lines[0];
        TextOutA(dc, scroll_->x(), std::max(0, (client.Height() - tickerHeight_) / 2), s.data(), int(s.size()));
    } else if (credit_) {
        const std::string& s = ticker_.lines[size_t(credit_->line()) % ticker_.lines.size()];
        SIZE ext{};
        GetTextExtentPoint32A(dc, s.data(), int(s.size()), &ext);
        TextOutA(dc, (client.Width() - ext.cx) / 2, credit_->y(), s.data(), int(s.size()));
    }
}

bool TPMultiImage::ReportProgress(int percent) {
    if (!OnProgress) return true;
    bool cancel = false;
    OnProgress(this, percent, cancel, forms::LowerCase(StatusText()));
    return !cancel;
}

int WINAPI TPMultiImage::ProgressCallback(void* control, int percent) {
    try {
        return !control || static_cast<TPMultiImage*>(control)->ReportProgress(percent) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

void TPMultiImage::ReportDllError() {
    if (OnIlibError) {
        OnIlibError(this, int16_t(LastDllErrorCode()), LastDllErrorText());
        return;
    }
    throw ErrorInvalid(LastDllErrorText());
}

bool TPMultiImage::SaveAsBmp(const std::string& file) {
    if (!file.empty()) imageName_ = file;
    bool ok = false;
    try {
        ReportProgress(0);
        const ImagingGraphic g{picture_.Handle(), nullptr};
        ok = SaveGraphicAsBmp(imageName_, BitsForSaving("bmp", ImageWriteRes, ScreenColorDepth()), &g,
                              ProgressCallback, this);
        if (!ok) ReportDllError();
    } catch (...) {
        ok = false;
    }
    if (OnFinishedLoadSave) OnFinishedLoadSave(this);
    return ok;
}

void TPMultiImage::keepForUndo() {
    if (!ILUndo || picture_.Empty()) return;
    std::rotate(undo_.rbegin(), undo_.rbegin() + 1, undo_.rend());  // the oldest comes first, then is replaced
    undo_[0] = std::make_unique<forms::Bitmap>();
    undo_[0]->Assign(picture_);
}

int TPMultiImage::UndoCount() const {
    return int(std::count_if(undo_.begin(), undo_.end(), [](const auto& b) { return b != nullptr; }));
}

// The picture and the view ------------------------------------------------------

void TPMultiImage::pictureChanged() {
    const Size pic = pictureSize();
    if (autoSize_ && pic.width > 0 && pic.height > 0) SetBounds(Left(), Top(), pic.width, pic.height);
    if (newLoad_) {
        view_.reset();
        if (options_.stretchRatio) view_.fitRatio(pic, controlSize());
    }
    if (OnPictureChanged) OnPictureChanged(this);
    layoutScrollbars();
    Invalidate();
}

void TPMultiImage::Resized() {
    CustomControl::Resized();
    if (options_.stretchRatio) view_.fitRatio(pictureSize(), controlSize());
    layoutScrollbars();
    Invalidate();
}

void TPMultiImage::placeBar(forms::Control* c, const BarPlace& p) {
    if (p.shown) {
        c->SetBounds(p.bounds.left, p.bounds.top, p.bounds.Width(), p.bounds.Height());
        c->SetVisible(true);
    } else {
        c->SetVisible(false);
        c->SetBounds(-1, -1, 0, 0);
    }
}

void TPMultiImage::layoutScrollbars() {
    if (!vBar_ || !hBar_ || !corner_) return;  // still being made
    layout_ = view_.scrollLayout(pictureSize(), controlSize(), options_, !picture_.Empty());
    inLayout_ = true;
    placeBar(vBar_, layout_.vertical);
    placeBar(hBar_, layout_.horizontal);
    placeBar(corner_, layout_.corner);
    vBar_->SetTabStop(layout_.shown && TabStop());
    hBar_->SetTabStop(layout_.shown && TabStop());
    if (layout_.shown) {
        hBar_->SetRange(0, layout_.hMax);
        hBar_->SetPosition(layout_.hPos);
        vBar_->SetRange(0, layout_.vMax);
        vBar_->SetPosition(layout_.vPos);
    }
    inLayout_ = false;
}

void TPMultiImage::SetAutoSize(bool on) {
    autoSize_ = on;
    if (on) pictureChanged();
}

void TPMultiImage::SetCenter(bool on) {
    if (options_.center == on) return;
    options_.center = on;
    if (AnnoViewWindow()) PostMessageA(AnnoViewWindow(), kAnnoMsgRefresh, 0, 0);
    Invalidate();
}

void TPMultiImage::SetStretch(bool on) {
    if (options_.stretch == on) return;
    if (on) SetStretchRatio(false);
    options_.stretch = on;
    layoutScrollbars();
    Invalidate();
}

void TPMultiImage::SetStretchRatio(bool on) {
    if (options_.stretchRatio == on) return;
    options_.stretchRatio = on;
    if (on) {
        options_.stretch = false;
        view_.ratioOn(pictureSize(), controlSize());
    } else {
        view_.ratioOff();
    }
    if (AnnoViewWindow()) PostMessageA(AnnoViewWindow(), kAnnoMsgRefresh, 0, 0);
    layoutScrollbars();
    Invalidate();
}

void TPMultiImage::SetScrolling(bool on) {
    if (options_.scrolling == on) return;
    options_.scrolling = on;
    vBar_->SetEnabled(on);
    hBar_->SetEnabled(on);
    pictureChanged();
}

void TPMultiImage::SetShowScrollbars(bool on) {
    if (options_.showScrollbars == on) return;
    if (!on) view_.scrollbarsHidden(pictureSize(), controlSize());
    options_.showScrollbars = on;
    vBar_->SetEnabled(on);
    hBar_->SetEnabled(on);
    pictureChanged();
}

void TPMultiImage::SetScrollbarWidth(int w) {
    options_.scrollbarWidth = std::max(0, w);
    layoutScrollbars();
    Invalidate();
}

void TPMultiImage::SetTileWindow(bool on) {
    tile_ = on;
    Invalidate();
}

void TPMultiImage::SetBorderStyle(Border b) {
    if (border_ == b) return;
    border_ = b;
    if (!HandleAllocated()) return;
    LONG_PTR style = GetWindowLongPtrA(Handle(), GWL_STYLE);
    style = b == Border::Single ? style | WS_BORDER : style & ~LONG_PTR(WS_BORDER);
    SetWindowLongPtrA(Handle(), GWL_STYLE, style);
    SetWindowPos(Handle(), nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
}

void TPMultiImage::SetZoom(double zoom) {
    view_.setZoom(zoom);
    layoutScrollbars();
    Invalidate();
}

void TPMultiImage::SetOrigin(Point p) {
    view_.setOrigin(p);
    view_.clampOrigin(pictureSize(), view_.drawArea(controlSize(), options_, layout_.shown));
    layoutScrollbars();
    Invalidate();
}

void TPMultiImage::SetBlitMode(TBlitMode m) {
    blitMode_ = m;
    Invalidate();
}

void TPMultiImage::SetText(const std::string& t) {
    if (text_ == t) return;
    text_ = t;
    Invalidate();
}
void TPMultiImage::SetTextPos(int left, int top) {
    if (textLeft_ == left && textTop_ == top) return;
    textLeft_ = left, textTop_ = top;
    Invalidate();
}
void TPMultiImage::SetTextRotate(int degrees) {
    if (textRotate_ == degrees) return;
    textRotate_ = degrees;
    Invalidate();
}
void TPMultiImage::SetTextShadow(bool on) {
    if (textShadow_ == on) return;
    textShadow_ = on;
    Invalidate();
}
void TPMultiImage::SetTextShadowColor(forms::TColor c) {
    if (shadowColor_ == c) return;
    shadowColor_ = c;
    Invalidate();
}
void TPMultiImage::SetTextTransParent(bool on) {
    if (textTransparent_ == on) return;
    textTransparent_ = on;
    Invalidate();
}

void TPMultiImage::SetEditAnnotat(bool on) {
    if (annoReady_ && !on) AnnoRubberBandOff(this);
    if (editAnno_ != on) {
        editAnno_ = on;
        if (AnnoEditWindow()) PostMessageA(AnnoEditWindow(), kAnnoMsgEditMode, on ? 1 : 0, 0);
        Invalidate();
    }
    if (AnnoViewWindow()) PostMessageA(AnnoViewWindow(), kAnnoMsgRefresh, 0, 0);
}

void TPMultiImage::SetGrabHandCursor(int index) {
    grabIndex_ = index;
    grabCursor_ = LoadCursorA(GetModuleHandleA(nullptr), "GRABHAND");
    if (!grabCursor_) grabCursor_ = LoadCursorA(nullptr, IDC_SIZEALL);
}

// Painting ------------------------------------------------------------------

void TPMultiImage::drawPicture(HDC dc, const forms::Rect& client) {
    const Size pic = pictureSize();
    const Size ctl{client.Width(), client.Height()};
    if (picture_.Empty()) {
        fill(dc, client, color_);
        return;
    }
    HDC src = picture_.GetCanvas().Handle();
    if (tile_) {
        for (const Point& p : TilePositions(pic, ctl)) BitBlt(dc, p.x, p.y, pic.width, pic.height, src, 0, 0, SRCCOPY);
        return;
    }
    if (options_.stretch) {
        int mode = COLORONCOLOR;
        if (info_.bits == 1) mode = blitMode_ == sDark ? BLACKONWHITE : blitMode_ == sLightest ? WHITEONBLACK : COLORONCOLOR;
        SetStretchBltMode(dc, mode);
        StretchBlt(dc, 0, 0, ctl.width, ctl.height, src, 0, 0, pic.width, pic.height, SRCCOPY);
        return;
    }
    if (!options_.stretchRatio && !options_.scrolling) {
        const Point at = options_.center ? CentreOffset(pic, ctl) : Point{};
        BitBlt(dc, at.x, at.y, pic.width, pic.height, src, 0, 0, SRCCOPY);
        for (const Rect& r : UncoveredBands(client, Rect::Bounds(at.x, at.y, pic.width, pic.height))) fill(dc, r, color_);
        return;
    }
    const Size area = view_.drawArea(ctl, options_, layout_.shown);
    const DisplayView::Placement pl = view_.zoomedPlacement(pic, area, options_.center);
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchBlt(dc, pl.dest.left, pl.dest.top, pl.dest.Width(), pl.dest.Height(), src, pl.source.left, pl.source.top,
               pl.source.Width(), pl.source.Height(), SRCCOPY);
    for (const Rect& r : UncoveredBands(client, pl.dest)) fill(dc, r, color_);
}

void TPMultiImage::drawOverlayText(HDC dc) {
    if (text_.empty()) return;
    const forms::Font& f = GetFont();
    LOGFONTA lf{};
    lf.lfHeight = f.Height();
    lf.lfWeight = f.Style() & forms::fsBold ? 700 : 400;
    lf.lfItalic = (f.Style() & forms::fsItalic) != 0;
    lf.lfUnderline = (f.Style() & forms::fsUnderline) != 0;
    lf.lfStrikeOut = (f.Style() & forms::fsStrikeOut) != 0;
    lf.lfEscapement = lf.lfOrientation = textRotate_ * 10;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfPitchAndFamily = DEFAULT_PITCH;
    lstrcpynA(lf.lfFaceName, f.Name().c_str(), LF_FACESIZE);
    win::Font font(CreateFontIndirectA(&lf));
    win::Select sel(dc, font.get());
    SetBkMode(dc, textTransparent_ ? TRANSPARENT : OPAQUE);
    SetBkColor(dc, forms::ColorToRGB(color_));
    if (textShadow_) {
        SetTextColor(dc, forms::ColorToRGB(shadowColor_));
        TextOutA(dc, textLeft_ + 2, textTop_ + 2, text_.data(), int(text_.size()));
    }
    SetTextColor(dc, forms::ColorToRGB(f.Color()));
    TextOutA(dc, textLeft_, textTop_, text_.data(), int(text_.size()));
}

void TPMultiImage::drawAnnotations(HDC dc) {
    if (!annoReady_ || picture_.Empty()) return;
    // The whole picture's rectangle as the current view draws it.
    const Size pic = pictureSize(), ctl = controlSize();
    Rect whole = Rect::Bounds(0, 0, pic.width, pic.height);
    if (options_.stretch || tile_) {
        whole = Rect::Bounds(0, 0, ctl.width, ctl.height);
    } else if (!options_.stretchRatio && !options_.scrolling) {
        const Point at = options_.center ? CentreOffset(pic, ctl) : Point{};
        whole = Rect::Bounds(at.x, at.y, pic.width, pic.height);
    } else {
        const DisplayView::Placement pl =
            view_.zoomedPlacement(pic, view_.drawArea(ctl, options_, layout_.shown), options_.center);
        const double z = view_.zoom();
        whole = Rect::Bounds(pl.dest.left - int(std::lround(pl.source.left * z)),
                             pl.dest.top - int(std::lround(pl.source.top * z)), int(std::lround(pic.width * z)),
                             int(std::lround(pic.height * z)));
    }
    AnnoDrawX(this, dc, whole.left, whole.top, whole.Width(), whole.Height(), pic.width, pic.height, TiffPage,
              editAnno_ ? kCrdeDrawSelection : 0);
}

void TPMultiImage::Paint(forms::Canvas& canvas) {
    const forms::Rect client = ClientRect();
    HDC dc = canvas.Handle();
    if (!dc) throw forms::Exception("Out of resources. Close some windows and try again");
    if (TickerRunning() || metafile_ || icon_) {
        if (TickerRunning())
            drawTicker(dc, client);
        else
            drawPlatformPicture(dc, client);
        drawOverlayText(dc);
        if (OnPaintArea) OnPaintArea(this, client.left, client.bottom, client.right, client.top);
        if (OnPaint) OnPaint(this);
        return;
    }
    drawPicture(dc, client);
    drawOverlayText(dc);
    drawAnnotations(dc);
    if (OnPaintArea) OnPaintArea(this, client.left, client.bottom, client.right, client.top);
    if (OnPaint) OnPaint(this);
}

void TPMultiImage::playTransition(HBITMAP incoming) {
    HCURSOR before = ::SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    picture_.Assign(incoming);
    // The frame the new picture makes, brought onto the window by the effect (drawn on a
    // memory device first, which lets go of it before the effect selects it).
    const forms::Rect client = ClientRect();
    HDC dc = GetDC(Handle());
    if (!dc) return;
    win::Bitmap frame(CreateCompatibleBitmap(dc, std::max(1, client.Width()), std::max(1, client.Height())));
    {
        win::MemoryDC mem(dc);
        win::Select sel(mem.get(), frame.get());
        drawPicture(mem.get(), client);
    }
    // The effect ends with the whole new frame: no paint needs to follow it.
    if (DllTransition(transitionOf(FXMethod), dc, frame.get(), FXColRowThick, FXDelay)) ValidateRect(Handle(), nullptr);
    ReleaseDC(Handle(), dc);
    ::SetCursor(before);
}

// The mouse, keys and clipboard ----------------------------------------------------

void TPMultiImage::drawBand() {
    HDC dc = GetDC(Handle());
    if (!dc) return;
    const Rect r = band_.outline();
    const int rop = SetROP2(dc, R2_NOT);
    HGDIOBJ brush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, r.left, r.top, r.right, r.bottom);
    SelectObject(dc, brush);
    SetROP2(dc, rop);
    ReleaseDC(Handle(), dc);
}

bool TPMultiImage::onMouse(win::Message& m) {
    const Point at{GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam)};
    if (m.msg == WM_LBUTTONDOWN && TabStop() && CanFocus() && !Focused()) SetFocus();
    if (info_.type == "WMF") return false;
    if (editAnno_ && annoReady_) {
        const WPARAM wp = m.msg == WM_RBUTTONDOWN ? WPARAM(annoMenuOff_) : m.wParam;
        AnnoMouseMon(this, m.msg, wp, m.lParam);
        if (HWND edit = AnnoEditWindow()) {
            if (m.msg == WM_MOUSEMOVE) PostMessageA(edit, kAnnoMsgMove, m.wParam, m.lParam);
            if (m.msg == WM_LBUTTONUP || m.msg == WM_RBUTTONUP) PostMessageA(edit, kAnnoMsgRelease, m.wParam, m.lParam);
        }
        return false;
    }
    const forms::MouseButton button = m.msg == WM_LBUTTONDOWN || m.msg == WM_LBUTTONUP   ? forms::MouseButton::Left
                                      : m.msg == WM_RBUTTONDOWN || m.msg == WM_RBUTTONUP ? forms::MouseButton::Right
                                                                                         : forms::MouseButton::Middle;
    const bool press = m.msg == WM_LBUTTONDOWN || m.msg == WM_RBUTTONDOWN || m.msg == WM_MBUTTONDOWN;
    const bool release = m.msg == WM_LBUTTONUP || m.msg == WM_RBUTTONUP || m.msg == WM_MBUTTONUP;
    if (AllowRubberBand) {
        if (press && button == RubberBandBtn && !band_.active()) {
            band_.begin(at);
            bandButton_ = button;
            SetCapture(Handle());
            drawBand();
        } else if (m.msg == WM_MOUSEMOVE && band_.active()) {
            drawBand();
            band_.move(at, controlSize());
            drawBand();
        } else if (release && band_.active() && button == bandButton_) {
            drawBand();
            Rect r;
            band_.finish(r);
            ReleaseCapture();
            if (OnRubberband) OnRubberband(this, button, forms::KeyboardShift(), r.left, r.top, r.right, r.bottom);
        }
        return false;
    }
    if (m.msg == WM_LBUTTONDOWN && !picture_.Empty() && !options_.stretch && !options_.stretchRatio &&
        view_.largerThan(pictureSize(), controlSize())) {
        panning_ = true;
        lastMouse_ = at;
        cursorBeforePan_ = Cursor();
        SetCursor(grabCursor_);
        ::SetCursor(grabCursor_);
        SetCapture(Handle());
    } else if (m.msg == WM_MOUSEMOVE && panning_) {
        view_.pan(lastMouse_, at, pictureSize(), view_.drawArea(controlSize(), options_, layout_.shown));
        lastMouse_ = at;
        layoutScrollbars();
        Invalidate();
        UpdateWindow(Handle());
    } else if (m.msg == WM_LBUTTONUP && panning_) {
        panning_ = false;
        SetCursor(cursorBeforePan_);
        ::SetCursor(cursorBeforePan_ ? cursorBeforePan_ : LoadCursorA(nullptr, IDC_ARROW));
        ReleaseCapture();
    }
    return false;
}

bool TPMultiImage::copyToClipboard() {
    if (picture_.Empty()) return false;
    HGLOBAL dib = DllDdbToDib(picture_.Handle(), nullptr);
    if (!dib) return false;
    if (!OpenClipboard(Handle())) {
        FreeDibHandle(dib);
        return false;
    }
    EmptyClipboard();
    const bool ok = SetClipboardData(CF_DIB, dib) != nullptr;
    CloseClipboard();
    if (!ok) FreeDibHandle(dib);
    return ok;
}

bool TPMultiImage::pasteFromClipboard() {
    if (!IsClipboardFormatAvailable(CF_DIB) || !OpenClipboard(Handle())) return false;
    stopTicker();
    ImagingBitmap bmp;
    bool ok = false;
    if (HGLOBAL dib = GetClipboardData(CF_DIB)) {
        keepForUndo();
        dropPlatformPicture();
        ok = DibToBitmap(dib, ReadDepthFor(ImageReadRes, ScreenColorDepth()), ImageDither != 0 ? 1 : 0, this,
                         ProgressCallback, bmp);
    }
    CloseClipboard();
    if (!ok) return false;
    picture_.Assign(bmp.bitmap());
    if (options_.stretchRatio) view_.fitRatio(pictureSize(), controlSize());
    Invalidate();
    return true;
}

bool TPMultiImage::HandleMessage(win::Message& m) {
    switch (m.msg) {
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
        onMouse(m);
        break;
    case WM_CUT:
        if (copyToClipboard()) {
            keepForUndo();
            ClearPicture();
        }
        return true;
    case WM_COPY: copyToClipboard(); return true;
    case kMsgScrollTick:
        if (scroll_ && scroll_->tick()) Invalidate();
        return true;
    case kMsgCreditTick:
        if (credit_ && credit_->tick()) Invalidate();
        return true;
    case WM_TIMER:
        if (m.wParam != kTickerTimer) break;
        if (scroll_) SendMessageA(Handle(), kMsgScrollTick, 0, 0);
        if (credit_) SendMessageA(Handle(), kMsgCreditTick, 0, 0);
        return true;
    case WM_PASTE: pasteFromClipboard(); return true;
    case WM_KEYDOWN: {
        if (HWND edit = AnnoEditWindow()) PostMessageA(edit, kAnnoMsgKey, m.wParam, 0);
        const bool ctrl = GetKeyState(VK_CONTROL) < 0, shift = GetKeyState(VK_SHIFT) < 0;
        const UINT command = (ctrl && m.wParam == 'X') || (shift && m.wParam == VK_DELETE)   ? WM_CUT
                             : (ctrl && m.wParam == 'C') || (ctrl && m.wParam == VK_INSERT)  ? WM_COPY
                             : (ctrl && m.wParam == 'V') || (shift && m.wParam == VK_INSERT) ? WM_PASTE
                                                                                             : 0;
        if (command) {
            win::Message c{command, 0, 0};
            return HandleMessage(c);
        }
        break;
    }
    case WM_COMMAND:
        if (editAnno_ && annoReady_ && m.lParam == 0) {
            AnnoMenuMsg(this, LOWORD(m.wParam));
            return true;
        }
        break;
    case kAnnoMsgClicked:
        if (OnAnnoClick) OnAnnoClick(this, int(m.wParam), m.lParam == 1);
        if (m.wParam && AnnoEditWindow()) PostMessageA(AnnoEditWindow(), kAnnoMsgSelect, m.wParam, 0);
        return true;
    default: break;
    }
    return CustomControl::HandleMessage(m);
}

}  // namespace imaging

#include "crdebinding_win.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "dibhandle_win.h"
#include "dibheader.h"
#include "iltdib_win.h"
#include "ispbinding_win.h"
#include "libraryload_win.h"

namespace imaging {

namespace {

LibrarySlot g_crde;
int g_lastCode = 0;
std::string g_lastText;
HPALETTE g_sharedPalette = nullptr;

// Frees the libraries when the program ends.
struct Finaliser {
    ~Finaliser() { FreeImagingLibraries(); }
} g_finaliser;

std::string upper(std::string s) {
    for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string moduleFileName(HMODULE m) {
    char buf[MAX_PATH];
    const DWORD n = GetModuleFileNameA(m, buf, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::string(buf, n) : std::string();
}

// A file name as the library takes it: zero-terminated, within MAX_PATH. A longer name is
// refused with the library's own status for it.
bool copyName(const std::string& file, char (&name)[MAX_PATH]) {
    if (file.empty() || file.size() >= MAX_PATH - 8 || file.find('\0') != std::string::npos) {
        StoreDllError(-15);  // the file name is missing or too long
        return false;
    }
    std::memcpy(name, file.c_str(), file.size() + 1);
    return true;
}

// The status of a reader or writer: true from 1 on, else kept.
bool statusOk(short status) {
    if (status >= 1) return true;
    StoreDllError(status);
    return false;
}

template <class P, class Call>
bool readerCall(const char* procedure, const std::string& file, Call call) {
    P proc = nullptr;
    if (!BindCrde(procedure, proc)) return false;
    if (!IsUsableImageFile(file)) return false;
    char name[MAX_PATH];
    if (!copyName(file, name)) return false;
    SetStatusText("Reading " + file);
    short status = 0;
    if (!CallLibrary([&] { status = call(proc, name); })) return false;
    return statusOk(status);
}

template <class P, class Call>
bool writerCall(const char* procedure, const std::string& file, Call call) {
    P proc = nullptr;
    if (!BindCrde(procedure, proc)) return false;
    char name[MAX_PATH];
    if (!copyName(file, name)) return false;
    SetStatusText("Writing " + file);
    short status = 0;
    if (!CallLibrary([&] { status = call(proc, name); })) return false;
    return statusOk(status);
}

// BMP, PNG, PCX and GIF readers: the palette given, else the shared one.
bool readWithPalette(const char* procedure, const std::string& file, int depth, int dither, CrdeProgress progress,
                     void* control, HPALETTE palette, HGLOBAL& dib) {
    dib = nullptr;
    return readerCall<CrdeReadPal>(procedure, file, [&](CrdeReadPal p, const char* name) {
        return p(name, depth, dither, &dib, palette ? palette : g_sharedPalette, control, progress, 0);
    });
}

// BMP, PCX and GIF writers.
bool writePlain(const char* procedure, const std::string& file, int bits, HGLOBAL dib, CrdeProgress progress,
                void* control) {
    return writerCall<CrdeWrite>(procedure, file,
                                 [&](CrdeWrite p, const char* name) { return p(name, bits, dib, control, progress, 0); });
}

// The graphic as a DIB handle for the savers.
HGLOBAL graphicToDib(const ImagingGraphic* graphic) {
    HGLOBAL dib = graphic && graphic->bitmap ? DllDdbToDib(graphic->bitmap, graphic->palette) : nullptr;
    if (!dib || GlobalSize(dib) <= 4) {
        FreeDibHandle(dib);
        throw ErrorInvalid("Input image is empty");
    }
    return dib;
}

template <class Write>
bool saveGraphic(const ImagingGraphic* graphic, Write write) {
    HGLOBAL dib = graphicToDib(graphic);
    bool ok = false;
    try {
        ok = write(dib);
    } catch (...) {
        FreeDibHandle(dib);
        throw;
    }
    FreeDibHandle(dib);
    return ok;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Loading and binding.

bool BindCrdeProc(const char* library, const char* procedure, FARPROC& out) {
    out = nullptr;
    if (!g_crde.loaded()) {
        imgwin::useGlobalMemory();
        g_crde.module = LoadImagingLibrary(library);
        if (!g_crde.loaded()) {
            g_crde.module = nullptr;
            throw ErrorInvalid(std::string("Can't load ") + library +
                               ". Make sure its located in the application's searchpath.");
        }
        const std::string path = moduleFileName(g_crde.module);
        const std::string name = path.substr(path.find_last_of("\\/") + 1);
        if (upper(name).find("CRDE") == std::string::npos) {
            ShowImagingMessage("Wrong dll Name in DLL96V1.PAS");
            g_crde.free();
            return false;
        }
    }
    auto it = g_crde.procedures.find(procedure);
    if (it == g_crde.procedures.end())
        it = g_crde.procedures.emplace(procedure, GetProcAddress(g_crde.module, procedure)).first;
    out = it->second;
    return out != nullptr;
}

HMODULE CrdeModule() { return g_crde.loaded() ? g_crde.module : nullptr; }

void FreeImagingLibraries() {
    g_crde.free();
    FreeIspLibrary();
}

bool IsUsableImageFile(const std::string& file) {
    HANDLE f = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    const bool ok = GetFileSizeEx(f, &size) && size.QuadPart >= 30;
    CloseHandle(f);
    return ok;
}

void StoreDllError(int code) {
    g_lastCode = int16_t(code);
    g_lastText = kUnknownDllError;
    if (g_lastCode == -1 || !g_crde.loaded()) return;
    char buf[256];
    const int n = LoadStringA(g_crde.module, UINT(uint16_t(g_lastCode)), buf, sizeof buf);
    if (n > 0) g_lastText.assign(buf, size_t(n));
}

int LastDllErrorCode() { return g_lastCode; }
const std::string& LastDllErrorText() { return g_lastText; }
void SetLastDllErrorText(const std::string& text) { g_lastText = text; }

void SetSharedPalette(HPALETTE palette) { g_sharedPalette = palette; }
HPALETTE SharedPalette() { return g_sharedPalette; }

// ---------------------------------------------------------------------------------------
// Readers and writers.

bool DllReadBmp(const std::string& file, int depth, int dither, CrdeProgress progress, void* control, HPALETTE palette,
                HGLOBAL& dib) {
    return readWithPalette("rdbmpfiledib", file, depth, dither, progress, control, palette, dib);
}

bool DllReadPng(const std::string& file, int depth, int dither, CrdeProgress progress, void* control, HPALETTE palette,
                HGLOBAL& dib) {
    return readWithPalette("rdpngfiledib", file, depth, dither, progress, control, palette, dib);
}

bool DllReadPcx(const std::string& file, int depth, int dither, CrdeProgress progress, void* control, HPALETTE palette,
                HGLOBAL& dib) {
    return readWithPalette("rdpcxfiledib", file, depth, dither, progress, control, palette, dib);
}

bool DllReadGif(const std::string& file, int depth, int dither, CrdeProgress progress, void* control, HPALETTE palette,
                HGLOBAL& dib) {
    return readWithPalette("rdgiffiledib", file, depth, dither, progress, control, palette, dib);
}

// The library stays loaded after a failed read: its procedures and annotation windows
// stay valid.
bool DllReadJpg(const std::string& file, int depth, int dither, CrdeProgress progress, void* control, HPALETTE palette,
                HGLOBAL& dib) {
    dib = nullptr;
    return readerCall<CrdeReadJpg>("rdjpgfiledib", file, [&](CrdeReadJpg p, const char* name) {
        return p(name, depth, 1, dither, &dib, palette ? palette : g_sharedPalette, control, progress, 0);
    });
}

bool DllReadTiff(const std::string& file, int depth, int dither, int page, CrdeProgress progress, void* control,
                 HGLOBAL& dib) {
    dib = nullptr;
    return readerCall<CrdeReadTiff>("readtiffiledib", file, [&](CrdeReadTiff p, const char* name) {
        return p(name, depth, dither, short(page), &dib, control, progress, 0);
    });
}

bool DllReadPcd(const std::string& file, int depth, int dither, int resolution, CrdeProgress progress, void* control,
                HGLOBAL& dib) {
    dib = nullptr;
    return readerCall<CrdeReadPcd>("readpcdfiledib", file, [&](CrdeReadPcd p, const char* name) {
        return p(name, depth, dither, short(resolution), &dib, control, progress, 0);
    });
}

bool DllReadTga(const std::string& file, int depth, int dither, CrdeProgress progress, void* control, HGLOBAL& dib) {
    dib = nullptr;
    return readerCall<CrdeRead>("readtgafiledib", file, [&](CrdeRead p, const char* name) {
        return p(name, depth, dither, &dib, control, progress, 0);
    });
}

bool DllReadEps(const std::string& file, int depth, int dither, CrdeProgress progress, void* control, HGLOBAL& dib) {
    dib = nullptr;
    return readerCall<CrdeRead>("readepsfiledib", file, [&](CrdeRead p, const char* name) {
        return p(name, depth, dither, &dib, control, progress, 0);
    });
}

bool DllReadDxf(const std::string& file, int width, int height, CrdeProgress progress, void* control, HBITMAP& bitmap,
                HPALETTE& palette) {
    bitmap = nullptr;
    palette = nullptr;
    return readerCall<CrdeReadDxf>("readdxftoddb", file, [&](CrdeReadDxf p, const char* name) {
        return p(name, width, height, &bitmap, &palette, control, progress, 0);
    });
}

bool DllGetDxfInfo(const std::string& file, int& width, int& height, int& units) {
    width = height = units = 0;
    return readerCall<CrdeGetDxfInfo>("getdxfinfo", file,
                                      [&](CrdeGetDxfInfo p, const char* name) { return p(name, &width, &height, &units); });
}

bool DllWriteBmp(const std::string& file, int bits, HGLOBAL dib, CrdeProgress progress, void* control) {
    return writePlain("wrbmpfiledib", file, bits, dib, progress, control);
}

bool DllWritePcx(const std::string& file, int bits, HGLOBAL dib, CrdeProgress progress, void* control) {
    return writePlain("wrpcxfiledib", file, bits, dib, progress, control);
}

bool DllWriteGif(const std::string& file, int bits, HGLOBAL dib, CrdeProgress progress, void* control) {
    return writePlain("wrgiffiledib", file, bits, dib, progress, control);
}

bool DllWritePng(const std::string& file, int bits, bool interlaced, HGLOBAL dib, CrdeProgress progress, void* control) {
    return writerCall<CrdeWritePng>("wrpngfiledib", file, [&](CrdeWritePng p, const char* name) {
        return p(name, bits, interlaced ? 1 : 0, dib, control, progress, 0);
    });
}

bool DllWriteJpg(const std::string& file, int quality, int smoothing, int bits, HGLOBAL dib, CrdeProgress progress,
                 void* control) {
    return writerCall<CrdeWriteJpg>("wrjpgfiledib", file, [&](CrdeWriteJpg p, const char* name) {
        return p(name, quality, smoothing, short(bits), dib, control, progress, 0);
    });
}

bool DllWriteTga(const std::string& file, int bits, HGLOBAL dib, CrdeProgress progress, void* control) {
    return writerCall<CrdeWriteTga>("writetgafiledib", file, [&](CrdeWriteTga p, const char* name) {
        return p(name, bits, 0, nullptr, dib, control, progress, 0);
    });
}

bool DllWriteTiff(const std::string& file, int compression, int bits, bool append, HGLOBAL dib, CrdeProgress progress,
                  void* control) {
    return writerCall<CrdeWriteTiff>("writetiffiledib", file, [&](CrdeWriteTiff p, const char* name) {
        return p(name, compression, short(bits), append ? 1 : 0, dib, control, progress, 0);
    });
}

bool DllFileInfo(const std::string& file, std::string& type, CrdeInfo& values, void* control, CrdeProgress progress,
                 std::string& info) {
    type.clear();
    info.clear();
    values = CrdeInfo{};
    char typeBuf[kCrdeTypeLength + 1] = {}, infoBuf[kCrdeInfoLength + 1] = {};
    const bool ok = readerCall<CrdeFileInfo>("fileinfo", file, [&](CrdeFileInfo p, const char* name) {
        return p(name, typeBuf, &values, control, progress, infoBuf, 0);
    });
    type = typeBuf;
    info = infoBuf;
    return ok;
}

bool DllGetInfo(const std::string& file, int page, CrdeInfo& values, int& compression, int& pages,
                CrdeProgress progress, void* control) {
    values = CrdeInfo{};
    compression = 0;
    pages = 0;
    CrdeGetInfo proc = nullptr;
    if (!BindCrde("getinfo", proc)) return false;
    if (!IsUsableImageFile(file)) return false;
    char name[MAX_PATH];
    if (!copyName(file, name)) return false;
    WORD code = 0;
    short status = 0;
    if (!CallLibrary([&] { status = proc(name, short(page), &values, &code, progress, control); })) return false;
    // Here 0 and above is success: the page count.
    if (status < 0) {
        StoreDllError(status);
        return false;
    }
    compression = code;
    pages = status;
    return true;
}

HGLOBAL DllConvertDepth(const char* procedure, HGLOBAL dib) {
    CrdeConvert proc = nullptr;
    if (!BindCrde(procedure, proc)) return nullptr;
    HGLOBAL out = nullptr;
    if (!CallLibrary([&] { out = proc(dib); })) return nullptr;
    return out;
}

bool DllDibToDdb(const void* lockedDib, HPALETTE& palette, HBITMAP& bitmap) {
    palette = nullptr;
    bitmap = nullptr;
    CrdeDibToDdb proc = nullptr;
    if (!BindCrde("DibtoDdb", proc)) return false;
    short status = 0;
    if (!CallLibrary([&] { status = proc(lockedDib, &palette, &bitmap); })) return false;
    return statusOk(status);
}

HGLOBAL DllDdbToDib(HBITMAP bitmap, HPALETTE palette) {
    CrdeDdbToDib proc = nullptr;
    if (!BindCrde("DdbToDib", proc)) return nullptr;
    HGLOBAL out = nullptr;
    if (!CallLibrary([&] { out = proc(bitmap, palette); })) return nullptr;
    return out;
}

// ---------------------------------------------------------------------------------------
// DIB handles, palettes, depths.

void FreeDibHandle(HGLOBAL& dib) {
    if (dib && GlobalSize(dib) > 1) {
        while (GlobalUnlock(dib)) {
        }
        GlobalFree(dib);
    }
    dib = nullptr;
}

HPALETTE DuplicatePalette(HPALETTE palette) {
    if (!palette) return nullptr;
    WORD count = 0;
    if (!GetObjectA(palette, sizeof count, &count) || !count) return nullptr;
    std::vector<uint8_t> block(sizeof(LOGPALETTE) + count * sizeof(PALETTEENTRY));
    LOGPALETTE* lp = reinterpret_cast<LOGPALETTE*>(block.data());
    lp->palVersion = 0x300;
    lp->palNumEntries = count;
    GetPaletteEntries(palette, 0, count, lp->palPalEntry);
    return CreatePalette(lp);
}

HGLOBAL Dib8To24(HGLOBAL dib) {
    const size_t size = dib ? GlobalSize(dib) : 0;
    if (size <= 4) throw ErrorInvalid("Input image is empty");
    const uint8_t* block = static_cast<const uint8_t*>(GlobalLock(dib));
    if (!block) throw ErrorInvalid("Input image is empty");
    img::Status s = img::kBadArgument;
    img::Dib out;
    if (size >= 40 && img::rd16(block + 14) == 8) {
        // A DIB without a colour table takes the default palette.
        PALETTEENTRY def[256];
        const UINT n = GetPaletteEntries(static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), 0, 256, def);
        img::Colour fallback[256];
        for (UINT i = 0; i < n; ++i) fallback[i] = img::Colour{def[i].peBlue, def[i].peGreen, def[i].peRed, 0};
        imgwin::useGlobalMemory();
        s = Expand8To24(block, size, fallback, n, out);
    }
    GlobalUnlock(dib);
    if (s == img::kBadArgument) throw ErrorInvalid("Input image is not 8 bit");
    if (s != img::kOk) {
        StoreDllError(s);
        return nullptr;
    }
    return imgwin::handOver(out);
}

namespace {

// A DIB handle locked and wrapped, borrowed, for the scope (ErrorInvalid for a header
// that cannot be wrapped).
class BorrowedDib {
public:
    explicit BorrowedDib(HGLOBAL h) : handle_(h), header_(h ? static_cast<BITMAPINFOHEADER*>(GlobalLock(h)) : nullptr) {
        wrap_.OwnsDib = false;
        try {
            wrap_.AttachDib(header_);
        } catch (...) {
            if (header_) GlobalUnlock(handle_);
            throw;
        }
    }
    ~BorrowedDib() {
        wrap_.AttachDib(nullptr);
        if (header_) GlobalUnlock(handle_);
    }
    BorrowedDib(const BorrowedDib&) = delete;
    BorrowedDib& operator=(const BorrowedDib&) = delete;
    ILTDib& wrap() { return wrap_; }
    const void* data() const { return header_; }

private:
    HGLOBAL handle_;
    BITMAPINFOHEADER* header_;
    ILTDib wrap_;
};

int bitCountOf(HGLOBAL dib) { return BorrowedDib(dib).wrap().BitCount(); }

// A new DIB with more colours; null when there is nothing to do or the library failed.
HGLOBAL increased(HGLOBAL dib, int bits, int target) {
    if (bits >= 24 || target <= bits) return nullptr;
    SetStatusText("Increasing colors ");
    switch (bits) {
        case 1: return DllConvertDepth(target <= 4 ? "DIB1to4" : target <= 8 ? "DIB1To8" : "DIB1To24", dib);
        case 4: return DllConvertDepth(target <= 8 ? "DIB4To8" : "DIB4To24", dib);
        case 8: return Dib8To24(dib);
        case 16: return DllConvertDepth("DIB16To24", dib);
        default: return nullptr;
    }
}

HGLOBAL reduced(HGLOBAL dib, int bits, int target, int dither, void* control, CrdeProgress progress) {
    SetStatusText("Reducing colors ");
    return bits == 32 ? DllConvertDepth("DIB32To24", dib) : DllReduceDib(dib, target, dither, control, progress);
}

}  // namespace

void IncreaseColors(HGLOBAL& dib, int targetBits) {
    if (!dib || GlobalSize(dib) <= 4) throw ErrorInvalid("Input image is empty");
    HGLOBAL out = increased(dib, bitCountOf(dib), targetBits);
    if (!out) return;
    FreeDibHandle(dib);
    dib = out;
}

bool ReduceColors(HGLOBAL& dib, int targetBits, int dither, void* control, CrdeProgress progress) {
    if (!dib || GlobalSize(dib) <= 4) throw ErrorInvalid("Input image is empty");
    HGLOBAL out = reduced(dib, bitCountOf(dib), targetBits, dither, control, progress);
    if (!out) return false;
    FreeDibHandle(dib);
    dib = out;
    return true;
}

int ScreenColorDepth() {
    HWND w = GetActiveWindow();
    HDC dc = GetDC(w);
    const int bits = dc ? GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES) : 24;
    if (dc) ReleaseDC(w, dc);
    return ScreenDepthFor(bits);
}

// ---------------------------------------------------------------------------------------
// Bitmaps.

ImagingBitmap& ImagingBitmap::operator=(ImagingBitmap&& o) noexcept {
    if (this != &o) {
        reset();
        bitmap_ = o.bitmap_;
        palette_ = o.palette_;
        o.bitmap_ = nullptr;
        o.palette_ = nullptr;
    }
    return *this;
}

void ImagingBitmap::reset() {
    if (bitmap_) DeleteObject(bitmap_);
    if (palette_) DeleteObject(palette_);
    bitmap_ = nullptr;
    palette_ = nullptr;
}

bool DibToBitmap(HGLOBAL dib, int bits, int dither, void* control, CrdeProgress progress, ImagingBitmap& out) {
    out.reset();
    if (!dib || GlobalSize(dib) <= 4) throw ErrorInvalid("Input image is empty");
    int have = 0, compression = 0;
    {
        BorrowedDib borrowed(dib);
        have = borrowed.wrap().BitCount();
        compression = borrowed.wrap().Compression();
    }
    if (compression == BI_RLE8 || compression == BI_RLE4) {
        HPALETTE pal = nullptr;
        HBITMAP bm = nullptr;
        bool ok;
        {
            BorrowedDib borrowed(dib);
            ok = DllDibToDdb(borrowed.data(), pal, bm);
        }
        if (!ok) return false;
        if (g_sharedPalette) {
            if (pal) DeleteObject(pal);
            pal = DuplicatePalette(g_sharedPalette);
        }
        out = ImagingBitmap(bm, pal);
        return true;
    }
    // A converted copy when the depth changes; the caller's DIB stays as it is.
    HGLOBAL work = dib;
    if (bits > 0 && have > bits) {
        work = reduced(dib, have, bits, dither, control, progress);
        if (!work) return false;
    } else if (bits > 0 && have < bits) {
        if (HGLOBAL more = increased(dib, have, bits)) work = more;
    }
    bool ok = false;
    HBITMAP bm = nullptr;
    HPALETTE pal = nullptr;
    try {
        BorrowedDib borrowed(work);
        ILTDib& wrap = borrowed.wrap();
        HWND active = GetActiveWindow();
        HDC dc = GetDC(active);
        void* bitsPtr = nullptr;
        bm = CreateDIBSection(dc, reinterpret_cast<const BITMAPINFO*>(borrowed.data()), DIB_RGB_COLORS, &bitsPtr, nullptr, 0);
        if (dc) ReleaseDC(active, dc);
        // The section's rows, no more than the block holds.
        const uint64_t section = img::dibStride(uint64_t(std::abs(wrap.Width())), unsigned(wrap.BitCount())) *
                                 uint64_t(std::abs(wrap.Height()));
        const uint64_t image = std::min<uint64_t>(uint64_t(wrap.DibSize()) - wrap.HeaderSize(), section);
        ok = bm && bitsPtr && wrap.BitsPtr();
        if (ok) std::memcpy(bitsPtr, wrap.BitsPtr(), size_t(image));
        pal = g_sharedPalette ? DuplicatePalette(g_sharedPalette) : DuplicatePalette(wrap.PaletteHandle());
    } catch (...) {
        if (bm) DeleteObject(bm);
        if (work != dib) FreeDibHandle(work);
        throw;
    }
    if (work != dib) FreeDibHandle(work);
    if (!ok) {
        if (bm) DeleteObject(bm);
        if (pal) DeleteObject(pal);
        SetLastDllErrorText("HDibToDDBSection, Could not move Data");
        return false;
    }
    out = ImagingBitmap(bm, pal);
    return true;
}

bool DllReadBitmap(ImageKind kind, const std::string& file, int depth, int dither, int page, CrdeProgress progress,
                   void* control, ImagingBitmap& out) {
    out.reset();
    HGLOBAL dib = nullptr;
    bool ok = false;
    switch (kind) {
        case ImageKind::Bmp: ok = DllReadBmp(file, depth, dither, progress, control, nullptr, dib); break;
        case ImageKind::Jpeg: ok = DllReadJpg(file, depth, dither, progress, control, nullptr, dib); break;
        case ImageKind::Png: ok = DllReadPng(file, depth, dither, progress, control, nullptr, dib); break;
        case ImageKind::Gif: ok = DllReadGif(file, depth, dither, progress, control, nullptr, dib); break;
        case ImageKind::Pcx: ok = DllReadPcx(file, depth, dither, progress, control, nullptr, dib); break;
        case ImageKind::Tiff: ok = DllReadTiff(file, depth, dither, page, progress, control, dib); break;
        case ImageKind::Tga: ok = DllReadTga(file, depth, dither, progress, control, dib); break;
        case ImageKind::Pcd: ok = DllReadPcd(file, depth, dither, page, progress, control, dib); break;
        case ImageKind::Eps: ok = DllReadEps(file, depth, dither, progress, control, dib); break;
    }
    if (!ok) {
        FreeDibHandle(dib);
        return false;
    }
    try {
        ok = DibToBitmap(dib, depth, dither, control, progress, out);
    } catch (...) {
        FreeDibHandle(dib);
        throw;
    }
    FreeDibHandle(dib);
    return ok;
}

bool SaveGraphicAsBmp(const std::string& file, int bits, const ImagingGraphic* graphic, CrdeProgress progress,
                      void* control) {
    return saveGraphic(graphic, [&](HGLOBAL dib) { return DllWriteBmp(file, bits, dib, progress, control); });
}

bool SaveGraphicAsPcx(const std::string& file, int bits, const ImagingGraphic* graphic, CrdeProgress progress,
                      void* control) {
    return saveGraphic(graphic, [&](HGLOBAL dib) { return DllWritePcx(file, bits, dib, progress, control); });
}

bool SaveGraphicAsGif(const std::string& file, int bits, const ImagingGraphic* graphic, CrdeProgress progress,
                      void* control) {
    return saveGraphic(graphic, [&](HGLOBAL dib) { return DllWriteGif(file, bits, dib, progress, control); });
}

bool SaveGraphicAsPng(const std::string& file, int bits, bool interlaced, const ImagingGraphic* graphic,
                      CrdeProgress progress, void* control) {
    return saveGraphic(graphic, [&](HGLOBAL dib) { return DllWritePng(file, bits, interlaced, dib, progress, control); });
}

bool SaveGraphicAsJpg(const std::string& file, int quality, int smoothing, int bits, const ImagingGraphic* graphic,
                      CrdeProgress progress, void* control) {
    return saveGraphic(graphic,
                       [&](HGLOBAL dib) { return DllWriteJpg(file, quality, smoothing, bits, dib, progress, control); });
}

bool SaveGraphicAsTga(const std::string& file, int bits, const ImagingGraphic* graphic, CrdeProgress progress,
                      void* control) {
    return saveGraphic(graphic, [&](HGLOBAL dib) { return DllWriteTga(file, bits, dib, progress, control); });
}

bool SaveGraphicAsTiff(const std::string& file, int compression, int bits, bool append, const ImagingGraphic* graphic,
                       CrdeProgress progress, void* control) {
    return saveGraphic(graphic,
                       [&](HGLOBAL dib) { return DllWriteTiff(file, compression, bits, append, dib, progress, control); });
}

}  // namespace imaging

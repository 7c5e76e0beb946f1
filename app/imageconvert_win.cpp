#include "imageconvert_win.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <exception>

#include "crdebinding_win.h"
#include "forms/application.h"
#include "imageconvert.h"
#include "ispbinding_win.h"

namespace stellwerk {

namespace {

// The DIB's width, height and depth; its image size set to height x row stride.
bool dibSize(HGLOBAL dib, int& width, int& height, int& bits) {
    if (!dib || GlobalSize(dib) < sizeof(BITMAPINFOHEADER)) return false;
    auto* h = static_cast<BITMAPINFOHEADER*>(GlobalLock(dib));
    if (!h) return false;
    width = h->biWidth, height = std::abs(h->biHeight), bits = h->biBitCount;
    const uint64_t stride = (uint64_t(uint32_t(std::max(width, 0))) * uint64_t(bits) + 31) / 32 * 4;
    const uint64_t image = stride * uint64_t(uint32_t(height));
    const bool ok = width > 0 && height > 0 && bits > 0 && image <= 0xFFFFFFFFu;
    if (ok) h->biSizeImage = DWORD(image);
    GlobalUnlock(dib);
    return ok;
}

bool read(const std::string& file, HGLOBAL& dib) {
    using imaging::SharedPalette;
    std::string type, info;
    CrdeInfo values{};
    if (!imaging::DllFileInfo(file, type, values, nullptr, nullptr, info)) return false;
    const int depth = values.bits;
    switch (ReaderForType(type)) {
        case PictureReader::Bmp: return imaging::DllReadBmp(file, depth, 0, nullptr, nullptr, SharedPalette(), dib);
        case PictureReader::Png: return imaging::DllReadPng(file, depth, 0, nullptr, nullptr, SharedPalette(), dib);
        case PictureReader::Gif: return imaging::DllReadGif(file, depth, 0, nullptr, nullptr, SharedPalette(), dib);
        case PictureReader::Pcx: return imaging::DllReadPcx(file, depth, 0, nullptr, nullptr, SharedPalette(), dib);
        case PictureReader::Jpg: return imaging::DllReadJpg(file, depth, 0, nullptr, nullptr, SharedPalette(), dib);
        case PictureReader::Pcd: return imaging::DllReadPcd(file, depth, 0, 1, nullptr, nullptr, dib);
        case PictureReader::Tga: return imaging::DllReadTga(file, depth, 0, nullptr, nullptr, dib);
        case PictureReader::Tiff: return imaging::DllReadTiff(file, depth, 0, 0, nullptr, nullptr, dib);
        case PictureReader::None: return false;
    }
    return false;
}

bool write(const std::string& file, int bits, const imaging::ImagingGraphic& g) {
    switch (WriterForFile(file)) {
        case PictureWriter::Bmp: return imaging::SaveGraphicAsBmp(file, bits, &g, nullptr, nullptr);
        case PictureWriter::Jpg: return imaging::SaveGraphicAsJpg(file, 90, 0, bits, &g, nullptr, nullptr);
        case PictureWriter::Gif: return imaging::SaveGraphicAsGif(file, bits, &g, nullptr, nullptr);
        case PictureWriter::Png: return imaging::SaveGraphicAsPng(file, bits, false, &g, nullptr, nullptr);
        case PictureWriter::Tga: return imaging::SaveGraphicAsTga(file, bits, &g, nullptr, nullptr);
        case PictureWriter::Tiff: return imaging::SaveGraphicAsTiff(file, 1, bits, false, &g, nullptr, nullptr);
        case PictureWriter::Pcx: return imaging::SaveGraphicAsPcx(file, bits, &g, nullptr, nullptr);
        case PictureWriter::None: return false;
    }
    return false;
}

bool convert(const std::string& source, const std::string& target, int width, int height, bool keepAspect) {
    if (ConversionCopies(source, target, width, height))
        return CopyFileA(source.c_str(), target.c_str(), TRUE) != 0;
    if (WriterForFile(target) == PictureWriter::None) return false;
    HGLOBAL dib = nullptr;
    if (!LoadAnyImage(source, dib)) return false;
    struct Freed {
        HGLOBAL& dib;
        ~Freed() { imaging::FreeDibHandle(dib); }
    } freed{dib};
    int w = 0, h = 0, bits = 0;
    if (!dibSize(dib, w, h, bits)) return false;
    const ConvertedSize size = ConvertTargetSize(w, h, width, height, keepAspect);
    if (size.width <= 0 || size.height <= 0) return false;
    if ((size.width != w || size.height != h) && (!ResizeDib(dib, size.width, size.height) || !dibSize(dib, w, h, bits)))
        return false;
    imaging::ImagingBitmap bitmap;
    if (!imaging::DibToBitmap(dib, 0, 0, nullptr, nullptr, bitmap)) return false;
    imaging::FreeDibHandle(dib);
    return write(target, bits, {bitmap.bitmap(), bitmap.palette()});
}

}  // namespace

bool LoadAnyImage(const std::string& file, HGLOBAL& dib) {
    dib = nullptr;
    int w = 0, h = 0, bits = 0;
    if (read(file, dib) && dibSize(dib, w, h, bits)) return true;
    imaging::FreeDibHandle(dib);
    return false;
}

bool ResizeDib(HGLOBAL& dib, int width, int height) {
    int w = 0, h = 0, bits = 0;
    if (!dibSize(dib, w, h, bits)) return false;
    if (w == width && h == height) return true;
    HGLOBAL scaled = bits == 1 ? imaging::DllScaleToGray(dib, width, height) : imaging::DllScaleDib(dib, width, height);
    if (!dibSize(scaled, w, h, bits)) {
        imaging::FreeDibHandle(scaled);
        return false;
    }
    imaging::FreeDibHandle(dib);
    dib = scaled;
    return true;
}

bool ConvertImageFile(const std::string& source, const std::string& target, bool deleteSource, int width, int height,
                      bool keepAspect) {
    bool ok = false;
    try {
        ok = convert(source, target, width, height, keepAspect);
    } catch (...) {
        forms::Application::Instance().HandleException(std::current_exception());
        return false;
    }
    if (ok && deleteSource) DeleteFileA(source.c_str());
    return ok;
}

}  // namespace stellwerk

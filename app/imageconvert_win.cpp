#include "imageconvert_win.h"

#include <cstdint>

#include "forms/textutil.h"
#include "imageconvert.h"
#include "ispbinding_win.h"
#include "msgstrs.h"

namespace stellwerk {

namespace {

struct DibFacts {
    int width = 0, height = 0, bits = 0;
};

// The header of a DIB handle, its image size set to height x stride when the
// block holds that much. False for a block too small for its header or pixels.
bool settle(HGLOBAL dib, DibFacts& f) {
    if (!dib) return false;
    const SIZE_T size = GlobalSize(dib);
    auto* h = static_cast<BITMAPINFOHEADER*>(GlobalLock(dib));
    if (!h) return false;
    bool ok = false;
    if (size >= sizeof(BITMAPINFOHEADER) && h->biWidth > 0 && h->biHeight != 0) {
        const uint64_t stride = (uint64_t(h->biWidth) * h->biBitCount + 31) / 32 * 4;
        const uint64_t image = stride * uint64_t(h->biHeight < 0 ? -int64_t(h->biHeight) : h->biHeight);
        if (image <= size && image <= UINT32_MAX) {
            h->biSizeImage = DWORD(image);
            f = {h->biWidth, h->biHeight < 0 ? -h->biHeight : h->biHeight, h->biBitCount};
            ok = true;
        }
    }
    GlobalUnlock(dib);
    return ok;
}

bool write(PictureWriter w, const std::string& file, int bits, HGLOBAL dib) {
    using namespace imaging;
    switch (w) {
    case PictureWriter::Bmp: return DllWriteBmp(file, bits, dib, nullptr, nullptr);
    case PictureWriter::Jpg: return DllWriteJpg(file, 90, 0, bits > 8 ? 24 : bits, dib, nullptr, nullptr);
    case PictureWriter::Gif: return DllWriteGif(file, bits, dib, nullptr, nullptr);
    case PictureWriter::Png: return DllWritePng(file, bits, false, dib, nullptr, nullptr);
    case PictureWriter::Tga: return DllWriteTga(file, bits, dib, nullptr, nullptr);
    case PictureWriter::Tiff: return DllWriteTiff(file, 1, bits, false, dib, nullptr, nullptr);
    case PictureWriter::Pcx: return DllWritePcx(file, bits, dib, nullptr, nullptr);
    case PictureWriter::None: break;
    }
    return false;
}

}  // namespace

void FillTypeCombo(forms::ComboBox& box, bool shortList) {
    box.SetStyle(forms::ComboStyle::DropDownList);
    box.Items().Clear();
    const int n = shortList ? kShortTypeCount : int(std::size(kOutputTypes));
    for (int i = 0; i < n; ++i) box.Items().Add(GetMsgText(kOutputTypes[i].text));
}

std::string TypeExtension(forms::ComboBox& box) {
    std::vector<std::string> names;
    for (const OutputType& t : kOutputTypes) names.push_back(GetMsgText(t.text));
    const int i = box.ItemIndex();
    return TypeExtensionFor(i >= 0 && i < box.Items().Count() ? box.Items()[i] : std::string(), names);
}

bool LoadAnyImage(const std::string& file, HGLOBAL& dib, void* control, CrdeProgress progress) {
    using namespace imaging;
    dib = nullptr;
    std::string type, info;
    CrdeInfo values{};
    if (!DllFileInfo(file, type, values, control, progress, info)) return false;
    type = forms::LowerCase(type);
    const int depth = values.bits;
    bool ok = false;
    if (type == "bmp") ok = DllReadBmp(file, depth, 0, progress, control, nullptr, dib);
    else if (type == "png") ok = DllReadPng(file, depth, 0, progress, control, nullptr, dib);
    else if (type == "gif") ok = DllReadGif(file, depth, 0, progress, control, nullptr, dib);
    else if (type == "pcx") ok = DllReadPcx(file, depth, 0, progress, control, nullptr, dib);
    else if (type == "jpg" || type == "jpeg") ok = DllReadJpg(file, depth, 0, progress, control, nullptr, dib);
    else if (type == "pcd") ok = DllReadPcd(file, depth, 0, 1, progress, control, dib);
    else if (type == "tga") ok = DllReadTga(file, depth, 0, progress, control, dib);
    else if (type == "tiff") ok = DllReadTiff(file, depth, 0, 0, progress, control, dib);
    DibFacts f;
    if (ok && settle(dib, f)) return true;
    FreeDibHandle(dib);
    return false;
}

bool ResizeDib(HGLOBAL& dib, int width, int height) {
    DibFacts f;
    if (!settle(dib, f) || width <= 0 || height <= 0) return false;
    if (f.width == width && f.height == height) return true;
    HGLOBAL scaled = f.bits == 1 ? imaging::DllScaleToGray(dib, width, height) : imaging::DllScaleDib(dib, width, height);
    DibFacts g;
    if (!settle(scaled, g)) {
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
    if (ConvertIsCopy(source, target, width, height)) {
        ok = CopyFileA(source.c_str(), target.c_str(), TRUE) != 0;
    } else {
        const PictureWriter writer = WriterFor(target);
        HGLOBAL dib = nullptr;
        if (writer == PictureWriter::None || !LoadAnyImage(source, dib, nullptr, nullptr)) return false;
        DibFacts f;
        settle(dib, f);
        const PictureDims size = ConvertedSize({f.width, f.height}, width, height, keepAspect);
        if (ResizeDib(dib, size.width, size.height) && settle(dib, f)) {
            // Written beside the target, then put in its place.
            const std::string part = target + ".part";
            ok = write(writer, part, f.bits, dib) &&
                 MoveFileExA(part.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED);
            if (!ok) DeleteFileA(part.c_str());
        }
        imaging::FreeDibHandle(dib);
    }
    if (ok && deleteSource) DeleteFileA(source.c_str());
    return ok;
}

}  // namespace stellwerk

#include "imageconvert.h"

#include <cmath>

#include "filenames.h"
#include "forms/textutil.h"

namespace stellwerk {

namespace {

int scaled(int side, int to, int from) {
    const double v = std::nearbyint(double(side) * double(to) / double(from));
    return v > 0x7FFFFFFF ? 0x7FFFFFFF : int(v);
}

std::string lowerExtension(std::string_view file) { return forms::LowerCase(FileExtOf(std::string(file))); }

}  // namespace

ConvertedSize ConvertTargetSize(int pictureWidth, int pictureHeight, int width, int height, bool keepAspect) {
    if (width == 0 && height == 0) return {pictureWidth, pictureHeight};
    if (height == 0)
        return {width, keepAspect && pictureWidth > 0 ? scaled(pictureHeight, width, pictureWidth) : pictureHeight};
    if (width == 0)
        return {keepAspect && pictureHeight > 0 ? scaled(pictureWidth, height, pictureHeight) : pictureWidth, height};
    return {width, height};
}

PictureReader ReaderForType(std::string_view type) {
    const std::string t = forms::LowerCase(std::string(type));
    if (t == "bmp") return PictureReader::Bmp;
    if (t == "png") return PictureReader::Png;
    if (t == "gif") return PictureReader::Gif;
    if (t == "pcx") return PictureReader::Pcx;
    if (t == "jpg" || t == "jpeg") return PictureReader::Jpg;
    if (t == "pcd") return PictureReader::Pcd;
    if (t == "tga") return PictureReader::Tga;
    if (t == "tiff") return PictureReader::Tiff;
    return PictureReader::None;
}

PictureWriter WriterForFile(std::string_view file) {
    const std::string e = lowerExtension(file);
    if (e == ".bmp") return PictureWriter::Bmp;
    if (e == ".jpg") return PictureWriter::Jpg;
    if (e == ".gif") return PictureWriter::Gif;
    if (e == ".png") return PictureWriter::Png;
    if (e == ".tga") return PictureWriter::Tga;
    if (e == ".tiff") return PictureWriter::Tiff;
    if (e == ".pcx") return PictureWriter::Pcx;
    return PictureWriter::None;
}

bool ConversionCopies(std::string_view source, std::string_view target, int width, int height) {
    return width == 0 && height == 0 && lowerExtension(source) == lowerExtension(target);
}

}  // namespace stellwerk

#include "imageconvert.h"

#include <algorithm>
#include <cmath>

#include "forms/textutil.h"

namespace stellwerk {

const OutputType kOutputTypes[6] = {{189, ".bmp"}, {190, ".jpg"},  {256, ".png"},
                                    {257, ".tga"}, {258, ".tiff"}, {259, ".pcx"}};

std::string TypeExtensionFor(std::string_view text, const std::vector<std::string>& names) {
    for (size_t i = 0; i < names.size() && i < std::size(kOutputTypes); ++i)
        if (names[i] == text) return kOutputTypes[i].ext;
    return ".bmp";
}

std::string LowerExtension(std::string_view file) {
    const size_t dot = file.rfind('.');
    const size_t sep = file.find_last_of("\\/:");
    if (dot == std::string_view::npos || (sep != std::string_view::npos && dot < sep)) return {};
    return forms::LowerCase(file.substr(dot));
}

PictureWriter WriterFor(std::string_view target) {
    const std::string e = LowerExtension(target);
    if (e == ".bmp") return PictureWriter::Bmp;
    if (e == ".jpg") return PictureWriter::Jpg;
    if (e == ".gif") return PictureWriter::Gif;
    if (e == ".png") return PictureWriter::Png;
    if (e == ".tga") return PictureWriter::Tga;
    if (e == ".tiff") return PictureWriter::Tiff;
    if (e == ".pcx") return PictureWriter::Pcx;
    return PictureWriter::None;
}

bool ConvertIsCopy(std::string_view source, std::string_view target, int width, int height) {
    return width == 0 && height == 0 && LowerExtension(source) == LowerExtension(target);
}

namespace {

int scaled(int side, int to, int from) {
    // Halves to even, as the platform's rounding of a floating-point value.
    return int(std::nearbyint(double(side) * to / from));
}

}  // namespace

PictureDims ConvertedSize(PictureDims p, int width, int height, bool keepAspect) {
    PictureDims out{width, height};
    if (width == 0 && height == 0) out = p;
    else if (height == 0) out.height = keepAspect && p.width > 0 ? scaled(p.height, width, p.width) : p.height;
    else if (width == 0) out.width = keepAspect && p.height > 0 ? scaled(p.width, height, p.height) : p.width;
    return {std::max(1, out.width), std::max(1, out.height)};
}

PictureDims ThumbnailSize(PictureDims p, int most) {
    if (p.width <= most && p.height <= most) return {std::max(1, p.width), std::max(1, p.height)};
    if (p.width >= p.height) return {most, std::max(1, scaled(p.height, most, p.width))};
    return {std::max(1, scaled(p.width, most, p.height)), most};
}

}  // namespace stellwerk

#pragma once
// The rules of picture conversion: the output types of the forms' type
// boxes, which target extension takes which writer, when a conversion is a
// plain copy, and the size a picture is converted to.
#include <string>
#include <string_view>
#include <vector>

namespace stellwerk {

struct OutputType {
    int text;         // message text of the display name
    const char* ext;  // with its dot
};
// .bmp, .jpg, .png, .tga, .tiff, .pcx; web publishing offers the first three.
extern const OutputType kOutputTypes[6];
constexpr int kShortTypeCount = 3;

// The extension of the first type whose display name equals the text
// exactly (names: the display names in table order); ".bmp" without a match.
std::string TypeExtensionFor(std::string_view text, const std::vector<std::string>& names);

enum class PictureWriter { None, Bmp, Jpg, Gif, Png, Tga, Tiff, Pcx };
// By the target's extension in any case; only ".jpg" writes JPEG and only
// ".tiff" TIFF.
PictureWriter WriterFor(std::string_view target);

// The lower-cased extension with its dot ("" without one; a dot in a folder
// name does not count).
std::string LowerExtension(std::string_view file);
// Same extensions without a size: the file is copied rather than converted.
bool ConvertIsCopy(std::string_view source, std::string_view target, int width, int height);

struct PictureDims {
    int width = 0, height = 0;
    bool operator==(const PictureDims&) const = default;
};
// The size of a W x H picture converted with the given width and height (0:
// the picture's, or with keepAspect the other side scaled by the same ratio,
// rounded to the nearest with halves to even). Never below 1 on a side.
PictureDims ConvertedSize(PictureDims picture, int width, int height, bool keepAspect);

// The thumbnail of a picture: the longer side at most `most`, the other
// scaled alike (rounded, halves to even, at least 1).
PictureDims ThumbnailSize(PictureDims picture, int most);

}  // namespace stellwerk

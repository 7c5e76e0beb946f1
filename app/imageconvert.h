#pragma once
// The rules of converting one picture file into another: the size the
// converted picture gets, the reader a file's type takes and the writer a
// target's extension takes.
#include <string>
#include <string_view>

namespace stellwerk {

struct ConvertedSize {
    int width = 0, height = 0;
    bool operator==(const ConvertedSize&) const = default;
};

// Width and height 0: the picture's own size. One of them 0: that side is the
// picture's scaled by the other (keepAspect) or the picture's own. Both given:
// as given. Scaled sides are rounded to the nearest integer, halves to even.
ConvertedSize ConvertTargetSize(int pictureWidth, int pictureHeight, int width, int height, bool keepAspect);

// The reader for the type text of the library's file information.
enum class PictureReader { None, Bmp, Png, Gif, Pcx, Jpg, Pcd, Tga, Tiff };
PictureReader ReaderForType(std::string_view type);

// The writer for a target file's extension (".jpeg" has none).
enum class PictureWriter { None, Bmp, Jpg, Gif, Png, Tga, Tiff, Pcx };
PictureWriter WriterForFile(std::string_view file);

// Source and target of one extension (letter case aside) without a size:
// the file is copied rather than converted.
bool ConversionCopies(std::string_view source, std::string_view target, int width, int height);

}  // namespace stellwerk

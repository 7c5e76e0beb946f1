// The image display control's rules for its properties and its loading: the stored
// JPEG settings, the depth asked of the readers, which reader a file name takes, the
// TIFF page read and the annotation file of a picture.
#pragma once
#include <string>
#include <string_view>

#include "depthhelpers.h"

namespace imaging {

// JPegSaveQuality: 1-100 as given, anything else 25.
int StoredJpegQuality(int value);
// JPegSaveSmooth: 0-100 as given, anything else 5.
int StoredJpegSmooth(int value);

// The depth asked of a reader for ImageReadRes: lColorVga 0, lMonoChrome 1, lColor16 4,
// lColor256 8, lColorTrue 24, lAutoMatic the screen depth.
int ReadDepthFor(TLoadResolution resolution, int screenDepth);

// How a picture file is read, from its extension.
enum class PictureSource {
    Platform,  // .WMF, .ICO: the platform's picture loader
    ScrollingMessage,  // .SCM
    CreditMessage,     // .CMS
    Resource,          // .RES: a bitmap resource of the program named by the base name
    Bmp, Jpeg, Png, Gif, Tiff, Tga, Pcx, Eps, Pcd, Dxf,
    Unknown,  // no reader for the type the file information found
};
// The extension (with its dot, any case) decides; any other extension takes the type
// text the file information found ("bmp", "jpg" ...).
PictureSource SourceFor(std::string_view extension, std::string_view infoType);
// The extension of a file name with its dot, upper-cased ("" without one).
std::string UpperExtension(std::string_view file);

// The TIFF page to read: within 0 .. pages - 1 (0 when the count is unknown).
int TiffPageToRead(int page, int pages);

// The annotation file of a picture: `annoFileName` when set; else the image name with
// its extension replaced by ".ant" (a dot in a folder name stays); else "default.ant".
std::string AnnotationFileFor(std::string_view annoFileName, std::string_view imageName);

}  // namespace imaging

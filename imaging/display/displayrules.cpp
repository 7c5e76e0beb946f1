#include "displayrules.h"

#include <algorithm>
#include <cctype>

namespace imaging {

namespace {

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = char(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// Where the last path component starts.
size_t nameStart(std::string_view file) {
    const size_t slash = file.find_last_of("\\/:");
    return slash == std::string_view::npos ? 0 : slash + 1;
}

// The dot of the extension, or npos.
size_t extensionDot(std::string_view file) {
    const size_t dot = file.find_last_of('.');
    return dot == std::string_view::npos || dot < nameStart(file) ? std::string_view::npos : dot;
}

}  // namespace

int StoredJpegQuality(int value) { return value >= 1 && value <= 100 ? value : 25; }
int StoredJpegSmooth(int value) { return value >= 0 && value <= 100 ? value : 5; }

int ReadDepthFor(TLoadResolution resolution, int screenDepth) {
    switch (resolution) {
        case lColorVga: return 0;
        case lMonoChrome: return 1;
        case lColor16: return 4;
        case lColor256: return 8;
        case lColorTrue: return 24;
        case lAutoMatic: break;
    }
    return screenDepth;
}

std::string UpperExtension(std::string_view file) {
    const size_t dot = extensionDot(file);
    return dot == std::string_view::npos ? std::string() : upper(file.substr(dot));
}

PictureSource SourceFor(std::string_view extension, std::string_view infoType) {
    struct Entry {
        const char* name;
        PictureSource source;
    };
    static constexpr Entry byExtension[] = {
        {".WMF", PictureSource::Platform},  {".ICO", PictureSource::Platform},
        {".SCM", PictureSource::ScrollingMessage}, {".CMS", PictureSource::CreditMessage},
        {".RES", PictureSource::Resource},  {".THB", PictureSource::Bmp},
        {".THJ", PictureSource::Jpeg},      {".BMP", PictureSource::Bmp},
        {".PNG", PictureSource::Png},       {".GIF", PictureSource::Gif},
        {".TIF", PictureSource::Tiff},      {".TIFF", PictureSource::Tiff},
        {".TGA", PictureSource::Tga},       {".PCX", PictureSource::Pcx},
        {".EPS", PictureSource::Eps},       {".PCD", PictureSource::Pcd},
        {".DXF", PictureSource::Dxf},       {".JPEG", PictureSource::Jpeg},
        {".JPG", PictureSource::Jpeg},
    };
    const std::string ext = upper(extension);
    for (const Entry& e : byExtension)
        if (ext == e.name) return e.source;
    static constexpr Entry byType[] = {
        {"BMP", PictureSource::Bmp}, {"JPG", PictureSource::Jpeg}, {"JPEG", PictureSource::Jpeg},
        {"PNG", PictureSource::Png}, {"GIF", PictureSource::Gif},  {"PCX", PictureSource::Pcx},
        {"PCD", PictureSource::Pcd}, {"TGA", PictureSource::Tga},  {"TIF", PictureSource::Tiff},
        {"TIFF", PictureSource::Tiff}, {"EPS", PictureSource::Eps}, {"DXF", PictureSource::Dxf},
    };
    const std::string type = upper(infoType);
    for (const Entry& e : byType)
        if (type == e.name) return e.source;
    return PictureSource::Unknown;
}

int TiffPageToRead(int page, int pages) {
    if (pages <= 0) return std::max(page, 0);
    return std::clamp(page, 0, pages - 1);
}

std::string AnnotationFileFor(std::string_view annoFileName, std::string_view imageName) {
    if (!annoFileName.empty()) return std::string(annoFileName);
    if (imageName.empty()) return "default.ant";
    const size_t dot = extensionDot(imageName);
    return std::string(imageName.substr(0, dot)) + ".ant";
}

}  // namespace imaging

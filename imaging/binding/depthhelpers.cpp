#include "depthhelpers.h"

namespace imaging {

int ScreenDepthFor(int deviceBits) { return deviceBits <= 4 ? 4 : deviceBits < 16 ? 8 : 24; }

int BitsForSaving(std::string_view type, TSaveResolution r, int screenDepth) {
    if (type == "jpg") return r == sMonoChrome || r == sJpegGray ? 1 : 24;
    if (type == "tga") {
        const int bits = r == sAutoMatic ? screenDepth : r == sColorTrue ? 24 : 8;
        return bits < 8 ? 8 : bits;
    }
    if (type == "dic") {
        const int bits = r == sAutoMatic ? screenDepth : 8;
        return bits < 8 ? 8 : bits;
    }
    auto gifBits = [&]() {
        if (r == sAutoMatic) return screenDepth;
        switch (r) {
            case sMonoChrome: return 1;
            case sColor16: return 4;
            case sColorVga: return 0;
            default: return 8;
        }
    };
    if (type == "gif") {
        const int bits = gifBits();
        return bits > 8 ? 8 : bits;
    }
    if (r == sAutoMatic) return screenDepth;
    if (r == sColorTrue) return 24;
    if (r == sColor256) return 8;
    return gifBits();
}

int TiffCompressionCode(TTiffCompression c) {
    switch (c) {
        case sNONE: return 1;
        case sCCITT: return 2;
        case sFAXCCITT3: return 3;
        case sFAXCCITT4: return 4;
        case sLZW: return 5;
        case sPACKBITS: return 32773;
    }
    return 1;
}

std::string TiffCompressionName(int code) {
    switch (code) {
        case 1: return "NONE";
        case 2: return "CCITT3";
        case 3: return "FAXCCITT3";
        case 4: return "FAXCCITT4";
        case 5: return "LZW";
        case 6: return "JPG";
        case 32773: return "PACKBITS";
        default: return "UNKNOWN";
    }
}

std::string FileBaseName(std::string_view path) {
    const size_t cut = path.find_last_of("\\/:");
    std::string_view name = cut == std::string_view::npos ? path : path.substr(cut + 1);
    name = name.substr(0, 64);
    return std::string(name.substr(0, name.find('.')));
}

}  // namespace imaging

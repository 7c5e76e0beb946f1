// Colour-depth helpers of the imaging binding: the depth a picture type is saved at, the
// screen depth, TIFF compression codes and names, file base names.
#pragma once
#include <string>
#include <string_view>

namespace imaging {

enum TSaveResolution { sColorVga, sMonoChrome, sColor16, sColor256, sColorTrue, sJpegGray, sAutoMatic };
enum TLoadResolution { lColorVga, lMonoChrome, lColor16, lColor256, lColorTrue, lAutoMatic };
enum TTiffCompression { sNONE, sCCITT, sFAXCCITT3, sFAXCCITT4, sLZW, sPACKBITS };

// The screen depth the library works with for a device's bits per pixel: 4 or less
// gives 4, below 16 gives 8, else 24.
int ScreenDepthFor(int deviceBits);
// Bits to save a picture type ("jpg", "tga", "dic", "gif", "bmp" ...) at; screenDepth
// is ScreenDepthFor of the canvas's device.
int BitsForSaving(std::string_view type, TSaveResolution resolution, int screenDepth);
int TiffCompressionCode(TTiffCompression compression);
// "NONE", "CCITT3", "FAXCCITT3", "FAXCCITT4", "LZW", "JPG", "PACKBITS" or "UNKNOWN".
std::string TiffCompressionName(int code);
// The characters after the last path delimiter (at most 64), cut before the first ".".
std::string FileBaseName(std::string_view path);

}  // namespace imaging

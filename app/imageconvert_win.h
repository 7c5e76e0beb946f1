#pragma once
// Converting one picture file into another through the imaging libraries:
// any picture type they read, optionally resized, written in the type of
// the target's extension.
#include <windows.h>

#include <string>

namespace stellwerk {

// Reads a picture of any type the library's file information names into a new
// DIB handle (the caller frees it); false when nothing was read.
bool LoadAnyImage(const std::string& file, HGLOBAL& dib);
// Scales the DIB to the size (1-bit pictures to grey); the handle is replaced.
bool ResizeDib(HGLOBAL& dib, int width, int height);
// Converts source into target (ConvertTargetSize for width, height and
// keepAspect); the same extension without a size copies the file, never
// over an existing one. The source is deleted after a success when asked.
// Library errors are reported through the application and answer false.
bool ConvertImageFile(const std::string& source, const std::string& target, bool deleteSource, int width, int height,
                      bool keepAspect);

}  // namespace stellwerk

#pragma once
// Picture conversion through the imaging libraries: any picture they read,
// optionally resized, written in the type of the target's extension; and the
// output-type boxes of the web-publishing and batch-render forms.
#include <windows.h>

#include <string>

#include "crdebinding_win.h"
#include "forms/stdctrls.h"

namespace stellwerk {

// A drop-down list of the output types: three (short, web publishing) or six.
void FillTypeCombo(forms::ComboBox& box, bool shortList);
// The extension of the type the box shows (".bmp" without a match).
std::string TypeExtension(forms::ComboBox& box);

// Reads any picture the library's file information names into a new DIB
// handle (the caller frees it), at the file's own depth. True for a picture
// of a positive size; its header's image size then holds height x stride.
bool LoadAnyImage(const std::string& file, HGLOBAL& dib, void* control, CrdeProgress progress);
// The DIB scaled to the size (1-bit pictures to grey); the handle is replaced.
bool ResizeDib(HGLOBAL& dib, int width, int height);
// Converts a picture file. Same extensions without a size copy the file
// (never over an existing target); otherwise the source is read, resized
// (0: kept, or with keepAspect scaled like the other side) and written by the
// target's extension, through a temporary file beside the target renamed
// over it when complete. On success the source is deleted when asked.
bool ConvertImageFile(const std::string& source, const std::string& target, bool deleteSource, int width, int height,
                      bool keepAspect);

}  // namespace stellwerk

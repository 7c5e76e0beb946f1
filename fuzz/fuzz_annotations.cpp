// The annotation file parser on arbitrary text: what it takes formats back to text that
// parses to the same annotations.
#include <cstdlib>

#include "annotations.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    img::AnnoPages pages;
    if (img::parseAnnotations(std::string_view(reinterpret_cast<const char*>(data), size), pages) != img::kOk) return 0;
    const std::string again = img::formatAnnotations(pages);
    img::AnnoPages back;
    if (img::parseAnnotations(again, back) != img::kOk || back != pages) std::abort();
    return 0;
}

// The metafile and icon header readers on arbitrary bytes: every range they give lies
// inside the input.
#include <cstdlib>

#include "platformpictures.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> in(data, size);
    if (const auto m = imaging::ParsePlaceableMetafile(in)) {
        if (m->recordsOffset + m->recordsSize > size) std::abort();
        if (m->widthAt(96) < 1 || m->heightAt(96) < 1) std::abort();
    }
    if (const auto icons = imaging::ParseIconDirectory(in)) {
        for (const auto& im : *icons)
            if (im.offset + im.size > size) std::abort();
        if (imaging::BestIconImage(*icons) >= icons->size()) std::abort();
    }
    return 0;
}

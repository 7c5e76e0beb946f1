// The picture files the display control hands to the platform instead of the imaging
// libraries: placeable metafiles (".WMF") and icons (".ICO"). Their headers are read and
// checked here; the platform only gets byte ranges that lie inside the file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace imaging {

struct PlaceableMetafile {
    int left = 0, top = 0, right = 0, bottom = 0;  // the bounding box in metafile units
    int unitsPerInch = 0;
    size_t recordsOffset = 0, recordsSize = 0;  // the metafile after the 22-byte header
    // The picture's size in pixels at `dpi` (at least 1 on each axis).
    int widthAt(int dpi) const;
    int heightAt(int dpi) const;
};
// A placeable metafile: its key, checksum, a non-empty box, units per inch above 0 and a
// metafile header whose size lies within the file; nullopt otherwise.
std::optional<PlaceableMetafile> ParsePlaceableMetafile(std::span<const uint8_t> file);

struct IconImage {
    int width = 0, height = 0;  // 0 in the directory stands for 256
    int bits = 0;
    size_t offset = 0, size = 0;
};
// An icon file's directory (type 1, at least one image, each image's bytes inside the
// file); nullopt otherwise.
std::optional<std::vector<IconImage>> ParseIconDirectory(std::span<const uint8_t> file);
// The image to show: the largest, then the deepest.
size_t BestIconImage(const std::vector<IconImage>& images);

}  // namespace imaging

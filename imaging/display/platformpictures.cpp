#include "platformpictures.h"

#include <algorithm>
#include <cstdlib>

namespace imaging {

namespace {

uint16_t u16(std::span<const uint8_t> b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }
int16_t s16(std::span<const uint8_t> b, size_t at) { return int16_t(u16(b, at)); }
uint32_t u32(std::span<const uint8_t> b, size_t at) { return uint32_t(u16(b, at)) | uint32_t(u16(b, at + 2)) << 16; }

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr size_t kPlaceableSize = 22, kMetaHeaderSize = 18;

int scaled(int units, int perInch, int dpi) {
    const int64_t px = int64_t(std::abs(units)) * dpi / perInch;
    return int(std::clamp<int64_t>(px, 1, 1 << 20));
}

}  // namespace

int PlaceableMetafile::widthAt(int dpi) const { return scaled(right - left, unitsPerInch, dpi); }
int PlaceableMetafile::heightAt(int dpi) const { return scaled(bottom - top, unitsPerInch, dpi); }

std::optional<PlaceableMetafile> ParsePlaceableMetafile(std::span<const uint8_t> file) {
    if (file.size() < kPlaceableSize + kMetaHeaderSize || u32(file, 0) != kPlaceableKey) return std::nullopt;
    uint16_t sum = 0;
    for (size_t i = 0; i < 20; i += 2) sum ^= u16(file, i);
    if (sum != u16(file, 20)) return std::nullopt;
    PlaceableMetafile m;
    m.left = s16(file, 6), m.top = s16(file, 8), m.right = s16(file, 10), m.bottom = s16(file, 12);
    m.unitsPerInch = u16(file, 14);
    if (m.unitsPerInch == 0 || m.left == m.right || m.top == m.bottom) return std::nullopt;
    // The metafile header: type 1 or 2, 9 words long, its size in words within the file.
    const auto body = file.subspan(kPlaceableSize);
    const uint16_t type = u16(body, 0), headerWords = u16(body, 2);
    const uint64_t words = u32(body, 6);
    if ((type != 1 && type != 2) || headerWords != 9 || words * 2 < kMetaHeaderSize || words * 2 > body.size())
        return std::nullopt;
    m.recordsOffset = kPlaceableSize;
    m.recordsSize = size_t(words * 2);
    return m;
}

std::optional<std::vector<IconImage>> ParseIconDirectory(std::span<const uint8_t> file) {
    if (file.size() < 6 || u16(file, 0) != 0 || u16(file, 2) != 1) return std::nullopt;
    const size_t count = u16(file, 4);
    if (count == 0 || file.size() < 6 + 16 * count) return std::nullopt;
    std::vector<IconImage> images;
    for (size_t i = 0; i < count; ++i) {
        const size_t e = 6 + 16 * i;
        IconImage im;
        im.width = file[e] ? file[e] : 256;
        im.height = file[e + 1] ? file[e + 1] : 256;
        im.bits = u16(file, e + 6);
        im.size = u32(file, e + 8);
        im.offset = u32(file, e + 12);
        if (im.size < 40 || im.offset < 6 + 16 * count || im.offset > file.size() || im.size > file.size() - im.offset)
            return std::nullopt;
        images.push_back(im);
    }
    return images;
}

size_t BestIconImage(const std::vector<IconImage>& images) {
    size_t best = 0;
    for (size_t i = 1; i < images.size(); ++i) {
        const auto key = [&](size_t k) { return std::pair(int64_t(images[k].width) * images[k].height, images[k].bits); };
        if (key(i) > key(best)) best = i;
    }
    return best;
}

}  // namespace imaging

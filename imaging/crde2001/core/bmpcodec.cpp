#include <cstring>
#include <new>

#include "codecs.h"

namespace img {

Status readBmp(const uint8_t* data, size_t size, Dib& out, Progress& progress) {
    out.reset();
    if (size < 2 || data[0] != 'B' || data[1] != 'M') return kBadFormat;
    if (size < 14 + 12) return kTruncated;
    const uint8_t* info = data + 14;
    const size_t infoLength = size - 14;
    size_t bitsAt = rd32(data + 10);
    // An offset inside the headers or beyond the file: the rows follow the colour table.
    const size_t packed = packedBitsOffset(info, infoLength);
    if (packed && (bitsAt < 14 + packed || bitsAt >= size)) bitsAt = 14 + packed;
    if (bitsAt > size) return kTruncated;
    return decodeDib(DibSource{info, infoLength, data + bitsAt, size - bitsAt}, out, progress);
}

Status bmpFileHeader(const Dib& dib, uint8_t header[14]) {
    if (dib.empty()) return kBadDib;
    const uint64_t total = 14 + uint64_t(dib.size());
    if (total > 0xFFFFFFFFu) return kTooLarge;
    std::memset(header, 0, 14);
    header[0] = 'B';
    header[1] = 'M';
    wr32(header + 2, uint32_t(total));
    wr32(header + 10, uint32_t(14 + dib.headerSize()));
    return kOk;
}

Status writeBmp(const Dib& dib, Bytes& out) {
    uint8_t header[14];
    if (Status s = bmpFileHeader(dib, header); s != kOk) return s;
    try {
        out.assign(header, header + 14);
        out.insert(out.end(), dib.data(), dib.data() + dib.size());
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    }
    return kOk;
}

}  // namespace img

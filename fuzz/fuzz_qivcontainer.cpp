// Qiv container reader on arbitrary containers: fed in pieces (the first byte chooses
// their size), then the whole-file checks, the preview reader, the chunk list, the
// texture table and the texture names of whatever payload came out.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "qivcontainer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const size_t piece = size_t(data[0]) * 7 + 1;
    const uint8_t* file = data + 1;
    const size_t n = size - 1;

    QivContainerReader r;
    for (size_t at = 0; at < n; at += piece) r.feed(file + at, std::min(piece, n - at), n);
    qivIsContainer(file, n);
    std::vector<uint8_t> jpeg;
    qivExtractPreview(file, n, &jpeg);

    if (r.payloadKnown()) {
        const QivPayloadHeader& h = r.payloadHeader();
        const uint8_t* p = r.payload();
        const uint64_t have = std::min<uint64_t>(r.inflated(), h.payloadSize);
        uint32_t l = 0;
        if (h.previewOffset && have >= uint64_t(h.previewOffset) + 4) qivPreviewLength(p, h, &l);
        std::string name;
        for (uint32_t i = 0; i < 4; ++i) qivTextureName(p, have, h, i, &name);
        uint64_t cursor = h.chunkOffset ? h.chunkOffset : h.payloadSize;
        QivChunkHead c;
        for (int guard = 0; guard < 4096 && qivReadChunkHead(p, h.payloadSize, have, cursor, &c) == QivRead::Ok;
             ++guard) {
            if (c.next <= have) {
                const uint8_t* d = p + cursor + QIV_CHUNK_HEADER_SIZE;
                std::vector<QivTextureEntry> table;
                if (c.type == QIV_CHUNK_TEXTURES) qivParseTextureTable(d, c.length, &table);
                if (c.type == QIV_CHUNK_VIEWS) qivParseSavedViews(d, c.length);
            }
            cursor = c.next;
        }
    }
    QivKeptContainer kept = r.takeKept();
    std::vector<uint8_t> image;
    qivStreamImage(kept, &image);
    return 0;
}

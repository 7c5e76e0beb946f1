// Qiv container layout, checks, the incremental reader and the saved images.
#include "qivcontainer.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "scene/bytes.h"

using bytes::rd16;
using bytes::rd32;
using bytes::wr32;

namespace {

// Raw copies larger than this are refused (a stream of empty blocks could grow it forever).
constexpr uint64_t RAW_COPY_MAX = uint64_t(QIV_PAYLOAD_MAX) * 2 + (1u << 20);

z_stream* zsOf(void* p) { return static_cast<z_stream*>(p); }

int zInit(z_stream* zs) {
    std::memset(zs, 0, sizeof *zs);
    return inflateInit_(zs, "1.1.3", int(sizeof(z_stream))) == Z_OK;
}

// Fills out[0..want) from the payload of a whole container in memory. 1 when all of it came.
int payloadPrefix(const uint8_t* data, size_t size, const QivContainerHeader& h, uint8_t* out, size_t want) {
    if (h.payloadOffset >= size) return 0;
    const uint8_t* in = data + h.payloadOffset;
    const size_t inLength = size - h.payloadOffset;
    if (h.method == QIV_METHOD_STORED) {
        if (inLength < want) return 0;
        std::memcpy(out, in, want);
        return 1;
    }
    z_stream zs;
    if (!zInit(&zs)) return 0;
    size_t done = 0;
    int r = Z_OK;
    // One input block may exceed what avail_in can hold.
    while (done < want) {
        if (zs.avail_in == 0) {
            const size_t used = size_t(zs.next_in ? zs.next_in - in : 0);
            if (used >= inLength) break;
            zs.next_in = const_cast<Bytef*>(in + used);
            zs.avail_in = uInt(std::min<size_t>(inLength - used, 1u << 30));
        }
        zs.next_out = out + done;
        zs.avail_out = uInt(std::min<size_t>(want - done, 1u << 30));
        const uInt before = zs.avail_out;
        r = inflate(&zs, Z_SYNC_FLUSH);
        done += before - zs.avail_out;
        if (r != Z_OK) break;
    }
    inflateEnd(&zs);
    return done == want && (r == Z_OK || r == Z_STREAM_END) ? 1 : 0;
}

}  // namespace

int qivParseContainerHeader(const uint8_t* header, QivContainerHeader* out) {
    if (!header || !out) return 0;
    if (rd32(header) != QIV_CONTAINER_MAGIC || rd32(header + 4) != 0) return 0;
    QivContainerHeader h;
    h.payloadOffset = rd32(header + 8);
    h.method = rd32(header + 12);
    h.endOffset = rd32(header + 16);
    h.fileTime = uint64_t(rd32(header + 20)) | uint64_t(rd32(header + 24)) << 32;
    if (h.payloadOffset < QIV_CONTAINER_HEADER_SIZE) return 0;
    if (h.method != QIV_METHOD_STORED && h.method != QIV_METHOD_DEFLATED) return 0;
    *out = h;
    return 1;
}

int qivParsePayloadHeader(const uint8_t* header, QivPayloadHeader* out) {
    if (!header || !out) return 0;
    if (rd32(header) != QIV_PAYLOAD_MAGIC || rd32(header + 8) != QIV_PAYLOAD_VERSION) return 0;
    QivPayloadHeader h;
    h.payloadSize = rd32(header + 4);
    h.version = rd32(header + 8);
    h.previewOffset = rd32(header + 12);
    h.previewSize = rd32(header + 16);
    h.objectOffset = rd32(header + 20);
    h.objectLength = rd32(header + 24);
    h.chunkOffset = rd32(header + 28);
    *out = h;
    return 1;
}

uint64_t qivInflationAllowance(uint64_t received) {
    const uint64_t bound = received > (UINT64_MAX - QIV_INFLATION_SLACK) / QIV_INFLATION_RATIO_MAX
                               ? UINT64_MAX
                               : received * QIV_INFLATION_RATIO_MAX + QIV_INFLATION_SLACK;
    return std::min<uint64_t>(bound, QIV_PAYLOAD_MAX);
}

uint32_t qivCheckPayloadLayout(const QivPayloadHeader& h) {
    const uint64_t size = h.payloadSize;
    if (size < QIV_PAYLOAD_HEADER_SIZE || size > QIV_PAYLOAD_MAX) return 4;
    if (h.previewOffset) {
        if (h.previewOffset < QIV_PAYLOAD_HEADER_SIZE || h.previewSize < 4) return 4;
        if (uint64_t(h.previewOffset) + h.previewSize > size) return 4;
    }
    if (h.objectOffset < QIV_PAYLOAD_HEADER_SIZE) return 4;
    if (uint64_t(h.objectOffset) + h.objectLength > size) return 4;
    if (h.chunkOffset && (h.chunkOffset < QIV_PAYLOAD_HEADER_SIZE || h.chunkOffset > size)) return 4;
    return 0;
}

int qivPreviewLength(const uint8_t* payload, const QivPayloadHeader& h, uint32_t* length) {
    if (!payload || !h.previewOffset) return 0;
    const uint32_t l = rd32(payload + h.previewOffset);
    if (l == 0 || uint64_t(l) + 4 > h.previewSize) return 0;
    *length = l;
    return 1;
}

QivRead qivReadChunkHead(const uint8_t* payload, uint32_t payloadSize, uint64_t inflated, uint64_t cursor,
                         QivChunkHead* out) {
    if (cursor >= payloadSize || payloadSize - cursor < QIV_CHUNK_HEADER_SIZE) return QivRead::End;
    if (inflated < cursor + QIV_CHUNK_HEADER_SIZE) return QivRead::NeedMore;
    QivChunkHead c;
    c.type = rd32(payload + cursor);
    c.length = rd32(payload + cursor + 4);
    c.next = cursor + QIV_CHUNK_HEADER_SIZE + uint64_t(c.length);
    if (c.next > payloadSize) return QivRead::Bad;
    *out = c;
    return QivRead::Ok;
}

int qivTextureTableCount(const uint8_t* data, uint32_t available, uint32_t* count) {
    if (available < 2) return 0;
    *count = rd16(data);
    return 1;
}

int qivParseTextureTable(const uint8_t* data, uint32_t length, std::vector<QivTextureEntry>* out) {
    out->clear();
    uint32_t count = 0;
    if (!qivTextureTableCount(data, length, &count)) return 0;
    const uint64_t tableEnd = 2 + uint64_t(count) * QIV_TEXTURE_ENTRY_SIZE;
    if (tableEnd > length) return 0;
    out->resize(count);
    uint64_t file = tableEnd;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* e = data + 2 + uint64_t(i) * QIV_TEXTURE_ENTRY_SIZE;
        QivTextureEntry& t = (*out)[i];
        const uint32_t index = rd16(e);
        t.index = index & 0x7FFF;
        t.colour = (index & 0x8000) != 0;
        t.value = rd32(e + 2);
        if (!t.colour && (t.value & 0x80000000u)) {
            t.shared = true;
            t.sharedPos = t.value & 0x7FFF;
            // Only an earlier entry can be named; its owner is already resolved.
            if (t.sharedPos >= i) {
                out->clear();
                return 0;
            }
            t.sharedPos = qivTextureOwner(*out, t.sharedPos);
        } else if (!t.colour) {
            t.fileOffset = file;
            file += t.value;
            if (file > length) {
                out->clear();
                return 0;
            }
        }
    }
    return 1;
}

uint32_t qivTextureOwner(const std::vector<QivTextureEntry>& table, uint32_t i) {
    return i < table.size() && table[i].shared ? table[i].sharedPos : i;
}

int qivTextureName(const uint8_t* payload, uint64_t present, const QivPayloadHeader& h, uint32_t index,
                   std::string* name) {
    name->clear();
    if (!payload) return 0;
    uint64_t limit = std::min<uint64_t>(uint64_t(h.objectOffset) + h.objectLength, h.payloadSize);
    limit = std::min(limit, present);
    const uint64_t wordAt = uint64_t(h.objectOffset) + QIV_OBJECT_NAME_BYTES_AT;
    if (wordAt + 2 > limit) return 0;
    uint64_t p = uint64_t(h.objectOffset) + QIV_OBJECT_HEAD_BYTES + rd16(payload + wordAt);
    for (uint32_t i = 0;; ++i) {
        uint64_t q = p;
        while (q < limit && payload[q]) ++q;
        if (q >= limit || q == p) return 0;  // runs out, or the empty name that ends the list
        if (i == index) {
            const uint64_t n = std::min<uint64_t>(q - p, QIV_TEXTURE_NAME_MAX);
            name->assign(reinterpret_cast<const char*>(payload + p), size_t(n));
            return 1;
        }
        p = q + 1;
    }
}

std::vector<QivSavedView> qivParseSavedViews(const uint8_t* data, uint32_t length) {
    std::vector<QivSavedView> views(length / QIV_SAVED_VIEW_SIZE);
    for (size_t i = 0; i < views.size(); ++i) {
        const uint8_t* r = data + i * QIV_SAVED_VIEW_SIZE;
        for (int k = 0; k < 7; ++k) views[i].values[k] = bytes::rdf(r + 4 * k);
        views[i].flag = int32_t(rd32(r + 28));
    }
    return views;
}

int qivIsContainer(const uint8_t* data, size_t size) {
    if (!data || size < QIV_CONTAINER_HEADER_SIZE) return 0;
    QivContainerHeader h;
    if (!qivParseContainerHeader(data, &h)) return 0;
    uint8_t first[QIV_PAYLOAD_HEADER_SIZE];
    if (!payloadPrefix(data, size, h, first, sizeof first)) return 0;
    QivPayloadHeader p;
    return qivParsePayloadHeader(first, &p);
}

int qivExtractPreview(const uint8_t* data, size_t size, std::vector<uint8_t>* jpeg) {
    jpeg->clear();
    if (!data || size < QIV_CONTAINER_HEADER_SIZE) return 0;
    QivContainerHeader h;
    if (!qivParseContainerHeader(data, &h)) return 0;
    uint8_t first[QIV_PAYLOAD_HEADER_SIZE];
    if (!payloadPrefix(data, size, h, first, sizeof first)) return 0;
    QivPayloadHeader p;
    if (!qivParsePayloadHeader(first, &p) || !p.previewOffset || qivCheckPayloadLayout(p)) return 0;
    const uint64_t wanted = uint64_t(p.previewOffset) + p.previewSize;
    // A preview cannot demand more than the file's bytes may inflate to.
    if (wanted > qivInflationAllowance(size)) return 0;
    const size_t want = size_t(wanted);
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[want]);
    if (!buffer || !payloadPrefix(data, size, h, buffer.get(), want)) return 0;
    uint32_t l = 0;
    if (!qivPreviewLength(buffer.get(), p, &l)) return 0;
    const uint8_t* pic = buffer.get() + p.previewOffset + 4;
    jpeg->assign(pic, pic + l);
    return 1;
}

int qivSaveImage(const QivKeptContainer& kept, std::vector<uint8_t>* out) {
    out->clear();
    if (!kept.stored) {
        if (kept.raw.empty()) return 0;
        *out = kept.raw;
        return 1;
    }
    if (!kept.payload || kept.payloadLength > UINT32_MAX - QIV_CONTAINER_HEADER_SIZE) return 0;
    out->assign(kept.header, kept.header + QIV_CONTAINER_HEADER_SIZE);
    wr32(out->data() + 8, QIV_CONTAINER_HEADER_SIZE);
    wr32(out->data() + 16, uint32_t(QIV_CONTAINER_HEADER_SIZE + kept.payloadLength));
    out->insert(out->end(), kept.payload, kept.payload + kept.payloadLength);
    return 1;
}

int qivCompactImage(const QivKeptContainer& kept, std::vector<uint8_t>* out) {
    out->clear();
    if (kept.stored) return qivSaveImage(kept, out);
    QivContainerHeader h;
    if (kept.raw.size() < QIV_CONTAINER_HEADER_SIZE || !qivParseContainerHeader(kept.raw.data(), &h)) return 0;
    const size_t size = kept.raw.size();
    if (h.payloadOffset > size) return 0;
    // An end offset beyond what was received (or before the payload) takes the bytes there are.
    const size_t end = h.endOffset >= h.payloadOffset && h.endOffset <= size ? h.endOffset : size;
    const size_t length = end - h.payloadOffset;
    if (length > UINT32_MAX - QIV_CONTAINER_HEADER_SIZE) return 0;
    out->assign(kept.raw.begin(), kept.raw.begin() + QIV_CONTAINER_HEADER_SIZE);
    wr32(out->data() + 8, QIV_CONTAINER_HEADER_SIZE);
    wr32(out->data() + 16, uint32_t(QIV_CONTAINER_HEADER_SIZE + length));
    out->insert(out->end(), kept.raw.begin() + std::ptrdiff_t(h.payloadOffset), kept.raw.begin() + std::ptrdiff_t(end));
    return 1;
}

int qivStreamImage(const QivKeptContainer& kept, std::vector<uint8_t>* out) {
    std::vector<uint8_t> image;
    if (!qivSaveImage(kept, &image) || image.size() > UINT32_MAX) return 0;
    out->resize(4);
    wr32(out->data(), uint32_t(image.size()));
    out->insert(out->end(), image.begin(), image.end());
    return 1;
}

// ---------------------------------------------------------------------------
// Incremental reader

QivContainerReader::QivContainerReader() = default;

QivContainerReader::~QivContainerReader() {
    if (zs_) {
        if (zInit_) inflateEnd(zsOf(zs_));
        delete zsOf(zs_);
    }
}

QivContainerReader::Status QivContainerReader::fail(uint32_t level, const char* text) {
    status_ = Status::Failed;
    errorLevel_ = level;
    errorText_ = text;
    return status_;
}

QivContainerReader::Status QivContainerReader::feed(const uint8_t* data, size_t n, uint64_t expectedTotal) {
    if (!data) n = 0;
    if (status_ == Status::Complete && container_.method == QIV_METHOD_DEFLATED && n) {
        // The rest of the stream (its check value, trailing bytes) still belongs to the copy.
        received_ += n;
        if (raw_.size() + n <= RAW_COPY_MAX) raw_.insert(raw_.end(), data, data + n);
        return status_;
    }
    if (status_ != Status::NeedMore) return status_;
    received_ += n;
    size_t used = 0;
    if (headerBytes_ < QIV_CONTAINER_HEADER_SIZE) {
        const size_t take = std::min<size_t>(QIV_CONTAINER_HEADER_SIZE - headerBytes_, n);
        if (take) std::memcpy(header_ + headerBytes_, data, take);
        headerBytes_ += uint32_t(take);
        used = take;
        position_ += take;
        if (headerBytes_ < QIV_CONTAINER_HEADER_SIZE) return status_;
        if (!qivParseContainerHeader(header_, &container_)) return fail(3, "Not a Qiv container");
        if (container_.method == QIV_METHOD_DEFLATED) {
            const uint64_t reserve = std::min<uint64_t>(expectedTotal, 64u << 20);
            raw_.reserve(size_t(std::max<uint64_t>(reserve, QIV_CONTAINER_HEADER_SIZE)));
            raw_.assign(header_, header_ + QIV_CONTAINER_HEADER_SIZE);
            zs_ = new (std::nothrow) z_stream;
            if (!zs_ || !zInit(zsOf(zs_))) return fail(1, "No memory for the container's inflation");
            zInit_ = true;
        }
    }
    const uint8_t* rest = data + used;
    size_t left = n - used;
    if (container_.method == QIV_METHOD_DEFLATED && left) {
        if (raw_.size() + left > RAW_COPY_MAX) return fail(4, "Container larger than its payload allows");
        raw_.insert(raw_.end(), rest, rest + left);
    }
    // Bytes between the header and the payload offset are skipped, in whatever piece they come.
    if (position_ < container_.payloadOffset) {
        const size_t skip = size_t(std::min<uint64_t>(container_.payloadOffset - position_, left));
        rest += skip;
        left -= skip;
        position_ += skip;
    }
    if (left && !ended_ && !complete()) pump(rest, left);
    position_ += left;
    if (status_ == Status::Failed) return status_;
    if (complete()) status_ = Status::Complete;
    return status_;
}

bool QivContainerReader::afterFirstBlock() {
    QivPayloadHeader h;
    if (!qivParsePayloadHeader(first_, &h)) {
        fail(3, "Qiv container payload has wrong format");
        return false;
    }
    if (h.payloadSize > QIV_PAYLOAD_MAX) {
        fail(4, "Qiv container payload larger than 64 MiB");
        return false;
    }
    if (qivCheckPayloadLayout(h)) {
        fail(4, "Qiv container payload header names areas outside the payload");
        return false;
    }
    // The buffer grows with the data: a header cannot make us allocate what never comes.
    payloadHeader_ = h;
    if (!reserve(std::min<uint64_t>(h.payloadSize, 1u << 16))) return false;
    std::memcpy(payload_.get(), first_, QIV_PAYLOAD_HEADER_SIZE);
    payloadKnown_ = true;
    return true;
}

bool QivContainerReader::reserve(uint64_t bytes) {
    if (bytes <= capacity_) return true;
    // The payload grows only as far as the bytes received may inflate to.
    const uint64_t allowance = qivInflationAllowance(received_);
    if (bytes > allowance) {
        fail(4, "Qiv container inflates to more than its size allows (a deflate bomb)");
        return false;
    }
    bytes = std::min<uint64_t>(std::max<uint64_t>(bytes, capacity_ * 2), payloadHeader_.payloadSize);
    bytes = std::min<uint64_t>(bytes, allowance);
    std::unique_ptr<uint8_t[]> grown(new (std::nothrow) uint8_t[size_t(bytes)]);
    if (!grown) {
        fail(1, "No memory for the container's payload");
        return false;
    }
    if (payload_) std::memcpy(grown.get(), payload_.get(), size_t(inflated_));
    payload_ = std::move(grown);
    capacity_ = bytes;
    return true;
}

bool QivContainerReader::storeOut(const uint8_t* src, size_t n) {
    // Stored payload: copy what fits into the header block, then the payload.
    while (n && !complete()) {
        if (!payloadKnown_) {
            const size_t take = std::min<size_t>(QIV_PAYLOAD_HEADER_SIZE - size_t(inflated_), n);
            std::memcpy(first_ + inflated_, src, take);
            inflated_ += take;
            src += take;
            n -= take;
            if (inflated_ == QIV_PAYLOAD_HEADER_SIZE && !afterFirstBlock()) return false;
        } else {
            const size_t take = size_t(std::min<uint64_t>(payloadHeader_.payloadSize - inflated_, n));
            if (!reserve(inflated_ + take)) return false;
            std::memcpy(payload_.get() + inflated_, src, take);
            inflated_ += take;
            src += take;
            n -= take;
        }
    }
    return true;
}

void QivContainerReader::pump(const uint8_t* data, size_t n) {
    if (container_.method == QIV_METHOD_STORED) {
        storeOut(data, n);
        return;
    }
    z_stream* zs = zsOf(zs_);
    while (n) {
        const size_t chunk = std::min<size_t>(n, 1u << 30);
        zs->next_in = const_cast<Bytef*>(data);
        zs->avail_in = uInt(chunk);
        for (;;) {
            uint8_t* out;
            uint64_t room;
            if (!payloadKnown_) {
                out = first_ + inflated_;
                room = QIV_PAYLOAD_HEADER_SIZE - inflated_;
            } else {
                if (inflated_ == capacity_ && !reserve(inflated_ + 1)) return;
                out = payload_.get() + inflated_;
                room = capacity_ - inflated_;
            }
            zs->next_out = out;
            zs->avail_out = uInt(std::min<uint64_t>(room, 1u << 30));
            const uInt outBefore = zs->avail_out, inBefore = zs->avail_in;
            const int r = inflate(zs, Z_SYNC_FLUSH);
            inflated_ += outBefore - zs->avail_out;
            const bool progress = outBefore != zs->avail_out || inBefore != zs->avail_in;
            if (!payloadKnown_ && inflated_ == QIV_PAYLOAD_HEADER_SIZE && !afterFirstBlock()) return;
            if (complete()) return;
            if (r == Z_STREAM_END || (r != Z_OK && r != Z_BUF_ERROR)) {
                // The stream ended before the declared size, or is corrupt: nothing more comes.
                ended_ = true;
                return;
            }
            if (!progress || (zs->avail_in == 0 && zs->avail_out != 0)) break;
        }
        data += chunk;
        n -= chunk;
    }
}

std::unique_ptr<uint8_t[]> QivContainerReader::takePayload() { return std::move(payload_); }

QivKeptContainer QivContainerReader::takeKept() {
    QivKeptContainer k;
    std::memcpy(k.header, header_, sizeof header_);
    k.stored = container_.method == QIV_METHOD_STORED;
    if (!k.stored) k.raw = std::move(raw_);
    k.payload = payload_.get();
    k.payloadLength = payloadKnown_ ? size_t(std::min<uint64_t>(inflated_, payloadHeader_.payloadSize)) : 0;
    return k;
}

#include "qivcontainer.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/qiv_writer.h"

using qivw::Bytes;

namespace {

Bytes samplePayload() {
    qivw::Container c;
    c.preview = Bytes(300, 0x11);
    c.second = Bytes(20, 0x22);
    c.chunks = {qivw::savedViews(2), {0x15, Bytes(10, 7)}};
    return qivw::payload(c);
}

// Feeds the container in pieces from the split function; the payload that came out.
Bytes readAll(const Bytes& file, const std::function<size_t(size_t)>& piece, QivContainerReader* r) {
    size_t at = 0;
    while (at < file.size()) {
        const size_t n = std::min(piece(at), file.size() - at);
        r->feed(file.data() + at, n, file.size());
        at += n;
    }
    if (!r->payloadKnown()) return {};
    return Bytes(r->payload(), r->payload() + r->inflated());
}

}  // namespace

TEST(QivContainerHeader, ChecksEveryField) {
    const Bytes good = qivw::wrap(samplePayload(), 1, 8);
    QivContainerHeader h;
    ASSERT_EQ(qivParseContainerHeader(good.data(), &h), 1);
    EXPECT_EQ(h.payloadOffset, 48u);
    EXPECT_EQ(h.method, 1u);
    EXPECT_EQ(h.endOffset, good.size());
    struct Case {
        size_t at;
        uint32_t value;
    } bad[] = {{0, 0x21766972}, {4, 1}, {8, 39}, {8, 0}, {12, 2}};
    for (const Case& c : bad) {
        Bytes b = good;
        testbytes::set32(b, c.at, c.value);
        EXPECT_EQ(qivParseContainerHeader(b.data(), &h), 0) << c.at;
        EXPECT_EQ(qivIsContainer(b.data(), b.size()), 0) << c.at;
    }
    EXPECT_EQ(qivIsContainer(good.data(), good.size()), 1);
    EXPECT_EQ(qivIsContainer(good.data(), 39), 0);
    Bytes wrongVersion = samplePayload();
    testbytes::set32(wrongVersion, 8, 2);
    EXPECT_EQ(qivIsContainer(qivw::wrap(wrongVersion, 0).data(), qivw::wrap(wrongVersion, 0).size()), 0);
}

TEST(QivContainerHeader, LayoutMustFitThePayload) {
    QivPayloadHeader base;
    const Bytes p = samplePayload();
    ASSERT_EQ(qivParsePayloadHeader(p.data(), &base), 1);
    ASSERT_EQ(qivCheckPayloadLayout(base), 0u);
    struct Case {
        const char* what;
        void (*mutate)(QivPayloadHeader&);
    } cases[] = {
        {"shorter than its block", [](QivPayloadHeader& h) { h.payloadSize = 39; }},
        {"beyond the limit", [](QivPayloadHeader& h) { h.payloadSize = QIV_PAYLOAD_MAX + 1; }},
        {"preview inside the header", [](QivPayloadHeader& h) { h.previewOffset = 12; }},
        {"preview area without a length word", [](QivPayloadHeader& h) { h.previewSize = 3; }},
        {"preview area past the end", [](QivPayloadHeader& h) { h.previewSize = h.payloadSize; }},
        {"preview offset wraps", [](QivPayloadHeader& h) { h.previewOffset = 0xFFFFFFF0u; }},
        {"object past the end", [](QivPayloadHeader& h) { h.objectLength = h.payloadSize - h.objectOffset + 1; }},
        {"object length wraps", [](QivPayloadHeader& h) { h.objectLength = 0xFFFFFFFFu; }},
        {"chunk list past the end", [](QivPayloadHeader& h) { h.chunkOffset = h.payloadSize + 1; }},
        {"chunk list in the header", [](QivPayloadHeader& h) { h.chunkOffset = 8; }},
    };
    for (const Case& c : cases) {
        QivPayloadHeader h = base;
        c.mutate(h);
        EXPECT_EQ(qivCheckPayloadLayout(h), 4u) << c.what;
    }
    uint32_t l = 0;
    EXPECT_EQ(qivPreviewLength(p.data(), base, &l), 1);
    EXPECT_EQ(l, 300u);
    Bytes longer = p;
    testbytes::set32(longer, base.previewOffset, base.previewSize - 3);  // L + 4 one past the area
    EXPECT_EQ(qivPreviewLength(longer.data(), base, &l), 0);
    testbytes::set32(longer, base.previewOffset, 0xFFFFFFFFu);
    EXPECT_EQ(qivPreviewLength(longer.data(), base, &l), 0);
}

TEST(QivContainerReader, AnySplitGivesTheSamePayload) {
    const Bytes payload = samplePayload();
    for (uint32_t method : {1u, 0u}) {
        for (uint32_t gap : {0u, 5u, 300u}) {
            const Bytes file = qivw::wrap(payload, method, gap, 77);
            std::mt19937 rng(method * 1000 + gap);
            const std::function<size_t(size_t)> splits[] = {
                [&](size_t) { return file.size(); },
                [](size_t) { return size_t(1); },
                [&](size_t) { return size_t(rng() % 97 + 1); },
            };
            for (const auto& split : splits) {
                QivContainerReader r;
                EXPECT_EQ(readAll(file, split, &r), payload) << method << " " << gap;
                EXPECT_TRUE(r.complete());
                EXPECT_EQ(r.status(), QivContainerReader::Status::Complete);
                EXPECT_EQ(r.container().fileTime, 77u);
                QivKeptContainer kept = r.takeKept();
                Bytes image;
                ASSERT_EQ(qivSaveImage(kept, &image), 1);
                if (method == 1) {
                    EXPECT_EQ(image, file);  // written back as received
                } else {
                    // Stored: payload offset 40 and end offset 40 + the payload's real length.
                    EXPECT_EQ(testbytes::get32(image, 8), 40u);
                    EXPECT_EQ(testbytes::get32(image, 16), 40u + payload.size());
                    EXPECT_EQ(Bytes(image.begin() + 40, image.end()), payload);
                }
            }
        }
    }
}

TEST(QivContainerReader, BadInputEndsCleanly) {
    const Bytes payload = samplePayload();
    {
        Bytes file = qivw::wrap(payload, 1);
        file[2] = 'x';
        QivContainerReader r;
        EXPECT_EQ(r.feed(file.data(), 20, 0), QivContainerReader::Status::NeedMore);
        EXPECT_EQ(r.feed(file.data() + 20, file.size() - 20, 0), QivContainerReader::Status::Failed);
        EXPECT_EQ(r.errorLevel(), 3u);
    }
    {  // payload header declares less than its own block
        Bytes p = payload;
        testbytes::set32(p, 4, 20);
        QivContainerReader r;
        const Bytes file = qivw::wrap(p, 0);
        EXPECT_EQ(r.feed(file.data(), file.size(), 0), QivContainerReader::Status::Failed);
        EXPECT_EQ(r.errorLevel(), 4u);
    }
    {  // corrupt deflate data: inflation ends, nothing more is taken
        Bytes file = qivw::wrap(payload, 1);
        for (size_t i = 60; i < file.size(); ++i) file[i] ^= 0x5A;
        QivContainerReader r;
        r.feed(file.data(), file.size(), 0);
        EXPECT_FALSE(r.complete());
        EXPECT_TRUE(r.inflationEnded());
    }
    {  // the stream ends before the declared size
        Bytes p = payload;
        testbytes::set32(p, 4, uint32_t(p.size() + 100));
        const Bytes file = qivw::wrap(p, 1);
        QivContainerReader r;
        r.feed(file.data(), file.size(), 0);
        EXPECT_FALSE(r.complete());
        EXPECT_TRUE(r.inflationEnded());
        EXPECT_EQ(r.inflated(), p.size());
    }
}

// A deflate bomb: a valid payload header followed by megabytes of zeros, which deflate to
// almost nothing. Above the cap it is refused when its header arrives; below, when its
// inflation runs ahead of the bytes received; its preview is not extracted either.
TEST(QivContainerReader, DeflateBombsAreRefused) {
    {
        Bytes p = samplePayload();
        testbytes::set32(p, 4, QIV_PAYLOAD_MAX + 1);
        const Bytes file = qivw::wrap(p, 1);
        QivContainerReader r;
        EXPECT_EQ(r.feed(file.data(), file.size(), file.size()), QivContainerReader::Status::Failed);
        EXPECT_EQ(r.errorLevel(), 4u);
        EXPECT_STREQ("Qiv container payload larger than 64 MiB", r.errorText());
        EXPECT_EQ(r.inflated(), QIV_PAYLOAD_HEADER_SIZE) << "nothing past the header was inflated";
    }
    constexpr uint32_t kDeclared = 16u << 20;
    Bytes p = samplePayload();
    const uint32_t previewAt = testbytes::get32(p, 12);
    p.resize(kDeclared, 0);
    testbytes::set32(p, 4, kDeclared);
    testbytes::set32(p, 16, kDeclared - previewAt);  // a preview area over all of it
    const Bytes file = qivw::wrap(p, 1, 0, 0, 9);
    ASSERT_LT(qivInflationAllowance(file.size()), uint64_t(kDeclared)) << file.size();
    for (size_t piece : {size_t(4096), file.size()}) {
        QivContainerReader r;
        for (size_t at = 0; at < file.size() && r.status() == QivContainerReader::Status::NeedMore; at += piece)
            r.feed(file.data() + at, std::min(piece, file.size() - at), 0);
        EXPECT_EQ(r.status(), QivContainerReader::Status::Failed) << piece;
        EXPECT_EQ(r.errorLevel(), 4u);
        EXPECT_STREQ("Qiv container inflates to more than its size allows (a deflate bomb)", r.errorText());
        EXPECT_LE(r.inflated(), qivInflationAllowance(r.received())) << "the buffer never ran ahead";
    }
    std::vector<uint8_t> jpeg;
    EXPECT_EQ(0, qivExtractPreview(file.data(), file.size(), &jpeg));
    EXPECT_EQ(qivInflationAllowance(0), QIV_INFLATION_SLACK);
    EXPECT_EQ(qivInflationAllowance(1u << 30), uint64_t(QIV_PAYLOAD_MAX));
    EXPECT_EQ(qivInflationAllowance(UINT64_MAX), uint64_t(QIV_PAYLOAD_MAX));
}

TEST(QivContainerChunks, HeadersAreCheckedAgainstThePayload) {
    Bytes p(100, 0);
    testbytes::set32(p, 40, 0x15);
    testbytes::set32(p, 44, 10);
    QivChunkHead c;
    EXPECT_EQ(qivReadChunkHead(p.data(), 100, 47, 40, &c), QivRead::NeedMore);
    ASSERT_EQ(qivReadChunkHead(p.data(), 100, 48, 40, &c), QivRead::Ok);
    EXPECT_EQ(c.type, 0x15u);
    EXPECT_EQ(c.next, 58u);
    EXPECT_EQ(qivReadChunkHead(p.data(), 100, 100, 100, &c), QivRead::End);
    EXPECT_EQ(qivReadChunkHead(p.data(), 100, 100, 93, &c), QivRead::End);  // fewer than 8 bytes left
    testbytes::set32(p, 44, 53);                                            // one past the end
    EXPECT_EQ(qivReadChunkHead(p.data(), 100, 100, 40, &c), QivRead::Bad);
    testbytes::set32(p, 44, 0xFFFFFFFFu);  // 8 + length wraps in 32 bits
    EXPECT_EQ(qivReadChunkHead(p.data(), 100, 100, 40, &c), QivRead::Bad);
}

TEST(QivContainerChunks, TextureTable) {
    using T = qivw::Texture;
    std::vector<T> entries = {
        {3, T::Colour, 0x00FF8040, {}, 0},
        {1, T::Shared, 0, {}, 0},
        {0, T::File, 0, Bytes(5, 9), 0},
        {2, T::Shared, 0, {}, 1},  // names a shared entry: the owner is entry 0
        {4, T::File, 0, Bytes(3, 8), 0},
    };
    const qivw::Chunk c = qivw::textureTable(entries);
    std::vector<QivTextureEntry> t;
    ASSERT_EQ(qivParseTextureTable(c.data.data(), uint32_t(c.data.size()), &t), 1);
    ASSERT_EQ(t.size(), 5u);
    EXPECT_TRUE(t[0].colour);
    EXPECT_EQ(t[0].value, 0x00FF8040u);
    EXPECT_EQ(t[3].sharedPos, 0u);
    EXPECT_EQ(t[2].fileOffset, 2u + 5 * 6);
    EXPECT_EQ(t[4].fileOffset, 2u + 5 * 6 + 5);
    EXPECT_EQ(qivTextureOwner(t, 3), 0u);

    // Count x 6 beyond the chunk, a file beyond it, and shared entries naming themselves or later.
    Bytes shortTable = c.data;
    testbytes::set32(shortTable, 0, 0xFFFF | (shortTable[2] << 16) | (shortTable[3] << 24));
    EXPECT_EQ(qivParseTextureTable(shortTable.data(), uint32_t(shortTable.size()), &t), 0);
    EXPECT_EQ(qivParseTextureTable(c.data.data(), uint32_t(c.data.size() - 1), &t), 0);
    for (uint32_t pos : {1u, 3u}) {
        std::vector<T> e = entries;
        e[1].sharedPos = pos;
        const qivw::Chunk bad = qivw::textureTable(e);
        EXPECT_EQ(qivParseTextureTable(bad.data.data(), uint32_t(bad.data.size()), &t), 0) << pos;
    }
    uint32_t count = 0;
    EXPECT_EQ(qivTextureTableCount(c.data.data(), 1, &count), 0);
}

TEST(QivContainerChunks, TextureNamesStayInTheObjectStream) {
    const Bytes p = samplePayload();
    QivPayloadHeader h;
    ASSERT_EQ(qivParsePayloadHeader(p.data(), &h), 1);
    std::string name;
    ASSERT_EQ(qivTextureName(p.data(), p.size(), h, 0, &name), 1);
    EXPECT_EQ(name, "wood.bmp");
    ASSERT_EQ(qivTextureName(p.data(), p.size(), h, 1, &name), 1);
    EXPECT_EQ(name, "stone.bmp");
    EXPECT_EQ(qivTextureName(p.data(), p.size(), h, 2, &name), 0);  // past the empty name
    EXPECT_EQ(qivTextureName(p.data(), h.objectOffset + 45, h, 0, &name), 0);  // not there yet

    qivw::Container c;
    std::string longName(400, 'n');
    c.object.areaNames.assign(longName.begin(), longName.end());
    c.object.areaNames.push_back(0);
    c.object.areaNames.push_back(0);
    const Bytes lp = qivw::payload(c);
    ASSERT_EQ(qivParsePayloadHeader(lp.data(), &h), 1);
    ASSERT_EQ(qivTextureName(lp.data(), lp.size(), h, 0, &name), 1);
    EXPECT_EQ(name.size(), QIV_TEXTURE_NAME_MAX);
    QivPayloadHeader cut = h;
    cut.objectLength = 50 + 7 + 100;  // the list runs out of the object stream
    EXPECT_EQ(qivTextureName(lp.data(), lp.size(), cut, 0, &name), 0);
}

TEST(QivContainerPreview, ExtractedFromAWholeFile) {
    qivw::Container c;
    c.preview = Bytes(200, 0x33);
    c.second = Bytes(40, 0x44);
    for (uint32_t method : {1u, 0u}) {
        c.method = method;
        const Bytes file = qivw::build(c);
        Bytes jpeg;
        ASSERT_EQ(qivExtractPreview(file.data(), file.size(), &jpeg), 1);
        EXPECT_EQ(jpeg, c.preview);
        EXPECT_EQ(qivExtractPreview(file.data(), 100, &jpeg), 0);
    }
    qivw::Container none;
    const Bytes file = qivw::build(none);
    Bytes jpeg;
    EXPECT_EQ(qivExtractPreview(file.data(), file.size(), &jpeg), 0);
}

TEST(QivContainerSave, StreamImageCarriesItsLength) {
    QivContainerReader r;
    const Bytes payload = samplePayload();
    const Bytes file = qivw::wrap(payload, 0, 12);
    r.feed(file.data(), file.size(), file.size());
    QivKeptContainer kept = r.takeKept();
    Bytes stream;
    ASSERT_EQ(qivStreamImage(kept, &stream), 1);
    EXPECT_EQ(testbytes::get32(stream, 0), 40u + payload.size());
    EXPECT_EQ(stream.size(), 44u + payload.size());
    QivKeptContainer empty;
    EXPECT_EQ(qivSaveImage(empty, &stream), 0);
}

// The inline form: the payload right behind the header, whatever lay between them.
TEST(QivContainerSave, CompactImageDropsTheGap) {
    const Bytes payload = samplePayload();
    for (uint32_t method : {1u, 0u}) {
        const Bytes file = qivw::wrap(payload, method, 20, 5);
        QivContainerReader r;
        r.feed(file.data(), file.size(), file.size());
        ASSERT_TRUE(r.complete());
        QivKeptContainer kept = r.takeKept();
        std::unique_ptr<uint8_t[]> body = r.takePayload();
        if (kept.stored) kept.payload = body.get();
        Bytes image;
        ASSERT_EQ(qivCompactImage(kept, &image), 1);
        const Bytes gapless = qivw::wrap(payload, method, 0, 5);
        EXPECT_EQ(image, gapless) << method;
        QivContainerReader again;
        again.feed(image.data(), image.size(), image.size());
        EXPECT_TRUE(again.complete());
    }
    // A header whose end offset lies beyond the bytes takes what is there; nothing kept: none.
    Bytes file = qivw::wrap(payload, 1, 8);
    testbytes::set32(file, 16, uint32_t(file.size() + 1000));
    QivKeptContainer kept;
    kept.raw = file;
    Bytes image;
    ASSERT_EQ(qivCompactImage(kept, &image), 1);
    EXPECT_EQ(image.size(), file.size() - 8);
    EXPECT_EQ(testbytes::get32(image, 16), uint32_t(image.size()));
    kept.raw.resize(30);
    EXPECT_EQ(qivCompactImage(kept, &image), 0);
    EXPECT_EQ(qivCompactImage(QivKeptContainer(), &image), 0);
}

TEST(QivContainerSave, SavedViewsAreWholeRecords) {
    const qivw::Chunk c = qivw::savedViews(3);
    auto v = qivParseSavedViews(c.data.data(), uint32_t(c.data.size() - 1));
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(v[1].values[6], 16.0f);
    EXPECT_EQ(v[1].flag, 1);
}

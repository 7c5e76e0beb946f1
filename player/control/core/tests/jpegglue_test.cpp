#include "jpegglue.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "render/fzbuffer.h"
#include "scene/picture.h"
#include "scene/tests/bmp_builder.h"
#include "scene/texture.h"
#include "tests/jpeg_maker.h"
#include "tests/qiv_writer.h"

using jpegmk::Bytes;

namespace {

struct PicHolder {
    PicRecord* p = nullptr;
    ~PicHolder() {
        if (p) fzFreeImage(&p);
    }
};

// Mean colour error of a decoded picture against the test pattern.
double meanError(const PicRecord* pic, int w, int h) {
    double sum = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t rgb[3];
            jpegmk::patternRgb(x, y, w, h, rgb);
            const uint32_t c = pic->palette[pic->pixels[size_t(y) * size_t(pic->width) + size_t(x)]];
            sum += std::abs(int((c >> 16) & 255) - rgb[0]) + std::abs(int((c >> 8) & 255) - rgb[1]) +
                   std::abs(int(c & 255) - rgb[2]);
        }
    return sum / (3.0 * w * h);
}

bool samePicture(const PicRecord* a, const PicRecord* b) {
    if (a->width != b->width || a->height != b->height || a->paletteCount != b->paletteCount) return false;
    if (std::memcmp(a->palette, b->palette, a->paletteCount * 4) != 0) return false;
    return std::memcmp(a->pixels, b->pixels, size_t(a->width) * size_t(a->height)) == 0;
}

struct Recorder : JpegPassListener {
    struct Pass {
        bool first, final;
        size_t available;
    };
    std::vector<Pass> passes;
    size_t available = 0;
    void jpegPassReady(PicRecord*, bool first, bool final) override { passes.push_back({first, final, available}); }
};

// Feeds the picture in pieces of the given size; the decoder's result at the end.
JpegStreamDecoder::Result feedInPieces(JpegStreamDecoder& d, const Bytes& jpg, size_t piece, Recorder* rec,
                                       bool singlePass = false) {
    size_t have = std::min(piece, jpg.size());
    EXPECT_TRUE(d.begin(jpg.data(), jpg.size(), have, singlePass));
    for (;;) {
        rec->available = have;
        const auto r = d.run(rec);
        if (r != JpegStreamDecoder::Result::Wait || have == jpg.size()) return r;
        have = std::min(have + piece, jpg.size());
        d.update(jpg.data(), have);
    }
}

}  // namespace

TEST(JpegGlue, PlainDecoderMakesAPalettisedPicture) {
    for (bool gray : {false, true}) {
        jpegmk::Options o;
        o.width = 61;
        o.height = 35;
        o.gray = gray;
        const Bytes jpg = jpegmk::make(o);
        PicHolder pic{DecodeJpegFromMemory(jpg.data(), jpg.size())};
        ASSERT_NE(pic.p, nullptr);
        EXPECT_EQ(pic.p->bytesPerPixel, 1u);
        EXPECT_GE(pic.p->width, 61);
        EXPECT_GE(pic.p->height, 35);
        EXPECT_GE(pic.p->paletteCount, 2u);
        EXPECT_LE(pic.p->paletteCount, 256u);
        if (!gray) {
            EXPECT_LT(meanError(pic.p, o.width, o.height), 12.0);
        }
    }
}

TEST(JpegGlue, CorruptDataFailsCleanly) {
    jpegmk::Options o;
    const Bytes jpg = jpegmk::make(o);
    EXPECT_EQ(DecodeJpegFromMemory(nullptr, 10), nullptr);
    EXPECT_EQ(DecodeJpegFromMemory(jpg.data(), 0), nullptr);
    Bytes garbage(500, 0x5A);
    EXPECT_EQ(DecodeJpegFromMemory(garbage.data(), garbage.size()), nullptr);
    EXPECT_EQ(DecodeJpegFromMemory(jpg.data(), 100), nullptr);  // ends inside the tables

    // Damage anywhere: a picture or null, never more.
    std::mt19937 rng(5);
    for (int i = 0; i < 200; ++i) {
        Bytes b = jpg;
        for (int k = 0; k < 4; ++k) b[rng() % b.size()] = uint8_t(rng());
        PicHolder pic{DecodeJpegFromMemory(b.data(), size_t(rng() % b.size() + 1))};
    }
    // Sides beyond the picture limit are refused before decoding.
    Bytes wide = jpg;
    for (size_t i = 0; i + 9 < wide.size(); ++i)
        if (wide[i] == 0xFF && wide[i + 1] == 0xC0) {
            wide[i + 7] = 0x23;  // width 9000
            wide[i + 8] = 0x28;
            break;
        }
    EXPECT_EQ(DecodeJpegFromMemory(wide.data(), wide.size()), nullptr);
    // A small file that declares a huge picture: refused by the memory bound, not decoded.
    jpegmk::Options p;
    p.progressive = true;
    Bytes huge = jpegmk::make(p);
    for (size_t i = 0; i + 9 < huge.size(); ++i)
        if (huge[i] == 0xFF && huge[i + 1] == 0xC2) {
            huge[i + 5] = 0x1F, huge[i + 6] = 0x40;  // height 8000
            huge[i + 7] = 0x1F, huge[i + 8] = 0x40;  // width 8000
            break;
        }
    EXPECT_EQ(DecodeJpegFromMemory(huge.data(), huge.size()), nullptr);
    JpegStreamDecoder d;
    ASSERT_TRUE(d.begin(huge.data(), huge.size(), huge.size() / 2, false));
    EXPECT_EQ(d.run(nullptr), JpegStreamDecoder::Result::Failed);
}

TEST(JpegGlue, PixelLimitRefusesLargerPictures) {
    jpegmk::Options o;
    o.width = 40;
    o.height = 30;
    const Bytes jpg = jpegmk::make(o);
    jpegSetPixelLimit(40 * 30 - 1);
    EXPECT_EQ(DecodeJpegFromMemory(jpg.data(), jpg.size()), nullptr);
    jpegSetPixelLimit(40 * 30);
    PicHolder fits{DecodeJpegFromMemory(jpg.data(), jpg.size())};
    EXPECT_NE(fits.p, nullptr);
    jpegResetLimits();
}

TEST(JpegGlue, TruncatedPictureEndsWithWhatArrived) {
    jpegmk::Options o;
    o.width = 80;
    o.height = 64;
    const Bytes jpg = jpegmk::make(o);
    PicHolder pic{DecodeJpegFromMemory(jpg.data(), jpg.size() * 2 / 3)};
    ASSERT_NE(pic.p, nullptr);  // the missing rest is filled in
    EXPECT_EQ(pic.p->height, 64);
}

TEST(JpegGlue, ProgressiveShownAfterFirstScanAndEndsAsOneShot) {
    jpegmk::Options o;
    o.width = 96;
    o.height = 72;
    o.progressive = true;
    const Bytes jpg = jpegmk::make(o);
    PicHolder once{DecodeJpegFromMemory(jpg.data(), jpg.size())};
    ASSERT_NE(once.p, nullptr);
    for (size_t piece : {size_t(1), size_t(37), size_t(512)}) {
        JpegStreamDecoder d;
        Recorder rec;
        ASSERT_EQ(feedInPieces(d, jpg, piece, &rec), JpegStreamDecoder::Result::Complete) << piece;
        ASSERT_GE(rec.passes.size(), 2u) << piece;
        EXPECT_TRUE(rec.passes.front().first);
        EXPECT_LT(rec.passes.front().available, jpg.size() / 2) << "first display long before the end";
        for (size_t i = 1; i < rec.passes.size(); ++i) EXPECT_FALSE(rec.passes[i].first);
        EXPECT_TRUE(rec.passes.back().final);
        EXPECT_EQ(rec.passes.back().available, jpg.size());
        PicHolder streamed{d.takePicture()};
        ASSERT_NE(streamed.p, nullptr);
        EXPECT_TRUE(samePicture(streamed.p, once.p)) << "final pass differs from a one-shot decode, piece " << piece;
    }
}

TEST(JpegGlue, BaselineInPiecesShownOnlyWhenComplete) {
    jpegmk::Options o;
    o.width = 64;
    o.height = 64;
    const Bytes jpg = jpegmk::make(o);
    PicHolder once{DecodeJpegFromMemory(jpg.data(), jpg.size())};
    JpegStreamDecoder d;
    Recorder rec;
    ASSERT_EQ(feedInPieces(d, jpg, 100, &rec), JpegStreamDecoder::Result::Complete);
    ASSERT_EQ(rec.passes.size(), 1u);
    EXPECT_TRUE(rec.passes[0].first && rec.passes[0].final);
    EXPECT_EQ(rec.passes[0].available, jpg.size());
    PicHolder streamed{d.takePicture()};
    EXPECT_TRUE(samePicture(streamed.p, once.p));
}

TEST(JpegGlue, SkipPastTheBytesPresentResumes) {
    jpegmk::Options o;
    o.commentBytes = 3000;  // skipped by libjpeg while only part of it has arrived
    o.progressive = true;
    const Bytes jpg = jpegmk::make(o);
    PicHolder once{DecodeJpegFromMemory(jpg.data(), jpg.size())};
    ASSERT_NE(once.p, nullptr);
    JpegStreamDecoder d;
    Recorder rec;
    ASSERT_EQ(feedInPieces(d, jpg, 200, &rec), JpegStreamDecoder::Result::Complete);
    PicHolder streamed{d.takePicture()};
    EXPECT_TRUE(samePicture(streamed.p, once.p));
}

TEST(JpegGlue, TruncatedStreamKeepsItsLastPass) {
    jpegmk::Options o;
    o.width = 80;
    o.height = 80;
    o.progressive = true;
    const Bytes jpg = jpegmk::make(o);
    const Bytes part(jpg.begin(), jpg.begin() + jpg.size() * 3 / 5);
    JpegStreamDecoder d;
    Recorder rec;
    ASSERT_TRUE(d.begin(part.data(), jpg.size(), 0, false));  // the declared length never arrives
    for (size_t have = 64; have <= part.size(); have += 64) {
        d.update(part.data(), have);
        EXPECT_EQ(d.run(&rec), JpegStreamDecoder::Result::Wait);
    }
    ASSERT_FALSE(rec.passes.empty());
    EXPECT_EQ(d.stage(), 4);
    EXPECT_FALSE(rec.passes.back().final);
    d.endOfInput();
    EXPECT_EQ(d.run(&rec), JpegStreamDecoder::Result::Complete);
    EXPECT_TRUE(rec.passes.back().final);
    PicHolder pic{d.takePicture()};
    EXPECT_NE(pic.p, nullptr);
}

TEST(JpegGlue, BufferMayMoveBetweenPieces) {
    jpegmk::Options o;
    o.progressive = true;
    const Bytes jpg = jpegmk::make(o);
    PicHolder once{DecodeJpegFromMemory(jpg.data(), jpg.size())};
    std::vector<uint8_t> buffer;
    JpegStreamDecoder d;
    Recorder rec;
    buffer.assign(jpg.begin(), jpg.begin() + 50);
    ASSERT_TRUE(d.begin(buffer.data(), jpg.size(), buffer.size(), false));
    auto r = d.run(&rec);
    for (size_t have = 50; r == JpegStreamDecoder::Result::Wait && have < jpg.size();) {
        have = std::min(have + 77, jpg.size());
        std::vector<uint8_t> moved(jpg.begin(), jpg.begin() + have);
        buffer.swap(moved);  // a new block each time
        d.update(buffer.data(), buffer.size());
        r = d.run(&rec);
    }
    ASSERT_EQ(r, JpegStreamDecoder::Result::Complete);
    PicHolder streamed{d.takePicture()};
    EXPECT_TRUE(samePicture(streamed.p, once.p));
}

TEST(JpegGlue, TexturesFromMemory) {
    jpegmk::Options o;
    o.width = 40;
    o.height = 30;
    const Bytes jpg = jpegmk::make(o);
    bmpb::BmpDesc s;
    s.width = 16;
    s.height = 8;
    s.bits = 24;
    const Bytes bmp = bmpb::build(s);
    for (const Bytes* b : {&jpg, &bmp}) {
        float sx = -1, sy = -1;
        TexRecord* t = LoadTextureFromMemory(b->data(), b->size(), &sx, &sy);
        ASSERT_NE(t, nullptr);
        EXPECT_NE(t->block, nullptr);
        EXPECT_EQ(sx, 0.0f);
        texFree(&t);
    }
    EXPECT_EQ(LoadTextureFromMemory(jpg.data(), 1, nullptr, nullptr), nullptr);
    const Bytes junk(64, 'B');
    EXPECT_EQ(LoadTextureFromMemory(junk.data(), junk.size(), nullptr, nullptr), nullptr);
}

TEST(JpegGlue, ContainerPreviewDecodes) {
    jpegmk::Options o;
    o.progressive = true;
    qivw::Container c;
    c.preview = jpegmk::make(o);
    const Bytes file = qivw::build(c);
    PicHolder pic{DecodeContainerPreview(file.data(), file.size())};
    ASSERT_NE(pic.p, nullptr);
    EXPECT_GE(pic.p->width, o.width);
    PicHolder none{DecodeContainerPreview(file.data(), 60)};
    EXPECT_EQ(none.p, nullptr);
}

TEST(JpegGlue, TexturesAndPicturesFromFiles) {
    jpegmk::Options o;
    o.width = 40;
    o.height = 30;
    bmpb::BmpDesc s;
    s.width = 16;
    s.height = 8;
    s.bits = 24;
    const std::string dir = ::testing::TempDir();
    const std::string jpgPath = dir + "/jg_texture.jpg", bmpPath = dir + "/jg_texture.bmp",
                      junkPath = dir + "/jg_junk.jpg";
    auto write = [](const std::string& path, const Bytes& b) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(b.data(), 1, b.size(), f);
        std::fclose(f);
    };
    write(jpgPath, jpegmk::make(o));
    write(bmpPath, bmpb::build(s));
    write(junkPath, Bytes(100, 0x55));
    for (const std::string* path : {&jpgPath, &bmpPath}) {
        TexRecord* t = LoadTextureFromFile(path->c_str(), nullptr, nullptr);
        ASSERT_NE(t, nullptr) << *path;
        EXPECT_NE(t->block, nullptr);
        texFree(&t);
        PicHolder pic{LoadPictureFromFile(path->c_str())};
        ASSERT_NE(pic.p, nullptr) << *path;
        EXPECT_EQ(pic.p->bytesPerPixel, 1u);
        EXPECT_GT(pic.p->tileColumns, 0u);
    }
    for (const char* bad : {junkPath.c_str(), "/nonexistent/none.jpg", ""}) {
        EXPECT_EQ(LoadTextureFromFile(bad, nullptr, nullptr), nullptr) << bad;
        EXPECT_EQ(LoadPictureFromFile(bad), nullptr) << bad;
    }
    EXPECT_EQ(LoadTextureFromFile(nullptr, nullptr, nullptr), nullptr);
    std::remove(jpgPath.c_str());
    std::remove(bmpPath.c_str());
    std::remove(junkPath.c_str());
}

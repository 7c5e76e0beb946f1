#include "loaddriver.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <sstream>

#include "render/fzbuffer.h"
#include "scene/engine.h"
#include "scene/picture.h"
#include "scene/qivstream.h"
#include "scene/scene.h"
#include "scene/tests/bmp_builder.h"
#include "tests/fake_clock.h"
#include "tests/jpeg_maker.h"
#include "tests/qiv_writer.h"

using qivw::Bytes;

namespace {

using qivtestclock::FakeClock;

// Records what the load produced, one line per event that does not depend on the splits.
class TraceSink : public QivLoadSink {
public:
    std::vector<std::string> trace;
    int passes = 0;
    uint32_t slots = 0x8000;
    uint32_t faces = 0, vertices = 0;
    PicRecord* preview = nullptr;
    std::unique_ptr<uint8_t[]> payload;
    uint32_t payloadSize = 0;
    int parses = 0;

    ~TraceSink() override {
        if (preview) fzFreeImage(&preview);
    }
    static const char* kind(QivPictureKind k) {
        switch (k) {
        case QivPictureKind::Preview: return "preview";
        case QivPictureKind::SecondPreview: return "second";
        case QivPictureKind::Background: return "background";
        default: return "plain";
        }
    }
    void pictureShown(QivPictureKind k, PicRecord*, bool first) override {
        ++passes;
        if (first) trace.push_back(std::string("shown ") + kind(k));
    }
    void pictureComplete(QivPictureKind k, PicRecord* p) override {
        trace.push_back(std::string("complete ") + kind(k));
        if (k == QivPictureKind::Preview && !preview) preview = p;
        else fzFreeImage(&p);
    }
    void previewWait(int32_t delay) override { trace.push_back("wait " + std::to_string(delay)); }
    void objectParsed(PelContent* c, const PelStreamInfo* info, bool first) override {
        ++parses;
        if (first) trace.push_back("object");
        faces = c->faceCount;
        vertices = c->vertexCount;
    }
    uint32_t textureSlotCount() override { return slots; }
    static std::string list(const std::vector<uint32_t>& v) {
        std::string s;
        for (uint32_t i : v) s += " " + std::to_string(i);
        return s;
    }
    void colourTexture(const std::string& name, uint32_t colour, const std::vector<uint32_t>& idx) override {
        std::ostringstream o;
        o << "colour " << name << " " << std::hex << colour << list(idx);
        trace.push_back(o.str());
    }
    void embeddedTexture(const std::string& name, const uint8_t* data, uint32_t size,
                         const std::vector<uint32_t>& idx) override {
        trace.push_back("file " + name + " " + std::to_string(size) + " " + char(data[0]) + list(idx));
    }
    void chunk(uint32_t type, const uint8_t*, uint32_t length) override {
        trace.push_back("chunk " + std::to_string(type) + " " + std::to_string(length));
    }
    void leavePreview() override { trace.push_back("leave"); }
    void objectLoaded() override { trace.push_back("loaded"); }
    void payloadComplete(std::unique_ptr<uint8_t[]> p, uint32_t size) override {
        trace.push_back("payload " + std::to_string(size));
        payload = std::move(p);
        payloadSize = size;
    }
    void loadWarning(uint32_t level, const char* text) override { trace.push_back("warning " + std::to_string(level)); }
};

Bytes makeBmp() {
    bmpb::BmpDesc s;
    s.width = 8;
    s.height = 8;
    s.bits = 24;
    return bmpb::build(s);
}

// A container with everything: progressive preview, second picture, textures, chunks, animation.
qivw::Container fullContainer() {
    qivw::Container c;
    jpegmk::Options o;
    o.width = 80;
    o.height = 60;
    o.progressive = true;
    c.preview = jpegmk::make(o);
    o.progressive = false;
    o.width = 16;
    c.second = jpegmk::make(o);
    using T = qivw::Texture;
    c.chunks.push_back(qivw::textureTable({{1, T::Colour, 0x00336699, {}, 0},
                                           {0, T::File, 0, makeBmp(), 0},
                                           {5, T::Shared, 0, {}, 0},
                                           {6, T::Shared, 0, {}, 1}}));
    c.chunks.push_back({0x15, Bytes(12, 1)});
    c.chunks.push_back(qivw::savedViews(2));
    c.chunks.push_back({0x14, Bytes(4, 0)});  // not a valid animation block: applied, ignored
    c.chunks.push_back({0x10001, Bytes(3, 0)});
    return c;
}

struct LoadRun {
    QivLoadDriver::Result result;
    std::vector<std::string> trace;
    uint32_t faces = 0, vertices = 0;
    int passes = 0;
};

LoadRun load(const Bytes& file, const std::function<size_t()>& piece, QivLoadOptions opt = {},
         bool tellTotal = false, TraceSink* keep = nullptr) {
    TraceSink local;
    TraceSink& sink = keep ? *keep : local;
    FakeClock clock;
    QivLoadDriver d(&sink, opt, &clock);
    size_t at = 0;
    QivLoadDriver::Result r = QivLoadDriver::Result::Working;
    while (at < file.size()) {
        const size_t n = std::min(piece(), file.size() - at);
        r = d.feed(file.data() + at, n, tellTotal ? file.size() : 0);
        at += n;
        if (r == QivLoadDriver::Result::Failed) break;
    }
    if (r != QivLoadDriver::Result::Failed) r = d.endOfTransfer(true);
    return {r, sink.trace, sink.faces, sink.vertices, sink.passes};
}

std::string joined(const std::vector<std::string>& t) {
    std::string s;
    for (const auto& l : t) s += l + "\n";
    return s;
}

}  // namespace

TEST(LoadDriver, SameTraceForAnySplit) {
    errReset();
    const qivw::Container c = fullContainer();
    for (uint32_t method : {1u, 0u}) {
        qivw::Container cm = c;
        cm.method = method;
        const Bytes file = qivw::build(cm);
        const LoadRun whole = load(file, [&] { return file.size(); });
        ASSERT_EQ(whole.result, QivLoadDriver::Result::Done) << joined(whole.trace);
        const std::vector<std::string> expected = {
            "shown preview", "complete preview", "complete second", "object",
            "colour stone.bmp 336699 1 5", "file wood.bmp " + std::to_string(makeBmp().size()) + " B 0 6",
            "chunk 21 12", "chunk 273 64", "leave", "chunk 20 4", "loaded", "chunk 65537 3",
            "payload " + std::to_string(qivw::payload(cm).size())};
        EXPECT_EQ(joined(whole.trace), joined(expected));
        EXPECT_GT(whole.faces, 0u);
        std::mt19937 rng(method);
        const std::function<size_t()> splits[] = {[] { return size_t(1); }, [&] { return size_t(rng() % 300 + 1); },
                                                  [&] { return size_t(rng() % 5000 + 1); }};
        for (const auto& split : splits) {
            const LoadRun r = load(file, split);
            EXPECT_EQ(r.result, QivLoadDriver::Result::Done);
            EXPECT_EQ(joined(r.trace), joined(whole.trace));
            EXPECT_EQ(r.faces, whole.faces);
            EXPECT_EQ(r.vertices, whole.vertices);
        }
    }
}

// The preview area's bytes behind the first picture make the second picture: none with an
// area of exactly its length + 4, a one-byte (undecodable) picture with one byte more, which
// the load passes over. A background picture chunk (0x101) is decoded where it stands; an
// empty one is skipped.
TEST(LoadDriver, SecondPictureAndBackgroundChunk) {
    jpegmk::Options o;
    o.width = 20;
    o.height = 10;
    const Bytes picture = jpegmk::make(o);
    struct Case {
        const char* name;
        Bytes second;
        std::vector<qivw::Chunk> chunks;
        std::vector<std::string> trace;
    };
    const std::vector<Case> cases = {
        {"area of L + 4", {}, {}, {"shown preview", "complete preview", "object", "loaded"}},
        {"area of L + 5", {0xFF}, {}, {"shown preview", "complete preview", "object", "loaded"}},
        {"second picture", picture, {},
         {"shown preview", "complete preview", "complete second", "object", "loaded"}},
        {"background chunk", {}, {{0x101, picture}, {0x15, Bytes(4, 1)}},
         {"shown preview", "complete preview", "object", "shown background", "complete background", "chunk 21 4",
          "loaded"}},
        {"empty background chunk", {}, {{0x101, {}}, {0x15, Bytes(4, 1)}},
         {"shown preview", "complete preview", "object", "chunk 21 4", "loaded"}},
    };
    for (const Case& k : cases) {
        qivw::Container c;
        c.preview = picture;
        c.second = k.second;
        c.chunks = k.chunks;
        const Bytes file = qivw::build(c);
        for (size_t piece : {file.size(), size_t(7)}) {
            const LoadRun r = load(file, [&] { return piece; });
            EXPECT_EQ(r.result, QivLoadDriver::Result::Done) << k.name << ", pieces of " << piece;
            std::vector<std::string> trace;
            for (const std::string& t : r.trace)
                if (t.rfind("payload", 0) != 0 && t.rfind("wait", 0) != 0) trace.push_back(t);
            EXPECT_EQ(joined(trace), joined(k.trace)) << k.name << ", pieces of " << piece;
        }
    }
}

TEST(LoadDriver, ProgressivePreviewShowsWhileArriving) {
    const Bytes file = qivw::build(fullContainer());
    const LoadRun slow = load(file, [] { return size_t(64); });
    EXPECT_GE(slow.passes, 2) << "first scan shown, later scans refine it";
    const LoadRun fast = load(file, [&] { return file.size(); });
    EXPECT_EQ(fast.passes, 1);
}

TEST(LoadDriver, PreviewModeAndDelayTable) {
    const Bytes file = qivw::build(fullContainer());
    struct Case {
        uint32_t mode;
        int32_t delay;
        bool wholeWithTotal;  // the first piece holds the whole transfer, its size known
        bool additional;
        bool showsPreview;
        bool waits;
        bool atHand = false;  // pieces of a transfer that is all at hand (a local file)
    } cases[] = {
        {3, 0, true, false, false, false},  // arrived at once and would leave at once: no preview
        {3, 0, false, false, false, false, true},
        {1, 0, false, false, true, true, true},
        {3, 0, false, false, true, false},
        {2, 0, false, false, true, false},
        {1, 0, false, false, true, true},    // leave on a click only
        {1, 0, true, false, true, true},
        {2, -1, false, false, true, true},   // no timer: stays
        {3, 500, false, false, true, true},
        {3, 500, false, true, false, false}, // an additional object never shows a preview
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(std::to_string(k.mode) + " " + std::to_string(k.delay) + " " + std::to_string(k.wholeWithTotal) +
                     " " + std::to_string(k.atHand));
        QivLoadOptions opt;
        opt.previewMode = k.mode;
        opt.delayAfterPreview = k.delay;
        opt.noPreview = k.additional;
        opt.allAtHand = k.atHand;
        TraceSink sink;
        FakeClock clock;
        QivLoadDriver d(&sink, opt, &clock);
        QivLoadDriver::Result r;
        if (k.wholeWithTotal) {
            r = d.feed(file.data(), file.size(), file.size());
        } else {
            size_t at = 0;
            do {
                const size_t n = std::min<size_t>(700, file.size() - at);
                r = d.feed(file.data() + at, n, 0);
                at += n;
            } while (at < file.size());
        }
        const bool shown = std::find(sink.trace.begin(), sink.trace.end(), "shown preview") != sink.trace.end();
        EXPECT_EQ(shown, k.showsPreview);
        if (!k.waits) {
            EXPECT_EQ(r, QivLoadDriver::Result::Done);
            continue;
        }
        EXPECT_EQ(r, QivLoadDriver::Result::Waiting);
        EXPECT_EQ(d.state(), 5);
        EXPECT_EQ(sink.trace.back(), "wait " + std::to_string(k.delay));
        EXPECT_EQ(std::count(sink.trace.begin(), sink.trace.end(), "object"), 0);
        // The end of the transfer is remembered while the preview stays.
        EXPECT_EQ(d.endOfTransfer(true), QivLoadDriver::Result::Waiting);
        EXPECT_TRUE(d.endedWhileWaiting());
        clock.now += 10000;
        QivLoadDriver::Result after = d.continueAfterPreview(2);
        if (k.mode & 2 && k.delay != -1) {
            EXPECT_EQ(after, QivLoadDriver::Result::Done);
        } else {
            EXPECT_EQ(after, QivLoadDriver::Result::Waiting);
            after = d.continueAfterPreview(1);
            EXPECT_EQ(after, (k.mode & 1) ? QivLoadDriver::Result::Done : QivLoadDriver::Result::Waiting);
        }
        if (after == QivLoadDriver::Result::Done) {
            EXPECT_EQ(std::count(sink.trace.begin(), sink.trace.end(), "loaded"), 1);
        }
    }
}

TEST(LoadDriver, DelayAfterPreviewCountsFromThePreview) {
    const Bytes file = qivw::build(fullContainer());
    QivLoadOptions opt;
    opt.previewMode = 2;
    opt.delayAfterPreview = 500;
    TraceSink sink;
    FakeClock clock;
    QivLoadDriver d(&sink, opt, &clock);
    ASSERT_EQ(d.feed(file.data(), file.size(), 0), QivLoadDriver::Result::Waiting);
    clock.now += 499;
    EXPECT_EQ(d.continueAfterPreview(2), QivLoadDriver::Result::Waiting);
    EXPECT_EQ(d.continueAfterPreview(1), QivLoadDriver::Result::Waiting) << "mode 2 ignores clicks";
    clock.now += 1;
    EXPECT_EQ(d.continueAfterPreview(2), QivLoadDriver::Result::Done);
}

TEST(LoadDriver, ReparseIsThrottled) {
    errReset();
    qivw::Container c;
    c.object = qivw::gridObject(40);
    c.method = 0;
    const Bytes file = qivw::build(c);
    QivLoadOptions opt;
    opt.incrementalDisplay = true;
    TraceSink sink;
    FakeClock clock;
    clock.perCall = 10;  // every parse attempt lasts 10 ms
    QivLoadDriver d(&sink, opt, &clock);
    int pieces = 0;
    for (size_t at = 0; at < file.size(); at += 64, ++pieces) {
        d.feed(file.data() + at, std::min<size_t>(64, file.size() - at), 0);
        clock.newPiece(1);  // pieces come 1 ms apart
    }
    EXPECT_EQ(d.endOfTransfer(true), QivLoadDriver::Result::Done);
    // An attempt on the growing stream at most every 20 ms after the last one ended (10 ms a
    // parse, 1 ms a piece): about one in twenty pieces.
    EXPECT_GT(d.parseAttempts(), uint32_t(pieces) / 30);
    EXPECT_LT(d.parseAttempts(), uint32_t(pieces) / 15);
    EXPECT_EQ(sink.parses, 1) << "the whole stream parses once it is complete";
    EXPECT_EQ(std::count(sink.trace.begin(), sink.trace.end(), "object"), 1);
    EXPECT_EQ(errQueueSize(), 0u) << "attempts on a prefix leave no messages";

    // Without incremental display: one parse, once the stream is whole.
    QivLoadDriver e(nullptr, QivLoadOptions{}, &clock);
    for (size_t at = 0; at < file.size(); at += 64) e.feed(file.data() + at, std::min<size_t>(64, file.size() - at), 0);
    EXPECT_EQ(e.parseAttempts(), 1u);
    EXPECT_EQ(e.parseCount(), 1u);
}

TEST(LoadDriver, NoChunkListCompletesAtThePayloadEnd) {
    qivw::Container c;
    const Bytes file = qivw::build(c);
    const LoadRun r = load(file, [] { return size_t(3); });
    EXPECT_EQ(r.result, QivLoadDriver::Result::Done);
    EXPECT_EQ(joined(r.trace), joined({"object", "payload " + std::to_string(qivw::payload(c).size()), "loaded"}));
}

TEST(LoadDriver, KeptContainerIsTheReceivedBytes) {
    const Bytes file = qivw::build(fullContainer());
    TraceSink sink;
    QivLoadDriver d(&sink, QivLoadOptions{});
    for (size_t at = 0; at < file.size(); at += 1) d.feed(file.data() + at, 1, file.size());
    EXPECT_EQ(d.endOfTransfer(true), QivLoadDriver::Result::Done);
    QivKeptContainer kept = d.takeKept();
    Bytes image;
    ASSERT_EQ(qivSaveImage(kept, &image), 1);
    EXPECT_EQ(image, file);
    PelContent* content = d.takeObject();
    ASSERT_NE(content, nullptr);
    pelFreeObject(&content);
}

TEST(LoadDriver, BadFieldsFailOrEndOnlyTheirPart) {
    errReset();
    const qivw::Container base = fullContainer();
    const Bytes payload = qivw::payload(base);
    QivPayloadHeader h;
    ASSERT_EQ(qivParsePayloadHeader(payload.data(), &h), 1);
    const uint32_t chunk0 = h.chunkOffset;
    struct Case {
        const char* what;
        size_t at;
        uint32_t value;
        bool fails;
        uint32_t level;
    } cases[] = {
        {"payload shorter than its block", 4, 30, true, 4},
        {"wrong inner magic", 0, 0x32766951, true, 3},
        {"preview area past the payload", 16, 0x7FFFFFFF, true, 4},
        {"preview length past its area", h.previewOffset, h.previewSize, true, 4},
        {"object range past the payload", 24, 0xFFFFFFF0u, true, 4},
        {"chunk list offset past the payload", 28, h.payloadSize + 4, true, 4},
        {"object stream damaged", h.objectOffset + 48, 0xFFFF, true, 3},
        {"chunk length wraps", chunk0 + 4, 0xFFFFFFFFu, false, 0},
        {"texture count beyond its chunk", chunk0 + 8, 0x7FFF, false, 0},
    };
    for (const Case& k : cases) {
        Bytes p = payload;
        testbytes::set32(p, k.at, k.value);
        if (std::string(k.what) == "texture count beyond its chunk") {
            p[k.at] = 0xFF;
            p[k.at + 1] = 0x7F;
            testbytes::set32(p, k.at + 2, (payload[k.at + 2]) | payload[k.at + 3] << 8 | payload[k.at + 4] << 16 |
                                              payload[k.at + 5] << 24);
        }
        const Bytes file = qivw::wrap(p, 1);
        for (size_t piece : {file.size(), size_t(7)}) {
            const LoadRun r = load(file, [&] { return piece; });
            if (k.fails) {
                EXPECT_EQ(r.result, QivLoadDriver::Result::Failed) << k.what;
                EXPECT_EQ(std::count(r.trace.begin(), r.trace.end(), "loaded"), 0) << k.what;
            } else {
                EXPECT_EQ(r.result, QivLoadDriver::Result::Done) << k.what;
                EXPECT_EQ(std::count(r.trace.begin(), r.trace.end(), "warning 4"), 1) << k.what << joined(r.trace);
                EXPECT_EQ(std::count(r.trace.begin(), r.trace.end(), "loaded"), 1) << k.what;
            }
        }
    }
    // Texture indices beyond the object's handles are dropped.
    TraceSink sink;
    sink.slots = 1;
    const Bytes file = qivw::build(base);
    load(file, [&] { return file.size(); }, {}, false, &sink);
    EXPECT_NE(std::find(sink.trace.begin(), sink.trace.end(),
                        "file wood.bmp " + std::to_string(makeBmp().size()) + " B 0"),
              sink.trace.end());
    EXPECT_EQ(std::count_if(sink.trace.begin(), sink.trace.end(),
                            [](const std::string& s) { return s.rfind("colour", 0) == 0; }),
              0);
}

TEST(LoadDriver, TruncatedAtEveryLengthEndsCleanly) {
    qivw::Container c = fullContainer();
    const Bytes file = qivw::build(c);
    int done = 0;
    for (size_t cut = 0; cut < file.size(); cut += (cut < 200 ? 1 : 97)) {
        const Bytes part(file.begin(), file.begin() + cut);
        TraceSink sink;
        QivLoadDriver d(&sink, QivLoadOptions{});
        d.feed(part.data(), part.size(), 0);
        const auto r = d.endOfTransfer(false);
        ASSERT_TRUE(r == QivLoadDriver::Result::Failed || r == QivLoadDriver::Result::Done) << cut;
        if (r == QivLoadDriver::Result::Done) {
            ++done;
            EXPECT_EQ(std::count(sink.trace.begin(), sink.trace.end(), "loaded"), 1);
        }
    }
    EXPECT_GT(done, 0) << "a container cut after its object stream keeps the object";
}

TEST(LoadDriver, PlainPictureStreams) {
    jpegmk::Options o;
    o.width = 120;
    o.height = 90;
    o.progressive = true;
    const Bytes jpg = jpegmk::make(o);
    for (uint64_t total : {uint64_t(0), uint64_t(jpg.size()), uint64_t(100)}) {  // unknown, right, too small
        QivLoadOptions opt;
        opt.plainPicture = true;
        TraceSink sink;
        QivLoadDriver d(&sink, opt);
        QivLoadDriver::Result r = QivLoadDriver::Result::Working;
        for (size_t at = 0; at < jpg.size(); at += 150) r = d.feed(jpg.data() + at, std::min<size_t>(150, jpg.size() - at), total);
        if (r != QivLoadDriver::Result::Done) r = d.endOfTransfer(true);
        EXPECT_EQ(r, QivLoadDriver::Result::Done) << total;
        ASSERT_GE(sink.trace.size(), 2u);
        EXPECT_EQ(sink.trace.front(), "shown plain");
        EXPECT_EQ(sink.trace.back(), "complete plain");
        EXPECT_GE(sink.passes, 2) << total;
    }
    QivLoadOptions opt;
    opt.plainPicture = true;
    QivLoadDriver d(nullptr, opt);
    Bytes junk(300, 7);
    d.feed(junk.data(), junk.size(), junk.size());
    EXPECT_EQ(d.endOfTransfer(true), QivLoadDriver::Result::Failed);
}

TEST(LoadDriver, StreamedNames) {
    const struct {
        const char* name;
        QivStreamKind kind;
    } cases[] = {
        {"http://host/a/object.qiv", QivStreamKind::Container},
        {"http://host/a/OBJECT.QIV", QivStreamKind::Container},
        {"http://host/a.dir/object", QivStreamKind::Container},
        {"C:\\a.dir\\object", QivStreamKind::Container},
        {"mailbox:12", QivStreamKind::Container},
        {"MailBox:x.pel", QivStreamKind::Container},
        {"http://host/p.jpg", QivStreamKind::Picture},
        {"http://host/p.JPEG", QivStreamKind::Picture},
        {"p.jif", QivStreamKind::Picture},
        {"http://host/object.pel", QivStreamKind::None},
        {"http://host/p.bmp", QivStreamKind::None},
        {"http://host/p.jpgx", QivStreamKind::None},
    };
    for (const auto& c : cases) EXPECT_EQ(qivStreamLoadKind(c.name), c.kind) << c.name;
}

// A sink that ends the load from inside its calls (a host starting another load from an event
// handler): once the call returns nothing more reaches the sink, and the object, freed at once
// by the sink, is touched no more (the chunks behind the animation chunk are not applied).
TEST(LoadDriver, StopFromInsideASinkCall) {
    const Bytes file = qivw::build(fullContainer());
    for (const std::string& at : {std::string("shown preview"), std::string("object"), std::string("loaded")}) {
        SCOPED_TRACE(at);
        struct StoppingSink : TraceSink {
            QivLoadDriver* d = nullptr;
            std::string when;
            void check(const std::string& what) {
                if (what != when || !d) return;
                d->stop();
                PelContent* c = d->takeObject();
                if (c) pelFreeObject(&c);
            }
            void pictureShown(QivPictureKind k, PicRecord* p, bool first) override {
                TraceSink::pictureShown(k, p, first);
                if (first && k == QivPictureKind::Preview) check("shown preview");
            }
            void objectParsed(PelContent* c, const PelStreamInfo* info, bool first) override {
                TraceSink::objectParsed(c, info, first);
                check("object");
            }
            void objectLoaded() override {
                TraceSink::objectLoaded();
                check("loaded");
            }
        } sink;
        sink.when = at;
        FakeClock clock;
        QivLoadDriver d(&sink, QivLoadOptions{}, &clock);
        sink.d = &d;
        size_t fed = 0;
        QivLoadDriver::Result r = QivLoadDriver::Result::Working;
        for (; fed < file.size() && r != QivLoadDriver::Result::Failed; fed += 97)
            r = d.feed(file.data() + fed, std::min<size_t>(97, file.size() - fed), 0);
        EXPECT_EQ(QivLoadDriver::Result::Failed, r);
        const size_t calls = sink.trace.size();
        EXPECT_EQ(QivLoadDriver::Result::Failed, d.feed(file.data(), file.size(), 0));
        EXPECT_EQ(QivLoadDriver::Result::Failed, d.endOfTransfer(true));
        EXPECT_EQ(calls, sink.trace.size()) << "nothing more after the stop";
        EXPECT_EQ(std::string::npos, std::string(sink.trace.back()).find("chunk 65537")) << "no chunk after it";
        EXPECT_EQ(0u, d.errorLevel());
    }
}

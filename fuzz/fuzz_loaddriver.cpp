// Load driver on arbitrary containers and pictures. The first byte chooses the options
// (plain picture, incremental display, preview mode, delay), the second the piece size;
// the transfer then ends and the load is continued after its preview. The same pieces then
// go through the control's load session (chunks, names, views, textures) over a host that
// keeps what it is given.
#include <algorithm>
#include <cstdint>

#include "fuzz_common.h"
#include "caches.h"
#include "jpegglue.h"
#include "loaddriver.h"
#include "loadsession.h"
#include "render/fzbuffer.h"
#include "scene/engine.h"
#include "scene/qivstream.h"
#include "scene/scene.h"

namespace {
class Clock : public QivLoadClock {
public:
    uint32_t t = 0;
    uint32_t nowMs() override { return t += 3; }
};
class Sink : public QivLoadSink {
public:
    uint32_t textureSlotCount() override { return 4; }
};
class Host : public QivLoadHost {
public:
    ~Host() override {
        if (background) fzFreeImage(&background);
        if (object) pelFreeObject(&object);
    }
    int32_t backPicMode() override { return mode; }
    void setBackPicMode(int32_t m) override { mode = m; }
    void showBackground(PicRecord* p, bool) override {
        if (background && background != p) fzFreeImage(&background);
        background = p;
    }
    bool addObject(PelContent* c, bool) override {
        object = c;
        return true;
    }
    void objectReplaced(PelContent*, PelContent* now) override { object = now; }
    uint32_t textureSlots() override { return 4; }
    int32_t mode = 0;
    PicRecord* background = nullptr;
    PelContent* object = nullptr;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    pelSetStreamLimits(1u << 15, 1u << 15);
    jpegSetPixelLimit(kFuzzMaxPixels);
    QivLoadOptions opt;
    const uint8_t o = data[0];
    opt.plainPicture = o & 1;
    opt.incrementalDisplay = o & 2;
    opt.previewMode = (o >> 2) & 3;
    opt.delayAfterPreview = (o & 16) ? 0 : ((o & 32) ? -1 : 100);
    opt.noPreview = o & 64;
    const size_t piece = size_t(data[1]) * 11 + 1;
    const uint8_t* file = data + 2;
    const size_t n = size - 2;

    Sink sink;
    Clock clock;
    QivLoadDriver d(&sink, opt, &clock);
    for (size_t at = 0; at < n; at += piece) {
        const auto r = d.feed(file + at, std::min(piece, n - at), (o & 128) ? n : 0);
        if (r == QivLoadDriver::Result::Failed) break;
    }
    if (d.endOfTransfer(true) == QivLoadDriver::Result::Waiting) {
        d.continueAfterPreview(1);
        clock.t += 1000;
        d.continueAfterPreview(2);
    }
    QivKeptContainer kept = d.takeKept();
    {
        Host host;
        QivLoadSettings st;
        st.incrementalDisplay = opt.incrementalDisplay;
        st.previewMode = opt.previewMode;
        st.delayAfterPreview = opt.delayAfterPreview;
        st.noPreview = opt.noPreview;
        QivLoadSession s(&host, "", opt.plainPicture ? QivStreamKind::Picture : QivStreamKind::Container, st, &clock);
        for (size_t at = 0; at < n && !s.over(); at += piece) s.feed(file + at, std::min(piece, n - at), 0, false);
        s.endOfTransfer(true);
        s.continueAfterPreview(1);
        QivKeptContainer k = s.takeKept();
        std::vector<uint8_t> image;
        qivSaveImage(k, &image);
    }
    qivctl::cachesReset();
    errReset();
    return 0;
}

#include "loadsession.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "caches.h"
#include "render/fzbuffer.h"
#include "scene/engine.h"
#include "scene/pelchunk.h"
#include "scene/scene.h"
#include "scene/tests/bmp_builder.h"
#include "scene/texture.h"
#include "tests/fake_clock.h"
#include "tests/jpeg_maker.h"
#include "tests/qiv_writer.h"

using qivw::Bytes;
using namespace qivctl;

namespace {

using qivtestclock::FakeClock;

// Plays the control: keeps the background and preview pictures, the object and its
// textures, and a trace of the window-side actions.
class FakeControl : public QivLoadHost {
public:
    ~FakeControl() override {
        if (background) fzFreeImage(&background);
        if (preview) fzFreeImage(&preview);
        if (object) pelFreeObject(&object);
    }
    int32_t backPicMode() override { return mode; }
    void setBackPicMode(int32_t m) override { mode = m; }
    void showBackground(PicRecord* p, bool asPreview) override {
        if (background && background != p) fzFreeImage(&background);
        background = p;
        trace.push_back(asPreview ? "preview up" : "background " + std::to_string(p->width));
    }
    void keepPreviewPicture() override {
        if (!preview) preview = background;
        else if (background) fzFreeImage(&background);
        background = nullptr;
    }
    void setPreviewPicture(PicRecord* p) override {
        if (preview) fzFreeImage(&preview);
        preview = p;
        trace.push_back("preview kept");
    }
    void rebuildBackground() override { trace.push_back("rebuild"); }
    void startPreviewTimer(uint32_t ms) override { trace.push_back("timer " + std::to_string(ms)); }
    bool addObject(PelContent* c, bool) override {
        object = c;
        trace.push_back("object");
        return true;
    }
    void objectReplaced(PelContent* before, PelContent* now) override {
        EXPECT_EQ(before, object);
        object = now;
        ++replaced;
    }
    void setTexture(uint32_t index, TexRecord* t) override {
        textures.push_back({index, t});
        EXPECT_GT(TextureCacheUses(t) + TextureCacheCount(), 0u);
    }
    void applyFirstSavedView() override { trace.push_back("apply view"); }
    void initAnimation() override { trace.push_back("animation"); }
    void fireObjectLoaded() override { trace.push_back("loaded"); }
    void endTransfer(bool ok) override { trace.push_back(ok ? "end ok" : "end failed"); }

    int32_t mode = 3;
    PicRecord* background = nullptr;
    PicRecord* preview = nullptr;
    PelContent* object = nullptr;
    std::vector<std::pair<uint32_t, TexRecord*>> textures;
    std::vector<std::string> trace;
    int replaced = 0;
};

qivw::Container richContainer() {
    qivw::Container c;
    jpegmk::Options o;
    o.width = 80;
    o.height = 60;
    o.progressive = true;
    c.preview = jpegmk::make(o);
    o.progressive = false;
    o.width = 24;
    c.second = jpegmk::make(o);
    bmpb::BmpDesc s;
    s.width = 8;
    s.height = 8;
    s.bits = 24;
    using T = qivw::Texture;
    c.chunks.push_back(qivw::textureTable(
        {{1, T::Colour, 0x00336699, {}, 0}, {0, T::File, 0, bmpb::build(s), 0}, {5, T::Shared, 0, {}, 1}}));
    c.chunks.push_back({0x15, Bytes{1, 0, 0, 0, 2, 0, 0, 0}});
    c.chunks.push_back({0x10002, Bytes(6, 'n')});
    c.chunks.push_back(qivw::savedViews(3));
    c.chunks.push_back({0x10001, qivw::nameList("Teapot")});
    c.chunks.push_back({0x14, Bytes(4, 0)});
    return c;
}

std::string joined(const std::vector<std::string>& t) {
    std::string s;
    for (const auto& l : t) s += l + "\n";
    return s;
}

}  // namespace

TEST(LoadSession, ContainerInPiecesFillsTheControl) {
    const Bytes file = qivw::build(richContainer());
    std::string first;
    for (size_t piece : {file.size(), size_t(1), size_t(333)}) {
        cachesReset();
        FakeClock clock;
        FakeControl ctl;
        QivLoadSettings st;
        st.delayAfterPreview = 0;
        st.previewMode = 3;
        {
            QivLoadSession s(&ctl, "http://host/teapot.qiv", QivStreamKind::Container, st, &clock);
            for (size_t at = 0; at < file.size(); at += piece)
                s.feed(file.data() + at, std::min(piece, file.size() - at), 0, false);
            s.endOfTransfer(true);
            ASSERT_TRUE(s.finished());
            EXPECT_TRUE(s.succeeded());
            EXPECT_EQ(s.displayName(), "Teapot");
            EXPECT_EQ(s.savedViews().views.size(), 3u);
            EXPECT_EQ(s.savedViews().names.size(), 6u);
            EXPECT_EQ(s.partValues().size(), 8u);
            EXPECT_EQ(s.fileTime(), richContainer().fileTime);
            EXPECT_EQ(s.payloadSize(), qivw::payload(richContainer()).size());
            std::vector<uint8_t> saved;
            QivKeptContainer kept = s.takeKept();
            ASSERT_EQ(qivSaveImage(kept, &saved), 1);
            EXPECT_EQ(saved, file);
            EXPECT_TRUE(s.over());
        }
        // The preview shows first and gives way to the second picture at the animation chunk;
        // the saved view is applied once; ObjectLoaded once; BackPicMode back as it was.
        const std::vector<std::string> want = {"preview up", "object", "apply view", "background 24", "animation",
                                               "loaded", "end ok"};
        EXPECT_EQ(joined(ctl.trace), joined(want)) << "piece " << piece;
        EXPECT_EQ(ctl.mode, 3);
        ASSERT_NE(ctl.preview, nullptr) << "the preview is kept for the 2D/3D toggle";
        EXPECT_EQ(ctl.preview->width, 80);
        ASSERT_EQ(ctl.textures.size(), 3u);
        EXPECT_EQ(ctl.textures[0].first, 1u);
        EXPECT_EQ(ctl.textures[1].first, 0u);
        EXPECT_EQ(ctl.textures[2].first, 5u);
        EXPECT_EQ(ctl.textures[1].second, ctl.textures[2].second) << "the shared entry reuses the file's texture";
        ASSERT_NE(ctl.object, nullptr);
        EXPECT_EQ(ObjectCacheFind("http://host/teapot.qiv", nullptr, nullptr, nullptr), ctl.object);
        ctl.object = nullptr;  // the cache has it
        cachesReset();
    }
}

// With BackPicMode 0 (colour only) the second preview picture still becomes the backdrop,
// scaled to fit; a background picture chunk that arrives while the preview shows takes its
// place, and the preview stays kept for the 2D view.
TEST(LoadSession, SecondPictureAndBackgroundChunkBecomeTheBackdrop) {
    jpegmk::Options o;
    o.width = 40;
    o.height = 30;
    struct Case {
        const char* name;
        bool second, chunk;
        int width;
    } cases[] = {{"second picture", true, false, 24}, {"background chunk", false, true, 40}};
    for (const Case& k : cases) {
        cachesReset();
        qivw::Container c = richContainer();
        if (!k.second) c.second.clear();
        if (k.chunk) c.chunks.insert(c.chunks.begin(), {0x101, jpegmk::make(o)});
        const Bytes file = qivw::build(c);
        FakeClock clock;
        FakeControl ctl;
        ctl.mode = 0;
        QivLoadSettings st;
        st.delayAfterPreview = 0;
        st.previewMode = 3;
        {
            QivLoadSession s(&ctl, "", QivStreamKind::Container, st, &clock);
            for (size_t at = 0; at < file.size(); at += 200)
                s.feed(file.data() + at, std::min<size_t>(200, file.size() - at), 0, false);
            s.endOfTransfer(true);
            ASSERT_TRUE(s.succeeded()) << k.name;
        }
        EXPECT_EQ(ctl.mode, 1) << k.name;
        ASSERT_NE(ctl.background, nullptr) << k.name;
        EXPECT_EQ(ctl.background->width, k.width) << k.name;
        ASSERT_NE(ctl.preview, nullptr) << k.name;
        EXPECT_EQ(ctl.preview->width, 80) << k.name;
        cachesReset();
    }
}

TEST(LoadSession, PreviewStaysUntilTheClick) {
    cachesReset();
    qivw::Container c = richContainer();
    c.second.clear();
    const Bytes file = qivw::build(c);
    FakeClock clock;
    FakeControl ctl;
    QivLoadSettings st;
    st.previewMode = 1;  // leave on a click only
    st.delayAfterPreview = 300;
    {
        QivLoadSession s(&ctl, "", QivStreamKind::Container, st, &clock);
        s.feed(file.data(), file.size(), file.size(), true);
        EXPECT_FALSE(s.finished()) << "the end of the transfer is remembered";
        EXPECT_FALSE(s.over());
        EXPECT_TRUE(s.waitingAfterPreview());
        EXPECT_EQ(ctl.mode, 1);
        clock.now += 1000;
        s.continueAfterPreview(2);  // the delay does not leave this preview
        EXPECT_TRUE(s.waitingAfterPreview());
        s.continueAfterPreview(1);
        EXPECT_TRUE(s.finished());
        EXPECT_TRUE(s.over());
        EXPECT_TRUE(s.succeeded());
    }
    const std::vector<std::string> want = {"preview up", "timer 300", "object", "apply view", "rebuild",
                                           "animation", "loaded", "end ok"};
    EXPECT_EQ(joined(ctl.trace), joined(want));
    EXPECT_EQ(ctl.mode, 3);
    cachesReset();
}

TEST(LoadSession, BadOrShortContainersLeaveTheControlAsItWas) {
    cachesReset();
    const Bytes file = qivw::build(richContainer());
    Bytes badMagic = file;
    badMagic[0] = 'x';
    Bytes truncatedInObject(file.begin(), file.begin() + ptrdiff_t(file.size() / 2));
    for (const Bytes* b : {&badMagic, &truncatedInObject}) {
        FakeClock clock;
        FakeControl ctl;
        QivLoadSettings st;
        {
            QivLoadSession s(&ctl, "x.qiv", QivStreamKind::Container, st, &clock);
            s.feed(b->data(), b->size(), 0, true);
            EXPECT_TRUE(s.finished());
            EXPECT_FALSE(s.succeeded());
        }
        EXPECT_EQ(ctl.object, nullptr);
        EXPECT_EQ(ctl.mode, 3);
        EXPECT_EQ(ctl.trace.back(), "end failed");
    }
    errReset();
    cachesReset();
}

TEST(LoadSession, AdditionalObjectAndPlainPicture) {
    cachesReset();
    const Bytes file = qivw::build(richContainer());
    {
        FakeClock clock;
        FakeControl ctl;
        QivLoadSettings st;
        st.loadingSlot = 2;
        QivLoadSession s(&ctl, "", QivStreamKind::Container, st, &clock);
        for (size_t at = 0; at < file.size(); at += 500) s.feed(file.data() + at, std::min<size_t>(500, file.size() - at), 0, false);
        s.endOfTransfer(true);
        EXPECT_TRUE(s.succeeded());
        EXPECT_EQ(ctl.trace.front(), "preview kept") << "an additional object shows no preview";
        EXPECT_EQ(std::count(ctl.trace.begin(), ctl.trace.end(), "preview up"), 0);
    }
    {
        jpegmk::Options o;
        o.width = 48;
        o.height = 32;
        o.progressive = true;
        const Bytes jpg = jpegmk::make(o);
        FakeClock clock;
        FakeControl ctl;
        QivLoadSession s(&ctl, "p.jpg", qivStreamLoadKind("p.jpg"), {}, &clock);
        for (size_t at = 0; at < jpg.size(); at += 200) s.feed(jpg.data() + at, std::min<size_t>(200, jpg.size() - at), jpg.size(), false);
        s.endOfTransfer(true);
        EXPECT_TRUE(s.succeeded());
        ASSERT_NE(ctl.background, nullptr);
        EXPECT_EQ(ctl.background->width, 48);
        EXPECT_EQ(ctl.trace.front(), "background 48");
        EXPECT_EQ(ctl.trace.back(), "end ok");
    }
    cachesReset();
}

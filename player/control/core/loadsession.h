// The control's side of one streaming load: it owns the load driver while a container or a
// picture file arrives and turns what the driver finds into the control's state: the
// preview in place of the 3D view (BackPicMode saved and restored), the second preview
// picture that becomes the background once the preview is left, the object given to the
// scene and the object cache, textures from the texture table and the cache, the saved
// views, the display name and the per-part block of the chunk list, and the container kept
// for saving. The window side (drawing, timers, events, posted commands) goes through
// QivLoadHost.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "loaddriver.h"

struct PelContent;
struct PicRecord;
struct TexRecord;

// Saved views of an object: records of chunk 0x111 and the names block of chunk 0x10002.
struct QivSavedViewList {
    std::vector<QivSavedView> views;
    std::vector<uint8_t> names;
};

class QivLoadHost {
public:
    virtual ~QivLoadHost() = default;
    virtual int32_t backPicMode() = 0;
    virtual void setBackPicMode(int32_t mode) = 0;
    // The picture becomes the background picture (the control owns it; the one before is
    // freed unless it was kept as the preview picture). preview: it is put up in place of
    // the 3D view, the frame drawn with it and ThumbnailDone fired.
    virtual void showBackground(PicRecord* picture, bool preview) = 0;
    // A later pass of the picture on display: redraw the background.
    virtual void drawBackgroundPass() {}
    // The background picture is kept as the preview picture for the 2D/3D toggle (unless one
    // is kept already) and cleared.
    virtual void keepPreviewPicture() {}
    // A preview decoded without display is kept as the preview picture (the control owns it).
    virtual void setPreviewPicture(PicRecord* picture);
    // The background description is built again from the control's values.
    virtual void rebuildBackground() {}
    // Timer 55.
    virtual void startPreviewTimer(uint32_t ms) {}
    // The first object: to the scene in the loading slot (the scene roots rebuilt, the scene
    // prepared). False when it could not be added; the load then ends without object.
    virtual bool addObject(PelContent* content, bool hasTextures) = 0;
    // A later parse of the growing object stream: the nodes show the new content now and the
    // old one is freed.
    virtual void objectReplaced(PelContent* before, PelContent* now) {}
    virtual void redraw() {}
    // Texture index of the loading object: the handle and the areas that use it (a texture
    // of the texture cache: the control holds it there).
    virtual void setTexture(uint32_t index, TexRecord* texture) {}
    virtual uint32_t textureSlots() { return 0x8000; }
    // The cache key of a texture name (the control's texture naming).
    virtual std::string textureName(const std::string& name) { return name; }
    virtual void applyFirstSavedView() {}  // posted command 29000
    virtual void initAnimation() {}        // animation chunk: the slot's animation and AnimPlaying
    virtual void fireObjectLoaded() {}     // with the event slot set to the loading slot
    virtual void loadBackPictureURL() {}
    virtual void endTransfer(bool success) {}
};

struct QivLoadSettings {
    int32_t delayAfterPreview = 0;
    uint32_t previewMode = 3;
    bool incrementalDisplay = false;
    int32_t loadingSlot = 0;  // above 0: an additional object, shown without preview
    bool noPreview = false;   // a load from the document's stream
    bool allAtHand = false;   // the whole transfer is at hand (a local file read in pieces)
    std::string language = "XX";  // content language of the display name
};

class QivLoadSession : private QivLoadSink {
public:
    // kind: what qivStreamLoadKind says of the name (None is taken as a container).
    QivLoadSession(QivLoadHost* host, const std::string& sourceName, QivStreamKind kind,
                   const QivLoadSettings& settings, QivLoadClock* clock = nullptr);
    ~QivLoadSession() override;
    QivLoadSession(const QivLoadSession&) = delete;
    QivLoadSession& operator=(const QivLoadSession&) = delete;

    // The next piece (expectedTotal 0: unknown); end: the transfer ends with this piece.
    void feed(const uint8_t* data, size_t n, uint64_t expectedTotal, bool end);
    // The transfer ended. The load stays while it waits after its preview.
    void endOfTransfer(bool success);
    // reason 1: a click or press; 2: the preview delay may have passed.
    void continueAfterPreview(int reason);
    // The preview gives way to the 3D view (the second picture, if any, becomes the
    // background).
    void leavePreview() override;
    // Ends the load at once, also from inside a host call: the driver stops once that call
    // returns and the host hears nothing more.
    void stop();

    // The outcome is known; succeeded: an object was built (or the picture shown).
    bool finished() const { return finished_; }
    // The transfer has been ended (endTransfer told): the control frees the session.
    bool over() const { return over_; }
    bool succeeded() const { return succeeded_; }
    bool waitingAfterPreview() const { return driver_.state() == 5; }
    bool previewShown() const { return previewShown_; }
    const std::string& sourceName() const { return name_; }
    const QivLoadDriver& driver() const { return driver_; }

    // What the load leaves to the control.
    PelContent* object() const { return object_; }
    const QivSavedViewList& savedViews() const { return views_; }
    const std::string& displayName() const { return displayName_; }
    const std::vector<uint8_t>& partValues() const { return chunk21_; }
    uint64_t fileTime() const { return fileTime_; }
    // The container as received and its payload, for saving (after the end).
    QivKeptContainer takeKept();
    std::unique_ptr<uint8_t[]> takePayload() { return std::move(payload_); }
    uint32_t payloadSize() const { return payloadSize_; }

private:
    void pictureShown(QivPictureKind kind, PicRecord* picture, bool first) override;
    void pictureComplete(QivPictureKind kind, PicRecord* picture) override;
    void previewWait(int32_t delayMs) override;
    void objectParsed(PelContent* content, const PelStreamInfo* info, bool first) override;
    uint32_t textureSlotCount() override { return host_->textureSlots(); }
    void colourTexture(const std::string& name, uint32_t colour, const std::vector<uint32_t>& indices) override;
    void embeddedTexture(const std::string& name, const uint8_t* data, uint32_t size,
                         const std::vector<uint32_t>& indices) override;
    void chunk(uint32_t type, const uint8_t* data, uint32_t length) override;
    void objectLoaded() override;
    void payloadComplete(std::unique_ptr<uint8_t[]> payload, uint32_t size) override;
    std::string textureKey(const std::string& name, uint32_t index);
    void settle(QivLoadDriver::Result r);
    void finish(bool success);
    void endTransfer();

    QivLoadHost* host_;
    std::string name_;
    QivLoadSettings settings_;
    QivLoadDriver driver_;
    bool plain_ = false;
    bool finished_ = false, succeeded_ = false, transferEnded_ = false, over_ = false;
    bool previewShown_ = false;
    bool savedMode_ = false;
    int32_t savedBackPicMode_ = 0;
    PicRecord* second_ = nullptr;  // second preview picture, until the preview is left
    bool secondShown_ = false;
    bool objectAdded_ = false;
    bool viewsPosted_ = false, haveViews_ = false, haveViewNames_ = false;
    PelContent* object_ = nullptr;
    QivSavedViewList views_;
    std::string displayName_;
    std::vector<uint8_t> chunk21_;
    uint64_t fileTime_ = 0;
    std::unique_ptr<uint8_t[]> payload_;
    uint32_t payloadSize_ = 0;
};

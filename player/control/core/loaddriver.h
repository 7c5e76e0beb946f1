// Load driver: takes the pieces of a Qiv container (or of a plain JPEG picture) as they
// arrive and advances the load as far as the data allows: the preview picture while the
// object arrives, the object stream (reparsed while it grows, throttled), the texture table
// and the other chunks. What it finds goes to a sink; nothing waits.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "jpegglue.h"
#include "qivcontainer.h"

struct PelContent;
struct PelStreamInfo;
struct PicRecord;

// Milliseconds of a running clock (GetTickCount in the control; a fake one in tests).
class QivLoadClock {
public:
    virtual ~QivLoadClock() = default;
    virtual uint32_t nowMs() = 0;
};
// The process's steady clock.
QivLoadClock* qivSteadyClock();

enum class QivPictureKind { Preview, SecondPreview, Background, Plain };

// What the load produces. Pictures passed to pictureShown are lent (later passes draw into
// them); pictureComplete hands a picture over.
class QivLoadSink {
public:
    virtual ~QivLoadSink() = default;
    // A display pass of a picture (not for the second preview picture, which is not shown
    // while it is decoded); first is the picture's first display.
    virtual void pictureShown(QivPictureKind kind, PicRecord* picture, bool first) {}
    // The picture is done (complete, or the last pass shown before its data failed); the sink
    // owns it now. The default frees it.
    virtual void pictureComplete(QivPictureKind kind, PicRecord* picture);
    // The load waits after its preview; delayMs is DelayAfterPreview (a timer is due unless it
    // is 0 or -1).
    virtual void previewWait(int32_t delayMs) {}
    // A parse of the object stream made a content (first: the load's first object). Later
    // parses replace the content: the nodes that show it have moved to the new one.
    virtual void objectParsed(PelContent* content, const PelStreamInfo* info, bool first) {}
    // Texture handles of the loading object; texture indices at or above it are dropped.
    virtual uint32_t textureSlotCount() { return 0x8000; }
    // A one-colour texture (colour 0x00BBGGRR) for the given texture indices.
    virtual void colourTexture(const std::string& name, uint32_t colour, const std::vector<uint32_t>& indices) {}
    // An embedded picture file (BMP or JPEG) for the given texture indices.
    virtual void embeddedTexture(const std::string& name, const uint8_t* data, uint32_t size,
                                 const std::vector<uint32_t>& indices) {}
    // A chunk other than the texture table and the background picture, after it was applied
    // to the content.
    virtual void chunk(uint32_t type, const uint8_t* data, uint32_t length) {}
    // The animation chunk marks the object complete: the preview is left, then the chunk
    // comes (animation set up), then objectLoaded.
    virtual void leavePreview() {}
    virtual void objectLoaded() {}
    // The whole payload has arrived (or all of it that will); the sink keeps it.
    virtual void payloadComplete(std::unique_ptr<uint8_t[]> payload, uint32_t size) {}
    // A fault that ends only part of the load (a bad chunk list or texture table).
    virtual void loadWarning(uint32_t level, const char* text) {}
};

// Which downloads are fed to the driver as they arrive: a name starting with "mailbox:",
// without an extension or with ".qiv" is a container; ".jpg", ".jpeg" and ".jif" a plain
// picture; anything else goes to a file first. Extensions compare without case.
enum class QivStreamKind { None, Container, Picture };
QivStreamKind qivStreamLoadKind(const std::string& name);

struct QivLoadOptions {
    int32_t delayAfterPreview = 0;  // DelayAfterPreview, ms; -1: no timer
    uint32_t previewMode = 3;       // bit 1: leave on a click; bit 2: leave by itself
    bool incrementalDisplay = false;
    bool noPreview = false;         // an additional object, or a load from a stream
    bool plainPicture = false;      // a JPEG picture file, not a container
    bool allAtHand = false;         // the whole transfer is at hand (a local file read in pieces)
};

class QivLoadDriver {
public:
    enum class Result { Working, Waiting, Done, Failed };
    QivLoadDriver(QivLoadSink* sink, const QivLoadOptions& options, QivLoadClock* clock = nullptr);
    ~QivLoadDriver();
    QivLoadDriver(const QivLoadDriver&) = delete;
    QivLoadDriver& operator=(const QivLoadDriver&) = delete;

    // The next piece; expectedTotal is the size of the whole transfer when known (0: unknown).
    Result feed(const uint8_t* data, size_t n, uint64_t expectedTotal);
    // reason 1: a click or mouse press; 2: the preview delay may have passed.
    Result continueAfterPreview(int reason);
    // The transfer ended. Waiting when the load waits after its preview and keeps going after
    // it; otherwise the load is finished with what arrived.
    Result endOfTransfer(bool success);
    // The second preview picture has been made the background (a later background picture
    // of the chunk list is then decoded in one pass).
    void noteSecondPictureShown() { secondShown_ = true; }
    // Ends the load where it stands, from inside a sink call as well: once the call under way
    // returns the driver reads no more data and touches its object no more (the result is
    // Failed, without an error report).
    void stop();

    // 0-10 as the load states; 11 chunk list done; 12 finished.
    int state() const { return state_; }
    Result result() const { return result_; }
    bool showsPreview() const { return !noPreview_; }
    bool previewShown() const { return previewShown_; }
    bool loadedFired() const { return loadedFired_; }
    bool endedWhileWaiting() const { return endedWhileWaiting_; }
    uint32_t errorLevel() const { return errorLevel_; }
    PelContent* object() const { return object_; }
    uint32_t parseCount() const { return parses_; }
    uint32_t parseAttempts() const { return attempts_; }
    uint64_t inflated() const { return reader_.inflated(); }
    const QivContainerReader& reader() const { return reader_; }
    // The content built, for the caller to keep; the driver forgets it.
    PelContent* takeObject();
    // The picture being decoded once it has been shown (its display keeps it when the load
    // ends before it is complete); null otherwise.
    PicRecord* takeShownPicture();
    // The container as received, for saving; taken when the transfer has ended (the bytes
    // behind the payload still go to it). A stored container's payload pointer is the one
    // handed over by payloadComplete.
    QivKeptContainer takeKept();

private:
    class Passes;
    Result fail(uint32_t level, const char* text);
    Result feedPlain(const uint8_t* data, size_t n, uint64_t total);
    void advance();
    bool decodePicture(QivPictureKind kind);  // true when the picture is done
    void startPicture(QivPictureKind kind, const uint8_t* data, uint32_t length, bool singlePass);
    void afterPreview();
    bool previewDelayPassed();
    bool parseObject();
    bool chunkStep();
    void textureColours();
    bool textureFiles();
    std::vector<uint32_t> indicesFor(uint32_t position);
    void finishPayload();
    bool inputEnded() const;

    QivLoadSink* sink_;
    QivLoadSink fallbackSink_;
    QivLoadOptions options_;
    QivLoadClock* clock_;
    QivContainerReader reader_;
    int state_ = 0;
    Result result_ = Result::Working;
    uint32_t errorLevel_ = 0;
    bool firstPiece_ = true;
    bool noPreview_ = false;
    bool previewShown_ = false;
    bool secondPicture_ = false;
    bool secondShown_ = false;
    bool goOn_ = false;
    bool endedWhileWaiting_ = false;
    bool transferEnded_ = false;
    bool loadedFired_ = false;
    bool payloadDone_ = false;
    uint32_t previewTime_ = 0;
    uint32_t lastParseTime_ = 0;
    uint32_t lastParseDuration_ = 0;
    uint32_t parses_ = 0;
    uint32_t attempts_ = 0;
    PelContent* object_ = nullptr;
    const uint8_t* keptPayload_ = nullptr;
    uint32_t keptPayloadSize_ = 0;

    // Picture being decoded.
    JpegStreamDecoder decoder_;
    QivPictureKind pictureKind_ = QivPictureKind::Preview;
    uint32_t pictureLength_ = 0;
    uint64_t pictureOffset_ = 0;  // payload offset of the picture
    uint32_t previewLength_ = 0;

    // Chunk list.
    uint64_t cursor_ = 0;
    QivChunkHead chunk_;
    std::vector<QivTextureEntry> table_;
    uint32_t texturePos_ = 0;

    // Plain picture.
    std::vector<uint8_t> plain_;
};

// Load driver state machine.
#include "loaddriver.h"

#include <algorithm>
#include <chrono>

#include "render/fzbuffer.h"
#include "scene/engine.h"
#include "scene/pelfile.h"
#include "scene/qivstream.h"
#include "scene/scene.h"

namespace {

// Largest plain picture file taken in.
constexpr size_t PLAIN_PICTURE_MAX = 256u << 20;

class SteadyClock : public QivLoadClock {
public:
    uint32_t nowMs() override {
        using namespace std::chrono;
        return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
    }
};

}  // namespace

QivLoadClock* qivSteadyClock() {
    static SteadyClock clock;
    return &clock;
}

QivStreamKind qivStreamLoadKind(const std::string& name) {
    auto lower = [](std::string t) {
        for (char& c : t)
            if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        return t;
    };
    if (lower(name.substr(0, 8)) == "mailbox:") return QivStreamKind::Container;
    const size_t slash = name.find_last_of("/\\");
    const size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return QivStreamKind::Container;
    const std::string ext = lower(name.substr(dot));
    if (ext == ".qiv") return QivStreamKind::Container;
    if (ext == ".jpg" || ext == ".jpeg" || ext == ".jif") return QivStreamKind::Picture;
    return QivStreamKind::None;
}

void QivLoadSink::pictureComplete(QivPictureKind, PicRecord* picture) { fzFreeImage(&picture); }

// Passes of the picture decoder, as the sink sees them.
class QivLoadDriver::Passes : public JpegPassListener {
public:
    explicit Passes(QivLoadDriver* d) : d_(d) {}
    void jpegPassReady(PicRecord* picture, bool first, bool) override {
        switch (d_->pictureKind_) {
        case QivPictureKind::Preview:
            if (d_->noPreview_) return;
            if (first) d_->previewShown_ = true;
            break;
        case QivPictureKind::SecondPreview:
            return;
        default:
            break;
        }
        d_->sink_->pictureShown(d_->pictureKind_, picture, first);
    }

private:
    QivLoadDriver* d_;
};

QivLoadDriver::QivLoadDriver(QivLoadSink* sink, const QivLoadOptions& options, QivLoadClock* clock)
    : sink_(sink ? sink : &fallbackSink_), options_(options), clock_(clock ? clock : qivSteadyClock()) {
    noPreview_ = options.noPreview;
}

QivLoadDriver::~QivLoadDriver() {
    if (object_) pelFreeObject(&object_);
}

PelContent* QivLoadDriver::takeObject() {
    PelContent* c = object_;
    object_ = nullptr;
    return c;
}

PicRecord* QivLoadDriver::takeShownPicture() {
    return decoder_.picture() && decoder_.passesShown() > 0 ? decoder_.takePicture() : nullptr;
}

QivKeptContainer QivLoadDriver::takeKept() {
    QivKeptContainer k = reader_.takeKept();
    if (k.stored) {
        k.payload = keptPayload_;
        k.payloadLength = keptPayload_ ? keptPayloadSize_ : 0;
    }
    return k;
}

QivLoadDriver::Result QivLoadDriver::fail(uint32_t level, const char* text) {
    errReport(level, "%s", text);
    errorLevel_ = level;
    state_ = 12;
    result_ = Result::Failed;
    return result_;
}

void QivLoadDriver::stop() {
    if (result_ == Result::Done || result_ == Result::Failed) return;
    state_ = 12;
    result_ = Result::Failed;
}

bool QivLoadDriver::inputEnded() const { return transferEnded_ || reader_.inflationEnded(); }

// ---------------------------------------------------------------------------
// Pieces

QivLoadDriver::Result QivLoadDriver::feed(const uint8_t* data, size_t n, uint64_t total) {
    if (result_ == Result::Done && !options_.plainPicture) {
        reader_.feed(data, n, total);  // the raw copy takes what follows the payload
        return result_;
    }
    if (result_ == Result::Done || result_ == Result::Failed) return result_;
    if (!data) n = 0;
    if (options_.plainPicture) return feedPlain(data, n, total);
    if (firstPiece_ && n) {
        firstPiece_ = false;
        // All of it in the first piece (or at hand), and the preview would give way at once:
        // not shown.
        if ((options_.allAtHand || (total && total <= n)) && options_.delayAfterPreview == 0 &&
            (options_.previewMode & 2))
            noPreview_ = true;
    }
    if (reader_.feed(data, n, total) == QivContainerReader::Status::Failed)
        return fail(reader_.errorLevel(), reader_.errorText());
    if (!reader_.payloadKnown()) {
        if (reader_.headerRead() && state_ == 0) state_ = 1;
        if (inputEnded()) return fail(4, "Qiv container ends before its payload header");
        return result_;
    }
    if (state_ <= 1) state_ = reader_.payloadHeader().previewOffset ? 2 : 6;
    advance();
    if (result_ == Result::Failed) return result_;
    if (state_ == 5) return Result::Waiting;
    if (state_ == 11 && (reader_.complete() || inputEnded())) finishPayload();
    return result_;
}

QivLoadDriver::Result QivLoadDriver::feedPlain(const uint8_t* data, size_t n, uint64_t total) {
    if (plain_.size() + n > PLAIN_PICTURE_MAX) return fail(4, "Picture file too large");
    const bool first = firstPiece_;
    firstPiece_ = false;
    if (first && total) plain_.reserve(size_t(std::min<uint64_t>(total, PLAIN_PICTURE_MAX)));
    plain_.insert(plain_.end(), data, data + n);
    if (first) {
        // A declared size below what already came is no size at all.
        if (total < n) total = 0;
        pictureKind_ = QivPictureKind::Plain;
        const size_t length = total ? size_t(std::min<uint64_t>(total, PLAIN_PICTURE_MAX)) : PLAIN_PICTURE_MAX;
        pictureLength_ = uint32_t(length);
        if (!decoder_.begin(plain_.data(), length, plain_.size(), false))
            return fail(3, "Picture could not be decoded");
        state_ = 3;
    }
    decoder_.update(plain_.data(), plain_.size());
    if (transferEnded_) decoder_.endOfInput();
    Passes passes(this);
    const JpegStreamDecoder::Result r = decoder_.run(&passes);
    if (r == JpegStreamDecoder::Result::Wait) return result_;
    PicRecord* pic = decoder_.takePicture();
    const bool shown = decoder_.passesShown() > 0;
    plain_.clear();
    plain_.shrink_to_fit();
    state_ = 12;
    if (pic && shown) {
        sink_->pictureComplete(QivPictureKind::Plain, pic);
        result_ = Result::Done;
        return result_;
    }
    if (pic) fzFreeImage(&pic);
    return fail(3, "Picture could not be decoded");
}

// Leaving by itself: PreviewMode bit 2 and DelayAfterPreview passed (-1: never).
bool QivLoadDriver::previewDelayPassed() {
    if (!(options_.previewMode & 2)) return false;
    const uint32_t delay = uint32_t(options_.delayAfterPreview);
    return delay == 0 || uint32_t(clock_->nowMs() - previewTime_) >= delay;
}

QivLoadDriver::Result QivLoadDriver::continueAfterPreview(int reason) {
    if (state_ != 5) return result_;
    if (!(options_.previewMode & uint32_t(reason))) return Result::Waiting;
    if (reason == 2 && !previewDelayPassed()) return Result::Waiting;
    goOn_ = true;
    Result r = feed(nullptr, 0, reader_.payloadKnown() ? reader_.payloadHeader().payloadSize : 0);
    if (endedWhileWaiting_ && r != Result::Waiting) r = endOfTransfer(true);
    return r;
}

QivLoadDriver::Result QivLoadDriver::endOfTransfer(bool success) {
    if (result_ == Result::Done || result_ == Result::Failed) return result_;
    if (state_ == 5 && success) {
        endedWhileWaiting_ = true;
        return Result::Waiting;
    }
    transferEnded_ = true;
    if (options_.plainPicture) {
        if (firstPiece_) return fail(2, "Picture transfer brought no data");
        return feedPlain(nullptr, 0, 0);
    }
    // No more data: pictures end with what they have; then the load ends.
    if (state_ == 5) {
        goOn_ = true;
    }
    Result r = feed(nullptr, 0, 0);
    if (r == Result::Done || r == Result::Failed) return r;
    if (object_) {
        finishPayload();
        return result_;
    }
    return fail(4, success ? "Qiv container ends before its object" : "Transfer of the Qiv container failed");
}

// ---------------------------------------------------------------------------
// States

void QivLoadDriver::startPicture(QivPictureKind kind, const uint8_t* data, uint32_t length, bool singlePass) {
    pictureKind_ = kind;
    pictureLength_ = length;
    pictureOffset_ = uint64_t(data - reader_.payload());
    const uint64_t have = reader_.inflated() > pictureOffset_ ? reader_.inflated() - pictureOffset_ : 0;
    decoder_.begin(data, length, size_t(std::min<uint64_t>(have, length)), singlePass);
}

bool QivLoadDriver::decodePicture(QivPictureKind kind) {
    if (!decoder_.active() && !decoder_.picture()) return true;  // could not start
    const uint64_t have = reader_.inflated() > pictureOffset_ ? reader_.inflated() - pictureOffset_ : 0;
    // The payload buffer may have moved since the last piece.
    decoder_.update(reader_.payload() + pictureOffset_, size_t(std::min<uint64_t>(have, pictureLength_)));
    if (inputEnded()) decoder_.endOfInput();
    Passes passes(this);
    const JpegStreamDecoder::Result r = decoder_.run(&passes);
    if (r == JpegStreamDecoder::Result::Wait) return false;
    PicRecord* pic = decoder_.takePicture();
    // A failed picture that was on display stays as its last pass showed it.
    const bool keep = r == JpegStreamDecoder::Result::Complete || decoder_.passesShown() > 0;
    if (pic && keep) {
        sink_->pictureComplete(kind, pic);
    } else if (pic) {
        fzFreeImage(&pic);
    }
    return true;
}

void QivLoadDriver::afterPreview() {
    state_ = 6;
    // Waiting makes sense only behind a preview on display.
    if (!previewShown_ || noPreview_) return;
    if (options_.delayAfterPreview == 0 && (options_.previewMode & 2)) return;
    state_ = 5;
    if (options_.delayAfterPreview != 0) previewTime_ = clock_->nowMs();
    sink_->previewWait(options_.delayAfterPreview);
}

void QivLoadDriver::advance() {
    const QivPayloadHeader& h = reader_.payloadHeader();
    const uint8_t* payload = reader_.payload();
    for (;;) {
        const uint64_t have = reader_.inflated();
        switch (state_) {
        case 2: {
            if (have < uint64_t(h.previewOffset) + 4) {
                if (inputEnded()) state_ = 6;  // no preview comes; the object may still be there
                else return;
                break;
            }
            if (!qivPreviewLength(payload, h, &previewLength_)) {
                fail(4, "Qiv container preview picture does not fit in its area");
                return;
            }
            startPicture(QivPictureKind::Preview, payload + h.previewOffset + 4, previewLength_, noPreview_);
            state_ = 3;
            break;
        }
        case 3:
            if (!decodePicture(QivPictureKind::Preview)) return;
            if (h.previewSize > uint64_t(previewLength_) + 4) {
                secondPicture_ = true;
                startPicture(QivPictureKind::SecondPreview, payload + h.previewOffset + 4 + previewLength_,
                             h.previewSize - previewLength_ - 4, true);
                state_ = 4;
            } else {
                afterPreview();
            }
            break;
        case 4:
            if (!decodePicture(QivPictureKind::SecondPreview)) return;
            afterPreview();
            break;
        case 5:
            if (!goOn_ && !previewDelayPassed()) return;
            goOn_ = false;
            state_ = 6;
            break;
        case 6:
            if (!parseObject()) return;
            break;
        case 7:
            if (!chunkStep()) return;  // waits for data
            break;
        case 8:
            textureColours();
            if (state_ == 8) return;
            break;
        case 9:
            if (!textureFiles()) return;
            break;
        case 10:
            if (!decodePicture(QivPictureKind::Background)) return;
            cursor_ = chunk_.next;
            state_ = 7;
            break;
        default:
            return;
        }
        if (result_ == Result::Failed) return;
    }
}

// True when the state moved on.
bool QivLoadDriver::parseObject() {
    const QivPayloadHeader& h = reader_.payloadHeader();
    const uint64_t objectEnd = uint64_t(h.objectOffset) + h.objectLength;
    const uint64_t have = std::min<uint64_t>(reader_.inflated(), h.payloadSize);
    const bool whole = have >= objectEnd;
    if (!whole) {
        if (inputEnded()) {
            fail(4, "Qiv container ends inside its object stream");
            return false;
        }
        if (!options_.incrementalDisplay || have < uint64_t(h.objectOffset) + QIV_OBJECT_HEAD_BYTES) return false;
        // Reparse throttle: at least twice the last attempt's duration after it ended (failed
        // attempts count too: a prefix that holds no whole object costs a parse as well).
        if (attempts_ && uint32_t(clock_->nowMs() - lastParseTime_) < 2 * lastParseDuration_) return false;
    }
    const uint32_t t0 = clock_->nowMs();
    PelStreamInfo* info = nullptr;
    PelContent* before = object_;
    // Errors of a prefix that is not yet a whole object are expected: they are dropped.
    const size_t queued = errQueueSize();
    const int ok = pelParseStream(reader_.payload(), size_t(have), &object_, &info, nullptr, 0, nullptr);
    if (!whole && !ok)
        while (errQueueSize() > queued && errPop(nullptr, nullptr, nullptr, nullptr)) {
        }
    const uint32_t t1 = clock_->nowMs();
    ++attempts_;
    lastParseTime_ = t1;
    lastParseDuration_ = t1 - t0;
    if (ok && object_) {
        ++parses_;
        sink_->objectParsed(object_, info, before == nullptr);
    }
    if (info) pelFreeStream(&info);
    if (!whole || result_ == Result::Failed) return false;  // stopped from inside the sink
    if (!ok || !object_) {
        fail(3, "Qiv container object stream could not be read");
        return false;
    }
    cursor_ = h.chunkOffset ? h.chunkOffset : h.payloadSize;
    state_ = 7;
    return true;
}

// True when the cursor or the state moved on.
bool QivLoadDriver::chunkStep() {
    const QivPayloadHeader& h = reader_.payloadHeader();
    const uint8_t* payload = reader_.payload();
    const uint64_t have = reader_.inflated();
    const QivRead r = qivReadChunkHead(payload, h.payloadSize, have, cursor_, &chunk_);
    if (r == QivRead::NeedMore) {
        if (!inputEnded()) return false;
        state_ = 11;
        return true;
    }
    if (r == QivRead::End) {
        state_ = 11;
        return true;
    }
    if (r == QivRead::Bad) {
        sink_->loadWarning(4, "Qiv container chunk runs past the payload");
        errReport(4, "Qiv container chunk runs past the payload");
        state_ = 11;
        return true;
    }
    const uint8_t* data = payload + cursor_ + QIV_CHUNK_HEADER_SIZE;
    const uint64_t dataAt = cursor_ + QIV_CHUNK_HEADER_SIZE;
    if (chunk_.type == QIV_CHUNK_TEXTURES) {
        if (have < dataAt + 2 && !inputEnded()) return false;
        table_.clear();
        texturePos_ = 0;
        state_ = 8;
        return true;
    }
    if (chunk_.type == QIV_CHUNK_BACKPICTURE) {
        if (chunk_.length == 0) {
            cursor_ = chunk_.next;
            return true;
        }
        startPicture(QivPictureKind::Background, data, chunk_.length, noPreview_ || secondShown_);
        state_ = 10;
        return true;
    }
    if (have < chunk_.next) {
        if (!inputEnded()) return false;
        state_ = 11;
        return true;
    }
    if (object_) pelApplyChunk(object_, chunk_.type, chunk_.length, data);
    if (chunk_.type == QIV_CHUNK_ANIMATION) {
        // The object is complete: the preview gives way, then its animation is set up.
        sink_->leavePreview();
        sink_->chunk(chunk_.type, data, chunk_.length);
        if (result_ != Result::Failed && !loadedFired_) {
            loadedFired_ = true;
            sink_->objectLoaded();
        }
    } else {
        sink_->chunk(chunk_.type, data, chunk_.length);
    }
    cursor_ = chunk_.next;
    return true;
}

std::vector<uint32_t> QivLoadDriver::indicesFor(uint32_t position) {
    std::vector<uint32_t> out;
    const uint32_t slots = sink_->textureSlotCount();
    auto add = [&](uint32_t index) {
        if (index < slots && std::find(out.begin(), out.end(), index) == out.end()) out.push_back(index);
    };
    add(table_[position].index);
    for (uint32_t j = position + 1; j < table_.size(); ++j)
        if (table_[j].shared && table_[j].sharedPos == position) add(table_[j].index);
    return out;
}

// State 8: the whole table, then its colour textures.
void QivLoadDriver::textureColours() {
    const uint8_t* data = reader_.payload() + cursor_ + QIV_CHUNK_HEADER_SIZE;
    const uint64_t dataAt = cursor_ + QIV_CHUNK_HEADER_SIZE;
    const uint64_t have = reader_.inflated();
    uint32_t count = 0;
    const uint64_t present = have > dataAt ? have - dataAt : 0;
    if (!qivTextureTableCount(data, uint32_t(std::min<uint64_t>(present, chunk_.length)), &count) ||
        present < 2 + uint64_t(count) * QIV_TEXTURE_ENTRY_SIZE) {
        if (!inputEnded() && 2 + uint64_t(count) * QIV_TEXTURE_ENTRY_SIZE <= chunk_.length) return;
        sink_->loadWarning(4, "Qiv container texture table is cut short");
        cursor_ = chunk_.next;
        state_ = 7;
        return;
    }
    if (!qivParseTextureTable(data, chunk_.length, &table_)) {
        sink_->loadWarning(4, "Qiv container texture table is damaged");
        errReport(4, "Qiv container texture table is damaged");
        cursor_ = chunk_.next;
        state_ = 7;
        return;
    }
    const QivPayloadHeader& h = reader_.payloadHeader();
    for (uint32_t i = 0; i < table_.size(); ++i) {
        if (!table_[i].colour) continue;
        std::vector<uint32_t> indices = indicesFor(i);
        if (indices.empty()) continue;
        std::string name;
        qivTextureName(reader_.payload(), have, h, table_[i].index, &name);
        sink_->colourTexture(name, table_[i].value & 0x00FFFFFF, indices);
    }
    texturePos_ = 0;
    state_ = 9;
}

// State 9: embedded files, each once it has arrived. True when the state moved on.
bool QivLoadDriver::textureFiles() {
    const uint64_t dataAt = cursor_ + QIV_CHUNK_HEADER_SIZE;
    const uint64_t have = reader_.inflated();
    const QivPayloadHeader& h = reader_.payloadHeader();
    for (; texturePos_ < table_.size(); ++texturePos_) {
        const QivTextureEntry& e = table_[texturePos_];
        if (e.colour || e.shared) continue;
        const uint64_t end = dataAt + e.fileOffset + e.value;
        if (have < end) {
            if (!inputEnded()) return false;
            break;
        }
        std::vector<uint32_t> indices = indicesFor(texturePos_);
        if (indices.empty() || e.value == 0) continue;
        std::string name;
        qivTextureName(reader_.payload(), have, h, e.index, &name);
        sink_->embeddedTexture(name, reader_.payload() + dataAt + e.fileOffset, e.value, indices);
    }
    cursor_ = chunk_.next;
    state_ = 7;
    return true;
}

void QivLoadDriver::finishPayload() {
    if (payloadDone_) return;
    payloadDone_ = true;
    const uint32_t size = reader_.payloadKnown()
                              ? uint32_t(std::min<uint64_t>(reader_.inflated(), reader_.payloadHeader().payloadSize))
                              : 0;
    std::unique_ptr<uint8_t[]> payload = reader_.takePayload();
    keptPayload_ = payload.get();
    keptPayloadSize_ = size;
    sink_->payloadComplete(std::move(payload), size);
    if (!loadedFired_ && object_) {
        loadedFired_ = true;
        sink_->objectLoaded();
    }
    state_ = 12;
    result_ = object_ ? Result::Done : Result::Failed;
    if (!object_) errorLevel_ = 4;
}

// Control side of a streaming load.
#include "loadsession.h"

#include "caches.h"
#include "texpaths.h"
#include "render/fzbuffer.h"
#include "scene/engine.h"
#include "scene/pelchunk.h"
#include "scene/qivstream.h"
#include "scene/scene.h"
#include "scene/texture.h"

using namespace qivctl;

namespace {

QivLoadOptions driverOptions(const QivLoadSettings& s, QivStreamKind kind) {
    QivLoadOptions o;
    o.delayAfterPreview = s.delayAfterPreview;
    o.previewMode = s.previewMode;
    o.incrementalDisplay = s.incrementalDisplay;
    o.noPreview = s.noPreview || s.loadingSlot > 0;
    o.plainPicture = kind == QivStreamKind::Picture;
    o.allAtHand = s.allAtHand;
    return o;
}

}  // namespace

void QivLoadHost::setPreviewPicture(PicRecord* picture) { fzFreeImage(&picture); }

QivLoadSession::QivLoadSession(QivLoadHost* host, const std::string& sourceName, QivStreamKind kind,
                               const QivLoadSettings& settings, QivLoadClock* clock)
    : host_(host),
      name_(sourceName),
      settings_(settings),
      driver_(this, driverOptions(settings, kind), clock),
      plain_(kind == QivStreamKind::Picture) {
    savedBackPicMode_ = host_->backPicMode();
}

QivLoadSession::~QivLoadSession() {
    // A picture on display belongs to the control even when its data stopped short.
    driver_.takeShownPicture();
    if (objectAdded_) driver_.takeObject();
    if (second_) fzFreeImage(&second_);
}

void QivLoadSession::settle(QivLoadDriver::Result r) {
    if (r == QivLoadDriver::Result::Done) finish(true);
    else if (r == QivLoadDriver::Result::Failed) finish(false);
}

void QivLoadSession::feed(const uint8_t* data, size_t n, uint64_t expectedTotal, bool end) {
    if (over_) return;
    if (!finished_) settle(driver_.feed(data, n, expectedTotal));
    else if (succeeded_) driver_.feed(data, n, expectedTotal);  // the rest of the container is kept
    if (end) endOfTransfer(true);
}

void QivLoadSession::endOfTransfer(bool success) {
    if (over_) return;
    transferEnded_ = true;
    if (!finished_) {
        const QivLoadDriver::Result r = driver_.endOfTransfer(success);
        if (r == QivLoadDriver::Result::Waiting && driver_.state() == 5) return;  // completed after the preview
        settle(r);
        if (!finished_) finish(false);
    }
    endTransfer();
}

void QivLoadSession::continueAfterPreview(int reason) {
    if (finished_ || driver_.state() != 5) return;
    settle(driver_.continueAfterPreview(reason));
}

void QivLoadSession::stop() {
    driver_.stop();
    finished_ = true;
    over_ = true;
}

void QivLoadSession::endTransfer() {
    if (over_) return;
    over_ = true;
    host_->endTransfer(succeeded_);
}

void QivLoadSession::finish(bool success) {
    if (finished_) return;
    finished_ = true;
    succeeded_ = success && (plain_ || objectAdded_);
    driver_.takeShownPicture();
    if (objectAdded_) driver_.takeObject();  // the scene and the cache have it
    if (!succeeded_ && previewShown_) {
        // Nothing replaces the preview: the control's background comes back.
        previewShown_ = false;
        host_->setBackPicMode(savedBackPicMode_);
        host_->rebuildBackground();
    }
    if (driver_.reader().headerRead()) fileTime_ = driver_.reader().container().fileTime;
    // A failed load ends its transfer at once; a good one when the transfer has ended.
    if (!succeeded_ || transferEnded_) endTransfer();
}

QivKeptContainer QivLoadSession::takeKept() { return driver_.takeKept(); }

// ---------------------------------------------------------------------------
// What the driver finds

void QivLoadSession::pictureShown(QivPictureKind kind, PicRecord* picture, bool first) {
    if (!first) {
        if (!objectAdded_) host_->drawBackgroundPass();
        return;
    }
    switch (kind) {
    case QivPictureKind::Preview:
        host_->setBackPicMode(1);  // scaled to fit
        host_->showBackground(picture, true);
        previewShown_ = true;
        break;
    case QivPictureKind::Background:
        // The preview it replaces stays for the 2D view.
        if (previewShown_) host_->keepPreviewPicture();
        host_->setBackPicMode(1);
        host_->showBackground(picture, false);
        break;
    case QivPictureKind::Plain:
        host_->showBackground(picture, false);
        break;
    case QivPictureKind::SecondPreview:
        break;
    }
}

void QivLoadSession::pictureComplete(QivPictureKind kind, PicRecord* picture) {
    switch (kind) {
    case QivPictureKind::Preview:
        if (!previewShown_) host_->setPreviewPicture(picture);  // decoded without display
        break;
    case QivPictureKind::SecondPreview:
        if (second_) fzFreeImage(&second_);
        second_ = picture;
        break;
    case QivPictureKind::Background:
        previewShown_ = false;
        break;
    case QivPictureKind::Plain:
        break;
    }
}

void QivLoadSession::previewWait(int32_t delayMs) {
    if (delayMs != 0 && delayMs != -1) host_->startPreviewTimer(uint32_t(delayMs));
}

void QivLoadSession::leavePreview() {
    if (!previewShown_ || settings_.noPreview || settings_.loadingSlot > 0) return;
    host_->keepPreviewPicture();
    if (!second_ && !secondShown_) {
        previewShown_ = false;
        host_->setBackPicMode(savedBackPicMode_);
        host_->rebuildBackground();
    } else if (second_ && !secondShown_) {
        PicRecord* p = second_;
        second_ = nullptr;
        // The object's backdrop: shown scaled to fit where the colour alone would hide it.
        if (host_->backPicMode() == 0) host_->setBackPicMode(1);
        host_->showBackground(p, false);
        secondShown_ = true;
        driver_.noteSecondPictureShown();
    }
    host_->redraw();
}

void QivLoadSession::objectParsed(PelContent* content, const PelStreamInfo* info, bool first) {
    host_->setBackPicMode(savedBackPicMode_);
    if (first) {
        object_ = content;
        const bool textures = info && (info->flags & 4);
        objectAdded_ = host_->addObject(content, textures);
        if (objectAdded_ && !name_.empty()) ObjectCacheAdd(name_, content);
        return;
    }
    if (content != object_) {
        ObjectCacheReplace(object_, content);
        host_->objectReplaced(object_, content);
        object_ = content;
    }
    host_->redraw();
}

// Cache key of a texture of the table; an index without a name in the object stream gets
// one of its own under the source name.
std::string QivLoadSession::textureKey(const std::string& name, uint32_t index) {
    return host_->textureName(name.empty() ? name_ + "#texture" + std::to_string(index) : name);
}

void QivLoadSession::colourTexture(const std::string& name, uint32_t colour, const std::vector<uint32_t>& indices) {
    if (!objectAdded_ || indices.empty()) return;
    const std::string key = textureKey(name, indices.front());
    const std::string scope = textureScopeOf(name_);
    if (TextureCacheFind(key, nullptr, nullptr, scope)) return;  // cached textures come in with the object
    TexRecord* t = CreateColorTexture(key, colour, scope, name);
    if (!t) return;
    for (uint32_t i : indices) host_->setTexture(i, t);
    host_->redraw();
}

void QivLoadSession::embeddedTexture(const std::string& name, const uint8_t* data, uint32_t size,
                                     const std::vector<uint32_t>& indices) {
    if (!objectAdded_ || indices.empty()) return;
    const std::string key = textureKey(name, indices.front());
    const std::string scope = textureScopeOf(name_);
    if (TextureCacheFind(key, nullptr, nullptr, scope)) return;
    // A picture that does not decode leaves the texture as the object has it.
    TexRecord* t = CreateEmbeddedTexture(key, data, size, scope, name);
    if (!t) return;
    for (uint32_t i : indices) host_->setTexture(i, t);
    host_->redraw();
}

void QivLoadSession::chunk(uint32_t type, const uint8_t* data, uint32_t length) {
    switch (type) {
    case QIV_CHUNK_ANIMATION:
        host_->initAnimation();
        break;
    case QIV_CHUNK_OPAQUE:
        chunk21_.assign(data, data + length);
        if (object_) ObjectCacheSetChunk21(object_, data, length);
        break;
    case QIV_CHUNK_VIEWS:
    case QIV_CHUNK_VIEW_NAMES: {
        const bool views = type == QIV_CHUNK_VIEWS;
        if (views) views_.views = qivParseSavedViews(data, length);
        else views_.names.assign(data, data + length);
        const bool other = views ? haveViewNames_ : haveViews_;
        (views ? haveViews_ : haveViewNames_) = true;
        if (!other && !viewsPosted_) {
            viewsPosted_ = true;
            host_->applyFirstSavedView();
        }
        break;
    }
    case QIV_CHUNK_NAME: {
        char* text = nullptr;
        if (pelGetLangText(reinterpret_cast<const char*>(data), length, settings_.language.c_str(), 1, 1, &text) &&
            text) {
            displayName_ = text;
            if (object_) ObjectCacheSetText(object_, displayName_);
        }
        if (text) memFreeRefT(&text);
        break;
    }
    default:
        break;
    }
}

void QivLoadSession::objectLoaded() {
    if (objectAdded_) host_->fireObjectLoaded();
}

void QivLoadSession::payloadComplete(std::unique_ptr<uint8_t[]> payload, uint32_t size) {
    payload_ = std::move(payload);
    payloadSize_ = size;
    if (driver_.reader().headerRead()) fileTime_ = driver_.reader().container().fileTime;
    if (previewShown_ && !second_ && !secondShown_ && driver_.state() != 5) host_->rebuildBackground();
    host_->redraw();
    host_->loadBackPictureURL();
}

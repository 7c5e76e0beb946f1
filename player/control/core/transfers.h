// Downloads of the control without the URL monikers: URL rules, the state of
// one bind (status texts, progress, where each piece of data goes), and the
// list of pending transfers that is worked through one download at a time.
// The Windows layer owns the monikers, the bind context and the temporary
// file; it asks these classes what to do at each callback.
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qivctl {

// ---- URLs ----

// "file://" at the start, compared without case.
bool isFileUrl(std::string_view url);
// The local path of a "file://" URL (the text behind the prefix); empty for other URLs.
std::string_view fileUrlPath(std::string_view url);
// ObjectURL of a loaded local file: "file://" and the path; false when that is over
// kObjectUrlMax characters.
constexpr size_t kObjectUrlMax = 2047;
bool fileUrlOf(std::string_view path, std::string* out);

// BindURL's first step: refused while closing or without urlmon; a "file://" URL names a
// local file that is loaded at once (LocalFile) or ends the transfer with failure
// (LocalMissing); anything else is bound. The local path is the text behind the prefix,
// without the '/' of a "file:///C:/..." form, percent sequences decoded when only the
// decoded path exists.
struct BindPlan {
    enum class Kind { Refused, LocalFile, LocalMissing, Remote } kind = Kind::Refused;
    std::string localPath;
};
BindPlan planBind(std::string_view url, bool closing, bool urlmonLoaded, const std::function<bool(const std::string&)>& exists);
// Messages 121 and 122: the text followed by the URL in double quotation marks, at most
// kUrlMessageMax characters.
constexpr size_t kUrlMessageMax = 1023;
enum : uint32_t { kStrInvalidUrl = 121, kStrUrlTypeNotSupported = 122 };
std::string urlMessage(std::string_view text, std::string_view url);

// Bind flags of GetBindInfo: the flags urlmon passes with asynchronous storage,
// resynchronisation, no user interface, silent operation and the cache on a
// network failure added.
constexpr uint32_t kBindFlagsAdded = 0x81A02;
uint32_t bindInfoFlags(uint32_t given);

// ---- one bind ----

// Binding status codes the callback tells apart (values of BINDSTATUS; 5, data arriving,
// is a progress code like the others).
enum : uint32_t {
    kBindStatusFindingResource = 1,
    kBindStatusConnecting = 2,
    kBindStatusSendingRequest = 11,
};
// Status texts of the string table.
enum : uint32_t { kStrSearchingHost = 151, kStrConnecting = 152, kStrRequestSent = 153 };
constexpr size_t kBindStatusLineMax = 255;

// Percentage of done in total, rounded to the nearest integer and at most 100,
// computed in 64 bits; 0 for a total of 0.
uint32_t progressPercent(uint64_t done, uint64_t total);

// OnDataAvailable reads the stream in pieces of at most this many bytes (the size urlmon
// reports counts everything available so far and is never allocated at once).
constexpr size_t kBindReadPiece = 64 * 1024;
// The most a download of unknown length collects before it is refused.
constexpr size_t kUnknownLengthMax = 256u * 1024 * 1024;

class BindSession {
public:
    // toFile: the data go to a temporary file; otherwise to the load driver.
    explicit BindSession(bool toFile, size_t unknownLengthMax = kUnknownLengthMax);

    struct Progress {
        uint32_t messageId = 0;   // status line to show (0: none)
        std::string statusLine;   // with the status text in place, at most kBindStatusLineMax
        bool showProgress = false;
        uint32_t percent = 0, done = 0, total = 0;  // for the progress display
    };
    // OnProgress. statusLineTemplate is the string-table text of the messageId the answer
    // names (151 or 152); the Windows layer may call once with an empty template to learn
    // the id and again with the text, or pass the right text at once.
    Progress onProgress(uint32_t progress, uint32_t maximum, uint32_t statusCode, std::string_view statusText,
                        std::string_view statusLineTemplate = {});
    // The text id onProgress will show for a status code (0 for progress codes).
    static uint32_t statusMessageOf(uint32_t statusCode);

    // OnDataAvailable: what to do with one piece read from the stream.
    struct Route {
        enum class Kind { File, Feed, Keep, Refuse } kind = Kind::Keep;
        // Feed: data to hand to the load driver now, in order, with the expected total.
        // Data kept while the total was unknown come first when it becomes known.
        std::vector<uint8_t> feed;
        uint32_t expectedTotal = 0;
        bool remote = false;
    };
    // File: write the piece; Feed: hand route.feed over; Keep: kept here; Refuse: more than
    // the limit of unknown length arrived, abort the binding (it then stops with failure).
    Route onData(const uint8_t* data, size_t size);

    // OnStopBinding with success while streaming: what is still kept, in one piece with
    // its own length as the total; empty when nothing is kept.
    Route finish();

    uint32_t expectedTotal() const { return expected_; }  // 0xFFFFFFFF while unknown
    // Bytes that onData has seen. A transfer that ends "successfully" with fewer bytes than
    // its known total was cut short (a dropped connection).
    uint64_t received() const { return received_; }
    bool truncated() const { return expected_ != 0xFFFFFFFFu && received_ < expected_; }
    bool remote() const { return remote_; }
    bool toFile() const { return toFile_; }
    bool refused() const { return refused_; }
    size_t keptBytes() const { return kept_.size(); }

private:
    bool toFile_;
    size_t keptMax_;
    uint32_t expected_ = 0xFFFFFFFFu;
    bool remote_ = false, refused_ = false;
    uint64_t received_ = 0;
    std::vector<uint8_t> kept_;
};

// ---- pending transfers ----

enum TransferKind : int32_t {
    kTransferTexture = 0,        // textures of an object being loaded (any kind not below)
    kTransferGeometry = 3,
    kTransferBackground = 2,
    kTransferMaterial = 4,
    kTransferSlotTexture = 5,    // replacement texture of an object slot
    kTransferObject = 6,
};
enum : uint32_t { kStrLoadingGeometry = 146, kStrLoadingTextures = 147, kStrBackgroundLoaded = 1299 };

struct PendingTransfer {
    int32_t kind = kTransferTexture;
    std::vector<std::string> candidates;  // URLs tried in order; the first is the current one
    std::string cacheName;                // name in the caches (a texture's own name); empty: the URL
    int32_t index = 0;                    // texture or material index
    int32_t slot = -1;                    // object slot the result belongs to
    void* target = nullptr;               // out location of a texture handle
    std::string scope;                    // a texture's cache scope (textureScopeOf)
    bool started = false;
    const std::string& name() const;      // the current candidate (empty when none is left)
    const std::string& cachedAs() const { return cacheName.empty() ? name() : cacheName; }
};

// What the control does at WM_USER+75.
struct TransferStep {
    enum class Kind { Idle, Busy, Download } kind = Kind::Idle;
    std::string url;
    uint32_t messageId = 0;
    bool toFile = false;
    int32_t loadState = 0;    // load state while the entry is worked on (2 geometry, 3 textures)
    bool refreshView = false; // Idle: a texture was served from a cache during a streamed load
};

// The caches' part of WM_USER+75: true when the entry was served (the hook did the work:
// texture written to its target or replaced, material applied, object slot filled).
struct TransferCacheHooks {
    std::function<bool(const PendingTransfer&)> serveFromCache;        // texture or material caches
    std::function<bool(const PendingTransfer&)> serveObjectFromCache;  // object cache, kind 6
};

// The transfer that EndTransfer ended.
struct TransferEnd {
    bool found = false;        // an entry was being worked on
    bool retry = false;        // failed with a further candidate: the next one is tried
    bool removed = false;      // the entry is done and gone
    bool rebuildTextures = false;
    bool listEmpty = false;    // load state 0
    // The list ran empty and a texture arrived since it last was: the scene is built again
    // with the textures (ReloadAfterTextures).
    bool reloadScene = false;
};

class TransferQueue {
public:
    // Adds a transfer at the end; false (nothing added) without a candidate, or with the
    // list at kMaxPending entries.
    static constexpr size_t kMaxPending = 65536;
    bool add(PendingTransfer t);
    bool empty() const { return list_.empty(); }
    size_t size() const { return list_.size(); }
    const PendingTransfer* current() const { return list_.empty() ? nullptr : &list_.front(); }
    const std::deque<PendingTransfer>& entries() const { return list_; }

    // A texture was served from a cache while an object was being streamed.
    void noteServedDuringStream() { servedDuringStream_ = true; }
    // WM_USER+75: serves entries from the caches until one needs a download (marked started
    // and answered), a download is already under way (Busy), or the list is empty (Idle).
    // An entry with no candidate left is dropped. The hooks may add transfers but must not
    // remove any.
    TransferStep next(const TransferCacheHooks& hooks);
    // EndTransfer: a failed transfer with a further candidate tries it next; otherwise the
    // entry is removed. textureArrived: a texture loaded by this transfer. The control then
    // posts WM_USER+75 and ends the progress display in every case.
    TransferEnd end(bool success, bool textureArrived);
    // Everything dropped (unload, closing).
    void clear();

private:
    std::deque<PendingTransfer> list_;
    bool servedDuringStream_ = false;
    bool textureArrived_ = false;
};

// Who takes a downloaded file (OnFileDownloaded).
enum class DownloadConsumer { Object, Background, Material, SlotTexture, FurtherObject, TextureHandle };
// Load states 0 to 2: the object itself; 3: by the kind of the current pending entry.
DownloadConsumer downloadConsumerOf(int32_t loadState, int32_t kind);

// ---- URL properties ----

// ObjectURL get: with more than one object slot the current object's cache name (empty
// when it has none), else the stored URL.
std::string objectUrlForGet(int32_t slotCount, const std::string* currentCacheName, const std::string& stored);

// ObjectURL put. The member refuses a value over kObjectUrlMax characters (InvalidArg).
struct ObjectUrlPut {
    bool refused = false;       // too long: E_INVALIDARG, nothing changes
    bool nothing = false;       // empty while none is set
    bool unload = false;        // the scene is unloaded, the closing flag cleared
    bool store = false;         // the stored text becomes the value
    bool announce = false;      // cleared: ObjectURL (9) and ObjectUID (12) announced
    bool renameInline = false;  // the inline object's cache entry takes the URL as its name
    bool startLoad = false;     // StartURLLoad now
};
ObjectUrlPut planObjectUrlPut(const std::string& value, const std::string& stored, bool windowExists,
                              bool initialisedFromInline);

using FileExistsFn = std::function<bool(const std::string&)>;

// BackPictureURL get: a "file://" URL or an existing local path below TextureBaseURL, else
// below TexturePath, is answered as the part behind it (leading separators skipped, "\"
// turned into "/"); anything else whole. Separators compare alike, letters without case,
// and "below" needs a separator after the folder.
std::string backPictureUrlForGet(const std::string& stored, const std::string& textureBaseUrl,
                                 const std::string& texturePath, const FileExistsFn& exists);
// BackPictureURL put: the stored text. A name that exists as a file below TexturePath is
// stored as "file://<TexturePath>/<name>"; else as given. *backPicMode 0 becomes 1 for a
// non-empty value. Values over kObjectUrlMax characters are refused (false).
bool backPictureUrlForPut(const std::string& value, const std::string& texturePath, const FileExistsFn& exists,
                          std::string* stored, int32_t* backPicMode);

// Candidate names of a background picture: the URL; when it is relative (no ':' before
// its last '/' or '\'), also TextureBaseURL + "/" + name and "file://" + TexturePath + "/" +
// name, each only when that base is set.
std::vector<std::string> backPictureCandidates(const std::string& url, const std::string& textureBaseUrl,
                                               const std::string& texturePath);

// AutoSave of a downloaded object: the path under the object folder, or empty when nothing
// is saved (a "FILE:" URL, a URL naming an existing local file, no usable file name, a
// path over 259 characters, or a file that exists already). The file name is the URL's
// last part without query or fragment, percent sequences decoded, characters the file
// system refuses turned into '_'; "." and ".." parts, device names and names that end up
// empty give no save, so the file always lies directly in the object folder. A name that
// does not end in ".pel" or ".qiv" gets ".pel".
constexpr size_t kAutoSavePathMax = 259;
std::string autoSavePath(const std::string& url, const std::string& objectPath, const FileExistsFn& exists);

}  // namespace qivctl

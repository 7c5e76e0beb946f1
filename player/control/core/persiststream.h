// The control's persisted properties: the property map with its should-save
// rule, the stream form (inline object block, extent, records, end record),
// the inline data block, the property-bag text coercion, the length-prefixed
// "Qiv" stream and the "Textures"/"Index" records. Portable; the Windows layer
// reads values through the typed getters into PersistValue, hands the encoded
// bytes to IStream::Write (then cuts the stream at its position), and on load
// wraps its IStream in a PersistSource and applies the decoded records through
// the puts.
//
// Every length and count read is checked against the bytes that arrive; reads
// grow buffers only as data really arrives, so no length in a stream causes a
// large allocation. Integers are 32-bit little-endian, written and read byte by
// byte.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qivctl {

enum class PersistType : uint8_t { Long, Float, Bool, String };

struct PersistProperty {
    const char* name;
    int32_t dispid;
    PersistType type;
};

// The 51 persisted properties in stream and bag order.
const std::vector<PersistProperty>& persistPropertyMap();
// The row of a DISPID, null when none persists under it.
const PersistProperty* persistPropertyByDispid(int32_t dispid);
const PersistProperty* persistPropertyByName(std::string_view name);  // exact name

constexpr int32_t kPersistEndDispid = -1;
constexpr uint32_t kPersistKindNoInline = 1;
constexpr uint32_t kPersistKindInline = 2;
constexpr int16_t kVariantTrue = -1;

// A value as its property's get answers it (angles and spin speeds in degrees,
// as at the interface). Bools keep their raw VARIANT_BOOL.
struct PersistValue {
    PersistType type = PersistType::Long;
    int32_t i = 0;
    float f = 0;
    int16_t b = 0;
    std::u16string s;

    static PersistValue ofLong(int32_t v) { PersistValue p; p.type = PersistType::Long; p.i = v; return p; }
    static PersistValue ofFloat(float v) { PersistValue p; p.type = PersistType::Float; p.f = v; return p; }
    static PersistValue ofBool(bool v) { PersistValue p; p.type = PersistType::Bool; p.b = v ? kVariantTrue : 0; return p; }
    static PersistValue ofString(std::u16string v) { PersistValue p; p.type = PersistType::String; p.s = std::move(v); return p; }
    bool isTrue() const { return b != 0; }
};

struct PersistRecord {
    int32_t dispid = 0;
    PersistValue value;
};

// What the should-save rule compares with besides the fixed defaults.
struct PersistSaveContext {
    bool walkthrough = false;            // Walkthrough's current value
    bool saveFilesAtStart = false;       // SaveFilesWithDocument from the user options at start
    std::u16string languageAtStart;      // language derived from the locale at start
    std::u16string defaultMenuPreview;   // string 154 in the user's language
    std::u16string defaultMenu3D;        // string 155
    // Construction defaults of the flags that are written when false: where the control
    // starts with one of them false, a true value is what differs and is written.
    bool rayTraceButtonDefault = true, hideControlsDefault = true, localSaveDefault = true, filterDefault = true;
};

// Phi and Psi defaults as their gets answer them (225 and 30 degrees).
constexpr float kPersistDefaultPhiDegrees = 225.0f;
constexpr float kPersistDefaultPsiDegrees = 30.0f;

// Whether the row of dispid is written with value v. Unknown DISPIDs: true.
bool persistShouldSave(int32_t dispid, const PersistValue& v, const PersistSaveContext& c);
// The records of one save: every row in map order whose value (from get)
// passes the rule. get answers the row's current value of the row's type.
std::vector<PersistRecord> persistRecordsToSave(const std::function<PersistValue(const PersistProperty&)>& get,
                                                const PersistSaveContext& c);
// The same where a get may fail: get answers false and the row is left out.
std::vector<PersistRecord> persistRecordsOfKnown(const std::function<bool(const PersistProperty&, PersistValue*)>& get,
                                                 const PersistSaveContext& c);

// ---- stream form ----

struct PersistStreamData {
    uint32_t kind = kPersistKindNoInline;  // 2: inlineData follows
    std::vector<uint8_t> inlineData;
    int32_t extentX = 0, extentY = 0;      // HIMETRIC
    std::vector<PersistRecord> records;
};

// Little-endian writer of the stream form.
void persistAppend32(std::vector<uint8_t>& out, uint32_t v);
void persistAppendRecord(std::vector<uint8_t>& out, const PersistRecord& r);
// kind, [N, data], extent, records, end record. The caller writes it and cuts
// the stream at the position after it.
std::vector<uint8_t> encodePersistStream(const PersistStreamData& d);
// The inline data block: class identifier, then the stream form with kind 2
// and inlineBytes (no cut applies).
std::vector<uint8_t> encodeInlineBlock(const uint8_t clsid[16], const std::vector<uint8_t>& inlineBytes,
                                       int32_t extentX, int32_t extentY, const std::vector<PersistRecord>& records);

// Where load reads from. read() answers the bytes read into dst (up to n);
// 0 means end of data or a read error (the Windows adapter keeps the HRESULT).
// remaining() is the bytes left when known (IStream::Stat and Seek), else
// UINT64_MAX; lengths above it are refused before anything is read.
class PersistSource {
public:
    virtual ~PersistSource() = default;
    virtual size_t read(uint8_t* dst, size_t n) = 0;
    virtual uint64_t remaining() const { return UINT64_MAX; }
};

class PersistMemorySource : public PersistSource {
public:
    PersistMemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    size_t read(uint8_t* dst, size_t n) override;
    uint64_t remaining() const override { return size_ - pos_; }
    size_t position() const { return pos_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

enum class PersistStatus {
    Ok,
    BadKind,    // first word neither 1 nor 2: E_FAIL
    Truncated,  // data ended inside a field, or before the end record: E_FAIL (or the read's HRESULT)
    BadLength,  // a length beyond the data (or 0xFFFFFFFF): E_FAIL
};

// Records as load applies them: known DISPIDs with the value to put (a long
// or float record whose length is not 4 gives -1, a bool record whose length
// is not 2 VARIANT_TRUE; a string is cut at its first NUL). String records of
// odd length and unknown DISPIDs are consumed and counted, not applied.
struct PersistLoadResult {
    uint32_t kind = 0;
    std::vector<uint8_t> inlineData;
    bool haveExtent = false;
    int32_t extentX = 0, extentY = 0;
    std::vector<PersistRecord> records;
    size_t unknownSkipped = 0, malformedSkipped = 0;
    bool sawEnd = false;
};

// Reads one stream form up to and including its end record (nothing after it
// is read). On failure out holds what was read before it: apply that, then
// answer the failure.
PersistStatus decodePersistStream(PersistSource& src, PersistLoadResult* out);
// The inline data block: its first 16 bytes must be clsid.
PersistStatus decodeInlineBlock(PersistSource& src, const uint8_t clsid[16], PersistLoadResult* out);

// Exactly n bytes (a short read is completed by further reads). False when the
// data end first; dst then holds what arrived.
bool persistReadExact(PersistSource& src, uint8_t* dst, size_t n);
// n bytes appended to out as they arrive (the buffer grows with the data,
// never by n at once). False when fewer arrive or n exceeds remaining().
bool persistReadBytes(PersistSource& src, uint64_t n, std::vector<uint8_t>* out);
// The "Qiv" stream of a storage: a 32-bit length, then that many bytes.
PersistStatus decodeLengthPrefixed(PersistSource& src, std::vector<uint8_t>* out);
std::vector<uint8_t> encodeLengthPrefixed(const std::vector<uint8_t>& bytes);

// ---- property bag ----

// The value of a row from the text a host hands in (a BSTR): numbers in the
// invariant format (long: an integer within 32 bits, or up to 4294967295 which
// wraps, as masks are written; float: a decimal number within float's range),
// bools "true"/"false" in any case or an integer (non-zero true). Blanks around
// numbers are allowed. False when the text does not fit the type.
bool persistValueFromText(PersistType type, std::u16string_view text, PersistValue* out);
// The text of a value in the invariant format ("3.926991", "-1", "true").
std::u16string persistValueToText(const PersistValue& v);

// ---- storage elements ----

constexpr size_t kTextureIndexRecordSize = 264;
constexpr size_t kTextureIndexNameField = 260;

struct TextureIndexEntry {
    int32_t index = 0;
    std::string name;  // at most 259 characters
};

// One 264-byte record (index, NUL-terminated name in a 260-byte field; a
// longer name is cut at 259 characters).
void appendTextureIndexRecord(std::vector<uint8_t>& out, int32_t index, std::string_view name);
// The records of an "Index" stream: a name is taken up to its NUL and at most
// 259 characters; records with a negative index or an empty name are left out,
// a trailing partial record is ignored.
std::vector<TextureIndexEntry> decodeTextureIndex(const uint8_t* data, size_t size);
// The name of the texture stream of an index ("%d").
std::string textureStreamName(int32_t index);

// The control's own elements of a storage beside "Contents": "Qiv", "Object",
// "BackPicture" and "Textures". Every save destroys them first, so that none is left from
// an earlier save (a stale object would replace the one ObjectURL names on the next load).
extern const char* const kStorageOwnElements[4];

// What a storage save writes beside "Contents": with SaveFilesWithDocument, the kept
// container ("Qiv") when the object came from one, else the local object file ("Object")
// with its loaded textures; the local background picture file in any case.
struct StorageSavePlan {
    bool qiv = false, object = false, textures = false, backPicture = false;
};
StorageSavePlan planStorageSave(bool saveFiles, bool fromContainer, bool objectFile, size_t textureCount,
                                bool backPictureFile);

// The local file a URL names: a "file://" URL without its prefix, a name of no other
// scheme as it is; empty for an empty text or another scheme ("http://...").
std::string localPathOfUrl(std::string_view url);

// ---- the host document ----

// The folder of a document from its moniker's display name: the text up to its last
// backslash; empty when it has none (the current directory serves then).
std::string documentFolderOf(std::string_view displayName);

// The name under which one control's inline object data are registered: "qiv-inl:" and the
// control's serial, so that two controls never share (and never take) one entry.
std::string inlineObjectName(uint32_t serial);

}  // namespace qivctl

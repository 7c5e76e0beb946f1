#include "persiststream.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "dispids.h"
#include "invariantnum.h"
#include "transfers.h"

namespace qivctl {

namespace {

using T = PersistType;

const std::vector<PersistProperty> kMap = {
    {"Appearance", qivdispid::Appearance, T::Long},
    {"BackColor", qivdispid::BackColor, T::Long},
    {"BackStyle", qivdispid::BackStyle, T::Long},
    {"BorderStyle", qivdispid::BorderStyle, T::Long},
    {"Enabled", qivdispid::Enabled, T::Bool},
    {"VisuDLL", qivdispid::VisuDLL, T::String},
    {"DisplayMode", qivdispid::DisplayMode, T::Long},
    {"ButtonRayTraceEnabled", qivdispid::ButtonRayTraceEnabled, T::Bool},
    {"ButtonVREnabled", qivdispid::ButtonVREnabled, T::Bool},
    {"ObjectURL", qivdispid::ObjectURL, T::String},
    {"TextureBaseURL", qivdispid::TextureBaseURL, T::String},
    {"AnimPlaying", qivdispid::AnimPlaying, T::Bool},
    {"Phi", qivdispid::Phi, T::Float},
    {"Psi", qivdispid::Psi, T::Float},
    {"LoadObjectMenuEnabled", qivdispid::LoadObjectMenuEnabled, T::Bool},
    {"PopupMenuEnabled", qivdispid::PopupMenuEnabled, T::Bool},
    {"HideControls", qivdispid::HideControls, T::Bool},
    {"HideScrollBars", qivdispid::HideScrollBars, T::Bool},
    {"BackPictureURL", qivdispid::BackPictureURL, T::String},
    {"Zoom", qivdispid::Zoom, T::Float},
    {"PanX", qivdispid::PanX, T::Float},
    {"PanY", qivdispid::PanY, T::Float},
    {"SaveFilesWithDocument", qivdispid::SaveFilesWithDocument, T::Bool},
    {"Language", qivdispid::Language, T::String},
    {"TooltipTimeout", qivdispid::TooltipTimeout, T::Long},
    {"LocalSaveAllowed", qivdispid::LocalSaveAllowed, T::Bool},
    {"Filter", qivdispid::Filter, T::Bool},
    {"FlatTexturePath", qivdispid::FlatTexturePath, T::Bool},
    {"AnimateOnClick", qivdispid::AnimateOnClick, T::Bool},
    {"KeepSpinning", qivdispid::KeepSpinning, T::Bool},
    {"SpinPhi", qivdispid::SpinPhi, T::Float},
    {"SpinPsi", qivdispid::SpinPsi, T::Float},
    {"EnabledMenus", qivdispid::EnabledMenus, T::Long},
    {"BackPicMode", qivdispid::BackPicMode, T::Long},
    {"DelayBeforeLoad", qivdispid::DelayBeforeLoad, T::Long},
    {"DelayAfterPreview", qivdispid::DelayAfterPreview, T::Long},
    {"MenuNameForPreview", qivdispid::MenuNameForPreview, T::String},
    {"MenuNameFor3D", qivdispid::MenuNameFor3D, T::String},
    {"Walkthrough", qivdispid::Walkthrough, T::Bool},
    {"IncrementalDisplay", qivdispid::IncrementalDisplay, T::Bool},
    {"PreviewMode", qivdispid::PreviewMode, T::Long},
    {"BackPicOffsetX", qivdispid::BackPicOffsetX, T::Long},
    {"BackPicOffsetY", qivdispid::BackPicOffsetY, T::Long},
    {"VRPx", qivdispid::VRPx, T::Float},
    {"VRPy", qivdispid::VRPy, T::Float},
    {"VRPz", qivdispid::VRPz, T::Float},
    {"EyeX", qivdispid::EyeX, T::Float},
    {"EyeY", qivdispid::EyeY, T::Float},
    {"EyeZ", qivdispid::EyeZ, T::Float},
    {"Lights", qivdispid::Lights, T::Long},
    {"InhibitLocalTextures", qivdispid::InhibitLocalTextures, T::Bool},
};

bool differs(float v, float def) { return !(std::fabs(double(v) - double(def)) <= 0.0001); }

uint32_t get32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Drops n bytes of the source through a small buffer.
bool skipBytes(PersistSource& src, uint64_t n) {
    if (n > src.remaining()) return false;
    uint8_t buf[4096];
    while (n > 0) {
        size_t want = size_t(std::min<uint64_t>(n, sizeof buf));
        if (!persistReadExact(src, buf, want)) return false;
        n -= want;
    }
    return true;
}

bool read32(PersistSource& src, uint32_t* v) {
    uint8_t b[4];
    if (!persistReadExact(src, b, 4)) return false;
    *v = get32(b);
    return true;
}

std::u16string utf16FromBytes(const std::vector<uint8_t>& bytes) {
    std::u16string s;
    s.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        char16_t c = char16_t(bytes[i] | bytes[i + 1] << 8);
        if (c == 0) break;
        s.push_back(c);
    }
    return s;
}

// One record's value; false for a stream failure (status set).
bool readValue(PersistSource& src, const PersistProperty& row, uint32_t length, PersistLoadResult* out,
               PersistStatus* status) {
    PersistRecord rec;
    rec.dispid = row.dispid;
    rec.value.type = row.type;
    switch (row.type) {
        case T::Long:
        case T::Float: {
            if (length == 4) {
                uint32_t v = 0;
                if (!read32(src, &v)) return *status = PersistStatus::Truncated, false;
                rec.value.i = int32_t(v);
                std::memcpy(&rec.value.f, &v, 4);
            } else {
                if (!skipBytes(src, length)) return *status = PersistStatus::Truncated, false;
                rec.value.i = -1;
                rec.value.f = -1.0f;
            }
            break;
        }
        case T::Bool: {
            if (length == 2) {
                uint8_t b[2];
                if (!persistReadExact(src, b, 2)) return *status = PersistStatus::Truncated, false;
                rec.value.b = int16_t(uint16_t(b[0] | b[1] << 8));
            } else {
                if (!skipBytes(src, length)) return *status = PersistStatus::Truncated, false;
                rec.value.b = kVariantTrue;
            }
            break;
        }
        case T::String: {
            if (length & 1) {
                if (!skipBytes(src, length)) return *status = PersistStatus::Truncated, false;
                ++out->malformedSkipped;
                return true;
            }
            std::vector<uint8_t> bytes;
            if (!persistReadBytes(src, length, &bytes)) return *status = PersistStatus::Truncated, false;
            rec.value.s = utf16FromBytes(bytes);
            break;
        }
    }
    out->records.push_back(std::move(rec));
    return true;
}

PersistStatus decodeBody(PersistSource& src, PersistLoadResult* out) {
    uint32_t kind = 0;
    if (!read32(src, &kind)) return PersistStatus::Truncated;
    out->kind = kind;
    if (kind != kPersistKindNoInline && kind != kPersistKindInline) return PersistStatus::BadKind;
    if (kind == kPersistKindInline) {
        PersistStatus s = decodeLengthPrefixed(src, &out->inlineData);
        if (s != PersistStatus::Ok) return s;
    }
    uint8_t ext[8];
    if (!persistReadExact(src, ext, 8)) return PersistStatus::Truncated;
    out->haveExtent = true;
    out->extentX = int32_t(get32(ext));
    out->extentY = int32_t(get32(ext + 4));
    // Records up to one whose DISPID cannot be read whole, or whose length is 0 (the end
    // record is one): a stream cut between records loads what it has.
    for (;;) {
        uint8_t head[8];
        if (!persistReadExact(src, head, 4)) return PersistStatus::Ok;
        if (!persistReadExact(src, head + 4, 4)) return PersistStatus::Truncated;
        int32_t dispid = int32_t(get32(head));
        uint32_t length = get32(head + 4);
        if (length == 0) {
            out->sawEnd = dispid == kPersistEndDispid;
            return PersistStatus::Ok;
        }
        if (length == 0xFFFFFFFFu || length > src.remaining()) return PersistStatus::BadLength;
        const PersistProperty* row = persistPropertyByDispid(dispid);
        if (!row) {
            if (!skipBytes(src, length)) return PersistStatus::Truncated;
            ++out->unknownSkipped;
            continue;
        }
        PersistStatus status = PersistStatus::Ok;
        if (!readValue(src, *row, length, out, &status)) return status;
    }
}

void appendUtf16(std::vector<uint8_t>& out, const std::u16string& s) {
    for (char16_t c : s) {
        out.push_back(uint8_t(c & 0xFF));
        out.push_back(uint8_t(c >> 8));
    }
}

std::string asciiOf(std::u16string_view text, bool* ok) {
    std::string s;
    s.reserve(text.size());
    *ok = true;
    for (char16_t c : text) {
        if (c == 0 || c > 0x7F) {
            *ok = false;
            return std::string();
        }
        s.push_back(char(c));
    }
    return s;
}

std::u16string widen(const std::string& s) { return std::u16string(s.begin(), s.end()); }

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

std::string trimmed(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && (s[a] == ' ' || s[a] == '\t')) ++a;
    while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t')) --b;
    return s.substr(a, b - a);
}

}  // namespace

const std::vector<PersistProperty>& persistPropertyMap() { return kMap; }

const PersistProperty* persistPropertyByDispid(int32_t dispid) {
    for (const PersistProperty& p : kMap)
        if (p.dispid == dispid) return &p;
    return nullptr;
}

const PersistProperty* persistPropertyByName(std::string_view name) {
    for (const PersistProperty& p : kMap)
        if (name == p.name) return &p;
    return nullptr;
}

bool persistShouldSave(int32_t dispid, const PersistValue& v, const PersistSaveContext& c) {
    const bool walk = c.walkthrough;
    switch (dispid) {
        case qivdispid::Appearance: return v.i == 0;   // flat
        case qivdispid::BackColor: return uint32_t(v.i) != 0x00C0C0C0u;
        case qivdispid::BackStyle: return v.i == 0;    // transparent
        case qivdispid::BorderStyle: return v.i == 1;  // single
        case qivdispid::Enabled: return !v.isTrue();   // disabled
        case qivdispid::VisuDLL: return false;
        case qivdispid::DisplayMode: return v.i != 3;
        case qivdispid::ButtonRayTraceEnabled: return v.isTrue() != c.rayTraceButtonDefault;
        case qivdispid::ButtonVREnabled: return v.isTrue();
        case qivdispid::ObjectURL: return !v.s.empty();
        case qivdispid::TextureBaseURL: return false;
        case qivdispid::AnimPlaying: return v.isTrue();
        case qivdispid::Phi: return !walk && differs(v.f, kPersistDefaultPhiDegrees);
        case qivdispid::Psi: return !walk && differs(v.f, kPersistDefaultPsiDegrees);
        case qivdispid::LoadObjectMenuEnabled: return !v.isTrue();
        case qivdispid::PopupMenuEnabled: return !v.isTrue();
        case qivdispid::HideControls: return v.isTrue() != c.hideControlsDefault;
        case qivdispid::HideScrollBars: return v.isTrue();
        case qivdispid::BackPictureURL: return !v.s.empty();
        case qivdispid::Zoom: return !walk && differs(v.f, 1.0f);
        case qivdispid::PanX:
        case qivdispid::PanY: return !walk && differs(v.f, 0.0f);
        case qivdispid::SaveFilesWithDocument: return v.isTrue() != c.saveFilesAtStart;
        case qivdispid::Language: return v.s != c.languageAtStart;
        case qivdispid::TooltipTimeout: return v.i != 750;
        case qivdispid::LocalSaveAllowed: return v.isTrue() != c.localSaveDefault;
        case qivdispid::Filter: return v.isTrue() != c.filterDefault;
        case qivdispid::FlatTexturePath: return v.isTrue();
        case qivdispid::AnimateOnClick: return !v.isTrue();
        case qivdispid::KeepSpinning: return v.isTrue();
        case qivdispid::SpinPhi:
        case qivdispid::SpinPsi: return !walk && differs(v.f, 0.0f);
        case qivdispid::EnabledMenus: return uint32_t(v.i) != 0xFFFFFFFFu;
        case qivdispid::BackPicMode: return v.i != 0;
        case qivdispid::DelayBeforeLoad:
        case qivdispid::DelayAfterPreview: return v.i != 0;
        case qivdispid::MenuNameForPreview: return !v.s.empty() && v.s != c.defaultMenuPreview;
        case qivdispid::MenuNameFor3D: return !v.s.empty() && v.s != c.defaultMenu3D;
        case qivdispid::Walkthrough: return v.isTrue();
        case qivdispid::IncrementalDisplay: return !v.isTrue();
        case qivdispid::PreviewMode: return v.i != 3;
        case qivdispid::BackPicOffsetX:
        case qivdispid::BackPicOffsetY: return v.i != 0;
        case qivdispid::VRPx:
        case qivdispid::VRPy:
        case qivdispid::VRPz:
        case qivdispid::EyeX:
        case qivdispid::EyeY:
        case qivdispid::EyeZ: return walk;
        case qivdispid::Lights: return v.i != 31;
        case qivdispid::InhibitLocalTextures: return v.isTrue();
        default: return true;
    }
}

std::vector<PersistRecord> persistRecordsToSave(const std::function<PersistValue(const PersistProperty&)>& get,
                                                const PersistSaveContext& c) {
    std::vector<PersistRecord> out;
    for (const PersistProperty& row : kMap) {
        PersistValue v = get(row);
        v.type = row.type;
        if (persistShouldSave(row.dispid, v, c)) out.push_back(PersistRecord{row.dispid, std::move(v)});
    }
    return out;
}

std::vector<PersistRecord> persistRecordsOfKnown(const std::function<bool(const PersistProperty&, PersistValue*)>& get,
                                                 const PersistSaveContext& c) {
    std::vector<PersistRecord> out;
    for (const PersistProperty& row : kMap) {
        PersistValue v;
        if (!get(row, &v)) continue;
        v.type = row.type;
        if (persistShouldSave(row.dispid, v, c)) out.push_back(PersistRecord{row.dispid, std::move(v)});
    }
    return out;
}

void persistAppend32(std::vector<uint8_t>& out, uint32_t v) {
    for (int k = 0; k < 4; ++k) out.push_back(uint8_t(v >> (8 * k)));
}

void persistAppendRecord(std::vector<uint8_t>& out, const PersistRecord& r) {
    persistAppend32(out, uint32_t(r.dispid));
    switch (r.value.type) {
        case T::Long:
            persistAppend32(out, 4);
            persistAppend32(out, uint32_t(r.value.i));
            break;
        case T::Float: {
            uint32_t bits;
            std::memcpy(&bits, &r.value.f, 4);
            persistAppend32(out, 4);
            persistAppend32(out, bits);
            break;
        }
        case T::Bool:
            persistAppend32(out, 2);
            out.push_back(uint8_t(uint16_t(r.value.b) & 0xFF));
            out.push_back(uint8_t(uint16_t(r.value.b) >> 8));
            break;
        case T::String:
            persistAppend32(out, uint32_t(r.value.s.size() * 2));
            appendUtf16(out, r.value.s);
            break;
    }
}

std::vector<uint8_t> encodePersistStream(const PersistStreamData& d) {
    std::vector<uint8_t> out;
    if (d.kind == kPersistKindInline) {
        persistAppend32(out, kPersistKindInline);
        persistAppend32(out, uint32_t(d.inlineData.size()));
        out.insert(out.end(), d.inlineData.begin(), d.inlineData.end());
    } else {
        persistAppend32(out, kPersistKindNoInline);
    }
    persistAppend32(out, uint32_t(d.extentX));
    persistAppend32(out, uint32_t(d.extentY));
    // An empty text would end the load there: left out, its property loads as its default.
    for (const PersistRecord& r : d.records)
        if (r.value.type != T::String || !r.value.s.empty()) persistAppendRecord(out, r);
    persistAppend32(out, uint32_t(kPersistEndDispid));
    persistAppend32(out, 0);
    return out;
}

std::vector<uint8_t> encodeInlineBlock(const uint8_t clsid[16], const std::vector<uint8_t>& inlineBytes,
                                       int32_t extentX, int32_t extentY, const std::vector<PersistRecord>& records) {
    PersistStreamData d;
    d.kind = kPersistKindInline;
    d.inlineData = inlineBytes;
    d.extentX = extentX;
    d.extentY = extentY;
    d.records = records;
    std::vector<uint8_t> body = encodePersistStream(d);
    std::vector<uint8_t> out;
    out.reserve(16 + body.size());
    for (int i = 0; i < 16; ++i) out.push_back(clsid[i]);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

size_t PersistMemorySource::read(uint8_t* dst, size_t n) {
    size_t k = std::min(n, size_ - pos_);
    if (k) std::memcpy(dst, data_ + pos_, k);
    pos_ += k;
    return k;
}

bool persistReadExact(PersistSource& src, uint8_t* dst, size_t n) {
    size_t got = 0;
    while (got < n) {
        size_t k = src.read(dst + got, n - got);
        if (k == 0 || k > n - got) return false;
        got += k;
    }
    return true;
}

bool persistReadBytes(PersistSource& src, uint64_t n, std::vector<uint8_t>* out) {
    if (n > src.remaining()) return false;
    constexpr size_t kPiece = 1 << 16;
    while (n > 0) {
        size_t want = size_t(std::min<uint64_t>(n, kPiece));
        size_t at = out->size();
        out->resize(at + want);
        if (!persistReadExact(src, out->data() + at, want)) {
            out->resize(at);
            return false;
        }
        n -= want;
    }
    return true;
}

PersistStatus decodeLengthPrefixed(PersistSource& src, std::vector<uint8_t>* out) {
    uint32_t n = 0;
    if (!read32(src, &n)) return PersistStatus::Truncated;
    if (n == 0xFFFFFFFFu || n > src.remaining()) return PersistStatus::BadLength;
    if (!persistReadBytes(src, n, out)) return PersistStatus::Truncated;
    return PersistStatus::Ok;
}

std::vector<uint8_t> encodeLengthPrefixed(const std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> out;
    persistAppend32(out, uint32_t(bytes.size()));
    out.insert(out.end(), bytes.begin(), bytes.end());
    return out;
}

PersistStatus decodePersistStream(PersistSource& src, PersistLoadResult* out) {
    *out = PersistLoadResult();
    return decodeBody(src, out);
}

PersistStatus decodeInlineBlock(PersistSource& src, const uint8_t clsid[16], PersistLoadResult* out) {
    *out = PersistLoadResult();
    uint8_t id[16];
    if (!persistReadExact(src, id, 16)) return PersistStatus::Truncated;
    if (std::memcmp(id, clsid, 16) != 0) return PersistStatus::BadKind;
    PersistStatus s = decodeBody(src, out);
    if (s == PersistStatus::Ok && out->kind != kPersistKindInline) return PersistStatus::BadKind;
    return s;
}

bool persistValueFromText(PersistType type, std::u16string_view text, PersistValue* out) {
    PersistValue v;
    v.type = type;
    if (type == T::String) {
        v.s = std::u16string(text);
        *out = std::move(v);
        return true;
    }
    bool ok = false;
    std::string a = asciiOf(text, &ok);
    if (!ok) return false;
    switch (type) {
        case T::Long: {
            int32_t i = 0;
            if (parseInvariantInt32(a, &i)) {
                v.i = i;
                break;
            }
            // Masks are written as unsigned values.
            std::string t = trimmed(a);
            if (t.empty() || t.size() > 10 || t.find_first_not_of("0123456789") != std::string::npos) return false;
            uint64_t u = 0;
            for (char ch : t) u = u * 10 + uint64_t(ch - '0');
            if (u > 0xFFFFFFFFull) return false;
            v.i = int32_t(uint32_t(u));
            break;
        }
        case T::Float:
            if (!parseInvariantFloat(a, &v.f)) return false;
            break;
        case T::Bool: {
            std::string t = lower(trimmed(a));
            int32_t i = 0;
            if (t == "true")
                v.b = kVariantTrue;
            else if (t == "false")
                v.b = 0;
            else if (parseInvariantInt32(t, &i))
                v.b = i ? kVariantTrue : 0;
            else
                return false;
            break;
        }
        case T::String: break;
    }
    *out = std::move(v);
    return true;
}

std::u16string persistValueToText(const PersistValue& v) {
    switch (v.type) {
        case T::Long: return widen(std::to_string(v.i));
        case T::Float: return widen(formatInvariantShortest(v.f));
        case T::Bool: return widen(v.isTrue() ? "true" : "false");
        case T::String: return v.s;
    }
    return std::u16string();
}

void appendTextureIndexRecord(std::vector<uint8_t>& out, int32_t index, std::string_view name) {
    persistAppend32(out, uint32_t(index));
    size_t n = std::min(name.size(), kTextureIndexNameField - 1);
    size_t nul = name.find('\0');
    if (nul != std::string_view::npos) n = std::min(n, nul);
    out.insert(out.end(), name.begin(), name.begin() + ptrdiff_t(n));
    out.insert(out.end(), kTextureIndexNameField - n, 0);
}

std::vector<TextureIndexEntry> decodeTextureIndex(const uint8_t* data, size_t size) {
    std::vector<TextureIndexEntry> out;
    if (!data) return out;
    for (size_t at = 0; size - at >= kTextureIndexRecordSize; at += kTextureIndexRecordSize) {
        TextureIndexEntry e;
        e.index = int32_t(get32(data + at));
        const char* name = reinterpret_cast<const char*>(data + at + 4);
        e.name.assign(name, strnlen(name, kTextureIndexNameField - 1));
        if (e.index < 0 || e.name.empty()) continue;
        out.push_back(std::move(e));
    }
    return out;
}

std::string textureStreamName(int32_t index) { return std::to_string(index); }

const char* const kStorageOwnElements[4] = {"Qiv", "Object", "BackPicture", "Textures"};

StorageSavePlan planStorageSave(bool saveFiles, bool fromContainer, bool objectFile, size_t textureCount,
                                bool backPictureFile) {
    StorageSavePlan p;
    if (!saveFiles) return p;
    p.qiv = fromContainer;
    p.object = !fromContainer && objectFile;
    p.textures = p.object && textureCount > 0;
    p.backPicture = backPictureFile;
    return p;
}

std::string localPathOfUrl(std::string_view url) {
    if (isFileUrl(url)) return std::string(fileUrlPath(url));
    if (url.find("://") != std::string_view::npos) return std::string();
    return std::string(url);
}

std::string documentFolderOf(std::string_view displayName) {
    size_t cut = displayName.rfind('\\');
    if (cut == std::string_view::npos) return std::string();
    return std::string(displayName.substr(0, cut));
}

std::string inlineObjectName(uint32_t serial) { return "qiv-inl:" + std::to_string(serial); }

}  // namespace qivctl

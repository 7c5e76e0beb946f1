// The control's persisted stream, inline data block, "Qiv" stream and texture
// index as a host document hands them in; the same bytes as property-bag texts
// and as numbers of the invariant format.
// A decoded stream must encode back to a stream that decodes to the same
// records; a source that cannot tell its size must agree with one that can.
#include <cstdint>
#include <cstring>
#include <string>

#include "invariantnum.h"
#include "persiststream.h"

using namespace qivctl;

namespace {

class Trickle : public PersistSource {
public:
    Trickle(const uint8_t* d, size_t n) : d_(d), n_(n) {}
    size_t read(uint8_t* dst, size_t n) override {
        size_t k = n < 3 ? n : 3;
        if (k > n_ - pos_) k = n_ - pos_;
        std::memcpy(dst, d_ + pos_, k);
        pos_ += k;
        return k;
    }

private:
    const uint8_t* d_;
    size_t n_, pos_ = 0;
};

bool sameValue(const PersistValue& a, const PersistValue& b) {
    if (a.type != b.type) return false;
    switch (a.type) {
        case PersistType::Long: return a.i == b.i;
        case PersistType::Float: return std::memcmp(&a.f, &b.f, 4) == 0;
        case PersistType::Bool: return a.b == b.b;
        case PersistType::String: return a.s == b.s;
    }
    return false;
}

bool sameRecords(const std::vector<PersistRecord>& a, const std::vector<PersistRecord>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].dispid != b[i].dispid || !sameValue(a[i].value, b[i].value)) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PersistMemorySource src(data, size);
    PersistLoadResult r;
    PersistStatus s = decodePersistStream(src, &r);
    if (src.position() > size) __builtin_trap();
    if (r.inlineData.size() > size) __builtin_trap();

    Trickle t(data, size);
    PersistLoadResult r2;
    PersistStatus s2 = decodePersistStream(t, &r2);
    if ((s == PersistStatus::Ok) != (s2 == PersistStatus::Ok) || !sameRecords(r.records, r2.records)) __builtin_trap();

    if (s == PersistStatus::Ok) {
        PersistStreamData d;
        d.kind = r.kind;
        d.inlineData = r.inlineData;
        d.extentX = r.extentX;
        d.extentY = r.extentY;
        d.records = r.records;
        std::vector<uint8_t> again = encodePersistStream(d);
        PersistMemorySource src2(again.data(), again.size());
        PersistLoadResult back;
        // Empty texts (a string cut at a leading NUL) are not written again.
        std::vector<PersistRecord> kept;
        for (const PersistRecord& rec : r.records)
            if (rec.value.type != qivctl::PersistType::String || !rec.value.s.empty()) kept.push_back(rec);
        if (decodePersistStream(src2, &back) != PersistStatus::Ok || src2.position() != again.size() ||
            !sameRecords(back.records, kept) || back.inlineData != r.inlineData)
            __builtin_trap();
    }

    static const uint8_t clsid[16] = {};
    PersistMemorySource inl(data, size);
    decodeInlineBlock(inl, clsid, &r);
    PersistMemorySource q(data, size);
    std::vector<uint8_t> qiv;
    decodeLengthPrefixed(q, &qiv);
    if (qiv.size() > size) __builtin_trap();

    for (const TextureIndexEntry& e : decodeTextureIndex(data, size))
        if (e.index < 0 || e.name.empty() || e.name.size() >= kTextureIndexNameField ||
            e.name.find('\0') != std::string::npos)
            __builtin_trap();

    std::string text(reinterpret_cast<const char*>(data), size);
    std::u16string wide(text.begin(), text.end());
    for (PersistType type : {PersistType::Long, PersistType::Float, PersistType::Bool}) {
        PersistValue v;
        if (persistValueFromText(type, wide, &v)) {
            PersistValue back;
            if (!persistValueFromText(type, persistValueToText(v), &back) || !sameValue(v, back)) __builtin_trap();
        }
    }
    double d = 0;
    size_t used = 0;
    if (parseInvariantDoublePrefix(text, &d, &used) && (used == 0 || used > size)) __builtin_trap();
    invariantStrtol(text, &used);
    if (used > size) __builtin_trap();
    return 0;
}

#include "persiststream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

using namespace qivctl;

namespace {

// Builds streams field by field, little-endian.
struct Bytes {
    std::vector<uint8_t> v;
    Bytes& u32(uint32_t x) {
        for (int k = 0; k < 4; ++k) v.push_back(uint8_t(x >> (8 * k)));
        return *this;
    }
    Bytes& u16(uint16_t x) {
        v.push_back(uint8_t(x));
        v.push_back(uint8_t(x >> 8));
        return *this;
    }
    Bytes& raw(std::initializer_list<uint8_t> b) {
        v.insert(v.end(), b);
        return *this;
    }
    Bytes& text(const std::u16string& s) {
        for (char16_t c : s) u16(uint16_t(c));
        return *this;
    }
    Bytes& head(uint32_t kind = 1) { return u32(kind).u32(2540).u32(1270); }
    Bytes& end() { return u32(0xFFFFFFFFu).u32(0); }
};

// Hands out at most one byte per read, and does not tell what is left.
class TrickleSource : public PersistSource {
public:
    explicit TrickleSource(const std::vector<uint8_t>& d) : d_(d) {}
    size_t read(uint8_t* dst, size_t n) override {
        if (n == 0 || pos_ >= d_.size()) return 0;
        *dst = d_[pos_++];
        return 1;
    }

private:
    const std::vector<uint8_t>& d_;
    size_t pos_ = 0;
};

PersistStatus decode(const std::vector<uint8_t>& bytes, PersistLoadResult* r, size_t* consumed = nullptr) {
    PersistMemorySource src(bytes.data(), bytes.size());
    PersistStatus s = decodePersistStream(src, r);
    if (consumed) *consumed = src.position();
    return s;
}

const PersistRecord* find(const PersistLoadResult& r, int32_t dispid) {
    for (const PersistRecord& rec : r.records)
        if (rec.dispid == dispid) return &rec;
    return nullptr;
}

// The value every property has in a new control, as its get answers it.
PersistValue defaultOf(const PersistProperty& p) {
    static const std::pair<const char*, PersistValue> kDefaults[] = {
        {"Appearance", PersistValue::ofLong(1)},        {"BackColor", PersistValue::ofLong(0xC0C0C0)},
        {"BackStyle", PersistValue::ofLong(1)},         {"BorderStyle", PersistValue::ofLong(0)},
        {"Enabled", PersistValue::ofBool(true)},        {"DisplayMode", PersistValue::ofLong(3)},
        {"ButtonRayTraceEnabled", PersistValue::ofBool(true)}, {"Phi", PersistValue::ofFloat(225.0f)},
        {"Psi", PersistValue::ofFloat(30.0f)},          {"LoadObjectMenuEnabled", PersistValue::ofBool(true)},
        {"PopupMenuEnabled", PersistValue::ofBool(true)}, {"HideControls", PersistValue::ofBool(true)},
        {"Zoom", PersistValue::ofFloat(1.0f)},          {"Language", PersistValue::ofString(u"DE")},
        {"TooltipTimeout", PersistValue::ofLong(750)},  {"LocalSaveAllowed", PersistValue::ofBool(true)},
        {"Filter", PersistValue::ofBool(true)},         {"AnimateOnClick", PersistValue::ofBool(true)},
        {"EnabledMenus", PersistValue::ofLong(-1)},     {"MenuNameForPreview", PersistValue::ofString(u"Switch to 2D/preview display")},
        {"IncrementalDisplay", PersistValue::ofBool(true)}, {"PreviewMode", PersistValue::ofLong(3)},
        {"Lights", PersistValue::ofLong(31)},
        // Set but never saved.
        {"VisuDLL", PersistValue::ofString(u"visu.dll")}, {"TextureBaseURL", PersistValue::ofString(u"http://h/t/")},
        // In walk-through only.
        {"EyeX", PersistValue::ofFloat(12.5f)},
    };
    for (const auto& [name, v] : kDefaults)
        if (std::strcmp(name, p.name) == 0) return v;
    PersistValue v;
    v.type = p.type;
    return v;
}

PersistSaveContext defaultContext() {
    PersistSaveContext c;
    c.languageAtStart = u"DE";
    c.defaultMenuPreview = u"Switch to 2D/preview display";
    c.defaultMenu3D = u"Switch to 3D/object display";
    return c;
}

}  // namespace

TEST(PersistMap, FiftyOneRowsInOrderWithUniqueIds) {
    const auto& map = persistPropertyMap();
    ASSERT_EQ(map.size(), 51u);
    EXPECT_STREQ(map.front().name, "Appearance");
    EXPECT_STREQ(map.back().name, "InhibitLocalTextures");
    std::set<int32_t> ids;
    std::set<std::string> names;
    for (const auto& p : map) {
        ids.insert(p.dispid);
        names.insert(p.name);
        EXPECT_EQ(persistPropertyByDispid(p.dispid), &p);
        EXPECT_EQ(persistPropertyByName(p.name), &p);
    }
    EXPECT_EQ(ids.size(), 51u);
    EXPECT_EQ(names.size(), 51u);
    EXPECT_EQ(persistPropertyByDispid(1), nullptr);  // TexturePath does not persist
    EXPECT_EQ(persistPropertyByDispid(-1), nullptr);
    EXPECT_EQ(persistPropertyByName("phi"), nullptr);
}

// All at their defaults: kind 1, extent, end record and nothing else.
TEST(PersistSave, DefaultsGiveOnlyKindExtentAndEnd) {
    PersistSaveContext c = defaultContext();
    auto records = persistRecordsToSave(defaultOf, c);
    EXPECT_TRUE(records.empty()) << "first record " << (records.empty() ? 0 : records[0].dispid);
    PersistStreamData d;
    d.extentX = 2540;
    d.extentY = 1270;
    d.records = records;
    EXPECT_EQ(encodePersistStream(d), Bytes().head().end().v);
}

TEST(PersistSave, ShouldSaveRule) {
    struct Case {
        const char* name;
        PersistValue v;
        bool walk;
        bool expected;
    };
    const Case cases[] = {
        {"Appearance", PersistValue::ofLong(0), false, true},
        {"BackColor", PersistValue::ofLong(0xC0C0C1), false, true},
        {"BackStyle", PersistValue::ofLong(0), false, true},
        {"BorderStyle", PersistValue::ofLong(1), false, true},
        {"Enabled", PersistValue::ofBool(false), false, true},
        {"ButtonVREnabled", PersistValue::ofBool(true), false, true},
        {"ObjectURL", PersistValue::ofString(u"a.qiv"), false, true},
        {"ObjectURL", PersistValue::ofString(u""), false, false},
        {"Phi", PersistValue::ofFloat(225.00005f), false, false},
        {"Phi", PersistValue::ofFloat(226.0f), false, true},
        {"Phi", PersistValue::ofFloat(226.0f), true, false},
        {"Psi", PersistValue::ofFloat(-30.0f), false, true},
        {"Zoom", PersistValue::ofFloat(2.0f), true, false},
        {"PanX", PersistValue::ofFloat(0.5f), false, true},
        {"SpinPsi", PersistValue::ofFloat(0.00005f), false, false},
        {"SaveFilesWithDocument", PersistValue::ofBool(true), false, true},
        {"Language", PersistValue::ofString(u"EN"), false, true},
        {"Language", PersistValue::ofString(u"de"), false, true},  // case-sensitive
        {"EnabledMenus", PersistValue::ofLong(0x7FFFFFFF), false, true},
        {"MenuNameFor3D", PersistValue::ofString(u"Switch to 3D/object display"), false, false},
        {"MenuNameFor3D", PersistValue::ofString(u"3D!"), false, true},
        {"Walkthrough", PersistValue::ofBool(true), true, true},
        {"VRPz", PersistValue::ofFloat(0.0f), true, true},
        {"VRPz", PersistValue::ofFloat(7.0f), false, false},
        {"Lights", PersistValue::ofLong(30), false, true},
        {"InhibitLocalTextures", PersistValue::ofBool(true), false, true},
        {"VisuDLL", PersistValue::ofString(u"x.dll"), false, false},
        {"TextureBaseURL", PersistValue::ofString(u"http://x/"), false, false},
    };
    for (const Case& k : cases) {
        PersistSaveContext c = defaultContext();
        c.walkthrough = k.walk;
        const PersistProperty* p = persistPropertyByName(k.name);
        ASSERT_NE(p, nullptr) << k.name;
        EXPECT_EQ(persistShouldSave(p->dispid, k.v, c), k.expected) << k.name;
    }
}

// A flag written when false, on a control that starts with it false: the true value is what
// would be lost, so it is the one written.
TEST(PersistSave, FlagsWrittenWhenTheyDifferFromTheConstructionDefault) {
    PersistSaveContext c = defaultContext();
    c.rayTraceButtonDefault = c.hideControlsDefault = c.localSaveDefault = c.filterDefault = false;
    for (const char* name : {"ButtonRayTraceEnabled", "HideControls", "LocalSaveAllowed", "Filter"}) {
        const int32_t id = persistPropertyByName(name)->dispid;
        EXPECT_TRUE(persistShouldSave(id, PersistValue::ofBool(true), c)) << name;
        EXPECT_FALSE(persistShouldSave(id, PersistValue::ofBool(false), c)) << name;
        EXPECT_TRUE(persistShouldSave(id, PersistValue::ofBool(false), defaultContext())) << name;
    }
}

// Every type written and read back, in map order, with the extent and the
// inline object data.
TEST(PersistStream, RoundTripOfEveryType) {
    PersistStreamData d;
    d.kind = kPersistKindInline;
    d.inlineData = {'q', 'i', 'v', '!', 0, 0xFF, 7};
    d.extentX = -5;
    d.extentY = 0x12345678;
    d.records = {
        {-501, PersistValue::ofLong(0x00FF00FF)},
        {-514, PersistValue::ofBool(false)},
        {9, PersistValue::ofString(u"http://h/\u00e4\u4e2d.qiv")},
        {13, PersistValue::ofFloat(3.926991f)},
        {24, PersistValue::ofString(u"")},
        {34, PersistValue::ofLong(-2)},
    };
    std::vector<uint8_t> bytes = encodePersistStream(d);
    bytes.push_back(0xAB);  // the host's data after ours
    PersistLoadResult r;
    size_t consumed = 0;
    ASSERT_EQ(decode(bytes, &r, &consumed), PersistStatus::Ok);
    EXPECT_EQ(consumed, bytes.size() - 1);
    EXPECT_EQ(r.kind, kPersistKindInline);
    EXPECT_EQ(r.inlineData, d.inlineData);
    EXPECT_EQ(r.extentX, -5);
    EXPECT_EQ(r.extentY, 0x12345678);
    // The empty text is left out (a record of length 0 would end the load): the records after
    // it come back.
    std::vector<PersistRecord> want = d.records;
    want.erase(want.begin() + 4);
    ASSERT_EQ(r.records.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        const PersistValue &a = want[i].value, &b = r.records[i].value;
        EXPECT_EQ(r.records[i].dispid, want[i].dispid);
        EXPECT_EQ(a.type, b.type);
        switch (a.type) {
            case PersistType::Long: EXPECT_EQ(a.i, b.i); break;
            case PersistType::Float: EXPECT_EQ(a.f, b.f); break;
            case PersistType::Bool: EXPECT_EQ(a.b, b.b); break;
            case PersistType::String: EXPECT_EQ(a.s, b.s); break;
        }
    }
    // Byte-exact layout of one record of each size.
    std::vector<uint8_t> one;
    persistAppendRecord(one, {24, PersistValue::ofString(u"EN")});
    persistAppendRecord(one, {-514, PersistValue::ofBool(true)});
    EXPECT_EQ(one, Bytes().u32(24).u32(4).text(u"EN").u32(uint32_t(-514)).u32(2).u16(0xFFFF).v);
}

// Hostile streams: each length field is checked, typed records stay in sync.
TEST(PersistStream, HostileLengthsAndRecords) {
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        PersistStatus status;
        std::vector<int32_t> applied;  // DISPIDs of the records load applies, in order
    };
    const Case cases[] = {
        {"kind 3", Bytes().head(3).end().v, PersistStatus::BadKind, {}},
        {"kind 0", Bytes().head(0).end().v, PersistStatus::BadKind, {}},
        {"unknown DISPID with 6 bytes", Bytes().head().u32(777).u32(6).raw({1, 2, 3, 4, 5, 6}).u32(27).u32(2).u16(0).end().v,
         PersistStatus::Ok, {27}},
        {"length all ones", Bytes().head().u32(9).u32(0xFFFFFFFFu).text(u"abcd").end().v, PersistStatus::BadLength, {}},
        {"length past the data", Bytes().head().u32(9).u32(40).text(u"abcd").end().v, PersistStatus::BadLength, {}},
        {"unknown DISPID past the data", Bytes().head().u32(1000).u32(0x7FFFFFFF).end().v, PersistStatus::BadLength, {}},
        {"odd string length consumed and dropped", Bytes().head().u32(9).u32(3).raw({'a', 0, 'b'}).u32(25).u32(4).u32(99).end().v,
         PersistStatus::Ok, {25}},
        {"a record of length 0 ends the load", Bytes().head().u32(24).u32(0).u32(25).u32(4).u32(99).end().v,
         PersistStatus::Ok, {}},
        {"the end DISPID with a length is skipped",
         Bytes().head().u32(0xFFFFFFFFu).u32(4).u32(7).u32(25).u32(4).u32(99).end().v, PersistStatus::Ok, {25}},
        {"long of length 2 keeps sync", Bytes().head().u32(25).u32(2).u16(5).u32(27).u32(2).u16(0).end().v,
         PersistStatus::Ok, {25, 27}},
        {"bool of length 4 keeps sync", Bytes().head().u32(27).u32(4).u32(0).u32(25).u32(4).u32(1).end().v,
         PersistStatus::Ok, {27, 25}},
        {"no end record", Bytes().head().u32(25).u32(4).u32(1).v, PersistStatus::Ok, {25}},
        {"DISPID cut short", Bytes().head().u32(25).u32(4).u32(1).raw({0xFF, 0xFF}).v, PersistStatus::Ok, {25}},
        {"record cut inside its value", Bytes().head().u32(25).u32(4).u32(1).u32(27).u32(2).raw({1}).v,
         PersistStatus::BadLength, {25}},
        {"end record without its length", Bytes().head().u32(0xFFFFFFFFu).v, PersistStatus::Truncated, {}},
        {"extent cut", Bytes().u32(1).u32(5).v, PersistStatus::Truncated, {}},
        {"inline length past the data", Bytes().u32(2).u32(100).raw({1, 2, 3}).v, PersistStatus::BadLength, {}},
        {"inline length all ones", Bytes().u32(2).u32(0xFFFFFFFFu).v, PersistStatus::BadLength, {}},
        {"empty stream", {}, PersistStatus::Truncated, {}},
    };
    for (const Case& c : cases) {
        PersistLoadResult r;
        EXPECT_EQ(decode(c.bytes, &r), c.status) << c.what;
        std::vector<int32_t> applied;
        for (const auto& rec : r.records) applied.push_back(rec.dispid);
        EXPECT_EQ(applied, c.applied) << c.what;
    }
    PersistLoadResult r;
    ASSERT_EQ(decode(Bytes().head().u32(25).u32(2).u16(5).u32(27).u32(4).u32(0).u32(9).u32(6).text(std::u16string(u"a\0b", 3)).end().v, &r),
              PersistStatus::Ok);
    EXPECT_EQ(find(r, 25)->value.i, -1);
    EXPECT_EQ(find(r, 27)->value.b, kVariantTrue);
    EXPECT_EQ(find(r, 9)->value.s, u"a");  // the text ends at its terminator
}

// Every prefix of a valid stream: a cut before the records or inside one fails, a cut between
// records or inside a DISPID loads the whole records before it; short reads are completed.
TEST(PersistStream, EveryCutLoadsItsWholeRecordsAndTrickledReadsAgree) {
    PersistStreamData d;
    d.kind = kPersistKindInline;
    d.inlineData.assign(300, 0x5A);
    d.records = {{9, PersistValue::ofString(u"object.qiv")}, {13, PersistValue::ofFloat(1.5f)}, {17, PersistValue::ofBool(false)}};
    std::vector<uint8_t> bytes = encodePersistStream(d);
    const size_t recordsStart = 4 + 4 + 300 + 8;
    const size_t ends[3] = {recordsStart + 8 + 20, recordsStart + 8 + 20 + 12, recordsStart + 8 + 20 + 12 + 10};
    for (size_t n = 0; n < bytes.size(); ++n) {
        std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + ptrdiff_t(n));
        size_t whole = 0;
        while (whole < 3 && ends[whole] <= n) ++whole;
        const size_t from = whole ? ends[whole - 1] : recordsStart;
        const bool loads = n >= recordsStart && n - from < 4;
        PersistLoadResult r;
        PersistStatus s = decode(cut, &r);
        if (loads) {
            EXPECT_EQ(s, PersistStatus::Ok) << n;
        } else {
            EXPECT_TRUE(s == PersistStatus::Truncated || s == PersistStatus::BadLength) << n;
        }
        EXPECT_EQ(r.records.size(), whole) << n;
        TrickleSource t(cut);
        EXPECT_EQ(decodePersistStream(t, &r), loads ? PersistStatus::Ok : PersistStatus::Truncated) << n;
        EXPECT_EQ(r.records.size(), whole) << n;
    }
    TrickleSource t(bytes);
    PersistLoadResult r;
    ASSERT_EQ(decodePersistStream(t, &r), PersistStatus::Ok);
    EXPECT_EQ(r.inlineData, d.inlineData);
    ASSERT_EQ(r.records.size(), 3u);
    EXPECT_EQ(r.records[0].value.s, u"object.qiv");
}

// A length far beyond a source that cannot tell its size ends at the data's end.
TEST(PersistStream, HugeLengthFromAnUnsizedSourceEndsAtTheData) {
    std::vector<uint8_t> bytes = Bytes().head().u32(9).u32(0xFFFFFFF0u).text(u"short").v;
    TrickleSource t(bytes);
    PersistLoadResult r;
    EXPECT_EQ(decodePersistStream(t, &r), PersistStatus::Truncated);
    EXPECT_TRUE(r.records.empty());
}

TEST(PersistStream, InlineBlockAndQivStream) {
    uint8_t clsid[16];
    for (int i = 0; i < 16; ++i) clsid[i] = uint8_t(0x10 + i);
    std::vector<uint8_t> data = {1, 2, 3, 4, 5};
    std::vector<uint8_t> block = encodeInlineBlock(clsid, data, 100, 200, {{25, PersistValue::ofLong(1000)}});
    EXPECT_EQ(block.size(), 16u + 4 + 4 + data.size() + 8 + 12 + 8);
    PersistMemorySource src(block.data(), block.size());
    PersistLoadResult r;
    ASSERT_EQ(decodeInlineBlock(src, clsid, &r), PersistStatus::Ok);
    EXPECT_EQ(r.inlineData, data);
    EXPECT_EQ(r.extentY, 200);
    ASSERT_EQ(r.records.size(), 1u);
    EXPECT_EQ(r.records[0].value.i, 1000);
    clsid[3] ^= 1;
    PersistMemorySource other(block.data(), block.size());
    EXPECT_EQ(decodeInlineBlock(other, clsid, &r), PersistStatus::BadKind);

    std::vector<uint8_t> qiv = encodeLengthPrefixed(data);
    std::vector<uint8_t> back;
    PersistMemorySource q(qiv.data(), qiv.size());
    ASSERT_EQ(decodeLengthPrefixed(q, &back), PersistStatus::Ok);
    EXPECT_EQ(back, data);
    qiv[0] = 6;  // one byte more than there is
    PersistMemorySource q2(qiv.data(), qiv.size());
    back.clear();
    EXPECT_EQ(decodeLengthPrefixed(q2, &back), PersistStatus::BadLength);
}

TEST(PersistTextures, IndexRecordsAreBoundedAndTerminated) {
    std::vector<uint8_t> idx;
    appendTextureIndexRecord(idx, 0, "wood.bmp");
    appendTextureIndexRecord(idx, 3, std::string(400, 'n'));
    appendTextureIndexRecord(idx, -1, "negative.bmp");
    appendTextureIndexRecord(idx, 4, "");
    ASSERT_EQ(idx.size(), 4 * kTextureIndexRecordSize);
    // A hostile record: no terminator anywhere in its name field.
    Bytes hostile;
    hostile.u32(7);
    for (size_t i = 0; i < kTextureIndexNameField; ++i) hostile.raw({'x'});
    idx.insert(idx.end(), hostile.v.begin(), hostile.v.end());
    idx.insert(idx.end(), 100, 'y');  // partial record
    auto e = decodeTextureIndex(idx.data(), idx.size());
    ASSERT_EQ(e.size(), 3u);
    EXPECT_EQ(e[0].index, 0);
    EXPECT_EQ(e[0].name, "wood.bmp");
    EXPECT_EQ(e[1].index, 3);
    EXPECT_EQ(e[1].name, std::string(259, 'n'));
    EXPECT_EQ(e[2].index, 7);
    EXPECT_EQ(e[2].name, std::string(259, 'x'));
    EXPECT_EQ(textureStreamName(12), "12");
    EXPECT_TRUE(decodeTextureIndex(nullptr, 5).empty());
}

TEST(PersistBag, ValuesFromHostText) {
    struct Case {
        PersistType type;
        std::u16string text;
        bool ok;
        int32_t i;
        float f;
        int16_t b;
    };
    const Case cases[] = {
        {PersistType::Float, u"3.926991", true, 0, 3.926991f, 0},
        {PersistType::Float, u" -0.5 ", true, 0, -0.5f, 0},
        {PersistType::Float, u"1e3", true, 0, 1000.0f, 0},
        {PersistType::Float, u"3,926991", false, 0, 0, 0},
        {PersistType::Float, u"1e39", false, 0, 0, 0},
        {PersistType::Float, u"nan", false, 0, 0, 0},
        {PersistType::Float, u"", false, 0, 0, 0},
        {PersistType::Long, u"750", true, 750, 0, 0},
        {PersistType::Long, u"-2147483648", true, INT32_MIN, 0, 0},
        {PersistType::Long, u"4294967295", true, -1, 0, 0},
        {PersistType::Long, u"4294967296", false, 0, 0, 0},
        {PersistType::Long, u"12abc", false, 0, 0, 0},
        {PersistType::Long, u"\u0661", false, 0, 0, 0},
        {PersistType::Bool, u"True", true, 0, 0, -1},
        {PersistType::Bool, u"FALSE", true, 0, 0, 0},
        {PersistType::Bool, u"-1", true, 0, 0, -1},
        {PersistType::Bool, u"0", true, 0, 0, 0},
        {PersistType::Bool, u"yes", false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        PersistValue v;
        bool ok = persistValueFromText(c.type, c.text, &v);
        EXPECT_EQ(ok, c.ok) << std::string(c.text.begin(), c.text.end());
        if (!ok || !c.ok) continue;
        EXPECT_EQ(v.type, c.type);
        if (c.type == PersistType::Long) {
            EXPECT_EQ(v.i, c.i);
        } else if (c.type == PersistType::Float) {
            EXPECT_EQ(v.f, c.f);
        } else {
            EXPECT_EQ(v.b, c.b);
        }
    }
    EXPECT_EQ(persistValueToText(PersistValue::ofFloat(3.926991f)), u"3.926991");
    EXPECT_EQ(persistValueToText(PersistValue::ofFloat(0.5f)), u"0.5");
    EXPECT_EQ(persistValueToText(PersistValue::ofLong(-1)), u"-1");
    EXPECT_EQ(persistValueToText(PersistValue::ofBool(true)), u"true");
    // Text and value agree for every float the bag writes.
    for (float f : {225.0f, 0.5235988f, -1e-7f, 123456.79f, 1e30f}) {
        PersistValue v;
        ASSERT_TRUE(persistValueFromText(PersistType::Float, persistValueToText(PersistValue::ofFloat(f)), &v));
        EXPECT_EQ(v.f, f);
    }
}

TEST(PersistSave, RowsWhoseGetFailsAreLeftOut) {
    PersistSaveContext c;
    // Every get but BackColor's and TooltipTimeout's fails: only those two rows, in map order.
    auto records = persistRecordsOfKnown(
        [](const PersistProperty& row, PersistValue* v) {
            if (row.dispid == -501) return *v = PersistValue::ofLong(0x123456), true;
            if (row.dispid == 25) return *v = PersistValue::ofLong(100), true;
            return false;
        },
        c);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].dispid, -501);
    EXPECT_EQ(records[1].dispid, 25);
    EXPECT_EQ(records[1].value.type, PersistType::Long);
}

TEST(PersistStorage, ElementsOfASave) {
    struct Case {
        bool saveFiles, fromContainer, objectFile;
        size_t textures;
        bool backPicture;
        StorageSavePlan want;
    };
    const Case cases[] = {
        {false, true, true, 3, true, {}},
        {true, true, true, 3, false, {true, false, false, false}},
        {true, false, true, 3, true, {false, true, true, true}},
        {true, false, true, 0, false, {false, true, false, false}},
        {true, false, false, 2, true, {false, false, false, true}},
    };
    for (const Case& c : cases) {
        StorageSavePlan p = planStorageSave(c.saveFiles, c.fromContainer, c.objectFile, c.textures, c.backPicture);
        EXPECT_EQ(p.qiv, c.want.qiv);
        EXPECT_EQ(p.object, c.want.object);
        EXPECT_EQ(p.textures, c.want.textures);
        EXPECT_EQ(p.backPicture, c.want.backPicture);
    }
    EXPECT_STREQ(kStorageOwnElements[0], "Qiv");
    EXPECT_STREQ(kStorageOwnElements[3], "Textures");
}

TEST(PersistDocument, LocalPathsFoldersAndInlineNames) {
    EXPECT_EQ(localPathOfUrl("FILE://C:\\objects\\chair.pel"), "C:\\objects\\chair.pel");
    EXPECT_EQ(localPathOfUrl("C:\\objects\\chair.pel"), "C:\\objects\\chair.pel");
    EXPECT_EQ(localPathOfUrl("chair.pel"), "chair.pel");
    EXPECT_EQ(localPathOfUrl("http://host/chair.qiv"), "");
    EXPECT_EQ(localPathOfUrl(""), "");
    EXPECT_EQ(documentFolderOf("C:\\docs\\report.doc"), "C:\\docs");
    EXPECT_EQ(documentFolderOf("\\\\server\\share\\a.doc"), "\\\\server\\share");
    EXPECT_EQ(documentFolderOf("http://host/page.html"), "");
    EXPECT_EQ(documentFolderOf(""), "");
    EXPECT_EQ(inlineObjectName(7), "qiv-inl:7");
    EXPECT_NE(inlineObjectName(1), inlineObjectName(2));
}

#include "forms/inifile.h"

#include "forms/fileio.h"
#include "forms/textutil.h"

namespace forms {

namespace {

// Value as the profile functions give it: trimmed, one pair of quotes off.
std::string_view cleanValue(std::string_view raw) {
    std::string_view v = TrimmedView(raw);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return v;
}

// FNV-1a over the text with ASCII letters folded to lower case.
uint64_t foldedHash(std::string_view s) {
    uint64_t h = 14695981039346656037ull;
    for (char c : s) {
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    return h;
}

// Sections of at most this many lines are searched line by line rather than
// through an index built for them.
constexpr size_t kScannedLines = 16;

// Text no line uses any more is dropped once it is this large and more than
// half of the store.
constexpr size_t kCompactBytes = 64 * 1024;

}  // namespace

IniFile::IniFile(std::string path) : path_(std::move(path)) {
    if (auto data = ReadWholeFile(path_)) SetText(*data);
}

IniFile::Span IniFile::keep(std::string_view s) {
    const Span out{store_.size(), s.size()};
    store_.append(s);
    return out;
}

const std::unordered_multimap<uint64_t, size_t>& IniFile::keys(const Section& s) const {
    if (!s.indexed) {
        s.index.clear();
        s.index.reserve(s.lines.size());
        for (size_t i = 0; i < s.lines.size(); ++i) {
            const std::string_view k = text(s.lines[i].key);
            if (k.empty()) continue;
            const uint64_t h = foldedHash(k);
            bool seen = false;
            for (auto [it, end] = s.index.equal_range(h); it != end && !seen; ++it)
                seen = SameText(text(s.lines[it->second].key), k);
            if (!seen) s.index.emplace(h, i);
        }
        s.indexed = true;
    }
    return s.index;
}

const IniFile::Line* IniFile::findKey(const Section& s, std::string_view key) const {
    const std::string_view k = TrimmedView(key);
    if (k.empty()) return nullptr;
    if (s.lines.size() <= kScannedLines) {
        for (const Line& l : s.lines)
            if (l.key.size == k.size() && SameText(text(l.key), k)) return &l;
        return nullptr;
    }
    const auto& index = keys(s);
    for (auto [it, end] = index.equal_range(foldedHash(k)); it != end; ++it)
        if (SameText(text(s.lines[it->second].key), k)) return &s.lines[it->second];
    return nullptr;
}

void IniFile::SetText(std::string_view source) {
    store_.assign(source.data(), source.size());
    dead_ = 0;
    preamble_.clear();
    sections_.clear();
    const std::string_view all = store_;
    size_t at = 0;
    while (at < all.size()) {
        size_t end = at;
        while (end < all.size() && all[end] != '\r' && all[end] != '\n') ++end;
        const Span raw{at, end - at};
        at = end + 1;
        if (end + 1 < all.size() && all[end] == '\r' && all[end + 1] == '\n') ++at;

        size_t t = raw.at;
        const size_t rawEnd = raw.at + raw.size;
        while (t < rawEnd && static_cast<unsigned char>(all[t]) <= ' ') ++t;
        if (t < rawEnd && all[t] == '[') {
            const std::string_view inner = all.substr(t + 1, rawEnd - t - 1);
            const size_t close = inner.find(']');
            const std::string_view name = TrimmedView(inner.substr(0, close));
            Section s;
            s.header = raw;
            s.name = {size_t(name.data() - all.data()), name.size()};
            sections_.push_back(std::move(s));
            continue;
        }
        Line line{raw, {}, {}};
        if (t < rawEnd && all[t] != ';') {
            const std::string_view rest = all.substr(t, rawEnd - t);
            const size_t eq = rest.find('=');
            if (eq != std::string_view::npos) {
                const std::string_view key = TrimmedView(rest.substr(0, eq));
                line.key = {size_t(key.data() - all.data()), key.size()};
                line.value = {t + eq + 1, rest.size() - eq - 1};
            }
        }
        if (sections_.empty())
            preamble_.push_back(raw);
        else
            sections_.back().lines.push_back(line);
    }
    reindexSections();
    modified_ = false;
}

long IniFile::findSectionIndex(std::string_view name) const {
    const std::string_view n = TrimmedView(name);
    for (auto [it, end] = sectionIndex_.equal_range(foldedHash(n)); it != end; ++it)
        if (SameText(text(sections_[it->second].name), n)) return long(it->second);
    return -1;
}

void IniFile::reindexSections() {
    sectionIndex_.clear();
    sectionIndex_.reserve(sections_.size());
    for (size_t i = 0; i < sections_.size(); ++i) {
        const std::string_view name = text(sections_[i].name);
        if (findSectionIndex(name) < 0) sectionIndex_.emplace(foldedHash(name), i);
    }
}

std::string IniFile::Text() const {
    size_t size = 0;
    for (const Span& l : preamble_) size += l.size + 2;
    for (const auto& s : sections_) {
        size += s.header.size + 2;
        for (const auto& l : s.lines) size += l.raw.size + 2;
    }
    std::string out;
    out.reserve(size);
    auto add = [&](Span line) {
        out.append(text(line));
        out.append("\r\n");
    };
    for (const Span& l : preamble_) add(l);
    for (const auto& s : sections_) {
        add(s.header);
        for (const auto& l : s.lines) add(l.raw);
    }
    return out;
}

const IniFile::Section* IniFile::findSection(std::string_view name) const {
    const long i = findSectionIndex(name);
    return i < 0 ? nullptr : &sections_[size_t(i)];
}

IniFile::Section* IniFile::findSection(std::string_view name) {
    return const_cast<Section*>(static_cast<const IniFile*>(this)->findSection(name));
}

const IniFile::Line* IniFile::findLine(std::string_view section, std::string_view key) const {
    const Section* s = findSection(section);
    return s ? findKey(*s, key) : nullptr;
}

void IniFile::ReadStringViews(std::string_view section, const std::string_view* keys,
                              std::optional<std::string_view>* values, size_t n) const {
    size_t left = 0;
    for (size_t i = 0; i < n; ++i) {
        values[i].reset();
        if (!TrimmedView(keys[i]).empty()) ++left;
    }
    const Section* s = findSection(section);
    if (!s) return;
    for (const Line& l : s->lines) {
        if (!left) return;
        if (!l.key.size) continue;
        const std::string_view k = text(l.key);
        for (size_t i = 0; i < n; ++i) {
            if (values[i]) continue;
            const std::string_view want = TrimmedView(keys[i]);
            if (want.size() == k.size() && !want.empty() && SameText(k, want)) {
                values[i] = cleanValue(text(l.value));
                --left;
            }
        }
    }
}

std::optional<std::string_view> IniFile::ReadStringView(std::string_view section, std::string_view key) const {
    const Line* l = findLine(section, key);
    if (!l) return std::nullopt;
    return cleanValue(text(l->value));
}

std::string IniFile::ReadString(std::string_view section, std::string_view key, std::string_view def) const {
    const Line* l = findLine(section, key);
    return std::string(l ? cleanValue(text(l->value)) : def);
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    const std::string k = Trim(key);
    if (k.empty()) return;
    // The value may be a view into the store, which grows below.
    std::string raw = k + "=";
    raw.append(value);
    Section* s = findSection(section);
    if (!s) {
        if (!sections_.empty() || !preamble_.empty()) {
            const Span last = sections_.empty()
                                  ? preamble_.back()
                                  : (sections_.back().lines.empty() ? sections_.back().header
                                                                    : sections_.back().lines.back().raw);
            if (!TrimmedView(text(last)).empty()) {
                if (sections_.empty())
                    preamble_.push_back({});
                else
                    sections_.back().lines.push_back({});
            }
        }
        const std::string name = Trim(section);
        Section n;
        n.header = keep("[" + name + "]");
        n.name = {n.header.at + 1, name.size()};
        sections_.push_back(std::move(n));
        sectionIndex_.emplace(foldedHash(name), sections_.size() - 1);
        s = &sections_.back();
    }
    if (const Line* found = findKey(*s, k)) {
        Line& l = s->lines[size_t(found - s->lines.data())];
        if (text(l.value) == value) return;
        // The line keeps its key as it was written.
        raw.replace(0, k.size(), text(l.key));
        dead_ += l.raw.size;
        const size_t keySize = l.key.size;
        l.raw = keep(raw);
        l.key = {l.raw.at, keySize};
        l.value = {l.raw.at + keySize + 1, raw.size() - keySize - 1};
    } else {
        size_t pos = 0;
        for (size_t i = 0; i < s->lines.size(); ++i)
            if (s->lines[i].key.size) pos = i + 1;
        Line l;
        l.raw = keep(raw);
        l.key = {l.raw.at, k.size()};
        l.value = {l.raw.at + k.size() + 1, raw.size() - k.size() - 1};
        s->lines.insert(s->lines.begin() + long(pos), l);
        s->indexed = false;
    }
    changed();
}

int32_t IniFile::ReadInteger(std::string_view section, std::string_view key, int32_t def) const {
    const Line* l = findLine(section, key);
    if (!l) return def;
    return ToInt(cleanValue(text(l->value))).value_or(def);
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, int32_t value) {
    WriteString(section, key, std::to_string(value));
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
    const Line* l = findLine(section, key);
    if (!l) return def;
    const std::string_view v = cleanValue(text(l->value));
    if (SameText(v, "true")) return true;
    if (SameText(v, "false")) return false;
    auto n = ToInt(v);
    return n ? *n != 0 : def;
}

void IniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

double IniFile::ReadFloat(std::string_view section, std::string_view key, double def, char localeSeparator) const {
    const Line* l = findLine(section, key);
    if (!l) return def;
    return ToFloat(cleanValue(text(l->value)), localeSeparator).value_or(def);
}

void IniFile::WriteFloat(std::string_view section, std::string_view key, double value) {
    WriteString(section, key, FormatFloatG15(value));
}

bool IniFile::SectionExists(std::string_view section) const { return findSection(section) != nullptr; }

bool IniFile::ValueExists(std::string_view section, std::string_view key) const {
    return findLine(section, key) != nullptr;
}

std::vector<std::string> IniFile::ReadSections() const {
    std::vector<std::string> out;
    out.reserve(sections_.size());
    for (size_t i = 0; i < sections_.size(); ++i) {
        const std::string_view name = text(sections_[i].name);
        if (findSectionIndex(name) == long(i)) out.emplace_back(name);
    }
    return out;
}

std::vector<std::string> IniFile::ReadSection(std::string_view section) const {
    std::vector<std::string> out;
    const Section* s = findSection(section);
    if (!s) return out;
    for (const Line& l : s->lines)
        if (l.key.size && findKey(*s, text(l.key)) == &l) out.emplace_back(text(l.key));
    return out;
}

std::vector<std::pair<std::string, std::string>> IniFile::ReadSectionValues(std::string_view section) const {
    std::vector<std::pair<std::string, std::string>> out;
    const Section* s = findSection(section);
    if (!s) return out;
    for (const Line& l : s->lines)
        if (l.key.size && findKey(*s, text(l.key)) == &l)
            out.emplace_back(text(l.key), cleanValue(text(l.value)));
    return out;
}

void IniFile::EraseSection(std::string_view section) {
    const std::string_view name = TrimmedView(section);
    const size_t before = sections_.size();
    std::erase_if(sections_, [&](const Section& s) {
        if (!SameText(text(s.name), name)) return false;
        dead_ += s.header.size;
        for (const Line& l : s.lines) dead_ += l.raw.size;
        return true;
    });
    if (sections_.size() == before) return;
    reindexSections();
    changed();
}

void IniFile::DeleteKey(std::string_view section, std::string_view key) {
    Section* s = findSection(section);
    if (!s) return;
    const std::string_view k = TrimmedView(key);
    const size_t before = s->lines.size();
    std::erase_if(s->lines, [&](const Line& l) {
        if (!l.key.size || !SameText(text(l.key), k)) return false;
        dead_ += l.raw.size;
        return true;
    });
    if (s->lines.size() == before) return;
    s->indexed = false;
    changed();
}

void IniFile::compact() {
    std::string out;
    out.reserve(store_.size() - dead_);
    // Moves a line to the new store, with the pieces inside it.
    auto move = [&](Span& whole, Span* a, Span* b) {
        const size_t at = out.size();
        out.append(text(whole));
        for (Span* p : {a, b})
            if (p && p->size) p->at = p->at - whole.at + at;
        whole.at = at;
    };
    for (Span& l : preamble_) move(l, nullptr, nullptr);
    for (Section& s : sections_) {
        move(s.header, &s.name, nullptr);
        for (Line& l : s.lines) move(l.raw, &l.key, &l.value);
    }
    store_ = std::move(out);
    dead_ = 0;
}

void IniFile::changed() {
    modified_ = true;
    if (dead_ > kCompactBytes && dead_ > store_.size() / 2) compact();
    if (autoUpdate_) UpdateFile();
}

bool IniFile::UpdateFile() {
    if (!modified_) return lastWriteOk_ = true;
    lastWriteOk_ = !path_.empty() && WriteFileAtomically(path_, Text());
    if (lastWriteOk_) modified_ = false;
    return lastWriteOk_;
}

}  // namespace forms

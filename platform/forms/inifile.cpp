#include "forms/inifile.h"

#include "forms/fileio.h"
#include "forms/textutil.h"

namespace forms {

namespace {

// Value as the profile functions give it: trimmed, one pair of quotes off.
std::string cleanValue(std::string_view raw) {
    std::string_view v = TrimmedView(raw);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return std::string(v);
}

// Sections of at most this many lines are searched line by line rather than
// through an index built for them.
constexpr size_t kScannedLines = 16;

}  // namespace

const std::unordered_map<std::string, size_t>& IniFile::Section::keys() const {
    if (!indexed) {
        index.clear();
        for (size_t i = 0; i < lines.size(); ++i)
            if (!lines[i].key.empty()) index.emplace(LowerCase(lines[i].key), i);
        indexed = true;
    }
    return index;
}

IniFile::IniFile(std::string path) : path_(std::move(path)) {
    if (auto data = ReadWholeFile(path_)) SetText(*data);
}

void IniFile::SetText(std::string_view text) {
    preamble_.clear();
    sections_.clear();
    size_t at = 0;
    while (at < text.size()) {
        size_t end = at;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
        std::string_view raw = text.substr(at, end - at);
        at = end + 1;
        if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ++at;

        std::string_view t = raw;
        while (!t.empty() && static_cast<unsigned char>(t.front()) <= ' ') t.remove_prefix(1);
        if (!t.empty() && t[0] == '[') {
            const size_t close = t.find(']');
            Section s;
            s.name = Trim(t.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
            s.header = std::string(raw);
            sections_.push_back(std::move(s));
            continue;
        }
        Line line{std::string(raw), {}, {}};
        if (!t.empty() && t[0] != ';') {
            const size_t eq = t.find('=');
            if (eq != std::string_view::npos) {
                line.key = Trim(t.substr(0, eq));
                line.value = std::string(t.substr(eq + 1));
            }
        }
        if (sections_.empty())
            preamble_.push_back(std::move(line.raw));
        else
            sections_.back().lines.push_back(std::move(line));
    }
    reindexSections();
    modified_ = false;
}

void IniFile::reindexSections() {
    sectionIndex_.clear();
    for (size_t i = 0; i < sections_.size(); ++i) sectionIndex_.emplace(LowerCase(sections_[i].name), i);
}

std::string IniFile::Text() const {
    std::string out;
    for (const auto& l : preamble_) out += l + "\r\n";
    for (const auto& s : sections_) {
        out += s.header + "\r\n";
        for (const auto& l : s.lines) out += l.raw + "\r\n";
    }
    return out;
}

const IniFile::Section* IniFile::findSection(std::string_view name) const {
    auto it = sectionIndex_.find(LowerCase(TrimmedView(name)));
    return it == sectionIndex_.end() ? nullptr : &sections_[it->second];
}

IniFile::Section* IniFile::findSection(std::string_view name) {
    return const_cast<Section*>(static_cast<const IniFile*>(this)->findSection(name));
}

const IniFile::Line* IniFile::findLine(std::string_view section, std::string_view key) const {
    const Section* s = findSection(section);
    if (!s) return nullptr;
    if (s->lines.size() <= kScannedLines) {
        const std::string_view k = TrimmedView(key);
        for (const Line& l : s->lines)
            if (!l.key.empty() && SameText(l.key, k)) return &l;
        return nullptr;
    }
    const auto& keys = s->keys();
    auto it = keys.find(LowerCase(TrimmedView(key)));
    return it == keys.end() ? nullptr : &s->lines[it->second];
}

std::string IniFile::ReadString(std::string_view section, std::string_view key, std::string_view def) const {
    const Line* l = findLine(section, key);
    return l ? cleanValue(l->value) : std::string(def);
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    const std::string k = Trim(key);
    if (k.empty()) return;
    Section* s = findSection(section);
    if (!s) {
        if (!sections_.empty() || !preamble_.empty()) {
            const std::string& last = sections_.empty()
                                          ? preamble_.back()
                                          : (sections_.back().lines.empty() ? sections_.back().header
                                                                            : sections_.back().lines.back().raw);
            if (!Trim(last).empty()) {
                if (sections_.empty())
                    preamble_.push_back("");
                else
                    sections_.back().lines.push_back({"", {}, {}});
            }
        }
        Section n;
        n.name = Trim(section);
        n.header = "[" + n.name + "]";
        sections_.push_back(std::move(n));
        sectionIndex_.emplace(LowerCase(sections_.back().name), sections_.size() - 1);
        s = &sections_.back();
    }
    const auto& keys = s->keys();
    auto it = keys.find(LowerCase(k));
    if (it != keys.end()) {
        Line& l = s->lines[it->second];
        if (l.value == value) return;
        l.value = std::string(value);
        l.raw = l.key + "=" + l.value;
    } else {
        size_t pos = 0;
        for (size_t i = 0; i < s->lines.size(); ++i)
            if (!s->lines[i].key.empty()) pos = i + 1;
        s->lines.insert(s->lines.begin() + pos, Line{k + "=" + std::string(value), k, std::string(value)});
        s->indexed = false;
    }
    changed();
}

int32_t IniFile::ReadInteger(std::string_view section, std::string_view key, int32_t def) const {
    const Line* l = findLine(section, key);
    if (!l) return def;
    return ToInt(cleanValue(l->value)).value_or(def);
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, int32_t value) {
    WriteString(section, key, std::to_string(value));
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
    const Line* l = findLine(section, key);
    if (!l) return def;
    const std::string v = cleanValue(l->value);
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
    return ToFloat(cleanValue(l->value), localeSeparator).value_or(def);
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
    for (size_t i = 0; i < sections_.size(); ++i)
        if (sectionIndex_.at(LowerCase(sections_[i].name)) == i) out.push_back(sections_[i].name);
    return out;
}

std::vector<std::string> IniFile::ReadSection(std::string_view section) const {
    std::vector<std::string> out;
    const Section* s = findSection(section);
    if (!s) return out;
    const auto& keys = s->keys();
    for (size_t i = 0; i < s->lines.size(); ++i)
        if (!s->lines[i].key.empty() && keys.at(LowerCase(s->lines[i].key)) == i) out.push_back(s->lines[i].key);
    return out;
}

std::vector<std::pair<std::string, std::string>> IniFile::ReadSectionValues(std::string_view section) const {
    std::vector<std::pair<std::string, std::string>> out;
    const Section* s = findSection(section);
    if (!s) return out;
    const auto& keys = s->keys();
    for (size_t i = 0; i < s->lines.size(); ++i)
        if (!s->lines[i].key.empty() && keys.at(LowerCase(s->lines[i].key)) == i)
            out.emplace_back(s->lines[i].key, cleanValue(s->lines[i].value));
    return out;
}

void IniFile::EraseSection(std::string_view section) {
    const std::string name = LowerCase(Trim(section));
    const size_t before = sections_.size();
    std::erase_if(sections_, [&](const Section& s) { return LowerCase(s.name) == name; });
    if (sections_.size() == before) return;
    reindexSections();
    changed();
}

void IniFile::DeleteKey(std::string_view section, std::string_view key) {
    Section* s = findSection(section);
    if (!s) return;
    const std::string k = LowerCase(Trim(key));
    const size_t before = s->lines.size();
    std::erase_if(s->lines, [&](const Line& l) { return !l.key.empty() && LowerCase(l.key) == k; });
    if (s->lines.size() == before) return;
    s->indexed = false;
    changed();
}

void IniFile::changed() {
    modified_ = true;
    if (autoUpdate_) UpdateFile();
}

bool IniFile::UpdateFile() {
    if (!modified_) return lastWriteOk_ = true;
    lastWriteOk_ = !path_.empty() && WriteFileAtomically(path_, Text());
    if (lastWriteOk_) modified_ = false;
    return lastWriteOk_;
}

}  // namespace forms

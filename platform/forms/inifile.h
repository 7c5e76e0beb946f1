#pragma once
// INI files with the rules of the system's profile functions: section and key
// names compared without regard to case, the first of duplicate sections or
// keys wins, values trimmed (and one pair of enclosing quotes dropped), a
// missing file reads as empty. Comments, blank lines and untouched lines keep
// their text when the file is rewritten; rewriting goes through a temporary
// file renamed over the original. Numbers are written in the invariant format.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace forms {

class IniFile {
public:
    IniFile() = default;
    // Reads the file (a missing or unreadable one is empty).
    explicit IniFile(std::string path);

    const std::string& FileName() const { return path_; }
    // Text of the whole file as it would be written.
    std::string Text() const;
    void SetText(std::string_view text);

    std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const;
    // The value as ReadString gives it, valid until the file is next changed;
    // nothing when the key is absent.
    std::optional<std::string_view> ReadStringView(std::string_view section, std::string_view key) const;
    // ReadStringView for n keys of one section at once, read in one pass over it.
    void ReadStringViews(std::string_view section, const std::string_view* keys, std::optional<std::string_view>* values,
                         size_t n) const;
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    // A decimal (or "0x"/"$" hexadecimal) integer; def when absent or unparsable.
    int32_t ReadInteger(std::string_view section, std::string_view key, int32_t def) const;
    void WriteInteger(std::string_view section, std::string_view key, int32_t value);
    // An integer (not 0 is true) or "true"/"false".
    bool ReadBool(std::string_view section, std::string_view key, bool def) const;
    void WriteBool(std::string_view section, std::string_view key, bool value);
    // "." always, and localeSeparator as well.
    double ReadFloat(std::string_view section, std::string_view key, double def, char localeSeparator = '.') const;
    void WriteFloat(std::string_view section, std::string_view key, double value);

    bool SectionExists(std::string_view section) const;
    bool ValueExists(std::string_view section, std::string_view key) const;
    // Section names in file order (duplicates once).
    std::vector<std::string> ReadSections() const;
    // Keys of the section in file order (duplicates once).
    std::vector<std::string> ReadSection(std::string_view section) const;
    // name=value pairs of the section, values trimmed.
    std::vector<std::pair<std::string, std::string>> ReadSectionValues(std::string_view section) const;
    // Removes every section of that name.
    void EraseSection(std::string_view section);
    // Removes every line of the key in its section.
    void DeleteKey(std::string_view section, std::string_view key);

    bool Modified() const { return modified_; }
    // Writes the file when something changed; false when it could not be
    // written (the file is then as it was).
    bool UpdateFile();
    // Writes every change at once, as the profile functions do.
    void SetAutoUpdate(bool on) { autoUpdate_ = on; }
    // False when the last automatic or explicit write failed.
    bool LastWriteOk() const { return lastWriteOk_; }

private:
    // A piece of store_.
    struct Span {
        size_t at = 0, size = 0;
    };
    struct Line {
        Span raw;    // text of the line as read or as rewritten
        Span key;    // trimmed key, inside raw; empty for comments, blanks and others
        Span value;  // text after "=", inside raw
    };
    struct Section {
        Span header;  // the "[...]" line
        Span name;    // trimmed name, inside header
        std::vector<Line> lines;
        // Folded hash of a key -> its first line, built when a large section is searched.
        mutable std::unordered_multimap<uint64_t, size_t> index;
        mutable bool indexed = false;
    };

    std::string_view text(Span s) const {
        return s.size ? std::string_view(store_.data() + s.at, s.size) : std::string_view();
    }
    // Appends the text to store_.
    Span keep(std::string_view s);
    const std::unordered_multimap<uint64_t, size_t>& keys(const Section& s) const;
    const Line* findKey(const Section& s, std::string_view key) const;
    long findSectionIndex(std::string_view name) const;
    const Section* findSection(std::string_view name) const;
    Section* findSection(std::string_view name);
    const Line* findLine(std::string_view section, std::string_view key) const;
    void changed();
    void reindexSections();
    void compact();

    std::string path_;
    // The text read and every line written since; lines and sections point into it.
    std::string store_;
    size_t dead_ = 0;             // bytes of store_ no line uses any more
    std::vector<Span> preamble_;  // lines before the first section
    std::vector<Section> sections_;
    std::unordered_multimap<uint64_t, size_t> sectionIndex_;  // folded hash of a name -> first section
    bool modified_ = false;
    bool autoUpdate_ = false;
    bool lastWriteOk_ = true;
};

}  // namespace forms

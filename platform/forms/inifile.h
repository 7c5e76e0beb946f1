#pragma once
// INI files with the rules of the system's profile functions: section and key
// names compared without regard to case, the first of duplicate sections or
// keys wins, values trimmed (and one pair of enclosing quotes dropped), a
// missing file reads as empty. Comments, blank lines and untouched lines keep
// their text when the file is rewritten; rewriting goes through a temporary
// file renamed over the original. Numbers are written in the invariant format.
#include <cstdint>
#include <memory>
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
    struct Line {
        std::string raw;  // text of the line as read or as rewritten
        std::string key;  // trimmed key; empty for comments, blanks and others
        std::string value;
    };
    struct Section {
        std::string name;
        std::string header;
        std::vector<Line> lines;
        mutable std::unordered_map<std::string, size_t> index;  // folded key -> first line
        mutable bool indexed = false;
        const std::unordered_map<std::string, size_t>& keys() const;
    };

    const Section* findSection(std::string_view name) const;
    Section* findSection(std::string_view name);
    const Line* findLine(std::string_view section, std::string_view key) const;
    void changed();
    void reindexSections();

    std::string path_;
    std::vector<std::string> preamble_;  // lines before the first section
    std::vector<Section> sections_;
    std::unordered_map<std::string, size_t> sectionIndex_;  // folded name -> first section
    bool modified_ = false;
    bool autoUpdate_ = false;
    bool lastWriteOk_ = true;
};

}  // namespace forms

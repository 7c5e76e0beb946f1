#pragma once
// An ordered list of texts with an optional object pointer per entry,
// name=value access and searches that ignore letter case by default.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace forms {

class StringList {
public:
    StringList() = default;
    StringList(std::initializer_list<std::string> items);

    int Count() const { return int(items_.size()); }
    bool Empty() const { return items_.empty(); }
    // Entry i; an index outside 0..Count-1 raises forms::Exception.
    const std::string& operator[](int i) const;
    const std::string& Strings(int i) const { return (*this)[i]; }
    void SetString(int i, std::string s);
    void* Objects(int i) const;
    void SetObject(int i, void* object);

    // Appends (or, when sorted, inserts at its place); returns the index.
    // With Sorted and Duplicates off, an existing text gives its index.
    int Add(std::string s, void* object = nullptr);
    void Insert(int i, std::string s, void* object = nullptr);
    void Delete(int i);
    void Exchange(int a, int b);
    void Move(int from, int to);
    void Clear();

    // First index of s (letter case by CaseSensitive), -1 when absent.
    int IndexOf(std::string_view s) const;
    int IndexOfObject(const void* object) const;

    // name=value entries: the name is the text before the first "=".
    std::string Names(int i) const;
    std::string ValueFromIndex(int i) const;
    int IndexOfName(std::string_view name) const;
    std::string Values(std::string_view name) const;
    // Sets the value of the first entry of that name; adds name=value when
    // there is none; an empty value removes the entry.
    void SetValue(std::string_view name, std::string_view value);

    bool CaseSensitive() const { return caseSensitive_; }
    void SetCaseSensitive(bool on);
    bool Sorted() const { return sorted_; }
    void SetSorted(bool on);
    bool AllowDuplicates() const { return duplicates_; }
    void SetAllowDuplicates(bool on) { duplicates_ = on; }
    void Sort();
    void CustomSort(const std::function<bool(const std::string&, const std::string&)>& less);

    // Lines joined by CR LF (each line ended by one).
    std::string Text() const;
    // Lines split at CR LF, LF or CR; a last line without end counts.
    void SetText(std::string_view text);
    // Loads the whole file; false (list unchanged) when it cannot be read.
    bool LoadFromFile(const std::string& path);
    // Writes through a temporary file renamed over the original.
    bool SaveToFile(const std::string& path) const;

    const std::vector<std::string>& Items() const { return items_; }

    // Called after every change.
    std::function<void()> OnChange;

private:
    int compare(std::string_view a, std::string_view b) const;
    int findSorted(std::string_view s, bool* found) const;
    void checkIndex(int i) const;
    void changed();

    std::vector<std::string> items_;
    std::vector<void*> objects_;
    bool caseSensitive_ = false;
    bool sorted_ = false;
    bool duplicates_ = true;
};

// Splits text into lines at CR LF, LF or CR.
std::vector<std::string> SplitLines(std::string_view text);

}  // namespace forms

#include "forms/stringlist.h"

#include <algorithm>
#include <numeric>

#include "forms/exception.h"
#include "forms/fileio.h"
#include "forms/textutil.h"

namespace forms {

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find_first_of("\r\n", at);
        if (end == std::string_view::npos) end = text.size();
        out.emplace_back(text.substr(at, end - at));
        at = end + 1;
        if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ++at;
    }
    return out;
}

StringList::StringList(std::initializer_list<std::string> items) : items_(items), objects_(items.size(), nullptr) {}

void StringList::checkIndex(int i) const {
    if (i < 0 || i >= Count()) throw Exception(Format("List index out of bounds (%d)", i));
}

const std::string& StringList::operator[](int i) const {
    checkIndex(i);
    return items_[size_t(i)];
}

void StringList::SetString(int i, std::string s) {
    checkIndex(i);
    items_[size_t(i)] = std::move(s);
    changed();
}

void* StringList::Objects(int i) const {
    checkIndex(i);
    return objects_[size_t(i)];
}

void StringList::SetObject(int i, void* object) {
    checkIndex(i);
    objects_[size_t(i)] = object;
}

int StringList::compare(std::string_view a, std::string_view b) const {
    return caseSensitive_ ? a.compare(b) : CompareText(a, b);
}

int StringList::findSorted(std::string_view s, bool* found) const {
    int lo = 0, hi = Count() - 1;
    *found = false;
    while (lo <= hi) {
        const int mid = (lo + hi) / 2;
        const int c = compare(items_[size_t(mid)], s);
        if (c < 0) {
            lo = mid + 1;
        } else {
            hi = mid - 1;
            if (c == 0) *found = true;
        }
    }
    return lo;
}

int StringList::Add(std::string s, void* object) {
    if (!sorted_) {
        items_.push_back(std::move(s));
        objects_.push_back(object);
        changed();
        return Count() - 1;
    }
    bool found = false;
    int at = findSorted(s, &found);
    if (found && !duplicates_) return at;
    items_.insert(items_.begin() + at, std::move(s));
    objects_.insert(objects_.begin() + at, object);
    changed();
    return at;
}

void StringList::Insert(int i, std::string s, void* object) {
    if (sorted_) throw Exception("Operation not allowed on sorted list");
    if (i < 0 || i > Count()) throw Exception(Format("List index out of bounds (%d)", i));
    items_.insert(items_.begin() + i, std::move(s));
    objects_.insert(objects_.begin() + i, object);
    changed();
}

void StringList::Delete(int i) {
    checkIndex(i);
    items_.erase(items_.begin() + i);
    objects_.erase(objects_.begin() + i);
    changed();
}

void StringList::Exchange(int a, int b) {
    checkIndex(a);
    checkIndex(b);
    std::swap(items_[size_t(a)], items_[size_t(b)]);
    std::swap(objects_[size_t(a)], objects_[size_t(b)]);
    changed();
}

void StringList::Move(int from, int to) {
    checkIndex(from);
    checkIndex(to);
    if (from == to) return;
    std::string s = std::move(items_[size_t(from)]);
    void* o = objects_[size_t(from)];
    items_.erase(items_.begin() + from);
    objects_.erase(objects_.begin() + from);
    items_.insert(items_.begin() + to, std::move(s));
    objects_.insert(objects_.begin() + to, o);
    changed();
}

void StringList::Clear() {
    if (items_.empty()) return;
    items_.clear();
    objects_.clear();
    changed();
}

int StringList::IndexOf(std::string_view s) const {
    if (sorted_) {
        bool found = false;
        const int at = findSorted(s, &found);
        return found ? at : -1;
    }
    for (int i = 0; i < Count(); ++i)
        if (compare(items_[size_t(i)], s) == 0) return i;
    return -1;
}

int StringList::IndexOfObject(const void* object) const {
    for (int i = 0; i < Count(); ++i)
        if (objects_[size_t(i)] == object) return i;
    return -1;
}

std::string StringList::Names(int i) const {
    const std::string& s = (*this)[i];
    const size_t eq = s.find('=');
    return eq == std::string::npos ? std::string() : s.substr(0, eq);
}

std::string StringList::ValueFromIndex(int i) const {
    const std::string& s = (*this)[i];
    const size_t eq = s.find('=');
    return eq == std::string::npos ? std::string() : s.substr(eq + 1);
}

int StringList::IndexOfName(std::string_view name) const {
    for (int i = 0; i < Count(); ++i) {
        const std::string& s = items_[size_t(i)];
        const size_t eq = s.find('=');
        if (eq != std::string::npos && compare(std::string_view(s).substr(0, eq), name) == 0) return i;
    }
    return -1;
}

std::string StringList::Values(std::string_view name) const {
    const int i = IndexOfName(name);
    return i < 0 ? std::string() : ValueFromIndex(i);
}

void StringList::SetValue(std::string_view name, std::string_view value) {
    const int i = IndexOfName(name);
    if (value.empty()) {
        if (i >= 0) Delete(i);
        return;
    }
    std::string entry = std::string(name) + "=" + std::string(value);
    if (i >= 0)
        SetString(i, std::move(entry));
    else
        Add(std::move(entry));
}

void StringList::SetCaseSensitive(bool on) {
    if (on == caseSensitive_) return;
    caseSensitive_ = on;
    if (sorted_) Sort();
}

void StringList::SetSorted(bool on) {
    if (on == sorted_) return;
    if (on) Sort();
    sorted_ = on;
}

void StringList::Sort() {
    CustomSort([this](const std::string& a, const std::string& b) { return compare(a, b) < 0; });
}

void StringList::CustomSort(const std::function<bool(const std::string&, const std::string&)>& less) {
    std::vector<size_t> order(items_.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return less(items_[a], items_[b]); });
    std::vector<std::string> items;
    std::vector<void*> objects;
    items.reserve(order.size());
    objects.reserve(order.size());
    for (size_t i : order) {
        items.push_back(std::move(items_[i]));
        objects.push_back(objects_[i]);
    }
    items_ = std::move(items);
    objects_ = std::move(objects);
    changed();
}

std::string StringList::Text() const {
    std::string out;
    for (const auto& s : items_) out += s + "\r\n";
    return out;
}

void StringList::SetText(std::string_view text) {
    items_ = SplitLines(text);
    objects_.assign(items_.size(), nullptr);
    if (sorted_) Sort();
    changed();
}

bool StringList::LoadFromFile(const std::string& path) {
    auto data = ReadWholeFile(path);
    if (!data) return false;
    SetText(*data);
    return true;
}

bool StringList::SaveToFile(const std::string& path) const { return WriteFileAtomically(path, Text()); }

void StringList::changed() {
    if (OnChange) OnChange();
}

}  // namespace forms

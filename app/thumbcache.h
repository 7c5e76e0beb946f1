#pragma once
// The preview open dialog's rules: which files preview as objects in a
// viewer, and the thumbnails kept for the run, each under its file's path
// (letter case ignored), size and time of change, so that a changed file
// is read again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace stellwerk {

// ".qiv", ".vov", ".pel" and ".kvo" in any case: the files the viewer opens.
bool IsObjectFile(std::string_view path);

struct ThumbKey {
    std::string path;
    uint64_t size = 0;
    int64_t modified = 0;
};

template <class T>
class ThumbnailCache {
public:
    // The thumbnail of exactly that file state, or null.
    const T* Find(const ThumbKey& key) const {
        const size_t i = indexOf(key.path);
        if (i == npos) return nullptr;
        const Entry& e = entries_[i];
        return e.size == key.size && e.modified == key.modified ? &e.value : nullptr;
    }
    // Replaces the path's older thumbnail.
    void Add(const ThumbKey& key, T value) {
        const size_t i = indexOf(key.path);
        Entry e{upper(key.path), key.size, key.modified, std::move(value)};
        if (i == npos)
            entries_.push_back(std::move(e));
        else
            entries_[i] = std::move(e);
    }
    size_t Count() const { return entries_.size(); }
    void Clear() { entries_.clear(); }

private:
    static constexpr size_t npos = size_t(-1);
    struct Entry {
        std::string path;
        uint64_t size;
        int64_t modified;
        T value;
    };
    static std::string upper(std::string s) {
        for (char& c : s)
            if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
        return s;
    }
    size_t indexOf(const std::string& path) const {
        const std::string u = upper(path);
        for (size_t i = 0; i < entries_.size(); ++i)
            if (entries_[i].path == u) return i;
        return npos;
    }
    std::vector<Entry> entries_;
};

}  // namespace stellwerk

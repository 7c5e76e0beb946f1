#include "history.h"

#include <charconv>

namespace stellwerk {

namespace {

constexpr std::string_view kMaterialTag = "*M*";
constexpr std::string_view kTextureTag = "*T*";

}  // namespace

std::string MakeHistoryRecord(const MatEntry& entry, int materialIndex) {
    MatEntry m = entry;
    m.index = materialIndex;
    const auto bytes = PackMatEntry(m);
    std::string out(kMaterialTag);
    out.append(bytes.data(), bytes.size());
    return out;
}

std::string MakeHistoryRecord(const MatEntry& entry, int materialIndex, int textureIndex, std::string_view texture) {
    std::string out = MakeHistoryRecord(entry, materialIndex);
    out += kTextureTag;
    out += std::to_string(textureIndex);
    out += '*';
    out += texture;
    return out;
}

HistoryRestore ParseHistoryRecord(std::string_view record, int materials, int textures) {
    HistoryRestore r;
    if (record.substr(0, kMaterialTag.size()) != kMaterialTag) return r;
    record.remove_prefix(kMaterialTag.size());
    if (record.size() < kMatEntryBytes) return r;
    r.entry = UnpackMatEntry(record.substr(0, kMatEntryBytes));
    record.remove_prefix(kMatEntryBytes);
    if (r.entry.index >= 0 && r.entry.index < materials) {
        r.hasMaterial = true;
        r.materialIndex = r.entry.index;
    }
    if (record.substr(0, kTextureTag.size()) != kTextureTag || textures <= 0) return r;
    record.remove_prefix(kTextureTag.size());
    const size_t star = record.find('*');
    if (star == std::string_view::npos) return r;
    int64_t index = 0;
    const std::string_view digits = record.substr(0, star);
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), index);
    if (digits.empty() || end != digits.data() + digits.size()) return r;
    if (ec == std::errc::result_out_of_range) index = digits[0] == '-' ? 0 : textures - 1;
    r.hasTexture = true;
    r.textureIndex = int(index < 0 ? 0 : index >= textures ? textures - 1 : index);
    r.texture = std::string(record.substr(star + 1));
    return r;
}

void EditHistory::Record(std::string record) {
    undo_.push_back(std::move(record));
    redo_.clear();
}

std::optional<std::string> EditHistory::Undo(std::string current) {
    if (undo_.empty()) return std::nullopt;
    redo_.push_back(std::move(current));
    std::string r = std::move(undo_.back());
    undo_.pop_back();
    if (mark_ > undo_.size()) mark_ = undo_.size();
    return r;
}

std::optional<std::string> EditHistory::Redo(std::string current) {
    if (redo_.empty()) return std::nullopt;
    undo_.push_back(std::move(current));
    std::string r = std::move(redo_.back());
    redo_.pop_back();
    return r;
}

bool EditHistory::ResetToMark(std::string current) {
    if (undo_.size() <= mark_) return false;
    redo_.push_back(std::move(current));
    while (undo_.size() > mark_) {
        redo_.push_back(std::move(undo_.back()));
        undo_.pop_back();
    }
    redo_.pop_back();
    return true;
}

void EditHistory::Clear() {
    undo_.clear();
    redo_.clear();
    mark_ = 0;
}

}  // namespace stellwerk

#include "filenames.h"

namespace stellwerk {

namespace {

size_t nameStart(const std::string& path) {
    const size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? 0 : cut + 1;
}

size_t extStart(const std::string& path) {
    const size_t start = nameStart(path);
    const size_t dot = path.find_last_of('.');
    return dot == std::string::npos || dot < start ? path.size() : dot;
}

}  // namespace

std::string FolderOf(const std::string& path) { return path.substr(0, nameStart(path)); }
std::string FileNameOf(const std::string& path) { return path.substr(nameStart(path)); }

std::string BaseNameOf(const std::string& path) {
    const size_t start = nameStart(path);
    return path.substr(start, extStart(path) - start);
}

std::string FileExtOf(const std::string& path) { return path.substr(extStart(path)); }

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
    return path.substr(0, extStart(path)) + ext;
}

}  // namespace stellwerk

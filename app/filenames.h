#pragma once
// Pieces of file paths, with "\\" or "/" between folders.
#include <string>

namespace stellwerk {

// Path pieces: the folder part (with its delimiter) and the file name, at
// the last "\" or "/".
std::string FolderOf(const std::string& path);
std::string FileNameOf(const std::string& path);
// The file name without its extension.
std::string BaseNameOf(const std::string& path);
// The extension of the file name with its ".", empty when it has none.
std::string FileExtOf(const std::string& path);
// The path with its extension (from the last "." of the file name) replaced.
std::string ChangeFileExt(const std::string& path, const std::string& ext);

}  // namespace stellwerk

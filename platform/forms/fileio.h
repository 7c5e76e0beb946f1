#pragma once
// The few file operations the portable parts need, with one implementation
// per platform (names are in the system's narrow code page).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace forms {

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
// Whole file; nothing when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::string& path);
// Writes data to a temporary file beside path and renames it over path only
// when complete; false (path untouched) on any failure.
bool WriteFileAtomically(const std::string& path, const std::string& data);
bool IsReadOnlyFile(const std::string& path);
bool SetReadOnlyFile(const std::string& path, bool readOnly);
bool DeleteFileAt(const std::string& path);
// Opens the file for writing without sharing (creating it when missing) and
// closes it again; a file it had to create is deleted. True when that worked.
bool CanOpenForWriting(const std::string& path);
// Clears every attribute of the file (read-only among them).
bool ClearFileAttributes(const std::string& path);
// Creates the folder and every missing parent.
bool ForceDirectories(const std::string& path);

struct DirEntry {
    std::string name;  // without folder
    bool directory = false;
};
// Entries of a folder (without "." and ".."), in the order the system gives.
std::vector<DirEntry> ListDirectory(const std::string& folder);

// The separator the platform writes between folders ("\\" or "/").
char PathDelimiter();

}  // namespace forms

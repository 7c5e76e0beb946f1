// The file operations on POSIX systems (native builds and their tests).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "forms/fileio.h"

namespace forms {

bool FileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return std::nullopt;
    std::string data;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, n);
    const bool bad = std::ferror(f) != 0;
    std::fclose(f);
    if (bad) return std::nullopt;
    return data;
}

bool WriteFileAtomically(const std::string& path, const std::string& data) {
    std::string temp = path;
    const size_t cut = temp.find_last_of('/');
    temp.insert(cut == std::string::npos ? 0 : cut + 1, ".~");
    temp += ".tmp";
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    ok = std::fflush(f) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    if (ok) ok = std::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) std::remove(temp.c_str());
    return ok;
}

bool IsReadOnlyFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && (st.st_mode & S_IWUSR) == 0;
}

bool SetReadOnlyFile(const std::string& path, bool readOnly) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    const mode_t mode = readOnly ? (st.st_mode & ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH)) : (st.st_mode | S_IWUSR);
    return chmod(path.c_str(), mode) == 0;
}

bool DeleteFileAt(const std::string& path) { return unlink(path.c_str()) == 0; }

bool CanOpenForWriting(const std::string& path) {
    const bool existed = FileExists(path);
    // The permission bits count even for a user whom the system would let write.
    if (existed && IsReadOnlyFile(path)) return false;
    const int fd = open(path.c_str(), O_WRONLY | (existed ? 0 : O_CREAT | O_EXCL), 0666);
    if (fd < 0) return false;
    close(fd);
    if (!existed) unlink(path.c_str());
    return true;
}

bool ClearFileAttributes(const std::string& path) { return SetReadOnlyFile(path, false); }

bool ForceDirectories(const std::string& path) {
    if (path.empty()) return false;
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    if (DirectoryExists(p)) return true;
    const size_t cut = p.find_last_of('/');
    if (cut != std::string::npos && cut > 0 && !ForceDirectories(p.substr(0, cut))) return false;
    return mkdir(p.c_str(), 0777) == 0 || errno == EEXIST;
}

std::vector<DirEntry> ListDirectory(const std::string& folder) {
    std::vector<DirEntry> out;
    DIR* d = opendir(folder.empty() ? "." : folder.c_str());
    if (!d) return out;
    while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        std::string full = folder;
        if (!full.empty() && full.back() != '/') full += '/';
        out.push_back({name, DirectoryExists(full + name)});
    }
    closedir(d);
    return out;
}

char PathDelimiter() { return '/'; }

}  // namespace forms

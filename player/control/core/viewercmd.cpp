#include "viewercmd.h"

#include <cstring>

namespace qivctl {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::string viewerPathFromCommandLine(const char* commandLine) {
    if (!commandLine) return {};
    std::string s(commandLine);
    size_t b = 0, e = s.size();
    while (b < e && isBlank(s[b])) ++b;
    while (e > b && isBlank(s[e - 1])) --e;
    if (b < e && s[b] == '"') {
        size_t close = s.find('"', b + 1);
        if (close == std::string::npos || close > e) close = e;
        return s.substr(b + 1, close - b - 1);
    }
    return s.substr(b, e - b);
}

std::string viewerLongPath(const std::string& path, const LongPathLookup& lookup) {
    if (lookup) {
        std::string longPath;
        if (lookup(path, &longPath) && !longPath.empty() && longPath.size() <= kViewerPathMax &&
            std::memchr(longPath.data(), 0, longPath.size()) == nullptr)
            return longPath;
    }
    return path.substr(0, kViewerPathMax);
}

std::string viewerWindowTitle(const std::string& longPath, const std::string& programTitle) {
    size_t cut = longPath.find_last_of('\\');
    if (cut == std::string::npos) cut = longPath.find_last_of('/');
    std::string name = cut == std::string::npos ? longPath : longPath.substr(cut + 1);
    std::string title = name + " - " + programTitle;
    if (title.size() > kViewerTitleMax) title.resize(kViewerTitleMax);
    return title;
}

}  // namespace qivctl

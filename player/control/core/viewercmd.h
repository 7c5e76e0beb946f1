// Command-line and title handling of the stand-alone viewer: the path the shell hands to
// the viewer's entry, its long form and the frame window's title.
#pragma once
#include <functional>
#include <string>

namespace qivctl {

// Largest long path and window title the viewer keeps (characters, without the zero).
constexpr size_t kViewerPathMax = 2599;
constexpr size_t kViewerTitleMax = 511;

// The file path in an entry's command line: surrounding blanks removed and, when it starts
// with a double quote, the text up to the closing quote (the shell passes "%1").
std::string viewerPathFromCommandLine(const char* commandLine);

// Long form of a path. lookup is the system's long-path conversion (empty when the system
// has none); it answers false when it fails. Without a lookup, or when it fails or gives an
// empty or too long result, the path is used as given, cut to kViewerPathMax characters.
using LongPathLookup = std::function<bool(const std::string& path, std::string* longPath)>;
std::string viewerLongPath(const std::string& path, const LongPathLookup& lookup);

// "<file name> - <program title>": the part after the last '\', else after the last '/',
// else the whole path; cut to kViewerTitleMax characters.
std::string viewerWindowTitle(const std::string& longPath, const std::string& programTitle);

}  // namespace qivctl

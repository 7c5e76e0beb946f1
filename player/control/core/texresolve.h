// Finding one texture an object names: the texture cache first, then the local candidate
// files that exist, then the candidate URLs of a download. The control loads the first file
// that reads (later ones when an earlier cannot be read) or queues the download.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "texpaths.h"

struct TexRecord;

namespace qivctl {

struct TextureResolution {
    enum Kind { NoTexture, Cached, Files, Download, Missing } kind = NoTexture;
    TexRecord* texture = nullptr;        // Cached
    std::vector<TextureFileTry> files;   // Files: existing candidates in trial order
    std::vector<std::string> urls;       // Download: candidate URLs in trial order
};

// File test of a candidate path (the window layer opens it for reading with sharing).
using TextureFileExists = std::function<bool(const std::string& path)>;

TextureResolution resolveTexture(const char* name, const TextureSearch& local, const TextureUrlSearch& remote,
                                 const TextureFileExists& exists);

}  // namespace qivctl

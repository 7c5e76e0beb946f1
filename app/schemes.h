#pragma once
// Material schemes: ".msc" files beside an object ("Chair.qiv" and scheme
// "Red" give "Chair.Red.msc"), their reader and writer, the texture names
// they hold, and the scheme list of an object's folder.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "filenames.h"
#include "matentry.h"

namespace stellwerk {

// The object's own materials and textures, and a scheme's, index by index.
struct MaterialSet {
    std::vector<MatEntry> materials;
    std::vector<std::string> names;     // one per material
    std::vector<std::string> textures;  // one per texture index

    bool operator==(const MaterialSet&) const = default;
};

// Where texture names of a scheme are looked for.
struct TextureLookup {
    std::string programFolder;         // with its trailing delimiter
    std::string alternateTexturePath;  // with its trailing delimiter, may be empty
    std::string objectFolder;          // with its trailing delimiter
    std::function<bool(const std::string&)> exists;
};

// A texture line's name made absolute: relative names against the program
// folder, then tried under the alternate path; the bare name under the
// alternate path and in the object's folder. The first that exists wins,
// else the first resolution.
std::string ResolveSchemeTexture(const std::string& name, const TextureLookup& lookup);

struct SchemeReadResult {
    bool countsMatch = false;  // "Counts" first and both counts equal the object's
    bool texturesRead = false, materialsRead = false, namesRead = false;
};

// Starts from the object's own set and takes what the text holds that fits:
// the counts must equal the object's; each section is read only when its
// heading matches and the one before it was read in full.
SchemeReadResult ReadScheme(std::string_view text, const MaterialSet& own, const TextureLookup& lookup,
                            MaterialSet& out);

// The text the reader reads back as the same set: textures equal to the
// object's own (letter case ignored) as "*", others relative to the program
// folder when inside it; coefficients in percent.
std::string WriteScheme(const MaterialSet& scheme, const MaterialSet& own, const std::string& programFolder);

// Coefficient fraction as the shortest percent text that reads back as the
// same float.
std::string PercentText(float fraction);

// "Chair.qiv" + "Red" -> "Chair.Red.msc" (in the object's folder).
std::string SchemeFilePath(const std::string& objectPath, const std::string& schemeName);
// The scheme name a file name gives for the object, if any: the file's name
// must start with the object's base name and ".", end in ".msc" (letter
// case ignored), and leave a non-empty name between them.
std::optional<std::string> SchemeNameOf(const std::string& objectPath, const std::string& fileName);

struct SchemeFile {
    std::string name;
    std::string path;
};
// Every regular file of the object's folder that names a scheme of it,
// sorted by name.
std::vector<SchemeFile> ListSchemes(const std::string& objectPath);

// The name "Save as" proposes: prefix + n with the lowest n from 1 whose
// file does not exist.
std::string ProposeSchemeName(const std::string& objectPath, const std::string& prefix,
                              const std::function<bool(const std::string&)>& exists);

// Writes the scheme through a temporary file; clears modified only when
// the file was written.
bool SaveSchemeFile(const std::string& path, const MaterialSet& scheme, const MaterialSet& own,
                    const std::string& programFolder, bool& modified);

// Lock: read-only attribute set; unlock: attributes cleared. The new lock
// state is whatever the writability test (without clearing) then gives.
bool SetSchemeLock(const std::string& path, bool lock);
// Renames the scheme file to the new name's path; the new path, or nothing
// when the target exists or the rename failed.
std::optional<std::string> RenameSchemeFile(const std::string& objectPath, const std::string& oldPath,
                                            const std::string& newName);

// The object's folder takes new files: a file named like the object with
// "$.$$$" for its extension can be created (read-only is not cleared).
bool ObjectFolderWritable(const std::string& objectPath);

// Menus that list files start a new column before every 15th item.
inline bool StartsMenuColumn(int itemsBefore) { return itemsBefore > 0 && itemsBefore % 15 == 0; }

}  // namespace stellwerk

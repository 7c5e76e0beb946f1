// Who calls the control and what it may do with files: the one decision whether the caller
// is untrusted (the host asked for safety against untrusted callers or data, or the page
// that holds the control lies in a zone other than the local machine or the trusted sites),
// the rules every file name a member takes must keep, and the names, extensions and zone
// marks of the files an untrusted caller has the user save.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace qivctl {

// Zones of the system's zone manager.
enum : uint32_t {
    kZoneLocalMachine = 0,
    kZoneIntranet = 1,
    kZoneTrusted = 2,
    kZoneInternet = 3,
    kZoneRestricted = 4,
};
// The options of IObjectSafety that make a caller untrusted.
enum : uint32_t { kSafetyUntrustedCaller = 1, kSafetyUntrustedData = 2 };

struct CallerTrust {
    bool untrusted = false;  // file names are suggestions, local reads and settings are guarded
    bool pageLocal = true;   // local and network files may be read (the page itself is local)
    uint32_t markZone = 0;   // zone written into the files saved for the caller (0: no mark)
};
// safetyOptions: what the host set through IObjectSafety; zoneKnown and zone: the zone of
// the container document's address. A page whose zone is unknown counts as remote once the
// host asked for safety.
CallerTrust decideCallerTrust(uint32_t safetyOptions, bool zoneKnown, uint32_t zone);

// What a name given for a file is.
enum class NameKind {
    Empty,
    Address,   // a URL of another scheme than "file" ("scheme://...")
    FileUrl,   // "file:..."
    Unc,       // "\\server\share\..." (also with '/')
    Absolute,  // "C:..." or rooted ("\dir\...")
    Relative,
};
NameKind nameKindOf(std::string_view name);
// The name reads or writes the file system or a network share by itself (file URL, UNC
// name, absolute or rooted path).
bool namesLocalFile(std::string_view name);

// The rules of every file name a member takes (file URLs are checked by their path): no
// "\\?\" or "\\.\" prefix, no device name (CON, NUL, COM1, ... with any extension) as any
// component, no ':' but right after a leading drive letter (no alternate streams), no
// control characters. Addresses of other schemes pass.
bool fileNameAllowed(std::string_view name);

// The file name a dialog is filled with for a name an untrusted caller gave: its last
// component only (after the last '\', '/' or ':'), without characters that no file name
// holds; empty for a device name.
std::string suggestedFileName(std::string_view name);

// A file name with the extension a member writes: unchanged when its extension (the file
// name's part from its last '.') is ext or one of the accepted ones (without case), else
// ext appended ("x.hta" becomes "x.hta.bmp").
std::string withForcedExtension(std::string_view fileName, std::string_view ext,
                                std::initializer_list<std::string_view> accepted = {});
// A texture file name an untrusted save keeps: BMP, JPEG and PNG names stay, others get ".bmp".
std::string withPictureExtension(std::string_view fileName);

// The mark of the web: the content of a file's "Zone.Identifier" stream.
std::string zoneIdentifierText(uint32_t zone);
constexpr const char* kZoneIdentifierStream = ":Zone.Identifier";

}  // namespace qivctl

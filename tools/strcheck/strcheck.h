// Consistency check of the control's string tables: every identifier in every
// resource language, each language in its code page, printf conversions,
// mnemonics and file-dialog filters as in the English table.
#pragma once

#include <string>
#include <vector>

namespace strcheck {

// Reads the resource script at `topScript` with the scripts and headers it
// includes and returns the problems found, one line each ("file:line: text").
// An empty result means the tables are sound.
std::vector<std::string> checkStringTables(const std::string& topScript);

// The printf conversions of a text, one entry per argument it takes (for
// example "s", "lu", "*d"); `error` receives a description of a malformed one.
std::vector<std::string> printfConversions(const std::string& text, int codePage, std::string& error);

}  // namespace strcheck

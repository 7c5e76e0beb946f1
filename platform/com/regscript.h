// Registration scripts: parser and the registry operations a script asks for.
// Portable: no Windows headers. The Windows layer (registrar.h) carries the
// operations out.
//
// Language:
//   script  := root*
//   root    := ROOT '{' entry* '}'          HKCR HKCU HKLM HKU HKCC or HKEY_... names
//   entry   := 'val' name '=' value
//            | [flag] name ['=' value] ['{' entry* '}']
//   flag    := ForceRemove | NoRemove | Remove | Delete
//   value   := type text                   type: s (string), e (expandable string),
//                                            d (32-bit number, decimal or 0x hex), b (hex bytes)
//   name, text := bare word or 'quoted' ('' inside quotes is one quote)
// Keywords are recognised in bare words only, without regard to case; a quoted
// name is always a name. A bare word starting with '{' and running to '}' without
// blanks (a GUID) is a name, not a block. "A\B" names nested keys.
// %NAME% in names and texts is replaced from the caller's table, %% gives %.
//
// Register: ForceRemove deletes the key's tree before creating it, Delete deletes
// the tree (and creates nothing), other keys are created or opened.
// Unregister: ForceRemove and Remove keys are deleted with their tree, NoRemove
// keys stay (their named values are removed), Delete keys are left alone, other
// keys are deleted after their contents when no subkey remains.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qcom {

enum class RegRoot { ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig };

enum class RegValueType { String, ExpandString, Dword, Binary };

enum class RegOpKind {
    CreateKey,    // create or open the key (and the keys above it)
    SetValue,     // set valueName (empty: the default value) of the key
    DeleteValue,  // delete valueName of the key, if present
    DeleteTree,   // delete the key with every subkey and value, if present
    DeleteIfNoSubkeys,  // delete the key, if present and without subkeys
};

struct RegOp {
    RegOpKind kind = RegOpKind::CreateKey;
    RegRoot root = RegRoot::ClassesRoot;
    std::string key;        // below the root, components separated by '\'
    std::string valueName;  // SetValue, DeleteValue
    RegValueType type = RegValueType::String;  // SetValue
    std::string text;               // String, ExpandString
    uint32_t number = 0;            // Dword
    std::vector<uint8_t> bytes;     // Binary
    bool operator==(const RegOp&) const = default;
};

enum class RegMode { Register, Unregister };

struct RegScriptError {
    size_t line = 0;    // 1-based; 0 when there is no error
    size_t column = 0;  // 1-based, in bytes
    std::string message;
    // "line L, column C: message"
    std::string text() const;
};

using RegReplacements = std::vector<std::pair<std::string, std::string>>;

// Limits of the language (deeper nesting or longer names are refused).
constexpr size_t REG_MAX_NESTING = 64;
constexpr size_t REG_MAX_KEY_COMPONENT = 255;
constexpr size_t REG_MAX_VALUE_NAME = 16383;

// Parses the script and gives the operations of the mode, in the order they are
// to be carried out. On a malformed script returns false, ops empty, err set.
// Replacement names are compared without regard to ASCII case.
bool regScriptOperations(std::string_view script, const RegReplacements& replacements, RegMode mode,
                         std::vector<RegOp>& ops, RegScriptError& err);

// Short readable form of one operation, for logs and tests:
//   create HKCR\A\B | set HKCR\A @ = s 'text' | set HKCR\A name = d 5 | set ... = b 0aff
//   delval HKCR\A name | deltree HKCR\A | delempty HKCR\A
std::string regOpText(const RegOp& op);
const char* regRootName(RegRoot root);  // "HKCR", ...

}  // namespace qcom

// The registrar's Windows side: carries out the operations of a registration
// script (regscript.h) in the registry, and finds scripts among the resources.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "com/regscript.h"

namespace qcom {

// Result of a script that does not parse: nothing is written.
constexpr HRESULT REG_E_BADSCRIPT = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);

// Writes or deletes, in order. Deleting what is not there succeeds. The first
// failing call stops it and gives its error (what was done before stays).
HRESULT regApply(const std::vector<RegOp>& ops);

// Parses a UTF-8 script and applies its operations. A malformed script gives
// REG_E_BADSCRIPT and writes nothing; *error gets "line L, column C: ...".
HRESULT regRunScript(std::string_view utf8Script, const RegReplacements& repl, RegMode mode,
                     std::string* error = nullptr);

// The language of a resource that a lookup without language takes: the user's
// interface language, then the same primary language, the system's interface
// language, neutral, English (1033), else the first one. False when there is none.
bool regPickLanguage(HMODULE module, const wchar_t* type, unsigned id, LANGID& lang);

// Text of a script resource ("REGISTRY", id) of the given language (0: as
// regPickLanguage), converted to UTF-8 from the ANSI code page of that language
// (a UTF-8 or UTF-16 byte-order mark is honoured; neutral: the process's code page).
HRESULT regLoadScript(HMODULE module, unsigned id, LANGID lang, std::string& utf8);

HRESULT regRunResource(HMODULE module, unsigned id, LANGID lang, const RegReplacements& repl, RegMode mode,
                       std::string* error = nullptr);

}  // namespace qcom

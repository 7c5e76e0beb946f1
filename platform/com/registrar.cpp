#include "com/registrar.h"

#include <cstring>

#include "com/object.h"

namespace qcom {

namespace {

HKEY rootKey(RegRoot r) {
    switch (r) {
        case RegRoot::ClassesRoot: return HKEY_CLASSES_ROOT;
        case RegRoot::CurrentUser: return HKEY_CURRENT_USER;
        case RegRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
        case RegRoot::Users: return HKEY_USERS;
        case RegRoot::CurrentConfig: return HKEY_CURRENT_CONFIG;
    }
    return nullptr;
}

bool missing(LONG rc) { return rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND; }

LONG applyOne(const RegOp& op) {
    HKEY root = rootKey(op.root);
    if (!root || op.key.empty()) return ERROR_INVALID_PARAMETER;  // never the root itself
    const std::wstring key = widen(op.key);
    const std::wstring name = widen(op.valueName);
    HKEY h = nullptr;
    LONG rc = ERROR_SUCCESS;
    switch (op.kind) {
        case RegOpKind::CreateKey:
        case RegOpKind::SetValue: {
            rc = RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE | KEY_CREATE_SUB_KEY, nullptr, &h,
                                 nullptr);
            if (rc != ERROR_SUCCESS || op.kind == RegOpKind::CreateKey) break;
            const wchar_t* vname = name.empty() ? nullptr : name.c_str();
            switch (op.type) {
                case RegValueType::String:
                case RegValueType::ExpandString: {
                    std::wstring text = widen(op.text);
                    rc = RegSetValueExW(h, vname, 0, op.type == RegValueType::String ? REG_SZ : REG_EXPAND_SZ,
                                        reinterpret_cast<const BYTE*>(text.c_str()),
                                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
                    break;
                }
                case RegValueType::Dword: {
                    DWORD v = op.number;
                    rc = RegSetValueExW(h, vname, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
                    break;
                }
                case RegValueType::Binary:
                    rc = RegSetValueExW(h, vname, 0, REG_BINARY, op.bytes.empty() ? nullptr : op.bytes.data(),
                                        static_cast<DWORD>(op.bytes.size()));
                    break;
            }
            break;
        }
        case RegOpKind::DeleteValue:
            rc = RegOpenKeyExW(root, key.c_str(), 0, KEY_SET_VALUE, &h);
            if (rc == ERROR_SUCCESS) rc = RegDeleteValueW(h, name.empty() ? nullptr : name.c_str());
            break;
        case RegOpKind::DeleteTree:
            rc = RegDeleteTreeW(root, key.c_str());
            if (rc == ERROR_SUCCESS || missing(rc)) rc = RegDeleteKeyW(root, key.c_str());
            break;
        case RegOpKind::DeleteIfNoSubkeys: {
            rc = RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &h);
            if (rc != ERROR_SUCCESS) break;
            DWORD subkeys = 0;
            rc = RegQueryInfoKeyW(h, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                                  nullptr, nullptr);
            RegCloseKey(h);
            h = nullptr;
            if (rc == ERROR_SUCCESS && subkeys == 0) rc = RegDeleteKeyW(root, key.c_str());
            break;
        }
    }
    if (h) RegCloseKey(h);
    if (op.kind != RegOpKind::CreateKey && op.kind != RegOpKind::SetValue && missing(rc)) rc = ERROR_SUCCESS;
    return rc;
}

struct LangList {
    std::vector<LANGID> langs;
};

BOOL CALLBACK collectLang(HMODULE, LPCWSTR, LPCWSTR, WORD lang, LONG_PTR param) {
    reinterpret_cast<LangList*>(param)->langs.push_back(lang);
    return TRUE;
}

UINT codePageOf(LANGID lang) {
    if (PRIMARYLANGID(lang) == LANG_NEUTRAL) return CP_ACP;
    wchar_t buf[16] = {};
    if (!GetLocaleInfoW(MAKELCID(lang, SORT_DEFAULT), LOCALE_IDEFAULTANSICODEPAGE, buf, 16)) return CP_ACP;
    UINT cp = 0;
    for (const wchar_t* p = buf; *p >= L'0' && *p <= L'9'; ++p) cp = cp * 10 + static_cast<UINT>(*p - L'0');
    return cp ? cp : CP_ACP;
}

}  // namespace

HRESULT regApply(const std::vector<RegOp>& ops) {
    for (const auto& op : ops) {
        LONG rc = applyOne(op);
        if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    }
    return S_OK;
}

HRESULT regRunScript(std::string_view script, const RegReplacements& repl, RegMode mode, std::string* error) {
    std::vector<RegOp> ops;
    RegScriptError err;
    bool ok;
    try {
        ok = regScriptOperations(script, repl, mode, ops, err);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    if (!ok) {
        if (error) *error = err.text();
        std::string msg = "registration script refused: " + err.text() + "\n";
        OutputDebugStringA(msg.c_str());
        return REG_E_BADSCRIPT;
    }
    if (error) error->clear();
    return regApply(ops);
}

bool regPickLanguage(HMODULE module, const wchar_t* type, unsigned id, LANGID& lang) {
    LangList list;
    EnumResourceLanguagesW(module, type, MAKEINTRESOURCEW(id), collectLang, reinterpret_cast<LONG_PTR>(&list));
    if (list.langs.empty()) return false;
    auto find = [&](auto pred) -> int {
        for (size_t i = 0; i < list.langs.size(); ++i)
            if (pred(list.langs[i])) return static_cast<int>(i);
        return -1;
    };
    const LANGID user = GetUserDefaultUILanguage();
    const LANGID system = GetSystemDefaultUILanguage();
    int i = find([&](LANGID l) { return l == user; });
    if (i < 0) i = find([&](LANGID l) { return PRIMARYLANGID(l) == PRIMARYLANGID(user); });
    if (i < 0) i = find([&](LANGID l) { return l == system; });
    if (i < 0) i = find([&](LANGID l) { return PRIMARYLANGID(l) == LANG_NEUTRAL; });
    if (i < 0) i = find([&](LANGID l) { return l == 1033; });
    if (i < 0) i = 0;
    lang = list.langs[static_cast<size_t>(i)];
    return true;
}

HRESULT regLoadScript(HMODULE module, unsigned id, LANGID lang, std::string& utf8) {
    utf8.clear();
    const wchar_t* type = L"REGISTRY";
    if (lang == 0 && !regPickLanguage(module, type, id, lang)) return HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND);
    HRSRC res = FindResourceExW(module, type, MAKEINTRESOURCEW(id), lang);
    if (!res) return HRESULT_FROM_WIN32(GetLastError() ? GetLastError() : ERROR_RESOURCE_LANG_NOT_FOUND);
    HGLOBAL g = LoadResource(module, res);
    const char* data = g ? static_cast<const char*>(LockResource(g)) : nullptr;
    DWORD size = SizeofResource(module, res);
    if (!data) return HRESULT_FROM_WIN32(GetLastError() ? GetLastError() : ERROR_RESOURCE_DATA_NOT_FOUND);
    std::string_view bytes(data, size);
    try {
        if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xff &&
            static_cast<unsigned char>(bytes[1]) == 0xfe) {
            std::wstring w((bytes.size() - 2) / 2, L'\0');
            std::memcpy(w.data(), bytes.data() + 2, w.size() * 2);
            while (!w.empty() && w.back() == L'\0') w.pop_back();
            utf8 = narrow(w);
            return S_OK;
        }
        while (!bytes.empty() && bytes.back() == '\0') bytes.remove_suffix(1);
        if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xef\xbb\xbf") {
            utf8.assign(bytes.substr(3));
            return S_OK;
        }
        if (bytes.empty()) return S_OK;
        UINT cp = codePageOf(lang);
        int n = MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
        if (n <= 0) return HRESULT_FROM_WIN32(GetLastError());
        std::wstring w(static_cast<size_t>(n), L'\0');
        MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), w.data(), n);
        utf8 = narrow(w);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT regRunResource(HMODULE module, unsigned id, LANGID lang, const RegReplacements& repl, RegMode mode,
                       std::string* error) {
    std::string text;
    HRESULT hr = regLoadScript(module, id, lang, text);
    if (FAILED(hr)) return hr;
    return regRunScript(text, repl, mode, error);
}

}  // namespace qcom

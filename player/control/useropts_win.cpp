#include "useropts_win.h"

#include <shlobj.h>

#include <cstring>

#include "ctlmodule_win.h"

const char kQivOptionsKey[] = "SOFTWARE\\Tarnwick\\Qiv Player";

namespace {

// Class of the maker's Pellow program and the strings of its table that name
// its settings file and the two folders.
const char kPellowClassKey[] = "CLSID\\{9CD91C94-9804-4F73-9AD6-4F975763584D}\\LocalServer32";
enum : UINT { kPellowIniName = 4100, kPellowTexSection = 16424, kPellowTexKey = 16426,
              kPellowObjSection = 16432, kPellowObjKey = 16433 };

class Key {
public:
    ~Key() {
        if (h_) RegCloseKey(h_);
    }
    LONG openRead() { return RegOpenKeyExA(HKEY_CURRENT_USER, kQivOptionsKey, 0, KEY_READ, &h_); }
    LONG openWrite() {
        return RegCreateKeyExA(HKEY_CURRENT_USER, kQivOptionsKey, 0, const_cast<char*>(""), REG_OPTION_NON_VOLATILE,
                               KEY_READ | KEY_WRITE, nullptr, &h_, nullptr);
    }
    HKEY get() const { return h_; }

private:
    HKEY h_ = nullptr;
};

std::string loadString(HMODULE module, UINT id) {
    char buf[260] = {};
    int n = LoadStringA(module, id, buf, sizeof buf);
    return n > 0 ? std::string(buf, n) : std::string();
}

}  // namespace

bool QivRegistryOptionStore::canRead() {
    Key k;
    return k.openRead() == ERROR_SUCCESS;
}

bool QivRegistryOptionStore::readDword(const char* name, uint32_t& value) {
    Key k;
    if (k.openRead() != ERROR_SUCCESS) return false;
    DWORD v = 0, size = sizeof v, type = 0;
    if (RegQueryValueExA(k.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&v), &size) != ERROR_SUCCESS ||
        size != sizeof v)
        return false;
    value = v;
    return true;
}

bool QivRegistryOptionStore::readString(const char* name, char* buf, size_t cap, size_t& got) {
    Key k;
    if (k.openRead() != ERROR_SUCCESS) return false;
    DWORD size = static_cast<DWORD>(cap), type = 0;
    if (RegQueryValueExA(k.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size) != ERROR_SUCCESS)
        return false;
    got = size;
    return true;
}

long QivRegistryOptionStore::writeDword(const char* name, uint32_t value) {
    Key k;
    LONG r = k.openWrite();
    if (r != ERROR_SUCCESS) return r;
    DWORD v = value;
    return RegSetValueExA(k.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
}

long QivRegistryOptionStore::writeString(const char* name, const char* text, size_t bytesWithZero) {
    Key k;
    LONG r = k.openWrite();
    if (r != ERROR_SUCCESS) return r;
    return RegSetValueExA(k.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                          static_cast<DWORD>(bytesWithZero));
}

bool QivRegistryOptionStore::defaultPaths(std::string& texturePath, std::string& objectPath) {
    return LoadPellowPaths(false, &texturePath, &objectPath);
}

QivUserOptions& qivUserOptions() {
    static QivRegistryOptionStore store;
    static QivUserOptions options(&store);
    return options;
}

DWORD GetAutoSave() { return qivUserOptions().get(QivDwordOption::AutoSave); }
LONG SetAutoSave(DWORD v) { return qivUserOptions().set(QivDwordOption::AutoSave, v); }
DWORD GetSaveFilesWithDocument() { return qivUserOptions().get(QivDwordOption::SaveFilesWithDocument); }
LONG SetSaveFilesWithDocument(DWORD v) { return qivUserOptions().set(QivDwordOption::SaveFilesWithDocument, v); }
DWORD GetUse4DVision() { return qivUserOptions().get(QivDwordOption::Use4DVision); }
LONG SetUse4DVision(DWORD v) { return qivUserOptions().set(QivDwordOption::Use4DVision, v); }
DWORD GetUse3DHardware() { return qivUserOptions().get(QivDwordOption::Use3DHardware); }
LONG SetUse3DHardware(DWORD v) { return qivUserOptions().set(QivDwordOption::Use3DHardware, v); }
const char* GetObjectPath() { return qivUserOptions().get(QivPathOption::ObjectPath); }
LONG SetObjectPath(const char* p) { return qivUserOptions().set(QivPathOption::ObjectPath, p); }
const char* GetTexturePath() { return qivUserOptions().get(QivPathOption::TexturePath); }
LONG SetTexturePath(const char* p) { return qivUserOptions().set(QivPathOption::TexturePath, p); }

bool LoadPellowPaths(bool lookOnly, std::string* texturePath, std::string* objectPath) {
    char program[MAX_PATH] = {};
    LONG size = sizeof program - 1;
    if (RegQueryValueA(HKEY_CLASSES_ROOT, kPellowClassKey, program, &size) != ERROR_SUCCESS || !program[0])
        return false;
    program[sizeof program - 1] = 0;
    HMODULE pellow = LoadLibraryExA(program, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!pellow) return false;
    std::string iniName = loadString(pellow, kPellowIniName);
    std::string texSection = loadString(pellow, kPellowTexSection), texKey = loadString(pellow, kPellowTexKey);
    std::string objSection = loadString(pellow, kPellowObjSection), objKey = loadString(pellow, kPellowObjKey);
    FreeLibrary(pellow);
    if (lookOnly) return true;
    // Only a program path with a folder names the folder of its INI file; else nothing changes.
    std::string ini = std::strchr(program, '\\') ? qivSiblingFile(program, iniName) : std::string();
    if (ini.empty()) return false;
    char value[MAX_PATH] = {};
    GetPrivateProfileStringA(texSection.c_str(), texKey.c_str(), "", value, MAX_PATH - 1, ini.c_str());
    std::string texture = value;
    GetPrivateProfileStringA(objSection.c_str(), objKey.c_str(), "", value, MAX_PATH - 1, ini.c_str());
    std::string sub = qivLoadString(IDS_OBJECT_FOLDER);
    std::string object = std::string(value) + (sub.empty() ? "\\Qiv" : sub);
    CreateDirectoryA(object.c_str(), nullptr);
    if (texturePath) *texturePath = texture;
    if (objectPath) *objectPath = object;
    return true;
}

namespace {

int CALLBACK browseCallback(HWND hwnd, UINT msg, LPARAM, LPARAM data) {
    if (msg == BFFM_INITIALIZED) SendMessageA(hwnd, BFFM_SETSELECTIONA, TRUE, data);
    return 0;
}

}  // namespace

int BrowseForFolder(HWND owner, const char* title, char* path, size_t size) {
    if (!path || !size) return 1;
    BROWSEINFOA bi = {};
    bi.hwndOwner = owner;
    bi.lpszTitle = title;
    bi.ulFlags = BIF_RETURNONLYFSDIRS;
    bi.lpfn = browseCallback;
    bi.lParam = reinterpret_cast<LPARAM>(path);
    LPITEMIDLIST list = SHBrowseForFolderA(&bi);
    char chosen[MAX_PATH] = {};
    if (list && SHGetPathFromIDListA(list, chosen)) {
        size_t n = strnlen(chosen, MAX_PATH - 1);
        if (n >= size) n = size - 1;
        std::memcpy(path, chosen, n);
        path[n] = 0;
    } else {
        path[0] = 0;
    }
    if (list) CoTaskMemFree(list);
    return 1;
}

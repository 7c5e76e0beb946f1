// The user options of the control in the registry (HKEY_CURRENT_USER,
// "SOFTWARE\Tarnwick\Qiv Player"), with the process-wide copies.
#pragma once
#include <windows.h>

#include "useropts.h"

extern const char kQivOptionsKey[];

// QivOptionStore over the registry key.
class QivRegistryOptionStore : public QivOptionStore {
public:
    bool canRead() override;
    bool readDword(const char* name, uint32_t& value) override;
    bool readString(const char* name, char* buf, size_t cap, size_t& got) override;
    long writeDword(const char* name, uint32_t value) override;
    long writeString(const char* name, const char* text, size_t bytesWithZero) override;
    bool defaultPaths(std::string& texturePath, std::string& objectPath) override;
};

// The process-wide options.
QivUserOptions& qivUserOptions();

DWORD GetAutoSave();
LONG SetAutoSave(DWORD value);
DWORD GetSaveFilesWithDocument();
LONG SetSaveFilesWithDocument(DWORD value);
DWORD GetUse4DVision();
LONG SetUse4DVision(DWORD value);
DWORD GetUse3DHardware();
LONG SetUse3DHardware(DWORD value);
const char* GetObjectPath();
LONG SetObjectPath(const char* path);
const char* GetTexturePath();
LONG SetTexturePath(const char* path);

// The texture and object folders of the maker's Pellow program, when it is
// installed. Without lookOnly they become the two path options (the object
// folder is created). Answers whether the program was found.
bool LoadPellowPaths(bool lookOnly, std::string* texturePath = nullptr, std::string* objectPath = nullptr);

// Folder chooser over a path buffer: the chosen folder, or an empty string when
// the user cancels. Returns 1.
int BrowseForFolder(HWND owner, const char* title, char* path, size_t size);

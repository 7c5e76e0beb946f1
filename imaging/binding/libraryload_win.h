// Finding an imaging library: the program's folder, the system's default search, a
// search through the current folder and then the program, system and Windows folders,
// and that path without its extension.
#pragma once
#include <windows.h>

#include <map>
#include <string>

namespace imaging {

HMODULE LoadImagingLibrary(const char* name);
std::string ProgramFolder();  // with its trailing backslash

// One library's process-wide state: its module and the procedures bound so far.
struct LibrarySlot {
    HMODULE module = nullptr;
    std::map<std::string, FARPROC> procedures;
    bool loaded() const { return reinterpret_cast<UINT_PTR>(module) >= 32; }
    void free();
};

}  // namespace imaging

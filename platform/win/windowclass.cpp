#include "win/windowclass.h"

#include <map>
#include <mutex>
#include <string>

namespace win {

ATOM RegisterWindowClass(const WindowClassSpec& spec) {
    static std::mutex lock;
    static std::map<std::wstring, ATOM> done;
    std::lock_guard<std::mutex> guard(lock);
    auto it = done.find(spec.name);
    if (it != done.end()) return it->second;
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.style = spec.style;
    wc.lpfnWndProc = spec.proc;
    wc.cbWndExtra = spec.extraBytes;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = spec.cursor ? spec.cursor : LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    wc.hbrBackground = spec.background;
    wc.hIcon = spec.icon;
    wc.lpszClassName = spec.name;
    ATOM atom = RegisterClassExW(&wc);
    if (!atom && GetLastError() == ERROR_CLASS_ALREADY_EXISTS) {
        WNDCLASSEXW have = {};
        have.cbSize = sizeof have;
        atom = ATOM(GetClassInfoExW(wc.hInstance, spec.name, &have));
    }
    if (atom) done.emplace(spec.name, atom);
    return atom;
}

}  // namespace win

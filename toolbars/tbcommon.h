#pragma once
// Shared routines of the toolbar framework that compute rather than call
// the system: accelerator characters, prefix stripping, rounding, list
// helpers, the registry form of the menu show delay, and the one interface
// through which menus and views read the system's menu settings.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "forms/layout.h"

namespace toolbars {

using forms::Rect;

struct TBPoint {
    int x = 0, y = 0;
    bool operator==(const TBPoint&) const = default;
};

// The character after the last "&" that is not doubled; 0 when none.
char AccelCharOf(std::string_view text);
// The text without its single "&" marks ("&&" stays one "&"). isLead tells
// double-byte lead bytes, which are kept together with their trail byte.
std::string StripAccelChars(std::string_view text, const std::function<bool(char)>& isLead = nullptr);
// Integer quotient rounded away from zero when there is a remainder.
int DivAwayFromZero(int a, int b);
// a * b / c in 64 bits, rounded to nearest; -1 when c is 0.
int MulDiv(int a, int b, int c);

// Adds the item once, making the list on demand; true when it was added.
template <class T>
bool ListAddOnce(std::unique_ptr<std::vector<T*>>& list, T* item) {
    if (!list) list = std::make_unique<std::vector<T*>>();
    for (T* p : *list)
        if (p == item) return false;
    list->push_back(item);
    return true;
}
// Removes the item and frees the list when it becomes empty.
template <class T>
void ListRemoveAndFree(std::unique_ptr<std::vector<T*>>& list, T* item) {
    if (!list) return;
    for (size_t i = 0; i < list->size(); ++i)
        if ((*list)[i] == item) {
            list->erase(list->begin() + std::ptrdiff_t(i));
            break;
        }
    if (list->empty()) list.reset();
}
// Quicksort with the middle element as pivot; compare answers < 0, 0, > 0.
void SortList(std::vector<void*>& list, int (*compare)(void* a, void* b, void* data), void* data);

// The menu show delay from the registry value "MenuShowDelay".
enum class TBRegValue { Ok, KeyMissing, ValueMissing, WrongType, OtherError };
// Missing key or value: 400; another error or a value that is not text: 0;
// the text as a decimal integer (0 when it is not one); negative values give
// 0 and values above kMaxMenuShowDelay are capped.
constexpr int kMaxMenuShowDelay = 5000;
int MenuShowDelayFromRegistry(TBRegValue status, std::string_view text);
// A delay from the system call, bounded the same way.
int ClampMenuShowDelay(long long ms);

// The system's menu settings. Tests fix them with TBFixedSettings.
class TBSystemSettings {
public:
    virtual ~TBSystemSettings() = default;
    virtual int MenuShowDelay() = 0;  // ms before a hovered submenu opens or closes
    virtual bool FlatMenus() = 0;
    // Accelerators always underlined (false: hidden until the keyboard is used).
    virtual bool KeyboardCues() = 0;
    virtual bool MenuAnimation() = 0;
    virtual bool MenuFade() = 0;
    // Menus drop to the left of their item.
    virtual bool MenuDropAlignment() = 0;
    // A sound of the scheme ("MenuCommand", "MenuPopup") has a file set.
    virtual bool SoundConfigured(const std::string& name) = 0;
};

struct TBFixedSettings : TBSystemSettings {
    int menuShowDelay = 400;
    bool flatMenus = false, keyboardCues = true, menuAnimation = false, menuFade = false, dropLeft = false;
    bool sounds = false;
    int MenuShowDelay() override { return menuShowDelay; }
    bool FlatMenus() override { return flatMenus; }
    bool KeyboardCues() override { return keyboardCues; }
    bool MenuAnimation() override { return menuAnimation; }
    bool MenuFade() override { return menuFade; }
    bool MenuDropAlignment() override { return dropLeft; }
    bool SoundConfigured(const std::string&) override { return sounds; }
};

// The settings in force: the system's, or those set for tests.
TBSystemSettings& TBSettings();
// Null puts the system's back.
void SetTBSettings(TBSystemSettings* settings);
// The system's own (defined by the platform layer; fixed defaults natively).
TBSystemSettings& TBSystemDefaultSettings();

inline int MenuDelay() { return TBSettings().MenuShowDelay(); }
inline bool FlatMenusOn() { return TBSettings().FlatMenus(); }
inline bool KeyboardCuesOn() { return TBSettings().KeyboardCues(); }
inline bool SoundConfigured(const std::string& name) { return TBSettings().SoundConfigured(name); }

}  // namespace toolbars

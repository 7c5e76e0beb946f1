// Library entry and the check-box list exports.
#include "tolvane.h"
#include "zell_checklist_win.h"

extern "C" HWND WINAPI CheckListBox_Subclass(HWND listBox) { return Zell::subclassCheckList(listBox); }

extern "C" int WINAPI CheckListBox_Unsubclass(HWND listBox) { return Zell::unsubclassCheckList(listBox); }

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  switch (reason) {
  case DLL_PROCESS_ATTACH:
    DisableThreadLibraryCalls(instance);
    return Zell::createGlyphs(instance) ? TRUE : FALSE;
  case DLL_PROCESS_DETACH: Zell::destroyGlyphs(); return TRUE;
  default: return TRUE;
  }
}

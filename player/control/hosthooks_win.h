// The control's host-hooks interface: a program that embeds the control in a window of its
// own (the stand-alone viewer) registers its callbacks through it.
#pragma once
#include <windows.h>
#include <unknwn.h>

// addItems gets the popup menu before it shows; command gets the id of an item so added.
using QivMenuAddItems = void(CALLBACK*)(void* context, HMENU menu);
using QivMenuCommand = void(CALLBACK*)(void* context, WPARAM second, UINT id, WPARAM third, LPARAM fourth);
// The control's status line (extraText) and, after an object has loaded, its file (filePath).
using QivTitleCallback = void(CALLBACK*)(HWND window, const char* extraText, const char* filePath);

extern const IID IID_IQivHostHooks;

struct IQivHostHooks : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetMenuCallbacks(void* context, QivMenuAddItems addItems,
                                                       QivMenuCommand command) = 0;
    // A copy of the control's inline data in a C-heap block (the caller frees it).
    virtual HRESULT STDMETHODCALLTYPE GetInlineData(void** data, ULONG* length) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetExportAllowed(BOOL* flag) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetTitleCallback(HWND window, QivTitleCallback callback) = 0;
};

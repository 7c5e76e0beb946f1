#include "hosthooks_win.h"

#include "qivctl_win.h"

// {54F1A8C7-98CC-491F-A167-4228622BBDC8}
const IID IID_IQivHostHooks = {0x54f1a8c7, 0x98cc, 0x491f, {0xa1, 0x67, 0x42, 0x28, 0x62, 0x2b, 0xbd, 0xc8}};

STDMETHODIMP QivHostHooksPart::QueryInterface(REFIID iid, void** out) {
    return owner_.controlUnknown()->QueryInterface(iid, out);
}

STDMETHODIMP_(ULONG) QivHostHooksPart::AddRef() { return owner_.controlUnknown()->AddRef(); }

STDMETHODIMP_(ULONG) QivHostHooksPart::Release() { return owner_.controlUnknown()->Release(); }

STDMETHODIMP QivHostHooksPart::SetMenuCallbacks(void* context, QivMenuAddItemsFn addItems, QivMenuCommandFn command) {
    callbacks_.menuContext = context;
    callbacks_.addItems = addItems;
    callbacks_.command = command;
    return S_OK;
}

// The inline data block is the persisted stream of the control.
STDMETHODIMP QivHostHooksPart::GetInlineData(void** data, LONG* length) {
    if (!data || !length) return E_POINTER;
    *data = nullptr;
    *length = 0;
    return E_NOTIMPL;
}

STDMETHODIMP QivHostHooksPart::GetExportAllowed(BOOL* allowed) {
    if (!allowed) return E_POINTER;
    *allowed = FALSE;
    return E_NOTIMPL;
}

// The title callback receives the control's status lines (the frame statistics while F9 has
// them on) and, after a load, the object's file.
STDMETHODIMP QivHostHooksPart::SetTitleCallback(HWND window, QivTitleFn callback) {
    callbacks_.titleWindow = window;
    callbacks_.title = callback;
    owner_.SetStatusCallback(callback ? &QivHostHooksPart::toTitle : nullptr, this);
    return S_OK;
}

void QivHostHooksPart::toTitle(void* self, const char* text, const char* path) {
    const QivHostCallbacks& c = static_cast<QivHostHooksPart*>(self)->callbacks_;
    if (c.title) c.title(c.titleWindow, text, path);
}

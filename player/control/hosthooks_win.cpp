#include "hosthooks_win.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "com/guard.h"
#include "qivctl_win.h"

// {54F1A8C7-98CC-491F-A167-4228622BBDC8}
const IID IID_IQivHostHooks = {0x54f1a8c7, 0x98cc, 0x491f, {0xa1, 0x67, 0x42, 0x28, 0x62, 0x2b, 0xbd, 0xc8}};

STDMETHODIMP QivHostHooksPart::QueryInterface(REFIID iid, void** out) try {
    return owner_.controlUnknown()->QueryInterface(iid, out);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP_(ULONG) QivHostHooksPart::AddRef() { return owner_.controlUnknown()->AddRef(); }

STDMETHODIMP_(ULONG) QivHostHooksPart::Release() { return owner_.controlUnknown()->Release(); }

STDMETHODIMP QivHostHooksPart::SetMenuCallbacks(void* context, QivMenuAddItemsFn addItems, QivMenuCommandFn command) try {
    callbacks_.menuContext = context;
    callbacks_.addItems = addItems;
    callbacks_.command = command;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

// The inline data block (class identifier and persisted stream with the container inline), as
// a copy on the C heap that the caller frees; none without a container.
STDMETHODIMP QivHostHooksPart::GetInlineData(void** data, LONG* length) try {
    if (!data || !length) return E_POINTER;
    *data = nullptr;
    *length = 0;
    std::vector<uint8_t> block;
    if (!owner_.BuildInlineData(&block) || block.empty()) return S_OK;
    if (block.size() > size_t(LONG_MAX)) return E_OUTOFMEMORY;
    void* copy = std::malloc(block.size());
    if (!copy) return E_OUTOFMEMORY;
    std::memcpy(copy, block.data(), block.size());
    *data = copy;
    *length = LONG(block.size());
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

// The export entries are offered while the control is ready: an object is shown and no
// bitmap is being saved.
STDMETHODIMP QivHostHooksPart::RunExportCommand(UINT id) try {
    owner_.OnHtmlMenuCommand(id);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP QivHostHooksPart::GetExportAllowed(BOOL* allowed) try {
    if (!allowed) return E_POINTER;
    *allowed = owner_.Ready() ? TRUE : FALSE;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

// The title callback receives the control's status lines (the frame statistics while F9 has
// them on) and, after a load, the object's file.
STDMETHODIMP QivHostHooksPart::SetTitleCallback(HWND window, QivTitleFn callback) try {
    callbacks_.titleWindow = window;
    callbacks_.title = callback;
    owner_.SetStatusCallback(callback ? &QivHostHooksPart::toTitle : nullptr, this);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

void QivHostHooksPart::toTitle(void* self, const char* text, const char* path) {
    const QivHostCallbacks& c = static_cast<QivHostHooksPart*>(self)->callbacks_;
    if (c.title) c.title(c.titleWindow, text, path);
}

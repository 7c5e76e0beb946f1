// IQivHostHooks: the interface through which a program that embeds the control
// in a window of its own (the stand-alone viewer) adds entries to the control's
// popup menu, carries them out and follows the control's title texts.
#pragma once
#include <windows.h>
#include <unknwn.h>

class CQivPlayerCtl;

// addItems receives the popup menu before it is shown; command the id of an
// item it added (40000-40256) when the user picks it.
using QivMenuAddItemsFn = void(CALLBACK*)(void* context, HMENU menu);
using QivMenuCommandFn = void(CALLBACK*)(void* context, void* reserved, UINT id, WPARAM a, LPARAM b);
// Title of the hosting window: extra text after it (or none), and the file shown.
using QivTitleFn = void(CALLBACK*)(HWND window, const char* extra, const char* filePath);

extern const IID IID_IQivHostHooks;

struct IQivHostHooks : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetMenuCallbacks(void* context, QivMenuAddItemsFn addItems,
                                                       QivMenuCommandFn command) = 0;
    // A block of the C heap (the caller frees it) and its length.
    virtual HRESULT STDMETHODCALLTYPE GetInlineData(void** data, LONG* length) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetExportAllowed(BOOL* allowed) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetTitleCallback(HWND window, QivTitleFn callback) = 0;
    // Carries out an item of the HTML export that the frame added to the popup menu.
    virtual HRESULT STDMETHODCALLTYPE RunExportCommand(UINT id) = 0;
};

// The callbacks a host registered.
struct QivHostCallbacks {
    void* menuContext = nullptr;
    QivMenuAddItemsFn addItems = nullptr;
    QivMenuCommandFn command = nullptr;
    HWND titleWindow = nullptr;
    QivTitleFn title = nullptr;
};

// The control's IQivHostHooks, served by the control object (its references
// are the control's).
class QivHostHooksPart final : public IQivHostHooks {
public:
    explicit QivHostHooksPart(CQivPlayerCtl& owner) : owner_(owner) {}
    const QivHostCallbacks& callbacks() const { return callbacks_; }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP SetMenuCallbacks(void* context, QivMenuAddItemsFn addItems, QivMenuCommandFn command) override;
    STDMETHODIMP GetInlineData(void** data, LONG* length) override;
    STDMETHODIMP GetExportAllowed(BOOL* allowed) override;
    STDMETHODIMP SetTitleCallback(HWND window, QivTitleFn callback) override;
    STDMETHODIMP RunExportCommand(UINT id) override;

private:
    static void toTitle(void* self, const char* text, const char* path);
    CQivPlayerCtl& owner_;
    QivHostCallbacks callbacks_;
};

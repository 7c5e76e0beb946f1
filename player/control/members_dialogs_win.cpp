// The control's members of its dialogs and small windows: the texture-path
// chooser, the control bar's repeat buttons and link, the host hooks and the
// property pages the control names.
#include <olectl.h>
#include <initguid.h>
#include <msstkppg.h>

#include <string>

#include "com/guard.h"
#include "com/object.h"
#include "ctlmodule_win.h"
#include "dialogparts_win.h"
#include "dialogs_win.h"
#include "useropts_win.h"

CQivPlayerCtl::DialogParts* CQivPlayerCtl::newDialogParts(CQivPlayerCtl& owner) { return new DialogParts(owner); }

void CQivPlayerCtl::freeDialogParts(DialogParts* parts) { delete parts; }

STDMETHODIMP CQivPlayerCtl::BrowseForTexturePath() try {
    // The user's folder: shown to the user and taken, but not told to a caller that did
    // not set one.
    UserChoice choice(*this);
    qcom::Bstr current;
    get_TexturePath(current.put());
    char path[1024] = {};
    lstrcpynA(path, BstrToAnsi(current.get()).c_str(), sizeof path);
    BrowseForFolder(hwnd(), qivLoadString(IDS_SELECT_TEXTURE_PATH).c_str(), path, sizeof path);
    // An empty answer is a cancelled chooser.
    if (!path[0]) return S_OK;
    qcom::Bstr chosen = qcom::Bstr::attach(AnsiToBstr(path, -1));
    if (!chosen.get()) return E_OUTOFMEMORY;
    const bool put = texturePathPut_;
    const HRESULT hr = put_TexturePath(chosen.get());
    texturePathPut_ = put;
    return hr;
} catch (...) { return qcom::exceptionResult(); }

void CQivPlayerCtl::BarCommand(int command) {
    // One zoom step: the view shrinks (zoom in) or grows by these factors.
    constexpr float kInFactor = 0.93f, kOutFactor = 1.07f;
    float zoom = 1.0f;
    if (FAILED(get_Zoom(&zoom))) return;
    switch (command) {
        case 1:
            if (zoom <= 200.0f) put_Zoom(zoom / kInFactor);
            break;
        case 2:
            if (zoom >= 0.01f) put_Zoom(zoom / kOutFactor);
            break;
        case 3:
            put_Zoom(1.0f);
            break;
        default:
            break;
    }
}

HWND CQivPlayerCtl::CreateRepeatButton(int index, const char* caption, int id, int command) {
    if (index < 0 || index >= 3 || !hwnd()) return nullptr;
    CRepeatButton& b = dialogParts_->repeat[index];
    HWND w = b.hwnd() ? b.hwnd() : b.Create(hwnd(), caption, id);
    b.Bind(this, command);
    return w;
}

HWND CQivPlayerCtl::CreateBarLink(const std::string& text) {
    CHyperLink& link = dialogParts_->barLink;
    if (!hwnd()) return nullptr;
    if (!link.hwnd()) {
        RECT r{0, 0, 0, 0};
        if (!link.Create(hwnd(), r)) return nullptr;
        ShowWindow(link.hwnd(), SW_HIDE);
    }
    link.SetLink(text.c_str(), text.c_str(), this);
    link.SetNormalColor(qivctl::kLinkDialogColor);
    link.SetHoverColor(qivctl::kLinkDialogHoverColor);
    return link.hwnd();
}

void* CQivPlayerCtl::hostHooksInterface(REFIID iid) {
    return IsEqualIID(iid, IID_IQivHostHooks) ? static_cast<IQivHostHooks*>(&dialogParts_->hooks) : nullptr;
}

void CQivPlayerCtl::AddHostMenuItems(HMENU menu) {
    const QivHostCallbacks& c = dialogParts_->hooks.callbacks();
    if (c.addItems && menu) c.addItems(c.menuContext, menu);
}

bool CQivPlayerCtl::RunHostMenuCommand(UINT id) {
    const QivHostCallbacks& c = dialogParts_->hooks.callbacks();
    if (!c.command) return false;
    c.command(c.menuContext, nullptr, id, 0, 0);
    return true;
}

// Pages of the persisted properties, in the order the properties name them.
std::vector<CLSID> CQivPlayerCtl::propertyPages() const {
    return {CLSID_QivPlayerOptions, CLSID_StockColorPage, CLSID_QivPlayerPaths};
}

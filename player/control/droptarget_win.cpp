// The control's drop target: one object file, texture or material file dropped from the
// shell, taken as DragDropEnabled allows; textures and materials land on the part under the
// mouse.
#include <windows.h>
#include <shellapi.h>

#include "caches.h"
#include "com/guard.h"
#include "exchange_win.h"
#include "localfile.h"
#include "texpaths.h"
#include "win/wintext.h"
#include "window_win.h"

STDMETHODIMP QivDropTarget::QueryInterface(REFIID iid, void** out) try {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IDropTarget)) {
        *out = static_cast<IDropTarget*>(this);
        AddRef();
        return S_OK;
    }
    return static_cast<IQivPlayer2*>(control_)->QueryInterface(iid, out);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP_(ULONG) QivDropTarget::AddRef() { return static_cast<IQivPlayer2*>(control_)->AddRef(); }
STDMETHODIMP_(ULONG) QivDropTarget::Release() { return static_cast<IQivPlayer2*>(control_)->Release(); }

namespace {

// The one file of a CF_HDROP data object; count 0 when the object has none.
UINT droppedFile(IDataObject* data, std::string* name) {
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (!data || FAILED(data->GetData(&format, &medium))) return 0;
    UINT count = 0;
    if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal) {
        HDROP drop = static_cast<HDROP>(medium.hGlobal);
        count = DragQueryFileA(drop, 0xFFFFFFFFu, nullptr, 0);
        if (count == 1) {
            char file[MAX_PATH] = {};
            const UINT n = DragQueryFileA(drop, 0, file, sizeof file);
            if (n == 0 || n >= sizeof file) count = 0;
            *name = file;
        }
    }
    ReleaseStgMedium(&medium);
    return count;
}

}  // namespace

HRESULT CQivPlayerCtl::DropEvent(int step, IDataObject* data, DWORD keys, POINTL pt, DWORD* effect) {
    try {
        QivDropRecord& record = exchange().drop;
        if (step == 2) {
            record = QivDropRecord{};
            return S_OK;
        }
        if (!effect) return E_INVALIDARG;
        *effect = DROPEFFECT_NONE;
        if (step == 0) {
            record = QivDropRecord{};
            qivctl::DropOffer offer;
            std::string file;
            offer.fileCount = droppedFile(data, &file);
            offer.kind = qivctl::dropKindOfFile(file);
            offer.enabledMask = dragDropEnabled_;
            offer.loadMenu = props_.loadObjectMenu;
            offer.loadBlocked = win_->suppressInit;
            if (offer.fileCount == 1 && offer.kind == 3) offer.materialReadable = qivReadMaterialFile(file, &record.material);
            if (!qivctl::dropAccepted(offer)) return S_OK;
            record.file = file;
            record.kind = offer.kind;
        }
        if (record.kind == 0) return S_OK;
        POINT p{pt.x, pt.y};
        if (hwnd()) ScreenToClient(hwnd(), &p);
        const PartUnder under = record.kind == 1 ? PartUnder{} : PartAt(p.x, p.y, (keys & MK_CONTROL) != 0);
        const bool valid = qivctl::dropTargetValid(record.kind, under.slot >= 0, under.materialFlags);
        if (step != 3) {
            *effect = valid ? DROPEFFECT_COPY : DROPEFFECT_NONE;
            return S_OK;
        }
        const QivDropRecord dropped = record;
        record = QivDropRecord{};
        if (!valid) return S_OK;
        const std::wstring name = win::Wide(dropped.file);
        if (dropped.kind == 1) {
            BSTR b = win::AllocBstr(dropped.file);
            VARIANT_BOOL ok = VARIANT_FALSE;
            UserChoice choice(*this);  // the user's own file
            LoadObject(b, &ok);
            SysFreeString(b);
        } else if (dropped.kind == 2) {
            const QivObjectSlot& s = state_.slots[size_t(under.slot)];
            TexRecord* t = qivHostTexture(dropped.file, qivctl::objectBaseDirectory(dropped.file, s.sourceName), *win_,
                                          qivctl::textureScopeOf(s.sourceName));
            if (!t) return S_OK;
            if (!SetObjectTexture(under.slot, under.area, t)) {
                qivctl::TextureCacheRelease(t);
                return S_OK;
            }
            if (!eventsFrozen()) FireTextureChanged(under.slot, LONG(under.part), LONG(under.area), name);
        } else {
            if (!ApplyMaterial(under.slot, under.material, dropped.material)) return S_OK;
            if (!eventsFrozen()) FireMaterialChanged(under.slot, LONG(under.part), LONG(under.material), name);
        }
        *effect = DROPEFFECT_COPY;
        Redraw(true);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

#include "backend_win.h"
#include "com/guard.h"
#include "qivctl_win.h"

#include <cmath>
#include <cstring>

#include "caches.h"
#include "sharedlights.h"
#include "com/errorinfo.h"
#include "ctlmodule_win.h"
#include "displayprops.h"
#include "frameticks.h"
#include "navigation.h"
#include "saveobj.h"
#include "render/fzbuffer.h"
#include "render/updregion.h"
#include "scene/pelchunk.h"
#include "scene/scene.h"
#include "scene/sceneops.h"
#include "useropts_win.h"
#include "window_win.h"

void qivInstallCacheHooks();
void qivDeleteTempCopy(QivWindowParts& w);

// {6EF2E0AD-9DE6-4706-AA71-0CE237D3E64E}
const CLSID CLSID_QivPlayerLegacy = {0x6ef2e0ad, 0x9de6, 0x4706, {0xaa, 0x71, 0x0c, 0xe2, 0x37, 0xd3, 0xe6, 0x4e}};

const WORD kQivCursorIds[kQivCursorCount] = {204, 219, 218, 226, 234, 240, 237, 238, 235, 239,
                                              233, 232, 236, 241, 242, 251, 252, 253, 255, 254};

namespace {

const wchar_t kHelpFile[] = L"Preview.hlp";
const DWORD kLanguageHelpContext = 0x2500;

VARIANT_BOOL vb(bool b) { return b ? VARIANT_TRUE : VARIANT_FALSE; }

}  // namespace

// Sets the event slot for the duration of one firing and restores it after.
class CQivPlayerCtl::EventSlotScope {
public:
    EventSlotScope(CQivPlayerCtl& c, int32_t slot) : c_(c), saved_(c.state_.eventSlot) { c.state_.eventSlot = slot; }
    ~EventSlotScope() { c_.state_.eventSlot = saved_; }

private:
    CQivPlayerCtl& c_;
    int32_t saved_;
};

qcom::ControlConfig CQivPlayerCtl::config() {
    qcom::ControlConfig c;
    c.clsid = &CLSID_QivPlayer;
    c.events = &DIID__QivPlayerEvents;
    c.windowClass = L"QivPlayerControl";
    c.commandTarget = true;
    return c;
}

CQivPlayerCtl::CQivPlayerCtl() : ControlBase(config()), win_(std::make_unique<QivWindowParts>()) {
    qivInstallCacheHooks();
    errorInfoInterfaces().add(IID_IQivPlayer2);
    errorInfoInterfaces().add(IID_IQivPlayer);
    qivEnsureRenderLock();
    QivStateOptions options;
    options.saveFilesWithDocument = GetSaveFilesWithDocument() != 0;
    options.use4DVision = GetUse4DVision() != 0;
    options.objectPath = GetObjectPath();
    qivStateInit(state_, options);
    // No container can be there yet: the user's locale until a site gives its own.
    initLanguage(GetUserDefaultLCID());
    for (int i = 0; i < kQivCursorCount; ++i)
        cursors_[i] = static_cast<HCURSOR>(
            LoadImageA(qivModuleInstance(), MAKEINTRESOURCEA(kQivCursorIds[i]), IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE));
}

CQivPlayerCtl::~CQivPlayerCtl() {
    UnloadScene(true);
    qivctl::releaseSharedLights(&win_->sharedLightsHeld);
    qivDeleteTempCopy(*win_);
    state_.slots.clear();
    state_.slots.shrink_to_fit();
    if (barBitmap_) DeleteObject(barBitmap_);
    for (HCURSOR& c : cursors_)
        if (c) {
            DestroyCursor(c);
            c = nullptr;
        }
}

void* CQivPlayerCtl::comInterface(REFIID iid) {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IQivPlayer)) return static_cast<IQivPlayer*>(this);
    if (IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, IID_IQivPlayer2)) return static_cast<IQivPlayer2*>(this);
    if (void* host = sceneHostInterface(iid)) return host;
    if (IsEqualIID(iid, IID_IDropTarget)) return DropTargetInterface();
    if (void* hooks = hostHooksInterface(iid)) return hooks;
    return ControlBase::comInterface(iid);
}

void CQivPlayerCtl::finalRelease() {
    ControlBase::finalRelease();
}

void CQivPlayerCtl::initLanguage(LCID lcid) {
    char name[256] = {};
    if (!GetLocaleInfoA(lcid, LOCALE_SISO639LANGNAME, name, sizeof name)) name[0] = 0;
    qivLanguageFromIso639(name, state_.language);
    pelSetLanguage(state_.language);
}

void CQivPlayerCtl::onClientSiteChanged() {
    zoneAsked_ = false;  // the new site's document decides
    LCID lcid;
    if (!languageSet_ && clientSite() && ambientLocale(lcid)) initLanguage(lcid);
}

void CQivPlayerCtl::onAmbientChanged(DISPID id) {
    if (id == DISPID_AMBIENT_UIDEAD) {
        bool dead = false;
        state_.uiDead = ambientUIDead(dead) && dead;
    }
}

void CQivPlayerCtl::UnloadScene(bool full) {
    FreeSceneHostNode();
    NavSceneGone();
    if (full) OnSceneUnloading();
    if (HWND w = hwnd()) {
        RemoveFrameTick(w);
        state_.frameValid = false;
        InvalidateRect(w, nullptr, FALSE);
    }
    win_->regions.free();
    win_->frameShown = false;
    win_->stats.on = false;
    state_.job.target = nullptr;
    fzFree(&state_.frame);
    if (state_.ownRoots && state_.sceneRoots) {
        if (state_.slots.empty())
            for (ScnNode** r = state_.sceneRoots; *r; ++r) scnNodeFree(r, nullptr);
        scnFreeIdList(&state_.sceneRoots);
    }
    state_.sceneRoots = nullptr;
    state_.ownRoots = false;
    if (full) {
        win_->animationRunning = false;
        // The slots' textures belong to the texture cache: give them back there.
        for (QivObjectSlot& s : state_.slots) {
            for (TexRecord*& t : s.textureHandles)
                if (t) qivctl::TextureCacheRelease(t);
            s.textureHandles.clear();
        }
        qivUnloadSlots(state_);
        qivctl::ObjectCacheTrim();
        qivDeleteTempCopy(*win_);
    }
}

void CQivPlayerCtl::Redraw(bool reRender) {
    if (HWND w = hwnd()) {
        if (reRender) state_.frameValid = false;
        // Held back while updates are disabled: the last EnableUpdate(true) redraws.
        if (updateDisabled_ > 0) return;
        InvalidateRect(w, nullptr, FALSE);
    }
}

void CQivPlayerCtl::FireOnChanged(DISPID id) {
    if (!eventsFrozen()) firePropertyChanged(id);
}

// ---- events ----

void CQivPlayerCtl::FireSubObjectPicked(int32_t slot, LONG index, const std::wstring& localName,
                                        const std::wstring& databaseName, std::wstring& displayName) {
    EventSlotScope scope(*this, slot);
    BSTR shown = SysAllocStringLen(displayName.data(), static_cast<UINT>(displayName.size()));
    {
        qcom::DispArgs a;
        a.i4(index).bstr(localName).bstr(databaseName).bstrRef(&shown);
        fireEvent(qivdispid::event::SubObjectPicked, a);
    }
    displayName.assign(shown ? shown : L"", shown ? SysStringLen(shown) : 0);
    SysFreeString(shown);
}

void CQivPlayerCtl::FireClick(int32_t slot, LONG& subAnimIndex) {
    EventSlotScope scope(*this, slot);
    qcom::DispArgs a;
    a.i4Ref(&subAnimIndex);
    fireEvent(qivdispid::event::Click, a);
}

void CQivPlayerCtl::FireAnimationDone(int32_t slot) {
    EventSlotScope scope(*this, slot);
    fireEvent(qivdispid::event::AnimationDone);
}

void CQivPlayerCtl::FireAnimationStarted(int32_t slot, LONG animationNo, const std::wstring& name, bool autoRepeat) {
    EventSlotScope scope(*this, slot);
    qcom::DispArgs a;
    a.i4(animationNo).bstr(name).boolean(autoRepeat);
    fireEvent(qivdispid::event::AnimationStarted, a);
}

void CQivPlayerCtl::FireObjectLoaded(int32_t slot) {
    EventSlotScope scope(*this, slot);
    fireEvent(qivdispid::event::ObjectLoaded);
}

void CQivPlayerCtl::FireThumbnailDone(int32_t slot) {
    EventSlotScope scope(*this, slot);
    fireEvent(qivdispid::event::ThumbnailDone);
}

void CQivPlayerCtl::FireTextureChanged(int32_t slot, LONG subObjectIndex, LONG textureIndex,
                                       const std::wstring& newName) {
    EventSlotScope scope(*this, slot);
    qcom::DispArgs a;
    a.i4(subObjectIndex).i4(textureIndex).bstr(newName);
    fireEvent(qivdispid::event::TextureChanged, a);
}

void CQivPlayerCtl::FireMaterialChanged(int32_t slot, LONG subObjectIndex, LONG materialIndex,
                                        const std::wstring& fileName) {
    EventSlotScope scope(*this, slot);
    qcom::DispArgs a;
    a.i4(subObjectIndex).i4(materialIndex).bstr(fileName);
    fireEvent(qivdispid::event::MaterialChanged, a);
}

void CQivPlayerCtl::FireObjectMove(int32_t slot, LONG objOrGrpID, qivMvEvTypes which, float x, float y, float z) {
    EventSlotScope scope(*this, slot);
    qcom::DispArgs a;
    a.i4(objOrGrpID).i4(which).r4(x).r4(y).r4(z);
    fireEvent(qivdispid::event::ObjectMove, a);
}

void CQivPlayerCtl::FireObjectMoving(int32_t slot, LONG objOrGrpID, float xMouse, float yMouse, float zMouse,
                                     float xCenter, float yCenter, float zCenter) {
    EventSlotScope scope(*this, slot);
    qcom::DispArgs a;
    a.i4(objOrGrpID).r4(xMouse).r4(yMouse).r4(zMouse).r4(xCenter).r4(yCenter).r4(zCenter);
    fireEvent(qivdispid::event::ObjectMoving, a);
}

void CQivPlayerCtl::FireMouseReleased(int32_t slot, LONG event) {
    EventSlotScope scope(*this, slot);
    qcom::DispArgs a;
    a.i4(event);
    fireEvent(qivdispid::event::MouseReleased, a);
}

void CQivPlayerCtl::FireClickWithKeys(int32_t slot, LONG flags, LONG& subAnimIndex) {
    EventSlotScope scope(*this, slot);
    qcom::DispArgs a;
    a.i4(flags).i4Ref(&subAnimIndex);
    fireEvent(qivdispid::event::ClickWithKeys, a);
}

void CQivPlayerCtl::FireMouseDown(int32_t slot, LONG objID, LONG whichMouseButton, LONG flags) {
    EventSlotScope scope(*this, slot);
    qcom::DispArgs a;
    a.i4(objID).i4(whichMouseButton).i4(flags);
    fireEvent(qivdispid::event::MouseDown, a);
}

// ---- stock properties ----

STDMETHODIMP CQivPlayerCtl::get_Appearance(qivAppearance* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = state_.flat ? qivAppearanceFlat : qivAppearance3D;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_BorderStyle(qivBorderStyle* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = state_.singleBorder ? qivBorderStyleSingle : qivBorderStyleNone;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

void CQivPlayerCtl::applyWindowStyle() {
    HWND w = hwnd();
    if (!w) return;
    LONG_PTR style = GetWindowLongPtrA(w, GWL_STYLE), ex = GetWindowLongPtrA(w, GWL_EXSTYLE);
    LONG_PTR newStyle = style, newEx = ex;
    if (state_.singleBorder) {
        newStyle |= WS_BORDER;
        if (state_.flat)
            newEx &= ~static_cast<LONG_PTR>(WS_EX_CLIENTEDGE);
        else
            newEx |= WS_EX_CLIENTEDGE;
    } else {
        newStyle &= ~static_cast<LONG_PTR>(WS_BORDER);
        newEx &= ~static_cast<LONG_PTR>(WS_EX_CLIENTEDGE);
    }
    if (newStyle == style && newEx == ex) return;
    SetWindowLongPtrA(w, GWL_STYLE, newStyle);
    SetWindowLongPtrA(w, GWL_EXSTYLE, newEx);
    SetWindowPos(w, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

STDMETHODIMP CQivPlayerCtl::get_BackStyle(qivBackStyle* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = state_.transparent ? qivBackStyleTransparent : qivBackStyleOpaque;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_Enabled(VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = vb(state_.enabled);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_BackColor(OLE_COLOR* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = state_.backColor;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::put_BackColor(OLE_COLOR v) try {
    COLORREF rgb = 0;
    HRESULT hr = OleTranslateColor(v, nullptr, &rgb);
    if (FAILED(hr)) return hr;
    // A system colour is kept as the colour it stands for now.
    if (rgb == state_.backColor) return S_OK;
    qivStateSetBackColor(state_, rgb);
    if (hwnd()) {
        win_->frameShown = false;
        FireOnChanged(DISPID_BACKCOLOR);
        fireViewChange();
        Redraw(true);
    }
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

// ---- the control's own properties ----

STDMETHODIMP CQivPlayerCtl::put_VisuDLL(BSTR) { return S_OK; }
STDMETHODIMP CQivPlayerCtl::put_ObjectUID(BSTR) { return S_OK; }
STDMETHODIMP CQivPlayerCtl::DragAndDropTexture(BSTR) { return S_OK; }
STDMETHODIMP CQivPlayerCtl::DragAndDropMaterialFromURL(BSTR) { return S_OK; }

STDMETHODIMP CQivPlayerCtl::RegisterChunkNotify(LONG, VARIANT_BOOL, VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = VARIANT_TRUE;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_DisplayMode(qivDisplayMode* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = static_cast<qivDisplayMode>(navGetDisplayMode(state_.displayModeValue, state_.displayFlagBits));
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::put_DisplayMode(qivDisplayMode v) try {
    if (!navPutDisplayMode(static_cast<int32_t>(v), &state_.displayModeValue, &state_.displayFlagBits)) return S_OK;
    const int32_t mode = state_.displayModeValue;
    state_.displayMode = qivctl::displayModeValid(mode) ? uint32_t(mode) : kQivDefaultDisplayMode;
    state_.allTransparent = state_.displayFlagBits != 0;
    // A one-time ray trace asked for and not drawn yet gives way to the new mode.
    if (win_->frameMode == qivctl::kOneTimeRaytraceMode) win_->frameMode = state_.displayMode;
    FireOnChanged(qivdispid::DisplayMode);
    RefreshBarState();
    Redraw(true);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_SaveFilesWithDocument(VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = vb(state_.saveFiles[0] != 0);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::put_SaveFilesWithDocument(VARIANT_BOOL v) try {
    uint32_t on = v != VARIANT_FALSE ? 1 : 0;
    if (on == state_.saveFiles[0]) return S_OK;
    state_.saveFiles[0] = on;
    FireOnChanged(qivdispid::SaveFilesWithDocument);
    setDirty(true);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_Language(BSTR* pVal) try {
    if (!pVal) return E_POINTER;
    wchar_t w[3] = {static_cast<wchar_t>(state_.language[0]), static_cast<wchar_t>(state_.language[1]), 0};
    *pVal = SysAllocString(w);
    return *pVal ? S_OK : E_OUTOFMEMORY;
} catch (...) { return qcom::exceptionResult(); }

HRESULT CQivPlayerCtl::languageError() {
    std::wstring text = qivLoadStringW(IDS_LANGUAGE_CODE);
    if (text.empty())
        text = L"A language abbreviation consists of two characters (XX: universal, XY: database).";
    return qcom::setErrorInfo(E_INVALIDARG, text.c_str(), IID_IQivPlayer2, L"QivPlayer", kHelpFile,
                              kLanguageHelpContext);
}

STDMETHODIMP CQivPlayerCtl::put_Language(BSTR v) try {
    std::string text;
    for (UINT i = 0, n = SysStringLen(v); i < n; ++i) {
        if (v[i] > 0x7F) return languageError();
        text.push_back(static_cast<char>(v[i]));
    }
    const qivctl::LanguagePut r = qivctl::putLanguage(text, state_.language);
    if (r == qivctl::LanguagePut::InvalidArg) return languageError();
    languageSet_ = true;
    if (r == qivctl::LanguagePut::Unchanged) return S_OK;
    pelSetLanguage(state_.language);
    FireOnChanged(qivdispid::Language);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_TooltipTimeout(LONG* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = state_.tooltipTimeout;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::put_TooltipTimeout(LONG v) try {
    LONG current = 0;
    get_TooltipTimeout(&current);
    if (current == v) return S_OK;
    state_.tooltipTimeout = v;
    FireOnChanged(qivdispid::TooltipTimeout);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_LocalSaveAllowed(VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = vb(state_.localSaveAllowed);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::put_LocalSaveAllowed(VARIANT_BOOL v) try {
    state_.localSaveAllowed = v != VARIANT_FALSE;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_PopupMenuEnabled(VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = vb(state_.popupMenu);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::put_PopupMenuEnabled(VARIANT_BOOL v) try {
    state_.popupMenu = v != VARIANT_FALSE;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_PreviewMode(LONG* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = static_cast<LONG>(state_.previewMode);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::put_PreviewMode(LONG v) try {
    if (static_cast<uint32_t>(v) == state_.previewMode) return S_OK;
    state_.previewMode = static_cast<uint32_t>(v);
    FireOnChanged(qivdispid::PreviewMode);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_LastPickedTexture(LONG* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = lastPickedTexture_;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_LastPickedMaterial(LONG* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = lastPickedMaterial_;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_EventObject(LONG* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = state_.eventSlot;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_CurrentObject(LONG* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = state_.currentSlot;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::put_CurrentObject(LONG v) try {
    if (v < 0 || v >= state_.usedCount || static_cast<size_t>(v) >= state_.slots.size() ||
        !state_.slots[static_cast<size_t>(v)].inUse)
        return E_FAIL;
    state_.currentSlot = v;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_Lights(LONG* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = static_cast<LONG>(state_.lights);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

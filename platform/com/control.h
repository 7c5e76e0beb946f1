// A full OLE control: the generic members of IOleObject, IOleInPlaceObject(Windowless),
// IOleInPlaceActiveObject, IViewObjectEx, IOleControl, IPersistStreamInit,
// IPersistStorage, IPersistPropertyBag, IDataObject, IProvideClassInfo2,
// IConnectionPointContainer, IQuickActivate, ISpecifyPropertyPages, IObjectSafety,
// ISupportErrorInfo and (when configured) IOleCommandTarget, with the client-site
// plumbing and ambient properties.
//
// A control derives from its dual interfaces (Dual<I>) and from ControlBase,
// supplies comInterface (its own interfaces, IUnknown and IDispatch, then
// ControlBase::comInterface) and overrides the hooks it needs: drawing, window
// messages, property load and save, verbs, ambient changes. It is made by
// ComObject<T>. See /work/notes/com-api.md for an example.
#pragma once
#include <windows.h>
#include <docobj.h>
#include <objsafe.h>
#include <ocidl.h>
#include <olectl.h>

#include <string>
#include <vector>

#include "com/connpoint.h"
#include "com/errorinfo.h"
#include "com/object.h"

namespace qcom {

// What IViewObject::Draw, IDataObject::GetData and WM_PAINT hand to onDraw.
struct DrawInfo {
    HDC hdc = nullptr;
    RECT bounds{};                  // where to draw, in the DC's logical units
    DWORD aspect = DVASPECT_CONTENT;
    DVTARGETDEVICE* target = nullptr;
    HDC targetDc = nullptr;
    bool metafile = false;          // drawing into a metafile
    bool fromWindow = false;        // WM_PAINT of the control window
    const RECT* invalid = nullptr;  // WM_PAINT: the area to repaint
};

struct ControlConfig {
    const CLSID* clsid = nullptr;       // class of the control (type info, registry data)
    const IID* events = nullptr;        // default source dispinterface, or null
    SIZEL extent{2540, 2540};           // initial extent, HIMETRIC
    DWORD viewStatus = VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND;
    DWORD safetySupported = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;
    const wchar_t* windowClass = L"ComControlWindow";
    bool commandTarget = false;         // IOleCommandTarget served (onQueryCommand, onExecCommand)
};

class ControlBase : public ObjectBase,
                    public IOleObject,
                    public IOleInPlaceObjectWindowless,
                    public IOleInPlaceActiveObject,
                    public IViewObjectEx,
                    public IOleControl,
                    public IPersistStreamInit,
                    public IPersistStorage,
                    public IPersistPropertyBag,
                    public IDataObject,
                    public IProvideClassInfo2,
                    public IConnectionPointContainer,
                    public IQuickActivate,
                    public ISpecifyPropertyPages,
                    public IObjectSafety,
                    public ISupportErrorInfo,
                    public IOleCommandTarget {
public:
    explicit ControlBase(const ControlConfig& config);
    ~ControlBase() override;
    ControlBase(const ControlBase&) = delete;
    ControlBase& operator=(const ControlBase&) = delete;

    // The interfaces of this base (not IUnknown, not IDispatch).
    void* comInterface(REFIID iid);
    // Destroys the window and lets go of the sites while the object is whole.
    void finalRelease() override;

    // ---- For the control ----
    IUnknown* controlUnknown() { return static_cast<IOleObject*>(this); }
    HWND hwnd() const { return hwnd_; }
    IOleClientSite* clientSite() const { return clientSite_.get(); }
    IOleInPlaceSite* inPlaceSite() const { return inPlaceSite_.get(); }
    bool inPlaceActive() const { return inPlaceActive_; }
    bool uiActive() const { return uiActive_; }
    const RECT& position() const { return pos_; }  // in the container's window, pixels
    SIZEL extent() const { return extent_; }       // HIMETRIC
    const CLSID& clsid() const { return *config_.clsid; }

    // Connection points: IPropertyNotifySink always, the events if configured.
    ConnectionPoints& connectionPoints() { return points_; }
    ConnectionPoint* eventPoint() const { return eventPoint_; }
    // Fires an event of the default source interface to every sink.
    size_t fireEvent(DISPID id, DispArgs& args);
    size_t fireEvent(DISPID id);
    // IOleControl::FreezeEvents count above 0.
    bool eventsFrozen() const { return notifier_.frozen(); }
    // OnChanged(id) to the property-notify sinks; nothing while frozen.
    void firePropertyChanged(DISPID id);
    HRESULT firePropertyRequestEdit(DISPID id) { return notifier_.requestEdit(id); }

    void setDirty(bool dirty) { dirty_ = dirty; }
    bool dirty() const { return dirty_; }

    // Redraw: invalidates the window, or tells the view's advise sink; nothing while the
    // control holds its view changes back.
    void fireViewChange();
    virtual bool viewChangesHeld() const { return false; }
    // Tells the data advise sinks (IDataObject::DAdvise) that the data changed.
    void sendOnDataChange(DWORD advf = 0);
    // Asks the site to resize the control to an extent (HIMETRIC).
    HRESULT requestResize(SIZEL extent);

    // Ambient properties through the client site's IDispatch.
    HRESULT getAmbient(DISPID id, VARIANT* out) const;
    bool ambientBool(DISPID id, bool& out) const;
    bool ambientLong(DISPID id, LONG& out) const;
    bool ambientString(DISPID id, std::wstring& out) const;
    bool ambientLocale(LCID& out) const { LONG v; return ambientLong(DISPID_AMBIENT_LOCALEID, v) ? (out = static_cast<LCID>(v), true) : false; }
    bool ambientUserMode(bool& out) const { return ambientBool(DISPID_AMBIENT_USERMODE, out); }
    bool ambientUIDead(bool& out) const { return ambientBool(DISPID_AMBIENT_UIDEAD, out); }

    // In-place activation as DoVerb does it: OLEIVERB_INPLACEACTIVATE makes the
    // window, OLEIVERB_UIACTIVATE (and the primary and show verbs) also makes the
    // control the active object of the frame.
    HRESULT inPlaceActivate(LONG verb, const RECT* pos = nullptr);

    // The options the host set through IObjectSafety (INTERFACESAFE_FOR_...).
    DWORD safetyOptions() const { return safetyEnabled_; }

    // Error objects for the interfaces listed here (ISupportErrorInfo).
    ErrorInfoInterfaces& errorInfoInterfaces() { return errorInfo_; }

protected:
    // ---- Hooks ----
    // Drawing. Default: fills the bounds with the window colour.
    virtual HRESULT onDraw(const DrawInfo& info);
    // Messages of the control window (and OnWindowMessage when windowless). Set
    // handled to keep the default handling (paint, focus, activation) out.
    virtual LRESULT onMessage(UINT msg, WPARAM wp, LPARAM lp, bool& handled) { return 0; }
    // Makes the control window as a child of parent at pos. Default: a window of
    // config.windowClass whose messages go to onMessage.
    virtual HWND createControlWindow(HWND parent, const RECT& pos);
    virtual void onWindowDestroyed() {}
    virtual void onClientSiteChanged() {}
    virtual void onAmbientChanged(DISPID id) {}
    virtual void onFreezeEvents(bool frozen) {}
    // After the window moved or was resized (pos in the parent's pixels).
    virtual void onPositionChanged(const RECT& pos) {}
    virtual void onExtentChanged(SIZEL extent) {}
    virtual void onInPlaceActivated() {}
    virtual void onInPlaceDeactivating() {}
    // Verbs. Return E_NOTIMPL to let the standard verbs be done here; positive
    // verbs that nobody handles give OLEOBJ_S_INVALIDVERB.
    virtual HRESULT onDoVerb(LONG verb, MSG* msg, IOleClientSite* site, HWND parent, const RECT* pos) {
        return E_NOTIMPL;
    }
    virtual HRESULT onTranslateAccelerator(MSG* msg) { return S_FALSE; }
    virtual HRESULT onGetControlInfo(CONTROLINFO* info);
    virtual HRESULT onMnemonic(MSG* msg) { return S_OK; }
    // Persistence: the control's data. E_NOTIMPL by default.
    virtual HRESULT onInitNew() { return S_OK; }
    virtual HRESULT onLoadStream(IStream* stream) { return E_NOTIMPL; }
    virtual HRESULT onSaveStream(IStream* stream) { return E_NOTIMPL; }
    virtual HRESULT onGetSizeMax(ULARGE_INTEGER* size) { return E_NOTIMPL; }
    virtual HRESULT onLoadPropertyBag(IPropertyBag* bag, IErrorLog* log) { return E_NOTIMPL; }
    virtual HRESULT onSavePropertyBag(IPropertyBag* bag, bool saveAll) { return E_NOTIMPL; }
    // Storage: by default the "Contents" stream through onLoadStream/onSaveStream.
    virtual HRESULT onLoadStorage(IStorage* storage) { return loadContentsStream(storage); }
    virtual HRESULT onSaveStorage(IStorage* storage, bool sameAsLoad) { return saveContentsStream(storage); }
    HRESULT loadContentsStream(IStorage* storage);
    HRESULT saveContentsStream(IStorage* storage);
    // Property pages of ISpecifyPropertyPages (and OLEIVERB_PROPERTIES).
    virtual std::vector<CLSID> propertyPages() const { return {}; }
    // MiscStatus of an aspect; default: from the class's registry entry.
    virtual DWORD miscStatus(DWORD aspect) const;
    // IOleCommandTarget: the OLECMDF_ flags of one command (S_OK), or an OLECMDERR_ code
    // (unknown group, not supported); Exec carries a command out.
    virtual HRESULT onQueryCommand(const GUID* group, ULONG id, DWORD* flags) { return OLECMDERR_E_UNKNOWNGROUP; }
    virtual HRESULT onExecCommand(const GUID* group, DWORD id, DWORD option, VARIANT* in, VARIANT* out) {
        return OLECMDERR_E_UNKNOWNGROUP;
    }

    // The window procedure's default handling of a message.
    LRESULT defaultMessage(UINT msg, WPARAM wp, LPARAM lp);

public:
    // ---- IOleObject ----
    STDMETHODIMP SetClientSite(IOleClientSite* site) override;
    STDMETHODIMP GetClientSite(IOleClientSite** out) override;
    STDMETHODIMP SetHostNames(LPCOLESTR app, LPCOLESTR obj) override;
    STDMETHODIMP Close(DWORD saveOption) override;
    STDMETHODIMP SetMoniker(DWORD which, IMoniker* mk) override;
    STDMETHODIMP GetMoniker(DWORD assign, DWORD which, IMoniker** out) override;
    STDMETHODIMP InitFromData(IDataObject* data, BOOL creation, DWORD reserved) override;
    STDMETHODIMP GetClipboardData(DWORD reserved, IDataObject** out) override;
    STDMETHODIMP DoVerb(LONG verb, LPMSG msg, IOleClientSite* site, LONG index, HWND parent, LPCRECT pos) override;
    STDMETHODIMP EnumVerbs(IEnumOLEVERB** out) override;
    STDMETHODIMP Update() override;
    STDMETHODIMP IsUpToDate() override;
    STDMETHODIMP GetUserClassID(CLSID* out) override;
    STDMETHODIMP GetUserType(DWORD form, LPOLESTR* out) override;
    STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override;
    STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override;
    STDMETHODIMP Advise(IAdviseSink* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumAdvise(IEnumSTATDATA** out) override;
    STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override;
    STDMETHODIMP SetColorScheme(LOGPALETTE* pal) override;

    // ---- IOleWindow, IOleInPlaceObject(Windowless), IOleInPlaceActiveObject ----
    STDMETHODIMP GetWindow(HWND* out) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL enter) override;
    STDMETHODIMP InPlaceDeactivate() override;
    STDMETHODIMP UIDeactivate() override;
    STDMETHODIMP SetObjectRects(LPCRECT pos, LPCRECT clip) override;
    STDMETHODIMP ReactivateAndUndo() override;
    STDMETHODIMP OnWindowMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;
    STDMETHODIMP GetDropTarget(IDropTarget** out) override;
    STDMETHODIMP TranslateAccelerator(LPMSG msg) override;
    STDMETHODIMP OnFrameWindowActivate(BOOL activate) override;
    STDMETHODIMP OnDocWindowActivate(BOOL activate) override;
    STDMETHODIMP ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frame) override;
    STDMETHODIMP EnableModeless(BOOL enable) override;

    // ---- IViewObject, IViewObject2, IViewObjectEx ----
    STDMETHODIMP Draw(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* target, HDC targetDc, HDC hdc,
                      LPCRECTL bounds, LPCRECTL wbounds, BOOL(STDMETHODCALLTYPE* cont)(ULONG_PTR),
                      ULONG_PTR contArg) override;
    STDMETHODIMP GetColorSet(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* target, HDC targetDc,
                             LOGPALETTE** out) override;
    STDMETHODIMP Freeze(DWORD aspect, LONG index, void* aspectInfo, DWORD* cookie) override;
    STDMETHODIMP Unfreeze(DWORD cookie) override;
    STDMETHODIMP SetAdvise(DWORD aspects, DWORD advf, IAdviseSink* sink) override;
    STDMETHODIMP GetAdvise(DWORD* aspects, DWORD* advf, IAdviseSink** sink) override;
    STDMETHODIMP GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* target, LPSIZEL size) override;
    STDMETHODIMP GetRect(DWORD aspect, LPRECTL rect) override;
    STDMETHODIMP GetViewStatus(DWORD* status) override;
    STDMETHODIMP QueryHitPoint(DWORD aspect, LPCRECT bounds, POINT pt, LONG closeHint, DWORD* result) override;
    STDMETHODIMP QueryHitRect(DWORD aspect, LPCRECT bounds, LPCRECT rect, LONG closeHint, DWORD* result) override;
    STDMETHODIMP GetNaturalExtent(DWORD aspect, LONG index, DVTARGETDEVICE* target, HDC targetDc,
                                  DVEXTENTINFO* info, LPSIZEL size) override;

    // ---- IOleControl ----
    STDMETHODIMP GetControlInfo(CONTROLINFO* info) override;
    STDMETHODIMP OnMnemonic(MSG* msg) override;
    STDMETHODIMP OnAmbientPropertyChange(DISPID id) override;
    STDMETHODIMP FreezeEvents(BOOL freeze) override;

    // ---- IPersist, IPersistStreamInit, IPersistStorage, IPersistPropertyBag ----
    STDMETHODIMP GetClassID(CLSID* out) override;
    STDMETHODIMP IsDirty() override;
    STDMETHODIMP Load(LPSTREAM stream) override;
    STDMETHODIMP Save(LPSTREAM stream, BOOL clearDirty) override;
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override;
    STDMETHODIMP InitNew() override;
    STDMETHODIMP InitNew(IStorage* storage) override;
    STDMETHODIMP Load(IStorage* storage) override;
    STDMETHODIMP Save(IStorage* storage, BOOL sameAsLoad) override;
    STDMETHODIMP SaveCompleted(IStorage* storage) override;
    STDMETHODIMP HandsOffStorage() override;
    STDMETHODIMP Load(IPropertyBag* bag, IErrorLog* log) override;
    STDMETHODIMP Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) override;

    // ---- IDataObject ----
    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHODIMP GetDataHere(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHODIMP QueryGetData(FORMATETC* format) override;
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) override;
    STDMETHODIMP SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
    STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override;
    STDMETHODIMP DAdvise(FORMATETC* format, DWORD advf, IAdviseSink* sink, DWORD* cookie) override;
    STDMETHODIMP DUnadvise(DWORD cookie) override;
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA** out) override;

    // ---- IProvideClassInfo2 ----
    STDMETHODIMP GetClassInfo(ITypeInfo** out) override;
    STDMETHODIMP GetGUID(DWORD kind, GUID* out) override;

    // ---- IConnectionPointContainer ----
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** out) override;
    STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** out) override;

    // ---- IQuickActivate ----
    STDMETHODIMP QuickActivate(QACONTAINER* container, QACONTROL* control) override;
    STDMETHODIMP SetContentExtent(LPSIZEL size) override;
    STDMETHODIMP GetContentExtent(LPSIZEL size) override;

    // ---- ISpecifyPropertyPages ----
    STDMETHODIMP GetPages(CAUUID* pages) override;

    // ---- IObjectSafety ----
    STDMETHODIMP GetInterfaceSafetyOptions(REFIID iid, DWORD* supported, DWORD* enabled) override;
    STDMETHODIMP SetInterfaceSafetyOptions(REFIID iid, DWORD mask, DWORD enabled) override;

    // ---- ISupportErrorInfo ----
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override;

    // ---- IOleCommandTarget ----
    STDMETHODIMP QueryStatus(const GUID* group, ULONG count, OLECMD* commands, OLECMDTEXT* text) override;
    STDMETHODIMP Exec(const GUID* group, DWORD id, DWORD option, VARIANT* in, VARIANT* out) override;

private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    HRESULT showPropertyPages(HWND parent);
    void destroyWindow();
    HRESULT uiActivate();
    void releaseSites();

    ControlConfig config_;
    ComPtr<IOleClientSite> clientSite_;
    ComPtr<IOleInPlaceSite> inPlaceSite_;
    ComPtr<IOleInPlaceFrame> frame_;
    ComPtr<IOleInPlaceUIWindow> uiWindow_;
    ComPtr<IOleAdviseHolder> oleAdvise_;
    ComPtr<IDataAdviseHolder> dataAdvise_;
    ComPtr<IAdviseSink> viewSink_;
    DWORD viewAspects_ = 0, viewAdvf_ = 0;
    HWND hwnd_ = nullptr;
    bool inPlaceActive_ = false, uiActive_ = false;
    RECT pos_{}, clip_{};
    SIZEL extent_{};
    bool dirty_ = false;
    DWORD safetyEnabled_ = 0;
    ConnectionPoints points_;
    ConnectionPoint* notifyPoint_ = nullptr;
    ConnectionPoint* eventPoint_ = nullptr;
    PropertyNotifier notifier_;
    ErrorInfoInterfaces errorInfo_;
};

// HIMETRIC <-> pixels at the screen's resolution.
SIZEL himetricToPixels(SIZEL himetric);
SIZEL pixelsToHimetric(SIZEL pixels);

}  // namespace qcom

#include "qivplayer_win.h"

#include "forms/exception.h"
#include "win/wintext.h"

namespace stellwerk {

namespace {

// Argument i (in declaration order) of an event.
VARIANTARG* arg(DISPPARAMS* p, UINT i) {
    if (!p || i >= p->cArgs) return nullptr;
    return &p->rgvarg[p->cArgs - 1 - i];
}

long longArg(DISPPARAMS* p, UINT i) {
    VARIANTARG* v = arg(p, i);
    if (!v) return 0;
    if (v->vt == VT_I4) return v->lVal;
    if (v->vt == (VT_I4 | VT_BYREF) && v->plVal) return *v->plVal;
    VARIANT c;
    VariantInit(&c);
    return SUCCEEDED(VariantChangeType(&c, v, 0, VT_I4)) ? c.lVal : 0;
}

}  // namespace

TQivPlayer::TQivPlayer(forms::Component* owner) : OleControl(owner, CLSID_QivPlayer, DIID__QivPlayerEvents) {
    if (FAILED(Object()->QueryInterface(IID_IQivPlayer2, reinterpret_cast<void**>(&player_))) || !player_)
        throw forms::Exception("The viewer control has no IQivPlayer2 interface");
    OnEvent(kEvSubObjectPicked, [this](DISPID, DISPPARAMS* p) {
        if (!OnSubObjectPicked) return;
        VARIANTARG* local = arg(p, 1);
        VARIANTARG* display = arg(p, 3);
        const std::string name = local && local->vt == VT_BSTR ? win::AnsiOfBstr(local->bstrVal) : std::string();
        OnSubObjectPicked(longArg(p, 0), name,
                          display && display->vt == (VT_BSTR | VT_BYREF) ? display->pbstrVal : nullptr);
    });
    OnEvent(kEvClick, [this](DISPID, DISPPARAMS* p) {
        if (!OnViewerClick) return;
        VARIANTARG* v = arg(p, 0);
        long sub = longArg(p, 0);
        OnViewerClick(sub);
        if (v && v->vt == (VT_I4 | VT_BYREF) && v->plVal) *v->plVal = sub;
    });
    OnEvent(kEvMouseDown, [this](DISPID, DISPPARAMS* p) {
        if (OnViewerMouseDown) OnViewerMouseDown(longArg(p, 0), longArg(p, 1), longArg(p, 2));
    });
    OnEvent(kEvMouseReleased, [this](DISPID, DISPPARAMS* p) {
        if (OnMouseReleased) OnMouseReleased(longArg(p, 0));
    });
    OnEvent(kEvObjectLoaded, [this](DISPID, DISPPARAMS*) {
        if (OnObjectLoaded) OnObjectLoaded();
    });
}

TQivPlayer::~TQivPlayer() {
    if (player_) player_->Release();
}

}  // namespace stellwerk

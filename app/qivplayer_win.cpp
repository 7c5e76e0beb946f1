#include "qivplayer_win.h"

#include "forms/application.h"
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

namespace {

bool yes(VARIANT_BOOL b) { return b != VARIANT_FALSE; }
VARIANT_BOOL vb(bool b) { return b ? VARIANT_TRUE : VARIANT_FALSE; }

}  // namespace

bool TQivPlayer::ObjectLoaded() {
    VARIANT_BOOL ok = VARIANT_FALSE;
    return SUCCEEDED(player_->ObjectIsLoaded(0, &ok)) && yes(ok);
}

bool TQivPlayer::GetViewing3DEx(Viewing3D& v) {
    VARIANT_BOOL parallel = VARIANT_FALSE, ok = VARIANT_FALSE;
    const HRESULT hr = player_->GetViewing3DEx(&v.vrp.x, &v.vrp.y, &v.vrp.z, &v.eye.x, &v.eye.y, &v.eye.z, &v.tanA,
                                               &parallel, &ok);
    v.parallel = yes(parallel);
    return SUCCEEDED(hr) && yes(ok);
}

void TQivPlayer::SetViewing3DEx(const Viewing3D& v) {
    VARIANT_BOOL ok;
    player_->SetViewing3DEx(v.vrp.x, v.vrp.y, v.vrp.z, v.eye.x, v.eye.y, v.eye.z, v.tanA, vb(v.parallel), &ok);
}

void TQivPlayer::SetViewing3D(const Vec3& vrp, const Vec3& eye, float tanA) {
    VARIANT_BOOL ok;
    player_->SetViewing3D(vrp.x, vrp.y, vrp.z, eye.x, eye.y, eye.z, tanA, &ok);
}

float TQivPlayer::Phi() {
    float f = 0;
    player_->get_Phi(&f);
    return f;
}

void TQivPlayer::SetPhi(float degrees) { player_->put_Phi(degrees); }

float TQivPlayer::Psi() {
    float f = 0;
    player_->get_Psi(&f);
    return f;
}

void TQivPlayer::SetPsi(float degrees) { player_->put_Psi(degrees); }

float TQivPlayer::Zoom() {
    float f = 1;
    player_->get_Zoom(&f);
    return f;
}

void TQivPlayer::SetZoom(float zoom) { player_->put_Zoom(zoom); }

int TQivPlayer::Lights() {
    long l = 0;
    player_->get_Lights(&l);
    return int(l);
}

void TQivPlayer::SetLights(int set) { player_->put_Lights(set); }

stellwerk::Color TQivPlayer::BackColor() {
    OLE_COLOR c = 0;
    player_->get_BackColor(&c);
    return stellwerk::Color(c);
}

void TQivPlayer::SetBackColor(stellwerk::Color c) { player_->put_BackColor(OLE_COLOR(c)); }

std::string TQivPlayer::BackPictureURL() {
    win::Bstr b;
    player_->get_BackPictureURL(b.out());
    return b.ansi();
}

void TQivPlayer::SetBackPictureURL(const std::string& url) {
    win::Bstr b(url);
    player_->put_BackPictureURL(b.get());
}

int TQivPlayer::BackPicMode() {
    qivBackPicModes m = qivBackPicModeConstant;
    player_->get_BackPicMode(&m);
    return int(m);
}

void TQivPlayer::SetBackPicMode(int mode) { player_->put_BackPicMode(qivBackPicModes(mode)); }

int TQivPlayer::BackPicOffsetX() {
    long v = 0;
    player_->get_BackPicOffsetX(&v);
    return int(v);
}

int TQivPlayer::BackPicOffsetY() {
    long v = 0;
    player_->get_BackPicOffsetY(&v);
    return int(v);
}

void TQivPlayer::SetBackPicOffset(int x, int y) {
    player_->put_BackPicOffsetX(x);
    player_->put_BackPicOffsetY(y);
}

void TQivPlayer::EnableUpdate(bool on) { player_->EnableUpdate(vb(on)); }

void TQivPlayer::Refresh() { player_->Refresh(); }

void TQivPlayer::ReplaceMaterial(int index, stellwerk::Color diffuse, stellwerk::Color specular, float alpha, float kDiffuse,
                                 float kAmbient, float kSpecular, uint32_t flags) {
    VARIANT_BOOL ok;
    player_->ReplaceMaterial(index, long(diffuse), long(specular), alpha, kDiffuse, kAmbient, kSpecular, long(flags),
                             &ok);
}

void TQivPlayer::ReplaceTexture(int index, const std::string& name) {
    win::Bstr b(name);
    VARIANT_BOOL ok;
    player_->ReplaceTexture(index, b.get(), &ok);
}

void TQivPlayer::NotifyLightsChanged() {
    forms::Application& app = forms::Application::Instance();
    PostMessageW(app.Handle(), kMsgLightsChanged, 0, 0);
    app.ProcessMessages();
}

bool TQivPlayer::LoadObject(const std::string& path) {
    win::Bstr b(path);
    VARIANT_BOOL ok = VARIANT_FALSE;
    return SUCCEEDED(player_->LoadObject(b.get(), &ok)) && yes(ok);
}

bool TQivPlayer::SaveBitmap(int quality, bool rayTrace, int width, int height, const std::string& file) {
    win::Bstr b(file);
    VARIANT_BOOL ok = VARIANT_FALSE;
    return SUCCEEDED(player_->SaveBitmap(qivBitmapQuality(quality), rayTrace ? VARIANT_TRUE : VARIANT_FALSE, width,
                                         height, b.get(), &ok)) &&
           yes(ok);
}

void TQivPlayer::ObjectDelete() {
    VARIANT_BOOL ok;
    player_->ObjectDelete(&ok);
}

int TQivPlayer::MaterialCount() {
    long n = 0;
    return SUCCEEDED(player_->GetMaterialCount(&n)) && n > 0 ? int(n) : 0;
}

bool TQivPlayer::GetMaterial(int index, ViewerMaterial& out) {
    long diffuse = 0, specular = 0, flags = 0;
    VARIANT_BOOL ok = VARIANT_FALSE;
    const HRESULT hr = player_->GetMaterial(index, &diffuse, &specular, &out.alpha, &out.kDiffuse, &out.kAmbient,
                                            &out.kSpecular, &flags, &ok);
    out.diffuse = stellwerk::Color(diffuse);
    out.specular = stellwerk::Color(specular);
    out.flags = uint32_t(flags);
    return SUCCEEDED(hr) && yes(ok);
}

int TQivPlayer::TextureCount() {
    long n = 0;
    return SUCCEEDED(player_->GetTextureCount(&n)) && n > 0 ? int(n) : 0;
}

std::string TQivPlayer::GetTexture(int index) {
    win::Bstr b;
    player_->GetTexture(index, b.out());
    return b.ansi();
}

void TQivPlayer::OneTimeRaytrace() { player_->OneTimeRaytrace(); }

void TQivPlayer::DisableUserMovements(int mask) {
    long old = 0;
    player_->DisableUserMovements(mask, &old);
}

void TQivPlayer::SetCursorMode(int mode) { player_->SetCursorMode(qivCursorTypes(mode)); }

void TQivPlayer::SetEnabledMenus(int mask) { player_->put_EnabledMenus(mask); }

void TQivPlayer::SetDragDropEnabled(int flags) { player_->put_DragDropEnabled(flags); }

bool TQivPlayer::Filter() {
    VARIANT_BOOL b = VARIANT_FALSE;
    player_->get_Filter(&b);
    return yes(b);
}

void TQivPlayer::SetFilter(bool on) { player_->put_Filter(vb(on)); }

bool TQivPlayer::HideControls() {
    VARIANT_BOOL b = VARIANT_FALSE;
    player_->get_HideControls(&b);
    return yes(b);
}

void TQivPlayer::SetHideControls(bool on) { player_->put_HideControls(vb(on)); }

}  // namespace stellwerk

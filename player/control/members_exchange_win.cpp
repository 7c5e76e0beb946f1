// Materials, textures, sub-objects and viewings of the current object, the texts of the
// AsString members and the drop mask.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "caches.h"
#include "com/guard.h"
#include "ctlmodule_win.h"
#include "exchange_win.h"
#include "transfers.h"
#include "loadsession.h"
#include "localfile.h"
#include "navigation.h"
#include "saveobj.h"
#include "scene/engine.h"
#include "scene/pelchunk.h"
#include "scene/sceneops.h"
#include "scene/texture.h"
#include "texpaths.h"
#include "texresolve.h"
#include "viewing.h"
#include "viewmaths.h"
#include "win/wintext.h"
#include "window_win.h"

namespace {

VARIANT_BOOL vb(bool b) { return b ? VARIANT_TRUE : VARIANT_FALSE; }

bool finite(std::initializer_list<float> values) {
    return std::all_of(values.begin(), values.end(), [](float v) { return std::isfinite(v); });
}

HRESULT answer(BSTR* out, const std::string& text) {
    *out = win::AllocBstr(text);
    return *out ? S_OK : E_OUTOFMEMORY;
}

// A content language of two upper-case letters; the control's when none is given.
std::string languageOf(BSTR given, const char* control) {
    std::string l = win::AnsiOfBstr(given);
    if (l.empty()) l = control;
    for (char& c : l) c = char(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    return l;
}

}  // namespace

// ---- helpers of the exchange parts ----




std::string qivLocalFileName(const std::string& name) {
    std::string n = name;
    if (_strnicmp(n.c_str(), "file://", 7) == 0) n.erase(0, 7);
    if (n.find("://") != std::string::npos) return std::string();
    std::replace(n.begin(), n.end(), '/', '\\');
    return n;
}

bool qivReadMaterialFile(const std::string& path, MatInput* out) {
    char full[MAX_PATH] = {};
    const DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    if (n == 0 || n >= sizeof full || !FileExists(full)) return false;
    const std::string file = full;
    qivctl::IniLookup lookup = [&file](const std::string& section, const std::string& key, const std::string& def) {
        char value[qivctl::kIniValueMax + 1] = {};
        GetPrivateProfileStringA(section.c_str(), key.c_str(), def.c_str(), value, sizeof value, file.c_str());
        return std::string(value);
    };
    return qivctl::readMaterialIni(lookup, out);
}

// The saved-view lists that the object cache makes for its entries.
void* qivNewSavedViewList() { return new (std::nothrow) QivSavedViewList(); }
void qivFreeSavedViewList(void* list) { delete static_cast<QivSavedViewList*>(list); }

TexRecord* qivHostTexture(const std::string& name, const std::string& baseDirectory, const QivWindowParts& w,
                          const std::string& scope) {
    qivctl::TextureSearch local;
    local.cacheScope = scope;
    local.baseDirectory = baseDirectory;
    local.texturePath = w.texturePath;
    local.inhibitLocal = w.inhibitLocalTextures;
    local.source = qivctl::TextureNameSource::Host;
    qivctl::TextureUrlSearch remote;  // no downloads here
    const qivctl::TextureResolution r = qivctl::resolveTexture(name.c_str(), local, remote, FileExists);
    TexRecord* t = nullptr;
    if (r.kind == qivctl::TextureResolution::Cached) t = r.texture;
    if (r.kind == qivctl::TextureResolution::Files)
        for (const qivctl::TextureFileTry& f : r.files) {
            t = f.loader == qivctl::TextureLoader::Compressed ? LoadCompressedTexture(name, f.path, scope)
                                                               : LoadTextureFile(name, f.path, scope);
            if (t) break;
        }
    if (t) qivctl::TextureCacheHold(t);
    return t;
}

void CQivPlayerCtl::ExchangePartsDeleter::operator()(ExchangeParts* p) const { delete p; }

CQivPlayerCtl::ExchangeParts& CQivPlayerCtl::exchange() {
    if (!exchange_) exchange_.reset(new ExchangeParts(this));
    return *exchange_;
}

int32_t& CQivPlayerCtl::ClickState() { return exchange().clickState; }

IDropTarget* CQivPlayerCtl::DropTargetInterface() { return &exchange().dropTarget; }

bool CQivPlayerCtl::Ready() const { return state_.viewValid && state_.sceneRoots && !exporting_; }

QivObjectSlot* CQivPlayerCtl::CurrentObjectSlot() {
    const int32_t i = state_.currentSlot;
    if (i < 0 || i >= state_.usedCount || size_t(i) >= state_.slots.size() || !state_.slots[size_t(i)].inUse)
        return nullptr;
    return &state_.slots[size_t(i)];
}

bool CQivPlayerCtl::ApplyMaterial(int32_t slot, int64_t index, const MatInput& record) {
    if (slot < 0 || size_t(slot) >= state_.slots.size()) return false;
    ScnNode* node = state_.slots[size_t(slot)].node;
    if (!node || !node->content || !qivctl::materialIndexValid(index, node->content->materialCount)) return false;
    MatInput current{};
    if (!scnGetMaterialInfo(node, uint32_t(index), &current)) return false;
    MatInput r = record;
    r.area = current.area;
    int ok = 0;
    {
        QivRenderLockGuard lock;
        ok = scnReplaceMaterial(node, uint32_t(index), &r);
    }
    Redraw(true);
    return ok != 0;
}

bool CQivPlayerCtl::SetObjectTexture(int32_t slot, int64_t index, TexRecord* texture) {
    if (slot < 0 || size_t(slot) >= state_.slots.size()) return false;
    QivObjectSlot& s = state_.slots[size_t(slot)];
    if (!s.node || !s.node->content || !qivctl::materialIndexValid(index, s.node->content->areaCount)) return false;
    int ok = 0;
    {
        QivRenderLockGuard lock;
        ok = scnSetAreaMaterial(uint32_t(index), texture, s.node);
    }
    if (!ok) return false;
    if (s.textureHandles.size() < s.node->content->areaCount) s.textureHandles.resize(s.node->content->areaCount);
    // The caller's hold on the new texture replaces the slot's hold on the old one.
    TexRecord*& held = s.textureHandles[size_t(index)];
    if (held) qivctl::TextureCacheRelease(held);
    held = texture;
    Redraw(true);
    return true;
}

// ---- materials ----

STDMETHODIMP CQivPlayerCtl::GetMaterialCount(LONG* pVal) try {
    if (!pVal) return E_POINTER;
    const QivObjectSlot* s = CurrentObjectSlot();
    if (!s) return E_FAIL;
    *pVal = s->node && s->node->content ? LONG(s->node->content->materialCount) : 0;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::GetMaterial(LONG Index, LONG* colDifuse, LONG* colSpecular, float* alpha, float* coDifuse,
                                        float* coAmbient, float* coSpecular, LONG* flags, VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = VARIANT_FALSE;
    const QivObjectSlot* s = CurrentObjectSlot();
    if (!s) return E_FAIL;
    if (!s->node || !s->node->content || !qivctl::materialIndexValid(Index, s->node->content->materialCount))
        return S_OK;
    MatInput m{};
    if (!scnGetMaterialInfo(s->node, uint32_t(Index), &m)) return S_OK;
    if (colDifuse) *colDifuse = LONG(qivctl::materialColourOf(m.colDifuse));
    if (colSpecular) *colSpecular = LONG(qivctl::materialColourOf(m.colSpecular));
    if (alpha) *alpha = m.alpha;
    if (coDifuse) *coDifuse = m.coDifuse;
    if (coAmbient) *coAmbient = m.coAmbient;
    if (coSpecular) *coSpecular = m.coSpecular;
    if (flags) *flags = LONG(m.flags);
    *pVal = VARIANT_TRUE;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ReplaceMaterial(LONG Index, LONG colDifuse, LONG colSpecular, float alpha, float coDifuse,
                                            float coAmbient, float coSpecular, LONG flags, VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = VARIANT_FALSE;
    const QivObjectSlot* s = CurrentObjectSlot();
    if (!s || !s->node || !s->node->content || !finite({alpha, coDifuse, coAmbient, coSpecular})) return S_OK;
    if (!qivctl::materialIndexValid(Index, s->node->content->materialCount)) return S_OK;
    COLORREF diffuse = 0, specular = 0;
    if (FAILED(OleTranslateColor(OLE_COLOR(colDifuse), nullptr, &diffuse)) ||
        FAILED(OleTranslateColor(OLE_COLOR(colSpecular), nullptr, &specular)))
        return S_OK;
    MatInput current{};
    if (!scnGetMaterialInfo(s->node, uint32_t(Index), &current)) return S_OK;
    MatInput m = qivctl::materialFromArguments(diffuse, specular, alpha, coDifuse, coAmbient, coSpecular,
                                               uint32_t(flags), current.area);
    // The interface carries no exponent: the material keeps its highlight.
    m.specExp = current.specExp;
    std::memcpy(m.specCoeff, current.specCoeff, sizeof m.specCoeff);
    *pVal = vb(ApplyMaterial(state_.currentSlot, Index, m));
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ReplaceMaterialEx(LONG Index, LONG colDifuse, LONG colSpecular, float alpha,
                                              float coDifuse, float coAmbient, float coSpecular, LONG flags,
                                              float refractionCoef, VARIANT_BOOL* pVal) try {
    return ReplaceMaterial(Index, colDifuse, colSpecular, alpha, coDifuse, coAmbient, coSpecular,
                           LONG(qivctl::replaceMaterialExFlags(flags, refractionCoef)), pVal);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::LoadMaterial(LONG Index, BSTR MaterialFile, VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = VARIANT_FALSE;
    const QivObjectSlot* s = CurrentObjectSlot();
    const std::string name = win::AnsiOfBstr(MaterialFile);
    if (!s || !s->node || name.empty()) return S_OK;
    // A page that may not name local files: no file URL or share; its relative names lie
    // below the page and are downloaded.
    const bool belowPage = LocalNamesRefused();
    if ((belowPage && qivctl::namesLocalFile(name)) || !qivctl::fileNameAllowed(name)) return S_OK;
    MatInput m{};
    if (!qivctl::MaterialCacheFind(name, &m)) {
        const std::string local = belowPage ? std::string() : qivLocalFileName(name);
        // A material file at an address is applied when its download ends.
        if (local.empty()) QueueTransfer(qivctl::kTransferMaterial, {name}, state_.currentSlot, Index, name);
        if (local.empty() || !qivReadMaterialFile(local, &m)) return S_OK;
        qivctl::MaterialCacheAdd(name, m);
    }
    *pVal = vb(ApplyMaterial(state_.currentSlot, Index, m));
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::DragAndDropMaterial(LONG, LONG, float, float, float, float, LONG, float) { return S_OK; }

// ---- textures ----

STDMETHODIMP CQivPlayerCtl::GetTextureCount(LONG* pVal) try {
    if (!pVal) return E_POINTER;
    const QivObjectSlot* s = CurrentObjectSlot();
    *pVal = state_.viewValid && s && s->node && s->node->content ? LONG(s->node->content->areaCount) : 0;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::GetTexture(LONG Index, BSTR* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = nullptr;
    const QivObjectSlot* s = CurrentObjectSlot();
    if (!state_.viewValid || !s || !s->node || !s->node->content ||
        !qivctl::materialIndexValid(Index, s->node->content->areaCount))
        return S_OK;
    const TexRecord* t = s->node->areaTextures ? s->node->areaTextures[Index] : nullptr;
    if (!t) return answer(pVal, std::string());
    const char* name = nullptr;
    if (!picGetInfo(t, &name, nullptr, nullptr) || !name) return S_OK;
    return answer(pVal, name);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ReplaceTexture(LONG Index, BSTR TextureName, VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = VARIANT_FALSE;
    QivObjectSlot* s = CurrentObjectSlot();
    if (!s || !s->node || !s->node->content || !qivctl::materialIndexValid(Index, s->node->content->areaCount))
        return S_OK;
    const std::string name = win::AnsiOfBstr(TextureName);
    TexRecord* t = nullptr;
    if (!name.empty()) {
        // As for materials: a page that may not name local files has its names downloaded.
        const bool belowPage = LocalNamesRefused();
        if ((belowPage && qivctl::namesLocalFile(name)) || !qivctl::fileNameAllowed(name)) return S_OK;
        const std::string local = belowPage ? std::string() : qivLocalFileName(name);
        // A texture at an address replaces this one when its download ends (TextureChanged
        // then); the texture cache may hold it already.
        const std::string scope = qivctl::textureScopeOf(s->sourceName);
        if (local.empty()) {
            t = qivctl::TextureCacheFind(name, nullptr, nullptr, scope);
            if (t) qivctl::TextureCacheHold(t);
            else QueueTransfer(qivctl::kTransferSlotTexture, {name}, state_.currentSlot, Index, name, scope);
        } else {
            t = qivHostTexture(local, qivctl::objectBaseDirectory(local, s->sourceName), *win_, scope);
        }
        if (!t) return S_OK;
    }
    const int32_t slot = state_.currentSlot;
    if (!SetObjectTexture(slot, Index, t)) {
        if (t) qivctl::TextureCacheRelease(t);
        return S_OK;
    }
    if (!eventsFrozen()) FireTextureChanged(slot, -1, Index, std::wstring(TextureName ? TextureName : L""));
    *pVal = VARIANT_TRUE;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::SaveTextureToLocalFile(BSTR textureURL, BSTR localFile, VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = VARIANT_FALSE;
    const std::string url = win::AnsiOfBstr(textureURL), file = win::AnsiOfBstr(localFile);
    if (url.empty() || file.empty()) return S_OK;
    // A texture of the current object's, as its textures are cached.
    const QivObjectSlot* cur = CurrentObjectSlot();
    const std::string scope = cur ? qivctl::textureScopeOf(cur->sourceName) : std::string();
    if (!qivctl::TextureCacheFind(url, nullptr, nullptr, scope)) return S_OK;
    // An untrusted caller's name is a suggestion for the user's choice, saved as a ".bmp".
    std::string target = file;
    bool replace = false;
    if (CallerUntrusted() ? !AskSaveFile(file, IDS_SAVE_BITMAP, IDS_FILTER_BITMAP, ".bmp", &target, &replace)
                          : !qivctl::fileNameAllowed(file))
        return S_OK;
    char full[MAX_PATH] = {};
    char* part = nullptr;
    const DWORD n = GetFullPathNameA(target.c_str(), sizeof full, full, &part);
    if (n == 0 || n >= sizeof full || !part) return S_OK;
    // Written beside the file and renamed when complete: no partial file is left, and the
    // rename never replaces a file that came meanwhile unless the user agreed.
    const bool ok = qivctl::SaveCachedTexture(url, full, scope, replace) != 0;
    if (ok) MarkFileForCaller(full);
    *pVal = vb(ok);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

// ---- sub-objects ----

STDMETHODIMP CQivPlayerCtl::SubObjectCount(LONG* pVal) try {
    if (!pVal) return E_POINTER;
    const QivObjectSlot* s = CurrentObjectSlot();
    if (!s) return E_FAIL;
    uint32_t n = 0;
    *pVal = s->node && s->node->content && pelGetSubObjectCount(s->node->content, &n) ? LONG(n) : 0;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::GetSubObjectName(LONG Index, BSTR Language, BSTR* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = nullptr;
    const QivObjectSlot* s = CurrentObjectSlot();
    if (!s) return E_FAIL;
    if (!s->node || !s->node->content || Index < 0) return S_OK;
    const std::string language = languageOf(Language, state_.language);
    char* text = nullptr;
    const int found = pelGetSubObjectName(s->node->content, uint32_t(Index), language.c_str(), &text);
    HRESULT hr = S_OK;
    if (found && text) hr = answer(pVal, text);
    memFreeRefT(&text);
    return hr;
} catch (...) { return qcom::exceptionResult(); }

// ---- viewings ----

void CQivPlayerCtl::viewingOf(qivctl::Viewing* out) {
    // The camera as it stands, also before the first view (a camera without an eye distance
    // has no angle: 0).
    const CamRecord& c = state_.camera;
    if (!qivctl::viewingOfCamera({c.vrp.x, c.vrp.y, c.vrp.z}, {c.eye.x, c.eye.y, c.eye.z}, c.winXMin, c.winXMax,
                                 c.viewDist, camIsParallel(&c), out)) {
        out->vrp = {c.vrp.x, c.vrp.y, c.vrp.z};
        out->eye = {c.eye.x, c.eye.y, c.eye.z};
        out->tanHalfAngle = 0;
        out->parallel = camIsParallel(&c);
    }
}

HRESULT CQivPlayerCtl::setViewing(const qivctl::Viewing& v, bool ex) {
    if (!state_.viewValid) {
        // Taken over by the view reset when the first view is made.
        if (!props_.pending) props_.pending = std::make_unique<qivctl::PendingViewing>();
        const double values[6] = {v.vrp.x, v.vrp.y, v.vrp.z, v.eye.x, v.eye.y, v.eye.z};
        for (int axis = 0; axis < 6; ++axis)
            if (std::isfinite(values[axis])) qivctl::pendingSetCameraValue(*props_.pending, axis, float(values[axis]));
        return S_OK;
    }
    qivctl::ViewingPlan plan;
    if (!qivctl::planViewing(v, state_.frameWidth, state_.frameHeight, phiPsiLimits_, ex, &plan)) return S_OK;
    CamRecord c = state_.camera;
    c.vrp = {float(plan.vrp.x), float(plan.vrp.y), float(plan.vrp.z)};
    c.eye = {float(plan.eye.x), float(plan.eye.y), float(plan.eye.z)};
    if (plan.upRebuilt) c.up = {float(plan.up.x), float(plan.up.y), float(plan.up.z)};
    c.viewDist = float(plan.eyeDistance);
    c.winXMin = float(-plan.halfWidth), c.winXMax = float(plan.halfWidth);
    c.winYMin = float(-plan.halfHeight), c.winYMax = float(plan.halfHeight);
    if (ex) c.projKind = (c.projKind & CAM_KIND_MARK_MASK) | (plan.parallel ? 1u : 0u);
    if (!camIsParallel(&c)) {
        const Box3& box = win_->sceneBox;
        const Vec3 dir{c.vrp.x - c.eye.x, c.vrp.y - c.eye.y, c.vrp.z - c.eye.z};
        const Vec3 d{box.max.x - box.min.x, box.max.y - box.min.y, box.max.z - box.min.z};
        const float r = props_.walkthrough ? navStepBase(box, c.eye) : 0.0f;
        navClipDistances(box, c.eye, dir, r, std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z), &c.nearDist, &c.farDist);
    }
    // A camera the engine cannot build is refused whole: the view stays as it was.
    if (!camUpdate(&c)) return S_OK;
    // The engine puts the reference point back on the eye's line, off by its rounding.
    c.vrp = {float(plan.vrp.x), float(plan.vrp.y), float(plan.vrp.z)};
    state_.camera = c;
    const float phi = float(qivctl::wrapAngle(plan.phi)), psi = float(qivctl::wrapAngle(plan.psi));
    const bool turned = phi != state_.phi || psi != state_.psi;
    state_.phi = phi;
    state_.psi = psi;
    if (ex && turned) {
        FireOnChanged(qivdispid::Phi);
        FireOnChanged(qivdispid::Psi);
    }
    Redraw(true);
    return S_OK;
}

STDMETHODIMP CQivPlayerCtl::GetViewing3D(float* VRPx, float* VRPy, float* VRPz, float* EyeX, float* EyeY, float* EyeZ,
                                         float* tanViewAngleHalf, VARIANT_BOOL* pVal) try {
    VARIANT_BOOL parallel = VARIANT_FALSE;
    return GetViewing3DEx(VRPx, VRPy, VRPz, EyeX, EyeY, EyeZ, tanViewAngleHalf, &parallel, pVal);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::GetViewing3DEx(float* VRPx, float* VRPy, float* VRPz, float* EyeX, float* EyeY,
                                           float* EyeZ, float* tanViewAngleHalf, VARIANT_BOOL* parallel,
                                           VARIANT_BOOL* pVal) try {
    if (!VRPx || !VRPy || !VRPz || !EyeX || !EyeY || !EyeZ || !tanViewAngleHalf || !parallel || !pVal)
        return E_POINTER;
    qivctl::Viewing v;
    viewingOf(&v);
    *VRPx = float(v.vrp.x), *VRPy = float(v.vrp.y), *VRPz = float(v.vrp.z);
    *EyeX = float(v.eye.x), *EyeY = float(v.eye.y), *EyeZ = float(v.eye.z);
    *tanViewAngleHalf = float(v.tanHalfAngle);
    *parallel = vb(v.parallel);
    *pVal = VARIANT_TRUE;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::SetViewing3D(float VRPx, float VRPy, float VRPz, float EyeX, float EyeY, float EyeZ,
                                         float tanViewAngleHalf, VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = VARIANT_FALSE;
    qivctl::Viewing v;
    v.vrp = {VRPx, VRPy, VRPz};
    v.eye = {EyeX, EyeY, EyeZ};
    v.tanHalfAngle = tanViewAngleHalf;
    v.parallel = camIsParallel(&state_.camera);
    return setViewing(v, false);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::SetViewing3DEx(float VRPx, float VRPy, float VRPz, float EyeX, float EyeY, float EyeZ,
                                           float tanViewAngleHalf, VARIANT_BOOL parallel, VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = VARIANT_FALSE;
    qivctl::Viewing v;
    v.vrp = {VRPx, VRPy, VRPz};
    v.eye = {EyeX, EyeY, EyeZ};
    v.tanHalfAngle = tanViewAngleHalf;
    v.parallel = parallel != VARIANT_FALSE;
    return setViewing(v, true);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::SetPhiPsiRanges(float minPhi, float maxPhi, float minPsi, float maxPsi) try {
    phiPsiLimits_ = qivctl::phiPsiRanges(minPhi, maxPhi, minPsi, maxPsi);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

bool CQivPlayerCtl::AnglesAllowed(float phi, float psi) const {
    return std::isfinite(phi) && std::isfinite(psi) && qivctl::phiPsiAllowed(phiPsiLimits_, phi, psi);
}

// ---- predefined viewings (the saved views of the first object) ----

namespace {

const QivSavedViewList* savedViewsOf(const QivControlState& s) {
    for (int32_t i = 0; i < s.usedCount && size_t(i) < s.slots.size(); ++i) {
        const QivObjectSlot& slot = s.slots[size_t(i)];
        if (slot.inUse && slot.node && slot.node->content)
            return static_cast<const QivSavedViewList*>(qivctl::ObjectCacheSavedViews(slot.node->content));
    }
    return nullptr;
}

bool predefinedViewing(const QivControlState& s, LONG id, qivctl::Viewing* out) {
    const QivSavedViewList* list = savedViewsOf(s);
    if (!list || id < 0 || size_t(id) >= list->views.size()) return false;
    const QivSavedView& r = list->views[size_t(id)];
    out->vrp = {r.values[0], r.values[1], r.values[2]};
    out->eye = {r.values[3], r.values[4], r.values[5]};
    out->tanHalfAngle = r.values[6];
    out->parallel = r.flag != 0;
    return true;
}

}  // namespace

STDMETHODIMP CQivPlayerCtl::NumberOfPredefinedViewings(LONG* pVal) try {
    if (!pVal) return E_POINTER;
    const QivSavedViewList* list = savedViewsOf(state_);
    *pVal = list ? LONG(std::min<size_t>(list->views.size(), 0x7FFFFFFF)) : 0;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::NameOfPredefinedViewing(LONG viewingID, BSTR Language, BSTR* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = nullptr;
    const QivSavedViewList* list = savedViewsOf(state_);
    if (!list || viewingID < 0 || size_t(viewingID) >= list->views.size() || list->names.size() > 0xFFFFFFFFu)
        return S_OK;
    const std::string language = languageOf(Language, state_.language);
    char* text = nullptr;
    pelGetLangText(reinterpret_cast<const char*>(list->names.data()), uint32_t(list->names.size()), language.c_str(),
                   1, uint32_t(viewingID), &text);
    const HRESULT hr = answer(pVal, text ? text : "");
    memFreeRefT(&text);
    return hr;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::GetPredefinedViewing(LONG viewingID, float* VRPx, float* VRPy, float* VRPz, float* EyeX,
                                                 float* EyeY, float* EyeZ, float* tanViewAngleHalf,
                                                 VARIANT_BOOL* parallel, VARIANT_BOOL* pVal) try {
    if (!VRPx || !VRPy || !VRPz || !EyeX || !EyeY || !EyeZ || !tanViewAngleHalf || !parallel || !pVal)
        return E_POINTER;
    *pVal = VARIANT_FALSE;
    qivctl::Viewing v;
    if (!predefinedViewing(state_, viewingID, &v)) return S_OK;
    *VRPx = float(v.vrp.x), *VRPy = float(v.vrp.y), *VRPz = float(v.vrp.z);
    *EyeX = float(v.eye.x), *EyeY = float(v.eye.y), *EyeZ = float(v.eye.z);
    *tanViewAngleHalf = float(v.tanHalfAngle);
    *parallel = vb(v.parallel);
    *pVal = VARIANT_TRUE;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::SetPredefinedViewing(LONG viewingID, VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = VARIANT_FALSE;
    qivctl::Viewing v;
    if (!predefinedViewing(state_, viewingID, &v)) return S_OK;
    return setViewing(v, true);
} catch (...) { return qcom::exceptionResult(); }

// ---- texts ----

STDMETHODIMP CQivPlayerCtl::GetMaterialAsString(LONG Index, BSTR* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = nullptr;
    LONG dif = 0, specular = 0, flags = 0;
    float alpha = 0, coDif = 0, coAmb = 0, coSpec = 0;
    VARIANT_BOOL ok = VARIANT_FALSE;
    if (FAILED(GetMaterial(Index, &dif, &specular, &alpha, &coDif, &coAmb, &coSpec, &flags, &ok)) || !ok) return S_OK;
    return answer(pVal, qivctl::materialAsString(dif, specular, alpha, coDif, coAmb, coSpec, flags));
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::GetAnimationParametersAsString(BSTR* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = nullptr;
    float length = 0, rate = 0;
    LONG count = 0;
    VARIANT_BOOL ok = VARIANT_FALSE;
    if (FAILED(GetAnimationParameters(&length, &rate, &count, &ok))) return S_OK;
    return answer(pVal, qivctl::animationParametersAsString(length, rate, count));
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::GetSubAnimationInfoAsString(LONG Index, BSTR* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = nullptr;
    BSTR name = nullptr;
    float start = 0, end = 0;
    VARIANT_BOOL ok = VARIANT_FALSE;
    const HRESULT hr = GetSubAnimationInfo(Index, &name, &start, &end, &ok);
    const std::string ansi = win::AnsiOfBstr(name);
    SysFreeString(name);
    if (FAILED(hr) || !ok) return S_OK;
    return answer(pVal, qivctl::subAnimationInfoAsString(ansi, start, end));
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::GetViewing3DExAsString(BSTR* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = nullptr;
    float x[7] = {};
    VARIANT_BOOL parallel = VARIANT_FALSE, ok = VARIANT_FALSE;
    if (FAILED(GetViewing3DEx(&x[0], &x[1], &x[2], &x[3], &x[4], &x[5], &x[6], &parallel, &ok)) || !ok) return S_OK;
    qivctl::Viewing v;
    v.vrp = {x[0], x[1], x[2]};
    v.eye = {x[3], x[4], x[5]};
    v.tanHalfAngle = x[6];
    v.parallel = parallel != VARIANT_FALSE;
    return answer(pVal, qivctl::viewingAsString(v));
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::GetPredefinedViewingAsString(LONG viewingID, BSTR* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = nullptr;
    qivctl::Viewing v;
    if (!predefinedViewing(state_, viewingID, &v)) return S_OK;
    return answer(pVal, qivctl::viewingAsString(v));
} catch (...) { return qcom::exceptionResult(); }

// ---- drops ----

STDMETHODIMP CQivPlayerCtl::get_DragDropEnabled(LONG* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = dragDropEnabled_;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::put_DragDropEnabled(LONG newVal) try {
    dragDropEnabled_ = newVal;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

// Persistence of the control in host documents: the property stream (IPersistStreamInit and
// the storage's "Contents" stream), the property bag, and the compound-document storage with
// the object, its textures and the background picture saved beside the properties. Every
// value is read through its property's get and applied through its put, by DISPID through
// the control's own IDispatch.
#include <windows.h>
#include <objidl.h>
#include <ocidl.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "backend_win.h"
#include "caches.h"
#include "container_win.h"
#include "ctlmodule_win.h"
#include "download_win.h"
#include "qivctl_win.h"
#include "texpaths.h"
#include "scene/texture.h"
#include "transfers.h"
#include "useropts_win.h"
#include "win/wintext.h"
#include "window_win.h"

using qivctl::PersistProperty;
using qivctl::PersistRecord;
using qivctl::PersistStatus;
using qivctl::PersistType;
using qivctl::PersistValue;

namespace {

constexpr uint64_t kMaxTextureRecords = 65536;


// IStream as the codec's source; the bytes left come from Stat and the position.
class StreamSource : public qivctl::PersistSource {
public:
    explicit StreamSource(IStream* s) : s_(s) {
        STATSTG st{};
        LARGE_INTEGER zero{};
        ULARGE_INTEGER pos{};
        if (SUCCEEDED(s->Stat(&st, STATFLAG_NONAME)) && SUCCEEDED(s->Seek(zero, STREAM_SEEK_CUR, &pos)))
            left_ = st.cbSize.QuadPart >= pos.QuadPart ? st.cbSize.QuadPart - pos.QuadPart : 0;
    }
    size_t read(uint8_t* dst, size_t n) override {
        const ULONG want = ULONG(std::min<size_t>(n, 1u << 20));
        ULONG got = 0;
        const HRESULT hr = s_->Read(dst, want, &got);
        if (FAILED(hr)) {
            error_ = hr;
            return 0;
        }
        got = std::min(got, want);
        if (left_ != UINT64_MAX) left_ -= std::min<uint64_t>(left_, got);
        return got;
    }
    uint64_t remaining() const override { return left_; }
    HRESULT error() const { return error_; }

private:
    IStream* s_;
    uint64_t left_ = UINT64_MAX;
    HRESULT error_ = S_OK;
};

HRESULT statusResult(PersistStatus s, const StreamSource& src) {
    // A failed read ends the records like the end of the data; its error is the answer.
    if ((s == PersistStatus::Ok || s == PersistStatus::Truncated) && FAILED(src.error())) return src.error();
    return s == PersistStatus::Ok ? S_OK : E_FAIL;
}

// A VARIANT as the value of a row. Texts are read in the invariant format, whatever the
// user's locale; numbers of other types are converted without a locale.
bool valueOfVariant(const VARIANT& in, PersistType type, PersistValue* out) {
    VARIANT v;
    VariantInit(&v);
    if (FAILED(VariantCopyInd(&v, const_cast<VARIANT*>(&in)))) return false;
    bool ok = false;
    if (V_VT(&v) == VT_BSTR) {
        const BSTR b = V_BSTR(&v);
        std::u16string text(reinterpret_cast<const char16_t*>(b ? b : L""), b ? SysStringLen(b) : 0);
        ok = qivctl::persistValueFromText(type, text, out);
    } else if (type == PersistType::String) {
        if (V_VT(&v) == VT_EMPTY || V_VT(&v) == VT_NULL) {
            *out = PersistValue::ofString(std::u16string());
            ok = true;
        } else if (SUCCEEDED(VariantChangeTypeEx(&v, &v, LOCALE_INVARIANT, 0, VT_BSTR))) {
            const BSTR b = V_BSTR(&v);
            *out = PersistValue::ofString(
                std::u16string(reinterpret_cast<const char16_t*>(b ? b : L""), b ? SysStringLen(b) : 0));
            ok = true;
        }
    } else if (type == PersistType::Long && (V_VT(&v) == VT_UI4 || V_VT(&v) == VT_UINT)) {
        *out = PersistValue::ofLong(int32_t(V_UI4(&v)));  // colours and masks keep their bits
        ok = true;
    } else if (type == PersistType::Long && V_VT(&v) == VT_R8 && V_R8(&v) >= 2147483648.0 &&
               V_R8(&v) <= 4294967295.0 && V_R8(&v) == double(uint32_t(V_R8(&v)))) {
        *out = PersistValue::ofLong(int32_t(uint32_t(V_R8(&v))));
        ok = true;
    } else {
        const VARTYPE want = type == PersistType::Long ? VT_I4 : type == PersistType::Float ? VT_R4 : VT_BOOL;
        if (SUCCEEDED(VariantChangeTypeEx(&v, &v, LOCALE_INVARIANT, 0, want))) {
            if (type == PersistType::Long) *out = PersistValue::ofLong(V_I4(&v));
            if (type == PersistType::Float) *out = PersistValue::ofFloat(V_R4(&v));
            if (type == PersistType::Bool) {
                *out = PersistValue();
                out->type = PersistType::Bool;
                out->b = V_BOOL(&v);
            }
            ok = true;
        }
    }
    VariantClear(&v);
    return ok;
}

// The VARIANT of a row's type that a put or a bag takes.
void variantOfValue(const PersistValue& value, VARIANT* v) {
    VariantInit(v);
    switch (value.type) {
        case PersistType::Long: V_VT(v) = VT_I4, V_I4(v) = value.i; break;
        case PersistType::Float: V_VT(v) = VT_R4, V_R4(v) = value.f; break;
        case PersistType::Bool: V_VT(v) = VT_BOOL, V_BOOL(v) = value.b; break;
        case PersistType::String:
            V_VT(v) = VT_BSTR;
            V_BSTR(v) = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(value.s.data()), UINT(value.s.size()));
            break;
    }
}

// A file's bytes into a stream through a read-only view of the whole file.
HRESULT copyFileToStream(const std::string& path, IStream* stream) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return E_FAIL;
    LARGE_INTEGER size{};
    HRESULT hr = GetFileSizeEx(f, &size) ? S_OK : E_FAIL;
    if (SUCCEEDED(hr) && size.QuadPart > 0) {
        HANDLE m = uint64_t(size.QuadPart) <= SIZE_MAX ? CreateFileMappingA(f, nullptr, PAGE_READONLY, 0, 0, nullptr) : nullptr;
        const void* view = m ? MapViewOfFile(m, FILE_MAP_READ, 0, 0, 0) : nullptr;
        hr = view ? WriteStreamFully(stream, view, size_t(size.QuadPart)) : E_FAIL;
        if (view) UnmapViewOfFile(view);
        if (m) CloseHandle(m);
    }
    CloseHandle(f);
    return hr;
}

// A stream's bytes from its position to its end into a new file, piece by piece.
bool copyStreamToFile(IStream* stream, const std::string& path) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    std::vector<uint8_t> piece(1 << 16);
    bool ok = true;
    for (;;) {
        ULONG got = 0;
        if (FAILED(stream->Read(piece.data(), ULONG(piece.size()), &got))) {
            ok = false;
            break;
        }
        if (got == 0) break;
        DWORD wrote = 0;
        got = std::min<ULONG>(got, ULONG(piece.size()));
        if (!WriteFile(f, piece.data(), got, &wrote, nullptr) || wrote != got) {
            ok = false;
            break;
        }
    }
    ok = CloseHandle(f) && ok;
    if (!ok) DeleteFileA(path.c_str());
    return ok;
}

// A texture as an 8-bit BMP file in a temporary file, copied into the stream.
HRESULT copyTextureToStream(const TexRecord* texture, IStream* stream) {
    std::string key;
    float sx = 1, sy = 1;
    if (!qivctl::TextureCacheKeyOf(texture, &key, &sx, &sy)) return E_FAIL;
    const std::string temp = qivTempFile("BMP");
    if (temp.empty()) return E_FAIL;
    HRESULT hr = picWriteBmp(texture, sx, sy, temp.c_str()) ? copyFileToStream(temp, stream) : E_FAIL;
    DeleteFileA(temp.c_str());
    return hr;
}

HRESULT createStream(IStorage* storage, const char* name, IStream** out) {
    const std::wstring w(name, name + std::strlen(name));
    return storage->CreateStream(w.c_str(), STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0, out);
}

HRESULT openStream(IStorage* storage, const char* name, IStream** out) {
    const std::wstring w(name, name + std::strlen(name));
    return storage->OpenStream(w.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, out);
}

}  // namespace

TexRecord* AddTextureFromStream(const std::string& name, IStream* stream, const std::string& scope) {
    if (!stream) return nullptr;
    const std::string picture = qivTempFile("BMP");
    if (picture.empty()) return nullptr;
    TexRecord* t = copyStreamToFile(stream, picture) ? LoadTextureFile(name, picture, scope) : nullptr;
    DeleteFileA(picture.c_str());
    return t;
}

// ---- the kept document object ----

QivDocumentState::QivDocumentState() {
    static std::atomic<uint32_t> serial{0};
    const uint32_t n = ++serial;
    inlineName = qivctl::inlineObjectName(n);
    containerName = "qiv-doc:" + std::to_string(n);
}

QivDocumentState::~QivDocumentState() {
    deleteTempFiles();
    if (!pictureCopy.empty()) DeleteFileA(pictureCopy.c_str());
}

void QivDocumentState::deleteTempFiles() {
    for (const std::string& f : tempFiles) DeleteFileA(f.c_str());
    tempFiles.clear();
}

bool qivParseWholeContainer(const std::vector<uint8_t>& bytes, QivParsedContainer* out) {
    if (!qivIsContainer(bytes.data(), bytes.size())) return false;
    QivContainerReader reader;
    if (reader.feed(bytes.data(), bytes.size(), bytes.size()) != QivContainerReader::Status::Complete) return false;
    out->fileTime = reader.container().fileTime;
    out->payloadSize = reader.payloadHeader().payloadSize;
    out->kept = reader.takeKept();
    out->payload = reader.takePayload();
    if (out->kept.stored) out->kept.payload = out->payload.get();
    return true;
}

bool CQivPlayerCtl::keptIsCurrent(const QivKeptObject& kept) const {
    if (kept.bytes.empty()) return false;
    const int32_t c = state_.currentSlot;
    if (c < 0 || size_t(c) >= state_.slots.size() || !state_.slots[size_t(c)].inUse)
        return state_.objectURL == kept.url;
    return state_.slots[size_t(c)].sourceName == kept.sourceName;
}

// A container taken from the document counts while the load's kept container is still the
// one it brought; inline data that is an object file has no container.
bool CQivPlayerCtl::CurrentIsInline() const {
    const std::vector<uint8_t>& b = doc_->inlineData.bytes;
    return keptIsCurrent(doc_->inlineData) &&
           (!qivIsContainer(b.data(), b.size()) || KeptContainerFrom(doc_->inlineData.sourceName));
}

bool CQivPlayerCtl::CurrentIsDocumentContainer() const {
    return keptIsCurrent(doc_->container) && KeptContainerFrom(doc_->container.sourceName);
}

bool CQivPlayerCtl::InlineContainer(std::vector<uint8_t>* out) {
    if (CurrentIsInline()) {
        *out = doc_->inlineData.bytes;
        return !out->empty();
    }
    const int32_t c = state_.currentSlot;
    if (c < 0 || size_t(c) >= state_.slots.size() || !state_.slots[size_t(c)].inUse) return false;
    return CompactContainerOf(state_.slots[size_t(c)].sourceName, out);
}

void CQivPlayerCtl::RecordDocumentLocation() {
    IOleClientSite* site = clientSite();
    if (!site) return;
    qcom::ComPtr<IMoniker> mk;
    if (FAILED(site->GetMoniker(OLEGETMONIKER_ONLYIFTHERE, OLEWHICHMK_CONTAINER, mk.put())) || !mk) return;
    qcom::ComPtr<IBindCtx> bc;
    if (FAILED(CreateBindCtx(0, bc.put()))) return;
    LPOLESTR name = nullptr;
    if (FAILED(mk->GetDisplayName(bc.get(), nullptr, &name)) || !name) return;
    doc_->address = win::Ansi(name, wcslen(name));
    CoTaskMemFree(name);
    doc_->folder = qivctl::documentFolderOf(doc_->address);
    if (doc_->folder.empty()) {
        char cwd[MAX_PATH] = {};
        const DWORD n = GetCurrentDirectoryA(sizeof cwd, cwd);
        if (n > 0 && n < sizeof cwd) doc_->folder = cwd;
    }
    // Relative object and texture names are found below the document's folder.
    win_->workingDirectory = doc_->folder;
}

// ---- property values through the control's own dispatch ----

bool CQivPlayerCtl::getPersisted(DISPID id, PersistValue* out) {
    const PersistProperty* row = qivctl::persistPropertyByDispid(id);
    if (!row) return false;
    IDispatch* self = static_cast<IQivPlayer2*>(this);
    DISPPARAMS none{};
    VARIANT v;
    VariantInit(&v);
    const HRESULT hr = self->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &v, nullptr,
                                    nullptr);
    const bool ok = SUCCEEDED(hr) && valueOfVariant(v, row->type, out);
    VariantClear(&v);
    return ok;
}

HRESULT CQivPlayerCtl::putPersisted(const PersistRecord& record, bool urlOnly) {
    if (record.dispid == qivdispid::ObjectURL && urlOnly) {
        // The object came with the document: ObjectURL only names it.
        const std::u16string& s = record.value.s;
        std::string url = win::Ansi(reinterpret_cast<const wchar_t*>(s.data()), s.size());
        if (url.size() > qivctl::kObjectUrlMax) return E_INVALIDARG;
        if (CurrentIsInline()) {
            qivctl::ObjectCacheRenameInline(doc_->inlineName, url);
            doc_->inlineData.url = url;
        }
        if (url == state_.objectURL) return S_OK;
        state_.objectURL = url;
        FireOnChanged(qivdispid::ObjectURL);
        FireOnChanged(qivdispid::ObjectUID);
        return S_OK;
    }
    IDispatch* self = static_cast<IQivPlayer2*>(this);
    VARIANT arg;
    variantOfValue(record.value, &arg);
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&arg, &named, 1, 1};
    HRESULT hr = self->Invoke(record.dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr,
                              nullptr, nullptr);
    if ((hr == DISP_E_OVERFLOW || hr == DISP_E_TYPEMISMATCH) && V_VT(&arg) == VT_I4) {
        // An unsigned property (a colour) takes the same bits.
        V_VT(&arg) = VT_UI4;
        hr = self->Invoke(record.dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr,
                          nullptr, nullptr);
    }
    VariantClear(&arg);
    return hr;
}

// ---- the property stream ----

std::vector<PersistRecord> CQivPlayerCtl::persistedRecords() {
    qivctl::PersistSaveContext c;
    PersistValue walk;
    c.walkthrough = getPersisted(41, &walk) && walk.isTrue();
    c.saveFilesAtStart = state_.saveFiles[1] != 0;
    LCID lcid = GetUserDefaultLCID(), ambient = 0;
    if (clientSite() && ambientLocale(ambient)) lcid = ambient;
    char iso[16] = {}, lang[3] = {};
    if (!GetLocaleInfoA(lcid, LOCALE_SISO639LANGNAME, iso, sizeof iso)) iso[0] = 0;
    qivLanguageFromIso639(iso, lang);
    c.languageAtStart = std::u16string(lang, lang + 2);
    const std::wstring preview = qivLoadStringW(IDS_SWITCH_TO_2D), threeD = qivLoadStringW(IDS_SWITCH_TO_3D);
    c.defaultMenuPreview.assign(preview.begin(), preview.end());
    c.defaultMenu3D.assign(threeD.begin(), threeD.end());
    const QivWindowParts startWindow;
    const QivControlState startState;
    c.rayTraceButtonDefault = startWindow.rayTraceButton;
    c.hideControlsDefault = startWindow.hideControls;
    c.localSaveDefault = startState.localSaveAllowed;
    c.filterDefault = startWindow.filter;
    return qivctl::persistRecordsOfKnown(
        [this](const PersistProperty& row, PersistValue* v) { return getPersisted(row.dispid, v); }, c);
}

std::vector<uint8_t> CQivPlayerCtl::propertyStreamBytes() {
    qivctl::PersistStreamData d;
    d.extentX = extent().cx;
    d.extentY = extent().cy;
    d.records = persistedRecords();
    if (CurrentIsInline()) {
        d.kind = qivctl::kPersistKindInline;
        d.inlineData = doc_->inlineData.bytes;
    }
    return qivctl::encodePersistStream(d);
}

HRESULT CQivPlayerCtl::onSaveStream(IStream* stream) {
    // The renderer is chosen before the properties are taken.
    InitDisplayBackend(state_.language, &state_.rendererKind);
    if (!state_.rendererKind) return E_FAIL;
    const std::vector<uint8_t> bytes = propertyStreamBytes();
    HRESULT hr = WriteStreamFully(stream, bytes.data(), bytes.size());
    if (FAILED(hr)) return hr;
    // Cut the stream here, so that nothing of a longer earlier content remains.
    LARGE_INTEGER zero{};
    ULARGE_INTEGER pos{};
    if (SUCCEEDED(stream->Seek(zero, STREAM_SEEK_CUR, &pos))) stream->SetSize(pos);
    return S_OK;
}

HRESULT CQivPlayerCtl::onGetSizeMax(ULARGE_INTEGER* size) {
    size->QuadPart = propertyStreamBytes().size();
    return S_OK;
}

HRESULT CQivPlayerCtl::onInitNew() {
    RecordDocumentLocation();
    return S_OK;
}

HRESULT CQivPlayerCtl::onLoadStream(IStream* stream) {
    RecordDocumentLocation();
    return loadPropertyStream(stream, false);
}

bool CQivPlayerCtl::showDocumentContainer(const std::vector<uint8_t>& bytes, const std::string& name) {
    // The load shows the object and fires ObjectLoaded itself.
    const bool ok = LoadContainerBytes(bytes, name, true) != 0;
    doc_->loadedSource = ok ? name : std::string();
    doc_->loadedFrom.clear();
    RefreshBarState();
    Redraw(true);
    return ok;
}

int CQivPlayerCtl::showDocumentObject(const std::string& file, const std::string& sourceName, bool expand) {
    // A compressed object file is expanded first, as a local file is.
    std::string shown = file;
    if (expand) {
        std::string copy = qivExpandToTemp(file, "VOV");
        if (!copy.empty()) {
            doc_->tempFiles.push_back(copy);
            shown = copy;
        }
    }
    const int ok = LoadLocalFile(shown.c_str(), sourceName.c_str(), true);
    doc_->loadedSource = ok ? sourceName : std::string();
    doc_->loadedFrom = ok ? shown : std::string();
    RefreshBarState();
    Redraw(true);
    if (ok) FireObjectLoaded(state_.currentSlot);
    return ok;
}

HRESULT CQivPlayerCtl::loadPropertyStream(IStream* stream, bool objectFollows) {
    StreamSource src(stream);
    qivctl::PersistLoadResult r;
    const PersistStatus status = qivctl::decodePersistStream(src, &r);
    bool shown = false;
    if (r.kind == qivctl::kPersistKindInline && !r.inlineData.empty()) {
        // Inline object data: shown from memory under this control's own name.
        doc_->deleteTempFiles();
        doc_->inlineData.clear();
        doc_->container.clear();
        const bool container = qivIsContainer(r.inlineData.data(), r.inlineData.size()) != 0;
        if (container) shown = showDocumentContainer(r.inlineData, doc_->inlineName);
        // An object file in the data is read from a temporary copy.
        const std::string temp = container ? std::string() : qivTempFile("VOV");
        HANDLE f = temp.empty() ? INVALID_HANDLE_VALUE
                                : CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                              FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f != INVALID_HANDLE_VALUE) {
            doc_->tempFiles.push_back(temp);
            DWORD wrote = 0;
            const bool whole = WriteFile(f, r.inlineData.data(), DWORD(r.inlineData.size()), &wrote, nullptr) &&
                               wrote == r.inlineData.size();
            CloseHandle(f);
            if (whole) shown = showDocumentObject(temp, doc_->inlineName, false) != 0;
        }
        doc_->inlineData.bytes = std::move(r.inlineData);
        doc_->inlineData.sourceName = doc_->inlineName;
        doc_->inlineData.url = state_.objectURL;
    }
    if (r.haveExtent && r.extentX > 0 && r.extentY > 0) {
        SIZEL e{r.extentX, r.extentY};
        SetExtent(DVASPECT_CONTENT, &e);
    }
    const bool urlOnly = objectFollows || (r.kind == qivctl::kPersistKindInline && shown);
    for (const PersistRecord& rec : r.records) putPersisted(rec, urlOnly);
    return statusResult(status, src);
}

// ---- the property bag ----

HRESULT CQivPlayerCtl::onLoadPropertyBag(IPropertyBag* bag, IErrorLog* log) {
    RecordDocumentLocation();
    for (const PersistProperty& row : qivctl::persistPropertyMap()) {
        const std::wstring name(row.name, row.name + std::strlen(row.name));
        VARIANT v;
        VariantInit(&v);
        PersistRecord rec;
        rec.dispid = row.dispid;
        // Names missing from the bag, and values that do not fit the type, keep their defaults.
        if (SUCCEEDED(bag->Read(name.c_str(), &v, log)) && valueOfVariant(v, row.type, &rec.value)) {
            rec.value.type = row.type;
            putPersisted(rec, false);
        }
        VariantClear(&v);
    }
    return S_OK;
}

HRESULT CQivPlayerCtl::onSavePropertyBag(IPropertyBag* bag, bool) {
    for (const PersistRecord& rec : persistedRecords()) {
        const PersistProperty* row = qivctl::persistPropertyByDispid(rec.dispid);
        const std::wstring name(row->name, row->name + std::strlen(row->name));
        VARIANT v;
        variantOfValue(rec.value, &v);
        const HRESULT hr = bag->Write(name.c_str(), &v);
        VariantClear(&v);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

// ---- the storage ----

HRESULT CQivPlayerCtl::onSaveStorage(IStorage* storage, bool) {
    HRESULT hr = saveContentsStream(storage);
    if (FAILED(hr)) return hr;
    return saveOwnElements(storage);
}

HRESULT CQivPlayerCtl::saveOwnElements(IStorage* storage) {
    // A background picture named but not at hand fails the save before any old element goes,
    // so that the document keeps the picture it holds.
    const std::string backPicture = BackPictureFile();
    if (state_.saveFiles[0] && !downloads().backPictureUrl.empty() && backPicture.empty()) return E_FAIL;
    // Old elements go first, whether files are saved or not: a stale object would be shown
    // in place of the one ObjectURL names.
    for (const char* name : qivctl::kStorageOwnElements) {
        const std::wstring w(name, name + std::strlen(name));
        const HRESULT hr = storage->DestroyElement(w.c_str());
        if (FAILED(hr) && hr != STG_E_FILENOTFOUND) return hr;
    }
    const QivObjectSlot* slot = nullptr;
    if (state_.currentSlot >= 0 && size_t(state_.currentSlot) < state_.slots.size() &&
        state_.slots[size_t(state_.currentSlot)].inUse)
        slot = &state_.slots[size_t(state_.currentSlot)];
    // The container the object came from: kept from the document or received inline.
    const QivKeptObject* container = nullptr;
    if (CurrentIsDocumentContainer())
        container = &doc_->container;
    else if (CurrentIsInline() && qivIsContainer(doc_->inlineData.bytes.data(), doc_->inlineData.bytes.size()))
        container = &doc_->inlineData;
    // Only the file the current object was really read from, never whatever ObjectURL names.
    std::string objectFile;
    if (slot && slot->node && FileExists(qivctl::localPathOfUrl(slot->sourceName)))
        objectFile = qivctl::localPathOfUrl(slot->sourceName);
    std::vector<std::pair<int32_t, const TexRecord*>> textures;
    if (slot)
        for (size_t i = 0; i < slot->textureHandles.size(); ++i)
            if (slot->textureHandles[i]) textures.emplace_back(int32_t(i), slot->textureHandles[i]);
    const qivctl::StorageSavePlan plan = qivctl::planStorageSave(
        state_.saveFiles[0] != 0, container != nullptr, !objectFile.empty(), textures.size(), !backPicture.empty());

    qcom::ComPtr<IStream> s;
    HRESULT hr = S_OK;
    if (plan.qiv) {
        hr = createStream(storage, "Qiv", s.put());
        if (SUCCEEDED(hr)) {
            const std::vector<uint8_t> bytes = qivctl::encodeLengthPrefixed(container->bytes);
            hr = WriteStreamFully(s.get(), bytes.data(), bytes.size());
        }
        if (FAILED(hr)) return hr;
    }
    if (plan.object) {
        hr = createStream(storage, "Object", s.put());
        if (SUCCEEDED(hr)) hr = copyFileToStream(objectFile, s.get());
        if (FAILED(hr)) return hr;
    }
    if (plan.textures) {
        qcom::ComPtr<IStorage> sub;
        hr = storage->CreateStorage(L"Textures", STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, sub.put());
        if (FAILED(hr)) return hr;
        std::vector<uint8_t> index;
        for (const auto& [i, t] : textures) {
            std::string name;
            if (t->name) {
                name = t->name;
            } else {
                float sx, sy;
                qivctl::TextureCacheKeyOf(t, &name, &sx, &sy);
            }
            qivctl::appendTextureIndexRecord(index, i, name);
        }
        hr = createStream(sub.get(), "Index", s.put());
        if (SUCCEEDED(hr)) hr = WriteStreamFully(s.get(), index.data(), index.size());
        for (size_t k = 0; SUCCEEDED(hr) && k < textures.size(); ++k) {
            hr = createStream(sub.get(), qivctl::textureStreamName(textures[k].first).c_str(), s.put());
            if (SUCCEEDED(hr)) hr = copyTextureToStream(textures[k].second, s.get());
        }
        s.reset();
        if (SUCCEEDED(hr)) hr = sub->Commit(STGC_DEFAULT);
        if (FAILED(hr)) return hr;
    }
    if (plan.backPicture) {
        hr = createStream(storage, "BackPicture", s.put());
        if (SUCCEEDED(hr)) hr = copyFileToStream(backPicture, s.get());
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT CQivPlayerCtl::onLoadStorage(IStorage* storage) {
    RecordDocumentLocation();
    qcom::ComPtr<IStream> contents, probe;
    HRESULT hr = openStream(storage, "Contents", contents.put());
    if (FAILED(hr)) return hr;
    // With the object in the storage, ObjectURL only names it.
    const bool objectFollows =
        SUCCEEDED(openStream(storage, "Qiv", probe.put())) || SUCCEEDED(openStream(storage, "Object", probe.put()));
    probe.reset();
    hr = loadPropertyStream(contents.get(), objectFollows);
    if (FAILED(hr)) return hr;
    // The background picture saved with the document, under the BackPictureURL it names.
    qcom::ComPtr<IStream> picture;
    if (!downloads().backPictureUrl.empty() && SUCCEEDED(openStream(storage, "BackPicture", picture.put()))) {
        // The stream's bytes through the LZ expansion; the expanded copy stays while the
        // control lives: it is the file the picture was read from, saved again with the document.
        const std::string packed = qivTempFile("BMS");
        const std::string temp =
            !packed.empty() && copyStreamToFile(picture.get(), packed) ? qivExpandToTemp(packed, "BMP") : std::string();
        if (!packed.empty()) DeleteFileA(packed.c_str());
        if (!temp.empty()) {
            if (!doc_->pictureCopy.empty()) DeleteFileA(doc_->pictureCopy.c_str());
            doc_->pictureCopy = temp;
            if (SetBackgroundPictureFile(temp)) downloads().backPictureFile = temp;
        }
    }
    hr = loadOwnElements(storage);
    // An object the storage did not bring is loaded from where ObjectURL names it.
    StartURLLoad();
    return hr;
}

HRESULT CQivPlayerCtl::loadOwnElements(IStorage* storage) {
    qcom::ComPtr<IStream> s;
    if (SUCCEEDED(openStream(storage, "Qiv", s.put()))) {
        std::vector<uint8_t> bytes;
        HRESULT hr = qivReadContainerFromStream(s.get(), &bytes);
        if (FAILED(hr)) return hr;
        doc_->deleteTempFiles();
        doc_->inlineData.clear();
        doc_->container.bytes = std::move(bytes);
        doc_->container.sourceName = doc_->containerName;
        doc_->container.url = state_.objectURL;
        showDocumentContainer(doc_->container.bytes, doc_->containerName);
        return S_OK;
    }
    if (FAILED(openStream(storage, "Object", s.put()))) return S_OK;
    doc_->deleteTempFiles();
    doc_->inlineData.clear();
    doc_->container.clear();
    // The object is read from a temporary file; its textures are cached where it lies.
    const std::string temp = qivTempFile("PEL");
    if (temp.empty()) return E_FAIL;
    doc_->tempFiles.push_back(temp);
    const std::string scope = qivctl::textureScopeOf(temp);
    // The textures first, under their recorded names, so that the object finds them.
    qcom::ComPtr<IStorage> sub;
    qcom::ComPtr<IStream> idx;
    if (SUCCEEDED(storage->OpenStorage(L"Textures", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0,
                                       sub.put())) &&
        SUCCEEDED(openStream(sub.get(), "Index", idx.put()))) {
        StreamSource src(idx.get());
        std::vector<uint8_t> index;
        // The records the stream holds, at most kMaxTextureRecords of them.
        const uint64_t want = std::min<uint64_t>(src.remaining() == UINT64_MAX ? 0 : src.remaining(),
                                                 kMaxTextureRecords * qivctl::kTextureIndexRecordSize);
        qivctl::persistReadBytes(src, want, &index);
        for (const qivctl::TextureIndexEntry& e : qivctl::decodeTextureIndex(index.data(), index.size())) {
            qcom::ComPtr<IStream> t;
            if (FAILED(openStream(sub.get(), qivctl::textureStreamName(e.index).c_str(), t.put()))) continue;
            AddTextureFromStream(e.name, t.get(), scope);
        }
    }
    if (!copyStreamToFile(s.get(), temp)) return E_FAIL;
    showDocumentObject(temp, temp, true);
    return S_OK;
}

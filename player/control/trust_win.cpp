// The caller's trust: the safety options the host set and the zone the system's zone manager
// gives the container document's address (URLMON loaded at run time), the file names a
// member may use, the save dialog that chooses the file an untrusted caller's write goes to,
// and the zone mark of such a file.
#include <windows.h>
#include <commdlg.h>
#include <urlmon.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "com/guard.h"
#include "com/object.h"
#include "ctlmodule_win.h"
#include "document_win.h"
#include "exchange_win.h"
#include "hosthooks_win.h"
#include "qivctl_win.h"
#include "stockprops.h"

namespace {

using CreateSecurityManager = HRESULT(WINAPI*)(IServiceProvider*, IInternetSecurityManager**, DWORD);

CreateSecurityManager securityManagerMaker() {
    static const CreateSecurityManager maker = []() -> CreateSecurityManager {
        HMODULE dll = LoadLibraryA("URLMON.DLL");
        if (!dll) return nullptr;
        return reinterpret_cast<CreateSecurityManager>(
            reinterpret_cast<void*>(GetProcAddress(dll, "CoInternetCreateSecurityManager")));
    }();
    return maker;
}

// The container document's address: the display name of the client site's container moniker.
std::wstring documentAddress(IOleClientSite* site) {
    if (!site) return std::wstring();
    qcom::ComPtr<IMoniker> mk;
    if (FAILED(site->GetMoniker(OLEGETMONIKER_ONLYIFTHERE, OLEWHICHMK_CONTAINER, mk.put())) || !mk) return {};
    qcom::ComPtr<IBindCtx> ctx;
    if (FAILED(CreateBindCtx(0, ctx.put()))) return {};
    LPOLESTR name = nullptr;
    if (FAILED(mk->GetDisplayName(ctx.get(), nullptr, &name)) || !name) return {};
    std::wstring out(name);
    CoTaskMemFree(name);
    return out;
}

bool zoneOf(const std::wstring& address, uint32_t* zone) {
    const CreateSecurityManager make = securityManagerMaker();
    if (address.empty() || !make) return false;
    qcom::ComPtr<IInternetSecurityManager> manager;
    if (FAILED(make(nullptr, manager.put(), 0)) || !manager) return false;
    DWORD z = 0;
    if (FAILED(manager->MapUrlToZone(address.c_str(), &z, 0))) return false;
    *zone = uint32_t(z);
    return true;
}

}  // namespace

bool qivWriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, bool replace) {
    auto writeTo = [&bytes](HANDLE h) {
        DWORD wrote = 0;
        const bool ok = WriteFile(h, bytes.data(), DWORD(bytes.size()), &wrote, nullptr) && wrote == bytes.size();
        return CloseHandle(h) && ok;
    };
    if (!replace) {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        if (writeTo(h)) return true;
        DeleteFileA(path.c_str());
        return false;
    }
    char full[MAX_PATH] = {}, temp[MAX_PATH] = {};
    char* part = nullptr;
    const DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, &part);
    if (n == 0 || n >= sizeof full || !part) return false;
    const std::string folder(full, size_t(part - full));
    if (!GetTempFileNameA(folder.c_str(), "VOV", 0, temp)) return false;
    HANDLE h = CreateFileA(temp, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const bool ok = h != INVALID_HANDLE_VALUE && writeTo(h) &&
                    MoveFileExA(temp, full, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) DeleteFileA(temp);
    return ok;
}

qivctl::CallerTrust CQivPlayerCtl::CallerTrust() {
    if (!zoneAsked_) {
        zoneAsked_ = true;
        zoneKnown_ = zoneOf(documentAddress(clientSite()), &zone_);
    }
    return qivctl::decideCallerTrust(uint32_t(safetyOptions()), zoneKnown_, zone_);
}

bool CQivPlayerCtl::LocalNamesRefused() {
    if (userChoice_ > 0) return false;
    const qivctl::CallerTrust t = CallerTrust();
    return t.untrusted && !t.pageLocal;
}

bool CQivPlayerCtl::FileNameUsable(const std::string& name) {
    if (!qivctl::fileNameAllowed(name)) return false;
    return !(qivctl::namesLocalFile(name) && LocalNamesRefused());
}

bool CQivPlayerCtl::AskSaveFile(const std::string& given, UINT titleId, UINT filterId, const char* extension,
                                std::string* chosen, bool* replace) {
    *replace = false;
    std::string filter = qivLoadString(filterId);
    std::replace(filter.begin(), filter.end(), '|', '\0');
    const std::string title = qivLoadString(titleId);
    char file[MAX_PATH] = {};
    lstrcpynA(file, qivctl::suggestedFileName(given).c_str(), sizeof file);
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = hwnd() ? hwnd() : GetActiveWindow();
    ofn.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file;
    ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
    ofn.lpstrDefExt = extension + 1;
    ofn.Flags = OFN_EXPLORER | OFN_NOREADONLYRETURN | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
    if (!qivRunSaveFileDialog(&ofn) || !file[0]) return false;
    *chosen = qivctl::withForcedExtension(file, extension);
    // The overwrite the dialog asked about was for the name it returned.
    *replace = *chosen == file && FileExists(*chosen);
    return qivctl::fileNameAllowed(*chosen);
}

void CQivPlayerCtl::MarkFileForCaller(const std::string& path) {
    const qivctl::CallerTrust t = CallerTrust();
    if (!t.untrusted || !t.markZone || path.empty()) return;
    const std::string text = qivctl::zoneIdentifierText(t.markZone);
    const std::string stream = path + qivctl::kZoneIdentifierStream;
    HANDLE h = CreateFileA(stream.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD wrote = 0;
    WriteFile(h, text.data(), DWORD(text.size()), &wrote, nullptr);
    CloseHandle(h);
}

STDMETHODIMP CQivPlayerCtl::SetInterfaceSafetyOptions(REFIID iid, DWORD mask, DWORD enabled) try {
    if (qivctl::safetyRefused(IsEqualIID(iid, IID_IQivHostHooks), mask, enabled)) return E_FAIL;
    return ControlBase::SetInterfaceSafetyOptions(iid, mask, enabled);
} catch (...) { return qcom::exceptionResult(); }

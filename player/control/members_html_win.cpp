// HTML export of the control: the persisted properties as PARAMs of an OBJECT element (with
// an EMBED element for plug-in browsers) and, for HTML e-mail, the persisted data inline;
// placed on the clipboard as text and as "HTML Format". Also VisuDLL.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "com/control.h"
#include "com/guard.h"
#include "ctlmodule_win.h"
#include "dialogs_win.h"
#include "htmlexport.h"
#include "persiststream.h"
#include "qivctl_win.h"
#include "win/wintext.h"

namespace {

enum : UINT { kOutlookDialog = 249 };
enum : UINT { kMenuPlain = 40001, kMenuOutlook = 40002 };

std::string utf8Of(const std::wstring& s) { return win::Ansi(s.data(), s.size(), CP_UTF8); }


qivhtml::PropertyValue htmlValueOf(const qivctl::PersistValue& v) {
    switch (v.type) {
        case qivctl::PersistType::Long: return qivhtml::PropertyValue::ofInt(v.i);
        case qivctl::PersistType::Float: return qivhtml::PropertyValue::ofFloat(v.f);
        case qivctl::PersistType::Bool: return qivhtml::PropertyValue::ofBool(v.isTrue());
        case qivctl::PersistType::String: {
            std::wstring w(v.s.begin(), v.s.end());
            return qivhtml::PropertyValue::ofText(utf8Of(w));
        }
    }
    return qivhtml::PropertyValue{};
}

std::string classIdText(const CLSID& id) {
    wchar_t text[40] = {};
    StringFromGUID2(id, text, 40);
    std::string s = utf8Of(std::wstring(text));
    if (s.size() >= 2 && s.front() == '{' && s.back() == '}') s = s.substr(1, s.size() - 2);
    return s;
}

void guidBytes(const GUID& g, uint8_t out[16]) {
    for (int i = 0; i < 4; ++i) out[i] = uint8_t(g.Data1 >> (8 * i));
    out[4] = uint8_t(g.Data2), out[5] = uint8_t(g.Data2 >> 8);
    out[6] = uint8_t(g.Data3), out[7] = uint8_t(g.Data3 >> 8);
    for (int i = 0; i < 8; ++i) out[8 + i] = g.Data4[i];
}

// ---- the two dialogs ----

// 249 only asks; it is white like the text entry of 248.
INT_PTR CALLBACK outlookDialogProc(HWND d, UINT msg, WPARAM wp, LPARAM) {
    switch (msg) {
        case WM_INITDIALOG:
            return TRUE;
        case WM_COMMAND: {
            const UINT id = LOWORD(wp);
            if (id != IDOK && id != IDCANCEL) return FALSE;
            EndDialog(d, id);
            return TRUE;
        }
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
            if (msg == WM_CTLCOLORSTATIC) SetBkMode(reinterpret_cast<HDC>(wp), TRANSPARENT);
            return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
        default:
            return FALSE;
    }
}

// ---- the clipboard ----

void putBlock(UINT format, const std::string& bytes) {
    HGLOBAL g = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, bytes.size() + 1);
    if (!g) return;
    if (void* p = GlobalLock(g)) {
        std::memcpy(p, bytes.data(), bytes.size());
        static_cast<char*>(p)[bytes.size()] = 0;
        GlobalUnlock(g);
        if (SetClipboardData(format, g)) return;  // the clipboard owns it now
    }
    GlobalFree(g);
}

// The text as CF_TEXT and the header with the text as "HTML Format". Nothing is allocated
// unless the clipboard opens; a block the clipboard does not take is freed.
bool placeOnClipboard(HWND owner, const std::string& html) {
    static const UINT htmlFormat = RegisterClipboardFormatA("HTML Format");
    const std::wstring wide = win::Wide(html, CP_UTF8);
    const std::string text = win::Ansi(wide.data(), wide.size());
    const std::string withHeader = qivhtml::buildHtmlFormat(html);
    if (!OpenClipboard(owner)) return false;
    EmptyClipboard();
    putBlock(CF_TEXT, text);
    if (htmlFormat && !withHeader.empty()) putBlock(htmlFormat, withHeader);
    CloseClipboard();
    return true;
}

}  // namespace

STDMETHODIMP CQivPlayerCtl::get_VisuDLL(BSTR* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = SysAllocString(L"");
    return *pVal ? S_OK : E_OUTOFMEMORY;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::CopyHtmlCode(qivHtmlType htmlStyle, BSTR realObjectUrl) try {
    try {
        const bool outlook = htmlStyle == qivHtmlOutlook;
        if (realObjectUrl && SysStringLen(realObjectUrl) > 0) {
            const std::string url = win::Ansi(realObjectUrl, SysStringLen(realObjectUrl), CP_UTF8);
            CopyHtmlToClipboard(outlook, &url);
        } else {
            CopyHtmlToClipboard(outlook, nullptr);
        }
    } catch (...) {
    }
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

bool CQivPlayerCtl::BuildInlineData(std::vector<uint8_t>* block) {
    std::vector<uint8_t> container;
    if (!InlineContainer(&container) || container.empty()) return false;
    uint8_t id[16];
    guidBytes(clsid(), id);
    const SIZEL e = extent();
    *block = qivctl::encodeInlineBlock(id, container, e.cx, e.cy, persistedRecords());
    return true;
}

void CQivPlayerCtl::CopyHtmlToClipboard(bool outlook, const std::string* url) {
    HWND owner = hwnd();
    int width = 0, height = 0;
    if (owner) {
        RECT r{};
        GetClientRect(owner, &r);
        width = r.right, height = r.bottom;
    } else {
        const SIZEL px = qcom::himetricToPixels(extent());
        width = px.cx, height = px.cy;
    }

    qivhtml::PropertyCollector bag;
    const std::vector<qivctl::PersistRecord> records = persistedRecords();
    for (const qivctl::PersistRecord& r : records)
        if (const qivctl::PersistProperty* row = qivctl::persistPropertyByDispid(r.dispid))
            bag.write(row->name, htmlValueOf(r.value));

    // The object's address: given, asked for, or none in the Outlook style.
    std::string objectUrl;
    bool haveUrl = url != nullptr;
    if (url) {
        objectUrl = *url;
    } else if (!outlook) {
        std::string proposal = qivhtml::defaultObjectUrl(state_.objectURL);
        if (ShowTextEntryDialog(owner, proposal) != IDOK) return;
        objectUrl = utf8Of(win::Wide(proposal, CP_ACP));
        haveUrl = true;
    } else if (DialogBoxParamW(qivModuleInstance(), MAKEINTRESOURCEW(kOutlookDialog), owner, outlookDialogProc, 0) !=
               IDOK) {
        return;
    }
    if (haveUrl) {
        bag.acceptObjectUrl(true);
        bag.write("ObjectURL", qivhtml::PropertyValue::ofText(objectUrl));
    }

    qivhtml::PageInputs page;
    page.classId = classIdText(clsid());
    page.title = utf8Of(qivLoadStringW(IDS_INSTALL_HINT));
    page.codebase = utf8Of(qivLoadStringW(IDS_PACKAGE_URL));
    page.embedCodebase = utf8Of(qivLoadStringW(IDS_PLUGIN_URL));
    page.width = width;
    page.height = height;
    std::vector<uint8_t> data;
    if (outlook && BuildInlineData(&data)) {
        page.data = data.data();
        page.dataLength = data.size();
    }
    const std::string html = qivhtml::buildHtmlText(page, bag.pairs());

    // Without a window of its own the clipboard needs an owner for the data to stay.
    HWND temporary = nullptr;
    if (!owner)
        owner = temporary = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    placeOnClipboard(owner, html);
    if (temporary) DestroyWindow(temporary);
}

void CQivPlayerCtl::AddHtmlMenuItems(HMENU menu, bool exportAllowed) {
    if (!menu || !exportAllowed) return;
    InsertMenuW(menu, 0, MF_BYPOSITION | MF_STRING, kMenuPlain, qivLoadStringW(IDS_HTML_COPIED).c_str());
    InsertMenuW(menu, 1, MF_BYPOSITION | MF_STRING, kMenuOutlook, qivLoadStringW(IDS_HTML_OUTLOOK_COPIED).c_str());
    InsertMenuW(menu, 2, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
}

int CQivPlayerCtl::OnHtmlMenuCommand(UINT id) {
    if (id != kMenuPlain && id != kMenuOutlook) return 0;
    // The page shows a flat control without border; the control keeps its own look.
    qivAppearance appearance = qivAppearance3D;
    qivBorderStyle border = qivBorderStyleSingle;
    get_Appearance(&appearance);
    get_BorderStyle(&border);
    put_Appearance(qivAppearanceFlat);
    put_BorderStyle(qivBorderStyleNone);
    try {
        CopyHtmlToClipboard(id == kMenuOutlook, nullptr);
    } catch (...) {
    }
    put_Appearance(appearance);
    put_BorderStyle(border);
    return 0;
}

void CQivPlayerCtl::ShowHtmlCopiedNotices() {
    HWND owner = hwnd();
    std::string none;
    ShowTextEntryDialog(owner, none);
    DialogBoxParamW(qivModuleInstance(), MAKEINTRESOURCEW(kOutlookDialog), owner, outlookDialogProc, 0);
}

#include "proppage_win.h"

#include <string>
#include <vector>

#include "ctlmodule_win.h"
#include "dialogvalues.h"
#include "qivplayer_idl.h"
#include "resources/dialogids.h"

namespace {

qcom::PropertyPageConfig pageConfig(unsigned dialogId, unsigned titleId) {
    qcom::PropertyPageConfig c;
    c.dialogId = dialogId;
    c.titleId = titleId;
    return c;
}

qcom::ComPtr<IQivPlayer> playerOf(const qcom::ComPtr<IUnknown>& object) {
    qcom::ComPtr<IQivPlayer> p;
    if (object) object->QueryInterface(IID_IQivPlayer, reinterpret_cast<void**>(p.put()));
    return p;
}

VARIANT_BOOL checkedOf(HWND page, int id) {
    return IsDlgButtonChecked(page, id) == BST_CHECKED ? VARIANT_TRUE : VARIANT_FALSE;
}

std::wstring editText(HWND page, int id) {
    HWND edit = GetDlgItem(page, id);
    const int n = edit ? GetWindowTextLengthW(edit) : 0;
    std::wstring text(size_t(n > 0 ? n : 0) + 1, L'\0');
    const int got = edit ? GetWindowTextW(edit, text.data(), n + 1) : 0;
    text.resize(size_t(got > 0 ? got : 0));
    return text;
}

}  // namespace

// ---- Options ----

CQivOptionsPage::CQivOptionsPage() : PropertyPageBase(pageConfig(IDD_OPTIONS_PAGE, IDS_OPTIONS_TITLE)) {}

void CQivOptionsPage::onActivated() {
    if (objects().empty()) return;
    qcom::ComPtr<IQivPlayer> p = playerOf(objects().front());
    if (!p) return;
    HWND page = hwnd();
    VARIANT_BOOL on = VARIANT_FALSE;
    if (SUCCEEDED(p->get_ButtonRayTraceEnabled(&on)) && on) CheckDlgButton(page, IDC_RAYTRACE, BST_CHECKED);
    on = VARIANT_FALSE;
    if (SUCCEEDED(p->get_ButtonVREnabled(&on)) && on) CheckDlgButton(page, IDC_VIRTUAL_REALITY, BST_CHECKED);
    qivDisplayMode mode = qivDispGTEX;
    const bool haveMode = SUCCEEDED(p->get_DisplayMode(&mode));
    HWND combo = GetDlgItem(page, IDC_DISPLAY_MODE);
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (const qivctl::DisplayModeEntry& e : qivctl::kDisplayModeEntries) {
        const std::wstring text = qivLoadStringW(e.stringId);
        const LRESULT at = SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        if (at >= 0) SendMessageW(combo, CB_SETITEMDATA, WPARAM(at), LPARAM(e.mode));
    }
    SendMessageW(combo, CB_SETCURSEL, WPARAM(haveMode ? qivctl::displayModeEntry(int32_t(mode)) : -1), 0);
}

HRESULT CQivOptionsPage::onApply() {
    HWND page = hwnd();
    if (!page) return S_OK;
    HWND combo = GetDlgItem(page, IDC_DISPLAY_MODE);
    const int selected = int(SendMessageW(combo, CB_GETCURSEL, 0, 0));
    const int32_t data = selected >= 0 ? int32_t(SendMessageW(combo, CB_GETITEMDATA, WPARAM(selected), 0)) : -1;
    const VARIANT_BOOL rayTrace = checkedOf(page, IDC_RAYTRACE), vr = checkedOf(page, IDC_VIRTUAL_REALITY);
    for (const qcom::ComPtr<IUnknown>& object : objects()) {
        qcom::ComPtr<IQivPlayer> p = playerOf(object);
        if (!p) continue;
        qivDisplayMode current = qivDispGTEX;
        const bool haveMode = SUCCEEDED(p->get_DisplayMode(&current));
        if (selected >= 0 || haveMode)
            p->put_DisplayMode(qivDisplayMode(qivctl::displayModeToApply(selected, data, int32_t(current))));
        p->put_ButtonRayTraceEnabled(rayTrace);
        p->put_ButtonVREnabled(vr);
    }
    return S_OK;
}

INT_PTR CQivOptionsPage::onDialogMessage(UINT msg, WPARAM wp, LPARAM, bool& handled) {
    if (msg != WM_COMMAND) return 0;
    const UINT id = LOWORD(wp), code = HIWORD(wp);
    if ((id == IDC_DISPLAY_MODE && (code == CBN_SELCHANGE || code == CBN_SELENDCANCEL)) ||
        ((id == IDC_RAYTRACE || id == IDC_VIRTUAL_REALITY) && code == BN_CLICKED)) {
        setDirty(true);
        handled = true;
    }
    return 0;
}

// ---- Paths ----

CQivPathsPage::CQivPathsPage() : PropertyPageBase(pageConfig(IDD_PATHS_PAGE, IDS_PATHS_TITLE)) {}

void CQivPathsPage::onActivated() {
    if (objects().empty()) return;
    qcom::ComPtr<IQivPlayer> p = playerOf(objects().front());
    if (!p) return;
    filling_ = true;
    qcom::Bstr texture, visu;
    if (SUCCEEDED(p->get_TexturePath(texture.put())) && texture.length())
        SetDlgItemTextW(hwnd(), IDC_TEXTURE_PATH, texture.get());
    if (SUCCEEDED(p->get_VisuDLL(visu.put())) && visu.length()) SetDlgItemTextW(hwnd(), IDC_SECOND_PATH, visu.get());
    filling_ = false;
}

HRESULT CQivPathsPage::onApply() {
    HWND page = hwnd();
    if (!page) return S_OK;
    const qcom::Bstr visu(editText(page, IDC_SECOND_PATH)), texture(editText(page, IDC_TEXTURE_PATH));
    if (!visu.get() || !texture.get()) return E_OUTOFMEMORY;
    for (const qcom::ComPtr<IUnknown>& object : objects()) {
        qcom::ComPtr<IQivPlayer> p = playerOf(object);
        if (!p) continue;
        p->put_VisuDLL(visu.get());
        p->put_TexturePath(texture.get());
    }
    return S_OK;
}

INT_PTR CQivPathsPage::onDialogMessage(UINT msg, WPARAM wp, LPARAM, bool& handled) {
    if (msg == WM_COMMAND && HIWORD(wp) == EN_CHANGE && !filling_ &&
        (LOWORD(wp) == IDC_TEXTURE_PATH || LOWORD(wp) == IDC_SECOND_PATH)) {
        setDirty(true);
        handled = true;
    }
    return 0;
}

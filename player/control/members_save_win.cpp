// Saving the current object: SaveObject, the object save over the saveobj core (the
// container it came from, or a PEL file from its node and the chunks of its source, with its
// textures in a texture folder) and the save-object dialog.
#include <windows.h>
#include <commdlg.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "com/guard.h"
#include "container_win.h"
#include "ctlmodule_win.h"
#include "qivctl_win.h"
#include "resources/dialogids.h"
#include "saveobj.h"
#include "scene/scene.h"
#include "win/wintext.h"
#include "window_win.h"

namespace {

QivSaveFileDialog g_saveDialog = nullptr, g_openDialog = nullptr;

std::string ansiOfBstr(BSTR s) {
    const std::string out = win::AnsiOfBstr(s);
    return out.substr(0, std::strlen(out.c_str()));
}

std::string folderOf(const std::string& path) {
    const size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string(".") : path.substr(0, cut);
}

// The object's own name list text: the first text of its object text list, when there is one.
std::string ownNameText(const ScnNode* node) {
    const PelContent* c = node ? node->content : nullptr;
    if (!c || !c->textList2 || !c->textList2Size) return std::string();
    const char* t = c->textList2;
    return std::string(t, strnlen(t, c->textList2Size));
}

// The format choice of the save-object dialog, shared with the hook of its template.
struct ObjectFormatChoice {
    bool offerQiv = false;  // the object came from a Qiv container
    bool useQiv = false;
};

constexpr int kTypeList = 0x470;  // the file dialog's file-type combo box

const char* defaultExtension(bool qiv) { return qiv ? "Qiv" : "PEL"; }

// The type list shows the chosen format (entry 0 Qiv, 1 PEL), picked as by the user so that
// the dialog's own filter follows, and names without an extension get the format's own.
void showFormat(HWND child, const ObjectFormatChoice& c) {
    HWND dialog = GetParent(child), types = GetDlgItem(dialog, kTypeList);
    if (types && SendMessageA(types, CB_GETCURSEL, 0, 0) != (c.useQiv ? 0 : 1)) {
        SendMessageA(types, CB_SETCURSEL, c.useQiv ? 0 : 1, 0);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(kTypeList, CBN_SELCHANGE), LPARAM(types));
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(kTypeList, CBN_SELENDOK), LPARAM(types));
    }
    SendMessageA(dialog, CDM_SETDEFEXT, 0, LPARAM(defaultExtension(c.useQiv)));
}

UINT_PTR CALLBACK objectFormatHook(HWND child, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_INITDIALOG) {
        auto* c = reinterpret_cast<ObjectFormatChoice*>(reinterpret_cast<OPENFILENAMEA*>(lp)->lCustData);
        SetWindowLongPtrA(child, DWLP_USER, LONG_PTR(c));
        if (c->offerQiv) {
            EnableWindow(GetDlgItem(child, IDC_QIV_FORMAT), TRUE);
            CheckDlgButton(child, IDC_QIV_FORMAT, c->useQiv ? BST_CHECKED : BST_UNCHECKED);
        }
        return 0;
    }
    auto* c = reinterpret_cast<ObjectFormatChoice*>(GetWindowLongPtrA(child, DWLP_USER));
    if (!c || !c->offerQiv) return 0;
    if (msg == WM_COMMAND && LOWORD(wp) == IDC_QIV_FORMAT && HIWORD(wp) == BN_CLICKED) {
        c->useQiv = IsDlgButtonChecked(child, IDC_QIV_FORMAT) == BST_CHECKED;
        showFormat(child, *c);
    } else if (msg == WM_NOTIFY && reinterpret_cast<const NMHDR*>(lp)->code == CDN_TYPECHANGE) {
        // The Qiv or the PEL type picked in the list chooses the format as the box does.
        const LRESULT type = SendDlgItemMessageA(GetParent(child), kTypeList, CB_GETCURSEL, 0, 0);
        if ((type == 0 || type == 1) && c->useQiv != (type == 0)) {
            c->useQiv = type == 0;
            CheckDlgButton(child, IDC_QIV_FORMAT, c->useQiv ? BST_CHECKED : BST_UNCHECKED);
            showFormat(child, *c);
        }
    }
    return 0;
}

// The container the current object came from: a document's "Qiv" stream, inline data, or the
// Qiv file or download that its load kept (*byLoad). False when it came from none.
bool currentContainer(CQivPlayerCtl& ctl, QivParsedContainer* out, bool* byLoad) {
    *byLoad = false;
    const QivDocumentState& doc = ctl.document();
    const QivKeptObject* kept = ctl.CurrentIsDocumentContainer() ? &doc.container
                                : ctl.CurrentIsInline()          ? &doc.inlineData
                                                                 : nullptr;
    if (kept) return qivParseWholeContainer(kept->bytes, out);
    const QivControlState& st = ctl.state();
    const int32_t i = st.currentSlot;
    if (i < 0 || size_t(i) >= st.slots.size() || !st.slots[size_t(i)].inUse) return false;
    std::vector<uint8_t> compact;
    *byLoad = ctl.CompactContainerOf(st.slots[size_t(i)].sourceName, &compact) && qivParseWholeContainer(compact, out);
    return *byLoad;
}

}  // namespace

void qivSetSaveFileDialog(QivSaveFileDialog dialog) { g_saveDialog = dialog; }

BOOL qivRunSaveFileDialog(OPENFILENAMEA* ofn) { return g_saveDialog ? g_saveDialog(ofn) : GetSaveFileNameA(ofn); }

void qivSetOpenFileDialog(QivSaveFileDialog dialog) { g_openDialog = dialog; }

BOOL qivRunOpenFileDialog(OPENFILENAMEA* ofn) { return g_openDialog ? g_openDialog(ofn) : GetOpenFileNameA(ofn); }

int CQivPlayerCtl::SaveObjectFile(const char* path, bool raw, const char* textureDirectory, const char* name,
                                  bool combine) {
    if (!path || !*path || !qivctl::fileNameAllowed(path) ||
        (textureDirectory && !qivctl::fileNameAllowed(textureDirectory)))
        return 0;
    const QivObjectSlot* slot = nullptr;
    if (state_.currentSlot >= 0 && size_t(state_.currentSlot) < state_.slots.size() &&
        state_.slots[size_t(state_.currentSlot)].inUse)
        slot = &state_.slots[size_t(state_.currentSlot)];

    qivctl::ObjectSaveSource src;
    src.slotCount = state_.usedCount;
    src.objectUrl = state_.objectURL;
    if (slot) {
        src.node = slot->node;
        src.id = uint32_t(state_.currentSlot);
        src.placement = slot->placement;
        src.time = slot->animTime;
        src.ownNameText = ownNameText(slot->node);
        src.textures.assign(slot->textureHandles.begin(), slot->textureHandles.end());
        // The object file the slot was read from (a temporary expanded copy, usually).
        if (!doc_->loadedSource.empty() && slot->sourceName == doc_->loadedSource)
            src.expandedCopy = doc_->loadedFrom;
        else if (!win_->tempCopy.empty())
            src.expandedCopy = win_->tempCopy;
        else if (FileExists(slot->sourceName))
            src.expandedCopy = slot->sourceName;
    }
    // The container the object came from.
    QivParsedContainer container;
    bool keptByLoad = false;
    if (currentContainer(*this, &container, &keptByLoad)) {
        src.payload = container.payload.get();
        src.payloadSize = container.payloadSize;
        src.expandedCopy.clear();
    }

    src.pictureExtensions = CallerUntrusted();
    qivctl::ObjectSaveHooks hooks;
    hooks.releaseHardware = [this] { Redraw(true); };
    // Without a texture folder the textures go beside the object file.
    std::string textures = textureDirectory && *textureDirectory ? std::string(textureDirectory) : folderOf(path);
    hooks.saveAllObjects = [this, &textures](const std::string& target, const char* logicalName, bool combine) {
        return SaveAllObjects(target, logicalName, combine, textures);
    };
    hooks.saveContainerFile = [this, &container, keptByLoad](const std::string& target) {
        // The load's own copy is written back as it was received.
        if (keptByLoad) return SaveContainerFile(target.c_str()) ? 1 : 0;
        return container.payload && qivSaveContainerFile(target.c_str(), container.kept, container.fileTime) ? 1 : 0;
    };
    hooks.setFileTime = [&container](const std::string& target) {
        if (!container.fileTime) return;
        HANDLE f = CreateFileA(target.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (f == INVALID_HANDLE_VALUE) return;
        FILETIME t{DWORD(container.fileTime), DWORD(container.fileTime >> 32)};
        SetFileTime(f, &t, &t, &t);
        CloseHandle(f);
    };
    return qivctl::saveObjectFile(src, path, raw, textures, name, combine, hooks);
}

bool CQivPlayerCtl::SaveObjectFileReplacing(const std::string& target, bool replace,
                                            const std::function<bool(const std::string&)>& save) {
    if (!replace) return save(target);
    char temp[MAX_PATH + 16] = {};
    if (!GetTempFileNameA(folderOf(target).c_str(), "VOV", 0, temp)) return false;
    DeleteFileA(temp);
    const bool ok = save(temp) && MoveFileExA(temp, target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) DeleteFileA(temp);
    return ok;
}

bool CQivPlayerCtl::SaveObjectDialog(const std::string& suggested, bool pelOnly, bool preferQiv) {
    QivParsedContainer probe;
    bool keptByLoad = false;
    ObjectFormatChoice choice;
    choice.offerQiv = !pelOnly && currentContainer(*this, &probe, &keptByLoad);
    choice.useQiv = choice.offerQiv && preferQiv;
    const bool haveObject = state_.currentSlot >= 0 && size_t(state_.currentSlot) < state_.slots.size() &&
                            state_.slots[size_t(state_.currentSlot)].node;
    if (!haveObject && !choice.offerQiv) return false;

    std::string filter = qivLoadString(choice.offerQiv ? IDS_FILTER_QIV_PEL : IDS_FILTER_PEL);
    std::replace(filter.begin(), filter.end(), '|', '\0');
    const std::string title = qivLoadString(IDS_SAVE_OBJECT);
    char file[MAX_PATH] = {};
    const std::string& url = state_.objectURL;
    const size_t cut = url.find_last_of("/\\");
    const std::string last = !suggested.empty()       ? qivctl::suggestedFileName(suggested)
                             : cut == std::string::npos ? url
                                                        : url.substr(cut + 1);
    std::strncpy(file, last.c_str(), sizeof file - 1);

    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = hwnd() ? hwnd() : GetActiveWindow();
    ofn.hInstance = qivModuleInstance();
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file;
    ofn.lpstrTitle = title.c_str();
    ofn.lpstrDefExt = defaultExtension(choice.useQiv);
    ofn.Flags = OFN_EXPLORER | OFN_NOREADONLYRETURN | OFN_ENABLETEMPLATE | OFN_ENABLEHOOK | OFN_HIDEREADONLY |
                OFN_OVERWRITEPROMPT;
    ofn.lpTemplateName = MAKEINTRESOURCEA(IDD_SAVE_OBJECT);
    ofn.lpfnHook = objectFormatHook;
    ofn.lCustData = LPARAM(&choice);
    if (!qivRunSaveFileDialog(&ofn) || !file[0]) return false;

    const bool raw = choice.offerQiv && choice.useQiv;
    std::string target = file;
    std::string textures = win_->texturePath;
    // An untrusted caller's object is saved under the format's extension (the overwrite the
    // dialog asked about was for its own name only), its textures beside it.
    const bool untrusted = CallerUntrusted();
    if (untrusted) {
        target = qivctl::withForcedExtension(target, raw ? ".qiv" : ".pel");
        textures = folderOf(target);
        if (target != file && FileExists(target)) {
            ShowMessage(IDS_SAVE_OBJECT_FAILED, target);
            return false;
        }
    }
    // The user agreed to replace an existing file.
    const bool ok = SaveObjectFileReplacing(target, FileExists(target), [&](const std::string& to) {
        return SaveObjectFile(to.c_str(), raw, textures.c_str(), nullptr, false) != 0;
    });
    if (!ok) ShowMessage(IDS_SAVE_OBJECT_FAILED, target);
    if (ok) MarkFileForCaller(target);
    return ok;
}

STDMETHODIMP CQivPlayerCtl::SaveObject(BSTR ObjectFileName, VARIANT_BOOL useQivFormat, BSTR TextureBasePath,
                                       VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = VARIANT_FALSE;
    const std::string name = ansiOfBstr(ObjectFileName);
    bool ok;
    if (name.empty())
        ok = SaveObjectDialog();
    else if (CallerUntrusted())
        ok = SaveObjectDialog(name, false, useQivFormat != VARIANT_FALSE);
    else
        ok = SaveObjectFile(name.c_str(), useQivFormat != VARIANT_FALSE, ansiOfBstr(TextureBasePath).c_str(),
                            nullptr, false) != 0;
    *pVal = ok ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

// Saving the current object: SaveObject, the object save over the saveobj core (the
// container it came from, or a PEL file from its node and the chunks of its source, with its
// textures in a texture folder) and the save-object dialog.
#include <windows.h>
#include <commdlg.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "container_win.h"
#include "ctlmodule_win.h"
#include "qivctl_win.h"
#include "saveobj.h"
#include "scene/scene.h"
#include "window_win.h"

namespace {

QivSaveFileDialog g_saveDialog = nullptr;

std::string ansiOfBstr(BSTR s) {
    const int n = s ? int(SysStringLen(s)) : 0;
    const int k = n ? WideCharToMultiByte(CP_ACP, 0, s, n, nullptr, 0, nullptr, nullptr) : 0;
    std::string out(size_t(std::max(k, 0)), '\0');
    if (k > 0) WideCharToMultiByte(CP_ACP, 0, s, n, out.data(), k, nullptr, nullptr);
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

}  // namespace

void qivSetSaveFileDialog(QivSaveFileDialog dialog) { g_saveDialog = dialog; }

BOOL qivRunSaveFileDialog(OPENFILENAMEA* ofn) { return g_saveDialog ? g_saveDialog(ofn) : GetSaveFileNameA(ofn); }

int CQivPlayerCtl::SaveObjectFile(const char* path, bool raw, const char* textureDirectory, const char* name,
                                  bool combine) {
    if (!path || !*path) return 0;
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
        else if (qivIsFile(slot->sourceName))
            src.expandedCopy = slot->sourceName;
    }
    // The container the object came from.
    QivParsedContainer container;
    const QivKeptObject* kept = CurrentIsDocumentContainer() ? &doc_->container
                                : CurrentIsInline()          ? &doc_->inlineData
                                                             : nullptr;
    if (kept && qivParseWholeContainer(kept->bytes, &container)) {
        src.payload = container.payload.get();
        src.payloadSize = container.payloadSize;
        src.expandedCopy.clear();
    }

    qivctl::ObjectSaveHooks hooks;
    hooks.releaseHardware = [this] { Redraw(true); };
    hooks.saveContainerFile = [&container](const std::string& target) {
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
    // Without a texture folder the textures go beside the object file.
    std::string textures = textureDirectory && *textureDirectory ? std::string(textureDirectory) : folderOf(path);
    return qivctl::saveObjectFile(src, path, raw, textures, name, combine, hooks);
}

bool CQivPlayerCtl::SaveObjectDialog() {
    const bool fromContainer = CurrentIsDocumentContainer() || CurrentIsInline();
    const bool haveObject = state_.currentSlot >= 0 && size_t(state_.currentSlot) < state_.slots.size() &&
                            state_.slots[size_t(state_.currentSlot)].node;
    if (!haveObject && !fromContainer) return false;
    QivParsedContainer probe;
    const QivKeptObject& kept = CurrentIsDocumentContainer() ? doc_->container : doc_->inlineData;
    const bool offerQiv = fromContainer && qivParseWholeContainer(kept.bytes, &probe);

    std::string filter = qivLoadString(offerQiv ? IDS_FILTER_QIV_PEL : IDS_FILTER_PEL);
    std::replace(filter.begin(), filter.end(), '|', '\0');
    const std::string title = qivLoadString(IDS_SAVE_OBJECT);
    char file[MAX_PATH] = {};
    const std::string& url = state_.objectURL;
    const size_t cut = url.find_last_of("/\\");
    const std::string last = cut == std::string::npos ? url : url.substr(cut + 1);
    std::strncpy(file, last.c_str(), sizeof file - 1);

    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = hwnd() ? hwnd() : GetActiveWindow();
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file;
    ofn.lpstrTitle = title.c_str();
    ofn.lpstrDefExt = offerQiv ? "Qiv" : "PEL";
    ofn.Flags = OFN_EXPLORER | OFN_NOREADONLYRETURN | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
    if (!qivRunSaveFileDialog(&ofn) || !file[0]) return false;

    const bool raw = offerQiv && ofn.nFilterIndex == 1;
    const std::string target = file;
    const std::string textures = win_->texturePath;
    bool ok = false;
    if (!qivIsFile(target)) {
        ok = SaveObjectFile(target.c_str(), raw, textures.c_str(), nullptr, false) != 0;
    } else {
        // The user agreed to replace the file: the new one is built beside it and takes its
        // place only when complete.
        char temp[MAX_PATH + 16] = {};
        if (GetTempFileNameA(folderOf(target).c_str(), "VOV", 0, temp)) {
            DeleteFileA(temp);
            ok = SaveObjectFile(temp, raw, textures.c_str(), nullptr, false) != 0 &&
                 MoveFileExA(temp, target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
            if (!ok) DeleteFileA(temp);
        }
    }
    if (!ok) ShowMessage(IDS_SAVE_OBJECT_FAILED, target);
    return ok;
}

STDMETHODIMP CQivPlayerCtl::SaveObject(BSTR ObjectFileName, VARIANT_BOOL useQivFormat, BSTR TextureBasePath,
                                       VARIANT_BOOL* pVal) {
    if (!pVal) return E_POINTER;
    *pVal = VARIANT_FALSE;
    try {
        const std::string name = ansiOfBstr(ObjectFileName);
        bool ok;
        if (name.empty())
            ok = SaveObjectDialog();
        else
            ok = SaveObjectFile(name.c_str(), useQivFormat != VARIANT_FALSE, ansiOfBstr(TextureBasePath).c_str(),
                                nullptr, false) != 0;
        *pVal = ok ? VARIANT_TRUE : VARIANT_FALSE;
    } catch (...) {
        return E_FAIL;
    }
    return S_OK;
}

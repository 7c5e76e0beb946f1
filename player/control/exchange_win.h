// The control's parts for materials, textures, drops, click events and the bitmap export:
// its drop target, the click tracking and ANSI/BSTR helpers shared by those files.
#pragma once
#include <windows.h>

#include <string>

#include "clickstate.h"
#include "com/guard.h"
#include "materialini.h"
#include "qivctl_win.h"
#include "scene/material.h"
#include "win/wintext.h"

// The control's IDropTarget: its identity and lifetime are the control's.
class QivDropTarget : public IDropTarget {
public:
    explicit QivDropTarget(CQivPlayerCtl* control) : control_(control) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP DragEnter(IDataObject* data, DWORD keys, POINTL pt, DWORD* effect) override try {
        return control_->DropEvent(0, data, keys, pt, effect);
    } catch (...) { return qcom::exceptionResult(); }
    STDMETHODIMP DragOver(DWORD keys, POINTL pt, DWORD* effect) override try {
        return control_->DropEvent(1, nullptr, keys, pt, effect);
    } catch (...) { return qcom::exceptionResult(); }
    STDMETHODIMP DragLeave() override try {
        return control_->DropEvent(2, nullptr, 0, POINTL{}, nullptr);
    } catch (...) { return qcom::exceptionResult(); }
    STDMETHODIMP Drop(IDataObject* data, DWORD keys, POINTL pt, DWORD* effect) override try {
        return control_->DropEvent(3, data, keys, pt, effect);
    } catch (...) { return qcom::exceptionResult(); }

private:
    CQivPlayerCtl* control_;
};

// The drop record while a drag is over the window.
struct QivDropRecord {
    std::string file;
    int32_t kind = 0;  // 0 none, 1 object file, 2 texture, 3 material file
    MatInput material{};
};

struct CQivPlayerCtl::ExchangeParts {
    explicit ExchangeParts(CQivPlayerCtl* c) : dropTarget(c) {}
    QivDropTarget dropTarget;
    QivDropRecord drop;
    qivctl::ClickTracker clicks;
    int32_t clickState = 0;
};

// ANSI code page conversions of the interface's strings.
// A material file read with GetPrivateProfileString (relative names from the working folder).
bool qivReadMaterialFile(const std::string& path, MatInput* out);
// A local file name of a name that may carry "file://"; empty for other URLs.
std::string qivLocalFileName(const std::string& name);
// A texture a host names: from the cache, else a file by that name (absolute, or beside the
// object and on the texture path). Held once for the caller; null when there is none here.
TexRecord* qivHostTexture(const std::string& name, const std::string& baseDirectory, const QivWindowParts& w,
                          const std::string& scope);

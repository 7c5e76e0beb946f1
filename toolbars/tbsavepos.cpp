#include "tbsavepos.h"

#include <algorithm>

#include "tbfloat.h"

namespace toolbars {

TBPositionStore IniPositionStore(forms::IniFile& ini, const std::string& prefix) {
    TBPositionStore s;
    forms::IniFile* f = &ini;
    s.ReadInteger = [f, prefix](const std::string& w, const std::string& k, int def) {
        return int(f->ReadInteger(prefix + w, k, def));
    };
    s.ReadString = [f, prefix](const std::string& w, const std::string& k, const std::string& def) {
        return f->ReadString(prefix + w, k, def);
    };
    s.WriteInteger = [f, prefix](const std::string& w, const std::string& k, int v) {
        f->WriteInteger(prefix + w, k, v);
    };
    s.WriteString = [f, prefix](const std::string& w, const std::string& k, const std::string& v) {
        f->WriteString(prefix + w, k, v);
    };
    return s;
}

bool ReadSavedPosition(const TBPositionStore& store, const std::string& window, const TBSavedWindowInfo& info,
                       TBSavedPosition& out) {
    const TBSavedPosition& cur = info.Current;
    out = cur;
    if (store.ReadInteger(window, "Rev", 0) != kSavedPositionRev) return false;
    out.Visible = store.ReadInteger(window, "Visible", cur.Visible ? 1 : 0) != 0;
    out.DockedTo = store.ReadString(window, "DockedTo", "");
    out.LastDock = store.ReadString(window, "LastDock", "");
    const Rect& area = info.WorkArea;
    const int longest = std::max(0, std::max(area.Width(), area.Height()));
    out.DockRow = std::clamp(store.ReadInteger(window, "DockRow", cur.DockRow), 0, kMaxSavedDockRow);
    out.DockPos = std::clamp(store.ReadInteger(window, "DockPos", cur.DockPos), -1, longest);
    const long long left = store.ReadInteger(window, "FloatLeft", 0);
    const long long top = store.ReadInteger(window, "FloatTop", 0);
    if (info.Kind == TBSavedKind::Toolbar)
        out.FloatingWidth = std::clamp(store.ReadInteger(window, "FloatRightX", 0), 0, std::max(0, area.Width()));
    TBPoint client = cur.ClientSize;
    if (info.Kind == TBSavedKind::ToolWindow && info.LoadSaveWidthHeight && info.Resizable) {
        client = ClampSize(store.ReadInteger(window, "ClientWidth", cur.ClientSize.x),
                           store.ReadInteger(window, "ClientHeight", cur.ClientSize.y),
                           Rect{0, 0, area.Width() - info.FloatFrame.x, area.Height() - info.FloatFrame.y},
                           info.MinClient, info.MaxClient);
        out.ClientSize = client;
    }
    // The floating frame of the client size it will have lies wholly on the
    // work area.
    const Rect frame = ClampPlacement(left, top, (long long)client.x + info.FloatFrame.x,
                                      (long long)client.y + info.FloatFrame.y, area, info.FloatFrame);
    out.FloatPos = {frame.left, frame.top};
    return true;
}

void WriteSavedPosition(const TBPositionStore& store, const std::string& window, const TBSavedWindowInfo& info,
                        const TBSavedPosition& p) {
    store.WriteInteger(window, "Rev", kSavedPositionRev);
    store.WriteInteger(window, "Visible", p.Visible ? 1 : 0);
    store.WriteString(window, "DockedTo", p.DockedTo);
    store.WriteString(window, "LastDock", p.LastDock);
    store.WriteInteger(window, "DockRow", p.DockRow);
    store.WriteInteger(window, "DockPos", p.DockPos);
    store.WriteInteger(window, "FloatLeft", p.FloatPos.x);
    store.WriteInteger(window, "FloatTop", p.FloatPos.y);
    if (info.Kind == TBSavedKind::Toolbar) store.WriteInteger(window, "FloatRightX", p.FloatingWidth);
    if (info.Kind == TBSavedKind::ToolWindow && info.LoadSaveWidthHeight) {
        store.WriteInteger(window, "ClientWidth", p.ClientSize.x);
        store.WriteInteger(window, "ClientHeight", p.ClientSize.y);
    }
}

}  // namespace toolbars

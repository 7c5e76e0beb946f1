#include "tbtoolbar_win.h"

#include <windowsx.h>

#include <algorithm>
#include <vector>

#include "forms/application.h"
#include "forms/exception.h"
#include "forms/form.h"
#include "forms/textutil.h"
#include "tbcommon_win.h"
#include "win/gdi.h"

namespace toolbars {

namespace {

// Opens the menu bar by keyboard later, outside the hook that asked (wParam:
// the accelerator, 0 for the first item).
constexpr UINT kTBMsgKeyboardOpen = WM_APP + 0x3A2;

// Toolbars that process shortcuts or are menu bars, and the hooks they share.
std::vector<TTBCustomToolbar*>& shortcutBars() {
    thread_local std::vector<TTBCustomToolbar*> bars;
    return bars;
}
thread_local int g_appHook = -1;
thread_local bool g_altArmed = false;

forms::Form* formOf(TTBCustomDockableWindow* w) {
    if (w->FloatingParent()) return w->FloatingParent()->OwnerForm();
    return w->ParentForm();
}

forms::ShortCut shortCutOf(WPARAM key) {
    const forms::ShiftState s = forms::KeyboardShift();
    forms::ShortCut sc = forms::ShortCut(key & 0xFF);
    if (s & forms::ssShift) sc |= forms::scShift;
    if (s & forms::ssCtrl) sc |= forms::scCtrl;
    if (s & forms::ssAlt) sc |= forms::scAlt;
    return sc;
}

bool offerShortCut(forms::Form* form, forms::ShortCut sc) {
    for (TTBCustomToolbar* t : std::vector<TTBCustomToolbar*>(shortcutBars())) {
        if (formOf(t) != form) continue;
        if (t->OnShortCut && t->OnShortCut(t, sc)) return true;
        if (t->Items()->IsShortCut(sc)) return true;
    }
    return false;
}

// Docks and toolbars of a form, depth first, that are visible and enabled.
LRESULT offerSysCommand(forms::WinControl* parent, WPARAM wp, LPARAM lp) {
    for (int i = 0; i < parent->ControlCount(); ++i) {
        auto* c = dynamic_cast<forms::WinControl*>(parent->Controls(i));
        if (!c || !c->Handle() || !IsWindowVisible(c->Handle()) || !c->EffectivelyEnabled()) continue;
        if (dynamic_cast<TTBDock*>(c) || dynamic_cast<TTBCustomToolbar*>(c)) {
            if (const LRESULT r = SendMessageW(c->Handle(), WM_SYSCOMMAND, wp, lp)) return r;
        } else if (const LRESULT r = offerSysCommand(c, wp, lp)) {
            return r;
        }
    }
    return 0;
}

bool appHook(win::Message& m) {
    if (m.msg == forms::CM_APPKEYDOWN) {
        auto* active = dynamic_cast<forms::Form*>(forms::Control::FromHandle(GetActiveWindow()));
        if (!active || !IsWindowEnabled(active->Handle())) return false;
        const forms::ShortCut sc = shortCutOf(m.wParam);
        forms::Form* main = forms::Application::Instance().MainForm();
        if (offerShortCut(active, sc) || (main && main != active && offerShortCut(main, sc))) {
            m.result = 1;
            return true;
        }
        return false;
    }
    if (m.msg == forms::CM_APPSYSCOMMAND) {
        const auto* sys = reinterpret_cast<const win::Message*>(m.lParam);
        auto* active = dynamic_cast<forms::Form*>(forms::Control::FromHandle(GetActiveWindow()));
        if (!sys || !active) return false;
        if (!offerSysCommand(active, sys->wParam, sys->lParam)) return false;
        m.result = 1;
        return true;
    }
    return false;
}

// Alt+letter, Alt alone and F10 taken from the queue for a form with a menu
// bar become that form's key menu. Decided: the form's own windows are
// covered too (not only an MDI client's), since the system's default
// handling keeps a child window's key menu to itself.
void sysCharHook(TBHookProcCode code, void*, uintptr_t wp, intptr_t lp) {
    if (code != hpGetMessage || wp != PM_REMOVE) return;
    MSG* msg = reinterpret_cast<MSG*>(lp);
    switch (msg->message) {
    case WM_SYSKEYDOWN:
        if (msg->wParam == VK_MENU) {
            if (!(msg->lParam & (1 << 30))) g_altArmed = true;
            return;
        }
        g_altArmed = false;
        if (msg->wParam != VK_F10) return;
        break;
    case WM_SYSKEYUP:
        if (msg->wParam != VK_MENU || !g_altArmed) return;
        g_altArmed = false;
        break;
    case WM_SYSCHAR: g_altArmed = false; break;
    case WM_KEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN: g_altArmed = false; return;
    default: return;
    }
    if (GetCapture()) return;
    HWND root = GetAncestor(msg->hwnd, GA_ROOT);
    forms::Form* form = nullptr;
    for (TTBCustomToolbar* t : shortcutBars())
        if (t->MenuBar() && formOf(t) && formOf(t)->Handle() == root) form = formOf(t);
    if (!form) return;
    const LPARAM ch = msg->message == WM_SYSCHAR ? LPARAM(msg->wParam) : 0;
    if (msg->message == WM_SYSCHAR && ch == VK_SPACE) return;  // the system menu
    SendMessageW(root, WM_SYSCOMMAND, SC_KEYMENU, ch);
    msg->message = WM_NULL;
}

}  // namespace

// Chevron -------------------------------------------------------------------------------

TTBChevronItem::TTBChevronItem(TTBCustomToolbar* toolbar) : TTBCustomItem(nullptr), toolbar_(toolbar) {
    SetItemStyle(ItemStyle() | isSubmenu | isNoAutoOpen);
    SetHint("More Buttons|");
}

TTBView* TTBChevronItem::ChevronParentView() { return toolbar_->View(); }

std::unique_ptr<TTBItemViewer> TTBChevronItem::CreateViewer(TTBView* view) {
    return std::make_unique<TTBChevronItemViewer>(view, this);
}

void TTBChevronItemViewer::CalcSize(TBMetrics&, int& width, int& height) {
    width = kChevronSize;
    height = kChevronSize;
}

void TTBChevronItemViewer::Paint(TBCanvas& canvas, const Rect& client, bool selected, bool pushed, bool) {
    const bool enabled = Item()->Enabled();
    const bool vertical = View()->Orientation() == tbvoVertical;
    if (enabled) {
        if (pushed)
            canvas.DrawEdge(client, tbBdrSunkenOuter, tbBfRect);
        else if (selected)
            canvas.DrawEdge(client, tbBdrRaisedInner, tbBfRect);
    }
    // The glyph: two chevrons of 8 x 8 pixels, pointing right (horizontal)
    // or down (vertical).
    static const uint8_t right[8] = {0xCC, 0x66, 0x33, 0x66, 0xCC, 0, 0, 0};
    static const uint8_t down[8] = {0x88, 0xD8, 0x70, 0x20, 0x88, 0xD8, 0x70, 0x20};
    const uint8_t* rows = vertical ? down : right;
    int x0 = vertical ? client.right - 9 : client.left + 2;
    int y0 = vertical ? client.top + 2 : 4;
    if (pushed) ++x0, ++y0;
    auto draw = [&](int dx, int dy, TBColor c) {
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                if (rows[y] & (0x80 >> x)) canvas.FillRect(Rect::Bounds(x0 + x + dx, y0 + y + dy, 1, 1), c);
    };
    if (enabled) {
        draw(0, 0, TBColor::BtnText);
    } else {
        draw(1, 1, TBColor::BtnHighlight);
        draw(0, 0, TBColor::BtnShadow);
    }
}

// Toolbar --------------------------------------------------------------------------------

class TTBCustomToolbar::ToolbarView : public TTBView {
public:
    explicit ToolbarView(TTBCustomToolbar* t) : TTBView(nullptr, nullptr, &t->host_, t->root_.get(), true, false, true), t_(t) {}
    TTBCustomItem* GetChevronItem() override { return t_->chevron_.get(); }

private:
    TTBCustomToolbar* t_;
};

TTBCustomToolbar::TTBCustomToolbar(forms::Component* owner) : TTBCustomDockableWindow(owner) {
    root_ = std::make_unique<TTBRootItem>(nullptr);
    root_->SetParentComponent(this);
    chevron_ = std::make_unique<TTBChevronItem>(this);
    view_ = std::make_unique<ToolbarView>(this);
    view_->RecreateAllViewers();
    LoadMouseTracking();
    forms::Control::SetBounds(0, 0, 23, 22);
}

TTBCustomToolbar::~TTBCustomToolbar() {
    processShortCuts_ = menuBar_ = false;
    updateHooks();
    ReleaseMouseTracking();
    view_.reset();
    chevron_.reset();
    root_.reset();
}

void TTBCustomToolbar::updateHooks() {
    auto& bars = shortcutBars();
    const bool want = menuBar_ || processShortCuts_;
    const bool listed = std::find(bars.begin(), bars.end(), this) != bars.end();
    if (want && !listed) {
        bars.push_back(this);
        if (g_appHook < 0) g_appHook = forms::Application::Instance().HookMainWindow(appHook);
    } else if (!want && listed) {
        bars.erase(std::remove(bars.begin(), bars.end(), this), bars.end());
        if (bars.empty() && g_appHook >= 0) {
            forms::Application::Instance().UnhookMainWindow(g_appHook);
            g_appHook = -1;
        }
    }
    if (menuBar_ != hooked_) {
        hooked_ = menuBar_;
        if (hooked_)
            SubscribeHooks(sysCharHook, HookCodes(hpGetMessage));
        else
            UnsubscribeHooks(sysCharHook);
    }
}

void TTBCustomToolbar::SetMenuBar(bool on) {
    if (on == menuBar_) return;
    menuBar_ = on;
    unsigned style = view_->Style() & ~(tbvsMenuBar | tbvsUseHiddenAccels);
    if (on) style |= tbvsMenuBar | tbvsUseHiddenAccels;
    view_->SetStyle(style);
    FullSize = on;
    shrinkMode_ = on ? TBShrinkMode::Wrap : TBShrinkMode::Chevron;
    CloseButton = !on;
    processShortCuts_ = on;
    updateHooks();
    ArrangeItems();
}

void TTBCustomToolbar::SetProcessShortCuts(bool on) {
    processShortCuts_ = on;
    updateHooks();
}

void TTBCustomToolbar::SetShrinkMode(TBShrinkMode m) {
    shrinkMode_ = m;
    ArrangeItems();
}

void TTBCustomToolbar::SetFloatingWidth(int w) {
    floatingWidth_ = std::max(0, w);
    if (Floating()) ArrangeSelf();
}

void TTBCustomToolbar::ArrangeItems() {
    view_->InvalidateLayout();
    ShrunkLength = 0;
    if (Parent())
        ArrangeSelf();
    else
        layOutView();
}

int TTBCustomToolbar::frameAlong(TTBDock* dock, bool vertical) const {
    if (!dock) return 0;
    const int handle = dock->AllowDrag() ? DragHandleSize(DragHandleStyle, CloseButtonWhenDocked) : 0;
    (void)vertical;
    return kDockedFrame + handle;
}

void TTBCustomToolbar::offsetsFor(TTBDock* dock, bool vertical, int& orientation, int& wrap, int& chevron) {
    wrap = chevron = 0;
    if (!dock) {
        orientation = tbvoHorizontal;
        wrap = floatingWidth_;
        return;
    }
    orientation = vertical ? tbvoVertical : tbvoHorizontal;
    if (shrinkMode_ == TBShrinkMode::Wrap) {
        const int length = vertical ? dock->ClientHeight() : dock->ClientWidth();
        wrap = std::max(0, length - frameAlong(dock, vertical));
    } else if (shrinkMode_ == TBShrinkMode::Chevron && dock == CurrentDock() && ShrunkLength > 0) {
        chevron = std::max(0, ShrunkLength - frameAlong(dock, vertical));
    }
}

TBPoint TTBCustomToolbar::measure(int orientation, int wrap, int chevron) {
    TBPoint total;
    view_->CalculatePositions(false, orientation, wrap, chevron, kChevronSize, total);
    restoreLayout();
    return total;
}

void TTBCustomToolbar::restoreLayout() {
    // Measuring moved the viewers: back to the layout the window shows.
    if (!view_->Validated()) return;
    TBPoint shown;
    view_->CalculatePositions(false, view_->Orientation(), view_->WrapOffset, view_->ChevronOffset, view_->ChevronSize,
                              shown);
}

TBPoint TTBCustomToolbar::CalcClientSize(TTBDock* dock, bool vertical) {
    int o, w, c;
    offsetsFor(dock, vertical, o, w, c);
    return measure(o, w, c);
}

int TTBCustomToolbar::FullLength(bool vertical) {
    // The length it needs without the chevron.
    int o, w, c;
    offsetsFor(CurrentDock(), vertical, o, w, c);
    const TBPoint total = measure(o, w, 0);
    return (vertical ? total.y : total.x) + frameAlong(CurrentDock(), vertical);
}

int TTBCustomToolbar::MinimumLength(bool vertical) {
    if (shrinkMode_ != TBShrinkMode::Chevron) return FullLength(vertical);
    int o, w, c;
    offsetsFor(CurrentDock(), vertical, o, w, c);
    TBPoint total;
    view_->CalculatePositions(false, o, w, 0, kChevronSize, total);
    // The first item that shows (in the chevron's order when there is one).
    std::vector<TTBItemViewer*> order;
    if (const auto* p = view_->PriorityList())
        order = *p;
    else
        for (int i = 0; i < view_->ViewerCount(); ++i) order.push_back(view_->Viewers(i));
    for (TTBItemViewer* v : order) {
        if (!v->Show || v->Item() == chevron_.get() || (v->Item()->ItemStyle() & isSeparator)) continue;
        const int length = vertical ? v->BoundsRect.Height() : v->BoundsRect.Width();
        restoreLayout();
        return length + frameAlong(CurrentDock(), vertical) + kChevronSize;
    }
    restoreLayout();
    return (vertical ? total.y : total.x) + frameAlong(CurrentDock(), vertical);
}

void TTBCustomToolbar::layOutView() {
    if (!view_) return;
    ++layingOut_;
    struct Done {
        int& n;
        ~Done() { --n; }
    } done{layingOut_};
    TTBDock* dock = CurrentDock();
    const bool vertical = dock && dock->Vertical();
    int o, w, c;
    offsetsFor(Floating() ? nullptr : dock, vertical, o, w, c);
    view_->SetOrientation(o);
    view_->WrapOffset = w;
    view_->ChevronOffset = c;
    view_->ChevronSize = kChevronSize;
    view_->InvalidateLayout();
    view_->UpdateLayout();
    if (Handle()) InvalidateRect(Handle(), nullptr, TRUE);
}

void TTBCustomToolbar::Resized() {
    TTBCustomDockableWindow::Resized();
    layOutView();
}

void TTBCustomToolbar::FloatingResized(int clientWidth, int) {
    // The rows follow the width; the frame takes the laid-out size once the
    // resize ends.
    floatingWidth_ = clientWidth;
}

void TTBCustomToolbar::SavedInfo(TBSavedWindowInfo& info) {
    info.Kind = TBSavedKind::Toolbar;
    info.Current.FloatingWidth = floatingWidth_;
}

void TTBCustomToolbar::LoadPositionExtras(const TBSavedPosition& p) { floatingWidth_ = p.FloatingWidth; }

void TTBCustomToolbar::SavePositionExtras(TBSavedPosition& p) { p.FloatingWidth = floatingWidth_; }

void TTBCustomToolbar::Host::SetClientSize(int width, int height) {
    // The toolbar's own layouts size it through its dock or frame; a layout
    // the view starts (items changed) that needs another size arranges the
    // toolbar again, and its dock grants the length anew.
    if (t->layingOut_ || (width == ClientWidth() && height == ClientHeight())) return;
    t->ArrangeItems();
}

bool TTBCustomToolbar::onPaint() {
    if (!view_->Validated()) layOutView();
    win::PaintDC pdc(Handle());
    const RECT rc = pdc.area();
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;
    if (w <= 0 || h <= 0) return true;
    win::MemoryDC mem(pdc.get());
    win::Bitmap bmp(CreateCompatibleBitmap(pdc.get(), w, h));
    win::Select sel(mem.get(), bmp.get());
    {
        const RECT all{0, 0, w, h};
        SetViewportOrgEx(mem.get(), -rc.left, -rc.top, nullptr);
        if (!paintDockBackground(mem.get(), rc)) {
            win::Brush back(CreateSolidBrush(forms::ColorToRGB(Color())));
            ::FillRect(mem.get(), &rc, back.get());
        }
        SetViewportOrgEx(mem.get(), 0, 0, nullptr);
        (void)all;
        GdiCanvas canvas(mem.get(), POINT{-rc.left, -rc.top}, metrics_);
        view_->Paint(canvas, Rect{rc.left, rc.top, rc.right, rc.bottom});
    }
    BitBlt(pdc.get(), rc.left, rc.top, w, h, mem.get(), 0, 0, SRCCOPY);
    return true;
}

void TTBCustomToolbar::hotItemHint() { TBShowHotItemHint(*view_, *this); }

bool TTBCustomToolbar::onMouse(win::Message& m) {
    if (tracking_ || (view_->State() & tbvsTracking)) return false;
    if (!view_->Validated()) layOutView();
    const int x = GET_X_LPARAM(m.lParam), y = GET_Y_LPARAM(m.lParam);
    switch (m.msg) {
    case WM_MOUSEMOVE: {
        TTBItemViewer* before = view_->Selected();
        view_->HotTrack(x, y, true);
        StartMouseTracking(Handle(), TME_LEAVE);
        if (view_->Selected() != before) hotItemHint();
        return false;
    }
    case WM_MOUSELEAVE:
    case WM_NCMOUSEMOVE:
        if (GetCapture() != Handle()) {
            view_->HotTrack(0, 0, false);
            hotItemHint();
        }
        return false;
    default: {
        // On an item: it tracks; elsewhere the window is dragged.
        return TBTrackClickedItem(*view_, tracking_, x, y, m.msg == WM_LBUTTONDBLCLK);
    }
    }
}

bool TTBCustomToolbar::KeyboardOpen(char key) {
    if (tracking_ || (view_->State() & tbvsTracking)) return true;
    if (!view_->Validated()) layOutView();
    tracking_ = true;
    struct Done {
        bool& f;
        ~Done() { f = false; }
    } done{tracking_};
    view_->SetAccelsVisible(true);
    if (!key) {
        view_->EnterToolbarLoop(false, true, true);
        return true;
    }
    bool unique = false;
    TTBItemViewer* v = view_->FindAccel(key, unique);
    if (!v) {
        view_->SetAccelsVisible(false);
        return false;
    }
    if (!v->Item()->Enabled()) unique = false;
    if (unique && v->Item()->Count() == 0 && !(v->Item()->ItemStyle() & isSubmenu)) {
        view_->SetAccelsVisible(false);
        v->Item()->PostClick(false);
        return true;
    }
    view_->Select(v, false);
    view_->EnterToolbarLoop(false, true, false);
    return true;
}

bool TTBCustomToolbar::onSysCommand(win::Message& m) {
    m.result = 0;
    if (!menuBar_ || !EffectivelyEnabled() || !Showing() || GetCapture()) return true;
    if ((m.wParam & 0xFFF0) != SC_KEYMENU) return true;
    const char key = char(m.lParam);
    if (key == ' ') return true;
    if (key) {
        bool unique = false;
        if (!view_->FindAccel(key, unique)) {
            if (key == '-') return true;  // the MDI child's system menu
            MessageBeep(0);
            m.result = 1;
            return true;
        }
    }
    // The loop runs from the queue, not inside the hook that asked.
    PostMessageW(Handle(), kTBMsgKeyboardOpen, WPARAM(BYTE(key)), 0);
    m.result = 1;
    return true;
}

bool TTBCustomToolbar::HandleMessage(win::Message& m) {
    if (!view_) return TTBCustomDockableWindow::HandleMessage(m);  // going
    switch (m.msg) {
    case WM_PAINT: return onPaint();
    case WM_ERASEBKGND: m.result = 1; return true;
    case WM_MOUSEMOVE:
    case WM_MOUSELEAVE:
    case WM_NCMOUSEMOVE:
        onMouse(m);
        break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (onMouse(m)) return true;
        break;
    case WM_TIMER:
        if (m.wParam >= UINT_PTR(kViewTimerBase) && m.wParam <= UINT_PTR(kViewTimerBase + tbtScrollDown)) {
            view_->TimerFired(TTBViewTimer(m.wParam - kViewTimerBase));
            return true;
        }
        break;
    case WM_SYSCOMMAND: return onSysCommand(m);
    case kTBMsgKeyboardOpen:
        KeyboardOpen(char(m.wParam));
        return true;
    case WM_SETTINGCHANGE:
        if (m.wParam == SPI_SETNONCLIENTMETRICS) {
            RefreshMenuFont();
            metrics_.SetFont(nullptr);
            ArrangeItems();
        }
        break;
    }
    return TTBCustomDockableWindow::HandleMessage(m);
}

// Tool window ---------------------------------------------------------------------------

TTBToolWindow::TTBToolWindow(forms::Component* owner) : TTBCustomDockableWindow(owner) {
    forms::Control::SetBounds(0, 0, 32, 32);
}

void TTBToolWindow::SetClientAreaSize(int width, int height) {
    size_.Remembered = {std::max(0, width), std::max(0, height)};
    if (Parent())
        ArrangeSelf();
    else
        forms::Control::SetBounds(Left(), Top(), size_.Remembered.x, size_.Remembered.y);
}

TBPoint TTBToolWindow::CalcClientSize(TTBDock* dock, bool vertical) {
    return size_.ForDock(dock != nullptr, vertical, FullSize || Stretch);
}

void TTBToolWindow::FloatingResized(int clientWidth, int clientHeight) {
    size_.Remembered = size_.Limit({clientWidth, clientHeight});
}

void TTBToolWindow::SavedInfo(TBSavedWindowInfo& info) {
    info.Kind = TBSavedKind::ToolWindow;
    info.LoadSaveWidthHeight = LoadSaveWidthHeight;
    info.Resizable = Resizable;
    info.MinClient = size_.MinClient;
    info.MaxClient = size_.MaxClient;
    info.Current.ClientSize = size_.Remembered;
}

void TTBToolWindow::LoadPositionExtras(const TBSavedPosition& p) {
    if (LoadSaveWidthHeight && Resizable) size_.Remembered = p.ClientSize;
}

void TTBToolWindow::SavePositionExtras(TBSavedPosition& p) { p.ClientSize = size_.Remembered; }

// Saved positions --------------------------------------------------------------------------

namespace {

const char* kUnnamedWindow = "Cannot save dockable window's position because Name property is not set";

TTBDock* dockNamed(forms::Component* form, const std::string& name) {
    for (int i = 0; i < form->ComponentCount(); ++i)
        if (auto* d = dynamic_cast<TTBDock*>(form->Components(i)))
            if (!name.empty() && forms::SameText(d->Name(), name)) return d;
    return nullptr;
}

TBSavedWindowInfo infoOf(forms::Component* form, TTBCustomDockableWindow* w) {
    TBSavedWindowInfo info;
    info.Current.Visible = w->Visible();
    info.Current.DockRow = w->DockRow;
    info.Current.DockPos = w->DockPos;
    info.Current.FloatPos = w->FloatingPosition;
    RECT fr{};
    auto* f = dynamic_cast<forms::Form*>(form);
    if (f && f->Handle()) GetWindowRect(f->Handle(), &fr);
    const RECT area = MonitorRectOfRect(fr, true);
    info.WorkArea = {area.left, area.top, area.right, area.bottom};
    const int border = w->FloatingBorder();
    const int caption = w->ShowCaption ? GetSystemMetrics(SM_CYSMCAPTION) : 0;
    info.FloatFrame = {2 * border, 2 * border + caption};
    TBPoint minimum, maximum;
    w->GetSizeLimits(minimum, maximum);
    info.MinClient = minimum;
    info.MaxClient = maximum;
    w->SavedInfo(info);
    return info;
}

}  // namespace

void TBLoadWindowPositions(forms::Component* form, const TBPositionStore& store) {
    std::vector<TTBDock*> docks;
    for (int i = 0; i < form->ComponentCount(); ++i)
        if (auto* d = dynamic_cast<TTBDock*>(form->Components(i))) {
            d->Layout().BeginArrange();
            docks.push_back(d);
        }
    // Each dock arranges once, at the end, also when a window fails.
    struct Unlock {
        std::vector<TTBDock*>& docks;
        ~Unlock() {
            for (auto it = docks.rbegin(); it != docks.rend(); ++it) {
                (*it)->Layout().EndArrange();
                (*it)->ArrangeWindows();
            }
        }
    } unlock{docks};
    for (int i = 0; i < form->ComponentCount(); ++i) {
        auto* w = dynamic_cast<TTBCustomDockableWindow*>(form->Components(i));
        if (!w) continue;
        if (w->Name().empty()) throw forms::Exception(kUnnamedWindow);
        const TBSavedWindowInfo info = infoOf(form, w);
        TBSavedPosition p;
        if (!ReadSavedPosition(store, w->Name(), info, p)) continue;
        w->SetVisible(p.Visible);
        if (p.DockedTo.empty()) continue;
        TTBDock* dock = nullptr;
        const bool floating = p.DockedTo == kDockedToFloating;
        if (!floating) {
            dock = dockNamed(form, p.DockedTo);
            // A dock that no longer exists: the window's default dock.
            if (!dock) dock = w->DefaultDock;
            if (!dock || !dock->AllowDrag()) continue;
        }
        w->DockRow = p.DockRow;
        w->DockPos = p.DockPos;
        w->FloatingPosition = p.FloatPos;
        w->LoadPositionExtras(p);
        if (dock) {
            w->SetCurrentDock(dock);
        } else {
            if (!w->Floating()) {
                w->SetFloating(true);
            } else {
                w->ArrangeSelf();
                w->PlaceFloating(p.FloatPos);
            }
            w->KeepOnScreen(true);
            if (w->UseLastDock)
                if (TTBDock* last = dockNamed(form, p.LastDock)) {
                    if (w->LastDock && w->LastDock != last) w->LastDock->Layout().RemoveWindow(w);
                    w->LastDock = last;
                }
        }
        w->ArrangeSelf();
    }
}

void TBSaveWindowPositions(forms::Component* form, const TBPositionStore& store) {
    for (int i = 0; i < form->ComponentCount(); ++i) {
        auto* w = dynamic_cast<TTBCustomDockableWindow*>(form->Components(i));
        if (!w) continue;
        if (w->Name().empty()) throw forms::Exception(kUnnamedWindow);
        TBSavedWindowInfo info = infoOf(form, w);
        TBSavedPosition p = info.Current;
        if (w->Floating()) {
            p.DockedTo = kDockedToFloating;
            if (w->FloatingParent() && w->FloatingParent()->Handle()) {
                RECT r{};
                GetWindowRect(w->FloatingParent()->Handle(), &r);
                p.FloatPos = {r.left, r.top};
            }
        } else if (TTBDock* d = w->CurrentDock()) {
            if (d->AllowDrag()) {
                if (d->Name().empty())
                    throw forms::Exception(
                        "Cannot save dockable window's position because DockedTo's Name property not set");
                p.DockedTo = d->Name();
            }
        } else {
            continue;
        }
        p.LastDock = w->LastDock ? w->LastDock->Name() : std::string();
        w->SavePositionExtras(p);
        WriteSavedPosition(store, w->Name(), info, p);
    }
}

void TBLoadWindowPositionsIni(forms::Component* form, const std::string& fileName, const std::string& prefix) {
    forms::IniFile ini(fileName);
    TBLoadWindowPositions(form, IniPositionStore(ini, prefix));
}

bool TBSaveWindowPositionsIni(forms::Component* form, const std::string& fileName, const std::string& prefix) {
    forms::IniFile ini(fileName);
    TBSaveWindowPositions(form, IniPositionStore(ini, prefix));
    return ini.UpdateFile();
}

}  // namespace toolbars

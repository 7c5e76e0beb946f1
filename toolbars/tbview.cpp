#include "tbview.h"

#include <algorithm>
#include <cctype>

namespace toolbars {

namespace {

bool isSep(const TTBItemViewer* v) { return v->Item()->ItemStyle() & isSeparator; }

bool intersects(const Rect& a, const Rect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

char upper(char c) { return char(std::toupper(static_cast<unsigned char>(c))); }

// A rectangle given along and across an orientation.
Rect makeRect(bool horizontal, int along, int across, int alongLen, int acrossLen) {
    return horizontal ? Rect::Bounds(along, across, alongLen, acrossLen) : Rect::Bounds(across, along, acrossLen, alongLen);
}

}  // namespace

TTBView::TTBView(forms::Component* owner, TTBView* parentView, TBViewWindow* window, TTBCustomItem* parentItem,
                 bool isToolbar, bool isPopup, bool usePriorityList)
    : Component(owner), window_(window), parentView_(parentView), isToolbar_(isToolbar), isPopup_(isPopup) {
    orientation_ = isPopup ? tbvoPopup : tbvoHorizontal;
    if (usePriorityList) priority_ = std::make_unique<std::vector<TTBItemViewer*>>();
    SetParentItem(parentItem);
}

TTBView::~TTBView() {
    destroying_ = true;
    CloseChildPopups();
    if (currentParentItem_ && currentParentItem_ != parentItem_) unregisterFrom(currentParentItem_);
    if (parentItem_) unregisterFrom(parentItem_);
    parentItem_ = currentParentItem_ = nullptr;
    freeViewers();
    if (parentView_) {
        if (parentView_->openView_ == this && !parentView_->openPopup_) {
            parentView_->openView_ = nullptr;
            parentView_->openViewer_ = nullptr;
        }
        if (parentView_->IsToolbar()) {
            parentView_->state_ |= tbvsNoAnimation;
            if (parentView_->openViewer_) parentView_->InvalidateViewer(parentView_->openViewer_);
        }
    }
}

TTBView* TTBView::RootView() {
    TTBView* v = this;
    while (v->parentView_) v = v->parentView_;
    return v;
}

void TTBView::registerWith(TTBCustomItem* item) {
    item->RegisterNotification(this);
    FreeNotification(item);
}

void TTBView::unregisterFrom(TTBCustomItem* item) {
    item->UnregisterNotification(this);
    RemoveFreeNotification(item);
}

void TTBView::Notification(forms::Component* component, Operation op) {
    Component::Notification(component, op);
    if (op != Operation::Remove) return;
    // An item going away has dropped its registrations and children already.
    if (component == currentParentItem_) {
        currentParentItem_ = nullptr;
        freeViewers();
    }
    if (component == parentItem_) {
        if (currentParentItem_ && currentParentItem_ != parentItem_) unregisterFrom(currentParentItem_);
        parentItem_ = currentParentItem_ = nullptr;
        freeViewers();
    }
}

void TTBView::SetParentItem(TTBCustomItem* item) {
    if (item == parentItem_ && item) return;
    if (parentItem_) {
        if (currentParentItem_ && currentParentItem_ != parentItem_) unregisterFrom(currentParentItem_);
        unregisterFrom(parentItem_);
        currentParentItem_ = nullptr;
    }
    parentItem_ = item;
    if (item) registerWith(item);
    linkChanged();
    if (!currentParentItem_) RecreateAllViewers();
}

void TTBView::linkChanged() {
    TTBCustomItem* now = parentItem_ ? parentItem_->EffectiveSubitems() : nullptr;
    if (now == currentParentItem_) return;
    CloseChildPopups();
    if (currentParentItem_ && currentParentItem_ != parentItem_) unregisterFrom(currentParentItem_);
    currentParentItem_ = now;
    if (now && now != parentItem_) registerWith(now);
    RecreateAllViewers();
    for (auto& v : viewers_) v->Item()->UpdateAction();
}

// Viewers ---------------------------------------------------------------------

void TTBView::freeViewers() {
    selected_ = nullptr;
    mouseOverSelected_ = false;
    openViewer_ = nullptr;
    if (priority_) priority_->clear();
    viewers_.clear();
    internalViewers_ = 0;
}

void TTBView::insertViewer(int at, TTBCustomItem* item) {
    viewers_.insert(viewers_.begin() + at, item->CreateViewer(this));
}

void TTBView::addViewers(TTBCustomItem* parent, int& at, bool inPriority, TTBItemViewer* group) {
    // Groups inline their children; a group that shows an item already on
    // the way down is not followed again.
    std::vector<TTBCustomItem*> chain;
    for (const TTBItemViewer* g = group; g; g = g->GroupViewer) chain.push_back(g->Item()->EffectiveSubitems());
    if (currentParentItem_) chain.push_back(currentParentItem_);
    std::function<void(TTBCustomItem*, TTBItemViewer*)> add = [&](TTBCustomItem* p, TTBItemViewer* owner) {
        chain.push_back(p);
        for (int i = 0; i < p->Count(); ++i) {
            TTBCustomItem* c = p->Items(i);
            insertViewer(at, c);
            TTBItemViewer* v = viewers_[size_t(at++)].get();
            v->GroupViewer = owner;
            if (inPriority && priority_) priority_->push_back(v);
            if ((c->ItemStyle() & isEmbeddedGroup) && !customizing_) {
                TTBCustomItem* subs = c->EffectiveSubitems();
                if (std::find(chain.begin(), chain.end(), subs) == chain.end()) add(subs, v);
            }
        }
        chain.pop_back();
    };
    add(parent, group);
}

TTBItemViewer* TTBView::groupViewerFor(TTBCustomItem* ancestor) const {
    if (ancestor == currentParentItem_ || customizing_) return nullptr;
    for (const auto& v : viewers_)
        if ((v->Item()->ItemStyle() & isEmbeddedGroup) && v->Item()->EffectiveSubitems() == ancestor) return v.get();
    return nullptr;
}

void TTBView::RecreateAllViewers() {
    CloseChildPopups();
    Select(nullptr, false);
    freeViewers();
    int at = 0;
    if (TTBCustomItem* sys = GetMDISystemMenuItem()) {
        insertViewer(at++, sys);
        internalViewers_ = 1;
    }
    if (currentParentItem_) addViewers(currentParentItem_, at, true, nullptr);
    if (TTBCustomItem* mdi = GetMDIButtonsItem()) addViewers(mdi, at, false, nullptr);
    if (TTBCustomItem* chevron = GetChevronItem()) insertViewer(at++, chevron);
    InvalidateLayout();
}

TTBItemViewer* TTBView::FindOrNull(TTBCustomItem* item) const {
    for (const auto& v : viewers_)
        if (v->Item() == item) return v.get();
    return nullptr;
}

TTBItemViewer* TTBView::Find(TTBCustomItem* item) const {
    if (TTBItemViewer* v = FindOrNull(item)) return v;
    throw ETBItemError("An item viewer associated the specified item could not be found");
}

int TTBView::IndexOf(const TTBItemViewer* v) const {
    for (size_t i = 0; i < viewers_.size(); ++i)
        if (viewers_[i].get() == v) return int(i);
    return -1;
}

void TTBView::GivePriority(TTBItemViewer* v) {
    if (chevronParentView_) {
        if (TTBItemViewer* pv = chevronParentView_->FindOrNull(v->Item())) chevronParentView_->GivePriority(pv);
        return;
    }
    if (!priority_) return;
    auto it = std::find(priority_->begin(), priority_->end(), v);
    if (it == priority_->end()) return;
    priority_->erase(it);
    priority_->insert(priority_->begin(), v);
}

namespace {
bool inlineUnder(const TTBItemViewer* v, const TTBItemViewer* group) {
    for (const TTBItemViewer* g = v->GroupViewer; g; g = g->GroupViewer)
        if (g == group) return true;
    return false;
}
}  // namespace

int TTBView::viewerIndexFor(TTBCustomItem* ancestor, int index) const {
    // The block of viewers that shows ancestor's children: the view's own
    // items, or an inline group's.
    const TTBItemViewer* group = groupViewerFor(ancestor);
    if (ancestor != currentParentItem_ && !group) return -1;
    if (index > 0) {
        TTBCustomItem* prev = ancestor->Items(index - 1);
        for (size_t i = 0; i < viewers_.size(); ++i) {
            if (viewers_[i]->Item() != prev || viewers_[i]->GroupViewer != group) continue;
            size_t j = i + 1;
            while (j < viewers_.size() && inlineUnder(viewers_[j].get(), viewers_[i].get())) ++j;
            return int(j);
        }
    }
    return group ? IndexOf(group) + 1 : internalViewers_;
}

void TTBView::deleteViewersOf(TTBCustomItem* item) {
    for (size_t i = 0; i < viewers_.size();) {
        TTBItemViewer* v = viewers_[i].get();
        if (v->Item() != item) {
            ++i;
            continue;
        }
        // The viewer and its inline group's viewers.
        size_t j = i + 1;
        while (j < viewers_.size() && inlineUnder(viewers_[j].get(), v)) ++j;
        for (size_t k = i; k < j; ++k) {
            TTBItemViewer* d = viewers_[k].get();
            if (d == openViewer_) CloseChildPopups();
            if (d == selected_) {
                selected_ = nullptr;
                mouseOverSelected_ = false;
            }
            if (priority_) priority_->erase(std::remove(priority_->begin(), priority_->end(), d), priority_->end());
            if (d->Show) window_->InvalidateRect(d->BoundsRect);
        }
        viewers_.erase(viewers_.begin() + std::ptrdiff_t(i), viewers_.begin() + std::ptrdiff_t(j));
    }
}

void TTBView::ItemNotification(TTBCustomItem* ancestor, bool relayed, TTBItemChangeKind kind, int index,
                               TTBCustomItem* item) {
    if (destroying_) return;
    switch (kind) {
    case ickInserted: {
        int at = viewerIndexFor(ancestor, index);
        if (at < 0 || ancestor->IndexOf(item) != index) break;
        insertViewer(at, item);
        TTBItemViewer* v = viewers_[size_t(at)].get();
        v->GroupViewer = groupViewerFor(ancestor);
        if (priority_) priority_->push_back(v);
        if ((item->ItemStyle() & isEmbeddedGroup) && !customizing_) {
            ++at;
            addViewers(item->EffectiveSubitems(), at, true, v);
        }
        InvalidateLayout();
        break;
    }
    case ickDeleting:
        if (FindOrNull(item)) {
            deleteViewersOf(item);
            InvalidateLayout();
        }
        break;
    case ickSubitemsChanged:
        if (ancestor == parentItem_ && !relayed)
            linkChanged();
        else
            RecreateAllViewers();
        break;
    case ickBeginUpdate: ++updateCount_; break;
    case ickEndUpdate:
        if (updateCount_ > 0) --updateCount_;
        break;
    case ickInvalidate:
        for (auto& v : viewers_)
            if (v->Item() == item) v->Invalidate();
        break;
    case ickInvalidateAndResize:
        for (auto& v : viewers_)
            if (v->Item() == item) v->Invalidate();
        InvalidateLayout();
        break;
    case ickRecreateViewer:
        for (size_t i = 0; i < viewers_.size(); ++i) {
            TTBItemViewer* old = viewers_[i].get();
            if (old->Item() != item) continue;
            if (old == openViewer_) CloseChildPopups();
            if (old == selected_) selected_ = nullptr;
            auto fresh = item->CreateViewer(this);
            fresh->GroupViewer = old->GroupViewer;
            if (old->Show) window_->InvalidateRect(old->BoundsRect);
            if (priority_) std::replace(priority_->begin(), priority_->end(), old, fresh.get());
            for (auto& w : viewers_)
                if (w->GroupViewer == old) w->GroupViewer = fresh.get();
            viewers_[i] = std::move(fresh);
        }
        InvalidateLayout();
        break;
    case ickRenamed: break;
    case ickSubmenuImagesChanged:
        InvalidateLayout();
        for (TTBView* v = openView_; v; v = v->openView_) {
            v->InvalidateLayout();
            v->ValidatePositions();
        }
        break;
    }
    ValidatePositions();
}

void TTBView::SetCustomizing(bool v) {
    if (v == customizing_) return;
    customizing_ = v;
    RecreateAllViewers();
    ValidatePositions();
}

// State -------------------------------------------------------------------------

void TTBView::SetOrientation(int o) {
    if (o == orientation_) return;
    orientation_ = o;
    InvalidateLayout();
}

void TTBView::SetKeyboardMode(bool on) {
    if (on)
        state_ |= tbvsKeyboardMode;
    else
        state_ &= ~tbvsKeyboardMode;
}

bool TTBView::AccelsVisible() const {
    return (state_ & tbvsShowAccels) || !(style_ & tbvsUseHiddenAccels) || KeyboardCuesOn();
}

void TTBView::SetAccelsVisible(bool on) {
    const bool before = AccelsVisible();
    if (on)
        state_ |= tbvsShowAccels;
    else
        state_ &= ~tbvsShowAccels;
    if (AccelsVisible() == before) return;
    for (auto& v : viewers_)
        if (AccelCharOf(v->Item()->Caption())) v->Invalidate();
}

void TTBView::Select(TTBItemViewer* v, bool viaMouse) {
    if (v == selected_) return;
    TTBItemViewer* old = selected_;
    if (old && (old->Item()->ItemStyle() & isRedrawOnSelection)) old->Invalidate();
    if (v && (v->Item()->ItemStyle() & isRedrawOnSelection)) v->Invalidate();
    selected_ = v;
    mouseOverSelected_ = false;
    if (old) old->Leaving();
    if (v && v == selected_) v->Entering();
}

void TTBView::SetMouseOverSelected(bool on) {
    if (on == mouseOverSelected_) return;
    mouseOverSelected_ = on;
    if (selected_ && capture_ && (selected_->Item()->ItemStyle() & isRedrawOnHover)) selected_->Invalidate();
}

void TTBView::SetCapture(bool on) {
    if (on == capture_) return;
    capture_ = on;
    if (selected_) selected_->Invalidate();
}

bool TTBView::IsPushed(const TTBItemViewer* v) const {
    return v && v == selected_ && (openViewer_ == v || (capture_ && mouseOverSelected_));
}

void TTBView::OpenChildPopup(bool selectFirst) {
    StopTimer(tbtOpen);
    StopTimer(tbtClose);
    if (selected_ && selected_ == openViewer_) return;
    CloseChildPopups();
    if (!selected_) return;
    TTBCustomItem* item = selected_->Item();
    if (!item->Enabled() || !(item->ItemStyle() & isSubmenu)) return;
    TTBItemViewer* opening = selected_;
    auto popup = item->OpenPopup(this, opening, selectFirst);
    if (!popup || selected_ != opening) return;
    openViewer_ = opening;
    openView_ = popup->View();
    openPopup_ = std::move(popup);
    InvalidateViewer(openViewer_);
}

void TTBView::CloseChildPopups() {
    if (openView_) openView_->CloseChildPopups();
    StopTimer(tbtClose);
    TTBItemViewer* v = openViewer_;
    openViewer_ = nullptr;
    openView_ = nullptr;
    openPopup_.reset();
    if (v && !destroying_) InvalidateViewer(v);
}

// Layout ------------------------------------------------------------------------

Rect TTBView::LayoutMargins(int orientation) {
    if (orientation == tbvoHorizontal) return {4, 2, 4, 1};
    return {};
}

void TTBView::SetWindowClientSize(int width, int height) { window_->SetClientSize(width, height); }

void TTBView::InvalidateLayout() { validated_ = false; }

void TTBView::ValidatePositions() {
    if (!validated_ && !inLayout_ && !Updating() && !destroying_) UpdateLayout();
}

TBPoint TTBView::UpdateLayout() {
    std::vector<TBLayoutChange> changes;
    TBPoint size;
    const bool upBefore = showUpArrow_, downBefore = showDownArrow_;
    const bool changed = CalculatePositions(true, orientation_, WrapOffset, ChevronOffset, ChevronSize, size, &changes);
    validated_ = true;
    SetWindowClientSize(size.x, size.y);
    for (const TBLayoutChange& c : changes) {
        if (c.shownBefore) window_->InvalidateRect(c.before);
        if (c.viewer->Show) window_->InvalidateRect(c.viewer->BoundsRect);
    }
    if (upBefore != showUpArrow_) window_->InvalidateRect({0, 0, size.x, kScrollArrowBand});
    if (downBefore != showDownArrow_) window_->InvalidateRect({0, size.y - kScrollArrowBand, size.x, size.y});
    if (changed) window_->Update();
    return size;
}

bool TTBView::CalculatePositions(bool canMoveControls, int orientation, int wrapOffset, int chevronOffset,
                                 int chevronSize, TBPoint& total, std::vector<TBLayoutChange>* changes) {
    // The orientation asked for holds while laying out, also on error.
    struct Restore {
        TTBView* v;
        int orientation;
        ~Restore() {
            v->orientation_ = orientation;
            v->inLayout_ = false;
        }
    } restore{this, orientation_};
    orientation_ = orientation;
    inLayout_ = true;

    TBMetrics& metrics = window_->Metrics();
    const bool horizontal = orientation == tbvoHorizontal;
    const size_t n = viewers_.size();
    using Pos = LayoutPos;
    std::vector<Pos>& pos = pos_;
    pos.assign(n, Pos{});
    TTBCustomItem* chevron = GetChevronItem();
    auto alongOf = [&](int w, int h) { return horizontal ? w : h; };
    auto acrossOf = [&](int w, int h) { return horizontal ? h : w; };

    // Which viewers show.
    for (size_t i = 0; i < n; ++i) {
        TTBItemViewer* v = viewers_[i].get();
        TTBCustomItem* it = v->Item();
        Pos& p = pos[i];
        p.sep = isSep(v);
        p.control = it->IsControlItem();
        if (it == chevron) continue;
        if (chevronParentView_) {
            if (p.control) continue;
            const int j = int(i) - internalViewers_ + chevronParentView_->internalViewers_;
            const TTBItemViewer* pv = j >= 0 && j < chevronParentView_->ViewerCount() ? chevronParentView_->Viewers(j) : nullptr;
            p.show = (pv && pv->Clipped) || p.sep;
        } else if (p.control) {
            auto* ci = static_cast<TTBControlItem*>(it);
            int w = 0, h = 0;
            p.show = ci->Control() && window_->ControlInfo(ci->Control(), w, h);
            p.along = alongOf(w, h);
            p.across = acrossOf(w, h);
        } else {
            p.show = it->Visible() && (!(it->ItemStyle() & isEmbeddedGroup) || customizing_);
        }
    }
    auto collapse = [&] {
        bool prevSep = true;  // a separator that comes first is hidden
        for (Pos& p : pos) {
            if (!p.show) continue;
            if (p.sep) {
                if (prevSep) p.show = false;
                prevSep = true;
            } else {
                prevSep = false;
            }
        }
        for (size_t i = n; i-- > 0;) {
            if (!pos[i].show) continue;
            if (!pos[i].sep) break;
            pos[i].show = false;
        }
    };
    collapse();

    // Sizes.
    int sum = 0;
    for (size_t i = 0; i < n; ++i) {
        Pos& p = pos[i];
        if (!p.show) continue;
        if (!p.control) {
            int w = 0, h = 0;
            viewers_[i]->CalcSize(metrics, w, h);
            p.along = alongOf(w, h);
            p.across = acrossOf(w, h);
        }
        sum += p.along;
    }
    const Rect margins = LayoutMargins(orientation);
    const int alongStart = horizontal ? margins.left : margins.top;
    const int alongEndMargin = horizontal ? margins.right : margins.bottom;
    const int acrossStart = horizontal ? margins.top : margins.left;
    const int acrossEndMargin = horizontal ? margins.bottom : margins.right;

    // The chevron hides items from the end (or the least recently used).
    bool chevronShown = false, nonControlHidden = false;
    int avail = 0;
    if (chevron && chevronOffset > 0 && chevronOffset < sum + alongStart + alongEndMargin) {
        chevronShown = true;
        avail = chevronOffset - chevronSize;
        int shownItems = 0;
        int last = -1;
        for (size_t i = 0; i < n; ++i)
            if (pos[i].show) {
                if (!pos[i].sep) ++shownItems;
                last = int(i);
            }
        std::vector<int>& order = order_;
        order.clear();
        if (priority_) {
            for (size_t k = priority_->size(); k-- > 0;) {
                const int i = IndexOf((*priority_)[k]);
                if (i >= 0) order.push_back(i);
            }
        } else {
            for (size_t i = n; i-- > 0;) order.push_back(int(i));
        }
        size_t cursor = 0;
        auto hide = [&](int i) {
            pos[size_t(i)].show = false;
            sum -= pos[size_t(i)].along;
            if (!pos[size_t(i)].sep) --shownItems;
        };
        auto prevShown = [&](int i) {
            while (--i >= 0)
                if (pos[size_t(i)].show) return i;
            return -1;
        };
        auto nextShown = [&](int i) {
            while (++i <= last)
                if (pos[size_t(i)].show) return i;
            return -1;
        };
        while (sum + alongStart + alongEndMargin > avail && shownItems >= 2) {
            int k;
            if (last >= 0 && pos[size_t(last)].sep) {
                k = last;
            } else {
                while (cursor < order.size() &&
                       (!pos[size_t(order[cursor])].show || pos[size_t(order[cursor])].sep))
                    ++cursor;
                if (cursor == order.size()) break;
                k = order[cursor];
                pos[size_t(k)].clipped = true;
                if (!pos[size_t(k)].control) nonControlHidden = true;
            }
            const int p = prevShown(k), q = nextShown(k);
            hide(k);
            if (k == last) last = p;
            // Separators around the gap collapse as before.
            if (q >= 0 && pos[size_t(q)].sep && (p < 0 || pos[size_t(p)].sep)) {
                hide(q);
                if (q == last) last = prevShown(q);
            } else if (q < 0 && p >= 0 && pos[size_t(p)].sep) {
                hide(p);
                last = prevShown(p);
            }
        }
        while (last >= 0 && pos[size_t(last)].sep) {
            hide(last);
            last = prevShown(last);
        }
    }

    // Lines all have the thickness of the thickest item.
    int thickness = 0;
    for (const Pos& p : pos)
        if (p.show) thickness = std::max(thickness, p.across);

    const int wrap = wrapOffset > 0 ? std::max(1, wrapOffset - alongEndMargin) : 0;
    const int alignEnd = wrap > 0 ? wrap : chevronOffset > 0 ? (chevronShown ? avail : chevronOffset) - alongEndMargin : 0;
    // With wrapping: what the items after a separator, up to the next one, take.
    std::vector<int>& groupAfter = groupAfter_;
    if (wrap > 0) {
        groupAfter.assign(n, 0);
        int run = 0;
        for (size_t i = n; i-- > 0;) {
            if (!pos[i].show) continue;
            if (pos[i].sep) {
                groupAfter[i] = run;
                run = 0;
            } else {
                run += pos[i].along;
            }
        }
    }
    int along = alongStart, across = acrossStart;
    int maxEnd = alongStart;
    bool pendingBreak = false, anyShown = false;
    std::vector<size_t>& line = line_;
    line.clear();
    auto finishLine = [&] {
        for (size_t i : line) {
            Pos& p = pos[i];
            const TTBItemViewer* v = viewers_[i].get();
            int off = 0, len = p.across;
            if (isToolbar_) {
                if (p.sep || (v->Item()->ItemStyle() & isStretch))
                    len = thickness;
                else
                    off = (thickness - p.across) / 2;
            } else if (!v->IsToolbarStyle()) {
                len = thickness;
            }
            const int a = horizontal ? p.r.left : p.r.top;
            p.r = makeRect(horizontal, a, across + off, p.along, len);
        }
        if (alignEnd > 0) {
            auto first = std::find_if(line.begin(), line.end(),
                                      [&](size_t i) { return viewers_[i]->Item()->ItemStyle() & isRightAlign; });
            if (first != line.end()) {
                const Rect& lastR = pos[line.back()].r;
                const int shift = alignEnd - (horizontal ? lastR.right : lastR.bottom);
                if (shift > 0)
                    for (auto it = first; it != line.end(); ++it) {
                        Rect& r = pos[*it].r;
                        if (horizontal)
                            r.left += shift, r.right += shift;
                        else
                            r.top += shift, r.bottom += shift;
                    }
            }
        }
        for (size_t i : line) maxEnd = std::max(maxEnd, horizontal ? pos[i].r.right : pos[i].r.bottom);
        line.clear();
    };
    for (size_t i = 0; i < n; ++i) {
        Pos& p = pos[i];
        if (!p.show) continue;
        anyShown = true;
        if (wrap > 0 && p.sep && !(viewers_[i]->Item()->ItemStyle() & isNoLineBreak) &&
            (pendingBreak || along + p.along + groupAfter[i] > wrap)) {
            finishLine();
            p.lineBreak = p.lineSep = true;
            p.r = makeRect(horizontal, alongStart, across + thickness, 0, 6);
            across += thickness + 6;
            along = alongStart;
            pendingBreak = false;
            continue;
        }
        if (wrap > 0 && !p.sep && !line.empty() && along + p.along > wrap) {
            finishLine();
            p.lineBreak = true;
            across += thickness;
            along = alongStart;
            pendingBreak = true;
        }
        p.r = makeRect(horizontal, along, across, p.along, p.across);
        line.push_back(i);
        along += p.along;
    }
    finishLine();
    const bool lastLineEmpty = anyShown && along == alongStart;
    int totalAlong = maxEnd + alongEndMargin;
    if (chevronShown) totalAlong = std::max(totalAlong, avail + chevronSize);
    int totalAcross = across + (lastLineEmpty ? 0 : thickness) + acrossEndMargin;
    total = horizontal ? TBPoint{totalAlong, totalAcross} : TBPoint{totalAcross, totalAlong};

    // Line breaks span the whole line.
    for (Pos& p : pos)
        if (p.show && p.lineSep && isToolbar_) {
            if (horizontal)
                p.r.left = 0, p.r.right = total.x;
            else
                p.r.top = 0, p.r.bottom = total.y;
        }
    if (orientation == tbvoVertical)
        for (Pos& p : pos) {
            const int l = p.r.left;
            p.r.left = total.x - p.r.right;
            p.r.right = total.x - l;
        }

    // Popups taller than their maximum scroll.
    showUpArrow_ = showDownArrow_ = false;
    if (MaxHeight > 0 && total.y > MaxHeight && !horizontal) {
        const int overflow = total.y - MaxHeight;
        ScrollOffset = std::clamp(ScrollOffset, 0, overflow);
        showUpArrow_ = ScrollOffset > 0;
        showDownArrow_ = ScrollOffset < overflow;
        for (Pos& p : pos) {
            p.r.top -= ScrollOffset;
            p.r.bottom -= ScrollOffset;
            if (!p.show) continue;
            if ((showUpArrow_ && p.r.top < kScrollArrowBand) ||
                (showDownArrow_ && p.r.bottom > MaxHeight - kScrollArrowBand)) {
                p.show = false;
                p.clipped = true;
            }
        }
        total.y = MaxHeight;
    } else {
        ScrollOffset = 0;
    }

    if (canMoveControls) {
        for (size_t i = 0; i < n; ++i) {
            const Pos& p = pos[i];
            if (!p.control) continue;
            forms::Component* c = static_cast<TTBControlItem*>(viewers_[i]->Item())->Control();
            if (!c) continue;
            if (p.show)
                window_->SetControlBounds(c, p.r);
            else if (p.clipped)
                window_->SetControlBounds(c, Rect::Bounds(window_->ClientWidth(), window_->ClientHeight(),
                                                           p.r.Width(), p.r.Height()));
        }
    }
    if (chevron) {
        for (size_t i = 0; i < n; ++i) {
            if (viewers_[i]->Item() != chevron) continue;
            pos[i].show = chevronShown;
            if (chevronShown) pos[i].r = makeRect(horizontal, avail, acrossStart, chevronSize, thickness);
        }
        if (canMoveControls) chevron->SetEnabled(nonControlHidden);
    }

    if (!anyShown || total.x == 0 || total.y == 0) total = {23, 22};
    bool changed = false;
    for (size_t i = 0; i < n; ++i) {
        TTBItemViewer* v = viewers_[i].get();
        const Pos& p = pos[i];
        const Rect r = p.show ? p.r : (p.clipped ? p.r : v->BoundsRect);
        if (v->BoundsRect != r || v->Show != p.show || v->LineBreak != p.lineBreak) {
            changed = true;
            if (changes) changes->push_back({v, v->BoundsRect, v->Show});
        }
        v->BoundsRect = r;
        v->Show = p.show;
        v->Clipped = p.clipped;
        v->LineBreak = p.lineBreak;
        v->LineSep = p.lineSep;
    }
    baseSize_ = total;
    return changed;
}

void TTBView::scrollBy(bool down) {
    int delta = 0;
    if (!down) {
        for (auto& v : viewers_)
            if ((v->Show || v->Clipped) && v->BoundsRect.top < kScrollArrowBand) delta = kScrollArrowBand - v->BoundsRect.top;
        ScrollOffset -= std::max(delta, 1);
    } else {
        const int band = MaxHeight - kScrollArrowBand;
        for (auto& v : viewers_)
            if ((v->Show || v->Clipped) && v->BoundsRect.bottom > band) {
                delta = v->BoundsRect.bottom - band;
                break;
            }
        ScrollOffset += std::max(delta, 1);
    }
    InvalidateLayout();
    UpdateLayout();
    window_->InvalidateRect({0, 0, window_->ClientWidth(), window_->ClientHeight()});
}

void TTBView::ScrollSelectedIntoView() {
    if (!selected_ || MaxHeight <= 0 || (!showUpArrow_ && !showDownArrow_)) return;
    const Rect r = selected_->BoundsRect;
    const int top = showUpArrow_ ? kScrollArrowBand : 0;
    const int bottom = MaxHeight - (showDownArrow_ ? kScrollArrowBand : 0);
    int delta = 0;
    if (r.top < top)
        delta = r.top - top;
    else if (r.bottom > bottom)
        delta = r.bottom - bottom;
    if (!delta) return;
    ScrollOffset += delta;
    InvalidateLayout();
    UpdateLayout();
    // The arrows may have come or gone: once more to land exactly.
    const Rect again = selected_->BoundsRect;
    const int top2 = showUpArrow_ ? kScrollArrowBand : 0;
    const int bottom2 = MaxHeight - (showDownArrow_ ? kScrollArrowBand : 0);
    if (again.top < top2 || again.bottom > bottom2) {
        ScrollOffset += again.top < top2 ? again.top - top2 : again.bottom - bottom2;
        InvalidateLayout();
        UpdateLayout();
    }
    window_->InvalidateRect({0, 0, window_->ClientWidth(), window_->ClientHeight()});
}

// Painting ------------------------------------------------------------------------

void TTBView::InvalidateViewer(const TTBItemViewer* v) {
    if (v && v->Show) window_->InvalidateRect(v->BoundsRect);
}

void TTBView::Paint(TBCanvas& canvas, const Rect& clip) {
    const bool inOrder = state_ & tbvsDrawInOrder;
    state_ &= ~tbvsDrawInOrder;
    const uint32_t back = window_->BackgroundRGB();
    const uint32_t gray = window_->SysColorRGB(TBColor::GrayText);
    const uint32_t face = window_->SysColorRGB(TBColor::BtnFace);
    auto paintOne = [&](TTBItemViewer* v) {
        const bool selected = v == selected_;
        const bool toolbarStyle = v->IsToolbarStyle();
        canvas.extraTextFlags = AccelsVisible() ? 0 : tbDtHidePrefix;
        canvas.selectionFill = FlatMenusOn() ? TBColor::MenuHilight : TBColor::Highlight;
        if (v->Item()->Enabled() || customizing_) {
            canvas.textColor = (selected && !toolbarStyle) ? TBColor::HighlightText
                               : toolbarStyle             ? TBColor::BtnText
                                                          : TBColor::MenuText;
            canvas.embossDisabled = false;
        } else {
            canvas.textColor = TBColor::GrayText;
            canvas.embossDisabled = toolbarStyle || back == gray || (!selected && back == face);
        }
        const Rect& b = v->BoundsRect;
        canvas.SetOrigin(b.left, b.top);
        v->Paint(canvas, {0, 0, b.Width(), b.Height()}, selected, IsPushed(v), selected && mouseOverSelected_);
        canvas.SetOrigin(0, 0);
    };
    for (auto& v : viewers_) {
        if (!v->Show || v->Item()->IsControlItem() || !intersects(v->BoundsRect, clip)) continue;
        if (!inOrder && v.get() == selected_) continue;
        paintOne(v.get());
    }
    if (!inOrder && selected_ && selected_->Show && !selected_->Item()->IsControlItem() &&
        intersects(selected_->BoundsRect, clip))
        paintOne(selected_);
}

// Timers -----------------------------------------------------------------------------

void TTBView::StartTimer(TTBViewTimer kind, int ms) {
    if (!isPopup_) return;
    timers_ |= 1u << kind;
    window_->StartTimer(kViewTimerBase + kind, ms);
}

void TTBView::StopTimer(TTBViewTimer kind) {
    if (!(timers_ & (1u << kind))) return;
    timers_ &= ~(1u << kind);
    window_->StopTimer(kViewTimerBase + kind);
}

void TTBView::StopAllTimers() {
    for (int k = tbtOpen; k <= tbtScrollDown; ++k) StopTimer(TTBViewTimer(k));
}

void TTBView::TimerFired(TTBViewTimer kind) {
    switch (kind) {
    case tbtOpen:
        StopTimer(tbtOpen);
        CloseChildPopups();
        OpenChildPopup(false);
        break;
    case tbtClose:
        StopTimer(tbtClose);
        CloseChildPopups();
        break;
    case tbtScrollUp:
    case tbtScrollDown: {
        const bool down = kind == tbtScrollDown;
        if (down ? showDownArrow_ : showUpArrow_)
            scrollBy(down);
        else
            StopTimer(kind);
        break;
    }
    }
}

// Input ----------------------------------------------------------------------------------

TTBItemViewer* TTBView::ViewerFromPoint(int x, int y) const {
    for (const auto& v : viewers_)
        if (v->Show && v->BoundsRect.Contains(x, y)) return v.get();
    return nullptr;
}

namespace {
bool keySelectable(const TTBItemViewer* v) {
    const TTBCustomItem* it = v->Item();
    return v->Show && it->Visible() && it->Enabled() && (it->ItemStyle() & isSelectable) &&
           !(it->ItemStyle() & isSeparator);
}
}  // namespace

TTBItemViewer* TTBView::NextSelectable(TTBItemViewer* current, bool forward) const {
    const int n = int(viewers_.size());
    if (n == 0) return nullptr;
    int start = current ? IndexOf(current) : -1;
    if (start < 0) start = forward ? -1 : n;
    for (int k = 1; k <= n; ++k) {
        const int i = (((forward ? start + k : start - k) % n) + n) % n;
        if (keySelectable(viewers_[size_t(i)].get())) return viewers_[size_t(i)].get();
    }
    return nullptr;
}

TTBItemViewer* TTBView::FirstSelectable() const {
    for (const auto& v : viewers_)
        if (keySelectable(v.get()) && !(v->Item()->ItemStyle() & isNoFirstSelect)) return v.get();
    return nullptr;
}

TTBItemViewer* TTBView::FindAccel(char c, bool& unique) const {
    unique = false;
    const int n = int(viewers_.size());
    if (n == 0 || c == 0) return nullptr;
    auto search = [&](int from) -> TTBItemViewer* {
        for (int pass = 0; pass < 4; ++pass) {
            const bool enabled = pass < 2, byAccel = pass % 2 == 0;
            if (!byAccel && c == ' ') continue;
            for (int k = 1; k <= n; ++k) {
                TTBItemViewer* v = viewers_[size_t(((from + k) % n + n) % n)].get();
                const TTBCustomItem* it = v->Item();
                if (!(v->Show || v->Clipped) || !it->Visible() || !(it->ItemStyle() & isSelectable)) continue;
                if (it->Enabled() != enabled) continue;
                const char a = AccelCharOf(it->Caption());
                if (byAccel) {
                    if (a && upper(a) == upper(c)) return v;
                } else if (!a) {
                    const std::string plain = StripAccelChars(it->Caption());
                    if (!plain.empty() && upper(plain[0]) == upper(c)) return v;
                }
            }
        }
        return nullptr;
    };
    const int from = selected_ ? IndexOf(selected_) : -1;
    TTBItemViewer* found = search(from);
    if (found) unique = search(IndexOf(found)) == found;
    return found;
}

void TTBView::TrackHover(int x, int y, bool inside) {
    TTBItemViewer* hit = inside ? ViewerFromPoint(x, y) : nullptr;
    if (hit && (hit->Item()->ItemStyle() & isClicksTransparent)) hit = nullptr;
    if (capture_) {
        SetMouseOverSelected(hit && hit == selected_);
        return;
    }
    TTBItemViewer* before = selected_;
    if (hit)
        Select(hit, true);
    else if (!openViewer_ && !KeyboardMode() && isPopup_)
        Select(nullptr, true);
    SetMouseOverSelected(hit && hit == selected_);
    const bool selChanged = before != selected_;
    if (inside && selected_ && selected_ != openViewer_ &&
        (openViewer_ || (selected_->Item()->ItemStyle() & isSubmenu)) &&
        !(selected_->Item()->ItemStyle() & isNoAutoOpen)) {
        if (!isPopup_) {
            if (parentView_ && !capture_) SetKeyboardMode(true);
            if (KeyboardMode()) OpenChildPopup(false);
        } else {
            const bool openRunning = TimerRunning(tbtOpen);
            if (!openRunning && openViewer_) StartTimer(tbtClose, MenuDelay());
            if (!openRunning || selChanged) StartTimer(tbtOpen, MenuDelay());
        }
    }
    if (isPopup_) {
        if (inside && showUpArrow_ && y < kScrollArrowBand) {
            if (!TimerRunning(tbtScrollUp)) StartTimer(tbtScrollUp, 100);
            StopTimer(tbtScrollDown);
        } else if (inside && showDownArrow_ && y >= window_->ClientHeight() - kScrollArrowBand) {
            if (!TimerRunning(tbtScrollDown)) StartTimer(tbtScrollDown, 100);
            StopTimer(tbtScrollUp);
        } else {
            StopTimer(tbtScrollUp);
            StopTimer(tbtScrollDown);
        }
    }
}

void TTBView::HotTrack(int x, int y, bool inside) {
    TTBItemViewer* hit = inside ? ViewerFromPoint(x, y) : nullptr;
    if (hit && (hit->Item()->ItemStyle() & isClicksTransparent)) hit = nullptr;
    Select(hit, true);
    SetMouseOverSelected(hit != nullptr);
}

void TTBView::ClickResult(TTBItemViewer* v, TTBTrackResult& r) {
    r.done = true;
    r.action = {};
    r.action.kind = TBDeferredKind::Click;
    r.action.item = v->Item();
    r.action.playSound = this != RootView() || RootView()->IsPopup();
    GivePriority(v);
}

void TTBView::SelectByKey(TTBItemViewer* v) {
    if (!v) return;
    const bool wasOpen = openViewer_ != nullptr;
    Select(v, false);
    ScrollSelectedIntoView();
    if (isPopup_) {
        CloseChildPopups();
        return;
    }
    if (!wasOpen) return;
    CloseChildPopups();
    if (!(v->Item()->ItemStyle() & isNoAutoOpen)) OpenChildPopup(true);
}

void TTBView::HandleKey(unsigned& key, TBShiftState shift, TTBTrackResult& r) {
    const bool horizontalBar = !isPopup_ && orientation_ == tbvoHorizontal;
    switch (key) {
    case tbVkTab: SelectByKey(NextSelectable(selected_, !(shift & tbssShift))); break;
    case tbVkReturn:
        if (selected_ && selected_->Item()->Enabled()) {
            TTBCustomItem* it = selected_->Item();
            if ((it->ItemStyle() & isSubmenu) && !(it->ItemStyle() & isSplitButton)) {
                OpenChildPopup(true);
                if (openViewer_) {
                    SetKeyboardMode(true);
                    break;
                }
            }
            if (it->ItemStyle() & isSelectable)
                ClickResult(selected_, r);
            else
                r.done = true;
        } else {
            r.done = true;
        }
        break;
    case tbVkMenu:
    case tbVkF10: r.done = true; break;
    case tbVkEscape:
        if (!parentView_) {
            r.done = true;
        } else {
            TTBView* parent = parentView_;
            parent->CloseChildPopups();
            if (!parent->IsPopup()) parent->SetKeyboardMode(false);
        }
        break;
    case tbVkHome:
    case tbVkEnd:
        SelectByKey(NextSelectable(nullptr, key == tbVkHome));
        ScrollSelectedIntoView();
        break;
    case tbVkLeft:
    case tbVkRight: {
        const bool right = key == tbVkRight;
        if (horizontalBar) {
            const bool wasOpen = openViewer_ != nullptr;
            TTBItemViewer* v = NextSelectable(selected_, right);
            if (v && v != selected_) {
                Select(v, false);
                if (wasOpen) {
                    CloseChildPopups();
                    if (!(v->Item()->ItemStyle() & isNoAutoOpen)) OpenChildPopup(true);
                }
            }
        } else if (isPopup_) {
            TTBView* parent = parentView_;
            if (!right) {
                if (parent && (parent->IsPopup() || parent->Orientation() == tbvoVertical))
                    parent->CloseChildPopups();
                else if (parent) {
                    unsigned k = tbVkLeft;
                    parent->HandleKey(k, shift, r);
                }
            } else if (selected_ && selected_->Item()->Enabled() && (selected_->Item()->ItemStyle() & isSubmenu)) {
                OpenChildPopup(true);
            } else {
                TTBView* root = RootView();
                if (root != this && !root->IsPopup() && root->Orientation() == tbvoHorizontal) {
                    unsigned k = tbVkRight;
                    root->HandleKey(k, shift, r);
                }
            }
        }
        break;
    }
    case tbVkUp:
    case tbVkDown:
        if (isPopup_ || orientation_ == tbvoVertical) {
            SelectByKey(NextSelectable(selected_, key == tbVkDown));
        } else if (selected_) {
            SetKeyboardMode(true);
            OpenChildPopup(true);
        }
        break;
    case tbVkF1: {
        // Help for the innermost selected item with a help context.
        for (TTBView* v = this; v; v = v->parentView_)
            if (v->selected_ && v->selected_->Item()->HelpContext() != 0) {
                r.action = {};
                r.action.kind = TBDeferredKind::Help;
                r.action.helpContext = v->selected_->Item()->HelpContext();
                r.done = true;
                break;
            }
        break;
    }
    default: return;
    }
    key = 0;
}

}  // namespace toolbars

#include "tbdock.h"

#include <algorithm>

#include "forms/exception.h"

namespace toolbars {

void TBDockLayout::SetPosition(TTBDockPosition p) {
    if (p == position_) return;
    if (!docked_.empty()) throw forms::EInvalidOperation("Cannot change Position of a TTBDock if it already contains controls");
    position_ = p;
}

void TBDockLayout::SetBoundLines(TTBDockBoundLines lines) {
    boundLines_ = lines;
    ncWidth_ = ((lines & blLeft) ? 1 : 0) + ((lines & blRight) ? 1 : 0);
    ncHeight_ = ((lines & blTop) ? 1 : 0) + ((lines & blBottom) ? 1 : 0);
}

void TBDockLayout::SetFixAlign(bool v) {
    fixAlign_ = v;
    LayOutDockedWindows();
}

bool TBDockLayout::isShown(const TBDockableWindow* w) const {
    return std::find(shown_.begin(), shown_.end(), w) != shown_.end();
}

void TBDockLayout::AddWindow(TBDockableWindow* w) {
    if (std::find(docked_.begin(), docked_.end(), w) == docked_.end()) docked_.push_back(w);
}

void TBDockLayout::RemoveWindow(TBDockableWindow* w) {
    UpdateShown(w, false);
    docked_.erase(std::remove(docked_.begin(), docked_.end(), w), docked_.end());
    if (Placed == w) Placed = nullptr;
}

void TBDockLayout::UpdateShown(TBDockableWindow* w, bool shown) {
    shown = shown && std::find(docked_.begin(), docked_.end(), w) != docked_.end();
    if (shown == isShown(w)) return;
    if (shown)
        shown_.push_back(w);
    else
        shown_.erase(std::remove(shown_.begin(), shown_.end(), w), shown_.end());
    LayOutDockedWindows();
    if (OnInsertRemoveBar) OnInsertRemoveBar(shown, w);
}

void TBDockLayout::EndArrange() {
    if (lock_ > 0 && --lock_ == 0 && pending_) LayOutDockedWindows();
}

void TBDockLayout::CommitPositions() {
    for (TBDockableWindow* w : shown_) {
        w->DockRow = w->LaidOutRow;
        w->DockPos = w->LaidOutPos;
    }
}

void TBDockLayout::setThickness(int t) {
    if (ClientAligned) return;
    switch (position_) {
    case dpTop: Bounds.bottom = Bounds.top + t; break;
    case dpBottom: Bounds.top = Bounds.bottom - t; break;
    case dpLeft: Bounds.right = Bounds.left + t; break;
    case dpRight: Bounds.left = Bounds.right - t; break;
    }
}

namespace {

struct Entry {
    TBDockableWindow* w;
    int row;  // -1: not shown in this dock
    int gap = 0, full = 0, minimum = 0, granted = 0, overlap = 0, pos = 0;
    TBShrinkMode mode = TBShrinkMode::None;
    bool resized = false;
};

// Windows of equal row and position keep the order of the list.
void sortByRowAndPos(std::vector<TBDockableWindow*>& list) {
    std::stable_sort(list.begin(), list.end(), [](const TBDockableWindow* a, const TBDockableWindow* b) {
        return a->DockRow != b->DockRow ? a->DockRow < b->DockRow : a->DockPos < b->DockPos;
    });
}

}  // namespace

void TBDockLayout::LayOutDockedWindows() {
    if (lock_ > 0 || Loading) {
        pending_ = true;
        return;
    }
    ++lock_;
    struct Unlock {
        TBDockLayout* d;
        ~Unlock() {
            --d->lock_;
            d->pending_ = false;
            d->commit_ = false;
        }
    } unlock{this};
    canSplit_ = false;

    auto gone = [](const TBDockableWindow* w) { return w->Destroying(); };
    docked_.erase(std::remove_if(docked_.begin(), docked_.end(), gone), docked_.end());
    shown_.erase(std::remove_if(shown_.begin(), shown_.end(), gone), shown_.end());
    if (shown_.empty()) {
        rowThickness_.clear();
        setThickness(fixAlign_ ? 1 : 0);
        return;
    }
    const bool vertical = Vertical();
    const int freeLength = std::max(0, (vertical ? Bounds.Height() - ncHeight_ : Bounds.Width() - ncWidth_));
    if (LimitToOneRow)
        for (TBDockableWindow* w : docked_) w->DockRow = 0;

    std::vector<TBDockableWindow*> sorted = docked_;
    const auto placedAt = std::find(docked_.begin(), docked_.end(), Placed);
    sortByRowAndPos(sorted);
    if (Placed && Splitting && placedAt != docked_.end()) {
        // The placed window pushes its neighbours instead of passing them.
        sorted.erase(std::find(sorted.begin(), sorted.end(), Placed));
        sorted.insert(sorted.begin() + (placedAt - docked_.begin()), Placed);
    }
    sortByRowAndPos(shown_);

    std::vector<Entry> e;
    e.reserve(sorted.size());
    int highest = 0;
    for (TBDockableWindow* w : sorted) {
        const bool shown = isShown(w);
        e.push_back({w, shown ? std::max(0, w->DockRow) : -1});
        e.back().pos = w->DockPos;
        if (shown) highest = std::max(highest, e.back().row);
    }
    auto inRow = [&](int row) {
        std::vector<size_t> idx;
        for (size_t i = 0; i < e.size(); ++i)
            if (e[i].row == row) idx.push_back(i);
        return idx;
    };

    // Rows of their own: first for windows asking for one, then full size.
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 0 && LimitToOneRow) continue;
        for (int row = 0; row <= highest; ++row) {
            const std::vector<size_t> idx = inRow(row);
            if (idx.size() < 2) continue;
            for (size_t i : idx) {
                if (!(pass == 0 ? e[i].w->OpensNewRow : e[i].w->FullSize)) continue;
                for (size_t j = 0; j < e.size(); ++j)
                    if (j != i && e[j].row >= row) ++e[j].row;
                ++highest;
                break;
            }
        }
    }
    // Rows no window asks for close up.
    for (int row = 0; row <= highest;) {
        if (!inRow(row).empty()) {
            ++row;
            continue;
        }
        for (Entry& x : e)
            if (x.row > row) --x.row;
        --highest;
    }

    for (int row = 0; row <= highest; ++row) {
        std::vector<size_t> idx = inRow(row);
        // Lengths, and wrapping to a new row when the needs pass the room.
        const int available = freeLength;
        int total = 0, needs = 0;
        size_t count = 0;
        for (; count < idx.size(); ++count) {
            Entry& x = e[idx[count]];
            x.full = x.w->FullLength(vertical);
            x.granted = x.full;
            x.mode = x.w->ShrinkMode();
            x.minimum = std::clamp(x.w->MinimumLength(vertical), 0, x.full);
            needs += x.mode == TBShrinkMode::Chevron ? x.minimum : x.full;
            if (count > 0 && needs > available && !LimitToOneRow) {
                // Later rows move on too, so that rows never merge.
                for (size_t j = 0; j < e.size(); ++j)
                    if (e[j].row > row) ++e[j].row;
                for (size_t k = count; k < idx.size(); ++k) ++e[idx[k]].row;
                ++highest;
                break;
            }
            total += x.full;
        }
        idx.resize(count);
        const size_t n = idx.size();
        auto at = [&](size_t k) -> Entry& { return e[idx[k]]; };
        int excess = total - available;

        // Wanted positions: gaps where windows asked to be further on,
        // overlaps where they asked to sit over the one before. In a row
        // that overflows, a gap is given up and the rest of the row moves
        // back by it.
        int cursor = 0, shift = 0, minSum = 0, prevEnd = 0;
        int placedWanted = 0;
        size_t placedK = n;
        for (size_t k = 0; k < n; ++k) {
            Entry& x = at(k);
            // A window without a position (-1) goes where the cursor is.
            int wanted = k == 0 && (x.w->FullSize || x.w->Stretch) ? 0 : x.pos < 0 ? cursor : x.pos + shift;
            if (x.w == Placed) {
                placedWanted = wanted;
                placedK = k;
            }
            wanted = std::max(wanted, minSum);
            if (cursor < wanted) {
                if (excess > 0) {
                    shift -= wanted - cursor;
                    wanted = cursor;
                } else {
                    x.gap = wanted - cursor;
                    cursor = wanted;
                }
            } else if (wanted < prevEnd) {
                x.overlap = prevEnd - wanted;
            }
            prevEnd = wanted + x.granted;
            minSum += x.minimum;
            cursor += x.granted;
        }

        auto takeFromGaps = [&](size_t from, int amount) {
            for (size_t k = from; k-- > 0 && amount > 0;) {
                const int d = std::min(at(k).gap, amount);
                at(k).gap -= d;
                amount -= d;
            }
        };
        if (excess < 0 && placedK < n) {
            int before = 0;
            for (size_t k = 0; k < placedK; ++k) before += at(k).gap + at(k).granted;
            if (before > placedWanted) takeFromGaps(placedK, before - placedWanted);
        }
        int extent = 0;
        for (size_t k = 0; k < n; ++k) extent += at(k).gap + at(k).granted;
        if (extent > available) takeFromGaps(n, extent - available);

        // Shrinking: windows pushed over their neighbours take length from
        // the chevron windows before them, then the row's end gives up what
        // is still too much.
        if (excess > 0) {
            int carry = 0;
            for (size_t k = 0; k < n && excess > 0; ++k) {
                carry = std::min(carry + at(k).overlap, excess);
                for (size_t j = k; j-- > 0 && carry > 0;) {
                    Entry& y = at(j);
                    if (y.w == Placed) break;
                    if (y.mode != TBShrinkMode::Chevron) continue;
                    const int g = std::min(carry, y.granted - y.minimum);
                    y.granted -= g;
                    excess -= g;
                    carry -= g;
                }
            }
            if (placedK < n && n > 1) canSplit_ = true;
            for (size_t k = n; k-- > 0 && excess > 0;) {
                Entry& y = at(k);
                if (y.mode == TBShrinkMode::None || (y.mode == TBShrinkMode::Wrap && n > 1)) continue;
                const int g = std::min(excess, y.granted - y.minimum);
                y.granted -= g;
                excess -= g;
            }
        }

        // Final positions; full-size and stretching windows grow.
        int sum = 0;
        for (size_t k = 0; k < n; ++k) {
            Entry& x = at(k);
            if (x.w->FullSize || x.w->Stretch) {
                x.granted += x.gap;
                x.gap = 0;
            }
            sum += x.gap;
            if (x.w->FullSize) x.granted = std::max(x.granted, available);
            if (x.w->Stretch) {
                if (k + 1 < n) {
                    x.granted += at(k + 1).gap;
                    at(k + 1).gap = 0;
                } else {
                    x.granted = std::max(x.granted, available - sum);
                }
            }
            x.pos = sum;
            sum += x.granted;
        }
    }

    // Write back, size and place.
    for (Entry& x : e) {
        x.w->LaidOutRow = x.row;
        x.w->LaidOutPos = x.row >= 0 ? x.pos : 0;
        if (commit_) {
            x.w->DockRow = x.w->LaidOutRow;
            x.w->DockPos = x.w->LaidOutPos;
        }
    }
    if (commit_) docked_ = sorted;
    rowThickness_.assign(size_t(highest + 1), 0);
    std::vector<TBPoint> sizes(e.size());
    for (size_t i = 0; i < e.size(); ++i) {
        Entry& x = e[i];
        if (x.row < 0) continue;
        const int shrunk = x.granted >= x.full ? 0 : x.granted;
        const bool changed = shrunk != x.w->ShrunkLength;
        x.w->ShrunkLength = shrunk;
        if (x.mode != TBShrinkMode::None && changed) {
            sizes[i] = x.w->SizeForDock(vertical);
            x.resized = true;
        } else {
            sizes[i] = x.w->ClientSize();
        }
        x.w->RowThickness = vertical ? sizes[i].x : sizes[i].y;
        int& t = rowThickness_[size_t(x.row)];
        t = std::max(t, x.w->RowThickness);
    }
    for (int& t : rowThickness_)
        if (t != 0) t += kDockedFrame;
    std::vector<int> rowStart(rowThickness_.size(), 0);
    for (size_t r = 1; r < rowStart.size(); ++r) rowStart[r] = rowStart[r - 1] + rowThickness_[r - 1];
    for (Entry& x : e) {
        if (x.row < 0) continue;
        const int across = rowStart[size_t(x.row)], thick = rowThickness_[size_t(x.row)];
        const Rect r = vertical ? Rect::Bounds(across, x.pos, thick, x.granted) : Rect::Bounds(x.pos, across, x.granted, thick);
        ++x.w->UpdatingBounds;
        if (x.resized) x.w->ArrangeNeeded = true;
        x.w->SetBounds(r);
        --x.w->UpdatingBounds;
        if (x.w->ArrangeNeeded) {
            x.w->ArrangeNeeded = false;
            x.w->Arrange();
        }
    }
    int thickness = vertical ? ncWidth_ : ncHeight_;
    for (int t : rowThickness_) thickness += t;
    setThickness(thickness);
}

int TBDockLayout::HighestRow(bool laidOut) const {
    int highest = -1;
    if (laidOut) {
        for (const TBDockableWindow* w : shown_) highest = std::max(highest, w->LaidOutRow);
    } else {
        for (const TBDockableWindow* w : docked_) highest = std::max(highest, w->DockRow);
    }
    return highest;
}

int TBDockLayout::RowThicknessOf(int row, bool* fullSize) const {
    int t = 0;
    if (fullSize) *fullSize = false;
    for (TBDockableWindow* w : shown_) {
        if (w->LaidOutRow != row) continue;
        const TBPoint s = w->ClientSize();
        t = std::max(t, Vertical() ? s.x : s.y);
        if (fullSize && w->FullSize) *fullSize = true;
    }
    return t;
}

int TBDockLayout::MaxRowThicknessExcept(int row, const TBDockableWindow* except) const {
    int t = 0;
    for (const TBDockableWindow* w : shown_)
        if (w != except && w->LaidOutRow == row) t = std::max(t, w->RowThickness);
    return t;
}

TBDockLayout::DragRow TBDockLayout::RowForDrag(int distance, bool draggedFullSize) const {
    int sum = 0;
    for (size_t r = 0; r < rowThickness_.size(); ++r) {
        const int t = rowThickness_[r];
        if (t == 0) continue;
        bool rowFullSize = false;
        for (const TBDockableWindow* w : shown_)
            if (w->LaidOutRow == int(r) && w->FullSize) rowFullSize = true;
        const bool full = draggedFullSize || rowFullSize;
        const int margin = full ? t / 2 : t / 4;
        if (distance < sum + margin) return {int(r), true};
        if (!full && distance < sum + t - margin) return {int(r), false};
        sum += t;
    }
    return {int(rowThickness_.size()), true};
}

int TBDockLayout::RowAtDistance(int distance) const {
    int sum = 0;
    for (size_t r = 0; r < rowThickness_.size(); ++r) {
        sum += rowThickness_[r];
        if (distance < sum) return int(r);
    }
    return int(rowThickness_.size());
}

}  // namespace toolbars

#include "forms/extctrls.h"

#include <windowsx.h>

#include <algorithm>

#include "win/wintext.h"

namespace forms {

// Image -----------------------------------------------------------------------

Image::Image(Component* owner) : GraphicControl(owner) {
    SetBounds(0, 0, 105, 105);
    SetParentColor(true);
    picture_.OnChange = [this] { Invalidate(); };
}

void Image::SetStretch(bool on) {
    stretch_ = on;
    Invalidate();
}
void Image::SetCenter(bool on) {
    center_ = on;
    Invalidate();
}
void Image::SetProportional(bool on) {
    proportional_ = on;
    Invalidate();
}

Canvas& Image::GetCanvas() {
    if (picture_.Empty()) picture_.SetSize(std::max(Width(), 1), std::max(Height(), 1));
    Invalidate();
    return picture_.GetCanvas();
}

void Image::Paint(Canvas& canvas) {
    if (picture_.Empty()) return;
    const int pw = picture_.Width(), ph = picture_.Height();
    const int cw = ClientWidth(), ch = ClientHeight();
    if (stretch_ || (proportional_ && (pw > cw || ph > ch))) {
        int w = cw, h = ch;
        if (proportional_) {
            if (int64_t(pw) * ch > int64_t(ph) * cw)
                h = int(int64_t(ph) * cw / pw);
            else
                w = int(int64_t(pw) * ch / ph);
        }
        const int x = center_ ? (cw - w) / 2 : 0, y = center_ ? (ch - h) / 2 : 0;
        canvas.StretchDraw(Rect::Bounds(x, y, w, h), picture_.Handle());
        return;
    }
    canvas.Draw(center_ ? (cw - pw) / 2 : 0, center_ ? (ch - ph) / 2 : 0, picture_.Handle());
}

// Shape -----------------------------------------------------------------------

Shape::Shape(Component* owner) : GraphicControl(owner) {
    SetBounds(0, 0, 65, 65);
    SetParentColor(true);
}

void Shape::SetShape(ShapeType s) {
    shape_ = s;
    Invalidate();
}

void Shape::Paint(Canvas& canvas) {
    canvas.pen = pen;
    canvas.brush = brush;
    const int half = pen.width / 2;
    Rect r{half, half, Width() - (pen.width + 1) / 2 + 1, Height() - (pen.width + 1) / 2 + 1};
    if (shape_ == ShapeType::Square || shape_ == ShapeType::RoundSquare || shape_ == ShapeType::Circle) {
        const int s = std::min(r.Width(), r.Height());
        r = CentreIn(r, s, s);
    }
    switch (shape_) {
    case ShapeType::Rectangle:
    case ShapeType::Square: canvas.Rectangle(r); break;
    case ShapeType::RoundRect:
    case ShapeType::RoundSquare: canvas.RoundRect(r, std::min(r.Width(), r.Height()) / 4, std::min(r.Width(), r.Height()) / 4); break;
    case ShapeType::Ellipse:
    case ShapeType::Circle: canvas.Ellipse(r); break;
    }
}

// PaintBox --------------------------------------------------------------------

PaintBox::PaintBox(Component* owner) : GraphicControl(owner) {
    SetBounds(0, 0, 105, 105);
    SetParentColor(true);
}

void PaintBox::Paint(Canvas& canvas) {
    if (OnPaint) OnPaint(this, canvas);
}

// ProgressBar -----------------------------------------------------------------

ProgressBar::ProgressBar(Component* owner) : WinControl(owner) { SetBounds(0, 0, 150, 16); }

void ProgressBar::FillCreateParams(CreateParams& p) { p.className = PROGRESS_CLASSW; }

void ProgressBar::HandleCreated() {
    SendMessageW(Handle(), PBM_SETRANGE32, WPARAM(min_), LPARAM(max_));
    SendMessageW(Handle(), PBM_SETPOS, WPARAM(position_), 0);
}

void ProgressBar::SetRange(int min, int max) {
    min_ = min;
    max_ = std::max(min, max);
    if (Handle()) HandleCreated();
}

void ProgressBar::SetPosition(int p) {
    position_ = std::min(std::max(p, min_), max_);
    if (Handle()) SendMessageW(Handle(), PBM_SETPOS, WPARAM(position_), 0);
}

// TreeView --------------------------------------------------------------------

void TreeNode::SetText(const std::string& t) {
    text_ = t;
    if (tree_ && item_) {
        std::wstring w = win::Wide(t);
        TVITEMW it{};
        it.mask = TVIF_TEXT;
        it.hItem = item_;
        it.pszText = w.data();
        SendMessageW(tree_->Handle(), TVM_SETITEMW, 0, LPARAM(&it));
    }
}

namespace {

// A node without a picture: -1 would be the tree's ask-the-owner index.
int treeImage(int i) { return i < 0 ? I_IMAGENONE : i; }

}  // namespace

void TreeNode::SetImageIndex(int i) {
    image_ = i;
    if (tree_ && item_) {
        TVITEMW it{};
        it.mask = TVIF_IMAGE;
        it.hItem = item_;
        it.iImage = treeImage(i);
        SendMessageW(tree_->Handle(), TVM_SETITEMW, 0, LPARAM(&it));
    }
}

void TreeNode::SetSelectedIndex(int i) {
    selected_ = i;
    if (tree_ && item_) {
        TVITEMW it{};
        it.mask = TVIF_SELECTEDIMAGE;
        it.hItem = item_;
        it.iSelectedImage = treeImage(i);
        SendMessageW(tree_->Handle(), TVM_SETITEMW, 0, LPARAM(&it));
    }
}

int TreeNode::Index() const {
    const auto& list = parent_ ? parent_->children_ : tree_->roots_;
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i].get() == this) return int(i);
    return -1;
}

int TreeNode::AbsoluteIndex() const {
    std::vector<TreeNode*> all;
    tree_->collect(all);
    auto it = std::find(all.begin(), all.end(), this);
    return it == all.end() ? -1 : int(it - all.begin());
}

bool TreeNode::Expanded() const {
    if (tree_ && item_ && tree_->Handle())
        return (SendMessageW(tree_->Handle(), TVM_GETITEMSTATE, WPARAM(item_), TVIS_EXPANDED) & TVIS_EXPANDED) != 0;
    return expanded_;
}

void TreeNode::SetExpanded(bool on) {
    expanded_ = on;
    if (tree_ && item_) SendMessageW(tree_->Handle(), TVM_EXPAND, on ? TVE_EXPAND : TVE_COLLAPSE, LPARAM(item_));
}

TreeView::TreeView(Component* owner) : WinControl(owner) {
    tabStop_ = true;
    color_ = clWindow;
    SetBounds(0, 0, 121, 97);
}

TreeView::~TreeView() { clearing_ = true; }

void TreeView::FillCreateParams(CreateParams& p) {
    p.className = WC_TREEVIEWW;
    p.style |= WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS;
    p.exStyle |= WS_EX_CLIENTEDGE;
}

void TreeView::HandleCreated() {
    if (images_) SendMessageW(Handle(), TVM_SETIMAGELIST, TVSIL_NORMAL, LPARAM(images_->Handle()));
    std::vector<TreeNode*> all;
    collect(all);
    for (TreeNode* n : all) insert(n);
}

void TreeView::insert(TreeNode* n) {
    if (!Handle()) return;
    std::wstring w = win::Wide(n->text_);
    TVINSERTSTRUCTW is{};
    is.hParent = n->parent_ ? n->parent_->item_ : TVI_ROOT;
    is.hInsertAfter = TVI_LAST;
    is.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
    is.item.pszText = w.data();
    is.item.iImage = treeImage(n->image_);
    is.item.iSelectedImage = treeImage(n->selected_);
    is.item.lParam = LPARAM(n);
    n->item_ = HTREEITEM(SendMessageW(Handle(), TVM_INSERTITEMW, 0, LPARAM(&is)));
}

TreeNode* TreeView::Add(TreeNode* parent, const std::string& text) {
    auto node = std::make_unique<TreeNode>();
    node->text_ = text;
    node->parent_ = parent;
    node->tree_ = this;
    TreeNode* n = node.get();
    (parent ? parent->children_ : roots_).push_back(std::move(node));
    insert(n);
    return n;
}

void TreeView::Delete(TreeNode* node) {
    if (!node) return;
    auto& list = node->parent_ ? node->parent_->children_ : roots_;
    std::vector<TreeNode*> gone;
    std::function<void(TreeNode*)> mark = [&](TreeNode* t) {
        gone.push_back(t);
        for (auto& c : t->children_) mark(c.get());
    };
    mark(node);
    if (std::find(gone.begin(), gone.end(), selected_) != gone.end()) selected_ = nullptr;
    clearing_ = true;
    if (Handle() && node->item_) SendMessageW(Handle(), TVM_DELETEITEM, 0, LPARAM(node->item_));
    clearing_ = false;
    list.erase(std::remove_if(list.begin(), list.end(), [&](const auto& p) { return p.get() == node; }), list.end());
}

void TreeView::Clear() {
    clearing_ = true;
    if (Handle()) SendMessageW(Handle(), TVM_DELETEITEM, 0, LPARAM(TVI_ROOT));
    roots_.clear();
    selected_ = nullptr;
    clearing_ = false;
}

void TreeView::collect(std::vector<TreeNode*>& out) const {
    std::function<void(const std::vector<std::unique_ptr<TreeNode>>&)> walk = [&](const auto& list) {
        for (const auto& n : list) {
            out.push_back(n.get());
            walk(n->children_);
        }
    };
    walk(roots_);
}

int TreeView::Count() const {
    std::vector<TreeNode*> all;
    collect(all);
    return int(all.size());
}

TreeNode* TreeView::Items(int i) const {
    std::vector<TreeNode*> all;
    collect(all);
    return i >= 0 && i < int(all.size()) ? all[size_t(i)] : nullptr;
}

TreeNode* TreeView::fromItem(HTREEITEM h) const {
    if (!h) return nullptr;
    std::vector<TreeNode*> all;
    collect(all);
    for (TreeNode* n : all)
        if (n->item_ == h) return n;
    return nullptr;
}

void TreeView::SetSelected(TreeNode* node) {
    selected_ = node;
    if (Handle()) SendMessageW(Handle(), TVM_SELECTITEM, TVGN_CARET, LPARAM(node ? node->item_ : nullptr));
}

TreeNode* TreeView::GetNodeAt(int x, int y) const {
    if (!Handle()) return nullptr;
    TVHITTESTINFO hit{{x, y}};
    SendMessageW(Handle(), TVM_HITTEST, 0, LPARAM(&hit));
    return (hit.flags & TVHT_ONITEM) ? fromItem(hit.hItem) : nullptr;
}

void TreeView::SetImages(ImageList* images) {
    if (images_) images_->RemoveFreeNotification(this);
    images_ = images;
    if (images_) images_->FreeNotification(this);
    if (Handle()) SendMessageW(Handle(), TVM_SETIMAGELIST, TVSIL_NORMAL, LPARAM(images_ ? images_->Handle() : nullptr));
}

void TreeView::Notification(Component* c, Operation op) {
    if (op == Operation::Remove && c == images_) SetImages(nullptr);
}

bool TreeView::HandleMessage(win::Message& m) {
    if (m.msg == kReflect + WM_NOTIFY) {
        auto* hdr = reinterpret_cast<NMHDR*>(m.lParam);
        if (hdr->code == TVN_SELCHANGEDW || hdr->code == TVN_SELCHANGEDA) {
            if (clearing_) return true;
            auto* nm = reinterpret_cast<NMTREEVIEWW*>(m.lParam);
            selected_ = fromItem(nm->itemNew.hItem);
            if (OnChange) OnChange(this, selected_);
            return true;
        }
        if (hdr->code == NM_RCLICK && RightClickSelect) {
            POINT p;
            GetCursorPos(&p);
            const POINT c = ScreenToClient(p);
            if (TreeNode* n = GetNodeAt(c.x, c.y)) SetSelected(n);
        }
    }
    return WinControl::HandleMessage(m);
}

// DrawGrid --------------------------------------------------------------------

DrawGrid::DrawGrid(Component* owner) : CustomControl(owner) {
    tabStop_ = true;
    color_ = clWindow;
    SetBounds(0, 0, 320, 120);
}

void DrawGrid::SetColCount(int n) {
    cols_ = std::max(n, 1);
    Invalidate();
}
void DrawGrid::SetRowCount(int n) {
    rows_ = std::max(n, 1);
    Invalidate();
}
void DrawGrid::SetDefaultColWidth(int w) {
    colWidth_ = w;
    widths_.clear();
    Invalidate();
}
void DrawGrid::SetDefaultRowHeight(int h) {
    rowHeight_ = h;
    Invalidate();
}
int DrawGrid::ColWidths(int c) const { return c >= 0 && c < int(widths_.size()) && widths_[c] >= 0 ? widths_[c] : colWidth_; }
void DrawGrid::SetColWidth(int c, int w) {
    if (c < 0) return;
    if (int(widths_.size()) <= c) widths_.resize(size_t(c) + 1, -1);
    widths_[size_t(c)] = w;
    Invalidate();
}

Rect DrawGrid::CellRect(int col, int row) const {
    int x = 0;
    for (int c = 0; c < col; ++c) x += ColWidths(c) + GridLineWidth;
    const int y = row * (rowHeight_ + GridLineWidth);
    return Rect::Bounds(x, y, ColWidths(col), rowHeight_);
}

bool DrawGrid::MouseToCell(int x, int y, int& col, int& row) const {
    col = row = -1;
    if (x < 0 || y < 0) return false;
    int left = 0;
    for (int c = 0; c < cols_; ++c) {
        const int w = ColWidths(c) + GridLineWidth;
        if (x < left + w) {
            col = c;
            break;
        }
        left += w;
    }
    const int r = y / (rowHeight_ + GridLineWidth);
    if (r < rows_) row = r;
    return col >= 0 && row >= 0;
}

void DrawGrid::SetCell(int col, int row) {
    if (col < FixedCols || row < FixedRows || col >= cols_ || row >= rows_) return;
    bool can = true;
    if (OnSelectCell) OnSelectCell(this, col, row, can);
    if (!can) return;
    col_ = col;
    row_ = row;
    Invalidate();
}

void DrawGrid::DrawCell(Canvas& canvas, int col, int row, const Rect& rect, GridDrawState state) {
    if (OnDrawCell) {
        OnDrawCell(this, col, row, rect, state);
        return;
    }
    canvas.brush.color = (state & gdFixed) ? clBtnFace : (state & gdSelected) ? clHighlight : Color();
    canvas.FillRect(rect);
}

void DrawGrid::Paint(Canvas& canvas) {
    canvas.brush.color = clBtnFace;
    canvas.FillRect(ClientRect());
    for (int r = 0; r < rows_; ++r)
        for (int c = 0; c < cols_; ++c) {
            const Rect rect = CellRect(c, r);
            if (rect.left > ClientWidth() || rect.top > ClientHeight()) continue;
            GridDrawState st = 0;
            if (c < FixedCols || r < FixedRows) st |= gdFixed;
            if (c == col_ && r == row_) st |= gdSelected | (Focused() ? gdFocused : 0);
            canvas.brush = {Color(), false};
            canvas.pen = {};
            canvas.font = GetFont();
            DrawCell(canvas, c, r, rect, st);
        }
}

bool DrawGrid::HandleMessage(win::Message& m) {
    if (m.msg == WM_LBUTTONDOWN) {
        int c, r;
        if (MouseToCell(GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam), c, r)) SetCell(c, r);
    } else if (m.msg == WM_KEYDOWN) {
        int c = col_, r = row_;
        switch (m.wParam) {
        case VK_LEFT: --c; break;
        case VK_RIGHT: ++c; break;
        case VK_UP: --r; break;
        case VK_DOWN: ++r; break;
        default: return CustomControl::HandleMessage(m);
        }
        SetCell(c, r);
        return true;
    } else if (m.msg == WM_GETDLGCODE) {
        m.result = DLGC_WANTARROWS;
        return true;
    }
    return CustomControl::HandleMessage(m);
}

// ValueListEditor -------------------------------------------------------------

ValueListEditor::ValueListEditor(Component* owner) : DrawGrid(owner) {
    SetColCount(2);
    FixedRows = 1;
    SetDefaultRowHeight(18);
    SetColWidth(0, 150);
    SetColWidth(1, 150);
    strings_.OnChange = [this] {
        SetRowCount(strings_.Count() + 1);
        if (OnValuesChanged) OnValuesChanged(this);
    };
    SetRowCount(1);
    OnSelectCell = [this](Component*, int, int row, bool&) {
        endEdit();
        editRow_ = row;
    };
    OnDblClick = [this](Component*) { startEdit(); };
}

std::string ValueListEditor::Keys(int row) const {
    return row >= 1 && row <= strings_.Count() ? strings_.Names(row - 1) : std::string();
}

void ValueListEditor::SetValueAt(int row, const std::string& value) {
    if (row < 1 || row > strings_.Count()) return;
    strings_.SetString(row - 1, strings_.Names(row - 1) + "=" + value);
}

int ValueListEditor::InsertRow(const std::string& key, const std::string& value, bool append) {
    const std::string entry = key + "=" + value;
    if (append) return strings_.Add(entry) + 1;
    const int at = std::max(Row() - 1, 0);
    strings_.Insert(std::min(at, strings_.Count()), entry);
    return at + 1;
}

void ValueListEditor::DeleteRow(int row) {
    if (row >= 1 && row <= strings_.Count()) strings_.Delete(row - 1);
}

void ValueListEditor::startEdit() {
    if (Row() < 1 || Row() > strings_.Count()) return;
    if (!editor_) {
        editor_ = new Edit(this);
        editor_->SetParent(this);
        editor_->OnExit = [this](Component*) { endEdit(); };
        editor_->OnKeyPress = [this](Component*, char& k) {
            if (k == '\r') {
                k = 0;
                endEdit();
            }
        };
    }
    editRow_ = Row();
    const Rect r = CellRect(1, Row());
    editor_->SetBounds(r.left, r.top, r.Width(), r.Height());
    editor_->SetCaption(strings_.ValueFromIndex(Row() - 1));
    editor_->Show();
    editor_->SetFocus();
}

void ValueListEditor::endEdit() {
    if (!editor_ || !editor_->Visible()) return;
    editor_->Hide();
    if (editRow_ >= 1 && editRow_ <= strings_.Count()) SetValueAt(editRow_, editor_->Text());
}

void ValueListEditor::DrawCell(Canvas& canvas, int col, int row, const Rect& rect, GridDrawState state) {
    canvas.brush.color = (state & gdFixed) ? clBtnFace : (state & gdSelected) ? clHighlight : Color();
    canvas.FillRect(rect);
    canvas.font.SetColor((state & gdSelected) && !(state & gdFixed) ? clHighlightText : clWindowText);
    std::string text;
    if (row == 0)
        text = TitleCaptions[col & 1];
    else if (row <= strings_.Count())
        text = col == 0 ? strings_.Names(row - 1) : strings_.ValueFromIndex(row - 1);
    canvas.brush.clear = true;
    canvas.TextRect(rect, rect.left + 2, rect.top + 2, text);
}

}  // namespace forms

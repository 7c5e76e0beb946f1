#pragma once
// Further controls: image, shape, paint box, progress bar, tree view, an
// owner-drawn grid and a name/value list editor.
#include <windows.h>
#include <commctrl.h>

#include <memory>

#include "forms/stdctrls.h"

namespace forms {

class Image : public GraphicControl {
public:
    explicit Image(Component* owner);
    Bitmap& Picture() { return picture_; }
    bool Stretch() const { return stretch_; }
    void SetStretch(bool on);
    bool Center() const { return center_; }
    void SetCenter(bool on);
    bool Proportional() const { return proportional_; }
    void SetProportional(bool on);
    // The picture's canvas; a picture of the control's size is made first
    // when there is none.
    Canvas& GetCanvas();

protected:
    void Paint(Canvas& canvas) override;

private:
    Bitmap picture_;
    bool stretch_ = false, center_ = false, proportional_ = false;
};

enum class ShapeType { Rectangle, Square, RoundRect, RoundSquare, Ellipse, Circle };

class Shape : public GraphicControl {
public:
    explicit Shape(Component* owner);
    ShapeType GetShape() const { return shape_; }
    void SetShape(ShapeType s);
    Canvas::PenSpec pen;
    Canvas::BrushSpec brush;

protected:
    void Paint(Canvas& canvas) override;

private:
    ShapeType shape_ = ShapeType::Rectangle;
};

class PaintBox : public GraphicControl {
public:
    explicit PaintBox(Component* owner);
    // The canvas while OnPaint runs.
    Canvas& GetCanvas() { return PaintCanvas(); }
    std::function<void(Component* sender, Canvas& canvas)> OnPaint;

protected:
    void Paint(Canvas& canvas) override;
};

class ProgressBar : public WinControl {
public:
    explicit ProgressBar(Component* owner);
    int Min() const { return min_; }
    int Max() const { return max_; }
    void SetRange(int min, int max);
    int Position() const { return position_; }
    void SetPosition(int p);
    int Step = 10;
    void StepIt() { SetPosition(position_ + Step); }

protected:
    void FillCreateParams(CreateParams& p) override;
    void HandleCreated() override;

private:
    int min_ = 0, max_ = 100, position_ = 0;
};

class TreeView;

// One node of a tree view; nodes are owned by the tree.
class TreeNode {
public:
    const std::string& Text() const { return text_; }
    void SetText(const std::string& t);
    int ImageIndex() const { return image_; }
    void SetImageIndex(int i);
    int SelectedIndex() const { return selected_; }
    void SetSelectedIndex(int i);
    TreeNode* Parent() const { return parent_; }
    int Count() const { return int(children_.size()); }
    TreeNode* Item(int i) const { return children_.at(size_t(i)).get(); }
    int Index() const;
    // The position in the whole tree, counted depth first from 0.
    int AbsoluteIndex() const;
    bool Expanded() const;
    void SetExpanded(bool on);
    void* Data = nullptr;
    HTREEITEM Handle() const { return item_; }

private:
    friend class TreeView;
    std::string text_;
    int image_ = -1, selected_ = -1;
    TreeNode* parent_ = nullptr;
    TreeView* tree_ = nullptr;
    HTREEITEM item_ = nullptr;
    bool expanded_ = false;
    std::vector<std::unique_ptr<TreeNode>> children_;
};

class TreeView : public WinControl {
public:
    explicit TreeView(Component* owner);
    ~TreeView() override;
    // A node at the end of the roots (parent null) or of a node's children.
    TreeNode* Add(TreeNode* parent, const std::string& text);
    void Delete(TreeNode* node);
    void Clear();
    int RootCount() const { return int(roots_.size()); }
    TreeNode* Root(int i) const { return roots_.at(size_t(i)).get(); }
    // Nodes in depth-first order.
    int Count() const;
    TreeNode* Items(int absoluteIndex) const;
    TreeNode* Selected() const { return selected_; }
    void SetSelected(TreeNode* node);
    TreeNode* GetNodeAt(int x, int y) const;
    ImageList* Images() const { return images_; }
    void SetImages(ImageList* images);
    bool RightClickSelect = false;
    std::function<void(Component* sender, TreeNode* node)> OnChange;
    bool HandleMessage(win::Message& m) override;

protected:
    void FillCreateParams(CreateParams& p) override;
    void HandleCreated() override;
    void Notification(Component* c, Operation op) override;

private:
    friend class TreeNode;
    void insert(TreeNode* n);
    void collect(std::vector<TreeNode*>& out) const;
    TreeNode* fromItem(HTREEITEM h) const;
    std::vector<std::unique_ptr<TreeNode>> roots_;
    TreeNode* selected_ = nullptr;
    ImageList* images_ = nullptr;
    bool clearing_ = false;
};

using GridDrawState = unsigned;
constexpr GridDrawState gdSelected = 1, gdFocused = 2, gdFixed = 4;

// A grid of cells drawn by its owner.
class DrawGrid : public CustomControl {
public:
    explicit DrawGrid(Component* owner);
    int ColCount() const { return cols_; }
    int RowCount() const { return rows_; }
    void SetColCount(int n);
    void SetRowCount(int n);
    int FixedCols = 0, FixedRows = 0;
    int DefaultColWidth() const { return colWidth_; }
    int DefaultRowHeight() const { return rowHeight_; }
    void SetDefaultColWidth(int w);
    void SetDefaultRowHeight(int h);
    int ColWidths(int c) const;
    void SetColWidth(int c, int w);
    int GridLineWidth = 1;
    int Col() const { return col_; }
    int Row() const { return row_; }
    // Selects a cell (OnSelectCell may refuse).
    void SetCell(int col, int row);
    Rect CellRect(int col, int row) const;
    bool MouseToCell(int x, int y, int& col, int& row) const;
    std::function<void(Component* sender, int col, int row, const Rect& rect, GridDrawState state)> OnDrawCell;
    std::function<void(Component* sender, int col, int row, bool& canSelect)> OnSelectCell;
    bool CanFocus() const override { return WinControl::CanFocus(); }
    bool HandleMessage(win::Message& m) override;

protected:
    void Paint(Canvas& canvas) override;
    virtual void DrawCell(Canvas& canvas, int col, int row, const Rect& rect, GridDrawState state);

private:
    int cols_ = 5, rows_ = 5, colWidth_ = 64, rowHeight_ = 24, col_ = 0, row_ = 0;
    std::vector<int> widths_;
};

// Two columns of names and values with their titles; the value of the
// current row is edited in place.
class ValueListEditor : public DrawGrid {
public:
    explicit ValueListEditor(Component* owner);
    StringList& Strings() { return strings_; }
    std::string TitleCaptions[2] = {"Key", "Value"};
    int RowCountData() const { return strings_.Count(); }
    std::string Keys(int row) const;  // rows counted from 1
    std::string Values(const std::string& key) const { return strings_.Values(key); }
    void SetValueAt(int row, const std::string& value);
    int InsertRow(const std::string& key, const std::string& value, bool append);
    void DeleteRow(int row);
    NotifyEvent OnValuesChanged;

protected:
    void DrawCell(Canvas& canvas, int col, int row, const Rect& rect, GridDrawState state) override;

private:
    void startEdit();
    void endEdit();
    StringList strings_;
    Edit* editor_ = nullptr;
    int editRow_ = -1;
};

}  // namespace forms

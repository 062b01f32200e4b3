#pragma once
// The grid page object: a rectangle divided into rows x columns of cells.
// Column borders are dragged with the mouse (state 41), a cell is dragged onto
// another (state 42: within one grid the two swap, from another grid a copy
// arrives), a double click opens "Edit Cell". Also the base of the result
// table, which rebuilds its own rows and columns.
//
// Geometry is in local units, relative to the grid rectangle (the object
// rectangle inset by 3 on every side). The column borders are the right
// edges of columns 0 .. cols-2, strictly ascending inside the grid width; a
// one-column grid has none and its column spans the grid. Every row is
// RowHeight() high, never 0, and it is set whenever the rectangle or the row
// count changes (a first print must place the cells as the screen does).
//
// The grid owns its cells. Each statistic cell of a plain grid is a loose
// cell: when its gate or shell goes, its item deletes it and the grid puts a
// fresh cell in its place. The document's dragged cell is dropped whenever
// that cell dies.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "report/page/Cell.h"
#include "report/page/TrkObj.h"

class QPainter;

// Inset of the grid rectangle inside the object rectangle.
constexpr int32_t kGridInset = 3;
// Narrowest column a new grid gets, and the closest a dragged border comes to
// the one before it (or to the grid's left edge).
constexpr int32_t kMinColumnWidth = 35;
constexpr int32_t kMinBorderGap = 20;
// Rows and columns a grid may have.
constexpr int32_t kMaxGridSide = 100;

// Context-menu command of a grid besides the shared ones (TrkContextCommand).
enum GridContextCommand : int32_t { kCtxDbLink = 26 };

// A hit of HitTestCell: a cell (row >= 0), a border (row -1, col the border
// index) or nothing (both -1).
struct GridHit {
    int32_t col = -1;
    int32_t row = -1;
    bool IsCell() const { return row >= 0 && col >= 0; }
    bool IsBorder() const { return row < 0 && col >= 0; }
};

class CGrid : public CTrkObj {
public:
    // (x, y, x + 30, y + 50), then SetSize(rows, cols).
    CGrid(int32_t x, int32_t y, CLumitraDoc* doc, int32_t rows, int32_t cols);
    CGrid(int32_t left, int32_t top, int32_t right, int32_t bottom, CLumitraDoc* doc, int32_t rows, int32_t cols);
    // The loader's: no cells until the record is read.
    explicit CGrid(CLumitraDoc* doc);
    ~CGrid() override;

    void Draw(QPainter* painter) override;
    CPoint PageToLocal(CPoint point) const override;
    bool OnLButtonDown(uint32_t flags, CPoint point, int32_t* state) override;
    bool OnLButtonUp(uint32_t flags, CPoint point, int32_t* state) override;
    bool OnMouseMove(uint32_t flags, CPoint point, int32_t* state) override;
    bool QueryMouse(uint32_t flags, CPoint point, int32_t* state) override;
    bool OnLButtonDblClk(uint32_t flags, CPoint point, int32_t* state) override;
    void SetRect(const CRect& rect, bool quiet) override;
    using CTrkObj::SetRect;
    CSize GetMinSize() const override;
    // Records are checked whole: rows and columns 1..100, borders strictly
    // ascending inside the grid, cell kinds -1/0/1; anything else throws.
    // The stored rectangle and column width are kept.
    void Load(CArchive& ar) override;
    void Store(CArchive& ar) const override;
    bool BuildContextMenu(std::vector<lm::MenuItem>* menu, uint32_t flags, CPoint point) override;
    bool OnContextCommand(uint32_t id, int32_t extra) override;

    virtual void SetCellText(int32_t row, int32_t col, const std::string& text);
    // Clamped to 1..100 each. Cells inside the old size are cloned, new places
    // get fresh cells; the rectangle's right edge follows the columns.
    virtual void SetSize(int32_t rows, int32_t cols);
    virtual void Create(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t rows, int32_t cols);
    virtual GridHit HitTestCell(CPoint local) const;
    // A fresh cell (grid font and colours, no text) at (col, row); the old
    // one is deleted when deleteOld, else left to its caller (a dying cell).
    virtual void ResetCell(int32_t col, int32_t row, bool deleteOld);
    virtual void NotifyChanged();
    // Sizes a new grid's cells (columns spread evenly, rows) so that a
    // statistic value in the grid's font is shown whole; the rectangle
    // follows.
    void FitCellsToValues();

    // Null outside the grid or at an empty place.
    CCell* GetCell(int32_t row, int32_t col) const;
    // Takes cell (null leaves the place empty) and frees the one there.
    void SetCell(int32_t row, int32_t col, std::unique_ptr<CCell> cell);
    // Swaps two places; both cells learn their new place.
    void SwapCells(int32_t rowA, int32_t colA, int32_t rowB, int32_t colB);
    // Computes the values of every stale statistic cell together (spread over
    // the cores); Draw does it first.
    void UpdateStaleCells();
    // Page rectangle of a cell.
    CRect CellRect(int32_t col, int32_t row) const;
    void DrawCell(QPainter* painter, int32_t row, int32_t col);
    CRect GetGridRect() const;
    // Page rectangle of the border drag line (2 wide), empty when no drag.
    CRect DragLineRect() const;

    int32_t GetRows() const { return m_rows; }
    int32_t GetCols() const { return m_cols; }
    int32_t RowHeight() const { return m_rowHeight; }
    int32_t GetColumnWidth() const { return m_colWidth; }
    const std::vector<int32_t>& GetBorders() const { return m_borders; }
    // Column borders from elsewhere (the database layout); taken only when
    // there is one per inner border, strictly ascending inside the grid.
    bool SetBorders(const std::vector<int32_t>& borders);
    int32_t GetDragX() const { return m_dragX; }

protected:
    // A plain grid divides its height among its rows; the result table keeps
    // a fixed row height.
    virtual void FitRowHeight();
    // Borders that no longer fit the grid width are spread evenly again.
    void FitBorders();
    void FreeCells();
    std::unique_ptr<CCell> NewCell(int32_t col, int32_t row);
    // Right edge of column col in local units.
    int32_t ColumnRight(int32_t col) const;
    void EditCell(int32_t row, int32_t col);
    // What ResetCell would put there: clearing it changes nothing.
    bool IsFreshCell(const CCell& cell) const;

    int32_t m_dragAnchor = -1;
    int32_t m_spare = 0;
    std::vector<int32_t> m_borders;
    int32_t m_rows = 0;
    int32_t m_cols = 0;
    int32_t m_rowHeight = 20;
    int32_t m_colWidth = kMinColumnWidth;
    int32_t m_prevDragX = -1;
    int32_t m_dragX = -1;
    std::vector<std::vector<CCell*>> m_cells;  // owned; [row][col]
    int32_t m_hitCol = -1;
    int32_t m_hitRow = -1;
};

// The view's makers of a grid and of the "Grid" dialog.
std::unique_ptr<CTrkObj> MakeGridAt(CLumitraDoc* doc, CPoint at, int32_t rows, int32_t cols);
std::unique_ptr<CTrkObj> LoadGrid(CLumitraDoc* doc);

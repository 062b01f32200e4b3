#include "report/page/Grid.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <string>

#include "base/Archive.h"
#include "database/DatabaseDlg.h"
#include "dialogs/CellStrDlg.h"
#include "platform/PaintHelpers.h"
#include "platform/UiServices.h"
#include "report/page/FileRecords.h"
#include "report/page/LumitraDoc.h"
#include "report/page/LumitraView.h"
#include "report/page/StatBatch.h"
#include "report/page/TrackStates.h"
#include "report/page/TrkText.h"

namespace {

// Cells within this many units of the object's edges are the frame's.
constexpr int32_t kEdgeLow = 6;
constexpr int32_t kEdgeHigh = 5;
// A press within this many units of a border grabs it.
constexpr int32_t kBorderGrab = 2;
// Cells start this far right of the border line before them.
constexpr int32_t kCellOffset = 2;
constexpr COLORREF kLineColour = 0xEBEBEB;
// Largest column width a record may give (far beyond any canvas).
constexpr int32_t kMaxStoredWidth = 1 << 24;
// The widest statistic texts a new grid's cells must show whole: a count of
// ten million events, and a compensated value of an 18-bit parameter.
constexpr const char* kWidestValues[] = {"10000000", "-262144.00"};
// Room around a cell's text, the least row height, and the most a font may
// ask for (a new grid of 100 x 100 cells stays on a canvas of 20 pages).
constexpr int32_t kCellPadding = 6;
constexpr int32_t kNewRowHeight = 20;
constexpr int32_t kMaxFittedColumn = 200;
constexpr int32_t kMaxFittedRow = 100;

void CheckRecord(bool ok, const std::string& what) {
    if (!ok) throw CFldFormatError("grid record: " + what);
}

std::string Num(int32_t v) { return std::to_string(v); }

QWidget* DialogParent() { return CLumitraView::GetCurrentView(); }

int QtAlignment(uint32_t format) {
    int flags = Qt::TextSingleLine | Qt::AlignVCenter;
    switch (format & 3u) {
        case 1: return flags | Qt::AlignHCenter;
        case 2: return flags | Qt::AlignRight;
        default: return flags | Qt::AlignLeft;
    }
}

}  // namespace

// ============================================================ construction

CGrid::CGrid(int32_t x, int32_t y, CLumitraDoc* doc, int32_t rows, int32_t cols)
    : CTrkObj(CRect(x, y, x + 30, y + 50), doc) {
    m_type = kObjGrid;
    SetSize(rows, cols);
}

CGrid::CGrid(int32_t left, int32_t top, int32_t right, int32_t bottom, CLumitraDoc* doc, int32_t rows,
             int32_t cols)
    : CTrkObj(doc) {
    m_type = kObjGrid;
    Create(left, top, right, bottom, rows, cols);
}

CGrid::CGrid(CLumitraDoc* doc) : CTrkObj(doc) { m_type = kObjGrid; }

CGrid::~CGrid() { FreeCells(); }

void CGrid::FreeCells() {
    // Each cell leaves the matrix before it dies, so nothing it does while
    // dying finds it there.
    for (auto& row : m_cells)
        for (CCell*& cell : row) delete std::exchange(cell, nullptr);
    m_cells.clear();
}

std::unique_ptr<CCell> CGrid::NewCell(int32_t col, int32_t row) { return std::make_unique<CCell>(this, col, row); }

void CGrid::Create(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t rows, int32_t cols) {
    m_rect = Normalized(CRect(left, top, right, bottom));
    SetSize(rows, cols);
}

void CGrid::SetSize(int32_t rows, int32_t cols) {
    rows = std::clamp(rows, 1, kMaxGridSide);
    cols = std::clamp(cols, 1, kMaxGridSide);
    m_colWidth = std::max(GetGridRect().Width() / cols, kMinColumnWidth);

    std::vector<std::vector<CCell*>> cells(size_t(rows), std::vector<CCell*>(size_t(cols), nullptr));
    const bool hadCells = !m_cells.empty();
    for (int32_t r = 0; r < rows; ++r) {
        for (int32_t c = 0; c < cols; ++c) {
            std::unique_ptr<CCell> cell;
            if (!hadCells || r >= m_rows || c >= m_cols) {
                cell = NewCell(c, r);
            } else if (const CCell* old = m_cells[size_t(r)][size_t(c)]) {
                cell = old->Clone();
                if (auto* stat = dynamic_cast<CStatCell*>(cell.get()); stat && m_type == kObjGrid)
                    stat->SetMode(kStatUserLooseCell);
            }
            if (cell) cell->SetOwner(this, c, r);
            cells[size_t(r)][size_t(c)] = cell.release();
        }
    }
    FreeCells();
    m_cells = std::move(cells);
    m_rows = rows;
    m_cols = cols;
    m_rect.right = m_rect.left + cols * m_colWidth + kHandleSize;
    // Every row at least one unit high.
    m_rect.bottom = std::max(m_rect.bottom, m_rect.top + 2 * kGridInset + rows);

    if (m_borders.empty()) {
        for (int32_t i = 1; i < cols; ++i) m_borders.push_back(i * m_colWidth);
    } else {
        const size_t kept = std::min(m_borders.size(), size_t(cols - 1));
        m_borders.resize(kept);
        while (m_borders.size() < size_t(cols - 1)) m_borders.push_back(m_borders.back() + m_colWidth);
    }
    FitBorders();
    FitRowHeight();
}

void CGrid::FitCellsToValues() {
    const QFontMetrics fm(lm::ToQFont(m_font));
    int32_t width = 0;
    for (const char* value : kWidestValues) width = std::max(width, int32_t(fm.horizontalAdvance(QLatin1String(value))));
    // Room on both sides of the text, so that it stays off the lines.
    const int32_t colWidth = std::clamp(width + 2 * kCellPadding, kMinColumnWidth, kMaxFittedColumn);
    const int32_t rowHeight = std::clamp(int32_t(fm.height()) + kCellPadding, kNewRowHeight, kMaxFittedRow);
    m_rect.right = m_rect.left + 2 * kGridInset + m_cols * colWidth;
    m_rect.bottom = m_rect.top + 2 * kGridInset + m_rows * rowHeight;
    m_borders.clear();
    SetSize(m_rows, m_cols);
}

void CGrid::FitRowHeight() { m_rowHeight = std::max(1, GetGridRect().Height() / std::max(m_rows, 1)); }

void CGrid::FitBorders() {
    const int32_t width = GetGridRect().Width();
    bool fits = true;
    for (size_t i = 0; i < m_borders.size() && fits; ++i)
        fits = m_borders[i] > (i ? m_borders[i - 1] : 0) && m_borders[i] < width;
    if (fits) return;
    for (size_t i = 0; i < m_borders.size(); ++i)
        m_borders[i] = int32_t(int64_t(i + 1) * std::max(width, 0) / std::max(m_cols, 1));
}

bool CGrid::SetBorders(const std::vector<int32_t>& borders) {
    if (borders.size() != m_borders.size()) return false;
    const int32_t width = GetGridRect().Width();
    for (size_t i = 0; i < borders.size(); ++i)
        if (borders[i] <= (i ? borders[i - 1] : 0) || borders[i] >= width) return false;
    m_borders = borders;
    return true;
}

CSize CGrid::GetMinSize() const {
    // Room for two units per column and one per row, so that the borders
    // stay strictly ascending and no row is 0 high.
    const CSize base = CTrkObj::GetMinSize();
    return CSize(std::max(base.cx, 2 * kGridInset + 2 * m_cols + 1), std::max(base.cy, 2 * kGridInset + m_rows));
}

void CGrid::SetRect(const CRect& rect, bool quiet) {
    CRect r = Normalized(rect);
    const CSize min = GetMinSize();
    if (r.Width() < min.cx) r.right = r.left + min.cx;
    if (r.Height() < min.cy) r.bottom = r.top + min.cy;
    CTrkObj::SetRect(r, quiet);
    FitBorders();
    FitRowHeight();
}

// ================================================================= cells

CCell* CGrid::GetCell(int32_t row, int32_t col) const {
    if (row < 0 || col < 0 || row >= m_rows || col >= m_cols || size_t(row) >= m_cells.size()) return nullptr;
    return m_cells[size_t(row)][size_t(col)];
}

void CGrid::SetCell(int32_t row, int32_t col, std::unique_ptr<CCell> cell) {
    if (row < 0 || col < 0 || row >= m_rows || col >= m_cols || size_t(row) >= m_cells.size()) return;
    if (cell) {
        cell->SetOwner(this, col, row);
        // A statistic cell of a plain grid goes with its gate.
        if (auto* stat = dynamic_cast<CStatCell*>(cell.get()); stat && m_type == kObjGrid)
            stat->SetMode(kStatUserLooseCell);
    }
    delete std::exchange(m_cells[size_t(row)][size_t(col)], cell.release());
}

void CGrid::SwapCells(int32_t rowA, int32_t colA, int32_t rowB, int32_t colB) {
    if (!GetCell(rowA, colA) && !GetCell(rowB, colB)) return;
    if (rowA < 0 || rowB < 0 || colA < 0 || colB < 0 || rowA >= m_rows || rowB >= m_rows || colA >= m_cols ||
        colB >= m_cols)
        return;
    CCell*& a = m_cells[size_t(rowA)][size_t(colA)];
    CCell*& b = m_cells[size_t(rowB)][size_t(colB)];
    std::swap(a, b);
    if (a) a->SetOwner(this, colA, rowA);
    if (b) b->SetOwner(this, colB, rowB);
}

void CGrid::SetCellText(int32_t row, int32_t col, const std::string& text) {
    if (CCell* cell = GetCell(row, col)) cell->SetText(text);
}

void CGrid::ResetCell(int32_t col, int32_t row, bool deleteOld) {
    if (row < 0 || col < 0 || row >= m_rows || col >= m_cols || size_t(row) >= m_cells.size()) return;
    CCell* old = m_cells[size_t(row)][size_t(col)];
    if (auto* stat = dynamic_cast<CStatCell*>(old)) stat->SetResetOnDestroy(false);
    m_cells[size_t(row)][size_t(col)] = NewCell(col, row).release();
    if (deleteOld) delete old;
}

void CGrid::NotifyChanged() {
    if (!m_pDocument) return;
    m_pDocument->InvalidateObject(this);
    m_pDocument->RedrawDirty();
}

// ============================================================== geometry

CRect CGrid::GetGridRect() const {
    CRect r = m_rect;
    r.DeflateRect(kGridInset, kGridInset);
    return r;
}

CPoint CGrid::PageToLocal(CPoint point) const {
    const CRect g = GetGridRect();
    return CPoint(point.x - g.left, point.y - g.top);
}

int32_t CGrid::ColumnRight(int32_t col) const {
    if (col >= 0 && size_t(col) < m_borders.size()) return m_borders[size_t(col)];
    return GetGridRect().Width();
}

GridHit CGrid::HitTestCell(CPoint local) const {
    const int32_t x = local.x, y = local.y;
    if (x < kEdgeLow || y < kEdgeLow || x >= m_rect.Width() - kEdgeHigh || y >= m_rect.Height() - kEdgeHigh)
        return {};
    const int32_t row = y / std::max(m_rowHeight, 1);
    // Below the last row lies no cell.
    const bool inRows = row < m_rows;
    for (size_t i = 0; i < m_borders.size(); ++i) {
        const int32_t b = m_borders[i];
        if (x >= b + kBorderGrab) continue;
        if (x <= b - kBorderGrab) return inRows ? GridHit{int32_t(i), row} : GridHit{};
        return GridHit{int32_t(i), -1};
    }
    return inRows ? GridHit{m_cols - 1, row} : GridHit{};
}

CRect CGrid::CellRect(int32_t col, int32_t row) const {
    const CRect g = GetGridRect();
    const int32_t top = g.top + row * m_rowHeight;
    const int32_t left = g.left + (col > 0 ? ColumnRight(col - 1) : 0) + kCellOffset;
    const int32_t right = col == m_cols - 1 ? g.right : g.left + ColumnRight(col) + kCellOffset;
    return CRect(left, top, std::max(left, right), top + m_rowHeight);
}

CRect CGrid::DragLineRect() const {
    if (m_dragX < 0) return CRect();
    const CRect g = GetGridRect();
    return CRect(g.left + m_dragX - 1, g.top, g.left + m_dragX + 1, g.bottom);
}

// ================================================================ drawing

void CGrid::UpdateStaleCells() {
    std::vector<CStatCell*> cells;
    std::vector<StatRequest> requests;
    for (auto& row : m_cells) {
        for (CCell* cell : row) {
            auto* stat = dynamic_cast<CStatCell*>(cell);
            StatRequest r;
            if (!stat || !stat->AskValue(&r)) continue;
            cells.push_back(stat);
            requests.push_back(std::move(r));
        }
    }
    if (requests.empty()) return;
    ComputeStatTexts(requests);
    for (size_t i = 0; i < cells.size(); ++i) cells[i]->TakeValue(requests[i]);
}

void CGrid::Draw(QPainter* painter) {
    if (!painter) return;
    // A dragged region leaves many cells stale at once: their values are
    // computed together, not one walk at a time as each cell is drawn.
    UpdateStaleCells();
    painter->save();
    lm::FillRect(*painter, m_rect, 0xFFFFFF);
    for (int32_t c = 0; c < m_cols; ++c)
        for (int32_t r = 0; r < m_rows; ++r) DrawCell(painter, r, c);
    const CRect g = GetGridRect();
    lm::DrawRectangle(*painter, g, kLineColour, kColorNone);
    painter->setPen(QPen(lm::ToQColor(kLineColour), 1));
    for (int32_t b : m_borders) painter->drawLine(g.left + b, g.top, g.left + b, g.bottom);
    for (int32_t r = 0; r < m_rows; ++r) {
        const int32_t y = g.top + r * m_rowHeight;
        painter->drawLine(g.left, y, g.right, y);
    }
    painter->restore();
}

void CGrid::DrawCell(QPainter* painter, int32_t row, int32_t col) {
    CCell* cell = GetCell(row, col);
    if (!painter || !cell) return;
    const CRect r = CellRect(col, row);
    if (r.IsRectEmpty()) return;
    painter->save();
    lm::FillRect(*painter, r, cell->GetBackColor());
    painter->setFont(lm::ToQFont(cell->GetFont()));
    painter->setPen(lm::ToQColor(cell->GetTextColor()));
    painter->setClipRect(lm::ToQRectF(r), Qt::IntersectClip);
    painter->drawText(lm::ToQRectF(r), QtAlignment(cell->GetFormat()), QString::fromStdString(cell->GetText()));
    painter->restore();
}

// ================================================================== mouse

bool CGrid::OnLButtonDown(uint32_t flags, CPoint point, int32_t* state) {
    if (!m_rect.PtInRect(point)) return CTrkObj::OnLButtonDown(flags, point, state);
    const CPoint local = PageToLocal(point);
    const GridHit hit = HitTestCell(local);
    if (hit.IsBorder()) {
        m_dragAnchor = m_dragX = local.x;
        m_prevDragX = -1;
        m_hitCol = hit.col;
        m_hitRow = -1;
        *state = kTrackColumnResize;
        return true;
    }
    if (hit.IsCell()) {
        m_hitCol = hit.col;
        m_hitRow = hit.row;
        if (m_pDocument) m_pDocument->SetDraggedCell(GetCell(hit.row, hit.col));
        *state = kTrackCellDrag;
        return true;
    }
    return CTrkObj::OnLButtonDown(flags, point, state);
}

bool CGrid::OnMouseMove(uint32_t, CPoint point, int32_t* state) {
    if (*state != kTrackColumnResize || m_hitCol < 0 || size_t(m_hitCol) >= m_borders.size()) return false;
    const size_t k = size_t(m_hitCol);
    m_prevDragX = m_dragX;
    // Everything in local units: at least kMinBorderGap right of the grid's
    // left edge or of the border before; to the right the grid grows, but its
    // right edge stays on the canvas.
    const int32_t low = (k == 0 ? 0 : m_borders[k - 1]) + kMinBorderGap;
    int32_t high = m_borders[k] + kMaxStoredWidth;
    if (m_pDocument) high = m_borders[k] + std::max(0, m_pDocument->GetCanvasSize().cx - m_rect.right);
    m_dragX = std::clamp(PageToLocal(point).x, low, std::max(low, high));
    return true;
}

bool CGrid::OnLButtonUp(uint32_t flags, CPoint point, int32_t* state) {
    if (*state == kTrackColumnResize) {
        if (m_hitCol >= 0 && size_t(m_hitCol) < m_borders.size() && m_dragX >= 0) {
            const size_t k = size_t(m_hitCol);
            const int32_t delta = m_dragX - m_borders[k];
            if (delta >= 1) {
                for (size_t i = k; i < m_borders.size(); ++i) m_borders[i] += delta;
                CRect r = m_rect;
                r.right += delta;
                CTrkObj::SetRect(r, false);
            } else if (delta < 0) {
                m_borders[k] = m_dragX;
                if (m_pDocument) m_pDocument->SetModifiedFlag();
            }
        }
        m_hitCol = -1;
        m_dragX = m_prevDragX = -1;
    } else if (*state == kTrackCellDrag) {
        const GridHit hit = HitTestCell(PageToLocal(point));
        CCell* dragged = m_pDocument ? m_pDocument->GetDraggedCell() : nullptr;
        // A release on the cell pressed is a click: nothing moved, and the
        // report has not changed.
        bool changed = false;
        if (hit.IsCell() && dragged) {
            if (dragged->GetGrid() != this) {
                SetCell(hit.row, hit.col, dragged->Clone());
                changed = true;
            } else if (dragged != GetCell(hit.row, hit.col)) {
                SwapCells(dragged->GetRow(), dragged->GetColumn(), hit.row, hit.col);
                changed = true;
            }
        }
        if (changed && m_pDocument) m_pDocument->SetModifiedFlag();
    }
    *state = kTrackMove;
    if (m_pDocument) m_pDocument->InvalidateObject(this);
    return CTrkObj::OnLButtonUp(flags, point, state);
}

bool CGrid::QueryMouse(uint32_t, CPoint, int32_t*) { return true; }

bool CGrid::OnLButtonDblClk(uint32_t, CPoint point, int32_t*) {
    if (!m_rect.PtInRect(point)) return true;
    const GridHit hit = HitTestCell(PageToLocal(point));
    if (hit.IsCell()) EditCell(hit.row, hit.col);
    return true;
}

bool CGrid::IsFreshCell(const CCell& cell) const {
    return !dynamic_cast<const CStatCell*>(&cell) && cell.GetStoredText().empty() && cell.GetFont() == m_font &&
           cell.GetTextColor() == m_textColor && cell.GetBackColor() == m_backColor && cell.GetFormat() == kCellCentre;
}

void CGrid::EditCell(int32_t row, int32_t col) {
    CCell* cell = GetCell(row, col);
    if (!cell) return;
    CCellStrDlg dlg(DialogParent());
    dlg.m_strText = cell->GetText();
    dlg.m_font = cell->GetFont();
    dlg.m_crText = cell->GetTextColor();
    const uint32_t format = cell->GetFormat();
    dlg.m_nAlign = format >= kCellLeft && format <= kCellRight ? int32_t(format - kCellLeft) : -1;
    dlg.UpdateData(false);
    if (lm::Ui().ExecDialog(&dlg) != lm::kDialogAccepted) return;
    uint32_t newFormat = format;
    if (dlg.m_nAlign >= 0 && dlg.m_nAlign <= 2) newFormat = kCellLeft + uint32_t(dlg.m_nAlign);
    // OK on what was there is no change: closing must not ask to save.
    const bool same = dlg.m_bClear ? IsFreshCell(*cell)
                                   : dlg.m_strText == cell->GetText() && dlg.m_font == cell->GetFont() &&
                                         dlg.m_crText == cell->GetTextColor() && newFormat == format;
    if (same) return;
    if (dlg.m_bClear) {
        // The old cell is gone: only the fresh one is left to show.
        ResetCell(col, row, true);
    } else {
        cell->SetText(dlg.m_strText);
        cell->SetFont(dlg.m_font);
        cell->SetTextColor(dlg.m_crText);
        cell->SetFormat(newFormat);
    }
    if (!m_pDocument) return;
    m_pDocument->SetModifiedFlag();
    m_pDocument->InvalidateObject(this);
    m_pDocument->RedrawDirty();
}

// ========================================================== context menu

bool CGrid::BuildContextMenu(std::vector<lm::MenuItem>* menu, uint32_t, CPoint point) {
    if (!m_rect.PtInRect(point) || !menu) return false;
    const bool linked = m_pDocument && m_pDocument->GetDbLinkGrid() == this;
    menu->push_back(lm::MenuItem::Command(kCtxDbLink, QStringLiteral("DB Link"), true, linked));
    menu->push_back(lm::MenuItem::Command(kCtxDeleteItem, QStringLiteral("Delete Item")));
    menu->push_back(lm::MenuItem::Command(kCtxFont, QStringLiteral("Font")));
    return true;
}

bool CGrid::OnContextCommand(uint32_t id, int32_t) {
    switch (id) {
        case kCtxFont:
            // Every cell takes the grid's new font and colour.
            ChooseObjectFont(this, [this] {
                bool changed = false;
                for (auto& row : m_cells)
                    for (CCell* cell : row) {
                        if (!cell || (cell->GetFont() == m_font && cell->GetTextColor() == m_textColor)) continue;
                        cell->SetFont(m_font);
                        cell->SetTextColor(m_textColor);
                        changed = true;
                    }
                return changed;
            });
            return true;
        case kCtxDbLink:
            // A second grid clears the link rather than taking it over.
            if (m_pDocument) {
                m_pDocument->SetDbLinkGrid(m_pDocument->GetDbLinkGrid() ? nullptr : this);
                m_pDocument->SetModifiedFlag();
                if (m_pDocument->GetDbLinkGrid() == this)
                    if (CDatabaseDlg* panel = GetShownDatabasePanel())
                        panel->LinkGrid(m_rows, m_cols, m_rect, m_borders);
            }
            break;
        default:
            break;
    }
    NotifyChanged();
    return true;
}

// ================================================================ record

void CGrid::Load(CArchive& ar) {
    CTrkObj::Load(ar);
    const int32_t rows = ar.ReadInt32();
    const int32_t cols = ar.ReadInt32();
    const int32_t rowHeight = ar.ReadInt32();
    const int32_t colWidth = ar.ReadInt32();
    CheckRecord(rows >= 1 && rows <= kMaxGridSide, "rows " + Num(rows) + " outside 1..100");
    CheckRecord(cols >= 1 && cols <= kMaxGridSide, "columns " + Num(cols) + " outside 1..100");
    CheckRecord(colWidth >= 1 && colWidth <= kMaxStoredWidth, "column width " + Num(colWidth));
    const int32_t n = ar.ReadInt32();
    CheckRecord(n == cols - 1, Num(n) + " column borders for " + Num(cols) + " columns");
    const int32_t width = GetGridRect().Width();
    m_borders.clear();
    for (int32_t i = 0; i < n; ++i) {
        const int32_t b = ar.ReadInt32();
        const int32_t before = m_borders.empty() ? 0 : m_borders.back();
        CheckRecord(b > before && b < width,
                    "column border " + Num(b) + " not between " + Num(before) + " and the grid width " + Num(width));
        m_borders.push_back(b);
    }
    // The stored rectangle and column width stay as they are: deriving them
    // again would widen narrow grids at every reopening.
    FreeCells();
    m_rows = rows;
    m_cols = cols;
    m_colWidth = colWidth;
    m_rowHeight = rowHeight;
    FitRowHeight();
    m_cells.assign(size_t(rows), std::vector<CCell*>(size_t(cols), nullptr));
    for (int32_t r = 0; r < rows; ++r) {
        for (int32_t c = 0; c < cols; ++c) {
            const int32_t kind = ar.ReadInt32();
            std::unique_ptr<CCell> cell;
            switch (kind) {
                case kCellEmpty: cell = NewCell(c, r); break;
                case kCellPlain: cell = NewCell(c, r); break;
                case kCellStat: cell = std::make_unique<CStatCell>(this); break;
                default: CheckRecord(false, "cell kind " + Num(kind));
            }
            CCell* placed = cell.get();
            SetCell(r, c, std::move(cell));
            if (kind != kCellEmpty) placed->Load(ar);
        }
    }
}

void CGrid::Store(CArchive& ar) const {
    CTrkObj::Store(ar);
    ar.WriteInt32(m_rows);
    ar.WriteInt32(m_cols);
    ar.WriteInt32(m_rowHeight);
    ar.WriteInt32(m_colWidth);
    ar.WriteInt32(int32_t(m_borders.size()));
    for (int32_t b : m_borders) ar.WriteInt32(b);
    for (int32_t r = 0; r < m_rows; ++r) {
        for (int32_t c = 0; c < m_cols; ++c) {
            const CCell* cell = GetCell(r, c);
            if (!cell) {
                ar.WriteInt32(kCellEmpty);
                continue;
            }
            ar.WriteInt32(cell->GetKind());
            cell->Store(ar);
        }
    }
}

// ================================================================ makers

std::unique_ptr<CTrkObj> MakeGridAt(CLumitraDoc* doc, CPoint at, int32_t rows, int32_t cols) {
    auto grid = std::make_unique<CGrid>(at.x, at.y, doc, rows, cols);
    grid->FitCellsToValues();
    return grid;
}

std::unique_ptr<CTrkObj> LoadGrid(CLumitraDoc* doc) { return std::make_unique<CGrid>(doc); }

#pragma once
// The painted table of the Para table page and the "Summery" dialog: one row
// per data set of a document, one cell per parameter (scatter and time
// parameters left out), each cell holding one phrase of a list or nothing.
// The built text names, for each phrase in list order, the cells holding it
// joined with "、", then the phrase and "；".
//
// Cells keep phrase indices; when the list is edited they are remapped by
// the phrase's text, so a cell never shows another phrase than the one it
// was given. The scroll area is sized to the last cell; a press left of the
// first column or above the first row hits no cell, nor does a place past
// the end of a row shorter than the longest.
#include <QWidget>

#include <cstdint>
#include <string>
#include <vector>

#include "base/Geometry.h"

class QScrollBar;
class CLumitraDoc;

class CParaTable : public QWidget {
    Q_OBJECT

public:
    static constexpr int32_t kCellWidth = 60;
    static constexpr int32_t kCellHeight = 55;
    static constexpr int32_t kFirstColumnX = 30;  // the row numbers stand left of it
    static constexpr int32_t kFirstRowY = 5;
    static constexpr int32_t kWheelStep = 120;

    explicit CParaTable(QWidget* parent = nullptr);

    // Rows from doc's data sets (none for null); every cell empty.
    void Rebuild(const CLumitraDoc* doc);
    // Labels given directly (rows of parameter labels, already filtered).
    void SetLabels(const std::vector<std::vector<std::string>>& rows);
    // Whether a parameter label is left out of the table.
    static bool IsLeftOut(const std::string& label);

    int32_t GetRows() const { return m_nRows; }
    int32_t GetCols() const { return m_nCols; }
    const std::vector<std::string>& GetStrings() const { return m_strings; }
    const std::vector<COLORREF>& GetColors() const { return m_colors; }
    // Replaces the list as loaded (cells are emptied).
    void SetStrings(std::vector<std::string> strings, std::vector<COLORREF> colors);
    // Replaces the list as edited: each cell keeps its phrase by text, a
    // phrase no longer listed empties its cells.
    void RemapStrings(std::vector<std::string> strings, std::vector<COLORREF> colors);
    int32_t GetCell(int32_t row, int32_t col) const;
    void SetCell(int32_t row, int32_t col, int32_t phrase);
    const std::string& GetCellLabel(int32_t row, int32_t col) const;

    // The table in pixels: to the right and bottom edge of the last cell.
    QSize TableSize() const;
    // The cell under a point of the table area (scroll taken into account);
    // false when there is none.
    bool HitCell(QPoint area, int32_t* row, int32_t* col) const;
    QWidget* Area() const { return m_area; }
    QScrollBar* HScroll() const { return m_hScroll; }
    QScrollBar* VScroll() const { return m_vScroll; }

    std::string BuildText() const;
    // "Reset All"'s menu at a global point: "Clear" or a phrase for every cell.
    void ResetAllMenu(const QPoint& globalPos);

    // The area's events.
    void PaintArea(QPainter& painter);
    void AreaContextMenu(QPoint area, QPoint global);
    void AreaDoubleClick(QPoint area);
    void AreaWheel(int delta);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void UpdateScrollBars();

    QWidget* m_area;
    QScrollBar* m_hScroll;
    QScrollBar* m_vScroll;
    std::vector<std::string> m_strings;
    std::vector<COLORREF> m_colors;
    std::vector<int32_t> m_cells;  // row-major, -1 for empty
    std::vector<std::string> m_cellLabels;
    int32_t m_nCols = 0;
    int32_t m_nRows = 0;
    int m_wheel = 0;  // wheel delta not yet a whole step
};

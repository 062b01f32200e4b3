#pragma once
// The cells of a grid page object: CCell holds a text with its own font,
// colours and alignment; CStatCell shows one statistic of one gate and
// re-formats itself when the gate's statistics change. A grid owns its cells;
// a cell only points back at its grid and knows its place (row, column),
// which the grid keeps equal to the cell's place in its matrix.
//
// A statistic cell never reads an item it does not have: without one (its
// gate went, or its record named none) it keeps the text it last showed and
// is stored as a plain cell. It also keeps that text while its statistic has
// no value (a parameter the shell lacks, a shell without events) rather than
// show a zero; it shows the kept text only while the report's data file is
// missing, as the value the report was saved with.
#include <cstdint>
#include <memory>
#include <string>

#include "base/Geometry.h"
#include "base/LogFont.h"
#include "core/Observers.h"

class CArchive;
class CGrid;
struct StatRequest;

// What is written in front of each cell record of a grid.
enum CellKind : int32_t {
    kCellEmpty = -1,  // no cell at that place; no record follows
    kCellPlain = 0,   // CCell
    kCellStat = 1,    // CStatCell
};

// DrawText formats a cell may have: single line, vertically centred, and the
// horizontal alignment.
enum CellFormat : uint32_t {
    kCellLeft = 36,
    kCellCentre = 37,
    kCellRight = 38,
};

class CCell {
public:
    // The defaults: proof-quality 宋体 at 16 pixels, black on white, centred.
    CCell();
    // Font and colours of the grid; place unset.
    explicit CCell(const CGrid* grid);
    // Font and colours of the grid, at (col, row).
    CCell(CGrid* grid, int32_t col, int32_t row);
    virtual ~CCell();
    CCell(const CCell&) = delete;
    CCell& operator=(const CCell&) = delete;

    virtual std::string GetText();
    virtual void Update() {}
    virtual void Load(CArchive& ar);
    virtual void Store(CArchive& ar) const;
    // A default cell with this cell's text only.
    virtual std::unique_ptr<CCell> Clone() const;
    // What the record in front of this cell says (CellKind).
    virtual int32_t GetKind() const { return kCellPlain; }

    void SetText(const std::string& text) { m_text = text; }
    const std::string& GetStoredText() const { return m_text; }
    void SetOwner(CGrid* grid, int32_t col, int32_t row);
    CGrid* GetGrid() const { return m_grid; }
    int32_t GetColumn() const { return m_col; }
    int32_t GetRow() const { return m_row; }

    const LOGFONT& GetFont() const { return m_font; }
    void SetFont(const LOGFONT& font) { m_font = font; }
    COLORREF GetTextColor() const { return m_textColor; }
    void SetTextColor(COLORREF c) { m_textColor = c; }
    COLORREF GetBackColor() const { return m_backColor; }
    void SetBackColor(COLORREF c) { m_backColor = c; }
    uint32_t GetFormat() const { return m_format; }
    void SetFormat(uint32_t format) { m_format = format; }

protected:
    LOGFONT m_font;
    COLORREF m_backColor = 0xFFFFFF;
    COLORREF m_textColor = 0;
    std::string m_text;
    int32_t m_col = -1;
    int32_t m_row = -1;
    CGrid* m_grid = nullptr;
    uint32_t m_format = kCellCentre;
};

class CStatCell : public CCell, public CStatUser {
public:
    // Stale, code 0, parameter 0, no item.
    CStatCell();
    // The loader's: stale, font and colours of the grid.
    explicit CStatCell(const CGrid* grid);
    // Follows item (not stale). resultTable: the table owns the cell (mode
    // 1); otherwise it is a loose cell that goes with its item (mode 3).
    CStatCell(CGrid* grid, CStatItem* item, int32_t code, int32_t par, bool resultTable);
    ~CStatCell() override;

    std::string GetText() override;
    void Update() override;
    // Reads the cell record and the gate it names. A shell or gate index that
    // names nothing leaves the cell without an item (it shows the stored
    // text); a code outside 0..9 or a negative parameter is a bad record.
    void Load(CArchive& ar) override;
    // With an item: the cell record (the value brought up to date first),
    // then shell, gate, code, parameter.
    // Without one only the cell record (GetKind says plain).
    void Store(CArchive& ar) const override;
    // A stale statistic cell on the same item, code and parameter; without an
    // item a plain cell with the text.
    std::unique_ptr<CCell> Clone() const override;
    int32_t GetKind() const override { return m_item ? kCellStat : kCellPlain; }

    // Marks the value stale and the grid for repainting; the value is
    // computed when it is next read, once however often the gate changed.
    void OnStatChanged() override;
    // The item is about to delete this cell: its place gets a fresh cell.
    void OnStatItemDeleting() override;

    // A stale cell with an item fills request with the value it needs and
    // answers true; TakeValue then takes the value computed for it (a
    // statistic without a value shows nothing but keeps the stored text).
    bool AskValue(StatRequest* request) const;
    void TakeValue(const StatRequest& answer);

    // Follows item with notification and recomputes.
    void SetStat(CStatItem* item, int32_t code, int32_t par);
    int32_t GetCode() const { return m_code; }
    int32_t GetParam() const { return m_par; }
    bool IsStale() const { return m_stale; }
    bool GetResetOnDestroy() const { return m_resetGrid; }
    void SetResetOnDestroy(bool on) { m_resetGrid = on; }

private:
    int32_t m_code = 0;
    int32_t m_par = 0;
    bool m_stale = true;
    bool m_resetGrid = false;
    // Whether the item gave a value when last computed; without one the cell
    // shows nothing and keeps its stored text for the record.
    bool m_hasValue = true;
};

// The font every new cell starts with.
LOGFONT DefaultCellFont();

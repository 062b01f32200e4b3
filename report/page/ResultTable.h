#pragma once
// The result table page object: for one data shell, a block of header lines
// (an FCS keyword and its value each), a title row and one row per gate of
// the shell (laid out flat or as a tree by its CGateView), one column per
// chosen statistic. It follows its shell as a user of kind 4; a shell has at
// most one.
//
// Values are kept per gate row and computed when read (drawing, clipboard):
// a gate's statistics notice marks only that row stale, and an edit that
// leaves the gate list as it is never rebuilds the rows. Stale rows are
// computed over the processor's cores, each value once per gate evaluation,
// always through the same locale-free text of CStatItem. A statistic with no
// value (a parameter the shell lacks, a shell without events, no shell)
// shows an empty cell, never a zero.
//
// The table keeps no pointer to a gate its shell has freed: a removed gate
// leaves its rows at once, and losing the shell (whose destructor detaches
// its users without a notice) empties the table.
//
// Column borders always stay what the record reader accepts: strictly
// ascending, none beyond kMaxTableBorder, whatever the layout, a drag or a
// change of columns makes; a table has at most kMaxTableColumns statistic
// columns so that they fit. New columns start wide enough for their title
// and the widest value they can show in the table's font; text that still
// does not fit is clipped to its cell.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/Observers.h"
#include "report/page/GateView.h"
#include "report/page/TrkObj.h"

class CCell;
class CTrkResult;
class CStatItem;

// Context-menu command of a result table besides the shared ones.
enum ResultContextCommand : int32_t { kCtxTree = 22 };

// Largest column border (local units) a table record may hold: the width of
// the widest canvas.
inline constexpr int32_t kMaxTableBorder = 20 * 1024;
// Narrowest column a drag leaves, and so the most statistic columns a table
// can hold with every border inside kMaxTableBorder.
inline constexpr int32_t kMinTableColumn = 20;
inline constexpr int32_t kMaxTableColumns = kMaxTableBorder / kMinTableColumn;

// A settings page bound to a result table. The table tells each of its
// bindings once, from its destructor, so no page keeps a freed table.
class CResultBinding {
public:
    virtual void OnResultDestroyed(CTrkResult* table) = 0;

protected:
    ~CResultBinding() = default;
};

class CTrkResult : public CDataShellUser, public CTrkObj {
public:
    static constexpr int32_t kRowHeight = 25;
    static constexpr int32_t kInset = 3;

    // Under a plot: (x, y, x + 100, y + 50), header "FileName", one Percent
    // column, flat.
    CTrkResult(int32_t x, int32_t y, VexaDataShell* shell, CLumitraDoc* doc);
    // The view's: in that rectangle, otherwise as above.
    CTrkResult(int32_t left, int32_t top, int32_t right, int32_t bottom, VexaDataShell* shell, CLumitraDoc* doc);
    // The file loader's: everything comes with the record.
    explicit CTrkResult(CLumitraDoc* doc);
    // A template's columns, keywords, borders, size and layout on another
    // shell at (x, y).
    CTrkResult(int32_t x, int32_t y, VexaDataShell* shell, const CTrkResult& source, CLumitraDoc* doc);
    ~CTrkResult() override;

    // ---- shell side ----
    void DetachShell(bool remove, bool notify) override;
    void OnGatesChanged() override;
    void OnGateRemoving(CGateNode* gate) override;
    // The gate's colour square is painted anew wherever the table is shown.
    void OnGateRecoloured(CGateNode* gate) override;
    void OnDataChanged() override;

    // ---- page object side ----
    void Draw(QPainter* painter) override;
    void Activate(uint32_t flags, CPoint point) override;
    // A press on a value cell starts a cell drag (a plain grid it is dropped
    // on gets a statistic cell of the same gate); one on a column border
    // drags the border; any other press moves or resizes the table.
    bool OnLButtonDown(uint32_t flags, CPoint point, int32_t* state) override;
    bool OnMouseMove(uint32_t flags, CPoint point, int32_t* state) override;
    bool OnLButtonUp(uint32_t flags, CPoint point, int32_t* state) override;
    bool QueryMouse(uint32_t flags, CPoint point, int32_t* state) override;
    bool OnLButtonDblClk(uint32_t flags, CPoint point, int32_t* state) override;
    bool QueryMouseEx(uint32_t flags, CPoint point, int32_t* state) override;
    void SetRect(const CRect& rect, bool quiet) override;
    using CTrkObj::SetRect;
    // The record is checked whole: codes and parameters of equal count, at
    // most kMaxTableColumns, codes 0..9, parameters not negative, borders
    // ascending up to kMaxTableBorder; anything else throws. A shell index
    // that names no data set leaves the table without a shell. The stored
    // borders are kept as they are.
    void Load(CArchive& ar) override;
    void Store(CArchive& ar) const override;
    bool BuildContextMenu(std::vector<lm::MenuItem>* menu, uint32_t flags, CPoint point) override;
    bool OnContextCommand(uint32_t id, int32_t extra) override;
    void CopyToClipboard() override;

    // ---- table ----
    void Rebuild();
    void RebuildAndRedraw();
    // Bindings are listed once each; removing one that is not listed does
    // nothing.
    void AddBinding(CResultBinding* binding);
    void RemoveBinding(CResultBinding* binding);
    void SetRectAndRebuild(int32_t left, int32_t top, int32_t right, int32_t bottom);
    void SetTreeMode(bool on);
    bool IsTreeMode() const { return m_gateView.IsTreeMode(); }
    // Appends a statistic column; no rebuild (the rows wait for one, the
    // borders follow at once). A code outside 0..9, a negative parameter or
    // a table already full is refused (false).
    bool AddColumn(int32_t param, int32_t code);

    std::vector<std::string>& Keywords() { return m_keywords; }
    const std::vector<int32_t>& GetCodes() const { return m_codes; }
    const std::vector<int32_t>& GetParams() const { return m_params; }
    // Replaces the statistic columns; unequal counts, more than
    // kMaxTableColumns, a code outside 0..9 or a negative parameter are
    // refused (false). The borders are cut or extended to the new columns.
    bool SetColumns(const std::vector<int32_t>& codes, const std::vector<int32_t>& params);
    const std::vector<int32_t>& GetBorders() const { return m_borders; }
    // Page rectangle of the border drag line (2 wide), empty when no drag.
    CRect DragLineRect() const;
    // Borders that are not strictly ascending inside 1..kMaxTableBorder are
    // refused (false).
    bool SetBorders(const std::vector<int32_t>& borders);
    // Local width a column needs to show its title and values (column 0: the
    // gate names in the current layout) in the table's font.
    int32_t NeededWidth(int32_t col) const;
    const CGateView& GetGateView() const { return m_gateView; }

    // Rows: K header lines, the title row, then one per gate row of the view.
    int32_t GetRows() const { return int32_t(m_keywords.size()) + 1 + GetGateRowCount(); }
    int32_t GetCols() const { return int32_t(m_codes.size()) + 1; }
    int32_t GetGateRowCount() const { return int32_t(m_rows.size()); }
    CGateNode* GetRowGate(int32_t gateRow) const;
    // The text a cell shows (a stale value is computed first); "" outside.
    std::string GetCellText(int32_t row, int32_t col);
    // Value cells computed since construction (each value is computed once
    // per evaluation of its gate).
    int64_t GetComputedCount() const { return m_computed; }

    std::string GetKeywordText(const std::string& keyword) const;
    // Keyword lines, the title row, one line per gate, tab separated; tabs
    // and line breaks inside a field become blanks.
    std::string GetTableText();

    // ---- File List texts (K keywords, G gates, S statistic columns) ----
    // Each field is followed by ","; a field holding a comma, quote, CR or LF
    // is quoted with its quotes doubled, so the title line and each data line
    // parse back to K + G x S fields. No shell: empty values.
    static std::string BuildCsvHeader(std::vector<std::string> keywords, std::vector<int32_t> params,
                                      std::vector<int32_t> codes, VexaDataShell* shell);
    static std::string BuildCsvRow(std::vector<std::string> keywords, std::vector<int32_t> params,
                                   std::vector<int32_t> codes, VexaDataShell* shell);
    static std::string BuildCsvBlock(std::vector<std::string> keywords, std::vector<int32_t> params,
                                     std::vector<int32_t> codes, VexaDataShell* shell);

    // Title of a statistic column: parameter label (codes with a parameter,
    // when the shell has it), a blank, the caption.
    static std::string ColumnTitle(VexaDataShell* shell, int32_t code, int32_t param);
    // A statistic's text, or "" when it has no value (see above).
    static std::string ValueText(const CStatItem* item, int32_t code, int32_t param);
    // A keyword's value: "FileName" (any case) is the file's name.
    static std::string KeywordValue(VexaDataShell* shell, const std::string& keyword);

private:
    class RowWatcher;
    struct GateRow {
        CGateNode* gate = nullptr;
        std::unique_ptr<RowWatcher> watcher;
        std::vector<std::string> values;
        bool stale = true;
        std::string name;  // the gate's name when the row was made or last fitted
    };

    void InitNew();
    void ColumnsChanged();
    // fitNames: widen the name column for gates it has not shown before (a
    // loaded table keeps its stored layout).
    void RebuildTable(bool fitNames);
    // grow: a new table widens to show its last column and header lines.
    void LayOut(bool grow);
    // Cuts or extends the borders to the columns; new columns get at least
    // the width they need, and the borders are kept inside the limit.
    void FitBorderCount();
    void KeepBordersInside();
    // Widens column 0 to the gate names, moving the later columns along:
    // FitNameColumn only for gates it has not shown before, WidenNameColumn
    // whenever a name needs it.
    void FitNameColumn();
    void WidenNameColumn();
    void PlaceGateView();
    int32_t TableHeight() const;
    // Rows for the gates (the shell's when it has them), reusing the values of
    // rows whose gate stays.
    void RebuildFrom(const std::vector<CGateNode*>& gates);
    void OnRowChanged(GateRow* row);
    uint64_t DataStamp() const;
    void CheckDataStamp();
    // The values of rows, through the shared statistic walk.
    void ComputeRows(const std::vector<GateRow*>& rows);
    void ComputeStaleRows();
    CRect GridRect() const;
    int32_t LastBorder() const { return m_borders.empty() ? 0 : m_borders.back(); }
    int32_t ColumnLeft(int32_t col) const;
    int32_t ColumnRight(int32_t col) const;
    // Column under a grid-local x (-1 outside), and the border within reach.
    int32_t ColumnAt(int32_t x) const;
    int32_t BorderAt(int32_t x) const;
    void RedrawNow();
    // The document no longer points at the cell this table lent for a drag.
    void DropDragCell();

    std::vector<CGateNode*> m_gates;
    std::vector<CResultBinding*> m_bindings;
    std::vector<std::string> m_keywords;
    CGateView m_gateView;
    std::vector<int32_t> m_codes;
    std::vector<int32_t> m_params;
    std::vector<int32_t> m_borders;
    int32_t m_rowHeight = kRowHeight;
    int32_t m_colWidth = 30;
    std::vector<std::string> m_titles;
    std::vector<std::unique_ptr<GateRow>> m_rows;  // gate-view order
    // The columns the rows' values were computed for.
    std::vector<int32_t> m_valueCodes;
    std::vector<int32_t> m_valueParams;
    int64_t m_computed = 0;
    // Gates the name column was last fitted to.
    std::vector<CGateNode*> m_fittedGates;
    // The statistic cell a cell drag carries to a grid; the border dragged.
    std::unique_ptr<CCell> m_dragCell;
    int32_t m_dragBorder = -1;
    int32_t m_dragX = -1;
    // Generation of the event columns the values were computed from.
    uint64_t m_dataStamp = 0;
};

// Makers for the view, the document's loader and the plot's "Result" command.
std::unique_ptr<CTrkObj> MakeResultTable(CLumitraDoc* doc, VexaDataShell* shell, CPoint at, const CTrkObj* templ);
std::unique_ptr<CTrkObj> LoadResultTable(CLumitraDoc* doc);
// Puts a result table of shell at the point, refusing a second one with
// "Result Item can't create twice".
void CreateResultUnderPlot(CLumitraDoc* doc, VexaDataShell* shell, CPoint at);

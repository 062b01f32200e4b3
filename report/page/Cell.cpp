#include "report/page/Cell.h"

#include <string>

#include "base/Archive.h"
#include "core/DataSet.h"
#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/StatItem.h"
#include "platform/PaintHelpers.h"
#include "report/page/FileRecords.h"
#include "report/page/Grid.h"
#include "report/page/LumitraDoc.h"
#include "report/page/StatBatch.h"
#include "report/page/TrkObj.h"

LOGFONT DefaultCellFont() { return CTrkObj::DefaultFont(); }

namespace {

// The report names a data file whose events are not here (the file was not
// found when the report was read): the values stored with the report are the
// ones it has. A template's data set names no file; its stored values came
// from other data and are not shown.
bool DataFileMissing(const CStatItem* item) {
    const CGateNode* gate = item ? item->GetGate() : nullptr;
    const VexaDataShell* shell = gate ? gate->GetShell() : nullptr;
    if (!shell || shell->GetPathName().empty()) return false;
    const CDataSet* ds = shell->GetDataSet();
    return !ds || !ds->GetEventMatrix();
}

}  // namespace

// ================================================================== CCell

CCell::CCell() : m_font(DefaultCellFont()) {}

CCell::CCell(const CGrid* grid) : CCell() {
    if (!grid) return;
    m_font = grid->GetFont();
    m_textColor = grid->GetTextColor();
    m_backColor = grid->GetBackColor();
}

CCell::CCell(CGrid* grid, int32_t col, int32_t row) : CCell(static_cast<const CGrid*>(grid)) {
    m_grid = grid;
    m_col = col;
    m_row = row;
}

CCell::~CCell() {
    // A cell dragged from one grid may die before it is dropped (its gate
    // went, its grid was resized or cleared): the drop must not find it.
    CLumitraDoc* doc = m_grid ? m_grid->GetDocument() : nullptr;
    if (doc && doc->GetDraggedCell() == this) doc->SetDraggedCell(nullptr);
}

std::string CCell::GetText() { return m_text; }

void CCell::SetOwner(CGrid* grid, int32_t col, int32_t row) {
    m_grid = grid;
    m_col = col;
    m_row = row;
}

void CCell::Load(CArchive& ar) {
    m_text = ar.ReadString();
    LOGFONT lf = LoadLogFont(ar);
    lf.lfFaceName = lm::FitFaceName(lf.lfFaceName);
    m_font = lf;
    m_textColor = ar.ReadUInt32();
    m_backColor = ar.ReadUInt32();
    m_format = ar.ReadUInt32();
}

void CCell::Store(CArchive& ar) const {
    ar.WriteString(m_text);
    LOGFONT lf = m_font;
    lf.lfFaceName = lm::FitFaceName(lf.lfFaceName);
    StoreLogFont(ar, lf);
    ar.WriteUInt32(m_textColor);
    ar.WriteUInt32(m_backColor);
    ar.WriteUInt32(m_format);
}

std::unique_ptr<CCell> CCell::Clone() const {
    auto cell = std::make_unique<CCell>();
    cell->m_text = m_text;
    return cell;
}

// ============================================================== CStatCell

CStatCell::CStatCell() = default;

CStatCell::CStatCell(const CGrid* grid) : CCell(grid) {}

CStatCell::CStatCell(CGrid* grid, CStatItem* item, int32_t code, int32_t par, bool resultTable)
    : CCell(static_cast<const CGrid*>(grid)), m_code(code), m_par(par), m_stale(false) {
    m_grid = grid;
    m_mode = resultTable ? kStatUserAutoDetach : kStatUserLooseCell;
    CStatUser::SetStatItem(item, false);
    Update();
}

CStatCell::~CStatCell() {
    // Deleted by its item: the grid gives the place a fresh cell.
    if (m_resetGrid && m_grid) m_grid->ResetCell(m_col, m_row, false);
    CStatUser::DetachStatItem(true, false);
}

void CStatCell::Update() {
    // Without a value (no events, a parameter the data set lacks) the cell
    // shows nothing: a number kept from other data would print as this
    // data's. The stored text stays for the record, so a report saved while
    // its data is missing loses nothing.
    m_hasValue = StatHasValue(m_item, m_code, m_par);
    if (m_hasValue) m_text = m_item->GetStatText(m_par, m_code);
    m_stale = false;
}

bool CStatCell::AskValue(StatRequest* request) const {
    if (!m_stale || !m_item) return false;
    request->item = m_item;
    request->code = m_code;
    request->param = m_par;
    return true;
}

void CStatCell::TakeValue(const StatRequest& answer) {
    m_hasValue = answer.has;
    if (answer.has) m_text = answer.text;
    m_stale = false;
}

std::string CStatCell::GetText() {
    if (m_stale) Update();
    return m_hasValue || DataFileMissing(m_item) ? m_text : std::string();
}

void CStatCell::OnStatChanged() {
    // Computed when next read: a region dragged step by step changes its
    // gates many times between two paints.
    m_stale = true;
    CLumitraDoc* doc = m_grid ? m_grid->GetDocument() : nullptr;
    if (doc) doc->InvalidateObject(m_grid);
}

void CStatCell::OnStatItemDeleting() { m_resetGrid = m_grid != nullptr; }

void CStatCell::SetStat(CStatItem* item, int32_t code, int32_t par) {
    m_code = code;
    m_par = par;
    SetStatItem(item, true);
}

void CStatCell::Load(CArchive& ar) {
    CCell::Load(ar);
    const int32_t shellIndex = ar.ReadInt32();
    const int32_t gateIndex = ar.ReadInt32();
    const int32_t code = ar.ReadInt32();
    const int32_t par = ar.ReadInt32();
    if (code < 0 || code >= kStatCodeCount)
        throw CFldFormatError("statistic cell: code " + std::to_string(code) + " outside 0..9");
    if (par < 0) throw CFldFormatError("statistic cell: parameter " + std::to_string(par));
    m_code = code;
    m_par = par;
    CLumitraDoc* doc = m_grid ? m_grid->GetDocument() : nullptr;
    VexaDataShell* shell = doc ? doc->GetDataShellAt(shellIndex) : nullptr;
    CGateNode* gate = shell ? shell->GetGate(gateIndex) : nullptr;
    // A record naming no gate keeps its stored text and is a plain cell from
    // now on.
    if (gate && gate->GetStatItem()) SetStatItem(gate->GetStatItem(), true);
    else m_stale = false;
}

void CStatCell::Store(CArchive& ar) const {
    // The value is computed when read: a file must not keep one the gate
    // has moved away from.
    if (m_stale) const_cast<CStatCell*>(this)->Update();
    CCell::Store(ar);
    if (!m_item) return;
    CGateNode* gate = m_item->GetGate();
    VexaDataShell* shell = gate ? gate->GetShell() : nullptr;
    CLumitraDoc* doc = m_grid ? m_grid->GetDocument() : nullptr;
    ar.WriteInt32(doc && shell ? doc->GetDataShellIndex(shell) : -1);
    ar.WriteInt32(shell ? shell->GetGateIndex(gate) : -1);
    ar.WriteInt32(m_code);
    ar.WriteInt32(m_par);
}

std::unique_ptr<CCell> CStatCell::Clone() const {
    if (!m_item) return CCell::Clone();
    auto cell = std::make_unique<CStatCell>();
    cell->m_text = m_text;
    cell->m_code = m_code;
    cell->m_par = m_par;
    cell->m_mode = kStatUserLooseCell;
    cell->SetStatItem(m_item, true);
    return cell;
}

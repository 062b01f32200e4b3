#include "report/page/ResultTable.h"

#include <QGuiApplication>
#include <QClipboard>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "base/Archive.h"
#include "base/Codepage.h"
#include "base/Numbers.h"
#include "core/DataSet.h"
#include "core/DataShell.h"
#include "core/EventMatrix.h"
#include "core/GateNode.h"
#include "core/StatItem.h"
#include "platform/PaintHelpers.h"
#include "report/app/LumitraApp.h"
#include "report/app/MainFrame.h"
#include "report/page/Cell.h"
#include "report/page/LumitraDoc.h"
#include "report/page/StatBatch.h"
#include "report/page/TrackStates.h"
#include "report/page/TrkText.h"

namespace {
constexpr COLORREF kLineColour = 0xEBEBEB;
// Narrowest column a rebuild gives, and what it gives instead.
constexpr int32_t kMinColumn = kMinTableColumn;
constexpr int32_t kNarrowColumn = 30;
// Room right of the last border.
constexpr int32_t kLastColumnRoom = 20;
// Borders beyond any canvas are a damaged record.
constexpr int32_t kMaxBorder = kMaxTableBorder;
static_assert(kMaxTableBorder == kPageWidth * kMaxPagesAcross, "a table border may reach across the widest canvas");
// Room left and right of a text inside its column.
constexpr int32_t kTextPad = 5;
// Widest a column or a header line makes a table start: a longer text (a
// keyword holding a paragraph) is cut rather than push the table off a page.
constexpr int32_t kWidestStart = kPageWidth;

bool TakesParam(int32_t code) { return StatTakesParam(code); }

bool SameText(const std::string& a, const char* b) {
    return QString::fromStdString(a).compare(QString::fromLatin1(b), Qt::CaseInsensitive) == 0;
}

// Table cells and clipboard lines are separated by tabs and breaks: a field
// must not bring its own.
std::string Flat(std::string s) {
    for (char& c : s)
        if (c == '\t' || c == '\r' || c == '\n') c = ' ';
    return s;
}

// A CSV field: quoted, its quotes doubled, when it holds a comma, a quote or a
// line break (a bare comma would shift every later column); else as it is.
std::string CsvField(const std::string& field) {
    if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
    std::string out = "\"";
    for (char c : field) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + '"';
}

// One CSV field and its separator.
void AddField(std::string* out, const std::string& field) { *out += CsvField(field) + ","; }

QWidget* DialogParent() { return GetMainFrame(); }
}  // namespace

// Marks its row stale when the gate's statistics change.
class CTrkResult::RowWatcher : public CStatUser {
public:
    RowWatcher(CStatItem* item, CTrkResult* table, GateRow* row) : m_table(table), m_row(row) {
        SetStatItem(item, false);
    }
    void OnStatChanged() override { m_table->OnRowChanged(m_row); }

private:
    CTrkResult* m_table;
    GateRow* m_row;
};

// ================================================================ making

CTrkResult::CTrkResult(int32_t x, int32_t y, VexaDataShell* shell, CLumitraDoc* doc)
    : CTrkResult(x, y, x + 100, y + 50, shell, doc) {}

CTrkResult::CTrkResult(int32_t left, int32_t top, int32_t right, int32_t bottom, VexaDataShell* shell,
                       CLumitraDoc* doc)
    : CTrkObj(CRect(left, top, right, bottom), doc) {
    InitNew();
    m_keywords = {"FileName"};
    m_codes = {kStatPercent};
    m_params = {0};
    CDataShellUser::SetShell(shell, false);
    Rebuild();
}

CTrkResult::CTrkResult(CLumitraDoc* doc) : CTrkObj(doc) { InitNew(); }

CTrkResult::CTrkResult(int32_t x, int32_t y, VexaDataShell* shell, const CTrkResult& source, CLumitraDoc* doc)
    : CTrkObj(CRect(x, y, x + source.m_rect.Width(), y + source.m_rect.Height()), doc) {
    InitNew();
    m_keywords = source.m_keywords;
    m_rowHeight = source.m_rowHeight;
    m_borders = source.m_borders;
    m_codes = source.m_codes;
    m_params = source.m_params;
    m_font = source.m_font;
    m_textColor = source.m_textColor;
    m_gateView.SetTreeMode(source.IsTreeMode());
    CDataShellUser::SetShell(shell, false);
    Rebuild();
}

void CTrkResult::InitNew() {
    m_userKind = kUserResultTable;
    m_type = kObjResult;
    m_gateView.SetTreeMode(false);
    m_gateView.SetRowHeight(m_rowHeight);
}

CTrkResult::~CTrkResult() {
    // A binding may remove itself (or another) while it is told.
    const std::vector<CResultBinding*> bindings = m_bindings;
    for (CResultBinding* b : bindings)
        if (std::find(m_bindings.begin(), m_bindings.end(), b) != m_bindings.end()) b->OnResultDestroyed(this);
    m_bindings.clear();
    DropDragCell();
    // The watchers leave their items before the shell link goes.
    m_rows.clear();
}

void CTrkResult::DropDragCell() {
    if (m_dragCell && m_pDocument && m_pDocument->GetDraggedCell() == m_dragCell.get())
        m_pDocument->SetDraggedCell(nullptr);
    m_dragCell.reset();
}

// ================================================================ shell side

void CTrkResult::DetachShell(bool remove, bool notify) {
    // A dying shell detaches its users without a further notice and frees its
    // gates right after: the rows must not outlive this call.
    CDataShellUser::DetachShell(remove, false);
    RebuildFrom({});
    LayOut(false);
    if (notify) OnDataChanged();
}

void CTrkResult::OnGatesChanged() {
    Rebuild();
    if (m_pDocument) {
        m_pDocument->AddDirtyRect(m_rect);
        m_pDocument->RedrawDirty();
    }
}

void CTrkResult::OnGateRemoving(CGateNode* gate) {
    std::vector<CGateNode*> gates = m_gates;
    gates.erase(std::remove(gates.begin(), gates.end(), gate), gates.end());
    if (gates.size() == m_gates.size()) return;
    if (m_pDocument) m_pDocument->AddDirtyRect(m_rect);
    RebuildFrom(gates);
    LayOut(false);
    if (m_pDocument) m_pDocument->AddDirtyRect(m_rect);
}

void CTrkResult::OnGateRecoloured(CGateNode* gate) {
    if (!m_pDocument || std::find(m_gates.begin(), m_gates.end(), gate) == m_gates.end()) return;
    m_pDocument->AddDirtyRect(m_rect);
    m_pDocument->RedrawDirty();
}

void CTrkResult::OnDataChanged() {
    if (m_pDocument) m_pDocument->AddDirtyRect(m_rect);
    if (!m_shell || m_shell->GetGates() != m_gates) {
        Rebuild();
    } else {
        CheckDataStamp();
        // Another data set may name the parameters (a template's stored
        // parameters have no names): the titles follow, laid out as a
        // reopened report lays them out.
        std::vector<std::string> titles;
        for (size_t i = 0; i < m_codes.size(); ++i) titles.push_back(ColumnTitle(m_shell, m_codes[i], m_params[i]));
        if (titles != m_titles) RebuildTable(false);
    }
    if (m_pDocument) m_pDocument->AddDirtyRect(m_rect);
}

uint64_t CTrkResult::DataStamp() const {
    CDataSet* ds = m_shell ? m_shell->GetDataSet() : nullptr;
    CEventMatrix* matrix = ds ? ds->GetEventMatrix() : nullptr;
    return matrix ? matrix->GetGeneration() : 0;
}

// New events or new columns (another data set, a compensation) re-evaluate
// the gates without a statistics notice: every value is stale then. After a
// region edit only the gates that told their rows are.
void CTrkResult::CheckDataStamp() {
    const uint64_t stamp = DataStamp();
    if (stamp == m_dataStamp) return;
    m_dataStamp = stamp;
    for (auto& row : m_rows) row->stale = true;
}

void CTrkResult::OnRowChanged(GateRow* row) {
    row->stale = true;
    if (m_pDocument) m_pDocument->InvalidateObject(this);
    // A renamed gate: its name is shown whole at once.
    const std::string name = row->gate ? row->gate->GetDisplayName(true) : std::string();
    if (name == row->name) return;
    row->name = name;
    if (m_pDocument) m_pDocument->AddDirtyRect(m_rect);
    WidenNameColumn();
    if (m_pDocument) {
        m_pDocument->AddDirtyRect(m_rect);
        m_pDocument->RedrawDirty();
    }
}

// ================================================================ rebuild

void CTrkResult::Rebuild() { RebuildTable(true); }

void CTrkResult::RebuildTable(bool fitNames) {
    RebuildFrom(m_shell ? m_shell->GetGates() : std::vector<CGateNode*>{});
    LayOut(fitNames);
    if (fitNames) FitNameColumn();
    m_fittedGates = m_gates;
}

void CTrkResult::RebuildFrom(const std::vector<CGateNode*>& gates) {
    m_gates = gates;
    m_gateView.SetRowHeight(m_rowHeight);
    m_gateView.SetGates(m_gates);

    m_titles.clear();
    for (size_t i = 0; i < m_codes.size(); ++i) m_titles.push_back(ColumnTitle(m_shell, m_codes[i], m_params[i]));

    // Rows whose gate stays keep their values unless the columns changed.
    const bool sameColumns = m_valueCodes == m_codes && m_valueParams == m_params;
    std::vector<std::unique_ptr<GateRow>> old = std::move(m_rows);
    m_rows.clear();
    for (int32_t r = 0; r < m_gateView.GetRowCount(); ++r) {
        CGateNode* gate = m_gateView.GetRowGate(r);
        auto it = std::find_if(old.begin(), old.end(), [gate](const auto& row) { return row && row->gate == gate; });
        if (it != old.end()) {
            m_rows.push_back(std::move(*it));
            if (!sameColumns) m_rows.back()->stale = true;
            continue;
        }
        auto row = std::make_unique<GateRow>();
        row->gate = gate;
        row->name = gate->GetDisplayName(true);
        row->watcher = std::make_unique<RowWatcher>(gate->GetStatItem(), this, row.get());
        m_rows.push_back(std::move(row));
    }
    m_valueCodes = m_codes;
    m_valueParams = m_params;
    CheckDataStamp();
}

CRect CTrkResult::GridRect() const {
    CRect r = m_rect;
    r.DeflateRect(kInset, kInset);
    return r;
}

void CTrkResult::PlaceGateView() {
    const CRect g = GridRect();
    m_gateView.SetOrigin(g.left + 3, g.top + 5 + int32_t(m_keywords.size() + 1) * m_rowHeight);
}

void CTrkResult::LayOut(bool grow) {
    PlaceGateView();
    m_rect.bottom = m_rect.top + TableHeight();
    const bool fresh = m_borders.empty();
    FitBorderCount();
    if (grow && fresh) {
        // A new table shows its header lines whole.
        int32_t need = 0;
        const QFontMetricsF fm(lm::ToQFont(m_font));
        for (const std::string& kw : m_keywords) {
            const QString line = QString::fromStdString(Flat(kw + ": " + GetKeywordText(kw)));
            need = std::max(need, int32_t(std::ceil(fm.horizontalAdvance(line))) + kTextPad);
        }
        need = std::min(need, kWidestStart);
        if (GridRect().Width() < need) m_rect.right = m_rect.left + 2 * kInset + need;
    }
    if (!m_borders.empty() && m_rect.Width() < LastBorder() + kLastColumnRoom)
        m_rect.right = m_rect.left + LastBorder() + kLastColumnRoom;
}

void CTrkResult::FitBorderCount() {
    const int32_t cols = GetCols();
    m_colWidth = GridRect().Width() / cols;
    if (m_colWidth < kMinColumn) m_colWidth = kNarrowColumn;
    const size_t want = size_t(cols - 1);
    if (m_borders.size() > want) m_borders.resize(want);
    // A new column gets the share of the width it would have had, or what
    // its title and values need when that is more; so does the last column,
    // which ends at the table's right edge.
    const bool adding = m_borders.size() < want || m_borders.empty();
    while (m_borders.size() < want) {
        const int32_t col = int32_t(m_borders.size());
        const int32_t width = std::max(m_colWidth, NeededWidth(col));
        m_borders.push_back(LastBorder() + width);
    }
    KeepBordersInside();
    if (!adding) return;
    const int32_t last = std::min(NeededWidth(cols - 1), kMaxBorder + kLastColumnRoom - LastBorder());
    if (GridRect().Width() < LastBorder() + last) m_rect.right = m_rect.left + 2 * kInset + LastBorder() + last;
}

void CTrkResult::KeepBordersInside() {
    if (m_borders.empty()) return;
    const int32_t top = *std::max_element(m_borders.begin(), m_borders.end());
    if (top <= kMaxBorder && m_borders.front() >= 1 &&
        std::adjacent_find(m_borders.begin(), m_borders.end(), std::greater_equal<>()) == m_borders.end())
        return;
    // Too wide for any canvas: every column shrinks in proportion. Out of
    // order: a border comes one unit after the one before. Each leaves one
    // unit for every later column.
    const int64_t n = int64_t(m_borders.size());
    int64_t before = 0;
    for (int64_t i = 0; i < n; ++i) {
        int64_t b = m_borders[size_t(i)];
        if (top > kMaxBorder) b = b * kMaxBorder / top;
        b = std::max(std::min<int64_t>(b, kMaxBorder - (n - 1 - i)), before + 1);
        m_borders[size_t(i)] = int32_t(b);
        before = b;
    }
}

void CTrkResult::FitNameColumn() {
    bool newGate = false;
    for (CGateNode* g : m_gates)
        if (std::find(m_fittedGates.begin(), m_fittedGates.end(), g) == m_fittedGates.end()) newGate = true;
    if (newGate) WidenNameColumn();
}

void CTrkResult::WidenNameColumn() {
    const int32_t need = NeededWidth(0);
    const int32_t right = m_borders.empty() ? GridRect().Width() : m_borders.front();
    // Later borders move along, but never past the limit.
    const int32_t delta = std::min(need - right, kMaxBorder - LastBorder());
    if (delta <= 0) return;
    for (int32_t& b : m_borders) b += delta;
    m_rect.right += delta;
    PlaceGateView();
}

int32_t CTrkResult::NeededWidth(int32_t col) const {
    const QFontMetricsF fm(lm::ToQFont(m_font));
    auto width = [&fm](const std::string& text) {
        return int32_t(std::ceil(fm.horizontalAdvance(QString::fromStdString(text))));
    };
    int32_t need = 0;
    if (col <= 0) {
        // The names start right of the colour box (further in a tree).
        const int32_t left = GridRect().left;
        for (int32_t r = 0; r < m_gateView.GetRowCount(); ++r) {
            const CGateNode* gate = m_gateView.GetRowGate(r);
            if (!gate) continue;
            const int32_t x = m_gateView.GetRowOrigin(r).x - left;
            need = std::max(need, x + width(gate->GetDisplayName(true)));
        }
        return std::clamp(need + 2 * kTextPad, kMinColumn, kWidestStart);
    }
    const size_t i = size_t(col - 1);
    if (i >= m_codes.size() || i >= m_params.size()) return kMinColumn;
    const int32_t code = m_codes[i];
    const int32_t param = m_params[i];
    need = width(i < m_titles.size() ? m_titles[i] : ColumnTitle(m_shell, code, param));
    // The widest value the column can show: no gate holds more events than
    // the file, no share passes 100 %, and no statistic of a parameter lies
    // outside the file's smallest and largest value (an SD not beyond their
    // distance), so the whole file's bounds give the widest text.
    std::vector<std::string> values;
    const CGateNode* root = m_shell ? m_shell->GetRoot() : nullptr;
    const CStatItem* item = root ? root->GetStatItem() : nullptr;
    if (code == kStatEvents) {
        if (m_shell) values.push_back(lm::FormatInt(m_shell->GetTotalEvents()));
    } else if (!TakesParam(code)) {
        values.push_back("100.00");
    } else if (const std::string v = ValueText(item, code, param); !v.empty()) {
        values.push_back(v);
        const std::string lo = ValueText(item, kStatMin, param);
        const std::string hi = ValueText(item, kStatMax, param);
        values.push_back(lo);
        values.push_back(hi);
        double a = 0.0, b = 0.0;
        if (lm::TryParseDouble(lo, &a) && lm::TryParseDouble(hi, &b)) {
            values.push_back(lm::FormatFixed(b - a, 2));
            values.push_back(lm::FormatFixed(-std::max(std::fabs(a), std::fabs(b)), 2));
        }
    }
    for (const std::string& v : values) need = std::max(need, width(v));
    return std::clamp(need + 2 * kTextPad, kMinColumn, kWidestStart);
}

// The rows and the inset above and below them: the last row, whose name
// sits lower than its values, is drawn whole inside the table.
int32_t CTrkResult::TableHeight() const {
    return 2 * kInset + (int32_t(m_keywords.size()) + 1 + GetGateRowCount()) * m_rowHeight;
}

void CTrkResult::SetRect(const CRect& rect, bool quiet) {
    CTrkObj::SetRect(rect, quiet);
    PlaceGateView();
    m_rect.bottom = m_rect.top + TableHeight();
    if (!m_borders.empty() && m_rect.Width() < LastBorder() + kLastColumnRoom)
        m_rect.right = m_rect.left + LastBorder() + kLastColumnRoom;
}

void CTrkResult::SetRectAndRebuild(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    m_rect = CRect(left, top, right, bottom);
    m_rect.NormalizeRect();
    Rebuild();
}

void CTrkResult::RebuildAndRedraw() {
    Rebuild();
    RedrawNow();
}

void CTrkResult::AddBinding(CResultBinding* binding) {
    if (binding && std::find(m_bindings.begin(), m_bindings.end(), binding) == m_bindings.end())
        m_bindings.push_back(binding);
}

void CTrkResult::RemoveBinding(CResultBinding* binding) {
    m_bindings.erase(std::remove(m_bindings.begin(), m_bindings.end(), binding), m_bindings.end());
}

void CTrkResult::RedrawNow() {
    if (!m_pDocument) return;
    m_pDocument->AddDirtyRect(m_rect);
    m_pDocument->RedrawDirty();
}

void CTrkResult::SetTreeMode(bool on) {
    // The names move right in a tree: their column is fitted to them again.
    if (on != IsTreeMode()) m_fittedGates.clear();
    m_gateView.SetTreeMode(on);
    Rebuild();
}

namespace {
// What a statistic cell's record accepts.
bool ValidColumn(int32_t code, int32_t param) { return code >= 0 && code < kStatCodeCount && param >= 0; }
}  // namespace

bool CTrkResult::AddColumn(int32_t param, int32_t code) {
    if (!ValidColumn(code, param) || m_codes.size() >= size_t(kMaxTableColumns)) return false;
    m_params.push_back(param);
    m_codes.push_back(code);
    ColumnsChanged();
    return true;
}

bool CTrkResult::SetColumns(const std::vector<int32_t>& codes, const std::vector<int32_t>& params) {
    if (codes.size() != params.size() || codes.size() > size_t(kMaxTableColumns)) return false;
    for (size_t i = 0; i < codes.size(); ++i)
        if (!ValidColumn(codes[i], params[i])) return false;
    m_codes = codes;
    m_params = params;
    ColumnsChanged();
    return true;
}

bool CTrkResult::SetBorders(const std::vector<int32_t>& borders) {
    int32_t before = 0;
    for (int32_t b : borders) {
        if (b <= before || b > kMaxBorder) return false;
        before = b;
    }
    m_borders = borders;
    return true;
}

// Until the next rebuild lays them out, new columns already read right, and
// every per-column vector has one entry per column from here on.
void CTrkResult::ColumnsChanged() {
    m_titles.clear();
    for (size_t i = 0; i < m_codes.size(); ++i) m_titles.push_back(ColumnTitle(m_shell, m_codes[i], m_params[i]));
    for (auto& row : m_rows) {
        row->values.assign(m_codes.size(), std::string());
        row->stale = true;
    }
    m_valueCodes = m_codes;
    m_valueParams = m_params;
    if (m_dragBorder >= int32_t(m_codes.size())) m_dragBorder = m_dragX = -1;
    FitBorderCount();
    if (!m_borders.empty() && m_rect.Width() < LastBorder() + kLastColumnRoom)
        m_rect.right = m_rect.left + LastBorder() + kLastColumnRoom;
}

// ================================================================ values

std::string CTrkResult::ColumnTitle(VexaDataShell* shell, int32_t code, int32_t param) {
    std::string label;
    if (shell && TakesParam(code) && param >= 0 && param < shell->GetParamCount())
        label = shell->GetParamLabel(param, 1);
    return label + " " + CStatItem::GetStatName(code);
}

std::string CTrkResult::ValueText(const CStatItem* item, int32_t code, int32_t param) {
    return StatHasValue(item, code, param) ? item->GetStatText(param, code) : std::string();
}

void CTrkResult::ComputeRows(const std::vector<GateRow*>& rows) {
    if (rows.empty()) return;
    // Rows rather than one row at a time go to the shared walk: a drag
    // changes a few gates, whose values must still spread over the cores.
    std::vector<StatRequest> requests;
    requests.reserve(rows.size() * m_codes.size());
    for (GateRow* row : rows) {
        const CStatItem* item = row->gate ? row->gate->GetStatItem() : nullptr;
        for (size_t i = 0; i < m_codes.size(); ++i) {
            StatRequest r;
            r.item = item;
            r.code = m_codes[i];
            r.param = i < m_params.size() ? m_params[i] : 0;
            requests.push_back(std::move(r));
        }
    }
    ComputeStatTexts(requests);
    size_t k = 0;
    for (GateRow* row : rows) {
        row->values.assign(m_codes.size(), std::string());
        for (size_t i = 0; i < m_codes.size(); ++i, ++k) row->values[i] = std::move(requests[k].text);
        row->stale = false;
    }
    m_computed += int64_t(rows.size() * m_codes.size());
}

void CTrkResult::ComputeStaleRows() {
    std::vector<GateRow*> stale;
    for (auto& row : m_rows)
        if (row->stale) stale.push_back(row.get());
    ComputeRows(stale);
}

CGateNode* CTrkResult::GetRowGate(int32_t gateRow) const {
    return gateRow >= 0 && gateRow < GetGateRowCount() ? m_rows[size_t(gateRow)]->gate : nullptr;
}

std::string CTrkResult::GetCellText(int32_t row, int32_t col) {
    const int32_t k = int32_t(m_keywords.size());
    if (row < 0 || col < 0 || row >= GetRows() || col >= GetCols()) return {};
    if (row == 0 && col == 0) return " ";
    if (row < k || col == 0) return {};
    const size_t i = size_t(col - 1);
    if (row == k) return i < m_titles.size() ? m_titles[i] : std::string();
    GateRow& r = *m_rows[size_t(row - k - 1)];
    if (r.stale) ComputeRows({&r});
    return i < r.values.size() ? r.values[i] : std::string();
}

std::string CTrkResult::KeywordValue(VexaDataShell* shell, const std::string& keyword) {
    if (!shell) return {};
    if (SameText(keyword, "FileName")) return shell->GetFileName();
    // Values are kept as the file has them; an older file's are in code
    // page 936, and what is shown or exported is UTF-8 throughout.
    return lm::BytesToUtf8OrCp936(shell->GetKeywordValue(keyword));
}

std::string CTrkResult::GetKeywordText(const std::string& keyword) const { return KeywordValue(m_shell, keyword); }

std::string CTrkResult::GetTableText() {
    ComputeStaleRows();
    const int32_t k = int32_t(m_keywords.size());
    std::string out;
    for (const std::string& kw : m_keywords) out += Flat(kw) + ": " + Flat(GetKeywordText(kw)) + "\n";
    for (int32_t c = 0; c < GetCols(); ++c) out += Flat(GetCellText(k, c)) + "\t";
    out += "\n";
    for (int32_t g = 0; g < GetGateRowCount(); ++g) {
        const CGateNode* gate = m_rows[size_t(g)]->gate;
        out += Flat(gate ? gate->GetDisplayName(true) : std::string());
        for (int32_t c = 0; c < GetCols(); ++c) out += Flat(GetCellText(k + 1 + g, c)) + "\t";
        out += "\n";
    }
    out += "\n";
    return out;
}

void CTrkResult::CopyToClipboard() {
    const QString text = QString::fromStdString(GetTableText());
    if (CMainFrame* frame = GetMainFrame()) frame->CopyTextToClipboard(text);
    else if (QClipboard* cb = QGuiApplication::clipboard()) cb->setText(text);
}

// ================================================================ CSV

std::string CTrkResult::BuildCsvHeader(std::vector<std::string> keywords, std::vector<int32_t> params,
                                       std::vector<int32_t> codes, VexaDataShell* shell) {
    std::string out;
    for (const std::string& kw : keywords) AddField(&out, kw);
    const size_t columns = std::min(codes.size(), params.size());
    for (int32_t g = 0; shell && g < shell->GetGateCount(); ++g) {
        const std::string name = shell->GetGate(g)->GetDisplayName(true);
        for (size_t i = 0; i < columns; ++i) {
            if (!TakesParam(codes[i])) AddField(&out, name + CStatItem::GetStatName(codes[i]));
            else AddField(&out, ColumnTitle(shell, codes[i], params[i]));
        }
    }
    out += "\n";
    return out;
}

std::string CTrkResult::BuildCsvRow(std::vector<std::string> keywords, std::vector<int32_t> params,
                                    std::vector<int32_t> codes, VexaDataShell* shell) {
    std::string out;
    for (const std::string& kw : keywords) AddField(&out, KeywordValue(shell, kw));
    const size_t columns = std::min(codes.size(), params.size());
    for (int32_t g = 0; shell && g < shell->GetGateCount(); ++g) {
        const CStatItem* item = shell->GetGate(g)->GetStatItem();
        for (size_t i = 0; i < columns; ++i) AddField(&out, ValueText(item, codes[i], params[i]));
    }
    out += "\n";
    return out;
}

std::string CTrkResult::BuildCsvBlock(std::vector<std::string> keywords, std::vector<int32_t> params,
                                      std::vector<int32_t> codes, VexaDataShell* shell) {
    std::string out;
    for (const std::string& kw : keywords) out += CsvField(kw + ": " + KeywordValue(shell, kw)) + "\n";
    const size_t columns = std::min(codes.size(), params.size());
    out += ",";
    for (size_t i = 0; i < columns; ++i) AddField(&out, ColumnTitle(shell, codes[i], params[i]));
    out += "\n";
    for (int32_t g = 0; shell && g < shell->GetGateCount(); ++g) {
        const CGateNode* gate = shell->GetGate(g);
        AddField(&out, gate->GetDisplayName(true));
        for (size_t i = 0; i < columns; ++i) AddField(&out, ValueText(gate->GetStatItem(), codes[i], params[i]));
        out += "\n";
    }
    out += "\n";
    return out;
}

// ================================================================ drawing

int32_t CTrkResult::ColumnLeft(int32_t col) const {
    return col <= 0 || m_borders.empty() ? 0 : m_borders[size_t(std::min<int32_t>(col, int32_t(m_borders.size())) - 1)];
}

int32_t CTrkResult::ColumnRight(int32_t col) const {
    return col >= 0 && size_t(col) < m_borders.size() ? m_borders[size_t(col)] : GridRect().Width();
}

void CTrkResult::Draw(QPainter* painter) {
    if (!painter) return;
    ComputeStaleRows();
    QPainter& p = *painter;
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    lm::FillRect(p, m_rect, 0xFFFFFF);
    p.setFont(lm::ToQFont(m_font));
    const CRect g = GridRect();
    // Names stay in their column, however long (the last one reaches below
    // the grid rectangle into the table's inset).
    p.save();
    p.setClipRect(QRect(g.left, m_rect.top, std::max(ColumnRight(0), 0), m_rect.Height()), Qt::IntersectClip);
    m_gateView.Draw(p);
    p.restore();

    const int32_t k = int32_t(m_keywords.size());
    const QFontMetricsF fm = p.fontMetrics();
    p.setPen(lm::ToQColor(m_textColor));
    for (int32_t r = 0; r < GetRows(); ++r) {
        for (int32_t c = 1; c < GetCols(); ++c) {
            const std::string text = GetCellText(r, c);
            if (text.empty()) continue;
            // Inside the lines on either side; a text too wide for its cell
            // ends in an ellipsis rather than lose digits unseen.
            const QRect cell(g.left + ColumnLeft(c) + 2, g.top + r * m_rowHeight,
                             std::max(ColumnRight(c) - ColumnLeft(c) - 3, 0), m_rowHeight);
            QString shown = QString::fromStdString(text);
            const int flags = Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine;
            if (fm.horizontalAdvance(shown) <= cell.width() && fm.height() <= cell.height()) {
                p.drawText(cell, flags, shown);
                continue;
            }
            shown = fm.elidedText(shown, Qt::ElideRight, cell.width());
            p.save();
            p.setClipRect(cell, Qt::IntersectClip);
            p.drawText(cell, flags, shown);
            p.restore();
        }
    }
    p.setPen(QPen(lm::ToQColor(kLineColour), 1));
    for (int32_t b : m_borders) p.drawLine(g.left + b, g.top + m_rowHeight, g.left + b, g.bottom);
    p.drawLine(g.left, g.top + m_rowHeight, g.right, g.top + m_rowHeight);
    // The gate-name column has no row lines.
    const int32_t namesRight = g.left + ColumnLeft(1);
    for (int32_t y = g.top + 2 * m_rowHeight; y < g.bottom; y += m_rowHeight) p.drawLine(namesRight, y, g.right, y);

    if (k > 0) {
        // Only the outline's lower edge stays below the header lines.
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRect(QPoint(g.left + 1, g.top + m_rowHeight - 1), QPoint(g.right - 1, g.top + k * m_rowHeight)));
        lm::FillRect(p, CRect(g.left, g.top, g.right, g.top + k * m_rowHeight), 0xFFFFFF);
        p.setPen(lm::ToQColor(m_textColor));
        for (int32_t i = 0; i < k; ++i) {
            const std::string& kw = m_keywords[size_t(i)];
            const QRect line(g.left, g.top + i * m_rowHeight, g.Width(), m_rowHeight);
            p.save();
            p.setClipRect(line, Qt::IntersectClip);
            p.drawText(line, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                       QString::fromStdString(Flat(kw + ": " + GetKeywordText(kw))));
            p.restore();
        }
    }
    p.restore();
}

void CTrkResult::Activate(uint32_t, CPoint) { RedrawNow(); }

// ================================================================ mouse

int32_t CTrkResult::ColumnAt(int32_t x) const {
    if (x < 0 || x >= GridRect().Width()) return -1;
    int32_t col = 0;
    while (size_t(col) < m_borders.size() && x >= m_borders[size_t(col)]) ++col;
    return col;
}

CRect CTrkResult::DragLineRect() const {
    if (m_dragBorder < 0 || m_dragX < 0) return CRect();
    const CRect g = GridRect();
    return CRect(g.left + m_dragX - 1, g.top, g.left + m_dragX + 1, g.bottom);
}

int32_t CTrkResult::BorderAt(int32_t x) const {
    for (size_t k = 0; k < m_borders.size(); ++k)
        if (std::abs(x - m_borders[k]) <= 2) return int32_t(k);
    return -1;
}

bool CTrkResult::OnLButtonDown(uint32_t flags, CPoint point, int32_t* state) {
    const CRect g = GridRect();
    const int32_t k = int32_t(m_keywords.size());
    // The column lines start at the title row (the header lines above span
    // the table): a border is grabbed there, in a table without gates too.
    if (!state || !g.PtInRect(point) || point.y < g.top + k * m_rowHeight)
        return CTrkObj::OnLButtonDown(flags, point, state);
    const int32_t x = point.x - g.left;
    if (const int32_t border = BorderAt(x); border >= 0) {
        m_dragBorder = border;
        m_dragX = m_borders[size_t(border)];
        *state = kTrackColumnResize;
        return true;
    }
    const int32_t gateRow = (point.y - g.top) / m_rowHeight - k - 1;
    const int32_t col = ColumnAt(x);
    CGateNode* gate = GetRowGate(gateRow);
    // Borders and columns may disagree until a rebuild: only a column that
    // has a statistic carries one.
    const size_t i = size_t(std::max(col - 1, 0));
    if (!gate || col < 1 || i >= m_codes.size() || i >= m_params.size() || !m_pDocument)
        return CTrkObj::OnLButtonDown(flags, point, state);
    DropDragCell();
    m_dragCell = std::make_unique<CStatCell>(nullptr, gate->GetStatItem(), m_codes[i], m_params[i], true);
    m_dragCell->SetFont(m_font);
    m_dragCell->SetTextColor(m_textColor);
    m_pDocument->SetDraggedCell(m_dragCell.get());
    *state = kTrackCellDrag;
    return true;
}

bool CTrkResult::OnMouseMove(uint32_t flags, CPoint point, int32_t* state) {
    if (!state || *state != kTrackColumnResize) return CTrkObj::OnMouseMove(flags, point, state);
    if (m_dragBorder < 0 || size_t(m_dragBorder) >= m_borders.size()) return true;
    // At least 20 right of the border before (or of the table's left edge).
    // To the right the later borders move along: the last one stays within
    // what a record may hold, and the table's right edge on the canvas.
    // Columns already narrower than that are not widened by the limit.
    const size_t k = size_t(m_dragBorder);
    const int32_t border = m_borders[k];
    const int32_t low = std::min(border, (k == 0 ? 0 : m_borders[k - 1]) + kMinColumn);
    int32_t room = kMaxBorder - LastBorder();
    if (m_pDocument) room = std::min(room, m_pDocument->GetCanvasSize().cx - m_rect.right);
    m_dragX = std::clamp(point.x - GridRect().left, low, border + std::max(room, 0));
    return true;
}

bool CTrkResult::OnLButtonUp(uint32_t flags, CPoint point, int32_t* state) {
    if (state && *state == kTrackColumnResize) {
        if (m_dragBorder >= 0 && size_t(m_dragBorder) < m_borders.size() && m_dragX >= 0) {
            // Later borders keep their columns' widths.
            const int32_t delta = m_dragX - m_borders[size_t(m_dragBorder)];
            for (size_t k = size_t(m_dragBorder); k < m_borders.size(); ++k) m_borders[k] += delta;
            // A border pressed and let go where it was changes nothing.
            if (m_pDocument && delta != 0) {
                m_pDocument->AddDirtyRect(m_rect);
                m_pDocument->SetModifiedFlag();
            }
            CRect r = m_rect;
            r.right = std::max(r.left + LastBorder() + kLastColumnRoom, r.right + delta);
            SetRect(r, false);
        }
        m_dragBorder = m_dragX = -1;
        *state = kTrackMove;
        return true;
    }
    if (state && *state == kTrackCellDrag) {
        // A cell dragged inside the table moves nothing.
        *state = kTrackMove;
        return true;
    }
    return CTrkObj::OnLButtonUp(flags, point, state);
}

bool CTrkResult::QueryMouse(uint32_t, CPoint, int32_t*) { return true; }
bool CTrkResult::OnLButtonDblClk(uint32_t, CPoint, int32_t*) { return true; }
bool CTrkResult::QueryMouseEx(uint32_t, CPoint, int32_t*) { return true; }

// ================================================================ menu

bool CTrkResult::BuildContextMenu(std::vector<lm::MenuItem>* menu, uint32_t, CPoint point) {
    if (!menu || !m_rect.PtInRect(point)) return false;
    menu->push_back(lm::MenuItem::Command(kCtxTree, QStringLiteral("Tree"), true, IsTreeMode()));
    menu->push_back(lm::MenuItem::Command(kCtxDeleteItem, QStringLiteral("Delete Item")));
    menu->push_back(lm::MenuItem::Command(kCtxCopy, QStringLiteral("Copy")));
    menu->push_back(lm::MenuItem::Command(kCtxFont, QStringLiteral("Font")));
    return true;
}

bool CTrkResult::OnContextCommand(uint32_t id, int32_t) {
    if (id == uint32_t(kCtxTree)) {
        if (m_pDocument) m_pDocument->AddDirtyRect(m_rect);
        SetTreeMode(!IsTreeMode());
        if (m_pDocument) m_pDocument->SetModifiedFlag();
        RedrawNow();
    } else if (id == uint32_t(kCtxFont)) {
        ChooseObjectFont(this);
    }
    return true;
}

// ================================================================ record

void CTrkResult::Load(CArchive& ar) {
    CTrkObj::Load(ar);
    const size_t nBorders = ar.CheckCount(ar.ReadInt32(), 4);
    std::vector<int32_t> borders;
    for (size_t i = 0; i < nBorders; ++i) {
        const int32_t b = ar.ReadInt32();
        const int32_t before = borders.empty() ? 0 : borders.back();
        if (b <= before || b > kMaxBorder)
            throw CArchiveException("result table record: column border " + std::to_string(b) + " outside " +
                                    std::to_string(before + 1) + ".." + std::to_string(kMaxBorder));
        borders.push_back(b);
    }
    const int32_t shellIndex = ar.ReadInt32();
    const size_t nKeywords = ar.CheckCount(ar.ReadInt32(), 1);
    std::vector<std::string> keywords;
    for (size_t i = 0; i < nKeywords; ++i) keywords.push_back(ar.ReadString());
    const size_t nCodes = ar.CheckCount(ar.ReadInt32(), 4);
    if (nCodes > size_t(kMaxTableColumns))
        throw CArchiveException("result table record: " + std::to_string(nCodes) + " statistic columns, at most " +
                                std::to_string(kMaxTableColumns));
    std::vector<int32_t> codes;
    for (size_t i = 0; i < nCodes; ++i) {
        // As a statistic cell's record: a value dragged from the table into
        // a grid is stored there.
        const int32_t code = ar.ReadInt32();
        if (code < 0 || code >= kStatCodeCount)
            throw CArchiveException("result table record: code " + std::to_string(code) + " outside 0.." +
                                    std::to_string(kStatCodeCount - 1));
        codes.push_back(code);
    }
    const size_t nParams = ar.CheckCount(ar.ReadInt32(), 4);
    if (nParams != nCodes)
        throw CArchiveException("result table record: " + std::to_string(nCodes) + " statistic codes but " +
                                std::to_string(nParams) + " parameters");
    std::vector<int32_t> params;
    for (size_t i = 0; i < nParams; ++i) {
        const int32_t param = ar.ReadInt32();
        if (param < 0) throw CArchiveException("result table record: parameter " + std::to_string(param));
        params.push_back(param);
    }
    const bool tree = ar.ReadInt32() != 0;

    m_borders = std::move(borders);
    m_keywords = std::move(keywords);
    m_codes = std::move(codes);
    m_params = std::move(params);
    m_rowHeight = kRowHeight;
    m_gateView.SetTreeMode(tree);
    m_gateView.SetRowHeight(m_rowHeight);
    CDataShellUser::SetShell(m_pDocument ? m_pDocument->GetDataShellAt(shellIndex) : nullptr, false);
    RebuildTable(false);
}

void CTrkResult::Store(CArchive& ar) const {
    CTrkObj::Store(ar);
    ar.WriteInt32(int32_t(m_borders.size()));
    for (int32_t b : m_borders) ar.WriteInt32(b);
    ar.WriteInt32(m_pDocument ? m_pDocument->GetDataShellIndex(m_shell) : -1);
    ar.WriteInt32(int32_t(m_keywords.size()));
    for (const std::string& kw : m_keywords) ar.WriteString(kw);
    ar.WriteInt32(int32_t(m_codes.size()));
    for (int32_t c : m_codes) ar.WriteInt32(c);
    ar.WriteInt32(int32_t(m_params.size()));
    for (int32_t p : m_params) ar.WriteInt32(p);
    ar.WriteInt32(IsTreeMode() ? 1 : 0);
}

// ================================================================ makers

std::unique_ptr<CTrkObj> MakeResultTable(CLumitraDoc* doc, VexaDataShell* shell, CPoint at, const CTrkObj* templ) {
    if (const auto* source = dynamic_cast<const CTrkResult*>(templ))
        return std::make_unique<CTrkResult>(at.x, at.y, shell, *source, doc);
    return std::make_unique<CTrkResult>(at.x, at.y, at.x + 100, at.y + 30, shell, doc);
}

std::unique_ptr<CTrkObj> LoadResultTable(CLumitraDoc* doc) { return std::make_unique<CTrkResult>(doc); }

void CreateResultUnderPlot(CLumitraDoc* doc, VexaDataShell* shell, CPoint at) {
    if (!doc || !shell || doc->GetDataShellIndex(shell) < 0) return;
    if (doc->HasResultTable(shell)) {
        lm::Ui().MessageBox(DialogParent(), QStringLiteral("Result Item can't create twice"),
                            QString::fromLatin1(kProgramName), lm::MsgButtons::Ok, lm::MsgIcon::Warning);
        return;
    }
    doc->InsertNewObject(std::make_unique<CTrkResult>(at.x, at.y, shell, doc));
    doc->SetModifiedFlag();
}

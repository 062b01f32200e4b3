#include "dialogs/ParaTable.h"

#include <QContextMenuEvent>
#include <QGridLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>

#include "core/DataShell.h"
#include "dialogs/DialogControls.h"
#include "dialogs/ResultDlgIds.h"
#include "platform/UiServices.h"
#include "report/page/LumitraDoc.h"

namespace {

constexpr COLORREF kWhite = 0xFFFFFF;
constexpr int32_t kRowNumberWidth = 20;
constexpr int32_t kPhraseOffset = 23;  // the phrase stands this far under the label
const QColor kGridColour(135, 235, 235);
const char* const kLeftOutPrefixes[] = {"FS", "SS", "TIME", "Time"};

// The table area: its events go to the table.
class ParaTableArea : public QWidget {
public:
    explicit ParaTableArea(CParaTable* table) : QWidget(table), m_table(table) {
        setObjectName(QStringLiteral("paraTable"));
        setMinimumSize(120, 60);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        m_table->PaintArea(p);
    }
    void contextMenuEvent(QContextMenuEvent* e) override { m_table->AreaContextMenu(e->pos(), e->globalPos()); }
    void mouseDoubleClickEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton) m_table->AreaDoubleClick(e->position().toPoint());
    }
    void wheelEvent(QWheelEvent* e) override {
        m_table->AreaWheel(e->angleDelta().y());
        e->accept();
    }

private:
    CParaTable* m_table;
};

// Integer division rounding down, so a point left of or above the first cell
// never lands in it.
int32_t FloorDiv(int32_t a, int32_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

}  // namespace

CParaTable::CParaTable(QWidget* parent) : QWidget(parent) {
    m_area = new ParaTableArea(this);
    m_hScroll = lm::WithControlId(new QScrollBar(Qt::Horizontal, this), kParaHScroll);
    m_vScroll = lm::WithControlId(new QScrollBar(Qt::Vertical, this), kParaVScroll);
    m_hScroll->setSingleStep(kCellWidth);
    m_vScroll->setSingleStep(kCellHeight);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);
    grid->addWidget(m_area, 0, 0);
    grid->addWidget(m_vScroll, 0, 1);
    grid->addWidget(m_hScroll, 1, 0);
    connect(m_hScroll, &QScrollBar::valueChanged, m_area, qOverload<>(&QWidget::update));
    connect(m_vScroll, &QScrollBar::valueChanged, m_area, qOverload<>(&QWidget::update));
    UpdateScrollBars();
}

bool CParaTable::IsLeftOut(const std::string& label) {
    for (const char* prefix : kLeftOutPrefixes)
        if (label.rfind(prefix, 0) == 0) return true;
    return false;
}

void CParaTable::Rebuild(const CLumitraDoc* doc) {
    std::vector<std::vector<std::string>> rows;
    for (int32_t i = 0; doc && i < doc->GetDataShellCount(); ++i) {
        const VexaDataShell* shell = doc->GetDataShellAt(i);
        std::vector<std::string> kept;
        for (int32_t p = 0; shell && p < shell->GetParamCount(); ++p) {
            std::string label = shell->GetParamLabel(p, 2);
            if (!IsLeftOut(label)) kept.push_back(std::move(label));
        }
        rows.push_back(std::move(kept));
    }
    SetLabels(rows);
}

void CParaTable::SetLabels(const std::vector<std::vector<std::string>>& rows) {
    m_nRows = int32_t(rows.size());
    m_nCols = 0;
    for (const auto& r : rows) m_nCols = std::max(m_nCols, int32_t(r.size()));
    m_cellLabels.clear();
    for (const auto& r : rows) {
        m_cellLabels.insert(m_cellLabels.end(), r.begin(), r.end());
        m_cellLabels.resize(m_cellLabels.size() + size_t(m_nCols) - r.size());
    }
    m_cells.assign(m_cellLabels.size(), -1);
    m_hScroll->setValue(0);
    m_vScroll->setValue(0);
    UpdateScrollBars();
    m_area->update();
}

void CParaTable::SetStrings(std::vector<std::string> strings, std::vector<COLORREF> colors) {
    colors.resize(strings.size(), kWhite);
    m_strings = std::move(strings);
    m_colors = std::move(colors);
    std::fill(m_cells.begin(), m_cells.end(), -1);
    m_area->update();
}

void CParaTable::RemapStrings(std::vector<std::string> strings, std::vector<COLORREF> colors) {
    for (int32_t& cell : m_cells) {
        if (cell < 0 || size_t(cell) >= m_strings.size()) {
            cell = -1;
            continue;
        }
        const auto it = std::find(strings.begin(), strings.end(), m_strings[size_t(cell)]);
        cell = it == strings.end() ? -1 : int32_t(it - strings.begin());
    }
    colors.resize(strings.size(), kWhite);
    m_strings = std::move(strings);
    m_colors = std::move(colors);
    m_area->update();
}

int32_t CParaTable::GetCell(int32_t row, int32_t col) const {
    if (row < 0 || row >= m_nRows || col < 0 || col >= m_nCols) return -1;
    return m_cells[size_t(row * m_nCols + col)];
}

void CParaTable::SetCell(int32_t row, int32_t col, int32_t phrase) {
    if (row < 0 || row >= m_nRows || col < 0 || col >= m_nCols) return;
    if (phrase < -1 || phrase >= int32_t(m_strings.size())) return;
    m_cells[size_t(row * m_nCols + col)] = phrase;
    m_area->update();
}

const std::string& CParaTable::GetCellLabel(int32_t row, int32_t col) const {
    static const std::string none;
    if (row < 0 || row >= m_nRows || col < 0 || col >= m_nCols) return none;
    return m_cellLabels[size_t(row * m_nCols + col)];
}

QSize CParaTable::TableSize() const {
    return QSize(kFirstColumnX + kCellWidth * m_nCols, kFirstRowY + kCellHeight * m_nRows);
}

bool CParaTable::HitCell(QPoint area, int32_t* row, int32_t* col) const {
    const int32_t c = FloorDiv(m_hScroll->value() + area.x() - kFirstColumnX, kCellWidth);
    const int32_t r = FloorDiv(m_vScroll->value() + area.y() - kFirstRowY, kCellHeight);
    if (r < 0 || r >= m_nRows || c < 0 || c >= m_nCols) return false;
    // Past the end of a shorter row there is no parameter to describe.
    if (GetCellLabel(r, c).empty()) return false;
    *row = r;
    *col = c;
    return true;
}

void CParaTable::UpdateScrollBars() {
    const QSize table = TableSize();
    const QSize seen = m_area->size();
    m_hScroll->setPageStep(std::max(1, seen.width()));
    m_vScroll->setPageStep(std::max(1, seen.height()));
    // Qt's range ends where the last page starts: never below 0.
    m_hScroll->setRange(0, std::max(0, table.width() - seen.width()));
    m_vScroll->setRange(0, std::max(0, table.height() - seen.height()));
}

void CParaTable::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    UpdateScrollBars();
}

void CParaTable::PaintArea(QPainter& p) {
    p.fillRect(m_area->rect(), Qt::white);
    p.translate(-m_hScroll->value(), -m_vScroll->value());
    const QSize table = TableSize();
    p.setPen(Qt::black);
    for (int32_t r = 0; r < m_nRows; ++r) {
        const int32_t top = kFirstRowY + r * kCellHeight;
        p.drawText(QRect(0, top, kRowNumberWidth, kCellHeight), Qt::AlignHCenter | Qt::AlignTop,
                   QString::number(r + 1));
        for (int32_t c = 0; c < m_nCols; ++c) {
            const QRect cell(kFirstColumnX + c * kCellWidth, top, kCellWidth, kCellHeight);
            const QRect label = cell.adjusted(2, 2, -2, 0);
            const auto fit = [&](const std::string& s) {
                return p.fontMetrics().elidedText(QString::fromStdString(s), Qt::ElideRight, label.width());
            };
            p.drawText(label, Qt::AlignHCenter | Qt::AlignTop, fit(GetCellLabel(r, c)));
            const int32_t phrase = GetCell(r, c);
            if (phrase >= 0)
                p.drawText(label.translated(0, kPhraseOffset), Qt::AlignHCenter | Qt::AlignTop,
                           fit(m_strings[size_t(phrase)]));
        }
    }
    p.setPen(kGridColour);
    for (int32_t r = 0; r <= m_nRows; ++r)
        p.drawLine(0, kFirstRowY + r * kCellHeight, table.width(), kFirstRowY + r * kCellHeight);
    for (int32_t c = 0; c <= m_nCols; ++c)
        p.drawLine(kFirstColumnX + c * kCellWidth, 0, kFirstColumnX + c * kCellWidth, table.height());
}

void CParaTable::AreaContextMenu(QPoint area, QPoint global) {
    int32_t row = 0, col = 0;
    if (!HitCell(area, &row, &col) || m_strings.empty()) return;
    std::vector<lm::MenuItem> items;
    for (size_t i = 0; i < m_strings.size(); ++i)
        items.push_back(lm::MenuItem::Command(int32_t(i) + 1, QString::fromStdString(m_strings[i])));
    const int32_t chosen = lm::Ui().TrackPopupMenu(this, items, global);
    if (chosen >= 1 && size_t(chosen) <= m_strings.size()) SetCell(row, col, chosen - 1);
}

void CParaTable::AreaDoubleClick(QPoint area) {
    int32_t row = 0, col = 0;
    if (HitCell(area, &row, &col)) SetCell(row, col, -1);
}

void CParaTable::AreaWheel(int delta) {
    // Fine-grained wheels send small deltas: they add up to whole steps.
    m_wheel += delta;
    while (m_wheel >= kWheelStep) {
        m_wheel -= kWheelStep;
        m_vScroll->triggerAction(QAbstractSlider::SliderSingleStepSub);
    }
    while (m_wheel <= -kWheelStep) {
        m_wheel += kWheelStep;
        m_vScroll->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    }
}

void CParaTable::ResetAllMenu(const QPoint& globalPos) {
    constexpr int32_t kClear = 1;
    std::vector<lm::MenuItem> items{lm::MenuItem::Command(kClear, QStringLiteral("Clear"))};
    for (size_t i = 0; i < m_strings.size(); ++i)
        items.push_back(lm::MenuItem::Command(int32_t(i) + 2, QString::fromStdString(m_strings[i])));
    const int32_t chosen = lm::Ui().TrackPopupMenu(this, items, globalPos);
    if (chosen == kClear) {
        std::fill(m_cells.begin(), m_cells.end(), -1);
    } else if (chosen >= 2 && size_t(chosen - 2) < m_strings.size()) {
        for (size_t i = 0; i < m_cells.size(); ++i)
            if (!m_cellLabels[i].empty()) m_cells[i] = chosen - 2;
    } else {
        return;
    }
    m_area->update();
}

std::string CParaTable::BuildText() const {
    std::string text;
    for (size_t s = 0; s < m_strings.size(); ++s) {
        std::string labels;
        bool any = false;
        for (size_t i = 0; i < m_cells.size(); ++i) {
            if (m_cells[i] != int32_t(s)) continue;
            if (any) labels += "、";
            labels += m_cellLabels[i];
            any = true;
        }
        if (any) text += labels + m_strings[s] + "；";
    }
    return text;
}

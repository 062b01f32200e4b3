#include "dialogs/StatPropPage.h"

#include <algorithm>

#include <QCheckBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>

#include "core/DataShell.h"
#include "core/StatItem.h"
#include "dialogs/DialogControls.h"
#include "dialogs/RecordWatch.h"
#include "dialogs/ResultDlgIds.h"
#include "dialogs/StatMatrix.h"
#include "platform/UiServices.h"
#include "report/page/LumitraDoc.h"

namespace {

constexpr int32_t kCaptionTop = 25;
constexpr CStatMatrix::Geometry kGeometry{};
// The matrix shows at most this many rows (its caption row included) and
// scrolls the rest, so that the page stays short enough for the property
// dock at the default window size with every panel shown, and Apply stays
// in view below it whatever the parameter count.
constexpr int32_t kMatrixRowsShown = 6;
constexpr int32_t kButtonGap = 8;
constexpr int32_t kButtonHeight = 20;
constexpr int32_t kBottomMargin = 6;

}  // namespace

CStatPropPage::CStatPropPage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("statPage"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    m_percent = lm::WithControlId(new QCheckBox(QStringLiteral("Percent"), this), kStatPagePercent);
    m_parentPre = lm::WithControlId(new QCheckBox(QStringLiteral("Parent Per"), this), kStatPageParentPre);
    m_event = lm::WithControlId(new QCheckBox(QStringLiteral("Event"), this), kStatPageEvent);
    m_percent->setGeometry(5, 2, 80, 20);
    m_parentPre->setGeometry(95, 2, 95, 20);
    m_event->setGeometry(200, 2, 80, 20);
    m_apply = lm::WithControlId(new QPushButton(QStringLiteral("Apply"), this), kStatPageApply);
    m_cancel = lm::WithControlId(new QPushButton(QStringLiteral("Cancel"), this), kStatPageCancel);
    m_matrixArea = new QScrollArea(this);
    m_matrixArea->setObjectName(QStringLiteral("statMatrixArea"));
    m_matrixArea->setFrameShape(QFrame::NoFrame);
    m_matrixArea->setWidgetResizable(false);
    m_matrixArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_matrixArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_matrix = new CStatMatrix(kGeometry);
    m_matrixArea->setWidget(m_matrix);
    m_matrixArea->move(0, kCaptionTop);
    connect(m_apply, &QPushButton::clicked, this, &CStatPropPage::Apply);
    connect(m_cancel, &QPushButton::clicked, this, &CStatPropPage::SetFromTable);
    LayOut(nullptr);
}

CStatPropPage::~CStatPropPage() { Unbind(); }

void CStatPropPage::Unbind() {
    if (m_table) m_table->RemoveBinding(this);
    m_table = nullptr;
    m_shell = nullptr;
    m_keptCodes.clear();
    m_keptParams.clear();
}

int32_t CStatPropPage::MatrixViewHeight() const {
    return std::min(m_matrix->MatrixSize().height(), kMatrixRowsShown * kGeometry.rowHeight);
}

QSize CStatPropPage::GetSize() const {
    const int32_t bar = m_matrixArea->verticalScrollBar()->sizeHint().width();
    return QSize(kGeometry.labelWidth + CStatMatrix::kColumns * kGeometry.columnWidth + std::max(20, bar + 5),
                 kCaptionTop + MatrixViewHeight() + kButtonGap + kButtonHeight + kBottomMargin);
}

void CStatPropPage::LayOut(const VexaDataShell* shell) {
    m_matrix->LayOut(shell);
    const QSize size = GetSize();
    move(0, 20);
    resize(size);
    const int32_t viewHeight = MatrixViewHeight();
    m_matrixArea->resize(size.width(), viewHeight);
    m_matrixArea->verticalScrollBar()->setValue(0);
    const int32_t y = kCaptionTop + viewHeight + kButtonGap;
    m_apply->setGeometry(80, y, 50, kButtonHeight);
    m_cancel->setGeometry(150, y, 50, kButtonHeight);
}

void CStatPropPage::SetResult(CTrkResult* table) {
    Unbind();
    m_table = table;
    if (m_table) m_table->AddBinding(this);
    LayOut(m_table ? m_table->GetShell() : nullptr);
    SetFromTable();
}

void CStatPropPage::SetDataShell(VexaDataShell* shell) {
    Unbind();
    m_shell = shell;
    LayOut(shell);
    m_event->setChecked(false);
    m_parentPre->setChecked(false);
    m_percent->setChecked(true);
}

void CStatPropPage::OnResultDestroyed(CTrkResult* table) {
    if (table != m_table) return;
    m_table = nullptr;  // it is going: not told of our leaving
    Unbind();
    LayOut(nullptr);
    ClearChoices();
}

void CStatPropPage::ClearChoices() {
    m_percent->setChecked(false);
    m_event->setChecked(false);
    m_parentPre->setChecked(false);
    m_matrix->ClearAll();
}

void CStatPropPage::SetFromTable() {
    ClearChoices();
    m_keptCodes.clear();
    m_keptParams.clear();
    if (!m_table) return;
    const std::vector<int32_t>& codes = m_table->GetCodes();
    const std::vector<int32_t>& params = m_table->GetParams();
    for (size_t i = 0; i < codes.size() && i < params.size(); ++i) {
        const int32_t code = codes[i], param = params[i];
        if (code == kStatEvents) {
            m_event->setChecked(true);
        } else if (code == kStatPercent) {
            m_percent->setChecked(true);
        } else if (code == kStatParentPercent) {
            m_parentPre->setChecked(true);
        } else if (m_matrix->HasBox(code, param)) {
            m_matrix->Check(code, param, true);
        } else {
            // Not shown here, so Apply must not lose it.
            m_keptCodes.push_back(code);
            m_keptParams.push_back(param);
        }
    }
}

void CStatPropPage::CollectColumns(std::vector<int32_t>* codes, std::vector<int32_t>* params) const {
    const struct {
        QCheckBox* box;
        int32_t code;
    } fixed[] = {{m_percent, kStatPercent}, {m_event, kStatEvents}, {m_parentPre, kStatParentPercent}};
    for (const auto& f : fixed) {
        if (!f.box->isChecked()) continue;
        codes->push_back(f.code);
        params->push_back(0);
    }
    m_matrix->AppendChecked(codes, params);
}

void CStatPropPage::SetButtonsVisible(bool visible) {
    m_apply->setVisible(visible);
    m_cancel->setVisible(visible);
}

void CStatPropPage::Apply() {
    if (!m_table) return;
    std::vector<int32_t> codes, params;
    CollectColumns(&codes, &params);
    codes.insert(codes.end(), m_keptCodes.begin(), m_keptCodes.end());
    params.insert(params.end(), m_keptParams.begin(), m_keptParams.end());
    // The table may change size: what it covered before is repainted too.
    CLumitraDoc* doc = m_table->GetDocument();
    const CRect before = m_table->GetRect();
    CRecordWatch watch(m_table);
    if (!m_table->SetColumns(codes, params)) {
        lm::Ui().MessageBox(this,
                            QStringLiteral("A result table holds at most %1 statistic columns; %2 are chosen. "
                                           "The table is left as it was.")
                                .arg(kMaxTableColumns)
                                .arg(codes.size()),
                            QStringLiteral("Stat"), lm::MsgButtons::Ok, lm::MsgIcon::Warning);
        return;
    }
    if (doc) doc->AddDirtyRect(before);
    m_table->RebuildAndRedraw();
    watch.Commit();
}

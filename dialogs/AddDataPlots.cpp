#include "dialogs/AddDataPlots.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cmath>
#include <cstdint>
#include <limits>

#include "base/Codepage.h"
#include "base/Numbers.h"
#include "core/DataSet.h"
#include "core/DataShell.h"
#include "core/GateNode.h"
#include "dialogs/DataSetDlgIds.h"
#include "dialogs/DialogControls.h"
#include "platform/UiServices.h"
#include "report/plot/PlotIds.h"

namespace {

constexpr const char* kPercentTexts[] = {"100%", "75%", "50%", "25%", "10%", "5%", "1%"};
constexpr int32_t kDefaultEvents = 10000;
constexpr int32_t kParamColumnWidth = 180;

QCheckBox* Check(const char* text, int32_t id, QWidget* parent) {
    return lm::WithControlId(new QCheckBox(QString::fromLatin1(text), parent), id);
}

}  // namespace

CAddDataPlots::CAddDataPlots(VexaDataShell* shell, QWidget* parent) : QDialog(parent), m_pShell(shell) {
    setWindowTitle(QStringLiteral("Add Data Plots"));
    m_listParams = lm::WithControlId(new QTreeWidget(this), kAddPlotsParams);
    m_listParams->setHeaderLabels({QStringLiteral("Parameters")});
    m_listParams->setRootIsDecorated(false);
    m_listParams->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_listParams->setColumnWidth(0, kParamColumnWidth);
    m_cbGate = lm::WithControlId(new QComboBox(this), kAddPlotsGate);
    m_btnDot = Check("Dot", kAddPlotsDot, this);
    m_btnHist = Check("Hist", kAddPlotsHist, this);
    m_btnContour = Check("Contour", kAddPlotsContour, this);
    m_btnDensity = Check("Density", kAddPlotsDensity, this);
    m_btnSwap = Check("Swap Para", kAddPlotsSwap, this);
    m_btnSwap->setEnabled(false);
    m_editEvents = lm::WithControlId(new QLineEdit(this), kAddPlotsEvents);
    m_cbPercent = lm::WithControlId(new QComboBox(this), kAddPlotsPercent);
    for (const char* t : kPercentTexts) m_cbPercent->addItem(QString::fromLatin1(t));
    auto* ok = lm::WithControlId(new QPushButton(QStringLiteral("OK"), this), kAddPlotsOk);
    auto* cancel = lm::WithControlId(new QPushButton(QStringLiteral("Cancel"), this), kAddPlotsCancel);
    ok->setDefault(true);
    cancel->setAutoDefault(false);

    for (QCheckBox* box : {m_btnDot, m_btnHist, m_btnContour, m_btnDensity})
        connect(box, &QCheckBox::clicked, this, [this, box](bool checked) { OnKindClicked(box, checked); });
    connect(m_cbPercent, &QComboBox::activated, this, [this] { OnPercent(); });
    // A typed count is no longer the entry's share.
    connect(m_editEvents, &QLineEdit::textEdited, this, [this] { m_cbPercent->setCurrentIndex(-1); });
    connect(ok, &QPushButton::clicked, this, &CAddDataPlots::OnOK);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* side = new QGridLayout;
    side->addWidget(new QLabel(QStringLiteral("Gate"), this), 0, 0);
    side->addWidget(m_cbGate, 0, 1);
    side->addWidget(m_btnDot, 1, 0);
    side->addWidget(m_btnHist, 1, 1);
    side->addWidget(m_btnContour, 2, 0);
    side->addWidget(m_btnDensity, 2, 1);
    side->addWidget(m_btnSwap, 3, 0, 1, 2);
    side->addWidget(new QLabel(QStringLiteral("Events"), this), 4, 0);
    side->addWidget(m_editEvents, 4, 1);
    side->addWidget(m_cbPercent, 5, 1);
    side->setRowStretch(6, 1);
    auto* top = new QHBoxLayout;
    top->addWidget(m_listParams);
    top->addLayout(side);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
}

void CAddDataPlots::OnInitDialog() {
    m_listParams->clear();
    const int32_t n = m_pShell ? m_pShell->GetParamCount() : 0;
    for (int32_t i = 0; i < n; ++i) {
        const CParam* p = m_pShell->GetParam(i);
        auto* item = new QTreeWidgetItem(m_listParams, {QString::fromStdString(p && p->hasName ? lm::BytesToUtf8OrCp936(p->name) : "")});
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, Qt::Unchecked);
    }
    m_cbGate->clear();
    const int32_t gates = m_pShell ? m_pShell->GetGateCount() : 0;
    for (int32_t i = 0; i < gates; ++i)
        m_cbGate->addItem(QString::fromStdString(m_pShell->GetGate(i)->GetDisplayName(true)));
    m_cbGate->setCurrentIndex(gates > 0 ? 0 : -1);
    for (QCheckBox* box : {m_btnHist, m_btnContour, m_btnDensity}) box->setChecked(false);
    m_btnDot->setChecked(true);
    m_btnSwap->setChecked(m_bSwapPara);
    m_nEvents = kDefaultEvents;
    m_editEvents->setText(QString::number(m_nEvents));
    ShowPercentOfEvents(m_nEvents);
}

void CAddDataPlots::OnKindClicked(QCheckBox* box, bool checked) {
    if (box == m_btnHist) {
        // A histogram shows one parameter: no 2-D kind beside it, and
        // clearing it leaves dots.
        for (QCheckBox* other : {m_btnDot, m_btnContour, m_btnDensity}) other->setChecked(!checked && other == m_btnDot);
        return;
    }
    if (checked) {
        m_btnHist->setChecked(false);
        return;
    }
    // The last 2-D kind cleared: dots again, never a plot without a kind.
    if (!m_btnDot->isChecked() && !m_btnContour->isChecked() && !m_btnDensity->isChecked())
        m_btnDot->setChecked(true);
}

int64_t CAddDataPlots::EventsOfPercentEntry(int index) const {
    double f = 0.0;
    if (!m_pShell || index < 0 || !lm::FractionOfPercentText(m_cbPercent->itemText(index), &f)) return -1;
    // Whole percents of a whole count: computed exactly, then truncated.
    const double total = double(m_pShell->GetTotalEvents());
    return int64_t(std::floor(total * std::round(f * 100.0) / 100.0));
}

void CAddDataPlots::ShowPercentOfEvents(int64_t events) {
    // The entry that gives this count, or none: "100%" beside a count that is
    // not the file's whole would be a wrong statement.
    int chosen = -1;
    for (int i = 0; i < m_cbPercent->count() && chosen < 0; ++i)
        if (EventsOfPercentEntry(i) == events) chosen = i;
    m_cbPercent->setCurrentIndex(chosen);
}

void CAddDataPlots::OnPercent() {
    const int64_t events = EventsOfPercentEntry(m_cbPercent->currentIndex());
    if (events < 0) return;
    m_editEvents->setText(QString::number(events));
}

void CAddDataPlots::OnOK() {
    auto warn = [this](const QString& text) {
        lm::Ui().MessageBox(this, text, windowTitle(), lm::MsgButtons::Ok, lm::MsgIcon::Warning);
    };
    std::vector<int32_t> params;
    for (int32_t i = 0; i < m_listParams->topLevelItemCount(); ++i)
        if (m_listParams->topLevelItem(i)->checkState(0) == Qt::Checked) params.push_back(i);
    uint8_t type = 0;
    if (m_btnDot->isChecked()) type |= kPlotFlagDots;
    if (m_btnDensity->isChecked()) type |= kPlotFlagDensity;
    if (m_btnContour->isChecked()) type |= kPlotFlagContour;
    if (m_btnHist->isChecked()) type |= kPlotFlagHistogram;
    if (type == 0) type = kPlotFlagDots;  // never without a kind
    const bool histogram = type == kPlotFlagHistogram;
    const size_t needed = histogram ? 1 : 2;
    if (params.size() < needed) {
        warn(histogram ? QStringLiteral("Check at least one parameter: each gets a histogram.")
                       : QStringLiteral("Check at least two parameters: each pair of them gets a plot."));
        return;
    }
    int32_t events = 0;
    const QString text = m_editEvents->text().trimmed();
    if (!lm::TryParseInt(text.toStdString(), &events) || events < 1) {
        warn(QStringLiteral("Events: \"%1\" is not a whole number from 1 to %2.")
                 .arg(text)
                 .arg(std::numeric_limits<int32_t>::max()));
        m_editEvents->setFocus();
        m_editEvents->selectAll();
        return;
    }
    m_params = std::move(params);
    m_nGate = std::max(m_cbGate->currentIndex(), 0);
    m_nPlotType = type;
    m_nEvents = events;
    m_bSwapPara = m_btnSwap->isChecked();
    accept();
}

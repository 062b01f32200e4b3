#include "dialogs/PlotStyleDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLineEdit>
#include <QTabWidget>
#include <QVBoxLayout>

#include <limits>

#include "base/Numbers.h"
#include "dialogs/ColorCombo.h"
#include "dialogs/DialogControls.h"
#include "platform/UiServices.h"

namespace {

QDialogButtonBox* OkCancel(QDialog* dlg) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dlg);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dlg, &QDialog::reject);
    return buttons;
}

// An integer typed in an edit, refused with a message outside lo .. hi.
bool ReadInt(QDialog* dlg, QLineEdit* edit, int32_t lo, int32_t hi, const QString& what, int32_t* out) {
    int32_t v = 0;
    if (lm::TryParseInt(edit->text().trimmed().toStdString(), &v) && v >= lo && v <= hi) {
        *out = v;
        return true;
    }
    lm::Ui().MessageBox(dlg, QStringLiteral("%1: please enter an integer between %2 and %3.").arg(what).arg(lo).arg(hi),
                        dlg->windowTitle(), lm::MsgButtons::Ok, lm::MsgIcon::Warning);
    edit->setFocus();
    edit->selectAll();
    return false;
}

}  // namespace

// ============================================================ histogram

CDlg1DPlotStyle::CDlg1DPlotStyle(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Plot Style"));
    m_width = lm::WithControlId(new QComboBox(this), kLineWidth);
    for (int32_t w = 1; w <= kLineWidths; ++w) m_width->addItem(QString::number(w));
    m_cbLine = lm::WithControlId(new CColorCombo(this), kLineColor);
    m_cbFill = lm::WithControlId(new CColorCombo(this), kFillColor);
    m_auto = lm::WithControlId(new QCheckBox(QStringLiteral("Auto Scale"), this), kAutoScale);
    m_peak = lm::WithControlId(new QLineEdit(this), kPeak);
    m_fill = lm::WithControlId(new QCheckBox(QStringLiteral("Fill Color"), this), kFill);
    m_line = lm::WithControlId(new QCheckBox(QStringLiteral("Line Color"), this), kLine);
    auto* buttons = OkCancel(this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDlg1DPlotStyle::OnOK);
    connect(m_auto, &QCheckBox::clicked, this, &CDlg1DPlotStyle::OnAutoScale);
    connect(m_line, &QCheckBox::clicked, this, &CDlg1DPlotStyle::OnLine);
    connect(m_fill, &QCheckBox::clicked, this, &CDlg1DPlotStyle::OnFill);
    auto* grid = new QGridLayout(this);
    grid->addWidget(m_line, 0, 0);
    grid->addWidget(m_cbLine, 0, 1);
    grid->addWidget(m_width, 0, 2);
    grid->addWidget(m_fill, 1, 0);
    grid->addWidget(m_cbFill, 1, 1);
    grid->addWidget(m_auto, 2, 0);
    auto* peak = new QFormLayout;
    peak->addRow(QStringLiteral("Peek Value"), m_peak);
    grid->addLayout(peak, 2, 1, 1, 2);
    grid->addWidget(buttons, 3, 0, 1, 3);
}

void CDlg1DPlotStyle::InitDialog() {
    m_width->setCurrentIndex(m_nLineWidth >= 0 && m_nLineWidth < m_width->count() ? m_nLineWidth : 0);
    m_cbFill->SelectColor(m_crFill);
    m_cbFill->setCurrentIndex(0);
    m_cbLine->SelectColor(m_crLine);
    m_cbLine->setCurrentIndex(0);
    m_auto->setChecked(m_bAutoScale);
    m_peak->setText(QString::number(m_nPeak));
    m_peak->setEnabled(!m_bAutoScale);
    // At least one of fill and line is on.
    const bool line = m_bLine || !m_bFill;
    m_line->setChecked(line);
    m_fill->setChecked(m_bFill);
    m_cbLine->setEnabled(line);
    m_width->setEnabled(line);
    m_cbFill->setEnabled(m_bFill);
}

void CDlg1DPlotStyle::OnAutoScale() { m_peak->setEnabled(!m_auto->isChecked()); }

void CDlg1DPlotStyle::OnLine() {
    const bool on = m_line->isChecked();
    m_cbLine->setEnabled(on);
    m_width->setEnabled(on);
    if (on) return;
    m_fill->setChecked(true);
    m_cbFill->setEnabled(true);
}

void CDlg1DPlotStyle::OnFill() {
    const bool on = m_fill->isChecked();
    m_cbFill->setEnabled(on);
    if (on) return;
    m_line->setChecked(true);
    m_cbLine->setEnabled(true);
    m_width->setEnabled(true);
}

void CDlg1DPlotStyle::OnOK() {
    int32_t peak = m_nPeak;
    if (!m_auto->isChecked() &&
        !ReadInt(this, m_peak, 0, std::numeric_limits<int32_t>::max(), QStringLiteral("Peek Value"), &peak))
        return;
    m_nPeak = peak;
    m_bAutoScale = m_auto->isChecked();
    m_bFill = m_fill->isChecked();
    m_bLine = m_line->isChecked();
    m_nLineWidth = m_width->currentIndex();
    m_crFill = m_cbFill->GetColor();
    m_crLine = m_cbLine->GetColor();
    accept();
}

// ============================================================ 2-D plot

CDlg2DPlotStyle::CDlg2DPlotStyle(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("PLOT Sytle"));
    m_dot = lm::WithControlId(new QCheckBox(QStringLiteral("Dot"), this), kDot);
    m_multi = lm::WithControlId(new QCheckBox(QStringLiteral("Multi-Color Dot"), this), kMultiColor);
    m_density = lm::WithControlId(new QCheckBox(QStringLiteral("Density"), this), kDensity);
    m_contour = lm::WithControlId(new QCheckBox(QStringLiteral("Contour line"), this), kContour);
    m_events = lm::WithControlId(new QLineEdit(this), kEvents);
    for (QCheckBox* b : {m_dot, m_density, m_contour})
        connect(b, &QCheckBox::clicked, this, &CDlg2DPlotStyle::ApplyKindRule);
    auto* buttons = OkCancel(this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDlg2DPlotStyle::OnOK);
    auto* layout = new QVBoxLayout(this);
    for (QWidget* w : std::initializer_list<QWidget*>{m_dot, m_multi, m_density, m_contour}) layout->addWidget(w);
    auto* events = new QFormLayout;
    events->addRow(QStringLiteral("Events"), m_events);
    layout->addLayout(events);
    layout->addWidget(buttons);
}

void CDlg2DPlotStyle::InitDialog() {
    m_dot->setChecked(m_nFlags & kFlagDot);
    m_density->setChecked(m_nFlags & kFlagDensity);
    m_contour->setChecked(m_nFlags & kFlagContour);
    if (m_nFlags & kFlagMultiColor) {
        m_dot->setChecked(true);
        m_multi->setChecked(true);
    } else {
        m_multi->setChecked(false);
    }
    m_events->setText(QString::number(m_nEvents));
    ApplyKindRule();
}

void CDlg2DPlotStyle::ApplyKindRule() {
    if (!m_dot->isChecked() && !m_density->isChecked() && !m_contour->isChecked()) m_dot->setChecked(true);
    m_multi->setEnabled(!m_density->isChecked() && !m_contour->isChecked());
}

void CDlg2DPlotStyle::OnOK() {
    int32_t events = 0;
    if (!ReadInt(this, m_events, 0, std::numeric_limits<int32_t>::max(), QStringLiteral("Events"), &events)) return;
    uint8_t flags = 0;
    if (m_dot->isChecked()) flags |= kFlagDot;
    if (m_density->isChecked()) flags |= kFlagDensity;
    if (m_contour->isChecked()) flags |= kFlagContour;
    if (m_dot->isChecked() && m_multi->isChecked() && !m_density->isChecked() && !m_contour->isChecked())
        flags |= kFlagMultiColor;
    m_nFlags = flags;
    m_nEvents = events;
    accept();
}

// ============================================================ sheet

CPlotStyleSheet::CPlotStyleSheet(const QString& caption, QWidget* parent, int firstPage)
    : QDialog(parent), m_firstPage(firstPage) {
    setWindowTitle(caption);
    m_tabs = new QTabWidget(this);
    auto* buttons = OkCancel(this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addWidget(buttons);
}

int CPlotStyleSheet::AddPage(QWidget* page, const QString& title) {
    const int index = m_tabs->addTab(page, title);
    if (index == m_firstPage) m_tabs->setCurrentIndex(index);
    return index;
}

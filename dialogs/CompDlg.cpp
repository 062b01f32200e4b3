#include "dialogs/CompDlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "base/Numbers.h"
#include "core/DataShell.h"
#include "core/EventMatrix.h"
#include "core/GateNode.h"
#include "dialogs/DataSetDlgIds.h"
#include "dialogs/DialogControls.h"
#include "dialogs/SpinButton.h"
#include "platform/UiServices.h"
#include "report/app/LumitraApp.h"
#include "report/app/MainFrame.h"
#include "report/page/LumitraDoc.h"
#include "report/plot/Plot.h"

namespace {

// Spinner positions are tenths of a percent.
constexpr int32_t kSpinLow = 0;
constexpr int32_t kSpinHigh = 999;
constexpr double kMaxPercent = 99.9;
// Axis titles as the captions name them: $PnS, else $PnN.
constexpr int32_t kCaptionLabelMode = 2;

QString ValueText(float percent) { return QString::fromStdString(lm::FormatFixed(percent, 1)) + QLatin1Char(' '); }

QLineEdit* CaptionEdit(QWidget* parent, int32_t id) {
    auto* e = lm::WithControlId(new QLineEdit(parent), id);
    e->setReadOnly(true);
    e->setFrame(false);
    e->setFocusPolicy(Qt::NoFocus);
    return e;
}

QPushButton* Button(const char* text, int32_t id, QWidget* parent) {
    auto* b = lm::WithControlId(new QPushButton(QString::fromLatin1(text), parent), id);
    // Enter in a value edit applies the value; it must not close the dialog.
    b->setAutoDefault(false);
    b->setDefault(false);
    return b;
}

}  // namespace

CCompDlg::CCompDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Compensation"));
    const int32_t valueIds[2] = {kCompValueXY, kCompValueYX};
    const int32_t spinIds[2] = {kCompSpinXY, kCompSpinYX};
    const int32_t captionIds[4] = {kCompCaptionY1, kCompCaptionX1, kCompCaptionX2, kCompCaptionY2};
    for (int i = 0; i < 4; ++i) m_captions[i] = CaptionEdit(this, captionIds[i]);
    auto* grid = new QGridLayout;
    for (int i = 0; i < 2; ++i) {
        Row& row = m_rows[i];
        row.edit = lm::WithControlId(new QLineEdit(this), valueIds[i]);
        row.edit->setMaximumWidth(70);
        row.spin = lm::WithControlId(new CSpinButton(i == 0 ? Qt::Vertical : Qt::Horizontal, this), spinIds[i]);
        row.spin->SetRange(kSpinLow, kSpinHigh);
        row.member = i == 0 ? &m_fXY : &m_fYX;
        connect(row.spin, &CSpinButton::positionStepped, this, [this, &row](int32_t pos) { OnSpin(row, pos); });
        connect(row.edit, &QLineEdit::editingFinished, this, [this, &row] { OnEdited(row); });
        grid->addWidget(m_captions[2 * i], i, 0);
        grid->addWidget(row.edit, i, 1);
        grid->addWidget(m_captions[2 * i + 1], i, 2);
        grid->addWidget(row.spin, i, 3);
    }
    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("note"));
    m_note->setWordWrap(true);
    m_note->hide();
    m_ok = Button("OK", kCompOk, this);
    QPushButton* cancel = Button("Cancel", kCompCancel, this);
    connect(m_ok, &QPushButton::clicked, this, &CCompDlg::OnOK);
    connect(cancel, &QPushButton::clicked, this, &CCompDlg::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(m_note);
    layout->addLayout(buttons);
}

CCompDlg::~CCompDlg() {
    // Closed without OK or Cancel: the stored matrix holds, as after Cancel.
    if (!m_editing) return;
    m_editing = false;
    if (VexaDataShell* shell = Shell()) shell->EditCompensation(kCompRestore);
    if (m_pPlot) m_pPlot->RebuildLayers(true);
}

void CCompDlg::AttachPlot(CPLOT* plot) { m_pPlot = plot; }

VexaDataShell* CCompDlg::Shell() const {
    CGateNode* gate = m_pPlot ? m_pPlot->GetGate() : nullptr;
    return gate ? gate->GetShell() : nullptr;
}

bool CCompDlg::OnInitDialog() {
    VexaDataShell* shell = Shell();
    auto refuse = [this](const QString& text) {
        lm::Ui().MessageBox(parentWidget(), text, windowTitle(), lm::MsgButtons::Ok, lm::MsgIcon::Warning);
        return false;
    };
    if (!shell || !m_pPlot->HasData() || !m_pPlot->AxesValid())
        return refuse(QStringLiteral("The plot shows no data: there is nothing to compensate."));
    const int32_t x = m_pPlot->GetXParam();
    const int32_t y = m_pPlot->GetYParam();
    const QString xTitle = QString::fromStdString(m_pPlot->GetXAxisTitle(kCaptionLabelMode));
    const QString yTitle = QString::fromStdString(m_pPlot->GetYAxisTitle(kCaptionLabelMode));
    // The diagonal is each parameter's own signal: it is not a spillover.
    if (x == y)
        return refuse(QStringLiteral("X and Y both show %1: there is no spillover between a parameter and "
                                     "itself. Choose another parameter for one axis.")
                          .arg(xTitle));
    m_rows[0].rowParam = x;
    m_rows[0].colParam = y;
    m_rows[1].rowParam = y;
    m_rows[1].colParam = x;
    m_captions[0]->setText(yTitle + QLatin1Char('-'));
    m_captions[1]->setText(xTitle);
    m_captions[2]->setText(xTitle + QLatin1Char('-'));
    m_captions[3]->setText(yTitle);

    // A data set without SPILL is compensated with the identity: its
    // coefficients read 0.0 and can be edited like any other.
    const bool xIn = shell->IsInCompMatrix(x);
    m_editable = xIn && shell->IsInCompMatrix(y);
    if (!m_editable) {
        // Nothing can change: no working matrix is started, so closing the
        // dialog costs nothing either.
        m_note->setText(QStringLiteral("%1 is not in the compensation matrix of this data set: its "
                                       "coefficients cannot be changed here.")
                            .arg(xIn ? yTitle : xTitle));
        m_note->show();
        for (Row& row : m_rows) {
            row.edit->clear();
            row.edit->setEnabled(false);
            row.spin->setEnabled(false);
        }
        return true;
    }
    // Read from the working matrix: over the identity it names only what
    // was edited, and reads every other pair as the identity's value.
    shell->EditCompensation(kCompBeginEdit);
    m_editing = true;
    for (Row& row : m_rows) {
        *row.member = 100.0f * shell->GetCompValue(row.rowParam, row.colParam);
        row.good = *row.member;
        row.stored = row.good;
        Show(row, *row.member);
        const double tenths = std::round(double(*row.member) * 10.0);
        row.spin->SetPos(int32_t(std::clamp(tenths, double(kSpinLow), double(kSpinHigh))));
    }
    return true;
}

void CCompDlg::Show(Row& row, float value) { row.edit->setText(ValueText(value)); }

void CCompDlg::OnSpin(Row& row, int32_t pos) {
    if (!m_editable) return;
    // The edit shows the position in percent, and the member is what the
    // edit says, so shown and applied values never differ.
    const QString text = ValueText(float(pos) * 0.1f);
    row.edit->setText(text);
    double v = 0.0;
    lm::TryParseDouble(text.toStdString(), &v);
    *row.member = float(v);
    row.pending = true;
    QueueApply();
}

bool CCompDlg::OnEdited(Row& row) {
    if (!m_editable) return true;
    const QString text = row.edit->text().trimmed();
    if (text == ValueText(*row.member).trimmed()) return true;  // nothing typed
    double v = 0.0;
    if (!lm::TryParseDouble(text.toStdString(), &v) || !(v >= 0.0 && v <= kMaxPercent)) {
        lm::Ui().MessageBox(this, QStringLiteral("\"%1\" is not a value from 0.0 to 99.9 (percent): %2 % is kept.")
                                      .arg(text, ValueText(*row.member).trimmed()),
                            windowTitle(), lm::MsgButtons::Ok, lm::MsgIcon::Warning);
        Show(row, *row.member);
        return false;
    }
    // The spinner's resolution: a tenth of a percent.
    const int32_t tenths = int32_t(std::lround(v * 10.0));
    const QString shown = ValueText(float(tenths) * 0.1f);
    double rounded = 0.0;
    lm::TryParseDouble(shown.toStdString(), &rounded);
    *row.member = float(rounded);
    row.edit->setText(shown);
    row.spin->SetPos(tenths);
    row.pending = true;
    QueueApply();
    return true;
}

void CCompDlg::QueueApply() {
    if (m_applyQueued) return;
    m_applyQueued = true;
    QMetaObject::invokeMethod(this, [this] { ApplyPending(); }, Qt::QueuedConnection);
}

bool CCompDlg::ApplyPending() {
    if (!m_applyQueued) return true;
    m_applyQueued = false;
    VexaDataShell* shell = Shell();
    if (!shell || !m_editing) return true;
    bool changed = false;
    bool allTaken = true;
    for (Row& row : m_rows) {
        if (!row.pending) continue;
        row.pending = false;
        if (*row.member == row.good) continue;
        // From the tenths, so that 12.5 % is exactly 0.125.
        const float coefficient = float(std::round(double(*row.member) * 10.0) / 1000.0);
        if (shell->SetCompValue(row.rowParam, row.colParam, coefficient)) {
            row.good = *row.member;
            changed = true;
            ++m_appliedCount;
            continue;
        }
        allTaken = false;
        const QString refused = ValueText(*row.member).trimmed();
        *row.member = row.good;
        Show(row, row.good);
        row.spin->SetPos(int32_t(std::clamp(std::round(double(row.good) * 10.0), double(kSpinLow), double(kSpinHigh))));
        lm::Ui().MessageBox(this,
                            QStringLiteral("With %1 % the compensation matrix would be singular (the events "
                                           "could not be compensated): %2 % is kept.")
                                .arg(refused, ValueText(row.good).trimmed()),
                            windowTitle(), lm::MsgButtons::Ok, lm::MsgIcon::Warning);
    }
    if (changed) ShowChange();
    return allTaken;
}

void CCompDlg::OnOK() {
    for (Row& row : m_rows)
        if (!OnEdited(row)) return;
    // A value refused just now: the user sees the good one back before
    // anything is stored.
    if (!ApplyPending()) return;
    VexaDataShell* shell = Shell();
    if (m_editing && shell && !shell->EditCompensation(kCompApply)) {
        lm::Ui().MessageBox(this,
                            QStringLiteral("The compensation matrix cannot be applied: it is singular. Change a "
                                           "coefficient or press Cancel."),
                            windowTitle(), lm::MsgButtons::Ok, lm::MsgIcon::Error);
        return;
    }
    m_editing = false;
    // The report keeps the stored matrix: changed only when a coefficient
    // ends up other than it was.
    bool stored = false;
    for (const Row& row : m_rows) stored = stored || row.good != row.stored;
    if (stored)
        if (CLumitraDoc* doc = Document()) doc->SetModifiedFlag(true);
    ShowChange();
    accept();
}

CLumitraDoc* CCompDlg::Document() const {
    CLumitraDoc* doc = m_pPlot ? m_pPlot->GetDocument() : nullptr;
    VexaDataShell* shell = Shell();
    return doc && shell && doc->GetDataShellIndex(shell) >= 0 ? doc : nullptr;
}

void CCompDlg::ShowChange() {
    if (m_pPlot) m_pPlot->RebuildLayers(true);
    // Every plot, table and grid cell of the data set, not only this plot.
    if (CLumitraDoc* doc = Document()) doc->ShowDataShellChange(Shell());
    else if (m_pPlot) m_pPlot->Repaint();
}

void CCompDlg::reject() {
    m_applyQueued = false;
    for (Row& row : m_rows) row.pending = false;
    if (m_editing) {
        m_editing = false;
        if (VexaDataShell* shell = Shell()) shell->EditCompensation(kCompRestore);
        ShowChange();
    }
    QDialog::reject();
}

void CCompDlg::RunForPlot(CPLOT* plot) {
    if (!plot) return;
    CCompDlg dlg(GetMainFrame());
    dlg.AttachPlot(plot);
    if (!dlg.OnInitDialog()) return;
    lm::Ui().ExecDialog(&dlg);
}

#include "dialogs/OptionDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QVBoxLayout>

#include "platform/UiServices.h"
#include "report/plot/PlotDefaults.h"
#include "report/plot/PlotIds.h"

namespace {

// One row per entry, in the order the list shows them.
struct LabelEntry {
    const char* text;
    int32_t mode;
};
constexpr LabelEntry kEntries[] = {
    {"PnS", kLabelShortName},
    {"PnN", kLabelName},
    {"PnS+PnN", kLabelBoth},
};
constexpr int32_t kEntryCount = int32_t(std::size(kEntries));

}  // namespace

COptionDlg::COptionDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Plot Option"));
    m_style = new QComboBox(this);
    m_style->setObjectName(QStringLiteral("labelStyle"));
    for (const LabelEntry& e : kEntries) m_style->addItem(QString::fromLatin1(e.text));
    m_style->setCurrentIndex(-1);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Label style"), m_style);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &COptionDlg::OnOK);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

bool COptionDlg::UpdateData(bool save) {
    if (save)
        m_nLabelStyle = m_style->currentIndex();
    else
        m_style->setCurrentIndex(m_nLabelStyle >= 0 && m_nLabelStyle < kEntryCount ? m_nLabelStyle : -1);
    return true;
}

int32_t COptionDlg::LabelModeOfIndex(int32_t index) {
    return index >= 0 && index < kEntryCount ? kEntries[index].mode : 0;
}

int32_t COptionDlg::IndexOfLabelMode(int32_t mode) {
    for (int32_t i = 0; i < kEntryCount; ++i)
        if (kEntries[i].mode == mode) return i;
    return -1;
}

void COptionDlg::OnOK() {
    UpdateData(true);
    accept();
}

bool COptionDlg::Run(QWidget* parent) {
    PlotDefaults& defaults = GetPlotDefaults();
    const int32_t current = defaults.UsedLabelMode();
    COptionDlg dlg(parent);
    dlg.m_nLabelStyle = IndexOfLabelMode(current);
    dlg.UpdateData(false);
    if (lm::Ui().ExecDialog(&dlg) != lm::kDialogAccepted) return false;
    const int32_t mode = LabelModeOfIndex(dlg.m_nLabelStyle);
    // No choice, or the entry it opened on: the stored value stays as it was
    // (an odd value in the ini file keeps what it means there).
    if (mode == 0 || mode == current) return false;
    defaults.label = mode;
    return true;
}

#include "dialogs/RltExportDlg.h"

#include <QComboBox>
#include <QPushButton>

#include "core/DataShell.h"
#include "dialogs/DialogControls.h"
#include "dialogs/ResultDlgIds.h"
#include "dialogs/RltHeadDlg.h"
#include "dialogs/ShellNameDlg.h"
#include "dialogs/StatMatrix.h"
#include "dialogs/StatPropPage.h"
#include "dialogs/TabCtrlWithDisable.h"
#include "platform/UiServices.h"

CRltExportDlg::CRltExportDlg(std::vector<VexaDataShell*> shells, QWidget* parent)
    : QDialog(parent), m_shells(std::move(shells)) {
    setWindowTitle(QStringLiteral("Export Result"));
    m_combo = lm::WithControlId(new QComboBox(this), kExportDataSets);
    m_combo->setGeometry(5, 2, 250, 20);
    m_tabs = lm::WithControlId(new CTabCtrlWithDisable(this), kExportTabs);
    m_head = new CRltHeadDlg;
    m_stat = new CStatPropPage;
    m_head->SetButtonsVisible(false);
    m_tabs->AddPage(m_head, QStringLiteral("Head"));
    m_tabs->AddPage(m_stat, QStringLiteral("Stat"));
    m_tabs->EnableTab(0, true);
    m_tabs->EnableTab(1, true);
    m_ok = lm::WithControlId(new QPushButton(QStringLiteral("OK"), this), kExportOk);
    m_cancel = lm::WithControlId(new QPushButton(QStringLiteral("Cancel"), this), kExportCancel);
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &CRltExportDlg::OnOK);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    for (VexaDataShell* s : m_shells) m_combo->addItem(QString::fromStdString(s ? s->GetFileName() : std::string()));
    connect(m_combo, &QComboBox::currentIndexChanged, this, &CRltExportDlg::BindDataSet);
    BindDataSet(m_combo->currentIndex());
}

void CRltExportDlg::BindDataSet(int index) {
    VexaDataShell* shell = index >= 0 && size_t(index) < m_shells.size() ? m_shells[size_t(index)] : nullptr;
    m_stat->SetDataShell(shell);
    m_stat->SetButtonsVisible(false);
    const QSize page = m_stat->GetSize();
    // Room for the tab bar above the page.
    const int tabBar = m_tabs->tabBar()->sizeHint().height();
    m_tabs->setGeometry(5, 25, page.width(), page.height() + tabBar);
    const int bottom = 25 + page.height() + tabBar;
    m_ok->setGeometry(50, bottom + 5, 50, 20);
    m_cancel->setGeometry(150, bottom + 5, 50, 20);
    setFixedSize(page.width() + 10, bottom + 35);
}

bool CRltExportDlg::ConfirmParameters() {
    // The export's titles are laid out from the first data set whatever the
    // combo shows: each other data set is measured against it, and those
    // whose values would stand under another parameter's title are named.
    VexaDataShell* titles = m_shells.front();
    if (!titles) return true;
    std::vector<int32_t> indices;
    for (size_t i = 0; i < m_codes.size(); ++i)
        if (m_stat->Matrix()->HasBox(m_codes[i], m_params[i])) indices.push_back(m_params[i]);
    QStringList differing;
    for (VexaDataShell* s : m_shells) {
        if (!s || s == titles) continue;
        bool differs = false;
        for (int32_t p : indices)
            differs = differs || p >= s->GetParamCount() || s->GetParamLabel(p, 1) != titles->GetParamLabel(p, 1);
        if (differs) differing << QString::fromStdString(s->GetFileName());
    }
    if (differing.isEmpty()) return true;
    const QString text =
        QStringLiteral("The column titles name the parameters of \"%1\". These data sets have other "
                       "parameters (or none) at the chosen places, so their values would stand under another "
                       "parameter's title:\n%2\n\nExport anyway?")
            .arg(QString::fromStdString(titles->GetFileName()), differing.join(QLatin1Char('\n')));
    return lm::Ui().MessageBox(this, text, windowTitle(), lm::MsgButtons::YesNo, lm::MsgIcon::Question) ==
           lm::kIdYes;
}

bool CRltExportDlg::ConfirmGates() {
    // Gates are matched by name to the first data set's, whose gates make
    // the title line: a gate it lacks has no column and would be lost
    // without a word.
    const QString text = CShellNameDlg::CsvGateMismatchText(m_shells);
    if (text.isEmpty()) return true;
    return lm::Ui().MessageBox(this, text + QStringLiteral("\n\nExport anyway?"), windowTitle(), lm::MsgButtons::YesNo,
                               lm::MsgIcon::Question) == lm::kIdYes;
}

void CRltExportDlg::OnOK() {
    m_params.clear();
    m_codes.clear();
    m_keywords.clear();
    if (m_shells.empty() || m_combo->currentIndex() < 0 || !m_shells[size_t(m_combo->currentIndex())]) {
        lm::Ui().MessageBox(this, QStringLiteral("There is no data set to export."), windowTitle(),
                            lm::MsgButtons::Ok, lm::MsgIcon::Warning);
        return;
    }
    m_head->Collect();
    m_keywords = m_head->GetKeywords();
    m_stat->CollectColumns(&m_codes, &m_params);
    if (m_codes.empty() && m_keywords.empty()) {
        lm::Ui().MessageBox(this, QStringLiteral("Please choose a keyword or a statistic to export."),
                            windowTitle(), lm::MsgButtons::Ok, lm::MsgIcon::Warning);
        return;
    }
    if (!ConfirmParameters() || !ConfirmGates()) return;
    accept();
}

#include "dialogs/StatParDlg.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialogs/DialogControls.h"
#include "dialogs/ResultDlgIds.h"
#include "dialogs/StatPropPage.h"

CStatParDlg::CStatParDlg(CTrkResult* table, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Parameter"));
    m_page = new CStatPropPage(this);
    m_page->SetResult(table);
    m_page->SetButtonsVisible(false);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* clear = lm::WithControlId(buttons->addButton(QStringLiteral("Clear"), QDialogButtonBox::ResetRole),
                                    kStatParClear);
    connect(clear, &QPushButton::clicked, m_page, &CStatPropPage::ClearChoices);
    connect(buttons, &QDialogButtonBox::accepted, this, &CStatParDlg::OnOK);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // The page places its own children: it keeps its fixed size here.
    m_page->setFixedSize(m_page->GetSize());
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_page);
    layout->addWidget(buttons);
}

void CStatParDlg::OnOK() {
    m_page->Apply();
    accept();
}

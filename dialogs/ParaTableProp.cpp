#include "dialogs/ParaTableProp.h"

#include <QGridLayout>
#include <QPushButton>

#include "dialogs/DialogControls.h"
#include "dialogs/EditRltStrDlg.h"
#include "dialogs/InfoAstDlg.h"
#include "dialogs/ParaTable.h"
#include "dialogs/ResultDlgIds.h"
#include "platform/UiServices.h"

CParaTableProp::CParaTableProp(CInfoAstDlg* owner, QWidget* parent) : QWidget(parent), m_pOwner(owner) {
    setObjectName(QStringLiteral("Para table"));
    m_table = new CParaTable(this);
    auto* apply = lm::WithControlId(new QPushButton(QStringLiteral("Apply"), this), kParaApply);
    auto* edit = lm::WithControlId(new QPushButton(QStringLiteral("Edit String"), this), kParaEditString);
    m_btnReset = lm::WithControlId(new QPushButton(QStringLiteral("Reset All"), this), kParaResetAll);
    connect(apply, &QPushButton::clicked, this, &CParaTableProp::OnApply);
    connect(edit, &QPushButton::clicked, this, &CParaTableProp::OnEditString);
    connect(static_cast<QPushButton*>(m_btnReset), &QPushButton::clicked, this, &CParaTableProp::OnResetAll);
    auto* grid = new QGridLayout(this);
    grid->addWidget(m_table, 0, 0, 1, 3);
    grid->addWidget(apply, 1, 0);
    grid->addWidget(edit, 1, 1);
    grid->addWidget(m_btnReset, 1, 2);
    grid->setRowStretch(0, 1);
}

void CParaTableProp::BindDocument(CLumitraDoc* doc) {
    m_pDoc = doc;
    m_table->Rebuild(doc);
}

void CParaTableProp::OnApply() { m_pOwner->AppendText(QString::fromStdString(m_table->BuildText())); }

void CParaTableProp::OnEditString() {
    CEditRltStrDlg dlg(this);
    dlg.m_strings = m_table->GetStrings();
    dlg.m_colors = m_table->GetColors();
    dlg.InitList();
    if (lm::Ui().ExecDialog(&dlg) != lm::kDialogAccepted) return;
    m_table->RemapStrings(dlg.m_strings, dlg.m_colors);
    m_pOwner->SaveStringList();
}

void CParaTableProp::OnResetAll() {
    m_table->ResetAllMenu(m_btnReset->mapToGlobal(QPoint(0, m_btnReset->height())));
}

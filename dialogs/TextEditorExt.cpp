#include "dialogs/TextEditorExt.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>

#include "dialogs/DialogControls.h"
#include "dialogs/EditRltStrDlg.h"
#include "dialogs/ParaTable.h"
#include "dialogs/ResultDlgIds.h"
#include "platform/UiServices.h"

namespace {
enum TextEditorControl : int32_t { kSummeryOutputText = 1158, kSummeryOutput = 1195 };
}

CTextEditorExt::CTextEditorExt(CLumitraDoc* doc, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Summery"));
    m_table = new CParaTable(this);
    m_table->Rebuild(doc);
    m_output = lm::WithControlId(new QPlainTextEdit(this), kSummeryOutputText);
    auto* edit = lm::WithControlId(new QPushButton(QStringLiteral("Edit String"), this), kParaEditString);
    m_resetAll = lm::WithControlId(new QPushButton(QStringLiteral("Reset All"), this), kParaResetAll);
    m_outputButton = lm::WithControlId(new QPushButton(QStringLiteral("Output"), this), kSummeryOutput);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(edit, &QPushButton::clicked, this, &CTextEditorExt::OnEditString);
    connect(m_resetAll, &QPushButton::clicked, this, &CTextEditorExt::OnResetAll);
    connect(m_outputButton, &QPushButton::clicked, this, &CTextEditorExt::OnOutput);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* grid = new QGridLayout(this);
    grid->addWidget(m_table, 0, 0, 1, 3);
    grid->addWidget(edit, 1, 0);
    grid->addWidget(m_resetAll, 1, 1);
    grid->addWidget(m_outputButton, 1, 2);
    grid->addWidget(m_output, 2, 0, 1, 3);
    grid->addWidget(buttons, 3, 0, 1, 3);
    grid->setRowStretch(0, 1);
    resize(480, 420);
}

void CTextEditorExt::OnEditString() {
    CEditRltStrDlg dlg(this);
    dlg.m_strings = m_table->GetStrings();
    dlg.m_colors = m_table->GetColors();
    dlg.InitList();
    if (lm::Ui().ExecDialog(&dlg) != lm::kDialogAccepted) return;
    // The list here is not kept anywhere, so colours do not matter.
    m_table->RemapStrings(dlg.m_strings, {});
}

void CTextEditorExt::OnResetAll() {
    m_table->ResetAllMenu(m_resetAll->mapToGlobal(QPoint(0, m_resetAll->height())));
}

void CTextEditorExt::OnOutput() {
    const std::vector<lm::MenuItem> items{lm::MenuItem::Command(kOutToClipboard, QStringLiteral("To Clipboard")),
                                          lm::MenuItem::Command(kOutToTextBox, QStringLiteral("To TextBox"))};
    const int32_t cmd =
        lm::Ui().TrackPopupMenu(this, items, m_outputButton->mapToGlobal(QPoint(0, m_outputButton->height())));
    const QString text = QString::fromStdString(m_table->BuildText());
    if (cmd == kOutToClipboard) {
        if (QClipboard* cb = QGuiApplication::clipboard()) cb->setText(text);
    } else if (cmd == kOutToTextBox) {
        m_output->setPlainText(text);
    }
}

#include "dialogs/InfoAstDlg.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "dialogs/DialogControls.h"
#include "dialogs/ParaTable.h"
#include "dialogs/ParaTableProp.h"
#include "dialogs/ResultDlgIds.h"
#include "dialogs/RltDictProp.h"
#include "dialogs/RltStrList.h"
#include "base/Codepage.h"
#include "platform/ReplacedChars.h"
#include "platform/UiServices.h"

CInfoAstDlg::CInfoAstDlg(QWidget* parent) : CDocPanel(QStringLiteral("Info Assistant"), OwnLayout{}, parent) {
    m_sheet = new QTabWidget(this);
    m_pageDict = new CRltDictProp(this);
    m_pageTable = new CParaTableProp(this);
    m_sheet->addTab(m_pageDict, QStringLiteral("Dict"));
    m_sheet->addTab(m_pageTable, QStringLiteral("Para table"));
    m_text = lm::WithControlId(new QPlainTextEdit(this), kInfoText);
    m_text->setObjectName(QStringLiteral("infoText"));
    auto* toClipboard = lm::WithControlId(new QPushButton(QStringLiteral("To Clipboard"), this), kInfoToClipboard);
    toClipboard->setObjectName(QStringLiteral("toClipboard"));
    connect(toClipboard, &QPushButton::clicked, this, &CInfoAstDlg::OnToClipboard);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_sheet, 3);
    layout->addWidget(m_text, 2);
    layout->addWidget(toClipboard, 0, Qt::AlignRight);
    // No taller a minimum than its controls need: every panel shares the
    // dock column of the default window, and one that insists on more
    // pushes the window (or another panel) past the screen.
    setMinimumWidth(300);
}

void CInfoAstDlg::LoadStringList(const std::string& programFolder) {
    m_programFolder = programFolder;
    RltStrList lists;
    std::string error;
    if (LoadRltStrListFile(programFolder, &lists, &error) == RltLoadStatus::damaged) {
        lm::ErrorBox(this, QString::fromStdString(error), QStringLiteral("Info Assistant"));
        return;
    }
    m_pageTable->Table()->SetStrings(std::move(lists.strings), std::move(lists.colors));
    m_pageDict->SetEntries(std::move(lists.entries));
}

bool CInfoAstDlg::SaveStringList() {
    if (m_programFolder.empty()) return false;
    RltStrList lists;
    lists.strings = m_pageTable->Table()->GetStrings();
    lists.colors = m_pageTable->Table()->GetColors();
    lists.entries = m_pageDict->GetEntries();
    std::string error;
    if (SaveRltStrListFile(m_programFolder, lists, &error)) return true;
    lm::ErrorBox(this,
                 QStringLiteral("The phrase lists could not be saved (%1). They are kept until the program ends.")
                     .arg(QString::fromStdString(error)),
                 QStringLiteral("Info Assistant"));
    return false;
}

bool CInfoAstDlg::AcceptText(QWidget* parent, const QString& where, const QString& text) {
    const std::string missing = lm::Cp936Missing(text.toStdString());
    if (missing.empty()) return true;
    return lm::AcceptReplacedCharacters(parent, {CArchive::Replaced{where.toStdString(), missing}},
                                        QStringLiteral("the phrase lists"));
}

void CInfoAstDlg::BindDocument(CLumitraDoc* doc) {
    CDocPanel::BindDocument(doc);
    m_pageTable->BindDocument(doc);
}

void CInfoAstDlg::OnDataShellAdded(CLumitraDoc* doc, VexaDataShell*) {
    if (doc && doc == GetDocument()) m_pageTable->BindDocument(doc);
}

void CInfoAstDlg::AppendText(const QString& text) { m_text->insertPlainText(text); }

QString CInfoAstDlg::GetText() const { return m_text->toPlainText(); }

void CInfoAstDlg::OnToClipboard() {
    if (QClipboard* cb = QGuiApplication::clipboard()) cb->setText(m_text->toPlainText());
}

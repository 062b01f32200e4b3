#include "dialogs/InfoAstDlg.h"

#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
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

namespace {
// How long a save waits for another program saving the same lists.
constexpr int kStringListLockMs = 3000;

// The pages whole: the Dict page's lists, edits and buttons, and the text.
constexpr int kMinContentWidth = 300;
constexpr int kMinContentHeight = 330;
constexpr int kMinPanelWidth = 120;
constexpr int kMinPanelHeight = 80;
}  // namespace

CInfoAstDlg::CInfoAstDlg(QWidget* parent) : CDocPanel(QStringLiteral("Info Assistant"), OwnLayout{}, parent) {
    // Every panel shares the dock column of the default window: when the
    // dock is lower than the pages need, they keep their size and scroll,
    // rather than being squeezed flat or pushing the window past the screen.
    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    auto* content = new QWidget;
    content->setMinimumSize(kMinContentWidth, kMinContentHeight);
    scroll->setWidget(content);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);

    m_sheet = new QTabWidget(content);
    m_pageDict = new CRltDictProp(this);
    m_pageTable = new CParaTableProp(this);
    m_sheet->addTab(m_pageDict, QStringLiteral("Dict"));
    m_sheet->addTab(m_pageTable, QStringLiteral("Para table"));
    m_text = lm::WithControlId(new QPlainTextEdit(content), kInfoText);
    m_text->setObjectName(QStringLiteral("infoText"));
    auto* toClipboard = lm::WithControlId(new QPushButton(QStringLiteral("To Clipboard"), content), kInfoToClipboard);
    toClipboard->setObjectName(QStringLiteral("toClipboard"));
    connect(toClipboard, &QPushButton::clicked, this, &CInfoAstDlg::OnToClipboard);
    auto* layout = new QVBoxLayout(content);
    layout->addWidget(m_sheet, 3);
    layout->addWidget(m_text, 2);
    layout->addWidget(toClipboard, 0, Qt::AlignRight);
    setMinimumSize(kMinPanelWidth, kMinPanelHeight);
}

QSize CInfoAstDlg::sizeHint() const { return QSize(kMinContentWidth, kMinContentHeight); }

void CInfoAstDlg::LoadStringList(const std::string& programFolder) {
    m_programFolder = programFolder;
    RltStrList lists;
    std::string error;
    if (LoadRltStrListFile(programFolder, &lists, &error) == RltLoadStatus::damaged) {
        lm::ErrorBox(this, QString::fromStdString(error), QStringLiteral("Info Assistant"));
        return;
    }
    m_saved = lists;
    m_pageTable->Table()->SetStrings(std::move(lists.strings), std::move(lists.colors));
    m_pageDict->SetEntries(std::move(lists.entries));
}

bool CInfoAstDlg::SaveStringList() {
    if (m_programFolder.empty()) return false;
    RltStrList lists;
    lists.strings = m_pageTable->Table()->GetStrings();
    lists.colors = m_pageTable->Table()->GetColors();
    lists.entries = m_pageDict->GetEntries();
    auto failed = [this](const QString& why) {
        lm::ErrorBox(this, QStringLiteral("The phrase lists could not be saved (%1). They are kept until the program ends.")
                               .arg(why),
                     QStringLiteral("Info Assistant"));
        return false;
    };
    const QString path = QString::fromStdString(RltStrListPath(m_programFolder));
    QDir().mkpath(QFileInfo(path).absolutePath());
    // Read, merge and write as one step among the programs sharing the file.
    QLockFile lock(path + QStringLiteral(".lock"));
    if (!lock.tryLock(kStringListLockMs)) return failed(QStringLiteral("another program keeps them locked"));
    RltStrList onDisk;
    if (ReadRltStrListFile(m_programFolder, &onDisk)) lists = MergeRltStrLists(m_saved, lists, onDisk);
    std::string error;
    if (!SaveRltStrListFile(m_programFolder, lists, &error)) return failed(QString::fromStdString(error));
    m_saved = lists;
    if (lists.strings != m_pageTable->Table()->GetStrings() || lists.colors != m_pageTable->Table()->GetColors())
        m_pageTable->Table()->RemapStrings(lists.strings, lists.colors);
    if (lists.entries != m_pageDict->GetEntries()) m_pageDict->MergeEntries(std::move(lists.entries));
    return true;
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

#include "dialogs/RltDictProp.h"

#include <QGridLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>

#include "dialogs/DialogControls.h"
#include "dialogs/InfoAstDlg.h"
#include "dialogs/ResultDlgIds.h"
#include "platform/UiServices.h"

namespace {

// How a name's phrase list is named in messages.
QString DictListName(const RltDictEntry& e) {
    return QStringLiteral("Dict \"%1\"").arg(QString::fromStdString(e.name));
}

}  // namespace

CRltDictProp::CRltDictProp(CInfoAstDlg* owner, QWidget* parent) : QWidget(parent), m_pOwner(owner) {
    setObjectName(QStringLiteral("Dict"));
    m_listNames = lm::WithControlId(new QListWidget(this), kDictNames);
    m_name = lm::WithControlId(new QLineEdit(this), kDictName);
    m_listPhrases = lm::WithControlId(new QListWidget(this), kDictPhrases);
    m_phrase = lm::WithControlId(new QLineEdit(this), kDictPhrase);
    auto button = [this](const char* text, int32_t id, void (CRltDictProp::*slot)()) {
        auto* b = lm::WithControlId(new QPushButton(QString::fromLatin1(text), this), id);
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };
    auto* grid = new QGridLayout(this);
    grid->addWidget(m_listNames, 0, 0, 1, 2);
    grid->addWidget(m_name, 1, 0, 1, 2);
    grid->addWidget(button("Add", kDictNameAdd, &CRltDictProp::OnNameAdd), 2, 0);
    grid->addWidget(button("Del", kDictNameDel, &CRltDictProp::OnNameDel), 2, 1);
    grid->addWidget(m_listPhrases, 0, 2, 1, 3);
    grid->addWidget(m_phrase, 1, 2, 1, 3);
    grid->addWidget(button("Add", kDictPhraseAdd, &CRltDictProp::OnPhraseAdd), 2, 2);
    grid->addWidget(button("Modify", kDictPhraseModify, &CRltDictProp::OnPhraseModify), 2, 3);
    grid->addWidget(button("Del", kDictPhraseDel, &CRltDictProp::OnPhraseDel), 2, 4);
    grid->setColumnStretch(2, 1);
    connect(m_listNames, &QListWidget::currentRowChanged, this, &CRltDictProp::OnNameSelected);
    connect(m_listPhrases, &QListWidget::currentRowChanged, this, &CRltDictProp::OnPhraseSelected);
    connect(m_listPhrases, &QListWidget::itemDoubleClicked, this, &CRltDictProp::OnPhraseDoubleClicked);
}

void CRltDictProp::SetEntries(std::vector<RltDictEntry> entries) {
    m_entries = std::move(entries);
    m_listPhrases->clear();
    m_listNames->clear();
    for (const RltDictEntry& e : m_entries) m_listNames->addItem(QString::fromStdString(e.name));
}

void CRltDictProp::MergeEntries(std::vector<RltDictEntry> entries) {
    const RltDictEntry* selected = SelectedEntry();
    const std::string name = selected ? selected->name : std::string();
    const int phrase = m_listPhrases->currentRow();
    SetEntries(std::move(entries));
    if (!selected) return;
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].name != name) continue;
        m_listNames->setCurrentRow(int(i));
        // The phrase edit keeps what the user has typed.
        const QSignalBlocker block(m_listPhrases);
        if (phrase >= 0 && phrase < m_listPhrases->count()) m_listPhrases->setCurrentRow(phrase);
        return;
    }
}

RltDictEntry* CRltDictProp::SelectedEntry() {
    const int row = m_listNames->currentRow();
    return row >= 0 && size_t(row) < m_entries.size() ? &m_entries[size_t(row)] : nullptr;
}

void CRltDictProp::OnNameAdd() {
    const QString name = m_name->text();
    if (name.isEmpty()) return;
    if (!m_listNames->findItems(name, Qt::MatchExactly | Qt::MatchCaseSensitive).isEmpty()) {
        lm::Ui().MessageBox(this, QStringLiteral("Name already exist"), QStringLiteral("Notic"), lm::MsgButtons::Ok,
                            lm::MsgIcon::Information);
        return;
    }
    if (!CInfoAstDlg::AcceptText(this, QStringLiteral("Dict names"), name)) return;
    m_listNames->addItem(name);
    m_entries.push_back(RltDictEntry{name.toStdString(), {}});
    m_name->clear();
    m_pOwner->SaveStringList();
}

void CRltDictProp::OnNameDel() {
    const int row = m_listNames->currentRow();
    if (!SelectedEntry()) return;
    m_entries.erase(m_entries.begin() + row);
    delete m_listNames->takeItem(row);
    m_listNames->setCurrentRow(-1);
    m_listPhrases->clear();
    m_pOwner->SaveStringList();
}

void CRltDictProp::OnNameSelected() {
    m_listPhrases->clear();
    if (const RltDictEntry* e = SelectedEntry())
        for (const std::string& p : e->phrases) m_listPhrases->addItem(QString::fromStdString(p));
}

void CRltDictProp::OnPhraseAdd() {
    RltDictEntry* e = SelectedEntry();
    if (!e) {
        lm::Ui().MessageBox(this, QStringLiteral("Select a name in the list on the left first: the phrase is added to it."),
                            QStringLiteral("Notic"), lm::MsgButtons::Ok, lm::MsgIcon::Information);
        return;
    }
    const QString phrase = m_phrase->text();
    if (!CInfoAstDlg::AcceptText(this, DictListName(*e), phrase)) return;
    e->phrases.push_back(phrase.toStdString());
    m_listPhrases->addItem(phrase);
    m_phrase->clear();
    m_pOwner->SaveStringList();
}

void CRltDictProp::OnPhraseDel() {
    RltDictEntry* e = SelectedEntry();
    const int row = m_listPhrases->currentRow();
    if (!e || row < 0 || size_t(row) >= e->phrases.size()) return;
    e->phrases.erase(e->phrases.begin() + row);
    delete m_listPhrases->takeItem(row);
    m_pOwner->SaveStringList();
}

void CRltDictProp::OnPhraseModify() {
    RltDictEntry* e = SelectedEntry();
    const int row = m_listPhrases->currentRow();
    if (!e || row < 0 || size_t(row) >= e->phrases.size()) return;
    if (!CInfoAstDlg::AcceptText(this, DictListName(*e), m_phrase->text())) return;
    e->phrases[size_t(row)] = m_phrase->text().toStdString();
    m_listPhrases->item(row)->setText(m_phrase->text());
    m_pOwner->SaveStringList();
}

void CRltDictProp::OnPhraseSelected() {
    if (QListWidgetItem* item = m_listPhrases->currentItem()) m_phrase->setText(item->text());
}

void CRltDictProp::OnPhraseDoubleClicked() {
    if (QListWidgetItem* item = m_listPhrases->currentItem()) m_pOwner->AppendText(item->text());
}

#pragma once
// The Info Assistant's "Dict" page: named lists of phrases. Names are
// unique (compared exactly); phrases may repeat. Every change is saved at
// once through the owner; a double-clicked phrase goes into its text.
#include <QWidget>

#include <vector>

#include "dialogs/RltStrList.h"

class QLineEdit;
class QListWidget;
class CInfoAstDlg;

class CRltDictProp : public QWidget {
    Q_OBJECT

public:
    explicit CRltDictProp(CInfoAstDlg* owner, QWidget* parent = nullptr);

    const std::vector<RltDictEntry>& GetEntries() const { return m_entries; }
    // Replaces every entry (as loaded) and lists the names.
    void SetEntries(std::vector<RltDictEntry> entries);
    // The same after a merge with another program's changes: the name and
    // phrase the user had selected stay selected when they are still there.
    void MergeEntries(std::vector<RltDictEntry> entries);

private:
    void OnNameAdd();
    void OnNameDel();
    void OnNameSelected();
    void OnPhraseAdd();
    void OnPhraseDel();
    void OnPhraseModify();
    void OnPhraseSelected();
    void OnPhraseDoubleClicked();
    RltDictEntry* SelectedEntry();

    QListWidget* m_listPhrases;
    QListWidget* m_listNames;
    QLineEdit* m_name;
    QLineEdit* m_phrase;
    CInfoAstDlg* m_pOwner;
    std::vector<RltDictEntry> m_entries;
};

#pragma once
// The "Info Assistant" panel: a report text composed from stock phrases
// ("Dict") and from phrases given to the parameters of the document's data
// sets ("Para table"). The phrase lists of both pages live in one file in
// the program folder, read once at start and rewritten after every change;
// a file that cannot be read or written is named in a message and the lists
// in memory are kept.
#include <string>

#include "dialogs/RltStrList.h"

#include "report/app/DocPanel.h"

class QPlainTextEdit;
class QTabWidget;
class CParaTableProp;
class CRltDictProp;

class CInfoAstDlg : public CDocPanel {
    Q_OBJECT

public:
    explicit CInfoAstDlg(QWidget* parent = nullptr);

    // Reads "<folder>/Database/RLTSTRLIST" into both pages; later saves go
    // to the same folder.
    void LoadStringList(const std::string& programFolder);
    // Merges the lists into what the file holds now (another program may
    // have saved its own changes) and writes the result, under a lock shared
    // by the programs; both pages then show the merged lists. false (after a
    // message) when the file could not be written.
    bool SaveStringList();

    QSize sizeHint() const override;
    void BindDocument(CLumitraDoc* doc) override;
    // A data set opened in the bound document is a new row of the Para table.
    void OnDataShellAdded(CLumitraDoc* doc, VexaDataShell* shell) override;
    void Refresh() override {}
    // Inserts text at the caret, replacing the selection (undoable).
    void AppendText(const QString& text);
    QString GetText() const;

    // Asked before text goes into the phrase lists: characters the file
    // cannot hold are named with the list (where) that would keep them as
    // '?'. True when there are none or the user takes it anyway.
    static bool AcceptText(QWidget* parent, const QString& where, const QString& text);

    CRltDictProp* DictPage() const { return m_pageDict; }
    CParaTableProp* TablePage() const { return m_pageTable; }
    QPlainTextEdit* TextBox() const { return m_text; }

private:
    void OnToClipboard();

    std::string m_programFolder;
    RltStrList m_saved;  // the lists as last read from or written to the file
    QTabWidget* m_sheet;
    CRltDictProp* m_pageDict;
    CParaTableProp* m_pageTable;
    QPlainTextEdit* m_text;
};
